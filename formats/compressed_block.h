// The compressed block: every compressed piece of map data, on the data discs
// ("mapdata1.raz", "mapdata21.raz".."mapdata23.raz", "linkinfo.raz",
// "lfoidx.raz") and on the device ("mapdata1.biz", "mapdatat.biz",
// "mapdata2.biz"). A block sits at whatever offset its file's index gives:
//
//   offset 0  u32  packed size: bytes of the zlib stream that follows
//   offset 4  u32  raw size: bytes the stream inflates to
//   offset 8       the zlib stream (zlib header, then deflate data)
//
// The stream is deflated in pieces of at most kPieceSize raw bytes, each ended
// with a sync flush, and is never finished: no final deflate block, no Adler-32
// trailer. Readers inflate with a sync flush until the packed size is consumed
// and never wait for a stream end. The device's blocks are deflated at level 9
// (kLevel); the disc builder chooses its own level for the blocks the converters
// inflate (docs/formats/map-data.md). Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/little_endian.h"

namespace formats::compressed_block {

using formats::LoadU32;
using formats::StoreU32;

inline constexpr size_t kPackedSizeOffset = 0;
inline constexpr size_t kRawSizeOffset = 4;
inline constexpr size_t kHeadSize = 8;
inline constexpr size_t kStreamOffset = kHeadSize;
static_assert(kHeadSize == kRawSizeOffset + sizeof(uint32_t), "the head is two u32");

// Writer: raw bytes fed to deflate per sync-flushed piece, and the output space
// that one piece is given (enough for an incompressible piece at level 9).
inline constexpr uint32_t kPieceSize = 0x80000;        // 524,288
inline constexpr uint32_t kPieceOutputSize = 0x80218;  // 524,824
inline constexpr int kLevel = 9;

// The chunk header a map cell's block may carry over its first raw bytes.
inline constexpr size_t kChunkHeaderSize = 28;

// Readers: the desktop's whole-block reader takes its input in pieces of at most
// kReaderInputPiece bytes; the windowed reader holds at most kStreamInputSize
// bytes of input and kStreamWindowSize bytes of output.
inline constexpr uint32_t kReaderInputPiece = 1049112;
inline constexpr uint32_t kStreamInputSize = 0x10000;   // 65,536
inline constexpr uint32_t kStreamWindowSize = 0x40000;  // 262,144

// A raw size read from a file is trusted only up to these limits, checked before
// anything is allocated for it: no block of map data comes near 64 MiB, and
// deflate never packs more than 1,032 raw bytes into one byte.
inline constexpr uint32_t kMaxRawSize = 64u * 1024 * 1024;
inline constexpr uint32_t kMaxRatio = 1032;

struct BlockHead {
    uint32_t packedSize;
    uint32_t rawSize;
};

inline BlockHead DecodeHead(const uint8_t (&head)[kHeadSize]) {
    return {LoadU32(head + kPackedSizeOffset), LoadU32(head + kRawSizeOffset)};
}

inline void EncodeHead(const BlockHead& block, uint8_t (&head)[kHeadSize]) {
    StoreU32(head + kPackedSizeOffset, block.packedSize);
    StoreU32(head + kRawSizeOffset, block.rawSize);
}

// Whether a head read from a file describes a block a reader may inflate.
inline bool IsPlausibleHead(const BlockHead& block) {
    return block.rawSize <= kMaxRawSize && static_cast<uint64_t>(block.rawSize) <=
                                               static_cast<uint64_t>(block.packedSize) * kMaxRatio;
}

}  // namespace formats::compressed_block
