#include "tests/display/frame_maps.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/roots.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace display_test {

namespace fs = std::filesystem;

namespace {

// Generated files that live as long as the test program.
struct GeneratedMaps {
    fs::path folder;
    explicit GeneratedMaps(const std::string& name, discmaker::Network network,
                           const discmaker::BuildOptions& options) {
        folder = fs::temp_directory_path() /
                 ("pathlume-frame-maps-" + name + "-" + std::to_string(::getpid()));
        // A folder of this name is a dead process's (same PID) that never reached its
        // destructor: start from nothing.
        fs::remove_all(folder);
        fs::create_directories(folder);
        testing_support::TempRoots roots;
        discmaker::BuildDiscs(network, roots.base() / "disc", options);
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({roots.base() / "disc", roots.base() / "maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!figures.completed)
            throw std::runtime_error("map generation failed: " + err.str());
        for (const fs::directory_entry& entry : fs::directory_iterator(roots.base() / "maps"))
            fs::copy_file(entry.path(), folder / entry.path().filename());
    }
    ~GeneratedMaps() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

// The frame's projection written out from the formulas: flat stage, then in 3D
// the perspective stage. Valid for a view centred on the fix, as in a session.
struct Projector {
    double lon0, lat0, a, b, c, d, R, B, W, H, tilt;
    bool view3D;

    Projector(const render::Options& o, int mapHeight) {
        const bool metric = (g_options.load() & kOptionMetric) != 0;
        const double value = g_mapTheme.GetZoomValue(o.zoom);
        const double span = value * 4.0 * (metric ? 8.993253848543394e-6 : 2.741143773034854e-6);
        const double cosLat = std::cos(std::fabs(o.latitude) * 0.017453292);
        W = o.width;
        H = mapHeight;
        const double kx = W / (span / cosLat);
        const double ky = H / (span * H / W);
        const double h = o.heading * 0.017453292;
        a = kx * std::cos(h);
        b = kx * std::sin(h);
        c = ky * std::sin(h);
        d = ky * std::cos(h);
        view3D = o.view3D;
        R = std::floor(W / 2);
        B = std::trunc(H * (1 - (view3D ? 0.13 : 0.4)));
        lon0 = static_cast<float>(o.longitude);
        lat0 = static_cast<float>(o.latitude);
        tilt = W < H ? 0.8482300639 : 0.5969026089;  // 3D mode 2
    }
    // False when the point lies behind the near plane.
    bool Project(double lon, double lat, double* x, double* y) const {
        const double dx = lon - lon0, dy = lat0 - lat;
        const double X = a * dx + c * dy + R, Y = d * dy - b * dx + B;
        if (!view3D) {
            *x = X;
            *y = Y;
            return true;
        }
        const double s = std::sin(tilt), k = std::cos(tilt);
        const double u = X - W * 0.5, v = H - Y;
        const double depth = v * k + 50.0;
        if (depth < 25.0 + 2.0 || Y >= H + 25 - 2)
            return false;
        *x = (H / depth) * u + W * 0.5;
        *y = (s + 1) * H * 0.5 + (W / depth) * (-v * s);
        return true;
    }
};

bool Near(COLORREF a, COLORREF b) {
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF),
                  cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > 24)
            return false;
    }
    return true;
}

std::vector<MapPoint> LinkPoints(const MapLink& link) {
    std::vector<MapPoint> points;
    auto real = [](const MapNode* node) {
        return node && node->position.latitude != ProxyNode::kLatitude;
    };
    if (real(link.fromNode))
        points.push_back(link.fromNode->position);
    for (uint32_t i = 0; i < link.GetShapePointCount(); ++i)
        points.push_back(link.shapePoints[i]);
    if (real(link.toNode))
        points.push_back(link.toNode->position);
    return points;
}

}  // namespace

const discmaker::Network& FrameTown() {
    static const discmaker::Network town = discmaker::BuildTown(5, 1500);
    return town;
}

const fs::path& TownMapsFolder() {
    discmaker::BuildOptions options;
    options.layout.maxNodesPerDetailedCell = 60;
    options.layout.maxNodesPerOverviewCell = 200;
    static GeneratedMaps maps("town", FrameTown(), options);
    return maps.folder;
}

