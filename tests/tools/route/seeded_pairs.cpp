#include "tests/tools/route/seeded_pairs.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "pathlume/mapdb/geodesy.h"
#include "tools/discmaker/disc_layout.h"

namespace route_pairs {

namespace {
constexpr double kMetresPerRadian = 6370973.27862;
}  // namespace

Graph GraphOf(const discmaker::Network& network) {
    Graph g;
    g.out.resize(network.nodes.size());
    g.lengthKm.resize(network.links.size());
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const discmaker::Link& link = network.links[i];
        g.lengthKm[i] = network.LinkLengthKm(i);
        if (discmaker::InPrebuiltRegion(network, link))
            continue;
        if (link.direction != discmaker::Direction::Backward)
            g.out[link.from].push_back({i, link.to});
        if (link.direction != discmaker::Direction::Forward)
            g.out[link.to].push_back({i, link.from});
    }
    return g;
}

// Iterative Kosaraju.
std::vector<bool> LargestStrongPart(const Graph& g) {
    const size_t n = g.out.size();
    std::vector<std::vector<uint32_t>> in(n);
    for (uint32_t v = 0; v < n; ++v)
        for (const auto& [link, to] : g.out[v])
            in[to].push_back(v);
    std::vector<bool> seen(n, false);
    std::vector<uint32_t> order;
    for (uint32_t s = 0; s < n; ++s) {
        if (seen[s])
            continue;
        std::vector<std::pair<uint32_t, size_t>> stack{{s, 0}};
        seen[s] = true;
        while (!stack.empty()) {
            auto& [v, next] = stack.back();
            if (next < g.out[v].size()) {
                const uint32_t to = g.out[v][next++].second;
                if (!seen[to]) {
                    seen[to] = true;
                    stack.push_back({to, 0});
                }
            } else {
                order.push_back(v);
                stack.pop_back();
            }
        }
    }
    std::vector<int> part(n, -1);
    std::vector<size_t> sizes;
    for (size_t k = order.size(); k-- > 0;) {
        if (part[order[k]] >= 0)
            continue;
        const int id = static_cast<int>(sizes.size());
        sizes.push_back(0);
        std::vector<uint32_t> stack{order[k]};
        part[order[k]] = id;
        while (!stack.empty()) {
            const uint32_t v = stack.back();
            stack.pop_back();
            ++sizes[id];
            for (uint32_t from : in[v]) {
                if (part[from] < 0) {
                    part[from] = id;
                    stack.push_back(from);
                }
            }
        }
    }
    const int largest =
        static_cast<int>(std::max_element(sizes.begin(), sizes.end()) - sizes.begin());
    std::vector<bool> inPart(n);
    for (size_t v = 0; v < n; ++v)
        inPart[v] = part[v] == largest;
    return inPart;
}

std::vector<routetool::Pair> SeededPairs(const discmaker::Network& network, size_t count,
                                         unsigned seed) {
    const Graph g = GraphOf(network);
    const std::vector<bool> part = LargestStrongPart(g);
    std::vector<uint32_t> links;
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const discmaker::Link& link = network.links[i];
        if (part[link.from] && part[link.to] && !discmaker::InPrebuiltRegion(network, link) &&
            g.lengthKm[i] > 0.02)
            links.push_back(i);
    }
    auto pointOn = [&](uint32_t i) {
        const std::vector<discmaker::LatLon> points = network.LinkPoints(i);
        const discmaker::LatLon& a = points[points.size() / 2 - (points.size() % 2 ? 0 : 1)];
        const discmaker::LatLon& b = points[points.size() / 2];
        return MapPoint{static_cast<FLOAT>((a.lat + b.lat) / 2),
                        static_cast<FLOAT>((a.lon + b.lon) / 2)};
    };
    std::mt19937 random(seed);
    std::vector<routetool::Pair> pairs;
    while (pairs.size() < count && !links.empty()) {
        const MapPoint from = pointOn(links[random() % links.size()]);
        const MapPoint to = pointOn(links[random() % links.size()]);
        if (GeoDistance(from, to) * kMetresPerRadian >= 300)
            pairs.push_back({from, to});
    }
    return pairs;
}

}  // namespace route_pairs
