// The polygon file and its area drawers on small "polygons.biz" files written with
// formats/polygons.h: a 3 x 3 grid of 1/64-degree cells drawn into a 300 x 300
// bitmap by a flat north-up view, so that each cell is 100 x 100 pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "formats/compressed_block.h"
#include "formats/map_container.h"
#include "formats/polygons.h"
#include "pathlume/mapdb/area_feature_view.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/polygon_file.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/flat_area_view.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/platform/gdi/surface.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;
namespace polygons = formats::polygons;
using gdi_testing::Surface;
using mapdb_test::FlatAreaView;
using polygons::Feature;
using polygons::Position;

constexpr float kCell = 1.0f / 64;
constexpr float kWest = 10.0f;
constexpr float kSouth = 50.0f;
constexpr int32_t kColumns = 3;
constexpr int32_t kRows = 3;
constexpr int kPixels = 300;  // 100 per cell
constexpr COLORREF kPaper = RGB(1, 2, 3);

container::GridHeader TestGrid() {
    container::GridHeader header;
    std::memcpy(header.magic, polygons::kMagic, sizeof header.magic);
    header.originLongitude = kWest;
    header.originLatitude = kSouth;
    header.columns = kColumns;
    header.rows = kRows;
    header.cellWidth = kCell;
    header.cellHeight = kCell;
    return header;
}

const GeoRect kGridRect{kWest, kSouth, kWest + kColumns* kCell, kSouth + kRows* kCell};

uint32_t CellAt(int32_t column, int32_t row) {
    return container::CellIndex(column, row, kColumns);
}

// Points of the map by pixel of the 300 x 300 bitmap.
Position AtPixel(double x, double y) {
    return {static_cast<float>(kSouth + (kPixels - y) / 100.0 * kCell),
            static_cast<float>(kWest + x / 100.0 * kCell)};
}

Feature Shape(uint32_t kind, uint32_t level, std::vector<Position> points, bool line = false) {
    Feature feature;
    feature.kind = kind;
    feature.level = level;
    feature.openLine = line;
    feature.points = std::move(points);
    feature.minLongitude = feature.minLatitude = 1e9f;
    feature.maxLongitude = feature.maxLatitude = -1e9f;
    for (const Position& p : feature.points) {
        feature.minLongitude = std::min(feature.minLongitude, p.longitude);
        feature.maxLongitude = std::max(feature.maxLongitude, p.longitude);
        feature.minLatitude = std::min(feature.minLatitude, p.latitude);
        feature.maxLatitude = std::max(feature.maxLatitude, p.latitude);
    }
    return feature;
}

// A pixel rectangle as an area (or its outline as a line).
Feature Box(uint32_t kind, int x0, int y0, int x1, int y1, bool line = false) {
    return Shape(kind, 0, {AtPixel(x0, y1), AtPixel(x1, y1), AtPixel(x1, y0), AtPixel(x0, y0)},
                 line);
}

// A feature with no points: its whole cell.
Feature Whole(uint32_t kind, uint32_t level = 0, bool line = false) {
    Feature feature;
    feature.kind = kind;
    feature.level = level;
    feature.openLine = line;
    return feature;
}

