#include "pathlume/shell/hotkey_table.h"

#include <gtest/gtest.h>

#include <cstring>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/user/user.h"
#include "tests/support/temp_root.h"

namespace {

class HotkeyTableTest : public testing_support::RootsTest {
  protected:
    void Store(DWORD count, const std::vector<HotkeyEntry>& pairs) {
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", count);
        RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys",
                     reinterpret_cast<const BYTE*>(pairs.data()),
                     static_cast<DWORD>(pairs.size() * sizeof(HotkeyEntry)));
    }
};

TEST_F(HotkeyTableTest, FirstStartHasNothingBound) {
    CHotkeyTable table;
    table.Load();
    for (uint32_t key : {0xC1u, 13u, 37u})
        EXPECT_EQ(table.CommandForKey(key), -1);
    EXPECT_EQ(table.GetKey(17), 0xFFFFFFFFu);
    EXPECT_EQ(table.GetCommand(17), 0xFFFFFFFFu);
    EXPECT_EQ(table.GetKey(-1), 0xFFFFFFFFu);
    EXPECT_EQ(table.enabled, 1u);
}

TEST_F(HotkeyTableTest, SavedBindingsComeBackPackedInTableOrder) {
    CHotkeyTable table;
    table.SetEntry(3, 0xC2, kHotkeyMute);
    table.SetEntry(9, 0xC1, kHotkeyVolume);
    table.Save();
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 0), 2u);

    CHotkeyTable loaded;
    loaded.Load();
    EXPECT_EQ(loaded.CommandForKey(0xC2), kHotkeyMute);
    EXPECT_EQ(loaded.CommandForKey(0xC1), kHotkeyVolume);
    EXPECT_EQ(loaded.IndexOfCommand(kHotkeyMute), 0);
    EXPECT_EQ(loaded.IndexOfCommand(kHotkeyVolume), 1);
    EXPECT_EQ(loaded.IndexOfCommand(kHotkeyMenu), -1);
}

TEST_F(HotkeyTableTest, ClearedTableStoresAnEmptyValue) {
    CHotkeyTable table;
    table.Save();
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 9), 0u);
    BYTE buffer[8];
    DWORD size = sizeof buffer;
    ASSERT_EQ(RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"Hotkeys", buffer, &size), 0);
    EXPECT_EQ(size, 0u);
}

// A count larger than the value holds takes only the pairs that are there.
TEST_F(HotkeyTableTest, CountBeyondTheStoredPairsIsCut) {
    Store(40, {{0xC1, kHotkeyMenu}, {0xC3, kHotkeyGpsInfo}});
    CHotkeyTable table;
    table.Load();
    EXPECT_EQ(table.CommandForKey(0xC1), kHotkeyMenu);
    EXPECT_EQ(table.CommandForKey(0xC3), kHotkeyGpsInfo);
    EXPECT_EQ(table.GetCommand(2), CHotkeyTable::kHotkeyUnassigned);
}

// A value longer than the seventeen pairs (another version wrote more) still gives
// its first seventeen.
TEST_F(HotkeyTableTest, ALongerValueGivesItsFirstSeventeenPairs) {
    std::vector<HotkeyEntry> pairs;
    for (uint32_t i = 0; i < 20; ++i)
        pairs.push_back({0x100 + i, i % 17});
    Store(20, pairs);
    CHotkeyTable table;
    table.Load();
    for (int i = 0; i < CHotkeyTable::kEntries; ++i) {
        EXPECT_EQ(table.GetKey(i), 0x100u + static_cast<uint32_t>(i));
        EXPECT_EQ(table.GetCommand(i), static_cast<uint32_t>(i));
    }
    EXPECT_EQ(table.CommandForKey(0x111), -1);
}

TEST_F(HotkeyTableTest, DisabledTableRegistersNothing) {
    HWND window = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    HWND probe = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    CHotkeyTable table;
    table.SetEntry(0, 0xC1, kHotkeyMute);
    table.enabled = 0;
    table.RegisterAll(window, TRUE);
    EXPECT_TRUE(RegisterHotKey(window, 0xC1, MOD_WIN, 0xC1));  // still free
    UnregisterHotKey(window, 0xC1);
    table.enabled = 1;
    table.RegisterAll(window, TRUE);
    EXPECT_FALSE(RegisterHotKey(probe, 1, MOD_WIN, 0xC1));  // taken now
    table.RegisterAll(window, FALSE);
    EXPECT_TRUE(RegisterHotKey(probe, 1, MOD_WIN, 0xC1));
    DestroyWindow(probe);
    DestroyWindow(window);
}

}  // namespace
