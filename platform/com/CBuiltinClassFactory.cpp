#include "CBuiltinClassFactory.h"

#include <win/identifiers.h>

#include <new>

namespace platform::com {

HRESULT CBuiltinClassFactory::Create(BuiltinClassFactory create, REFIID riid, void** ppv) {
  *ppv = nullptr;
  CBuiltinClassFactory* factory = new (std::nothrow) CBuiltinClassFactory(create);
  if (factory == nullptr) {
    return E_OUTOFMEMORY;
  }
  factory->AddRef();
  const HRESULT hr = factory->QueryInterface(riid, ppv);
  factory->Release();
  return hr;
}

HRESULT CBuiltinClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG CBuiltinClassFactory::AddRef() { return m_references.fetch_add(1) + 1; }

ULONG CBuiltinClassFactory::Release() {
  const ULONG remaining = m_references.fetch_sub(1) - 1;
  if (remaining == 0) {
    delete this;
  }
  return remaining;
}

HRESULT CBuiltinClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  const HRESULT hr = m_create(outer, riid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
  }
  return hr;
}

// The platform's own classes live in the platform library, which never unloads.
HRESULT CBuiltinClassFactory::LockServer(BOOL lock) { return S_OK; }

}  // namespace platform::com
