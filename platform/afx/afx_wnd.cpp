#include <algorithm>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/afx/afx_internal.h"

namespace platform::afx {

TempMaps::~TempMaps() {
    Clear();
}

void TempMaps::Clear() {
    // The wrappers never own their handles: let go of them before deleting.
    for (auto& [handle, object] : gdi)
        object->m_hObject = nullptr;
    for (auto& [handle, dc] : this->dc)
        dc->m_hDC = nullptr;
    for (auto& [handle, wnd] : this->wnd)
        wnd->m_hWnd = nullptr;
    gdi.clear();
    dc.clear();
    wnd.clear();
}

TempMaps& ThreadTempMaps() {
    thread_local TempMaps maps;
    return maps;
}

}  // namespace platform::afx

// What the window core keeps: the permanent handle map (process-wide, as any thread
// may look a window up), the library's classes and the message being handled.
struct AfxWndInternals {
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::unordered_map<HWND, CWnd*>& Permanent() {
        static std::unordered_map<HWND, CWnd*> map;
        return map;
    }
    // Lower-case class name -> the procedure the class was registered with.
    static std::map<std::u16string, WNDPROC>& Classes() {
        static std::map<std::u16string, WNDPROC> classes;
        return classes;
    }
    static std::u16string Lower(LPCWSTR text) {
        std::u16string result(text);
        for (auto& ch : result)
            ch = towlower(ch);
        return result;
    }
    // The class's registered procedure when it is one of the library's classes.
    static bool LibraryClassProc(LPCWSTR className, WNDPROC* proc) {
        if (className == nullptr || IS_INTRESOURCE(className))
            return false;
        std::lock_guard guard(Lock());
        auto found = Classes().find(Lower(className));
        if (found == Classes().end())
            return false;
        *proc = found->second;
        return true;
    }
    static WNDPROC ClassProcOf(HWND hwnd) {
        WCHAR name[256];
        WNDPROC proc = DefWindowProcW;
        if (GetClassNameW(hwnd, name, 256) > 0)
            LibraryClassProc(name, &proc);
        return proc;
    }
    static void Map(HWND hwnd, CWnd* wnd) {
        std::lock_guard guard(Lock());
        Permanent()[hwnd] = wnd;
    }
    static void Unmap(HWND hwnd) {
        std::lock_guard guard(Lock());
        Permanent().erase(hwnd);
    }

    static thread_local CWnd* t_wndInit;
    static thread_local std::vector<MSG> t_current;

