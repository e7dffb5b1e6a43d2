// The three kinds of picture ConvertBench converts, as Cinepak key frames
// made by our own writer: the demo's flat pictures, a textured scene under a
// panning and zooming camera, and random 4×4 blocks, the worst case for any
// encoder. Each frame is made from a seed, so every run sees the same movie.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "filmwriter/CinepakKeyFrame.h"

namespace convertmovies {

using Frames = std::vector<std::vector<uint8_t>>;

inline uint8_t Clamp(double value) {
  return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : std::lround(value));
}

// The demo's two colours, a golden square crossing a midnight blue ground
// and bouncing off its edges, at the benchmark's size.
inline Frames Flat(uint32_t width, uint32_t height, uint32_t count) {
  constexpr uint32_t kSquareBlocks = 12;
  const filmwriter::CinepakEntry ground = filmwriter::CinepakEntry::Colour(25, 35, 110);
  const filmwriter::CinepakEntry square = filmwriter::CinepakEntry::Colour(240, 190, 40);
  Frames frames;
  for (uint32_t index = 0; index < count; ++index) {
    filmwriter::CinepakKeyFrame frame(width, height);
    frame.SetCodebook({ground, square});
    const uint32_t travel = frame.BlockColumns() - kSquareBlocks;
    const uint32_t phase = index % (2 * travel);
    const uint32_t left = phase < travel ? phase : 2 * travel - phase;
    const uint32_t top = (frame.BlockRows() - kSquareBlocks) / 2 + (index % 4 < 2 ? 0 : 1);
    std::vector<uint8_t> codes;
    for (uint32_t y = 0; y < frame.BlockRows(); ++y) {
      for (uint32_t x = 0; x < frame.BlockColumns(); ++x) {
        codes.push_back(x >= left && x < left + kSquareBlocks && y >= top &&
                        y < top + kSquareBlocks);
      }
    }
    frame.SetCodes(std::move(codes));
    frames.push_back(frame.Encode());
  }
  return frames;
}

inline uint64_t Mix(uint64_t value) {
  value ^= value >> 33;
  value *= 0xff51afd7ed558ccdull;
  value ^= value >> 33;
  value *= 0xc4ceb9fe1a85ec53ull;
  return value ^ (value >> 33);
}

// Smooth noise in [-1, 1]: random values on a lattice, blended between.
inline double Noise(double x, double y) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto corner = [](double cx, double cy) {
    const uint64_t key = (static_cast<uint64_t>(static_cast<int64_t>(cx)) << 32) ^
                         static_cast<uint64_t>(static_cast<int64_t>(cy) & 0xffffffff);
    return static_cast<double>(Mix(key) >> 11) / static_cast<double>(1ull << 52) - 1;
  };
  const double tx = x - fx, ty = y - fy;
  const double sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
  const double top = corner(fx, fy) + sx * (corner(fx + 1, fy) - corner(fx, fy));
  const double bottom = corner(fx, fy + 1) + sx * (corner(fx + 1, fy + 1) - corner(fx, fy + 1));
  return top + sy * (bottom - top);
}

// A scene of soft colours with detail at two scales, at a point of the
// world: a film's palette is narrow enough for one Cinepak book of 256.
inline void Scene(double x, double y, double rgb[3]) {
  const double detail = 24 * Noise(x / 16, y / 16) + 6 * Noise(x / 5, y / 5);
  rgb[0] = 128 + 35 * std::sin(x * 0.019 + y * 0.011) + detail;
  rgb[1] = 120 + 30 * std::sin(x * 0.013 - y * 0.021 + 1) + detail;
  rgb[2] = 110 + 35 * std::sin(-x * 0.017 + y * 0.015 + 2) + detail;
}

// One block as the six numbers of a Cinepak entry: four lumas and u, v.
using BlockVector = std::vector<double>;

inline BlockVector SceneBlock(double left, double top, double scale) {
  BlockVector block(6, 0.0);
  for (int quarter = 0; quarter < 4; ++quarter) {
    double mean[3] = {0, 0, 0};
    for (int sample = 0; sample < 4; ++sample) {
      double rgb[3];
      const double px = left + (quarter % 2) * 2 + (sample % 2) + 0.5;
      const double py = top + (quarter / 2) * 2 + (sample / 2) + 0.5;
      Scene(px * scale, py * scale, rgb);
      for (int c = 0; c < 3; ++c) mean[c] += rgb[c] / 4;
    }
    const double luma = (2 * mean[0] + 4 * mean[1] + mean[2]) / 7;
    block[quarter] = luma;
    block[4] += (mean[2] - luma) / 8;  // u, halved, averaged over the quarters
    block[5] += (mean[0] - luma) / 8;  // v
  }
  return block;
}

