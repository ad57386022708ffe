// Speed Alert: the limits in both units, what OK stores from the check boxes and the
// field, Cancel leaving the running alert alone, and the drawn number pad's taps.
#include "pathlume/shell/speed_alert.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/app_settings.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "tests/shell/option_dialog_fixture.h"

namespace shell_test {
namespace {

TEST(SpeedAlertLimitsTest, ConversionsAndWhatOkStores) {
    struct Conversion {
        int typed;
        bool metric;
        LONG mi;
        LONG km;
    };
    for (const Conversion& c : {Conversion{65, false, 65, 104}, Conversion{100, false, 100, 160},
                                Conversion{55, false, 55, 88}, Conversion{160, true, 100, 160},
                                Conversion{120, true, 74, 120}, Conversion{0, false, 0, 0},
                                Conversion{999, false, 999, 1607}}) {
        const SpeedLimits limits = ConvertSpeedLimit(c.typed, c.metric);
        EXPECT_EQ(limits.mi, c.mi) << c.typed;
        EXPECT_EQ(limits.km, c.km) << c.typed;
    }

    struct Accept {
        const char16_t* field;
        bool fixed;
        bool automatic;
        LONG storedMi, storedKm;
        LONG mi, km;
        DWORD autoLimit;
    };
    const Accept cases[] = {
        {u"65", true, false, -55, -90, 65, 104, 0},
        {u"65", false, false, -55, -90, -65, -104, 0},  // kept, but off
        {u"", true, false, -55, -90, 55, 90, 0},        // an empty field keeps the limit
        {u"7x", true, true, 30, 48, 30, 48, 1},
        {u"1234", false, true, 30, 48, -30, -48, 1},
        {u"", false, false, INT32_MIN, INT32_MAX, -999, -999, 0},
        {u"0", true, false, 0, 0, 0, 0, 0},
    };
    for (const Accept& c : cases) {
        const SpeedAlertSettingsChosen chosen =
            AcceptSpeedAlert(c.field, c.fixed, c.automatic, false, c.storedMi, c.storedKm);
        EXPECT_EQ(chosen.limits.mi, c.mi) << c.storedMi;
        EXPECT_EQ(chosen.limits.km, c.km);
        EXPECT_EQ(chosen.autoLimit, c.autoLimit);
    }
    EXPECT_EQ(SpeedLimitFieldText(-55, -90, false), u"55");
    EXPECT_EQ(SpeedLimitFieldText(-55, -90, true), u"90");
    EXPECT_EQ(SpeedLimitFieldText(INT32_MIN, 0, false), u"999");
}

class SpeedAlertTest : public OptionDialogTest {
  protected:
    void SetUp() override {
        OptionDialogTest::SetUp();
        g_options.store(g_options.load() & ~kOptionMetric);
    }
    static void SetLimits(LONG mi, LONG km, DWORD automatic) {
        g_speedLimitMi.store(mi);
        g_speedLimitKm.store(km);
        g_autoSpeedLimit.store(automatic);
    }
    // A press and release on the pad's key of the cell, at once.
    static void TapKey(CSpeedAlertDlg& d, int cell) {
        const RECT key = d.KeyRect(cell);
        const LPARAM at = MAKELPARAM((key.left + key.right) / 2, (key.top + key.bottom) / 2);
        d.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, at);
        d.SendMessage(WM_LBUTTONUP, 0, at);
    }
    static std::u16string Field(CSpeedAlertDlg& d) {
        CString text;
        d.m_limit.GetWindowText(text);
        return text.Str();
    }
};

// Fixed at 30 from the pad: both limits stored and set, the map asked for.
TEST_F(SpeedAlertTest, FixedLimitFromThePad) {
    SetLimits(-55, -88, 0);
    EXPECT_EQ(Run<CSpeedAlertDlg>(
                  [](CSpeedAlertDlg& d) {
                      EXPECT_EQ(d.m_fixed.GetCheck(), BST_UNCHECKED);
                      EXPECT_EQ(Field(d), u"55");
                      Press(d, CSpeedAlertDlg::kFixedId);
                      EXPECT_EQ(d.m_fixed.GetCheck(), BST_CHECKED);
                      d.m_limit.SendMessage(EM_SETSEL, 0, -1);
                      platform::UseManualClock(true);
                      TapKey(d, 4);  // "3"
                      platform::AdvanceClock(200);
                      TapKey(d, 27);  // "0"
                      platform::UseManualClock(false);
                      EXPECT_EQ(Field(d), u"30");
                      Press(d, IDOK);
                  },
                  view_),
              IDOK);
    EXPECT_EQ(g_speedLimitMi.load(), 30);
    EXPECT_EQ(g_speedLimitKm.load(), 48);
    EXPECT_EQ(g_autoSpeedLimit.load(), 0u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI", 0), 30u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitKM", 0), 48u);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"AutoSpeedLimit", 9), 0u);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
}

