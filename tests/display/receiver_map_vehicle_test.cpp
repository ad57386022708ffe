// The map view's vehicle over the real receiver, queue and matcher: the map loader
// matches the last saved position, or starts in the middle of the maps when it lies
// outside them, and the view's own position message waits for the last one.
#include "pathlume/display/receiver_map_vehicle.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <new>

#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/sync.h"
#include "platform/user/user.h"
#include "tests/display/frame_maps.h"
#include "tests/support/device_maps.h"
#include "tests/support/vehicle_holds.h"

namespace display_test {
namespace {

constexpr double kFeetPerDegree = 364811.21852753137;

double FeetBetween(double lat1, double lon1, double lat2, double lon2) {
    const double c = std::cos(lat1 * 3.14159265358979323846 / 180);
    return std::hypot((lon2 - lon1) * c, lat2 - lat1) * kFeetPerDegree;
}

void CloseMapDatabase() {
    g_mapDatabase.~CMapDatabase();
    new (&g_mapDatabase) CMapDatabase();
}

class ReceiverMapVehicleTest : public FrameTest {
  protected:
    void SetUp() override {
        testing_support::SetDataFolder(TownMapsFolder());
        InstallReceiverMapVehicle(&receiver_);
        ForgetVehicle();
    }
    void TearDown() override {
        InstallReceiverMapVehicle(nullptr);
        ForgetVehicle();
        CloseMapDatabase();
        testing_support::SetDataFolder({});
        FrameTest::TearDown();
    }
    static void ForgetVehicle() {
        testing_support::ForgetVehicle(g_mapMatcher);
        g_mapMatcher.Reset(0);
        g_positionQueue.Clear();
    }

    CNmeaReceiver receiver_;
};

TEST_F(ReceiverMapVehicleTest, TheLoaderMatchesTheLastPositionOrStartsInTheMapsMiddle) {
    const discmaker::LatLon centre = TownCentre();
    const struct {
        const char* name;
        double latitude, longitude;
        bool inside;
    } cases[] = {
        {"on a road of the town", centre.lat, centre.lon, true},
        {"far outside the maps", centre.lat + 5, centre.lon + 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float latitude = static_cast<float>(c.latitude);
        const float longitude = static_cast<float>(c.longitude);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, std::bit_cast<DWORD>(latitude));
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue,
                    std::bit_cast<DWORD>(longitude));
        receiver_.UpdateFix([](GpsFix& fix) { fix.valid = true; });
        CMapView view(nullptr);
        ASSERT_EQ(view.LoadMaps(), 0);
        const MapLocation& at = g_vehicleLocation;
        ASSERT_NE(at.GetLink(true), nullptr);
        const GpsFix fix = receiver_.GetFix();
        if (c.inside) {
            // The saved position, matched onto its road.
            EXPECT_EQ(fix.latitude, latitude);
            EXPECT_EQ(fix.longitude, longitude);
            EXPECT_TRUE(fix.valid);
            EXPECT_LT(
                FeetBetween(c.latitude, c.longitude, at.position.latitude, at.position.longitude),
                50.0);
        } else {
            // No fix: the receiver stands where the vehicle was put on the maps.
            EXPECT_FALSE(fix.valid);
            EXPECT_EQ(fix.latitude, at.position.latitude);
            EXPECT_EQ(fix.longitude, at.position.longitude);
            EXPECT_LT(FeetBetween(centre.lat, centre.lon, fix.latitude, fix.longitude), 5 * 5280.0);
        }
        EXPECT_EQ(g_positionQueue.Count(), 0);
        ForgetVehicle();
        CloseMapDatabase();
    }
}

// A main view whose window counts the view's own position messages.
class PostCountingHost final : public render::HeadlessMapHost {
  public:
    PostCountingHost() : HeadlessMapHost(240, 320, 268) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.lpszClassName = u"VehiclePostTest";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, u"VehiclePostTest", u"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    }
    ~PostCountingHost() { DestroyWindow(window_); }
    HWND GetViewWindow() override { return window_; }
    void Pump() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }

    static inline int posts = 0;
    static inline LPARAM lastValue = 0;

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_USER && wParam == kNewFixMessage) {
            ++posts;
            lastValue = lParam;
            LowerPendingFixPosts();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
};

TEST_F(ReceiverMapVehicleTest, TheViewsPositionMessageWaitsForTheLastOne) {
    platform::InterlockedTarget(&g_pendingFixPosts).store(0);
    PostCountingHost host;
    g_mainView.store(&host);
    GetMapVehicle().PostPosition();
    GetMapVehicle().PostPosition();
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 1);
    host.Pump();
    EXPECT_EQ(PostCountingHost::posts, 1);
    EXPECT_EQ(PostCountingHost::lastValue, static_cast<LPARAM>(0x80000003u));
    GetMapVehicle().PostPosition();
    host.Pump();
    EXPECT_EQ(PostCountingHost::posts, 2);
    // Without a main view nothing is posted.
    g_mainView.store(nullptr);
    GetMapVehicle().PostPosition();
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 0);
}

}  // namespace
}  // namespace display_test
