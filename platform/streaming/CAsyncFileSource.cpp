#include "CAsyncFileSource.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "../kernel/Utf.h"
#include "CPositionedFile.h"
#include "CSourcePinEnumerator.h"
#include "MediaTypeCopy.h"
#include "NewObject.h"

namespace platform {

namespace {

constexpr DWORD kErrorInvalidName = 123;

// The platform's paths are UTF-16; Linux opens UTF-8. A lone surrogate has no
// UTF-8 form, so such a name cannot name any file here.
HRESULT PathToUtf8(LPCOLESTR wide, std::string* out) {
  size_t length = std::char_traits<char16_t>::length(wide);
  bool replaced = false;
  size_t bytes = kernel::Utf16ToUtf8(wide, length, nullptr, "?", &replaced);
  if (replaced) return HRESULT_FROM_WIN32(kErrorInvalidName);
  try {
    out->assign(bytes, '\0');
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  kernel::Utf16ToUtf8(wide, length, out->data(), "?", &replaced);
  return S_OK;
}

}  // namespace

HRESULT CAsyncFileSource::Create(IUnknown* outer, REFIID riid, void** ppv) {
  HRESULT hr = CheckUnaggregatedCreate(outer, ppv);
  if (FAILED(hr)) return hr;
  return HandOutNewObject(new (std::nothrow) CAsyncFileSource, riid, ppv);
}

CAsyncFileSource::CAsyncFileSource() : m_pin(this) {}

CAsyncFileSource::~CAsyncFileSource() = default;

HRESULT CAsyncFileSource::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
      riid == IID_IBaseFilter) {
    *ppv = static_cast<IBaseFilter*>(this);
  } else if (riid == IID_IFileSourceFilter) {
    *ppv = static_cast<IFileSourceFilter*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CAsyncFileSource::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CAsyncFileSource::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CAsyncFileSource::GetClassID(CLSID* pClassID) {
  if (!pClassID) return E_POINTER;
  *pClassID = CLSID_AsyncReader;
  return S_OK;
}

HRESULT CAsyncFileSource::Stop() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Stopped;
  return S_OK;
}

HRESULT CAsyncFileSource::Pause() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Paused;
  return S_OK;
}

HRESULT CAsyncFileSource::Run(REFERENCE_TIME tStart) {
  (void)tStart;
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Running;
  return S_OK;
}

HRESULT CAsyncFileSource::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) {
  (void)dwMilliSecsTimeout;
  if (!State) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *State = m_state;
  return S_OK;
}

HRESULT CAsyncFileSource::SetSyncSource(IReferenceClock* pClock) {
  ComRef<IReferenceClock> previous = ComRef<IReferenceClock>::Share(pClock);
  std::lock_guard<std::mutex> guard(m_lock);
  std::swap(previous, m_clock);
  return S_OK;
}

HRESULT CAsyncFileSource::GetSyncSource(IReferenceClock** pClock) {
  if (!pClock) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  *pClock = m_clock.Get();
  if (*pClock) (*pClock)->AddRef();
  return S_OK;
}

HRESULT CAsyncFileSource::EnumPins(IEnumPins** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::vector<IPin*> pins;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_path.empty()) pins.push_back(&m_pin);
  }
  return CSourcePinEnumerator::Create(pins, ppEnum);
}

HRESULT CAsyncFileSource::FindPin(LPCWSTR Id, IPin** ppPin) {
  if (!ppPin) return E_POINTER;
  *ppPin = nullptr;
  if (!Id) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_path.empty() || std::u16string_view(Id) != u"Output") return VFW_E_NOT_FOUND;
  m_pin.AddRef();
  *ppPin = &m_pin;
  return S_OK;
}

HRESULT CAsyncFileSource::QueryFilterInfo(FILTER_INFO* pInfo) {
  if (!pInfo) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  size_t length = std::min<size_t>(m_name.size(), MAX_FILTER_NAME - 1);
  std::memcpy(pInfo->achName, m_name.data(), length * sizeof(WCHAR));
  pInfo->achName[length] = 0;
  pInfo->pGraph = m_graph;
  if (m_graph) m_graph->AddRef();
  return S_OK;
}

HRESULT CAsyncFileSource::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) {
  std::lock_guard<std::mutex> guard(m_lock);
  try {
    m_name = (pGraph && pName) ? pName : u"";
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  m_graph = pGraph;
  return S_OK;
}

HRESULT CAsyncFileSource::QueryVendorInfo(LPWSTR* pVendorInfo) {
  if (pVendorInfo) *pVendorInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT CAsyncFileSource::Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) {
  if (!pszFileName) return E_POINTER;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pin.IsConnectedLocked()) return VFW_E_ALREADY_CONNECTED;
  }
  std::string path;
  HRESULT hr = PathToUtf8(pszFileName, &path);
  if (FAILED(hr)) return hr;
  std::shared_ptr<CPositionedFile> file;
  hr = CPositionedFile::Open(path, &file);
  if (FAILED(hr)) return hr;
  std::u16string name;
  try {
    name = pszFileName;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }

  std::lock_guard<std::mutex> guard(m_lock);
  if (m_pin.IsConnectedLocked()) return VFW_E_ALREADY_CONNECTED;
  m_path = std::move(name);
  std::memset(&m_outputType, 0, sizeof(m_outputType));
  m_outputType.majortype = MEDIATYPE_Stream;
  m_outputType.subtype = pmt ? pmt->subtype : MEDIASUBTYPE_NULL;
  m_outputType.bFixedSizeSamples = TRUE;
  m_outputType.bTemporalCompression = FALSE;
  m_outputType.lSampleSize = 1;
  m_outputType.formattype = GUID_NULL;
  m_pin.Reader().SetFile(std::move(file));
  return S_OK;
}

HRESULT CAsyncFileSource::GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) {
  if (!ppszFileName) return E_POINTER;
  *ppszFileName = nullptr;
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_path.empty()) return E_FAIL;
  size_t bytes = (m_path.size() + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, m_path.c_str(), bytes);
  if (pmt) {
    HRESULT hr = CopyMediaTypeFields(pmt, m_outputType);
    if (FAILED(hr)) {
      CoTaskMemFree(copy);
      return hr;
    }
  }
  *ppszFileName = copy;
  return S_OK;
}

}  // namespace platform
