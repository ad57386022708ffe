// Menus: building and states, popup menus on the screen, and the command bar.
#include <gtest/gtest.h>

#include <map>

#include "platform/user/menu_bar.h"
#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class MenusTest : public UserTest {};

// Exactly one WM_COMMAND came, to that window, with that wParam.
void ExpectOneCommand(HWND to, WPARAM wParam) {
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].hwnd, to);
    EXPECT_EQ(commands[0].wParam, wParam);
}

// File | Tools (Units (km, miles), separator, Speed Alert) | View
platform::MenuTemplate MainMenuTemplate() {
    platform::MenuTemplate t;
    t.items = {
        {u"File", 0, MF_STRING, {{u"Exit", 3001}}},
        {u"Tools",
         0,
         MF_STRING,
         {{u"Units", 0, MF_STRING, {{u"km", 3064}, {u"miles", 3065}}},
          {u"", 0, MF_SEPARATOR},
          {u"Speed Alert", 3025}}},
        {u"View", 0, MF_STRING, {{u"Map", 3040}, {u"Off", 3041, MF_GRAYED}}},
    };
    return t;
}

TEST_F(MenusTest, ItemsAreFoundByPositionOrByCommandThroughSubmenus) {
    platform::RegisterMenuTemplate(nullptr, 2000, MainMenuTemplate());
    HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(2000));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(LoadMenuW(nullptr, MAKEINTRESOURCEW(2001)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    HMENU tools = GetSubMenu(menu, 1);
    ASSERT_NE(tools, nullptr);
    EXPECT_EQ(GetMenuItemID(menu, 1), static_cast<UINT>(-1));
    EXPECT_EQ(GetMenuItemID(tools, 2), 3025u);
    EXPECT_EQ(GetMenuState(tools, 0, MF_BYPOSITION), static_cast<UINT>(MF_POPUP | (2 << 8)));
    EXPECT_EQ(GetMenuState(tools, 1, MF_BYPOSITION) & MF_SEPARATOR,
              static_cast<UINT>(MF_SEPARATOR));

    // By command, from the top menu down into the nested submenu.
    EXPECT_EQ(CheckMenuItem(menu, 3065, MF_BYCOMMAND | MF_CHECKED),
              static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(menu, 3065, MF_BYCOMMAND | MF_UNCHECKED),
              static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(menu, 9999, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(-1));
    EXPECT_EQ(EnableMenuItem(menu, 3041, MF_BYCOMMAND | MF_ENABLED), static_cast<BOOL>(MF_GRAYED));
    EXPECT_EQ(GetMenuState(menu, 3041, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_EQ(EnableMenuItem(menu, 9999, MF_BYCOMMAND), -1);
    EXPECT_TRUE(CheckMenuRadioItem(menu, 3064, 3065, 3064, MF_BYCOMMAND));
    HMENU units = GetSubMenu(tools, 0);
    EXPECT_EQ(GetMenuState(units, 0, MF_BYPOSITION) & (MF_CHECKED | MFT_RADIOCHECK),
              static_cast<UINT>(MF_CHECKED | MFT_RADIOCHECK));
    EXPECT_TRUE(CheckMenuRadioItem(menu, 3064, 3065, 3065, MF_BYCOMMAND));
    EXPECT_EQ(GetMenuState(units, 0, MF_BYPOSITION) & MF_CHECKED, 0u);
    EXPECT_EQ(GetMenuState(units, 1, MF_BYPOSITION) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));

    // Insert before an item by command, change one, remove and delete.
    ASSERT_TRUE(InsertMenuW(menu, 3025, MF_BYCOMMAND | MF_STRING, 3026, u"Cancel Route"));
    EXPECT_EQ(GetMenuItemID(tools, 2), 3026u);
    ASSERT_TRUE(ModifyMenuW(menu, 3026, MF_BYCOMMAND | MF_STRING | MF_CHECKED, 3027, u"Detour"));
    char16_t text[32];
    EXPECT_EQ(GetMenuStringW(tools, 2, text, 32, MF_BYPOSITION), 6);
    EXPECT_EQ(std::u16string(text), u"Detour");
    EXPECT_EQ(GetMenuState(tools, 3027, MF_BYCOMMAND) & MF_CHECKED, static_cast<UINT>(MF_CHECKED));
    EXPECT_FALSE(ModifyMenuW(menu, 3026, MF_BYCOMMAND, 1, u"gone"));

    ASSERT_TRUE(RemoveMenu(tools, 0, MF_BYPOSITION));
    EXPECT_TRUE(IsMenu(units));  // removed, not destroyed: the caller keeps it
    EXPECT_EQ(GetMenuItemCount(tools), 3);
    ASSERT_TRUE(AppendMenuW(tools, MF_POPUP, reinterpret_cast<UINT_PTR>(units), u"Units"));
    ASSERT_TRUE(DeleteMenu(tools, 3, MF_BYPOSITION));
    EXPECT_FALSE(IsMenu(units));
    EXPECT_FALSE(DeleteMenu(tools, 7, MF_BYPOSITION));
    EXPECT_FALSE(AppendMenuW(tools, MF_POPUP, reinterpret_cast<UINT_PTR>(units), u"Gone"));

    ASSERT_TRUE(DestroyMenu(menu));
    EXPECT_FALSE(IsMenu(tools));
    EXPECT_FALSE(DestroyMenu(menu));
    EXPECT_EQ(GetMenuItemCount(menu), -1);
}

class PopupMenuTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        owner_ = MakeTopLevel({0, 0, 240, 320});
        platform::PumpUntilIdle();
        menu_ = CreatePopupMenu();
        AppendMenuW(menu_, MF_STRING, 3005, u"Set Start Location");
        AppendMenuW(menu_, MF_STRING, 3003, u"Set Destination");
        AppendMenuW(menu_, MF_STRING | MF_GRAYED, 3006, u"Save This Location");
        sub_ = CreatePopupMenu();
        AppendMenuW(sub_, MF_STRING, 3100, u"COM 1");
        AppendMenuW(sub_, MF_STRING, 3101, u"COM 2");
        AppendMenuW(menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(sub_), u"Port");
        ClearSeen();
    }
    void TearDown() override {
        DestroyMenu(menu_);
        UserTest::TearDown();
    }

    // Runs `inside` once the menu is on the screen, with the rectangle (on the screen)
    // of each item of the newest open menu level, then tracks the menu.
    BOOL Track(UINT flags, POINT at, std::function<void(const std::vector<RECT>&)> inside) {
        SetHandler(owner_, [inside](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
            if (message == WM_APP) {
                inside(ItemRects());
                return true;
            }
            return false;
        });
        PostMessageW(owner_, WM_APP, 0, 0);
        return TrackPopupMenuEx(menu_, flags, at.x, at.y, owner_, nullptr);
    }

    // The items of the newest popup window (every item here is as tall as the others):
    // the first window made is the menu, a later one its submenu.
    static std::vector<RECT> ItemRects() {
        HWND newest = nullptr;
        HWND oldest = nullptr;
        for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            char16_t name[16];
            GetClassNameW(w, name, 16);
            if (std::u16string(name) == u"#32768" && IsWindowVisible(w)) {
                newest = !newest || w > newest ? w : newest;
                oldest = !oldest || w < oldest ? w : oldest;
            }
        }
        std::vector<RECT> rects;
        if (!newest) {
            return rects;
        }
        RECT client;
        GetClientRect(newest, &client);
        int count = newest == oldest ? 4 : 2;
        for (int i = 0; i < count; ++i) {
            RECT r{0, client.bottom * i / count, client.right, client.bottom * (i + 1) / count};
            MapWindowPoints(newest, nullptr, reinterpret_cast<LPPOINT>(&r), 2);
            rects.push_back(r);
        }
        return rects;
    }
    static HWND Popup() { return FindWindowW(u"#32768", nullptr); }
    static POINT Center(const RECT& r) {
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    HWND owner_ = nullptr;
    HMENU menu_ = nullptr;
    HMENU sub_ = nullptr;
};

TEST_F(PopupMenuTest, ATapChoosesAnEnabledItemAndATapOutsideChoosesNothing) {
    RECT menuRect{};
    BOOL chosen = Track(TPM_RETURNCMD, {20, 40}, [&](const std::vector<RECT>& items) {
        GetWindowRect(Popup(), &menuRect);
        platform::PostTap(Center(items[2]));  // greyed: nothing happens
        platform::PostTap(Center(items[1]));
    });
    EXPECT_EQ(chosen, 3003);
    EXPECT_EQ(menuRect.left, 20);
    EXPECT_EQ(menuRect.top, 40);
    EXPECT_EQ(Popup(), nullptr);
    EXPECT_EQ(GetCapture(), nullptr);
    // The owner heard of the menu before it showed.
    ASSERT_FALSE(SeenOf(WM_INITMENUPOPUP).empty());
    EXPECT_EQ(SeenOf(WM_INITMENUPOPUP)[0].wParam, reinterpret_cast<WPARAM>(menu_));

    chosen = Track(TPM_RETURNCMD, {20, 40}, [&](const std::vector<RECT>&) {
        platform::PostTap({230, 310});
    });
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(Popup(), nullptr);

    // A long press opens the menu under the stylus: lifting it there chooses nothing,
    // sliding onto an item and lifting chooses that item.
    chosen = Track(TPM_RETURNCMD, {20, 40}, [&](const std::vector<RECT>& items) {
        platform::PostPointerUp(Center(items[0]));
        platform::PostKeyPress(VK_ESCAPE);
    });
    EXPECT_EQ(chosen, 0);
    chosen = Track(TPM_RETURNCMD, {20, 40}, [&](const std::vector<RECT>& items) {
        platform::PostPointerMove(Center(items[1]));
        platform::PostPointerUp(Center(items[1]));
    });
    EXPECT_EQ(chosen, 3003);
}

TEST_F(PopupMenuTest, WithoutReturnCmdTheChoiceIsPostedToTheOwner) {
    ClearSeen();
    BOOL result = Track(
        0, {20, 40}, [&](const std::vector<RECT>& items) { platform::PostTap(Center(items[0])); });
    EXPECT_TRUE(result);
    EXPECT_TRUE(SeenOf(WM_COMMAND).empty());  // posted: it comes after the call
    platform::PumpUntilIdle();
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(3005, 0));
}

