// A counted interface reference released when it goes out of scope.
#pragma once

#include <windows.h>

template <typename T>
class CComRef {
 public:
  CComRef() = default;
  // Takes over a reference the caller already holds.
  explicit CComRef(T* adopted) : m_p(adopted) {}
  CComRef(const CComRef& other) : m_p(other.m_p) {
    if (m_p != nullptr) {
      m_p->AddRef();
    }
  }
  CComRef& operator=(const CComRef& other) {
    if (other.m_p != nullptr) {
      other.m_p->AddRef();
    }
    Reset();
    m_p = other.m_p;
    return *this;
  }
  ~CComRef() { Reset(); }

  void Reset() {
    if (m_p != nullptr) {
      T* old = m_p;
      m_p = nullptr;
      old->Release();
    }
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  // For out parameters: releases what is held first.
  T** Out() {
    Reset();
    return &m_p;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  template <typename U>
  HRESULT QueryTo(CComRef<U>* out, REFIID iid) const {
    if (m_p == nullptr) {
      return E_POINTER;
    }
    return m_p->QueryInterface(iid, out->OutVoid());
  }

 private:
  T* m_p = nullptr;  // counted
};
