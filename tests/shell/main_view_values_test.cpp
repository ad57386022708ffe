// The main view's decisions apart from its window: the speed alert and the status
// box's value texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/shell/main_view.h"

namespace {

struct AlertStep {
    int speed;
    SpeedAlertChange expected;
};

// Runs the steps on one road class limit, applying each change as the view does.
void RunAlertSteps(const SpeedAlertSettings& settings, int classLimit,
                   const std::vector<AlertStep>& steps, const char* name) {
    SpeedAlertState state;
    for (size_t i = 0; i < steps.size(); ++i) {
        const SpeedAlertChange change =
            DecideSpeedAlert(settings, steps[i].speed, classLimit, true, state);
        EXPECT_EQ(change, steps[i].expected) << name << ", step " << i << " at " << steps[i].speed;
        if (change == SpeedAlertChange::Raise)
            state.active = true;
        else if (change == SpeedAlertChange::Clear)
            state.active = false;
    }
}

TEST(SpeedAlert, FixedLimitRaisesOnceAboveAndClearsAtTheLimit) {
    SpeedAlertSettings fixed{55, 88, 0, false};
    // 55.6 mph rounds to 56 (raises once); 55.4 rounds to 55 (clears).
    RunAlertSteps(fixed, 0,
                  {{55, SpeedAlertChange::None},
                   {56, SpeedAlertChange::Raise},
                   {57, SpeedAlertChange::None},
                   {55, SpeedAlertChange::Clear},
                   {55, SpeedAlertChange::None}},
                  "mph");
    fixed.metric = true;
    RunAlertSteps(fixed, 0, {{88, SpeedAlertChange::None}, {89, SpeedAlertChange::Raise}}, "km/h");
}

TEST(SpeedAlert, FixedLimitOffInTheShownUnitNeverAlerts) {
    // A positive mph limit with the metric limit off: a metric display has no limit
    // (it would otherwise alert at standstill against -90).
    const SpeedAlertSettings settings{55, -90, 0, true};
    RunAlertSteps(settings, 0, {{0, SpeedAlertChange::None}, {200, SpeedAlertChange::None}},
                  "metric");
}

TEST(SpeedAlert, RoadClassModeUsesTheLimitWithMarginsAndReRaisesOnAFasterRoad) {
    const SpeedAlertSettings byClass{-55, -90, 1, false};
    const int limit = RoadClassSpeedLimit(2, false);
    ASSERT_EQ(limit, 55);
    RunAlertSteps(byClass, limit,
                  {{60, SpeedAlertChange::None},
                   {61, SpeedAlertChange::Raise},
                   {50, SpeedAlertChange::None},
                   {44, SpeedAlertChange::Clear}},
                  "class 2");
    // On a faster road while still above it: cleared, then raised at the new limit.
    SpeedAlertState state;
    ASSERT_EQ(DecideSpeedAlert(byClass, 80, 55, true, state), SpeedAlertChange::Raise);
    state.active = true;
    EXPECT_EQ(state.lastLimit, 55);
    EXPECT_EQ(DecideSpeedAlert(byClass, 80, 65, true, state), SpeedAlertChange::Clear);
    state.active = false;
    EXPECT_EQ(DecideSpeedAlert(byClass, 80, 65, true, state), SpeedAlertChange::Raise);
    EXPECT_EQ(state.lastLimit, 65);
}

TEST(SpeedAlert, RoadClassModeNeedsTheFixedLimitOffAndAnAllowedRoad) {
    SpeedAlertState state;
    for (const SpeedAlertSettings& fixedOn :
         {SpeedAlertSettings{0, 0, 1, false}, SpeedAlertSettings{55, 88, 1, false}})
        EXPECT_EQ(DecideSpeedAlert(fixedOn, 120, 55, true, state), SpeedAlertChange::None);
    const SpeedAlertSettings byClass{-55, -90, 1, false};
    EXPECT_EQ(DecideSpeedAlert(byClass, 120, 55, false, state), SpeedAlertChange::None);
    EXPECT_EQ(DecideSpeedAlert(byClass, 120, 0, true, state), SpeedAlertChange::None);
}

TEST(SpeedAlert, ClassLimitsByUnit) {
    const int mph[8] = {70, 65, 55, 45, 35, 25, 15, 5};
    const int kmh[8] = {145, 125, 105, 85, 65, 45, 25, 5};
    for (uint32_t c = 0; c < 8; ++c) {
        EXPECT_EQ(RoadClassSpeedLimit(c, false), mph[c]);
        EXPECT_EQ(RoadClassSpeedLimit(c, true), kmh[c]);
    }
}

TEST(StatusBoxValues, RemainingTime) {
    struct Case {
        float hours;
        const char* text;  // null: "N/A"
    };
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {0.999f, "01:00"},    {0.01f, "<00:01"},   {0.0f, nullptr},  {1.5f, "01:30"},
        {12.25f, "12:15"},    {-1.0f, nullptr},    {inf, nullptr},   {std::nanf(""), nullptr},
        {9999.0f, "9999:00"}, {10000.0f, nullptr}, {1e30f, nullptr},
    };
    for (const Case& c : cases) {
        char text[16] = "unset";
        const bool shown = FormatRemainingValue(c.hours, text, sizeof text);
        EXPECT_EQ(shown, c.text != nullptr) << c.hours;
        if (c.text) {
            EXPECT_STREQ(text, c.text) << c.hours;
        }
    }
}

