// The router object: construction, options, reset, search marks, and the small
// node and state helpers the search, the route list and the maneuvers share.
#include "pathlume/route/router.h"

#include <cfloat>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/route_costs.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router_internal.h"

CRouter* g_router = nullptr;

namespace {
long g_routerHeapBlocks = 0;
}  // namespace

void* RouterHeapAlloc(size_t size) {
    void* block = g_heap.Alloc(size);
    ++g_routerHeapBlocks;
    return block;
}

void RouterHeapFree(void* block) {
    if (!block)
        return;
    g_heap.Free(block);
    --g_routerHeapBlocks;
}

long RouterHeapBlocks() {
    return g_routerHeapBlocks;
}

CRouter& CreateRouter() {
    if (!g_router) {
        g_router = new CRouter();
        SetRouterServices(g_router);
    }
    return *g_router;
}

void DestroyRouter() {
    if (!g_router)
        return;
    SetRouterServices(nullptr);
    delete g_router;
    g_router = nullptr;
}

// ---- Search state ---------------------------------------------------------------

namespace search_state {

void Reset(NodeSearchState& s) {
    s.bytes[0] = kNoBackSlot;
    // -1.1754944e-38: any cost below zero reads as unreached.
    s.bytes[1] = 0x00;
    s.bytes[2] = 0x00;
    s.bytes[3] = 0x80;
    s.bytes[4] = 0x80;
}

}  // namespace search_state

void SetNodeClosed(MapNode* node, bool on, uint32_t slot) {
    BYTE& b = node->searchState[slot].bytes[0];
    b = on ? (b | search_state::kReached) : (b & ~search_state::kReached);
}

void SetNodeOpen(MapNode* node, bool on, uint32_t slot) {
    BYTE& b = node->searchState[slot].bytes[0];
    b = on ? (b | search_state::kQueued) : (b & ~search_state::kQueued);
}

int CompareCandidateCost(const void* a, const void* b) {
    const FLOAT ka = std::bit_cast<FLOAT>((*static_cast<const SearchNode* const*>(a))->third);
    const FLOAT kb = std::bit_cast<FLOAT>((*static_cast<const SearchNode* const*>(b))->third);
    return ka < kb ? -1 : (ka > kb ? 1 : 0);
}

// ---- Node references ------------------------------------------------------------

MapNode* ResolveNodeRef(uint32_t nodeRef, const MapChunk* chunk, int32_t linkId) {
    if (!chunk || !chunk->IsLoaded() || !chunk->nodes)
        return nullptr;
    if ((chunk->flags & kChunkFromFileT) && !(nodeRef & RouteEntry::kRoutingLevel))
        return nullptr;
    // A chunk record a moved window reuses for another cell keeps its loaded bit:
    // the index must lie in this chunk's table and, where a link is named, the slot
    // must still hold it.
    const uint32_t index = nodeRef & RouteEntry::kIndexMask;
    if (index >= chunk->header.nodeCount)
        return nullptr;
    MapNode* node = chunk->nodes[index];
    if (!node)
        return nullptr;
    if (linkId != -1) {
        const uint32_t slot = (nodeRef & RouteEntry::kSlotMask) >> RouteEntry::kSlotShift;
        if (slot >= node->SlotCapacity())
            return nullptr;
        const MapLink* link = node->Slots()[slot];
        if (!link || link->linkId != linkId)
            return nullptr;
    }
    return node;
}

int NodeEndIndex(const RouteEntry& entry) {
    const MapNode* node = ResolveNodeRef(entry.nodeRef, entry.chunk, -1);
    if (!node)
        return 1;
    const uint32_t slot = entry.Slot();
    const MapLink* link = slot < node->SlotCapacity() ? node->Slots()[slot] : nullptr;
    return link && link->fromNode == node ? 2 : 1;
}

// ---- The router object ----------------------------------------------------------

MapLink* CRouter::FindStartLink() const {
    // A route along one link has no entry: the start link is the destination's.
    if (RunsAlongOneLink())
        return routeDestLink && routeDestLink->linkId == routeStartLinkId ? routeDestLink : nullptr;
    if (!routeList || routeCount <= 0)
        return nullptr;
    MapNode* node = ResolveNodeRef(routeList[0]);
    if (!node)
        return nullptr;
    // The route leaves the start link at its to-node when it drives it forwards.
    MapLink* found = nullptr;
    for (uint32_t slot = 0; slot < node->SlotCapacity(); ++slot) {
        MapLink* link = node->Slots()[slot];
        if (!link || link->IsDead() || link->linkId != routeStartLinkId ||
            (GetStartDirection() == 2 ? link->toNode : link->fromNode) != node)
            continue;
        if (link == routeStartLink)
            return link;
        if (!found)
            found = link;
    }
    return found;
}

CRouter::CRouter() {
    request.Clear();
    finalDestination.Clear();
    openList.Init();
    parkedList.Init();
    heuristicImperial = kSpeedTableImperial[0] * 0.035364794f;
    heuristicMetric = kSpeedTableMetric[0] * 0.035364794f;
    smallestDistanceSeen = FLT_MAX;
    state = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteFlags", kRouteFlagsDefault) &
            kRouteFlagsMask;
    routeAlgo = static_cast<int32_t>(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteAlgo", kRouteQuickest));
    boxMaxCol = -1;
}

CRouter::~CRouter() {
    ResetRoute(0, 0, 0);
    parkedList.Clear();
    openList.Clear();
    ClearSearchMarks();
}

void CRouter::ReadVoiceOutDelay() {
    voiceDelay =
        static_cast<int32_t>(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"VoiceOutDelay", 1));
    announceCountdown = -1;
}

