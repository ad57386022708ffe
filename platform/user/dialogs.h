// Dialogs from templates and their modal loops, menus, the command bar, message boxes
// and the wait cursor.
//
// Dialogs
// - A template is described in code (platform::DialogTemplate, all sizes in dialog
//   units) and registered per module and id; a null instance, the program's instance
//   and the main resource module's instance all name the program's own module.
// - A dialog is a window of the class "#32770" whose procedure is DefDlgProcW: it asks
//   the dialog procedure first (kept at DWLP_DLGPROC); a TRUE answer means handled,
//   with the message's result at DWLP_MSGRESULT (except for WM_INITDIALOG, the
//   WM_CTLCOLOR* messages and the few others whose result is the answer itself).
// - The modal loop (DialogBoxParamW) disables the owner's top-level window (when it
//   belongs to the calling thread: waiting on a busy thread could deadlock), reads the
//   queue with GetMessageW (so messages sent from other threads are served while the
//   dialog is up), passes each message through IsDialogMessageW and ends once
//   EndDialog was called; the owner is enabled again before the dialog is destroyed.
//   A WM_QUIT ends the loop too (the dialog answers IDCANCEL) and is put back in the
//   queue for the loop outside.
// Menus
// - A menu is a handle to a list of items (text, id or submenu, MF_ state). A popup
//   menu is shown by TrackPopupMenu(Ex) as a window of its own with its own modal
//   loop: a tap on an enabled item chooses it, a tap outside closes the menu; the
//   arrow keys, Enter and Escape work too.
// Message boxes
// - MessageBoxW (platform/kernel/msgbox.h) shows the drawn box below once
//   platform::UseDrawnMessageBox(true) is called (the host does this for a visible
//   backend); headless, boxes are answered from the test script.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/kernel/msgbox.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#ifndef ERROR_INVALID_MENU_HANDLE
#define ERROR_INVALID_MENU_HANDLE 1401L
#endif
#ifndef ERROR_MENU_ITEM_NOT_FOUND
#define ERROR_MENU_ITEM_NOT_FOUND 1456L
#endif

// ---------------------------------------------------------------------------------
// Dialog templates and dialogs

#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_3DLOOK 0x04L
#define DS_FIXEDSYS 0x08L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_NOIDLEMSG 0x100L
#define DS_SETFOREGROUND 0x200L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CENTERMOUSE 0x1000L

#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DM_REPOSITION (WM_USER + 2)
// The high word of DM_GETDEFID's answer when there is a default button.
#define DC_HASDEFID 0x534B

#define IDCLOSE 8
#define IDHELP 9

namespace platform {

struct DialogItemTemplate {
    std::u16string className;  // "BUTTON", "STATIC", "EDIT"... or any registered class
    std::u16string text;
    WORD id = 0;
    DWORD style = 0;  // WS_CHILD is always added
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    // Non-zero: the control's text is this resource id (0xFFFF, id), as for an icon.
    WORD resourceId = 0;
};

// One control of a template written in code, in dialog units.
inline DialogItemTemplate DialogItem(const char16_t* className, const char16_t* text, WORD id,
                                     DWORD style, short x = 0, short y = 0, short cx = 0,
                                     short cy = 0) {
    DialogItemTemplate item;
    item.className = className;
    item.text = text;
    item.id = id;
    item.style = style;
    item.x = x;
    item.y = y;
    item.cx = cx;
    item.cy = cy;
    return item;
}

struct DialogTemplate {
    DWORD style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
    std::u16string caption;
    // With DS_SETFONT: the dialog's font, which sets the dialog units and is given to
    // every control; otherwise the system font.
    std::u16string fontFace = u"Tahoma";
    WORD pointSize = 8;
    std::vector<DialogItemTemplate> items;
};

// Copies the template; registering the same module and id again replaces it.
void RegisterDialogTemplate(HINSTANCE instance, WORD id, const DialogTemplate& dialogTemplate);

}  // namespace platform

typedef platform::DialogTemplate DLGTEMPLATE;
typedef const platform::DialogTemplate* LPCDLGTEMPLATEW;
typedef LPCDLGTEMPLATEW LPCDLGTEMPLATE;

// Returns the value given to EndDialog; -1 (with the error set) when the template is
// missing or the dialog could not be made; 0 for an invalid owner.
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
inline INT_PTR DialogBoxW(HINSTANCE instance, LPCWSTR templateName, HWND owner,
                          DLGPROC dialogProc) {
    return DialogBoxParamW(instance, templateName, owner, dialogProc, 0);
}
// A modeless dialog: the caller's message loop passes its messages through
// IsDialogMessageW and destroys it with DestroyWindow.
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND owner, DLGPROC dialogProc,
                        LPARAM initParam);
HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner,
                                DLGPROC dialogProc, LPARAM initParam);
inline HWND CreateDialogW(HINSTANCE instance, LPCWSTR templateName, HWND owner,
                          DLGPROC dialogProc) {
    return CreateDialogParamW(instance, templateName, owner, dialogProc, 0);
}
// Ends a modal dialog's loop with the result; the dialog goes when the loop ends. FALSE
// for a window that is not a dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsDialogMessageW(HWND dialog, LPMSG msg);

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR text, int maxCount);
BOOL SetDlgItemInt(HWND dialog, int id, UINT value, BOOL isSigned);
// *translated tells whether the text was a number (leading and trailing blanks
// allowed) that fits.
UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
// Checks `check` and clears the other buttons with ids from first to last.
BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId);

// Dialog units to pixels with the dialog's font: x * average width / 4, y * height / 8.
BOOL MapDialogRect(HWND dialog, LPRECT rect);
// The system font's base units, the width in the low word.
LONG GetDialogBaseUnits();
// The next (or previous) visible enabled WS_TABSTOP control after `control`,
// wrapping around; the first one with a null control.
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
// The next (or previous) visible enabled control of control's group (a group starts
// at a WS_GROUP control), wrapping within the group.
HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);

// ---------------------------------------------------------------------------------
// Menus

#define MF_INSERT 0x00000000L
#define MF_CHANGE 0x00000080L
#define MF_APPEND 0x00000100L
#define MF_DELETE 0x00000200L
#define MF_REMOVE 0x00001000L
#define MF_BYCOMMAND 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#define MF_ENABLED 0x00000000L
#define MF_GRAYED 0x00000001L
#define MF_DISABLED 0x00000002L
#define MF_UNCHECKED 0x00000000L
#define MF_CHECKED 0x00000008L
#define MF_USECHECKBITMAPS 0x00000200L
#define MF_STRING 0x00000000L
#define MF_BITMAP 0x00000004L
#define MF_OWNERDRAW 0x00000100L
#define MF_POPUP 0x00000010L
#define MF_MENUBARBREAK 0x00000020L
#define MF_MENUBREAK 0x00000040L
#define MF_UNHILITE 0x00000000L
#define MF_HILITE 0x00000080L
#define MF_DEFAULT 0x00001000L
#define MF_RIGHTJUSTIFY 0x00004000L
#define MFT_RADIOCHECK 0x00000200L
#define MFS_CHECKED MF_CHECKED

#define TPM_LEFTBUTTON 0x0000L
#define TPM_RIGHTBUTTON 0x0002L
#define TPM_LEFTALIGN 0x0000L
#define TPM_CENTERALIGN 0x0004L
#define TPM_RIGHTALIGN 0x0008L
#define TPM_TOPALIGN 0x0000L
#define TPM_VCENTERALIGN 0x0010L
#define TPM_BOTTOMALIGN 0x0020L
#define TPM_HORIZONTAL 0x0000L
#define TPM_VERTICAL 0x0040L
#define TPM_NONOTIFY 0x0080L
#define TPM_RETURNCMD 0x0100L

struct TPMPARAMS {
    UINT cbSize;
    RECT rcExclude;
};
typedef TPMPARAMS* LPTPMPARAMS;

HMENU CreateMenu();
HMENU CreatePopupMenu();
// Destroys the menu and its submenus.
BOOL DestroyMenu(HMENU menu);
BOOL IsMenu(HMENU menu);
// With MF_POPUP, newItem is the submenu's handle, which the menu then owns.
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR newItem, LPCWSTR text);
// Inserts before the item `position` names (by command or by position); at the end
// when there is no such item.
BOOL InsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text);
BOOL ModifyMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR newItem, LPCWSTR text);
// DeleteMenu destroys an item's submenu; RemoveMenu keeps it for the caller.
BOOL DeleteMenu(HMENU menu, UINT position, UINT flags);
BOOL RemoveMenu(HMENU menu, UINT position, UINT flags);
// By command, the first item with that id is searched in submenus too. Returns the
// previous MF_CHECKED state, -1 when there is no such item.
DWORD CheckMenuItem(HMENU menu, UINT item, UINT check);
// Returns the previous MF_GRAYED | MF_DISABLED state, -1 when there is no such item.
BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable);
// Marks `check` with a radio mark and clears the marks of the other items from first
// to last.
BOOL CheckMenuRadioItem(HMENU menu, UINT first, UINT last, UINT check, UINT flags);
HMENU GetSubMenu(HMENU menu, int position);
int GetMenuItemCount(HMENU menu);
// -1 for a submenu, 0 for a separator.
UINT GetMenuItemID(HMENU menu, int position);
// The item's MF_ flags; for a submenu, its item count in the high byte of the low
// word as well. -1 when there is no such item.
UINT GetMenuState(HMENU menu, UINT item, UINT flags);
int GetMenuStringW(HMENU menu, UINT item, LPWSTR text, int maxCount, UINT flags);
HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name);

