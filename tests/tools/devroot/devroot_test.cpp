#include <gtest/gtest.h>
#include <filesystem>
#include <string>

#include "platform/cards/cards.h"
#include "platform/user/user.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/devroot/devroot.h"

namespace {

namespace fs = std::filesystem;

TEST(DevrootValues, TypedValuesAndTheirPrintedForm) {
    struct Case {
        const char* text;
        bool ok;
        const char* printed;
    };
    const Case cases[] = {
        {"dword:50", true, "50"},
        {"dword:0x40", true, "64"},
        {"dword:4294967295", true, "4294967295"},
        {"dword:-55", true, "4294967241"},
        {"dword:4294967296", false, ""},
        {"dword:-2147483649", false, ""},
        {"dword:12abc", false, ""},
        {"dword:", false, ""},
        {"float:42.5", true, "42.5"},  // kept as 0x422A0000
        {"float:39.15", true, "39.15"},
        {"float:-120.255", true, "-120.255"},
        {"float:nan", false, ""},
        {"float:1e40", false, ""},
        {"sz:COM8:", true, "COM8:"},
        {"sz:", true, ""},
        {"qword:1", false, ""},
        {"50", false, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        auto typed = devroot::ParseTypedValue(c.text, &error);
        EXPECT_EQ(typed.has_value(), c.ok) << c.text;
        if (typed) {
            EXPECT_EQ(devroot::FormatValue(*typed), c.printed) << c.text;
        } else {
            EXPECT_FALSE(error.empty()) << c.text;
        }
    }
    EXPECT_EQ(devroot::FormatValue({REG_BINARY, {0x01, 0xAB}}), "01,ab");
}

class DevrootTest : public testing_support::RootsTest {
  protected:
    int Run(const std::string& args) {
        testing_support::ToolRun run = testing_support::RunTool(DEVROOT_EXE, args, roots_.base());
        out_ = run.out;
        err_ = run.err;
        return run.status;
    }
    std::string Root() const { return "'" + roots_.device().string() + "'"; }
    std::string out_, err_;
};

TEST_F(DevrootTest, SetsAndGetsValuesTheProgramReads) {
    const std::string key = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";
    ASSERT_EQ(Run(Root() + " set " + key + " PlaybackDelay dword:50"), 0) << err_;
    ASSERT_EQ(Run(Root() + " set " + key + " LastLat float:42.5"), 0) << err_;
    ASSERT_EQ(Run(Root() + " set 'HKLM\\Drivers\\Active\\99' Name sz:COM8:"), 0) << err_;

    // What the tool wrote, the kernel reads back in this process.
    HKEY opened = nullptr;
    ASSERT_EQ(
        RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Zanterhoff\\Wayscribe", 0, KEY_READ, &opened),
        ERROR_SUCCESS);
    DWORD value = 0, type = 0, size = sizeof value;
    ASSERT_EQ(RegQueryValueExW(opened, u"LastLat", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0x422A0000u);

    EXPECT_EQ(Run(Root() + " get " + key + " PlaybackDelay"), 0);
    EXPECT_EQ(out_, "50\n");
    // A float pattern prints as the number it holds, or as its DWORD when asked.
    EXPECT_EQ(Run(Root() + " get " + key + " LastLat"), 0);
    EXPECT_EQ(out_, "42.5\n");
    EXPECT_EQ(Run(Root() + " get " + key + " LastLat dword"), 0);
    EXPECT_EQ(out_, "1110048768\n");
    EXPECT_EQ(Run(Root() + " get " + key + " PlaybackDelay float"), 0);
    EXPECT_EQ(out_, "7e-44\n");
    EXPECT_EQ(Run(Root() + " get 'hklm\\Drivers\\Active\\99' name"), 0);
    EXPECT_EQ(out_, "COM8:\n");
    EXPECT_EQ(Run(Root() + " get " + key + " ShowWarning"), 1);
    EXPECT_EQ(out_, "");
    EXPECT_NE(err_.find("is not set"), std::string::npos);
}

TEST_F(DevrootTest, MakesAStorageCard) {
    ASSERT_EQ(Run(Root() + " card 'Storage Card'"), 0) << err_;
    WIN32_FIND_DATA found{};
    HANDLE search = FindFirstFlashCard(&found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(found.cFileName), u"Storage Card");
    FindClose(search);
}

TEST_F(DevrootTest, BadArgumentsGiveTheUsageAndAMissingRootFails) {
    const std::string key = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";
    const std::string bad[] = {
        "",
        Root(),
        Root() + " card",
        Root() + " card a b",
        Root() + " set " + key + " X",
        Root() + " set 'HKCR\\x' X dword:1",
        Root() + " set " + key + " X dword:many",
        Root() + " get 'Software\\x' X",
        Root() + " get " + key + " X bits",
        Root() + " close now",
        Root() + " wipe",
    };
    for (const std::string& args : bad) {
        EXPECT_EQ(Run(args), 2) << args;
        EXPECT_NE(err_.find("usage: devroot"), std::string::npos) << args;
    }
    EXPECT_EQ(Run("'" + (roots_.base() / "nowhere").string() + "' set " + key + " X dword:1"), 1);
    EXPECT_FALSE(fs::exists(roots_.base() / "nowhere"));
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(out_.find("usage: devroot"), std::string::npos);
}

// close reaches the program's main window on the root, in another process.
TEST_F(DevrootTest, CloseAsksTheProgramOnTheRootToClose) {
    EXPECT_EQ(Run(Root() + " close"), 1);
    EXPECT_NE(err_.find("no navigation program runs"), std::string::npos) << err_;

    int closes = 0;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM w, LPARAM l) -> LRESULT {
        if (message == WM_CLOSE) {
            SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    };
    windowClass.lpszClassName = u"WCE_TravonaWCls";
    ASSERT_NE(RegisterClassW(&windowClass), 0);
    HWND program = CreateWindowExW(0, u"WCE_TravonaWCls", u"", WS_VISIBLE | WS_POPUP, 0, 0, 240,
                                   320, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(Run(Root() + " close"), 0) << err_;
    for (int waited = 0; closes == 0 && waited < 500; ++waited) {
        platform::PumpUntilIdle();
        closes = static_cast<int>(GetWindowLongPtrW(program, GWLP_USERDATA));
        if (closes == 0)
            Sleep(10);
    }
    EXPECT_EQ(closes, 1);
    DestroyWindow(program);
    UnregisterClassW(u"WCE_TravonaWCls", nullptr);
}

}  // namespace
