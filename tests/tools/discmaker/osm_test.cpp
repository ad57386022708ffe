// The OpenStreetMap front end: a small extract written here, its way back out as
// XML, and the real extracts of the shared data folder when it is there.
#include "tools/discmaker/osm.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/town.h"

namespace {

using namespace discmaker;
namespace fs = std::filesystem;

// A crossing of a main road and a street, a one-way lane, a roundabout, a
// motorway with an exit, roads a car may not use, two turn restrictions, a house
// number line, a town in a municipal boundary, a park, a lake and some points.
const char kExtract[] = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6">
  <node id="1" lat="42.5000" lon="1.5000"/>
  <node id="2" lat="42.5000" lon="1.5020"/>
  <node id="3" lat="42.5000" lon="1.5040"/>
  <node id="4" lat="42.5020" lon="1.5020"/>
  <node id="5" lat="42.4980" lon="1.5020"/>
  <node id="6" lat="42.5010" lon="1.5040"/>
  <node id="7" lat="42.4990" lon="1.5040"/>
  <node id="8" lat="42.5020" lon="1.5040"/>
  <node id="9" lat="42.5030" lon="1.5000"/>
  <node id="10" lat="42.5035" lon="1.5005"/>
  <node id="11" lat="42.5035" lon="1.4995"/>
  <node id="12" lat="42.5002" lon="1.5001"><tag k="addr:housenumber" v="1"/><tag k="addr:street" v="North Main Street"/></node>
  <node id="13" lat="42.5002" lon="1.5019"><tag k="addr:housenumber" v="9"/><tag k="addr:street" v="North Main Street"/></node>
  <node id="14" lat="42.5010" lon="1.5030"><tag k="place" v="town"/><tag k="name" v="Escaldes"/></node>
  <node id="15" lat="42.4940" lon="1.4880"/>
  <node id="16" lat="42.4940" lon="1.5120"/>
  <node id="17" lat="42.5050" lon="1.5120"/>
  <node id="18" lat="42.5050" lon="1.4880"/>
  <node id="19" lat="42.5012" lon="1.5005"/>
  <node id="20" lat="42.5012" lon="1.5015"/>
  <node id="21" lat="42.5018" lon="1.5015"/>
  <node id="22" lat="42.5018" lon="1.5005"/>
  <node id="23" lat="42.4990" lon="1.5010"><tag k="amenity" v="restaurant"/><tag k="cuisine" v="italian"/><tag k="name" v="Pizzeria Roma"/><tag k="phone" v="+376 123 456"/><tag k="addr:housenumber" v="7"/></node>
  <node id="24" lat="42.5005" lon="1.5030"><tag k="amenity" v="fuel"/></node>
  <node id="25" lat="42.5015" lon="1.5035"><tag k="tourism" v="hotel"/><tag k="name" v="Hotel Pirineus"/></node>
  <node id="26" lat="42.5001" lon="1.5011"><tag k="amenity" v="bench"/></node>
  <node id="27" lat="42.4960" lon="1.4900"/>
  <node id="28" lat="42.4960" lon="1.4920"/>
  <node id="29" lat="42.4970" lon="1.4910"/>
  <node id="30" lat="42.4950" lon="1.4900"/>
  <node id="31" lat="42.4950" lon="1.5100"/>
  <node id="32" lat="42.4950" lon="1.5000"><tag k="highway" v="motorway_junction"/><tag k="ref" v="12"/></node>
  <way id="100"><nd ref="1"/><nd ref="2"/><nd ref="3"/><tag k="highway" v="primary"/><tag k="name" v="North Main Street"/><tag k="ref" v="CG-2"/><tag k="maxspeed" v="50"/></way>
  <way id="101"><nd ref="4"/><nd ref="2"/><nd ref="5"/><tag k="highway" v="residential"/><tag k="name" v="Carrer de la Unió"/></way>
  <way id="102"><nd ref="3"/><nd ref="6"/><tag k="highway" v="footway"/></way>
  <way id="103"><nd ref="3"/><nd ref="7"/><tag k="highway" v="track"/></way>
  <way id="104"><nd ref="5"/><nd ref="7"/><tag k="highway" v="service"/><tag k="access" v="private"/></way>
  <way id="105"><nd ref="4"/><nd ref="8"/><tag k="highway" v="residential"/><tag k="oneway" v="-1"/><tag k="name" v="Oak Lane"/></way>
  <way id="106"><nd ref="9"/><nd ref="10"/><nd ref="11"/><nd ref="9"/><tag k="highway" v="tertiary"/><tag k="junction" v="roundabout"/></way>
  <way id="107"><nd ref="4"/><nd ref="9"/><tag k="highway" v="residential"/><tag k="name" v="Elm Street"/></way>
  <way id="108"><nd ref="12"/><nd ref="13"/><tag k="addr:interpolation" v="odd"/></way>
  <way id="109"><nd ref="15"/><nd ref="16"/><nd ref="17"/><nd ref="18"/><nd ref="15"/><tag k="boundary" v="administrative"/><tag k="admin_level" v="8"/><tag k="name" v="Parish"/></way>
  <way id="110"><nd ref="19"/><nd ref="20"/><nd ref="21"/><nd ref="22"/><nd ref="19"/><tag k="leisure" v="park"/><tag k="name" v="Central Park"/></way>
  <way id="111"><nd ref="27"/><nd ref="28"/><nd ref="29"/><nd ref="27"/><tag k="natural" v="water"/></way>
  <way id="112"><nd ref="30"/><nd ref="32"/><nd ref="31"/><tag k="highway" v="motorway"/><tag k="ref" v="A 1"/></way>
  <way id="113"><nd ref="32"/><nd ref="5"/><tag k="highway" v="motorway_link"/><tag k="destination" v="Andorra la Vella"/><tag k="destination:ref" v="CG-1"/></way>
  <relation id="200"><member type="way" ref="100" role="from"/><member type="node" ref="2" role="via"/><member type="way" ref="101" role="to"/><tag k="type" v="restriction"/><tag k="restriction" v="no_left_turn"/></relation>
  <relation id="201"><member type="way" ref="107" role="from"/><member type="node" ref="4" role="via"/><member type="way" ref="105" role="to"/><tag k="type" v="restriction"/><tag k="restriction" v="only_right_turn"/></relation>
</osm>
)";

