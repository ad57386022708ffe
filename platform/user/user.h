// The window system stand-in: window classes, windows, per-thread message queues,
// painting, timers, focus, capture, activation, input and hotkeys.
//
// How it works
// - Every window belongs to the thread that created it; that thread's queue (made on
//   its first window-system call) receives the window's posted messages, input, paint
//   and timer messages. A window procedure always runs on its window's thread.
// - SendMessageW to a window of the calling thread is a direct call. To a window of
//   another thread it waits until that thread serves it, which the thread does
//   whenever it reads its queue (GetMessageW, PeekMessageW, WaitMessage,
//   MsgWaitForMultipleObjects, and so any modal loop built on them) and while it
//   waits in a SendMessageW of its own, so two threads sending to each other do not
//   deadlock.
// - GetMessageW hands out, in this order: sent messages (served, never returned),
//   posted messages, input, WM_QUIT, WM_PAINT, WM_TIMER.
// - Input is what the hardware delivers (platform::PostPointerDown, PostKeyDown...,
//   called by the backends in platform/host and by tests). It waits in one
//   process-wide queue and is routed when it is read, in order: a pointer event goes
//   to the capture window or else to the topmost visible enabled window under it; a
//   key to the focus window (or, with nothing focused, to the active window as a
//   WM_SYSKEY* message), or as WM_HOTKEY to the window that registered it. So a tap
//   queued before a dialog opens lands on the dialog, and a release after a press
//   that set the capture goes to the capturing window.
// - Focus, capture and the active (= foreground) window are process-wide: the
//   handheld shows one program at a time.
// - Painting: each window keeps an invalid rectangle (the bounding box of what was
//   invalidated, in client coordinates). The window DC is a screen DC clipped to one
//   rectangle, so windows are painted bottom up: when a window paints an area, the
//   windows above it there and its own children are invalidated and paint after it.
// - Timers run on the kernel's clock (platform::UseManualClock): a due timer gives
//   one WM_TIMER when its thread reads the queue, earliest deadline first, and is
//   then re-armed a period after that moment.
//
// Adding a built-in window class (a control): write its window procedure in a file
// of its own in platform/user (e.g. button.cpp; every .cpp there is built), with a
// function returning its WNDCLASSW (CS_GLOBALCLASS is implied), and add it to the
// list of its family (ControlClasses in controls.cpp, DialogClasses in
// dialog_classes.cpp). Those classes are registered on the first
// window-system call and can be neither registered again nor unregistered. Keep a
// control's state in its window's extra bytes (cbWndExtra) or in a map from HWND
// under a lock of the control's own, and call no window procedure or drawing while
// holding a lock. Control messages (BM_*, LB_*...) and notification codes belong in
// controls.h, in a section per control; dialogs, menus, the command bar and message
// boxes in dialogs.h. A control that draws a non-client part of
// its own (scroll bars) handles WM_NCPAINT and widens its frame in
// platform::user::FrameInsets.
//
// Driving it from a test (headless, no backend needed): create windows on the test
// thread, post input with platform::PostTap / PostKeyPress, then
// platform::PumpUntilIdle() to dispatch everything queued, paint, and fire due
// timers without moving the clock; with the manual clock on, platform::
// AdvanceClockAndPump(ms) moves the clock from deadline to deadline and pumps at each.
// A modal loop on the test thread is driven by input queued before it starts (it is
// routed when read, so it reaches the dialog once the dialog is there) or posted from
// another thread. Read pixels back with GetPixel on GetDC(nullptr) or with
// platform::SaveDCAsPng.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"

#ifndef CALLBACK
#define CALLBACK
#endif
#ifndef WINAPI
#define WINAPI
#endif

DECLARE_PLATFORM_HANDLE(HMENU);

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELRESULT(l, h) (static_cast<LRESULT>(static_cast<DWORD>(MAKELONG(l, h))))
#define GET_X_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(LOWORD(lp))))
#define GET_Y_LPARAM(lp) (static_cast<int>(static_cast<SHORT>(HIWORD(lp))))
#define MAKEINTATOM(i) (reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))

#define ERROR_INVALID_THREAD_ID 1444L
#define ERROR_INVALID_INDEX 1413L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_HOTKEY_ALREADY_REGISTERED 1409L
#define ERROR_HOTKEY_NOT_REGISTERED 1419L
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#define ERROR_WINDOW_OF_OTHER_THREAD 1408L

