#include "CCheckBytes.h"

#include <new>

namespace platform {

namespace {

// Far beyond any file, yet an offset plus a length can never overflow.
constexpr LONGLONG kFarthestOffset = LONGLONG{1} << 60;

std::string_view Trim(std::string_view field) {
  while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  return field;
}

bool ParseDecimal(std::string_view field, LONGLONG limit, LONGLONG* value) {
  if (field.empty()) return false;
  LONGLONG result = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    const int digit = c - '0';
    if (result > (limit - digit) / 10) return false;
    result = result * 10 + digit;
  }
  *value = result;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseHex(std::string_view field, ULONG length, std::vector<BYTE>* out) {
  if (field.size() != size_t{length} * 2) return false;
  out->resize(length);
  for (ULONG i = 0; i < length; ++i) {
    int high = HexDigit(field[2 * i]);
    int low = HexDigit(field[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    (*out)[i] = static_cast<BYTE>(high << 4 | low);
  }
  return true;
}

}  // namespace

bool CCheckBytes::ParseGroup(const std::string_view* fields, Group* group) {
  std::string_view offset = Trim(fields[0]);
  bool fromEnd = !offset.empty() && offset.front() == '-';
  if (fromEnd) offset.remove_prefix(1);
  LONGLONG position = 0;
  if (!ParseDecimal(offset, kFarthestOffset, &position)) return false;
  // "-0" would name the byte after the last one: nothing can match there.
  if (fromEnd && position == 0) return false;
  group->offset = fromEnd ? -position : position;

  LONGLONG length = 0;
  if (!ParseDecimal(Trim(fields[1]), kLongestGroup, &length) || length == 0) return false;
  group->length = static_cast<ULONG>(length);

  std::string_view mask = Trim(fields[2]);
  if (mask.empty()) {
    group->mask.assign(group->length, 0xFF);
  } else if (!ParseHex(mask, group->length, &group->mask)) {
    return false;
  }
  return ParseHex(Trim(fields[3]), group->length, &group->bytes);
}

HRESULT CCheckBytes::Parse(std::string_view text, CCheckBytes* out) {
  if (!out) return E_POINTER;
  out->m_groups.clear();
  std::vector<std::string_view> fields;
  try {
    size_t start = 0;
    for (;;) {
      size_t comma = text.find(',', start);
      fields.push_back(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (fields.size() % 4 != 0) return E_INVALIDARG;
    std::vector<Group> groups(fields.size() / 4);
    for (size_t i = 0; i < groups.size(); ++i) {
      if (!ParseGroup(&fields[4 * i], &groups[i])) return E_INVALIDARG;
    }
    out->m_groups = std::move(groups);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CCheckBytes::MatchGroup(const Group& group, const CheckByteSource& file,
                                std::vector<BYTE>* buffer) const {
  LONGLONG size = file.Size();
  LONGLONG position = group.offset >= 0 ? group.offset : size + group.offset;
  if (position < 0 || position > size - LONGLONG{group.length}) return S_FALSE;
  buffer->resize(group.length);
  HRESULT hr = file.Read(position, group.length, buffer->data());
  if (hr != S_OK) return hr;
  // The platform masks the file's bytes only: value bits outside the mask never match.
  for (ULONG i = 0; i < group.length; ++i) {
    if (((*buffer)[i] & group.mask[i]) != group.bytes[i]) return S_FALSE;
  }
  return S_OK;
}

HRESULT CCheckBytes::Match(const CheckByteSource& file) const {
  if (m_groups.empty()) return S_FALSE;
  std::vector<BYTE> buffer;
  try {
    buffer.reserve(kLongestGroup);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (const Group& group : m_groups) {
    HRESULT hr = MatchGroup(group, file, &buffer);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

}  // namespace platform
