// `tessaly thumbnail FILE -o sheet.png [--count N]`: a contact sheet of N
// pictures spread evenly over the movie, each the frame showing at its time.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CRegistrySelection;

class CThumbnailCommand {
 public:
  static constexpr uint32_t kDefaultCount = 9;
  static constexpr uint32_t kMostPictures = 400;

  CThumbnailCommand(CommandOptions options, std::string file, std::string sheet, uint32_t count)
      : m_options(std::move(options)),
        m_file(std::move(file)),
        m_sheet(std::move(sheet)),
        m_count(count) {}

  int Run() const;
  // The same with the registry already in use (the demo's); returns the exit
  // status the losses on the way call for (0, or 9 for a read that failed).
  int Write(const CRegistrySelection& registry) const;

 private:
  CommandOptions m_options;
  std::string m_file;
  std::string m_sheet;
  uint32_t m_count;
};

}  // namespace tessaly::cli
