// What the destination lists do with a stored record: find its road again, drive to it
// on that road, or make it the vehicle's position. No window here.
#pragma once

#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_records.h"

class CMapDatabase;
class IMainView;

// The layers a record is looked for in: 3 to drive there, 4 to start from it.
inline constexpr int kRecordRouteLayer = 3;
inline constexpr int kRecordOriginLayer = 4;

// The record's link on the loaded map, in the layer given: null when it is not there,
// or when the record's house number (a short name above 0) is not on the link or lies
// on the side of another area code (a code of 0 takes either side unless strictSide).
// The side holding the number goes to *side when given.
MapLink* FindRecordLink(CMapDatabase& database, const DestRecord& record, int layer,
                        bool strictSide, int* side = nullptr);

// Drives to the record along its stored link: the destination text, "recent.dat",
// "itinerary.dat" and the route request from the vehicle. False (nothing done) when
// the link is not found or fails the house-number test.
bool RouteToRecordLink(CMapDatabase& database, DestRecord& record);

// Makes the record the vehicle's position, on its link or else on the road nearest to
// it that holds its number; the record then goes to the front of "recent.dat". False
// when no road was found (nothing moved, nothing added).
bool MakeRecordTheOrigin(CMapDatabase& database, DestRecord& record, IMainView* view);