// A "polygons.biz" of the grid whose cells inflate to the given bytes.
std::vector<uint8_t> FileBytes(const container::GridHeader& header,
                               const std::map<uint32_t, std::vector<uint8_t>>& cells) {
    std::vector<uint8_t> bytes(container::kHeaderSize +
                               container::kCellEntrySize * container::CellCount(header));
    container::EncodeHeader(header, bytes.data());
    for (const auto& [index, raw] : cells) {
        container::StoreU32(bytes.data() + container::CellEntryOffset(index),
                            static_cast<uint32_t>(bytes.size()));
        const std::vector<uint8_t> block = mapdb_test::MakeBlock(raw);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    return bytes;
}

std::vector<uint8_t> FileBytes(const std::map<uint32_t, std::vector<Feature>>& cells) {
    std::map<uint32_t, std::vector<uint8_t>> raw;
    for (const auto& [index, features] : cells)
        raw[index] = polygons::EncodeCell(features);
    return FileBytes(TestGrid(), raw);
}

class PolygonFileTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        folder_ = roots_.base() / "Maps";
        fs::create_directories(folder_);
        mapdb_test::SetDataFolder(folder_);
        platform::ClearMessageBoxes();
        g_polygonFeatureBuffer.Release();
        baseline_ = mapdb_test::StreamReadyBaseline();
        SetAreaFeatureView(&view_);
    }
    void TearDown() override {
        SetAreaFeatureView(nullptr);
        mapdb::FailAllocationAfter(0);
        g_polygonFeatureBuffer.Release();
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_) << "heap blocks left";
        mapdb_test::SetDataFolder({});
    }

    void Write(const std::vector<uint8_t>& bytes) {
        mapdb_test::WriteBytes(folder_ / "polygons.biz", bytes);
    }

    // Writes the file, opens it and draws the whole grid in 2D.
    void Draw(const std::vector<uint8_t>& bytes, int detail = 320, int zoom = 0) {
        Write(bytes);
        PolygonFile file;
        ASSERT_EQ(file.Open(u"polygons.biz"), 0);
        DrawOpened(file, detail, zoom);
    }
    void DrawOpened(PolygonFile& file, int detail = 320, int zoom = 0) {
        file.SetDetailThresholds(detail);
        canvas_.Fill(kPaper);
        const PolygonCellRange cells = file.CellsUnder(kGridRect);
        EXPECT_EQ(DrawAreaFeatures2D(file, canvas_.dc(), cells.c0, cells.r0, cells.c1, cells.r1,
                                     detail, zoom),
                  0);
    }

    COLORREF Colour(int kind) const { return mapdb_test::kAreaTestColours[kind]; }
    COLORREF CellCentre(int32_t column, int32_t row) const {
        return canvas_.At(100 * column + 50, kPixels - 100 * row - 50);
    }

    fs::path folder_;
    long baseline_ = 0;
    FlatAreaView view_{kGridRect, kPixels, kPixels};
    Surface canvas_{kPixels, kPixels, kPaper};
};

