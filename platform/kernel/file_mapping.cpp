// File mapping: views of files, and of memory backed by the page file. A named
// mapping backed by the page file is POSIX shared memory, so that another process
// of the same root opens the same memory by name.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/kernel/file_system.h"

namespace platform {
namespace {

constexpr ULONGLONG kAllocationGranularity = 64 * 1024;

// Cross-process life of a named shared memory segment. Every process that holds
// the segment keeps a shared lock on the "users" file; create and close take the
// "guard" lock around their decisions. A creator that can lock "users"
// exclusively knows nobody holds the segment, so whatever is there is left over
// from a process that died and is replaced. The last closer removes it. Locks
// die with their process, so a crash never leaves the name taken.
class SharedSegment {
  public:
    ~SharedSegment() {
        if (usersFd_ < 0) {
            return;
        }
        int guard = LockGuardFile();
        close(usersFd_);
        int users = open(usersPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (users >= 0 && flock(users, LOCK_EX | LOCK_NB) == 0) {
            shm_unlink(shmName_.c_str());
        }
        if (users >= 0) {
            close(users);
        }
        UnlockGuardFile(guard);
    }

    // Opens or creates the segment, giving its fd; null with the last error set.
    static std::unique_ptr<SharedSegment> Open(const std::u16string& name, ULONGLONG size, int* fd,
                                               ULONGLONG* actualSize, bool* existed) {
        auto segment = std::unique_ptr<SharedSegment>(new SharedSegment);
        std::filesystem::path folder = RuntimeFolder(CurrentRoot());
        std::string key = folder.string() + '\0' + fs::ToHost(name);
        uint64_t hash = 1469598103934665603ull;
        for (unsigned char c : key) {
            hash = (hash ^ c) * 1099511628211ull;
        }
        char id[40];
        snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(hash));
        segment->shmName_ = "/pathlume-" + std::to_string(getuid()) + "-" + id;
        segment->guardPath_ = folder / (std::string("shm-") + id + ".guard");
        segment->usersPath_ = folder / (std::string("shm-") + id + ".users");

        int guard = segment->LockGuardFile();
        if (guard < 0) {
            SetLastError(fs::ErrorFromErrno(errno));
            return nullptr;
        }
        segment->usersFd_ = open(segment->usersPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        int shm = -1;
        if (segment->usersFd_ >= 0) {
            if (flock(segment->usersFd_, LOCK_EX | LOCK_NB) == 0) {
                shm_unlink(segment->shmName_.c_str());
                shm = shm_open(segment->shmName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                               0600);
                if (shm >= 0 && ftruncate(shm, static_cast<off_t>(size)) != 0) {
                    close(shm);
                    shm_unlink(segment->shmName_.c_str());
                    shm = -1;
                }
                *existed = false;
                *actualSize = size;
            } else {
                shm = shm_open(segment->shmName_.c_str(), O_RDWR | O_CLOEXEC, 0600);
                struct stat status;
                *existed = true;
                *actualSize = shm >= 0 && fstat(shm, &status) == 0 ? status.st_size : 0;
            }
        }
        int error = errno;
        if (shm >= 0) {
            flock(segment->usersFd_, LOCK_SH);
        }
        UnlockGuardFile(guard);
        if (shm < 0) {
            if (segment->usersFd_ >= 0) {
                close(segment->usersFd_);
                segment->usersFd_ = -1;  // nothing for the destructor to release
            }
            SetLastError(fs::ErrorFromErrno(error));
            return nullptr;
        }
        *fd = shm;
        return segment;
    }

  private:
    SharedSegment() = default;

    int LockGuardFile() const {
        int guard = open(guardPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (guard >= 0) {
            while (flock(guard, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
        return guard;
    }

    static void UnlockGuardFile(int guard) {
        if (guard >= 0) {
            flock(guard, LOCK_UN);
            close(guard);
        }
    }

    std::string shmName_;
    std::filesystem::path guardPath_;
    std::filesystem::path usersPath_;
    int usersFd_ = -1;
};

class MappingObject : public KernelObject {
  public:
    ~MappingObject() override;

    int fd = -1;  // owned, except for a file's mapping
    bool ownsFd = true;
    ULONGLONG size = 0;
    DWORD protect = 0;
    std::shared_ptr<fs::FileObject> file;  // keeps the file open, as the platform does
    std::u16string name;
    std::unique_ptr<SharedSegment> segment;
};

// The tables outlive the program's static objects: a global that closes its
// mapped files at exit (the map database) may come after them in the order.
std::mutex& g_namesLock = *new std::mutex;
auto& g_names = *new std::map<std::u16string, std::weak_ptr<MappingObject>>;

MappingObject::~MappingObject() {
    if (ownsFd && fd >= 0) {
        close(fd);
    }
    segment.reset();
    if (!name.empty()) {
        std::lock_guard<std::mutex> guard(g_namesLock);
        auto it = g_names.find(name);
        if (it != g_names.end() && it->second.expired()) {
            g_names.erase(it);
        }
    }
}

struct View {
    size_t length;
    std::shared_ptr<MappingObject> mapping;
};
std::mutex& g_viewsLock = *new std::mutex;
auto& g_views = *new std::map<const void*, View>;

HANDLE FailHandle(DWORD error) {
    SetLastError(error);
    return nullptr;
}

}  // namespace
}  // namespace platform

using namespace platform;

HANDLE CreateFileForMappingW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                             LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                             DWORD flagsAndAttributes, HANDLE templateFile) {
    return CreateFileW(fileName, desiredAccess, shareMode, securityAttributes, creationDisposition,
                       flagsAndAttributes, templateFile);
}

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCWSTR name) {
    DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE && page != PAGE_WRITECOPY) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    ULONGLONG size = (static_cast<ULONGLONG>(maximumSizeHigh) << 32) | maximumSizeLow;
    std::u16string mappingName = fs::WideOf(name);

