#include "pathlume/guidance/guidance_update.h"

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/guidance/route_position.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/route_costs.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/user/user.h"

namespace {

constexpr DWORD kOptionNoChime = 0x8000;
constexpr FLOAT kTwoHundredFeet = 9.5684e-6f;
constexpr FLOAT kFifteenFeet = 7.1763e-7f;
constexpr FLOAT kMaxAnnouncedDistance = 0.2526057f;  // 1000 miles
constexpr double kRadiansPerMile = 5280 * kRadiansPerFoot;
constexpr uint16_t kShapeFlagged = 0x1000;
// Screen modes of the main view.
constexpr int kScreenMap = 1;
constexpr int kScreenGuidance = 4;
constexpr int kScreenRouteList = 8;

FLOAT MphToRadiansPerSecond(double mph) {
    return static_cast<FLOAT>(mph * kRadiansPerMile / 3600.0);
}

// The arrival distance in the units in use.
FLOAT ArrivalDistance(const MapLink& link) {
    return ArrivalDistance(link, (g_options.load() & kOptionMetric) != 0);
}

bool IsFlagged(const MapLink& link) {
    return (link.shapeInfo & kShapeFlagged) != 0;
}

// The maneuver as the phrases tell it, from its leaving link's route entry.
ManeuverFacts FactsOf(const CRouter& r, int32_t m) {
    const Maneuver& maneuver = r.maneuvers[m];
    ManeuverFacts facts;
    facts.kind = maneuver.kind;
    facts.distanceFromPrevious = maneuver.distance;
    if (maneuver.routeIndex >= 0 && maneuver.routeIndex < r.routeCount) {
        const RouteEntry& entry = r.routeList[maneuver.routeIndex];
        facts.roadClass = entry.attributes & kAttrClassMask;
        facts.ramp = (entry.attributes & kAttrRamp) != 0;
        facts.flagged = (entry.nodeRef & RouteEntry::kFlaggedLink) != 0;
        facts.roundabout = (entry.attributes & kAttrRoundabout) != 0 && m + 1 < r.maneuverCount;
    }
    char text[kManeuverTextSize];
    if (maneuver.kind != kManeuverArrival && FormatManeuverRoadName(r, text, maneuver, false)) {
        facts.roadText = text;
    }
    facts.destinationSide = DestinationSide(r);
    if (facts.roundabout) {
        facts.exitNumber = RoundaboutExitNumber(r, m);
    }
    return facts;
}

// Which way the route runs on the vehicle's link: 2 toward its to-node, 1 toward
// its from-node (the coding of the travel direction), 0 not known.
int RouteDirectionOn(const CRouter& r, const RoutePosition& p, const MapLink& link) {
    if (p.entry < 0) {
        return r.startPart == 1 || r.startPart == 2 ? r.startPart : 0;
    }
    if (r.routeDestLink && link.linkId == r.routeDestLink->linkId && p.entry == r.routeCount - 1 &&
        (r.destPart == 1 || r.destPart == 2)) {
        return r.destPart == 1 ? 2 : 1;
    }
    const MapNode* node = nullptr;
    if (!RouteEntryLink(r.routeList[p.entry], &node) || !node) {
        return 0;
    }
    return node == link.fromNode ? 2 : node == link.toNode ? 1 : 0;
}

// The link's street as the wrong-way prompt compares it, at most 79 bytes.
std::string StreetOf(const MapLink& link) {
    char text[kStreetTextSize];
    GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, kPrimaryNames, text, sizeof text,
                      false);
    std::string street(text);
    if (street.size() >= kStreetWordSize) {
        street.resize(kStreetWordSize - 1);
    }
    return street;
}

}  // namespace

CGuidance::CGuidance(Speaker speaker) : speaker_(std::move(speaker)) {}

void CGuidance::Speak(const PhraseBuffer& phrase) {
    if (phrase.count == 0) {
        return;
    }
    if (speaker_) {
        speaker_(phrase);
        return;
    }
    void* block = g_heap.Alloc(sizeof(CVoicePrompt));
    CVoicePrompt::Speak(block ? new (block) CVoicePrompt : nullptr, phrase.words, phrase.count, 0);
}

void CGuidance::SpeakWord(int w) {
    PhraseBuffer phrase;
    phrase.Append(w);
    Speak(phrase);
}

