#include "tools/discmaker/town.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

namespace discmaker {

namespace {

// A small generator of our own: the standard distributions may differ between
// libraries, and the town must be the same everywhere for the same seed.
class Random {
  public:
    explicit Random(uint64_t seed) : m_state(seed ^ 0x6A09E667F3BCC909ull) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // In [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    double Between(double lo, double hi) { return lo + (hi - lo) * Unit(); }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }

  private:
    uint64_t m_state;
};

std::string Ordinal(int n) {
    int tens = n % 100;
    const char* suffix = "th";
    if (tens < 11 || tens > 13) {
        if (n % 10 == 1)
            suffix = "st";
        if (n % 10 == 2)
            suffix = "nd";
        if (n % 10 == 3)
            suffix = "rd";
    }
    return std::to_string(n) + suffix;
}

const char* const kRowNames[] = {
    "Oak",      "Pine",      "Maple",    "Cedar",   "Elm",     "Birch",    "Aspen",    "Willow",
    "Spruce",   "Walnut",    "Chestnut", "Hickory", "Juniper", "Laurel",   "Magnolia", "Poplar",
    "Sequoia",  "Redwood",   "Alder",    "Cypress", "Hemlock", "Sycamore", "Locust",   "Mulberry",
    "Hawthorn", "Linden",    "Dogwood",  "Holly",   "Acacia",  "Olive",    "Palmer",   "Franklin",
    "Lincoln",  "Jefferson", "Madison",  "Monroe",  "Jackson", "Grant",    "Lee",      "Hayes",
};
constexpr int kRowNameCount = sizeof(kRowNames) / sizeof(kRowNames[0]);
const char* const kStreetTypes[] = {"St", "Ave", "Dr", "Ln", "Way", "Rd", "Pl", "Ct", "Ter"};
const char* const kAdjectives[] = {"Golden", "Silver",   "Pine",  "Blue",    "Eagle",   "Summit",
                                   "Valley", "Lakeside", "Cedar", "Granite", "Sunrise", "Alpine"};

struct PoiKind {
    PoiCategory category;
    uint8_t sub;
    const char* word;
};
const PoiKind kPoiKinds[] = {
    {PoiCategory::Business, poi_sub::kAtm, "ATM"},
    {PoiCategory::Business, poi_sub::kBank, "Bank"},
    {PoiCategory::Business, poi_sub::kGrocery, "Market"},
    {PoiCategory::Business, poi_sub::kShopping, "Mall"},
    {PoiCategory::Business, poi_sub::kBusinessFacility, "Office Park"},
    {PoiCategory::Education, poi_sub::kCityHall, "City Hall"},
    {PoiCategory::Education, poi_sub::kHigherEducation, "College"},
    {PoiCategory::Education, poi_sub::kSchool, "School"},
    {PoiCategory::Education, poi_sub::kLibrary, "Library"},
    {PoiCategory::Emergency, poi_sub::kHospital, "Hospital"},
    {PoiCategory::Emergency, poi_sub::kPolice, "Police"},
    {PoiCategory::Attraction, poi_sub::kAmusementPark, "Fun Park"},
    {PoiCategory::Attraction, poi_sub::kCasino, "Casino"},
    {PoiCategory::Attraction, poi_sub::kConventionCenter, "Convention Ctr"},
    {PoiCategory::Attraction, poi_sub::kMuseum, "Museum"},
    {PoiCategory::Attraction, poi_sub::kPerformingArts, "Theater"},
    {PoiCategory::Attraction, poi_sub::kStadium, "Arena"},
    {PoiCategory::Attraction, poi_sub::kTouristAttraction, "Lookout"},
    {PoiCategory::Attraction, poi_sub::kTouristInformation, "Visitor Info"},
    {PoiCategory::Attraction, poi_sub::kWinery, "Winery"},
    {PoiCategory::Lodging, poi_sub::kLodging, "Inn"},
    {PoiCategory::Recreation, poi_sub::kGolfCourse, "Golf Club"},
    {PoiCategory::Recreation, poi_sub::kMarina, "Marina"},
    {PoiCategory::Recreation, poi_sub::kPark, "Park"},
    {PoiCategory::Recreation, poi_sub::kSkiResort, "Ski Area"},
    // Restaurants by food type: American, Chinese, French, Italian, Japanese,
    // Mexican, Seafood, Thai, Fast Food, Steak House.
    {PoiCategory::Restaurant, 1, "Diner"},
    {PoiCategory::Restaurant, 3, "Wok"},
    {PoiCategory::Restaurant, 5, "Bistro"},
    {PoiCategory::Restaurant, 9, "Trattoria"},
    {PoiCategory::Restaurant, 10, "Sushi"},
    {PoiCategory::Restaurant, 11, "Cantina"},
    {PoiCategory::Restaurant, 13, "Fish House"},
    {PoiCategory::Restaurant, 14, "Thai Kitchen"},
    {PoiCategory::Restaurant, 27, "Burgers"},
    {PoiCategory::Restaurant, 48, "Steak House"},
    {PoiCategory::Transportation, poi_sub::kGasStation, "Fuel"},
    {PoiCategory::Transportation, poi_sub::kAirport, "Airport"},
    {PoiCategory::Transportation, poi_sub::kParking, "Parking"},
    {PoiCategory::Transportation, poi_sub::kBusStation, "Bus Depot"},
    {PoiCategory::Transportation, poi_sub::kFerryTerminal, "Ferry Landing"},
    {PoiCategory::Transportation, poi_sub::kCarRental, "Car Rental"},
    {PoiCategory::Transportation, poi_sub::kTrainStation, "Station"},
    {PoiCategory::Transportation, poi_sub::kAutoService, "Auto Repair"},
};

// Side of a roundabout a road arrives at.
enum Side { kWest, kEast, kSouth, kNorth };

class TownBuilder {
  public:
    TownBuilder(uint64_t seed, int size) : m_random(seed) {
        // Grid links are about 2 G^2; service roads, the freeway and the island add
        // about a sixth more.
        m_g = std::max(7, static_cast<int>(std::lround(std::sqrt(size / 2.35))));
        m_lat0 = 39.10 + m_random.Between(0, 0.05);
        m_lon0 = -120.30 + m_random.Between(0, 0.05);
        m_main = m_g / 2;
        m_highway = 1;
        // Past a million links the state line moves to just east of Main St: each
        // state's link information is one block, which may hold at most 64 MiB.
        m_stateLine = size > 1000000 ? m_main + 1 : std::max(4, (2 * m_g) / 3);
        m_countyLine = std::max(1, m_g / 3);
        m_nvCityLine = std::max(1, m_g / 4);
        m_river = m_g - 3;
        m_ringColumn = 3;
        m_ringRow = 2;
    }

