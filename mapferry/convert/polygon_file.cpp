#include "mapferry/convert/polygon_file.h"

#include <algorithm>
#include <memory>
#include <new>

#include "formats/polygons.h"
#include "formats/source_disc.h"
#include "mapferry/convert/area_files.h"
#include "mapferry/convert/file_services.h"

namespace container = formats::map_container;

namespace {

// Lines of the internal-error reports.
constexpr int kLineOpenSource = 3605;
constexpr int kLineReadHead = 3614;
constexpr int kLineReadTable = 3622;
constexpr int kLineCreateOutput = 3660;
constexpr int kLineBadCell = 3702;  // a cell's bytes lie outside the source or cannot be read

constexpr size_t kCopyPiece = size_t{1} << 20;

// Reads exactly `count` bytes; false on a short or failed read.
bool ReadExactly(CFile& file, void* buffer, size_t count) {
    try {
        return count == 0 || file.Read(buffer, static_cast<UINT>(count)) == count;
    } catch (CException* error) {
        error->Delete();
        return false;
    }
}

}  // namespace

int CopyCellData(const uint32_t* table, uint32_t index, uint32_t entryCount, CFile& source,
                 CFile& destination) {
    if (index >= entryCount || table[index] == 0) {
        return 1;
    }
    const uint64_t start = table[index];
    uint64_t end = 0;
    try {
        end = source.GetLength();
    } catch (CException* error) {
        error->Delete();
        return 1;
    }
    for (uint32_t next = index + 1; next < entryCount; ++next) {
        if (table[next] != 0) {
            end = table[next];
            break;
        }
    }
    if (end <= start) {
        return 1;
    }
    std::unique_ptr<uint8_t[]> piece(new (
        std::nothrow) uint8_t[static_cast<size_t>(std::min<uint64_t>(end - start, kCopyPiece))]);
    if (!piece) {
        return 1;
    }
    try {
        source.Seek(static_cast<LONGLONG>(start), CFile::begin);
    } catch (CException* error) {
        error->Delete();
        return 1;
    }
    for (uint64_t left = end - start; left > 0;) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, kCopyPiece));
        if (!ReadExactly(source, piece.get(), count)) {
            return 1;
        }
        destination.Write(piece.get(), static_cast<UINT>(count));
        left -= count;
    }
    return 0;
}

CPolygonsConverter::CPolygonsConverter(const CMapCut& cut) : m_cut(cut) {}

int CPolygonsConverter::ReadSource(LPCWSTR sourceFolder) {
    m_read = false;
    CFile source;
    if (!source.Open(convert_io::JoinFolder(sourceFolder, u"polygons.raz").c_str(),
                     CFile::modeRead | CFile::shareDenyWrite)) {
        return 1;
    }
    RequireSourceMagic(source, formats::polygons::kMagic);
    uint8_t head[container::kHeaderSize];
    try {
        m_sourceSize = source.GetLength();
        source.SeekToBegin();
    } catch (CException* error) {
        error->Delete();
        ReportInternalError(0, kLineReadHead);
    }
    if (!ReadExactly(source, head, sizeof head)) {
        ReportInternalError(0, kLineReadHead);
    }
    m_header = container::DecodeHeader(head);
    if (!container::IsPlausibleGrid(m_header) || container::TableEnd(m_header) > m_sourceSize) {
        ReportInternalError(0, kLineReadTable);
    }
    const uint32_t cells = container::CellCount(m_header);
    std::vector<uint8_t> table(size_t{cells} * container::kCellEntrySize);
    if (!ReadExactly(source, table.data(), table.size())) {
        ReportInternalError(0, kLineReadTable);
    }
    m_cells.resize(cells);
    for (uint32_t i = 0; i < cells; ++i) {
        m_cells[i] = container::LoadU32(table.data() + i * container::kCellEntrySize);
    }
    m_read = true;
    return 0;
}

