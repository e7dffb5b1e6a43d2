// Writes pictures as PNG files through libspng; a file appears under its
// name only once it is whole.
#pragma once

#include <string>

#include "pictures/RgbPicture.h"

namespace tessaly::pictures {

class CPngWriter {
 public:
  // False with a message naming the file when encoding or writing fails.
  static bool Write(const std::string& path, const RgbPicture& picture, std::string* error);
};

}  // namespace tessaly::pictures
