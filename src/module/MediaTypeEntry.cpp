#include "module/MediaTypeEntry.h"

#include "module/CRegistryKey.h"
#include "module/RegistryKeys.h"

namespace {

// The byte-stream major type, then the FILM subtype.
const char kEntryPath[] =
    "Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}\\{6B1E4F21-D3A7-11d1-8C53-00A0C93B7E14}";

// "FILM" at offset 0 and "FDSC" at offset 16, all mask bits set.
const char kCheckBytes[] = "0,4,,46494C4D,16,4,,46445343";
static_assert(sizeof(kCheckBytes) == 29, "the check bytes are written with their terminator");

// The platform's asynchronous file source.
const char kSourceFilter[] = "{E436EBB5-524F-11CE-9F53-0020AF0BA770}";
static_assert(sizeof(kSourceFilter) == 39,
              "a class identifier text is written with its terminator");

LONG SetText(HKEY key, const char* name, const char* text, DWORD size) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), size);
}

}  // namespace

HRESULT WriteMediaTypeEntry() {
  CRegistryKey key;
  LONG status = RegCreateKeyExA(HKEY_CLASSES_ROOT, kEntryPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, key.ReleaseAndGetAddressOf(), nullptr);
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  status = SetText(key.Get(), "0", kCheckBytes, sizeof(kCheckBytes));
  if (status != ERROR_SUCCESS) {
    return ResultFromRegistry(status);
  }
  return ResultFromRegistry(
      SetText(key.Get(), "Source Filter", kSourceFilter, sizeof(kSourceFilter)));
}

HRESULT RemoveMediaTypeEntry() {
  LONG status = RegDeleteKeyA(HKEY_CLASSES_ROOT, kEntryPath);
  return status == ERROR_FILE_NOT_FOUND ? S_OK : ResultFromRegistry(status);
}
