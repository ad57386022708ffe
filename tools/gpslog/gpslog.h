// gpslog: runs a plain NMEA capture, or a live port, through the receiver's
// framing, parsing and position queue, and prints each delivered fix.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "pathlume/position/gps_fix.h"
#include "pathlume/position/position_queue.h"

namespace gpslog {

enum class Format { Csv, Json };

struct RawOptions {
    std::string logPath;
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
};

inline constexpr const char* kCsvHeader =
    "time,lat,lon,speed_kmh,heading,fix,sats,hdop,matched_lat,matched_lon,link,street";

// One delivered fix as a CSV line or a JSON object (no line end).
std::string FormatFix(const GpsFix& fix, const QueuedPosition& position, int fixQuality,
                      Format format);
// "gpslog: N sentences, N checksum failures, N fixes, S s, X MB/s"
std::string FiguresLine(const Figures& figures);

// Exit codes: 0 done, 1 the log cannot be read or the port does not open.
int RunRaw(const RawOptions& options, std::ostream& out, std::ostream& err);
int RunPort(const PortOptions& options, std::ostream& out, std::ostream& err);

}  // namespace gpslog
