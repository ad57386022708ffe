// Internal to the kernel's file calls: text conversion for host names, path
// resolution, the attribute sidecar, the table of open files and error mapping.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/kernel/files.h"
#include "platform/kernel/paths.h"

namespace platform::fs {

// Host names are UTF-8; a lone surrogate or a bad byte becomes U+FFFD.
std::string ToHost(std::u16string_view text);
std::u16string FromHost(std::string_view text);
std::u16string WideOf(LPCWSTR text);  // null gives an empty string

// The platform's case-insensitive comparison: ASCII and Latin-1 letters fold.
char16_t FoldCase(char16_t c);
bool EqualsFolded(std::u16string_view a, std::u16string_view b);
// Find's wildcards: '*' any run, '?' one character; a trailing ".*" also matches
// a name without a dot, so "*.*" matches everything.
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);
bool HasWildcards(std::u16string_view text);

struct Resolved {
    std::filesystem::path host;  // the host path, components in their real case
    std::string givenLeaf;       // the last component as the caller spelled it
    bool isRoot = false;         // a root itself ("\", "C:\")
};
// Resolves a platform path on the current side (or passes a host path through).
// Sets the last error and returns false when the path cannot name a place.
bool Resolve(LPCWSTR path, Resolved* out);
bool Resolve(LPCWSTR path, Side side, Resolved* out);

// The drive table's entry for a letter, if the drive exists.
std::optional<DriveEntry> LookupDrive(char letter);

// Whether a name is a device name that CreateFileW hands to the device opener.
bool IsDeviceName(std::u16string_view name);

// Last errors for host failures.
DWORD ErrorFromErrno(int error);
// ERROR_FILE_NOT_FOUND when the folder of `host` exists, else ERROR_PATH_NOT_FOUND.
DWORD MissingError(const std::filesystem::path& host);

FILETIME FileTimeOf(const struct timespec& time);

// Attributes the host lacks live in a sidecar file in each folder, one line per
// entry. An entry is keyed by the entry's host name.
inline constexpr const char* kAttributesFile = ".pl-attributes";
// The stored attributes of one entry, if any.
std::optional<DWORD> StoredAttributes(const std::filesystem::path& host);
// All entries of one folder (for find).
std::map<std::string, DWORD> StoredAttributesOfFolder(const std::filesystem::path& folder);
// Sets (or with nullopt drops) the entry of `host`.
bool StoreAttributes(const std::filesystem::path& host, std::optional<DWORD> attributes);
// Moves the entry of `from` to `to` (dropping any entry `to` had).
void MoveStoredAttributes(const std::filesystem::path& from, const std::filesystem::path& to);
// The attributes the platform reports for a host entry.
DWORD AttributesOf(const struct stat& status, std::optional<DWORD> stored);
DWORD AttributesOf(const std::filesystem::path& host, const struct stat& status);

// The process-wide table of open files, keyed by device and inode, that makes
// opens the platform would refuse for sharing fail here too.
struct FileKey {
    dev_t device;
    ino_t inode;
    bool operator<(const FileKey& other) const {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};
FileKey KeyOf(const struct stat& status);
// Held while deciding on and changing the table, and while a file is deleted or
// moved, so that the check and the change are one step.
std::mutex& OpenFilesLock();
// Whether any handle (or mapping) holds the file open for its data; call with
// OpenFilesLock() held.
bool IsOpenLocked(const FileKey& key);

// An open file. It enters itself in the table of open files on construction
// (made with OpenFilesLock() held) and leaves it when destroyed.
class FileObject : public StreamObject {
  public:
    FileObject(int fd, FileKey key, DWORD access, DWORD share);
    ~FileObject() override;

    BOOL Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) override;
    BOOL Write(LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) override;
    BOOL Flush() override;

    int fd() const { return fd_; }
    bool CanRead() const;
    bool CanWrite() const;
    // Serialises moves of the file position.
    std::mutex& lock() { return lock_; }

  private:
    int fd_;
    FileKey key_;
    DWORD access_;
    DWORD share_;
    std::mutex lock_;
};

// Opens a file (CreateFileW's work); returns null with the last error set.
std::shared_ptr<FileObject> OpenFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     DWORD creationDisposition, DWORD flagsAndAttributes);

// Consumes the write allowance of FailWritesAfter: returns how many of `bytes` may
// be written (all of them when the hook is off).
ULONGLONG TakeWriteAllowance(ULONGLONG bytes);

}  // namespace platform::fs
