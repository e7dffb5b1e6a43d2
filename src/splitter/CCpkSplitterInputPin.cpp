#include "splitter/CCpkSplitterInputPin.h"

#include "splitter/CCpkSplitterFilter.h"

CCpkSplitterInputPin::CCpkSplitterInputPin(CCpkSplitterFilter* filter, HRESULT* result,
                                           LPCWSTR pinName)
    : CSplitterInputPin("CCpkSplitterInputPin", filter, filter->FilterLock(), result, pinName),
      m_cpkFilter(filter) {}

HRESULT CCpkSplitterInputPin::Activate() {
  m_cpkFilter->RewindStream();
  return CSplitterInputPin::Activate();
}
