#include "tests/route/route_test_maps.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/positioning_services.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/support/device_maps.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace route_test {

namespace fs = std::filesystem;

const discmaker::Network& RouteTown() {
    static const discmaker::Network town = discmaker::BuildTown(5, 1500);
    return town;
}

const fs::path& RouteTownMaps() {
    static const testing_support::GeneratedDeviceMaps maps(RouteTown(), {}, "route-maps");
    return maps.folder();
}

std::vector<MapPoint> RoundaboutSpokes() {
    const discmaker::Network& town = RouteTown();
    std::set<uint32_t> ring;
    for (const discmaker::Link& link : town.links) {
        if (link.roundabout)
            ring.insert({link.from, link.to});
    }
    std::vector<MapPoint> spokes;
    for (const discmaker::Link& link : town.links) {
        if (!link.roundabout && (ring.count(link.from) || ring.count(link.to))) {
            const discmaker::LatLon& a = town.nodes[link.from].position;
            const discmaker::LatLon& b = town.nodes[link.to].position;
            spokes.push_back(
                {static_cast<FLOAT>((a.lat + b.lat) / 2), static_cast<FLOAT>((a.lon + b.lon) / 2)});
        }
    }
    return spokes;
}

// A second grid of streets east of the town that no road joins to it.
static discmaker::Network TownWithDetachedGrid(discmaker::LatLon* centre) {
    discmaker::Network town = RouteTown();
    double east = -180, south = 90, north = -90;
    const discmaker::Link* street = nullptr;
    for (const discmaker::Link& link : town.links) {
        if (link.roadClass == discmaker::RoadClass::Street && !street)
            street = &link;
        for (const uint32_t n : {link.from, link.to}) {
            east = std::max(east, town.nodes[n].position.lon);
            south = std::min(south, town.nodes[n].position.lat);
            north = std::max(north, town.nodes[n].position.lat);
        }
    }
    const double lat0 = (south + north) / 2, lon0 = east + 0.02, step = 0.003;
    *centre = {lat0 + step, lon0 + step};
    discmaker::Link model = *street;
    model.shape.clear();
    uint32_t nodes[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            nodes[r][c] = town.AddNode({lat0 + r * step, lon0 + c * step});
    }
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            for (const auto& [dr, dc] : {std::pair{0, 1}, std::pair{1, 0}}) {
                if (r + dr > 2 || c + dc > 2)
                    continue;
                discmaker::Link link = model;
                link.from = nodes[r][c];
                link.to = nodes[r + dr][c + dc];
                town.AddLink(std::move(link));
            }
        }
    }
    return town;
}

const fs::path& DetachedGridMaps(MapPoint* centre) {
    static discmaker::LatLon middle;
    static const testing_support::GeneratedDeviceMaps maps(TownWithDetachedGrid(&middle), {},
                                                           "route-detached-maps");
    *centre = {static_cast<FLOAT>(middle.lat), static_cast<FLOAT>(middle.lon)};
    return maps.folder();
}

void SetDataFolder(const fs::path& folder) {
    testing_support::SetDataFolder(folder);
}

void CloseMapDatabase() {
    g_mapDatabase.~CMapDatabase();
    new (&g_mapDatabase) CMapDatabase();
}

int ReopenMapDatabase() {
    CloseMapDatabase();
    return g_mapDatabase.Open();
}

void RouteMapsTest::SetUp() {
    SetDataFolder(RouteTownMaps());
    platform::ClearMessageBoxes();
    ASSERT_EQ(ReopenMapDatabase(), 0);
    router_ = &CreateRouter();
}

void RouteMapsTest::TearDown() {
    g_vehicleLocation.link = nullptr;
    SetPositioningServices(nullptr);
    DestroyRouter();
    g_avoidList.Clear();
    CloseMapDatabase();
    SetDataFolder({});
}

bool RouteMapsTest::SnapEnds(const MapPoint& from, const MapPoint& to) {
    // The search takes its ends again by id after its own loads; what a snap gives
    // is valid only until the next load, so the search is handed copies.
    to_ = SnapToNearestLink(g_mapDatabase, to, 1000);
    if (!to_.Found())
        return false;
    toLink_ = *to_.link;
    from_ = SnapToNearestLink(g_mapDatabase, from, 1000);
    if (!from_.Found())
        return false;
    fromLink_ = *from_.link;
    return true;
}

void RouteMapsTest::RouteSnapped(int method, uint32_t options) {
    router_->routeAlgo = method;
    router_->state = (router_->state & ~kRouteFlagsMask) | options;
    router_->CalculateRoute(&fromLink_, from_.segment, from_.point, SnappedTarget(), 0, 1);
}

RouteTarget RouteMapsTest::SnappedTarget() {
    return ::SnappedTarget(to_, &toLink_);
}

bool RouteMapsTest::Route(const MapPoint& from, const MapPoint& to, int method, uint32_t options) {
    if (!SnapEnds(from, to))
        return false;
    RouteSnapped(method, options);
    return true;
}

