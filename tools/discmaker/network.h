// The road network the disc builder writes: plain records that the front ends
// (the built-in town, OpenStreetMap) fill and every family writer reads.
//
// Records refer to each other by index into the Network's vectors. Everything a
// writer needs is here in source terms (degrees, strings, km/h); the writers turn
// it into the disc's numbering. Iteration order is always vector order, so the
// same network gives the same bytes.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace discmaker {

// A text kept once however many records hold it: equal texts share one stored
// string, so a link carries a pointer, not a copy (a network of millions of links
// has a few thousand distinct names). Reads as a const std::string&.
class Text {
  public:
    Text() = default;
    Text(std::string_view text);  // NOLINT: a text is given as a string
    Text(const std::string& text) : Text(std::string_view(text)) {}
    Text(const char* text) : Text(std::string_view(text)) {}

    const std::string& str() const { return m_text ? *m_text : Empty(); }
    operator const std::string&() const { return str(); }
    operator std::string_view() const { return str(); }
    const char* c_str() const { return str().c_str(); }
    bool empty() const { return m_text == nullptr; }
    size_t size() const { return str().size(); }
    std::string substr(size_t at, size_t count = std::string::npos) const {
        return str().substr(at, count);
    }

    // Equal texts are the same stored string.
    bool operator==(const Text& other) const { return m_text == other.m_text; }
    bool operator==(const std::string& other) const { return str() == other; }
    bool operator==(std::string_view other) const { return str() == other; }
    bool operator==(const char* other) const { return str() == other; }
    std::strong_ordering operator<=>(const Text& other) const {
        return str().compare(other.str()) <=> 0;
    }
    // Equal texts have equal identities: a hash of the text at no cost.
    const void* Identity() const { return m_text; }

  private:
    static const std::string& Empty();
    const std::string* m_text = nullptr;  // null for the empty text
};

inline std::string operator+(const std::string& a, const Text& b) {
    return a + b.str();
}
inline std::string operator+(const Text& a, const std::string& b) {
    return a.str() + b;
}
inline std::string operator+(const Text& a, const char* b) {
    return a.str() + b;
}
inline std::string operator+(const char* a, const Text& b) {
    return a + b.str();
}
std::ostream& operator<<(std::ostream& out, const Text& text);

// A record kept once however many links hold it, as Text keeps a string: a link
// carries a pointer to the one stored copy. T gives its hash as T::Hash; equal
// values are the same stored record. Reads as a const T&.
template <typename T>
class Interned {
  public:
    Interned() = default;
    Interned(const T& value) {  // NOLINT: a value is given as itself
        if (value == T{})
            return;
        // Node-based: a stored record never moves. Kept for the program's life.
        static std::mutex mutex;
        static std::unordered_set<T, typename T::Hash> values;
        std::lock_guard<std::mutex> lock(mutex);
        m_value = &*values.insert(value).first;
    }

    const T& operator*() const { return m_value ? *m_value : Empty(); }
    const T* operator->() const { return &**this; }
    operator const T&() const { return **this; }  // NOLINT: reads as the value
    bool operator==(const Interned& other) const { return m_value == other.m_value; }

  private:
    static const T& Empty() {
        static const T empty{};
        return empty;
    }
    const T* m_value = nullptr;  // null for the empty value
};

// Combines the identities of interned texts into one hash.
inline size_t HashTexts(std::initializer_list<const Text*> texts) {
    size_t hash = 0;
    for (const Text* text : texts)
        hash = hash * 31 + std::hash<const void*>{}(text->Identity());
    return hash;
}

// "No record" for every index field.
inline constexpr uint32_t kNone = std::numeric_limits<uint32_t>::max();

struct LatLon {
    double lat = 0;  // degrees, south negative
    double lon = 0;  // degrees, west negative
    bool operator==(const LatLon&) const = default;
};

// Road classes, most important first. Classes 0 to 3 are the major classes of the
// overview network, 4 and 5 the detailed network. The chunk attribute word's class
// value is DeviceClassValue (mapdata_writer.h), not this number.
enum class RoadClass : uint8_t {
    Freeway = 0,    // limited access, with ramps
    Highway = 1,    // major highway, numbered route
    Arterial = 2,   // principal through road
    Collector = 3,  // secondary road linking streets to arterials
    Street = 4,     // local street
    Minor = 5,      // service road, lane, parking aisle
};
inline constexpr int kRoadClassCount = 6;
const char* RoadClassName(RoadClass roadClass);  // "freeway", "highway", ...
bool IsMajorClass(RoadClass roadClass);          // in the overview network
// Typical speed of a class in km/h, used when a source gives none.
int DefaultSpeedKmh(RoadClass roadClass);

