// Reshaping of FILM chunk payloads into the form the output pins declare.
#pragma once

#include "Platform.h"

// The sets of conversion loops: the baseline one every processor runs, and
// one for processors with AVX2 (64-bit x86 builds only; elsewhere it is the
// baseline under another name).
enum class AudioConverters { Baseline, Avx2 };

// The set this processor runs best, as the platform reports its features.
// Asking costs a call into the platform, so a filter asks once, not per chunk.
AudioConverters ChooseAudioConverters();

// Converts an audio chunk of length bytes (planar, big-endian, signed) into
// interleaved little-endian PCM (unsigned 8-bit or signed 16-bit) with a
// set of loops ChooseAudioConverters returned. Layouts without a conversion (more than two
// channels, widths other than 8 and 16) are copied unchanged. destination holds at least length
// bytes and must not overlap source, or is source itself where ConvertsInPlace says so; trailing
// bytes an odd length leaves without a whole sample are not written.
void ConvertAudioChunk(const BYTE* source, DWORD length, WORD channels, WORD bitsPerSample,
                       AudioConverters converters, BYTE* destination);

// TRUE for the layouts whose conversion keeps every byte at its place in the
// chunk (one channel, or no conversion at all): their chunks can be read
// straight into the sample and converted there.
BOOL ConvertsInPlace(WORD channels, WORD bitsPerSample);

// Adds 6 to the big-endian word in the frame's first four bytes, as the
// delivered 'cvid' frame expects once the two stored bytes at 10-11 are gone.
// Returns FALSE, changing nothing, for a frame shorter than four bytes.
BOOL AdjustVideoFrame(BYTE* frame, DWORD frameLength);
