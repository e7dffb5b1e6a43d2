#include "module/DecoderSetupData.h"

#include "filter/DecoderIdentifiers.h"

namespace {

const AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_Cinepak}};
const AMOVIESETUP_MEDIATYPE kOutputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32},  {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},   {&MEDIATYPE_Video, &MEDIASUBTYPE_UYVY},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB565}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB555},
};

// The registration records name pins through a non-const pointer that the
// mapper only ever reads.
LPWSTR PinName(const WCHAR* name) { return const_cast<LPWSTR>(name); }

const AMOVIESETUP_PIN kPins[] = {
    {PinName(WIDE("Input")), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {PinName(WIDE("Output")), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr,
     static_cast<UINT>(sizeof(kOutputTypes) / sizeof(kOutputTypes[0])), kOutputTypes},
};

const AMOVIESETUP_FILTER kSetup = {&CLSID_TessalyCinepakDecoder, WIDE("Tessaly Cinepak Decoder"),
                                   kCinepakDecoderMerit,
                                   static_cast<UINT>(sizeof(kPins) / sizeof(kPins[0])), kPins};

}  // namespace

const AMOVIESETUP_FILTER* CinepakDecoderSetupData() { return &kSetup; }
