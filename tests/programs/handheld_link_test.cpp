// The handheld's side of the desktop link end to end, on a device root made by
// scripts/make-device (the package installed with cabinstall): the cradle serving it
// to this test as the desktop program's device link; a copy whose link drops; the GPS
// port detector beside the running navigation program; the Start menu's launcher.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "formats/gps_info.h"
#include "formats/map_set.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/ui/device_link.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/serial.h"
#include "platform/user/user.h"
#include "tests/programs/program_run.h"
#include "tests/support/cradle_child.h"
#include "tests/support/shared_data.h"
#include "tests/support/speed_receiver.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

using namespace programs_test;
using testing_support::CradleChild;
using testing_support::SpeedReceiver;

constexpr const char16_t* kNavigationClass = u"WCE_TravonaWCls";
const fs::path kInstall = fs::path("Program Files") / "Zanter" / "Wayscribe";
// Polls of 100 ms within which a receiver heard at its own speed gives a fix.
constexpr int kFirstFixPolls = 50;
const fs::path kCardMaps = fs::path("Storage Card") / "Zanter Wayscribe" / "Maps";

// The map files of a folder, by name.
std::map<std::string, std::string> MapFiles(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const char16_t* name : formats::map_set::kFileNames) {
        const std::string narrow = platform::WideToUtf8(name);
        if (fs::exists(folder / narrow))
            files[narrow] = Slurp(folder / narrow);
    }
    return files;
}

class HandheldLinkTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!VoiceGeneratorInstalled())
            return;
        suite_ = new Suite;
        Suite& s = *suite_;
        s.root = s.roots.base() / "device";
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "make-device";
        s.made = testing_support::RunTool(
            Quoted(script), "--town 1,300 --preset debug " + Quoted(s.root), s.roots.base());
        fs::create_directories(s.roots.base() / "dev");
        // The host has a Bluetooth adapter, so COM8, the Bluetooth stack's serial port,
        // opens with the radio on.
        fs::create_directories(s.roots.base() / "sys" / "class" / "bluetooth" / "hci0");
    }
    static void TearDownTestSuite() {
        delete suite_;
        suite_ = nullptr;
    }

    void SetUp() override {
        if (!suite_)
            GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
        ASSERT_EQ(suite_->made.status, 0) << suite_->made.err;
        // This process works on the handheld's root too, as another program on it.
        platform::SetDeviceRoot(suite_->root);
        platform::SetCurrentSide(platform::Side::Device);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        platform::SetMessageBoxHandler(nullptr);
        UnloadRapiLibrary();
        unsetenv("MAPFERRY_CRADLE");
        platform::SetCurrentSide(platform::Side::Device);
    }

    struct Suite {
        testing_support::TempRoots roots;
        fs::path root;
        testing_support::ToolRun made;
    };
    static Suite* suite_;

    const fs::path& Root() const { return suite_->root; }
    const fs::path& Base() const { return suite_->roots.base(); }

    std::vector<std::string> Environment() const {
        return {"PATHLUME_DEVICE=" + Root().string(), "PATHLUME_BACKEND=headless",
                "PATHLUME_DEV_DIR=" + (Base() / "dev").string(), "PATHLUME_GPSD=off",
                "PATHLUME_SYS_DIR=" + (Base() / "sys").string()};
    }
    // The navigation program, started as the user would (without the disclaimer).
    std::unique_ptr<Child> StartNavigation(const std::string& errName,
                                           std::vector<std::string> extra = {}) {
        std::vector<std::string> env = Environment();
        env.insert(env.end(), extra.begin(), extra.end());
        return std::make_unique<Child>(Root() / kInstall / "pathlumeQVGA.exe",
                                       std::vector<std::string>{"nowarning"}, env,
                                       Base() / errName);
    }
    // Its main window, once it shows (at most 60 s).
    static HWND WaitForNavigation() {
        for (int i = 0; i < 3000; ++i) {
            if (HWND window = FindWindowW(kNavigationClass, nullptr))
                return window;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return nullptr;
    }
    // The desktop's side: rapi.dll loaded, a cradle serving the root, the link up.
    void ConnectDesktop(std::optional<CradleChild>& cradle, CDeviceLink& link,
                        std::vector<std::string> cradleArgs = {}, fs::path root = {}) {
        cradle.emplace(root.empty() ? Root() : root, std::move(cradleArgs), Base() / "cradle.dock");
        ASSERT_TRUE(cradle->Ready()) << cradle->Errors();
        cradle->UseForDesktop();
        ASSERT_EQ(LoadRapiLibrary(), 0);
        ASSERT_EQ(link.Connect(), kConnectDone);
    }
};

