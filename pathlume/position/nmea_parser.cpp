#include "pathlume/position/nmea_parser.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pathlume/mapdb/geodesy.h"

namespace {

bool Empty(const char* field) {
    return !field || field[0] == 0;
}

char First(const char* field) {
    return field ? field[0] : 0;
}

// A whole field as a number within [low, high]; false (and *value untouched) for an
// empty, partly numeric, non-finite or out-of-range one: such a field gives no
// value, never a zero.
bool ReadFloat(const char* field, FLOAT* value, float low = -1e6f, float high = 1e6f) {
    if (Empty(field))
        return false;
    char* end = nullptr;
    const float v = std::strtof(field, &end);
    if (end == field || *end != 0 || !std::isfinite(v) || v < low || v > high)
        return false;
    *value = v;
    return true;
}

bool ReadInt(const char* field, int32_t* value, long low = -1000000, long high = 1000000) {
    if (Empty(field))
        return false;
    char* end = nullptr;
    const long v = std::strtol(field, &end, 10);
    if (end == field || *end != 0 || v < low || v > high)
        return false;
    *value = static_cast<int32_t>(v);
    return true;
}

// Ranges of the values a receiver sends; anything outside is a damaged field.
constexpr float kMaxKnots = 1000;
constexpr float kMaxDop = 99.99f;
constexpr float kLowestAltitude = -2000, kHighestAltitude = 100000;  // metres
constexpr float kMaxGeoidSeparation = 200;                           // metres

// "ddmm.mmmm": digits, then an optional fraction, and minutes below 60.
bool IsCoordinateText(const char* value) {
    const char* p = value;
    while (*p >= '0' && *p <= '9')
        ++p;
    const size_t whole = static_cast<size_t>(p - value);
    if (whole < 3)
        return false;
    if (*p == '.')
        for (++p; *p >= '0' && *p <= '9'; ++p) {
        }
    if (*p != 0)
        return false;
    return value[whole - 2] <= '5';
}

constexpr double kMaxCoordinateDegrees = 1000;

// A coordinate from its value and hemisphere fields. Values at or past the limit
// wrap as the receiver's degrees did (91 degrees of latitude read as 1); a negative,
// infinite or unreadable value is no coordinate.
bool ReadCoordinate(const char* value, const char* hemisphere, float limit, char positive,
                    char negative, FLOAT* out) {
    if (Empty(value) || Empty(hemisphere) || !IsCoordinateText(value) ||
        (hemisphere[0] != positive && hemisphere[0] != negative) || hemisphere[1] != 0)
        return false;
    double degrees = ParseNmeaCoordinate(value);
    // No receiver writes a thousand degrees: such a value is a corrupt field.
    if (!std::isfinite(degrees) || degrees < 0 || degrees >= kMaxCoordinateDegrees)
        return false;
    if (degrees >= limit)
        degrees = std::fmod(degrees, limit);
    *out = static_cast<FLOAT>(hemisphere[0] == negative ? -degrees : degrees);
    return true;
}

// Latitude and longitude from four consecutive fields; both or neither are taken.
bool ReadPosition(GpsFix& fix, char** fields) {
    FLOAT latitude = 0, longitude = 0;
    const bool haveLatitude = ReadCoordinate(fields[0], fields[1], 90, 'N', 'S', &latitude);
    const bool haveLongitude = ReadCoordinate(fields[2], fields[3], 180, 'E', 'W', &longitude);
    if (haveLatitude)
        fix.latitude = latitude;
    if (haveLongitude)
        fix.longitude = longitude;
    return haveLatitude && haveLongitude;
}

bool IsDigits(const char* text, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool IsValidTime(int32_t hour, int32_t minute, int32_t second) {
    return hour < 24 && minute < 60 && second <= 60;
}

// A day of its month; the two-digit year counts from 2000, so its leap years are
// those divisible by four.
bool IsValidDate(int32_t day, int32_t month, int32_t year) {
    static constexpr int32_t kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1])
        return false;
    return month != 2 || day < 29 || year % 4 == 0;
}

}  // namespace

