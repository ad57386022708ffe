// Classes, creation and destruction, the window tree, values, text and geometry.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class WindowsTest : public UserTest {};

std::vector<UINT> MessagesOf(HWND hwnd) {
    std::vector<UINT> out;
    for (const Seen& seen : SeenBy(hwnd)) {
        out.push_back(seen.message);
    }
    return out;
}

TEST_F(WindowsTest, CreationSendsTheCreateMessagesWithItsArgumentsThenShows) {
    HWND parent = MakeTopLevel({10, 20, 110, 220});
    ClearSeen();
    int param = 0;
    CREATESTRUCTW seenCreate{};
    SetHandler(nullptr, [&](HWND, UINT message, WPARAM, LPARAM lParam, LRESULT*) {
        if (message == WM_CREATE) {
            seenCreate = *reinterpret_cast<CREATESTRUCTW*>(lParam);
        }
        return false;
    });
    HWND child =
        CreateWindowExW(WS_EX_CLIENTEDGE, u"testwindow", u"Label", WS_CHILD | WS_VISIBLE, 5, 6, 50,
                        40, parent, reinterpret_cast<HMENU>(42), nullptr, &param);
    ASSERT_TRUE(child);
    std::vector<UINT> expected = {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW};
    EXPECT_EQ(MessagesOf(child), expected);
    EXPECT_EQ(seenCreate.lpCreateParams, &param);
    EXPECT_EQ(seenCreate.x, 5);
    EXPECT_EQ(seenCreate.cy, 40);
    EXPECT_EQ(seenCreate.hwndParent, parent);
    EXPECT_EQ(seenCreate.dwExStyle, static_cast<DWORD>(WS_EX_CLIENTEDGE));

    WCHAR text[16];
    EXPECT_EQ(GetWindowTextW(child, text, 16), 5);
    EXPECT_EQ(std::u16string(text), u"Label");
    EXPECT_EQ(GetClassNameW(child, text, 16), 10);
    EXPECT_EQ(std::u16string(text), u"TestWindow");
    EXPECT_EQ(GetParent(child), parent);
    EXPECT_EQ(GetDlgItem(parent, 42), child);
    EXPECT_EQ(GetDlgCtrlID(child), 42);
    EXPECT_TRUE(IsWindowVisible(child));
    EXPECT_TRUE(IsChild(parent, child));
}

TEST_F(WindowsTest, ARefusedCreationLeavesNoWindow) {
    for (UINT refusing : {static_cast<UINT>(WM_NCCREATE), static_cast<UINT>(WM_CREATE)}) {
        HWND refused = nullptr;
        SetHandler(nullptr, [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
            if (message == refusing) {
                refused = hwnd;
                *result = message == WM_CREATE ? -1 : FALSE;
                return true;
            }
            return false;
        });
        EXPECT_EQ(MakeTopLevel({0, 0, 10, 10}), nullptr);
        ASSERT_TRUE(refused);
        EXPECT_FALSE(IsWindow(refused));
        EXPECT_FALSE(SeenOf(WM_NCDESTROY).empty());
    }
}

TEST_F(WindowsTest, DestroyTellsParentsFirstThenFreesChildrenFirst) {
    HWND owner = MakeTopLevel({0, 0, 100, 100});
    HWND parent = MakeChild(owner, {0, 0, 90, 90}, 1);
    HWND first = MakeChild(parent, {0, 0, 10, 10}, 2);
    HWND grandchild = MakeChild(first, {0, 0, 5, 5}, 3);
    HWND second = MakeChild(parent, {20, 0, 30, 10}, 4);
    HWND owned = MakeTopLevel({0, 0, 50, 50}, WS_POPUP | WS_VISIBLE, owner);
    ASSERT_TRUE(owned);
    bool childrenAliveInParentDestroy = false;
    SetHandler(parent, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_DESTROY) {
            childrenAliveInParentDestroy = IsWindow(first) && IsWindow(grandchild);
        }
        return false;
    });
    ClearSeen();
    ASSERT_TRUE(DestroyWindow(owner));

    std::vector<HWND> destroyed;
    for (const Seen& seen : SeenOf(WM_DESTROY)) {
        destroyed.push_back(seen.hwnd);
    }
    std::vector<HWND> freed;
    for (const Seen& seen : SeenOf(WM_NCDESTROY)) {
        freed.push_back(seen.hwnd);
    }
    EXPECT_EQ(destroyed, (std::vector<HWND>{owned, owner, parent, first, grandchild, second}));
    EXPECT_EQ(freed, (std::vector<HWND>{owned, grandchild, first, second, parent, owner}));
    EXPECT_TRUE(childrenAliveInParentDestroy);
    for (HWND w : {owner, parent, first, grandchild, second, owned}) {
        EXPECT_FALSE(IsWindow(w));
    }
    EXPECT_FALSE(DestroyWindow(owner));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowsTest, OnlyTheOwningThreadDestroysAWindow) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    BOOL result = TRUE;
    DWORD error = 0;
    std::thread other([&] {
        result = DestroyWindow(window);
        error = GetLastError();
    });
    other.join();
    EXPECT_FALSE(result);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(window));
}

