#include "tests/support/shared_data.h"

namespace testing_support {

std::filesystem::path SharedOsmFolder() {
    std::filesystem::path repository =
        std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
    return repository.parent_path() / "shared" / "data" / "osm";
}

}  // namespace testing_support
