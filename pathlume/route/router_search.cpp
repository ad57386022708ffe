// The route search: a best-first search over the loaded road network that runs
// backwards from the destination and ends when it takes the vehicle's position off
// the open list, so that the back slots stored at the nodes lead forward. Costs are
// kept per node and arrival slot, so that turn restrictions, U-turns and turn
// penalties can be priced. Nodes of fewer than three links are passed through
// without open-list entries.
#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/route_costs.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/route/router_internal.h"
#include "pathlume/route/router_search.h"
#include "platform/afx/afx.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/user.h"

namespace {

constexpr FLOAT kDegreesToRadians = 0.0174532924f;
constexpr FLOAT kLeastStep = 1.1754944e-38f;  // 2^-126
constexpr FLOAT kLoopPenalty = 9.5684e-5f;    // 2000 ft
constexpr uint32_t kLocalClass = 0x140;
constexpr int kNoSearchLimit = 99999999;
constexpr uint32_t kMainViewTimerArrival = 3;
// A walk along back slots longer than this is a corrupt state, not a route.
constexpr int64_t kMaxBackWalk = 1 << 24;

bool IsMajor(const MapLink* link) {
    const uint32_t cls = link->attributes & kAttrClassMask;
    return cls == 0x40 || cls == 0x80 || cls == 0xC0;
}

bool IsPlaceholder(const MapNode* node) {
    return node->slotCount == MapNode::kSingleSlot ||
           node->position.latitude == ProxyNode::kLatitude;
}

// Start and destination on one road's link (the same link, or its copies in two
// layers).
bool OnOneLink(const MapLink* a, const MapLink* b) {
    return a == b || (a->linkId == b->linkId && a->linkId != kDeadLinkId && a->linkId != -2 &&
                      IsMajor(a) == IsMajor(b));
}

// Two points of one link no farther apart along it than the arrival distance (in the
// units in use): the vehicle is there already.
bool WithinArrival(const MapLink& a, uint32_t aSegment, const MapPoint& aPoint, const MapLink& b,
                   uint32_t bSegment, const MapPoint& bPoint) {
    const FLOAT gap = DistanceAlongLink(a, true, static_cast<int32_t>(aSegment), aPoint) -
                      DistanceAlongLink(b, true, static_cast<int32_t>(bSegment), bPoint);
    return std::fabs(gap) <= ArrivalDistance(a, (g_options.load() & kOptionMetric) != 0);
}

MapNode* FarEnd(const MapLink* link, const MapNode* node, uint32_t* mask) {
    if (link->fromNode == node) {
        *mask = kAttrBackward;
        return link->toNode;
    }
    *mask = kAttrForward;
    return link->fromNode;
}

}  // namespace

// ---- Preparation ----------------------------------------------------------------------

void RouteSearch::SetSearchBox() {
    CMapDatabase& db = g_mapDatabase;
    MapLayer& overview = db.layers[0];
    MapLayer& l4 = db.layers[4];
    MapLayer& l3 = db.layers[3];
    auto margin = [](const MapLayer& layer) {
        const FLOAT extent =
            std::max(layer.windowNorth - layer.windowSouth, layer.windowEast - layer.windowWest);
        return std::max(extent * 12.8f, 3.0f) * 2.0f * kRouteRadiusDegrees;
    };
    const FLOAT m4 = margin(l4), m3 = margin(l3);
    const FLOAT south = std::min(startPoint.latitude - m4, destPoint.latitude - m3);
    const FLOAT north = std::max(startPoint.latitude + m4, destPoint.latitude + m3);
    const FLOAT west = std::min(startPoint.longitude - m4, destPoint.longitude - m3);
    const FLOAT east = std::max(startPoint.longitude + m4, destPoint.longitude + m3);
    const int32_t widen = heuristic ? 25 : (restart ? 1 : 0);
    auto clampCol = [&](int64_t c) {
        return static_cast<int32_t>(std::clamp<int64_t>(c, 0, std::max(overview.windowW - 1, 0)));
    };
    auto clampRow = [&](int64_t r) {
        return static_cast<int32_t>(std::clamp<int64_t>(r, 0, std::max(overview.windowH - 1, 0)));
    };
    const int32_t c0 = clampCol(overview.FileColumnOf(west) - overview.windowX0 - widen);
    const int32_t c1 = clampCol(overview.FileColumnOf(east) - overview.windowX0 + widen);
    const int32_t r0 = clampRow(overview.FileRowOf(south) - overview.windowY0 - widen);
    const int32_t r1 = clampRow(overview.FileRowOf(north) - overview.windowY0 + widen);

    const bool hadBox = r_.boxMaxCol != -1;
    if (hadBox && !restart)
        db.ReleaseLayerPin(10);
    r_.boxMinCol = c0;
    r_.boxMinRow = r0;
    r_.boxMaxCol = c1;
    r_.boxMaxRow = r1;
    db.SetRouteArea(c0, r0, c1, r1);
    if (hadBox && !restart)
        db.RefreshReleasedChunks(10, false);
    // Chunks a link walk reloaded must be rebuilt before the search reads them.
    for (int32_t row = r0; row <= r1; ++row) {
        for (int32_t col = c0; col <= c1; ++col) {
            MapChunk* record = overview.GetChunkRecord(col, row);
            if (!record || !record->IsLoaded() || !(record->flags & (1u << 27)))
                continue;
            const bool hadNodes = record->nodes != nullptr;
            MapChunk::RebuildLevels(overview, col, row, false);
            db.GetChunk(0, col, row);
            if (MapChunk* again = overview.GetChunkRecord(col, row)) {
                if (again->IsLoaded() && hadNodes && again->nodes)
                    again->AllocSearchState(nullptr);
                again->flags &= ~(1u << 27);
            }
        }
    }
    // The box in degrees: the outer edges of its cells.
    const auto& h = overview.header;
    boxW_ = h.originLongitude + (h.firstColumn + overview.windowX0 + c0) * h.cellWidth;
    boxE_ = h.originLongitude + (h.firstColumn + overview.windowX0 + c1 + 1) * h.cellWidth;
    boxS_ = h.originLatitude + (h.firstRow + overview.windowY0 + r0) * h.cellHeight;
    boxN_ = h.originLatitude + (h.firstRow + overview.windowY0 + r1 + 1) * h.cellHeight;
    r_.boxMinLat = boxS_;
    r_.boxMaxLat = boxN_;
    r_.boxMinLon = boxW_;
    r_.boxMaxLon = boxE_;
}

