// One PASS or FAIL line per check and the closing summary of a run.
#pragma once

#include <windows.h>

#include <string>

class CTestReport {
 public:
  // Returns passed, so that a caller can skip checks that build on this one.
  bool Check(bool passed, const std::string& name, const std::string& detail = std::string());
  void Note(const std::string& text);
  // Prints "N passed, M failed" and returns the process exit code.
  int Finish() const;

  int Failures() const { return m_failed; }

 private:
  int m_passed = 0;
  int m_failed = 0;
};

// "0x80040154" for an HRESULT, for failure details.
std::string HexResult(HRESULT hr);
std::string Narrow(const WCHAR* text);
std::string GuidText(const GUID& guid);
