// The guidance update: once per position it locates the vehicle on the route,
// keeps the distances, decides whether the vehicle has left the route and asks
// the router for a new one, handles the arrival, and announces the next maneuver.
// CGuidance is the router's guidance (IRouteGuidance); InstallGuidance makes one
// and hands it to the router.
#pragma once

#include <cfloat>
#include <functional>

#include "pathlume/foundation/app_services.h"
#include "pathlume/guidance/maneuver_phrase.h"
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

class CGuidance final : public IRouteGuidance {
  public:
    // Where phrases go; by default a new CVoicePrompt speaks them.
    using Speaker = std::function<void(const PhraseBuffer&)>;
    explicit CGuidance(Speaker speaker = {});

    void UpdateGuidance(CRouter& router, int quiet) override;
    void SpeakWord(int word) override;
    void ResetAnnouncements(bool recalcPending) override;
    void SetReplayWord(int value) override { replayWord_ = value; }

    // -2 a new route, -3 a recalculation pending, else the last announced maneuver.
    int32_t LastAnnounced() const { return lastAnnounced_; }
    int32_t Updates() const { return updates_; }
    int32_t Recalculations() const { return recalculations_; }

  private:
    void Speak(const PhraseBuffer& phrase);
    bool Announce(CRouter& router, const MapLink& link, bool fresh, int quiet);
    void Arrive(CRouter& router, const MapLink& link);
    void SwitchGuidanceScreen(CRouter& router, const MapLink& link, IMainView& view);

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
    DWORD screenBeforeGuidance_ = 1;
};

// Makes the program's guidance and installs it as the router's; null uninstalls.
CGuidance& InstallGuidance();
void UninstallGuidance();
