// A remote API library for the device link's tests: it hands every call to the real
// "rapi.dll" (loaded through the test's own platform), except that with
// RAPI_PROXY_SHORT_WRITES each write stores half of what it is given and says so, and
// with RAPI_PROXY_LACKING it has no CeGetVersionEx.
#include "platform/kernel/kernel.h"
#include "platform/rapi/rapi.h"

namespace {

HMODULE Real() {
    static HMODULE real = LoadLibraryW(u"rapi.dll");
    return real;
}

template <class F>
F RealEntry(const char* name) {
    return reinterpret_cast<F>(GetProcAddress(Real(), name));
}

}  // namespace

#define FORWARD(name, type, params, args)   \
    PLATFORM_EXPORT auto name params {      \
        return RealEntry<type>(#name) args; \
    }

FORWARD(CeRapiInvoke, PFN_CeRapiInvoke,
        (LPCWSTR a, LPCWSTR b, DWORD c, BYTE* d, DWORD* e, BYTE** f, IRAPIStream** g, DWORD h),
        (a, b, c, d, e, f, g, h))
FORWARD(CeRapiInitEx, PFN_CeRapiInitEx, (RAPIINIT * a), (a))
FORWARD(CeRapiUninit, PFN_CeRapiUninit, (), ())
FORWARD(CeGetFileAttributes, PFN_CeGetFileAttributes, (LPCWSTR a), (a))
FORWARD(CeCreateDirectory, PFN_CeCreateDirectory, (LPCWSTR a, LPSECURITY_ATTRIBUTES b), (a, b))
FORWARD(CeCopyFile, PFN_CeCopyFile, (LPCWSTR a, LPCWSTR b, BOOL c), (a, b, c))
FORWARD(CeDeleteFile, PFN_CeDeleteFile, (LPCWSTR a), (a))
FORWARD(CeMoveFile, PFN_CeMoveFile, (LPCWSTR a, LPCWSTR b), (a, b))
FORWARD(CeGetFileSize, PFN_CeGetFileSize, (HANDLE a, LPDWORD b), (a, b))
FORWARD(CeRegOpenKeyEx, PFN_CeRegOpenKeyEx, (HKEY a, LPCWSTR b, DWORD c, REGSAM d, PHKEY e),
        (a, b, c, d, e))
FORWARD(CeRegCreateKeyEx, PFN_CeRegCreateKeyEx,
        (HKEY a, LPCWSTR b, DWORD c, LPWSTR d, DWORD e, REGSAM f, LPSECURITY_ATTRIBUTES g, PHKEY h,
         LPDWORD i),
        (a, b, c, d, e, f, g, h, i))
FORWARD(CeRegCloseKey, PFN_CeRegCloseKey, (HKEY a), (a))
FORWARD(CeRegSetValueEx, PFN_CeRegSetValueEx,
        (HKEY a, LPCWSTR b, DWORD c, DWORD d, const BYTE* e, DWORD f), (a, b, c, d, e, f))
FORWARD(CeRegQueryValueEx, PFN_CeRegQueryValueEx,
        (HKEY a, LPCWSTR b, LPDWORD c, LPDWORD d, LPBYTE e, LPDWORD f), (a, b, c, d, e, f))
FORWARD(CeFindFirstFile, PFN_CeFindFirstFile, (LPCWSTR a, LPCE_FIND_DATA b), (a, b))
FORWARD(CeFindNextFile, PFN_CeFindNextFile, (HANDLE a, LPCE_FIND_DATA b), (a, b))
FORWARD(CeFindClose, PFN_CeFindClose, (HANDLE a), (a))
FORWARD(CeCreateFile, PFN_CeCreateFile,
        (LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e, DWORD f, HANDLE g),
        (a, b, c, d, e, f, g))
FORWARD(CeReadFile, PFN_CeReadFile, (HANDLE a, LPVOID b, DWORD c, LPDWORD d, LPOVERLAPPED e),
        (a, b, c, d, e))
FORWARD(CeCloseHandle, PFN_CeCloseHandle, (HANDLE a), (a))
FORWARD(CeGetSystemInfo, PFN_CeGetSystemInfo, (LPSYSTEM_INFO a), (a))
FORWARD(CeSHCreateShortcut, PFN_CeSHCreateShortcut, (LPWSTR a, LPWSTR b), (a, b))
FORWARD(CeGlobalMemoryStatus, PFN_CeGlobalMemoryStatus, (LPMEMORYSTATUS a), (a))
#ifndef RAPI_PROXY_LACKING
FORWARD(CeGetVersionEx, PFN_CeGetVersionEx, (LPCEOSVERSIONINFO a), (a))
#endif

PLATFORM_EXPORT BOOL CeWriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written,
                                 LPOVERLAPPED overlapped) {
#ifdef RAPI_PROXY_SHORT_WRITES
    if (size > 1)
        size /= 2;
#endif
    return RealEntry<PFN_CeWriteFile>("CeWriteFile")(file, buffer, size, written, overlapped);
}
