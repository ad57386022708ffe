#include "pathlume/guidance/spoken_phrase.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/text.h"
#include "tests/guidance/said.h"

namespace {

TEST(SpokenPhrase, WordConstantsNameTheirRecordings) {
    const std::pair<int, const char*> names[] = {
        {word::kIn, "in"},
        {word::kFeet, "feet"},
        {word::kHundred, "100"},
        {word::kThousand, "1000"},
        {word::kPoint, "point"},
        {word::kDrive, "drive"},
        {word::kYards, "yards"},
        {word::kMeters, "meters"},
        {word::kKms, "kms"},
        {word::kFirst + 11, "12th"},
        {word::kTake, "take"},
        {word::kChime, "mvr"},
        {word::kThenImm, "thenimm"},
        {word::kDestOn, "deston"},
        {word::kEntFwyR, "entfwyr"},
        {word::Tens(9), "90"},
        {word::Teen(19), "19"},
        {word::kThreeQuarters, "3q"},
        {word::kOffRouteUturn, "ofruturn"},
        {word::kNearestRoad, "nearstrd"},
        {word::kWait4Gps, "wait4gps"},
        {word::kAlarm2, "alarm2"},
        {word::kFollow, "follow"},
    };
    for (const auto& [index, name] : names) {
        EXPECT_EQ(platform::WideToUtf8(PromptWordTable[index]), name) << index;
    }
}

struct NumberCase {
    double value;
    SpokenUnits units;
    const char* said;  // "" when nothing is said
};

TEST(SpokenPhrase, WholeDistances) {
    const NumberCase cases[] = {
        {750, SpokenUnits::kFeet, "in 7 100 feet"},
        {45, SpokenUnits::kFeet, "in 40 feet"},
        {250, SpokenUnits::kMetric, "in 2 100 50 meters"},
        {250, SpokenUnits::kFeet, "in 2 100 feet"},  // feet: no tens above 100
        {750, SpokenUnits::kYards, "in 2 100 50 yards"},
        {1320, SpokenUnits::kYards, "in 4 100 yards"},
        {1050, SpokenUnits::kFeet, "in 1 1000 feet"},
        {960, SpokenUnits::kMetric, "in 9 100 meters"},  // hundreds 9: tens unsaid
        {99.4, SpokenUnits::kFeet, "in 90 feet"},
        {9, SpokenUnits::kFeet, ""},  // no digit said: nothing at all
        {24, SpokenUnits::kYards, ""},
        {12000, SpokenUnits::kMetric, ""},  // beyond four digits
        {-50, SpokenUnits::kFeet, ""},
    };
    for (const NumberCase& c : cases) {
        PhraseBuffer phrase;
        const bool said = AppendNumberPhrases(phrase, c.value, c.units, true);
        EXPECT_EQ(Said(phrase), c.said) << c.value;
        EXPECT_EQ(said, *c.said != '\0') << c.value;
    }
}

TEST(SpokenPhrase, DecimalAndDriveDistances) {
    struct Case {
        double value;
        bool metric;
        bool drive;
        const char* said;
    } const cases[] = {
        {2.5, false, false, "in 2 point 5 miles"},
        {1.0, false, false, "in 1 mile"},
        {0.96, false, false, "in 1 mile"},  // rounds to 1.0
        {0.4, true, false, "in point 4 kms"},
        {3.04, true, false, "in 3 kms"},
        {4.5, false, true, "drive 4 point 5 miles"},
        {7.0, true, true, "drive 7 kms"},
        {12.4, false, true, "drive 12 miles"},
        {45.6, false, true, "drive 40 6 miles"},
        {60.2, true, true, "drive 60 kms"},
        {9.96, false, true, "drive 10 miles"},
        {205, false, true, "drive 2 100 5 miles"},
        {999.9, false, true, "drive 1 1000 miles"},
        {1609.3, true, true, "drive 1 1000 6 100 9 kms"},
    };
    for (const Case& c : cases) {
        PhraseBuffer phrase;
        if (c.drive) {
            AppendDrivePhrase(phrase, c.value, c.metric);
        } else {
            AppendDecimalPhrases(phrase, c.value, c.metric, true);
        }
        EXPECT_EQ(Said(phrase), c.said) << c.value;
    }
}

TEST(SpokenPhrase, FirstAnnouncementByDistanceAndUnits) {
    struct Case {
        double distance;  // feet, or metres when metric
        SpokenUnits units;
        bool drive;
        const char* said;
    } const cases[] = {
        {170, SpokenUnits::kFeet, false, ""},  // within the now distance
        {50, SpokenUnits::kMetric, false, ""},
        {450, SpokenUnits::kFeet, false, "in 4 100 feet"},
        {1000, SpokenUnits::kYards, false, "in 3 100 yards"},
        {700, SpokenUnits::kYards, false, "in 2 100 30 yards"},
        {13200, SpokenUnits::kFeet, false, "in 2 point 5 miles"},
        {21120, SpokenUnits::kYards, false, "in 4 miles"},
        {21200, SpokenUnits::kFeet, true, "drive 4 miles"},
        {30000, SpokenUnits::kFeet, true, "drive 5 point 7 miles"},
        {190, SpokenUnits::kFeet, false, "in 1 100 feet"},  // near: the whole distance
        {180, SpokenUnits::kMetric, false, "in 1 100 80 meters"},
        {2500, SpokenUnits::kMetric, false, "in 2 point 5 kms"},
        {4980, SpokenUnits::kMetric, false, "in 5 kms"},
        {5050, SpokenUnits::kMetric, true, "drive 5 point 1 kms"},
        {32000, SpokenUnits::kMetric, true, "drive 30 2 kms"},
    };
    // 30 mph on the road: the now distance is 4 s, about 176 feet.
    const FLOAT category = static_cast<FLOAT>(44.0 * kRadiansPerFoot);
    for (const Case& c : cases) {
        const bool metric = c.units == SpokenUnits::kMetric;
        const StageDistances stages =
            ComputeStageDistances(c.units, false, 1, 0x100, category, category);
        const double radians = c.distance * (metric ? kRadiansPerMetre : kRadiansPerFoot);
        PhraseBuffer phrase;
        const bool drive =
            AppendFirstAnnouncementDistance(phrase, static_cast<FLOAT>(radians), stages, c.units);
        EXPECT_EQ(Said(phrase), c.said) << c.distance;
        EXPECT_EQ(drive, c.drive) << c.distance;
    }
}

TEST(SpokenPhrase, StageDistancesByRoadAndUnits) {
    constexpr double ft = kRadiansPerFoot;
    constexpr double mile = 5280 * ft;
    const FLOAT speed = static_cast<FLOAT>(10 * ft);
    struct Case {
        SpokenUnits units;
        bool flagged;
        uint32_t kind;
        uint32_t vehicleClass;
        double base, mid, far;  // radians
    } const cases[] = {
        {SpokenUnits::kFeet, false, 1, 0x100, 500 * ft, 2000 * ft, mile},
        {SpokenUnits::kFeet, false, 2, 0xc0, 800 * ft, 2000 * ft, mile},
        {SpokenUnits::kFeet, false, 7, 0xc0, 500 * ft, 2000 * ft, mile},  // a keep: no widening
        {SpokenUnits::kFeet, false, 13, 0xc0, 100 * ft, 2000 * ft, mile},
        {SpokenUnits::kYards, false, 1, 0xc0, 600 * ft, 2000 * ft, mile},
        {SpokenUnits::kMetric, false, 1, 0xc0, 200 * kRadiansPerMetre, 500 * kRadiansPerMetre,
         1000 * kRadiansPerMetre},
        {SpokenUnits::kMetric, false, 13, 0xc0, 30 * kRadiansPerMetre, 500 * kRadiansPerMetre,
         1000 * kRadiansPerMetre},
        {SpokenUnits::kYards, true, 1, 0x40, 0.25 * mile, 0.75 * mile, 2 * mile},
        {SpokenUnits::kFeet, true, 13, 0x40, 0.05 * mile, 0.75 * mile, 2 * mile},
        {SpokenUnits::kMetric, true, 1, 0x40, 300 * kRadiansPerMetre, 1000 * kRadiansPerMetre,
         3000 * kRadiansPerMetre},
    };
    for (const Case& c : cases) {
        const StageDistances s =
            ComputeStageDistances(c.units, c.flagged, c.kind, c.vehicleClass, speed, 2 * speed);
        EXPECT_FLOAT_EQ(s.nearBase, static_cast<FLOAT>(c.base)) << c.kind;
        EXPECT_FLOAT_EQ(s.nearDist, static_cast<FLOAT>(c.base + 2 * speed)) << c.kind;
        EXPECT_FLOAT_EQ(s.now, 8 * speed);
        EXPECT_FLOAT_EQ(s.mid, static_cast<FLOAT>(c.mid));
        EXPECT_FLOAT_EQ(s.far, static_cast<FLOAT>(c.far));
    }
}

TEST(SpokenPhrase, StageWords) {
    struct Case {
        int stage;
        SpokenUnits units;
        bool flagged;
        uint32_t vehicleClass;
        bool sameSide;
        const char* said;
        uint32_t kind = 1;  // a right turn
    } const cases[] = {
        {1, SpokenUnits::kFeet, false, 0xc0, false, "in 8 100 feet"},
        // Straight, bear and keep fire at 500 feet from a class 0xc0 road too.
        {1, SpokenUnits::kFeet, false, 0xc0, false, "in 5 100 feet", 3},
        {1, SpokenUnits::kFeet, false, 0xc0, false, "in 5 100 feet", 7},
        {1, SpokenUnits::kFeet, false, 0xc0, false, "in 5 100 feet", 10},
        {1, SpokenUnits::kFeet, false, 0xc0, false, "in 8 100 feet", 11},
        {1, SpokenUnits::kFeet, false, 0x100, false, "in 5 100 feet"},
        {1, SpokenUnits::kYards, false, 0x100, false, "in 2 100 yards"},
        {1, SpokenUnits::kMetric, false, 0x100, false, "in 2 100 meters"},
        {1, SpokenUnits::kFeet, true, 0x40, true, "in 1 1000 feet"},
        {1, SpokenUnits::kYards, true, 0x40, true, "in 4 100 yards"},
        {1, SpokenUnits::kMetric, true, 0x40, true, "in 3 100 meters"},
        {1, SpokenUnits::kFeet, true, 0x40, false, ""},
        {2, SpokenUnits::kFeet, false, 0x100, false, "in 2 1000 feet"},
        {2, SpokenUnits::kYards, false, 0x100, false, "in 5 100 yards"},
        {2, SpokenUnits::kYards, true, 0x40, false, "in 3q mile"},
        {2, SpokenUnits::kMetric, false, 0x100, false, "in 5 100 meters"},
        {2, SpokenUnits::kMetric, true, 0x40, false, "in 1 km"},
        {3, SpokenUnits::kFeet, false, 0x100, false, "in 1 mile"},
        {3, SpokenUnits::kFeet, true, 0x40, false, "in 2 miles"},
        {3, SpokenUnits::kMetric, false, 0x100, false, "in 1 km"},
        {3, SpokenUnits::kMetric, true, 0x40, false, "in 3 kms"},
    };
    for (const Case& c : cases) {
        PhraseBuffer phrase;
        AppendStageDistance(phrase, c.stage, c.units, c.flagged, c.kind, c.vehicleClass,
                            c.sameSide);
        EXPECT_EQ(Said(phrase), c.said)
            << c.stage << ' ' << static_cast<int>(c.units) << " kind " << c.kind;
    }
}

TEST(SpokenPhrase, HighwayNumbers) {
    struct Case {
        const char* name;
        uint32_t roadClass;
        int kind;  // -1: no number
        int number;
        const char* said;
    } const cases[] = {
        {"I-405 N", 0x40, 0, 405, "4 0 5"},
        {"I 5", 0xc0, 0, 5, "5"},
        {"Old I-80 Road", 0x80, 0, 80, "80"},
        {"HI-1", 0x80, 2, 1, "1"},  // "I-" after a capital is no interstate
        {"US-101/Main St", 0x80, 1, 101, "1 0 1"},
        {"CA-110", 0x80, 2, 110, "1 10"},
        {"SR-500", 0x80, 2, 500, "5 100"},
        {"M1-45", 0x80, 3, 45, "40 5"},
        {"A7-12", 0x80, 3, 12, "12"},
        {"I-405", 0x100, -1, -1, ""},  // local road
        {"Main Street", 0x80, -1, -1, ""},
        {"Rue I-", 0x80, -1, -1, ""},
        {"US-1234", 0x80, 1, 1234, ""},  // too long to say
    };
    for (const Case& c : cases) {
        int kind = -1;
        EXPECT_EQ(ParseHighwayNumber(c.name, c.roadClass, &kind), c.number) << c.name;
        if (c.number >= 0) {
            EXPECT_EQ(kind, c.kind) << c.name;
        }
        PhraseBuffer phrase;
        if (c.number >= 0) {
            AppendHighwayNumber(phrase, c.number);
        }
        EXPECT_EQ(Said(phrase), c.said) << c.name;
    }
}

TEST(SpokenPhrase, RoundaboutExitsAndCuttingAt31Words) {
    PhraseBuffer third;
    third.Append(word::kRoundabout);
    AppendRoundaboutExitWords(third, 3);
    EXPECT_EQ(Said(third), "tcirc then take 3rd exit");
    PhraseBuffer far;
    AppendRoundaboutExitWords(far, 13);
    AppendRoundaboutExitWords(far, 0);
    EXPECT_EQ(far.count, 0);

    PhraseBuffer full;
    for (int i = 0; i < 8; ++i) {
        AppendRoundaboutExitWords(full, 12);
    }
    EXPECT_EQ(full.count, kMaxPhraseWords);
    EXPECT_TRUE(full.cut);
    EXPECT_EQ(full.words[kMaxPhraseWords - 1], word::kFirst + 11);  // 7 whole exits and 3 words
}

}  // namespace
