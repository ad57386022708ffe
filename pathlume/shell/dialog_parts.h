// Pieces the program's own dialogs share: the full-screen template and its picture.
#pragma once

#include "platform/afx/afx.h"
#include "platform/user/dialogs.h"

// A borderless dialog of the given size in dialog units (shown full screen).
platform::DialogTemplate FullScreenDialogTemplate(short cx, short cy);
// A static control that shows a bitmap, at x, y with the size cx, cy (dialog units).
platform::DialogItemTemplate PictureItem(WORD id, short x, short y, short cx, short cy);
// Puts the program's bitmap into the dialog's picture control, when it has one.
void ShowPicture(CDialog& dialog, UINT controlId, UINT bitmapId);
