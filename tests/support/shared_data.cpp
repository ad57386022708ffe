#include "tests/support/shared_data.h"

namespace testing_support {

std::filesystem::path RepositoryFolder() {
    return PATHLUME_REPOSITORY;
}

std::filesystem::path SharedOsmFolder() {
    return RepositoryFolder().parent_path() / "shared" / "data" / "osm";
}

std::filesystem::path SharedNmeaFolder() {
    return RepositoryFolder().parent_path() / "shared" / "data" / "nmea";
}

}  // namespace testing_support
