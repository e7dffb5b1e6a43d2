#include "CFilterMapper.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <random>

#include "../com/GuidText.h"
#include "../kernel/Utf.h"
#include "CRegKey.h"
#include "NewObject.h"

namespace platform {

namespace {

constexpr size_t kMaxKeyName = 255;

// Registrations span several keys; one process-wide lock keeps each call whole
// against another mapper object of the same process.
std::mutex g_mapperLock;

HRESULT FromWin32(LONG status) {
  return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(status));
}

std::string GuidKey(REFGUID guid) {
  char text[com::kGuidTextLength + 1];
  com::FormatGuidText(guid, text);
  return text;
}

bool ParseGuidKey(const std::string& text, GUID* guid) {
  if (text.size() != static_cast<size_t>(com::kGuidTextLength)) return false;
  WCHAR wide[com::kGuidTextLength + 1];
  for (size_t i = 0; i < text.size(); ++i) wide[i] = static_cast<unsigned char>(text[i]);
  wide[text.size()] = 0;
  return SUCCEEDED(CLSIDFromString(wide, guid));
}

// A lone surrogate has no UTF-8 form, so such a name could not be stored as given.
HRESULT ToUtf8(LPCWSTR wide, std::string* out) {
  if (!wide) return E_POINTER;
  size_t length = std::char_traits<char16_t>::length(wide);
  bool replaced = false;
  size_t bytes = kernel::Utf16ToUtf8(wide, length, nullptr, "?", &replaced);
  if (replaced) return E_INVALIDARG;
  try {
    out->assign(bytes, '\0');
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  kernel::Utf16ToUtf8(wide, length, out->data(), "?", &replaced);
  return S_OK;
}

// Pin names become key names: one level, no separator, within the key name limit.
HRESULT PinKeyName(LPCWSTR wide, std::string* out) {
  HRESULT hr = ToUtf8(wide, out);
  if (FAILED(hr)) return hr;
  if (out->empty() || out->size() > kMaxKeyName || out->find('\\') != std::string::npos) {
    return E_INVALIDARG;
  }
  return S_OK;
}

std::u16string ToWide(const std::string& text) {
  bool invalid = false;
  size_t units = kernel::Utf8ToUtf16(text.data(), text.size(), nullptr, &invalid);
  std::u16string wide(units, u'\0');
  kernel::Utf8ToUtf16(text.data(), text.size(), wide.data(), &invalid);
  return wide;
}

std::string FilterPath(const std::string& filterKey) { return "Filter\\" + filterKey; }
std::string ClassPath(const std::string& filterKey) { return "CLSID\\" + filterKey; }
std::string PinsPath(const std::string& filterKey) { return ClassPath(filterKey) + "\\Pins"; }
std::string PinPath(const std::string& filterKey, const std::string& pin) {
  return PinsPath(filterKey) + "\\" + pin;
}

bool IsRegistered(const std::string& filterKey) {
  CRegKey key;
  return key.Open(HKEY_CLASSES_ROOT, FilterPath(filterKey)) == ERROR_SUCCESS;
}

GUID NewInstanceId() {
  std::random_device source;
  GUID id{};
  id.Data1 = source();
  id.Data2 = static_cast<uint16_t>(source());
  id.Data3 = static_cast<uint16_t>((source() & 0x0FFF) | 0x4000);
  for (uint8_t& byte : id.Data4) byte = static_cast<uint8_t>(source());
  id.Data4[0] = static_cast<uint8_t>((id.Data4[0] & 0x3F) | 0x80);
  return id;
}

// GUID_NULL on either side, in the query or in the registration, matches anything.
bool Wildcard(REFGUID asked, REFGUID registered) {
  return asked == GUID_NULL || registered == GUID_NULL || asked == registered;
}

}  // namespace

HRESULT CFilterMapper::Create(IUnknown* outer, REFIID riid, void** ppv) {
  HRESULT hr = CheckUnaggregatedCreate(outer, ppv);
  if (FAILED(hr)) return hr;
  return HandOutNewObject(new (std::nothrow) CFilterMapper, riid, ppv);
}

HRESULT CFilterMapper::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IFilterMapper) {
    *ppv = static_cast<IFilterMapper*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CFilterMapper::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CFilterMapper::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CFilterMapper::RegisterFilter(CLSID clsid, LPCWSTR Name, DWORD dwMerit) {
  std::string name;
  HRESULT hr = ToUtf8(Name, &name);
  if (FAILED(hr)) return hr;
  const std::string filterKey = GuidKey(clsid);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  CRegKey filter;
  LONG status = filter.Create(HKEY_CLASSES_ROOT, FilterPath(filterKey));
  if (status == ERROR_SUCCESS) status = filter.SetString("", name);
  if (status != ERROR_SUCCESS) return FromWin32(status);
  CRegKey classKey;
  status = classKey.Create(HKEY_CLASSES_ROOT, ClassPath(filterKey));
  if (status == ERROR_SUCCESS) status = classKey.SetDword("Merit", dwMerit);
  return FromWin32(status);
}

HRESULT CFilterMapper::RegisterFilterInstance(CLSID clsid, LPCWSTR Name, CLSID* MRId) {
  if (!MRId) return E_POINTER;
  std::string name;
  HRESULT hr = ToUtf8(Name, &name);
  if (FAILED(hr)) return hr;
  const std::string filterKey = GuidKey(clsid);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  if (!IsRegistered(filterKey)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  const GUID id = NewInstanceId();
  CRegKey instance;
  LONG status =
      instance.Create(HKEY_CLASSES_ROOT, FilterPath(filterKey) + "\\Instances\\" + GuidKey(id));
  if (status == ERROR_SUCCESS) status = instance.SetString("", name);
  if (status != ERROR_SUCCESS) return FromWin32(status);
  *MRId = id;
  return S_OK;
}

HRESULT CFilterMapper::RegisterPin(CLSID Filter, LPCWSTR Name, BOOL bRendered, BOOL bOutput,
                                   BOOL bZero, BOOL bMany, CLSID ConnectsToFilter,
                                   LPCWSTR ConnectsToPin) {
  std::string pin;
  HRESULT hr = PinKeyName(Name, &pin);
  if (FAILED(hr)) return hr;
  std::string connectsToPin;
  if (ConnectsToPin) {
    hr = ToUtf8(ConnectsToPin, &connectsToPin);
    if (FAILED(hr)) return hr;
  }
  const std::string filterKey = GuidKey(Filter);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  if (!IsRegistered(filterKey)) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  CRegKey key;
  LONG status = key.Create(HKEY_CLASSES_ROOT, PinPath(filterKey, pin));
  if (status == ERROR_SUCCESS) status = key.SetDword("Direction", bOutput ? 1 : 0);
  if (status == ERROR_SUCCESS) status = key.SetDword("IsRendered", bRendered ? 1 : 0);
  if (status == ERROR_SUCCESS) status = key.SetDword("AllowedZero", bZero ? 1 : 0);
  if (status == ERROR_SUCCESS) status = key.SetDword("AllowedMany", bMany ? 1 : 0);
  if (status == ERROR_SUCCESS)
    status = key.SetString("ConnectsToFilter", GuidKey(ConnectsToFilter));
  if (status == ERROR_SUCCESS) status = key.SetString("ConnectsToPin", connectsToPin);
  return FromWin32(status);
}

HRESULT CFilterMapper::RegisterPinType(CLSID clsFilter, LPCWSTR strName, CLSID clsMajorType,
                                       CLSID clsSubType) {
  std::string pin;
  HRESULT hr = PinKeyName(strName, &pin);
  if (FAILED(hr)) return hr;
  const std::string filterKey = GuidKey(clsFilter);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  CRegKey pinKey;
  LONG status = pinKey.Open(HKEY_CLASSES_ROOT, PinPath(filterKey, pin));
  if (status != ERROR_SUCCESS) return FromWin32(status);
  CRegKey type;
  status =
      type.Create(pinKey.Get(), "Types\\" + GuidKey(clsMajorType) + "\\" + GuidKey(clsSubType));
  return FromWin32(status);
}

HRESULT CFilterMapper::UnregisterFilter(CLSID Filter) {
  const std::string filterKey = GuidKey(Filter);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  LONG status = CRegKey::DeleteTree(HKEY_CLASSES_ROOT, FilterPath(filterKey));
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromWin32(status);
  const bool wasRegistered = status == ERROR_SUCCESS;

  // Pins and merit left by an earlier, half-finished registration go as well.
  CRegKey classKey;
  if (classKey.Open(HKEY_CLASSES_ROOT, ClassPath(filterKey)) == ERROR_SUCCESS) {
    LONG pins = CRegKey::DeleteTree(classKey.Get(), "Pins");
    if (pins != ERROR_SUCCESS && pins != ERROR_FILE_NOT_FOUND) return FromWin32(pins);
    LONG merit = RegDeleteValueA(classKey.Get(), "Merit");
    if (merit != ERROR_SUCCESS && merit != ERROR_FILE_NOT_FOUND) return FromWin32(merit);
    // A class key only the mapper made would otherwise stay behind empty.
    if (classKey.IsEmpty()) {
      classKey.Close();
      RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassPath(filterKey).c_str());
    }
  }
  return wasRegistered ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

HRESULT CFilterMapper::UnregisterFilterInstance(CLSID MRId) {
  const std::string instanceKey = GuidKey(MRId);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  CRegKey filters;
  if (filters.Open(HKEY_CLASSES_ROOT, "Filter") != ERROR_SUCCESS) {
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  for (const std::string& filterKey : filters.SubkeyNames()) {
    LONG status = CRegKey::DeleteTree(filters.Get(), filterKey + "\\Instances\\" + instanceKey);
    if (status != ERROR_FILE_NOT_FOUND) return FromWin32(status);
  }
  return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

HRESULT CFilterMapper::UnregisterPin(CLSID Filter, LPCWSTR Name) {
  std::string pin;
  HRESULT hr = PinKeyName(Name, &pin);
  if (FAILED(hr)) return hr;
  const std::string filterKey = GuidKey(Filter);
  std::lock_guard<std::mutex> guard(g_mapperLock);
  return FromWin32(CRegKey::DeleteTree(HKEY_CLASSES_ROOT, PinPath(filterKey, pin)));
}

std::vector<CFilterMapper::RegisteredPin> CFilterMapper::ReadPins(const std::string& filterKey) {
  std::vector<RegisteredPin> pins;
  CRegKey pinsKey;
  if (pinsKey.Open(HKEY_CLASSES_ROOT, PinsPath(filterKey)) != ERROR_SUCCESS) return pins;
  for (const std::string& pinName : pinsKey.SubkeyNames()) {
    CRegKey pinKey;
    if (pinKey.Open(pinsKey.Get(), pinName) != ERROR_SUCCESS) continue;
    RegisteredPin pin;
    DWORD flag = 0;
    pin.output = pinKey.QueryDword("Direction", &flag) && flag != 0;
    flag = 0;
    pin.rendered = pinKey.QueryDword("IsRendered", &flag) && flag != 0;
    CRegKey majors;
    if (majors.Open(pinKey.Get(), "Types") == ERROR_SUCCESS) {
      for (const std::string& majorName : majors.SubkeyNames()) {
        GUID major{};
        CRegKey subtypes;
        if (!ParseGuidKey(majorName, &major)) continue;
        if (subtypes.Open(majors.Get(), majorName) != ERROR_SUCCESS) continue;
        for (const std::string& subtypeName : subtypes.SubkeyNames()) {
          GUID subtype{};
          if (ParseGuidKey(subtypeName, &subtype)) pin.types.push_back({major, subtype});
        }
      }
    }
    pins.push_back(std::move(pin));
  }
  return pins;
}

bool CFilterMapper::Matches(const std::string& filterKey, const Query& query, DWORD* merit) {
  CRegKey classKey;
  *merit = MERIT_NORMAL;  // what a filter registered without a merit is taken for
  if (classKey.Open(HKEY_CLASSES_ROOT, ClassPath(filterKey)) == ERROR_SUCCESS) {
    classKey.QueryDword("Merit", merit);
  }
  if (*merit < query.merit) return false;

  const std::vector<RegisteredPin> pins = ReadPins(filterKey);
  auto pinMatches = [](const RegisteredPin& pin, REFGUID major, REFGUID subtype) {
    // A pin with no types registered says nothing about its types: only a query
    // that asks for none finds it.
    if (pin.types.empty()) return major == GUID_NULL && subtype == GUID_NULL;
    return std::any_of(pin.types.begin(), pin.types.end(), [&](const PinType& type) {
      return Wildcard(major, type.major) && Wildcard(subtype, type.subtype);
    });
  };
  bool anyInput = false;
  bool inputMatch = false;
  bool anyOutput = false;
  bool outputMatch = false;
  for (const RegisteredPin& pin : pins) {
    if (pin.output) {
      anyOutput = true;
      outputMatch = outputMatch || pinMatches(pin, query.outMajor, query.outSubtype);
    } else {
      anyInput = true;
      if (!query.render || pin.rendered) {
        inputMatch = inputMatch || pinMatches(pin, query.inMajor, query.inSubtype);
      }
    }
  }
  // A side that is not needed may be missing altogether; pins it has must still match.
  const bool inputOk = inputMatch || (!query.inputNeeded && !anyInput);
  const bool outputOk = outputMatch || (!query.outputNeeded && !anyOutput);
  return inputOk && outputOk;
}

HRESULT CFilterMapper::EnumMatchingFilters(IEnumRegFilters** ppEnum, DWORD dwMerit,
                                           BOOL bInputNeeded, CLSID clsInMaj, CLSID clsInSub,
                                           BOOL bRender, BOOL bOutputNeeded, CLSID clsOutMaj,
                                           CLSID clsOutSub) {
  if (!ppEnum) return E_POINTER;
  *ppEnum = nullptr;
  const Query query{dwMerit, bInputNeeded,  clsInMaj,  clsInSub,
                    bRender, bOutputNeeded, clsOutMaj, clsOutSub};
  struct Candidate {
    DWORD merit;
    FoundFilter filter;
  };
  std::vector<Candidate> found;
  try {
    std::lock_guard<std::mutex> guard(g_mapperLock);
    CRegKey filters;
    if (filters.Open(HKEY_CLASSES_ROOT, "Filter") == ERROR_SUCCESS) {
      for (const std::string& filterKey : filters.SubkeyNames()) {
        Candidate candidate{};
        if (!ParseGuidKey(filterKey, &candidate.filter.clsid)) continue;
        if (!Matches(filterKey, query, &candidate.merit)) continue;
        CRegKey filter;
        std::string name;
        if (filter.Open(filters.Get(), filterKey) == ERROR_SUCCESS) filter.QueryString("", &name);
        candidate.filter.name = ToWide(name);
        found.push_back(std::move(candidate));
      }
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  // Highest merit first; equal merits keep the registry's order.
  std::stable_sort(found.begin(), found.end(),
                   [](const Candidate& a, const Candidate& b) { return a.merit > b.merit; });
  std::vector<FoundFilter> ordered;
  try {
    ordered.reserve(found.size());
    for (Candidate& candidate : found) ordered.push_back(std::move(candidate.filter));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return CRegFilterEnumerator::Create(ordered, ppEnum);
}

}  // namespace platform
