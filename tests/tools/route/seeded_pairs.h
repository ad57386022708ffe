// Seeded point pairs over a disc builder network for the route tool's tests and the
// pairs benchmark, and the network as a plain directed graph.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "tools/discmaker/network.h"
#include "tools/route/route_tool.h"

namespace route_pairs {

// The network's links by their one-way rules (links of the prebuilt region left out).
struct Graph {
    // For each node its outgoing (link, to-node) pairs by the links' directions.
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

// The seed of the pairs the route tests and the benchmark share.
inline constexpr unsigned kPairSeed = 20261210;

}  // namespace route_pairs