void CGuidance::ResetAnnouncements(bool recalcPending) {
    if (recalcPending) {
        lastAnnounced_ = -3;
    } else if (lastAnnounced_ != -3) {
        lastAnnounced_ = -2;
    }
    phrase_ = PhraseState{};
    previousDistance_ = 0;
    poorFix_ = false;
    pendingNew_ = false;
    newOnRing_ = false;
    wrongWayCount_ = 0;
    wrongWayLinkId_ = kDeadLinkId;
    wrongWayDistance_ = 0;
    announcedStreet_.clear();
    wrongWayStreet_.clear();
}

// Where the vehicle stands this update and which way the route runs there.
struct CGuidance::Located {
    RoutePosition p;
    bool offRoute = false;   // on no route link, with a fix that is not estimated
    bool changed = false;    // the next maneuver changed
    bool estimated = false;  // the fix is estimated
    FLOAT previousToManeuver = 0;
    int routeDirection = 0;  // 2 toward the link's to-node, 1 toward its from-node, 0 none
};

void CGuidance::UpdateGuidance(CRouter& r, int quiet) {
    IMainView* view = g_mainView.load();
    if (!view) {
        return;
    }
    ++updates_;
    view->SetGuidanceTick(GetTickCount());
    view->UpdateAverageSpeedRatio();
    IPositioningServices& gps = GetPositioningServices();
    topSpeedMph_ = std::max(topSpeedMph_, gps.GetSpeed(0));
    MapLink* link = g_vehicleLocation.GetLink(false);
    travel_ = link ? gps.UpdateTravelDirection() : kTravelUnknown;
    const bool hasRoute = r.HasRouteToFollow();
    if (!hasRoute || (r.state & kRouterArrived) || !link) {
        ArmNoPositionPrompt(r, link, quiet, *view);
    } else if (FollowRoute(r, *link, quiet, *view)) {
        lastAnnounced_ = r.currentManeuver;
    }
    FogAlert(*view);
    link = g_vehicleLocation.GetLink(false);
    previousLinkId_ = link ? link->linkId : kDeadLinkId;
    if (view->GetReplayFlag()) {
        gps.StepTrackSim();
    }
    view->SetGuidanceTick(GetTickCount());
    if (r.announceCountdown > 0) {
        --r.announceCountdown;
    }
}

void CGuidance::ArmNoPositionPrompt(CRouter& r, const MapLink* link, int quiet, IMainView& view) {
    IPositioningServices& gps = GetPositioningServices();
    const bool hasRoute = (r.state & kRouterRouteState) != 0;
    if (quiet || !hasRoute || link || !gps.IsFixValid() || gps.GetSatellitesUsed() < 3 ||
        (r.state & kRouterNoPositionPrompt)) {
        return;
    }
    r.state |= kRouterNoPositionPrompt;
    // The main view says "nearstrd" when the vehicle is still on no road by then.
    if (!(g_options.load() & kOptionVoiceMuted) && !(r.state & kRouterArrived)) {
        SetTimer(view.GetViewWindow(), kNoPositionTimer, 5000, nullptr);
    }
}

