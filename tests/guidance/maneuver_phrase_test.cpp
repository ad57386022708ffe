#include "pathlume/guidance/maneuver_phrase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/route/maneuver_texts.h"
#include "platform/kernel/text.h"
#include "tests/guidance/said.h"

namespace {

constexpr FLOAT Feet(double feet) {
    return static_cast<FLOAT>(feet * kRadiansPerFoot);
}

// An ordinary road at 30 mph: now at 176 feet, near at 500 + 88 feet.
PhraseRequest OrdinaryRoad(uint32_t kind) {
    PhraseRequest r;
    r.vehicleClass = 0x100;
    r.gpsSpeed = Feet(44);
    r.categorySpeed = Feet(44);
    r.maneuver.kind = kind;
    r.maneuver.roadClass = 0x100;
    return r;
}

// One stage crossing: from previous to distance.
std::string Stage(PhraseRequest r, PhraseState& state, double previousFeet, double feet) {
    r.previousDistance = Feet(previousFeet);
    r.distance = Feet(feet);
    PhraseBuffer phrase;
    return ComposeManeuverPhrase(r, state, phrase) ? Said(phrase) : "(silent)";
}

TEST(ManeuverPhrase, ExitOntoANumberedFreewaySaysItsDirection) {
    PhraseRequest r = OrdinaryRoad(kManeuverExitRight);
    r.vehicleClass = 0x40;
    r.vehicleFlagged = true;
    r.maneuver.ramp = true;
    r.maneuver.roadClass = 0x40;
    r.maneuver.roadText = "EXIT 12A: I-405 N/Sepulveda Blvd";
    PhraseState state;
    state.firstDistance = Feet(5280 * 3);
    // On a freeway without a turn-off before it the near stage gives the maneuver alone.
    EXPECT_EQ(Stage(r, state, 1500, 1300), "exit onright onto 4 0 5 north");
    EXPECT_EQ(state.stageBits, kStageNear);
}

TEST(ManeuverPhrase, RoundaboutExitAndCloseFollowingTurn) {
    PhraseRequest circle = OrdinaryRoad(kManeuverRoundaboutRight);
    circle.maneuver.roundabout = true;
    circle.maneuver.exitNumber = 3;
    PhraseState state;
    state.firstDistance = Feet(5000);
    EXPECT_EQ(Stage(circle, state, 2100, 1990), "in 2 1000 feet tcirc then take 3rd exit");

    ManeuverFacts left;
    left.kind = kManeuverTurnLeft;
    left.distanceFromPrevious = Feet(200);
    PhraseRequest right = OrdinaryRoad(kManeuverTurnRight);
    right.following = &left;
    PhraseState near;
    near.firstDistance = Feet(3000);
    EXPECT_EQ(Stage(right, near, 600, 580), "in 5 100 feet turnr thenimm turnl");
    // Farther than 350 feet apart: the turn alone; a keep after a keep is not told.
    left.distanceFromPrevious = Feet(400);
    PhraseState apart;
    apart.firstDistance = Feet(3000);
    EXPECT_EQ(Stage(right, apart, 600, 580), "in 5 100 feet turnr");
    ManeuverFacts keep;
    keep.kind = kManeuverKeepLeft;
    PhraseRequest keeps = OrdinaryRoad(kManeuverKeepLeft);
    keeps.following = &keep;
    PhraseState keepState;
    keepState.firstDistance = Feet(3000);
    EXPECT_EQ(Stage(keeps, keepState, 600, 580), "in 5 100 feet keepl");
}

// From a class 0xc0 road a turn's near stage fires at 800 feet (and 2 s) and says
// so; a keep's fires at 500 feet and says 500, not 800.
TEST(ManeuverPhrase, TheNearStageSaysTheDistanceItFiresAt) {
    PhraseRequest turn = OrdinaryRoad(kManeuverTurnRight);
    turn.vehicleClass = 0xc0;
    PhraseState turnState;
    turnState.firstDistance = Feet(3000);
    EXPECT_EQ(Stage(turn, turnState, 900, 880), "in 8 100 feet turnr");
    PhraseRequest keep = OrdinaryRoad(kManeuverKeepLeft);
    keep.vehicleClass = 0xc0;
    PhraseState keepState;
    keepState.firstDistance = Feet(3000);
    EXPECT_EQ(Stage(keep, keepState, 900, 880), "(silent)");
    EXPECT_EQ(Stage(keep, keepState, 600, 580), "in 5 100 feet keepl");
}

TEST(ManeuverPhrase, StagesComeOnceInOrderAsTheVehicleApproaches) {
    PhraseRequest r = OrdinaryRoad(kManeuverTurnLeft);
    r.maneuver.roadText = "Elm St";
    PhraseState state;
    std::vector<std::string> heard;
    double previous = 7000;
    r.isNew = true;
    heard.push_back(Stage(r, state, previous, previous));
    r.isNew = false;
    for (double feet = previous - 50; feet >= 0; feet -= 50) {
        const std::string said = Stage(r, state, previous, feet);
        if (said != "(silent)") {
            heard.push_back(said);
        }
        previous = feet;
    }
    const std::vector<std::string> expected = {
        "in 1 point 3 miles turnl",  // first announcement
        "in 2 1000 feet turnl",      // mid
        "in 5 100 feet turnl",       // near
        "mvr",                       // now
    };
    EXPECT_EQ(heard, expected);
    EXPECT_EQ(state.stageBits, kStageNow | kStageNear | kStageMid);
    EXPECT_EQ(state.lastSpokenKind, static_cast<int>(kManeuverTurnLeft));
}

TEST(ManeuverPhrase, FirstAnnouncementsByDistance) {
    struct Case {
        uint32_t kind;
        double feet;
        bool noChime;
        int side;
        const char* said;
    } const cases[] = {
        {kManeuverTurnRight, 30000, false, 0, "drive 5 point 7 miles"},
        {kManeuverTurnRight, 100, false, 0, "turnr mvr"},  // within the now distance
        {kManeuverTurnRight, 100, true, 0, "turnr"},
        {kManeuverExitLeft, 100, false, 0, "exit onleft"},  // no chime over an exit
        {kManeuverArrival, 100, false, kSideRight, "dest onright"},
        {kManeuverArrival, 1000, false, kSideUnknown, "in 1 1000 feet dest"},
        {kManeuverUTurn, 1000, false, 0, "in 1 1000 feet uturn"},
    };
    for (const Case& c : cases) {
        PhraseRequest r = OrdinaryRoad(c.kind);
        r.isNew = true;
        r.noChime = c.noChime;
        r.maneuver.destinationSide = c.side;
        PhraseState state;
        EXPECT_EQ(Stage(r, state, c.feet, c.feet), c.said) << c.kind << ' ' << c.feet;
        EXPECT_EQ(state.firstDistance, Feet(c.feet));
    }
}

TEST(ManeuverPhrase, SilenceAndRepeats) {
    PhraseRequest r = OrdinaryRoad(kManeuverTurnRight);
    r.muted = true;
    r.isNew = true;
    PhraseState state;
    EXPECT_EQ(Stage(r, state, 1000, 1000), "(silent)");
    EXPECT_EQ(state.lastSpokenKind, static_cast<int>(kManeuverTurnRight));

    // "U-turn if possible" is not said twice in a row.
    PhraseRequest uturn = OrdinaryRoad(kManeuverUTurnIfPossible);
    uturn.isNew = true;
    PhraseState repeat;
    EXPECT_EQ(Stage(uturn, repeat, 1000, 1000), "in 1 1000 feet ofruturn");
    EXPECT_EQ(Stage(uturn, repeat, 1000, 1000), "(silent)");

    // A new route's first maneuver far ahead with nothing due: "straight".
    PhraseRequest straight = OrdinaryRoad(kManeuverTurnRight);
    straight.mayGoStraight = true;
    PhraseState ahead;  // as after a route reset: no first announcement yet
    EXPECT_EQ(Stage(straight, ahead, 1500, 1450), "straight");
    EXPECT_EQ(Stage(straight, ahead, 1200, 1150), "(silent)");  // within twice the near distance

    // Arriving within the now distance marks the arrival zone.
    PhraseRequest arrival = OrdinaryRoad(kManeuverArrival);
    PhraseState zone;
    zone.firstDistance = Feet(3000);
    Stage(arrival, zone, 200, 150);
    EXPECT_TRUE(zone.arrivalZone);
}

}  // namespace
