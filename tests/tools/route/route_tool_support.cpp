#include "tests/tools/route/route_tool_support.h"

#include <map>

#include "tests/support/shared_data.h"
#include "tools/discmaker/osm.h"

namespace route_tool_test {

namespace fs = std::filesystem;

const ExtractMaps* MapsOf(const std::string& file) {
    static std::map<std::string, std::unique_ptr<ExtractMaps>> made;
    auto [it, inserted] = made.try_emplace(file);
    if (!inserted)
        return it->second.get();
    const fs::path extract = testing_support::SharedOsmFolder() / file;
    if (!fs::exists(extract))
        return nullptr;
    auto maps = std::make_unique<ExtractMaps>();
    maps->network = discmaker::ReadOsm(extract, "ON");
    maps->maps = std::make_unique<testing_support::GeneratedDeviceMaps>(
        maps->network, discmaker::BuildOptions{}, file);
    it->second = std::move(maps);
    return it->second.get();
}

}  // namespace route_tool_test