    std::unique_lock<std::mutex> names(g_namesLock);
    if (!mappingName.empty()) {
        auto it = g_names.find(mappingName);
        if (it != g_names.end()) {
            if (std::shared_ptr<MappingObject> existing = it->second.lock()) {
                names.unlock();
                HANDLE handle = InsertHandle(std::move(existing));
                SetLastError(ERROR_ALREADY_EXISTS);
                return handle;
            }
        }
    }

    auto mapping = std::make_shared<MappingObject>();
    mapping->protect = page;
    bool existed = false;
    if (file == INVALID_HANDLE_VALUE) {
        if (size == 0) {
            return FailHandle(ERROR_INVALID_PARAMETER);
        }
        if (mappingName.empty()) {
            mapping->fd = memfd_create("pathlume-mapping", MFD_CLOEXEC);
            if (mapping->fd < 0 || ftruncate(mapping->fd, static_cast<off_t>(size)) != 0) {
                return FailHandle(fs::ErrorFromErrno(errno));
            }
            mapping->size = size;
        } else {
            mapping->segment =
                SharedSegment::Open(mappingName, size, &mapping->fd, &mapping->size, &existed);
            if (!mapping->segment) {
                return nullptr;
            }
        }
    } else {
        std::shared_ptr<fs::FileObject> object = LookupHandleAs<fs::FileObject>(file);
        if (!object) {
            return FailHandle(ERROR_INVALID_HANDLE);
        }
        if (!object->CanRead() || (page == PAGE_READWRITE && !object->CanWrite())) {
            return FailHandle(ERROR_ACCESS_DENIED);
        }
        struct stat status;
        if (fstat(object->fd(), &status) != 0) {
            return FailHandle(fs::ErrorFromErrno(errno));
        }
        ULONGLONG fileSize = static_cast<ULONGLONG>(status.st_size);
        if (size == 0) {
            size = fileSize;
        }
        if (size == 0) {
            return FailHandle(ERROR_FILE_INVALID);
        }
        if (size > fileSize) {
            // A writable mapping grows its file; a read-only one cannot.
            if (page != PAGE_READWRITE) {
                return FailHandle(ERROR_NOT_ENOUGH_MEMORY);
            }
            if (ftruncate(object->fd(), static_cast<off_t>(size)) != 0) {
                return FailHandle(fs::ErrorFromErrno(errno));
            }
        }
        mapping->fd = object->fd();
        mapping->ownsFd = false;
        mapping->size = size;
        mapping->file = std::move(object);
    }
    if (!mappingName.empty()) {
        mapping->name = mappingName;
        g_names[mappingName] = mapping;
    }
    names.unlock();
    HANDLE handle = InsertHandle(std::move(mapping));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

LPVOID MapViewOfFile(HANDLE fileMappingObject, DWORD desiredAccess, DWORD fileOffsetHigh,
                     DWORD fileOffsetLow, SIZE_T numberOfBytesToMap) {
    std::shared_ptr<MappingObject> mapping = LookupHandleAs<MappingObject>(fileMappingObject);
    if (!mapping) {
        return FailHandle(ERROR_INVALID_HANDLE);
    }
    ULONGLONG offset = (static_cast<ULONGLONG>(fileOffsetHigh) << 32) | fileOffsetLow;
    if (offset % kAllocationGranularity != 0) {
        return FailHandle(ERROR_MAPPED_ALIGNMENT);
    }
    if (offset >= mapping->size) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    ULONGLONG length = numberOfBytesToMap ? numberOfBytesToMap : mapping->size - offset;
    if (length > mapping->size - offset) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    int prot = PROT_READ;
    int flags = MAP_SHARED;
    if (desiredAccess & FILE_MAP_WRITE) {
        if (mapping->protect != PAGE_READWRITE) {
            return FailHandle(ERROR_ACCESS_DENIED);
        }
        prot |= PROT_WRITE;
    } else if (desiredAccess == FILE_MAP_COPY) {
        prot |= PROT_WRITE;
        flags = MAP_PRIVATE;
    } else if (!(desiredAccess & FILE_MAP_READ)) {
        return FailHandle(ERROR_INVALID_PARAMETER);
    }
    void* address = mmap(nullptr, length, prot, flags, mapping->fd, static_cast<off_t>(offset));
    if (address == MAP_FAILED) {
        return FailHandle(errno == ENOMEM ? ERROR_NOT_ENOUGH_MEMORY : fs::ErrorFromErrno(errno));
    }
    std::lock_guard<std::mutex> guard(g_viewsLock);
    g_views[address] = View{static_cast<size_t>(length), std::move(mapping)};
    return address;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
    std::shared_ptr<MappingObject> mapping;  // released after the lock
    std::lock_guard<std::mutex> guard(g_viewsLock);
    auto it = g_views.find(baseAddress);
    if (it == g_views.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    munmap(const_cast<void*>(baseAddress), it->second.length);
    mapping = std::move(it->second.mapping);
    g_views.erase(it);
    return TRUE;
}
