// Windows: the handle table, creation and destruction, and the window tree.
#include <algorithm>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<Window> NewWindowLocked(State& state, std::shared_ptr<WindowClass> windowClass) {
    auto window = std::make_shared<Window>();
    window->handle = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 4;
    window->serial = state.nextSerial++;
    window->windowClass = std::move(windowClass);
    window->windowClass->windows++;
    window->proc = window->windowClass->info.lpfnWndProc;
    window->extra.assign(static_cast<size_t>(window->windowClass->info.cbWndExtra), 0);
    state.windows.emplace(window->handle, window);
    return window;
}

// Top-level windows keep the topmost ones above the rest.
void InsertTopLevelLocked(Window* desktop, Window* window, bool atTop) {
    auto& list = desktop->children;
    bool topmost = window->exStyle & WS_EX_TOPMOST;
    auto firstPlain = std::find_if(list.begin(), list.end(),
                                   [](Window* w) { return !(w->exStyle & WS_EX_TOPMOST); });
    if (topmost) {
        list.insert(atTop ? list.begin() : firstPlain, window);
    } else {
        list.insert(atTop ? firstPlain : list.end(), window);
    }
}

// The window's rectangle from CreateWindowExW's arguments.
RECT InitialRect(bool child, int x, int y, int width, int height) {
    if (x == CW_USEDEFAULT) {
        x = 0;
        y = 0;
    }
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : ScreenWidth();
        height = child ? 0 : ScreenHeight();
    }
    return RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
}

std::vector<HWND> ChildHandlesLocked(HWND hwnd) {
    std::vector<HWND> handles;
    if (Window* window = FindLocked(hwnd)) {
        for (Window* child : window->children) {
            handles.push_back(child->handle);
        }
    }
    return handles;
}

void MarkDestroyingLocked(Window* window) {
    window->destroying = true;
    for (Window* child : window->children) {
        MarkDestroyingLocked(child);
    }
}

// WM_DESTROY from the window down to its deepest children.
void SendDestroy(HWND hwnd) {
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    {
        Lock lock = TakeLock();
        children = ChildHandlesLocked(hwnd);
    }
    for (HWND child : children) {
        SendDestroy(child);
    }
}

// WM_NCDESTROY from the deepest children up; each window dies after its own.
void FreeWindow(HWND hwnd) {
    std::vector<HWND> children;
    {
        Lock lock = TakeLock();
        children = ChildHandlesLocked(hwnd);
    }
    for (HWND child : children) {
        FreeWindow(child);
    }
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    Lock lock = TakeLock();
    if (Window* window = FindLocked(hwnd)) {
        RemoveWindowLocked(window);
    }
}

// Hides a window that is about to be destroyed and hands the focus and activation
// on.
void LetGo(HWND hwnd) {
    RECT fill{};
    HWND nextActive = nullptr;
    bool wasActive = false;
    bool hadFocus = false;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        Window* window = FindLocked(hwnd);
        if (!window) {
            return;
        }
        if (IsShownLocked(window)) {
            RECT area = VisibleRectLocked(window, false);
            window->style &= ~WS_VISIBLE;
            fill = ExposeLocked(window->parent, area);
        }
        window->style &= ~WS_VISIBLE;
        Window* focus = FindLocked(state.focus);
        hadFocus = focus && IsDescendantLocked(window, focus);
        wasActive = state.active == hwnd;
        if (wasActive) {
            nextActive = NextActiveCandidateLocked(window);
        }
    }
    FillDesktop(fill);
    if (hadFocus) {
        SetFocus(nullptr);
    }
    if (wasActive) {
        SetActiveWindow(nextActive);
    }
}

struct MainWindowHandler {
    std::mutex lock;
    std::function<void()> handler;
    std::function<void(HWND)> shown;
};

MainWindowHandler& TheMainWindowHandler() {
    static MainWindowHandler* handler = new MainWindowHandler;
    return *handler;
}

void CallMainWindowHandler() {
    std::function<void()> handler;
    {
        MainWindowHandler& holder = TheMainWindowHandler();
        std::lock_guard<std::mutex> guard(holder.lock);
        handler = holder.handler;
    }
    if (handler) {
        handler();
    }
}

HWND MainWindowLocked() {
    Window* main = nullptr;
    for (Window* window : StateLocked().desktop->children) {
        if (!window->owner && (window->style & WS_VISIBLE) && !window->destroying &&
            (!main || window->serial < main->serial)) {
            main = window;
        }
    }
    return main ? main->handle : nullptr;
}

}  // namespace

State& StateLocked() {
    static State* state = nullptr;  // never destroyed: threads may outlive statics
    if (!state) {
        state = new State;
        RegisterBuiltInClassesLocked(*state);
        auto desktop = NewWindowLocked(*state, FindClassLocked(u"#32769"));
        desktop->style = WS_VISIBLE;
        state->desktop = desktop.get();
    }
    return *state;
}

std::atomic<uint64_t>& ScreenGenerationCounter() {
    static std::atomic<uint64_t> generation{0};
    return generation;
}

