#include "pathlume/display/poi_layer.h"

#include <algorithm>
#include <cmath>

#include "pathlume/display/map_interfaces.h"
#include "pathlume/display/map_labels.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"

namespace poi = formats::poi;

namespace {

// The first icon index of each category and how many icons it has.
constexpr int kIconBase[kPoiCategories] = {0, 5, 9, 11, 21, 22, 26, 27, 35};
constexpr int kIconCount[kPoiCategories] = {5, 4, 2, 10, 1, 4, 1, 8, 1};
constexpr UINT kIconIds[kPoiIconCount] = {2026, 2027, 2029, 2030, 2028, 2031, 2032, 2034, 2033,
                                          2035, 2036, 2015, 2016, 2017, 2018, 2019, 2020, 2021,
                                          2021, 2022, 2023, 2038, 2039, 2040, 2041, 2042, 2037,
                                          2047, 2043, 2048, 2045, 2046, 2049, 2050, 2044, 2014};

constexpr uint32_t kCityCategory = 8;
constexpr uint32_t kRestaurantCategory = 6;
constexpr DWORD kOptionPoiNames = 0x4000;
// Label keys of the points: apart from the street labels' name numbers.
constexpr uint32_t kPoiLabelKey = 0xFF000000u;
// Dialog results of the points-here list and the actions they ask for.
constexpr int kResultFavourite = 501;
constexpr int kResultOrigin = 539;
constexpr int kResultNavigate = 540;

uint32_t SelectorOf(uint32_t code) {
    const uint32_t category = code & 0xFF;
    if (category == kRestaurantCategory)
        return static_cast<uint32_t>(static_cast<int32_t>(code) >> 8);
    return code & CPoiSearch::kAllSubCategories;
}

std::string PhoneLine(const std::string& number) {
    const bool tenDigits =
        number.size() == 10 &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    // A number of another length is shown as it is, never read past its end.
    if (!tenDigits)
        return "Tel: " + number;
    return "Tel: (" + number.substr(0, 3) + ") " + number.substr(3, 3) + "-" + number.substr(6);
}

}  // namespace

int PoiIconIndex(uint32_t category, uint32_t subtype) {
    if (category >= static_cast<uint32_t>(kPoiCategories))
        return kIconBase[0];
    const int count = kIconCount[category];
    // A sub-category past the category's icons would index the next category's or
    // past the table: it takes the category's first icon.
    const int offset = subtype < static_cast<uint32_t>(count) ? static_cast<int>(subtype) : 0;
    return kIconBase[category] + offset;
}

UINT PoiIconId(uint32_t category, uint32_t subtype) {
    return kIconIds[PoiIconIndex(category, subtype)];
}

float PoiDistance(float longitude1, float latitude1, float longitude2, float latitude2) {
    const double dLon = (longitude2 - longitude1) * std::cos(latitude1 * 0.017453292519943295);
    const double dLat = latitude2 - latitude1;
    return static_cast<float>(std::sqrt(dLon * dLon + dLat * dLat) * 0.01745329238 *
                              20902143.302568);
}

