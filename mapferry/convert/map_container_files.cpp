#include "mapferry/convert/map_container_files.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

#include "formats/chunk_payload.h"
#include "mapferry/convert/block_compressor.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/overview_geometry.h"
#include "platform/afx/afx_app.h"
#include "platform/user/user.h"

namespace container = formats::map_container;

namespace {

// Raw bytes of rewritten cells gathered before they are deflated together: enough
// to keep every core busy, little beside the network.
constexpr size_t kPendingBytesLimit = size_t{8} << 20;

}  // namespace
namespace payload = formats::chunk_payload;

namespace {

// Platform paths use backslashes; a host path (tools, tests) uses slashes.
std::u16string InFolder(std::u16string_view folder, std::u16string_view name) {
    std::u16string path(folder);
    const char16_t separator = !path.empty() && path.front() == u'/' ? u'/' : u'\\';
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += separator;
    }
    path += name;
    return path;
}

std::u16string DetailedSourceName(int disc) {
    std::u16string name = u"mapdata2";
    name += static_cast<char16_t>(u'0' + disc);
    name += u".raz";
    return name;
}

// The shape word's count bits as the converter clears them (the count and the two
// bits above it that the map database uses for itself).
constexpr uint16_t kShapeWordCountBits = 0x0FFF;

