#include "tools/route/route_tool.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/route_list.h"
#include "pathlume/route/router.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"

namespace routetool {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kMetresPerRadian = 6370973.27862;
// Travel speeds by speed category, km/h: guidance's time-to-go table.
constexpr double kCategoryKmh[8] = {130, 105, 90, 65, 50, 35, 10, 8};

double Metres(FLOAT radians) {
    return static_cast<double>(radians) * kMetresPerRadian;
}

double Seconds(FLOAT radians, uint32_t attributes) {
    return Metres(radians) / (kCategoryKmh[attributes & 7] / 3.6);
}

double Number(const std::string& text, double limit, const std::string& what) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const double value = std::strtod(begin, &end);
    if (text.empty() || end != begin + text.size() || !std::isfinite(value) ||
        std::fabs(value) > limit || std::isspace(static_cast<unsigned char>(text.front())))
        throw UsageError(what);
    return value;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

double FlatMetres(const MapPoint& a, const MapPoint& b) {
    const double scale = std::cos((a.latitude + b.latitude) / 2 * 3.14159265358979323846 / 180);
    const double dy = b.latitude - a.latitude;
    const double dx = (b.longitude - a.longitude) * scale;
    return std::hypot(dx, dy) * kMetresPerRadian * 3.14159265358979323846 / 180;
}

}  // namespace

std::vector<MapPoint> LinkPoints(const MapLink& link) {
    std::vector<MapPoint> points{link.fromNode->position};
    const uint32_t shapes = link.shapePoints ? link.GetShapePointCount() : 0;
    points.insert(points.end(), link.shapePoints, link.shapePoints + shapes);
    points.push_back(link.toNode->position);
    return points;
}

MapPoint ParsePoint(const std::string& text, const std::string& what) {
    const std::vector<std::string> parts = Split(text, ',');
    const std::string bad = what + " wants LAT,LON, not \"" + text + "\"";
    if (parts.size() != 2)
        throw UsageError(bad);
    MapPoint point;
    point.latitude = static_cast<FLOAT>(Number(parts[0], 90, bad));
    point.longitude = static_cast<FLOAT>(Number(parts[1], 180, bad));
    return point;
}

int ParseMethod(const std::string& name) {
    for (int method = 0; method < 4; ++method) {
        if (name == MethodName(method))
            return method;
    }
    throw UsageError("--method is shortest, quickest, major or local, not \"" + name + "\"");
}

const char* MethodName(int method) {
    static const char* const kNames[] = {"shortest", "quickest", "major", "local"};
    return method >= 0 && method < 4 ? kNames[method] : "?";
}

Avoid ParseAvoid(const std::string& text) {
    Avoid avoid;
    if (text == "toll")
        avoid.option = kRouterTollExcluded;
    else if (text == "ferries")
        avoid.option = kRouterFerriesExcluded;
    else if (text == "carpool")
        avoid.option = kRouterCarpoolExcluded;
    else if (text.find(',') != std::string::npos) {
        avoid.atPoint = true;
        avoid.point = ParsePoint(text, "--avoid");
    } else {
        throw UsageError("--avoid is toll, ferries, carpool or LAT,LON, not \"" + text + "\"");
    }
    return avoid;
}

std::vector<Pair> ReadPairs(const fs::path& file) {
    std::ifstream in(file);
    if (!in)
        throw UsageError(file.string() + ": cannot be read");
    std::vector<Pair> pairs;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        const std::string where = file.string() + " line " + std::to_string(number);
        const std::vector<std::string> fields = Split(line.substr(start), ',');
        const bool numeric = !fields.empty() && !fields[0].empty() &&
                             (std::isdigit(static_cast<unsigned char>(fields[0][0])) ||
                              fields[0][0] == '-' || fields[0][0] == '+' || fields[0][0] == '.');
        // The first line that is not a number is the header.
        if (!numeric && pairs.empty() && number == 1)
            continue;
        if (fields.size() != 4)
            throw UsageError(where + ": wants from_lat,from_lon,to_lat,to_lon, not \"" + line +
                             "\"");
        const std::string bad = where + ": bad point in \"" + line + "\"";
        Pair pair;
        pair.from = {static_cast<FLOAT>(Number(fields[0], 90, bad)),
                     static_cast<FLOAT>(Number(fields[1], 180, bad))};
        pair.to = {static_cast<FLOAT>(Number(fields[2], 90, bad)),
                   static_cast<FLOAT>(Number(fields[3], 180, bad))};
        pairs.push_back(pair);
    }
    return pairs;
}

