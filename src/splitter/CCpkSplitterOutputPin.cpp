#include "splitter/CCpkSplitterOutputPin.h"

#include <new>

#include "film/FilmLayout.h"
#include "splitter/CCpkSplitterFilter.h"

CCpkSplitterOutputPin::CCpkSplitterOutputPin(CCpkSplitterFilter* filter, HRESULT* result,
                                             LPCWSTR pinName, int stream)
    : COutputPinBase("CCpkSplitterOutputPin", filter, filter->FilterLock(), result, pinName),
      m_seeking(static_cast<IPin*>(this), filter, stream),
      m_stream(stream) {}

HRESULT CCpkSplitterOutputPin::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMediaSeeking)) {
    return HandOutInterface(static_cast<IMediaSeeking*>(&m_seeking), ppv);
  }
  return COutputPinBase::InnerQueryInterface(riid, ppv);
}

CCpkSplitterOutputPin::~CCpkSplitterOutputPin() {
  CPointerList::Position position = m_offeredTypes.FirstPosition();
  while (position != nullptr) {
    delete static_cast<CMediaTypeRecord*>(m_offeredTypes.NextObject(position));
  }
  m_offeredTypes.Clear();
}

HRESULT CCpkSplitterOutputPin::TestMediaType(const CMediaTypeRecord* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  CPointerList::Position position = m_offeredTypes.FirstPosition();
  while (position != nullptr) {
    const CMediaTypeRecord* offered =
        static_cast<const CMediaTypeRecord*>(m_offeredTypes.NextObject(position));
    if (*offered == *type) {
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT CCpkSplitterOutputPin::OfferedMediaType(int index, CMediaTypeRecord* out) {
  if (out == nullptr) {
    return E_POINTER;
  }
  CPointerList::Position position = m_offeredTypes.FirstPosition();
  while (position != nullptr) {
    const CMediaTypeRecord* offered =
        static_cast<const CMediaTypeRecord*>(m_offeredTypes.NextObject(position));
    if (index == 0) {
      *out = *offered;
      return S_OK;
    }
    --index;
  }
  return VFW_S_NO_MORE_ITEMS;
}

HRESULT CCpkSplitterOutputPin::SizeBuffers(IMemAllocator* allocator,
                                           ALLOCATOR_PROPERTIES* request) {
  if (allocator == nullptr || request == nullptr) {
    return E_POINTER;
  }
  // Whatever downstream asked for: the worker writes whole chunks into one
  // buffer and relies on its size.
  request->cBuffers = 1;
  request->cbBuffer = kBufferSize;
  request->cbAlign = 1;
  // A video chunk is read whole with the two bytes its frame drops landing
  // in front of the buffer; an allocator that cannot keep that room still
  // serves, at the cost of a copy inside each frame.
  request->cbPrefix = m_stream == CCpkSplitterFilter::kVideoStream
                          ? static_cast<LONG>(film::kVideoBodyOffset - film::kVideoHeadLength)
                          : 0;
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr) && request->cbPrefix != 0) {
    request->cbPrefix = 0;
    hr = allocator->SetProperties(request, &actual);
  }
  return hr;
}

DWORD CCpkSplitterOutputPin::BufferHeadroom() {
  ALLOCATOR_PROPERTIES properties = {};
  if (!m_allocator || FAILED(m_allocator->GetProperties(&properties)) || properties.cbPrefix < 0) {
    return 0;
  }
  return static_cast<DWORD>(properties.cbPrefix);
}

HRESULT CCpkSplitterOutputPin::AddOfferedType(const CMediaTypeRecord& type) {
  CMediaTypeRecord* copy = new (std::nothrow) CMediaTypeRecord(type);
  if (copy == nullptr) {
    return E_OUTOFMEMORY;
  }
  // A record copy without memory for the format block silently drops it.
  if (copy->cbFormat != type.cbFormat || m_offeredTypes.Append(copy) == nullptr) {
    delete copy;
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CCpkSplitterOutputPin::ReplaceOfferedTypes(const CMediaTypeRecord& type) {
  HRESULT hr = AddOfferedType(type);
  if (FAILED(hr)) {
    return hr;
  }
  // Everything before the type just appended goes.
  for (;;) {
    CPointerList::Position first = m_offeredTypes.FirstPosition();
    CPointerList::Position next = first;
    m_offeredTypes.NextObject(next);
    if (next == nullptr) {
      break;
    }
    delete static_cast<CMediaTypeRecord*>(m_offeredTypes.RemoveAt(first));
  }
  InterlockedIncrement(&m_typeVersion);
  return S_OK;
}
