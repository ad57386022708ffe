// The desktop's drives (a table in the desktop root), temporary files and free
// space.
#include <fcntl.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/kernel/file_system.h"
#include "platform/kernel/files.h"

namespace platform {
namespace {

constexpr const char* kDriveTable = ".pl-drives";

std::mutex g_driveTableLock;

struct TypeName {
    DriveType type;
    const char* name;
    UINT platformType;
};
constexpr TypeName kTypeNames[] = {
    {DriveType::Fixed, "fixed", DRIVE_FIXED},
    {DriveType::CdRom, "cdrom", DRIVE_CDROM},
    {DriveType::Removable, "removable", DRIVE_REMOVABLE},
    {DriveType::Remote, "remote", DRIVE_REMOTE},
};

const TypeName& NameOf(DriveType type) {
    for (const TypeName& entry : kTypeNames) {
        if (entry.type == type) {
            return entry;
        }
    }
    return kTypeNames[0];
}

char UpperLetter(char letter) {
    if (letter >= 'a' && letter <= 'z') {
        return static_cast<char>(letter - 'a' + 'A');
    }
    return letter;
}

// Lines "C fixed /host/folder"; '#' starts a comment. Call with the lock held.
std::vector<DriveEntry> ReadTableLocked() {
    std::filesystem::path root = DesktopRoot();
    std::ifstream in(root / kDriveTable);
    if (!in) {
        std::filesystem::path folder = root / "C";
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        return {DriveEntry{'C', DriveType::Fixed, folder}};
    }
    std::vector<DriveEntry> drives;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::istringstream fields(line);
        std::string letter;
        std::string type;
        if (!(fields >> letter >> type) || letter[0] == '#' || letter.size() != 1) {
            continue;
        }
        char upper = UpperLetter(letter[0]);
        if (upper < 'A' || upper > 'Z') {
            continue;
        }
        std::string folder;
        std::getline(fields >> std::ws, folder);
        auto known = std::find_if(std::begin(kTypeNames), std::end(kTypeNames),
                                  [&](const TypeName& entry) { return type == entry.name; });
        if (known == std::end(kTypeNames) || folder.empty()) {
            continue;
        }
        std::filesystem::path hostFolder(folder);
        if (hostFolder.is_relative()) {
            hostFolder = root / hostFolder;
        }
        drives.erase(std::remove_if(drives.begin(), drives.end(),
                                    [&](const DriveEntry& d) { return d.letter == upper; }),
                     drives.end());
        drives.push_back(DriveEntry{upper, known->type, hostFolder});
    }
    std::sort(drives.begin(), drives.end(),
              [](const DriveEntry& a, const DriveEntry& b) { return a.letter < b.letter; });
    return drives;
}

// Written to a temporary file and renamed, so a reader never sees half a table.
bool WriteTableLocked(const std::vector<DriveEntry>& drives) {
    std::filesystem::path root = DesktopRoot();
    std::string text = "# drive letter, type (fixed, cdrom, removable, remote), host folder\n";
    for (const DriveEntry& drive : drives) {
        text += drive.letter;
        text += ' ';
        text += NameOf(drive.type).name;
        text += ' ';
        text += drive.folder.string();
        text += '\n';
    }
    std::filesystem::path temporary =
        root / (std::string(kDriveTable) + "." + std::to_string(getpid()) + ".tmp");
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!(out << text) || !out.flush()) {
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, root / kDriveTable, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

}  // namespace

namespace fs {

std::optional<DriveEntry> LookupDrive(char letter) {
    char upper = UpperLetter(letter);
    std::lock_guard<std::mutex> guard(g_driveTableLock);
    for (DriveEntry& drive : ReadTableLocked()) {
        if (drive.letter == upper) {
            return drive;
        }
    }
    return std::nullopt;
}

}  // namespace fs

bool SetDrive(char letter, DriveType type, const std::filesystem::path& hostFolder) {
    char upper = UpperLetter(letter);
    if (upper < 'A' || upper > 'Z' || hostFolder.empty()) {
        return false;
    }
    std::filesystem::path folder = hostFolder;
    if (folder.is_relative()) {
        folder = DesktopRoot() / folder;
    }
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    std::lock_guard<std::mutex> guard(g_driveTableLock);
    std::vector<DriveEntry> drives = ReadTableLocked();
    drives.erase(std::remove_if(drives.begin(), drives.end(),
                                [&](const DriveEntry& d) { return d.letter == upper; }),
                 drives.end());
    drives.push_back(DriveEntry{upper, type, folder});
    std::sort(drives.begin(), drives.end(),
              [](const DriveEntry& a, const DriveEntry& b) { return a.letter < b.letter; });
    return WriteTableLocked(drives);
}

bool RemoveDrive(char letter) {
    char upper = UpperLetter(letter);
    std::lock_guard<std::mutex> guard(g_driveTableLock);
    std::vector<DriveEntry> drives = ReadTableLocked();
    auto kept = std::remove_if(drives.begin(), drives.end(),
                               [&](const DriveEntry& d) { return d.letter == upper; });
    if (kept == drives.end()) {
        return false;
    }
    drives.erase(kept, drives.end());
    return WriteTableLocked(drives);
}

std::vector<DriveEntry> Drives() {
    std::lock_guard<std::mutex> guard(g_driveTableLock);
    return ReadTableLocked();
}

namespace {

struct FreeSpaceOverride {
    std::filesystem::path prefix;
    DiskFreeSpace figures;
};
std::mutex g_freeSpaceLock;
std::vector<FreeSpaceOverride> g_freeSpaceOverrides;

bool IsUnder(const std::filesystem::path& path, const std::filesystem::path& prefix) {
    auto p = path.begin();
    for (auto q = prefix.begin(); q != prefix.end(); ++q, ++p) {
        if (q->empty() && std::next(q) == prefix.end()) {
            return true;  // a trailing separator on the prefix
        }
        if (p == path.end() || *p != *q) {
            return false;
        }
    }
    return true;
}

std::optional<DiskFreeSpace> FreeSpaceOverrideFor(const std::filesystem::path& host) {
    std::filesystem::path normal = host.lexically_normal();
    std::lock_guard<std::mutex> guard(g_freeSpaceLock);
    const FreeSpaceOverride* best = nullptr;
    size_t bestLength = 0;
    for (const FreeSpaceOverride& entry : g_freeSpaceOverrides) {
        size_t length = entry.prefix.string().size();
        if (IsUnder(normal, entry.prefix) && (!best || length > bestLength)) {
            best = &entry;
            bestLength = length;
        }
    }
    return best ? std::optional<DiskFreeSpace>(best->figures) : std::nullopt;
}

}  // namespace

bool SetDiskFreeSpace(LPCWSTR path, const DiskFreeSpace& figures) {
    fs::Resolved resolved;
    if (!fs::Resolve(path, &resolved)) {
        return false;
    }
    std::lock_guard<std::mutex> guard(g_freeSpaceLock);
    g_freeSpaceOverrides.push_back({resolved.host.lexically_normal(), figures});
    return true;
}

void ClearDiskFreeSpace() {
    std::lock_guard<std::mutex> guard(g_freeSpaceLock);
    g_freeSpaceOverrides.clear();
}

}  // namespace platform

