// What the screens show of a maneuver: its arrow bitmap, glyph character and text,
// the road name that goes with it (exit sign, street name or the next named road),
// the side of the street the destination lies on, and the whole line of road name
// and maneuver text. Every text is single-byte and cut to the buffer it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/mapdb/house_numbers.h"

class CRouter;
struct Maneuver;

// Maneuver kinds (the maneuver list's kind field).
enum ManeuverKind : uint32_t {
    kManeuverExitRight = 1,
    kManeuverExitLeft = 2,
    kManeuverStraight = 3,
    kManeuverUTurn = 4,
    kManeuverTurnRight = 5,
    kManeuverTurnLeft = 6,
    kManeuverBearRight = 7,
    kManeuverBearLeft = 8,
    kManeuverKeepRight = 9,
    kManeuverKeepLeft = 10,
    kManeuverSharpRight = 11,
    kManeuverSharpLeft = 12,
    kManeuverArrival = 13,
    kManeuverRoundaboutRight = 14,
    kManeuverRoundaboutLeft = 15,
    kManeuverFreewayRight = 16,
    kManeuverFreewayLeft = 17,
    kManeuverFreewayBearRight = 18,
    kManeuverFreewayBearLeft = 19,
    kManeuverUTurnIfPossible = 20,
};

// Room for a maneuver text or a road name line.
inline constexpr size_t kManeuverTextSize = 256;

// Destination sides (DestinationSide): kSideRight and kSideLeft as the addresses
// number them, or not known.
inline constexpr int kSideUnknown = kSideEither;

// Whether a street name names a road: not empty, not the "RAMP" or "NO NAME"
// stand-in of a link without a name.
bool IsRoadName(const char* name);

// The arrow bitmap of a kind; 200 for an unknown kind.
int ManeuverIconId(uint32_t kind);

// The glyph character of a kind ('?' for an unknown one). With a buffer, the kind's
// text goes into it (empty for the roundabouts and unknown kinds); the arrival's
// text names the destination side, empty when it is unknown.
char GetManeuverGlyphText(uint32_t kind, char* buffer, size_t size = kManeuverTextSize,
                          int destinationSide = kSideUnknown);

// The side of the last route link on which the destination lies: kSideRight,
// kSideLeft or kSideUnknown. The request's side word holds when it is set;
// otherwise the house number's parity against the link's address ranges.
int DestinationSide(const CRouter& router);

// The road name of a maneuver: the exit sign of a one-way link (narrowed by
// MatchSignToRoute), else the link's street name, else the next named road along
// the route. Returns buffer (empty when none is known).
char* GetManeuverRoadName(const CRouter& router, const Maneuver& maneuver, char* buffer,
                          size_t size = kManeuverTextSize);

// A designation on a sign ("I-80 E") with the number of its characters a road name
// is compared with.
struct RouteDesignation {
    std::string text;
    size_t compareLength = 0;
};

// The route designations of a sign text: its "/"-separated pieces that start like
// "I-80" or "US-6"; after "EXIT 12A: " only the part after ": " counts.
std::vector<RouteDesignation> FindRouteDesignations(const char* sign);

// Narrows a sign text in the buffer that lists two or more route designations to
// the one that the road the route follows after the maneuver carries.
void MatchSignToRoute(const CRouter& router, const Maneuver& maneuver, char* buffer,
                      size_t size = kManeuverTextSize);
// The same against given road names, the nearest first: the first name that some
// designation begins with (or that begins with one) decides.
void MatchSignToNames(const std::vector<std::string>& names, char* buffer, size_t size);

// The road name and, with withText, a blank and the maneuver's text; for the
// arrival the destination's house number and street. Returns buffer, or null when
// the line is empty.
char* FormatManeuverRoadName(const CRouter& router, char* buffer, const Maneuver& maneuver,
                             bool withText, size_t size = kManeuverTextSize);
