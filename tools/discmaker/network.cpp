#include "tools/discmaker/network.h"

#include <malloc.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <unordered_set>

namespace discmaker {

namespace {

constexpr double kEarthRadiusKm = 6370.97327862;
constexpr double kDegToRad = 3.14159265358979323846 / 180.0;

// Above this a chunk's shape count cannot hold a link's points.
constexpr size_t kChunkShapeLimit = 1023;

std::string Join(std::initializer_list<const std::string*> parts) {
    std::string text;
    for (const std::string* part : parts) {
        if (part->empty())
            continue;
        if (!text.empty())
            text += ' ';
        text += *part;
    }
    return text;
}

uint32_t Step(Parity parity) {
    return parity == Parity::Mixed ? 1 : 2;
}

// The number nearest `value` that fits the parity.
uint32_t SnapToParity(double value, Parity parity) {
    long long n = std::llround(value);
    if (n < 1)
        n = 1;
    if (parity == Parity::Even && n % 2 != 0)
        ++n;
    if (parity == Parity::Odd && n % 2 == 0)
        ++n;
    return static_cast<uint32_t>(n);
}

// Divides a range over pieces that end at the given fractions of the length.
std::vector<HouseRange> DivideRange(const HouseRange& range, const std::vector<double>& ends) {
    std::vector<HouseRange> pieces(ends.size());
    if (range.Empty())
        return pieces;
    const double first = range.first;
    const double last = range.last;
    const bool up = range.last >= range.first;
    const uint32_t step = Step(range.parity);
    uint32_t next = range.first;
    for (size_t i = 0; i < ends.size(); ++i) {
        HouseRange piece;
        piece.parity = range.parity;
        piece.first = next;
        if (i + 1 == ends.size()) {
            piece.last = range.last;
        } else {
            uint32_t boundary = SnapToParity(first + (last - first) * ends[i], range.parity);
            // The next piece starts at the boundary; this one ends a step before it.
            next = boundary;
            piece.last = up ? (boundary >= step ? boundary - step : 0) : boundary + step;
        }
        bool empty = up ? piece.last < piece.first : piece.last > piece.first;
        if (empty || piece.first == 0 || piece.last == 0)
            piece = HouseRange{};
        pieces[i] = piece;
    }
    return pieces;
}

}  // namespace

const char* RoadClassName(RoadClass roadClass) {
    switch (roadClass) {
        case RoadClass::Freeway:
            return "freeway";
        case RoadClass::Highway:
            return "highway";
        case RoadClass::Arterial:
            return "arterial";
        case RoadClass::Collector:
            return "collector";
        case RoadClass::Street:
            return "street";
        case RoadClass::Minor:
            return "minor";
    }
    return "unknown";
}

bool IsMajorClass(RoadClass roadClass) {
    return static_cast<int>(roadClass) <= static_cast<int>(RoadClass::Collector);
}

int DefaultSpeedKmh(RoadClass roadClass) {
    switch (roadClass) {
        case RoadClass::Freeway:
            return 110;
        case RoadClass::Highway:
            return 90;
        case RoadClass::Arterial:
            return 70;
        case RoadClass::Collector:
            return 60;
        case RoadClass::Street:
            return 40;
        case RoadClass::Minor:
            return 20;
    }
    return 40;
}

const char* FeatureKindName(FeatureKind kind) {
    switch (kind) {
        case FeatureKind::Shore:
            return "shore";
        case FeatureKind::Ocean:
            return "ocean";
        case FeatureKind::Lake:
            return "lake";
        case FeatureKind::Park:
            return "park";
        case FeatureKind::Urban:
            return "urban";
        case FeatureKind::River:
            return "river";
        case FeatureKind::Golf:
            return "golf";
        case FeatureKind::Cemetery:
            return "cemetery";
        case FeatureKind::Airport:
            return "airport";
        case FeatureKind::StateBorder:
            return "state border";
        case FeatureKind::CountyBorder:
            return "county border";
        case FeatureKind::Railway:
            return "railway";
        case FeatureKind::Campus:
            return "campus";
        case FeatureKind::Hospital:
            return "hospital";
        case FeatureKind::Building:
            return "building";
        case FeatureKind::Forest:
            return "forest";
        case FeatureKind::Industrial:
            return "industrial";
    }
    return "unknown";
}

const char* PoiCategoryName(PoiCategory category) {
    switch (category) {
        case PoiCategory::Business:
            return "Business/Shopping";
        case PoiCategory::Education:
            return "Education/Govt";
        case PoiCategory::Emergency:
            return "Emergency";
        case PoiCategory::Attraction:
            return "Attraction";
        case PoiCategory::Lodging:
            return "Lodging";
        case PoiCategory::Recreation:
            return "Recreation";
        case PoiCategory::Restaurant:
            return "Restaurant";
        case PoiCategory::Transportation:
            return "Transportation";
        case PoiCategory::City:
            return "City";
    }
    return "unknown";
}

Text::Text(std::string_view text) {
    if (text.empty())
        return;
    // Node-based: a stored string never moves. Kept for the program's life.
    static std::mutex mutex;
    static std::unordered_set<std::string> texts;
    std::lock_guard<std::mutex> lock(mutex);
    m_text = &*texts.emplace(text).first;
}

const std::string& Text::Empty() {
    static const std::string empty;
    return empty;
}

std::ostream& operator<<(std::ostream& out, const Text& text) {
    return out << text.str();
}

std::string StreetName::FullText() const {
    return Join({&directionPrefix.str(), &prefixType.str(), &base.str(), &suffixType.str(),
                 &directionSuffix.str()});
}

namespace {

// Nodes and links are the largest tables and are made to size; pieces cut later
// grow them by an eighth, not by doubling.
template <typename T>
void MakeRoomForOne(std::vector<T>& table) {
    if (table.size() == table.capacity())
        table.reserve(table.size() + table.size() / 8 + 16);
}

}  // namespace

uint32_t Network::AddNode(LatLon position, int64_t sourceId) {
    MakeRoomForOne(nodes);
    nodes.push_back(Node{position, sourceId});
    return static_cast<uint32_t>(nodes.size() - 1);
}

uint32_t Network::AddLink(Link link) {
    MakeRoomForOne(links);
    links.push_back(std::move(link));
    return static_cast<uint32_t>(links.size() - 1);
}

uint32_t Network::AddArea(Area area) {
    areas.push_back(std::move(area));
    return static_cast<uint32_t>(areas.size() - 1);
}

uint32_t Network::StateOf(uint32_t area) const {
    // Bounded walk: a parent cycle must not hang the builder.
    for (size_t guard = 0; area != kNone && area < areas.size() && guard <= areas.size(); ++guard) {
        if (areas[area].kind == AreaKind::State)
            return area;
        area = areas[area].parent;
    }
    return kNone;
}

uint32_t Network::RegionOf(uint32_t area) const {
    uint32_t state = StateOf(area);
    if (state == kNone)
        return kNone;
    for (size_t i = 0; i < regions.size(); ++i) {
        if (regions[i].area == state)
            return static_cast<uint32_t>(i);
    }
    return kNone;
}

uint32_t Network::RegionOfLink(uint32_t link) const {
    const Link& l = links.at(link);
    uint32_t region = RegionOf(l.leftArea);
    return region != kNone ? region : RegionOf(l.rightArea);
}

std::vector<LatLon> Network::LinkPoints(uint32_t link) const {
    const Link& l = links.at(link);
    std::vector<LatLon> points;
    points.reserve(l.shape.size() + 2);
    points.push_back(nodes.at(l.from).position);
    points.insert(points.end(), l.shape.begin(), l.shape.end());
    points.push_back(nodes.at(l.to).position);
    return points;
}

double Network::LinkLengthKm(uint32_t link) const {
    std::vector<LatLon> points = LinkPoints(link);
    double km = 0;
    for (size_t i = 1; i < points.size(); ++i)
        km += DistanceKm(points[i - 1], points[i]);
    return km;
}

void Bounds::Add(LatLon p) {
    if (empty) {
        minLat = maxLat = p.lat;
        minLon = maxLon = p.lon;
        empty = false;
        return;
    }
    minLat = std::min(minLat, p.lat);
    maxLat = std::max(maxLat, p.lat);
    minLon = std::min(minLon, p.lon);
    maxLon = std::max(maxLon, p.lon);
}

Bounds NetworkBounds(const Network& network) {
    Bounds bounds;
    for (const Node& node : network.nodes)
        bounds.Add(node.position);
    for (const Link& link : network.links) {
        for (const LatLon& p : link.shape)
            bounds.Add(p);
    }
    for (const PolygonFeature& feature : network.features) {
        for (const LatLon& p : feature.points)
            bounds.Add(p);
    }
    for (const Poi& poi : network.pois)
        bounds.Add(poi.position);
    for (const Area& area : network.areas) {
        if (area.kind == AreaKind::City)
            bounds.Add(area.center);
    }
    return bounds;
}

double DistanceKm(LatLon a, LatLon b) {
    double lat1 = a.lat * kDegToRad, lat2 = b.lat * kDegToRad;
    double dLat = lat2 - lat1;
    double dLon = (b.lon - a.lon) * kDegToRad;
    double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
               std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(h)));
}

