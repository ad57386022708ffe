// The window system's state. Every field here lives under the kernel's WaitLock(): a
// thread reading its queue waits on the kernel's one condition, and routing input
// needs the window tree, so one lock serves both. Window procedures and drawing are
// never called with the lock held.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/user/menu_bar.h"
#include "platform/user/user.h"

namespace platform::user {

using Lock = std::unique_lock<std::mutex>;
inline Lock TakeLock() {
    return Lock(WaitLock());
}

constexpr int kMaxExtraBytes = 256;

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    WNDCLASSW info{};  // the name pointers are not kept
    bool builtIn = false;
    int windows = 0;
};

// What a window's vertical scroll bar holds, and the part the pointer holds down.
enum class ScrollPart { None, LineUp, LineDown, PageUp, PageDown, Thumb };
struct FrameScrollBar {
    int min = 0;
    int max = 0;
    UINT page = 0;
    int pos = 0;
    int trackPos = 0;
    ScrollPart pressed = ScrollPart::None;
    int grab = 0;  // from the thumb's top to the pointer, while the thumb is dragged
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    DWORD threadId = 0;
    Window* parent = nullptr;  // the desktop for a top-level window; null for the desktop
    HWND owner = nullptr;
    std::vector<Window*> children;  // in z-order, topmost first
    RECT rect{};                    // in the parent's client coordinates
    DWORD style = 0;
    DWORD exStyle = 0;
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE instance = nullptr;
    WNDPROC proc = nullptr;
    std::u16string text;
    std::vector<BYTE> extra;
    uint64_t serial = 0;  // creation order
    bool destroying = false;

    // Painting: the invalid part of the client area and whether the frame needs
    // drawing. `invalidations` counts every invalidation.
    RECT update{};
    bool erase = false;
    bool frameDirty = false;
    uint64_t invalidations = 0;

    // The vertical scroll bar's values (scroll_bars.cpp).
    FrameScrollBar vscroll;
    // The menu bar's menu (menu_bar.cpp); top-level windows only.
    HMENU menu = nullptr;
};

// A message sent to a window of another thread, waiting to be served there.
struct SentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool wantsReply;
    bool done = false;
    LRESULT result = 0;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    uint64_t deadline;
    TIMERPROC proc;
    uint64_t serial;  // orders timers with equal deadlines
};

// One user-interface thread's queue. It is a Waitable so that
// MsgWaitForMultipleObjects waits on it beside kernel objects.
class ThreadQueue : public Waitable {
  public:
    explicit ThreadQueue(DWORD threadId) : threadId(threadId) {}
    bool IsSignalledLocked() const override;

    const DWORD threadId;
    bool alive = true;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    DWORD wakeMask = QS_ALLINPUT;                 // what wakes a MsgWaitForMultipleObjects
    std::vector<std::function<void()>> whenIdle;  // platform::CallWhenIdle
};

struct RawInput {
    enum Kind { PointerDown, PointerMove, PointerUp, KeyDown, KeyUp } kind;
    POINT point;
    UINT key;
    uint64_t time;  // the clock when it was posted
};

struct HotKey {
    HWND hwnd;
    int id;
    UINT modifiers;
    UINT key;
};

struct State {
    std::unordered_map<HWND, std::shared_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10000;
    uint64_t nextSerial = 1;
    Window* desktop = nullptr;
    std::vector<std::shared_ptr<WindowClass>> classes;
    ATOM nextAtom = 0xC000;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;

    std::deque<RawInput> input;
    HWND focus = nullptr;
    HWND active = nullptr;
    HWND capture = nullptr;
    // The window whose scroll bar the pointer holds: it gets the pointer's moves
    // and its release as WM_NCMOUSEMOVE and WM_NCLBUTTONUP.
    HWND scrollTracking = nullptr;
    BYTE keys[256] = {};       // as read: 0x80 down, 0x01 toggled
    BYTE asyncKeys[256] = {};  // as posted
    POINT cursor{};
    std::vector<HotKey> hotkeys;
    // The last press, for double clicks.
    HWND lastDownWindow = nullptr;
    uint64_t lastDownTime = 0;
    POINT lastDownPoint{};

