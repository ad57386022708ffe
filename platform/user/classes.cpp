// Window classes.
#include <algorithm>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool ValidInfo(const WNDCLASSW* info) {
    return info && info->lpfnWndProc && info->lpszClassName &&
           !IS_INTRESOURCE(info->lpszClassName) && *info->lpszClassName && info->cbClsExtra >= 0 &&
           info->cbClsExtra <= kMaxExtraBytes && info->cbWndExtra >= 0 &&
           info->cbWndExtra <= kMaxExtraBytes;
}

std::shared_ptr<WindowClass> MakeClassLocked(State& state, const WNDCLASSW& info, bool builtIn) {
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = info.lpszClassName;
    windowClass->info = info;
    windowClass->info.lpszClassName = nullptr;
    windowClass->info.lpszMenuName = nullptr;
    windowClass->builtIn = builtIn;
    if (builtIn) {
        windowClass->info.style |= CS_GLOBALCLASS;
    }
    windowClass->atom = state.nextAtom++;
    state.classes.push_back(windowClass);
    return windowClass;
}

}  // namespace

std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name) {
    if (!name) {
        return nullptr;
    }
    State& state = StateLocked();
    for (const auto& windowClass : state.classes) {
        bool match = IS_INTRESOURCE(name)
                         ? windowClass->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))
                         : _wcsicmp(windowClass->name.c_str(), name) == 0;
        if (match) {
            return windowClass;
        }
    }
    return nullptr;
}

void RegisterBuiltInClassesLocked(State& state) {
    for (const WNDCLASSW& info : BuiltInClasses()) {
        MakeClassLocked(state, info, true);
    }
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
    if (!ValidInfo(windowClass)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Lock lock = TakeLock();
    if (FindClassLocked(windowClass->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    return MakeClassLocked(StateLocked(), *windowClass, false)->atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE) {
    Lock lock = TakeLock();
    std::shared_ptr<WindowClass> windowClass = FindClassLocked(className);
    if (!windowClass || windowClass->builtIn) {
        return Fail(ERROR_CLASS_DOES_NOT_EXIST);
    }
    if (windowClass->windows > 0) {
        return Fail(ERROR_CLASS_HAS_WINDOWS);
    }
    auto& classes = StateLocked().classes;
    classes.erase(std::find(classes.begin(), classes.end(), windowClass));
    return TRUE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, WNDCLASSW* info) {
    Lock lock = TakeLock();
    std::shared_ptr<WindowClass> windowClass = FindClassLocked(className);
    if (!windowClass) {
        return Fail(ERROR_CLASS_DOES_NOT_EXIST);
    }
    if (!info) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    *info = windowClass->info;
    info->lpszClassName = className;
    return TRUE;
}

int GetClassNameW(HWND hwnd, LPWSTR className, int maxCount) {
    Lock lock = TakeLock();
    Window* window = FindOrFailLocked(hwnd);
    if (!window) {
        return 0;
    }
    if (!className || maxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::u16string& name = window->windowClass->name;
    size_t count = std::min(name.size(), static_cast<size_t>(maxCount - 1));
    std::copy_n(name.begin(), count, className);
    className[count] = 0;
    return static_cast<int>(count);
}
