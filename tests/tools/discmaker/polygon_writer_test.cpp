#include "tools/discmaker/polygon_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "formats/map_container.h"
#include "formats/polygons.h"
#include "mapferry/convert/compressed_block.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/town.h"

namespace {

using namespace discmaker;
namespace polygons = formats::polygons;
namespace container = formats::map_container;

// Polygon cells of 0.02 degrees, 3 x 2, south-west corner at 45 N 100 W.
DiscLayout PolygonLayout(const std::filesystem::path& out) {
    DiscLayout layout;
    layout.out = out;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        layout.discs[disc] = out / ("CD" + std::to_string(disc + 1));
        layout.mapData[disc] = layout.discs[disc] / "mapdata";
        std::filesystem::create_directories(layout.mapData[disc]);
    }
    GridHeader grid;
    grid.originLongitude = -100.0f;
    grid.originLatitude = 45.0f;
    grid.columns = 3;
    grid.rows = 2;
    grid.cellWidth = 0.02f;
    grid.cellHeight = 0.02f;
    layout.overview = layout.detailed = layout.polygons = layout.poi = grid;
    return layout;
}

// (x, y) in cells from the grid's corner.
LatLon At(double x, double y) {
    return {45.0 + y * 0.02, -100.0 + x * 0.02};
}

// Shoelace area in square degrees, taken about the grid's corner.
double Area(const std::vector<formats::chunk_payload::Position>& ring) {
    double twice = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const auto& a = ring[i];
        const auto& b = ring[(i + 1) % ring.size()];
        const double ax = a.longitude + 100.0, ay = a.latitude - 45.0;
        const double bx = b.longitude + 100.0, by = b.latitude - 45.0;
        twice += ax * by - bx * ay;
    }
    return std::abs(twice) / 2;
}

double LineLength(const std::vector<formats::chunk_payload::Position>& line) {
    double length = 0;
    for (size_t i = 1; i < line.size(); ++i) {
        length += std::hypot(line[i].longitude - line[i - 1].longitude,
                             line[i].latitude - line[i - 1].latitude);
    }
    return length;
}

// Whether every point lies in cell (column, row), with float slack.
bool InCell(const polygons::Feature& feature, int column, int row) {
    const double west = -100.0 + column * 0.02, south = 45.0 + row * 0.02;
    for (const auto& p : feature.points) {
        if (p.longitude < west - 1e-5 || p.longitude > west + 0.02 + 1e-5 ||
            p.latitude < south - 1e-5 || p.latitude > south + 0.02 + 1e-5) {
            return false;
        }
    }
    return true;
}

class PolygonWriterTest : public testing_support::RootsTest {
  protected:
    PolygonWriterTest() : layout_(PolygonLayout(roots_.base() / "out")) {}
    DiscLayout layout_;
};

TEST_F(PolygonWriterTest, FeaturesAreCutAlongCellBorders) {
    Network network;
    // A park inside cell (0, 0); a lake across cells (0, 1) and (1, 1); a river line
    // from cell (0, 0) through (1, 0) into (2, 0) that also dips into (1, 1); too
    // short features that are left out.
    network.features.push_back({FeatureKind::Park,
                                3,
                                false,
                                {At(0.2, 0.2), At(0.6, 0.2), At(0.6, 0.7), At(0.2, 0.7)},
                                "Park"});
    network.features.push_back({FeatureKind::Lake,
                                5,
                                false,
                                {At(0.5, 1.2), At(1.5, 1.2), At(1.5, 1.6), At(0.5, 1.6)},
                                "Lake"});
    network.features.push_back(
        {FeatureKind::River,
         2,
         true,
         {At(0.5, 0.5), At(1.5, 0.5), At(1.5, 1.5), At(1.6, 0.5), At(2.5, 0.5)},
         "River"});
    network.features.push_back({FeatureKind::Park, 1, false, {At(0.1, 0.1), At(0.2, 0.2)}, ""});
    network.features.push_back({FeatureKind::Shore, 1, true, {At(0.1, 0.1)}, ""});

    const auto cells = CutPolygonFeatures(network, layout_);
    auto features = [&](int column, int row) {
        const auto found = cells.find(container::CellIndex(column, row, 3));
        return found == cells.end() ? std::vector<polygons::Feature>{} : found->second;
    };

    const auto park = features(0, 0);
    ASSERT_EQ(park.size(), 2u);  // the park, then the river's first piece
    EXPECT_EQ(park[0].kind, PolygonKind(FeatureKind::Park));
    EXPECT_EQ(park[0].level, 3u);
    EXPECT_FALSE(park[0].openLine);
    ASSERT_EQ(park[0].points.size(), 4u);
    EXPECT_FLOAT_EQ(park[0].minLongitude, static_cast<float>(At(0.2, 0).lon));
    EXPECT_FLOAT_EQ(park[0].maxLatitude, static_cast<float>(At(0, 0.7).lat));

    // The lake's two halves fill its area between them, each inside its cell (to the
    // f32 precision of the points, some 4e-6 degrees).
    const auto west = features(0, 1);
    const auto east = features(1, 1);
    ASSERT_EQ(west.size(), 1u);
    ASSERT_GE(east.size(), 1u);
    EXPECT_TRUE(InCell(west[0], 0, 1));
    EXPECT_TRUE(InCell(east[0], 1, 1));
    EXPECT_NEAR(Area(west[0].points) + Area(east[0].points), 0.02 * 0.4 * 0.02, 2e-7);
    EXPECT_NEAR(Area(west[0].points), Area(east[0].points), 2e-7);

    // The river: one piece in (0, 0) and (2, 0), two in (1, 0) (it leaves north and
    // comes back), one up and down again in (1, 1); its pieces add up to its length.
    double riverLength = 0;
    int pieces = 0;
    for (const auto& [index, list] : cells) {
        for (const polygons::Feature& feature : list) {
            if (feature.kind != PolygonKind(FeatureKind::River))
                continue;
            EXPECT_TRUE(feature.openLine);
            EXPECT_TRUE(InCell(feature, index % 3, index / 3));
            riverLength += LineLength(feature.points);
            ++pieces;
        }
    }
    EXPECT_EQ(pieces, 5);
    EXPECT_NEAR(riverLength, 0.02 * (1.0 + 1.0 + std::hypot(0.1, 1.0) + 0.9), 1e-5);
    EXPECT_EQ(features(1, 0).size(), 2u);
    EXPECT_EQ(features(2, 1).size(), 0u);
}