    Network Build() {
        MakeAreas();
        MakeGrid();
        MakeFreeway();
        MakeServiceRoads();
        MakeRestrictions();
        MakeIsland();
        MakeFeatures();
        MakePois();
        MakeRegions();
        AssignPoiLinks(m_net);
        ValidateNetwork(m_net);
        return std::move(m_net);
    }

  private:
    static constexpr double kDLat = 0.0015;
    static constexpr double kDLon = 0.0019;

    // A grid position (fractions allowed), with a little jitter for real nodes.
    LatLon At(double c, double r) const { return {m_lat0 + r * kDLat, m_lon0 + c * kDLon}; }
    LatLon Jittered(double c, double r) {
        LatLon p = At(c, r);
        p.lat += m_random.Between(-0.00006, 0.00006);
        p.lon += m_random.Between(-0.00007, 0.00007);
        return p;
    }

    double StateLineLon() const { return At(m_stateLine - 0.5, 0).lon; }
    double CountyLineLat() const { return At(0, m_countyLine - 0.5).lat; }
    double NvCityLineLat() const { return At(0, m_nvCityLine - 0.5).lat; }

    // The city (else county) at a position of the mainland.
    uint32_t AreaAt(LatLon p) const {
        if (p.lon < StateLineLon())
            return p.lat >= CountyLineLat() ? m_cedarFalls : m_riverton;
        return p.lat >= NvCityLineLat() ? m_silverSprings : m_silverCounty;
    }

    void SetSides(Link& link, LatLon a, LatLon b) {
        // Points a few metres either side of the middle of the first to last point.
        LatLon mid{(a.lat + b.lat) / 2, (a.lon + b.lon) / 2};
        double dx = (b.lon - a.lon) * std::cos(mid.lat * 3.14159265358979 / 180),
               dy = b.lat - a.lat;
        double len = std::hypot(dx, dy);
        if (len == 0)
            len = 1;
        double off = 0.0001;
        LatLon left{mid.lat + dx / len * off, mid.lon - dy / len * off};
        LatLon right{mid.lat - dx / len * off, mid.lon + dy / len * off};
        link.leftArea = AreaAt(left);
        link.rightArea = AreaAt(right);
    }

