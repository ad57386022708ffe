// The router: route options, the current request, the search state kept between
// calculations, the route list and the maneuver list, and the state word that the
// search, guidance, the map view and the shell read. One object, made at program
// start (g_router) and used on the user-interface thread only.
//
// The search itself is router_search.cpp, the link and turn costs route_costs.cpp,
// the route list route_list.cpp and the maneuvers maneuver_list.cpp.
#pragma once

#include <cstdint>
#include <cstring>

#include "pathlume/foundation/block_pool.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/router_services.h"

// Bits of CRouter::state.
inline constexpr uint32_t kRouterScratchBits = 0x0000000F;
inline constexpr uint32_t kRouterTollExcluded = 0x10;
inline constexpr uint32_t kRouterCarpoolExcluded = 0x20;
inline constexpr uint32_t kRouterWaitPromptGiven = 0x80;
inline constexpr uint32_t kRouterReduceTurnsOff = 0x100;
inline constexpr uint32_t kRouterFerriesExcluded = 0x200;
inline constexpr uint32_t kRouterRecalcRunning = 0x80000;
inline constexpr uint32_t kRouterDetourActive = 0x100000;
inline constexpr uint32_t kRouterTimer6Running = 0x400000;
inline constexpr uint32_t kRouterMapScreenPending = 0x800000;
inline constexpr uint32_t kRouterGuidancePending = 0x1000000;
inline constexpr uint32_t kRouterAvoidMarksApplied = 0x2000000;
inline constexpr uint32_t kRouterStreetNameGuidance = 0x4000000;
inline constexpr uint32_t kRouterRouteState = 0x20000000;
inline constexpr uint32_t kRouterEitherDirection = 0x40000000;
// kRouterChunkReloaded (0x80000000, router_services.h): the next search and reset are fresh.

// The route options the registry keeps ("RouteFlags") and their default.
inline constexpr uint32_t kRouteFlagsMask = 0x330;
inline constexpr uint32_t kRouteFlagsDefault = 0x220;

// Route methods ("RouteAlgo").
enum RouteMethod : int {
    kRouteShortest = 0,
    kRouteQuickest = 1,
    kRouteMajorRoads = 2,
    kRouteLocalRoads = 3,
};

// Bits of MapLink::attributes the costs read.
inline constexpr uint32_t kAttrSpeedMask = 0x7;
inline constexpr uint32_t kAttrDirectionMask = 0x30;
inline constexpr uint32_t kAttrForward = 0x10;   // from-node to to-node
inline constexpr uint32_t kAttrBackward = 0x20;  // to-node to from-node
inline constexpr uint32_t kAttrRoutableKinds = 0xA00;
inline constexpr uint32_t kAttrKindRoad = 0x200;
inline constexpr uint32_t kAttrKindCarpool = 0x800;  // 0x800 alone: a carpool link
inline constexpr uint32_t kAttrRestricted = 0x40030008;
inline constexpr uint32_t kAttrSpeedFromNeighbours = 1u << 20;
inline constexpr uint32_t kAttrToll = 1u << 21;
inline constexpr uint32_t kAttrFerry = 1u << 23;

// MapLink::flags of a half-link the search makes at a route end.
inline constexpr uint16_t kLinkSynthetic = 0x2000;

// Distances and costs are radians of arc; FLT_MAX is impassable.
inline constexpr FLOAT kThousandFeet = 4.7841982e-5f;

// One entry of the route list: a node the route passes and the link it leaves by.
struct RouteEntry {
    static constexpr uint32_t kIndexMask = 0x1F00FFFF;  // the node's index in its chunk
    static constexpr int kSlotShift = 16;
    static constexpr uint32_t kSlotMask = 0x00FF0000;
    static constexpr uint32_t kFlaggedLink = 1u << 29;
    static constexpr uint32_t kRoutingLevel = 1u << 31;  // valid while the chunk is reduced

    uint32_t nodeRef;
    MapChunk* chunk;
    int32_t linkId;
    uint32_t attributes;  // the leaving link's attribute word

    uint32_t Slot() const { return (nodeRef & kSlotMask) >> kSlotShift; }
};

