#include "pathlume/mapdb/place_queries.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/link_info.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/spatial_queries.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/afx/afx_app.h"

namespace li = formats::link_info;

namespace {

constexpr double kDegToRad = 0.017453292;
constexpr double kMinCos = 1e-6;
constexpr FLOAT kAreaDegrees = 0.013705719f;    // 5,000 ft
constexpr FLOAT kSearchDegrees = 0.006852859f;  // 2,500 ft
constexpr uint32_t kSearchClassLimit = 0x140;
constexpr uint32_t kOverviewClassLimit = 0xC0;

FLOAT CosLatitude(FLOAT latitude) {
    return static_cast<FLOAT>(std::max(std::cos(latitude * kDegToRad), kMinCos));
}

// The window cells (first, last) a span of file columns or rows covers; false when
// it lies wholly outside the window.
bool ClampToWindow(int64_t first, int64_t last, int32_t size, int32_t* from, int32_t* to) {
    if (size <= 0 || last < 0 || first > size - 1)
        return false;
    *from = static_cast<int32_t>(std::max<int64_t>(first, 0));
    *to = static_cast<int32_t>(std::min<int64_t>(last, size - 1));
    return true;
}

// One pass of the nearest-link search over a layer's links in the box.
void SearchLayer(CMapDatabase& database, int layerIndex, uint32_t pinBit, const MapPoint& position,
                 FLOAT c, FLOAT& best, NearestLink& out) {
    MapLayer& layer = database.layers[layerIndex];
    if (layer.windowW <= 0 || layer.windowH <= 0 || layer.windowX0 == kNoWindow)
        return;
    // A degree of longitude is shorter by the cosine: the box's width is divided by
    // it so that it reaches as far east and west as north and south.
    const FLOAT halfWidth = kSearchDegrees / c;
    int32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    // A box off the window holds no link: clamping it would search the edge cells.
    if (!ClampToWindow(layer.FileColumnOf(position.longitude - halfWidth) - layer.windowX0,
                       layer.FileColumnOf(position.longitude + halfWidth) - layer.windowX0,
                       layer.windowW, &x0, &x1) ||
        !ClampToWindow(layer.FileRowOf(position.latitude - kSearchDegrees) - layer.windowY0,
                       layer.FileRowOf(position.latitude + kSearchDegrees) - layer.windowY0,
                       layer.windowH, &y0, &y1))
        return;

    LinkIterator walk;
    walk.SelectLayer(database, 1, layerIndex != 0 ? 1 : 0);
    walk.pinMask = layerIndex == 0 ? pinBit : 0;
    walk.reloadFromMain = 0;
    if (walk.Init(layer, x0, y0, x1, y1, kSearchClassLimit, 7) != 0)
        return;
    const FlatPoint q{position.longitude * c, position.latitude};
    while (MapLink* link = walk.Next()) {
        const uint32_t segments = link->GetShapePointCount() + 1;
        for (uint32_t k = 0; k < segments; ++k) {
            MapPoint a, b;
            link->GetEndPositions(k, &a, &b);
            FlatPoint foot;
            const FLOAT d2 = ProjectPointOnSegment(q, a.longitude * c, a.latitude, b.longitude * c,
                                                   b.latitude, &foot.x, &foot.y);
            if (!(d2 < best))
                continue;
            if (out.nearest != link) {
                if (out.nearest)
                    std::copy_backward(out.history.begin(), out.history.end() - 1,
                                       out.history.end());
                out.history[0] = link;
                out.nearest = link;
            }
            best = d2;
            out.segment = static_cast<int32_t>(k);
            out.point = {foot.y, foot.x / c};
        }
    }
}

// The description of the chosen link: "STREET\nPLACE" or "HOUSE STREET\nPLACE";
// empty when its record cannot be read or a text is empty.
std::string DescribeLink(const MapLink& link, const char* houseText, int side) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link.linkId, record, false) != 0)
        return {};
    const bool noNumber = !houseText || !houseText[0] || houseText[0] == '-';
    char street[kStreetTextSize];
    GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, 0, street, sizeof street, noNumber);
    char place[kPlaceTextSize];
    g_areaZones.FormatPlaceText(record, place, sizeof place, side == 0 ? kSideLeft : side, true);
    if (!street[0] || !place[0])
        return {};
    return noNumber ? std::string(street) + "\n" + place
                    : std::string(houseText) + " " + street + "\n" + place;
}

void CopyCut(char* target, size_t size, const char* text) {
    const size_t n = std::min(std::strlen(text), size - 1);
    std::memcpy(target, text, n);
    target[n] = '\0';
}

// The names of the link's record include `nameId` among its first items.
bool LinkCarriesName(int32_t linkId, uint32_t nameId) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(linkId, record, false) != 0 || record.ItemCount() == 0)
        return false;
    // A record may count up to 127 items; the first seven are a street's names.
    NameItem items[li::kMaxNameItems];
    const int wanted = std::min(record.ItemCount(), li::kMaxNameItems);
    if (g_linkInfo.ReadNameItems(items, wanted) != wanted)
        return false;
    return std::any_of(items, items + wanted,
                       [nameId](const NameItem& item) { return item.name == nameId; });
}

