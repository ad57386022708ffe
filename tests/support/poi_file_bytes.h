// Small device "poi.bin" files for tests, written with formats/poi.h: a grid of
// cells from an origin, each cell's records grouped by category in ascending
// sub-category order, names and packed telephone numbers before the cell table, and
// after it the area table with each area's runs of cells.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "formats/poi.h"

namespace testing_support {

struct TestPoi {
    uint32_t category = 0;
    uint32_t subCategory = 0;
    double latitude = 0;
    double longitude = 0;
    std::string name;
    std::string phone;  // packed when not empty
    uint32_t linkWord = 0;
    int32_t secondPlace = formats::poi::kNoPlace;  // stored when not kNoPlace
    uint32_t addressWord = formats::poi::kNoAddress;
    int32_t place = formats::poi::kNoPlace;
    int32_t thirdPlace = formats::poi::kNoPlace;  // stored when not kNoPlace
    // A damaged or odd name: a stored length other than the name's, or offset 0.
    int nameLength = -1;  // -1: the name's own
    bool nameAtZero = false;
    // A position stored in place of latitude and longitude (which choose the cell).
    std::optional<float> storedLatitude;
    std::optional<float> storedLongitude;
};

// A run of consecutive cells of an area.
struct TestPoiRun {
    uint32_t firstCell = 0;
    uint16_t cells = 0;
};

struct TestPoiGrid {
    float originLongitude = 0;
    float originLatitude = 0;
    int32_t columns = 1;
    int32_t rows = 1;
    float cellWidth = 1;
    float cellHeight = 1;
};

// `areas`: each area's runs, in area order.
inline std::vector<uint8_t> PoiFileBytes(const TestPoiGrid& grid, std::vector<TestPoi> pois,
                                         const std::vector<std::vector<TestPoiRun>>& areas = {}) {
    namespace poi = formats::poi;
    std::stable_sort(pois.begin(), pois.end(), [](const TestPoi& a, const TestPoi& b) {
        return a.category != b.category ? a.category < b.category : a.subCategory < b.subCategory;
    });
    std::vector<uint8_t> out(poi::kHeadSize, 0);
    // Each text once, so the points of one name share it as a chain does.
    std::vector<uint32_t> nameAt(pois.size());
    std::map<std::string, uint32_t> written;
    for (size_t i = 0; i < pois.size(); ++i) {
        const auto [at, added] = written.emplace(pois[i].name, static_cast<uint32_t>(out.size()));
        nameAt[i] = at->second;
        if (!added)
            continue;
        out.insert(out.end(), pois[i].name.begin(), pois[i].name.end());
        out.push_back(0);
    }
    const uint32_t phoneTable = static_cast<uint32_t>(out.size());
    std::vector<int32_t> phoneAt(pois.size(), poi::kNoPhone);
    int32_t phones = 0;
    for (size_t i = 0; i < pois.size(); ++i) {
        uint8_t packed[poi::kPhoneEntrySize];
        if (pois[i].phone.empty() || !poi::PackPhone(pois[i].phone, packed))
            continue;
        phoneAt[i] = static_cast<int32_t>(out.size());
        out.insert(out.end(), packed, packed + poi::kPhoneEntrySize);
        ++phones;
    }
    const size_t cellTable = out.size();
    const size_t cells = static_cast<size_t>(grid.columns) * grid.rows;
    out.resize(out.size() + 4 * cells, 0);
    const size_t areaTable = out.size();
    out.resize(out.size() + poi::kAreaEntrySize * areas.size(), 0);
    std::map<size_t, std::vector<size_t>> byCell;
    for (size_t i = 0; i < pois.size(); ++i) {
        const auto column = static_cast<int32_t>(
            std::floor((pois[i].longitude - grid.originLongitude) / grid.cellWidth));
        const auto row = static_cast<int32_t>(
            std::floor((pois[i].latitude - grid.originLatitude) / grid.cellHeight));
        if (column >= 0 && row >= 0 && column < grid.columns && row < grid.rows)
            byCell[static_cast<size_t>(row) * grid.columns + column].push_back(i);
    }
    for (const auto& [cell, members] : byCell) {
        poi::StoreU32(out.data() + cellTable + 4 * cell, static_cast<uint32_t>(out.size()));
        const size_t headerAt = out.size();
        out.resize(out.size() + poi::kCellHeaderSize);
        poi::CellHeader header;
        for (size_t i : members) {
            const TestPoi& p = pois[i];
            if (header.counts[p.category] == 0)
                header.offsets[p.category] = static_cast<uint32_t>(out.size());
            ++header.counts[p.category];
            poi::Record record;
            record.nameWord = poi::NameWord(p.nameAtZero ? 0 : nameAt[i], p.subCategory);
            record.phone = phoneAt[i];
            record.linkWord = p.linkWord;
            record.latitude = p.storedLatitude.value_or(static_cast<float>(p.latitude));
            record.longitude = p.storedLongitude.value_or(static_cast<float>(p.longitude));
            record.nameLength =
                static_cast<uint8_t>(p.nameLength >= 0 ? p.nameLength : p.name.size());
            record.addressWord = p.addressWord;
            record.place = p.place;
            if (p.secondPlace != poi::kNoPlace) {
                record.flags |= poi::kSecondPlaceFlag;
                record.secondPlace = p.secondPlace;
            }
            if (p.thirdPlace != poi::kNoPlace) {
                record.flags |= poi::kThirdPlaceFlag;
                record.thirdPlace = p.thirdPlace;
            }
            poi::AppendRecord(out, record);
        }
        poi::EncodeCellHeader(header, out.data() + headerAt);
    }
    for (size_t a = 0; a < areas.size(); ++a) {
        poi::StoreU32(out.data() + areaTable + poi::kAreaEntrySize * a,
                      static_cast<uint32_t>(out.size()));
        poi::StoreU32(out.data() + areaTable + poi::kAreaEntrySize * a + 4,
                      static_cast<uint32_t>(areas[a].size()));
        for (const TestPoiRun& run : areas[a]) {
            uint8_t bytes[poi::kRunSize];
            poi::StoreU32(bytes, run.firstCell);
            poi::StoreU16(bytes + 4, run.cells);
            out.insert(out.end(), bytes, bytes + poi::kRunSize);
        }
    }
    poi::Head head;
    std::memcpy(head.grid.magic, poi::kDeviceMagic, sizeof head.grid.magic);
    head.grid.originLongitude = grid.originLongitude;
    head.grid.originLatitude = grid.originLatitude;
    head.grid.columns = grid.columns;
    head.grid.rows = grid.rows;
    head.grid.cellWidth = grid.cellWidth;
    head.grid.cellHeight = grid.cellHeight;
    head.nameCount = static_cast<int32_t>(pois.size());
    head.phoneTableOffset = phoneTable;
    head.phoneCount = phones;
    poi::EncodeHead(head, out.data());
    return out;
}

}  // namespace testing_support
