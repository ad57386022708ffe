#include "platform/kernel/paths.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/kernel/file_system.h"
#include "platform/kernel/text.h"

namespace platform {
namespace fs {

std::string ToHost(std::u16string_view text) {
    return WideToUtf8(text);
}

std::u16string FromHost(std::string_view text) {
    return Utf8ToWide(text);
}

std::u16string WideOf(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string();
}

char16_t FoldCase(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<char16_t>(c - 0x20);
    }
    // Latin-1 lower-case letters, except the division sign and y with diaeresis
    // (whose capital lies outside Latin-1).
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) {
        return static_cast<char16_t>(c - 0x20);
    }
    return c;
}

bool EqualsFolded(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) {
            return false;
        }
    }
    return true;
}

namespace {

bool MatchFrom(std::u16string_view name, std::u16string_view pattern) {
    // Iterative match with one backtrack point for the last '*'.
    size_t n = 0;
    size_t p = 0;
    size_t starPattern = std::u16string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (starPattern != std::u16string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    if (MatchFrom(name, pattern)) {
        return true;
    }
    // A name without an extension matches a trailing ".*" with nothing.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == u".*" &&
        name.find(u'.') == std::u16string_view::npos) {
        return MatchFrom(name, pattern.substr(0, pattern.size() - 2));
    }
    return false;
}

bool HasWildcards(std::u16string_view text) {
    return text.find_first_of(u"*?") != std::u16string_view::npos;
}

bool IsDeviceName(std::u16string_view name) {
    if (name.size() > 4 && name.substr(0, 4) == u"\\\\.\\") {
        return true;
    }
    // "COM1:", "GPD0:": three letters, a digit, a colon.
    if (name.size() != 5 || name[4] != u':' || name[3] < u'0' || name[3] > u'9') {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        char16_t c = FoldCase(name[i]);
        if (c < u'A' || c > u'Z') {
            return false;
        }
    }
    return true;
}

DWORD ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EBUSY:
        case ETXTBSY:
            return ERROR_SHARING_VIOLATION;
        case EIO:
            return ERROR_GEN_FAILURE;
        default:
            return ERROR_GEN_FAILURE;
    }
}

DWORD MissingError(const std::filesystem::path& host) {
    struct stat status;
    if (stat(host.parent_path().c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return ERROR_PATH_NOT_FOUND;
}

FILETIME FileTimeOf(const struct timespec& time) {
    // FILETIME counts 100 ns units since 1601-01-01.
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    int64_t seconds = static_cast<int64_t>(time.tv_sec) + kSecondsFrom1601To1970;
    uint64_t units = seconds < 0 ? 0
                                 : static_cast<uint64_t>(seconds) * 10000000u +
                                       static_cast<uint64_t>(time.tv_nsec) / 100u;
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

namespace {

bool IsBadNameCharacter(char16_t c) {
    return c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u':' || c == u'*' ||
           c == u'?';
}

// The entry of `folder` whose name equals `name` when case is folded; the first by
// byte order when the host holds several.
std::optional<std::string> FindFolded(const std::filesystem::path& folder,
                                      std::u16string_view name) {
    DIR* directory = opendir(folder.c_str());
    if (!directory) {
        return std::nullopt;
    }
    std::optional<std::string> best;
    while (dirent* entry = readdir(directory)) {
        std::string candidate = entry->d_name;
        if (candidate == "." || candidate == ".." || IsInternalName(candidate)) {
            continue;
        }
        if (EqualsFolded(FromHost(candidate), name) && (!best || candidate < *best)) {
            best = candidate;
        }
    }
    closedir(directory);
    return best;
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

}  // namespace

bool Resolve(LPCWSTR path, Side side, Resolved* out) {
    if (!path || !*path) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    std::u16string_view text(path);
    if (text[0] == u'/') {
        // A host folder with a platform name put after it ("/opt/x" + "\arm\y.dll"):
        // the backslashes separate too.
        std::u16string slashed(text);
        std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
        out->host = ToHost(slashed);
        out->givenLeaf = out->host.filename().string();
        out->isRoot = false;
        return true;
    }
    if (text.size() >= MAX_PATH) {
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    }

    std::filesystem::path root;
    size_t start = 0;
    if (text.size() >= 2 && text[1] == u':' && FoldCase(text[0]) >= u'A' &&
        FoldCase(text[0]) <= u'Z') {
        std::optional<DriveEntry> drive = LookupDrive(static_cast<char>(FoldCase(text[0])));
        if (!drive) {
            return Fail(ERROR_PATH_NOT_FOUND);
        }
        root = drive->folder;
        start = 2;
    } else if (side == Side::Device) {
        root = DeviceRoot();
    } else {
        std::optional<DriveEntry> drive = LookupDrive('C');
        if (!drive) {
            return Fail(ERROR_PATH_NOT_FOUND);
        }
        root = drive->folder;
    }

    std::vector<std::u16string_view> parts;
    size_t position = start;
    while (position <= text.size()) {
        size_t end = text.find_first_of(u"\\/", position);
        if (end == std::u16string_view::npos) {
            end = text.size();
        }
        std::u16string_view part = text.substr(position, end - position);
        position = end + 1;
        if (part.empty() || part == u".") {
            continue;
        }
        if (part == u"..") {
            // A path may not climb out of its root.
            if (parts.empty()) {
                return Fail(ERROR_PATH_NOT_FOUND);
            }
            parts.pop_back();
            continue;
        }
        if (std::any_of(part.begin(), part.end(), IsBadNameCharacter)) {
            return Fail(ERROR_INVALID_NAME);
        }
        if (IsInternalName(ToHost(part))) {
            return Fail(ERROR_ACCESS_DENIED);
        }
        parts.push_back(part);
    }

    std::filesystem::path host = root;
    bool exists = true;
    for (std::u16string_view part : parts) {
        std::string name = ToHost(part);
        if (exists) {
            struct stat status;
            if (lstat((host / name).c_str(), &status) == 0) {
                host /= name;
                continue;
            }
            if (std::optional<std::string> match = FindFolded(host, part)) {
                host /= *match;
                continue;
            }
            exists = false;
        }
        host /= name;
    }
    out->host = std::move(host);
    out->givenLeaf = parts.empty() ? std::string() : ToHost(parts.back());
    out->isRoot = parts.empty();
    return true;
}

bool Resolve(LPCWSTR path, Resolved* out) {
    return Resolve(path, CurrentSide(), out);
}

}  // namespace fs

bool HostPathFor(LPCWSTR path, std::filesystem::path* hostPath) {
    return HostPathFor(path, CurrentSide(), hostPath);
}

bool HostPathFor(LPCWSTR path, Side side, std::filesystem::path* hostPath) {
    fs::Resolved resolved;
    if (!fs::Resolve(path, side, &resolved)) {
        return false;
    }
    *hostPath = std::move(resolved.host);
    return true;
}

std::u16string HostPathText(const std::filesystem::path& hostPath) {
    return fs::FromHost(hostPath.string());
}

}  // namespace platform
