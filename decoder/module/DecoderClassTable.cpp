// The classes this module serves: the decoder filter, and on Windows the
// handlers through which Explorer sees FILM movies (the platform's stand-in
// has no shell).
#include "filter/CCinepakDecoderFilter.h"
#include "filter/DecoderIdentifiers.h"
#ifdef _WIN32
#include "explorer/CFilmPropertyStore.h"
#include "explorer/CFilmThumbnailProvider.h"
#include "explorer/ShellIdentifiers.h"
#endif
#include "module/ClassTable.h"
#include "module/DecoderSetupData.h"

const ClassTemplateEntry g_classTemplates[] = {
    {WIDE("Tessaly Cinepak Decoder"), &CLSID_TessalyCinepakDecoder, &CreateCinepakDecoderFilter,
     nullptr, CinepakDecoderSetupData()},
#ifdef _WIN32
    {WIDE("Tessaly FILM Thumbnail Provider"), &CLSID_TessalyFilmThumbnailProvider,
     &CreateFilmThumbnailProvider, nullptr, nullptr},
    {WIDE("Tessaly FILM Property Handler"), &CLSID_TessalyFilmPropertyHandler,
     &CreateFilmPropertyStore, nullptr, nullptr},
#endif
};

const int g_classTemplateCount =
    static_cast<int>(sizeof(g_classTemplates) / sizeof(g_classTemplates[0]));