const char* RouteResult::ResultName() const {
    switch (kind) {
        case Kind::kRoute:
            return "route";
        case Kind::kArrived:
            return "arrived";
        case Kind::kNone:
            return "none";
        case Kind::kNoRoad:
            return "no road";
    }
    return "none";
}

// ---- The session ----------------------------------------------------------------

struct Session::State {
    Options options;
    WCHAR savedFolder[MAX_PATH];
    std::vector<std::string> boxes;
    CRouter* router = nullptr;
    // The route's end links as snapped: the router keeps pointers to them.
    MapLink fromLink{};
    MapLink toLink{};

    void ResetDatabase() {
        g_mapDatabase.~CMapDatabase();
        new (&g_mapDatabase) CMapDatabase();
    }
};

Session::Session(const Options& options) : state_(new State) {
    State& s = *state_;
    s.options = options;
    std::memcpy(s.savedFolder, g_dataFolder, sizeof s.savedFolder);
    std::error_code error;
    const fs::path& folder = options.maps;
    for (const char* name : {"mapdata1.biz", "mapdata2.biz"}) {
        if (!fs::is_regular_file(folder / name, error)) {
            delete state_;
            throw std::runtime_error(folder.string() + ": no " + name + " in it");
        }
    }
    const std::u16string text = platform::HostPathText(fs::absolute(folder)) + u"/";
    if (text.size() >= MAX_PATH) {
        delete state_;
        throw std::runtime_error(folder.string() + ": the path is too long for the map database");
    }
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
    platform::SetMessageBoxHandler(
        [this](HWND, const std::u16string& message, const std::u16string&, UINT type) {
            state_->boxes.push_back(platform::WideToUtf8(message));
            return platform::DefaultMessageBoxAnswer(type);
        });
    s.ResetDatabase();
    if (g_mapDatabase.Open() != 0) {
        const std::string why = s.boxes.empty() ? "" : " (" + s.boxes.front() + ")";
        platform::SetMessageBoxHandler({});
        std::memcpy(g_dataFolder, s.savedFolder, sizeof s.savedFolder);
        delete state_;
        throw std::runtime_error(folder.string() + ": the map database cannot open the files" +
                                 why);
    }
    if (OpenMapIndexFiles() != 0) {
        const std::string why = s.boxes.empty() ? "" : " (" + s.boxes.front() + ")";
        Close();
        throw std::runtime_error(folder.string() + ": damaged map data" + why);
    }
    try {
        Configure();
    } catch (...) {
        Close();
        throw;
    }
}

void Session::Configure() {
    State& s = *state_;
    const Options& options = s.options;
    s.router = &CreateRouter();
    CRouter& router = *s.router;
    // The tool's own method and options, never the registry's (nor written there).
    router.routeAlgo = options.method;
    uint32_t flags = options.routeFlags;
    for (const Avoid& avoid : options.avoids)
        flags |= avoid.option;
    router.state = (router.state & ~kRouteFlagsMask) | (flags & kRouteFlagsMask);
    for (const Avoid& avoid : options.avoids) {
        if (!avoid.atPoint)
            continue;
        const LinkSnap snap = SnapToNearestLink(g_mapDatabase, avoid.point, kSnapRadiusMetres);
        RouteEntry key{};
        if (!snap.Found() || !LinkKeyOf(snap.link, &key))
            throw std::runtime_error("--avoid: no road within 1 km of " +
                                     std::to_string(avoid.point.latitude) + "," +
                                     std::to_string(avoid.point.longitude));
        g_avoidList.Add(key);
        g_avoidList.ApplyMarks(nullptr);
        router.SetAvoidMarks(1);
    }
}

Session::~Session() {
    Close();
}

void Session::Close() {
    if (!state_)
        return;
    DestroyRouter();
    g_avoidList.Clear();
    CloseMapIndexFiles();
    state_->ResetDatabase();
    platform::SetMessageBoxHandler({});
    std::memcpy(g_dataFolder, state_->savedFolder, sizeof state_->savedFolder);
    delete state_;
    state_ = nullptr;
}

