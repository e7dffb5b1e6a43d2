#pragma once

#include "Platform.h"
#include "film/CCpkStreamDescription.h"
#include "position/CPositionPassThrough.h"

// The FILM splitter's position object: the duration comes from the splitter's
// own stream description and both seeking directions are reported as
// possible; every other request goes upstream through the input pin.
// Aggregated into the filter, which owns it and deletes it directly.
class CCpkSplitterPos : public CPositionPassThrough {
 public:
  // filterOuter: the filter's controlling unknown, on which every reference
  // taken through this object's interfaces counts. inputPin: the filter's
  // input pin (not counted). description: the filter's stream description
  // (not counted), read without a lock because only the input connection
  // writes it. *result gets E_POINTER for a null pin, else is not written.
  CCpkSplitterPos(IUnknown* filterOuter, HRESULT* result, IPin* inputPin,
                  const CCpkStreamDescription* description);
  ~CCpkSplitterPos() override;

  STDMETHODIMP get_Duration(REFTIME* length) override;
  STDMETHODIMP CanSeekForward(LONG* canSeek) override;
  STDMETHODIMP CanSeekBackward(LONG* canSeek) override;

 private:
  const CCpkStreamDescription* m_description;  // not counted: part of the owning filter
};
