#include "mapferry/convert/map_container_files.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/installer_services.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/paths.h"
#include "platform/user/user.h"
#include "tests/mapferry/convert/disc_fixture_maps.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;
namespace payload = formats::chunk_payload;
using maps_fixture::ChunkBuilder;
using maps_fixture::kRoad;
using maps_fixture::P;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A container file decoded: its head, its table and every non-empty cell's chunk.
struct Decoded {
    container::GridHeader header;
    std::vector<uint32_t> offsets;
    std::map<uint32_t, payload::Chunk> chunks;
    uint64_t blocksEnd = 0;  // where the last block ends
    uint64_t size = 0;
};

Decoded ReadContainer(const fs::path& path) {
    Decoded decoded;
    const std::string bytes = ReadBytes(path);
    decoded.size = bytes.size();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    EXPECT_GE(bytes.size(), container::kHeaderSize) << path;
    if (bytes.size() < container::kHeaderSize)
        return decoded;
    decoded.header = container::DecodeHeader(data);
    EXPECT_TRUE(container::HasMagic(decoded.header, container::kMagic));
    EXPECT_GE(bytes.size(), container::TableEnd(decoded.header));
    decoded.blocksEnd = container::TableEnd(decoded.header);
    CFile file;
    EXPECT_TRUE(file.Open(platform::HostPathText(path).c_str(), CFile::modeRead));
    CBlockReader reader(&file);
    for (uint32_t index = 0; index < container::CellCount(decoded.header); ++index) {
        const uint32_t offset = container::LoadU32(data + container::CellEntryOffset(index));
        decoded.offsets.push_back(offset);
        if (offset == 0)
            continue;
        file.Seek(offset, CFile::begin);
        EXPECT_EQ(reader.ReadBlock(), 0) << path << " cell " << index;
        decoded.blocksEnd = std::max<uint64_t>(decoded.blocksEnd, file.GetPosition());
        payload::Chunk chunk;
        EXPECT_EQ(payload::DecodeChunk(reader.GetData(), reader.GetRawSize(), chunk),
                  reader.GetRawSize())
            << path << " cell " << index << " is not one whole chunk";
        decoded.chunks[index] = std::move(chunk);
    }
    return decoded;
}

container::GridHeader Grid(float cellSize, int32_t columns, int32_t rows) {
    container::GridHeader grid;
    std::memcpy(grid.magic, container::kMagic, 4);
    grid.originLongitude = -100.0f;
    grid.originLatitude = 45.0f;
    grid.columns = columns;
    grid.rows = rows;
    grid.cellWidth = cellSize;
    grid.cellHeight = cellSize;
    return grid;
}

// A hand-made set of data discs: an overview grid of 2 x 2 cells and a detailed
// grid of 4 x 4, whose columns 0 | 1 | 2, 3 lie on discs 1 | 2 | 3.
struct HandDisc {
    fs::path base;
    container::GridHeader overview = Grid(0.04f, 2, 2);
    container::GridHeader detailed = Grid(0.02f, 4, 4);
    std::map<uint32_t, std::vector<uint8_t>> overviewCells;
    std::array<std::map<uint32_t, std::vector<uint8_t>>, 3> detailedCells;
    std::array<container::GridHeader, 3> detailedHeads{detailed, detailed, detailed};

    fs::path MapData(int disc) const { return base / ("CD" + std::to_string(disc)) / "mapdata"; }
    fs::path OverviewFile() const { return MapData(1) / "mapdata1.raz"; }
    fs::path DetailedFile(int disc) const {
        return MapData(disc) / ("mapdata2" + std::to_string(disc) + ".raz");
    }

    void Write() {
        for (int disc = 1; disc <= 3; ++disc)
            fs::create_directories(MapData(disc));
        discmaker::WriteBlockContainer(OverviewFile(), overview, container::kMagic, overviewCells);
        for (int disc = 1; disc <= 3; ++disc)
            discmaker::WriteBlockContainer(DetailedFile(disc), detailedHeads[disc - 1],
                                           container::kMagic, detailedCells[disc - 1]);
        WriteBytes(base / "cdinfo.ini", "1 1 2 4");
        std::string heads(72, '\0');
        container::EncodeHeader(overview, reinterpret_cast<uint8_t*>(heads.data()));
        container::EncodeHeader(detailed, reinterpret_cast<uint8_t*>(heads.data()) + 36);
        WriteBytes(base / "mh.ini", heads);
        ASSERT_NE(LoadDiscInformation(platform::HostPathText(base).c_str()).dataVersion, 0);
        SetDiscInUse({1, 0, 1, platform::HostPathText(MapData(1))});
    }
};

BinRange Range(int32_t firstRow, std::vector<ColumnSpan> spans, uint32_t reduced = 0) {
    BinRange range;
    range.reducedDetail = reduced;
    range.firstRow = firstRow;
    range.rowCount = static_cast<int32_t>(spans.size());
    range.spans = std::move(spans);
    return range;
}