TEST_F(PopupMenuTest, SubmenusOpenFromTheirItemAndKeysWork) {
    // A tap on "Port" opens the submenu; once it is there (a timer comes after the input
    // is read), a tap on its second item chooses that.
    SetHandler(owner_, [this](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_APP) {
            platform::PostTap(Center(ItemRects()[3]));
            SetTimer(owner_, 1, 10, nullptr);
            return true;
        }
        if (message == WM_TIMER) {
            std::vector<RECT> sub = ItemRects();
            if (sub.size() == 2) {
                KillTimer(owner_, 1);
                platform::PostTap(Center(sub[1]));
            }
            return true;
        }
        return false;
    });
    platform::DiscardPendingInput();
    PostMessageW(owner_, WM_APP, 0, 0);
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD, 20, 40, owner_, nullptr), 3101);

    // Keys: Down and Up move over the enabled items (wrapping), Right opens a submenu and
    // Left closes it, Enter chooses, Escape closes.
    struct Case {
        std::vector<UINT> keys;
        BOOL expected;
    };
    const std::vector<Case> cases = {
        {{VK_DOWN, VK_RETURN}, 3005},
        {{VK_DOWN, VK_DOWN, VK_RETURN}, 3003},
        {{VK_UP, VK_RIGHT, VK_DOWN, VK_RETURN}, 3101},  // Up wraps to "Port"
        {{VK_UP, VK_RIGHT, VK_LEFT, VK_ESCAPE}, 0},
    };
    for (const Case& c : cases) {
        SetHandler(owner_, nullptr);
        for (UINT key : c.keys) {
            platform::PostKeyPress(key);
        }
        EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD, 20, 40, owner_, nullptr), c.expected);
        platform::DiscardPendingInput();
    }
}

