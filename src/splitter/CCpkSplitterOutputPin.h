#pragma once

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "com/CPointerList.h"
#include "framework/COutputPinBase.h"

class CCpkSplitterFilter;

// "Audio" or "Video" of the FILM splitter: it offers the types it was given,
// connects only with one of them, and runs every connection on one buffer.
class CCpkSplitterOutputPin : public COutputPinBase {
 public:
  // Each connection's allocator holds exactly one buffer of this size.
  static constexpr LONG kBufferSize = 262144;

  // result is not written.
  CCpkSplitterOutputPin(CCpkSplitterFilter* filter, HRESULT* result, LPCWSTR pinName);
  ~CCpkSplitterOutputPin() override;

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // Appends an owned copy; E_OUTOFMEMORY leaves the list unchanged.
  HRESULT AddOfferedType(const CMediaTypeRecord& type);
  // The pin offers only this type from now on; a failure leaves the list
  // unchanged.
  HRESULT ReplaceOfferedTypes(const CMediaTypeRecord& type);

 private:
  CPointerList m_offeredTypes;  // owned CMediaTypeRecord objects, in the order added
};
