// Settings in the registry, texts from the string table and scaled sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "screen_test_support.h"
#include "tests/support/temp_root.h"

namespace {

constexpr const WCHAR* kKey = u"Software\\Zanterhoff\\Wayscribe";

class RegistryHelpersTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { g_options.store(0); }
    void TearDown() override { g_options.store(0); }
};

TEST_F(RegistryHelpersTest, DwordsFallBackToTheDefaultAndRoundTrip) {
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, u"Software\\Nowhere", u"RouteAlgo", 77u), 77u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kKey, u"RouteAlgo", 77u), 77u);
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, kKey, u"Options2", 0xDEADBEEFu), 0);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kKey, u"Options2", 77u), 0xDEADBEEFu);
    // A value of another size is not a DWORD: half a word must not come back.
    const BYTE two[2] = {1, 2};
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kKey, u"Short", two, 2), 0);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kKey, u"Short", 5u), 5u);
}

// Every setting is read as the type it is and held to its range: another type is no
// value (the default stands), a number outside the range is clamped to it, and an
// empty binary value holds nothing.
TEST_F(RegistryHelpersTest, SettingsOfTheWrongTypeOrOutOfRangeAreCheckedAndClamped) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, u"", 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    auto set = [&](LPCWSTR name, DWORD type, const void* data, DWORD size) {
        ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
    };
    const float allowance = 500.0f;
    const char16_t inf[] = u"inf";
    const DWORD four = 4, minus = static_cast<DWORD>(-999), big = 0x7FFFFFFF, seven = 7, zero = 0;
    set(u"PlaybackDelay", REG_DWORD, &big, 4);
    set(u"RouteAllowance", REG_DWORD, &allowance, 4);  // a float's bits
    set(u"3DMode", REG_SZ, inf, sizeof inf);
    set(u"RouteAlgo", REG_BINARY, &four, 4);
    set(u"SpeedLimitMI", REG_DWORD, &minus, 4);
    set(u"ShowWarning", REG_DWORD, &seven, 4);
    set(u"NumDist", REG_DWORD, &zero, 4);
    RegCloseKey(key);
    struct Case {
        const char16_t* name;
        DWORD fallback, expected;
    } cases[] = {
        {u"PlaybackDelay", 500, 60000},
        {u"RouteAllowance", 500, 10000},
        {u"3DMode", 0, 0},
        {u"RouteAlgo", 1, 1},
        {u"SpeedLimitMI", static_cast<DWORD>(-55), static_cast<DWORD>(-200)},
        {u"ShowWarning", 1, 1},
        {u"NumDist", 10, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kKey, c.name, c.fallback), c.expected)
            << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
    }
    // Only the program's own settings have its ranges.
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, u"Software\\Other", u"PlaybackDelay", 1), 1u);
    ASSERT_EQ(RegSetDword(HKEY_CURRENT_USER, u"Software\\Other", u"PlaybackDelay", big), 0);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, u"Software\\Other", u"PlaybackDelay", 1), big);
    BYTE bytes[36];
    DWORD size = sizeof bytes;
    EXPECT_EQ(RegGetBinary(HKEY_CURRENT_USER, kKey, u"RouteAllowance", bytes, &size), 1);
    WCHAR text[8];
    EXPECT_EQ(RegGetString(HKEY_CURRENT_USER, kKey, u"PlaybackDelay", text, 8), 1);
}

TEST_F(RegistryHelpersTest, StringsAreAlwaysTerminatedAndEmptyOnFailure) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, u"", 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    // "1.3" stored without its terminator, as some writers do.
    const char16_t scale[] = u"1.3";
    ASSERT_EQ(RegSetValueExW(key, u"XScale", 0, REG_SZ, reinterpret_cast<const BYTE*>(scale), 6),
              ERROR_SUCCESS);
    const char16_t longer[] = u"a longer text";
    ASSERT_EQ(RegSetValueExW(key, u"Long", 0, REG_SZ, reinterpret_cast<const BYTE*>(longer),
                             sizeof(longer)),
              ERROR_SUCCESS);
    RegCloseKey(key);

    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(RegGetString(HKEY_CURRENT_USER, kKey, u"XScale", buffer, 8), 0);
    EXPECT_EQ(std::u16string(buffer), u"1.3");
    // Exactly filling the buffer: the last character gives way to the terminator.
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(RegGetString(HKEY_CURRENT_USER, kKey, u"XScale", buffer, 3), 0);
    EXPECT_EQ(std::u16string(buffer), u"1.");
    // Too long for the buffer, and missing: failure with an empty buffer.
    std::fill(std::begin(buffer), std::end(buffer), u'x');
    EXPECT_EQ(RegGetString(HKEY_CURRENT_USER, kKey, u"Long", buffer, 8), 1);
    EXPECT_EQ(buffer[0], 0);
    buffer[0] = u'x';
    EXPECT_EQ(RegGetString(HKEY_CURRENT_USER, kKey, u"Missing", buffer, 8), 1);
    EXPECT_EQ(buffer[0], 0);
}

TEST_F(RegistryHelpersTest, BinaryValuesRoundTrip) {
    const BYTE hotkeys[5] = {0xC1, 0, 7, 0xFF, 3};
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kKey, u"Hotkeys", hotkeys, 5), 0);
    BYTE read[16] = {};
    DWORD size = sizeof(read);
    ASSERT_EQ(RegGetBinary(HKEY_CURRENT_USER, kKey, u"Hotkeys", read, &size), 0);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(std::memcmp(read, hotkeys, 5), 0);
    size = 2;
    EXPECT_EQ(RegGetBinary(HKEY_CURRENT_USER, kKey, u"Hotkeys", read, &size), 1);
    size = sizeof(read);
    EXPECT_EQ(RegGetBinary(HKEY_CURRENT_USER, kKey, u"Absent", read, &size), 1);
}

