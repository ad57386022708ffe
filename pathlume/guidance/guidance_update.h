// The guidance update: once per position it locates the vehicle on the route,
// keeps the distances, decides whether the vehicle has left the route and asks
// the router for a new one, handles the arrival, and announces the next maneuver.
// CGuidance is the router's guidance (IRouteGuidance); InstallGuidance makes one
// and hands it to the router.
#pragma once

#include <cfloat>
#include <functional>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/guidance/maneuver_phrase.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"

// Router state bits guidance owns.
inline constexpr uint32_t kRouterNoPositionPrompt = 0x40;
inline constexpr uint32_t kRouterLeftStartLink = kRouterGuidancePending;  // 0x1000000
inline constexpr uint32_t kRouterArrived = 0x8000000;
inline constexpr uint32_t kRouterArrivalZone = 0x10000000;
inline constexpr uint32_t kRouterAutoGuidanceScreen = kRouterMapScreenPending;  // 0x800000

// The distance at which the guidance screen comes up by itself, whole feet or
// metres (the guidance screen reads it).
extern int32_t g_guidanceSwitchDistance;

// Main view timer that cancels the route after the arrival.
inline constexpr UINT_PTR kArrivalTimer = 3;
// Main view timer whose expiry says "nearstrd" when the vehicle is still on no road.
inline constexpr UINT_PTR kNoPositionTimer = 8;

class CGuidance final : public IRouteGuidance {
  public:
    // Where phrases go; by default a new CVoicePrompt speaks them.
    using Speaker = std::function<void(const PhraseBuffer&)>;
    explicit CGuidance(Speaker speaker = {});

    void UpdateGuidance(CRouter& router, int quiet) override;
    void SpeakWord(int word) override;
    void ResetAnnouncements(bool recalcPending) override;
    void SetReplayWord(int value) override { replayWord_ = value; }
    // The announcement of the current maneuver composed as new at the distance left,
    // without moving the announcement stages on.
    void RepeatAnnouncement(CRouter& router) override;

    // -2 a new route, -3 a recalculation pending, else the last announced maneuver.
    int32_t LastAnnounced() const { return lastAnnounced_; }
    int32_t Updates() const { return updates_; }
    int32_t Recalculations() const { return recalculations_; }
    // Updates in a row in which the vehicle moved against the route on a route link.
    int32_t WrongWayCount() const { return wrongWayCount_; }

  private:
    struct Located;
    void Speak(const PhraseBuffer& phrase);
    void ArmNoPositionPrompt(CRouter& router, const MapLink* link, int quiet, IMainView& view);
    // Steps three to eight on a route; false when it asked for a new route, after
    // which nothing of the old route may be read.
    bool FollowRoute(CRouter& router, MapLink& link, int quiet, IMainView& view);
    // Step six: the wrong way, leaving the route, the announcement.
    bool OutsideArrivalZone(CRouter& router, MapLink& link, const Located& at, int quiet,
                            IMainView& view);
    void UpdateWrongWay(const MapLink& link, const Located& at);
    // False when it asked for a new route.
    bool HandleWrongWay(CRouter& router, const MapLink& link, const Located& at, int quiet);
    void CountOffRoute(CRouter& router, const Located& at);
    bool Announce(CRouter& router, const MapLink& link, int quiet);
    void Arrive(CRouter& router, const MapLink& link);
    void SwitchGuidanceScreen(CRouter& router, const MapLink& link, IMainView& view);
    void FogAlert(IMainView& view);
    void Recalculate(CRouter& router);

    Speaker speaker_;
    PhraseState phrase_;
    int32_t lastAnnounced_ = -2;
    int32_t replayWord_ = 0;
    int32_t updates_ = 0;
    int32_t recalculations_ = 0;
    FLOAT previousDistance_ = 0;
    FLOAT topSpeedMph_ = 0;
    bool poorFix_ = false;
    bool pendingNew_ = false;
    // A maneuver that became current on a roundabout, told once the vehicle is off it.
    bool newOnRing_ = false;
    DWORD screenBeforeGuidance_ = 1;
    TravelDirection travel_ = kTravelUnknown;  // of this update
    int32_t locatedEntry_ = -1;                // the route entry the vehicle is on
    int32_t wrongWayCount_ = 0;
    // The distance to the end of the link the route heads for, on that link.
    int32_t wrongWayLinkId_ = kDeadLinkId;
    FLOAT wrongWayDistance_ = 0;
    // Street names of the wrong-way prompt: the last one it named, and the one of
    // the link it was last given on.
    std::string announcedStreet_;
    std::string wrongWayStreet_;
    int32_t previousLinkId_ = kDeadLinkId;  // the vehicle's link on the previous update
    int32_t fogLinkId_ = kDeadLinkId;
    bool fogAlerted_ = false;  // once per link
};

// Makes the program's guidance and installs it as the router's; null uninstalls.
CGuidance& InstallGuidance();
void UninstallGuidance();
