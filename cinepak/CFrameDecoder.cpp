#include "cinepak/CFrameDecoder.h"

#include <algorithm>
#include <cstring>

namespace tessaly::cinepak {

namespace {

constexpr size_t kFrameHeadBytes = 10;
constexpr size_t kStripHeadBytes = 12;
constexpr size_t kChunkHeadBytes = 4;
// Frame flag: when clear, each strip starts from the books of the strip above.
constexpr uint32_t kOwnStripCodebooks = 0x01;

constexpr uint32_t kChunkKindMask = 0xF000;
constexpr uint32_t kCodebookChunk = 0x2000;
constexpr uint32_t kGreyEntries = 0x0400;
constexpr uint32_t kV1Book = 0x0200;
constexpr uint32_t kFlaggedUpdate = 0x0100;
constexpr uint32_t kIntraBlocks = 0x3000;
constexpr uint32_t kInterBlocks = 0x3100;
constexpr uint32_t kV1Blocks = 0x3200;

uint8_t Clamp(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 255)); }

// The codec's own colour rule: chroma scaled by two into red and blue, green
// pulled down by half of u (rounded up, as the platform's decoder does) and
// all of v, every channel clamped.
void ConvertEntry(const uint8_t luma[4], int u, int v, CodebookEntry* entry) {
  for (int i = 0; i < 4; ++i) {
    const int y = luma[i];
    entry->pixel[i][0] = Clamp(y + 2 * u);
    entry->pixel[i][1] = Clamp(y - ((u + 1) >> 1) - v);
    entry->pixel[i][2] = Clamp(y + 2 * v);
    entry->pixel[i][3] = 0;
  }
}

bool ReadEntry(CByteReader& chunk, bool grey, CodebookEntry* entry) {
  const uint8_t* bytes = nullptr;
  if (!chunk.Take(grey ? 4 : 6, &bytes)) return false;
  const int u = grey ? 0 : static_cast<int8_t>(bytes[4]);
  const int v = grey ? 0 : static_cast<int8_t>(bytes[5]);
  ConvertEntry(bytes, u, v, entry);
  return true;
}

// The flag bits of a block chunk, taken most significant first, a 32-bit word
// at a time as the blocks need them.
class FlagBits {
 public:
  explicit FlagBits(CByteReader& chunk) : m_chunk(chunk) {}
  bool Next(bool* bit) {
    if (m_mask == 0) {
      if (!m_chunk.ReadU32(&m_word)) return false;
      m_mask = 0x80000000u;
    }
    *bit = (m_word & m_mask) != 0;
    m_mask >>= 1;
    return true;
  }

 private:
  CByteReader& m_chunk;  // borrowed
  uint32_t m_word = 0;
  uint32_t m_mask = 0;
};

}  // namespace

const char* StatusText(DecodeStatus status) {
  switch (status) {
    case DecodeStatus::kOk:
      return "decoded";
    case DecodeStatus::kTruncated:
      return "the frame is shorter than its 10-byte head";
    case DecodeStatus::kWrongSize:
      return "the frame's width or height differs from the movie's";
    case DecodeStatus::kTooManyStrips:
      return "the frame has more strips than a decoder keeps codebooks for";
    case DecodeStatus::kBadStrip:
      return "a strip does not fit the frame";
    case DecodeStatus::kBadChunk:
      return "a chunk does not fit its strip";
    case DecodeStatus::kNoMemory:
      return "no memory for the codebooks";
  }
  return "unknown";
}

DecodeStatus CFrameDecoder::Decode(const uint8_t* frame, size_t size) {
  if (!m_codebooks.Valid()) {
    return DecodeStatus::kNoMemory;
  }
  CByteReader reader(frame, size);
  uint32_t flags = 0, length = 0, width = 0, height = 0, strips = 0;
  if (!reader.ReadU8(&flags) || !reader.ReadU24(&length) || !reader.ReadU16(&width) ||
      !reader.ReadU16(&height) || !reader.ReadU16(&strips)) {
    return DecodeStatus::kTruncated;
  }
  // The head's length is not trusted: the strips are bounded by the bytes given.
  if (width != m_picture.width || height != m_picture.height) return DecodeStatus::kWrongSize;
  if (strips > kMaxStrips) return DecodeStatus::kTooManyStrips;

  uint32_t top = 0;
  for (uint32_t index = 0; index < strips; ++index) {
    uint32_t id = 0, stripSize = 0, y1 = 0, x1 = 0, y2 = 0, x2 = 0;
    if (!reader.ReadU16(&id) || !reader.ReadU16(&stripSize) || !reader.ReadU16(&y1) ||
        !reader.ReadU16(&x1) || !reader.ReadU16(&y2) || !reader.ReadU16(&x2)) {
      return DecodeStatus::kBadStrip;
    }
    CByteReader strip;
    if (stripSize < kStripHeadBytes || y2 < y1 ||
        !reader.Split(stripSize - kStripHeadBytes, &strip)) {
      return DecodeStatus::kBadStrip;
    }
    if (index > 0 && (flags & kOwnStripCodebooks) == 0) m_codebooks.Inherit(index);
    // Encoders write either the strip's own rows or rows counted from its
    // top; both give its height, and strips stack one below the other.
    const uint32_t bottom = top + (y2 - y1);
    const Rows rows{std::min(top, m_picture.height), std::min(bottom, m_picture.height)};
    const DecodeStatus status = DecodeStrip(strip, m_codebooks.Strip(index), rows);
    if (status != DecodeStatus::kOk) return status;
    top = bottom;
  }
  return DecodeStatus::kOk;
}

