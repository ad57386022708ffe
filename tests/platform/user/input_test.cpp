// Pointer and key input, capture, focus, activation and hotkeys.
#include <gtest/gtest.h>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class InputTest : public UserTest {
  protected:
    struct Pointer {
        HWND hwnd;
        UINT message;
        int x;
        int y;
        bool operator==(const Pointer&) const = default;
    };
    static std::vector<Pointer> PointerMessages() {
        std::vector<Pointer> out;
        for (const Seen& seen : SeenMessages()) {
            if (seen.message >= WM_MOUSEFIRST && seen.message <= WM_MOUSELAST) {
                out.push_back(Pointer{seen.hwnd, seen.message, GET_X_LPARAM(seen.lParam),
                                      GET_Y_LPARAM(seen.lParam)});
            }
        }
        return out;
    }
    static std::vector<UINT> Messages(HWND hwnd, std::initializer_list<UINT> kinds) {
        std::vector<UINT> out;
        for (const Seen& seen : SeenBy(hwnd)) {
            if (std::find(kinds.begin(), kinds.end(), seen.message) != kinds.end()) {
                out.push_back(seen.message);
            }
        }
        return out;
    }
};

TEST_F(InputTest, ATapReachesTheTopmostEnabledVisibleChildInClientCoordinates) {
    HWND top = MakeTopLevel({20, 30, 220, 230}, WS_POPUP | WS_VISIBLE | WS_BORDER);
    HWND panel = MakeChild(top, {10, 10, 110, 110}, 1);
    HWND button = MakeChild(panel, {5, 5, 45, 25}, 2);
    HWND under = MakeChild(panel, {5, 5, 45, 25}, 3);  // created later: below the button
    HWND disabled = MakeChild(panel, {50, 50, 90, 90}, 4, WS_CHILD | WS_VISIBLE | WS_DISABLED);
    HWND hidden = MakeChild(panel, {50, 5, 90, 25}, 5, WS_CHILD);
    platform::PumpUntilIdle();
    ClearSeen();

    // Client origin of the panel: 20 + 1 (border) + 10 = 31 across, 41 down.
    platform::PostTap({31 + 7, 41 + 8});    // the button
    platform::PostTap({31 + 60, 41 + 60});  // the disabled child: its parent gets it
    platform::PostTap({31 + 60, 41 + 10});  // the hidden child: its parent gets it
    platform::PostTap({20, 30});            // the top-level window's frame
    platform::PostTap({230, 300});          // the bare desktop: lost
    platform::PumpUntilIdle();
    std::vector<Pointer> expected = {
        {button, WM_LBUTTONDOWN, 2, 3},  {button, WM_LBUTTONUP, 2, 3},
        {panel, WM_LBUTTONDOWN, 60, 60}, {panel, WM_LBUTTONUP, 60, 60},
        {panel, WM_LBUTTONDOWN, 60, 10}, {panel, WM_LBUTTONUP, 60, 10},
        {top, WM_LBUTTONDOWN, -1, -1},   {top, WM_LBUTTONUP, -1, -1},
    };
    EXPECT_EQ(PointerMessages(), expected);
    EXPECT_TRUE(Messages(under, {WM_LBUTTONDOWN}).empty());
    EXPECT_TRUE(Messages(disabled, {WM_LBUTTONDOWN}).empty());
    EXPECT_TRUE(Messages(hidden, {WM_LBUTTONDOWN}).empty());
    auto downs = SeenOf(WM_LBUTTONDOWN);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
}

TEST_F(InputTest, CaptureTakesTheReleaseOutsideTheWindow) {
    HWND top = MakeTopLevel({0, 0, 240, 320});
    HWND button = MakeChild(top, {100, 100, 140, 120}, 1);
    HWND other = MakeChild(top, {0, 0, 50, 50}, 2);
    SetHandler(button, [](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message == WM_LBUTTONDOWN) {
            SetCapture(hwnd);
        } else if (message == WM_LBUTTONUP) {
            ReleaseCapture();
        }
        *result = 0;
        return false;
    });
    platform::PumpUntilIdle();
    ClearSeen();
    // Queued together: each is routed as it is read, after the press took the capture.
    platform::PostPointerDown({110, 105});
    platform::PostPointerMove({20, 30});
    platform::PostPointerMove({10, 20});
    platform::PostPointerUp({10, 20});
    platform::PostTap({10, 20});
    platform::PumpUntilIdle();
    std::vector<Pointer> expected = {
        {button, WM_LBUTTONDOWN, 10, 5},
        {button, WM_MOUSEMOVE, -90, -80},  // the two moves were merged
        {button, WM_LBUTTONUP, -90, -80},
        {other, WM_LBUTTONDOWN, 10, 20},
        {other, WM_LBUTTONUP, 10, 20},
    };
    EXPECT_EQ(PointerMessages(), expected);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SeenOf(WM_CAPTURECHANGED).size(), 1u);
    EXPECT_EQ(SeenOf(WM_MOUSEMOVE)[0].wParam, static_cast<WPARAM>(MK_LBUTTON));
}

