#include "pathlume/position/track_sim.h"

#include <algorithm>
#include <cmath>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "platform/kernel/sync.h"

CTrackSim g_trackSim;

namespace {

constexpr double kFeetPerDegree = 364811.21852753137;
constexpr double kFeetPerRadian = 20902143.302568;
constexpr double kDegreesPerRadian = 57.29578;

// One straight piece of the route in the flat frame of its start (longitude x
// cos(latitude), latitude), measured in feet.
struct Segment {
    Segment(const MapPoint& from, const MapPoint& to) : start(from) {
        cosLat = std::cos(from.latitude * (3.14159265358979323846 / 180));
        dx = (double{to.longitude} - from.longitude) * cosLat * kFeetPerDegree;
        dy = (double{to.latitude} - from.latitude) * kFeetPerDegree;
        lengthFeet = std::sqrt(dx * dx + dy * dy);
    }

    // The point `feet` along the segment's direction from its start (past its end
    // when longer). Decided: the point is worked out from the segment's start, not by
    // adding each step to the last position, because a float degree near longitude
    // 120 is two feet wide and the additions would wander off the road.
    MapPoint At(double feet) const {
        if (!(lengthFeet > 0) || !(cosLat > 0))
            return start;
        const double along = feet / lengthFeet;
        return {static_cast<FLOAT>(start.latitude + dy * along / kFeetPerDegree),
                static_cast<FLOAT>(start.longitude + dx * along / (cosLat * kFeetPerDegree))};
    }

    MapPoint start;
    double cosLat = 1;
    double dx = 0, dy = 0;
    double lengthFeet = 0;
};

FLOAT HeadingOf(const MapPoint& from, const MapPoint& to, FLOAT previous) {
    // A segment of no length has no bearing: the vehicle keeps its heading.
    if (from.latitude == to.latitude && from.longitude == to.longitude)
        return previous;
    return GeoBearing(from, to);
}

bool UsableNode(const MapNode* node) {
    // A proxy node stands for an unloaded cell; its position is no place.
    return node && node->position.latitude != ProxyNode::kLatitude;
}

}  // namespace

// One link of the route as the walk drives it.
struct CTrackSim::Leg {
    const MapLink* link = nullptr;
    int direction = 2;   // 2 from the from-node through the shape points, 1 backwards
    bool last = false;   // the route's destination ends it
    int32_t walked = 0;  // shape points passed on the way
    MapPoint first;      // the node the leg starts at
    MapPoint far;        // the node at its other end
    MapPoint destination;

    // Shape point k in the direction of travel.
    MapPoint Walked(int32_t k) const {
        const int32_t count = static_cast<int32_t>(link->GetShapePointCount());
        return link->shapePoints[direction == 2 ? k : count - 1 - k];
    }
    MapPoint SegmentStart(int32_t shapeIndex) const {
        return shapeIndex < 0 ? first : Walked(shapeIndex);
    }
    MapPoint SegmentEnd(int32_t shapeIndex) const {
        if (shapeIndex >= walked - 1)
            return last ? destination : far;
        return Walked(shapeIndex + 1);
    }
};

bool CTrackSim::ResolveLeg(int32_t routeIndex, Leg* leg) const {
    const CRouter* router = g_router;
    if (!router || routeIndex >= router->routeCount || (routeIndex >= 0 && !router->routeList))
        return false;
    const MapLink* link = nullptr;
    if (routeIndex < 0) {
        link = router->FindStartLink();
        leg->direction = router->GetStartDirection();
        // A route along its start link ends on it.
        leg->last = router->routeCount == 0;
    } else {
        const RouteEntry& entry = router->routeList[routeIndex];
        MapNode* node = ResolveNodeRef(entry);
        if (!node || entry.Slot() >= node->SlotCapacity())
            return false;
        link = node->Slots()[entry.Slot()];
        if (!link)
            return false;
        leg->direction = link->fromNode == node ? 2 : 1;
        leg->last = routeIndex == router->routeCount - 1;
    }
    if (!link || !UsableNode(link->fromNode) || !UsableNode(link->toNode))
        return false;
    leg->link = link;
    const int32_t count = static_cast<int32_t>(link->GetShapePointCount());
    leg->walked = count;
    if (leg->last) {
        // A reload may have left the link fewer points than the search saw.
        const int32_t dest = std::min(static_cast<int32_t>(router->GetDestShapeIndex()), count);
        leg->walked = leg->direction == 2 ? dest : count - dest;
    }
    const bool forwards = leg->direction == 2;
    leg->first = forwards ? link->fromNode->position : link->toNode->position;
    leg->far = forwards ? link->toNode->position : link->fromNode->position;
    leg->destination = router->destPoint;
    return true;
}

void CTrackSim::Start() {
    DWORD increment = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, kTrackSimIncrementValue,
                                  kTrackSimIncrementDefault);
    // A step of nothing would never reach the destination.
    if (increment == 0)
        increment = kTrackSimIncrementDefault;
    stepSizeFeet_ = static_cast<FLOAT>(increment);
    state_ = TrackSimState{};
    if (const CRouter* router = g_router)
        state_.position = router->startPoint;
    Leg leg;
    if (ResolveLeg(-1, &leg)) {
        const int32_t count = static_cast<int32_t>(leg.link->GetShapePointCount());
        if (count > 0) {
            const int32_t segment =
                std::min(static_cast<int32_t>(g_router->GetStartShapeIndex()), count);
            state_.shapeIndex = (leg.direction == 2 ? segment : count - segment) - 1;
        }
        // The part of the start link behind the start counts as travelled.
        const MapPoint behind = leg.SegmentStart(state_.shapeIndex);
        state_.travelledFeet = static_cast<FLOAT>(Segment(behind, state_.position).lengthFeet);
        state_.headingRadians = HeadingOf(behind, leg.SegmentEnd(state_.shapeIndex), 0);
    }
    Publish();
}

