#pragma once

#include "Platform.h"
#include "splitter/CSplitterInputPin.h"

class CCpkSplitterFilter;

// The FILM splitter's input pin, on the filter's lock.
class CCpkSplitterInputPin : public CSplitterInputPin {
 public:
  CCpkSplitterInputPin(CCpkSplitterFilter* filter, HRESULT* result, LPCWSTR pinName);
};
