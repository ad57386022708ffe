// The point-of-interest search over "poi.bin": the cells around the centre or of a
// region, the records of one category in them, their names read in file order, the
// distances, sorts, address texts and duplicate groups; and the actions on a point
// picked on the map.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/place_queries.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/mapdb/street_texts.h"

namespace poi = formats::poi;

namespace {

constexpr UINT kMsgNoName = 6205;
constexpr float kDegreesToRadians = 0.017453292f;
// The layers the map actions load: 3 to route to a point, 4 to start from it.
constexpr int kRouteLayer = 3;
constexpr int kOriginLayer = 4;

// The cosine of a latitude as the search takes it: of the single-precision product.
float CosOfLatitude(float latitude) {
    return static_cast<float>(std::cos(static_cast<double>(latitude * kDegreesToRadians)));
}

// The side of the road the address word names: +1, -1, or 0 (none or no address).
int SideOf(uint32_t addressWord) {
    if (addressWord == poi::kNoAddress)
        return 0;
    if (addressWord & poi::kSidePlus)
        return 1;
    if (addressWord & poi::kSideMinus)
        return -1;
    return 0;
}

bool HasPlace(const PoiLayerEntry& record, uint32_t place) {
    const int32_t p = static_cast<int32_t>(place);
    return record.place == p || record.secondPlace == p || record.thirdPlace == p;
}

bool PlaceIn(int32_t place, uint32_t first, uint32_t end) {
    return place >= 0 && static_cast<uint32_t>(place) >= first &&
           static_cast<uint32_t>(place) < end;
}

const char* NameOrEmpty(const PoiResult& result) {
    return result.name ? result.name : "";
}

// The address text from its first comma on; empty without one.
const char* CityPart(const PoiResult& result) {
    if (!result.address)
        return "";
    const char* comma = std::strchr(result.address, ',');
    return comma ? comma : "";
}

char* CopyToBlock(const std::string& text) {
    auto* block = static_cast<char*>(mapdb::TryAlloc(text.size() + 1));
    if (block)
        std::memcpy(block, text.c_str(), text.size() + 1);
    return block;
}

// The address text of a result: "STREET, CITY", "STREET", or empty when the road's
// record cannot be read (the result keeps what it had).
bool ComposeAddress(const PoiResult& result, std::string* text) {
    const uint32_t reference = result.record.LinkRecord();
    LinkInfoRecord record;
    if (reference == 0 || g_linkInfo.ReadRecord(static_cast<int32_t>(reference), record, true) != 0)
        return false;
    const int side = SideOf(result.record.addressWord);
    char city[kPlaceTextSize] = "";
    g_areaZones.FormatPlaceText(record, city, sizeof city, side, false);
    char street[kStreetTextSize] = "";
    if (record.ItemCount() == 0)
        LoadStringText(kMsgNoName, street, sizeof street);
    else
        FormatHouseRange(g_linkInfo, static_cast<int32_t>(reference), 0, street, sizeof street,
                         nullptr, false);
    *text = street;
    if (city[0]) {
        *text += ", ";
        *text += city;
    }
    return true;
}

}  // namespace

float CPoiSearch::Radius() {
    return (g_options.load() & kOptionMetric) ? kRadiusMetric : kRadiusImperial;
}

CPoiSearch::CPoiSearch(int32_t categoryValue, uint32_t mode, uint32_t cityNumber,
                       uint8_t regionIndex)
    : regionIndex_(regionIndex),
      category_(static_cast<uint32_t>(categoryValue) & 0xFF),
      mode_(mode),
      cityNumber_(cityNumber) {
    if (category_ == kRestaurants) {
        selector_ = static_cast<uint32_t>(categoryValue >> 8);
    } else {
        const uint32_t sub = (static_cast<uint32_t>(categoryValue) >> 8) & 0xFF;
        selector_ = sub == 0xFF                         ? kAllSubCategories
                    : sub < poi::kMaskableSubCategories ? 1u << (sub + 8)
                                                        : 0;
    }
    // A matched position keeps its longitude scaled by the cosine; without one the
    // plain position is all there is.
    if (g_vehicleLocation.cosLat != 0) {
        centreLongitude_ = g_vehicleLocation.scaledLon / g_vehicleLocation.cosLat;
        centreLatitude_ = g_vehicleLocation.lat;
    } else {
        centreLongitude_ = g_vehicleLocation.position.longitude;
        centreLatitude_ = g_vehicleLocation.position.latitude;
    }
}