// Record r of "linkinfo.raz" lies at 1000 + 100 r in "linkinfo.bin", when kept.
LinkInfoOffsetTable LinkInfo(std::vector<uint32_t> kept) {
    LinkInfoOffsetTable table(20, kNotRenumbered);
    for (uint32_t record : kept)
        table[record] = 1000 + 100 * record;
    return table;
}

class MapContainerTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
        g_cancelFlag.store(0);
        SetTemporaryFolder(u"");
        disc_.base = roots_.base() / "discs";
        temp_ = roots_.base() / "tmp";
        fs::create_directories(temp_);
    }
    void TearDown() override {
        g_cancelFlag.store(0);
        SetTemporaryFolder(u"");
        SetDiscInUse({});
        platform::SetCurrentSide(platform::Side::Device);
    }

    std::u16string Temp() const { return platform::HostPathText(temp_); }
    std::u16string Source() const { return platform::HostPathText(disc_.MapData(1)); }

    // The cut the overview tests convert with.
    static CMapCut OverviewCut() {
        CMapCut cut;
        cut.m_window[0] = CutWindow{0, 2, 0, 2};
        cut.m_binRanges[0] = {Range(0, {{0, 2}, {0, 2}})};
        return cut;
    }

    int Convert(CMapDataConverter& converter, int part) {
        EXPECT_EQ(converter.Open(Source().c_str(), Temp().c_str()), kMapOpenOk);
        return converter.WritePart(Temp().c_str(), part);
    }

    HandDisc disc_;
    fs::path temp_;
};

// ---- The overview part -------------------------------------------------------------

// Cell 0: two nodes, a link of record 1 with two shape points and an ed link of
// record 5 to a border node; cell 1: only a link of record 2; cell 3: record 4.
void FillOverview(HandDisc& disc) {
    ChunkBuilder a;
    const uint16_t n0 = a.Node(P(45.01f, -99.99f));
    const uint16_t n1 = a.Node(P(45.02f, -99.97f));
    a.Sc(n0, n1, 1, kRoad, {P(45.015f, -99.99f), P(45.02f, -99.98f)});
    a.Border(payload::kSideEast, P(45.02f, -99.96f));
    a.Ed(n1, 2, 5, kRoad, {P(45.02f, -99.965f)});
    payload::Chunk chunk = a.Finish();
    chunk.nodes[0].countByte |= 0xF0;  // 0x40 is kept, 0xB0 is not
    chunk.header.slotWords = 99;       // recomputed from the nodes
    disc.overviewCells[0] = payload::EncodeChunk(chunk);

    ChunkBuilder b;
    b.Sc(b.Node(P(45.01f, -99.95f)), b.Node(P(45.02f, -99.95f)), 2);
    disc.overviewCells[1] = b.Bytes();
    ChunkBuilder d;
    d.Sc(d.Node(P(45.05f, -99.95f)), d.Node(P(45.06f, -99.95f)), 4);
    disc.overviewCells[3] = d.Bytes();
}

TEST_F(MapContainerTest, OverviewCellsAreRewrittenRenumberedAndDropped) {
    FillOverview(disc_);
    disc_.Write();
    const CMapCut cut = OverviewCut();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 4});
    CMapDataConverter converter(&cut, &linkInfo);
    ASSERT_EQ(Convert(converter, kMapPartOverview), kMapWriteOk);

    const Decoded main = ReadContainer(temp_ / "mapdata1.bin");
    // The head is "mh.ini"'s overview head, its window the cut's.
    const std::string heads = ReadBytes(disc_.base / "mh.ini");
    EXPECT_EQ(ReadBytes(temp_ / "mapdata1.bin").substr(0, 36), heads.substr(0, 36));
    // Cell 1 has no kept link and cell 2 no source block.
    ASSERT_EQ(main.offsets.size(), 4u);
    EXPECT_NE(main.offsets[0], 0u);
    EXPECT_EQ(main.offsets[1], 0u);
    EXPECT_EQ(main.offsets[2], 0u);
    EXPECT_NE(main.offsets[3], 0u);
    EXPECT_EQ(main.size, main.blocksEnd) << "the dropped cell's bytes were overwritten";

    const payload::Chunk& first = main.chunks.at(0);
    ASSERT_EQ(first.scLinks.size(), 1u);
    EXPECT_EQ(first.scLinks[0].body.linkId, 1100);
    EXPECT_EQ(first.auxPoints.size(), 2u);
    EXPECT_EQ(first.nodes[0].countByte, 0x41) << "count byte kept with 0x4F";
    EXPECT_EQ(first.header.slotWords, 1);
    ASSERT_EQ(first.edLinks.size(), 1u);
    EXPECT_EQ(first.edLinks[0].body.linkId, -1);
    EXPECT_EQ(first.edLinks[0].ShapeCount(), 0u) << "an ed link without link information";
    EXPECT_EQ(main.chunks.at(3).scLinks[0].body.linkId, 1400);

    // The companion has the same head and a block for each kept cell.
    const Decoded companion = ReadContainer(temp_ / "mapdatat.biz");
    EXPECT_EQ(ReadBytes(temp_ / "mapdatat.biz").substr(0, 36), heads.substr(0, 36));
    ASSERT_EQ(companion.offsets.size(), 4u);
    for (uint32_t cell = 0; cell < 4; ++cell)
        EXPECT_EQ(companion.offsets[cell] != 0, main.offsets[cell] != 0) << "cell " << cell;
    EXPECT_EQ(companion.size, companion.blocksEnd);
    EXPECT_EQ(companion.chunks.at(0).scLinks.size(), 1u);
    const MapPartFigures& figures = converter.Figures(kMapPartOverview);
    EXPECT_EQ(figures.cellsWritten, 2u);
    EXPECT_EQ(figures.cellsDropped, 1u);
    EXPECT_EQ(figures.companionCells, 2u);
}

