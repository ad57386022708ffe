#include "tools/cabinstall/cabinstall.h"

#include <chrono>
#include <cstdio>
#include <sstream>

#include "platform/kernel/kernel.h"
#include "platform/shell/shell.h"
#include "setup/setup_hooks.h"

namespace cabinstall {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordHeader = "cabinstall record 1";
// Suffixes of the new files while they are written and of the files they replace
// until every new one is in place.
constexpr const char16_t* kNewSuffix = u".cabnew";
constexpr const char16_t* kOldSuffix = u".cabold";

std::string Narrow(std::u16string_view text) {
    return platform::WideToUtf8(text);
}

// The device root is the process's for the run, and the one before it afterwards.
class DeviceRootFor {
  public:
    explicit DeviceRootFor(const fs::path& root)
        : before_(platform::DeviceRoot()), side_(platform::CurrentSide()) {
        platform::SetDeviceRoot(fs::absolute(root));
        platform::SetCurrentSide(platform::Side::Device);
    }
    ~DeviceRootFor() {
        platform::SetDeviceRoot(before_);
        platform::SetCurrentSide(side_);
    }

  private:
    fs::path before_;
    platform::Side side_;
};

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Makes each missing folder of `folder`, remembering it.
bool MakeFolders(const std::u16string& folder, std::vector<std::u16string>* made) {
    for (size_t at = folder.find(u'\\', 1);; at = folder.find(u'\\', at + 1)) {
        const std::u16string part = folder.substr(0, at);
        if (!part.empty() && !Exists(part)) {
            if (!CreateDirectoryW(part.c_str(), nullptr))
                return false;
            made->push_back(part);
        }
        if (at == std::u16string::npos)
            return true;
    }
}

std::u16string FolderOf(const std::u16string& path) {
    return path.substr(0, path.find_last_of(u'\\'));
}

// Writes the record under a new name and renames it into place.
bool WriteRecord(const Record& record) {
    const std::string text = FormatRecord(record);
    const std::u16string making = std::u16string(kRecordPath) + kNewSuffix;
    HANDLE file = CreateFileW(making.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file);
    CloseHandle(file);
    DeleteFileW(kRecordPath);
    if (!ok || !MoveFileW(making.c_str(), kRecordPath)) {
        DeleteFileW(making.c_str());
        return false;
    }
    return true;
}

std::optional<Record> ReadRecord() {
    HANDLE file = CreateFileW(kRecordPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    // A record lists a handful of files; one far longer is no record of ours.
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0 && text.size() < 65536)
        text.append(buffer, read);
    CloseHandle(file);
    return ParseRecord(text);
}

bool SetStartItem(const std::u16string& shortcut) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStartItemsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, kStartItemsValue, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(shortcut.c_str()),
                                       static_cast<DWORD>((shortcut.size() + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

double SecondsSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

}  // namespace

SetupHooks::SetupHooks(const std::u16string& library) {
    module = LoadLibraryW(library.c_str());
    if (!module)
        return;
    installInit = reinterpret_cast<PFN_Install_Init>(GetProcAddress(module, "Install_Init"));
    installExit = reinterpret_cast<PFN_Install_Exit>(GetProcAddress(module, "Install_Exit"));
    uninstallInit = reinterpret_cast<PFN_Uninstall_Init>(GetProcAddress(module, "Uninstall_Init"));
    uninstallExit = reinterpret_cast<PFN_Uninstall_Exit>(GetProcAddress(module, "Uninstall_Exit"));
}

SetupHooks::~SetupHooks() {
    if (module)
        FreeLibrary(module);
}

std::vector<PackageFile> PackageFiles() {
    std::vector<PackageFile> files;
    for (const char* name : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe",
                             "launcher.exe", "portscout.exe", "theme.ini"})
        files.push_back(
            {name, std::u16string(kInstallFolder) + u"\\" + platform::Utf8ToWide(name)});
    files.push_back({"oxloserv.dll", u"\\Windows\\oxloserv.dll"});
    return files;
}

std::string FormatRecord(const Record& record) {
    std::string text = std::string(kRecordHeader) + "\n";
    for (const std::u16string& file : record.files)
        text += "file " + Narrow(file) + "\n";
    text += "end " + std::to_string(record.files.size()) + "\n";
    return text;
}

std::optional<Record> ParseRecord(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kRecordHeader)
        return std::nullopt;
    Record record;
    while (std::getline(in, line)) {
        if (line.rfind("file ", 0) == 0) {
            const std::u16string path = platform::Utf8ToWide(line.substr(5));
            // Only the package's own folders, named as the device names them.
            const bool inFolder = (path.rfind(std::u16string(kInstallFolder) + u"\\", 0) == 0 ||
                                   path.rfind(u"\\Windows\\", 0) == 0) &&
                                  path.find(u"\\..") == std::u16string::npos &&
                                  path.find(u'/') == std::u16string::npos;
            if (!inFolder)
                return std::nullopt;
            record.files.push_back(path);
            continue;
        }
        if (line == "end " + std::to_string(record.files.size()) && !std::getline(in, line))
            return record;
        return std::nullopt;
    }
    return std::nullopt;
}