HWND NewHandleLocked() {
    State& state = StateLocked();
    HWND handle = reinterpret_cast<HWND>(state.nextHandle);
    state.nextHandle += 4;
    return handle;
}

Window* FindLocked(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    State& state = StateLocked();
    auto it = state.windows.find(hwnd);
    return it == state.windows.end() ? nullptr : it->second.get();
}

Window* FindOrFailLocked(HWND hwnd) {
    Window* window = FindLocked(hwnd);
    if (!window) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

Window* TopLevelOfLocked(Window* window) {
    Window* desktop = StateLocked().desktop;
    while (window && window->parent && window->parent != desktop) {
        window = window->parent;
    }
    return window;
}

bool IsDescendantLocked(const Window* ancestor, const Window* window) {
    for (; window; window = window->parent) {
        if (window == ancestor) {
            return true;
        }
    }
    return false;
}

bool IsOwnThreadLocked(const Window* window) {
    return window->threadId == GetCurrentThreadId();
}

void RemoveWindowLocked(Window* window) {
    State& state = StateLocked();
    while (!window->children.empty()) {
        RemoveWindowLocked(window->children.front());
    }
    if (window->parent) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    }
    HWND hwnd = window->handle;
    for (Window* top : state.desktop->children) {
        if (top->owner == hwnd) {
            top->owner = nullptr;
        }
    }
    KillWindowTimersLocked(hwnd);
    ForgetWindowLocked(hwnd);
    window->windowClass->windows--;
    state.windows.erase(hwnd);  // the window object goes here
    NotifyWaitersLocked();
}

void RemoveThreadWindowsLocked(DWORD threadId) {
    State& state = StateLocked();
    std::vector<HWND> doomed;
    for (const auto& [handle, window] : state.windows) {
        // The topmost window of the thread in each branch takes its children along.
        if (window->threadId == threadId &&
            !(window->parent && window->parent->threadId == threadId)) {
            doomed.push_back(handle);
        }
    }
    for (HWND handle : doomed) {
        // Gone already when it was the child of another thread's child of one before.
        Window* window = FindLocked(handle);
        if (!window) {
            continue;
        }
        if (IsShownLocked(window)) {
            RECT area = VisibleRectLocked(window, false);
            window->style &= ~WS_VISIBLE;
            ExposeLocked(window->parent, area);
        }
        RemoveWindowLocked(window);
    }
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
    HWND hwnd = nullptr;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        std::shared_ptr<WindowClass> windowClass = FindClassLocked(className);
        if (!windowClass) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        const bool child = style & WS_CHILD;
        Window* parentWindow = state.desktop;
        HWND owner = nullptr;
        if (child) {
            parentWindow = FindLocked(parent);
            if (!parentWindow) {
                SetLastError(ERROR_TLW_WITH_WSCHILD);
                return nullptr;
            }
        } else if (parent) {
            Window* ownerWindow = FindOrFailLocked(parent);
            if (!ownerWindow) {
                return nullptr;
            }
            if (ownerWindow != state.desktop) {
                owner = TopLevelOfLocked(ownerWindow)->handle;
            }
        }
        CurrentQueueLocked();
        auto window = NewWindowLocked(state, windowClass);
        window->threadId = GetCurrentThreadId();
        window->parent = parentWindow;
        window->owner = owner;
        window->style = style & ~WS_VISIBLE;
        window->exStyle = exStyle;
        window->id = child ? reinterpret_cast<LONG_PTR>(menu) : 0;
        window->instance = instance;
        window->rect = InitialRect(child, x, y, width, height);
        if (child) {
            parentWindow->children.push_back(window.get());
        } else {
            InsertTopLevelLocked(state.desktop, window.get(), true);
        }
        hwnd = window->handle;
    }
    RECT rect{};
    {
        Lock lock = TakeLock();
        rect = FindLocked(hwnd)->rect;
    }
    CREATESTRUCTW create{param,
                         instance,
                         menu,
                         parent,
                         rect.bottom - rect.top,
                         rect.right - rect.left,
                         rect.top,
                         rect.left,
                         static_cast<LONG>(style),
                         windowName,
                         className,
                         exStyle};
    LPARAM createParam = reinterpret_cast<LPARAM>(&create);
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, createParam) ||
        SendMessageW(hwnd, WM_CREATE, 0, createParam) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!IsWindow(hwnd)) {
        return nullptr;
    }
    SendSizeAndMove(hwnd);
    if (!(style & WS_CHILD)) {
        PublishProcessWindows();
    }
    if (style & WS_VISIBLE) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned;
    bool isMain = false;
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        Window* window = FindOrFailLocked(hwnd);
        if (!window || window == state.desktop) {
            return Fail(ERROR_INVALID_WINDOW_HANDLE);
        }
        if (!IsOwnThreadLocked(window)) {
            return Fail(ERROR_ACCESS_DENIED);
        }
        if (window->destroying) {
            return TRUE;
        }
        isMain = hwnd == MainWindowLocked();
        window->destroying = true;
        for (Window* top : state.desktop->children) {
            if (top->owner == hwnd && IsOwnThreadLocked(top)) {
                owned.push_back(top->handle);
            }
        }
    }
    if (isMain) {
        CallMainWindowHandler();
    }
    for (HWND ownedWindow : owned) {
        DestroyWindow(ownedWindow);
    }
    LetGo(hwnd);
    HMENU menu = nullptr;
    {
        Lock lock = TakeLock();
        if (Window* window = FindLocked(hwnd)) {
            MarkDestroyingLocked(window);
            menu = window->menu;
            window->menu = nullptr;
        }
    }
    SendDestroy(hwnd);
    FreeWindow(hwnd);
    // A window's menu bar goes with it.
    if (menu) {
        DestroyMenu(menu);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    if (IsRemoteWindow(hwnd)) {
        return RemoteIsWindow(hwnd);
    }
    Lock lock = TakeLock();
    return FindLocked(hwnd) != nullptr;
}

