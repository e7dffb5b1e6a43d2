// The class factory CoGetClassObject hands out for a built-in class.
#pragma once

#include <platform/BuiltinClasses.h>

#include <atomic>

namespace platform::com {

class CBuiltinClassFactory final : public IClassFactory {
 public:
  // Returns the new factory's interface riid in *ppv (reference count 1).
  static HRESULT Create(BuiltinClassFactory create, REFIID riid, void** ppv);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  explicit CBuiltinClassFactory(BuiltinClassFactory create) : m_create(create) {}
  ~CBuiltinClassFactory() = default;

  BuiltinClassFactory m_create;
  std::atomic<ULONG> m_references{0};
};

}  // namespace platform::com
