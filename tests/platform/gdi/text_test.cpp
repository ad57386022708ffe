// Fonts and text: metrics against FreeType, the DejaVu fallback, drawing, DrawTextW
// layout and the recording of drawn text.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/surface.h"

namespace {

using gdi_testing::kBlack;
using gdi_testing::kBlue;
using gdi_testing::kRed;
using gdi_testing::kWhite;
using gdi_testing::Selected;
using gdi_testing::Surface;

const char* const kTahoma = "/usr/share/wine/fonts/tahoma.ttf";
const char* const kTahomaBold = "/usr/share/wine/fonts/tahomabd.ttf";
const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

HFONT MakeFont(LONG height, LONG weight = FW_NORMAL, const char16_t* face = u"Tahoma",
               LONG escapement = 0, BYTE quality = DEFAULT_QUALITY) {
    LOGFONTW log{};
    log.lfHeight = height;
    log.lfWeight = weight;
    log.lfEscapement = escapement;
    log.lfOrientation = escapement;
    log.lfQuality = quality;
    std::u16string name(face);
    std::copy(name.begin(), name.end(), log.lfFaceName);
    return CreateFontIndirectW(&log);
}

// The width FreeType gives a text at a whole pixel size: hinted outline advances (the
// font's bitmap strikes are not used) rounded to pixels, no kerning.
int FreeTypeWidth(const char* file, int pixels, const std::u32string& text) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_EQ(FT_New_Face(library, file, 0, &face), 0);
    FT_Set_Char_Size(face, 0, pixels * 64, 72, 72);
    int width = 0;
    for (char32_t c : text) {
        FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_BITMAP);
        width += static_cast<int>((face->glyph->advance.x + 32) >> 6);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return width;
}

// The fonts come from the packages scripts/setup-deps installs.
#define REQUIRE_TAHOMA()                                                                     \
    ASSERT_TRUE(std::filesystem::exists(kTahoma) && std::filesystem::exists(kTahomaBold))    \
        << "the Tahoma-metric fonts of Debian's fonts-wine are missing (" << kTahoma << ")"; \
    ASSERT_TRUE(std::filesystem::exists(kDejaVu)) << "DejaVu Sans is missing (" << kDejaVu << ")"

TEST(Text, ExtentsAreFreeTypesAdvancesOfTheTahomaMetricFont) {
    REQUIRE_TAHOMA();
    Surface s(10, 10);
    const std::u16string text = u"Route to Zürich, 12.5 km";
    const std::u32string text32 = U"Route to Zürich, 12.5 km";
    struct Case {
        LONG weight;
        const char* file;
        int pixels;
    };
    for (const Case& c : {Case{FW_NORMAL, kTahoma, 13}, Case{FW_BOLD, kTahomaBold, 13},
                          Case{FW_NORMAL, kTahoma, 24}, Case{FW_SEMIBOLD, kTahomaBold, 9}}) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.pixels));
        HFONT font = MakeFont(-c.pixels, c.weight);
        EXPECT_EQ(platform::FontFileOf(font), c.file);
        Selected selected(s.dc(), font);
        SIZE size{};
        ASSERT_TRUE(
            GetTextExtentPoint32W(s.dc(), text.data(), static_cast<int>(text.size()), &size));
        EXPECT_EQ(size.cx, FreeTypeWidth(c.file, c.pixels, text32));
        TEXTMETRICW tm{};
        GetTextMetricsW(s.dc(), &tm);
        EXPECT_EQ(size.cy, tm.tmHeight);
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, c.pixels);
        EXPECT_EQ(tm.tmWeight, c.weight);
    }
}

