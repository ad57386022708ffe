// The platform's pixel rules for lines, shapes, fills and pixels.
#include <gtest/gtest.h>

#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/surface.h"

namespace {

using gdi_testing::kBlack;
using gdi_testing::kBlue;
using gdi_testing::kRed;
using gdi_testing::kWhite;
using gdi_testing::Selected;
using gdi_testing::Surface;

TEST(Shapes, FillRectExcludesTheRightAndBottomEdges) {
    Surface s(10, 10);
    HBRUSH red = CreateSolidBrush(kRed);
    const RECT r{2, 3, 6, 7};
    EXPECT_NE(FillRect(s.dc(), &r, red), 0);
    EXPECT_EQ(s.Count(kRed), 4 * 4);
    EXPECT_EQ(s.Count(kRed, r), 4 * 4);
    EXPECT_EQ(s.At(5, 6), kRed);
    EXPECT_EQ(s.At(6, 6), kWhite);
    EXPECT_EQ(s.At(5, 7), kWhite);

    // An inverted rectangle fills nothing; a rectangle past the edges is clipped.
    s.Fill(kWhite);
    const RECT inverted{6, 7, 2, 3};
    FillRect(s.dc(), &inverted, red);
    EXPECT_EQ(s.Count(kRed), 0);
    const RECT beyond{-5, 8, 50, 50};
    FillRect(s.dc(), &beyond, red);
    EXPECT_EQ(s.Count(kRed), 10 * 2);
    DeleteObject(red);
}

TEST(Shapes, RectangleFrameAndFillFollowThePlatformsEdges) {
    Surface s(12, 12);
    Selected brush(s.dc(), CreateSolidBrush(kRed));
    // Black 1-pixel pen (the default): the frame covers left..right-1, top..bottom-1.
    Rectangle(s.dc(), 2, 2, 8, 7);
    EXPECT_EQ(s.At(2, 2), kBlack);
    EXPECT_EQ(s.At(7, 2), kBlack);
    EXPECT_EQ(s.At(7, 6), kBlack);
    EXPECT_EQ(s.At(2, 6), kBlack);
    EXPECT_EQ(s.At(8, 4), kWhite);
    EXPECT_EQ(s.At(4, 7), kWhite);
    EXPECT_EQ(s.Count(kBlack), 2 * 6 + 2 * 3) << s.Picture(kBlack);
    EXPECT_EQ(s.Count(kRed), 4 * 3);
    EXPECT_EQ(s.Count(kRed, RECT{3, 3, 7, 6}), 4 * 3);

    // With the null pen the filled area is one pixel smaller still.
    s.Fill(kWhite);
    SelectObject(s.dc(), GetStockObject(NULL_PEN));
    Rectangle(s.dc(), 2, 2, 8, 7);
    EXPECT_EQ(s.Count(kRed), 5 * 4) << s.Picture(kRed);
    EXPECT_EQ(s.Count(kRed, RECT{2, 2, 7, 6}), 5 * 4);
    SelectObject(s.dc(), GetStockObject(BLACK_PEN));
}

TEST(Shapes, PolygonFillsAlternatelyWithinItsEdges) {
    Surface s(24, 24);
    Selected brush(s.dc(), CreateSolidBrush(kRed));
    SelectObject(s.dc(), GetStockObject(NULL_PEN));

    // A square fills its left and top edges, not its right and bottom ones.
    const POINT square[] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
    Polygon(s.dc(), square, 4);
    EXPECT_EQ(s.Count(kRed), 10 * 10);
    EXPECT_EQ(s.Count(kRed, RECT{2, 2, 12, 12}), 10 * 10);

    // A five-pointed star drawn in one stroke crosses itself: its centre is enclosed
    // twice and stays empty under the alternate rule; the points are filled.
    s.Fill(kWhite);
    const POINT star[] = {{12, 1}, {19, 22}, {1, 9}, {23, 9}, {5, 22}};
    Polygon(s.dc(), star, 5);
    EXPECT_EQ(s.At(12, 13), kWhite) << s.Picture(kRed);
    EXPECT_EQ(s.At(12, 5), kRed);   // top point
    EXPECT_EQ(s.At(4, 10), kRed);   // left point
    EXPECT_EQ(s.At(20, 10), kRed);  // right point

    // With a pen the outline passes through every vertex, including the right and
    // bottom ones.
    s.Fill(kWhite);
    SelectObject(s.dc(), GetStockObject(BLACK_PEN));
    Polygon(s.dc(), square, 4);
    EXPECT_EQ(s.At(12, 12), kBlack);
    EXPECT_EQ(s.At(12, 5), kBlack);
    EXPECT_EQ(s.Count(kRed), 9 * 9);
}

TEST(Shapes, PenWidthsCoverThatManyRowsAndOnePixelLinesSkipTheirEnd) {
    struct Case {
        int width;
        int firstRow;
        int rows;
    };
    // Wide lines are centred on the path; an even width leans up.
    const Case cases[] = {{0, 10, 1}, {1, 10, 1}, {2, 9, 2}, {3, 9, 3}, {5, 8, 5}};
    for (const Case& c : cases) {
        Surface s(30, 20);
        Selected pen(s.dc(), CreatePen(PS_SOLID, c.width, kBlack));
        MoveToEx(s.dc(), 3, 10, nullptr);
        LineTo(s.dc(), 25, 10);
        int rows = 0, first = -1;
        for (int y = 0; y < 20; ++y) {
            if (s.At(12, y) == kBlack) {
                first = first < 0 ? y : first;
                ++rows;
            }
        }
        EXPECT_EQ(rows, c.rows) << "width " << c.width << "\n" << s.Picture(kBlack);
        EXPECT_EQ(first, c.firstRow) << "width " << c.width;
        if (c.width <= 1) {
            EXPECT_EQ(s.At(3, 10), kBlack);
            EXPECT_EQ(s.At(24, 10), kBlack);
            EXPECT_EQ(s.At(25, 10), kWhite);
            EXPECT_EQ(s.Count(kBlack), 22);
        }
    }
}

TEST(Shapes, PolylineJoinsSegmentsAndMovesNoCurrentPosition) {
    Surface s(20, 20);
    const POINT corner[] = {{2, 2}, {10, 2}, {10, 10}};
    EXPECT_TRUE(Polyline(s.dc(), corner, 3));
    EXPECT_EQ(s.Count(kBlack), 8 + 8);  // the last point is left out
    EXPECT_EQ(s.At(10, 2), kBlack);
    EXPECT_EQ(s.At(10, 10), kWhite);
    EXPECT_FALSE(Polyline(s.dc(), corner, 1));

    // A diagonal has one pixel per column.
    s.Fill(kWhite);
    MoveToEx(s.dc(), 0, 0, nullptr);
    LineTo(s.dc(), 10, 5);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(s.Count(kBlack, RECT{x, 0, x + 1, 20}), 1) << "column " << x;
    }
    POINT position{};
    MoveToEx(s.dc(), 0, 0, &position);
    EXPECT_EQ(position.x, 10);
    EXPECT_EQ(position.y, 5);
}