TEST_F(PolygonFileTest, OpenReadsTheHeadAndRefusesFilesItCannotWalk) {
    const std::vector<uint8_t> good = FileBytes({{CellAt(1, 1), {Whole(3)}}});
    auto withHead = [&](const std::function<void(container::GridHeader&)>& change) {
        container::GridHeader header = TestGrid();
        change(header);
        std::vector<uint8_t> bytes = good;
        container::EncodeHeader(header, bytes.data());
        return bytes;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;  // empty: no file
        bool message;
    };
    const std::vector<Case> cases = {
        {"missing", {}, false},
        {"shorter than its head", std::vector<uint8_t>(good.begin(), good.begin() + 20), false},
        {"another magic", withHead([](auto& h) { h.magic[3] = '1'; }), true},
        {"cells 0 wide", withHead([](auto& h) { h.cellWidth = 0; }), false},
        {"cells NaN high", withHead([](auto& h) { h.cellHeight = std::nanf(""); }), false},
        {"cells infinitely wide", withHead([](auto& h) { h.cellWidth = INFINITY; }), false},
        {"negative cell height", withHead([](auto& h) { h.cellHeight = -kCell; }), false},
        {"negative columns", withHead([](auto& h) { h.columns = -3; }), false},
        {"negative rows", withHead([](auto& h) { h.rows = -1; }), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(good);
        PolygonFile file;
        ASSERT_EQ(file.Open(u"polygons.biz"), 0);
        EXPECT_EQ(file.header.columns, kColumns);
        EXPECT_EQ(file.header.cellHeight, kCell);
        // The reopen after a power resume finds another file.
        if (c.bytes.empty())
            fs::remove(folder_ / "polygons.biz");
        else
            Write(c.bytes);
        platform::ClearMessageBoxes();
        EXPECT_EQ(file.Open(u"polygons.biz"), 1);
        EXPECT_EQ(platform::ShownMessageBoxes().size(), c.message ? 1u : 0u);
        // Nothing of either file is kept: the grid is empty and nothing is drawn.
        EXPECT_EQ(file.header.columns, 0);
        EXPECT_EQ(file.header.rows, 0);
        EXPECT_EQ(file.header.cellWidth, 0.0f);
        EXPECT_EQ(file.header.originLongitude, 0.0f);
        EXPECT_FALSE(file.file.IsOpen());
        DrawOpened(file);
        EXPECT_EQ(canvas_.Count(kPaper), kPixels * kPixels);
    }
}

TEST_F(PolygonFileTest, KindLevelDetailAndZoomDecideWhatIsDrawn) {
    struct Case {
        uint32_t kind;
        uint32_t level;
        int detail;
        int zoom;
        bool drawn;
    };
    const Case cases[] = {
        {0, 0, 0, 8, true},  // shore lines as the coast and border lines: always
        {1, 0, 0, 8, true},      {10, 0, 0, 8, true},     {11, 0, 0, 8, true},
        {3, 5, 127, 0, false},   {3, 6, 127, 0, true},    {3, 1, 128, 0, false},
        {3, 2, 255, 0, true},    {3, 1, 255, 0, false},   {3, 0, 256, 0, true},
        {2, 4, 127, 0, false},   {2, 5, 127, 0, true},    {2, 1, 192, 0, false},
        {2, 2, 192, 0, true},    {4, 15, 191, 0, false},  {4, 0, 192, 0, true},
        {18, 15, 127, 0, false}, {18, 2, 128, 0, false},  {18, 3, 191, 0, true},
        {13, 15, 255, 0, false}, {13, 0, 256, 0, true},   {19, 15, 255, 0, false},
        {19, 0, 256, 0, true},  // industrial land in the urban colour
        {12, 15, 319, 0, false}, {12, 0, 320, 2, true},   {12, 0, 320, 3, false},
        {15, 15, 320, 3, false}, {15, 0, 320, 4, true},   {15, 3, 128, 8, false},
        {15, 4, 128, 8, true},   {9, 15, 320, 5, false},  {16, 15, 320, 5, false},
        {17, 15, 320, 5, false}, {20, 15, 320, 5, false}, {31, 15, 320, 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind) + " level " + std::to_string(c.level) +
                     " detail " + std::to_string(c.detail) + " zoom " + std::to_string(c.zoom));
        Draw(FileBytes({{CellAt(1, 1), {Whole(c.kind, c.level)}}}), c.detail, c.zoom);
        const COLORREF expected = !c.drawn       ? kPaper
                                  : c.kind == 19 ? Colour(4)
                                                 : Colour(static_cast<int>(c.kind));
        EXPECT_EQ(CellCentre(1, 1), expected);
    }
}