class OsmTest : public testing_support::RootsTest {
  protected:
    fs::path Write(const std::string& name, const std::string& text) {
        fs::path path = roots_.base() / name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The links of a way, by the OpenStreetMap ids of their end nodes.
    static std::map<std::pair<int64_t, int64_t>, const Link*> ByEnds(const Network& net) {
        std::map<std::pair<int64_t, int64_t>, const Link*> links;
        for (const Link& l : net.links)
            links[{net.nodes[l.from].sourceId, net.nodes[l.to].sourceId}] = &l;
        return links;
    }
};

TEST_F(OsmTest, RoadsBecomeLinksSplitWhereTheyMeet) {
    Network net = ReadOsm(Write("small.osm", kExtract), "ON");
    auto links = ByEnds(net);
    ASSERT_EQ(net.links.size(), 10u);
    struct Expect {
        int64_t from, to;
        RoadClass roadClass;
        Direction direction;
        const char* name;
    };
    const Expect expected[] = {
        {1, 2, RoadClass::Arterial, Direction::Both, "N Main St"},
        {2, 3, RoadClass::Arterial, Direction::Both, "N Main St"},
        {4, 2, RoadClass::Minor, Direction::Both, "Carrer de la Unió"},
        {2, 5, RoadClass::Minor, Direction::Both, "Carrer de la Unió"},
        {4, 8, RoadClass::Minor, Direction::Backward, "Oak Ln"},
        {9, 9, RoadClass::Street, Direction::Forward, ""},
        {4, 9, RoadClass::Minor, Direction::Both, "Elm St"},
        {30, 32, RoadClass::Freeway, Direction::Forward, ""},
        {32, 31, RoadClass::Freeway, Direction::Forward, ""},
        {32, 5, RoadClass::Highway, Direction::Forward, ""},
    };
    for (const Expect& e : expected) {
        auto it = links.find({e.from, e.to});
        ASSERT_NE(it, links.end()) << e.from << "-" << e.to;
        EXPECT_EQ(it->second->roadClass, e.roadClass) << e.from << "-" << e.to;
        EXPECT_EQ(it->second->direction, e.direction) << e.from << "-" << e.to;
        EXPECT_EQ(it->second->name->FullText(), e.name) << e.from << "-" << e.to;
    }
    const Link& main = *links.at({1, 2});
    EXPECT_EQ(main.name->directionPrefix, "N");
    EXPECT_EQ(main.name->suffixType, "St");
    EXPECT_EQ(main.signs->highwayNumber, "CG-2");
    EXPECT_EQ(main.signs->signText, "2");
    EXPECT_EQ(main.speedKmh, 50);
    EXPECT_EQ(main.sourceId, 100);
    EXPECT_EQ(links.at({4, 2})->name->prefixType, "Carrer");
    const Link& ring = *links.at({9, 9});
    EXPECT_TRUE(ring.roundabout);
    EXPECT_EQ(ring.shape.size(), 2u);
    const Link& exit = *links.at({32, 5});
    EXPECT_TRUE(exit.ramp);
    EXPECT_EQ(exit.signs->exitNumber, "12");
    EXPECT_EQ(exit.signs->exitSign, "CG-1/Andorra la Vella");
    // Footway, track and private road are not there.
    for (const Node& node : net.nodes)
        EXPECT_TRUE(node.sourceId != 6 && node.sourceId != 7) << node.sourceId;
}

TEST_F(OsmTest, RestrictionsHouseRangesPlacesAndPoints) {
    Network net = ReadOsm(Write("small.osm", kExtract), "ON");
    auto links = ByEnds(net);
    auto indexOf = [&](int64_t a, int64_t b) {
        return static_cast<uint32_t>(links.at({a, b}) - net.links.data());
    };
    auto nodeOf = [&](int64_t id) {
        for (uint32_t n = 0; n < net.nodes.size(); ++n) {
            if (net.nodes[n].sourceId == id)
                return n;
        }
        return kNone;
    };
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> restrictions;
    for (const TurnRestriction& r : net.restrictions)
        restrictions.insert({r.fromLink, r.viaNode, r.toLink});
    // No left turn; and "only right" forbids the others, the U-turn included.
    EXPECT_EQ(restrictions, (std::set<std::tuple<uint32_t, uint32_t, uint32_t>>{
                                {indexOf(1, 2), nodeOf(2), indexOf(4, 2)},
                                {indexOf(4, 9), nodeOf(4), indexOf(4, 2)},
                                {indexOf(4, 9), nodeOf(4), indexOf(4, 9)},
                            }));

    // The odd numbers lie north of the main road's western piece: its left side.
    const Link& main = *links.at({1, 2});
    EXPECT_EQ(main.left, (HouseRange{1, 9, Parity::Odd}));
    EXPECT_TRUE(main.right.Empty());

    // The municipal boundary is the city of the roads; the town node is a city too.
    std::map<std::string, AreaKind> areas;
    for (const Area& a : net.areas)
        areas.insert({a.name, a.kind});  // the first of a name
    EXPECT_EQ(areas["Ontario"], AreaKind::State);
    EXPECT_EQ(areas["Parish"], AreaKind::City);
    EXPECT_EQ(areas["Escaldes"], AreaKind::City);
    EXPECT_EQ(net.areas[main.leftArea].name, "Parish");
    ASSERT_EQ(net.regions.size(), 1u);
    EXPECT_EQ(net.regions[0].number, 59);
    EXPECT_EQ(net.areas[net.regions[0].area].code, "ON");
    EXPECT_TRUE(net.regions[0].subAreas.empty());

    std::map<std::string, const Poi*> pois;
    for (const Poi& p : net.pois)
        pois[p.name] = &p;
    ASSERT_TRUE(pois.count("Pizzeria Roma"));
    EXPECT_EQ(pois["Pizzeria Roma"]->category, PoiCategory::Restaurant);
    EXPECT_EQ(pois["Pizzeria Roma"]->subCategory, 9);  // Italian
    EXPECT_EQ(pois["Pizzeria Roma"]->phone, "376123456");
    EXPECT_EQ(pois["Pizzeria Roma"]->houseNumber, 7u);
    ASSERT_TRUE(pois.count("Fuel"));  // unnamed: called by its kind
    EXPECT_EQ(pois["Fuel"]->category, PoiCategory::Transportation);
    EXPECT_EQ(pois["Hotel Pirineus"]->category, PoiCategory::Lodging);
    EXPECT_EQ(pois["Central Park"]->category, PoiCategory::Recreation);
    EXPECT_EQ(pois["Escaldes"]->category, PoiCategory::City);
    EXPECT_EQ(pois.size(), 6u);  // the bench is no point of interest
    for (const Poi& p : net.pois)
        EXPECT_NE(p.link, kNone);

    std::set<FeatureKind> features;
    for (const PolygonFeature& f : net.features)
        features.insert(f.kind);
    EXPECT_EQ(features, (std::set<FeatureKind>{FeatureKind::Park, FeatureKind::Lake}));
}

TEST_F(OsmTest, RegionsChosenByHalvesGetTwoSubAreas) {
    Network net = ReadOsm(Write("small.osm", kExtract), "tx");
    ASSERT_EQ(net.regions.size(), 1u);
    EXPECT_EQ(net.regions[0].number, 43);
    EXPECT_EQ(net.regions[0].subAreas.size(), 2u);
    EXPECT_EQ(ReadOsm(Write("small.osm", kExtract)).regions[0].number, 0);  // Alabama by default
}

TEST_F(OsmTest, BadInputIsReported) {
    EXPECT_THROW(ReadOsm(roots_.base() / "missing.osm", "ON"), std::runtime_error);
    EXPECT_THROW(ReadOsm(Write("small.osm", kExtract), "ZZ"), std::invalid_argument);
    EXPECT_THROW(ReadOsm(Write("junk.osm", "this is not map data"), "ON"), std::runtime_error);
    const char footways[] = R"(<?xml version='1.0'?><osm version="0.6">
      <node id="1" lat="1" lon="1"/><node id="2" lat="1.001" lon="1"/>
      <way id="1"><nd ref="1"/><nd ref="2"/><tag k="highway" v="footway"/></way></osm>)";
    try {
        ReadOsm(Write("footways.osm", footways), "ON");
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("no drivable road"), std::string::npos) << e.what();
    }
}

