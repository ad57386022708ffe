// The network model, the disc layout and the program-folder files, read back with
// the desktop program's own loaders.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "formats/source_disc.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/size_tables.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/network.h"

namespace {

using namespace discmaker;
namespace sd = formats::source_disc;
namespace mc = formats::map_container;

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::filesystem::path& path) {
    std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Two nodes 1 km apart along a parallel, with shape points between.
Network Straight(int shapePoints) {
    Network net;
    uint32_t a = net.AddNode({45.0, -100.0});
    uint32_t b = net.AddNode({45.0, -100.0 + 0.0127});
    Link link;
    link.from = a;
    link.to = b;
    for (int i = 1; i <= shapePoints; ++i)
        link.shape.push_back({45.0, -100.0 + 0.0127 * i / (shapePoints + 1)});
    net.AddLink(link);
    return net;
}

// ---- The network ------------------------------------------------------------------

TEST(NetworkTest, CutLinkChainsPiecesAndDividesHouseRanges) {
    Network net = Straight(3);
    Link& link = net.links[0];
    link.left = {101, 199, Parity::Odd};
    link.right = {198, 100, Parity::Even};  // numbers fall along the link
    link.name = StreetName{.base = "Main"};
    // A side street at the to-node, with a restriction onto it from the link.
    uint32_t side = net.AddNode({45.01, -100.0 + 0.0127});
    uint32_t sideLink = net.AddLink(Link{.from = 1, .to = side});
    net.restrictions.push_back({0, 1, sideLink});

    std::vector<LatLon> points = net.LinkPoints(0);
    std::vector<uint32_t> pieces = CutLink(net, 0, points, {1, 3});
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0], 0u);
    EXPECT_EQ(net.links[pieces[0]].from, 0u);
    EXPECT_EQ(net.links[pieces[2]].to, 1u);
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        EXPECT_EQ(net.links[pieces[i]].to, net.links[pieces[i + 1]].from);
        EXPECT_EQ(net.nodes[net.links[pieces[i]].to].position, points[i == 0 ? 1 : 3]);
    }
    EXPECT_TRUE(net.links[pieces[0]].shape.empty());
    EXPECT_EQ(net.links[pieces[1]].shape.size(), 1u);
    EXPECT_TRUE(net.links[pieces[2]].shape.empty());
    // Ranges follow on without overlap, keep their parity and their ends.
    uint32_t expectFirst = 101;
    for (uint32_t piece : pieces) {
        const HouseRange& r = net.links[piece].left;
        EXPECT_EQ(r.parity, Parity::Odd);
        EXPECT_EQ(r.first, expectFirst);
        EXPECT_EQ(r.first % 2, 1u);
        EXPECT_EQ(r.last % 2, 1u);
        EXPECT_LE(r.first, r.last);
        expectFirst = r.last + 2;
        EXPECT_EQ(net.links[piece].name->base, "Main");
    }
    EXPECT_EQ(net.links[pieces[2]].left.last, 199u);
    EXPECT_EQ(net.links[pieces[0]].right.first, 198u);
    EXPECT_EQ(net.links[pieces[2]].right.last, 100u);
    EXPECT_GE(net.links[pieces[0]].right.last, net.links[pieces[1]].right.first + 2);
    // The restriction at the old to-node now starts from the last piece.
    EXPECT_EQ(net.restrictions[0].fromLink, pieces[2]);
    EXPECT_NO_THROW(ValidateNetwork(net));
}

