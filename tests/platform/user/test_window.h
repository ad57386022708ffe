// A window class that records every message it gets, with per-window handlers, and
// a fixture that leaves no window, input or quit behind.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <vector>

#include "platform/user/user.h"

namespace user_testing {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
};

// Answers a message when it returns true (with *result set); otherwise the message
// goes to DefWindowProcW.
using Handler = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT* result)>;

inline constexpr LPCWSTR kTestClass = u"TestWindow";

// Registers kTestClass (white background) once.
void RegisterTestClass();
// Another recording class, with its own background and class style; false when the
// name is taken already.
bool RegisterRecordingClass(LPCWSTR name, HBRUSH background, UINT style = 0);
HWND MakeWindowOf(LPCWSTR className, HWND parent, RECT rect, DWORD style, int id = 0);
// A handler for one window; a null window sets the handler for every window without
// its own (so WM_CREATE can be answered).
void SetHandler(HWND hwnd, Handler handler);
std::vector<Seen> SeenMessages();
// The messages of one kind, in order.
std::vector<Seen> SeenOf(UINT message);
std::vector<Seen> SeenBy(HWND hwnd);
void ClearSeen();

HWND MakeTopLevel(RECT rect, DWORD style = WS_VISIBLE | WS_POPUP, HWND owner = nullptr);
HWND MakeChild(HWND parent, RECT rect, int id, DWORD style = WS_VISIBLE | WS_CHILD);

// Destroys the calling thread's top-level windows, drops pending input, pumps, and
// forgets a pending WM_QUIT.
void CleanUpThread();

class UserTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// While it lives, the platform clock stands still.
struct ManualClock {
    ManualClock() { platform::UseManualClock(true); }
    ~ManualClock() { platform::UseManualClock(false); }
};

}  // namespace user_testing