    static LRESULT CallWndProc(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // An owner-drawn item's message goes to the item control's own CWnd first; true
    // when that one answered.
    static bool ReflectToItem(CWnd* wnd, int id) {
        const MSG* current = CWnd::GetCurrentMessage();
        LRESULT result = 0;
        return current != nullptr && id != 0 &&
               CWnd::ReflectChildNotify(::GetDlgItem(wnd->m_hWnd, id), current->message,
                                        current->wParam, current->lParam, &result);
    }
    static void Dispatch(CWnd* wnd, const AFX_MSGMAP_ENTRY* entry, UINT message, WPARAM wParam,
                         LPARAM lParam, LRESULT* result);
};

thread_local CWnd* AfxWndInternals::t_wndInit = nullptr;
thread_local std::vector<MSG> AfxWndInternals::t_current;

namespace {

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP_ENTRY* entry, UINT message, UINT code, UINT id) {
    for (; entry->nSig != AfxSig_end; ++entry) {
        if (entry->nMessage == message && entry->nCode == code && id >= entry->nID &&
            id <= entry->nLastID) {
            return entry;
        }
    }
    return nullptr;
}

// The control a scroll message came from, as the handler's CScrollBar argument: its
// own CWnd when it has one, otherwise a temporary CScrollBar.
CScrollBar* ScrollBarOf(HWND control) {
    if (control == nullptr)
        return nullptr;
    if (CWnd* wnd = CWnd::FromHandlePermanent(control))
        return reinterpret_cast<CScrollBar*>(wnd);
    auto& slot = platform::afx::ThreadTempMaps().wnd[control];
    if (!slot) {
        auto bar = std::make_unique<CScrollBar>();
        bar->m_hWnd = control;
        slot = std::move(bar);
    }
    if (auto* bar = dynamic_cast<CScrollBar*>(slot.get()))
        return bar;
    return reinterpret_cast<CScrollBar*>(slot.get());
}

bool IsCtlColor(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// What OnNotify hands to an ON_NOTIFY handler through OnCmdMsg.
struct NotifyExtra {
    LRESULT* result;
    NMHDR* header;
};

}  // namespace

// ---------------------------------------------------------------------------------
// Command targets

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

BOOL CCmdTarget::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
    UINT message = WM_COMMAND;
    UINT entryCode = static_cast<UINT>(code);
    if (HIWORD(static_cast<DWORD>(code)) == WM_NOTIFY) {
        message = WM_NOTIFY;
        entryCode = LOWORD(static_cast<DWORD>(code));
    }
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        const AFX_MSGMAP_ENTRY* entry = FindEntry(map->lpEntries, message, entryCode, id);
        if (entry == nullptr)
            continue;
        if (handlerInfo != nullptr) {
            handlerInfo->pTarget = this;
            handlerInfo->pmf = entry->pfn;
            return TRUE;
        }
        switch (entry->nSig) {
            case AfxSig_vv:
                (this->*entry->pfn)();
                break;
            case AfxSig_vw:
                (this->*AfxHandlerOf<void (CCmdTarget::*)(UINT)>(entry->pfn))(id);
                break;
            case AfxSig_notify: {
                auto* notify = static_cast<NotifyExtra*>(extra);
                if (notify == nullptr)
                    return FALSE;
                (this->*AfxHandlerOf<void (CCmdTarget::*)(NMHDR*, LRESULT*)>(entry->pfn))(
                    notify->header, notify->result);
                break;
            }
            default:
                return FALSE;
        }
        return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------
// The window procedure

LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
    if (wnd == nullptr) {
        if (AfxWndInternals::t_wndInit == nullptr) {
            // A window of a library class made without a CWnd: its class's own procedure.
            return CallWindowProcW(AfxWndInternals::ClassProcOf(hwnd), hwnd, message, wParam,
                                   lParam);
        }
        wnd = AfxWndInternals::t_wndInit;
        AfxWndInternals::t_wndInit = nullptr;
        wnd->m_hWnd = hwnd;
        wnd->m_pfnSuper = AfxWndInternals::ClassProcOf(hwnd);
        AfxWndInternals::Map(hwnd, wnd);
    }
    return AfxWndInternals::CallWndProc(wnd, hwnd, message, wParam, lParam);
}

LRESULT AfxWndInternals::CallWndProc(CWnd* wnd, HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
    t_current.push_back(MSG{hwnd, message, wParam, lParam, 0, {0, 0}});
    LRESULT result;
    try {
        result = wnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        t_current.pop_back();
        throw;
    }
    t_current.pop_back();
    if (message == WM_NCDESTROY) {
        if (wnd->m_hWnd == hwnd) {
            Unmap(hwnd);
            wnd->m_hWnd = nullptr;
            wnd->m_pfnSuper = nullptr;
        }
        if (CWinThread* thread = AfxGetThread(); thread != nullptr && thread->m_pMainWnd == wnd) {
            // The main window is gone: the thread's pump ends.
            thread->m_pMainWnd = nullptr;
            PostQuitMessage(0);
        }
        if (auto* frame = dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(::GetParent(hwnd)));
            frame != nullptr && frame->GetActiveView() == wnd) {
            frame->SetActiveView(nullptr, FALSE);
        }
        wnd->PostNcDestroy();  // may delete wnd
    }
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    return result;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    LRESULT value = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *result = 1;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        if (lParam == 0 || !OnNotify(wParam, lParam, &value))
            return FALSE;
        *result = value;
        return TRUE;
    }
    UINT key = IsCtlColor(message) ? static_cast<UINT>(WM_CTLCOLORSTATIC) : message;
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr) {
        const AFX_MSGMAP_ENTRY* entry = FindEntry(map->lpEntries, key, 0, 0);
        if (entry != nullptr) {
            AfxWndInternals::Dispatch(this, entry, message, wParam, lParam, &value);
            *result = value;
            return TRUE;
        }
    }
    return FALSE;
}