TEST(NetworkTest, ValidateSplitsLinksBeyondTheShapeCountAndDropsExtraRestrictions) {
    Network net = Straight(2500);
    // Sixteen restrictions at one node: the record holds fifteen.
    uint32_t hub = 1;
    std::vector<uint32_t> spokes;
    for (int i = 0; i < 4; ++i) {
        uint32_t n = net.AddNode({45.0 + 0.001 * (i + 1), -100.0 + 0.0127});
        spokes.push_back(net.AddLink(Link{.from = hub, .to = n}));
    }
    spokes.push_back(0);
    for (uint32_t a : spokes) {
        for (uint32_t b : spokes) {
            if (net.restrictions.size() < 16 && a != b)
                net.restrictions.push_back({a, hub, b});
        }
    }
    ValidateNetwork(net);
    size_t pieces = 0, shapePoints = 0;
    for (const Link& link : net.links)
        EXPECT_LE(link.shape.size(), 1023u);
    for (uint32_t l = 0; l < net.links.size(); ++l) {
        if (net.links[l].shape.size() > 0)
            ++pieces, shapePoints += net.links[l].shape.size();
    }
    EXPECT_EQ(pieces, 3u);
    EXPECT_EQ(shapePoints + 2, 2500u);  // two points became nodes
    EXPECT_EQ(net.restrictions.size(), 15u);
    for (const TurnRestriction& r : net.restrictions) {
        const Link& from = net.links[r.fromLink];
        EXPECT_TRUE(from.from == hub || from.to == hub);
    }
}

TEST(NetworkTest, ValidateRejectsBrokenReferences) {
    struct Case {
        const char* what;
        void (*breakIt)(Network&);
    };
    const Case cases[] = {
        {"missing end node", [](Network& n) { n.links[0].to = 999; }},
        {"no length", [](Network& n) { n.links[0].to = n.links[0].from; }},
        {"missing area", [](Network& n) { n.links[0].leftArea = 999; }},
        {"restriction away from its node",
         [](Network& n) {
             n.restrictions.push_back({0, 5, 1});
         }},
        {"sub-category above 63", [](Network& n) { n.pois[0].subCategory = 64; }},
        {"region number above 63", [](Network& n) { n.regions[0].number = 64; }},
        {"repeated region number", [](Network& n) { n.regions.push_back(n.regions[0]); }},
        {"level above 15", [](Network& n) { n.features[0].level = 16; }},
    };
    for (const Case& c : cases) {
        Network net = MakeTestGrid(3, 3);
        c.breakIt(net);
        EXPECT_THROW(ValidateNetwork(net), std::runtime_error) << c.what;
    }
}

// A node record holds 15 link ends: beyond them the least important links at the
// node go (lowest class, then shortest), with a warning naming the node; the rest
// of the network, and restrictions not naming a dropped link, stay.
TEST(NetworkTest, ValidateDropsTheLeastImportantLinksAtACrowdedNode) {
    Network net = MakeTestGrid(3, 3);
    const size_t gridLinks = net.links.size();
    size_t gridEnds = 0;
    for (const Link& link : net.links)
        gridEnds += (link.from == 0) + (link.to == 0);
    std::vector<uint32_t> minor, major;
    for (int i = 0; i < 16; ++i) {
        uint32_t n = net.AddNode({45.0005 + 0.0001 * i, -99.999}, 1000 + i);
        Link link{.from = 0, .to = n};
        link.roadClass = i < 2 ? RoadClass::Freeway : RoadClass::Minor;
        link.sourceId = 500 + i;
        (i < 2 ? major : minor).push_back(net.AddLink(link));
    }
    net.restrictions.push_back({major[0], 0, major[1]});
    net.restrictions.push_back({major[0], 0, minor[0]});
    ValidateNetwork(net);
    size_t atNode = 0, freeways = 0;
    for (const Link& link : net.links) {
        atNode += (link.from == 0) + (link.to == 0);
        freeways += link.roadClass == RoadClass::Freeway;
    }
    EXPECT_EQ(atNode, kMaxLinkEndsAtNode);
    EXPECT_EQ(freeways, 2u);
    EXPECT_EQ(net.links.size(), gridLinks + 16 - (gridEnds + 16 - kMaxLinkEndsAtNode));
    ASSERT_EQ(net.warnings.size(), 1u);
    EXPECT_NE(net.warnings[0].find("node 0 (source id"), std::string::npos) << net.warnings[0];
    // The second restriction names the shortest minor link, which went.
    ASSERT_EQ(net.restrictions.size(), 1u);
    EXPECT_EQ(net.links[net.restrictions[0].fromLink].roadClass, RoadClass::Freeway);
    EXPECT_EQ(net.links[net.restrictions[0].toLink].roadClass, RoadClass::Freeway);
    // Checking again changes nothing.
    ValidateNetwork(net);
    EXPECT_EQ(net.warnings.size(), 1u);
}

