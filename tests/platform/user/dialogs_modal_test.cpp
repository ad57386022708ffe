// Dialogs from templates: creation, the default dialog procedure and the modal loop.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/platform/user/dialogs_test_support.h"

namespace {

using namespace user_testing;
using namespace dialog_testing;

constexpr WORD kTemplateId = 4100;

class DialogsModalTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        platform::RegisterDialogTemplate(nullptr, kTemplateId, OkCancelTemplate());
    }
};

TEST_F(DialogsModalTest, ATemplateDialogIsBuiltInDialogUnitsInitialisedAndEndsWithEndDialog) {
    HWND owner = MakeTopLevel({0, 0, 240, 320}, WS_POPUP | WS_VISIBLE | WS_BORDER);
    platform::PumpUntilIdle();
    struct Seen {
        LPARAM initParam = 0;
        HWND focusCandidate = nullptr;
        int focusCandidateId = 0;
        HWND focusAfterInit = nullptr;
        bool ownerEnabled = true;
        RECT okRect{};
        RECT okMapped{};
        RECT window{};
        RECT placeMapped{};
        HWND dialog = nullptr;
    } seen;
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            seen.dialog = dialog;
            seen.initParam = lParam;
            seen.focusCandidate = reinterpret_cast<HWND>(wParam);
            seen.focusCandidateId = GetDlgCtrlID(seen.focusCandidate);
            HWND ok = GetDlgItem(dialog, IDOK);
            GetWindowRect(ok, &seen.okRect);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<LPPOINT>(&seen.okRect), 2);
            seen.okMapped = RECT{20, 70, 70, 84};
            MapDialogRect(dialog, &seen.okMapped);
            GetWindowRect(dialog, &seen.window);
            seen.placeMapped = RECT{10, 20, 0, 0};
            MapDialogRect(dialog, &seen.placeMapped);
            return TRUE;
        }
        if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
            seen.focusAfterInit = GetFocus();
            seen.ownerEnabled = IsWindowEnabled(owner);
            EndDialog(dialog, 1234);
            return TRUE;
        }
        return FALSE;
    };
    // The key waits in the input queue and reaches the dialog once it is up: Enter acts
    // on the default button, OK.
    platform::PostKeyPress(VK_RETURN);
    INT_PTR result =
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), owner, ForwardingDialogProc, 77);
    EXPECT_EQ(result, 1234);
    EXPECT_EQ(seen.initParam, 77);
    EXPECT_FALSE(seen.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindow(seen.dialog));
    EXPECT_TRUE(EqualRect(&seen.okRect, &seen.okMapped));
    EXPECT_GT(seen.okRect.right - seen.okRect.left, 50);  // dialog units are wider than pixels
    // Placed at its template position in the owner's client area (inside its border).
    EXPECT_EQ(seen.window.left, 1 + seen.placeMapped.left);
    EXPECT_EQ(seen.window.top, 1 + seen.placeMapped.top);
    // The first tab stop (the check box) is offered and takes the focus.
    ASSERT_NE(seen.focusCandidate, nullptr);
    EXPECT_EQ(seen.focusCandidateId, 101);
    EXPECT_EQ(seen.focusAfterInit, seen.focusCandidate);
    // The owner is active again.
    EXPECT_EQ(GetActiveWindow(), owner);
}

