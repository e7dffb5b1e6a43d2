#pragma once

#include <atomic>

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CInnerUnknown.h"
#include "com/CMediaTypeRecord.h"

class CFilterBase;

// The common base of every pin: identity (its reference counts go to the
// owning filter), IPin and IQualityControl, and the connection protocol.
// What differs between pins is left to the hooks after TypeVersion.
class CPinBase : public CInnerUnknown, public IPin, public IQualityControl {
 public:
  // result is never written here; it is part of the derived pins' contract.
  CPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock, HRESULT* result,
           LPCWSTR pinName, PIN_DIRECTION direction);
  ~CPinBase() override;

  HRESULT InnerQueryInterface(REFIID riid, void** ppv) override;
  ULONG InnerAddRef() override;
  ULONG InnerRelease() override;

  virtual LONG TypeVersion();
  virtual HRESULT Activate();
  virtual HRESULT Deactivate() = 0;
  virtual HRESULT RunAt(REFERENCE_TIME start);
  // S_OK accepts; S_FALSE or any error refuses.
  virtual HRESULT TestMediaType(const CMediaTypeRecord* type) = 0;
  virtual HRESULT AdoptMediaType(const CMediaTypeRecord* type);
  virtual HRESULT PreparePeer(IPin* other);
  virtual HRESULT ReleasePeer();
  virtual HRESULT FinishConnection(IPin* peer) = 0;
  // S_OK with out filled for each index the pin offers a type at.
  virtual HRESULT OfferedMediaType(int index, CMediaTypeRecord* out);

  // IUnknown, shared by every published interface of the pin.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return OuterQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return OuterAddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return OuterRelease(); }

  // IPin; EndOfStream, BeginFlush and EndFlush depend on the direction.
  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** enumerator) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // IQualityControl; Notify depends on the direction.
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  // Null when the pin has no name.
  const WCHAR* PinName() const { return m_pinName; }
  bool IsConnected() const { return static_cast<bool>(m_peer); }
  CFilterBase* Owner() const { return m_owner; }

 protected:
  HRESULT NegotiateMediaType(IPin* receiver, const CMediaTypeRecord* type);
  HRESULT TryTypeList(IPin* receiver, const CMediaTypeRecord* pattern, IEnumMediaTypes* enumerator);
  HRESULT TryConnectWith(IPin* receiver, const CMediaTypeRecord* type);
  // A filter that is not stopped, or a pin without an owner, cannot change
  // its connections.
  bool OwnerIsStopped() const;
  // The owner's state lock, which a connection change holds before the pin's
  // lock; null when the owner has none.
  CRITICAL_SECTION* OwnerStateLock() const;

  WCHAR* m_pinName;         // owned
  CComHolder<IPin> m_peer;  // counted
  CMediaTypeRecord m_connectionType;
  PIN_DIRECTION m_direction;
  CRITICAL_SECTION* m_lock;  // not owned: the filter's lock
  std::atomic<BOOL> m_runtimeError;
  CFilterBase* m_owner;            // not counted: the filter owns the pin
  IQualityControl* m_qualitySink;  // not counted
  LONG m_typeVersion;
  REFERENCE_TIME m_segmentStart;
  REFERENCE_TIME m_segmentStop;
  double m_segmentRate;
};
