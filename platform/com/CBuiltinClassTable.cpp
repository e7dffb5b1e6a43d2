#include "CBuiltinClassTable.h"

#include <algorithm>

namespace platform::com {

CBuiltinClassTable& CBuiltinClassTable::Instance() {
  // Deliberately never destroyed: creators may run from other static destructors.
  static CBuiltinClassTable* const table = new CBuiltinClassTable;
  return *table;
}

void CBuiltinClassTable::Register(REFCLSID clsid, BuiltinClassFactory create) {
  std::lock_guard<std::mutex> guard(m_lock);
  for (Entry& entry : m_entries) {
    if (IsEqualCLSID(entry.clsid, clsid)) {
      entry.create = create;
      return;
    }
  }
  m_entries.push_back(Entry{clsid, create});
}

void CBuiltinClassTable::Unregister(REFCLSID clsid) {
  std::lock_guard<std::mutex> guard(m_lock);
  std::erase_if(m_entries, [&](const Entry& entry) { return IsEqualCLSID(entry.clsid, clsid); });
}

BuiltinClassFactory CBuiltinClassTable::Find(REFCLSID clsid) const {
  std::lock_guard<std::mutex> guard(m_lock);
  for (const Entry& entry : m_entries) {
    if (IsEqualCLSID(entry.clsid, clsid)) {
      return entry.create;
    }
  }
  return nullptr;
}

}  // namespace platform::com

namespace platform {

void RegisterBuiltinClass(REFCLSID clsid, BuiltinClassFactory create) {
  if (create == nullptr) {
    com::CBuiltinClassTable::Instance().Unregister(clsid);
    return;
  }
  com::CBuiltinClassTable::Instance().Register(clsid, create);
}

void UnregisterBuiltinClass(REFCLSID clsid) {
  com::CBuiltinClassTable::Instance().Unregister(clsid);
}

BuiltinClassFactory FindBuiltinClass(REFCLSID clsid) {
  return com::CBuiltinClassTable::Instance().Find(clsid);
}

}  // namespace platform
