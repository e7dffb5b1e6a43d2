#include "RegistrationChecks.h"

#include <windows.h>

#include <oleauto.h>
#include <strmif.h>
#include <uuids.h>

#include "CComRef.h"
#include "TessalyIdentifiers.h"

namespace {

const char kClassKey[] = "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}";
const char kStreamTypeKey[] = "Media Type\\{E436EB83-524F-11CE-9F53-0020AF0BA770}";
const char kFilmTypeKey[] =
    "Media Type\\{E436EB83-524F-11CE-9F53-0020AF0BA770}\\{6B1E4F21-D3A7-11D1-8C53-00A0C93B7E14}";
const char kCheckBytes[] = "0,4,,46494C4D,16,4,,46445343";
const char kAsyncReaderText[] = "{E436EBB5-524F-11CE-9F53-0020AF0BA770}";

bool KeyExists(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

// A string value of a key under HKEY_CLASSES_ROOT; name null is the default
// value. Empty optional text and the error code when it cannot be read.
bool ReadString(const char* path, const char* name, std::string* text, LONG* error) {
  HKEY key;
  *error = RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key);
  if (*error != ERROR_SUCCESS) {
    return false;
  }
  char buffer[1024] = {};
  DWORD size = sizeof(buffer) - 1;
  DWORD type = 0;
  *error = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (*error != ERROR_SUCCESS) {
    return false;
  }
  if (type != REG_SZ) {
    *error = ERROR_INVALID_DATA;
    return false;
  }
  *text = buffer;
  return true;
}

void CheckValue(CTestReport* report, const char* path, const char* name,
                const std::string& expected, bool ignoreCase, const std::string& check) {
  std::string text;
  LONG error = 0;
  bool read = ReadString(path, name, &text, &error);
  bool same =
      read && (ignoreCase ? lstrcmpiA(text.c_str(), expected.c_str()) == 0 : text == expected);
  report->Check(same, check, read ? "reads \"" + text + "\"" : "error " + std::to_string(error));
}

// The server path is read wide: a folder outside the ANSI code page must read
// back exactly as the module file is named.
void CheckServerPath(CTestReport* report, const std::wstring& modulePath) {
  HKEY key;
  LONG error = RegOpenKeyExW(HKEY_CLASSES_ROOT,
                             L"CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}\\InprocServer32", 0,
                             KEY_READ, &key);
  WCHAR buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(WCHAR);
  DWORD type = 0;
  if (error == ERROR_SUCCESS) {
    error = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
  }
  const bool same =
      error == ERROR_SUCCESS && type == REG_SZ && lstrcmpiW(buffer, modulePath.c_str()) == 0;
  report->Check(same, "regsvr32: InprocServer32 names the module file",
                error == ERROR_SUCCESS ? "reads \"" + Narrow(buffer) + "\""
                                       : "error " + std::to_string(error));
}

// Asks the platform's filter mapper for filters taking (or giving) a type;
// how often it lists the splitter.
int MapperFinds(const GUID& major, const GUID& subtype, bool asOutput, std::string* name,
                HRESULT* hr) {
  CComRef<IFilterMapper> mapper;
  *hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                         mapper.OutVoid());
  if (FAILED(*hr)) {
    return 0;
  }
  CComRef<IEnumRegFilters> filters;
  if (asOutput) {
    *hr = mapper->EnumMatchingFilters(filters.Out(), 0, FALSE, GUID_NULL, GUID_NULL, FALSE, TRUE,
                                      major, subtype);
  } else {
    *hr = mapper->EnumMatchingFilters(filters.Out(), 0, TRUE, major, subtype, FALSE, FALSE,
                                      GUID_NULL, GUID_NULL);
  }
  if (FAILED(*hr) || !filters) {
    return 0;
  }
  int found = 0;
  REGFILTER* filter = nullptr;
  ULONG fetched = 0;
  while (filters->Next(1, &filter, &fetched) == S_OK && fetched == 1) {
    if (IsEqualCLSID(filter->Clsid, kClsidCpkSplitter)) {
      ++found;
      *name = Narrow(filter->Name);
    }
    CoTaskMemFree(filter);
  }
  return found;
}