bool CGuidance::FollowRoute(CRouter& r, MapLink& link, int quiet, IMainView& view) {
    IPositioningServices& gps = GetPositioningServices();
    Located at;
    at.estimated = gps.IsFixEstimated() != FALSE;
    at.previousToManeuver = r.nextManeuverDistance;
    const int32_t before = r.currentManeuver;
    const int32_t fromEntry = before > 0 ? std::max(r.maneuvers[before - 1].routeIndex, 0) : 0;
    bool onStartLink = !(r.state & kRouterLeftStartLink);
    if (onStartLink && r.routeStartLink && link.linkId == r.routeStartLink->linkId &&
        travel_ != kTravelUnknown && (r.startPart == 1 || r.startPart == 2) &&
        static_cast<int>(travel_) != r.startPart) {
        // Back along the start link after turning round at its end: the route's first
        // entry drives it again, the other way.
        for (int32_t i = 0; i < std::min(r.routeCount - 1, 2) && onStartLink; ++i) {
            onStartLink = r.routeList[i].linkId != link.linkId;
        }
    }
    at.p = LocateOnRoute(r, link, g_vehicleLocation.segment, g_vehicleLocation.position,
                         onStartLink, fromEntry);
    const RoutePosition& p = at.p;
    locatedEntry_ = p.entry;
    at.changed = p.onRoute && p.maneuver != before;
    at.offRoute = !p.onRoute && !at.estimated;
    if (p.onRoute) {
        if (p.entry > 0) {
            r.state |= kRouterLeftStartLink;
        }
        if (at.changed) {
            r.guidanceWord = 0;
        }
        r.currentManeuver = p.maneuver;
        r.nextManeuverDistance = p.toManeuver;
        r.remainingLength = p.remaining;
        r.timeToGo =
            TimeToGo(r, p, link, (g_options.load() & kOptionMetric) != 0, view.GetSpeedFactor());
        r.guidanceLinks[0] = &link;
        r.guidanceLinks[1] = p.entry + 1 < r.routeCount
                                 ? const_cast<MapLink*>(RouteEntryLink(r.routeList[p.entry + 1]))
                                 : nullptr;
        at.routeDirection = RouteDirectionOn(r, p, link);
        SwitchGuidanceScreen(r, link, view);
    } else if (at.offRoute) {
        r.guidanceLinks[0] = r.guidanceLinks[1] = nullptr;
        r.state &= ~kRouterArrivalZone;
    }
    if (p.onRoute && ((r.maneuvers[r.currentManeuver].kind == kManeuverArrival &&
                       r.nextManeuverDistance < ArrivalDistance(link)) ||
                      (view.GetReplayFlag() && r.remainingLength < ArrivalDistance(link)))) {
        // Noticed here too, not only by an announcement: nothing is said on a
        // roundabout, with a poor fix or during the voice delay, and the vehicle
        // arrives all the same. A demonstration or a played log stops at its end,
        // where the vehicle may still be matched before a last turn a few feet
        // short of the destination: within the arrival distance it has arrived.
        r.state |= kRouterArrivalZone;
    }
    if (!(r.state & kRouterArrivalZone) && !OutsideArrivalZone(r, link, at, quiet, view)) {
        return false;
    }
    if (p.onRoute && (r.state & kRouterArrivalZone)) {
        Arrive(r, link);
    }
    return true;
}

bool CGuidance::OutsideArrivalZone(CRouter& r, MapLink& link, const Located& at, int quiet,
                                   IMainView& view) {
    const RoutePosition& p = at.p;
    UpdateWrongWay(link, at);
    if (!HandleWrongWay(r, link, at, quiet)) {
        return false;
    }
    CountOffRoute(r, at);
    const uint32_t cls = link.attributes & kAttrClassMask;
    const bool minorRoad = cls <= 0x80 || (link.attributes & kAttrRamp);
    if (r.offRouteCount > 4 || (r.offRouteCount > 2 && minorRoad)) {
        const bool promptGiven = (r.state & kRouterStreetNameGuidance) != 0;
        if (!promptGiven && wrongWayCount_ != 1 && wrongWayCount_ != 2) {
            view.DrawCenteredMessage(1);
        }
        bool now = true;
        if (promptGiven) {
            // The driver was told to turn round: wait until that clearly failed.
            const std::string street = StreetOf(link);
            now = r.offRouteCount > 10 ||
                  (!street.empty() && !wrongWayStreet_.empty() && street != wrongWayStreet_);
        }
        if (now) {
            Recalculate(r);
            return false;
        }
        return true;
    }
    if (p.onRoute && !(r.state & kRouterStreetNameGuidance) && wrongWayCount_ != 1 &&
        wrongWayCount_ != 2) {
        Announce(r, link, quiet);
    }
    return true;
}

void CGuidance::Recalculate(CRouter& r) {
    r.offRouteCount = 0;
    ++recalculations_;
    // The search replaces the route lists; the caller reads nothing of the old
    // route after it, and the new route's first maneuver is announced as new.
    r.RequestRecalc(1, 1);
}

void CGuidance::UpdateWrongWay(const MapLink& link, const Located& at) {
    if (at.estimated) {
        return;
    }
    if (!at.routeDirection) {
        if (wrongWayCount_ != 0) {
            wrongWayCount_ = 1;
        }
        return;
    }
    // The distance to the end the route heads for grows while driving the wrong way.
    const int32_t shape =
        link.GetShapePointCount() ? static_cast<int32_t>(g_vehicleLocation.segment) : -1;
    const FLOAT distance =
        DistanceAlongLink(link, at.routeDirection == 1, shape, g_vehicleLocation.position);
    const bool sameLink = wrongWayLinkId_ == link.linkId;
    const bool against =
        travel_ != kTravelUnknown && static_cast<int>(travel_) != at.routeDirection;
    const FLOAT mph = GetPositioningServices().GetSpeed(0);
    if (!against || distance == 0) {
        wrongWayCount_ = 0;
    } else if (sameLink && distance > wrongWayDistance_ + kFifteenFeet && mph > 2.0f) {
        ++wrongWayCount_;
    } else {
        wrongWayCount_ = 1;
    }
    if (distance != 0) {
        wrongWayLinkId_ = link.linkId;
        wrongWayDistance_ = distance;
    }
}