std::vector<uint32_t> CutLink(Network& network, uint32_t link, const std::vector<LatLon>& points,
                              const std::vector<size_t>& cuts) {
    if (link >= network.links.size())
        throw std::runtime_error("CutLink: no such link");
    if (points.size() < 2)
        throw std::runtime_error("CutLink: a link needs two points");
    if (cuts.empty())
        return {link};
    for (size_t i = 0; i < cuts.size(); ++i) {
        if (cuts[i] == 0 || cuts[i] + 1 >= points.size() || (i > 0 && cuts[i] <= cuts[i - 1])) {
            throw std::runtime_error("CutLink: cut points must lie inside, ascending");
        }
    }
    const Link original = network.links[link];

    // Fractions of the length at each piece's end, for the house ranges.
    std::vector<double> along(points.size(), 0);
    for (size_t i = 1; i < points.size(); ++i)
        along[i] = along[i - 1] + DistanceKm(points[i - 1], points[i]);
    const double total = along.back();
    std::vector<double> ends;
    for (size_t cut : cuts)
        ends.push_back(total > 0 ? along[cut] / total : 0);
    ends.push_back(1.0);
    std::vector<HouseRange> lefts = DivideRange(original.left, ends);
    std::vector<HouseRange> rights = DivideRange(original.right, ends);

    std::vector<uint32_t> pieces;
    uint32_t fromNode = original.from;
    size_t start = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        size_t end = i < cuts.size() ? cuts[i] : points.size() - 1;
        uint32_t toNode = i < cuts.size() ? network.AddNode(points[end]) : original.to;
        Link piece = original;
        piece.from = fromNode;
        piece.to = toNode;
        piece.shape.assign(points.begin() + static_cast<std::ptrdiff_t>(start + 1),
                           points.begin() + static_cast<std::ptrdiff_t>(end));
        piece.left = lefts[i];
        piece.right = rights[i];
        if (i == 0) {
            network.links[link] = std::move(piece);
            pieces.push_back(link);
        } else {
            pieces.push_back(network.AddLink(std::move(piece)));
        }
        fromNode = toNode;
        start = end;
    }
    // A restriction through the old to-node now meets the last piece there. A loop
    // (from == to) keeps the first piece at that node as well, so only the sides that
    // name the to-end move: restrictions are matched by which end they enter.
    const uint32_t last = pieces.back();
    for (TurnRestriction& r : network.restrictions) {
        if (r.viaNode != original.to || original.from == original.to)
            continue;
        if (r.fromLink == link)
            r.fromLink = last;
        if (r.toLink == link)
            r.toLink = last;
    }
    return pieces;
}