TEST(NetworkTest, SplitLinksKeepsEachPieceShort) {
    Network net = Straight(0);  // one segment of about 1 km
    SplitLinks(net, 0.3, 1023);
    ASSERT_EQ(net.links.size(), 4u);
    double total = 0;
    for (uint32_t l = 0; l < net.links.size(); ++l) {
        EXPECT_LE(net.LinkLengthKm(l), 0.3 + 1e-9);
        total += net.LinkLengthKm(l);
    }
    EXPECT_NEAR(total, Straight(0).LinkLengthKm(0), 1e-9);
}

TEST(NetworkTest, PoiLinksAreTheNearestWithTheirSide) {
    Network net = MakeTestGrid(4, 4);
    Poi north;
    north.position = {net.nodes[1].position.lat + 0.0002,
                      (net.nodes[1].position.lon + net.nodes[2].position.lon) / 2};
    Poi south = north;
    south.position.lat = net.nodes[1].position.lat - 0.0002;
    net.pois = {north, south};
    AssignPoiLinks(net);
    // Both lie beside the bottom street's link from node 1 to node 2 (drawn west to
    // east): the northern one on its left.
    for (const Poi& poi : net.pois) {
        ASSERT_NE(poi.link, kNone);
        EXPECT_EQ(net.links[poi.link].from, 1u);
        EXPECT_EQ(net.links[poi.link].to, 2u);
    }
    EXPECT_FALSE(net.pois[0].rightSide);
    EXPECT_TRUE(net.pois[1].rightSide);
}

TEST(NetworkTest, TestGridHasWhatTheWritersNeed) {
    Network net = MakeTestGrid(5, 4);
    EXPECT_EQ(net.nodes.size(), 20u);
    EXPECT_EQ(net.links.size(), 4u * 4 + 5u * 3);
    std::set<PoiCategory> categories;
    for (const Poi& poi : net.pois) {
        categories.insert(poi.category);
        EXPECT_NE(poi.link, kNone);
    }
    EXPECT_EQ(categories.size(), static_cast<size_t>(kPoiCategoryCount));
    ASSERT_EQ(net.regions.size(), 1u);
    for (uint32_t l = 0; l < net.links.size(); ++l)
        EXPECT_EQ(net.RegionOfLink(l), 0u);
    EXPECT_NO_THROW(ValidateNetwork(net));
}

TEST(NetworkTest, StateWalkStopsOnParentCycles) {
    Network net;
    uint32_t a = net.AddArea({AreaKind::City, "A", "", 1, {}, {}});
    net.AddArea({AreaKind::County, "B", "", a, {}, {}});
    EXPECT_EQ(net.StateOf(a), kNone);
}

// ---- Built-in states ----------------------------------------------------------------

TEST(BuiltInStatesTest, RegionNumbersFollowTheInstallersList) {
    const auto& states = BuiltInStates();
    ASSERT_EQ(states.size(), 63u);
    struct Expect {
        const char* code;
        uint16_t region;
        uint16_t mask;
    };
    const Expect expected[] = {{"AL", 0, 1},  {"AK", 1, 1},  {"AZ", 2, 1},  {"AR", 3, 1},
                               {"CA", 4, 3},  {"GA", 10, 1}, {"ID", 12, 1}, {"TX", 43, 3},
                               {"WY", 50, 1}, {"AB", 51, 1}, {"BC", 52, 1}, {"ON", 59, 1},
                               {"YT", 63, 1}};
    for (const Expect& e : expected) {
        const BuiltInState* state = FindBuiltInState(e.code);
        ASSERT_NE(state, nullptr) << e.code;
        EXPECT_EQ(state->region, e.region) << e.code;
        EXPECT_EQ(state->subAreaMask, e.mask) << e.code;
    }
    std::set<uint16_t> numbers;
    for (const BuiltInState& s : states)
        numbers.insert(s.region);
    EXPECT_EQ(numbers.size(), 63u);
    EXPECT_EQ(numbers.count(kPrebuiltRegion), 0u);
    EXPECT_EQ(FindBuiltInState("ca"), FindBuiltInState("CA"));
    EXPECT_EQ(FindBuiltInState("HI"), nullptr);
    EXPECT_EQ(FindBuiltInState(""), nullptr);
}

