#include "pathlume/position/nmea_parser.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The sentence with its checksum appended: "$BODY*HH".
std::string WithChecksum(const std::string& body) {
    unsigned sum = 0;
    for (char c : body.substr(1))
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return body + tail;
}

int Parse(GpsFix& fix, const std::string& sentence, NmeaSettings settings = {}) {
    std::vector<char> text(sentence.begin(), sentence.end());
    text.push_back(0);
    int typeSeen = 0;
    return ParseSentence(fix, text.data(), settings, &typeSeen);
}

TEST(NmeaChecksumTest, OnlyAMatchingHexChecksumAfterAStarPasses) {
    struct Case {
        const char* sentence;
        int expected;
    } cases[] = {
        {"$GPGLL,4916.45,N,12311.12,W,225444,A*31", 1},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A*32", 0},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A*", 0},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A", 0},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A*zz", 0},
        {"$*00", 1},
        {"", 0},
        {"GPGLL*00", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerifyNmeaChecksum(c.sentence), c.expected) << c.sentence;
}

TEST(NmeaFieldsTest, SplitsInPlaceCutsAtTheStarAndStopsAtTheLimit) {
    char text[] = "$GPGSA,A,3,,04*1C";
    char* fields[6];
    ASSERT_EQ(SplitNmeaFields(text, fields, 6), 5);
    EXPECT_STREQ(fields[0], "$GPGSA");
    EXPECT_STREQ(fields[3], "");
    EXPECT_STREQ(fields[4], "04");
    EXPECT_EQ(fields[5], nullptr);
    char longer[] = "$X,1,2,3,4*00";
    char* three[3];
    ASSERT_EQ(SplitNmeaFields(longer, three, 3), 3);
    EXPECT_STREQ(three[2], "2");  // cut after the last field taken
}

TEST(NmeaTimeTest, SplitsSixDigitsAndRoundsTheFractionWithAFullCarry) {
    struct Case {
        const char* field;
        int result, a, b, c;
    } cases[] = {
        {"123559", 0, 12, 35, 59},
        {"123559.6", 0, 12, 36, 0},
        {"125959.6", 0, 13, 0, 0},  // carries on into the hour
        {"235959.5", 0, 0, 0, 0},
        {"123559.4", 0, 12, 35, 59},
        {"311214", 0, 31, 12, 14},  // a date
        {"010160", 0, 1, 1, 60},    // in 2060
        {"235960", 0, 23, 59, 60},  // a leap second
        {"12355", 1, 0, 0, 0},
        {"", 1, 0, 0, 0},
        {"12a559", 1, 0, 0, 0},
        // Long fractions are read, never written back over the field.
        {"123559.99999999999999999999999999999999999999999999999999", 0, 12, 36, 0},
    };
    for (const Case& c : cases) {
        const std::string before = c.field;
        int32_t a = -1, b = -1, d = -1;
        EXPECT_EQ(ParseNmeaTime(c.field, &a, &b, &d), c.result) << c.field;
        EXPECT_EQ(a, c.a) << c.field;
        EXPECT_EQ(b, c.b) << c.field;
        EXPECT_EQ(d, c.c) << c.field;
        EXPECT_EQ(before, c.field);
    }
}

