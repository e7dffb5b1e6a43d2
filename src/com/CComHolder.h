#pragma once

#include "Platform.h"

// Holds one counted reference on an interface, so that every early return
// releases what was taken. Copying AddRefs; moving hands the reference on.
template <class T>
class CComHolder {
 public:
  CComHolder() = default;
  CComHolder(decltype(nullptr)) {}
  // Takes a reference of its own on p.
  CComHolder(T* p) : m_p(p) { AddRefHeld(); }
  CComHolder(const CComHolder& other) : m_p(other.m_p) { AddRefHeld(); }
  CComHolder(CComHolder&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
  ~CComHolder() { Reset(); }

  CComHolder& operator=(T* p) {
    // AddRef before Release: p may be reachable only through the old reference.
    if (p != nullptr) {
      p->AddRef();
    }
    T* old = m_p;
    m_p = p;
    if (old != nullptr) {
      old->Release();
    }
    return *this;
  }
  CComHolder& operator=(const CComHolder& other) { return *this = other.m_p; }
  CComHolder& operator=(CComHolder&& other) noexcept {
    if (this != &other) {
      T* old = m_p;
      m_p = other.m_p;
      other.m_p = nullptr;
      if (old != nullptr) {
        old->Release();
      }
    }
    return *this;
  }
  CComHolder& operator=(decltype(nullptr)) {
    Reset();
    return *this;
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // Adopts a reference the caller already owns, releasing the one held.
  void Attach(T* p) {
    T* old = m_p;
    m_p = p;
    if (old != nullptr) {
      old->Release();
    }
  }
  // Gives up the held reference to the caller without releasing it.
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }
  // Releases the held reference.
  void Reset() {
    T* old = m_p;
    m_p = nullptr;
    if (old != nullptr) {
      old->Release();
    }
  }

  // For out parameters: releases what is held and exposes the empty slot.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &m_p;
  }
  void** ReleaseAndGetVoidAddressOf() { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

  // Hands a new reference to an out parameter: E_POINTER when out is null.
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) {
      return E_POINTER;
    }
    *out = m_p;
    AddRefHeld();
    return S_OK;
  }

 private:
  void AddRefHeld() const {
    if (m_p != nullptr) {
      m_p->AddRef();
    }
  }

  T* m_p = nullptr;  // counted
};
