// The package installer on a device root of the test's own, with a package folder of
// stand-in programs and the build's own setup.dll and oxloserv.dll.
#include "tools/cabinstall/cabinstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "platform/rapi/rapi.h"
#include "platform/shell/shell.h"
#include "tests/support/cradle_child.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ProgramsFolder;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every file under a folder with its bytes: the stand-in's attribute and registry
// files included, so attributes and registry values count too.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files[fs::relative(entry.path(), root).string()] =
            entry.is_regular_file() ? Slurp(entry.path()) : "<folder>";
    return files;
}

class CabinstallTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Device);
        package_ = roots_.base() / "package";
        fs::create_directories(package_);
        for (const char* name : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe",
                                 "launcher.exe", "portscout.exe", "theme.ini"})
            std::ofstream(package_ / name) << "the package's " << name;
        for (const char* name : {"setup.dll", "oxloserv.dll"})
            fs::copy_file(ProgramsFolder() / name, package_ / name);
        root_ = roots_.device();
    }

    int Install(std::string* said = nullptr) {
        std::ostringstream out, err;
        const int status = cabinstall::Install(root_, package_, out, err);
        if (said)
            *said = out.str() + err.str();
        return status;
    }
    int Remove(std::string* said = nullptr) {
        std::ostringstream out, err;
        const int status = cabinstall::Remove(root_, package_, out, err);
        if (said)
            *said = out.str() + err.str();
        return status;
    }
    static DWORD Attributes(const char16_t* path) { return GetFileAttributesW(path); }
    static bool HasStartItem() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Shell\\Start Items", 0,
                          KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        const bool has = RegQueryValueExW(key, u"Wayscribe.lnk", nullptr, nullptr, nullptr,
                                          nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        return has;
    }

    fs::path package_;
    fs::path root_;
};

TEST_F(CabinstallTest, AFreshInstallAndAnotherPutThePackageInPlace) {
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::string said;
        ASSERT_EQ(Install(&said), 0) << said;
        EXPECT_NE(said.find(round ? "over the earlier installation" : "installed 8 files"),
                  std::string::npos)
            << said;
        for (const cabinstall::PackageFile& file : cabinstall::PackageFiles()) {
            std::filesystem::path host;
            ASSERT_TRUE(platform::HostPathFor(file.devicePath.c_str(), &host));
            EXPECT_EQ(Slurp(host), Slurp(package_ / file.source)) << file.source;
        }
        // The service library is protected and opened to the remote API.
        EXPECT_EQ(Attributes(u"\\Windows\\oxloserv.dll") & 7u, 7u);
        HKEY key = nullptr;
        EXPECT_EQ(
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Security\\Metabase\\RAPI\\Windows\\oxloserv.dll\\*",
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
        RegCloseKey(key);
        WCHAR target[MAX_PATH];
        ASSERT_TRUE(SHGetShortcutTarget(u"\\Windows\\Start Menu\\Wayscribe.lnk", target, MAX_PATH));
        EXPECT_EQ(std::u16string(target), u"\"\\Program Files\\Zanter\\Wayscribe\\launcher.exe\"");
        EXPECT_TRUE(HasStartItem());
        for (const auto& [name, bytes] : Snapshot(root_))
            EXPECT_EQ(name.find(".cab"), name.rfind(".cabinstall")) << name;
    }
}

TEST_F(CabinstallTest, RemoveDeletesWhatWasInstalledAndKeepsMapsAndUserFiles) {
    ASSERT_EQ(Install(), 0);
    ASSERT_TRUE(platform::MakeStorageCard(u"Storage Card"));
    std::ofstream(root_ / "Program Files/Zanter/Wayscribe/favorites.dat") << "FI03";
    fs::create_directories(root_ / "Storage Card/Zanter Wayscribe/Maps");
    std::ofstream(root_ / "Storage Card/Zanter Wayscribe/Maps/names.bin") << "names";
    std::string said;
    ASSERT_EQ(Remove(&said), 0) << said;
    for (const cabinstall::PackageFile& file : cabinstall::PackageFiles())
        EXPECT_EQ(Attributes(file.devicePath.c_str()), INVALID_FILE_ATTRIBUTES) << file.source;
    EXPECT_EQ(Attributes(u"\\Windows\\Start Menu\\Wayscribe.lnk"), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(HasStartItem());
    EXPECT_EQ(Attributes(cabinstall::kRecordPath), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Slurp(root_ / "Program Files/Zanter/Wayscribe/favorites.dat"), "FI03");
    EXPECT_EQ(Slurp(root_ / "Storage Card/Zanter Wayscribe/Maps/names.bin"), "names");
    // Nothing is left to remove.
    EXPECT_EQ(Remove(), 1);
}

TEST_F(CabinstallTest, AFailedInstallChangesNothing) {
    // Over nothing, and over an earlier installation.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 1) {
            ASSERT_EQ(Install(), 0);
        }
        const std::map<std::string, std::string> before = Snapshot(root_);
        // A package that lacks a program.
        fs::rename(package_ / "portscout.exe", package_ / "portscout.off");
        EXPECT_EQ(Install(), 1);
        fs::rename(package_ / "portscout.off", package_ / "portscout.exe");
        EXPECT_EQ(Snapshot(root_), before);
        // A package without its set-up.
        fs::rename(package_ / "setup.dll", package_ / "setup.off");
        EXPECT_EQ(Install(), 1);
        fs::rename(package_ / "setup.off", package_ / "setup.dll");
        EXPECT_EQ(Snapshot(root_), before);
        // A disk that fills while the new files are written.
        platform::FailWritesAfter(40);
        std::string said;
        EXPECT_EQ(Install(&said), 1);
        platform::ClearWriteFailure();
        EXPECT_NE(said.find("cannot write"), std::string::npos) << said;
        EXPECT_EQ(Snapshot(root_), before);
    }
}

