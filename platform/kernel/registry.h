// The registry: keys and typed values under the predefined roots, kept in one text
// file per root (device and desktop), so that several programs on the same root
// share it. Every change is saved at once, atomically, under a file lock; a read
// sees changes another process saved. Key and value names are case-insensitive and
// keep the case they were created with.
//
// The file (".pl-registry" in the root) is UTF-8 text, one key per section:
//   [HKEY_CURRENT_USER\Software\X]
//   "Count"=dword:0000001e
//   "Name"="text with \"quotes\", \\ and \n"
//   ""="the default value"
//   "Blob"=hex:01,02,ff
//   "Other"=hex(7):61,00,00,00          (any other type or shape, by number)
// Lines starting with ';' are comments. Lines that do not parse are skipped and the
// rest of the file is used; the unreadable original is kept beside it as
// ".pl-registry.corrupt" when the file is next saved.
//
// Subkeys enumerate in name order (case-insensitive), values in the order they were
// created. RegDeleteKeyW removes the whole subtree on the device side, as the
// handheld does, and refuses a key with subkeys (ERROR_ACCESS_DENIED) on the desktop
// side, as the desktop does.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/roots.h"
#include "platform/kernel/wintypes.h"

typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u

#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u
#define REG_OPTION_NON_VOLATILE 0u

// Access rights are accepted and not enforced.
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPCWSTR keyClass, DWORD options,
                     REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                     LPDWORD disposition);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey);
// nameLength: in characters, the terminator included on input and not on output.
LONG RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPWSTR keyClass, LPDWORD classLength, LPFILETIME lastWriteTime);
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                   LPDWORD type, LPBYTE data, LPDWORD dataSize);
// Changes are on disk when the call that made them returns; this only checks the key.
LONG RegFlushKey(HKEY key);

#define RegOpenKeyEx RegOpenKeyExW
#define RegCreateKeyEx RegCreateKeyExW
#define RegQueryValueEx RegQueryValueExW
#define RegSetValueEx RegSetValueExW
#define RegDeleteValue RegDeleteValueW
#define RegDeleteKey RegDeleteKeyW
#define RegEnumKeyEx RegEnumKeyExW
#define RegEnumValue RegEnumValueW

namespace platform {

// The registry file of a side's root.
std::filesystem::path RegistryFile(Side side);

// Whether a save returns only once the registry file is on disk (the default). A
// tool whose device root is thrown away at its end turns it off: each save is still
// one whole file renamed into place, but no longer waits for the disk.
void SetRegistrySavesDurable(bool durable);

// Whether the registry is kept in memory, each file read once and never written (off
// by default). A tool whose device root is thrown away at its end, and that no other
// process shares, turns it on; turning it off drops what was changed in memory only.
void SetRegistryKeptInMemory(bool kept);

// One value for RegSetValuesW.
struct RegValueWrite {
    std::u16string name;
    DWORD type = REG_DWORD;
    std::vector<BYTE> data;
};
// Sets several values of one key as one change of the registry file: another reader,
// or a process killed during the call, sees all of them or none. Fails as
// RegSetValueExW does, before anything is changed.
LONG RegSetValuesW(HKEY key, const std::vector<RegValueWrite>& values);

// A handle to a predefined root (HKEY_CURRENT_USER, ...) of an explicit side's
// registry, whatever side this process is on: the remote-API stand-in reaches the
// device's registry from the desktop program with it. Keys opened under the handle
// stay on that side. Close it with RegCloseKey.
LONG OpenRegistryRoot(Side side, HKEY predefinedKey, PHKEY result);

}  // namespace platform
