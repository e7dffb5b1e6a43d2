// Where a built FILM file keeps a row's chunk, for tests that fail or hold
// the reads of one chunk.
#pragma once

#include <cstdint>
#include <vector>

// File position of a row's chunk, read from the file's own header and table
// as the splitter reads them: the data offset plus the row's chunk offset,
// summed in 32 bits. A row the file's table does not hold lies at the data
// offset.
uint32_t ChunkPosition(const std::vector<uint8_t>& file, uint32_t row);
