// The class library's windows: command targets with message maps, CWnd, the frame
// window, dialogs with data exchange, and property sheets.
//
// How a CWnd gets its messages
// - Windows of classes registered with AfxRegisterClass or AfxRegisterWndClass run
//   AfxWndProc from their first message, so OnCreate and the rest of creation reach
//   the CWnd. Such classes are registered as "WCE_" + name, the name other programs
//   look for; CreateEx given the plain name finds the prefixed class. CreateEx with a
//   class the program registered with RegisterClassW registers it that way first.
// - A window of any other class (a control, a dialog) is subclassed when it is
//   attached (CreateEx right after creation, SubclassWindow, DDX_Control, a dialog
//   at WM_INITDIALOG); what it got before that went to its own class procedure.
// - AfxWndProc -> CWnd::WindowProc -> OnWndMsg (the message map, from the most
//   derived class to CWnd) -> DefWindowProc (the class's own procedure).
// - WM_COMMAND and WM_NOTIFY go through OnCommand/OnNotify to OnCmdMsg; a frame
//   offers a command to its active view, then to itself, then to the application.
#pragma once

#include <bit>

#include "platform/afx/afx_gdi.h"

class CCmdTarget;
class CWnd;
class CScrollBar;
class CDataExchange;

// Command notification codes as OnCmdMsg takes them: a control's notification code,
// or MAKELONG(code, WM_NOTIFY) for a WM_NOTIFY.
#define CN_COMMAND 0

typedef void (CCmdTarget::*AFX_PMSG)();
typedef void (CWnd::*AFX_PMSGW)();

// The handler signatures a message-map entry can have; the dispatcher unpacks the
// message's parameters by it.
enum AfxSig : UINT_PTR {
    AfxSig_end = 0,
    AfxSig_lwl,       // LRESULT (WPARAM, LPARAM): ON_MESSAGE
    AfxSig_vv,        // void (): commands, control notifications, WM_PAINT, WM_DESTROY...
    AfxSig_vw,        // void (UINT id): ON_COMMAND_RANGE, ON_CONTROL_RANGE
    AfxSig_notify,    // void (NMHDR*, LRESULT*): ON_NOTIFY
    AfxSig_is,        // int (LPCREATESTRUCT): WM_CREATE
    AfxSig_bD,        // BOOL (CDC*): WM_ERASEBKGND
    AfxSig_vwii,      // void (UINT type, int cx, int cy): WM_SIZE
    AfxSig_vii,       // void (int x, int y): WM_MOVE
    AfxSig_vt,        // void (UINT_PTR id): WM_TIMER
    AfxSig_vwp,       // void (UINT flags, CPoint): pointer messages
    AfxSig_vwww,      // void (UINT key, UINT repeat, UINT flags): key messages
    AfxSig_vHotKey,   // void (UINT id, UINT modifiers, UINT key): WM_HOTKEY
    AfxSig_vwWb,      // void (UINT state, CWnd* other, BOOL minimized): WM_ACTIVATE
    AfxSig_vW,        // void (CWnd*): WM_SETFOCUS, WM_KILLFOCUS, WM_CAPTURECHANGED
    AfxSig_hDWw,      // HBRUSH (CDC*, CWnd*, UINT kind): WM_CTLCOLOR*
    AfxSig_vOWNER,    // void (int id, LPDRAWITEMSTRUCT): WM_DRAWITEM
    AfxSig_vMEASURE,  // void (int id, LPMEASUREITEMSTRUCT): WM_MEASUREITEM
    AfxSig_vwwx,      // void (UINT code, UINT pos, CScrollBar*): WM_HSCROLL, WM_VSCROLL
    AfxSig_vws,       // void (UINT flags, LPCWSTR section): WM_SETTINGCHANGE
    AfxSig_vbw,       // void (BOOL show, UINT status): WM_SHOWWINDOW
    AfxSig_vb,        // void (BOOL): WM_ENABLE
    AfxSig_vwl,       // void (UINT, LPARAM): WM_SYSCOMMAND
    AfxSig_wv,        // UINT (): WM_GETDLGCODE
};