// ---------------------------------------------------------------------------------
// Messages

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SYSCOLORCHANGE 0x0015
#define WM_SHOWWINDOW 0x0018
#define WM_SETTINGCHANGE 0x001A
#define WM_CANCELMODE 0x001F
#define WM_SETCURSOR 0x0020
#define WM_NEXTDLGCTL 0x0028
#define WM_DRAWITEM 0x002B
#define WM_MEASUREITEM 0x002C
#define WM_DELETEITEM 0x002D
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_HELP 0x0053
#define WM_CONTEXTMENU 0x007B
#define WM_STYLECHANGED 0x007D
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_NCPAINT 0x0085
#define WM_NCMOUSEMOVE 0x00A0
#define WM_NCLBUTTONDOWN 0x00A1
#define WM_NCLBUTTONUP 0x00A2
#define WM_GETDLGCODE 0x0087
#define WM_KEYFIRST 0x0100
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_DEADCHAR 0x0103
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106
#define WM_SYSDEADCHAR 0x0107
#define WM_KEYLAST 0x0108
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_INITMENUPOPUP 0x0117
#define WM_MENUSELECT 0x011F
#define WM_ENTERIDLE 0x0121
#define WM_CTLCOLORMSGBOX 0x0132
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSCROLLBAR 0x0137
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEFIRST 0x0200
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_MOUSELAST 0x0209
#define WM_CAPTURECHANGED 0x0215
#define WM_HOTKEY 0x0312
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_ACTIVATE states (low word of wParam).
#define WA_INACTIVE 0
#define WA_ACTIVE 1
#define WA_CLICKACTIVE 2

// WM_SIZE types.
#define SIZE_RESTORED 0

// Pointer message key flags (wParam).
#define MK_LBUTTON 0x0001
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008

// WM_GETDLGCODE results.
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;
typedef MSG* PMSG;

// PeekMessageW options.
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define PM_NOYIELD 0x0002

// Queue status bits, for MsgWaitForMultipleObjects(Ex).
#define QS_KEY 0x0001
#define QS_MOUSEMOVE 0x0002
#define QS_MOUSEBUTTON 0x0004
#define QS_POSTMESSAGE 0x0008
#define QS_TIMER 0x0010
#define QS_PAINT 0x0020
#define QS_SENDMESSAGE 0x0040
#define QS_HOTKEY 0x0080
#define QS_ALLPOSTMESSAGE 0x0100
#define QS_MOUSE (QS_MOUSEMOVE | QS_MOUSEBUTTON)
#define QS_INPUT (QS_MOUSE | QS_KEY)
#define QS_ALLEVENTS (QS_INPUT | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_HOTKEY)
#define QS_ALLINPUT (QS_ALLEVENTS | QS_SENDMESSAGE)

#define MWMO_WAITALL 0x0001
#define MWMO_ALERTABLE 0x0002
#define MWMO_INPUTAVAILABLE 0x0004

// Returns FALSE for WM_QUIT, -1 when hwnd is given and is not a window. A thread
// asked to stop (TerminateThread) gets WM_QUIT, so that its message loop ends.
BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax);
BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove);
// Turns WM_KEYDOWN/WM_SYSKEYDOWN of a character key into WM_CHAR/WM_SYSCHAR, read
// next from the queue (US keyboard layout).
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Like SendMessageW, without waiting for a window of another thread.
BOOL SendNotifyMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL WaitMessage();
// Waits for the objects or for a message of a kind in wakeMask, serving sent
// messages meanwhile; returns WAIT_OBJECT_0 + count for a message. A message
// already in the queue counts, whether or not it was seen before. With waitAll, the
// wait ends when every object is signalled and a message is there.
DWORD MsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds,
                                  DWORD wakeMask, DWORD flags);
DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                DWORD milliseconds, DWORD wakeMask);

// Posting more than this many messages to a queue nobody reads fails with
// ERROR_NOT_ENOUGH_QUOTA.
#define POSTED_MESSAGE_LIMIT 10000

// ---------------------------------------------------------------------------------
// Classes and windows

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define CS_DBLCLKS 0x0008
#define CS_PARENTDC 0x0080
#define CS_NOCLOSE 0x0200
#define CS_GLOBALCLASS 0x4000

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;  // a brush, COLOR_x + 1, or COLOR_x | SYS_COLOR_INDEX_FLAG
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
typedef WNDCLASSW WNDCLASS;

