#include "explorer/CFilmPropertyStore.h"

// The property keys are the platform's own, defined here from its header.
#include <initguid.h>

#include <propkey.h>

#include <new>

#include "explorer/CStreamByteSource.h"
#include "shell/CMovieSummary.h"

CInnerUnknown* CreateFilmPropertyStore(IUnknown* outer, HRESULT* result) {
  if (outer != nullptr) {
    *result = CLASS_E_NOAGGREGATION;
    return nullptr;
  }
  return new (std::nothrow) CFilmPropertyStore();
}

CFilmPropertyStore::CFilmPropertyStore() : CInnerUnknown("CFilmPropertyStore", nullptr) {}

HRESULT CFilmPropertyStore::InnerQueryInterface(REFIID riid, void** ppv) {
  if (IsEqualGUID(riid, IID_IInitializeWithStream)) {
    return HandOutInterface(static_cast<IInitializeWithStream*>(this), ppv);
  }
  if (IsEqualGUID(riid, IID_IPropertyStore)) {
    return HandOutInterface(static_cast<IPropertyStore*>(this), ppv);
  }
  if (IsEqualGUID(riid, IID_IPropertyStoreCapabilities)) {
    return HandOutInterface(static_cast<IPropertyStoreCapabilities*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

void CFilmPropertyStore::Add(const PROPERTYKEY& key, ULONGLONG value, bool wide) {
  if (m_count < kMostProperties) {
    m_properties[m_count++] = Property{&key, value, wide};
  }
}

STDMETHODIMP CFilmPropertyStore::Initialize(IStream* stream, DWORD mode) {
  if (stream == nullptr) {
    return E_POINTER;
  }
  if (m_initialized) {
    return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  }
  CStreamByteSource source(stream);
  tessaly::shell::CMovieSummary summary;
  const tessaly::shell::SummaryStatus read = summary.Read(source);
  if (read != tessaly::shell::SummaryStatus::kOk) {
    return read == tessaly::shell::SummaryStatus::kNoMemory ? E_OUTOFMEMORY : E_FAIL;
  }
  m_initialized = true;
  Add(PKEY_Media_Duration, static_cast<ULONGLONG>(summary.Duration()), true);
  if (summary.VideoRows() > 0) {
    Add(PKEY_Video_FrameWidth, summary.Width(), false);
    Add(PKEY_Video_FrameHeight, summary.Height(), false);
    Add(PKEY_Video_FrameRate, summary.FrameRateMillis(), false);
    Add(PKEY_Video_FourCC, MAKEFOURCC('c', 'v', 'i', 'd'), false);
  }
  // The splitter offers a sound output whenever the header names channels.
  if (summary.Channels() > 0) {
    Add(PKEY_Audio_SampleRate, summary.SampleRate(), false);
    Add(PKEY_Audio_ChannelCount, summary.Channels(), false);
    Add(PKEY_Audio_SampleSize, summary.BitsPerSample(), false);
  }
  return S_OK;
}

STDMETHODIMP CFilmPropertyStore::GetCount(DWORD* count) {
  if (count == nullptr) {
    return E_POINTER;
  }
  *count = m_count;
  return S_OK;
}

STDMETHODIMP CFilmPropertyStore::GetAt(DWORD index, PROPERTYKEY* key) {
  if (key == nullptr) {
    return E_POINTER;
  }
  if (index >= m_count) {
    *key = PROPERTYKEY{};
    return E_INVALIDARG;
  }
  *key = *m_properties[index].key;
  return S_OK;
}

STDMETHODIMP CFilmPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
  if (value == nullptr) {
    return E_POINTER;
  }
  PropVariantInit(value);
  for (DWORD index = 0; index < m_count; ++index) {
    const Property& property = m_properties[index];
    if (!IsEqualPropertyKey(*property.key, key)) {
      continue;
    }
    if (property.wide) {
      value->vt = VT_UI8;
      value->uhVal.QuadPart = property.value;
    } else {
      value->vt = VT_UI4;
      value->ulVal = static_cast<ULONG>(property.value);
    }
    return S_OK;
  }
  // A key the movie has no value for is empty, not an error.
  return S_OK;
}

STDMETHODIMP CFilmPropertyStore::SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) {
  return STG_E_ACCESSDENIED;
}

STDMETHODIMP CFilmPropertyStore::Commit() { return STG_E_ACCESSDENIED; }

STDMETHODIMP CFilmPropertyStore::IsPropertyWritable(REFPROPERTYKEY key) { return S_FALSE; }