// A file cut short or damaged is an error naming the file, never a smaller map.
TEST_F(OsmTest, TruncatedOrCorruptFilesAreErrors) {
    const Network town = BuildTown(1, 400);
    const fs::path pbf = roots_.base() / "town.osm.pbf", xml = roots_.base() / "town.osm";
    WriteOsm(town, pbf);
    WriteOsm(town, xml);
    auto bytes = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string pbfBytes = bytes(pbf), xmlBytes = bytes(xml);
    std::string corrupt = pbfBytes;
    for (size_t i = pbfBytes.size() / 2; i < pbfBytes.size() / 2 + 64; ++i)
        corrupt[i] = static_cast<char>(~corrupt[i]);
    std::string gz;
    {
        const fs::path gzPath = roots_.base() / "whole.osm.gz";
        gzFile out = gzopen(gzPath.c_str(), "wb");
        gzwrite(out, xmlBytes.data(), static_cast<unsigned>(xmlBytes.size()));
        gzclose(out);
        gz = bytes(gzPath);
    }
    const struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"cut.osm.pbf", pbfBytes.substr(0, pbfBytes.size() / 2)},
        {"corrupt.osm.pbf", corrupt},
        {"cut.osm", xmlBytes.substr(0, xmlBytes.size() / 2)},
        {"cut-at-a-tag.osm", xmlBytes.substr(0, xmlBytes.rfind("</osm>"))},
        {"cut.osm.gz", gz.substr(0, gz.size() / 2)},
        {"empty.osm.pbf", ""},
    };
    for (const auto& c : cases) {
        try {
            ReadOsm(Write(c.name, c.text), "ON");
            ADD_FAILURE() << c.name << ": no error";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(
                std::string(e.what()).rfind("cannot read " + (roots_.base() / c.name).string(), 0),
                0u)
                << c.name << ": " << e.what();
        }
    }
}

