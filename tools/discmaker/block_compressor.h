// Compressed blocks of the data discs (layout in formats/compressed_block.h), made
// on all cores: every block is independent, so blocks are deflated side by side
// and handed back in their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace discmaker {

// The level of the map and link-information blocks of the discs; docs/formats/
// map-data.md ("Compression of the discs") says why.
inline constexpr int kDiscCompressionLevel = 6;

// One block: the 8-byte head, then the stream of sync-flushed pieces. Throws
// std::runtime_error when the raw bytes exceed what a reader accepts or deflate
// fails.
std::vector<uint8_t> CompressBlock(const uint8_t* raw, size_t size,
                                   int level = kDiscCompressionLevel);

// The blocks of `raws`, in order, made on up to `threads` threads (0: one per
// core).
std::vector<std::vector<uint8_t>> CompressBlocks(
    const std::vector<const std::vector<uint8_t>*>& raws, int level = kDiscCompressionLevel,
    unsigned threads = 0);

}  // namespace discmaker