int VerifyNmeaChecksum(const char* sentence) {
    if (!sentence || sentence[0] != '$')
        return 0;
    unsigned sum = 0;
    const char* p = sentence + 1;
    for (; *p && *p != '*'; ++p)
        sum ^= static_cast<unsigned char>(*p);
    if (*p != '*')
        return 0;
    // Two hex digits and nothing after them.
    auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    const int high = hex(p[1]);
    const int low = high < 0 ? -1 : hex(p[2]);
    if (low < 0 || p[3] != 0)
        return 0;
    return static_cast<unsigned>(high * 16 + low) == sum ? 1 : 0;
}

int SplitNmeaFields(char* sentence, char** fields, int maxFields) {
    int count = 0;
    char* p = sentence;
    while (count < maxFields) {
        fields[count++] = p;
        char* comma = std::strchr(p, ',');
        if (!comma)
            break;
        *comma = 0;
        p = comma + 1;
    }
    for (int i = count; i < maxFields; ++i)
        fields[i] = nullptr;
    if (count > 0) {
        char* star = std::strchr(fields[count - 1], '*');
        if (star)
            *star = 0;
    }
    return count;
}

int ParseNmeaTime(const char* field, int32_t* first, int32_t* second, int32_t* third) {
    *first = *second = *third = 0;
    if (!field || std::strlen(field) < 6 || !IsDigits(field, 6))
        return 1;
    int32_t a = (field[0] - '0') * 10 + (field[1] - '0');
    int32_t b = (field[2] - '0') * 10 + (field[3] - '0');
    int32_t c = (field[4] - '0') * 10 + (field[5] - '0');
    // A fraction rounds to the nearest second; the carry runs on through the
    // minutes and hours, so 12:59:59.6 is 13:00:00. Only a rounded time carries: a
    // date's year 60 is a year, and a leap second 60 is kept.
    if (field[6] == '.' && field[7] >= '5' && field[7] <= '9' && ++c == 60) {
        c = 0;
        if (++b == 60) {
            b = 0;
            if (++a == 24)
                a = 0;
        }
    }
    *first = a;
    *second = b;
    *third = c;
    return 0;
}

int ParseGga(GpsFix& fix, char* sentence) {
    char* f[kMaxNmeaFields];
    if (SplitNmeaFields(sentence, f, kMaxNmeaFields) != 15)
        return kSentenceRefused;
    const bool havePosition = ReadPosition(fix, f + 2);
    fix.estimated = First(f[6]) == '6';
    // A fix without a position is no fix (an empty quality field counts as a fix).
    fix.valid = First(f[6]) != '0' && havePosition;
    int32_t used = 0;
    if (ReadInt(f[7], &used, 0, 99))
        fix.satellitesUsed = used;
    else if (Empty(f[7]))
        fix.satellitesUsed = 0;
    ReadFloat(f[8], &fix.hdop, 0, kMaxDop);
    ReadFloat(f[9], &fix.altitude, kLowestAltitude, kHighestAltitude);
    if (!Empty(f[10]))
        ReadFloat(f[11], &fix.geoidSeparation, -kMaxGeoidSeparation, kMaxGeoidSeparation);
    return kSentenceTaken;
}

