#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/kernel/paths.h"
#include "platform/shell/shell.h"
#include "tests/support/temp_root.h"

namespace {

class ShellTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetScreenMode(240, 320, 96);
        platform::ResetShellState();
    }
    void TearDown() override {
        for (HWND hwnd : windows_)
            DestroyWindow(hwnd);
        platform::PumpUntilIdle();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        platform::ResetShellState();
    }

    // A visible top-level window that counts the WM_SETTINGCHANGE it gets.
    HWND MakeWindow() {
        static bool registered = false;
        if (!registered) {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) -> LRESULT {
                if (message == WM_SETTINGCHANGE && wParam == SPI_SETSIPINFO)
                    ++s_settingChanges;
                return DefWindowProcW(hwnd, message, wParam, lParam);
            };
            windowClass.lpszClassName = u"ShellTestWindow";
            RegisterClassW(&windowClass);
            registered = true;
        }
        HWND hwnd = CreateWindowExW(0, u"ShellTestWindow", u"w", WS_POPUP | WS_VISIBLE, 10, 10, 100,
                                    100, nullptr, nullptr, nullptr, nullptr);
        windows_.push_back(hwnd);
        return hwnd;
    }

    static int s_settingChanges;
    std::vector<HWND> windows_;
};
int ShellTest::s_settingChanges = 0;

TEST_F(ShellTest, SpecialFoldersAreTheDeviceFoldersAndAreMadeOnRequest) {
    struct Case {
        int folder;
        const char16_t* path;
    } cases[] = {
        {CSIDL_PERSONAL, u"\\My Documents"},
        {CSIDL_PROGRAMS, u"\\Windows\\Start Menu\\Programs"},
        {CSIDL_STARTMENU, u"\\Windows\\Start Menu"},
        {CSIDL_PROGRAM_FILES, u"\\Program Files"},
        {CSIDL_WINDOWS, u"\\Windows"},
        {CSIDL_STARTUP, u"\\Windows\\StartUp"},
    };
    for (const auto& c : cases) {
        WCHAR path[MAX_PATH] = u"x";
        EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, c.folder, TRUE));
        EXPECT_EQ(std::u16string(path), c.path);
        DWORD attributes = GetFileAttributesW(path);
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    // The folders are real folders of the device root.
    EXPECT_TRUE(
        std::filesystem::is_directory(roots_.device() / "Windows" / "Start Menu" / "Programs"));

    WCHAR path[MAX_PATH];
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, CSIDL_FAVORITES, FALSE));  // missing
    EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_FAVORITES, TRUE));
    EXPECT_TRUE(SHGetSpecialFolderPath(nullptr, path, CSIDL_FAVORITES, FALSE));
    EXPECT_FALSE(SHGetSpecialFolderPath(nullptr, path, 0x7777, TRUE));
}

TEST_F(ShellTest, TheInputPanelTellsTheActiveWindowOnlyWhenItMoves) {
    HWND hwnd = MakeWindow();
    ASSERT_EQ(GetActiveWindow(), hwnd);
    s_settingChanges = 0;

    SIPINFO info{};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    EXPECT_FALSE(info.fdwFlags & SIPF_ON);
    EXPECT_EQ(info.rcVisibleDesktop.bottom, 320);

    EXPECT_TRUE(SHSipPreference(hwnd, SIP_UP));
    EXPECT_EQ(s_settingChanges, 1);
    EXPECT_TRUE(SHSipPreference(hwnd, SIP_UP));  // already up: nothing to tell
    EXPECT_TRUE(SHSipPreference(hwnd, SIP_UNCHANGED));
    EXPECT_EQ(s_settingChanges, 1);
    ASSERT_TRUE(SHSipInfo(SPI_GETSIPINFO, 0, &info, 0));
    EXPECT_TRUE(info.fdwFlags & SIPF_ON);
    EXPECT_EQ(info.rcSipRect.bottom, 320);
    EXPECT_EQ(info.rcVisibleDesktop.bottom, info.rcSipRect.top);
    EXPECT_LT(info.rcSipRect.top, 320);

    EXPECT_TRUE(SHSipPreference(hwnd, SIP_FORCEDOWN));
    EXPECT_EQ(s_settingChanges, 2);
    EXPECT_TRUE(SipShowIM(SIPF_ON));
    info.fdwFlags = SIPF_OFF;
    EXPECT_TRUE(SHSipInfo(SPI_SETSIPINFO, 0, &info, 0));
    EXPECT_EQ(s_settingChanges, 4);

    SIPINFO unsized{};
    EXPECT_FALSE(SHSipInfo(SPI_GETSIPINFO, 0, &unsized, 0));
    EXPECT_FALSE(SHSipPreference(nullptr, SIP_UP));
}

TEST_F(ShellTest, FullScreenRecordsThePartsAndRefusesContradictions) {
    HWND hwnd = MakeWindow();
    EXPECT_TRUE(SHFullScreen(hwnd, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON));
    auto state = platform::ShellFullScreenState();
    EXPECT_FALSE(state.taskBarShown);
    EXPECT_FALSE(state.sipButtonShown);
    EXPECT_TRUE(state.startIconShown);
    EXPECT_EQ(state.window, hwnd);

    EXPECT_FALSE(SHFullScreen(hwnd, SHFS_SHOWTASKBAR | SHFS_HIDETASKBAR));
    EXPECT_FALSE(platform::ShellFullScreenState().taskBarShown);  // unchanged
    EXPECT_FALSE(SHFullScreen(nullptr, SHFS_SHOWTASKBAR));

    EXPECT_TRUE(SHFullScreen(hwnd, SHFS_SHOWTASKBAR | SHFS_SHOWSIPBUTTON));
    state = platform::ShellFullScreenState();
    EXPECT_TRUE(state.taskBarShown);
    EXPECT_TRUE(state.sipButtonShown);
}

