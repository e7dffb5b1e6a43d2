#include "module/CModuleClassFactory.h"

#include "com/CInnerUnknown.h"
#include "module/ModuleState.h"

CModuleClassFactory::CModuleClassFactory(const ClassTemplateEntry* entry)
    : CTrackedObject(nullptr), m_entry(entry), m_referenceCount(0) {}

STDMETHODIMP CModuleClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CModuleClassFactory::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_referenceCount));
}

STDMETHODIMP_(ULONG) CModuleClassFactory::Release() {
  LONG count = InterlockedDecrement(&m_referenceCount);
  if (count == 0) {
    delete this;
  }
  return static_cast<ULONG>(count);
}

STDMETHODIMP CModuleClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  // An aggregator must hold the inner IUnknown, so that is all it may ask for.
  if (outer != nullptr && !IsEqualGUID(riid, IID_IUnknown)) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT hr = S_OK;
  CInnerUnknown* object = m_entry->m_creator(outer, &hr);
  if (object == nullptr) {
    *ppv = nullptr;
    return FAILED(hr) ? hr : E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    delete object;
    *ppv = nullptr;
    return hr;
  }
  // The object is born with no reference: hold one across the query so that
  // a refused interface destroys it.
  object->InnerAddRef();
  hr = object->InnerQueryInterface(riid, ppv);
  object->InnerRelease();
  return hr;
}

STDMETHODIMP CModuleClassFactory::LockServer(BOOL lock) {
  LockModule(lock);
  return S_OK;
}