void AfxWndInternals::Dispatch(CWnd* wnd, const AFX_MSGMAP_ENTRY* entry, UINT message,
                               WPARAM wParam, LPARAM lParam, LRESULT* result) {
    AFX_PMSG pfn = entry->pfn;
    const auto lo = static_cast<UINT>(LOWORD(static_cast<DWORD>(wParam)));
    const auto hi = static_cast<UINT>(HIWORD(static_cast<DWORD>(wParam)));
    const auto lLo = static_cast<UINT>(LOWORD(static_cast<DWORD>(lParam)));
    const auto lHi = static_cast<UINT>(HIWORD(static_cast<DWORD>(lParam)));
    switch (entry->nSig) {
        case AfxSig_lwl:
            *result = (wnd->*AfxHandlerOf<LRESULT (CWnd::*)(WPARAM, LPARAM)>(pfn))(wParam, lParam);
            break;
        case AfxSig_vv:
            (wnd->*AfxHandlerOf<void (CWnd::*)()>(pfn))();
            break;
        case AfxSig_is:
            *result = (wnd->*AfxHandlerOf<int (CWnd::*)(LPCREATESTRUCT)>(pfn))(
                reinterpret_cast<LPCREATESTRUCT>(lParam));
            break;
        case AfxSig_bD:
            *result = (wnd->*AfxHandlerOf<BOOL (CWnd::*)(CDC*)>(pfn))(
                CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
            break;
        case AfxSig_vwii:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, int, int)>(pfn))(
                static_cast<UINT>(wParam), static_cast<SHORT>(lLo), static_cast<SHORT>(lHi));
            break;
        case AfxSig_vii:
            (wnd->*AfxHandlerOf<void (CWnd::*)(int, int)>(pfn))(static_cast<SHORT>(lLo),
                                                                static_cast<SHORT>(lHi));
            break;
        case AfxSig_vt:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT_PTR)>(pfn))(static_cast<UINT_PTR>(wParam));
            break;
        case AfxSig_vwp:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, CPoint)>(pfn))(static_cast<UINT>(wParam),
                                                                    CPoint(lParam));
            break;
        case AfxSig_vwww:
        case AfxSig_vHotKey:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, UINT, UINT)>(pfn))(static_cast<UINT>(wParam),
                                                                        lLo, lHi);
            break;
        case AfxSig_vwWb:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, CWnd*, BOOL)>(pfn))(
                lo, CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), static_cast<BOOL>(hi));
            break;
        case AfxSig_vW:
            (wnd->*AfxHandlerOf<void (CWnd::*)(CWnd*)>(pfn))(CWnd::FromHandle(
                reinterpret_cast<HWND>(message == WM_CAPTURECHANGED ? lParam : wParam)));
            break;
        case AfxSig_hDWw: {
            HBRUSH brush = (wnd->*AfxHandlerOf<HBRUSH (CWnd::*)(CDC*, CWnd*, UINT)>(pfn))(
                CDC::FromHandle(reinterpret_cast<HDC>(wParam)),
                CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), message - WM_CTLCOLORMSGBOX);
            *result = reinterpret_cast<LRESULT>(brush);
            break;
        }
        case AfxSig_vOWNER:
            (wnd->*AfxHandlerOf<void (CWnd::*)(int, LPDRAWITEMSTRUCT)>(pfn))(
                static_cast<int>(wParam), reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
            *result = TRUE;
            break;
        case AfxSig_vMEASURE:
            (wnd->*AfxHandlerOf<void (CWnd::*)(int, LPMEASUREITEMSTRUCT)>(pfn))(
                static_cast<int>(wParam), reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
            *result = TRUE;
            break;
        case AfxSig_vwwx:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, UINT, CScrollBar*)>(pfn))(
                lo, static_cast<UINT>(static_cast<SHORT>(hi)),
                ScrollBarOf(reinterpret_cast<HWND>(lParam)));
            break;
        case AfxSig_vws:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, LPCWSTR)>(pfn))(
                static_cast<UINT>(wParam), reinterpret_cast<LPCWSTR>(lParam));
            break;
        case AfxSig_vbw:
            (wnd->*AfxHandlerOf<void (CWnd::*)(BOOL, UINT)>(pfn))(static_cast<BOOL>(wParam),
                                                                  static_cast<UINT>(lParam));
            break;
        case AfxSig_vb:
            (wnd->*AfxHandlerOf<void (CWnd::*)(BOOL)>(pfn))(static_cast<BOOL>(wParam));
            break;
        case AfxSig_vwl:
            (wnd->*AfxHandlerOf<void (CWnd::*)(UINT, LPARAM)>(pfn))(static_cast<UINT>(wParam),
                                                                    lParam);
            break;
        case AfxSig_wv:
            *result = (wnd->*AfxHandlerOf<UINT (CWnd::*)()>(pfn))();
            break;
        default:
            break;
    }
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != nullptr)
        return CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG* current = GetCurrentMessage();
    if (current == nullptr || current->hwnd != m_hWnd)
        return 0;
    return DefWindowProc(current->message, current->wParam, current->lParam);
}

