// Window scroll bars: the values of a window's vertical bar, the bar drawn in its
// frame, and the pointer on it, which DefWindowProcW turns into WM_VSCROLL.
#include <algorithm>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

// The bar laid out in window coordinates; the thumb follows a drag.
ClientScrollBar LayOutLocked(const Window* window) {
    const RECT whole = WindowRectOnScreenLocked(window);
    const RECT frame = FrameInsets(window->style, window->exStyle);
    const RECT area{0, frame.top + MenuBarHeightLocked(window),
                    whole.right - whole.left - frame.right,
                    whole.bottom - whole.top - frame.bottom};
    const FrameScrollBar& values = window->vscroll;
    const int shown = values.pressed == ScrollPart::Thumb ? values.trackPos : values.pos;
    ClientScrollBar bar;
    bar.Layout(area, values.max - values.min + 1, static_cast<int>(values.page), shown - values.min,
               true);
    return bar;
}

POINT InWindowLocked(const Window* window, LPARAM screenPoint) {
    const RECT whole = WindowRectOnScreenLocked(window);
    return POINT{GET_X_LPARAM(screenPoint) - whole.left, GET_Y_LPARAM(screenPoint) - whole.top};
}

// The highest position: the last page starts there.
int MaxPosition(const FrameScrollBar& values) {
    return std::max(values.min, values.max - std::max(static_cast<int>(values.page) - 1, 0));
}

void Clamp(FrameScrollBar& values) {
    const long long span = static_cast<long long>(values.max) - values.min + 1;
    values.page = static_cast<UINT>(std::min<long long>(values.page, span));
    values.pos = std::clamp(values.pos, values.min, MaxPosition(values));
}

void RedrawLocked(Window* window) {
    if (HasFrameScrollBarLocked(window)) {
        window->frameDirty = true;
        window->invalidations++;
        NotifyWaitersLocked();
    }
}

// The window's vertical bar; null (with the error set) for another bar or window.
Window* VerticalBarLocked(HWND hwnd, int bar) {
    Window* window = FindOrFailLocked(hwnd);
    if (window && bar != SB_VERT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return window;
}

UINT CodeOf(ScrollPart part) {
    switch (part) {
        case ScrollPart::LineUp:
            return SB_LINEUP;
        case ScrollPart::LineDown:
            return SB_LINEDOWN;
        case ScrollPart::PageUp:
            return SB_PAGEUP;
        case ScrollPart::PageDown:
            return SB_PAGEDOWN;
        default:
            return SB_ENDSCROLL;
    }
}

}  // namespace

bool HasFrameScrollBarLocked(const Window* window) {
    return (window->style & WS_VSCROLL) && window->parent && !window->windowClass->builtIn;
}

bool OnFrameScrollBarLocked(const Window* window, POINT screenPoint) {
    if (!HasFrameScrollBarLocked(window)) {
        return false;
    }
    const ClientScrollBar bar = LayOutLocked(window);
    return PtInRect(&bar.Bar(), InWindowLocked(window, MAKELPARAM(screenPoint.x, screenPoint.y)));
}

void DrawFrameScrollBar(HWND hwnd, HDC windowDC) {
    ClientScrollBar bar;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window || !HasFrameScrollBarLocked(window)) {
            return;
        }
        bar = LayOutLocked(window);
    }
    bar.Draw(windowDC);
}

