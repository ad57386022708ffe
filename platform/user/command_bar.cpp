// The command bar: a menu bar, buttons and adornments in one child window along the
// top of its parent.
#include <algorithm>
#include <map>
#include <mutex>
#include <optional>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

constexpr char16_t kBarClass[] = u"CommandBar";

struct Images {
    HBITMAP bitmap = nullptr;
    int count = 0;
    int width = 0;
    int height = 0;
};

struct Bar {
    HMENU menu = nullptr;
    bool ownsMenu = false;
    size_t menuAt = 0;  // the menu bar stands before this button
    std::vector<TBBUTTON> buttons;
    std::vector<Images> images;
    std::vector<std::u16string> tips;
    DWORD adornments = 0;
    bool hasAdornments = false;
    int pressed = -1;  // the button held down, by index
};

struct Bars {
    std::mutex lock;
    std::map<HWND, Bar> bars;
};

Bars& TheBars() {
    static auto* bars = new Bars;
    return *bars;
}

int BarHeight() {
    return Scaled(26);
}

int ButtonWidth() {
    return Scaled(23);
}

int SeparatorWidth() {
    return Scaled(6);
}

enum class PartKind { MenuEntry, Button, Close, Ok, Help };

struct Part {
    PartKind kind;
    int index;  // the menu position or the button index
    RECT rect;
};

std::optional<Bar> BarOf(HWND hwnd) {
    Bars& all = TheBars();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.bars.find(hwnd);
    if (found == all.bars.end()) {
        return std::nullopt;
    }
    return found->second;
}

