#pragma once

#include "Platform.h"
#include "filter/VideoFormats.h"
#include "framework/COutputPinBase.h"
#include "position/CPositionPassThrough.h"

class CCinepakDecoderFilter;

// The decoder's output: the pictures of VideoFormats in the renderer's
// choice of layout and stride. Seeks and position queries pass upstream
// through the input pin's peer.
class CCinepakOutputPin : public COutputPinBase {
 public:
  CCinepakOutputPin(CCinepakDecoderFilter* filter, HRESULT* result, IPin* inputPin);
  ~CCinepakOutputPin() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;
  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT AdoptMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Quality messages from the renderer: frames are never dropped to catch
  // up, since each inter frame builds on the one before.
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override {
    return sender != nullptr ? S_OK : E_POINTER;
  }

 private:
  CCinepakDecoderFilter* m_filter;  // not counted: the filter owns the pin
  CPositionPassThrough m_seeking;   // part of the pin: its counts go to the pin's
};
