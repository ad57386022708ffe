#include "pathlume/shell/main_frame.h"

#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/nav_app.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/test_child.h"

namespace shell_test {
namespace {

TEST(PortMenu, PortAndBaudItems) {
    EXPECT_EQ(PortMenuItem(1), 3036u);
    EXPECT_EQ(PortMenuItem(12), 3047u);
    EXPECT_EQ(PortMenuItem(16), 3051u);
    EXPECT_EQ(PortMenuItem(17), 0u);
    EXPECT_EQ(PortMenuItem(0), 0u);
    EXPECT_EQ(BaudMenuItem(4800), 3052u);
    EXPECT_EQ(BaudMenuItem(115200), 3057u);
    EXPECT_EQ(BaudMenuItem(14400), 0u);
}

class MainFrameTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
    }
    CMainFrame& Frame() { return *static_cast<CMainFrame*>(app_->m_pMainWnd); }
    bool Checked(UINT id) {
        HMENU tools = GetSubMenu(Frame().Menu(), 1);
        return (GetMenuState(tools, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
    }
};

TEST_F(MainFrameTest, MenuMarksFollowTheSettings) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 14400);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0x5005 | kOptionMetric);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI", 55);
    ASSERT_TRUE(Start());
    for (UINT id = 3052; id <= 3057; ++id)
        EXPECT_FALSE(Checked(id)) << id;
    EXPECT_TRUE(Checked(3064));
    EXPECT_FALSE(Checked(3065));
    EXPECT_FALSE(Checked(3066));
    EXPECT_TRUE(Checked(3060));
    EXPECT_TRUE(Checked(3025));
    Close();
}

// Another program closes the port, stores its choice and asks for a reopen; a
// missing "CommPort" means port 8.
TEST_F(MainFrameTest, OtherProgramsCloseAndReopenThePort) {
    ASSERT_TRUE(Start());
    HWND frame = Frame().GetSafeHwnd();
    EXPECT_EQ(SendMessageW(frame, WM_USER, kFrameClosePort, 0), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegDeleteValueW(key, u"CommPort");
    RegCloseKey(key);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 9600);
    PostMessageW(frame, WM_USER, kFrameReopenPort, 0);
    Pump();
    EXPECT_EQ(g_gpsPortName.Get(), u"COM8:");
    EXPECT_EQ(g_gpsBaud.load(), 9600u);
    EXPECT_EQ(SendMessageW(frame, WM_USER, 99, 0), 1);
    Close();
}

TEST_F(MainFrameTest, ExitCommandClosesTheProgramAndShutdownRunsOnce) {
    ASSERT_TRUE(Start());
    HWND frame = Frame().GetSafeHwnd();
    PostMessageW(frame, WM_COMMAND, ID_APP_EXIT, 0);
    Pump();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(g_mainView.load(), nullptr);
    EXPECT_EQ(g_shutDown.load(), 1u);
    app_->m_pMainWnd = nullptr;
    Finish();
}

TEST_F(MainFrameTest, ActivationRegistersTheBoundKeysAndDeactivationReleasesThem) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 1);
    const HotkeyEntry bound{0xC2, kHotkeyMute};
    RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", reinterpret_cast<const BYTE*>(&bound),
                 sizeof bound);
    ASSERT_TRUE(Start());
    HWND probe = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    SendMessageW(Frame().GetSafeHwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_FALSE(RegisterHotKey(probe, 1, MOD_WIN, 0xC2));
    EXPECT_EQ(g_windowActive.load(), 1u);
    SendMessageW(Frame().GetSafeHwnd(), WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(g_windowActive.load(), 0u);
    EXPECT_TRUE(RegisterHotKey(probe, 1, MOD_WIN, 0xC2));
    UnregisterHotKey(probe, 1);
    // A dialog of the program's own handing activation back registers nothing again.
    HWND dialog = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, Frame().GetSafeHwnd(),
                                  nullptr, nullptr, nullptr);
    SendMessageW(Frame().GetSafeHwnd(), WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(dialog));
    EXPECT_TRUE(RegisterHotKey(probe, 1, MOD_WIN, 0xC2));
    DestroyWindow(dialog);
    DestroyWindow(probe);
    Close();
}

TEST_F(MainFrameTest, AboutBoxEndsWithEscapeOrHome) {
    ASSERT_TRUE(Start());
    for (UINT key : {VK_ESCAPE, VK_HOME}) {
        g_homeKeyPressed.store(0);
        DialogAnswerer answerer({key});
        SendMessageW(Frame().GetSafeHwnd(), WM_COMMAND, ID_APP_ABOUT, 0);
        EXPECT_EQ(answerer.Answered(), 1);
        EXPECT_EQ(g_homeKeyPressed.load(), key == VK_HOME ? 1u : 0u);
    }
    Close();
}

