// launcher.exe: the program the user starts instead of the navigation program. It
// picks the navigation build made for the device's screen, deletes the other two to
// free storage, starts the chosen one and ends. It has no window of its own.
//
// The screen is the device's (PATHLUME_SCREEN=WxH@DPI, default 240x320@96, the same
// setting the navigation programs read); the started build inherits the environment.
// Exit status 0 when the build started, 1 when it did not, 2 for a bad screen setting.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/cards/cards.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "platform/shell/shell.h"

namespace {

constexpr const char16_t* kVgaBuild = u"pathlumeVGA.exe";
constexpr const char16_t* kPhoneBuild = u"pathlumePhone.exe";
constexpr const char16_t* kQvgaBuild = u"pathlumeQVGA.exe";
constexpr const char16_t* kInstallFolderName = u"\\Program Files\\Zanter\\Wayscribe\\";
// Tried in this order; the device resolves them from its root.
constexpr const char16_t* kCardRoots[] = {u"SD Card", u"SD-kaart", u"CF Card", u"Storage Card"};
constexpr DWORD kStartWaitMs = 5000;

int LauncherFileExists(const std::u16string& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(search);
    return 1;
}

// 0 with the text, 1 when the key cannot be opened or the value not read.
int RegReadString(HKEY root, LPCWSTR keyPath, LPCWSTR valueName, std::u16string* text) {
    text->clear();
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    WCHAR buffer[MAX_PATH] = {};
    DWORD size = sizeof buffer - sizeof(WCHAR), type = 0;
    const LONG result =
        RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return 1;
    *text = buffer;
    return 0;
}

std::u16string ProgramFilesFolder() {
    WCHAR folder[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE) && folder[0])
        return folder;
    std::u16string text;
    if (RegReadString(HKEY_LOCAL_MACHINE, u"Explorer\\Shell Folders", u"Program Files", &text) ==
            0 &&
        !text.empty())
        return text;
    return u"\\Program Files";
}

// 0 with the path of a bare file name found on a card or in main memory, 1 when not.
int FindInstalledFile(const std::u16string& name, std::u16string* path) {
    const std::u16string installFolder = ProgramFilesFolder() + u"\\Zanter\\Wayscribe";
    for (int pass = 0; pass < 2; ++pass) {
        WIN32_FIND_DATAW card{};
        HANDLE search = FindFirstFlashCard(&card);
        if (search == INVALID_HANDLE_VALUE)
            break;
        do {
            const std::u16string candidate =
                u"\\" + std::u16string(card.cFileName) +
                (pass == 0 ? u"\\Zanter Wayscribe\\" : installFolder + u"\\") + name;
            if (LauncherFileExists(candidate)) {
                FindClose(search);
                *path = candidate;
                return 0;
            }
        } while (FindNextFlashCard(search, &card));
        FindClose(search);
    }
    const std::u16string inMemory = installFolder + u"\\" + name;
    if (LauncherFileExists(inMemory)) {
        *path = inMemory;
        return 0;
    }
    return 1;
}

std::u16string OnCardRoot(const char16_t* root, const std::u16string& name) {
    return std::u16string(root) + kInstallFolderName + name;
}

// Where a build lies: the first card root that has it, else wherever FindInstalledFile
// finds it; nothing when it is nowhere.
std::optional<std::u16string> Locate(const std::u16string& name, const char16_t** cardRoot) {
    for (const char16_t* root : kCardRoots) {
        if (LauncherFileExists(OnCardRoot(root, name))) {
            if (cardRoot)
                *cardRoot = root;
            return OnCardRoot(root, name);
        }
    }
    std::u16string path;
    if (FindInstalledFile(name, &path) == 0)
        return path;
    return std::nullopt;
}

// CLauncherApp::InitInstance's work; the exit status.
int Launch() {
    HDC screen = GetDC(nullptr);
    const char16_t* keep = kQvgaBuild;
    const char16_t* removeFirst = kPhoneBuild;
    const char16_t* removeSecond = kVgaBuild;
    if (screen) {
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        const int width = GetDeviceCaps(screen, HORZRES);
        const int height = GetDeviceCaps(screen, VERTRES);
        ReleaseDC(nullptr, screen);
        if (dpi > 96) {
            keep = kVgaBuild;
            removeFirst = kPhoneBuild;
            removeSecond = kQvgaBuild;
        } else if (width == height) {
            keep = kPhoneBuild;
            removeFirst = kQvgaBuild;
            removeSecond = kVgaBuild;
        }
    }
    // Nothing goes before the build to keep is known to be there: without it the
    // others are all the device has.
    std::optional<std::u16string> kept = Locate(keep, nullptr);
    if (!kept)
        return 1;
    if (std::optional<std::u16string> first = Locate(removeFirst, nullptr))
        DeleteFileW(first->c_str());
    const char16_t* secondRoot = nullptr;
    if (std::optional<std::u16string> second = Locate(removeSecond, &secondRoot)) {
        DeleteFileW(second->c_str());
        // The card that held the other builds holds the one to keep too, when it does.
        if (secondRoot && LauncherFileExists(OnCardRoot(secondRoot, keep)))
            kept = OnCardRoot(secondRoot, keep);
    }
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = u"open";
    info.lpFile = kept->c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        return 1;
    // The build gets its time to start; one that ended already is not waited for.
    if (info.hProcess) {
        WaitForSingleObject(info.hProcess, kStartWaitMs);
        CloseHandle(info.hProcess);
    }
    return 0;
}

}  // namespace

int main() {
    int width = 240, height = 320, dpi = 96;
    std::string error;
    if (!platform::ScreenModeFromEnvironment(&width, &height, &dpi, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    platform::SetScreenMode(width, height, dpi);
    return Launch();
}
