#pragma once

#include "Platform.h"

class CPinBase;

// IEnumMediaTypes over the types a pin offers. Once the pin's type list
// changes, Next, Skip and Clone fail until Reset.
class CMediaTypeEnumerator : public IEnumMediaTypes {
 public:
  // source: the enumerator being cloned, or null.
  CMediaTypeEnumerator(CPinBase* pin, const CMediaTypeEnumerator* source);
  virtual ~CMediaTypeEnumerator();

  CMediaTypeEnumerator(const CMediaTypeEnumerator&) = delete;
  CMediaTypeEnumerator& operator=(const CMediaTypeEnumerator&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** enumerator) override;

 private:
  bool IsOutOfSync() const;

  LONG m_position;
  CPinBase* m_pin;  // counted, through its IPin
  LONG m_version;
  LONG volatile m_referenceCount;
};
