// The list of the standard and common control classes, and what they share.
#include <algorithm>
#include <cwctype>

#include "platform/user/controls_internal.h"

namespace platform::user {

std::vector<WNDCLASSW> ControlClasses() {
    return {ButtonClass(),    StaticClass(),   EditClass(),      ListBoxClass(),
            ComboListClass(), ComboBoxClass(), TrackbarClass(),  ProgressClass(),
            ListViewClass(),  TreeViewClass(), TabControlClass()};
}

bool HandleFontMessage(ControlState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result) {
    if (message == WM_SETFONT) {
        state.font = reinterpret_cast<HFONT>(wParam);
        if (LOWORD(lParam)) {
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        *result = 0;
        return true;
    }
    if (message == WM_GETFONT) {
        *result = reinterpret_cast<LRESULT>(state.font);
        return true;
    }
    return false;
}

HFONT FontOf(const ControlState& state) {
    return state.font ? state.font : static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
}

int Scale(int pixels) {
    return pixels * ScreenDpi() / 96;
}

DWORD StyleOf(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
}

int ControlId(HWND hwnd) {
    return GetDlgCtrlID(hwnd);
}

void NotifyCommand(HWND hwnd, int code) {
    HWND parent = GetParent(hwnd);
    if (parent) {
        SendMessageW(parent, WM_COMMAND,
                     MAKEWPARAM(static_cast<WORD>(ControlId(hwnd)), static_cast<WORD>(code)),
                     reinterpret_cast<LPARAM>(hwnd));
    }
}

LRESULT NotifyParent(HWND hwnd, UINT code, NMHDR* header) {
    header->hwndFrom = hwnd;
    header->idFrom = static_cast<UINT_PTR>(ControlId(hwnd));
    header->code = code;
    HWND parent = GetParent(hwnd);
    if (!parent) {
        return 0;
    }
    return SendMessageW(parent, WM_NOTIFY, static_cast<WPARAM>(header->idFrom),
                        reinterpret_cast<LPARAM>(header));
}

HBRUSH ControlColors(HWND hwnd, UINT message, HDC dc) {
    // The defaults first, so a parent that only changes the brush keeps legible text.
    DefaultControlColor(message, dc);
    HWND parent = GetParent(hwnd);
    HBRUSH brush = nullptr;
    if (parent) {
        brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, message, reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(hwnd)));
    }
    if (!brush) {
        brush = reinterpret_cast<HBRUSH>(DefaultControlColor(message, dc));
    }
    return brush;
}

namespace {

bool TakesPointer(HWND hwnd, POINT screen) {
    RECT r{};
    return IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) && GetWindowRect(hwnd, &r) &&
           PtInRect(&r, screen);
}

HWND DeepestAt(HWND hwnd, POINT screen) {
    for (HWND child = GetWindow(hwnd, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (TakesPointer(child, screen)) {
            return DeepestAt(child, screen);
        }
    }
    return hwnd;
}

}  // namespace

LRESULT ForwardPointerBeneath(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(hwnd, &point);
    HWND target = nullptr;
    for (HWND w = GetWindow(hwnd, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (TakesPointer(w, point)) {
            target = DeepestAt(w, point);
            break;
        }
    }
    if (!target) {
        target = GetParent(hwnd);
    }
    if (!target) {
        return 0;
    }
    ScreenToClient(target, &point);
    return SendMessageW(target, message, wParam, MAKELPARAM(point.x, point.y));
}

std::u16string WindowText(HWND hwnd) {
    int length = GetWindowTextLengthW(hwnd);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(copied, 0)));
    return text;
}

