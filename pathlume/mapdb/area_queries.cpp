// Loading areas around a point and finding links by id in what is loaded.
#include <algorithm>
#include <cmath>

#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/position_services.h"

namespace {

constexpr FLOAT kDegToRad = 0.017453292f;
// 2,000 feet in degrees of latitude.
constexpr double kSearchDegrees = 0.0054822876;
// A cosine below this is taken as this: at the poles a longitude span would
// otherwise be infinite (or, past them, negative).
constexpr double kMinCos = 1e-6;

}  // namespace

int CMapDatabase::LoadArea(int layerIndex, const MapPoint& point, FLOAT spanA, FLOAT spanB,
                           FLOAT ahead, FLOAT heading, bool refresh, bool release) {
    // The layer's pins on layer 0 go for the move; the refresh then drops the overview
    // chunks the new window no longer pins.
    const bool repin = refresh && release && layers[layerIndex].windowX0 != kNoWindow;
    if (repin)
        ReleaseLayerPin(layerIndex);
    const int result =
        layers[layerIndex].LoadCacheWindow(&point, spanA, spanB, ahead, heading, refresh);
    if (repin)
        RefreshReleasedChunks(layerIndex, false);
    return result;
}

int CMapDatabase::LoadAreaGrowing(int layerIndex, const MapPoint& point, FLOAT radius) {
    const FLOAT c = std::max(std::cos(point.latitude * kDegToRad), static_cast<FLOAT>(kMinCos));
    const FLOAT spanLat = 2 * radius;
    const FLOAT spanLon = spanLat / c;
    const FLOAT limit = 20 * c;
    FLOAT f = 0.8f;
    int32_t threshold = 100;
    for (;;) {
        f += 0.2f;
        bool last = false;
        if (f >= limit) {
            f = limit;
            last = true;
        }
        if (const int result =
                LoadArea(layerIndex, point, f * spanLon, f * spanLat, 0, 0, true, false))
            return result;
        int32_t refs = 0, links = 0;
        if (layerIndex == 4 || layerIndex == 3) {
            refs = refTotal[layerIndex == 4 ? 0 : 1];
            links = linkTotal[layerIndex == 4 ? 0 : 1];
        }
        const double area = double{f} * radius * double{f} * radius;
        if (area > 0 && links / area < 500000.0)
            threshold = 250;
        if (refs >= threshold || last)
            return 0;
    }
}

MapLink* CMapDatabase::FindLink(int layerIndex, const MapPoint& point, int32_t id, uint32_t flags,
                                int endTest) {
    MapLayer& layer = layers[layerIndex];
    if (layer.windowX0 == kNoWindow || !layer.directory || layer.windowW <= 0 || layer.windowH <= 0)
        return nullptr;
    // Window cells, held to the int range: a far position clamps to the window anyway.
    auto column = [&](double lon) {
        return static_cast<int32_t>(
            std::clamp<int64_t>(layer.FileColumnOf(lon) - layer.windowX0, -2, layer.windowW + 1));
    };
    auto row = [&](double lat) {
        return static_cast<int32_t>(
            std::clamp<int64_t>(layer.FileRowOf(lat) - layer.windowY0, -2, layer.windowH + 1));
    };
    int32_t x0, x1, y0, y1;
    if (flags & 4) {
        const int32_t x = column(point.longitude), y = row(point.latitude);
        x0 = x - 1;
        x1 = x + 1;
        y0 = y - 1;
        y1 = y + 1;
    } else {
        // 2,000 feet east and west are more degrees of longitude than of latitude.
        const double c = std::max(std::cos(point.latitude * double{kDegToRad}), kMinCos);
        const double dLon = kSearchDegrees / c;
        x0 = column(point.longitude - dLon);
        x1 = column(point.longitude + dLon);
        y0 = row(point.latitude - kSearchDegrees);
        y1 = row(point.latitude + kSearchDegrees);
    }
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, layer.windowW - 1);
    y1 = std::min(y1, layer.windowH - 1);
    if (x0 > x1 || y0 > y1)
        return nullptr;

    LinkIterator iterator{};
    if (iterator.Init(layer, x0, y0, x1, y1, layerIndex == 0 ? 0xC0 : 0x140, flags) != 0)
        return nullptr;
    while (MapLink* link = iterator.Next()) {
        if (link->linkId != id)
            continue;
        if (endTest == 0)
            return link;
        if (endTest == 1 && link->fromNode && link->fromNode->slotCount != MapNode::kSingleSlot)
            return link;
        if (endTest == 2 && link->toNode && link->toNode->slotCount != MapNode::kSingleSlot)
            return link;
    }
    return nullptr;
}

int CMapDatabase::ResolveLinkAcrossLayers(const MapPoint& point, MapLink*& link, FLOAT radius) {
    const bool hasId = link && (link->flags & kLinkCounted);
    const int32_t id = hasId ? link->linkId : 0;
    const uint32_t linkClass = hasId ? link->attributes & kAttrClassMask : 0;
    const int result = LoadAreaGrowing(3, point, radius);
    if (hasId) {
        if (MapLink* twin = FindLink(linkClass <= 0xC0 ? 0 : 3, point, id, 4, 0))
            link = twin;
    }
    return result;
}

int MapLocation::Refresh(CMapDatabase& database, uint32_t newTag) {
    if (!link || !(linkFlags & kLinkHeld))
        return 0;
    if (!(link->flags & kLinkCounted) || CountedLink::FromLink(link)->refCount != 1)
        return 1;
    const int layer = (linkAttributes & kAttrClassMask) > 0xC0 ? 2 : 0;
    const MapPoint point{lat, cosLat != 0 ? scaledLon / cosLat : scaledLon};
    MapLink* found = database.FindLink(layer, point, linkId,
                                       static_cast<uint32_t>(MapLink::GetClassLayer(linkFlags)), 0);
    // Not found: the location keeps the link it holds rather than dropping the last
    // count of it.
    if (!found)
        return 1;
    if (found == link)
        return 0;
    IPositionServices& position = GetPositionServices();
    MapLink* old = link;
    if (!position.HasHypothesisLink(old)) {
        old->flags &= static_cast<uint16_t>(~kLinkHeld);
        MapLink::Release(CountedLink::FromLink(old), true);
    }
    link = found;
    if (found->flags & kLinkCounted) {
        ++CountedLink::FromLink(found)->refCount;
        found->flags |= kLinkHeld;
    }
    linkFlags = found->flags;
    linkAttributes = found->attributes;
    // The matcher lets the old link go with its last hypothesis.
    position.ReplaceLastHypothesisLink(found);
    tag = newTag;
    return 0;
}
