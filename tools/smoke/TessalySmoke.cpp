// tessaly-smoke [module-path]: loads a filter module the way a host does,
// asks it for the filter's class factory, and reports every step honestly.
// Exit status 0 when the module behaved as its own answers claim.
#include <win/platform.h>

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

PLATFORM_GUID(kFilterClass, 0x6B1E4F20, 0xD3A7, 0x11D1, 0x8C, 0x52, 0x00, 0xA0, 0xC9, 0x3B, 0x7E,
              0x14);

// Exports come back as FARPROC; void (*)() is the neutral type between the two.
template <typename Function>
Function ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const char* ResultName(HRESULT hr) {
  switch (hr) {
    case S_OK:
      return "S_OK";
    case S_FALSE:
      return "S_FALSE";
    case E_NOTIMPL:
      return "E_NOTIMPL";
    case E_NOINTERFACE:
      return "E_NOINTERFACE";
    case E_POINTER:
      return "E_POINTER";
    case E_FAIL:
      return "E_FAIL";
    case E_UNEXPECTED:
      return "E_UNEXPECTED";
    case E_OUTOFMEMORY:
      return "E_OUTOFMEMORY";
    case E_INVALIDARG:
      return "E_INVALIDARG";
    case CLASS_E_NOAGGREGATION:
      return "CLASS_E_NOAGGREGATION";
    case CLASS_E_CLASSNOTAVAILABLE:
      return "CLASS_E_CLASSNOTAVAILABLE";
    case REGDB_E_CLASSNOTREG:
      return "REGDB_E_CLASSNOTREG";
    case CO_E_NOTINITIALIZED:
      return "CO_E_NOTINITIALIZED";
    default:
      return FAILED(hr) ? "failure" : "success";
  }
}

void Report(const char* step, HRESULT hr) {
  std::printf("%s: %s (0x%08X)\n", step, ResultName(hr), static_cast<unsigned>(hr));
}

std::string GuidText(REFGUID guid) {
  OLECHAR wide[39];
  if (StringFromGUID2(guid, wide, 39) != 39) return "{?}";
  std::string text;
  for (int i = 0; wide[i] != 0; ++i) text.push_back(static_cast<char>(wide[i]));
  return text;
}

// tessaly.ax beside this program, else where the build tree puts it.
std::string DefaultModulePath() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  if (length <= 0) return "tessaly.ax";
  const std::string program(self, static_cast<size_t>(length));
  const size_t slash = program.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : program.substr(0, slash);
  const std::string beside = directory + "/tessaly.ax";
  const std::string inBuildTree = directory + "/../src/tessaly.ax";
  return access(beside.c_str(), F_OK) != 0 && access(inBuildTree.c_str(), F_OK) == 0 ? inBuildTree
                                                                                     : beside;
}

class CSmokeRun {
 public:
  explicit CSmokeRun(HMODULE module) : m_module(module) {}

  // Returns the number of answers that contradict each other.
  int Run() {
    auto getClassObject = ExportOf<LPFNGETCLASSOBJECT>(m_module, "DllGetClassObject");
    auto canUnloadNow = ExportOf<LPFNCANUNLOADNOW>(m_module, "DllCanUnloadNow");
    if (getClassObject == nullptr || canUnloadNow == nullptr) {
      std::printf("exports: DllGetClassObject %s, DllCanUnloadNow %s\n",
                  getClassObject ? "present" : "MISSING", canUnloadNow ? "present" : "MISSING");
      return 1;
    }
    std::printf("exports: DllGetClassObject and DllCanUnloadNow present\n");

    // A module must overwrite the out pointer whatever it answers.
    IClassFactory* factory = reinterpret_cast<IClassFactory*>(uintptr_t{1});
    const HRESULT hr =
        getClassObject(kFilterClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    Report(("class factory for " + GuidText(kFilterClass)).c_str(), hr);
    if (FAILED(hr)) {
      Expect(factory == nullptr, "a refused class factory request left the out pointer set");
    } else if (factory == nullptr) {
      Expect(false, "the class factory request succeeded without a factory");
    } else {
      ExerciseFactory(factory, canUnloadNow);
    }

    const HRESULT unload = canUnloadNow();
    Report("unload check with nothing alive", unload);
    Expect(unload == S_OK, "the module refuses to unload although nothing of it is alive");
    return m_contradictions;
  }

 private:
  void ExerciseFactory(IClassFactory* factory, LPFNCANUNLOADNOW canUnloadNow) {
    HRESULT hr = canUnloadNow();
    Report("unload check while the factory lives", hr);
    Expect(hr == S_FALSE, "the module would unload under a living class factory");

    IUnknown* filter = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter));
    Report("filter instance (IBaseFilter)", hr);
    Expect(SUCCEEDED(hr) == (filter != nullptr), "the filter result and out pointer disagree");
    if (filter != nullptr) {
      std::printf("filter released: reference count now %u\n",
                  static_cast<unsigned>(filter->Release()));
    }
    std::printf("class factory released: reference count now %u\n",
                static_cast<unsigned>(factory->Release()));
  }

  void Expect(bool condition, const char* contradiction) {
    if (!condition) {
      std::printf("contradiction: %s\n", contradiction);
      ++m_contradictions;
    }
  }

  HMODULE m_module;  // borrowed: main frees it
  int m_contradictions = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [module-path]\n", argv[0]);
    return 2;
  }
  const std::string path = argc == 2 ? argv[1] : DefaultModulePath();

  Report("COM initialised", CoInitialize(nullptr));
  if (access(path.c_str(), R_OK) != 0) {
    std::printf("module: %s not found\n", path.c_str());
    CoUninitialize();
    return 1;
  }
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    std::printf("module: %s could not be loaded (error %u)\n", path.c_str(),
                static_cast<unsigned>(GetLastError()));
    CoUninitialize();
    return 1;
  }
  std::printf("module loaded: %s\n", path.c_str());

  const int contradictions = CSmokeRun(module).Run();

  std::printf("module freed: %s\n", FreeLibrary(module) ? "yes" : "NO");
  CoUninitialize();
  std::printf("%s\n", contradictions == 0 ? "smoke run passed" : "smoke run FAILED");
  return contradictions == 0 ? 0 : 1;
}
