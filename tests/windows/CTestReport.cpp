#include "CTestReport.h"

#include <objbase.h>

#include <cstdio>

bool CTestReport::Check(bool passed, const std::string& name, const std::string& detail) {
  if (passed) {
    ++m_passed;
    std::printf("PASS: %s\n", name.c_str());
  } else {
    ++m_failed;
    std::printf("FAIL: %s%s%s\n", name.c_str(), detail.empty() ? "" : " -- ", detail.c_str());
  }
  std::fflush(stdout);
  return passed;
}

void CTestReport::Note(const std::string& text) {
  std::printf("      %s\n", text.c_str());
  std::fflush(stdout);
}

int CTestReport::Finish() const {
  std::printf("%d passed, %d failed\n", m_passed, m_failed);
  std::fflush(stdout);
  return m_failed == 0 ? 0 : 1;
}

std::string HexResult(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

std::string Narrow(const WCHAR* text) {
  if (text == nullptr) {
    return "(null)";
  }
  char buffer[512];
  int written = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer), nullptr, nullptr);
  return written > 0 ? std::string(buffer) : std::string("?");
}

std::string GuidText(const GUID& guid) {
  WCHAR text[40];
  if (StringFromGUID2(guid, text, 40) == 0) {
    return "?";
  }
  return Narrow(text);
}