    void MakeAreas() {
        m_ca = m_net.AddArea({AreaKind::State, "California", "CA", kNone, At(0, 0), {}});
        m_nv = m_net.AddArea({AreaKind::State, "Nevada", "NV", kNone, At(m_g - 1, 0), {}});
        m_pineCounty =
            m_net.AddArea({AreaKind::County, "Pine County", "PNC", m_ca, At(1, m_g - 1), {}});
        m_cedarCounty =
            m_net.AddArea({AreaKind::County, "Cedar County", "CDC", m_ca, At(1, 0), {}});
        m_silverCounty =
            m_net.AddArea({AreaKind::County, "Silver County", "SVC", m_nv, At(m_g - 1, 0), {}});
        // City centres at crossings, where a driver can be sent.
        m_cedarFalls = m_net.AddArea({AreaKind::City,
                                      "Cedar Falls",
                                      "",
                                      m_pineCounty,
                                      At((m_stateLine - 1) / 2, (m_countyLine + m_g - 1) / 2),
                                      {}});
        m_riverton = m_net.AddArea({AreaKind::City,
                                    "Riverton",
                                    "",
                                    m_cedarCounty,
                                    At((m_stateLine - 1) / 2, (m_countyLine - 1) / 2),
                                    {}});
        m_silverSprings =
            m_net.AddArea({AreaKind::City,
                           "Silver Springs",
                           "",
                           m_silverCounty,
                           At((m_stateLine + m_g - 1) / 2, (m_nvCityLine + m_g - 1) / 2),
                           {}});
        auto box = [&](double c0, double r0, double c1, double r1) {
            return std::vector<LatLon>{At(c0, r0), At(c1, r0), At(c1, r1), At(c0, r1)};
        };
        m_net.areas[m_cedarFalls].outline =
            box(-0.5, m_countyLine - 0.5, m_stateLine - 0.5, m_g - 0.5);
        m_net.areas[m_riverton].outline = box(-0.5, -0.5, m_stateLine - 0.5, m_countyLine - 0.5);
        m_net.areas[m_silverSprings].outline =
            box(m_stateLine - 0.5, m_nvCityLine - 0.5, m_g - 0.5, m_g - 0.5);
    }

    bool IsRing(int c, int r) const { return c == m_ringColumn && r == m_ringRow; }

    uint32_t NodeAt(int c, int r, Side side) const {
        if (IsRing(c, r))
            return m_ringNodes[side];
        return m_grid.at({c, r});
    }

    RoadClass RowClass(int r) const {
        if (r == m_main || r % 5 == 2)
            return RoadClass::Arterial;
        if (r % 5 == 4)
            return RoadClass::Collector;
        return RoadClass::Street;
    }
    RoadClass ColumnClass(int c) const {
        if (c == m_highway)
            return RoadClass::Highway;
        if (c % 5 == 2)
            return RoadClass::Arterial;
        if (c % 5 == 4)
            return RoadClass::Collector;
        return RoadClass::Street;
    }
    static int SpeedOf(RoadClass roadClass) {
        switch (roadClass) {
            case RoadClass::Freeway:
                return 105;
            case RoadClass::Highway:
                return 80;
            case RoadClass::Arterial:
                return 60;
            case RoadClass::Collector:
                return 50;
            case RoadClass::Street:
                return 40;
            case RoadClass::Minor:
                return 15;
        }
        return 40;
    }

    StreetName RowName(int r) {
        StreetName name;
        if (r == m_main) {
            name.base = "Main";
            name.suffixType = "St";
        } else if (r >= kRowNameCount) {
            name.base = Ordinal(r + 1);
            name.suffixType = "St";
        } else {
            name.base = kRowNames[r];
            name.suffixType =
                RowClass(r) == RoadClass::Arterial ? "Blvd" : kStreetTypes[m_rowTypes[r]];
        }
        return name;
    }

    StreetName ColumnName(int c, int r) const {
        StreetName name;
        if (c == m_highway) {
            name.base = "Lake";
            name.suffixType = "Blvd";
            return name;
        }
        if (c == m_g - 2) {
            name.prefixType = "Via";
            name.base = "Verde";
            return name;
        }
        name.directionPrefix = r >= m_main ? "N" : "S";
        name.base = Ordinal(c + 1);
        name.suffixType = "Ave";
        return name;
    }

