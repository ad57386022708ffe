// What the point-of-interest screens do with a chosen place: drive to it, keep it as
// a favourite, or make it the vehicle's position. No window here.
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/foundation/dest_list.h"

class CMapDatabase;
class IMainView;
struct PoiResult;

// A chosen place as the actions need it.
struct PoiPlace {
    int32_t linkId = 0;  // the road's record in "linkinfo.bin"; 0 when none
    float lat = 0;
    float lon = 0;
    int32_t house = -1;  // -1: no number
    int side = 0;        // +1, -1, 0 (either)
    std::string name;    // as listed
    std::string phone;   // the digits, empty when none
    bool cityCentre = false;
};

// The place of a result (its telephone read from g_poiFile).
PoiPlace PoiPlaceOf(const PoiResult& result);

// The name a list stores: the text before its first "(".
std::string PoiListName(const std::string& name);

// The destination text of a place on its road: "NAME\nSTREET\nAREA" (the street line
// left out when it is the name, the number in front of the street), with the
// telephone line after it; just the name when the road's texts cannot be read; empty
// lines for a city centre.
std::string PoiDestinationText(const PoiPlace& place);

// Drives to the place: the destination text, "recent.dat", "itinerary.dat" and the
// target; the route is requested too unless callerRoutes. False (nothing stored, the
// target cleared) when its road is not found near it.
bool NavigateToPoi(CMapDatabase& database, const PoiPlace& place, IMainView* view,
                   bool callerRoutes, RouteTarget* target);
// Offers the place to the favourites (the program's question, with Edit and
// Override); its road's texts when the road is found, else the name alone.
void AddPoiToFavorites(CMapDatabase& database, const PoiPlace& place, IMainView* view);
// Makes the place the vehicle's position on its road and puts it first in
// "recent.dat". False (nothing moved, nothing stored) when the road is not found.
bool MakePoiTheOrigin(CMapDatabase& database, const PoiPlace& place, IMainView* view);