CPoiSearch::~CPoiSearch() {
    FreeResults();
}

void CPoiSearch::FreeResults() {
    for (int i = 0; i < resultCount_; ++i)
        mapdb::FreeBlock(results_[i].address);
    mapdb::FreeBlock(results_);
    mapdb::FreeBlock(names_);
    results_ = nullptr;
    names_ = nullptr;
    resultCount_ = 0;
    for (CPoiResultArray* group : groups_)
        delete group;
    groups_.clear();
    for (std::string* name : keptNames_)
        delete name;
    keptNames_.clear();
}

int CPoiSearch::Search() {
    return Search(g_poiFile);
}

std::vector<uint32_t> CPoiSearch::BuildCellWindow(CDataFile& file) const {
    std::vector<uint32_t> cells;
    const uint64_t cellCount =
        uint64_t{static_cast<uint32_t>(head_.Columns())} * static_cast<uint32_t>(head_.Rows());
    if (mode_ == kInRegion) {
        uint8_t entry[poi::kAreaEntrySize];
        const uint64_t at =
            head_.cellTableOffset + 4 * cellCount + uint64_t{poi::kAreaEntrySize} * regionIndex_;
        if (!ReadPoiBytes(file, at, entry, sizeof entry))
            return cells;
        const uint32_t listAt = poi::LoadU32(entry);
        const uint32_t runs = poi::LoadU32(entry + 4);
        // A run count the file cannot hold reads nothing.
        if (runs == 0 || uint64_t{listAt} + uint64_t{runs} * poi::kRunSize > head_.fileSize)
            return cells;
        std::vector<uint8_t> bytes(size_t{runs} * poi::kRunSize);
        if (!ReadPoiBytes(file, listAt, bytes.data(), static_cast<int>(bytes.size())))
            return cells;
        for (uint32_t i = 0; i < runs; ++i) {
            const uint32_t first = poi::LoadU32(&bytes[i * poi::kRunSize]);
            const uint16_t length = poi::LoadU16(&bytes[i * poi::kRunSize + 4]);
            // A run beyond the cell table reads nothing; runs that together name more
            // cells than the grid has overlap, and the rest of the list is not read.
            if (uint64_t{first} + length > cellCount)
                continue;
            if (cells.size() + length > cellCount)
                break;
            for (uint32_t c = 0; c < length; ++c)
                cells.push_back(first + c);
        }
        return cells;
    }
    const float radius = Radius();
    const float halfWidth = radius / CosOfLatitude(centreLatitude_);
    const PoiCellWindow window =
        PoiCellsUnder(head_, centreLongitude_ - halfWidth, centreLatitude_ - radius,
                      centreLongitude_ + halfWidth, centreLatitude_ + radius);
    if (window.Empty())
        return cells;
    cells.reserve(static_cast<size_t>(window.CellCount()));
    for (int32_t row = window.firstRow; row <= window.lastRow; ++row) {
        const uint32_t start = static_cast<uint32_t>(row) * static_cast<uint32_t>(head_.Columns());
        for (int32_t column = window.firstColumn; column <= window.lastColumn; ++column)
            cells.push_back(start + static_cast<uint32_t>(column));
    }
    return cells;
}

int CPoiSearch::Search(CDataFile& file) {
    if (category_ >= static_cast<uint32_t>(poi::kCategoryCount))
        return kBadCategory;
    if (!file.IsOpen() || file.Seek(0, 0) != 0)
        return kNoFile;
    if (ReadPoiHead(file, &head_) != 0)
        return kWrongFormat;
    FreeResults();
    regionFirstPlace_ = regionEndPlace_ = 0;
    if (!g_areaZones.GetPlaceRange(regionIndex_, &regionFirstPlace_, &regionEndPlace_))
        regionFirstPlace_ = regionEndPlace_ = 0;

    struct CellRecords {
        uint32_t offset;
        uint32_t count;
    };
    std::vector<CellRecords> cells;
    uint64_t total = 0;
    for (uint32_t number : BuildCellWindow(file)) {
        poi::CellHeader cell;
        if (ReadPoiCellDirectory(file, head_, number, &cell) != 0)
            continue;
        const uint32_t count = cell.counts[category_];
        const uint32_t offset = cell.offsets[category_];
        // A count whose records the file cannot hold reads nothing.
        if (count == 0 || offset < poi::kHeadSize ||
            uint64_t{offset} + uint64_t{count} * poi::kRecordSize > head_.fileSize)
            continue;
        cells.push_back({offset, count});
        total += count;
    }
    if (total < 1)
        return kNothingInWindow;
    // Cells of a sound file hold records of their own: more records than the file
    // has room for means cells share them, and the file is not what it claims.
    if (total > head_.fileSize / poi::kRecordSize)
        return kWrongFormat;
    results_ = static_cast<PoiResult*>(mapdb::TryAlloc(total * sizeof(PoiResult)));
    if (!results_)
        return kNoMemory;
    for (uint64_t i = 0; i < total; ++i)
        new (&results_[i]) PoiResult();
    int stored = 0;
    for (const CellRecords& cell : cells) {
        if (file.Seek(static_cast<int>(cell.offset), 0) != 0)
            continue;
        stored += ScanResultRecords(file, results_ + stored, static_cast<int>(cell.count));
    }
    if (stored == 0) {
        mapdb::FreeBlock(results_);
        results_ = nullptr;
        return kNoneAccepted;
    }
    resultCount_ = stored;
    ReadNames(file);
    return kFound;
}