// Class names are case-insensitive and unique in the process; a class may be named
// by its atom with MAKEINTATOM. At most 256 extra bytes per class and per window.
ATOM RegisterClassW(const WNDCLASSW* windowClass);
// Fails with ERROR_CLASS_HAS_WINDOWS while windows of the class exist.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);
BOOL GetClassInfoW(HINSTANCE instance, LPCWSTR className, WNDCLASSW* windowClass);
int GetClassNameW(HWND hwnd, LPWSTR className, int maxCount);

#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_OVERLAPPEDWINDOW (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)
#define WS_POPUPWINDOW (WS_POPUP | WS_BORDER | WS_SYSMENU)

#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_TRANSPARENT 0x00000020L
#define WS_EX_TOOLWINDOW 0x00000080L
#define WS_EX_WINDOWEDGE 0x00000100L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTEXTHELP 0x00000400L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_STATICEDGE 0x00020000L
#define WS_EX_OVERLAPPEDWINDOW (WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE)
// The handheld's own extended styles.
#define WS_EX_NOANIMATION 0x04000000L
#define WS_EX_INK 0x10000000L
#define WS_EX_ABOVESTARTUP 0x20000000L
#define WS_EX_NODRAG 0x40000000L
#define WS_EX_CAPTIONOKBTN 0x80000000L

#define CW_USEDEFAULT (static_cast<int>(0x80000000))

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
typedef CREATESTRUCTW* LPCREATESTRUCTW;
typedef CREATESTRUCTW CREATESTRUCT;
typedef LPCREATESTRUCTW LPCREATESTRUCT;

// A child's menu argument is its control id. A window without WS_CHILD is
// top-level; its parent argument names its owner. CW_USEDEFAULT places a top-level
// window at the screen's top left and sizes it to the screen. Sends WM_NCCREATE
// (FALSE refuses the window) and WM_CREATE (-1 refuses it), then WM_SIZE and
// WM_MOVE, then shows it when WS_VISIBLE is given.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
inline HWND CreateWindowW(LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                          LPVOID param) {
    return CreateWindowExW(0, className, windowName, style, x, y, width, height, parent, menu,
                           instance, param);
}
// Only the window's own thread may destroy it. Its owned windows go first; then
// WM_DESTROY goes to the window and then down to each child (the children still
// exist while their parent handles it), then WM_NCDESTROY up from the deepest
// children to the window, each window's handle dying after its WM_NCDESTROY.
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
HWND GetDesktopWindow();
// Within the process, top-level windows only; a null argument matches any.
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);

#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5

// The parent of a child window, the owner of an owned WS_POPUP window, else null.
HWND GetParent(HWND hwnd);
// Siblings run in z-order from the top; new children are placed at the bottom.
HWND GetWindow(HWND hwnd, UINT command);
BOOL IsChild(HWND parent, HWND hwnd);
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);
DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId);

// Text: for a window of the calling thread these send WM_SETTEXT/WM_GETTEXT/
// WM_GETTEXTLENGTH; for another thread's window they read the stored text.
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text);
int GetWindowTextW(HWND hwnd, LPWSTR text, int maxCount);
int GetWindowTextLengthW(HWND hwnd);

BOOL IsWindowVisible(HWND hwnd);
// Returns whether the window was disabled before; sends WM_ENABLE when it changes.
// A disabled window loses the focus and gets no pointer input.
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);

// Window values. Negative indexes name the window's fields; 0 and up address the
// window's extra bytes. Pointer-carrying values (the window procedure, user data,
// the dialog slots) are pointer-wide: use the ...Ptr calls for them; the 32-bit
// calls refuse GWL_WNDPROC (ERROR_INVALID_INDEX) rather than cut a pointer.
#define GWL_WNDPROC (-4)
#define GWL_HINSTANCE (-6)
#define GWL_HWNDPARENT (-8)
#define GWL_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
#define GWLP_WNDPROC GWL_WNDPROC
#define GWLP_HINSTANCE GWL_HINSTANCE
#define GWLP_HWNDPARENT GWL_HWNDPARENT
#define GWLP_ID GWL_ID
#define GWLP_USERDATA GWL_USERDATA
// Dialog windows' extra bytes (the dialog class has DLGWINDOWEXTRA of them).
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC (DWLP_MSGRESULT + static_cast<int>(sizeof(LRESULT)))
#define DWLP_USER (DWLP_DLGPROC + static_cast<int>(sizeof(LONG_PTR)))
#define DWL_MSGRESULT DWLP_MSGRESULT
#define DWL_DLGPROC DWLP_DLGPROC
#define DWL_USER DWLP_USER
#define DLGWINDOWEXTRA (DWLP_USER + static_cast<int>(sizeof(LONG_PTR)))

