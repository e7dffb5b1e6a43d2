// Fakes and helpers shared by the framework tests: a clock the test sets, a
// graph that records events, a sample that offers only IMediaSample, and a
// fixture that checks every tracked object is gone after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

#include <platform/Faults.h>

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CMediaTypeRecord.h"
#include "com/CTrackedObject.h"
#include "com/WideString.h"
#include "support/RecordingSinkFilter.h"
#include "support/TestSourceFilter.h"

// Neither fake frees itself: the test owns them on the stack and reads
// their counts.
class FakeClock : public IReferenceClock {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IReferenceClock)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Interlocked: the filter may count on another thread.
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references); }
  STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&references); }
  STDMETHODIMP GetTime(REFERENCE_TIME* time) override {
    if (FAILED(timeResult)) {
      return timeResult;
    }
    *time = now;
    return S_OK;
  }
  STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Unadvise(DWORD_PTR) override { return E_NOTIMPL; }

  LONG references = 0;
  REFERENCE_TIME now = 0;
  HRESULT timeResult = S_OK;
};

struct GraphEvent {
  LONG code;
  LONG_PTR parameter1;
  LONG_PTR parameter2;
};

class FakeGraph : public IFilterGraph, public IMediaEventSink {
 public:
  explicit FakeGraph(bool offersEventSink = true) : m_offersEventSink(offersEventSink) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IFilterGraph)) {
      *ppv = static_cast<IFilterGraph*>(this);
    } else if (m_offersEventSink && IsEqualGUID(riid, IID_IMediaEventSink)) {
      *ppv = static_cast<IMediaEventSink*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }

  STDMETHODIMP AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  STDMETHODIMP FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  STDMETHODIMP ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP Reconnect(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP Disconnect(IPin*) override { return E_NOTIMPL; }
  STDMETHODIMP SetDefaultSyncSource() override { return E_NOTIMPL; }

  STDMETHODIMP Notify(LONG code, LONG_PTR parameter1, LONG_PTR parameter2) override {
    std::lock_guard<std::mutex> guard(m_lock);
    events.push_back({code, parameter1, parameter2});
    return S_OK;
  }

  std::vector<GraphEvent> Events() {
    std::lock_guard<std::mutex> guard(m_lock);
    return events;
  }

  LONG references = 0;
  std::vector<GraphEvent> events;

 private:
  bool m_offersEventSink;
  std::mutex m_lock;
};

// A sample with only the IMediaSample interface, so that the input pin
// reads its properties one by one; or, when asked, one whose IMediaSample2
// properties cannot be read.
class PlainSample : public IMediaSample2 {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IMediaSample) ||
        (offersSample2 && IsEqualGUID(riid, IID_IMediaSample2))) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override { return --references; }
  STDMETHODIMP GetPointer(BYTE** buffer) override {
    *buffer = data;
    return S_OK;
  }
  STDMETHODIMP_(LONG) GetSize() override { return sizeof(data); }
  STDMETHODIMP GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
    if (!timeSet) {
      return VFW_E_SAMPLE_TIME_NOT_SET;
    }
    *start = this->start;
    *stop = this->stop;
    return S_OK;
  }
  STDMETHODIMP SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
  STDMETHODIMP IsSyncPoint() override { return syncPoint ? S_OK : S_FALSE; }
  STDMETHODIMP SetSyncPoint(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP IsPreroll() override { return preroll ? S_OK : S_FALSE; }
  STDMETHODIMP SetPreroll(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP_(LONG) GetActualDataLength() override { return actual; }
  STDMETHODIMP SetActualDataLength(LONG) override { return E_NOTIMPL; }
  STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** type) override {
    if (!typeChanged) {
      *type = nullptr;
      return S_FALSE;
    }
    *type = NewMediaTypeCopy(&mediaType);
    return *type != nullptr ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP SetMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP IsDiscontinuity() override { return discontinuity ? S_OK : S_FALSE; }
  STDMETHODIMP SetDiscontinuity(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
  STDMETHODIMP SetMediaTime(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  // Fails after writing part of the record, as a careless sample might.
  STDMETHODIMP GetProperties(DWORD size, BYTE* properties) override {
    std::memset(properties, 0x5A, size / 2);
    return E_FAIL;
  }
  STDMETHODIMP SetProperties(DWORD, const BYTE*) override { return E_NOTIMPL; }

  bool offersSample2 = false;
  LONG references = 0;
  BYTE data[64] = {};
  LONG actual = 0;
  bool timeSet = false;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  bool syncPoint = false;
  bool preroll = false;
  bool discontinuity = false;
  bool typeChanged = false;
  CMediaTypeRecord mediaType;
};

inline CMediaTypeRecord MakeType(const GUID& major, const GUID& sub, const GUID& format,
                                 std::vector<BYTE> formatBytes = {}) {
  CMediaTypeRecord type(&major);
  type.AssignSubtype(&sub);
  type.AssignFormatType(&format);
  if (!formatBytes.empty()) {
    type.AssignFormat(formatBytes.data(), static_cast<ULONG>(formatBytes.size()));
  }
  return type;
}

inline bool SameTypes(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  return static_cast<const CMediaTypeRecord&>(a) == b;
}

// The count an interface reports, without changing it.
template <class T>
LONG CountOf(T* object) {
  object->AddRef();
  return static_cast<LONG>(object->Release());
}

// Every framework test ends with no tracked object left alive.
class FrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    m_liveAtStart = CTrackedObject::LiveObjectCount();
  }
  void TearDown() override {
    EXPECT_EQ(CTrackedObject::LiveObjectCount(), m_liveAtStart);
    CoUninitialize();
  }

  template <class T>
  static CComHolder<T> Make() {
    return CComHolder<T>(new T());
  }

  // Connects source output index to the sink's input with the given type.
  static HRESULT Connect(TestSourceFilter* source, RecordingSinkFilter* sink,
                         const AM_MEDIA_TYPE* type = nullptr) {
    return static_cast<IPin*>(source->Output())->Connect(static_cast<IPin*>(sink->Input()), type);
  }

 private:
  LONG m_liveAtStart = 0;
};

inline CMediaTypeRecord AudioPcm() {
  return MakeType(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, {1, 0, 2, 0});
}
inline CMediaTypeRecord VideoA() {
  return MakeType(MEDIATYPE_Video, MEDIASUBTYPE_NULL, FORMAT_VideoInfo, {0xA});
}
inline CMediaTypeRecord VideoB() {
  return MakeType(MEDIATYPE_Video, MEDIASUBTYPE_NULL, FORMAT_VideoInfo, {0xB});
}
inline CMediaTypeRecord StreamType() {
  return MakeType(MEDIATYPE_Stream, MEDIASUBTYPE_NULL, FORMAT_None);
}
