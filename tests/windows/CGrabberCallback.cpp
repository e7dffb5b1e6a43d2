#include "CGrabberCallback.h"

#include "CScopedLock.h"

CGrabberCallback::CGrabberCallback() : m_first(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  InitializeCriticalSection(&m_lock);
}

CGrabberCallback::~CGrabberCallback() {
  CloseHandle(m_first);
  DeleteCriticalSection(&m_lock);
}

HRESULT CGrabberCallback::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIidSampleGrabberCB)) {
    *ppv = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT CGrabberCallback::SampleCB(double, IMediaSample* sample) {
  GrabbedSample grabbed;
  grabbed.hasTimes = SUCCEEDED(sample->GetTime(&grabbed.start, &grabbed.stop));
  grabbed.preroll = sample->IsPreroll() == S_OK;
  BYTE* data = nullptr;
  const LONG length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) {
    grabbed.bytes.assign(data, data + length);
  }
  CScopedLock hold(&m_lock);
  m_samples.push_back(std::move(grabbed));
  SetEvent(m_first);
  return S_OK;
}

// The grabber is asked for SampleCB only.
HRESULT CGrabberCallback::BufferCB(double, BYTE*, LONG) { return E_NOTIMPL; }

bool CGrabberCallback::WaitForFirst(DWORD timeoutMs) {
  return WaitForSingleObject(m_first, timeoutMs) == WAIT_OBJECT_0;
}

size_t CGrabberCallback::Count() {
  CScopedLock hold(&m_lock);
  return m_samples.size();
}

std::vector<GrabbedSample> CGrabberCallback::Take() {
  CScopedLock hold(&m_lock);
  std::vector<GrabbedSample> taken;
  taken.swap(m_samples);
  return taken;
}

std::vector<GrabbedSample> CGrabberCallback::Peek() {
  CScopedLock hold(&m_lock);
  return m_samples;
}