MapPoint PointAlong(const MapLink& link, double fraction, uint32_t* segment) {
    std::vector<MapPoint> points{link.fromNode->position};
    const uint32_t shapes = link.shapePoints ? link.GetShapePointCount() : 0;
    points.insert(points.end(), link.shapePoints, link.shapePoints + shapes);
    points.push_back(link.toNode->position);
    std::vector<double> lengths;
    double total = 0;
    for (size_t k = 0; k + 1 < points.size(); ++k) {
        lengths.push_back(GeoDistance(points[k], points[k + 1]));
        total += lengths.back();
    }
    double want = std::clamp(fraction, 0.0, 1.0) * total;
    for (size_t k = 0; k < lengths.size(); ++k) {
        if (want <= lengths[k] || k + 1 == lengths.size()) {
            const double t = lengths[k] > 0 ? std::min(want / lengths[k], 1.0) : 0;
            *segment = static_cast<uint32_t>(k);
            return MapPoint{static_cast<FLOAT>(points[k].latitude +
                                               t * (points[k + 1].latitude - points[k].latitude)),
                            static_cast<FLOAT>(points[k].longitude + t * (points[k + 1].longitude -
                                                                          points[k].longitude))};
        }
        want -= lengths[k];
    }
    *segment = 0;
    return link.fromNode->position;
}

MapLink* FindTownLink(bool oneWay, double metres) {
    for (const discmaker::Link& source : RouteTown().links) {
        if ((source.direction != discmaker::Direction::Both) != oneWay || source.roundabout ||
            source.ramp)
            continue;
        const discmaker::LatLon& a = RouteTown().nodes[source.from].position;
        const discmaker::LatLon& b = RouteTown().nodes[source.to].position;
        const MapPoint middle{static_cast<FLOAT>((a.lat + b.lat) / 2),
                              static_cast<FLOAT>((a.lon + b.lon) / 2)};
        const LinkSnap snap = SnapToNearestLink(g_mapDatabase, middle, 30);
        if (!snap.Found())
            continue;
        MapLink* link = snap.link;
        const bool twoWay = (link->attributes & kAttrDirectionMask) == kAttrDirectionMask;
        if (twoWay == oneWay || link->Length() * 6370973.27862 < metres ||
            MapNode::LeadsToDeadEnd(link, link->toNode) ||
            MapNode::LeadsToDeadEnd(link, link->fromNode))
            continue;
        return link;
    }
    return nullptr;
}

std::string CheckRouteRules(const CRouter& router) {
    if (router.RunsAlongOneLink()) {
        // No node passed: only the way along the link counts.
        const MapLink* link = router.routeStartLink;
        if (!link)
            return "along one link without its link";
        const uint32_t direction = link->attributes & kAttrDirectionMask;
        if ((router.startPart == 2 && direction == kAttrBackward) ||
            (router.startPart == 1 && direction == kAttrForward))
            return "along its link against the link's direction";
        return "";
    }
    if (!router.routeList || router.routeCount <= 0)
        return "no route list";
    const MapLink* arrival = nullptr;
    const MapNode* expected = nullptr;
    for (int32_t i = 0; i < router.routeCount; ++i) {
        const RouteEntry& entry = router.routeList[i];
        const std::string at = "entry " + std::to_string(i) + ": ";
        const MapNode* node = ResolveNodeRef(entry);
        if (!node)
            return at + "does not resolve";
        if (expected && node != expected)
            return at + "does not follow the previous link";
        const MapLink* link = node->Slots()[entry.Slot()];
        if (!link || link->linkId != entry.linkId)
            return at + "its slot does not hold its link";
        const uint32_t needed = link->fromNode == node ? kAttrForward : kAttrBackward;
        if (!(link->attributes & needed))
            return at + "leaves against the link's direction";
        if (arrival) {
            const uint32_t in = LinkEndSlot(node, arrival);
            const uint32_t restrictions =
                node->slotCount == MapNode::kSingleSlot ? 0 : node->NameLength();
            const BYTE* bytes = const_cast<MapNode*>(node)->Name();
            for (uint32_t k = 0; k < restrictions; ++k) {
                if (bytes[k] == static_cast<BYTE>(in << 4 | entry.Slot()))
                    return at + "takes a forbidden turn";
            }
        }
        arrival = link;
        expected = link->fromNode == node ? link->toNode : link->fromNode;
    }
    return {};
}

MapPoint RouteMapsTest::SouthWest() const {
    MapPoint p{90, 180};
    for (const discmaker::Node& node : RouteTown().nodes) {
        p.latitude = std::min<FLOAT>(p.latitude, node.position.lat);
        p.longitude = std::min<FLOAT>(p.longitude, node.position.lon);
    }
    return p;
}

MapPoint RouteMapsTest::NorthEast() const {
    MapPoint p{-90, -180};
    for (const discmaker::Node& node : RouteTown().nodes) {
        p.latitude = std::max<FLOAT>(p.latitude, node.position.lat);
        p.longitude = std::max<FLOAT>(p.longitude, node.position.lon);
    }
    return p;
}

}  // namespace route_test