// The network around the start; a load that ran out of memory is reported as such
// (the user is told), any other failure ends the call without a message.
bool RouteSearch::LoadAroundStart() {
    const int result = g_mapDatabase.LoadAreaGrowing(4, startPoint, kRouteRadiusDegrees);
    if (result == 2)
        throw OutOfMemory{};
    loadFailed = result != 0;
    return !loadFailed;
}

bool RouteSearch::RefindLinks() {
    CMapDatabase& db = g_mapDatabase;
    const bool startOutside4 =
        !db.layers[4].ContainsPoint(startPoint.latitude, startPoint.longitude);
    auto refind = [&](End& end, const MapPoint& point, int minorLayer) {
        if (end.id < 0)
            return;
        const int layer = end.major ? 0 : minorLayer;
        const uint32_t kind = static_cast<uint32_t>(MapLink::GetClassLayer(kLinkCounted));
        MapLink* found = db.FindLink(layer, point, end.id, 0, 0);
        if (!found)
            found = db.FindLink(layer, point, end.id, kind, 0);
        if (!found && !end.major) {
            // The other detailed route layer may hold it.
            found = db.FindLink(minorLayer == 4 ? 3 : 4, point, end.id, 0, 0);
        }
        end.link = found;
    };
    refind(start_, startPoint, (!fresh && startOutside4) ? 3 : 4);
    refind(dest_, destPoint, 3);
    return start_.link && dest_.link;
}

void RouteSearch::ResolvePlaceholderEnds(End& end) {
    if (!end.major || !end.link)
        return;
    for (int k = 0; k < 2; ++k) {
        MapNode* node = k == 0 ? end.link->fromNode : end.link->toNode;
        if (!node || !IsPlaceholder(node))
            continue;
        int oom = 0;
        g_mapDatabase.StepAcrossChunk(node, end.link, oom);
        if (oom)
            throw OutOfMemory{};
    }
}

// A virtual node at the point, with two half-links joining the link's ends to it.
void RouteSearch::BuildVirtualNode(End& end, uint32_t segment, const MapPoint& point) {
    MapLink* link = end.link;
    const FLOAT first = DistanceAlongLink(*link, true, static_cast<int32_t>(segment), point);
    const FLOAT second = DistanceAlongLink(*link, false, static_cast<int32_t>(segment), point);
    auto* node = static_cast<MapNode*>(RouterHeapAlloc(MapNode::StorageSize(2, 0)));
    std::memset(static_cast<void*>(node), 0, MapNode::StorageSize(2, 0));
    end.vnode = node;
    end.side[0] = first;
    end.side[1] = second;
    node->position = point;
    node->nameAndUse = 2;
    node->slotCount = 2;
    search_state::Reset(end.states[0]);
    search_state::Reset(end.states[1]);
    node->searchState = end.states;
    for (int h = 0; h < 2; ++h) {
        auto* half = static_cast<MapLink*>(RouterHeapAlloc(sizeof(MapLink)));
        std::memset(half, 0, sizeof(MapLink));
        end.halves[h] = half;
        half->Init();
        half->attributes = link->attributes;
        half->linkId = link->linkId;
        half->shapeInfo = static_cast<uint16_t>(link->shapeInfo & ~kShapeCountMask);
        if (h == 0) {
            half->fromNode = link->fromNode;
            half->toNode = node;
            half->flags = static_cast<uint16_t>(kLinkSynthetic | link->FromSlot());
            half->word0 = std::bit_cast<uint32_t>(first);
        } else {
            half->fromNode = node;
            half->toNode = link->toNode;
            half->flags = static_cast<uint16_t>(kLinkSynthetic | (link->ToSlot() << 4) | 1);
            half->word0 = std::bit_cast<uint32_t>(second);
        }
    }
    node->Slots()[0] = end.halves[0];
    node->Slots()[1] = end.halves[1];
}

