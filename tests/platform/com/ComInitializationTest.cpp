#include <gtest/gtest.h>

#include <thread>

#include "ComTestSupport.h"

using comtest::CBuiltinTestObject;

namespace {

PLATFORM_GUID(kBuiltinClass, 0x5D1E0A10, 0x4C2B, 0x4F3A, 0x8E, 0x61, 0x27, 0x9B, 0x0C, 0xD4, 0xE5,
              0xF6);

// Each case runs on a thread of its own, so no other test's apartment leaks in.
template <typename Body>
void OnFreshThread(Body body) {
  std::thread thread(body);
  thread.join();
}

HRESULT CreateBuiltin(IUnknown** object) {
  *object = nullptr;
  return CoCreateInstance(kBuiltinClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                          reinterpret_cast<void**>(object));
}

class ComInitializationTest : public ::testing::Test {
 protected:
  comtest::ScopedBuiltinClass builtin_{kBuiltinClass, &CBuiltinTestObject::Create};
};

}  // namespace

TEST_F(ComInitializationTest, CountsInitialisationsPerThread) {
  OnFreshThread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    IUnknown* object = nullptr;
    EXPECT_EQ(CreateBuiltin(&object), S_OK);  // one initialisation still open
    object->Release();
    CoUninitialize();
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);  // counting starts over
    CoUninitialize();
  });
}

TEST_F(ComInitializationTest, AnotherThreadsInitialisationDoesNotCount) {
  OnFreshThread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    OnFreshThread([] {
      EXPECT_EQ(CoInitialize(nullptr), S_OK);
      CoUninitialize();
    });
    CoUninitialize();
  });
}

TEST_F(ComInitializationTest, RefusesAChangeOfApartmentWithoutCountingIt) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
    CoUninitialize();
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
  });
}

TEST_F(ComInitializationTest, RefusesAReservedArgument) {
  OnFreshThread([] {
    int reserved = 0;
    EXPECT_EQ(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    CoUninitialize();  // harmless on an uninitialised thread
    IUnknown* object = nullptr;
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
  });
}

TEST_F(ComInitializationTest, UninitialisedThreadCannotCreateOrGetClassObjects) {
  OnFreshThread([] {
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<IUnknown*>(0x1);
    EXPECT_EQ(CoGetClassObject(kBuiltinClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);
  });
}

TEST_F(ComInitializationTest, UninitialisedThreadJoinsAnExistingMultithreadedApartment) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    OnFreshThread([] {
      IUnknown* object = nullptr;
      EXPECT_EQ(CreateBuiltin(&object), S_OK);
      if (object != nullptr) object->Release();
    });
    CoUninitialize();
  });
  OnFreshThread([] {
    IUnknown* object = nullptr;
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);  // that apartment has closed
  });
}

TEST_F(ComInitializationTest, SingleThreadedApartmentsAreNotJoinedImplicitly) {
  OnFreshThread([] {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    OnFreshThread([] {
      IUnknown* object = nullptr;
      EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
    });
    CoUninitialize();
  });
}

TEST_F(ComInitializationTest, AThreadEndingInsideItsApartmentClosesIt) {
  OnFreshThread([] { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK); });
  OnFreshThread([] {
    IUnknown* object = nullptr;
    EXPECT_EQ(CreateBuiltin(&object), CO_E_NOTINITIALIZED);
  });
}
