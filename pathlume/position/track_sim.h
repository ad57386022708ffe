// The route demonstration: a simulated position that walks the route's geometry in
// fixed steps. Each step goes to the receiver's simulation feed thread, which turns
// it into a fix, so that matching, guidance and drawing work as with live input.
// Start and Step run on the user-interface thread; the feed thread reads the
// published position after the receiver's data event.
#pragma once

#include <cstdint>
#include <mutex>

#include "pathlume/mapdb/map_records.h"

// Registry value of the step size in feet, and its default.
inline constexpr const WCHAR* kTrackSimIncrementValue = u"TrackSimIncrement";
inline constexpr DWORD kTrackSimIncrementDefault = 50;

// The simulated fix's speed by link class (0 to 7), mph.
inline constexpr FLOAT kTrackSimClassMph[8] = {90.0f, 72.5f, 59.5f, 47.5f,
                                               35.5f, 25.5f, 13.0f, 5.0f};

// Where the walk stands on the route.
struct TrackSimState {
    // The current entry of the router's route list; -1 on the start link.
    int32_t routeIndex = -1;
    // The current shape segment on the link, counted in the direction of travel:
    // -1 the segment from the link's first node.
    int32_t shapeIndex = -1;
    FLOAT travelledFeet = 0;  // covered on the current segment (a shapeless link)
    FLOAT stepLeftFeet = 0;   // still to cover in this step
    FLOAT headingRadians = 0;
    MapPoint position;
};

class CTrackSim {
  public:
    // Reads the step size and puts the position at the route's start (the part of
    // the start link behind it counts as travelled); publishes it.
    void Start();
    // One step along the route and its publication; at the end of the route, the
    // end of the demonstration.
    void Step();
    // Moves the position along the route by the step left.
    void Advance(TrackSimState& state);

    // What the feed thread copies into the fix.
    MapPoint PublishedPosition() const;
    FLOAT PublishedHeading() const;  // degrees

    const TrackSimState& State() const { return state_; }
    FLOAT StepSizeFeet() const { return stepSizeFeet_; }

  private:
    struct Leg;
    bool ResolveLeg(int32_t routeIndex, Leg* leg) const;
    // Along one link's shape points.
    void AdvanceAlongRoute(TrackSimState& state, const Leg& leg);
    // Along a link without shape points.
    void AdvanceOnLink(TrackSimState& state, const Leg& leg);
    void Publish();

    TrackSimState state_;
    FLOAT stepSizeFeet_ = kTrackSimIncrementDefault;
    mutable std::mutex publishedLock_;
    MapPoint publishedPosition_;
    FLOAT publishedHeading_ = 0;
};

extern CTrackSim g_trackSim;
