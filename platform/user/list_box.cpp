// The list box: a single-selection list of strings (or owner-drawn items) with item
// data, sorting, searching and a vertical scroll bar inside the client area. The
// same procedure serves the drop-down list of a combo box ("ComboLBox"), which tells
// the combo box instead of its parent and never takes the focus.
#include <algorithm>
#include <vector>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

struct Item {
    std::u16string text;
    ULONG_PTR data = 0;
};

struct ListBox : ControlState {
    std::vector<Item> items;
    int selection = -1;
    int top = 0;
    int itemHeight = 0;  // 0: from the font
    bool focused = false;
    bool tracking = false;
    ClientScrollBar bar;
    HWND combo = nullptr;  // the combo box this list drops down from
};

int Count(const ListBox* list) {
    return static_cast<int>(list->items.size());
}

bool Valid(const ListBox* list, WPARAM index) {
    return static_cast<int>(index) >= 0 && static_cast<int>(index) < Count(list);
}

DWORD OwnStyle(const ListBox* list, HWND hwnd) {
    // A combo box's list carries the combo box's choices.
    if (!list->combo) {
        return StyleOf(hwnd);
    }
    DWORD comboStyle = StyleOf(list->combo);
    DWORD style = LBS_NOTIFY | WS_VSCROLL;
    if (comboStyle & CBS_SORT) {
        style |= LBS_SORT;
    }
    if (comboStyle & CBS_OWNERDRAWFIXED) {
        style |= LBS_OWNERDRAWFIXED;
    }
    if (comboStyle & CBS_HASSTRINGS) {
        style |= LBS_HASSTRINGS;
    }
    return style;
}

bool HasStrings(const ListBox* list, HWND hwnd) {
    DWORD style = OwnStyle(list, hwnd);
    return !(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) || (style & LBS_HASSTRINGS);
}

bool OwnerDrawn(const ListBox* list, HWND hwnd) {
    return OwnStyle(list, hwnd) & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE);
}

HWND Owner(const ListBox* list, HWND hwnd) {
    return list->combo ? list->combo : hwnd;
}

int ItemHeight(const ListBox* list) {
    return list->itemHeight > 0 ? list->itemHeight : LineHeight(FontOf(*list)) + Scale(2);
}

int VisibleRows(const ListBox* list, HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    return std::max(1, static_cast<int>(client.bottom) / std::max(1, ItemHeight(list)));
}

int MaxTop(const ListBox* list, HWND hwnd) {
    return std::max(0, Count(list) - VisibleRows(list, hwnd));
}

void Layout(ListBox* list, HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    list->top = std::clamp(list->top, 0, MaxTop(list, hwnd));
    if (OwnStyle(list, hwnd) & WS_VSCROLL) {
        list->bar.Layout(client, Count(list), VisibleRows(list, hwnd), list->top);
    } else {
        list->bar.Layout(client, 0, 1, 0);
    }
}

