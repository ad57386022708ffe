// Hardware input: the process-wide input queue, routing to windows, key state,
// character translation and hotkeys.
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "platform/user/user_internal.h"

namespace platform::user {
namespace {

struct Routed {
    HWND hwnd = nullptr;
    DWORD threadId = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

bool IsDown(const BYTE* keys, UINT key) {
    return keys[key & 0xFF] & 0x80;
}

void ApplyKey(BYTE* keys, UINT key, bool down) {
    auto apply = [&](UINT k) {
        BYTE& state = keys[k & 0xFF];
        if (down) {
            if (!(state & 0x80)) {
                state ^= 0x01;
            }
            state |= 0x80;
        } else {
            state &= static_cast<BYTE>(~0x80);
        }
    };
    apply(key);
    // The left and right forms also move the plain one.
    switch (key) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            apply(VK_SHIFT);
            break;
        case VK_LCONTROL:
        case VK_RCONTROL:
            apply(VK_CONTROL);
            break;
        case VK_LMENU:
        case VK_RMENU:
            apply(VK_MENU);
            break;
        default:
            break;
    }
}

bool IsApplicationKey(UINT key) {
    return key >= VK_APP1 && key <= 0xCF;
}

bool IsExtendedKey(UINT key) {
    return (key >= VK_PRIOR && key <= VK_DOWN) || key == VK_INSERT || key == VK_DELETE;
}

UINT ModifiersLocked(const State& state, UINT key) {
    UINT modifiers = 0;
    if (IsDown(state.keys, VK_MENU)) {
        modifiers |= MOD_ALT;
    }
    if (IsDown(state.keys, VK_CONTROL)) {
        modifiers |= MOD_CONTROL;
    }
    if (IsDown(state.keys, VK_SHIFT)) {
        modifiers |= MOD_SHIFT;
    }
    // The application buttons come with the Windows key held.
    if (IsDown(state.keys, VK_LWIN) || IsDown(state.keys, VK_RWIN) || IsApplicationKey(key)) {
        modifiers |= MOD_WIN;
    }
    return modifiers;
}

bool IsDoubleClickLocked(const State& state, const Window* target, const RawInput& input) {
    if (!(target->windowClass->info.style & CS_DBLCLKS) || state.lastDownWindow != target->handle ||
        input.time - state.lastDownTime > GetDoubleClickTime()) {
        return false;
    }
    const int slop = GetSystemMetrics(SM_CXDOUBLECLK);
    return std::abs(input.point.x - state.lastDownPoint.x) <= slop &&
           std::abs(input.point.y - state.lastDownPoint.y) <= slop;
}

bool RoutePointerLocked(const State& state, const RawInput& input, Routed* out) {
    // A window's scroll bar holds the pointer until it is released.
    if (Window* tracker = FindLocked(state.scrollTracking)) {
        UINT message = input.kind == RawInput::PointerUp ? WM_NCLBUTTONUP : WM_NCMOUSEMOVE;
        if (input.kind == RawInput::PointerDown) {
            message = WM_NCLBUTTONDOWN;
        }
        *out = Routed{tracker->handle, tracker->threadId, message, HTVSCROLL,
                      MAKELPARAM(input.point.x, input.point.y)};
        return true;
    }
    Window* target = FindLocked(state.capture);
    if (!target) {
        target = HitTestLocked(input.point);
        if (target && input.kind == RawInput::PointerDown &&
            OnFrameScrollBarLocked(target, input.point)) {
            *out = Routed{target->handle, target->threadId, WM_NCLBUTTONDOWN, HTVSCROLL,
                          MAKELPARAM(input.point.x, input.point.y)};
            return true;
        }
        if (target && input.kind == RawInput::PointerDown && OnMenuBarLocked(target, input.point)) {
            *out = Routed{target->handle, target->threadId, WM_NCLBUTTONDOWN, HTMENU,
                          MAKELPARAM(input.point.x, input.point.y)};
            return true;
        }
    }
    if (!target) {
        return false;
    }
    POINT origin = ClientOriginLocked(target);
    WPARAM flags = (IsDown(state.keys, VK_SHIFT) ? MK_SHIFT : 0) |
                   (IsDown(state.keys, VK_CONTROL) ? MK_CONTROL : 0);
    UINT message = WM_LBUTTONUP;
    if (input.kind == RawInput::PointerDown) {
        message = IsDoubleClickLocked(state, target, input) ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
        flags |= MK_LBUTTON;
    } else if (input.kind == RawInput::PointerMove) {
        message = WM_MOUSEMOVE;
        flags |= IsDown(state.keys, VK_LBUTTON) ? MK_LBUTTON : 0;
    }
    *out = Routed{target->handle, target->threadId, message, flags,
                  MAKELPARAM(input.point.x - origin.x, input.point.y - origin.y)};
    return true;
}

bool RouteKeyLocked(const State& state, const RawInput& input, Routed* out) {
    const bool down = input.kind == RawInput::KeyDown;
    const UINT key = input.key;
    const UINT modifiers = ModifiersLocked(state, key);
    for (const HotKey& hotKey : state.hotkeys) {
        bool onRelease = hotKey.modifiers & MOD_KEYUP;
        if (hotKey.key == key && (hotKey.modifiers & ~MOD_KEYUP) == modifiers &&
            onRelease == !down) {
            if (Window* window = FindLocked(hotKey.hwnd)) {
                *out = Routed{hotKey.hwnd, window->threadId, WM_HOTKEY,
                              static_cast<WPARAM>(hotKey.id), MAKELPARAM(hotKey.modifiers, key)};
                return true;
            }
        }
    }
    // With nothing focused the active window gets the keys as system keys.
    bool system = IsDown(state.keys, VK_MENU) || key == VK_MENU || key == VK_F10;
    Window* target = FindLocked(state.focus);
    if (!target) {
        target = FindLocked(state.active);
        system = true;
    }
    if (!target) {
        return false;
    }
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    DWORD flags = 1;  // repeat count
    if (IsExtendedKey(key)) {
        flags |= 1u << 24;
    }
    if (IsDown(state.keys, VK_MENU)) {
        flags |= 1u << 29;
    }
    if (!down || IsDown(state.keys, key)) {
        flags |= 1u << 30;  // was down before
    }
    if (!down) {
        flags |= 1u << 31;
    }
    *out = Routed{target->handle, target->threadId, message, key,
                  static_cast<LPARAM>(static_cast<LONG>(flags))};
    return true;
}

bool RouteLocked(const State& state, const RawInput& input, Routed* out) {
    if (input.kind == RawInput::KeyDown || input.kind == RawInput::KeyUp) {
        return RouteKeyLocked(state, input, out);
    }
    return RoutePointerLocked(state, input, out);
}

// The input was read (or dropped): the key state and the pointer follow it.
void ApplyLocked(State& state, const RawInput& input, const Routed* routed) {
    switch (input.kind) {
        case RawInput::KeyDown:
        case RawInput::KeyUp:
            ApplyKey(state.keys, input.key, input.kind == RawInput::KeyDown);
            return;
        case RawInput::PointerDown:
            ApplyKey(state.keys, VK_LBUTTON, true);
            if (routed && routed->message == WM_LBUTTONDBLCLK) {
                state.lastDownWindow = nullptr;  // a third press starts again
            } else {
                state.lastDownWindow = routed ? routed->hwnd : nullptr;
                state.lastDownTime = input.time;
                state.lastDownPoint = input.point;
            }
            break;
        case RawInput::PointerUp:
            ApplyKey(state.keys, VK_LBUTTON, false);
            break;
        case RawInput::PointerMove:
            break;
    }
    state.cursor = input.point;
}

// Several inputs go in under one lock: a press and its release arrive together, so
// the window that takes the press also takes the release, never the next window.
void PostInputs(std::initializer_list<RawInput> inputs) {
    Lock lock = TakeLock();
    State& state = StateLocked();
    for (RawInput input : inputs) {
        input.time = ClockMilliseconds();
        if (input.kind == RawInput::PointerMove && !state.input.empty() &&
            state.input.back().kind == RawInput::PointerMove) {
            state.input.back() = input;
        } else {
            state.input.push_back(input);
        }
        if (input.kind == RawInput::KeyDown || input.kind == RawInput::KeyUp) {
            ApplyKey(state.asyncKeys, input.key, input.kind == RawInput::KeyDown);
        } else if (input.kind != RawInput::PointerMove) {
            ApplyKey(state.asyncKeys, VK_LBUTTON, input.kind == RawInput::PointerDown);
        }
    }
    NotifyWaitersLocked();
}

void PostInput(RawInput input) {
    PostInputs({input});
}

WCHAR CharacterOf(UINT key, const BYTE* keys) {
    const bool shift = IsDown(keys, VK_SHIFT);
    const bool control = IsDown(keys, VK_CONTROL);
    if (key >= 'A' && key <= 'Z') {
        if (control) {
            return static_cast<WCHAR>(key - 'A' + 1);
        }
        bool upper = shift != ((keys[VK_CAPITAL] & 0x01) != 0);
        return static_cast<WCHAR>(upper ? key : key + ('a' - 'A'));
    }
    if (control) {
        return 0;
    }
    if (key >= '0' && key <= '9') {
        return shift ? u")!@#$%^&*("[key - '0'] : static_cast<WCHAR>(key);
    }
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) {
        return static_cast<WCHAR>(u'0' + (key - VK_NUMPAD0));
    }
    // The other keys that type: the character unshifted and shifted.
    struct Typed {
        UINT key;
        WCHAR plain;
        WCHAR shifted;
    };
    static constexpr Typed kTyped[] = {
        {VK_SPACE, u' ', u' '},     {VK_RETURN, u'\r', u'\r'},  {VK_BACK, 8, 8},
        {VK_TAB, u'\t', u'\t'},     {VK_ESCAPE, 27, 27},        {VK_MULTIPLY, u'*', u'*'},
        {VK_ADD, u'+', u'+'},       {VK_SUBTRACT, u'-', u'-'},  {VK_DECIMAL, u'.', u'.'},
        {VK_DIVIDE, u'/', u'/'},    {VK_OEM_1, u';', u':'},     {VK_OEM_PLUS, u'=', u'+'},
        {VK_OEM_COMMA, u',', u'<'}, {VK_OEM_MINUS, u'-', u'_'}, {VK_OEM_PERIOD, u'.', u'>'},
        {VK_OEM_2, u'/', u'?'},     {VK_OEM_3, u'`', u'~'},     {VK_OEM_4, u'[', u'{'},
        {VK_OEM_5, u'\\', u'|'},    {VK_OEM_6, u']', u'}'},     {VK_OEM_7, u'\'', u'"'},
    };
    for (const Typed& typed : kTyped) {
        if (typed.key == key) {
            return shift ? typed.shifted : typed.plain;
        }
    }
    return 0;
}

}  // namespace

