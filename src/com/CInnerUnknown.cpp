#include "com/CInnerUnknown.h"

namespace {
// The counts returned by AddRef/Release are informational; they never read
// below 1 while the object lives. They come from the interlocked result
// rather than a second plain read, which would race with other threads.
ULONG AtLeastOne(LONG count) {
  return static_cast<ULONG>(count) < 1 ? 1 : static_cast<ULONG>(count);
}
}  // namespace

CInnerUnknown::CInnerUnknown(const char* objectName, IUnknown* outer)
    : CTrackedObject(objectName),
      m_innerIdentity(this),
      m_outerUnknown(outer != nullptr ? outer : &m_innerIdentity),
      m_referenceCount(0) {}

CInnerUnknown::~CInnerUnknown() = default;

HRESULT CInnerUnknown::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IUnknown)) {
    return HandOutInterface(&m_innerIdentity, ppv);
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CInnerUnknown::InnerAddRef() { return AtLeastOne(InterlockedIncrement(&m_referenceCount)); }

ULONG CInnerUnknown::InnerRelease() {
  const LONG count = InterlockedDecrement(&m_referenceCount);
  if (count == 0) {
    // The count of 1 keeps reference traffic caused by the destructor from
    // reaching 0 a second time.
    m_referenceCount = 1;
    delete this;
    return 0;
  }
  return AtLeastOne(count);
}

HRESULT HandOutInterface(IUnknown* p, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (p == nullptr) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  *ppv = p;
  p->AddRef();
  return S_OK;
}
