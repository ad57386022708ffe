#include "tools/discmaker/osm.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>

// The optimiser reads an empty user name in the library's relation builder as a
// read past a buffer; the library's own code, and harmless.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
#include <osmium/area/assembler.hpp>
#include <osmium/area/multipolygon_manager.hpp>
#include <osmium/builder/osm_object_builder.hpp>
#include <osmium/handler.hpp>
#include <osmium/handler/node_locations_for_ways.hpp>
#include <osmium/index/map/flex_mem.hpp>
#include <osmium/io/any_input.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>
#include <osmium/relations/manager_util.hpp>
#include <osmium/tags/tags_filter.hpp>
#include <osmium/visitor.hpp>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include "formats/names.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/house_ranges.h"

namespace discmaker {

namespace {

using formats::names::ToNameText;

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
// The width a river or canal given as a line is drawn at, in metres.
constexpr double kRiverWidthM = 12, kCanalWidthM = 8;

LatLon ToLatLon(const osmium::Location& location) {
    return {location.lat(), location.lon()};
}

// A tag's value, empty when the object has none; valid while the object is.
std::string_view Tag(const osmium::TagList& tags, const char* key) {
    const char* value = tags[key];
    return value ? value : "";
}

bool IsOneOf(std::string_view value, std::initializer_list<const char*> values) {
    for (const char* v : values) {
        if (value == v)
            return true;
    }
    return false;
}

// ---- Roads -------------------------------------------------------------------------

struct RoadKind {
    RoadClass roadClass;
    bool ramp;
    bool impliedOneway;
    uint16_t speedKmh;  // without a maxspeed
};

// The drivable highway values; anything else (tracks, paths, footways, steps,
// pedestrian areas, roads being built) is not a road for a car. Trunk and primary
// roads, secondary and tertiary roads, and streets fall in three classes the map
// draws apart (docs/formats/discmaker.md); each kind keeps its own typical speed.
bool RoadKindOf(std::string_view highway, RoadKind* kind) {
    static const std::map<std::string, RoadKind, std::less<>> kinds = {
        {"motorway", {RoadClass::Freeway, false, true, 110}},
        {"motorway_link", {RoadClass::Highway, true, true, 90}},
        {"trunk", {RoadClass::Highway, false, false, 90}},
        {"trunk_link", {RoadClass::Arterial, true, false, 70}},
        {"primary", {RoadClass::Arterial, false, false, 70}},
        {"primary_link", {RoadClass::Arterial, false, false, 70}},
        {"secondary", {RoadClass::Street, false, false, 60}},
        {"secondary_link", {RoadClass::Street, false, false, 60}},
        {"tertiary", {RoadClass::Street, false, false, 60}},
        {"tertiary_link", {RoadClass::Street, false, false, 60}},
        {"unclassified", {RoadClass::Minor, false, false, 40}},
        {"residential", {RoadClass::Minor, false, false, 40}},
        {"living_street", {RoadClass::Minor, false, false, 40}},
        {"road", {RoadClass::Minor, false, false, 40}},
        {"service", {RoadClass::Minor, false, false, 20}},
    };
    auto it = kinds.find(highway);
    if (it == kinds.end())
        return false;
    *kind = it->second;
    return true;
}

bool CarsBarred(const osmium::TagList& tags) {
    for (const char* key : {"motor_vehicle", "motorcar"}) {
        std::string_view v = Tag(tags, key);
        if (IsOneOf(v, {"yes", "designated", "permissive", "destination"}))
            return false;
        if (IsOneOf(v, {"no", "private"}))
            return true;
    }
    return IsOneOf(Tag(tags, "access"), {"no", "private"}) || Tag(tags, "area") == "yes";
}

int ParseSpeed(const std::string& text) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return 0;
    double value = std::atof(text.c_str());
    if (text.find("mph") != std::string::npos)
        value *= 1.609344;
    return value > 0 && value < 200 ? static_cast<int>(std::lround(value)) : 0;
}

// The words a name is split at, as the name files know them.
const std::map<std::string, std::string>& SuffixTypes() {
    static const std::map<std::string, std::string> types = {
        {"Street", "St"},      {"St", "St"},        {"Avenue", "Ave"}, {"Ave", "Ave"},
        {"Road", "Rd"},        {"Rd", "Rd"},        {"Drive", "Dr"},   {"Dr", "Dr"},
        {"Boulevard", "Blvd"}, {"Blvd", "Blvd"},    {"Lane", "Ln"},    {"Ln", "Ln"},
        {"Way", "Way"},        {"Court", "Ct"},     {"Ct", "Ct"},      {"Place", "Pl"},
        {"Pl", "Pl"},          {"Terrace", "Ter"},  {"Circle", "Cir"}, {"Highway", "Hwy"},
        {"Hwy", "Hwy"},        {"Parkway", "Pkwy"}, {"Trail", "Trl"},  {"Square", "Sq"},
        {"Freeway", "Fwy"},
    };
    return types;
}
const std::set<std::string>& PrefixTypes() {
    static const std::set<std::string> types = {"Avinguda", "Avenida",   "Carrer",  "Calle",
                                                "Camí",     "Carretera", "Rue",     "Avenue",
                                                "Via",      "Viale",     "Passeig", "Plaça"};
    return types;
}
const std::map<std::string, std::string>& Directions() {
    static const std::map<std::string, std::string> directions = {
        {"N", "N"},          {"S", "S"},          {"E", "E"},          {"W", "W"},
        {"NE", "NE"},        {"NW", "NW"},        {"SE", "SE"},        {"SW", "SW"},
        {"North", "N"},      {"South", "S"},      {"East", "E"},       {"West", "W"},
        {"Northeast", "NE"}, {"Northwest", "NW"}, {"Southeast", "SE"}, {"Southwest", "SW"},
    };
    return directions;
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (c == ' ') {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

std::string JoinWords(const std::vector<std::string>& words, size_t from, size_t to) {
    std::string text;
    for (size_t i = from; i < to; ++i) {
        if (!text.empty())
            text += ' ';
        text += words[i];
    }
    return text;
}

}  // namespace

// Splits "N Main St", "Main Street West", "Avinguda Meritxell" into the parts the
// name files store; a name that fits no pattern is all base ("Bayreuther Straße").
StreetName ParseStreetName(const std::string& typed) {
    // Names are written without periods, as the program's parser drops them from
    // what is typed ("Dr.-Hans-Frisch-Str." is "Dr-Hans-Frisch-Str").
    std::string text = typed;
    std::erase(text, '.');
    StreetName name;
    std::vector<std::string> words = Words(text);
    size_t first = 0, last = words.size();
    if (last - first >= 3 && Directions().count(words[first]))
        name.directionPrefix = Directions().at(words[first++]);
    if (last - first >= 3 && Directions().count(words[last - 1]))
        name.directionSuffix = Directions().at(words[--last]);
    if (last - first >= 2 && SuffixTypes().count(words[last - 1])) {
        name.suffixType = SuffixTypes().at(words[--last]);
    } else if (last - first >= 2 && PrefixTypes().count(words[first])) {
        name.prefixType = words[first++];
    }
    name.base = JoinWords(words, first, last);
    if (name.base.empty()) {  // "North Street": the direction was the name
        name = StreetName{};
        name.base = text;
    }
    return name;
}

namespace {

// ---- Points of interest ----------------------------------------------------------------

struct PoiKind {
    PoiCategory category;
    uint8_t sub;
    const char* word;  // name of an unnamed point where one helps ("Parking")
};

uint8_t FoodType(const std::string& cuisine) {
    std::string first = cuisine.substr(0, cuisine.find(';'));
    static const std::map<std::string, uint8_t> types = {
        {"american", 1},       {"chinese", 3},     {"french", 5},    {"german", 6},
        {"greek", 7},          {"indian", 8},      {"italian", 9},   {"pizza", 9},
        {"japanese", 10},      {"sushi", 10},      {"korean", 33},   {"mexican", 11},
        {"seafood", 13},       {"fish", 13},       {"thai", 14},     {"vietnamese", 16},
        {"vegetarian", 15},    {"burger", 27},     {"sandwich", 41}, {"steak_house", 48},
        {"spanish", 47},       {"turkish", 50},    {"kebab", 50},    {"regional", 12},
        {"international", 53}, {"portuguese", 39}, {"swiss", 49},    {"austrian", 18},
        {"catalan", 47},       {"tapas", 47},
    };
    auto it = types.find(first);
    return it != types.end() ? it->second : poi_sub::kFoodUnknown;
}

bool PoiKindOf(const osmium::TagList& tags, PoiKind* kind) {
    using namespace poi_sub;
    const std::string_view amenity = Tag(tags, "amenity"), shop = Tag(tags, "shop"),
                           tourism = Tag(tags, "tourism"), leisure = Tag(tags, "leisure");
    auto set = [&](PoiCategory c, uint8_t s, const char* word = nullptr) {
        *kind = {c, s, word};
        return true;
    };
    if (amenity == "atm")
        return set(PoiCategory::Business, kAtm, "ATM");
    if (amenity == "bank")
        return set(PoiCategory::Business, kBank, "Bank");
    if (IsOneOf(shop,
                {"supermarket", "convenience", "grocery", "greengrocer", "bakery", "butcher"}))
        return set(PoiCategory::Business, kGrocery);
    if (shop == "car_repair" || amenity == "car_wash")
        return set(PoiCategory::Transportation, kAutoService);
    if (!shop.empty() && shop != "no" && shop != "vacant")
        return set(PoiCategory::Business, kShopping);
    if (amenity == "townhall")
        return set(PoiCategory::Education, kCityHall, "Town Hall");
    if (IsOneOf(amenity, {"university", "college"}))
        return set(PoiCategory::Education, kHigherEducation);
    if (IsOneOf(amenity, {"school", "kindergarten"}))
        return set(PoiCategory::Education, kSchool);
    if (amenity == "library")
        return set(PoiCategory::Education, kLibrary, "Library");
    if (IsOneOf(amenity, {"hospital", "clinic"}))
        return set(PoiCategory::Emergency, kHospital, "Hospital");
    if (IsOneOf(amenity, {"police", "fire_station"}))
        return set(PoiCategory::Emergency, kPolice, "Police");
    if (tourism == "theme_park")
        return set(PoiCategory::Attraction, kAmusementPark);
    if (amenity == "casino")
        return set(PoiCategory::Attraction, kCasino);
    if (IsOneOf(amenity, {"conference_centre", "exhibition_centre"}))
        return set(PoiCategory::Attraction, kConventionCenter);
    if (IsOneOf(tourism, {"museum", "gallery"}))
        return set(PoiCategory::Attraction, kMuseum, "Museum");
    if (IsOneOf(amenity, {"theatre", "arts_centre", "cinema"}))
        return set(PoiCategory::Attraction, kPerformingArts);
    if (leisure == "stadium")
        return set(PoiCategory::Attraction, kStadium);
    if (tourism == "information" && Tag(tags, "information") == "office")
        return set(PoiCategory::Attraction, kTouristInformation, "Tourist Information");
    if (tourism == "wine_cellar" || Tag(tags, "craft") == "winery")
        return set(PoiCategory::Attraction, kWinery);
    if (IsOneOf(tourism, {"attraction", "viewpoint", "zoo", "aquarium"}))
        return set(PoiCategory::Attraction, kTouristAttraction);
    if (IsOneOf(tourism, {"hotel", "motel", "guest_house", "hostel", "chalet", "apartment",
                          "camp_site", "alpine_hut"}))
        return set(PoiCategory::Lodging, kLodging);
    if (leisure == "golf_course")
        return set(PoiCategory::Recreation, kGolfCourse);
    if (leisure == "marina")
        return set(PoiCategory::Recreation, kMarina, "Marina");
    if (Tag(tags, "landuse") == "winter_sports" || Tag(tags, "sport") == "skiing")
        return set(PoiCategory::Recreation, kSkiResort);
    if (IsOneOf(leisure, {"park", "sports_centre", "nature_reserve"}))
        return set(PoiCategory::Recreation, kPark);
    if (IsOneOf(amenity, {"restaurant", "fast_food", "cafe", "food_court", "pub", "biergarten"})) {
        uint8_t food = amenity == "fast_food" ? 27 : FoodType(std::string(Tag(tags, "cuisine")));
        return set(PoiCategory::Restaurant, food);
    }
    if (amenity == "fuel")
        return set(PoiCategory::Transportation, kGasStation, "Fuel");
    if (Tag(tags, "aeroway") == "aerodrome")
        return set(PoiCategory::Transportation, kAirport);
    if (amenity == "parking")
        return set(PoiCategory::Transportation, kParking, "Parking");
    if (amenity == "bus_station")
        return set(PoiCategory::Transportation, kBusStation, "Bus Station");
    if (amenity == "ferry_terminal")
        return set(PoiCategory::Transportation, kFerryTerminal, "Ferry Terminal");
    if (amenity == "car_rental")
        return set(PoiCategory::Transportation, kCarRental, "Car Rental");
    if (Tag(tags, "railway") == "station" && Tag(tags, "station") != "subway")
        return set(PoiCategory::Transportation, kTrainStation, "Station");
    return false;
}

// The last ten digits of a telephone number: the points of interest hold ten.
std::string PhoneDigits(const std::string& text) {
    std::string digits;
    for (char c : text.substr(0, text.find(';'))) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            digits += c;
    }
    if (digits.size() > 10)
        digits = digits.substr(digits.size() - 10);
    return digits;
}

uint32_t HouseNumber(const std::string& text) {
    uint32_t n = 0;
    size_t i = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && n < 100000000;
         ++i) {
        n = n * 10 + static_cast<uint32_t>(text[i] - '0');
    }
    return i > 0 ? n : 0;
}

// The leading digits of a house number ("12a" gives 12); false when it has none.
bool LeadingNumber(const std::string& text, uint32_t* number) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    *number = HouseNumber(text);
    return true;
}

