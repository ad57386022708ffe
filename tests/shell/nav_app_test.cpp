#include "pathlume/shell/nav_app.h"

#include <gtest/gtest.h>

#include <bit>
#include <thread>

#include "pathlume/display/map_interfaces.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/gps_device.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

class NavAppTest : public AppTest {};

TEST_F(NavAppTest, StartsShowsTheMapAndCloses) {
    InstallTownMaps();
    InstallVoiceFiles();
    ASSERT_TRUE(Start());
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(g_mainView.load(), static_cast<IMainView*>(&frame->View()));
    EXPECT_EQ(frame->View().GetScreenMode(), 1u);
    EXPECT_EQ(g_mapsLoading.load(), 0);
    // The main window answers on its own thread only.
    EXPECT_EQ(GetAppMainWindow(), frame);
    CWnd* elsewhere = frame;
    std::thread([&] { elsewhere = GetAppMainWindow(); }).join();
    EXPECT_EQ(elsewhere, nullptr);
    Close();
    EXPECT_EQ(g_mainView.load(), nullptr);
    EXPECT_EQ(GetAppMainWindow(), nullptr);
}

TEST_F(NavAppTest, WithoutAFixTheMapStartsOnTheRoadOfTheLastPosition) {
    InstallTownMaps();
    InstallVoiceFiles();
    const discmaker::LatLon road = route_test::RouteTown().nodes[10].position;
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue,
                std::bit_cast<DWORD>(static_cast<FLOAT>(road.lat)));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue,
                std::bit_cast<DWORD>(static_cast<FLOAT>(road.lon)));
    ASSERT_TRUE(Start());
    Pump();
    // The view's vehicle is the receiver, loaded and matched by the map loader.
    const VehicleFix fix = GetMapVehicle().GetFix();
    EXPECT_NEAR(fix.latitude, road.lat, 1e-5);
    EXPECT_NEAR(fix.longitude, road.lon, 1e-5);
    EXPECT_NE(g_vehicleLocation.GetLink(false), nullptr);
    EXPECT_NEAR(g_vehicleLocation.position.latitude, road.lat, 1e-3);
    EXPECT_NEAR(g_vehicleLocation.position.longitude, road.lon, 1e-3);
    Close();
}

// A receiver that is not there is reported over the drawn map, not over an empty
// window: the start opens the port once the first map frame is drawn.
TEST_F(NavAppTest, TheStartsPortBoxComesOverTheDrawnMap) {
    InstallTownMaps();
    InstallVoiceFiles();
    platform::TextRecording recording;
    ASSERT_TRUE(Start());
    int boxes = 0;
    bool mapDrawnFirst = true;
    platform::SetMessageBoxHandler(
        [&](HWND, const std::u16string&, const std::u16string&, UINT type) {
            ++boxes;
            bool statusBox = false;
            for (const platform::DrawnText& text : recording.Texts())
                statusBox |= text.text == u"SPEED";
            mapDrawnFirst &= statusBox;
            return platform::DefaultMessageBoxAnswer(type);
        });
    Pump();
    EXPECT_EQ(boxes, 1) << "the missing receiver (COM1:) is reported once";
    EXPECT_TRUE(mapDrawnFirst);
    platform::SetMessageBoxHandler(nullptr);
    Close();
}

}  // namespace
}  // namespace shell_test
