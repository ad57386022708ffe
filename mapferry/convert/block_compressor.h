// Compressed blocks (layout in formats/compressed_block.h) made in memory and on
// all cores: every block is independent, so blocks are deflated side by side and
// handed back in their order. At the same level the bytes are those
// WriteCompressedBlock writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/compressed_block.h"

// One block: the 8-byte head, then the stream of sync-flushed pieces. Throws
// std::runtime_error when the raw bytes exceed what a reader accepts or deflate
// fails.
std::vector<uint8_t> CompressBlock(const uint8_t* raw, size_t size,
                                   int level = formats::compressed_block::kLevel);

// A block deflated as its raw bytes arrive, so that a large block is never held
// raw: Finish gives the bytes CompressBlock gives for all of them at once. Throws
// as CompressBlock does.
class BlockStream {
  public:
    explicit BlockStream(int level = formats::compressed_block::kLevel);
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
    const std::vector<const std::vector<uint8_t>*>& raws,
    int level = formats::compressed_block::kLevel, unsigned threads = 0);
