// The geocode tool: the recorded addresses of the shared extracts both ways, and the
// program run on the built-in town with bad arguments, unknown streets and missing
// or corrupt index files.
#include "tools/geocode/geocode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/names.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/tools/recorded_addresses.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace nm = formats::names;

using testing_support::RecordedAddress;

double Metres(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kRadians = M_PI / 180;
    const double dLat = (lat2 - lat1) * kRadians, dLon = (lon2 - lon1) * kRadians;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kRadians) * std::cos(lat2 * kRadians) * std::sin(dLon / 2) *
                         std::sin(dLon / 2);
    return 2 * 6371000.0 * std::asin(std::sqrt(a));
}

// The device maps of a network, in the test's roots.
fs::path MakeMaps(discmaker::Network net, const fs::path& base) {
    const fs::path disc = base / "disc", maps = base / "maps";
    discmaker::BuildDiscs(net, disc);
    std::ostringstream out, err;
    EXPECT_TRUE(mkmaps::Generate({disc, maps, {}}, out, err).completed) << err.str();
    return maps;
}

const std::set<std::string> kOnCarFreeStreets = {"node 607053358", "node 607076718"};

class ExtractGeocodeTest : public testing_support::RootsTest,
                           public testing::WithParamInterface<const char*> {};

TEST_P(ExtractGeocodeTest, RecordedAddressesAreFoundBothWays) {
    const fs::path extract = testing_support::SharedOsmFolder() / GetParam();
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    const fs::path maps = MakeMaps(discmaker::ReadOsm(extract), roots_.base());
    const std::vector<RecordedAddress> recorded = testing_support::RecordedAddresses()[GetParam()];
    ASSERT_EQ(recorded.size(), 10u);

    std::vector<geocode::Query> forward, reverse;
    for (const RecordedAddress& r : recorded) {
        // The leading number, as the disc builder took it ("7-9" is 7; typed, the
        // parser would read 79).
        const std::string number = std::to_string(r.LeadingNumber());
        forward.push_back({false, number + " " + r.street + ", " + r.city, 0, 0});
        reverse.push_back({true, r.element, r.latitude, r.longitude});
    }
    const geocode::Report there = geocode::Run(maps, forward);
    const geocode::Report back = geocode::Run(maps, reverse);
    int near = 0, named = 0;
    for (size_t i = 0; i < recorded.size(); ++i) {
        const RecordedAddress& r = recorded[i];
        const std::string street = nm::ToNameText(discmaker::ParseStreetName(r.street).FullText(),
                                                  nm::kMaxWrittenNameLength);
        const std::string city = nm::ToNameText(r.city, nm::kMaxWrittenNameLength);
        const geocode::Answer& a = there.answers[i];
        ASSERT_TRUE(a.Found()) << a.query.text << ": " << a.result;
        const geocode::Answer& b = back.answers[i];
        ASSERT_TRUE(b.Found()) << r.element;
        EXPECT_LT(b.distanceMetres, 150) << r.element;
        // Two buildings of Krems stand in a pedestrian zone, which the map does not
        // hold: their street's one drivable piece and the nearest road stand in.
        const bool carFree = kOnCarFreeStreets.count(r.element) != 0;
        double nearest = 1e9;
        bool onBuildingsLink = false;
        for (const geocode::Candidate& c : a.candidates) {
            EXPECT_NE(c.street.find(street), std::string::npos) << a.query.text << ": " << c.street;
            // The side's place is the city the address names.
            EXPECT_EQ(c.place.rfind(city, 0), 0u) << a.query.text << ": " << c.place;
            nearest = std::min(nearest, Metres(c.latitude, c.longitude, r.latitude, r.longitude));
            onBuildingsLink |= c.link == b.link;
        }
        EXPECT_LT(nearest, carFree ? 300 : 150) << a.query.text;
        near += nearest < 150 ? 1 : 0;
        // Where the building's nearest road is the address's own link, the point
        // names the address's street (the place is the left side's).
        if (onBuildingsLink) {
            EXPECT_EQ(b.street, street) << r.element;
        }
        const bool namesIt = b.street == street && b.city.rfind(city, 0) == 0;
        EXPECT_TRUE(namesIt || carFree) << r.element << ": " << b.street << ", " << b.city;
        named += namesIt ? 1 : 0;
        std::printf("%s: %.0f m; at the building: %s, %s (%.0f m)\n", a.query.text.c_str(), nearest,
                    b.street.c_str(), b.city.c_str(), b.distanceMetres);
    }
    std::printf(
        "%s: %d of 10 within 150 m, %d of 10 named at the building\n%s forward: %s\n"
        "%s reverse: %s\n",
        GetParam(), near, named, GetParam(), geocode::FiguresLine(there).c_str(), GetParam(),
        geocode::FiguresLine(back).c_str());
}

