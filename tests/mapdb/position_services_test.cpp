#include "pathlume/mapdb/position_services.h"

#include <gtest/gtest.h>

#include "pathlume/mapdb/map_records.h"

namespace {

class RecordingPosition final : public IPositionServices {
  public:
    void ResetMatcher() override { ++resets; }
    void SaveLastPosition(const MapPoint* position) override {
        saved = position ? *position : MapPoint{-1, -1};
    }
    float GetSpeedMph() override { return 31.5f; }
    TravelDirection GetTravelDirection() override { return kTravelBackward; }

    int resets = 0;
    MapPoint saved;
};

TEST(PositionServicesTest, TheDefaultDoesNothingUntilPositioningIsInstalled) {
    IPositionServices& fallback = GetPositionServices();
    fallback.ResetMatcher();
    fallback.SaveLastPosition(nullptr);
    EXPECT_EQ(fallback.GetSpeedMph(), 0.0f);
    EXPECT_EQ(fallback.GetTravelDirection(), kTravelUnknown);

    RecordingPosition position;
    SetPositionServices(&position);
    GetPositionServices().ResetMatcher();
    const MapPoint point{49.9f, 11.6f};
    GetPositionServices().SaveLastPosition(&point);
    EXPECT_EQ(position.resets, 1);
    EXPECT_EQ(position.saved.latitude, 49.9f);
    EXPECT_EQ(GetPositionServices().GetSpeedMph(), 31.5f);
    EXPECT_EQ(GetPositionServices().GetTravelDirection(), kTravelBackward);

    SetPositionServices(nullptr);
    EXPECT_EQ(&GetPositionServices(), &fallback);
}

}  // namespace
