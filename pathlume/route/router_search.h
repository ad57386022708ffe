// The route search's working state for one call of CRouter::SearchRoute: the open
// list's order, the two virtual nodes at the route's ends and the steps of one try.
// Internal to the router.
#pragma once

#include <algorithm>
#include <bit>
#include <vector>

#include "pathlume/foundation/block_pool.h"
#include "pathlume/route/router.h"

// The area loaded around each end of a route, in degrees.
inline constexpr FLOAT kRouteRadiusDegrees = 0.0390625f;

// A link of the routable kinds (road or carpool).
inline bool IsRoutable(const MapLink* link) {
    return link && (link->attributes & kAttrRoutableKinds) != 0;
}

// The open list while a search runs: a binary heap, smallest key first, of the
// queued slots with the cost each was queued with. A slot reached more cheaply later
// is queued again; its older item shows as stale by its cost and is dropped when it
// comes to the top. Between searches the router keeps the live items in its pool
// list (CRouter::openList).
//
// The heap itself orders 8-byte (key, entry) pairs; the rest of an item waits in an
// entry whose place a popped item hands on to the next push. Sifting then moves a
// third of the bytes, and the order is the very one a heap of whole items keeps.
class OpenHeap {
  public:
    struct Item {
        FLOAT key;
        FLOAT cost;
        MapNode* node;
        uint32_t slot;
    };
    void Clear() {
        order_.clear();
        entries_.clear();
        free_.clear();
    }
    bool Empty() const { return order_.empty(); }
    size_t Size() const { return order_.size(); }
    Item Top() const { return ItemAt(order_.front()); }
    const MapNode* TopNode() const { return entries_[order_.front().entry].node; }
    void Push(const Item& item) {
        order_.push_back({item.key, Store(item)});
        std::push_heap(order_.begin(), order_.end(), Later{});
    }
    void Pop() {
        std::pop_heap(order_.begin(), order_.end(), Later{});
        free_.push_back(order_.back().entry);
        order_.pop_back();
    }
    // Items added unordered, then ordered at once.
    void Append(const Item& item) { order_.push_back({item.key, Store(item)}); }
    void Order() { std::make_heap(order_.begin(), order_.end(), Later{}); }
    // Gives the items new keys (the function may change an item's cost too) and
    // orders them again.
    template <typename KeyOf>
    void Rekey(KeyOf rekey) {
        for (Ordered& ordered : order_) {
            Item item = ItemAt(ordered);
            ordered.key = rekey(item);
            entries_[ordered.entry].cost = item.cost;
        }
        Order();
    }
    // Every item, in the heap's order.
    template <typename Visit>
    void ForEach(Visit visit) const {
        for (const Ordered& ordered : order_)
            visit(ItemAt(ordered));
    }

  private:
    struct Ordered {
        FLOAT key;
        uint32_t entry;
    };
    struct Entry {
        MapNode* node;
        FLOAT cost;
        uint32_t slot;
    };
    // A function object, not a function: the heap's steps then compare inline.
    struct Later {
        bool operator()(const Ordered& a, const Ordered& b) const { return a.key > b.key; }
    };
    uint32_t Store(const Item& item) {
        const Entry entry{item.node, item.cost, item.slot};
        if (free_.empty()) {
            entries_.push_back(entry);
            return static_cast<uint32_t>(entries_.size() - 1);
        }
        const uint32_t at = free_.back();
        free_.pop_back();
        entries_[at] = entry;
        return at;
    }
    Item ItemAt(const Ordered& ordered) const {
        const Entry& e = entries_[ordered.entry];
        return {ordered.key, e.cost, e.node, e.slot};
    }
    std::vector<Ordered> order_;
    std::vector<Entry> entries_;
    std::vector<uint32_t> free_;
};

struct OutOfMemory {};

class RouteSearch {
  public:
    RouteSearch(CRouter& router) : r_(router) {}

    // Steps 11 to 31 of one try: true when the route was found.
    bool Try();
    // Steps 32 to 34: the real links back in their nodes, the open list kept after a
    // route, the virtual nodes freed. Safe to call twice.
    void Cleanup();

    MapLink* startLink = nullptr;
    uint32_t startSegment = 0;
    MapPoint startPoint{};
    MapLink* destLink = nullptr;
    uint32_t destSegment = 0;
    MapPoint destPoint{};
    bool fresh = true;
    bool heuristic = false;
    FLOAT factor = 1.0f;
    bool eitherDirection = false;
    bool restart = false;
    bool beganAsRecalc = false;
    bool recalcRestart = false;  // a recalculation that has become fresh
    bool outOfMemory = false;
    bool loadFailed = false;
    // Both ends on one link, no farther apart than the arrival distance: arrived.
    bool sameLink = false;
    bool keptListLost = false;
    bool missingEnd = false;
    bool found = false;

  private:
    struct End {
        MapLink* link = nullptr;
        bool major = false;
        int32_t id = -1;
        uint32_t attributes = 0;
        MapNode* vnode = nullptr;
        MapLink* halves[2] = {};
        // Along the link from the point to its from-node and to its to-node.
        FLOAT side[2] = {};
        NodeSearchState states[2];
        // The real end nodes' slots that point at the half-links meanwhile.
        MapNode* realFrom = nullptr;
        MapNode* realTo = nullptr;
    };

    void Prepare();
    void SetSearchBox();
    bool RefindLinks();
    bool LoadAroundStart();
    void ResolvePlaceholderEnds(End& end);
    void BuildVirtualNode(End& end, uint32_t segment, const MapPoint& point);
    // With both ends on one link: the piece between the two points joins the two
    // virtual nodes, and each real end node sees the outer piece next to it.
    void JoinEndsOnOneLink();
    void HookVirtualNode(End& end, bool hookFrom = true, bool hookTo = true);
    void UnhookVirtualNode(End& end);
    void FreeVirtualNode(End& end);
    bool Seed();
    bool Run();
    void PrefetchAround(const MapNode* P);
    void Expand(MapNode* P, uint32_t s, FLOAT key);
    FLOAT Heuristic(const MapNode* node) const;
    void Enqueue(MapNode* node, uint32_t slot, FLOAT cost, FLOAT key);
    void Park(MapNode* node, uint32_t slot, FLOAT key);
    bool ResolveFar(MapLink*& L, MapNode*& Q, const MapNode* P, bool major);
    bool Takes(const MapLink* L, const MapNode* Q, uint32_t mask, bool major) const;
    bool EnsureState(MapNode* Q);
    uint32_t SpeedOverride(const MapLink* L) const;
    void Finish();
    void KeepOpenList();
    bool RestoreOpenList();
    int FindDestPart();

    CRouter& r_;
    OpenHeap heap_;
    End start_;
    End dest_;
    FLOAT weight_ = 1.0f;
    FLOAT boxS_ = 0, boxW_ = 0, boxN_ = 0, boxE_ = 0;
    bool cleaned_ = true;
    bool oneLink_ = false;
};
