// What the route tool's tests share: device maps of the real extracts and seeded
// point pairs on a network's largest strongly connected part.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/device_maps.h"
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

// The disc builder's network as a plain graph: for each node its outgoing
// (link, to-node) pairs by the links' directions.
struct Graph {
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> out;
    std::vector<double> lengthKm;
};
Graph GraphOf(const discmaker::Network& network);
// The nodes of the largest strongly connected part.
std::vector<bool> LargestStrongPart(const Graph& g);

// Seeded pairs of points on links (a shape point or a link's middle) whose two ends
// lie in the largest strongly connected part, at least 300 m apart.
std::vector<routetool::Pair> SeededPairs(const discmaker::Network& network, size_t count,
                                         unsigned seed);

}  // namespace route_tool_test