namespace {

char16_t Fold(char16_t c) {
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

}  // namespace

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = Fold(a[i]);
        char16_t y = Fold(b[i]);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EqualNoCase(std::u16string_view a, std::u16string_view b) {
    return CompareNoCase(a, b) == 0;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

int CopyOut(std::u16string_view text, LPWSTR buffer, int capacity) {
    if (!buffer || capacity <= 0) {
        return 0;
    }
    size_t count = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<int>(count);
}

SIZE TextSize(HFONT font, std::u16string_view text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    SIZE size{};
    GetTextExtentPoint32W(dc, reinterpret_cast<LPCWSTR>(text.data()), static_cast<int>(text.size()),
                          &size);
    if (text.empty()) {
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        size.cy = metrics.tmHeight;
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return size;
}

TEXTMETRICW FontMetrics(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    DeleteDC(dc);
    return metrics;
}

int LineHeight(HFONT font) {
    return FontMetrics(font).tmHeight;
}

void FillColor(HDC dc, const RECT& rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

void FillSystem(HDC dc, const RECT& rect, int colorIndex) {
    FillRect(dc, &rect, GetSysColorBrush(colorIndex));
}

void Outline(HDC dc, const RECT& r, COLORREF color) {
    if (r.right <= r.left || r.bottom <= r.top) {
        return;
    }
    HBRUSH brush = CreateSolidBrush(color);
    RECT sides[4] = {{r.left, r.top, r.right, r.top + 1},
                     {r.left, r.bottom - 1, r.right, r.bottom},
                     {r.left, r.top, r.left + 1, r.bottom},
                     {r.right - 1, r.top, r.right, r.bottom}};
    for (const RECT& side : sides) {
        FillRect(dc, &side, brush);
    }
    DeleteObject(brush);
}

void DrawArrow(HDC dc, const RECT& box, ArrowDirection direction, COLORREF color) {
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    bool vertical = direction == ArrowDirection::Up || direction == ArrowDirection::Down;
    int size =
        std::max(2, std::min(vertical ? width / 2 : height / 2, vertical ? height : width) / 2);
    int cx = box.left + width / 2;
    int cy = box.top + height / 2;
    HBRUSH brush = CreateSolidBrush(color);
    for (int i = 0; i < size; ++i) {
        RECT line{};
        int half = (direction == ArrowDirection::Up || direction == ArrowDirection::Left)
                       ? i
                       : size - 1 - i;
        if (vertical) {
            int y = cy - size / 2 + i;
            line = RECT{cx - half, y, cx + half + 1, y + 1};
        } else {
            int x = cx - size / 2 + i;
            line = RECT{x, cy - half, x + 1, cy + half + 1};
        }
        FillRect(dc, &line, brush);
    }
    DeleteObject(brush);
}

void DrawCheckMark(HDC dc, const RECT& box, COLORREF color) {
    int w = box.right - box.left;
    int h = box.bottom - box.top;
    int thickness = std::max(1, std::min(w, h) / 6);
    HBRUSH brush = CreateSolidBrush(color);
    // A short stroke down to the right, then a long one up to the right.
    int x0 = box.left + w / 5;
    int yMid = box.top + h / 2;
    int xLow = box.left + (2 * w) / 5;
    int yLow = box.top + (3 * h) / 4;
    int x1 = box.right - w / 5;
    int yTop = box.top + h / 4;
    for (int x = x0; x < x1; ++x) {
        int y = x <= xLow ? yMid + (yLow - yMid) * (x - x0) / std::max(1, xLow - x0)
                          : yLow - (yLow - yTop) * (x - xLow) / std::max(1, x1 - xLow);
        RECT dot{x, y - thickness / 2, x + 1, y - thickness / 2 + thickness + 1};
        FillRect(dc, &dot, brush);
    }
    DeleteObject(brush);
}

void DrawTextLine(HDC dc, std::u16string_view text, RECT rect, UINT format) {
    DrawTextW(dc, reinterpret_cast<LPCWSTR>(text.data()), static_cast<int>(text.size()), &rect,
              format);
}

void DrawFocus(HDC dc, const RECT& r, COLORREF color) {
    for (int x = r.left; x < r.right; x += 2) {
        SetPixel(dc, x, r.top, color);
        SetPixel(dc, x, r.bottom - 1, color);
    }
    for (int y = r.top; y < r.bottom; y += 2) {
        SetPixel(dc, r.left, y, color);
        SetPixel(dc, r.right - 1, y, color);
    }
}

// --- The client-area scroll bar ---------------------------------------------------

int ClientScrollBar::Width() {
    return GetSystemMetrics(SM_CXVSCROLL);
}

void ClientScrollBar::Layout(const RECT& area, int total, int visible, int top, bool alwaysShown) {
    total_ = std::max(total, 0);
    visible_ = std::max(visible, 1);
    top_ = std::clamp(top, 0, MaxTop());
    shown_ = alwaysShown || (total_ > visible_ && area.right - area.left > Width());
    if (!shown_) {
        bar_ = up_ = down_ = thumb_ = RECT{};
        dragging_ = false;
        return;
    }
    int w = Width();
    bar_ = RECT{area.right - w, area.top, area.right, area.bottom};
    int arrow = std::min(w, (area.bottom - area.top) / 3);
    up_ = RECT{bar_.left, bar_.top, bar_.right, bar_.top + arrow};
    down_ = RECT{bar_.left, bar_.bottom - arrow, bar_.right, bar_.bottom};
    if (MaxTop() == 0) {
        thumb_ = RECT{};
        dragging_ = false;
        return;
    }
    int track = down_.top - up_.bottom;
    int thumbLength =
        std::clamp(track * visible_ / std::max(total_, 1), Scale(8), std::max(track, 1));
    int room = track - thumbLength;
    int offset = room * top_ / MaxTop();
    thumb_ = RECT{bar_.left, up_.bottom + offset, bar_.right, up_.bottom + offset + thumbLength};
}

void ClientScrollBar::Draw(HDC dc) const {
    if (!shown_) {
        return;
    }
    FillSystem(dc, bar_, COLOR_SCROLLBAR);
    for (const RECT* part : {&up_, &down_, &thumb_}) {
        if (!IsRectEmpty(part)) {
            FillSystem(dc, *part, COLOR_BTNFACE);
            Outline(dc, *part, GetSysColor(COLOR_WINDOWFRAME));
        }
    }
    Outline(dc, bar_, GetSysColor(COLOR_WINDOWFRAME));
    RECT inner = up_;
    InflateRect(&inner, -2, -2);
    DrawArrow(dc, inner, ArrowDirection::Up, GetSysColor(COLOR_BTNTEXT));
    inner = down_;
    InflateRect(&inner, -2, -2);
    DrawArrow(dc, inner, ArrowDirection::Down, GetSysColor(COLOR_BTNTEXT));
}

ScrollPart ClientScrollBar::PartAt(POINT point) const {
    if (!shown_ || !PtInRect(&bar_, point)) {
        return ScrollPart::None;
    }
    if (PtInRect(&up_, point)) {
        return ScrollPart::LineUp;
    }
    if (PtInRect(&down_, point)) {
        return ScrollPart::LineDown;
    }
    if (IsRectEmpty(&thumb_)) {
        return ScrollPart::None;  // nothing to scroll: the track does nothing
    }
    if (PtInRect(&thumb_, point)) {
        return ScrollPart::Thumb;
    }
    return point.y < thumb_.top ? ScrollPart::PageUp : ScrollPart::PageDown;
}

int ClientScrollBar::TopForThumbAt(int y) const {
    int track = down_.top - up_.bottom;
    int room = track - (thumb_.bottom - thumb_.top);
    if (room <= 0) {
        return top_;
    }
    return std::clamp(((y - up_.bottom) * MaxTop() + room / 2) / room, 0, MaxTop());
}

bool ClientScrollBar::Press(POINT point, int* top) {
    if (!shown_ || !PtInRect(&bar_, point)) {
        return false;
    }
    int next = top_;
    switch (PartAt(point)) {
        case ScrollPart::LineUp:
            next = top_ - 1;
            break;
        case ScrollPart::LineDown:
            next = top_ + 1;
            break;
        case ScrollPart::PageUp:
            next = top_ - PageRows();
            break;
        case ScrollPart::PageDown:
            next = top_ + PageRows();
            break;
        case ScrollPart::Thumb:
            dragging_ = true;
            grab_ = point.y - thumb_.top;
            break;
        case ScrollPart::None:
            break;
    }
    *top = std::clamp(next, 0, MaxTop());
    return true;
}

bool ClientScrollBar::Drag(POINT point, int* top) const {
    if (!dragging_) {
        return false;
    }
    *top = TopForThumbAt(point.y - grab_);
    return true;
}

// ---- What several control files do alike ----

WNDCLASSW ClassEntry(UINT style, WNDPROC proc, LPCWSTR name) {
    WNDCLASSW info{};
    info.style = style;
    info.lpfnWndProc = proc;
    info.cbWndExtra = kControlExtra;
    info.lpszClassName = name;
    return info;
}

bool TakeFocus(HWND hwnd) {
    if (GetFocus() != hwnd) {
        SetFocus(hwnd);
    }
    return IsWindow(hwnd) != FALSE;
}

int ImageWidth(HIMAGELIST list) {
    int cx = 0;
    int cy = 0;
    return ImageList_GetIconSize(list, &cx, &cy) ? cx : 0;
}

int ImageHeight(HIMAGELIST list) {
    int cx = 0;
    int cy = 0;
    return ImageList_GetIconSize(list, &cx, &cy) ? cy : 0;
}

COLORREF ResolveColor(COLORREF color, int systemIndex) {
    return (color == CLR_DEFAULT || color == CLR_NONE) ? GetSysColor(systemIndex) : color;
}

bool PagingKeyRow(WPARAM key, int current, int page, int count, int* next) {
    switch (key) {
        case VK_PRIOR:
            *next = current - page;
            return true;
        case VK_NEXT:
            *next = current + page;
            return true;
        case VK_HOME:
            *next = 0;
            return true;
        case VK_END:
            *next = count - 1;
            return true;
        default:
            return false;
    }
}

namespace {

void ScrollRowView(RowView& view, HWND hwnd, int top) {
    if (top != view.top) {
        view.top = top;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

}  // namespace

bool HandleRowViewMessage(RowView& view, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* result) {
    if (HandleFontMessage(view, hwnd, message, wParam, lParam, result)) {
        return true;
    }
    *result = 0;
    switch (message) {
        case WM_GETDLGCODE:
            *result = DLGC_WANTARROWS | DLGC_WANTCHARS;
            return true;
        case WM_ERASEBKGND:
            *result = 1;  // the paint fills the whole client area
            return true;
        case WM_SIZE:
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return true;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: {
            view.focused = message == WM_SETFOCUS;
            InvalidateRect(hwnd, nullptr, TRUE);
            NMHDR note{};
            NotifyParent(hwnd, view.focused ? NM_SETFOCUS : NM_KILLFOCUS, &note);
            return true;
        }
        case WM_MOUSEMOVE:
            if (view.bar.Dragging()) {
                POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                int top = view.top;
                if (view.bar.Drag(point, &top)) {
                    ScrollRowView(view, hwnd, top);
                }
            }
            return true;
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != hwnd) {
                view.tracking = false;
                view.bar.Release();
            }
            return true;
        default:
            return false;
    }
}

bool PressRowViewBar(RowView& view, HWND hwnd, POINT point) {
    int top = view.top;
    if (!view.bar.Press(point, &top)) {
        return false;
    }
    ScrollRowView(view, hwnd, top);
    if (view.bar.Dragging()) {
        SetCapture(hwnd);
    }
    return true;
}

bool ReleaseRowView(RowView& view) {
    if (view.bar.Dragging()) {
        view.bar.Release();
        ReleaseCapture();
        return false;
    }
    if (!view.tracking) {
        return false;
    }
    view.tracking = false;
    ReleaseCapture();
    return true;
}

// ---- end of what several control files do alike ----

}  // namespace platform::user

void InitCommonControls() {}

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (!init || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