void RouteSearch::JoinEndsOnOneLink() {
    End& first = start_.side[0] <= dest_.side[0] ? start_ : dest_;  // nearer the from-node
    End& second = &first == &start_ ? dest_ : start_;
    // The first point's half towards the to-node becomes the piece between the points.
    MapLink* middle = first.halves[1];
    middle->toNode = second.vnode;
    middle->flags = static_cast<uint16_t>(kLinkSynthetic | 1);  // slot 1 there, slot 0 here
    middle->word0 = std::bit_cast<uint32_t>(std::max(second.side[0] - first.side[0], 0.0f));
    RouterHeapFree(second.halves[0]);
    second.halves[0] = middle;
    second.vnode->Slots()[0] = middle;
    HookVirtualNode(second, false, true);
    HookVirtualNode(first, true, false);
}

void RouteSearch::HookVirtualNode(End& end, bool hookFrom, bool hookTo) {
    MapLink* link = end.link;
    end.realFrom = hookFrom ? link->fromNode : nullptr;
    end.realTo = hookTo ? link->toNode : nullptr;
    if (end.realFrom && link->FromSlot() < end.realFrom->SlotCapacity())
        end.realFrom->Slots()[link->FromSlot()] = end.halves[0];
    if (end.realTo && link->ToSlot() < end.realTo->SlotCapacity())
        end.realTo->Slots()[link->ToSlot()] = end.halves[1];
}

void RouteSearch::UnhookVirtualNode(End& end) {
    MapLink* link = end.link;
    if (!link)
        return;
    if (end.realFrom && link->FromSlot() < end.realFrom->SlotCapacity() &&
        end.realFrom->Slots()[link->FromSlot()] == end.halves[0])
        end.realFrom->Slots()[link->FromSlot()] = link;
    if (end.realTo && link->ToSlot() < end.realTo->SlotCapacity() &&
        end.realTo->Slots()[link->ToSlot()] == end.halves[1])
        end.realTo->Slots()[link->ToSlot()] = link;
    end.realFrom = end.realTo = nullptr;
}

void RouteSearch::FreeVirtualNode(End& end) {
    // The piece between two ends on one link belongs to both: freed once.
    End& other = &end == &start_ ? dest_ : start_;
    for (MapLink*& half : other.halves)
        if (half && (half == end.halves[0] || half == end.halves[1]))
            half = nullptr;
    RouterHeapFree(end.halves[0]);
    RouterHeapFree(end.halves[1]);
    RouterHeapFree(end.vnode);
    end.halves[0] = end.halves[1] = nullptr;
    end.vnode = nullptr;
}

// ---- The open list ------------------------------------------------------------------

FLOAT RouteSearch::Heuristic(const MapNode* node) const {
    if (!heuristic)
        return 0;
    const FLOAT dLon = node->position.longitude - startPoint.longitude;
    const FLOAT dLat = node->position.latitude - startPoint.latitude;
    return std::sqrt(dLon * dLon * weight_ + dLat * dLat) * kDegreesToRadians * factor;
}

void RouteSearch::Enqueue(MapNode* node, uint32_t slot, FLOAT cost, FLOAT key) {
    heap_.Push({key, cost, node, slot});
    r_.lastSearch.openPeak = std::max(r_.lastSearch.openPeak, static_cast<int32_t>(heap_.Size()));
}

void RouteSearch::Park(MapNode* node, uint32_t slot, FLOAT key) {
    if (!r_.parkedList.Append(reinterpret_cast<UINT_PTR>(node), slot, std::bit_cast<DWORD>(key)))
        throw OutOfMemory{};
}

