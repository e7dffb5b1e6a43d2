#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CMediaTypeRecord.h"
#include "film/CCpkStreamDescription.h"
#include "film/FilmRules.h"
#include "film/FilmSampleEntry.h"
#include "position/CMovieSeeking.h"
#include "shaping/PayloadConversion.h"
#include "splitter/CCpkStreamIndex.h"
#include "splitter/CSplitterFilterBase.h"

class CCpkChunkReader;
class CCpkSplitterOutputPin;
class CCpkSplitterPos;

// The FILM splitter: it accepts the FILM byte stream, parses the file when
// its input connects, offers "Audio" and/or "Video", streams each output's
// rows from a worker of its own, and seeks both streams together.
class CCpkSplitterFilter : public CSplitterFilterBase, public CMovieSeeking {
 public:
  // The streams, as the pins and the index number them.
  enum : int { kAudioStream = 0, kVideoStream = 1 };

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

  // CMovieSeeking
  REFERENCE_TIME Duration() override;
  void GetPositions(REFERENCE_TIME* start, REFERENCE_TIME* stop) override;
  HRESULT SetPositions(int caller, LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                       DWORD stopFlags) override;

  // IAMovieSetup
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  CRITICAL_SECTION* FilterLock() { return &m_filterLock; }
  // Read by the position object without a lock: the parse writes it only
  // while the input connects, when nothing streams.
  const CCpkStreamDescription& StreamDescription() const { return m_stream; }

 private:
  static constexpr REFERENCE_TIME kNoStop = CStreamRun::kNoStop;
  // No seek may be joined.
  static constexpr int kNoJoin = -1;

  void StateChanging() override;
  // Every kind of loss is told again in a new activation.
  void Activating() override { m_lossesReported = 0; }
  // Each stream at the row the current segment starts it from, with the
  // segment as its run's own.
  void PlaceRuns() override;
  // The caller's seek joins the last one: the graph seeks every renderer in
  // turn, and each asks the output pin upstream of it.
  bool JoinsLastSeek(int caller, REFERENCE_TIME start, bool stops, REFERENCE_TIME end);
  // A seek to start (and end when stops) while the workers may stream.
  HRESULT Seek(int caller, REFERENCE_TIME start, bool stops, REFERENCE_TIME end);

  HRESULT CreateOutputPin(COutputPinBase** pinField, LPCWSTR name);
  // TRUE when a retired pin of that name, connected to nothing, was found;
  // it becomes the stream's pin if it could take the new type.
  BOOL ReuseRetiredPin(COutputPinBase** pinField, LPCWSTR name, const CMediaTypeRecord& type);
  // Gives the stream its pin with its one type: a retired pin of the same
  // name if there is one, else a new pin. A pin that cannot offer its type
  // is not shown.
  void CreateOfferingPin(COutputPinBase** pinField, LPCWSTR name, const CMediaTypeRecord& type);
  HRESULT CreatePosition();

  // Kinds of loss the graph hears of once an activation each.
  enum : DWORD {
    kLossFileTooShort = 1,
    kLossBufferOverflow = 2,
    kLossInvalidChunk = 4,
    kLossReadFailure = 8,
  };

  // What became of one row of a worker's stream.
  struct RowResult {
    enum Kind {
      kSent,     // downstream has the sample
      kRefused,  // a sample could not be had or sent: the row is dropped, no loss of the file's
      kLost,     // the file cannot give the row; cause says why
      kHalted,   // Stop has decommitted the output: the run is over, not finished
    } kind;
    HRESULT cause;  // kLost: the loss's cause; else the call's result
  };
  // A failure of a row's sample or read: over when the output was
  // decommitted, else lost for loss when set, else refused.
  static RowResult FailedRow(HRESULT hr, HRESULT loss);

  // The sample of one planned row of the worker's stream: read, shaped and sent.
  RowResult DeliverAudio(const film::RowPlan& plan, CCpkChunkReader& chunks, CStreamRun& run);
  RowResult DeliverVideo(const film::RowPlan& plan, CCpkChunkReader& chunks, CStreamRun& run);
  // A row dropped for cause: its time passes all the same, and the graph hears of it.
  void AccountLoss(const FilmSampleEntry& row, CStreamRun& run, HRESULT cause);
  // Tells the graph, once an activation for each kind, that data of the
  // file could not be played.
  void ReportLoss(HRESULT cause);
  // Stamps the sample with the running times of its media times
  // [start, stop) in the run's segment and sends it; the run's time moves
  // on to next when downstream took it.
  HRESULT SendInSegment(COutputPinBase* pin, IMediaSample* sample, CStreamRun& run,
                        REFERENCE_TIME stop, REFERENCE_TIME next);
  // The index, built on first use; FALSE when it cannot be.
  BOOL EnsureIndex();
  // The stop position as callers see it: the duration while none is set.
  REFERENCE_TIME ReportedStop();

  CRITICAL_SECTION m_filterLock;   // owned: the filter's lock, shared with every pin
  CRITICAL_SECTION m_pinListLock;  // owned: guards the pin fields for PinAt
  // owned, aggregated with this filter's identity; null until the input connects
  CCpkSplitterPos* m_position;
  CCpkStreamDescription m_stream;
  // The processor's conversion loops, asked of the platform once.
  const AudioConverters m_audioConverters;
  std::atomic<DWORD> m_lossesReported;  // kinds of loss told since the last activation

  // The current segment, which each worker copies as its run begins.
  // Written under the state lock, and only while no worker streams, except
  // that a stop position alone may be set while they do.
  std::atomic<REFERENCE_TIME> m_segmentStart;
  std::atomic<REFERENCE_TIME> m_segmentStop;  // kNoStop while none is set
  // The output caller whose seek the other output's call for the same
  // positions joins, or kNoJoin. It is joined once at most; a state change,
  // a new file or any other seek ends it, since after any of these an equal
  // call is a new seek. Read and written under the state lock only: the
  // seek path alone decides a join, never a worker.
  int m_joinableSeek;
  CRITICAL_SECTION m_indexLock;  // owned: innermost; guards m_index
  CCpkStreamIndex m_index;
};

// The class table's creator: a new filter (reference count 0), or null when
// it cannot be allocated. A failure written to *result means the object must
// be destroyed without being handed out.
CInnerUnknown* CreateCpkSplitterFilter(IUnknown* outer, HRESULT* result);
