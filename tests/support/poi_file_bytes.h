// Small device "poi.bin" files for tests, written with formats/poi.h: a grid of
// cells from an origin, each cell's records grouped by category in ascending
// sub-category order, names and packed telephone numbers before the cell table.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
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
};

struct TestPoiGrid {
    float originLongitude = 0;
    float originLatitude = 0;
    int32_t columns = 1;
    int32_t rows = 1;
    float cellWidth = 1;
    float cellHeight = 1;
};

inline std::vector<uint8_t> PoiFileBytes(const TestPoiGrid& grid, std::vector<TestPoi> pois) {
    namespace poi = formats::poi;
    std::stable_sort(pois.begin(), pois.end(), [](const TestPoi& a, const TestPoi& b) {
        return a.category != b.category ? a.category < b.category : a.subCategory < b.subCategory;
    });
    std::vector<uint8_t> out(poi::kHeadSize, 0);
    std::vector<uint32_t> nameAt(pois.size());
    for (size_t i = 0; i < pois.size(); ++i) {
        nameAt[i] = static_cast<uint32_t>(out.size());
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
            record.nameWord = poi::NameWord(nameAt[i], p.subCategory);
            record.phone = phoneAt[i];
            record.linkWord = p.linkWord;
            record.latitude = static_cast<float>(p.latitude);
            record.longitude = static_cast<float>(p.longitude);
            record.nameLength = static_cast<uint8_t>(p.name.size());
            if (p.secondPlace != poi::kNoPlace) {
                record.flags = poi::kSecondPlaceFlag;
                record.secondPlace = p.secondPlace;
            }
            poi::AppendRecord(out, record);
        }
        poi::EncodeCellHeader(header, out.data() + headerAt);
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
