// The house ranges made from single addresses: each number where its building
// stands, as the program spreads a range evenly along its link.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tools/discmaker/house_ranges.h"

namespace {

using namespace discmaker;

// Where the program puts a number of a range on a link of `km`.
double PlaceKm(const HouseRange& range, uint32_t number, double km) {
    if (range.first == range.last)
        return km;
    const double share = (static_cast<double>(number) - range.first) /
                         (static_cast<double>(range.last) - range.first);
    return km * std::clamp(share, 0.0, 1.0);
}

SideNumbers Side(double km, std::vector<PlacedNumber> placed, std::string street = "MAIN",
                 uint32_t area = 1) {
    return {std::move(street), area, km, std::move(placed)};
}

TEST(HouseRangesTest, NumbersLieWhereTheirBuildingsStand) {
    struct Case {
        const char* what;
        SideNumbers side;
        double metres;  // how far a number may lie from its building
    };
    const Case cases[] = {
        {"a lone number in the middle of a long link", Side(0.4, {{0.11, 12}}), 25},
        // Below the lowest number there is no room: it lies at the nearer end.
        {"a lone lowest number", Side(0.4, {{0.11, 2}}), 111},
        {"a lone number near the to-node", Side(0.4, {{0.35, 7}}), 25},
        {"numbers on the first third of a link",
         Side(0.34, {{0.01, 2}, {0.04, 6}, {0.08, 10}, {0.13, 14}}), 15},
        {"numbers falling towards the to-node", Side(0.3, {{0.2, 9}, {0.25, 5}, {0.29, 1}}), 15},
        {"a number twice, 70 m apart", Side(0.35, {{0.29, 7}, {0.22, 7}}), 50},
        {"numbers spread over the whole link", Side(0.2, {{0.0, 1}, {0.1, 11}, {0.2, 21}}), 1},
    };
    for (const Case& c : cases) {
        const HouseRange range = FitHouseRanges({c.side}).at(0);
        for (const PlacedNumber& p : c.side.placed) {
            EXPECT_NEAR(PlaceKm(range, p.number, c.side.linkKm) * 1000, p.alongKm * 1000, c.metres)
                << c.what << ": " << p.number << " in " << range.first << ".." << range.last;
        }
        const uint32_t low = std::min(range.first, range.last);
        const uint32_t high = std::max(range.first, range.last);
        for (const PlacedNumber& p : c.side.placed) {
            EXPECT_TRUE(p.number >= low && p.number <= high) << c.what;
            EXPECT_EQ(low % 2, p.number % 2) << c.what << ": the range keeps the parity";
        }
        EXPECT_GE(low, 1u) << c.what << ": no number 0 is made up";
    }
}

TEST(HouseRangesTest, AnEndHeldAtItsBoundKeepsTheNumbersNearTheirPlaces) {
    // 1 to 7 every 50 m from 400 m on a 1 km link: the line through them would start
    // below 1, so the range starts at 1 and its other end is fitted again; 1 itself
    // can only lie at the from-node.
    const SideNumbers side = Side(1.0, {{0.40, 1}, {0.45, 3}, {0.50, 5}, {0.55, 7}});
    const HouseRange range = FitHouseRanges({side}).at(0);
    EXPECT_EQ(range.first, 1u);
    EXPECT_NEAR(PlaceKm(range, 7, 1.0), 0.55, 0.06) << range.first << ".." << range.last;
    EXPECT_NEAR(PlaceKm(range, 5, 1.0), 0.50, 0.11) << range.first << ".." << range.last;

    // Likewise at the far end: numbers falling to 2 at the to-node's side.
    const SideNumbers falling = Side(1.0, {{0.45, 8}, {0.50, 6}, {0.55, 4}, {0.60, 2}});
    const HouseRange back = FitHouseRanges({falling}).at(0);
    EXPECT_EQ(back.last, 2u);
    EXPECT_NEAR(PlaceKm(back, 8, 1.0), 0.45, 0.06) << back.first << ".." << back.last;
}

TEST(HouseRangesTest, RangesStopHalfwayToTheStreetsOtherNumbers) {
    // Two lone numbers of one street in one place on long links: each range may
    // reach only halfway to the other's numbers, so no number has two links.
    const std::vector<HouseRange> ranges =
        FitHouseRanges({Side(1.0, {{0.5, 11}}), Side(1.0, {{0.5, 31}})});
    EXPECT_EQ(std::max(ranges[0].first, ranges[0].last), 19u);
    EXPECT_EQ(std::min(ranges[1].first, ranges[1].last), 21u);
    EXPECT_EQ(ranges[0].parity, Parity::Odd);

    // Where the other side's numbers reach below this side's, its range starts at
    // its own lowest number; above, it still has room.
    const HouseRange overlapping =
        FitHouseRanges({Side(1.0, {{0.5, 11}, {0.6, 15}}), Side(1.0, {{0.5, 5}, {0.9, 13}})}).at(0);
    EXPECT_EQ(overlapping.first, 11u);
    EXPECT_GT(overlapping.last, 15u);

    // Numbers of the other parity, another street or another place do not bound it.
    for (const SideNumbers& other : {Side(1.0, {{0.5, 14}}), Side(1.0, {{0.5, 13}}, "ELM"),
                                     Side(1.0, {{0.5, 13}}, "MAIN", 2)}) {
        const HouseRange alone = FitHouseRanges({Side(1.0, {{0.5, 11}}), other}).at(0);
        EXPECT_GT(std::max(alone.first, alone.last), 13u) << other.street << " " << other.area;
    }
}

TEST(HouseRangesTest, CrowdedAndMixedNumbersKeepTheirRange) {
    // Forty numbers at one point keep a narrow-house spacing; a side with both
    // parities steps by one; a number 0 that was placed stays.
    std::vector<PlacedNumber> crowd;
    for (uint32_t n = 1; n <= 40; ++n)
        crowd.push_back({0.0, n});
    const HouseRange crowded = FitHouseRanges({Side(0.05, crowd)}).at(0);
    EXPECT_EQ(crowded.first, 1u);
    EXPECT_EQ(crowded.parity, Parity::Mixed);
    EXPECT_LE(crowded.last, 60u);
    EXPECT_GE(crowded.last, 40u);

    const HouseRange zero = FitHouseRanges({Side(0.1, {{0.05, 0}, {0.09, 4}})}).at(0);
    EXPECT_EQ(std::min(zero.first, zero.last), 0u);
    EXPECT_EQ(zero.parity, Parity::Even);
}

}  // namespace