TEST_F(MapContainerTest, OutputWindowIsTheCutsWindow) {
    FillOverview(disc_);
    disc_.Write();
    struct Case {
        const char* what;
        CutWindow window;
        std::vector<BinRange> ranges;
        std::vector<bool> filled;
    };
    const Case cases[] = {
        {"the east column", {1, 1, 0, 2}, {Range(0, {{0, 2}, {0, 2}})}, {false, true}},
        {"a range wholly outside the source grid",
         {5, 2, 5, 2},
         {Range(5, {{5, 2}, {5, 2}})},
         {false, false, false, false}},
        {"no range at all", {0, 2, 0, 2}, {}, {false, false, false, false}},
    };
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 4});
    for (const Case& c : cases) {
        CMapCut cut;
        cut.m_window[0] = c.window;
        cut.m_binRanges[0] = c.ranges;
        CMapDataConverter converter(&cut, &linkInfo);
        ASSERT_EQ(Convert(converter, kMapPartOverview), kMapWriteOk) << c.what;
        for (const char* name : {"mapdata1.bin", "mapdatat.biz"}) {
            const Decoded out = ReadContainer(temp_ / name);
            EXPECT_EQ(out.header.firstColumn, c.window.firstColumn) << c.what;
            EXPECT_EQ(out.header.firstRow, c.window.firstRow) << c.what;
            EXPECT_EQ(out.header.columns, c.window.columnCount) << c.what;
            EXPECT_EQ(out.header.rows, c.window.rowCount) << c.what;
            EXPECT_EQ(out.header.cellWidth, disc_.overview.cellWidth);
            EXPECT_EQ(out.header.originLongitude, disc_.overview.originLongitude);
            std::vector<bool> filled;
            for (uint32_t offset : out.offsets)
                filled.push_back(offset != 0);
            EXPECT_EQ(filled, c.filled) << c.what << " in " << name;
            EXPECT_EQ(out.size, out.blocksEnd) << c.what;
        }
    }
}

TEST_F(MapContainerTest, ACellWithoutCompanionChunkHasNoCompanionOffset) {
    ChunkBuilder bad;  // a link to a node the chunk does not have: no companion
    bad.Sc(bad.Node(P(45.01f, -99.99f)), bad.Node(P(45.02f, -99.99f)), 1);
    bad.chunk.scLinks[0].toRef = 7;
    FillOverview(disc_);
    disc_.overviewCells[0] = bad.Bytes();
    disc_.Write();
    const CMapCut cut = OverviewCut();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 4});
    CMapDataConverter converter(&cut, &linkInfo);
    ASSERT_EQ(Convert(converter, kMapPartOverview), kMapWriteOk);
    const Decoded main = ReadContainer(temp_ / "mapdata1.bin");
    const Decoded companion = ReadContainer(temp_ / "mapdatat.biz");
    EXPECT_NE(main.offsets[0], 0u);
    EXPECT_EQ(companion.offsets[0], 0u) << "no offset that would lead to the next cell's block";
    EXPECT_NE(companion.offsets[3], 0u);
    EXPECT_EQ(companion.size, companion.blocksEnd);
}

TEST_F(MapContainerTest, AWindowBeyondAnyGridEndsThroughTheInternalErrorReport) {
    FillOverview(disc_);
    disc_.Write();
    CMapCut cut;
    cut.m_window[0] = CutWindow{0, 100000, 0, 100000};
    const LinkInfoOffsetTable linkInfo;
    CMapDataConverter converter(&cut, &linkInfo);
    try {
        Convert(converter, kMapPartOverview);
        ADD_FAILURE() << "the part returned";
    } catch (const platform::ProcessExit& exit) {
        EXPECT_EQ(exit.exitCode, kReportExitCode);
    }
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Internal error line 4230 Please contact technical support");
}