TEST(StatusBoxValues, ArrivalTimeWrapsAtMidnightInBothClocks) {
    const DWORD saved = g_options.load();
    char text[16];
    g_options.store(saved & ~kOptionTwelveHourClock);
    ASSERT_TRUE(FormatEtaValue(0.5f, 23, 50, text, sizeof text));
    EXPECT_STREQ(text, " 0:20");
    g_options.store(saved | kOptionTwelveHourClock);
    ASSERT_TRUE(FormatEtaValue(0.5f, 23, 50, text, sizeof text));
    EXPECT_STREQ(text, "12:20AM");
    // Days ahead stay a clock time; an absurd time is "N/A".
    EXPECT_TRUE(FormatEtaValue(9000.0f, 0, 0, text, sizeof text));
    EXPECT_FALSE(FormatEtaValue(1e9f, 0, 0, text, sizeof text));
    g_options.store(saved);
}

TEST(StatusBoxValues, SpeedShowsOneAsZeroAndFitsItsBuffer) {
    char text[16];
    FormatSpeedValue(1.2f, false, false, text, sizeof text);
    EXPECT_STREQ(text, "0 mph");
    FormatSpeedValue(88.6f, true, false, text, sizeof text);
    EXPECT_STREQ(text, "89 km/h");
    FormatSpeedValue(42.0f, false, true, text, sizeof text);
    EXPECT_STREQ(text, "42");
    char tiny[4];
    FormatSpeedValue(1e30f, false, false, tiny, sizeof tiny);
    EXPECT_EQ(std::strlen(tiny), 3u);
}

TEST(StatusBoxValues, LongRoadNamesLoseTheirTailAtTheLastSlash) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"MAIN ST/BROADWAY/HIGHWAY 101/OLD COUNTY RD", "MAIN ST/BROADWAY/HIGHWAY 101"},
        {"MAIN ST/BROADWAY/HIGHWAY 1012/OLD COUNTY RD", "MAIN ST/BROADWAY"},
        {"A VERY LONG STREET NAME WITHOUT ANY SLASH", "A VERY LONG STREET NAME WITHOUT ANY SLASH"},
        {"SHORT/NAME", "SHORT/NAME"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123/X", "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"},
    };
    for (const Case& c : cases) {
        char text[64];
        std::strcpy(text, c.in);
        ShortenRoadName(text, 28);
        EXPECT_STREQ(text, c.out) << c.in;
    }
}

TEST(TickArithmetic, DifferencesSurviveTheWrap) {
    EXPECT_EQ(TickDiff(100u, 0xFFFFFF00u), 356);
    EXPECT_EQ(TickDiff(0xFFFFFF00u, 100u), -356);
    EXPECT_EQ(TickDiff(5000u, 0u), 5000);
}

TEST(HeadingBox, CompassPointsBySector) {
    struct Case {
        float degrees;
        UINT id;
    };
    const Case cases[] = {{0, 6038},      {22.5f, 6038},  {22.6f, 6031},  {67.5f, 6031},
                          {67.6f, 6032},  {112.5f, 6032}, {157.5f, 6033}, {202.5f, 6034},
                          {247.5f, 6035}, {292.5f, 6036}, {337.5f, 6037}, {337.6f, 6038},
                          {359.9f, 6038}};
    for (const Case& c : cases)
        EXPECT_EQ(CompassStringId(c.degrees), c.id) << c.degrees;
}

}  // namespace