int ParseRmc(GpsFix& fix, char* sentence, const NmeaSettings& settings) {
    char* f[13];
    const int count = SplitNmeaFields(sentence, f, 13);
    if (count < 12)
        return kSentenceRefused;
    const bool active = First(f[2]) == 'A';
    if (!Empty(f[1])) {
        int32_t hour, minute, second;
        if (ParseNmeaTime(f[1], &hour, &minute, &second) != 0 || !IsValidTime(hour, minute, second))
            return kSentenceRefused;
        // A repeated RMC is no new fix; the first time taken repeats nothing, also
        // at midnight.
        if (active && fix.timeTaken && hour == fix.hour && minute == fix.minute &&
            second == fix.second)
            return kSentenceRefused;
        fix.hour = hour;
        fix.minute = minute;
        fix.second = second;
        fix.timeTaken = true;
    }
    const bool havePosition = ReadPosition(fix, f + 3);
    FLOAT knots = 0;
    if (!active && !Empty(f[7]))
        fix.speedMph = 0;
    else if (ReadFloat(f[7], &knots, 0, kMaxKnots))
        fix.speedMph = knots * kKnotsToMph;
    FLOAT course = 0;
    if (ReadFloat(f[8], &course, -360, 720)) {
        course = std::fmod(course, 360.0f);
        if (course < 0)
            course += 360;
        if (!settings.headingOnlyWhenMoving || fix.speedMph >= 1.0f)
            fix.headingDegrees = course;
    }
    if (!Empty(f[9])) {
        int32_t day, month, year;
        if (ParseNmeaTime(f[9], &day, &month, &year) == 0 && std::strlen(f[9]) == 6 &&
            IsValidDate(day, month, year)) {
            fix.day = day;
            fix.month = month;
            fix.year = year;
        }
    }
    FLOAT variation = 0;
    if ((First(f[11]) == 'E' || First(f[11]) == 'W') && ReadFloat(f[10], &variation, 0, 180))
        fix.magneticVariation = First(f[11]) == 'W' ? -variation : variation;
    // The mode indicator of a 13-field sentence decides ('E', estimated, is a fix
    // even with status 'V'); an empty one leaves it to the status.
    const char mode = count == 13 ? First(f[12]) : 0;
    const bool valid = mode != 0 ? mode != 'N' : active;
    fix.valid = valid && havePosition;
    return kSentenceTaken;
}

int ParseGll(GpsFix& fix, char* sentence) {
    char* f[8];
    if (SplitNmeaFields(sentence, f, 8) < 7)
        return kSentenceRefused;
    const bool havePosition = ReadPosition(fix, f + 1);
    fix.valid = First(f[6]) == 'A' && havePosition;
    return kSentenceTaken;
}

int ParseGsa(GpsFix& fix, char* sentence) {
    char* f[kMaxNmeaFields];
    if (SplitNmeaFields(sentence, f, kMaxNmeaFields) != 18)
        return kSentenceRefused;
    const char mode = First(f[2]);
    if (mode == '2' || mode == '3') {
        fix.fixMode = mode - '0';
        fix.valid = true;
    } else {
        fix.valid = false;
    }
    int used = 0;
    for (int i = 3; i <= 14; ++i) {
        int32_t number = 0;
        if (ReadInt(f[i], &number, 1, 255))
            fix.usedSatellites[used++] = number;
    }
    fix.satellitesUsed = used;
    ReadFloat(f[15], &fix.pdop, 0, kMaxDop);
    ReadFloat(f[16], &fix.hdop, 0, kMaxDop);
    ReadFloat(f[17], &fix.vdop, 0, kMaxDop);
    return kSentenceTaken;
}

int ParseGsv(GpsFix& fix, char* sentence) {
    char* f[kMaxNmeaFields];
    const int count = SplitNmeaFields(sentence, f, kMaxNmeaFields);
    if (count < 8)
        return -1;
    int32_t total = 0, number = 0, inView = 0;
    // Message numbers start at 1; a number past the group would write past the
    // satellite table, so only entries that fit are kept.
    if (!ReadInt(f[1], &total) || !ReadInt(f[2], &number) || number < 1 || number > total)
        return -1;
    if (!ReadInt(f[3], &inView) || inView < 0)
        inView = 0;
    int stored = 0;
    for (int field = 4; field < count; field += 4) {
        if (Empty(f[field]))
            continue;
        const int entry = 4 * (number - 1) + stored;
        ++stored;
        if (entry >= kMaxSatellitesInView)
            continue;
        SatelliteInView& satellite = fix.satellites[entry];
        satellite = SatelliteInView{};
        ReadInt(f[field], &satellite.number, 1, 255);
        ReadInt(field + 1 < count ? f[field + 1] : nullptr, &satellite.elevationDegrees, 0, 90);
        ReadInt(field + 2 < count ? f[field + 2] : nullptr, &satellite.azimuthDegrees, 0, 359);
        satellite.snr = 0;
        ReadInt(field + 3 < count ? f[field + 3] : nullptr, &satellite.snr, 0, 99);
    }
    fix.satellitesInView = std::min<int32_t>(inView, kMaxSatellitesInView);
    return total - number;
}

