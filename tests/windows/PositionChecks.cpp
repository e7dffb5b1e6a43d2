#include "PositionChecks.h"

#include <control.h>
#include <oleauto.h>

#include <algorithm>

#include "CComRef.h"
#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"

namespace {

constexpr LONG kAutomationTrue = -1;

// The dispatch identifier the platform's own type library gives a name of
// IMediaPosition, so the module's answer is compared with an independent one.
HRESULT PlatformDispId(const WCHAR* name, DISPID* id, std::string* failure) {
  CComRef<ITypeLib> library;
  HRESULT hr = LoadRegTypeLib(LIBID_QuartzTypeLib, 1, 0, LOCALE_SYSTEM_DEFAULT, library.Out());
  if (FAILED(hr)) {
    *failure = "LoadRegTypeLib(LIBID_QuartzTypeLib 1.0) " + HexResult(hr);
    return hr;
  }
  CComRef<ITypeInfo> info;
  hr = library->GetTypeInfoOfGuid(IID_IMediaPosition, info.Out());
  if (FAILED(hr)) {
    *failure = "ITypeLib::GetTypeInfoOfGuid(IID_IMediaPosition) " + HexResult(hr);
    return hr;
  }
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  hr = info->GetIDsOfNames(names, 1, id);
  if (FAILED(hr)) {
    *failure = "ITypeInfo::GetIDsOfNames " + HexResult(hr);
  }
  return hr;
}

HRESULT InvokeByName(IDispatch* dispatch, const WCHAR* name, WORD flags, VARIANT* value,
                     DISPID* id) {
  LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, id);
  if (FAILED(hr)) {
    return hr;
  }
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXCEPINFO exception = {};
  UINT argumentError = 0;
  VariantInit(value);
  return dispatch->Invoke(*id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, value, &exception,
                          &argumentError);
}

// Seconds of audio in the rows the splitter streams, as it times them.
double AudioSeconds(const filmwriter::FilmWriter& writer,
                    const filmwriter::FilmExpectation& expect) {
  if (expect.avgBytesPerSec == 0 || !expect.parses) return 0;
  const std::vector<uint8_t> file = writer.Build();
  const uint32_t held = static_cast<uint32_t>(
      std::min<uint64_t>(expect.headerLength, file.size() - film::kHeaderLength));
  const CFilmSampleTable table(file.data() + film::kHeaderLength, held, held);
  // Each chunk's length is converted on its own, as sample times are.
  LONGLONG units = 0;
  for (uint32_t index = 0; index < table.StreamedRows(); ++index) {
    const FilmSampleEntry row = table.Row(index);
    if (row.timeInfo != film::kAudioTimeInfo) continue;
    units += film::AudioChunkDuration(row.chunkLength, expect.avgBytesPerSec);
  }
  return static_cast<double>(units) / 10000000.0;
}

}  // namespace

void CheckPosition(CTestReport* report, const std::string& label, IBaseFilter* splitter,
                   const filmwriter::FilmWriter& writer) {
  const filmwriter::FilmExpectation expect = writer.Expect();
  CComRef<IMediaPosition> position;
  HRESULT hr = splitter->QueryInterface(IID_IMediaPosition, position.OutVoid());
  if (!report->Check(hr == S_OK, label + ": the splitter answers IMediaPosition", HexResult(hr))) {
    return;
  }
  // A movie without video lasts as long as its audio; the video's length is
  // the one IMediaSeeking reports, in seconds.
  const double duration = !expect.hasVideoOutput
                              ? AudioSeconds(writer, expect)
                              : static_cast<double>(film::VideoFrameDuration(
                                    static_cast<int64_t>(expect.videoTicks), expect.timeBase)) /
                                    film::kUnitsPerSecond;
  REFTIME got = -1;
  hr = position->get_Duration(&got);
  report->Check(hr == S_OK && got == duration,
                label + ": get_Duration is " + std::to_string(duration) + " s",
                HexResult(hr) + ", " + std::to_string(got));
  LONG forward = 0;
  hr = position->CanSeekForward(&forward);
  report->Check(hr == S_OK && forward == kAutomationTrue, label + ": CanSeekForward is OATRUE",
                HexResult(hr) + ", " + std::to_string(forward));

  // IMediaPosition is a dual interface: its own pointer is the IDispatch.
  IDispatch* dispatch = position.Get();
  UINT count = 0;
  hr = dispatch->GetTypeInfoCount(&count);
  report->Check(hr == S_OK && count == 1, label + ": IDispatch::GetTypeInfoCount is 1",
                HexResult(hr) + ", " + std::to_string(count));

  VARIANT value;
  DISPID id = DISPID_UNKNOWN;
  hr = InvokeByName(dispatch, L"Duration", DISPATCH_PROPERTYGET, &value, &id);
  report->Check(hr == S_OK && value.vt == VT_R8 && value.dblVal == duration,
                label + ": IDispatch Invoke(\"Duration\", DISPATCH_PROPERTYGET)",
                HexResult(hr) + ", vt " + std::to_string(value.vt) + ", " +
                    (value.vt == VT_R8 ? std::to_string(value.dblVal) : std::string("-")));
  VariantClear(&value);

  DISPID platformId = DISPID_UNKNOWN;
  std::string failure;
  hr = PlatformDispId(L"Duration", &platformId, &failure);
  report->Check(hr == S_OK && id == platformId,
                label + ": \"Duration\" has the platform type library's DISPID",
                failure.empty()
                    ? "module " + std::to_string(id) + ", platform " + std::to_string(platformId)
                    : failure);

  // A method with a return value, not a property, in the type library.
  hr = InvokeByName(dispatch, L"CanSeekBackward", DISPATCH_METHOD, &value, &id);
  report->Check(hr == S_OK && value.vt == VT_I4 && value.lVal == kAutomationTrue,
                label + ": IDispatch Invoke(\"CanSeekBackward\") is OATRUE",
                HexResult(hr) + ", vt " + std::to_string(value.vt));
  VariantClear(&value);
}
