// Explorer's picture of a FILM movie: a key frame a tenth into it, decoded
// by the decoder library and shrunk to the size asked.
#pragma once

#include <shobjidl.h>
#include <thumbcache.h>

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CInnerUnknown.h"

class CFilmThumbnailProvider : public CInnerUnknown,
                               public IInitializeWithStream,
                               public IThumbnailProvider {
 public:
  CFilmThumbnailProvider();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }
  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;

  // IInitializeWithStream: once; the stream is read only by GetThumbnail.
  STDMETHODIMP Initialize(IStream* stream, DWORD mode) override;
  // IThumbnailProvider
  STDMETHODIMP GetThumbnail(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override;

 private:
  CComHolder<IStream> m_stream;  // counted: the movie, from Initialize on
};

// The class table's creator; the provider is never aggregated.
CInnerUnknown* CreateFilmThumbnailProvider(IUnknown* outer, HRESULT* result);
