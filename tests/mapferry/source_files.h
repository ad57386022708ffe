// Small source files of the installer's program folder for tests, written as
// docs/formats/source-disc.md describes them: region data, size tables,
// "sizeinfo.sz", "cdinfo.ini" and "mh.ini".
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "formats/source_disc.h"
#include "mapferry/convert/region_data.h"

namespace testing_support {

inline void PutU32(std::string* bytes, uint32_t value) {
    uint8_t word[4];
    formats::source_disc::StoreU32(word, value);
    bytes->append(reinterpret_cast<const char*>(word), 4);
}

struct TestRecord {
    uint32_t key;
    std::vector<uint32_t> entries;
    std::vector<RegionSpanItem> spans;
};

inline std::string RegionFile(const std::vector<TestRecord>& records) {
    namespace sd = formats::source_disc;
    std::string bytes;
    PutU32(&bytes, static_cast<uint32_t>(records.size()));
    for (const TestRecord& record : records) {
        std::string head(sd::kRegionRecordSize, '\0');
        auto* out = reinterpret_cast<uint8_t*>(head.data());
        sd::StoreU32(out + sd::kRecordSpanCountOffset, static_cast<uint32_t>(record.spans.size()));
        sd::StoreU32(out + sd::kRecordEntryKeyOffset, record.key);
        sd::StoreU32(out + sd::kRecordListCountOffset,
                     static_cast<uint32_t>(record.entries.size()));
        for (size_t k = 0; k < record.entries.size() && k < sd::kMaxListEntries; ++k) {
            sd::StoreU32(out + sd::kRecordListEntriesOffset + 4 * k, record.entries[k]);
        }
        bytes += head;
    }
    for (const TestRecord& record : records) {
        for (const RegionSpanItem& span : record.spans) {
            PutU32(&bytes, static_cast<uint32_t>(span.row));
            PutU32(&bytes, static_cast<uint32_t>(span.firstColumn));
            PutU32(&bytes, static_cast<uint32_t>(span.lastColumn));
        }
    }
    return bytes;
}

// Cell (c, r) holds base + c + 10 r.
inline std::string SizeTableFile(uint32_t columns, uint32_t rows, uint32_t fixedBytes,
                                 uint32_t base) {
    std::string bytes;
    PutU32(&bytes, 0);
    PutU32(&bytes, 0);
    PutU32(&bytes, columns);
    PutU32(&bytes, rows);
    PutU32(&bytes, fixedBytes);
    for (uint32_t r = 0; r < rows; ++r) {
        for (uint32_t c = 0; c < columns; ++c) {
            PutU32(&bytes, base + c + 10 * r);
        }
    }
    return bytes;
}

inline std::string SizeInfoFile(const std::vector<std::vector<uint32_t>>& records,
                                uint32_t recordSize = formats::source_disc::kSizeInfoRecordSize) {
    std::string bytes;
    PutU32(&bytes, static_cast<uint32_t>(records.size()));
    PutU32(&bytes, recordSize);
    for (const auto& record : records) {
        for (uint32_t word : record) {
            PutU32(&bytes, word);
        }
    }
    return bytes;
}

// A grid header of "mh.ini": origin, columns and rows, square cells.
inline formats::map_container::GridHeader TestGrid(float originLongitude, float originLatitude,
                                                   int32_t columns, int32_t rows, float cell) {
    formats::map_container::GridHeader grid;
    std::memcpy(grid.magic, "NTC5", 4);
    grid.originLongitude = originLongitude;
    grid.originLatitude = originLatitude;
    grid.columns = columns;
    grid.rows = rows;
    grid.cellWidth = cell;
    grid.cellHeight = cell;
    return grid;
}

// "mh.ini": the overview and the detailed grid.
inline std::string MhIniFile(const formats::map_container::GridHeader& overview,
                             const formats::map_container::GridHeader& detailed) {
    std::string bytes(2 * formats::source_disc::kMapHeaderSize, '\0');
    auto* out = reinterpret_cast<uint8_t*>(bytes.data());
    formats::map_container::EncodeHeader(overview, out);
    formats::map_container::EncodeHeader(detailed, out + formats::source_disc::kMapHeaderSize);
    return bytes;
}

}  // namespace testing_support
