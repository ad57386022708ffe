// Pins on layer 0's chunks, their release and refresh, and the route search's steps
// across chunk borders.
#include <algorithm>
#include <cstdint>
#include <functional>

#include "formats/chunk_payload.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/chunk_purge.h"
#include "pathlume/mapdb/display_values.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/router_services.h"

namespace payload = formats::chunk_payload;

namespace {

constexpr int kRouteSearchPurpose = 10;
constexpr int kSmallLayerPurpose = 2;
constexpr uint32_t kMapViewPin = 0x2;
// What a reload keeps of a record's flags besides its pins: the holders of the
// shield did not let go either.
constexpr uint32_t kKeptThroughReload = kChunkPinMask | kChunkPinShield;

// "mapdatat.biz", or "mapdata1.biz" when the former is not there: a missing reduced
// file must not make every load fail.
CDataFile* ReducedFile(CMapDatabase& db) {
    return db.mapFileT.IsOpen() ? &db.mapFileT : &db.mapFile1;
}

// Puts back the pins (and shield) a reloaded record held before.
void RestorePins(MapChunk& record, uint32_t kept) {
    record.flags |= kept & kKeptThroughReload;
    if (kept & kChunkDisplayPins)
        record.flags &= ~kChunkReloadedByWalk;
}

MapChunk* LoadedRecord(MapLayer& layer, int32_t c, int32_t r) {
    MapChunk* record = layer.GetChunkRecord(c, r);
    return record && record->IsLoaded() ? record : nullptr;
}

// The route-search entries the chunk's nodes take, one per slot.
uint32_t SearchEntries(const MapChunk& chunk) {
    uint32_t entries = 0;
    for (uint32_t i = 0; chunk.nodes && i < chunk.header.nodeCount; ++i)
        entries += chunk.nodes[i]->SlotCapacity();
    return entries;
}

// Layer 0's window cell of a position, as FindLink computes it (64 bits: a position
// far off the grid must not wrap into it).
void CellOfPosition(const MapLayer& layer, const MapPoint& position, int64_t& col, int64_t& row) {
    col = layer.FileColumnOf(position.longitude) - layer.windowX0;
    row = layer.FileRowOf(position.latitude) - layer.windowY0;
}

// The side of the chunk whose own border nodes include `node`, or -1.
int BorderSideOf(const MapChunk& chunk, const MapNode* node) {
    std::less<const MapNode*> below;
    for (int side = 0; side < payload::kSideCount; ++side) {
        const ChunkLevel* level = chunk.levels[side];
        if (level && level->nodes && !below(node, level->nodes) &&
            below(node, level->nodes + level->nodeCount))
            return side;
    }
    return -1;
}

int SlotOf(const MapNode* node, const MapLink* link) {
    for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
        if (node->Slots()[s] == link)
            return static_cast<int>(s);
    }
    return -1;
}

MapNode* OtherEnd(const MapLink* link, const MapNode* end) {
    return link->fromNode == end ? link->toNode : link->fromNode;
}

bool IsSingleSlot(const MapNode* node) {
    return node && node->slotCount == MapNode::kSingleSlot;
}

enum class RouteLoad { kWasLoaded, kLoaded, kOutOfMemory, kFailed };

// One route-search step's state: the far end K it comes from and the link's slot
// there, so the joined link can be taken again after a load.
class CrossingStep {
  public:
    CrossingStep(CMapDatabase& db, MapNode* node, MapLink*& link, int& outOfMemory)
        : db_(db), overview_(db.layers[0]), link_(link), outOfMemory_(outOfMemory), result_(node) {
        far_ = OtherEnd(link, node);
        slot_ = far_ ? SlotOf(far_, link) : -1;
    }

    MapNode* PlainLink(MapNode* node);
    MapNode* SharedLink(MapNode* node);

