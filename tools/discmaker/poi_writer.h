// The points of interest of data discs 2 and 3: "poi.raw", gridded in the cells of
// the point-of-interest grid, with their names, telephone numbers, roads and places.
// docs/formats/map-data.md tells how the network's points become its records.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/discmaker/area_writer.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/linkinfo_writer.h"
#include "tools/discmaker/network.h"

namespace discmaker {

struct PoiFigures {
    uint32_t pointsWritten = 0;  // points without a road record or a place are left out
    uint64_t bytesWritten = 0;   // both files
};

// The bytes of "poi.raw".
std::vector<uint8_t> BuildPoiFile(const Network& network, const DiscLayout& layout,
                                  const LinkInfoTables& linkInfo, const AreaTables& areas,
                                  uint32_t* pointsWritten = nullptr);

// Writes the same "poi.raw" into the mapdata folders of discs 2 and 3
// (layout.mapData[1], [2]). Throws std::runtime_error when a file cannot be written.
PoiFigures WritePoiFiles(const Network& network, const DiscLayout& layout,
                         const LinkInfoTables& linkInfo, const AreaTables& areas);

}  // namespace discmaker