// A second tap within 150 ms does nothing, nor does its release; backspace removes
// a digit; the field takes three digits at most.
TEST_F(SpeedAlertTest, PadTapsAreDebouncedAndTheFieldHoldsThreeDigits) {
    SetLimits(45, 72, 0);
    Run<CSpeedAlertDlg>(
        [](CSpeedAlertDlg& d) {
            d.m_limit.SendMessage(EM_SETSEL, 0, -1);
            platform::UseManualClock(true);
            TapKey(d, 2);  // "1"
            platform::AdvanceClock(150);
            TapKey(d, 3);  // "2": too soon
            EXPECT_EQ(Field(d), u"1");
            platform::AdvanceClock(1);
            TapKey(d, 3);
            for (int cell : {4, 10, 11}) {  // "3", "4", "5": one more than fits
                platform::AdvanceClock(200);
                TapKey(d, cell);
            }
            EXPECT_EQ(Field(d), u"123");
            platform::AdvanceClock(200);
            TapKey(d, 28);  // backspace
            platform::UseManualClock(false);
            EXPECT_EQ(Field(d), u"12");
            d.EndDialog(IDCANCEL);
        },
        view_);
}

// Both limits 0: the box starts clear and the field shows 0. Unchecked, OK stores
// negative limits that reopen as the field's value with the box clear.
TEST_F(SpeedAlertTest, UncheckedStoresNegativeLimits) {
    SetLimits(0, 0, 0);
    Run<CSpeedAlertDlg>(
        [](CSpeedAlertDlg& d) {
            EXPECT_EQ(d.m_fixed.GetCheck(), BST_UNCHECKED);
            EXPECT_EQ(Field(d), u"0");
            d.m_limit.SetWindowText(u"65");
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(g_speedLimitMi.load(), -65);
    EXPECT_EQ(g_speedLimitKm.load(), -104);
    Run<CSpeedAlertDlg>(
        [](CSpeedAlertDlg& d) {
            EXPECT_EQ(d.m_fixed.GetCheck(), BST_UNCHECKED);
            EXPECT_EQ(Field(d), u"65");
            d.EndDialog(IDCANCEL);
        },
        view_);
}

// The check boxes change nothing of the running alert until OK: Cancel after a click
// (or after the rule at set-up) keeps the automatic alert on.
TEST_F(SpeedAlertTest, CancelAfterABoxClickKeepsTheRunningAlert) {
    SetLimits(60, 96, 1);
    EXPECT_EQ(Run<CSpeedAlertDlg>(
                  [](CSpeedAlertDlg& d) {
                      EXPECT_EQ(d.m_auto.GetCheck(), BST_UNCHECKED);  // the fixed box wins
                      Press(d, CSpeedAlertDlg::kFixedId);
                      Press(d, CSpeedAlertDlg::kAutoId);
                      EXPECT_EQ(d.m_auto.GetCheck(), BST_CHECKED);
                      EXPECT_FALSE(d.m_limit.IsWindowEnabled());
                      Press(d, IDCANCEL);
                  },
                  view_),
              IDCANCEL);
    EXPECT_EQ(g_autoSpeedLimit.load(), 1u);
    EXPECT_EQ(g_speedLimitMi.load(), 60);
    // The automatic alert's notice was shown (headless: answered as a box is).
    bool noticed = false;
    for (const platform::ShownMessageBox& box : platform::ShownMessageBoxes())
        noticed = noticed || box.caption == u"Auto Speed Alert";
    EXPECT_TRUE(noticed);

    // OK stores what the boxes show: both clear, no alert at all.
    Run<CSpeedAlertDlg>(
        [](CSpeedAlertDlg& d) {
            Press(d, CSpeedAlertDlg::kFixedId);
            EXPECT_EQ(d.m_auto.GetCheck(), BST_UNCHECKED);
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(g_autoSpeedLimit.load(), 0u);
    EXPECT_EQ(g_speedLimitMi.load(), -60);
}

}  // namespace
}  // namespace shell_test