int Install(const fs::path& root, const fs::path& from, std::ostream& out, std::ostream& err) {
    const auto started = std::chrono::steady_clock::now();
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        err << "cabinstall: " << root.string() << " is not a device root folder\n";
        return 1;
    }
    const std::vector<PackageFile> package = PackageFiles();
    for (const PackageFile& file : package) {
        if (!fs::is_regular_file(from / file.source, ec)) {
            err << "cabinstall: the package has no " << (from / file.source).string() << "\n";
            return 1;
        }
    }
    DeviceRootFor device(root);
    SetupHooks hooks(platform::HostPathText(from / "setup.dll"));
    if (!hooks.Complete()) {
        err << "cabinstall: " << (from / "setup.dll").string()
            << " cannot be loaded or lacks an installer hook\n";
        return 1;
    }
    const bool previously = ReadRecord().has_value();
    if (hooks.installInit(nullptr, TRUE, previously ? TRUE : FALSE, kInstallFolder) !=
        kInstallContinue) {
        err << "cabinstall: the package's set-up refused the installation\n";
        return 1;
    }

    // Every new file is written under a new name first; only when all are there do
    // they take the places of the old ones, which wait under old names until the end.
    std::vector<std::u16string> madeFolders, written, replaced, placed;
    auto undo = [&]() {
        for (const std::u16string& path : placed)
            DeleteFileW(path.c_str());
        for (const std::u16string& path : replaced)
            MoveFileW((path + kOldSuffix).c_str(), path.c_str());
        for (const std::u16string& path : written)
            DeleteFileW((path + kNewSuffix).c_str());
        for (auto it = madeFolders.rbegin(); it != madeFolders.rend(); ++it)
            RemoveDirectoryW(it->c_str());
        return 1;
    };
    std::vector<std::u16string> targets;
    for (const PackageFile& file : package) {
        const std::u16string making = file.devicePath + kNewSuffix;
        if (!MakeFolders(FolderOf(file.devicePath), &madeFolders) ||
            !CopyFileW(platform::HostPathText(from / file.source).c_str(), making.c_str(), FALSE)) {
            err << "cabinstall: cannot write " << Narrow(file.devicePath) << "\n";
            DeleteFileW(making.c_str());
            return undo();
        }
        written.push_back(file.devicePath);
        targets.push_back(file.devicePath);
    }
    WCHAR launcher[MAX_PATH];
    const std::u16string launcherPath = std::u16string(kInstallFolder) + u"\\launcher.exe";
    std::copy(launcherPath.begin(), launcherPath.end(), launcher);
    launcher[launcherPath.size()] = 0;
    WCHAR shortcutMaking[MAX_PATH];
    const std::u16string shortcutNew = std::u16string(kStartMenuShortcut) + kNewSuffix;
    std::copy(shortcutNew.begin(), shortcutNew.end(), shortcutMaking);
    shortcutMaking[shortcutNew.size()] = 0;
    if (!MakeFolders(FolderOf(kStartMenuShortcut), &madeFolders) ||
        !SHCreateShortcut(shortcutMaking, launcher)) {
        err << "cabinstall: cannot write " << Narrow(kStartMenuShortcut) << "\n";
        return undo();
    }
    written.push_back(kStartMenuShortcut);
    targets.push_back(kStartMenuShortcut);

    for (const std::u16string& path : targets) {
        if (Exists(path)) {
            if (!MoveFileW(path.c_str(), (path + kOldSuffix).c_str())) {
                err << "cabinstall: cannot replace " << Narrow(path) << "\n";
                return undo();
            }
            replaced.push_back(path);
        }
        if (!MoveFileW((path + kNewSuffix).c_str(), path.c_str())) {
            err << "cabinstall: cannot place " << Narrow(path) << "\n";
            return undo();
        }
        placed.push_back(path);
        std::erase(written, path);
    }
    Record record;
    record.files = targets;
    if (!WriteRecord(record) || !SetStartItem(kStartMenuShortcut)) {
        err << "cabinstall: cannot write the installation's record\n";
        return undo();
    }
    for (const std::u16string& path : replaced) {
        SetFileAttributesW((path + kOldSuffix).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW((path + kOldSuffix).c_str());
    }
    hooks.installExit(nullptr, kInstallFolder, 0, 0, 0, 0, 0);
    char figures[64];
    std::snprintf(figures, sizeof figures, "%.3f", SecondsSince(started));
    out << "cabinstall: installed " << targets.size() << " files into " << root.string()
        << (previously ? " (over the earlier installation)" : "") << " seconds=" << figures << "\n";
    return 0;
}

int Remove(const fs::path& root, const fs::path& from, std::ostream& out, std::ostream& err) {
    const auto started = std::chrono::steady_clock::now();
    std::error_code ec;
    if (!fs::is_directory(root, ec)) {
        err << "cabinstall: " << root.string() << " is not a device root folder\n";
        return 1;
    }
    DeviceRootFor device(root);
    const std::optional<Record> record = ReadRecord();
    if (!record) {
        err << "cabinstall: no readable record of an installation on " << root.string()
            << "; nothing was removed\n";
        return 1;
    }
    SetupHooks hooks(platform::HostPathText(from / "setup.dll"));
    if (!hooks.Complete()) {
        err << "cabinstall: " << (from / "setup.dll").string()
            << " cannot be loaded or lacks an installer hook\n";
        return 1;
    }
    if (hooks.uninstallInit(nullptr, kInstallFolder) != kUninstallContinue) {
        err << "cabinstall: the package's set-up refused the removal\n";
        return 1;
    }
    // The shortcut is the set-up's to remove: it goes only while the Start menu lists it.
    int removed = 0;
    for (const std::u16string& path : record->files) {
        if (path == kStartMenuShortcut)
            continue;
        removed += DeleteFileW(path.c_str()) ? 1 : 0;
    }
    hooks.uninstallExit(nullptr);
    DeleteFileW(kRecordPath);
    char figures[64];
    std::snprintf(figures, sizeof figures, "%.3f", SecondsSince(started));
    out << "cabinstall: removed " << removed << " files from " << root.string()
        << " seconds=" << figures << "\n";
    return 0;
}

}  // namespace cabinstall