namespace {

// The vehicle at the route's start for one search, when a heading is given.
class StartingVehicle {
  public:
    StartingVehicle(double headingDegrees, MapLink& link, const LinkSnap& at)
        : active_(headingDegrees >= 0) {
        if (!active_)
            return;
        positioning_.heading = headingDegrees;
        positioning_.fixValid = false;
        SetPositioningServices(&positioning_);
        g_vehicleLocation.link = &link;
        g_vehicleLocation.segment = at.segment;
        g_vehicleLocation.SetPosition(at.point);
        g_vehicleLocation.stale = 0;
    }
    ~StartingVehicle() {
        if (!active_)
            return;
        g_vehicleLocation.link = nullptr;
        SetPositioningServices(nullptr);
    }
    StartingVehicle(const StartingVehicle&) = delete;
    StartingVehicle& operator=(const StartingVehicle&) = delete;

  private:
    bool active_;
    VehiclePositioning positioning_;
};

Snapped SnappedOf(const MapPoint& asked, const LinkSnap& snap) {
    Snapped s;
    s.asked = asked;
    s.found = snap.Found();
    if (s.found) {
        s.point = snap.point;
        s.metres = snap.metres;
        s.linkId = snap.link->linkId;
    }
    return s;
}

// The way along one link between two of its points (segments as NearestPoint gives
// them).
std::vector<MapPoint> AlongLink(const MapLink& link, const MapPoint& from, uint32_t fromSegment,
                                const MapPoint& to, uint32_t toSegment) {
    const std::vector<MapPoint> points = LinkPoints(link);
    std::vector<MapPoint> shape{from};
    if (fromSegment < toSegment) {
        for (uint32_t k = fromSegment + 1; k <= toSegment && k < points.size(); ++k)
            shape.push_back(points[k]);
    } else if (fromSegment > toSegment) {
        for (uint32_t k = std::min<uint32_t>(fromSegment, points.size() - 1); k > toSegment; --k)
            shape.push_back(points[k]);
    }
    shape.push_back(to);
    return shape;
}

// Start and destination on one link within the arrival distance: the vehicle is
// there; the way along the link between the two points.
void Arrive(const MapLink& link, const LinkSnap& from, const LinkSnap& to, RouteResult& result) {
    result.shape = AlongLink(link, from.point, from.segment, to.point, to.segment);
    double metres = 0;
    for (size_t i = 1; i < result.shape.size(); ++i)
        metres += FlatMetres(result.shape[i - 1], result.shape[i]);
    result.kind = RouteResult::Kind::kArrived;
    result.lengthMetres = metres;
    result.timeSeconds = metres / (kCategoryKmh[link.attributes & 7] / 3.6);
    ManeuverLine arrival;
    arrival.kind = kManeuverArrival;
    arrival.glyph = GetManeuverGlyphText(kManeuverArrival, nullptr);
    arrival.icon = ManeuverIconId(kManeuverArrival);
    char road[kStreetTextSize];
    arrival.road = GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, kPrimaryNames, road,
                                     sizeof road, false);
    arrival.distanceMetres = metres;
    result.maneuvers.push_back(arrival);
}

// The route's points in driving order, from the start point to the destination.
std::vector<MapPoint> RouteShape(const CRouter& router) {
    if (router.routeCount == 0)
        return router.routeStartLink
                   ? AlongLink(*router.routeStartLink, router.startPoint, router.startSegment,
                               router.destPoint, router.destSegment)
                   : std::vector<MapPoint>{router.startPoint, router.destPoint};
    std::vector<MapPoint> shape{router.startPoint};
    const MapLink* start = router.routeStartLink;
    const MapNode* first = ResolveNodeRef(router.routeList[0]);
    if (start && first && start->fromNode && start->toNode) {
        const std::vector<MapPoint> points = LinkPoints(*start);
        const uint32_t k = std::min<uint32_t>(router.startSegment, points.size() - 2);
        // The start part says which way the route leaves (a link that loops back to
        // its own node has the same node at both ends).
        const bool towardTo =
            router.startPart == 2 || (router.startPart != 1 && first == start->toNode);
        if (towardTo) {
            for (size_t i = k + 1; i < points.size(); ++i)
                shape.push_back(points[i]);
        } else {
            for (size_t i = k + 1; i-- > 0;)
                shape.push_back(points[i]);
        }
    }
    for (int32_t i = 0; i + 1 < router.routeCount; ++i) {
        const RouteEntry& entry = router.routeList[i];
        const MapNode* node = ResolveNodeRef(entry);
        const MapLink* link = node ? node->Slots()[entry.Slot()] : nullptr;
        if (!link || !link->fromNode || !link->toNode)
            continue;
        std::vector<MapPoint> points = LinkPoints(*link);
        if (node != link->fromNode)
            std::reverse(points.begin(), points.end());
        shape.insert(shape.end(), points.begin() + 1, points.end());
    }
    const MapLink* dest = router.routeDestLink;
    const MapNode* last = ResolveNodeRef(router.routeList[router.routeCount - 1]);
    if (dest && last && dest->fromNode && dest->toNode) {
        const std::vector<MapPoint> points = LinkPoints(*dest);
        const uint32_t k = std::min<uint32_t>(router.destSegment, points.size() - 2);
        const bool fromFrom =
            router.destPart == 1 || (router.destPart != 2 && last == dest->fromNode);
        if (fromFrom) {
            for (size_t i = 1; i <= k; ++i)
                shape.push_back(points[i]);
        } else {
            for (size_t i = points.size() - 2; i > k; --i)
                shape.push_back(points[i]);
        }
    }
    shape.push_back(router.destPoint);
    return shape;
}

