#include "filter/CCinepakInputPin.h"

#include "filter/CCinepakDecoderFilter.h"
#include "module/DecoderSettings.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

bool OwnedByFilmSplitter(IPin* pin) {
  PIN_INFO info = {};
  if (FAILED(pin->QueryPinInfo(&info)) || info.pFilter == nullptr) {
    return false;
  }
  CLSID owner = GUID_NULL;
  const HRESULT hr = info.pFilter->GetClassID(&owner);
  info.pFilter->Release();
  return SUCCEEDED(hr) && IsEqualGUID(owner, CLSID_CpkSplitter);
}

}  // namespace

CCinepakInputPin::CCinepakInputPin(CCinepakDecoderFilter* filter, HRESULT* result)
    : CInputPinBase("CCinepakInputPin", filter, filter->FilterLock(), result, WIDE("Input")),
      m_filter(filter) {}

HRESULT CCinepakInputPin::TestMediaType(const CMediaTypeRecord* type) {
  return m_filter->TestInputType(type, IsConnected());
}

HRESULT CCinepakInputPin::PreparePeer(IPin* other) {
  HRESULT hr = CInputPinBase::PreparePeer(other);
  if (FAILED(hr)) {
    return hr;
  }
  if (CinepakFromFilmOnly() && !OwnedByFilmSplitter(other)) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return S_OK;
}

HRESULT CCinepakInputPin::FinishConnection(IPin* peer) {
  return m_filter->InputConnected(&m_connectionType);
}

STDMETHODIMP CCinepakInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CInputPinBase::Receive(sample);
  if (hr != S_OK) {
    return hr;
  }
  return m_filter->DecodeAndDeliver(sample, m_lastSampleProps);
}

STDMETHODIMP CCinepakInputPin::EndOfStream() {
  HRESULT hr = ReceiveState();
  if (hr != S_OK) {
    return hr == S_FALSE ? S_OK : hr;
  }
  return m_filter->DeliverEndOfStream();
}

STDMETHODIMP CCinepakInputPin::BeginFlush() {
  CInputPinBase::BeginFlush();
  return m_filter->DeliverBeginFlush();
}

STDMETHODIMP CCinepakInputPin::EndFlush() {
  HRESULT hr = m_filter->DeliverEndFlush();
  CInputPinBase::EndFlush();
  return hr;
}

STDMETHODIMP CCinepakInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CPinBase::NewSegment(start, stop, rate);
  return m_filter->DeliverNewSegment(start, stop, rate);
}
