// Files, folders, find, file attributes, file mapping and the desktop's drives.
// Paths are the platform's (see paths.h); handles are closed with CloseHandle,
// find handles with FindClose.
#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/kernel/handles.h"
#include "platform/kernel/memory.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/wintypes.h"

// Error codes the file calls report beyond the common ones.

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define DRIVE_UNKNOWN 0
#define DRIVE_NO_ROOT_DIR 1
#define DRIVE_REMOVABLE 2
#define DRIVE_FIXED 3
#define DRIVE_REMOTE 4
#define DRIVE_CDROM 5

#ifndef PAGE_WRITECOPY
#define PAGE_WRITECOPY 0x08
#endif
#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

// I/O here is always synchronous; the structure exists so that calls keep their
// platform signature (callers pass null).
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

// The handheld's layout of the find record.
struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwOID;
    WCHAR cFileName[MAX_PATH];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;
typedef WIN32_FIND_DATAW WIN32_FIND_DATA;
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATA;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
BOOL SetEndOfFile(HANDLE file);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL FlushFileBuffers(HANDLE file);

BOOL DeleteFileW(LPCWSTR fileName);
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
BOOL RemoveDirectoryW(LPCWSTR pathName);
DWORD GetFileAttributesW(LPCWSTR fileName);
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes);

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData);
BOOL FindClose(HANDLE findFile);

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes);

// The desktop's drives.
DWORD GetLogicalDrives();
UINT GetDriveTypeW(LPCWSTR rootPathName);
DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer);
UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName);

// File mapping. A file to be mapped is opened with CreateFileForMappingW (the
// same arguments as CreateFileW).
HANDLE CreateFileForMappingW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile);
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect,
                          DWORD maximumSizeHigh, DWORD maximumSizeLow, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh,
                     DWORD fileOffsetLow, SIZE_T numberOfBytesToMap);
BOOL UnmapViewOfFile(LPCVOID baseAddress);

namespace platform {

// What ReadFile, WriteFile and FlushFileBuffers work on: files, and devices
// opened by name (serial ports). Each call sets the last error on failure.
class StreamObject : public KernelObject {
  public:
    virtual BOOL Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) = 0;
    virtual BOOL Write(LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) = 0;
    virtual BOOL Flush() { return TRUE; }
};

// Devices are opened by name ("COM8:", "\\.\COM8") rather than by path: the module
// that serves them installs an opener, and CreateFileW hands such names to it. The
// opener returns INVALID_HANDLE_VALUE with the last error set when it has no such
// device. Without an opener such names are not found. Pass an empty function to
// remove it.
using DeviceOpener = std::function<HANDLE(LPCWSTR name, DWORD desiredAccess, DWORD shareMode,
                                          DWORD creationDisposition)>;
void SetDeviceOpener(DeviceOpener opener);

// The desktop's drive table (".pl-drives" in the desktop root). Without a table,
// C: is a fixed drive on <desktop root>/C.
enum class DriveType { Fixed, CdRom, Removable, Remote };
struct DriveEntry {
    char letter;  // 'A'..'Z'
    DriveType type;
    std::filesystem::path folder;  // absolute host folder
};
// Adds or replaces a drive, creating its folder when missing; a relative folder is
// taken from the desktop root. Returns false for a bad letter or an unwritable table.
bool SetDrive(char letter, DriveType type, const std::filesystem::path& hostFolder);
bool RemoveDrive(char letter);
std::vector<DriveEntry> Drives();

// Test hook: after `bytes` more bytes, WriteFile and CopyFileW fail as on a full
// disk: the write that crosses the limit writes what fits, then fails with
// ERROR_DISK_FULL, as does every write after it until the hook is cleared.
void FailWritesAfter(ULONGLONG bytes);
void ClearWriteFailure();

// Test hook: GetDiskFreeSpaceExW answers with these figures for `path` and every
// path under it (the longest matching prefix wins) instead of the host's.
struct DiskFreeSpace {
    ULONGLONG freeBytesAvailable;
    ULONGLONG totalBytes;
    ULONGLONG totalFreeBytes;
};
bool SetDiskFreeSpace(LPCWSTR path, const DiskFreeSpace& figures);
void ClearDiskFreeSpace();

}  // namespace platform
