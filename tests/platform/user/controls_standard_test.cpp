// Buttons, statics and edit controls driven through the input queue.
#include <gtest/gtest.h>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class StandardControlsTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        parent_ = MakeTopLevel({0, 0, 240, 320});
        platform::PumpUntilIdle();
    }

    HWND Make(LPCWSTR className, LPCWSTR text, DWORD style, RECT r, int id) {
        return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parent_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    // The notification codes the parent got from one control, in order.
    static std::vector<int> Codes(int id) {
        std::vector<int> out;
        for (const Seen& seen : SeenOf(WM_COMMAND)) {
            if (LOWORD(seen.wParam) == id) {
                out.push_back(HIWORD(seen.wParam));
            }
        }
        return out;
    }

    static int CountOf(int id, int code) {
        auto codes = Codes(id);
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }

    // Taps far apart in time, so two taps on one control are not a double click.
    static void Tap(POINT point) {
        platform::PostTap(point);
        platform::AdvanceClockAndPump(1000);
    }

    static void Type(const std::u16string& text) {
        for (char16_t c : text) {
            UINT key = c >= u'a' && c <= u'z' ? c - u'a' + 'A' : c;
            platform::PostKeyPress(key);
        }
        platform::PumpUntilIdle();
    }

    static std::u16string TextOf(HWND hwnd) {
        WCHAR buffer[256] = {};
        GetWindowTextW(hwnd, buffer, 256);
        return buffer;
    }

    ManualClock clock_;
    HWND parent_ = nullptr;
};

