// The NMEA fuzz target's body, shared with the test that replays its corpus: any
// bytes go through the receiver's framing and dispatch, and every line through the
// parsers directly (no checksum needed), and the fix must stay within its ranges.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pathlume/position/nmea_receiver.h"

namespace nmea_fuzz {

inline void CheckFix(const GpsFix& fix) {
    const bool sane = std::isfinite(fix.latitude) && std::fabs(fix.latitude) <= 90 &&
                      std::isfinite(fix.longitude) && std::fabs(fix.longitude) <= 180 &&
                      fix.satellitesInView >= 0 && fix.satellitesInView <= kMaxSatellitesInView &&
                      fix.satellitesUsed >= 0 && std::isfinite(fix.speedMph) && fix.speedMph >= 0 &&
                      fix.headingDegrees >= 0 && fix.headingDegrees <= 360 && fix.hour >= 0 &&
                      fix.hour < 24 && fix.minute >= 0 && fix.minute < 60 && fix.second >= 0 &&
                      fix.second <= 60;
    if (!sane)
        std::abort();
}

inline void RunOne(const uint8_t* data, size_t size) {
    // Never destroyed: the fuzzer ends the process without unwinding it.
    static CNmeaReceiver* receiver = new CNmeaReceiver;
    receiver->FrameBytes(reinterpret_cast<const char*>(data), size, [] {
        QueuedPosition position;
        while (g_positionQueue.Pop(&position) == 0) {
        }
    });
    CheckFix(receiver->GetFix());

    GpsFix fix;
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::vector<char> line(text.begin() + static_cast<std::ptrdiff_t>(start),
                               text.begin() + static_cast<std::ptrdiff_t>(end));
        line.push_back(0);
        int typeSeen = 0;
        ParseSentence(fix, line.data(), NmeaSettings{}, &typeSeen);
        CheckFix(fix);
        start = end + 1;
    }
}

}  // namespace nmea_fuzz