INSTANTIATE_TEST_SUITE_P(Extracts, ExtractGeocodeTest,
                         testing::Values("north-bayreuth.osm.gz", "krems.osm.gz"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param).substr(0, 5) == "north"
                                        ? "NorthBayreuth"
                                        : "Krems";
                         });

// A county and a city of one name (an extract's county named after its country), and
// a street whose stored name keeps its type word ("carrer Major", which the source
// writes in lower case) beside another stored without it ("Carrer Major" is MAJOR):
// each is found when typed as the map shows it.
TEST(GeocodePlacesTest, ACityBesideItsCountyAndANameThatKeepsItsTypeWord) {
    testing_support::TempRoots roots;
    const fs::path extract = roots.base() / "places.osm";
    std::ofstream(extract) << R"(<?xml version='1.0'?><osm version="0.6">
      <node id="1" lat="42.90" lon="6.90"/><node id="2" lat="42.90" lon="7.30"/>
      <node id="3" lat="43.20" lon="7.30"/><node id="4" lat="43.20" lon="6.90"/>
      <way id="1"><nd ref="1"/><nd ref="2"/><nd ref="3"/><nd ref="4"/><nd ref="1"/>
        <tag k="boundary" v="administrative"/><tag k="admin_level" v="2"/>
        <tag k="name" v="Monaco"/></way>
      <node id="10" lat="43.000" lon="7.000"><tag k="place" v="city"/><tag k="name" v="Monaco"/></node>
      <node id="11" lat="43.000" lon="7.200"><tag k="place" v="village"/><tag k="name" v="Vila"/></node>
      <node id="20" lat="43.000" lon="7.000"/><node id="21" lat="43.000" lon="7.003"/>
      <node id="22" lat="43.000" lon="7.200"/><node id="23" lat="43.000" lon="7.203"/>
      <node id="24" lat="43.100" lon="7.100"/><node id="25" lat="43.100" lon="7.103"/>
      <way id="2"><nd ref="20"/><nd ref="21"/><tag k="highway" v="residential"/><tag k="name" v="carrer Major"/></way>
      <way id="3"><nd ref="22"/><nd ref="23"/><tag k="highway" v="residential"/><tag k="name" v="Carrer Major"/></way>
      <way id="4"><nd ref="24"/><nd ref="25"/><tag k="highway" v="residential"/><tag k="name" v="Cami Llunya"/></way>
      </osm>)";
    const fs::path maps = MakeMaps(discmaker::ReadOsm(extract), roots.base());
    const geocode::Report report = geocode::Run(maps, {{false, "Carrer Major, Monaco", 0, 0},
                                                       {false, "Carrer Major, Vila", 0, 0},
                                                       {false, "Cami Llunya, Monaco", 0, 0}});
    const std::string wanted[] = {"MONACO, MONACO", "VILA, MONACO", "MONACO, AL"};
    for (size_t i = 0; i < report.answers.size(); ++i) {
        const geocode::Answer& a = report.answers[i];
        ASSERT_TRUE(a.Found()) << a.query.text << ": " << a.result;
        ASSERT_EQ(a.candidates.size(), 1u) << a.query.text;
        EXPECT_EQ(a.candidates[0].place.rfind(wanted[i], 0), 0u)
            << a.query.text << ": " << a.candidates[0].place;
    }
}

