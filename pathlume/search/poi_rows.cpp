#include "pathlume/search/poi_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/name_text.h"

namespace poi = formats::poi;

namespace {

constexpr double kKilometresPerDegree = 111.194459407144;
constexpr double kMilesPerDegree = 69.09303381203246;
constexpr size_t kMaxRowCharacters = 255;

// Rows are at most 255 characters.
std::string Cut(std::string text) {
    if (text.size() > kMaxRowCharacters)
        text.resize(kMaxRowCharacters);
    return text;
}

const char* NameOf(const PoiResult& result) {
    return result.name ? result.name : "";
}

// How many of the first `count` results (nearest first) lie within the radius.
int WithinRadius(CPoiSearch& search, int count) {
    const float radius = CPoiSearch::Radius();
    int n = 0;
    while (n < count && search.Result(n).distance <= radius * radius)
        ++n;
    return n;
}

int Limited(int count) {
    return PoiRowsLimited() ? std::min(count, kPoiRowLimit) : count;
}

}  // namespace

bool PoiRowsLimited() {
    return (g_options2.load() & kOptions2AllPoiRows) == 0;
}

std::string FormatPoiDistance(double distance, uint32_t options) {
    char text[32];
    if (options & kOptionMetric) {
        if (distance > 0.5)
            std::snprintf(text, sizeof text, "%03.1f%s", distance, "km");
        else
            std::snprintf(text, sizeof text, "%0.0f%s", distance * 1000, "m");
    } else if (distance >= 0.2) {
        std::snprintf(text, sizeof text, "%03.1f%s", distance, "mi");
    } else if (options & kOptionYards) {
        std::snprintf(text, sizeof text, "%0.0f%s", distance * 1760, "yd");
    } else {
        std::snprintf(text, sizeof text, "%0.0f%s", distance * 5280, "ft");
    }
    return text;
}

double PoiDistanceInUnits(float squared, bool metric) {
    return std::sqrt(std::max(0.0, static_cast<double>(squared))) *
           (metric ? kKilometresPerDegree : kMilesPerDegree);
}

std::string ReadPoiPhoneDigits(const PoiLayerEntry& record) {
    PoiFileHead head;
    std::string phone;
    if (record.phone <= 0 || ReadPoiHead(g_poiFile, &head) != 0 ||
        !ReadPoiPhone(g_poiFile, head, record, &phone))
        return {};
    return phone;
}

std::string PoiSearchMessage(int code) {
    switch (code) {
        case CPoiSearch::kNothingInWindow:
            return "--No Closeby POI found--";
        case CPoiSearch::kWrongFormat:
            return "--WRONG POI FORMAT--";
        case CPoiSearch::kNoneAccepted:
            return "--No POI found--";
        default:
            return {};
    }
}

int32_t PoiHouseNumber(uint32_t addressWord) {
    if (addressWord == poi::kNoAddress)
        return -1;
    const uint32_t number = addressWord & poi::kHouseNumberMask;
    return number == poi::kHouseNumberMask ? -1 : static_cast<int32_t>(number);
}

int PoiSide(uint32_t addressWord) {
    if (addressWord == poi::kNoAddress)
        return 0;
    if (addressWord & poi::kSidePlus)
        return 1;
    return (addressWord & poi::kSideMinus) ? -1 : 0;
}

std::vector<PoiRow> BuildPoiNameRows(CPoiSearch& search) {
    std::vector<PoiRow> rows;
    int n = search.ResultCount();
    if (search.Mode() == CPoiSearch::kAroundCentre) {
        search.ComputeDistances();
        search.SortByDistance();
        n = WithinRadius(search, Limited(n));
    }
    search.SortByName(n);
    // One row per run of a name; the later places are the name's group.
    std::string last = " ";
    for (int i = 0; i < n; ++i) {
        const PoiResult& r = search.Result(i);
        if (!search.InCity(r) || last == NameOf(r))
            continue;
        last = NameOf(r);
        std::string text = last;
        if (r.address)
            text += std::string(", ") + r.address;
        rows.push_back({Cut(std::move(text)), i});
    }
    return rows;
}

std::vector<PoiRow> BuildPoiNearbyRows(CPoiSearch& search, uint32_t options) {
    std::vector<PoiRow> rows;
    const bool metric = (options & kOptionMetric) != 0;
    const double limit = metric ? 40.0 : 25.0;
    search.ComputeDistances();
    search.SortByDistance();
    const int count = Limited(search.ResultCount());
    for (int i = 0; i < count; ++i) {
        PoiResult& r = search.Result(i);
        const double distance = PoiDistanceInUnits(r.distance, metric);
        if (distance > limit)
            break;
        if (i > 0 && CompareNoCase(NameOf(search.Result(i - 1)), NameOf(r), -1) == 0)
            continue;
        // Decided: the rows show their addresses, filled as they are listed, because a
        // driver tells the places of a name apart by their streets.
        search.FillAddressTexts(&r, 1);
        std::string text =
            std::string(NameOf(r)) + " (" + FormatPoiDistance(distance, options) + ")";
        if (r.address) {
            const int32_t number = PoiHouseNumber(r.record.addressWord);
            text += ", ";
            if (number >= 0)
                text += std::to_string(number) + " ";
            text += r.address;
        }
        rows.push_back({Cut(std::move(text)), i});
    }
    return rows;
}

std::vector<PoiRow> BuildPoiChainRows(CPoiSearch& search, CPoiResultArray& group) {
    std::vector<PoiRow> rows;
    search.FillAddressTexts(group, static_cast<int>(group.size()));
    SortResultPtrsByDistance(group);
    const float radius = CPoiSearch::Radius();
    size_t kept = 0;
    const size_t most = PoiRowsLimited() ? kPoiRowLimit : group.size();
    while (kept < group.size() && kept < most && group[kept]->distance < radius * radius)
        ++kept;
    group.resize(kept);
    SortResultPtrsByCity(group);
    for (size_t i = 0; i < group.size(); ++i) {
        const PoiResult& member = *group[i];
        std::string text;
        if (!member.address) {
            text = NameOf(member);
        } else {
            // "STREET, CITY" shows as two lines: the street, then the city.
            std::string address = member.address;
            const size_t comma = address.find(',');
            if (comma != std::string::npos) {
                address[comma] = ' ';
                if (comma + 1 < address.size())
                    address[comma + 1] = '\n';
            }
            const int32_t number = PoiHouseNumber(member.record.addressWord);
            text = number >= 0 ? std::to_string(number) + " " + address : address;
        }
        rows.push_back({Cut(std::move(text)), static_cast<int>(i)});
    }
    return rows;
}