enum class Direction : uint8_t {
    Both = 0,
    Forward = 1,   // drivable from the from-node to the to-node only
    Backward = 2,  // drivable from the to-node to the from-node only
};

// Which numbers a side of a link carries.
enum class Parity : uint8_t {
    None = 0,  // no house numbers on this side
    Even = 1,
    Odd = 2,
    Mixed = 3,  // every number
};

struct HouseRange {
    uint32_t first = 0;  // number at the from-node end
    uint32_t last = 0;   // number at the to-node end (may be below first)
    Parity parity = Parity::None;
    bool Empty() const { return parity == Parity::None; }
    bool operator==(const HouseRange&) const = default;
};

// A street name in parts, as the name files store it: "N Main St",
// "Rue de la Paix", "Calle Mayor". Empty strings are absent parts.
struct StreetName {
    Text directionPrefix;  // "N", "SW"
    Text prefixType;       // "Avenue" in "Avenue of the Stars", "Rue", "Calle"
    Text base;             // "Main", "de la Paix"
    Text suffixType;       // "St", "Ave", "Blvd"
    Text directionSuffix;  // "N" in "Main St N"
    bool Empty() const { return base.empty() && prefixType.empty() && suffixType.empty(); }
    std::string FullText() const;  // the parts joined by single spaces
    bool operator==(const StreetName&) const = default;
    auto operator<=>(const StreetName&) const = default;
    struct Hash {
        size_t operator()(const StreetName& n) const {
            return HashTexts(
                {&n.directionPrefix, &n.prefixType, &n.base, &n.suffixType, &n.directionSuffix});
        }
    };
};

// What a link's signs say beside its name.
struct LinkSigns {
    // Highway number as signed ("I-5", "US 101", "CG-2"), and the text of its sign
    // shield when that differs ("5"); empty when the road has none.
    Text highwayNumber;
    Text signText;
    // Exit signs of a ramp: its exit label ("12A") and the text of its destination
    // sign ("I-5 N/MAIN ST"); empty on every other link.
    Text exitNumber;
    Text exitSign;
    bool operator==(const LinkSigns&) const = default;
    struct Hash {
        size_t operator()(const LinkSigns& s) const {
            return HashTexts({&s.highwayNumber, &s.signText, &s.exitNumber, &s.exitSign});
        }
    };
};

struct Node {
    LatLon position;
    int64_t sourceId = 0;  // the OpenStreetMap node id, or 0
};

// Millions of these are held at once: the texts are interned and the small
// fields packed at the end.
struct Link {
    uint32_t from = kNone;  // node index
    uint32_t to = kNone;    // node index
    // Intermediate shape points, from-node to to-node, ends excluded.
    std::vector<LatLon> shape;
    Interned<StreetName> name;  // may be empty
    Interned<LinkSigns> signs;
    HouseRange left;   // left side when driving from the from-node
    HouseRange right;  // right side
    // The city (or county, where no city) on each side: an index into areas.
    uint32_t leftArea = kNone;
    uint32_t rightArea = kNone;
    int64_t sourceId = 0;  // the OpenStreetMap way id, or 0
    RoadClass roadClass = RoadClass::Street;
    Direction direction = Direction::Both;
    bool roundabout = false;
    bool ramp = false;  // a freeway or highway ramp
    bool toll = false;
    uint16_t speedKmh = 0;  // 0: the class's default speed

    int Speed() const { return speedKmh > 0 ? speedKmh : DefaultSpeedKmh(roadClass); }
};

// A forbidden turn: from one link through a node, both ends of which it touches,
// onto another link.
struct TurnRestriction {
    uint32_t fromLink = kNone;
    uint32_t viaNode = kNone;
    uint32_t toLink = kNone;
    bool operator==(const TurnRestriction&) const = default;
};

enum class AreaKind : uint8_t {
    State = 0,  // a state or province
    County = 1,
    City = 2,
};

struct Area {
    AreaKind kind = AreaKind::City;
    std::string name;             // "Cedar Falls", "Orange County", "California"
    std::string code;             // states: the built-in two-letter code ("CA", "ON");
                                  // counties and cities: their own short code, may be empty
    uint32_t parent = kNone;      // the county or state it lies in
    LatLon center;                // for cities, the place to drive to
    std::vector<LatLon> outline;  // closed ring, may be empty
    // Another city its streets are also found under: a postal city's municipality
    // ("Krems" lies in "Krems an der Donau"). Written as the sides' alternative place.
    uint32_t alternative = kNone;
};