double RouteSeconds(const CRouter& router) {
    double seconds = 0;
    if (router.routeStartLink)
        seconds += Seconds(router.startPartLength, router.routeStartLink->attributes);
    for (int32_t i = 0; i + 1 < router.routeCount; ++i) {
        const RouteEntry& entry = router.routeList[i];
        const MapNode* node = ResolveNodeRef(entry);
        if (const MapLink* link = node ? node->Slots()[entry.Slot()] : nullptr)
            seconds += Seconds(link->Length(), entry.attributes);
    }
    const RouteEntry* last =
        router.routeCount > 0 ? &router.routeList[router.routeCount - 1] : nullptr;
    const uint32_t destAttributes =
        last ? last->attributes : (router.routeStartLink ? router.routeStartLink->attributes : 0);
    seconds += Seconds(router.destPartLength, destAttributes);
    return seconds;
}

}  // namespace

RouteResult Session::Route(const MapPoint& from, const MapPoint& to) {
    const Clock::time_point begin = Clock::now();
    State& s = *state_;
    CRouter& router = *s.router;
    RouteResult result;
    s.boxes.clear();
    router.ResetRoute(0, 0, 0);
    // The destination first, then the start, as the program does: the start's area
    // stays loaded. A snapped link is good only until the next load, so the router
    // is handed copies and finds the links again by id.
    const LinkSnap toSnap = SnapToNearestLink(g_mapDatabase, to, kSnapRadiusMetres);
    result.to = SnappedOf(to, toSnap);
    MapLink& toLink = s.toLink;
    toLink = {};
    if (toSnap.Found())
        toLink = *toSnap.link;
    const LinkSnap fromSnap = SnapToNearestLink(g_mapDatabase, from, kSnapRadiusMetres);
    result.from = SnappedOf(from, fromSnap);
    if (!toSnap.Found() || !fromSnap.Found()) {
        result.kind = RouteResult::Kind::kNoRoad;
    } else {
        // The way along one link is taken now: the search's loads may move the link.
        RouteResult arrival = result;
        if (fromSnap.link->linkId == toLink.linkId)
            Arrive(*fromSnap.link, fromSnap, toSnap, arrival);
        MapLink& fromLink = s.fromLink;
        fromLink = *fromSnap.link;
        {
            // With a heading the vehicle stands matched at the start facing it, as the
            // program's does after a start, and the route leaves the way it faces.
            StartingVehicle vehicle(s.options.headingDegrees, fromLink, fromSnap);
            router.CalculateRoute(&fromLink, fromSnap.segment, fromSnap.point,
                                  SnappedTarget(toSnap, &toLink), 0, 1);
        }
        if (router.lastSearch.arrived && arrival.kind == RouteResult::Kind::kArrived) {
            result = std::move(arrival);
        } else if (router.HasRouteToFollow()) {
            result.kind = RouteResult::Kind::kRoute;
            for (int32_t i = 0; i < router.maneuverCount; ++i) {
                const Maneuver& m = router.maneuvers[i];
                ManeuverLine line;
                line.kind = m.kind;
                char text[kManeuverTextSize];
                line.glyph = GetManeuverGlyphText(
                    m.kind, text, sizeof text,
                    m.kind == kManeuverArrival ? DestinationSide(router) : kSideUnknown);
                line.text = text;
                line.icon = ManeuverIconId(m.kind);
                char road[kManeuverTextSize];
                const char* name = FormatManeuverRoadName(router, road, m, false);
                line.road = name ? name : "";
                line.distanceMetres = Metres(m.distance);
                result.lengthMetres += line.distanceMetres;
                result.maneuvers.push_back(std::move(line));
            }
            for (int32_t i = 0; i < router.routeCount; ++i)
                result.links.push_back(router.routeList[i].linkId);
            result.timeSeconds = RouteSeconds(router);
            result.shape = RouteShape(router);
        }
    }
    result.messages = s.boxes;
    result.ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    return result;
}

