#include "splitter/CCpkSplitterInputPin.h"

#include "splitter/CCpkSplitterFilter.h"

CCpkSplitterInputPin::CCpkSplitterInputPin(CCpkSplitterFilter* filter, HRESULT* result,
                                           LPCWSTR pinName)
    : CSplitterInputPin("CCpkSplitterInputPin", filter, filter->FilterLock(), result, pinName) {}
