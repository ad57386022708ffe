// The real OpenStreetMap extracts and GPS traces: the folder PATHLUME_SHARED_DATA
// names, else shared/data beside the checkout. Tests that use them skip with a
// clear message when the folder is absent.
#pragma once

#include <filesystem>

namespace testing_support {

// The checkout the tests were built from (for golden files, corpora, resource tables).
std::filesystem::path RepositoryFolder();

// $PATHLUME_SHARED_DATA, else <repository>/../shared/data
std::filesystem::path SharedDataFolder();
// <shared data>/osm: the OpenStreetMap extracts
std::filesystem::path SharedOsmFolder();
// <shared data>/nmea: real receivers' NMEA captures
std::filesystem::path SharedNmeaFolder();

}  // namespace testing_support
