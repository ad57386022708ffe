// The road network of the loaded cells as plain records that point at each other:
// nodes, links, the four border records of a chunk, counted copies of links shared
// between two sides, placeholder nodes for overview cells that are not loaded, and a
// position on a link. The decoders (chunk_decoder.h) build them.
//
// The records keep the fields and flag bits of the stored network, laid out natively:
// pointers are machine words, so every size comes from sizeof, never from the 4-byte
// pointer arithmetic of the stored sizing values.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "formats/chunk_payload.h"
#include "platform/kernel/wintypes.h"

struct MapLink;
struct CountedLink;
struct ChunkDecodeContext;
struct MapLayer;
class IChunkInput;
class CMapDatabase;

// A position: f32 latitude, then f32 longitude, in degrees (south and west negative).
struct MapPoint {
    FLOAT latitude = 0;
    FLOAT longitude = 0;
};
static_assert(sizeof(MapPoint) == 8, "a shape point is 8 bytes");

// One entry of a route search's per-slot state; its bytes are the router's.
struct NodeSearchState {
    BYTE bytes[5];
};
static_assert(sizeof(NodeSearchState) == 5, "a search-state entry is 5 bytes");

// A node. Interior nodes carry slotCount link slots followed by their name (the turn
// restriction bytes); border and rebuilt nodes are single-slot nodes (slotCount
// 0xFF) with exactly one slot. sizeof(MapNode) is the size of a one-slot node.
struct MapNode {
    static constexpr BYTE kSingleSlot = 0xFF;
    static constexpr BYTE kUseMask = 0x0F;
    static constexpr int kNameShift = 4;

    MapPoint position;
    BYTE nameAndUse;  // high nibble: name length; low nibble: links hooked into the slots
    BYTE slotCount;   // 0..15, or kSingleSlot
    BYTE reserved[2];
    NodeSearchState* searchState;  // while a route search holds the chunk, else null
    MapLink* firstSlot;            // slot 0; further slots follow it

    MapLink** Slots() { return &firstSlot; }
    MapLink* const* Slots() const { return &firstSlot; }
    // The number of slots the node really has (1 for a single-slot node).
    uint32_t SlotCapacity() const { return slotCount == kSingleSlot ? 1u : slotCount; }
    uint32_t NameLength() const { return nameAndUse >> kNameShift; }
    uint32_t UseCount() const { return nameAndUse & kUseMask; }
    // The name bytes, right after the slots.
    BYTE* Name() { return reinterpret_cast<BYTE*>(Slots() + SlotCapacity()); }

    // 1 when the road entered at `node` through `link` runs into a dead end: the node,
    // or the first node past a run of pass-through nodes, has one link hooked.
    static int LeadsToDeadEnd(const MapLink* link, const MapNode* node);

    // Bytes of a node with `slots` slots and a name of `nameLength` bytes, rounded so
    // that the next node is aligned.
    static constexpr size_t StorageSize(uint32_t slots, uint32_t nameLength) {
        const size_t bytes = offsetof(MapNode, firstSlot) + slots * sizeof(MapLink*) + nameLength;
        return (bytes + alignof(MapNode) - 1) & ~(alignof(MapNode) - 1);
    }
};
static_assert(MapNode::StorageSize(1, 0) == sizeof(MapNode), "a one-slot node is a MapNode");

// Bits of MapLink::shapeInfo.
inline constexpr uint16_t kShapeCountMask = 0x03FF;
inline constexpr uint16_t kShapeReadFromFileT = 0x0400;
inline constexpr uint16_t kShapeReduced = 0x0800;  // only the first and last point are kept
inline constexpr uint16_t kShapeMajorRoad = formats::chunk_payload::kShapeMajorRoad;
inline constexpr uint16_t kShapeOnRoute = 0x4000;  // the route overlay draws it
inline constexpr uint16_t kShapeDrawn = 0x8000;    // visible and drawn in the last frame

