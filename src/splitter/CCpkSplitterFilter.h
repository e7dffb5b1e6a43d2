#pragma once

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "film/CCpkStreamDescription.h"
#include "film/FilmSampleEntry.h"
#include "splitter/CSplitterFilterBase.h"

class CCpkSplitterOutputPin;
class CCpkSplitterPos;

// The FILM splitter: it accepts the FILM byte stream, parses the file when
// its input connects, offers "Audio" and/or "Video", and streams the sample
// table from its worker thread.
class CCpkSplitterFilter : public CSplitterFilterBase {
 public:
  // result receives E_OUTOFMEMORY when the input pin or the staging buffer
  // cannot be allocated; the creator must then discard the object.
  CCpkSplitterFilter(IUnknown* outer, HRESULT* result);
  ~CCpkSplitterFilter() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  int PinCount() override;
  CPinBase* PinAt(int index) override;
  const AMOVIESETUP_FILTER* SetupData() override;
  HRESULT TestInputType(const AM_MEDIA_TYPE* type) override;
  HRESULT OnInputConnected(DWORD reserved, IPin* upstream) override;
  HRESULT StreamSamples(CStreamWorker* worker) override;

  // IAMovieSetup
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  CRITICAL_SECTION* FilterLock() { return &m_filterLock; }
  // Read by the position object without a lock: the parse writes it only
  // while the input connects, when nothing streams.
  const CCpkStreamDescription& StreamDescription() const { return m_stream; }
  // Back to the first row at time 0; called under the stream lock.
  void RewindStream() { RewindStreams(); }

 private:
  HRESULT CreateOutputPin(COutputPinBase** pinField, LPCWSTR name);
  // TRUE when a retired pin of that name, connected to nothing, was found;
  // it becomes the stream's pin if it could take the new type.
  BOOL ReuseRetiredPin(COutputPinBase** pinField, LPCWSTR name, const CMediaTypeRecord& type);
  // Gives the stream its pin with its one type: a retired pin of the same
  // name if there is one, else a new pin. A pin that cannot offer its type
  // is not shown.
  void CreateOfferingPin(COutputPinBase** pinField, LPCWSTR name, const CMediaTypeRecord& type);
  HRESULT CreatePosition();

  // One row of the worker's stream; a failure drops the row.
  HRESULT DeliverAudio(const FilmSampleEntry& row, CStreamWorker* worker);
  HRESULT DeliverVideo(const FilmSampleEntry& row, CStreamWorker* worker);
  // File position of the byte skip bytes into the row's chunk.
  DWORD ChunkPosition(const FilmSampleEntry& row, DWORD skip) const;

  CRITICAL_SECTION m_filterLock;   // owned: the filter's lock, shared with every pin
  CRITICAL_SECTION m_pinListLock;  // owned: guards the pin fields for PinAt
  // owned, aggregated with this filter's identity; null until the input connects
  CCpkSplitterPos* m_position;
  CCpkStreamDescription m_stream;
};

// The class table's creator: a new filter (reference count 0), or null when
// it cannot be allocated. A failure written to *result means the object must
// be destroyed without being handed out.
CInnerUnknown* CreateCpkSplitterFilter(IUnknown* outer, HRESULT* result);
