// The classes the platform creates itself, looked up before the registry.
#pragma once

#include <platform/BuiltinClasses.h>

#include <mutex>
#include <vector>

namespace platform::com {

class CBuiltinClassTable {
 public:
  // Lives until the process ends, so static objects may register and create
  // at any point of start-up and shut-down.
  static CBuiltinClassTable& Instance();

  void Register(REFCLSID clsid, BuiltinClassFactory create);
  void Unregister(REFCLSID clsid);
  // The creator of the class, or null when the platform does not serve it.
  BuiltinClassFactory Find(REFCLSID clsid) const;

 private:
  struct Entry {
    CLSID clsid;
    BuiltinClassFactory create;
  };

  mutable std::mutex m_lock;
  std::vector<Entry> m_entries;  // guarded by m_lock
};

}  // namespace platform::com
