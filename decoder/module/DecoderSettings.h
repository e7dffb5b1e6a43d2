// What the user chose at install time, read from the decoder's class key.
#pragma once

#include "Platform.h"

// The value "FilmOnly" (REG_DWORD, not 0) under the decoder's class key: the
// decoder then takes Cinepak only from the FILM splitter, and leaves Cinepak
// in other files (AVI) to the system's codec. The installer writes it when
// asked; without it the decoder takes Cinepak from any upstream filter.
bool CinepakFromFilmOnly();
