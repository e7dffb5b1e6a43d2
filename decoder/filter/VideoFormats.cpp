#include "filter/VideoFormats.h"

#include <cstring>

#include "filter/DecoderIdentifiers.h"

using tessaly::cinepak::OutputLayout;

namespace {

// One row for each picture the output knows: its subtype, depth and the
// compression field its bitmap header carries.
struct OutputRow {
  const GUID* subtype;
  OutputLayout layout;
  WORD bitCount;
  DWORD compression;
};

constexpr DWORD kFourCCYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
constexpr DWORD kFourCCUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
// The 5-6-5 masks of red, green and blue that follow a BI_BITFIELDS header.
constexpr DWORD kRgb565Masks[3] = {0xF800, 0x07E0, 0x001F};

// The order renderers are asked in: the decoder's own bytes first, then the
// packed YUV that overlays take, then the 16-bit pictures.
const OutputRow kOutputRows[] = {
    {&MEDIASUBTYPE_RGB32, OutputLayout::Bgrx32, 32, BI_RGB},
    {&MEDIASUBTYPE_RGB24, OutputLayout::Bgr24, 24, BI_RGB},
    {&MEDIASUBTYPE_YUY2, OutputLayout::Yuy2, 16, kFourCCYuy2},
    {&MEDIASUBTYPE_UYVY, OutputLayout::Uyvy, 16, kFourCCUyvy},
    {&MEDIASUBTYPE_RGB565, OutputLayout::Rgb565, 16, BI_BITFIELDS},
    {&MEDIASUBTYPE_RGB555, OutputLayout::Rgb555, 16, BI_RGB},
};
constexpr int kOutputRowCount = static_cast<int>(sizeof(kOutputRows) / sizeof(kOutputRows[0]));

const OutputRow* FindRow(const GUID& subtype) {
  for (const OutputRow& row : kOutputRows) {
    if (IsEqualGUID(*row.subtype, subtype)) return &row;
  }
  return nullptr;
}

bool IsPackedYuv(OutputLayout layout) {
  return layout == OutputLayout::Yuy2 || layout == OutputLayout::Uyvy;
}

// The platform's bitmap rule: rows padded to whole 32-bit words.
uint64_t BitmapStride(uint64_t width, WORD bitCount) { return (width * bitCount + 31) / 32 * 4; }

const VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE* type) {
  if (!IsEqualGUID(type->majortype, MEDIATYPE_Video) ||
      !IsEqualGUID(type->formattype, FORMAT_VideoInfo) || type->pbFormat == nullptr ||
      type->cbFormat < sizeof(VIDEOINFOHEADER)) {
    return nullptr;
  }
  return reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
}

uint32_t Magnitude(LONG value) {
  return value < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(value))
                   : static_cast<uint32_t>(value);
}

bool HasRgb565Masks(const AM_MEDIA_TYPE* type) {
  if (type->cbFormat < sizeof(VIDEOINFOHEADER) + sizeof(kRgb565Masks)) return false;
  return std::memcmp(type->pbFormat + sizeof(VIDEOINFOHEADER), kRgb565Masks,
                     sizeof(kRgb565Masks)) == 0;
}

// The picture must fill the target rectangle when one is given: a renderer
// that wants a wider row names the picture's place in it.
bool TargetIsPicture(const RECT& target, const FrameSize& size) {
  if (target.left == 0 && target.top == 0 && target.right == 0 && target.bottom == 0) return true;
  return target.left == 0 && target.top == 0 && target.right == static_cast<LONG>(size.width) &&
         target.bottom == static_cast<LONG>(size.height);
}

}  // namespace

HRESULT ReadCinepakType(const AM_MEDIA_TYPE* type, FrameSize* size) {
  if (type == nullptr || size == nullptr) return E_POINTER;
  const VIDEOINFOHEADER* info = VideoInfoOf(type);
  if (info == nullptr || !IsEqualGUID(type->subtype, MEDIASUBTYPE_Cinepak)) return S_FALSE;
  const LONG width = info->bmiHeader.biWidth;
  const uint32_t height = Magnitude(info->bmiHeader.biHeight);
  if (width <= 0 || static_cast<uint32_t>(width) > kMaxPictureSide || height == 0 ||
      height > kMaxPictureSide) {
    return S_FALSE;
  }
  size->width = static_cast<uint32_t>(width);
  size->height = height;
  size->averageTimePerFrame = info->AvgTimePerFrame;
  return S_OK;
}

HRESULT BuildOutputType(int index, const FrameSize& size, CMediaTypeRecord* type) {
  if (type == nullptr) return E_POINTER;
  if (index < 0) return E_INVALIDARG;
  if (index >= kOutputRowCount) return VFW_S_NO_MORE_ITEMS;
  const OutputRow& row = kOutputRows[index];
  const bool masks = row.compression == BI_BITFIELDS;
  const ULONG length = sizeof(VIDEOINFOHEADER) + (masks ? sizeof(kRgb565Masks) : 0);
  *type = CMediaTypeRecord(&MEDIATYPE_Video);
  type->AssignSubtype(row.subtype);
  type->AssignFormatType(&FORMAT_VideoInfo);
  BYTE* block = type->ReserveFormatBlock(length);
  if (block == nullptr || type->cbFormat != length) return E_OUTOFMEMORY;
  std::memset(block, 0, length);
  VIDEOINFOHEADER* info = reinterpret_cast<VIDEOINFOHEADER*>(block);
  const uint64_t stride = BitmapStride(size.width, row.bitCount);
  info->AvgTimePerFrame = size.averageTimePerFrame;
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = static_cast<LONG>(size.width);
  // Bottom-up, as the platform's bitmaps are; packed YUV rows run top-down
  // whatever the sign says.
  info->bmiHeader.biHeight = static_cast<LONG>(size.height);
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = row.bitCount;
  info->bmiHeader.biCompression = row.compression;
  info->bmiHeader.biSizeImage = static_cast<DWORD>(stride * size.height);
  if (masks) std::memcpy(block + sizeof(VIDEOINFOHEADER), kRgb565Masks, sizeof(kRgb565Masks));
  type->AssignSampleSize(info->bmiHeader.biSizeImage);
  type->bTemporalCompression = FALSE;
  return S_OK;
}

HRESULT ReadOutputType(const AM_MEDIA_TYPE* type, const FrameSize& size, OutputFormat* format) {
  if (type == nullptr || format == nullptr) return E_POINTER;
  const VIDEOINFOHEADER* info = VideoInfoOf(type);
  const OutputRow* row = info != nullptr ? FindRow(type->subtype) : nullptr;
  if (row == nullptr || size.width == 0) return S_FALSE;
  const BITMAPINFOHEADER& header = info->bmiHeader;
  if (header.biBitCount != row->bitCount || header.biCompression != row->compression) {
    return S_FALSE;
  }
  if (row->compression == BI_BITFIELDS && !HasRgb565Masks(type)) return S_FALSE;
  // biWidth is the row in pixels, which a renderer may make wider than the picture.
  if (header.biWidth < static_cast<LONG>(size.width) ||
      static_cast<uint32_t>(header.biWidth) > 4 * kMaxPictureSide ||
      Magnitude(header.biHeight) != size.height || !TargetIsPicture(info->rcTarget, size)) {
    return S_FALSE;
  }
  format->layout = row->layout;
  format->stride =
      static_cast<size_t>(BitmapStride(static_cast<uint32_t>(header.biWidth), row->bitCount));
  format->bottomUp = header.biHeight > 0 && !IsPackedYuv(row->layout);
  format->imageBytes = format->stride * size.height;
  return S_OK;
}
