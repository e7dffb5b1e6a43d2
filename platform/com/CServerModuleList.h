// The in-process servers the runtime loaded, each held by one LoadLibraryA
// reference until CoFreeUnusedLibraries finds it idle.
#pragma once

#include <win/com.h>

#include <cstddef>
#include <list>
#include <mutex>
#include <string>

namespace platform::com {

class CServerModuleList {
 public:
  // Lives until the process ends: servers stay loaded to the end, as on the platform.
  static CServerModuleList& Instance();

  // Loads the server at path (once) and asks its DllGetClassObject for the class object.
  HRESULT GetClassObject(const std::string& path, REFCLSID clsid, REFIID riid, void** ppv);

  // Unloads every server that is not in use and answers S_OK to DllCanUnloadNow.
  void FreeUnused();

  size_t Count() const;
  bool Holds(const std::string& path) const;

 private:
  struct Entry {
    std::string path;
    HMODULE module;                     // owned: one LoadLibraryA reference
    LPFNGETCLASSOBJECT getClassObject;  // borrowed from module
    LPFNCANUNLOADNOW canUnloadNow;      // borrowed from module; null: never unloaded
    int callsInProgress;                // DllGetClassObject calls running outside the lock
  };
  using EntryList = std::list<Entry>;

  HRESULT Acquire(const std::string& path, Entry** entry);
  HRESULT Load(const std::string& path, Entry** entry);
  void EndCall(Entry* entry);
  EntryList::iterator FindModuleLocked(HMODULE module);

  // Never held while a server's code runs, so a server may call back into
  // the runtime from any thread without deadlocking.
  mutable std::mutex m_lock;
  EntryList m_entries;        // guarded by m_lock; nodes keep their address
  size_t m_beingChecked = 0;  // entries taken out by FreeUnused; guarded by m_lock
};

}  // namespace platform::com
