// Byte positions of the FILM container: the 48-byte file header, the sample
// table head and its 16-byte rows. Every multi-byte field is big-endian.
#pragma once

#include "Platform.h"
#include "film/FilmRules.h"

namespace film {

// File header (file bytes 0-47), read in one piece.
constexpr DWORD kHeaderLength = 48;
constexpr DWORD kHeaderDataOffset = 4;
constexpr DWORD kHeaderHeight = 28;
constexpr DWORD kHeaderWidth = 32;
constexpr DWORD kHeaderBitCount = 36;
constexpr DWORD kHeaderChannels = 37;
constexpr DWORD kHeaderBitsPerSample = 38;
constexpr DWORD kHeaderSampleRate = 40;

// Sample table head; offsets count from file byte 48, the start of the region.
constexpr DWORD kTableLengthField = 4;
constexpr DWORD kTableTimeBaseField = 8;
constexpr DWORD kTableEntryCountField = 12;
constexpr DWORD kTableHeadLength = 16;

// One sample-table row of film::kRowLength bytes.
constexpr DWORD kRowChunkOffset = 0;
constexpr DWORD kRowChunkLength = 4;
constexpr DWORD kRowTimeInfo = 8;
constexpr DWORD kRowDurationTicks = 12;

// Set in a video row's timeInfo when the frame is not a sync point.
constexpr DWORD kNotSyncPointFlag = 0x80000000u;

// A real movie's table is a few hundred kilobytes; 64 MiB (four million rows,
// hours of 30 fps video with audio) refuses a hostile data offset before it
// commits gigabytes.
constexpr DWORD kMaxSampleTableRegion = 64u * 1024u * 1024u;

// A source that cannot tell its length is taken at its reads' word.
constexpr LONGLONG kUnknownFileLength = 0x7FFFFFFFFFFFFFFFLL;

// A file must hold the table head, at least: without it there is no table.
constexpr DWORD kShortestFile = kHeaderLength + kTableHeadLength;

}  // namespace film