// One maneuver: the route entry where it happens (-1 for the arrival), its kind
// (1 to 20) and the distance from the previous maneuver in radians of arc.
struct Maneuver {
    int32_t routeIndex;
    uint32_t kind;
    FLOAT distance;
};
static_assert(sizeof(Maneuver) == 12, "a maneuver is 12 bytes");

// The node a route entry or an avoid key names, or null when it cannot be trusted:
// the chunk is not loaded, it holds the reduced network and the reference was not
// made on it, the index lies past its node table, or (linkId not -1) the node's link
// in the reference's slot is not that link.
MapNode* ResolveNodeRef(uint32_t nodeRef, const MapChunk* chunk, int32_t linkId = -1);
inline MapNode* ResolveNodeRef(const RouteEntry& entry) {
    return ResolveNodeRef(entry.nodeRef, entry.chunk, entry.linkId);
}

// The link's slot at one of its ends: the from-nibble when the node is its from-node.
inline uint32_t LinkEndSlot(const MapNode* node, const MapLink* link) {
    return link->fromNode == node ? link->FromSlot() : link->ToSlot();
}
// 2 when the entry's node is its link's from-node, else 1.
int NodeEndIndex(const RouteEntry& entry);
// The position next to the node along the link (for turn angles).
inline MapPoint GetPointNextToNode(const MapLink* link, const MapNode* node) {
    const uint32_t count = link->GetShapePointCount();
    const bool atFrom = link->fromNode == node;
    if (count > 0)
        return atFrom ? link->shapePoints[0] : link->shapePoints[count - 1];
    const MapNode* other = atFrom ? link->toNode : link->fromNode;
    return other ? other->position : node->position;
}

// Per-slot search state of a node, 5 bytes: back slot and marks, then the cost.
namespace search_state {
inline constexpr BYTE kBackSlotMask = 0x3F;
inline constexpr BYTE kNoBackSlot = 0x3F;
inline constexpr BYTE kQueued = 0x40;
inline constexpr BYTE kReached = 0x80;
// The cost bytes are unaligned: read and written through memcpy.
inline FLOAT Cost(const NodeSearchState& s) {
    FLOAT cost;
    std::memcpy(&cost, s.bytes + 1, sizeof cost);
    return cost;
}
inline void SetCost(NodeSearchState& s, FLOAT cost) {
    std::memcpy(s.bytes + 1, &cost, sizeof cost);
}
// Back slot none, cost unreached (a negative float).
void Reset(NodeSearchState& s);
}  // namespace search_state
void SetNodeClosed(MapNode* node, bool on, uint32_t slot);
void SetNodeOpen(MapNode* node, bool on, uint32_t slot);
int CompareCandidateCost(const void* a, const void* b);

class CAvoidList;
struct CostPlace;

class CRouter final : public IRouterServices {
  public:
    CRouter();
    ~CRouter();
    CRouter(const CRouter&) = delete;
    CRouter& operator=(const CRouter&) = delete;

    // IRouterServices.
    void SetStateBits(uint32_t bits) override { state |= bits; }
    uint32_t GetState() override { return state; }
    void ApplyAvoidMarks(MapChunk& chunk) override;
    void ResetRoute() override { ResetRoute(0, 0, 0); }
    void ClearAvoidMarks() override { SetAvoidMarks(0); }
    void CalculateRoute(MapLink* link, uint32_t segment, MapPoint point,
                        const RouteTarget& target) override {
        CalculateRoute(link, segment, point, target, 0, 0);
    }
    // A place chosen as the current position becomes the route's start position.
    void SetOriginPoint(MapPoint point) override { startPoint = point; }
    void GetGuidanceLinks(MapLink** first, MapLink** second) override {
        *first = guidanceLinks[0];
        *second = guidanceLinks[1];
    }

    // Computes the route from a start on a link to the target; always 0: success is
    // kRouterRouteState with a route list, empty only for a route along one link
    // (RunsAlongOneLink).
    int CalculateRoute(MapLink* startLink, uint32_t startSegment, const MapPoint& startPoint,
                       const RouteTarget& target, int recalculation, int noGuidance);
    int SearchRoute(MapLink* startLink, uint32_t startSegment, const MapPoint& startPoint,
                    MapLink* destLink, uint32_t destSegment, const MapPoint& destPoint,
                    int recalculation, int noGuidance);
    void ResetRoute(int keepSearch, int keepMarks, int onlyIfRoute);
    void ClearSearchMarks();
    void SetRouteAlgo(int method);
    void SetRouteFlags(uint32_t word);