TEST(StreetNameTest, SplitsIntoParts) {
    struct Case {
        const char* text;
        StreetName name;
    };
    const Case cases[] = {
        {"North Main Street", {"N", "", "Main", "St", ""}},
        {"Main Street West", {"", "", "Main", "St", "W"}},
        {"SW Oak Ave", {"SW", "", "Oak", "Ave", ""}},
        {"Avinguda Meritxell", {"", "Avinguda", "Meritxell", "", ""}},
        {"Bayreuther Straße", {"", "", "Bayreuther Straße", "", ""}},
        {"North Street", {"", "", "North", "St", ""}},
        {"Broadway", {"", "", "Broadway", "", ""}},
        {"St.-Georgen-Straße", {"", "", "St-Georgen-Straße", "", ""}},  // no periods
        {"Main St.", {"", "", "Main", "St", ""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseStreetName(c.text), c.name) << c.text;
}

class WrittenOsmTest : public OsmTest, public testing::WithParamInterface<const char*> {};

TEST_P(WrittenOsmTest, ReadsBackAsTheSameRoads) {
    Network net = ReadOsm(Write("small.osm", kExtract), "ON");
    fs::path written = roots_.base() / GetParam();
    WriteOsm(net, written);
    Network back = ReadOsm(written, "ON");
    ASSERT_EQ(back.links.size(), net.links.size());
    // Ways are written link by link with nodes numbered in network order, so the
    // links come back in order.
    for (size_t i = 0; i < net.links.size(); ++i) {
        const Link& a = net.links[i];
        const Link& b = back.links[i];
        EXPECT_EQ(b.roadClass, a.roadClass) << i;
        EXPECT_EQ(b.direction, a.direction) << i;
        EXPECT_EQ(b.roundabout, a.roundabout) << i;
        EXPECT_EQ(b.ramp, a.ramp) << i;
        EXPECT_EQ(b.name, a.name) << i;
        EXPECT_EQ(b.signs->highwayNumber, a.signs->highwayNumber) << i;
        EXPECT_EQ(b.shape.size(), a.shape.size()) << i;
        EXPECT_EQ(back.nodes[b.from].position, net.nodes[a.from].position) << i;
    }
    EXPECT_EQ(back.restrictions, net.restrictions);
}

// PBF by the name's ending, XML for any other name.
INSTANTIATE_TEST_SUITE_P(Formats, WrittenOsmTest, testing::Values("out.osm", "out.osm.pbf"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param) == "out.osm" ? "Xml" : "Pbf";
                         });

// The map draws a road by its device class: 0x40 and 0x80 with the freeway bit
// (classes 1 and 2), any other up to 0xC0 as class 3, 0x100 as 4, 0x140 as 5. Trunk
// and primary roads, secondary and tertiary roads, and streets are drawn apart, each
// kind at its typical speed when the way gives none.
TEST_F(OsmTest, HighwayKindsFallInThreeDrawnClasses) {
    const struct {
        const char* highway;
        uint32_t deviceClass;
        int speedKmh;
    } kinds[] = {
        {"motorway", 0x40, 110},    {"trunk", 0x80, 90},          {"primary", 0xC0, 70},
        {"secondary", 0x100, 60},   {"tertiary", 0x100, 60},      {"unclassified", 0x140, 40},
        {"residential", 0x140, 40}, {"living_street", 0x140, 40}, {"service", 0x140, 20},
    };
    std::string extract = "<?xml version='1.0'?><osm version=\"0.6\">";
    int id = 1;
    for (const auto& k : kinds) {
        const std::string lat = std::to_string(46.0 + 0.001 * id);
        extract += "<node id=\"" + std::to_string(2 * id) + "\" lat=\"" + lat +
                   "\" lon=\"7.000\"/><node id=\"" + std::to_string(2 * id + 1) + "\" lat=\"" +
                   lat + "\" lon=\"7.001\"/><way id=\"" + std::to_string(id) + "\"><nd ref=\"" +
                   std::to_string(2 * id) + "\"/><nd ref=\"" + std::to_string(2 * id + 1) +
                   "\"/><tag k=\"highway\" v=\"" + k.highway + "\"/></way>";
        ++id;
    }
    extract += "</osm>";
    const Network net = ReadOsm(Write("kinds.osm", extract), "ON");
    ASSERT_EQ(net.links.size(), std::size(kinds));
    for (size_t i = 0; i < std::size(kinds); ++i) {
        const Link& link = net.links[i];
        EXPECT_EQ(DeviceClassValue(link.roadClass), kinds[i].deviceClass) << kinds[i].highway;
        EXPECT_EQ(link.Speed(), kinds[i].speedKmh) << kinds[i].highway;
    }
}

// A river or canal given as a line becomes water of its width, which narrows with
// the scale as the roads do; a railway stays a line.
TEST_F(OsmTest, RiverLinesBecomeWaterOfTheirWidth) {
    const char extract[] = R"(<?xml version='1.0'?><osm version="0.6">
      <node id="1" lat="46.000" lon="7.000"/><node id="2" lat="46.000" lon="7.010"/>
      <node id="3" lat="46.008" lon="7.015"/>
      <node id="4" lat="46.010" lon="7.000"/><node id="5" lat="46.010" lon="7.010"/>
      <node id="6" lat="46.020" lon="7.000"/><node id="7" lat="46.020" lon="7.010"/>
      <way id="1"><nd ref="1"/><nd ref="2"/><nd ref="3"/><tag k="waterway" v="river"/></way>
      <way id="2"><nd ref="4"/><nd ref="5"/><tag k="waterway" v="canal"/></way>
      <way id="3"><nd ref="6"/><nd ref="7"/><tag k="railway" v="rail"/></way>
      <way id="4"><nd ref="6"/><nd ref="4"/><tag k="highway" v="residential"/></way>
      </osm>)";
    const Network net = ReadOsm(Write("water.osm", extract), "ON");
    auto km = [](const LatLon& a, const LatLon& b) {
        const double c = std::cos(a.lat * M_PI / 180);
        return std::hypot((b.lat - a.lat) * 111.32, (b.lon - a.lon) * 111.32 * c);
    };
    auto areaKm2 = [](const std::vector<LatLon>& ring) {
        const double c = std::cos(ring[0].lat * M_PI / 180);
        double twice = 0;
        for (size_t i = 0; i < ring.size(); ++i) {
            const LatLon& a = ring[i];
            const LatLon& b = ring[(i + 1) % ring.size()];
            twice += a.lon * c * 111.32 * b.lat * 111.32 - b.lon * c * 111.32 * a.lat * 111.32;
        }
        return std::abs(twice) / 2;
    };
    const LatLon p1{46.000, 7.000}, p2{46.000, 7.010}, p3{46.008, 7.015};
    const double riverKm = km(p1, p2) + km(p2, p3);
    const double canalKm = km({46.010, 7.000}, {46.010, 7.010});
    std::vector<double> water;
    int railways = 0;
    for (const PolygonFeature& f : net.features) {
        if (f.kind == FeatureKind::River) {
            EXPECT_FALSE(f.openLine);
            water.push_back(areaKm2(f.points));
        }
        railways += f.kind == FeatureKind::Railway && f.openLine;
    }
    ASSERT_EQ(water.size(), 2u);
    std::sort(water.begin(), water.end());
    // 12 m along the bent river (the mitre adds a little at its bend), 8 m along the canal.
    EXPECT_NEAR(water[0], canalKm * 0.008, canalKm * 0.008 * 0.01);
    EXPECT_NEAR(water[1], riverKm * 0.012, riverKm * 0.012 * 0.05);
    EXPECT_EQ(railways, 1);
}

