// Byte positions of the FILM container: the 48-byte file header, the sample
// table head and its 16-byte rows. Every multi-byte field is big-endian.
#pragma once

#include "Platform.h"

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

// One sample-table row.
constexpr DWORD kRowLength = 16;
constexpr DWORD kRowChunkOffset = 0;
constexpr DWORD kRowChunkLength = 4;
constexpr DWORD kRowTimeInfo = 8;
constexpr DWORD kRowDurationTicks = 12;

// timeInfo of an audio row; any other value is a video row.
constexpr DWORD kAudioTimeInfo = 0xFFFFFFFFu;
// Set in a video row's timeInfo when the frame is not a sync point.
constexpr DWORD kNotSyncPointFlag = 0x80000000u;
constexpr DWORD kVideoStartMask = 0x7FFFFFFFu;

// A video chunk stores two bytes at 10-11 that the delivered frame drops.
constexpr DWORD kVideoHeadLength = 10;
constexpr DWORD kVideoBodyOffset = 12;

// Audio chunks are read into a staging buffer of this size before conversion.
constexpr DWORD kStagingBufferLength = 65536;

// A real movie's table is a few hundred kilobytes; 64 MiB (four million rows,
// hours of 30 fps video with audio) refuses a hostile data offset before it
// commits gigabytes.
constexpr DWORD kMaxSampleTableRegion = 64u * 1024u * 1024u;

// A source that cannot tell its length is taken at its reads' word.
constexpr LONGLONG kUnknownFileLength = 0x7FFFFFFFFFFFFFFFLL;

// A file must hold the table head, at least: without it there is no table.
constexpr DWORD kShortestFile = kHeaderLength + kTableHeadLength;

// Reference times count 100-ns units.
constexpr LONGLONG kUnitsPerSecond = 10000000;

}  // namespace film
