// Small hand-made chunks for the map container and companion geometry tests: a
// builder that keeps the header's counts in step with the records it is given.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/chunk_payload.h"

namespace maps_fixture {

namespace payload = formats::chunk_payload;

inline payload::Position P(float latitude, float longitude) {
    return {latitude, longitude};
}

// A major road in both directions.
inline constexpr uint32_t kRoad = payload::kKindRoad | payload::kDirectionBoth | 0x40;

class ChunkBuilder {
  public:
    // Returns the node's index. Its slot count is raised by every link added at it.
    uint16_t Node(payload::Position position, std::vector<uint8_t> restrictions = {}) {
        payload::NodeRecord node;
        node.position = position;
        node.name = std::move(restrictions);
        chunk.nodes.push_back(node);
        return static_cast<uint16_t>(chunk.nodes.size() - 1);
    }
    // An sc link from node to node with the next free slot at each end.
    payload::LinkRecord& Sc(uint16_t from, uint16_t to, int32_t linkInfo,
                            uint32_t attributes = kRoad, std::vector<payload::Position> points = {},
                            float length = 1.0f) {
        payload::LinkRecord link = Make(from, to, linkInfo, attributes, length);
        link.body.shapeInfo = static_cast<uint16_t>(points.size());
        chunk.auxPoints.insert(chunk.auxPoints.end(), points.begin(), points.end());
        chunk.scLinks.push_back(link);
        return chunk.scLinks.back();
    }
    // A border node of a side; links refer to it after the own nodes.
    void Border(int side, payload::Position position) { chunk.sideNodes[side].push_back(position); }
    payload::LinkRecord& Ed(uint16_t from, uint16_t to, int32_t linkInfo,
                            uint32_t attributes = kRoad,
                            std::vector<payload::Position> points = {}) {
        payload::LinkRecord link = Make(from, to, linkInfo, attributes, 1.0f);
        link.body.shapeInfo = static_cast<uint16_t>(points.size());
        link.inlinePoints = std::move(points);
        chunk.edLinks.push_back(link);
        return chunk.edLinks.back();
    }
    payload::Chunk Finish() {
        payload::Chunk done = chunk;
        payload::ChunkHeader& header = done.header;
        header.nodeCount = static_cast<uint16_t>(done.nodes.size());
        header.scLinkCount = static_cast<uint16_t>(done.scLinks.size());
        header.auxCount = static_cast<uint16_t>(done.auxPoints.size());
        header.edLinkCount = static_cast<uint16_t>(done.edLinks.size());
        uint32_t slotWords = 0, extra = 0;
        for (auto& node : done.nodes) {
            slotWords += node.SlotCount() > 0 ? node.SlotCount() - 1 : 0;
            extra += payload::RoundedNameBytes(static_cast<uint32_t>(node.name.size()));
        }
        header.slotWords = static_cast<uint16_t>(slotWords);
        header.extraBytes = static_cast<uint16_t>(extra);
        for (int side = 0; side < payload::kSideCount; ++side) {
            header.sides[side].levelNodes = static_cast<uint16_t>(done.sideNodes[side].size());
            header.sides[side].levelLinks = header.sides[side].levelNodes;
        }
        return done;
    }
    std::vector<uint8_t> Bytes() { return payload::EncodeChunk(Finish()); }

    payload::Chunk chunk;

  private:
    uint32_t NextSlot(uint16_t ref) {
        if (ref & payload::kRefOverview || (ref & payload::kRefIndexMask) >= chunk.nodes.size())
            return 0;
        payload::NodeRecord& node = chunk.nodes[ref & payload::kRefIndexMask];
        const uint32_t slot = node.SlotCount();
        node.countByte = static_cast<uint8_t>((node.countByte & 0xF0) | (slot + 1));
        return slot;
    }
    payload::LinkRecord Make(uint16_t from, uint16_t to, int32_t linkInfo, uint32_t attributes,
                             float length) {
        payload::LinkRecord link;
        const uint32_t fromSlot = NextSlot(from);
        const uint32_t toSlot = NextSlot(to);
        link.slots = payload::SlotByte(fromSlot, toSlot);
        link.fromRef = from;
        link.toRef = to;
        link.body.length = length;
        link.body.attributes = attributes;
        link.body.linkId = linkInfo;
        return link;
    }
};

}  // namespace maps_fixture
