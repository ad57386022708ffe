// The regions the region screen lists: those with streets installed, a hidden one
// only while it is the current region, labelled "NAME (CC)" and sorted as names
// compare. Each row keeps its own region, so that two names of which one begins the
// other (ALPHA, ALPHA BETA) stay apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AreaZoneFile;
class StreetNameListFile;

inline constexpr uint8_t kNoRegion = 255;

struct RegionRow {
    std::string label;
    uint8_t region = 0;
};

// Empty when the area index has no regions or "stnl.bin" is not given.
std::vector<RegionRow> BuildRegionList(const AreaZoneFile& areas, const StreetNameListFile* streets,
                                       int currentRegion);