// Shows the menu at a screen point and waits for a choice. Without TPM_RETURNCMD the
// choice goes to `owner` as WM_COMMAND (posted, so it arrives after the call returns)
// and the result tells whether something was chosen; with it the result is the
// command id, 0 for none. The owner gets WM_INITMENUPOPUP first (but with
// TPM_NONOTIFY).
BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params);
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                    const RECT* reserved2);
// Closes the popup menu the calling thread shows, if any, choosing nothing.
BOOL EndMenu();

namespace platform {

struct MenuTemplateItem {
    std::u16string text;
    UINT id = 0;
    UINT flags = MF_STRING;                 // MF_SEPARATOR, MF_GRAYED, MF_CHECKED...
    std::vector<MenuTemplateItem> popup{};  // non-empty: a submenu
};

struct MenuTemplate {
    std::vector<MenuTemplateItem> items;
};

// For LoadMenuW; registering the same module and id again replaces it.
void RegisterMenuTemplate(HINSTANCE instance, WORD id, const MenuTemplate& menuTemplate);

}  // namespace platform

// ---------------------------------------------------------------------------------
// The command bar: a child window along the top of its parent's client area, as wide
// as the parent, holding a menu bar, buttons and adornments.

#ifndef TBSTATE_CHECKED
#define TBSTATE_CHECKED 0x01
#define TBSTATE_PRESSED 0x02
#define TBSTATE_ENABLED 0x04
#define TBSTATE_HIDDEN 0x08
#define TBSTYLE_BUTTON 0x00
#define TBSTYLE_SEP 0x01
#define TBSTYLE_CHECK 0x02
#define TBSTYLE_GROUP 0x04
#define TBSTYLE_CHECKGROUP (TBSTYLE_GROUP | TBSTYLE_CHECK)
#define TBSTYLE_DROPDOWN 0x08
#define TBSTYLE_AUTOSIZE 0x10

struct TBBUTTON {
    int iBitmap;
    int idCommand;
    BYTE fsState;
    BYTE fsStyle;
    BYTE bReserved[2];
    DWORD_PTR dwData;
    INT_PTR iString;
};
typedef TBBUTTON* LPTBBUTTON;
#endif

#define CMDBAR_HELP 0x0001
#define CMDBAR_OK 0x0002

// The parent gets WM_COMMAND(id, BN_CLICKED, bar) for a button and WM_COMMAND(id, 0, 0)
// for a menu item chosen from the menu bar, both posted. The bar takes its parent's
// client width when created and when shown again.
HWND CommandBar_Create(HINSTANCE instance, HWND parent, int id);
// The menu (a resource of the module) is shown as one entry per submenu, left of the
// button at index `button` (0: before every button).
BOOL CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
// As above; a null instance with a non-resource name takes the HMENU itself.
BOOL CommandBar_InsertMenubarEx(HWND bar, HINSTANCE instance, LPWSTR menuName, WORD button);
HMENU CommandBar_GetMenu(HWND bar, WORD button);
BOOL CommandBar_DrawMenuBar(HWND bar, WORD button);
// Adds the close button at the right end (and Help, OK when asked); the close button
// sends WM_CLOSE to the parent, OK WM_COMMAND(IDOK), Help WM_HELP.
BOOL CommandBar_AddAdornments(HWND bar, DWORD flags, DWORD reserved);
// Adds `count` images of width x height cut from the bitmap; returns the index of the
// first one.
int CommandBar_AddBitmap(HWND bar, HINSTANCE instance, int bitmapId, int count, int width,
                         int height);
BOOL CommandBar_AddButtons(HWND bar, UINT count, const TBBUTTON* buttons);
BOOL CommandBar_InsertButton(HWND bar, int index, const TBBUTTON* button);
// Tool tips for the buttons in order (separators skipped); the texts are copied.
BOOL CommandBar_AddToolTips(HWND bar, UINT count, LPWSTR* tips);
int CommandBar_Height(HWND bar);
BOOL CommandBar_Show(HWND bar, BOOL show);
BOOL CommandBar_IsVisible(HWND bar);
inline void CommandBar_Destroy(HWND bar) {
    DestroyWindow(bar);
}

namespace platform {
// For tests: the rectangle of the command bar's menu entry (by position) or button
// (by index), in the bar's client coordinates; empty when there is none.
RECT CommandBarMenuEntryRect(HWND bar, int position);
RECT CommandBarButtonRect(HWND bar, int index);
}  // namespace platform

