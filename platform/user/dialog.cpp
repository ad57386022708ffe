// Dialogs: templates, creation, the default dialog procedure and the modal loop.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "platform/user/dialogs_internal.h"

namespace platform::user {
namespace {

struct DialogInfo {
    HFONT font = nullptr;
    bool ownsFont = false;
    SIZE base{};
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    WORD defId = 0;
    HWND lastFocus = nullptr;
};

struct Dialogs {
    std::mutex lock;
    std::map<HWND, DialogInfo> dialogs;
    // Templates by module (null: the program's own) and id.
    std::map<std::pair<HINSTANCE, WORD>, DialogTemplate> templates;
};

Dialogs& TheDialogs() {
    static auto* dialogs = new Dialogs;
    return *dialogs;
}

// The program's own module answers to a null instance, the program's instance and the
// main resource module's instance.
HINSTANCE ModuleKey(HINSTANCE instance) {
    if (!instance || instance == ProgramInstance() || instance == MainResourceInstance()) {
        return nullptr;
    }
    return instance;
}

std::optional<DialogInfo> InfoOf(HWND dialog) {
    Dialogs& all = TheDialogs();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.dialogs.find(dialog);
    if (found == all.dialogs.end()) {
        return std::nullopt;
    }
    return found->second;
}

template <typename F>
bool UpdateInfo(HWND dialog, F change) {
    Dialogs& all = TheDialogs();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.dialogs.find(dialog);
    if (found == all.dialogs.end()) {
        return false;
    }
    change(found->second);
    return true;
}

SIZE BaseUnitsOf(HFONT font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE extent{};
    static const char16_t kLetters[] = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    GetTextExtentPoint32W(dc, kLetters, 52, &extent);
    SelectObject(dc, old);
    DeleteDC(dc);
    SIZE base{(extent.cx / 26 + 1) / 2, metrics.tmHeight};
    if (base.cx <= 0) {
        base.cx = 1;
    }
    if (base.cy <= 0) {
        base.cy = 1;
    }
    return base;
}

HFONT TemplateFont(const DialogTemplate& t, bool* owned) {
    *owned = false;
    if (!(t.style & DS_SETFONT) || t.fontFace.empty()) {
        return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    }
    LOGFONTW font{};
    font.lfHeight = -((static_cast<LONG>(t.pointSize) * ScreenDpi() + 36) / 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    size_t count = std::min<size_t>(t.fontFace.size(), LF_FACESIZE - 1);
    std::copy_n(t.fontFace.begin(), count, font.lfFaceName);
    HFONT made = CreateFontIndirectW(&font);
    if (!made) {
        return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    }
    *owned = true;
    return made;
}

RECT ToPixels(SIZE base, short x, short y, short cx, short cy) {
    auto across = [&](int v) { return v * base.cx / 4; };
    auto down = [&](int v) { return v * base.cy / 8; };
    return RECT{across(x), down(y), across(x + cx), down(y + cy)};
}

UINT DlgCode(HWND control, const MSG* msg) {
    if (!control) {
        return 0;
    }
    return static_cast<UINT>(
        SendMessageW(control, WM_GETDLGCODE, msg ? msg->wParam : 0, reinterpret_cast<LPARAM>(msg)));
}

bool IsPushButton(HWND control) {
    return DlgCode(control, nullptr) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON);
}

// The dialog's children in z-order (creation order: new children go to the bottom).
std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    return children;
}

// The dialog's item that holds `window`: the focus may be in a control's own child
// (a combo box's field), and the order runs over the dialog's items.
HWND ItemHolding(HWND dialog, HWND window) {
    if (!window || !IsChild(dialog, window)) {
        return window;
    }
    while (GetParent(window) != dialog) {
        window = GetParent(window);
    }
    return window;
}

LONG StyleOf(HWND hwnd) {
    return GetWindowLongW(hwnd, GWL_STYLE);
}

// By the control's own style: a dialog is still hidden while it initialises.
bool CanTakeFocus(HWND control) {
    LONG style = StyleOf(control);
    return (style & WS_VISIBLE) && !(style & WS_DISABLED);
}

// The control the dialog's focus returns to: the last one focused, else the first tab
// stop.
HWND FocusTarget(HWND dialog) {
    auto info = InfoOf(dialog);
    if (info && info->lastFocus && IsChild(dialog, info->lastFocus) &&
        CanTakeFocus(info->lastFocus)) {
        return info->lastFocus;
    }
    return GetNextDlgTabItem(dialog, nullptr, FALSE);
}

bool FocusIsWithin(HWND dialog) {
    HWND focus = GetFocus();
    return focus && (focus == dialog || IsChild(dialog, focus));
}

void SelectAllIfEdit(HWND control) {
#ifdef EM_SETSEL
    if (DlgCode(control, nullptr) & DLGC_HASSETSEL) {
        SendMessageW(control, EM_SETSEL, 0, -1);
    }
#else
    (void)control;
#endif
}

void SetDefaultButton(HWND dialog, WORD id) {
    auto info = InfoOf(dialog);
    if (!info) {
        return;
    }
    WORD old = info->defId;
    UpdateInfo(dialog, [id](DialogInfo& d) { d.defId = id; });
    if (old && old != id) {
        HWND button = GetDlgItem(dialog, old);
        if (button && (DlgCode(button, nullptr) & DLGC_DEFPUSHBUTTON)) {
            SendMessageW(button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        }
    }
    if (id) {
        HWND button = GetDlgItem(dialog, id);
        if (button && (DlgCode(button, nullptr) & DLGC_UNDEFPUSHBUTTON)) {
            SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
        }
    }
}

// Sends WM_COMMAND for a button as if it had been clicked; nothing for a disabled one.
void PressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (button && !IsWindowEnabled(button)) {
        return;
    }
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

HWND CreateFromTemplate(HINSTANCE instance, const DialogTemplate& t, HWND owner, DLGPROC proc,
                        LPARAM initParam, bool modal) {
    const bool child = t.style & WS_CHILD;
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND parent = child ? owner : OwnerTopLevel(owner);
    bool ownsFont = false;
    HFONT font = TemplateFont(t, &ownsFont);
    SIZE base = BaseUnitsOf(font);

    RECT client = ToPixels(base, t.x, t.y, t.cx, t.cy);
    RECT insets = FrameInsets(t.style, t.exStyle);
    int width = client.right - client.left + insets.left + insets.right;
    int height = client.bottom - client.top + insets.top + insets.bottom;
    POINT at{client.left, client.top};
    if (!child) {
        if (t.style & DS_CENTER) {
            at = POINT{(ScreenWidth() - width) / 2, (ScreenHeight() - height) / 2};
        } else if (parent && !(t.style & DS_ABSALIGN)) {
            ClientToScreen(parent, &at);
        }
        // Keep the dialog on the screen as far as it fits.
        at.x = std::max<LONG>(0, std::min<LONG>(at.x, ScreenWidth() - width));
        at.y = std::max<LONG>(0, std::min<LONG>(at.y, ScreenHeight() - height));
    }

    HWND dialog = CreateWindowExW(t.exStyle, u"#32770", t.caption.c_str(), t.style & ~WS_VISIBLE,
                                  at.x, at.y, width, height, parent, nullptr, instance, nullptr);
    if (!dialog) {
        if (ownsFont) {
            DeleteObject(font);
        }
        return nullptr;
    }
    {
        Dialogs& all = TheDialogs();
        std::lock_guard<std::mutex> guard(all.lock);
        DialogInfo& info = all.dialogs[dialog];
        info.font = font;
        info.ownsFont = ownsFont;
        info.base = base;
        info.modal = modal;
    }
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    if (t.style & DS_SETFONT) {
        SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }

    WORD defId = 0;
    for (const DialogItemTemplate& item : t.items) {
        RECT r = ToPixels(base, item.x, item.y, item.cx, item.cy);
        char16_t ordinal[3] = {0xFFFF, item.resourceId, 0};
        LPCWSTR text = item.resourceId ? ordinal : item.text.c_str();
        HWND control = CreateWindowExW(
            item.exStyle | WS_EX_NOPARENTNOTIFY, item.className.c_str(), text,
            item.style | WS_CHILD, r.left, r.top, r.right - r.left, r.bottom - r.top, dialog,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance, nullptr);
        if (!control) {
            DWORD error = GetLastError();
            DestroyWindow(dialog);
            SetLastError(error ? error : ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (t.style & DS_SETFONT) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
        if (!defId && (DlgCode(control, nullptr) & DLGC_DEFPUSHBUTTON)) {
            defId = item.id;
        }
    }
    UpdateInfo(dialog, [defId](DialogInfo& d) { d.defId = defId; });

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    LRESULT focusFirst =
        SendMessageW(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam);
    if (!IsWindow(dialog)) {
        return nullptr;
    }
    if (focusFirst && first) {
        UpdateInfo(dialog, [first](DialogInfo& d) { d.lastFocus = first; });
    }
    auto info = InfoOf(dialog);
    if ((t.style & WS_VISIBLE) && !(info && info->ended)) {
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    if (focusFirst && first && IsWindow(first) && IsWindowVisible(dialog)) {
        SetFocus(first);
        SelectAllIfEdit(first);
    }
    return dialog;
}

const DialogTemplate* FindTemplate(HINSTANCE instance, LPCWSTR name, DialogTemplate* copy) {
    if (!name || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    WORD id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    HINSTANCE key = ModuleKey(instance);
    Dialogs& all = TheDialogs();
    std::lock_guard<std::mutex> guard(all.lock);
    auto found = all.templates.find({key, id});
    if (found == all.templates.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    *copy = found->second;
    return copy;
}

}  // namespace

HWND CreateOwnDialog(DWORD style, DWORD exStyle, const RECT& windowRect,
                     const std::u16string& caption, HWND owner, DLGPROC proc, LPARAM initParam) {
    HWND dialog = CreateWindowExW(
        exStyle, u"#32770", caption.c_str(), style & ~WS_VISIBLE, windowRect.left, windowRect.top,
        windowRect.right - windowRect.left, windowRect.bottom - windowRect.top,
        OwnerTopLevel(owner), nullptr, nullptr, nullptr);
    if (!dialog) {
        return nullptr;
    }
    HFONT font = SystemUiFont(9);
    {
        Dialogs& all = TheDialogs();
        std::lock_guard<std::mutex> guard(all.lock);
        DialogInfo& info = all.dialogs[dialog];
        info.font = font;
        info.base = BaseUnitsOf(font);
        info.modal = true;
    }
    SetWindowLongPtrW(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    SendMessageW(dialog, WM_INITDIALOG, 0, initParam);
    return IsWindow(dialog) ? dialog : nullptr;
}

WNDCLASSW DialogClass() {
    WNDCLASSW info{};
    info.style = CS_DBLCLKS;
    info.lpfnWndProc = DefDlgProcW;
    info.cbWndExtra = DLGWINDOWEXTRA;
    info.lpszClassName = u"#32770";
    return info;
}

HWND OwnerTopLevel(HWND hwnd) {
    while (hwnd && (StyleOf(hwnd) & WS_CHILD)) {
        hwnd = GetParent(hwnd);
    }
    return hwnd;
}

SIZE DialogBaseUnits(HWND dialog) {
    if (auto info = InfoOf(dialog)) {
        return info->base;
    }
    static const SIZE system = BaseUnitsOf(static_cast<HFONT>(GetStockObject(SYSTEM_FONT)));
    return system;
}

int Scaled(int pixelsAt96) {
    return pixelsAt96 * ScreenDpi() / 96;
}

HFONT SystemUiFont(int points, bool bold) {
    static std::mutex lock;
    static auto* fonts = new std::map<std::pair<int, int>, HFONT>;
    std::lock_guard<std::mutex> guard(lock);
    auto key = std::make_pair(points * ScreenDpi(), bold ? 1 : 0);
    auto found = fonts->find(key);
    if (found != fonts->end()) {
        return found->second;
    }
    LOGFONTW font{};
    font.lfHeight = -((points * ScreenDpi() + 36) / 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    std::u16string face = u"Tahoma";
    std::copy(face.begin(), face.end(), font.lfFaceName);
    HFONT made = CreateFontIndirectW(&font);
    platform::MakeStockObject(made);
    fonts->emplace(key, made);
    return made;
}

namespace {

// The modal loops running, oldest first, with the thread that runs each.
struct ModalLoops {
    std::mutex lock;
    std::vector<std::pair<HWND, DWORD>> running;
};

ModalLoops& TheModalLoops() {
    static ModalLoops loops;
    return loops;
}

class ModalLoopMark {
  public:
    explicit ModalLoopMark(HWND dialog) : dialog_(dialog) {
        ModalLoops& loops = TheModalLoops();
        std::lock_guard<std::mutex> guard(loops.lock);
        loops.running.emplace_back(dialog, GetCurrentThreadId());
    }
    ~ModalLoopMark() {
        ModalLoops& loops = TheModalLoops();
        std::lock_guard<std::mutex> guard(loops.lock);
        for (auto it = loops.running.begin(); it != loops.running.end(); ++it) {
            if (it->first == dialog_) {
                loops.running.erase(it);
                break;
            }
        }
    }
    ModalLoopMark(const ModalLoopMark&) = delete;
    ModalLoopMark& operator=(const ModalLoopMark&) = delete;

  private:
    HWND dialog_;
};

}  // namespace

INT_PTR RunModalDialog(HWND dialog, HWND owner) {
    const ModalLoopMark mark(dialog);
    owner = OwnerTopLevel(owner);
    // An owner of another thread is left alone: disabling it would wait on a thread
    // that may be waiting on this one.
    const bool disableOwner = owner && IsWindowEnabled(owner) &&
                              GetWindowThreadProcessId(owner, nullptr) == GetCurrentThreadId();
    if (disableOwner) {
        EnableWindow(owner, FALSE);
    }
    auto ended = [dialog] {
        auto info = InfoOf(dialog);
        return !info || info->ended;
    };
    if (!ended() && !IsWindowVisible(dialog)) {
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    INT_PTR result = IDCANCEL;
    MSG msg;
    while (!ended()) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop outside
            UpdateInfo(dialog, [](DialogInfo& d) {
                d.ended = true;
                d.result = IDCANCEL;
            });
            break;
        }
        if (got == -1) {
            break;
        }
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (auto info = InfoOf(dialog)) {
        result = info->result;
    }
    // The owner is enabled before the dialog goes, so that it takes the activation back.
    if (disableOwner) {
        EnableWindow(owner, TRUE);
    }
    if (IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    if (owner && IsWindow(owner) && IsWindowVisible(owner) && !GetActiveWindow()) {
        SetActiveWindow(owner);
    }
    return result;
}

}  // namespace platform::user

using namespace platform;
using namespace platform::user;

void platform::PostCloseToMainWindow() {
    const HWND main = MainWindow();
    if (!main) {
        return;
    }
    const DWORD thread = GetWindowThreadProcessId(main, nullptr);
    std::vector<HWND> dialogs;
    {
        ModalLoops& loops = TheModalLoops();
        std::lock_guard<std::mutex> guard(loops.lock);
        for (auto it = loops.running.rbegin(); it != loops.running.rend(); ++it) {
            if (it->second == thread) {
                dialogs.push_back(it->first);
            }
        }
    }
    for (HWND dialog : dialogs) {
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    PostMessageW(main, WM_CLOSE, 0, 0);
}

void platform::RegisterDialogTemplate(HINSTANCE instance, WORD id,
                                      const DialogTemplate& dialogTemplate) {
    HINSTANCE key = ModuleKey(instance);
    Dialogs& all = TheDialogs();
    std::lock_guard<std::mutex> guard(all.lock);
    all.templates[{key, id}] = dialogTemplate;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
    if (!dialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    DialogTemplate t = *dialogTemplate;
    t.style &= ~WS_CHILD;
    HWND dialog = CreateFromTemplate(instance, t, owner, dialogProc, initParam, true);
    if (!dialog) {
        return -1;
    }
    return RunModalDialog(dialog, owner);
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
    DialogTemplate copy;
    if (!FindTemplate(instance, templateName, &copy)) {
        return -1;
    }
    return DialogBoxIndirectParamW(instance, &copy, owner, dialogProc, initParam);
}

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam) {
    if (!dialogTemplate) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateFromTemplate(instance, *dialogTemplate, owner, dialogProc, initParam, false);
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam) {
    DialogTemplate copy;
    if (!FindTemplate(instance, templateName, &copy)) {
        return nullptr;
    }
    return CreateDialogIndirectParamW(instance, &copy, owner, dialogProc, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    bool modal = false;
    bool known = UpdateInfo(dialog, [&](DialogInfo& d) {
        d.ended = true;
        d.result = result;
        modal = d.modal;
    });
    if (!known) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (modal) {
        // Hidden at once when this thread runs the dialog; the loop destroys it. Another
        // thread only wakes the loop: waiting on the dialog's thread could deadlock.
        if (GetWindowThreadProcessId(dialog, nullptr) == GetCurrentThreadId()) {
            ShowWindow(dialog, SW_HIDE);
        }
        PostMessageW(dialog, WM_NULL, 0, 0);
    }
    return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
    if (proc) {
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
        INT_PTR handled = proc(dialog, message, wParam, lParam);
        if (handled) {
            switch (message) {
                case WM_INITDIALOG:
                case WM_CTLCOLORMSGBOX:
                case WM_CTLCOLOREDIT:
                case WM_CTLCOLORLISTBOX:
                case WM_CTLCOLORBTN:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLORSCROLLBAR:
                case WM_CTLCOLORSTATIC:
                    return handled;
                default:
                    return IsWindow(dialog) ? GetWindowLongPtrW(dialog, DWLP_MSGRESULT) : 0;
            }
        }
    }
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;  // focus the first control
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            auto brush = reinterpret_cast<HBRUSH>(
                SendMessageW(dialog, WM_CTLCOLORDLG, wParam, reinterpret_cast<LPARAM>(dialog)));
            if (!brush) {
                brush = GetSysColorBrush(COLOR_BTNFACE);
            }
            RECT client;
            GetClientRect(dialog, &client);
            FillRect(dc, &client, brush);
            return TRUE;
        }
        case WM_CLOSE: {
            HWND cancel = GetDlgItem(dialog, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel)) {
                SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
            }
            return 0;
        }
        case DM_GETDEFID: {
            auto info = InfoOf(dialog);
            return info && info->defId ? MAKELRESULT(info->defId, DC_HASDEFID) : 0;
        }
        case DM_SETDEFID:
            SetDefaultButton(dialog, static_cast<WORD>(wParam));
            return TRUE;
        case WM_GETFONT: {
            auto info = InfoOf(dialog);
            return info ? reinterpret_cast<LRESULT>(info->font) : 0;
        }
        case WM_NEXTDLGCTL: {
            HWND target = lParam ? reinterpret_cast<HWND>(wParam)
                                 : GetNextDlgTabItem(dialog, GetFocus(), wParam != 0);
            if (target && IsChild(dialog, target)) {
                SetFocus(target);
                SelectAllIfEdit(target);
            }
            return 0;
        }
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(dialog, focus)) {
                    UpdateInfo(dialog, [focus](DialogInfo& d) { d.lastFocus = focus; });
                }
            } else if (!FocusIsWithin(dialog) || GetFocus() == dialog) {
                HWND target = FocusTarget(dialog);
                SetFocus(target ? target : dialog);
            }
            return 0;
        case WM_SETFOCUS:
            if (HWND target = FocusTarget(dialog)) {
                SetFocus(target);
            }
            return 0;
        case WM_NCDESTROY: {
            DialogInfo gone;
            bool had = false;
            {
                Dialogs& all = TheDialogs();
                std::lock_guard<std::mutex> guard(all.lock);
                auto found = all.dialogs.find(dialog);
                if (found != all.dialogs.end()) {
                    gone = found->second;
                    had = true;
                    all.dialogs.erase(found);
                }
            }
            if (had && gone.ownsFont) {
                DeleteObject(gone.font);
            }
            return DefWindowProcW(dialog, message, wParam, lParam);
        }
        default:
            return DefWindowProcW(dialog, message, wParam, lParam);
    }
}

BOOL IsDialogMessageW(HWND dialog, LPMSG msg) {
    if (!dialog || !msg || !IsWindow(dialog) ||
        (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN) {
        UINT code = msg->hwnd == dialog ? 0 : DlgCode(msg->hwnd, msg);
        bool shift = GetKeyState(VK_SHIFT) & 0x8000;
        switch (msg->wParam) {
            case VK_TAB:
                if (!(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) {
                    SendMessageW(dialog, WM_NEXTDLGCTL, shift ? 1 : 0, FALSE);
                    return TRUE;
                }
                break;
            case VK_LEFT:
            case VK_UP:
            case VK_RIGHT:
            case VK_DOWN:
                if (!(code & (DLGC_WANTARROWS | DLGC_WANTALLKEYS))) {
                    bool back = msg->wParam == VK_LEFT || msg->wParam == VK_UP;
                    HWND from = GetFocus();
                    HWND next = GetNextDlgGroupItem(dialog, from, back);
                    if (next && next != from) {
                        SetFocus(next);
                        if (DlgCode(next, nullptr) & DLGC_RADIOBUTTON) {
                            SendMessageW(next, BM_CLICK, 0, 0);
                        }
                        return TRUE;
                    }
                }
                break;  // nowhere to move: the window gets the key
            case VK_RETURN:
                if (!(code & DLGC_WANTALLKEYS)) {
                    HWND focus = GetFocus();
                    int id = IDOK;
                    if (focus && IsChild(dialog, focus) && IsPushButton(focus)) {
                        id = GetDlgCtrlID(focus);
                    } else {
                        LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
                        if (HIWORD(def) == DC_HASDEFID) {
                            id = LOWORD(def);
                        }
                    }
                    PressButton(dialog, id);
                    return TRUE;
                }
                break;
            case VK_ESCAPE:
                if (!(code & DLGC_WANTALLKEYS)) {
                    PressButton(dialog, IDCANCEL);
                    return TRUE;
                }
                break;
            default:
                break;
        }
    } else if (msg->message == WM_CHAR) {
        // The characters of keys handled above never reach a control that did not ask.
        UINT code = msg->hwnd == dialog ? 0 : DlgCode(msg->hwnd, msg);
        if ((msg->wParam == u'\t' && !(code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) ||
            ((msg->wParam == u'\r' || msg->wParam == 0x1B) && !(code & DLGC_WANTALLKEYS))) {
            return TRUE;
        }
    }
    TranslateMessage(msg);
    DispatchMessageW(msg);
    return TRUE;
}

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SetWindowTextW(control, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        if (text && maxCount > 0) {
            text[0] = 0;
        }
        return 0;
    }
    return static_cast<UINT>(GetWindowTextW(control, text, maxCount));
}

BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned) {
    std::string digits = isSigned ? std::to_string(static_cast<int>(value)) : std::to_string(value);
    std::u16string text(digits.begin(), digits.end());
    return SetDlgItemTextW(dialog, id, text.c_str());
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned) {
    if (translated) {
        *translated = FALSE;
    }
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        return 0;
    }
    int length = GetWindowTextLengthW(control);
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    size_t i = 0;
    auto blank = [&](size_t at) {
        return at < text.size() && (text[at] == u' ' || text[at] == u'\t');
    };
    while (blank(i)) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (negative && !isSigned) {
        return 0;
    }
    uint64_t value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
        value = value * 10 + static_cast<uint64_t>(text[i] - u'0');
        if (value > 0xFFFFFFFFull) {
            return 0;
        }
    }
    while (blank(i)) {
        ++i;
    }
    if (digits == 0 || i != text.size()) {
        return 0;
    }
    if (isSigned && value > (negative ? 0x80000000ull : 0x7FFFFFFFull)) {
        return 0;
    }
    if (translated) {
        *translated = TRUE;
    }
    if (negative) {
        return static_cast<UINT>(-static_cast<int64_t>(value));
    }
    return static_cast<UINT>(value);
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND control = GetDlgItem(dialog, id);
    return control ? SendMessageW(control, message, wParam, lParam) : 0;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) {
        return FALSE;
    }
    SendMessageW(control, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (HWND child : Children(dialog)) {
        int id = GetDlgCtrlID(child);
        if (id >= firstId && id <= lastId) {
            SendMessageW(child, BM_SETCHECK, id == checkId ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect) {
    if (!rect || !IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    auto info = InfoOf(dialog);
    if (!info) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SIZE base = info->base;
    rect->left = rect->left * base.cx / 4;
    rect->right = rect->right * base.cx / 4;
    rect->top = rect->top * base.cy / 8;
    rect->bottom = rect->bottom * base.cy / 8;
    return TRUE;
}

LONG GetDialogBaseUnits() {
    SIZE base = DialogBaseUnits(nullptr);
    return MAKELONG(base.cx, base.cy);
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    control = ItemHolding(dialog, control);
    std::vector<HWND> children = Children(dialog);
    if (previous) {
        std::reverse(children.begin(), children.end());
    }
    if (children.empty()) {
        return nullptr;
    }
    auto start = std::find(children.begin(), children.end(), control);
    // Without a starting control the search begins at the first child.
    size_t from = start == children.end() ? children.size() - 1 : start - children.begin();
    for (size_t step = 1; step <= children.size(); ++step) {
        HWND candidate = children[(from + step) % children.size()];
        if ((StyleOf(candidate) & WS_TABSTOP) && CanTakeFocus(candidate)) {
            return candidate;
        }
    }
    return start == children.end() ? nullptr : control;
}

HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous) {
    if (!IsWindow(dialog)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    control = ItemHolding(dialog, control);
    std::vector<HWND> children = Children(dialog);
    auto at = std::find(children.begin(), children.end(), control);
    if (at == children.end()) {
        return GetNextDlgTabItem(dialog, nullptr, previous);
    }
    // The group: from the WS_GROUP control at or before `control` to the next one.
    size_t first = at - children.begin();
    while (first > 0 && !(StyleOf(children[first]) & WS_GROUP)) {
        --first;
    }
    size_t end = first + 1;
    while (end < children.size() && !(StyleOf(children[end]) & WS_GROUP)) {
        ++end;
    }
    std::vector<HWND> group(children.begin() + first, children.begin() + end);
    if (previous) {
        std::reverse(group.begin(), group.end());
    }
    size_t from = std::find(group.begin(), group.end(), control) - group.begin();
    for (size_t step = 1; step < group.size(); ++step) {
        HWND candidate = group[(from + step) % group.size()];
        if (CanTakeFocus(candidate)) {
            return candidate;
        }
    }
    return control;
}