TEST(Text, PositiveHeightsAreCellHeights) {
    REQUIRE_TAHOMA();
    Surface s(10, 10);
    for (LONG height : {12, 14, 16, 21, 28, 42}) {
        Selected font(s.dc(), MakeFont(height, FW_BOLD));
        TEXTMETRICW tm{};
        ASSERT_TRUE(GetTextMetricsW(s.dc(), &tm));
        EXPECT_EQ(tm.tmHeight, height);
        EXPECT_GT(tm.tmInternalLeading, 0);
        EXPECT_GT(tm.tmAveCharWidth, 0);
        EXPECT_GE(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    }
}

TEST(Text, DejaVuSansServesOtherFacesMissingTahomaAndMissingCharacters) {
    REQUIRE_TAHOMA();
    Surface s(10, 10);
    const std::u16string text = u"Exit 12";
    {
        Selected font(s.dc(), MakeFont(-15, FW_NORMAL, u"Arial"));
        SIZE size{};
        GetTextExtentPoint32W(s.dc(), text.data(), static_cast<int>(text.size()), &size);
        EXPECT_EQ(size.cx, FreeTypeWidth(kDejaVu, 15, U"Exit 12"));
    }
    // Without the Tahoma-metric files, Tahoma falls back to DejaVu Sans as well.
    platform::SetTahomaFontFiles("/nonexistent/tahoma.ttf", "/nonexistent/tahomabd.ttf");
    HFONT fallback = MakeFont(-15);
    platform::SetTahomaFontFiles("", "");
    ASSERT_NE(fallback, nullptr);
    EXPECT_EQ(platform::FontFileOf(fallback), kDejaVu);
    {
        Selected font(s.dc(), fallback);
        SIZE size{};
        GetTextExtentPoint32W(s.dc(), text.data(), static_cast<int>(text.size()), &size);
        EXPECT_EQ(size.cx, FreeTypeWidth(kDejaVu, 15, U"Exit 12"));
    }
    EXPECT_EQ(platform::FontFileOf(MakeFont(-15)), kTahoma);

    // An arrow Tahoma lacks is measured (and drawn) with DejaVu's glyph.
    Selected font(s.dc(), MakeFont(-15));
    const std::u16string arrow = u"A\u2192B";
    SIZE size{};
    GetTextExtentPoint32W(s.dc(), arrow.data(), 3, &size);
    EXPECT_EQ(size.cx, FreeTypeWidth(kTahoma, 15, U"AB") + FreeTypeWidth(kDejaVu, 15, U"\u2192"));
}

TEST(Text, ExtentExGivesPartialExtentsAndHowManyCharactersFit) {
    REQUIRE_TAHOMA();
    Surface s(10, 10);
    Selected font(s.dc(), MakeFont(-13));
    const std::u16string text = u"Wayside";
    int partial[7] = {};
    int fit = -1;
    SIZE size{};
    const int limit = FreeTypeWidth(kTahoma, 13, U"Way");
    ASSERT_TRUE(GetTextExtentExPointW(s.dc(), text.data(), 7, limit, &fit, partial, &size));
    EXPECT_EQ(fit, 3);
    EXPECT_EQ(partial[2], limit);
    EXPECT_EQ(partial[6], size.cx);
    for (int i = 1; i < 7; ++i) {
        EXPECT_GT(partial[i], partial[i - 1]);
    }
    ASSERT_TRUE(GetTextExtentExPointW(s.dc(), text.data(), 7, limit - 1, &fit, nullptr, nullptr));
    EXPECT_EQ(fit, 2);
    // A surrogate pair counts as two units with one advance.
    const std::u16string pair = u"a\U0001F600b";
    int pairPartial[4] = {};
    GetTextExtentExPointW(s.dc(), pair.data(), 4, 1000, &fit, pairPartial, &size);
    EXPECT_EQ(fit, 4);
    EXPECT_EQ(pairPartial[1], pairPartial[2]);
    EXPECT_FALSE(GetTextExtentPoint32W(s.dc(), text.data(), -1, &size));
}

// The box around every pixel that differs from the background.
RECT InkBox(const Surface& s, int width, int height, COLORREF background) {
    RECT box{width, height, -1, -1};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (s.At(x, y) != background) {
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
    }
    return box;
}

TEST(Text, TextIsDrawnSmoothedInsideItsCellInTheTextColour) {
    REQUIRE_TAHOMA();
    Surface s(120, 40);
    Selected font(s.dc(), MakeFont(-16, FW_BOLD));
    SetTextColor(s.dc(), kBlue);
    SetBkMode(s.dc(), TRANSPARENT);
    const std::u16string text = u"Main St";
    SIZE size{};
    GetTextExtentPoint32W(s.dc(), text.data(), 7, &size);
    ASSERT_TRUE(ExtTextOutW(s.dc(), 10, 5, 0, nullptr, text.data(), 7, nullptr));
    const RECT ink = InkBox(s, 120, 40, kWhite);
    EXPECT_GE(ink.left, 10);
    EXPECT_LE(ink.right, 10 + size.cx + 1);
    EXPECT_GE(ink.top, 5);
    EXPECT_LE(ink.bottom, 5 + size.cy);
    EXPECT_GT(s.Count(kBlue), 20);
    // Smoothing leaves pixels between the text colour and the background.
    int between = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 120; ++x) {
            COLORREF c = s.At(x, y);
            between += c != kBlue && c != kWhite ? 1 : 0;
        }
    }
    EXPECT_GT(between, 10);

    // Without antialiasing only the two colours remain.
    Surface sharp(120, 40);
    Selected crisp(sharp.dc(), MakeFont(-16, FW_BOLD, u"Tahoma", 0, NONANTIALIASED_QUALITY));
    SetTextColor(sharp.dc(), kBlue);
    ExtTextOutW(sharp.dc(), 10, 5, 0, nullptr, text.data(), 7, nullptr);
    EXPECT_EQ(sharp.Count(kBlue) + sharp.Count(kWhite), 120 * 40);
}

