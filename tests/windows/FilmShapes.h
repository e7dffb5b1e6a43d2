// The FILM files the Windows run plays: every shape the host's tests use,
// built by the FILM writer so the expected samples come from its input.
#pragma once

#include <string>
#include <vector>

#include "filmwriter/FilmWriter.h"

struct FilmShape {
  std::string name;      // for the report
  std::string fileName;  // written into the working folder
  filmwriter::FilmWriter writer;
};

std::vector<FilmShape> PlaybackShapes();
// Files cut short as by a broken download: the splitter plays what exists.
std::vector<FilmShape> CutShapes();
// A file long enough to be stopped part-way: audio and video interleaved.
FilmShape LongShape();
std::vector<uint8_t> Pattern(size_t length, uint8_t seed);
// Movies for the runtime's own player graph: real Cinepak key frames whose
// n-th frame is CinepakKeyFrame::GreyPattern(width, height, n), with audio
// (one chunk a frame) or without.
std::vector<FilmShape> PlayerShapes();

// A player movie (16-bit stereo, 160x120, twelve frames of 40 ticks at 600 a
// second, one audio chunk a frame) whose key frames are every
// kSeekingKeyEvery-th frame from the first.
inline constexpr int kSeekingKeyEvery = 4;
FilmShape SeekingMovie();

// A movie for the runtime's default renderers: twelve 160x120 Cinepak key
// frames, no sound, so that no sound device takes part.
inline constexpr uint32_t kRenderWidth = 160;
inline constexpr uint32_t kRenderHeight = 120;
inline constexpr int kRenderFrames = 12;
inline constexpr uint32_t kRenderFramesPerSecond = 15;
FilmShape RenderMovie();
