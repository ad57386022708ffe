// The tab control: a row of tabs with one current, drawn raised over the others.
#include <algorithm>
#include <vector>

#include "platform/user/controls_internal.h"
#include "platform/user/tab_control.h"

namespace platform::user {
namespace {

struct Tab {
    std::u16string text;
    LPARAM param = 0;
};

struct Tabs : ControlState {
    std::vector<Tab> tabs;
    int current = -1;
};

// The tabs' rectangles in client coordinates, left to right.
std::vector<RECT> TabRects(const Tabs* control, HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    std::vector<RECT> rects;
    int x = 0;
    for (const Tab& tab : control->tabs) {
        const int width = TextSize(control->font, tab.text).cx + Scale(16);
        rects.push_back(RECT{x, 0, x + width, client.bottom});
        x += width;
    }
    return rects;
}

void Paint(const Tabs* control, HWND hwnd) {
    const std::vector<RECT> rects = TabRects(control, hwnd);
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    FillSystem(dc, paint.Client(), COLOR_BTNFACE);
    HGDIOBJ oldFont = SelectObject(dc, FontOf(*control));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    for (size_t i = 0; i < rects.size(); ++i) {
        RECT tab = rects[i];
        const bool current = static_cast<int>(i) == control->current;
        if (!current) {
            tab.top += Scale(2);
        }
        FillSystem(dc, tab, current ? COLOR_WINDOW : COLOR_BTNFACE);
        Outline(dc, tab, RGB(0, 0, 0));
        const std::u16string& text = control->tabs[i].text;
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tab,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    SelectObject(dc, oldFont);
}

// A user's choice of a tab: the parent may keep the current one.
void Choose(Tabs* control, HWND hwnd, int index) {
    if (index == control->current) {
        return;
    }
    NMHDR header{};
    if (NotifyParent(hwnd, TCN_SELCHANGING, &header) != 0 || !IsWindow(hwnd)) {
        return;
    }
    control->current = index;
    InvalidateRect(hwnd, nullptr, TRUE);
    NotifyParent(hwnd, TCN_SELCHANGE, &header);
}

LRESULT GetItem(const Tabs* control, int index, TCITEMW* item) {
    if (!item || index < 0 || index >= static_cast<int>(control->tabs.size())) {
        return FALSE;
    }
    const Tab& tab = control->tabs[static_cast<size_t>(index)];
    if ((item->mask & TCIF_TEXT) && item->pszText) {
        CopyOut(tab.text, item->pszText, item->cchTextMax);
    }
    if (item->mask & TCIF_PARAM) {
        item->lParam = tab.param;
    }
    return TRUE;
}

LRESULT HandleTabs(Tabs* control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleFontMessage(*control, hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    const int count = static_cast<int>(control->tabs.size());
    const int index = static_cast<int>(wParam);
    switch (message) {
        case WM_PAINT:
            Paint(control, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN: {
            const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            const std::vector<RECT> rects = TabRects(control, hwnd);
            for (size_t i = 0; i < rects.size(); ++i) {
                if (PtInRect(&rects[i], point)) {
                    Choose(control, hwnd, static_cast<int>(i));
                    break;
                }
            }
            return 0;
        }
        case TCM_GETITEMCOUNT:
            return count;
        case TCM_INSERTITEMW: {
            const auto* item = reinterpret_cast<const TCITEMW*>(lParam);
            if (!item || index < 0) {
                return -1;
            }
            Tab tab;
            if ((item->mask & TCIF_TEXT) && item->pszText) {
                tab.text = item->pszText;
            }
            if (item->mask & TCIF_PARAM) {
                tab.param = item->lParam;
            }
            const int at = std::min(index, count);
            control->tabs.insert(control->tabs.begin() + at, tab);
            if (control->current >= at) {
                ++control->current;
            }
            InvalidateRect(hwnd, nullptr, TRUE);
            return at;
        }
        case TCM_DELETEITEM:
            if (index < 0 || index >= count) {
                return FALSE;
            }
            control->tabs.erase(control->tabs.begin() + index);
            if (control->current == index) {
                control->current = -1;
            } else if (control->current > index) {
                --control->current;
            }
            InvalidateRect(hwnd, nullptr, TRUE);
            return TRUE;
        case TCM_GETITEMW:
            return GetItem(control, index, reinterpret_cast<TCITEMW*>(lParam));
        case TCM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (!rect || index < 0 || index >= count) {
                return FALSE;
            }
            *rect = TabRects(control, hwnd)[static_cast<size_t>(index)];
            return TRUE;
        }
        case TCM_GETCURSEL:
            return control->current;
        case TCM_SETCURSEL: {
            const int previous = control->current;
            if (index < 0 || index >= count) {
                return -1;
            }
            control->current = index;
            InvalidateRect(hwnd, nullptr, TRUE);
            return previous;
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW TabControlClass() {
    return ClassEntry(0, ControlProc<Tabs, HandleTabs>, WC_TABCONTROL);
}

}  // namespace platform::user
