// The route search's call: the region refusal, the busy counts, the tries and the
// restart, the messages, the maneuver list and what guidance is told afterwards.
#include <atomic>
#include <cfloat>
#include <chrono>
#include <new>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/special_zones.h"
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

constexpr uint32_t kMainViewTimerSearch = 6;

// Region refusal: a route may not leave or enter one of the boxes.
bool InBoxA(const MapPoint& p) {
    return p.latitude > 18.5f && p.latitude < 24.0f && p.longitude > -161.0f &&
           p.longitude < -145.0f;
}
bool InBoxB(const MapPoint& p) {
    return p.latitude > 17.25f && p.latitude < 19.0f && p.longitude > -68.0f &&
           p.longitude < -64.25f;
}
bool North(const MapPoint& p) {
    return p.latitude >= 51.0f;
}

// The search switched the GPS watchdog off; it comes back as if data had come 2 s ago.
void RestoreLastDataTime(IMainView* view) {
    if (!view)
        return;
    const DWORD tick = GetTickCount() - 2000;
    view->SetLastDataTime(tick != 0 ? tick : GetTickCount());
}

}  // namespace

// ---- Shared with the rest of the router ------------------------------------------

void ShowRouteMessage(UINT textId, LPCWSTR fallback) {
    const std::u16string caption = LoadResStringOr(6007, u"Warning");
    const std::u16string text = LoadResStringOr(textId, fallback);
    IMainView* view = g_mainView.load();
    MessageBoxW(view ? view->GetViewWindow() : nullptr, text.c_str(), caption.c_str(),
                MB_OK | MB_ICONWARNING);
}

bool NodeChunkOf(const MapNode* node, MapChunk** chunkOut, uint32_t* indexOut) {
    MapChunk* chunk = g_mapDatabase.RouteChunkOf(node, nullptr, nullptr, nullptr);
    if (!chunk)
        return false;
    *chunkOut = chunk;
    *indexOut = static_cast<uint32_t>(chunk->GetNodeIndex(node));
    return true;
}

namespace {

// Raised while a search runs: the main view drops position messages meanwhile.
std::atomic<LONG> g_routeBusy{0};

}  // namespace

