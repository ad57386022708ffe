// One bitmap with its size and the way it is drawn: copied, with a transparent
// colour, or blended over the background, optionally turned first.
#pragma once

#include "platform/gdi/gdi.h"

class CBitmapImage {
  public:
    static constexpr DWORD kFlagBlend = 0x1;
    static constexpr DWORD kFlagTransparent = 0x2;
    static constexpr DWORD kFlagSizeKnown = 0x4;

    CBitmapImage() = default;
    ~CBitmapImage() { Release(); }
    // The record owns its bitmap: two records never share one.
    CBitmapImage(const CBitmapImage&) = delete;
    CBitmapImage& operator=(const CBitmapImage&) = delete;

    // Deletes the bitmap; returns the flags word as it was.
    DWORD Release();
    void ReadSize();
    // 0 loaded, 1 failed. A null instance means the program's resources.
    int LoadFromResource(UINT id, HINSTANCE instance);
    void SetTransparentColor(COLORREF colour);
    void SetAlpha(UINT opacity);
    // A width or height of 0 means the image's own. A blended image always covers
    // its whole size.
    void Draw(HDC destination, int x, int y, int sourceX, int sourceY, int width, int height);

    HBITMAP bitmap = nullptr;
    LONG height = 0;
    LONG width = 0;
    UINT opacity = 0;
    COLORREF keyColour = 0;
    DWORD flags = 0;
    float angle = 0.0f;  // radians
};