// ---- Areas -------------------------------------------------------------------------

bool FeatureKindOf(const osmium::TagList& tags, FeatureKind* kind) {
    const std::string_view natural = Tag(tags, "natural"), landuse = Tag(tags, "landuse"),
                           leisure = Tag(tags, "leisure"), amenity = Tag(tags, "amenity"),
                           water = Tag(tags, "water");
    if (natural == "water" || landuse == "reservoir" || landuse == "basin" ||
        Tag(tags, "waterway") == "riverbank") {
        *kind = IsOneOf(water, {"river", "canal", "stream"}) || Tag(tags, "waterway") == "riverbank"
                    ? FeatureKind::River
                    : FeatureKind::Lake;
        return true;
    }
    if (IsOneOf(leisure, {"park", "garden", "recreation_ground", "nature_reserve"}) ||
        IsOneOf(landuse, {"grass", "recreation_ground", "village_green"})) {
        *kind = FeatureKind::Park;
        return true;
    }
    if (landuse == "forest" || natural == "wood")
        return *kind = FeatureKind::Forest, true;
    if (landuse == "cemetery" || amenity == "grave_yard")
        return *kind = FeatureKind::Cemetery, true;
    if (leisure == "golf_course")
        return *kind = FeatureKind::Golf, true;
    if (Tag(tags, "aeroway") == "aerodrome")
        return *kind = FeatureKind::Airport, true;
    if (amenity == "hospital")
        return *kind = FeatureKind::Hospital, true;
    if (IsOneOf(amenity, {"university", "college", "school"}))
        return *kind = FeatureKind::Campus, true;
    if (landuse == "industrial")
        return *kind = FeatureKind::Industrial, true;
    if (landuse == "residential" || landuse == "commercial" || landuse == "retail")
        return *kind = FeatureKind::Urban, true;
    return false;
}

// A ring around a line, `widthM` metres wide: the line's points moved half the width
// to its left, then back along its right, with mitred corners (held to twice the
// half width at sharp bends).
std::vector<LatLon> WidenLine(const std::vector<LatLon>& line, double widthM) {
    std::vector<LatLon> points;
    for (const LatLon& p : line) {
        if (points.empty() || !(points.back() == p))
            points.push_back(p);
    }
    if (points.size() < 2)
        return {};
    const double kMetresPerDegree = 111320.0;
    const double cosLat = std::cos(points[0].lat * kDegToRad);
    auto flat = [&](const LatLon& p) {
        return std::pair{p.lon * cosLat * kMetresPerDegree, p.lat * kMetresPerDegree};
    };
    // The unit normal to the left of segment i.
    auto normal = [&](size_t i) {
        const auto [ax, ay] = flat(points[i]);
        const auto [bx, by] = flat(points[i + 1]);
        const double length = std::hypot(bx - ax, by - ay);
        return length > 0 ? std::pair{-(by - ay) / length, (bx - ax) / length}
                          : std::pair{0.0, 0.0};
    };
    const double half = widthM / 2;
    std::vector<LatLon> left, right;
    for (size_t i = 0; i < points.size(); ++i) {
        const auto before = normal(i == 0 ? 0 : i - 1);
        const auto after = normal(i + 1 < points.size() ? i : i - 1);
        // Along the bisector of the two normals, as far as keeps both sides at the
        // half width: half / cos of half the bend.
        double nx = before.first + after.first, ny = before.second + after.second;
        const double length = std::hypot(nx, ny);
        double reach = half;
        if (length > 1e-9) {
            nx /= length, ny /= length;
            reach = std::min(2 * half / length, 2 * half);
        } else {
            nx = after.first, ny = after.second;
        }
        const double dLat = ny * reach / kMetresPerDegree;
        const double dLon = nx * reach / (kMetresPerDegree * cosLat);
        left.push_back({points[i].lat + dLat, points[i].lon + dLon});
        right.push_back({points[i].lat - dLat, points[i].lon - dLon});
    }
    left.insert(left.end(), right.rbegin(), right.rend());
    return left;
}