TEST_F(PolygonFileTest, WholeCellFeaturesFillOrOutlineExactlyTheirCell) {
    // Cell (0, 0) has an empty entry; the walk goes on with the cells after it.
    Draw(FileBytes({{CellAt(2, 0), {Whole(2)}}, {CellAt(0, 2), {Whole(10, 0, true)}}}));
    EXPECT_EQ(CellCentre(0, 0), kPaper);
    // The fill: exactly the cell's 100 x 100 pixels, x and y 200-299 (the right and
    // bottom edges belong to the next cells).
    EXPECT_EQ(canvas_.Count(Colour(2)), 100 * 100);
    EXPECT_EQ(canvas_.At(200, 200), Colour(2));
    EXPECT_EQ(canvas_.At(299, 299), Colour(2));
    EXPECT_EQ(canvas_.At(199, 250), kPaper);
    EXPECT_EQ(canvas_.At(250, 199), kPaper);
    // The line, dashed: along all four sides of cell (0, 2), x and y 0-100, and
    // nowhere inside.
    auto dashesAlong = [&](bool vertical, int at) {
        int count = 0;
        for (int along = 0; along < 100; ++along) {
            for (int across = std::max(at - 1, 0); across <= at + 1; ++across)
                count += (vertical ? canvas_.At(across, along) : canvas_.At(along, across)) ==
                         Colour(10);
        }
        return count;
    };
    EXPECT_GT(dashesAlong(false, 0), 50);
    EXPECT_GT(dashesAlong(true, 100), 50);
    EXPECT_GT(dashesAlong(false, 100), 50);
    EXPECT_GT(dashesAlong(true, 0), 50);
    int inside = 0;
    for (int y = 3; y < 98; ++y) {
        for (int x = 3; x < 98; ++x)
            inside += canvas_.At(x, y) != kPaper;
    }
    EXPECT_EQ(inside, 0);
}

TEST_F(PolygonFileTest, PointsAreReadLatitudeFirst) {
    Draw(FileBytes({{CellAt(1, 1), {Box(3, 120, 120, 180, 180)}}}));
    EXPECT_EQ(CellCentre(1, 1), Colour(3));
    EXPECT_NEAR(canvas_.Count(Colour(3)), 60 * 60, 2 * 60);

    // The same area with each point's words swapped: its box still says where it
    // is, but its points lie far off the map, so nothing is drawn there.
    Feature swapped = Box(3, 120, 120, 180, 180);
    for (Position& p : swapped.points)
        std::swap(p.latitude, p.longitude);
    swapped.minLongitude = kWest + 1.2f * kCell;  // the box as it was
    swapped.maxLongitude = kWest + 1.8f * kCell;
    swapped.minLatitude = kSouth + 1.2f * kCell;
    swapped.maxLatitude = kSouth + 1.8f * kCell;
    Draw(FileBytes({{CellAt(1, 1), {swapped}}}));
    EXPECT_EQ(CellCentre(1, 1), kPaper);
}

TEST_F(PolygonFileTest, TheBackgroundEntryDrawsInTheBackgroundColour) {
    view_.colours[3] = kAreaColourBackground;
    view_.colours[4] = kAreaColourBackground;
    Draw(FileBytes({{CellAt(0, 0), {Whole(3)}}, {CellAt(1, 0), {Whole(19)}}}));
    EXPECT_EQ(CellCentre(0, 0), mapdb_test::kTestBackground);
    EXPECT_EQ(CellCentre(1, 0), mapdb_test::kTestBackground);
}

TEST_F(PolygonFileTest, PointsBeyondOneEdgeCollapseAndNearPointsThin) {
    // An area east of the view, from below its south edge to above its north edge,
    // whose box (as a corrupt or careless writer might give it) reaches into the view.
    std::vector<Position> beyond;
    for (int i = 0; i <= 40; ++i)
        beyond.push_back(AtPixel(i % 2 == 0 ? 500 : 520, -100 + 12.5 * i));
    for (int i = 40; i >= 0; --i)
        beyond.push_back(AtPixel(540, -100 + 12.5 * i));
    Feature east = Shape(2, 0, beyond);
    east.minLongitude = kWest + 2.5f * kCell;
    // A ring of 200 points one pixel apart around the centre of cell (0, 2).
    std::vector<Position> ring;
    for (int i = 0; i < 200; ++i) {
        const double angle = i * 2 * M_PI / 200;
        ring.push_back(AtPixel(50 + 32 * std::cos(angle), 50 + 32 * std::sin(angle)));
    }
    const std::vector<uint8_t> bytes =
        FileBytes({{CellAt(2, 1), {east}}, {CellAt(0, 2), {Shape(3, 0, ring)}}});

    Draw(bytes);
    EXPECT_EQ(canvas_.Count(Colour(2)), 0);
    EXPECT_EQ(canvas_.At(50, 50), Colour(3));
    EXPECT_NEAR(canvas_.Count(Colour(3)), M_PI * 32 * 32, 250);

    // In 3D mode the flat drawer hands its points to the near-plane clipper: what the
    // reduction left of each area.
    view_.mode3D = true;
    Draw(bytes);
    ASSERT_FALSE(view_.clipCalls.empty());
    for (const mapdb_test::ClipCall& call : view_.clipCalls) {
        EXPECT_FALSE(call.ribbon);
        if (call.points.size() <= 3)
            continue;  // all that is left of the area beyond the edge
        // The ring: fewer points, none of them more than a pixel or two off the circle.
        EXPECT_LT(call.points.size(), 100u);
        EXPECT_GE(call.points.size(), 12u);
        for (const POINT& p : call.points)
            EXPECT_NEAR(std::hypot(p.x - 50, p.y - 50), 32, 2);
    }
    EXPECT_EQ(view_.clipCalls.size(), 1u) << "the area beyond the edge reached the clipper";
}