    uint64_t nextTimerSerial = 1;
    UINT_PTR nextThreadTimerId = 1;
};

// The state, with the built-in classes and the desktop made on first use. Call with
// the lock held.
State& StateLocked();
std::atomic<uint64_t>& ScreenGenerationCounter();

// --- windows.cpp ---------------------------------------------------------------
Window* FindLocked(HWND hwnd);
// Sets ERROR_INVALID_WINDOW_HANDLE when there is no such window (the desktop is one).
Window* FindOrFailLocked(HWND hwnd);
Window* TopLevelOfLocked(Window* window);
bool IsDescendantLocked(const Window* ancestor, const Window* window);
bool IsOwnThreadLocked(const Window* window);
// Unlinks a window and its children and frees their handles, without messages.
void RemoveWindowLocked(Window* window);
// Removes every window of a thread that ended, without messages; the windows of
// other threads beneath them are invalidated.
void RemoveThreadWindowsLocked(DWORD threadId);

// A top-level window was shown: tells the handler when it is the main window now.
void CallMainWindowShownHandler(HWND hwnd);
// A new handle, never one of a window that exists or existed.
HWND NewHandleLocked();
// FindWindowW among this process's own top-level windows.
HWND FindLocalWindow(LPCWSTR className, LPCWSTR windowName);

// --- remote_windows.cpp ----------------------------------------------------------
// Lets other processes on the same root (the device's or the desktop's) find this
// process's top-level windows; called when one is made (again after the root
// changed). Call without the lock.
void PublishProcessWindows();
// FindWindowW in the other processes: a proxy handle for the first window found.
HWND FindRemoteWindow(LPCWSTR className, LPCWSTR windowName);
bool IsRemoteWindow(HWND hwnd);
// The process that owns a window of another process; 0 for any other window.
DWORD RemoteProcessId(HWND hwnd);
BOOL RemotePost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// 0 when the window or its program is gone before it answers.
LRESULT RemoteSend(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL RemoteSetForeground(HWND hwnd);
BOOL RemoteIsWindow(HWND hwnd);

// --- classes.cpp ---------------------------------------------------------------
std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name);
void RegisterBuiltInClassesLocked(State& state);
// The built-in classes, from builtin_classes.cpp.
std::vector<WNDCLASSW> BuiltInClasses();
// The standard and common controls (controls.cpp).
std::vector<WNDCLASSW> ControlClasses();
// The dialog class and the window system's own windows: popup menus, the command
// bar, message boxes (dialog_classes.cpp).
std::vector<WNDCLASSW> DialogClasses();

// --- geometry.cpp --------------------------------------------------------------
// The frame's width on each side (caption included at the top).
RECT FrameInsets(DWORD style, DWORD exStyle);
// A window's frame: FrameInsets, and its scroll bar on the right.
RECT WindowInsetsLocked(const Window* window);
RECT WindowRectOnScreenLocked(const Window* window);
RECT ClientRectOnScreenLocked(const Window* window);
POINT ClientOriginLocked(const Window* window);
// Visible itself and through all its ancestors.
bool IsShownLocked(const Window* window);
// What of the window (its client area, or the whole window) the screen shows
// through its ancestors; empty when it is not shown.
RECT VisibleRectLocked(const Window* window, bool clientOnly);
// The topmost shown, enabled window under a screen point, descending into children;
// null over the desktop or over a disabled top-level window.
Window* HitTestLocked(POINT screenPoint);
LRESULT SendSizeAndMove(HWND hwnd);

// --- paint.cpp -----------------------------------------------------------------
void InvalidateClientLocked(Window* window, const RECT* clientRect, bool erase);
// Invalidates what of a screen rectangle falls on the window: its client part and
// its frame.
void InvalidateOnScreenLocked(Window* window, const RECT& screenRect, bool erase);
// Something that covered screenRect went away from under `parent` (the desktop for
// a top-level window): repaints what lies there. Returns the part of the bare
// desktop to fill (empty when none), for FillDesktop after the lock is released.
RECT ExposeLocked(Window* parent, const RECT& screenRect);
void FillDesktop(const RECT& screenRect);
bool NeedsPaintLocked(const Window* window);
// The calling thread's next window to paint, parents before children and lower
// windows before higher ones, among windows passing the filter.
Window* NextWindowToPaintLocked(DWORD threadId, HWND filter);
void BumpScreenGeneration();
// Calls a window procedure with WM_PAINT; a handler that neither painted nor
// invalidated again is taken as having painted, so WM_PAINT does not come forever.
LRESULT CallPaint(HWND hwnd, WNDPROC proc);
// DefWindowProcW's parts.
LRESULT EraseBackground(HWND hwnd, HDC dc);
void DrawFrame(HWND hwnd);
LRESULT DefaultControlColor(UINT message, HDC dc);