// ---------------------------------------------------------------------------------
// Message boxes

namespace platform {

// The box as a modal dialog drawn by the window system, centred on the screen: the
// icon, the text wrapped to the box's width and the type's buttons in a row; Enter
// chooses the focused button (the MB_DEFBUTTONn one at first), the arrow keys and
// Tab move between them, Escape answers IDCANCEL when the box has a Cancel button (OK
// in an MB_OK box). Returns the button chosen; 0 with ERROR_INVALID_PARAMETER for an
// unknown button set.
int ShowMessageBoxDialog(HWND owner, const std::u16string& text, const std::u16string& caption,
                         UINT type);
// Makes MessageBoxW show the drawn box (true) or go back to the headless answers.
void UseDrawnMessageBox(bool use);
// Whether boxes are drawn: the program's own question screens are then drawn too,
// and otherwise answered as MessageBoxW answers a box.
bool IsDrawnMessageBox();

// For tests: the screen rectangle of a button (IDOK, IDCANCEL...) of the message box
// the process shows, empty when none is shown.
RECT MessageBoxButtonRect(int buttonId);

}  // namespace platform

// ---------------------------------------------------------------------------------
// Cursors

#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)
#define IDC_APPSTARTING MAKEINTRESOURCEW(32650)

// The system cursors only (null instance); the handles live as long as the process.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
// The cursor is process-wide here: the handheld has one screen and no mouse pointer,
// so only the wait cursor shows (the host draws it). Returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
// Returns the new display count; the cursor shows while it is 0 or more.
int ShowCursor(BOOL show);

namespace platform {
// Whether the wait cursor is set and shown, for the host and for tests. Setting a
// cursor counts as drawing (platform::ScreenGeneration), so the host shows a new frame.
bool WaitCursorShown();
// Draws the wait cursor, a small hourglass, in the middle of a width x height picture:
// the host draws it over its copy of the screen, never on the screen itself.
void DrawWaitCursor(HDC dc, int width, int height);
}  // namespace platform

// ---------------------------------------------------------------------------------
// File dialogs
//
// GetOpenFileNameW and GetSaveFileNameW choose a file of the device root's folders
// whose name matches the filter. Drawn (platform::UseDrawnFileDialog) the user picks
// it in a dialog; headless they are answered from the test script,
// as message boxes are: a path, or Cancel when no answer is left. A save dialog adds
// the default extension to a name without one and, with OFN_OVERWRITEPROMPT, asks
// through a message box before an existing file is chosen; an open dialog with
// OFN_FILEMUSTEXIST answers only an existing file.

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEW {
    DWORD lStructSize;  // sizeof(OPENFILENAMEW)
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;  // pairs of NUL-terminated texts: description, patterns ("*.gps;*.txt")
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;     // 1-based pair in lpstrFilter
    LPWSTR lpstrFile;       // in: initial name; out: the chosen path
    DWORD nMaxFile;         // characters of lpstrFile
    LPWSTR lpstrFileTitle;  // out: the name alone, when given
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;     // of the name in lpstrFile
    WORD nFileExtension;  // of the extension in lpstrFile (0 without one)
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCWSTR lpTemplateName;
};
typedef OPENFILENAMEW* LPOPENFILENAMEW;

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000

// CommDlgExtendedError codes.
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_INVALIDFILENAME 0x3002
#define FNERR_BUFFERTOOSMALL 0x3003

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);
BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn);
// The error of the calling thread's last file dialog; 0 after a success or Cancel.
DWORD CommDlgExtendedError();

namespace platform {

// Answers of the headless file dialogs, one per dialog, in order: a path (a
// platform path, or a bare name taken in the dialog's initial folder), or
// std::nullopt for Cancel. Replaces any answers left.
void ScriptFileDialogAnswers(std::vector<std::optional<std::u16string>> answers);
// Answers the next file dialog, drawn or not, before anything else would (scripted
// runs); answers queue up in order. ClearFileDialogs forgets them.
void QueueFileDialogAnswer(std::optional<std::u16string> answer);
// With true the file dialogs are drawn and answered on the screen (the host does this
// for a visible backend): a list of the folder's subfolders ("[name]", "[..]" up)
// and matching files, a name field, OK and Cancel.
void UseDrawnFileDialog(bool use);

struct ShownFileDialog {
    bool save;
    std::u16string title;
    std::u16string initialFolder;
    std::vector<std::u16string> patterns;  // of the chosen filter pair
    std::vector<std::u16string> offered;   // matching files of the initial folder, sorted
};
// Every file dialog shown since the last ClearFileDialogs, oldest first.
std::vector<ShownFileDialog> ShownFileDialogs();
void ClearFileDialogs();

}  // namespace platform