void CTrackSim::Step() {
    const CRouter* router = g_router;
    if (!router || state_.routeIndex >= router->routeCount) {
        // The end of the route ends the demonstration.
        if (IMainView* view = g_mainView.load()) {
            view->SetPanMode(FALSE);
            view->UpdateMenus();
        }
        if (CNmeaReceiver* receiver = g_gpsReceiver.load()) {
            receiver->ClearFlags(kGpsReplayActive);
            // The feed thread would otherwise wait for a position for ever, with the
            // view still replaying and the GPS watchdog disarmed: it ends as its
            // stop would, telling the view.
            SetEvent(receiver->StopEvent());
        }
        return;
    }
    state_.stepLeftFeet = stepSizeFeet_;
    Advance(state_);
    Publish();
}

void CTrackSim::Advance(TrackSimState& state) {
    const CRouter* router = g_router;
    const int32_t count = router ? router->routeCount : 0;
    bool rejoin = false;
    while (state.stepLeftFeet > 0 && state.routeIndex < count) {
        Leg leg;
        if (!ResolveLeg(state.routeIndex, &leg)) {
            // An entry that cannot be followed (a reduced chunk's, or one a reload
            // took) is passed over; the walk goes on at the next one's node.
            ++state.routeIndex;
            state.shapeIndex = -1;
            state.travelledFeet = 0;
            rejoin = true;
            continue;
        }
        if (rejoin) {
            state.position = leg.first;
            rejoin = false;
        }
        if (CNmeaReceiver* receiver = g_gpsReceiver.load()) {
            const uint32_t roadClass =
                (leg.link->attributes & kAttrClassMask) >> formats::chunk_payload::kClassShift;
            receiver->UpdateFix([&](GpsFix& fix) { fix.speedMph = kTrackSimClassMph[roadClass]; });
        }
        if (leg.link->GetShapePointCount() > 0)
            AdvanceAlongRoute(state, leg);
        else
            AdvanceOnLink(state, leg);
    }
    if (state.routeIndex > count)
        state.routeIndex = count;
}

void CTrackSim::AdvanceAlongRoute(TrackSimState& state, const Leg& leg) {
    // A start index beyond the points walked (a link reloaded with fewer points)
    // stands on the last segment.
    state.shapeIndex = std::clamp(state.shapeIndex, -1, leg.walked - 1);
    while (state.stepLeftFeet > 0) {
        const MapPoint a = leg.SegmentStart(state.shapeIndex);
        const MapPoint b = leg.SegmentEnd(state.shapeIndex);
        const Segment segment(a, b);
        state.headingRadians = HeadingOf(a, b, state.headingRadians);
        const double rest = segment.lengthFeet - state.travelledFeet;
        if (rest > state.stepLeftFeet) {
            state.travelledFeet += state.stepLeftFeet;
            state.position = segment.At(state.travelledFeet);
            state.stepLeftFeet = 0;
            return;
        }
        state.position = b;
        state.stepLeftFeet -= static_cast<FLOAT>(std::max(rest, 0.0));
        state.travelledFeet = 0;
        if (state.shapeIndex >= leg.walked - 1) {
            state.shapeIndex = -1;
            ++state.routeIndex;
            if (leg.last)
                state.stepLeftFeet = 0;
            return;
        }
        ++state.shapeIndex;
    }
}

void CTrackSim::AdvanceOnLink(TrackSimState& state, const Leg& leg) {
    const Segment segment(leg.first, leg.far);
    state.headingRadians = HeadingOf(leg.first, leg.far, state.headingRadians);
    double length = leg.last ? Segment(leg.first, leg.destination).lengthFeet
                             : leg.link->Length() * kFeetPerRadian;
    if (!std::isfinite(length) || length < 0)
        length = segment.lengthFeet;
    const double rest = length - state.travelledFeet;
    if (rest > state.stepLeftFeet) {
        state.travelledFeet += state.stepLeftFeet;
        state.position = segment.At(state.travelledFeet);
        state.stepLeftFeet = 0;
        return;
    }
    // On the last entry the step is not cut at the destination.
    state.position =
        leg.last ? segment.At(double{state.travelledFeet} + state.stepLeftFeet) : leg.far;
    state.stepLeftFeet -= static_cast<FLOAT>(std::max(rest, 0.0));
    state.travelledFeet = 0;
    state.shapeIndex = -1;
    ++state.routeIndex;
    if (leg.last)
        state.stepLeftFeet = 0;
}

void CTrackSim::Publish() {
    {
        std::lock_guard<std::mutex> guard(publishedLock_);
        publishedPosition_ = state_.position;
        publishedHeading_ = static_cast<FLOAT>(state_.headingRadians * kDegreesPerRadian);
    }
    if (CNmeaReceiver* receiver = g_gpsReceiver.load())
        SetEvent(receiver->DataEvent());
}

MapPoint CTrackSim::PublishedPosition() const {
    std::lock_guard<std::mutex> guard(publishedLock_);
    return publishedPosition_;
}

FLOAT CTrackSim::PublishedHeading() const {
    std::lock_guard<std::mutex> guard(publishedLock_);
    return publishedHeading_;
}