void CPoiSearch::ReadNames(CDataFile& file) {
    PoiResult* end = results_ + resultCount_;
    // Names in file order: the reads run forward through the file.
    std::sort(results_, end, [](const PoiResult& a, const PoiResult& b) {
        return a.record.Name() < b.record.Name();
    });
    const auto readable = [&](const PoiLayerEntry& record) {
        return record.Name() >= poi::kHeadSize && record.nameLength >= 1 &&
               record.nameLength <= poi::kMaxNameLength &&
               uint64_t{record.Name()} + record.nameLength <= head_.fileSize;
    };
    size_t size = static_cast<size_t>(resultCount_);
    for (const PoiResult* r = results_; r != end; ++r) {
        if (readable(r->record))
            size += r->record.nameLength;
    }
    names_ = static_cast<char*>(mapdb::TryAlloc(size));
    size_t used = 0;
    for (PoiResult* r = results_; r != end; ++r) {
        r->name = nullptr;
        r->address = nullptr;
        r->group = nullptr;
        r->distance = -1.0f;
        if (!names_ || !readable(r->record))
            continue;
        const uint32_t length = r->record.nameLength;
        char* at = names_ + used;
        if (!ReadPoiBytes(file, r->record.Name(), at, static_cast<int>(length)))
            continue;
        at[length] = 0;
        used += length + 1;
        r->name = at;
    }
}

void CPoiSearch::ComputeDistances() {
    const float f = CosOfLatitude(centreLatitude_);
    for (int i = 0; i < resultCount_; ++i) {
        PoiResult& r = results_[i];
        const float dx = (centreLongitude_ - r.record.longitude) * f;
        const float dy = centreLatitude_ - r.record.latitude;
        r.distance = dy * dy + dx * dx;
    }
}

void CPoiSearch::SortByDistance() {
    std::sort(results_, results_ + resultCount_,
              [](const PoiResult& a, const PoiResult& b) { return a.distance < b.distance; });
}

void CPoiSearch::SortByName(int limit) {
    const int count = limit <= 0 ? resultCount_ : std::min(limit, resultCount_);
    std::sort(results_, results_ + count, [](const PoiResult& a, const PoiResult& b) {
        return CompareNoCase(NameOrEmpty(a), NameOrEmpty(b), -1) < 0;
    });
}

void CPoiSearch::FillAddressTexts(PoiResult* first, int count) {
    if (count <= 0 || count > resultCount_ || !g_namesFile.IsOpen() || !first)
        return;
    for (int i = 0; i < count; ++i) {
        std::string text;
        if (!ComposeAddress(first[i], &text))
            continue;
        mapdb::FreeBlock(first[i].address);
        first[i].address = CopyToBlock(text);
    }
}

void CPoiSearch::FillAddressTexts(CPoiResultArray& group, int count) {
    if (count <= 0 || count > static_cast<int>(group.size()) || !g_namesFile.IsOpen())
        return;
    for (int i = 0; i < count; ++i) {
        std::string text;
        if (!ComposeAddress(*group[i], &text))
            continue;
        mapdb::FreeBlock(group[i]->address);
        group[i]->address = CopyToBlock(text);
    }
}

bool CPoiSearch::InCity(const PoiResult& result) const {
    if (cityNumber_ != 0)
        return HasPlace(result.record, cityNumber_);
    if (mode_ != kInRegion || regionEndPlace_ == 0)
        return true;
    const PoiLayerEntry& r = result.record;
    return PlaceIn(r.place, regionFirstPlace_, regionEndPlace_) ||
           PlaceIn(r.secondPlace, regionFirstPlace_, regionEndPlace_) ||
           PlaceIn(r.thirdPlace, regionFirstPlace_, regionEndPlace_);
}

