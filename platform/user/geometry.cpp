// Window positions and sizes, showing and hiding, coordinates, hit-testing and the
// rectangle helpers.
#include <algorithm>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

constexpr int kCaptionHeightAt96Dpi = 24;
constexpr int kScrollBarWidthAt96Dpi = 13;
constexpr int kMenuBarHeightAt96Dpi = 20;

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return Empty(r) ? RECT{} : r;
}

RECT Offset(RECT r, LONG dx, LONG dy) {
    return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
}

RECT Deflate(const RECT& r, const RECT& insets) {
    RECT out{r.left + insets.left, r.top + insets.top, r.right - insets.right,
             r.bottom - insets.bottom};
    out.right = std::max(out.right, out.left);
    out.bottom = std::max(out.bottom, out.top);
    return out;
}

Window* DescendLocked(Window* window, POINT point) {
    RECT client = ClientRectOnScreenLocked(window);
    if (!PtInRect(&client, point)) {
        return window;
    }
    for (Window* child : window->children) {
        if ((child->style & WS_VISIBLE) && !(child->style & WS_DISABLED)) {
            RECT r = WindowRectOnScreenLocked(child);
            if (PtInRect(&r, point)) {
                return DescendLocked(child, point);
            }
        }
    }
    return window;
}

// Moves a window in its parent's z-order. Returns whether it moved.
bool ReorderLocked(Window* window, HWND insertAfter) {
    auto& siblings = window->parent->children;
    const bool topLevel = window->parent == StateLocked().desktop;
    if (insertAfter == HWND_TOPMOST && topLevel) {
        window->exStyle |= WS_EX_TOPMOST;
        insertAfter = HWND_TOP;
    } else if (insertAfter == HWND_NOTOPMOST && topLevel) {
        window->exStyle &= ~WS_EX_TOPMOST;
        insertAfter = HWND_TOP;
    }
    std::vector<Window*> before = siblings;
    siblings.erase(std::find(siblings.begin(), siblings.end(), window));
    auto topmostEnd = std::find_if(siblings.begin(), siblings.end(), [&](Window* w) {
        return !topLevel || !(w->exStyle & WS_EX_TOPMOST);
    });
    bool topmost = topLevel && (window->exStyle & WS_EX_TOPMOST);
    auto position = siblings.end();
    if (insertAfter == HWND_TOP) {
        position = topmost ? siblings.begin() : topmostEnd;
    } else if (insertAfter == HWND_BOTTOM) {
        position = topmost ? topmostEnd : siblings.end();
    } else {
        auto after = std::find_if(siblings.begin(), siblings.end(),
                                  [&](Window* w) { return w->handle == insertAfter; });
        position = after == siblings.end() ? (topmost ? siblings.begin() : topmostEnd) : after + 1;
        // A plain window never goes above a topmost one, nor the reverse.
        if (topLevel) {
            position = topmost ? std::min(position, topmostEnd) : std::max(position, topmostEnd);
        }
    }
    siblings.insert(position, window);
    return siblings != before;
}

void InvalidateWholeLocked(Window* window) {
    InvalidateClientLocked(window, nullptr, true);
    RECT insets = WindowInsetsLocked(window);
    if (insets.left || insets.top || insets.right || insets.bottom) {
        window->frameDirty = true;
        window->invalidations++;
        NotifyWaitersLocked();
    }
}

}  // namespace

RECT FrameInsets(DWORD style, DWORD exStyle) {
    LONG edge = (style & (WS_BORDER | WS_DLGFRAME)) ? 1 : 0;
    if (exStyle & WS_EX_CLIENTEDGE) {
        edge += 2;
    }
    RECT insets{edge, edge, edge, edge};
    if ((style & WS_CAPTION) == WS_CAPTION) {
        insets.top += GetSystemMetrics(SM_CYCAPTION);
    }
    return insets;
}

RECT WindowInsetsLocked(const Window* window) {
    RECT insets = FrameInsets(window->style, window->exStyle);
    insets.top += MenuBarHeightLocked(window);
    if (HasFrameScrollBarLocked(window)) {
        insets.right += GetSystemMetrics(SM_CXVSCROLL);
    }
    return insets;
}

RECT WindowRectOnScreenLocked(const Window* window) {
    if (!window->parent) {
        return RECT{0, 0, ScreenWidth(), ScreenHeight()};
    }
    POINT origin = ClientOriginLocked(window->parent);
    return Offset(window->rect, origin.x, origin.y);
}

RECT ClientRectOnScreenLocked(const Window* window) {
    return Deflate(WindowRectOnScreenLocked(window), WindowInsetsLocked(window));
}

