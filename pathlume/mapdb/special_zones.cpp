#include "pathlume/mapdb/special_zones.h"

#include <cstdint>

#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_records.h"

namespace {

bool IsSpecialCode(int64_t code) {
    return code >= kSpecialZoneFirstCode && code <= kSpecialZoneLastCode;
}

}  // namespace

int IsLinkInSpecialZone(const MapLink* link) {
    // The location keeps a copy of its link's id, readable even when the pointer
    // went stale.
    int32_t linkId = 0;
    if (link)
        linkId = link->linkId;
    else if (g_vehicleLocation.link)
        linkId = g_vehicleLocation.linkId;
    else
        return 0;
    // Negative ids (no record, a dead link) name no record; -1 would read at the
    // file's current position.
    if (linkId < 0)
        return 0;
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(linkId, record, false) != 0)
        return 0;
    return IsSpecialCode(g_areaZones.GetAreaCode(record, 1, nullptr)) ? 1 : 0;
}

int HasSpecialZones() {
    for (size_t index = 0; index < g_areaZones.AreaCount(); ++index) {
        if (IsSpecialCode(g_areaZones.GetArea(index)->entry.codeNumber))
            return 1;
    }
    return 0;
}
