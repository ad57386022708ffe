// The hand-made blend of screen rectangles, checked byte for byte.
#include <gtest/gtest.h>

#include <cstring>

#include "pathlume/foundation/alpha_blend.h"

namespace {

// A 24-bit DIB of one colour per pixel, written through its bits.
struct Dib {
    HBITMAP bitmap = nullptr;
    BITMAP record{};

    Dib(int width, int height) {
        bitmap = CreateDib24(nullptr, width, height);
        if (bitmap) {
            GetObjectW(bitmap, sizeof(record), &record);
        }
    }
    ~Dib() {
        if (bitmap) {
            DeleteObject(bitmap);
        }
    }
    BYTE* Pixel(int x, int row) {
        return static_cast<BYTE*>(record.bmBits) + row * record.bmWidthBytes + x * 3;
    }
    void Fill(BYTE blue, BYTE green, BYTE red) {
        for (int row = 0; row < record.bmHeight; ++row) {
            for (int x = 0; x < record.bmWidth; ++x) {
                BYTE* p = Pixel(x, row);
                p[0] = blue;
                p[1] = green;
                p[2] = red;
            }
        }
    }
};

// A memory DC with a bitmap of one colour.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;

    Surface(int width, int height, COLORREF colour) {
        dc = CreateCompatibleDC(nullptr);
        bitmap = CreateCompatibleBitmap(dc, width, height);
        previous = SelectObject(dc, bitmap);
        RECT all{0, 0, width, height};
        HBRUSH brush = CreateSolidBrush(colour);
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Surface() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

TEST(CreateDib24, IsBottomUpTwentyFourBitWithPaddedRows) {
    Dib dib(5, 3);
    ASSERT_NE(dib.bitmap, nullptr);
    EXPECT_EQ(dib.record.bmWidth, 5);
    EXPECT_EQ(dib.record.bmHeight, 3);
    EXPECT_EQ(dib.record.bmBitsPixel, 24);
    EXPECT_EQ(dib.record.bmPlanes, 1);
    EXPECT_EQ(dib.record.bmWidthBytes, 16);  // 15 bytes rounded up to 4
    EXPECT_NE(dib.record.bmBits, nullptr);
    EXPECT_EQ(CreateDib24(nullptr, 0, 3), nullptr);
    EXPECT_EQ(CreateDib24(nullptr, 3, -1), nullptr);
}

TEST(BlendDibs, MixesEveryByteAndShiftsByEight) {
    struct Case {
        UINT opacity;
        BYTE source;
        BYTE destination;
        BYTE expected;
    };
    const Case cases[] = {
        {0, 200, 100, 99},  // 100 x 255 >> 8: the destination, up to the shift
        {0, 0, 255, 254},     {255, 255, 0, 254},  // never quite the full source
        {255, 200, 100, 199},                      // (200 x 255 + 100 x 0) >> 8
        {128, 200, 100, 149},                      // (25600 + 12700) >> 8
        {64, 0, 255, 190},                         // 255 x 191 >> 8
        {1, 255, 255, 254},
    };
    for (const Case& c : cases) {
        Dib s(3, 2), d(3, 2), r(3, 2);
        s.Fill(c.source, c.source, c.source);
        d.Fill(c.destination, c.destination, c.destination);
        r.Fill(7, 7, 7);
        r.Pixel(3, 0)[0] = 7;  // the row's padding byte
        ASSERT_EQ(BlendDibs(s.bitmap, d.bitmap, r.bitmap, c.opacity), 1);
        for (int row = 0; row < 2; ++row) {
            for (int x = 0; x < 3; ++x) {
                for (int b = 0; b < 3; ++b) {
                    EXPECT_EQ(r.Pixel(x, row)[b], c.expected)
                        << "opacity " << c.opacity << " s " << int(c.source) << " d "
                        << int(c.destination);
                }
            }
        }
        // The padding after each row is not touched.
        EXPECT_EQ(r.Pixel(3, 0)[0], 7);
    }
}

TEST(BlendDibs, RefusesBadOpacityAndMismatchedBitmaps) {
    Dib s(4, 4), d(4, 4), r(4, 4), narrow(3, 4);
    r.Fill(9, 9, 9);
    EXPECT_EQ(BlendDibs(s.bitmap, d.bitmap, r.bitmap, 256), 0);
    EXPECT_EQ(BlendDibs(s.bitmap, narrow.bitmap, r.bitmap, 10), 0);
    EXPECT_EQ(BlendDibs(s.bitmap, d.bitmap, narrow.bitmap, 10), 0);
    EXPECT_EQ(BlendDibs(s.bitmap, d.bitmap, nullptr, 10), 0);
    const BYTE key[3] = {0, 0, 0};
    EXPECT_EQ(BlendDibsKeyed(s.bitmap, d.bitmap, r.bitmap, 300, key), 0);
    EXPECT_EQ(r.Pixel(0, 0)[0], 9);

    // A 32-bit device bitmap is not what the blend reads.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP device = CreateCompatibleBitmap(dc, 4, 4);
    EXPECT_EQ(BlendDibs(device, device, device, 10), 0);
    DeleteObject(device);
    DeleteDC(dc);

    BITMAP a = s.record;
    BITMAP b = s.record;
    EXPECT_EQ(SameBitmapGeometry(a, b), 1);
    b.bmBitsPixel = 32;
    EXPECT_EQ(SameBitmapGeometry(a, b), 0);
    b = s.record;
    b.bmHeight = 5;
    EXPECT_EQ(SameBitmapGeometry(a, b), 0);
}

TEST(BlendDibsKeyed, KeyPixelsTakeTheDestinationUnchanged) {
    Dib s(2, 1), d(2, 1), r(2, 1);
    // Pixel 0 is the key (blue 10, green 20, red 30); pixel 1 differs in red only.
    BYTE* p = s.Pixel(0, 0);
    p[0] = 10, p[1] = 20, p[2] = 30;
    p = s.Pixel(1, 0);
    p[0] = 10, p[1] = 20, p[2] = 31;
    d.Fill(200, 100, 50);
    const BYTE key[3] = {10, 20, 30};
    ASSERT_EQ(BlendDibsKeyed(s.bitmap, d.bitmap, r.bitmap, 255, key), 1);
    EXPECT_EQ(r.Pixel(0, 0)[0], 200);
    EXPECT_EQ(r.Pixel(0, 0)[1], 100);
    EXPECT_EQ(r.Pixel(0, 0)[2], 50);
    EXPECT_EQ(r.Pixel(1, 0)[0], 9);   // 10 x 255 >> 8
    EXPECT_EQ(r.Pixel(1, 0)[1], 19);  // 20 x 255 >> 8
    EXPECT_EQ(r.Pixel(1, 0)[2], 30);  // 31 x 255 >> 8
}

TEST(AlphaBlendRect, BlendsTheRectangleInPlaceOnExactBytes) {
    Surface destination(8, 6, RGB(100, 100, 100));
    Surface source(8, 6, RGB(200, 0, 250));
    // A marker in the source's top left shows that rows are not turned over.
    SetPixel(source.dc, 2, 1, RGB(0, 0, 0));
    ASSERT_EQ(AlphaBlendRect(destination.dc, 3, 2, 4, 3, source.dc, 2, 1, 99, 99, 128, nullptr), 1);
    // (200 x 128 + 100 x 127) >> 8 = 149; (0 + 12700) >> 8 = 49; (32000 + 12700) >> 8 = 174.
    EXPECT_EQ(GetPixel(destination.dc, 4, 3), RGB(149, 49, 174));
    EXPECT_EQ(GetPixel(destination.dc, 6, 4), RGB(149, 49, 174));
    EXPECT_EQ(GetPixel(destination.dc, 3, 2), RGB(49, 49, 49));  // the marker
    // Outside the rectangle nothing changed.
    EXPECT_EQ(GetPixel(destination.dc, 2, 2), RGB(100, 100, 100));
    EXPECT_EQ(GetPixel(destination.dc, 7, 2), RGB(100, 100, 100));
    EXPECT_EQ(GetPixel(destination.dc, 3, 5), RGB(100, 100, 100));
}

TEST(AlphaBlendRect, OpacityZeroKeepsTheDestinationUpToTheShift) {
    Surface destination(4, 4, RGB(200, 100, 255));
    Surface source(4, 4, RGB(0, 255, 0));
    ASSERT_EQ(AlphaBlendRect(destination.dc, 0, 0, 4, 4, source.dc, 0, 0, 0, 0, 0, nullptr), 1);
    EXPECT_EQ(GetPixel(destination.dc, 1, 1), RGB(199, 99, 254));
}

TEST(AlphaBlendRect, RefusalLeavesTheDestinationUntouched) {
    Surface destination(4, 4, RGB(10, 20, 30));
    Surface source(4, 4, RGB(250, 250, 250));
    EXPECT_EQ(AlphaBlendRect(destination.dc, 0, 0, 4, 4, source.dc, 0, 0, 0, 0, 256, nullptr), 0);
    EXPECT_EQ(AlphaBlendRect(destination.dc, 0, 0, 0, 4, source.dc, 0, 0, 0, 0, 100, nullptr), 0);
    EXPECT_EQ(GetPixel(destination.dc, 0, 0), RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(destination.dc, 3, 3), RGB(10, 20, 30));
}

TEST(AlphaBlendRect, KeyColourLeavesTheDestinationVisible) {
    Surface destination(4, 1, RGB(10, 20, 30));
    Surface source(4, 1, RGB(255, 0, 255));
    SetPixel(source.dc, 1, 0, RGB(0, 0, 200));
    // The key is in pixel order: blue, green, red.
    const BYTE magenta[3] = {255, 0, 255};
    ASSERT_EQ(AlphaBlendRect(destination.dc, 0, 0, 4, 1, source.dc, 0, 0, 0, 0, 255, magenta), 1);
    EXPECT_EQ(GetPixel(destination.dc, 0, 0), RGB(10, 20, 30));
    EXPECT_EQ(GetPixel(destination.dc, 1, 0), RGB(0, 0, 199));
    EXPECT_EQ(GetPixel(destination.dc, 3, 0), RGB(10, 20, 30));
}

}  // namespace
