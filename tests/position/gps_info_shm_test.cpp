// The published fix: what another process reads of the record after a publication,
// the status bits before any match and during a replay, and a long address.
#include "pathlume/position/gps_info_shm.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/gps_info.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/kernel/files.h"
#include "platform/kernel/handles.h"
#include "tests/position/matcher_fixture.h"
#include "tests/support/test_child.h"

namespace position_test {
namespace {

namespace gps_info = formats::gps_info;

// Opens the record as another program would and compares it, field by field, with
// the arguments: status, the four coordinates (as "%.6f") and the address text.
TEST_CHILD(ReadGpsInfo) {
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(gps_info::kSize), gps_info::kName);
    if (!mapping)
        return 10;
    const auto* view =
        static_cast<const uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view)
        return 11;
    if (std::memcmp(view, gps_info::kMark, 4) != 0)
        return 12;
    if (formats::LoadU32(view + gps_info::kStatusOffset) != std::stoul(args.at(0)))
        return 13;
    const size_t offsets[] = {gps_info::kFixLatitudeOffset, gps_info::kFixLongitudeOffset,
                              gps_info::kMatchedLatitudeOffset, gps_info::kMatchedLongitudeOffset};
    for (int i = 0; i < 4; ++i) {
        char text[32];
        std::snprintf(text, sizeof(text), "%.6f", formats::LoadF32(view + offsets[i]));
        if (args.at(1 + i) != text)
            return 14 + i;
    }
    const char* address = reinterpret_cast<const char*>(view + gps_info::kAddressOffset);
    if (strnlen(address, gps_info::kAddressSize) >= gps_info::kAddressSize)
        return 20;
    if (args.at(5) != address)
        return 21;
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return 0;
}

std::string Degrees(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.6f", value);
    return text;
}

class GpsInfoShmTest : public MatcherTest {
  protected:
    void SetUp() override {
        MatcherTest::SetUp();
        OpenMapIndexFiles();
        shm_.Create();
        ASSERT_NE(shm_.View(), nullptr);
    }
    void TearDown() override {
        shm_.Close();
        CloseMapIndexFiles();
        MatcherTest::TearDown();
    }
    uint32_t Status() const { return formats::LoadU32(shm_.View() + gps_info::kStatusOffset); }
    CGpsInfoShm shm_;
};

TEST_F(GpsInfoShmTest, AnotherProcessReadsTheRecordAfterAPublication) {
    // Before any fix: nothing valid, nothing matched, no division by the zero
    // cosine, and the location's position stands for the matched one.
    g_vehicleLocation.position = {45.25f, -99.75f};
    feed_.valid = false;
    shm_.Publish();
    EXPECT_EQ(Status(), 0u);
    EXPECT_EQ(testing_support::RunChild("ReadGpsInfo", {"0", Degrees(0), Degrees(0),
                                                        Degrees(45.25f), Degrees(-99.75f), ""}),
              0);

    const std::vector<DriveFix> drive = MakeDrive(mapdb_test::GridMapsTown(), 1, 0, 5);
    const DriveFix& f = drive[20];
    ASSERT_EQ(SnapFix(f.truth.lat, f.truth.lon, f.headingDegrees), 0);
    feed_.valid = true;
    feed_.position = {static_cast<FLOAT>(f.reported.lat), static_cast<FLOAT>(f.reported.lon)};
    shm_.Publish();
    char line[512] = "";
    ASSERT_EQ(FormatAddressText(nullptr, line, sizeof(line), nullptr, 0, false), 0);
    const MapLocation& at = g_vehicleLocation;
    EXPECT_EQ(testing_support::RunChild(
                  "ReadGpsInfo",
                  {"5", Degrees(feed_.position.latitude), Degrees(feed_.position.longitude),
                   Degrees(at.lat), Degrees(at.scaledLon / at.cosLat), line}),
              0);

    // During a demonstration or a log playback bit 0x2 is set.
    feed_.replaying = true;
    shm_.Publish();
    EXPECT_EQ(Status(),
              gps_info::kStatusFixValid | gps_info::kStatusReplay | gps_info::kStatusMatched);
}

TEST_F(GpsInfoShmTest, ALongAddressIsCutWithItsNulInsideTheRecord) {
    const std::string longText(400, 'A');
    shm_.StoreAddress(longText.c_str());
    const BYTE* address = shm_.View() + gps_info::kAddressOffset;
    EXPECT_EQ(address[gps_info::kAddressSize - 2], 'A');
    EXPECT_EQ(address[gps_info::kAddressSize - 1], 0);
    shm_.StoreAddress("1 MAIN ST\nTOWN");
    EXPECT_STREQ(reinterpret_cast<const char*>(address), "1 MAIN ST\nTOWN");
}

}  // namespace
}  // namespace position_test
