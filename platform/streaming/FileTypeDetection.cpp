#include "FileTypeDetection.h"

#include <platform/GraphBuilding.h>

#include <cstring>
#include <new>
#include <vector>

#include "../kernel/Utf.h"

namespace platform {

namespace {

constexpr char kStreamTypesKey[] = "Media Type\\{E436EB83-524F-11CE-9F53-0020AF0BA770}";
constexpr char kSourceFilterValue[] = "Source Filter";
constexpr DWORD kLongestKeyName = 256;
constexpr DWORD kLongestValueName = 16384;
// Check-byte strings are short; a longer value is not one of them.
constexpr DWORD kLongestValueData = 64 * 1024;

class CKeyHolder {
 public:
  CKeyHolder() = default;
  CKeyHolder(const CKeyHolder&) = delete;
  CKeyHolder& operator=(const CKeyHolder&) = delete;
  ~CKeyHolder() {
    if (m_key) RegCloseKey(m_key);
  }
  HKEY Get() const { return m_key; }
  PHKEY Out() { return &m_key; }

 private:
  HKEY m_key = nullptr;  // owned
};

class CMemoryCheckBytes final : public CheckByteSource {
 public:
  CMemoryCheckBytes(const BYTE* bytes, size_t size) : m_bytes(bytes), m_size(size) {}
  LONGLONG Size() const override { return static_cast<LONGLONG>(m_size); }
  HRESULT Read(LONGLONG position, ULONG length, BYTE* buffer) const override {
    if (position < 0 || static_cast<size_t>(position) > m_size) return S_FALSE;
    size_t available = m_size - static_cast<size_t>(position);
    if (available < length) return S_FALSE;
    std::memcpy(buffer, m_bytes + position, length);
    return S_OK;
  }

 private:
  const BYTE* m_bytes;  // borrowed
  size_t m_size;
};

bool SameName(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char x = (*a >= 'a' && *a <= 'z') ? *a - 32 : *a;
    char y = (*b >= 'a' && *b <= 'z') ? *b - 32 : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

// A registry string as text; false when the value is no string or too long.
bool ReadString(DWORD type, const std::vector<BYTE>& data, DWORD length, std::string* out) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  const char* text = reinterpret_cast<const char*>(data.data());
  size_t end = 0;
  while (end < length && text[end] != '\0') ++end;
  out->assign(text, end);
  return true;
}

HRESULT GuidFromNarrow(const std::string& text, GUID* guid) {
  // Identifiers are ASCII; anything else cannot be one.
  if (text.size() != 38) return CO_E_CLASSSTRING;
  WCHAR wide[39];
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) > 0x7F) return CO_E_CLASSSTRING;
    wide[i] = static_cast<WCHAR>(text[i]);
  }
  wide[38] = 0;
  return CLSIDFromString(wide, guid);
}

// S_OK when some check-byte value of this subtype key matches the file.
HRESULT MatchSubtypeKey(HKEY key, const CheckByteSource& file) {
  std::vector<char> name(kLongestValueName + 1);
  std::vector<BYTE> data;
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = kLongestValueName + 1;
    DWORD type = REG_NONE;
    DWORD dataLength = 0;
    LONG status =
        RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, nullptr, &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) return S_FALSE;
    if (status != ERROR_SUCCESS) continue;
    if (SameName(name.data(), kSourceFilterValue)) continue;
    if (type != REG_SZ || dataLength == 0 || dataLength > kLongestValueData) continue;
    data.assign(dataLength, 0);
    nameLength = kLongestValueName + 1;
    status = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                           &dataLength);
    std::string text;
    if (status != ERROR_SUCCESS || !ReadString(type, data, dataLength, &text)) continue;
    CCheckBytes pattern;
    // A malformed value recognises nothing; the others still may.
    if (CCheckBytes::Parse(text, &pattern) != S_OK) continue;
    HRESULT hr = pattern.Match(file);
    if (hr != S_FALSE) return hr;
  }
}

HRESULT ReadSourceFilter(HKEY key, CLSID* sourceFilter) {
  DWORD type = REG_NONE;
  DWORD length = 0;
  LONG status = RegQueryValueExA(key, kSourceFilterValue, nullptr, &type, nullptr, &length);
  if (status == ERROR_FILE_NOT_FOUND) {
    *sourceFilter = CLSID_AsyncReader;
    return S_OK;
  }
  if (status != ERROR_SUCCESS || length > kLongestValueData) return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
  std::vector<BYTE> data(length + 1, 0);
  status = RegQueryValueExA(key, kSourceFilterValue, nullptr, &type, data.data(), &length);
  std::string text;
  if (status != ERROR_SUCCESS || !ReadString(type, data, length, &text)) {
    return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
  }
  if (FAILED(GuidFromNarrow(text, sourceFilter))) return VFW_E_CANNOT_LOAD_SOURCE_FILTER;
  return S_OK;
}

}  // namespace

