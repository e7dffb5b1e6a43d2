#include "module/SetupData.h"

#include "splitter/SplitterIdentifiers.h"

namespace {

const AMOVIESETUP_MEDIATYPE kInputTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_CpkFilm}};
const AMOVIESETUP_MEDIATYPE kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const AMOVIESETUP_MEDIATYPE kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};

// The registration records name pins through a non-const pointer that the
// mapper only ever reads.
LPWSTR PinName(const WCHAR* name) { return const_cast<LPWSTR>(name); }

// The output pins may be absent (zero): each exists only when the file has
// that stream. Their registered names are not the run-time ones.
const AMOVIESETUP_PIN kPins[] = {
    {PinName(WIDE("Input")), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {PinName(WIDE("Audio Output")), FALSE, TRUE, TRUE, FALSE, &CLSID_NULL, nullptr, 1, kAudioTypes},
    {PinName(WIDE("Video Output")), FALSE, TRUE, TRUE, FALSE, &CLSID_NULL, nullptr, 1, kVideoTypes},
};

}  // namespace

const AMOVIESETUP_FILTER g_cpkSplitterSetup = {
    &CLSID_CpkSplitter, WIDE("Tessaly Parser"), MERIT_UNLIKELY,
    static_cast<UINT>(sizeof(kPins) / sizeof(kPins[0])), kPins};

const AMOVIESETUP_FILTER* CpkSplitterSetupData() { return &g_cpkSplitterSetup; }
