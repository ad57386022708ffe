// Spoken guidance phrases: sequences of prompt words (indexes of PromptWordTable)
// for distances, road numbers and roundabout exits, and the distances at which a
// maneuver is announced. Pure functions over a phrase buffer; the guidance update
// decides when to speak and hands the buffer to CVoicePrompt::Speak.
#pragma once

#include <cstdint>

#include "pathlume/voice/voice_prompt.h"
#include "platform/kernel/wintypes.h"

// Prompt words by name (indexes of PromptWordTable).
namespace word {
inline constexpr int kTen = 10;     // "10"; "20".."90" follow
inline constexpr int kEleven = 19;  // "11".."19" follow
inline constexpr int kThreeQuarters = 28;
inline constexpr int kHundred = 29;   // "100"
inline constexpr int kThousand = 38;  // "1000"
inline constexpr int kAlarm2 = 73;
inline constexpr int kBearL = 40, kBearR = 41;
inline constexpr int kDest = 42, kDrive = 43, kEast = 44, kEntFwy = 45, kExit = 46, kFeet = 47;
inline constexpr int kFwy = 48, kIn = 49, kKeepL = 50, kKeepR = 51, kMile = 52, kMiles = 53;
inline constexpr int kNearestRoad = 54, kNorth = 55, kOnLeft = 57, kOnRight = 58, kOnto = 59;
inline constexpr int kPoint = 60, kSouth = 63, kStraight = 64, kRoundabout = 65, kThen = 66;
inline constexpr int kThenImm = 67, kTurnL = 68, kTurnR = 69, kUturn = 70, kWait4Gps = 71;
inline constexpr int kWest = 72, kMeters = 74, kKm = 75, kKms = 76, kFollow = 78, kYards = 79;
inline constexpr int kFirst = 81;  // "1st".."12th" follow
inline constexpr int kTake = 93, kOffRouteUturn = 94, kDestOn = 95;
inline constexpr int kExitL = 100, kExitR = 101, kEntFwyL = 102, kEntFwyR = 103, kChime = 109;

// "0".."9" for a digit, "10".."90" for a tens digit 1..9, "10".."19" for 10..19.
constexpr int Digit(int d) {
    return d;
}
constexpr int Tens(int d) {
    return kTen + d - 1;
}
constexpr int Teen(int n) {
    return n == 10 ? kTen : kEleven + n - 11;
}
}  // namespace word

// Up to kMaxPhraseWords words in order; words beyond that are dropped, so a
// phrase is cut and never overruns the prompt's words.
class PhraseBuffer {
  public:
    void Append(int w) {
        if (count < kMaxPhraseWords) {
            words[count++] = w;
        } else {
            cut = true;
        }
    }
    int32_t words[kMaxPhraseWords] = {};
    int count = 0;
    bool cut = false;  // a word was dropped
};

enum class SpokenUnits { kFeet, kYards, kMetric };
// The units g_options asks for.
SpokenUnits CurrentSpokenUnits();

// A whole distance in feet (kFeet, kYards) or metres (kMetric), optionally led by
// "in": thousands and hundreds, tens only below 100 or (yards, metric) with a
// hundreds digit 0-2, units never, then the unit word. False, and nothing
// appended, when no digit would be said (below 10, or 10,000 and above).
bool AppendNumberPhrases(PhraseBuffer& phrase, double value, SpokenUnits units, bool leadingIn);

// Miles or kilometres with one decimal: "in" when asked, the whole part (when not
// 0), "point" and the tenth (when not 0), then "mile"/"km" for exactly 1.0, else
// "miles"/"kms".
void AppendDecimalPhrases(PhraseBuffer& phrase, double value, bool metric, bool leadingIn);

// A long distance told alone: "drive", the miles or kilometres (a tenth only
// below 10) and the unit.
void AppendDrivePhrase(PhraseBuffer& phrase, double value, bool metric);

// The highway number of a road name (cut at "/"), -1 when none: "I-5" or "I 5"
// (kind 0), "US-101" (1), "CA-1" at the start (2), else any name of four or more
// characters with "-" as its third (3). Only roads of class 0xc0 and below
// carry numbers worth saying.
int ParseHighwayNumber(const char* name, uint32_t roadClass, int* kind = nullptr);

// A road number of one to three digits as route designations are said: 5 "5",
// 15 "15", 45 "40" "5", 101 "1" "0" "1", 500 "5" "100", 110 "1" "10". False, and
// nothing appended, outside 1..999.
bool AppendHighwayNumber(PhraseBuffer& phrase, int number);

// "then" "take" "3rd" "exit" for exits 1 to 12; nothing beyond.
void AppendRoundaboutExitWords(PhraseBuffer& phrase, int exitNumber);

// Distances of the stages of one maneuver, radians of arc.
struct StageDistances {
    FLOAT now;
    FLOAT nearBase;
    FLOAT nearDist;
    FLOAT mid;
    FLOAT far;
};

// flagged: the vehicle's road is flagged; vehicleClass its road class; speeds in
// radians of arc per second (the fix's and the link category's).
StageDistances ComputeStageDistances(SpokenUnits units, bool flagged, uint32_t maneuverKind,
                                     uint32_t vehicleClass, FLOAT gpsSpeed, FLOAT categorySpeed);

// The distance part of a maneuver's first announcement (before its maneuver
// word). Returns true when the distance is so far that the whole announcement is
// the "drive" phrase, which it then holds.
bool AppendFirstAnnouncementDistance(PhraseBuffer& phrase, FLOAT distance,
                                     const StageDistances& stages, SpokenUnits units);

// The words of a later stage: 0 now, 1 near, 2 mid, 3 far. The near stage says the
// distance it fires at (by the maneuver's kind and the vehicle's road class); on a
// flagged road sameSideTurnBefore decides whether a distance is said.
void AppendStageDistance(PhraseBuffer& phrase, int stage, SpokenUnits units, bool flagged,
                         uint32_t maneuverKind, uint32_t vehicleClass, bool sameSideTurnBefore);

// Radians of arc per unit.
inline constexpr double kRadiansPerFoot = 4.784198e-8;
inline constexpr double kRadiansPerMetre = 1.0 / 6370973.27862;
inline constexpr double kFeetPerMile = 5280.0;
