// The chunk: what one cell's block of a map container (formats/map_container.h)
// inflates to, the road network of that cell. The same layout on the data discs
// ("mapdata1.raz", "mapdata2N.raz") and on the device ("mapdata1.biz",
// "mapdatat.biz", "mapdata2.biz"); only the link-information value of a link
// differs (a record number on the disc, an offset into "linkinfo.bin" on the
// device). Read strictly in sequence, no offsets inside:
//
//   header       28 bytes (below)
//   aux points   auxCount x 8, present when scLinkCount > 0: the shape points of the
//                sc links, link after link in sc-link order, each link's from its
//                from-node end
//   nodes        nodeCount records: u8 nameLen (0..15), nameLen name bytes (the
//                node's turn restrictions, one byte per forbidden turn), u8 count
//                byte (low nibble: link slots), 8-byte position
//   sc links     scLinkCount x 19 bytes: links whose ends are this chunk's nodes or
//                nodes of the overview chunk of the same place
//   side nodes   for sides 0..3, levelNodes x 8-byte position: where roads cross the
//                cell's border
//   ed links     edLinkCount records: 19 bytes as an sc link, then the link's shape
//                points inline (its shape count x 8)
//
// A position is f32 latitude then f32 longitude, in degrees. Little-endian, no
// alignment. docs/formats/map-data.md tells how the builder lays a network out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/compressed_block.h"
#include "formats/map_container.h"

