// File attributes the host lacks (hidden, system, temporary, archive, a
// read-only mark), kept in a sidecar file in each folder.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/kernel/file_system.h"

namespace platform::fs {
namespace {

// Attributes SetFileAttributesW keeps; the others are the host's to tell.
constexpr DWORD kStoredMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                              FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                              FILE_ATTRIBUTE_TEMPORARY;

std::mutex g_sidecarLock;

std::map<std::string, DWORD> ReadSidecar(const std::filesystem::path& folder) {
    std::map<std::string, DWORD> entries;
    std::ifstream in(folder / kAttributesFile, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        // "%08X name": a malformed line is skipped, not fatal.
        if (line.size() < 10 || line[8] != ' ') {
            continue;
        }
        char* end = nullptr;
        std::string hex = line.substr(0, 8);
        unsigned long value = std::strtoul(hex.c_str(), &end, 16);
        if (end != hex.c_str() + 8) {
            continue;
        }
        entries[line.substr(9)] = static_cast<DWORD>(value) & kStoredMask;
    }
    return entries;
}

// The new sidecar is written beside the old one and renamed over it, so that a
// reader or a crash never meets half a file.
bool WriteSidecar(const std::filesystem::path& folder,
                  const std::map<std::string, DWORD>& entries) {
    std::filesystem::path target = folder / kAttributesFile;
    if (entries.empty()) {
        return unlink(target.c_str()) == 0 || errno == ENOENT;
    }
    std::string text;
    for (const auto& [name, value] : entries) {
        char hex[16];
        snprintf(hex, sizeof hex, "%08X ", static_cast<unsigned>(value));
        text += hex;
        text += name;
        text += '\n';
    }
    std::ostringstream suffix;
    suffix << '.' << getpid() << '.' << std::this_thread::get_id() << ".tmp";
    std::filesystem::path temporary = folder / (std::string(kAttributesFile) + suffix.str());
    int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    bool written = done == text.size() && fsync(fd) == 0;
    close(fd);
    if (!written || rename(temporary.c_str(), target.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Read, change and write a folder's sidecar as one step, between threads (the
// lock) and between processes (an advisory lock on the folder itself).
bool UpdateSidecar(const std::filesystem::path& folder,
                   const std::function<void(std::map<std::string, DWORD>&)>& change) {
    std::lock_guard<std::mutex> guard(g_sidecarLock);
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        return false;
    }
    while (flock(folderFd, LOCK_EX) != 0 && errno == EINTR) {
    }
    std::map<std::string, DWORD> entries = ReadSidecar(folder);
    std::map<std::string, DWORD> before = entries;
    change(entries);
    bool ok = entries == before || WriteSidecar(folder, entries);
    flock(folderFd, LOCK_UN);
    close(folderFd);
    return ok;
}

bool CanKeep(const std::filesystem::path& host) {
    std::string name = host.filename().string();
    return !name.empty() && name.find('\n') == std::string::npos;
}

}  // namespace

std::optional<DWORD> StoredAttributes(const std::filesystem::path& host) {
    std::map<std::string, DWORD> entries = ReadSidecar(host.parent_path());
    auto it = entries.find(host.filename().string());
    return it == entries.end() ? std::nullopt : std::optional<DWORD>(it->second);
}

std::map<std::string, DWORD> StoredAttributesOfFolder(const std::filesystem::path& folder) {
    return ReadSidecar(folder);
}

bool StoreAttributes(const std::filesystem::path& host, std::optional<DWORD> attributes) {
    if (!CanKeep(host)) {
        return !attributes;
    }
    std::string name = host.filename().string();
    return UpdateSidecar(host.parent_path(), [&](std::map<std::string, DWORD>& entries) {
        if (attributes) {
            entries[name] = *attributes & kStoredMask;
        } else {
            entries.erase(name);
        }
    });
}

void MoveStoredAttributes(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::optional<DWORD> stored = StoredAttributes(from);
    if (from.parent_path() == to.parent_path()) {
        std::string oldName = from.filename().string();
        std::string newName = to.filename().string();
        UpdateSidecar(from.parent_path(), [&](std::map<std::string, DWORD>& entries) {
            entries.erase(newName);
            if (stored) {
                entries.erase(oldName);
                entries[newName] = *stored;
            }
        });
        return;
    }
    // The new entry first: a crash between the two steps leaves a stale entry,
    // which a later create of that name clears, rather than losing the attributes.
    StoreAttributes(to, stored);
    if (stored) {
        StoreAttributes(from, std::nullopt);
    }
}

DWORD AttributesOf(const struct stat& status, std::optional<DWORD> stored) {
    bool folder = S_ISDIR(status.st_mode);
    DWORD attributes = stored ? *stored : (folder ? 0 : FILE_ATTRIBUTE_ARCHIVE);
    attributes &= kStoredMask;
    if (folder) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (!(status.st_mode & S_IWUSR)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

DWORD AttributesOf(const std::filesystem::path& host, const struct stat& status) {
    return AttributesOf(status, StoredAttributes(host));
}

}  // namespace platform::fs

using namespace platform;

DWORD GetFileAttributesW(LPCWSTR fileName) {
    fs::Resolved resolved;
    if (!fs::Resolve(fileName, &resolved)) {
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat status;
    if (stat(resolved.host.c_str(), &status) != 0) {
        SetLastError(errno == ENOENT ? fs::MissingError(resolved.host) : fs::ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (resolved.isRoot) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return fs::AttributesOf(resolved.host, status);
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD fileAttributes) {
    fs::Resolved resolved;
    if (!fs::Resolve(fileName, &resolved)) {
        return FALSE;
    }
    struct stat status;
    if (stat(resolved.host.c_str(), &status) != 0) {
        SetLastError(errno == ENOENT ? fs::MissingError(resolved.host) : fs::ErrorFromErrno(errno));
        return FALSE;
    }
    if (resolved.isRoot) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Clearing read-only also lifts a host's write protection, which would
    // otherwise keep reporting it.
    if (!(fileAttributes & FILE_ATTRIBUTE_READONLY) && !(status.st_mode & S_IWUSR) &&
        chmod(resolved.host.c_str(), status.st_mode | S_IWUSR) != 0) {
        SetLastError(fs::ErrorFromErrno(errno));
        return FALSE;
    }
    DWORD kept =
        fileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY);
    bool isDefault = S_ISDIR(status.st_mode) ? kept == 0 : kept == FILE_ATTRIBUTE_ARCHIVE;
    if (!fs::StoreAttributes(resolved.host,
                             isDefault ? std::nullopt : std::optional<DWORD>(kept))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
