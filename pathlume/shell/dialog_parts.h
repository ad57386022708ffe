// Pieces the program's own dialogs share: the full-screen template and its picture.
#pragma once

#include <span>

#include "platform/afx/afx.h"
#include "platform/user/dialogs.h"

// QVGA pixels in dialog units of the program's templates (Tahoma 8: a unit is 1.5
// pixels each way at 96 dpi, and the units scale with the screen).
constexpr short DialogUnits(int pixels) {
    return static_cast<short>(pixels * 2 / 3);
}

// A borderless dialog of the given size in dialog units (shown full screen).
platform::DialogTemplate FullScreenDialogTemplate(short cx, short cy);
// A static control that shows a bitmap, at x, y with the size cx, cy (dialog units).
platform::DialogItemTemplate PictureItem(WORD id, short x, short y, short cx, short cy);
// One control of a full-screen template, at QVGA pixels (the template holds dialog
// units): an owner-drawn button (an image or map button), or a label the dialog
// draws itself from its text and place (hidden, so that it does not paint over the
// dialog's picture), or another control class.
struct ScreenItem {
    enum Kind { kButton, kLabel, kGroupFrame, kTrackbar, kCheckBox, kNumberField };
    WORD id;
    const char16_t* text;
    int x, y, cx, cy;
    Kind kind = kButton;
};
// Registers the full-screen template (240 x 320 QVGA pixels) of the items.
void RegisterScreenTemplate(UINT id, const char16_t* caption, std::span<const ScreenItem> items);
// Puts each control of the dialog at its item's place, scaled to the screen (dialog
// units follow the dialog font's measure, which varies with the font installed).
void PlaceScreenItems(CDialog& dialog, std::span<const ScreenItem> items);
// Puts the program's bitmap into the dialog's picture control, when it has one.
void ShowPicture(CDialog& dialog, UINT controlId, UINT bitmapId);