namespace formats::chunk_payload {

using map_container::LoadF32;
using map_container::LoadI32;
using map_container::LoadU16;
using map_container::LoadU32;
using map_container::StoreF32;
using map_container::StoreI32;
using map_container::StoreU16;
using map_container::StoreU32;

// ---- Header ----------------------------------------------------------------------

inline constexpr size_t kSlotWordsOffset = 0;    // u16: sum over nodes of slots - 1
inline constexpr size_t kNodeCountOffset = 2;    // u16
inline constexpr size_t kScLinkCountOffset = 4;  // u16
inline constexpr size_t kAuxCountOffset = 6;     // u16: aux points
inline constexpr size_t kEdLinkCountOffset = 8;  // u16, bit 15 a chunk flag
inline constexpr size_t kExtraBytesOffset = 10;  // u16: name bytes, each rounded up to 4
inline constexpr size_t kSidesOffset = 12;       // four {u16 levelNodes, u16 levelLinks}
inline constexpr size_t kSideRecordSize = 4;
inline constexpr int kSideCount = 4;
inline constexpr size_t kHeaderSize = 28;
static_assert(kSidesOffset + kSideCount * kSideRecordSize == kHeaderSize,
              "the header ends with the four side records");
static_assert(kHeaderSize == compressed_block::kChunkHeaderSize,
              "the block writer substitutes exactly the chunk header");

// Bit 15 of the ed-link count: a chunk that is never joined to a neighbour loaded
// after it. The builder never sets it.
inline constexpr uint16_t kNoLaterJoinFlag = 0x8000;
inline constexpr uint16_t kEdLinkCountMask = 0x7FFF;

// Sides of a cell: 0 towards row + 1 (north), 1 column + 1 (east), 2 row - 1
// (south), 3 column - 1 (west). A side's facing side in the neighbour is
// (side + 2) mod 4.
inline constexpr int kSideNorth = 0;
inline constexpr int kSideEast = 1;
inline constexpr int kSideSouth = 2;
inline constexpr int kSideWest = 3;
constexpr int OppositeSide(int side) {
    return (side + 2) % kSideCount;
}
inline constexpr int kSideColumnStep[kSideCount] = {0, 1, 0, -1};
inline constexpr int kSideRowStep[kSideCount] = {1, 0, -1, 0};

struct SideCounts {
    uint16_t levelNodes = 0;  // border nodes on the side
    uint16_t levelLinks = 0;  // ed links placed on the side (the rest are shared)
};

struct ChunkHeader {
    uint16_t slotWords = 0;
    uint16_t nodeCount = 0;
    uint16_t scLinkCount = 0;
    uint16_t auxCount = 0;
    uint16_t edLinkCount = 0;  // as stored, kNoLaterJoinFlag included
    uint16_t extraBytes = 0;
    std::array<SideCounts, kSideCount> sides{};
};

inline void EncodeHeader(const ChunkHeader& header, uint8_t* bytes) {
    StoreU16(bytes + kSlotWordsOffset, header.slotWords);
    StoreU16(bytes + kNodeCountOffset, header.nodeCount);
    StoreU16(bytes + kScLinkCountOffset, header.scLinkCount);
    StoreU16(bytes + kAuxCountOffset, header.auxCount);
    StoreU16(bytes + kEdLinkCountOffset, header.edLinkCount);
    StoreU16(bytes + kExtraBytesOffset, header.extraBytes);
    for (int side = 0; side < kSideCount; ++side) {
        uint8_t* record = bytes + kSidesOffset + side * kSideRecordSize;
        StoreU16(record, header.sides[side].levelNodes);
        StoreU16(record + 2, header.sides[side].levelLinks);
    }
}

inline ChunkHeader DecodeHeader(const uint8_t* bytes) {
    ChunkHeader header;
    header.slotWords = LoadU16(bytes + kSlotWordsOffset);
    header.nodeCount = LoadU16(bytes + kNodeCountOffset);
    header.scLinkCount = LoadU16(bytes + kScLinkCountOffset);
    header.auxCount = LoadU16(bytes + kAuxCountOffset);
    header.edLinkCount = LoadU16(bytes + kEdLinkCountOffset);
    header.extraBytes = LoadU16(bytes + kExtraBytesOffset);
    for (int side = 0; side < kSideCount; ++side) {
        const uint8_t* record = bytes + kSidesOffset + side * kSideRecordSize;
        header.sides[side].levelNodes = LoadU16(record);
        header.sides[side].levelLinks = LoadU16(record + 2);
    }
    return header;
}

// The bytes of the node and link block the map database sizes from the header: each
// node with slots takes (slots + 4) x 4 bytes plus its name rounded up to 4, each
// sc link 28, which the writer's slotWords and extraBytes make add up.
constexpr uint32_t NodeLinkBlockBytes(const ChunkHeader& header) {
    return (uint32_t{header.scLinkCount} * 7 + uint32_t{header.nodeCount} * 5 + header.slotWords) *
               4 +
           header.extraBytes;
}
constexpr uint32_t RoundedNameBytes(uint32_t nameLength) {
    return (nameLength + 3) & ~3u;
}

// ---- Positions -------------------------------------------------------------------

inline constexpr size_t kPositionSize = 8;
inline constexpr size_t kLatitudeOffset = 0;
inline constexpr size_t kLongitudeOffset = 4;

struct Position {
    float latitude = 0;
    float longitude = 0;
    friend bool operator==(const Position&, const Position&) = default;
};

inline void EncodePosition(const Position& position, uint8_t* bytes) {
    StoreF32(bytes + kLatitudeOffset, position.latitude);
    StoreF32(bytes + kLongitudeOffset, position.longitude);
}
inline Position DecodePosition(const uint8_t* bytes) {
    return {LoadF32(bytes + kLatitudeOffset), LoadF32(bytes + kLongitudeOffset)};
}

// ---- Nodes -----------------------------------------------------------------------

// The name of a node holds its turn restrictions, one byte per forbidden turn:
// (slot of the link driven into the node) << 4 | (slot of the link driven out).
inline constexpr uint32_t kMaxNameLength = 15;
inline constexpr uint8_t kCountByteSlotMask = 0x0F;
// The bits of the count byte the converter keeps when it copies a node.
inline constexpr uint8_t kCountByteKeptBits = 0x4F;
inline constexpr uint32_t kMaxSlots = 15;
// nameLen, count byte and position, without the name.
inline constexpr size_t kNodeFixedSize = 1 + 1 + kPositionSize;

constexpr uint8_t RestrictionByte(uint32_t inSlot, uint32_t outSlot) {
    return static_cast<uint8_t>((inSlot & 0x0F) << 4 | (outSlot & 0x0F));
}

// ---- Links -----------------------------------------------------------------------

inline constexpr size_t kLinkSlotsOffset = 0;    // u8: low nibble slot at from, high at to
inline constexpr size_t kLinkFromRefOffset = 1;  // u16
inline constexpr size_t kLinkToRefOffset = 3;    // u16
inline constexpr size_t kLinkBodyOffset = 5;     // the 14-byte body
// Body fields, from the body's start.
inline constexpr size_t kBodyLengthOffset = 0;      // f32 length, radians of arc
inline constexpr size_t kBodyAttributesOffset = 4;  // u32 (below)
inline constexpr size_t kBodyLinkIdOffset = 8;      // i32 link-information value
inline constexpr size_t kBodyShapeInfoOffset = 12;  // u16 (below)
inline constexpr size_t kLinkBodySize = 14;
inline constexpr size_t kLinkRecordSize = kLinkBodyOffset + kLinkBodySize;
static_assert(kLinkRecordSize == 19, "a link record is 19 bytes");
static_assert(kBodyShapeInfoOffset + 2 == kLinkBodySize, "the body ends with the shape word");

// Node references. Bits 0-13 index the chunk's nodes; an ed link's index runs on
// through the border nodes of sides 0, 1, 2 and 3. Bit 15: a node of the overview
// chunk (layer 0) of the same place, used only in the detailed network. Bit 14 of an
// ed link's from reference: the link is shared by two sides.
inline constexpr uint16_t kRefOverview = 0x8000;
inline constexpr uint16_t kRefShared = 0x4000;
inline constexpr uint16_t kRefIndexMask = 0x3FFF;
// Own nodes plus border nodes must fit the 14-bit index.
inline constexpr uint32_t kMaxNodeIndexes = kRefIndexMask + 1;

constexpr uint8_t SlotByte(uint32_t fromSlot, uint32_t toSlot) {
    return static_cast<uint8_t>((toSlot & 0x0F) << 4 | (fromSlot & 0x0F));
}

// The shape word: bits 0-9 the shape point count; bits 10 and 11 belong to the map
// database and are 0 on disc; bit 12 marks a major road (the router's and the map
// view's flagged link).
inline constexpr uint16_t kShapeCountMask = 0x03FF;
inline constexpr uint32_t kMaxShapePoints = kShapeCountMask;
inline constexpr uint16_t kShapeMajorRoad = 0x1000;

// The attribute word.
inline constexpr uint32_t kSpeedCategoryMask = 0x7;  // 0 fastest .. 7 slowest
inline constexpr uint32_t kDirectionMask = 0x30;
inline constexpr uint32_t kDirectionForward = 0x10;   // drivable from the from-node
inline constexpr uint32_t kDirectionBackward = 0x20;  // drivable from the to-node
inline constexpr uint32_t kDirectionBoth = 0x30;
inline constexpr uint32_t kClassMask = 0x1C0;
inline constexpr int kClassShift = 6;
inline constexpr uint32_t kKindRoad = 0x200;     // a routable road
inline constexpr uint32_t kKindCarpool = 0x800;  // alone: a carpool link
inline constexpr uint32_t kRamp = 0x100000;
inline constexpr uint32_t kToll = 0x200000;
inline constexpr uint32_t kRoundabout = 0x400000;
inline constexpr uint32_t kFerry = 0x800000;
inline constexpr uint32_t kReducedDetail = 0x08000000;  // set by the converter only
inline constexpr uint32_t kConnector = 0x10000000;
// Class values (attributes & kClassMask) up to this one are the major classes, kept
// in the overview network; the others are in the detailed network.
inline constexpr uint32_t kLastMajorClass = 0xC0;
inline constexpr uint32_t kLastUsedClass = 0x140;

constexpr uint32_t ClassValue(uint32_t roadClass) {
    return (roadClass << kClassShift) & kClassMask;
}

// The metric speeds of the speed categories, km/h, fastest first.
inline constexpr int kSpeedCategoryKmh[8] = {145, 117, 96, 76, 57, 41, 21, 8};

struct LinkBody {
    float length = 0;  // radians of arc on the earth
    uint32_t attributes = 0;
    int32_t linkId = 0;
    uint16_t shapeInfo = 0;
};

inline void EncodeLinkBody(const LinkBody& body, uint8_t* bytes) {
    StoreF32(bytes + kBodyLengthOffset, body.length);
    StoreU32(bytes + kBodyAttributesOffset, body.attributes);
    StoreI32(bytes + kBodyLinkIdOffset, body.linkId);
    StoreU16(bytes + kBodyShapeInfoOffset, body.shapeInfo);
}
inline LinkBody DecodeLinkBody(const uint8_t* bytes) {
    return {LoadF32(bytes + kBodyLengthOffset), LoadU32(bytes + kBodyAttributesOffset),
            LoadI32(bytes + kBodyLinkIdOffset), LoadU16(bytes + kBodyShapeInfoOffset)};
}

// ---- A whole chunk ---------------------------------------------------------------

struct NodeRecord {
    std::vector<uint8_t> name;  // turn restriction bytes
    uint8_t countByte = 0;
    Position position;
    uint32_t SlotCount() const { return countByte & kCountByteSlotMask; }
};

struct LinkRecord {
    uint8_t slots = 0;
    uint16_t fromRef = 0;
    uint16_t toRef = 0;
    LinkBody body;
    std::vector<Position> inlinePoints;  // ed links only
    uint32_t ShapeCount() const { return body.shapeInfo & kShapeCountMask; }
};

struct Chunk {
    ChunkHeader header;
    std::vector<Position> auxPoints;
    std::vector<NodeRecord> nodes;
    std::vector<LinkRecord> scLinks;
    std::array<std::vector<Position>, kSideCount> sideNodes;
    std::vector<LinkRecord> edLinks;
};

// Serialises a chunk. The header is written as given; the caller fills its counts.
inline void AppendPosition(std::vector<uint8_t>& out, const Position& position) {
    uint8_t bytes[kPositionSize];
    EncodePosition(position, bytes);
    out.insert(out.end(), bytes, bytes + kPositionSize);
}

inline void AppendLink(std::vector<uint8_t>& out, const LinkRecord& link, bool inlinePoints) {
    uint8_t bytes[kLinkRecordSize];
    bytes[kLinkSlotsOffset] = link.slots;
    StoreU16(bytes + kLinkFromRefOffset, link.fromRef);
    StoreU16(bytes + kLinkToRefOffset, link.toRef);
    EncodeLinkBody(link.body, bytes + kLinkBodyOffset);
    out.insert(out.end(), bytes, bytes + kLinkRecordSize);
    if (inlinePoints) {
        for (const Position& point : link.inlinePoints)
            AppendPosition(out, point);
    }
}

inline std::vector<uint8_t> EncodeChunk(const Chunk& chunk) {
    std::vector<uint8_t> out(kHeaderSize);
    EncodeHeader(chunk.header, out.data());
    if (!chunk.scLinks.empty()) {
        for (const Position& point : chunk.auxPoints)
            AppendPosition(out, point);
    }
    for (const NodeRecord& node : chunk.nodes) {
        out.push_back(static_cast<uint8_t>(node.name.size()));
        out.insert(out.end(), node.name.begin(), node.name.end());
        out.push_back(node.countByte);
        AppendPosition(out, node.position);
    }
    for (const LinkRecord& link : chunk.scLinks)
        AppendLink(out, link, false);
    for (const auto& side : chunk.sideNodes) {
        for (const Position& point : side)
            AppendPosition(out, point);
    }
    for (const LinkRecord& link : chunk.edLinks)
        AppendLink(out, link, true);
    return out;
}

// Parses a whole chunk, trusting nothing: the counts come from the header and every
// record must lie within `size`. Returns the bytes used, or 0 when the chunk is
// short or a node's name is longer than 15 bytes.
inline size_t DecodeChunk(const uint8_t* data, size_t size, Chunk& chunk) {
    chunk = Chunk{};
    if (size < kHeaderSize)
        return 0;
    chunk.header = DecodeHeader(data);
    size_t at = kHeaderSize;
    auto has = [&](size_t bytes) { return bytes <= size - at; };
    auto readPosition = [&](Position& position) {
        if (!has(kPositionSize))
            return false;
        position = DecodePosition(data + at);
        at += kPositionSize;
        return true;
    };
    auto readLink = [&](LinkRecord& link, bool inlinePoints) {
        if (!has(kLinkRecordSize))
            return false;
        link.slots = data[at + kLinkSlotsOffset];
        link.fromRef = LoadU16(data + at + kLinkFromRefOffset);
        link.toRef = LoadU16(data + at + kLinkToRefOffset);
        link.body = DecodeLinkBody(data + at + kLinkBodyOffset);
        at += kLinkRecordSize;
        if (inlinePoints) {
            link.inlinePoints.resize(link.ShapeCount());
            for (Position& point : link.inlinePoints) {
                if (!readPosition(point))
                    return false;
            }
        }
        return true;
    };
    const ChunkHeader& header = chunk.header;
    if (header.scLinkCount > 0) {
        chunk.auxPoints.resize(header.auxCount);
        for (Position& point : chunk.auxPoints) {
            if (!readPosition(point))
                return 0;
        }
    }
    chunk.nodes.resize(header.nodeCount);
    for (NodeRecord& node : chunk.nodes) {
        if (!has(1))
            return 0;
        const uint32_t nameLength = data[at++];
        if (nameLength > kMaxNameLength || !has(nameLength + 1))
            return 0;
        node.name.assign(data + at, data + at + nameLength);
        at += nameLength;
        node.countByte = data[at++];
        if (!readPosition(node.position))
            return 0;
    }
    chunk.scLinks.resize(header.scLinkCount);
    for (LinkRecord& link : chunk.scLinks) {
        if (!readLink(link, false))
            return 0;
    }
    for (int side = 0; side < kSideCount; ++side) {
        chunk.sideNodes[side].resize(header.sides[side].levelNodes);
        for (Position& point : chunk.sideNodes[side]) {
            if (!readPosition(point))
                return 0;
        }
    }
    chunk.edLinks.resize(header.edLinkCount & kEdLinkCountMask);
    for (LinkRecord& link : chunk.edLinks) {
        if (!readLink(link, true))
            return 0;
    }
    return at;
}

}  // namespace formats::chunk_payload
