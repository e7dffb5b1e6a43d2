// The input pin of the recording sink: accepts the type its upstream pin
// proposes and records every sample exactly as the platform's sample object
// reports it.
#pragma once

#include <windows.h>

#include <strmif.h>

#include <cstdint>
#include <string>
#include <vector>

class CRecordingSink;

struct RecordedSample {
  HRESULT timeResult = E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  HRESULT mediaTimeResult = E_FAIL;
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  HRESULT syncResult = E_FAIL;           // IsSyncPoint: S_OK or S_FALSE
  HRESULT discontinuityResult = E_FAIL;  // IsDiscontinuity
  LONG length = 0;
  std::vector<uint8_t> bytes;
};

class CRecordingPin : public IPin, public IMemInputPin {
 public:
  // owner: not counted; the pin lives inside it and forwards its counts there.
  explicit CRecordingPin(CRecordingSink* owner);
  virtual ~CRecordingPin();

  // IUnknown, forwarded to the owner for the counts.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** enumerator) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                       double rate) override;

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count,
                                            LONG* processed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

  // Test controls; the records are read after the graph has stopped.
  void OfferAllocator(bool offer) { m_offerAllocator = offer; }
  void AskForRequirements(bool ask) { m_askForRequirements = ask; }
  // Refuses connections of any other major type (GUID_NULL takes all).
  void AcceptOnly(const GUID& majorType) { m_acceptedMajor = majorType; }
  std::vector<RecordedSample> Samples();
  int EndOfStreamCount();
  void ClearRecords();
  // The allocator agreed for the connection, counted for the caller; or null.
  IMemAllocator* Allocator();
  void EndFlushing();

 private:
  void FreeType();

  CRecordingSink* m_owner;               // not counted
  IPin* m_peer = nullptr;                // counted
  IMemAllocator* m_allocator = nullptr;  // counted
  AM_MEDIA_TYPE m_type = {};             // pbFormat owned (task memory)
  bool m_flushing = false;
  bool m_offerAllocator = true;
  bool m_askForRequirements = false;
  GUID m_acceptedMajor = GUID_NULL;
  std::vector<RecordedSample> m_samples;
  int m_endOfStream = 0;
};