TEST_F(StandardControlsTest, AButtonClicksOnlyWhenReleasedOverIt) {
    HWND button = Make(u"BUTTON", u"OK", BS_PUSHBUTTON, {10, 10, 90, 40}, 7);
    platform::PumpUntilIdle();
    ClearSeen();

    // Pressed, dragged off and released outside: the press shows, then nothing.
    platform::PostPointerDown({50, 25});
    platform::PumpUntilIdle();
    EXPECT_TRUE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    platform::PostPointerMove({150, 150});
    platform::PumpUntilIdle();
    EXPECT_FALSE(SendMessageW(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
    platform::PostPointerUp({150, 150});
    platform::AdvanceClockAndPump(1000);
    EXPECT_EQ(CountOf(7, BN_CLICKED), 0);
    EXPECT_EQ(GetCapture(), nullptr);

    // Dragged back in and released inside: one click, carrying the button.
    platform::PostPointerDown({50, 25});
    platform::PostPointerMove({150, 150});
    platform::PostPointerMove({20, 20});
    platform::PostPointerUp({20, 20});
    platform::PumpUntilIdle();
    ASSERT_EQ(CountOf(7, BN_CLICKED), 1);
    EXPECT_EQ(SeenOf(WM_COMMAND).back().lParam, reinterpret_cast<LPARAM>(button));
    EXPECT_EQ(GetFocus(), button);

    // Space presses it from the keyboard; a disabled button ignores BM_CLICK.
    platform::PostKeyPress(VK_SPACE);
    platform::PumpUntilIdle();
    EXPECT_EQ(CountOf(7, BN_CLICKED), 2);
    EnableWindow(button, FALSE);
    SendMessageW(button, BM_CLICK, 0, 0);
    EXPECT_EQ(CountOf(7, BN_CLICKED), 2);
}

TEST_F(StandardControlsTest, CheckBoxesAndRadioButtonsKeepTheirState) {
    HWND autoCheck = Make(u"Button", u"auto", BS_AUTOCHECKBOX, {10, 10, 110, 30}, 1);
    HWND plainCheck = Make(u"Button", u"plain", BS_CHECKBOX, {10, 40, 110, 60}, 2);
    HWND threeState = Make(u"Button", u"three", BS_AUTO3STATE, {10, 70, 110, 90}, 3);
    platform::PumpUntilIdle();

    Tap({20, 20});
    EXPECT_EQ(SendMessageW(autoCheck, BM_GETCHECK, 0, 0), BST_CHECKED);
    Tap({20, 20});
    EXPECT_EQ(SendMessageW(autoCheck, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(CountOf(1, BN_CLICKED), 2);

    // A plain check box only tells; its owner checks it.
    Tap({20, 50});
    EXPECT_EQ(SendMessageW(plainCheck, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(CountOf(2, BN_CLICKED), 1);
    SendMessageW(plainCheck, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(plainCheck, BM_GETCHECK, 0, 0), BST_CHECKED);
    // Indeterminate is for three-state boxes only.
    SendMessageW(plainCheck, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(SendMessageW(plainCheck, BM_GETCHECK, 0, 0), BST_CHECKED);

    std::vector<LRESULT> cycle;
    for (int i = 0; i < 3; ++i) {
        Tap({20, 80});
        cycle.push_back(SendMessageW(threeState, BM_GETCHECK, 0, 0));
    }
    EXPECT_EQ(cycle, (std::vector<LRESULT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}));
}

TEST_F(StandardControlsTest, AutoRadioButtonsUncheckTheRestOfTheirGroupOnly) {
    HWND a = Make(u"Button", u"a", BS_AUTORADIOBUTTON | WS_GROUP, {10, 10, 110, 30}, 1);
    HWND b = Make(u"Button", u"b", BS_AUTORADIOBUTTON, {10, 40, 110, 60}, 2);
    HWND c = Make(u"Button", u"c", BS_AUTORADIOBUTTON, {10, 70, 110, 90}, 3);
    HWND d = Make(u"Button", u"d", BS_AUTORADIOBUTTON | WS_GROUP, {10, 100, 110, 120}, 4);
    platform::PumpUntilIdle();
    SendMessageW(d, BM_SETCHECK, BST_CHECKED, 0);

    Tap({20, 20});
    Tap({20, 80});
    EXPECT_EQ(SendMessageW(a, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessageW(c, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(d, BM_GETCHECK, 0, 0), BST_CHECKED);  // another group
    // Tapped again it stays checked and tells again.
    Tap({20, 80});
    EXPECT_EQ(SendMessageW(c, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(CountOf(3, BN_CLICKED), 2);
}

TEST_F(StandardControlsTest, DialogCodesAndTheDefaultPushStyle) {
    struct Case {
        DWORD style;
        LRESULT code;
    };
    const Case cases[] = {
        {BS_PUSHBUTTON, DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON},
        {BS_DEFPUSHBUTTON, DLGC_BUTTON | DLGC_DEFPUSHBUTTON},
        {BS_AUTORADIOBUTTON, DLGC_BUTTON | DLGC_RADIOBUTTON},
        {BS_AUTOCHECKBOX, DLGC_BUTTON},
        {BS_GROUPBOX, DLGC_STATIC},
        {BS_OWNERDRAW, DLGC_BUTTON},
    };
    for (const Case& c : cases) {
        HWND button = Make(u"Button", u"x", c.style, {0, 0, 50, 20}, 9);
        EXPECT_EQ(SendMessageW(button, WM_GETDLGCODE, 0, 0), c.code) << c.style;
        DestroyWindow(button);
    }
    HWND edit = Make(u"Edit", u"", 0, {0, 0, 50, 20}, 9);
    EXPECT_EQ(SendMessageW(edit, WM_GETDLGCODE, 0, 0),
              DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS);
    EXPECT_EQ(SendMessageW(Make(u"Static", u"", 0, {0, 0, 5, 5}, 8), WM_GETDLGCODE, 0, 0),
              DLGC_STATIC);

    // The dialog manager moves the default look between push buttons.
    HWND push = Make(u"Button", u"OK", BS_PUSHBUTTON | WS_TABSTOP, {0, 0, 50, 20}, 1);
    SendMessageW(push, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(push, GWL_STYLE)) & (BS_TYPEMASK | WS_TABSTOP),
              static_cast<DWORD>(BS_DEFPUSHBUTTON | WS_TABSTOP));
    EXPECT_EQ(SendMessageW(push, WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
}

TEST_F(StandardControlsTest, AnOwnerDrawnButtonAsksItsParentToDrawItsState) {
    std::vector<DRAWITEMSTRUCT> draws;
    SetHandler(parent_, [&](HWND, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
        if (message != WM_DRAWITEM) {
            return false;
        }
        draws.push_back(*reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    });
    HWND button = Make(u"Button", u"", BS_OWNERDRAW, {10, 10, 60, 40}, 5);
    platform::PumpUntilIdle();
    ASSERT_FALSE(draws.empty());
    EXPECT_EQ(draws.back().CtlType, static_cast<UINT>(ODT_BUTTON));
    EXPECT_EQ(draws.back().CtlID, 5u);
    EXPECT_EQ(draws.back().hwndItem, button);
    EXPECT_EQ(draws.back().itemState & ODS_SELECTED, 0u);
    RECT expected{0, 0, 50, 30};
    EXPECT_TRUE(EqualRect(&draws.back().rcItem, &expected));

    platform::PostPointerDown({20, 20});
    platform::PumpUntilIdle();
    EXPECT_TRUE(draws.back().itemState & ODS_SELECTED);
    EXPECT_TRUE(draws.back().itemState & ODS_FOCUS);
    platform::PostPointerUp({20, 20});
    platform::PumpUntilIdle();
    EXPECT_FALSE(draws.back().itemState & ODS_SELECTED);
    EXPECT_EQ(CountOf(5, BN_CLICKED), 1);
    // BM_SETSTATE shows and takes back the pressed look.
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    platform::PumpUntilIdle();
    EXPECT_TRUE(draws.back().itemState & ODS_SELECTED);
    SendMessageW(button, BM_SETSTATE, FALSE, 0);
    platform::PumpUntilIdle();
    EXPECT_FALSE(draws.back().itemState & ODS_SELECTED);
}

TEST_F(StandardControlsTest, APushButtonDrawsAFrameAFaceAndItsCaption) {
    platform::TextRecording recording;
    HWND button = Make(u"Button", u"Go", BS_DEFPUSHBUTTON, {20, 20, 100, 50}, 1);
    platform::PumpUntilIdle();
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 20, 35), GetSysColor(COLOR_WINDOWFRAME));
    EXPECT_EQ(GetPixel(screen, 21, 35),
              GetSysColor(COLOR_WINDOWFRAME));  // the default's second line
    EXPECT_EQ(GetPixel(screen, 25, 23), GetSysColor(COLOR_BTNFACE));
    ReleaseDC(nullptr, screen);
    bool drawn = false;
    for (const auto& text : recording.Texts()) {
        if (text.window == button && text.text == u"Go") {
            drawn = true;
            EXPECT_GT(text.onSurface.x, 20);
            EXPECT_LT(text.onSurface.x, 100);
        }
    }
    EXPECT_TRUE(drawn);

    // The parent's colour answer paints the face.
    HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
    SetHandler(parent_, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_CTLCOLORBTN) {
            return false;
        }
        *result = reinterpret_cast<LRESULT>(green);
        return true;
    });
    InvalidateRect(button, nullptr, TRUE);
    platform::PumpUntilIdle();
    screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 25, 23), RGB(0, 160, 0));
    ReleaseDC(nullptr, screen);
    DestroyWindow(button);
    DeleteObject(green);
}

TEST_F(StandardControlsTest, AStaticLetsThePointerThroughUnlessItNotifies) {
    HWND under = MakeChild(parent_, {0, 100, 240, 200}, 50);
    Make(u"Static", u"label", SS_LEFT, {10, 110, 100, 130}, 51);
    HWND notifying = Make(u"Static", u"link", SS_NOTIFY, {10, 150, 100, 170}, 52);
    SetWindowPos(under, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    platform::PumpUntilIdle();
    ClearSeen();

    Tap({20, 120});
    Tap({20, 160});
    auto downs = SeenOf(WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, under);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 20);  // in the window beneath's coordinates
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lParam), 20);
    EXPECT_EQ(Codes(52), std::vector<int>{STN_CLICKED});
    EXPECT_EQ(SendMessageW(notifying, WM_GETDLGCODE, 0, 0), DLGC_STATIC);
}

TEST_F(StandardControlsTest, ABitmapStaticTakesTheBitmapsSizeAndLeavesItToTheCaller) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP picture = CreateCompatibleBitmap(dc, 30, 12);
    HGDIOBJ old = SelectObject(dc, picture);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT all{0, 0, 30, 12};
    FillRect(dc, &all, red);
    SelectObject(dc, old);
    DeleteObject(red);
    DeleteDC(dc);
    int objects = platform::CountGdiObjects();

    HWND image = Make(u"Static", nullptr, SS_BITMAP, {50, 60, 51, 61}, 1010);
    EXPECT_EQ(SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)),
              0);
    RECT box{};
    GetWindowRect(image, &box);
    EXPECT_EQ(box.right - box.left, 30);
    EXPECT_EQ(box.bottom - box.top, 12);
    platform::PumpUntilIdle();
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 50, 60), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(screen, 79, 71), RGB(255, 0, 0));
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(SendMessageW(image, STM_GETIMAGE, IMAGE_BITMAP, 0),
              reinterpret_cast<LRESULT>(picture));
    EXPECT_EQ(SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, 0),
              reinterpret_cast<LRESULT>(picture));
    DestroyWindow(image);
    EXPECT_EQ(platform::CountGdiObjects(), objects);
    EXPECT_TRUE(DeleteObject(picture));
}

