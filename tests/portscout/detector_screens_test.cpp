// The detector's screens: drawn in-process on the 240 x 320 screen, and the program as
// a child beside a stand-in of the navigation program's main window.
#include "portscout/detector_dialogs.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/serial.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/support/shared_data.h"
#include "tests/support/speed_receiver.h"
#include "tests/support/temp_root.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path GoldenFolder() {
    return testing_support::RepositoryFolder() / "tests" / "portscout" / "golden";
}

class DetectorScreensTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Device);
        platform::SetScreenMode(240, 320, 96);
        fs::create_directories(roots_.base() / "dev");
        setenv("PATHLUME_DEV_DIR", (roots_.base() / "dev").c_str(), 1);
        setenv("PATHLUME_GPSD", "off", 1);
        screen_testing::CleanUpThread();
    }
    void TearDown() override {
        screen_testing::CleanUpThread();
        unsetenv("PATHLUME_DEV_DIR");
        unsetenv("PATHLUME_GPSD");
    }

    // Queued for the dialog's own loop, which hands taps on its pictures to it.
    static void Tap(int x, int y) { platform::PostTap(POINT{x, y}); }
};

TEST_F(DetectorScreensTest, TheThreeScreensAndWhatTheirAreasDo) {
    testing_support::SpeedReceiver receiver({});
    ASSERT_TRUE(platform::SetHostSerialPort(8, platform::Utf8ToWide(receiver.path())));

    // The instructions; the right area quits.
    screen_testing::ShownProbe<CDetectIntroDlg> intro;
    intro.onShown = [](auto&) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(GoldenFolder(), "portscout_intro"));
        Tap(160, 235);
    };
    EXPECT_EQ(intro.DoModal(), IDCANCEL);
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));

    // The confirmation's OK writes the settings.
    screen_testing::ShownProbe<CPortConfirmDlg> confirm(8, 9600);
    confirm.onShown = [](auto&) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(GoldenFolder(), "portscout_confirm"));
        Tap(80, 235);
    };
    EXPECT_EQ(confirm.DoModal(), IDOK);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 8u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 0), 9600u);

    // The scan finds the receiver on COM8 at 9600; OK there opens the confirmation for
    // it, whose OK (the second tap, read by its own loop) writes the settings again.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 4800);
    screen_testing::ShownProbe<CPortScanDlg> scan;
    scan.onShown = [](auto&) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(GoldenFolder(), "portscout_scan"));
        Tap(80, 235);
        Tap(80, 235);
    };
    EXPECT_EQ(scan.DoModal(), IDOK);
    EXPECT_EQ(scan.Ports()[7].detectedBaud, 9600);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 0), 9600u);
}

TEST_F(DetectorScreensTest, WithoutAReceiverOkWritesNothingAndScanAgainScansAfresh) {
    screen_testing::ShownProbe<CPortScanDlg> scan;
    scan.onShown = [](auto& dialog) { dialog.SendMessage(WM_COMMAND, kScanAgain, 0); };
    EXPECT_EQ(scan.DoModal(), kScanAgain);
    scan.onShown = [](auto&) { Tap(80, 235); };
    EXPECT_EQ(scan.DoModal(), IDOK);
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

// The navigation program's main window, keeping the WM_USER codes it is given.
std::vector<WPARAM> g_userCodes;
LRESULT CALLBACK NavigationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_USER) {
        g_userCodes.push_back(wParam);
        return 1;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Runs portscout.exe with the script, serving the window until it has ended.
int RunDetector(const fs::path& folder, const std::string& script) {
    const fs::path scriptFile = folder / "portscout.script";
    std::ofstream(scriptFile) << script;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("PATHLUME_DEVICE=", 0) != 0)
            env.emplace_back(*e);
    // The device root of this test, where its window is.
    env.push_back("PATHLUME_DEVICE=" + platform::DeviceRoot().string());
    env.push_back("PATHLUME_SCRIPT_PORTSCOUT=" + scriptFile.string());
    env.push_back("PATHLUME_BACKEND=headless");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string program =
        (fs::read_symlink("/proc/self/exe").parent_path() / "portscout.exe").string();
    char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        platform::PumpUntilIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

TEST_F(DetectorScreensTest, TheRunningProgramLetsGoOfItsPortAndTakesItBackAlsoOnQuit) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = NavigationProc;
    windowClass.lpszClassName = u"WCE_TravonaWCls";
    RegisterClassW(&windowClass);
    HWND navigation = CreateWindowExW(0, u"WCE_TravonaWCls", u"Wayscribe", WS_POPUP | WS_VISIBLE, 0,
                                      0, 240, 320, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(navigation, nullptr);

    g_userCodes.clear();
    EXPECT_EQ(RunDetector(roots_.base(), "when Disconnect/Reconnect tap 160 235\n"), 0);
    platform::PumpUntilIdle();
    EXPECT_EQ(g_userCodes, (std::vector<WPARAM>{5, 4}));

    // OK, a scan that finds nothing, OK: nothing is written.
    g_userCodes.clear();
    EXPECT_EQ(RunDetector(roots_.base(),
                          "when Disconnect/Reconnect tap 80 235\n"
                          "when \"Cannot find\" tap 80 235\n"),
              0);
    platform::PumpUntilIdle();
    EXPECT_EQ(g_userCodes, (std::vector<WPARAM>{5, 4}));
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 0u);
    DestroyWindow(navigation);
}

}  // namespace