// The maneuver list under the search's out-of-memory guard: nonzero when memory ran out.
int CRouter::BuildManeuverListQuietly() {
    const auto start = std::chrono::steady_clock::now();
    int result = 1;
    ++g_oomQuietDepth;
    try {
        result = BuildManeuverList();
    } catch (CMemoryException* e) {
        e->Delete();
        result = 1;
    }
    --g_oomQuietDepth;
    g_outOfMemory = 0;
    lastSearch.maneuverSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// The wait-for-GPS prompt of a new route without a fix, and the new-route mark.
void CRouter::AfterRouteFound(bool fresh) {
    IPositioningServices& gps = GetPositioningServices();
    if (!gps.IsFixValid() && gps.GetSatellitesUsed() < 3 && currentManeuver == 0 &&
        !(state & kRouterWaitPromptGiven) && gps.GetSpeed(0) <= 2.0f && fresh) {
        state |= kRouterWaitPromptGiven;
        if (!(g_options.load() & kOptionVoiceMuted))
            GetRouteGuidance().SpeakWord(kPromptWait4Gps);
    }
    newRouteMark = 1;
}

int CRouter::CalculateRoute(MapLink* startLink, uint32_t startSegmentIndex, const MapPoint& start,
                            const RouteTarget& target, int recalculation, int noGuidance) {
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    speedTable = metric ? kSpeedTableMetric : kSpeedTableImperial;
    heuristicFactor = metric ? heuristicMetric : heuristicImperial;
    transitionPenalty = (routeAlgo == kRouteQuickest || routeAlgo == kRouteLocalRoads)
                            ? heuristicFactor
                            : std::bit_cast<FLOAT>(0x3d10daadu);
    request = target;
    return SearchRoute(startLink, startSegmentIndex, start, target.link, target.segment,
                       MapPoint{target.lat, target.lon}, recalculation, noGuidance);
}

int CRouter::SearchRoute(MapLink* startLinkIn, uint32_t startSegmentIn, const MapPoint& startIn,
                         MapLink* destLinkIn, uint32_t destSegmentIn, const MapPoint& destIn,
                         int recalculation, int noGuidance) {
    if (!speedTable) {
        speedTable = (g_options.load() & kOptionMetric) ? kSpeedTableMetric : kSpeedTableImperial;
        heuristicFactor = speedTable == kSpeedTableMetric ? heuristicMetric : heuristicImperial;
    }
    announceCountdown = -1;
    if (recalculation)
        state |= kRouterRecalcRunning;
    else
        state &= ~kRouterRecalcRunning;
    g_homeKeyPressed = 1;

    // Region refusal.
    if (InBoxA(startIn) != InBoxA(destIn) || InBoxB(startIn) != InBoxB(destIn) ||
        (North(startIn) != North(destIn) && !HasSpecialZones())) {
        ShowRouteMessage(6093, u"No Route to Destination");
        return 0;
    }
    g_heap.Compact();
    IMainView* view = g_mainView.load();
    if (!recalculation && !IsRoutable(destLinkIn)) {
        if (view)
            SetTimer(view->GetViewWindow(), kMainViewTimerSearch, 10000, nullptr);
        state |= kRouterTimer6Running;
    } else {
        state &= ~kRouterTimer6Running;
    }

    RouteSearch search(*this);
    search.startLink = startLinkIn;
    search.startSegment = startSegmentIn;
    search.startPoint = startIn;
    search.destLink = destLinkIn;
    search.destSegment = destSegmentIn;
    search.destPoint = destIn;
    search.heuristic = IsRoutable(startLinkIn) && IsRoutable(destLinkIn);
    if (search.heuristic) {
        switch (routeAlgo) {
            case kRouteLocalRoads:
                search.factor = speedTable[4] * 2.0f;
                break;
            case kRouteQuickest:
                search.factor = speedTable[0] * 1.2f;
                break;
            default:
                search.factor = 1.2f;
                break;
        }
    }
    search.fresh = !recalculation || !search.heuristic || (state & kRouterChunkReloaded);
    search.beganAsRecalc = recalculation != 0;
    state &= ~kRouterChunkReloaded;
    lastSearch = {};
    lastSearch.fresh = search.fresh;
    const auto callStart = std::chrono::steady_clock::now();

    if (view) {
        view->SetLastDataTime(0xFFFFFFFF);
        view->SwitchScreen(1);
    }
    state &= ~kRouterMapScreenPending;
    ++busyCount;
    ++g_routeBusy;
    const TravelDirection travel = GetPositioningServices().UpdateTravelDirection();
    const MapLink* matched = g_vehicleLocation.GetLink(false);
    if (search.fresh &&
        (!matched || ((matched->attributes & kAttrClassMask) == 0x140 && travel == kTravelUnknown)))
        search.eitherDirection = true;
    if (search.fresh && view)
        view->ResetSpeedFilter();
    if (view)
        view->ReleaseHeapBuffer();

    ++g_oomQuietDepth;
    bool found = false;
    try {
        const int resolved = search.fresh ? g_mapDatabase.ResolveLinkAcrossLayers(
                                                destIn, search.destLink, kRouteRadiusDegrees)
                                          : 0;
        if (resolved == 2)
            throw OutOfMemory{};
        if (resolved != 0) {
            // Ends silently, but gives the GPS watchdog back its last-data time.
            --g_oomQuietDepth;
            --g_routeBusy;
            RestoreLastDataTime(view);
            --busyCount;
            return 0;
        }
        g_avoidList.ApplyMarks(nullptr);
        for (;;) {
            found = search.Try();
            ++lastSearch.tries;
            search.Cleanup();
            if (found || search.sameLink || search.missingEnd || search.loadFailed)
                break;
            if (search.keptListLost) {
                // Not a restart: the kept search is gone, the same call goes on fresh.
                search.keptListLost = false;
                search.fresh = true;
                ResetRoute(0, 0, 1);
                continue;
            }
            if (search.restart)
                break;
            // One more try: a fresh call once more, a recalculation from the matched
            // position as a fresh search.
            search.restart = true;
            if (search.beganAsRecalc) {
                if (MapLink* link = g_vehicleLocation.GetLink(false)) {
                    search.startLink = link;
                    search.startSegment = g_vehicleLocation.segment;
                    search.startPoint = g_vehicleLocation.position;
                }
                search.recalcRestart = true;
            }
            search.fresh = true;
            state |= kRouterRouteState;
            ResetRoute(0, 1, 1);
        }
    } catch (OutOfMemory&) {
        search.outOfMemory = true;
    } catch (const std::bad_alloc&) {
        // The open list's heap comes from the ordinary allocator.
        search.outOfMemory = true;
    } catch (CMemoryException* e) {
        e->Delete();
        search.outOfMemory = true;
    }
    search.Cleanup();
    --g_oomQuietDepth;
    if (g_outOfMemory.load())
        search.outOfMemory = true;
    g_outOfMemory = 0;
    lastSearch.outOfMemory = search.outOfMemory;
    lastSearch.arrived = search.sameLink;

    // Same link, or an end missing: no route and nothing to say (steps 36 to 40 are
    // left out).
    const bool noRoute = search.sameLink || search.missingEnd;
    bool success = false;
    if (!noRoute) {
        GetPositioningServices().SnapWithTimeout(2000, 0);
        success = found && !search.outOfMemory;
        if (success) {
            state &= ~kRouterGuidancePending;
            if (BuildManeuverListQuietly() != 0) {
                search.outOfMemory = true;
                success = false;
            } else {
                state |= kRouterRouteState;
            }
        }
        if (!success) {
            if (view)
                view->LayoutWindow(0);
            if (!search.outOfMemory && !search.loadFailed)
                ShowRouteMessage(6093, u"No Route to Destination");
        }
        if (!noGuidance)
            GetRouteGuidance().UpdateGuidance(*this, 1);
        if (success)
            AfterRouteFound(search.fresh);
        if (view) {
            IPositioningServices& gps = GetPositioningServices();
            if (gps.IsInputSuspended() || gps.GetQueueCount() == 0)
                PostMessageW(view->GetViewWindow(), WM_USER, kViewRefresh, kRouteSearchRefresh);
            view->IsRouteListActive();
        }
    }
    searchStartLink = nullptr;
    searchDestLink = nullptr;
    if (!success) {
        state |= kRouterRouteState;
        ResetRoute(0, 0, 0);
        if (search.sameLink) {
            if (!(g_options.load() & kOptionVoiceMuted))
                GetRouteGuidance().SpeakWord(kPromptDest);
            SetDetour(0);
        } else if (search.outOfMemory) {
            if (view)
                view->LayoutWindow(0);
            ShowRouteMessage(6219,
                             u"Insufficient memory to calculate route.  You may need to restart "
                             u"the program to recover allocated memory.");
        }
    }
    --g_routeBusy;
    RestoreLastDataTime(view);
    --busyCount;
    g_heap.Compact();
    lastSearch.totalSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - callStart).count();
    return 0;
}
