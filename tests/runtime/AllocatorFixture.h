// A paged allocator held through IMemAllocator, and the samples it hands out.
#pragma once

#include <gtest/gtest.h>

#include <new>

#include "com/CComHolder.h"
#include "runtime/CPagedMemAllocator.h"

class AllocatorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(MakeAllocator(m_allocator)); }

  static void MakeAllocator(CComHolder<IMemAllocator>& out) {
    HRESULT hr = S_OK;
    CPagedMemAllocator* allocator =
        new (std::nothrow) CPagedMemAllocator("CSplitterInputPin", nullptr, &hr);
    ASSERT_NE(nullptr, allocator);
    ASSERT_EQ(S_OK, hr);
    ASSERT_EQ(S_OK,
              allocator->InnerQueryInterface(IID_IMemAllocator, out.ReleaseAndGetVoidAddressOf()));
  }

  void TearDown() override {
    if (m_allocator) {
      m_allocator->Decommit();
    }
  }

  HRESULT SetProperties(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
    ALLOCATOR_PROPERTIES request = {count, size, align, prefix};
    ALLOCATOR_PROPERTIES actual;
    return m_allocator->SetProperties(&request, &actual);
  }

  // A sample without waiting, or null.
  IMediaSample* TryGetBuffer() {
    IMediaSample* sample = nullptr;
    m_allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT);
    return sample;
  }

  CComHolder<IMemAllocator> m_allocator;
};
