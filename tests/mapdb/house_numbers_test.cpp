// House numbers along a link: the match of a number against an address record,
// the position of a number, the numbers at a point, and the distances along a
// link's shape.
#include "pathlume/mapdb/house_numbers.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <vector>

#include "pathlume/mapdb/geometry.h"

namespace {

namespace li = formats::link_info;

// Radians of arc of `degrees` on a meridian, or along the equator.
constexpr double kRadiansPerDegree = 0.01745329238474369;

LinkInfoRecord MakeRecord(uint16_t leftKind, li::Parity leftParity, li::HouseRange left,
                          uint16_t rightKind = 0, li::Parity rightParity = li::kParityNone,
                          li::HouseRange right = {}) {
    LinkInfoRecord record;
    record.addressWord = li::AddressWord(leftKind, leftParity, rightKind, rightParity, false);
    record.left = left;
    record.right = right;
    record.leftPlace = 500;
    record.rightPlace = 600;
    record.leftExtra = 700;
    return record;
}

TEST(HouseNumbersTest, MatchHouseNumberOnLink) {
    const LinkInfoRecord evenLeftOddRight =
        MakeRecord(li::kLeftRangeKind, li::kParityEven, {100, 198}, li::kRightRangeKind,
                   li::kParityOdd, {199, 101});
    const struct {
        const char* label;
        LinkInfoRecord record;
        int32_t number, place;
        bool needRange;
        int result, side;
    } cases[] = {
        {"OddOnEven", MakeRecord(li::kLeftRangeKind, li::kParityEven, {100, 198}), 101, 0, false, 0,
         0},
        {"OddOnBoth", MakeRecord(li::kLeftRangeKind, li::kParityBoth, {100, 198}), 101, 0, false, 1,
         1},
        {"Reversed", MakeRecord(li::kLeftRangeKind, li::kParityBoth, {198, 100}), 101, 0, false, 1,
         1},
        {"EvenOnOdd", MakeRecord(li::kLeftRangeKind, li::kParityOdd, {100, 198}), 150, 0, false, 0,
         0},
        {"RangeEnds", evenLeftOddRight, 198, 0, false, 1, 1},
        {"RightSide", evenLeftOddRight, 151, 0, false, 1, -1},
        {"ReversedRightEnd", evenLeftOddRight, 199, 0, false, 1, -1},
        {"OutOfRange", evenLeftOddRight, 200, 0, false, 0, 0},
        {"NoNumber", evenLeftOddRight, -1, 0, false, 1, 0},
        {"ParityNone", MakeRecord(li::kLeftRangeKind, li::kParityNone, {100, 198}), 150, 0, false,
         0, 0},
        {"KindNotForAddresses", MakeRecord(3, li::kParityBoth, {100, 198}), 150, 0, true, 0, 0},
        {"NoRangeNeeded", MakeRecord(0, li::kParityNone, {}), 150, 0, true, -1, 0},
        {"NoRangeNotNeeded", MakeRecord(0, li::kParityNone, {}), 150, 0, false, 0, 0},
        {"PlaceIsTheExtra", evenLeftOddRight, 150, 700, false, 1, 1},
        {"PlaceMissing", evenLeftOddRight, 150, 999, false, 0, 0},
        {"PlaceMissingBeforeNoNumber", evenLeftOddRight, -1, 999, false, 0, 0},
        {"PlaceMissingBeforeNoRange", MakeRecord(0, li::kParityNone, {}), 150, 999, true, 0, 0},
        {"NegativePlaceIgnored", evenLeftOddRight, 150, -1, false, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        int side = 55;
        EXPECT_EQ(MatchHouseNumberOnLink(c.number, c.record, &side, c.place, c.needRange),
                  c.result);
        EXPECT_EQ(side, c.side);
    }
}

// A link through the given vertices (from-node, shape points, to-node), its length
// the measured length of its shape unless given.
struct TestLink {
    MapNode fromNode{};
    MapNode toNode{};
    std::vector<MapPoint> shape;
    MapLink link{};

    explicit TestLink(std::vector<MapPoint> vertices, double length = -1) {
        fromNode.position = vertices.front();
        toNode.position = vertices.back();
        shape.assign(vertices.begin() + 1, vertices.end() - 1);
        link.fromNode = &fromNode;
        link.toNode = &toNode;
        link.shapePoints = shape.empty() ? nullptr : shape.data();
        link.shapeInfo = static_cast<uint16_t>(shape.size());
        if (length < 0) {
            length = 0;
            for (size_t i = 0; i + 1 < vertices.size(); ++i)
                length += PointDistance(vertices[i], vertices[i + 1], 1.0);
        }
        SetLength(length);
    }
    void SetLength(double length) {
        link.word0 = std::bit_cast<uint32_t>(static_cast<FLOAT>(length));
    }
};

void ExpectPoint(const MapPoint& p, float latitude, float longitude) {
    EXPECT_NEAR(p.latitude, latitude, 1e-6);
    EXPECT_NEAR(p.longitude, longitude, 1e-6);
}

TEST(HouseNumbersTest, PositionForHouseNumberOnAStraightLink) {
    TestLink straight({{0.0f, 0.0f}, {0.0f, 0.01f}});
    const LinkInfoRecord record = MakeRecord(li::kLeftRangeKind, li::kParityBoth, {100, 200},
                                             li::kRightRangeKind, li::kParityOdd, {199, 101});
    const struct {
        const char* label;
        int32_t number;
        int side;
        float longitude;
    } cases[] = {
        {"Middle", 150, 1, 0.005f},      {"RangeStart", 100, 1, 0.0f},
        {"NoNumber", -1, 1, 0.01f},      {"ReversedRange", 101, -1, 0.01f},
        {"PastTheRange", 250, 1, 0.01f}, {"BeforeTheRange", 50, 1, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        int32_t shapeIndex = 7;
        MapPoint p;
        int exact = 5;
        ASSERT_EQ(PositionForHouseNumber(straight.link, record, c.number, c.side, &shapeIndex, &p,
                                         &exact),
                  0);
        EXPECT_EQ(shapeIndex, -1);
        EXPECT_EQ(exact, 0);
        ExpectPoint(p, 0.0f, c.longitude);
    }

    // A range of one number puts it at the link's end and says so.
    const LinkInfoRecord single = MakeRecord(li::kLeftRangeKind, li::kParityBoth, {120, 120});
    int32_t shapeIndex = 7;
    MapPoint p;
    int exact = 0;
    ASSERT_EQ(PositionForHouseNumber(straight.link, single, 120, 1, &shapeIndex, &p, &exact), 0);
    EXPECT_EQ(exact, 1);
    ExpectPoint(p, 0.0f, 0.01f);
    // The exact flag is optional.
    ASSERT_EQ(PositionForHouseNumber(straight.link, single, 120, 1, &shapeIndex, &p, nullptr), 0);

    // A link of length 0 puts every number at its start.
    TestLink point({{1.0f, 2.0f}, {1.0f, 2.0f}});
    ASSERT_EQ(PositionForHouseNumber(point.link, record, 150, 1, &shapeIndex, &p, &exact), 0);
    ExpectPoint(p, 1.0f, 2.0f);
}

TEST(HouseNumbersTest, PositionForHouseNumberWalksTheShape) {
    // Three segments of 0.01 degrees at the equator, the middle one going north,
    // and a repeated point that makes a segment of length 0.
    TestLink shaped({{0.0f, 0.0f}, {0.0f, 0.01f}, {0.01f, 0.01f}, {0.01f, 0.01f}, {0.01f, 0.02f}});
    const LinkInfoRecord record = MakeRecord(li::kLeftRangeKind, li::kParityBoth, {100, 130});
    const struct {
        int32_t number;
        int32_t shapeIndex;
        float latitude, longitude;
    } cases[] = {
        {100, 0, 0.0f, 0.0f},    {105, 0, 0.0f, 0.005f},  {110, 0, 0.0f, 0.01f},
        {115, 1, 0.005f, 0.01f}, {125, 3, 0.01f, 0.015f}, {130, 3, 0.01f, 0.02f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        int32_t shapeIndex = -7;
        MapPoint p;
        ASSERT_EQ(
            PositionForHouseNumber(shaped.link, record, c.number, 1, &shapeIndex, &p, nullptr), 0);
        EXPECT_EQ(shapeIndex, c.shapeIndex);
        ExpectPoint(p, c.latitude, c.longitude);
    }

    // A stored length longer than the shape: the end of the range is the to-node,
    // not a point back on the last segment.
    shaped.SetLength(PointDistance({0, 0}, {0, 0.03f}, 1.0) * 1.05);
    int32_t shapeIndex = -7;
    MapPoint p;
    ASSERT_EQ(PositionForHouseNumber(shaped.link, record, 130, 1, &shapeIndex, &p, nullptr), 0);
    EXPECT_EQ(shapeIndex, 3);
    ExpectPoint(p, 0.01f, 0.02f);
}

TEST(HouseNumbersTest, HouseNumbersAtPoint) {
    TestLink straight({{0.0f, 0.0f}, {0.0f, 0.01f}});
    const MapPoint middle{0.0f, 0.005f};
    // Half of the link exactly, whatever the rounding of the distances.
    straight.SetLength(2.0 * DistanceAlongLink(straight.link, true, -1, middle));
    const struct {
        const char* label;
        li::Parity parity;
        li::HouseRange range;
        int32_t expected;
    } cases[] = {
        {"EvenKeepsParity", li::kParityEven, {100, 198}, 150},  // k = 49 -> 50
        {"BothTruncatesNot", li::kParityBoth, {100, 198}, 149},
        {"ReversedEven", li::kParityEven, {198, 100}, 148},  // k = -49 -> -50
        {"BothRoundsHalfAway", li::kParityBoth, {100, 105}, 103},
        {"ReversedBothRoundsHalfAway", li::kParityBoth, {105, 100}, 102},
        {"SingleNumber", li::kParityOdd, {121, 121}, 121},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const LinkInfoRecord record = MakeRecord(li::kLeftRangeKind, c.parity, c.range,
                                                 li::kRightRangeKind, c.parity, c.range);
        int32_t left = 0, right = 0;
        ASSERT_EQ(HouseNumbersAtPoint(straight.link, record, -1, middle, &left, &right), 0);
        EXPECT_EQ(left, c.expected);
        EXPECT_EQ(right, c.expected);
    }

    // A side without numbers for addresses answers -1.
    const LinkInfoRecord leftOnly = MakeRecord(li::kLeftRangeKind, li::kParityEven, {100, 198});
    int32_t left = 0, right = 0;
    ASSERT_EQ(HouseNumbersAtPoint(straight.link, leftOnly, -1, middle, &left, &right), 0);
    EXPECT_EQ(left, 150);
    EXPECT_EQ(right, -1);

    // Beyond the link's end the answer stays inside the range, even where parity
    // would step past it.
    const LinkInfoRecord oddEnd = MakeRecord(li::kLeftRangeKind, li::kParityEven, {100, 199});
    ASSERT_EQ(HouseNumbersAtPoint(straight.link, oddEnd, -1, {0.0f, 0.03f}, &left, &right), 0);
    EXPECT_EQ(left, 199);

    // A link of length 0: every point has the range's first number.
    straight.SetLength(0);
    ASSERT_EQ(HouseNumbersAtPoint(straight.link, leftOnly, -1, middle, &left, &right), 0);
    EXPECT_EQ(left, 100);
}

TEST(HouseNumbersTest, DistancesAlongTheShape) {
    // Segments of 0.01 degrees: east, north, east.
    TestLink shaped({{0.0f, 0.0f}, {0.0f, 0.01f}, {0.01f, 0.01f}, {0.01f, 0.02f}});
    const MapLink& link = shaped.link;
    const struct {
        int32_t shapeIndex;
        MapPoint point;
        double fromStart, fromEnd;  // degrees
    } cases[] = {
        {-1, {0.0f, 0.003f}, 0.003, std::hypot(0.01, 0.017)},  // from the end: the to-node
        {0, {0.0f, 0.003f}, 0.003, 0.027},
        {1, {0.004f, 0.01f}, 0.014, 0.016},
        {2, {0.01f, 0.015f}, 0.025, 0.005},
        {9, {0.01f, 0.015f}, 0.025, 0.005},  // past the last segment: the last
    };
    // A link without shape points and an index past them: from its ends.
    TestLink bare({{0.0f, 0.0f}, {0.0f, 0.01f}});
    EXPECT_NEAR(DistanceAlongLink(bare.link, true, 3, {0.0f, 0.004f}), 0.004 * kRadiansPerDegree,
                1e-8);
    EXPECT_NEAR(DistanceAlongLink(bare.link, false, 3, {0.0f, 0.004f}), 0.006 * kRadiansPerDegree,
                1e-8);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shapeIndex);
        EXPECT_NEAR(DistanceAlongLink(link, false, c.shapeIndex, c.point),
                    c.fromEnd * kRadiansPerDegree, 1e-8);
        EXPECT_NEAR(DistanceAlongLink(link, true, c.shapeIndex, c.point),
                    c.fromStart * kRadiansPerDegree, 1e-8);
    }
    const struct {
        bool fromStart;
        int32_t index;
        double degrees;
    } lengths[] = {{true, 0, 0},     {true, 1, 0.01},  {true, 2, 0.02}, {true, 99, 0.02},
                   {false, 0, 0.02}, {false, 1, 0.01}, {false, 2, 0},   {false, -4, 0.02}};
    for (const auto& l : lengths) {
        SCOPED_TRACE(testing::Message() << l.fromStart << " " << l.index);
        EXPECT_NEAR(ShapeLength(link, l.fromStart, l.index, 1.0), l.degrees * kRadiansPerDegree,
                    1e-8);
    }
}

}  // namespace