void SplitLinks(Network& network, double maxKm, size_t maxShapePoints) {
    const size_t count = network.links.size();
    for (uint32_t link = 0; link < count; ++link) {
        std::vector<LatLon> points = network.LinkPoints(link);
        // Insert points on over-long segments so that each piece can stay short.
        std::vector<LatLon> dense;
        dense.push_back(points[0]);
        for (size_t i = 1; i < points.size(); ++i) {
            double km = DistanceKm(points[i - 1], points[i]);
            int parts = maxKm > 0 ? static_cast<int>(std::ceil(km / maxKm)) : 1;
            for (int k = 1; k < parts; ++k) {
                double t = static_cast<double>(k) / parts;
                dense.push_back({points[i - 1].lat + (points[i].lat - points[i - 1].lat) * t,
                                 points[i - 1].lon + (points[i].lon - points[i - 1].lon) * t});
            }
            dense.push_back(points[i]);
        }
        std::vector<size_t> cuts;
        double km = 0;
        size_t lastCut = 0;
        for (size_t i = 1; i + 1 < dense.size(); ++i) {
            km += DistanceKm(dense[i - 1], dense[i]);
            double nextKm = km + DistanceKm(dense[i], dense[i + 1]);
            bool tooLong = maxKm > 0 && nextKm > maxKm;
            bool tooMany = i - lastCut >= maxShapePoints + 1;
            if (tooLong || tooMany) {
                cuts.push_back(i);
                lastCut = i;
                km = 0;
            }
        }
        if (!cuts.empty() || dense.size() != points.size()) {
            if (cuts.empty())
                continue;  // inserted points alone change nothing
            CutLink(network, link, dense, cuts);
        }
    }
}

