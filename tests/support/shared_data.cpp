#include "tests/support/shared_data.h"

#include <cstdlib>

namespace testing_support {

std::filesystem::path RepositoryFolder() {
    return PATHLUME_REPOSITORY;
}

std::filesystem::path SharedDataFolder() {
    const char* named = std::getenv("PATHLUME_SHARED_DATA");
    if (named && named[0])
        return named;
    return RepositoryFolder().parent_path() / "shared" / "data";
}

std::filesystem::path SharedOsmFolder() {
    return SharedDataFolder() / "osm";
}

std::filesystem::path SharedNmeaFolder() {
    return SharedDataFolder() / "nmea";
}

}  // namespace testing_support