    // The route list (route_list.cpp): 0, or 1 on failure (nothing set).
    int BuildRouteList();
    // The maneuver list (maneuver_list.cpp): 0, or nonzero when out of memory.
    int BuildManeuverList();
    void FreeRouteList();
    void FreeManeuvers();
    FLOAT GetFirstManeuverDistance() const { return nextManeuverDistance; }
    // The first name item's name id and type code of a link; -1 and -1 without a
    // name. 0, or 1 when the record cannot be read.
    int GetLinkEndpoints(int32_t linkId, int32_t* first, int32_t* second);

    // Link and turn costs (route_costs.cpp). P is the node, a the slot at P of the
    // link the search reached P by, n L's slot at P, m the direction mask, c the
    // speed-category override (8 none), u the U-turn permission.
    FLOAT LinkCost(const MapLink* L, const MapNode* P, uint32_t a, uint32_t n, uint32_t m,
                   uint32_t c, bool u) const;
    FLOAT LinkCostWithTurn(const MapLink* L, FLOAT base, const MapNode* P, uint32_t a, uint32_t n,
                           uint32_t m, uint32_t c, bool u);
    // The same with what they read of P and of the arrival slot's link worked out
    // once (MakeCostPlace, route_costs.h).
    FLOAT LinkCostAt(const CostPlace& at, const MapLink* L, uint32_t n, uint32_t m, uint32_t c,
                     bool u) const;
    FLOAT LinkCostWithTurnAt(const CostPlace& at, const MapLink* L, FLOAT base, uint32_t n,
                             uint32_t m, uint32_t c, bool u);

    // Detours and roads to avoid (router_avoid.cpp).
    uint32_t SetDetourBit(int on);
    void SetDetour(int on);
    void SetAvoidMarks(int on);
    int RequestRecalc(int recalculation, int noGuidance);

    // Reads "VoiceOutDelay" and sets the announcement countdown to -1.
    void ReadVoiceOutDelay();

    // What the route simulator reads of the route's ends. The start position lies on
    // shape segment GetStartShapeIndex of the start link (0 .. shape point count);
    // GetStartDirection is 2 when the route drives the link from its from-node, 1
    // against it; the destination lies on shape segment GetDestShapeIndex of the
    // last entry's link.
    uint32_t GetStartShapeIndex() const { return startSegment; }
    int GetStartDirection() const { return startPart == 1 ? 1 : 2; }
    uint32_t GetDestShapeIndex() const { return destSegment; }
    // The start link as it is loaded now, found by its id among the links of the
    // first route entry's node (a reload may have freed the link the search used);
    // null without a route or when that node no longer holds it. A route along one
    // link has no entry: its destination link.
    MapLink* FindStartLink() const;

