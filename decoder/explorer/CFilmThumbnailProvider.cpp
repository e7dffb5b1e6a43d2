#include "explorer/CFilmThumbnailProvider.h"

#include <cstring>
#include <new>

#include "explorer/CStreamByteSource.h"
#include "shell/CMovieSummary.h"
#include "shell/PictureScaling.h"
#include "shell/ThumbnailFrame.h"

namespace {

HRESULT ResultOf(tessaly::shell::PictureStatus status) {
  switch (status) {
    case tessaly::shell::PictureStatus::kOk:
      return S_OK;
    case tessaly::shell::PictureStatus::kNoMemory:
      return E_OUTOFMEMORY;
    case tessaly::shell::PictureStatus::kReadFailed:
      return STG_E_READFAULT;
    default:
      return E_FAIL;
  }
}

// A top-down 32-bit section holding picture.
HRESULT MakeBitmap(const tessaly::shell::Picture& picture, HBITMAP* bitmap) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(picture.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(picture.height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section == nullptr || bits == nullptr) {
    if (section != nullptr) {
      DeleteObject(section);
    }
    return E_OUTOFMEMORY;
  }
  // 32-bit rows have no padding.
  std::memcpy(bits, picture.pixels.get(), size_t{picture.width} * picture.height * 4);
  *bitmap = section;
  return S_OK;
}

}  // namespace

CInnerUnknown* CreateFilmThumbnailProvider(IUnknown* outer, HRESULT* result) {
  if (outer != nullptr) {
    *result = CLASS_E_NOAGGREGATION;
    return nullptr;
  }
  return new (std::nothrow) CFilmThumbnailProvider();
}

CFilmThumbnailProvider::CFilmThumbnailProvider()
    : CInnerUnknown("CFilmThumbnailProvider", nullptr) {}

HRESULT CFilmThumbnailProvider::InnerQueryInterface(REFIID riid, void** ppv) {
  if (IsEqualGUID(riid, IID_IInitializeWithStream)) {
    return HandOutInterface(static_cast<IInitializeWithStream*>(this), ppv);
  }
  if (IsEqualGUID(riid, __uuidof(IThumbnailProvider))) {
    return HandOutInterface(static_cast<IThumbnailProvider*>(this), ppv);
  }
  return CInnerUnknown::InnerQueryInterface(riid, ppv);
}

STDMETHODIMP CFilmThumbnailProvider::Initialize(IStream* stream, DWORD mode) {
  if (stream == nullptr) {
    return E_POINTER;
  }
  if (m_stream) {
    return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  }
  m_stream = stream;
  return S_OK;
}

STDMETHODIMP CFilmThumbnailProvider::GetThumbnail(UINT size, HBITMAP* bitmap,
                                                  WTS_ALPHATYPE* alpha) {
  if (bitmap == nullptr || alpha == nullptr) {
    return E_POINTER;
  }
  *bitmap = nullptr;
  *alpha = WTSAT_UNKNOWN;
  if (!m_stream) {
    return E_UNEXPECTED;
  }
  CStreamByteSource source(m_stream.Get());
  tessaly::shell::CMovieSummary summary;
  const tessaly::shell::SummaryStatus read = summary.Read(source);
  if (read != tessaly::shell::SummaryStatus::kOk) {
    return read == tessaly::shell::SummaryStatus::kNoMemory ? E_OUTOFMEMORY : E_FAIL;
  }
  tessaly::shell::Picture frame;
  const HRESULT hr = ResultOf(tessaly::shell::DecodeThumbnailFrame(
      source, summary, tessaly::shell::ChooseThumbnailRow(summary), &frame));
  if (FAILED(hr)) {
    return hr;
  }
  tessaly::shell::Picture scaled;
  const tessaly::shell::ScaledSize scaledSize =
      tessaly::shell::ThumbnailSize(frame.width, frame.height, size);
  if (scaledSize.width == 0) {
    return E_INVALIDARG;
  }
  if (!tessaly::shell::ScalePicture(frame, scaledSize, &scaled)) {
    return E_OUTOFMEMORY;
  }
  // A movie frame is opaque: the shell draws it without blending.
  *alpha = WTSAT_RGB;
  return MakeBitmap(scaled, bitmap);
}
