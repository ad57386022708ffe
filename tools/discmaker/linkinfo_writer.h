// The link information files of data disc 1: "linkinfo.raz" (per list entry, the
// address record of every link: its cell, house-number ranges, places and names,
// ordered by the first two letters of its first name) and "lfoidx.raz" (per list
// entry, the records of each name that a link carries besides its first), and the
// record numbering that the map container and point-of-interest writers store.
// docs/formats/areas-and-link-info.md says how the network's links become these
// files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/discmaker/area_writer.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/names_writer.h"
#include "tools/discmaker/network.h"

namespace discmaker {

struct LinkInfoTables {
    // Per link of the network: its record number in "linkinfo.raz" (counted from 0
    // over the whole file, entry by entry), kNone when it has none (only when the
    // layout has no list entry at all).
    std::vector<uint32_t> recordOfLink;
    // Per record: the network link it describes.
    std::vector<uint32_t> linkOfRecord;
    // Per list entry: the number of its first record and its record count.
    std::vector<uint32_t> firstRecordOfEntry;
    std::vector<uint32_t> recordCountOfEntry;
    uint64_t bytesWritten = 0;  // both files
};

// Writes "linkinfo.raz" and "lfoidx.raz" into `disc1MapData`. Throws
// std::runtime_error when a file cannot be written.
LinkInfoTables WriteLinkInfoFiles(const Network& network, const DiscLayout& layout,
                                  const NameTables& names, const AreaTables& areas,
                                  const std::filesystem::path& disc1MapData);

}  // namespace discmaker
