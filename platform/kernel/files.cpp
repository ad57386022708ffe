// Files and folders: opening with the platform's dispositions and sharing,
// reading, writing, seeking, and deleting, moving, copying and making folders.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "platform/kernel/file_system.h"

namespace platform {
namespace {

struct OpenEntry {
    const void* owner;
    DWORD access;
    DWORD share;
};

// Outlives the program's static objects, whose destructors may still close files.
std::mutex& g_openFilesLock = *new std::mutex;
auto& g_openFiles = *new std::map<fs::FileKey, std::vector<OpenEntry>>;

constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;

DWORD NormalAccess(DWORD access) {
    if (access & GENERIC_ALL) {
        access |= GENERIC_READ | GENERIC_WRITE;
    }
    if (access & GENERIC_EXECUTE) {
        access |= GENERIC_READ;
    }
    return access & kDataAccess;
}

// Opens that touch no data (access 0) never conflict, as on the platform.
bool SharingAllowsLocked(const fs::FileKey& key, DWORD access, DWORD share) {
    if (!(access & kDataAccess)) {
        return true;
    }
    auto it = g_openFiles.find(key);
    if (it == g_openFiles.end()) {
        return true;
    }
    for (const OpenEntry& open : it->second) {
        if (!(open.access & kDataAccess)) {
            continue;
        }
        if (((access & GENERIC_READ) && !(open.share & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(open.share & FILE_SHARE_WRITE)) ||
            ((open.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
            ((open.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE))) {
            return false;
        }
    }
    return true;
}

std::mutex g_writeLimitLock;
bool g_writeLimitOn = false;
ULONGLONG g_writeAllowance = 0;

std::mutex g_deviceOpenerLock;
DeviceOpener g_deviceOpener;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

void FailWritesAfter(ULONGLONG bytes) {
    std::lock_guard<std::mutex> guard(g_writeLimitLock);
    g_writeLimitOn = true;
    g_writeAllowance = bytes;
}

void ClearWriteFailure() {
    std::lock_guard<std::mutex> guard(g_writeLimitLock);
    g_writeLimitOn = false;
}

void SetDeviceOpener(DeviceOpener opener) {
    std::lock_guard<std::mutex> guard(g_deviceOpenerLock);
    g_deviceOpener = std::move(opener);
}

namespace fs {

ULONGLONG TakeWriteAllowance(ULONGLONG bytes) {
    std::lock_guard<std::mutex> guard(g_writeLimitLock);
    if (!g_writeLimitOn) {
        return bytes;
    }
    ULONGLONG granted = std::min(bytes, g_writeAllowance);
    g_writeAllowance -= granted;
    return granted;
}

FileKey KeyOf(const struct stat& status) {
    return FileKey{status.st_dev, status.st_ino};
}

std::mutex& OpenFilesLock() {
    return g_openFilesLock;
}

bool IsOpenLocked(const FileKey& key) {
    auto it = g_openFiles.find(key);
    if (it == g_openFiles.end()) {
        return false;
    }
    return std::any_of(it->second.begin(), it->second.end(),
                       [](const OpenEntry& open) { return (open.access & kDataAccess) != 0; });
}

// Registers itself; the caller holds OpenFilesLock().
FileObject::FileObject(int fd, FileKey key, DWORD access, DWORD share)
    : fd_(fd), key_(key), access_(access), share_(share) {
    g_openFiles[key_].push_back(OpenEntry{this, access_, share_});
}

FileObject::~FileObject() {
    {
        std::lock_guard<std::mutex> guard(g_openFilesLock);
        auto it = g_openFiles.find(key_);
        if (it != g_openFiles.end()) {
            auto& opens = it->second;
            opens.erase(
                std::remove_if(opens.begin(), opens.end(),
                               [this](const OpenEntry& open) { return open.owner == this; }),
                opens.end());
            if (opens.empty()) {
                g_openFiles.erase(it);
            }
        }
    }
    close(fd_);
}

bool FileObject::CanRead() const {
    return (access_ & GENERIC_READ) != 0;
}

bool FileObject::CanWrite() const {
    return (access_ & GENERIC_WRITE) != 0;
}

BOOL FileObject::Read(LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) {
    if (bytesRead) {
        *bytesRead = 0;
    }
    if (!CanRead()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    std::lock_guard<std::mutex> guard(lock_);
    DWORD total = 0;
    while (total < bytesToRead) {
        ssize_t n = read(fd_, static_cast<char*>(buffer) + total, bytesToRead - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            if (bytesRead) {
                *bytesRead = total;
            }
            return Fail(ErrorFromErrno(errno));
        }
        if (n == 0) {
            break;
        }
        total += static_cast<DWORD>(n);
    }
    if (bytesRead) {
        *bytesRead = total;
    }
    return TRUE;
}

BOOL FileObject::Write(LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) {
    if (bytesWritten) {
        *bytesWritten = 0;
    }
    if (!CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    std::lock_guard<std::mutex> guard(lock_);
    DWORD allowed = static_cast<DWORD>(TakeWriteAllowance(bytesToWrite));
    DWORD total = 0;
    while (total < allowed) {
        ssize_t n = write(fd_, static_cast<const char*>(buffer) + total, allowed - total);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (bytesWritten) {
                *bytesWritten = total;
            }
            return Fail(n < 0 ? ErrorFromErrno(errno) : ERROR_DISK_FULL);
        }
        total += static_cast<DWORD>(n);
    }
    if (bytesWritten) {
        *bytesWritten = total;
    }
    return total == bytesToWrite ? TRUE : Fail(ERROR_DISK_FULL);
}

BOOL FileObject::Flush() {
    if (!CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    return fsync(fd_) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
}

namespace {

bool IsCreating(DWORD disposition) {
    return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

bool IsTruncating(DWORD disposition) {
    return disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
}

// The attributes a created or overwritten file is given: the caller's, with the
// archive mark the platform adds; FILE_ATTRIBUTE_NORMAL alone asks for none.
std::optional<DWORD> CreatedAttributes(DWORD flagsAndAttributes) {
    DWORD attributes = flagsAndAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY);
    if (attributes == 0) {
        return std::nullopt;
    }
    return attributes | FILE_ATTRIBUTE_ARCHIVE;
}

}  // namespace

std::shared_ptr<FileObject> OpenFile(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                     DWORD creationDisposition, DWORD flagsAndAttributes) {
    auto fail = [](DWORD error) {
        SetLastError(error);
        return std::shared_ptr<FileObject>();
    };
    DWORD access = NormalAccess(desiredAccess);
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING ||
        (creationDisposition == TRUNCATE_EXISTING && !(access & GENERIC_WRITE))) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    Resolved resolved;
    if (!Resolve(fileName, &resolved)) {
        return nullptr;
    }
    if (resolved.isRoot) {
        return fail(ERROR_ACCESS_DENIED);
    }
    const char* host = resolved.host.c_str();

    int mode = (access == kDataAccess) ? O_RDWR : (access & GENERIC_WRITE) ? O_WRONLY : O_RDONLY;
    mode |= O_CLOEXEC | O_NOCTTY;

    std::lock_guard<std::mutex> guard(g_openFilesLock);
    bool created = false;
    int fd = -1;
    if (IsCreating(creationDisposition)) {
        fd = open(host, mode | O_CREAT | O_EXCL, 0666);
        created = fd >= 0;
        if (fd < 0 && errno == EEXIST && creationDisposition != CREATE_NEW) {
            fd = open(host, mode);
        }
    } else {
        fd = open(host, mode);
    }
    if (fd < 0 && errno == EACCES && access == 0 && !created) {
        // An open for no data still answers size and attributes.
        fd = open(host, O_PATH | O_CLOEXEC);
    }
    if (fd < 0) {
        int error = errno;
        struct stat status;
        bool isFolder = stat(host, &status) == 0 && S_ISDIR(status.st_mode);
        if (error == EEXIST) {
            return fail(ERROR_FILE_EXISTS);
        }
        if (isFolder) {
            return fail(ERROR_ACCESS_DENIED);
        }
        return fail(error == ENOENT ? MissingError(resolved.host) : ErrorFromErrno(error));
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        close(fd);
        return fail(ERROR_ACCESS_DENIED);
    }
    FileKey key = KeyOf(status);
    if (!created) {
        if (!SharingAllowsLocked(key, access, shareMode)) {
            close(fd);
            return fail(ERROR_SHARING_VIOLATION);
        }
        DWORD attributes = AttributesOf(resolved.host, status);
        if ((attributes & FILE_ATTRIBUTE_READONLY) &&
            ((access & GENERIC_WRITE) || IsTruncating(creationDisposition))) {
            close(fd);
            return fail(ERROR_ACCESS_DENIED);
        }
        if (IsTruncating(creationDisposition)) {
            int result = (access & GENERIC_WRITE) ? ftruncate(fd, 0) : truncate(host, 0);
            if (result != 0) {
                int error = errno;
                close(fd);
                return fail(ErrorFromErrno(error));
            }
        }
    }
    if (created) {
        // A stale entry from a file removed behind the platform's back goes.
        StoreAttributes(resolved.host, CreatedAttributes(flagsAndAttributes));
    } else if (IsTruncating(creationDisposition) && CreatedAttributes(flagsAndAttributes)) {
        StoreAttributes(resolved.host, CreatedAttributes(flagsAndAttributes));
    }
    auto file = std::make_shared<FileObject>(fd, key, access, shareMode);
    bool existed =
        !created && (creationDisposition == OPEN_ALWAYS || creationDisposition == CREATE_ALWAYS);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

}  // namespace fs
}  // namespace platform

using namespace platform;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    if (fileName && fs::IsDeviceName(fileName)) {
        DeviceOpener opener;
        {
            std::lock_guard<std::mutex> guard(g_deviceOpenerLock);
            opener = g_deviceOpener;
        }
        if (!opener) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return INVALID_HANDLE_VALUE;
        }
        return opener(fileName, desiredAccess, shareMode, creationDisposition);
    }
    std::shared_ptr<fs::FileObject> file =
        fs::OpenFile(fileName, desiredAccess, shareMode, creationDisposition, flagsAndAttributes);
    if (!file) {
        return INVALID_HANDLE_VALUE;
    }
    DWORD error = GetLastError();  // ERROR_ALREADY_EXISTS stays for the caller
    HANDLE handle = InsertHandle(std::move(file));
    SetLastError(error);
    return handle;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    std::shared_ptr<StreamObject> stream = LookupHandleAs<StreamObject>(file);
    if (!stream) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!buffer && bytesToRead) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return stream->Read(buffer, bytesToRead, bytesRead);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED) {
    std::shared_ptr<StreamObject> stream = LookupHandleAs<StreamObject>(file);
    if (!stream) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!buffer && bytesToWrite) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return stream->Write(buffer, bytesToWrite, bytesWritten);
}

BOOL FlushFileBuffers(HANDLE file) {
    std::shared_ptr<StreamObject> stream = LookupHandleAs<StreamObject>(file);
    if (!stream) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    return stream->Flush();
}

DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
    std::shared_ptr<fs::FileObject> object = LookupHandleAs<fs::FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t distance =
        distanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<uint32_t>(*distanceToMoveHigh)) << 32) |
                  static_cast<uint32_t>(distanceToMove))
            : static_cast<int64_t>(distanceToMove);
    std::lock_guard<std::mutex> guard(object->lock());
    int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = lseek(object->fd(), 0, SEEK_CUR);
    } else if (moveMethod == FILE_END) {
        struct stat status;
        base = fstat(object->fd(), &status) == 0 ? status.st_size : -1;
    } else if (moveMethod != FILE_BEGIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {
        SetLastError(fs::ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distance > 0 && base > std::numeric_limits<int64_t>::max() - distance) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target = base + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Without the high part the position must fit in 32 bits.
    if (!distanceToMoveHigh && target > 0xFFFFFFFFll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(object->fd(), target, SEEK_SET) < 0) {
        SetLastError(fs::ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh) {
        *distanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(target) >> 32);
    }
    // A position whose low part is 0xFFFFFFFF is told from a failure by this.
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(target);
}

BOOL SetEndOfFile(HANDLE file) {
    std::shared_ptr<fs::FileObject> object = LookupHandleAs<fs::FileObject>(file);
    if (!object) {
        return Fail(ERROR_INVALID_HANDLE);
    }
    if (!object->CanWrite()) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    std::lock_guard<std::mutex> guard(object->lock());
    off_t position = lseek(object->fd(), 0, SEEK_CUR);
    if (position < 0 || ftruncate(object->fd(), position) != 0) {
        return Fail(fs::ErrorFromErrno(errno));
    }
    return TRUE;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    std::shared_ptr<fs::FileObject> object = LookupHandleAs<fs::FileObject>(file);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    struct stat status;
    if (fstat(object->fd(), &status) != 0) {
        SetLastError(fs::ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(status.st_size);
    if (fileSizeHigh) {
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

namespace {

// Whether the host path names an existing entry (not following a last symlink).
bool Exists(const std::filesystem::path& host, struct stat* status) {
    return lstat(host.c_str(), status) == 0;
}

BOOL FailMissing(const fs::Resolved& resolved) {
    return Fail(errno == ENOENT ? fs::MissingError(resolved.host) : fs::ErrorFromErrno(errno));
}

bool IsReadOnly(const std::filesystem::path& host, const struct stat& status) {
    return (fs::AttributesOf(host, status) & FILE_ATTRIBUTE_READONLY) != 0;
}

// Copies the data of one open file into another; false with the last error set.
bool CopyData(fs::FileObject& source, fs::FileObject& target) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        DWORD got = 0;
        if (!source.Read(buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        DWORD put = 0;
        if (!target.Write(buffer.data(), got, &put)) {
            return false;
        }
    }
}

BOOL CopyFileHost(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
    std::shared_ptr<fs::FileObject> source =
        fs::OpenFile(existingFileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
    if (!source) {
        return FALSE;
    }
    fs::Resolved sourcePath;
    fs::Resolve(existingFileName, &sourcePath);
    struct stat sourceStatus;
    if (fstat(source->fd(), &sourceStatus) != 0) {
        return Fail(fs::ErrorFromErrno(errno));
    }
    DWORD attributes = fs::AttributesOf(sourcePath.host, sourceStatus);

    std::shared_ptr<fs::FileObject> target =
        fs::OpenFile(newFileName, GENERIC_WRITE, 0, failIfExists ? CREATE_NEW : CREATE_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL);
    if (!target) {
        return FALSE;
    }
    fs::Resolved targetPath;
    fs::Resolve(newFileName, &targetPath);
    if (!CopyData(*source, *target)) {
        // The platform leaves no half-copied file behind.
        DWORD error = GetLastError();
        target.reset();
        unlink(targetPath.host.c_str());
        fs::StoreAttributes(targetPath.host, std::nullopt);
        return Fail(error);
    }
    struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
    futimens(target->fd(), times);
    // A program copied stays one: the host runs only files marked executable.
    fchmod(target->fd(), sourceStatus.st_mode & 0777);
    // Attributes travel with the copy.
    DWORD kept = attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    kept |= FILE_ATTRIBUTE_ARCHIVE;
    fs::StoreAttributes(targetPath.host,
                        kept == FILE_ATTRIBUTE_ARCHIVE ? std::nullopt : std::optional<DWORD>(kept));
    return TRUE;
}

}  // namespace

BOOL DeleteFileW(LPCWSTR fileName) {
    fs::Resolved resolved;
    if (!fs::Resolve(fileName, &resolved)) {
        return FALSE;
    }
    struct stat status;
    if (resolved.isRoot) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (!Exists(resolved.host, &status)) {
        return FailMissing(resolved);
    }
    struct stat target = status;
    stat(resolved.host.c_str(), &target);
    if (S_ISDIR(target.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    std::lock_guard<std::mutex> guard(fs::OpenFilesLock());
    if (fs::IsOpenLocked(fs::KeyOf(target))) {
        return Fail(ERROR_SHARING_VIOLATION);
    }
    if (IsReadOnly(resolved.host, target)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (unlink(resolved.host.c_str()) != 0) {
        return Fail(fs::ErrorFromErrno(errno));
    }
    fs::StoreAttributes(resolved.host, std::nullopt);
    return TRUE;
}

BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
    fs::Resolved source;
    fs::Resolved target;
    if (!fs::Resolve(existingFileName, &source) || !fs::Resolve(newFileName, &target)) {
        return FALSE;
    }
    if (source.isRoot || target.isRoot) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    struct stat sourceStatus;
    if (!Exists(source.host, &sourceStatus)) {
        return FailMissing(source);
    }
    struct stat folderStatus;
    if (stat(target.host.parent_path().c_str(), &folderStatus) != 0 ||
        !S_ISDIR(folderStatus.st_mode)) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    // The target resolved onto the source itself: a change of case only.
    std::filesystem::path destination = target.host;
    struct stat targetStatus;
    if (Exists(target.host, &targetStatus)) {
        if (targetStatus.st_dev != sourceStatus.st_dev ||
            targetStatus.st_ino != sourceStatus.st_ino) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        destination = target.host.parent_path() / target.givenLeaf;
        if (destination == source.host) {
            return TRUE;
        }
    }
    bool isFolder = S_ISDIR(sourceStatus.st_mode);
    {
        std::lock_guard<std::mutex> guard(fs::OpenFilesLock());
        if (!isFolder && fs::IsOpenLocked(fs::KeyOf(sourceStatus))) {
            return Fail(ERROR_SHARING_VIOLATION);
        }
        int result = renameat2(AT_FDCWD, source.host.c_str(), AT_FDCWD, destination.c_str(),
                               destination == target.host ? RENAME_NOREPLACE : 0);
        if (result != 0 && errno == EINVAL && destination == target.host) {
            // A file system without RENAME_NOREPLACE; the check above stands.
            result = rename(source.host.c_str(), destination.c_str());
        }
        if (result == 0) {
            fs::MoveStoredAttributes(source.host, destination);
            return TRUE;
        }
        if (errno == EEXIST) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        if (errno != EXDEV || isFolder) {
            return Fail(fs::ErrorFromErrno(errno));
        }
    }
    // Across host file systems a file is copied, then the original removed.
    if (!CopyFileHost(existingFileName, newFileName, TRUE)) {
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(fs::OpenFilesLock());
    unlink(source.host.c_str());
    fs::StoreAttributes(source.host, std::nullopt);
    return TRUE;
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
    return CopyFileHost(existingFileName, newFileName, failIfExists);
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    fs::Resolved resolved;
    if (!fs::Resolve(pathName, &resolved)) {
        return FALSE;
    }
    if (resolved.isRoot) {
        return Fail(ERROR_ALREADY_EXISTS);
    }
    if (mkdir(resolved.host.c_str(), 0777) != 0) {
        if (errno == EEXIST) {
            return Fail(ERROR_ALREADY_EXISTS);
        }
        return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                        : fs::ErrorFromErrno(errno));
    }
    fs::StoreAttributes(resolved.host, std::nullopt);
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
    fs::Resolved resolved;
    if (!fs::Resolve(pathName, &resolved)) {
        return FALSE;
    }
    if (resolved.isRoot) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    struct stat status;
    if (!Exists(resolved.host, &status)) {
        return FailMissing(resolved);
    }
    if (!S_ISDIR(status.st_mode)) {
        return Fail(ERROR_DIRECTORY);
    }
    if (IsReadOnly(resolved.host, status)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // Empty as the platform sees it: only the stand-in's own files may remain.
    std::vector<std::string> internal;
    DIR* directory = opendir(resolved.host.c_str());
    if (!directory) {
        return Fail(fs::ErrorFromErrno(errno));
    }
    bool empty = true;
    while (dirent* entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (IsInternalName(name)) {
            internal.push_back(name);
        } else {
            empty = false;
        }
    }
    closedir(directory);
    if (!empty) {
        return Fail(ERROR_DIR_NOT_EMPTY);
    }
    for (const std::string& name : internal) {
        std::error_code ignored;
        std::filesystem::remove_all(resolved.host / name, ignored);
    }
    if (rmdir(resolved.host.c_str()) != 0) {
        return Fail(fs::ErrorFromErrno(errno));
    }
    fs::StoreAttributes(resolved.host, std::nullopt);
    return TRUE;
}