TEST(Text, OpaqueModesAndClippingOfExtTextOut) {
    REQUIRE_TAHOMA();
    Surface s(100, 30);
    Selected font(s.dc(), MakeFont(-13));
    SetBkColor(s.dc(), kRed);
    const std::u16string text = u"Hello";
    SIZE size{};
    GetTextExtentPoint32W(s.dc(), text.data(), 5, &size);
    // OPAQUE (the default) fills the text cell with the background colour.
    ExtTextOutW(s.dc(), 3, 2, 0, nullptr, text.data(), 5, nullptr);
    EXPECT_EQ(s.At(3, 2), kRed);
    EXPECT_EQ(s.At(3 + size.cx - 1, 2 + size.cy - 1), kRed);
    EXPECT_EQ(s.At(3 + size.cx, 2), kWhite);
    EXPECT_EQ(s.At(2, 2), kWhite);

    // ETO_OPAQUE fills the rectangle; ETO_CLIPPED keeps the text inside it.
    s.Fill(kWhite);
    SetBkMode(s.dc(), TRANSPARENT);
    const RECT box{0, 0, 8, 30};
    ExtTextOutW(s.dc(), 3, 2, ETO_OPAQUE | ETO_CLIPPED, &box, text.data(), 5, nullptr);
    EXPECT_EQ(s.Count(kRed, box) + s.Count(kBlack, box) > 8 * 30 / 2, true);
    EXPECT_EQ(s.Count(kWhite, RECT{8, 0, 100, 30}), 92 * 30);
    EXPECT_TRUE(ExtTextOutW(s.dc(), 0, 0, ETO_OPAQUE, &box, nullptr, 0, nullptr));
    EXPECT_FALSE(ExtTextOutW(s.dc(), 0, 0, 0, nullptr, nullptr, 3, nullptr));
}

TEST(Text, EscapementTurnsTheTextAboutItsReferencePoint) {
    REQUIRE_TAHOMA();
    Surface s(60, 120);
    SetBkMode(s.dc(), TRANSPARENT);
    const std::u16string text = u"Elm Road";
    {
        Selected font(s.dc(), MakeFont(-14, FW_NORMAL, u"Tahoma", 900));
        ExtTextOutW(s.dc(), 20, 110, 0, nullptr, text.data(), 8, nullptr);
    }
    // Turned a quarter counter-clockwise, the text runs upwards from the reference
    // point with its top to the left.
    const RECT ink = InkBox(s, 60, 120, kWhite);
    EXPECT_GT(ink.bottom - ink.top, 2 * (ink.right - ink.left)) << s.Picture(kBlack);
    EXPECT_LE(ink.bottom, 111);
    EXPECT_GE(ink.left, 20);
    EXPECT_LE(ink.right, 20 + 17);
}

