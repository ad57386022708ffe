// Compressed blocks of the data discs (layout in formats/compressed_block.h), made
// on all cores: every block is independent, so blocks are deflated side by side
// and handed back in their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A block deflated as its raw bytes arrive, so that a large block is never held
// raw: Finish gives the bytes CompressBlock gives for all of them at once. Throws
// as CompressBlock does.
class BlockStream {
  public:
    explicit BlockStream(int level = kDiscCompressionLevel);
    ~BlockStream();
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;

    void Append(const uint8_t* raw, size_t size);
    void Append(const std::vector<uint8_t>& raw) { Append(raw.data(), raw.size()); }
    std::vector<uint8_t> Finish();

  private:
    class Deflater;
    std::unique_ptr<Deflater> m_deflater;
    std::vector<uint8_t> m_piece;  // raw bytes not yet deflated, less than a piece
    size_t m_size = 0;             // raw bytes given
};

// The blocks of `raws`, in order, made on up to `threads` threads (0: one per
// core).
std::vector<std::vector<uint8_t>> CompressBlocks(
    const std::vector<const std::vector<uint8_t>*>& raws, int level = kDiscCompressionLevel,
    unsigned threads = 0);

}  // namespace discmaker