const MSG* CWnd::GetCurrentMessage() {
    auto& stack = AfxWndInternals::t_current;
    return stack.empty() ? nullptr : &stack.back();
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    UINT id = LOWORD(static_cast<DWORD>(wParam));
    int code = HIWORD(static_cast<DWORD>(wParam));
    if (lParam == 0) {
        code = CN_COMMAND;  // a menu item or an accelerator
    } else if (id == 0) {
        return FALSE;
    }
    return OnCmdMsg(id, code, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header->hwndFrom == nullptr)
        return FALSE;
    // The control's own object hears first.
    if (ReflectChildNotify(header->hwndFrom, WM_NOTIFY, wParam, lParam, result))
        return TRUE;
    NotifyExtra extra{result, header};
    return OnCmdMsg(static_cast<UINT>(header->idFrom),
                    static_cast<int>(MAKELONG(static_cast<WORD>(header->code), WM_NOTIFY)), &extra,
                    nullptr);
}

BOOL CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) {
    return FALSE;
}

BOOL CWnd::ReflectChildNotify(HWND child, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT* result) {
    CWnd* control = FromHandlePermanent(child);
    return control != nullptr && control->OnChildNotify(message, wParam, lParam, result);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND stop, MSG* msg) {
    for (HWND hwnd = msg->hwnd; hwnd != nullptr; hwnd = ::GetParent(hwnd)) {
        CWnd* wnd = FromHandlePermanent(hwnd);
        if (wnd != nullptr && wnd->PreTranslateMessage(msg))
            return TRUE;
        if (hwnd == stop)
            break;
    }
    return FALSE;
}

// ---------------------------------------------------------------------------------
// The default handlers: the window's own processing, and reflection to controls.

int CWnd::OnCreate(LPCREATESTRUCT) {
    return static_cast<int>(Default());
}
void CWnd::OnDestroy() {
    Default();
}
void CWnd::OnClose() {
    Default();
}
void CWnd::OnPaint() {
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
    return static_cast<BOOL>(Default());
}
void CWnd::OnSize(UINT, int, int) {
    Default();
}
void CWnd::OnMove(int, int) {
    Default();
}
void CWnd::OnTimer(UINT_PTR) {
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonDblClk(UINT, CPoint) {
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
    Default();
}
void CWnd::OnKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnKeyUp(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnChar(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnSysKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnSysKeyUp(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnHotKey(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL) {
    Default();
}
void CWnd::OnSetFocus(CWnd*) {
    Default();
}
void CWnd::OnKillFocus(CWnd*) {
    Default();
}
void CWnd::OnCaptureChanged(CWnd*) {
    Default();
}
void CWnd::OnSettingChange(UINT, LPCWSTR) {
    Default();
}
void CWnd::OnShowWindow(BOOL, UINT) {
    Default();
}
void CWnd::OnEnable(BOOL) {
    Default();
}
void CWnd::OnSysCommand(UINT, LPARAM) {
    Default();
}
UINT CWnd::OnGetDlgCode() {
    return static_cast<UINT>(Default());
}

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT) {
    const MSG* current = GetCurrentMessage();
    LRESULT result = 0;
    if (current != nullptr && wnd != nullptr && wnd->m_hWnd != m_hWnd &&
        ReflectChildNotify(wnd->m_hWnd, current->message, current->wParam, current->lParam,
                           &result)) {
        return reinterpret_cast<HBRUSH>(result);
    }
    return reinterpret_cast<HBRUSH>(Default());
}

void CWnd::OnDrawItem(int id, LPDRAWITEMSTRUCT) {
    if (!AfxWndInternals::ReflectToItem(this, id))
        Default();
}

void CWnd::OnMeasureItem(int id, LPMEASUREITEMSTRUCT) {
    if (!AfxWndInternals::ReflectToItem(this, id))
        Default();
}

void CWnd::OnHScroll(UINT, UINT, CScrollBar*) {
    Default();
}
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) {
    Default();
}

// CWnd's own map: the entries that reflect to controls.
const AFX_MSGMAP* CWnd::GetMessageMap() const {
    return GetThisMessageMap();
}
const AFX_MSGMAP* CWnd::GetThisMessageMap() {
    typedef CWnd ThisClass;
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_WM_CTLCOLOR() ON_WM_DRAWITEM() ON_WM_MEASUREITEM(){0, 0, 0, 0, AfxSig_end, nullptr}};
    static const AFX_MSGMAP map = {&CCmdTarget::GetThisMessageMap, &entries[0]};
    return &map;
}

// ---------------------------------------------------------------------------------
// Handles and creation

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd != nullptr) {
        HWND hwnd = m_hWnd;
        if (FromHandlePermanent(hwnd) == this && IsWindow(hwnd)) {
            ::DestroyWindow(hwnd);
        }
        if (FromHandlePermanent(hwnd) == this)
            AfxWndInternals::Unmap(hwnd);
        m_hWnd = nullptr;
    }
    if (AfxWndInternals::t_wndInit == this)
        AfxWndInternals::t_wndInit = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    std::lock_guard guard(AfxWndInternals::Lock());
    auto found = AfxWndInternals::Permanent().find(hwnd);
    return found == AfxWndInternals::Permanent().end() ? nullptr : found->second;
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    if (CWnd* wnd = FromHandlePermanent(hwnd))
        return wnd;
    return platform::afx::TempWrapper<CWnd>(platform::afx::ThreadTempMaps().wnd, hwnd,
                                            &CWnd::m_hWnd);
}

