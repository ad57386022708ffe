// The disc builder's features as the map view draws them: water blue, parks and
// woods green, built-up land neither.
#include <gtest/gtest.h>

#include "pathlume/display/map_theme.h"
#include "pathlume/mapdb/polygon_file.h"
#include "tools/discmaker/polygon_writer.h"

namespace {

using discmaker::FeatureKind;

int Red(COLORREF c) {
    return static_cast<int>(c & 0xFF);
}
int Green(COLORREF c) {
    return static_cast<int>(c >> 8 & 0xFF);
}
int Blue(COLORREF c) {
    return static_cast<int>(c >> 16 & 0xFF);
}

TEST(FeatureKindsTest, EachFeatureDrawsInTheColourOfWhatItIs) {
    enum class Look { Water, Green, Land, Line };
    const struct {
        FeatureKind kind;
        Look look;
    } cases[] = {
        {FeatureKind::Ocean, Look::Water},      {FeatureKind::Lake, Look::Water},
        {FeatureKind::River, Look::Water},      {FeatureKind::Park, Look::Green},
        {FeatureKind::Forest, Look::Green},     {FeatureKind::Golf, Look::Green},
        {FeatureKind::Cemetery, Look::Green},   {FeatureKind::Urban, Look::Land},
        {FeatureKind::Industrial, Look::Land},  {FeatureKind::Hospital, Look::Land},
        {FeatureKind::Building, Look::Land},    {FeatureKind::Shore, Look::Line},
        {FeatureKind::StateBorder, Look::Line}, {FeatureKind::Railway, Look::Line},
    };
    const CMapTheme theme;
    PolygonFile file;
    file.SetDetailThresholds(320);
    for (const auto& c : cases) {
        SCOPED_TRACE(discmaker::FeatureKindName(c.kind));
        const int kind = static_cast<int>(discmaker::PolygonKind(c.kind));
        ASSERT_LT(kind, CMapTheme::kFillColours) << "a kind past the colour row";
        EXPECT_NE(file.detailThresholds[kind], PolygonFile::kKindOff) << "never drawn";
        EXPECT_TRUE(kind != 9 && kind != 16 && kind != 17) << "never drawn";
        for (int mode : {0, 1}) {
            const COLORREF colour = theme.FillColour(mode, kind);
            EXPECT_NE(colour, kNoColour) << "drawn in the background's colour";
            const bool isWater = colour == theme.FillColour(mode, 1);
            EXPECT_EQ(isWater, c.look == Look::Water) << "mode " << mode << ", kind " << kind;
            if (c.look == Look::Green && mode == 0) {
                EXPECT_GT(Green(colour), Red(colour));
                EXPECT_GT(Green(colour), Blue(colour));
            }
            if (c.look == Look::Land && mode == 0) {
                EXPECT_FALSE(Green(colour) > Red(colour) && Green(colour) > Blue(colour))
                    << "built-up land drawn green";
            }
        }
    }
}

}  // namespace