TEST_F(PolygonFileTest, TheDrawerIn3DHandsTheRibbonClipperTheProjectedPoints) {
    const Feature area = Box(5, 120, 130, 170, 180);
    const Feature line = Shape(5, 0, {AtPixel(20, 250), AtPixel(80, 210)}, true);
    Write(FileBytes({{CellAt(1, 1), {area}}, {CellAt(0, 0), {line}}}));
    PolygonFile file;
    ASSERT_EQ(file.Open(u"polygons.biz"), 0);
    file.SetDetailThresholds(320);
    view_.mode3D = true;
    const FLOAT tilt = 0.5f, depth = 0.25f;
    EXPECT_EQ(DrawAreaFeatures3D(file, canvas_.dc(), 0, 0, 2, 2, 320, 0, 7.0f, tilt, depth,
                                 kGridRect.west, kGridRect.north, kGridRect.east, kGridRect.south),
              0);
    ASSERT_EQ(view_.clipCalls.size(), 1u);
    const mapdb_test::ClipCall& call = view_.clipCalls[0];
    EXPECT_TRUE(call.ribbon);
    EXPECT_EQ(call.ribbonValue, 7.0f);
    EXPECT_EQ(call.tilt, tilt);
    EXPECT_EQ(call.depth, depth);
    // The closed area comes round to its first point from its last.
    ASSERT_EQ(call.points.size(), area.points.size());
    const MapViewValues& values = view_.GetViewValues();
    for (size_t i = 0; i < area.points.size(); ++i) {
        int32_t x, y;
        FLOAT fx, fy;
        ProjectToScreen3D(values, area.points[i].longitude, area.points[i].latitude, &x, &y, &fx,
                          &fy);
        EXPECT_EQ(call.points[i].x, x) << i;
        EXPECT_EQ(call.points[i].y, y) << i;
    }
    // The line goes through the perspective projection and is drawn by the drawer.
    POINT ends[2];
    for (int i = 0; i < 2; ++i) {
        int32_t x, y;
        FLOAT fx, fy;
        ProjectToScreen3D(values, line.points[i].longitude, line.points[i].latitude, &x, &y, &fx,
                          &fy);
        ProjectToScreen(values, static_cast<FLOAT>(x), static_cast<FLOAT>(y), &ends[i].x,
                        &ends[i].y, 0, tilt, depth);
    }
    EXPECT_EQ(canvas_.At((ends[0].x + ends[1].x) / 2, (ends[0].y + ends[1].y) / 2), Colour(5));
}

