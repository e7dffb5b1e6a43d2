// Playing FILM movies in the graph a real player builds (CPlayerGraph): Pause
// completes with the first picture, Run reaches EC_COMPLETE, and every decoded
// picture and audio sample is the one the file holds; seeks land where a
// player expects.
#pragma once

#include <string>

#include "CTestReport.h"
#include "FilmShapes.h"

// shape comes from PlayerShapes().
void PlayInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path);

// Seeking through the graph's IMediaSeeking: its duration, a seek while
// stopped, one while paused and one while running. shape comes from SeekingMovie().
void SeekInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path);

// Which graph a soak plays in: the video taken as the splitter's frames
// under every command, or decoded by the decompressor the graph inserts
// under every command but Stop, which Wine 8's AVI Decompressor cannot take
// while it decodes (it overwrites freed memory).
enum class SoakGraph { Compressed, DecodedWithoutStop };

// A player's random day: 1,000 Run, Pause, Stop, seek and position commands
// on the graph's clock, each of which must succeed and reach its state, then
// a seek to the start and a run whose every frame (or decoded picture) and
// audio chunk is exactly the file's.
void SoakInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path,
                       SoakGraph kind);