// Every place name the program shows beside a street (a side's place and its other
// name) finds that street when typed back as the city, with a number of the side's
// range where it has one; and a numbered street is also found under the name of the
// city whose boundary holds it, which the map shows around it. Krems's addresses
// name "Krems", while the map names the town around them "Krems an der Donau": the
// recorded addresses are found under both. Seen failing: Monaco's city shares its
// name with the county, and "Carrer de les Escoles, Sant Julià de Lòria" lost to
// the name "DE LES ESCOLES" of another street.
class PlaceNamesTest : public testing_support::RootsTest,
                       public testing::WithParamInterface<const char*> {};

bool InsideRing(const std::vector<discmaker::LatLon>& ring, const discmaker::LatLon& p) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        if ((ring[i].lat > p.lat) != (ring[j].lat > p.lat) &&
            p.lon <
                (ring[j].lon - ring[i].lon) * (p.lat - ring[i].lat) / (ring[j].lat - ring[i].lat) +
                    ring[i].lon)
            inside = !inside;
    }
    return inside;
}

TEST_P(PlaceNamesTest, EveryPlaceNameShownFindsItsStreets) {
    const fs::path extract = testing_support::SharedOsmFolder() / GetParam();
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    const discmaker::Network net = discmaker::ReadOsm(extract);
    const fs::path maps = MakeMaps(net, roots_.base());
    std::set<std::string> asked;
    std::vector<geocode::Query> queries;
    auto ask = [&](const std::string& street, uint32_t number, const std::string& city) {
        const std::string text =
            (number ? std::to_string(number) + " " : std::string()) + street + ", " + city;
        if (asked.insert(text).second)
            queries.push_back({false, text, 0, 0});
    };
    auto askArea = [&](const std::string& street, uint32_t area, uint32_t number) {
        if (area < net.areas.size())
            ask(street, number, net.areas[area].name);
    };
    for (uint32_t l = 0; l < net.links.size(); ++l) {
        const discmaker::Link& link = net.links[l];
        if (link.name->Empty())
            continue;
        const std::string street = link.name->FullText();
        const std::vector<discmaker::LatLon> points = net.LinkPoints(l);
        const discmaker::LatLon middle = points[points.size() / 2];
        for (const auto& [area, range] :
             {std::pair{link.leftArea, link.left}, std::pair{link.rightArea, link.right}}) {
            const uint32_t number = range.Empty() ? 0 : range.first;
            askArea(street, area, number);
            askArea(street, net.AlternativeOf(area), number);
            if (number == 0)
                continue;
            for (uint32_t city = 0; city < net.areas.size(); ++city) {
                const discmaker::Area& a = net.areas[city];
                if (a.kind == discmaker::AreaKind::City && a.outline.size() >= 3 &&
                    InsideRing(a.outline, middle))
                    askArea(street, city, number);
            }
        }
    }
    if (std::string(GetParam()) == "krems.osm.gz") {
        const std::vector<RecordedAddress> recorded =
            testing_support::RecordedAddresses()[GetParam()];
        for (const RecordedAddress& r : recorded) {
            if (r.city == "Krems" && !kOnCarFreeStreets.count(r.element))
                ask(r.street, r.LeadingNumber(), "Krems an der Donau");
        }
    }
    const geocode::Report report = geocode::Run(maps, queries);
    // A street name the parser reads otherwise ("km0 roundabout", two names joined
    // by ";") is no place's fault: those queries stop before the place is asked.
    size_t missed = 0, unreadStreets = 0;
    for (const geocode::Answer& a : report.answers) {
        if (a.result == "street not found" || a.result == "type not found" ||
            a.result == "parse error")
            ++unreadStreets;
        else if (!a.Found() && ++missed <= 20)
            ADD_FAILURE() << a.query.text << ": " << a.result;
    }
    EXPECT_EQ(missed, 0u) << "of " << queries.size();
    EXPECT_LT(unreadStreets * 20, queries.size());
    std::printf("%s: %zu of %zu place names typed back found, %zu street names not read\n",
                GetParam(), report.found, queries.size(), unreadStreets);
}

INSTANTIATE_TEST_SUITE_P(Extracts, PlaceNamesTest,
                         testing::Values("andorra.osm.pbf", "krems.osm.gz", "monaco.osm.gz",
                                         "north-bayreuth.osm.gz"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find('.'));
                             return name == "north-bayreuth"
                                        ? std::string("NorthBayreuth")
                                        : std::string(1, static_cast<char>(name[0] - 32)) +
                                              name.substr(1);
                         });

