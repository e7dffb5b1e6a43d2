#pragma once

#include "Platform.h"
#include "splitter/CSplitterInputPin.h"

class CCpkSplitterFilter;

// The FILM splitter's input pin: activating it rewinds the stream to its
// first row with both running times at 0.
class CCpkSplitterInputPin : public CSplitterInputPin {
 public:
  CCpkSplitterInputPin(CCpkSplitterFilter* filter, HRESULT* result, LPCWSTR pinName);

  HRESULT Activate() override;

 private:
  CCpkSplitterFilter* m_cpkFilter;  // not counted: the filter owns the pin
};
