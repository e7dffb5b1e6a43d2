// Starting and joining platform threads from lambdas.
#pragma once

#include <win/platform.h>

#include <functional>
#include <vector>

namespace kerneltest {

inline DWORD WINAPI RunBody(LPVOID parameter) {
  auto* body = static_cast<std::function<DWORD()>*>(parameter);
  const DWORD result = (*body)();
  delete body;
  return result;
}

inline HANDLE StartThread(std::function<DWORD()> body) {
  auto* owned = new std::function<DWORD()>(std::move(body));
  HANDLE thread = CreateThread(nullptr, 0, RunBody, owned, 0, nullptr);
  if (thread == nullptr) {
    delete owned;
  }
  return thread;
}

// Waits for the thread, closes its handle and gives its exit code.
inline DWORD Join(HANDLE thread) {
  WaitForSingleObject(thread, INFINITE);
  DWORD exitCode = 0xDEADu;
  GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  return exitCode;
}

inline DWORD JoinOnce(std::function<DWORD()> body) { return Join(StartThread(std::move(body))); }

// Waits for any of the threads to end; closes it and takes it off the list.
inline void JoinAny(std::vector<HANDLE>& threads) {
  const DWORD which =
      WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), FALSE, INFINITE);
  const size_t index = which - WAIT_OBJECT_0;
  if (index >= threads.size()) {
    return;
  }
  CloseHandle(threads[index]);
  threads.erase(threads.begin() + static_cast<std::ptrdiff_t>(index));
}

inline void JoinAll(std::vector<HANDLE>& threads) {
  while (!threads.empty()) {
    JoinAny(threads);
  }
}

}  // namespace kerneltest