DecodeStatus CFrameDecoder::DecodeStrip(CByteReader strip, StripCodebooks& books, Rows rows) {
  while (strip.Remaining() >= kChunkHeadBytes) {
    uint32_t id = 0, chunkSize = 0;
    strip.ReadU16(&id);
    strip.ReadU16(&chunkSize);
    CByteReader chunk;
    if (chunkSize < kChunkHeadBytes || !strip.Split(chunkSize - kChunkHeadBytes, &chunk)) {
      return DecodeStatus::kBadChunk;
    }
    if ((id & kChunkKindMask) == kCodebookChunk) {
      ReadCodebook(chunk, id, (id & kV1Book) != 0 ? books.v1 : books.v4);
    } else if (id == kIntraBlocks || id == kInterBlocks || id == kV1Blocks) {
      DecodeBlocks(chunk, id, books, rows);
    }
    // Chunks of other kinds carry nothing a picture needs.
  }
  return DecodeStatus::kOk;
}

void CFrameDecoder::ReadCodebook(CByteReader chunk, uint32_t id, CodebookEntry* book) {
  const bool grey = (id & kGreyEntries) != 0;
  if ((id & kFlaggedUpdate) == 0) {
    for (uint32_t i = 0; i < kCodebookEntries; ++i) {
      if (!ReadEntry(chunk, grey, &book[i])) return;
    }
    return;
  }
  // A flagged update: a 32-bit word before every 32 entries, a set bit for
  // each entry that follows, the others kept.
  for (uint32_t first = 0; first < kCodebookEntries; first += 32) {
    uint32_t flags = 0;
    if (!chunk.ReadU32(&flags)) return;
    for (uint32_t i = 0; i < 32; ++i) {
      if ((flags & (0x80000000u >> i)) == 0) continue;
      if (!ReadEntry(chunk, grey, &book[first + i])) return;
    }
  }
}

void CFrameDecoder::DecodeBlocks(CByteReader chunk, uint32_t id, const StripCodebooks& books,
                                 Rows rows) {
  FlagBits flags(chunk);
  for (uint32_t y = rows.top; y < rows.bottom; y += 4) {
    for (uint32_t x = 0; x < m_picture.width; x += 4) {
      bool v4 = false;
      if (id != kV1Blocks) {
        bool coded = true;
        if (id == kInterBlocks && !flags.Next(&coded)) return;
        if (!coded) continue;
        if (!flags.Next(&v4)) return;
      }
      if (!v4) {
        uint32_t index = 0;
        if (!chunk.ReadU8(&index)) return;
        PutV1(x, y, books.v1[index]);
        continue;
      }
      const uint8_t* indices = nullptr;
      if (!chunk.Take(4, &indices)) return;
      const CodebookEntry* entries[4] = {&books.v4[indices[0]], &books.v4[indices[1]],
                                         &books.v4[indices[2]], &books.v4[indices[3]]};
      PutV4(x, y, entries);
    }
  }
}

void CFrameDecoder::PutV1(uint32_t x, uint32_t y, const CodebookEntry& entry) {
  const uint8_t* colours[16];
  for (int i = 0; i < 16; ++i) colours[i] = entry.pixel[(i / 8) * 2 + (i % 4) / 2];
  PutColours(x, y, colours);
}

void CFrameDecoder::PutV4(uint32_t x, uint32_t y, const CodebookEntry* entries[4]) {
  const uint8_t* colours[16];
  for (int i = 0; i < 16; ++i) {
    const int row = i / 4, column = i % 4;
    colours[i] = entries[(row / 2) * 2 + column / 2]->pixel[(row % 2) * 2 + column % 2];
  }
  PutColours(x, y, colours);
}

void CFrameDecoder::PutColours(uint32_t x, uint32_t y, const uint8_t* const colours[16]) {
  switch (m_picture.layout) {
    case PixelLayout::Bgr24:
      return PutBlock<3, false>(x, y, colours);
    case PixelLayout::Bgrx32:
      return PutBlock<4, false>(x, y, colours);
    case PixelLayout::Rgb24:
      return PutBlock<3, true>(x, y, colours);
  }
}

template <uint32_t kBytes, bool kRedFirst>
void CFrameDecoder::PutBlock(uint32_t x, uint32_t y, const uint8_t* const colours[16]) {
  // A picture whose sides are not multiples of 4 keeps only the block's
  // pixels that lie inside it.
  const uint32_t rows = std::min<uint32_t>(4, m_picture.height - y);
  const uint32_t columns = std::min<uint32_t>(4, m_picture.width - x);
  for (uint32_t row = 0; row < rows; ++row) {
    uint8_t* out = Row(y + row) + static_cast<size_t>(x) * kBytes;
    for (uint32_t column = 0; column < columns; ++column) {
      const uint8_t* colour = colours[row * 4 + column];
      if constexpr (kRedFirst) {
        out[column * kBytes] = colour[2];
        out[column * kBytes + 1] = colour[1];
        out[column * kBytes + 2] = colour[0];
      } else {
        std::memcpy(out + column * kBytes, colour, kBytes);
      }
    }
  }
}

uint8_t* CFrameDecoder::Row(uint32_t y) const {
  const uint32_t stored = m_picture.bottomUp ? m_picture.height - 1 - y : y;
  return m_picture.pixels + static_cast<size_t>(stored) * m_picture.stride;
}

}  // namespace tessaly::cinepak