template <typename F>
bool UpdateBar(HWND hwnd, F change) {
    Bars& all = TheBars();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.bars.find(hwnd);
    if (found == all.bars.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    change(found->second);
    return true;
}

// Everything the bar shows, left to right, with the adornments at the right end.
std::vector<Part> Layout(HWND hwnd, const Bar& bar) {
    std::vector<Part> parts;
    RECT client;
    GetClientRect(hwnd, &client);
    const int height = client.bottom;
    int x = 0;
    auto addMenu = [&] {
        std::vector<MenuItem> items;
        if (!bar.menu || !MenuItems(bar.menu, &items)) {
            return;
        }
        const std::vector<int> widths = MenuBarEntryWidths(items);
        for (size_t i = 0; i < items.size(); ++i) {
            parts.push_back(
                Part{PartKind::MenuEntry, static_cast<int>(i), {x, 0, x + widths[i], height}});
            x += widths[i];
        }
    };
    for (size_t i = 0; i <= bar.buttons.size(); ++i) {
        if (i == std::min(bar.menuAt, bar.buttons.size())) {
            addMenu();
        }
        if (i == bar.buttons.size()) {
            break;
        }
        const TBBUTTON& button = bar.buttons[i];
        if (button.fsState & TBSTATE_HIDDEN) {
            continue;
        }
        int width = (button.fsStyle & TBSTYLE_SEP) ? SeparatorWidth() : ButtonWidth();
        if (!(button.fsStyle & TBSTYLE_SEP)) {
            parts.push_back(Part{PartKind::Button, static_cast<int>(i), {x, 0, x + width, height}});
        }
        x += width;
    }
    if (bar.hasAdornments) {
        int right = client.right;
        auto addAdornment = [&](PartKind kind) {
            parts.push_back(Part{kind, 0, {right - ButtonWidth(), 0, right, height}});
            right -= ButtonWidth();
        };
        addAdornment(PartKind::Close);
        if (bar.adornments & CMDBAR_OK) {
            addAdornment(PartKind::Ok);
        }
        if (bar.adornments & CMDBAR_HELP) {
            addAdornment(PartKind::Help);
        }
    }
    return parts;
}

const Part* PartAt(const std::vector<Part>& parts, POINT p) {
    for (const Part& part : parts) {
        if (PtInRect(&part.rect, p)) {
            return &part;
        }
    }
    return nullptr;
}

void FitToParent(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    RECT client{};
    if (parent) {
        GetClientRect(parent, &client);
    }
    SetWindowPos(hwnd, nullptr, 0, 0, client.right, BarHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void DrawButtonFace(HDC dc, const RECT& r, bool sunken) {
    HPEN light = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HPEN dark = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_BTNSHADOW));
    HGDIOBJ old = SelectObject(dc, sunken ? dark : light);
    MoveToEx(dc, r.left, r.bottom - 2, nullptr);
    LineTo(dc, r.left, r.top);
    LineTo(dc, r.right - 1, r.top);
    SelectObject(dc, sunken ? light : dark);
    LineTo(dc, r.right - 1, r.bottom - 1);
    LineTo(dc, r.left, r.bottom - 1);
    SelectObject(dc, old);
    DeleteObject(light);
    DeleteObject(dark);
}

void DrawImage(HDC dc, const Bar& bar, int image, const RECT& r, bool enabled) {
    for (const Images& strip : bar.images) {
        if (image >= strip.count) {
            image -= strip.count;
            continue;
        }
        if (image < 0 || !strip.bitmap) {
            return;
        }
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, strip.bitmap);
        int x = r.left + (r.right - r.left - strip.width) / 2;
        int y = r.top + (r.bottom - r.top - strip.height) / 2;
        BitBlt(dc, x, y, strip.width, strip.height, source, image * strip.width, 0, SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
        if (!enabled) {
            // Greyed: every other pixel in the face colour.
            for (int py = y; py < y + strip.height; ++py) {
                for (int px = x + (py & 1); px < x + strip.width; px += 2) {
                    SetPixel(dc, px, py, GetSysColor(COLOR_BTNFACE));
                }
            }
        }
        return;
    }
}

void Paint(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) {
        return;
    }
    auto bar = BarOf(hwnd);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    RECT edge{0, client.bottom - 1, client.right, client.bottom};
    FillRect(dc, &edge, GetSysColorBrush(COLOR_BTNSHADOW));
    if (!bar) {
        EndPaint(hwnd, &paint);
        return;
    }
    std::vector<MenuItem> items;
    if (bar->menu) {
        MenuItems(bar->menu, &items);
    }
    HGDIOBJ oldFont = SelectObject(dc, SystemUiFont(9));
    SetBkMode(dc, TRANSPARENT);
    for (const Part& part : Layout(hwnd, *bar)) {
        RECT r = part.rect;
        switch (part.kind) {
            case PartKind::MenuEntry: {
                const MenuItem& item = items[static_cast<size_t>(part.index)];
                bool grey = item.flags & (MF_GRAYED | MF_DISABLED);
                SetTextColor(dc, GetSysColor(grey ? COLOR_GRAYTEXT : COLOR_MENUTEXT));
                DrawTextW(dc, item.text.c_str(), static_cast<int>(item.text.size()), &r,
                          DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                break;
            }
            case PartKind::Button: {
                const TBBUTTON& button = bar->buttons[static_cast<size_t>(part.index)];
                bool sunken = bar->pressed == part.index || (button.fsState & TBSTATE_CHECKED);
                if (sunken) {
                    DrawButtonFace(dc, r, true);
                }
                DrawImage(dc, *bar, button.iBitmap, r, button.fsState & TBSTATE_ENABLED);
                break;
            }
            case PartKind::Close:
            case PartKind::Ok:
            case PartKind::Help: {
                DrawButtonFace(dc, r, false);
                SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
                LPCWSTR label = part.kind == PartKind::Close ? u"\u00D7"
                                : part.kind == PartKind::Ok  ? u"ok"
                                                             : u"?";
                DrawTextW(dc, label, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
                break;
            }
        }
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &paint);
}

void OpenMenuEntry(HWND hwnd, const Bar& bar, const Part& part) {
    std::vector<MenuItem> items;
    if (!bar.menu || !MenuItems(bar.menu, &items) ||
        static_cast<size_t>(part.index) >= items.size()) {
        return;
    }
    const MenuItem& item = items[static_cast<size_t>(part.index)];
    if (item.flags & (MF_GRAYED | MF_DISABLED | MF_SEPARATOR)) {
        return;
    }
    HWND parent = GetParent(hwnd);
    if (!item.popup) {
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(item.id, 0), 0);
        return;
    }
    RECT barOnScreen;
    GetWindowRect(hwnd, &barOnScreen);
    POINT at{part.rect.left, part.rect.bottom};
    ClientToScreen(hwnd, &at);
    UINT chosen = RunPopupMenu(item.popup, TPM_LEFTALIGN | TPM_TOPALIGN, at, parent, &barOnScreen);
    if (chosen && IsWindow(parent)) {
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(chosen, 0), 0);
    }
}