TEST(NmeaSentenceTest, EachTypeDecodesAsByHand) {
    GpsFix fix;
    // 48 07.038' N, 11 31.000' E; 8 satellites, HDOP 0.9, 545.4 m, geoid 46.9 m.
    EXPECT_EQ(Parse(fix, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"),
              kSentenceGga);
    EXPECT_NEAR(fix.latitude, 48.1173, 1e-4);
    EXPECT_NEAR(fix.longitude, 11.516667, 1e-4);
    EXPECT_EQ(fix.satellitesUsed, 8);
    EXPECT_FLOAT_EQ(fix.hdop, 0.9f);
    EXPECT_FLOAT_EQ(fix.altitude, 545.4f);
    EXPECT_FLOAT_EQ(fix.geoidSeparation, 46.9f);
    EXPECT_TRUE(fix.valid);

    // South and west; 22.4 knots; course 84.4; variation 3.1 W.
    EXPECT_EQ(Parse(fix, "$GPRMC,123519,A,4807.038,S,01131.000,W,022.4,084.4,230394,003.1,W*7B"),
              kSentenceRmc);
    EXPECT_NEAR(fix.latitude, -48.1173, 1e-4);
    EXPECT_NEAR(fix.longitude, -11.516667, 1e-4);
    EXPECT_NEAR(fix.speedMph, 22.4 * 1.15078, 1e-4);
    EXPECT_FLOAT_EQ(fix.headingDegrees, 84.4f);
    EXPECT_EQ(fix.day, 23);
    EXPECT_EQ(fix.month, 3);
    EXPECT_EQ(fix.year, 94);
    EXPECT_FLOAT_EQ(fix.magneticVariation, -3.1f);
    EXPECT_EQ(fix.hour, 12);
    EXPECT_EQ(fix.second, 19);

    EXPECT_EQ(Parse(fix, "$GPGLL,4916.45,N,12311.12,W,225444,A*31"), kSentenceGll);
    EXPECT_NEAR(fix.latitude, 49.274167, 1e-4);
    EXPECT_NEAR(fix.longitude, -123.185333, 1e-4);
    EXPECT_TRUE(fix.valid);

    EXPECT_EQ(Parse(fix, "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39"), kSentenceGsa);
    EXPECT_EQ(fix.fixMode, 3);
    EXPECT_EQ(fix.satellitesUsed, 5);
    EXPECT_EQ(fix.usedSatellites[2], 9);
    EXPECT_FLOAT_EQ(fix.pdop, 2.5f);
    EXPECT_FLOAT_EQ(fix.hdop, 1.3f);
    EXPECT_FLOAT_EQ(fix.vdop, 2.1f);

    EXPECT_EQ(Parse(fix, "$GPGSV,1,1,02,01,40,083,46,02,17,308,*7A"), kSentenceGsv);
    EXPECT_EQ(fix.satellitesInView, 2);
    EXPECT_EQ(fix.satellites[0].number, 1);
    EXPECT_EQ(fix.satellites[0].elevationDegrees, 40);
    EXPECT_EQ(fix.satellites[0].azimuthDegrees, 83);
    EXPECT_EQ(fix.satellites[0].snr, 46);
    EXPECT_EQ(fix.satellites[1].snr, 0);  // not tracked
}

TEST(NmeaSentenceTest, RmcValidityRepeatsAndHeading) {
    GpsFix fix;
    const std::string rmc = "$GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E";
    ASSERT_EQ(Parse(fix, WithChecksum(rmc)), kSentenceRmc);
    fix.latitude = 1;
    // The same time again with status A is no new fix and changes nothing.
    EXPECT_EQ(Parse(fix, WithChecksum(rmc)), kSentenceNone);
    EXPECT_EQ(fix.latitude, 1);

    GpsFix status;
    const std::string voidEstimated =
        "$GPRMC,081837,V,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E,E";
    EXPECT_EQ(Parse(status, WithChecksum(voidEstimated)), kSentenceRmc);
    EXPECT_TRUE(status.valid);
    const std::string void12 = "$GPRMC,081838,V,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E";
    EXPECT_EQ(Parse(status, WithChecksum(void12)), kSentenceRmc);
    EXPECT_FALSE(status.valid);
    const std::string voidNone = "$GPRMC,081839,A,3751.65,S,14507.36,E,000.0,360.0,130998,,,N";
    Parse(status, WithChecksum(voidNone));
    EXPECT_FALSE(status.valid);
    // Status A without a position is no fix.
    Parse(status, WithChecksum("$GPRMC,081840,A,,,,,000.0,360.0,130998,,"));
    EXPECT_FALSE(status.valid);

    // The course becomes the heading below 1 mph only when "SiRFFix" is 0.
    GpsFix slow;
    const std::string crawling = "$GPRMC,081841,A,3751.65,S,14507.36,E,0.5,123.0,130998,,";
    Parse(slow, WithChecksum(crawling));
    EXPECT_EQ(slow.headingDegrees, 0);
    NmeaSettings anyCourse;
    anyCourse.headingOnlyWhenMoving = false;
    Parse(slow, WithChecksum("$GPRMC,081842,A,3751.65,S,14507.36,E,0.5,123.0,130998,,"), anyCourse);
    EXPECT_EQ(slow.headingDegrees, 123.0f);
    Parse(slow, WithChecksum("$GPRMC,081843,A,3751.65,S,14507.36,E,10,-90.0,130998,,"));
    EXPECT_EQ(slow.headingDegrees, 270.0f);
}

TEST(NmeaSentenceTest, GgaQualityGsvGroupsAndOutOfRangeValues) {
    GpsFix fix;
    Parse(fix, WithChecksum("$GPGGA,1,4807.038,N,01131.000,E,6,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_TRUE(fix.estimated);
    EXPECT_TRUE(fix.valid);
    Parse(fix, WithChecksum("$GPGGA,1,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,"));
    EXPECT_FALSE(fix.estimated);
    EXPECT_FALSE(fix.valid);
    EXPECT_EQ(Parse(fix, WithChecksum("$GPGGA,1,4807.038,N,01131.000,E,1,08")), kSentenceNone);

    // A group of three fills entries 0 to 11; a group of four is ignored whole.
    GpsFix sky;
    for (int n = 1; n <= 3; ++n) {
        std::string gsv = "$GPGSV,3," + std::to_string(n) + ",12";
        for (int s = 0; s < 4; ++s)
            gsv += "," + std::to_string(n * 10 + s) + ",45,180,30";
        EXPECT_EQ(Parse(sky, WithChecksum(gsv)), n == 3 ? kSentenceGsv : kSentenceNone);
    }
    EXPECT_EQ(sky.satellitesInView, 12);
    EXPECT_EQ(sky.satellites[11].number, 33);
    EXPECT_EQ(sky.satellites[12].snr, -1);
    EXPECT_EQ(Parse(sky, WithChecksum("$GPGSV,4,1,16,01,45,180,30")), kSentenceNone);
    EXPECT_EQ(sky.satellites[0].number, 10);
    // Message numbers past the table or 0 keep within its 14 entries.
    Parse(sky, WithChecksum("$GPGSV,9,9,40,01,45,180,30,02,45,180,30,03,45,180,30,04,4,1,3"));
    Parse(sky, WithChecksum("$GPGSV,5,0,40,01,45,180,30"));
    Parse(sky, WithChecksum("$GPGSV,5,4,99,01,45,180,30,02,45,180,30,03,45,180,30,04,4,1,3"));
    EXPECT_EQ(sky.satellitesInView, 14);
    EXPECT_EQ(sky.satellites[12].number, 1);
    EXPECT_EQ(sky.satellites[13].number, 2);

    // 91 degrees of latitude read as 1; huge, infinite and unreadable values are no
    // coordinate (and never hang the reduction).
    GpsFix far;
    Parse(far, WithChecksum("$GPGLL,9100.00,N,18100.00,E,225444,A"));
    EXPECT_NEAR(far.latitude, 1.0, 1e-6);
    EXPECT_NEAR(far.longitude, 1.0, 1e-6);
    for (const char* value : {"1e38", "1e39", "inf", "nan", "-4807.038"}) {
        GpsFix odd;
        odd.latitude = 7;
        Parse(odd, WithChecksum(std::string("$GPGLL,") + value + ",N,01131.000,E,225444,A"));
        EXPECT_EQ(odd.latitude, 7) << value;
        EXPECT_FALSE(odd.valid) << value;
    }
}

// Damaged sentences whose checksum holds: a field that is empty, not a number or
// out of range gives no value, never a zero, and a position that cannot be read is
// no fix.
TEST(NmeaSentenceTest, DamagedFieldsGiveNoValue) {
    const std::string good = "$GPRMC,081836,A,3751.65,S,14507.36,E,010.0,045.0,130998,011.3,E";
    struct Case {
        const char* what;
        std::string from, to;  // the part of the good sentence replaced
        bool valid;            // whether the fix is valid after it
    };
    const Case cases[] = {
        {"an unreadable latitude", "3751.65", "37x1.65", false},
        {"an empty-looking latitude", "3751.65", ".", false},
        {"60 minutes", "3751.65", "3760.00", false},
        {"99 minutes", "14507.36", "14599.00", false},
        {"another hemisphere letter", ",S,", ",Q,", false},
        {"two hemisphere letters", ",E,010", ",EW,010", false},
        {"a speed of inf", "010.0", "inf", true},
        {"a negative speed", "010.0", "-5", true},
        {"a speed with junk", "010.0", "10.0x", true},
        {"31 February", "130998", "310298", true},
        {"29 February of a year not leap", "130998", "290201", true},
        {"a course of nan", "045.0", "nan", true},
        {"a variation without E or W", "011.3,E", "011.3,Q", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GpsFix fix;
        ASSERT_EQ(Parse(fix, WithChecksum(good)), kSentenceRmc);
        GpsFix before = fix;
        std::string bad = good;
        bad.replace(bad.find(c.from), c.from.size(), c.to);
        bad.replace(bad.find("081836"), 6, "081837");
        EXPECT_EQ(Parse(fix, WithChecksum(bad)), kSentenceRmc);
        EXPECT_EQ(fix.valid, c.valid);
        // Nothing unreadable overwrote what the fix held.
        EXPECT_EQ(fix.latitude, before.latitude);
        EXPECT_EQ(fix.longitude, before.longitude);
        EXPECT_EQ(fix.speedMph, before.speedMph);
        EXPECT_EQ(fix.headingDegrees, before.headingDegrees);
        EXPECT_EQ(fix.day, before.day);
        EXPECT_EQ(fix.month, before.month);
        EXPECT_EQ(fix.magneticVariation, before.magneticVariation);
    }
    // A leap day is a day.
    GpsFix leap;
    std::string feb29 = good;
    feb29.replace(feb29.find("130998"), 6, "290200");
    Parse(leap, WithChecksum(feb29));
    EXPECT_EQ(leap.day, 29);

    // DOPs, altitudes and satellite figures out of their ranges keep what was there.
    GpsFix dop;
    Parse(dop, WithChecksum("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1"));
    Parse(dop, WithChecksum("$GPGSA,A,3,04,05,,09,12,,,24,,,,,-2.5,1e9,x"));
    EXPECT_FLOAT_EQ(dop.pdop, 2.5f);
    EXPECT_FLOAT_EQ(dop.hdop, 1.3f);
    EXPECT_FLOAT_EQ(dop.vdop, 2.1f);
    Parse(dop, WithChecksum("$GPGGA,1,4807.038,N,01131.000,E,1,08,-0.9,1e30,M,46.9,M,,"));
    EXPECT_FLOAT_EQ(dop.hdop, 1.3f);
    EXPECT_FLOAT_EQ(dop.altitude, 0.0f);
    EXPECT_EQ(dop.satellitesUsed, 8);

    // A checksum with anything after its two digits does not pass.
    for (const char* tail : {"", "x", " ", "0", "\t1"}) {
        const std::string sentence = WithChecksum("$GPGLL,4916.45,N,12311.12,W,225444,A") + tail;
        EXPECT_EQ(VerifyNmeaChecksum(sentence.c_str()), tail[0] == 0 ? 1 : 0) << tail;
    }
}

// The first fix of a receiver may come at 00:00:00: it repeats nothing.
TEST(NmeaSentenceTest, AFirstFixAtMidnightIsTaken) {
    GpsFix fix;
    const std::string midnight =
        WithChecksum("$GPRMC,000000,A,3751.65,S,14507.36,E,010.0,045.0,130998,,");
    EXPECT_EQ(Parse(fix, midnight), kSentenceRmc);
    EXPECT_TRUE(fix.valid);
    EXPECT_EQ(Parse(fix, midnight), kSentenceNone);  // the same again is a repeat
}

TEST(NmeaSentenceTest, PositionSentencesAreTakenFromTheCombinedTalker) {
    GpsFix fix;
    EXPECT_EQ(Parse(fix, WithChecksum("$GNRMC,123519,A,4807.038,N,01131.000,E,10,45,230394,,,A")),
              kSentenceRmc);
    EXPECT_EQ(Parse(fix, WithChecksum("$GNGGA,1,4807.038,N,01131.000,E,1,08,0.9,5,M,4,M,,")),
              kSentenceGga);
    EXPECT_EQ(Parse(fix, WithChecksum("$GNGLL,4916.45,N,12311.12,W,225444,A")), kSentenceGll);
    EXPECT_EQ(Parse(fix, WithChecksum("$GNGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1")),
              kSentenceNone);
    EXPECT_EQ(Parse(fix, WithChecksum("$BDGSV,1,1,01,01,40,083,46")), kSentenceNone);
}

std::vector<std::string> Frame(NmeaFramer& framer, const std::vector<std::string>& reads) {
    std::vector<std::string> sentences;
    for (const std::string& read : reads)
        framer.Feed(read.data(), read.size(), [&](char* sentence, size_t length) {
            EXPECT_EQ(std::strlen(sentence), length);
            sentences.emplace_back(sentence);
        });
    return sentences;
}

TEST(NmeaFramerTest, FramesAcrossReadsAndDropsWhatCannotBeASentence) {
    NmeaFramer framer;
    EXPECT_EQ(Frame(framer, {"noise$GPA,1*00\r", "\n$GPB,", "2*00\n"}),
              (std::vector<std::string>{"$GPA,1*00", "$GPB,2*00"}));
    // A byte 0 or of 128 and above drops the sentence it is in.
    EXPECT_EQ(Frame(framer, {std::string("$GPC,\x80\x81*00\r\n$GPD*00\n", 20),
                             std::string("$GPE\0*00\n$GPF*00\n", 17)}),
              (std::vector<std::string>{"$GPD*00", "$GPF*00"}));
    EXPECT_EQ(framer.Dropped(), 2u);
    // A buffer full of one unterminated sentence is dropped up to its next '$'.
    std::string endless = "$GPG" + std::string(1500, 'x') + "$GPH*00\n";
    EXPECT_EQ(Frame(framer, {endless}), (std::vector<std::string>{"$GPH*00"}));
    const std::vector<std::string> dollars =
        Frame(framer, {"$GP" + std::string(5000, '$') + "$GPI*00\n"});
    ASSERT_FALSE(dollars.empty());
    EXPECT_LE(dollars.back().size(), kSentenceBufferData);
    EXPECT_EQ(framer.Fill(), 0u);
}

TEST(NmeaFramerTest, StopsBetweenSentencesWhenAsked) {
    NmeaFramer framer;
    const std::string two = "$GPA*00\n$GPB*00\n";
    std::memcpy(framer.FreeSpace(), two.data(), two.size());
    framer.Commit(two.size());
    int handled = 0;
    framer.Frame([&](char*, size_t) { ++handled; }, [] { return true; });
    EXPECT_EQ(handled, 1);
    framer.Frame([&](char*, size_t) { ++handled; });
    EXPECT_EQ(handled, 2);
}

}  // namespace
