#include "mapferry/convert/poi_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "formats/source_disc.h"
#include "mapferry/convert/file_services.h"

namespace poi = formats::poi;
namespace container = formats::map_container;

namespace {

// Lines of the internal-error reports.
constexpr int kLineCellTable = 1453;
constexpr int kLineReadHead = 1532;
constexpr int kLineCreateOutput = 1544;
constexpr int kLineReadNames = 1592;
constexpr int kLineReadPhones = 1746;
constexpr int kLineReadCell = 1826;
constexpr int kLineReadRecord = 1885;
constexpr int kLineTooLarge = 1917;
constexpr int kLineWriteOutput = 1947;

constexpr size_t kMaxPoiSource = size_t{1} << 30;
constexpr int kCityCategory = 8;  // its points carry no telephone number
constexpr uint32_t kMaxRunCells = 0xFFFF;

// A string of the names area.
struct NameString {
    size_t at = 0;
    size_t length = 0;  // without its NUL
    int category = 0;
};

// A point kept by the first pass, with what the second pass needs.
struct KeptRecord {
    poi::Record record;
    uint32_t linkOffset = 0;
    uint32_t placeOffset = 0;
    int area = 0;
};

struct KeptCell {
    uint32_t outIndex = 0;
    std::vector<KeptRecord> records[poi::kCategoryCount];
};

// How many detailed cells a point cell spans; a ratio that is an integer but for
// float rounding counts as that integer, so no cell number is truncated one short.
double CellRatio(float poiSize, float detailedSize) {
    if (!(detailedSize > 0) || !(poiSize > 0)) {
        return 1.0;
    }
    double ratio = static_cast<double>(poiSize) / static_cast<double>(detailedSize);
    if (std::fabs(ratio - std::round(ratio)) < 1e-3) {
        ratio = std::round(ratio);
    }
    return ratio > 0 ? ratio : 1.0;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    poi::StoreU32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

CPoiConverter::CPoiConverter(const CMapCut& cut, const container::GridHeader& detailedGrid)
    : m_cut(cut), m_detailedGrid(detailedGrid) {}

int CPoiConverter::OpenSource(LPCWSTR sourceFolder) {
    m_open = false;
    if (!ReadWholeSource(convert_io::JoinFolder(sourceFolder, u"poi.raw"), poi::kSourceMagic,
                         kMaxPoiSource, m_source, kLineReadHead)) {
        return 1;
    }
    if (m_source.size() < poi::kHeadSize) {
        ReportInternalError(0, kLineReadHead);
    }
    m_head = poi::DecodeHead(m_source.data());
    if (!container::IsPlausibleGrid(m_head.grid) || m_head.phoneCount < 0 ||
        m_head.phoneTableOffset < poi::kNamesOffset) {
        ReportInternalError(0, kLineReadHead);
    }
    m_open = true;
    return 0;
}

int CPoiConverter::Convert(LPCWSTR sourceFolder, LPCWSTR temporaryFolder,
                           const PoiRenumbering& tables) {
    if (!m_open && OpenSource(sourceFolder) != 0) {
        return 1;
    }
    static const LinkInfoOffsetTable kNoLinks;
    static const PlaceOffsetTable kNoPlaces;
    static const AreaFirstPlaceTable kNoAreas;
    const LinkInfoOffsetTable& linkInfo = tables.linkInfo ? *tables.linkInfo : kNoLinks;
    const PlaceOffsetTable& places = tables.places ? *tables.places : kNoPlaces;
    const AreaFirstPlaceTable& areas = tables.areas ? *tables.areas : kNoAreas;
    const std::vector<uint8_t>& src = m_source;
    const size_t size = src.size();
    const container::GridHeader& grid = m_head.grid;

    // ---- The names, the telephone table and the cell table of the source ----
    std::vector<NameString> strings;
    size_t at = poi::kNamesOffset;
    for (int category = 0; category < poi::kCategoryCount; ++category) {
        const uint64_t end = uint64_t{at} + m_head.categoryNameBytes[category];
        if (end > m_head.phoneTableOffset || end > size) {
            ReportInternalError(0, kLineReadNames);
        }
        for (uint32_t k = 0; k < m_head.categoryNameCounts[category]; ++k) {
            const void* nul = at < end ? std::memchr(src.data() + at, 0, end - at) : nullptr;
            if (!nul) {
                ReportInternalError(0, kLineReadNames);
            }
            const size_t length = static_cast<const uint8_t*>(nul) - (src.data() + at);
            strings.push_back({at, length, category});
            at += length + 1;
        }
        at = static_cast<size_t>(end);
    }
    const uint64_t phoneEnd = poi::CellTableOffset(m_head);
    if (phoneEnd > size) {
        ReportInternalError(0, kLineReadPhones);
    }
    const uint32_t sourceCells = container::CellCount(grid);
    if (phoneEnd + uint64_t{sourceCells} * container::kCellEntrySize > size) {
        ReportInternalError(0, kLineCellTable);
    }
    auto sourceCell = [&](int32_t column, int32_t row) {
        return poi::LoadU32(src.data() + phoneEnd +
                            container::kCellEntrySize *
                                uint64_t{container::CellIndex(column, row, grid.columns)});
    };

    // ---- Mark the point cells under the detailed layer's bins ----
    const double ratioX = CellRatio(grid.cellWidth, m_detailedGrid.cellWidth);
    const double ratioY = CellRatio(grid.cellHeight, m_detailedGrid.cellHeight);
    std::vector<uint8_t> marked(sourceCells, 0);
    int32_t minColumn = grid.columns, maxColumn = -1, minRow = grid.rows, maxRow = -1;
    for (const BinRange& range : m_cut.m_binRanges[formats::source_disc::kLayerDetailed]) {
        for (int32_t r = 0; r < range.rowCount && r < static_cast<int32_t>(range.spans.size());
             ++r) {
            const ColumnSpan& span = range.spans[r];
            const int64_t row = int64_t{range.firstRow} + r;
            if (row < 0 || span.columnCount <= 0) {
                continue;
            }
            const int64_t pointRow = static_cast<int64_t>(std::floor(row / ratioY));
            const int64_t firstColumn = std::max<int64_t>(span.firstColumn, 0);
            const int64_t lastColumn = int64_t{span.firstColumn} + span.columnCount - 1;
            if (lastColumn < 0 || pointRow >= grid.rows) {
                continue;
            }
            const int64_t from = static_cast<int64_t>(std::floor(firstColumn / ratioX));
            const int64_t to = std::min<int64_t>(
                static_cast<int64_t>(std::floor(lastColumn / ratioX)), grid.columns - 1);
            for (int64_t column = from; column <= to; ++column) {
                marked[container::CellIndex(static_cast<int32_t>(column),
                                            static_cast<int32_t>(pointRow), grid.columns)] = 1;
                minColumn = std::min(minColumn, static_cast<int32_t>(column));
                maxColumn = std::max(maxColumn, static_cast<int32_t>(column));
                minRow = std::min(minRow, static_cast<int32_t>(pointRow));
                maxRow = std::max(maxRow, static_cast<int32_t>(pointRow));
            }
        }
    }
    container::GridHeader outGrid = grid;
    std::memcpy(outGrid.magic, poi::kDeviceMagic, sizeof poi::kDeviceMagic);
    if (maxColumn < 0) {
        minColumn = minRow = 0;
        outGrid.columns = outGrid.rows = 0;
    } else {
        outGrid.columns = maxColumn - minColumn + 1;
        outGrid.rows = maxRow - minRow + 1;
    }
    outGrid.firstColumn = grid.firstColumn + minColumn;
    outGrid.firstRow = grid.firstRow + minRow;
    const uint32_t outCells = container::CellCount(outGrid);

    // ---- First pass: the points of the marked cells whose road is kept ----
    // A point whose place is not written has no area for the run lists; it is
    // dropped here with the others, so that no name or number is written for it.
    std::vector<uint8_t> nameUsed(strings.size(), 0);
    std::vector<uint8_t> phoneUsed(static_cast<size_t>(m_head.phoneCount) + 1, 0);
    auto placeOffset = [&](int32_t place) -> int32_t {
        if (place < 0 || static_cast<uint32_t>(place) >= places.size() ||
            places[place] == kNotRenumbered) {
            return -1;
        }
        return static_cast<int32_t>(places[place]);
    };
    std::vector<KeptCell> kept;
    for (int32_t row = minRow; row <= maxRow; ++row) {
        for (int32_t column = minColumn; column <= maxColumn; ++column) {
            if (!marked[container::CellIndex(column, row, grid.columns)]) {
                continue;
            }
            const uint32_t headerAt = sourceCell(column, row);
            if (headerAt == 0) {
                continue;
            }
            if (headerAt < phoneEnd || size < poi::kCellHeaderSize ||
                headerAt > size - poi::kCellHeaderSize) {
                ReportInternalError(0, kLineReadCell);
            }
            const poi::CellHeader header = poi::DecodeCellHeader(src.data() + headerAt);
            KeptCell cell;
            cell.outIndex = container::CellIndex(column - minColumn, row - minRow, outGrid.columns);
            for (int category = 0; category < poi::kCategoryCount; ++category) {
                size_t recordAt = header.offsets[category];
                for (uint32_t k = 0; k < header.counts[category]; ++k) {
                    poi::Record record;
                    // Records lie behind the tables, never in them.
                    const bool inside = recordAt >= phoneEnd && recordAt < size;
                    const size_t used =
                        inside ? poi::DecodeRecord(src.data() + recordAt, size - recordAt, record)
                               : 0;
                    if (used == 0) {
                        ReportInternalError(0, kLineReadRecord);
                    }
                    recordAt += used;
                    if (record.Name() >= strings.size() ||
                        (category != kCityCategory && record.phone > m_head.phoneCount)) {
                        ReportInternalError(0, kLineReadRecord);
                    }
                    const uint32_t link = LinkInfoOffsetOf(linkInfo, record.LinkRecord());
                    const int32_t place = placeOffset(record.place);
                    const int area = place < 0 ? -1 : AreaOfPlace(areas, place);
                    if (link == kNotRenumbered || area < 0) {
                        continue;
                    }
                    nameUsed[record.Name()] = 1;
                    if (category != kCityCategory && record.phone > 0) {
                        phoneUsed[record.phone] = 1;
                    }
                    cell.records[category].push_back(
                        {record, link, static_cast<uint32_t>(place), area});
                }
            }
            kept.push_back(std::move(cell));
        }
    }

    // ---- The output: head, names, telephone numbers, tables, cells, run lists ----
    std::vector<uint8_t> out(poi::kHeadSize, 0);
    poi::Head head;
    head.grid = outGrid;
    std::vector<uint32_t> nameOffset(strings.size(), kNotRenumbered);
    for (size_t s = 0; s < strings.size(); ++s) {
        if (g_cancelFlag.load()) {
            return 1;
        }
        if (!nameUsed[s]) {
            continue;
        }
        nameOffset[s] = static_cast<uint32_t>(out.size());
        const NameString& name = strings[s];
        out.insert(out.end(), src.begin() + name.at, src.begin() + name.at + name.length + 1);
        head.categoryNameCounts[name.category] += 1;
        head.categoryNameBytes[name.category] += static_cast<uint32_t>(name.length + 1);
        head.nameCount += 1;
    }
    if (out.size() > poi::kNameMask) {
        ReportInternalError(0, kLineTooLarge);
    }
    head.phoneTableOffset = static_cast<uint32_t>(out.size());
    std::vector<uint32_t> phoneOffset(phoneUsed.size(), 0);
    for (size_t n = 1; n < phoneUsed.size(); ++n) {
        if (!phoneUsed[n]) {
            continue;
        }
        phoneOffset[n] = static_cast<uint32_t>(out.size());
        const size_t from = m_head.phoneTableOffset + poi::kPhoneEntrySize * (n - 1);
        out.insert(out.end(), src.begin() + from, src.begin() + from + poi::kPhoneEntrySize);
        head.phoneCount += 1;
    }
    const size_t cellTableAt = out.size();
    const size_t areaTableAt = cellTableAt + size_t{outCells} * container::kCellEntrySize;
    out.resize(areaTableAt + areas.size() * poi::kAreaEntrySize, 0);

    // The cells. Each category's offset is where its first kept record lands (0
    // when none is kept), so dropped points never leave an offset pointing at the
    // wrong records.
    std::vector<std::vector<uint32_t>> cellsOfArea(areas.size());
    for (const KeptCell& cell : kept) {
        const size_t headerAt = out.size();
        poi::StoreU32(out.data() + cellTableAt + container::kCellEntrySize * cell.outIndex,
                      static_cast<uint32_t>(headerAt));
        out.resize(headerAt + poi::kCellHeaderSize);
        poi::CellHeader header;
        for (int category = 0; category < poi::kCategoryCount; ++category) {
            const std::vector<KeptRecord>& records = cell.records[category];
            if (records.size() > 0xFFFF) {
                ReportInternalError(0, kLineTooLarge);
            }
            header.counts[category] = static_cast<uint16_t>(records.size());
            header.offsets[category] = records.empty() ? 0 : static_cast<uint32_t>(out.size());
            for (const KeptRecord& kept : records) {
                poi::Record record = kept.record;
                record.nameWord = (nameOffset[record.Name()] & poi::kNameMask) |
                                  (record.nameWord & ~poi::kNameMask);
                // The device reads the field as an unsigned offset with 0 for none,
                // so the source's other "none" (-1) becomes 0 as well.
                if (category != kCityCategory) {
                    record.phone = record.phone > 0
                                       ? static_cast<int32_t>(phoneOffset[record.phone])
                                       : poi::kNoPhone;
                }
                record.linkWord = (kept.linkOffset & poi::kLinkRecordMask) |
                                  (record.linkWord & poi::kLinkDisplayMask);
                record.place = static_cast<int32_t>(kept.placeOffset);
                if (record.flags & poi::kSecondPlaceFlag) {
                    record.secondPlace = placeOffset(record.secondPlace);
                }
                if (record.flags & poi::kThirdPlaceFlag) {
                    record.thirdPlace = placeOffset(record.thirdPlace);
                }
                poi::AppendRecord(out, record);
                std::vector<uint32_t>& cells = cellsOfArea[kept.area];
                if (cells.empty() || cells.back() != cell.outIndex) {
                    cells.push_back(cell.outIndex);
                }
            }
        }
        poi::EncodeCellHeader(header, out.data() + headerAt);
    }

    // Run lists: per area, runs of consecutive cells in which it has points.
    for (size_t a = 0; a < areas.size(); ++a) {
        const size_t listAt = out.size();
        uint32_t runs = 0;
        const std::vector<uint32_t>& cells = cellsOfArea[a];
        for (size_t i = 0; i < cells.size();) {
            size_t j = i + 1;
            while (j < cells.size() && cells[j] == cells[j - 1] + 1 && j - i < kMaxRunCells) {
                ++j;
            }
            AppendU32(out, cells[i]);
            uint8_t count[2];
            poi::StoreU16(count, static_cast<uint16_t>(j - i));
            out.insert(out.end(), count, count + 2);
            ++runs;
            i = j;
        }
        poi::StoreU32(out.data() + areaTableAt + poi::kAreaEntrySize * a,
                      static_cast<uint32_t>(listAt));
        poi::StoreU32(out.data() + areaTableAt + poi::kAreaEntrySize * a + 4, runs);
    }
    if (out.size() > 0xFFFFFFFFu) {
        ReportInternalError(0, kLineTooLarge);
    }
    poi::EncodeHead(head, out.data());
    WriteWholeOutput(convert_io::JoinFolder(temporaryFolder, u"poi.bin"), out,
                     u"Error creating poi.bin.", kLineCreateOutput, kLineWriteOutput);
    return 0;
}