TEST_F(CabinstallTest, ADamagedRecordRemovesNothing) {
    ASSERT_EQ(Install(), 0);
    std::filesystem::path record;
    ASSERT_TRUE(platform::HostPathFor(cabinstall::kRecordPath, &record));
    const std::string good = Slurp(record);
    for (const std::string& damaged :
         {std::string(), good.substr(0, good.size() / 2), good + "file \\Windows\\x\n",
          std::string("cabinstall record 1\nfile \\My Documents\\x\nend 1\n"),
          std::string("cabinstall record 1\nfile \\Windows\\..\\x\nend 1\n"), "garbage\n" + good}) {
        std::ofstream(record, std::ios::binary) << damaged;
        const std::map<std::string, std::string> before = Snapshot(root_);
        std::string said;
        EXPECT_EQ(Remove(&said), 1) << damaged;
        EXPECT_NE(said.find("nothing was removed"), std::string::npos);
        EXPECT_EQ(Snapshot(root_), before);
    }
}

TEST_F(CabinstallTest, TheRecordReadsBack) {
    cabinstall::Record record;
    record.files = {u"\\Windows\\oxloserv.dll", u"\\Program Files\\Zanter\\Wayscribe\\a b.exe"};
    const std::optional<cabinstall::Record> back =
        cabinstall::ParseRecord(cabinstall::FormatRecord(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->files, record.files);
}

TEST_F(CabinstallTest, TheToolTakesItsArguments) {
    const std::string tool = "'" + (ProgramsFolder() / "cabinstall").string() + "'";
    EXPECT_EQ(testing_support::RunTool(tool, "", roots_.base()).status, 2);
    EXPECT_EQ(testing_support::RunTool(tool, "uninstall x", roots_.base()).status, 2);
    EXPECT_EQ(testing_support::RunTool(tool, "install", roots_.base()).status, 2);
    EXPECT_EQ(testing_support::RunTool(tool, "install '" + (roots_.base() / "none").string() + "'",
                                       roots_.base())
                  .status,
              1);
    const testing_support::ToolRun run = testing_support::RunTool(
        tool, "install '" + root_.string() + "' --from '" + package_.string() + "'", roots_.base());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("seconds="), std::string::npos);
}

// The device's remote API service invokes the service library only once the package
// has opened it: a restricted cradle refuses it before the installation.
TEST_F(CabinstallTest, ARestrictedCradleAnswersTheServiceLibraryOnlyOnceInstalled) {
    testing_support::CradleChild cradle(root_, {"--restricted"}, roots_.base() / "cradle.dock");
    ASSERT_TRUE(cradle.Ready()) << cradle.Errors();
    cradle.UseForDesktop();
    fs::create_directories(root_ / "Windows");
    fs::copy_file(ProgramsFolder() / "oxloserv.dll", root_ / "Windows" / "oxloserv.dll");
    HMODULE rapi = LoadLibraryW(u"rapi.dll");
    ASSERT_NE(rapi, nullptr);
    auto initEx = reinterpret_cast<PFN_CeRapiInitEx>(GetProcAddress(rapi, "CeRapiInitEx"));
    auto invoke = reinterpret_cast<PFN_CeRapiInvoke>(GetProcAddress(rapi, "CeRapiInvoke"));
    auto uninit = reinterpret_cast<PFN_CeRapiUninit>(GetProcAddress(rapi, "CeRapiUninit"));
    RAPIINIT init{sizeof init, nullptr, 0};
    ASSERT_EQ(initEx(&init), S_OK);
    ASSERT_EQ(WaitForSingleObject(init.heRapiInit, 5000), WAIT_OBJECT_0);
    auto cardCount = [&] {
        const char16_t command[] = u"GetNumStorageCard";
        DWORD size = 0;
        BYTE* output = nullptr;
        const HRESULT result = invoke(u"oxloserv", u"FnGetFreeSpaceSize", sizeof command,
                                      reinterpret_cast<BYTE*>(const_cast<char16_t*>(command)),
                                      &size, &output, nullptr, 0);
        LocalFree(output);
        return result;
    };
    EXPECT_EQ(cardCount(), E_ACCESSDENIED);
    fs::remove(root_ / "Windows" / "oxloserv.dll");
    ASSERT_EQ(Install(), 0);
    EXPECT_EQ(cardCount(), S_OK);
    uninit();
    FreeLibrary(rapi);
    unsetenv("MAPFERRY_CRADLE");
    EXPECT_NE(cradle.Errors().find("does not open oxloserv.dll"), std::string::npos);
}

}  // namespace