BOOL CWnd::Attach(HWND hwnd) {
    if (hwnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hwnd) != nullptr)
        return FALSE;
    m_hWnd = hwnd;
    AfxWndInternals::Map(hwnd, this);
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hwnd = m_hWnd;
    if (hwnd != nullptr && FromHandlePermanent(hwnd) == this)
        AfxWndInternals::Unmap(hwnd);
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (!Attach(hwnd))
        return FALSE;
    auto old = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (old == nullptr) {
        Detach();
        return FALSE;
    }
    m_pfnSuper = old == &AfxWndProc ? AfxWndInternals::ClassProcOf(hwnd) : old;
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    HWND control = ::GetDlgItem(parent->GetSafeHwnd(), static_cast<int>(id));
    return control != nullptr && SubclassWindow(control);
}

HWND CWnd::UnsubclassWindow() {
    if (m_hWnd == nullptr)
        return nullptr;
    if (m_pfnSuper != nullptr) {
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    m_pfnSuper = nullptr;
    return Detach();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
    if (cs.lpszClass == nullptr) {
        cs.lpszClass = AfxRegisterWndClass(CS_DBLCLKS);
    }
    return TRUE;
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param) {
    return CreateEx(0, className, windowName, style | WS_CHILD, rect, parent, id, param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                    const RECT& rect, CWnd* parent, UINT id, LPVOID param) {
    return CreateEx(exStyle, className, windowName, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top,
                    parent != nullptr ? parent->m_hWnd : nullptr,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), param);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, LPVOID param) {
    if (m_hWnd != nullptr)
        return FALSE;
    CREATESTRUCT cs{param, AfxGetInstanceHandle(),   menu,       parent,    height, width, y,
                    x,     static_cast<LONG>(style), windowName, className, exStyle};
    if (!PreCreateWindow(cs)) {
        PostNcDestroy();
        return FALSE;
    }
    // A plain name finds the class the library registered under the prefixed name.
    std::u16string prefixed;
    WNDPROC proc = nullptr;
    LPCWSTR useClass = cs.lpszClass;
    bool library = AfxWndInternals::LibraryClassProc(useClass, &proc);
    if (!library && useClass != nullptr && !IS_INTRESOURCE(useClass)) {
        prefixed = std::u16string(u"WCE_") + useClass;
        // A class the program registered itself is taken over under the prefixed
        // name, so that the CWnd sees its creation and other programs find it; the
        // system's classes (controls, dialogs) are subclassed after creation instead.
        WNDCLASSW programClass{};
        if (!AfxWndInternals::LibraryClassProc(prefixed.c_str(), &proc) &&
            GetClassInfoW(cs.hInstance, useClass, &programClass) &&
            !(programClass.style & CS_GLOBALCLASS)) {
            programClass.lpszClassName = useClass;
            AfxRegisterClass(&programClass);
        }
        if (AfxWndInternals::LibraryClassProc(prefixed.c_str(), &proc)) {
            library = true;
            useClass = prefixed.c_str();
        }
    }
    CWnd* previousInit = AfxWndInternals::t_wndInit;
    if (library)
        AfxWndInternals::t_wndInit = this;
    HWND hwnd = CreateWindowExW(cs.dwExStyle, useClass, cs.lpszName, static_cast<DWORD>(cs.style),
                                cs.x, cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance,
                                cs.lpCreateParams);
    if (library && AfxWndInternals::t_wndInit == this)
        AfxWndInternals::t_wndInit = previousInit;
    if (hwnd == nullptr)
        return FALSE;
    if (!library) {
        if (!SubclassWindow(hwnd)) {
            ::DestroyWindow(hwnd);
            return FALSE;
        }
    }
    return m_hWnd == hwnd;
}

BOOL CWnd::DestroyWindow() {
    HWND hwnd = m_hWnd;
    if (hwnd == nullptr)
        return FALSE;
    // A routed window detaches at its WM_NCDESTROY, where PostNcDestroy may delete
    // this object; one attached without subclassing is detached here.
    bool routed = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == &AfxWndProc;
    BOOL done = ::DestroyWindow(hwnd);
    if (done && !routed && m_hWnd == hwnd)
        Detach();
    return done;
}

void CWnd::PostNcDestroy() {}

// ---------------------------------------------------------------------------------
// Classes

BOOL AfxRegisterClass(WNDCLASSW* windowClass) {
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        IS_INTRESOURCE(windowClass->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string name(windowClass->lpszClassName);
    if (AfxWndInternals::Lower(name.c_str()).rfind(u"wce_", 0) != 0) {
        name = u"WCE_" + name;
    }
    const std::u16string key = AfxWndInternals::Lower(name.c_str());
    {
        // Claimed under the lock, so that two threads do not both register it.
        std::lock_guard guard(AfxWndInternals::Lock());
        if (AfxWndInternals::Classes().count(key) != 0)
            return TRUE;
        AfxWndInternals::Classes()[key] =
            windowClass->lpfnWndProc != nullptr ? windowClass->lpfnWndProc : DefWindowProcW;
    }
    WNDCLASSW copy = *windowClass;
    copy.lpszClassName = name.c_str();
    copy.lpfnWndProc = AfxWndProc;
    if (RegisterClassW(&copy) != 0)
        return TRUE;
    // The name is taken by a class that is not the library's.
    std::lock_guard guard(AfxWndInternals::Lock());
    AfxWndInternals::Classes().erase(key);
    return FALSE;
}

LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    WCHAR name[96];
    swprintf(name, 96, u"WCE_Afx:%x:%llx:%llx:%llx", classStyle,
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(cursor)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(background)),
             static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(icon)));
    // The names live as long as the process, as registered classes do.
    static std::mutex namesLock;
    static std::map<std::u16string, int> names;
    LPCWSTR stored;
    {
        std::lock_guard guard(namesLock);
        stored = names.try_emplace(name, 0).first->first.c_str();
    }
    WNDCLASSW windowClass{};
    windowClass.style = classStyle;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = AfxGetInstanceHandle();
    windowClass.hIcon = icon;
    windowClass.hCursor = cursor;
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = stored;
    return AfxRegisterClass(&windowClass) ? stored : nullptr;
}