bool HasInputForLocked(const ThreadQueue& queue) {
    const State& state = StateLocked();
    for (const RawInput& input : state.input) {
        Routed routed;
        if (RouteLocked(state, input, &routed)) {
            return routed.threadId == queue.threadId;
        }
    }
    return false;
}

bool TakeInputLocked(ThreadQueue& queue, const Filter& filter, bool remove, MSG* msg,
                     HWND* activate) {
    State& state = StateLocked();
    while (!state.input.empty()) {
        const RawInput input = state.input.front();
        Routed routed;
        if (!RouteLocked(state, input, &routed)) {
            // Nobody to take it: it is lost, as a tap on the bare desktop is.
            state.input.pop_front();
            ApplyLocked(state, input, nullptr);
            NotifyWaitersLocked();
            continue;
        }
        if (routed.threadId != queue.threadId || !filter.Takes(routed.message) ||
            !WindowPassesLocked(filter, routed.hwnd)) {
            return false;
        }
        *msg = MSG{routed.hwnd,
                   routed.message,
                   routed.wParam,
                   routed.lParam,
                   static_cast<DWORD>(input.time),
                   input.point};
        if (remove) {
            state.input.pop_front();
            ApplyLocked(state, input, &routed);
            if (input.kind == RawInput::PointerDown) {
                Window* top = TopLevelOfLocked(FindLocked(routed.hwnd));
                if (top && top->handle != state.active && !(top->style & WS_DISABLED)) {
                    *activate = top->handle;
                }
            }
            NotifyWaitersLocked();  // the next input may be for another thread
        }
        return true;
    }
    return false;
}