double RingAreaKm2(const std::vector<LatLon>& ring) {
    if (ring.size() < 3)
        return 0;
    const double k = std::cos(ring[0].lat * kDegToRad) * 111.32;
    double sum = 0;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        sum +=
            (ring[j].lon * k) * (ring[i].lat * 110.57) - (ring[i].lon * k) * (ring[j].lat * 110.57);
    }
    return std::abs(sum) / 2;
}

// Bigger areas stay visible further out.
uint8_t LevelForArea(double km2) {
    if (km2 <= 0)
        return 0;
    int level = static_cast<int>(std::floor(std::log2(km2 * 20)));
    return static_cast<uint8_t>(std::clamp(level, 0, 15));
}

bool InsideRing(const std::vector<LatLon>& ring, LatLon p) {
    bool inside = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        if ((ring[i].lat > p.lat) != (ring[j].lat > p.lat) &&
            p.lon <
                (ring[j].lon - ring[i].lon) * (p.lat - ring[i].lat) / (ring[j].lat - ring[i].lat) +
                    ring[i].lon) {
            inside = !inside;
        }
    }
    return inside;
}

LatLon Centroid(const std::vector<LatLon>& ring) {
    LatLon c{};
    for (const LatLon& p : ring)
        c.lat += p.lat, c.lon += p.lon;
    if (!ring.empty())
        c.lat /= ring.size(), c.lon /= ring.size();
    return c;
}

// ---- What the passes collect ---------------------------------------------------------

// A road's node ids and positions lie in the collection's flat arrays, `count` of
// them after those of the roads before it: one allocation for all ways, not two
// per way.
struct RoadWay {
    int64_t id = 0;
    uint32_t count = 0;
    int16_t speed = 0;
    RoadKind kind{};
    Direction direction = Direction::Both;
    bool roundabout = false;
    bool toll = false;
    Text name;
    Text ref;
    Text destination;
};

struct Boundary {
    int64_t id = 0;
    int adminLevel = 0;
    std::string name;
    std::vector<LatLon> ring;  // the largest outer ring
    double km2 = 0;
};

struct PlaceNode {
    int64_t id = 0;
    std::string name;
    LatLon position;
    double radiusKm = 0;  // how far its roads reach when no boundary says
};

struct PoiData {
    int64_t id = 0;  // nodes positive; areas carry osmium's area id
    PoiKind kind{};
    std::string name;
    std::string phone;
    uint32_t houseNumber = 0;
    LatLon position;
};

struct Interpolation {
    int64_t id = 0;
    Parity parity = Parity::Mixed;
    std::vector<int64_t> refs;
    std::vector<LatLon> points;
};

// A single address: a node, or a closed way at its ring's centre.
struct Address {
    int64_t id = 0;  // nodes 2 x id, ways 2 x id + 1, for a stable order
    uint32_t number = 0;
    std::string street;  // addr:street, else addr:place
    std::string city;    // addr:city, may be empty
    LatLon position;
};

struct Restriction {
    int64_t id = 0;
    bool only = false;
    int64_t from = 0, via = 0, to = 0;
};

// Road ways with their node ids and positions, in blocks of about 130,000
// nodes, so that each block can be handed back as soon as its links are made.
struct RoadBlock {
    std::vector<RoadWay> roads;
    std::vector<int64_t> refs;
    // Positions as the file gives them (1e-7 degrees), half the size of LatLon.
    std::vector<osmium::Location> points;
};

struct Collected {
    std::vector<RoadBlock> roadBlocks;
    size_t roadCount = 0, roadRefCount = 0;

    void AddRoad(const RoadWay& road, std::span<const int64_t> refs,
                 std::span<const osmium::Location> points) {
        constexpr size_t kBlockRefs = size_t{1} << 17;
        if (roadBlocks.empty() || roadBlocks.back().refs.size() + refs.size() > kBlockRefs) {
            if (!roadBlocks.empty()) {
                RoadBlock& full = roadBlocks.back();
                full.roads.shrink_to_fit();
                full.refs.shrink_to_fit();
                full.points.shrink_to_fit();
            }
            roadBlocks.emplace_back();
        }
        RoadBlock& block = roadBlocks.back();
        block.roads.push_back(road);
        block.roads.back().count = static_cast<uint32_t>(refs.size());
        block.refs.insert(block.refs.end(), refs.begin(), refs.end());
        block.points.insert(block.points.end(), points.begin(), points.end());
        ++roadCount;
        roadRefCount += refs.size();
    }

    // Calls visit(road, node ids, positions) for every road, in order.
    template <typename Visit>
    void ForEachRoad(Visit visit) {
        for (RoadBlock& block : roadBlocks)
            VisitBlock(block, visit);
    }
    // The same, handing each block back once its roads are visited.
    template <typename Visit>
    void TakeEachRoad(Visit visit) {
        for (RoadBlock& block : roadBlocks) {
            VisitBlock(block, visit);
            block = RoadBlock{};
            ReturnFreedMemory();
        }
        roadBlocks = std::vector<RoadBlock>();
    }
    template <typename Visit>
    static void VisitBlock(const RoadBlock& block, Visit& visit) {
        size_t at = 0;
        for (const RoadWay& road : block.roads) {
            visit(road, std::span<const int64_t>(block.refs.data() + at, road.count),
                  std::span<const osmium::Location>(block.points.data() + at, road.count));
            at += road.count;
        }
    }
    std::vector<Boundary> boundaries;
    std::vector<PlaceNode> places;
    std::vector<PoiData> pois;
    std::vector<Interpolation> interpolations;
    std::vector<Address> addresses;
    std::vector<Restriction> restrictions;
    std::vector<PolygonFeature> features;
    std::vector<std::pair<int64_t, size_t>> featureOrder;  // source id, index, for a stable order
    std::map<int64_t, std::pair<uint32_t, std::string>> addressNodes;  // number, street
    std::map<int64_t, std::string> junctionRefs;
    std::string extractName;
};

class RestrictionHandler : public osmium::handler::Handler {
  public:
    explicit RestrictionHandler(Collected& out) : m_out(out) {}
    void relation(const osmium::Relation& relation) {
        const osmium::TagList& tags = relation.tags();
        if (Tag(tags, "type") != "restriction")
            return;
        std::string_view kind = Tag(tags, "restriction");
        if (kind.empty())
            kind = Tag(tags, "restriction:motorcar");
        if (kind.rfind("no_", 0) != 0 && kind.rfind("only_", 0) != 0)
            return;
        Restriction r;
        r.id = relation.id();
        r.only = kind.rfind("only_", 0) == 0;
        int froms = 0, vias = 0, tos = 0;
        for (const osmium::RelationMember& member : relation.members()) {
            std::string role = member.role();
            if (role == "from" && member.type() == osmium::item_type::way)
                r.from = member.ref(), ++froms;
            else if (role == "to" && member.type() == osmium::item_type::way)
                r.to = member.ref(), ++tos;
            else if (role == "via" && member.type() == osmium::item_type::node)
                r.via = member.ref(), ++vias;
            else if (role == "via")
                return;  // via ways are not kept
        }
        if (froms == 1 && tos == 1 && vias == 1)
            m_out.restrictions.push_back(r);
    }

  private:
    Collected& m_out;
};

class DataHandler : public osmium::handler::Handler {
  public:
    explicit DataHandler(Collected& out) : m_out(out) {}

    void node(const osmium::Node& node) {
        const osmium::TagList& tags = node.tags();
        if (tags.empty() || !node.location().valid())
            return;
        const LatLon at = ToLatLon(node.location());
        std::string_view number = Tag(tags, "addr:housenumber");
        if (!number.empty()) {
            m_out.addressNodes[node.id()] = {HouseNumber(std::string(number)),
                                             std::string(Tag(tags, "addr:street"))};
            AddAddress(node.id() * 2, tags, at);
        }
        if (Tag(tags, "highway") == "motorway_junction" && tags["ref"])
            m_out.junctionRefs[node.id()] = Tag(tags, "ref");
        std::string_view place = Tag(tags, "place");
        std::string_view name = Tag(tags, "name");
        if (!name.empty() && IsOneOf(place, {"city", "town", "village"})) {
            double radius = place == "city" ? 6 : place == "town" ? 3 : 1.5;
            m_out.places.push_back({node.id(), std::string(name), at, radius});
        }
        AddPoi(node.id(), tags, at);
    }