TEST_F(PolygonWriterTest, WaterLiesAboveLandCoverInEveryCell) {
    // Given in the order a source may hold them: a lake and a river line first, then
    // the forest around them, a park and a building inside it, a built-up area.
    Network network;
    const std::vector<LatLon> wide = {At(0.1, 0.1), At(1.9, 0.1), At(1.9, 0.9), At(0.1, 0.9)};
    const std::vector<LatLon> small = {At(0.3, 0.3), At(0.6, 0.3), At(0.6, 0.6), At(0.3, 0.6)};
    network.features.push_back({FeatureKind::Lake, 3, false, small, "Lake"});
    network.features.push_back({FeatureKind::River, 3, true, {At(0.2, 0.5), At(1.8, 0.5)}, ""});
    network.features.push_back({FeatureKind::Forest, 3, false, wide, "Wood"});
    network.features.push_back({FeatureKind::Park, 3, false, small, "Park"});
    network.features.push_back({FeatureKind::Building, 3, false, small, ""});
    network.features.push_back({FeatureKind::Urban, 3, false, wide, "Town"});

    const auto cells = CutPolygonFeatures(network, layout_);
    for (int column = 0; column < 2; ++column) {
        const auto& list = cells.at(container::CellIndex(column, 0, 3));
        std::vector<uint32_t> kinds;
        for (const polygons::Feature& feature : list)
            kinds.push_back(feature.kind);
        const std::vector<uint32_t> land = {PolygonKind(FeatureKind::Forest),
                                            PolygonKind(FeatureKind::Urban)};
        const uint32_t water = PolygonKind(FeatureKind::Lake);
        const uint32_t river = PolygonKind(FeatureKind::River);
        if (column == 0) {
            EXPECT_EQ(kinds,
                      (std::vector<uint32_t>{land[0], land[1], PolygonKind(FeatureKind::Park),
                                             PolygonKind(FeatureKind::Building), water, river}));
            EXPECT_TRUE(list.back().openLine);
        } else {
            EXPECT_EQ(kinds, (std::vector<uint32_t>{land[0], land[1], river}));
        }
    }
}

