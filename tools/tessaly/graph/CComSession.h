// COM initialised on the calling thread for as long as the object lives.
#pragma once

#include <win/platform.h>

namespace tessaly::cli {

class CComSession {
 public:
  CComSession() : m_result(CoInitialize(nullptr)) {}
  CComSession(const CComSession&) = delete;
  CComSession& operator=(const CComSession&) = delete;
  ~CComSession() {
    if (SUCCEEDED(m_result)) CoUninitialize();
  }

  HRESULT Result() const { return m_result; }

 private:
  HRESULT m_result;
};

}  // namespace tessaly::cli
