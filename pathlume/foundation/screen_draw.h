// Painting shared by every screen: the background bitmap, the title bar, lines of
// text that shrink until they fit, the icon column, and the rotation of small
// bitmaps.
#pragma once

#include "platform/afx/afx.h"

// The program's fonts, made by the settings loader with CreateScaledFont (all
// "Tahoma"). They live until the process ends and are never destroyed at exit.
extern CFont& g_fontBold21;
extern CFont& g_fontBold18;
extern CFont& g_fontBold14;
extern CFont& g_fontRegular14;
extern CFont& g_fontBold12;
extern CFont& g_fontRegular12;

// Bitmap resources of the screens.
inline constexpr UINT kBitmapBackgroundPortrait = 147;
inline constexpr UINT kBitmapBackgroundPlain = 148;
inline constexpr UINT kBitmapBackgroundLandscape = 149;
inline constexpr UINT kBitmapTitleBar = 161;

// Copies the background bitmap (id, or 0 for the standard one of the screen's
// orientation) to the top left of the screen. Every caller passes white.
void PaintScreenBackground(HDC dc, UINT bitmapId, COLORREF colour);
// The title strip across the window's top with the title (or the window's text)
// centred on it, white on a dark strip and black on a light one.
void DrawTitleBar(HDC dc, HWND window, LPCWSTR title);
// Draws the text at (x, y) in the largest of g_fontBold21, g_fontBold14 and
// g_fontBold12 that fits the width (g_fontBold12 when none does), centred in the
// height and, with centre, in the width. Returns the font selected before.
HGDIOBJ DrawFittedLine(LPCWSTR text, HDC dc, int x, int y, int width, int height, BOOL centre,
                       BOOL erase);
// One icon of a column of count icons rowHeight apart; the row is the index unless
// given (0xFFFFFFFF = use the index). Returns the column's top margin; with a null
// dc it only computes that.
int DrawScaledIcon(int index, HDC dc, const HICON* icons, int count, int rowHeight, UINT row);
// A polygon filled with one colour and outlined 1 pixel wide with another.
void DrawFilledPolygon(HDC dc, const POINT* points, int count, COLORREF outline, COLORREF fill);
// Turns the first line feed into a blank, so that a text of two lines shows as one.
void ReplaceMarkerWithSpace(LPWSTR text);
// Writes the source bitmap, turned by angle radians about its centre, into the
// destination bitmap of the same size; in a 3D map squeezed to half its height.
void RotateBitmap(HDC source, int width, int height, HBITMAP sourceBitmap, HDC destination,
                  HBITMAP destinationBitmap, float angle);
