// Turning a typed address (street line, city, state) into a place on a road link:
// the search over "names.bin", "linkinfo.bin" and "lfoidx.bin" that gives the
// candidates, the resolution of one candidate to a link and a point, and
// GeocodeAddress, which shows the messages, asks the router and fills the lists.
// The search and the resolution need no window: tools and tests call them alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/wintypes.h"

class CMapDatabase;
class CWnd;
struct RouteTarget;

// String ids of the search's messages.
inline constexpr UINT kMsgStreetNotFound = 6070;
inline constexpr UINT kMsgTypeNotFound = 6071;
inline constexpr UINT kMsgCityNotFound = 6072;
inline constexpr UINT kMsgAddressNotFound = 6220;

enum class AddressResult {
    kFound,
    kParseError,
    kStreetNotFound,
    kTypeNotFound,
    kCityNotFound,
    kNotFound,
};
// "found", "parse error", "street not found", "type not found", "city not found",
// "not found".
const char* AddressResultText(AddressResult result);

// One place the search found: the link's record offset in "linkinfo.bin" (its id),
// its cell word (bit 31: a cell of the detailed grid) and the side carrying the
// number (1 left, -1 right, 0 either).
struct AddressCandidate {
    int32_t recordOffset = 0;
    uint32_t cellWord = 0;
    int32_t side = 0;
};

struct AddressSearch {
    // The street line as parsed.
    std::string houseText;
    int32_t houseNumber = -1;  // -1: none
    std::string street;
    std::string direction;  // canonical ("N", "SW"), empty when none
    std::string typeText;   // the first type text, then the second
    std::string typeWord;
    uint32_t parseErrors = 0;

    uint32_t nameId = 0;  // the street's "names.bin" offset
    int areaIndex = 0;
    int32_t city = 0;  // the city's place offset in "az.bin"

    AddressResult result = AddressResult::kNotFound;
    // The string id of the message the program shows for the result; 0 when found.
    UINT messageId = 0;
    // True when a given direction picked the one candidate at once.
    bool takenByDirection = false;
    std::vector<AddressCandidate> candidates;
};

// Parses the street line, finds the street's name, its types, the area (the first
// when the state names none) and the city, and collects the candidates of both
// index passes. Reads g_namesFile, g_streetTypes, g_areaZones and g_linkInfo; shows
// nothing (the street-type file's own missing-file box aside).
AddressSearch FindAddress(const char* streetLine, const char* city, const char* state,
                          const char* label);

// A candidate on the loaded map.
struct ResolvedAddress {
    MapLink* link = nullptr;
    int32_t shapeIndex = -1;
    MapPoint point;
    int exact = 0;
};

// Loads `layerIndex` (3 to route to it, 4 to make it the current position) around
// the candidate's cell, finds its link and the point of the house number on it
// (the link's end without one). 0, or 1 when the link is not on the map or its
// record cannot be read.
int ResolveAddressHit(CMapDatabase& database, const AddressCandidate& candidate,
                      int32_t houseNumber, int layerIndex, ResolvedAddress& out);

// What the address list screen is given to offer a street's candidates.
struct AddressListRequest {
    uint32_t nameId = 0;
    int32_t cityPlace = -1;  // -1: any
    int32_t houseNumber = -1;
    uint8_t areaIndex = 0;
};
// The destination screens install the "Select Address" list; it returns its modal
// result. Without one, several candidates give result 0.
using AddressListHook = std::function<int(CWnd* parent, const AddressListRequest& request)>;
void SetAddressListHook(AddressListHook hook);

// Geocodes the address and, by the flags, makes it the current position
// (setOrigin), routes to it and adds it to the recent destinations and the
// favourites, or (favouritesOnly) adds it to the favourites alone. 1 when done, 0
// after a message (1 when the user left it with the Home key), or the address
// list's result when several candidates were offered.
int GeocodeAddress(const char* streetLine, const char* city, const char* state, const char* label,
                   const char* caption, int ignored, BOOL setOrigin, BOOL listFlag,
                   BOOL favouritesOnly);

// Makes a point of a link the vehicle's position: the map pans, the matched
// location (tag 4) and the router's origin move there, layer 2 is loaded around it,
// the matcher starts afresh and the position is saved.
void PlaceVehicleAt(CMapDatabase& database, MapLink* link, int32_t segment, const MapPoint& point);

// Asks the router for a route from the vehicle's matched position to the target;
// nothing without a matched link.
void RequestRouteFromVehicle(const RouteTarget& target);

// Shows string `id` in the program's error box (caption 6044). 0, or 1 when the
// user left it with the Home key (the key's flag is cleared).
int ShowMapMessage(UINT id);
