#pragma once

#include "Platform.h"
#include "com/CInnerUnknown.h"
#include "position/CTypeLibDispatch.h"

// Base of an IMediaPosition object: the IDispatch half of the dual interface
// comes from the control type library; the position methods are the derived
// class's.
class CMediaPositionBase : public IMediaPosition, public CInnerUnknown {
 public:
  CMediaPositionBase(const char* objectName, IUnknown* outer);
  ~CMediaPositionBase() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

 private:
  CTypeLibDispatch m_dispatch;
};