// ---- Output ---------------------------------------------------------------------

std::string FiguresLine(const RouteResult& result) {
    char line[160];
    std::snprintf(line, sizeof line, "length_m=%.0f time_s=%.0f maneuvers=%zu ms=%.2f",
                  result.lengthMetres, result.timeSeconds, result.maneuvers.size(), result.ms);
    return line;
}

void PrintText(const Options& options, const RouteResult& result, std::ostream& out) {
    char line[400];
    for (const auto& [label, end] :
         {std::pair{"from", &result.from}, std::pair{"to", &result.to}}) {
        char heading[32] = "";
        if (end == &result.from && options.headingDegrees >= 0)
            std::snprintf(heading, sizeof heading, ", heading %.0f", options.headingDegrees);
        if (end->found)
            std::snprintf(line, sizeof line,
                          "%-4s %.6f,%.6f%s: on the nearest road at %.6f,%.6f, %.0f m away (link "
                          "%d)\n",
                          label, end->asked.latitude, end->asked.longitude, heading,
                          end->point.latitude, end->point.longitude, end->metres, end->linkId);
        else
            std::snprintf(line, sizeof line, "%-4s %.6f,%.6f: no road within %.0f m\n", label,
                          end->asked.latitude, end->asked.longitude, kSnapRadiusMetres);
        out << line;
    }
    std::snprintf(line, sizeof line, "method %s, result %s\n", MethodName(options.method),
                  result.ResultName());
    out << line;
    for (const std::string& message : result.messages)
        out << "router: " << message << "\n";
    if (!result.maneuvers.empty())
        out << "    driven  sign  maneuver                 road\n";
    for (const ManeuverLine& m : result.maneuvers) {
        std::snprintf(line, sizeof line, "%8.0f m  %-4c  %-24s %s\n", m.distanceMetres, m.glyph,
                      m.text.c_str(), m.road.c_str());
        out << line;
    }
    out << FiguresLine(result) << "\n";
}

DriveReport Session::Guide(const GuideOptions& options, std::ostream& out) {
    CRouter& router = *state_->router;
    if (!router.HasRouteToFollow())
        throw std::runtime_error("no route to drive");
    state_->boxes.clear();
    return GuideDrive(router, options, out);
}

void PrintJson(const Options& options, const RouteResult& result, std::ostream& out,
               const DriveReport* drive) {
    using nlohmann::json;
    auto end = [](const Snapped& s) {
        json value = {{"asked", {s.asked.latitude, s.asked.longitude}}};
        if (s.found) {
            value["snapped"] = {s.point.latitude, s.point.longitude};
            value["metres"] = s.metres;
            value["link_id"] = s.linkId;
        } else {
            value["snapped"] = nullptr;
        }
        return value;
    };
    json maneuvers = json::array();
    for (const ManeuverLine& m : result.maneuvers) {
        maneuvers.push_back({{"kind", m.kind},
                             {"glyph", std::string(1, m.glyph)},
                             {"icon", m.icon},
                             {"text", m.text},
                             {"road", m.road},
                             {"distance_m", m.distanceMetres}});
    }
    json shape = json::array();
    for (const MapPoint& p : result.shape)
        shape.push_back({p.latitude, p.longitude});
    json from = end(result.from);
    if (options.headingDegrees >= 0)
        from["heading"] = options.headingDegrees;
    const json document = {{"from", from},
                           {"to", end(result.to)},
                           {"method", MethodName(options.method)},
                           {"result", result.Found() ? result.ResultName() : "none"},
                           {"length_m", result.lengthMetres},
                           {"time_s", result.timeSeconds},
                           {"maneuvers", maneuvers},
                           {"links", result.links},
                           {"shape", shape},
                           {"messages", result.messages},
                           {"ms", result.ms}};
    json full = document;
    if (drive) {
        json phrases = json::array();
        for (const DrivePhrase& phrase : drive->phrases)
            phrases.push_back({{"second", phrase.second},
                               {"to_maneuver_m", phrase.toManeuverMetres},
                               {"words", phrase.text}});
        full["drive"] = {{"updates", drive->updates.size()},
                         {"phrases", phrases},
                         {"screens", drive->screens},
                         {"recalcs", drive->recalcs},
                         {"arrived", drive->arrived}};
    }
    out << full.dump(2) << "\n";
}

