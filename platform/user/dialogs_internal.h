// What the dialog, menu, command bar and message box files share.
#pragma once

#include <string>
#include <vector>

#include "platform/user/user_internal.h"

namespace platform::user {

// --- dialog.cpp ----------------------------------------------------------------
WNDCLASSW DialogClass();
// A modal dialog of the window system's own (a message box), sized in pixels, with the
// system's UI font, hidden, after its WM_INITDIALOG; for RunModalDialog.
HWND CreateOwnDialog(DWORD style, DWORD exStyle, const RECT& windowRect,
                     const std::u16string& caption, HWND owner, DLGPROC proc, LPARAM initParam);
// The modal loop: disables the owner (a top-level window or null), shows the dialog,
// pumps until EndDialog, enables the owner again and destroys the dialog. Returns the
// EndDialog value (IDCANCEL when a WM_QUIT ended the loop).
INT_PTR RunModalDialog(HWND dialog, HWND owner);
// The top-level window a dialog or menu owned by `hwnd` is owned by; null for none.
HWND OwnerTopLevel(HWND hwnd);
// The dialog font's base units, or the system font's for a window that is not a
// dialog.
SIZE DialogBaseUnits(HWND dialog);
// A font for the window system's own windows (menus, the command bar, message boxes):
// Tahoma at `points` (bold when asked), made once and kept.
HFONT SystemUiFont(int points, bool bold = false);
// Pixels for a length given at 96 dpi.
int Scaled(int pixelsAt96);

// --- menu.cpp ------------------------------------------------------------------
struct MenuItem {
    UINT flags = 0;  // MF_ state and type, without MF_BYPOSITION/MF_POPUP
    UINT id = 0;
    HMENU popup = nullptr;
    std::u16string text;
};
// A copy of a menu's items; false for no such menu.
bool MenuItems(HMENU menu, std::vector<MenuItem>* items);

// --- menu_bar.cpp --------------------------------------------------------------
// The widths of a bar's entries, left to right, in the system's UI font: the window's
// menu bar and the command bar measure them alike.
std::vector<int> MenuBarEntryWidths(const std::vector<MenuItem>& items);

// --- menu_popup.cpp ------------------------------------------------------------
WNDCLASSW PopupMenuClass();
// Shows a popup menu and runs its loop; returns the command chosen, 0 for none. With
// `exclude` set, the menu avoids covering that screen rectangle when it can.
UINT RunPopupMenu(HMENU menu, UINT flags, POINT at, HWND owner, const RECT* exclude);

// --- command_bar.cpp -----------------------------------------------------------
WNDCLASSW CommandBarClass();

}  // namespace platform::user
