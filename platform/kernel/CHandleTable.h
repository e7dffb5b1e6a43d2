// The process's handles to kernel objects. Handle values are never reused, so a
// stale handle fails cleanly instead of reaching some newer object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "CKernelObject.h"

namespace platform::kernel {

class CHandleTable {
 public:
  static CHandleTable& Instance();

  // Null when memory runs out.
  HANDLE Insert(std::shared_ptr<CKernelObject> object);
  // A named object is shared by everyone who creates it by that name; `existed`
  // tells the caller it got the earlier object. Null with `kindMismatch` set
  // when the name belongs to an object of another kind.
  HANDLE InsertNamed(const std::string& name, CKernelObject::Kind kind,
                     const std::function<std::shared_ptr<CKernelObject>()>& create, bool* existed,
                     bool* kindMismatch);
  std::shared_ptr<CKernelObject> Lookup(HANDLE handle) const;
  // Drops the handle's reference; false for a handle that is not open.
  bool Close(HANDLE handle);

 private:
  HANDLE InsertLocked(std::shared_ptr<CKernelObject> object);

  mutable std::mutex m_lock;
  std::unordered_map<uintptr_t, std::shared_ptr<CKernelObject>> m_objects;  // counted
  std::unordered_map<std::string, std::weak_ptr<CKernelObject>> m_names;    // not counted
  uintptr_t m_nextValue = 0x100;
};

}  // namespace platform::kernel
