// Events, semaphores, waits and handles.
#include <win/kernel.h>

#include <new>

#include "CEventObject.h"
#include "CHandleTable.h"
#include "CSemaphoreObject.h"

using platform::kernel::CEventObject;
using platform::kernel::CHandleTable;
using platform::kernel::CKernelObject;
using platform::kernel::CSemaphoreObject;

namespace {

template <typename Object>
std::shared_ptr<Object> LookupAs(HANDLE handle, CKernelObject::Kind kind) {
  std::shared_ptr<CKernelObject> object = CHandleTable::Instance().Lookup(handle);
  if (object == nullptr || object->kind() != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<Object>(object);
}

// Creates an anonymous object, or opens the named one when the name is taken.
HANDLE CreateObject(LPCSTR name, CKernelObject::Kind kind,
                    const std::function<std::shared_ptr<CKernelObject>()>& create) {
  CHandleTable& table = CHandleTable::Instance();
  HANDLE handle = nullptr;
  bool existed = false;
  bool kindMismatch = false;
  try {
    if (name == nullptr || *name == '\0') {
      handle = table.Insert(create());
    } else {
      handle = table.InsertNamed(name, kind, create, &existed, &kindMismatch);
    }
  } catch (const std::bad_alloc&) {
    handle = nullptr;
  }
  if (handle == nullptr) {
    SetLastError(kindMismatch ? ERROR_INVALID_HANDLE : ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

}  // namespace

PLATFORM_API HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset,
                                        BOOL initialState, LPCSTR name) {
  return CreateObject(name, CKernelObject::Kind::Event, [&] {
    return std::make_shared<CEventObject>(manualReset != FALSE, initialState != FALSE);
  });
}

PLATFORM_API BOOL WINAPI SetEvent(HANDLE event) {
  auto object = LookupAs<CEventObject>(event, CKernelObject::Kind::Event);
  if (object == nullptr) {
    return FALSE;
  }
  object->Set();
  return TRUE;
}

PLATFORM_API BOOL WINAPI ResetEvent(HANDLE event) {
  auto object = LookupAs<CEventObject>(event, CKernelObject::Kind::Event);
  if (object == nullptr) {
    return FALSE;
  }
  object->Reset();
  return TRUE;
}

PLATFORM_API HANDLE WINAPI CreateSemaphoreA(LPSECURITY_ATTRIBUTES attributes, LONG initialCount,
                                            LONG maximumCount, LPCSTR name) {
  if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateObject(name, CKernelObject::Kind::Semaphore, [&] {
    return std::make_shared<CSemaphoreObject>(initialCount, maximumCount);
  });
}

PLATFORM_API BOOL WINAPI ReleaseSemaphore(HANDLE semaphore, LONG releaseCount,
                                          LPLONG previousCount) {
  auto object = LookupAs<CSemaphoreObject>(semaphore, CKernelObject::Kind::Semaphore);
  if (object == nullptr) {
    return FALSE;
  }
  if (releaseCount <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!object->Release(releaseCount, previousCount)) {
    SetLastError(ERROR_TOO_MANY_POSTS);
    return FALSE;
  }
  return TRUE;
}

PLATFORM_API DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

PLATFORM_API DWORD WINAPI WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                                 DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<CKernelObject>> objects;
  try {
    objects.reserve(count);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return WAIT_FAILED;
  }
  for (DWORD index = 0; index < count; ++index) {
    std::shared_ptr<CKernelObject> object = CHandleTable::Instance().Lookup(handles[index]);
    if (object == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    // Waiting for all of one object twice could never be satisfied sensibly.
    if (waitAll) {
      for (const auto& earlier : objects) {
        if (earlier == object) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return WAIT_FAILED;
        }
      }
    }
    objects.push_back(std::move(object));
  }
  return platform::kernel::WaitForObjects(objects, waitAll != FALSE, milliseconds);
}

PLATFORM_API BOOL WINAPI CloseHandle(HANDLE handle) {
  if (!CHandleTable::Instance().Close(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
