// The built-in town: a made-up road network of about `size` links, the same for the
// same seed. It has every road class, a freeway with interchanges, one-way streets,
// a roundabout, named streets with house ranges, a river, parks and other areas,
// three cities in two states with a county line between two of them, points of
// interest in every category and sub-category, and an island that forms the region
// which cannot be combined with others.
#pragma once

#include <cstdint>

#include "tools/discmaker/network.h"

namespace discmaker {

inline constexpr int kMinTownSize = 100;
// A town the size of a region (some 3,000,000 links) still fits.
inline constexpr int kMaxTownSize = 4000000;

// Throws std::invalid_argument for a size outside kMinTownSize..kMaxTownSize.
Network BuildTown(uint64_t seed, int size);

}  // namespace discmaker