    void way(const osmium::Way& way) {
        const osmium::TagList& tags = way.tags();
        std::vector<int64_t> refs;
        std::vector<osmium::Location> locations;
        refs.reserve(way.nodes().size());
        locations.reserve(way.nodes().size());
        for (const osmium::NodeRef& ref : way.nodes()) {
            if (!ref.location().valid())
                continue;  // outside the extract
            if (!refs.empty() && refs.back() == ref.ref())
                continue;
            refs.push_back(ref.ref());
            locations.push_back(ref.location());
        }
        std::vector<LatLon> points;
        points.reserve(locations.size());
        for (const osmium::Location& location : locations)
            points.push_back(ToLatLon(location));
        if (refs.size() < 2)
            return;
        if (refs.size() >= 4 && refs.front() == refs.back() && tags["addr:housenumber"]) {
            points.pop_back();
            AddAddress(way.id() * 2 + 1, tags, Centroid(points));
            points.push_back(points.front());
        }
        RoadKind kind;
        std::string_view highway = Tag(tags, "highway");
        if (!highway.empty() && RoadKindOf(highway, &kind) && !CarsBarred(tags)) {
            RoadWay road;
            road.id = way.id();
            road.kind = kind;
            std::string_view junction = Tag(tags, "junction");
            road.roundabout = junction == "roundabout" || junction == "circular";
            std::string_view oneway = Tag(tags, "oneway");
            if (IsOneOf(oneway, {"yes", "1", "true"}))
                road.direction = Direction::Forward;
            else if (IsOneOf(oneway, {"-1", "reverse"}))
                road.direction = Direction::Backward;
            else if (oneway.empty() && (kind.impliedOneway || road.roundabout))
                road.direction = Direction::Forward;
            road.toll = Tag(tags, "toll") == "yes";
            road.speed = static_cast<int16_t>(ParseSpeed(std::string(Tag(tags, "maxspeed"))));
            road.name = Tag(tags, "name");
            road.ref = Tag(tags, "ref");
            std::string destRef(Tag(tags, "destination:ref")), dest(Tag(tags, "destination"));
            std::replace(dest.begin(), dest.end(), ';', '/');
            std::replace(destRef.begin(), destRef.end(), ';', '/');
            road.destination = destRef.empty() ? dest
                               : dest.empty()  ? destRef
                                               : destRef + "/" + dest;
            m_out.AddRoad(road, refs, locations);
            return;
        }
        std::string_view interpolation = Tag(tags, "addr:interpolation");
        if (!interpolation.empty()) {
            Interpolation in;
            in.id = way.id();
            in.parity = interpolation == "odd"    ? Parity::Odd
                        : interpolation == "even" ? Parity::Even
                                                  : Parity::Mixed;
            in.refs = std::move(refs);
            in.points = std::move(points);
            m_out.interpolations.push_back(std::move(in));
            return;
        }
        // Lines under the roads. A river's line becomes water of a river's width:
        // the view draws lines two pixels wide at every scale, as wide as the roads
        // (wider than the main roads far out), where water of its own width narrows
        // with the scale as the roads do.
        std::string_view waterway = Tag(tags, "waterway");
        if (IsOneOf(waterway, {"river", "canal"})) {
            std::vector<LatLon> ring =
                WidenLine(points, waterway == "river" ? kRiverWidthM : kCanalWidthM);
            if (ring.size() >= 3) {
                AddFeature(way.id() * 2, {FeatureKind::River, 3, false, std::move(ring),
                                          std::string(Tag(tags, "name"))});
            }
            return;
        }
        FeatureKind line;
        bool isLine = true;
        if (Tag(tags, "railway") == "rail")
            line = FeatureKind::Railway;
        else if (Tag(tags, "natural") == "coastline")
            line = FeatureKind::Shore;
        else
            isLine = false;
        if (isLine) {
            AddFeature(way.id() * 2,
                       {line, 3, true, std::move(points), std::string(Tag(tags, "name"))});
        }
    }

    void area(const osmium::Area& area) {
        const osmium::TagList& tags = area.tags();
        // The largest outer ring stands for the area.
        std::vector<LatLon> best;
        double bestKm2 = -1;
        for (const osmium::OuterRing& outer : area.outer_rings()) {
            std::vector<LatLon> ring;
            for (const osmium::NodeRef& ref : outer) {
                if (ref.location().valid())
                    ring.push_back({ref.location().lat(), ref.location().lon()});
            }
            if (ring.size() > 1 && ring.front() == ring.back())
                ring.pop_back();
            double km2 = RingAreaKm2(ring);
            if (ring.size() >= 3 && km2 > bestKm2)
                best = std::move(ring), bestKm2 = km2;
        }
        if (best.empty())
            return;
        if (Tag(tags, "boundary") == "administrative") {
            int level = std::atoi(std::string(Tag(tags, "admin_level")).c_str());
            std::string_view name = Tag(tags, "name");
            if (level > 0 && !name.empty())
                m_out.boundaries.push_back({area.id(), level, std::string(name), best, bestKm2});
            return;
        }
        FeatureKind kind;
        if (FeatureKindOf(tags, &kind)) {
            AddFeature(area.id(),
                       {kind, LevelForArea(bestKm2), false, best, std::string(Tag(tags, "name"))});
        }
        AddPoi(area.id(), tags, Centroid(best));
    }

  private:
    void AddAddress(int64_t id, const osmium::TagList& tags, LatLon at) {
        Address address;
        address.id = id;
        address.street = Tag(tags, "addr:street");
        if (address.street.empty())
            address.street = Tag(tags, "addr:place");
        if (address.street.empty() ||
            !LeadingNumber(std::string(Tag(tags, "addr:housenumber")), &address.number))
            return;
        address.city = Tag(tags, "addr:city");
        address.position = at;
        m_out.addresses.push_back(std::move(address));
    }

    void AddFeature(int64_t sourceId, PolygonFeature feature) {
        m_out.featureOrder.push_back({sourceId, m_out.features.size()});
        m_out.features.push_back(std::move(feature));
    }

    void AddPoi(int64_t id, const osmium::TagList& tags, LatLon at) {
        PoiKind kind;
        if (!PoiKindOf(tags, &kind))
            return;
        PoiData poi;
        poi.id = id;
        poi.kind = kind;
        poi.name = Tag(tags, "name");
        if (poi.name.empty())
            poi.name = Tag(tags, "brand");
        if (poi.name.empty())
            poi.name = Tag(tags, "operator");
        if (poi.name.empty() && kind.word)
            poi.name = kind.word;
        if (poi.name.empty())
            return;
        std::string_view phone = Tag(tags, "phone");
        if (phone.empty())
            phone = Tag(tags, "contact:phone");
        poi.phone = PhoneDigits(std::string(phone));
        poi.houseNumber = HouseNumber(std::string(Tag(tags, "addr:housenumber")));
        poi.position = at;
        m_out.pois.push_back(std::move(poi));
    }

    Collected& m_out;
};

// ---- Turning what was collected into a network ---------------------------------------

class NetworkMaker {
  public:
    NetworkMaker(Collected& in, const BuiltInState& state) : m_in(in), m_state(state) {}

    Network Make() {
        MakeLinks();
        if (m_net.links.empty())
            throw std::runtime_error("the extract holds no drivable road");
        MakeAreas();
        AssignLinkAreas();
        MakeRestrictions();
        MakeAddressRanges();
        MakeHouseRanges();
        MakeFeatures();
        MakePois();
        MakeRegion();
        AssignPoiLinks(m_net);
        ValidateNetwork(m_net);
        return std::move(m_net);
    }