TEST_F(OsmTest, PbfIsWrittenForItsEndingOnly) {
    Network net = ReadOsm(Write("small.osm", kExtract), "ON");
    WriteOsm(net, roots_.base() / "a.osm.pbf");
    WriteOsm(net, roots_.base() / "a.pbf.osm");
    std::ifstream pbf(roots_.base() / "a.osm.pbf", std::ios::binary),
        xml(roots_.base() / "a.pbf.osm");
    std::string pbfStart(5, ' '), xmlStart(5, ' ');
    pbf.read(pbfStart.data(), 5);
    xml.read(xmlStart.data(), 5);
    EXPECT_NE(pbfStart, "<?xml");
    EXPECT_EQ(xmlStart, "<?xml");
    EXPECT_THROW(WriteOsm(net, roots_.base() / "no" / "such" / "folder.osm.pbf"),
                 std::runtime_error);
}

using testing_support::SharedOsmFolder;

TEST_F(OsmTest, AndorraBuildsDiscs) {
    const fs::path file = SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(file))
        GTEST_SKIP() << "no " << file.string() << ": the shared OpenStreetMap data is not here";
    Network net = ReadOsm(file, "ON");
    int roundabouts = 0;
    for (const Link& l : net.links) {
        roundabouts += l.roundabout;
    }
    EXPECT_GT(net.links.size(), 2000u);
    EXPECT_GT(roundabouts, 0);
    EXPECT_GT(net.pois.size(), 100u);
    EXPECT_GT(net.features.size(), 50u);
    size_t cities = 0;
    for (const Area& a : net.areas)
        cities += a.kind == AreaKind::City;
    EXPECT_GE(cities, 7u);  // the parishes at least
    BuildFigures figures = BuildDiscs(net, roots_.base() / "andorra");
    EXPECT_GT(figures.pointsOfInterest, 100u);
    EXPECT_GT(figures.kmByClass[static_cast<int>(RoadClass::Arterial)], 20.0);
    EXPECT_TRUE(fs::exists(roots_.base() / "andorra" / "cities" / "ON.dat"));
}

TEST_F(OsmTest, NorthBayreuthKeepsItsTurnRestrictions) {
    const fs::path file = SharedOsmFolder() / "north-bayreuth.osm.gz";
    if (!fs::exists(file))
        GTEST_SKIP() << "no " << file.string() << ": the shared OpenStreetMap data is not here";
    Network net = ReadOsm(file, "BC");
    EXPECT_GT(net.links.size(), 1000u);
    EXPECT_GT(net.restrictions.size(), 10u) << "of 40 restriction relations";
    EXPECT_NO_THROW(ValidateNetwork(net));
}

}  // namespace
