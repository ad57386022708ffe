// The combo box: a field (a child edit control with CBS_DROPDOWN, drawn by the
// combo box with CBS_DROPDOWNLIST) and a drop-down list, a top-level popup of class
// "ComboLBox" that holds the items. While the list is down the combo box holds the
// capture, so a press anywhere else closes it. Picking an item sends CBN_SELENDOK, CBN_CLOSEUP
// and then CBN_SELCHANGE when the selection changed; dismissing the list sends
// CBN_SELENDCANCEL and CBN_CLOSEUP.
#include <algorithm>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

constexpr int kEditId = 1001;

struct Combo : ControlState {
    HWND list = nullptr;
    HWND edit = nullptr;
    WNDPROC editProc = nullptr;  // the edit control's own procedure (subclassed)
    int listHeight = 0;          // the height asked for the dropped list
    int droppedWidth = 0;
    int fieldItemHeight = 0;  // CB_SETITEMHEIGHT(-1)
    bool dropped = false;
    bool focused = false;      // the focus is on the combo box or its edit control
    bool settingText = false;  // the combo box itself is changing the edit's text
    int selectionAtDrop = -1;
};

int ButtonWidth() {
    return ClientScrollBar::Width() + Scale(2);
}

int FieldHeight(Combo* combo) {
    int item = combo->fieldItemHeight > 0 ? combo->fieldItemHeight : LineHeight(FontOf(*combo));
    return item + Scale(6);
}

int Selection(Combo* combo) {
    return combo->list ? static_cast<int>(SendMessageW(combo->list, LB_GETCURSEL, 0, 0)) : -1;
}

