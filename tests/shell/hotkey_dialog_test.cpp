// The hotkey dialog: key names, the binding rule, and the dialog in the running
// program from a tapped row to a button that runs its function on the map.
#include "pathlume/shell/hotkey_dialog.h"

#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/user/user.h"
#include "tests/shell/running_view.h"

namespace shell_test {
namespace {

TEST(HotkeyNames, KeysAreNamedAsTheDialogShowsThem) {
    const std::pair<uint32_t, const char16_t*> cases[] = {
        {13, u"Action"},     {37, u"Left"},         {38, u"Up"},
        {39, u"Right"},      {40, u"Down"},         {0xC1, u"Button 1"},
        {0xC6, u"Button 6"}, {0xC7, u"Button 199"}, {32, u"Button 32"},
    };
    for (const auto& [key, name] : cases)
        EXPECT_EQ(GetKeyName(key), name) << key;
}

// Each case binds one key after the table's start; the rows blanked and the entries
// left are what counts.
TEST(HotkeyAssign, OneKeyPerFunctionAndOneFunctionPerKey) {
    struct Case {
        const char* label;
        std::vector<HotkeyEntry> before;
        uint32_t command, key;
        std::vector<int> blanked;
        std::vector<HotkeyEntry> after;  // the assigned entries, in table order
        bool changed;
    };
    const Case cases[] = {
        {"a free key to a free function", {}, kHotkeyMute, 0xC1, {}, {{0xC1, kHotkeyMute}}, true},
        {"the key moves to another function",
         {{0xC1, kHotkeyMute}},
         kHotkeyVolume,
         0xC1,
         {kHotkeyMute},
         {{0xC1, kHotkeyVolume}},
         true},
        {"the function takes another key",
         {{0xC1, kHotkeyMute}},
         kHotkeyMute,
         0xC2,
         {},
         {{0xC2, kHotkeyMute}},
         true},
        {"a key bound elsewhere to a function with a key",
         {{0xC1, kHotkeyMute}, {0xC2, kHotkeyVolume}},
         kHotkeyVolume,
         0xC1,
         {kHotkeyMute, kHotkeyVolume},
         {{0xC1, kHotkeyVolume}},
         true},
        {"the same pair again",
         {{0xC1, kHotkeyMute}},
         kHotkeyMute,
         0xC1,
         {kHotkeyMute, kHotkeyMute},
         {{0xC1, kHotkeyMute}},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CHotkeyTable table;
        for (size_t i = 0; i < c.before.size(); ++i)
            table.SetEntry(static_cast<int>(i), c.before[i].key, c.before[i].command);
        std::vector<int> blanked;
        EXPECT_EQ(AssignKeyInTable(table, c.command, c.key, &blanked), c.changed);
        EXPECT_EQ(blanked, c.blanked);
        std::vector<std::pair<uint32_t, uint32_t>> after, expected;
        for (int i = 0; i < CHotkeyTable::kEntries; ++i)
            if (table.GetCommand(i) != CHotkeyTable::kHotkeyUnassigned)
                after.emplace_back(table.GetKey(i), table.GetCommand(i));
        for (const HotkeyEntry& e : c.after)
            expected.emplace_back(e.key, e.command);
        EXPECT_EQ(after, expected);
    }
    // A full table with neither the key nor the function bound changes nothing.
    CHotkeyTable full;
    for (int i = 0; i < CHotkeyTable::kEntries; ++i)
        full.SetEntry(i, 0x100 + static_cast<uint32_t>(i), 100 + static_cast<uint32_t>(i));
    std::vector<int> blanked;
    EXPECT_FALSE(AssignKeyInTable(full, kHotkeyMute, 0xC1, &blanked));
    EXPECT_EQ(full.CommandForKey(0xC1), -1);
}

class HotkeyDialogTest : public RunningViewTest {
  protected:
    void TearDown() override {
        g_hotkeyTable = CHotkeyTable();
        g_hotkeyTable.Save();
        RunningViewTest::TearDown();
    }
    // Runs the Hotkey Options command with `steps` done in the dialog, one per idle
    // moment, the last of them ending it.
    void RunDialog(std::vector<std::function<void(CHotkeyDlg&)>> steps) {
        steps_ = std::move(steps);
        WhenIdle([this] { NextStep(); });
        PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, 3067, 0);
        Pump();
    }
    void NextStep() {
        auto* dialog = dynamic_cast<CHotkeyDlg*>(CWnd::FromHandle(GetActiveWindow()));
        if (!dialog || steps_.empty())
            return;
        const auto step = steps_.front();
        steps_.erase(steps_.begin());
        step(*dialog);
        if (!steps_.empty())
            WhenIdle([this] { NextStep(); });
    }
    std::vector<std::function<void(CHotkeyDlg&)>> steps_;
    static void Select(CHotkeyDlg& dialog, int row) {
        dialog.m_list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        dialog.m_list.SendMessage(LVM_SETSELECTIONMARK, 0, row);
    }
    static void Press(CHotkeyDlg&, UINT key) { platform::PostKeyPress(key); }
};

// The driver taps "Mute", presses the second button and OK: the binding is stored and
// the button mutes on the map; the Escape of another run keeps what was stored.
TEST_F(HotkeyDialogTest, ABoundButtonIsStoredAndRunsItsFunctionOnTheMap) {
    RunDialog({[](CHotkeyDlg& d) { Select(d, kHotkeyMute); },
               [](CHotkeyDlg& d) { Press(d, VK_APP2); },
               [](CHotkeyDlg& d) {
                   EXPECT_EQ(d.RowKeyText(kHotkeyMute), u"Button 2");
                   d.SendMessage(WM_COMMAND, IDOK);
               }});
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 0), 1u);
    CHotkeyTable stored;
    stored.Load();
    EXPECT_EQ(stored.CommandForKey(VK_APP2), kHotkeyMute);
    EXPECT_EQ(view_->modalCount.load(), 0);