// ---------------------------------------------------------------------------------
// Wrappers

LRESULT CWnd::SendDlgItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) const {
    return ::SendMessageW(::GetDlgItem(m_hWnd, id), message, wParam, lParam);
}

void CWnd::SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL deep) {
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child != nullptr;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        ::SendMessageW(child, message, wParam, lParam);
        if (deep && ::GetWindow(child, GW_CHILD) != nullptr) {
            CWnd::FromHandle(child)->SendMessageToDescendants(message, wParam, lParam, TRUE);
        }
    }
}

void CWnd::MoveWindow(const RECT* rect, BOOL repaint) {
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) {
    // The library passes the special positions (wndTop, wndBottom...) as fake CWnd
    // pointers carrying the handle value.
    HWND after = insertAfter != nullptr ? insertAfter->m_hWnd : HWND_TOP;
    return ::SetWindowPos(m_hWnd, after, x, y, cx, cy, flags);
}

void CWnd::ClientToScreen(LPRECT rect) const {
    ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<LPPOINT>(rect), 2);
}

void CWnd::ScreenToClient(LPRECT rect) const {
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<LPPOINT>(rect), 2);
}

CDC* CWnd::GetDC() {
    return CDC::FromHandle(::GetDC(m_hWnd));
}

int CWnd::ReleaseDC(CDC* dc) {
    if (dc == nullptr)
        return 0;
    HDC handle = dc->m_hDC;
    auto& temp = platform::afx::ThreadTempMaps().dc;
    auto found = temp.find(handle);
    if (found != temp.end() && found->second.get() == dc) {
        found->second->m_hDC = nullptr;
        temp.erase(found);
    }
    return ::ReleaseDC(m_hWnd, handle);
}