bool CGuidance::HandleWrongWay(CRouter& r, const MapLink& link, const Located& at, int quiet) {
    IPositioningServices& gps = GetPositioningServices();
    const bool onStartLink = at.p.onRoute && at.p.entry == -1;
    const bool goodFix = gps.IsFixValid() && gps.GetSatellitesUsed() >= 3;
    if (wrongWayCount_ == 0 && at.p.onRoute) {
        r.state &= ~kRouterStreetNameGuidance;
        announcedStreet_.clear();
        wrongWayStreet_.clear();
    }
    if (wrongWayCount_ == 2 && onStartLink) {
        // Leaving the start the other way: route from here as the vehicle goes.
        Recalculate(r);
        return false;
    }
    bool forced = (r.state & kRouterEitherDirection) != 0;
    if (forced) {
        // Given once, on the start link, to a driver with a fix who has driven.
        r.state &= ~kRouterEitherDirection;
        if (!onStartLink || !goodFix || previousLinkId_ == kDeadLinkId) {
            wrongWayCount_ = 0;
            forced = false;
        }
    }
    if (!forced && !(wrongWayCount_ == 3 && !IsFlagged(link))) {
        return true;
    }
    r.state |= kRouterStreetNameGuidance;
    wrongWayStreet_ = StreetOf(link);
    const bool muted = (g_options.load() & kOptionVoiceMuted) != 0;
    if (forced || (!muted && !quiet && goodFix && wrongWayStreet_ != announcedStreet_)) {
        announcedStreet_ = wrongWayStreet_;
        if (!muted) {
            SpeakWord(word::kOffRouteUturn);
        }
    }
    return true;
}

void CGuidance::CountOffRoute(CRouter& r, const Located& at) {
    const RoutePosition& p = at.p;
    if (p.onRoute && !at.changed && !at.estimated) {
        // Driving away from the maneuver: it grows well past the least distance seen.
        if (p.toManeuver > at.previousToManeuver &&
            p.toManeuver > r.smallestDistanceSeen + kTwoHundredFeet) {
            // Past both limits at once (never lowering a count already there).
            r.offRouteCount = std::max(r.offRouteCount, 6);
            r.smallestDistanceSeen = FLT_MAX;
            return;
        }
        r.smallestDistanceSeen = std::min(r.smallestDistanceSeen, p.toManeuver);
    } else if (at.changed) {
        r.smallestDistanceSeen = p.toManeuver;
    }
    if (at.offRoute || wrongWayCount_ > 2) {
        ++r.offRouteCount;
    } else {
        r.offRouteCount = 0;
    }
}

