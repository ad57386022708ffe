// Each option dialog as the running program draws it at QVGA and VGA, on the town
// with a route, compared with golden pictures (tests/shell/golden;
// PATHLUME_UPDATE_GOLDEN=1 rewrites them, on purpose and with a reason in the commit).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "pathlume/foundation/dest_list.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/display_options.h"
#include "pathlume/shell/route_dialogs.h"
#include "pathlume/shell/speed_alert.h"
#include "pathlume/shell/volume_dialog.h"
#include "tests/shell/option_dialog_fixture.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

class OptionDialogGoldenTest : public OptionDialogTest,
                               public testing::WithParamInterface<ScreenSet> {
  protected:
    void SetUp() override {
        const ScreenSet set = GetParam();
        StartAt(set.width, set.height, set.dpi);
    }
    // Shows the dialog and compares the screen with the golden of its name.
    template <class Dialog, class... Args>
    void Compare(const std::string& name, Args&&... args) {
        const std::string golden = name + "_" + GetParam().name;
        Run<Dialog>(
            [&golden](Dialog& dialog) {
                EXPECT_TRUE(ShellScreenMatchesGolden(golden));
                dialog.EndDialog(IDCANCEL);
            },
            std::forward<Args>(args)...);
    }
};

TEST_P(OptionDialogGoldenTest, EachDialog) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    std::snprintf(g_destinationText, kDestinationTextSize, "%s", "1200 HARBOUR ST\r\nGRANTHAM");
    Compare<CRouteOptionsDlg>("route_options", view_);
    Compare<CDetourOptionsDlg>("detour_options", view_, g_router->routeLength);
    Compare<CRouteManagementDlg>("route_management", view_);
    Compare<CAvoidRoadsDlg>("roads_to_avoid", view_);
    Compare<CDisplayOptionsDlg>("display_options", view_);
    Compare<CPoiFilterDlg>("icons_to_display", view_);
    Compare<CGuidanceVolumeDlg>("guidance_volume", view_);
    Compare<CSpeedAlertDlg>("speed_alert", view_);
}

INSTANTIATE_TEST_SUITE_P(Sets, OptionDialogGoldenTest, GoldenScreenSets(), ScreenSetName);

}  // namespace
}  // namespace shell_test