inline double Distance(const BlockVector& a, const BlockVector& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return sum;
}

inline uint8_t Nearest(const BlockVector& block, const std::vector<BlockVector>& book) {
  size_t best = 0;
  double bestDistance = Distance(block, book[0]);
  for (size_t k = 1; k < book.size(); ++k) {
    const double distance = Distance(block, book[k]);
    if (distance < bestDistance) {
      best = k;
      bestDistance = distance;
    }
  }
  return static_cast<uint8_t>(best);
}

// One step of k-means from the previous frame's book, as an encoder keeps
// its codebook from frame to frame: good enough a picture for a benchmark.
inline void Refine(const std::vector<BlockVector>& blocks, std::vector<BlockVector>* book) {
  std::vector<BlockVector> sums(book->size(), BlockVector(6, 0.0));
  std::vector<uint32_t> counts(book->size(), 0);
  for (const BlockVector& block : blocks) {
    const uint8_t k = Nearest(block, *book);
    for (size_t i = 0; i < 6; ++i) sums[k][i] += block[i];
    ++counts[k];
  }
  for (size_t k = 0; k < book->size(); ++k) {
    if (counts[k] == 0) continue;
    for (size_t i = 0; i < 6; ++i) (*book)[k][i] = sums[k][i] / counts[k];
  }
}

inline filmwriter::CinepakEntry Entry(const BlockVector& vector) {
  filmwriter::CinepakEntry entry;
  for (int quarter = 0; quarter < 4; ++quarter) entry.luma[quarter] = Clamp(vector[quarter]);
  entry.u = static_cast<int8_t>(std::lround(std::fmax(-128, std::fmin(127, vector[4]))));
  entry.v = static_cast<int8_t>(std::lround(std::fmax(-128, std::fmin(127, vector[5]))));
  return entry;
}

// The scene under a camera that pans a pixel and a half a frame, drifts
// down and zooms in and out over a few seconds.
inline Frames Panning(uint32_t width, uint32_t height, uint32_t count) {
  Frames frames;
  std::vector<BlockVector> book;
  for (uint32_t index = 0; index < count; ++index) {
    const double t = index / 15.0;
    const double scale = 1 + 0.25 * std::sin(t * 0.7);
    const double panX = 1.5 * index, panY = 12 * std::sin(t * 0.3);
    filmwriter::CinepakKeyFrame frame(width, height);
    std::vector<BlockVector> blocks;
    for (uint32_t by = 0; by < frame.BlockRows(); ++by) {
      for (uint32_t bx = 0; bx < frame.BlockColumns(); ++bx) {
        blocks.push_back(SceneBlock(bx * 4.0 + panX / scale, by * 4.0 + panY / scale, scale));
      }
    }
    if (book.empty()) {
      for (size_t k = 0; k < 256; ++k) book.push_back(blocks[k * blocks.size() / 256]);
    }
    Refine(blocks, &book);
    std::vector<filmwriter::CinepakEntry> entries;
    for (const BlockVector& vector : book) entries.push_back(Entry(vector));
    std::vector<uint8_t> codes;
    for (const BlockVector& block : blocks) codes.push_back(Nearest(block, book));
    frame.SetCodebook(std::move(entries));
    frame.SetCodes(std::move(codes));
    frames.push_back(frame.Encode());
  }
  return frames;
}

// Every frame a new book of 256 grey entries with four random quarters, and
// a random entry for every block: nothing to predict, in space or in time.
inline Frames RandomBlocks(uint32_t width, uint32_t height, uint32_t count) {
  Frames frames;
  uint64_t state = 34;
  const auto next = [&state] { return Mix(++state); };
  for (uint32_t index = 0; index < count; ++index) {
    filmwriter::CinepakKeyFrame frame(width, height);
    std::vector<filmwriter::CinepakEntry> book(256);
    for (filmwriter::CinepakEntry& entry : book) {
      for (uint8_t& luma : entry.luma) luma = static_cast<uint8_t>(next());
    }
    std::vector<uint8_t> codes;
    for (uint32_t block = 0; block < frame.BlockColumns() * frame.BlockRows(); ++block) {
      codes.push_back(static_cast<uint8_t>(next()));
    }
    frame.SetCodebook(std::move(book));
    frame.SetCodes(std::move(codes));
    frames.push_back(frame.Encode());
  }
  return frames;
}

}  // namespace convertmovies
