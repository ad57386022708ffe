// Cursors. The handheld has no mouse pointer: the only cursor anyone sees is the wait
// cursor, which the host draws while it is set and shown.
#include <atomic>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

// The system cursors are fixed handles that are never freed.
constexpr uintptr_t kCursorBase = 0x7F000;

std::atomic<uintptr_t>& CurrentCursor() {
    static std::atomic<uintptr_t> cursor{kCursorBase + 32512};  // the arrow
    return cursor;
}

std::atomic<int>& DisplayCount() {
    static std::atomic<int> count{0};
    return count;
}

}  // namespace
}  // namespace platform::user

using namespace platform::user;

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    if (instance || !name || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    switch (id) {
        case 32512:
        case 32513:
        case 32514:
        case 32515:
        case 32650:
            return reinterpret_cast<HCURSOR>(kCursorBase + id);
        default:
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return nullptr;
    }
}

HCURSOR SetCursor(HCURSOR cursor) {
    uintptr_t previous = CurrentCursor().exchange(reinterpret_cast<uintptr_t>(cursor));
    if (previous != reinterpret_cast<uintptr_t>(cursor)) {
        platform::user::BumpScreenGeneration();  // the host redraws with or without it
    }
    return reinterpret_cast<HCURSOR>(previous);
}

HCURSOR GetCursor() {
    return reinterpret_cast<HCURSOR>(CurrentCursor().load());
}

int ShowCursor(BOOL show) {
    return show ? ++DisplayCount() : --DisplayCount();
}

bool platform::WaitCursorShown() {
    return CurrentCursor().load() == kCursorBase + 32514 && DisplayCount().load() >= 0;
}

void platform::DrawWaitCursor(HDC dc, int width, int height) {
    const int w = platform::user::Scaled(14);
    const int h = platform::user::Scaled(20);
    const int left = (width - w) / 2;
    const int top = (height - h) / 2;
    const int mid = top + h / 2;
    // Two glass halves meeting in the middle, sand in both, bars at the ends.
    POINT glass[6] = {{left, top},         {left + w, top}, {left + w / 2 + 1, mid},
                      {left + w, top + h}, {left, top + h}, {left + w / 2 - 1, mid}};
    HBRUSH sand = CreateSolidBrush(RGB(230, 190, 90));
    HPEN outline = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ oldBrush = SelectObject(dc, sand);
    HGDIOBJ oldPen = SelectObject(dc, outline);
    Polygon(dc, glass, 6);
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    Rectangle(dc, left - 2, top - 2, left + w + 2, top + 1);
    Rectangle(dc, left - 2, top + h - 1, left + w + 2, top + h + 2);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(outline);
    DeleteObject(sand);
}