TEST_F(RegistryHelpersTest, ToggleOptionFlagClearsWhenAnyBitIsSetAndSaves) {
    struct Case {
        DWORD options;
        DWORD mask;
        DWORD expected;
    };
    const Case cases[] = {
        {0x0000, 0x0002, 0x0002},  // set
        {0x0002, 0x0002, 0x0000},  // cleared
        {0x1002, 0x0202, 0x1000},  // two bits, one set: both cleared
        {0x1000, 0x0202, 0x1202},  // two bits, none set: both set
    };
    for (const Case& c : cases) {
        g_options.store(c.options);
        EXPECT_EQ(ToggleOptionFlag(c.mask), 0);
        EXPECT_EQ(g_options.load(), c.expected) << std::hex << c.options << " ^ " << c.mask;
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kKey, u"Options", 0xFFFFFFFFu), c.expected);
    }
}

TEST(ScaledSizes, RoundHalfAwayFromZero) {
    struct Case {
        int pixels;
        float scale;
        int expected;
    };
    const Case cases[] = {
        {12, 2.0f, 24},    {12, 1.3f, 16}, {-12, 1.3f, -16}, {10, 1.25f, 13},
        {-10, 1.25f, -13}, {1, 0.5f, 1},   {-1, 0.5f, -1},   {16, 1.0f, 16},
        {0, 2.0f, 0},      {7, 1.5f, 11},  {220, 1.0f, 220}, {268, 2.0f, 536},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScaleSize(c.pixels, c.scale), c.expected) << c.pixels << " x " << c.scale;
    }
}

class ScaledFontTest : public screen_testing::ScreenTest {};

TEST_F(ScaledFontTest, HeightFollowsTheVerticalScale) {
    struct Case {
        int height;
        int weight;
        float scale;
        const WCHAR* face;
        LONG expectedHeight;
        std::u16string expectedFace;
    };
    const Case cases[] = {
        {12, FW_BOLD, 2.0f, nullptr, 24, u"Tahoma"},  // a 192-dpi screen
        {12, FW_NORMAL, 1.3f, nullptr, 16, u"Tahoma"},
        {18, FW_BOLD, 1.0f, u"DejaVu Sans", 18, u"DejaVu Sans"},
    };
    for (const Case& c : cases) {
        g_screenScaleY.store(c.scale);
        g_screenScaleX.store(9.0f);  // never used for heights
        CFont font;
        ASSERT_TRUE(CreateScaledFont(&font, c.height, c.weight, c.face));
        LOGFONTW logFont{};
        ASSERT_TRUE(font.GetLogFont(&logFont));
        EXPECT_EQ(logFont.lfHeight, c.expectedHeight);
        EXPECT_EQ(logFont.lfWeight, c.weight);
        EXPECT_EQ(logFont.lfWidth, 0);
        EXPECT_EQ(logFont.lfEscapement, 0);
        EXPECT_EQ(logFont.lfItalic, 0);
        EXPECT_EQ(std::u16string(logFont.lfFaceName), c.expectedFace);
    }
}

class StringTableTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        platform::ClearMessageBoxes();
        ScreenTest::TearDown();
    }
};

TEST_F(StringTableTest, LoadsTextsAndReportsMissingOnes) {
    WCHAR buffer[260];
    EXPECT_EQ(LoadResString(6041, buffer, 260, TRUE), buffer);
    EXPECT_EQ(std::u16string(buffer), u"OK");
    // The size in bytes is halved: 4 bytes hold one character and the terminator.
    EXPECT_EQ(LoadResStringTo(6010, buffer, 4, TRUE), buffer);
    EXPECT_EQ(std::u16string(buffer), u"C");
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    buffer[0] = u'x';
    EXPECT_EQ(LoadResString(5999, buffer, 260, FALSE), nullptr);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    buffer[0] = u'x';
    EXPECT_EQ(LoadResString(5999, buffer, 260, TRUE), nullptr);
    EXPECT_EQ(buffer[0], 0);
    auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Error loading string 5999");
    EXPECT_EQ(boxes[0].caption, u"ERROR");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
}

TEST_F(StringTableTest, DialogItemRectangleIsInClientCoordinates) {
    HWND dialog = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE, 10, 30, 200, 200,
                                  nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    HWND control =
        CreateWindowExW(0, u"Button", u"x", WS_CHILD | WS_VISIBLE, 15, 40, 50, 20, dialog,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(7)), nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    RECT rect{};
    EXPECT_EQ(GetDlgItemRect(dialog, 7, &rect), 0);
    EXPECT_EQ(rect.left, 15);
    EXPECT_EQ(rect.top, 40);
    EXPECT_EQ(rect.right, 65);
    EXPECT_EQ(rect.bottom, 60);
    EXPECT_EQ(GetDlgItemRect(dialog, 8, &rect), 1);
    EnableWindow(control, FALSE);
    EXPECT_EQ(GetDlgItemRect(dialog, 7, &rect), 1);

    // The screen metrics come from the client rectangle.
    EXPECT_FLOAT_EQ(StoreScreenMetrics(dialog), 1.0f);
    EXPECT_EQ(g_screenWidth.load(), 200);
    EXPECT_EQ(g_screenHeight.load(), 200);
    EXPECT_FALSE(IsLandscapeScreen());
}

}  // namespace
