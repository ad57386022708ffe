// The texts of the point-of-interest screens, from a search's results: the rows of
// the name search, the nearby list and a chain's places, the distance and telephone
// texts, and the message row of a search that found nothing. No window here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/mapdb/poi_file.h"

// A list row and the result it stands for (-1: a message row).
struct PoiRow {
    std::string text;
    int result = -1;
};

// "Options2" bit 0: the lists hold every result.
inline constexpr uint32_t kOptions2AllPoiRows = 0x1;
// The most rows a list holds otherwise.
inline constexpr int kPoiRowLimit = 10000;
// Whether the lists are cut to kPoiRowLimit.
bool PoiRowsLimited();

// Messages of the lists.
inline constexpr unsigned kMsgNoPoiInCity = 6189;
inline constexpr unsigned kMsgNoPoiNearby = 6190;
inline constexpr unsigned kMsgWrongPoiFormat = 6191;
inline constexpr unsigned kMsgNoPoiInRegion = 6193;

// A distance in kilometres (metric) or miles: "500m", "0.5km", "0.2mi", "1003ft",
// "334yd" (yards with option bit 0x400).
std::string FormatPoiDistance(double distance, uint32_t options);
// The distance of a squared distance in square degrees of latitude, in kilometres
// (metric) or miles.
double PoiDistanceInUnits(float squared, bool metric);
// The telephone digits of a result's record: empty when it has none or they cannot
// be read from g_poiFile.
std::string ReadPoiPhoneDigits(const PoiLayerEntry& record);

// The message row of a failed search (6190, 6191, "--No POI found--"), empty for the
// codes that leave the list empty.
std::string PoiSearchMessage(int code);

// The name search's rows (one per run of a name, in name order) around the centre or
// in the region; the search is sorted and its distances set on the way. Empty when
// no result qualifies.
std::vector<PoiRow> BuildPoiNameRows(CPoiSearch& search);
// The nearby list's rows ("NAME (1.2km), 12 STREET, CITY"); the search is sorted by
// distance. Empty when the nearest result is beyond the radius.
std::vector<PoiRow> BuildPoiNearbyRows(CPoiSearch& search, uint32_t options);
// A chain's rows: the group's places within the radius, nearest kept first, sorted by
// city; the group is cut to them. Each row's result is its place in the group.
std::vector<PoiRow> BuildPoiChainRows(CPoiSearch& search, CPoiResultArray& group);

// The house number of an address word: -1 without one.
int32_t PoiHouseNumber(uint32_t addressWord);
// The side of the road of an address word: +1, -1, or 0.
int PoiSide(uint32_t addressWord);
