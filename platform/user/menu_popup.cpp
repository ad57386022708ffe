// Popup menus on the screen: one window per open level, and the loop that tracks them.
#include <algorithm>
#include <map>
#include <mutex>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

struct Level {
    HMENU menu = nullptr;
    std::vector<MenuItem> items;
    std::vector<RECT> rects;  // client coordinates, one per item
    int hot = -1;
};

struct Popups {
    std::mutex lock;
    std::map<HWND, Level> levels;
    // Threads whose menu was asked to close (EndMenu, WM_CANCELMODE).
    std::map<DWORD, bool> cancelled;
};

Popups& ThePopups() {
    static auto* popups = new Popups;
    return *popups;
}

constexpr char16_t kPopupClass[] = u"#32768";

bool Selectable(const MenuItem& item) {
    return !(item.flags & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED));
}

// The label, and the accelerator text after a tab.
std::pair<std::u16string, std::u16string> SplitLabel(const std::u16string& text) {
    size_t tab = text.find(u'\t');
    if (tab == std::u16string::npos) {
        return {text, u""};
    }
    return {text.substr(0, tab), text.substr(tab + 1)};
}

SIZE MeasureLevel(const std::vector<MenuItem>& items, std::vector<RECT>* rects) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, SystemUiFont(9));
    const int itemHeight = Scaled(20);
    const int separatorHeight = Scaled(7);
    int width = Scaled(60);
    for (const MenuItem& item : items) {
        auto [label, accelerator] = SplitLabel(item.text);
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE);
        int w = r.right + Scaled(36);
        if (!accelerator.empty()) {
            SIZE extent{};
            GetTextExtentPoint32W(dc, accelerator.c_str(), static_cast<int>(accelerator.size()),
                                  &extent);
            w += extent.cx + Scaled(12);
        }
        width = std::max(width, w);
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    int y = 0;
    rects->clear();
    for (const MenuItem& item : items) {
        int h = (item.flags & MF_SEPARATOR) ? separatorHeight : itemHeight;
        rects->push_back(RECT{0, y, width, y + h});
        y += h;
    }
    return SIZE{width, std::max(y, 1)};
}

