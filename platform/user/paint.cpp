// Invalid areas, WM_PAINT, window DCs, the default frame and background, and the
// system colours.
#include <algorithm>
#include <array>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

RECT ClientSizeLocked(const Window* window) {
    RECT client = ClientRectOnScreenLocked(window);
    return RECT{0, 0, client.right - client.left, client.bottom - client.top};
}

bool HasFrame(const Window* window) {
    RECT insets = WindowInsetsLocked(window);
    return insets.left || insets.top || insets.right || insets.bottom;
}

// A window painted `screenArea`: what lies above it there, and its own children,
// must paint again over it (a window DC cannot leave them out).
void CoverAboveLocked(Window* window, const RECT& screenArea) {
    for (Window* child : window->children) {
        if (child->style & WS_VISIBLE) {
            InvalidateOnScreenLocked(child, screenArea, true);
        }
    }
    for (Window* w = window; w->parent; w = w->parent) {
        for (Window* sibling : w->parent->children) {
            if (sibling == w) {
                break;
            }
            if (sibling->style & WS_VISIBLE) {
                InvalidateOnScreenLocked(sibling, screenArea, true);
            }
        }
    }
}

bool PassesFilterLocked(const Window* window, HWND filter) {
    if (!filter) {
        return true;
    }
    Window* ancestor = FindLocked(filter);
    return ancestor && IsDescendantLocked(ancestor, window);
}

Window* FirstToPaintLocked(Window* window, DWORD threadId, HWND filter) {
    if (!(window->style & WS_VISIBLE)) {
        return nullptr;
    }
    if (window->threadId == threadId && !window->destroying && NeedsPaintLocked(window) &&
        PassesFilterLocked(window, filter)) {
        return window;
    }
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it) {
        if (Window* found = FirstToPaintLocked(*it, threadId, filter)) {
            return found;
        }
    }
    return nullptr;
}

HBRUSH ResolveBrush(HBRUSH brush) {
    auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value & SYS_COLOR_INDEX_FLAG) {
        return GetSysColorBrush(static_cast<int>(value & 0xFF));
    }
    if (value != 0 && value <= COLOR_STATICTEXT + 1) {
        return GetSysColorBrush(static_cast<int>(value - 1));
    }
    return brush;
}

}  // namespace

void InvalidateClientLocked(Window* window, const RECT* clientRect, bool erase) {
    RECT client = ClientSizeLocked(window);
    RECT part = client;
    if (clientRect && !IntersectRect(&part, clientRect, &client)) {
        return;
    }
    if (Empty(part)) {
        return;
    }
    UnionRect(&window->update, &window->update, &part);
    window->erase = window->erase || erase;
    window->invalidations++;
    NotifyWaitersLocked();
}

void InvalidateOnScreenLocked(Window* window, const RECT& screenRect, bool erase) {
    RECT client = ClientRectOnScreenLocked(window);
    RECT part{};
    if (IntersectRect(&part, &screenRect, &client)) {
        OffsetRect(&part, -client.left, -client.top);
        InvalidateClientLocked(window, &part, erase);
    }
    RECT whole = WindowRectOnScreenLocked(window);
    RECT onWindow{};
    if (HasFrame(window) && IntersectRect(&onWindow, &screenRect, &whole)) {
        RECT inClient{};
        IntersectRect(&inClient, &onWindow, &client);
        if (!EqualRect(&inClient, &onWindow)) {
            window->frameDirty = true;
            window->invalidations++;
            NotifyWaitersLocked();
        }
    }
}

RECT ExposeLocked(Window* parent, const RECT& screenRect) {
    if (Empty(screenRect) || !parent) {
        return RECT{};
    }
    if (parent->parent) {
        InvalidateOnScreenLocked(parent, screenRect, true);
        return RECT{};
    }
    for (Window* top : parent->children) {
        if (top->style & WS_VISIBLE) {
            InvalidateOnScreenLocked(top, screenRect, true);
        }
    }
    return screenRect;
}

