// Enter Destination: the frame of the destination flow (the GPS held, the modal
// count, the current region, the route management's answers and the end of the
// flow) around the destination search; and Save Current Location.
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/option_dialogs.h"
#include "pathlume/shell/search_region.h"

namespace {

// The first region whose street-name list holds streets; kNoRegion when none does.
int FirstRegionWithStreets() {
    StreetNameListFile list;
    if (!list.Open())
        return CMapView::kNoRegion;
    int region = CMapView::kNoRegion;
    for (uint32_t i = 0; i < list.Count() && i < CMapView::kNoRegion; ++i) {
        const formats::name_index::StreetEntry* entry = list.GetEntry(i);
        if (entry && entry->count > 0) {
            region = static_cast<int>(i);
            break;
        }
    }
    list.Close();
    return region;
}

// After each screen of the flow: true when Home ended it (the flag is cleared).
bool HomePressed() {
    return g_homeKeyPressed.exchange(0) != 0;
}

}  // namespace

int SearchRegionOr(int region) {
    return region != CMapView::kNoRegion ? region : FirstRegionWithStreets();
}

int CurrentSearchRegion(CMapView& view) {
    if (const MapLink* link = g_vehicleLocation.GetLink(true))
        return SearchRegionOr(CMapView::RegionOfLink(link->linkId));
    return SearchRegionOr(view.FindNearestRoadRegion(g_vehicleLocation.position.longitude,
                                                     g_vehicleLocation.position.latitude));
}

int CMainView::EnterDestination() {
    // A flag left from before (a route search sets it, the next frame clears it) is
    // not the driver's Home in this flow.
    g_homeKeyPressed.store(0);
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (receiver)
        receiver->SetPaused(0);
    BeginModalScreen();
    const auto resume = [&] {
        EndModalScreen(FALSE);
        if (receiver)
            receiver->SetPaused(1);
    };
    // The end of every path that does not leave earlier: a stopover begun without a
    // new route ends with the flow.
    const auto finish = [&](int result) {
        CRouter* router = g_router;
        if (router && !panMode.load() && (router->state & kRouterDetourActive) &&
            !(router->state & kRouterRouteState))
            router->SetDetour(0);
        resume();
        return result;
    };

    const int region = CurrentSearchRegion(mapView);
    if (region != CMapView::kNoRegion)
        g_linkInfo.Seek(static_cast<uint32_t>(region));

    CRouter* router = g_router;
    if (router && (router->state & kRouterRouteState) && !(router->state & kRouterArrived)) {
        // The router keeps a second destination only while a detour holds one.
        const RouteTarget& final = router->finalDestination;
        if ((router->state & kRouterDetourActive) && (final.lat != 0 || final.lon != 0))
            router->SetDetourBit(
                router->request.lat == final.lat && router->request.lon == final.lon ? 1 : 0);
        const int answer = RunRouteManagement(this);
        if (HomePressed())
            return finish(answer);
        switch (answer) {
            case kRouteManagementDetour:
                RunDetourOptions(this, router->remainingLength);
                HomePressed();
                return finish(answer);
            case kRouteManagementAvoidRoad:
                RunAvoidRoads(this);
                HomePressed();
                return finish(answer);
            case kRouteManagementStopover:
                router->SetDetour(1);
                router->ResetRoute(0, 0, 0);
                break;
            case kRouteManagementClearDest:
                EndRouteDemo();
                if (!(router->state & kRouterDetourActive)) {
                    router->SetAvoidMarks(0);
                    router->ResetRoute(0, 0, 0);
                } else {
                    router->SetDetour(0);
                }
                return finish(answer);
            case kRouteManagementNew:
                router->SetAvoidMarks(0);
                router->ResetRoute(0, 0, 0);
                break;
            case kRouteManagementShowDestination:
                SwitchScreen(kScreenMap);
                SetPanMode(TRUE);
                SetPanCentre(router->destPoint.latitude, router->destPoint.longitude);
                resume();
                return IDCANCEL;
            case IDCANCEL:
                resume();
                return kSearchClosed;
            case kRouteManagementDemo:
                // The screen's Demo (or Stop Demo) button starts or ends the demonstration.
                OnDemoRoute();
                return finish(answer);
            default:
                break;
        }
    }
    ReleaseHeapBuffer();
    const int result = RunDestinationSearch(*this, region);
    HomePressed();
    return finish(result);
}

void CMainView::OnSaveLocation() {
    AddressHit hit{};
    char line[kStreetTextSize] = {};
    char number[16] = {};
    if (FormatAddressText(&hit, line, sizeof line, number, sizeof number, true) != 0)
        return;
    AddToFavorites(hit, kListFavorites, line, number, nullptr, TRUE, FALSE);
}