LRESULT FrameScrollBarInput(HWND hwnd, UINT message, LPARAM screenPoint) {
    UINT code = SB_ENDSCROLL;
    int trackPos = 0;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window || !HasFrameScrollBarLocked(window)) {
            return 0;
        }
        FrameScrollBar& values = window->vscroll;
        const POINT point = InWindowLocked(window, screenPoint);
        switch (message) {
            case WM_NCLBUTTONDOWN: {
                const ClientScrollBar bar = LayOutLocked(window);
                values.pressed = bar.PartAt(point);
                if (values.pressed == ScrollPart::None) {
                    return 0;
                }
                StateLocked().scrollTracking = hwnd;
                if (values.pressed == ScrollPart::Thumb) {
                    values.trackPos = values.pos;
                    values.grab = point.y - bar.Thumb().top;
                    return 0;
                }
                code = CodeOf(values.pressed);
                break;
            }
            case WM_NCMOUSEMOVE: {
                if (values.pressed != ScrollPart::Thumb) {
                    return 0;
                }
                const ClientScrollBar bar = LayOutLocked(window);
                const int next = values.min + bar.TopForThumbAt(point.y - values.grab);
                if (next == values.trackPos) {
                    return 0;
                }
                values.trackPos = next;
                RedrawLocked(window);
                code = SB_THUMBTRACK;
                trackPos = next;
                break;
            }
            default: {  // WM_NCLBUTTONUP
                if (StateLocked().scrollTracking == hwnd) {
                    StateLocked().scrollTracking = nullptr;
                }
                if (values.pressed == ScrollPart::None) {
                    return 0;
                }
                code = values.pressed == ScrollPart::Thumb ? SB_THUMBPOSITION : SB_ENDSCROLL;
                trackPos = values.trackPos;
                break;
            }
        }
    }
    SendMessageW(hwnd, WM_VSCROLL, MAKEWPARAM(code, static_cast<WORD>(trackPos)), 0);
    if (message == WM_NCLBUTTONUP) {
        {
            // The tracking position stays readable while SB_THUMBPOSITION is handled.
            Lock lock = TakeLock();
            if (Window* window = FindLocked(hwnd)) {
                window->vscroll.pressed = ScrollPart::None;
                RedrawLocked(window);
            }
        }
        if (code == SB_THUMBPOSITION) {
            SendMessageW(hwnd, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
        }
    }
    return 0;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw) {
    Lock lock = TakeLock();
    Window* window = VerticalBarLocked(hwnd, bar);
    if (!window || !info) {
        return 0;
    }
    FrameScrollBar& values = window->vscroll;
    if (info->fMask & SIF_RANGE) {
        values.min = info->nMin;
        values.max = std::max(info->nMin, info->nMax);
    }
    if (info->fMask & SIF_PAGE) {
        values.page = info->nPage;
    }
    if (info->fMask & SIF_POS) {
        values.pos = info->nPos;
    }
    Clamp(values);
    if (redraw) {
        RedrawLocked(window);
    }
    return values.pos;
}

BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info) {
    Lock lock = TakeLock();
    Window* window = VerticalBarLocked(hwnd, bar);
    if (!window || !info) {
        return FALSE;
    }
    const FrameScrollBar& values = window->vscroll;
    if (info->fMask & SIF_RANGE) {
        info->nMin = values.min;
        info->nMax = values.max;
    }
    if (info->fMask & SIF_PAGE) {
        info->nPage = values.page;
    }
    if (info->fMask & SIF_POS) {
        info->nPos = values.pos;
    }
    if (info->fMask & SIF_TRACKPOS) {
        info->nTrackPos = values.pressed == ScrollPart::Thumb ? values.trackPos : values.pos;
    }
    return TRUE;
}

int SetScrollPos(HWND hwnd, int bar, int position, BOOL redraw) {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    const int previous = GetScrollPos(hwnd, bar);
    info.nPos = position;
    SetScrollInfo(hwnd, bar, &info, redraw);
    return previous;
}

int GetScrollPos(HWND hwnd, int bar) {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 0, 0};
    return GetScrollInfo(hwnd, bar, &info) ? info.nPos : 0;
}

BOOL SetScrollRange(HWND hwnd, int bar, int minimum, int maximum, BOOL redraw) {
    SCROLLINFO info{sizeof info, SIF_RANGE, minimum, maximum, 0, 0, 0};
    Lock lock = TakeLock();
    if (!VerticalBarLocked(hwnd, bar)) {
        return FALSE;
    }
    lock.unlock();
    SetScrollInfo(hwnd, bar, &info, redraw);
    return TRUE;
}

BOOL GetScrollRange(HWND hwnd, int bar, int* minimum, int* maximum) {
    SCROLLINFO info{sizeof info, SIF_RANGE, 0, 0, 0, 0, 0};
    if (!minimum || !maximum || !GetScrollInfo(hwnd, bar, &info)) {
        return FALSE;
    }
    *minimum = info.nMin;
    *maximum = info.nMax;
    return TRUE;
}