void CPoiSearch::GroupDuplicates(int index) {
    if (resultCount_ == 0 || index < 0 || index >= resultCount_)
        return;
    PoiResult& chosen = results_[index];
    chosen.group = nullptr;
    const uint32_t name = chosen.record.Name();
    // The places of the same name that follow; a point without a road is passed over.
    int end = index + 1;
    int matches = 0;
    for (; end < resultCount_; ++end) {
        const PoiLayerEntry& r = results_[end].record;
        if (r.LinkRecord() == 0)
            continue;
        if (r.Name() != name)
            break;
        ++matches;
    }
    if (matches == 0)
        return;
    auto* group = new CPoiResultArray;
    if (InCity(chosen))
        group->push_back(&chosen);
    const bool byCity = cityNumber_ != 0;
    for (int j = index + 1; j < end; ++j) {
        PoiResult& other = results_[j];
        if (other.record.LinkRecord() == 0 || other.record.Name() != name || !InCity(other))
            continue;
        const bool samePlace =
            std::any_of(group->begin(), group->end(), [&](const PoiResult* member) {
                const bool lon = member->record.longitude == other.record.longitude;
                const bool lat = member->record.latitude == other.record.latitude;
                return byCity ? (lon || lat) : (lon && lat);
            });
        if (!samePlace)
            group->push_back(&other);
    }
    if (group->size() < 2) {
        delete group;
        return;
    }
    groups_.push_back(group);
    chosen.group = group;
}

const char* CPoiSearch::KeepName(int index, const char* text) {
    if (index < 0 || index >= resultCount_)
        return nullptr;
    PoiResult& r = results_[index];
    if (!r.name) {
        keptNames_.push_back(new std::string(text ? text : ""));
        r.name = keptNames_.back()->c_str();
    }
    return r.name;
}

void SortResultPtrsByDistance(CPoiResultArray& group) {
    std::sort(group.begin(), group.end(),
              [](const PoiResult* a, const PoiResult* b) { return a->distance < b->distance; });
}

void SortResultPtrsByCity(CPoiResultArray& group) {
    std::sort(group.begin(), group.end(), [](const PoiResult* a, const PoiResult* b) {
        return CompareNoCase(CityPart(*a), CityPart(*b), -1) < 0;
    });
}

void FormatPoiEntry(const PoiLayerEntry& entry, int action, const char* name) {
    if (action == 0)
        return;
    const MapPoint position{entry.latitude, entry.longitude};
    const int side = SideOf(entry.addressWord);
    const uint32_t reference = entry.LinkRecord();
    LinkInfoRecord record;
    uint32_t firstWord = 0;
    if (reference != 0 &&
        g_linkInfo.ReadRecord(static_cast<int32_t>(reference), record, false) == 0)
        firstWord = record.cellWord;
    char street[kStreetTextSize] = "";
    FormatHouseRange(g_linkInfo, static_cast<int32_t>(reference), 0, street, sizeof street, nullptr,
                     false);
    char house[16] = "";
    std::string label = street;
    const uint32_t low = entry.addressWord & poi::kHouseNumberMask;
    if (entry.addressWord == poi::kNoAddress || low != poi::kHouseNumberMask) {
        const int32_t number =
            entry.addressWord == poi::kNoAddress ? -1 : static_cast<int32_t>(low);
        std::snprintf(house, sizeof house, "%d", number);
        // No place is numbered below 1: "-1 MAIN ST" would name none.
        if (number >= 1)
            label = std::string(house) + " " + street + "\n";
    }
    switch (action) {
        case 2:
            // The route is to the place itself: its name, not the street it stands on,
            // names the destination on the screens that follow.
            if (name && *name)
                std::snprintf(g_destinationText, sizeof g_destinationText, "%s", name);
            DescribePosition(kRouteLayer, position, 1, 0, side, house, TRUE, TRUE);
            break;
        case 1:
            DescribePosition(kOriginLayer, position, 1, 1, side, house, FALSE, FALSE);
            break;
        case 3:
            if (IMainView* view = g_mainView.load()) {
                const AddressHit hit{static_cast<int32_t>(reference), firstWord, side,
                                     entry.latitude, entry.longitude};
                view->AddToFavorites(hit, 0, label.c_str(), house, name, TRUE, FALSE);
            }
            break;
        default:
            break;
    }
}
