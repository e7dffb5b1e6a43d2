#include "CinepakDifferential.h"

#include <windows.h>

#include <vfw.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cinepak/CFrameDecoder.h"
#include "filmwriter/CinepakStream.h"

namespace {

constexpr uint32_t kSequences = 160;
constexpr uint32_t kFramesPerSequence = 14;
constexpr uint32_t kKeyFrameEvery = 6;

struct Layout {
  WORD bitCount;
  bool topDown;
  const char* name;
};

// A bitmap's rows are padded to whole 32-bit words.
size_t StrideOf(uint32_t width, WORD bitCount) { return ((width * bitCount + 31) / 32) * 4; }

BITMAPINFOHEADER CinepakHeader(uint32_t width, uint32_t height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = static_cast<LONG>(width);
  header.biHeight = static_cast<LONG>(height);
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = mmioFOURCC('c', 'v', 'i', 'd');
  return header;
}

BITMAPINFOHEADER RgbHeader(uint32_t width, uint32_t height, const Layout& layout) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = static_cast<LONG>(width);
  header.biHeight = layout.topDown ? -static_cast<LONG>(height) : static_cast<LONG>(height);
  header.biPlanes = 1;
  header.biBitCount = layout.bitCount;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>(StrideOf(width, layout.bitCount) * height);
  return header;
}

struct Tally {
  uint32_t frames = 0;
  uint32_t differing = 0;
  uint32_t failedCalls = 0;
  std::string first;  // the first difference, for the report
};

std::string Difference(uint32_t sequence, uint32_t frame, size_t at, size_t stride,
                       const std::vector<uint8_t>& ours, const std::vector<uint8_t>& theirs) {
  char text[200];
  std::snprintf(text, sizeof(text),
                "sequence %u frame %u: first difference in stored row %u at byte %u: ours %u, "
                "the platform's %u",
                sequence, frame, static_cast<unsigned>(at / stride),
                static_cast<unsigned>(at % stride), ours[at], theirs[at]);
  return text;
}

void CompareSequence(HIC codec, uint32_t sequence, const Layout& layout, Tally* tally) {
  // Sizes from 4×4 to 160×120 in whole blocks: Wine's decoder writes the
  // pixels of blocks that stand past the picture's right or bottom edge (rows
  // shifted for such widths, past the buffer for such heights top-down).
  const uint32_t width = 4 * (1 + (sequence * 7) % 40);
  const uint32_t height = 4 * (1 + (sequence * 13) % 30);
  filmwriter::CinepakStream stream(width, height, sequence + 1, 1 + sequence % 6);
  // Wine's decoder reads a strip's bottom field as its height, and overruns
  // its picture when a strip gives rows of the picture.
  stream.SetPictureRows(false);
  BITMAPINFOHEADER input = CinepakHeader(width, height);
  BITMAPINFOHEADER output = RgbHeader(width, height, layout);
  const size_t stride = StrideOf(width, layout.bitCount);
  std::vector<uint8_t> theirs(stride * height, 0);
  std::vector<uint8_t> ours(stride * height, 0);
  tessaly::cinepak::CCodebooks codebooks;
  tessaly::cinepak::PictureView view;
  view.pixels = ours.data();
  view.width = width;
  view.height = height;
  view.stride = stride;
  view.layout = layout.bitCount == 24 ? tessaly::cinepak::PixelLayout::Bgr24
                                      : tessaly::cinepak::PixelLayout::Bgrx32;
  view.bottomUp = !layout.topDown;

  if (ICDecompressBegin(codec, &input, &output) != ICERR_OK) {
    ++tally->failedCalls;
    return;
  }
  for (uint32_t index = 0; index < kFramesPerSequence; ++index) {
    const bool key = index % kKeyFrameEvery == 0;
    std::vector<uint8_t> frame = stream.NextFrame(key);
    input.biSizeImage = static_cast<DWORD>(frame.size());
    const DWORD flags = key ? 0 : ICDECOMPRESS_NOTKEYFRAME;
    if (ICDecompress(codec, flags, &input, frame.data(), &output, theirs.data()) != ICERR_OK) {
      ++tally->failedCalls;
      continue;
    }
    tessaly::cinepak::DecodeFrame(frame.data(), frame.size(), codebooks, view);
    ++tally->frames;
    for (size_t at = 0; at < ours.size(); ++at) {
      // The padding at the end of a row is no pixel.
      if (at % stride >= static_cast<size_t>(width) * (layout.bitCount / 8)) continue;
      if (ours[at] == theirs[at]) continue;
      if (tally->differing++ == 0) {
        tally->first = Difference(sequence, index, at, stride, ours, theirs);
      }
      break;
    }
  }
  ICDecompressEnd(codec);
}

void CompareLayout(CTestReport* report, HIC codec, const Layout& layout) {
  const BITMAPINFOHEADER input = CinepakHeader(64, 48);
  BITMAPINFOHEADER output = RgbHeader(64, 48, layout);
  const std::string name = std::string("Cinepak: ") + layout.name;
  if (ICDecompressQuery(codec, &input, &output) != ICERR_OK) {
    report->Note(name + ": not offered by the platform's decoder; not compared");
    return;
  }
  Tally tally;
  for (uint32_t sequence = 0; sequence < kSequences; ++sequence) {
    CompareSequence(codec, sequence, layout, &tally);
  }
  char counts[160];
  std::snprintf(counts, sizeof(counts), "%u frames compared, %u differ, %u refused by the platform",
                tally.frames, tally.differing, tally.failedCalls);
  report->Check(tally.differing == 0 && tally.failedCalls == 0 && tally.frames >= 2000,
                name + ": our decoder's pictures equal the platform decoder's (" + counts + ")",
                tally.first);
}

}  // namespace

void CompareCinepakDecoders(CTestReport* report) {
  HIC codec = ICOpen(ICTYPE_VIDEO, mmioFOURCC('c', 'v', 'i', 'd'), ICMODE_DECOMPRESS);
  if (!report->Check(codec != nullptr, "Cinepak: the platform's decoder opens through ICOpen")) {
    return;
  }
  const Layout layouts[] = {{24, false, "RGB24 bottom-up"},
                            {24, true, "RGB24 top-down"},
                            {32, false, "RGB32 bottom-up"},
                            {32, true, "RGB32 top-down"}};
  for (const Layout& layout : layouts) CompareLayout(report, codec, layout);
  ICClose(codec);
}
