#include "support/PrefixlessAllocator.h"

PrefixlessAllocator::PrefixlessAllocator(IMemAllocator* inner, Answer answer)
    : m_inner(inner), m_answer(answer) {}

STDMETHODIMP PrefixlessAllocator::QueryInterface(REFIID riid, void** ppv) {
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

STDMETHODIMP_(ULONG) PrefixlessAllocator::AddRef() { return static_cast<ULONG>(++m_references); }

STDMETHODIMP_(ULONG) PrefixlessAllocator::Release() {
  const LONG left = --m_references;
  if (left == 0) {
    delete this;
  }
  return static_cast<ULONG>(left);
}

STDMETHODIMP PrefixlessAllocator::SetProperties(ALLOCATOR_PROPERTIES* request,
                                                ALLOCATOR_PROPERTIES* actual) {
  if (request == nullptr || actual == nullptr) {
    return E_POINTER;
  }
  if (request->cbPrefix != 0 && m_answer == Answer::Refuse) {
    return E_INVALIDARG;
  }
  ALLOCATOR_PROPERTIES granted = *request;
  granted.cbPrefix = 0;
  return m_inner->SetProperties(&granted, actual);
}

STDMETHODIMP PrefixlessAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  return m_inner->GetProperties(properties);
}

STDMETHODIMP PrefixlessAllocator::Commit() { return m_inner->Commit(); }

STDMETHODIMP PrefixlessAllocator::Decommit() { return m_inner->Decommit(); }

STDMETHODIMP PrefixlessAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                            REFERENCE_TIME* stop, DWORD flags) {
  return m_inner->GetBuffer(sample, start, stop, flags);
}

STDMETHODIMP PrefixlessAllocator::ReleaseBuffer(IMediaSample* sample) {
  return m_inner->ReleaseBuffer(sample);
}
