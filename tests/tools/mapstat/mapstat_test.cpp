#include "tools/mapstat/mapstat.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/compressed_block.h"
#include "formats/map_container.h"
#include "platform/kernel/roots.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace mc = formats::map_container;

// What the disc builder wrote, as the map files must show it.
struct Expected {
    std::array<double, mapstat::kClassCount> km{};
    std::array<uint64_t, mapstat::kClassCount> links{};
    uint64_t overviewDeadEnds = 0;
    uint64_t detailedDeadEnds = 0;
};

int ClassValue(discmaker::RoadClass roadClass) {
    return static_cast<int>(discmaker::DeviceClassValue(roadClass) >> 6);
}

// The network as the builder fitted it to the grid, without the island: every link
// written once, and a dead end wherever a link end is the only one at its node.
Expected ExpectedOf(const discmaker::Network& network) {
    Expected expected;
    std::vector<int> ends(network.nodes.size());
    for (const discmaker::Link& link : network.links) {
        ++ends[link.from];
        ++ends[link.to];
    }
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const discmaker::Link& link = network.links[i];
        if (discmaker::InPrebuiltRegion(network, link))
            continue;
        const int c = ClassValue(link.roadClass);
        ++expected.links[c];
        expected.km[c] += network.LinkLengthKm(i);
        if (ends[link.from] == 1 || ends[link.to] == 1) {
            if (discmaker::IsMajorClass(link.roadClass))
                ++expected.overviewDeadEnds;
            else
                ++expected.detailedDeadEnds;
        }
    }
    return expected;
}

// Device files made from a network, kept for the whole program.
struct GeneratedMaps {
    fs::path folder;
    discmaker::Network network;  // as fitted to the grid
    discmaker::BuildFigures figures;
    Expected expected;