// Between searches the kept entries name their node by chunk and index: a chunk
// record may be reused for another cell, a node pointer would then point anywhere.
// The open list keeps the live items of the heap; when the pool cannot hold them
// all, the next search starts afresh instead.
void RouteSearch::KeepOpenList() {
    r_.openList.Clear();
    bool complete = true;
    auto keep = [&](SearchNodeList& list, MapNode* node, uint32_t slot, FLOAT key) {
        MapChunk* chunk = nullptr;
        uint32_t index = 0;
        if (node == start_.vnode || node == dest_.vnode || !NodeChunkOf(node, &chunk, &index))
            return;
        if (!list.Append(reinterpret_cast<UINT_PTR>(chunk), 0x80000000u | (index << 4) | slot,
                         std::bit_cast<DWORD>(key)))
            complete = false;
    };
    heap_.ForEach([&](const OpenHeap::Item& item) {
        const NodeSearchState& st = item.node->searchState[item.slot];
        if (complete && (st.bytes[0] & search_state::kQueued) &&
            search_state::Cost(st) == item.cost)
            keep(r_.openList, item.node, item.slot, item.key);
    });
    SearchNodeList parked;
    parked.Init();
    for (SearchNode* e = r_.parkedList.head; e && complete; e = e->next)
        keep(parked, reinterpret_cast<MapNode*>(e->second), e->first & 0x0F,
             std::bit_cast<FLOAT>(e->third));
    r_.parkedList.Clear();
    if (!complete) {
        parked.Clear();
        r_.openList.Clear();
        r_.state |= kRouterChunkReloaded;
        return;
    }
    r_.parkedList = parked;
}

bool RouteSearch::RestoreOpenList() {
    for (SearchNodeList* list : {&r_.openList, &r_.parkedList}) {
        for (SearchNode* e = list->head; e; e = e->next) {
            if (!(e->first & 0x80000000u))
                return false;
            const auto* chunk = reinterpret_cast<const MapChunk*>(e->second);
            const uint32_t index = (e->first & 0x7FFFFFF0u) >> 4;
            if (!chunk || !chunk->IsLoaded() || !chunk->nodes || index >= chunk->header.nodeCount)
                return false;
            MapNode* node = chunk->nodes[index];
            if (!node || !node->searchState || (e->first & 0x0F) >= node->SlotCapacity())
                return false;
            e->first &= 0x0F;
            e->second = reinterpret_cast<UINT_PTR>(node);
        }
    }
    // The open entries go onto the heap; the parked ones stay in their list.
    for (SearchNode* e = r_.openList.head; e; e = e->next) {
        auto* node = reinterpret_cast<MapNode*>(e->second);
        const uint32_t slot = e->first;
        heap_.Append({0, search_state::Cost(node->searchState[slot]), node, slot});
    }
    r_.openList.Clear();
    return true;
}

// ---- Expansion ----------------------------------------------------------------------

bool RouteSearch::ResolveFar(MapLink*& L, MapNode*& Q, const MapNode* P, bool major) {
    if (!IsPlaceholder(Q))
        return true;
    if (!major)
        return false;
    int oom = 0;
    MapNode* resolved = g_mapDatabase.StepAcrossChunk(Q, L, oom);
    if (oom)
        throw OutOfMemory{};
    if (!resolved || IsPlaceholder(resolved))
        return false;
    // The joined link may run the other way round.
    Q = resolved;
    return L->fromNode == P || L->toNode == P;
}

bool RouteSearch::Takes(const MapLink* L, const MapNode* Q, uint32_t mask, bool major) const {
    const FLOAT lat = Q->position.latitude, lon = Q->position.longitude;
    if (major)
        return lat >= boxS_ && lat <= boxN_ && lon >= boxW_ && lon <= boxE_;
    const uint16_t external = mask == kAttrBackward ? kLinkToExternal : kLinkFromExternal;
    if (!(L->flags & external))
        return true;
    return g_mapDatabase.layers[4].ContainsPoint(lat, lon) ||
           g_mapDatabase.layers[3].ContainsPoint(lat, lon);
}

bool RouteSearch::EnsureState(MapNode* Q) {
    if (Q->searchState)
        return true;
    const int result = g_mapDatabase.ExpandChunkForRoute(Q, false);
    if (result == 1)
        throw OutOfMemory{};
    return result == 0 && Q->searchState;
}

uint32_t RouteSearch::SpeedOverride(const MapLink* L) const {
    if (!(L->attributes & kAttrSpeedFromNeighbours) || r_.routeAlgo == kRouteShortest)
        return 8;
    uint32_t best = 8;
    for (const MapNode* end : {L->fromNode, L->toNode}) {
        if (!end)
            continue;
        for (uint32_t k = 0; k < end->SlotCapacity(); ++k) {
            const MapLink* other = end->Slots()[k];
            if (!other || other == L || other->linkId == L->linkId ||
                (other->attributes & kAttrSpeedFromNeighbours))
                continue;
            best = std::min(best, other->attributes & kAttrSpeedMask);
        }
    }
    return best;
}