int LoadPoiSelection(uint32_t* codes, int skipRegistry, int forDialog, int zoomIndex) {
    const int level = forDialog ? 0 : zoomIndex;
    int count = 0;
    if (level > 5) {
        codes[count++] = kPoiCitiesCode;
        return count;
    }
    if (!skipRegistry) {
        // A longer value is read whole and its first 9 codes taken; a length that is
        // not a multiple of 4 gives its whole codes. An empty value chooses nothing:
        // the built-in choice stands, as for none.
        std::vector<uint8_t> bytes(36);
        DWORD size = 0;
        const bool present =
            RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", nullptr, &size) == 0;
        if (present && size > bytes.size())
            bytes.resize(size);
        size = static_cast<DWORD>(bytes.size());
        if (present &&
            RegGetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", bytes.data(), &size) ==
                0 &&
            size >= 4) {
            const int stored = static_cast<int>(std::min<DWORD>(size, 36) / 4);
            for (int i = 0; i < stored; ++i) {
                uint32_t code = poi::LoadU32(bytes.data() + 4 * i);
                if (!forDialog && (level == 4 || level == 5)) {
                    const uint32_t category = code & 0xFF;
                    if (category == 1 || category == 4 || category == 6)
                        continue;
                    if (category == 0)
                        code = 0x800;
                    else if (category == 2)
                        code = 0x102;
                    else if (category == 3)
                        code = level == 4 ? 0x2AB03 : 0x2A303;
                    else if (category == 5)
                        code = 0xA05;
                    else if (category == 7)
                        code = 0x5207;
                }
                codes[count++] = code;
            }
            codes[count++] = kPoiCitiesCode;
            return count;
        }
    }
    if (level <= 3) {
        codes[count++] = 0xFFFFFF05;
        codes[count++] = 0xFFFFFF02;
    } else if (level == 4) {
        codes[count++] = 0xFFFFFF05;
        codes[count++] = 0x102;
    } else {
        codes[count++] = 0x102;
    }
    codes[count++] = 0x4207;
    codes[count++] = kPoiCitiesCode;
    return count;
}

PoiLayer::~PoiLayer() {
    DestroyIcons();
}

int PoiLayer::OpenPoiFile() {
    FreeDrawnItems();
    found_.clear();
    centreLongitude_ = centreLatitude_ = 0;
    open_ = ReadPoiHead(g_poiFile, &head_) == 0;
    return open_ ? 0 : 1;
}

void PoiLayer::FreeDrawnItems() {
    for (std::vector<PoiLayerEntry>& records : collected_) {
        records.clear();
        records.shrink_to_fit();
    }
}

size_t PoiLayer::CollectedCount() const {
    size_t total = 0;
    for (const std::vector<PoiLayerEntry>& records : collected_)
        total += records.size();
    return total;
}

int PoiLayer::CollectVisible(const uint32_t* categories, int count, const CMapView& view) {
    FreeDrawnItems();
    if (!open_ || !g_poiFile.IsOpen())
        return 1;
    const float* bounds = view.ViewBounds();
    const PoiCellWindow window = PoiCellsUnder(head_, bounds[0], -bounds[3], bounds[2], -bounds[1]);
    if (window.Empty())
        return 1;
    const int zoom = view.GetZoomIndex();
    std::vector<PoiLayerEntry> scratch;
    for (int32_t row = window.firstRow; row <= window.lastRow; ++row) {
        for (int32_t column = window.firstColumn; column <= window.lastColumn; ++column) {
            poi::CellHeader cell;
            if (ReadPoiCell(g_poiFile, head_, column, row, &cell) != 0)
                continue;
            for (int i = 0; i < count; ++i) {
                const uint32_t category = categories[i] & 0xFF;
                if (category >= static_cast<uint32_t>(kPoiCategories))
                    continue;
                const int records = cell.counts[category];
                if (records == 0 ||
                    g_poiFile.Seek(static_cast<int>(cell.offsets[category]), 0) != 0)
                    continue;
                scratch.resize(static_cast<size_t>(records));
                const int stored = CPoiSearch::ScanRecords(
                    g_poiFile, scratch.data(), category, SelectorOf(categories[i]), records, zoom);
                collected_[category].insert(collected_[category].end(), scratch.begin(),
                                            scratch.begin() + stored);
            }
        }
    }
    return 0;
}