const fs::path& TestGridFolder(GridVariant variant) {
    auto build = [](GridVariant which) {
        discmaker::Network grid = discmaker::MakeTestGrid(5, 5);
        // The node nearest the grid's middle.
        double lat = 0, lon = 0;
        for (const discmaker::Node& node : grid.nodes) {
            lat += node.position.lat / grid.nodes.size();
            lon += node.position.lon / grid.nodes.size();
        }
        uint32_t middle = 0;
        for (uint32_t i = 0; i < grid.nodes.size(); ++i)
            if (std::hypot(grid.nodes[i].position.lat - lat, grid.nodes[i].position.lon - lon) <
                std::hypot(grid.nodes[middle].position.lat - lat,
                           grid.nodes[middle].position.lon - lon))
                middle = i;
        auto addArterial = [&grid](uint32_t from, uint32_t to) {
            discmaker::Link link;
            link.from = from;
            link.to = to;
            link.roadClass = discmaker::RoadClass::Arterial;
            grid.links.push_back(link);
        };
        if (which == GridVariant::kRing) {
            // A square of 60 m sides in the block south-east of the middle node.
            const discmaker::LatLon m = grid.nodes[middle].position;
            const uint32_t first = static_cast<uint32_t>(grid.nodes.size());
            const double corners[4][2] = {
                {-0.0005, 0.0008}, {-0.0005, 0.0016}, {-0.0013, 0.0016}, {-0.0013, 0.0008}};
            for (const auto& corner : corners) {
                discmaker::Node node;
                node.position = {m.lat + corner[0], m.lon + corner[1]};
                grid.nodes.push_back(node);
            }
            for (uint32_t i = 0; i < 4; ++i)
                addArterial(first + i, first + (i + 1) % 4);
        }
        if (which == GridVariant::kStateRoute) {
            for (discmaker::Link& link : grid.links)
                if (link.roadClass == discmaker::RoadClass::Arterial)
                    link.signs = discmaker::LinkSigns{.highwayNumber = "CA 1"};
        }
        if (which == GridVariant::kFork) {
            discmaker::Node end;
            end.position = {grid.nodes[middle].position.lat - 0.0009,
                            grid.nodes[middle].position.lon + 0.0013};
            grid.nodes.push_back(end);
            addArterial(middle, static_cast<uint32_t>(grid.nodes.size() - 1));
        }
        return grid;
    };
    static GeneratedMaps plain("grid", build(GridVariant::kPlain), {});
    static GeneratedMaps forked("grid-fork", build(GridVariant::kFork), {});
    static GeneratedMaps ring("grid-ring", build(GridVariant::kRing), {});
    switch (variant) {
        case GridVariant::kFork:
            return forked.folder;
        case GridVariant::kRing:
            return ring.folder;
        case GridVariant::kStateRoute: {
            static GeneratedMaps state("grid-ca", build(GridVariant::kStateRoute), {});
            return state.folder;
        }
        default:
            return plain.folder;
    }
}

const fs::path& AndorraMapsFolder() {
    static const fs::path folder = []() -> fs::path {
        const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
        if (testing_support::SharedOsmFolder().empty() || !fs::exists(extract))
            return {};
        static GeneratedMaps maps("andorra", discmaker::ReadOsm(extract), {});
        return maps.folder;
    }();
    return folder;
}

discmaker::LatLon TownCentre() {
    const discmaker::Network& town = FrameTown();
    double lat = 0, lon = 0;
    for (const discmaker::Node& node : town.nodes) {
        lat += node.position.lat;
        lon += node.position.lon;
    }
    lat /= town.nodes.size();
    lon /= town.nodes.size();
    // The node nearest the middle.
    discmaker::LatLon best = town.nodes.front().position;
    double bestDistance = 1e9;
    for (const discmaker::Node& node : town.nodes) {
        const double d = std::hypot(node.position.lat - lat, node.position.lon - lon);
        if (d < bestDistance) {
            bestDistance = d;
            best = node.position;
        }
    }
    return best;
}

void FrameTest::TearDown() {
    g_options.store(0);
    g_options2.store(0);
    g_map3DMode.store(0);
    g_mapTheme = CMapTheme();
}

render::Options TownOptions() {
    render::Options options;
    options.maps = TownMapsFolder();
    const discmaker::LatLon centre = TownCentre();
    options.latitude = centre.lat;
    options.longitude = centre.lon;
    options.width = 240;
    options.height = 320;
    options.out = "unused.png";
    return options;
}

render::Options AndorraOptions(const double point[2], bool view3D, float heading) {
    render::Options options;
    options.maps = AndorraMapsFolder();
    options.latitude = point[0];
    options.longitude = point[1];
    options.view3D = view3D;
    options.heading = heading;
    options.out = "unused.png";
    return options;
}

std::string RoadCoverage::Describe() const {
    return "sampled " + std::to_string(sampled) + ", shown " + std::to_string(shown) + ", stray " +
           std::to_string(stray);
}