HandheldLinkTest::Suite* HandheldLinkTest::suite_ = nullptr;

TEST_F(HandheldLinkTest, TheDesktopReachesTheCradledHandheld) {
    std::unique_ptr<Child> navigation = StartNavigation("link.err");
    ASSERT_NE(WaitForNavigation(), nullptr) << navigation->Errors();

    std::optional<CradleChild> cradle;
    CDeviceLink link;
    ConnectDesktop(cradle, link);
    platform::SetCurrentSide(platform::Side::Desktop);
    EXPECT_TRUE(link.IsServiceReady());  // the package installed the service library
    EXPECT_EQ(link.GetStorageCardCount(), 1);
    EXPECT_EQ(link.GetStorageCardName(0), u"\\Storage Card");
    EXPECT_GT(link.GetStorageCardFree(0), 1.0);
    EXPECT_GT(link.GetMainMemoryFree(), 1.0);
    EXPECT_GT(link.GetDeviceFolderSize("\\Storage Card\\Zanter Wayscribe\\Maps"), 50000u);

    // The installed map's record read back, as the pages do before they install.
    std::vector<BYTE> record;
    const DWORD read =
        link.ReadDeviceFile("\\Storage Card\\Zanter Wayscribe\\Maps\\namdict.bin", &record);
    const std::string namdict = Slurp(Root() / kCardMaps / "namdict.bin");
    ASSERT_GT(read, 0u);
    EXPECT_EQ(std::string(record.begin(), record.end()), namdict.substr(0, read));

    // The navigation program is asked to close before maps are copied: it ends.
    EXPECT_EQ(link.CloseDeviceProgram(), 0);
    EXPECT_EQ(navigation->Wait(std::chrono::seconds(10)), 0) << navigation->Errors();
    EXPECT_FALSE(SanitizerReported(navigation->Errors())) << navigation->Errors();
    EXPECT_EQ(link.CloseDeviceProgram(), 0);  // nothing running any more

    // A file copied, renamed and deleted.
    const fs::path source = Base() / "notes.txt";
    std::ofstream(source) << "copied to the handheld";
    EXPECT_EQ(link.CopyFileToDevice(platform::HostPathText(source).c_str(), "\\My Documents",
                                    "notes.txt", 0, nullptr),
              kCopyDone);
    EXPECT_EQ(Slurp(Root() / "My Documents" / "notes.txt"), "copied to the handheld");
    EXPECT_EQ(link.RenameDeviceFile("\\My Documents\\notes.txt", "\\My Documents\\kept.txt"), 1);
    link.DeleteDeviceFile("\\My Documents\\kept.txt");
    EXPECT_FALSE(fs::exists(Root() / "My Documents" / "kept.txt"));
    EXPECT_FALSE(fs::exists(Root() / "My Documents" / "notes.txt"));
}

