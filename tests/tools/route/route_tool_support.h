// What the route tool's tests share: device maps of the real extracts and seeded
// point pairs on a network's largest strongly connected part.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/device_maps.h"
#include "tests/tools/route/seeded_pairs.h"
#include "tools/discmaker/network.h"
#include "tools/route/route_tool.h"

namespace route_tool_test {

// Device maps of an extract, made once per test program; null without the extract.
struct ExtractMaps {
    discmaker::Network network;
    std::unique_ptr<testing_support::GeneratedDeviceMaps> maps;
    const std::filesystem::path& folder() const { return maps->folder(); }
};
const ExtractMaps* MapsOf(const std::string& file);

// The network as a plain graph and the seeded pairs (seeded_pairs.h, which the
// benchmarks share).
using route_pairs::Graph;
using route_pairs::GraphOf;
using route_pairs::LargestStrongPart;
using route_pairs::SeededPairs;

}  // namespace route_tool_test