void ForgetWindowLocked(HWND hwnd) {
    State& state = StateLocked();
    for (HWND* held : {&state.focus, &state.active, &state.capture, &state.lastDownWindow,
                       &state.scrollTracking}) {
        if (*held == hwnd) {
            *held = nullptr;
        }
    }
    std::erase_if(state.hotkeys, [&](const HotKey& hotKey) { return hotKey.hwnd == hwnd; });
}

HWND NextActiveCandidateLocked(const Window* leaving) {
    State& state = StateLocked();
    auto usable = [&](const Window* w) {
        return w && w != leaving && w->parent == state.desktop && (w->style & WS_VISIBLE) &&
               !(w->style & WS_DISABLED) && !w->destroying && w->owner != leaving->handle;
    };
    if (Window* owner = FindLocked(leaving->owner); usable(owner)) {
        return owner->handle;
    }
    for (Window* window : state.desktop->children) {
        if (usable(window)) {
            return window->handle;
        }
    }
    return nullptr;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

void platform::PostPointerDown(POINT screenPoint) {
    PostInput(RawInput{RawInput::PointerDown, screenPoint, 0, 0});
}

void platform::PostPointerMove(POINT screenPoint) {
    PostInput(RawInput{RawInput::PointerMove, screenPoint, 0, 0});
}

void platform::PostPointerUp(POINT screenPoint) {
    PostInput(RawInput{RawInput::PointerUp, screenPoint, 0, 0});
}

void platform::PostTap(POINT screenPoint) {
    PostInputs({RawInput{RawInput::PointerDown, screenPoint, 0, 0},
                RawInput{RawInput::PointerUp, screenPoint, 0, 0}});
}

void platform::PostKeyDown(UINT virtualKey) {
    PostInput(RawInput{RawInput::KeyDown, POINT{}, virtualKey & 0xFF, 0});
}

void platform::PostKeyUp(UINT virtualKey) {
    PostInput(RawInput{RawInput::KeyUp, POINT{}, virtualKey & 0xFF, 0});
}

void platform::PostKeyPress(UINT virtualKey) {
    PostInputs({RawInput{RawInput::KeyDown, POINT{}, virtualKey & 0xFF, 0},
                RawInput{RawInput::KeyUp, POINT{}, virtualKey & 0xFF, 0}});
}

void platform::DiscardPendingInput() {
    Lock lock = TakeLock();
    StateLocked().input.clear();
}

BOOL TranslateMessage(const MSG* msg) {
    if (!msg || msg->message < WM_KEYDOWN || msg->message > WM_SYSKEYUP ||
        msg->message == WM_CHAR || msg->message == WM_DEADCHAR) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
        Lock lock = TakeLock();
        WCHAR character = CharacterOf(static_cast<UINT>(msg->wParam), StateLocked().keys);
        if (character) {
            UINT message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
            CurrentQueueLocked().posted.push_front(
                MSG{msg->hwnd, message, character, msg->lParam, msg->time, msg->pt});
            NotifyWaitersLocked();
        }
    }
    return TRUE;
}

