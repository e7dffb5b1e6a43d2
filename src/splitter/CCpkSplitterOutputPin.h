#pragma once

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "com/CPointerList.h"
#include "film/FilmRules.h"
#include "framework/COutputPinBase.h"
#include "position/CPinSeeking.h"

class CCpkSplitterFilter;

// "Audio" or "Video" of the FILM splitter: it offers the types it was given,
// connects only with one of them, runs every connection on one buffer, and
// answers IMediaSeeking for the whole movie.
class CCpkSplitterOutputPin : public COutputPinBase {
 public:
  // Each connection's allocator holds exactly one buffer of this size.
  static constexpr LONG kBufferSize = film::kVideoSampleLength;

  // result is not written; stream: the pin's stream number.
  CCpkSplitterOutputPin(CCpkSplitterFilter* filter, HRESULT* result, LPCWSTR pinName, int stream);
  ~CCpkSplitterOutputPin() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT OfferedMediaType(int index, CMediaTypeRecord* out) override;
  HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Bytes in front of each buffer the allocator keeps for the pin to write
  // (its prefix); 0 without an allocator.
  DWORD BufferHeadroom();

  // Appends an owned copy, format block included; E_OUTOFMEMORY leaves the
  // list unchanged.
  HRESULT AddOfferedType(const CMediaTypeRecord& type);
  // The pin offers only this type from now on; a failure leaves the list
  // unchanged.
  HRESULT ReplaceOfferedTypes(const CMediaTypeRecord& type);

 private:
  CPointerList m_offeredTypes;  // owned CMediaTypeRecord objects, in the order added
  CPinSeeking m_seeking;
  const int m_stream;
};
