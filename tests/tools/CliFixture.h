// Runs tessaly against files of its own in a temporary folder with a
// registry of its own.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "ToolRun.h"
#include "filmwriter/FilmWriter.h"
#include "support/FilmChunkPosition.h"
#include "support/Pattern.h"

namespace tools_test {

class CliFixture : public ::testing::Test {
 protected:
  std::string Registry() const { return folder / "registry.reg"; }

  // Runs tessaly with --registry pointing at the test's registry, and with
  // neither TESSALY_REGISTRY nor the user's configuration in play.
  ToolResult Tessaly(std::vector<std::string> arguments, ToolEnvironment environment = {}) const {
    arguments.insert(arguments.begin(), {"--registry", Registry()});
    return Plain(std::move(arguments), std::move(environment));
  }
  ToolResult Plain(std::vector<std::string> arguments, ToolEnvironment environment = {}) const {
    environment.variables.emplace("TESSALY_REGISTRY", std::nullopt);
    environment.variables.emplace("HOME", folder / "home");
    environment.variables.emplace("XDG_CONFIG_HOME", std::nullopt);
    return RunTool(arguments, environment);
  }

  void Register() const {
    const ToolResult result = Tessaly({"register", "--module", TESSALY_MODULE_PATH});
    ASSERT_EQ(result.exitCode, 0) << result.err;
  }

  std::string WriteFilm(const filmwriter::FilmWriter& writer, const std::string& name) const {
    const std::string path = folder / name;
    EXPECT_TRUE(writer.WriteFile(path));
    return path;
  }

  TempFolder folder;
};

// A frame with a plausible head: flags, 24-bit length, then pattern bytes.
std::vector<uint8_t> Frame(size_t count, uint32_t seed);

}  // namespace tools_test