void FillDesktop(const RECT& screenRect) {
    if (Empty(screenRect)) {
        return;
    }
    HDC dc = CreateScreenDC();
    FillRect(dc, &screenRect, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    DeleteDC(dc);
    BumpScreenGeneration();
}

bool NeedsPaintLocked(const Window* window) {
    return (!Empty(window->update) || window->frameDirty) && IsShownLocked(window);
}

Window* NextWindowToPaintLocked(DWORD threadId, HWND filter) {
    if (filter == reinterpret_cast<HWND>(-1)) {
        return nullptr;
    }
    const auto& tops = StateLocked().desktop->children;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        if (Window* found = FirstToPaintLocked(*it, threadId, filter)) {
            return found;
        }
    }
    return nullptr;
}

namespace {
std::atomic<void (*)()> g_screenChanged{nullptr};
}  // namespace

void BumpScreenGeneration() {
    ScreenGenerationCounter().fetch_add(1);
    if (void (*handler)() = g_screenChanged.load()) {
        handler();
    }
}

LRESULT CallPaint(HWND hwnd, WNDPROC proc) {
    uint64_t before = 0;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window) {
            return 0;
        }
        before = window->invalidations;
    }
    LRESULT result = CallWindowProcW(proc, hwnd, WM_PAINT, 0, 0);
    // A WM_PAINT handler that neither painted nor invalidated again would be asked
    // to paint forever: take it as painted.
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    if (window && window->invalidations == before) {
        window->update = RECT{};
        window->erase = false;
        window->frameDirty = false;
    }
    return result;
}

LRESULT EraseBackground(HWND hwnd, HDC dc) {
    HBRUSH brush = nullptr;
    RECT client{};
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window) {
            return 0;
        }
        brush = window->windowClass->info.hbrBackground;
        client = ClientSizeLocked(window);
    }
    brush = ResolveBrush(brush);
    if (!brush) {
        return 0;
    }
    FillRect(dc, &client, brush);
    return 1;
}

void DrawFrame(HWND hwnd) {
    RECT insets{};
    RECT whole{};
    std::u16string title;
    bool active = false;
    bool caption = false;
    bool clientEdge = false;
    bool scrollBar = false;
    bool menuBar = false;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window) {
            return;
        }
        insets = FrameInsets(window->style, window->exStyle);
        scrollBar = HasFrameScrollBarLocked(window);
        menuBar = MenuBarHeightLocked(window) > 0;
        RECT r = WindowRectOnScreenLocked(window);
        whole = RECT{0, 0, r.right - r.left, r.bottom - r.top};
        title = window->text;
        active = StateLocked().active == TopLevelOfLocked(window)->handle;
        caption = (window->style & WS_CAPTION) == WS_CAPTION;
        clientEdge = window->exStyle & WS_EX_CLIENTEDGE;
    }
    if (!insets.left && !insets.top && !scrollBar && !menuBar) {
        return;
    }
    HDC dc = GetWindowDC(hwnd);
    auto fillBand = [&](RECT band, int color) { FillRect(dc, &band, GetSysColorBrush(color)); };
    auto outline = [&](RECT r, int color) {
        fillBand(RECT{r.left, r.top, r.right, r.top + 1}, color);
        fillBand(RECT{r.left, r.bottom - 1, r.right, r.bottom}, color);
        fillBand(RECT{r.left, r.top, r.left + 1, r.bottom}, color);
        fillBand(RECT{r.right - 1, r.top, r.right, r.bottom}, color);
    };
    RECT inner = whole;
    if (insets.left - (clientEdge ? 2 : 0) > 0) {
        outline(inner, COLOR_WINDOWFRAME);
        InflateRect(&inner, -1, -1);
    }
    if (caption) {
        RECT band{inner.left, inner.top, inner.right, inner.top + GetSystemMetrics(SM_CYCAPTION)};
        fillBand(band, active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
        HGDIOBJ oldFont = SelectObject(dc, GetStockObject(SYSTEM_FONT));
        band.left += 4;
        DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &band,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, oldFont);
        inner.top = band.bottom;
    }
    if (clientEdge) {
        outline(inner, COLOR_BTNSHADOW);
        InflateRect(&inner, -1, -1);
        outline(inner, COLOR_3DDKSHADOW);
    }
    if (scrollBar) {
        DrawFrameScrollBar(hwnd, dc);
    }
    if (menuBar) {
        DrawMenuBarFrame(hwnd, dc);
    }
    ReleaseDC(hwnd, dc);
}

