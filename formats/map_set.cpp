#include "formats/map_set.h"

#include <fcntl.h>
#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/kernel/files.h"

namespace formats::map_set {
namespace {

std::filesystem::path HostName(const std::u16string& name) {
    return std::filesystem::path(name);
}

// Moves the committed new set in: each other file, then the commit mark.
bool FinishCommitted(SwapFolder& folder, std::span<const char16_t* const> names,
                     std::u16string* failedName) {
    auto fail = [failedName](const std::u16string& name) {
        if (failedName)
            *failedName = name;
        return false;
    };
    // The installed file goes aside before the new one comes in, so that a kill
    // between the two leaves the new one still staged for the next try.
    auto moveIn = [&](const std::u16string& name, const std::u16string& incoming) {
        if (!folder.Exists(incoming))
            return true;
        if (folder.Exists(name) &&
            (!folder.Delete(BackupName(name)) || !folder.Rename(name, BackupName(name))))
            return fail(name);
        return folder.Rename(incoming, name) || fail(name);
    };
    for (size_t i = 1; i < names.size(); ++i) {
        if (!moveIn(names[i], StagedName(names[i])))
            return false;
    }
    if (!moveIn(names[0], CommittedName(names[0])))
        return false;
    for (const char16_t* name : names) {
        if (!folder.Delete(BackupName(name)))
            return fail(name);
    }
    return true;
}

}  // namespace

std::u16string StagedName(std::u16string_view name) {
    return std::u16string(name) + u".new";
}

std::u16string BackupName(std::u16string_view name) {
    return std::u16string(name) + u".old";
}

std::u16string CommittedName(std::u16string_view name) {
    return std::u16string(name) + u".swap";
}

std::filesystem::path HostSwapFolder::Path(const std::u16string& name) const {
    return m_folder / HostName(name);
}

bool HostSwapFolder::Exists(const std::u16string& name) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(Path(name), error));
}

bool HostSwapFolder::Rename(const std::u16string& from, const std::u16string& to) {
    const std::string source = Path(from).string(), target = Path(to).string();
    if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without RENAME_NOREPLACE: the look first stands in for it.
    return errno == EINVAL && !Exists(to) && std::rename(source.c_str(), target.c_str()) == 0;
}

bool HostSwapFolder::Delete(const std::u16string& name) {
    std::error_code error;
    std::filesystem::remove(Path(name), error);
    return !error;
}

bool PlatformSwapFolder::Exists(const std::u16string& name) {
    return GetFileAttributesW(Path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PlatformSwapFolder::Rename(const std::u16string& from, const std::u16string& to) {
    return MoveFileW(Path(from).c_str(), Path(to).c_str()) != FALSE;
}

bool PlatformSwapFolder::Delete(const std::u16string& name) {
    // Every start clears the names of a swap that was never committed: most are not
    // there, and one look costs a third of the attempt.
    if (!Exists(name))
        return true;
    const std::u16string path = Path(name);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(path.c_str()) || !Exists(name);
}

bool InstallStagedMap(SwapFolder& folder, std::span<const char16_t* const> names,
                      std::u16string* failedName) {
    if (names.empty())
        return true;
    if (!folder.Exists(CommittedName(names[0]))) {
        // Only a whole new set is committed: half of it next to the old is no map.
        for (const char16_t* name : names) {
            if (!folder.Exists(StagedName(name))) {
                if (failedName)
                    *failedName = name;
                return false;
            }
        }
        if (!folder.Rename(StagedName(names[0]), CommittedName(names[0]))) {
            if (failedName)
                *failedName = names[0];
            return false;
        }
    }
    return FinishCommitted(folder, names, failedName);
}

bool RecoverMapSwap(SwapFolder& folder, std::span<const char16_t* const> names) {
    if (names.empty())
        return true;
    if (folder.Exists(CommittedName(names[0])))
        return FinishCommitted(folder, names, nullptr);
    bool cleared = true;
    for (const char16_t* name : names) {
        cleared = folder.Delete(StagedName(name)) && cleared;
        cleared = folder.Delete(BackupName(name)) && cleared;
    }
    return cleared;
}

}  // namespace formats::map_set
