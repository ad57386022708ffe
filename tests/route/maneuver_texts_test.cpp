// Maneuver texts, glyphs and bitmaps by kind, and the narrowing of a sign text to the
// route designation the route follows.
#include "pathlume/route/maneuver_texts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pathlume/route/router.h"
#include "tests/support/temp_root.h"

namespace {

TEST(ManeuverTextsTest, EachKindHasItsGlyphBitmapAndText) {
    const struct {
        uint32_t kind;
        char glyph;
        int bitmap;
        const char* text;
    } cases[] = {
        {1, 'C', 226, "exit right"},
        {2, 'D', 228, "exit left"},
        {3, '2', 220, "straight"},
        {4, 'E', 239, "u-turn"},
        {5, '0', 218, "turn right"},
        {6, '1', 216, "turn left"},
        {7, '3', 226, "bear right"},
        {8, '4', 228, "bear left"},
        {9, '5', 222, "keep right"},
        {10, '6', 224, "keep left"},
        {11, '7', 234, "sharp right"},
        {12, '8', 236, "sharp left"},
        {13, '9', 200, "arrive"},  // the side is unknown
        {14, 'A', 230, "enter traffic circle"},
        {15, 'B', 232, "enter traffic circle"},
        {16, '0', 218, "enter fwy on the right"},
        {17, '1', 216, "enter fwy on the left"},
        {18, '3', 226, "enter fwy on the right"},
        {19, '4', 228, "enter fwy on the left"},
        {20, 'E', 239, "u-turn if possible"},
        {0, '?', 200, ""},
        {21, '?', 200, ""},
        {0xFFFFFFFF, '?', 200, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(c.kind));
        char text[kManeuverTextSize] = "junk";
        EXPECT_EQ(GetManeuverGlyphText(c.kind, text), c.glyph);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(GetManeuverGlyphText(c.kind, nullptr), c.glyph);
        EXPECT_EQ(ManeuverIconId(c.kind), c.bitmap);
    }
}

TEST(ManeuverTextsTest, TheArrivalNamesTheDestinationSide) {
    char text[kManeuverTextSize];
    GetManeuverGlyphText(kManeuverArrival, text, sizeof text, kSideRight);
    EXPECT_STREQ(text, " on the right");
    GetManeuverGlyphText(kManeuverArrival, text, sizeof text, kSideLeft);
    EXPECT_STREQ(text, " on the left");
    GetManeuverGlyphText(kManeuverArrival, text, sizeof text, kSideUnknown);
    EXPECT_STREQ(text, "arrive");
    // Other kinds ignore the side.
    GetManeuverGlyphText(kManeuverTurnLeft, text, sizeof text, kSideRight);
    EXPECT_STREQ(text, "turn left");
}

TEST(ManeuverTextsTest, ATextIsCutToItsBufferNeverPastIt) {
    char bytes[8];
    std::memset(bytes, '#', sizeof bytes);
    EXPECT_EQ(GetManeuverGlyphText(kManeuverFreewayRight, bytes, 5), '0');
    EXPECT_STREQ(bytes, "ente");
    EXPECT_EQ(bytes[5], '#');
    // No room at all: nothing is written.
    EXPECT_EQ(GetManeuverGlyphText(kManeuverFreewayRight, bytes + 7, 0), '0');
    EXPECT_EQ(bytes[7], '#');
}

TEST(ManeuverTextsTest, RouteDesignationsOfASign) {
    const struct {
        const char* sign;
        std::vector<std::string> texts;
        std::vector<size_t> lengths;
    } cases[] = {
        {"I-80 E/US-6 W", {"I-80 E", "US-6 W"}, {6, 6}},
        {"I-80 EAST/I-94 WEST", {"I-80 EAST", "I-94 WEST"}, {6, 6}},
        {"I-80 E/ELM AVE", {"I-80 E"}, {6}},
        {"EXIT 12A: I-80 E/I-94 W", {"I-80 E", "I-94 W"}, {6, 6}},
        {"EXIT 12A: MAIN ST", {}, {}},  // no "/"
        {"I-80 E", {}, {}},             // one piece without "/"
        {"A-1/B2/C--3/US-20/7-A", {"A-1", "US-20"}, {3, 5}},
        {"I-/US-/-5 /I-5", {"I-5"}, {3}},
        {"", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sign);
        const std::vector<RouteDesignation> found = FindRouteDesignations(c.sign);
        ASSERT_EQ(found.size(), c.texts.size());
        for (size_t i = 0; i < found.size(); ++i) {
            EXPECT_EQ(found[i].text, c.texts[i]);
            EXPECT_EQ(found[i].compareLength, c.lengths[i]);
        }
    }
}

TEST(ManeuverTextsTest, ASignIsNarrowedToTheRoadTheRouteFollows) {
    const struct {
        const char* sign;
        std::vector<std::string> names;
        const char* expected;
    } cases[] = {
        // The name is shorter: the designation, with its direction.
        {"I-80 E/I-94 W", {"I-94"}, "I-94 W"},
        // The name is as long or longer: the name.
        {"I-80 EAST/I-94 WEST", {"I-94 WEST"}, "I-94 WEST"},
        {"EXIT 12A: I-80 E/I-94 W", {"I-80 E"}, "I-80 E"},
        // The nearest name that matches decides.
        {"I-80 E/I-94 W", {"MAIN ST", "I-94", "I-80"}, "I-94 W"},
        // One designation, or none matching: the sign stays whole.
        {"EXIT 12A: I-80 E/ELM AVE", {"I-80"}, "EXIT 12A: I-80 E/ELM AVE"},
        {"I-80 E/I-94 W", {"US-6"}, "I-80 E/I-94 W"},
        {"I-80 E/I-94 W", {}, "I-80 E/I-94 W"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sign);
        char buffer[kManeuverTextSize];
        std::strcpy(buffer, c.sign);
        MatchSignToNames(c.names, buffer, sizeof buffer);
        EXPECT_STREQ(buffer, c.expected);
    }
    // The chosen text is cut to the buffer.
    char cut[kManeuverTextSize] = "I-80 EAST/I-94 WEST";
    MatchSignToNames({"I-94 WEST"}, cut, 6);
    EXPECT_STREQ(cut, "I-94 ");
}

class ManeuverLineTest : public testing_support::RootsTest {};

TEST_F(ManeuverLineTest, TheRequestsSideWordDecidesWhenSet) {
    CRouter router;
    const struct {
        int32_t word;
        int32_t destPart;
        int side;
    } cases[] = {
        {-1, 1, kSideRight},  {1, 1, kSideLeft},    {-1, 2, kSideLeft},
        {1, 2, kSideRight},   {0, 1, kSideUnknown},  // no route list to look at
        {7, 1, kSideUnknown},                        // an area code, not a side
    };
    for (const auto& c : cases) {
        router.request.areaCode = static_cast<DWORD>(c.word);
        router.destPart = c.destPart;
        EXPECT_EQ(DestinationSide(router), c.side) << c.word << " part " << c.destPart;
    }
}

TEST_F(ManeuverLineTest, AnArrivalWithAnUnknownSideSaysArrive) {
    CRouter router;
    const Maneuver arrival{-1, kManeuverArrival, 0};
    char line[kManeuverTextSize];
    EXPECT_EQ(FormatManeuverRoadName(router, line, arrival, false), nullptr);
    ASSERT_NE(FormatManeuverRoadName(router, line, arrival, true), nullptr);
    EXPECT_STREQ(line, " arrive");
    // A house number names the arrival; the cut keeps the buffer's end.
    std::strcpy(router.request.shortName, "1234");
    EXPECT_STREQ(FormatManeuverRoadName(router, line, arrival, false), "1234 ");
    char small[4];
    EXPECT_STREQ(FormatManeuverRoadName(router, small, arrival, true, sizeof small), "123");
}

}  // namespace
