// The default window procedure.
#include <algorithm>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

// A window name given as a resource ordinal (0xFFFF, id) is not text.
bool IsText(LPCWSTR name) {
    return name && !IS_INTRESOURCE(name) && name[0] != 0xFFFF;
}

void StoreText(HWND hwnd, LPCWSTR text) {
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    if (!window) {
        return;
    }
    window->text = IsText(text) ? text : u"";
    if ((window->style & WS_CAPTION) == WS_CAPTION) {
        window->frameDirty = true;
        window->invalidations++;
        NotifyWaitersLocked();
    }
}

LRESULT CopyText(HWND hwnd, WPARAM maxCount, LPWSTR buffer) {
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    if (!window || !buffer || maxCount == 0) {
        return 0;
    }
    size_t count = std::min(window->text.size(), static_cast<size_t>(maxCount - 1));
    std::copy_n(window->text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

bool FocusIsWithin(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    Window* focus = FindLocked(StateLocked().focus);
    return window && focus && IsDescendantLocked(window, focus);
}

}  // namespace
}  // namespace platform::user

using namespace platform;
using namespace platform::user;

LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (create) {
                StoreText(hwnd, create->lpszName);
            }
            return TRUE;
        }
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            if (BeginPaint(hwnd, &paint)) {
                EndPaint(hwnd, &paint);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            return EraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
        case WM_NCPAINT:
            DrawFrame(hwnd);
            return 0;
        case WM_NCLBUTTONDOWN:
            if (wParam == HTMENU) {
                return MenuBarInput(hwnd, lParam);
            }
            [[fallthrough]];
        case WM_NCMOUSEMOVE:
        case WM_NCLBUTTONUP:
            return wParam == HTVSCROLL ? FrameScrollBarInput(hwnd, message, lParam) : 0;
        case WM_SETTEXT:
            StoreText(hwnd, reinterpret_cast<LPCWSTR>(lParam));
            return TRUE;
        case WM_GETTEXT:
            return CopyText(hwnd, wParam, reinterpret_cast<LPWSTR>(lParam));
        case WM_GETTEXTLENGTH: {
            Lock lock = TakeLock();
            Window* window = FindLocked(hwnd);
            return window ? static_cast<LRESULT>(window->text.size()) : 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !FocusIsWithin(hwnd)) {
                SetFocus(hwnd);
            }
            return 0;
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return DefaultControlColor(message, reinterpret_cast<HDC>(wParam));
        default:
            return 0;
    }
}