  private:
    bool InRouteArea(int64_t c, int64_t r) const {
        return c >= db_.routeArea[0] && c <= db_.routeArea[2] && r >= db_.routeArea[1] &&
               r <= db_.routeArea[3];
    }
    // Loads cell (c, r) for the route search with compact shapes and the router's
    // avoid marks; on success `chunk` is its record.
    RouteLoad Load(int32_t c, int32_t r, MapChunk*& chunk);
    // After a load: the joined link from K's slot, back to the caller, and its end.
    void TakeLinkAgain() {
        if (slot_ >= 0 && far_->Slots()[slot_])
            link_ = far_->Slots()[slot_];
        result_ = OtherEnd(link_, far_);
    }

    CMapDatabase& db_;
    MapLayer& overview_;
    MapLink*& link_;
    int& outOfMemory_;
    MapNode* result_;
    MapNode* far_ = nullptr;
    int slot_ = -1;
};

RouteLoad CrossingStep::Load(int32_t c, int32_t r, MapChunk*& chunk) {
    chunk = LoadedRecord(overview_, c, r);
    if (chunk)
        return RouteLoad::kWasLoaded;
    const DWORD keptAux = db_.keepAuxPoints;
    db_.keepAuxPoints = 1;
    const int result = db_.GetChunk(0, c, r);
    chunk = LoadedRecord(overview_, c, r);
    if (result == 0 && chunk)
        GetRouterServices().ApplyAvoidMarks(*chunk);
    db_.keepAuxPoints = keptAux;
    if (result == 2) {
        outOfMemory_ = 1;
        return RouteLoad::kOutOfMemory;
    }
    return result == 0 && chunk ? RouteLoad::kLoaded : RouteLoad::kFailed;
}

MapNode* CrossingStep::PlainLink(MapNode* node) {
    int64_t c, r;
    CellOfPosition(overview_, node->position, c, r);
    // A border stub lies on the border itself, where rounding may give either cell:
    // the side of K's chunk that holds it names the neighbour for sure.
    if (far_ && IsSingleSlot(node)) {
        int64_t fc, fr;
        CellOfPosition(overview_, far_->position, fc, fr);
        const MapChunk* home =
            fc >= 0 && fr >= 0 && fc < overview_.windowW && fr < overview_.windowH
                ? LoadedRecord(overview_, static_cast<int32_t>(fc), static_cast<int32_t>(fr))
                : nullptr;
        if (const int side = home ? BorderSideOf(*home, node) : -1; side >= 0) {
            c = fc + payload::kSideColumnStep[side];
            r = fr + payload::kSideRowStep[side];
        }
    }
    if (!InRouteArea(c, r))
        return result_;
    MapChunk* chunk = nullptr;
    switch (Load(static_cast<int32_t>(c), static_cast<int32_t>(r), chunk)) {
        case RouteLoad::kOutOfMemory:
        case RouteLoad::kFailed:
            return result_;
        case RouteLoad::kLoaded:
            TakeLinkAgain();
            break;
        case RouteLoad::kWasLoaded:
            break;
    }
    chunk->flags |= kChunkRoutePin;
    return result_;
}

MapNode* CrossingStep::SharedLink(MapNode* node) {
    if (!far_)
        return result_;
    // The chain of a counted link runs from its from-end to its to-end (prev towards
    // the from-end): the walk follows it away from K, cell by cell.
    const bool towardsFrom = node == link_->fromNode;
    int64_t c, r;
    CellOfPosition(overview_, far_->position, c, r);
    if (c < 0 || r < 0 || c >= overview_.windowW || r >= overview_.windowH)
        return result_;
    const SharedLinkEntry* found = nullptr;
    // Each step crosses one border; a chain that does not end is corrupt.
    for (int64_t steps = int64_t{overview_.windowW} * overview_.windowH;
         IsSingleSlot(result_) && steps > 0; --steps) {
        const MapChunk* chunk =
            LoadedRecord(overview_, static_cast<int32_t>(c), static_cast<int32_t>(r));
        if (!chunk)
            break;
        const SharedLinkEntry* sought = nullptr;
        if (found) {
            sought = towardsFrom ? found->prev : found->next;
            if (!sought)
                break;
        }
        int side = -1;
        for (int s = 0; s < payload::kSideCount && side < 0; ++s) {
            const ChunkLevel* level = chunk->levels[s];
            for (uint32_t e = 0; level && level->shared && e < level->sharedCount; ++e) {
                const SharedLinkEntry* entry = &level->shared[e];
                const bool match =
                    found ? entry == sought
                          : entry->link && &entry->link->link == link_ &&
                                (towardsFrom ? entry->next == nullptr : entry->prev == nullptr);
                if (match) {
                    found = entry;
                    side = s;
                    break;
                }
            }
        }
        if (side < 0)
            break;
        c += payload::kSideColumnStep[side];
        r += payload::kSideRowStep[side];
        if (!InRouteArea(c, r))
            return result_;
        MapChunk* next = nullptr;
        const RouteLoad load = Load(static_cast<int32_t>(c), static_cast<int32_t>(r), next);
        if (load == RouteLoad::kOutOfMemory)
            return result_;
        if (load == RouteLoad::kFailed)
            break;
        if (load == RouteLoad::kLoaded)
            TakeLinkAgain();
        next->flags |= kChunkRoutePin;
    }
    return result_;
}

