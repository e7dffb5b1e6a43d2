// A source filter for tests that stands for someone else's async file source:
// one output pin "Output" offering IAsyncReader over bytes held in memory,
// with a plan of reads that fail or answer S_FALSE. It is written directly on
// the published interfaces, sharing no code with the module's framework.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "Platform.h"

class MemoryAsyncSource final : public IBaseFilter {
 public:
  struct Read {
    LONGLONG position;
    LONG length;
    HRESULT result;
  };

  // What a read reaching past the end answers.
  enum class PastEnd {
    ShortRead,  // the bytes that exist are copied, S_FALSE (as the platform's source does)
    Fail,       // E_FAIL, nothing copied
  };

  // Created with a reference count of 0; hold it through a counted pointer.
  explicit MemoryAsyncSource(std::vector<uint8_t> bytes);

  // Objects of this class alive now, for tests that check nothing leaked.
  static LONG LiveCount();

  // The output pin's IPin; no reference is added.
  IPin* OutputPin();

  // Configuration; set before connecting or streaming.
  void SetSubtype(const GUID& subtype);
  void OfferAsyncReader(bool offer) { m_offerReader = offer; }
  void SetPastEnd(PastEnd behaviour);
  // Every read that covers the byte at position answers result, as a bad
  // spot in a file would: a failure copies nothing; S_FALSE copies the bytes
  // and answers S_FALSE.
  void AnswerAt(LONGLONG position, HRESULT result);
  // Read number index (from 0, in arrival order) answers result likewise.
  void AnswerRead(size_t index, HRESULT result);
  // The file as it is now, for a file that grows or shrinks between reads,
  // or while a read waits at a gate.
  void ReplaceBytes(std::vector<uint8_t> bytes);
  // IAsyncReader::Length answers result from now on: a failure writes
  // nothing, a success code (VFW_S_ESTIMATED) comes with the bytes' size.
  void AnswerLength(HRESULT result);
  // Once read number index (from 0) has been answered, the file becomes
  // bytes, as one another program rewrites or cuts while it plays.
  void ReplaceBytesAfterRead(size_t index, std::vector<uint8_t> bytes);

  // Gates for races made on purpose: a read that starts at position, or
  // every Length call, waits inside the call until ReleaseHeld.
  void HoldReadsAt(LONGLONG position);
  void HoldLengthCalls();
  // Returns once a call waits at a gate, with no time limit.
  void WaitUntilHeld();
  // Lets every waiting call go and removes the gates.
  void ReleaseHeld();

  std::vector<Read> Reads() const;
  size_t ReadCount() const;
  LONG ReferenceCount();
  // IAsyncReader::Length calls so far.
  int LengthCalls() const { return m_lengthCalls.load(); }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IPersist, IMediaFilter, IBaseFilter
  STDMETHODIMP GetClassID(CLSID* classId) override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  STDMETHODIMP EnumPins(IEnumPins** enumerator) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* vendorInfo) override;

 private:
  class OutputPinImpl;
  friend class OutputPinImpl;

  ~MemoryAsyncSource();

  // copied, when given, receives how many bytes were copied.
  HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* copied = nullptr);
  HRESULT Length(LONGLONG* total, LONGLONG* available);
  // Waits while the gate is shut; m_lock must be held through lock.
  void PassGate(std::unique_lock<std::mutex>& lock, bool gated);
  void FillMediaType(AM_MEDIA_TYPE* type) const;

  std::atomic<LONG> m_references{0};
  std::atomic<int> m_lengthCalls{0};
  std::vector<uint8_t> m_bytes;
  mutable std::mutex m_lock;  // guards everything below
  GUID m_subtype;
  bool m_offerReader = true;
  PastEnd m_pastEnd = PastEnd::ShortRead;
  std::map<LONGLONG, HRESULT> m_positionAnswers;
  std::map<size_t, HRESULT> m_indexAnswers;
  std::vector<Read> m_reads;
  size_t m_replaceAfter = SIZE_MAX;  // read index after which m_replacement takes over
  std::vector<uint8_t> m_replacement;
  std::condition_variable m_gateChanged;
  bool m_holdRead = false;
  LONGLONG m_holdPosition = 0;
  bool m_holdLength = false;
  HRESULT m_lengthAnswer = S_OK;
  int m_heldCalls = 0;
  int m_releases = 0;
  FILTER_STATE m_state = State_Stopped;
  IReferenceClock* m_clock = nullptr;  // counted
  IFilterGraph* m_graph = nullptr;     // not counted: the graph owns the filter
  IPin* m_peer = nullptr;              // counted
  bool m_flushing = false;
  std::deque<std::pair<IMediaSample*, DWORD_PTR>> m_completed;  // counted samples
  OutputPinImpl* m_pin;                                         // owned
};