// The search waits on memory, not on arithmetic: a node's links, their far nodes and
// those nodes' search states lie anywhere in the chunks. Asking for each level of
// them at once lets the reads overlap instead of following one another.
void RouteSearch::PrefetchAround(const MapNode* P) {
    MapLink* const* slots = P->Slots();
    const uint32_t count = P->SlotCapacity();
    for (uint32_t i = 0; i < count; ++i) {
        if (slots[i])
            __builtin_prefetch(slots[i]);
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (const MapLink* L = slots[i])
            __builtin_prefetch(L->fromNode == P ? L->toNode : L->fromNode);
    }
    for (uint32_t i = 0; i < count; ++i) {
        const MapLink* L = slots[i];
        const MapNode* Q = L ? (L->fromNode == P ? L->toNode : L->fromNode) : nullptr;
        if (Q && Q->searchState)
            __builtin_prefetch(Q->searchState + LinkEndSlot(Q, L));
    }
}

void RouteSearch::Expand(MapNode* P, uint32_t s, FLOAT key) {
    PrefetchAround(P);
    CMapDatabase& db = g_mapDatabase;
    const bool outside4 = !db.layers[4].ContainsPoint(P->position.latitude, P->position.longitude);
    bool parked = false;
    const FLOAT costP = search_state::Cost(P->searchState[s]);
    const MapLink* arrival = s < P->SlotCapacity() ? P->Slots()[s] : nullptr;
    MapLink* const aheadHalf = start_.halves[r_.requiredStartSlot];
    const CostPlace place = MakeCostPlace(r_, P, s, true);
    ++r_.lastSearch.nodesExpanded;

    for (uint32_t i = 0; i < P->SlotCapacity(); ++i) {
        MapLink* L = P->Slots()[i];
        if (!L || L->IsDead())
            continue;
        if (outside4 && r_.classTransitions >= r_.classTransitionLimit &&
            (L->attributes & kAttrClassMask) == kLocalClass) {
            if (!parked) {
                Park(P, s, key);
                parked = true;
            }
            continue;
        }
        uint32_t mask;
        MapNode* Q = FarEnd(L, P, &mask);
        if (!Q)
            continue;
        const bool major = IsMajor(L);
        if (!ResolveFar(L, Q, P, major))
            continue;
        if (!Takes(L, Q, mask, major))
            continue;
        if (!EnsureState(Q))
            continue;
        uint32_t j = LinkEndSlot(Q, L);
        if (j >= Q->SlotCapacity())
            continue;
        const uint32_t override = SpeedOverride(L);
        FLOAT length = L->Length();
        if (arrival && arrival->Length() == L->Length()) {
            uint32_t ignored;
            const MapNode* arrivalFar = FarEnd(arrival, P, &ignored);
            if (arrivalFar && arrivalFar->position.latitude == Q->position.latitude &&
                arrivalFar->position.longitude == Q->position.longitude)
                length += kLoopPenalty;
        }
        const FLOAT c = r_.LinkCostWithTurnAt(place, L, length, i, mask, override, L == aheadHalf);
        FLOAT g = (c >= FLT_MAX || costP >= FLT_MAX) ? FLT_MAX : costP + (c > 0 ? c : kLeastStep);

        // Pass-through chain.
        MapNode* prev = P;
        uint32_t prevSlot = s;
        bool skip = false;
        for (int64_t steps = 0; g < FLT_MAX && Q != start_.vnode && Q->UseCount() < 3; ++steps) {
            if (steps > kMaxBackWalk || Q->UseCount() == 1 || IsPlaceholder(Q)) {
                skip = true;
                break;
            }
            const FLOAT old = search_state::Cost(Q->searchState[j]);
            if ((old >= 0 || c >= FLT_MAX) && old < g && prev != start_.vnode) {
                skip = true;
                break;
            }
            NodeSearchState& st = Q->searchState[j];
            search_state::SetCost(st, g);
            st.bytes[0] =
                static_cast<BYTE>((st.bytes[0] & ~search_state::kBackSlotMask) | prevSlot |
                                  search_state::kReached | search_state::kQueued);
            // The next link of the chain.
            MapLink* L2 = nullptr;
            uint32_t k2 = 0;
            for (uint32_t k = 0; k < Q->SlotCapacity(); ++k) {
                MapLink* candidate = Q->Slots()[k];
                if (candidate && candidate != L && !candidate->IsDead()) {
                    L2 = candidate;
                    k2 = k;
                    break;
                }
            }
            if (!L2) {
                skip = true;
                break;
            }
            uint32_t mask2;
            MapNode* Q2 = FarEnd(L2, Q, &mask2);
            const bool major2 = IsMajor(L2);
            if (!Q2 || !ResolveFar(L2, Q2, Q, major2) || !Takes(L2, Q2, mask2, major2) ||
                (Q2->UseCount() == 1 && Q2 != start_.vnode) || !EnsureState(Q2)) {
                skip = true;
                break;
            }
            const uint32_t j2 = LinkEndSlot(Q2, L2);
            if (j2 >= Q2->SlotCapacity()) {
                skip = true;
                break;
            }
            const FLOAT c2 = r_.LinkCostAt(MakeCostPlace(r_, Q, j, false), L2, k2, mask2, override,
                                           L2 == aheadHalf);
            g = c2 >= FLT_MAX ? FLT_MAX : g + (c2 > 0 ? c2 : kLeastStep);
            prev = Q;
            prevSlot = j;
            L = L2;
            Q = Q2;
            j = j2;
        }
        if (skip || g >= FLT_MAX)
            continue;

        // Relaxation at the final node.
        NodeSearchState& st = Q->searchState[j];
        const FLOAT old = search_state::Cost(st);
        if ((old < 0) || g <= old || prev == start_.vnode) {
            search_state::SetCost(st, g);
            st.bytes[0] =
                static_cast<BYTE>((st.bytes[0] & ~search_state::kBackSlotMask) | prevSlot |
                                  search_state::kReached | search_state::kQueued);
            Enqueue(Q, j, g, heuristic ? g + Heuristic(Q) : g);
        }
    }
}

