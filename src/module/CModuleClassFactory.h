#pragma once

#include "Platform.h"
#include "com/CTrackedObject.h"
#include "module/ClassTable.h"

// The class factory DllGetClassObject hands out for one class table row. A
// living factory keeps the module loaded.
class CModuleClassFactory : public CTrackedObject, public IClassFactory {
 public:
  explicit CModuleClassFactory(const ClassTemplateEntry* entry);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IClassFactory
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  const ClassTemplateEntry* m_entry;  // borrowed: a row of the module's class table
  LONG volatile m_referenceCount;
};
