// The key styles: each table's face and label colours by code and state.
#include "pathlume/foundation/key_style.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;

struct StyleCase {
    const KeyStyleTable* table;
    int code;  // as the layout byte holds it (0-255)
    KeyImage image;
    COLORREF normal;
    COLORREF pressed;
};

class KeyStyleTest : public ::testing::Test {
  protected:
    void SetUp() override { dc = CreateCompatibleDC(nullptr); }
    void TearDown() override { DeleteDC(dc); }

    // Draws the one-cell layout in the state; the image and the text colour set.
    std::pair<KeyImage, COLORREF> Style(const KeyStyleTable& table, int code, int state) {
        const std::vector<uint8_t> layout{static_cast<uint8_t>(code)};
        SetTextColor(dc, RGB(1, 2, 3));
        const KeyImage image = SelectKeyStyle(dc, layout, 0, state, table);
        return {image, GetTextColor(dc)};
    }

    HDC dc = nullptr;
};

TEST_F(KeyStyleTest, EachTableGivesTheFaceAndTheColourOfEveryState) {
    const StyleCase cases[] = {
        // The keyboards with a list.
        {&kKeyboardKeyStyles, 'e', KeyImage::kOk, kWhite, kBlack},
        {&kKeyboardKeyStyles, 'g', KeyImage::kCancel, kWhite, kBlack},
        {&kKeyboardKeyStyles, 'i', KeyImage::kSearch, kWhite, kBlack},
        {&kKeyboardKeyStyles, 'A', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 'Z', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 0xC0, KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 0xDF, KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 'd', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 'f', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 'h', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, 'm', KeyImage::kLetter, kWhite, kRed},
        {&kKeyboardKeyStyles, '7', KeyImage::kOther, kBlue, kRed},
        {&kKeyboardKeyStyles, '-', KeyImage::kOther, kBlue, kRed},
        {&kKeyboardKeyStyles, 0xE0, KeyImage::kOther, kBlue, kRed},
        {&kKeyboardKeyStyles, 'n', KeyImage::kOther, kBlue, kRed},
        // Without a search key 'i' is a letter.
        {&kNameKeyStyles, 'i', KeyImage::kLetter, kWhite, kRed},
        {&kNameKeyStyles, 'e', KeyImage::kOk, kWhite, kBlack},
        {&kNameKeyStyles, '&', KeyImage::kOther, kBlue, kRed},
        // The number pad reads its codes as signed bytes.
        {&kKeypadKeyStyles, 0xFE, KeyImage::kOk, kWhite, kBlack},
        {&kKeypadKeyStyles, 0xFC, KeyImage::kCancel, kWhite, kBlack},
        {&kKeypadKeyStyles, '0', KeyImage::kOther, kBlue, kRed},
        {&kKeypadKeyStyles, '9', KeyImage::kOther, kBlue, kRed},
        {&kKeypadKeyStyles, 0xFD, KeyImage::kLetter, kWhite, kRed},
        {&kKeypadKeyStyles, 'e', KeyImage::kLetter, kWhite, kRed},
    };
    for (const StyleCase& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(Style(*c.table, c.code, kKeyReleased), std::make_pair(c.image, c.normal));
        EXPECT_EQ(Style(*c.table, c.code, kKeyPainting), std::make_pair(c.image, c.normal));
        EXPECT_EQ(Style(*c.table, c.code, kKeyPressed), std::make_pair(c.image, c.pressed));
    }
}

TEST_F(KeyStyleTest, ACellOutsideTheLayoutIsAnEmptyCell) {
    const std::vector<uint8_t> layout{'e', 'g'};
    for (int cell : {-1, 2, 48}) {
        EXPECT_EQ(KeyCodeAt(layout, cell, kKeyboardKeyStyles), 0);
        EXPECT_EQ(SelectKeyStyle(dc, layout, cell, kKeyReleased, kKeyboardKeyStyles),
                  KeyImage::kOther);
        EXPECT_EQ(SelectKeyStyle(dc, layout, cell, kKeyReleased, kKeypadKeyStyles),
                  KeyImage::kLetter);
    }
    EXPECT_EQ(SelectKeyStyle(dc, layout, 1, kKeyPressed, kKeyboardKeyStyles), KeyImage::kCancel);
}

}  // namespace