RoadCoverage MeasureRoads(render::Session& session, const render::Options& options) {
    RoadCoverage coverage;
    HDC dc = session.BackBuffer();
    const int mapHeight = session.Host().GetMapHeight();
    const Projector projector(options, mapHeight);
    const int top = options.view3D ? session.View().GetSkyBandHeight() + 2 : 0;
    g_mapTheme.SelectColourSet(0, options.zoom, g_mapTheme.ColourMode());
    const int casingExtra = RoundHalfAway(2 * g_screenScaleY.load());
    std::vector<uint8_t> nearRoad(static_cast<size_t>(options.width) * mapHeight, 0);
    // The vehicle symbol at the view's anchor, and the scale bar with its buttons.
    const int scale = RoundHalfAway(g_screenScaleY.load());
    int vehicleX = 0, vehicleY = 0;
    session.View().WorldToScreen(static_cast<float>(options.longitude),
                                 static_cast<float>(options.latitude), &vehicleX, &vehicleY, 0, 0,
                                 nullptr, nullptr);
    const int barRow = mapHeight - 33 * scale;
    auto UnderOverlay = [&](int x, int y) {
        const bool vehicle =
            std::abs(x - vehicleX) <= 16 * scale && std::abs(y - vehicleY) <= 24 * scale;
        const bool bar = y >= barRow - 10 * scale && y <= barRow + 40 * scale;
        return vehicle || bar;
    };

    MapLayer& layer = g_mapDatabase.layers[0];
    LinkIterator it;
    if (it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0, 2) != 0)
        return coverage;
    while (MapLink* link = it.Next()) {
        const uint32_t roadClass = link->attributes & kAttrClassMask;
        if (roadClass > 0xC0)
            continue;
        const std::vector<MapPoint> points = LinkPoints(*link);
        const bool plain = (link->attributes & (kAttrTypeRoad | kAttrTypeNarrow | kAttrSpecialB |
                                                kAttrSpecialDashed)) == kAttrTypeRoad;
        const int drawClass = GetRoadDrawClass(*link);
        const COLORREF fill = g_mapTheme.RoadColour(drawClass);
        const COLORREF casing = g_mapTheme.RoadBorderColour(drawClass);
        // "Near" a road: within 4 px of the edge of its casing.
        const int reach = (g_mapTheme.SelectedWidth(drawClass) + casingExtra + 1) / 2 + 4;
        for (size_t i = 1; i < points.size(); ++i) {
            double x0, y0, x1, y1;
            if (!projector.Project(points[i - 1].longitude, points[i - 1].latitude, &x0, &y0) ||
                !projector.Project(points[i].longitude, points[i].latitude, &x1, &y1))
                continue;
            const double length = std::hypot(x1 - x0, y1 - y0);
            const int steps = std::max(1, static_cast<int>(length / 0.5));
            for (int s = 0; s <= steps; ++s) {
                const double t = static_cast<double>(s) / steps;
                const int x = static_cast<int>(x0 + (x1 - x0) * t);
                const int y = static_cast<int>(y0 + (y1 - y0) * t);
                if (!options.view3D) {
                    for (int dy = -reach; dy <= reach; ++dy)
                        for (int dx = -reach; dx <= reach; ++dx) {
                            const int px = x + dx, py = y + dy;
                            if (px >= 0 && py >= 0 && px < options.width && py < mapHeight)
                                nearRoad[static_cast<size_t>(py) * options.width + px] = 1;
                        }
                }
                // Every third pixel of the line is a sample, away from the edges and
                // from what the repaint draws over the roads.
                if (roadClass != 0xC0 || !plain || s % 6 != 0 || x < 2 || y < top + 2 ||
                    x >= options.width - 2 || y >= mapHeight - 2 || UnderOverlay(x, y))
                    continue;
                ++coverage.sampled;
                const COLORREF pixel = GetPixel(dc, x, y);
                if (Near(pixel, fill) || Near(pixel, casing))
                    ++coverage.shown;
            }
        }
    }
    if (!options.view3D) {
        COLORREF classColours[6];
        for (int c = 1; c <= 3; ++c) {
            classColours[2 * (c - 1)] = g_mapTheme.RoadColour(c);
            classColours[2 * (c - 1) + 1] = g_mapTheme.RoadBorderColour(c);
        }
        for (int y = 0; y < mapHeight; ++y)
            for (int x = 0; x < options.width; ++x) {
                if (nearRoad[static_cast<size_t>(y) * options.width + x])
                    continue;
                const COLORREF pixel = GetPixel(dc, x, y);
                for (COLORREF colour : classColours)
                    if (pixel == colour) {
                        ++coverage.stray;
                        break;
                    }
            }
    }
    return coverage;
}

}  // namespace display_test
