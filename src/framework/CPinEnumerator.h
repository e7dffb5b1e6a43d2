#pragma once

#include "Platform.h"
#include "com/CPointerList.h"

class CFilterBase;

// IEnumPins over a filter's pins. When the filter's pin set changes, Next
// starts again from the first pin but never returns a pin twice.
class CPinEnumerator : public IEnumPins {
 public:
  // source: the enumerator being cloned, or null.
  CPinEnumerator(CFilterBase* filter, const CPinEnumerator* source);
  virtual ~CPinEnumerator();

  CPinEnumerator(const CPinEnumerator&) = delete;
  CPinEnumerator& operator=(const CPinEnumerator&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** enumerator) override;

 private:
  bool IsOutOfSync() const;
  void Resynchronize();

  LONG m_position;
  LONG m_pinCount;
  CFilterBase* m_filter;  // counted, through its IBaseFilter
  LONG m_version;
  LONG volatile m_referenceCount;
  CPointerList m_returnedPins;  // pin objects handed out since creation or Reset; not counted
};
