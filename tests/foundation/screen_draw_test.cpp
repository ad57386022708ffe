// The painting shared by the screens: background, title bar, fitted lines, the
// icon column and bitmap rotation, and a golden picture of a screen made with them.
#include <gtest/gtest.h>

#include <numbers>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "screen_test_support.h"

namespace {

class ScreenDrawTest : public screen_testing::ScreenTest {
  protected:
    // A visible full-screen window to paint on.
    HWND MakeScreenWindow(LPCWSTR text = u"") {
        HWND window = CreateWindowExW(0, u"Static", text, WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                                      nullptr, nullptr, nullptr, nullptr);
        platform::PumpUntilIdle();
        return window;
    }
};

int TextWidth(HFONT font, const std::u16string& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    DeleteDC(dc);
    return size.cx;
}

TEST_F(ScreenDrawTest, TitleIsCentredWhiteOnTheDarkStrip) {
    HWND window = MakeScreenWindow(u"From the window");
    HDC dc = GetDC(window);
    platform::TextRecording recording;
    DrawTitleBar(dc, window, u"Route\nOptions");
    DrawTitleBar(dc, window, nullptr);
    auto texts = recording.TextsOf(dc);
    ReleaseDC(window, dc);
    ASSERT_EQ(texts.size(), 2u);

    CFont font16;
    CreateScaledFont(&font16, 16, FW_BOLD, nullptr);
    EXPECT_EQ(texts[0].text, u"Route Options");  // the line feed became a blank
    EXPECT_EQ(texts[0].height, 16);
    EXPECT_EQ(texts[0].position.y, 2);
    EXPECT_EQ(texts[0].position.x, (240 - TextWidth(font16, u"Route Options")) / 2);
    EXPECT_EQ(texts[0].color, RGB(255, 255, 255));
    EXPECT_EQ(texts[1].text, u"From the window");
}

TEST_F(ScreenDrawTest, LongTitleDropsToTheSmallFontTwoPixelsLower) {
    const std::u16string title = u"Points of Interest Near the Destination";
    CFont font16;
    CreateScaledFont(&font16, 16, FW_BOLD, nullptr);
    ASSERT_GT(TextWidth(font16, title), 220);
    HWND window = MakeScreenWindow();
    HDC dc = GetDC(window);
    platform::TextRecording recording;
    DrawTitleBar(dc, window, title.c_str());
    auto texts = recording.TextsOf(dc);
    ReleaseDC(window, dc);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].height, 12);
    EXPECT_EQ(texts[0].position.y, 4);
    EXPECT_EQ(texts[0].position.x, (240 - TextWidth(g_fontBold12, title)) / 2);
}

TEST_F(ScreenDrawTest, FittedLineShrinksUntilItFitsAndRestoresTheFont) {
    const std::u16string text = u"1234 Harbour View Road";
    const int wide = TextWidth(g_fontBold21, text);
    const int middle = TextWidth(g_fontBold14, text);
    struct Case {
        int width;
        LONG expectedHeight;
    };
    const Case cases[] = {{wide, 21}, {wide - 1, 14}, {middle, 14}, {middle - 1, 12}, {3, 12}};
    HWND window = MakeScreenWindow();
    HDC dc = GetDC(window);
    HGDIOBJ before = SelectObject(dc, static_cast<HFONT>(g_fontRegular12));
    for (const Case& c : cases) {
        platform::TextRecording recording;
        HGDIOBJ previous = DrawFittedLine(text.c_str(), dc, 5, 40, c.width, 0, FALSE, FALSE);
        EXPECT_EQ(previous, static_cast<HGDIOBJ>(static_cast<HFONT>(g_fontRegular12)));
        EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), previous);
        auto texts = recording.TextsOf(dc);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].height, c.expectedHeight) << "width " << c.width;
        EXPECT_EQ(texts[0].position.x, 5);
        EXPECT_EQ(texts[0].position.y, 40);
    }
    SelectObject(dc, before);
    ReleaseDC(window, dc);
}

TEST_F(ScreenDrawTest, FittedLineCentresInTheBoxAndErasesIt) {
    HWND window = MakeScreenWindow();
    HDC dc = GetDC(window);
    SetBkColor(dc, RGB(0, 128, 0));
    TEXTMETRICW metrics{};
    HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(g_fontBold21));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    platform::TextRecording recording;
    DrawFittedLine(u"Home", dc, 10, 100, 200, 60, TRUE, TRUE);
    auto texts = recording.TextsOf(dc);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].position.x, 10 + (200 - TextWidth(g_fontBold21, u"Home")) / 2);
    EXPECT_EQ(texts[0].position.y, 100 + (60 - metrics.tmHeight) / 2);
    EXPECT_EQ(GetPixel(dc, 11, 101), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(dc, 209, 159), RGB(0, 128, 0));
    EXPECT_NE(GetPixel(dc, 210, 160), RGB(0, 128, 0));
    ReleaseDC(window, dc);
}

TEST(DrawScaledIcon, TopMarginOfTheColumn) {
    struct Case {
        int count;
        int rowHeight;
        float scale;
        int expected;
    };
    const Case cases[] = {
        {4, 50, 1.0f, 59},   // (268 - 150) / 2
        {4, 50, 2.0f, 193},  // (536 - 150) / 2
        {1, 40, 1.0f, 134},
        {7, 45, 1.0f, -1},  // taller than the area: truncated toward zero
    };
    for (const Case& c : cases) {
        g_screenScaleY.store(c.scale);
        EXPECT_EQ(DrawScaledIcon(0, nullptr, nullptr, c.count, c.rowHeight, 0xFFFFFFFFu),
                  c.expected);
    }
    g_screenScaleY.store(1.0f);
}

