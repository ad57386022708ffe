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

#include "pathlume/mapdb/map_records.h"
#include "pathlume/route/positioning_services.h"

class CRouter;

namespace routetool {

inline constexpr double kKmhPerMph = 1.609344;

// The receiver, matcher and travel direction of the simulated vehicle: a drive's,
// or before a route the one standing at its start with the heading it was given
// and no fix yet, as the program is after a start.
class VehiclePositioning final : public IPositioningServices {
  public:
    int GetFixQuality() override { return fixValid ? 2 : 0; }
    FLOAT GetSpeed(int metric) override {
        const double mph = kmh / kKmhPerMph;
        return mph <= 1 ? 0 : static_cast<FLOAT>(metric ? kmh : mph);
    }
    void ClearFix() override {}
    BOOL IsOpenInProgress() override { return FALSE; }
    void SetPaused(int) override {}
    BOOL IsFixValid() override { return fixValid ? TRUE : FALSE; }
    int GetSatellitesUsed() override { return fixValid ? 8 : 0; }
    FLOAT GetHeading() override { return static_cast<FLOAT>(heading); }
    FLOAT GetFixLatitude() override { return g_vehicleLocation.position.latitude; }
    void ResetMatcher(int) override {}
    int SnapWithTimeout(DWORD, int) override { return 0; }
    void StepTrackSim() override {}
    TravelDirection UpdateTravelDirection() override { return travel; }
    int GetQueueCount() override { return 0; }
    BOOL IsInputSuspended() override { return FALSE; }

    double kmh = 0;
    double heading = 0;  // degrees clockwise from north
    TravelDirection travel = kTravelUnknown;
    bool fixValid = true;
};

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
