// The static control: text, a bitmap or an icon, or a filled rectangle. Without
// SS_NOTIFY the pointer goes through it to what lies beneath.
#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

void FreeImage(HANDLE image, UINT type) {
    if (type == IMAGE_ICON) {
        DestroyIcon(static_cast<HICON>(image));
    } else {
        DeleteObject(image);
    }
}

struct Static : ControlState {
    ~Static() override {
        if (ownsImage && image) {
            FreeImage(image, imageType);
        }
    }
    HANDLE image = nullptr;
    UINT imageType = IMAGE_BITMAP;
    bool ownsImage = false;  // loaded from the window name at creation
};

// A bitmap static takes the bitmap's size, as the platform does.
void FitToBitmap(HWND hwnd, HANDLE image) {
    BITMAP info{};
    if (image && !(StyleOf(hwnd) & SS_CENTERIMAGE) &&
        GetObjectW(image, sizeof(info), &info) == sizeof(info)) {
        SetWindowPos(hwnd, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

HANDLE SetImage(Static* control, HWND hwnd, UINT type, HANDLE image) {
    HANDLE previous = control->ownsImage ? nullptr : control->image;
    if (control->ownsImage && control->image) {
        // What the control loaded itself goes; what a caller gave stays the caller's.
        FreeImage(control->image, control->imageType);
    }
    control->image = image;
    control->imageType = type;
    control->ownsImage = false;
    if (type == IMAGE_BITMAP) {
        FitToBitmap(hwnd, image);
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    return previous;
}

void LoadFromName(Static* control, HWND hwnd, const CREATESTRUCTW* create) {
    DWORD type = create->style & SS_TYPEMASK;
    if ((type != SS_BITMAP && type != SS_ICON) || !create->lpszName) {
        return;
    }
    LPCWSTR name = create->lpszName;
    if (!IS_INTRESOURCE(name) && name[0] == 0xFFFF) {
        name = MAKEINTRESOURCEW(name[1]);
    } else if (!IS_INTRESOURCE(name) && name[0] == 0) {
        return;
    }
    UINT imageType = type == SS_ICON ? IMAGE_ICON : IMAGE_BITMAP;
    HANDLE image = LoadImageW(create->hInstance, name, imageType, 0, 0, LR_DEFAULTCOLOR);
    if (!image) {
        return;
    }
    control->image = image;
    control->imageType = imageType;
    control->ownsImage = true;
    if (imageType == IMAGE_BITMAP) {
        FitToBitmap(hwnd, image);
    }
}

void Paint(Static* control, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    DWORD style = StyleOf(hwnd);
    DWORD type = style & SS_TYPEMASK;
    if (type == SS_BLACKRECT || type == SS_GRAYRECT || type == SS_WHITERECT) {
        FillSystem(dc, client,
                   type == SS_BLACKRECT  ? COLOR_WINDOWFRAME
                   : type == SS_GRAYRECT ? COLOR_BTNSHADOW
                                         : COLOR_WINDOW);
        return;
    }
    HBRUSH brush = ControlColors(hwnd, WM_CTLCOLORSTATIC, dc);
    FillRect(dc, &client, brush);
    if (type == SS_BITMAP && control->image) {
        BITMAP info{};
        GetObjectW(control->image, sizeof(info), &info);
        int x = 0;
        int y = 0;
        if (style & SS_CENTERIMAGE) {
            x = (client.right - info.bmWidth) / 2;
            y = (client.bottom - info.bmHeight) / 2;
        }
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, control->image);
        BitBlt(dc, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    } else if (type == SS_ICON && control->image) {
        DrawIconEx(dc, 0, 0, static_cast<HICON>(control->image), 0, 0, 0, nullptr, DI_NORMAL);
    } else if (type != SS_BITMAP && type != SS_ICON) {
        UINT format = DT_WORDBREAK;
        if (type == SS_CENTER) {
            format |= DT_CENTER;
        } else if (type == SS_RIGHT) {
            format |= DT_RIGHT;
        } else if (type == SS_LEFTNOWORDWRAP) {
            format = DT_SINGLELINE;
        }
        if (style & SS_CENTERIMAGE) {
            format = (format & ~static_cast<UINT>(DT_WORDBREAK)) | DT_SINGLELINE | DT_VCENTER;
        }
        if (style & SS_NOPREFIX) {
            format |= DT_NOPREFIX;
        }
        HGDIOBJ oldFont = SelectObject(dc, FontOf(*control));
        SetBkMode(dc, TRANSPARENT);
        if (!IsWindowEnabled(hwnd)) {
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        }
        DrawTextLine(dc, WindowText(hwnd), client, format);
        SelectObject(dc, oldFont);
    }
}

LRESULT HandleStatic(Static* control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleFontMessage(*control, hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    if (IsPointerMessage(message)) {
        if (!(StyleOf(hwnd) & SS_NOTIFY)) {
            return ForwardPointerBeneath(hwnd, message, wParam, lParam);
        }
        if (message == WM_LBUTTONDOWN) {
            NotifyCommand(hwnd, STN_CLICKED);
        } else if (message == WM_LBUTTONDBLCLK) {
            NotifyCommand(hwnd, STN_DBLCLK);
        }
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            LoadFromName(control, hwnd, reinterpret_cast<const CREATESTRUCTW*>(lParam));
            return 0;
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_PAINT:
            Paint(control, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SETTEXT:
            result = DefWindowProcW(hwnd, message, wParam, lParam);
            InvalidateRect(hwnd, nullptr, TRUE);
            return result;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, TRUE);
            if (StyleOf(hwnd) & SS_NOTIFY) {
                NotifyCommand(hwnd, wParam ? STN_ENABLE : STN_DISABLE);
            }
            return 0;
        case STM_SETIMAGE:
            if (wParam != IMAGE_BITMAP && wParam != IMAGE_ICON) {
                return 0;
            }
            return reinterpret_cast<LRESULT>(SetImage(control, hwnd, static_cast<UINT>(wParam),
                                                      reinterpret_cast<HANDLE>(lParam)));
        case STM_GETIMAGE:
            return control->imageType == wParam ? reinterpret_cast<LRESULT>(control->image) : 0;
        case STM_SETICON:
            return reinterpret_cast<LRESULT>(
                SetImage(control, hwnd, IMAGE_ICON, reinterpret_cast<HANDLE>(wParam)));
        case STM_GETICON:
            return control->imageType == IMAGE_ICON ? reinterpret_cast<LRESULT>(control->image) : 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW StaticClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ControlProc<Static, HandleStatic>, u"Static");
}

}  // namespace platform::user