// Handlers of every signature are kept as one member-pointer type; the dispatcher
// turns an entry's pointer back into the type its signature names. (All member
// function pointers share one representation here.)
template <class Handler>
AFX_PMSG AfxHandlerCast(Handler handler) {
    return std::bit_cast<AFX_PMSG>(handler);
}
template <class Handler>
Handler AfxHandlerOf(AFX_PMSG pfn) {
    return std::bit_cast<Handler>(pfn);
}

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // WM_COMMAND and WM_NOTIFY entries are commands (OnCmdMsg)
    UINT nCode;     // the control's notification code, or 0
    UINT nID;       // a control or command id, or 0 for a window message
    UINT nLastID;   // the range's last id; the id itself for one id
    UINT_PTR nSig;
    AFX_PMSG pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// What OnCmdMsg fills in, instead of calling, when it is given one.
struct AFX_CMDHANDLERINFO {
    CCmdTarget* pTarget;
    AFX_PMSG pmf;
};

#define DECLARE_MESSAGE_MAP()                         \
  protected:                                          \
    static const AFX_MSGMAP* GetThisMessageMap();     \
    const AFX_MSGMAP* GetMessageMap() const override; \
                                                      \
  private:

#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        typedef theClass ThisClass;                     \
        typedef baseClass TheBaseClass;                 \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, 0, 0, AfxSig_end, nullptr }                                                           \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

#define AFX_MAP_ENTRY(message, code, id, lastId, sig, type, fn)                                  \
    {                                                                                            \
        message, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(lastId), sig, \
            AfxHandlerCast(static_cast<type>(&ThisClass::fn))                                    \
    }

#define ON_COMMAND(id, fn) \
    AFX_MAP_ENTRY(WM_COMMAND, CN_COMMAND, id, id, AfxSig_vv, void (CCmdTarget::*)(), fn),
#define ON_COMMAND_RANGE(id, lastId, fn) \
    AFX_MAP_ENTRY(WM_COMMAND, CN_COMMAND, id, lastId, AfxSig_vw, void (CCmdTarget::*)(UINT), fn),
#define ON_CONTROL(code, id, fn) \
    AFX_MAP_ENTRY(WM_COMMAND, code, id, id, AfxSig_vv, void (CCmdTarget::*)(), fn),
#define ON_CONTROL_RANGE(code, id, lastId, fn) \
    AFX_MAP_ENTRY(WM_COMMAND, code, id, lastId, AfxSig_vw, void (CCmdTarget::*)(UINT), fn),
#define ON_NOTIFY(code, id, fn)                                                                \
    AFX_MAP_ENTRY(WM_NOTIFY, static_cast<WORD>(static_cast<int>(code)), id, id, AfxSig_notify, \
                  void (CCmdTarget::*)(NMHDR*, LRESULT*), fn),
#define ON_MESSAGE(message, fn) \
    AFX_MAP_ENTRY(message, 0, 0, 0, AfxSig_lwl, LRESULT (CWnd::*)(WPARAM, LPARAM), fn),

#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_BN_DOUBLECLICKED(id, fn) ON_CONTROL(BN_DOUBLECLICKED, id, fn)
#define ON_BN_SETFOCUS(id, fn) ON_CONTROL(BN_SETFOCUS, id, fn)
#define ON_BN_KILLFOCUS(id, fn) ON_CONTROL(BN_KILLFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_EN_UPDATE(id, fn) ON_CONTROL(EN_UPDATE, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_LBN_SELCHANGE(id, fn) ON_CONTROL(LBN_SELCHANGE, id, fn)
#define ON_LBN_DBLCLK(id, fn) ON_CONTROL(LBN_DBLCLK, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_DROPDOWN(id, fn) ON_CONTROL(CBN_DROPDOWN, id, fn)
#define ON_CBN_CLOSEUP(id, fn) ON_CONTROL(CBN_CLOSEUP, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_CBN_EDITUPDATE(id, fn) ON_CONTROL(CBN_EDITUPDATE, id, fn)
#define ON_CBN_SETFOCUS(id, fn) ON_CONTROL(CBN_SETFOCUS, id, fn)
#define ON_CBN_KILLFOCUS(id, fn) ON_CONTROL(CBN_KILLFOCUS, id, fn)