    const DWORD before = g_options.load() & kOptionVoiceMuted;
    platform::PostKeyPress(VK_APP2);
    Pump();
    EXPECT_NE(g_options.load() & kOptionVoiceMuted, before);
    platform::PostKeyPress(VK_APP2);
    Pump();
    EXPECT_EQ(g_options.load() & kOptionVoiceMuted, before);
}

// Clear Key clears the row the list shows selected, whichever row was tapped before.
TEST_F(HotkeyDialogTest, ClearKeyActsOnTheSelectedRowOnly) {
    g_hotkeyTable.SetEntry(0, VK_APP1, kHotkeyMenu);
    g_hotkeyTable.SetEntry(1, VK_APP2, kHotkeyMute);
    RunDialog({[](CHotkeyDlg& d) {
        d.row = kHotkeyMute;  // tapped first
        d.rowChosen = TRUE;
        Select(d, kHotkeyMenu);
        d.SendMessage(WM_COMMAND, kHotkeyClearKeyId);
        EXPECT_EQ(d.RowKeyText(kHotkeyMenu), u"");
        EXPECT_EQ(d.RowKeyText(kHotkeyMute), u"Button 2");
        d.SendMessage(WM_COMMAND, IDOK);
    }});
    EXPECT_EQ(g_hotkeyTable.CommandForKey(VK_APP1), -1);
    EXPECT_EQ(g_hotkeyTable.CommandForKey(VK_APP2), kHotkeyMute);
}

// "All" and OK store nothing; Disable and OK leave the buttons unregistered until the
// next start, their bindings stored.
TEST_F(HotkeyDialogTest, AllClearsTheStoreAndDisableStopsTheButtons) {
    g_hotkeyTable.SetEntry(0, VK_APP1, kHotkeyMenu);
    g_hotkeyTable.Save();
    RunDialog({[](CHotkeyDlg& d) {
        d.SendMessage(WM_COMMAND, kHotkeyAllId);
        d.SendMessage(WM_COMMAND, IDOK);
    }});
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 9), 0u);

    g_hotkeyTable.SetEntry(0, VK_APP4, kHotkeyMute);
    g_hotkeyTable.Save();
    RunDialog({[](CHotkeyDlg& d) {
        d.SendMessage(WM_COMMAND, kHotkeyEnableId);
        WCHAR caption[16] = {};
        d.m_enableButton.GetWindowText(caption, 16);
        EXPECT_EQ(std::u16string(caption), u"Enable");
        d.SendMessage(WM_COMMAND, IDOK);
    }});
    EXPECT_EQ(g_hotkeyTable.enabled, 0u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Hotkey Count", 0), 1u);
    // The key is free: nobody registered it.
    EXPECT_TRUE(RegisterHotKey(frame_->GetSafeHwnd(), VK_APP4, MOD_WIN, VK_APP4));
    UnregisterHotKey(frame_->GetSafeHwnd(), VK_APP4);
}

}  // namespace
}  // namespace shell_test