// The copy thread of a generation, onto the handheld's card through the link.
struct CopyRunOnCard {
    explicit CopyRunOnCard(IDeviceLink* link, const fs::path& desktop) {
        platform::SetDrive('C', platform::DriveType::Fixed, desktop / "c");
        fs::create_directories(desktop / "c" / "gen");
        dialog.m_pGenerator = &generator;
        dialog.m_pDeviceLink = link;
        dialog.m_targetKind = kTargetStorageCard;
        dialog.m_targetIndex = 0;
        generator.m_hAbortEvent = dialog.m_hAbortEvent;
        generator.m_hReadyEvent = dialog.m_hReadyEvent;
        generator.m_hMutex = dialog.m_hMutex;
        // A new map of its own bytes, each file over a transfer piece.
        for (int slot = 0; slot < CMapGenerator::kSlotCount; ++slot) {
            const char16_t* name = formats::map_set::kFileNames[slot];
            generator.m_deviceNames[slot] = name;
            generator.m_tempPaths[slot] = std::u16string(u"C:\\gen\\") + name;
            std::string bytes(CDeviceLink::kTransferSize + 1000 * slot, 'n');
            bytes.replace(0, 4, std::to_string(slot));
            std::ofstream(desktop / "c" / "gen" / platform::WideToUtf8(name), std::ios::binary)
                << bytes;
            newMap[platform::WideToUtf8(name)] = bytes;
        }
        generator.SetFileReady(CMapGenerator::kSlotCount);
        dialog.m_generationEnded = 1;
    }
    void Run() {
        HANDLE thread = CreateThread(nullptr, 0, CopyAsGeneratedThreadProc, &dialog, 0, nullptr);
        ASSERT_NE(thread, nullptr);
        ASSERT_EQ(WaitForSingleObject(thread, 120000), WAIT_OBJECT_0);
        CloseHandle(thread);
    }

    CMapGenerator generator;
    CGeneratingDlg dialog;
    std::map<std::string, std::string> newMap;
};

TEST_F(HandheldLinkTest, ALinkDroppedInACopyKeepsTheMapAndARestartedCradleServesRetry) {
    // A handheld of its own with the suite's card and service library: this test
    // installs a map of its own there.
    const fs::path handheld = Base() / "retry-handheld";
    fs::create_directories(handheld / "Windows");
    fs::copy(Root() / "Storage Card", handheld / "Storage Card", fs::copy_options::recursive);
    fs::copy_file(Root() / "Windows" / "oxloserv.dll", handheld / "Windows" / "oxloserv.dll");
    platform::SetDeviceRoot(handheld);
    ASSERT_TRUE(platform::MakeStorageCard(u"Storage Card"));
    const fs::path maps = handheld / kCardMaps;
    const std::map<std::string, std::string> installed = MapFiles(maps);
    ASSERT_EQ(installed.size(), 16u);
    std::optional<CradleChild> cradle;
    CDeviceLink link;
    // The link drops at the 5th write: during the third file.
    ConnectDesktop(cradle, link, {"--drop-after-writes", "5"}, handheld);
    platform::SetCurrentSide(platform::Side::Desktop);
    CopyRunOnCard run(&link, Base() / "desktop-a");

    std::vector<std::u16string> boxes;
    bool oldMapWholeAtTheError = false;
    platform::SetMessageBoxHandler(
        [&](HWND, const std::u16string& text, const std::u16string&, UINT type) {
            boxes.push_back(text);
            if ((type & 0xF) != MB_ABORTRETRYIGNORE)
                return IDOK;
            // The error box is up: the card still holds the installed map. The cradle is
            // restarted (another port, another token) before the user answers Retry.
            oldMapWholeAtTheError = MapFiles(maps) == installed;
            const fs::path dock = cradle->dock();
            cradle->Stop(SIGKILL);
            cradle.emplace(handheld, std::vector<std::string>{}, dock);
            return cradle->Ready() ? IDRETRY : IDABORT;
        });
    run.Run();
    ASSERT_GE(boxes.size(), 2u);
    // A lost link is no full card: the error says only what failed.
    EXPECT_EQ(boxes.front().rfind(u"Error writing destination file ", 0), 0u);
    EXPECT_EQ(boxes.front().find(u"Not enough room"), std::u16string::npos);
    EXPECT_TRUE(oldMapWholeAtTheError);
    EXPECT_EQ(boxes.back(), u"Map Installation Completed.");
    EXPECT_EQ(run.dialog.m_completed.load(), 1);
    EXPECT_EQ(MapFiles(maps), run.newMap);
    for (const auto& entry : fs::directory_iterator(maps))
        EXPECT_EQ(entry.path().extension() == ".new" || entry.path().extension() == ".old" ||
                      entry.path().extension() == ".swap",
                  false)
            << entry.path();
}

