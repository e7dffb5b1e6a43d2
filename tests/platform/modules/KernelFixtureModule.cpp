// A module for the loader's tests: its DllMain counts what the loader tells it,
// and can be told to refuse the attach. Tests read and set the exported
// variables through a dlopen reference of their own, which keeps them alive
// across the loader's unloads.
#include <win/platform.h>

#include <cstring>

#define FIXTURE_EXPORT extern "C" __attribute__((visibility("default")))
#define FIXTURE_DATA __attribute__((visibility("default")))

extern "C" {
FIXTURE_DATA LONG KernelFixtureAttachCount = 0;
FIXTURE_DATA LONG KernelFixtureDetachCount = 0;
FIXTURE_DATA BOOL KernelFixtureFailAttach = FALSE;
FIXTURE_DATA HINSTANCE KernelFixtureInstance = nullptr;
// What the module could learn about itself from inside its attach.
FIXTURE_DATA char KernelFixtureFileNameAtAttach[MAX_PATH] = {};
FIXTURE_DATA BOOL KernelFixtureDisableResult = FALSE;
}

FIXTURE_EXPORT INT_PTR KernelFixtureAnswer() { return 42; }

FIXTURE_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ++KernelFixtureAttachCount;
    KernelFixtureInstance = instance;
    KernelFixtureDisableResult = DisableThreadLibraryCalls(instance);
    if (GetModuleFileNameA(instance, KernelFixtureFileNameAtAttach, MAX_PATH) == 0) {
      KernelFixtureFileNameAtAttach[0] = '\0';
    }
    return KernelFixtureFailAttach ? FALSE : TRUE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    ++KernelFixtureDetachCount;
  }
  return TRUE;
}
