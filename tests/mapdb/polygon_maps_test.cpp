// The area features of real OpenStreetMap extracts, through the disc builder and the
// desktop generation run, drawn flat into a 480 x 640 bitmap at detail 320: inside
// the largest lake, forest, park and urban area, at a point no later feature covers,
// the pixel has that kind's colour. The pictures are written beside the test
// program for a person to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/polygon_file.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/flat_area_view.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/platform/gdi/surface.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/polygon_writer.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
using discmaker::FeatureKind;
using discmaker::PolygonFeature;

constexpr int kWidth = 480;
constexpr int kHeight = 640;
constexpr int kDetail = 320;
constexpr int kZoom = 2;  // railways drawn, buildings not
// How far (pixels) the chosen point must stay from every edge that could be drawn
// over it: the truncation of points and the thinning of near ones move edges a little.
constexpr double kClearance = 3;

struct Pixel {
    double x;
    double y;
};
using Path = std::vector<Pixel>;

// Whether the drawers draw a feature of this kind at detail 320 and zoom step 2.
bool Drawn(FeatureKind kind) {
    const uint32_t k = discmaker::PolygonKind(kind);
    return k <= 19 && k != 9 && k != 15 && k != 16 && k != 17;
}

bool Inside(const Path& ring, Pixel p) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        if ((ring[i].y > p.y) != (ring[j].y > p.y) &&
            p.x < (ring[j].x - ring[i].x) * (p.y - ring[i].y) / (ring[j].y - ring[i].y) + ring[i].x)
            inside = !inside;
    }
    return inside;
}

