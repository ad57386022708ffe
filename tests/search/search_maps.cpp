#include "tests/search/search_maps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "tests/support/device_maps.h"

namespace search_test {

using namespace discmaker;

const char* const kRowStreets[kRows] = {
    "Avinguda Meritxell",       "Carrer Major", "Carrer Francesc Escud\xC3\xA9",
    "Carrer de la Uni\xC3\xB3", "Carrer Nou",   "Carrer Prat"};
const char* const kColumnStreets[kColumns] = {"Carrer del Bisbe",       "Carrer Sant Antoni",
                                              "Carrer Doctor Vilanova", "Carrer Bonaventura",
                                              "Carrer Santa Anna",      "Carrer de les Canals"};

namespace {

constexpr double kLat0 = 42.40;
constexpr double kLon0 = 1.40;
constexpr double kDLat = 0.0015;
constexpr double kDLon = 0.0019;

LatLon At(double c, double r) {
    return {kLat0 + r * kDLat, kLon0 + c * kDLon};
}

std::vector<LatLon> Box(double c0, double r0, double c1, double r1) {
    return {At(c0, r0), At(c1, r0), At(c1, r1), At(c0, r1)};
}

Network Build() {
    Network net;
    const uint32_t alpha = net.AddArea({AreaKind::State, "Alpha", "AL", kNone, At(0, 0), {}});
    const uint32_t beta = net.AddArea({AreaKind::State, "Alpha Beta", "AB", kNone, At(4, 0), {}});
    const uint32_t gamma = net.AddArea({AreaKind::State, "Gamma", "GM", kNone, At(9, 9), {}});
    const uint32_t north = net.AddArea({AreaKind::County, "North County", "", alpha, At(0, 4), {}});
    const uint32_t south = net.AddArea({AreaKind::County, "South County", "", alpha, At(0, 1), {}});
    const uint32_t santJulia = net.AddArea({AreaKind::City, "Sant Juli\xC3\xA0 de L\xC3\xB2ria", "",
                                            south, At(0.5, 1), Box(-0.5, -0.5, 1.5, 2.5)});
    const uint32_t riberaNorth =
        net.AddArea({AreaKind::City, "Ribera", "", north, At(0.5, 4), Box(-0.5, 2.5, 1.5, 5.5)});
    const uint32_t riberaSouth =
        net.AddArea({AreaKind::City, "Ribera", "", south, At(2.5, 1), Box(1.5, -0.5, 3.5, 2.5)});
    const uint32_t massana =
        net.AddArea({AreaKind::City, "La Massana", "", north, At(2.5, 4), Box(1.5, 2.5, 3.5, 5.5)});
    net.AddArea({AreaKind::City, "La Massana", "", massana, At(2.5, 4.5), {}});
    const uint32_t encamp =
        net.AddArea({AreaKind::City, "Encamp", "", beta, At(4.5, 2.5), Box(3.5, -0.5, 5.5, 5.5)});
    (void)gamma;

    auto areaAt = [&](double c, double r) {
        if (c >= 3.5)
            return encamp;
        if (c < 1.5)
            return r < 2.5 ? santJulia : riberaNorth;
        return r < 2.5 ? riberaSouth : massana;
    };
    std::vector<std::vector<uint32_t>> nodes(kColumns, std::vector<uint32_t>(kRows));
    for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r)
            nodes[c][r] = net.AddNode(At(c, r));
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c + 1 < kColumns; ++c) {
            Link link;
            link.from = nodes[c][r];
            link.to = nodes[c + 1][r];
            link.name = StreetName{{}, {}, kRowStreets[r], {}, {}};
            const uint32_t base = r == kMajorRow ? 0 : static_cast<uint32_t>(20 * c);
            link.left = {base + 1, base + 19, Parity::Odd};
            link.right = {base + 2, base + 20, Parity::Even};
            link.leftArea = link.rightArea = areaAt(c + 0.5, r);
            link.roadClass = RoadClass::Street;
            net.AddLink(std::move(link));
        }
    }
    for (int c = 0; c < kColumns; ++c) {
        for (int r = 0; r + 1 < kRows; ++r) {
            Link link;
            link.from = nodes[c][r];
            link.to = nodes[c][r + 1];
            link.name = StreetName{{}, {}, kColumnStreets[c], {}, {}};
            link.leftArea = link.rightArea = areaAt(c, r + 0.5);
            link.roadClass = RoadClass::Street;
            net.AddLink(std::move(link));
        }
    }
    Region a;
    a.number = 1;
    a.name = "Alpha";
    a.area = alpha;
    a.outline = Box(-2, -2, 3.5, 7);
    net.regions.push_back(a);
    Region b;
    b.number = 2;
    b.name = "Alpha Beta";
    b.area = beta;
    b.outline = Box(3.5, -2, 7, 7);
    net.regions.push_back(b);
    Region g;
    g.number = 3;
    g.name = "Gamma";
    g.area = gamma;
    g.outline = Box(8, 8, 10, 10);
    net.regions.push_back(g);
    return net;
}

}  // namespace

const Network& SearchTown() {
    static const Network network = Build();
    return network;
}

const std::filesystem::path& SearchMapsFolder() {
    static const std::unique_ptr<testing_support::GeneratedDeviceMaps> maps =
        std::make_unique<testing_support::GeneratedDeviceMaps>(SearchTown(), BuildOptions{},
                                                               "search");
    return maps->folder();
}

MapPoint GridPoint(int column, int row) {
    const LatLon p = At(column, row);
    return {static_cast<FLOAT>(p.lat), static_cast<FLOAT>(p.lon)};
}

void SearchMapsTest::SetUp() {
    testing_support::SetDataFolder(SearchMapsFolder());
    OpenMapIndexFiles();
    ASSERT_TRUE(g_linkInfo.IsOpen());
    ASSERT_TRUE(g_areaZones.IsOpen());
    static const bool opened = [] {
        const bool done = g_mapDatabase.Open() == 0;
        std::atexit([] {
            g_mapDatabase.mapFile1.Close();
            g_mapDatabase.mapFile2.Close();
            g_mapDatabase.mapFileT.Close();
        });
        return done;
    }();
    ASSERT_TRUE(opened);
    g_homeKeyPressed.store(0);
}

void SearchMapsTest::TearDown() {
    CloseMapIndexFiles();
    testing_support::SetDataFolder({});
}

int SearchMapsTest::RegionIndex(const std::string& name) {
    for (size_t i = 0; i < g_areaZones.AreaCount(); ++i) {
        if (g_areaZones.GetArea(i)->name == name)
            return static_cast<int>(i);
    }
    return -1;
}

uint32_t SearchMapsTest::NameOffset(const std::string& name) {
    const auto entry = LookupNamesBigram(name[0], name[1]);
    if (!entry)
        return 0;
    uint32_t offset = entry->firstOffset;
    char stored[kNameBufferSize];
    for (uint32_t k = 0; k < entry->count; ++k) {
        const int length = ReadNamesBinString(offset, stored);
        if (length <= 0)
            return 0;
        if (name == stored)
            return offset;
        offset += 1 + static_cast<uint32_t>(length);
    }
    return 0;
}

}  // namespace search_test
