// The area features of data discs 2 and 3: "polygons.raz", the network's areas and
// lines cut into the cells of the polygon grid. docs/formats/map-data.md tells how.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "formats/polygons.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/network.h"

namespace discmaker {

// The polygon file's kind of a network feature: the one whose colour and detail
// thresholds the map view draws it with (a park green, a built-up area light).
uint32_t PolygonKind(FeatureKind kind);

// The order in which the map view paints a feature of this kind within a cell,
// lowest first: broad land cover, the land uses inside it, buildings, water areas,
// then the lines. The view draws a cell's features in file order, so a forest
// written after a lake would hide it.
int PaintRank(const PolygonFeature& feature);

// The features of each non-empty cell of the polygon grid, by cell index: each
// network feature clipped to the cells it crosses, in paint order (network order
// within a rank).
std::map<uint32_t, std::vector<formats::polygons::Feature>> CutPolygonFeatures(
    const Network& network, const DiscLayout& layout);

// Writes the same "polygons.raz" into the mapdata folders of discs 2 and 3
// (layout.mapData[1], [2]). Returns the bytes written (both files). Throws
// std::runtime_error when a file cannot be written or a feature is too large.
uint64_t WritePolygonFiles(const Network& network, const DiscLayout& layout);

}  // namespace discmaker
