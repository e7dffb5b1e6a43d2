// Hooks into the registry stand-in for tests and the command-line host: which
// file backs HKEY_CLASSES_ROOT, and the REGEDIT4 text form of the tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#define TESSALY_REGISTRY_HOOK __attribute__((visibility("default")))

namespace platform {

// One named value; an empty name is the key's default value ("@").
struct RegistryValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;

  bool operator==(const RegistryValue&) const = default;
};

// One "[HKEY_CLASSES_ROOT\path]" section; the path is relative to
// HKEY_CLASSES_ROOT, with backslashes between names, and empty for the root.
struct RegistryKeyEntry {
  std::string path;
  std::vector<RegistryValue> values;

  bool operator==(const RegistryKeyEntry&) const = default;
};

// The contents of a .reg text, section by section in text order.
struct RegistryDocument {
  std::vector<RegistryKeyEntry> keys;

  bool operator==(const RegistryDocument&) const = default;
};

// Parses REGEDIT4 text without touching the live registry. Empty text is an
// empty document. On failure returns false, sets error to a message naming
// the line, and leaves out unchanged.
TESSALY_REGISTRY_HOOK bool ParseRegistryText(std::string_view text, RegistryDocument& out,
                                             std::string& error);

// Writes a document as REGEDIT4 text, sections and values in document order.
// String values are written as quoted text when they can be read back byte
// for byte (one terminating zero, no other control characters), else as hex.
TESSALY_REGISTRY_HOOK std::string FormatRegistryText(const RegistryDocument& document);

// Backs the registry with this file from now on: loads it now (a missing file
// is an empty registry, created on the first change). Open handles other than
// HKEY_CLASSES_ROOT become invalid. On failure (unreadable or malformed file)
// returns false with a message and changes nothing.
TESSALY_REGISTRY_HOOK bool UseRegistryFile(const std::string& path, std::string* error = nullptr);

// An empty registry that lives in memory only, whatever TESSALY_REGISTRY says.
TESSALY_REGISTRY_HOOK void UseMemoryRegistry();

// Forgets the tree, the file and every open handle; the next registry call
// reads TESSALY_REGISTRY again, as a fresh process would.
TESSALY_REGISTRY_HOOK void ResetRegistry();

// The whole tree as REGEDIT4 text, keys in sorted order.
TESSALY_REGISTRY_HOOK std::string ExportRegistryText();

// Merges REGEDIT4 text into the tree (as the platform's registry editor
// imports a file) and saves it. On malformed text or a failed save returns
// false with a message and changes nothing.
TESSALY_REGISTRY_HOOK bool ImportRegistryText(std::string_view text, std::string* error = nullptr);

// Test hook: from now on, keys with this name (in any case) are enumerated
// but cannot be opened or deleted by it, as on the platform when a Unicode
// name does not survive the conversion to the ANSI code page. Empty turns it
// off; so does replacing the tree (UseRegistryFile, UseMemoryRegistry,
// ResetRegistry).
TESSALY_REGISTRY_HOOK void SetUnspellableKeyName(std::string_view name);

// Test hook: from now on, the key at this path below HKEY_CLASSES_ROOT (in
// any case) refuses new values and subkeys with ERROR_ACCESS_DENIED, as a key
// whose access list lets the caller only read. Empty turns it off; so does
// replacing the tree.
TESSALY_REGISTRY_HOOK void SetReadOnlyKeyPath(std::string_view path);

// The file backing the registry, empty when it lives in memory only.
TESSALY_REGISTRY_HOOK std::string RegistryFilePath();

// Why registry calls fail with ERROR_BADDB (the file named by
// TESSALY_REGISTRY was refused), or empty when they don't.
TESSALY_REGISTRY_HOOK std::string RegistryLoadError();

}  // namespace platform