TEST(ReplaceMarkerWithSpace, ReplacesOnlyTheFirstLineFeed) {
    char16_t text[] = u"Main St\nSpringfield\nUSA";
    ReplaceMarkerWithSpace(text);
    EXPECT_EQ(std::u16string(text), u"Main St Springfield\nUSA");
    char16_t none[] = u"one line";
    ReplaceMarkerWithSpace(none);
    EXPECT_EQ(std::u16string(none), u"one line");
    ReplaceMarkerWithSpace(nullptr);
}

class RotateBitmapTest : public screen_testing::ScreenTest {
  protected:
    static constexpr int kSide = 5;
    void SetUp() override {
        ScreenTest::SetUp();
        source = CreateCompatibleDC(nullptr);
        destination = CreateCompatibleDC(nullptr);
        sourceBitmap = CreateCompatibleBitmap(source, kSide, kSide);
        destinationBitmap = CreateCompatibleBitmap(destination, kSide, kSide);
        HGDIOBJ old = SelectObject(source, sourceBitmap);
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                SetPixel(source, x, y, Colour(x, y));
            }
        }
        SelectObject(source, old);
    }
    void TearDown() override {
        DeleteObject(sourceBitmap);
        DeleteObject(destinationBitmap);
        DeleteDC(source);
        DeleteDC(destination);
        ScreenTest::TearDown();
    }
    static COLORREF Colour(int x, int y) { return RGB(10 + x * 40, 10 + y * 40, 77); }
    COLORREF Result(int x, int y) {
        HGDIOBJ old = SelectObject(destination, destinationBitmap);
        COLORREF colour = GetPixel(destination, x, y);
        SelectObject(destination, old);
        return colour;
    }

    HDC source = nullptr;
    HDC destination = nullptr;
    HBITMAP sourceBitmap = nullptr;
    HBITMAP destinationBitmap = nullptr;
};

TEST_F(RotateBitmapTest, AngleZeroCopiesTheFlatMapUnchanged) {
    RotateBitmap(source, kSide, kSide, sourceBitmap, destination, destinationBitmap, 0.0f);
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            EXPECT_EQ(Result(x, y), Colour(x, y)) << x << "," << y;
        }
    }
}

TEST_F(RotateBitmapTest, QuarterTurnAboutTheCentre) {
    RotateBitmap(source, kSide, kSide, sourceBitmap, destination, destinationBitmap,
                 std::numbers::pi_v<float> / 2);
    // Destination (x, y) reads source (y, 4 - x).
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) {
            EXPECT_EQ(Result(x, y), Colour(y, kSide - 1 - x)) << x << "," << y;
        }
    }
}

TEST_F(RotateBitmapTest, ThreeDimensionalMapSqueezesToHalfHeight) {
    g_map3DMode.store(1);
    RotateBitmap(source, kSide, kSide, sourceBitmap, destination, destinationBitmap, 0.0f);
    // Even source rows 0, 2, 4 land on rows 1, 2, 3; the rest keeps the fill of pixel (0, 0).
    for (int x = 0; x < kSide; ++x) {
        EXPECT_EQ(Result(x, 0), Colour(0, 0));
        EXPECT_EQ(Result(x, 1), Colour(x, 0));
        EXPECT_EQ(Result(x, 2), Colour(x, 2));
        EXPECT_EQ(Result(x, 3), Colour(x, 4));
        EXPECT_EQ(Result(x, 4), Colour(0, 0));
    }
}

TEST_F(ScreenDrawTest, BackgroundFollowsTheOrientationAndTheId) {
    HDC screen = GetDC(nullptr);
    PaintScreenBackground(screen, 0, RGB(255, 255, 255));
    COLORREF portrait = GetPixel(screen, 5, 5);
    PaintScreenBackground(screen, kBitmapBackgroundPlain, RGB(255, 255, 255));
    COLORREF plain = GetPixel(screen, 5, 5);
    ReleaseDC(nullptr, screen);
    EXPECT_NE(portrait, RGB(0, 0, 0));  // the screen starts black
    EXPECT_NE(plain, RGB(0, 0, 0));

    // On a landscape screen the standard background is the landscape bitmap, whose
    // width is the screen's.
    platform::SetScreenMode(320, 240, 96);
    g_screenWidth.store(320);
    g_screenHeight.store(240);
    screen = GetDC(nullptr);
    PaintScreenBackground(screen, 0, RGB(255, 255, 255));
    EXPECT_NE(GetPixel(screen, 315, 5), RGB(0, 0, 0));
    ReleaseDC(nullptr, screen);
}

TEST_F(ScreenDrawTest, GoldenScreenOfTheHelpers) {
    HWND window = MakeScreenWindow();
    HDC dc = GetDC(window);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    DrawTitleBar(dc, window, u"Destination");
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 64));
    DrawFittedLine(u"Harbour View", dc, 10, 40, 220, 30, TRUE, FALSE);
    DrawFittedLine(u"1234 Harbour View Road, Springfield", dc, 10, 80, 220, 30, TRUE, FALSE);
    DrawFittedLine(u"Main Street and Harbour View Road, Springfield", dc, 10, 120, 220, 30, FALSE,
                   FALSE);
    SetBkColor(dc, RGB(255, 255, 255));
    DrawFittedLine(u"2.4 mi", dc, 60, 170, 120, 40, TRUE, TRUE);
    ReleaseDC(window, dc);
    EXPECT_TRUE(screen_testing::ScreenMatchesGolden("screen_helpers"));
}

}  // namespace