// Bits of MapLink::flags (the low byte is the slot byte).
inline constexpr uint16_t kLinkSlotByteMask = 0x00FF;
inline constexpr uint16_t kLinkHeld = 0x0100;
inline constexpr uint16_t kLinkEd = 0x0400;
inline constexpr uint16_t kLinkLabelAllowed = 0x0800;  // may carry a label in the last frame
inline constexpr uint16_t kLinkCounted = 0x1000;
inline constexpr uint16_t kLinkFromExternal = 0x4000;
inline constexpr uint16_t kLinkToExternal = 0x8000;

// Bits of MapLink::attributes this layer reads.
inline constexpr uint32_t kAttrClassMask = formats::chunk_payload::kClassMask;
inline constexpr uint32_t kAttrReducedDetail = formats::chunk_payload::kReducedDetail;
inline constexpr uint32_t kAttrChained = 0x20000000;  // drawn as part of another link's chain
inline constexpr uint32_t kAttrAvoidMark = 0x80000000;

// linkId of a dead link: an end was missing when it was read. Every walk skips it.
inline constexpr int32_t kDeadLinkId = static_cast<int32_t>(0xFFFFFFFE);

struct MapLink {
    uint32_t word0;  // the stored link length (f32 bits); its readers own its meaning
    uint32_t attributes;
    int32_t linkId;
    uint16_t shapeInfo;
    uint16_t flags;
    MapNode* fromNode;
    MapNode* toNode;
    MapPoint* shapePoints;  // intermediate points from the from-node end, or null

    // Clears shapePoints and flags.
    void Init() {
        shapePoints = nullptr;
        flags = 0;
    }
    uint32_t FromSlot() const { return flags & 0x0F; }
    uint32_t ToSlot() const { return (flags >> 4) & 0x0F; }
    bool IsDead() const { return linkId == kDeadLinkId; }
    // The link's length in radians of arc (word0 holds its f32 bits).
    FLOAT Length() const { return std::bit_cast<FLOAT>(word0); }
    // 0 without a shape array, else the stored count, at most 2 when reduced.
    uint32_t GetShapePointCount() const {
        if (!shapePoints)
            return 0;
        const uint32_t count = shapeInfo & kShapeCountMask;
        return (shapeInfo & kShapeReduced) && count > 2 ? 2 : count;
    }
    // The two ends of shape segment k (0 .. shape point count): from-node or shape
    // point k - 1, and shape point k or to-node.
    void GetEndPositions(uint32_t k, MapPoint* a, MapPoint* b) const;
    // The shape segment (0 .. shape point count) nearest to the position, in the flat
    // frame of the from-node's latitude; the earliest of equally near segments. The
    // nearest point of the link goes to `nearest` when given (spatial_queries.cpp).
    uint32_t NearestPoint(FLOAT latitude, FLOAT longitude, MapPoint* nearest) const;

    // The link kind FindLink matches: 4 counted, 2 ed link, 1 otherwise.
    static int GetClassLayer(uint16_t flags);
    // Removes `link` from `node`'s slots (see map_records.cpp).
    static void Unhook(MapNode* node, MapLink* link);
    // Lowers the count of a counted link; at 0 and with freeIt, unhooks its external
    // ends, frees its shape block and the counted block itself.
    static void Release(CountedLink* counted, bool freeIt);
};

// Hooks a link into a node: the slot is the from- or to-nibble of the link's slot
// byte (slot 0 for a single-slot node), the use count rises by one. False, and
// nothing changed, when the slot lies past the node's slots.
bool HookLink(MapNode* node, MapLink* link, bool atFromEnd);

// A link shared by two sides, with its holders' count before it.
struct CountedLink {
    uint32_t refCount;
    MapLink link;

    // The counted block of a link that carries kLinkCounted.
    static CountedLink* FromLink(MapLink* link) {
        return reinterpret_cast<CountedLink*>(reinterpret_cast<BYTE*>(link) -
                                              offsetof(CountedLink, link));
    }
};

// One side of a shared link: the border node's index on this side (bits 0-30) with
// the side-choice mark in bit 31, and the previous and next entry of the same link.
struct SharedLinkEntry {
    static constexpr uint32_t kIndexMask = 0x7FFFFFFF;
    static constexpr uint32_t kReportMark = 0x80000000;

    uint32_t key;
    CountedLink* link;
    SharedLinkEntry* prev;
    SharedLinkEntry* next;
};