TEST_F(StandardControlsTest, EditTypingBackspaceAndTheLimit) {
    HWND edit = Make(u"Edit", u"", WS_BORDER | ES_AUTOHSCROLL, {10, 10, 200, 30}, 3);
    SendMessageW(edit, EM_LIMITTEXT, 5, 0);
    SetFocus(edit);
    platform::PumpUntilIdle();
    ClearSeen();

    Type(u"abc");
    EXPECT_EQ(TextOf(edit), u"abc");
    EXPECT_EQ(CountOf(3, EN_CHANGE), 3);
    platform::PostKeyPress(VK_BACK);
    platform::PumpUntilIdle();
    EXPECT_EQ(TextOf(edit), u"ab");
    Type(u"1234");
    EXPECT_EQ(TextOf(edit), u"ab123");
    EXPECT_EQ(CountOf(3, EN_MAXTEXT), 1);
    EXPECT_EQ(CountOf(3, EN_CHANGE), 7);

    // The caret moves with the arrows; Delete takes the character after it.
    platform::PostKeyPress(VK_HOME);
    platform::PostKeyPress(VK_RIGHT);
    platform::PostKeyPress(VK_DELETE);
    platform::PumpUntilIdle();
    EXPECT_EQ(TextOf(edit), u"a123");
    DWORD start = 9;
    DWORD end = 9;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 1u);
    // Backspace at the start does nothing and says nothing.
    int changes = CountOf(3, EN_CHANGE);
    platform::PostKeyPress(VK_HOME);
    platform::PostKeyPress(VK_BACK);
    platform::PumpUntilIdle();
    EXPECT_EQ(TextOf(edit), u"a123");
    EXPECT_EQ(CountOf(3, EN_CHANGE), changes);
}

