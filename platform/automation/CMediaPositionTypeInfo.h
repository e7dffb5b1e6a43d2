// Type information of IMediaPosition, as the dispatch view of a dual
// interface: names, dispatch ids, kinds and value types of its eleven
// functions, and Invoke through the IMediaPosition table of an object.
#pragma once

#include <win/platform.h>

#include "CMediaPositionTypeComp.h"
#include "MediaPositionMembers.h"

namespace platform::automation {

class CMediaPositionTypeInfo : public ITypeInfo {
 public:
  // library: the containing library, which every reference counts on (not counted).
  explicit CMediaPositionTypeInfo(ITypeLib* library);

  // A function description that ReleaseFuncDesc frees; null when out of memory.
  static FUNCDESC* NewFuncDesc(const MediaPositionMember& member);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP GetTypeAttr(TYPEATTR** attributes) override;
  STDMETHODIMP GetTypeComp(ITypeComp** typeComp) override;
  STDMETHODIMP GetFuncDesc(UINT index, FUNCDESC** description) override;
  STDMETHODIMP GetVarDesc(UINT index, VARDESC** description) override;
  STDMETHODIMP GetNames(MEMBERID id, BSTR* names, UINT maxNames, UINT* count) override;
  STDMETHODIMP GetRefTypeOfImplType(UINT index, HREFTYPE* type) override;
  STDMETHODIMP GetImplTypeFlags(UINT index, INT* flags) override;
  STDMETHODIMP GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override;
  STDMETHODIMP Invoke(PVOID instance, MEMBERID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;
  STDMETHODIMP GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString, DWORD* helpContext,
                                BSTR* helpFile) override;
  STDMETHODIMP GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName, BSTR* name,
                           WORD* ordinal) override;
  STDMETHODIMP GetRefTypeInfo(HREFTYPE type, ITypeInfo** info) override;
  STDMETHODIMP AddressOfMember(MEMBERID id, INVOKEKIND kind, PVOID* address) override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) override;
  STDMETHODIMP GetMops(MEMBERID id, BSTR* mops) override;
  STDMETHODIMP GetContainingTypeLib(ITypeLib** library, UINT* index) override;
  STDMETHODIMP_(void) ReleaseTypeAttr(TYPEATTR* attributes) override;
  STDMETHODIMP_(void) ReleaseFuncDesc(FUNCDESC* description) override;
  STDMETHODIMP_(void) ReleaseVarDesc(VARDESC* description) override;

 private:
  HRESULT CallMember(IMediaPosition* target, const MediaPositionMember& member, double argument,
                     VARIANT* result);

  ITypeLib* m_library;  // not counted: this object is part of it
  CMediaPositionTypeComp m_typeComp;
};

}  // namespace platform::automation
