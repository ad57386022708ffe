// The road network containers of the device: "mapdata1.biz" (overview network),
// its companion "mapdatat.biz" and "mapdata2.biz" (detailed network), cut from the
// source containers of the data discs cell by cell. Each kept cell's chunk is
// rewritten record by record (link-information values renumbered, reduced detail
// applied, cells without any kept link dropped) and compressed in place.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "mapferry/convert/compressed_block.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/renumbering.h"
#include "platform/afx/afx_file.h"

// Parts of the converter: the overview network (cut layer 0) and the detailed one
// (cut layer 1).
inline constexpr int kMapPartOverview = 0;
inline constexpr int kMapPartDetailed = 1;
inline constexpr int kMapPartCount = 2;

// Results of CMapDataConverter::Open.
inline constexpr int kMapOpenOk = 0;
inline constexpr int kMapOpenSourceMissing = 1;
inline constexpr int kMapOpenHeaderUnread = 2;
inline constexpr int kMapOpenBadMagic = 3;  // also a head whose grid cannot be walked

// Results of CMapDataConverter::WritePart.
inline constexpr int kMapWriteOk = 0;
inline constexpr int kMapWriteRecordFailed = 3;
inline constexpr int kMapWriteDiscFailed = 4;
// The cancel flag stopped the walk; the incomplete outputs are deleted.
inline constexpr int kMapWriteCancelled = 5;
// The sources are not open (Open failed or was not called).
inline constexpr int kMapWriteNotOpen = 6;

// The internal-error line of a source block that does not inflate.
inline constexpr int kMapInflateFailedLine = 4282;
// The internal-error line of a cell whose written chunk cannot be read back.
inline constexpr int kMapReadBackFailedLine = 4290;
// The internal-error line of a cut window beyond any grid (more than
// formats::map_container::kMaxCells cells).
inline constexpr int kMapBadWindowLine = 4230;

// Source and output file names.
inline constexpr const char16_t* kOverviewSourceFile = u"mapdata1.raz";
inline constexpr const char16_t* kOverviewOutputFile = u"mapdata1.bin";
inline constexpr const char16_t* kCompanionOutputFile = u"mapdatat.biz";
inline constexpr const char16_t* kDetailedOutputFile = u"mapdata2.bin";

// The reports of the writer.
inline constexpr const char16_t* kMapNodeErrorText = u"Error reading map node\n";
inline constexpr const char16_t* kMapLinkErrorFormat = u"Error reading map link %d\n";
inline constexpr const char16_t* kMapErrorCaption = u"ERROR";
inline constexpr const char16_t* kCorruptedMapDataText = u"Corrupted map data";
inline constexpr const char16_t* kCorruptedMapDataCaption = u"Error";

// The reduced-detail mark the writer sets on every link of a reduced-detail range,
// and the class whose sc links such a range leaves out.
inline constexpr uint32_t kReducedDetailLinkBit = formats::chunk_payload::kReducedDetail;
inline constexpr uint32_t kReducedDetailDroppedClass = 0xC0;

// Brings the data disc that holds split column firstColumn into the drive
// (FindDataDisc(firstColumn, 1, ...)): 0 with the disc's "mapdata" folder, else
// non-zero. The generation driver supplies it.
using MapDiscFinder = std::function<int(int firstColumn, std::u16string* mapDataFolder)>;

// What one WritePart did, for the driver's figures and for tests.
struct MapPartFigures {
    uint32_t cellsWritten = 0;
    uint32_t cellsDropped = 0;    // no link with link information
    uint32_t companionCells = 0;  // part 0: cells with a companion block
    uint32_t passes = 0;          // discs walked
    uint64_t bytes = 0;           // size of the main output
    uint64_t companionBytes = 0;  // part 0: size of "mapdatat.biz"
};

