// Libraries loaded at run time (LoadLibraryW) over the host's dynamic loader.
//
// A library file carries the platform's name ("oxloserv.dll") and is a host shared
// object. There is one platform per process: a library links no platform of its own,
// and its calls into the platform are bound, when it is loaded, to the loading
// program's platform, which the program exports (the build's
// pathlume_load_run_time_libraries). So a library sees the loader's roots, registry,
// handles, windows and heap, and holds no copy of their state.
//
// A bare name (no folder) is looked for in the program's folder, then in \Windows on
// the device side or C:\Windows\System32 on the desktop side; a name without an
// extension gets ".dll". A name with a folder is taken as the platform path it is.
#pragma once

#include "platform/kernel/wintypes.h"

// Cast to the entry point's own type before calling; this form casts to any without a
// warning.
typedef void (*FARPROC)();

// Null with ERROR_MOD_NOT_FOUND when no file is found, ERROR_BAD_EXE_FORMAT when the
// file cannot be loaded (the host loader's reason goes to stderr).
HMODULE LoadLibraryW(LPCWSTR fileName);
#define LoadLibrary LoadLibraryW
// The desktop's form takes a single-byte name, the handheld's a wide one. Null with
// ERROR_PROC_NOT_FOUND for a name the library does not export.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName);
// Each load is freed once; FALSE with ERROR_INVALID_HANDLE for a handle that is not a
// loaded library.
BOOL FreeLibrary(HMODULE module);

// What a library marks as its entry points: C names, seen by GetProcAddress.
#define PLATFORM_EXPORT extern "C" __attribute__((visibility("default")))
