// The slots through which the destination search and the option dialogs plug into
// the main view.
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/option_dialogs.h"
#include "platform/user/user.h"

namespace {

DestinationSearch g_search;
OptionDialogs g_dialogs;

int Run(const OptionDialogs::Dialog& slot, CWnd* parent, int empty) {
    return slot ? slot(parent) : empty;
}

}  // namespace

void SetDestinationSearch(DestinationSearch search) {
    g_search = std::move(search);
}

int RunDestinationSearch(CMainView& view, int region) {
    return g_search.runSearch ? g_search.runSearch(view, region) : kSearchClosed;
}

int RunDestinationList(CMainView& view, int kind) {
    return g_search.runList ? g_search.runList(view, kind) : IDCANCEL;
}

void SetOptionDialogs(OptionDialogs dialogs) {
    g_dialogs = std::move(dialogs);
}

const OptionDialogs& GetOptionDialogs() {
    return g_dialogs;
}

int RunRouteManagement(CWnd* parent) {
    return Run(g_dialogs.routeManagement, parent, kRouteManagementNew);
}

int RunDetourOptions(CWnd* parent, float remainingLength) {
    return g_dialogs.detourOptions ? g_dialogs.detourOptions(parent, remainingLength) : IDCANCEL;
}

int RunAvoidRoads(CWnd* parent) {
    return Run(g_dialogs.avoidRoads, parent, IDCANCEL);
}

int RunRouteOptions(CWnd* parent) {
    return Run(g_dialogs.routeOptions, parent, IDCANCEL);
}

int RunDisplayOptions(CWnd* parent) {
    return Run(g_dialogs.displayOptions, parent, IDCANCEL);
}

int RunPoiFilter(CWnd* parent) {
    return Run(g_dialogs.poiFilter, parent, IDCANCEL);
}

int RunGuidanceVolume(CWnd* parent) {
    return Run(g_dialogs.guidanceVolume, parent, IDCANCEL);
}

int RunSpeedAlert(CWnd* parent) {
    return Run(g_dialogs.speedAlert, parent, IDCANCEL);
}
