// Block transfers: raster operations, stretching, colour keys and blending.
#include <gtest/gtest.h>

#include <functional>

#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/surface.h"

namespace {

using gdi_testing::kBlack;
using gdi_testing::kBlue;
using gdi_testing::kRed;
using gdi_testing::kWhite;
using gdi_testing::Selected;
using gdi_testing::Surface;

TEST(Blit, SourceCopyIsExactAndLeavesWhatLiesOutsideTheSource) {
    Surface source(4, 4, RGB(0x12, 0x34, 0x56));
    SetPixel(source.dc(), 0, 0, kRed);
    Surface dest(10, 10);
    EXPECT_TRUE(BitBlt(dest.dc(), 1, 1, 4, 4, source.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(dest.At(1, 1), kRed);
    EXPECT_EQ(dest.Count(RGB(0x12, 0x34, 0x56)), 15);
    EXPECT_EQ(dest.At(5, 5), kWhite);

    // Only the part of the request that the source covers is copied.
    dest.Fill(kWhite);
    EXPECT_TRUE(BitBlt(dest.dc(), 0, 0, 10, 10, source.dc(), -2, -1, SRCCOPY));
    EXPECT_EQ(dest.Count(kWhite), 100 - 16);
    EXPECT_EQ(dest.At(2, 1), kRed);
    EXPECT_EQ(dest.At(1, 1), kWhite);
}

TEST(Blit, RasterOperationsCombinePatternSourceAndDestination) {
    const uint8_t s = 0xC5, d = 0x3A, p = 0x96;
    struct Case {
        const char* name;
        DWORD rop;
        std::function<uint8_t(uint8_t, uint8_t, uint8_t)> expect;  // (p, s, d)
    };
    const Case cases[] = {
        {"SRCCOPY", SRCCOPY, [](uint8_t, uint8_t s, uint8_t) { return s; }},
        {"SRCPAINT", SRCPAINT, [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(s | d); }},
        {"SRCAND", SRCAND, [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(s & d); }},
        {"SRCINVERT", SRCINVERT, [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(s ^ d); }},
        {"SRCERASE", SRCERASE, [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(s & ~d); }},
        {"NOTSRCCOPY", NOTSRCCOPY, [](uint8_t, uint8_t s, uint8_t) { return uint8_t(~s); }},
        {"NOTSRCERASE", NOTSRCERASE,
         [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(~(s | d)); }},
        {"MERGECOPY", MERGECOPY, [](uint8_t p, uint8_t s, uint8_t) { return uint8_t(p & s); }},
        {"MERGEPAINT", MERGEPAINT, [](uint8_t, uint8_t s, uint8_t d) { return uint8_t(~s | d); }},
        {"PATCOPY", PATCOPY, [](uint8_t p, uint8_t, uint8_t) { return p; }},
        {"PATPAINT", PATPAINT, [](uint8_t p, uint8_t s, uint8_t d) { return uint8_t(p | ~s | d); }},
        {"PATINVERT", PATINVERT, [](uint8_t p, uint8_t, uint8_t d) { return uint8_t(p ^ d); }},
        {"DSTINVERT", DSTINVERT, [](uint8_t, uint8_t, uint8_t d) { return uint8_t(~d); }},
        {"BLACKNESS", BLACKNESS, [](uint8_t, uint8_t, uint8_t) { return uint8_t(0); }},
        {"WHITENESS", WHITENESS, [](uint8_t, uint8_t, uint8_t) { return uint8_t(0xFF); }},
    };
    Surface source(3, 3, RGB(s, s, s));
    for (const Case& c : cases) {
        Surface dest(3, 3, RGB(d, d, d));
        Selected brush(dest.dc(), CreateSolidBrush(RGB(p, p, p)));
        EXPECT_TRUE(BitBlt(dest.dc(), 0, 0, 3, 3, source.dc(), 0, 0, c.rop)) << c.name;
        const uint8_t v = c.expect(p, s, d);
        EXPECT_EQ(dest.At(1, 1), RGB(v, v, v)) << c.name;
    }
    // Operations without a source need none.
    Surface dest(3, 3);
    EXPECT_TRUE(BitBlt(dest.dc(), 0, 0, 3, 3, nullptr, 0, 0, BLACKNESS));
    EXPECT_EQ(dest.Count(kBlack), 9);
    EXPECT_FALSE(BitBlt(dest.dc(), 0, 0, 3, 3, nullptr, 0, 0, SRCCOPY));
}

TEST(Blit, OverlappingCopyWithinOneBitmapSeesTheOriginalPixels) {
    Surface s(8, 1);
    for (int x = 0; x < 8; ++x) {
        SetPixel(s.dc(), x, 0, RGB(x, 0, 0));
    }
    BitBlt(s.dc(), 1, 0, 7, 1, s.dc(), 0, 0, SRCCOPY);
    for (int x = 1; x < 8; ++x) {
        EXPECT_EQ(s.At(x, 0), RGB(x - 1, 0, 0));
    }
    BitBlt(s.dc(), 0, 0, 7, 1, s.dc(), 1, 0, SRCCOPY);
    for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(s.At(x, 0), RGB(x, 0, 0));
    }
}

TEST(Blit, StretchBltRepeatsOrMirrorsWholePixels) {
    Surface source(2, 2);
    SetPixel(source.dc(), 0, 0, kRed);
    SetPixel(source.dc(), 1, 0, kBlue);
    SetPixel(source.dc(), 0, 1, kBlack);
    Surface dest(4, 4);
    EXPECT_TRUE(StretchBlt(dest.dc(), 0, 0, 4, 4, source.dc(), 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dest.Count(kRed, RECT{0, 0, 2, 2}), 4);
    EXPECT_EQ(dest.Count(kBlue, RECT{2, 0, 4, 2}), 4);
    EXPECT_EQ(dest.Count(kBlack, RECT{0, 2, 2, 4}), 4);
    EXPECT_EQ(dest.Count(kWhite, RECT{2, 2, 4, 4}), 4);

    // A negative width mirrors.
    EXPECT_TRUE(StretchBlt(dest.dc(), 3, 0, -4, 4, source.dc(), 0, 0, 2, 2, SRCCOPY));
    EXPECT_EQ(dest.Count(kBlue, RECT{0, 0, 2, 2}), 4) << dest.Picture(kBlue);
    EXPECT_EQ(dest.Count(kRed, RECT{2, 0, 4, 2}), 4);

    // Shrinking takes one pixel of each block.
    Surface small(1, 1);
    StretchBlt(small.dc(), 0, 0, 1, 1, dest.dc(), 0, 0, 4, 4, SRCCOPY);
    EXPECT_NE(small.At(0, 0), CLR_INVALID);
}

TEST(Blit, TransparentImageLeavesTheKeyColourOutWhileScaling) {
    Surface source(3, 2, kWhite);
    SetPixel(source.dc(), 1, 0, kRed);
    SetPixel(source.dc(), 2, 1, kBlue);
    Surface dest(6, 4, RGB(0, 128, 0));

    // From the DC and from the bitmap handle alike, doubled.
    for (int from = 0; from < 2; ++from) {
        dest.Fill(RGB(0, 128, 0));
        HANDLE handle =
            from == 0 ? static_cast<HANDLE>(source.dc()) : static_cast<HANDLE>(source.bitmap());
        EXPECT_TRUE(TransparentImage(dest.dc(), 0, 0, 6, 4, handle, 0, 0, 3, 2, kWhite));
        EXPECT_EQ(dest.Count(kWhite), 0);
        EXPECT_EQ(dest.Count(kRed, RECT{2, 0, 4, 2}), 4);
        EXPECT_EQ(dest.Count(kBlue, RECT{4, 2, 6, 4}), 4);
        EXPECT_EQ(dest.Count(RGB(0, 128, 0)), 24 - 8);
    }
    EXPECT_FALSE(TransparentImage(dest.dc(), 0, 0, 6, 4, nullptr, 0, 0, 3, 2, kWhite));
    EXPECT_FALSE(TransparentImage(dest.dc(), 0, 0, -6, 4, source.dc(), 0, 0, 3, 2, kWhite));
}

TEST(Blit, AlphaBlendMixesEachByteWithTheConstantOpacity) {
    struct Case {
        BYTE alpha;
        BYTE source;
        BYTE dest;
        BYTE expect;  // (source x alpha + dest x (255 - alpha)) / 255, rounded
    };
    const Case cases[] = {{0, 200, 100, 100},  {255, 200, 100, 200}, {128, 255, 0, 128},
                          {64, 200, 100, 125}, {128, 0, 255, 127},   {1, 255, 0, 1},
                          {254, 0, 255, 1},    {200, 17, 230, 63}};
    for (const Case& c : cases) {
        Surface source(2, 2, RGB(c.source, c.source / 2, 255 - c.source));
        Surface dest(2, 2, RGB(c.dest, c.dest / 2, 255 - c.dest));
        const BLENDFUNCTION blend{AC_SRC_OVER, 0, c.alpha, 0};
        ASSERT_TRUE(AlphaBlend(dest.dc(), 0, 0, 2, 2, source.dc(), 0, 0, 2, 2, blend));
        auto mix = [&](int s, int d) {
            return static_cast<BYTE>((s * c.alpha + d * (255 - c.alpha) + 127) / 255);
        };
        EXPECT_EQ(GetRValue(dest.At(1, 1)), c.expect) << int(c.alpha);
        EXPECT_EQ(GetGValue(dest.At(1, 1)), mix(c.source / 2, c.dest / 2));
        EXPECT_EQ(GetBValue(dest.At(1, 1)), mix(255 - c.source, 255 - c.dest));
    }
}

TEST(Blit, AlphaBlendRefusesWhatItCannotDoAndLeavesTheDestination) {
    Surface source(4, 4, kRed);
    Surface dest(4, 4);
    const BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 4, 4, source.dc(), 1, 0, 4, 4, half));
    EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 4, 4, source.dc(), -1, 0, 4, 4, half));
    const BLENDFUNCTION perPixel{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    EXPECT_FALSE(AlphaBlend(dest.dc(), 0, 0, 4, 4, source.dc(), 0, 0, 4, 4, perPixel));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(dest.Count(kWhite), 16);
    // Stretched blending is allowed.
    EXPECT_TRUE(AlphaBlend(dest.dc(), 0, 0, 4, 4, source.dc(), 0, 0, 2, 2, half));
    EXPECT_EQ(dest.Count(RGB(255, 127, 127)), 16);
}

}  // namespace
