#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"
#include "film/CFilmByteSource.h"
#include "framework/CInputPinBase.h"

class CSplitterFilterBase;

// The input pin of a pull-mode splitter: it keeps the upstream pin's
// IAsyncReader, lets the filter judge the media type and finish the
// connection, and reads the file for the filter's parser and worker.
class CSplitterInputPin : public CInputPinBase, public CFilmByteSource {
 public:
  // result is not written.
  CSplitterInputPin(const char* objectName, CSplitterFilterBase* filter, CRITICAL_SECTION* lock,
                    HRESULT* result, LPCWSTR pinName);
  ~CSplitterInputPin() override;

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  HRESULT PreparePeer(IPin* other) override;
  HRESULT FinishConnection(IPin* peer) override;

  // Asks the upstream source for the file's length once for the activation.
  HRESULT Activate() override;

  // IAsyncReader::SyncRead on the upstream source; takes no lock. A read
  // that comes short makes the pin ask for the file's length again.
  HRESULT ReadAt(LONGLONG position, LONG length, BYTE* buffer) override;
  // The available length IAsyncReader::Length last answered.
  LONGLONG AvailableLength() override;

  // IPin. The flushing mark is atomic; taking the filter lock for it would
  // invert the lock order under Stop, which already holds the state lock.
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  bool IsFlushing() const { return m_flushing; }

 protected:
  CSplitterFilterBase* m_splitter;    // not counted: the filter owns the pin
  CComHolder<IAsyncReader> m_reader;  // counted; kept until the pin dies

 private:
  void LearnLength();

  // Atomic: each streaming thread may learn of a short read on its own.
  std::atomic<LONGLONG> m_availableLength;
};