TEST_F(MapContainerTest, ReducedDetailDropsShapesAndClassThreeLinks) {
    ChunkBuilder builder;
    const uint16_t a = builder.Node(P(45.01f, -99.99f));
    const uint16_t b = builder.Node(P(45.02f, -99.99f));
    const uint16_t c = builder.Node(P(45.03f, -99.98f));
    builder.Sc(a, b, 1, kRoad, {P(45.012f, -99.985f), P(45.015f, -99.99f), P(45.018f, -99.985f)});
    builder.Sc(b, c, 2, (kRoad & ~payload::kClassMask) | 0xC0, {P(45.025f, -99.99f)});
    builder.Sc(a, c, 3, (kRoad & ~payload::kClassMask) | 0x80);
    builder.Border(payload::kSideNorth, P(45.04f, -99.98f));
    builder.Ed(c, 3, 4, kRoad, {P(45.035f, -99.98f), P(45.038f, -99.98f)});
    disc_.overviewCells[0] = builder.Bytes();
    disc_.Write();
    CMapCut cut;
    cut.m_window[0] = CutWindow{0, 1, 0, 1};
    cut.m_binRanges[0] = {Range(0, {{0, 1}}, 1)};
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 2, 3, 4});
    CMapDataConverter converter(&cut, &linkInfo);
    ASSERT_EQ(Convert(converter, kMapPartOverview), kMapWriteOk);

    const payload::Chunk chunk = ReadContainer(temp_ / "mapdata1.bin").chunks.at(0);
    EXPECT_EQ(chunk.header.auxCount, 0);
    EXPECT_TRUE(chunk.auxPoints.empty());
    ASSERT_EQ(chunk.header.scLinkCount, 2) << "the class 0xC0 link is gone";
    EXPECT_EQ(chunk.scLinks[0].body.linkId, 1100);
    EXPECT_EQ(chunk.scLinks[1].body.linkId, 1300);
    ASSERT_EQ(chunk.edLinks.size(), 1u);
    for (const payload::LinkRecord* link :
         {&chunk.scLinks[0], &chunk.scLinks[1], &chunk.edLinks[0]}) {
        EXPECT_EQ(link->ShapeCount(), 0u);
        EXPECT_TRUE(link->body.attributes & kReducedDetailLinkBit);
    }
    EXPECT_TRUE(chunk.edLinks[0].inlinePoints.empty());
    EXPECT_EQ(chunk.edLinks[0].body.linkId, 1400);
}

// ---- The detailed part over the discs ----------------------------------------------

class DiscFinderLog {
  public:
    explicit DiscFinderLog(const HandDisc& disc, int failAtColumn = -1)
        : m_disc(disc), m_failAt(failAtColumn) {}
    MapDiscFinder Finder() {
        return [this](int firstColumn, std::u16string* folder) {
            columns.push_back(firstColumn);
            if (firstColumn == m_failAt)
                return 2;
            *folder = platform::HostPathText(m_disc.MapData(firstColumn == 1 ? 2 : 3));
            return 0;
        };
    }
    std::vector<int> columns;

  private:
    const HandDisc& m_disc;
    int m_failAt;
};

std::vector<uint8_t> OneLinkChunk(int32_t record) {
    ChunkBuilder builder;
    builder.Sc(builder.Node(P(45.001f, -99.999f)), builder.Node(P(45.002f, -99.999f)), record);
    return builder.Bytes();
}

void FillDetailed(HandDisc& disc) {
    disc.detailedCells[0][0] = OneLinkChunk(1);
    disc.detailedCells[0][1] = OneLinkChunk(9);  // column 1 belongs to disc 2
    disc.detailedCells[1][1] = OneLinkChunk(2);
    disc.detailedCells[2][3] = OneLinkChunk(3);
}