// One side of a chunk: its border nodes, the links it owns and its shared entries.
// Each array is one heap block that begins with its element count.
struct ChunkLevel {
    uint32_t nodeCount;
    uint16_t linkCount;
    uint16_t sharedCount;
    MapNode* nodes;  // nodeCount single-slot nodes
    SharedLinkEntry* shared;
    MapLink* links;

    // Creates the three arrays, zeroed; 0, or 2 when one cannot be allocated (those
    // made so far stay attached). sharedCount is nodeCount - linkCount.
    int Allocate(uint32_t nodes, uint32_t links);
    // Frees the border-node array alone (once a join has moved every link off it).
    void FreeNodes();
    // Reads `count` border nodes (positions) from the chunk stream; 0 or 4.
    int ReadEdgeNodes(uint32_t count);
    // Frees the side's links (unhooking their external ends), takes the shared
    // entries out of their chains and releases their counted links, then frees the
    // arrays.
    void Free();
};

// Number of elements of an array made by ChunkLevel::Allocate.
uint32_t LevelArrayCount(const void* array);

// Stands for every node of an overview cell that is not loaded, so that detailed
// links that end there have an end to hang on. Its position latitude 500 marks it.
struct ProxyNode {
    static constexpr FLOAT kLatitude = 500.0f;
    // One slot per value of the 4-bit slot nibble, so any link can hang on it.
    static constexpr BYTE kSlots = 16;

    ProxyNode* next;
    uint32_t key;  // the overview cell's slot in layer 0's cache
    MapNode node;
    MapLink* moreSlots[kSlots - 1];
};

// Bits of MapChunk::flags.
inline constexpr uint32_t kChunkPinMask = 0x3F;
inline constexpr uint32_t kChunkHasProxies = 1u << 26;
inline constexpr uint32_t kChunkFromFileT = 1u << 28;
inline constexpr uint32_t kChunkLoaded = 1u << 29;
inline constexpr uint32_t kChunkFullShapes = 1u << 30;
inline constexpr uint32_t kChunkNoLaterJoin = 1u << 31;

// The record of one directory slot: a grid cell's road network when loaded.
struct MapChunk {
    formats::chunk_payload::ChunkHeader header;
    NodeSearchState* searchSlots;
    MapNode** nodes;  // node pointer table, header.nodeCount entries
    MapLink* links;   // header.scLinkCount sc links, in the node/link block
    MapPoint* aux;    // shape points of the sc links
    uint32_t flags;
    std::array<ChunkLevel*, formats::chunk_payload::kSideCount> levels;
    uint32_t externalRefs;  // link ends of this chunk that lie in another chunk
    uint32_t fileOffset;
    BYTE* block;         // the node/link block (interior nodes and sc links)
    ProxyNode* proxies;  // placeholders while this overview record is not loaded

    bool IsLoaded() const { return (flags & kChunkLoaded) != 0; }
    uint32_t EdLinkCount() const {
        return header.edLinkCount & formats::chunk_payload::kEdLinkCountMask;
    }

    // The node's index in the node table, or -1 (bisection over ascending addresses).
    int GetNodeIndex(const MapNode* node) const;

    // Points every interior node at its search-state entries, 5 bytes per slot;
    // allocates the block when none is given. 0, or 1 when no block could be had.
    int AllocSearchState(NodeSearchState* given);
    // Frees the search-state block; with clearNodes the nodes' pointers are cleared.
    void FreeSearchState(bool clearNodes);

    // Decoding (chunk_decoder.cpp): 0 success, 2 out of memory, 4 read error or
    // corrupt data. Decode reads the header and every section of the inflated block
    // and sets kChunkLoaded; the others are its steps.
    int Decode(ChunkDecodeContext& context);
    int ReadAuxRecords(ChunkDecodeContext& context);
    int ReadNodes(ChunkDecodeContext& context);
    int ReadShortcutLinks(ChunkDecodeContext& context);
    int ReadDetailLinks(ChunkDecodeContext& context);
    // Gives the sc links their shape points from the aux block: all of them, or
    // (compact) at most the first and last.
    void AttachShapePoints(bool compact);
    // Reads the block at fileOffset again for the shape points a compact or skipped
    // load left out: 0 done, 1 nothing to do, -1 failure.
    int ReloadShapePoints(IChunkInput* input, bool compact);
    // Frees everything a decode built, for a chunk no neighbour is joined to, and
    // unhooks its links from nodes of other chunks; the record is left empty.
    void FreeStorage();
    // Frees the placeholder nodes chained on this (overview) record.
    void FreeProxyNodes();

