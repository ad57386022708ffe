// The command line: help, errors a user can act on, the figures line, and the same
// discs from the same input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mapstat/mapstat.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = FileText(entry.path());
    }
    return files;
}

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public testing_support::RootsTest {
  protected:
    ToolRun Discmaker(const std::string& args) {
        const fs::path out = roots_.base() / "stdout.txt", err = roots_.base() / "stderr.txt";
        std::string command =
            std::string(DISCMAKER_EXE) + " " + args + " >" + out.string() + " 2>" + err.string();
        int raw = std::system(command.c_str());
        ToolRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = FileText(out);
        run.err = FileText(err);
        return run;
    }
    std::string Path(const std::string& name) const { return (roots_.base() / name).string(); }
};

TEST_F(CliTest, HelpShowsTheUsage) {
    ToolRun run = Discmaker("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("usage: discmaker [--town SEED --size N | --osm FILE [--state CODE]] "
                           "[--osm-out FILE] OUT"),
              std::string::npos);
    EXPECT_NE(run.out.find("default AL"), std::string::npos) << run.out;
    EXPECT_TRUE(run.err.empty());
}

TEST_F(CliTest, MistakesAreNamed) {
    struct Case {
        std::string args;
        int status;
        std::string message;
    };
    fs::create_directories(Path("folder.osm"));
    std::ofstream(Path("junk.osm")) << "not map data";
    std::ofstream(Path("junk.osm.pbf")) << "not map data";
    const Case cases[] = {
        {"", 2, "no output folder given"},
        {"--frobnicate " + Path("o"), 2, "unknown option --frobnicate"},
        {"--size", 2, "--size needs a number of links"},
        {"--size 5 " + Path("o"), 2, "the size must be a whole number from 100"},
        {"--town x " + Path("o"), 2, "the seed must be a whole number"},
        {"--osm " + Path("none.osm") + " " + Path("o"), 1,
         "cannot read " + Path("none.osm") + ": no such file"},
        {"--osm " + Path("junk.osm") + " " + Path("o"), 1, "cannot read " + Path("junk.osm")},
        {"--osm " + Path("junk.osm.pbf") + " " + Path("o"), 1,
         "cannot read " + Path("junk.osm.pbf") + ": PBF error"},
        {"--osm " + Path("folder.osm") + " " + Path("o"), 1, "cannot read " + Path("folder.osm")},
        {"--osm " + Path("junk.osm") + " --state QQ " + Path("o"), 2,
         "\"QQ\" is not a built-in state or province code; the codes are AL, "},
        {"--osm " + Path("junk.osm") + " --state", 2, "--state needs a code; the codes are AL, "},
        {"--osm " + Path("junk.osm") + " --town 3 " + Path("o"), 2, "cannot be combined"},
        {"--state CA " + Path("o"), 2, "--state goes with --osm"},
        {Path("a") + " " + Path("b"), 2, "more than one output folder"},
    };
    for (const Case& c : cases) {
        ToolRun run = Discmaker(c.args);
        EXPECT_EQ(run.status, c.status) << c.args;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.args << "\n" << run.err;
        EXPECT_TRUE(run.out.empty()) << c.args;
    }
    EXPECT_FALSE(fs::exists(Path("o")));
}

TEST_F(CliTest, TownDiscsEndWithTheFiguresAndRepeatByteForByte) {
    ToolRun first = Discmaker("--town 9 --size 250 " + Path("one"));
    ASSERT_EQ(first.status, 0) << first.err;
    std::regex figures(
        "links [0-9]+, nodes [0-9]+, names [0-9]+, points of interest [0-9]+, addresses 0 placed "
        "of 0, km of road: freeway "
        "[0-9.]+, "
        "highway [0-9.]+, arterial [0-9.]+, collector [0-9.]+, street [0-9.]+, minor [0-9.]+, "
        "bytes [0-9]+, "
        "seconds [0-9.]+\n$");
    EXPECT_TRUE(std::regex_search(first.out, figures)) << first.out;
    std::smatch bytes;
    ASSERT_TRUE(std::regex_search(first.out, bytes, std::regex("bytes ([0-9]+)")));
    uint64_t total = 0;
    auto tree = Tree(Path("one"));
    for (const auto& [name, data] : tree)
        total += data.size();
    EXPECT_EQ(std::to_string(total), bytes[1].str());
    // The island region's device files, made by a generation run on the discs.
    int islandFiles = 0;
    for (const auto& [name, data] : tree)
        islandFiles += name.find("hawaii") != std::string::npos && !data.empty() ? 1 : 0;
    EXPECT_EQ(islandFiles, 16);

    ToolRun second = Discmaker("--town 9 --size 250 " + Path("two"));
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Tree(Path("two")), tree);
    // Over the earlier discs in the same folder.
    ToolRun again = Discmaker("--town 9 --size 250 " + Path("one"));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Tree(Path("one")), tree);
    // And not over anything else.
    fs::create_directories(Path("mine"));
    std::ofstream(Path("mine/letter.txt")) << "keep";
    ToolRun refused = Discmaker("--town 9 --size 250 " + Path("mine"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("holds no disc"), std::string::npos) << refused.err;
}

