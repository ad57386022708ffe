// A top-level window's menu bar: a band of the window's frame under the caption,
// whose entries open their popups.
#include <algorithm>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

struct Entry {
    RECT rect;  // in window coordinates
    MenuItem item;
};

// The bar in window coordinates (from the window's top-left corner).
RECT BarRectLocked(const Window* window) {
    const RECT whole = WindowRectOnScreenLocked(window);
    const RECT frame = FrameInsets(window->style, window->exStyle);
    return RECT{frame.left, frame.top, whole.right - whole.left - frame.right,
                frame.top + MenuBarHeightLocked(window)};
}

// The bar and its entries, left to right; false when the window has no bar.
bool LayOut(HWND hwnd, RECT* bar, std::vector<Entry>* entries) {
    HMENU menu = nullptr;
    {
        Lock lock = TakeLock();
        Window* window = FindLocked(hwnd);
        if (!window || MenuBarHeightLocked(window) == 0) {
            return false;
        }
        menu = window->menu;
        *bar = BarRectLocked(window);
    }
    std::vector<MenuItem> items;
    if (!MenuItems(menu, &items)) {
        items.clear();
    }
    const std::vector<int> widths = MenuBarEntryWidths(items);
    entries->clear();
    int x = bar->left;
    for (size_t i = 0; i < items.size(); ++i) {
        entries->push_back(Entry{RECT{x, bar->top, x + widths[i], bar->bottom}, items[i]});
        x += widths[i];
    }
    return true;
}

void RedrawFrameLocked(Window* window) {
    window->frameDirty = true;
    window->invalidations++;
    NotifyWaitersLocked();
}

// The client area moved: the window and everything in it paint again.
void RedrawAllLocked(Window* window) {
    RedrawFrameLocked(window);
    InvalidateClientLocked(window, nullptr, true);
    for (Window* child : window->children) {
        RedrawAllLocked(child);
    }
}

}  // namespace

std::vector<int> MenuBarEntryWidths(const std::vector<MenuItem>& items) {
    std::vector<int> widths;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, SystemUiFont(9));
    for (const MenuItem& item : items) {
        RECT r{0, 0, 0, 0};
        DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &r,
                  DT_CALCRECT | DT_SINGLELINE);
        widths.push_back(r.right + Scaled(12));
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return widths;
}

int MenuBarHeightLocked(const Window* window) {
    if (!window->menu || (window->style & WS_CHILD) || !window->parent) {
        return 0;
    }
    return GetSystemMetrics(SM_CYMENU);
}

bool OnMenuBarLocked(const Window* window, POINT screenPoint) {
    if (MenuBarHeightLocked(window) == 0) {
        return false;
    }
    RECT bar = BarRectLocked(window);
    const RECT whole = WindowRectOnScreenLocked(window);
    OffsetRect(&bar, whole.left, whole.top);
    return PtInRect(&bar, screenPoint);
}

void DrawMenuBarFrame(HWND hwnd, HDC windowDC) {
    RECT bar;
    std::vector<Entry> entries;
    if (!LayOut(hwnd, &bar, &entries)) {
        return;
    }
    FillRect(windowDC, &bar, GetSysColorBrush(COLOR_MENU));
    RECT edge{bar.left, bar.bottom - 1, bar.right, bar.bottom};
    FillRect(windowDC, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
    HGDIOBJ oldFont = SelectObject(windowDC, SystemUiFont(9));
    SetBkMode(windowDC, TRANSPARENT);
    for (Entry& entry : entries) {
        const bool grey = entry.item.flags & (MF_GRAYED | MF_DISABLED);
        SetTextColor(windowDC, GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
        DrawTextW(windowDC, entry.item.text.c_str(), static_cast<int>(entry.item.text.size()),
                  &entry.rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(windowDC, oldFont);
}

LRESULT MenuBarInput(HWND hwnd, LPARAM screenPoint) {
    RECT bar;
    std::vector<Entry> entries;
    RECT whole;
    if (!LayOut(hwnd, &bar, &entries) || !GetWindowRect(hwnd, &whole)) {
        return 0;
    }
    const POINT point{GET_X_LPARAM(screenPoint) - whole.left,
                      GET_Y_LPARAM(screenPoint) - whole.top};
    auto entry = std::find_if(entries.begin(), entries.end(),
                              [&](const Entry& e) { return PtInRect(&e.rect, point); });
    if (entry == entries.end() || (entry->item.flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR))) {
        return 0;
    }
    UINT chosen = entry->item.id;
    if (entry->item.popup) {
        RECT onScreen = entry->rect;
        OffsetRect(&onScreen, whole.left, whole.top);
        chosen = RunPopupMenu(entry->item.popup, TPM_LEFTALIGN | TPM_TOPALIGN,
                              POINT{onScreen.left, onScreen.bottom}, hwnd, &onScreen);
    }
    if (chosen && IsWindow(hwnd)) {
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    }
    return 0;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

BOOL SetMenu(HWND hwnd, HMENU menu) {
    if (menu && !IsMenu(menu)) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    bool changed = false;
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return FALSE;
        }
        if ((window->style & WS_CHILD) || window == StateLocked().desktop) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        changed = (window->menu != nullptr) != (menu != nullptr);
        window->menu = menu;
        if (changed) {
            RedrawAllLocked(window);
        } else {
            RedrawFrameLocked(window);
        }
    }
    // The client area grew or shrank.
    if (changed) {
        SendSizeAndMove(hwnd);
    }
    return TRUE;
}

HMENU GetMenu(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    return window && !(window->style & WS_CHILD) ? window->menu : nullptr;
}

BOOL DrawMenuBar(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return FALSE;
    }
    if (MenuBarHeightLocked(window) > 0) {
        RedrawFrameLocked(window);
    }
    return TRUE;
}
