// Shared by the graph tests: a memory registry and a COM apartment per test,
// a graph, a call log, and a check that every object is released at the end.
#pragma once

#include <gtest/gtest.h>
#include <platform/GraphBuilding.h>
#include <platform/Registry.h>
#include <win/platform.h>

#include <memory>
#include <utility>

#include "com/CComHolder.h"
#include "support/FakeFilter.h"

namespace graph_test {

class GraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, builder.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK,
              builder->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK,
              builder->QueryInterface(IID_IMediaEventEx, events.ReleaseAndGetVoidAddressOf()));
  }
  void TearDown() override {
    if (control.Get()) control->Stop();
    for (FakeFilter* filter : m_owned) filter->Release();
    m_owned.clear();
    control.Reset();
    events.Reset();
    builder.Reset();
    EXPECT_EQ(0, g_liveFakes.load()) << "a fake filter outlived its graph";
    CoUninitialize();
  }

  // A filter the test keeps one reference on until TearDown.
  FakeFilter* Make(std::string name, FakeFilter::Role role = FakeFilter::Role::Plain) {
    FakeFilter* filter = FakeFilter::New(std::move(name), log, role);
    m_owned.push_back(filter);
    return filter;
  }
  FakeFilter* Add(std::string name) {
    FakeFilter* filter = Make(name);
    EXPECT_EQ(S_OK, builder->AddFilter(filter, std::u16string(name.begin(), name.end()).c_str()));
    return filter;
  }
  void Link(FakeFilter* from, FakeFilter* to) {
    FakePin* out = from->AddPin(PINDIR_OUTPUT, u"Out" + std::u16string(1, u'0' + from->PinCount()),
                                {{MEDIATYPE_Stream, MEDIASUBTYPE_NULL}});
    FakePin* in = to->AddPin(PINDIR_INPUT, u"In" + std::u16string(1, u'0' + to->PinCount()));
    ASSERT_EQ(S_OK, builder->ConnectDirect(out, in, nullptr));
  }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  CComHolder<IGraphBuilder> builder;
  CComHolder<IMediaControl> control;
  CComHolder<IMediaEventEx> events;

 private:
  std::vector<FakeFilter*> m_owned;  // counted
};

}  // namespace graph_test
