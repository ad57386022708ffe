// The receiver's fix record: what the sentence parsers fill and what every other
// part reads, always as one consistent copy (CGpsDevice::GetFix).
#pragma once

#include <cstdint>

#include "platform/kernel/wintypes.h"

inline constexpr int kMaxSatellitesUsed = 12;
inline constexpr int kMaxSatellitesInView = 14;

// Fix modes of GSA.
inline constexpr int32_t kFixModeNone = 1;
inline constexpr int32_t kFixMode2D = 2;
inline constexpr int32_t kFixMode3D = 3;

// Knots from the receiver to miles per hour, and miles per hour to km/h.
inline constexpr float kKnotsToMph = 1.15078f;
inline constexpr float kMphToKmh = 1.609347f;

struct SatelliteInView {
    int32_t number = 0;
    int32_t elevationDegrees = 0;
    int32_t azimuthDegrees = 0;
    int32_t snr = -1;  // signal-to-noise ratio; -1 never seen, 0 not tracked
};

struct GpsFix {
    bool valid = false;
    bool estimated = false;  // the last GGA reported quality 6
    int32_t hour = 0, minute = 0, second = 0;
    bool timeTaken = false;                // an RMC time was read (00:00:00 is a time too)
    int32_t day = 0, month = 0, year = 0;  // month 0: no date received yet; year two-digit
    FLOAT latitude = 0, longitude = 0;     // degrees, south and west negative
    FLOAT speedMph = 0;
    FLOAT headingDegrees = 0;  // clockwise from north, 0 to 360
    FLOAT altitude = 0;
    FLOAT magneticVariation = 0;  // degrees, west negative
    FLOAT pdop = 0, hdop = 0, vdop = 0;
    FLOAT geoidSeparation = 0;
    int32_t fixMode = kFixModeNone;
    int32_t satellitesUsed = 0;
    int32_t usedSatellites[kMaxSatellitesUsed] = {};
    int32_t satellitesInView = 0;
    SatelliteInView satellites[kMaxSatellitesInView];
};
