// Whole runs of the program: everything it takes at start-up it gives back when it
// closes, so a second run in the same process leaves the program heap as it was.
#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
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
