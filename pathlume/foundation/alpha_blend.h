// Blending a source rectangle over a destination with a constant opacity, by hand:
// the handheld's drawing offers no alpha blending of bitmaps.
#pragma once

#include "platform/gdi/gdi.h"

// A bottom-up 24-bit DIB section (bytes blue, green, red) for the DC, or null.
HBITMAP CreateDib24(HDC dc, int width, int height);
// 1 when bits per pixel, planes, width and height agree.
int SameBitmapGeometry(const BITMAP& a, const BITMAP& b);
// result = (source x opacity + destination x (255 - opacity)) >> 8 per byte; 1 on
// success, 0 when the opacity is above 255 or the bitmaps do not fit together.
int BlendDibs(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity);
// The same, but where the source pixel equals the key (blue, green, red) the result
// takes the destination pixel unchanged.
int BlendDibsKeyed(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity,
                   const BYTE* key);
// Mixes the source rectangle over the destination's; 1 when done, 0 otherwise (the
// destination is then untouched). The two values after the source point are ignored.
int AlphaBlendRect(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, int unusedWidth, int unusedHeight, UINT opacity, const BYTE* key);
