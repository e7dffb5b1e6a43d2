// Pieces shared by the hardening tests: the built module loaded the way a
// host loads it, a sink that can accept, refuse, hold or keep samples, a
// releaser thread that gives kept samples back later, and a watchdog that
// says what a hanging run was doing.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "Platform.h"
#include "com/CComHolder.h"
#include "filmwriter/FilmWriter.h"
#include "support/DeliveryCheck.h"
#include "support/Pattern.h"
#include "support/RecordingSinkFilter.h"

namespace hardening {

// tessaly.ax loaded through the platform's LoadLibraryA, so that its entry
// point runs, and reached only through its exports.
class LoadedModule {
 public:
  ~LoadedModule() { Unload(); }

  HRESULT Load();
  void Unload();
  bool Loaded() const { return m_module != nullptr; }

  HRESULT GetClassObject(REFCLSID classId, REFIID iid, void** object) const;
  HRESULT CanUnloadNow() const;
  HRESULT RegisterServer() const;
  HRESULT UnregisterServer() const;

 private:
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);
  using PlainFn = HRESULT (*)();

  template <typename F>
  F Export(const char* name) const {
    // Exports are found as FARPROC; the detour through void* says the cast is meant.
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
  }

  HMODULE m_module = nullptr;
  GetClassObjectFn m_getClassObject = nullptr;
  PlainFn m_canUnloadNow = nullptr;
  PlainFn m_registerServer = nullptr;
  PlainFn m_unregisterServer = nullptr;
};

// Gives samples back to their allocator from a thread of its own, each after
// its own delay, as a renderer releases the frame it showed.
class DelayedReleaser {
 public:
  DelayedReleaser();
  ~DelayedReleaser();

  // Takes over one reference of sample.
  void Post(IMediaSample* sample, std::chrono::microseconds delay);
  // Returns true once every posted sample has been released; fails the
  // test past a minute.
  bool Drain();

 private:
  void Main();

  struct Pending {
    std::chrono::steady_clock::time_point due;
    IMediaSample* sample;  // counted
  };

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<Pending> m_pending;
  bool m_busy = false;
  bool m_exit = false;
  std::thread m_thread;
};

// How a sink answers the samples it receives; chances are in percent.
struct SinkPolicy {
  int refuseChance = 0;  // answers E_FAIL or S_FALSE instead of taking the sample
  int holdChance = 0;    // blocks inside Receive for up to maxDelay
  int keepChance = 0;    // keeps the sample; the releaser gives it back after up to maxDelay
  std::chrono::microseconds maxDelay{0};
};

// A recording sink pin whose answers follow a SinkPolicy: the held and kept
// samples vary the interleavings of a run.
class StreamSinkPin : public RecordingInputPin {
 public:
  StreamSinkPin(TestFilterBase* owner, HRESULT* result, DelayedReleaser* releaser, uint32_t seed);

  void SetPolicy(const SinkPolicy& policy);

 private:
  HRESULT Answer(IMediaSample* sample);

  DelayedReleaser* m_releaser;  // borrowed: outlives the sink; null when nothing is kept
  std::mutex m_policyLock;      // guards the two below
  std::mt19937 m_random;
  SinkPolicy m_policy;
};

class StreamSink : public TestFilterBase {
 public:
  // result reports a pin that could not be built (its name, under memory faults).
  StreamSink(HRESULT* result, DelayedReleaser* releaser, uint32_t seed);
  StreamSinkPin* Input() { return static_cast<StreamSinkPin*>(PinAt(0)); }
};

// The module's splitter between an in-memory source and one StreamSink per
// output, built through the module's exports and driven in the graph's
// order (downstream first).
class SplitterGraph {
 public:
  ~SplitterGraph() { TearDown(); }

  HRESULT Build(const std::vector<uint8_t>& file, DelayedReleaser* releaser, uint32_t seed);
  // Stops, disconnects and releases everything, then unloads the module;
  // false when the module still had an object or a lock.
  bool TearDown();

  HRESULT Pause();
  HRESULT Run();
  HRESULT Stop();

  IBaseFilter* Splitter() const { return m_splitter.Get(); }
  StreamSinkPin* AudioInput() const;
  StreamSinkPin* VideoInput() const;
  const LoadedModule& Module() const { return m_module; }

 private:
  std::vector<IBaseFilter*> Filters() const;
  HRESULT ConnectSink(const WCHAR* name, DelayedReleaser* releaser, uint32_t seed,
                      CComHolder<IBaseFilter>* sink);

  LoadedModule m_module;
  CComHolder<IBaseFilter> m_splitter;
  CComHolder<IBaseFilter> m_source;
  CComHolder<IBaseFilter> m_audioSink;
  CComHolder<IBaseFilter> m_videoSink;
};

// Says what a hanging run was doing: if it stays armed for a minute, the
// message is printed once. It never fails a test, so a slow machine cannot
// make it fail; a real hang is ended by ctest's timeout, with this message
// in the output.
class Watchdog {
 public:
  Watchdog();
  ~Watchdog();

  void Arm(std::string what);
  void Disarm();

 private:
  void Main();

  std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_armed = false;
  bool m_reported = false;
  bool m_exit = false;
  std::chrono::steady_clock::time_point m_deadline;
  std::string m_what;
  std::thread m_thread;
};

// A movie with interleaved audio (22,050 Hz, 8-bit mono) and video rows,
// every payload distinct so that a delivered sample names its row.
filmwriter::FilmWriter InterleavedMovie(int audioRows, int videoRows, size_t audioBytes,
                                        size_t videoBytes);

}  // namespace hardening
