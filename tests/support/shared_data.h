// The real OpenStreetMap extracts and GPS traces beside the repository. Tests that
// use them skip with a clear message when the folder is absent.
#pragma once

#include <filesystem>

namespace testing_support {

// The repository's root, as the build saw it (not __FILE__: the compiler cache
// makes that relative to the build folder).
std::filesystem::path SourceFolder();

// <repository>/../shared/data/osm
std::filesystem::path SharedOsmFolder();

}  // namespace testing_support