std::u16string ItemText(Combo* combo, int index) {
    if (!combo->list || index < 0) {
        return {};
    }
    auto length = SendMessageW(combo->list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return {};
    }
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    SendMessageW(combo->list, LB_GETTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// The window text follows what the field shows, so other threads can read it.
void MirrorText(HWND hwnd, const std::u16string& text) {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// The field shows the selected item.
void ShowSelection(Combo* combo, HWND hwnd) {
    std::u16string text = ItemText(combo, Selection(combo));
    if (combo->edit) {
        combo->settingText = true;
        SetWindowTextW(combo->edit, text.c_str());
        if (combo->focused) {
            SendMessageW(combo->edit, EM_SETSEL, 0, -1);
        }
        combo->settingText = false;
    }
    MirrorText(hwnd, text);
    InvalidateRect(hwnd, nullptr, FALSE);
}

void LayoutEdit(Combo* combo, HWND hwnd) {
    if (!combo->edit) {
        return;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    MoveWindow(combo->edit, 1, 1, std::max<int>(0, client.right - ButtonWidth() - 2),
               std::max<int>(0, client.bottom - 2), TRUE);
}

HWND TopLevelOf(HWND hwnd) {
    while (hwnd && (StyleOf(hwnd) & WS_CHILD)) {
        hwnd = GetParent(hwnd);
    }
    return hwnd;
}

LRESULT CALLBACK ComboEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The window is as tall as the field; the rest of the height asked for is the list's.
void FitField(Combo* combo, HWND hwnd) {
    RECT window{};
    RECT client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    int frame = (window.bottom - window.top) - client.bottom;
    SetWindowPos(hwnd, nullptr, 0, 0, window.right - window.left, FieldHeight(combo) + frame,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    LayoutEdit(combo, hwnd);
}

void Create(Combo* combo, HWND hwnd, const CREATESTRUCTW* create) {
    DWORD style = create->style;
    combo->listHeight = std::max(create->cy - FieldHeight(combo), LineHeight(FontOf(*combo)) * 3);
    combo->list = CreateWindowExW(
        WS_EX_TOPMOST | WS_EX_TOOLWINDOW, u"ComboLBox", nullptr, WS_POPUP | WS_BORDER | WS_VSCROLL,
        0, 0, create->cx, combo->listHeight, TopLevelOf(hwnd), nullptr, create->hInstance, hwnd);
    if ((style & 0x3) == CBS_DROPDOWN || (style & 0x3) == CBS_SIMPLE) {
        DWORD editStyle = WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL;
        if (style & CBS_UPPERCASE) {
            editStyle |= ES_UPPERCASE;
        }
        if (style & CBS_LOWERCASE) {
            editStyle |= ES_LOWERCASE;
        }
        combo->edit = CreateWindowExW(0, u"Edit", nullptr, editStyle, 0, 0, 0, 0, hwnd,
                                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)),
                                      create->hInstance, nullptr);
        if (combo->edit) {
            combo->editProc =
                reinterpret_cast<WNDPROC>(GetWindowLongPtrW(combo->edit, GWLP_WNDPROC));
            SetWindowLongPtrW(combo->edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ComboEditProc));
        }
    }
    FitField(combo, hwnd);
}

RECT DroppedRect(Combo* combo, HWND hwnd) {
    RECT field{};
    GetWindowRect(hwnd, &field);
    int width = std::max<int>(combo->droppedWidth, field.right - field.left);
    int count = static_cast<int>(SendMessageW(combo->list, LB_GETCOUNT, 0, 0));
    int item = static_cast<int>(SendMessageW(combo->list, LB_GETITEMHEIGHT, 0, 0));
    int height = std::min(combo->listHeight, std::max(1, count) * item + 2);
    RECT r{field.left, field.bottom, field.left + width, field.bottom + height};
    if (r.bottom > ScreenHeight() && field.top - height >= 0) {
        r = RECT{field.left, field.top - height, field.left + width, field.top};
    }
    if (r.right > ScreenWidth()) {
        OffsetRect(&r, std::max<LONG>(-r.left, ScreenWidth() - r.right), 0);
    }
    return r;
}

void DropDown(Combo* combo, HWND hwnd) {
    if (combo->dropped || !combo->list) {
        return;
    }
    NotifyCommand(hwnd, CBN_DROPDOWN);
    if (!IsWindow(hwnd) || !IsWindow(combo->list)) {
        return;
    }
    combo->selectionAtDrop = Selection(combo);
    RECT r = DroppedRect(combo, hwnd);
    SetWindowPos(combo->list, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE);
    if (combo->selectionAtDrop >= 0) {
        SendMessageW(combo->list, LB_SETCURSEL, static_cast<WPARAM>(combo->selectionAtDrop), 0);
    }
    combo->dropped = true;
    // The combo box holds the capture (its dialog stays active) and hands what falls
    // on the list to the list.
    SetCapture(hwnd);
    InvalidateRect(hwnd, nullptr, FALSE);
}

// The notifications go last: the parent may destroy the combo box in answer.
void CloseUp(Combo* combo, HWND hwnd, bool picked);

// While the list is down: what falls on the list goes to it, a press anywhere
// else closes it.
LRESULT DroppedPointer(Combo* combo, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ClientToScreen(hwnd, &point);
    RECT list{};
    if (IsWindow(combo->list) && GetWindowRect(combo->list, &list) && PtInRect(&list, point)) {
        ScreenToClient(combo->list, &point);
        return SendMessageW(combo->list, message, wParam, MAKELPARAM(point.x, point.y));
    }
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        CloseUp(combo, hwnd, false);
    }
    return 0;
}

void CloseUp(Combo* combo, HWND hwnd, bool picked) {
    if (!combo->dropped) {
        return;
    }
    combo->dropped = false;
    if (GetCapture() == hwnd) {
        ReleaseCapture();
    }
    if (IsWindow(combo->list)) {
        ShowWindow(combo->list, SW_HIDE);
        if (!picked) {
            SendMessageW(combo->list, LB_SETCURSEL, static_cast<WPARAM>(combo->selectionAtDrop), 0);
        }
    }
    int selection = Selection(combo);
    bool changed = picked && selection != combo->selectionAtDrop;
    if (changed) {
        ShowSelection(combo, hwnd);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    NotifyCommand(hwnd, picked ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (IsWindow(hwnd)) {
        NotifyCommand(hwnd, CBN_CLOSEUP);
    }
    if (changed && IsWindow(hwnd)) {
        NotifyCommand(hwnd, CBN_SELCHANGE);
    }
}

void FocusIn(Combo* combo, HWND hwnd) {
    if (combo->focused) {
        return;
    }
    combo->focused = true;
    if (combo->edit) {
        SendMessageW(combo->edit, EM_SETSEL, 0, -1);
    }
    InvalidateRect(hwnd, nullptr, FALSE);
    NotifyCommand(hwnd, CBN_SETFOCUS);
}

void FocusOut(Combo* combo, HWND hwnd) {
    if (!combo->focused) {
        return;
    }
    combo->focused = false;
    CloseUp(combo, hwnd, false);
    if (IsWindow(hwnd)) {
        InvalidateRect(hwnd, nullptr, FALSE);
        NotifyCommand(hwnd, CBN_KILLFOCUS);
    }
}

void Step(Combo* combo, HWND hwnd, int delta, bool toEnd) {
    int count = static_cast<int>(SendMessageW(combo->list, LB_GETCOUNT, 0, 0));
    if (count == 0) {
        return;
    }
    int current = Selection(combo);
    int next = toEnd ? (delta < 0 ? 0 : count - 1) : (current < 0 ? 0 : current + delta);
    next = std::clamp(next, 0, count - 1);
    if (next == current) {
        return;
    }
    SendMessageW(combo->list, LB_SETCURSEL, static_cast<WPARAM>(next), 0);
    if (combo->dropped) {
        return;  // taken or dropped when the list closes
    }
    ShowSelection(combo, hwnd);
    NotifyCommand(hwnd, CBN_SELCHANGE);
}

// Returns true when the key was the combo box's.
bool KeyDown(Combo* combo, HWND hwnd, WPARAM key) {
    int page = std::max(1, combo->listHeight / std::max(1, LineHeight(FontOf(*combo))) - 1);
    switch (key) {
        case VK_F4:
            if (combo->dropped) {
                CloseUp(combo, hwnd, true);
            } else {
                DropDown(combo, hwnd);
            }
            return true;
        case VK_UP:
            Step(combo, hwnd, -1, false);
            return true;
        case VK_DOWN:
            Step(combo, hwnd, 1, false);
            return true;
        case VK_PRIOR:
            Step(combo, hwnd, -page, false);
            return true;
        case VK_NEXT:
            Step(combo, hwnd, page, false);
            return true;
        case VK_HOME:
        case VK_END:
            if (combo->edit) {
                return false;  // the edit control moves its caret
            }
            Step(combo, hwnd, key == VK_HOME ? -1 : 1, true);
            return true;
        case VK_RETURN:
        case VK_ESCAPE:
            if (!combo->dropped) {
                return false;
            }
            CloseUp(combo, hwnd, key == VK_RETURN);
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK ComboEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND comboWindow = GetParent(hwnd);
    Combo* combo = comboWindow ? StateOf<Combo>(comboWindow) : nullptr;
    if (!combo || !combo->editProc) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    WNDPROC original = combo->editProc;
    switch (message) {
        case WM_KEYDOWN:
            if (KeyDown(combo, comboWindow, wParam)) {
                return 0;
            }
            break;
        case WM_GETDLGCODE: {
            LRESULT code = CallWindowProcW(original, hwnd, message, wParam, lParam);
            return combo->dropped ? code | DLGC_WANTALLKEYS : code;
        }
        default:
            break;
    }
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
}

void OnEditCommand(Combo* combo, HWND hwnd, WORD code) {
    switch (code) {
        case EN_SETFOCUS:
            FocusIn(combo, hwnd);
            break;
        case EN_KILLFOCUS:
            if (GetFocus() != hwnd) {
                FocusOut(combo, hwnd);
            }
            break;
        case EN_UPDATE:
            if (!combo->settingText) {
                NotifyCommand(hwnd, CBN_EDITUPDATE);
            }
            break;
        case EN_CHANGE:
            MirrorText(hwnd, WindowText(combo->edit));
            if (!combo->settingText) {
                NotifyCommand(hwnd, CBN_EDITCHANGE);
            }
            break;
        default:
            break;
    }
}

void Paint(Combo* combo, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    bool enabled = IsWindowEnabled(hwnd);
    HBRUSH brush = ControlColors(hwnd, enabled ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC, dc);
    COLORREF textColor = enabled ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    FillRect(dc, &client, brush);
    RECT button{client.right - ButtonWidth(), client.top, client.right, client.bottom};
    FillSystem(dc, button, combo->dropped ? COLOR_BTNSHADOW : COLOR_BTNFACE);
    RECT separator{button.left, button.top, button.left + 1, button.bottom};
    FillColor(dc, separator, GetSysColor(COLOR_WINDOWFRAME));
    RECT arrow = button;
    InflateRect(&arrow, -Scale(3), -Scale(4));
    DrawArrow(dc, arrow, ArrowDirection::Down,
              GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    Outline(dc, client, GetSysColor(COLOR_WINDOWFRAME));
    if (!combo->edit) {
        RECT field{client.left + 2, client.top + 2, button.left - 1, client.bottom - 2};
        int selection = Selection(combo);
        if (StyleOf(hwnd) & CBS_OWNERDRAWFIXED) {
            DRAWITEMSTRUCT draw{};
            draw.CtlType = ODT_COMBOBOX;
            draw.CtlID = static_cast<UINT>(ControlId(hwnd));
            draw.itemID = static_cast<UINT>(selection);
            draw.itemAction = ODA_DRAWENTIRE;
            draw.itemState = ODS_COMBOBOXEDIT | (combo->focused ? ODS_SELECTED | ODS_FOCUS : 0) |
                             (enabled ? 0 : ODS_DISABLED);
            draw.hwndItem = hwnd;
            draw.hDC = dc;
            draw.rcItem = field;
            if (selection >= 0) {
                draw.itemData = static_cast<ULONG_PTR>(
                    SendMessageW(combo->list, LB_GETITEMDATA, static_cast<WPARAM>(selection), 0));
            }
            if (HWND parent = GetParent(hwnd)) {
                SendMessageW(parent, WM_DRAWITEM, draw.CtlID, reinterpret_cast<LPARAM>(&draw));
            }
        } else {
            bool highlight = combo->focused && !combo->dropped;
            if (highlight) {
                FillSystem(dc, field, COLOR_HIGHLIGHT);
            }
            HGDIOBJ oldFont = SelectObject(dc, FontOf(*combo));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, highlight ? GetSysColor(COLOR_HIGHLIGHTTEXT) : textColor);
            RECT label = field;
            label.left += Scale(2);
            DrawTextLine(dc, ItemText(combo, selection), label,
                         DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
            SelectObject(dc, oldFont);
        }
    }
}

LRESULT ForwardToList(Combo* combo, UINT message, WPARAM wParam, LPARAM lParam) {
    return combo->list ? SendMessageW(combo->list, message, wParam, lParam) : CB_ERR;
}

LRESULT ComboMessage(Combo* combo, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case CB_ADDSTRING:
            return ForwardToList(combo, LB_ADDSTRING, wParam, lParam);
        case CB_INSERTSTRING:
            return ForwardToList(combo, LB_INSERTSTRING, wParam, lParam);
        case CB_DELETESTRING: {
            int before = Selection(combo);
            LRESULT result = ForwardToList(combo, LB_DELETESTRING, wParam, lParam);
            if (result != CB_ERR && before == static_cast<int>(wParam) && !combo->edit) {
                ShowSelection(combo, hwnd);
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return result;
        }
        case CB_RESETCONTENT:
            ForwardToList(combo, LB_RESETCONTENT, 0, 0);
            ShowSelection(combo, hwnd);
            return CB_OKAY;
        case CB_GETCOUNT:
            return ForwardToList(combo, LB_GETCOUNT, 0, 0);
        case CB_GETCURSEL:
            return ForwardToList(combo, LB_GETCURSEL, 0, 0);
        case CB_GETLBTEXT:
            return ForwardToList(combo, LB_GETTEXT, wParam, lParam);
        case CB_GETLBTEXTLEN:
            return ForwardToList(combo, LB_GETTEXTLEN, wParam, lParam);
        case CB_FINDSTRING:
            return ForwardToList(combo, LB_FINDSTRING, wParam, lParam);
        case CB_FINDSTRINGEXACT:
            return ForwardToList(combo, LB_FINDSTRINGEXACT, wParam, lParam);
        case CB_GETITEMDATA:
            return ForwardToList(combo, LB_GETITEMDATA, wParam, lParam);
        case CB_SETITEMDATA:
            return ForwardToList(combo, LB_SETITEMDATA, wParam, lParam);
        case CB_SETCURSEL: {
            LRESULT result = ForwardToList(combo, LB_SETCURSEL, wParam, lParam);
            if (result != CB_ERR || static_cast<int>(wParam) == -1) {
                ShowSelection(combo, hwnd);
            }
            return result;
        }
        case CB_SELECTSTRING: {
            LRESULT result = ForwardToList(combo, LB_SELECTSTRING, wParam, lParam);
            if (result != CB_ERR) {
                ShowSelection(combo, hwnd);
            }
            return result;
        }
        case CB_SHOWDROPDOWN:
            if (wParam) {
                DropDown(combo, hwnd);
            } else {
                CloseUp(combo, hwnd, true);
            }
            return TRUE;
        case CB_GETDROPPEDSTATE:
            return combo->dropped ? TRUE : FALSE;
        case CB_GETDROPPEDCONTROLRECT:
            if (!lParam || !combo->list) {
                return CB_ERR;
            }
            *reinterpret_cast<RECT*>(lParam) = DroppedRect(combo, hwnd);
            return TRUE;
        case CB_SETDROPPEDWIDTH:
            combo->droppedWidth = static_cast<int>(wParam);
            return combo->droppedWidth;
        case CB_SETITEMHEIGHT:
            if (static_cast<int>(wParam) == -1) {
                combo->fieldItemHeight = LOWORD(lParam);
                FitField(combo, hwnd);
                return CB_OKAY;
            }
            return ForwardToList(combo, LB_SETITEMHEIGHT, wParam, lParam);
        case CB_GETITEMHEIGHT:
            if (static_cast<int>(wParam) == -1) {
                return FieldHeight(combo) - Scale(6);
            }
            return ForwardToList(combo, LB_GETITEMHEIGHT, wParam, lParam);
        case CB_GETEDITSEL:
            return combo->edit ? SendMessageW(combo->edit, EM_GETSEL, wParam, lParam) : CB_ERR;
        case CB_SETEDITSEL:
            if (!combo->edit) {
                return CB_ERR;
            }
            SendMessageW(combo->edit, EM_SETSEL,
                         static_cast<WPARAM>(static_cast<SHORT>(LOWORD(lParam))),
                         static_cast<LPARAM>(static_cast<SHORT>(HIWORD(lParam))));
            return TRUE;
        case CB_LIMITTEXT:
            if (!combo->edit) {
                return CB_ERR;
            }
            SendMessageW(combo->edit, EM_LIMITTEXT, wParam, 0);
            return TRUE;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT HandleCombo(Combo* combo, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleFontMessage(*combo, hwnd, message, wParam, lParam, &result)) {
        if (message == WM_SETFONT) {
            for (HWND part : {combo->edit, combo->list}) {
                if (part) {
                    SendMessageW(part, WM_SETFONT, wParam, lParam);
                }
            }
            FitField(combo, hwnd);
        }
        return result;
    }
    if (message >= CB_GETEDITSEL && message <= CB_SETDROPPEDWIDTH) {
        return ComboMessage(combo, hwnd, message, wParam, lParam);
    }
    if (combo->dropped && IsPointerMessage(message)) {
        return DroppedPointer(combo, hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_CREATE:
            Create(combo, hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
            return 0;
        case WM_DESTROY:
            if (combo->list && IsWindow(combo->list)) {
                DestroyWindow(combo->list);
            }
            combo->list = nullptr;
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTARROWS | DLGC_WANTCHARS | (combo->dropped ? DLGC_WANTALLKEYS : 0);
        case WM_PAINT:
            Paint(combo, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
            LayoutEdit(combo, hwnd);
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_ENABLE:
            if (combo->edit) {
                EnableWindow(combo->edit, static_cast<BOOL>(wParam));
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            return 0;
        case WM_SETTEXT: {
            auto* text = reinterpret_cast<LPCWSTR>(lParam);
            if (combo->edit) {
                combo->settingText = true;
                SetWindowTextW(combo->edit, text);
                combo->settingText = false;
                MirrorText(hwnd, WindowText(combo->edit));
                return TRUE;
            }
            LRESULT found =
                ForwardToList(combo, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), lParam);
            if (found == CB_ERR) {
                return CB_ERR;
            }
            ForwardToList(combo, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
            ShowSelection(combo, hwnd);
            return TRUE;
        }
        case WM_SETFOCUS:
            if (combo->edit) {
                SetFocus(combo->edit);
            } else {
                FocusIn(combo, hwnd);
            }
            return 0;
        case WM_KILLFOCUS:
            // With an edit control, its EN_KILLFOCUS tells when the focus leaves.
            if (!combo->edit) {
                FocusOut(combo, hwnd);
            }
            return 0;
        case WM_COMMAND:
            if (combo->edit && reinterpret_cast<HWND>(lParam) == combo->edit) {
                OnEditCommand(combo, hwnd, HIWORD(wParam));
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (combo->dropped && reinterpret_cast<HWND>(lParam) != hwnd) {
                CloseUp(combo, hwnd, false);
            }
            return 0;
        case kComboListDone:
            CloseUp(combo, hwnd, wParam != 0);
            return 0;
        case WM_KEYDOWN:
            KeyDown(combo, hwnd, wParam);
            return 0;
        case WM_CHAR:
            if (!combo->edit && wParam >= 0x20) {
                std::u16string prefix(1, static_cast<char16_t>(wParam));
                LRESULT found =
                    ForwardToList(combo, LB_FINDSTRING, static_cast<WPARAM>(Selection(combo)),
                                  reinterpret_cast<LPARAM>(prefix.c_str()));
                if (found != CB_ERR && found != Selection(combo)) {
                    ForwardToList(combo, LB_SETCURSEL, static_cast<WPARAM>(found), 0);
                    if (!combo->dropped) {
                        ShowSelection(combo, hwnd);
                        NotifyCommand(hwnd, CBN_SELCHANGE);
                    }
                }
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (GetFocus() != combo->edit && !TakeFocus(hwnd)) {
                return 0;
            }
            if (combo->dropped) {
                CloseUp(combo, hwnd, false);
            } else {
                DropDown(combo, hwnd);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW ComboBoxClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ControlProc<Combo, HandleCombo>, u"ComboBox");
}

}  // namespace platform::user
