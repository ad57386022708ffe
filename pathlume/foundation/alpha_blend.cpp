#include "pathlume/foundation/alpha_blend.h"

namespace {

bool ReadBitmap(HBITMAP bitmap, BITMAP* record) {
    return bitmap != nullptr && GetObjectW(bitmap, sizeof(BITMAP), record) == sizeof(BITMAP);
}

// The checks both blends make; fills the three records.
bool CheckBlend(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity, BITMAP* s,
                BITMAP* d, BITMAP* r) {
    if (opacity > 255) {
        return false;
    }
    if (!ReadBitmap(source, s) || !ReadBitmap(destination, d) || !ReadBitmap(result, r)) {
        return false;
    }
    if (!SameBitmapGeometry(*s, *d) || !SameBitmapGeometry(*s, *r)) {
        return false;
    }
    if (s->bmBitsPixel != 24 || s->bmPlanes != 1) {
        return false;
    }
    return s->bmBits != nullptr && d->bmBits != nullptr && r->bmBits != nullptr;
}

template <bool Keyed>
int Blend(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity, const BYTE* key) {
    BITMAP s{};
    BITMAP d{};
    BITMAP r{};
    if (!CheckBlend(source, destination, result, opacity, &s, &d, &r)) {
        return 0;
    }
    const UINT inverse = 255 - opacity;
    const int rowBytes = r.bmWidth * 3;
    for (int row = 0; row < r.bmHeight; ++row) {
        const BYTE* sp =
            static_cast<const BYTE*>(s.bmBits) + static_cast<ptrdiff_t>(row) * s.bmWidthBytes;
        const BYTE* dp =
            static_cast<const BYTE*>(d.bmBits) + static_cast<ptrdiff_t>(row) * d.bmWidthBytes;
        BYTE* rp = static_cast<BYTE*>(r.bmBits) + static_cast<ptrdiff_t>(row) * r.bmWidthBytes;
        for (int i = 0; i < rowBytes; i += 3) {
            if constexpr (Keyed) {
                if (sp[i] == key[0] && sp[i + 1] == key[1] && sp[i + 2] == key[2]) {
                    rp[i] = dp[i];
                    rp[i + 1] = dp[i + 1];
                    rp[i + 2] = dp[i + 2];
                    continue;
                }
            }
            for (int c = 0; c < 3; ++c) {
                rp[i + c] = static_cast<BYTE>((sp[i + c] * opacity + dp[i + c] * inverse) >> 8);
            }
        }
    }
    return 1;
}

}  // namespace

HBITMAP CreateDib24(HDC dc, int width, int height) {
    if (width <= 0 || height <= 0) {
        return nullptr;
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

int SameBitmapGeometry(const BITMAP& a, const BITMAP& b) {
    return a.bmBitsPixel == b.bmBitsPixel && a.bmPlanes == b.bmPlanes && a.bmWidth == b.bmWidth &&
                   a.bmHeight == b.bmHeight
               ? 1
               : 0;
}

int BlendDibs(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity) {
    return Blend<false>(source, destination, result, opacity, nullptr);
}

int BlendDibsKeyed(HBITMAP source, HBITMAP destination, HBITMAP result, UINT opacity,
                   const BYTE* key) {
    if (key == nullptr) {
        return 0;
    }
    return Blend<true>(source, destination, result, opacity, key);
}

int AlphaBlendRect(HDC destination, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, int, int, UINT opacity, const BYTE* key) {
    HBITMAP bitmaps[3] = {CreateDib24(destination, width, height),
                          CreateDib24(destination, width, height),
                          CreateDib24(destination, width, height)};
    HDC dcs[3] = {CreateCompatibleDC(destination), CreateCompatibleDC(destination),
                  CreateCompatibleDC(destination)};
    HGDIOBJ previous[3] = {};
    bool ready = true;
    for (int i = 0; i < 3; ++i) {
        ready = ready && bitmaps[i] && dcs[i];
    }
    int blended = 0;
    if (ready) {
        for (int i = 0; i < 3; ++i) {
            previous[i] = SelectObject(dcs[i], bitmaps[i]);
        }
        enum { kSource, kDestination, kResult };
        BitBlt(dcs[kSource], 0, 0, width, height, source, sourceX, sourceY, SRCCOPY);
        BitBlt(dcs[kDestination], 0, 0, width, height, destination, x, y, SRCCOPY);
        blended =
            key ? BlendDibsKeyed(bitmaps[kSource], bitmaps[kDestination], bitmaps[kResult], opacity,
                                 key)
                : BlendDibs(bitmaps[kSource], bitmaps[kDestination], bitmaps[kResult], opacity);
        if (blended) {
            BitBlt(destination, x, y, width, height, dcs[kResult], 0, 0, SRCCOPY);
        }
        for (int i = 0; i < 3; ++i) {
            SelectObject(dcs[i], previous[i]);
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (dcs[i]) {
            DeleteDC(dcs[i]);
        }
        if (bitmaps[i]) {
            DeleteObject(bitmaps[i]);
        }
    }
    return blended;
}
