#include "CServerModuleList.h"

#include <vector>

namespace platform::com {
namespace {

// Exports come back as FARPROC; void (*)() is the neutral type between the two.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

CServerModuleList& CServerModuleList::Instance() {
  // Deliberately never destroyed: unloading servers during static destruction
  // would run their detach code against half-destroyed globals.
  static CServerModuleList* const list = new CServerModuleList;
  return *list;
}

HRESULT CServerModuleList::GetClassObject(const std::string& path, REFCLSID clsid, REFIID riid,
                                          void** ppv) {
  Entry* entry = nullptr;
  HRESULT hr = Acquire(path, &entry);
  if (FAILED(hr)) {
    return hr;
  }
  hr = entry->getClassObject(clsid, riid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
  }
  EndCall(entry);
  return hr;
}

// Finds or loads the server and marks a call in progress, which keeps
// FreeUnused away from it until EndCall.
HRESULT CServerModuleList::Acquire(const std::string& path, Entry** entry) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    for (Entry& candidate : m_entries) {
      if (candidate.path == path) {
        ++candidate.callsInProgress;
        *entry = &candidate;
        return S_OK;
      }
    }
  }
  return Load(path, entry);
}

HRESULT CServerModuleList::Load(const std::string& path, Entry** entry) {
  // Loading runs the server's DllMain, so it happens outside the lock.
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    return CO_E_DLLNOTFOUND;
  }
  auto getClassObject = ExportOf<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
  if (getClassObject == nullptr) {
    FreeLibrary(module);
    return CO_E_ERRORINDLL;
  }
  auto canUnloadNow = ExportOf<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");

  bool duplicate = false;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    // Another thread, or another spelling of the path, may have loaded the same module meanwhile.
    auto existing = FindModuleLocked(module);
    if (existing != m_entries.end()) {
      duplicate = true;
      ++existing->callsInProgress;
      *entry = &*existing;
    } else {
      m_entries.push_back(Entry{path, module, getClassObject, canUnloadNow, 1});
      *entry = &m_entries.back();
    }
  }
  if (duplicate) {
    FreeLibrary(module);  // the entry found keeps its own reference
  }
  return S_OK;
}

void CServerModuleList::EndCall(Entry* entry) {
  std::lock_guard<std::mutex> guard(m_lock);
  --entry->callsInProgress;
}

CServerModuleList::EntryList::iterator CServerModuleList::FindModuleLocked(HMODULE module) {
  for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
    if (it->module == module) {
      return it;
    }
  }
  return m_entries.end();
}

void CServerModuleList::FreeUnused() {
  // Idle servers leave the list while they are asked, so that no lock is held
  // while their code runs; a concurrent CoCreateInstance then loads its own
  // reference, which keeps the module mapped whatever this pass decides.
  EntryList idle;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
      auto next = std::next(it);
      if (it->callsInProgress == 0) {
        idle.splice(idle.end(), m_entries, it);
      }
      it = next;
    }
    m_beingChecked += idle.size();
  }

  EntryList keep;
  std::vector<HMODULE> toFree;
  for (auto it = idle.begin(); it != idle.end();) {
    auto next = std::next(it);
    if (it->canUnloadNow != nullptr && it->canUnloadNow() == S_OK) {
      toFree.push_back(it->module);
    } else {
      keep.splice(keep.end(), idle, it);
    }
    it = next;
  }
  const size_t checked = toFree.size() + keep.size();
  for (HMODULE module : toFree) {
    FreeLibrary(module);
  }

  std::vector<HMODULE> duplicates;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = keep.begin(); it != keep.end();) {
      auto next = std::next(it);
      if (FindModuleLocked(it->module) != m_entries.end()) {
        duplicates.push_back(it->module);
      } else {
        m_entries.splice(m_entries.end(), keep, it);
      }
      it = next;
    }
    m_beingChecked -= checked;
  }
  for (HMODULE module : duplicates) {
    FreeLibrary(module);  // an entry loaded meanwhile holds the module already
  }
}

size_t CServerModuleList::Count() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_entries.size() + m_beingChecked;
}

bool CServerModuleList::Holds(const std::string& path) const {
  std::lock_guard<std::mutex> guard(m_lock);
  for (const Entry& entry : m_entries) {
    if (entry.path == path) {
      return true;
    }
  }
  return false;
}

}  // namespace platform::com
