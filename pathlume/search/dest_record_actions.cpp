#include "pathlume/search/dest_record_actions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/place_queries.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/street_texts.h"

namespace {

constexpr FLOAT kRecordAreaRadius = 0.00685286f;
constexpr int kOriginMode = 1;

const char* WithoutMarker(const char* line) {
    return line && line[0] == 0x01 ? line + 1 : line;
}

// The short name's house number, 0 when it is none.
int32_t HouseNumberOf(const DestRecord& record) {
    if (!record.shortName[0] || record.shortName[0] == '-')
        return 0;
    return static_cast<int32_t>(std::strtol(record.shortName, nullptr, 10));
}

void CopyText(const std::string& text) {
    std::snprintf(g_destinationText, sizeof g_destinationText, "%s", text.c_str());
}

// The destination text of a record on its link.
std::string DestinationText(const DestRecord& record, int32_t linkId, int side) {
    const char* line1 = WithoutMarker(record.line1);
    if (line1 && !record.line2 && !record.line3) {
        char street[kStreetTextSize] = "";
        GetLinkStreetName(g_linkInfo, linkId, 0, 0, street, sizeof street, false);
        char area[kPlaceTextSize] = "";
        LinkInfoRecord info;
        if (g_linkInfo.ReadRecord(linkId, info, false) == 0)
            g_areaZones.FormatPlaceText(info, area, sizeof area, side == kSideRight ? -1 : 1,
                                        false);
        if (street[0] && area[0]) {
            const bool noNumber = !record.shortName[0] || record.shortName[0] == '-';
            return noNumber
                       ? std::string(line1) + "\n" + street + "\n" + area
                       : std::string(line1) + "\n" + record.shortName + " " + street + "\n" + area;
        }
        return line1;
    }
    std::string text = record.line3 ? record.line3 : "";
    if (line1 && !(record.line3 && std::strcmp(record.line3, line1) == 0))
        text += std::string("\n") + line1;
    if (record.line2)
        text += std::string("\n") + record.line2;
    return text;
}

}  // namespace

MapLink* FindRecordLink(CMapDatabase& database, const DestRecord& record, int layer,
                        bool strictSide, int* side) {
    const MapPoint position{record.lat, record.lon};
    int foundLayer = 0;
    database.LoadAreaAroundPoint(layer, record.linkRef, position, kRecordAreaRadius, &foundLayer);
    MapLink* link =
        database.FindLink(foundLayer, position, static_cast<int32_t>(record.linkId), 7, 0);
    if (side)
        *side = static_cast<int>(record.areaCode);
    const int32_t number = HouseNumberOf(record);
    if (!link || number <= 0)
        return link;
    LinkInfoRecord info;
    int numberSide = kSideEither;
    if (g_linkInfo.ReadRecord(static_cast<int32_t>(record.linkId), info, false) != 0 ||
        MatchHouseNumberOnLink(number, info, &numberSide, 0, false) != 1)
        return nullptr;
    const auto code = static_cast<int32_t>(record.areaCode);
    if ((code != 0 || strictSide) && code != numberSide)
        return nullptr;
    if (side)
        *side = numberSide;
    return link;
}

bool RouteToRecordLink(CMapDatabase& database, DestRecord& record) {
    int side = 0;
    MapLink* link = FindRecordLink(database, record, kRecordRouteLayer, false, &side);
    if (!link)
        return false;
    MapPoint nearest;
    const uint32_t segment = link->NearestPoint(record.lat, record.lon, &nearest);
    CopyText(DestinationText(record, static_cast<int32_t>(record.linkId), side));
    RouteTarget target;
    target.Clear();
    target.link = link;
    target.segment = segment;
    target.lat = record.lat;
    target.lon = record.lon;
    std::memcpy(target.shortName, record.shortName, sizeof target.shortName);
    target.areaCode = record.areaCode;
    WCHAR recent[MAX_PATH] = {};
    CDestList::Add(record, FormatDataFilePath(kListRecent, recent), FALSE, TRUE);
    RewriteItinerary(&record, nullptr, nullptr, nullptr, nullptr);
    RequestRouteFromVehicle(target);
    return true;
}

bool MakeRecordTheOrigin(CMapDatabase& database, DestRecord& record, IMainView* view) {
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    MapLink* link = FindRecordLink(database, record, kRecordOriginLayer, true);
    if (link) {
        MapPoint nearest;
        const uint32_t segment = link->NearestPoint(record.lat, record.lon, &nearest);
        PlaceVehicleAt(database, link, static_cast<int32_t>(segment), nearest);
        if (view)
            view->SetPanCentre(nearest.latitude, nearest.longitude);
    } else {
        const int32_t found =
            DescribePosition(kRecordOriginLayer, MapPoint{record.lat, record.lon}, 0, kOriginMode,
                             static_cast<int>(record.areaCode), record.shortName, FALSE, FALSE);
        if (found == kNoLinkFound)
            return false;
        record.linkId = static_cast<DWORD>(found);
    }
    WCHAR recent[MAX_PATH] = {};
    CDestList::Add(record, FormatDataFilePath(kListRecent, recent), FALSE, TRUE);
    return true;
}
