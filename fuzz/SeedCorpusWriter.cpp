// Writes the fuzzers' seed corpora into a directory:
//   fuzz-seed-corpus OUT  ->  OUT/stream_description/*, OUT/registry_text/*, OUT/graph/*,
//                           OUT/cinepak_frame/*
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "SeedCorpus.h"

namespace {

bool WriteCorpus(const std::filesystem::path& dir, const std::vector<fuzzcheck::Seed>& seeds) {
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "fuzz-seed-corpus: cannot create %s: %s\n", dir.c_str(),
                 error.message().c_str());
    return false;
  }
  for (const fuzzcheck::Seed& seed : seeds) {
    std::filesystem::path path = dir / ("seed-" + seed.name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seed.bytes.data()),
              static_cast<std::streamsize>(seed.bytes.size()));
    if (!out) {
      std::fprintf(stderr, "fuzz-seed-corpus: cannot write %s\n", path.c_str());
      return false;
    }
  }
  std::printf("%zu seeds in %s\n", seeds.size(), dir.c_str());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz-seed-corpus OUTPUT-DIRECTORY\n");
    return 2;
  }
  std::filesystem::path out(argv[1]);
  bool ok = WriteCorpus(out / "stream_description", fuzzcheck::StreamDescriptionSeeds()) &&
            WriteCorpus(out / "registry_text", fuzzcheck::RegistryTextSeeds()) &&
            WriteCorpus(out / "graph", fuzzcheck::GraphSeeds()) &&
            WriteCorpus(out / "cinepak_frame", fuzzcheck::CinepakFrameSeeds());
  return ok ? 0 : 1;
}