// The program in a process of its own, its boxes drawn and modal: args are "CommPort",
// what brings up the box the test is about ("start": the start's open; "playback":
// the end of a played log; a number: that command, after the start's box), and what
// comes while that box is up: "close", the window's close; "port" or "reopen",
// another program closing the port or asking for a reopen, then a close once the box
// is gone. 0 once the program ended as after any close; 3 when a box never came.
TEST_CHILD(PortBoxThenClose) {
    const std::string trigger = args.at(1), inside = args.at(2);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue,
                static_cast<DWORD>(std::stoul(args.at(0))));
    std::atomic<bool> boxSeen{false};
    std::thread user([&] {
        using Clock = std::chrono::steady_clock;
        auto shownBox = [] {
            const auto giveUp = Clock::now() + std::chrono::seconds(10);
            for (;;) {
                HWND box = FindWindowW(u"#32770", nullptr);
                if ((box && IsWindowVisible(box)) || Clock::now() > giveUp)
                    return box;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        };
        auto answer = [](HWND box) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            while (IsWindow(box))
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        };
        HWND box = shownBox();
        if (box && trigger != "start") {
            answer(box);
            IMainView* view = g_mainView.load();
            if (trigger == "playback" && view)
                PostMessageW(view->GetViewWindow(), WM_USER, kViewPlaybackEnded, 0);
            else
                PostMessageW(FindWindowW(kMainWindowClassFound, nullptr), WM_COMMAND,
                             std::stoul(trigger), 0);
            box = shownBox();
        }
        const HWND frame = FindWindowW(kMainWindowClassFound, nullptr);
        if (!box) {
            PostMessageW(frame, WM_CLOSE, 0, 0);
            return;
        }
        boxSeen = true;
        if (inside == "close") {
            // Queued ahead of the answer: the box's own loop takes it.
            PostMessageW(frame, WM_CLOSE, 0, 0);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return;
        }
        if (inside == "port")
            SendMessageW(frame, WM_USER, kFrameClosePort, 0);
        else
            PostMessageW(frame, WM_USER, kFrameReopenPort, 0);
        answer(box);
        PostMessageW(frame, WM_CLOSE, 0, 0);
    });
    platform::UseDrawnMessageBox(true);
    CNavApp app;
    std::u16string commandLine = u"nowarning";
    const int status = AfxWinMain(nullptr, nullptr, commandLine.data(), SW_SHOW);
    user.join();
    return boxSeen ? status : 3;
}

// A host without serial devices, a Bluetooth adapter or gpsd, for this test's life.
class NoGpsHost {
  public:
    explicit NoGpsHost(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        setenv("PATHLUME_SYS_DIR", folder.c_str(), 1);
        setenv("PATHLUME_DEV_DIR", folder.c_str(), 1);
        setenv("PATHLUME_GPSD", "off", 1);
    }
    ~NoGpsHost() {
        unsetenv("PATHLUME_SYS_DIR");
        unsetenv("PATHLUME_DEV_DIR");
        unsetenv("PATHLUME_GPSD");
    }
};

// What comes while a box of the receiver's open is up never waits for that open: a
// close ends the program at once after the box, its end run (the one-start
// "nowarning" taken back). COM8 is the Bluetooth port on a host without an adapter
// ("Couldn't enable Bluetooth Radio"); COM3 and COM5 are missing serial ports
// ("Couldn't open serial port").
TEST_F(MainFrameTest, ACloseWhileAPortBoxIsUpEndsTheProgram) {
    const NoGpsHost host(roots_.base() / "no-host");
    struct Case {
        const char* port;
        const char* trigger;
        const char* inside;
    };
    const Case cases[] = {
        {"8", "start", "close"},     // the start's open
        {"8", "playback", "close"},  // the reopen after a played log
        {"3", "3040", "close"},      // COM5 from the port menu
        {"3", "start", "port"},      // another program closes the port
        {"3", "start", "reopen"},    // another program asks for a reopen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " " + c.trigger + " " + c.inside);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1);
        const pid_t child =
            testing_support::StartChild("PortBoxThenClose", {c.port, c.trigger, c.inside});
        ASSERT_GT(child, 0);
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        int raw = 0;
        pid_t done = 0;
        while ((done = waitpid(child, &raw, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (done != child) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            ADD_FAILURE() << "the program still ran 20 s after the close";
            continue;
        }
        EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "status " << raw;
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 0), 1u);
    }
}

}  // namespace
}  // namespace shell_test
