#include "pathlume/foundation/bitmap_image.h"

#include "pathlume/foundation/alpha_blend.h"
#include "pathlume/foundation/screen_draw.h"

DWORD CBitmapImage::Release() {
    DWORD previous = flags;
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    flags &= ~kFlagSizeKnown;
    return previous;
}

void CBitmapImage::ReadSize() {
    BITMAP record{};
    if (bitmap == nullptr || GetObjectW(bitmap, sizeof(record), &record) != sizeof(record)) {
        return;
    }
    width = record.bmWidth;
    height = record.bmHeight;
    flags |= kFlagSizeKnown;
}

int CBitmapImage::LoadFromResource(UINT id, HINSTANCE instance) {
    if (bitmap != nullptr) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    bitmap = LoadBitmapW(instance ? instance : AfxGetResourceHandle(), MAKEINTRESOURCEW(id));
    if (bitmap == nullptr) {
        return 1;
    }
    ReadSize();
    return 0;
}

void CBitmapImage::SetTransparentColor(COLORREF colour) {
    keyColour = colour;
    flags |= kFlagTransparent;
}

void CBitmapImage::SetAlpha(UINT value) {
    opacity = value;
    flags |= kFlagBlend;
}

void CBitmapImage::Draw(HDC destination, int x, int y, int sourceX, int sourceY, int drawWidth,
                        int drawHeight) {
    if (bitmap == nullptr) {
        return;
    }
    const int w = drawWidth ? drawWidth : width;
    const int h = drawHeight ? drawHeight : height;

    HBITMAP turned = nullptr;
    if (angle != 0.0f) {
        HDC from = CreateCompatibleDC(destination);
        HDC to = CreateCompatibleDC(destination);
        turned = CreateCompatibleBitmap(destination, width, height);
        RotateBitmap(from, width, height, bitmap, to, turned, angle);
        DeleteDC(from);
        DeleteDC(to);
    }
    HBITMAP source = turned ? turned : bitmap;

    if (!(flags & kFlagBlend) && (flags & kFlagTransparent)) {
        TransparentImage(destination, x, y, w, h, source, sourceX, sourceY, w, h, keyColour);
    } else {
        HDC memory = CreateCompatibleDC(destination);
        HGDIOBJ previous = SelectObject(memory, source);
        if (flags & kFlagBlend) {
            // Pixel order of a 24-bit DIB: blue, green, red.
            const BYTE key[3] = {GetBValue(keyColour), GetGValue(keyColour), GetRValue(keyColour)};
            AlphaBlendRect(destination, x, y, width, height, memory, sourceX, sourceY, w, h,
                           opacity, (flags & kFlagTransparent) ? key : nullptr);
        } else {
            BitBlt(destination, x, y, w, h, memory, sourceX, sourceY, SRCCOPY);
        }
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    if (turned != nullptr) {
        DeleteObject(turned);
    }
}
