#include "tests/support/shared_data.h"

namespace testing_support {

std::filesystem::path SourceFolder() {
    return std::filesystem::path(PATHLUME_SOURCE_DIR);
}

std::filesystem::path SharedOsmFolder() {
    return SourceFolder().parent_path() / "shared" / "data" / "osm";
}

}  // namespace testing_support
