// Shared by the streaming component tests: a COM apartment per test and the
// reference count of an object.
#pragma once

#include <gtest/gtest.h>
#include <win/platform.h>

#include <utility>

#include "com/CComHolder.h"

namespace streaming_test {

// Reference count of an object, read by a matched AddRef/Release.
inline ULONG RefCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }

  template <typename T>
  CComHolder<T> Create(REFCLSID clsid, REFIID iid) {
    CComHolder<T> object;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                     object.ReleaseAndGetVoidAddressOf()));
    return object;
  }
};

}  // namespace streaming_test
