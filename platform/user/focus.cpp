// Focus, capture and activation. The messages announcing a change go to windows of
// other threads without waiting, so that changing the focus never blocks on a busy
// thread.
#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

void Tell(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Deliver(hwnd, message, wParam, lParam, false);
}

// The top-level window holding hwnd; null for the desktop, and for a handle that is
// no window (with the error set).
HWND TopLevelHandleLocked(HWND hwnd) {
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !window->parent) {
        return nullptr;
    }
    return TopLevelOfLocked(window)->handle;
}

HWND Activate(HWND hwnd, WORD how) {
    HWND previous = nullptr;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        if (hwnd) {
            hwnd = TopLevelHandleLocked(hwnd);
            if (!hwnd) {
                return nullptr;
            }
        }
        previous = state.active;
        if (previous == hwnd) {
            return previous;
        }
        state.active = hwnd;
        NotifyWaitersLocked();
    }
    if (previous && IsWindow(previous)) {
        Tell(previous, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(hwnd));
    }
    if (hwnd) {
        Tell(hwnd, WM_ACTIVATE, MAKEWPARAM(how, 0), reinterpret_cast<LPARAM>(previous));
    }
    // The focus does not stay behind in a window that is no longer active.
    bool stale = false;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        Window* focus = FindLocked(state.focus);
        Window* active = FindLocked(state.active);
        stale = focus && (!active || TopLevelOfLocked(focus) != active);
    }
    if (stale) {
        SetFocus(nullptr);
    }
    return previous;
}

}  // namespace

void ActivateByClick(HWND hwnd) {
    Activate(hwnd, WA_CLICKACTIVE);
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

HWND SetFocus(HWND hwnd) {
    HWND previous = nullptr;
    HWND top = nullptr;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        if (hwnd) {
            top = TopLevelHandleLocked(hwnd);
            if (!top) {
                return nullptr;
            }
        }
        previous = state.focus;
        if (previous == hwnd) {
            return previous;
        }
        if (top == state.active) {
            top = nullptr;
        }
    }
    if (top) {
        Activate(top, WA_ACTIVE);
        Lock lock = TakeLock();
        previous = StateLocked().focus;
        if (previous == hwnd) {
            return previous;  // activation gave it the focus already
        }
    }
    if (previous && IsWindow(previous)) {
        Tell(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    }
    {
        Lock lock = TakeLock();
        StateLocked().focus = FindLocked(hwnd) ? hwnd : nullptr;
        NotifyWaitersLocked();
    }
    if (hwnd && IsWindow(hwnd)) {
        Tell(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

HWND GetFocus() {
    Lock lock = TakeLock();
    return StateLocked().focus;
}

HWND SetCapture(HWND hwnd) {
    HWND previous = nullptr;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        if (!FindOrFailLocked(hwnd)) {
            return nullptr;
        }
        previous = state.capture;
        state.capture = hwnd;
        NotifyWaitersLocked();
    }
    if (previous && previous != hwnd && IsWindow(previous)) {
        Tell(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    }
    return previous;
}

BOOL ReleaseCapture() {
    HWND previous = nullptr;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        previous = state.capture;
        state.capture = nullptr;
        NotifyWaitersLocked();
    }
    if (previous && IsWindow(previous)) {
        Tell(previous, WM_CAPTURECHANGED, 0, 0);
    }
    return TRUE;
}

HWND GetCapture() {
    Lock lock = TakeLock();
    return StateLocked().capture;
}

HWND SetActiveWindow(HWND hwnd) {
    return Activate(hwnd, WA_ACTIVE);
}

HWND GetActiveWindow() {
    Lock lock = TakeLock();
    return StateLocked().active;
}

BOOL SetForegroundWindow(HWND hwnd) {
    if (IsRemoteWindow(hwnd)) {
        return RemoteSetForeground(hwnd);
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Activate(hwnd, WA_ACTIVE);
    return TRUE;
}

HWND GetForegroundWindow() {
    return GetActiveWindow();
}