TEST_F(InputTest, InputQueuedBeforeAWindowOpensLandsOnIt) {
    platform::PostTap({30, 30});
    platform::PostKeyPress(VK_ESCAPE);
    HWND dialog = MakeTopLevel({0, 0, 100, 100});  // shown, so active and focused
    platform::PumpUntilIdle();
    EXPECT_EQ(Messages(dialog, {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP}),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(InputTest, DoubleTapsOnADoubleClickClassWithinTheTime) {
    ManualClock clock;
    RegisterRecordingClass(u"DoubleClicks", nullptr, CS_DBLCLKS);
    HWND window = MakeWindowOf(u"DoubleClicks", nullptr, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE);
    platform::PumpUntilIdle();
    platform::PostTap({10, 10});
    platform::PostTap({12, 11});
    platform::PostTap({12, 11});
    platform::AdvanceClock(GetDoubleClickTime() + 1);
    platform::PostTap({12, 11});
    platform::PumpUntilIdle();
    EXPECT_EQ(
        Messages(window, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}),
        (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN, WM_LBUTTONDOWN}));
}

TEST_F(InputTest, KeysGoToTheFocusAndKeyStateFollowsWhatWasRead) {
    HWND top = MakeTopLevel({0, 0, 100, 100});
    HWND first = MakeChild(top, {0, 0, 10, 10}, 1);
    HWND second = MakeChild(top, {20, 0, 30, 10}, 2);
    platform::PumpUntilIdle();
    EXPECT_EQ(GetFocus(), top);
    ClearSeen();
    EXPECT_EQ(SetFocus(first), top);
    EXPECT_EQ(SetFocus(second), first);
    auto kills = SeenOf(WM_KILLFOCUS);
    auto sets = SeenOf(WM_SETFOCUS);
    ASSERT_EQ(kills.size(), 2u);
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(kills[1].hwnd, first);
    EXPECT_EQ(kills[1].wParam, reinterpret_cast<WPARAM>(second));
    EXPECT_EQ(sets[1].hwnd, second);
    EXPECT_EQ(sets[1].wParam, reinterpret_cast<WPARAM>(first));

    platform::PostKeyDown(VK_UP);
    EXPECT_LT(GetAsyncKeyState(VK_UP), 0);
    EXPECT_GE(GetKeyState(VK_UP), 0);  // not read yet
    SHORT duringKeyDown = 0;
    SetHandler(second, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_KEYDOWN) {
            duringKeyDown = GetKeyState(VK_UP);
        }
        return false;
    });
    platform::PumpUntilIdle();
    EXPECT_LT(duringKeyDown, 0);
    platform::PostKeyUp(VK_UP);
    platform::PumpUntilIdle();
    EXPECT_GE(GetKeyState(VK_UP), 0);
    auto downs = SeenOf(WM_KEYDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, second);
    EXPECT_EQ(downs[0].wParam, static_cast<WPARAM>(VK_UP));
    auto ups = SeenOf(WM_KEYUP);
    ASSERT_EQ(ups.size(), 1u);
    EXPECT_NE(static_cast<DWORD>(ups[0].lParam) & 0xC0000000u, 0u);  // released, was down

    // With nothing focused the active window gets system keys.
    SetFocus(nullptr);
    ClearSeen();
    platform::PostKeyPress(VK_DOWN);
    platform::PumpUntilIdle();
    EXPECT_EQ(Messages(top, {WM_KEYDOWN, WM_SYSKEYDOWN, WM_SYSKEYUP}),
              (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYUP}));
}

