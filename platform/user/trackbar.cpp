// The trackbar: a thumb on a channel between a minimum and a maximum. Dragging the
// thumb, pressing the channel beside it or the arrow keys move it and tell the
// parent with WM_HSCROLL (WM_VSCROLL when TBS_VERT); positions set by the program
// are clamped to the range and not reported.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

struct Trackbar : ControlState {
    int low = 0;
    int high = 100;
    int position = 0;
    int lineSize = 1;
    int pageSize = -1;  // -1: a fifth of the range
    int ticFrequency = 1;
    bool dragging = false;
    bool paging = false;  // a press on the channel, waiting for its release
    int grab = 0;         // where in the thumb the drag took it
    bool focused = false;
    bool keyMoved = false;
    HWND buddyLeft = nullptr;
    HWND buddyRight = nullptr;
};

bool Vertical(HWND hwnd) {
    return StyleOf(hwnd) & TBS_VERT;
}

int Clamp(const Trackbar* bar, int64_t value) {
    if (value > bar->high) {
        value = bar->high;
    }
    if (value < bar->low) {
        value = bar->low;
    }
    return static_cast<int>(value);
}

int PageSize(const Trackbar* bar) {
    if (bar->pageSize >= 0) {
        return bar->pageSize;
    }
    return std::max(1, static_cast<int>((static_cast<int64_t>(bar->high) - bar->low) / 5));
}

int ThumbLength() {
    return Scale(11);
}

// The channel's extent along the bar (first and last thumb centre), and its middle
// across the bar.
struct Geometry {
    int first;
    int last;
    int across;
    int breadth;  // the thumb's size across the bar
};

Geometry GeometryOf(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    bool vertical = Vertical(hwnd);
    int along = vertical ? client.bottom : client.right;
    int across = vertical ? client.right : client.bottom;
    DWORD style = StyleOf(hwnd);
    int tickRoom = (style & TBS_NOTICKS) ? 0 : Scale(4);
    int sides = (style & TBS_BOTH) ? 2 : 1;
    int breadth = std::clamp(across - sides * tickRoom - Scale(4), Scale(6), Scale(21));
    int middle = across / 2;
    if (!(style & (TBS_BOTH | TBS_NOTICKS))) {
        // Ticks on one side: the thumb moves to the other.
        middle += (style & TBS_TOP) ? tickRoom / 2 : -tickRoom / 2;
    }
    int half = ThumbLength() / 2 + Scale(4);
    return Geometry{half, std::max(half, along - half - 1), middle, breadth};
}

int CoordinateOf(const Trackbar* bar, const Geometry& g, int position) {
    int64_t span = static_cast<int64_t>(bar->high) - bar->low;
    if (span <= 0) {
        return g.first;
    }
    return g.first + static_cast<int>((g.last - g.first) *
                                      (static_cast<int64_t>(position) - bar->low) / span);
}

int PositionAt(const Trackbar* bar, const Geometry& g, int coordinate) {
    int64_t span = static_cast<int64_t>(bar->high) - bar->low;
    int room = g.last - g.first;
    if (span <= 0 || room <= 0) {
        return bar->low;
    }
    int64_t offset = std::clamp(coordinate - g.first, 0, room);
    return Clamp(bar, bar->low + (offset * span + room / 2) / room);
}

RECT ThumbRect(const Trackbar* bar, HWND hwnd) {
    Geometry g = GeometryOf(hwnd);
    int c = CoordinateOf(bar, g, bar->position);
    int half = ThumbLength() / 2;
    int a0 = g.across - g.breadth / 2;
    if (Vertical(hwnd)) {
        return RECT{a0, c - half, a0 + g.breadth, c - half + ThumbLength()};
    }
    return RECT{c - half, a0, c - half + ThumbLength(), a0 + g.breadth};
}

RECT ChannelRect(HWND hwnd) {
    Geometry g = GeometryOf(hwnd);
    int half = Scale(2);
    if (Vertical(hwnd)) {
        return RECT{g.across - half, g.first - 1, g.across + half, g.last + 2};
    }
    return RECT{g.first - 1, g.across - half, g.last + 2, g.across + half};
}

void Tell(HWND hwnd, int code, int position) {
    HWND parent = GetParent(hwnd);
    if (!parent) {
        return;
    }
    bool withPosition = code == TB_THUMBTRACK || code == TB_THUMBPOSITION;
    SendMessageW(parent, Vertical(hwnd) ? WM_VSCROLL : WM_HSCROLL,
                 MAKEWPARAM(code, withPosition ? static_cast<WORD>(position) : 0),
                 reinterpret_cast<LPARAM>(hwnd));
}

bool Move(Trackbar* bar, HWND hwnd, int64_t position) {
    int next = Clamp(bar, position);
    if (next == bar->position) {
        return false;
    }
    bar->position = next;
    InvalidateRect(hwnd, nullptr, FALSE);
    return true;
}