bool RouteSearch::Seed() {
    if (fresh) {
        for (uint32_t k = 0; k < 2; ++k) {
            NodeSearchState& st = dest_.vnode->searchState[k];
            search_state::SetCost(st, 0);
            st.bytes[0] =
                search_state::kNoBackSlot | search_state::kReached | search_state::kQueued;
            Enqueue(dest_.vnode, k, 0, 0);
        }
        return true;
    }
    if (!RestoreOpenList())
        return false;
    // The start link's ends, where the kept search has reached them, go back on the
    // list so that they are expanded again, now towards the new start.
    for (MapNode* end : {start_.realFrom, start_.realTo}) {
        if (!end || !end->searchState)
            continue;
        for (uint32_t k = 0; k < end->SlotCapacity(); ++k) {
            const NodeSearchState& st = end->searchState[k];
            if ((st.bytes[0] & search_state::kReached) && search_state::Cost(st) >= 0)
                Enqueue(end, k, search_state::Cost(st), search_state::Cost(st));
        }
    }
    return true;
}

bool RouteSearch::Run() {
    // Parked nodes come back once the start lies within the destination's layer.
    if (g_mapDatabase.layers[3].ContainsPoint(start_.vnode->position.latitude,
                                              start_.vnode->position.longitude)) {
        for (SearchNode* e = r_.parkedList.head; e; e = e->next) {
            auto* node = reinterpret_cast<MapNode*>(e->second);
            heap_.Append(
                {0, search_state::Cost(node->searchState[e->first & 0x0F]), node, e->first & 0x0F});
        }
        r_.parkedList.Clear();
        r_.classTransitionLimit = kNoSearchLimit;
    }
    // Every entry is queued and keyed towards the (new) start.
    heap_.Rekey([&](OpenHeap::Item& item) {
        NodeSearchState& st = item.node->searchState[item.slot];
        st.bytes[0] |= search_state::kQueued;
        item.cost = search_state::Cost(st);
        return heuristic ? item.cost + Heuristic(item.node) : item.cost;
    });

    while (!heap_.Empty()) {
        const OpenHeap::Item item = heap_.Top();
        heap_.Pop();
        // Most often the next node taken: its record is read meanwhile.
        if (!heap_.Empty())
            __builtin_prefetch(heap_.TopNode());
        MapNode* P = item.node;
        const uint32_t s = item.slot;
        if (s >= P->SlotCapacity() || !P->searchState)
            return false;
        NodeSearchState& st = P->searchState[s];
        // A stale entry: the slot was reached more cheaply since, or already taken.
        if (!(st.bytes[0] & search_state::kQueued) || search_state::Cost(st) != item.cost)
            continue;
        if (P == start_.vnode && (s == r_.requiredStartSlot || eitherDirection)) {
            r_.requiredStartSlot = s;
            return true;
        }
        if (!P->Slots()[s])
            return false;
        st.bytes[0] &= static_cast<BYTE>(~search_state::kQueued);
        Expand(P, s, item.key);
    }
    return false;
}