namespace {

// Real junctions can join more ways than a node record has link slots (a busy
// roundabout node, a car park): rather than fail the whole build, the least
// important links there are dropped (lowest class first, then the shortest), and
// the references to links are renumbered.
void DropExcessLinkEnds(Network& network) {
    const size_t nodeCount = network.nodes.size();
    std::vector<uint32_t> ends(nodeCount, 0);
    for (const Link& link : network.links)
        ++ends[link.from], ++ends[link.to];
    std::vector<std::vector<uint32_t>> linksAt(nodeCount);
    bool crowded = false;
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const Link& link = network.links[i];
        for (uint32_t node : {link.from, link.to}) {
            if (ends[node] > kMaxLinkEndsAtNode) {
                crowded = true;
                if (linksAt[node].empty() || linksAt[node].back() != i)
                    linksAt[node].push_back(i);
            }
        }
    }
    if (!crowded)
        return;
    std::vector<bool> dropped(network.links.size(), false);
    for (uint32_t node = 0; node < nodeCount; ++node) {
        std::vector<uint32_t>& at = linksAt[node];
        if (ends[node] <= kMaxLinkEndsAtNode)
            continue;
        std::erase_if(at, [&](uint32_t link) { return dropped[link]; });
        std::stable_sort(at.begin(), at.end(), [&](uint32_t a, uint32_t b) {
            const Link& la = network.links[a];
            const Link& lb = network.links[b];
            if (la.roadClass != lb.roadClass)
                return la.roadClass > lb.roadClass;
            return network.LinkLengthKm(a) < network.LinkLengthKm(b);
        });
        std::string ways;
        const uint32_t before = ends[node];
        for (uint32_t link : at) {
            if (ends[node] <= kMaxLinkEndsAtNode)
                break;
            dropped[link] = true;
            --ends[network.links[link].from];
            --ends[network.links[link].to];
            ways += (ways.empty() ? "" : ", ") + std::to_string(network.links[link].sourceId);
        }
        network.warnings.push_back("node " + std::to_string(node) + " (source id " +
                                   std::to_string(network.nodes[node].sourceId) + ") joins " +
                                   std::to_string(before) + " link ends, more than " +
                                   std::to_string(kMaxLinkEndsAtNode) +
                                   ": dropped the links of ways " + ways);
    }
    std::vector<uint32_t> renumbered(network.links.size(), kNone);
    uint32_t kept = 0;
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        if (!dropped[i])
            renumbered[i] = kept++;
    }
    std::erase_if(network.restrictions, [&](const TurnRestriction& r) {
        return renumbered[r.fromLink] == kNone || renumbered[r.toLink] == kNone;
    });
    for (TurnRestriction& r : network.restrictions) {
        r.fromLink = renumbered[r.fromLink];
        r.toLink = renumbered[r.toLink];
    }
    for (Poi& poi : network.pois) {
        if (poi.link != kNone && poi.link < renumbered.size())
            poi.link = renumbered[poi.link];
    }
    uint32_t index = 0;
    std::erase_if(network.links, [&](const Link&) { return dropped[index++]; });
}

}  // namespace

