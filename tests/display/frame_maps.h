// Device map files for the frame tests, generated once per test program through
// the disc builder and the headless generation run: the built-in town with small
// cells (roads cross many cell borders) and, when the shared data is there,
// Andorra. And what the frame tests check of a drawn frame.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_root.h"
#include "tools/discmaker/network.h"
#include "tools/render/render.h"

namespace display_test {

const discmaker::Network& FrameTown();
const std::filesystem::path& TownMapsFolder();
// Empty when the shared OpenStreetMap extracts are absent.
const std::filesystem::path& AndorraMapsFolder();

// A 5 x 5 test grid 0.2 km apart from (45 N, 100 W), its middle row an arterial, its
// first column the highway "US 14"; kFork adds an arterial leaving the middle node, so
// the row forks there; kRing adds a ring of four arterials inside a block, touching
// nothing else; kStateRoute numbers the middle row "CA 1".
enum class GridVariant { kPlain, kFork, kRing, kStateRoute };
const std::filesystem::path& TestGridFolder(GridVariant variant);
inline constexpr double kGridMiddleLat = 45.0 + 2 * 0.2 / 111.2;

// Tests that draw frames of the town: its maps made once, the view's globals back at
// their defaults after each test.
class FrameTest : public testing_support::RootsTest {
  protected:
    static void SetUpTestSuite() { TownMapsFolder(); }
    void TearDown() override;
};

// A point of the town near its middle that lies on a road.
discmaker::LatLon TownCentre();
// A QVGA frame of the town at its centre, zoom step 2.
render::Options TownOptions();
// Points on Andorra's arterial roads: Andorra la Vella, Encamp, Sant Julia.
inline constexpr double kAndorraPoints[3][2] = {
    {42.5047, 1.5236}, {42.5346, 1.5801}, {42.4637, 1.4913}};
// A VGA frame of the Andorra maps at a point, view and heading.
render::Options AndorraOptions(const double point[2], bool view3D, float heading);

// What a frame shows of the main layer's roads, against their shapes projected with
// the view's formulas written out here (not the view's code).
struct RoadCoverage {
    int sampled = 0;  // points sampled along the visible class-0xC0 links
    int shown = 0;    // of them, showing the class's fill or casing colour
    int stray = 0;    // 2D: pixels of a class 1-3 colour far from every such link
    std::string Describe() const;
};
RoadCoverage MeasureRoads(render::Session& session, const render::Options& options);

}  // namespace display_test
