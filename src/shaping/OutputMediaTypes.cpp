#include "shaping/OutputMediaTypes.h"

#include "film/FilmLayout.h"

HRESULT BuildAudioMediaType(const WAVEFORMATEX& waveFormat, CMediaTypeRecord* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  *type = CMediaTypeRecord(&MEDIATYPE_Audio);
  type->AssignSubtype(&MEDIASUBTYPE_PCM);
  type->AssignSampleSize(film::kStagingBufferLength);
  type->MakeVariableSize();
  type->AssignFormatType(&FORMAT_WaveFormatEx);
  if (!type->AssignFormat(reinterpret_cast<const BYTE*>(&waveFormat), sizeof(waveFormat))) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT BuildVideoMediaType(const VIDEOINFOHEADER& videoInfo, CMediaTypeRecord* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  *type = CMediaTypeRecord(&MEDIATYPE_Video);
  GUID subtype = SubtypeFromFourCC(videoInfo.bmiHeader.biCompression);
  type->AssignSubtype(&subtype);
  type->AssignFormatType(&FORMAT_VideoInfo);
  if (!type->AssignFormat(reinterpret_cast<const BYTE*>(&videoInfo), sizeof(videoInfo))) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}
