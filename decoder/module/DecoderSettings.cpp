#include "module/DecoderSettings.h"

#include "module/CRegistryKey.h"

bool CinepakFromFilmOnly() {
  CRegistryKey key;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, WIDE("CLSID\\{EF35C655-4789-4C17-81F6-4E7C19F39BEB}"), 0,
                    KEY_READ, key.ReleaseAndGetAddressOf()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.Get(), WIDE("FilmOnly"), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS) {
    return false;
  }
  return type == REG_DWORD && size == sizeof(value) && value != 0;
}
