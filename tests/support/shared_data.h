// The real OpenStreetMap extracts and GPS traces beside the repository. Tests that
// use them skip with a clear message when the folder is absent.
#pragma once

#include <filesystem>

namespace testing_support {

// The checkout the tests were built from (for golden files, corpora, resource tables).
std::filesystem::path RepositoryFolder();

// <repository>/../shared/data/osm
std::filesystem::path SharedOsmFolder();
// <repository>/../shared/data/nmea: real receivers' NMEA captures
std::filesystem::path SharedNmeaFolder();

}  // namespace testing_support