TEST_F(MapContainerTest, DetailedPartWalksEachDiscThatHoldsTheCut) {
    FillDetailed(disc_);
    disc_.Write();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 2, 3, 9});
    struct Case {
        const char* what;
        CutWindow window;
        std::vector<BinRange> ranges;
        std::vector<int> asked;  // first columns of the discs asked for
        std::vector<int32_t> linkInfo;
    };
    const Case cases[] = {
        {"all three discs", {0, 4, 0, 1}, {Range(0, {{0, 4}})}, {1, 2}, {1100, 1200, 0, 1300}},
        {"disc 1 only", {0, 1, 0, 1}, {Range(0, {{0, 1}})}, {}, {1100}},
        {"discs 1 and 3 with nothing of disc 2",
         {0, 4, 0, 1},
         {Range(0, {{0, 1}}), Range(0, {{3, 1}})},
         {2},
         {1100, 0, 0, 1300}},
        {"disc 3 only, from disc 1", {3, 1, 0, 1}, {Range(0, {{3, 1}})}, {2}, {1300}},
    };
    for (const Case& c : cases) {
        CMapCut cut;
        cut.m_window[1] = c.window;
        cut.m_binRanges[1] = c.ranges;
        DiscFinderLog log(disc_);
        CMapDataConverter converter(&cut, &linkInfo);
        converter.SetDiscFinder(log.Finder());
        ASSERT_EQ(Convert(converter, kMapPartDetailed), kMapWriteOk) << c.what;
        EXPECT_EQ(log.columns, c.asked) << c.what;
        const Decoded out = ReadContainer(temp_ / "mapdata2.bin");
        std::vector<int32_t> values;
        for (uint32_t cell = 0; cell < out.offsets.size(); ++cell)
            values.push_back(out.offsets[cell] ? out.chunks.at(cell).scLinks[0].body.linkId : 0);
        EXPECT_EQ(values, c.linkInfo) << c.what;
        EXPECT_EQ(out.size, out.blocksEnd) << c.what;
        EXPECT_FALSE(fs::exists(temp_ / "mapdatat.biz")) << "the detailed part has no companion";
    }
}

TEST_F(MapContainerTest, ADiscThatCannotBeOpenedFailsTheDetailedPart) {
    FillDetailed(disc_);
    disc_.detailedHeads[2].originLatitude = 46.0f;  // disc 3 of another grid
    disc_.Write();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 2, 3});
    struct Case {
        const char* what;
        int failAtColumn;
        std::vector<int> asked;
    };
    const Case cases[] = {
        {"disc 2 not found", 1, {1}},
        {"disc 3 holds another grid", -1, {1, 2}},
    };
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        CMapCut cut;
        cut.m_window[1] = CutWindow{0, 4, 0, 1};
        cut.m_binRanges[1] = {Range(0, {{0, 4}})};
        DiscFinderLog log(disc_, c.failAtColumn);
        CMapDataConverter converter(&cut, &linkInfo);
        converter.SetDiscFinder(log.Finder());
        EXPECT_EQ(Convert(converter, kMapPartDetailed), kMapWriteDiscFailed) << c.what;
        EXPECT_EQ(log.columns, c.asked) << c.what;
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].text, kCorruptedMapDataText);
        EXPECT_EQ(boxes[0].caption, kCorruptedMapDataCaption);
        EXPECT_FALSE(fs::exists(temp_ / "mapdata2.bin")) << c.what;
    }
}

// ---- Bad sources ---------------------------------------------------------------------

TEST_F(MapContainerTest, ARecordThatCannotBeCopiedFailsThePartWithItsReport) {
    ChunkBuilder builder;
    const uint16_t a = builder.Node(P(45.01f, -99.99f), {0x01});
    const uint16_t b = builder.Node(P(45.02f, -99.99f));
    builder.Sc(a, b, 1, kRoad, {P(45.015f, -99.99f)});
    builder.Sc(b, a, 2);
    const std::vector<uint8_t> good = builder.Bytes();
    const size_t nodes = payload::kHeaderSize + 8;
    const size_t links = nodes + (1 + 1 + 1 + 8) + (1 + 1 + 8);  // two nodes, one named

    struct Case {
        const char* what;
        std::vector<uint8_t> chunk;
        std::u16string text;
    };
    std::vector<uint8_t> longName = good;
    longName[nodes] = 16;
    Case cases[] = {
        {"a node name of 16 bytes", longName, kMapNodeErrorText},
        {"a chunk cut in its shape points",
         {good.begin(), good.begin() + nodes - 3},
         kMapNodeErrorText},
        {"a chunk cut in its second node",
         {good.begin(), good.begin() + links - 4},
         kMapNodeErrorText},
        {"a chunk cut in its second link",
         {good.begin(), good.begin() + links + payload::kLinkRecordSize + 5},
         u"Error reading map link 1\n"},
        {"a chunk shorter than its header", {good.begin(), good.begin() + 20}, kMapNodeErrorText},
    };
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 2});
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        disc_.overviewCells[0] = c.chunk;
        disc_.overviewCells[3] = good;
        disc_.Write();
        const CMapCut cut = OverviewCut();
        CMapDataConverter converter(&cut, &linkInfo);
        EXPECT_EQ(Convert(converter, kMapPartOverview), kMapWriteRecordFailed) << c.what;
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].text, c.text) << c.what;
        EXPECT_EQ(boxes[0].caption, kMapErrorCaption);
        EXPECT_TRUE(boxes[0].type & MB_SYSTEMMODAL);
        EXPECT_FALSE(fs::exists(temp_ / "mapdata1.bin")) << c.what;
        EXPECT_FALSE(fs::exists(temp_ / "mapdatat.biz")) << c.what;
        // Without an application the quit request reaches the converting thread.
        MSG msg;
        EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << c.what;
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT)) << c.what;
    }
}

