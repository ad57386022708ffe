// The drawn message box: a modal dialog of the window system's own whose icon, text and
// buttons it draws itself, so that it needs no control classes.
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <optional>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

struct Box {
    std::u16string text;
    UINT type = 0;
    std::vector<int> buttons;
    std::vector<RECT> buttonRects;  // client coordinates
    RECT textRect{};
    RECT iconRect{};
    size_t focus = 0;
    int pressed = -1;  // the button held down, by index
};

struct Boxes {
    std::mutex lock;
    std::map<HWND, Box> boxes;
};

Boxes& TheBoxes() {
    static auto* boxes = new Boxes;
    return *boxes;
}

LPCWSTR LabelOf(int id) {
    switch (id) {
        case IDOK:
            return u"OK";
        case IDCANCEL:
            return u"Cancel";
        case IDABORT:
            return u"Abort";
        case IDRETRY:
            return u"Retry";
        case IDIGNORE:
            return u"Ignore";
        case IDYES:
            return u"Yes";
        case IDNO:
            return u"No";
        default:
            return u"";
    }
}

std::optional<Box> BoxOf(HWND hwnd) {
    Boxes& all = TheBoxes();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.boxes.find(hwnd);
    if (found == all.boxes.end()) {
        return std::nullopt;
    }
    return found->second;
}

template <typename F>
void UpdateBox(HWND hwnd, F change) {
    Boxes& all = TheBoxes();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.boxes.find(hwnd);
    if (found != all.boxes.end()) {
        change(found->second);
    }
}

// Lays the box out; returns its client size.
SIZE LayOut(Box& box) {
    const int margin = Scaled(8);
    const int iconSize = (box.type & MB_ICONMASK) ? Scaled(32) : 0;
    const int buttonWidth = Scaled(60);
    const int buttonHeight = Scaled(22);
    const int gap = Scaled(6);
    const RECT frame = FrameInsets(WS_POPUP | WS_CAPTION | WS_BORDER, 0);
    const int maxClientWidth =
        std::max(Scaled(120), ScreenWidth() - 2 * margin - frame.left - frame.right);
    const int clientWidth = std::min(maxClientWidth, Scaled(300));
    const int textLeft = margin + (iconSize ? iconSize + margin : 0);
    const int textWidth = std::max(Scaled(40), clientWidth - textLeft - margin);

    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, SystemUiFont(9));
    RECT measured{0, 0, textWidth, 0};
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &measured,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    DeleteDC(dc);

    // Text that does not fit on the screen is cut at the bottom.
    const int maxTextHeight =
        std::max(Scaled(16), ScreenHeight() - frame.top - frame.bottom - buttonHeight - 4 * margin);
    const int textHeight = std::min<int>(measured.bottom - measured.top, maxTextHeight);
    const int bodyHeight = std::max(textHeight, iconSize);
    box.iconRect = RECT{margin, margin, margin + iconSize, margin + iconSize};
    box.textRect = RECT{textLeft, margin + (bodyHeight - textHeight) / 2, textLeft + textWidth,
                        margin + (bodyHeight - textHeight) / 2 + textHeight};
    const int count = static_cast<int>(box.buttons.size());
    const int rowWidth = count * buttonWidth + (count - 1) * gap;
    int x = (clientWidth - rowWidth) / 2;
    const int y = margin + bodyHeight + margin;
    box.buttonRects.clear();
    for (int i = 0; i < count; ++i) {
        box.buttonRects.push_back(RECT{x, y, x + buttonWidth, y + buttonHeight});
        x += buttonWidth + gap;
    }
    return SIZE{clientWidth, y + buttonHeight + margin};
}

