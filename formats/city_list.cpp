#include "formats/city_list.h"

#include <cmath>
#include <cstring>

#include "formats/little_endian.h"

namespace formats::city_list {

bool City::Listed() const {
    return !name.empty() && std::isfinite(latitude) && std::isfinite(longitude) &&
           std::fabs(latitude) <= 90.0f && std::fabs(longitude) <= 180.0f;
}

std::vector<uint8_t> Encode(std::span<const City> cities) {
    std::vector<uint8_t> out(kMagic, kMagic + kMagicSize);
    out.resize(kRecordsOffset);
    StoreU32(out.data() + kCountOffset, static_cast<uint32_t>(cities.size()));
    for (const City& city : cities) {
        const size_t length = std::min(city.name.size(), kMaxNameLength);
        const size_t at = out.size();
        out.resize(at + kRecordHeadSize);
        StoreF32(out.data() + at, city.latitude);
        StoreF32(out.data() + at + 4, city.longitude);
        out[at + 8] = static_cast<uint8_t>(length);
        out.insert(out.end(), city.name.begin(),
                   city.name.begin() + static_cast<std::ptrdiff_t>(length));
    }
    return out;
}

std::vector<City> Decode(std::span<const uint8_t> bytes) {
    std::vector<City> cities;
    if (bytes.size() < kRecordsOffset || std::memcmp(bytes.data(), kMagic, kMagicSize) != 0)
        return cities;
    const uint32_t count = LoadU32(bytes.data() + kCountOffset);
    if (count == 0 || count > kMaxCount)
        return cities;
    size_t at = kRecordsOffset;
    for (uint32_t i = 0; i < count; ++i) {
        if (bytes.size() - at < kRecordHeadSize)
            break;
        City city;
        city.latitude = LoadF32(bytes.data() + at);
        city.longitude = LoadF32(bytes.data() + at + 4);
        const size_t length = bytes[at + 8];
        at += kRecordHeadSize;
        if (bytes.size() - at < length)
            break;
        city.name.assign(reinterpret_cast<const char*>(bytes.data() + at), length);
        at += length;
        cities.push_back(std::move(city));
    }
    return cities;
}

}  // namespace formats::city_list
