#pragma once

#include "Platform.h"
#include "com/CTrackedObject.h"

// COM identity under aggregation. Every published interface of a derived
// object forwards QueryInterface/AddRef/Release to the outer unknown (use
// OuterQueryInterface/OuterAddRef/OuterRelease); the inner IUnknown, handed
// out for IID_IUnknown, controls the object's own reference count.
class CInnerUnknown : public CTrackedObject {
 public:
  // outer: the aggregating object's IUnknown, or null when not aggregated.
  CInnerUnknown(const char* objectName, IUnknown* outer);
  ~CInnerUnknown() override;

  virtual HRESULT InnerQueryInterface(REFIID riid, void** ppv);
  virtual ULONG InnerAddRef();
  virtual ULONG InnerRelease();

  // The non-delegating IUnknown of this object.
  IUnknown* InnerUnknown() { return &m_innerIdentity; }
  // The controlling unknown: the aggregator, or this object's inner IUnknown.
  IUnknown* OuterUnknown() const { return m_outerUnknown; }

 protected:
  HRESULT OuterQueryInterface(REFIID riid, void** ppv) {
    return m_outerUnknown->QueryInterface(riid, ppv);
  }
  ULONG OuterAddRef() { return m_outerUnknown->AddRef(); }
  ULONG OuterRelease() { return m_outerUnknown->Release(); }

 private:
  // A real IUnknown whose three slots reach the Inner operations, so that the
  // inner identity is an interface pointer like any other.
  class CInnerIdentity : public IUnknown {
   public:
    explicit CInnerIdentity(CInnerUnknown* owner) : m_owner(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      return m_owner->InnerQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->InnerAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->InnerRelease(); }

   private:
    CInnerUnknown* m_owner;  // not counted: the identity is part of its owner
  };

  CInnerIdentity m_innerIdentity;
  IUnknown* m_outerUnknown;  // not counted: the controlling unknown, never null
  LONG volatile m_referenceCount;
};

// Stores p in *ppv and AddRefs it through p's own table (for a published
// interface that reaches the outer unknown).
HRESULT HandOutInterface(IUnknown* p, void** ppv);