int CPolygonsConverter::Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder) {
    if (!m_read && ReadSource(sourceFolder) != 0) {
        ReportInternalErrorFile(0, u"Error opening polygons.raz.", kLineOpenSource);
    }
    CFile source;
    if (!source.Open(convert_io::JoinFolder(sourceFolder, u"polygons.raz").c_str(),
                     CFile::modeRead | CFile::shareDenyWrite)) {
        ReportInternalErrorFile(0, u"Error opening polygons.raz.", kLineOpenSource);
    }

    // The output grid is the cut's polygon window, in the source's cell numbers.
    const CutWindow& window = m_cut.m_window[formats::source_disc::kLayerPolygons];
    container::GridHeader header = m_header;
    header.firstColumn = m_header.firstColumn + window.firstColumn;
    header.firstRow = m_header.firstRow + window.firstRow;
    header.columns = std::max(window.columnCount, 0);
    header.rows = std::max(window.rowCount, 0);
    if (!container::IsPlausibleGrid(header)) {
        ReportInternalError(0, kLineReadTable);
    }
    const uint32_t outCells = container::CellCount(header);

    // Mark the cells of the ranges that carry polygons (reduced-detail ranges do
    // not); overlapping ranges mark a cell once.
    std::vector<uint8_t> marked(outCells, 0);
    for (const BinRange& range : m_cut.m_binRanges[formats::source_disc::kLayerPolygons]) {
        if (range.reducedDetail) {
            continue;
        }
        for (int32_t r = 0; r < range.rowCount && r < static_cast<int32_t>(range.spans.size());
             ++r) {
            if (g_cancelFlag.load()) {
                return 1;
            }
            const int64_t row = int64_t{range.firstRow} + r;
            const ColumnSpan& span = range.spans[r];
            for (int64_t column = span.firstColumn;
                 column < int64_t{span.firstColumn} + span.columnCount; ++column) {
                const int64_t outColumn = column - window.firstColumn;
                const int64_t outRow = row - window.firstRow;
                if (column < 0 || row < 0 || column >= m_header.columns || row >= m_header.rows ||
                    outColumn < 0 || outRow < 0 || outColumn >= header.columns ||
                    outRow >= header.rows) {
                    continue;
                }
                const uint32_t sourceIndex = container::CellIndex(
                    static_cast<int32_t>(column), static_cast<int32_t>(row), m_header.columns);
                if (m_cells[sourceIndex] != 0) {
                    marked[container::CellIndex(static_cast<int32_t>(outColumn),
                                                static_cast<int32_t>(outRow), header.columns)] = 1;
                }
            }
        }
    }

    const std::u16string outputPath = convert_io::JoinFolder(temporaryFolder, u"polygons.biz");
    CFile out;
    if (!out.Open(outputPath.c_str(),
                  CFile::modeCreate | CFile::modeReadWrite | CFile::shareDenyWrite)) {
        ReportInternalErrorFile(0, u"Error creating polygons.biz.", kLineCreateOutput);
    }
    std::vector<uint8_t> table(size_t{outCells} * container::kCellEntrySize, 0);
    try {
        uint8_t head[container::kHeaderSize];
        container::EncodeHeader(header, head);
        out.Write(head, sizeof head);
        if (!table.empty()) {
            out.Write(table.data(), static_cast<UINT>(table.size()));
        }
        uint64_t position = container::TableEnd(header);
        for (int32_t row = 0; row < header.rows; ++row) {
            for (int32_t column = 0; column < header.columns; ++column) {
                const uint32_t outIndex = container::CellIndex(column, row, header.columns);
                if (!marked[outIndex]) {
                    continue;
                }
                if (g_cancelFlag.load()) {
                    out.Abort();
                    return 1;
                }
                const uint32_t sourceIndex = container::CellIndex(
                    column + window.firstColumn, row + window.firstRow, m_header.columns);
                // A cell must lie after the table and before the next cell: anything
                // else is a damaged table, not a cell to skip quietly, and a copy
                // that fails would leave a file that looks finished.
                if (m_cells[sourceIndex] < container::TableEnd(m_header) ||
                    CopyCellData(m_cells.data(), sourceIndex, static_cast<uint32_t>(m_cells.size()),
                                 source, out) != 0) {
                    out.Abort();
                    ReportInternalError(0, kLineBadCell);
                }
                container::StoreU32(table.data() + outIndex * container::kCellEntrySize,
                                    static_cast<uint32_t>(position));
                position = out.GetPosition();
                // Offsets are u32: a file that outgrows them cannot be written.
                if (position > 0xFFFFFFFFu) {
                    out.Abort();
                    ReportInternalError(0, kLineBadCell);
                }
            }
        }
        out.Seek(container::kCellTableOffset, CFile::begin);
        if (!table.empty()) {
            out.Write(table.data(), static_cast<UINT>(table.size()));
        }
        out.Close();
    } catch (CException* error) {
        error->Delete();
        out.Abort();
        ReportLowDiskSpace(kErrorClassWrite, temporaryFolder);
    }
    return 0;
}
