#include "CMediaPositionTypeComp.h"

#include "CMediaPositionTypeInfo.h"
#include "MediaPositionMembers.h"

namespace platform::automation {

namespace {
// INVOKEKIND values and DISPATCH_* flags share their bits; 0 asks for any kind.
bool KindWanted(const MediaPositionMember& member, WORD flags) {
  return flags == 0 || (flags & member.kind) != 0;
}
}  // namespace

STDMETHODIMP CMediaPositionTypeComp::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeComp)) {
    *ppv = static_cast<ITypeComp*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP CMediaPositionTypeComp::Bind(LPOLESTR name, ULONG hash, WORD flags, ITypeInfo** info,
                                          DESCKIND* kind, BINDPTR* binding) {
  if (name == nullptr || info == nullptr || kind == nullptr || binding == nullptr) {
    return E_INVALIDARG;
  }
  *info = nullptr;
  *kind = DESCKIND_NONE;
  binding->lpfuncdesc = nullptr;
  for (const auto& member : kMediaPositionMembers) {
    if (!SameName(member.name, name) || !KindWanted(member, flags)) {
      continue;
    }
    FUNCDESC* description = CMediaPositionTypeInfo::NewFuncDesc(member);
    if (description == nullptr) {
      return E_OUTOFMEMORY;
    }
    binding->lpfuncdesc = description;
    *kind = DESCKIND_FUNCDESC;
    *info = m_owner;
    m_owner->AddRef();
    return S_OK;
  }
  return S_OK;
}

STDMETHODIMP CMediaPositionTypeComp::BindType(LPOLESTR name, ULONG hash, ITypeInfo** info,
                                              ITypeComp** typeComp) {
  if (name == nullptr || info == nullptr || typeComp == nullptr) {
    return E_INVALIDARG;
  }
  // An interface declares no types of its own.
  *info = nullptr;
  *typeComp = nullptr;
  return S_OK;
}

}  // namespace platform::automation
