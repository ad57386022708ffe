#include "mapferry/ui/target_drives.h"

#include "formats/namdict.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/ui/messages.h"
#include "platform/kernel/kernel.h"

namespace {

std::u16string DriveMapFolder(int driveIndex) {
    const WCHAR drive[] = {static_cast<WCHAR>(u'A' + driveIndex), u':', 0};
    return std::u16string(drive) + u"\\Zanter Wayscribe\\maps";
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::vector<int> TargetDriveIndexes() {
    std::vector<int> drives;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 32; ++i) {
        if (!(mask & (1u << i)) || i >= 26)
            continue;
        const WCHAR root[] = {static_cast<WCHAR>(u'A' + i), u':', u'\\', 0};
        const UINT type = GetDriveTypeW(root);
        if (type == DRIVE_CDROM || type == DRIVE_REMOTE || (i == 0 && type == DRIVE_REMOVABLE))
            continue;
        drives.push_back(i);
    }
    return drives;
}

unsigned long long GetFolderFilesSize(const std::u16string& folder) {
    WIN32_FIND_DATAW found{};
    const std::u16string pattern = folder + u"\\*.*";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    unsigned long long total = 0;
    do {
        if (found.cFileName[0] != u'.' && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += found.nFileSizeLow;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return total;
}

double MeasureDriveFreeMB(int driveIndex) {
    const WCHAR root[] = {static_cast<WCHAR>(u'A' + driveIndex), u':', u'\\', 0};
    ULARGE_INTEGER free{};
    double megabytes = 0.0;
    if (GetDiskFreeSpaceExW(root, &free, nullptr, nullptr))
        megabytes =
            static_cast<double>(free.HighPart) * 4096.0 + static_cast<double>(free.LowPart >> 20);
    return megabytes +
           static_cast<double>(GetFolderFilesSize(DriveMapFolder(driveIndex))) / 1048576.0;
}

std::u16string ExistingMapQuestionText(const std::vector<unsigned char>& namdict, bool cityPage) {
    const auto dictionary = formats::namdict::Decode(namdict);
    if (!dictionary)
        return {};
    if (dictionary->kind == formats::namdict::Dictionary::Kind::City && cityPage) {
        WCHAR text[1024];
        swprintf(text, std::size(text), u"%sCity: %s\nState: %s\nMap radius: %s MI\n%s",
                 MSG_EXISTING_MAP_ERASED.Get(), Wide(dictionary->city).c_str(),
                 Wide(dictionary->state).c_str(), Wide(dictionary->radius).c_str(),
                 MSG_CLICK_OK_OVERWRITE.Get());
        return text;
    }
    if (dictionary->kind == formats::namdict::Dictionary::Kind::City) {
        return FormatMessageText(MSG_EXISTING_CITY_MI, MSG_EXISTING_MAP_ERASED.Get(),
                                 Wide(dictionary->city).c_str(), Wide(dictionary->state).c_str(),
                                 Wide(dictionary->radius).c_str(), MSG_CLICK_OK_OVERWRITE.Get());
    }
    std::u16string list;
    for (const std::string& name : dictionary->names)
        list.append(u"\t").append(Wide(name)).append(u"\n");
    list += u"\t";
    return std::u16string(MSG_EXISTING_MAP_ERASED.Get()) + list + MSG_CLICK_OK_OVERWRITE.Get();
}

std::u16string ExistingMapQuestion(int targetKind, int driveIndex, bool cityPage) {
    if (targetKind != kTargetPcDrive)
        return {};
    const std::u16string path = DriveMapFolder(driveIndex) + u"\\namdict.bin";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::vector<uint8_t> bytes(formats::namdict::kMaxReadSize);
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    if (!ok || read == 0)
        return {};
    bytes.resize(read);
    return ExistingMapQuestionText(bytes, cityPage);
}