// ---- Layout -------------------------------------------------------------------------

bool IsPowerOfTwo(float v) {
    int exponent;
    return std::frexp(v, &exponent) == 0.5f;
}

TEST(DiscLayoutTest, PlansGridsThatHoldTheNetwork) {
    Network net = MakeTestGrid(12, 9);
    DiscLayout layout = PlanDiscLayout(net, "/tmp/unused");
    EXPECT_TRUE(IsPowerOfTwo(layout.detailed.cellWidth));
    EXPECT_EQ(layout.overview.cellWidth, layout.detailed.cellWidth * layout.detailRatio);
    EXPECT_EQ(layout.overview.originLongitude, layout.detailed.originLongitude);
    EXPECT_EQ(layout.detailed.columns, layout.overview.columns * layout.detailRatio);
    EXPECT_EQ(std::memcmp(layout.overview.magic, "NTC5", 4), 0);
    EXPECT_EQ(std::memcmp(layout.polygons.magic, "PY00", 4), 0);
    EXPECT_TRUE(sd::SplitColumnsValid(layout.c2, layout.c3, layout.detailed.columns));
    for (const Node& node : net.nodes) {
        LatLon sw = DiscLayout::CellOrigin(layout.detailed, {0, 0});
        EXPECT_GE(node.position.lat, sw.lat);
        EXPECT_LT(node.position.lon, sw.lon + layout.detailed.cellWidth * layout.detailed.columns);
        Cell cell = layout.DetailedCell(node.position);
        Cell overview = layout.OverviewCell(node.position);
        EXPECT_EQ(cell.column / layout.detailRatio, overview.column);
        EXPECT_EQ(cell.row / layout.detailRatio, overview.row);
    }
    ASSERT_EQ(layout.entries.size(), 1u);
    EXPECT_EQ(layout.entries[0].regionNumber, 41);
    EXPECT_EQ(layout.EntryOfLink(net, 0), 0u);
    EXPECT_EQ(layout.EntryOfPoi(net, 0), 0u);
    for (int disc = 0; disc < kDiscCount; ++disc)
        EXPECT_GT(layout.ColumnCount(disc), 0);
}

TEST(DiscLayoutTest, DenseNetworksGetSmallerCells) {
    Network net = MakeTestGrid(20, 20, {45.0, -100.0}, 0.5);
    LayoutOptions options;
    options.maxNodesPerDetailedCell = 2;
    options.maxNodesPerOverviewCell = 30;
    DiscLayout layout = PlanDiscLayout(net, "/tmp/unused", options);
    std::map<std::pair<int, int>, int> detailed;
    for (const Node& node : net.nodes) {
        Cell c = layout.DetailedCell(node.position);
        EXPECT_LE(++detailed[std::make_pair(c.column, c.row)], 2);
    }
    DiscLayout loose = PlanDiscLayout(net, "/tmp/unused");
    EXPECT_LT(layout.detailed.cellWidth, loose.detailed.cellWidth);
}