  private:
    void MakeLinks() {
        // Nodes where ways meet, end or come back to themselves become network
        // nodes; the rest are shape. Every occurrence counts once, a way's end twice,
        // so a node counted twice or more is a junction.
        {
            std::vector<int64_t> counted;
            counted.reserve(m_in.roadRefCount + 2 * m_in.roadCount);
            m_in.ForEachRoad([&](const RoadWay&, std::span<const int64_t> refs, auto) {
                for (size_t i = 0; i < refs.size(); ++i) {
                    counted.push_back(refs[i]);
                    if (i == 0 || i + 1 == refs.size())
                        counted.push_back(refs[i]);
                }
            });
            std::sort(counted.begin(), counted.end());
            for (size_t i = 0; i < counted.size();) {
                size_t j = i + 1;
                while (j < counted.size() && counted[j] == counted[i])
                    ++j;
                if (j - i > 1)
                    m_junctionIds.push_back(counted[i]);
                i = j;
            }
        }
        m_junctionIds.shrink_to_fit();
        m_junctionNodes.assign(m_junctionIds.size(), kNone);
        size_t ends = 0;
        m_in.ForEachRoad([&](const RoadWay&, std::span<const int64_t> refs, auto) {
            for (size_t i = 1; i < refs.size(); ++i)
                ends += IsJunction(refs[i]);
        });
        m_net.links.reserve(ends);
        m_net.nodes.reserve(m_junctionIds.size());
        // Only the ways that turn restrictions name need their links found again.
        std::vector<int64_t> restricted;
        for (const Restriction& r : m_in.restrictions) {
            restricted.push_back(r.from);
            restricted.push_back(r.to);
        }
        std::sort(restricted.begin(), restricted.end());

        // What the links took is not kept twice: each block of roads goes as soon as
        // its links are made.
        m_in.TakeEachRoad([&](const RoadWay& road, std::span<const int64_t> refs,
                              std::span<const osmium::Location> points) {
            uint32_t from = NodeFor(refs[0], ToLatLon(points[0]));
            const uint32_t firstLink = static_cast<uint32_t>(m_net.links.size());
            std::vector<LatLon> shape;
            for (size_t i = 1; i < refs.size(); ++i) {
                if (i + 1 < refs.size() && !IsJunction(refs[i])) {
                    shape.push_back(ToLatLon(points[i]));
                    continue;
                }
                uint32_t to = NodeFor(refs[i], ToLatLon(points[i]));
                if (to == from && shape.empty())
                    continue;  // a repeated node
                Link link;
                link.from = from;
                link.to = to;
                link.shape = std::move(shape);
                shape.clear();
                link.roadClass = road.kind.roadClass;
                link.ramp = road.kind.ramp;
                link.direction = road.direction;
                link.roundabout = road.roundabout;
                link.toll = road.toll;
                link.speedKmh = road.speed > 0 ? road.speed : road.kind.speedKmh;
                if (!road.name.empty())
                    link.name = ParseStreetName(road.name);
                LinkSigns signs;
                if (!road.ref.empty()) {
                    const std::string& ref = road.ref;
                    const std::string number = ref.substr(0, ref.find(';'));
                    const size_t cut = number.find_last_of(" -");
                    signs.highwayNumber = number;
                    signs.signText = cut == std::string::npos ? number : number.substr(cut + 1);
                }
                if (link.ramp) {
                    auto junction = m_in.junctionRefs.find(refs[0]);
                    if (junction != m_in.junctionRefs.end() && m_net.links.size() == firstLink) {
                        signs.exitNumber = junction->second;
                    }
                    signs.exitSign = road.destination;
                }
                link.signs = signs;
                link.sourceId = road.id;
                m_net.AddLink(std::move(link));
                from = to;
            }
            if (std::binary_search(restricted.begin(), restricted.end(), road.id)) {
                m_wayLinks.push_back(
                    {road.id, firstLink, static_cast<uint32_t>(m_net.links.size()) - firstLink});
            }
        });
        std::sort(m_wayLinks.begin(), m_wayLinks.end(),
                  [](const WayLinks& a, const WayLinks& b) { return a.id < b.id; });
    }

    bool IsJunction(int64_t id) const {
        return std::binary_search(m_junctionIds.begin(), m_junctionIds.end(), id);
    }

    // The network node of a junction; kNone for a node that is none.
    uint32_t JunctionNode(int64_t id) const {
        auto it = std::lower_bound(m_junctionIds.begin(), m_junctionIds.end(), id);
        if (it == m_junctionIds.end() || *it != id)
            return kNone;
        return m_junctionNodes[static_cast<size_t>(it - m_junctionIds.begin())];
    }

    uint32_t NodeFor(int64_t id, LatLon at) {
        auto it = std::lower_bound(m_junctionIds.begin(), m_junctionIds.end(), id);
        uint32_t& node = m_junctionNodes[static_cast<size_t>(it - m_junctionIds.begin())];
        if (node == kNone)
            node = m_net.AddNode(at, id);
        return node;
    }

    void MakeAreas() {
        m_stateArea = m_net.AddArea({AreaKind::State, m_state.name, m_state.code, kNone, {}, {}});
        std::sort(m_in.boundaries.begin(), m_in.boundaries.end(),
                  [](const Boundary& a, const Boundary& b) { return a.id < b.id; });
        // Counties: the levels of a region's districts; cities: the municipal ones.
        for (const Boundary& b : m_in.boundaries) {
            if (b.adminLevel >= 5 && b.adminLevel <= 6) {
                uint32_t county = m_net.AddArea(
                    {AreaKind::County, b.name, "", m_stateArea, Centroid(b.ring), b.ring});
                m_counties.push_back(county);
            }
        }
        if (m_counties.empty()) {
            // No district in the extract: one county for all of it, named after the
            // largest boundary there is, else the state.
            std::string name = m_state.name;
            double km2 = -1;
            for (const Boundary& b : m_in.boundaries) {
                if (b.adminLevel <= 4 && b.km2 > km2)
                    name = b.name, km2 = b.km2;
            }
            m_counties.push_back(m_net.AddArea({AreaKind::County, name, "", m_stateArea, {}, {}}));
        }
        for (const Boundary& b : m_in.boundaries) {
            if (b.adminLevel >= 7 && b.adminLevel <= 8) {
                LatLon centre = Centroid(b.ring);
                // A place node of the same name inside gives the centre.
                for (const PlaceNode& p : m_in.places) {
                    if (p.name == b.name && InsideRing(b.ring, p.position)) {
                        centre = p.position;
                        break;
                    }
                }
                uint32_t city =
                    m_net.AddArea({AreaKind::City, b.name, "", CountyAt(centre), centre, b.ring});
                m_boundaryCities.push_back(city);
            }
        }
        std::sort(m_in.places.begin(), m_in.places.end(),
                  [](const PlaceNode& a, const PlaceNode& b) { return a.id < b.id; });
        for (const PlaceNode& p : m_in.places) {
            bool inBoundary = false;
            for (uint32_t city : m_boundaryCities) {
                if (m_net.areas[city].name == p.name)
                    inBoundary = true;
            }
            if (inBoundary)
                continue;
            uint32_t city =
                m_net.AddArea({AreaKind::City, p.name, "", CountyAt(p.position), p.position, {}});
            m_placeCities.push_back({city, p.radiusKm});
        }
    }

    uint32_t CountyAt(LatLon p) const {
        for (uint32_t county : m_counties) {
            const Area& a = m_net.areas[county];
            if (a.outline.size() >= 3 && InsideRing(a.outline, p))
                return county;
        }
        return m_counties.front();
    }

    // The city whose boundary holds a point, or kNone.
    uint32_t BoundaryCityAt(LatLon p) const {
        for (uint32_t city : m_boundaryCities) {
            if (InsideRing(m_net.areas[city].outline, p))
                return city;
        }
        return kNone;
    }

    // The city at a point: a city boundary holding it, else the nearest place within
    // its reach, else the county.
    uint32_t AreaAt(LatLon p) const {
        if (uint32_t city = BoundaryCityAt(p); city != kNone)
            return city;
        uint32_t best = kNone;
        double bestKm = 0;
        for (const auto& [city, radius] : m_placeCities) {
            double km = DistanceKm(m_net.areas[city].center, p);
            if (km <= radius && (best == kNone || km < bestKm))
                best = city, bestKm = km;
        }
        return best != kNone ? best : CountyAt(p);
    }

    LatLon LinkMiddle(uint32_t link) const {
        std::vector<LatLon> points = m_net.LinkPoints(link);
        if (points.size() == 2)
            return {(points[0].lat + points[1].lat) / 2, (points[0].lon + points[1].lon) / 2};
        return points[points.size() / 2];
    }

    void AssignLinkAreas() {
        for (uint32_t link = 0; link < m_net.links.size(); ++link)
            m_net.links[link].leftArea = m_net.links[link].rightArea = AreaAt(LinkMiddle(link));
    }

    // The piece of a way that touches a node.
    uint32_t PieceAt(int64_t way, uint32_t node) const {
        auto [first, last] =
            std::equal_range(m_wayLinks.begin(), m_wayLinks.end(), WayLinks{way, 0, 0},
                             [](const WayLinks& a, const WayLinks& b) { return a.id < b.id; });
        for (auto it = first; it != last; ++it) {
            for (uint32_t link = it->first; link < it->first + it->count; ++link) {
                if (m_net.links[link].from == node || m_net.links[link].to == node)
                    return link;
            }
        }
        return kNone;
    }

    void MakeRestrictions() {
        std::sort(m_in.restrictions.begin(), m_in.restrictions.end(),
                  [](const Restriction& a, const Restriction& b) { return a.id < b.id; });
        std::set<std::tuple<uint32_t, uint32_t, uint32_t>> made;
        auto add = [&](uint32_t from, uint32_t via, uint32_t to) {
            if (made.insert({from, via, to}).second)
                m_net.restrictions.push_back({from, via, to});
        };
        for (const Restriction& r : m_in.restrictions) {
            const uint32_t via = JunctionNode(r.via);
            if (via == kNone)
                continue;
            uint32_t from = PieceAt(r.from, via), to = PieceAt(r.to, via);
            if (from == kNone || to == kNone)
                continue;
            if (!r.only) {
                add(from, via, to);
                continue;
            }
            // "Only this way": every other way out is forbidden.
            for (uint32_t link = 0; link < m_net.links.size(); ++link) {
                const Link& l = m_net.links[link];
                if (link == to || (l.from != via && l.to != via))
                    continue;
                add(from, via, link);
            }
        }
    }