int RouteSearch::FindDestPart() {
    // The route's last real node: walk the back slots from the start.
    MapNode* node = start_.vnode;
    uint32_t slot = r_.requiredStartSlot;
    MapNode* last = nullptr;
    for (int64_t steps = 0; node && steps < kMaxBackWalk; ++steps) {
        if (slot >= node->SlotCapacity() || !node->searchState)
            return 0;
        const MapLink* link = node->Slots()[slot];
        if (!link)
            return 0;
        MapNode* next = link->fromNode == node ? link->toNode : link->fromNode;
        if (next == dest_.vnode)
            return last == nullptr ? 0 : (link == dest_.halves[0] ? 1 : 2);
        slot = node->searchState[slot].bytes[0] & search_state::kBackSlotMask;
        last = next;
        node = next;
    }
    return 0;
}

bool RouteSearch::Try() {
    CRouter& r = r_;
    cleaned_ = false;
    found = false;
    r.classTransitions = 0;
    r.classTransitionLimit = (r.routeAlgo == kRouteQuickest || r.routeAlgo == kRouteMajorRoads)
                                 ? 300
                                 : (r.routeAlgo == kRouteLocalRoads ? 1000 : kNoSearchLimit);
    search_state::Reset(start_.states[0]);
    search_state::Reset(start_.states[1]);
    search_state::Reset(dest_.states[0]);
    search_state::Reset(dest_.states[1]);
    GetRouteGuidance().ResetAnnouncements(false);
    r.offRouteCount = 0;
    r.nextManeuverDistance = 0;
    r.guidanceDistance2 = 0;
    r.smallestDistanceSeen = FLT_MAX;
    if (IMainView* view = g_mainView.load())
        KillTimer(view->GetViewWindow(), kMainViewTimerArrival);

    start_.link = startLink;
    dest_.link = destLink;
    if (!startLink || !destLink) {
        missingEnd = true;
        return false;
    }
    // Both ends on one link: arrived when they lie within the arrival distance;
    // otherwise a route like any other, along the link when it runs that way.
    if (OnOneLink(startLink, destLink) &&
        WithinArrival(*startLink, startSegment, startPoint, *destLink, destSegment, destPoint)) {
        sameLink = true;
        return false;
    }
    for (End* end : {&start_, &dest_}) {
        end->major = IsMajor(end->link);
        end->id = (end->link->linkId != -2 && !end->link->IsDead()) ? end->link->linkId : -1;
        end->attributes = end->link->attributes;
    }

    CMapDatabase& db = g_mapDatabase;
    if (fresh) {
        // The last route's chunk pins stay until SetSearchBox has pinned the new box:
        // what both boxes hold is kept instead of dropped and read again.
        r.ResetRoute(0, 1, 1);
        if (!LoadAroundStart())
            return false;
    } else if (!db.layers[4].ContainsPoint(startPoint.latitude, startPoint.longitude) &&
               !db.layers[3].ContainsPointInset(startPoint, true)) {
        fresh = true;
        r.ResetRoute(0, 1, 1);
        if (!LoadAroundStart())
            return false;
    } else {
        r.ResetRoute(1, 1, 1);
        if (IMainView* view = g_mainView.load())
            view->DrawCenteredMessage(1);
    }
    // A layer-2 window reaching past layer 4 holds chunks the search would leave stale.
    MapLayer& l2 = db.layers[2];
    MapLayer& l4 = db.layers[4];
    if (l2.windowX0 != kNoWindow && l4.windowX0 != kNoWindow &&
        (!l4.ContainsPoint(l2.windowSouth, l2.windowWest) ||
         !l4.ContainsPoint(l2.windowNorth, l2.windowEast))) {
        GetPositioningServices().ResetMatcher(0);
    }
    if (fresh || r.boxMaxCol == -1) {
        SetSearchBox();
    } else {
        // A recalculation keeps the box of the search it continues.
        boxS_ = r.boxMinLat;
        boxN_ = r.boxMaxLat;
        boxW_ = r.boxMinLon;
        boxE_ = r.boxMaxLon;
    }
    // The loads may have moved chunks under the links: take them again by id.
    if (!RefindLinks())
        return false;
    ResolvePlaceholderEnds(start_);
    ResolvePlaceholderEnds(dest_);
    if (!start_.link || !dest_.link || !start_.link->fromNode || !start_.link->toNode ||
        !dest_.link->fromNode || !dest_.link->toNode ||
        (IsPlaceholder(start_.link->fromNode) && IsPlaceholder(start_.link->toNode)))
        return false;
    // Readying the ends' chunks may read their full shapes: the segments are taken
    // on the links as they are now, not as the caller saw them.
    for (End* end : {&start_, &dest_}) {
        for (MapNode* real : {end->link->fromNode, end->link->toNode}) {
            if (!EnsureState(real))
                return false;
        }
    }
    startSegment = start_.link->NearestPoint(startPoint.latitude, startPoint.longitude, nullptr);
    destSegment = dest_.link->NearestPoint(destPoint.latitude, destPoint.longitude, nullptr);
    oneLink_ = start_.link == dest_.link;
    if (oneLink_ && WithinArrival(*start_.link, startSegment, startPoint, *dest_.link, destSegment,
                                  destPoint)) {
        sameLink = true;
        return false;
    }
    r.routeStartLink = start_.link;
    r.routeStartLinkId = start_.link->linkId;
    r.routeDestLink = dest_.link;
    r.destLinkCopy = *dest_.link;
    r.searchStartLink = start_.link;
    r.searchDestLink = dest_.link;
    r.startSegment = startSegment;
    r.destSegment = destSegment;
    r.startPoint = startPoint;
    r.destPoint = destPoint;
    r.state &= ~(kRouterScratchBits | 0x40u | kRouterWaitPromptGiven);

    // The start direction.
    const uint32_t direction = start_.link->attributes & kAttrDirectionMask;
    bool forward;
    if (direction == kAttrDirectionMask) {
        MapPoint a, b;
        start_.link->GetEndPositions(startSegment, &a, &b);
        IPositioningServices& gps = GetPositioningServices();
        const double cosLat = std::cos(gps.GetFixLatitude() * double{kDegreesToRadians});
        const double heading = gps.GetHeading() * double{kDegreesToRadians};
        const double dot = (b.longitude - a.longitude) * cosLat * std::sin(heading) +
                           (b.latitude - a.latitude) * std::cos(heading);
        forward = dot >= 0;
        if (!eitherDirection &&
            MapNode::LeadsToDeadEnd(start_.link,
                                    forward ? start_.link->toNode : start_.link->fromNode)) {
            eitherDirection = true;
            r.state |= kRouterEitherDirection;
        }
    } else {
        forward = direction == kAttrForward;
    }
    r.requiredStartSlot = forward ? 1 : 0;

    BuildVirtualNode(start_, startSegment, startPoint);
    BuildVirtualNode(dest_, destSegment, destPoint);
    if (oneLink_) {
        JoinEndsOnOneLink();
    } else {
        HookVirtualNode(dest_);
        HookVirtualNode(start_);
    }
    r.startVirtualNode = start_.vnode;
    r.destVirtualNode = dest_.vnode;
    r.halfLinks[0] = start_.halves[0];
    r.halfLinks[1] = start_.halves[1];
    r.halfLinks[2] = dest_.halves[0];
    r.halfLinks[3] = dest_.halves[1];

    if (!Seed()) {
        // A kept list that no longer resolves: the search starts afresh.
        keptListLost = true;
        return false;
    }
    weight_ = 1.0f;
    if (heuristic) {
        const FLOAT c =
            std::cos(std::max(startPoint.latitude, destPoint.latitude) * kDegreesToRadians);
        weight_ = c * c;
    }
    found = Run();
    if (found)
        Finish();
    return found;
}

