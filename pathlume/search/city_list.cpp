#include "pathlume/search/city_list.h"

#include <algorithm>
#include <map>

#include "formats/areas.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"

namespace {

namespace az = formats::areas;

struct Listed {
    CityEntry entry;
    int32_t reference = az::kNoParent;
    bool dropped = false;
};

// The display name of a record of a run of equal names; false when the record names
// one of its own name and so is left out.
bool TellApart(AreaZoneFile& areas, Listed& city) {
    if (!az::HasParentField(city.reference) || city.reference == 0)
        return true;
    const uint32_t value = static_cast<uint32_t>(city.reference);
    const bool isPlace = (value & az::kParentIsPlace) != 0;
    // A names-list name reads as a place record without a parent: a length byte and
    // its text.
    std::string other;
    int32_t ignored = 0;
    if (!areas.ReadPlace(static_cast<int32_t>(value & az::kParentValueMask), other, ignored))
        return true;
    if (other == city.entry.displayName)
        return false;
    city.entry.displayName += isPlace ? " [" + other + "]" : ", " + other;
    return true;
}

}  // namespace

std::vector<CityEntry> BuildCityList(AreaZoneFile& areas, int region) {
    std::vector<Listed> cities;
    if (region < 0 || static_cast<size_t>(region) >= areas.AreaCount())
        return {};
    const uint32_t count = areas.GetPlaceCount(static_cast<size_t>(region));
    int64_t offset = areas.GetFirstPlace(static_cast<size_t>(region));
    std::string text;
    for (uint32_t k = 0; k < count; ++k) {
        int32_t parent = az::kNoParent;
        if (offset < 0 || offset > 0x7FFFFFFF ||
            !areas.ReadPlace(static_cast<int32_t>(offset), text, parent))
            break;
        const int64_t here = offset;
        offset += static_cast<int64_t>(az::PlaceRecordSize(parent, text.size()));
        if (text.empty() || text[0] == '\0' || text.size() >= kCityNameSize)
            continue;
        cities.push_back({{k, static_cast<uint32_t>(here), text}, parent, false});
    }

    // Places come in network order, so equal names need not be neighbours: every
    // group of equal names is told apart.
    std::map<std::string, std::vector<size_t>> groups;
    for (size_t i = 0; i < cities.size(); ++i)
        groups[cities[i].entry.displayName].push_back(i);
    for (auto& [name, members] : groups) {
        if (members.size() < 2)
            continue;
        size_t kept = 0;
        for (size_t i : members) {
            cities[i].dropped = !TellApart(areas, cities[i]);
            kept += cities[i].dropped ? 0 : 1;
        }
        if (kept <= 1) {
            for (size_t i : members)
                cities[i].entry.displayName = name;
        }
    }

    std::vector<CityEntry> list;
    list.reserve(cities.size());
    for (Listed& city : cities) {
        if (!city.dropped)
            list.push_back(std::move(city.entry));
    }
    std::stable_sort(list.begin(), list.end(), [](const CityEntry& a, const CityEntry& b) {
        return CompareNoCase(a.displayName.c_str(), b.displayName.c_str(), -1) < 0;
    });
    return list;
}