    // Single addresses: each goes to the nearest link of its street within 300 m,
    // on the side where it lies; the city most of a side's addresses name becomes
    // the side's area, and the numbers where they lie make its range.
    void MakeAddressRanges() {
        std::vector<Address>& addresses = m_in.addresses;
        std::sort(addresses.begin(), addresses.end(),
                  [](const Address& a, const Address& b) { return a.id < b.id; });
        m_net.addressesRead = addresses.size();
        std::map<std::string, std::vector<uint32_t>> linksOfStreet;
        for (uint32_t link = 0; link < m_net.links.size(); ++link) {
            const StreetName& name = m_net.links[link].name;
            if (!name.Empty())
                linksOfStreet[StreetText(name)].push_back(link);
        }
        struct Placed {
            PlacedNumber where;
            const Address* address;
        };
        std::map<std::pair<uint32_t, bool>, std::vector<Placed>> sides;  // (link, right)
        for (const Address& address : addresses) {
            auto links = linksOfStreet.find(StreetText(ParseStreetName(address.street)));
            if (links == linksOfStreet.end())
                continue;
            uint32_t best = kNone;
            LinkProjection nearest;
            for (uint32_t link : links->second) {
                LinkProjection p = ProjectOnLink(m_net, link, address.position);
                if (p.km <= kAddressReachKm && (best == kNone || p.km < nearest.km))
                    best = link, nearest = p;
            }
            if (best == kNone)
                continue;
            sides[{best, nearest.right}].push_back({{nearest.alongKm, address.number}, &address});
            ++m_net.addressesPlaced;
        }
        CityAreas cities = CityAreasOfAddresses(sides);
        std::vector<SideNumbers> numbers;
        for (const auto& [key, placed] : sides) {
            Link& link = m_net.links[key.first];
            std::map<std::string, int> votes;
            for (const Placed& p : placed) {
                if (!p.address->city.empty())
                    ++votes[CityText(p.address->city)];
            }
            const std::string* city = nullptr;
            int most = 0;
            for (const auto& [text, count] : votes) {  // byte order: the first wins a tie
                if (count > most)
                    city = &text, most = count;
            }
            uint32_t& area = key.second ? link.rightArea : link.leftArea;
            if (city) {
                area = cities.AreaFor(*city, m_net);
                // A side without addresses is in the city the other side's name,
                // unless a city's boundary says where it is: a nearby place's
                // name is only a guess (a village in a town's postal area).
                if (!sides.count({key.first, !key.second}) &&
                    BoundaryCityAt(LinkMiddle(key.first)) == kNone)
                    (key.second ? link.leftArea : link.rightArea) = area;
            }
            SideNumbers& side = numbers.emplace_back();
            side.street = StreetText(link.name);
            side.area = area;
            side.linkKm = m_net.LinkLengthKm(key.first);
            for (const Placed& p : placed)
                side.placed.push_back(p.where);
        }
        const std::vector<HouseRange> ranges = FitHouseRanges(numbers);
        size_t i = 0;
        for (const auto& [key, placed] : sides) {
            Link& link = m_net.links[key.first];
            (key.second ? link.right : link.left) = ranges[i++];
        }
    }

    static constexpr double kAddressReachKm = 0.3;

    static std::string StreetText(const StreetName& name) {
        return ToNameText(name.FullText(), formats::names::kMaxWrittenNameLength);
    }
    static std::string CityText(const std::string& city) {
        return ToNameText(city, formats::names::kMaxWrittenNameLength);
    }

    // The areas that the addresses' cities name: an area of that name text (a city
    // first), else a new city at the mean of the placed addresses naming it, whose
    // alternative is the city most of them lie in ("Krems" in "Krems an der Donau"),
    // so that the street is found under the name the map shows around it too.
    struct NewCity {
        std::string name;
        LatLon centre;
        uint32_t alternative = kNone;
    };
    struct CityAreas {
        std::map<std::string, uint32_t> areaOfText;
        std::map<std::string, NewCity> newCities;  // by name text
        const NetworkMaker* maker = nullptr;

        uint32_t AreaFor(const std::string& text, Network& net) {
            auto it = areaOfText.find(text);
            if (it != areaOfText.end())
                return it->second;
            const NewCity& made = newCities.at(text);
            Area area{AreaKind::City, made.name, "", maker->CountyAt(made.centre), made.centre, {}};
            area.alternative = made.alternative;
            const uint32_t city = net.AddArea(std::move(area));
            areaOfText[text] = city;
            return city;
        }
    };

    template <typename Sides>
    CityAreas CityAreasOfAddresses(const Sides& sides) const {
        CityAreas cities;
        cities.maker = this;
        for (uint32_t area = 0; area < m_net.areas.size(); ++area) {
            const std::string text = CityText(m_net.areas[area].name);
            auto it = cities.areaOfText.find(text);
            if (it == cities.areaOfText.end() || (m_net.areas[area].kind == AreaKind::City &&
                                                  m_net.areas[it->second].kind != AreaKind::City)) {
                cities.areaOfText[text] = area;
            }
        }
        std::map<std::string, std::pair<LatLon, size_t>> sums;
        std::map<std::string, std::map<uint32_t, size_t>> liesIn;  // text -> city -> addresses
        for (const auto& [key, placed] : sides) {
            for (const auto& p : placed) {
                const std::string& city = p.address->city;
                if (city.empty() || cities.areaOfText.count(CityText(city)))
                    continue;
                auto& [sum, count] = sums[CityText(city)];
                if (count == 0)
                    cities.newCities[CityText(city)].name = city;
                sum.lat += p.address->position.lat;
                sum.lon += p.address->position.lon;
                ++count;
                const uint32_t around = AreaAt(p.address->position);
                if (m_net.areas[around].kind == AreaKind::City)
                    ++liesIn[CityText(city)][around];
            }
        }
        for (auto& [text, sum] : sums) {
            NewCity& city = cities.newCities[text];
            city.centre = {sum.first.lat / static_cast<double>(sum.second),
                           sum.first.lon / static_cast<double>(sum.second)};
            size_t most = 0;
            for (const auto& [area, count] : liesIn[text]) {  // area order: the first wins a tie
                if (count > most)
                    city.alternative = area, most = count;
            }
        }
        return cities;
    }

    void MakeHouseRanges() {
        std::sort(m_in.interpolations.begin(), m_in.interpolations.end(),
                  [](const Interpolation& a, const Interpolation& b) { return a.id < b.id; });
        for (const Interpolation& in : m_in.interpolations) {
            auto first = m_in.addressNodes.find(in.refs.front());
            auto last = m_in.addressNodes.find(in.refs.back());
            if (first == m_in.addressNodes.end() || last == m_in.addressNodes.end())
                continue;
            if (first->second.first == 0 || last->second.first == 0)
                continue;
            std::string street =
                first->second.second.empty() ? last->second.second : first->second.second;
            // The link of that street nearest the interpolation's middle.
            LatLon mid = in.points[in.points.size() / 2];
            uint32_t best = kNone;
            double bestKm = 0.3;  // further than this the line belongs to no road here
            for (uint32_t link = 0; link < m_net.links.size(); ++link) {
                const Link& l = m_net.links[link];
                if (!street.empty() && l.name->FullText() != ParseStreetName(street).FullText())
                    continue;
                for (const LatLon& p : m_net.LinkPoints(link)) {
                    double km = DistanceKm(p, mid);
                    if (km < bestKm)
                        best = link, bestKm = km;
                }
            }
            if (best == kNone)
                continue;
            std::vector<LatLon> points = m_net.LinkPoints(best);
            auto along = [&](LatLon p) {
                size_t nearest = 0;
                double nearestKm = -1;
                for (size_t i = 0; i < points.size(); ++i) {
                    double km = DistanceKm(points[i], p);
                    if (nearestKm < 0 || km < nearestKm)
                        nearest = i, nearestKm = km;
                }
                return nearest;
            };
            size_t a = along(in.points.front()), b = along(in.points.back());
            uint32_t n0 = first->second.first, n1 = last->second.first;
            if (a > b)
                std::swap(n0, n1);
            // The side: where the middle lies of the segment nearest it.
            size_t seg = std::min(along(mid), points.size() - 2);
            LatLon p0 = points[seg], p1 = points[seg + 1];
            double cross =
                (p1.lon - p0.lon) * (mid.lat - p0.lat) - (p1.lat - p0.lat) * (mid.lon - p0.lon);
            const Parity parity = in.parity;
            HouseRange range{n0, n1, parity};
            Link& link = m_net.links[best];
            HouseRange& side = cross > 0 ? link.left : link.right;
            if (side.Empty()) {
                side = range;
            } else {
                // Several lines along one link: the range reaches over all of them.
                bool up = side.last >= side.first;
                uint32_t lo = std::min({side.first, side.last, n0, n1}),
                         hi = std::max({side.first, side.last, n0, n1});
                side.first = up ? lo : hi;
                side.last = up ? hi : lo;
                if (side.parity != parity)
                    side.parity = Parity::Mixed;
            }
        }
    }

