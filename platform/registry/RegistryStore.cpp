#include "RegistryStore.h"

#include <cstdlib>
#include <cstring>
#include <optional>

#include "RegistryFile.h"
#include "RegistryTree.h"

namespace platform::registry {
namespace {

constexpr DWORD kAllKeyRights = 0x3F;  // query, set, create subkey, enumerate, notify, link
constexpr DWORD kGenericRead = 0x80000000u;
constexpr DWORD kGenericWrite = 0x40000000u;
constexpr DWORD kGenericAll = 0x10000000u;

DWORD GrantedAccess(REGSAM desired) {
  if (desired & (MAXIMUM_ALLOWED | kGenericAll)) return kAllKeyRights;
  DWORD granted = desired & kAllKeyRights;
  if (desired & kGenericRead) granted |= KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | 0x10;
  if (desired & kGenericWrite) granted |= KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
  return granted;
}

LONG SplitSubKey(LPCSTR subKey, std::vector<std::string>& names) {
  if (subKey != nullptr && subKey[0] == '\\') return ERROR_BAD_PATHNAME;
  switch (SplitKeyPath(subKey == nullptr ? "" : subKey, names)) {
    case PathStatus::Ok:
      return ERROR_SUCCESS;
    case PathStatus::BadPath:
      return ERROR_BAD_PATHNAME;
    case PathStatus::BadName:
      break;
  }
  return ERROR_INVALID_PARAMETER;
}

size_t DepthOf(const RegistryNode& node) {
  size_t depth = 0;
  for (const RegistryNode* at = node.parent; at != nullptr; at = at->parent) ++depth;
  return depth;
}

std::string_view ValueNameOf(LPCSTR valueName) {
  return valueName == nullptr ? std::string_view() : std::string_view(valueName);
}

// Fills the caller's type/data/size triple the way RegQueryValueExA does.
LONG CopyValueOut(const RegistryValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(value.data.size());
  if (data == nullptr) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed > 0) std::memcpy(data, value.data.data(), needed);
  // A string stored without its terminator still reads back terminated when
  // the caller left room, as on the platform.
  bool isString = value.type == REG_SZ || value.type == REG_EXPAND_SZ;
  if (isString && *size > needed && (needed == 0 || value.data.back() != 0)) data[needed] = 0;
  *size = needed;
  return ERROR_SUCCESS;
}

// Copies a name into a caller's buffer of *length characters (terminator
// included); on success *length becomes the name's length without it.
LONG CopyNameOut(const std::string& name, LPSTR buffer, LPDWORD length) {
  if (buffer == nullptr || length == nullptr) return ERROR_INVALID_PARAMETER;
  if (static_cast<uint64_t>(name.size()) + 1 > *length) return ERROR_MORE_DATA;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *length = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

}  // namespace

RegistryStore& RegistryStore::Instance() {
  // Never destroyed: modules may still call in while the process exits.
  static RegistryStore* store = new RegistryStore;
  return *store;
}

RegistryStore::RegistryStore() : m_root(NewRootNode()) {}

LONG RegistryStore::EnsureReadyLocked() {
  if (m_state == State::Unconfigured) {
    ReplaceTreeLocked(NewRootNode(), "", State::Ready);
    const char* path = std::getenv("TESSALY_REGISTRY");
    std::string error;
    LONG refusal = ERROR_SUCCESS;
    if (path != nullptr && path[0] != '\0' && !LoadLocked(path, error, refusal)) {
      m_state = State::Refused;
      m_refusal = refusal;
      m_loadError = "TESSALY_REGISTRY: " + error;
    }
  }
  return m_state == State::Refused ? m_refusal : ERROR_SUCCESS;
}

bool RegistryStore::LoadLocked(const std::string& path, std::string& error, LONG& refusal) {
  std::string text;
  switch (ReadWholeFile(path, text, error)) {
    case FileReadResult::Failed:
      refusal = ERROR_CANTREAD;
      return false;
    case FileReadResult::Missing:
      text.clear();
      break;
    case FileReadResult::Read:
      break;
  }
  RegistryDocument document;
  std::string parseError;
  if (!ParseRegistryText(text, document, parseError)) {
    error = "malformed registry file \"" + path + "\": " + parseError;
    refusal = ERROR_BADDB;
    return false;
  }
  auto root = NewRootNode();
  MergeDocument(*root, document);
  ReplaceTreeLocked(std::move(root), path, State::Ready);
  return true;
}

void RegistryStore::ReplaceTreeLocked(std::shared_ptr<RegistryNode> root, std::string path,
                                      State state) {
  // Handles into the old tree must not write into a tree nobody saves.
  m_handles.clear();
  m_root = std::move(root);
  m_path = std::move(path);
  m_state = state;
  m_loadError.clear();
  m_refusal = ERROR_SUCCESS;
  m_unspellableName.clear();
  m_readOnlyPath.clear();
}

bool RegistryStore::IsReadOnlyLocked(const RegistryNode& node) const {
  if (m_readOnlyPath.empty() || node.parent == nullptr) return false;
  std::string path = node.name;
  for (const RegistryNode* up = node.parent; up != nullptr && up->parent != nullptr;
       up = up->parent) {
    path = up->name + "\\" + path;
  }
  return NamesEqual(path, m_readOnlyPath);
}

RegistryNode* RegistryStore::DeepestExisting(RegistryNode& base,
                                             const std::vector<std::string>& names) {
  RegistryNode* node = &base;
  for (const std::string& name : names) {
    auto found = node->subkeys.find(name);
    if (found == node->subkeys.end()) break;
    node = found->second.get();
  }
  return node;
}

LONG RegistryStore::ResolveLocked(HKEY key, DWORD needed, RegistryNode*& node) {
  LONG status = EnsureReadyLocked();
  if (status != ERROR_SUCCESS) return status;
  if (key == HKEY_CLASSES_ROOT) {
    node = m_root.get();
    return ERROR_SUCCESS;
  }
  auto found = m_handles.find(reinterpret_cast<uintptr_t>(key));
  if (found == m_handles.end()) return ERROR_INVALID_HANDLE;
  if ((found->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
  if (found->second.node->deleted) return ERROR_KEY_DELETED;
  node = found->second.node.get();
  return ERROR_SUCCESS;
}

HKEY RegistryStore::NewHandleLocked(RegistryNode& node, DWORD access) {
  uintptr_t id = m_nextHandle;
  m_nextHandle += 4;
  m_handles.emplace(id, OpenHandle{node.shared_from_this(), access});
  return reinterpret_cast<HKEY>(id);
}

LONG RegistryStore::SaveLocked() {
  if (m_path.empty()) return ERROR_SUCCESS;
  std::string text = FormatRegistryText(ExportDocument(*m_root));
  m_saveError.clear();
  return ReplaceFileAtomically(m_path, text, m_saveError) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

LONG RegistryStore::CreateKey(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result,
                              LPDWORD disposition) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* base = nullptr;
  LONG status = ResolveLocked(key, 0, base);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> names;
  status = SplitSubKey(subKey, names);
  if (status != ERROR_SUCCESS) return status;
  RegistryNode* node = FindNode(*base, names);
  bool created = node == nullptr;
  if (created) {
    status = ResolveLocked(key, KEY_CREATE_SUB_KEY, base);
    if (status != ERROR_SUCCESS) return status;
    if (IsReadOnlyLocked(*DeepestExisting(*base, names))) return ERROR_ACCESS_DENIED;
    if (DepthOf(*base) + names.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    std::shared_ptr<RegistryNode> createdTop;
    node = CreateNodes(*base, names, createdTop);
    status = SaveLocked();
    if (status != ERROR_SUCCESS) {
      DetachNode(*createdTop);
      return status;
    }
  }
  *result = NewHandleLocked(*node, GrantedAccess(desired));
  if (disposition != nullptr)
    *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegistryStore::FindExistingLocked(HKEY key, LPCSTR subKey, RegistryNode*& node) {
  RegistryNode* base = nullptr;
  LONG status = ResolveLocked(key, 0, base);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string> names;
  status = SplitSubKey(subKey, names);
  if (status != ERROR_SUCCESS) return status;
  for (const std::string& name : names) {
    if (!m_unspellableName.empty() && NamesEqual(name, m_unspellableName)) {
      return ERROR_FILE_NOT_FOUND;
    }
  }
  node = FindNode(*base, names);
  return node == nullptr ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

LONG RegistryStore::OpenKey(HKEY key, LPCSTR subKey, REGSAM desired, PHKEY result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* node = nullptr;
  LONG status = FindExistingLocked(key, subKey, node);
  if (status != ERROR_SUCCESS) return status;
  *result = NewHandleLocked(*node, GrantedAccess(desired));
  return ERROR_SUCCESS;
}

LONG RegistryStore::SetValue(HKEY key, LPCSTR subKey, LPCSTR valueName, DWORD type,
                             const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return ERROR_INVALID_PARAMETER;
  std::string_view name = ValueNameOf(valueName);
  if (!IsValidValueName(name)) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> names;
  LONG status = SplitSubKey(subKey, names);
  if (status != ERROR_SUCCESS) return status;
  RegistryNode* base = nullptr;
  status = ResolveLocked(key, names.empty() ? KEY_SET_VALUE : 0, base);
  if (status != ERROR_SUCCESS) return status;
  std::shared_ptr<RegistryNode> createdTop;
  RegistryNode* node = FindNode(*base, names);
  if (IsReadOnlyLocked(node != nullptr ? *node : *DeepestExisting(*base, names))) {
    return ERROR_ACCESS_DENIED;
  }
  if (node == nullptr) {
    status = ResolveLocked(key, KEY_CREATE_SUB_KEY, base);
    if (status != ERROR_SUCCESS) return status;
    if (DepthOf(*base) + names.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    node = CreateNodes(*base, names, createdTop);
  }
  std::optional<RegistryValue> previous;
  auto found = node->values.find(name);
  if (found != node->values.end()) {
    previous = found->second;
    found->second.type = type;
    found->second.data.assign(data, data + size);
  } else {
    RegistryValue value{std::string(name), type, std::vector<uint8_t>(data, data + size)};
    found = node->values.emplace(value.name, std::move(value)).first;
  }
  uint64_t previousTime = node->lastWriteTime;
  node->lastWriteTime = CurrentFileTime();
  status = SaveLocked();
  if (status == ERROR_SUCCESS) return ERROR_SUCCESS;
  if (createdTop) {
    DetachNode(*createdTop);
    return status;
  }
  node->lastWriteTime = previousTime;
  if (previous) {
    found->second = std::move(*previous);
  } else {
    node->values.erase(found);
  }
  return status;
}

LONG RegistryStore::QueryValue(HKEY key, LPCSTR subKey, LPCSTR valueName, LPDWORD type, LPBYTE data,
                               LPDWORD size, bool missingIsEmpty) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> names;
  LONG status = SplitSubKey(subKey, names);
  if (status != ERROR_SUCCESS) return status;
  RegistryNode* base = nullptr;
  status = ResolveLocked(key, names.empty() ? KEY_QUERY_VALUE : 0, base);
  if (status != ERROR_SUCCESS) return status;
  RegistryNode* node = FindNode(*base, names);
  if (node == nullptr) return ERROR_FILE_NOT_FOUND;
  auto found = node->values.find(ValueNameOf(valueName));
  if (found != node->values.end()) return CopyValueOut(found->second, type, data, size);
  if (!missingIsEmpty) return ERROR_FILE_NOT_FOUND;
  return CopyValueOut(RegistryValue{"", REG_SZ, {0}}, type, data, size);
}

LONG RegistryStore::EnumKey(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPSTR className,
                            LPDWORD classNameLength, PFILETIME lastWriteTime) {
  if (className != nullptr && classNameLength == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* node = nullptr;
  LONG status = ResolveLocked(key, KEY_ENUMERATE_SUB_KEYS, node);
  if (status != ERROR_SUCCESS) return status;
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryNode& child = *std::next(node->subkeys.begin(), index)->second;
  status = CopyNameOut(child.name, name, nameLength);
  if (status != ERROR_SUCCESS) return status;
  if (classNameLength != nullptr) {
    if (className != nullptr && *classNameLength > 0) className[0] = '\0';
    *classNameLength = 0;
  }
  if (lastWriteTime != nullptr) {
    lastWriteTime->dwLowDateTime = static_cast<DWORD>(child.lastWriteTime);
    lastWriteTime->dwHighDateTime = static_cast<DWORD>(child.lastWriteTime >> 32);
  }
  return ERROR_SUCCESS;
}

LONG RegistryStore::EnumValue(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD type,
                              LPBYTE data, LPDWORD dataLength) {
  if (data != nullptr && dataLength == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* node = nullptr;
  LONG status = ResolveLocked(key, KEY_QUERY_VALUE, node);
  if (status != ERROR_SUCCESS) return status;
  if (name == nullptr || nameLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegistryValue& value = std::next(node->values.begin(), index)->second;
  status = CopyNameOut(value.name, name, nameLength);
  if (status != ERROR_SUCCESS) return status;
  return CopyValueOut(value, type, data, dataLength);
}

LONG RegistryStore::DeleteKey(HKEY key, LPCSTR subKey) {
  if (subKey == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* node = nullptr;
  LONG status = FindExistingLocked(key, subKey, node);
  if (status != ERROR_SUCCESS) return status;
  // The root cannot go, and the platform refuses to delete a key with subkeys.
  if (node->parent == nullptr || !node->subkeys.empty()) return ERROR_ACCESS_DENIED;
  RegistryNode& parent = *node->parent;
  std::shared_ptr<RegistryNode> held = node->shared_from_this();
  uint64_t parentTime = parent.lastWriteTime;
  DetachNode(*node);
  status = SaveLocked();
  if (status != ERROR_SUCCESS) {
    ReattachNode(parent, held);
    parent.lastWriteTime = parentTime;
    return status;
  }
  held->values.clear();
  return ERROR_SUCCESS;
}

LONG RegistryStore::DeleteValue(HKEY key, LPCSTR valueName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  RegistryNode* node = nullptr;
  LONG status = ResolveLocked(key, KEY_SET_VALUE, node);
  if (status != ERROR_SUCCESS) return status;
  auto found = node->values.find(ValueNameOf(valueName));
  if (found == node->values.end()) return ERROR_FILE_NOT_FOUND;
  RegistryValue removed = std::move(found->second);
  node->values.erase(found);
  uint64_t previousTime = node->lastWriteTime;
  node->lastWriteTime = CurrentFileTime();
  status = SaveLocked();
  if (status != ERROR_SUCCESS) {
    node->lastWriteTime = previousTime;
    std::string name = removed.name;
    node->values.emplace(std::move(name), std::move(removed));
  }
  return status;
}

LONG RegistryStore::CloseKey(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return ERROR_SUCCESS;
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_handles.erase(reinterpret_cast<uintptr_t>(key)) == 1 ? ERROR_SUCCESS
                                                                : ERROR_INVALID_HANDLE;
}

bool RegistryStore::UseFile(const std::string& path, std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string message;
  LONG refusal = ERROR_SUCCESS;
  if (path.empty()) {
    message = "no registry file named";
  } else if (LoadLocked(path, message, refusal)) {
    return true;
  }
  if (error != nullptr) *error = message;
  return false;
}

void RegistryStore::UseMemory() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ReplaceTreeLocked(NewRootNode(), "", State::Ready);
}

void RegistryStore::SetUnspellableName(std::string_view name) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_unspellableName = name;
}

void RegistryStore::SetReadOnlyPath(std::string_view path) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_readOnlyPath = path;
}

void RegistryStore::Reset() {
  std::lock_guard<std::mutex> lock(m_mutex);
  ReplaceTreeLocked(NewRootNode(), "", State::Unconfigured);
}

std::string RegistryStore::Export() {
  std::lock_guard<std::mutex> lock(m_mutex);
  EnsureReadyLocked();
  return FormatRegistryText(ExportDocument(*m_root));
}

bool RegistryStore::Import(std::string_view text, std::string* error) {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::string message;
  RegistryDocument document;
  if (EnsureReadyLocked() != ERROR_SUCCESS) {
    message = m_loadError;
  } else if (!ParseRegistryText(text, document, message)) {
    message = "malformed registry text: " + message;
  } else {
    // Save the merged tree before touching the live one, so a failed save
    // leaves the registry as it was.
    RegistryDocument merged = ExportDocument(*m_root);
    merged.keys.insert(merged.keys.end(), document.keys.begin(), document.keys.end());
    auto candidate = NewRootNode();
    MergeDocument(*candidate, merged);
    std::string saveError;
    if (m_path.empty() ||
        ReplaceFileAtomically(m_path, FormatRegistryText(ExportDocument(*candidate)), saveError)) {
      MergeDocument(*m_root, document);
      return true;
    }
    message = saveError;
  }
  if (error != nullptr) *error = message;
  return false;
}

std::string RegistryStore::FilePath() {
  std::lock_guard<std::mutex> lock(m_mutex);
  EnsureReadyLocked();
  return m_path;
}

std::string RegistryStore::LoadError() {
  std::lock_guard<std::mutex> lock(m_mutex);
  EnsureReadyLocked();
  return m_loadError;
}

}  // namespace platform::registry
