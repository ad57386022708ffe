// The built-in town's device maps for the router's tests, generated once per test
// program, with the program's map database opened on them and a router made for
// each test.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "pathlume/mapdb/snap.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/router.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/network.h"

namespace route_test {

// A receiver with a good 3D fix of 8 satellites at 30 mph, heading one way.
class HeadingFix final : public IPositioningServices {
  public:
    explicit HeadingFix(FLOAT heading = 0) : heading_(heading) {}
    int GetFixQuality() override { return 2; }
    FLOAT GetSpeed(int) override { return 30; }
    void ClearFix() override {}
    BOOL IsOpenInProgress() override { return FALSE; }
    void SetPaused(int) override {}
    BOOL IsFixValid() override { return TRUE; }
    int GetSatellitesUsed() override { return 8; }
    FLOAT GetHeading() override { return heading_; }
    FLOAT GetFixLatitude() override { return 39.2f; }
    void ResetMatcher(int) override {}
    int SnapWithTimeout(DWORD, int) override { return 0; }
    void StepTrackSim() override {}
    TravelDirection UpdateTravelDirection() override { return kTravelForward; }
    int GetQueueCount() override { return 0; }
    BOOL IsInputSuspended() override { return FALSE; }

  private:
    FLOAT heading_;
};

// The town the maps are made of (seed 5, about 1,500 links).
const discmaker::Network& RouteTown();
// Its device files; built at the first call, removed when the program ends.
const std::filesystem::path& RouteTownMaps();

// The town with a small grid of streets east of it that no road reaches; its
// centre goes to `centre`.
const std::filesystem::path& DetachedGridMaps(MapPoint* centre);

// The middles of the town's links that touch its roundabout without being part of it.
std::vector<MapPoint> RoundaboutSpokes();

// Points g_dataFolder at the folder (an empty folder clears it).
void SetDataFolder(const std::filesystem::path& folder);
// Opens g_mapDatabase afresh on the data folder: 0, or Open's result.
int ReopenMapDatabase();
// Drops everything g_mapDatabase holds.
void CloseMapDatabase();

// The point `fraction` of the link's length from its from-node, and its shape
// segment.
MapPoint PointAlong(const MapLink& link, double fraction, uint32_t* segment);
// A loaded link of the town, two-way or one-way (either way round), at least
// `metres` long, neither roundabout nor ramp, leading into no dead end either way;
// null when there is none.
MapLink* FindTownLink(bool oneWay, double metres);

// What is wrong with the router's route, or empty: a route along one link runs the
// link's way; otherwise every entry resolves to a node
// whose slot holds the entry's link; each link leads to the next entry's node; no
// link is driven against its direction and no turn is a forbidden one.
std::string CheckRouteRules(const CRouter& router);

// Tests on the town's maps: g_mapDatabase open on them, a router installed, boxes
// answered and recorded.
class RouteMapsTest : public testing_support::RootsTest {
  protected:
    static void SetUpTestSuite() { RouteTownMaps(); }
    void SetUp() override;
    void TearDown() override;

    // Snaps both points within 1 km and runs CalculateRoute with the method.
    // Returns false when a point has no road near.
    bool Route(const MapPoint& from, const MapPoint& to, int method,
               uint32_t options = kRouteFlagsDefault);
    // The two halves of Route: the snaps (false when a point has no road near), and
    // the calculation between the snapped ends.
    bool SnapEnds(const MapPoint& from, const MapPoint& to);
    void RouteSnapped(int method, uint32_t options = kRouteFlagsDefault);
    // The router's target at the snapped destination.
    RouteTarget SnappedTarget();
    // The town's bounds.
    MapPoint SouthWest() const;
    MapPoint NorthEast() const;

    CRouter* router_ = nullptr;
    LinkSnap from_;
    LinkSnap to_;
    MapLink fromLink_{};
    MapLink toLink_{};
};

}  // namespace route_test