// Layer 0 reads from "mapdatat.biz" (or the main file without it) while the route
// search steps, and from "mapdata1.biz" again whichever way the step ends.
class ReducedBinding {
  public:
    explicit ReducedBinding(CMapDatabase& db) : db_(db) {
        db.layers[0].SetChunkFile(ReducedFile(db));
    }
    ~ReducedBinding() { db_.layers[0].SetChunkFile(&db_.mapFile1); }
    ReducedBinding(const ReducedBinding&) = delete;
    ReducedBinding& operator=(const ReducedBinding&) = delete;

  private:
    CMapDatabase& db_;
};

}  // namespace

int CMapDatabase::ReloadOverviewChunk(int32_t c, int32_t r, CDataFile* from, CDataFile* fallback) {
    MapLayer& overview = layers[0];
    MapChunk* record = LoadedRecord(overview, c, r);
    if (!record)
        return 0;
    const uint32_t kept = record->flags & kKeptThroughReload;
    const uint32_t entries = SearchEntries(*record);
    NodeSearchState* state = record->searchSlots;
    // The purge frees the block it finds on the record.
    record->searchSlots = nullptr;
    MapChunk::RebuildLevels(overview, c, r, false);
    CDataFile* const bound = overview.file;
    int result = 0;
    record = nullptr;
    for (CDataFile* file : {from, fallback}) {
        if (!file || record)
            continue;
        overview.SetChunkFile(file);
        result = GetChunk(0, c, r);
        record = result == 0 ? LoadedRecord(overview, c, r) : nullptr;
    }
    overview.SetChunkFile(bound);
    if (!record) {
        mapdb::FreeBlock(state);
        return result;
    }
    RestorePins(*record, kept);
    // A chunk the route search holds has new nodes now: the router must look again.
    if (kept & kChunkRoutePin)
        GetRouterServices().SetStateBits(kRouterChunkReloaded);
    if (state && SearchEntries(*record) == entries) {
        record->searchSlots = state;
        record->AllocSearchState(state);
    } else {
        mapdb::FreeBlock(state);
    }
    return 0;
}

void CMapDatabase::ReleaseLayerPin(int purpose) {
    MapLayer& overview = layers[0];
    const uint32_t pin = PinBitOfPurpose(purpose);
    if (pin == 0)
        return;
    for (int32_t r = 0; r < overview.windowH; ++r) {
        for (int32_t c = 0; c < overview.windowW; ++c) {
            MapChunk* record = LoadedRecord(overview, c, r);
            if (!record || !(record->flags & pin) || (record->flags & kChunkPinShield))
                continue;
            record->flags = (record->flags & ~pin) | kChunkRefreshMark;
        }
    }
}