    void MakeFeatures() {
        std::vector<std::pair<int64_t, size_t>> order = m_in.featureOrder;
        std::sort(order.begin(), order.end());
        for (const auto& [id, index] : order)
            m_net.features.push_back(std::move(m_in.features[index]));
        // The boundaries of districts and of the region as lines.
        for (const Boundary& b : m_in.boundaries) {
            if (b.adminLevel > 6)
                continue;
            std::vector<LatLon> ring = b.ring;
            ring.push_back(ring.front());
            FeatureKind kind =
                b.adminLevel <= 4 ? FeatureKind::StateBorder : FeatureKind::CountyBorder;
            m_net.features.push_back(
                {kind, static_cast<uint8_t>(b.adminLevel <= 4 ? 6 : 4), true, ring, b.name});
        }
    }

    void MakePois() {
        std::sort(m_in.pois.begin(), m_in.pois.end(),
                  [](const PoiData& a, const PoiData& b) { return a.id < b.id; });
        for (const PoiData& p : m_in.pois) {
            Poi poi;
            poi.category = p.kind.category;
            poi.subCategory = p.kind.sub;
            poi.name = p.name;
            poi.phone = p.phone;
            poi.houseNumber = p.houseNumber;
            poi.position = p.position;
            poi.city = AreaAt(p.position);
            m_net.pois.push_back(std::move(poi));
        }
        for (uint32_t area = 0; area < m_net.areas.size(); ++area) {
            const Area& a = m_net.areas[area];
            if (a.kind != AreaKind::City)
                continue;
            Poi poi;
            poi.category = PoiCategory::City;
            poi.subCategory = poi_sub::kCity;
            poi.name = a.name;
            poi.position = a.center;
            poi.city = area;
            m_net.pois.push_back(std::move(poi));
        }
    }

    void MakeRegion() {
        Bounds b;
        for (const Node& node : m_net.nodes)
            b.Add(node.position);
        Region region;
        region.number = m_state.region;
        region.name = m_state.name;
        region.area = m_stateArea;
        region.outline = {
            {b.minLat, b.minLon}, {b.minLat, b.maxLon}, {b.maxLat, b.maxLon}, {b.maxLat, b.minLon}};
        if (m_state.subAreaMask == 3) {
            // A region chosen by halves: north and south of the middle.
            double mid = (b.minLat + b.maxLat) / 2;
            region.subAreas.push_back(
                {"North",
                 {{mid, b.minLon}, {mid, b.maxLon}, {b.maxLat, b.maxLon}, {b.maxLat, b.minLon}}});
            region.subAreas.push_back(
                {"South",
                 {{b.minLat, b.minLon}, {b.minLat, b.maxLon}, {mid, b.maxLon}, {mid, b.minLon}}});
        }
        m_net.regions.push_back(region);
    }

    Collected& m_in;
    const BuiltInState& m_state;
    Network m_net;
    // The way nodes that are network nodes, sorted, and the node of each.
    std::vector<int64_t> m_junctionIds;
    std::vector<uint32_t> m_junctionNodes;
    // The links of each road way that a turn restriction names follow each other;
    // sorted by way id.
    struct WayLinks {
        int64_t id;
        uint32_t first;
        uint32_t count;
    };
    std::vector<WayLinks> m_wayLinks;
    uint32_t m_stateArea = kNone;
    std::vector<uint32_t> m_counties, m_boundaryCities;
    std::vector<std::pair<uint32_t, double>> m_placeCities;
};

}  // namespace

Network ReadOsm(const std::filesystem::path& file, const std::string& stateCode,
                const ProgressReport& progress) {
    const BuiltInState* state = FindBuiltInState(stateCode);
    if (!state)
        throw std::invalid_argument("\"" + stateCode +
                                    "\" is not a built-in state or province code");
    {
        std::ifstream probe(file, std::ios::binary);
        if (!probe)
            throw std::runtime_error("cannot open " + file.string());
    }
    Collected collected;
    std::error_code sizeError;
    const double fileBytes = static_cast<double>(std::filesystem::file_size(file, sizeError));
    const auto report = [&](const char* phase, size_t offset) {
        if (progress && fileBytes > 0)
            progress(phase, static_cast<double>(offset) / fileBytes);
    };
    try {
        const osmium::io::File input{file.string()};
        osmium::TagsFilter filter{false};
        for (const char* key : {"natural", "landuse", "leisure", "amenity", "aeroway", "water",
                                "waterway", "shop", "tourism"}) {
            filter.add_rule(true, osmium::TagMatcher{key});
        }
        filter.add_rule(true, osmium::TagMatcher{"boundary", "administrative"});
        osmium::area::Assembler::config_type config;
        osmium::area::MultipolygonManager<osmium::area::Assembler> areas{config, filter};
        {
            // One pass over the relations for the turn restrictions and the areas.
            osmium::io::Reader reader{input, osmium::osm_entity_bits::relation,
                                      osmium::io::read_meta::no};
            RestrictionHandler restrictions{collected};
            while (osmium::memory::Buffer buffer = reader.read()) {
                osmium::apply(buffer, restrictions, areas);
                report("reading relations", reader.offset());
            }
            reader.close();
            areas.prepare_for_lookup();
        }

        using Index =
            osmium::index::map::FlexMem<osmium::unsigned_object_id_type, osmium::Location>;
        Index index;
        osmium::handler::NodeLocationsForWays<Index> locations{index};
        locations.ignore_errors();
        DataHandler data{collected};
        osmium::io::Reader reader{input, osmium::io::read_meta::no};
        auto areaHandler = areas.handler(
            [&data](osmium::memory::Buffer&& buffer) { osmium::apply(buffer, data); });
        while (osmium::memory::Buffer buffer = reader.read()) {
            osmium::apply(buffer, locations, data, areaHandler);
            report("reading roads and places", reader.offset());
        }
        areaHandler.flush();
        reader.close();
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read " + file.string() + ": " + e.what());
    }
    ReturnFreedMemory();  // the reader's buffers and the location index
    if (progress)
        progress("making the network", 0);
    Network network = NetworkMaker(collected, *state).Make();
    collected = Collected{};
    ReturnFreedMemory();  // what was read, now in the network
    return network;
}

// ---- Writing OpenStreetMap XML --------------------------------------------------------

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                    out += ' ';
                else
                    out += c;
        }
    }
    return out;
}

const char* HighwayValue(const Link& link) {
    switch (link.roadClass) {
        case RoadClass::Freeway:
            return link.ramp ? "motorway_link" : "motorway";
        case RoadClass::Highway:
            return link.ramp ? "motorway_link" : "trunk";
        case RoadClass::Arterial:
            return link.ramp ? "trunk_link" : "primary";
        case RoadClass::Collector:
            // The device draws and routes collectors as arterials; the way's
            // maxspeed keeps its speed.
            return "primary";
        case RoadClass::Street:
            return "secondary";
        case RoadClass::Minor:
            return "residential";
    }
    return "road";
}

double Bearing(LatLon a, LatLon b) {
    double dx = (b.lon - a.lon) * std::cos(a.lat * kDegToRad), dy = b.lat - a.lat;
    return std::atan2(dx, dy) / kDegToRad;  // clockwise from north
}

// The kind of a forbidden turn, from the angle between the way in and the way out.
const char* TurnKind(const Network& network, const TurnRestriction& r) {
    auto pointsFrom = [&](uint32_t link, bool fromVia) {
        std::vector<LatLon> points = network.LinkPoints(link);
        if (network.links[link].to == r.viaNode &&
            !(network.links[link].from == r.viaNode && fromVia)) {
            std::reverse(points.begin(), points.end());
        }
        return points;  // starts at the via node
    };
    if (r.fromLink == r.toLink)
        return "no_u_turn";
    std::vector<LatLon> in = pointsFrom(r.fromLink, false), out = pointsFrom(r.toLink, true);
    double bearingIn = Bearing(in[1], in[0]);  // driving towards the node
    double bearingOut = Bearing(out[0], out[1]);
    double turn = std::fmod(bearingOut - bearingIn + 540.0, 360.0) - 180.0;
    if (turn > 150 || turn < -150)
        return "no_u_turn";
    if (turn > 30)
        return "no_right_turn";
    if (turn < -30)
        return "no_left_turn";
    return "no_straight_on";
}

}  // namespace

