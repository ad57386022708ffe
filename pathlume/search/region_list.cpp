#include "pathlume/search/region_list.h"

#include <algorithm>

#include "formats/areas.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/street_name_list_file.h"

std::vector<RegionRow> BuildRegionList(const AreaZoneFile& areas, const StreetNameListFile* streets,
                                       int currentRegion) {
    std::vector<RegionRow> rows;
    if (!streets)
        return rows;
    const size_t count = std::min<size_t>(areas.AreaCount(), kNoRegion);
    for (size_t i = 0; i < count; ++i) {
        const auto* entry = streets->GetEntry(static_cast<uint32_t>(i));
        if (!entry || entry->count == 0)
            continue;
        const bool hidden = (areas.GetArea(i)->entry.placeWord & formats::areas::kNoPlaceUsed) != 0;
        if (hidden && static_cast<int>(i) != currentRegion)
            continue;
        char label[128];
        areas.FormatAreaName(i, label, sizeof label);
        rows.push_back({label, static_cast<uint8_t>(i)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const RegionRow& a, const RegionRow& b) {
        return CompareNoCase(a.label.c_str(), b.label.c_str(), -1) < 0;
    });
    return rows;
}
