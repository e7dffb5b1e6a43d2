#include "com/WideString.h"

#include <cstring>

namespace {
const WCHAR kEmpty[1] = {0};

const WCHAR* OrEmpty(const WCHAR* text) { return text != nullptr ? text : kEmpty; }
}  // namespace

WCHAR* WideCopy(WCHAR* target, const WCHAR* source) {
  if (target == nullptr) {
    return nullptr;
  }
  source = OrEmpty(source);
  int i = 0;
  while ((target[i] = source[i]) != 0) {
    ++i;
  }
  return target;
}

WCHAR* WideCopyBounded(WCHAR* target, const WCHAR* source, int capacity) {
  if (target == nullptr || capacity <= 0) {
    return target;
  }
  source = OrEmpty(source);
  int i = 0;
  for (; i < capacity - 1 && source[i] != 0; ++i) {
    target[i] = source[i];
  }
  target[i] = 0;
  return target;
}

int WideCompare(const WCHAR* a, const WCHAR* b) {
  a = OrEmpty(a);
  b = OrEmpty(b);
  int i = 0;
  while (a[i] != 0 && a[i] == b[i]) {
    ++i;
  }
  return static_cast<int>(static_cast<USHORT>(a[i])) - static_cast<int>(static_cast<USHORT>(b[i]));
}

int WideLength(const WCHAR* text) {
  text = OrEmpty(text);
  int length = 0;
  while (text[length] != 0) {
    ++length;
  }
  return length;
}

HRESULT WideDuplicate(const WCHAR* source, WCHAR** copy) {
  if (copy == nullptr) {
    return E_POINTER;
  }
  source = OrEmpty(source);
  const SIZE_T bytes = (static_cast<SIZE_T>(WideLength(source)) + 1) * sizeof(WCHAR);
  *copy = static_cast<WCHAR*>(CoTaskMemAlloc(bytes));
  if (*copy == nullptr) {
    return E_OUTOFMEMORY;
  }
  std::memcpy(*copy, source, bytes);
  return S_OK;
}
