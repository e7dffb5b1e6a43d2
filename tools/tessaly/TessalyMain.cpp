// tessaly: registers the Tessaly module and plays FILM files through it, in
// graphs built the platform's way.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>

#include "media/TemporaryFiles.h"
#include "tessaly/CCommandError.h"
#include "tessaly/commands/CConvertCommand.h"
#include "tessaly/commands/CDemoCommand.h"
#include "tessaly/commands/CDumpCommand.h"
#include "tessaly/commands/CExtractCommand.h"
#include "tessaly/commands/CFramesCommand.h"
#include "tessaly/commands/CInfoCommand.h"
#include "tessaly/commands/CPlayCommand.h"
#include "tessaly/commands/CRegisterCommand.h"
#include "tessaly/commands/CThumbnailCommand.h"
#include "tessaly/reports/TerminalText.h"

using namespace tessaly::cli;

namespace {

// Seconds of a movie: a finite number, not negative, small enough to count in 100 ns units.
const CLI::Validator kSeconds(
    [](std::string& text) -> std::string {
      double seconds = 0;
      if (!CLI::detail::lexical_cast(text, seconds) || !std::isfinite(seconds) || seconds < 0 ||
          seconds > 1e9) {
        return "'" + text + "' is not a time in seconds from 0 to 1e9";
      }
      return std::string();
    },
    "SECONDS");

// What is wrong with the command line, naming a word that is no command
// rather than asking for one.
std::string UsageProblem(const CLI::App& app, const CLI::ParseError& error) {
  if (app.get_subcommands().empty()) {
    const std::vector<std::string> left = app.remaining();
    if (!left.empty() && !left.front().empty() && left.front()[0] != '-') {
      return "'" + left.front() + "' is not a tessaly command";
    }
    if (left.empty()) return "a command is required";
  }
  return error.what();
}

// A command whose report could not be written has failed, whatever it did.
int FinishOutput(int code) {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return code;
  std::fprintf(stderr, "tessaly: cannot write to standard output: %s\n", std::strerror(errno));
  return code == kExitSuccess ? kExitOutputFailed : code;
}

void AddRangeOptions(CLI::App* command, CommandOptions& options) {
  command->add_option("--start", options.start, "Start playing at this time (seconds)")
      ->check(kSeconds);
  command->add_option("--end", options.end, "Stop playing at this time (seconds)")->check(kSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Plays FILM movies through the Tessaly splitter (tessaly.ax).", "tessaly"};
  app.require_subcommand(1);
  app.fallthrough();
  app.set_version_flag("--version", "tessaly " TESSALY_VERSION);
  CommandOptions options;
  std::string file;
  std::string folder;
  bool json = false;
  app.add_option("--registry", options.registry,
                 "Registry file (default: $TESSALY_REGISTRY, else "
                 "~/.config/tessaly/registry.reg)");

  CLI::App* registerCommand = app.add_subcommand("register", "Register the module in the registry");
  registerCommand->add_option(
      "--module", options.module,
      "Module file (default: tessaly.ax built or installed beside tessaly)");
  CLI::App* unregisterCommand =
      app.add_subcommand("unregister", "Remove the module's registration from the registry");
  unregisterCommand->add_option("--module", options.module,
                                "Module file (default: tessaly.ax beside tessaly)");
  CLI::App* infoCommand = app.add_subcommand("info", "Show a file's streams and duration");
  infoCommand->add_option("FILE", file, "FILM file")->required();
  infoCommand->add_flag("--json", json, "Print JSON");
  CLI::App* dumpCommand =
      app.add_subcommand("dump", "Play a file and print one JSON line per sample");
  dumpCommand->add_option("FILE", file, "FILM file")->required();
  AddRangeOptions(dumpCommand, options);
  CLI::App* playCommand =
      app.add_subcommand("play", "Play a file in real time through renderers, then exit");
  playCommand->add_option("FILE", file, "FILM file")->required();
  AddRangeOptions(playCommand, options);
  bool paused = false;
  playCommand->add_flag("--paused", paused,
                        "Open the file paused, report what the renderers hold, and exit");

  CLI::App* extractCommand =
      app.add_subcommand("extract", "Play a file into audio.wav and movie.avi");
  extractCommand->add_option("FILE", file, "FILM file")->required();
  extractCommand->add_option("-o,--output", folder, "Output folder")->required();
  AddRangeOptions(extractCommand, options);
  CLI::App* framesCommand =
      app.add_subcommand("frames", "Play a file into one PNG picture per video frame");
  framesCommand->add_option("FILE", file, "FILM file")->required();
  framesCommand->add_option("-o,--output", folder, "Output folder")->required();
  AddRangeOptions(framesCommand, options);
  std::optional<double> every;
  framesCommand->add_option("--every", every, "One picture every SECONDS instead of every frame")
      ->check(CLI::Range(0.001, 1e9));
  CLI::App* thumbnailCommand =
      app.add_subcommand("thumbnail", "Make a contact sheet of pictures spread over a movie");
  std::string sheet;
  uint32_t count = CThumbnailCommand::kDefaultCount;
  thumbnailCommand->add_option("FILE", file, "FILM file")->required();
  thumbnailCommand->add_option("-o,--output", sheet, "PNG file of the sheet")->required();
  thumbnailCommand->add_option("--count", count, "Pictures on the sheet")
      ->check(CLI::Range(1u, CThumbnailCommand::kMostPictures))
      ->capture_default_str();
  CLI::App* convertCommand =
      app.add_subcommand("convert", "Play a file into a WebM movie (VP9 and Opus) browsers play");
  std::string webmFile;
  int quality = CConvertCommand::kDefaultQuality;
  convertCommand->add_option("FILE", file, "FILM file")->required();
  convertCommand->add_option("-o,--output", webmFile, "WebM file to write")->required();
  convertCommand->add_option("--quality", quality, "Picture quality, 0 (smallest) to 100 (best)")
      ->check(CLI::Range(0, 100))
      ->capture_default_str();
  AddRangeOptions(convertCommand, options);
  CLI::App* helpCommand = app.add_subcommand("help", "Show this help");
  CLI::App* demoCommand =
      app.add_subcommand("demo", "Make a sample file, register the module, run info and extract");
  folder = "tessaly-demo";
  demoCommand->add_option("-o,--output", folder, "Demo folder")->capture_default_str();
  demoCommand->add_option("--module", options.module,
                          "Module file (default: tessaly.ax beside tessaly)");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "tessaly: %s (see tessaly --help)\n", UsageProblem(app, e).c_str());
    return kExitUsage;
  }
  if (*helpCommand) {
    // The program's help, not that of the help command just parsed.
    std::fputs(app.get_formatter()->make_help(&app, "tessaly", CLI::AppFormatMode::Normal).c_str(),
               stdout);
    return FinishOutput(kExitSuccess);
  }
  // Without --start playback starts at 0, so --end 0 would play nothing.
  if (options.end && *options.end <= options.start.value_or(0)) {
    std::fprintf(stderr,
                 "tessaly: --end must come after --start, which is 0 when not given (see "
                 "tessaly --help)\n");
    return kExitUsage;
  }

