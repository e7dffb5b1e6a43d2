// Name binding over IMediaPosition's type information.
#pragma once

#include <win/platform.h>

namespace platform::automation {

class CMediaPositionTypeComp : public ITypeComp {
 public:
  // owner: the type information this binds into; references count on it (not counted).
  explicit CMediaPositionTypeComp(ITypeInfo* owner) : m_owner(owner) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }

  STDMETHODIMP Bind(LPOLESTR name, ULONG hash, WORD flags, ITypeInfo** info, DESCKIND* kind,
                    BINDPTR* binding) override;
  STDMETHODIMP BindType(LPOLESTR name, ULONG hash, ITypeInfo** info, ITypeComp** typeComp) override;

 private:
  ITypeInfo* m_owner;  // not counted: this object is part of it
};

}  // namespace platform::automation
