// A dialog procedure that forwards to a handler the test sets, and a small template.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "tests/platform/user/test_window.h"

namespace dialog_testing {

using DialogHandler = std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)>;

inline DialogHandler& TheDialogHandler() {
    static DialogHandler handler;
    return handler;
}

// Calls the handler set by the test; with none, ends the dialog on any button.
inline INT_PTR CALLBACK ForwardingDialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (TheDialogHandler()) {
        return TheDialogHandler()(hwnd, message, wParam, lParam);
    }
    if (message == WM_COMMAND) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// A 140 x 100 dialog unit dialog: a label, a check box, OK (the default) and Cancel.
inline platform::DialogTemplate OkCancelTemplate() {
    platform::DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
    t.x = 10;
    t.y = 20;
    t.cx = 140;
    t.cy = 100;
    t.caption = u"Route options";
    t.items = {
        {u"STATIC", u"Name:", 100, WS_VISIBLE, 0, 8, 8, 40, 10},
        {u"BUTTON", u"Avoid tolls", 101, WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, 50, 8, 80,
         12},
        {u"BUTTON", u"OK", IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 20, 70, 50, 14},
        {u"BUTTON", u"Cancel", IDCANCEL, WS_VISIBLE | WS_TABSTOP, 0, 90, 70, 50, 14},
    };
    return t;
}

// Pumps the calling thread's queue through IsDialogMessageW, as a modeless dialog's
// owner loop would.
inline void PumpDialog(HWND dialog) {
    for (int round = 0; round < 4; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (!IsWindow(dialog) || !IsDialogMessageW(dialog, &msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        platform::PumpUntilIdle();
    }
}

inline POINT CenterOnScreen(HWND hwnd) {
    RECT r;
    GetWindowRect(hwnd, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

class DialogTest : public user_testing::UserTest {
  protected:
    void TearDown() override {
        TheDialogHandler() = nullptr;
        UserTest::TearDown();
    }
};

}  // namespace dialog_testing