void DrawIcon(HDC dc, UINT type, const RECT& r) {
    const UINT icon = type & MB_ICONMASK;
    if (!icon) {
        return;
    }
    COLORREF fill = RGB(0, 90, 200);
    LPCWSTR mark = u"i";
    if (icon == MB_ICONHAND) {
        fill = RGB(210, 30, 30);
        mark = u"\u00D7";
    } else if (icon == MB_ICONQUESTION) {
        mark = u"?";
    } else if (icon == MB_ICONEXCLAMATION) {
        fill = RGB(240, 190, 0);
        mark = u"!";
    }
    HBRUSH brush = CreateSolidBrush(fill);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    if (icon == MB_ICONEXCLAMATION) {
        POINT triangle[3] = {
            {(r.left + r.right) / 2, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
        Polygon(dc, triangle, 3);
    } else {
        Ellipse(dc, r.left, r.top, r.right, r.bottom);
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(brush);
    HGDIOBJ oldFont = SelectObject(dc, SystemUiFont(14, true));
    SetTextColor(dc, icon == MB_ICONEXCLAMATION ? RGB(0, 0, 0) : RGB(255, 255, 255));
    RECT text = r;
    if (icon == MB_ICONEXCLAMATION) {
        text.top += Scaled(6);
    }
    DrawTextW(dc, mark, -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, oldFont);
}

void Paint(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) {
        return;
    }
    auto box = BoxOf(hwnd);
    if (box) {
        SetBkMode(dc, TRANSPARENT);
        DrawIcon(dc, box->type, box->iconRect);
        HGDIOBJ oldFont = SelectObject(dc, SystemUiFont(9));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        RECT text = box->textRect;
        DrawTextW(dc, box->text.c_str(), static_cast<int>(box->text.size()), &text,
                  DT_WORDBREAK | DT_NOPREFIX);
        for (size_t i = 0; i < box->buttons.size(); ++i) {
            RECT r = box->buttonRects[i];
            const bool pressed = box->pressed == static_cast<int>(i);
            FillRect(dc, &r, GetSysColorBrush(pressed ? COLOR_BTNSHADOW : COLOR_BTNFACE));
            HBRUSH edge = GetSysColorBrush(COLOR_WINDOWFRAME);
            const int thickness = i == box->focus ? 2 : 1;  // the focused button is the default
            RECT sides[4] = {{r.left, r.top, r.right, r.top + thickness},
                             {r.left, r.bottom - thickness, r.right, r.bottom},
                             {r.left, r.top, r.left + thickness, r.bottom},
                             {r.right - thickness, r.top, r.right, r.bottom}};
            for (const RECT& side : sides) {
                FillRect(dc, &side, edge);
            }
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
            DrawTextW(dc, LabelOf(box->buttons[i]), -1, &r,
                      DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
        SelectObject(dc, oldFont);
    }
    EndPaint(hwnd, &paint);
}

int ButtonAt(const Box& box, POINT p) {
    for (size_t i = 0; i < box.buttonRects.size(); ++i) {
        if (PtInRect(&box.buttonRects[i], p)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void MoveFocus(HWND hwnd, int step) {
    UpdateBox(hwnd, [step](Box& box) {
        const int count = static_cast<int>(box.buttons.size());
        box.focus = static_cast<size_t>((static_cast<int>(box.focus) + step + count) % count);
    });
    InvalidateRect(hwnd, nullptr, TRUE);
}

// A WM_COMMAND from the dialog manager (Enter, Escape, WM_CLOSE) or from a tap.
void Choose(HWND hwnd, int id) {
    auto box = BoxOf(hwnd);
    if (!box) {
        return;
    }
    const auto& buttons = box->buttons;
    if (std::find(buttons.begin(), buttons.end(), id) != buttons.end()) {
        EndDialog(hwnd, id);
    } else if (id == IDCANCEL && buttons.size() == 1 && buttons.front() == IDOK) {
        EndDialog(hwnd, IDOK);  // Escape closes a box that only informs
    }
}

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            Boxes& all = TheBoxes();
            std::lock_guard<std::mutex> guard(all.lock);
            all.boxes[hwnd] = *reinterpret_cast<const Box*>(lParam);
            return FALSE;
        }
        case WM_PAINT:
            Paint(hwnd);
            return TRUE;
        case DM_GETDEFID: {
            auto box = BoxOf(hwnd);
            if (!box) {
                return FALSE;
            }
            SetWindowLongPtrW(hwnd, DWLP_MSGRESULT,
                              MAKELRESULT(box->buttons[box->focus], DC_HASDEFID));
            return TRUE;
        }
        case WM_NEXTDLGCTL:
            MoveFocus(hwnd, wParam ? -1 : 1);
            return TRUE;
        case WM_KEYDOWN:
            if (wParam == VK_LEFT || wParam == VK_UP) {
                MoveFocus(hwnd, -1);
                return TRUE;
            }
            if (wParam == VK_RIGHT || wParam == VK_DOWN) {
                MoveFocus(hwnd, 1);
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            Choose(hwnd, LOWORD(wParam));
            return TRUE;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {  // a quick second tap is a tap too
            auto box = BoxOf(hwnd);
            int index =
                box ? ButtonAt(*box, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) : -1;
            if (index >= 0) {
                UpdateBox(hwnd, [index](Box& b) {
                    b.pressed = index;
                    b.focus = static_cast<size_t>(index);
                });
                SetCapture(hwnd);
                InvalidateRect(hwnd, nullptr, TRUE);
            }
            return TRUE;
        }
        case WM_LBUTTONUP: {
            if (GetCapture() == hwnd) {
                ReleaseCapture();
            }
            auto box = BoxOf(hwnd);
            if (!box || box->pressed < 0) {
                return TRUE;
            }
            UpdateBox(hwnd, [](Box& b) { b.pressed = -1; });
            InvalidateRect(hwnd, nullptr, TRUE);
            if (ButtonAt(*box, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) == box->pressed) {
                EndDialog(hwnd, box->buttons[static_cast<size_t>(box->pressed)]);
            }
            return TRUE;
        }
        case WM_NCDESTROY: {
            Boxes& all = TheBoxes();
            std::lock_guard<std::mutex> guard(all.lock);
            all.boxes.erase(hwnd);
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

}  // namespace platform::user

using namespace platform::user;

int platform::ShowMessageBoxDialog(HWND owner, const std::u16string& text,
                                   const std::u16string& caption, UINT type) {
    Box box;
    box.text = text;
    box.type = type;
    box.buttons = MessageBoxButtons(type);
    if (box.buttons.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (owner && !IsWindow(owner)) {
        owner = nullptr;  // the box still shows; it just has no owner to disable
    }
    size_t defaultIndex = (type & MB_DEFMASK) >> 8;
    box.focus = defaultIndex < box.buttons.size() ? defaultIndex : 0;
    SIZE client = LayOut(box);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER | DS_MODALFRAME;
    RECT frame = FrameInsets(style, 0);
    int width = client.cx + frame.left + frame.right;
    int height = client.cy + frame.top + frame.bottom;
    int x = std::max(0, (ScreenWidth() - width) / 2);
    int y = std::max(0, (ScreenHeight() - height) / 2);
    HWND dialog = CreateOwnDialog(style, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME,
                                  RECT{x, y, x + width, y + height}, caption, owner, BoxProc,
                                  reinterpret_cast<LPARAM>(&box));
    if (!dialog) {
        return DefaultMessageBoxAnswer(type);
    }
    return static_cast<int>(RunModalDialog(dialog, owner));
}

namespace {
std::atomic<bool> g_drawnMessageBox{false};
}

bool platform::IsDrawnMessageBox() {
    // A window still opening decides it: the program's own boxes ask before they show.
    RunBeforeBoxHandler();
    return g_drawnMessageBox.load();
}

void platform::UseDrawnMessageBox(bool use) {
    g_drawnMessageBox.store(use);
    if (use) {
        SetMessageBoxHandler(
            [](HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) {
                return ShowMessageBoxDialog(owner, text, caption, type);
            });
    } else {
        SetMessageBoxHandler(nullptr);
    }
}

RECT platform::MessageBoxButtonRect(int buttonId) {
    HWND hwnd = nullptr;
    Box box;
    {
        Boxes& all = TheBoxes();
        std::lock_guard<std::mutex> guard(all.lock);
        if (all.boxes.empty()) {
            return RECT{};
        }
        hwnd = all.boxes.rbegin()->first;
        box = all.boxes.rbegin()->second;
    }
    for (size_t i = 0; i < box.buttons.size(); ++i) {
        if (box.buttons[i] == buttonId) {
            RECT r = box.buttonRects[i];
            MapWindowPoints(hwnd, nullptr, reinterpret_cast<LPPOINT>(&r), 2);
            return r;
        }
    }
    return RECT{};
}