bool CGuidance::Announce(CRouter& r, const MapLink& link, int quiet) {
    const int32_t m = r.currentManeuver;
    IPositioningServices& gps = GetPositioningServices();
    const bool muted = (g_options.load() & kOptionVoiceMuted) != 0;
    bool isNew = m != lastAnnounced_;
    if (isNew) {
        r.state &= ~kStageBits;
        phrase_.stageBits = 0;
    }
    // A poor fix holds announcements back; the pending one is made up afterwards.
    IMainView* view = g_mainView.load();
    const bool poor =
        gps.GetFixQuality() < 2 && r.offRouteCount == 0 && !(view && view->GetReplayFlag());
    if (poor) {
        poorFix_ = true;
        pendingNew_ = pendingNew_ || isNew;
        return false;
    }
    if (poorFix_) {
        poorFix_ = false;
        isNew = isNew || pendingNew_;
        pendingNew_ = false;
    }
    const bool fresh = g_vehicleLocation.GetLink(true) != nullptr;
    if (!fresh) {
        // Standing at the start of a new route with no road matched yet: say so once.
        if (lastAnnounced_ == -2 && !(r.state & kRouterNoPositionPrompt) &&
            gps.GetSpeed(0) <= 2.0f) {
            r.state |= kRouterNoPositionPrompt;
            if (!muted && !quiet) {
                SpeakWord(word::kNearestRoad);
            }
        }
        return false;
    }
    if (!gps.IsFixValid() || gps.GetSatellitesUsed() < 3) {
        return false;
    }
    // Nothing is said on a roundabout; the maneuver after it, which becomes current
    // there (leaving the ring is no maneuver of its own), is told new off the ring.
    if (link.attributes & kAttrRoundabout) {
        newOnRing_ = newOnRing_ || isNew;
        return false;
    }
    isNew = isNew || std::exchange(newOnRing_, false);
    if (r.voiceDelay > 0) {
        if (isNew) {
            r.announceCountdown = r.voiceDelay;
            r.state &= ~kRouterRecalcRunning;
            return false;
        }
        if (r.announceCountdown > 0) {
            return false;
        }
        if (r.announceCountdown == 0) {
            isNew = true;
            r.announceCountdown = -1;
        }
    }
    const FLOAT distance = r.nextManeuverDistance;
    if (distance > kMaxAnnouncedDistance || topSpeedMph_ <= 4.0f) {
        previousDistance_ = distance;
        return false;
    }
    const DWORD options = g_options.load();
    PhraseRequest request;
    request.distance = distance;
    request.previousDistance = isNew ? distance : previousDistance_;
    request.vehicleClass = link.attributes & kAttrClassMask;
    request.vehicleFlagged = IsFlagged(link);
    request.isNew = isNew;
    request.units = CurrentSpokenUnits();
    request.muted = (options & kOptionVoiceMuted) || quiet;
    request.noChime = (options & kOptionNoChime) != 0;
    request.gpsSpeed = MphToRadiansPerSecond(gps.GetSpeed(0));
    request.categorySpeed = CategorySpeed(link, (options & kOptionMetric) != 0);
    request.mayGoStraight = lastAnnounced_ == -2 && gps.GetSatellitesUsed() >= 3;
    request.maneuver = FactsOf(r, m);
    // Only the near stage on a freeway asks whether a road turns off before it.
    if (request.vehicleFlagged) {
        request.sameSideTurnBefore = HasSameSideTurnBefore(r, locatedEntry_, m);
    }
    ManeuverFacts following;
    if (m + 1 < r.maneuverCount) {
        following = FactsOf(r, m + 1);
        request.following = &following;
    }
    phrase_.stageBits = r.state & kStageBits;
    PhraseBuffer phrase;
    const bool speak = ComposeManeuverPhrase(request, phrase_, phrase);
    r.state = (r.state & ~kStageBits) | phrase_.stageBits;
    if (phrase_.arrivalZone) {
        r.state |= kRouterArrivalZone;
    }
    previousDistance_ = distance;
    if (speak && !request.muted) {
        Speak(phrase);
    }
    return speak;
}

void CGuidance::RepeatAnnouncement(CRouter& r) {
    const int32_t m = r.currentManeuver;
    if (!(r.state & kRouterRouteState) || m < 0 || m >= r.maneuverCount)
        return;
    const MapLink* link = g_vehicleLocation.GetLink(true);
    if (!link)
        link = g_vehicleLocation.GetLink(false);
    if (!link)
        return;
    IPositioningServices& gps = GetPositioningServices();
    const DWORD options = g_options.load();
    PhraseRequest request;
    request.distance = r.nextManeuverDistance;
    request.previousDistance = r.nextManeuverDistance;
    request.vehicleClass = link->attributes & kAttrClassMask;
    request.vehicleFlagged = IsFlagged(*link);
    request.isNew = true;
    request.units = CurrentSpokenUnits();
    request.muted = (options & kOptionVoiceMuted) != 0;
    request.noChime = (options & kOptionNoChime) != 0;
    request.gpsSpeed = MphToRadiansPerSecond(gps.GetSpeed(0));
    request.categorySpeed = CategorySpeed(*link, (options & kOptionMetric) != 0);
    request.maneuver = FactsOf(r, m);
    ManeuverFacts following;
    if (m + 1 < r.maneuverCount) {
        following = FactsOf(r, m + 1);
        request.following = &following;
    }
    // A copy of the stages: the driver's repeat does not stand for an announcement due.
    PhraseState state = phrase_;
    state.stageBits = 0;
    PhraseBuffer phrase;
    if (ComposeManeuverPhrase(request, state, phrase) && !request.muted) {
        Speak(phrase);
    }
}