void Redraw(ListBox* list, HWND hwnd) {
    Layout(list, hwnd);
    if (!(OwnStyle(list, hwnd) & LBS_NOREDRAW)) {
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

void SetTop(ListBox* list, HWND hwnd, int top) {
    top = std::clamp(top, 0, MaxTop(list, hwnd));
    if (top != list->top) {
        list->top = top;
        Redraw(list, hwnd);
    }
}

void EnsureVisible(ListBox* list, HWND hwnd, int index) {
    if (index < 0) {
        return;
    }
    int rows = VisibleRows(list, hwnd);
    if (index < list->top) {
        SetTop(list, hwnd, index);
    } else if (index >= list->top + rows) {
        SetTop(list, hwnd, index - rows + 1);
    }
}

void Notify(ListBox* list, HWND hwnd, int code) {
    if (!list->combo && (StyleOf(hwnd) & LBS_NOTIFY)) {
        NotifyCommand(hwnd, code);
    }
}

// Returns whether the selection changed.
bool Select(ListBox* list, HWND hwnd, int index) {
    if (index < -1 || index >= Count(list) || index == list->selection) {
        return false;
    }
    list->selection = index;
    EnsureVisible(list, hwnd, index);
    Redraw(list, hwnd);
    return true;
}

int SortedPosition(const ListBox* list, const std::u16string& text) {
    auto it = std::upper_bound(list->items.begin(), list->items.end(), text,
                               [](const std::u16string& value, const Item& item) {
                                   return CompareNoCase(value, item.text) < 0;
                               });
    return static_cast<int>(it - list->items.begin());
}

int Insert(ListBox* list, HWND hwnd, int index, LPARAM value, bool sorted) {
    Item item;
    if (HasStrings(list, hwnd)) {
        auto* text = reinterpret_cast<LPCWSTR>(value);
        item.text = text ? text : u"";
    } else {
        item.data = static_cast<ULONG_PTR>(value);
    }
    if (sorted && HasStrings(list, hwnd)) {
        index = SortedPosition(list, item.text);
    } else if (index < 0) {
        index = Count(list);
    } else if (index > Count(list)) {
        return LB_ERR;
    }
    list->items.insert(list->items.begin() + index, std::move(item));
    if (list->selection >= index) {
        ++list->selection;
    }
    Redraw(list, hwnd);
    return index;
}

int Find(const ListBox* list, HWND hwnd, WPARAM start, LPARAM value, bool exact) {
    int count = Count(list);
    if (count == 0) {
        return LB_ERR;
    }
    int first = Valid(list, start) ? static_cast<int>(start) + 1 : 0;
    bool strings = HasStrings(list, hwnd);
    auto* text = reinterpret_cast<LPCWSTR>(value);
    std::u16string wanted = (strings && text) ? text : u"";
    for (int n = 0; n < count; ++n) {
        int i = (first + n) % count;
        const Item& item = list->items[static_cast<size_t>(i)];
        bool hit =
            strings ? (exact ? EqualNoCase(item.text, wanted) : StartsWithNoCase(item.text, wanted))
                    : item.data == static_cast<ULONG_PTR>(value);
        if (hit) {
            return i;
        }
    }
    return LB_ERR;
}

// The item at a client point, or -1 (rows past the last item, or the scroll bar).
int ItemAt(ListBox* list, HWND hwnd, POINT point) {
    RECT client{};
    GetClientRect(hwnd, &client);
    if (point.y < 0 || point.y >= client.bottom || point.x < 0 || point.x >= client.right) {
        return -1;
    }
    int index = list->top + point.y / std::max(1, ItemHeight(list));
    return index < Count(list) ? index : -1;
}

RECT ItemRect(ListBox* list, HWND hwnd, int index) {
    RECT client{};
    GetClientRect(hwnd, &client);
    if (list->bar.Shown()) {
        client.right = list->bar.Bar().left;
    }
    int height = ItemHeight(list);
    int y = (index - list->top) * height;
    return RECT{0, y, client.right, y + height};
}

void MeasureItems(ListBox* list, HWND hwnd) {
    if (!OwnerDrawn(list, hwnd)) {
        return;
    }
    HWND owner = Owner(list, hwnd);
    HWND parent = GetParent(owner);
    if (!parent) {
        return;
    }
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = list->combo ? ODT_COMBOBOX : ODT_LISTBOX;
    measure.CtlID = static_cast<UINT>(ControlId(owner));
    measure.itemHeight = static_cast<UINT>(ItemHeight(list));
    SendMessageW(parent, WM_MEASUREITEM, measure.CtlID, reinterpret_cast<LPARAM>(&measure));
    if (measure.itemHeight > 0) {
        list->itemHeight = static_cast<int>(measure.itemHeight);
    }
}

// Without LBS_NOINTEGRALHEIGHT the list shows whole rows only.
void FitIntegralHeight(ListBox* list, HWND hwnd) {
    if (list->combo || (StyleOf(hwnd) & (LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWVARIABLE))) {
        return;
    }
    RECT window{};
    RECT client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    int height = ItemHeight(list);
    int rows = std::max(1, static_cast<int>(client.bottom) / std::max(1, height));
    int frame = (window.bottom - window.top) - client.bottom;
    int wanted = frame + rows * height;
    if (wanted != window.bottom - window.top && client.bottom >= height) {
        SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left, wanted,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Paint(ListBox* list, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    Layout(list, hwnd);
    RECT client = paint.Client();
    HWND owner = Owner(list, hwnd);
    HBRUSH brush = ControlColors(owner, WM_CTLCOLORLISTBOX, dc);
    COLORREF textColor = IsWindowEnabled(owner) ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    FillRect(dc, &client, brush);
    HGDIOBJ oldFont = SelectObject(dc, FontOf(*list));
    SetBkMode(dc, TRANSPARENT);
    int rows = VisibleRows(list, hwnd) + 1;
    bool ownerDrawn = OwnerDrawn(list, hwnd);
    for (int i = list->top; i < Count(list) && i < list->top + rows; ++i) {
        RECT row = ItemRect(list, hwnd, i);
        bool selected = i == list->selection;
        const Item& item = list->items[static_cast<size_t>(i)];
        if (ownerDrawn) {
            DRAWITEMSTRUCT draw{};
            draw.CtlType = list->combo ? ODT_COMBOBOX : ODT_LISTBOX;
            draw.CtlID = static_cast<UINT>(ControlId(owner));
            draw.itemID = static_cast<UINT>(i);
            draw.itemAction = ODA_DRAWENTIRE;
            draw.itemState = (selected ? ODS_SELECTED : 0) |
                             (selected && list->focused ? ODS_FOCUS : 0) |
                             (IsWindowEnabled(owner) ? 0 : ODS_DISABLED);
            draw.hwndItem = owner;
            draw.hDC = dc;
            draw.rcItem = row;
            draw.itemData = item.data;
            if (HWND parent = GetParent(owner)) {
                SendMessageW(parent, WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
            }
            continue;
        }
        if (selected) {
            FillSystem(dc, row, COLOR_HIGHLIGHT);
        }
        SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColor);
        RECT label = row;
        InflateRect(&label, -Scale(2), 0);
        DrawTextLine(dc, item.text, label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        if (selected && list->focused) {
            DrawFocus(dc, row, GetSysColor(COLOR_HIGHLIGHTTEXT));
        }
    }
    list->bar.Draw(dc);
    SelectObject(dc, oldFont);
}

void KeyDown(ListBox* list, HWND hwnd, WPARAM key) {
    int count = Count(list);
    if (count == 0 || (OwnStyle(list, hwnd) & LBS_NOSEL)) {
        return;
    }
    int page = std::max(1, VisibleRows(list, hwnd) - 1);
    int current = list->selection;
    int next = current;
    switch (key) {
        case VK_UP:
        case VK_LEFT:
            next = current < 0 ? 0 : current - 1;
            break;
        case VK_DOWN:
        case VK_RIGHT:
            next = current + 1;
            break;
        default:
            if (!PagingKeyRow(key, current, page, count, &next)) {
                return;
            }
            break;
    }
    next = std::clamp(next, 0, count - 1);
    if (Select(list, hwnd, next)) {
        Notify(list, hwnd, LBN_SELCHANGE);
    } else {
        EnsureVisible(list, hwnd, next);
    }
}

void TypeAhead(ListBox* list, HWND hwnd, char16_t c) {
    if (c < 0x20 || !HasStrings(list, hwnd) || (OwnStyle(list, hwnd) & LBS_NOSEL)) {
        return;
    }
    std::u16string prefix(1, c);
    int found = Find(list, hwnd, static_cast<WPARAM>(list->selection),
                     reinterpret_cast<LPARAM>(prefix.c_str()), false);
    if (found >= 0 && Select(list, hwnd, found)) {
        Notify(list, hwnd, LBN_SELCHANGE);
    }
}

void PointerDown(ListBox* list, HWND hwnd, UINT message, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    RECT client{};
    GetClientRect(hwnd, &client);
    if (list->combo && !PtInRect(&client, point)) {
        // A press outside the dropped list dismisses it.
        SendMessageW(list->combo, kComboListDone, FALSE, 0);
        return;
    }
    int top = list->top;
    if (list->bar.Press(point, &top)) {
        SetTop(list, hwnd, top);
        if (list->bar.Dragging() && !list->combo) {
            SetCapture(hwnd);
        }
        return;
    }
    if (!list->combo && !TakeFocus(hwnd)) {
        return;
    }
    list->tracking = true;
    if (!list->combo) {
        SetCapture(hwnd);
    }
    int index = ItemAt(list, hwnd, point);
    bool changed = index >= 0 && !(OwnStyle(list, hwnd) & LBS_NOSEL) && Select(list, hwnd, index);
    if (changed) {
        Notify(list, hwnd, LBN_SELCHANGE);
    }
    if (message == WM_LBUTTONDBLCLK && index >= 0 && IsWindow(hwnd)) {
        Notify(list, hwnd, LBN_DBLCLK);
    }
}

void PointerMove(ListBox* list, HWND hwnd, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    int top = 0;
    if (list->bar.Drag(point, &top)) {
        SetTop(list, hwnd, top);
        return;
    }
    if (!list->tracking || (OwnStyle(list, hwnd) & LBS_NOSEL)) {
        return;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    int index = -1;
    if (point.y < 0) {
        index = std::max(0, list->top - 1);
    } else if (point.y >= client.bottom) {
        index = std::min(Count(list) - 1, list->top + VisibleRows(list, hwnd));
    } else {
        index = ItemAt(list, hwnd, point);
    }
    if (index >= 0 && Select(list, hwnd, index)) {
        Notify(list, hwnd, LBN_SELCHANGE);
    }
}

void PointerUp(ListBox* list, HWND hwnd, LPARAM lParam) {
    bool wasTracking = list->tracking;
    list->tracking = false;
    if (list->bar.Dragging()) {
        list->bar.Release();
        if (!list->combo) {
            ReleaseCapture();
        }
        return;
    }
    if (!list->combo) {
        if (wasTracking) {
            ReleaseCapture();
        }
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (wasTracking && ItemAt(list, hwnd, point) >= 0) {
        SendMessageW(list->combo, kComboListDone, TRUE, 0);
    }
}

LRESULT ListMessage(ListBox* list, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case LB_ADDSTRING:
            return Insert(list, hwnd, -1, lParam, OwnStyle(list, hwnd) & LBS_SORT);
        case LB_INSERTSTRING:
            return Insert(list, hwnd, static_cast<int>(wParam), lParam, false);
        case LB_DELETESTRING: {
            if (!Valid(list, wParam)) {
                return LB_ERR;
            }
            int index = static_cast<int>(wParam);
            list->items.erase(list->items.begin() + index);
            if (list->selection == index) {
                list->selection = -1;
            } else if (list->selection > index) {
                --list->selection;
            }
            Redraw(list, hwnd);
            return Count(list);
        }
        case LB_RESETCONTENT:
            list->items.clear();
            list->selection = -1;
            list->top = 0;
            Redraw(list, hwnd);
            return 0;
        case LB_GETCOUNT:
            return Count(list);
        case LB_GETCURSEL:
            return list->selection;
        case LB_SETCURSEL:
            if (static_cast<int>(wParam) == -1) {
                Select(list, hwnd, -1);
                return LB_ERR;
            }
            if (!Valid(list, wParam)) {
                return LB_ERR;
            }
            Select(list, hwnd, static_cast<int>(wParam));
            return list->selection;
        case LB_GETSEL:
            return Valid(list, wParam) ? (static_cast<int>(wParam) == list->selection ? 1 : 0)
                                       : LB_ERR;
        case LB_SETSEL:
            // Only single-selection lists here.
            return LB_ERR;
        case LB_GETTEXT: {
            if (!Valid(list, wParam)) {
                return LB_ERR;
            }
            const Item& item = list->items[wParam];
            if (!HasStrings(list, hwnd)) {
                if (lParam) {
                    *reinterpret_cast<ULONG_PTR*>(lParam) = item.data;
                }
                return sizeof(ULONG_PTR);
            }
            return CopyOut(item.text, reinterpret_cast<LPWSTR>(lParam),
                           static_cast<int>(item.text.size()) + 1);
        }
        case LB_GETTEXTLEN:
            if (!Valid(list, wParam)) {
                return LB_ERR;
            }
            return HasStrings(list, hwnd) ? static_cast<LRESULT>(list->items[wParam].text.size())
                                          : static_cast<LRESULT>(sizeof(ULONG_PTR));
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT:
            return Find(list, hwnd, wParam, lParam, message == LB_FINDSTRINGEXACT);
        case LB_SELECTSTRING: {
            int found = Find(list, hwnd, wParam, lParam, false);
            if (found >= 0) {
                Select(list, hwnd, found);
            }
            return found;
        }
        case LB_GETTOPINDEX:
            return list->top;
        case LB_SETTOPINDEX:
            if (!Valid(list, wParam) && !(wParam == 0 && Count(list) == 0)) {
                return LB_ERR;
            }
            SetTop(list, hwnd, static_cast<int>(wParam));
            return LB_OKAY;
        case LB_GETITEMRECT:
            if (!Valid(list, wParam) || !lParam) {
                return LB_ERR;
            }
            Layout(list, hwnd);
            *reinterpret_cast<RECT*>(lParam) = ItemRect(list, hwnd, static_cast<int>(wParam));
            return 1;
        case LB_GETITEMDATA:
            return Valid(list, wParam) ? static_cast<LRESULT>(list->items[wParam].data) : LB_ERR;
        case LB_SETITEMDATA:
            if (!Valid(list, wParam)) {
                return LB_ERR;
            }
            list->items[wParam].data = static_cast<ULONG_PTR>(lParam);
            return LB_OKAY;
        case LB_SETITEMHEIGHT: {
            int height = LOWORD(lParam);
            if (height <= 0 || height > 255) {
                return LB_ERR;
            }
            list->itemHeight = height;
            Redraw(list, hwnd);
            return LB_OKAY;
        }
        case LB_GETITEMHEIGHT:
            return ItemHeight(list);
        case LB_ITEMFROMPOINT: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            int index = ItemAt(list, hwnd, point);
            if (index >= 0) {
                return MAKELRESULT(index, 0);
            }
            int nearest = std::clamp(list->top + point.y / std::max(1, ItemHeight(list)), 0,
                                     std::max(0, Count(list) - 1));
            return MAKELRESULT(nearest, 1);
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT HandleListBox(ListBox* list, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleFontMessage(*list, hwnd, message, wParam, lParam, &result)) {
        if (message == WM_SETFONT) {
            FitIntegralHeight(list, hwnd);
            Redraw(list, hwnd);
        }
        return result;
    }
    if (message >= LB_ADDSTRING && message <= LB_ITEMFROMPOINT) {
        return ListMessage(list, hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            WCHAR name[16] = {};
            GetClassNameW(hwnd, name, 16);
            if (create && EqualNoCase(name, u"ComboLBox")) {
                list->combo = static_cast<HWND>(create->lpCreateParams);
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        case WM_CREATE:
            MeasureItems(list, hwnd);
            FitIntegralHeight(list, hwnd);
            Layout(list, hwnd);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS;
        case WM_PAINT:
            Paint(list, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
        case WM_ENABLE:
            Redraw(list, hwnd);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            list->focused = message == WM_SETFOCUS;
            InvalidateRect(hwnd, nullptr, FALSE);
            Notify(list, hwnd, list->focused ? LBN_SETFOCUS : LBN_KILLFOCUS);
            return 0;
        case WM_KEYDOWN:
            KeyDown(list, hwnd, wParam);
            return 0;
        case WM_CHAR:
            TypeAhead(list, hwnd, static_cast<char16_t>(wParam));
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            PointerDown(list, hwnd, message, lParam);
            return 0;
        case WM_MOUSEMOVE:
            PointerMove(list, hwnd, lParam);
            return 0;
        case WM_LBUTTONUP:
            PointerUp(list, hwnd, lParam);
            return 0;
        case WM_CAPTURECHANGED:
            if (!list->combo) {
                list->tracking = false;
                list->bar.Release();
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlProc<ListBox, HandleListBox>(hwnd, message, wParam, lParam);
}

WNDCLASSW ListBoxClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ListBoxProc, u"ListBox");
}

WNDCLASSW ComboListClass() {
    return ClassEntry(CS_DBLCLKS, ListBoxProc, u"ComboLBox");
}

}  // namespace platform::user