TEST(DiscLayoutTest, FittedLinksJoinCellsThatShareASide) {
    Network net = MakeTestGrid(9, 9, {45.0, -100.0}, 0.4);
    DiscLayout layout = PlanDiscLayout(net, "/tmp/unused");
    const double w = layout.detailed.cellWidth, h = layout.detailed.cellHeight;
    const LatLon origin = DiscLayout::CellOrigin(layout.detailed, {0, 0});
    // A diagonal road straight through cell corners, and a long one across many cells.
    uint32_t a = net.AddNode({origin.lat + 0.5 * h, origin.lon + 0.5 * w});
    uint32_t b = net.AddNode({origin.lat + 3.5 * h, origin.lon + 3.5 * w});
    net.AddLink(Link{.from = a, .to = b});
    uint32_t c = net.AddNode({origin.lat + 0.3 * h, origin.lon + 4.7 * w});
    net.AddLink(Link{.from = c, .to = a, .shape = {{origin.lat + 2.9 * h, origin.lon + 2.2 * w}}});
    // A node right on a grid line.
    uint32_t d = net.AddNode({origin.lat + 2 * h, origin.lon + 1.5 * w});
    net.AddLink(Link{.from = d, .to = a});
    const size_t before = net.links.size();
    FitLinksToGrid(net, layout);
    EXPECT_GT(net.links.size(), before);
    auto exactCell = [&](LatLon p) {
        return Cell{static_cast<int32_t>(std::floor((p.lon - origin.lon) / w)),
                    static_cast<int32_t>(std::floor((p.lat - origin.lat) / h))};
    };
    for (uint32_t l = 0; l < net.links.size(); ++l) {
        std::vector<LatLon> points = net.LinkPoints(l);
        Cell from = layout.DetailedCell(points.front()), to = layout.DetailedCell(points.back());
        int apart = std::abs(from.column - to.column) + std::abs(from.row - to.row);
        EXPECT_LE(apart, 1) << "link " << l;
        for (size_t i = 1; i < points.size(); ++i) {
            LatLon mid{(points[i - 1].lat + points[i].lat) / 2,
                       (points[i - 1].lon + points[i].lon) / 2};
            Cell cell = exactCell(mid);
            EXPECT_TRUE(cell == from || cell == to) << "link " << l << " strays into a third cell";
        }
    }
    // No node is left on a grid line, and every node is a stored (f32) position.
    for (const Node& node : net.nodes) {
        double kx = (static_cast<float>(node.position.lon) - origin.lon) / w;
        double ky = (static_cast<float>(node.position.lat) - origin.lat) / h;
        EXPECT_NE(kx, std::floor(kx));
        EXPECT_NE(ky, std::floor(ky));
        EXPECT_EQ(node.position.lat, static_cast<double>(static_cast<float>(node.position.lat)));
    }
    EXPECT_NO_THROW(ValidateNetwork(net));
}

// ---- Program-folder files -------------------------------------------------------------

// A network of two regions: South Dakota (one list entry) and Texas, chosen by
// halves, north of it.
Network TwoRegions() {
    Network net = MakeTestGrid(6, 6);
    Network north = MakeTestGrid(6, 6, {45.1, -100.0});
    uint32_t nodeBase = static_cast<uint32_t>(net.nodes.size());
    uint32_t areaBase = static_cast<uint32_t>(net.areas.size());
    for (const Node& n : north.nodes)
        net.nodes.push_back(n);
    for (Area a : north.areas) {
        if (a.parent != kNone)
            a.parent += areaBase;
        net.areas.push_back(a);
    }
    net.areas[areaBase].name = "Texas";
    net.areas[areaBase].code = "TX";
    net.areas[areaBase + 2].name = "Lone City";
    for (Link l : north.links) {
        l.from += nodeBase, l.to += nodeBase;
        l.leftArea += areaBase, l.rightArea += areaBase;
        net.links.push_back(l);
    }
    Region tx;
    tx.number = 43;
    tx.name = "Texas";
    tx.area = areaBase;
    // The grid runs from 45.1 to about 45.109 N.
    tx.subAreas.push_back(
        {"North", {{45.105, -100.1}, {45.105, -99.9}, {45.2, -99.9}, {45.2, -100.1}}});
    tx.subAreas.push_back(
        {"South", {{45.09, -100.1}, {45.09, -99.9}, {45.105, -99.9}, {45.105, -100.1}}});
    net.regions.push_back(tx);
    return net;
}