// The buddies sit at either end of the bar.
void PlaceBuddy(HWND hwnd, HWND buddy, bool leading) {
    HWND parent = GetParent(hwnd);
    if (!buddy || !parent || GetParent(buddy) != parent) {
        return;
    }
    RECT bar{};
    RECT box{};
    GetWindowRect(hwnd, &bar);
    GetWindowRect(buddy, &box);
    POINT corner{bar.left, bar.top};
    ScreenToClient(parent, &corner);
    int width = bar.right - bar.left;
    int height = bar.bottom - bar.top;
    int buddyWidth = box.right - box.left;
    int buddyHeight = box.bottom - box.top;
    int x = 0;
    int y = 0;
    if (Vertical(hwnd)) {
        x = corner.x + (width - buddyWidth) / 2;
        y = leading ? corner.y - buddyHeight : corner.y + height;
    } else {
        x = leading ? corner.x - buddyWidth : corner.x + width;
        y = corner.y + (height - buddyHeight) / 2;
    }
    SetWindowPos(buddy, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Paint(Trackbar* bar, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    HBRUSH brush = ControlColors(hwnd, WM_CTLCOLORSTATIC, dc);
    FillRect(dc, &client, brush);
    bool enabled = IsWindowEnabled(hwnd);
    COLORREF frame = GetSysColor(enabled ? COLOR_WINDOWFRAME : COLOR_GRAYTEXT);
    RECT channel = ChannelRect(hwnd);
    FillSystem(dc, channel, COLOR_WINDOW);
    Outline(dc, channel, GetSysColor(COLOR_BTNSHADOW));
    DWORD style = StyleOf(hwnd);
    Geometry g = GeometryOf(hwnd);
    bool vertical = Vertical(hwnd);
    if (!(style & TBS_NOTICKS)) {
        int64_t span = static_cast<int64_t>(bar->high) - bar->low;
        std::vector<int> ticks{bar->low, bar->high};
        if ((style & TBS_AUTOTICKS) && bar->ticFrequency > 0 && span > 0 &&
            span / bar->ticFrequency <= (g.last - g.first)) {
            for (int64_t t = static_cast<int64_t>(bar->low) + bar->ticFrequency; t < bar->high;
                 t += bar->ticFrequency) {
                ticks.push_back(static_cast<int>(t));
            }
        }
        bool before = (style & TBS_TOP) || (style & TBS_BOTH);
        bool after = !(style & TBS_TOP) || (style & TBS_BOTH);
        int length = Scale(3);
        for (int tick : ticks) {
            int c = CoordinateOf(bar, g, tick);
            for (int side = 0; side < 2; ++side) {
                if ((side == 0 && !before) || (side == 1 && !after)) {
                    continue;
                }
                int start = side == 0 ? g.across - g.breadth / 2 - Scale(1) - length
                                      : g.across + (g.breadth + 1) / 2 + Scale(1);
                RECT mark = vertical ? RECT{start, c, start + length, c + 1}
                                     : RECT{c, start, c + 1, start + length};
                FillColor(dc, mark, frame);
            }
        }
    }
    if (!(style & TBS_NOTHUMB)) {
        RECT thumb = ThumbRect(bar, hwnd);
        FillSystem(dc, thumb, bar->dragging ? COLOR_BTNSHADOW : COLOR_BTNFACE);
        Outline(dc, thumb, frame);
    }
    if (bar->focused) {
        DrawFocus(dc, client, GetSysColor(COLOR_WINDOWFRAME));
    }
}

void PointerDown(Trackbar* bar, HWND hwnd, LPARAM lParam) {
    if (!TakeFocus(hwnd)) {
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT thumb = ThumbRect(bar, hwnd);
    bool vertical = Vertical(hwnd);
    int along = vertical ? point.y : point.x;
    SetCapture(hwnd);
    if (PtInRect(&thumb, point) && !(StyleOf(hwnd) & TBS_NOTHUMB)) {
        bar->dragging = true;
        int centre = vertical ? (thumb.top + thumb.bottom) / 2 : (thumb.left + thumb.right) / 2;
        bar->grab = along - centre;
        InvalidateRect(hwnd, nullptr, FALSE);
        return;
    }
    bar->paging = true;
    int centre = CoordinateOf(bar, GeometryOf(hwnd), bar->position);
    bool up = along < centre;
    if (Move(bar, hwnd,
             static_cast<int64_t>(bar->position) + (up ? -PageSize(bar) : PageSize(bar)))) {
        Tell(hwnd, up ? TB_PAGEUP : TB_PAGEDOWN, bar->position);
    }
}

void PointerMove(Trackbar* bar, HWND hwnd, LPARAM lParam) {
    if (!bar->dragging) {
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    int along = (Vertical(hwnd) ? point.y : point.x) - bar->grab;
    if (Move(bar, hwnd, PositionAt(bar, GeometryOf(hwnd), along))) {
        Tell(hwnd, TB_THUMBTRACK, bar->position);
    }
}

void PointerUp(Trackbar* bar, HWND hwnd) {
    bool dragged = bar->dragging;
    bool paged = bar->paging;
    bar->dragging = false;
    bar->paging = false;
    if (!dragged && !paged) {
        return;
    }
    ReleaseCapture();
    InvalidateRect(hwnd, nullptr, FALSE);
    if (dragged) {
        Tell(hwnd, TB_THUMBPOSITION, bar->position);
    }
    if (IsWindow(hwnd)) {
        Tell(hwnd, TB_ENDTRACK, bar->position);
    }
}

void KeyDown(Trackbar* bar, HWND hwnd, WPARAM key) {
    int code = -1;
    int64_t next = bar->position;
    switch (key) {
        case VK_LEFT:
        case VK_UP:
            code = TB_LINEUP;
            next -= bar->lineSize;
            break;
        case VK_RIGHT:
        case VK_DOWN:
            code = TB_LINEDOWN;
            next += bar->lineSize;
            break;
        case VK_PRIOR:
            code = TB_PAGEUP;
            next -= PageSize(bar);
            break;
        case VK_NEXT:
            code = TB_PAGEDOWN;
            next += PageSize(bar);
            break;
        case VK_HOME:
            code = TB_TOP;
            next = bar->low;
            break;
        case VK_END:
            code = TB_BOTTOM;
            next = bar->high;
            break;
        default:
            return;
    }
    bar->keyMoved = true;
    if (Move(bar, hwnd, next)) {
        Tell(hwnd, code, bar->position);
    }
}

LRESULT TrackbarMessage(Trackbar* bar, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto redraw = [&](bool yes) {
        bar->position = Clamp(bar, bar->position);
        if (yes) {
            InvalidateRect(hwnd, nullptr, FALSE);
        }
    };
    switch (message) {
        case TBM_GETPOS:
            return bar->position;
        case TBM_GETRANGEMIN:
            return bar->low;
        case TBM_GETRANGEMAX:
            return bar->high;
        case TBM_SETPOS:
            bar->position = Clamp(bar, static_cast<int>(lParam));
            redraw(wParam != 0);
            return 0;
        case TBM_SETRANGE:
            bar->low = LOWORD(lParam);
            bar->high = HIWORD(lParam);
            redraw(wParam != 0);
            return 0;
        case TBM_SETRANGEMIN:
            bar->low = static_cast<int>(lParam);
            redraw(wParam != 0);
            return 0;
        case TBM_SETRANGEMAX:
            bar->high = static_cast<int>(lParam);
            redraw(wParam != 0);
            return 0;
        case TBM_SETTICFREQ:
            bar->ticFrequency = static_cast<int>(wParam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case TBM_SETPAGESIZE: {
            int previous = PageSize(bar);
            bar->pageSize = static_cast<int>(lParam);
            return previous;
        }
        case TBM_GETPAGESIZE:
            return PageSize(bar);
        case TBM_SETLINESIZE: {
            int previous = bar->lineSize;
            bar->lineSize = static_cast<int>(lParam);
            return previous;
        }
        case TBM_GETLINESIZE:
            return bar->lineSize;
        case TBM_GETTHUMBRECT:
            if (lParam) {
                *reinterpret_cast<RECT*>(lParam) = ThumbRect(bar, hwnd);
            }
            return 0;
        case TBM_GETCHANNELRECT:
            if (lParam) {
                *reinterpret_cast<RECT*>(lParam) = ChannelRect(hwnd);
            }
            return 0;
        case TBM_SETBUDDY: {
            HWND& slot = wParam ? bar->buddyLeft : bar->buddyRight;
            HWND previous = slot;
            slot = reinterpret_cast<HWND>(lParam);
            PlaceBuddy(hwnd, slot, wParam != 0);
            return reinterpret_cast<LRESULT>(previous);
        }
        case TBM_GETBUDDY:
            return reinterpret_cast<LRESULT>(wParam ? bar->buddyLeft : bar->buddyRight);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT HandleTrackbar(Trackbar* bar, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= TBM_GETPOS && message <= TBM_GETBUDDY) {
        return TrackbarMessage(bar, hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS;
        case WM_PAINT:
            Paint(bar, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            bar->focused = message == WM_SETFOCUS;
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            PointerDown(bar, hwnd, lParam);
            return 0;
        case WM_MOUSEMOVE:
            PointerMove(bar, hwnd, lParam);
            return 0;
        case WM_LBUTTONUP:
            PointerUp(bar, hwnd);
            return 0;
        case WM_CAPTURECHANGED:
            if ((bar->dragging || bar->paging) && reinterpret_cast<HWND>(lParam) != hwnd) {
                bar->dragging = false;
                bar->paging = false;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        case WM_KEYDOWN:
            KeyDown(bar, hwnd, wParam);
            return 0;
        case WM_KEYUP:
            if (bar->keyMoved) {
                bar->keyMoved = false;
                Tell(hwnd, TB_ENDTRACK, bar->position);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW TrackbarClass() {
    return ClassEntry(CS_PARENTDC, ControlProc<Trackbar, HandleTrackbar>, u"msctls_trackbar32");
}

}  // namespace platform::user