bool NodeHasStreet(const MapLink& found, const MapNode* node, uint32_t nameId) {
    if (!node)
        return false;
    for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
        const MapLink* other = node->Slots()[s];
        if (other && other != &found && !other->IsDead() && LinkCarriesName(other->linkId, nameId))
            return true;
    }
    return false;
}

// The decimal value a house text begins with; 0 for none and for one too large for
// 31 bits.
int32_t HouseTextValue(const char* text) {
    if (!text)
        return 0;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || value > INT32_MAX || value < INT32_MIN)
        return 0;
    return static_cast<int32_t>(value);
}

}  // namespace

NearestLink FindNearestLinkAt(CMapDatabase& database, int layerCode, const MapPoint& position,
                              int32_t houseNumber, int side) {
    NearestLink out;
    if (layerCode < 0 || layerCode >= kMapLayerCount)
        return out;
    const FLOAT c = CosLatitude(position.latitude);
    database.LoadArea(layerCode, position, kAreaDegrees / c, 0, 0, 0, true, true);
    // The cells searched reach further than the box: a road beyond 2,500 ft is no
    // road near the point, and the place it lies in is not the point's.
    FLOAT best = kSearchDegrees * kSearchDegrees;
    const uint32_t pinBit = PinBitOfPurpose(layerCode);
    SearchLayer(database, layerCode, pinBit, position, c, best, out);
    if (layerCode != 0)
        SearchLayer(database, 0, pinBit, position, c, best, out);
    if (!out.nearest)
        return out;
    out.distanceDegrees = std::sqrt(best);
    out.chosen = out.nearest;
    if (houseNumber > 0) {
        for (MapLink* link : out.history) {
            if (!link)
                break;
            LinkInfoRecord record;
            int found = kSideEither;
            if (g_linkInfo.ReadRecord(link->linkId, record, false) != 0 ||
                MatchHouseNumberOnLink(houseNumber, record, &found, 0, false) != 1)
                continue;
            if (side == 0 || side == found) {
                out.chosen = link;
                out.side = found;
                break;
            }
        }
    }
    return out;
}

int32_t DescribePosition(int layerCode, const MapPoint& position, int /*unused*/, int mode,
                         int side, const char* houseText, BOOL routeSwitch, BOOL addSwitch) {
    CWaitCursor wait;
    GetRouterServices().ResetRoute();
    const int32_t number = HouseTextValue(houseText);
    const NearestLink found = FindNearestLinkAt(g_mapDatabase, layerCode, position, number, side);
    if (!found.nearest)
        return kNoLinkFound;
    MapLink* chosen = found.chosen;
    const int32_t result = chosen->linkId;
    const char* house = houseText ? houseText : "";
    IMainView* view = g_mainView.load();
    const AddressHit hit{result, 0, side, found.point.latitude, found.point.longitude};

    const std::string description = DescribeLink(*chosen, house, side);
    if (mode == 0) {
        if (!description.empty() && view)
            CopyCut(view->GetDescriptionBuffer(), kDescriptionBufferSize, description.c_str());
        if (routeSwitch) {
            RouteTarget target;
            target.Clear();
            target.link = chosen;
            target.segment = static_cast<DWORD>(found.segment);
            target.lat = found.point.latitude;
            target.lon = found.point.longitude;
            CopyCut(target.shortName, sizeof target.shortName, house);
            target.areaCode = static_cast<DWORD>(side);
            const DestPlace place = hit.ToDestPlace();
            RewriteItinerary(nullptr, &place, description.c_str(), house, nullptr);
            RequestRouteFromVehicle(target);
        }
    } else if (mode == 1) {
        if (!description.empty() && view)
            CopyCut(view->GetDescriptionBuffer(), kDescriptionBufferSize, description.c_str());
        PlaceVehicleAt(g_mapDatabase, chosen, found.segment, found.point);
        if (view) {
            view->SetLastPosition(found.point.latitude, found.point.longitude);
            view->Refresh();
        }
    }
    if (addSwitch && view) {
        view->AddToFavorites(hit, mode == 1 || routeSwitch ? 1 : 0, description.c_str(), house,
                             nullptr, FALSE, FALSE);
    }
    return result;
}

MapLink* FindCrossStreetEnd(CMapDatabase& database, int layerCode, const MapLink& link,
                            int32_t linkId, uint32_t nameId, MapPoint* position,
                            int32_t* shapeIndex) {
    *shapeIndex = -1;
    const int layer = (link.attributes & kAttrClassMask) <= kOverviewClassLimit ? 0 : layerCode;
    const int kind = MapLink::GetClassLayer(link.flags);
    // The loads below may free the link given: its ends are kept by value.
    const MapPoint ends[2] = {link.fromNode->position, link.toNode->position};
    for (int end = 0; end < 2; ++end) {
        const MapPoint& at = ends[end];
        const FLOAT c = CosLatitude(at.latitude);
        database.LoadArea(layerCode, at, kAreaDegrees / c, kAreaDegrees, 0, 0, true, true);
        MapLink* found = database.FindLink(layer, at, linkId, static_cast<uint32_t>(kind), end + 1);
        if (!found)
            continue;
        if (NodeHasStreet(*found, end == 0 ? found->fromNode : found->toNode, nameId)) {
            *position = at;
            *shapeIndex = MatchLinkEnd(*found, at);
            return found;
        }
    }
    return nullptr;
}
