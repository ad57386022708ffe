// What the main view decides apart from its window: the speed alert and the
// status box's value texts.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/foundation/clock_text.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/main_view.h"

namespace {

constexpr UINT kStringKmh = 6028;
constexpr UINT kStringMph = 6029;

}  // namespace

int RoadClassSpeedLimit(uint32_t roadClass, bool metric) {
    static constexpr int kMph[8] = {70, 65, 55, 45, 35, 25, 15, 5};
    static constexpr int kKmh[8] = {145, 125, 105, 85, 65, 45, 25, 5};
    return (metric ? kKmh : kMph)[roadClass & 7];
}

bool SpeedAlertPossible(const SpeedAlertSettings& s) {
    if (s.autoLimit == 0)
        return s.limitMi >= 1 || s.limitKm >= 1;
    return s.limitMi < 0 || s.limitKm < 0;
}

SpeedAlertChange DecideSpeedAlert(const SpeedAlertSettings& s, int speed, int classLimit,
                                  bool classAlertsAllowed, SpeedAlertState& state) {
    if (s.autoLimit == 0) {
        if (s.limitMi <= 0 && s.limitKm <= 0)
            return SpeedAlertChange::None;
        // A limit of 0 or below in the unit shown is off: it would otherwise alert
        // at every speed.
        const LONG limit = s.metric ? s.limitKm : s.limitMi;
        if (limit <= 0)
            return state.active ? SpeedAlertChange::Clear : SpeedAlertChange::None;
        if (speed > limit)
            return state.active ? SpeedAlertChange::None : SpeedAlertChange::Raise;
        return state.active ? SpeedAlertChange::Clear : SpeedAlertChange::None;
    }
    if (!(s.limitMi < 0 || s.limitKm < 0) || !classAlertsAllowed || classLimit == 0)
        return SpeedAlertChange::None;
    if (speed > classLimit + 5) {
        if (!state.active) {
            state.lastLimit = classLimit;
            return SpeedAlertChange::Raise;
        }
        // A faster road: the next fix raises the alert again at its limit.
        return classLimit > state.lastLimit ? SpeedAlertChange::Clear : SpeedAlertChange::None;
    }
    if (state.active && speed < classLimit - 10)
        return SpeedAlertChange::Clear;
    return SpeedAlertChange::None;
}

bool IsShowableHours(float hours) {
    return std::isfinite(hours) && hours > 0.0f && hours <= 9999.0f;
}

bool FormatEtaValue(float hoursLeft, int localHour, int localMinute, char* buffer, size_t size) {
    if (!IsShowableHours(hoursLeft))
        return false;
    const long total = std::lround(static_cast<double>(hoursLeft) * 60.0 + localMinute);
    const int hour = static_cast<int>((total / 60 + localHour) % 24);
    const int minute = static_cast<int>(total % 60);
    char clock[kClockTextSize];
    FormatClockTime(clock, hour, minute);
    std::snprintf(buffer, size, "%s", clock);
    return true;
}

bool FormatRemainingValue(float hoursLeft, char* buffer, size_t size) {
    if (!IsShowableHours(hoursLeft))
        return false;
    int h = static_cast<int>(hoursLeft);
    float m = (hoursLeft - static_cast<float>(h)) * 60.0f;
    if (m >= 59.5f) {
        h += 1;
        m = 0;
    }
    if (h == 0 && m > 0.0f && m < 1.0f)
        std::snprintf(buffer, size, "<00:01");
    else
        std::snprintf(buffer, size, "%02d:%02.0f", h, m);
    return true;
}

void FormatSpeedValue(float speed, bool metric, bool bareNumber, char* buffer, size_t size) {
    int v = std::isfinite(speed) ? RoundHalfAway(std::clamp(speed, -9999.0f, 9999.0f)) : 0;
    if (v == 1)
        v = 0;
    if (bareNumber) {
        std::snprintf(buffer, size, "%d", v);
        return;
    }
    WCHAR unit[16];
    if (!LoadResString(metric ? kStringKmh : kStringMph, unit, 16, FALSE))
        unit[0] = 0;
    char narrow[16];
    size_t i = 0;
    for (; unit[i] && i + 1 < sizeof narrow; ++i)
        narrow[i] = static_cast<char>(unit[i]);
    narrow[i] = 0;
    std::snprintf(buffer, size, "%d %s", v, narrow);
}

void ShortenRoadName(char* text, size_t maxChars) {
    while (std::strlen(text) > maxChars) {
        char* slash = std::strrchr(text, '/');
        if (!slash)
            break;
        *slash = 0;
    }
}

UINT CompassStringId(float degrees) {
    constexpr UINT kNorthEast = 6031, kNorth = 6038;
    if (!(degrees > 22.5f && degrees <= 337.5f))
        return kNorth;
    return kNorthEast + static_cast<UINT>(std::ceil((degrees - 22.5f) / 45.0f)) - 1;
}