using namespace platform;

DWORD GetLogicalDrives() {
    DWORD mask = 0;
    for (const DriveEntry& drive : Drives()) {
        mask |= 1u << (drive.letter - 'A');
    }
    return mask;
}

UINT GetDriveTypeW(LPCWSTR rootPathName) {
    char letter = 'C';
    if (rootPathName) {
        std::u16string_view text(rootPathName);
        bool rootForm =
            text.size() >= 2 && text[1] == u':' &&
            (text.size() == 2 || (text.size() == 3 && (text[2] == u'\\' || text[2] == u'/')));
        char16_t upper = fs::FoldCase(text.empty() ? u'\0' : text[0]);
        if (!rootForm || upper < u'A' || upper > u'Z') {
            return DRIVE_NO_ROOT_DIR;
        }
        letter = static_cast<char>(upper);
    }
    std::optional<DriveEntry> drive = fs::LookupDrive(letter);
    return drive ? NameOf(drive->type).platformType : DRIVE_NO_ROOT_DIR;
}

DWORD GetTempPathW(DWORD bufferLength, LPWSTR buffer) {
    // The handheld keeps "\Temp"; the desktop a folder on C:.
    std::u16string path = CurrentSide() == Side::Device ? u"\\Temp\\" : u"C:\\Temp\\";
    fs::Resolved resolved;
    if (fs::Resolve(path.c_str(), &resolved)) {
        std::error_code ignored;
        std::filesystem::create_directories(resolved.host, ignored);
    }
    if (!buffer || bufferLength <= path.size()) {
        return static_cast<DWORD>(path.size() + 1);
    }
    std::copy(path.begin(), path.end(), buffer);
    buffer[path.size()] = u'\0';
    return static_cast<DWORD>(path.size());
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName) {
    if (!pathName || !tempFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    fs::Resolved folder;
    if (!fs::Resolve(pathName, &folder)) {
        return 0;
    }
    struct stat status;
    if (stat(folder.host.c_str(), &status) != 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    if (!S_ISDIR(status.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return 0;
    }
    std::u16string base(pathName);
    if (!base.empty() && base.back() != u'\\' && base.back() != u'/') {
        base += u'\\';
    }
    base += fs::WideOf(prefixString).substr(0, 3);

    auto nameFor = [&](UINT number) {
        char hex[8];
        snprintf(hex, sizeof hex, "%X", number);
        std::u16string name = base;
        for (const char* c = hex; *c; ++c) {
            name += static_cast<char16_t>(*c);
        }
        return name + u".tmp";
    };
    auto copyOut = [&](const std::u16string& name) {
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return false;
        }
        std::copy(name.begin(), name.end(), tempFileName);
        tempFileName[name.size()] = u'\0';
        return true;
    };

    // With a number given, the name is only formed: the caller makes the file.
    if (unique != 0) {
        return copyOut(nameFor(unique & 0xFFFF)) ? unique : 0;
    }
    static std::atomic<UINT> next{static_cast<UINT>(time(nullptr) ^ (getpid() << 4))};
    UINT start = next.fetch_add(1);
    for (UINT tries = 0; tries < 0xFFFF; ++tries) {
        UINT number = ((start + tries) % 0xFFFF) + 1;
        std::u16string name = nameFor(number);
        if (name.size() >= MAX_PATH) {
            SetLastError(ERROR_BUFFER_OVERFLOW);
            return 0;
        }
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            copyOut(name);
            next.store(number + 1);
            SetLastError(ERROR_SUCCESS);
            return number;
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS &&
            error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
            return 0;
        }
    }
    SetLastError(ERROR_FILE_EXISTS);
    return 0;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes,
                         PULARGE_INTEGER totalNumberOfFreeBytes) {
    fs::Resolved resolved;
    if (!fs::Resolve(directoryName ? directoryName : u"\\", &resolved)) {
        return FALSE;
    }
    struct stat status;
    if (stat(resolved.host.c_str(), &status) != 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!S_ISDIR(status.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    DiskFreeSpace figures;
    if (std::optional<DiskFreeSpace> override = FreeSpaceOverrideFor(resolved.host)) {
        figures = *override;
    } else {
        struct statvfs volume;
        if (statvfs(resolved.host.c_str(), &volume) != 0) {
            SetLastError(fs::ErrorFromErrno(errno));
            return FALSE;
        }
        ULONGLONG unit = volume.f_frsize ? volume.f_frsize : volume.f_bsize;
        figures.freeBytesAvailable = static_cast<ULONGLONG>(volume.f_bavail) * unit;
        figures.totalBytes = static_cast<ULONGLONG>(volume.f_blocks) * unit;
        figures.totalFreeBytes = static_cast<ULONGLONG>(volume.f_bfree) * unit;
    }
    if (freeBytesAvailableToCaller) {
        freeBytesAvailableToCaller->QuadPart = figures.freeBytesAvailable;
    }
    if (totalNumberOfBytes) {
        totalNumberOfBytes->QuadPart = figures.totalBytes;
    }
    if (totalNumberOfFreeBytes) {
        totalNumberOfFreeBytes->QuadPart = figures.totalFreeBytes;
    }
    return TRUE;
}
