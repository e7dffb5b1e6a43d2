#include "support/FilmChunkPosition.h"

#include <algorithm>

#include "film/CBigEndianReader.h"
#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"

uint32_t ChunkPosition(const std::vector<uint8_t>& file, uint32_t row) {
  const uint32_t size = static_cast<uint32_t>(std::min<size_t>(file.size(), UINT32_MAX));
  const uint32_t dataOffset = CBigEndianReader(file.data(), size).U32(film::kHeaderDataOffset);
  const uint32_t region = dataOffset > film::kHeaderLength ? dataOffset - film::kHeaderLength : 0;
  const uint32_t held =
      size > film::kHeaderLength ? std::min(size - film::kHeaderLength, region) : 0;
  const CFilmSampleTable table(file.data() + std::min(size, film::kHeaderLength), held, region);
  return film::ChunkPosition(dataOffset, table.Row(row).chunkOffset);
}
