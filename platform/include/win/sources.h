// Source filters and the filter mapper of the streaming platform, in the
// platform's published slot order and with its parameter types.
#pragma once

#include "filters.h"
#include "guid.h"
#include "media.h"
#include "samples.h"
#include "types.h"
#include "unknown.h"

struct IAsyncReader : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RequestAllocator(IMemAllocator* pPreferred,
                                                     ALLOCATOR_PROPERTIES* pProps,
                                                     IMemAllocator** ppActual) = 0;
  virtual HRESULT STDMETHODCALLTYPE Request(IMediaSample* pSample, DWORD_PTR dwUser) = 0;
  virtual HRESULT STDMETHODCALLTYPE WaitForNext(DWORD dwTimeout, IMediaSample** ppSample,
                                                DWORD_PTR* pdwUser) = 0;
  virtual HRESULT STDMETHODCALLTYPE SyncReadAligned(IMediaSample* pSample) = 0;
  virtual HRESULT STDMETHODCALLTYPE SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Length(LONGLONG* pTotal, LONGLONG* pAvailable) = 0;
  virtual HRESULT STDMETHODCALLTYPE BeginFlush() = 0;
  virtual HRESULT STDMETHODCALLTYPE EndFlush() = 0;
};
typedef IAsyncReader* PASYNCREADER;

struct IFileSourceFilter : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR pszFileName, const AM_MEDIA_TYPE* pmt) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* ppszFileName, AM_MEDIA_TYPE* pmt) = 0;
};
typedef IFileSourceFilter* PFILTERFILESOURCE;

typedef struct _REGFILTER {
  CLSID Clsid;
  LPWSTR Name;
} REGFILTER;

struct IEnumRegFilters : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, REGFILTER** apRegFilter,
                                         ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cFilters) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumRegFilters** ppEnum) = 0;
};
typedef IEnumRegFilters* PENUMREGFILTERS;

struct IFilterMapper : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE RegisterFilter(CLSID clsid, LPCWSTR Name, DWORD dwMerit) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterFilterInstance(CLSID clsid, LPCWSTR Name,
                                                           CLSID* MRId) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterPin(CLSID Filter, LPCWSTR Name, BOOL bRendered,
                                                BOOL bOutput, BOOL bZero, BOOL bMany,
                                                CLSID ConnectsToFilter, LPCWSTR ConnectsToPin) = 0;
  virtual HRESULT STDMETHODCALLTYPE RegisterPinType(CLSID clsFilter, LPCWSTR strName,
                                                    CLSID clsMajorType, CLSID clsSubType) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnregisterFilter(CLSID Filter) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnregisterFilterInstance(CLSID MRId) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnregisterPin(CLSID Filter, LPCWSTR Name) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumMatchingFilters(IEnumRegFilters** ppEnum, DWORD dwMerit,
                                                        BOOL bInputNeeded, CLSID clsInMaj,
                                                        CLSID clsInSub, BOOL bRender,
                                                        BOOL bOutputNeeded, CLSID clsOutMaj,
                                                        CLSID clsOutSub) = 0;
};
typedef IFilterMapper* PFILTERMAPPER;