int PoiLayer::CollectInArea(const uint32_t* categories, int count, float longitude, float latitude,
                            const CMapView& view) {
    if (CollectVisible(categories, count, view) != 0)
        return 1;
    struct Candidate {
        float distance;
        const PoiLayerEntry* record;
        uint8_t category;
    };
    std::vector<Candidate> candidates;
    candidates.reserve(CollectedCount());
    const float c = static_cast<float>(std::cos(latitude * 0.017453292519943295));
    for (int category = 0; category < kPoiCategories; ++category) {
        for (const PoiLayerEntry& record : collected_[category]) {
            const float dLat = record.latitude - latitude;
            const float dLon = (record.longitude - longitude) * c;
            // Cities come first, whatever their distance.
            const float d2 =
                category == static_cast<int>(kCityCategory) ? 0.0f : dLat * dLat + dLon * dLon;
            candidates.push_back({d2, &record, static_cast<uint8_t>(category)});
        }
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.distance < b.distance; });
    for (const Candidate& candidate : candidates) {
        if (found_.size() >= static_cast<size_t>(kFoundCapacity))
            break;
        PoiFound entry;
        entry.record = *candidate.record;
        entry.category = candidate.category;
        entry.subtype = static_cast<uint8_t>(candidate.record->SubCategory());
        found_.push_back(entry);
    }
    return 0;
}

int PoiLayer::NeedsRecollect(float longitude, float latitude) {
    if (centreLongitude_ == 0.0f && centreLatitude_ == 0.0f) {
        centreLongitude_ = longitude;
        centreLatitude_ = latitude;
        return 1;
    }
    return PoiDistance(centreLongitude_, centreLatitude_, longitude, latitude) > kRecollectFeet ? 1
                                                                                                : 0;
}

void PoiLayer::CollectNear(const uint32_t* categories, int count, float longitude, float latitude,
                           const CMapView& view) {
    found_.clear();
    centreLongitude_ = longitude;
    centreLatitude_ = latitude;
    CollectInArea(categories, count, longitude, latitude, view);
}

void PoiLayer::Forget() {
    found_.clear();
    drawn_.clear();
    FreeDrawnItems();
    centreLongitude_ = centreLatitude_ = 0;
}

bool PoiLayer::Project(const CMapView& view, const PoiLayerEntry& record, int* x, int* y) const {
    if (g_map3DMode.load() != 0)
        return view.WorldToScreen(record.longitude, record.latitude, x, y, 0, 0, nullptr,
                                  nullptr) != 0;
    view.MapToScreen2D(record.longitude, record.latitude, x, y);
    return true;
}

void PoiLayer::PlaceLabels(HDC dc, const CMapView& view, CMapLabels& labels, int topRow) {
    const float scaleY = g_screenScaleY.load();
    const int width = view.MapWidth(), height = view.MapHeight();
    const bool otherNames = (g_options.load() & kOptionPoiNames) && view.GetZoomIndex() >= 0 &&
                            view.GetZoomIndex() <= 1;
    for (size_t i = 0; i < found_.size(); ++i) {
        PoiFound& entry = found_[i];
        const uint32_t key = kPoiLabelKey | static_cast<uint32_t>(i);
        if (entry.category == kCityCategory) {
            entry.flag = 0;
            if (!open_)
                continue;
            int x = 0, y = 0;
            if (!Project(view, entry.record, &x, &y) || x < 10 || y < 10 || x > width - 10 ||
                y > height - 10)
                continue;
            std::string name;
            if (!ReadPoiName(g_poiFile, head_, entry.record, &name))
                continue;
            if (labels.AddSlot(key, 0, 0.0f) != -1)
                continue;
            const SIZE extent = CMapLabels::GetTextExtent(dc, name.c_str());
            const float bottom = static_cast<float>(y - RoundHalfAway(5 * scaleY));
            labels.SetCurrent(static_cast<float>(x), bottom - static_cast<float>(extent.cy), 0);
            entry.flag = labels.PlaceLabel(dc, name.c_str(), 0) == 0 ? 1 : 0;
            continue;
        }
        if (!otherNames || !open_)
            continue;
        std::string name;
        if (!ReadPoiName(g_poiFile, head_, entry.record, &name))
            continue;
        int x = 0, y = 0;
        if (!Project(view, entry.record, &x, &y) || y <= topRow)
            continue;
        if (labels.AddSlot(key, CMapLabels::kPoiKeyB, CMapLabels::kPoiScore) != -1)
            continue;
        labels.SetCurrent(static_cast<float>(x), static_cast<float>(y + RoundHalfAway(10 * scaleY)),
                          0);
        labels.PlaceLabel(dc, name.c_str(), 0);
    }
}