// How one cell's chunk is rewritten, apart from the file handling (exposed for
// tests).
enum class ChunkRewrite {
    Written,     // the rewritten chunk is in the output
    Dropped,     // no sc or ed link kept a positive link-information value
    NodeFailed,  // a node, a shape point or a side node cannot be read
    LinkFailed,  // a link (or its inline points) cannot be read; see failedLink
};
struct ChunkRewriteResult {
    ChunkRewrite outcome = ChunkRewrite::Written;
    int failedLink = 0;
};
ChunkRewriteResult RewriteChunk(const uint8_t* chunk, size_t size, bool reducedDetail,
                                const LinkInfoOffsetTable& linkInfo, std::vector<uint8_t>* output);

class CMapDataConverter {
  public:
    // cut: the area cut the parts walk; linkInfo: the link information converter's
    // record offsets. Both must outlive the converter.
    CMapDataConverter(const CMapCut* cut, const LinkInfoOffsetTable* linkInfo);
    ~CMapDataConverter();
    CMapDataConverter(const CMapDataConverter&) = delete;
    CMapDataConverter& operator=(const CMapDataConverter&) = delete;

    void SetDiscFinder(MapDiscFinder finder) { m_findDisc = std::move(finder); }

    // Opens "mapdata1.raz" and the detailed source of the disc in use
    // (GetDiscInUse) in the source folder, reads their heads and makes the output
    // heads: the source head with the cut's window of the layer. kMapOpen... codes.
    int Open(LPCWSTR sourceFolder, LPCWSTR temporaryFolder);

    // Writes part 0 ("mapdata1.bin" and "mapdatat.biz") or part 1 ("mapdata2.bin")
    // into the temporary folder. kMapWrite... codes. A source block that does not
    // inflate and a temporary file that cannot be written end the process through
    // the internal-error reports.
    int WritePart(LPCWSTR temporaryFolder, int part);

    // Opens the detailed source of disc 2 or 3 in place of the current one, after
    // bringing that disc in. 0, or 1 after "Corrupted map data".
    int OpenPart2(int disc);

    void Close();

    const formats::map_container::GridHeader& SourceHeader(int part) const {
        return m_sourceHeader[part];
    }
    const formats::map_container::GridHeader& OutputHeader(int part) const {
        return m_outputHeader[part];
    }
    const MapPartFigures& Figures(int part) const { return m_figures[part]; }

  private:
    struct Source;
    struct PendingCell;
    struct PendingRow;
    struct Output;

    int OpenSource(int part, const std::u16string& path);
    void WalkRange(const BinRange& range, int part, int32_t columnLow, int32_t columnHigh,
                   Output& output, std::array<bool, 4>* discsNoted, int* failure);
    // Rewrites a cell's chunk (and makes its companion) into output's pending cells.
    int PrepareCell(int part, uint32_t sourceOffset, bool reducedDetail, Output& output, size_t row,
                    size_t cell);
    // Deflates the pending cells, appends their blocks in order and writes the
    // pending rows' cell tables.
    void WritePending(int part, Output& output);
    // Notes the part's source file and its fault (when given) before the report.
    [[noreturn]] void EndWithInternalError(Output& output, int line, int part = -1,
                                           std::u16string_view fault = {});
    [[noreturn]] void EndWithWriteFailure(Output& output);
    int32_t FirstColumnOfDisc(int disc) const;
    int32_t EndColumnOfDisc(int disc) const;

    const CMapCut* m_pCut;
    const LinkInfoOffsetTable* m_pLinkInfo;
    MapDiscFinder m_findDisc;
    std::array<std::unique_ptr<CFile>, kMapPartCount> m_source;
    std::array<std::unique_ptr<CBlockReader>, kMapPartCount> m_reader;
    std::array<formats::map_container::GridHeader, kMapPartCount> m_sourceHeader{};
    std::array<formats::map_container::GridHeader, kMapPartCount> m_outputHeader{};
    std::array<MapPartFigures, kMapPartCount> m_figures{};
    int m_detailedDisc = 1;  // the disc whose detailed source is open
    std::u16string m_temporaryFolder;
};
