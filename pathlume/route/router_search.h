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
class OpenHeap {
  public:
    struct Item {
        FLOAT key;
        FLOAT cost;
        MapNode* node;
        uint32_t slot;
    };
    void Clear() { items_.clear(); }
    bool Empty() const { return items_.empty(); }
    size_t Size() const { return items_.size(); }
    const Item& Top() const { return items_.front(); }
    const std::vector<Item>& Items() const { return items_; }
    void Push(const Item& item) {
        items_.push_back(item);
        std::push_heap(items_.begin(), items_.end(), Later{});
    }
    void Pop() {
        std::pop_heap(items_.begin(), items_.end(), Later{});
        items_.pop_back();
    }
    // Items added unordered, then ordered at once.
    void Append(const Item& item) { items_.push_back(item); }
    void Order() { std::make_heap(items_.begin(), items_.end(), Later{}); }
    // Gives the items new keys and orders them again.
    template <typename KeyOf>
    void Rekey(KeyOf rekey) {
        for (Item& item : items_)
            item.key = rekey(item);
        Order();
    }

  private:
    // A function object, not a function: the heap's steps then compare inline.
    struct Later {
        bool operator()(const Item& a, const Item& b) const { return a.key > b.key; }
    };
    std::vector<Item> items_;
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
    void HookVirtualNode(End& end);
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
};