TEST_F(MapContainerTest, ABlockThatDoesNotInflateEndsThroughTheInternalErrorReport) {
    FillOverview(disc_);
    disc_.Write();
    const std::string good = ReadBytes(disc_.OverviewFile());
    const uint32_t firstBlock = container::LoadU32(reinterpret_cast<const uint8_t*>(good.data()) +
                                                   container::CellEntryOffset(0));
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string garbled = good;
    for (size_t at = firstBlock + 10; at < firstBlock + 40; ++at)
        garbled[at] = static_cast<char>(0xA5);
    std::string beyond = good;
    container::StoreU32(reinterpret_cast<uint8_t*>(beyond.data()) + container::CellEntryOffset(0),
                        static_cast<uint32_t>(good.size() + 100));
    std::string huge = good;  // a raw size no reader accepts
    container::StoreU32(reinterpret_cast<uint8_t*>(huge.data()) + firstBlock + 4, 0xFFFFFFF0u);
    const Case cases[] = {
        {"a garbled stream", garbled},
        {"an offset beyond the file", beyond},
        {"an implausible raw size", huge},
        {"a table cut short", good.substr(0, 40)},
    };
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 2, 4});
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        WriteBytes(disc_.OverviewFile(), c.bytes);
        fs::create_directories(temp_);
        SetTemporaryFolder(Temp());
        const CMapCut cut = OverviewCut();
        CMapDataConverter converter(&cut, &linkInfo);
        ASSERT_EQ(converter.Open(Source().c_str(), Temp().c_str()), kMapOpenOk) << c.what;
        try {
            converter.WritePart(Temp().c_str(), kMapPartOverview);
            ADD_FAILURE() << c.what << ": the part returned";
        } catch (const platform::ProcessExit& exit) {
            EXPECT_EQ(exit.exitCode, kReportExitCode);
        }
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << c.what;
        EXPECT_EQ(boxes[0].text, u"Internal error line 4282 Please contact technical support");
        EXPECT_FALSE(fs::exists(temp_)) << c.what << ": the temporary folder is deleted";
    }
}

TEST_F(MapContainerTest, AFullDiskEndsThroughTheLowDiskSpaceReport) {
    FillOverview(disc_);
    disc_.Write();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 4});
    // The heads and tables take 2 x 52 bytes; the cells come after them.
    for (ULONGLONG allowance : {ULONGLONG{40}, ULONGLONG{120}, ULONGLONG{300}}) {
        platform::ClearMessageBoxes();
        fs::create_directories(temp_);
        SetTemporaryFolder(Temp());
        ASSERT_TRUE(platform::SetDiskFreeSpace(Temp().c_str(),
                                               {10 * 1048576, 1000 * 1048576, 10 * 1048576}));
        const CMapCut cut = OverviewCut();
        CMapDataConverter converter(&cut, &linkInfo);
        ASSERT_EQ(converter.Open(Source().c_str(), Temp().c_str()), kMapOpenOk);
        platform::FailWritesAfter(allowance);
        try {
            converter.WritePart(Temp().c_str(), kMapPartOverview);
            ADD_FAILURE() << allowance << ": the part returned";
        } catch (const platform::ProcessExit& exit) {
            EXPECT_EQ(exit.exitCode, kReportExitCode);
        }
        platform::ClearWriteFailure();
        platform::ClearDiskFreeSpace();
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u) << allowance;
        EXPECT_EQ(boxes[0].text, u"Error writing temporary file - low on disk space 10.00 MB.");
        EXPECT_FALSE(fs::exists(temp_)) << allowance;
    }
}

TEST_F(MapContainerTest, OpenTellsWhichSourceFailed) {
    FillOverview(disc_);
    FillDetailed(disc_);
    disc_.Write();
    const std::string overview = ReadBytes(disc_.OverviewFile());
    std::string otherMagic = overview;
    otherMagic[3] = '4';
    std::string badGrid = overview;
    container::StoreI32(reinterpret_cast<uint8_t*>(badGrid.data()) + container::kColumnsOffset, -2);
    struct Case {
        const char* what;
        fs::path file;
        const char* bytes;  // null: the file is removed
        size_t size;
        int result;
    };
    const Case cases[] = {
        {"no overview source", disc_.OverviewFile(), nullptr, 0, kMapOpenSourceMissing},
        {"no detailed source", disc_.DetailedFile(1), nullptr, 0, kMapOpenSourceMissing},
        {"a head cut short", disc_.OverviewFile(), overview.data(), 30, kMapOpenHeaderUnread},
        {"another magic", disc_.OverviewFile(), otherMagic.data(), otherMagic.size(),
         kMapOpenBadMagic},
        {"a grid of negative columns", disc_.OverviewFile(), badGrid.data(), badGrid.size(),
         kMapOpenBadMagic},
    };
    CMapCut cut;
    const LinkInfoOffsetTable linkInfo;
    for (const Case& c : cases) {
        disc_.Write();
        if (c.bytes)
            WriteBytes(c.file, std::string(c.bytes, c.size));
        else
            fs::remove(c.file);
        CMapDataConverter converter(&cut, &linkInfo);
        EXPECT_EQ(converter.Open(Source().c_str(), Temp().c_str()), c.result) << c.what;
        EXPECT_EQ(converter.WritePart(Temp().c_str(), kMapPartOverview), kMapWriteNotOpen)
            << c.what << ": a part without sources writes nothing";
    }
}