TEST_F(InputTest, HotkeysTakeTheirKeyFromTheFocus) {
    HWND view = MakeTopLevel({0, 0, 100, 100});
    HWND field = MakeChild(view, {0, 0, 10, 10}, 1);
    SetFocus(field);
    ASSERT_TRUE(UnregisterFunc1(MOD_WIN, VK_APP1));
    ASSERT_TRUE(RegisterHotKey(view, VK_APP1, MOD_WIN, VK_APP1));
    ASSERT_TRUE(RegisterHotKey(view, VK_RETURN, 0, VK_RETURN));
    HWND other = MakeTopLevel({0, 0, 10, 10}, WS_POPUP);
    EXPECT_FALSE(RegisterHotKey(other, 1, 0, VK_RETURN));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HOTKEY_ALREADY_REGISTERED));
    // An application button without the Windows key is no longer that hotkey.
    EXPECT_TRUE(RegisterHotKey(view, 50, 0, VK_APP2));
    platform::PumpUntilIdle();
    ClearSeen();

    platform::PostKeyPress(VK_APP1);
    platform::PostKeyPress(VK_RETURN);
    platform::PostKeyPress(VK_APP2);
    platform::PostKeyPress(VK_LEFT);
    platform::PumpUntilIdle();
    auto hotkeys = SeenOf(WM_HOTKEY);
    ASSERT_EQ(hotkeys.size(), 2u);
    EXPECT_EQ(hotkeys[0].hwnd, view);
    EXPECT_EQ(hotkeys[0].wParam, static_cast<WPARAM>(VK_APP1));
    EXPECT_EQ(hotkeys[0].lParam, MAKELPARAM(MOD_WIN, VK_APP1));
    EXPECT_EQ(hotkeys[1].wParam, static_cast<WPARAM>(VK_RETURN));
    std::vector<WPARAM> keys;
    for (const Seen& seen : SeenOf(WM_KEYDOWN)) {
        EXPECT_EQ(seen.hwnd, field);
        keys.push_back(seen.wParam);
    }
    EXPECT_EQ(keys, (std::vector<WPARAM>{VK_APP2, VK_LEFT}));

    EXPECT_TRUE(UnregisterHotKey(view, VK_RETURN));
    EXPECT_FALSE(UnregisterHotKey(view, VK_RETURN));
    EXPECT_TRUE(RegisterHotKey(other, 1, 0, VK_RETURN));
    DestroyWindow(other);  // takes its hotkey along
    EXPECT_TRUE(RegisterHotKey(view, 2, 0, VK_RETURN));
}

TEST_F(InputTest, ActivationMovesBetweenTopLevelWindows) {
    HWND first = MakeTopLevel({0, 0, 100, 100});
    HWND second = MakeTopLevel({120, 0, 220, 100});
    platform::PumpUntilIdle();
    EXPECT_EQ(GetActiveWindow(), second);
    EXPECT_EQ(GetForegroundWindow(), second);
    ClearSeen();

    // A tap on the inactive window activates it before the press arrives.
    platform::PostTap({50, 50});
    platform::PumpUntilIdle();
    EXPECT_EQ(GetActiveWindow(), first);
    EXPECT_EQ(GetFocus(), first);
    auto activations = SeenOf(WM_ACTIVATE);
    ASSERT_EQ(activations.size(), 2u);
    EXPECT_EQ(activations[0].hwnd, second);
    EXPECT_EQ(LOWORD(activations[0].wParam), WA_INACTIVE);
    EXPECT_EQ(activations[0].lParam, reinterpret_cast<LPARAM>(first));
    EXPECT_EQ(activations[1].hwnd, first);
    EXPECT_EQ(LOWORD(activations[1].wParam), WA_CLICKACTIVE);
    EXPECT_EQ(activations[1].lParam, reinterpret_cast<LPARAM>(second));
    EXPECT_EQ(Messages(first, {WM_ACTIVATE, WM_LBUTTONDOWN}),
              (std::vector<UINT>{WM_ACTIVATE, WM_LBUTTONDOWN}));

    // A disabled window takes no taps; hiding the active window activates the next.
    EnableWindow(second, FALSE);
    ClearSeen();
    platform::PostTap({150, 50});
    platform::PumpUntilIdle();
    EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN).empty());
    EnableWindow(second, TRUE);
    SetForegroundWindow(second);
    ShowWindow(second, SW_HIDE);
    EXPECT_EQ(GetActiveWindow(), first);
    DestroyWindow(first);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
}

}  // namespace
