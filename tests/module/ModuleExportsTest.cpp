#include <gtest/gtest.h>

#include <dlfcn.h>

#include "Platform.h"

// The module is reached the way a host reaches it: through its exported
// entry points in the built shared object.
class ModuleExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen(TESSALY_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_ != nullptr) dlclose(handle_);
  }
  template <typename F>
  F Export(const char* name) {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void* handle_ = nullptr;
};

TEST_F(ModuleExportsTest, ExportsTheFiveEntryPointsWithCLinkage) {
  for (const char* name : {"DllMain", "DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer",
                           "DllUnregisterServer"}) {
    EXPECT_NE(dlsym(handle_, name), nullptr) << name;
  }
}

TEST_F(ModuleExportsTest, ExportsNothingElse) {
  // Internal classes stay hidden so that two modules never bind to each other.
  EXPECT_EQ(dlsym(handle_, "g_moduleInstance"), nullptr);
}
