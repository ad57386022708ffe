// The house-number screen's reading of the typed text.
#include "pathlume/search/house_number_check.h"

#include <gtest/gtest.h>

namespace {

TEST(HouseNumberCheckTest, OnlyDigitsCountAndTheRangeEndsAreIncluded) {
    const StreetRecord street{1234, 100, 198};
    const struct {
        const char16_t* text;
        bool accepted;
        int32_t number;
    } cases[] = {
        {u"", true, -1},
        {u"B-&", true, -1},
        {u"12B", false, 12},
        {u"1 2", false, 12},
        {u"0", true, 0},
        {u"000", true, 0},
        {u"100", true, 100},
        {u"198", true, 198},
        {u"99", false, 99},
        {u"199", false, 199},
        {u"1-5-0", true, 150},
        // Only the first 19 characters are read: the 20th digit is not.
        {u"..................1", true, 1},
        {u"...................1", true, -1},
        // Past 31 bits: refused rather than wrapped round.
        {u"12345678901", false, -1},
        {u"2147483647", false, 2147483647},
        {u"2147483648", false, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        const HouseNumberEntry entry =
            CheckHouseNumber(c.text, c.text[0] == u'.' ? StreetRecord{0, 0, 10} : street);
        EXPECT_EQ(entry.accepted, c.accepted);
        EXPECT_EQ(entry.number, c.number);
    }
}

}  // namespace
