// Decodes one Cinepak frame: the 10-byte frame head, then strips stacked top
// to bottom, each with codebook chunks (V1 and V4, full or flagged updates,
// 12-bit colour or 8-bit grey entries) and block chunks (intra, inter with
// skip flags, V1 only). Codebooks come in from the previous frame and go out
// updated; inter-coded blocks leave the picture's earlier pixels in place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cinepak/CByteReader.h"
#include "cinepak/CCodebooks.h"
#include "cinepak/PictureView.h"

namespace tessaly::cinepak {

enum class DecodeStatus {
  kOk,
  kTruncated,      // the frame ends inside its 10-byte head
  kWrongSize,      // the head's width or height is not the picture's
  kTooManyStrips,  // more strips than kMaxStrips
  kBadStrip,       // a strip's length or rows do not fit the frame
  kBadChunk,       // a chunk's length does not fit its strip
  kNoMemory,       // the codebooks could not be allocated
};

// A short English phrase for a status, for messages.
const char* StatusText(DecodeStatus status);

class CFrameDecoder {
 public:
  CFrameDecoder(CCodebooks& codebooks, const PictureView& picture)
      : m_codebooks(codebooks), m_picture(picture) {}

  // Anything but kOk leaves the strips before the fault decoded and the rest
  // of the picture as it was. Entries read past a codebook's last filled one
  // give what the books held before (black in a new stream).
  DecodeStatus Decode(const uint8_t* frame, size_t size);

 private:
  struct Rows {
    uint32_t top;
    uint32_t bottom;  // one past the last, at most the picture's height
  };

  DecodeStatus DecodeStrip(CByteReader strip, StripCodebooks& books, Rows rows);
  void ReadCodebook(CByteReader chunk, uint32_t id, CodebookEntry* book);
  void DecodeBlocks(CByteReader chunk, uint32_t id, const StripCodebooks& books, Rows rows);
  void PutV1(uint32_t x, uint32_t y, const CodebookEntry& entry);
  void PutV4(uint32_t x, uint32_t y, const CodebookEntry* entries[4]);
  template <uint32_t kBytes, bool kRedFirst>
  void PutBlock(uint32_t x, uint32_t y, const uint8_t* const colours[16]);
  void PutColours(uint32_t x, uint32_t y, const uint8_t* const colours[16]);
  uint8_t* Row(uint32_t y) const;

  CCodebooks& m_codebooks;  // borrowed
  PictureView m_picture;
};

// One call for the whole frame.
inline DecodeStatus DecodeFrame(const uint8_t* frame, size_t size, CCodebooks& codebooks,
                                const PictureView& picture) {
  return CFrameDecoder(codebooks, picture).Decode(frame, size);
}

}  // namespace tessaly::cinepak