    void MakeGrid() {
        for (int r = 0; r < m_g; ++r)
            m_rowTypes.push_back(m_random.Below(9));
        for (int r = 0; r < m_g; ++r) {
            for (int c = 0; c < m_g; ++c) {
                if (IsRing(c, r))
                    continue;
                m_grid[{c, r}] = m_net.AddNode(Jittered(c, r));
            }
        }
        MakeRoundabout();
        // East-west streets.
        for (int r = 0; r < m_g; ++r) {
            StreetName base = RowName(r);
            for (int c = 0; c + 1 < m_g; ++c) {
                Link link;
                link.from = NodeAt(c, r, kEast);
                link.to = NodeAt(c + 1, r, kWest);
                link.roadClass = RowClass(r);
                link.speedKmh = SpeedOf(link.roadClass);
                link.name = base;
                if (r == m_main + 3 && r < kRowNameCount) {
                    StreetName lakeview = base;
                    lakeview.base = "Lakeview";
                    lakeview.suffixType = "Dr";
                    lakeview.directionSuffix = c >= m_highway ? "E" : "W";
                    link.name = lakeview;
                }
                // The downtown couplet: one street eastbound, the other westbound.
                if ((r == m_main + 1 || r == m_main - 1) && c >= 2 && c < m_g - 2) {
                    link.direction = r == m_main + 1 ? Direction::Forward : Direction::Backward;
                }
                uint32_t block = static_cast<uint32_t>(c + 1);
                Parity odd = Parity::Odd, even = Parity::Even;
                if (link.roadClass == RoadClass::Collector)
                    odd = even = Parity::Mixed;
                link.left = {100 * block + (odd == Parity::Mixed ? 0u : 1u), 100 * block + 99, odd};
                link.right = {100 * block, 100 * block + (even == Parity::Mixed ? 99u : 98u), even};
                SetSides(link, m_net.nodes[link.from].position, m_net.nodes[link.to].position);
                m_h[{c, r}] = m_net.AddLink(std::move(link));
            }
        }
        // North-south avenues; numbers run away from Main St.
        for (int c = 0; c < m_g; ++c) {
            for (int r = 0; r + 1 < m_g; ++r) {
                Link link;
                link.from = NodeAt(c, r, kNorth);
                link.to = NodeAt(c, r + 1, kSouth);
                link.roadClass = ColumnClass(c);
                link.speedKmh = SpeedOf(link.roadClass);
                link.name = ColumnName(c, r);
                if (c == m_highway)
                    link.signs = LinkSigns{.highwayNumber = "SR 89", .signText = "89"};
                if (r >= m_main) {
                    uint32_t block = static_cast<uint32_t>(r - m_main + 1);
                    link.left = {100 * block + 1, 100 * block + 99, Parity::Odd};
                    link.right = {100 * block, 100 * block + 98, Parity::Even};
                } else {
                    uint32_t block = static_cast<uint32_t>(m_main - r);
                    link.left = {100 * block + 99, 100 * block + 1, Parity::Odd};
                    link.right = {100 * block + 98, 100 * block, Parity::Even};
                }
                SetSides(link, m_net.nodes[link.from].position, m_net.nodes[link.to].position);
                m_v[{c, r}] = m_net.AddLink(std::move(link));
            }
        }
    }

    void MakeRoundabout() {
        LatLon centre = At(m_ringColumn, m_ringRow);
        const double rLat = 0.00018, rLon = 0.00023;
        // West, east, south, north.
        const double angles[4] = {180, 0, 270, 90};
        for (int side = 0; side < 4; ++side) {
            double a = angles[side] * 3.14159265358979 / 180;
            m_ringNodes[side] =
                m_net.AddNode({centre.lat + rLat * std::sin(a), centre.lon + rLon * std::cos(a)});
        }
        // Anticlockwise: east, north, west, south, east.
        const int order[5] = {kEast, kNorth, kWest, kSouth, kEast};
        for (int i = 0; i < 4; ++i) {
            Link link;
            link.from = m_ringNodes[order[i]];
            link.to = m_ringNodes[order[i + 1]];
            link.roadClass = RoadClass::Arterial;
            link.direction = Direction::Forward;
            link.roundabout = true;
            link.speedKmh = 30;
            link.name = StreetName{.base = "Town", .suffixType = "Cir"};
            double a0 = angles[order[i]], a1 = a0 + 90;
            for (int k = 1; k <= 2; ++k) {
                double a = (a0 + (a1 - a0) * k / 3) * 3.14159265358979 / 180;
                link.shape.push_back(
                    {centre.lat + rLat * std::sin(a), centre.lon + rLon * std::cos(a)});
            }
            SetSides(link, m_net.nodes[link.from].position, m_net.nodes[link.to].position);
            m_net.AddLink(std::move(link));
        }
    }

