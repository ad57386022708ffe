#include "pathlume/shell/banner_state.h"

#include <algorithm>

#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"

BannerState GetBannerState(const CRouter* router) {
    BannerState s;
    if (!router || !(router->state & kRouterRouteState) || router->maneuverCount <= 0 ||
        !router->maneuvers)
        return s;
    const CRouter& r = *router;
    s.nameVariant = (r.state & kRouterStreetNameGuidance) != 0;
    s.phase = static_cast<int32_t>(r.guidanceWord);
    s.lastLink = g_vehicleLocation.GetLink(false);
    s.atNext = s.lastLink && s.lastLink == r.guidanceLinks[1];
    s.show = !((s.phase == 1 || s.phase == 2) && !s.nameVariant && !s.atNext);
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    const DWORD flags = receiver ? receiver->GetFlags() : 0;
    s.fixValid = receiver && receiver->GetFix().valid;
    s.current = g_vehicleLocation.GetLink(true);
    s.placed = (flags & kGpsMoved) && s.current;
    s.routeLink = r.guidanceLinks[0];
    s.promptOn = s.routeLink != nullptr;
    s.offRoadIndication = g_voiceLanguage.load() != 0;
    s.maneuver = std::clamp(r.currentManeuver, 0, r.maneuverCount - 1);
    return s;
}

namespace {

// The link bit that turns a keep into a bear.
constexpr uint32_t kFlaggedLinkBit = 0x100000;

}  // namespace

uint32_t ShownManeuverKind(const CRouter& r, int32_t index) {
    if (!r.maneuvers || index < 0 || index >= r.maneuverCount)
        return 0;
    const Maneuver& m = r.maneuvers[index];
    const bool flagged = m.routeIndex >= 0 && m.routeIndex < r.routeCount && r.routeList &&
                         (r.routeList[m.routeIndex].attributes & kFlaggedLinkBit);
    if (flagged && m.kind == kManeuverKeepRight)
        return kManeuverBearRight;
    if (flagged && m.kind == kManeuverKeepLeft)
        return kManeuverBearLeft;
    return m.kind;
}
