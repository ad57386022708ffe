// The cities of a region as the city screen lists them: every place record of the
// region's block of "az.bin", names that occur more than once told apart by the place
// or county their record names, sorted as names compare.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AreaZoneFile;

inline constexpr size_t kCityNameSize = 80;

// The chosen city, as the city screen hands it to the street screen.
struct CitySelection {
    char displayName[kCityNameSize] = "";  // as listed, suffix included
    uint32_t recordNumber = 0;             // its place within the region's block, from 0
    uint32_t fileOffset = 0;               // its record's offset in "az.bin": the city's id
};

struct CityEntry {
    uint32_t recordNumber = 0;
    uint32_t fileOffset = 0;
    std::string displayName;
};

// The region's cities. A name of 80 bytes or more, or one beginning with a zero byte,
// is not listed. Of records with the same name, each that names another record shows
// "NAME, OTHER" (a name of the names lists) or "NAME [OTHER]" (another place); one
// that names a record of its own name is left out, and a name left with one record
// shows plainly. A reference that cannot be read leaves the plain name. An unknown
// region or a block that cannot be read gives what was read before it.
std::vector<CityEntry> BuildCityList(AreaZoneFile& areas, int region);