// --- queue.cpp -----------------------------------------------------------------
// The calling thread's queue, made on first use.
ThreadQueue& CurrentQueueLocked();
ThreadQueue* QueueOfLocked(DWORD threadId);
// Sends to a window of any thread; for another thread, without waiting when
// wantsReply is false. Call without the lock.
LRESULT Deliver(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool wantsReply);
// Which messages a read takes.
struct Filter {
    HWND hwnd = nullptr;  // null: all; (HWND)-1: thread messages only
    UINT min = 0;
    UINT max = 0;
    bool Takes(UINT message) const {
        return (min == 0 && max == 0) || (message >= min && message <= max);
    }
};
bool WindowPassesLocked(const Filter& filter, HWND hwnd);
// Waits until `doneLocked` (called with the lock held) holds, serving the messages
// other threads send to this one meanwhile. False when the thread was asked to stop.
// Call without the lock.
bool WaitServingSent(const std::function<bool()>& doneLocked);

// --- timers.cpp ----------------------------------------------------------------
// The earliest due timer passing the filter, as a WM_TIMER; re-armed when removed.
bool TakeDueTimerLocked(ThreadQueue& queue, const Filter& filter, bool remove, MSG* msg);
// The earliest deadline among the timers a read with this filter would take; a read
// waits no longer than that.
uint64_t NextTimerDeadlineLocked(const ThreadQueue& queue, const Filter& filter = Filter{});
bool IsTimerProcLocked(const ThreadQueue& queue, HWND hwnd, UINT_PTR id, TIMERPROC proc);
void KillWindowTimersLocked(HWND hwnd);

// --- input.cpp -----------------------------------------------------------------
// The first waiting input when it is meant for this queue, as the message it
// becomes. `activate` receives a top-level window that the press should activate.
bool TakeInputLocked(ThreadQueue& queue, const Filter& filter, bool remove, MSG* msg,
                     HWND* activate);
bool HasInputForLocked(const ThreadQueue& queue);
// A window is going away: focus, capture, activation and hotkeys let go of it.
// Returns a window to activate in its place, if any.
void ForgetWindowLocked(HWND hwnd);
// The window to activate when `leaving` stops being active.
HWND NextActiveCandidateLocked(const Window* leaving);

// --- scroll_bars.cpp -----------------------------------------------------------
// WS_VSCROLL on a window whose class draws no bar of its own.
bool HasFrameScrollBarLocked(const Window* window);
// Whether a screen point lies on the window's scroll bar.
bool OnFrameScrollBarLocked(const Window* window, POINT screenPoint);
// DefWindowProcW's part: the bar in the window's frame (WM_NCPAINT), and the
// pointer on it.
void DrawFrameScrollBar(HWND hwnd, HDC windowDC);
LRESULT FrameScrollBarInput(HWND hwnd, UINT message, LPARAM screenPoint);

// --- menu_bar.cpp --------------------------------------------------------------
// The height of the window's menu bar; 0 without one.
int MenuBarHeightLocked(const Window* window);
// Whether a screen point lies on the window's menu bar.
bool OnMenuBarLocked(const Window* window, POINT screenPoint);
// DefWindowProcW's part: the bar in the window's frame (WM_NCPAINT), and a press on
// it, which opens the entry's popup and posts the item chosen as WM_COMMAND.
void DrawMenuBarFrame(HWND hwnd, HDC windowDC);
LRESULT MenuBarInput(HWND hwnd, LPARAM screenPoint);

// --- focus.cpp -----------------------------------------------------------------
// A press on an inactive top-level window activates it (WA_CLICKACTIVE).
void ActivateByClick(HWND hwnd);

}  // namespace platform::user
