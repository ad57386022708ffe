// What the hold menu does with the held place: route to it, show its block's
// address information, keep it as a destination or favourite, or make it the
// vehicle's position. Each action first finds the held road again: a road whose chunk
// the moving window has purged or reloaded since the press does nothing.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formats/link_info.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "platform/kernel/text.h"
#include "platform/user/dialogs.h"

namespace {

namespace link_info = formats::link_info;

constexpr UINT kStringBlockInfo = 6800;
constexpr UINT kStringStreet = 6801;
constexpr UINT kStringLeftAddress = 6802;
constexpr UINT kStringRightAddress = 6803;
constexpr UINT kStringLeftCity = 6804;
constexpr UINT kStringRightCity = 6805;
constexpr UINT kStringCoordinates = 6806;
constexpr UINT kStringEven = 6807;
constexpr UINT kStringOdd = 6808;
constexpr UINT kStringNoInformation = 6809;
constexpr UINT kStringLocationInformation = 6810;

std::string Text(UINT id) {
    char buffer[kStreetWordSize];
    return LoadStringText(id, buffer, sizeof buffer);
}

// printf into a string from a string-table format.
template <typename... Args>
std::string Format(UINT id, Args... args) {
    const std::string format = Text(id);
    char buffer[kStreetTextSize];
    std::snprintf(buffer, sizeof buffer, format.c_str(), args...);
    return buffer;
}

std::string ParityWord(uint16_t parity) {
    if (parity == link_info::kParityEven)
        return Text(kStringEven);
    if (parity == link_info::kParityOdd)
        return Text(kStringOdd);
    return "";
}

}  // namespace

void IMapViewHost::ShowInformation(LPCWSTR caption, LPCWSTR text) {
    WCHAR confirm[32], cancel[32];
    LoadResString(6009, confirm, 32, FALSE);
    LoadResString(6010, cancel, 32, FALSE);
    CMessageDlg box(nullptr, caption, text, nullptr, confirm, cancel, 0);
    box.DoModal();
}

MapLink* CMapView::ReleaseHeldLink() {
    MapLink* link = ResolveTapLink(held_.handle, held_.link.linkId);
    // The press shielded the chunk record; leaving the mark would keep it for ever.
    if (held_.handle.chunk)
        held_.handle.chunk->flags &= ~kChunkPinShield;
    return link;
}

void CMapView::LoadDetailedChunks() {
    if (IsCloseZoom())
        return;
    CMapDatabase& db = g_mapDatabase;
    MapLayer& overview = db.layers[0];
    if (!overview.directory || overview.windowX0 == kNoWindow)
        return;
    overview.SetChunkFile(&db.mapFileT);
    for (int32_t r = 0; r < overview.windowH; ++r) {
        for (int32_t c = 0; c < overview.windowW; ++c) {
            MapChunk* record = overview.GetChunkRecord(c, r);
            // The held road's own chunk stays as the press found it.
            if (!record || !record->IsLoaded() || record == held_.handle.chunk ||
                !(record->flags & kChunkReloadedByWalk))
                continue;
            // Pins and shield carry over; the walk's mark goes with the old chunk.
            db.ReloadOverviewChunk(c, r, &db.mapFileT, &db.mapFile1);
        }
    }
    overview.SetChunkFile(&db.mapFile1);
}

int CMapView::RouteToHeldPoint() {
    LoadDetailedChunks();
    IMapRoute& route = GetMapRoute();
    route.SetAvoidMarks(0);
    route.ResetRoute();
    MapLink* link = ReleaseHeldLink();
    MapLink* start = g_vehicleLocation.GetLink(true);
    if (!link || !start || g_vehicleLocation.cosLat == 0)
        return 0;
    HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    RouteTarget target;
    target.Clear();
    target.link = link;
    target.segment = static_cast<DWORD>(held_.segment);
    target.lat = held_.foot.latitude;
    target.lon = held_.foot.longitude;
    if (held_.addressNumber >= 1)
        std::snprintf(target.shortName, sizeof target.shortName, "%d", held_.addressNumber);
    target.areaCode = static_cast<DWORD>(held_.side);
    SetCursor(previous);
    FormatPointInfo(1);
    FormatPointInfo(2);
    const MapPoint from{g_vehicleLocation.lat,
                        g_vehicleLocation.scaledLon / g_vehicleLocation.cosLat};
    route.CalculateRoute(start, g_vehicleLocation.segment, from, target);
    if (!IsCloseZoom())
        zoomInRequest_ = 1;
    if (host_)
        host_->Refresh();
    return 1;
}

