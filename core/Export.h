// Export.h — the symbol visibility macro of OrvantisCore.
//
// The library is built with hidden symbols; everything a host may call is
// marked ORVANTIS_API. Inline templates need no mark.
#pragma once

#if defined(_WIN32)
#if defined(ORVANTIS_BUILDING_LIBRARY)
#define ORVANTIS_API __declspec(dllexport)
#else
#define ORVANTIS_API __declspec(dllimport)
#endif
#else
#define ORVANTIS_API __attribute__((visibility("default")))
#endif
