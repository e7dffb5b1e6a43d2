// Byte positions of the FILM container: the 48-byte file header, the sample
// table head and its 16-byte rows. Every multi-byte field is big-endian.
// Plain standard C++, like the rest of the FILM library: the module, the
// host and the FILM writer name the layout from here.
#pragma once

#include <cstdint>

#include "film/FilmRules.h"

namespace film {

// File header (file bytes 0-47), read in one piece.
constexpr uint32_t kHeaderLength = 48;
constexpr uint32_t kHeaderDataOffset = 4;
constexpr uint32_t kHeaderHeight = 28;
constexpr uint32_t kHeaderWidth = 32;
constexpr uint32_t kHeaderBitCount = 36;
constexpr uint32_t kHeaderChannels = 37;
constexpr uint32_t kHeaderBitsPerSample = 38;
constexpr uint32_t kHeaderSampleRate = 40;

// Sample table head; offsets count from file byte 48, the start of the region.
constexpr uint32_t kTableLengthField = 4;
constexpr uint32_t kTableTimeBaseField = 8;
constexpr uint32_t kTableEntryCountField = 12;
constexpr uint32_t kTableHeadLength = 16;

// One sample-table row of film::kRowLength bytes.
constexpr uint32_t kRowChunkOffset = 0;
constexpr uint32_t kRowChunkLength = 4;
constexpr uint32_t kRowTimeInfo = 8;
constexpr uint32_t kRowDurationTicks = 12;

// Set in a video row's timeInfo when the frame is not a sync point.
constexpr uint32_t kNotSyncPointFlag = 0x80000000u;

// A real movie's table is a few hundred kilobytes; 64 MiB (four million rows,
// hours of 30 fps video with audio) refuses a hostile data offset before it
// commits gigabytes.
constexpr uint32_t kMaxSampleTableRegion = 64u * 1024u * 1024u;

// A source that cannot tell its length is taken at its reads' word.
constexpr int64_t kUnknownFileLength = 0x7FFFFFFFFFFFFFFFLL;

// A file must hold the table head, at least: without it there is no table.
constexpr uint32_t kShortestFile = kHeaderLength + kTableHeadLength;

}  // namespace film