// Area and line features under the roads. The polygon file's kind of each, which
// sets its colour and the scales it is drawn at, is `PolygonKind` (polygon_writer.h).
enum class FeatureKind : uint8_t {
    Shore = 0,  // open line along a coast
    Ocean = 1,  // sea, drawn at every scale
    Lake = 2,   // inland water area
    Park = 3,   // park, green area
    Urban = 4,  // built-up area, drawn only when close in
    River = 5,  // river as area, or as line when open
    Golf = 6,   // golf course
    Cemetery = 7,
    Airport = 8,
    StateBorder = 10,   // open line, dashed
    CountyBorder = 11,  // open line, dashed
    Railway = 12,       // open line, drawn white and dashed
    Campus = 13,        // university, school grounds
    Hospital = 14,      // hospital grounds
    Building = 15,      // drawn only at the closest zoom steps
    Forest = 18,
    Industrial = 19,
};
const char* FeatureKindName(FeatureKind kind);

struct PolygonFeature {
    FeatureKind kind = FeatureKind::Park;
    uint8_t level = 0;      // detail level 0-15: higher stays visible further out
    bool openLine = false;  // a line (river, shore, border) rather than an area
    // One ring (area: closed, first point not repeated at the end) or one line.
    std::vector<LatLon> points;
    std::string name;  // may be empty
};

// Point-of-interest categories as the point-of-interest file numbers them.
enum class PoiCategory : uint8_t {
    Business = 0,   // Business/Shopping
    Education = 1,  // Education/Govt
    Emergency = 2,
    Attraction = 3,
    Lodging = 4,
    Recreation = 5,
    Restaurant = 6,
    Transportation = 7,
    City = 8,  // city centres, for the search by city name
};
inline constexpr int kPoiCategoryCount = 9;
const char* PoiCategoryName(PoiCategory category);

// Sub-categories within each category, as the search screens offer them.
namespace poi_sub {
// Business
inline constexpr uint8_t kAtm = 0, kBank = 1, kGrocery = 2, kShopping = 3, kBusinessFacility = 4;
// Education
inline constexpr uint8_t kCityHall = 0, kHigherEducation = 1, kSchool = 2, kLibrary = 3;
// Emergency
inline constexpr uint8_t kHospital = 0, kPolice = 1;
// Attraction
inline constexpr uint8_t kAmusementPark = 0, kCasino = 1, kConventionCenter = 2, kMuseum = 3,
                         kPerformingArts = 4, kStadium = 5, kTouristAttraction = 7,
                         kTouristInformation = 8, kWinery = 9;
// Lodging has only sub-category 0.
inline constexpr uint8_t kLodging = 0;
// Recreation
inline constexpr uint8_t kGolfCourse = 0, kMarina = 1, kPark = 2, kSkiResort = 3;
// Restaurant: the food type code of the search screens' food type list (1
// American, 3 Chinese, 5 French, 6 German, 9 Italian, 11 Mexican, 12 Other, 17
// Unknown, 27 Fast Food, ...). 0 is no code of that list.
inline constexpr uint8_t kRestaurantAny = 0;
inline constexpr uint8_t kFoodOther = 12;
inline constexpr uint8_t kFoodUnknown = 17;
// Transportation
inline constexpr uint8_t kGasStation = 0, kAirport = 1, kParking = 2, kBusStation = 3,
                         kFerryTerminal = 4, kCarRental = 5, kTrainStation = 6, kAutoService = 7;
// City: 0.
inline constexpr uint8_t kCity = 0;
}  // namespace poi_sub

struct Poi {
    PoiCategory category = PoiCategory::Business;
    uint8_t subCategory = 0;   // 0-63
    std::string name;          // at most 35 bytes
    std::string phone;         // digits and dashes, at most 10 characters; may be empty
    uint32_t houseNumber = 0;  // 0: no address
    LatLon position;
    uint32_t link = kNone;   // the nearest link (set by AssignPoiLinks)
    bool rightSide = false;  // which side of that link the point lies on
    uint32_t city = kNone;   // the area (city, else county) it lies in
};

// A region of the installer's region page. Its list entry is the state area
// `area`; everything whose areas lead up to that state belongs to it.
struct SubArea {
    std::string name;             // "North", "South"
    std::vector<LatLon> outline;  // closed ring that decides which cells it covers
};

struct Region {
    uint16_t number = 0;            // 0-63; 51-63 are provinces, 11 is the prebuilt region
    std::string name;               // as the region page shows it
    uint32_t area = kNone;          // its state or province area
    std::vector<SubArea> subAreas;  // none, or two (a region chosen by halves)
    std::vector<LatLon> outline;    // for the region picture: closed ring
    // False for the region that cannot be combined with others: its files are
    // prepared in advance and copied whole.
    bool combinable = true;
};

struct Network {
    std::vector<Node> nodes;
    std::vector<Link> links;
    std::vector<TurnRestriction> restrictions;
    std::vector<Area> areas;
    std::vector<PolygonFeature> features;
    std::vector<Poi> pois;
    std::vector<Region> regions;
    // Single addresses the front end read (a number and a street) and those it
    // placed in a link's house range.
    size_t addressesRead = 0;
    size_t addressesPlaced = 0;
    // What checking the network mended that the user should hear of, one line each.
    std::vector<std::string> warnings;

