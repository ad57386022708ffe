// The addresses the "Select Address" screen offers at the end of an address or
// intersection search, and what its Nav, Fav and Origin do with the chosen one. No
// window here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/search/street_list.h"

class CMapDatabase;
class IMainView;

struct AddressListQuery {
    StreetRecord first;
    std::optional<StreetRecord> second;  // an intersection's cross street
    int32_t areaCode = -1;               // the side's area code; -1 any
    int32_t houseNumber = -1;            // -1: none
    uint8_t region = 0;
    int32_t city = -1;  // the place the search keeps to; -1 any

    bool IsIntersection() const { return second.has_value(); }
};

// One row: the place (link id, cell word, the side's area code; the position is set
// once the row is located) and the text shown, two lines.
struct AddressRow {
    AddressHit hit{};
    std::string text;
};

// Message ids when nothing was found.
inline constexpr unsigned kMsgHouseNumberNotFound = 6113;
inline constexpr unsigned kMsgIntersectionNotFound = 6114;

// Address: every link of the street (its letter pair's records first named so, then
// its list in "lfoidx.bin") that carries the number, "N STREET\nPLACE" (or
// "STREET\nPLACE" without a number); intersection: every place where the cross
// street meets the street, "STREET\nCROSS STREET, PLACE". Each text once, sorted by
// the second line as names compare, then by the whole text.
std::vector<AddressRow> BuildAddressRows(CMapDatabase& database, const AddressListQuery& query);

struct LocatedAddress {
    MapLink* link = nullptr;
    int32_t segment = -1;
    MapPoint point;
};
// Loads the map around the row in the layer (3 to route, 4 for the origin) and finds
// its link and the point: the house number's on the link, or the crossing. False when
// the link is not on the map.
bool LocateAddress(CMapDatabase& database, const AddressRow& row, const AddressListQuery& query,
                   int layer, LocatedAddress& out);

// The row's text as a list record keeps it: an intersection's first line behind the
// byte 0x01.
std::string StoredAddressText(const AddressRow& row, const AddressListQuery& query);

// Nav: the route to the row (avoid marks off, the route reset, the row the destination
// text, "recent.dat" and "itinerary.dat" written). False when the row is not on the
// map (nothing requested).
bool NavigateToAddress(CMapDatabase& database, const AddressRow& row, const AddressListQuery& query,
                       IMainView* view);
// Fav: the row offered to the favourites (the view asks on a duplicate).
bool AddAddressToFavorites(CMapDatabase& database, const AddressRow& row,
                           const AddressListQuery& query, IMainView* view);
// Origin: the vehicle placed at the row and the row added to "recent.dat".
bool MakeAddressTheOrigin(CMapDatabase& database, const AddressRow& row,
                          const AddressListQuery& query, IMainView* view);
