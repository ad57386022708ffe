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
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/place_queries.h"
#include "pathlume/position/gps_info_shm.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/display_options.h"
#include "pathlume/shell/option_dialogs.h"
#include "pathlume/shell/route_dialogs.h"
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

}  // namespace

void InstallProgramObjects() {
    if (g_installed)
        return;
    g_installed = true;
    CreateRouter();
    InstallRouterMapRoute(g_router);
    SetDestinationRouter(&g_destinationRouter);
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
    SetDestinationRouter(nullptr);
    InstallRouterMapRoute(nullptr);
    DestroyRouter();
}