TEST(Shapes, DashedPenLeavesOrFillsItsGapsByBackgroundMode) {
    Surface s(60, 4);
    Selected pen(s.dc(), CreatePen(PS_DASH, 1, kBlack));
    SetBkColor(s.dc(), kRed);
    SetBkMode(s.dc(), TRANSPARENT);
    MoveToEx(s.dc(), 0, 1, nullptr);
    LineTo(s.dc(), 60, 1);
    const int drawn = s.Count(kBlack);
    EXPECT_GT(drawn, 0);
    EXPECT_LT(drawn, 60);
    EXPECT_EQ(s.Count(kRed), 0);
    EXPECT_EQ(s.At(0, 1), kBlack);

    s.Fill(kWhite);
    SetBkMode(s.dc(), OPAQUE);
    MoveToEx(s.dc(), 0, 1, nullptr);
    LineTo(s.dc(), 60, 1);
    EXPECT_EQ(s.Count(kBlack), drawn);
    EXPECT_EQ(s.Count(kRed), 60 - drawn);
}

// Ends far off the bitmap, anywhere in the int range: the visible part is drawn, at
// once, and a dash runs on over the part that is cut off.
TEST(Shapes, OnePixelLinesFromFarOffDrawTheirVisiblePart) {
    Surface s(40, 20);
    const POINT across[] = {{INT32_MIN, 5}, {INT32_MAX, 5}};
    EXPECT_TRUE(Polyline(s.dc(), across, 2));
    EXPECT_EQ(s.Count(kBlack), 40);
    EXPECT_EQ(s.Count(kBlack, RECT{0, 5, 40, 6}), 40);

    s.Fill(kWhite);
    const POINT diagonal[] = {{-1000000000, -1000000000}, {1000000000, 1000000000}};
    EXPECT_TRUE(Polyline(s.dc(), diagonal, 2));
    EXPECT_EQ(s.Count(kBlack), 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(s.At(i, i), kBlack) << i;

    s.Fill(kWhite);
    const POINT outside[] = {{INT32_MIN, -50}, {INT32_MAX, -50}, {INT32_MAX, INT32_MIN}};
    EXPECT_TRUE(Polyline(s.dc(), outside, 3));
    EXPECT_EQ(s.Count(kBlack), 0);

    // 18 pixels on, 6 off, counted from the far start.
    s.Fill(kWhite);
    Selected pen(s.dc(), CreatePen(PS_DASH, 1, kBlack));
    const POINT dashed[] = {{-5000, 3}, {40, 3}};
    EXPECT_TRUE(Polyline(s.dc(), dashed, 2));
    for (int x = 0; x < 40; ++x)
        EXPECT_EQ(s.At(x, 3), (x + 5000) % 24 < 18 ? kBlack : kWhite) << x;
}

TEST(Shapes, RasterModesCombinePenAndBrushWithTheDestination) {
    Surface s(16, 16, RGB(0x12, 0x34, 0x56));
    Selected pen(s.dc(), CreatePen(PS_SOLID, 1, RGB(0xF0, 0x0F, 0xFF)));
    SetROP2(s.dc(), R2_XORPEN);
    MoveToEx(s.dc(), 1, 1, nullptr);
    LineTo(s.dc(), 10, 1);
    EXPECT_EQ(s.At(5, 1), RGB(0x12 ^ 0xF0, 0x34 ^ 0x0F, 0x56 ^ 0xFF));
    // Drawing the same line again gives the background back.
    MoveToEx(s.dc(), 1, 1, nullptr);
    LineTo(s.dc(), 10, 1);
    EXPECT_EQ(s.Count(RGB(0x12, 0x34, 0x56)), 16 * 16);

    // R2_NOT inverts under the whole shape, wide pens and brushes alike.
    SetROP2(s.dc(), R2_NOT);
    Rectangle(s.dc(), 2, 2, 12, 12);
    EXPECT_EQ(s.At(2, 2), RGB(0xED, 0xCB, 0xA9));
    EXPECT_EQ(s.At(6, 6), RGB(0xED, 0xCB, 0xA9));
    EXPECT_EQ(s.At(12, 12), RGB(0x12, 0x34, 0x56));
    Selected wide(s.dc(), CreatePen(PS_SOLID, 3, kBlack));
    const POINT line[] = {{0, 14}, {15, 14}};
    Polyline(s.dc(), line, 2);
    EXPECT_EQ(s.At(7, 14), RGB(0xED, 0xCB, 0xA9));

    EXPECT_EQ(SetROP2(s.dc(), R2_MASKPEN), R2_NOT);
    EXPECT_EQ(GetROP2(s.dc()), R2_MASKPEN);
    EXPECT_EQ(SetROP2(s.dc(), 0), 0);
    EXPECT_EQ(SetROP2(s.dc(), R2_WHITE + 1), 0);
}

TEST(Shapes, EllipseAndRoundRectStayInsideTheirBoxAndAreSymmetric) {
    for (int shape = 0; shape < 2; ++shape) {
        Surface s(16, 16);
        Selected brush(s.dc(), CreateSolidBrush(kRed));
        if (shape == 0) {
            Ellipse(s.dc(), 2, 2, 13, 13);
        } else {
            RoundRect(s.dc(), 2, 2, 13, 13, 6, 6);
        }
        SCOPED_TRACE(shape == 0 ? "Ellipse" : "RoundRect");
        // The outline reaches the outermost pixels of the box and no further.
        EXPECT_EQ(s.At(2, 7), kBlack);
        EXPECT_EQ(s.At(12, 7), kBlack);
        EXPECT_EQ(s.At(7, 2), kBlack);
        EXPECT_EQ(s.At(7, 12), kBlack);
        EXPECT_EQ(s.Count(kWhite, RECT{0, 0, 16, 2}) + s.Count(kWhite, RECT{0, 13, 16, 16}),
                  16 * 5);
        EXPECT_EQ(s.At(7, 7), kRed);
        EXPECT_EQ(s.At(2, 2), kWhite) << s.Picture(kBlack);  // corners are cut
        for (int y = 0; y < 15; ++y) {
            for (int x = 0; x < 15; ++x) {
                EXPECT_EQ(s.At(x, y), s.At(14 - x, y)) << x << "," << y;
                EXPECT_EQ(s.At(x, y), s.At(x, 14 - y)) << x << "," << y;
            }
        }
    }
}

TEST(Shapes, PatternBrushTilesFromTheBrushOrigin) {
    Surface pattern(2, 2, kBlue);
    SetPixel(pattern.dc(), 0, 0, kRed);
    HBRUSH brush = CreatePatternBrush(pattern.bitmap());
    ASSERT_NE(brush, nullptr);
    // The brush keeps its own copy of the bitmap.
    pattern.Fill(kBlack);

    Surface s(6, 6);
    const RECT all{0, 0, 6, 6};
    FillRect(s.dc(), &all, brush);
    EXPECT_EQ(s.At(0, 0), kRed);
    EXPECT_EQ(s.At(2, 4), kRed);
    EXPECT_EQ(s.At(1, 0), kBlue);
    EXPECT_EQ(s.Count(kRed), 9);

    SetBrushOrgEx(s.dc(), 1, 0, nullptr);
    FillRect(s.dc(), &all, brush);
    EXPECT_EQ(s.At(1, 0), kRed);
    EXPECT_EQ(s.At(0, 0), kBlue);

    // Shapes fill with it too.
    s.Fill(kWhite);
    SetBrushOrgEx(s.dc(), 0, 0, nullptr);
    HGDIOBJ old = SelectObject(s.dc(), brush);
    SelectObject(s.dc(), GetStockObject(NULL_PEN));
    const POINT box[] = {{0, 0}, {6, 0}, {6, 6}, {0, 6}};
    Polygon(s.dc(), box, 4);
    EXPECT_EQ(s.Count(kRed), 9);
    SelectObject(s.dc(), old);
    DeleteObject(brush);
}

TEST(Shapes, PixelsOutsideTheBitmapAreInvalid) {
    Surface s(4, 3);
    EXPECT_EQ(SetPixel(s.dc(), 3, 2, RGB(1, 2, 3)), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(s.dc(), 3, 2), RGB(1, 2, 3));
    const POINT outside[] = {{-1, 0}, {0, -1}, {4, 0}, {0, 3}, {1000, 1000}};
    for (const POINT& p : outside) {
        EXPECT_EQ(GetPixel(s.dc(), p.x, p.y), CLR_INVALID) << p.x << "," << p.y;
        EXPECT_EQ(SetPixel(s.dc(), p.x, p.y, kRed), CLR_INVALID);
    }
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    // A memory DC without a bitmap of its own has a single black pixel.
    HDC bare = CreateCompatibleDC(nullptr);
    EXPECT_EQ(GetPixel(bare, 0, 0), kBlack);
    EXPECT_EQ(GetPixel(bare, 1, 0), CLR_INVALID);
    DeleteDC(bare);
}

}  // namespace