    // Fields, in the order of the route state. Positioning, guidance and the map view
    // read them.
    int32_t announceCountdown = -1;
    int32_t voiceDelay = 1;
    int32_t classTransitions = 0;
    int32_t classTransitionLimit = 99999999;
    FLOAT heuristicImperial = 0;
    FLOAT heuristicMetric = 0;
    FLOAT transitionPenalty = 0;
    // Search box in degrees and in layer-0 cells (boxMaxCol -1: no box).
    FLOAT boxMaxLat = 0, boxMaxLon = 0, boxMinLat = 0, boxMinLon = 0;
    int32_t boxMinCol = 0, boxMinRow = 0, boxMaxCol = -1, boxMaxRow = 0;
    RouteTarget request{};
    RouteTarget finalDestination{};  // kept during a detour or stopover
    DWORD detourWord = 0;
    int32_t routeAlgo = kRouteQuickest;
    MapNode* destVirtualNode = nullptr;
    MapNode* startVirtualNode = nullptr;
    uint32_t requiredStartSlot = 0;
    // No entries for a route along its start link to the destination, past no node
    // (RunsAlongOneLink).
    // A route to follow: its maneuvers and its entries, which only a route along its
    // start link to the destination, past no node, has none of (RunsAlongOneLink).
    bool HasRouteToFollow() const {
        return (state & kRouterRouteState) && maneuvers && maneuverCount > 0 &&
               (routeCount > 0 ? routeList != nullptr : routeCount == 0);
    }
    bool RunsAlongOneLink() const { return routeCount == 0 && HasRouteToFollow(); }
    RouteEntry* routeList = nullptr;
    int32_t routeCount = 0;
    Maneuver* maneuvers = nullptr;
    int32_t maneuverCount = 0;
    int32_t currentManeuver = 0;
    FLOAT routeLength = 0;
    FLOAT remainingLength = 0;
    FLOAT nextManeuverDistance = 0;
    FLOAT guidanceDistance2 = 0;
    DWORD guidanceWord = 0;
    FLOAT smallestDistanceSeen = 0;
    FLOAT timeToGo = 0;                 // hours; 0 after the arrival
    MapLink* routeStartLink = nullptr;  // as used by the last route
    int32_t routeStartLinkId = -1;      // its id, to find it again after a reload
    MapLink* routeDestLink = nullptr;
    FLOAT startPartLength = 0;
    FLOAT destPartLength = 0;
    uint32_t startSegment = 0;
    uint32_t destSegment = 0;
    int32_t startPart = 0;  // 1 the half from the link's from-node, 2 the other
    int32_t destPart = 0;
    int32_t busyCount = 0;
    MapPoint startPoint{};
    DWORD constructorWords[2] = {250, 195};
    MapPoint destPoint{};
    DWORD resetWord = 0;
    int32_t offRouteCount = 0;
    // The map view's automatic zoom near a maneuver: 0 far, 1 nearing, 2 close.
    int32_t zoomBand = 0;
    uint32_t state = 0;
    SearchNodeList openList;
    SearchNodeList parkedList;
    DWORD freshResetWord = 0;
    int32_t newRouteMark = 0;
    DWORD guidanceWords[2] = {};
    // The links the guidance update sets from the route at the vehicle's place (one
    // may be the destination link); the map matcher prefers them. Null after a reset.
    MapLink* guidanceLinks[2] = {};
    // The half-links of the start and destination virtual nodes during a search.
    MapLink* halfLinks[4] = {};
    MapLink* searchStartLink = nullptr;
    MapLink* searchDestLink = nullptr;
    const FLOAT* speedTable = nullptr;
    FLOAT heuristicFactor = 0;
    // A copy of the last route's destination link: its id and words stay good when a
    // chunk reload frees the link itself, and the search finds the link again by id.
    MapLink destLinkCopy{};

    // Figures of the last search (benchmarks and tests).
    struct SearchFigures {
        int64_t nodesExpanded = 0;
        int32_t openPeak = 0;
        int32_t tries = 0;
        bool outOfMemory = false;
        bool fresh = false;
        // Start and destination lay on one link within the arrival distance: no
        // route, the vehicle is there.
        bool arrived = false;
        // Wall time of the whole call and of the two list builds in it.
        double totalSeconds = 0;
        double routeListSeconds = 0;
        double maneuverSeconds = 0;
    } lastSearch;

  private:
    friend class RouteSearch;
    void AfterRouteFound(bool fresh);
    int BuildManeuverListQuietly();
};

// The router's own blocks on the program heap (virtual nodes, half-links, avoid-list
// nodes), counted so that a leak shows: RouterHeapAlloc raises the memory exception
// as CHeap::Alloc does.
void* RouterHeapAlloc(size_t size);
void RouterHeapFree(void* block);
long RouterHeapBlocks();

// The router, made at program start (CreateRouter) and destroyed at exit.
extern CRouter* g_router;
CRouter& CreateRouter();
void DestroyRouter();

// The roads to avoid: keys in route-entry form, list B for keys with bit 31 set.
class CAvoidList {
  public:
    struct Node {
        Node* next;
        RouteEntry key;
    };

    CAvoidList() = default;
    ~CAvoidList() { Clear(); }
    CAvoidList(const CAvoidList&) = delete;
    CAvoidList& operator=(const CAvoidList&) = delete;

    void Clear();
    // Adds the key unless an equal one is listed; false when there was no room.
    bool Add(const RouteEntry& key);
    // Marks the listed links of one chunk, or of every loaded chunk with null.
    void ApplyMarks(const MapChunk* chunk);
    int Count() const;

    Node* listA = nullptr;
    Node* listB = nullptr;
};

extern CAvoidList g_avoidList;