int CMapDatabase::RefreshReleasedChunks(int purpose, bool noReload) {
    MapLayer& overview = layers[0];
    CDataFile* const noted = overview.file;
    overview.SetChunkFile(&mapFileT);
    int changed = 0;
    for (int32_t r = 0; r < overview.windowH; ++r) {
        for (int32_t c = 0; c < overview.windowW; ++c) {
            MapChunk* record = LoadedRecord(overview, c, r);
            if (!record || !(record->flags & kChunkRefreshMark))
                continue;
            const uint32_t pins = record->flags & kChunkPinMask;
            // Without "mapdatat.biz" the reload would only drop a chunk others pin.
            const bool reload = !noReload && pins != kChunkRefreshMark &&
                                g_mainView.load() != nullptr &&
                                !(record->flags & (kChunkFromFileT | kChunkReloadedByWalk)) &&
                                !(pins & kChunkDisplayPins) &&
                                (!(pins & kMapViewPin) || !GetMapDisplayValues().IsCloseZoom()) &&
                                !ShuttingDown() && mapFileT.IsOpen();
            if (reload) {
                // A chunk others pin is never lost: a failed read takes the main file.
                ReloadOverviewChunk(c, r, &mapFileT, &mapFile1);
                changed = 1;
            } else if (pins == kChunkRefreshMark) {
                MapChunk::RebuildLevels(overview, c, r, false);
                changed = 1;
            }
            if (MapChunk* after = overview.GetChunkRecord(c, r))
                after->flags &= ~kChunkRefreshMark;
        }
    }
    if (changed && purpose != kSmallLayerPurpose && !ShuttingDown())
        g_vehicleLocation.Refresh(*this, static_cast<uint32_t>(purpose));
    overview.SetChunkFile(noted);
    return changed;
}

int CMapDatabase::LoadPinnedRange(int purpose, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                                  bool fromGeometry) {
    MapLayer& overview = layers[0];
    const bool wantReduced = purpose == kRouteSearchPurpose || fromGeometry;
    overview.SetChunkFile(wantReduced ? ReducedFile(*this) : &mapFile1);
    const uint32_t pin = PinBitOfPurpose(purpose);
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, overview.windowW - 1);
    r1 = std::min(r1, overview.windowH - 1);
    for (int32_t r = r0; r <= r1; ++r) {
        for (int32_t c = c0; c <= c1; ++c) {
            MapChunk* record = LoadedRecord(overview, c, r);
            if (!record) {
                if (const int result = GetChunk(0, c, r))
                    return result;
            } else if (!wantReduced) {
                if (record->flags & kChunkReloadedByWalk) {
                    record->flags &= ~(kChunkReloadedByWalk | kChunkFromFileT);
                } else if (record->flags & kChunkFromFileT) {
                    // The main file's version replaces the reduced one.
                    GetRouterServices().SetStateBits(kRouterChunkReloaded);
                    if (const int result = ReloadOverviewChunk(c, r, &mapFile1))
                        return result;
                }
            }
            record = LoadedRecord(overview, c, r);
            if (!record)
                continue;
            record->flags |= pin;
            if (pin & kChunkDisplayPins)
                record->flags &= ~kChunkReloadedByWalk;
        }
    }
    return 0;
}

void CMapDatabase::SetRouteArea(int32_t c0, int32_t r0, int32_t c1, int32_t r1) {
    MapLayer& overview = layers[0];
    routeArea[0] = std::max(c0, 0);
    routeArea[1] = std::max(r0, 0);
    routeArea[2] = std::min(c1, overview.windowW - 1);
    routeArea[3] = std::min(r1, overview.windowH - 1);
    for (int32_t r = routeArea[1]; r <= routeArea[3]; ++r) {
        for (int32_t c = routeArea[0]; c <= routeArea[2]; ++c) {
            if (MapChunk* record = LoadedRecord(overview, c, r))
                record->flags |= kChunkRoutePin;
        }
    }
}

MapNode* CMapDatabase::StepAcrossChunk(MapNode* node, MapLink*& link, int& outOfMemory) {
    outOfMemory = 0;
    if (!node || !link || (link->fromNode != node && link->toNode != node))
        return node;
    ReducedBinding binding(*this);
    CrossingStep step(*this, node, link, outOfMemory);
    return (link->flags & kLinkCounted) ? step.SharedLink(node) : step.PlainLink(node);
}
