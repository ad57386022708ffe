// What the map database reads of the map display, before the display installs its theme.
#include "pathlume/mapdb/display_values.h"

#include <gtest/gtest.h>

#include "platform/user/user.h"

namespace {

TEST(DisplayValuesTest, ThemeDefaults) {
    IMapDisplayValues& values = GetMapDisplayValues();
    EXPECT_EQ(values.GetZoomLevelCount(), 9);
    EXPECT_EQ(values.FindLastLevelBelow(), 5);  // draw class 256 at level 5, 192 after it
    EXPECT_EQ(values.GetViewFactor(), 4.0f);
    EXPECT_EQ(values.GetZoomWidthFeet(0), 100.0f);
    EXPECT_EQ(values.GetZoomWidthFeet(6), 10560.0f);
    EXPECT_EQ(values.GetZoomWidthMetres(6), 5000.0f);
    EXPECT_EQ(values.GetZoomWidthMetres(8), 20000.0f);
    EXPECT_EQ(values.GetZoomWidthFeet(9), 0.0f);
    EXPECT_EQ(values.GetScreenWidth(), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(values.GetScreenHeight(), GetSystemMetrics(SM_CYSCREEN));
}

class SmallScreen : public DefaultMapDisplayValues {
  public:
    int GetScreenWidth() override { return 240; }
};

TEST(DisplayValuesTest, TheDisplayCanInstallItsOwn) {
    SmallScreen small;
    SetMapDisplayValues(&small);
    EXPECT_EQ(GetMapDisplayValues().GetScreenWidth(), 240);
    SetMapDisplayValues(nullptr);
    EXPECT_EQ(&GetMapDisplayValues() == &small, false);
}

}  // namespace