void PointerDown(HWND hwnd, POINT p) {
    auto bar = BarOf(hwnd);
    if (!bar) {
        return;
    }
    std::vector<Part> parts = Layout(hwnd, *bar);
    const Part* part = PartAt(parts, p);
    if (!part) {
        return;
    }
    if (part->kind == PartKind::MenuEntry) {
        OpenMenuEntry(hwnd, *bar, *part);
        return;
    }
    if (part->kind == PartKind::Button &&
        !(bar->buttons[static_cast<size_t>(part->index)].fsState & TBSTATE_ENABLED)) {
        return;
    }
    int pressed = part->kind == PartKind::Button ? part->index : -1 - static_cast<int>(part->kind);
    UpdateBar(hwnd, [pressed](Bar& b) { b.pressed = pressed; });
    SetCapture(hwnd);
    InvalidateRect(hwnd, &part->rect, TRUE);
}

void PointerUp(HWND hwnd, POINT p) {
    auto bar = BarOf(hwnd);
    if (GetCapture() == hwnd) {
        ReleaseCapture();
    }
    if (!bar || bar->pressed == -1) {
        return;
    }
    UpdateBar(hwnd, [](Bar& b) { b.pressed = -1; });
    InvalidateRect(hwnd, nullptr, TRUE);
    std::vector<Part> parts = Layout(hwnd, *bar);
    const Part* part = PartAt(parts, p);
    if (!part) {
        return;
    }
    HWND parent = GetParent(hwnd);
    if (part->kind == PartKind::Button && part->index == bar->pressed) {
        TBBUTTON button = bar->buttons[static_cast<size_t>(part->index)];
        if (button.fsStyle & TBSTYLE_CHECK) {
            UpdateBar(hwnd, [&](Bar& b) {
                b.buttons[static_cast<size_t>(part->index)].fsState ^= TBSTATE_CHECKED;
            });
        }
        PostMessageW(parent, WM_COMMAND, MAKEWPARAM(button.idCommand, BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
    } else if (part->kind != PartKind::Button &&
               bar->pressed == -1 - static_cast<int>(part->kind)) {
        if (part->kind == PartKind::Close) {
            PostMessageW(parent, WM_CLOSE, 0, 0);
        } else if (part->kind == PartKind::Ok) {
            PostMessageW(parent, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(hwnd));
        } else {
            PostMessageW(parent, WM_HELP, 0, 0);
        }
    }
}

LRESULT CALLBACK BarProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            Bars& all = TheBars();
            std::lock_guard<std::mutex> guard(all.lock);
            all.bars[hwnd] = Bar{};
            return 0;
        }
        case WM_PAINT:
            Paint(hwnd);
            return 0;
        case WM_ERASEBKGND:
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            PointerDown(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_LBUTTONUP:
            PointerUp(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_NCDESTROY: {
            Bar gone;
            {
                Bars& all = TheBars();
                std::lock_guard<std::mutex> guard(all.lock);
                auto found = all.bars.find(hwnd);
                if (found != all.bars.end()) {
                    gone = found->second;
                    all.bars.erase(found);
                }
            }
            if (gone.ownsMenu && gone.menu) {
                DestroyMenu(gone.menu);
            }
            for (const Images& strip : gone.images) {
                DeleteObject(strip.bitmap);
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

bool SetMenu(HWND bar, HMENU menu, bool owns, WORD button) {
    HMENU previous = nullptr;
    bool ownedPrevious = false;
    bool known = UpdateBar(bar, [&](Bar& b) {
        previous = b.menu;
        ownedPrevious = b.ownsMenu;
        b.menu = menu;
        b.ownsMenu = owns;
        b.menuAt = button;
    });
    if (!known) {
        if (owns) {
            DestroyMenu(menu);
        }
        return false;
    }
    if (ownedPrevious && previous && previous != menu) {
        DestroyMenu(previous);
    }
    InvalidateRect(bar, nullptr, TRUE);
    return true;
}

}  // namespace

WNDCLASSW CommandBarClass() {
    WNDCLASSW info{};
    info.lpfnWndProc = BarProc;
    info.lpszClassName = kBarClass;
    return info;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id) {
    if (!parent || !IsWindow(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    RECT client;
    GetClientRect(parent, &client);
    return CreateWindowExW(0, kBarClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                           client.right, BarHeight(), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button) {
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(menuId));
    return menu && SetMenu(bar, menu, true, button) ? TRUE : FALSE;
}

BOOL CommandBar_InsertMenubarEx(HWND bar, HINSTANCE instance, LPWSTR menuName, WORD button) {
    if (!instance && menuName && !IS_INTRESOURCE(menuName)) {
        auto menu = reinterpret_cast<HMENU>(menuName);
        if (!IsMenu(menu)) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        return SetMenu(bar, menu, false, button) ? TRUE : FALSE;
    }
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    HMENU menu = LoadMenuW(instance, menuName);
    return menu && SetMenu(bar, menu, true, button) ? TRUE : FALSE;
}

HMENU CommandBar_GetMenu(HWND bar, WORD) {
    auto found = BarOf(bar);
    return found ? found->menu : nullptr;
}

BOOL CommandBar_DrawMenuBar(HWND bar, WORD) {
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return InvalidateRect(bar, nullptr, TRUE);
}

BOOL CommandBar_AddAdornments(HWND bar, DWORD flags, DWORD) {
    if (!UpdateBar(bar, [flags](Bar& b) {
            b.hasAdornments = true;
            b.adornments = flags;
        })) {
        return FALSE;
    }
    InvalidateRect(bar, nullptr, TRUE);
    return TRUE;
}

int CommandBar_AddBitmap(HWND bar, HINSTANCE instance, int bitmapId, int count, int width,
                         int height) {
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    if (count <= 0 || width <= 0 || height <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    HBITMAP bitmap = LoadBitmapW(instance, MAKEINTRESOURCEW(bitmapId));
    if (!bitmap) {
        return -1;
    }
    int first = -1;
    UpdateBar(bar, [&](Bar& b) {
        first = 0;
        for (const Images& strip : b.images) {
            first += strip.count;
        }
        b.images.push_back(Images{bitmap, count, width, height});
    });
    return first;
}

BOOL CommandBar_InsertButton(HWND bar, int index, const TBBUTTON* button) {
    if (!button) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!UpdateBar(bar, [&](Bar& b) {
            size_t at = index < 0 ? b.buttons.size()
                                  : std::min(static_cast<size_t>(index), b.buttons.size());
            b.buttons.insert(b.buttons.begin() + static_cast<std::ptrdiff_t>(at), *button);
        })) {
        return FALSE;
    }
    InvalidateRect(bar, nullptr, TRUE);
    return TRUE;
}

BOOL CommandBar_AddButtons(HWND bar, UINT count, const TBBUTTON* buttons) {
    if (!buttons && count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!UpdateBar(bar,
                   [&](Bar& b) { b.buttons.insert(b.buttons.end(), buttons, buttons + count); })) {
        return FALSE;
    }
    InvalidateRect(bar, nullptr, TRUE);
    return TRUE;
}

BOOL CommandBar_AddToolTips(HWND bar, UINT count, LPWSTR* tips) {
    if (!tips && count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return UpdateBar(bar,
                     [&](Bar& b) {
                         for (UINT i = 0; i < count; ++i) {
                             b.tips.emplace_back(tips[i] ? tips[i] : u"");
                         }
                     })
               ? TRUE
               : FALSE;
}

int CommandBar_Height(HWND bar) {
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return BarHeight();
}

BOOL CommandBar_Show(HWND bar, BOOL show) {
    if (!BarOf(bar)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (show) {
        FitToParent(bar);
    }
    ShowWindow(bar, show ? SW_SHOWNA : SW_HIDE);
    return TRUE;
}

BOOL CommandBar_IsVisible(HWND bar) {
    return BarOf(bar) && IsWindowVisible(bar) ? TRUE : FALSE;
}

RECT platform::CommandBarMenuEntryRect(HWND bar, int position) {
    auto found = BarOf(bar);
    if (!found) {
        return RECT{};
    }
    for (const Part& part : Layout(bar, *found)) {
        if (part.kind == PartKind::MenuEntry && part.index == position) {
            return part.rect;
        }
    }
    return RECT{};
}

RECT platform::CommandBarButtonRect(HWND bar, int index) {
    auto found = BarOf(bar);
    if (!found) {
        return RECT{};
    }
    for (const Part& part : Layout(bar, *found)) {
        if (part.kind == PartKind::Button && part.index == index) {
            return part.rect;
        }
    }
    return RECT{};
}
