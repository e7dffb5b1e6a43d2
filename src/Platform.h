// The one header through which module code sees the platform: the real
// headers on Windows, the platform layer's declarations on Linux.
#pragma once

#ifdef _WIN32
// The platform's headers build on one another in this order.
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <strmif.h>
#include <control.h>
#include <uuids.h>
#include <amvideo.h>
#include <mmreg.h>
#include <vfwmsgs.h>
#include <evcode.h>
// clang-format on
#define WIDE(s) L##s
// The automation booleans of dshow.h, which brings too much else to include.
#ifndef OATRUE
#define OATRUE (-1)
#define OAFALSE (0)
#endif
// The filter setup records a filter module publishes; on Windows they are the
// registration records of strmif.h under their setup names.
typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;
typedef REGFILTERPINS AMOVIESETUP_PIN;
typedef struct _AMOVIESETUP_FILTER {
  const CLSID* clsID;
  const WCHAR* strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
} AMOVIESETUP_FILTER;
#else
#include <win/platform.h>
#endif

// The layouts the streaming platform publishes for 32-bit and for 64-bit
// processes: pointer fields widen, and the fields after them move with the
// alignment. The Linux stand-in is held to the 64-bit ones. Code uses sizeof,
// never these numbers.
static_assert(sizeof(void*) == 4 || sizeof(void*) == 8);
static_assert(sizeof(AM_MEDIA_TYPE) == (sizeof(void*) == 8 ? 88 : 72));
static_assert(sizeof(AM_SAMPLE2_PROPERTIES) == (sizeof(void*) == 8 ? 64 : 48));
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WCHAR) == 2);
static_assert(sizeof(LONG) == 4 && sizeof(ULONG) == 4 && sizeof(DWORD) == 4);
static_assert(sizeof(LONGLONG) == 8 && sizeof(REFERENCE_TIME) == 8);