TEST_F(StandardControlsTest, EditSelectionReplacementAndStyles) {
    HWND edit = Make(u"Edit", u"hello world", ES_AUTOHSCROLL, {10, 10, 200, 30}, 4);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(0, 11));
    SendMessageW(edit, EM_SETSEL, 6, 11);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"there"));
    EXPECT_EQ(TextOf(edit), u"hello there");
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(11, 11));
    // Out-of-range ends are clamped, a reversed pair keeps its order of anchor and caret.
    SendMessageW(edit, EM_SETSEL, 50, 2);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(2, 11));

    struct Case {
        DWORD style;
        const char16_t* typed;
        const char16_t* kept;
    };
    const Case cases[] = {
        {ES_NUMBER, u"a1b2", u"12"},
        {ES_UPPERCASE, u"ab", u"AB"},
        {ES_LOWERCASE, u"AB", u"ab"},
        {ES_READONLY, u"ab", u""},
    };
    for (const Case& c : cases) {
        HWND field = Make(u"Edit", u"", c.style | ES_AUTOHSCROLL, {10, 40, 200, 60}, 5);
        for (const char16_t* p = c.typed; *p; ++p) {
            SendMessageW(field, WM_CHAR, *p, 0);
        }
        EXPECT_EQ(TextOf(field), c.kept) << c.style;
        DestroyWindow(field);
    }

    // A password field keeps the text and shows stars.
    platform::TextRecording recording;
    HWND password = Make(u"Edit", u"secret", ES_PASSWORD, {10, 70, 200, 90}, 6);
    platform::PumpUntilIdle();
    EXPECT_EQ(TextOf(password), u"secret");
    bool starred = false;
    for (const auto& text : recording.Texts()) {
        EXPECT_FALSE(text.window == password && text.text.find(u"secret") != std::u16string::npos);
        starred = starred || (text.window == password && text.text == u"******");
    }
    EXPECT_TRUE(starred);
}

