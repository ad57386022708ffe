// Whole runs of the program: everything it takes at start-up it gives back when it
// closes, so a second run in the same process leaves the program heap as it was.
#include <gtest/gtest.h>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/shared_data.h"

namespace shell_test {
namespace {

class LifecycleTest : public AppTest {
  protected:
    // One start and close; the heap's use afterwards.
    size_t RunOnce() {
        EXPECT_TRUE(Start());
        Pump();
        EXPECT_EQ(g_mapsLoading.load(), 0);
        Close();
        EXPECT_EQ(g_mainView.load(), nullptr);
        EXPECT_EQ(g_router, nullptr);
        return HeapBytesInUse();
    }
};

TEST_F(LifecycleTest, TownRunGivesBackEveryHeapBlock) {
    InstallTownMaps();
    InstallVoiceFiles();
    const size_t first = RunOnce();
    EXPECT_EQ(RunOnce(), first);
}

// The map's pen widths and text sizes are scaled for the screen at each start: a
// second start scales the defaults again, not the first start's sizes.
TEST_F(LifecycleTest, ASecondRunDrawsAtTheSameSizes) {
    InstallTownMaps();
    InstallVoiceFiles();
    platform::SetScreenMode(480, 640, 192);
    RunOnce();
    const CMapTheme first = g_mapTheme;
    RunOnce();
    platform::SetScreenMode(240, 320, 96);
    for (int level = 0; level < CMapTheme::kLevels; ++level) {
        EXPECT_EQ(g_mapTheme.streetTextSizes[level], first.streetTextSizes[level]) << level;
        EXPECT_EQ(g_mapTheme.routePenWidths[level], first.routePenWidths[level]) << level;
    }
}

TEST_F(LifecycleTest, AndorraRunGivesBackEveryHeapBlock) {
    if (!InstallAndorraMaps())
        GTEST_SKIP() << "no shared OpenStreetMap data ("
                     << testing_support::SharedDataFolder().string()
                     << "): Andorra's maps are not made";
    InstallVoiceFiles();
    const size_t first = RunOnce();
    EXPECT_EQ(RunOnce(), first);
}

}  // namespace
}  // namespace shell_test
