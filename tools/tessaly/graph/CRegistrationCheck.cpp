#include "tessaly/graph/CRegistrationCheck.h"

#include <win/platform.h>

#include <vector>

#include "tessaly/graph/TessalyIdentifiers.h"

namespace tessaly::cli {

CRegistrationCheck::CRegistrationCheck() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kSplitterClassKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return;
  }
  m_registered = true;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, "", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0 &&
      type == REG_SZ) {
    std::vector<BYTE> data(size + 1, 0);
    if (RegQueryValueExA(key, "", nullptr, &type, data.data(), &size) == ERROR_SUCCESS) {
      m_modulePath = reinterpret_cast<const char*>(data.data());
    }
  }
  RegCloseKey(key);
}

}  // namespace tessaly::cli
