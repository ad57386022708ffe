// Window text, window values (the fields and the extra bytes) and the visible and
// enabled states.
#include <algorithm>
#include <cstring>

#include "platform/user/user_internal.h"

using namespace platform;
using namespace platform::user;

// --- Text ---------------------------------------------------------------------

BOOL SetWindowTextW(HWND hwnd, LPCWSTR text) {
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return FALSE;
        }
        if (!IsOwnThreadLocked(window)) {
            window->text = text ? text : u"";
            if ((window->style & WS_CAPTION) == WS_CAPTION) {
                window->frameDirty = true;
                NotifyWaitersLocked();
            }
            return TRUE;
        }
    }
    return SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) ? TRUE : FALSE;
}

int GetWindowTextW(HWND hwnd, LPWSTR text, int maxCount) {
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window || !text || maxCount <= 0) {
            return 0;
        }
        if (!IsOwnThreadLocked(window)) {
            size_t count = std::min(window->text.size(), static_cast<size_t>(maxCount - 1));
            std::copy_n(window->text.begin(), count, text);
            text[count] = 0;
            return static_cast<int>(count);
        }
    }
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                         reinterpret_cast<LPARAM>(text)));
}

int GetWindowTextLengthW(HWND hwnd) {
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return 0;
        }
        if (!IsOwnThreadLocked(window)) {
            return static_cast<int>(window->text.size());
        }
    }
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

// --- Window values ------------------------------------------------------------

namespace {

bool IsPointerField(int index) {
    return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
}

// Reads or writes `size` bytes of the window's extra bytes at `offset`.
bool ExtraSlot(Window* window, int offset, size_t size, BYTE** slot) {
    if (offset < 0 || static_cast<size_t>(offset) + size > window->extra.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return false;
    }
    *slot = window->extra.data() + offset;
    return true;
}

bool GetField(Window* window, int index, LONG_PTR* value) {
    switch (index) {
        case GWLP_WNDPROC:
            *value = reinterpret_cast<LONG_PTR>(window->proc);
            return true;
        case GWLP_HINSTANCE:
            *value = reinterpret_cast<LONG_PTR>(window->instance);
            return true;
        case GWLP_HWNDPARENT:
            *value = reinterpret_cast<LONG_PTR>((window->style & WS_CHILD) && window->parent
                                                    ? window->parent->handle
                                                    : window->owner);
            return true;
        case GWLP_ID:
            *value = window->id;
            return true;
        case GWL_STYLE:
            *value = static_cast<LONG>(window->style);
            return true;
        case GWL_EXSTYLE:
            *value = static_cast<LONG>(window->exStyle);
            return true;
        case GWLP_USERDATA:
            *value = window->userData;
            return true;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return false;
    }
}

bool SetField(Window* window, int index, LONG_PTR value) {
    switch (index) {
        case GWLP_WNDPROC:
            window->proc = reinterpret_cast<WNDPROC>(value);
            return true;
        case GWLP_HINSTANCE:
            window->instance = reinterpret_cast<HINSTANCE>(value);
            return true;
        case GWLP_HWNDPARENT:
            if (window->style & WS_CHILD) {
                SetLastError(ERROR_INVALID_INDEX);
                return false;
            }
            window->owner = reinterpret_cast<HWND>(value);
            return true;
        case GWLP_ID:
            window->id = value;
            return true;
        case GWL_STYLE:
            window->style = static_cast<DWORD>(value);
            return true;
        case GWL_EXSTYLE:
            window->exStyle = static_cast<DWORD>(value);
            return true;
        case GWLP_USERDATA:
            window->userData = value;
            return true;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return false;
    }
}

}  // namespace

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return 0;
    }
    LONG_PTR value = 0;
    if (index >= 0) {
        BYTE* slot = nullptr;
        if (ExtraSlot(window, index, sizeof value, &slot)) {
            std::memcpy(&value, slot, sizeof value);
        }
        return value;
    }
    GetField(window, index, &value);
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window || window == StateLocked().desktop) {
        return 0;
    }
    LONG_PTR old = 0;
    if (index >= 0) {
        BYTE* slot = nullptr;
        if (ExtraSlot(window, index, sizeof value, &slot)) {
            std::memcpy(&old, slot, sizeof old);
            std::memcpy(slot, &value, sizeof value);
        }
        return old;
    }
    if (GetField(window, index, &old) && SetField(window, index, value)) {
        SetLastError(ERROR_SUCCESS);
        return old;
    }
    return 0;
}

LONG GetWindowLongW(HWND hwnd, int index) {
    if (IsPointerField(index)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (index < 0) {
        return static_cast<LONG>(GetWindowLongPtrW(hwnd, index));
    }
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    LONG value = 0;
    BYTE* slot = nullptr;
    if (window && ExtraSlot(window, index, sizeof value, &slot)) {
        std::memcpy(&value, slot, sizeof value);
    }
    return value;
}

LONG SetWindowLongW(HWND hwnd, int index, LONG value) {
    if (IsPointerField(index)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    if (index < 0) {
        return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, value));
    }
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    LONG old = 0;
    BYTE* slot = nullptr;
    if (window && ExtraSlot(window, index, sizeof value, &slot)) {
        std::memcpy(&old, slot, sizeof old);
        std::memcpy(slot, &value, sizeof value);
    }
    return old;
}

BOOL IsWindowVisible(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    return window && IsShownLocked(window);
}

BOOL IsWindowEnabled(HWND hwnd) {
    Lock lock = TakeLock();
    Window* window = FindLocked(hwnd);
    return window && !(window->style & WS_DISABLED);
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    bool loseFocus = false;
    {
        Lock lock = TakeLock();
        Window* window = FindOrFailLocked(hwnd);
        if (!window) {
            return FALSE;
        }
        bool wasDisabled = window->style & WS_DISABLED;
        if (wasDisabled == !enable) {
            return wasDisabled;
        }
        if (enable) {
            window->style &= ~WS_DISABLED;
        } else {
            window->style |= WS_DISABLED;
            Window* focus = FindLocked(StateLocked().focus);
            loseFocus = focus && IsDescendantLocked(window, focus);
        }
        NotifyWaitersLocked();
    }
    if (loseFocus) {
        SetFocus(nullptr);
    }
    SendMessageW(hwnd, WM_ENABLE, enable ? TRUE : FALSE, 0);
    return enable ? TRUE : FALSE;
}
