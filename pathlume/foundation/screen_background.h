// The screens' shared background: the pattern brush the dialogs give their buttons
// and the screen background colour, both of the current colour mode (g_colorMode).
#pragma once

#include "platform/gdi/gdi.h"

// The background pattern brush of the current colour mode (bitmap 155 at night, 154
// by day; a plain black or white brush when the bitmap is missing). Made on first
// use, kept until the colour mode changes.
HBRUSH GetBackgroundBrush();
// Drops the brush, so that the next GetBackgroundBrush makes it for the colour mode
// now set.
void ResetBackgroundBrush();

// The screen background colour of the current colour mode. The map theme knows it:
// the shell installs where it comes from; without a source it is white by day and
// black at night.
COLORREF GetBackgroundColor();
using BackgroundColorSource = COLORREF (*)();
void SetBackgroundColorSource(BackgroundColorSource source);
