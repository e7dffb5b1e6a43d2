// The enumerators a one-pin sink hands out: its single pin, and no preferred
// media types (the sink takes whatever the upstream pin proposes).
#pragma once

#include <windows.h>

#include <strmif.h>

class CSinglePinEnum : public IEnumPins {
 public:
  // pin: counted by the enumerator (which keeps its filter alive).
  CSinglePinEnum(IPin* pin, ULONG position);
  virtual ~CSinglePinEnum();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override;

 private:
  volatile LONG m_refs = 1;
  IPin* m_pin;  // counted
  ULONG m_position;
};

class CEmptyMediaTypeEnum : public IEnumMediaTypes {
 public:
  CEmptyMediaTypeEnum() = default;
  virtual ~CEmptyMediaTypeEnum() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override;

 private:
  volatile LONG m_refs = 1;
};
