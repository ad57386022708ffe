#include "pathlume/guidance/guidance_update.h"

#include <algorithm>
#include <memory>
#include <new>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/guidance/route_position.h"
#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/voice/voice_prompt.h"
#include "platform/user/user.h"

namespace {

constexpr DWORD kOptionNoChime = 0x8000;
constexpr FLOAT kTwoHundredFeet = 9.5684e-6f;
constexpr FLOAT kMaxAnnouncedDistance = 0.2526057f;  // 1000 miles
constexpr double kRadiansPerMile = 5280 * kRadiansPerFoot;
constexpr uint16_t kShapeFlagged = 0x1000;
// Screen modes of the main view.
constexpr int kScreenMap = 1;
constexpr int kScreenGuidance = 4;
constexpr int kScreenRouteList = 8;

// Speeds of the link categories in mph.
constexpr double kCategoryMph[8] = {80, 65, 55, 41, 31, 21, 6, 5};

FLOAT MphToRadiansPerSecond(double mph) {
    return static_cast<FLOAT>(mph * kRadiansPerMile / 3600.0);
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
    return facts;
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
}

void CGuidance::UpdateGuidance(CRouter& r, int quiet) {
    IMainView* view = g_mainView.load();
    if (!view) {
        return;
    }
    ++updates_;
    view->SetGuidanceTick(GetTickCount());
    view->UpdateAverageSpeedRatio();
    IPositioningServices& gps = GetPositioningServices();
    const FLOAT mph = gps.GetSpeed(0);
    topSpeedMph_ = std::max(topSpeedMph_, mph);
    MapLink* link = g_vehicleLocation.GetLink(false);
    const bool fresh = g_vehicleLocation.GetLink(true) != nullptr;
    const bool goodFix = gps.IsFixValid() && gps.GetSatellitesUsed() >= 3;

    if ((r.state & kRouterRouteState) && !(r.state & kRouterArrived) && r.maneuverCount > 0) {
        if (!link) {
            // No matched road at a new route's start: tell the driver once.
            if (!quiet && lastAnnounced_ == -2 && goodFix && mph <= 2.0f &&
                !(r.state & kRouterNoPositionPrompt)) {
                r.state |= kRouterNoPositionPrompt;
                if (!(g_options.load() & kOptionVoiceMuted)) {
                    SpeakWord(word::kNearestRoad);
                }
            }
        } else {
            const int32_t before = r.currentManeuver;
            const int32_t fromEntry =
                before > 0 ? std::max(r.maneuvers[before - 1].routeIndex, 0) : 0;
            const RoutePosition p =
                LocateOnRoute(r, *link, g_vehicleLocation.segment, g_vehicleLocation.position,
                              !(r.state & kRouterLeftStartLink), fromEntry);
            const bool changed = p.onRoute && p.maneuver != before;
            if (p.onRoute) {
                if (p.entry > 0) {
                    r.state |= kRouterLeftStartLink;
                }
                if (changed) {
                    r.guidanceWord = 0;
                }
                // Off the route: the distance to the maneuver grows well past its minimum.
                if (!changed && p.toManeuver > r.nextManeuverDistance &&
                    p.toManeuver > r.smallestDistanceSeen + kTwoHundredFeet) {
                    r.offRouteCount = 6;
                    r.smallestDistanceSeen = FLT_MAX;
                } else {
                    r.smallestDistanceSeen =
                        changed ? p.toManeuver : std::min(r.smallestDistanceSeen, p.toManeuver);
                    if (r.offRouteCount != 6) {
                        r.offRouteCount = 0;
                    }
                }
                r.currentManeuver = p.maneuver;
                r.nextManeuverDistance = p.toManeuver;
                r.remainingLength = p.remaining;
                r.timeToGo = TimeToGo(r, p, *link, (g_options.load() & kOptionMetric) != 0,
                                      view->GetSpeedFactor());
                SwitchGuidanceScreen(r, *link, *view);
            } else {
                r.state &= ~kRouterArrivalZone;
                ++r.offRouteCount;
            }
            const uint32_t cls = link->attributes & kAttrClassMask;
            const bool minorRoad = cls <= 0x80 || (link->attributes & kAttrRamp);
            if (r.offRouteCount > 4 || (r.offRouteCount > 2 && minorRoad)) {
                view->DrawCenteredMessage(1);
                r.offRouteCount = 0;
                ++recalculations_;
                // The search replaces the route lists and updates guidance on the new
                // route itself; nothing of the old route may be read after it.
                r.RequestRecalc(1, 1);
                return;
            }
            if (r.offRouteCount == 6) {
                r.offRouteCount = 0;
            }
            if (p.onRoute && !(r.state & kRouterArrivalZone)) {
                Announce(r, *link, fresh, quiet);
            }
            if (p.onRoute && (r.state & kRouterArrivalZone)) {
                Arrive(r, *link);
            }
            lastAnnounced_ = r.currentManeuver;
        }
    }
    if (view->GetReplayFlag()) {
        gps.StepTrackSim();
    }
    if (r.announceCountdown > 0) {
        --r.announceCountdown;
    }
}

bool CGuidance::Announce(CRouter& r, const MapLink& link, bool fresh, int quiet) {
    const int32_t m = r.currentManeuver;
    IPositioningServices& gps = GetPositioningServices();
    bool isNew = m != lastAnnounced_;
    if (isNew) {
        r.state &= ~kStageBits;
        phrase_.stageBits = 0;
    }
    // A poor fix holds announcements back; the pending one is made up afterwards.
    IMainView* view = g_mainView.load();
    const bool poor = gps.GetFixQuality() < 2 && !(view && view->GetReplayFlag());
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
    if (!gps.IsFixValid() || gps.GetSatellitesUsed() < 3 || !fresh ||
        (link.attributes & kAttrRoundabout)) {
        return false;
    }
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
    request.categorySpeed = MphToRadiansPerSecond(kCategoryMph[link.attributes & kAttrSpeedMask]);
    request.mayGoStraight = lastAnnounced_ == -2 && gps.GetSatellitesUsed() >= 3;
    request.maneuver = FactsOf(r, m);
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

void CGuidance::Arrive(CRouter& r, const MapLink& link) {
    const FLOAT arrivalDistance =
        4 * MphToRadiansPerSecond(kCategoryMph[link.attributes & kAttrSpeedMask]);
    if (r.remainingLength > arrivalDistance || (r.state & kRouterArrived)) {
        return;
    }
    r.state |= kRouterArrived;
    r.remainingLength = 0;
    r.nextManeuverDistance = 0;
    r.timeToGo = 0;
    IMainView* view = g_mainView.load();
    if (view->GetReplayFlag()) {
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
