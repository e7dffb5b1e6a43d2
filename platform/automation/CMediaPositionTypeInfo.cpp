#include "CMediaPositionTypeInfo.h"

#include <new>

#include "VariantCoercion.h"

namespace platform::automation {

namespace {

// A function description and its one parameter, freed as one block.
struct FuncDescBlock {
  FUNCDESC description;
  ELEMDESC parameter;
};

HRESULT CopyName(const OLECHAR* text, BSTR* out) {
  if (out == nullptr) {
    return S_OK;
  }
  *out = nullptr;
  if (text == nullptr) {
    return S_OK;
  }
  *out = SysAllocString(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

const MediaPositionMember* FirstWithId(MEMBERID id) {
  for (const auto& member : kMediaPositionMembers) {
    if (member.id == id) {
      return &member;
    }
  }
  return nullptr;
}

void SetArgError(UINT* argError, UINT index) {
  if (argError != nullptr) {
    *argError = index;
  }
}

}  // namespace

CMediaPositionTypeInfo::CMediaPositionTypeInfo(ITypeLib* library)
    : m_library(library), m_typeComp(this) {}

FUNCDESC* CMediaPositionTypeInfo::NewFuncDesc(const MediaPositionMember& member) {
  auto* block = new (std::nothrow) FuncDescBlock{};
  if (block == nullptr) {
    return nullptr;
  }
  FUNCDESC& description = block->description;
  description.memid = member.id;
  description.funckind = FUNC_DISPATCH;
  description.invkind = member.kind;
  description.callconv = CC_STDCALL;
  description.oVft = static_cast<SHORT>(member.slot * sizeof(void*));
  // The dispatch view lifts a retval parameter into the function's result.
  if (member.kind == INVOKE_PROPERTYPUT) {
    block->parameter.tdesc.vt = member.valueType;
    block->parameter.paramdesc.wParamFlags = PARAMFLAG_FIN;
    description.lprgelemdescParam = &block->parameter;
    description.cParams = 1;
    description.elemdescFunc.tdesc.vt = VT_VOID;
  } else {
    description.elemdescFunc.tdesc.vt = member.valueType;
  }
  return &block->description;
}

STDMETHODIMP CMediaPositionTypeInfo::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeInfo)) {
    *ppv = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaPositionTypeInfo::AddRef() { return m_library->AddRef(); }

STDMETHODIMP_(ULONG) CMediaPositionTypeInfo::Release() { return m_library->Release(); }

STDMETHODIMP CMediaPositionTypeInfo::GetTypeAttr(TYPEATTR** attributes) {
  if (attributes == nullptr) {
    return E_INVALIDARG;
  }
  *attributes = new (std::nothrow) TYPEATTR{};
  if (*attributes == nullptr) {
    return E_OUTOFMEMORY;
  }
  TYPEATTR& a = **attributes;
  a.guid = IID_IMediaPosition;
  a.lcid = LOCALE_NEUTRAL;
  a.memidConstructor = MEMBERID_NIL;
  a.memidDestructor = MEMBERID_NIL;
  a.cbSizeInstance = sizeof(void*);
  a.typekind = TKIND_DISPATCH;
  a.cFuncs = kMediaPositionMemberCount;
  a.cbSizeVft = static_cast<WORD>(kMediaPositionSlotCount * sizeof(void*));
  a.cbAlignment = alignof(void*);
  a.wTypeFlags = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
  a.wMajorVerNum = 1;
  a.wMinorVerNum = 0;
  a.tdescAlias.vt = VT_EMPTY;
  return S_OK;
}

STDMETHODIMP CMediaPositionTypeInfo::GetTypeComp(ITypeComp** typeComp) {
  if (typeComp == nullptr) {
    return E_INVALIDARG;
  }
  *typeComp = &m_typeComp;
  m_typeComp.AddRef();
  return S_OK;
}

STDMETHODIMP CMediaPositionTypeInfo::GetFuncDesc(UINT index, FUNCDESC** description) {
  if (description == nullptr) {
    return E_INVALIDARG;
  }
  *description = nullptr;
  if (index >= kMediaPositionMemberCount) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *description = NewFuncDesc(kMediaPositionMembers[index]);
  return *description != nullptr ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaPositionTypeInfo::GetVarDesc(UINT index, VARDESC** description) {
  if (description == nullptr) {
    return E_INVALIDARG;
  }
  *description = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CMediaPositionTypeInfo::GetNames(MEMBERID id, BSTR* names, UINT maxNames,
                                              UINT* count) {
  if (names == nullptr || count == nullptr) {
    return E_INVALIDARG;
  }
  *count = 0;
  const MediaPositionMember* member = FirstWithId(id);
  if (member == nullptr) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  // Every function's visible parameters are either none or a property put's
  // value, which the platform does not name: the member's name is all there is.
  if (maxNames == 0) {
    return S_OK;
  }
  const HRESULT hr = CopyName(member->name, &names[0]);
  if (SUCCEEDED(hr)) {
    *count = 1;
  }
  return hr;
}

STDMETHODIMP CMediaPositionTypeInfo::GetRefTypeOfImplType(UINT index, HREFTYPE* type) {
  if (type == nullptr) {
    return E_INVALIDARG;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CMediaPositionTypeInfo::GetImplTypeFlags(UINT index, INT* flags) {
  if (flags == nullptr) {
    return E_INVALIDARG;
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CMediaPositionTypeInfo::GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) {
  if (names == nullptr || ids == nullptr || count == 0) {
    return E_INVALIDARG;
  }
  for (UINT i = 0; i < count; ++i) {
    ids[i] = MEMBERID_NIL;
  }
  const MediaPositionMember* member = FindMemberByName(names[0]);
  if (member == nullptr) {
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = member->id;
  HRESULT hr = S_OK;
  // The only named parameter is a property put's value.
  for (UINT i = 1; i < count; ++i) {
    const MediaPositionMember* put = FindMember(member->id, DISPATCH_PROPERTYPUT);
    if (put != nullptr && SameName(put->parameterName, names[i])) {
      ids[i] = 0;
    } else {
      hr = DISP_E_UNKNOWNNAME;
    }
  }
  return hr;
}

STDMETHODIMP CMediaPositionTypeInfo::Invoke(PVOID instance, MEMBERID id, WORD flags,
                                            DISPPARAMS* params, VARIANT* result,
                                            EXCEPINFO* exception, UINT* argError) {
  if (instance == nullptr || params == nullptr) {
    return E_INVALIDARG;
  }
  if ((params->cArgs > 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs > 0 && params->rgdispidNamedArgs == nullptr) ||
      params->cNamedArgs > params->cArgs) {
    return E_INVALIDARG;
  }
  const MediaPositionMember* member = FindMember(id, flags);
  if (member == nullptr) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const bool isPut = member->kind == INVOKE_PROPERTYPUT;
  // A put's value may come named DISPID_PROPERTYPUT; nothing else has names.
  for (UINT i = 0; i < params->cNamedArgs; ++i) {
    if (!isPut || params->rgdispidNamedArgs[i] != DISPID_PROPERTYPUT) {
      SetArgError(argError, i);
      return DISP_E_PARAMNOTFOUND;
    }
  }
  const UINT expected = isPut ? 1 : 0;
  if (params->cArgs != expected) {
    return DISP_E_BADPARAMCOUNT;
  }
  double argument = 0.0;
  if (isPut) {
    const HRESULT hr = CoerceToDouble(params->rgvarg[0], &argument);
    if (FAILED(hr)) {
      SetArgError(argError, 0);
      return hr;
    }
  }
  if (result != nullptr) {
    VariantInit(result);
  }
  const HRESULT hr = CallMember(static_cast<IMediaPosition*>(instance), *member, argument, result);
  if (FAILED(hr)) {
    // The platform reports a failing member as an exception carrying its code.
    if (exception != nullptr) {
      *exception = EXCEPINFO{};
      exception->scode = hr;
    }
    return DISP_E_EXCEPTION;
  }
  return S_OK;
}

HRESULT CMediaPositionTypeInfo::CallMember(IMediaPosition* target,
                                           const MediaPositionMember& member, double argument,
                                           VARIANT* result) {
  if (member.putDouble != nullptr) {
    return (target->*member.putDouble)(argument);
  }
  if (member.getDouble != nullptr) {
    double value = 0.0;
    const HRESULT hr = (target->*member.getDouble)(&value);
    if (SUCCEEDED(hr) && result != nullptr) {
      result->vt = VT_R8;
      result->dblVal = value;
    }
    return hr;
  }
  LONG value = 0;
  const HRESULT hr = (target->*member.getLong)(&value);
  if (SUCCEEDED(hr) && result != nullptr) {
    result->vt = VT_I4;
    result->lVal = value;
  }
  return hr;
}

STDMETHODIMP CMediaPositionTypeInfo::GetDocumentation(MEMBERID id, BSTR* name, BSTR* docString,
                                                      DWORD* helpContext, BSTR* helpFile) {
  const OLECHAR* memberName = nullptr;
  const OLECHAR* text = nullptr;
  if (id == MEMBERID_NIL) {
    memberName = kMediaPositionTypeName;
    text = u"Position and rate control of a filter graph";
  } else {
    const MediaPositionMember* member = FirstWithId(id);
    if (member == nullptr) {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    memberName = member->name;
  }
  if (helpContext != nullptr) {
    *helpContext = 0;
  }
  CopyName(nullptr, helpFile);
  CopyName(nullptr, docString);
  HRESULT hr = CopyName(memberName, name);
  if (SUCCEEDED(hr)) {
    hr = CopyName(text, docString);
  }
  if (FAILED(hr) && name != nullptr) {
    SysFreeString(*name);
    *name = nullptr;
  }
  return hr;
}

STDMETHODIMP CMediaPositionTypeInfo::GetDllEntry(MEMBERID id, INVOKEKIND kind, BSTR* dllName,
                                                 BSTR* name, WORD* ordinal) {
  // Only module type information has entry points.
  return TYPE_E_BADMODULEKIND;
}

STDMETHODIMP CMediaPositionTypeInfo::GetRefTypeInfo(HREFTYPE type, ITypeInfo** info) {
  if (info == nullptr) {
    return E_INVALIDARG;
  }
  *info = nullptr;
  return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CMediaPositionTypeInfo::AddressOfMember(MEMBERID id, INVOKEKIND kind, PVOID* address) {
  if (address != nullptr) {
    *address = nullptr;
  }
  return TYPE_E_BADMODULEKIND;
}

STDMETHODIMP CMediaPositionTypeInfo::CreateInstance(IUnknown* outer, REFIID riid, PVOID* object) {
  if (object == nullptr) {
    return E_INVALIDARG;
  }
  *object = nullptr;
  // Only a coclass can be instantiated.
  return TYPE_E_WRONGTYPEKIND;
}

STDMETHODIMP CMediaPositionTypeInfo::GetMops(MEMBERID id, BSTR* mops) {
  if (mops == nullptr) {
    return E_INVALIDARG;
  }
  *mops = nullptr;
  return S_OK;
}

STDMETHODIMP CMediaPositionTypeInfo::GetContainingTypeLib(ITypeLib** library, UINT* index) {
  if (index != nullptr) {
    *index = 0;
  }
  if (library != nullptr) {
    *library = m_library;
    m_library->AddRef();
  }
  return S_OK;
}

STDMETHODIMP_(void) CMediaPositionTypeInfo::ReleaseTypeAttr(TYPEATTR* attributes) {
  delete attributes;
}

STDMETHODIMP_(void) CMediaPositionTypeInfo::ReleaseFuncDesc(FUNCDESC* description) {
  delete reinterpret_cast<FuncDescBlock*>(description);
}

STDMETHODIMP_(void) CMediaPositionTypeInfo::ReleaseVarDesc(VARDESC* description) {
  // No variable description is ever handed out, so there is none to free.
}

}  // namespace platform::automation