    uint32_t AddNode(LatLon position, int64_t sourceId = 0);
    uint32_t AddLink(Link link);  // returns its index
    uint32_t AddArea(Area area);

    // The state (or province) an area lies in, following parents; kNone when none.
    uint32_t StateOf(uint32_t area) const;
    // The region whose state is that of the area; kNone when none.
    uint32_t RegionOf(uint32_t area) const;
    // The region of a link: that of its left area, else its right area.
    uint32_t RegionOfLink(uint32_t link) const;
    // The area's alternative (Area::alternative); kNone for none or no such area.
    uint32_t AlternativeOf(uint32_t area) const {
        return area < areas.size() ? areas[area].alternative : kNone;
    }

    // Length of a link along its shape in km.
    double LinkLengthKm(uint32_t link) const;
    // The link's points: from-node, shape, to-node.
    std::vector<LatLon> LinkPoints(uint32_t link) const;
    // A point of the nodes' extent, as fractions east and north of its south-west
    // corner.
    LatLon ExtentPoint(double east, double north) const;
};

// Bounding box of everything with a position.
struct Bounds {
    double minLat = 0, minLon = 0, maxLat = 0, maxLon = 0;
    bool empty = true;
    void Add(LatLon p);
};
Bounds NetworkBounds(const Network& network);

// Great-circle distance in km on the map database's sphere.
double DistanceKm(LatLon a, LatLon b);

inline constexpr uint32_t kMaxLinkEndsAtNode = 15;
inline constexpr uint32_t kMaxRestrictionsAtNode = 15;

// Checks the network's references and limits and mends what can be mended:
// links with more shape points than a chunk record can hold are split (restrictions
// that name a split link follow the piece at their node), and restrictions beyond
// kMaxRestrictionsAtNode at one node are dropped. At a node where more than
// kMaxLinkEndsAtNode link ends meet, the least important links (lowest class, then
// shortest) are dropped with a warning naming the node. Throws std::runtime_error
// for an unusable network (a reference out of range, a link without ends or length).
void ValidateNetwork(Network& network);

// Splits every link that is longer than maxKm, or whose shape holds more than
// maxShapePoints points, into pieces joined by new nodes; house ranges are divided
// in proportion. Turn restrictions are moved to the pieces at their nodes.
void SplitLinks(Network& network, double maxKm, size_t maxShapePoints);

// Replaces a link by pieces cut at points of its polyline: `points` is the whole
// polyline (from-node first, to-node last; it may hold points the link's shape did
// not, such as grid crossings) and `cuts` the indices, strictly inside and
// ascending, where new nodes go. The first piece keeps the link's index; the others
// are appended. House ranges are divided by length; turn restrictions at the
// to-node move to the last piece. Returns the pieces in order.
std::vector<uint32_t> CutLink(Network& network, uint32_t link, const std::vector<LatLon>& points,
                              const std::vector<size_t>& cuts);

// Hands memory freed after a phase back to the system, so that the next phase's
// peak does not sit on top of this one's.
void ReturnFreedMemory();

// Sets every point of interest's nearest link and side.
void AssignPoiLinks(Network& network);

// Where a point lies beside a link, in a flat frame around the point: its
// distance to the nearest point of the link, how far along the link (from the
// from-node) that nearest point is, and the side of the segment it is nearest.
struct LinkProjection {
    double km = 0;
    double alongKm = 0;
    bool right = false;
};
LinkProjection ProjectOnLink(const Network& network, uint32_t link, LatLon point);

// A small network for tests: a columns x rows grid of nodes `spacingKm` apart
// around (lat, lon), joined by named two-way streets with house ranges; the middle
// row is an arterial and the first column a highway; one state, South Dakota
// ("SD", region 41), with one county and one city, one park, one lake, and one
// point of interest in every category. Points of interest have their links.
Network MakeTestGrid(int columns, int rows, LatLon southWest = {45.0, -100.0},
                     double spacingKm = 0.2);

}  // namespace discmaker

// Requests from the other writers (write "// REQUEST(<helper>): ..." below).
// Done: the exit number and exit sign in Link::signs (dm-names); the chunk limits (dm-map):
// ValidateNetwork cuts links beyond 1,023 shape points, keeps 15 restrictions per
// node and refuses more than 15 link ends at a node; FitLinksToGrid (disc_layout.h)
// leaves every link in one detailed cell or two that share a side, with no node on
// a cell border; the road class comment names DeviceClassValue.
// dm-links: the cell word of a link-information record comes from
// LinkCellWords(network, layout) in tools/discmaker/mapdata_writer.h.