TEST(Text, DrawTextPlacesCalculatesAndWrapsLines) {
    REQUIRE_TAHOMA();
    Surface s(200, 100);
    Selected font(s.dc(), MakeFont(14, FW_BOLD));
    SetBkMode(s.dc(), TRANSPARENT);
    TEXTMETRICW tm{};
    GetTextMetricsW(s.dc(), &tm);
    const std::u16string ok = u"OK";
    SIZE size{};
    GetTextExtentPoint32W(s.dc(), ok.data(), 2, &size);

    platform::TextRecording recording;
    struct Case {
        UINT format;
        LONG x;
        LONG y;
        int result;
    };
    const RECT box{10, 20, 110, 60};
    const Case cases[] = {
        {DT_SINGLELINE, 10, 20, 14},
        {DT_CENTER | DT_VCENTER | DT_SINGLELINE, 10 + (100 - size.cx) / 2, 20 + (40 - 14) / 2,
         (40 - 14) / 2 + 14},
        {DT_RIGHT | DT_BOTTOM | DT_SINGLELINE, 110 - size.cx, 60 - 14, 40},
        // The vertical flags need a single line.
        {DT_VCENTER, 10, 20, 14},
    };
    for (const Case& c : cases) {
        recording.Clear();
        RECT r = box;
        EXPECT_EQ(DrawTextW(s.dc(), ok.data(), -1, &r, c.format), c.result) << c.format;
        auto texts = recording.Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].position.x, c.x) << c.format;
        EXPECT_EQ(texts[0].position.y, c.y) << c.format;
        EXPECT_EQ(texts[0].text, u"OK");
    }

    // DT_CALCRECT measures without drawing.
    recording.Clear();
    RECT calc{5, 5, 6, 6};
    EXPECT_EQ(DrawTextW(s.dc(), ok.data(), 2, &calc, DT_SINGLELINE | DT_CALCRECT), 14);
    EXPECT_EQ(calc.right, 5 + size.cx);
    EXPECT_EQ(calc.bottom, 5 + 14);
    EXPECT_TRUE(recording.Texts().empty());

    // Word breaks: each line as wide as fits, broken at blanks; a line feed breaks too.
    const std::u16string words = u"one two three four\nfive";
    SIZE oneTwo{};
    GetTextExtentPoint32W(s.dc(), u"one two", 7, &oneTwo);
    RECT narrow{0, 0, oneTwo.cx + 2, 0};
    const int height =
        DrawTextW(s.dc(), words.data(), -1, &narrow, DT_WORDBREAK | DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(height, 4 * 14);
    EXPECT_EQ(narrow.bottom, 4 * 14);
    EXPECT_LE(narrow.right, oneTwo.cx + 2);
    narrow.bottom = 100;
    DrawTextW(s.dc(), words.data(), -1, &narrow, DT_WORDBREAK | DT_NOPREFIX);
    auto lines = recording.Texts();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, u"one two");
    EXPECT_EQ(lines[1].text, u"three");
    EXPECT_EQ(lines[2].text, u"four");
    EXPECT_EQ(lines[3].text, u"five");
    EXPECT_EQ(lines[3].position.y, 3 * 14);

    // Centred lines of a wrapped block are centred one by one.
    recording.Clear();
    RECT wide{0, 0, 200, 100};
    DrawTextW(s.dc(), u"a\nbbbbbb", -1, &wide, DT_CENTER | DT_WORDBREAK);
    lines = recording.Texts();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_GT(lines[0].position.x, lines[1].position.x);
}