void ValidateNetwork(Network& network) {
    const size_t nodeCount = network.nodes.size();
    const size_t areaCount = network.areas.size();
    auto checkArea = [&](uint32_t area, const std::string& what) {
        if (area != kNone && area >= areaCount)
            throw std::runtime_error(what + " names a missing area");
    };
    for (size_t i = 0; i < network.links.size(); ++i) {
        const Link& link = network.links[i];
        const std::string what = "link " + std::to_string(i);
        if (link.from >= nodeCount || link.to >= nodeCount)
            throw std::runtime_error(what + " has a missing end node");
        if (link.from == link.to && link.shape.empty())
            throw std::runtime_error(what + " has no length");
        if (static_cast<int>(link.roadClass) >= kRoadClassCount)
            throw std::runtime_error(what + " has no road class");
        checkArea(link.leftArea, what);
        checkArea(link.rightArea, what);
    }
    for (size_t i = 0; i < network.areas.size(); ++i) {
        checkArea(network.areas[i].parent, "area " + std::to_string(i));
        checkArea(network.areas[i].alternative, "area " + std::to_string(i));
    }
    for (size_t i = 0; i < network.restrictions.size(); ++i) {
        const TurnRestriction& r = network.restrictions[i];
        const std::string what = "turn restriction " + std::to_string(i);
        if (r.fromLink >= network.links.size() || r.toLink >= network.links.size() ||
            r.viaNode >= nodeCount) {
            throw std::runtime_error(what + " names a missing link or node");
        }
        const Link& a = network.links[r.fromLink];
        const Link& b = network.links[r.toLink];
        if ((a.from != r.viaNode && a.to != r.viaNode) ||
            (b.from != r.viaNode && b.to != r.viaNode)) {
            throw std::runtime_error(what + " does not meet at its node");
        }
    }
    // A node record has 15 link slots and 15 restriction bytes.
    DropExcessLinkEnds(network);
    {
        std::vector<uint32_t> perNode(nodeCount, 0);
        std::erase_if(network.restrictions, [&](const TurnRestriction& r) {
            return ++perNode[r.viaNode] > kMaxRestrictionsAtNode;
        });
    }
    for (size_t i = 0; i < network.pois.size(); ++i) {
        const Poi& poi = network.pois[i];
        const std::string what = "point of interest " + std::to_string(i);
        if (static_cast<int>(poi.category) >= kPoiCategoryCount)
            throw std::runtime_error(what + " has no category");
        if (poi.subCategory > 63)
            throw std::runtime_error(what + " has a sub-category above 63");
        if (poi.link != kNone && poi.link >= network.links.size())
            throw std::runtime_error(what + " names a missing link");
        checkArea(poi.city, what);
    }
    for (size_t i = 0; i < network.regions.size(); ++i) {
        const Region& region = network.regions[i];
        const std::string what = "region " + std::to_string(i);
        checkArea(region.area, what);
        if (region.number > 63)
            throw std::runtime_error(what + " has a number above 63");
        if (region.subAreas.size() > 16)
            throw std::runtime_error(what + " has more than 16 sub-areas");
        for (size_t j = 0; j < i; ++j) {
            if (network.regions[j].number == region.number)
                throw std::runtime_error(what + " repeats a region number");
        }
    }
    for (size_t i = 0; i < network.features.size(); ++i) {
        const PolygonFeature& f = network.features[i];
        if (f.level > 15)
            throw std::runtime_error("feature " + std::to_string(i) + " has a level above 15");
    }
    // Shape points beyond what a chunk record holds.
    const size_t count = network.links.size();
    for (uint32_t link = 0; link < count; ++link) {
        if (network.links[link].shape.size() <= kChunkShapeLimit)
            continue;
        std::vector<LatLon> points = network.LinkPoints(link);
        std::vector<size_t> cuts;
        for (size_t at = kChunkShapeLimit + 1; at + 1 < points.size(); at += kChunkShapeLimit + 1)
            cuts.push_back(at);
        CutLink(network, link, points, cuts);
    }
}

