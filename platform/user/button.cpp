// The button control: push buttons, check boxes, radio buttons, group boxes and
// owner-drawn buttons. A click counts only when the pointer is released over the
// button; BN_CLICKED then goes to the parent through WM_COMMAND.
#include <algorithm>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

struct Button : ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
    bool tracking = false;  // the pointer went down on the button and is still down
    bool spaceDown = false;
    bool focused = false;
};

UINT TypeOf(HWND hwnd) {
    return StyleOf(hwnd) & BS_TYPEMASK;
}

bool IsCheckType(UINT type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

bool IsRadioType(UINT type) {
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}

void SetPushed(Button* button, HWND hwnd, bool pushed) {
    if (button->pushed != pushed) {
        button->pushed = pushed;
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

void SetCheck(Button* button, HWND hwnd, UINT check) {
    if (button->check != check) {
        button->check = check;
        InvalidateRect(hwnd, nullptr, FALSE);
    }
}

// Unchecks the other radio buttons of the group: the siblings from the nearest
// WS_GROUP at or before this button up to the next WS_GROUP.
void UncheckGroup(HWND hwnd) {
    HWND start = hwnd;
    while (!(StyleOf(start) & WS_GROUP)) {
        HWND previous = GetWindow(start, GW_HWNDPREV);
        if (!previous) {
            break;
        }
        start = previous;
    }
    for (HWND w = start; w; w = GetWindow(w, GW_HWNDNEXT)) {
        if (w != start && (StyleOf(w) & WS_GROUP)) {
            break;
        }
        if (w != hwnd && (SendMessageW(w, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON)) {
            SendMessageW(w, BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
}

// The click's effect; the notification goes last, as the parent may destroy the
// button in answer.
void Click(Button* button, HWND hwnd) {
    switch (TypeOf(hwnd)) {
        case BS_AUTOCHECKBOX:
            SetCheck(button, hwnd, button->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            break;
        case BS_AUTO3STATE:
            SetCheck(button, hwnd, (button->check + 1) % 3);
            break;
        case BS_AUTORADIOBUTTON:
            SetCheck(button, hwnd, BST_CHECKED);
            UncheckGroup(hwnd);
            break;
        default:
            break;
    }
    NotifyCommand(hwnd, BN_CLICKED);
}

LRESULT DialogCode(HWND hwnd) {
    switch (TypeOf(hwnd)) {
        case BS_PUSHBUTTON:
            return DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON;
        case BS_DEFPUSHBUTTON:
            return DLGC_BUTTON | DLGC_DEFPUSHBUTTON;
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            return DLGC_BUTTON | DLGC_RADIOBUTTON;
        case BS_GROUPBOX:
            return DLGC_STATIC;
        default:
            return DLGC_BUTTON;
    }
}

UINT TextFormat(DWORD style, UINT defaultAlign) {
    UINT format = (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER;
    switch (style & BS_CENTER) {
        case BS_LEFT:
            return format | DT_LEFT;
        case BS_RIGHT:
            return format | DT_RIGHT;
        case BS_CENTER:
            return format | DT_CENTER;
        default:
            return format | defaultAlign;
    }
}

void PaintOwnerDrawn(Button* button, HWND hwnd, HDC dc) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(ControlId(hwnd));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = (button->pushed ? ODS_SELECTED : 0) | (button->focused ? ODS_FOCUS : 0) |
                     (IsWindowEnabled(hwnd) ? 0 : ODS_DISABLED);
    item.hwndItem = hwnd;
    item.hDC = dc;
    GetClientRect(hwnd, &item.rcItem);
    // The parent paints it all; the button fills nothing itself, so what the parent
    // leaves shows the parent beneath.
    ControlColors(hwnd, WM_CTLCOLORBTN, dc);
    HWND parent = GetParent(hwnd);
    if (parent) {
        SendMessageW(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    }
}

void PaintPush(Button* button, HWND hwnd, HDC dc, const RECT& client, bool pushed) {
    DWORD style = StyleOf(hwnd);
    HBRUSH brush = ControlColors(hwnd, WM_CTLCOLORBTN, dc);
    COLORREF text = GetTextColor(dc);
    if (pushed) {
        FillSystem(dc, client, COLOR_HIGHLIGHT);
        text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else {
        FillRect(dc, &client, brush);
    }
    RECT frame = client;
    Outline(dc, frame, GetSysColor(COLOR_WINDOWFRAME));
    if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        InflateRect(&frame, -1, -1);
        Outline(dc, frame, GetSysColor(COLOR_WINDOWFRAME));
    }
    RECT label = frame;
    InflateRect(&label, -Scale(3), -Scale(1));
    if (button->focused) {
        RECT focus = frame;
        InflateRect(&focus, -Scale(2), -Scale(2));
        DrawFocus(dc, focus, text);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(hwnd) ? text : GetSysColor(COLOR_GRAYTEXT));
    DrawTextLine(dc, WindowText(hwnd), label, TextFormat(style, DT_CENTER));
}

void PaintCheck(Button* button, HWND hwnd, HDC dc, const RECT& client) {
    DWORD style = StyleOf(hwnd);
    UINT type = style & BS_TYPEMASK;
    if (style & BS_PUSHLIKE) {
        PaintPush(button, hwnd, dc, client, button->pushed || button->check != BST_UNCHECKED);
        return;
    }
    HBRUSH brush = ControlColors(hwnd, WM_CTLCOLORBTN, dc);
    COLORREF text = GetTextColor(dc);
    FillRect(dc, &client, brush);
    int size = std::min<int>(Scale(13), client.bottom - client.top);
    int top = client.top + (client.bottom - client.top - size) / 2;
    bool boxRight = style & BS_LEFTTEXT;
    RECT box = boxRight ? RECT{client.right - size, top, client.right, top + size}
                        : RECT{client.left, top, client.left + size, top + size};
    COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
    COLORREF mark = GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    COLORREF face = GetSysColor(button->pushed ? COLOR_BTNFACE : COLOR_WINDOW);
    if (IsRadioType(type)) {
        HBRUSH faceBrush = CreateSolidBrush(face);
        HPEN pen = CreatePen(PS_SOLID, 1, frame);
        HGDIOBJ oldBrush = SelectObject(dc, faceBrush);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        Ellipse(dc, box.left, box.top, box.right, box.bottom);
        if (button->check) {
            HBRUSH dot = CreateSolidBrush(mark);
            SelectObject(dc, dot);
            SelectObject(dc, GetStockObject(NULL_PEN));
            int inset = size / 4 + 1;
            Ellipse(dc, box.left + inset, box.top + inset, box.right - inset + 1,
                    box.bottom - inset + 1);
            SelectObject(dc, faceBrush);
            DeleteObject(dot);
        }
        SelectObject(dc, oldBrush);
        SelectObject(dc, oldPen);
        DeleteObject(faceBrush);
        DeleteObject(pen);
    } else {
        FillColor(dc, box, face);
        Outline(dc, box, frame);
        RECT inner = box;
        InflateRect(&inner, -2, -2);
        if (button->check == BST_CHECKED) {
            DrawCheckMark(dc, inner, mark);
        } else if (button->check == BST_INDETERMINATE) {
            FillSystem(dc, inner, COLOR_GRAYTEXT);
        }
    }
    RECT label = client;
    if (boxRight) {
        label.right = box.left - Scale(4);
    } else {
        label.left = box.right + Scale(4);
    }
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, IsWindowEnabled(hwnd) ? text : GetSysColor(COLOR_GRAYTEXT));
    std::u16string caption = WindowText(hwnd);
    DrawTextLine(dc, caption, label, TextFormat(style, DT_LEFT));
    if (button->focused && !caption.empty()) {
        RECT measure = label;
        DrawTextW(dc, reinterpret_cast<LPCWSTR>(caption.c_str()), static_cast<int>(caption.size()),
                  &measure, TextFormat(style, DT_LEFT) | DT_CALCRECT);
        RECT focus{
            label.left - 1,
            std::max(client.top, top + size / 2 - (measure.bottom - measure.top) / 2 - 1),
            std::min(label.right, measure.right + 1),
            std::min(client.bottom, top + size / 2 + (measure.bottom - measure.top + 1) / 2 + 1)};
        DrawFocus(dc, focus, text);
    }
}

void PaintGroup(HWND hwnd, HDC dc, const RECT& client) {
    ControlColors(hwnd, WM_CTLCOLORBTN, dc);
    COLORREF text = GetTextColor(dc);
    std::u16string caption = WindowText(hwnd);
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    SIZE extent = TextSize(font, caption.empty() ? u" " : caption);
    RECT frame = client;
    frame.top += extent.cy / 2;
    Outline(dc, frame, GetSysColor(COLOR_BTNSHADOW));
    if (!caption.empty()) {
        RECT label{client.left + Scale(6), client.top,
                   client.left + Scale(6) + extent.cx + Scale(4), client.top + extent.cy};
        label.right = std::min(label.right, client.right - Scale(2));
        // The inside stays transparent: only the caption's own background is filled.
        SetBkMode(dc, OPAQUE);
        SetTextColor(dc, IsWindowEnabled(hwnd) ? text : GetSysColor(COLOR_GRAYTEXT));
        RECT fill = label;
        ExtTextOutW(dc, label.left + Scale(2), label.top, ETO_OPAQUE | ETO_CLIPPED, &fill,
                    reinterpret_cast<LPCWSTR>(caption.c_str()), static_cast<UINT>(caption.size()),
                    nullptr);
    }
}

void Paint(Button* button, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    HGDIOBJ oldFont = SelectObject(dc, FontOf(*button));
    UINT type = TypeOf(hwnd);
    if (type == BS_OWNERDRAW) {
        PaintOwnerDrawn(button, hwnd, dc);
    } else if (type == BS_GROUPBOX) {
        PaintGroup(hwnd, dc, client);
    } else if (IsCheckType(type)) {
        PaintCheck(button, hwnd, dc, client);
    } else {
        PaintPush(button, hwnd, dc, client, button->pushed);
    }
    SelectObject(dc, oldFont);
}

bool InClient(HWND hwnd, LPARAM lParam) {
    RECT client{};
    GetClientRect(hwnd, &client);
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    return PtInRect(&client, point);
}

LRESULT HandleButton(Button* button, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleFontMessage(*button, hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    // A group box is a frame around other controls: the pointer goes through it.
    if (IsPointerMessage(message) && TypeOf(hwnd) == BS_GROUPBOX) {
        return ForwardPointerBeneath(hwnd, message, wParam, lParam);
    }
    switch (message) {
        case WM_GETDLGCODE:
            return DialogCode(hwnd);
        case WM_PAINT:
            Paint(button, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETTEXT:
            result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (GetFocus() != hwnd) {
                SetFocus(hwnd);
            }
            SetCapture(hwnd);
            button->tracking = true;
            SetPushed(button, hwnd, true);
            return 0;
        case WM_MOUSEMOVE:
            if (button->tracking) {
                SetPushed(button, hwnd, InClient(hwnd, lParam));
            }
            return 0;
        case WM_LBUTTONUP:
            if (button->tracking) {
                button->tracking = false;
                SetPushed(button, hwnd, false);
                ReleaseCapture();
                if (InClient(hwnd, lParam)) {
                    Click(button, hwnd);
                }
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (button->tracking && reinterpret_cast<HWND>(lParam) != hwnd) {
                button->tracking = false;
                SetPushed(button, hwnd, false);
            }
            return 0;
        case WM_KEYDOWN:
            if (wParam == VK_SPACE && !button->tracking) {
                button->spaceDown = true;
                SetPushed(button, hwnd, true);
            }
            return 0;
        case WM_KEYUP:
            if (wParam == VK_SPACE && button->spaceDown) {
                button->spaceDown = false;
                SetPushed(button, hwnd, false);
                Click(button, hwnd);
            }
            return 0;
        case WM_SETFOCUS:
            button->focused = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            if (StyleOf(hwnd) & BS_NOTIFY) {
                NotifyCommand(hwnd, BN_SETFOCUS);
            }
            return 0;
        case WM_KILLFOCUS:
            button->focused = false;
            if (button->spaceDown) {
                button->spaceDown = false;
                SetPushed(button, hwnd, false);
            }
            InvalidateRect(hwnd, nullptr, FALSE);
            if (StyleOf(hwnd) & BS_NOTIFY) {
                NotifyCommand(hwnd, BN_KILLFOCUS);
            }
            return 0;
        case BM_GETCHECK:
            return IsCheckType(TypeOf(hwnd)) ? button->check : BST_UNCHECKED;
        case BM_SETCHECK:
            if (IsCheckType(TypeOf(hwnd))) {
                UINT type = TypeOf(hwnd);
                bool threeState = type == BS_3STATE || type == BS_AUTO3STATE;
                UINT check = static_cast<UINT>(wParam);
                if (check > BST_INDETERMINATE || (check == BST_INDETERMINATE && !threeState)) {
                    check = BST_CHECKED;
                }
                SetCheck(button, hwnd, check);
            }
            return 0;
        case BM_GETSTATE:
            return (IsCheckType(TypeOf(hwnd)) ? button->check : 0) |
                   (button->pushed ? BST_PUSHED : 0) | (button->focused ? BST_FOCUS : 0);
        case BM_SETSTATE:
            SetPushed(button, hwnd, wParam != 0);
            return 0;
        case BM_SETSTYLE: {
            DWORD style = (StyleOf(hwnd) & 0xFFFF0000u) | LOWORD(wParam);
            SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
            if (lParam) {
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return 0;
        }
        case BM_CLICK:
            if (IsWindowEnabled(hwnd) && TypeOf(hwnd) != BS_GROUPBOX) {
                Click(button, hwnd);
            }
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW ButtonClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ControlProc<Button, HandleButton>, u"Button");
}

}  // namespace platform::user