LONG GetWindowLongW(HWND hwnd, int index);
LONG SetWindowLongW(HWND hwnd, int index, LONG value);
LONG_PTR GetWindowLongPtrW(HWND hwnd, int index);
LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value);

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// ---------------------------------------------------------------------------------
// Position and size

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWNA 8
#define SW_RESTORE 9

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_FRAMECHANGED 0x0020
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define SWP_NOOWNERZORDER 0x0200

#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_TOPMOST (reinterpret_cast<HWND>(-1))
#define HWND_NOTOPMOST (reinterpret_cast<HWND>(-2))

// Returns whether the window was visible before. Showing a top-level window
// activates it (but SW_SHOWNA and SW_SHOWNOACTIVATE); hiding the active window
// activates the next one. SW_MINIMIZE hides here: there is nowhere to minimise to.
BOOL ShowWindow(HWND hwnd, int command);
// Sends WM_MOVE and WM_SIZE when the position or size changes.
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL GetClientRect(HWND hwnd, LPRECT rect);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
BOOL ClientToScreen(HWND hwnd, LPPOINT point);
BOOL ScreenToClient(HWND hwnd, LPPOINT point);
// A null window means the screen. Returns the offset added, x in the low word.
int MapWindowPoints(HWND from, HWND to, LPPOINT points, UINT count);
HWND WindowFromPoint(POINT point);

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CXDOUBLECLK 36
#define SM_CYDOUBLECLK 37
#define SM_CXVSCROLL 2
#define SM_CYVSCROLL 20

// Screen sizes are the screen surface's (platform::SetScreenMode).
int GetSystemMetrics(int index);
UINT GetDoubleClickTime();

// Window scroll bars. WS_VSCROLL on a window of an application's class puts a bar
// along its right edge, in the frame: the client area is SM_CXVSCROLL narrower. A
// tap on an arrow or on the track sends WM_VSCROLL (SB_LINEUP, SB_LINEDOWN,
// SB_PAGEUP, SB_PAGEDOWN) and, at the release, SB_ENDSCROLL; dragging the thumb
// sends SB_THUMBTRACK at each new position (readable through SIF_TRACKPOS) and
// SB_THUMBPOSITION, then SB_ENDSCROLL, at the release. lParam is 0; the window sets
// the new position itself. The taps reach the window as WM_NCLBUTTONDOWN,
// WM_NCMOUSEMOVE and WM_NCLBUTTONUP (wParam HTVSCROLL, screen point in lParam),
// which DefWindowProcW turns into those messages. The built-in controls draw their
// own bars in their client areas. Only SB_VERT is kept; SB_HORZ and SB_CTL fail.
#define HTVSCROLL 7
#define SB_HORZ 0
#define SB_VERT 1
#define SB_CTL 2
#define SIF_RANGE 0x0001
#define SIF_PAGE 0x0002
#define SIF_POS 0x0004
#define SIF_DISABLENOSCROLL 0x0008
#define SIF_TRACKPOS 0x0010
#define SIF_ALL (SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS)
typedef struct tagSCROLLINFO {
    UINT cbSize;
    UINT fMask;
    int nMin;
    int nMax;
    UINT nPage;
    int nPos;
    int nTrackPos;
} SCROLLINFO, *LPSCROLLINFO;
typedef const SCROLLINFO* LPCSCROLLINFO;

// The page is kept within the range's size and the position within
// [nMin, nMax - nPage + 1]. Returns the position; redraw repaints the bar.
int SetScrollInfo(HWND hwnd, int bar, LPCSCROLLINFO info, BOOL redraw);
// nTrackPos is the thumb's place while it is dragged, else the position.
BOOL GetScrollInfo(HWND hwnd, int bar, LPSCROLLINFO info);
// Returns the previous position.
int SetScrollPos(HWND hwnd, int bar, int position, BOOL redraw);
int GetScrollPos(HWND hwnd, int bar);
BOOL SetScrollRange(HWND hwnd, int bar, int minimum, int maximum, BOOL redraw);
BOOL GetScrollRange(HWND hwnd, int bar, int* minimum, int* maximum);

