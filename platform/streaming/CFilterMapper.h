// The platform's filter mapper (CLSID_FilterMapper): filter, pin and media type
// registrations kept in the registry, so that another process finds them.
//
// Layout under HKEY_CLASSES_ROOT (GUIDs in braced upper-case text):
//   Filter\{filter}                      default: the filter's name
//   Filter\{filter}\Instances\{instance} default: the instance's name
//   CLSID\{filter}                       "Merit" (REG_DWORD)
//   CLSID\{filter}\Pins\<pin>            "Direction" (0 input, 1 output), "IsRendered",
//                                        "AllowedZero", "AllowedMany" (REG_DWORD 0/1),
//                                        "ConnectsToFilter" ({class}), "ConnectsToPin"
//   CLSID\{filter}\Pins\<pin>\Types\{major}\{subtype}
// The class key's own entries (its name, InprocServer32) belong to the server
// that registers the class; the mapper adds to that key and never removes them.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include <win/platform.h>

#include "CRegFilterEnumerator.h"

namespace platform {

class CFilterMapper final : public IFilterMapper {
 public:
  // Builtin class creator: no aggregation.
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IFilterMapper
  HRESULT STDMETHODCALLTYPE RegisterFilter(CLSID clsid, LPCWSTR Name, DWORD dwMerit) override;
  HRESULT STDMETHODCALLTYPE RegisterFilterInstance(CLSID clsid, LPCWSTR Name, CLSID* MRId) override;
  HRESULT STDMETHODCALLTYPE RegisterPin(CLSID Filter, LPCWSTR Name, BOOL bRendered, BOOL bOutput,
                                        BOOL bZero, BOOL bMany, CLSID ConnectsToFilter,
                                        LPCWSTR ConnectsToPin) override;
  HRESULT STDMETHODCALLTYPE RegisterPinType(CLSID clsFilter, LPCWSTR strName, CLSID clsMajorType,
                                            CLSID clsSubType) override;
  HRESULT STDMETHODCALLTYPE UnregisterFilter(CLSID Filter) override;
  HRESULT STDMETHODCALLTYPE UnregisterFilterInstance(CLSID MRId) override;
  HRESULT STDMETHODCALLTYPE UnregisterPin(CLSID Filter, LPCWSTR Name) override;
  HRESULT STDMETHODCALLTYPE EnumMatchingFilters(IEnumRegFilters** ppEnum, DWORD dwMerit,
                                                BOOL bInputNeeded, CLSID clsInMaj, CLSID clsInSub,
                                                BOOL bRender, BOOL bOutputNeeded, CLSID clsOutMaj,
                                                CLSID clsOutSub) override;

 private:
  struct PinType {
    GUID major;
    GUID subtype;
  };
  struct RegisteredPin {
    bool output = false;
    bool rendered = false;
    std::vector<PinType> types;
  };
  struct Query {
    DWORD merit;
    BOOL inputNeeded;
    GUID inMajor;
    GUID inSubtype;
    BOOL render;
    BOOL outputNeeded;
    GUID outMajor;
    GUID outSubtype;
  };

  CFilterMapper() = default;
  ~CFilterMapper() = default;

  // Whether the filter registered under filterKey (its braced class text)
  // answers the query; *merit receives its merit either way.
  static bool Matches(const std::string& filterKey, const Query& query, DWORD* merit);
  static std::vector<RegisteredPin> ReadPins(const std::string& filterKey);

  std::atomic<ULONG> m_refs{0};
};

}  // namespace platform
