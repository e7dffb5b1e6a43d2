#include "filter/CCinepakOutputPin.h"

#include "filter/CCinepakDecoderFilter.h"

CCinepakOutputPin::CCinepakOutputPin(CCinepakDecoderFilter* filter, HRESULT* result, IPin* inputPin)
    : COutputPinBase("CCinepakOutputPin", filter, filter->FilterLock(), result, WIDE("Output")),
      m_filter(filter),
      m_seeking("CCinepakOutputPin seeking", static_cast<IPin*>(this), result, inputPin) {}

CCinepakOutputPin::~CCinepakOutputPin() = default;

HRESULT CCinepakOutputPin::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMediaSeeking) || IsEqualGUID(riid, IID_IMediaPosition)) {
    return m_seeking.InnerQueryInterface(riid, ppv);
  }
  return COutputPinBase::InnerQueryInterface(riid, ppv);
}

HRESULT CCinepakOutputPin::TestMediaType(const CMediaTypeRecord* type) {
  OutputFormat format;
  return m_filter->TestOutputType(type, &format);
}

HRESULT CCinepakOutputPin::AdoptMediaType(const CMediaTypeRecord* type) {
  OutputFormat format;
  HRESULT hr = m_filter->TestOutputType(type, &format);
  if (hr != S_OK) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  hr = COutputPinBase::AdoptMediaType(type);
  if (FAILED(hr)) {
    return hr;
  }
  m_filter->AdoptOutputFormat(format);
  return S_OK;
}

HRESULT CCinepakOutputPin::OfferedMediaType(int index, CMediaTypeRecord* out) {
  return m_filter->OfferOutputType(index, out);
}

HRESULT CCinepakOutputPin::SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (allocator == nullptr || request == nullptr) {
    return E_POINTER;
  }
  OutputFormat format;
  if (m_filter->TestOutputType(&m_connectionType, &format) != S_OK) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  if (request->cBuffers < 1) {
    request->cBuffers = 1;
  }
  if (request->cbAlign < 1) {
    request->cbAlign = 1;
  }
  request->cbBuffer = static_cast<LONG>(format.imageBytes);
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) {
    return hr;
  }
  return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}
