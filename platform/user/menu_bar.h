// A top-level window's menu bar: drawn across the window under its caption, above the
// client area, which is SM_CYMENU shorter with it (the window keeps its size). A tap
// on an entry opens its popup; the item chosen comes to the window as WM_COMMAND. A
// window's menu is destroyed with the window; SetMenu with another menu (or null)
// gives the previous one back to the caller. Child windows have no menu bar.
#pragma once

#include "platform/user/user.h"

// The height of a window's menu bar.
#define SM_CYMENU 15
// A press on a window's menu bar reaches it as WM_NCLBUTTONDOWN with wParam HTMENU
// and the screen point in lParam; DefWindowProcW opens the entry's popup there.
#define HTMENU 5

BOOL SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
// Draws the bar again after its menu changed.
BOOL DrawMenuBar(HWND hwnd);
