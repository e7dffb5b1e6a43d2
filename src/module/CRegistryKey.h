#pragma once

#include "Platform.h"

// One open registry key, closed when the holder goes, so that every early
// return of the registration code closes what it opened.
class CRegistryKey {
 public:
  CRegistryKey() = default;
  ~CRegistryKey() { Close(); }

  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  HKEY Get() const { return m_key; }
  // For out parameters: closes what is held and exposes the empty slot.
  HKEY* ReleaseAndGetAddressOf() {
    Close();
    return &m_key;
  }
  void Close() {
    if (m_key != nullptr) {
      RegCloseKey(m_key);
      m_key = nullptr;
    }
  }

 private:
  HKEY m_key = nullptr;  // owned
};