TEST_F(WindowsTest, ClassesAreUniqueCaseInsensitiveAndHeldByTheirWindows) {
    WNDCLASSW info{};
    info.lpfnWndProc = DefWindowProcW;
    info.lpszClassName = u"Scratch";
    info.cbWndExtra = DLGWINDOWEXTRA;
    ATOM atom = RegisterClassW(&info);
    ASSERT_NE(atom, 0);
    info.lpszClassName = u"SCRATCH";
    EXPECT_EQ(RegisterClassW(&info), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    info.cbWndExtra = 1000;
    info.lpszClassName = u"TooMuch";
    EXPECT_EQ(RegisterClassW(&info), 0);

    HWND window = CreateWindowExW(0, MAKEINTATOM(atom), u"Found me", WS_POPUP, 0, 0, 10, 10,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    EXPECT_EQ(FindWindowW(u"scratch", nullptr), window);
    EXPECT_EQ(FindWindowW(nullptr, u"found me"), window);
    EXPECT_EQ(FindWindowW(u"Scratch", u"Other"), nullptr);
    EXPECT_FALSE(UnregisterClassW(u"Scratch", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassW(u"Scratch", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"#32769", nullptr));  // the desktop's stays
    EXPECT_EQ(CreateWindowExW(0, u"Scratch", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              nullptr, nullptr),
              nullptr);
}

LRESULT CALLBACK Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto original = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_USER) {
        return 1000 + CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
}

TEST_F(WindowsTest, PointerValuesKeepTheirFullWidth) {
    WNDCLASSW info{};
    info.lpfnWndProc = DefWindowProcW;
    info.lpszClassName = u"DialogLike";
    info.cbWndExtra = DLGWINDOWEXTRA;
    ASSERT_TRUE(RegisterClassW(&info));
    HWND window = CreateWindowExW(0, u"DialogLike", nullptr, WS_POPUP, 0, 0, 10, 10, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    static int target;
    const auto pointer = reinterpret_cast<LONG_PTR>(&target);
    SetWindowLongPtrW(window, DWLP_USER, pointer);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, -5);
    EXPECT_EQ(GetWindowLongPtrW(window, DWLP_USER), pointer);
    EXPECT_EQ(GetWindowLongPtrW(window, DWLP_MSGRESULT), -5);
    EXPECT_EQ(SetWindowLongPtrW(window, GWLP_USERDATA, pointer), 0);
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_USERDATA), pointer);
    // Beyond the extra bytes, and a pointer through the 32-bit call, are refused.
    EXPECT_EQ(GetWindowLongPtrW(window, DLGWINDOWEXTRA - 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    EXPECT_EQ(GetWindowLongW(window, GWL_WNDPROC), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
    DestroyWindow(window);
    UnregisterClassW(u"DialogLike", nullptr);

    // Subclassing through the window procedure slot.
    HWND test = MakeTopLevel({0, 0, 10, 10});
    SetHandler(test, [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 7;
        return message == WM_USER;
    });
    LONG_PTR original = SetWindowLongPtrW(test, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Subclass));
    SetWindowLongPtrW(test, GWLP_USERDATA, original);
    EXPECT_EQ(SendMessageW(test, WM_USER, 0, 0), 1007);
    EXPECT_EQ(GetWindowLongPtrW(test, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(Subclass));
}

TEST_F(WindowsTest, CoordinatesFollowFramesAndParents) {
    HWND top = MakeTopLevel({10, 20, 110, 220}, WS_POPUP | WS_VISIBLE | WS_BORDER);
    HWND child = MakeChild(top, {5, 6, 45, 56}, 1, WS_CHILD | WS_VISIBLE | WS_BORDER);
    RECT r;
    GetClientRect(top, &r);
    EXPECT_EQ(r.right, 98);
    EXPECT_EQ(r.bottom, 198);
    GetWindowRect(child, &r);
    EXPECT_EQ(r.left, 10 + 1 + 5);
    EXPECT_EQ(r.top, 20 + 1 + 6);
    POINT p{0, 0};
    ClientToScreen(child, &p);
    EXPECT_EQ(p.x, 17);
    EXPECT_EQ(p.y, 28);
    ScreenToClient(top, &p);
    EXPECT_EQ(p.x, 6);
    EXPECT_EQ(p.y, 7);
    POINT points[2] = {{0, 0}, {1, 1}};
    int offset = MapWindowPoints(child, nullptr, points, 2);
    EXPECT_EQ(points[1].x, 18);
    EXPECT_EQ(GET_X_LPARAM(offset), 17);
    EXPECT_EQ(GET_Y_LPARAM(offset), 28);

    ClearSeen();
    MoveWindow(child, 0, 0, 30, 20, TRUE);
    auto sizes = SeenOf(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].lParam, MAKELPARAM(28, 18));
    EXPECT_EQ(SeenOf(WM_MOVE).back().lParam, MAKELPARAM(1, 1));

    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 240);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 320);
}