// Cells whose blocks are broken: each draws what it read before the fault and nothing
// after it, the other cells are drawn, and nothing crashes or hangs.
TEST_F(PolygonFileTest, CorruptAndTruncatedCellsDrawNothingMore) {
    const Feature before = Box(2, 110, 110, 140, 190);
    const Feature broken = Box(8, 145, 110, 155, 190);
    const Feature after = Box(3, 160, 110, 190, 190);
    std::vector<uint8_t> good = polygons::EncodeCell({before, broken, after});
    const size_t brokenAt = polygons::kFeatureCountSize + polygons::kFeatureHeaderSize +
                            before.points.size() * polygons::kPointSize;
    auto cellWith = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
        std::vector<uint8_t> raw = good;
        change(raw);
        return raw;
    };
    auto setWord = [&](std::vector<uint8_t>& raw, uint32_t count) {
        container::StoreU32(raw.data() + brokenAt, polygons::FeatureWord(count, 0, 8, false));
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> raw;
        bool drawsBefore;
    };
    const std::vector<Case> cases = {
        {"point count of 1,048,575",
         cellWith([&](auto& raw) { setWord(raw, polygons::kMaxPointCount); }), true},
        {"point count past the block's end", cellWith([&](auto& raw) {
             setWord(raw, static_cast<uint32_t>((raw.size() - brokenAt - 20) / 8 + 1));
         }),
         true},
        {"block ends inside a feature header",
         cellWith([&](auto& raw) { raw.resize(brokenAt + 12); }), true},
        {"block ends inside the points", cellWith([&](auto& raw) { raw.resize(brokenAt + 36); }),
         true},
        {"feature count near 2^31 on a short block", cellWith([&](auto& raw) {
             container::StoreI32(raw.data(), 0x7FFFFFFF);
             raw.resize(brokenAt + 12);
         }),
         true},
        {"block shorter than the feature count", {1, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<uint32_t, std::vector<uint8_t>> cells = {
            {CellAt(1, 1), c.raw}, {CellAt(2, 2), polygons::EncodeCell({Whole(18)})}};
        Draw(FileBytes(TestGrid(), cells));
        EXPECT_EQ(canvas_.At(125, 150), c.drawsBefore ? Colour(2) : kPaper);
        EXPECT_EQ(canvas_.At(150, 150), kPaper);
        EXPECT_EQ(canvas_.At(175, 150), kPaper);
        EXPECT_EQ(CellCentre(2, 2), Colour(18));
        // No point buffer was made for a count the block cannot hold.
        EXPECT_LT(g_polygonFeatureBuffer.capacity, 64);
    }
}

TEST_F(PolygonFileTest, BrokenBlocksAndTablesSkipTheirCells) {
    const std::vector<uint8_t> bytes =
        FileBytes({{CellAt(0, 0), {Whole(3)}}, {CellAt(2, 2), {Whole(18)}}});
    const uint32_t lastBlock =
        container::LoadU32(bytes.data() + container::CellEntryOffset(CellAt(2, 2)));
    const size_t firstBlock = container::kHeaderSize + 9 * container::kCellEntrySize;
    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> change;
        bool drawsFirst;
        bool drawsLast;
    };
    const std::vector<Case> cases = {
        {"file cut inside the last block", [&](auto& b) { b.resize(lastBlock + 10); }, true, false},
        {"file cut inside the cell table", [&](auto& b) { b.resize(container::kHeaderSize + 8); },
         false, false},
        {"entry past the file's end",
         [&](auto& b) {
             container::StoreU32(b.data() + container::CellEntryOffset(CellAt(0, 0)), 0x7FFFFF00);
         },
         false, true},
        {"entry above 2^31",
         [&](auto& b) {
             container::StoreU32(b.data() + container::CellEntryOffset(CellAt(0, 0)), 0x90000000);
         },
         false, true},
        {"raw size larger than the stream",
         [&](auto& b) { container::StoreU32(b.data() + firstBlock + 4, 4000); }, false, true},
        {"raw size beyond any block",
         [&](auto& b) { container::StoreU32(b.data() + firstBlock + 4, 0xFFFFFFF0); }, false, true},
        {"packed size beyond the file",
         [&](auto& b) { container::StoreU32(b.data() + lastBlock, 0x7FFFFFF0); }, true, false},
        {"garbage stream", [&](auto& b) { std::memset(b.data() + firstBlock + 8, 0x5A, 6); }, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> broken = bytes;
        c.change(broken);
        Draw(broken);
        EXPECT_EQ(CellCentre(0, 0), c.drawsFirst ? Colour(3) : kPaper);
        EXPECT_EQ(CellCentre(2, 2), c.drawsLast ? Colour(18) : kPaper);
    }
}

// Bytes of a whole file changed at random, in the head, the table, the blocks' heads
// and the compressed streams: both drawers, in both modes, survive each file and
// leave nothing behind (the sanitizers and the leak check in TearDown watch).
TEST_F(PolygonFileTest, RandomlyDamagedFilesNeverCrashTheDrawers) {
    std::vector<Position> ring;
    for (int i = 0; i < 30; ++i)
        ring.push_back(AtPixel(150 + 40 * std::cos(i * 0.2094), 150 + 40 * std::sin(i * 0.2094)));
    const std::map<uint32_t, std::vector<Feature>> cells = {
        {CellAt(0, 0), {Whole(4), Box(3, 10, 210, 90, 290), Box(10, 5, 205, 95, 295, true)}},
        {CellAt(1, 1),
         {Shape(2, 0, ring), Shape(12, 0, {AtPixel(100, 100), AtPixel(200, 200)}, true)}},
        {CellAt(2, 2), {Whole(11, 0, true), Box(18, 210, 10, 290, 90)}}};
    std::map<uint32_t, std::vector<uint8_t>> raw;
    for (const auto& [index, features] : cells)
        raw[index] = polygons::EncodeCell(features);
    view_.passThrough = true;  // the clippers fill what they are handed
    std::mt19937 random(18);
    auto damage = [&](std::vector<uint8_t>& bytes) {
        const int changes = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < changes && !bytes.empty(); ++i) {
            const size_t at = random() % bytes.size();
            switch (random() % 4) {
                case 0:
                    bytes[at] = static_cast<uint8_t>(random());
                    break;
                case 1:
                    bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                    break;
                case 2:
                    bytes[at] = 0xFF;  // counts and exponents at their largest
                    break;
                default:
                    bytes.resize(at + 1);  // cut short
                    break;
            }
        }
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes;
        if (round % 2 == 0) {
            // The file as stored.
            bytes = FileBytes(TestGrid(), raw);
            damage(bytes);
        } else {
            // What a cell inflates to, well compressed.
            std::map<uint32_t, std::vector<uint8_t>> changed = raw;
            auto cell = changed.begin();
            std::advance(cell, random() % changed.size());
            damage(cell->second);
            bytes = FileBytes(TestGrid(), changed);
        }
        Write(bytes);
        PolygonFile file;
        if (file.Open(u"polygons.biz") != 0)
            continue;
        for (bool mode3D : {false, true}) {
            view_.mode3D = mode3D;
            file.SetDetailThresholds(320);
            DrawAreaFeatures2D(file, canvas_.dc(), -1, -1, 4, 4, 320, 2);
            DrawAreaFeatures3D(file, canvas_.dc(), 0, 0, 2, 2, 320, 4, 1, 0.5f, 0.25f,
                               kGridRect.west, kGridRect.north, kGridRect.east, kGridRect.south);
        }
        view_.clipCalls.clear();
    }
    platform::ClearMessageBoxes();
}

