// The progress bar: a position within a range, drawn as a filled bar (in blocks
// unless PBS_SMOOTH). Every position it takes is clamped to the range.
#include <algorithm>
#include <cstdint>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

struct Progress : ControlState {
    int low = 0;
    int high = 100;
    int position = 0;
    int step = 10;
    COLORREF barColor = CLR_DEFAULT;
    COLORREF backColor = CLR_DEFAULT;
};

int Clamp(const Progress* bar, int64_t value) {
    if (bar->high <= bar->low) {
        return bar->low;
    }
    return static_cast<int>(std::clamp<int64_t>(value, bar->low, bar->high));
}

// Returns the previous position.
LRESULT SetPosition(Progress* bar, HWND hwnd, int64_t value) {
    int previous = bar->position;
    bar->position = Clamp(bar, value);
    if (bar->position != previous) {
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return previous;
}

LRESULT SetRange(Progress* bar, HWND hwnd, int low, int high) {
    LRESULT previous = MAKELRESULT(static_cast<WORD>(bar->low), static_cast<WORD>(bar->high));
    bar->low = low;
    bar->high = high;
    bar->position = Clamp(bar, bar->position);
    InvalidateRect(hwnd, nullptr, FALSE);
    return previous;
}

// Stepping past either end starts over from the other end.
LRESULT StepIt(Progress* bar, HWND hwnd) {
    int previous = bar->position;
    int64_t next = static_cast<int64_t>(bar->position) + bar->step;
    if (next > bar->high) {
        next = bar->low;
    } else if (next < bar->low) {
        next = bar->high;
    }
    SetPosition(bar, hwnd, next);
    return previous;
}

void Paint(Progress* bar, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    if (bar->backColor == CLR_DEFAULT) {
        FillSystem(dc, client, COLOR_BTNFACE);
    } else {
        FillColor(dc, client, bar->backColor);
    }
    Outline(dc, client, GetSysColor(COLOR_BTNSHADOW));
    RECT inner = client;
    InflateRect(&inner, -1, -1);
    bool vertical = StyleOf(hwnd) & PBS_VERTICAL;
    int64_t span = static_cast<int64_t>(bar->high) - bar->low;
    int length = vertical ? inner.bottom - inner.top : inner.right - inner.left;
    int filled =
        span > 0
            ? static_cast<int>(length * (static_cast<int64_t>(bar->position) - bar->low) / span)
            : 0;
    COLORREF color = bar->barColor == CLR_DEFAULT ? GetSysColor(COLOR_HIGHLIGHT) : bar->barColor;
    bool smooth = StyleOf(hwnd) & PBS_SMOOTH;
    int breadth = vertical ? inner.right - inner.left : inner.bottom - inner.top;
    int block = smooth ? length : std::max(2, breadth * 2 / 3);
    int gap = smooth ? 0 : std::max(1, Scale(2));
    for (int offset = 0; offset < filled; offset += block + gap) {
        int end = std::min(filled, offset + block);
        RECT part = vertical
                        ? RECT{inner.left, inner.bottom - end, inner.right, inner.bottom - offset}
                        : RECT{inner.left + offset, inner.top, inner.left + end, inner.bottom};
        FillColor(dc, part, color);
    }
}

LRESULT HandleProgress(Progress* bar, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(bar, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case PBM_SETRANGE:
            return SetRange(bar, hwnd, LOWORD(lParam), HIWORD(lParam));
        case PBM_SETRANGE32:
            return SetRange(bar, hwnd, static_cast<int>(wParam), static_cast<int>(lParam));
        case PBM_GETRANGE:
            if (lParam) {
                auto* range = reinterpret_cast<PBRANGE*>(lParam);
                range->iLow = bar->low;
                range->iHigh = bar->high;
            }
            return wParam ? bar->low : bar->high;
        case PBM_SETPOS:
            return SetPosition(bar, hwnd, static_cast<int>(wParam));
        case PBM_DELTAPOS:
            return SetPosition(bar, hwnd,
                               static_cast<int64_t>(bar->position) + static_cast<int>(wParam));
        case PBM_SETSTEP: {
            int previous = bar->step;
            bar->step = static_cast<int>(wParam);
            return previous;
        }
        case PBM_STEPIT:
            return StepIt(bar, hwnd);
        case PBM_GETPOS:
            return bar->position;
        case PBM_SETBARCOLOR:
        case PBM_SETBKCOLOR: {
            COLORREF& slot = message == PBM_SETBARCOLOR ? bar->barColor : bar->backColor;
            COLORREF previous = slot;
            slot = static_cast<COLORREF>(lParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return static_cast<LRESULT>(previous);
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW ProgressClass() {
    return ClassEntry(CS_PARENTDC, ControlProc<Progress, HandleProgress>, u"msctls_progress32");
}

}  // namespace platform::user