TEST_F(PolygonWriterTest, FilesHoldTheCellsAsTheConverterCopiesThem) {
    Network network;
    network.features.push_back({FeatureKind::Lake,
                                4,
                                false,
                                {At(0.5, 0.2), At(2.5, 0.2), At(2.5, 1.5), At(0.5, 1.5)},
                                "Lake"});
    network.features.push_back({FeatureKind::Railway, 0, true, {At(0.1, 1.9), At(2.9, 1.9)}, ""});
    WritePolygonFiles(network, layout_);

    const auto expected = CutPolygonFeatures(network, layout_);
    std::string first;
    for (int disc = 1; disc < kDiscCount; ++disc) {
        const std::filesystem::path path = layout_.mapData[disc] / "polygons.raz";
        std::ifstream in(path, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
        if (disc == 1)
            first = bytes;
        EXPECT_EQ(bytes, first) << "discs 2 and 3 carry the same file";
        ASSERT_GE(bytes.size(), container::kHeaderSize + 6 * 4);
        const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
        const container::GridHeader header = container::DecodeHeader(data);
        EXPECT_TRUE(container::HasMagic(header, polygons::kMagic));
        EXPECT_EQ(header.columns, 3);
        EXPECT_EQ(header.rows, 2);

        const std::u16string name = platform::HostPathText(path);
        CFile file;
        ASSERT_TRUE(file.Open(name.c_str(), CFile::modeRead));
        CBlockReader reader(&file);
        size_t cellsRead = 0;
        uint64_t end = container::TableEnd(header);
        for (uint32_t index = 0; index < 6; ++index) {
            const uint32_t offset = container::LoadU32(data + container::CellEntryOffset(index));
            if (offset == 0) {
                EXPECT_EQ(expected.count(index), 0u);
                continue;
            }
            // A cell's bytes run to the next cell's offset: nothing lies between.
            EXPECT_EQ(offset, end);
            file.Seek(offset, CFile::begin);
            ASSERT_EQ(reader.ReadBlock(), 0);
            end = file.GetPosition();
            std::vector<polygons::Feature> features;
            ASSERT_TRUE(polygons::DecodeCell(reader.GetData(), reader.GetRawSize(), features));
            EXPECT_EQ(polygons::EncodeCell(features), polygons::EncodeCell(expected.at(index)));
            ++cellsRead;
        }
        EXPECT_EQ(end, bytes.size()) << "the last cell runs to the end of the file";
        EXPECT_EQ(cellsRead, expected.size());
        EXPECT_EQ(cellsRead, 6u);  // the lake covers all six, the railway the top row
    }
}

TEST(PolygonFormat, ShortCellsAreRefused) {
    polygons::Feature feature;
    feature.kind = 3;
    feature.level = 7;
    feature.openLine = true;
    feature.points = {{45.0f, -100.0f}, {45.1f, -100.1f}};
    const std::vector<uint8_t> bytes = polygons::EncodeCell({feature, feature});
    EXPECT_EQ(container::LoadU32(bytes.data() + 4),
              2u | 7u << polygons::kLevelShift | 3u << polygons::kKindShift | polygons::kOpenLine);
    std::vector<polygons::Feature> decoded;
    ASSERT_TRUE(polygons::DecodeCell(bytes.data(), bytes.size(), decoded));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(decoded[1].points, feature.points);
    for (size_t size : {size_t{0}, size_t{3}, size_t{4 + 19}, bytes.size() - 1}) {
        EXPECT_FALSE(polygons::DecodeCell(bytes.data(), size, decoded)) << size;
    }
    // A count of 0 or less is an empty cell.
    std::vector<uint8_t> none(4);
    container::StoreI32(none.data(), -5);
    EXPECT_TRUE(polygons::DecodeCell(none.data(), none.size(), decoded));
    EXPECT_TRUE(decoded.empty());
}

TEST(PolygonWriterTownTest, TownFeaturesReadBack) {
    testing_support::TempRoots roots;
    Network network = BuildTown(11, 300);
    ValidateNetwork(network);
    const DiscLayout layout = PlanDiscLayout(network, roots.base() / "out");
    CreateFolders(layout);
    WritePolygonFiles(network, layout);

    const std::filesystem::path path = layout.mapData[2] / "polygons.raz";
    std::ifstream in(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_GE(bytes.size(), container::kHeaderSize);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const container::GridHeader header = container::DecodeHeader(data);
    EXPECT_EQ(std::memcmp(&header.originLongitude, &layout.polygons.originLongitude, 32), 0);

    const std::u16string name = platform::HostPathText(path);
    CFile file;
    ASSERT_TRUE(file.Open(name.c_str(), CFile::modeRead));
    CBlockReader reader(&file);
    std::map<uint32_t, int> piecesOfKind;
    for (uint32_t index = 0; index < container::CellCount(header); ++index) {
        const uint32_t offset = container::LoadU32(data + container::CellEntryOffset(index));
        if (offset == 0)
            continue;
        file.Seek(offset, CFile::begin);
        ASSERT_EQ(reader.ReadBlock(), 0);
        std::vector<polygons::Feature> features;
        ASSERT_TRUE(polygons::DecodeCell(reader.GetData(), reader.GetRawSize(), features));
        const LatLon corner =
            DiscLayout::CellOrigin(layout.polygons, {static_cast<int32_t>(index % header.columns),
                                                     static_cast<int32_t>(index / header.columns)});
        for (const polygons::Feature& feature : features) {
            ++piecesOfKind[feature.kind];
            EXPECT_GE(feature.points.size(), feature.openLine ? 2u : 3u);
            for (const auto& point : feature.points) {
                EXPECT_GE(point.longitude, corner.lon - 1e-4);
                EXPECT_LE(point.longitude, corner.lon + header.cellWidth + 1e-4);
                EXPECT_GE(point.latitude, corner.lat - 1e-4);
                EXPECT_LE(point.latitude, corner.lat + header.cellHeight + 1e-4);
                EXPECT_GE(point.longitude, feature.minLongitude);
                EXPECT_LE(point.latitude, feature.maxLatitude);
            }
        }
    }
    // Every kind of the town's features is in the file.
    for (const PolygonFeature& feature : network.features) {
        EXPECT_GT(piecesOfKind[PolygonKind(feature.kind)], 0) << FeatureKindName(feature.kind);
    }
}

}  // namespace