void RouteSearch::Cleanup() {
    if (cleaned_)
        return;
    cleaned_ = true;
    UnhookVirtualNode(start_);
    UnhookVirtualNode(dest_);
    oneLink_ = false;
    if (found && !outOfMemory) {
        KeepOpenList();
    } else {
        r_.openList.Clear();
        r_.parkedList.Clear();
    }
    heap_.Clear();
    if (r_.startVirtualNode == start_.vnode)
        r_.startVirtualNode = nullptr;
    if (r_.destVirtualNode == dest_.vnode)
        r_.destVirtualNode = nullptr;
    FreeVirtualNode(start_);
    FreeVirtualNode(dest_);
    for (MapLink*& half : r_.halfLinks)
        half = nullptr;
}

void RouteSearch::Finish() {
    CRouter& r = r_;
    const auto listStart = std::chrono::steady_clock::now();
    const int built = r.BuildRouteList();
    r.lastSearch.routeListSeconds +=
        std::chrono::duration<double>(std::chrono::steady_clock::now() - listStart).count();
    if (built != 0)
        throw OutOfMemory{};
    r.startPart = r.requiredStartSlot == 0 ? 1 : 2;
    if (r.routeCount == 0) {
        // Along the start link to the destination, past no node: the whole route is
        // the destination's part, entered from the end behind the vehicle.
        r.startPartLength = 0;
        r.destPart = r.startPart == 2 ? 1 : 2;
        r.destPartLength = start_.halves[r.requiredStartSlot]->Length();
        r.routeLength = r.destPartLength;
        r.remainingLength = r.routeLength;
        return;
    }
    r.startPartLength = start_.side[r.requiredStartSlot];
    const int destPart = FindDestPart();
    r.destPart = destPart;
    r.destPartLength = destPart == 1 || destPart == 2 ? dest_.side[destPart - 1] : 0;
    // The route list counts the links between its first and last node; the two
    // half-links at the ends complete the driving length.
    r.routeLength += r.startPartLength + r.destPartLength;
    r.remainingLength = r.routeLength;
}
