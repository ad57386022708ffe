// The remote API between the desktop and the handheld in its cradle.
//
// The desktop loads "rapi.dll" at run time and calls its entry points by name; each
// call travels over loopback TCP to the `cradle` program, which serves one device
// root and answers it with the device's own platform calls (see
// docs/formats/remote-api.md). This header holds the records and entry-point types
// both sides use, and the stream a device library's export writes to.
#pragma once

#include "platform/kernel/files.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/wintypes.h"

// The record CeRapiInitEx fills: cbSize = sizeof(RAPIINIT); the library signals
// heRapiInit (an event of the loader's platform, which CeRapiUninit closes) once the
// connection is up or has failed, with hrRapiInit the outcome.
struct RAPIINIT {
    DWORD cbSize;
    HANDLE heRapiInit;
    HRESULT hrRapiInit;
};

typedef WIN32_FIND_DATAW CE_FIND_DATA;
typedef CE_FIND_DATA* LPCE_FIND_DATA;

struct CEOSVERSIONINFO {
    DWORD dwOSVersionInfoSize;  // 276, set by the caller
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    WCHAR szCSDVersion[128];
};
typedef CEOSVERSIONINFO* LPCEOSVERSIONINFO;
static_assert(sizeof(CEOSVERSIONINFO) == 276);
#define VER_PLATFORM_WIN32_CE 3

// What a device library's export writes a stream-mode reply to. Minimal: the
// device's service here invokes in block mode only and passes no stream.
class IRAPIStream {
  public:
    virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;
    virtual ULONG Release() = 0;

  protected:
    virtual ~IRAPIStream() = default;
};

// The form of a device library's export that CeRapiInvoke calls: input size and
// bytes, then the reply's size and block (LocalAlloc'ed by the export; the service
// frees it), then the stream.
typedef HRESULT (*RAPIEXT)(DWORD cbInput, BYTE* pInput, DWORD* pcbOutput, BYTE** ppOutput,
                           IRAPIStream* pIRAPIStream);

// The entry points of "rapi.dll", as the desktop looks them up.
typedef HRESULT (*PFN_CeRapiInvoke)(LPCWSTR dllPath, LPCWSTR functionName, DWORD cbInput,
                                    BYTE* pInput, DWORD* pcbOutput, BYTE** ppOutput,
                                    IRAPIStream** ppIRAPIStream, DWORD reserved);
typedef HRESULT (*PFN_CeRapiInitEx)(RAPIINIT* init);
typedef HRESULT (*PFN_CeRapiUninit)();
typedef DWORD (*PFN_CeGetFileAttributes)(LPCWSTR fileName);
typedef BOOL (*PFN_CeCreateDirectory)(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes);
typedef BOOL (*PFN_CeCopyFile)(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
typedef BOOL (*PFN_CeDeleteFile)(LPCWSTR fileName);
typedef DWORD (*PFN_CeGetFileSize)(HANDLE file, LPDWORD fileSizeHigh);
typedef LONG (*PFN_CeRegOpenKeyEx)(HKEY key, LPCWSTR subKey, DWORD options, REGSAM sam,
                                   PHKEY result);
typedef LONG (*PFN_CeRegCreateKeyEx)(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass,
                                     DWORD options, REGSAM sam, LPSECURITY_ATTRIBUTES security,
                                     PHKEY result, LPDWORD disposition);
typedef LONG (*PFN_CeRegCloseKey)(HKEY key);
typedef LONG (*PFN_CeRegSetValueEx)(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type,
                                    const BYTE* data, DWORD dataSize);
typedef LONG (*PFN_CeRegQueryValueEx)(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type,
                                      LPBYTE data, LPDWORD dataSize);
typedef HANDLE (*PFN_CeFindFirstFile)(LPCWSTR fileName, LPCE_FIND_DATA findData);
typedef BOOL (*PFN_CeFindNextFile)(HANDLE findFile, LPCE_FIND_DATA findData);
typedef BOOL (*PFN_CeFindClose)(HANDLE findFile);
typedef HANDLE (*PFN_CeCreateFile)(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                                   DWORD flagsAndAttributes, HANDLE templateFile);
typedef BOOL (*PFN_CeReadFile)(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                               LPOVERLAPPED overlapped);
typedef BOOL (*PFN_CeWriteFile)(HANDLE file, LPCVOID buffer, DWORD bytesToWrite,
                                LPDWORD bytesWritten, LPOVERLAPPED overlapped);
typedef BOOL (*PFN_CeCloseHandle)(HANDLE object);
typedef void (*PFN_CeGetSystemInfo)(LPSYSTEM_INFO info);
typedef BOOL (*PFN_CeSHCreateShortcut)(LPWSTR shortcut, LPWSTR target);
typedef void (*PFN_CeGlobalMemoryStatus)(LPMEMORYSTATUS status);
typedef BOOL (*PFN_CeGetVersionEx)(LPCEOSVERSIONINFO info);
typedef BOOL (*PFN_CeMoveFile)(LPCWSTR existingFileName, LPCWSTR newFileName);
