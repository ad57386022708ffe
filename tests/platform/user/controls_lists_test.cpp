// List boxes and combo boxes driven through the input queue.
#include <gtest/gtest.h>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class ListControlsTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        parent_ = MakeTopLevel({0, 0, 240, 320});
        platform::PumpUntilIdle();
    }

    HWND Make(LPCWSTR className, DWORD style, RECT r, int id) {
        return CreateWindowExW(0, className, nullptr, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parent_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    static std::vector<int> Codes(int id) {
        std::vector<int> out;
        for (const Seen& seen : SeenOf(WM_COMMAND)) {
            if (LOWORD(seen.wParam) == id) {
                out.push_back(HIWORD(seen.wParam));
            }
        }
        return out;
    }

    static void Add(HWND list, UINT message, std::initializer_list<const char16_t*> texts) {
        for (const char16_t* text : texts) {
            SendMessageW(list, message, 0, reinterpret_cast<LPARAM>(text));
        }
    }

    static std::u16string ItemText(HWND list, int index, UINT lengthMessage = LB_GETTEXTLEN,
                                   UINT textMessage = LB_GETTEXT) {
        auto length = SendMessageW(list, lengthMessage, static_cast<WPARAM>(index), 0);
        if (length < 0) {
            return u"<error>";
        }
        std::u16string text(static_cast<size_t>(length) + 1, u'\0');
        SendMessageW(list, textMessage, static_cast<WPARAM>(index),
                     reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(length));
        return text;
    }

    static void Tap(POINT point) {
        platform::PostTap(point);
        platform::AdvanceClockAndPump(1000);
    }

    ManualClock clock_;
    HWND parent_ = nullptr;
};

TEST_F(ListControlsTest, ASortedListKeepsItsOrderAndFindsCaseInsensitively) {
    HWND list = Make(u"LISTBOX", LBS_SORT | LBS_NOTIFY | WS_BORDER, {10, 10, 150, 110}, 20);
    Add(list, LB_ADDSTRING, {u"pear", u"Apple", u"banana", u"apple"});
    std::vector<std::u16string> order;
    for (int i = 0; i < SendMessageW(list, LB_GETCOUNT, 0, 0); ++i) {
        order.push_back(ItemText(list, i));
    }
    EXPECT_EQ(order, (std::vector<std::u16string>{u"Apple", u"apple", u"banana", u"pear"}));

    EXPECT_EQ(SendMessageW(list, LB_FINDSTRING, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(u"BAN")),
              2);
    EXPECT_EQ(SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(u"ban")),
              LB_ERR);
    // The search starts after the given item and wraps round.
    EXPECT_EQ(SendMessageW(list, LB_FINDSTRING, 0, reinterpret_cast<LPARAM>(u"apple")), 1);
    EXPECT_EQ(SendMessageW(list, LB_FINDSTRING, 1, reinterpret_cast<LPARAM>(u"apple")), 0);

    // Inserting does not sort; bad indexes fail.
    EXPECT_EQ(SendMessageW(list, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"zebra")), 0);
    EXPECT_EQ(SendMessageW(list, LB_INSERTSTRING, 99, reinterpret_cast<LPARAM>(u"x")), LB_ERR);
    EXPECT_EQ(SendMessageW(list, LB_GETTEXTLEN, 99, 0), LB_ERR);
    EXPECT_EQ(SendMessageW(list, LB_SETITEMDATA, 99, 1), LB_ERR);
    EXPECT_EQ(SendMessageW(list, LB_SETITEMDATA, 3, 0x55), LB_OKAY);
    EXPECT_EQ(SendMessageW(list, LB_GETITEMDATA, 3, 0), 0x55);
}