TEST_F(MapContainerTest, CancelStopsBetweenCellsAndLeavesNoOutput) {
    FillOverview(disc_);
    disc_.Write();
    const CMapCut cut = OverviewCut();
    const LinkInfoOffsetTable linkInfo = LinkInfo({1, 4});
    CMapDataConverter converter(&cut, &linkInfo);
    g_cancelFlag.store(1);
    EXPECT_EQ(Convert(converter, kMapPartOverview), kMapWriteCancelled);
    EXPECT_FALSE(fs::exists(temp_ / "mapdata1.bin"));
    EXPECT_FALSE(fs::exists(temp_ / "mapdatat.biz"));
}

// ---- Whole discs --------------------------------------------------------------------

struct DiscRun {
    double seconds = 0;
    uint64_t overviewBytes = 0;
    uint64_t companionBytes = 0;
    uint64_t detailedBytes = 0;
    uint32_t cells = 0;
    uint32_t dropped = 0;
};

// Every cell of both grids, with every third record of "linkinfo.raz" not kept
// when dropSome; checks each output cell against its source cell.
DiscRun ConvertWholeDisc(const fs::path& out, const fs::path& temp, bool dropSome) {
    DiscRun run;
    const DiscInformation info = LoadDiscInformation(platform::HostPathText(out).c_str());
    EXPECT_NE(info.dataVersion, 0);
    SetDiscInUse({1, 0, info.disc2FirstColumn, platform::HostPathText(out / "CD1" / "mapdata")});
    auto discFolder = [&](int disc) { return out / ("CD" + std::to_string(disc)) / "mapdata"; };

    // The sources, decoded: the overview, and each detailed cell from its disc.
    std::array<Decoded, 2> sources;
    sources[0] = ReadContainer(discFolder(1) / "mapdata1.raz");
    for (int disc = 1; disc <= 3; ++disc) {
        Decoded part =
            ReadContainer(discFolder(disc) / ("mapdata2" + std::to_string(disc) + ".raz"));
        if (disc == 1)
            sources[1] = part;
        for (auto& [cell, chunk] : part.chunks)
            sources[1].chunks[cell] = chunk;
    }
    int32_t highest = 0;
    for (const Decoded& source : sources)
        for (const auto& [cell, chunk] : source.chunks) {
            for (const auto& link : chunk.scLinks)
                highest = std::max(highest, link.body.linkId);
            for (const auto& link : chunk.edLinks)
                highest = std::max(highest, link.body.linkId);
        }
    LinkInfoOffsetTable linkInfo(static_cast<size_t>(highest) + 1);
    for (size_t record = 0; record < linkInfo.size(); ++record)
        linkInfo[record] =
            dropSome && record % 3 == 2 ? kNotRenumbered : 8 + 24 * static_cast<uint32_t>(record);

    CMapCut cut;
    for (int layer = 0; layer < 2; ++layer) {
        const container::GridHeader& grid = sources[layer].header;
        cut.m_window[layer] = CutWindow{0, grid.columns, 0, grid.rows};
        cut.m_binRanges[layer] = {
            Range(0, std::vector<ColumnSpan>(static_cast<size_t>(grid.rows), {0, grid.columns}))};
    }
    CMapDataConverter converter(&cut, &linkInfo);
    converter.SetDiscFinder([&](int firstColumn, std::u16string* folder) {
        *folder = platform::HostPathText(discFolder(firstColumn == info.disc2FirstColumn ? 2 : 3));
        return 0;
    });
    const std::u16string tempText = platform::HostPathText(temp);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(converter.Open(platform::HostPathText(discFolder(1)).c_str(), tempText.c_str()),
              kMapOpenOk);
    EXPECT_EQ(converter.WritePart(tempText.c_str(), kMapPartOverview), kMapWriteOk);
    EXPECT_EQ(converter.WritePart(tempText.c_str(), kMapPartDetailed), kMapWriteOk);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const std::string heads = ReadBytes(out / "mh.ini");
    const char* names[2] = {"mapdata1.bin", "mapdata2.bin"};
    for (int layer = 0; layer < 2; ++layer) {
        const Decoded output = ReadContainer(temp / names[layer]);
        EXPECT_EQ(ReadBytes(temp / names[layer]).substr(0, 36), heads.substr(36 * layer, 36));
        EXPECT_EQ(output.size, output.blocksEnd);
        for (const auto& [cell, source] : sources[layer].chunks) {
            auto mapped = [&](int32_t id) {
                return static_cast<int32_t>(LinkInfoOffsetOf(linkInfo, static_cast<uint32_t>(id)));
            };
            bool anyKept = false;
            for (const auto& link : source.scLinks)
                anyKept = anyKept || mapped(link.body.linkId) > 0;
            for (const auto& link : source.edLinks)
                anyKept = anyKept || mapped(link.body.linkId) > 0;
            ++run.cells;
            if (!anyKept) {
                EXPECT_EQ(output.offsets[cell], 0u) << names[layer] << " cell " << cell;
                ++run.dropped;
                continue;
            }
            if (!output.chunks.count(cell)) {
                ADD_FAILURE() << names[layer] << " cell " << cell << " is missing";
                continue;
            }
            const payload::Chunk& written = output.chunks.at(cell);
            if (written.nodes.size() != source.nodes.size() ||
                written.scLinks.size() != source.scLinks.size() ||
                written.edLinks.size() != source.edLinks.size()) {
                ADD_FAILURE() << names[layer] << " cell " << cell << " lost records";
                continue;
            }
            EXPECT_EQ(written.auxPoints, source.auxPoints);
            for (size_t i = 0; i < source.scLinks.size(); ++i)
                EXPECT_EQ(written.scLinks[i].body.linkId, mapped(source.scLinks[i].body.linkId));
            for (size_t i = 0; i < source.edLinks.size(); ++i) {
                const int32_t value = mapped(source.edLinks[i].body.linkId);
                EXPECT_EQ(written.edLinks[i].body.linkId, value);
                EXPECT_EQ(written.edLinks[i].inlinePoints.size(),
                          value > 0 ? source.edLinks[i].inlinePoints.size() : 0u);
            }
            EXPECT_EQ(payload::NodeLinkBlockBytes(written.header),
                      payload::NodeLinkBlockBytes(source.header));
        }
    }
    const Decoded companion = ReadContainer(temp / "mapdatat.biz");
    const Decoded overview = ReadContainer(temp / "mapdata1.bin");
    for (const auto& [cell, chunk] : companion.chunks) {
        const payload::Chunk& main = overview.chunks.at(cell);
        EXPECT_LE(chunk.scLinks.size(), main.scLinks.size());
        EXPECT_LE(chunk.nodes.size(), main.nodes.size());
        for (const auto& link : chunk.scLinks) {
            EXPECT_LE(link.ShapeCount(), payload::kMaxShapePoints);
            EXPECT_LT(link.fromRef & payload::kRefIndexMask, chunk.nodes.size());
            EXPECT_LT(link.toRef & payload::kRefIndexMask, chunk.nodes.size());
        }
    }
    run.overviewBytes = overview.size;
    run.companionBytes = companion.size;
    run.detailedBytes = converter.Figures(kMapPartDetailed).bytes;
    EXPECT_EQ(converter.Figures(kMapPartOverview).companionCells, companion.chunks.size());
    return run;
}

