#include "support/DelegatingAllocator.h"

DelegatingAllocator::DelegatingAllocator(IMemAllocator* inner) : m_inner(inner) {}

STDMETHODIMP DelegatingAllocator::QueryInterface(REFIID riid, void** ppv) {
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

STDMETHODIMP_(ULONG) DelegatingAllocator::AddRef() { return static_cast<ULONG>(++m_references); }

STDMETHODIMP_(ULONG) DelegatingAllocator::Release() {
  const LONG left = --m_references;
  if (left == 0) {
    delete this;
  }
  return static_cast<ULONG>(left);
}

STDMETHODIMP DelegatingAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                ALLOCATOR_PROPERTIES* actual) {
  return m_inner->SetProperties(request, actual);
}

STDMETHODIMP DelegatingAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  return m_inner->GetProperties(properties);
}

STDMETHODIMP DelegatingAllocator::Commit() { return m_inner->Commit(); }

STDMETHODIMP DelegatingAllocator::Decommit() { return m_inner->Decommit(); }

STDMETHODIMP DelegatingAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                            REFERENCE_TIME* stop, DWORD flags) {
  return m_inner->GetBuffer(sample, start, stop, flags);
}

STDMETHODIMP DelegatingAllocator::ReleaseBuffer(IMediaSample* sample) {
  return m_inner->ReleaseBuffer(sample);
}