TEST_F(CliTest, UserFilesBesideADiscSurvive) {
    ToolRun first = Discmaker("--town 3 --size 150 " + Path("out"));
    ASSERT_EQ(first.status, 0) << first.err;
    // A file of the user's anywhere in the disc's folders makes it the user's folder.
    for (const char* mine : {"out/CD1/notes.txt", "out/CD2/mapdata/backup.raz",
                             "out/cities/list.txt", "out/CD1/mapdata/hawaii/photo.jpg"}) {
        std::ofstream(Path(mine)) << "keep";
        ToolRun refused = Discmaker("--town 3 --size 150 " + Path("out"));
        EXPECT_EQ(refused.status, 1) << mine;
        EXPECT_NE(refused.err.find("holds no disc"), std::string::npos) << refused.err;
        EXPECT_EQ(FileText(Path(mine)), "keep");
        EXPECT_TRUE(fs::exists(Path("out/cdinfo.ini")));
        fs::remove(Path(mine));
    }
    // Folders named as a disc's but holding the user's files are not a disc.
    fs::create_directories(Path("look/CD1"));
    fs::create_directories(Path("look/cities"));
    std::ofstream(Path("look/cities/friends.dat")) << "keep";
    ToolRun refused = Discmaker("--town 3 --size 150 " + Path("look"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(FileText(Path("look/cities/friends.dat")), "keep");
}

// A run that fails late, after most files are written, leaves no disc and nothing
// beside it; an earlier disc in OUT stays as it was.
TEST_F(CliTest, FailedBuildLeavesNothingThatLooksLikeADisc) {
    discmaker::BuildOptions failing;
    failing.prebuildRegion = [](const discmaker::Network&, const discmaker::DiscLayout&,
                                const fs::path&) -> uint64_t {
        throw std::runtime_error("disk full");
    };
    discmaker::Network network = discmaker::BuildTown(5, 150);
    EXPECT_THROW(discmaker::BuildDiscs(network, Path("new/out"), failing), std::runtime_error);
    EXPECT_FALSE(fs::exists(Path("new/out")));
    EXPECT_TRUE(fs::is_empty(Path("new")));

    ToolRun first = Discmaker("--town 3 --size 150 " + Path("old"));
    ASSERT_EQ(first.status, 0) << first.err;
    const auto before = Tree(Path("old"));
    network = discmaker::BuildTown(5, 150);
    EXPECT_THROW(discmaker::BuildDiscs(network, Path("old"), failing), std::runtime_error);
    EXPECT_EQ(Tree(Path("old")), before);
    for (const auto& entry : fs::directory_iterator(roots_.base()))
        EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

// Extracts a fault-injection run found troublesome, made here: each gives a map
// the map database opens and walks whole, or a clear error and exit 1.
TEST_F(CliTest, SmallAndOddExtractsGiveUsableMapsOrAClearError) {
    struct Case {
        const char* name;
        const char* nodes;  // "lat lon" per node, ids from 1
        const char* ways;   // node ids per way, ';' between ways
        const char* highway;
        const char* error;              // empty: a usable map
        const char* warning = nullptr;  // expected on stderr of a usable map
    };
    const Case cases[] = {
        {"single way", "46 7, 46.01 7.01", "1 2", "residential", ""},
        {"single primary", "46 7, 46.01 7.01", "1 2", "primary", ""},
        {"zero length", "46 7, 46 7", "1 2", "residential", ""},
        {"loop", "46 7, 46.001 7, 46.001 7.001", "1 2 3 1", "residential", ""},
        {"self-loop", "46 7", "1 1", "residential", "no drivable road"},
        {"under 200 m", "46 7, 46.0005 7.0005", "1 2", "residential", ""},
        {"high north", "89.7 7, 89.71 7.01", "1 2", "residential", ""},
        {"high south", "-89.74 7, -89.7 7.01", "1 2", "residential", ""},
        {"antimeridian", "60 179.99, 60.01 -179.99", "1 2", "residential", ""},
        {"at the pole", "89.9 7, 89.91 7.01", "1 2", "residential", "too near a pole"},
        {"pole and antimeridian", "-89.9 179.99, -89.91 -179.99", "1 2", "residential",
         "too near a pole"},
        {"footway only", "46 7, 46.01 7.01", "1 2", "footway", "no drivable road"},
        {"18 ways at one node",
         "46 7, 46.01000 7.00000, 46.00940 7.00342, 46.00766 7.00643, 46.00500 7.00866, 46.00174 "
         "7.00985, 45.99827 7.00985, 45.99500 7.00866, 45.99234 7.00643, 45.99060 7.00343, "
         "45.99000 7.00001, 45.99060 6.99659, 45.99233 6.99358, 45.99499 6.99134, 45.99826 "
         "6.99015, 46.00173 6.99015, 46.00499 6.99133, 46.00765 6.99356, 46.00939 6.99657",
         "1 2;1 3;1 4;1 5;1 6;1 7;1 8;1 9;1 10;1 11;1 12;1 13;1 14;1 15;1 16;1 17;1 18;1 19",
         "residential", "", "warning: node 0 (source id 1) joins 18 link ends"},
    };
    mkmaps::PrivateDesktop desktop;
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = "case" + std::to_string(index++);
        std::ostringstream osm;
        osm << "<?xml version='1.0'?><osm version=\"0.6\">";
        std::istringstream nodes(c.nodes);
        std::string node;
        for (int id = 1; std::getline(nodes, node, ','); ++id) {
            std::istringstream ll(node);
            std::string lat, lon;
            ll >> lat >> lon;
            osm << "<node id=\"" << id << "\" lat=\"" << lat << "\" lon=\"" << lon << "\"/>";
        }
        std::istringstream ways(c.ways);
        std::string way;
        for (int id = 1; std::getline(ways, way, ';'); ++id) {
            osm << "<way id=\"" << id << "\">";
            std::istringstream refs(way);
            for (std::string ref; refs >> ref;)
                osm << "<nd ref=\"" << ref << "\"/>";
            osm << "<tag k=\"highway\" v=\"" << c.highway << "\"/></way>";
        }
        osm << "</osm>";
        std::ofstream(Path(base + ".osm")) << osm.str();
        ToolRun run = Discmaker("--osm " + Path(base + ".osm") + " " + Path(base));
        if (*c.error) {
            EXPECT_EQ(run.status, 1);
            EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
            EXPECT_FALSE(fs::exists(Path(base)));
            continue;
        }
        ASSERT_EQ(run.status, 0) << run.err;
        if (c.warning) {
            EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
        }
        std::ostringstream quiet;
        const mkmaps::Figures figures =
            mkmaps::Generate({Path(base), Path(base + "-device"), {}}, quiet, quiet);
        EXPECT_TRUE(figures.completed) << figures.problem << "\n" << quiet.str();
        if (figures.completed) {
            mapstat::Options options;
            options.folder = Path(base + "-device");
            const mapstat::Report report = mapstat::Examine(options);
            EXPECT_TRUE(report.Complete());
            uint64_t links = 0;
            for (const mapstat::ClassFigures& figures : report.network)
                links += figures.links;
            EXPECT_GT(links, 0u);
        }
    }
}

// A few roads far apart take memory for the roads, not for the extent between them.
TEST_F(CliTest, HugeExtentsTakeLittleMemory) {
    const struct {
        const char* name;
        const char* osm;
    } cases[] = {
        {"opposite corners with a point between",
         R"(<node id="1" lat="-80" lon="-170"/><node id="2" lat="-80" lon="-169.99"/>
            <node id="3" lat="80" lon="170"/><node id="4" lat="80" lon="170.01"/>
            <node id="5" lat="0" lon="0"><tag k="amenity" v="fuel"/><tag k="name" v="Far"/></node>
            <way id="1"><nd ref="1"/><nd ref="2"/><tag k="highway" v="residential"/></way>
            <way id="2"><nd ref="3"/><nd ref="4"/><tag k="highway" v="residential"/></way>)"},
        {"a motorway half round the equator",
         R"(<node id="1" lat="0" lon="-90"/><node id="2" lat="0" lon="90"/>
            <way id="1"><nd ref="1"/><nd ref="2"/><tag k="highway" v="motorway"/></way>)"},
        {"two motorways diagonally across the globe, a point between",
         R"(<node id="1" lat="-85" lon="-179"/><node id="2" lat="85" lon="179"/>
            <node id="3" lat="85" lon="-179"/><node id="4" lat="-85" lon="179"/>
            <node id="5" lat="10" lon="20"><tag k="amenity" v="fuel"/><tag k="name" v="Far"/></node>
            <way id="1"><nd ref="1"/><nd ref="2"/><tag k="highway" v="motorway"/></way>
            <way id="2"><nd ref="3"/><nd ref="4"/><tag k="highway" v="motorway"/></way>)"},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = "huge" + std::to_string(index++);
        std::ofstream(Path(base + ".osm"))
            << "<?xml version='1.0'?><osm version=\"0.6\">" << c.osm << "</osm>";
        const std::string osm = Path(base + ".osm"), out = Path(base);
        // The child's own peak: read while it runs (a fork's peak would count ours).
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(DISCMAKER_EXE, DISCMAKER_EXE, "--osm", osm.c_str(), out.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        long peakKb = 0;
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            std::ifstream proc("/proc/" + std::to_string(child) + "/status");
            bool execed = false;  // before exec the child still is a copy of us
            for (std::string line; std::getline(proc, line);) {
                if (line.rfind("Name:", 0) == 0)
                    execed = line == "Name:\tdiscmaker";
                if (execed && line.rfind("VmHWM:", 0) == 0)
                    peakKb = std::max(peakKb, std::stol(line.substr(6)));
            }
            usleep(2000);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_GT(peakKb, 0);  // measured at least once
        EXPECT_LT(peakKb, 200 * 1024) << "KB";
    }
}

TEST_F(CliTest, OsmOutWritesTheNetworkOfTheDiscs) {
    ToolRun run =
        Discmaker("--town 4 --size 150 --osm-out " + Path("town.osm") + " " + Path("out"));
    ASSERT_EQ(run.status, 0) << run.err;
    discmaker::Network back = discmaker::ReadOsm(Path("town.osm"), "CA");
    std::smatch links;
    ASSERT_TRUE(std::regex_search(run.out, links, std::regex("links ([0-9]+)")));
    // Every link of the discs is a way; the ways of the island and the mainland
    // come back as separate roads, none lost.
    EXPECT_EQ(std::to_string(back.links.size()), links[1].str());
    EXPECT_FALSE(back.restrictions.empty());
}

TEST_F(CliTest, OsmExtractBuildsUnderItsState) {
    const char extract[] = R"(<?xml version='1.0'?><osm version="0.6">
      <node id="1" lat="46.000" lon="7.000"/><node id="2" lat="46.000" lon="7.010"/>
      <node id="3" lat="46.010" lon="7.010"/>
      <node id="4" lat="46.005" lon="7.005"><tag k="place" v="village"/><tag k="name" v="Alpdorf"/></node>
      <way id="1"><nd ref="1"/><nd ref="2"/><nd ref="3"/><tag k="highway" v="secondary"/><tag k="name" v="Dorfstrasse"/></way>
      </osm>)";
    std::ofstream(Path("alp.osm")) << extract;
    ToolRun run = Discmaker("--osm " + Path("alp.osm") + " --state ON " + Path("out"));
    ASSERT_EQ(run.status, 0) << run.err;
    // One road, cut where it crosses cells; one name, one place.
    EXPECT_NE(run.out.find("names 1, points of interest 1,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("state ON, links "), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(Path("out/cities/ON.dat")));
    EXPECT_TRUE(fs::exists(Path("out/CD3/mapdata/poi.raw")));

    // Without --state the line says where the extract went, and that it was the default.
    run = Discmaker("--osm " + Path("alp.osm") + " " + Path("default"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("state AL (the default), links "), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(Path("default/cities/AL.dat")));
}

}  // namespace