TEST_F(StandardControlsTest, ANarrowFieldScrollsWithTheCaretOrRefusesWithoutAutoScroll) {
    HWND scrolling = Make(u"Edit", u"", ES_AUTOHSCROLL, {10, 10, 50, 30}, 8);
    HWND fixed = Make(u"Edit", u"", 0, {10, 40, 50, 60}, 9);
    for (HWND edit : {scrolling, fixed}) {
        for (int i = 0; i < 20; ++i) {
            SendMessageW(edit, WM_CHAR, u'W', 0);
        }
    }
    EXPECT_EQ(TextOf(scrolling).size(), 20u);
    size_t kept = TextOf(fixed).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 20u);
    EXPECT_EQ(CountOf(9, EN_MAXTEXT), static_cast<int>(20 - kept));

    auto drawnAt = [&]() {
        platform::TextRecording recording;
        InvalidateRect(scrolling, nullptr, TRUE);
        platform::PumpUntilIdle();
        LONG x = 1000;
        for (const auto& text : recording.Texts()) {
            if (text.window == scrolling) {
                x = std::min(x, text.onSurface.x);
            }
        }
        return x;
    };
    EXPECT_LT(drawnAt(), 10);  // the start is scrolled off to the left
    SendMessageW(scrolling, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(drawnAt(), 12);  // back at the margin
}

TEST_F(StandardControlsTest, EditTellsFocusAndATapPlacesTheCaret) {
    HWND edit = Make(u"Edit", u"abcdef", ES_AUTOHSCROLL, {10, 10, 200, 30}, 6);
    platform::PumpUntilIdle();
    ClearSeen();
    Tap({12, 20});  // left of the first character
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(Codes(6), std::vector<int>{EN_SETFOCUS});
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(0, 0));
    Tap({199, 20});  // past the last
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(6, 6));
    SetFocus(parent_);
    EXPECT_EQ(Codes(6), (std::vector<int>{EN_SETFOCUS, EN_KILLFOCUS}));
}

TEST_F(StandardControlsTest, MultiLineEditMovesBetweenLines) {
    HWND edit = Make(u"Edit", u"", ES_MULTILINE | ES_WANTRETURN, {10, 10, 200, 100}, 7);
    EXPECT_TRUE(SendMessageW(edit, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS);
    SetFocus(edit);
    for (char16_t c : std::u16string(u"ab\rcd")) {
        SendMessageW(edit, WM_CHAR, c, 0);
    }
    EXPECT_EQ(TextOf(edit), u"ab\r\ncd");
    EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, 1, 0), 4);
    SendMessageW(edit, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(2, 2));
    // Backspace at a line start takes the whole line break.
    SendMessageW(edit, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageW(edit, WM_KEYDOWN, VK_HOME, 0);
    SendMessageW(edit, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(TextOf(edit), u"abcd");
}

}  // namespace