TEST_F(WindowsTest, ZOrderPutsNewChildrenBelowAndTopmostWindowsAbove) {
    HWND parent = MakeTopLevel({0, 0, 100, 100});
    HWND a = MakeChild(parent, {0, 0, 10, 10}, 1);
    HWND b = MakeChild(parent, {0, 0, 10, 10}, 2);
    HWND c = MakeChild(parent, {0, 0, 10, 10}, 3);
    auto order = [&] {
        std::vector<HWND> out;
        for (HWND w = GetWindow(parent, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            out.push_back(w);
        }
        return out;
    };
    EXPECT_EQ(order(), (std::vector<HWND>{a, b, c}));
    SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(order(), (std::vector<HWND>{c, a, b}));
    SetWindowPos(c, b, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(order(), (std::vector<HWND>{a, b, c}));
    SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(order(), (std::vector<HWND>{b, c, a}));
    EXPECT_EQ(GetWindow(b, GW_HWNDPREV), nullptr);
    EXPECT_EQ(GetWindow(c, GW_HWNDLAST), a);

    HWND topmost = MakeTopLevel({0, 0, 10, 10});
    SetWindowPos(topmost, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND later = MakeTopLevel({0, 0, 10, 10});
    EXPECT_EQ(GetWindow(GetDesktopWindow(), GW_CHILD), topmost);
    EXPECT_EQ(GetWindow(topmost, GW_HWNDNEXT), later);
    SetWindowPos(later, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(GetWindow(GetDesktopWindow(), GW_CHILD), topmost);
}

TEST_F(WindowsTest, TextIsCutToTheBufferAndReadDirectlyFromAnotherThread) {
    HWND window = MakeTopLevel({0, 0, 10, 10});
    ASSERT_TRUE(SetWindowTextW(window, u"Destination"));
    EXPECT_EQ(GetWindowTextLengthW(window), 11);
    WCHAR small[5];
    EXPECT_EQ(GetWindowTextW(window, small, 5), 4);
    EXPECT_EQ(std::u16string(small), u"Dest");
    std::u16string fromOther;
    std::thread other([&] {
        WCHAR buffer[32];
        GetWindowTextW(window, buffer, 32);
        fromOther = buffer;
    });
    other.join();
    EXPECT_EQ(fromOther, u"Destination");
    EXPECT_EQ(SeenOf(WM_GETTEXT).size(), 1u);  // the other thread read without sending
}

TEST_F(WindowsTest, DisablingSendsEnableAndTakesTheFocus) {
    HWND top = MakeTopLevel({0, 0, 100, 100});
    HWND child = MakeChild(top, {0, 0, 10, 10}, 1);
    SetFocus(child);
    ClearSeen();
    EXPECT_FALSE(EnableWindow(child, FALSE));
    EXPECT_FALSE(IsWindowEnabled(child));
    EXPECT_EQ(GetFocus(), nullptr);
    EXPECT_EQ(SeenOf(WM_KILLFOCUS).size(), 1u);
    ASSERT_EQ(SeenOf(WM_ENABLE).size(), 1u);
    EXPECT_TRUE(EnableWindow(child, TRUE));  // it was disabled
    EXPECT_EQ(SeenOf(WM_ENABLE).size(), 2u);
    EXPECT_FALSE(EnableWindow(child, TRUE));
    EXPECT_EQ(SeenOf(WM_ENABLE).size(), 2u);
}

}  // namespace