void CWnd::GetWindowText(CString& text) const {
    int length = GetWindowTextLength();
    LPWSTR buffer = text.GetBufferSetLength(length);
    int got = ::GetWindowTextW(m_hWnd, buffer, length + 1);
    text.ReleaseBuffer(got);
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font != nullptr ? font->m_hObject : nullptr),
                redraw);
}

CFont* CWnd::GetFont() const {
    return CFont::FromHandle(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT)));
}

CWnd* CWnd::GetDlgItem(int id) const {
    return FromHandle(::GetDlgItem(m_hWnd, id));
}

void CWnd::SetDlgItemText(int id, LPCWSTR text) {
    ::SetWindowTextW(::GetDlgItem(m_hWnd, id), text);
}

int CWnd::GetDlgItemText(int id, LPWSTR text, int maxCount) const {
    return ::GetWindowTextW(::GetDlgItem(m_hWnd, id), text, maxCount);
}

int CWnd::GetDlgItemText(int id, CString& text) const {
    text.Empty();
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (item == nullptr)
        return 0;
    FromHandle(item)->GetWindowText(text);
    return text.GetLength();
}

void CWnd::SetDlgItemInt(int id, UINT value, BOOL isSigned) {
    ::SetDlgItemInt(m_hWnd, id, value, isSigned);
}

UINT CWnd::GetDlgItemInt(int id, BOOL* translated, BOOL isSigned) const {
    return ::GetDlgItemInt(m_hWnd, id, translated, isSigned);
}

void CWnd::CheckDlgButton(int id, UINT check) {
    ::CheckDlgButton(m_hWnd, id, check);
}

UINT CWnd::IsDlgButtonChecked(int id) const {
    return ::IsDlgButtonChecked(m_hWnd, id);
}

CWnd* CWnd::SetParent(CWnd* parent) {
    HWND old = ::GetParent(m_hWnd);
    SetWindowLongPtrW(m_hWnd, GWLP_HWNDPARENT,
                      reinterpret_cast<LONG_PTR>(parent != nullptr ? parent->m_hWnd : nullptr));
    return FromHandle(old);
}

CWnd* CWnd::GetTopLevelParent() const {
    HWND hwnd = m_hWnd;
    while (hwnd != nullptr && (::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) != 0) {
        HWND parent = ::GetParent(hwnd);
        if (parent == nullptr)
            break;
        hwnd = parent;
    }
    return FromHandle(hwnd);
}

namespace {

// ModifyStyle and ModifyStyleEx on the style slot `index`; flags, when given, go to
// SetWindowPos so that a changed frame is recomputed.
BOOL ModifyStyleBits(HWND hwnd, int index, DWORD remove, DWORD add, UINT flags) {
    DWORD style = static_cast<DWORD>(::GetWindowLongW(hwnd, index));
    DWORD changed = (style & ~remove) | add;
    if (changed == style)
        return FALSE;
    ::SetWindowLongW(hwnd, index, static_cast<LONG>(changed));
    if (flags != 0) {
        ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | flags);
    }
    return TRUE;
}

}  // namespace

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT flags) {
    return ModifyStyleBits(m_hWnd, GWL_STYLE, remove, add, flags);
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT flags) {
    return ModifyStyleBits(m_hWnd, GWL_EXSTYLE, remove, add, flags);
}

int CWnd::MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) {
    if (caption == nullptr && AfxGetApp() != nullptr)
        caption = AfxGetApp()->m_pszAppName;
    return MessageBoxW(m_hWnd, text, caption, type);
}