// Reads a chunk front to back, never past its end.
class ChunkCursor {
  public:
    ChunkCursor(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Has(size_t bytes) const { return bytes <= m_size - m_at; }
    const uint8_t* Take(size_t bytes) {
        const uint8_t* at = m_data + m_at;
        m_at += bytes;
        return at;
    }

  private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

int32_t RenumberedLinkInfo(const LinkInfoOffsetTable& table, int32_t recordNumber) {
    if (recordNumber < 0) {
        return static_cast<int32_t>(kNotRenumbered);
    }
    return static_cast<int32_t>(LinkInfoOffsetOf(table, static_cast<uint32_t>(recordNumber)));
}

}  // namespace

// ---- One chunk -------------------------------------------------------------------

ChunkRewriteResult RewriteChunk(const uint8_t* chunk, size_t size, bool reducedDetail,
                                const LinkInfoOffsetTable& linkInfo, std::vector<uint8_t>* output) {
    output->clear();
    ChunkCursor in(chunk, size);
    if (!in.Has(payload::kHeaderSize)) {
        return {ChunkRewrite::NodeFailed, 0};
    }
    const payload::ChunkHeader source = payload::DecodeHeader(in.Take(payload::kHeaderSize));
    payload::ChunkHeader header = source;
    if (reducedDetail) {
        header.auxCount = 0;
    }
    output->resize(payload::kHeaderSize);  // the header goes in last, counts known

    // Shape points (present only with sc links, as the map database reads them).
    if (source.scLinkCount > 0) {
        const size_t bytes = size_t{source.auxCount} * payload::kPositionSize;
        if (!in.Has(bytes)) {
            return {ChunkRewrite::NodeFailed, 0};
        }
        const uint8_t* points = in.Take(bytes);
        if (!reducedDetail) {
            output->insert(output->end(), points, points + bytes);
        }
    }

    uint32_t slotWords = 0;
    for (uint32_t node = 0; node < source.nodeCount; ++node) {
        if (!in.Has(1)) {
            return {ChunkRewrite::NodeFailed, 0};
        }
        const uint8_t nameLength = *in.Take(1);
        // A node that cannot be copied whole fails the cell: leaving it out would
        // shift every later node under the links that refer to them.
        if (nameLength > payload::kMaxNameLength ||
            !in.Has(nameLength + 1 + payload::kPositionSize)) {
            return {ChunkRewrite::NodeFailed, 0};
        }
        output->push_back(nameLength);
        const uint8_t* name = in.Take(nameLength);
        output->insert(output->end(), name, name + nameLength);
        const uint8_t countByte = *in.Take(1) & payload::kCountByteKeptBits;
        output->push_back(countByte);
        const uint8_t* position = in.Take(payload::kPositionSize);
        output->insert(output->end(), position, position + payload::kPositionSize);
        const uint32_t slots = countByte & payload::kCountByteSlotMask;
        slotWords += slots > 0 ? slots - 1 : 0;
    }
    if (slotWords > 0xFFFF) {
        return {ChunkRewrite::NodeFailed, 0};
    }
    header.slotWords = static_cast<uint16_t>(slotWords);

    bool anyKept = false;
    auto copyLink = [&](const uint8_t* record, bool edLink) {
        uint8_t bytes[payload::kLinkRecordSize];
        std::memcpy(bytes, record, sizeof bytes);
        uint8_t* body = bytes + payload::kLinkBodyOffset;
        const int32_t linkInfoValue =
            RenumberedLinkInfo(linkInfo, payload::LoadI32(body + payload::kBodyLinkIdOffset));
        payload::StoreI32(body + payload::kBodyLinkIdOffset, linkInfoValue);
        uint32_t attributes = payload::LoadU32(body + payload::kBodyAttributesOffset);
        uint16_t shapeInfo = payload::LoadU16(body + payload::kBodyShapeInfoOffset);
        if (!edLink && reducedDetail &&
            (attributes & payload::kClassMask) == kReducedDetailDroppedClass) {
            return false;
        }
        if (reducedDetail || (edLink && linkInfoValue <= 0)) {
            shapeInfo &= static_cast<uint16_t>(~kShapeWordCountBits);
        }
        if (reducedDetail) {
            attributes |= kReducedDetailLinkBit;
        }
        payload::StoreU32(body + payload::kBodyAttributesOffset, attributes);
        payload::StoreU16(body + payload::kBodyShapeInfoOffset, shapeInfo);
        output->insert(output->end(), bytes, bytes + sizeof bytes);
        anyKept = anyKept || linkInfoValue > 0;
        return true;
    };

    uint32_t scLinksWritten = 0;
    for (uint32_t link = 0; link < source.scLinkCount; ++link) {
        if (!in.Has(payload::kLinkRecordSize)) {
            return {ChunkRewrite::LinkFailed, static_cast<int>(link)};
        }
        scLinksWritten += copyLink(in.Take(payload::kLinkRecordSize), false) ? 1 : 0;
    }
    header.scLinkCount = static_cast<uint16_t>(scLinksWritten);

    for (int side = 0; side < payload::kSideCount; ++side) {
        const size_t bytes = size_t{source.sides[side].levelNodes} * payload::kPositionSize;
        if (!in.Has(bytes)) {
            return {ChunkRewrite::NodeFailed, 0};
        }
        const uint8_t* nodes = in.Take(bytes);
        output->insert(output->end(), nodes, nodes + bytes);
    }

    const uint32_t edLinkCount = source.edLinkCount & payload::kEdLinkCountMask;
    for (uint32_t link = 0; link < edLinkCount; ++link) {
        if (!in.Has(payload::kLinkRecordSize)) {
            return {ChunkRewrite::LinkFailed, static_cast<int>(link)};
        }
        const uint8_t* record = in.Take(payload::kLinkRecordSize);
        const uint32_t sourcePoints =
            payload::LoadU16(record + payload::kLinkBodyOffset + payload::kBodyShapeInfoOffset) &
            payload::kShapeCountMask;
        const size_t pointBytes = size_t{sourcePoints} * payload::kPositionSize;
        if (!in.Has(pointBytes)) {
            return {ChunkRewrite::LinkFailed, static_cast<int>(link)};
        }
        copyLink(record, true);
        const uint8_t* points = in.Take(pointBytes);
        const uint16_t written =
            payload::LoadU16(output->data() + output->size() - payload::kLinkBodySize +
                             payload::kBodyShapeInfoOffset) &
            payload::kShapeCountMask;
        if (written != 0) {
            output->insert(output->end(), points, points + pointBytes);
        }
    }

    if (!anyKept) {
        output->clear();
        return {ChunkRewrite::Dropped, 0};
    }
    payload::EncodeHeader(header, output->data());
    return {ChunkRewrite::Written, 0};
}

// ---- The converter ---------------------------------------------------------------

struct CMapDataConverter::PendingCell {
    std::vector<uint8_t> chunk;
    std::vector<uint8_t> companion;  // empty when the cell has no companion block
    size_t row = 0;                  // in Output::rows
    size_t cell = 0;                 // in the row
};

struct CMapDataConverter::PendingRow {
    size_t tableOffset = 0;
    std::vector<uint8_t> offsets;
    std::vector<uint8_t> companionOffsets;
};

struct CMapDataConverter::Output {
    std::u16string mainPath;
    std::u16string companionPath;
    CFile main;
    CFile companion;
    bool hasCompanion = false;
    ULONGLONG mainEnd = 0;
    ULONGLONG companionEnd = 0;
    // Cells rewritten but not yet written, and the rows whose cell tables wait for
    // them: their blocks are deflated together on all cores, then written in order.
    std::vector<PendingCell> cells;
    std::vector<PendingRow> rows;
    size_t pendingBytes = 0;
};

CMapDataConverter::CMapDataConverter(const CMapCut* cut, const LinkInfoOffsetTable* linkInfo)
    : m_pCut(cut), m_pLinkInfo(linkInfo) {}

CMapDataConverter::~CMapDataConverter() {
    Close();
}

void CMapDataConverter::Close() {
    for (int part = 0; part < kMapPartCount; ++part) {
        m_reader[part].reset();
        if (m_source[part]) {
            m_source[part]->Abort();
            m_source[part].reset();
        }
    }
}

int CMapDataConverter::OpenSource(int part, const std::u16string& path) {
    auto file = std::make_unique<CFile>();
    if (!file->Open(path.c_str(), CFile::modeRead | CFile::shareDenyWrite)) {
        return kMapOpenSourceMissing;
    }
    uint8_t head[container::kHeaderSize];
    UINT got = 0;
    try {
        got = file->Read(head, sizeof head);
    } catch (CException* error) {
        error->Delete();
    }
    if (got != sizeof head) {
        return kMapOpenHeaderUnread;
    }
    const container::GridHeader header = container::DecodeHeader(head);
    if (!container::HasMagic(header, container::kMagic) || !container::IsPlausibleGrid(header)) {
        return kMapOpenBadMagic;
    }
    m_sourceHeader[part] = header;
    m_reader[part] = std::make_unique<CBlockReader>(file.get());
    m_source[part] = std::move(file);
    return kMapOpenOk;
}

int CMapDataConverter::Open(LPCWSTR sourceFolder, LPCWSTR temporaryFolder) {
    Close();
    m_temporaryFolder = temporaryFolder ? temporaryFolder : u"";
    const int disc = std::clamp(GetDiscInUse().disc, 1, formats::source_disc::kDiscCount);
    int result = OpenSource(kMapPartOverview, InFolder(sourceFolder, kOverviewSourceFile));
    if (result == kMapOpenOk) {
        result = OpenSource(kMapPartDetailed, InFolder(sourceFolder, DetailedSourceName(disc)));
    }
    if (result != kMapOpenOk) {
        Close();
        return result;
    }
    m_detailedDisc = disc;
    for (int part = 0; part < kMapPartCount; ++part) {
        container::GridHeader output = m_sourceHeader[part];
        const CutWindow window = m_pCut ? m_pCut->m_window[part] : CutWindow{};
        output.firstColumn = m_sourceHeader[part].firstColumn + window.firstColumn;
        output.firstRow = m_sourceHeader[part].firstRow + window.firstRow;
        output.columns = std::max(window.columnCount, 0);
        output.rows = std::max(window.rowCount, 0);
        m_outputHeader[part] = output;
    }
    return kMapOpenOk;
}

int CMapDataConverter::OpenPart2(int disc) {
    std::u16string folder;
    int result = 1;
    if (m_findDisc && m_source[kMapPartDetailed] && disc >= 2 &&
        disc <= formats::source_disc::kDiscCount &&
        m_findDisc(FirstColumnOfDisc(disc), &folder) == 0) {
        const container::GridHeader previous = m_sourceHeader[kMapPartDetailed];
        auto file = std::move(m_source[kMapPartDetailed]);
        auto reader = std::move(m_reader[kMapPartDetailed]);
        const std::u16string path = InFolder(folder, DetailedSourceName(disc));
        if (OpenSource(kMapPartDetailed, path) != kMapOpenOk) {
            NoteFileFault(path, u"cannot be opened or is not a map container");
        } else {
            const container::GridHeader& next = m_sourceHeader[kMapPartDetailed];
            uint8_t a[container::kHeaderSize];
            uint8_t b[container::kHeaderSize];
            container::EncodeHeader(previous, a);
            container::EncodeHeader(next, b);
            // Every disc's detailed source carries the head of the one detailed grid;
            // another head would put the cells in the wrong places.
            if (std::memcmp(a, b, sizeof a) == 0) {
                file->Abort();
                m_detailedDisc = disc;
                result = 0;
            } else {
                NoteFileFault(path, u"its grid is not that of the first disc's detailed map");
            }
        }
        if (result != 0) {
            if (m_source[kMapPartDetailed]) {
                m_source[kMapPartDetailed]->Abort();
            }
            m_source[kMapPartDetailed] = std::move(file);
            m_reader[kMapPartDetailed] = std::move(reader);
            m_sourceHeader[kMapPartDetailed] = previous;
        }
    }
    if (result != 0) {
        MessageBoxW(nullptr, kCorruptedMapDataText, kCorruptedMapDataCaption, MB_OK | MB_ICONSTOP);
    }
    return result;
}

int32_t CMapDataConverter::FirstColumnOfDisc(int disc) const {
    const DiscInformation info = CurrentDiscInformation();
    switch (disc) {
        case 2:
            return info.disc2FirstColumn;
        case 3:
            return info.disc3FirstColumn;
        default:
            return 0;
    }
}

int32_t CMapDataConverter::EndColumnOfDisc(int disc) const {
    const DiscInformation info = CurrentDiscInformation();
    switch (disc) {
        case 1:
            return info.disc2FirstColumn;
        case 2:
            return info.disc3FirstColumn;
        default:
            return info.totalColumns;
    }
}

// The reports delete the temporary folder: files still open there would stay.
namespace {

void PostQuitRequest() {
    // A damaged chunk means a damaged disc: like the other reports of one, it ends
    // the desktop program, whose message loop runs on the application's thread.
    // Without an application (the headless tool) the request goes to the calling
    // thread's queue.
    CWinApp* app = AfxGetApp();
    if (app && app->m_nThreadID != 0)
        PostThreadMessageW(app->m_nThreadID, WM_QUIT, 0, 0);
    else
        PostQuitMessage(0);
}

std::u16string NumberText(uint64_t value) {
    return platform::Utf8ToWide(std::to_string(value));
}

}  // namespace

void CMapDataConverter::EndWithInternalError(Output& output, int line, int part,
                                             std::u16string_view fault) {
    if (part >= 0 && part < kMapPartCount && m_source[part] && !fault.empty())
        NoteFileFault(m_source[part]->GetFilePath(), fault);
    output.main.Abort();
    output.companion.Abort();
    ReportInternalError(0, line);
}

void CMapDataConverter::EndWithWriteFailure(Output& output) {
    output.main.Abort();
    output.companion.Abort();
    ReportLowDiskSpace(kErrorClassWrite, m_temporaryFolder.c_str());
}

int CMapDataConverter::PrepareCell(int part, uint32_t sourceOffset, bool reducedDetail,
                                   Output& output, size_t row, size_t cell) {
    CBlockReader& reader = *m_reader[part];
    bool inflated = false;
    try {
        m_source[part]->Seek(sourceOffset, CFile::begin);
        inflated = reader.ReadBlock() == 0;
    } catch (CException* error) {
        error->Delete();
    }
    if (!inflated) {
        EndWithInternalError(output, kMapInflateFailedLine, part,
                             u"the block of a cell at offset " + NumberText(sourceOffset) +
                                 u" does not inflate to its size");
    }
    static const LinkInfoOffsetTable kNoLinkInfo;
    PendingCell pending;
    pending.row = row;
    pending.cell = cell;
    const ChunkRewriteResult rewrite =
        RewriteChunk(reader.GetData(), reader.GetRawSize(), reducedDetail,
                     m_pLinkInfo ? *m_pLinkInfo : kNoLinkInfo, &pending.chunk);
    switch (rewrite.outcome) {
        case ChunkRewrite::NodeFailed:
            MessageBoxW(nullptr, kMapNodeErrorText, kMapErrorCaption, MB_OK | MB_SYSTEMMODAL);
            PostQuitRequest();
            return kMapWriteRecordFailed;
        case ChunkRewrite::LinkFailed: {
            WCHAR text[64];
            swprintf(text, 64, kMapLinkErrorFormat, rewrite.failedLink);
            MessageBoxW(nullptr, text, kMapErrorCaption, MB_OK | MB_SYSTEMMODAL);
            PostQuitRequest();
            return kMapWriteRecordFailed;
        }
        case ChunkRewrite::Dropped:
            ++m_figures[part].cellsDropped;
            return kMapWriteOk;
        case ChunkRewrite::Written:
            break;
    }

    if (output.hasCompanion) {
        // The rewritten chunk carries its final header.
        const int length = ClipMapGeometry(pending.chunk.data(), pending.chunk, &pending.companion);
        if (length == kClipHeaderUnread || length == kClipShapesUnread) {
            EndWithInternalError(output, kMapReadBackFailedLine);
        }
    }
    output.pendingBytes += pending.chunk.size() + pending.companion.size();
    output.cells.push_back(std::move(pending));
    return kMapWriteOk;
}

void CMapDataConverter::WritePending(int part, Output& output) {
    std::vector<const std::vector<uint8_t>*> raws;
    for (const PendingCell& cell : output.cells) {
        raws.push_back(&cell.chunk);
        if (!cell.companion.empty()) {
            raws.push_back(&cell.companion);
        }
    }
    std::vector<std::vector<uint8_t>> blocks;
    try {
        blocks = CompressBlocks(raws);
    } catch (const std::exception&) {
        // A block no reader accepts, or no memory for deflate: the file cannot be made.
        EndWithWriteFailure(output);
    }
    size_t next = 0;
    try {
        for (const PendingCell& cell : output.cells) {
            // Offsets are u32: a file that outgrows them cannot be written.
            if (output.mainEnd > UINT32_MAX || output.companionEnd > UINT32_MAX) {
                EndWithWriteFailure(output);
            }
            PendingRow& row = output.rows[cell.row];
            const size_t entry = cell.cell * container::kCellEntrySize;
            const std::vector<uint8_t>& main = blocks[next++];
            if (!cell.companion.empty()) {
                const std::vector<uint8_t>& companion = blocks[next++];
                output.companion.Seek(static_cast<LONGLONG>(output.companionEnd), CFile::begin);
                output.companion.Write(companion.data(), static_cast<UINT>(companion.size()));
                container::StoreU32(row.companionOffsets.data() + entry,
                                    static_cast<uint32_t>(output.companionEnd));
                output.companionEnd += companion.size();
                ++m_figures[part].companionCells;
            }
            output.main.Seek(static_cast<LONGLONG>(output.mainEnd), CFile::begin);
            output.main.Write(main.data(), static_cast<UINT>(main.size()));
            container::StoreU32(row.offsets.data() + entry, static_cast<uint32_t>(output.mainEnd));
            output.mainEnd += main.size();
            ++m_figures[part].cellsWritten;
        }
        for (const PendingRow& row : output.rows) {
            output.main.Seek(static_cast<LONGLONG>(row.tableOffset), CFile::begin);
            output.main.Write(row.offsets.data(), static_cast<UINT>(row.offsets.size()));
            if (output.hasCompanion) {
                output.companion.Seek(static_cast<LONGLONG>(row.tableOffset), CFile::begin);
                output.companion.Write(row.companionOffsets.data(),
                                       static_cast<UINT>(row.companionOffsets.size()));
            }
        }
    } catch (CException* error) {
        error->Delete();
        EndWithWriteFailure(output);
    }
    output.cells.clear();
    output.rows.clear();
    output.pendingBytes = 0;
}

void CMapDataConverter::WalkRange(const BinRange& range, int part, int32_t columnLow,
                                  int32_t columnHigh, Output& output,
                                  std::array<bool, 4>* discsNoted, int* failure) {
    const container::GridHeader& source = m_sourceHeader[part];
    const container::GridHeader& target = m_outputHeader[part];
    const CutWindow window = m_pCut->m_window[part];
    const int rows = std::min<int>(range.rowCount, static_cast<int>(range.spans.size()));
    for (int r = 0; r < rows && *failure == kMapWriteOk; ++r) {
        const int64_t row = int64_t{range.firstRow} + r;
        const ColumnSpan& span = range.spans[r];
        int64_t first = span.firstColumn;
        int64_t last = first + std::max(span.columnCount, 0);  // exclusive
        if (discsNoted && last > first) {
            // Columns of the whole grid decide the disc.
            for (int disc = 1; disc <= formats::source_disc::kDiscCount; ++disc) {
                if (first + source.firstColumn < EndColumnOfDisc(disc) &&
                    last + source.firstColumn > FirstColumnOfDisc(disc)) {
                    (*discsNoted)[disc] = true;
                }
            }
        }
        first = std::max({first, int64_t{columnLow} - source.firstColumn, int64_t{0},
                          int64_t{window.firstColumn}});
        last = std::min({last, int64_t{columnHigh} - source.firstColumn, int64_t{source.columns},
                         int64_t{window.firstColumn} + target.columns});
        if (first >= last || row < 0 || row >= source.rows || row < window.firstRow ||
            row >= int64_t{window.firstRow} + target.rows) {
            continue;
        }
        const size_t count = static_cast<size_t>(last - first);
        std::vector<uint8_t> entries(count * container::kCellEntrySize);
        bool read = false;
        try {
            m_source[part]->Seek(static_cast<LONGLONG>(container::CellEntryOffset(
                                     static_cast<uint32_t>(first + source.columns * row))),
                                 CFile::begin);
            read = m_source[part]->Read(entries.data(), static_cast<UINT>(entries.size())) ==
                   entries.size();
        } catch (CException* error) {
            error->Delete();
        }
        if (!read) {
            EndWithInternalError(output, kMapInflateFailedLine, part,
                                 u"its cell table is cut short");
        }
        const size_t rowIndex = output.rows.size();
        PendingRow& pendingRow = output.rows.emplace_back();
        pendingRow.tableOffset = container::CellEntryOffset(
            container::CellIndex(static_cast<int32_t>(first - window.firstColumn),
                                 static_cast<int32_t>(row - window.firstRow), target.columns));
        pendingRow.offsets.assign(entries.size(), 0);
        pendingRow.companionOffsets.assign(entries.size(), 0);
        for (size_t cell = 0; cell < count; ++cell) {
            if (g_cancelFlag.load() == 1) {
                *failure = kMapWriteCancelled;
                return;
            }
            const uint32_t sourceOffset =
                container::LoadU32(entries.data() + cell * container::kCellEntrySize);
            if (sourceOffset == 0) {
                continue;
            }
            *failure =
                PrepareCell(part, sourceOffset, range.reducedDetail != 0, output, rowIndex, cell);
            if (*failure != kMapWriteOk) {
                return;
            }
        }
        if (output.pendingBytes >= kPendingBytesLimit) {
            WritePending(part, output);
        }
    }
}

int CMapDataConverter::WritePart(LPCWSTR temporaryFolder, int part) {
    if (part < 0 || part >= kMapPartCount || !m_source[part] || !m_pCut) {
        return kMapWriteNotOpen;
    }
    m_temporaryFolder = temporaryFolder ? temporaryFolder : u"";
    m_figures[part] = MapPartFigures{};
    Output output;
    output.hasCompanion = part == kMapPartOverview;
    output.mainPath = InFolder(
        m_temporaryFolder, part == kMapPartOverview ? kOverviewOutputFile : kDetailedOutputFile);
    output.companionPath = InFolder(m_temporaryFolder, kCompanionOutputFile);

    const container::GridHeader& header = m_outputHeader[part];
    if (!container::IsPlausibleGrid(header)) {
        ReportInternalError(0, kMapBadWindowLine);  // a cut no reader could walk
    }
    const uint64_t tableEnd = container::TableEnd(header);
    auto writeHead = [&](CFile& file, const std::u16string& path) {
        if (!file.Open(path.c_str(), CFile::modeCreate | CFile::modeReadWrite)) {
            EndWithWriteFailure(output);
        }
        try {
            uint8_t head[container::kHeaderSize];
            container::EncodeHeader(header, head);
            file.Write(head, sizeof head);
            std::vector<uint8_t> zeros(static_cast<size_t>(
                std::min<uint64_t>(tableEnd - container::kHeaderSize, 1 << 20)));
            for (uint64_t left = tableEnd - container::kHeaderSize; left > 0;) {
                const UINT piece = static_cast<UINT>(std::min<uint64_t>(left, zeros.size()));
                file.Write(zeros.data(), piece);
                left -= piece;
            }
        } catch (CException* error) {
            error->Delete();
            EndWithWriteFailure(output);
        }
    };
    writeHead(output.main, output.mainPath);
    if (output.hasCompanion) {
        writeHead(output.companion, output.companionPath);
    }
    output.mainEnd = tableEnd;
    output.companionEnd = tableEnd;

    int failure = kMapWriteOk;
    const DiscInformation info = CurrentDiscInformation();
    // The detailed network is spread over the discs by split column; without the
    // disc information the disc in use is taken to hold every column.
    const bool overDiscs = part == kMapPartDetailed && info.totalColumns > 0;
    int disc = overDiscs ? m_detailedDisc : 0;
    for (int pass = 0; pass < formats::source_disc::kDiscCount && failure == kMapWriteOk; ++pass) {
        ++m_figures[part].passes;
        const int32_t low = overDiscs ? FirstColumnOfDisc(disc) : INT32_MIN;
        const int32_t high = overDiscs ? EndColumnOfDisc(disc) : INT32_MAX;
        std::array<bool, 4> noted{};
        for (const BinRange& range : m_pCut->m_binRanges[part]) {
            WalkRange(range, part, low, high, output, overDiscs ? &noted : nullptr, &failure);
            if (failure != kMapWriteOk) {
                break;
            }
        }
        if (failure != kMapWriteOk || !overDiscs) {
            break;
        }
        int next = 0;
        for (int d = disc + 1; d <= formats::source_disc::kDiscCount && next == 0; ++d) {
            next = noted[d] ? d : 0;
        }
        if (next == 0) {
            break;
        }
        if (OpenPart2(next) != 0) {
            failure = kMapWriteDiscFailed;
            break;
        }
        disc = next;
    }

    if (failure == kMapWriteOk) {
        WritePending(part, output);
        try {
            output.main.SetLength(output.mainEnd);
            m_figures[part].bytes = output.mainEnd;
            output.main.Close();
            if (output.hasCompanion) {
                output.companion.SetLength(output.companionEnd);
                m_figures[part].companionBytes = output.companionEnd;
                output.companion.Close();
            }
        } catch (CException* error) {
            error->Delete();
            EndWithWriteFailure(output);
        }
    } else {
        // A part that failed leaves no file that could pass for a finished one.
        output.main.Abort();
        DeleteFileW(output.mainPath.c_str());
        if (output.hasCompanion) {
            output.companion.Abort();
            DeleteFileW(output.companionPath.c_str());
        }
    }
    ReleaseCompressedBlockBuffer();
    if (m_source[part]) {
        m_reader[part] = std::make_unique<CBlockReader>(m_source[part].get());  // frees its buffer
    }
    return failure;
}
