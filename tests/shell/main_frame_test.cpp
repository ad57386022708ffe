#include "pathlume/shell/main_frame.h"

#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/hotkey_table.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"

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

}  // namespace
}  // namespace shell_test
