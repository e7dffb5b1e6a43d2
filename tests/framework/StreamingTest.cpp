// Samples pushed from a worker thread through the output pin into the
// recording sink, with flushes, holds and state changes from the test's
// thread. These run under ThreadSanitizer.
#include <thread>

#include "framework/FrameworkTestKit.h"

namespace {

class StreamingTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    source = Make<TestSourceFilter>();
    sink = Make<RecordingSinkFilter>();
    output = source->Output();
    input = sink->Input();
  }
  void TearDown() override {
    if (worker.joinable()) {
      worker.join();
    }
    source->Stop();
    sink->Stop();
    static_cast<IPin*>(output)->Disconnect();
    static_cast<IPin*>(input)->Disconnect();
    source.Reset();
    sink.Reset();
    FrameworkTest::TearDown();
  }

  void ConnectAndPause(LONG buffers) {
    output->bufferCount = buffers;
    output->bufferSize = 64;
    CMediaTypeRecord type = AudioPcm();
    ASSERT_EQ(Connect(source.Get(), sink.Get(), &type), S_OK);
    ASSERT_EQ(sink->Pause(), S_OK);
    ASSERT_EQ(source->Pause(), S_OK);
  }

  // One sample with byte value n and times n*10..n*10+10; the result of
  // the delivery, or of the failed GetOutputSample.
  HRESULT SendOne(int n) {
    CComHolder<IMediaSample> sample;
    HRESULT hr = output->GetOutputSample(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) {
      return hr;
    }
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    data[0] = static_cast<BYTE>(n);
    sample->SetActualDataLength(1);
    REFERENCE_TIME start = n * 10;
    REFERENCE_TIME stop = start + 10;
    sample->SetTime(&start, &stop);
    return output->SendSample(sample.Get());
  }

  CComHolder<TestSourceFilter> source;
  CComHolder<RecordingSinkFilter> sink;
  TestOutputPin* output = nullptr;
  RecordingInputPin* input = nullptr;
  std::thread worker;
};

TEST_F(StreamingTest, SamplesArriveInOrderWithTheirTimesAndData) {
  ConnectAndPause(2);
  std::vector<HRESULT> results;
  HRESULT endResult = E_FAIL;
  worker = std::thread([&] {
    for (int n = 0; n < 20; ++n) {
      results.push_back(SendOne(n));
    }
    endResult = output->SendEndOfStream();
  });
  worker.join();

  EXPECT_EQ(results, std::vector<HRESULT>(20, S_OK));
  EXPECT_EQ(endResult, S_FALSE);
  EXPECT_EQ(input->EndOfStreamCount(), 1);
  std::vector<ReceivedSample> received = input->Received();
  ASSERT_EQ(received.size(), 20u);
  for (int n = 0; n < 20; ++n) {
    EXPECT_EQ(received[n].timeResult, S_OK);
    EXPECT_EQ(received[n].start, n * 10);
    EXPECT_EQ(received[n].stop, n * 10 + 10);
    EXPECT_EQ(received[n].bytes, std::vector<BYTE>{static_cast<BYTE>(n)});
  }
}

TEST_F(StreamingTest, FlushReleasesAHeldSampleAndRefusesTheNext) {
  ConnectAndPause(1);
  input->HoldSamples(true);
  std::vector<HRESULT> results;
  worker = std::thread([&] {
    results.push_back(SendOne(1));
    results.push_back(SendOne(2));
  });
  input->WaitUntilHeld();
  ASSERT_EQ(static_cast<IPin*>(input)->BeginFlush(), S_OK);
  worker.join();
  ASSERT_EQ(static_cast<IPin*>(input)->EndFlush(), S_OK);

  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_FALSE}));
  EXPECT_EQ(input->Received().size(), 1u);
  input->HoldSamples(false);
  EXPECT_EQ(SendOne(3), S_OK);
}

TEST_F(StreamingTest, StopWakesADeliveryWaitingForItsOnlyBuffer) {
  ConnectAndPause(1);
  input->KeepSamples(true);  // the single buffer never comes back by itself
  HRESULT last = S_OK;
  int sent = 0;
  worker = std::thread([&] {
    HRESULT hr;
    while ((hr = SendOne(sent)) == S_OK) {
      ++sent;
    }
    last = hr;
  });
  input->WaitForReceived(1);
  ASSERT_EQ(source->Stop(), S_OK);
  worker.join();
  input->DropKept();

  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(FAILED(last));
}

TEST_F(StreamingTest, StateChangesWhileSamplesFlow) {
  ConnectAndPause(2);
  std::vector<HRESULT> results;
  worker = std::thread([&] {
    HRESULT hr;
    int n = 0;
    // Delivery ends when the source's allocator is decommitted.
    while (SUCCEEDED(hr = SendOne(n++))) {
      results.push_back(hr);
    }
  });
  input->WaitForReceived(1);
  for (int round = 0; round < 20; ++round) {
    EXPECT_EQ(sink->Run(round), S_OK);
    EXPECT_EQ(static_cast<IPin*>(input)->BeginFlush(), S_OK);
    EXPECT_EQ(static_cast<IPin*>(input)->EndFlush(), S_OK);
    EXPECT_EQ(sink->Pause(), S_OK);
    FILTER_STATE state;
    sink->GetState(0, &state);
    EXPECT_EQ(state, State_Paused);
  }
  ASSERT_EQ(source->Stop(), S_OK);
  worker.join();

  for (HRESULT hr : results) {
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE);
  }
  std::vector<HRESULT> seen = input->ReceiveResults();
  EXPECT_FALSE(seen.empty());
}

}  // namespace
