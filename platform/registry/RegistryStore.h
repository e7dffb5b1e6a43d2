// The live HKEY_CLASSES_ROOT tree of the process: its open handles, and the
// REGEDIT4 file it is loaded from and saved to after every change.
#pragma once

#include <win/registry.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "RegistryNode.h"

namespace platform::registry {

class RegistryStore {
 public:
  static RegistryStore& Instance();

  LONG CreateKey(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result, LPDWORD disposition);
  LONG OpenKey(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result);
  LONG SetValue(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type, const BYTE* data,
                DWORD size);
  LONG QueryValue(HKEY key, LPCSTR subKey, LPCSTR valueName, LPDWORD type, LPBYTE data,
                  LPDWORD size, bool missingIsEmpty);
  LONG EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPSTR className,
               LPDWORD classNameLength, PFILETIME lastWriteTime);
  LONG EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD type, LPBYTE data,
                 LPDWORD dataLength);
  LONG DeleteKey(HKEY key, LPCSTR subKey);
  LONG DeleteValue(HKEY key, LPCSTR valueName);
  LONG CloseKey(HKEY key);

  bool UseFile(const std::string& path, std::string* error);
  void UseMemory();
  void Reset();
  std::string Export();
  bool Import(std::string_view text, std::string* error);
  std::string FilePath();
  void SetUnspellableName(std::string_view name);
  void SetReadOnlyPath(std::string_view path);
  std::string LoadError();

 private:
  enum class State { Unconfigured, Ready, Refused };

  struct OpenHandle {
    std::shared_ptr<RegistryNode> node;  // counted
    DWORD access = 0;
  };

  RegistryStore();

  LONG EnsureReadyLocked();
  bool LoadLocked(const std::string& path, std::string& error, LONG& refusal);
  void ReplaceTreeLocked(std::shared_ptr<RegistryNode> root, std::string path, State state);
  LONG ResolveLocked(HKEY key, DWORD needed, RegistryNode*& node);
  // The existing key at subKey below key; ERROR_FILE_NOT_FOUND when there is none.
  LONG FindExistingLocked(HKEY key, LPCSTR subKey, RegistryNode*& node);
  // TRUE when the key is the one SetReadOnlyPath names.
  bool IsReadOnlyLocked(const RegistryNode& node) const;
  // The deepest existing key along names below base: the key a creation writes into.
  static RegistryNode* DeepestExisting(RegistryNode& base, const std::vector<std::string>& names);
  HKEY NewHandleLocked(RegistryNode& node, DWORD access);
  LONG SaveLocked();

  std::mutex m_mutex;
  State m_state = State::Unconfigured;
  std::shared_ptr<RegistryNode> m_root;  // owned
  std::string m_path;                    // empty: memory only
  std::string m_loadError;
  LONG m_refusal = ERROR_SUCCESS;
  std::string m_saveError;
  std::string m_unspellableName;  // empty: every name can be spelled
  std::string m_readOnlyPath;     // empty: every key can be written
  std::unordered_map<uintptr_t, OpenHandle> m_handles;
  uintptr_t m_nextHandle = 0x1000;
};

}  // namespace platform::registry