LRESULT DefaultControlColor(UINT message, HDC dc) {
    int background = COLOR_BTNFACE;
    int text = COLOR_BTNTEXT;
    switch (message) {
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
            background = COLOR_WINDOW;
            text = COLOR_WINDOWTEXT;
            break;
        case WM_CTLCOLORSTATIC:
            background = COLOR_STATIC;
            text = COLOR_STATICTEXT;
            break;
        case WM_CTLCOLORSCROLLBAR:
            background = COLOR_SCROLLBAR;
            break;
        default:
            break;
    }
    SetTextColor(dc, GetSysColor(text));
    SetBkColor(dc, GetSysColor(background));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(background));
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

void platform::SetScreenChangedHandler(void (*handler)()) {
    platform::user::g_screenChanged.store(handler);
}

uint64_t platform::ScreenGeneration() {
    return ScreenGenerationCounter().load();
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint) {
    if (!paint) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    RECT rcPaint{};
    RECT clip{};
    POINT origin{};
    bool erase = false;
    bool frame = false;
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window || !window->parent) {
            return nullptr;
        }
        RECT client = ClientSizeLocked(window);
        IntersectRect(&rcPaint, &window->update, &client);
        erase = window->erase;
        frame = window->frameDirty;
        window->update = RECT{};
        window->erase = false;
        window->frameDirty = false;
        origin = ClientOriginLocked(window);
        RECT onScreen = rcPaint;
        OffsetRect(&onScreen, origin.x, origin.y);
        RECT visible = VisibleRectLocked(window, true);
        IntersectRect(&clip, &onScreen, &visible);
        RECT area = clip;
        if (frame) {
            RECT whole = VisibleRectLocked(window, false);
            UnionRect(&area, &area, &whole);
        }
        if (!Empty(area)) {
            CoverAboveLocked(window, area);
        }
    }
    if (frame) {
        SendMessageW(hwnd, WM_NCPAINT, 1, 0);
    }
    HDC dc = platform::CreateScreenDC(hwnd, origin, clip);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = rcPaint;
    paint->fErase = erase ? TRUE : FALSE;
    if (erase) {
        paint->fErase =
            SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
    }
    return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
    if (!paint || !paint->hdc) {
        return FALSE;
    }
    DeleteDC(paint->hdc);
    BumpScreenGeneration();
    return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    Lock lock = TakeLock();
    if (!hwnd) {
        RECT screen{0, 0, ScreenWidth(), ScreenHeight()};
        for (Window* top : StateLocked().desktop->children) {
            InvalidateOnScreenLocked(top, rect ? *rect : screen, erase != FALSE);
        }
        return TRUE;
    }
    Window* window = FindOrFailLocked(hwnd);
    if (!window || !window->parent) {
        return FALSE;
    }
    InvalidateClientLocked(window, rect, erase != FALSE);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return FALSE;
    }
    RECT& update = window->update;
    if (!rect) {
        update = RECT{};
        window->frameDirty = false;
    } else if (rect->left <= update.left && rect->right >= update.right) {
        // A band across the whole width: cut from the top or the bottom.
        if (rect->top <= update.top) {
            update.top = std::max(update.top, rect->bottom);
        } else if (rect->bottom >= update.bottom) {
            update.bottom = std::min(update.bottom, rect->top);
        }
    } else if (rect->top <= update.top && rect->bottom >= update.bottom) {
        if (rect->left <= update.left) {
            update.left = std::max(update.left, rect->right);
        } else if (rect->right >= update.right) {
            update.right = std::min(update.right, rect->left);
        }
    }
    if (Empty(update)) {
        update = RECT{};
        window->erase = false;
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return FALSE;
    }
    if (rect) {
        *rect = window->update;
    }
    return !Empty(window->update);
}

BOOL UpdateWindow(HWND hwnd) {
    WNDPROC proc = nullptr;
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return FALSE;
        }
        if (!NeedsPaintLocked(window)) {
            return TRUE;
        }
        if (IsOwnThreadLocked(window)) {
            proc = window->proc;
        }
    }
    if (proc) {
        CallPaint(hwnd, proc);
    } else {
        SendMessageW(hwnd, WM_PAINT, 0, 0);
    }
    return TRUE;
}

