// The announcement of the next maneuver: whether a stage is due on this update and
// the words it says. The guidance update gathers what it needs from the router
// and the receiver into a PhraseRequest; composing is free of either, so every
// rule can be tried on its own.
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/guidance/spoken_phrase.h"

// Announcement stage bits (the router's state word).
inline constexpr uint32_t kStageNow = 0x1;
inline constexpr uint32_t kStageNear = 0x2;
inline constexpr uint32_t kStageMid = 0x4;
inline constexpr uint32_t kStageFar = 0x8;
inline constexpr uint32_t kStageBits = 0xF;

// Link attribute bits the phrases read (the road class is kAttrClassMask).
inline constexpr uint32_t kAttrRamp = 0x100000;
inline constexpr uint32_t kAttrRoundabout = 0x400000;
inline constexpr uint32_t kAttrConnector = 0x10000000;

// What is said of one maneuver.
struct ManeuverFacts {
    uint32_t kind = 0;        // 1..20
    int exitNumber = 0;       // roundabout exit to take; 0 none or unknown
    bool roundabout = false;  // its link is a roundabout (or a connector into one)
    bool flagged = false;     // its road is a freeway link
    bool ramp = false;
    uint32_t roadClass = 0;          // attribute bits 0x1C0
    std::string roadText;            // its road name line, "" when none
    int destinationSide = 0;         // kSideRight, kSideLeft or kSideUnknown
    FLOAT distanceFromPrevious = 0;  // its Maneuver distance
};

struct PhraseRequest {
    FLOAT distance = 0;          // to the maneuver, radians of arc
    FLOAT previousDistance = 0;  // on the previous update
    uint32_t vehicleClass = 0;
    bool vehicleFlagged = false;
    bool isNew = false;
    SpokenUnits units = SpokenUnits::kFeet;
    bool muted = false;
    bool noChime = false;     // g_options 0x8000
    FLOAT gpsSpeed = 0;       // radians per second
    FLOAT categorySpeed = 0;  // radians per second on the vehicle's link category
    // The first maneuver of a new route, with a current link, a good fix and voice.
    bool mayGoStraight = false;
    bool sameSideTurnBefore = false;
    ManeuverFacts maneuver;
    const ManeuverFacts* following = nullptr;  // the maneuver after it, if any
};

// What persists between updates.
struct PhraseState {
    uint32_t stageBits = 0;
    int lastSpokenKind = -1;
    FLOAT firstDistance = 0;
    bool arrivalZone = false;
};

// Fills phrase with the announcement due on this update and returns true when it
// is to be spoken. Updates the stage bits, the arrival zone, the first
// announcement's distance and the last spoken kind.
bool ComposeManeuverPhrase(const PhraseRequest& request, PhraseState& state, PhraseBuffer& phrase);

// The maneuver words of step six alone ("exit" "onright" for an exit right, the
// destination side after "dest"); false when the kind has no word.
bool AppendManeuverWords(PhraseBuffer& phrase, const ManeuverFacts& maneuver);