#define AFX_WM_ENTRY(message, sig, type, fn) AFX_MAP_ENTRY(message, 0, 0, 0, sig, type, fn),
#define ON_WM_CREATE() AFX_WM_ENTRY(WM_CREATE, AfxSig_is, int (CWnd::*)(LPCREATESTRUCT), OnCreate)
#define ON_WM_DESTROY() AFX_WM_ENTRY(WM_DESTROY, AfxSig_vv, void (CWnd::*)(), OnDestroy)
#define ON_WM_CLOSE() AFX_WM_ENTRY(WM_CLOSE, AfxSig_vv, void (CWnd::*)(), OnClose)
#define ON_WM_PAINT() AFX_WM_ENTRY(WM_PAINT, AfxSig_vv, void (CWnd::*)(), OnPaint)
#define ON_WM_ERASEBKGND() \
    AFX_WM_ENTRY(WM_ERASEBKGND, AfxSig_bD, BOOL (CWnd::*)(CDC*), OnEraseBkgnd)
#define ON_WM_SIZE() AFX_WM_ENTRY(WM_SIZE, AfxSig_vwii, void (CWnd::*)(UINT, int, int), OnSize)
#define ON_WM_MOVE() AFX_WM_ENTRY(WM_MOVE, AfxSig_vii, void (CWnd::*)(int, int), OnMove)
#define ON_WM_TIMER() AFX_WM_ENTRY(WM_TIMER, AfxSig_vt, void (CWnd::*)(UINT_PTR), OnTimer)
#define ON_WM_LBUTTONDOWN() \
    AFX_WM_ENTRY(WM_LBUTTONDOWN, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
#define ON_WM_LBUTTONUP() \
    AFX_WM_ENTRY(WM_LBUTTONUP, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() \
    AFX_WM_ENTRY(WM_LBUTTONDBLCLK, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDblClk)
#define ON_WM_MOUSEMOVE() \
    AFX_WM_ENTRY(WM_MOUSEMOVE, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnMouseMove)
#define ON_WM_KEYDOWN() \
    AFX_WM_ENTRY(WM_KEYDOWN, AfxSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnKeyDown)
#define ON_WM_KEYUP() AFX_WM_ENTRY(WM_KEYUP, AfxSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnKeyUp)
#define ON_WM_CHAR() AFX_WM_ENTRY(WM_CHAR, AfxSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnChar)
#define ON_WM_SYSKEYDOWN() \
    AFX_WM_ENTRY(WM_SYSKEYDOWN, AfxSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnSysKeyDown)
#define ON_WM_SYSKEYUP() \
    AFX_WM_ENTRY(WM_SYSKEYUP, AfxSig_vwww, void (CWnd::*)(UINT, UINT, UINT), OnSysKeyUp)
#define ON_WM_HOTKEY() \
    AFX_WM_ENTRY(WM_HOTKEY, AfxSig_vHotKey, void (CWnd::*)(UINT, UINT, UINT), OnHotKey)
#define ON_WM_ACTIVATE() \
    AFX_WM_ENTRY(WM_ACTIVATE, AfxSig_vwWb, void (CWnd::*)(UINT, CWnd*, BOOL), OnActivate)
#define ON_WM_SETFOCUS() AFX_WM_ENTRY(WM_SETFOCUS, AfxSig_vW, void (CWnd::*)(CWnd*), OnSetFocus)
#define ON_WM_KILLFOCUS() AFX_WM_ENTRY(WM_KILLFOCUS, AfxSig_vW, void (CWnd::*)(CWnd*), OnKillFocus)
#define ON_WM_CAPTURECHANGED() \
    AFX_WM_ENTRY(WM_CAPTURECHANGED, AfxSig_vW, void (CWnd::*)(CWnd*), OnCaptureChanged)
// One entry answers every WM_CTLCOLOR* message, as the library's does.
#define ON_WM_CTLCOLOR() \
    AFX_WM_ENTRY(WM_CTLCOLORSTATIC, AfxSig_hDWw, HBRUSH (CWnd::*)(CDC*, CWnd*, UINT), OnCtlColor)
#define ON_WM_DRAWITEM() \
    AFX_WM_ENTRY(WM_DRAWITEM, AfxSig_vOWNER, void (CWnd::*)(int, LPDRAWITEMSTRUCT), OnDrawItem)
#define ON_WM_MEASUREITEM()                                                                 \
    AFX_WM_ENTRY(WM_MEASUREITEM, AfxSig_vMEASURE, void (CWnd::*)(int, LPMEASUREITEMSTRUCT), \
                 OnMeasureItem)
#define ON_WM_HSCROLL() \
    AFX_WM_ENTRY(WM_HSCROLL, AfxSig_vwwx, void (CWnd::*)(UINT, UINT, CScrollBar*), OnHScroll)
#define ON_WM_VSCROLL() \
    AFX_WM_ENTRY(WM_VSCROLL, AfxSig_vwwx, void (CWnd::*)(UINT, UINT, CScrollBar*), OnVScroll)
#define ON_WM_SETTINGCHANGE() \
    AFX_WM_ENTRY(WM_SETTINGCHANGE, AfxSig_vws, void (CWnd::*)(UINT, LPCWSTR), OnSettingChange)
#define ON_WM_SHOWWINDOW() \
    AFX_WM_ENTRY(WM_SHOWWINDOW, AfxSig_vbw, void (CWnd::*)(BOOL, UINT), OnShowWindow)
#define ON_WM_ENABLE() AFX_WM_ENTRY(WM_ENABLE, AfxSig_vb, void (CWnd::*)(BOOL), OnEnable)
#define ON_WM_SYSCOMMAND() \
    AFX_WM_ENTRY(WM_SYSCOMMAND, AfxSig_vwl, void (CWnd::*)(UINT, LPARAM), OnSysCommand)
#define ON_WM_GETDLGCODE() AFX_WM_ENTRY(WM_GETDLGCODE, AfxSig_wv, UINT (CWnd::*)(), OnGetDlgCode)

class CCmdTarget : public CObject {
  public:
    // Looks the command up in this target's message map and calls its handler;
    // with handler info, only says whether there is one.
    virtual BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo);
    // The wait cursor, counted: it goes when every Begin has had its End.
    void BeginWaitCursor();
    void EndWaitCursor();
    // Shows the wait cursor again when one is begun (after a message box took it).
    void RestoreWaitCursor();

  protected:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    friend class CWnd;
};

class CWnd : public CCmdTarget {
  public:
    CWnd();
    // Destroys a window it still owns.
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The CWnd attached to the window, or a temporary one (see afx_gdi.h) when none
    // is; null for a null handle.
    static CWnd* FromHandle(HWND hwnd);
    // The CWnd attached to the window, or null.
    static CWnd* FromHandlePermanent(HWND hwnd);
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }  // NOLINT
    // Binds the CWnd to an existing window without subclassing it; fails when the
    // CWnd has a window or the window has a CWnd.
    BOOL Attach(HWND hwnd);
    HWND Detach();
    // Attaches and routes the window's messages through this CWnd.
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();

    // A null class name uses the library's plain window class.
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                        CWnd* parent, UINT id, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style,
                  const RECT& rect, CWnd* parent, UINT id, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                  int width, int height, HWND parent, HMENU menu, LPVOID param = nullptr);
    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
    virtual BOOL DestroyWindow();
    // Called after WM_NCDESTROY, when the window is gone.
    virtual void PostNcDestroy();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Offered a message a child control sent its parent (WM_DRAWITEM, WM_MEASUREITEM,
    // WM_CTLCOLOR*); TRUE when it answered.
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Offers the message to PreTranslateMessage of each window from its target up to
    // (not including) stop; TRUE as soon as one takes it.
    static BOOL WalkPreTranslateTree(HWND stop, MSG* msg);
    // The message being handled, sent on to DefWindowProc.
    LRESULT Default();
    static const MSG* GetCurrentMessage();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    void SendMessageToDescendants(UINT message, WPARAM wParam, LPARAM lParam, BOOL deep = TRUE);

    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
        ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    void MoveWindow(const RECT* rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    void ClientToScreen(LPPOINT point) const { ::ClientToScreen(m_hWnd, point); }
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const { ::ScreenToClient(m_hWnd, point); }
    void ScreenToClient(LPRECT rect) const;
    void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void InvalidateRect(const RECT* rect, BOOL erase = TRUE) {
        ::InvalidateRect(m_hWnd, rect, erase);
    }
    void ValidateRect(const RECT* rect) { ::ValidateRect(m_hWnd, rect); }
    void UpdateWindow() { ::UpdateWindow(m_hWnd); }
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    void SetWindowText(LPCWSTR text) { ::SetWindowTextW(m_hWnd, text); }
    int GetWindowText(LPWSTR text, int maxCount) const {
        return ::GetWindowTextW(m_hWnd, text, maxCount);
    }
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;

    CWnd* GetDlgItem(int id) const;
    void GetDlgItem(int id, HWND* hwnd) const { *hwnd = ::GetDlgItem(m_hWnd, id); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
    void SetDlgItemText(int id, LPCWSTR text);
    int GetDlgItemText(int id, LPWSTR text, int maxCount) const;
    int GetDlgItemText(int id, CString& text) const;
    void SetDlgItemInt(int id, UINT value, BOOL isSigned = TRUE);
    UINT GetDlgItemInt(int id, BOOL* translated = nullptr, BOOL isSigned = TRUE) const;
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;

    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    CWnd* SetParent(CWnd* parent);
    CWnd* GetWindow(UINT command) const { return FromHandle(::GetWindow(m_hWnd, command)); }
    CWnd* GetTopLevelParent() const;
    BOOL IsChild(const CWnd* wnd) const { return ::IsChild(m_hWnd, wnd->GetSafeHwnd()); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC timerProc = nullptr) {
        return ::SetTimer(m_hWnd, id, elapse, timerProc);
    }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    CWnd* SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
    static CWnd* GetFocus() { return FromHandle(::GetFocus()); }
    CWnd* SetCapture() { return FromHandle(::SetCapture(m_hWnd)); }
    static CWnd* GetCapture() { return FromHandle(::GetCapture()); }
    CWnd* SetActiveWindow() { return FromHandle(::SetActiveWindow(m_hWnd)); }
    static CWnd* GetActiveWindow() { return FromHandle(::GetActiveWindow()); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    static CWnd* GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
    static CWnd* FindWindow(LPCWSTR className, LPCWSTR windowName) {
        return FromHandle(::FindWindowW(className, windowName));
    }
    int MessageBox(LPCWSTR text, LPCWSTR caption = nullptr, UINT type = MB_OK);

    HWND m_hWnd = nullptr;

  protected:
    // The handlers the message-map entries name; each does the window's default
    // processing.
    int OnCreate(LPCREATESTRUCT cs);
    void OnDestroy();
    void OnClose();
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    void OnSize(UINT type, int cx, int cy);
    void OnMove(int x, int y);
    void OnTimer(UINT_PTR id);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnLButtonDblClk(UINT flags, CPoint point);
    void OnMouseMove(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    void OnChar(UINT ch, UINT repeat, UINT flags);
    void OnSysKeyDown(UINT key, UINT repeat, UINT flags);
    void OnSysKeyUp(UINT key, UINT repeat, UINT flags);
    void OnHotKey(UINT id, UINT modifiers, UINT key);
    void OnActivate(UINT state, CWnd* other, BOOL minimized);
    void OnSetFocus(CWnd* oldWnd);
    void OnKillFocus(CWnd* newWnd);
    void OnCaptureChanged(CWnd* wnd);
    // Offers the message to the control first (OnChildNotify), then the default.
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnDrawItem(int id, LPDRAWITEMSTRUCT item);
    void OnMeasureItem(int id, LPMEASUREITEMSTRUCT item);
    void OnHScroll(UINT code, UINT pos, CScrollBar* bar);
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    void OnSettingChange(UINT flags, LPCWSTR section);
    void OnShowWindow(BOOL show, UINT status);
    void OnEnable(BOOL enable);
    void OnSysCommand(UINT id, LPARAM lParam);
    UINT OnGetDlgCode();

    // Sends the message being handled to the child that sent it; TRUE when its CWnd
    // answered.
    static BOOL ReflectChildNotify(HWND child, UINT message, WPARAM wParam, LPARAM lParam,
                                   LRESULT* result);

    static const AFX_MSGMAP* GetThisMessageMap();
    const AFX_MSGMAP* GetMessageMap() const override;

    // The procedure the window had before it was subclassed, or its class's own.
    WNDPROC m_pfnSuper = nullptr;

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend class CWinThread;
    friend struct AfxWndInternals;
};

// The window procedure of the library's classes: hands the message to the window's
// CWnd.
LRESULT CALLBACK AfxWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Registers a class as "WCE_" + its name, with AfxWndProc in front of its procedure.
BOOL AfxRegisterClass(WNDCLASSW* windowClass);
// A class of the library's with these traits (registered once), for Create.
LPCWSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                            HICON icon = nullptr);

// Views are plain CWnd children of the frame; the frame offers every command to its
// active view first.
#define AFX_IDW_PANE_FIRST 0xE900
#define AFX_IDW_COMMAND_BAR 0xE800

// A frame style of the library's own, taken by LoadFrame (the title would carry the
// document's name; there are no documents here).
#define FWS_ADDTOTITLE 0x00008000L

// What a frame's creation is told about its view; nothing here yet.
struct CCreateContext {};

class CFrameWnd : public CWnd {
  public:
    CFrameWnd() = default;

    BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                UINT id, LPVOID param = nullptr) override;
    // A top-level frame (WS_OVERLAPPEDWINDOW unless given) covering the screen when
    // the rectangle is empty.
    BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style = WS_OVERLAPPEDWINDOW,
                const RECT& rect = rectDefault, CWnd* parent = nullptr);
    // Makes the frame from resource `resourceId`: a top-level window covering the
    // screen, of the class PreCreateWindow names (else one the library registers with
    // the icon of that id), titled by the string of that id up to its first '\n'
    // (untitled without one). FWS_ADDTOTITLE does not reach the window. The window is
    // not shown. FALSE when it could not be made; the frame object is then deleted,
    // as a destroyed frame's is.
    virtual BOOL LoadFrame(UINT resourceId,
                           DWORD defaultStyle = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                           CWnd* parent = nullptr, CCreateContext* context = nullptr);
    CWnd* GetActiveView() const { return m_pViewActive; }
    // Puts the view (child AFX_IDW_PANE_FIRST) under the command bar (child
    // AFX_IDW_COMMAND_BAR, when shown) and gives it the rest of the client area; done
    // whenever the frame is sized.
    virtual void RecalcLayout();
    void SetActiveView(CWnd* view, BOOL notify = TRUE);
    BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) override;
    void PostNcDestroy() override;

    static const CRect rectDefault;

  protected:
    void OnSetFocus(CWnd* oldWnd);
    void OnSize(UINT type, int cx, int cy);
    void OnClose();
    void OnDestroy();

    CWnd* m_pViewActive = nullptr;

    DECLARE_MESSAGE_MAP()
};

#define ID_APP_EXIT 0xE141
#define ID_APP_ABOUT 0xE140
#define ID_HELP 0xE146
