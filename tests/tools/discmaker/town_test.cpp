// The built-in town: what it must contain, its sameness for a seed, and the discs
// built from it.
#include "tools/discmaker/town.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"

namespace {

using namespace discmaker;
namespace fs = std::filesystem;

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file under a folder, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = FileText(entry.path());
    }
    return files;
}

// The network as text: equal texts, equal networks.
std::string Serialised(const Network& network, const fs::path& scratch) {
    WriteOsm(network, scratch);
    std::string text = FileText(scratch);
    for (const Poi& p : network.pois) {
        text += p.name + "|" + std::to_string(int(p.category)) + "|" +
                std::to_string(p.subCategory) + "|" + p.phone + "|" +
                std::to_string(p.houseNumber) + "|" + std::to_string(p.link) + "\n";
    }
    for (const PolygonFeature& f : network.features)
        text += f.name + "|" + std::to_string(f.points.size()) + "\n";
    return text;
}

class TownTest : public testing_support::RootsTest {};

TEST_F(TownTest, SameSeedSameTownOtherSeedOtherTown) {
    const fs::path scratch = roots_.base() / "town.osm";
    std::string a = Serialised(BuildTown(7, 300), scratch);
    std::string b = Serialised(BuildTown(7, 300), scratch);
    std::string c = Serialised(BuildTown(8, 300), scratch);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

TEST(TownContentTest, HasEveryKindOfRoad) {
    Network town = BuildTown(3, 400);
    std::set<RoadClass> classes;
    int freeway = 0, freewayOneWay = 0, offRamps = 0, onRamps = 0, oneWayStreets = 0,
        roundabout = 0, named = 0, ranged = 0, numbered = 0;
    for (const Link& link : town.links) {
        classes.insert(link.roadClass);
        if (link.roadClass == RoadClass::Freeway) {
            ++freeway;
            freewayOneWay += link.direction != Direction::Both;
        }
        if (link.ramp) {
            EXPECT_NE(link.direction, Direction::Both);
            EXPECT_FALSE(link.signs->exitSign.empty());
            (link.signs->exitNumber.empty() ? onRamps : offRamps)++;
        }
        if (!link.ramp && !link.roundabout && link.roadClass != RoadClass::Freeway &&
            link.direction != Direction::Both)
            ++oneWayStreets;
        if (link.roundabout) {
            ++roundabout;
            EXPECT_EQ(link.direction, Direction::Forward);
        }
        named += !link.name->Empty();
        ranged += !link.left.Empty() && !link.right.Empty();
        numbered += !link.signs->highwayNumber.empty();
    }
    EXPECT_EQ(classes.size(), static_cast<size_t>(kRoadClassCount));
    EXPECT_GT(freeway, 0);
    EXPECT_EQ(freewayOneWay, freeway);  // two carriageways
    EXPECT_GE(offRamps, 2);
    EXPECT_GE(onRamps, 2);
    EXPECT_GT(oneWayStreets, 0);
    EXPECT_EQ(roundabout, 4);
    EXPECT_GT(named, static_cast<int>(town.links.size()) / 2);
    EXPECT_GT(ranged, static_cast<int>(town.links.size()) / 2);
    EXPECT_GT(numbered, 0);
    EXPECT_FALSE(town.restrictions.empty());
    // The roundabout is a closed ring: each of its nodes has one ring link in, one out.
    std::map<uint32_t, int> ins, outs;
    for (const Link& link : town.links) {
        if (link.roundabout)
            ++outs[link.from], ++ins[link.to];
    }
    EXPECT_EQ(ins.size(), 4u);
    for (const auto& [node, n] : ins) {
        EXPECT_EQ(n, 1);
        EXPECT_EQ(outs[node], 1);
    }
}

TEST(TownContentTest, StreetNamesComeInParts) {
    Network town = BuildTown(3, 400);
    bool prefixDirection = false, suffixDirection = false, prefixType = false, suffixType = false;
    for (const Link& link : town.links) {
        prefixDirection |= !link.name->directionPrefix.empty();
        suffixDirection |= !link.name->directionSuffix.empty();
        prefixType |= !link.name->prefixType.empty();
        suffixType |= !link.name->suffixType.empty();
    }
    EXPECT_TRUE(prefixDirection && suffixDirection && prefixType && suffixType);
}

TEST(TownContentTest, AreasRegionsAndFeatures) {
    Network town = BuildTown(5, 400);
    std::map<AreaKind, int> kinds;
    for (const Area& a : town.areas)
        ++kinds[a.kind];
    EXPECT_GE(kinds[AreaKind::City], 3);
    EXPECT_GE(kinds[AreaKind::County], 3);
    // Links on both sides of the county line: two counties of one state.
    std::set<uint32_t> countiesOfCa;
    for (const Link& link : town.links) {
        for (uint32_t area : {link.leftArea, link.rightArea}) {
            ASSERT_NE(area, kNone);
            uint32_t county =
                town.areas[area].kind == AreaKind::County ? area : town.areas[area].parent;
            if (town.areas[town.StateOf(area)].code == "CA")
                countiesOfCa.insert(county);
        }
    }
    EXPECT_EQ(countiesOfCa.size(), 2u);

    ASSERT_EQ(town.regions.size(), 3u);
    std::map<uint16_t, const Region*> regions;
    for (const Region& r : town.regions)
        regions[r.number] = &r;
    ASSERT_TRUE(regions.count(4) && regions.count(28) && regions.count(11));
    EXPECT_EQ(regions[4]->subAreas.size(), 2u);
    EXPECT_TRUE(regions[4]->combinable && regions[28]->combinable);
    EXPECT_FALSE(regions[11]->combinable);
    for (uint32_t l = 0; l < town.links.size(); ++l)
        EXPECT_NE(town.RegionOfLink(l), kNone) << l;
    // The island shares no node with the mainland.
    std::set<uint32_t> islandNodes, mainlandNodes;
    for (uint32_t l = 0; l < town.links.size(); ++l) {
        auto& nodes = town.regions[town.RegionOfLink(l)].number == 11 ? islandNodes : mainlandNodes;
        nodes.insert(town.links[l].from);
        nodes.insert(town.links[l].to);
    }
    EXPECT_FALSE(islandNodes.empty());
    for (uint32_t n : islandNodes)
        EXPECT_EQ(mainlandNodes.count(n), 0u);

    std::set<FeatureKind> features;
    for (const PolygonFeature& f : town.features)
        features.insert(f.kind);
    for (FeatureKind kind :
         {FeatureKind::River, FeatureKind::Park, FeatureKind::Lake, FeatureKind::Ocean,
          FeatureKind::Shore, FeatureKind::StateBorder, FeatureKind::CountyBorder}) {
        EXPECT_TRUE(features.count(kind)) << FeatureKindName(kind);
    }
}

TEST(TownContentTest, PointsOfInterestInEveryCategoryNearTheirRoads) {
    Network town = BuildTown(11, 400);
    std::set<std::pair<PoiCategory, uint8_t>> kinds;
    for (const Poi& poi : town.pois) {
        kinds.insert({poi.category, poi.subCategory});
        ASSERT_NE(poi.link, kNone) << poi.name;
        EXPECT_NE(poi.city, kNone) << poi.name;
        EXPECT_LE(poi.name.size(), 35u);
        EXPECT_LE(poi.phone.size(), 10u);
        // Within 50 m of its road.
        double nearest = 1e9;
        std::vector<LatLon> points = town.LinkPoints(poi.link);
        for (size_t i = 1; i < points.size(); ++i) {
            for (int k = 0; k <= 20; ++k) {
                LatLon q{points[i - 1].lat + (points[i].lat - points[i - 1].lat) * k / 20,
                         points[i - 1].lon + (points[i].lon - points[i - 1].lon) * k / 20};
                nearest = std::min(nearest, DistanceKm(q, poi.position));
            }
        }
        EXPECT_LT(nearest, 0.05) << poi.name;
    }
    // Every sub-category the search screens offer.
    const std::vector<std::pair<PoiCategory, std::vector<uint8_t>>> offered = {
        {PoiCategory::Business, {0, 1, 2, 3, 4}},
        {PoiCategory::Education, {0, 1, 2, 3}},
        {PoiCategory::Emergency, {0, 1}},
        {PoiCategory::Attraction, {0, 1, 2, 3, 4, 5, 7, 8, 9}},
        {PoiCategory::Lodging, {0}},
        {PoiCategory::Recreation, {0, 1, 2, 3}},
        {PoiCategory::Transportation, {0, 1, 2, 3, 4, 5, 6, 7}},
        {PoiCategory::City, {0}},
    };
    for (const auto& [category, subs] : offered) {
        for (uint8_t sub : subs) {
            EXPECT_TRUE(kinds.count({category, sub}))
                << PoiCategoryName(category) << " " << int(sub);
        }
    }
    int restaurants = 0;
    for (const auto& [category, sub] : kinds)
        restaurants += category == PoiCategory::Restaurant;
    EXPECT_GE(restaurants, 5);
}

TEST(TownContentTest, SizeFollowsTheRequest) {
    for (int size : {100, 400, 3000}) {
        Network town = BuildTown(1, size);
        EXPECT_GT(town.links.size(), size * 0.7) << size;
        EXPECT_LT(town.links.size(), size * 1.6) << size;
    }
    EXPECT_THROW(BuildTown(1, kMinTownSize - 1), std::invalid_argument);
    EXPECT_THROW(BuildTown(1, kMaxTownSize + 1), std::invalid_argument);
}

class TownDiscTest : public testing_support::RootsTest {};

TEST_F(TownDiscTest, DiscsHoldEveryFileAndRebuildIdentically) {
    Network town = BuildTown(2, 300);
    const fs::path out = roots_.base() / "out";
    BuildFigures figures = BuildDiscs(town, out);

    const std::vector<std::vector<const char*>> discFiles = {
        {"az.raw", "linkinfo.raz", "lsr.raw", "lsrs.raw", "names.raw", "stnl.raw", "sttypes.raw",
         "nameidx.bin", "mapdata1.raz", "mapdata21.raz", "lfoidx.raz", "azbc.raw"},
        {"mapdata22.raz", "poi.raw", "polygons.raz", "strabbr.bin"},
        {"mapdata23.raz", "poi.raw", "polygons.raz", "strabbr.bin"},
    };
    for (size_t disc = 0; disc < discFiles.size(); ++disc) {
        const fs::path folder = out / ("CD" + std::to_string(disc + 1));
        EXPECT_TRUE(fs::exists(folder / "mapid.ini"));
        for (const char* name : discFiles[disc])
            EXPECT_TRUE(fs::exists(folder / "mapdata" / name)) << disc << name;
    }
    for (const char* name :
         {"cdinfo.ini", "mh.ini", "rgndata1.in", "rgndata2.in", "rgndatap.in", "mapdata1.sz",
          "mapdata2.sz", "polygons.sz", "sizeinfo.sz", "cities/CA.dat", "cities/NV.dat"}) {
        EXPECT_TRUE(fs::exists(out / name)) << name;
    }
    EXPECT_FALSE(fs::exists(out / "cities" / "HI.dat"));  // the island is in no city list

    EXPECT_EQ(figures.links, town.links.size());
    EXPECT_GT(figures.names, 10u);
    EXPECT_GT(figures.pointsOfInterest, 40u);
    for (double km : figures.kmByClass)
        EXPECT_GT(km, 0);
    uint64_t bytes = 0;
    auto tree = Tree(out);
    for (const auto& [path, data] : tree)
        bytes += data.size();
    EXPECT_EQ(figures.bytesWritten, bytes);

    // Another folder, and the same folder again: byte for byte the same discs.
    Network again = BuildTown(2, 300);
    BuildDiscs(again, roots_.base() / "out2");
    EXPECT_EQ(Tree(roots_.base() / "out2"), tree);
    Network third = BuildTown(2, 300);
    BuildDiscs(third, out);
    EXPECT_EQ(Tree(out), tree);
}

TEST_F(TownDiscTest, RefusesAFolderThatHoldsSomethingElse) {
    const fs::path out = roots_.base() / "busy";
    fs::create_directories(out);
    std::ofstream(out / "notes.txt") << "mine";
    Network town = BuildTown(2, 150);
    EXPECT_THROW(BuildDiscs(town, out), std::runtime_error);
    EXPECT_EQ(FileText(out / "notes.txt"), "mine");
}

TEST_F(TownDiscTest, PrebuiltRegionFolderIsFilledByTheHook) {
    Network town = BuildTown(2, 150);
    BuildOptions options;
    fs::path seen;
    options.prebuildRegion = [&](const Network&, const DiscLayout&,
                                 const fs::path& folder) -> uint64_t {
        seen = folder;
        std::ofstream(folder / "az.bin") << "x";
        return 1;
    };
    BuildDiscs(town, roots_.base() / "out", options);
    // The hook fills the discs while they are built beside OUT; its files arrive with them.
    EXPECT_EQ(seen.filename(), "hawaii");
    EXPECT_TRUE(fs::exists(roots_.base() / "out" / "CD1" / "mapdata" / "hawaii" / "az.bin"));
}

}  // namespace