TEST_F(DialogsModalTest, KeysAndCloseEndTheDialogThroughItsButtons) {
    struct Case {
        const char* name;
        std::vector<UINT> keys;
        WORD newDefault;  // DM_SETDEFID at initialisation, 0 for none
        INT_PTR expected;
    };
    const std::vector<Case> cases = {
        {"Enter presses the default button", {VK_RETURN}, 0, IDOK},
        {"Escape is Cancel", {VK_ESCAPE}, 0, IDCANCEL},
        {"DM_SETDEFID moves Enter", {VK_RETURN}, IDCANCEL, IDCANCEL},
        // Tab from the check box to OK, to Cancel: Enter presses the focused push button.
        {"Enter presses the focused button", {VK_TAB, VK_TAB, VK_RETURN}, 0, IDCANCEL},
        {"Tab wraps around", {VK_TAB, VK_TAB, VK_TAB, VK_TAB, VK_RETURN}, 0, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LRESULT defId = 0;
        TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
            if (message == WM_INITDIALOG) {
                if (c.newDefault) {
                    SendMessageW(dialog, DM_SETDEFID, c.newDefault, 0);
                }
                defId = SendMessageW(dialog, DM_GETDEFID, 0, 0);
                return TRUE;
            }
            if (message == WM_COMMAND) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        };
        for (UINT key : c.keys) {
            platform::PostKeyPress(key);
        }
        EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr,
                                  ForwardingDialogProc, 0),
                  c.expected);
        EXPECT_EQ(defId, MAKELRESULT(c.newDefault ? c.newDefault : IDOK, DC_HASDEFID));
        platform::DiscardPendingInput();
    }

    // WM_CLOSE answers as Cancel does.
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            return TRUE;
        }
        if (message == WM_COMMAND) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    };
    EXPECT_EQ(
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr, ForwardingDialogProc, 0),
        IDCANCEL);
}

TEST_F(DialogsModalTest, AMessageSentFromAnotherThreadIsServedWhileTheDialogIsUp) {
    HWND target = MakeTopLevel({0, 0, 240, 320});
    SetHandler(target, [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message == WM_APP) {
            *result = 42;
            return true;
        }
        return false;
    });
    std::atomic<HWND> dialogUp{nullptr};
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            dialogUp = dialog;
            return TRUE;
        }
        if (message == WM_COMMAND) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    };
    std::atomic<LRESULT> answer{0};
    std::thread other([&] {
        while (!dialogUp.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        answer = SendMessageW(target, WM_APP, 0, 0);
        // Only once the send came back does the dialog end.
        platform::PostKeyPress(VK_ESCAPE);
    });
    INT_PTR result =
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), target, ForwardingDialogProc, 0);
    other.join();
    EXPECT_EQ(answer.load(), 42);
    EXPECT_EQ(result, IDCANCEL);
    auto served = SeenOf(WM_APP);
    ASSERT_EQ(served.size(), 1u);
    EXPECT_EQ(served[0].thread, GetCurrentThreadId());
}

TEST_F(DialogsModalTest, EndDialogFromAnotherThreadWakesTheLoop) {
    std::atomic<HWND> dialogUp{nullptr};
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            dialogUp = dialog;
            return TRUE;
        }
        return FALSE;
    };
    std::thread other([&] {
        while (!dialogUp.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EndDialog(dialogUp.load(), 9);
    });
    INT_PTR result =
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr, ForwardingDialogProc, 0);
    other.join();
    EXPECT_EQ(result, 9);
}

TEST_F(DialogsModalTest, EndingInInitialisationNeverShowsTheDialogAndQuitEndsTheLoop) {
    bool shown = false;
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EndDialog(dialog, 5);
            return TRUE;
        }
        if (message == WM_SHOWWINDOW && wParam) {
            shown = true;
        }
        return FALSE;
    };
    EXPECT_EQ(
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr, ForwardingDialogProc, 0),
        5);
    EXPECT_FALSE(shown);

    // A WM_QUIT ends the loop as Cancel and stays for the loop outside.
    TheDialogHandler() = [&](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            PostQuitMessage(3);
            return TRUE;
        }
        return FALSE;
    };
    EXPECT_EQ(
        DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr, ForwardingDialogProc, 0),
        IDCANCEL);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);
}

