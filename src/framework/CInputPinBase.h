#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"
#include "framework/CPinBase.h"

// The base of a pin that receives samples: IMemInputPin (allocator
// hand-over, reception, blocking query), the flushing state, and the check
// that decides whether a sample may be received at all.
class CInputPinBase : public CPinBase, public IMemInputPin {
 public:
  CInputPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock, HRESULT* result,
                LPCWSTR pinName);
  ~CInputPinBase() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;
  HRESULT Deactivate() override;
  // S_OK when a sample may be received now.
  virtual HRESULT ReceiveState();

  // IUnknown, shared by IPin, IQualityControl and IMemInputPin.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IPin
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  // IQualityControl
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

  // IMemInputPin
  STDMETHODIMP GetAllocator(IMemAllocator** allocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  STDMETHODIMP ReceiveCanBlock() override;

 protected:
  CComHolder<IMemAllocator> m_allocator;  // counted
  BYTE m_readOnly;
  std::atomic<bool> m_flushing;
  // The sample being received, all zero after a Receive that could not read
  // it. pMediaType is the pin's own copy (m_receivedType): it stays valid
  // until the next Receive or the pin's destruction, whatever the sample does.
  AM_SAMPLE2_PROPERTIES m_lastSampleProps;

 private:
  void FillPropertiesFromSample(IMediaSample* sample);
  // Frees the type copy and zeroes the record.
  void ForgetLastSample();
  // Replaces the type pointer read through IMediaSample2 by an own copy.
  HRESULT KeepOwnTypeCopy();
  HRESULT RejectTypeChange();

  // owned: the type of the last sample received, or null
  AM_MEDIA_TYPE* m_receivedType;
};