// A link that is pulled at the swap's first rename, the commit.
class LinkPulledAtTheSwap : public CDeviceLink {
  public:
    explicit LinkPulledAtTheSwap(std::optional<CradleChild>* cradle) : m_cradle(cradle) {}
    int RenameDeviceFile(const char* from, const char* to) override {
        if (m_renames++ == 0)
            (*m_cradle)->Stop(SIGKILL);
        return CDeviceLink::RenameDeviceFile(from, to);
    }

  private:
    std::optional<CradleChild>* m_cradle;
    int m_renames = 0;
};

TEST_F(HandheldLinkTest, ALinkDroppedInTheSwapLeavesTheOldMapForTheNextStart) {
    const std::map<std::string, std::string> installed = MapFiles(Root() / kCardMaps);
    ASSERT_EQ(installed.size(), 16u);
    std::optional<CradleChild> cradle;
    LinkPulledAtTheSwap link(&cradle);
    ConnectDesktop(cradle, link);
    platform::SetCurrentSide(platform::Side::Desktop);
    CopyRunOnCard run(&link, Base() / "desktop-b");
    platform::SetMessageBoxHandler(
        [](HWND, const std::u16string&, const std::u16string&, UINT type) {
            return (type & 0xF) == MB_RETRYCANCEL ? IDCANCEL : IDOK;
        });
    run.Run();
    EXPECT_EQ(run.dialog.m_completed.load(), 0);
    // The new files wait beside the old map, which the program's next start keeps.
    platform::SetCurrentSide(platform::Side::Device);
    const fs::path script = Base() / "close.script";
    std::ofstream(script) << "idle close\n";
    std::vector<std::string> env = Environment();
    env.push_back("PATHLUME_SCRIPT=" + script.string());
    Child start(Root() / kInstall / "pathlumeQVGA.exe", {"nowarning"}, env, Base() / "start.err");
    ASSERT_EQ(start.Wait(std::chrono::seconds(60)), 0) << start.Errors();
    EXPECT_EQ(MapFiles(Root() / kCardMaps), installed);
    for (const auto& entry : fs::directory_iterator(Root() / kCardMaps))
        EXPECT_EQ(entry.path().extension() == ".new" || entry.path().extension() == ".swap", false)
            << entry.path();
}

// Asks the program to publish its fix and reads the published record: the fix's
// latitude when it is valid.
std::optional<float> PublishedFix(HWND navigation) {
    SendMessageW(navigation, WM_USER, 1, 0);
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        formats::gps_info::kSize, formats::gps_info::kName);
    if (!mapping)
        return std::nullopt;
    const auto* view = static_cast<const BYTE*>(
        MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, formats::gps_info::kSize));
    std::optional<float> latitude;
    if (view) {
        uint32_t status = 0;
        std::memcpy(&status, view + formats::gps_info::kStatusOffset, 4);
        if (status & formats::gps_info::kStatusFixValid) {
            float value = 0;
            std::memcpy(&value, view + formats::gps_info::kFixLatitudeOffset, 4);
            latitude = value;
        }
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return latitude;
}