void Paint(HWND hwnd) {
    Level level;
    {
        Popups& all = ThePopups();
        std::lock_guard<std::mutex> guard(all.lock);
        auto found = all.levels.find(hwnd);
        if (found != all.levels.end()) {
            level = found->second;
        }
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) {
        return;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_MENU));
    HGDIOBJ oldFont = SelectObject(dc, SystemUiFont(9));
    SetBkMode(dc, TRANSPARENT);
    for (size_t i = 0; i < level.items.size() && i < level.rects.size(); ++i) {
        const MenuItem& item = level.items[i];
        RECT r = level.rects[i];
        if (item.flags & MF_SEPARATOR) {
            RECT line{r.left + Scaled(2), (r.top + r.bottom) / 2, r.right - Scaled(2),
                      (r.top + r.bottom) / 2 + 1};
            FillRect(dc, &line, GetSysColorBrush(COLOR_BTNSHADOW));
            continue;
        }
        const bool hot = static_cast<int>(i) == level.hot && Selectable(item);
        if (hot) {
            FillRect(dc, &r, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        COLORREF color = GetSysColor(hot ? COLOR_HIGHLIGHTTEXT
                                     : (item.flags & (MF_GRAYED | MF_DISABLED)) ? COLOR_GRAYTEXT
                                                                                : COLOR_MENUTEXT);
        SetTextColor(dc, color);
        HBRUSH mark = CreateSolidBrush(color);
        const int cx = r.left + Scaled(9);
        const int cy = (r.top + r.bottom) / 2;
        if (item.flags & MF_CHECKED) {
            if (item.flags & MFT_RADIOCHECK) {
                HGDIOBJ oldBrush = SelectObject(dc, mark);
                HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
                Ellipse(dc, cx - Scaled(3), cy - Scaled(3), cx + Scaled(4), cy + Scaled(4));
                SelectObject(dc, oldPen);
                SelectObject(dc, oldBrush);
            } else {
                HPEN pen = CreatePen(PS_SOLID, std::max(1, Scaled(2)), color);
                HGDIOBJ oldPen = SelectObject(dc, pen);
                MoveToEx(dc, cx - Scaled(4), cy, nullptr);
                LineTo(dc, cx - Scaled(1), cy + Scaled(3));
                LineTo(dc, cx + Scaled(4), cy - Scaled(3));
                SelectObject(dc, oldPen);
                DeleteObject(pen);
            }
        }
        if (item.popup) {
            const int ax = r.right - Scaled(10);
            POINT arrow[3] = {{ax, cy - Scaled(4)}, {ax + Scaled(4), cy}, {ax, cy + Scaled(4)}};
            HGDIOBJ oldBrush = SelectObject(dc, mark);
            HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
            Polygon(dc, arrow, 3);
            SelectObject(dc, oldPen);
            SelectObject(dc, oldBrush);
        }
        DeleteObject(mark);
        auto [label, accelerator] = SplitLabel(item.text);
        RECT text{r.left + Scaled(20), r.top, r.right - Scaled(14), r.bottom};
        DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &text,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        if (!accelerator.empty()) {
            DrawTextW(dc, accelerator.c_str(), static_cast<int>(accelerator.size()), &text,
                      DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &paint);
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_NCDESTROY: {
            Popups& all = ThePopups();
            std::lock_guard<std::mutex> guard(all.lock);
            all.levels.erase(hwnd);
            return 0;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// The tracking of one popup menu and its open submenus.
class Tracker {
  public:
    Tracker(UINT flags, HWND owner) : flags_(flags), owner_(owner) {}
    ~Tracker() {
        while (!open_.empty()) {
            CloseDeepest();
        }
    }

    bool Open(HMENU menu, POINT at, const RECT* exclude, int index) {
        if (owner_ && !(flags_ & TPM_NONOTIFY)) {
            SendMessageW(owner_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                         MAKELPARAM(index, FALSE));
        }
        Level level;
        level.menu = menu;
        if (!MenuItems(menu, &level.items)) {
            return false;
        }
        SIZE size = MeasureLevel(level.items, &level.rects);
        RECT insets = FrameInsets(WS_POPUP | WS_BORDER, 0);
        size.cx += insets.left + insets.right;
        size.cy += insets.top + insets.bottom;
        RECT r = Place(size, at, exclude);
        HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPopupClass, nullptr,
                                    WS_POPUP | WS_BORDER, r.left, r.top, size.cx, size.cy,
                                    OwnerTopLevel(owner_), nullptr, nullptr, nullptr);
        if (!hwnd) {
            return false;
        }
        {
            Popups& all = ThePopups();
            std::lock_guard<std::mutex> guard(all.lock);
            all.levels[hwnd] = level;
        }
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
        open_.push_back(hwnd);
        SetCapture(open_.front());
        return true;
    }

    // The command chosen, 0 for none.
    UINT Run() {
        const DWORD thread = GetCurrentThreadId();
        MSG msg;
        while (!open_.empty() && !done_) {
            if (TakeCancel(thread)) {
                break;
            }
            if (GetCapture() != open_.front()) {
                SetCapture(open_.front());
            }
            BOOL got = GetMessageW(&msg, nullptr, 0, 0);
            if (got == 0) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                break;
            }
            if (got == -1) {
                break;
            }
            if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) {
                POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
                ClientToScreen(msg.hwnd, &p);
                Pointer(msg.message, p);
            } else if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN) {
                Key(static_cast<UINT>(msg.wParam));
            } else if (msg.message == WM_KEYUP || msg.message == WM_SYSKEYUP ||
                       msg.message == WM_CHAR || msg.message == WM_SYSCHAR) {
                // Keys belong to the menu while it is open.
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (GetCapture() && !open_.empty() && GetCapture() == open_.front()) {
            ReleaseCapture();
        }
        return chosen_;
    }

    static void Cancel(DWORD thread) {
        Popups& all = ThePopups();
        std::lock_guard<std::mutex> guard(all.lock);
        all.cancelled[thread] = true;
    }

  private:
    static bool TakeCancel(DWORD thread) {
        Popups& all = ThePopups();
        std::lock_guard<std::mutex> guard(all.lock);
        return all.cancelled.erase(thread) > 0;
    }

    RECT Place(SIZE size, POINT at, const RECT* exclude) const {
        LONG x = at.x;
        LONG y = at.y;
        if (flags_ & TPM_CENTERALIGN) {
            x -= size.cx / 2;
        } else if (flags_ & TPM_RIGHTALIGN) {
            x -= size.cx;
        }
        if (flags_ & TPM_VCENTERALIGN) {
            y -= size.cy / 2;
        } else if (flags_ & TPM_BOTTOMALIGN) {
            y -= size.cy;
        }
        const LONG screenW = ScreenWidth();
        const LONG screenH = ScreenHeight();
        if (exclude) {
            RECT mine{x, y, x + size.cx, y + size.cy};
            RECT overlap;
            if (IntersectRect(&overlap, &mine, exclude)) {
                // Below the excluded area when there is room, else above it.
                if (exclude->bottom + size.cy <= screenH) {
                    y = exclude->bottom;
                } else if (exclude->top - size.cy >= 0) {
                    y = exclude->top - size.cy;
                }
            }
        }
        x = std::max<LONG>(0, std::min<LONG>(x, screenW - size.cx));
        y = std::max<LONG>(0, std::min<LONG>(y, screenH - size.cy));
        return RECT{x, y, x + size.cx, y + size.cy};
    }

    // The open level and item under a screen point; level -1 when outside them all.
    std::pair<int, int> HitTest(POINT p) const {
        for (int i = static_cast<int>(open_.size()) - 1; i >= 0; --i) {
            RECT window;
            GetWindowRect(open_[static_cast<size_t>(i)], &window);
            if (!PtInRect(&window, p)) {
                continue;
            }
            POINT local = p;
            ScreenToClient(open_[static_cast<size_t>(i)], &local);
            Level level = LevelOf(open_[static_cast<size_t>(i)]);
            for (size_t k = 0; k < level.rects.size(); ++k) {
                if (PtInRect(&level.rects[k], local)) {
                    return {i, static_cast<int>(k)};
                }
            }
            return {i, -1};
        }
        return {-1, -1};
    }

    static Level LevelOf(HWND hwnd) {
        Popups& all = ThePopups();
        std::lock_guard<std::mutex> guard(all.lock);
        auto found = all.levels.find(hwnd);
        return found == all.levels.end() ? Level{} : found->second;
    }

    void SetHot(size_t depth, int hot) {
        HWND hwnd = open_[depth];
        {
            Popups& all = ThePopups();
            std::lock_guard<std::mutex> guard(all.lock);
            auto found = all.levels.find(hwnd);
            if (found == all.levels.end() || found->second.hot == hot) {
                return;
            }
            found->second.hot = hot;
        }
        InvalidateRect(hwnd, nullptr, FALSE);
    }

    void CloseDeepest() {
        HWND hwnd = open_.back();
        open_.pop_back();
        if (GetCapture() == hwnd) {
            ReleaseCapture();
        }
        DestroyWindow(hwnd);
    }

    void CloseBelow(size_t depth) {
        while (open_.size() > depth + 1) {
            CloseDeepest();
        }
    }

    // Acts on an item of an open level: opens its submenu or chooses it.
    void Activate(size_t depth, int index) {
        Level level = LevelOf(open_[depth]);
        if (index < 0 || static_cast<size_t>(index) >= level.items.size()) {
            return;
        }
        const MenuItem& item = level.items[static_cast<size_t>(index)];
        if (!Selectable(item)) {
            return;
        }
        SetHot(depth, index);
        if (item.popup) {
            CloseBelow(depth);
            RECT window;
            GetWindowRect(open_[depth], &window);
            RECT r = level.rects[static_cast<size_t>(index)];
            POINT at{window.right - Scaled(2), 0};
            POINT top{0, r.top};
            ClientToScreen(open_[depth], &top);
            at.y = top.y;
            if (Open(item.popup, at, nullptr, index)) {
                // A submenu that does not fit on the right opens to the left.
                RECT sub;
                GetWindowRect(open_.back(), &sub);
                if (sub.left < window.right - Scaled(2)) {
                    LONG width = sub.right - sub.left;
                    LONG x = std::max<LONG>(0, window.left - width + Scaled(2));
                    SetWindowPos(open_.back(), nullptr, x, sub.top, 0, 0,
                                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                }
            }
            return;
        }
        chosen_ = item.id;
        done_ = true;
    }

    // A release chooses only after a press or a slide on the menu: the stylus that
    // opened the menu by a long press lifts over the menu's first item.
    void Pointer(UINT message, POINT p) {
        auto [depth, index] = HitTest(p);
        if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
            if (depth < 0) {
                done_ = true;  // a tap outside closes the menu, choosing nothing
                return;
            }
            armed_ = true;
            SetHot(static_cast<size_t>(depth), index);
        } else if (message == WM_MOUSEMOVE) {
            if (depth >= 0 && index >= 0) {
                armed_ = true;
                SetHot(static_cast<size_t>(depth), index);
            }
        } else if (message == WM_LBUTTONUP) {
            const bool armed = armed_;
            armed_ = false;
            if (armed && depth >= 0) {
                Activate(static_cast<size_t>(depth), index);
            }
        }
    }

    void Move(int step) {
        size_t depth = open_.size() - 1;
        Level level = LevelOf(open_[depth]);
        const int count = static_cast<int>(level.items.size());
        if (count == 0) {
            return;
        }
        int hot = level.hot;
        for (int tries = 0; tries < count; ++tries) {
            hot = hot < 0 ? (step > 0 ? 0 : count - 1) : (hot + step + count) % count;
            if (Selectable(level.items[static_cast<size_t>(hot)])) {
                SetHot(depth, hot);
                return;
            }
        }
    }

    void Key(UINT key) {
        size_t depth = open_.size() - 1;
        switch (key) {
            case VK_UP:
                Move(-1);
                break;
            case VK_DOWN:
                Move(1);
                break;
            case VK_RIGHT: {
                Level level = LevelOf(open_[depth]);
                if (level.hot >= 0 && level.items[static_cast<size_t>(level.hot)].popup) {
                    Activate(depth, level.hot);
                    Move(1);
                }
                break;
            }
            case VK_LEFT:
                if (depth > 0) {
                    CloseDeepest();
                }
                break;
            case VK_RETURN: {
                Level level = LevelOf(open_[depth]);
                if (level.hot >= 0) {
                    Activate(depth, level.hot);
                    if (level.items[static_cast<size_t>(level.hot)].popup) {
                        Move(1);
                    }
                }
                break;
            }
            case VK_ESCAPE:
                if (depth > 0) {
                    CloseDeepest();
                } else {
                    done_ = true;
                }
                break;
            default:
                break;
        }
    }

    UINT flags_;
    HWND owner_;
    std::vector<HWND> open_;
    bool done_ = false;
    bool armed_ = false;
    UINT chosen_ = 0;
};

}  // namespace

WNDCLASSW PopupMenuClass() {
    WNDCLASSW info{};
    info.style = CS_DBLCLKS;
    info.lpfnWndProc = PopupProc;
    info.lpszClassName = kPopupClass;
    return info;
}

UINT RunPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner, const RECT* exclude) {
    {
        // A cancel meant for an earlier menu does not close this one.
        Popups& all = ThePopups();
        std::lock_guard<std::mutex> guard(all.lock);
        all.cancelled.erase(GetCurrentThreadId());
    }
    Tracker tracker(flags, owner);
    if (!tracker.Open(menu, at, exclude, 0)) {
        return 0;
    }
    return tracker.Run();
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params) {
    if (!IsMenu(menu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const RECT* exclude =
        params && params->cbSize >= sizeof(TPMPARAMS) ? &params->rcExclude : nullptr;
    UINT chosen = RunPopupMenu(menu, flags, POINT{x, y}, owner, exclude);
    if (flags & TPM_RETURNCMD) {
        return static_cast<BOOL>(chosen);
    }
    if (chosen && owner) {
        PostMessageW(owner, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    }
    return chosen ? TRUE : FALSE;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
    return TrackPopupMenuEx(menu, flags, x, y, owner, nullptr);
}

BOOL EndMenu() {
    Tracker::Cancel(GetCurrentThreadId());
    PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
    return TRUE;
}
