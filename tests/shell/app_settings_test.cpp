#include "pathlume/shell/app_settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

TEST(ScaleSetting, OnlyFiniteValuesUpToEightCount) {
    struct Case {
        const char16_t* text;
        float expected;
    };
    const Case cases[] = {{u"1.5", 1.5f},  {u"2", 2.0f},    {u"8", 8.0f},   {u"0", 1.25f},
                          {u"-1", 1.25f},  {u"abc", 1.25f}, {u"", 1.25f},   {u"1e40", 1.25f},
                          {u"nan", 1.25f}, {u"inf", 1.25f}, {u"8.5", 1.25f}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseScaleSetting(c.text, 1.25f), c.expected)
            << "text " << (c.text[0] ? "" : "(empty)");
}

TEST(DayAndNight, WrapsTheMinuteAroundSunriseAndSunset) {
    struct Case {
        int minute, sunrise, sunset, night;
    };
    const Case cases[] = {
        {100, 1300, 1700, 0},  // 100 + 1440 lies between them: day
        {720, 360, 1080, 0},   // noon
        {1200, 360, 1080, 1},  // evening
        {300, 360, 1080, 1},   // before sunrise
        {1080, 360, 1080, 1},  // at sunset already night
        {360, 360, 1080, 0},   // at sunrise day
        {1500, -60, 1500, 1},  // past both
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNightAt(c.minute, c.sunrise, c.sunset), c.night)
            << c.minute << " " << c.sunrise << " " << c.sunset;
}

class SettingsTest : public AppTest {};

TEST_F(SettingsTest, ReadsTheStartupValuesMaskedAndScaled) {
    InstallTownMaps();
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0xFFFFFFFF);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RecentLimit", 7);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const char16_t xScale[] = u"1.5";
    const char16_t yScale[] = u"1e40";
    RegSetValueExW(key, u"XScale", 0, REG_SZ, reinterpret_cast<const BYTE*>(xScale), sizeof xScale);
    RegSetValueExW(key, u"YScale", 0, REG_SZ, reinterpret_cast<const BYTE*>(yScale), sizeof yScale);
    RegCloseKey(key);

    ASSERT_EQ(AppLoadSettings(), 0);
    EXPECT_EQ(g_options.load(), 0x8002F7FFu);
    EXPECT_EQ(g_recentLimit.load(), 7u);
    EXPECT_EQ(g_screenScaleX.load(), 1.5f);
    EXPECT_EQ(g_screenScaleY.load(), 1.0f);  // 96 dpi
    EXPECT_EQ(g_homeKeyPressed.load(), 0u);
    EXPECT_NE(g_statusBoxBitmap, nullptr);
    AppShutdown();
}

TEST_F(SettingsTest, DefaultsWithoutRegistryValues) {
    InstallTownMaps();
    ASSERT_EQ(AppLoadSettings(), 0);
    EXPECT_EQ(g_options.load(), 0x5005u);
    EXPECT_EQ(g_recentLimit.load(), 25u);
    EXPECT_EQ(g_speedLimitMi.load(), -55);
    EXPECT_EQ(g_speedLimitKm.load(), -90);
    EXPECT_EQ(g_colorModeSetting.load(), 2u);
    AppShutdown();
}

TEST_F(SettingsTest, EachMissingMapFileReportsMissingData) {
    for (const char* missing : {"poi.bin", "linkinfo.bin", "names.bin"}) {
        InstallTownMaps();
        std::filesystem::remove(InstallFolder() / "Maps" / missing);
        EXPECT_EQ(AppLoadSettings(), 1) << missing;
        AppShutdown();
    }
}

// A "names.bin" of another version is reported once and kept closed: the program
// goes on without street names, and a resume does not open it again.
TEST_F(SettingsTest, AWrongNamesMagicIsReportedOnceAndNothingIsKeptOpen) {
    InstallTownMaps();
    {
        std::fstream names(InstallFolder() / "Maps" / "names.bin",
                           std::ios::in | std::ios::out | std::ios::binary);
        names.write("NM01", 4);
    }
    platform::ClearMessageBoxes();
    EXPECT_EQ(AppLoadSettings(), 0);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(u"names.bin"), std::u16string::npos);
    EXPECT_FALSE(g_namesFile.IsOpen());
    ReopenMapIndexFiles(g_mapDatabase);
    EXPECT_FALSE(g_namesFile.IsOpen());
    EXPECT_EQ(platform::ShownMessageBoxes().size(), 1u);
    AppShutdown();
    platform::ClearMessageBoxes();
}

// What a brush paints into a small bitmap.
std::vector<COLORREF> Painted(HBRUSH brush) {
    constexpr int kSide = 16;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kSide, kSide);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECT all{0, 0, kSide, kSide};
    FillRect(dc, &all, brush);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

TEST_F(SettingsTest, NightModeBuildsThePatternBrushAgain) {
    InstallTownMaps();
    ASSERT_EQ(AppLoadSettings(), 0);
    SetColorMode(0);
    const HBRUSH day = GetBackgroundBrush();
    ASSERT_NE(day, nullptr);
    const std::vector<COLORREF> dayPattern = Painted(day);
    SetColorMode(1);
    EXPECT_EQ(g_colorMode.load(), 1u);
    ASSERT_NE(GetBackgroundBrush(), nullptr);
    EXPECT_NE(Painted(GetBackgroundBrush()), dayPattern);
    SetColorMode(0);
    EXPECT_EQ(Painted(GetBackgroundBrush()), dayPattern);
    SetColorMode(1);
    // Without a fix the sun does not count: day.
    EXPECT_EQ(UpdateDayNightMode(), 0);
    EXPECT_EQ(g_colorMode.load(), 0u);
    AppShutdown();
}

}  // namespace
}  // namespace shell_test