  tessaly::media::InstallInterruptCleanup();
  try {
    if (*registerCommand) return FinishOutput(CRegisterCommand(options).Register());
    if (*unregisterCommand) return FinishOutput(CRegisterCommand(options).Unregister());
    if (*infoCommand) return FinishOutput(CInfoCommand(options, file, json).Run());
    if (*dumpCommand) return FinishOutput(CDumpCommand(options, file).Run());
    if (*playCommand) return FinishOutput(CPlayCommand(options, file, paused).Run());
    if (*extractCommand) return FinishOutput(CExtractCommand(options, file, folder).Run());
    if (*framesCommand) return FinishOutput(CFramesCommand(options, file, folder, every).Run());
    if (*thumbnailCommand) {
      return FinishOutput(CThumbnailCommand(options, file, sheet, count).Run());
    }
    if (*convertCommand) {
      return FinishOutput(CConvertCommand(options, file, webmFile, quality).Run());
    }
    if (*demoCommand) return FinishOutput(CDemoCommand(options, folder).Run());
  } catch (const CCommandError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tessaly: %s\n", TerminalSafe(e.what()).c_str());
    return e.Code();
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tessaly: %s\n", TerminalSafe(e.what()).c_str());
    return kExitFailure;
  }
  return kExitUsage;
}