HRESULT WidePathToUtf8(LPCWSTR path, std::string* out) {
  if (!path) return E_POINTER;
  size_t length = 0;
  while (path[length]) ++length;
  if (length == 0) return E_INVALIDARG;
  bool replaced = false;
  size_t bytes = kernel::Utf16ToUtf8(path, length, nullptr, "?", &replaced);
  if (replaced) return E_INVALIDARG;
  try {
    out->assign(bytes, '\0');
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  kernel::Utf16ToUtf8(path, length, out->data(), "?", &replaced);
  return S_OK;
}

HRESULT CFileCheckBytes::Open(LPCWSTR path, std::unique_ptr<CFileCheckBytes>* out) {
  std::string narrow;
  HRESULT hr = WidePathToUtf8(path, &narrow);
  if (FAILED(hr)) return hr;
  std::shared_ptr<CPositionedFile> file;
  hr = CPositionedFile::Open(narrow, &file);
  if (FAILED(hr)) return hr;
  LONGLONG size = 0;
  hr = file->Size(&size);
  if (FAILED(hr)) return hr;
  out->reset(new (std::nothrow) CFileCheckBytes(std::move(file), size));
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFileCheckBytes::Read(LONGLONG position, ULONG length, BYTE* buffer) const {
  if (position < 0 || position > m_size - LONGLONG{length}) return S_FALSE;
  LONG done = 0;
  HRESULT hr = m_file->Read(position, static_cast<LONG>(length), buffer, &done);
  if (FAILED(hr)) return hr;
  return done == static_cast<LONG>(length) ? S_OK : S_FALSE;
}

HRESULT DetectFileTypeOf(const CheckByteSource& file, GUID* subtype, CLSID* sourceFilter) {
  CKeyHolder types;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kStreamTypesKey, 0, KEY_READ, types.Out()) !=
      ERROR_SUCCESS) {
    return VFW_E_UNKNOWN_FILE_TYPE;
  }
  try {
    char name[kLongestKeyName + 1];
    for (DWORD index = 0;; ++index) {
      DWORD nameLength = kLongestKeyName + 1;
      LONG status =
          RegEnumKeyExA(types.Get(), index, name, &nameLength, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_NO_MORE_ITEMS) return VFW_E_UNKNOWN_FILE_TYPE;
      if (status != ERROR_SUCCESS) continue;
      GUID found{};
      if (FAILED(GuidFromNarrow(name, &found))) continue;
      CKeyHolder key;
      if (RegOpenKeyExA(types.Get(), name, 0, KEY_READ, key.Out()) != ERROR_SUCCESS) continue;
      HRESULT hr = MatchSubtypeKey(key.Get(), file);
      if (FAILED(hr)) return hr;
      if (hr != S_OK) continue;
      hr = ReadSourceFilter(key.Get(), sourceFilter);
      if (FAILED(hr)) return hr;
      *subtype = found;
      return S_OK;
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT MatchCheckBytes(std::string_view value, const BYTE* file, size_t size, bool* matched) {
  if (!matched) return E_POINTER;
  *matched = false;
  if (!file && size != 0) return E_POINTER;
  CCheckBytes pattern;
  HRESULT hr = CCheckBytes::Parse(value, &pattern);
  if (FAILED(hr)) return hr;
  static const BYTE kNothing = 0;
  CMemoryCheckBytes bytes(file ? file : &kNothing, size);
  hr = pattern.Match(bytes);
  if (FAILED(hr)) return hr;
  *matched = hr == S_OK;
  return S_OK;
}

HRESULT DetectFileType(LPCWSTR path, GUID* subtype, CLSID* sourceFilter) {
  if (!path || !subtype || !sourceFilter) return E_POINTER;
  std::unique_ptr<CFileCheckBytes> file;
  HRESULT hr = CFileCheckBytes::Open(path, &file);
  if (FAILED(hr)) return hr;
  return DetectFileTypeOf(*file, subtype, sourceFilter);
}

}  // namespace platform
