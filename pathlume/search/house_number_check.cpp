#include "pathlume/search/house_number_check.h"

#include <cstdint>

HouseNumberEntry CheckHouseNumber(std::u16string_view text, const StreetRecord& street) {
    text = text.substr(0, kHouseNumberChars);
    int64_t value = 0;
    bool digits = false;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            continue;
        digits = true;
        value = value * 10 + (c - u'0');
        if (value > INT32_MAX)
            return {false, -1};
    }
    if (!digits)
        return {true, -1};
    const auto number = static_cast<int32_t>(value);
    if (number == 0 || (number >= street.lowest && number <= street.highest))
        return {true, number};
    return {false, number};
}