int CMapView::FormatPointInfo(int kind) {
    MapLink* link = ResolveTapLink(held_.handle, held_.link.linkId);
    LinkInfoRecord record;
    if (!link || g_linkInfo.ReadRecord(link->linkId, record, false) != 0)
        return 1;
    char street[kStreetWordSize];
    GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, 0, street, sizeof street, false);
    char place[kPlaceTextSize];
    g_areaZones.FormatPlaceText(record, place, sizeof place, held_.side > 0 ? 1 : -1, true);
    // Two lines: the destination lists split them at the line feed.
    char house[16] = "";
    char text[kStreetTextSize];
    if (held_.addressNumber >= 1) {
        std::snprintf(house, sizeof house, "%d", held_.addressNumber);
        std::snprintf(text, sizeof text, "%d %s\n%s", held_.addressNumber, street, place);
    } else {
        std::snprintf(text, sizeof text, "%s\n%s", street, place);
    }
    const AddressHit hit{link->linkId, record.cellWord, held_.side, held_.foot.latitude,
                         held_.foot.longitude};
    if (kind == 2) {
        const DestPlace destination = hit.ToDestPlace();
        return RewriteItinerary(nullptr, &destination, text, house, nullptr) == 0 ? 0 : 1;
    }
    if (!host_)
        return 1;
    return host_->AddToFavorites(hit, kind, text, house, nullptr, FALSE, FALSE) == 0 ? 0 : 1;
}

void CMapView::FormatBlockInfo(std::string* target) {
    if (!IsCloseZoom())
        zoomInRequest_ = 1;
    MapLink* link = ReleaseHeldLink();
    LinkInfoRecord record;
    std::string text;
    if (!link || g_linkInfo.ReadRecord(link->linkId, record, false) != 0) {
        text = std::string(held_.streetName) + "\r\n" + Text(kStringNoInformation);
    } else {
        char street[kStreetWordSize];
        GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, 0, street, sizeof street,
                          false);
        text = Text(kStringBlockInfo) + Format(kStringStreet, street);
        const uint16_t word = record.addressWord;
        if (link_info::LeftKind(word) == link_info::kLeftRangeKind && record.left.from >= 0)
            text += Format(
                kStringLeftAddress, record.left.from, record.left.to,
                ParityWord((word >> link_info::kLeftParityShift) & link_info::kParityMask).c_str());
        if (link_info::RightKind(word) == link_info::kRightRangeKind && record.right.from >= 0)
            text +=
                Format(kStringRightAddress, record.right.from, record.right.to,
                       ParityWord((word >> link_info::kRightParityShift) & link_info::kParityMask)
                           .c_str());
        char place[kPlaceTextSize];
        if (g_areaZones.FormatPlaceText(record, place, sizeof place, 1, true)[0])
            text += Text(kStringLeftCity) + place + "\r\n";
        if (g_areaZones.FormatPlaceText(record, place, sizeof place, -1, true)[0])
            text += Text(kStringRightCity) + place + "\r\n";
        const float lat = held_.foot.latitude, lon = held_.foot.longitude;
        text += Format(kStringCoordinates, std::fabs(lat), lat < 0 ? "S" : "N", std::fabs(lon),
                       lon < 0 ? "W" : "E");
    }
    if (target) {
        *target = text;
        return;
    }
    if (host_) {
        const std::u16string caption = platform::AnsiToWide(Text(kStringLocationInformation));
        const std::u16string wide = platform::AnsiToWide(text);
        host_->ShowInformation(reinterpret_cast<LPCWSTR>(caption.c_str()),
                               reinterpret_cast<LPCWSTR>(wide.c_str()));
    }
}

int CMapView::SetLocationAsPoint() {
    if (!IsCloseZoom())
        zoomInRequest_ = 1;
    LoadDetailedChunks();
    IMapRoute& route = GetMapRoute();
    route.SetAvoidMarks(0);
    route.ResetRoute();
    MapLink* link = ReleaseHeldLink();
    if (!link)
        return 0;
    if (host_ && !host_->IsPanMode())
        host_->SetPanMode(TRUE);
    PlaceVehicleAt(g_mapDatabase, link, held_.segment, held_.foot);
    if (host_)
        host_->SetPanCentre(held_.foot.latitude, held_.foot.longitude);
    FormatPointInfo(1);
    return 1;
}
