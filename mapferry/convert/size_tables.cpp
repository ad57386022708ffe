#include "mapferry/convert/size_tables.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "mapferry/convert/file_services.h"

namespace sd = formats::source_disc;

namespace {

std::u16string InFolder(LPCWSTR folder, const char16_t* name) {
    std::u16string path = folder ? folder : u"";
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += path.front() == u'/' ? u'/' : u'\\';
    }
    return path + name;
}

// 0 loaded, 1 missing, 2 short.
int LoadCellTable(LPCWSTR folder, const char16_t* name, CellSizeTable* table) {
    *table = CellSizeTable{};
    std::vector<uint8_t> bytes;
    if (!ReadLocalFile(InFolder(folder, name).c_str(), CSizeTables::kMaxFileSize, &bytes)) {
        return 1;
    }
    if (bytes.size() < sd::kSizeHeadSize) {
        return 2;
    }
    CellSizeTable read;
    read.firstColumn = sd::LoadU32(bytes.data() + sd::kSizeFirstColumnOffset);
    read.firstRow = sd::LoadU32(bytes.data() + sd::kSizeFirstRowOffset);
    read.columns = sd::LoadU32(bytes.data() + sd::kSizeColumnsOffset);
    read.rows = sd::LoadU32(bytes.data() + sd::kSizeRowsOffset);
    read.fixedBytes = sd::LoadU32(bytes.data() + sd::kSizeFixedBytesOffset);
    uint64_t cells = uint64_t{read.columns} * read.rows;
    if (cells > (bytes.size() - sd::kSizeHeadSize) / 4) {
        return 2;
    }
    read.cells.resize(static_cast<size_t>(cells));
    for (size_t i = 0; i < read.cells.size(); ++i) {
        read.cells[i] = sd::LoadU32(bytes.data() + sd::kSizeCellsOffset + 4 * i);
    }
    *table = std::move(read);
    return 0;
}

uint64_t CellSum(const CellSizeTable& table, const std::vector<BinRange>& ranges) {
    uint64_t sum = 0;
    for (const BinRange& range : ranges) {
        for (int32_t r = 0; r < range.rowCount; ++r) {
            const ColumnSpan& span = range.spans[r];
            for (int32_t c = 0; c < span.columnCount; ++c) {
                sum += table.CellSize(span.firstColumn + c, range.firstRow + r);
            }
        }
    }
    return sum;
}

}  // namespace

uint32_t CellSizeTable::CellSize(int32_t column, int32_t row) const {
    if (column < 0 || row < 0 || static_cast<uint32_t>(column) >= columns ||
        static_cast<uint32_t>(row) >= rows) {
        return 0;
    }
    return cells[static_cast<size_t>(column) + static_cast<size_t>(columns) * row];
}

int CSizeTables::Load(LPCWSTR folder) {
    m_sizeInfo.clear();
    struct Step {
        int layer;
        int missing;
    };
    // The order the results number them in.
    const Step steps[] = {{sd::kLayerPolygons, kPolygonsMissing},
                          {sd::kLayerOverview, kOverviewMissing},
                          {sd::kLayerDetailed, kDetailedMissing}};
    for (const Step& step : steps) {
        int result = LoadCellTable(folder, sd::kSizeTableFiles[step.layer], &m_layers[step.layer]);
        if (result != 0) {
            return step.missing + result - 1;
        }
    }
    std::vector<uint8_t> bytes;
    if (!ReadLocalFile(InFolder(folder, sd::kSizeInfoFile).c_str(), kMaxFileSize, &bytes)) {
        return kSizeInfoMissing;
    }
    if (bytes.size() < sd::kSizeInfoRecordsOffset ||
        sd::LoadU32(bytes.data() + sd::kSizeInfoRecordSizeOffset) != sd::kSizeInfoRecordSize) {
        return kSizeInfoShort;
    }
    uint32_t count = sd::LoadU32(bytes.data() + sd::kSizeInfoCountOffset);
    if (count > (bytes.size() - sd::kSizeInfoRecordsOffset) / sd::kSizeInfoRecordSize) {
        return kSizeInfoShort;
    }
    m_sizeInfo.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* record =
            bytes.data() + sd::kSizeInfoRecordsOffset + size_t{i} * sd::kSizeInfoRecordSize;
        for (int w = 0; w < sd::kSizeInfoWords; ++w) {
            m_sizeInfo[i][w] = sd::LoadU32(record + 4 * w);
        }
    }
    return kLoaded;
}

const std::array<uint32_t, sd::kSizeInfoWords>* CSizeTables::FindSizeInfo(uint32_t entryKey) const {
    for (const auto& record : m_sizeInfo) {
        if (record[sd::kSizeKey] == entryKey) {
            return &record;
        }
    }
    return nullptr;
}

uint64_t CSizeTables::SumSelection(const CMapCut& cut, int cityFlag, const DWORD* regionList,
                                   int regionCount) const {
    std::vector<uint32_t> expanded = ExpandChoiceWords(regionList, regionCount);
    std::set<uint32_t> keys(expanded.begin(), expanded.end());
    // One entry alone has its network sizes measured in "sizeinfo.sz".
    const bool oneEntry = !cityFlag && keys.size() == 1;

    const uint64_t overview =
        CellSum(m_layers[sd::kLayerOverview], cut.m_binRanges[sd::kLayerOverview]);
    const uint64_t detailed =
        CellSum(m_layers[sd::kLayerDetailed], cut.m_binRanges[sd::kLayerDetailed]);
    const uint64_t polygons =
        CellSum(m_layers[sd::kLayerPolygons], cut.m_binRanges[sd::kLayerPolygons]);

    uint64_t sum = polygons;
    for (int layer = 0; layer < kCutLayers; ++layer) {
        const CutWindow& window = cut.m_window[layer];
        sum += m_layers[layer].fixedBytes +
               uint64_t{sd::kOffsetEntrySize} *
                   static_cast<uint64_t>(std::max(window.columnCount, 0)) *
                   static_cast<uint64_t>(std::max(window.rowCount, 0));
    }
    if (!oneEntry) {
        sum += overview + detailed;
    }
    for (uint32_t key : keys) {
        const auto* record = FindSizeInfo(key);
        if (!record) {
            continue;
        }
        if (cityFlag) {
            sum += (*record)[sd::kSizeAreas];
            continue;
        }
        for (int w = sd::kSizeFirstFileWord; w <= sd::kSizeLastFileWord; ++w) {
            sum += (*record)[w];
        }
        if (oneEntry) {
            sum += uint64_t{(*record)[sd::kSizeOverviewCells]} + (*record)[sd::kSizeOverviewTable] +
                   (*record)[sd::kSizeDetailedCells];
        }
    }
    if (cityFlag) {
        sum += static_cast<uint64_t>(std::llround(static_cast<double>(overview + detailed) * 1.5));
        sum += static_cast<uint64_t>(static_cast<double>(overview) * 0.33);
    }
    return sum + sd::kSizeEstimateBase;
}

CSizeTables& SizeTables() {
    static CSizeTables tables;
    return tables;
}
