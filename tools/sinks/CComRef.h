// A counted interface reference for the host and its sinks that releases
// itself, so every early return gives back what it took.
#pragma once

#include <win/platform.h>

#include <utility>

namespace tessaly {

template <typename T>
class CComRef {
 public:
  CComRef() = default;
  CComRef(const CComRef&) = delete;
  CComRef& operator=(const CComRef&) = delete;
  CComRef(CComRef&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  CComRef& operator=(CComRef&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ~CComRef() { Reset(); }

  // Takes over a reference the caller already holds.
  static CComRef Adopt(T* p) {
    CComRef ref;
    ref.m_p = p;
    return ref;
  }
  // Adds a reference of its own.
  static CComRef Share(T* p) {
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
  HRESULT As(REFIID iid, CComRef<U>* out) const {
    if (m_p == nullptr) return E_POINTER;
    return m_p->QueryInterface(iid, out->OutVoid());
  }

 private:
  T* m_p = nullptr;  // counted
};

}  // namespace tessaly