    // The purge (chunk_purge.cpp). RebuildLevels takes the chunk of window cell
    // (dx, dy) out of the layer's cache: its sides towards loaded neighbours get fresh
    // border nodes, the others are freed, then the chunk is unloaded and its record
    // zeroed. Without force a record that is not loaded is left alone.
    static void RebuildLevels(MapLayer& layer, int32_t dx, int32_t dy, bool force);
    // Frees the chunk's own storage (not its sides); with clear the record is zeroed.
    // Result 0.
    int Unload(int layerIndex, bool clear);
    // Zeroes the record. The placeholder chain of an overview record stays with it:
    // detailed links still hang on those nodes.
    void Clear();
};

// Running total of the search-state entries handed out.
extern uint32_t g_searchStateEntries;

// Raised whenever chunk storage (a chunk's block, a side's links or border nodes)
// is freed: whoever keeps a plain link pointer across calls that may load or purge
// chunks compares it and finds the link again by id when it moved.
extern uint32_t g_mapStorageGeneration;

// A point that one thread writes and others read whole, never half updated.
class SharedMapPoint {
  public:
    SharedMapPoint() = default;
    SharedMapPoint(const SharedMapPoint& other) : bits_(other.bits_.load()) {}
    SharedMapPoint& operator=(const SharedMapPoint& other) {
        bits_.store(other.bits_.load());
        return *this;
    }
    void Store(const MapPoint& point) {
        bits_.store(static_cast<uint64_t>(std::bit_cast<uint32_t>(point.latitude)) |
                    static_cast<uint64_t>(std::bit_cast<uint32_t>(point.longitude)) << 32);
    }
    MapPoint Load() const {
        const uint64_t bits = bits_.load();
        return {std::bit_cast<FLOAT>(static_cast<uint32_t>(bits)),
                std::bit_cast<FLOAT>(static_cast<uint32_t>(bits >> 32))};
    }

  private:
    std::atomic<uint64_t> bits_{0};
};

// A position on a link. The global instance is the vehicle's matched position.
struct MapLocation {
    static constexpr uint32_t kNoSegment = 0xFFFFFFFF;
    static constexpr uint32_t kNoTag = 0xFFFFFFFF;

    FLOAT cosLat = 0;  // cosine of the position's latitude
    MapLink* link = nullptr;
    uint32_t segment = 0;  // shape segment index, or kNoSegment
    FLOAT scaledLon = 0;   // longitude x cosLat
    FLOAT lat = 0;
    uint16_t linkFlags = 0;
    int32_t linkId = 0;
    uint32_t linkAttributes = 0;
    uint32_t tag = kNoTag;
    MapPoint position;
    FLOAT matcherValue = 0;  // the receiver's heading at the snap, degrees
    uint32_t stale = 0;      // non-zero: the link pointer may no longer be valid

    void Set(MapLink* newLink, uint32_t newTag);
    void SetShapeIndex(uint32_t newSegment);
    MapLink* GetLink(bool requireCurrent) const;
    // Sets the position and the copy that the GPS threads read.
    void SetPosition(const MapPoint& point) {
        position = point;
        sharedPosition.Store(point);
    }
    // The position as SetPosition last set it; safe on any thread.
    MapPoint SharedPosition() const { return sharedPosition.Load(); }
    SharedMapPoint sharedPosition;
    // After chunk reloads: a held counted link that only this location still holds is
    // replaced by the loaded link of the same id near the position (defined with the
    // database's queries). 0 done or nothing to do, 1 not done (the link is kept).
    int Refresh(CMapDatabase& database, uint32_t newTag);
};

extern MapLocation g_vehicleLocation;