double SegmentDistance(Pixel p, Pixel a, Pixel b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length = dx * dx + dy * dy;
    double t = length > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double PathDistance(const Path& path, Pixel p, bool closed) {
    double best = std::numeric_limits<double>::max();
    for (size_t i = 0; i + 1 < path.size(); ++i)
        best = std::min(best, SegmentDistance(p, path[i], path[i + 1]));
    if (closed && path.size() > 2)
        best = std::min(best, SegmentDistance(p, path.back(), path.front()));
    return best;
}

struct Shape {
    const PolygonFeature* feature;
    Path path;
    double minX, minY, maxX, maxY;
};

struct Bounds {
    double west = 180, south = 90, east = -180, north = -90;
    void Add(const discmaker::LatLon& p) {
        west = std::min(west, p.lon);
        east = std::max(east, p.lon);
        south = std::min(south, p.lat);
        north = std::max(north, p.lat);
    }
};

// A view of 480 x 640 pixels centred on a rectangle of the map, showing all of it
// with as many metres to a pixel across as down.
GeoRect FitView(double west, double south, double east, double north) {
    const double cosine = std::cos((south + north) / 2 * M_PI / 180);
    const double degreesPerPixel =
        std::max((east - west) * cosine / kWidth, (north - south) / kHeight);
    const double middleX = (west + east) / 2, middleY = (south + north) / 2;
    return {static_cast<FLOAT>(middleX - degreesPerPixel * kWidth / cosine / 2),
            static_cast<FLOAT>(middleY - degreesPerPixel * kHeight / 2),
            static_cast<FLOAT>(middleX + degreesPerPixel * kWidth / cosine / 2),
            static_cast<FLOAT>(middleY + degreesPerPixel * kHeight / 2)};
}

class PolygonMapsTest : public testing_support::RootsTest,
                        public testing::WithParamInterface<const char*> {
  protected:
    void TearDown() override {
        SetAreaFeatureView(nullptr);
        mapdb_test::SetDataFolder({});
    }

    // Draws the view into the canvas and writes it as <map>-<name>.png.
    void DrawView(const GeoRect& rect, mapdb_test::FlatAreaView& view, gdi_testing::Surface& canvas,
                  const std::string& name) {
        SetAreaFeatureView(&view);
        const PolygonCellRange cells = file_.CellsUnder(rect);
        DrawAreaFeatures2D(file_, canvas.dc(), cells.c0, cells.r0, cells.c1, cells.r1, kDetail,
                           kZoom);
        std::error_code ignored;
        const fs::path folder =
            fs::read_symlink("/proc/self/exe", ignored).parent_path() / "mapdb_areas";
        fs::create_directories(folder, ignored);
        picture_ = folder / (std::string(GetParam()).substr(0, 5) + "-" + name + ".png");
        EXPECT_TRUE(platform::SaveDCAsPng(canvas.dc(), picture_)) << picture_;
    }

    // The drawn features in the view's pixels, in the order the cells hold them.
    std::vector<Shape> Shapes(const mapdb_test::FlatAreaView& view) const {
        std::vector<Shape> shapes;
        for (const PolygonFeature& feature : network_.features) {
            if (!Drawn(feature.kind) || feature.points.size() < 2)
                continue;
            Shape shape{&feature, {}, 1e18, 1e18, -1e18, -1e18};
            for (const discmaker::LatLon& p : feature.points) {
                Pixel pixel;
                view.MapToPixel(static_cast<FLOAT>(p.lon), static_cast<FLOAT>(p.lat), &pixel.x,
                                &pixel.y);
                shape.path.push_back(pixel);
                shape.minX = std::min(shape.minX, pixel.x);
                shape.maxX = std::max(shape.maxX, pixel.x);
                shape.minY = std::min(shape.minY, pixel.y);
                shape.maxY = std::max(shape.maxY, pixel.y);
            }
            shapes.push_back(std::move(shape));
        }
        return shapes;
    }

    // How far a pixel lies from the nearest cell border: a cell's block holds only
    // what lies in the cell.
    double BorderDistance(const mapdb_test::FlatAreaView& view, const GeoRect& rect,
                          Pixel p) const {
        const formats::map_container::GridHeader& h = file_.header;
        const double lon = rect.west + p.x / kWidth * (rect.east - rect.west);
        const double lat = rect.north - p.y / kHeight * (rect.north - rect.south);
        const double column = std::round((lon - h.originLongitude) / h.cellWidth);
        const double row = std::round((lat - h.originLatitude) / h.cellHeight);
        double bx, by, unused;
        view.MapToPixel(h.originLongitude + column * h.cellWidth, lat, &bx, &unused);
        view.MapToPixel(lon, h.originLatitude + row * h.cellHeight, &unused, &by);
        return std::min(std::fabs(p.x - bx), std::fabs(p.y - by));
    }

    // The point inside shapes[index] farthest from every edge drawn over or around it,
    // and its clearance in pixels (0 when every point of it is drawn over).
    std::pair<Pixel, double> ClearestPoint(const std::vector<Shape>& shapes, size_t index,
                                           const mapdb_test::FlatAreaView& view,
                                           const GeoRect& rect) const {
        const Shape& shape = shapes[index];
        Pixel best{0, 0};
        double bestClearance = 0;
        const double step =
            std::max(1.0, std::max(shape.maxX - shape.minX, shape.maxY - shape.minY) / 80);
        for (double y = std::max(shape.minY, 0.0); y < std::min(shape.maxY, 1.0 * kHeight);
             y += step) {
            for (double x = std::max(shape.minX, 0.0); x < std::min(shape.maxX, 1.0 * kWidth);
                 x += step) {
                const Pixel p{std::floor(x) + 0.5, std::floor(y) + 0.5};
                if (!Inside(shape.path, p))
                    continue;
                double clearance =
                    std::min(PathDistance(shape.path, p, true), BorderDistance(view, rect, p));
                for (size_t j = index + 1; j < shapes.size() && clearance > bestClearance; ++j) {
                    const Shape& later = shapes[j];
                    if (p.x < later.minX - clearance || p.x > later.maxX + clearance ||
                        p.y < later.minY - clearance || p.y > later.maxY + clearance)
                        continue;
                    const bool area = !later.feature->openLine;
                    clearance = area && Inside(later.path, p)
                                    ? 0
                                    : std::min(clearance, PathDistance(later.path, p, area));
                }
                if (clearance > bestClearance) {
                    bestClearance = clearance;
                    best = p;
                }
            }
        }
        return {best, bestClearance};
    }

    discmaker::Network network_;
    PolygonFile file_;
    fs::path picture_;
};

TEST_P(PolygonMapsTest, TheLargestAreasOfEachKindAreDrawnInTheirColours) {
    const fs::path extract = testing_support::SharedOsmFolder() / GetParam();
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    network_ = discmaker::ReadOsm(extract);
    discmaker::BuildDiscs(network_, roots_.base() / "disc");  // fits the network in place
    std::ostringstream out, err;
    ASSERT_TRUE(
        mkmaps::Generate({roots_.base() / "disc", roots_.base() / "Maps", {}}, out, err).completed)
        << err.str();
    platform::SetCurrentSide(platform::Side::Device);
    mapdb_test::SetDataFolder(roots_.base() / "Maps");
    ASSERT_EQ(file_.Open(u"polygons.biz"), 0);
    file_.SetDetailThresholds(kDetail);

    // The whole road network, for a person to look at.
    {
        Bounds map;
        for (const discmaker::Node& node : network_.nodes)
            map.Add(node.position);
        const GeoRect rect = FitView(map.west, map.south, map.east, map.north);
        mapdb_test::FlatAreaView view(rect, kWidth, kHeight);
        gdi_testing::Surface canvas(kWidth, kHeight, view.background);
        DrawView(rect, view, canvas, "map");
    }

    // Each kind in a view around its largest area; when features drawn later cover all
    // of it (in Krems the largest lakes lie under the forests around them), the next
    // largest.
    const FeatureKind kinds[] = {FeatureKind::Lake, FeatureKind::Forest, FeatureKind::Park,
                                 FeatureKind::Urban};
    for (FeatureKind kind : kinds) {
        SCOPED_TRACE(discmaker::FeatureKindName(kind));
        std::vector<std::pair<double, const PolygonFeature*>> bySize;
        for (const PolygonFeature& feature : network_.features) {
            if (feature.kind != kind || feature.openLine || feature.points.size() < 3)
                continue;
            double area = 0;
            const auto& ring = feature.points;
            for (size_t a = 0, b = ring.size() - 1; a < ring.size(); b = a++)
                area += (ring[b].lon - ring[a].lon) * (ring[b].lat + ring[a].lat);
            bySize.push_back({std::fabs(area), &feature});
        }
        ASSERT_FALSE(bySize.empty()) << "the map has no such area";
        std::sort(bySize.begin(), bySize.end(),
                  [](const auto& a, const auto& b) { return a.first > b.first; });
        bool checked = false;
        for (size_t rank = 0; rank < bySize.size() && !checked; ++rank) {
            const PolygonFeature& feature = *bySize[rank].second;
            Bounds box;
            for (const discmaker::LatLon& p : feature.points)
                box.Add(p);
            const double marginX = (box.east - box.west) / 8;
            const double marginY = (box.north - box.south) / 8;
            const GeoRect rect = FitView(box.west - marginX, box.south - marginY,
                                         box.east + marginX, box.north + marginY);
            mapdb_test::FlatAreaView view(rect, kWidth, kHeight);
            const std::vector<Shape> shapes = Shapes(view);
            size_t index = 0;
            while (shapes[index].feature != &feature)
                ++index;
            const auto [point, clearance] = ClearestPoint(shapes, index, view, rect);
            if (clearance < kClearance)
                continue;
            gdi_testing::Surface canvas(kWidth, kHeight, view.background);
            DrawView(rect, view, canvas, discmaker::FeatureKindName(kind));
            EXPECT_EQ(canvas.At(static_cast<int>(point.x), static_cast<int>(point.y)),
                      mapdb_test::kAreaTestColours[discmaker::PolygonKind(kind)])
                << "area " << rank + 1 << " in size, at pixel " << point.x << ", " << point.y
                << " (" << clearance << " pixels clear), see " << picture_;
            if (rank > 0)
                std::printf(
                    "%s: the largest %s areas lie under later features; area %zu of %zu in size "
                    "checked\n",
                    GetParam(), discmaker::FeatureKindName(kind), rank + 1, bySize.size());
            checked = true;
        }
        EXPECT_TRUE(checked) << "every area of the kind lies under later features";
    }
}

INSTANTIATE_TEST_SUITE_P(Extracts, PolygonMapsTest,
                         testing::Values("north-bayreuth.osm.gz", "krems.osm.gz"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, 5) == "north"
                                        ? "NorthBayreuth"
                                        : "Krems";
                         });

}  // namespace