void CGuidance::Arrive(CRouter& r, const MapLink& link) {
    if (r.remainingLength > ArrivalDistance(link) || (r.state & kRouterArrived)) {
        return;
    }
    r.state |= kRouterArrived;
    r.remainingLength = 0;
    r.nextManeuverDistance = 0;
    r.timeToGo = 0;
    IMainView* view = g_mainView.load();
    if (view->GetReplayFlag()) {
        // The log playback or the demonstration ends here.
        GetPositioningServices().StopReplay();
        view->SetReplayFlag(FALSE);
        SetTimer(view->GetViewWindow(), kArrivalTimer, 1000, nullptr);
    } else if (r.state & kRouterDetourActive) {
        r.SetDetour(0);
    } else {
        SetTimer(view->GetViewWindow(), kArrivalTimer, 30000, nullptr);
    }
}

void CGuidance::SwitchGuidanceScreen(CRouter& r, const MapLink& link, IMainView& view) {
    if (!(g_options.load() & kOptionAutoGuidance)) {
        return;
    }
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    const bool closeView = g_map3DMode.load() == 1;
    double at;  // feet or metres
    if (IsFlagged(link)) {
        at = metric ? (closeView ? 160 : 240) : (closeView ? 0.1 : 0.15) * 5280;
    } else {
        at = metric ? (closeView ? 128 : 200) : (closeView ? 0.08 : 0.128) * 5280;
    }
    g_guidanceSwitchDistance = static_cast<int32_t>(at);
    const double radians = at * (metric ? kRadiansPerMetre : kRadiansPerFoot);
    if (!view.IsPanMode() && !(r.state & kRouterAutoGuidanceScreen) &&
        r.nextManeuverDistance < radians) {
        screenBeforeGuidance_ = view.GetScreenMode();
        view.SwitchScreen(kScreenGuidance);
        r.state |= kRouterAutoGuidanceScreen;
    } else if ((r.state & kRouterAutoGuidanceScreen) && r.nextManeuverDistance > radians) {
        view.SwitchScreen(screenBeforeGuidance_ == kScreenRouteList ? kScreenRouteList
                                                                    : kScreenMap);
        r.state &= ~kRouterAutoGuidanceScreen;
    }
}

void CGuidance::FogAlert(IMainView& view) {
    const MapLink* link = g_vehicleLocation.GetLink(false);
    IPositioningServices& gps = GetPositioningServices();
    if (!view.IsFogDriving() || !link || gps.GetSpeed(0) <= 2.0f) {
        return;
    }
    if (link->linkId != fogLinkId_) {
        fogLinkId_ = link->linkId;
        fogAlerted_ = false;
    }
    const MapNode* ahead = travel_ == kTravelForward    ? link->toNode
                           : travel_ == kTravelBackward ? link->fromNode
                                                        : nullptr;
    const uint32_t cls = link->attributes & kAttrClassMask;
    if (fogAlerted_ || !ahead || ahead->UseCount() <= 3 || (link->attributes & kAttrRamp) ||
        cls <= 0xbf) {
        return;
    }
    // The most important other road crossing there decides how early to warn.
    const std::string street = StreetOf(*link);
    uint32_t crossing = UINT32_MAX;
    for (uint32_t s = 0; s < ahead->SlotCapacity() && crossing != 0xc0; ++s) {
        const MapLink* other = ahead->Slots()[s];
        if (other && other->linkId != link->linkId && !other->IsDead() &&
            StreetOf(*other) != street) {
            crossing = std::min(crossing, other->attributes & kAttrClassMask);
        }
    }
    const double feet = crossing == 0xc0    ? 400
                        : crossing == 0x100 ? 300
                        : crossing == 0x140 ? 250
                                            : 0;
    if (feet == 0) {
        return;
    }
    const int32_t shape =
        link->GetShapePointCount() ? static_cast<int32_t>(g_vehicleLocation.segment) : -1;
    const FLOAT toNode =
        DistanceAlongLink(*link, ahead == link->fromNode, shape, g_vehicleLocation.position);

    if (toNode < feet * kRadiansPerFoot) {
        fogAlerted_ = true;
        if (!(g_options.load() & kOptionVoiceMuted)) {
            SpeakWord(word::kAlarm2);
        }
    }
}

int32_t g_guidanceSwitchDistance = 0;

namespace {
std::unique_ptr<CGuidance> g_guidanceObject;
}

CGuidance& InstallGuidance() {
    g_guidanceObject = std::make_unique<CGuidance>();
    SetRouteGuidance(g_guidanceObject.get());
    return *g_guidanceObject;
}

void UninstallGuidance() {
    SetRouteGuidance(nullptr);
    g_guidanceObject.reset();
}
