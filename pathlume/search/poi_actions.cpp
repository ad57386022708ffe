#include "pathlume/search/poi_actions.h"

#include <cstdio>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/search/poi_rows.h"

namespace {

constexpr FLOAT kPoiAreaRadius = 0.0068528596f;
constexpr int kRouteLayer = 3;
constexpr int kOriginLayer = 4;
constexpr uint32_t kFindFlags = 7;

// The place's road on the loaded map, with the nearest point of it.
struct Located {
    MapLink* link = nullptr;
    uint32_t segment = 0;
    MapPoint point{};
    uint32_t cellWord = 0;
};

Located Locate(CMapDatabase& database, const PoiPlace& place, int layer) {
    Located found;
    found.point = MapPoint{place.lat, place.lon};
    if (place.linkId <= 0)
        return found;
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(place.linkId, record, false) == 0)
        found.cellWord = record.cellWord;
    int loaded = 0;
    database.LoadAreaAroundPoint(layer, found.cellWord, found.point, kPoiAreaRadius, &loaded);
    found.link = database.FindLink(loaded, found.point, place.linkId, kFindFlags, 0);
    if (found.link)
        found.segment = found.link->NearestPoint(place.lat, place.lon, &found.point);
    return found;
}

// The street line ("12 MAIN ST") and area line of the place's road; false when
// either cannot be read or is empty.
bool StreetAndArea(const PoiPlace& place, std::string* street, std::string* area) {
    if (place.cityCentre || place.linkId <= 0)
        return false;
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(place.linkId, record, false) != 0)
        return false;
    char name[kStreetTextSize] = "";
    GetLinkStreetName(g_linkInfo, place.linkId, 0, 0, name, sizeof name, false);
    char place_[kPlaceTextSize] = "";
    g_areaZones.FormatPlaceText(record, place_, sizeof place_, place.side, false);
    if (!name[0] || !place_[0])
        return false;
    *street = place.house >= 1 ? std::to_string(place.house) + " " + name : name;
    *area = place_;
    return true;
}

std::string HouseText(int32_t house) {
    return house >= 1 ? std::to_string(house) : std::string();
}

// Stores the place in list kind 0 (favourites, asking) or 1 (recent, at the front).
void Store(const PoiPlace& place, const Located& located, int kind, IMainView* view) {
    if (!view)
        return;
    std::string street, area;
    const std::string name = PoiListName(place.name);
    const AddressHit hit{place.linkId, located.cellWord, place.side, located.point.latitude,
                         located.point.longitude};
    const std::string shortName = std::to_string(place.house);
    if (StreetAndArea(place, &street, &area)) {
        const std::string lines = street + "\n" + area;
        view->AddToFavorites(hit, kind, lines.c_str(), shortName.c_str(), name.c_str(), TRUE,
                             FALSE);
    } else {
        view->AddToFavorites(hit, kind, name.c_str(), shortName.c_str(), nullptr, TRUE, FALSE);
    }
}

}  // namespace

PoiPlace PoiPlaceOf(const PoiResult& result) {
    PoiPlace place;
    place.linkId = static_cast<int32_t>(result.record.LinkRecord());
    place.lat = result.record.latitude;
    place.lon = result.record.longitude;
    place.house = PoiHouseNumber(result.record.addressWord);
    place.side = PoiSide(result.record.addressWord);
    place.name = result.name ? result.name : "";
    place.phone = ReadPoiPhoneDigits(result.record);
    return place;
}

std::string PoiListName(const std::string& name) {
    return name.substr(0, name.find('('));
}

std::string PoiDestinationText(const PoiPlace& place) {
    if (place.cityCentre)
        return place.name;
    std::string text = place.name;
    std::string street, area;
    if (!text.empty() && StreetAndArea(place, &street, &area)) {
        // Without a number the street line is the road's name alone.
        if (street != place.name) {
            text += '\n';
            text += street;
        }
        text += '\n';
        text += area;
    }
    if (!place.phone.empty()) {
        text += '\n';
        text += FormatPoiPhone(place.phone);
    }
    return text;
}

bool NavigateToPoi(CMapDatabase& database, const PoiPlace& place, IMainView* view,
                   bool callerRoutes, RouteTarget* target) {
    target->Clear();
    const Located located = Locate(database, place, kRouteLayer);
    if (!located.link)
        return false;
    target->link = located.link;
    target->segment = located.segment;
    target->lat = located.point.latitude;
    target->lon = located.point.longitude;
    std::snprintf(target->shortName, sizeof target->shortName, "%s",
                  HouseText(place.house).c_str());
    target->areaCode = static_cast<DWORD>(place.side);
    std::snprintf(g_destinationText, sizeof g_destinationText, "%s",
                  PoiDestinationText(place).c_str());
    Store(place, located, 1, view);
    std::string street, area;
    const std::string name = PoiListName(place.name);
    const AddressHit hit{place.linkId, located.cellWord, place.side, located.point.latitude,
                         located.point.longitude};
    const DestPlace destination = hit.ToDestPlace();
    const std::string shortName = std::to_string(place.house);
    if (StreetAndArea(place, &street, &area)) {
        const std::string lines = street + "\n" + area;
        RewriteItinerary(nullptr, &destination, lines.c_str(), shortName.c_str(), name.c_str());
    } else {
        RewriteItinerary(nullptr, &destination, name.c_str(), shortName.c_str(), nullptr);
    }
    if (!callerRoutes)
        RequestRouteFromVehicle(*target);
    return true;
}

void AddPoiToFavorites(CMapDatabase& database, const PoiPlace& place, IMainView* view) {
    Store(place, Locate(database, place, kOriginLayer), 0, view);
}

bool MakePoiTheOrigin(CMapDatabase& database, const PoiPlace& place, IMainView* view) {
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    const Located located = Locate(database, place, kOriginLayer);
    if (!located.link)
        return false;
    PlaceVehicleAt(database, located.link, static_cast<int32_t>(located.segment), located.point);
    if (view) {
        view->SetPanMode(TRUE);
        view->SetPanCentre(located.point.latitude, located.point.longitude);
    }
    Store(place, located, 1, view);
    return true;
}