TEST_F(MapContainerTest, TownDiscConvertsCellForCell) {
    discmaker::Network town = discmaker::BuildTown(7, 400);
    const fs::path out = roots_.base() / "town";
    discmaker::BuildDiscs(town, out);
    const DiscRun run = ConvertWholeDisc(out, temp_, true);
    EXPECT_GT(run.cells, run.dropped);
    EXPECT_GT(run.dropped, 0u) << "some cells hold only links without link information";
}

using testing_support::SharedOsmFolder;

TEST_F(MapContainerTest, AndorraDiscConverts) {
    const fs::path file = SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(file))
        GTEST_SKIP() << "no " << file.string() << ": the shared OpenStreetMap data is not here";
    discmaker::Network network = discmaker::ReadOsm(file, "ON");
    const fs::path out = roots_.base() / "andorra";
    discmaker::BuildDiscs(network, out);
    const DiscRun run = ConvertWholeDisc(out, temp_, false);
    EXPECT_EQ(run.dropped, 0u);
    std::printf(
        "andorra: %u cells (%u dropped), mapdata1.bin %llu bytes, mapdatat.biz %llu bytes, "
        "mapdata2.bin %llu bytes, %.2f s\n",
        run.cells, run.dropped, static_cast<unsigned long long>(run.overviewBytes),
        static_cast<unsigned long long>(run.companionBytes),
        static_cast<unsigned long long>(run.detailedBytes), run.seconds);
}

}  // namespace
