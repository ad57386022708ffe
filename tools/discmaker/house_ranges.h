// The house ranges of link sides from the single addresses placed on them. The
// program spreads a side's range evenly from the from-node to the to-node, so the
// range is chosen to put each number near where its building projects onto the
// link, rather than spreading the numbers found over the whole link.
// docs/formats/areas-and-link-info.md tells the rule.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/discmaker/network.h"

namespace discmaker {

struct PlacedNumber {
    double alongKm = 0;  // where the building projects onto the link, from the from-node
    uint32_t number = 0;
};

// The addresses placed on one side of one link.
struct SideNumbers {
    std::string street;     // the street's name text
    uint32_t area = kNone;  // the side's place
    double linkKm = 0;
    std::vector<PlacedNumber> placed;  // at least one
};

// The range of each side, in the order given. A range always holds every number
// placed on its side, keeps their parity, reaches no further than halfway to the
// numbers of another side of the same street in the same place, and starts at 1
// (2 when even) unless a number 0 was placed.
std::vector<HouseRange> FitHouseRanges(const std::vector<SideNumbers>& sides);

}  // namespace discmaker