TEST_F(PopupMenuTest, AlignmentFlagsPlaceTheMenuAndTheScreenEdgeKeepsIt) {
    struct Case {
        UINT flags;
        POINT at;
        bool rightEdgeAtX;
        bool bottomEdgeAtY;
    };
    const Case cases[] = {
        {TPM_RIGHTALIGN | TPM_BOTTOMALIGN, {200, 300}, true, true},
        {TPM_LEFTALIGN | TPM_TOPALIGN, {10, 10}, false, false},
    };
    for (const Case& c : cases) {
        RECT r{};
        Track(TPM_RETURNCMD | c.flags, c.at, [&](const std::vector<RECT>&) {
            GetWindowRect(Popup(), &r);
            platform::PostKeyPress(VK_ESCAPE);
        });
        EXPECT_EQ(c.rightEdgeAtX ? r.right : r.left, c.at.x);
        EXPECT_EQ(c.bottomEdgeAtY ? r.bottom : r.top, c.at.y);
    }
    // Near the bottom right corner the menu moves onto the screen.
    RECT r{};
    Track(TPM_RETURNCMD, {235, 315}, [&](const std::vector<RECT>&) {
        GetWindowRect(Popup(), &r);
        platform::PostKeyPress(VK_ESCAPE);
    });
    EXPECT_EQ(r.right, 240);
    EXPECT_EQ(r.bottom, 320);
}

