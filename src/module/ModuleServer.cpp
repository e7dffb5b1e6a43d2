#include "module/ModuleServer.h"

#include <new>

#include "com/CTrackedObject.h"
#include "module/CModuleClassFactory.h"
#include "module/ClassTable.h"
#include "module/ModuleState.h"

const ClassTemplateEntry* FindClassTemplate(REFCLSID classId) {
  for (int index = 0; index < g_classTemplateCount; ++index) {
    if (IsEqualGUID(*g_classTemplates[index].m_classId, classId)) {
      return &g_classTemplates[index];
    }
  }
  return nullptr;
}

HRESULT GetModuleClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  // The interface is checked before the class is looked up.
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory)) {
    return E_NOINTERFACE;
  }
  const ClassTemplateEntry* row = FindClassTemplate(clsid);
  if (row == nullptr || row->m_creator == nullptr) {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  CModuleClassFactory* factory = new (std::nothrow) CModuleClassFactory(row);
  if (factory == nullptr) {
    return E_OUTOFMEMORY;
  }
  IClassFactory* classFactory = factory;
  classFactory->AddRef();
  *ppv = classFactory;
  return S_OK;
}

HRESULT CanUnloadModule() {
  // Unmatched unlocks drive the lock count below 0; that is no lock.
  if (ServerLockCount() > 0 || CTrackedObject::LiveObjectCount() != 0) {
    return S_FALSE;
  }
  return S_OK;
}