void AfxDeleteTempObjects() {
    platform::afx::ThreadTempMaps().Clear();
}

// ---------------------------------------------------------------------------------
// Frame

const CRect CFrameWnd::rectDefault(CW_USEDEFAULT, CW_USEDEFAULT, 0, 0);

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_SETFOCUS()
ON_WM_SIZE()
ON_WM_CLOSE()
ON_WM_DESTROY()
END_MESSAGE_MAP()

BOOL CFrameWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                       CWnd* parent, UINT id, LPVOID param) {
    return CreateEx(0, className, windowName, style, rect, parent, id, param);
}

BOOL CFrameWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                       CWnd* parent) {
    if (className == nullptr) {
        className = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, nullptr,
                                        reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    }
    HWND parentHwnd = parent != nullptr ? parent->m_hWnd : nullptr;
    if (CRect(rect) == rectDefault) {
        return CreateEx(0, className, windowName, style, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, parentHwnd, nullptr);
    }
    return CreateEx(0, className, windowName, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parentHwnd, nullptr);
}

namespace {
// The frame LoadFrame is making on this thread, until its PostNcDestroy ran.
thread_local CFrameWnd* t_loadingFrame = nullptr;
}  // namespace

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD defaultStyle, CWnd* parent, CCreateContext*) {
    CString title;
    if (title.LoadString(resourceId)) {
        int end = title.Find(u'\n');
        if (end >= 0)
            title = title.Left(end);
    }
    CFrameWnd* outer = t_loadingFrame;
    t_loadingFrame = this;
    // PreCreateWindow may name a class of its own; this one carries the frame's icon.
    LPCWSTR className =
        AfxRegisterWndClass(CS_DBLCLKS, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
                            ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(resourceId)));
    BOOL made =
        CreateEx(0, className, title.IsEmpty() ? nullptr : static_cast<LPCWSTR>(title),
                 defaultStyle & ~FWS_ADDTOTITLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                 CW_USEDEFAULT, parent != nullptr ? parent->m_hWnd : nullptr, nullptr);
    bool stillHere = t_loadingFrame == this;
    t_loadingFrame = outer;
    if (!made && stillHere) {
        // No window was ever made, so nothing deleted the frame: keep the promise
        // that a failed load leaves no frame behind.
        delete this;
    }
    return made;
}

void CFrameWnd::SetActiveView(CWnd* view, BOOL notify) {
    m_pViewActive = view;
    if (notify && view != nullptr && ::GetActiveWindow() == m_hWnd)
        view->SetFocus();
}

BOOL CFrameWnd::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
    if (m_pViewActive != nullptr && m_pViewActive->OnCmdMsg(id, code, extra, handlerInfo)) {
        return TRUE;
    }
    if (CWnd::OnCmdMsg(id, code, extra, handlerInfo))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(id, code, extra, handlerInfo);
}

void CFrameWnd::OnSetFocus(CWnd* oldWnd) {
    if (m_pViewActive != nullptr && m_pViewActive->m_hWnd != nullptr) {
        m_pViewActive->SetFocus();
    } else {
        CWnd::OnSetFocus(oldWnd);
    }
}

void CFrameWnd::RecalcLayout() {
    CRect client;
    GetClientRect(client);
    int top = 0;
    HWND bar = ::GetDlgItem(m_hWnd, AFX_IDW_COMMAND_BAR);
    if (bar != nullptr && ::IsWindowVisible(bar)) {
        CRect barRect;
        ::GetWindowRect(bar, barRect);
        top = barRect.Height();
    }
    HWND pane = ::GetDlgItem(m_hWnd, AFX_IDW_PANE_FIRST);
    if (pane != nullptr) {
        ::MoveWindow(pane, 0, top, client.Width(), std::max(0, client.Height() - top), TRUE);
    }
}

void CFrameWnd::OnSize(UINT type, int cx, int cy) {
    CWnd::OnSize(type, cx, cy);
    RecalcLayout();
}

void CFrameWnd::OnClose() {
    DestroyWindow();
}

void CFrameWnd::OnDestroy() {
    m_pViewActive = nullptr;
    CWnd::OnDestroy();
}

// Frames live on the heap and go with their window.
void CFrameWnd::PostNcDestroy() {
    if (t_loadingFrame == this)
        t_loadingFrame = nullptr;
    delete this;
}