TEST_F(MenusTest, TheCommandBarShowsItsMenuAndButtonsAndTellsItsParent) {
    platform::RegisterMenuTemplate(nullptr, 2000, MainMenuTemplate());
    HWND frame = MakeTopLevel({0, 0, 240, 320});
    HWND bar = CommandBar_Create(nullptr, frame, 0xE800);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(GetDlgCtrlID(bar), 0xE800);
    ASSERT_TRUE(CommandBar_InsertMenubar(bar, nullptr, 2000, 0));
    ASSERT_TRUE(CommandBar_AddAdornments(bar, 0, 0));
    TBBUTTON buttons[3] = {};
    buttons[0] = {0, 0, TBSTATE_ENABLED, TBSTYLE_SEP, {}, 0, 0};
    buttons[1] = {0, 3013, TBSTATE_ENABLED, TBSTYLE_CHECK, {}, 0, 0};
    buttons[2] = {1, 3014, 0, TBSTYLE_BUTTON, {}, 0, 0};  // disabled
    ASSERT_TRUE(CommandBar_AddButtons(bar, 3, buttons));
    char16_t tip1[] = u"File", tip2[] = u"GPS";
    LPWSTR tips[] = {tip1, tip2};
    EXPECT_TRUE(CommandBar_AddToolTips(bar, 2, tips));
    platform::PumpUntilIdle();

    RECT barRect;
    GetWindowRect(bar, &barRect);
    EXPECT_EQ(barRect.top, 0);
    EXPECT_EQ(barRect.right - barRect.left, 240);
    EXPECT_EQ(barRect.bottom - barRect.top, CommandBar_Height(bar));
    EXPECT_GT(CommandBar_Height(bar), 0);
    HMENU menu = CommandBar_GetMenu(bar, 0);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 3);

    // The "Tools" entry opens its submenu below the bar; Down, Down passes "Units" to
    // "Speed Alert" (the separator is skipped).
    RECT tools = platform::CommandBarMenuEntryRect(bar, 1);
    ASSERT_FALSE(IsRectEmpty(&tools));
    POINT tap{(tools.left + tools.right) / 2, (tools.top + tools.bottom) / 2};
    ClientToScreen(bar, &tap);
    ClearSeen();
    platform::PostTap(tap);
    platform::PostKeyPress(VK_DOWN);
    platform::PostKeyPress(VK_DOWN);
    platform::PostKeyPress(VK_RETURN);
    platform::PumpUntilIdle();
    ExpectOneCommand(frame, MAKEWPARAM(3025, 0));

    // Buttons: the check button toggles and reports; the disabled one stays silent; the
    // close adornment closes the frame.
    RECT check = platform::CommandBarButtonRect(bar, 1);
    ASSERT_FALSE(IsRectEmpty(&check));
    EXPECT_GT(check.left, tools.right);  // the menu stands before the buttons
    RECT disabled = platform::CommandBarButtonRect(bar, 2);
    RECT separator = platform::CommandBarButtonRect(bar, 0);
    EXPECT_TRUE(IsRectEmpty(&separator));
    auto onScreen = [&](const RECT& r) {
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(bar, &p);
        return p;
    };
    ClearSeen();
    platform::PostTap(onScreen(check));
    platform::PostTap(onScreen(disabled));
    platform::PumpUntilIdle();
    auto commands = SeenOf(WM_COMMAND);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].wParam, MAKEWPARAM(3013, BN_CLICKED));
    EXPECT_EQ(commands[0].lParam, reinterpret_cast<LPARAM>(bar));

    EXPECT_TRUE(CommandBar_Show(bar, FALSE));
    EXPECT_FALSE(CommandBar_IsVisible(bar));
    EXPECT_TRUE(CommandBar_Show(bar, TRUE));
    EXPECT_TRUE(CommandBar_IsVisible(bar));

    ClearSeen();
    platform::PostTap({235, 10});  // the close button at the right end
    platform::PumpUntilIdle();
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(IsMenu(menu));  // the bar's menu went with it
}