void CRouter::SetRouteAlgo(int method) {
    routeAlgo = method;
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteAlgo", static_cast<DWORD>(method));
}

void CRouter::SetRouteFlags(uint32_t word) {
    state = word;
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteFlags", word & kRouteFlagsMask);
}

void CRouter::ApplyAvoidMarks(MapChunk& chunk) {
    g_avoidList.ApplyMarks(&chunk);
}

// ---- Reset ------------------------------------------------------------------------

namespace {

// Every loaded chunk record of a layer's cache.
template <typename Visit>
void ForEachLoadedChunk(MapLayer& layer, Visit visit) {
    if (!layer.directory || layer.windowX0 == kNoWindow)
        return;
    for (int32_t y = 0; y < layer.cacheH; ++y) {
        for (int32_t x = 0; x < layer.cacheW; ++x) {
            MapChunk* record = layer.GetChunkRecord(x, y);
            if (record && record->IsLoaded())
                visit(*record);
        }
    }
}

}  // namespace

void ForEachRouteChunk(void (*visit)(MapChunk&, void*), void* context) {
    for (const int k : {0, 4, 3})
        ForEachLoadedChunk(g_mapDatabase.layers[k],
                           [&](MapChunk& chunk) { visit(chunk, context); });
}

void CRouter::ClearSearchMarks() {
    openList.Clear();
    parkedList.Clear();
    ForEachRouteChunk(
        [](MapChunk& chunk, void*) {
            if (chunk.searchSlots)
                chunk.FreeSearchState(true);
        },
        nullptr);
    destVirtualNode = nullptr;
    startVirtualNode = nullptr;
}

void CRouter::FreeRouteList() {
    for (int32_t i = 0; routeList && i < routeCount; ++i) {
        const RouteEntry& entry = routeList[i];
        MapNode* node = ResolveNodeRef(entry);
        if (!node)
            continue;
        MapLink* link = node->Slots()[entry.Slot()];
        if (link)
            link->shapeInfo &= static_cast<uint16_t>(~kShapeOnRoute);
    }
    g_heap.Free(routeList);
    routeList = nullptr;
    routeCount = 0;
}

void CRouter::FreeManeuvers() {
    g_heap.Free(maneuvers);
    maneuvers = nullptr;
    maneuverCount = 0;
    currentManeuver = 0;
}

void CRouter::ResetRoute(int keepSearch, int keepMarks, int onlyIfRoute) {
    announceCountdown = -1;
    if (state & kRouterChunkReloaded) {
        state &= ~kRouterChunkReloaded;
        keepSearch = 0;
        keepMarks = 0;
    }
    if (!g_mapDatabase.mapFile1.IsOpen())
        return;
    IMainView* view = g_mainView.load();
    if (view && view->GetReplayFlag() && !keepSearch)
        view->EndRouteDemo();
    if (!(state & kRouterRouteState) && onlyIfRoute)
        return;
    offRouteCount = 0;
    if (!keepSearch) {
        state &= ~kRouterMapScreenPending;
        freshResetWord = 0;
    }
    state &= 0xa3fffff0u;
    smallestDistanceSeen = FLT_MAX;
    if (!keepSearch)
        ClearSearchMarks();
    FreeRouteList();
    FreeManeuvers();
    state &= ~kRouterRouteState;
    GetRouteGuidance().ResetAnnouncements(false);
    nextManeuverDistance = 0;
    guidanceDistance2 = 0;
    guidanceWord = 0;
    guidanceWords[0] = guidanceWords[1] = 0;
    guidanceLinks[0] = guidanceLinks[1] = nullptr;
    resetWord = 0;
    if (!onlyIfRoute && startPoint.latitude >= -180.0f) {
        const FLOAT span = 2 * 0.0068528596f;
        g_mapDatabase.LoadArea(4, startPoint, span, span, 0, 0, true, false);
        g_mapDatabase.layers[3].DropAll(true);
    }
    if (!keepSearch && !keepMarks) {
        g_mapDatabase.ReleaseLayerPin(10);
        g_mapDatabase.RefreshReleasedChunks(10, false);
        boxMaxCol = -1;
    }
    if (view) {
        if (!view->IsShuttingDown())
            view->SetRouteResetFlag(TRUE);
        view->SwitchScreen(1);
    }
    g_heap.Compact();
}

int CRouter::GetLinkEndpoints(int32_t linkId, int32_t* first, int32_t* second) {
    LinkInfoRecord record;
    if (!g_linkInfo.IsOpen() || g_linkInfo.ReadRecord(linkId, record, true) != 0)
        return 1;
    if (record.ItemCount() == 0) {
        *first = -1;
        *second = -1;
        return 0;
    }
    *first = static_cast<int32_t>(record.firstItem.name);
    *second = record.firstItem.flags & 0x1FF;
    return 0;
}
