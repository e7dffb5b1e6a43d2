#include "CHandleTable.h"

#include <new>

namespace platform::kernel {

CHandleTable& CHandleTable::Instance() {
  // Never destroyed: detached threads may still close handles while the process exits.
  static CHandleTable* table = new CHandleTable;
  return *table;
}

HANDLE CHandleTable::InsertLocked(std::shared_ptr<CKernelObject> object) {
  const uintptr_t value = m_nextValue;
  try {
    m_objects.emplace(value, std::move(object));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  m_nextValue += 4;
  return reinterpret_cast<HANDLE>(value);
}

HANDLE CHandleTable::Insert(std::shared_ptr<CKernelObject> object) {
  std::lock_guard<std::mutex> lock(m_lock);
  return InsertLocked(std::move(object));
}

HANDLE CHandleTable::InsertNamed(const std::string& name, CKernelObject::Kind kind,
                                 const std::function<std::shared_ptr<CKernelObject>()>& create,
                                 bool* existed, bool* kindMismatch) {
  std::lock_guard<std::mutex> lock(m_lock);
  *existed = false;
  *kindMismatch = false;
  try {
    auto found = m_names.find(name);
    if (found != m_names.end()) {
      if (std::shared_ptr<CKernelObject> object = found->second.lock()) {
        if (object->kind() != kind) {
          *kindMismatch = true;
          return nullptr;
        }
        *existed = true;
        return InsertLocked(std::move(object));
      }
      m_names.erase(found);
    }
    std::shared_ptr<CKernelObject> object = create();
    m_names.emplace(name, object);
    HANDLE handle = InsertLocked(object);
    if (handle == nullptr) {
      m_names.erase(name);
    }
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::shared_ptr<CKernelObject> CHandleTable::Lookup(HANDLE handle) const {
  std::lock_guard<std::mutex> lock(m_lock);
  auto found = m_objects.find(reinterpret_cast<uintptr_t>(handle));
  if (found == m_objects.end()) {
    return nullptr;
  }
  return found->second;
}

bool CHandleTable::Close(HANDLE handle) {
  std::shared_ptr<CKernelObject> released;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    auto found = m_objects.find(reinterpret_cast<uintptr_t>(handle));
    if (found == m_objects.end()) {
      return false;
    }
    released = std::move(found->second);
    m_objects.erase(found);
  }
  // The object may die here, outside the table's lock.
  return true;
}

}  // namespace platform::kernel