TEST_F(MenusTest, AWindowsMenuBarTakesTheTopOfTheClientAndPostsTheItemChosen) {
    platform::RegisterMenuTemplate(nullptr, 2000, MainMenuTemplate());
    HMENU menu = LoadMenuW(nullptr, MAKEINTRESOURCEW(2000));
    ASSERT_NE(menu, nullptr);
    HWND frame = MakeTopLevel({0, 0, 240, 320}, WS_VISIBLE | WS_POPUP | WS_CAPTION | WS_BORDER);
    HWND child = MakeChild(frame, {0, 0, 40, 20}, 7);
    RECT before;
    GetClientRect(frame, &before);
    POINT originBefore{0, 0};
    ClientToScreen(frame, &originBefore);
    platform::PumpUntilIdle();

    EXPECT_FALSE(SetMenu(child, menu));  // a child has no menu bar
    platform::ScreenTextLog drawn;
    ClearSeen();
    ASSERT_TRUE(SetMenu(frame, menu));
    EXPECT_EQ(GetMenu(frame), menu);
    platform::PumpUntilIdle();
    EXPECT_EQ(GetSystemMetrics(SM_CYMENU), 20);
    RECT after;
    GetClientRect(frame, &after);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom - GetSystemMetrics(SM_CYMENU));
    POINT origin{0, 0};
    ClientToScreen(frame, &origin);
    EXPECT_EQ(origin.y, originBefore.y + GetSystemMetrics(SM_CYMENU));
    RECT window;
    GetWindowRect(frame, &window);
    EXPECT_EQ(window.bottom - window.top, 320);  // the window keeps its size
    ASSERT_FALSE(SeenOf(WM_SIZE).empty());
    EXPECT_EQ(SeenOf(WM_SIZE).back().lParam, MAKELPARAM(after.right, after.bottom));
    // The child moved down with the client area.
    RECT childRect;
    GetWindowRect(child, &childRect);
    EXPECT_EQ(childRect.top, origin.y);

    // The entries are drawn in the band above the client area, left to right.
    std::map<std::u16string, POINT> entries;
    for (const platform::DrawnText& text : drawn.Take()) {
        entries[text.text] = text.onSurface;
    }
    ASSERT_EQ(entries.count(u"File"), 1u);
    ASSERT_EQ(entries.count(u"Tools"), 1u);
    EXPECT_GE(entries[u"File"].y, originBefore.y);
    EXPECT_LT(entries[u"File"].y, origin.y);
    EXPECT_LT(entries[u"File"].x, entries[u"Tools"].x);
    EXPECT_LT(entries[u"Tools"].x, entries[u"View"].x);

    // A tap on "File" opens its popup below the bar; a tap on "Exit" posts it.
    const POINT file{entries[u"File"].x + 4, originBefore.y + 10};
    SetHandler(frame, [](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_INITMENUPOPUP) {
            PostMessageW(hwnd, WM_APP, 0, 0);  // the popup is up once this arrives
        } else if (message == WM_APP) {
            HWND popup = FindWindowW(u"#32768", nullptr);
            RECT r;
            GetWindowRect(popup, &r);
            POINT origin{0, 0};
            ClientToScreen(hwnd, &origin);
            EXPECT_EQ(r.top, origin.y);
            platform::PostTap({r.left + 20, r.top + 8});
        }
        return false;
    });
    ClearSeen();
    platform::PostTap(file);
    platform::PumpUntilIdle();
    ExpectOneCommand(frame, MAKEWPARAM(3001, 0));
    EXPECT_EQ(FindWindowW(u"#32768", nullptr), nullptr);

    // The keys work in a bar's popup as in any: Down, Down passes "Units" to "Speed
    // Alert" under "Tools".
    SetHandler(frame, nullptr);
    ClearSeen();
    platform::PostTap({entries[u"Tools"].x + 4, originBefore.y + 10});
    platform::PostKeyPress(VK_DOWN);
    platform::PostKeyPress(VK_DOWN);
    platform::PostKeyPress(VK_RETURN);
    platform::PumpUntilIdle();
    ExpectOneCommand(frame, MAKEWPARAM(3025, 0));

    // Taking the menu off gives the client its height back and the menu to the caller;
    // a menu still on its window goes with the window.
    ASSERT_TRUE(SetMenu(frame, nullptr));
    GetClientRect(frame, &after);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_TRUE(IsMenu(menu));
    ASSERT_TRUE(SetMenu(frame, menu));
    EXPECT_TRUE(DrawMenuBar(frame));
    DestroyWindow(frame);
    EXPECT_FALSE(IsMenu(menu));
}

}  // namespace