// Rectangles.
BOOL SetRect(LPRECT rect, int left, int top, int right, int bottom);
BOOL SetRectEmpty(LPRECT rect);
BOOL CopyRect(LPRECT destination, const RECT* source);
BOOL IsRectEmpty(const RECT* rect);
BOOL EqualRect(const RECT* a, const RECT* b);
BOOL PtInRect(const RECT* rect, POINT point);
BOOL OffsetRect(LPRECT rect, int dx, int dy);
BOOL InflateRect(LPRECT rect, int dx, int dy);
// FALSE with an empty result when the two do not overlap.
BOOL IntersectRect(LPRECT result, const RECT* a, const RECT* b);
BOOL UnionRect(LPRECT result, const RECT* a, const RECT* b);

// ---------------------------------------------------------------------------------
// Painting

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
typedef PAINTSTRUCT* LPPAINTSTRUCT;

// The DC is clipped to the invalid rectangle. WM_NCPAINT goes first when the frame
// needs drawing, then WM_ERASEBKGND when the invalidation asked for erasing
// (DefWindowProcW fills with the class brush); fErase tells whether the window still
// has to erase.
HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* paint);
// A null rectangle means the whole client area; a null window, every window.
BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase);
// Leaves the invalid rectangle whole when the part validated does not cut it to a
// rectangle.
BOOL ValidateRect(HWND hwnd, const RECT* rect);
BOOL GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase);
// Sends WM_PAINT now when the window has an invalid area.
BOOL UpdateWindow(HWND hwnd);
// The client area (the screen for a null window), clipped to what the window shows
// through its parents. Release with ReleaseDC.
HDC GetDC(HWND hwnd);
// The whole window, frame included.
HDC GetWindowDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);

// System colours.
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_STATIC 25
#define COLOR_STATICTEXT 26
#define COLOR_DESKTOP COLOR_BACKGROUND
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#define COLOR_BTNHILIGHT COLOR_BTNHIGHLIGHT
#define SYS_COLOR_INDEX_FLAG 0x40000000

// Takes an index with or without SYS_COLOR_INDEX_FLAG.
DWORD GetSysColor(int index);
// A brush that lives as long as the process: never delete it.
HBRUSH GetSysColorBrush(int index);

// ---------------------------------------------------------------------------------
// Timers

// With a window, id names the timer and a second SetTimer of the same id replaces
// it; any thread may set a timer on a window, which then fires on the window's
// thread. Without a window the timer belongs to the calling thread and gets a new
// id (unless id is one of its own window-less timers). With a TIMERPROC,
// DispatchMessageW calls it instead of the window procedure. Periods below 10 ms
// are 10 ms.
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
#define USER_TIMER_MINIMUM 0x0000000A

// ---------------------------------------------------------------------------------
// Focus, capture, activation

// Activates the window's top-level window first when it is not active.
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HWND GetCapture();
// Top-level windows: WM_ACTIVATE(WA_INACTIVE, new) to the window losing activation,
// WM_ACTIVATE(WA_ACTIVE, old) to the one gaining it, whose DefWindowProcW then
// takes the focus. Windows of other threads are told without waiting.
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

// ---------------------------------------------------------------------------------
// Keys and hotkeys

#define VK_LBUTTON 0x01
#define VK_CANCEL 0x03
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_CLEAR 0x0C
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_SELECT 0x29
#define VK_PRINT 0x2A
#define VK_EXECUTE 0x2B
#define VK_SNAPSHOT 0x2C
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_HELP 0x2F
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#define VK_NUMPAD0 0x60
#define VK_NUMPAD9 0x69
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SEPARATOR 0x6C
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B
#define VK_LSHIFT 0xA0
#define VK_RSHIFT 0xA1
#define VK_LCONTROL 0xA2
#define VK_RCONTROL 0xA3
#define VK_LMENU 0xA4
#define VK_RMENU 0xA5
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
// The handheld's application buttons. They come with the Windows key held, so a
// hotkey on one is registered with MOD_WIN.
#define VK_APP1 0xC1
#define VK_APP2 0xC2
#define VK_APP3 0xC3
#define VK_APP4 0xC4
#define VK_APP5 0xC5
#define VK_APP6 0xC6
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE

