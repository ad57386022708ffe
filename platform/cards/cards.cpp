#include "platform/cards/cards.h"

#include <string>

#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"

namespace {

bool IsCard(const WIN32_FIND_DATA& data) {
    constexpr DWORD kCard = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
    return (data.dwFileAttributes & kCard) == kCard;
}

}  // namespace

HANDLE FindFirstFlashCard(LPWIN32_FIND_DATA findData) {
    if (!findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // Cards live on the device's store whichever side the process works on.
    std::u16string pattern = platform::HostPathText(platform::DeviceRoot()) + u"/*";
    HANDLE search = FindFirstFileW(pattern.c_str(), findData);
    if (search == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    if (IsCard(*findData) || FindNextFlashCard(search, findData)) {
        return search;
    }
    FindClose(search);
    SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFlashCard(HANDLE flashCard, LPWIN32_FIND_DATA findData) {
    while (FindNextFileW(flashCard, findData)) {
        if (IsCard(*findData)) {
            return TRUE;
        }
    }
    return FALSE;
}

namespace platform {

bool MakeStorageCard(LPCWSTR name) {
    std::filesystem::path host;
    if (!name || !*name ||
        !HostPathFor((std::u16string(u"\\") + name).c_str(), Side::Device, &host)) {
        return false;
    }
    std::u16string path = HostPathText(host);
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    return SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_TEMPORARY) != FALSE;
}

}  // namespace platform