TEST_F(PolygonFileTest, AFeatureReadTakesExactlyWhatTheBlockHolds) {
    std::vector<uint8_t> raw(polygons::kFeatureHeaderSize + 3 * polygons::kPointSize);
    auto read = [&](uint32_t count) {
        container::StoreU32(raw.data(), polygons::FeatureWord(count, 7, 18, true));
        container::StoreF32(raw.data() + 20, 50.25f);  // the first point's latitude
        container::StoreF32(raw.data() + 24, 10.5f);
        mapdb_test::MemoryInput input(mapdb_test::MakeBlock(raw));
        EXPECT_EQ(mapdb_test::InflateBlock(input), 0);
        return ReadPolygonFeature(g_chunkStream);
    };
    EXPECT_EQ(read(3), 0);
    EXPECT_EQ(g_polygonFeatureBuffer.header.Kind(), 18u);
    EXPECT_EQ(g_polygonFeatureBuffer.header.LevelBits(), 7u << 20);
    EXPECT_TRUE(g_polygonFeatureBuffer.header.IsOpenLine());
    EXPECT_EQ(g_polygonFeatureBuffer.capacity, 3);
    EXPECT_EQ(g_polygonFeatureBuffer.points[0].latitude, 50.25f);
    EXPECT_EQ(g_polygonFeatureBuffer.points[0].longitude, 10.5f);
    EXPECT_EQ(read(4), 1);
    EXPECT_EQ(g_polygonFeatureBuffer.capacity, 3);  // nothing allocated for the count
    EXPECT_EQ(read(0), 0);
}

