// A guided drive: a simulated vehicle driven along the router's route one fix a
// second, with the program's own guidance update each second, as the matcher and
// the receiver would feed it. What guidance says, the screens it switches to, its
// recalculations and the arrival are printed and kept for tests; the drive can be
// spoken through the voice queue, recorded, and written as a GPS log.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <string>
#include <vector>

class CRouter;

namespace routetool {

struct GuideOptions {
    double kmh = 0;               // 0: each link's category speed
    double strayKm = -1;          // below 0: keep to the route
    std::filesystem::path voice;  // a folder of prompt recordings: speak the phrases
    std::filesystem::path wav;    // record what is spoken
    std::filesystem::path nmea;   // write the drive as a GPS log
};

// The state after one update.
struct DriveUpdate {
    int second = 0;
    int generation = 0;  // recalculations before it
    int32_t maneuver = 0;
    double remainingMetres = 0;
    double toManeuverMetres = 0;
    uint32_t stageBits = 0;
    int32_t linkId = 0;         // the vehicle's link
    bool roundabout = false;    // that link is a roundabout's
    bool recalculated = false;  // the update asked for the route it then reports
};

struct DrivePhrase {
    int second = 0;
    int generation = 0;
    int32_t maneuver = 0;  // the router's current maneuver when it was said
    double toManeuverMetres = 0;
    std::vector<int> words;
    std::string text;  // the words' recording names
};

// One route the drive followed: the first, then one per recalculation.
struct DriveRoute {
    std::vector<uint32_t> kinds;  // of its maneuvers
    int32_t startLinkId = 0;
    int32_t vehicleLinkId = 0;  // the vehicle's link when it was made
};

struct DriveReport {
    std::vector<DriveUpdate> updates;
    std::vector<DrivePhrase> phrases;
    std::vector<DriveRoute> routes;
    std::vector<std::string> screens;  // switches, in order
    int recalcs = 0;
    bool arrived = false;
    double arrivalMetres = 0;  // from the vehicle to the destination point then
    // The arrival distance there: 4 seconds at the speed of the vehicle's road.
    double arrivalAllowanceMetres = 0;
    int strayUpdate = -1;  // the update on which the vehicle left the route
    double simulatedSeconds = 0;
    double cpuSeconds = 0;  // of the updates alone
};

// The figures line: "updates= phrases= recalcs= arrived=".
std::string DriveFiguresLine(const DriveReport& report);

// Drives the router's route (with its start and destination links kept alive by
// the caller) and prints each event to out. Throws std::runtime_error when the
// voice folder holds no recordings or a file cannot be written; a GPS log is left
// only for a drive that arrived.
DriveReport GuideDrive(CRouter& router, const GuideOptions& options, std::ostream& out);

}  // namespace routetool
