#include "AviReader.h"

#include "RiffReader.h"

namespace tools_test {

bool ReadAvi(const std::vector<uint8_t>& bytes, AviFile* out, std::string* error) {
  const RiffReader reader(bytes);
  RiffChunk riff;
  if (!reader.Parse(&riff, error)) return false;
  if (riff.listType != "AVI ") {
    *error = "not an AVI file";
    return false;
  }
  if (riff.size != bytes.size() - 8) {
    *error = "the RIFF size does not cover the file";
    return false;
  }
  const RiffChunk* hdrl = riff.Child("LIST", "hdrl");
  const RiffChunk* avih = hdrl != nullptr ? hdrl->Child("avih") : nullptr;
  const RiffChunk* movi = riff.Child("LIST", "movi");
  const RiffChunk* idx1 = riff.Child("idx1");
  if (avih == nullptr || avih->size != 56 || movi == nullptr || idx1 == nullptr) {
    *error = "hdrl/avih, movi or idx1 missing";
    return false;
  }
  const size_t h = avih->dataOffset;
  out->microSecondsPerFrame = reader.U32(h);
  out->flags = reader.U32(h + 12);
  out->totalFrames = reader.U32(h + 16);
  out->streamCount = reader.U32(h + 24);
  out->width = reader.U32(h + 32);
  out->height = reader.U32(h + 36);

  for (const RiffChunk* strl : hdrl->Children("LIST")) {
    if (strl->listType != "strl") continue;
    const RiffChunk* strh = strl->Child("strh");
    const RiffChunk* strf = strl->Child("strf");
    if (strh == nullptr || strh->size != 56 || strf == nullptr) {
      *error = "a stream list lacks strh or strf";
      return false;
    }
    AviStream stream;
    const size_t s = strh->dataOffset;
    stream.type = reader.FourCC(s);
    stream.handler = reader.FourCC(s + 4);
    stream.scale = reader.U32(s + 20);
    stream.rate = reader.U32(s + 24);
    stream.start = reader.U32(s + 28);
    stream.length = reader.U32(s + 32);
    stream.suggestedBufferSize = reader.U32(s + 36);
    stream.sampleSize = reader.U32(s + 44);
    stream.format = reader.Bytes(strf->dataOffset, strf->size);
    out->streams.push_back(std::move(stream));
  }

  const size_t moviType = movi->dataOffset - 4;
  for (const RiffChunk& chunk : movi->children) {
    AviChunk entry;
    entry.id = chunk.id;
    entry.offset = static_cast<uint32_t>(chunk.headerOffset - moviType);
    entry.data = reader.Bytes(chunk.dataOffset, chunk.size);
    out->chunks.push_back(std::move(entry));
  }
  if (idx1->size % 16 != 0) {
    *error = "the index size is not a multiple of 16";
    return false;
  }
  for (size_t at = idx1->dataOffset; at < idx1->dataOffset + idx1->size; at += 16) {
    out->index.push_back(
        {reader.FourCC(at), reader.U32(at + 4), reader.U32(at + 8), reader.U32(at + 12)});
  }
  return true;
}

}  // namespace tools_test
