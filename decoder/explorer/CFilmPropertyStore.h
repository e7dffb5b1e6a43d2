// Explorer's columns for a FILM movie: its length as the splitter reports
// it, its picture's size, rate and code, its sound's rate, channels and
// sample width. Read once at Initialize; read-only.
#pragma once

#include <propsys.h>
#include <shobjidl.h>

#include "Platform.h"
#include "com/CInnerUnknown.h"

class CFilmPropertyStore : public CInnerUnknown,
                           public IInitializeWithStream,
                           public IPropertyStore,
                           public IPropertyStoreCapabilities {
 public:
  CFilmPropertyStore();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }
  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  // IInitializeWithStream: once; the stream is read here and not kept.
  STDMETHODIMP Initialize(IStream* stream, DWORD mode) override;
  // IPropertyStore
  STDMETHODIMP GetCount(DWORD* count) override;
  STDMETHODIMP GetAt(DWORD index, PROPERTYKEY* key) override;
  STDMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
  STDMETHODIMP SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
  STDMETHODIMP Commit() override;
  // IPropertyStoreCapabilities
  STDMETHODIMP IsPropertyWritable(REFPROPERTYKEY key) override;

 private:
  struct Property {
    const PROPERTYKEY* key;  // borrowed: one of the platform's constants
    ULONGLONG value;
    bool wide;  // an unsigned 64-bit value, else 32-bit
  };
  static constexpr DWORD kMostProperties = 8;

  void Add(const PROPERTYKEY& key, ULONGLONG value, bool wide);

  Property m_properties[kMostProperties] = {};
  DWORD m_count = 0;
  bool m_initialized = false;
};

// The class table's creator; the handler is never aggregated.
CInnerUnknown* CreateFilmPropertyStore(IUnknown* outer, HRESULT* result);