// The high bit is set while the key is down, the low bit toggles with each press.
// GetKeyState follows the key messages the process has read; GetAsyncKeyState the
// keys as they are now.
SHORT GetKeyState(int virtualKey);
SHORT GetAsyncKeyState(int virtualKey);

#define MOD_ALT 0x0001
#define MOD_CONTROL 0x0002
#define MOD_SHIFT 0x0004
#define MOD_WIN 0x0008
#define MOD_KEYUP 0x1000

// A key pressed with exactly these modifiers is posted to the window as
// WM_HOTKEY(id, MAKELPARAM(modifiers, key)) in place of its WM_KEYDOWN; with
// MOD_KEYUP the release is the hotkey instead. Registering the same window and id
// again replaces that hotkey; a key and modifiers another registration holds fail
// with ERROR_HOTKEY_ALREADY_REGISTERED. A destroyed window's hotkeys go with it.
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT virtualKey);
BOOL UnregisterHotKey(HWND hwnd, int id);
// Releases a key from the shell before a program registers it; there is no shell
// holding keys here, so it only succeeds.
BOOL UnregisterFunc1(UINT modifiers, UINT virtualKey);

// ---------------------------------------------------------------------------------
// The stand-in's own services: hardware input, pumping, and what backends need.

namespace platform {

// Hardware input, in screen pixels; callable from any thread. Consecutive moves
// are merged while they wait. Each event carries the clock's time when posted: two
// taps at one instant on a CS_DBLCLKS window make a double click.
void PostPointerDown(POINT screenPoint);
void PostPointerMove(POINT screenPoint);
void PostPointerUp(POINT screenPoint);
// A press and release at one point.
void PostTap(POINT screenPoint);
void PostKeyDown(UINT virtualKey);
void PostKeyUp(UINT virtualKey);
// A press and release of one key.
void PostKeyPress(UINT virtualKey);
// Forgets input nobody has read yet.
void DiscardPendingInput();

// Reads the calling thread's queue until nothing is left: dispatches (with
// TranslateMessage) every message, sent, posted and input, paints every invalid
// window and fires every due timer once, without moving the clock. A WM_QUIT stops
// it and stays in the queue. Returns the number of messages dispatched.
int PumpUntilIdle();
// Calls `call` once on the window's thread when that thread next has nothing to hand
// out: when it is about to wait in GetMessageW or WaitMessage, or when PumpUntilIdle
// found nothing left. FALSE for a window that does not exist.
BOOL CallWhenIdle(HWND hwnd, std::function<void()> call);
// On the manual clock: moves the clock on by milliseconds, stopping at each of the
// calling thread's timer deadlines on the way to pump there, and pumps at the end.
void AdvanceClockAndPump(uint64_t milliseconds);

// Counts every time something was drawn on the screen through a window DC (EndPaint,
// ReleaseDC) or by the window system itself, so a backend knows when to show a new
// frame. Drawing on a DC of platform::CreateScreenDC is not counted.
uint64_t ScreenGeneration();
// Called, on the drawing thread, each time the count above moves on: a backend that
// shows frames from a thread of its own wakes it there. Null removes it. The call
// must be quick and must not draw.
void SetScreenChangedHandler(void (*handler)());
// The program's main window: its oldest visible top-level window without an owner
// (null when there is none). The backends send it WM_CLOSE when the user closes the
// program.
HWND MainWindow();
// Closes the program as its power button does: each box and modal dialog running on
// the main window's thread is sent WM_CLOSE, the innermost first, each ending in its
// own modal loop, then the main window is; so nothing is torn down under a box that
// is still up. Does nothing without a main window.
void PostCloseToMainWindow();
// Called on the destroying thread just before the main window is hidden and
// destroyed, so that the host can keep the program's last picture. An empty function
// removes the handler.
void SetMainWindowDestroyHandler(std::function<void()> handler);
// Called on the showing thread each time a window becomes visible as the main window.
// An empty function removes the handler.
void SetMainWindowShownHandler(std::function<void(HWND)> handler);

}  // namespace platform

#include "platform/user/controls.h"
#include "platform/user/dialogs.h"
