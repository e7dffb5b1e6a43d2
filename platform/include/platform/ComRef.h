// A counted interface reference that releases itself, so that every early
// return in the platform's components and in the host gives back what it took.
#pragma once

#include <win/platform.h>

#include <utility>

namespace platform {

template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ~ComRef() { Reset(); }

  // Takes over a reference the caller already holds.
  static ComRef Adopt(T* p) {
    ComRef ref;
    ref.m_p = p;
    return ref;
  }
  // Adds a reference of its own.
  static ComRef Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  T** Out() {
    Reset();
    return &m_p;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  T* Detach() { return std::exchange(m_p, nullptr); }
  void Reset(T* p = nullptr) {
    T* old = std::exchange(m_p, p);
    if (old) old->Release();
  }

  // QueryInterface into another holder.
  template <typename U>
  HRESULT As(REFIID iid, ComRef<U>* out) const {
    if (m_p == nullptr) return E_POINTER;
    return m_p->QueryInterface(iid, out->OutVoid());
  }

 private:
  T* m_p = nullptr;  // counted
};

}  // namespace platform
