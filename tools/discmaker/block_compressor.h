// The level of the discs' compressed blocks; the blocks themselves are made by
// mapferry/convert/block_compressor.h.
#pragma once

#include "mapferry/convert/block_compressor.h"

namespace discmaker {

// The level of the map and link-information blocks of the discs; docs/formats/
// map-data.md ("Compression of the discs") says why.
inline constexpr int kDiscCompressionLevel = 6;

}  // namespace discmaker