class LayoutFilesTest : public testing_support::RootsTest {
  protected:
    std::filesystem::path Out() const { return roots_.base() / "out"; }
    std::u16string OutText() const { return platform::HostPathText(Out()); }
};

TEST_F(LayoutFilesTest, DiscDescriptionReadsBack) {
    Network net = TwoRegions();
    DiscLayout layout = PlanDiscLayout(net, Out());
    FitLinksToGrid(net, layout);
    CreateFolders(layout);
    EXPECT_GT(WriteLayoutFiles(net, layout), 0u);

    DiscInformation info = LoadDiscInformation(OutText().c_str());
    EXPECT_EQ(info.dataVersion, 1);
    EXPECT_EQ(info.disc2FirstColumn, layout.c2);
    EXPECT_EQ(info.disc3FirstColumn, layout.c3);
    EXPECT_EQ(info.totalColumns, layout.detailed.columns);
    mc::GridHeader overview = mc::DecodeHeader(info.mapHeaders[0].data());
    mc::GridHeader detailed = mc::DecodeHeader(info.mapHeaders[1].data());
    EXPECT_EQ(std::memcmp(&overview, &layout.overview, sizeof overview), 0);
    EXPECT_EQ(std::memcmp(&detailed, &layout.detailed, sizeof detailed), 0);

    const int total = layout.detailed.columns;
    EXPECT_EQ(ReadText(Out() / "CD1" / "mapid.ini"),
              "0 " + std::to_string(layout.c2) + " " + std::to_string(total) + " 1\r\n");
    EXPECT_EQ(ReadText(Out() / "CD3" / "mapid.ini"), std::to_string(layout.c3) + " " +
                                                         std::to_string(total - layout.c3) + " " +
                                                         std::to_string(total) + " 1\r\n");
}

TEST_F(LayoutFilesTest, RegionDataGivesTheCutItsEntries) {
    Network net = TwoRegions();
    DiscLayout layout = PlanDiscLayout(net, Out());
    FitLinksToGrid(net, layout);
    CreateFolders(layout);
    WriteLayoutFiles(net, layout);
    ASSERT_EQ(layout.entries.size(), 2u);
    EXPECT_EQ(layout.entries[0].regionNumber, 41);  // ascending region numbers
    EXPECT_EQ(layout.entries[1].regionNumber, 43);

    CRegionData tables[3];
    for (int layer = 0; layer < 3; ++layer) {
        ASSERT_EQ(tables[layer].Load(layer, OutText().c_str()), 0) << layer;
        const auto& records = tables[layer].Records();
        ASSERT_EQ(records.size(), 3u);
        EXPECT_EQ(records[0].entryKey, sd::EntryKey(41, 1));
        EXPECT_EQ(records[1].entryKey, sd::EntryKey(43, 1));
        EXPECT_EQ(records[2].entryKey, sd::EntryKey(43, 2));
        EXPECT_EQ(records[0].listEntries, std::vector<uint32_t>{0});
        EXPECT_EQ(records[1].listEntries, std::vector<uint32_t>{1});
        EXPECT_EQ(records[2].listEntries, std::vector<uint32_t>{1});
        for (const RegionDataRecord& r : records)
            EXPECT_FALSE(r.spans.empty()) << layer;
    }
    // Every detailed cell with a link of an entry is in a span of that entry.
    for (uint32_t l = 0; l < net.links.size(); ++l) {
        uint32_t entry = layout.EntryOfLink(net, l);
        Cell cell = layout.DetailedCell(net.nodes[net.links[l].from].position);
        bool found = false;
        for (const RegionDataRecord& r : tables[1].Records()) {
            if (r.listEntries[0] != entry)
                continue;
            for (const RegionSpanItem& s : r.spans) {
                found |= s.row == cell.row && s.firstColumn <= cell.column &&
                         cell.column <= s.lastColumn;
            }
        }
        EXPECT_TRUE(found) << "link " << l;
    }
    // Both halves of Texas make its entry wholly chosen, one half partly.
    auto cut = [&](std::vector<DWORD> choice) {
        CMapCut result;
        CMapSelectionBase selection(&result, {&tables[0], &tables[1], &tables[2]});
        EXPECT_EQ(ComputeMapCut(&selection, choice.data(), static_cast<int>(choice.size())), 0);
        return result;
    };
    CMapCut both = cut({sd::ChoiceWord(43, 3)});
    ASSERT_EQ(both.ChosenCount(), 1);
    EXPECT_EQ(both.ChosenEntry(0), 1u);
    EXPECT_TRUE(both.IsWhollyChosen(0));
    CMapCut half = cut({sd::ChoiceWord(43, 1)});
    ASSERT_EQ(half.ChosenCount(), 1);
    EXPECT_FALSE(half.IsWhollyChosen(0));
    CMapCut two = cut({sd::ChoiceWord(41, 1), sd::ChoiceWord(43, 3)});
    EXPECT_EQ(two.ChosenCount(), 2);
    EXPECT_GT(two.BinRangeCount(1), 0);
}