    GeneratedMaps(discmaker::Network source, const discmaker::BuildOptions& options,
                  const std::string& name)
        : network(std::move(source)) {
        folder = fs::temp_directory_path() /
                 ("pathlume-mapstat-" + name + "-" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        testing_support::TempRoots roots;
        figures = discmaker::BuildDiscs(network, roots.base() / "disc", options);
        std::ostringstream out, err;
        const mkmaps::Figures made =
            mkmaps::Generate({roots.base() / "disc", roots.base() / "maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!made.completed)
            throw std::runtime_error("map generation failed: " + err.str());
        for (const fs::directory_entry& entry : fs::directory_iterator(roots.base() / "maps"))
            fs::copy_file(entry.path(), folder / entry.path().filename());
        expected = ExpectedOf(network);
    }
    ~GeneratedMaps() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

// The built-in town with small cells, so that many links cross cell borders.
const GeneratedMaps& TownMaps() {
    static const GeneratedMaps maps = [] {
        discmaker::BuildOptions options;
        options.layout.maxNodesPerDetailedCell = 60;
        options.layout.maxNodesPerOverviewCell = 200;
        return GeneratedMaps(discmaker::BuildTown(5, 1500), options, "town");
    }();
    return maps;
}

const GeneratedMaps* AndorraMaps() {
    static std::unique_ptr<GeneratedMaps> maps = []() -> std::unique_ptr<GeneratedMaps> {
        const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
        if (!fs::exists(extract))
            return nullptr;
        return std::make_unique<GeneratedMaps>(discmaker::ReadOsm(extract, "ON"),
                                               discmaker::BuildOptions{}, "andorra");
    }();
    return maps.get();
}

const mapstat::LayerFigures& Layer(const mapstat::Report& report, const std::string& file) {
    for (const mapstat::LayerFigures& layer : report.layers) {
        if (layer.file == file)
            return layer;
    }
    throw std::runtime_error("no layer on " + file);
}

bool IsOverviewClass(int c) {
    return c >= 1 && c <= 3;
}

// Every non-empty cell walked, every class's kilometres within 2 % of the
// builder's, and the reduced overview as long as the main one.
void ExpectFiguresMatch(const mapstat::Report& report, const Expected& expected) {
    ASSERT_EQ(report.layers.size(), 3u);
    for (const mapstat::LayerFigures& layer : report.layers) {
        SCOPED_TRACE(layer.file);
        EXPECT_GT(layer.cellsWithData, 0u);
        EXPECT_EQ(layer.cellsWalked, layer.cellsWithData);
        EXPECT_EQ(layer.cellsFailed, 0u);
        EXPECT_GT(layer.nodes, 0u);
    }
    EXPECT_TRUE(report.Complete());
    const mapstat::LayerFigures& overview = Layer(report, "mapdata1.biz");
    const mapstat::LayerFigures& reduced = Layer(report, "mapdatat.biz");
    const mapstat::LayerFigures& detailed = Layer(report, "mapdata2.biz");
    EXPECT_EQ(overview.layer, 0);
    EXPECT_EQ(detailed.layer, mapstat::kDetailedLayer);
    EXPECT_TRUE(detailed.detailed);
    for (int c = 0; c < mapstat::kClassCount; ++c) {
        SCOPED_TRACE(mapstat::ClassName(c));
        const mapstat::LayerFigures& holder = IsOverviewClass(c) ? overview : detailed;
        const mapstat::LayerFigures& other = IsOverviewClass(c) ? detailed : overview;
        EXPECT_EQ(other.classes[c].links, 0u);
        EXPECT_NEAR(holder.classes[c].km, expected.km[c], expected.km[c] * 0.02);
        EXPECT_EQ(report.network[c].links, holder.classes[c].links);
        EXPECT_NEAR(reduced.classes[c].km, overview.classes[c].km, overview.classes[c].km * 1e-6);
    }
}

TEST(MapstatTest, TownFiguresAreTheBuildersOnes) {
    const GeneratedMaps& town = TownMaps();
    const mapstat::Report report = mapstat::Examine({town.folder});
    ExpectFiguresMatch(report, town.expected);
    // Each link once however many cells its halves lie in, and each dead end once.
    for (int c = 0; c < mapstat::kClassCount; ++c)
        EXPECT_EQ(report.network[c].links, town.expected.links[c]) << mapstat::ClassName(c);
    EXPECT_EQ(Layer(report, "mapdata1.biz").deadEnds, town.expected.overviewDeadEnds);
    EXPECT_EQ(Layer(report, "mapdata2.biz").deadEnds, town.expected.detailedDeadEnds);
    EXPECT_GT(town.expected.detailedDeadEnds, 0u);
}

TEST(MapstatTest, FiguresDoNotDependOnHowMuchIsLoadedAtOnce) {
    const GeneratedMaps& town = TownMaps();
    const mapstat::Report whole = mapstat::Examine({town.folder});
    // Tiny tiles and windows: most links cross into cells of another load.
    mapstat::Options options{town.folder};
    options.overviewTileCells = 1;
    options.detailedWindowCells = 2;
    const mapstat::Report pieces = mapstat::Examine(options);
    ASSERT_EQ(pieces.layers.size(), whole.layers.size());
    for (size_t i = 0; i < whole.layers.size(); ++i) {
        const mapstat::LayerFigures &a = whole.layers[i], &b = pieces.layers[i];
        SCOPED_TRACE(a.file);
        EXPECT_EQ(b.cellsWalked, a.cellsWithData);
        EXPECT_EQ(b.nodes, a.nodes);
        EXPECT_EQ(b.links, a.links);
        EXPECT_NEAR(b.km, a.km, 1e-6 * a.km);
        EXPECT_EQ(b.deadEnds, a.deadEnds);
    }
}

// Points on the two longest links of each class, clear of the roads at their ends:
// an interior shape point, or the middle of a straight link.
struct Probe {
    int classValue;
    double lat, lon;
};

std::vector<Probe> ProbesOf(const discmaker::Network& network) {
    // The two longest links of each class.
    std::map<int, std::multimap<double, uint32_t, std::greater<>>> longest;
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const discmaker::Link& link = network.links[i];
        if (!discmaker::InPrebuiltRegion(network, link))
            longest[ClassValue(link.roadClass)].insert({network.LinkLengthKm(i), i});
    }
    std::vector<Probe> probes;
    for (const auto& [c, links] : longest) {
        auto it = links.begin();
        for (int n = 0; n < 2 && it != links.end(); ++n, ++it) {
            const discmaker::Link& link = network.links[it->second];
            if (!link.shape.empty()) {
                const discmaker::LatLon& point = link.shape[link.shape.size() / 2];
                probes.push_back({c, point.lat, point.lon});
            } else {
                const discmaker::LatLon& a = network.nodes[link.from].position;
                const discmaker::LatLon& b = network.nodes[link.to].position;
                probes.push_back({c, (a.lat + b.lat) / 2, (a.lon + b.lon) / 2});
            }
        }
    }
    return probes;
}

void ExpectProbesFound(const GeneratedMaps& maps, size_t minClasses) {
    const std::vector<Probe> probes = ProbesOf(maps.network);
    std::map<int, int> classes;
    int named = 0;  // links whose street name the name files give
    for (const Probe& probe : probes) {
        SCOPED_TRACE(mapstat::ClassName(probe.classValue) + " at " + std::to_string(probe.lat) +
                     "," + std::to_string(probe.lon));
        const mapstat::NearestLink nearest =
            mapstat::FindNearestLink(maps.folder, probe.lat, probe.lon);
        ASSERT_TRUE(nearest.found);
        EXPECT_EQ(nearest.classValue, probe.classValue);
        EXPECT_LE(nearest.metres, 20.0);
        EXPECT_EQ(nearest.layer, IsOverviewClass(probe.classValue) ? 0 : mapstat::kDetailedLayer);
        if (!nearest.street.empty())
            ++named;
        ++classes[probe.classValue];
    }
    EXPECT_GE(classes.size(), minClasses);
    EXPECT_GT(named, 0);
}

TEST(MapstatTest, NearestLinkInTheTownIsTheWaysClass) {
    ExpectProbesFound(TownMaps(), 5);
}

TEST(MapstatTest, NearestLinkOffTheMapIsNone) {
    const mapstat::NearestLink nearest = mapstat::FindNearestLink(TownMaps().folder, -60, 100);
    EXPECT_FALSE(nearest.found);
}

TEST(MapstatTest, AndorraFiguresAreTheBuildersOnes) {
    const GeneratedMaps* andorra = AndorraMaps();
    if (!andorra)
        GTEST_SKIP() << "no andorra.osm.pbf in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    const mapstat::Report report = mapstat::Examine({andorra->folder});
    ExpectFiguresMatch(report, andorra->expected);
    // The builder's own figures, arterial and collector in one class.
    std::array<double, mapstat::kClassCount> built{};
    for (int c = 0; c < discmaker::kRoadClassCount; ++c)
        built[ClassValue(static_cast<discmaker::RoadClass>(c))] += andorra->figures.kmByClass[c];
    for (int c = 0; c < mapstat::kClassCount; ++c)
        EXPECT_NEAR(report.network[c].km, built[c], built[c] * 0.02) << mapstat::ClassName(c);
    std::ostringstream text;
    mapstat::PrintText(report, text);
    std::printf("%s", text.str().c_str());
}

TEST(MapstatTest, NearestLinkInAndorraIsTheWaysClass) {
    const GeneratedMaps* andorra = AndorraMaps();
    if (!andorra)
        GTEST_SKIP() << "no andorra.osm.pbf in " << testing_support::SharedOsmFolder()
                     << ": the shared data folder is absent";
    ExpectProbesFound(*andorra, 3);
}

TEST(MapstatTest, FolderProblemsAreOneLine) {
    testing_support::TempRoots roots;
    const fs::path empty = roots.base() / "empty";
    fs::create_directories(empty);
    struct Case {
        std::string name;
        fs::path folder;
        std::string message;
    };
    const fs::path cut = roots.base() / "cut";
    fs::create_directories(cut);
    fs::copy_file(TownMaps().folder / "mapdata1.biz", cut / "mapdata1.biz");
    std::ofstream(cut / "mapdata2.biz", std::ios::binary) << "NTC5";
    const fs::path foreign = roots.base() / "foreign";
    fs::create_directories(foreign);
    fs::copy_file(TownMaps().folder / "mapdata2.biz", foreign / "mapdata2.biz");
    std::ofstream(foreign / "mapdata1.biz", std::ios::binary) << std::string(64, 'x');
    // One flipped bit of the detailed cell height: no longer a power of two.
    const fs::path odd = roots.base() / "odd";
    fs::copy(TownMaps().folder, odd);
    {
        std::fstream file(odd / "mapdata2.biz", std::ios::in | std::ios::out | std::ios::binary);
        file.seekg(mc::kCellHeightOffset);
        char byte = 0;
        file.get(byte);
        file.seekp(mc::kCellHeightOffset);
        file.put(static_cast<char>(byte ^ 0x01));
    }
    for (const Case& c : {Case{"empty", empty, "holds no readable map files"},
                          Case{"file", TownMaps().folder / "mapdata1.biz", "not a folder"},
                          Case{"odd cells", odd, "mapdata2.biz: its cells are not powers of two"},
                          Case{"missing", roots.base() / "nowhere", "no such folder"},
                          Case{"cut", cut, "mapdata2.biz: too short"},
                          Case{"foreign", foreign, "mapdata1.biz: not a map container"}}) {
        SCOPED_TRACE(c.name);
        try {
            mapstat::Examine({c.folder});
            ADD_FAILURE() << "no error";
        } catch (const mapstat::MapError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find(c.message), std::string::npos) << text;
            EXPECT_EQ(text.find('\n'), std::string::npos) << text;
        }
    }
}

TEST(MapstatTest, TheReducedOverviewIsOptionalButMustShareTheGrid) {
    testing_support::TempRoots roots;
    const fs::path maps = roots.base() / "maps";
    fs::copy(TownMaps().folder, maps);
    fs::remove(maps / "mapdatat.biz");
    const mapstat::Report without = mapstat::Examine({maps});
    ASSERT_EQ(without.layers.size(), 2u);
    EXPECT_EQ(without.layers[0].file, "mapdata1.biz");
    EXPECT_EQ(without.layers[1].file, "mapdata2.biz");
    EXPECT_TRUE(without.Complete());

    // A container of another grid would be read with the overview's cell table.
    fs::copy_file(maps / "mapdata2.biz", maps / "mapdatat.biz");
    const mapstat::Report foreign = mapstat::Examine({maps});
    EXPECT_EQ(foreign.layers.size(), 2u);
    ASSERT_EQ(foreign.problems.size(), 1u);
    EXPECT_EQ(foreign.problems[0], "mapdatat.biz: its grid is not mapdata1.biz's");
    EXPECT_FALSE(foreign.Complete());
}

// Garbage over the compressed stream of the container's first non-empty cell.
void CorruptFirstCell(const fs::path& container) {
    std::fstream file(container, std::ios::in | std::ios::out | std::ios::binary);
    uint8_t head[mc::kHeaderSize];
    file.read(reinterpret_cast<char*>(head), sizeof head);
    const mc::GridHeader grid = mc::DecodeHeader(head);
    uint32_t offset = 0;
    for (uint32_t i = 0; i < mc::CellCount(grid) && offset == 0; ++i) {
        uint8_t entry[mc::kCellEntrySize];
        file.seekg(static_cast<std::streamoff>(mc::CellEntryOffset(i)));
        file.read(reinterpret_cast<char*>(entry), sizeof entry);
        offset = mc::LoadU32(entry);
    }
    ASSERT_NE(offset, 0u);
    file.seekp(offset + 8);
    file << std::string(16, '\xA5');
}

// A broken cell of either container is the only one left out: a broken overview
// cell under a detailed window does not keep that window's cells from loading.
TEST(MapstatTest, ACorruptCellIsReportedAndTheRestCounted) {
    for (const std::string broken : {"mapdata2.biz", "mapdata1.biz"}) {
        SCOPED_TRACE(broken);
        testing_support::TempRoots roots;
        const fs::path maps = roots.base() / "maps";
        fs::copy(TownMaps().folder, maps);
        const mapstat::Report intact = mapstat::Examine({maps});
        CorruptFirstCell(maps / broken);

        const mapstat::Report report = mapstat::Examine({maps});
        EXPECT_FALSE(report.Complete());
        for (const std::string file : {"mapdata1.biz", "mapdata2.biz"}) {
            SCOPED_TRACE(file);
            const mapstat::LayerFigures& layer = Layer(report, file);
            const uint64_t failed = file == broken ? 1 : 0;
            EXPECT_EQ(layer.cellsFailed, failed);
            EXPECT_EQ(layer.cellsWalked + failed, layer.cellsWithData);
            if (file == broken) {
                EXPECT_LT(layer.links, Layer(intact, file).links);
            }
        }
        EXPECT_EQ(Layer(report, "mapdatat.biz").links, Layer(intact, "mapdatat.biz").links);
        EXPECT_NE(mapstat::FiguresLine(report).find("incomplete"), std::string::npos);
    }
}

TEST(MapstatTest, PointsAreParsed) {
    EXPECT_EQ(mapstat::ParsePoint("42.5,1.52"), std::make_pair(42.5, 1.52));
    EXPECT_EQ(mapstat::ParsePoint("-33.9,-70"), std::make_pair(-33.9, -70.0));
    for (const char* bad : {"", ",", "42.5", "42.5,", ",1.5", "42.5;1.5", "a,b", "42.5,1.5,3",
                            "91,0", "0,181", "nan,0", "42.5x,1"}) {
        EXPECT_THROW(mapstat::ParsePoint(bad), std::invalid_argument) << bad;
    }
}

// ---- The command line ------------------------------------------------------------

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class MapstatCliTest : public testing_support::RootsTest {
  protected:
    ToolRun Mapstat(const std::string& args) {
        const fs::path out = roots_.base() / "stdout.txt", err = roots_.base() / "stderr.txt";
        const std::string command =
            std::string(MAPSTAT_EXE) + " " + args + " >" + out.string() + " 2>" + err.string();
        const int raw = std::system(command.c_str());
        ToolRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = FileText(out);
        run.err = FileText(err);
        return run;
    }
};

// One JSON value with nothing after it: braces and brackets balance outside
// strings, and the text is an object.
bool IsOneJsonObject(const std::string& text) {
    size_t first = text.find_first_not_of(" \n");
    size_t last = text.find_last_not_of(" \n");
    if (first == std::string::npos || text[first] != '{' || text[last] != '}')
        return false;
    std::vector<char> open;
    bool inString = false;
    for (size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            open.push_back(c);
        } else if (c == '}' || c == ']') {
            if (open.empty() || open.back() != (c == '}' ? '{' : '['))
                return false;
            open.pop_back();
            if (open.empty() && i != last)
                return false;
        }
    }
    return open.empty() && !inString;
}

TEST_F(MapstatCliTest, JsonHoldsTheFigures) {
    const std::vector<Probe> probes = ProbesOf(TownMaps().network);
    ASSERT_FALSE(probes.empty());
    const Probe& probe = probes.front();
    char at[64];
    std::snprintf(at, sizeof at, "%.7f,%.7f", probe.lat, probe.lon);
    const ToolRun run = Mapstat(TownMaps().folder.string() + " --json --at " + at);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    EXPECT_TRUE(IsOneJsonObject(run.out)) << run.out;
    for (const char* key :
         {"\"layer\": 0", "\"layer\": 3", "\"file\": \"mapdata1.biz\"",
          "\"file\": \"mapdatat.biz\"", "\"file\": \"mapdata2.biz\"", "\"detailed\": true",
          "\"cells\": ", "\"nodes\": ", "\"links\": ", "\"km\": ", "\"classes\": [",
          "\"dead_ends\": ", "\"seconds\": ", "\"nearest\": {", "\"metres\": ", "\"network\": "}) {
        EXPECT_NE(run.out.find(key), std::string::npos) << key;
    }
}

TEST_F(MapstatCliTest, TextEndsWithTheFiguresLine) {
    const ToolRun run = Mapstat(TownMaps().folder.string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("mapdata2.biz, layer 3 (the detailed layer)"), std::string::npos);
    EXPECT_NE(run.out.find("road network (mapdata1.biz and mapdata2.biz)"), std::string::npos);
    const size_t lastLine = run.out.rfind('\n', run.out.size() - 2);
    EXPECT_EQ(run.out.compare(lastLine + 1, 15, "checked: cells "), 0) << run.out;
}

TEST_F(MapstatCliTest, MistakesAreNamed) {
    const std::string maps = TownMaps().folder.string();
    fs::create_directories(roots_.base() / "empty");
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    for (const Case& c : {
             Case{"", 2, "no folder given"},
             Case{maps + " --at", 2, "--at needs LAT,LON"},
             Case{maps + " --at 42.5", 2, "--at wants LAT,LON"},
             Case{maps + " --at 95,1", 2, "bad latitude"},
             Case{maps + " --colour", 2, "unknown option --colour"},
             Case{maps + " " + maps, 2, "one folder only"},
             Case{(roots_.base() / "empty").string(), 1, "holds no readable map files"},
         }) {
        SCOPED_TRACE(c.args);
        const ToolRun run = Mapstat(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_TRUE(run.out.empty()) << run.out;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        if (c.status == 2)
            EXPECT_NE(run.err.find("usage: mapstat DIR"), std::string::npos);
        else
            EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    }
}

}  // namespace