namespace {

int RunWithMaps(const Options& options, std::ostream& out, std::ostream& err) {
    try {
        if (!options.pairs.empty()) {
            const std::vector<Pair> pairs = ReadPairs(options.pairs);
            Session session(options);
            std::vector<double> times;
            size_t found = 0;
            out << "length_m,time_s,maneuvers,ms,result\n";
            char line[160];
            for (const Pair& pair : pairs) {
                const RouteResult result = session.Route(pair.from, pair.to);
                times.push_back(result.ms);
                found += result.Found() ? 1 : 0;
                std::snprintf(line, sizeof line, "%.0f,%.0f,%zu,%.3f,%s\n", result.lengthMetres,
                              result.timeSeconds, result.maneuvers.size(), result.ms,
                              result.Found() ? result.ResultName() : "none");
                out << line;
            }
            std::sort(times.begin(), times.end());
            auto at = [&](double q) {
                return times.empty()
                           ? 0.0
                           : times[std::min(times.size() - 1,
                                            static_cast<size_t>(std::ceil(q * times.size())) - 1)];
            };
            const double median = times.empty() ? 0.0
                                  : times.size() % 2
                                      ? times[times.size() / 2]
                                      : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
            std::snprintf(line, sizeof line, "pairs=%zu found=%zu median_ms=%.3f p95_ms=%.3f\n",
                          pairs.size(), found, median, times.empty() ? 0.0 : at(0.95));
            out << line;
            return 0;
        }
        auto opened = std::make_unique<Session>(options);
        Session& session = *opened;
        const RouteResult result = session.Route(options.from, options.to);
        if (!options.guide || result.kind != RouteResult::Kind::kRoute) {
            if (options.json)
                PrintJson(options, result, out);
            else
                PrintText(options, result, out);
            if (options.guide && result.kind == RouteResult::Kind::kArrived)
                out << (options.json ? "" : "updates=0 phrases=0 recalcs=0 arrived=1\n");
            if (options.endsWithProcess)
                static_cast<void>(opened.release());
            return result.Found() ? 0 : 1;
        }
        if (options.json) {
            std::ostringstream events;
            const DriveReport drive = session.Guide(options.drive, events);
            PrintJson(options, result, out, &drive);
            return drive.arrived ? 0 : 1;
        }
        PrintText(options, result, out);
        const DriveReport drive = session.Guide(options.drive, out);
        char figures[160];
        std::snprintf(figures, sizeof figures, "drive_s=%.0f cpu_s=%.3f updates_per_cpu_s=%.0f\n",
                      drive.simulatedSeconds, drive.cpuSeconds,
                      drive.cpuSeconds > 0 ? drive.updates.size() / drive.cpuSeconds : 0.0);
        out << figures << DriveFiguresLine(drive) << "\n";
        return drive.arrived ? 0 : 1;
    } catch (const UsageError& error) {
        err << "route: " << error.what() << "\n";
        return 2;
    } catch (const std::exception& error) {
        err << "route: " << error.what() << "\n";
        return 1;
    }
}

}  // namespace

int Run(const Options& options, std::ostream& out, std::ostream& err) {
    const int readErrors = MapReadErrorCount();
    const int status = RunWithMaps(options, out, err);
    // A chunk that could not be read was said in a box nobody sees: no success.
    if (status != 2 && MapReadErrorCount() != readErrors) {
        err << "route: " << options.maps.string() << ": damaged map data (" << LastMapReadError()
            << ")\n";
        return 1;
    }
    return status;
}

}  // namespace routetool
