// The platform's control type library (LIBID_QuartzTypeLib 1.0, "control.tlb"):
// it describes IMediaPosition. Its type information is part of it and counts
// on it, so a client holding only the type information keeps it alive.
#pragma once

#include <atomic>

#include <win/platform.h>

#include "CMediaPositionTypeInfo.h"

namespace platform::automation {

class CControlTypeLibrary : public ITypeLib {
 public:
  // Returns a new library holding one reference for the caller, or null.
  static CControlTypeLibrary* Create();
  static LONG LiveCount();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP_(UINT) GetTypeInfoCount() override;
  STDMETHODIMP GetTypeInfo(UINT index, ITypeInfo** info) override;
  STDMETHODIMP GetTypeInfoType(UINT index, TYPEKIND* kind) override;
  STDMETHODIMP GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override;
  STDMETHODIMP GetLibAttr(TLIBATTR** attributes) override;
  STDMETHODIMP GetTypeComp(ITypeComp** typeComp) override;
  STDMETHODIMP GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                BSTR* helpFile) override;
  STDMETHODIMP IsName(LPOLESTR nameBuffer, ULONG hash, BOOL* found) override;
  STDMETHODIMP FindName(LPOLESTR nameBuffer, ULONG hash, ITypeInfo** infos, MEMBERID* ids,
                        USHORT* count) override;
  STDMETHODIMP_(void) ReleaseTLibAttr(TLIBATTR* attributes) override;

 private:
  CControlTypeLibrary();
  virtual ~CControlTypeLibrary();

  std::atomic<LONG> m_references{1};
  CMediaPositionTypeInfo m_positionInfo;  // part of this library; counts on it
};

}  // namespace platform::automation
