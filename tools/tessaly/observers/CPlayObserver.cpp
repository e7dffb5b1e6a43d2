#include "tessaly/observers/CPlayObserver.h"

#include <new>

#include "media/ReferenceTime.h"

namespace tessaly::cli {

CPlayObserver* CPlayObserver::Create(std::string stream, std::shared_ptr<CPositionLine> line,
                                     std::shared_ptr<CLossTally> tally) {
  CPlayObserver* observer =
      new (std::nothrow) CPlayObserver(std::move(stream), std::move(line), std::move(tally));
  if (observer != nullptr) observer->AddRef();
  return observer;
}

std::optional<HeldSample> CPlayObserver::FirstHeld() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_firstHeld;
}

HRESULT CPlayObserver::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, platform::IID_IRenderObserver)) {
    *ppv = static_cast<platform::IRenderObserver*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CPlayObserver::AddRef() { return ++m_refs; }

ULONG CPlayObserver::Release() {
  const ULONG left = --m_refs;
  if (left == 0) delete this;
  return left;
}

void CPlayObserver::OnHold(IMediaSample* sample) {
  HeldSample held;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  if (SUCCEEDED(sample->GetTime(&start, &stop))) held.start = start;
  held.length = sample->GetActualDataLength();
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_firstHeld) m_firstHeld = held;
}

void CPlayObserver::OnPresent(IMediaSample* sample, REFERENCE_TIME) {
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (m_tally && SUCCEEDED(sample->GetMediaTime(&mediaStart, &mediaStop))) {
    m_tally->Note(m_stream, mediaStart, mediaStop, sample->IsDiscontinuity() == S_OK);
  }
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  if (FAILED(sample->GetTime(&start, &stop))) return;
  m_line->Update(media::Seconds(start));
}

}  // namespace tessaly::cli