// The tool itself on the town's maps.
class GeocodeToolTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        roots_ = new testing_support::TempRoots;
        maps_ = new fs::path(MakeMaps(discmaker::BuildTown(5, 400), Base()));
    }
    static void TearDownTestSuite() {
        delete maps_;
        maps_ = nullptr;
        delete roots_;
        roots_ = nullptr;
    }
    static fs::path Base() { return roots_->base(); }

    struct Outcome {
        int exit = -1;
        std::string out, err;
    };
    static Outcome Run(const std::string& arguments) {
        const fs::path out = Base() / "out.txt", err = Base() / "err.txt";
        const std::string command =
            std::string(GEOCODE_EXE) + " " + arguments + " >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        auto read = [](const fs::path& path) {
            std::ifstream in(path);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        return {WEXITSTATUS(status), read(out), read(err)};
    }
    // A copy of the maps with one file replaced (empty bytes: removed).
    static fs::path MapsWith(const std::string& name, const std::string* bytes) {
        const fs::path copy = Base() / ("maps-" + name);
        fs::remove_all(copy);
        fs::copy(*maps_, copy);
        fs::remove(copy / name);
        if (bytes)
            std::ofstream(copy / name, std::ios::binary) << *bytes;
        return copy;
    }

    static inline testing_support::TempRoots* roots_ = nullptr;
    static inline fs::path* maps_ = nullptr;
};

TEST_F(GeocodeToolTest, ArgumentsAndExitCodes) {
    const std::string maps = "--maps " + maps_->string();
    const struct {
        std::string arguments;
        int exit;
        const char* inOut;
    } cases[] = {
        {"--help", 0, "usage: geocode"},
        {"", 2, ""},
        {maps, 2, ""},
        {maps + " \"MAIN ST\"", 2, ""},
        {maps + " \"1, 2, 3, 4\"", 2, ""},
        {maps + " --at 91,0", 2, ""},
        {maps + " --at 12", 2, ""},
        {maps + " \"12 Zzyzx St, Cedar Falls\"", 1, "street not found"},
        {maps + " --json \"12 Zzyzx St, Cedar Falls\"", 1, "\"result\": \"street not found\""},
        {"--maps " + (Base() / "nothing").string() + " --at 1,1", 1, ""},
    };
    for (const auto& c : cases) {
        const Outcome o = Run(c.arguments);
        EXPECT_EQ(o.exit, c.exit) << c.arguments << "\n" << o.err;
        EXPECT_NE(o.out.find(c.inOut), std::string::npos) << c.arguments << "\n" << o.out;
        if (c.exit == 1) {
            EXPECT_FALSE(o.err.empty()) << c.arguments;
        }
        if (c.exit == 1 && o.out.size() > 0 && c.arguments.find("--json") == std::string::npos) {
            EXPECT_NE(o.out.find("queries 1, found 0,"), std::string::npos) << o.out;
        }
    }
}

TEST_F(GeocodeToolTest, MissingOrCorruptIndexFilesGiveNotFound) {
    const std::string garbage(300, '\xAB');
    const std::string truncated = "LI07";
    for (const char* name : {"linkinfo.bin", "names.bin", "az.bin", "lfoidx.bin", "sttypes.bin"}) {
        for (const std::string* bytes :
             {static_cast<const std::string*>(nullptr), &garbage, &truncated}) {
            const fs::path maps = MapsWith(name, bytes);
            const Outcome o =
                Run("--maps " + maps.string() + " \"100 Main St, Cedar Falls\" --at 40.0,-100.0");
            EXPECT_TRUE(o.exit == 0 || o.exit == 1) << name << "\n" << o.err;
            EXPECT_NE(o.out.find("queries 2,"), std::string::npos) << name << "\n" << o.out;
        }
    }
    // Without the road network there is no usable map: one line says why.
    const Outcome o = Run("--maps " + MapsWith("mapdata1.biz", nullptr).string() + " --at 1,1");
    EXPECT_EQ(o.exit, 1);
    EXPECT_NE(o.err.find("cannot open"), std::string::npos) << o.err;
}

}  // namespace
