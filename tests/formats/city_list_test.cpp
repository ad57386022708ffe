#include "formats/city_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "formats/little_endian.h"

namespace cl = formats::city_list;

TEST(CityListFormatTest, WhatIsWrittenReadsBackAndOnlyWholeRecordsCount) {
    const std::vector<cl::City> cities = {
        {42.5f, 1.5f, "Andorra la Vella"}, {42.6f, 1.6f, ""}, {1.0f, 2.0f, std::string(300, 'x')}};
    std::vector<uint8_t> bytes = cl::Encode(cities);
    std::vector<cl::City> back = cl::Decode(bytes);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].name, "Andorra la Vella");
    EXPECT_FLOAT_EQ(back[0].latitude, 42.5f);
    EXPECT_FLOAT_EQ(back[0].longitude, 1.5f);
    EXPECT_FALSE(back[1].Listed());  // no name
    EXPECT_EQ(back[2].name.size(), cl::kMaxNameLength);

    // Cut inside the last name: the records before it stay.
    bytes.resize(bytes.size() - 1);
    EXPECT_EQ(cl::Decode(bytes).size(), 2u);
    // Cut inside a record head.
    bytes.resize(cl::kRecordsOffset + 5);
    EXPECT_TRUE(cl::Decode(bytes).empty());
}

TEST(CityListFormatTest, BadHeadsAndPositionsOffTheGlobe) {
    std::vector<uint8_t> good = cl::Encode(std::vector<cl::City>{{10, 10, "A"}});
    auto withCount = [&](uint32_t count) {
        std::vector<uint8_t> bytes = good;
        formats::StoreU32(bytes.data() + cl::kCountOffset, count);
        return bytes;
    };
    EXPECT_TRUE(cl::Decode(withCount(0)).empty());
    EXPECT_TRUE(cl::Decode(withCount(1000000)).empty());
    EXPECT_EQ(cl::Decode(withCount(999999)).size(), 1u);  // the rest is cut short
    std::vector<uint8_t> magic = good;
    magic[3] = '1';
    EXPECT_TRUE(cl::Decode(magic).empty());
    EXPECT_TRUE(cl::Decode(std::vector<uint8_t>(good.begin(), good.begin() + 6)).empty());

    for (const cl::City& city : {cl::City{91, 0, "A"}, cl::City{0, -180.5f, "A"},
                                 cl::City{NAN, 0, "A"}, cl::City{0, INFINITY, "A"}}) {
        EXPECT_FALSE(city.Listed()) << city.latitude << " " << city.longitude;
    }
    EXPECT_TRUE((cl::City{-90, 180, "A"}).Listed());
}
