// Routes over a folder of device map files with the program's own map database and
// router: one route from a point to a point, printed maneuver by maneuver or as
// JSON, or a file of point pairs routed in one process with their timings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "pathlume/mapdb/map_records.h"
#include "tools/route/guided_drive.h"

namespace routetool {

// A point is put onto the nearest road no farther than this.
inline constexpr double kSnapRadiusMetres = 1000.0;

// What --avoid adds: a route option, or the link nearest a point.
struct Avoid {
    uint32_t option = 0;  // 0x10 toll roads, 0x200 ferries, 0x20 carpool links
    bool atPoint = false;
    MapPoint point;
};

struct Options {
    std::filesystem::path maps;
    int method = 1;               // 0 shortest, 1 quickest, 2 major roads, 3 local roads
    uint32_t routeFlags = 0x220;  // carpool and ferries excluded
    std::vector<Avoid> avoids;
    bool json = false;
    // One route, or a pairs file.
    MapPoint from;
    MapPoint to;
    // The vehicle's heading at the start, degrees clockwise from north, as the
    // program keeps it in "LastHead"; below 0: none known, the route may leave the
    // start either way.
    double headingDegrees = -1;
    std::filesystem::path pairs;
    // Then drive the route with guidance.
    bool guide = false;
    GuideOptions drive;
    // The process ends right after one route without a drive: its session (maps,
    // router) is left for the system to take back instead of being taken apart.
    bool endsWithProcess = false;
};

// Bad arguments or a bad pairs file; the text says which (exit 2).
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The link's points from its from-node to its to-node.
std::vector<MapPoint> LinkPoints(const MapLink& link);

// "42.5,1.52" -> the point; UsageError for anything else or a point off the earth.
MapPoint ParsePoint(const std::string& text, const std::string& what);
// "shortest", "quickest", "major", "local" -> 0 to 3; UsageError otherwise.
int ParseMethod(const std::string& name);
const char* MethodName(int method);
// "toll", "ferries", "carpool" or LAT,LON.
Avoid ParseAvoid(const std::string& text);

// One point pair of a pairs file.
struct Pair {
    MapPoint from;
    MapPoint to;
};
// The pairs of a file: lines "from_lat,from_lon,to_lat,to_lon"; a header line, blank
// lines and "#" lines are skipped. UsageError naming the file and line otherwise.
std::vector<Pair> ReadPairs(const std::filesystem::path& file);

struct ManeuverLine {
    uint32_t kind = 0;
    char glyph = '?';
    int icon = 0;
    std::string text;
    std::string road;
    double distanceMetres = 0;
};

struct Snapped {
    MapPoint asked;
    bool found = false;
    MapPoint point;
    double metres = 0;
    int32_t linkId = 0;
};

// The answer to one query.
struct RouteResult {
    enum class Kind { kRoute, kArrived, kNone, kNoRoad };
    Kind kind = Kind::kNone;
    Snapped from;
    Snapped to;
    double lengthMetres = 0;  // the maneuvers' distances added up
    double timeSeconds = 0;
    std::vector<ManeuverLine> maneuvers;
    std::vector<int32_t> links;         // the route list: each entry's leaving link
    std::vector<MapPoint> shape;        // driving order
    std::vector<std::string> messages;  // what the router showed
    double ms = 0;                      // the whole query

    bool Found() const { return kind == Kind::kRoute || kind == Kind::kArrived; }
    const char* ResultName() const;
};

// The maps, the router and the route options for a run; one at a time per process.
class Session {
  public:
    // Throws std::runtime_error when the folder's maps cannot be opened.
    explicit Session(const Options& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    RouteResult Route(const MapPoint& from, const MapPoint& to);
    // Drives the last route found with guidance (g_router holds it).
    DriveReport Guide(const GuideOptions& options, std::ostream& out);

  private:
    struct State;
    // The router and its options; throws std::runtime_error for an --avoid point
    // with no road near.
    void Configure();
    // Gives back everything the session holds; the object is empty afterwards.
    void Close();

    State* state_;
};

// Runs the tool: 0 done, 1 the maps cannot be read or (one route) no route or no
// road near an end, 2 bad arguments. Messages go to err.
int Run(const Options& options, std::ostream& out, std::ostream& err);

void PrintText(const Options& options, const RouteResult& result, std::ostream& out);
// With a drive, the JSON holds it under "drive".
void PrintJson(const Options& options, const RouteResult& result, std::ostream& out,
               const DriveReport* drive = nullptr);

// "length_m=... time_s=... maneuvers=... ms=..."
std::string FiguresLine(const RouteResult& result);

}  // namespace routetool
