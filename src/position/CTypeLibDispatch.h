#pragma once

#include <atomic>

#include "Platform.h"

// IDispatch support for an automation-capable interface: the platform's
// control type library, loaded on first use, gives the type information of
// one interface, which is kept for the life of the owner.
class CTypeLibDispatch {
 public:
  CTypeLibDispatch() = default;
  ~CTypeLibDispatch();

  CTypeLibDispatch(const CTypeLibDispatch&) = delete;
  CTypeLibDispatch& operator=(const CTypeLibDispatch&) = delete;

  HRESULT TypeInfoCount(UINT* count);
  HRESULT TypeInfo(REFIID iid, UINT index, LCID lcid, ITypeInfo** info);
  HRESULT IdsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);

 private:
  HRESULT LoadTypeInfo(REFIID iid, LCID lcid, ITypeInfo** loaded);

  // counted; null until first use. Published with a compare-exchange, so two
  // threads filling it at once keep one and release the other.
  std::atomic<ITypeInfo*> m_typeInfo{nullptr};
};