namespace {

// "$GP" and, for the position sentences, "$GN": receivers that combine several
// satellite systems send RMC, GGA and GLL from the "GN" talker only.
bool IsSentence(const char* sentence, const char* type, bool combinedTalker) {
    if (sentence[0] != '$' || sentence[1] != 'G')
        return false;
    if (sentence[2] != 'P' && !(combinedTalker && sentence[2] == 'N'))
        return false;
    return std::strncmp(sentence + 3, type, 3) == 0;
}

}  // namespace

int ParseSentence(GpsFix& fix, char* sentence, const NmeaSettings& settings, int* typeSeen) {
    *typeSeen = 0;
    if (IsSentence(sentence, "GGA", true)) {
        *typeSeen = kSentenceGga;
        return ParseGga(fix, sentence) == kSentenceTaken ? kSentenceGga : kSentenceNone;
    }
    if (IsSentence(sentence, "RMC", true)) {
        *typeSeen = kSentenceRmc;
        return ParseRmc(fix, sentence, settings) == kSentenceTaken ? kSentenceRmc : kSentenceNone;
    }
    if (IsSentence(sentence, "GLL", true)) {
        *typeSeen = kSentenceGll;
        return ParseGll(fix, sentence) == kSentenceTaken ? kSentenceGll : kSentenceNone;
    }
    if (IsSentence(sentence, "GSA", false)) {
        *typeSeen = kSentenceGsa;
        return ParseGsa(fix, sentence) == kSentenceTaken ? kSentenceGsa : kSentenceNone;
    }
    if (IsSentence(sentence, "GSV", false) && std::strncmp(sentence, "$GPGSV,4", 8) != 0) {
        *typeSeen = kSentenceGsv;
        return ParseGsv(fix, sentence) == 0 ? kSentenceGsv : kSentenceNone;
    }
    return kSentenceNone;
}

void NmeaFramer::DropFront(size_t bytes) {
    bytes = std::min(bytes, fill_);
    std::memmove(buffer_, buffer_ + bytes, fill_ - bytes);
    fill_ -= bytes;
    scanned_ = 0;
}

void NmeaFramer::Frame(const SentenceHandler& handler, const std::function<bool()>& stop) {
    while (fill_ > 0) {
        if (buffer_[0] != '$') {
            const void* dollar = std::memchr(buffer_, '$', fill_);
            if (!dollar) {
                Clear();
                return;
            }
            DropFront(static_cast<const char*>(dollar) - buffer_);
        }
        size_t end = 1 + scanned_;
        while (end < fill_) {
            const unsigned char c = static_cast<unsigned char>(buffer_[end]);
            if (c == '\r' || c == '\n' || c == 0 || c >= 128)
                break;
            ++end;
        }
        if (end == fill_) {
            if (fill_ < kSentenceBufferData) {
                scanned_ = end - 1;
                return;  // wait for the rest of the sentence
            }
            // A buffer full of one sentence: no receiver sends such a line.
            ++dropped_;
            const void* next = std::memchr(buffer_ + 1, '$', fill_ - 1);
            DropFront(next ? static_cast<const char*>(next) - buffer_ : fill_);
            continue;
        }
        const char c = buffer_[end];
        if (c != '\r' && c != '\n') {
            ++dropped_;  // a byte no sentence holds
            DropFront(end + 1);
            continue;
        }
        buffer_[end] = 0;
        handler(buffer_, end);
        DropFront(end + 1);
        if (stop && stop())
            return;
    }
}

void NmeaFramer::Feed(const char* data, size_t size, const SentenceHandler& handler) {
    while (size > 0) {
        const size_t n = std::min(size, FreeSize());
        std::memcpy(FreeSpace(), data, n);
        Commit(n);
        data += n;
        size -= n;
        Frame(handler);
    }
}