TEST_F(ListControlsTest, SelectionFollowsTapsAndKeysAndSurvivesDeletion) {
    HWND list = Make(u"ListBox", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, {10, 10, 150, 210}, 21);
    Add(list, LB_ADDSTRING, {u"zero", u"one", u"two", u"three"});
    platform::PumpUntilIdle();
    ClearSeen();
    RECT row{};
    ASSERT_EQ(SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&row)), 1);
    POINT onTwo{10 + row.left + 5, 10 + (row.top + row.bottom) / 2};

    Tap(onTwo);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(GetFocus(), list);
    Tap(onTwo);  // the same item again: no change, no notification
    EXPECT_EQ(Codes(21), (std::vector<int>{LBN_SETFOCUS, LBN_SELCHANGE}));
    platform::PostKeyPress(VK_DOWN);
    platform::PostKeyPress(VK_DOWN);  // already the last
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(Codes(21), (std::vector<int>{LBN_SETFOCUS, LBN_SELCHANGE, LBN_SELCHANGE}));
    // The program's own selection is not reported.
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(Codes(21).size(), 3u);

    // Deleting before the selection moves it; deleting it clears it.
    EXPECT_EQ(SendMessageW(list, LB_DELETESTRING, 0, 0), 3);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
    SendMessageW(list, LB_DELETESTRING, 0, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(SendMessageW(list, LB_SETCURSEL, 7, 0), LB_ERR);

    // A double tap on an item reports it.
    platform::PostTap({onTwo.x, 10 + 2});
    platform::PostTap({onTwo.x, 10 + 2});
    platform::PumpUntilIdle();
    EXPECT_EQ(Codes(21).back(), LBN_DBLCLK);
}

TEST_F(ListControlsTest, AListWithoutNotifyTellsNothingAndALongListScrolls) {
    HWND list = Make(u"ListBox", WS_VSCROLL | LBS_NOINTEGRALHEIGHT, {10, 10, 150, 70}, 22);
    for (int i = 0; i < 30; ++i) {
        std::u16string text = u"row " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26));
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    platform::PumpUntilIdle();
    ClearSeen();
    auto height = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
    int rows = 60 / height;

    // A tap low on the scroll bar pages down.
    Tap({10 + 140 - 3, 10 + 45});
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), rows - 1);
    // The end key selects the last item and scrolls it into view.
    SetFocus(list);
    platform::PostKeyPress(VK_END);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 29);
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 30 - rows);
    EXPECT_TRUE(Codes(22).empty());
    // The top index stops where the last page begins.
    SendMessageW(list, LB_SETTOPINDEX, 0, 0);
    SendMessageW(list, LB_SETTOPINDEX, 29, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETTOPINDEX, 0, 0), 30 - rows);

    // The bar is drawn inside the client area at the right.
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 10 + 140 - 1, 40), GetSysColor(COLOR_WINDOWFRAME));
    EXPECT_EQ(GetPixel(screen, 10 + 60, 40), GetSysColor(COLOR_WINDOW));
    ReleaseDC(nullptr, screen);
}

TEST_F(ListControlsTest, AnOwnerDrawnListIsMeasuredAndDrawnByItsParent) {
    std::vector<DRAWITEMSTRUCT> draws;
    SetHandler(parent_, [&](HWND, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        if (message == WM_MEASUREITEM) {
            reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 25;
            *result = TRUE;
            return true;
        }
        if (message == WM_DRAWITEM) {
            draws.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
            *result = TRUE;
            return true;
        }
        return false;
    });
    HWND list = Make(u"ListBox", LBS_OWNERDRAWFIXED | LBS_NOINTEGRALHEIGHT, {10, 10, 150, 110}, 23);
    EXPECT_EQ(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0), 25);
    // Without LBS_HASSTRINGS the item is its data.
    SendMessageW(list, LB_ADDSTRING, 0, 0x1234);
    SendMessageW(list, LB_ADDSTRING, 0, 0x5678);
    SendMessageW(list, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(SendMessageW(list, LB_GETITEMDATA, 1, 0), 0x5678);
    EXPECT_EQ(SendMessageW(list, LB_FINDSTRING, static_cast<WPARAM>(-1), 0x5678), 1);
    platform::PumpUntilIdle();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[1].CtlType, static_cast<UINT>(ODT_LISTBOX));
    EXPECT_EQ(draws[1].itemID, 1u);
    EXPECT_EQ(draws[1].itemData, 0x5678u);
    EXPECT_TRUE(draws[1].itemState & ODS_SELECTED);
    EXPECT_EQ(draws[1].rcItem.top, 25);
    EXPECT_EQ(draws[1].rcItem.bottom, 50);
}

TEST_F(ListControlsTest, IntegralHeightShowsWholeRows) {
    HWND list = Make(u"ListBox", WS_BORDER, {10, 10, 150, 100}, 24);
    RECT client{};
    GetClientRect(list, &client);
    auto height = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_EQ(client.bottom % height, 0);
    EXPECT_LE(client.bottom, 88);
}

