#include "pathlume/foundation/data_location.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <vector>

#include "formats/map_set.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/afx/afx_wnd.h"
#include "platform/cards/cards.h"
#include "platform/kernel/files.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/process.h"
#include "platform/kernel/text.h"

namespace {

// The string table's texts, for a program that carries no table.
constexpr UINT kErrorCaptionId = 6044;
constexpr UINT kInvalidDataFileId = 6169;
constexpr UINT kWrongFileVersionId = 6170;
constexpr UINT kOutOfMemoryCaptionId = 6171;
constexpr UINT kOutOfMemoryTextId = 6172;
constexpr const char16_t* kErrorCaption = u"Error";
constexpr const char16_t* kInvalidDataFile = u"Invalid or Missing Data file: ";
constexpr const char16_t* kWrongFileVersion = u"Wrong File Version Data file: ";
constexpr const char16_t* kOutOfMemoryCaption = u"Out of Memory";
constexpr const char16_t* kOutOfMemoryText =
    u"You do not have enough memory allocated for this program.\r\n\r\nPlease check your "
    u"memory availability in Settings\\Memory.  ";

std::atomic<void (*)()> g_fatalErrorCleanup{nullptr};

bool CopyOut(const std::u16string& text, LPWSTR out) {
    if (text.size() >= MAX_PATH) {
        return false;
    }
    std::copy(text.c_str(), text.c_str() + text.size() + 1, out);
    return true;
}

// The storage cards' folder names in the enumeration's order: the folders in the
// root that carry FILE_ATTRIBUTE_TEMPORARY, which is how the handheld marks the
// mount point of a card.
std::vector<std::u16string> StorageCards() {
    std::vector<std::u16string> cards;
    WIN32_FIND_DATA data{};
    HANDLE search = FindFirstFlashCard(&data);
    if (search == INVALID_HANDLE_VALUE) {
        return cards;
    }
    do {
        cards.emplace_back(data.cFileName);
    } while (FindNextFlashCard(search, &data));
    FindClose(search);
    return cards;
}

bool StartsWithNoCase(const std::u16string& text, const std::u16string& prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    for (size_t i = 0; i < prefix.size(); ++i) {
        char16_t a = text[i];
        char16_t b = prefix[i];
        if (a < 128 && b < 128) {
            a = static_cast<char16_t>(std::tolower(a));
            b = static_cast<char16_t>(std::tolower(b));
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

// Four bytes as text, as "%s" would show them.
std::u16string MagicText(const char* bytes) {
    std::u16string text;
    for (int i = 0; i < 4 && bytes[i]; ++i) {
        text.push_back(static_cast<unsigned char>(bytes[i]));
    }
    return text;
}

void ShowError(const std::u16string& text) {
    MessageBoxW(nullptr, text.c_str(), LoadResStringOr(kErrorCaptionId, kErrorCaption).c_str(),
                MB_OK | MB_ICONHAND);
}

std::u16string WrongVersionText(LPCWSTR name, const char* found, const char* expected) {
    return LoadResStringOr(kWrongFileVersionId, kWrongFileVersion) +
           std::u16string(name ? name : u"") + u": " + MagicText(found) + u" != " +
           MagicText(expected);
}

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

}  // namespace

int FileExists(LPCWSTR path) {
    WIN32_FIND_DATA data{};
    HANDLE search = FindFirstFileW(path, &data);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    FindClose(search);
    return 1;
}

int FindDataFileOnCards(LPCWSTR name, LPWSTR fullPath, BOOL besideMaps) {
    fullPath[0] = 0;
    std::u16string file(name ? name : u"");
    if (file.rfind(u".\\", 0) == 0) {
        file.erase(0, 2);
    }
    // A full path in main memory is searched like a short name.
    std::u16string install(g_installFolder);
    if (!install.empty() && StartsWithNoCase(file, install)) {
        file.erase(0, install.size());
        if (!file.empty() && file[0] == u'\\') {
            file.erase(0, 1);
        }
    }
    if (file.empty()) {
        return 1;
    }
    auto tryPath = [fullPath](const std::u16string& path) {
        return path.size() < MAX_PATH && FileExists(path.c_str()) && CopyOut(path, fullPath);
    };
    std::vector<std::u16string> cards = StorageCards();
    for (const std::u16string& card : cards) {
        if (tryPath(u"\\" + card + u"\\Zanter Wayscribe\\" + file)) {
            return 0;
        }
    }
    for (const std::u16string& card : cards) {
        if (tryPath(u"\\" + card + install + u"\\" + file)) {
            return 0;
        }
    }
    if (tryPath(install + u"\\" + file)) {
        return 0;
    }
    std::u16string dataFolder(g_dataFolder);
    if (besideMaps && !dataFolder.empty()) {
        std::u16string lower = dataFolder;
        for (char16_t& c : lower) {
            if (c < 128) {
                c = static_cast<char16_t>(std::tolower(c));
            }
        }
        size_t maps = lower.find(u"\\maps\\");
        if (maps != std::u16string::npos &&
            CopyOut(dataFolder.substr(0, maps + 1) + file, fullPath)) {
            return 0;
        }
    }
    return 1;
}

namespace {

// Whether the folder holds a name a map swap leaves (NAME.new, NAME.old, NAME.swap):
// one look at the folder at each start instead of one for each of the 33 names a
// recovery looks for, which are almost never there. True when the folder cannot be
// read, so that the recovery still looks.
bool HoldsSwapNames(const std::u16string& folder) {
    using namespace formats::map_set;
    const std::u16string marks[] = {StagedName(u""), BackupName(u""), CommittedName(u"")};
    auto isSwapName = [&](const std::u16string& name) {
        return std::any_of(std::begin(marks), std::end(marks), [&](const std::u16string& mark) {
            return name.size() > mark.size() &&
                   _wcsicmp(name.c_str() + name.size() - mark.size(), mark.c_str()) == 0;
        });
    };
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((folder + u"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_NO_MORE_FILES;
    bool holds = isSwapName(found.cFileName);
    while (!holds && FindNextFileW(find, &found))
        holds = isSwapName(found.cFileName);
    FindClose(find);
    return holds;
}

}  // namespace

void FinishMapSwaps() {
    const std::u16string install(g_installFolder);
    std::vector<std::u16string> folders;
    for (const std::u16string& card : StorageCards()) {
        folders.push_back(u"\\" + card + u"\\Zanter Wayscribe\\Maps");
        folders.push_back(u"\\" + card + install + u"\\Maps");
    }
    folders.push_back(install + u"\\Maps");
    for (const std::u16string& folder : folders) {
        if (FileExists(folder.c_str()) && HoldsSwapNames(folder)) {
            formats::map_set::PlatformSwapFolder maps(folder);
            formats::map_set::RecoverMapSwap(maps);
        }
    }
}

int CheckDataFileHeader(CDataFile& file, const char* magic, LPCWSTR name) {
    char found[4] = {};
    int result;
    if (!file.IsOpen() || file.Read(found, 4) < 4) {
        result = 1;
    } else {
        result = std::equal(found, found + 4, magic) ? 0 : 2;
    }
    if (name && result == 1) {
        ShowError(LoadResStringOr(kInvalidDataFileId, kInvalidDataFile) + name);
    } else if (name && result == 2) {
        ShowError(WrongVersionText(name, found, magic));
    }
    return result;
}

void ShowInvalidDataFile(LPCWSTR name) {
    ShowError(LoadResStringOr(kInvalidDataFileId, kInvalidDataFile) + (name ? name : u""));
}

int CheckDataFileVersion(const char* expected, const char* found, LPCWSTR name) {
    if (std::equal(expected, expected + 4, found)) {
        return 0;
    }
    ShowError(WrongVersionText(name, found, expected));
    return 1;
}

DWORD GetFileSizeByName(LPCWSTR path) {
    HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0xFFFFFFFF;
    }
    DWORD size = GetFileSize(file, nullptr);
    CloseHandle(file);
    return size;
}

LPWSTR FormatDataFilePath(int index, LPWSTR buffer) {
    const char16_t* name = index == kListRecent      ? u"recent.dat"
                           : index == kListItinerary ? u"itinerary.dat"
                                                     : u"favorites.dat";
    if (!CopyOut(std::u16string(g_userDataFolder) + name, buffer)) {
        buffer[0] = 0;
    }
    return buffer;
}

int SplitCommandLine(LPCWSTR commandLine, LPWSTR exePath, LPWSTR folder, LPWSTR arguments) {
    for (LPWSTR out : {exePath, folder, arguments}) {
        if (out) {
            out[0] = 0;
        }
    }
    std::u16string text(commandLine ? commandLine : u"");
    if (!text.empty() && text[0] == u'"') {
        text.erase(0, 1);
        size_t quote = text.find(u'"');
        if (quote != std::u16string::npos) {
            text[quote] = u' ';
        }
    }
    if (text.empty()) {
        return 1;
    }
    // Shorten the candidate at runs of blanks, from the end, until it names an entry.
    size_t end = text.size();
    WIN32_FIND_DATA data{};
    for (;;) {
        HANDLE search = FindFirstFileW(text.substr(0, end).c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            FindClose(search);
            break;
        }
        size_t blank = end;
        while (blank > 0 && !IsBlank(text[blank - 1])) {
            --blank;
        }
        if (blank == 0) {
            return 1;
        }
        while (blank > 1 && IsBlank(text[blank - 2])) {
            --blank;
        }
        end = blank - 1;  // the first blank of the run
        if (end == 0) {
            return 1;
        }
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return 0;
    }
    std::u16string exe = text.substr(0, end);
    size_t start = end;
    while (start < text.size() && IsBlank(text[start])) {
        ++start;
    }
    std::u16string rest = text.substr(start);
    // Outputs hold MAX_PATH characters; longer arguments are cut, never overrun.
    auto copyCut = [](const std::u16string& value, LPWSTR out) {
        if (out) {
            CopyOut(value.substr(0, MAX_PATH - 1), out);
        }
    };
    copyCut(exe, exePath);
    copyCut(rest, arguments);
    size_t slash = exe.rfind(u'\\');
    copyCut(slash == std::u16string::npos ? std::u16string() : exe.substr(0, slash + 1), folder);
    return 0;
}

void SetFatalErrorCleanup(void (*cleanup)()) {
    g_fatalErrorCleanup.store(cleanup);
}

void FatalErrorExit(int) {
    if (g_oomQuietDepth.load() > 0) {
        g_outOfMemory.store(1);
        return;
    }
    WCHAR heading[260];
    WCHAR okText[260];
    WCHAR cancelText[260];
    // Without the string table the user is still told why the program ends.
    const std::u16string caption = LoadResStringOr(kOutOfMemoryCaptionId, kOutOfMemoryCaption);
    const std::u16string message = LoadResStringOr(kOutOfMemoryTextId, kOutOfMemoryText);
    LPCWSTR captionText = caption.c_str();
    LPCWSTR messageText = message.c_str();
    CWnd* main = GetAppMainWindow();
    HWND mainWindow = main ? main->GetSafeHwnd() : nullptr;
    // The program's own box runs on the main window's thread, which gets the input. A
    // worker thread (the map loader runs out of memory too) or a start-up without a
    // main window gets the system box instead: headless, the script answers it, so a
    // thread without windows never waits for a tap that cannot come.
    if (mainWindow && IsWindow(mainWindow) &&
        GetWindowThreadProcessId(mainWindow, nullptr) == GetCurrentThreadId()) {
        CMessageDlg box(main, captionText, messageText,
                        LoadResString(kErrorCaptionId, heading, 260, FALSE),
                        LoadResString(6041, okText, 260, FALSE),
                        LoadResString(6010, cancelText, 260, FALSE), 0);
        box.DoModal();
    } else {
        MessageBoxW(mainWindow, messageText, captionText, MB_OKCANCEL | MB_ICONHAND);
    }
    g_outOfMemory.store(1);
    if (void (*cleanup)() = g_fatalErrorCleanup.load()) {
        cleanup();
    }
    ExitProcess(1);
}
