#include "pathlume/search/address_list.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "formats/link_info.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/afx/afx.h"

namespace {

namespace li = formats::link_info;

constexpr int kRouteLayer = 3;
constexpr int kOriginLayer = 4;
constexpr size_t kRowTextSize = kStreetTextSize + kPlaceTextSize + 16;

class RowCollector {
  public:
    RowCollector(const AddressListQuery& query, std::vector<AddressRow>& rows)
        : query_(query), rows_(rows) {}

    // A record of the street whose item `item` names it.
    void Offer(int32_t offset, const LinkInfoRecord& record, int item) {
        int side = kSideEither;
        if (MatchHouseNumberOnLink(query_.houseNumber, record, &side,
                                   query_.city > 0 ? query_.city : 0, false) != 1)
            return;
        if (query_.areaCode != -1 && side != query_.areaCode)
            return;
        if (query_.city > 0 && !record.HasPlace(query_.city))
            return;
        char street[kStreetTextSize];
        FormatHouseRange(g_linkInfo, offset, item, street, sizeof street, nullptr, false);
        char place[kPlaceTextSize];
        const int placeSide =
            side != kSideEither ? side : (record.leftPlace > 0 ? kSideLeft : kSideRight);
        g_areaZones.FormatPlaceText(record, place, sizeof place, placeSide, false);
        if (!street[0])
            return;
        char text[kRowTextSize];
        if (query_.houseNumber >= 0 && side != kSideEither)
            std::snprintf(text, sizeof text, "%d %s\n%s", query_.houseNumber, street, place);
        else
            std::snprintf(text, sizeof text, "%s\n%s", street, place);
        for (const AddressRow& row : rows_) {
            if (row.text == text)
                return;
        }
        rows_.push_back({{offset, record.cellWord, side, 0, 0}, text});
    }

  private:
    const AddressListQuery& query_;
    std::vector<AddressRow>& rows_;
};

void CollectAddresses(const AddressListQuery& query, std::vector<AddressRow>& rows) {
    const uint32_t nameId = query.first.nameOffset;
    char name[kNameBufferSize];
    if (!g_linkInfo.IsOpen() || ReadNamesBinString(nameId, name) <= 0 || !name[0])
        return;
    RowCollector collector(query, rows);
    // The letter pair's records, in the order of their first name.
    uint32_t count = 0;
    int32_t offset = g_linkInfo.FindLetterPair(name[0], name[1], &count);
    bool found = false;
    for (uint32_t k = 0; offset >= 0 && k < count; ++k) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(offset, record, true) != 0)
            break;
        NameItem skipped[li::kMaxNameItems];
        bool whole = true;
        for (int left = record.ItemCount() - 1; left > 0 && whole;) {
            const int n = std::min(left, li::kMaxNameItems);
            whole = g_linkInfo.ReadNameItems(skipped, n) == n;
            left -= n;
        }
        if (!whole)
            break;
        const int32_t here = offset;
        offset = g_linkInfo.File().Tell();
        if (record.ItemCount() < 1)
            continue;
        if (record.firstItem.name == nameId) {
            found = true;
            collector.Offer(here, record, 0);
        } else if (found || record.firstItem.name > nameId) {
            break;
        }
    }
    // The records that carry the street as a later name.
    LfoIndexFile index;
    if (index.Open(query.region, nameId, query.houseNumber) != 0)
        return;
    while (const uint32_t position = index.NextRecord()) {
        LinkInfoRecord record;
        NameItem items[li::kMaxNameItems];
        if (g_linkInfo.ReadRecord(static_cast<int32_t>(position), record, false) != 0)
            continue;
        const int itemCount = std::min(record.ItemCount(), li::kMaxNameItems);
        if (g_linkInfo.ReadNameItems(items, itemCount) != itemCount)
            continue;
        for (int i = 0; i < itemCount; ++i) {
            if (items[i].name == nameId &&
                (query.houseNumber < 0 || (items[i].flags & li::kItemHouseNumbers)))
                collector.Offer(static_cast<int32_t>(position), record, i);
        }
    }
    index.Close();
}

void CollectCrossings(CMapDatabase& database, const AddressListQuery& query,
                      std::vector<AddressRow>& rows) {
    LfoIndexFile index;
    for (CrossStreet& crossing :
         ListCrossStreets(database, index, query.region, query.first.nameOffset, query.city, true,
                          query.second->nameOffset)) {
        rows.push_back({crossing.hit, std::move(crossing.text)});
    }
}

const char* SecondLine(const std::string& text) {
    const size_t split = text.find('\n');
    return split == std::string::npos ? "" : text.c_str() + split + 1;
}

