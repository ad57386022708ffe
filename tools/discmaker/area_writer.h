// The area files of data disc 1: "az.raw" (one area per list entry, with the
// counties and cities of its state as place records) and "azbc.raw" (per place,
// the street names of the links in it), and the place numbering that the link
// information and point-of-interest writers store. docs/formats/areas-and-link-info.md
// says how the network's areas become these files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/names_writer.h"
#include "tools/discmaker/network.h"

namespace discmaker {

struct AreaTables {
    // Per area of the network: its place record number in "az.raw" (counted from 0
    // over the whole file), kNone for states and for areas of no list entry.
    std::vector<uint32_t> placeOfArea;
    // Per place record: the network area it stands for.
    std::vector<uint32_t> areaOfPlace;
    // Per list entry: the number of its first place record and its place count.
    std::vector<uint32_t> firstPlaceOfEntry;
    std::vector<uint32_t> placeCountOfEntry;
    uint64_t bytesWritten = 0;  // both files

    // The place record number of an area, -1 for none, as records store it.
    int32_t PlaceValue(uint32_t area) const;
};

// Writes "az.raw" and "azbc.raw" into `disc1MapData`. Throws std::runtime_error when
// a file cannot be written or the network has more list entries than "az.raw" can
// number.
AreaTables WriteAreaFiles(const Network& network, const DiscLayout& layout, const NameTables& names,
                          const std::filesystem::path& disc1MapData);

}  // namespace discmaker