    void MakeFreeway() {
        // Two one-way carriageways south of the town, eastbound on the south side.
        const double eastRow = -2.1, westRow = -1.9;
        std::map<int, uint32_t> east, west;
        for (int c = -1; c <= m_g; ++c) {
            east[c] = m_net.AddNode(Jittered(c, eastRow));
            west[c] = m_net.AddNode(Jittered(c, westRow));
        }
        auto freeway = [&](uint32_t from, uint32_t to) {
            Link link;
            link.from = from;
            link.to = to;
            link.roadClass = RoadClass::Freeway;
            link.direction = Direction::Forward;
            link.speedKmh = SpeedOf(RoadClass::Freeway);
            link.name = StreetName{.base = "Sierra", .suffixType = "Fwy"};
            link.signs = LinkSigns{.highwayNumber = "I-80", .signText = "80"};
            SetSides(link, m_net.nodes[from].position, m_net.nodes[to].position);
            return m_net.AddLink(std::move(link));
        };
        for (int c = -1; c < m_g; ++c) {
            freeway(east[c], east[c + 1]);
            freeway(west[c + 1], west[c]);
        }
        // Interchanges where the arterial avenues meet it.
        int exit = 0;
        for (int c = 2; c < m_g; c += 5) {
            if (c == m_highway)
                continue;
            ++exit;
            uint32_t junction = m_net.AddNode(Jittered(c, -1));
            Link spur;
            spur.from = junction;
            spur.to = NodeAt(c, 0, kSouth);
            spur.roadClass = ColumnClass(c);
            spur.speedKmh = SpeedOf(spur.roadClass);
            spur.name = ColumnName(c, 0);
            SetSides(spur, m_net.nodes[spur.from].position, m_net.nodes[spur.to].position);
            m_net.AddLink(std::move(spur));
            const std::string avenue = ColumnName(c, 0).FullText();
            const std::string number = std::to_string(10 + c);
            auto ramp = [&](uint32_t from, uint32_t to, double bendC, double bendR,
                            std::string exitNumber, std::string sign) {
                Link link;
                link.from = from;
                link.to = to;
                link.roadClass = RoadClass::Arterial;
                link.direction = Direction::Forward;
                link.ramp = true;
                link.speedKmh = 55;
                link.shape.push_back(At(bendC, bendR));
                link.signs = LinkSigns{.exitNumber = exitNumber, .exitSign = sign};
                SetSides(link, m_net.nodes[from].position, m_net.nodes[to].position);
                m_net.AddLink(std::move(link));
            };
            ramp(east[c - 1], junction, c - 0.5, -1.55, number + "A",
                 "I-80 E/" + avenue);                                   // off eastbound
            ramp(junction, east[c + 1], c + 0.5, -1.55, "", "I-80 E");  // on eastbound
            ramp(west[c + 1], junction, c + 0.4, -1.3, number + "B",
                 "I-80 W/" + avenue);                                  // off westbound
            ramp(junction, west[c - 1], c - 0.4, -1.3, "", "I-80 W");  // on westbound
        }
        m_freewayEast = east;
    }

    void MakeServiceRoads() {
        for (int r = 0; r + 1 < m_g; ++r) {
            for (int c = 0; c + 1 < m_g; ++c) {
                if (IsRing(c, r) || c == m_river || m_random.Below(6) != 0)
                    continue;
                uint32_t end = m_net.AddNode(Jittered(c + 0.45, r + 0.4));
                Link link;
                link.from = NodeAt(c, r, kNorth);
                link.to = end;
                link.roadClass = RoadClass::Minor;
                link.speedKmh = SpeedOf(RoadClass::Minor);
                link.shape.push_back(At(c + 0.15, r + 0.3));
                SetSides(link, m_net.nodes[link.from].position, m_net.nodes[link.to].position);
                m_net.AddLink(std::move(link));
            }
        }
    }

