// Thousands of Pause/Run/Stop cycles at random points of streaming, with
// sinks that take, refuse, hold or keep samples (kept ones go back later
// from another thread). Every state change must return, and everything
// delivered in a run must still be the right row with the right times.
// Sleeps and delays here only vary the interleavings: every check is on
// what was recorded, never on what happened during a sleep, and a wait
// for deliveries fails only far past any passing run (the watchdog says
// where a state change hangs).
// TESSALY_STRESS_CYCLES raises the cycle count for long runs;
// TESSALY_STRESS_SEED chooses other decisions than the fixed default's (the
// seed is printed first, and named in every failure).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "HardeningKit.h"

using hardening::SinkPolicy;
using hardening::SplitterGraph;
using hardening::StreamSinkPin;

namespace {

constexpr int kDefaultCycles = 2000;
// Every run walks the same states unless TESSALY_STRESS_SEED picks others,
// so that a failure in CI repeats on a developer's machine.
constexpr uint32_t kDefaultSeed = 20261207;

uint64_t EnvironmentNumber(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') {
    return fallback;
  }
  return std::strtoull(text, nullptr, 0);
}

SinkPolicy RandomPolicy(std::mt19937& random) {
  SinkPolicy policy;
  auto upTo = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
  switch (upTo(4)) {
    case 0:  // takes everything at once
      break;
    case 1:  // a slow renderer: Receive blocks
      policy.holdChance = 30 + upTo(70);
      break;
    case 2:  // keeps frames on screen and lets them go later
      policy.keepChance = 30 + upTo(70);
      break;
    case 3:  // refuses some
      policy.refuseChance = 5 + upTo(40);
      break;
    default:  // all of it
      policy.refuseChance = upTo(20);
      policy.holdChance = upTo(40);
      policy.keepChance = upTo(40);
      break;
  }
  policy.maxDelay = std::chrono::microseconds(upTo(300));
  return policy;
}

class SplitterStressTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(SplitterStressTest, StateChangesAtRandomPointsKeepEveryDeliveryRight) {
  const uint32_t seed =
      static_cast<uint32_t>(EnvironmentNumber("TESSALY_STRESS_SEED", kDefaultSeed));
  const uint64_t cycles = EnvironmentNumber("TESSALY_STRESS_CYCLES", kDefaultCycles);
  const std::string repeat = "seed " + std::to_string(seed) +
                             " (TESSALY_STRESS_SEED=" + std::to_string(seed) + " repeats it)";
  SCOPED_TRACE(repeat);
  // Before the run, so that a run ended by ctest's timeout still names it.
  std::printf("[ stress   ] %s\n", repeat.c_str());
  std::fflush(stdout);

  filmwriter::FilmWriter writer = hardening::InterleavedMovie(10, 10, 400, 300);
  const filmwriter::FilmExpectation expect = writer.Expect();
  std::mt19937 random(seed);
  auto upTo = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };

  hardening::DelayedReleaser releaser;
  hardening::Watchdog watchdog;
  SplitterGraph graph;
  ASSERT_EQ(graph.Build(writer.Build(), &releaser, seed), S_OK);
  StreamSinkPin* sinks[] = {graph.AudioInput(), graph.VideoInput()};
  const filmwriter::Stream streams[] = {filmwriter::Stream::Audio, filmwriter::Stream::Video};

  uint64_t completeRuns = 0;
  for (uint64_t cycle = 0; cycle < cycles; ++cycle) {
    const std::string where = "cycle " + std::to_string(cycle) + ", " + repeat;
    for (StreamSinkPin* sink : sinks) {
      sink->SetPolicy(RandomPolicy(random));
      sink->ClearRecords();
    }

    watchdog.Arm("Pause in " + where);
    ASSERT_EQ(graph.Pause(), S_OK) << where;
    watchdog.Disarm();

    // A few changes between Paused and Running while samples flow.
    for (int change = upTo(3); change > 0; --change) {
      std::this_thread::sleep_for(std::chrono::microseconds(upTo(200)));
      watchdog.Arm("Run or Pause in " + where);
      ASSERT_EQ(upTo(1) == 0 ? graph.Run() : graph.Pause(), S_OK) << where;
      watchdog.Disarm();
    }

    StreamSinkPin* watched = sinks[upTo(1)];
    watchdog.Arm("waiting for deliveries in " + where);
    switch (upTo(3)) {
      case 0:  // Stop at once
        break;
      case 1:  // Stop after some samples
        watched->WaitForReceives(static_cast<size_t>(upTo(12)));
        break;
      case 2:  // Stop at a random moment
        std::this_thread::sleep_for(std::chrono::microseconds(upTo(2000)));
        break;
      default:  // Stop after the end of the stream
        for (StreamSinkPin* sink : sinks) {
          sink->WaitForEndOfStream();
        }
        break;
    }
    watchdog.Disarm();

    // A sink that saw end-of-stream before Stop must have been sent every row.
    bool ended[2];
    for (int i = 0; i < 2; ++i) {
      ended[i] = sinks[i]->EndOfStreamCount() > 0;
    }
    watchdog.Arm("Stop in " + where);
    ASSERT_EQ(graph.Stop(), S_OK) << where;
    watchdog.Disarm();

    for (int i = 0; i < 2; ++i) {
      const std::string wrong =
          CheckDelivery(expect, streams[i], sinks[i]->Records(),
                        ended[i] ? Delivered::ToTheEnd : Delivered::UntilStopped);
      ASSERT_EQ(wrong, "") << where;
      ASSERT_LE(sinks[i]->EndOfStreamCount(), 1) << where;
    }
    if (ended[0] && ended[1]) {
      ++completeRuns;
    }
  }

  watchdog.Arm("draining kept samples, " + repeat);
  releaser.Drain();
  watchdog.Disarm();
  EXPECT_TRUE(graph.TearDown()) << "an object of the module outlived the stress run";
  std::printf("[ stress   ] %llu cycles, %llu streamed to the end, seed %u\n",
              static_cast<unsigned long long>(cycles),
              static_cast<unsigned long long>(completeRuns), seed);
}

}  // namespace