HDC GetDC(HWND hwnd) {
    if (!hwnd) {
        return platform::CreateScreenDC();
    }
    POINT origin{};
    RECT clip{};
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return nullptr;
        }
        origin = ClientOriginLocked(window);
        clip = VisibleRectLocked(window, true);
    }
    return platform::CreateScreenDC(hwnd, origin, clip);
}

HDC GetWindowDC(HWND hwnd) {
    if (!hwnd) {
        return platform::CreateScreenDC();
    }
    POINT origin{};
    RECT clip{};
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return nullptr;
        }
        RECT whole = WindowRectOnScreenLocked(window);
        origin = POINT{whole.left, whole.top};
        clip = VisibleRectLocked(window, false);
    }
    return platform::CreateScreenDC(hwnd, origin, clip);
}

int ReleaseDC(HWND, HDC dc) {
    if (!dc || !DeleteDC(dc)) {
        return 0;
    }
    BumpScreenGeneration();
    return 1;
}

// --- System colours -------------------------------------------------------------

namespace {

constexpr std::array<COLORREF, COLOR_STATICTEXT + 1> kSystemColors = {
    RGB(200, 200, 200),  // COLOR_SCROLLBAR
    RGB(0, 0, 0),        // COLOR_BACKGROUND
    RGB(0, 0, 128),      // COLOR_ACTIVECAPTION
    RGB(128, 128, 128),  // COLOR_INACTIVECAPTION
    RGB(255, 255, 255),  // COLOR_MENU
    RGB(255, 255, 255),  // COLOR_WINDOW
    RGB(0, 0, 0),        // COLOR_WINDOWFRAME
    RGB(0, 0, 0),        // COLOR_MENUTEXT
    RGB(0, 0, 0),        // COLOR_WINDOWTEXT
    RGB(255, 255, 255),  // COLOR_CAPTIONTEXT
    RGB(192, 192, 192),  // COLOR_ACTIVEBORDER
    RGB(192, 192, 192),  // COLOR_INACTIVEBORDER
    RGB(128, 128, 128),  // COLOR_APPWORKSPACE
    RGB(0, 0, 128),      // COLOR_HIGHLIGHT
    RGB(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    RGB(192, 192, 192),  // COLOR_BTNFACE
    RGB(128, 128, 128),  // COLOR_BTNSHADOW
    RGB(128, 128, 128),  // COLOR_GRAYTEXT
    RGB(0, 0, 0),        // COLOR_BTNTEXT
    RGB(192, 192, 192),  // COLOR_INACTIVECAPTIONTEXT
    RGB(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    RGB(0, 0, 0),        // COLOR_3DDKSHADOW
    RGB(224, 224, 224),  // COLOR_3DLIGHT
    RGB(0, 0, 0),        // COLOR_INFOTEXT
    RGB(255, 255, 225),  // COLOR_INFOBK
    RGB(255, 255, 255),  // COLOR_STATIC
    RGB(0, 0, 0),        // COLOR_STATICTEXT
};

int ColorIndex(int index) {
    index &= ~SYS_COLOR_INDEX_FLAG;
    return index >= 0 && index < static_cast<int>(kSystemColors.size()) ? index : -1;
}

}  // namespace

DWORD GetSysColor(int index) {
    int i = ColorIndex(index);
    return i < 0 ? 0 : kSystemColors[static_cast<size_t>(i)];
}

HBRUSH GetSysColorBrush(int index) {
    int i = ColorIndex(index);
    if (i < 0) {
        return nullptr;
    }
    static std::mutex lock;
    static std::array<HBRUSH, kSystemColors.size()> brushes{};
    std::lock_guard<std::mutex> guard(lock);
    HBRUSH& brush = brushes[static_cast<size_t>(i)];
    if (!brush) {
        brush = CreateSolidBrush(kSystemColors[static_cast<size_t>(i)]);
        platform::MakeStockObject(brush);
    }
    return brush;
}