TEST(Text, PrefixCharactersAreRemovedUnlessNoPrefixIsAsked) {
    REQUIRE_TAHOMA();
    Surface s(100, 20);
    Selected font(s.dc(), MakeFont(-12));
    SetBkMode(s.dc(), TRANSPARENT);
    platform::TextRecording recording;
    RECT r{0, 0, 100, 20};
    DrawTextW(s.dc(), u"&Save && exit", -1, &r, DT_SINGLELINE);
    DrawTextW(s.dc(), u"&Save && exit", -1, &r, DT_SINGLELINE | DT_NOPREFIX);
    auto texts = recording.Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, u"Save & exit");
    EXPECT_EQ(texts[1].text, u"&Save && exit");
}

TEST(Text, RecordingsTellWhichDCDrewWhatWhereAndInWhichColour) {
    REQUIRE_TAHOMA();
    Surface a(50, 20), b(50, 20);
    const std::u16string text = u"Go";
    ExtTextOutW(a.dc(), 0, 0, 0, nullptr, text.data(), 2, nullptr);  // not recorded
    platform::TextRecording recording;
    SetTextColor(b.dc(), kRed);
    Selected font(b.dc(), MakeFont(-11, FW_NORMAL, u"Tahoma", 0));
    ExtTextOutW(a.dc(), 1, 2, 0, nullptr, text.data(), 2, nullptr);
    ExtTextOutW(b.dc(), 3, 4, 0, nullptr, text.data(), 1, nullptr);
    ASSERT_EQ(recording.Texts().size(), 2u);
    auto ofB = recording.TextsOf(b.dc());
    ASSERT_EQ(ofB.size(), 1u);
    EXPECT_EQ(ofB[0].text, u"G");
    EXPECT_EQ(ofB[0].color, kRed);
    EXPECT_EQ(ofB[0].position.x, 3);
    EXPECT_EQ(ofB[0].position.y, 4);
    EXPECT_EQ(ofB[0].face, u"Tahoma");
    EXPECT_EQ(ofB[0].height, -11);
    EXPECT_EQ(ofB[0].bitmap, b.bitmap());
    EXPECT_EQ(recording.TextsIn(a.bitmap()).size(), 1u);
    EXPECT_EQ(recording.TextsIn(a.bitmap())[0].color, kBlack);
}

TEST(Text, AScreenTextLogFollowsTextWithThePixelsOntoTheScreen) {
    REQUIRE_TAHOMA();
    platform::ScreenTextLog log;
    Surface back(100, 60), middle(100, 60);
    HDC screen = platform::CreateScreenDC();
    const std::u16string label = u"ETA";
    ExtTextOutW(back.dc(), 10, 5, 0, nullptr, label.data(), 3, nullptr);
    ExtTextOutW(back.dc(), 90, 50, 0, nullptr, label.data(), 1, nullptr);  // outside the copy
    ExtTextOutW(screen, 7, 8, 0, nullptr, label.data(), 2, nullptr);
    EXPECT_EQ(log.Take().size(), 1u);  // only the one drawn on the screen so far

    // Through a second bitmap, then doubled onto the screen.
    BitBlt(middle.dc(), 0, 0, 50, 30, back.dc(), 0, 0, SRCCOPY);
    StretchBlt(screen, 100, 200, 100, 60, middle.dc(), 0, 0, 50, 30, SRCCOPY);
    auto texts = log.Take();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, u"ETA");
    EXPECT_EQ(texts[0].onSurface.x, 120);
    EXPECT_EQ(texts[0].onSurface.y, 210);
    EXPECT_EQ(texts[0].bitmap, nullptr);

    // Copied once, carried once; the rest waits for its own copy.
    BitBlt(screen, 0, 0, 100, 60, back.dc(), 0, 0, SRCCOPY);
    texts = log.Take();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, u"E");
    EXPECT_EQ(texts[0].onSurface.x, 90);
    EXPECT_TRUE(log.Take().empty());
    DeleteDC(screen);
}

}  // namespace