HWND GetDesktopWindow() {
    Lock lock = TakeLock();
    return StateLocked().desktop->handle;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
    HWND local = FindLocalWindow(className, windowName);
    return local ? local : FindRemoteWindow(className, windowName);
}

HWND platform::user::FindLocalWindow(LPCWSTR className, LPCWSTR windowName) {
    Lock lock = TakeLock();
    std::shared_ptr<WindowClass> windowClass;
    if (className) {
        windowClass = FindClassLocked(className);
        if (!windowClass) {
            return nullptr;
        }
    }
    for (Window* window : StateLocked().desktop->children) {
        if (window->destroying || (windowClass && window->windowClass != windowClass)) {
            continue;
        }
        if (windowName && _wcsicmp(window->text.c_str(), windowName) != 0) {
            continue;
        }
        return window->handle;
    }
    return nullptr;
}

HWND GetParent(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !window->parent) {
        return nullptr;
    }
    if (window->style & WS_CHILD) {
        return window->parent->handle;
    }
    return (window->style & WS_POPUP) ? window->owner : nullptr;
}

HWND GetWindow(HWND hwnd, UINT command) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return nullptr;
    }
    if (command == GW_CHILD) {
        return window->children.empty() ? nullptr : window->children.front()->handle;
    }
    if (command == GW_OWNER) {
        return window->owner;
    }
    if (!window->parent) {
        return nullptr;
    }
    const auto& siblings = window->parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), window);
    switch (command) {
        case GW_HWNDFIRST:
            return siblings.front()->handle;
        case GW_HWNDLAST:
            return siblings.back()->handle;
        case GW_HWNDNEXT:
            return it + 1 == siblings.end() ? nullptr : (*(it + 1))->handle;
        case GW_HWNDPREV:
            return it == siblings.begin() ? nullptr : (*(it - 1))->handle;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

BOOL IsChild(HWND parent, HWND hwnd) {
    Lock lock = TakeLock();
    Window* ancestor = FindLocked(parent);
    Window* window = FindLocked(hwnd);
    if (!ancestor || !window || ancestor == window) {
        return FALSE;
    }
    // Only through child links: an owned window is not a child.
    for (Window* w = window; w && (w->style & WS_CHILD); w = w->parent) {
        if (w->parent == ancestor) {
            return TRUE;
        }
    }
    return FALSE;
}

HWND GetDlgItem(HWND dialog, int id) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(dialog);
    if (!window) {
        return nullptr;
    }
    for (Window* child : window->children) {
        if (child->id == id) {
            return child->handle;
        }
    }
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
}

int GetDlgCtrlID(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    return window && (window->style & WS_CHILD) ? static_cast<int>(window->id) : 0;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId) {
    // A window of another process: its owner's id stands for the thread too, which
    // is never one of ours.
    if (DWORD owner = RemoteProcessId(hwnd)) {
        if (processId) {
            *processId = owner;
        }
        return owner;
    }
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return 0;
    }
    if (processId) {
        *processId = GetCurrentProcessId();
    }
    return window->threadId;
}

HWND platform::MainWindow() {
    Lock lock = TakeLock();
    return MainWindowLocked();
}

void platform::SetMainWindowShownHandler(std::function<void(HWND)> handler) {
    MainWindowHandler& holder = TheMainWindowHandler();
    std::lock_guard<std::mutex> guard(holder.lock);
    holder.shown = std::move(handler);
}

void platform::user::CallMainWindowShownHandler(HWND hwnd) {
    std::function<void(HWND)> handler;
    {
        MainWindowHandler& holder = TheMainWindowHandler();
        std::lock_guard<std::mutex> guard(holder.lock);
        handler = holder.shown;
    }
    if (handler && platform::MainWindow() == hwnd) {
        handler(hwnd);
    }
}

void platform::SetMainWindowDestroyHandler(std::function<void()> handler) {
    MainWindowHandler& holder = TheMainWindowHandler();
    std::lock_guard<std::mutex> guard(holder.lock);
    holder.handler = std::move(handler);
}
