#include "pathlume/shell/app_startup.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "pathlume/display/router_map_route.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/place_queries.h"
#include "pathlume/position/gps_info_shm.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/route/router.h"
#include "pathlume/search/dest_record_actions.h"
#include "pathlume/search/destination_screens.h"
#include "pathlume/search/favorite_name_dlg.h"
#include "pathlume/shell/almanac.h"
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/display_options.h"
#include "pathlume/shell/favorites.h"
#include "pathlume/shell/gps_info_view.h"
#include "pathlume/shell/guidance_view.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/option_dialogs.h"
#include "pathlume/shell/route_dialogs.h"
#include "pathlume/shell/route_list_view.h"
#include "pathlume/shell/speed_alert.h"
#include "pathlume/shell/volume_dialog.h"
#include "platform/afx/afx.h"

namespace {

constexpr int kDestinationLayer = 3;
constexpr int kDestinationMode = 0;

// The destination records' way to the router: the detour state, and a route to a
// stored record along the street nearest to it that holds its house number.
class DestinationRouter final : public IDestinationRouter {
  public:
    BOOL IsDetourActive() override {
        return g_router && (g_router->state & kRouterDetourActive) ? TRUE : FALSE;
    }

    int RouteTo(DestRecord& record) override {
        CWaitCursor wait;
        // The stored link first: a corner address keeps its own street. Only when the
        // link is gone or no longer holds the number is the nearest road taken.
        if (RouteToRecordLink(g_mapDatabase, record))
            return 0;
        const MapPoint position{record.lat, record.lon};
        const int32_t linkId =
            DescribePosition(kDestinationLayer, position, 0, kDestinationMode,
                             static_cast<int>(record.areaCode), record.shortName, TRUE, FALSE);
        if (linkId == kNoLinkFound) {
            const std::u16string caption = LoadResStringOr(6007, u"Warning");
            const std::u16string message = LoadResStringOr(6093, u"No Route to Destination");
            const std::u16string confirm = LoadResStringOr(6009, u"Confirm");
            const std::u16string cancel = LoadResStringOr(6010, u"Cancel");
            CMessageDlg box(GetAppMainWindow(), caption.c_str(), message.c_str(), u"",
                            confirm.c_str(), cancel.c_str(), 1);
            box.DoModal();
            return 1;
        }
        record.linkId = static_cast<DWORD>(linkId);
        WCHAR recent[MAX_PATH] = {};
        CDestList::Add(record, FormatDataFilePath(kListRecent, recent), FALSE, TRUE);
        return 0;
    }
};

DestinationRouter g_destinationRouter;
bool g_installed = false;

int NameWithKeyboard(CWnd* parent, const DestRecord& record, std::string* name) {
    const int answer = RunFavoriteNameScreen(parent, record, name);
    return answer == kNameScreenHome ? kNameEntryHome : answer;
}

uint8_t RegionOf(int region) {
    return region >= 0 && region < 255 ? static_cast<uint8_t>(region) : uint8_t{255};
}

void InstallDestinationScreens() {
    DestinationSearch search;
    search.runSearch = [](CMainView& view, int region) {
        return RunDestinationSearchScreens(&view, &view, RegionOf(region));
    };
    search.runList = [](CMainView& view, int kind) {
        return RunDestinationListScreen(&view, &view, kind);
    };
    SetDestinationSearch(std::move(search));
    SetAddressListHook([](CWnd* parent, const AddressListRequest& request) {
        return RunAddressListScreen(parent, request.nameId, request.cityPlace, request.houseNumber,
                                    request.areaIndex);
    });
    SetFavoriteNameHook(NameWithKeyboard);
}

void RemoveDestinationScreens() {
    SetDestinationSearch({});
    SetAddressListHook({});
    SetFavoriteNameHook(nullptr);
}

}  // namespace

void InstallProgramObjects() {
    if (g_installed)
        return;
    g_installed = true;
    CreateRouter();
    InstallRouterMapRoute(g_router);
    SetDestinationRouter(&g_destinationRouter);
    InstallDestinationScreens();
    g_mapMatcher.LoadSettings();
    g_gpsInfoShm.Create();
    InstallGuidance();
    OptionDialogs dialogs;
    dialogs.routeManagement = RunRouteManagementDialog;
    dialogs.detourOptions = RunDetourOptionsDialog;
    dialogs.avoidRoads = RunAvoidRoadsDialog;
    dialogs.routeOptions = RunRouteOptionsDialog;
    dialogs.displayOptions = RunDisplayOptionsDialog;
    dialogs.poiFilter = RunPoiFilterDialog;
    dialogs.guidanceVolume = RunGuidanceVolumeDialog;
    dialogs.speedAlert = RunSpeedAlertDialog;
    SetOptionDialogs(std::move(dialogs));
    SetScreenMaker(kScreenGpsInfo, MakeGpsInfoScreen);
    SetScreenMaker(kScreenGuidance, MakeGuidanceScreen);
    SetScreenMaker(kScreenRouteList, MakeRouteListScreen);
    SetScreenMaker(kScreenAlmanac, MakeAlmanacScreen);
}

void ReleaseProgramObjects() {
    if (!g_installed)
        return;
    g_installed = false;
    SetOptionDialogs({});
    // The avoid list names chunk records of the database that closes here.
    g_avoidList.Clear();
    g_mapDatabase.Close();
    UninstallGuidance();
    g_gpsInfoShm.Close();
    RemoveDestinationScreens();
    SetDestinationRouter(nullptr);
    InstallRouterMapRoute(nullptr);
    DestroyRouter();
}