std::string HouseText(int32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", number);
    return text;
}

AddressHit LocatedHit(const AddressRow& row, const LocatedAddress& located) {
    AddressHit hit = row.hit;
    hit.lat = located.point.latitude;
    hit.lon = located.point.longitude;
    return hit;
}

}  // namespace

std::vector<AddressRow> BuildAddressRows(CMapDatabase& database, const AddressListQuery& query) {
    std::vector<AddressRow> rows;
    if (!g_linkInfo.IsOpen() || g_linkInfo.Seek(query.region) != 0)
        return rows;
    if (query.IsIntersection())
        CollectCrossings(database, query, rows);
    else
        CollectAddresses(query, rows);
    std::stable_sort(rows.begin(), rows.end(), [](const AddressRow& a, const AddressRow& b) {
        const int byPlace = CompareNoCase(SecondLine(a.text), SecondLine(b.text), -1);
        if (byPlace != 0)
            return byPlace < 0;
        return CompareNoCase(a.text.c_str(), b.text.c_str(), -1) < 0;
    });
    return rows;
}

bool LocateAddress(CMapDatabase& database, const AddressRow& row, const AddressListQuery& query,
                   int layer, LocatedAddress& out) {
    out = LocatedAddress{};
    const AddressCandidate candidate{row.hit.linkId, row.hit.cellWord, row.hit.side};
    ResolvedAddress place;
    const int32_t number = query.IsIntersection() ? -1 : query.houseNumber;
    if (ResolveAddressHit(database, candidate, number, layer, place) != 0 || !place.link)
        return false;
    out.link = place.link;
    out.segment = place.shapeIndex;
    out.point = place.point;
    if (query.IsIntersection()) {
        // The crossing: the point of the link nearest to where the streets meet.
        MapPoint nearest;
        out.segment =
            static_cast<int32_t>(place.link->NearestPoint(row.hit.lat, row.hit.lon, &nearest));
        out.point = nearest;
    }
    return true;
}

std::string StoredAddressText(const AddressRow& row, const AddressListQuery& query) {
    return query.IsIntersection() ? "\x01" + row.text : row.text;
}

bool NavigateToAddress(CMapDatabase& database, const AddressRow& row, const AddressListQuery& query,
                       IMainView* view) {
    CWaitCursor wait;
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    LocatedAddress located;
    if (!LocateAddress(database, row, query, kRouteLayer, located))
        return false;
    RouteTarget target;
    target.Clear();
    target.link = located.link;
    target.segment = static_cast<DWORD>(located.segment);
    target.lat = located.point.latitude;
    target.lon = located.point.longitude;
    if (query.houseNumber >= 0 && !query.IsIntersection())
        std::snprintf(target.shortName, sizeof target.shortName, "%d", query.houseNumber);
    target.areaCode = static_cast<DWORD>(row.hit.side);
    std::snprintf(g_destinationText, sizeof g_destinationText, "%s", row.text.c_str());
    const std::string stored = StoredAddressText(row, query);
    const std::string house = HouseText(query.houseNumber);
    if (view)
        view->AddToFavorites(LocatedHit(row, located), 1, stored.c_str(), house.c_str(), nullptr,
                             TRUE, FALSE);
    const DestPlace place = LocatedHit(row, located).ToDestPlace();
    RewriteItinerary(nullptr, &place, stored.c_str(), house.c_str(), nullptr);
    RequestRouteFromVehicle(target);
    return true;
}

bool AddAddressToFavorites(CMapDatabase& database, const AddressRow& row,
                           const AddressListQuery& query, IMainView* view) {
    LocatedAddress located;
    if (!LocateAddress(database, row, query, kRouteLayer, located))
        return false;
    if (view)
        view->AddToFavorites(LocatedHit(row, located), 0, StoredAddressText(row, query).c_str(),
                             HouseText(query.houseNumber).c_str(), nullptr, TRUE, FALSE);
    return true;
}

bool MakeAddressTheOrigin(CMapDatabase& database, const AddressRow& row,
                          const AddressListQuery& query, IMainView* view) {
    CWaitCursor wait;
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    LocatedAddress located;
    if (!LocateAddress(database, row, query, kOriginLayer, located))
        return false;
    PlaceVehicleAt(database, located.link, located.segment, located.point);
    if (view) {
        view->SetPanCentre(located.point.latitude, located.point.longitude);
        view->AddToFavorites(LocatedHit(row, located), 1, StoredAddressText(row, query).c_str(),
                             HouseText(query.houseNumber).c_str(), nullptr, TRUE, FALSE);
    }
    return true;
}