namespace {

using Tags = std::vector<std::pair<const char*, std::string>>;

struct Member {
    const char* type;  // "way" or "node"
    uint64_t ref;
    const char* role;
};

// Where the walk of the network goes: OpenStreetMap XML or PBF.
class OsmSink {
  public:
    virtual ~OsmSink() = default;
    virtual void Node(uint64_t id, LatLon at, const Tags& tags) = 0;
    virtual void Way(uint64_t id, const std::vector<uint64_t>& refs, const Tags& tags) = 0;
    virtual void Relation(uint64_t id, const std::vector<Member>& members, const Tags& tags) = 0;
    virtual void Close() = 0;
};

class XmlSink : public OsmSink {
  public:
    explicit XmlSink(const std::filesystem::path& file)
        : m_file(file), m_out(file, std::ios::binary | std::ios::trunc) {
        if (!m_out)
            throw std::runtime_error("cannot write " + file.string());
        m_out << "<?xml version='1.0' encoding='UTF-8'?>\n<osm version=\"0.6\" "
                 "generator=\"discmaker\">\n";
    }
    void Node(uint64_t id, LatLon at, const Tags& tags) override {
        char text[160];
        std::snprintf(text, sizeof text,
                      "  <node id=\"%llu\" version=\"1\" lat=\"%.7f\" lon=\"%.7f\"",
                      static_cast<unsigned long long>(id), at.lat, at.lon);
        m_out << text;
        if (tags.empty()) {
            m_out << "/>\n";
            return;
        }
        m_out << ">\n";
        WriteTags(tags);
        m_out << "  </node>\n";
    }
    void Way(uint64_t id, const std::vector<uint64_t>& refs, const Tags& tags) override {
        m_out << "  <way id=\"" << id << "\" version=\"1\">\n";
        for (uint64_t ref : refs)
            m_out << "    <nd ref=\"" << ref << "\"/>\n";
        WriteTags(tags);
        m_out << "  </way>\n";
    }
    void Relation(uint64_t id, const std::vector<Member>& members, const Tags& tags) override {
        m_out << "  <relation id=\"" << id << "\" version=\"1\">\n";
        for (const Member& m : members) {
            m_out << "    <member type=\"" << m.type << "\" ref=\"" << m.ref << "\" role=\""
                  << m.role << "\"/>\n";
        }
        WriteTags(tags);
        m_out << "  </relation>\n";
    }
    void Close() override {
        m_out << "</osm>\n";
        m_out.close();
        if (!m_out)
            throw std::runtime_error("cannot write " + m_file.string());
    }

  private:
    void WriteTags(const Tags& tags) {
        for (const auto& [key, value] : tags)
            m_out << "    <tag k=\"" << key << "\" v=\"" << Escape(value) << "\"/>\n";
    }

    std::filesystem::path m_file;
    std::ofstream m_out;
};

// PBF through libosmium's writer, a buffer of objects at a time.
class PbfSink : public OsmSink {
  public:
    explicit PbfSink(const std::filesystem::path& file) : m_file(file) {
        osmium::io::Header header;
        header.set("generator", "discmaker");
        try {
            m_writer = std::make_unique<osmium::io::Writer>(osmium::io::File{file.string(), "pbf"},
                                                            header, osmium::io::overwrite::allow);
        } catch (const std::exception& e) {
            throw std::runtime_error("cannot write " + file.string() + ": " + e.what());
        }
    }
    void Node(uint64_t id, LatLon at, const Tags& tags) override {
        Object<osmium::builder::NodeBuilder>(id, tags, [&](auto& node) {
            node.set_location(osmium::Location{at.lon, at.lat});
        });
    }
    void Way(uint64_t id, const std::vector<uint64_t>& refs, const Tags& tags) override {
        Object<osmium::builder::WayBuilder>(id, tags, [&](auto& way) {
            osmium::builder::WayNodeListBuilder nodes{way};
            for (uint64_t ref : refs)
                nodes.add_node_ref(static_cast<osmium::object_id_type>(ref));
        });
    }
    void Relation(uint64_t id, const std::vector<Member>& members, const Tags& tags) override {
        Object<osmium::builder::RelationBuilder>(id, tags, [&](auto& relation) {
            osmium::builder::RelationMemberListBuilder list{relation};
            for (const Member& m : members) {
                list.add_member(
                    std::string(m.type) == "way" ? osmium::item_type::way : osmium::item_type::node,
                    static_cast<osmium::object_id_type>(m.ref), m.role);
            }
        });
    }
    void Close() override {
        try {
            (*m_writer)(std::move(m_buffer));
            m_writer->close();
        } catch (const std::exception& e) {
            throw std::runtime_error("cannot write " + m_file.string() + ": " + e.what());
        }
    }

  private:
    // One object: its id and version, what `fill` adds, its tags.
    template <typename Builder, typename Fill>
    void Object(uint64_t id, const Tags& tags, Fill fill) {
        {
            Builder object{m_buffer};
            object.set_id(static_cast<osmium::object_id_type>(id)).set_version(1);
            fill(object);
            osmium::builder::TagListBuilder builder{object};
            for (const auto& [key, value] : tags)
                builder.add_tag(key, value);
        }
        Commit();
    }
    void Commit() {
        m_buffer.commit();
        if (m_buffer.committed() < kFlushBytes)
            return;
        try {
            (*m_writer)(std::move(m_buffer));
        } catch (const std::exception& e) {
            throw std::runtime_error("cannot write " + m_file.string() + ": " + e.what());
        }
        m_buffer = osmium::memory::Buffer{kBufferBytes, osmium::memory::Buffer::auto_grow::yes};
    }

    static constexpr size_t kBufferBytes = 1u << 20;
    static constexpr size_t kFlushBytes = kBufferBytes * 3 / 4;
    std::filesystem::path m_file;
    std::unique_ptr<osmium::io::Writer> m_writer;
    osmium::memory::Buffer m_buffer{kBufferBytes, osmium::memory::Buffer::auto_grow::yes};
};

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void WriteOsm(const Network& network, const std::filesystem::path& file) {
    std::unique_ptr<OsmSink> sink;
    if (EndsWith(file.filename().string(), ".osm.pbf"))
        sink = std::make_unique<PbfSink>(file);
    else
        sink = std::make_unique<XmlSink>(file);
    auto tag = [](Tags& tags, const char* key, const std::string& value) {
        if (!value.empty())
            tags.emplace_back(key, value);
    };
    // Network nodes are 1..N; shape points follow, link by link.
    for (size_t i = 0; i < network.nodes.size(); ++i)
        sink->Node(i + 1, network.nodes[i].position, {});
    uint64_t nextId = network.nodes.size() + 1;
    std::vector<uint64_t> firstShapeId(network.links.size());
    for (size_t l = 0; l < network.links.size(); ++l) {
        firstShapeId[l] = nextId;
        for (const LatLon& p : network.links[l].shape)
            sink->Node(nextId++, p, {});
    }
    // Places, after the road nodes.
    for (const Area& area : network.areas) {
        if (area.kind != AreaKind::City)
            continue;
        Tags tags;
        tag(tags, "place", "town");
        tag(tags, "name", area.name);
        sink->Node(nextId++, area.center, tags);
    }
    std::vector<uint64_t> refs;
    for (size_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        refs.clear();
        refs.push_back(link.from + 1);
        for (size_t k = 0; k < link.shape.size(); ++k)
            refs.push_back(firstShapeId[l] + k);
        refs.push_back(link.to + 1);
        Tags tags;
        tag(tags, "highway", HighwayValue(link));
        if (link.direction == Direction::Forward)
            tag(tags, "oneway", "yes");
        if (link.direction == Direction::Backward)
            tag(tags, "oneway", "-1");
        if (link.direction == Direction::Both && link.roadClass == RoadClass::Freeway)
            tag(tags, "oneway", "no");
        if (link.roundabout)
            tag(tags, "junction", "roundabout");
        tag(tags, "name", link.name->FullText());
        tag(tags, "ref", link.signs->highwayNumber);
        tag(tags, "maxspeed", std::to_string(link.Speed()));
        if (link.toll)
            tag(tags, "toll", "yes");
        tag(tags, "destination", link.signs->exitSign);
        sink->Way(l + 1, refs, tags);
    }
    for (size_t i = 0; i < network.restrictions.size(); ++i) {
        const TurnRestriction& r = network.restrictions[i];
        Tags tags;
        tag(tags, "type", "restriction");
        tag(tags, "restriction", TurnKind(network, r));
        sink->Relation(i + 1,
                       {{"way", r.fromLink + 1ull, "from"},
                        {"node", r.viaNode + 1ull, "via"},
                        {"way", r.toLink + 1ull, "to"}},
                       tags);
    }
    sink->Close();
}

}  // namespace discmaker
