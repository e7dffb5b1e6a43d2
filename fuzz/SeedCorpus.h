// Seed inputs for the fuzzers: FILM files of every shape and malformed
// variant the FILM writer makes, under several read plans, and .reg texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fuzzcheck {

struct Seed {
  std::string name;  // unique within its corpus, usable as a file name
  std::vector<uint8_t> bytes;
};

std::vector<Seed> StreamDescriptionSeeds();
std::vector<Seed> RegistryTextSeeds();
std::vector<Seed> GraphSeeds();
// Random valid Cinepak streams in every layout; every frame of them decodes wholly.
std::vector<Seed> CinepakFrameSeeds();

}  // namespace fuzzcheck