    void MakeRestrictions() {
        // No left turn from the northbound avenue into the westbound street at every
        // other arterial crossing.
        int k = 0;
        for (int r = 2; r < m_g; r += 5) {
            for (int c = 2; c < m_g; c += 5) {
                if (IsRing(c, r) || r == 0 || c == 0 || (k++ % 2) != 0)
                    continue;
                auto from = m_v.find({c, r - 1});
                auto to = m_h.find({c - 1, r});
                if (from == m_v.end() || to == m_h.end())
                    continue;
                m_net.restrictions.push_back({from->second, m_grid.at({c, r}), to->second});
            }
        }
        // And no U-turn-like cut from Main St east onto the highway south.
        auto from = m_h.find({m_highway - 1, m_main});
        auto to = m_v.find({m_highway, m_main - 1});
        if (from != m_h.end() && to != m_v.end()) {
            m_net.restrictions.push_back(
                {from->second, m_grid.at({m_highway, m_main}), to->second});
        }
    }

    void MakeIsland() {
        m_hi = m_net.AddArea({AreaKind::State, "Hawaii", "HI", kNone, {}, {}});
        m_isleCounty = m_net.AddArea({AreaKind::County, "Isle County", "ISC", m_hi, {}, {}});
        const double c0 = -10, r0 = -14;  // south-west of the mainland, across the water
        m_islandOrigin = {c0, r0};
        m_palmHarbor = m_net.AddArea(
            {AreaKind::City, "Palm Harbor", "", m_isleCounty, At(c0 + 2, r0 + 2), {}});
        m_net.areas[m_hi].center = m_net.areas[m_isleCounty].center = At(c0 + 2, r0 + 2);
        const int n = 5;
        std::map<std::pair<int, int>, uint32_t> nodes;
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c)
                nodes[{c, r}] = m_net.AddNode(Jittered(c0 + c, r0 + r));
        }
        static const char* const kNames[] = {"Ocean", "Palm", "Coral", "Reef", "Lagoon"};
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c + 1 < n; ++c) {
                Link link;
                link.from = nodes[{c, r}];
                link.to = nodes[{c + 1, r}];
                link.roadClass = r == 2 ? RoadClass::Highway : RoadClass::Street;
                link.speedKmh = SpeedOf(link.roadClass);
                link.name = StreetName{.base = kNames[r], .suffixType = r == 2 ? "Hwy" : "Dr"};
                if (r == 2)
                    link.signs = LinkSigns{.highwayNumber = "Route 30", .signText = "30"};
                uint32_t block = static_cast<uint32_t>(c + 1);
                link.left = {100 * block + 1, 100 * block + 99, Parity::Odd};
                link.right = {100 * block, 100 * block + 98, Parity::Even};
                link.leftArea = link.rightArea = m_palmHarbor;
                m_net.AddLink(std::move(link));
            }
        }
        for (int c = 0; c < n; ++c) {
            for (int r = 0; r + 1 < n; ++r) {
                Link link;
                link.from = nodes[{c, r}];
                link.to = nodes[{c, r + 1}];
                link.roadClass = RoadClass::Street;
                link.speedKmh = SpeedOf(link.roadClass);
                link.name = StreetName{.base = Ordinal(c + 1), .suffixType = "Ave"};
                link.leftArea = link.rightArea = m_palmHarbor;
                m_net.AddLink(std::move(link));
            }
        }
    }

    void Feature(FeatureKind kind, uint8_t level, bool open, std::vector<LatLon> points,
                 std::string name = {}) {
        m_net.features.push_back({kind, level, open, std::move(points), std::move(name)});
    }
    std::vector<LatLon> Box(double c0, double r0, double c1, double r1) const {
        return {At(c0, r0), At(c1, r0), At(c1, r1), At(c0, r1)};
    }

    // A block that holds nothing else yet (not the river's, not the roundabout's).
    std::pair<int, int> FreeBlock() {
        for (int tries = 0; tries < 1000; ++tries) {
            int c = m_random.Below(m_g - 1), r = m_random.Below(m_g - 1);
            if (c == m_river || c + 1 == m_ringColumn || c == m_ringColumn || m_used.count({c, r}))
                continue;
            m_used.insert({{c, r}, true});
            return {c, r};
        }
        return {0, 0};
    }

    void MakeFeatures() {
        const double top = m_g - 1;
        // The river winds north through the east of the town.
        std::vector<LatLon> west, east;
        for (int k = 0; k <= 2 * (m_g + 3); ++k) {
            double r = -3 + k * 0.5;
            double wiggle = 0.12 * std::sin(k * 0.9);
            west.push_back(At(m_river + 0.35 + wiggle, r));
            east.push_back(At(m_river + 0.65 + wiggle, r));
        }
        std::vector<LatLon> river = west;
        river.insert(river.end(), east.rbegin(), east.rend());
        Feature(FeatureKind::River, 4, false, river, "Bear River");
        Feature(
            FeatureKind::Lake, 5, false,
            {At(m_river - 1, top + 1.5), At(m_river + 1.2, top + 1.2), At(m_river + 2, top + 2.5),
             At(m_river + 0.5, top + 3.5), At(m_river - 1.5, top + 2.8)},
            "Crystal Lake");
        // Built-up areas of the cities.
        for (uint32_t city : {m_cedarFalls, m_riverton, m_silverSprings}) {
            Feature(FeatureKind::Urban, 1, false, m_net.areas[city].outline,
                    m_net.areas[city].name);
        }
        const std::pair<FeatureKind, const char*> blocks[] = {
            {FeatureKind::Park, "Central Park"},
            {FeatureKind::Park, "Memorial Park"},
            {FeatureKind::Park, "River Park"},
            {FeatureKind::Golf, "Pines Golf Course"},
            {FeatureKind::Cemetery, "Hillside Cemetery"},
            {FeatureKind::Campus, "Sierra College"},
            {FeatureKind::Hospital, "General Hospital"},
            {FeatureKind::Industrial, "Rail Yard"},
        };
        for (const auto& [kind, name] : blocks) {
            auto [c, r] = FreeBlock();
            Feature(kind, kind == FeatureKind::Industrial || kind == FeatureKind::Cemetery ? 1 : 2,
                    false, Box(c + 0.15, r + 0.15, c + 0.85, r + 0.85), name);
            m_blockFeatures.push_back({c, r});
        }
        for (int k = 0; k < 4; ++k) {
            auto [c, r] = FreeBlock();
            Feature(FeatureKind::Building, 0, false, Box(c + 0.3, r + 0.3, c + 0.6, r + 0.55));
        }
        Feature(FeatureKind::Airport, 3, false, Box(m_g + 0.5, -4, m_g + 3, -2.8),
                "Sierra Airport");
        Feature(FeatureKind::Forest, 3, false, Box(-4, top - 2, -1.2, top + 2), "Tahoe Forest");
        // Lines: the state border, the county line, the railway.
        Feature(FeatureKind::StateBorder, 6, true,
                {At(m_stateLine - 0.5, -4), At(m_stateLine - 0.5, top + 4)});
        Feature(FeatureKind::CountyBorder, 4, true,
                {At(-3, m_countyLine - 0.5), At(m_stateLine - 0.5, m_countyLine - 0.5)});
        Feature(FeatureKind::Railway, 3, true,
                {At(-3, top + 0.6), At(m_g / 2.0, top + 0.75), At(m_g + 2, top + 0.6)},
                "Central Pacific");
        // The island in its ocean, with its shore.
        auto [ic, ir] = m_islandOrigin;
        Feature(FeatureKind::Ocean, 0, false, Box(ic - 6, ir - 6, ic + 10, ir + 10),
                "Pacific Ocean");
        std::vector<LatLon> shore;
        for (int k = 0; k < 16; ++k) {
            double a = k * 2 * 3.14159265358979 / 16;
            shore.push_back(At(ic + 2 + 3.2 * std::cos(a), ir + 2 + 3.2 * std::sin(a)));
        }
        shore.push_back(shore.front());
        Feature(FeatureKind::Shore, 2, true, shore);
    }

    // A point a little north of the middle of a street link, with the house number
    // there on its north side.
    Poi PoiOnStreet(int c, int r) {
        const Link& link = m_net.links[m_h.at({c, r})];
        LatLon a = m_net.nodes[link.from].position, b = m_net.nodes[link.to].position;
        double f = m_random.Between(0.3, 0.7);
        Poi poi;
        poi.position = {a.lat + (b.lat - a.lat) * f + 0.00012, a.lon + (b.lon - a.lon) * f};
        const HouseRange& range = link.left;
        uint32_t number = range.first + static_cast<uint32_t>((range.last - range.first) * f);
        if (range.parity == Parity::Odd && number % 2 == 0)
            ++number;
        poi.houseNumber = number;
        poi.city = AreaAt(poi.position);
        return poi;
    }

    std::string Phone() {
        char text[16];
        std::snprintf(text, sizeof text, "555-%04d", m_random.Below(10000));
        return text;
    }

    void MakePois() {
        const int copies = 1 + static_cast<int>(m_g * m_g / 300);
        for (const PoiKind& kind : kPoiKinds) {
            for (int k = 0; k < copies; ++k) {
                int c = m_random.Below(m_g - 1), r = m_random.Below(m_g);
                if (IsRing(c, r) || IsRing(c + 1, r))
                    c = (c + 2) % (m_g - 1);
                Poi poi = PoiOnStreet(c, r);
                poi.category = kind.category;
                poi.subCategory = kind.sub;
                poi.name = std::string(kAdjectives[m_random.Below(12)]) + " " + kind.word;
                poi.phone = Phone();
                m_net.pois.push_back(std::move(poi));
            }
        }
        // Island points.
        auto [ic, ir] = m_islandOrigin;
        const PoiKind island[] = {{PoiCategory::Lodging, poi_sub::kLodging, "Beach Resort"},
                                  {PoiCategory::Restaurant, 13, "Lagoon Fish House"},
                                  {PoiCategory::Recreation, poi_sub::kMarina, "Harbor Marina"}};
        int k = 0;
        for (const PoiKind& kind : island) {
            Poi poi;
            poi.category = kind.category;
            poi.subCategory = kind.sub;
            poi.name = kind.word;
            poi.phone = Phone();
            poi.position = At(ic + 0.5 + k, ir + 2.15);
            poi.houseNumber = 100 * static_cast<uint32_t>(k + 1) + 51;
            poi.city = m_palmHarbor;
            m_net.pois.push_back(std::move(poi));
            ++k;
        }
        // City centres, for the search by city.
        for (uint32_t city : {m_cedarFalls, m_riverton, m_silverSprings, m_palmHarbor}) {
            Poi poi;
            poi.category = PoiCategory::City;
            poi.subCategory = poi_sub::kCity;
            poi.name = m_net.areas[city].name;
            poi.position = m_net.areas[city].center;
            poi.city = city;
            m_net.pois.push_back(std::move(poi));
        }
    }

    void MakeRegions() {
        const double top = m_g - 1;
        Region ca;
        ca.number = 4;
        ca.name = "California";
        ca.area = m_ca;
        ca.outline = Box(-4, -4, m_stateLine - 0.5, top + 4);
        ca.subAreas.push_back({"North", Box(-4, m_countyLine - 0.5, m_stateLine - 0.5, top + 4)});
        ca.subAreas.push_back({"South", Box(-4, -4, m_stateLine - 0.5, m_countyLine - 0.5)});
        m_net.regions.push_back(ca);
        Region nv;
        nv.number = 28;
        nv.name = "Nevada";
        nv.area = m_nv;
        nv.outline = Box(m_stateLine - 0.5, -4, m_g + 4, top + 4);
        m_net.regions.push_back(nv);
        auto [ic, ir] = m_islandOrigin;
        Region hi;
        hi.number = 11;
        hi.name = "Hawaii";
        hi.area = m_hi;
        hi.outline = Box(ic - 2, ir - 2, ic + 6, ir + 6);
        hi.combinable = false;
        m_net.regions.push_back(hi);
        // Freeway links south of the state line's west part lie in California by
        // their sides already; nothing else to assign.
    }

    Random m_random;
    Network m_net;
    int m_g = 0;
    double m_lat0 = 0, m_lon0 = 0;
    int m_main = 0, m_highway = 0, m_stateLine = 0, m_countyLine = 0, m_nvCityLine = 0, m_river = 0;
    int m_ringColumn = 0, m_ringRow = 0;
    uint32_t m_ringNodes[4] = {};
    std::vector<int> m_rowTypes;
    std::map<std::pair<int, int>, uint32_t> m_grid, m_h, m_v;
    std::map<int, uint32_t> m_freewayEast;
    std::map<std::pair<int, int>, bool> m_used;
    std::vector<std::pair<int, int>> m_blockFeatures;
    std::pair<double, double> m_islandOrigin;
    uint32_t m_ca = kNone, m_nv = kNone, m_hi = kNone;
    uint32_t m_pineCounty = kNone, m_cedarCounty = kNone, m_silverCounty = kNone,
             m_isleCounty = kNone;
    uint32_t m_cedarFalls = kNone, m_riverton = kNone, m_silverSprings = kNone,
             m_palmHarbor = kNone;
};

}  // namespace

Network BuildTown(uint64_t seed, int size) {
    if (size < kMinTownSize || size > kMaxTownSize) {
        throw std::invalid_argument("the town size must lie between " +
                                    std::to_string(kMinTownSize) + " and " +
                                    std::to_string(kMaxTownSize) + " links");
    }
    return TownBuilder(seed, size).Build();
}

}  // namespace discmaker
