#include "pathlume/shell/test_destination.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"

namespace {

constexpr double kSnapRadiusMetres = 1000.0;
constexpr UINT kNoRouteMessage = 6093;
// The link reference's bit for a link of the detailed layer.
constexpr DWORD kDetailedLayerRef = 0x80000000u;

bool ParseDegrees(const char* text, char** end, double limit, double* value) {
    errno = 0;
    *value = std::strtod(text, end);
    return *end != text && errno == 0 && std::isfinite(*value) && std::fabs(*value) <= limit;
}

void SayNoRoute() {
    const std::u16string caption = LoadResStringOr(6007, u"Warning");
    const std::u16string message = LoadResStringOr(kNoRouteMessage, u"No Route to Destination");
    const std::u16string confirm = LoadResStringOr(6009, u"Confirm");
    CMessageDlg box(GetAppMainWindow(), caption.c_str(), message.c_str(), u"", confirm.c_str(), u"",
                    1);
    box.DoModal();
}

void RouteToTestDestination(const MapPoint& destination) {
    const LinkSnap snap = SnapToNearestLink(g_mapDatabase, destination, kSnapRadiusMetres);
    if (!snap.Found()) {
        SayNoRoute();
        return;
    }
    // The snapped link lives only until the next load: keep what the record needs
    // before the route reset may load.
    const DWORD linkId = static_cast<DWORD>(snap.link->linkId);
    const DWORD linkRef = snap.layer == kSnapDetailedLayer ? kDetailedLayerRef : 0;
    const MapPoint point = snap.point;
    if (g_router) {
        g_router->SetAvoidMarks(0);
        g_router->ResetRoute();
    }
    // The record's title: the position asked for.
    char place[48];
    std::snprintf(place, sizeof place, "%.6f, %.6f", destination.latitude, destination.longitude);
    DestRecord* record = new DestRecord;
    if (!record)
        return;
    if (record->Set(point.latitude, point.longitude, linkId, linkRef, 0, "", place, nullptr,
                    nullptr))
        record->RouteTo();
    delete record;
}

}  // namespace

std::optional<MapPoint> ReadTestDestination(std::string* problem) {
    const char* text = std::getenv("PATHLUME_DESTINATION");
    if (!text)
        return std::nullopt;
    char* end = nullptr;
    double lat = 0;
    double lon = 0;
    if (!ParseDegrees(text, &end, 90.0, &lat) || *end != ',' ||
        !ParseDegrees(end + 1, &end, 180.0, &lon) || *end != '\0') {
        if (problem)
            *problem =
                std::string("PATHLUME_DESTINATION: not a position LAT,LON in degrees: ") + text;
        return std::nullopt;
    }
    return MapPoint{static_cast<FLOAT>(lat), static_cast<FLOAT>(lon)};
}

namespace {

// Read once: the control routes once per start.
enum { kUnread, kWaiting, kDone } g_testDestinationState = kUnread;
MapPoint g_testDestination;

}  // namespace

void ResetTestDestination() {
    g_testDestinationState = kUnread;
}

void TestDestinationTick() {
    auto& state = g_testDestinationState;
    MapPoint& destination = g_testDestination;
    if (state == kDone)
        return;
    if (state == kUnread) {
        const std::optional<MapPoint> read = ReadTestDestination(nullptr);
        state = read ? kWaiting : kDone;
        if (!read)
            return;
        destination = *read;
    }
    if (!g_vehicleLocation.GetLink(true))
        return;
    state = kDone;
    RouteToTestDestination(destination);
}