TEST_F(PolygonFileTest, AShortageOfMemorySkipsFeaturesAndDrawsTheRest) {
    std::vector<Position> ring;
    for (int i = 0; i < 40; ++i) {
        const double angle = i * 2 * M_PI / 40;
        ring.push_back(AtPixel(50 + 30 * std::cos(angle), 250 + 30 * std::sin(angle)));
    }
    // Cell (0, 0) is drawn first: its 40 points need the point buffer, then a larger
    // screen buffer.
    Write(FileBytes({{CellAt(0, 0), {Shape(4, 0, ring), Whole(3)}},
                     {CellAt(1, 1), {Whole(3), Box(2, 110, 110, 190, 190)}}}));
    struct Case {
        const char* name;
        long failing;  // the allocation that fails
        COLORREF firstCell;
    };
    const Case cases[] = {
        {"the point buffer: the cell ends", 1, kPaper},
        {"the screen buffer: the feature is skipped", 2, Colour(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PolygonFile file;
        ASSERT_EQ(file.Open(u"polygons.biz"), 0);
        g_polygonFeatureBuffer.Release();
        mapdb::FailAllocationAfter(c.failing);
        DrawOpened(file);
        EXPECT_EQ(CellCentre(0, 0), c.firstCell);
        EXPECT_EQ(CellCentre(1, 1), Colour(2));
        EXPECT_EQ(canvas_.At(105, 195), Colour(3));
    }
}

TEST_F(PolygonFileTest, CellRangesAreClampedToTheGrid) {
    Write(FileBytes({{CellAt(0, 0), {Whole(3)}}, {CellAt(2, 2), {Whole(18)}}}));
    PolygonFile file;
    ASSERT_EQ(file.Open(u"polygons.biz"), 0);
    file.SetDetailThresholds(320);
    const PolygonCellRange cells = file.CellsUnder(kGridRect);
    EXPECT_EQ(cells.c0, 0);
    EXPECT_EQ(cells.r0, 0);
    EXPECT_EQ(cells.c1, 3);  // the east edge is the next cell's west edge
    EXPECT_EQ(cells.r1, 3);
    DrawAreaFeatures2D(file, canvas_.dc(), -100, -100, 1000, 1000, 320, 0);
    EXPECT_EQ(CellCentre(0, 0), Colour(3));
    EXPECT_EQ(CellCentre(2, 2), Colour(18));
    canvas_.Fill(kPaper);
    DrawAreaFeatures2D(file, canvas_.dc(), 2, 0, 1, 2, 320, 0);  // empty
    DrawAreaFeatures2D(file, canvas_.dc(), 3, 3, 9, 9, 320, 0);  // beyond the grid
    EXPECT_EQ(canvas_.Count(kPaper), kPixels * kPixels);
}

}  // namespace
