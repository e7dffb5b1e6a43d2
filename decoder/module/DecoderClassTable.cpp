// The one class this module serves.
#include "filter/CCinepakDecoderFilter.h"
#include "filter/DecoderIdentifiers.h"
#include "module/ClassTable.h"
#include "module/DecoderSetupData.h"

const ClassTemplateEntry g_classTemplates[] = {
    {WIDE("Tessaly Cinepak Decoder"), &CLSID_TessalyCinepakDecoder, &CreateCinepakDecoderFilter,
     nullptr, CinepakDecoderSetupData()},
};

const int g_classTemplateCount =
    static_cast<int>(sizeof(g_classTemplates) / sizeof(g_classTemplates[0]));

const ClassTemplateEntry* FindClassTemplate(REFCLSID classId) {
  for (int index = 0; index < g_classTemplateCount; ++index) {
    if (IsEqualGUID(*g_classTemplates[index].m_classId, classId)) {
      return &g_classTemplates[index];
    }
  }
  return nullptr;
}