void PoiLayer::DropLabels() {
    for (PoiFound& entry : found_)
        entry.flag = 0;
}

void PoiLayer::Draw(HDC dc, const CMapView& view, int topRow) {
    drawn_.clear();
    const int zoom = view.GetZoomIndex();
    const bool flat = g_map3DMode.load() == 0;
    const int size = (g_screenScaleY.load() > 1.0f || (zoom < 0 && flat)) ? 32 : 16;
    const int reach = size == 32 ? 24 : 12;
    const int inset = size == 32 ? 8 : 4;
    const int width = view.MapWidth(), height = view.MapHeight();
    for (const PoiFound& entry : found_) {
        if (entry.category == kCityCategory && entry.flag == 0)
            continue;
        int x = 0, y = 0;
        if (!Project(view, entry.record, &x, &y))
            continue;
        if (x < -reach || x > width - inset || y < -reach || y > height - inset ||
            (topRow > 0 && y < topRow))
            continue;
        const int index = PoiIconIndex(entry.category, entry.subtype);
        if (!icons_[index])
            icons_[index] =
                static_cast<HICON>(LoadScaledImage(kIconIds[index], IMAGE_ICON, size, size, 0));
        if (icons_[index])
            DrawIconEx(dc, x - size / 2, y - size / 2, icons_[index], size, size, 0, nullptr,
                       DI_NORMAL);
        drawn_.push_back({kIconIds[index], x, y, size});
    }
    DestroyIcons();
}

void PoiLayer::DestroyIcons() {
    for (HICON& icon : icons_) {
        if (icon)
            DestroyIcon(icon);
        icon = nullptr;
    }
}

int PoiLayer::ReadPoi(PoiRecord* record, const PoiFound& entry) {
    record->entry = entry;
    record->name.clear();
    record->phone.clear();
    const bool hasName = entry.record.nameLength >= 1 &&
                         entry.record.nameLength <= poi::kMaxNameLength &&
                         entry.record.Name() >= poi::kHeadSize;
    if (hasName && !ReadPoiName(g_poiFile, head_, entry.record, &record->name))
        return 1;
    std::string number;
    if (entry.category != kCityCategory && ReadPoiPhone(g_poiFile, head_, entry.record, &number))
        record->phone = PhoneLine(number);
    return 0;
}

int PoiLayer::HitTest(const CMapView& view, IMapViewHost* host, int x, int y, int act) {
    std::vector<PoiRecord> hits;
    for (const PoiFound& entry : found_) {
        int px = 0, py = 0;
        if (!Project(view, entry.record, &px, &py))
            continue;
        // The point-in-rectangle rule: right and bottom edges are outside.
        if (x < px - 8 || x >= px + 8 || y < py - 8 || y >= py + 8)
            continue;
        if (!act)
            return 1;
        if (!open_)
            continue;
        PoiRecord record;
        if (ReadPoi(&record, entry) == 0)
            hits.push_back(std::move(record));
    }
    if (hits.empty() || !host)
        return 0;
    host->KillLongPressTimer();
    int chosen = 0;
    const int result = host->ShowPoiHereList(hits, &chosen);
    const int action = result == kResultFavourite  ? 3
                       : result == kResultOrigin   ? 1
                       : result == kResultNavigate ? 2
                                                   : 0;
    if (chosen < 0 || chosen >= static_cast<int>(hits.size()))
        chosen = 0;
    host->FormatPoiEntry(hits[chosen].entry.record, action, hits[chosen].name.c_str());
    return 1;
}