POINT ClientOriginLocked(const Window* window) {
    RECT r = ClientRectOnScreenLocked(window);
    return POINT{r.left, r.top};
}

bool IsShownLocked(const Window* window) {
    for (; window && window->parent; window = window->parent) {
        if (!(window->style & WS_VISIBLE)) {
            return false;
        }
    }
    return true;
}

RECT VisibleRectLocked(const Window* window, bool clientOnly) {
    if (!IsShownLocked(window)) {
        return RECT{};
    }
    RECT r = clientOnly ? ClientRectOnScreenLocked(window) : WindowRectOnScreenLocked(window);
    for (const Window* p = window->parent; p; p = p->parent) {
        r = Intersect(r, ClientRectOnScreenLocked(p));
    }
    return r;
}

Window* HitTestLocked(POINT point) {
    for (Window* top : StateLocked().desktop->children) {
        if (!(top->style & WS_VISIBLE)) {
            continue;
        }
        RECT r = WindowRectOnScreenLocked(top);
        if (PtInRect(&r, point)) {
            return (top->style & WS_DISABLED) ? nullptr : DescendLocked(top, point);
        }
    }
    return nullptr;
}

LRESULT SendSizeAndMove(HWND hwnd) {
    LPARAM size = 0;
    LPARAM position = 0;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window) {
            return 0;
        }
        RECT client = ClientRectOnScreenLocked(window);
        POINT parentOrigin = ClientOriginLocked(window->parent);
        size = MAKELPARAM(client.right - client.left, client.bottom - client.top);
        position = MAKELPARAM(client.left - parentOrigin.x, client.top - parentOrigin.y);
    }
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, size);
    return SendMessageW(hwnd, WM_MOVE, 0, position);
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

BOOL ShowWindow(HWND hwnd, int command) {
    const bool show = command != SW_HIDE && command != SW_MINIMIZE;
    bool wasVisible = false;
    bool topLevel = false;
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window || window == StateLocked().desktop) {
            return FALSE;
        }
        wasVisible = window->style & WS_VISIBLE;
        topLevel = !(window->style & WS_CHILD);
    }
    const bool activate = show && topLevel && command != SW_SHOWNA && command != SW_SHOWNOACTIVATE;
    if (show != wasVisible) {
        SendMessageW(hwnd, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
        UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                     (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
        SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, flags);
    }
    if (activate && GetActiveWindow() != hwnd) {
        SetActiveWindow(hwnd);
    }
    if (show && !wasVisible && topLevel) {
        CallMainWindowShownHandler(hwnd);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
    bool moved = false;
    bool sized = false;
    bool hidden = false;
    bool shownNow = false;
    bool topLevel = false;
    bool loseFocus = false;
    HWND nextActive = nullptr;
    bool wasActive = false;
    RECT fill{};
    {
        Lock lock = TakeLock();
        State& state = StateLocked();
        Window* window = FindOrFailLocked(hwnd);
        if (!window || window == state.desktop) {
            return FALSE;
        }
        topLevel = !(window->style & WS_CHILD);
        const bool wasShown = IsShownLocked(window);
        const RECT oldArea = VisibleRectLocked(window, false);
        RECT rect = window->rect;
        if (!(flags & SWP_NOMOVE)) {
            rect = Offset(rect, x - rect.left, y - rect.top);
        }
        if (!(flags & SWP_NOSIZE)) {
            rect.right = rect.left + std::max(width, 0);
            rect.bottom = rect.top + std::max(height, 0);
        }
        moved = rect.left != window->rect.left || rect.top != window->rect.top;
        sized = (rect.right - rect.left) != (window->rect.right - window->rect.left) ||
                (rect.bottom - rect.top) != (window->rect.bottom - window->rect.top);
        window->rect = rect;
        bool reordered = !(flags & SWP_NOZORDER) && ReorderLocked(window, insertAfter);
        if ((flags & SWP_SHOWWINDOW) && !(window->style & WS_VISIBLE)) {
            window->style |= WS_VISIBLE;
        } else if ((flags & SWP_HIDEWINDOW) && (window->style & WS_VISIBLE)) {
            window->style &= ~WS_VISIBLE;
            hidden = true;
        }
        const bool shown = IsShownLocked(window);
        shownNow = shown && !wasShown;
        if (flags & SWP_FRAMECHANGED) {
            window->frameDirty = true;
        }
        if (!(flags & SWP_NOREDRAW)) {
            if (wasShown && (moved || sized || hidden)) {
                fill = ExposeLocked(window->parent, oldArea);
            }
            if (shown && (moved || sized || reordered || shownNow || (flags & SWP_FRAMECHANGED))) {
                InvalidateWholeLocked(window);
            }
        }
        if (hidden) {
            Window* focus = FindLocked(state.focus);
            loseFocus = focus && IsDescendantLocked(window, focus);
            wasActive = state.active == hwnd;
            if (wasActive) {
                nextActive = NextActiveCandidateLocked(window);
            }
        }
        NotifyWaitersLocked();
    }
    FillDesktop(fill);
    if (moved || sized) {
        SendSizeAndMove(hwnd);
    }
    if (loseFocus) {
        SetFocus(nullptr);
    }
    if (wasActive) {
        SetActiveWindow(nextActive);
    }
    if (topLevel && !(flags & SWP_NOACTIVATE) && !hidden && IsWindowVisible(hwnd)) {
        SetActiveWindow(hwnd);
    }
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height,
                        SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !rect) {
        return FALSE;
    }
    RECT client = ClientRectOnScreenLocked(window);
    *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !rect) {
        return FALSE;
    }
    *rect = WindowRectOnScreenLocked(window);
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT point) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !point) {
        return FALSE;
    }
    POINT origin = ClientOriginLocked(window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT point) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !point) {
        return FALSE;
    }
    POINT origin = ClientOriginLocked(window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count) {
    Lock lock = TakeLock();
    POINT fromOrigin{};
    POINT toOrigin{};
    if (from) {
        Window* window = FindOrFailLocked(from);
        if (!window) {
            return 0;
        }
        fromOrigin = ClientOriginLocked(window);
    }
    if (to) {
        Window* window = FindOrFailLocked(to);
        if (!window) {
            return 0;
        }
        toOrigin = ClientOriginLocked(window);
    }
    LONG dx = fromOrigin.x - toOrigin.x;
    LONG dy = fromOrigin.y - toOrigin.y;
    for (UINT i = 0; points && i < count; ++i) {
        points[i].x += dx;
        points[i].y += dy;
    }
    SetLastError(ERROR_SUCCESS);
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

HWND WindowFromPoint(POINT point) {
    Lock lock = TakeLock();
    Window* window = HitTestLocked(point);
    return window ? window->handle : nullptr;
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return ScreenWidth();
        case SM_CYSCREEN:
            return ScreenHeight();
        case SM_CYCAPTION:
            return kCaptionHeightAt96Dpi * ScreenDpi() / 96;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        case SM_CXDOUBLECLK:
        case SM_CYDOUBLECLK:
            return 4 * ScreenDpi() / 96;
        case SM_CYMENU:
            return kMenuBarHeightAt96Dpi * ScreenDpi() / 96;
        case SM_CXVSCROLL:
        case SM_CYVSCROLL:
            return kScrollBarWidthAt96Dpi * ScreenDpi() / 96;
        default:
            return 0;
    }
}

