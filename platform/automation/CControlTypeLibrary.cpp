#include "CControlTypeLibrary.h"

#include <new>

#include "MediaPositionMembers.h"

namespace platform::automation {

namespace {
std::atomic<LONG> g_liveLibraries{0};

HRESULT CopyText(const OLECHAR* text, BSTR* out) {
  if (out == nullptr) {
    return S_OK;
  }
  *out = nullptr;
  if (text == nullptr) {
    return S_OK;
  }
  *out = SysAllocString(text);
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Overwrites the caller's buffer with the stored spelling, as the platform does
// on a case-insensitive match; both spellings have the same length.
void TakeStoredSpelling(LPOLESTR buffer, const OLECHAR* stored) {
  for (; *stored != 0; ++buffer, ++stored) {
    *buffer = *stored;
  }
}
}  // namespace

CControlTypeLibrary* CControlTypeLibrary::Create() {
  return new (std::nothrow) CControlTypeLibrary;
}

LONG CControlTypeLibrary::LiveCount() { return g_liveLibraries.load(); }

CControlTypeLibrary::CControlTypeLibrary() : m_positionInfo(this) { ++g_liveLibraries; }

CControlTypeLibrary::~CControlTypeLibrary() { --g_liveLibraries; }

STDMETHODIMP CControlTypeLibrary::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_ITypeLib)) {
    *ppv = static_cast<ITypeLib*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CControlTypeLibrary::AddRef() { return static_cast<ULONG>(++m_references); }

STDMETHODIMP_(ULONG) CControlTypeLibrary::Release() {
  const LONG count = --m_references;
  if (count == 0) {
    delete this;
  }
  return static_cast<ULONG>(count);
}

STDMETHODIMP_(UINT) CControlTypeLibrary::GetTypeInfoCount() { return 1; }

STDMETHODIMP CControlTypeLibrary::GetTypeInfo(UINT index, ITypeInfo** info) {
  if (info == nullptr) {
    return E_INVALIDARG;
  }
  *info = nullptr;
  if (index != 0) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *info = &m_positionInfo;
  m_positionInfo.AddRef();
  return S_OK;
}

STDMETHODIMP CControlTypeLibrary::GetTypeInfoType(UINT index, TYPEKIND* kind) {
  if (kind == nullptr) {
    return E_INVALIDARG;
  }
  if (index != 0) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  *kind = TKIND_DISPATCH;
  return S_OK;
}

STDMETHODIMP CControlTypeLibrary::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) {
  if (info == nullptr) {
    return E_INVALIDARG;
  }
  *info = nullptr;
  if (!IsEqualGUID(guid, IID_IMediaPosition)) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  return GetTypeInfo(0, info);
}

STDMETHODIMP CControlTypeLibrary::GetLibAttr(TLIBATTR** attributes) {
  if (attributes == nullptr) {
    return E_INVALIDARG;
  }
  *attributes = new (std::nothrow) TLIBATTR{};
  if (*attributes == nullptr) {
    return E_OUTOFMEMORY;
  }
  (*attributes)->guid = LIBID_QuartzTypeLib;
  (*attributes)->lcid = LOCALE_NEUTRAL;
  (*attributes)->syskind = SYS_WIN32;
  (*attributes)->wMajorVerNum = 1;
  (*attributes)->wMinorVerNum = 0;
  (*attributes)->wLibFlags = LIBFLAG_FHASDISKIMAGE;
  return S_OK;
}

STDMETHODIMP CControlTypeLibrary::GetTypeComp(ITypeComp** typeComp) {
  if (typeComp == nullptr) {
    return E_INVALIDARG;
  }
  // The library binds the names of its members through its one interface.
  return m_positionInfo.GetTypeComp(typeComp);
}

STDMETHODIMP CControlTypeLibrary::GetDocumentation(INT index, BSTR* name, BSTR* docString,
                                                   DWORD* helpContext, BSTR* helpFile) {
  const OLECHAR* title = nullptr;
  const OLECHAR* text = nullptr;
  if (index == -1) {
    title = u"QuartzTypeLib";
    text = u"ActiveMovie control type library";
  } else if (index == 0) {
    title = kMediaPositionTypeName;
    text = u"Position and rate control of a filter graph";
  } else {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  if (helpContext != nullptr) {
    *helpContext = 0;
  }
  CopyText(nullptr, helpFile);
  CopyText(nullptr, docString);
  HRESULT hr = CopyText(title, name);
  if (SUCCEEDED(hr)) {
    hr = CopyText(text, docString);
  }
  if (FAILED(hr) && name != nullptr) {
    SysFreeString(*name);
    *name = nullptr;
  }
  return hr;
}

STDMETHODIMP CControlTypeLibrary::IsName(LPOLESTR nameBuffer, ULONG hash, BOOL* found) {
  if (nameBuffer == nullptr || found == nullptr) {
    return E_INVALIDARG;
  }
  *found = FALSE;
  const OLECHAR* stored = nullptr;
  if (SameName(kMediaPositionTypeName, nameBuffer)) {
    stored = kMediaPositionTypeName;
  } else if (const MediaPositionMember* member = FindMemberByName(nameBuffer)) {
    stored = member->name;
  }
  if (stored != nullptr) {
    TakeStoredSpelling(nameBuffer, stored);
    *found = TRUE;
  }
  return S_OK;
}

STDMETHODIMP CControlTypeLibrary::FindName(LPOLESTR nameBuffer, ULONG hash, ITypeInfo** infos,
                                           MEMBERID* ids, USHORT* count) {
  if (nameBuffer == nullptr || infos == nullptr || ids == nullptr || count == nullptr ||
      *count == 0) {
    return E_INVALIDARG;
  }
  // One type holds all names, and each name is there once: at most one match.
  const OLECHAR* stored = nullptr;
  MEMBERID id = MEMBERID_NIL;
  if (SameName(kMediaPositionTypeName, nameBuffer)) {
    stored = kMediaPositionTypeName;
  } else if (const MediaPositionMember* member = FindMemberByName(nameBuffer)) {
    stored = member->name;
    id = member->id;
  }
  if (stored == nullptr) {
    *count = 0;
    return S_OK;
  }
  TakeStoredSpelling(nameBuffer, stored);
  infos[0] = &m_positionInfo;
  m_positionInfo.AddRef();
  ids[0] = id;
  *count = 1;
  return S_OK;
}

STDMETHODIMP_(void) CControlTypeLibrary::ReleaseTLibAttr(TLIBATTR* attributes) {
  delete attributes;
}

}  // namespace platform::automation
