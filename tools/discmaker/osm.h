// The OpenStreetMap front end: reads an extract (.osm, .osm.gz, .osm.bz2, .osm.pbf)
// into a network filed under one built-in state or province, and writes a network
// back out as OpenStreetMap (XML or PBF) so that an outside router can run on the same
// roads. docs/formats/discmaker.md says how the tags map.
#pragma once

#include <filesystem>
#include <string>

#include "tools/discmaker/network.h"
#include "tools/discmaker/progress.h"

namespace discmaker {

// The state the extract is filed under when none is given.
inline constexpr const char* kDefaultOsmState = "AL";

// Reads the extract. Throws std::invalid_argument for a state code that is not
// built in, std::runtime_error for a file that cannot be read or holds no drivable
// road.
// `progress` hears the passes over the file and the share of it read.
Network ReadOsm(const std::filesystem::path& file, const std::string& stateCode = kDefaultOsmState,
                const ProgressReport& progress = {});

// Splits a street name into the parts the name files store: "N Main St",
// "Main Street West", "Avinguda Meritxell"; a name that fits no pattern is all
// base ("Bayreuther Straße").
StreetName ParseStreetName(const std::string& text);

// Writes the network's roads, turn restrictions and places as OpenStreetMap: PBF
// when the file name ends in ".osm.pbf", else XML. Throws std::runtime_error when
// the file cannot be written.
void WriteOsm(const Network& network, const std::filesystem::path& file);

}  // namespace discmaker