TEST_F(LayoutFilesTest, SizeTablesAndCityListsReadBack) {
    Network net = TwoRegions();
    DiscLayout layout = PlanDiscLayout(net, Out());
    FitLinksToGrid(net, layout);
    CreateFolders(layout);
    // A stand-in overview container with two blocks, to be measured.
    {
        std::vector<uint8_t> bytes(mc::TableEnd(layout.overview), 0);
        mc::EncodeHeader(layout.overview, bytes.data());
        uint32_t end = static_cast<uint32_t>(bytes.size());
        mc::StoreU32(bytes.data() + mc::CellEntryOffset(0), end);
        mc::StoreU32(bytes.data() + mc::CellEntryOffset(mc::CellCount(layout.overview) - 1),
                     end + 100);
        bytes.resize(end + 130, 0xAB);
        std::ofstream(layout.mapData[0] / "mapdata1.raz", std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    WriteLayoutFiles(net, layout);

    CSizeTables sizes;
    ASSERT_EQ(sizes.Load(OutText().c_str()), CSizeTables::kLoaded);
    EXPECT_EQ(sizes.Layer(0).columns, static_cast<uint32_t>(layout.overview.columns));
    EXPECT_EQ(sizes.Layer(1).rows, static_cast<uint32_t>(layout.detailed.rows));
    EXPECT_EQ(sizes.Layer(0).CellSize(0, 0), 100u);
    EXPECT_EQ(sizes.Layer(0).CellSize(layout.overview.columns - 1, layout.overview.rows - 1), 30u);
    EXPECT_EQ(sizes.Layer(0).fixedBytes, mc::kHeaderSize);
    for (uint32_t key : {sd::EntryKey(41, 1), sd::EntryKey(43, 1), sd::EntryKey(43, 2)}) {
        EXPECT_NE(sizes.FindSizeInfo(key), nullptr) << key;
    }

    // City lists: one per built-in state that has cities, names in order.
    std::vector<uint8_t> tx = ReadBytes(Out() / "cities" / "TX.dat");
    ASSERT_GE(tx.size(), 8u);
    EXPECT_EQ(std::memcmp(tx.data(), "CD00", 4), 0);
    EXPECT_EQ(sd::LoadU32(tx.data() + 4), 1u);
    ASSERT_EQ(tx.size(), 8u + 9 + std::string("Lone City").size());
    EXPECT_EQ(tx[16], 9);
    EXPECT_EQ(std::string(tx.begin() + 17, tx.end()), "Lone City");
    float lat;
    std::memcpy(&lat, tx.data() + 8, 4);
    EXPECT_NEAR(lat, net.areas[net.regions[1].area + 2].center.lat, 1e-5);
    EXPECT_TRUE(std::filesystem::exists(Out() / "cities" / "SD.dat"));
}

}  // namespace