UINT GetDoubleClickTime() {
    return 500;
}

// --- Rectangles ---------------------------------------------------------------

BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (!rect) {
        return FALSE;
    }
    *rect = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL SetRectEmpty(LPRECT rect) {
    return SetRect(rect, 0, 0, 0, 0);
}

BOOL CopyRect(LPRECT destination, const RECT* source) {
    if (!destination || !source) {
        return FALSE;
    }
    *destination = *source;
    return TRUE;
}

BOOL IsRectEmpty(const RECT* rect) {
    return !rect || Empty(*rect);
}

BOOL EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}

BOOL PtInRect(const RECT* rect, POINT point) {
    return rect && point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
           point.y < rect->bottom;
}

BOOL OffsetRect(LPRECT rect, int dx, int dy) {
    if (!rect) {
        return FALSE;
    }
    *rect = Offset(*rect, dx, dy);
    return TRUE;
}

BOOL InflateRect(LPRECT rect, int dx, int dy) {
    if (!rect) {
        return FALSE;
    }
    *rect = RECT{rect->left - dx, rect->top - dy, rect->right + dx, rect->bottom + dy};
    return TRUE;
}

BOOL IntersectRect(LPRECT result, const RECT* a, const RECT* b) {
    if (!result || !a || !b) {
        return FALSE;
    }
    *result = Intersect(*a, *b);
    return !Empty(*result);
}

BOOL UnionRect(LPRECT result, const RECT* a, const RECT* b) {
    if (!result || !a || !b) {
        return FALSE;
    }
    if (Empty(*a)) {
        *result = Empty(*b) ? RECT{} : *b;
    } else if (Empty(*b)) {
        *result = *a;
    } else {
        *result = RECT{std::min(a->left, b->left), std::min(a->top, b->top),
                       std::max(a->right, b->right), std::max(a->bottom, b->bottom)};
    }
    return !Empty(*result);
}