namespace {

// Squared distance in a flat frame around the point, and the side of the segment.
struct Projection {
    double distance2 = 0;
    bool right = false;
};

Projection ProjectOnSegment(LatLon p, LatLon a, LatLon b) {
    const double k = std::cos(p.lat * kDegToRad);
    const double ax = (a.lon - p.lon) * k, ay = a.lat - p.lat;
    const double bx = (b.lon - p.lon) * k, by = b.lat - p.lat;
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? -(ax * dx + ay * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    const double cx = ax + dx * t, cy = ay + dy * t;
    // The point is the origin: it lies right of a->b when the cross product is negative.
    const double cross = dx * (0 - ay) - dy * (0 - ax);
    return {cx * cx + cy * cy, cross < 0};
}

}  // namespace

void ReturnFreedMemory() {
    malloc_trim(0);
}

LinkProjection ProjectOnLink(const Network& network, uint32_t link, LatLon point) {
    static const double kKmPerDegree = DistanceKm({0, 0}, {1, 0});
    const std::vector<LatLon> points = network.LinkPoints(link);
    const double k = std::cos(point.lat * kDegToRad) * kKmPerDegree;
    auto flat = [&](LatLon p) {
        return std::make_pair((p.lon - point.lon) * k, (p.lat - point.lat) * kKmPerDegree);
    };
    LinkProjection best;
    double bestKm2 = -1, walked = 0;
    for (size_t i = 1; i < points.size(); ++i) {
        const auto [ax, ay] = flat(points[i - 1]);
        const auto [bx, by] = flat(points[i]);
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0;
        const double cx = ax + dx * t, cy = ay + dy * t;
        const double km2 = cx * cx + cy * cy;
        const double length = std::sqrt(len2);
        if (bestKm2 < 0 || km2 < bestKm2) {
            bestKm2 = km2;
            // The point is the origin: right of a->b when the cross product is negative.
            best = {std::sqrt(km2), walked + t * length, dx * -ay - dy * -ax < 0};
        }
        walked += length;
    }
    return best;
}

namespace {

using GridCell = std::pair<long long, long long>;  // column, row

// Calls visit(column, row) for each grid cell the segment from (ax, ay) to (bx, by)
// passes, in grid units, from the first cell to the last.
template <typename Visit>
void ForCellsOnSegment(double ax, double ay, double bx, double by, Visit visit) {
    long long x = static_cast<long long>(std::floor(ax));
    long long y = static_cast<long long>(std::floor(ay));
    const long long endX = static_cast<long long>(std::floor(bx));
    const long long endY = static_cast<long long>(std::floor(by));
    const double dx = bx - ax, dy = by - ay;
    constexpr double kNever = std::numeric_limits<double>::infinity();
    // The share of the segment to the next column and row border, and per cell.
    const double perColumn = dx != 0 ? 1 / std::fabs(dx) : kNever;
    const double perRow = dy != 0 ? 1 / std::fabs(dy) : kNever;
    double nextColumn = dx > 0 ? (x + 1 - ax) * perColumn : dx < 0 ? (ax - x) * perColumn : kNever;
    double nextRow = dy > 0 ? (y + 1 - ay) * perRow : dy < 0 ? (ay - y) * perRow : kNever;
    visit(x, y);
    // Held to the cells between the ends, so rounding cannot walk past them.
    while (x != endX || y != endY) {
        if (x != endX && (y == endY || nextColumn < nextRow)) {
            x += dx > 0 ? 1 : -1;
            nextColumn += perColumn;
        } else {
            y += dy > 0 ? 1 : -1;
            nextRow += perRow;
        }
        visit(x, y);
    }
}

}  // namespace

void AssignPoiLinks(Network& network) {
    if (network.links.empty())
        return;
    // Links are indexed by the 0.01 degree cells their segments pass, as one sorted
    // list: linear for large networks, and memory that follows the roads, not the
    // extent (a few roads at opposite corners, or across the globe).
    constexpr double kCell = 0.01;  // degrees
    Bounds bounds;
    for (const Node& node : network.nodes)
        bounds.Add(node.position);
    auto key = [&](LatLon p) {
        return GridCell{static_cast<long long>(std::floor((p.lon - bounds.minLon) / kCell)),
                        static_cast<long long>(std::floor((p.lat - bounds.minLat) / kCell))};
    };
    // 12 bytes a cell passed: cells of 0.01 degree are counted in 32 bits.
    struct CellLink {
        int32_t x, y;
        uint32_t link;
        auto operator<=>(const CellLink&) const = default;
    };
    std::vector<CellLink> cells;
    cells.reserve(network.links.size() + network.links.size() / 2);  // most pass one or two
    for (uint32_t link = 0; link < network.links.size(); ++link) {
        const std::vector<LatLon> points = network.LinkPoints(link);
        for (size_t i = 1; i < points.size(); ++i) {
            const LatLon a = points[i - 1], b = points[i];
            ForCellsOnSegment(
                (a.lon - bounds.minLon) / kCell, (a.lat - bounds.minLat) / kCell,
                (b.lon - bounds.minLon) / kCell, (b.lat - bounds.minLat) / kCell,
                [&](long long x, long long y) {
                    const CellLink entry{static_cast<int32_t>(x), static_cast<int32_t>(y), link};
                    if (cells.empty() || cells.back() != entry)
                        cells.push_back(entry);
                });
        }
    }
    std::sort(cells.begin(), cells.end());
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    cells.shrink_to_fit();
    long long distinctCells = 0;
    for (size_t i = 0; i < cells.size(); ++i)
        distinctCells += i == 0 || cells[i].x != cells[i - 1].x || cells[i].y != cells[i - 1].y;

    for (Poi& poi : network.pois) {
        const auto [px, py] = key(poi.position);
        const auto ringOf = [&](const CellLink& cell) {
            return std::max(std::llabs(cell.x - px), std::llabs(cell.y - py));
        };
        uint32_t best = kNone;
        Projection bestProjection;
        const auto consider = [&](uint32_t link) {
            const std::vector<LatLon> points = network.LinkPoints(link);
            for (size_t i = 1; i < points.size(); ++i) {
                const Projection pr = ProjectOnSegment(poi.position, points[i - 1], points[i]);
                if (best == kNone || pr.distance2 < bestProjection.distance2 ||
                    (pr.distance2 == bestProjection.distance2 && link < best)) {
                    best = link;
                    bestProjection = pr;
                }
            }
        };
        const auto considerCell = [&](long long x, long long y) {
            auto it =
                std::lower_bound(cells.begin(), cells.end(),
                                 CellLink{static_cast<int32_t>(x), static_cast<int32_t>(y), 0});
            for (; it != cells.end() && it->x == x && it->y == y; ++it)
                consider(it->link);
        };
        // Rings of cells until a link is found, and at least the ring around the
        // point's own; far from every road, the list itself is scanned for the
        // nearest ring that has any.
        for (long long ring = 0; best == kNone || ring <= 1; ++ring) {
            if (ring * 8 > distinctCells) {
                long long next = -1;
                for (const CellLink& cell : cells) {
                    const long long r = ringOf(cell);
                    if (r >= ring && (next < 0 || r < next))
                        next = r;
                }
                if (next < 0)
                    break;
                ring = next;
                for (const CellLink& cell : cells) {
                    if (ringOf(cell) == ring)
                        consider(cell.link);
                }
                continue;
            }
            for (long long y = py - ring; y <= py + ring; ++y) {
                for (long long x = px - ring; x <= px + ring; ++x) {
                    if (std::max(std::llabs(x - px), std::llabs(y - py)) == ring)
                        considerCell(x, y);
                }
            }
        }
        poi.link = best;
        poi.rightSide = bestProjection.right;
    }
}

Network MakeTestGrid(int columns, int rows, LatLon southWest, double spacingKm) {
    if (columns < 2 || rows < 2)
        throw std::runtime_error("MakeTestGrid: at least 2 x 2 nodes");
    Network net;
    const double dLat = spacingKm / (kEarthRadiusKm * kDegToRad);
    const double dLon = dLat / std::cos(southWest.lat * kDegToRad);
    auto at = [&](int c, int r) {
        return LatLon{southWest.lat + r * dLat, southWest.lon + c * dLon};
    };

    uint32_t state = net.AddArea({AreaKind::State, "South Dakota", "SD", kNone, at(0, 0), {}});
    uint32_t county = net.AddArea({AreaKind::County, "Grid County", "", state, at(0, 0), {}});
    uint32_t city =
        net.AddArea({AreaKind::City, "Gridton", "", county, at(columns / 2, rows / 2), {}});
    Region region;
    region.number = 41;
    region.name = "South Dakota";
    region.area = state;
    region.outline = {at(-1, -1), at(columns, -1), at(columns, rows), at(-1, rows)};
    net.regions.push_back(region);

    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c)
            net.AddNode(at(c, r));
    }
    auto node = [&](int c, int r) { return static_cast<uint32_t>(r * columns + c); };
    static const char* const kBases[] = {"Oak", "Pine",  "Maple", "Cedar",
                                         "Elm", "Birch", "Ash",   "Willow"};
    const int middleRow = rows / 2;
    // East-west streets: house numbers grow eastwards by 100 a block, odd on the left.
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c + 1 < columns; ++c) {
            Link link;
            link.from = node(c, r);
            link.to = node(c + 1, r);
            link.roadClass = r == middleRow ? RoadClass::Arterial : RoadClass::Street;
            link.name = StreetName{
                .base = r == middleRow
                            ? "Main"
                            : std::string(kBases[r % 8]) + (r >= 8 ? std::to_string(r / 8) : ""),
                .suffixType = r == middleRow ? "St" : "Ave"};
            link.left = {static_cast<uint32_t>(100 * (c + 1) + 1),
                         static_cast<uint32_t>(100 * (c + 1) + 99), Parity::Odd};
            link.right = {static_cast<uint32_t>(100 * (c + 1)),
                          static_cast<uint32_t>(100 * (c + 1) + 98), Parity::Even};
            link.leftArea = link.rightArea = city;
            net.AddLink(std::move(link));
        }
    }
    // North-south streets; the first column is a numbered highway.
    for (int c = 0; c < columns; ++c) {
        for (int r = 0; r + 1 < rows; ++r) {
            Link link;
            link.from = node(c, r);
            link.to = node(c, r + 1);
            link.roadClass = c == 0 ? RoadClass::Highway : RoadClass::Street;
            link.name = StreetName{.base = std::to_string(c + 1) + (c == 0   ? "st"
                                                                    : c == 1 ? "nd"
                                                                    : c == 2 ? "rd"
                                                                             : "th"),
                                   .suffixType = "St"};
            if (c == 0)
                link.signs = LinkSigns{.highwayNumber = "US 14", .signText = "14"};
            link.left = {static_cast<uint32_t>(100 * (r + 1) + 1),
                         static_cast<uint32_t>(100 * (r + 1) + 99), Parity::Odd};
            link.right = {static_cast<uint32_t>(100 * (r + 1)),
                          static_cast<uint32_t>(100 * (r + 1) + 98), Parity::Even};
            link.leftArea = link.rightArea = city;
            net.AddLink(std::move(link));
        }
    }
    net.features.push_back({FeatureKind::Park,
                            2,
                            false,
                            {at(1, 1), at(1.8, 1), at(1.8, 1.8), at(1, 1.8)},
                            "Grid Park"});
    net.features.push_back(
        {FeatureKind::Lake, 3, false, {at(0.2, 0.2), at(0.7, 0.2), at(0.45, 0.7)}, "Grid Lake"});

    struct Sample {
        PoiCategory category;
        uint8_t sub;
        const char* name;
    };
    static const Sample kSamples[] = {
        {PoiCategory::Business, poi_sub::kBank, "Grid Bank"},
        {PoiCategory::Education, poi_sub::kLibrary, "Grid Library"},
        {PoiCategory::Emergency, poi_sub::kHospital, "Grid Hospital"},
        {PoiCategory::Attraction, poi_sub::kMuseum, "Grid Museum"},
        {PoiCategory::Lodging, poi_sub::kLodging, "Grid Inn"},
        {PoiCategory::Recreation, poi_sub::kPark, "Grid Park"},
        {PoiCategory::Restaurant, 9, "Grid Pizza"},  // food type 9: Italian
        {PoiCategory::Transportation, poi_sub::kGasStation, "Grid Fuel"},
        {PoiCategory::City, poi_sub::kCity, "Gridton"},
    };
    int i = 0;
    for (const Sample& s : kSamples) {
        Poi poi;
        poi.category = s.category;
        poi.subCategory = s.sub;
        poi.name = s.name;
        if (s.category != PoiCategory::City) {
            poi.phone = "555-010" + std::to_string(i);
            poi.houseNumber = 101 + 2 * static_cast<uint32_t>(i);
        }
        double fc = 0.3 + (i % std::max(1, columns - 1)),
               fr = 0.1 + (i / std::max(1, columns - 1)) % (rows - 1);
        poi.position = s.category == PoiCategory::City ? net.areas[city].center : at(fc, fr);
        poi.city = city;
        net.pois.push_back(poi);
        ++i;
    }
    AssignPoiLinks(net);
    return net;
}

LatLon Network::ExtentPoint(double east, double north) const {
    LatLon low{90, 180}, high{-90, -180};
    for (const Node& node : nodes) {
        low.lat = std::min(low.lat, node.position.lat);
        low.lon = std::min(low.lon, node.position.lon);
        high.lat = std::max(high.lat, node.position.lat);
        high.lon = std::max(high.lon, node.position.lon);
    }
    return {low.lat + north * (high.lat - low.lat), low.lon + east * (high.lon - low.lon)};
}

}  // namespace discmaker
