// Shared by the streaming component tests: a COM apartment per test and a
// small owning reference.
#pragma once

#include <gtest/gtest.h>
#include <win/platform.h>

#include <utility>

namespace streaming_test {

template <typename T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* adopted) : m_p(adopted) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = std::exchange(other.m_p, nullptr);
    }
    return *this;
  }
  ~Ref() { Reset(); }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  T** Out() {
    Reset();
    return &m_p;
  }
  T* Detach() { return std::exchange(m_p, nullptr); }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  void Reset() {
    if (m_p) std::exchange(m_p, nullptr)->Release();
  }

 private:
  T* m_p = nullptr;
};

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
  Ref<T> Create(REFCLSID clsid, REFIID iid) {
    Ref<T> object;
    EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.OutVoid()));
    return object;
  }
};

}  // namespace streaming_test