// The same question to the platform's IFilterMapper2, which the filter
// graph's intelligent connect consults.
bool Mapper2Finds(const GUID& major, const GUID& subtype, HRESULT* hr) {
  CComRef<IFilterMapper2> mapper;
  *hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                         mapper.OutVoid());
  if (FAILED(*hr)) {
    return false;
  }
  GUID types[2] = {major, subtype};
  CComRef<IEnumMoniker> monikers;
  *hr = mapper->EnumMatchingFilters(monikers.Out(), 0, FALSE, 0, TRUE, 1, types, nullptr, nullptr,
                                    FALSE, FALSE, 0, nullptr, nullptr, nullptr);
  if (FAILED(*hr) || !monikers) {
    return false;
  }
  bool found = false;
  CComRef<IMoniker> moniker;
  while (monikers->Next(1, moniker.Out(), nullptr) == S_OK) {
    CComRef<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) {
      continue;
    }
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(bag->Read(L"CLSID", &value, nullptr)) && value.vt == VT_BSTR) {
      CLSID clsid;
      if (SUCCEEDED(CLSIDFromString(value.bstrVal, &clsid)) &&
          IsEqualCLSID(clsid, kClsidCpkSplitter)) {
        found = true;
      }
    }
    VariantClear(&value);
  }
  return found;
}

}  // namespace

void CheckRegistered(CTestReport* report, const std::wstring& modulePath) {
  CheckValue(report, kClassKey, nullptr, kFilterName, false,
             "regsvr32: class key names \"Tessaly Parser\"");
  CheckServerPath(report, modulePath);
  std::string server = std::string(kClassKey) + "\\InprocServer32";
  CheckValue(report, server.c_str(), "ThreadingModel", "Both", false,
             "regsvr32: ThreadingModel is \"Both\"");
  CheckValue(report, kFilmTypeKey, "0", kCheckBytes, false,
             "regsvr32: Media Type check bytes \"0,4,,46494C4D,16,4,,46445343\"");
  CheckValue(report, kFilmTypeKey, "Source Filter", kAsyncReaderText, true,
             "regsvr32: Media Type \"Source Filter\" is the async file source");

  std::string name;
  HRESULT hr = S_OK;
  // regsvr32 has run twice: each pass replaces the mapper's registration.
  int listed = MapperFinds(MEDIATYPE_Stream, kSubtypeCpkFilm, false, &name, &hr);
  report->Check(listed == 1 && name == kFilterName,
                "mapper: EnumMatchingFilters(MEDIATYPE_Stream / MEDIASUBTYPE_CpkFilm) lists "
                "\"Tessaly Parser\" once",
                std::to_string(listed) + " times, name \"" + name + "\", " + HexResult(hr));
  bool found = Mapper2Finds(MEDIATYPE_Stream, kSubtypeCpkFilm, &hr);
  report->Check(found, "mapper: IFilterMapper2::EnumMatchingFilters finds the filter too",
                "not found, " + HexResult(hr));
  found = MapperFinds(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, true, &name, &hr) > 0;
  report->Check(found, "mapper: the filter is found by its PCM audio output",
                "not found, " + HexResult(hr));
  found = MapperFinds(MEDIATYPE_Video, GUID_NULL, true, &name, &hr) > 0;
  report->Check(found, "mapper: the filter is found by its video output",
                "not found, " + HexResult(hr));
}

void CheckUnregistered(CTestReport* report) {
  report->Check(!KeyExists(kClassKey), "regsvr32 /u: the class key is gone");
  report->Check(!KeyExists(kFilmTypeKey), "regsvr32 /u: the FILM \"Media Type\" key is gone");
  report->Check(KeyExists(kStreamTypeKey),
                "regsvr32 /u: the MEDIATYPE_Stream \"Media Type\" key stays");
  std::string name;
  HRESULT hr = S_OK;
  int listed = MapperFinds(MEDIATYPE_Stream, kSubtypeCpkFilm, false, &name, &hr);
  report->Check(listed == 0 && SUCCEEDED(hr),
                "regsvr32 /u: the filter mapper no longer lists the filter", HexResult(hr));
  CComRef<IBaseFilter> filter;
  hr = CoCreateInstance(kClsidCpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                        filter.OutVoid());
  report->Check(hr == REGDB_E_CLASSNOTREG,
                "regsvr32 /u: CoCreateInstance(CLSID_CpkSplitter) gives REGDB_E_CLASSNOTREG",
                HexResult(hr));
}
