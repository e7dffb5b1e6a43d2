// Pins for driving a position pass-through: a forwarding pin of "our" filter
// and the upstream output pin it is connected to. The upstream pin offers
// IMediaSeeking and IMediaPosition (each can be withdrawn) and records the
// last call with its arguments; and the splitter's seeking state.
#pragma once

#include <string>

#include <win/platform.h>

#include "position/CMovieSeeking.h"

class CountedPin : public IPin {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
    return E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
    *pin = nullptr;
    return VFW_E_NOT_CONNECTED;
  }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override {
    return VFW_E_NOT_CONNECTED;
  }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override {
    return E_UNEXPECTED;
  }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return E_UNEXPECTED;
  }

  LONG references = 1;  // the test's own
};

class RecordingUpstreamPin : public CountedPin, public IMediaSeeking, public IMediaPosition {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IPin)) {
      *ppv = static_cast<IPin*>(this);
    } else if (IsEqualGUID(riid, IID_IMediaSeeking) && offersSeeking) {
      *ppv = static_cast<IMediaSeeking*>(this);
    } else if (IsEqualGUID(riid, IID_IMediaPosition) && offersPosition) {
      *ppv = static_cast<IMediaPosition*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CountedPin::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CountedPin::Release(); }

  // IMediaSeeking
  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* p) override {
    return Record("GetCapabilities", p, DWORD{0x25});
  }
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* p) override {
    seenDword = p != nullptr ? *p : 0;
    return Record("CheckCapabilities", p, DWORD{0x01});
  }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* f) override {
    seenFormat = f;
    return Record("IsFormatSupported");
  }
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* f) override {
    return Record("QueryPreferredFormat", f, TIME_FORMAT_FRAME);
  }
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* f) override {
    return Record("GetTimeFormat", f, TIME_FORMAT_BYTE);
  }
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* f) override {
    seenFormat = f;
    return Record("IsUsingTimeFormat");
  }
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* f) override {
    seenFormat = f;
    return Record("SetTimeFormat");
  }
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* p) override {
    return Record("GetDuration", p, LONGLONG{123456789012LL});
  }
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* p) override {
    return Record("GetStopPosition", p, LONGLONG{-7});
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* p) override {
    return Record("GetCurrentPosition", p, LONGLONG{0x7FFFFFFFFFFFFFFFLL});
  }
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                              LONGLONG source, const GUID* sourceFormat) override {
    seenFormat = targetFormat;
    seenSecondFormat = sourceFormat;
    seenLonglong = source;
    return Record("ConvertTimeFormat", target, LONGLONG{source * 2});
  }
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override {
    seenPointer = current;
    seenSecondPointer = stop;
    seenDword = currentFlags;
    seenSecondDword = stopFlags;
    return Record("SetPositions");
  }
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override {
    if (current != nullptr) {
      *current = 11;
    }
    return Record("GetPositions", stop, LONGLONG{22});
  }
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    if (earliest != nullptr) {
      *earliest = -1;
    }
    return Record("GetAvailable", latest, LONGLONG{99});
  }
  HRESULT STDMETHODCALLTYPE SetRate(double rate) override {
    seenDouble = rate;
    return Record("SetRate");
  }
  HRESULT STDMETHODCALLTYPE GetRate(double* rate) override { return Record("GetRate", rate, 1.25); }
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override {
    return Record("GetPreroll", p, LONGLONG{5000});
  }

  // IDispatch of the upstream position: never reached by a pass-through.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Record("GetTypeInfoCount"); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override {
    return Record("GetTypeInfo");
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return Record("GetIDsOfNames");
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return Record("Invoke");
  }

  // IMediaPosition
  HRESULT STDMETHODCALLTYPE get_Duration(REFTIME* p) override {
    return Record("get_Duration", p, 90.5);
  }
  HRESULT STDMETHODCALLTYPE put_CurrentPosition(REFTIME t) override {
    seenDouble = t;
    return Record("put_CurrentPosition");
  }
  HRESULT STDMETHODCALLTYPE get_CurrentPosition(REFTIME* p) override {
    return Record("get_CurrentPosition", p, 12.75);
  }
  HRESULT STDMETHODCALLTYPE get_StopTime(REFTIME* p) override {
    return Record("get_StopTime", p, 80.0);
  }
  HRESULT STDMETHODCALLTYPE put_StopTime(REFTIME t) override {
    seenDouble = t;
    return Record("put_StopTime");
  }
  HRESULT STDMETHODCALLTYPE get_PrerollTime(REFTIME* p) override {
    return Record("get_PrerollTime", p, 0.5);
  }
  HRESULT STDMETHODCALLTYPE put_PrerollTime(REFTIME t) override {
    seenDouble = t;
    return Record("put_PrerollTime");
  }
  HRESULT STDMETHODCALLTYPE put_Rate(double rate) override {
    seenDouble = rate;
    return Record("put_Rate");
  }
  HRESULT STDMETHODCALLTYPE get_Rate(double* rate) override {
    return Record("get_Rate", rate, -2.0);
  }
  HRESULT STDMETHODCALLTYPE CanSeekForward(LONG* p) override {
    return Record("CanSeekForward", p, LONG{OAFALSE});
  }
  HRESULT STDMETHODCALLTYPE CanSeekBackward(LONG* p) override {
    return Record("CanSeekBackward", p, LONG{OAFALSE});
  }

  bool offersSeeking = true;
  bool offersPosition = true;
  // Returned by every method; a success code other than S_OK shows it passed unchanged.
  HRESULT result = static_cast<HRESULT>(0x00040123);
  std::string lastCall;
  int calls = 0;
  const GUID* seenFormat = nullptr;
  const GUID* seenSecondFormat = nullptr;
  const void* seenPointer = nullptr;
  const void* seenSecondPointer = nullptr;
  DWORD seenDword = 0;
  DWORD seenSecondDword = 0;
  LONGLONG seenLonglong = 0;
  double seenDouble = 0.0;

 private:
  HRESULT Record(const char* name) {
    lastCall = name;
    ++calls;
    return result;
  }
  template <class T, class V>
  HRESULT Record(const char* name, T* out, V value) {
    if (out != nullptr) {
      *out = value;
    }
    return Record(name);
  }
};

// The pin of "our" filter that a pass-through forwards from.
class ForwardingPin : public CountedPin {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IPin)) {
      *ppv = static_cast<IPin*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CountedPin::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CountedPin::Release(); }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
    ++connectedToCalls;
    if (peer == nullptr) {
      return CountedPin::ConnectedTo(pin);
    }
    *pin = peer;
    peer->AddRef();
    return S_OK;
  }

  IPin* peer = nullptr;  // not counted
  int connectedToCalls = 0;
};

// A splitter's seeking state that answers from fields the test sets and
// records the last seek.
class FakeMovieSeeking : public CMovieSeeking {
 public:
  REFERENCE_TIME Duration() override { return duration; }
  void GetPositions(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    *start = segmentStart;
    *stop = segmentStop;
  }
  HRESULT SetPositions(int caller, LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                       DWORD stopFlags) override {
    lastCaller = caller;
    if (current != nullptr && currentFlags == AM_SEEKING_AbsolutePositioning) {
      segmentStart = *current;
    }
    if (stop != nullptr && stopFlags == AM_SEEKING_AbsolutePositioning) {
      segmentStop = *stop;
    }
    return S_OK;
  }

  REFERENCE_TIME duration = 0;
  REFERENCE_TIME segmentStart = 0;
  REFERENCE_TIME segmentStop = 0;
  int lastCaller = -1;
};