SHORT GetKeyState(int virtualKey) {
    Lock lock = TakeLock();
    BYTE state = StateLocked().keys[virtualKey & 0xFF];
    return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 0x01));
}

SHORT GetAsyncKeyState(int virtualKey) {
    Lock lock = TakeLock();
    return static_cast<SHORT>((StateLocked().asyncKeys[virtualKey & 0xFF] & 0x80) ? 0x8000 : 0);
}

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT virtualKey) {
    Lock lock = TakeLock();
    State& state = StateLocked();
    if (!hwnd || !FindOrFailLocked(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    virtualKey &= 0xFF;
    for (const HotKey& hotKey : state.hotkeys) {
        if (hotKey.key == virtualKey && hotKey.modifiers == modifiers &&
            !(hotKey.hwnd == hwnd && hotKey.id == id)) {
            SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
            return FALSE;
        }
    }
    HotKey entry{hwnd, id, modifiers, virtualKey};
    auto same = std::find_if(state.hotkeys.begin(), state.hotkeys.end(),
                             [&](const HotKey& h) { return h.hwnd == hwnd && h.id == id; });
    if (same != state.hotkeys.end()) {
        *same = entry;
    } else {
        state.hotkeys.push_back(entry);
    }
    NotifyWaitersLocked();
    return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
    Lock lock = TakeLock();
    if (!std::erase_if(StateLocked().hotkeys,
                       [&](const HotKey& h) { return h.hwnd == hwnd && h.id == id; })) {
        SetLastError(ERROR_HOTKEY_NOT_REGISTERED);
        return FALSE;
    }
    return TRUE;
}

BOOL UnregisterFunc1(UINT, UINT) {
    return TRUE;
}
