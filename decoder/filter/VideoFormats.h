// The media types of the decoder's two pins: what a Cinepak input must say,
// the pictures the output offers (in the order renderers are asked), and the
// reading of any output type a renderer proposes, at connection or with a
// sample, into the layout, stride and row order the pictures are written in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Platform.h"
#include "cinepak/PictureConversion.h"
#include "com/CMediaTypeRecord.h"

// The largest side the decoder takes: Cinepak's fields are 16-bit, and a
// picture of 4096 × 4096 keeps its reference below 64 MiB.
inline constexpr uint32_t kMaxPictureSide = 4096;

struct FrameSize {
  uint32_t width = 0;
  uint32_t height = 0;
  REFERENCE_TIME averageTimePerFrame = 0;
};

struct OutputFormat {
  tessaly::cinepak::OutputLayout layout = tessaly::cinepak::OutputLayout::Bgrx32;
  size_t stride = 0;      // bytes from one row in memory to the next
  bool bottomUp = false;  // the first row in memory is the picture's bottom row
  size_t imageBytes = 0;  // stride × rows: what a buffer must hold
};

// S_OK with the size for a 'cvid' video type the decoder takes; S_FALSE for
// any other; E_POINTER for null arguments.
HRESULT ReadCinepakType(const AM_MEDIA_TYPE* type, FrameSize* size);

// S_OK with the index-th type offered for pictures of this size; VFW_S_NO_MORE_ITEMS
// past the last; E_OUTOFMEMORY when the format block cannot be allocated.
HRESULT BuildOutputType(int index, const FrameSize& size, CMediaTypeRecord* type);

// S_OK with the format for an output type that holds pictures of this size
// (a wider row, the renderer's stride, included); S_FALSE for any other.
HRESULT ReadOutputType(const AM_MEDIA_TYPE* type, const FrameSize& size, OutputFormat* format);