TEST_F(ListControlsTest, ADropDownListPicksWithATapAndTellsInOrder) {
    HWND combo = Make(u"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, {10, 10, 150, 150}, 30);
    Add(combo, CB_ADDSTRING, {u"Storage Card", u"Main Memory", u"C:"});
    SendMessageW(combo, CB_SETITEMDATA, 1, 0x20000);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 0, 0), 0);
    RECT field{};
    GetWindowRect(combo, &field);
    EXPECT_LT(field.bottom - field.top, 40);  // the window is the field only
    platform::PumpUntilIdle();
    ClearSeen();

    Tap({100, (field.top + field.bottom) / 2});
    ASSERT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
    RECT dropped{};
    SendMessageW(combo, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ(dropped.top, field.bottom);
    EXPECT_EQ(GetFocus(), combo);
    auto itemHeight = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
    Tap({dropped.left + 20, dropped.top + 1 + itemHeight + itemHeight / 2});  // "Main Memory"
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageW(combo, CB_GETITEMDATA, 1, 0), 0x20000);
    WCHAR text[32] = {};
    GetWindowTextW(combo, text, 32);
    EXPECT_EQ(std::u16string(text), u"Main Memory");
    EXPECT_EQ(Codes(30), (std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP,
                                           CBN_SELCHANGE}));

    // A tap outside the dropped list dismisses it and keeps the selection.
    ClearSeen();
    Tap({100, (field.top + field.bottom) / 2});
    Tap({200, 300});
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Codes(30), (std::vector<int>{CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_EQ(GetCapture(), nullptr);

    // The arrow keys change the selection without dropping the list.
    ClearSeen();
    platform::PostKeyPress(VK_DOWN);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(Codes(30), std::vector<int>{CBN_SELCHANGE});
}

TEST_F(ListControlsTest, TheDropDownHandlerMayChangeTheItemsAndCloseUpMayPutThemBack) {
    // The target-combo pattern: the prompt goes when the list drops and comes back
    // when the list closes with nothing chosen.
    HWND combo = Make(u"ComboBox", CBS_DROPDOWNLIST, {10, 10, 150, 150}, 31);
    Add(combo, CB_ADDSTRING, {u"Select", u"A:", u"B:"});
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    SetHandler(parent_, [&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_COMMAND && LOWORD(wParam) == 31) {
            if (HIWORD(wParam) == CBN_DROPDOWN) {
                SendMessageW(combo, CB_DELETESTRING, 0, 0);
            } else if (HIWORD(wParam) == CBN_CLOSEUP &&
                       SendMessageW(combo, CB_GETCURSEL, 0, 0) < 0) {
                SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"Select"));
                SendMessageW(combo, CB_SETCURSEL, 0, 0);
            }
        }
        return false;
    });
    platform::PumpUntilIdle();
    RECT field{};
    GetWindowRect(combo, &field);
    Tap({100, (field.top + field.bottom) / 2});
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    platform::PostKeyPress(VK_ESCAPE);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
    EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(ItemText(combo, 0, CB_GETLBTEXTLEN, CB_GETLBTEXT), u"Select");
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
}

TEST_F(ListControlsTest, AnEditableComboReportsTypingAndFollowsTheSelection) {
    HWND combo = Make(u"ComboBox", CBS_DROPDOWN | CBS_AUTOHSCROLL, {10, 10, 150, 150}, 32);
    Add(combo, CB_ADDSTRING, {u"New Brunswick", u"Nevada"});
    SetFocus(combo);
    platform::PumpUntilIdle();
    ClearSeen();
    HWND edit = GetFocus();
    ASSERT_NE(edit, combo);
    EXPECT_EQ(GetParent(edit), combo);

    for (char16_t c : std::u16string(u"Ne")) {
        SendMessageW(edit, WM_CHAR, c, 0);
    }
    WCHAR text[32] = {};
    GetWindowTextW(combo, text, 32);
    EXPECT_EQ(std::u16string(text), u"Ne");
    EXPECT_EQ(Codes(32),
              (std::vector<int>{CBN_EDITUPDATE, CBN_EDITCHANGE, CBN_EDITUPDATE, CBN_EDITCHANGE}));

    // Choosing an item puts its text in the field without an edit notification.
    ClearSeen();
    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    GetWindowTextW(combo, text, 32);
    EXPECT_EQ(std::u16string(text), u"Nevada");
    EXPECT_TRUE(Codes(32).empty());
    SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(2, -1));
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(combo, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(end, 6u);
    // Up and Down in the field move the selection.
    platform::PostKeyPress(VK_UP);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Codes(32), std::vector<int>{CBN_SELCHANGE});
    // Leaving the combo box tells once.
    SetFocus(parent_);
    EXPECT_EQ(Codes(32).back(), CBN_KILLFOCUS);
}

}  // namespace