TEST_F(HandheldLinkTest, AutoDetectFindsTheReceiverAndTheProgramReopensItsPort) {
    // COM8 is a receiver that talks at 9600 only; the program listens at 4800.
    SpeedReceiver receiver({});
    ASSERT_FALSE(receiver.path().empty());
    ASSERT_TRUE(platform::SetHostSerialPort(8, platform::Utf8ToWide(receiver.path())));
    HKEY settings = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Zanterhoff\\Wayscribe", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &settings, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : {std::pair{u"CommPort", 8u}, std::pair{u"NMEABaud", 4800u}})
        RegSetValueExW(settings, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(settings);

    std::unique_ptr<Child> navigation = StartNavigation(
        "autodetect.err", {"PATHLUME_SCRIPT_PORTSCOUT=" + (Base() / "portscout.script").string()});
    HWND window = WaitForNavigation();
    ASSERT_NE(window, nullptr) << navigation->Errors();
    // Listening at 4800 the program hears only noise: no fix in the time a receiver at
    // its own speed takes to give one.
    bool fixAt4800 = false;
    for (int i = 0; i < kFirstFixPolls && !fixAt4800; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fixAt4800 = PublishedFix(window).has_value();
    }
    EXPECT_FALSE(fixAt4800) << "a fix arrived at 4800";

    // The map screen's Auto Detect (command 3062, as a script's "command" sends it)
    // starts the detector, which reads the script the program passes on to it: OK on
    // each of its screens.
    const fs::path script = Base() / "portscout.script";
    std::ofstream(script) << "when Disconnect/Reconnect tap 80 235\n"
                             "when bps tap 80 235\n"
                             "when \"COM Port Setting\" tap 80 235\n";
    ASSERT_TRUE(PostMessageW(window, WM_COMMAND, 3062, 0));
    // The detector's confirmation stores the speed it found.
    bool detected = false;
    for (int i = 0; i < 600 && !detected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        detected = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 0) == 9600;
    }
    ASSERT_TRUE(detected) << navigation->Errors();
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 8u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 0), 9600u);

    std::optional<float> latitude;
    for (int i = 0; i < 300 && !latitude; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        latitude = PublishedFix(window);
    }
    ASSERT_TRUE(latitude) << "no fix after the port was reopened at 9600";
    EXPECT_NEAR(*latitude, 48.1173, 0.001);
    EXPECT_GT(receiver.SentencesSent(), 0);

    PostMessageW(window, WM_COMMAND, 0xE141, 0);
    EXPECT_EQ(navigation->Wait(std::chrono::seconds(20)), 0) << navigation->Errors();
    EXPECT_FALSE(SanitizerReported(navigation->Errors())) << navigation->Errors();
}

TEST_F(HandheldLinkTest, TheStartMenuShortcutStartsTheScreensBuild) {
    // The build the launcher starts reads its own script (it closes when idle) and
    // leaves its last screen where this test looks.
    const fs::path script = Base() / "build.script";
    const fs::path screenshot = Base() / "launched.png";
    std::ofstream(script) << "idle close\n";
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"PATHLUME_SCRIPT_PATHLUMEQVGA", script.string()},
          {"PATHLUME_SCREENSHOT", screenshot.string()},
          {"PATHLUME_BACKEND", "headless"},
          {"PATHLUME_DEV_DIR", (Base() / "dev").string()},
          {"PATHLUME_GPSD", "off"}})
        setenv(name, value.c_str(), 1);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"\\Windows\\Start Menu\\Wayscribe.lnk";
    const BOOL started = ShellExecuteExW(&info);
    for (const char* name : {"PATHLUME_SCRIPT_PATHLUMEQVGA", "PATHLUME_SCREENSHOT"})
        unsetenv(name);
    ASSERT_TRUE(started) << GetLastError();
    ASSERT_EQ(WaitForSingleObject(info.hProcess, 60000), WAIT_OBJECT_0);
    DWORD status = 99;
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hProcess);
    EXPECT_EQ(status, 0u);
    // The QVGA build ran to its end; the others are gone.
    bool shot = false;
    for (int i = 0; i < 600 && !shot; ++i) {
        shot = fs::exists(screenshot) && fs::file_size(screenshot) > 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(shot) << "the launcher's build did not run to its end";
    EXPECT_TRUE(fs::exists(Root() / kInstall / "pathlumeQVGA.exe"));
    EXPECT_FALSE(fs::exists(Root() / kInstall / "pathlumeVGA.exe"));
    EXPECT_FALSE(fs::exists(Root() / kInstall / "pathlumePhone.exe"));
}

}  // namespace
