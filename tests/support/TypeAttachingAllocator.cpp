#include "support/TypeAttachingAllocator.h"

TypeAttachingAllocator::TypeAttachingAllocator(IMemAllocator* inner) : m_inner(inner) {}

void TypeAttachingAllocator::AttachType(int bufferNumber, const AM_MEDIA_TYPE& type) {
  m_type = type;
  m_attachAt = bufferNumber;
}

STDMETHODIMP TypeAttachingAllocator::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IMemAllocator)) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IMemAllocator*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) TypeAttachingAllocator::AddRef() { return static_cast<ULONG>(++m_references); }

STDMETHODIMP_(ULONG) TypeAttachingAllocator::Release() {
  const LONG left = --m_references;
  if (left == 0) {
    delete this;
  }
  return static_cast<ULONG>(left);
}

STDMETHODIMP TypeAttachingAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                   ALLOCATOR_PROPERTIES* actual) {
  return m_inner->SetProperties(request, actual);
}

STDMETHODIMP TypeAttachingAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  return m_inner->GetProperties(properties);
}

STDMETHODIMP TypeAttachingAllocator::Commit() { return m_inner->Commit(); }

STDMETHODIMP TypeAttachingAllocator::Decommit() { return m_inner->Decommit(); }

STDMETHODIMP TypeAttachingAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                               REFERENCE_TIME* stop, DWORD flags) {
  const HRESULT hr = m_inner->GetBuffer(sample, start, stop, flags);
  if (FAILED(hr) || sample == nullptr || *sample == nullptr) {
    return hr;
  }
  if (++m_handedOut == m_attachAt) {
    (*sample)->SetMediaType(&m_type);
  }
  return hr;
}

STDMETHODIMP TypeAttachingAllocator::ReleaseBuffer(IMediaSample* sample) {
  return m_inner->ReleaseBuffer(sample);
}