TEST_F(DialogsModalTest, MissingTemplatesAndBadControlsFailWithoutLeavingWindows) {
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, ForwardingDialogProc, 0),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(CreateDialogParamW(nullptr, u"named", nullptr, ForwardingDialogProc, 0), nullptr);

    // The program's instance names the program's own module as a null instance does.
    TheDialogHandler() = [](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            EndDialog(dialog, 8);
        }
        return message == WM_INITDIALOG;
    };
    EXPECT_EQ(DialogBoxParamW(platform::ProgramInstance(), MAKEINTRESOURCEW(kTemplateId), nullptr,
                              ForwardingDialogProc, 0),
              8);

    platform::DialogTemplate broken = OkCancelTemplate();
    broken.items.push_back({u"NoSuchClass", u"", 7, WS_VISIBLE, 0, 0, 0, 10, 10});
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, &broken, nullptr, ForwardingDialogProc, 0), -1);
    EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);
}

TEST_F(DialogsModalTest, DefDlgProcTakesResultsFromMsgResultExceptForDirectAnswers) {
    HBRUSH brush = GetSysColorBrush(COLOR_HIGHLIGHT);
    TheDialogHandler() = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        switch (message) {
            case WM_APP:
                SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 777);
                return TRUE;
            case WM_APP + 1:
                SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 777);
                return FALSE;  // not handled: the default answer (0) counts
            case WM_CTLCOLORDLG:
                return reinterpret_cast<INT_PTR>(brush);
            default:
                return FALSE;
        }
    };
    HWND dialog = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(kTemplateId), nullptr,
                                     ForwardingDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(SendMessageW(dialog, WM_APP, 0, 0), 777);
    EXPECT_EQ(SendMessageW(dialog, WM_APP + 1, 0, 0), 0);
    EXPECT_EQ(SendMessageW(dialog, WM_CTLCOLORDLG, 0, 0), reinterpret_cast<LRESULT>(brush));
    // The erased background is the brush the dialog procedure chose.
    platform::PumpUntilIdle();
    HDC screen = GetDC(nullptr);
    RECT client;
    GetClientRect(dialog, &client);
    POINT corner{client.right - 2, client.bottom - 2};
    ClientToScreen(dialog, &corner);
    EXPECT_EQ(GetPixel(screen, corner.x, corner.y), GetSysColor(COLOR_HIGHLIGHT));
    ReleaseDC(nullptr, screen);
    // The dialog's font went to its controls.
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDOK, WM_GETFONT, 0, 0),
              SendMessageW(dialog, WM_GETFONT, 0, 0));
    EXPECT_NE(SendMessageW(dialog, WM_GETFONT, 0, 0), 0);
    // EndDialog on a window that is not a dialog fails.
    HWND plain = MakeTopLevel({0, 0, 10, 10});
    EXPECT_FALSE(EndDialog(plain, 1));
    DestroyWindow(dialog);
}

}  // namespace

namespace {

using namespace user_testing;
using namespace dialog_testing;

TEST_F(DialogTest, CentredAndOversizedDialogsStayOnTheScreen) {
    struct Case {
        DWORD style;
        short cx, cy;
        bool centred;
    };
    const Case cases[] = {
        {WS_POPUP | WS_VISIBLE | DS_CENTER | WS_BORDER, 80, 60, true},
        {WS_POPUP | WS_VISIBLE | WS_CAPTION, 400, 400, false},
    };
    for (const Case& c : cases) {
        platform::DialogTemplate t;
        t.style = c.style;
        t.x = 30;
        t.y = 30;
        t.cx = c.cx;
        t.cy = c.cy;
        HWND dialog = CreateDialogIndirectParamW(nullptr, &t, nullptr, ForwardingDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
        RECT r;
        GetWindowRect(dialog, &r);
        if (c.centred) {
            EXPECT_EQ(r.left, (240 - (r.right - r.left)) / 2);
            EXPECT_EQ(r.top, (320 - (r.bottom - r.top)) / 2);
        } else {
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.top, 0);
        }
        DestroyWindow(dialog);
    }
}

}  // namespace