TEST_F(ShellTest, DialogSetUpSizesToTheScreenAndLowersThePanel) {
    HWND hwnd = MakeWindow();
    SipShowIM(SIPF_ON);
    SHINITDLGINFO info{SHIDIM_FLAGS, hwnd,
                       SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN};
    ASSERT_TRUE(SHInitDialog(&info));
    RECT rect;
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 240);
    EXPECT_EQ(rect.bottom, 320);
    EXPECT_TRUE(static_cast<DWORD>(GetWindowLongW(hwnd, GWL_EXSTYLE)) & WS_EX_CAPTIONOKBTN);
    SIPINFO sip{};
    sip.cbSize = sizeof(sip);
    SipGetInfo(&sip);
    EXPECT_FALSE(sip.fdwFlags & SIPF_ON);

    SHINITDLGINFO bad{SHIDIM_FLAGS, nullptr, SHIDIF_SIZEDLG};
    EXPECT_FALSE(SHInitDialog(&bad));
}

TEST_F(ShellTest, ShortcutsRoundTripAndBadOnesAreRefused) {
    CreateDirectoryW(u"\\Windows", nullptr);
    WCHAR link[] = u"\\Windows\\Nav.lnk";
    WCHAR target[] = u"\\Program Files\\Zanter\\nav.exe";
    ASSERT_TRUE(SHCreateShortcut(link, target));
    std::ifstream file(roots_.device() / "Windows" / "Nav.lnk", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "31#\"\\Program Files\\Zanter\\nav.exe\"");
    WCHAR read[MAX_PATH];
    ASSERT_TRUE(SHGetShortcutTarget(link, read, MAX_PATH));
    EXPECT_EQ(std::u16string(read), u"\"\\Program Files\\Zanter\\nav.exe\"");
    EXPECT_FALSE(SHGetShortcutTarget(link, read, 10));  // does not fit

    WCHAR foreign[] = u"\\Windows\\\u0416.exe";  // not single-byte text
    EXPECT_FALSE(SHCreateShortcut(link, foreign));
    ASSERT_TRUE(SHGetShortcutTarget(link, read, MAX_PATH));  // the old one stays

    // A target longer than any shortcut is refused, not handed back cut.
    std::u16string longTarget = u"\\" + std::u16string(2 * MAX_PATH, u'a');
    ASSERT_TRUE(SHCreateShortcut(link, longTarget.data()));
    std::vector<WCHAR> wide(4 * MAX_PATH);
    EXPECT_FALSE(SHGetShortcutTarget(link, wide.data(), static_cast<int>(wide.size())));

    for (const char* bad : {"", "#x", "abc#\\x", "12345#\\x", "12#"}) {
        std::ofstream(roots_.device() / "Windows" / "Bad.lnk", std::ios::binary) << bad;
        EXPECT_FALSE(SHGetShortcutTarget(u"\\Windows\\Bad.lnk", read, MAX_PATH)) << bad;
    }
}

TEST_F(ShellTest, ProvisioningAcceptsWellFormedDocumentsOnly) {
    const char16_t* document =
        u"<wap-provisioningdoc> <characteristic type=\"Metabase\"><characteristic "
        u"type=\"RAPI\\Windows\\x.dll\\*\"><parm name=\"rw-access\" value=\"3\" /><parm "
        u"name=\"access-role\" value=\"16\" /></characteristic></characteristic>"
        u"</wap-provisioningdoc>";
    LPWSTR out = nullptr;
    ASSERT_EQ(DMProcessConfigXML(document, CFGFLAG_PROCESS, &out), S_OK);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::u16string(out), document);
    delete[] out;
    // The metabase entry is recorded in the device's registry.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Security\\Metabase\\RAPI\\Windows\\x.dll\\*", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(
        RegQueryValueExW(key, u"rw-access", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(RegQueryValueExW(key, u"access-role", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 16u);
    RegCloseKey(key);

    for (const char16_t* bad : {
             u"",
             u"<wap-provisioningdoc>",
             u"<wap-provisioningdoc><characteristic type=\"a\"></wap-provisioningdoc>",
             u"<other/>",
             u"<wap-provisioningdoc><parm name=\"a\" value=\"b></wap-provisioningdoc>",
             u"<wap-provisioningdoc></wap-provisioningdoc>trailing",
             u"<wap-provisioningdoc><script/></wap-provisioningdoc>",
         }) {
        out = reinterpret_cast<LPWSTR>(1);
        EXPECT_EQ(DMProcessConfigXML(bad, CFGFLAG_PROCESS, &out), E_INVALIDARG);
        EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(DMProcessConfigXML(document, CFGFLAG_PROCESS, nullptr), E_INVALIDARG);
}

}  // namespace

TEST(ShellCalls, TheStartAndDoneButtonCallsChangeNothing) {
    EXPECT_TRUE(SHInitExtraControls());
    EXPECT_FALSE(SHDoneButton(nullptr, SHDB_HIDE));
    HWND window = CreateWindowExW(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                  nullptr, nullptr, nullptr);
    DWORD exStyle = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_TRUE(SHDoneButton(window, SHDB_HIDE));
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE), static_cast<LONG>(exStyle));
    DestroyWindow(window);
}
