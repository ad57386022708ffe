// gpslog: runs a GPS log, a plain NMEA capture or a live port through the
// receiver's framing, parsing and position queue, and prints each delivered fix,
// matched onto the roads of device map files when asked.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "pathlume/position/gps_fix.h"
#include "pathlume/position/position_queue.h"

namespace gpslog {

enum class Format { Csv, Json };

struct LogOptions {
    std::string logPath;
    // Device map files to match each fix onto (empty: no matching).
    std::filesystem::path maps;
    Format format = Format::Csv;
    bool realtime = false;  // one fix per "PlaybackDelay"
};

struct PortOptions {
    std::string port;  // "COMn:", a tty path or "gpsd://HOST:PORT"
    uint32_t baud = 4800;
    double seconds = 0;  // 0: until the port hangs up
    Format format = Format::Csv;
};

struct Figures {
    uint64_t sentences = 0;
    uint64_t checksumFailures = 0;
    uint64_t fixes = 0;
    uint64_t bytes = 0;
    double seconds = 0;
    // With map files: fixes matched, and the median time of CMapMatcher::Snap for one.
    std::optional<uint64_t> matched;
    double medianMatchMs = 0;
};

// Where a fix was matched: the snapped point, the link's id and its street text.
struct MatchedFix {
    double latitude = 0;
    double longitude = 0;
    int32_t linkId = 0;
    std::string street;
};

inline constexpr const char* kCsvHeader =
    "time,lat,lon,speed_kmh,heading,fix,sats,hdop,matched_lat,matched_lon,link,street";

// One delivered fix as a CSV line or a JSON object (no line end); the matched
// columns are empty (null) without a match.
std::string FormatFix(const GpsFix& fix, const QueuedPosition& position, int fixQuality,
                      Format format, const MatchedFix* matched = nullptr);
// "gpslog: N sentences, N checksum failures, N fixes, S s, X MB/s", and with map
// files ", matched P %, median M ms per matched fix".
std::string FiguresLine(const Figures& figures);

// Exit codes: 0 done, 1 the log cannot be read, the map folder holds no usable map
// files or the port does not open.
// RunLog plays the program's own GPS log through the receiver's playback thread, this
// thread acting as the main view; RunRaw frames a plain capture as it reads.
int RunLog(const LogOptions& options, std::ostream& out, std::ostream& err);
int RunRaw(const LogOptions& options, std::ostream& out, std::ostream& err);
int RunPort(const PortOptions& options, std::ostream& out, std::ostream& err);

}  // namespace gpslog
