// Display Options and Icons to Display in the running program: what each way out
// stores and changes, and the map drawn after them.
#include "pathlume/shell/display_options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pathlume/display/poi_layer.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/option_dialogs.h"
#include "tests/shell/option_dialog_fixture.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

constexpr DWORD kUnset = 0xBADBAD;

DWORD Setting(LPCWSTR name) {
    return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, name, kUnset);
}

void ClearSetting(LPCWSTR name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, 0, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name);
        RegCloseKey(key);
    }
}

std::vector<uint8_t> StoredIconChoice() {
    uint8_t bytes[64];
    DWORD size = sizeof bytes;
    if (RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", bytes, &size) != 0)
        return {};
    return std::vector<uint8_t>(bytes, bytes + size);
}

using DisplayOptionsTest = OptionDialogTest;

// Cancel puts back the icon mode the dialog found, not the one the view remembers
// from its own button; Custom ends the dialog at once and stores nothing.
TEST_F(DisplayOptionsTest, CancelAndCustomStoreNothing) {
    g_poiIconMode.store(0);
    view_->SetPoiModeMemory(2);
    for (const bool escape : {false, true}) {
        EXPECT_EQ(Run<CDisplayOptionsDlg>(
                      [escape](CDisplayOptionsDlg& d) {
                          Press(d, 569);  // Off, at once
                          EXPECT_EQ(g_poiIconMode.load(), 1u);
                          if (escape)
                              platform::PostKeyPress(VK_ESCAPE);
                          else
                              Press(d, IDCANCEL);
                      },
                      view_),
                  IDCANCEL);
        EXPECT_EQ(g_poiIconMode.load(), 0u);
    }

    ClearSetting(u"3DMode");
    ClearSetting(u"POIIconMode");
    EXPECT_EQ(Run<CDisplayOptionsDlg>(
                  [](CDisplayOptionsDlg& d) {
                      Press(d, 616);
                      Press(d, 564);
                      Press(d, kDisplayOptionsIcons);
                  },
                  view_),
              kDisplayOptionsIcons);
    EXPECT_EQ(g_poiIconMode.load(), 2u);
    EXPECT_EQ(g_map3DMode.load(), 0u);
    EXPECT_EQ(Setting(u"3DMode"), kUnset);
    EXPECT_EQ(Setting(u"POIIconMode"), kUnset);
    EXPECT_NE(g_colorMode.load(), kColorModeNight);
}

// OK writes all five values, changed or not, and asks for the map; Auto colours run
// the day and night decision (day without a fix), a fixed choice sets that mode.
TEST_F(DisplayOptionsTest, OkStoresEveryValueAndAppliesTheColours) {
    for (LPCWSTR name : {u"3DMode", u"ColorTheme", u"ColorMode", u"POIIconMode", u"Options"})
        ClearSetting(name);
    g_colorModeSetting.store(kColorModeAutomatic);
    SetColorMode(kColorModeNight);
    EXPECT_EQ(Run<CDisplayOptionsDlg>([](CDisplayOptionsDlg& d) { Press(d, IDOK); }, view_), IDOK);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    EXPECT_EQ(Setting(u"3DMode"), g_map3DMode.load());
    EXPECT_EQ(Setting(u"ColorTheme"), g_colorTheme.load());
    EXPECT_EQ(Setting(u"ColorMode"), kColorModeAutomatic);
    EXPECT_EQ(Setting(u"POIIconMode"), g_poiIconMode.load());
    EXPECT_EQ(Setting(u"Options"), g_options.load());
    EXPECT_EQ(g_colorMode.load(), 0u);  // no fix: day

    Run<CDisplayOptionsDlg>(
        [](CDisplayOptionsDlg& d) {
            Press(d, 564);  // Night
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(g_colorMode.load(), kColorModeNight);
    EXPECT_EQ(g_colorModeSetting.load(), kColorModeNight);
    EXPECT_EQ(Setting(u"ColorMode"), kColorModeNight);
}

// Stored values out of range check no button; OK then keeps the theme.
TEST_F(DisplayOptionsTest, ValuesOutOfRangeCheckNothing) {
    g_colorTheme.store(9);
    g_map3DMode.store(7);
    g_poiIconMode.store(5);
    g_colorModeSetting.store(3);
    Run<CDisplayOptionsDlg>(
        [](CDisplayOptionsDlg& d) {
            for (const CMapButton* b :
                 {&d.m_yellow, &d.m_gray, &d.m_white, &d.m_purple, &d.m_view1, &d.m_view2,
                  &d.m_view3, &d.m_view2D, &d.m_poiDefault, &d.m_poiOff, &d.m_poiCustom})
                EXPECT_FALSE(b->selected) << b->GetDlgCtrlID();
            EXPECT_TRUE(d.m_day.selected);  // a colour mode above 2 is day
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(g_colorTheme.load(), 9u);
    EXPECT_EQ(g_map3DMode.load(), 0u);
    EXPECT_EQ(g_colorModeSetting.load(), 0u);
}

// North up, night, the 3D view "2" and the white theme: the next frame of the map.
TEST_F(DisplayOptionsTest, TheNextFrameShowsTheNewDisplay) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    Run<CDisplayOptionsDlg>(
        [](CDisplayOptionsDlg& d) {
            for (UINT id : {561u, 564u, 616u, 841u})
                Press(d, id);
            Press(d, IDOK);
        },
        view_);
    EXPECT_TRUE(g_options.load() & kOptionNorthUp);
    EXPECT_EQ(g_colorMode.load(), kColorModeNight);
    EXPECT_EQ(g_map3DMode.load(), 2u);
    EXPECT_EQ(g_colorTheme.load(), 2u);
    EXPECT_EQ(Setting(u"ColorTheme"), 2u);
    view_->Refresh();
    Pump();
    EXPECT_TRUE(ShellScreenMatchesGolden("map_after_display_options_qvga"));
}

// With no stored choice the filter opens with the built-in categories; a code of a
// category it does not know is kept for the map; OK stores the chosen codes.
TEST_F(DisplayOptionsTest, IconFilterStoresTheChosenCategories) {
    Run<CPoiFilterDlg>(
        [](CPoiFilterDlg& d) {
            std::vector<int> checked;
            for (int i = 0; i < kPoiFilterCategories; ++i)
                checked.push_back(d.m_categories[i].selected);
            EXPECT_EQ(checked, (std::vector<int>{0, 0, 1, 0, 0, 1, 0, 1, 1}));
            d.EndDialog(IDCANCEL);
        },
        view_);
    EXPECT_TRUE(StoredIconChoice().empty());  // Cancel stores nothing

    const uint32_t stored[] = {0xFFFFFF00, 0xFFFFFF0C};
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes",
                           reinterpret_cast<const BYTE*>(stored), sizeof stored),
              0);
    EXPECT_EQ(Run<CPoiFilterDlg>(
                  [](CPoiFilterDlg& d) {
                      EXPECT_EQ(d.m_loadedBits, 0x101u);
                      Press(d, 633);  // Clr: Bank/ATM stays
                      EXPECT_TRUE(d.m_categories[8].selected);
                      Press(d, 546);  // and changes nothing
                      EXPECT_TRUE(d.m_categories[8].selected);
                      Press(d, 547);  // Restaurant
                      Press(d, IDOK);
                  },
                  view_),
              IDOK);
    EXPECT_EQ(StoredIconChoice(),
              (std::vector<uint8_t>{0x06, 0xFF, 0x00, 0x00, 0x0C, 0xFF, 0xFF, 0xFF}));

    Run<CPoiFilterDlg>(
        [](CPoiFilterDlg& d) {
            Press(d, 632);  // All
            Press(d, IDOK);
        },
        view_);
    const std::vector<uint8_t> all = StoredIconChoice();
    ASSERT_EQ(all.size(), 36u);
    EXPECT_EQ(all[24], 0x06);
    EXPECT_EQ(all[27], 0x00);

    // Nothing chosen is stored as the cities alone, not as an empty value that
    // would read back as the built-in choice.
    const uint32_t one[] = {0xFFFFFF00};
    ASSERT_EQ(RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes",
                           reinterpret_cast<const BYTE*>(one), sizeof one),
              0);
    Run<CPoiFilterDlg>(
        [](CPoiFilterDlg& d) {
            Press(d, 633);
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(StoredIconChoice(), (std::vector<uint8_t>{0x08, 0xFF, 0xFF, 0xFF}));
    uint32_t codes[kPoiSelectionRoom];
    EXPECT_EQ(LoadPoiSelection(codes, 0, 0, 2), 2);
}

// The map's icons follow the stored choice at the next frame in the Custom mode.
TEST_F(DisplayOptionsTest, TheMapDrawsTheChosenIcons) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"POIIconMode", 2);
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    auto categoriesFound = [this] {
        view_->forceRedraw = TRUE;
        view_->Refresh();
        Pump();
        std::vector<int> categories;
        for (const PoiFound& found : view_->MapView().Pois().Found())
            categories.push_back(found.category);
        return categories;
    };
    Run<CPoiFilterDlg>(
        [](CPoiFilterDlg& d) {
            Press(d, 633);
            Press(d, 547);
            Press(d, IDOK);
        },
        view_);
    for (int category : categoriesFound())
        EXPECT_TRUE(category == 6 || category == 8) << category;
}

}  // namespace
}  // namespace shell_test
