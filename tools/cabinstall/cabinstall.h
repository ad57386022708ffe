// cabinstall: the handheld's package installer for the navigation package, on a
// device root. It calls the package's installer hooks in "setup.dll" as the handheld's
// installer does, puts the programs in place and keeps a record of what it put there,
// which a removal follows exactly.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "setup/setup_hooks.h"

namespace cabinstall {

inline constexpr const char16_t* kInstallFolder = u"\\Program Files\\Zanter\\Wayscribe";
// The record of an installation, kept on the device.
inline constexpr const char16_t* kRecordPath = u"\\Windows\\Wayscribe.cabinstall";

// A package's installer hooks, loaded from its set-up library.
struct SetupHooks {
    explicit SetupHooks(const std::u16string& library);
    ~SetupHooks();
    SetupHooks(const SetupHooks&) = delete;
    SetupHooks& operator=(const SetupHooks&) = delete;
    bool Complete() const { return installInit && installExit && uninstallInit && uninstallExit; }

    HMODULE module = nullptr;
    PFN_Install_Init installInit = nullptr;
    PFN_Install_Exit installExit = nullptr;
    PFN_Uninstall_Init uninstallInit = nullptr;
    PFN_Uninstall_Exit uninstallExit = nullptr;
};

// One file of the package: its name in the package's folder and where it goes.
struct PackageFile {
    std::string source;
    std::u16string devicePath;
};
std::vector<PackageFile> PackageFiles();

// What an installation put on the device. A record that does not read is nothing.
struct Record {
    std::vector<std::u16string> files;  // device paths
};
std::string FormatRecord(const Record& record);
std::optional<Record> ParseRecord(const std::string& text);

// The operations on the device root `root` (an existing folder) with the package in
// `from`. Each returns the exit status: 0 done, 1 failed with nothing changed (said on
// `err`); `out` gets what was done and a line of figures.
int Install(const std::filesystem::path& root, const std::filesystem::path& from, std::ostream& out,
            std::ostream& err);
int Remove(const std::filesystem::path& root, const std::filesystem::path& from, std::ostream& out,
           std::ostream& err);

}  // namespace cabinstall
