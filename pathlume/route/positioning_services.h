// What the router and guidance ask of positioning: the receiver's fix, the map
// matcher, the route simulator, the travel direction and the position queue.
// Positioning sits beside the router, not under it, so it implements this interface
// and the program core installs it; until then a default answers "no fix" and does
// nothing. Each call names the router or guidance step that makes it.
#pragma once

#include "pathlume/mapdb/position_services.h"
#include "platform/kernel/wintypes.h"

class IPositioningServices {
  public:
    // The receiver (CGpsDevice): 0 no fix, 1 fix, 2 a good 3D fix (guidance).
    virtual int GetFixQuality() = 0;
    // Speed of the last fix in mph, or km/h when metric; 0 at or below 1 mph
    // (the route search's wait-for-GPS prompt, guidance).
    virtual FLOAT GetSpeed(int metric) = 0;
    // Clears the fix-valid flag, satellites and speed (guidance).
    virtual void ClearFix() = 0;
    // An open of the receiver's port is under way.
    virtual BOOL IsOpenInProgress() = 0;
    // 0 holds the playback and simulation threads, non-zero lets them run (guidance).
    virtual void SetPaused(int run) = 0;
    // The fix the route search reads: valid flag, satellites used, heading in
    // degrees and latitude (the start direction and the wait-for-GPS prompt).
    virtual BOOL IsFixValid() = 0;
    virtual int GetSatellitesUsed() = 0;
    virtual FLOAT GetHeading() = 0;
    virtual FLOAT GetFixLatitude() = 0;

    // The map matcher: drops its hypotheses (keep 1 keeps the current one), and
    // runs on the queued fixes within a budget, 0 when it finished (route search).
    virtual void ResetMatcher(int keep) = 0;
    virtual int SnapWithTimeout(DWORD budgetMs, int flag) = 0;
    // The route simulator advances one step (guidance during a demonstration).
    virtual void StepTrackSim() = 0;
    // CTravelDirection::Update: the direction of travel on the matched link
    // (route search step 6).
    virtual TravelDirection UpdateTravelDirection() = 0;
    // Positions waiting in the queue, and whether the GPS input is suspended
    // (the route search's final refresh).
    virtual int GetQueueCount() = 0;
    virtual BOOL IsInputSuspended() = 0;

    // The last GGA reported an estimated (dead-reckoned) fix: guidance neither counts
    // the vehicle off the route nor the wrong way on it.
    virtual BOOL IsFixEstimated() { return FALSE; }
    // Sets the receiver's stop event, which ends a log playback or a route
    // demonstration (guidance on arrival).
    virtual void StopReplay() {}

  protected:
    ~IPositioningServices() = default;
};

// Positioning in use: the default until one is installed (null goes back to it).
IPositioningServices& GetPositioningServices();
void SetPositioningServices(IPositioningServices* positioning);
