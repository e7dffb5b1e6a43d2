#include "position/CMediaPositionBase.h"

#include "com/CComHolder.h"

CMediaPositionBase::CMediaPositionBase(const char* objectName, IUnknown* outer)
    : CInnerUnknown(objectName, outer) {}

CMediaPositionBase::~CMediaPositionBase() = default;

HRESULT CMediaPositionBase::InnerQueryInterface(REFIID riid, void** ppv) {
  if (IsEqualGUID(riid, IID_IMediaPosition)) {
    return HandOutInterface(static_cast<IMediaPosition*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

STDMETHODIMP CMediaPositionBase::GetTypeInfoCount(UINT* count) {
  return m_dispatch.TypeInfoCount(count);
}

STDMETHODIMP CMediaPositionBase::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  return m_dispatch.TypeInfo(IID_IMediaPosition, index, lcid, info);
}

STDMETHODIMP CMediaPositionBase::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                               DISPID* ids) {
  return m_dispatch.IdsOfNames(IID_IMediaPosition, names, count, lcid, ids);
}

STDMETHODIMP CMediaPositionBase::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                        DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                        UINT* argError) {
  if (!IsEqualGUID(riid, IID_NULL)) {
    return DISP_E_UNKNOWNINTERFACE;
  }
  CComHolder<ITypeInfo> info;
  const HRESULT hr = GetTypeInfo(0, lcid, info.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  return info->Invoke(static_cast<IMediaPosition*>(this), id, flags, params, result, exception,
                      argError);
}
