// What the house-number screen makes of the typed text: only its digits count, and
// the number must lie in the street's range.
#pragma once

#include <cstdint>
#include <string_view>

#include "pathlume/search/street_list.h"

// The field's characters that are read.
inline constexpr size_t kHouseNumberChars = 19;
// The message for a refused number.
inline constexpr unsigned kMsgInvalidHouseNumber = 6129;
// The highest number that is not shown as a range (the large-bucket range).
inline constexpr int32_t kUnshownRangeHighest = kLargeBucketHighest;

struct HouseNumberEntry {
    bool accepted = false;
    int32_t number = -1;  // -1: none typed
};

// Of the first 19 characters only the digits count ("12B" is 12, "1 2" is 12). No
// digits: accepted as no number. 0 is accepted whatever the range; another number
// only within the range, both ends included. A number past 31 bits is refused.
HouseNumberEntry CheckHouseNumber(std::u16string_view text, const StreetRecord& street);
