#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "pathlume/display/map_labels.h"
#include "pathlume/display/map_view.h"
#include "pathlume/display/street_labels.h"
#include "pathlume/foundation/app_services.h"
#include "platform/gdi/gdi.h"
#include "tests/display/frame_maps.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;

// A memory context with the label font of the frames, for measuring text.
class LabelDC {
  public:
    LabelDC() {
        dc_ = CreateCompatibleDC(nullptr);
        LOGFONTW spec{};
        spec.lfHeight = 12;
        std::memcpy(spec.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
        font_ = CreateFontIndirectW(&spec);
        old_ = SelectObject(dc_, font_);
    }
    ~LabelDC() {
        SelectObject(dc_, old_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    operator HDC() const { return dc_; }

  private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ old_;
};

// Offers a candidate with its own keys at (x, y) and places it.
int Offer(CMapLabels& labels, HDC dc, uint32_t key, float x, float y, double angle,
          const char* text) {
    if (labels.AddSlot(key, 0, 1.0f) != -1)
        return -2;
    labels.SetCurrent(x, y, angle);
    return labels.PlaceLabel(dc, text, 0);
}

TEST(MapLabelsTest, TheTableHoldsTwentyCandidatesAndKeepsTheBestScore) {
    CMapLabels labels;
    for (uint32_t i = 0; i < 20; ++i)
        EXPECT_EQ(labels.AddSlot(i, 7, 1.0f), -1);
    EXPECT_EQ(labels.AddSlot(20, 7, 1.0f), CMapLabels::kFull);
    EXPECT_EQ(labels.AddSlot(3, 7, 1.0f), CMapLabels::kFull);  // equal score
    EXPECT_EQ(labels.AddSlot(3, 7, 0.5f), CMapLabels::kFull);  // smaller
    EXPECT_EQ(labels.AddSlot(3, 7, 2.0f), 3);                  // greater: takes its place
    EXPECT_EQ(labels.AddSlot(3, 7, 2.0f), CMapLabels::kFull);
    EXPECT_EQ(labels.Count(), 20);
}

TEST(MapLabelsTest, PlacementDropsLabelsThatTouchLieInsideOrLieOutsideTheView) {
    LabelDC dc;
    CMapLabels labels;
    labels.SetMargins(210, 238);
    // A control of the screen over the map: the scale bar, say.
    labels.SetCovers({RECT{20, 200, 120, 230}});
    ASSERT_EQ(Offer(labels, dc, 1, 100, 100, 0, "MAIN STREET"), 0);
    const CMapLabels::Slot first = labels.SlotAt(0);
    const float width = first.corners[1].x - first.corners[0].x;
    const float height = first.corners[3].y - first.corners[0].y;
    ASSERT_GT(width, 20);
    ASSERT_GT(height, 5);

    struct Case {
        const char* what;
        float x, y;
        double angle;
        const char* text;
        bool placed;
    };
    const Case cases[] = {
        // Its box starts where the first one ends: the edges touch.
        {"touching the right edge", 100 + width, 100, 0, "MAIN STREET", false},
        // A short text wholly inside the long box: no edge crosses.
        {"inside another", 100, 100 + height / 4, 0, ".", false},
        {"crossing at an angle", 100, 100, 45, "CROSS STREET", false},
        {"wholly below the view", 100, 250, 0, "FAR", false},
        {"wholly right of the view", 260, 50, 0, "FAR", false},
        {"clear of the first", 100, 150, 0, "OTHER STREET", true},
        // A label is drawn whole or not at all.
        {"partly out of view", 205, 20, 0, "EDGE ROAD", false},
        {"over a control", 70, 205, 0, "LOW ROAD", false},
        {"across a control's corner", 125, 196, 30, "SLANTED ROAD", false},
        {"beside the control", 170, 210, 0, "ROAD", true},
    };
    uint32_t key = 10;
    for (const Case& c : cases) {
        const int before = labels.Count();
        const int result = Offer(labels, dc, key++, c.x, c.y, c.angle, c.text);
        EXPECT_EQ(result, c.placed ? 0 : 1) << c.what;
        EXPECT_EQ(labels.Count(), before + (c.placed ? 1 : 0)) << c.what;
    }
}

TEST(MapLabelsTest, APlacedBoxIsRotatedAboutItsFirstCorner) {
    LabelDC dc;
    CMapLabels labels;
    labels.SetMargins(450, 506);
    ASSERT_EQ(Offer(labels, dc, 1, 200, 200, 30, "RIVER ROAD"), 0);
    const CMapLabels::Slot& slot = labels.SlotAt(0);
    const float dx = slot.corners[1].x - slot.corners[0].x;
    const float dy = slot.corners[1].y - slot.corners[0].y;
    // The baseline rises to the right at 30 degrees and passes through the anchor.
    EXPECT_NEAR(std::atan2(-dy, dx) * 180 / M_PI, 30.0, 0.01);
    EXPECT_NEAR((slot.corners[0].x + slot.corners[1].x) / 2, 200, 0.01);
    EXPECT_NEAR((slot.corners[0].y + slot.corners[1].y) / 2, 200, 0.01);
}

TEST(StreetLabelsTest, AnglesReadLeftToRight) {
    struct Case {
        float x1, y1, x2, y2;
        double angle;
    };
    // Screen rows grow downwards; the angle is counter-clockwise on the screen.
    const Case cases[] = {
        {0, 0, 100, 0, 0},    {100, 0, 0, 0, 0},     {0, 0, 0.5f, 50, 90},
        {0, 100, 100, 0, 45}, {100, 100, 0, 0, 315},  // lower right to upper left: turned
        {100, 0, 0, 100, 45}, {0, 0, 100, 100, 315},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(StreetLabelAngle(c.x1, c.y1, c.x2, c.y2), c.angle, 0.3)
            << c.x1 << "," << c.y1 << " -> " << c.x2 << "," << c.y2;
    EXPECT_EQ(FastAtanDegrees(0, 0), 0);
    for (double degrees = -89; degrees <= 89; degrees += 7) {
        const double r = degrees * M_PI / 180;
        EXPECT_NEAR(
            FastAtanDegrees(static_cast<float>(std::sin(r)), static_cast<float>(std::cos(r))),
            degrees, 0.3);
    }
}

TEST(StreetLabelsTest, RouteNumbersAndShields) {
    struct Case {
        const char* text;
        int start;
        int found;
        const char* result;
    };
    const Case numbers[] = {
        {"CG-2", 0, 1, "2"},   {"N-22 / E-9", 0, 1, "22"},       {"A 101B", 0, 1, "101"},
        {"CG-2 3", 4, 1, "3"}, {"NO DIGITS", 0, 0, "NO DIGITS"}, {"", 0, 0, ""}};
    for (const Case& c : numbers) {
        char text[32];
        std::snprintf(text, sizeof text, "%s", c.text);
        EXPECT_EQ(ExtractFirstNumber(text, c.start), c.found) << c.text;
        EXPECT_STREQ(text, c.result) << c.text;
    }
    struct Shield {
        int kind;
        bool zone;
        const char* text;
        UINT icon;
        COLORREF colour;
    };
    const Shield shields[] = {
        {1, true, "1", 2002, kShieldBlack},     {1, false, "1", 2001, kShieldWhite},
        {2, true, "1", 2002, kShieldBlack},     {2, false, "1", 2051, kShieldBlack},
        {3, false, "CG-2", 2002, kShieldBlack}, {3, false, "CA-2", 2003, kShieldWhite},
        {4, false, "9", 2003, kShieldBlack},
    };
    for (const Shield& s : shields) {
        const ShieldStyle style = ChooseShield(s.kind, s.zone, s.text);
        EXPECT_EQ(style.icon, s.icon) << s.kind << " " << s.text;
        EXPECT_EQ(style.colour, s.colour) << s.kind << " " << s.text;
    }
    IconLabelList icons;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(icons.Add(2001, 32, 32, i, i, 0, std::to_string(i).c_str()), 0);
    EXPECT_EQ(icons.Add(2001, 32, 32, 0, 0, 0, "10"), 1);
    EXPECT_TRUE(icons.HoldsText("7"));
}

TEST(StreetLabelsTest, RememberedNamesAgeAfterEachFrame) {
    RoadRecordTable table;
    RoadRecordTable::Entry* free = nullptr;
    ASSERT_EQ(table.Find(42, &free), nullptr);
    ASSERT_NE(free, nullptr);
    RoadRecordTable::Set(*free, 42, 7, 0, "CARRER MAJOR");
    RoadRecordTable::Entry* other = nullptr;
    ASSERT_EQ(table.Find(42, &other), free);
    EXPECT_NE(other, free);  // in use this frame
    table.Age();
    // After the frame the entry is free for another name but still answers for its own.
    ASSERT_EQ(table.Find(43, &other), nullptr);
    EXPECT_EQ(other, free);
    RoadRecordTable::Set(*other, 43, 8, 0, "CARRER NOU");
    EXPECT_EQ(table.Find(42, &other), nullptr);
    ASSERT_NE(table.Find(43, &other), nullptr);
    EXPECT_EQ(table.Find(43, &other)->text, "CARRER NOU");
}

// Two convex boxes meet when no edge of either separates them.
bool BoxesMeet(const LabelPoint a[4], const LabelPoint b[4]) {
    auto separates = [](const LabelPoint box[4], const LabelPoint other[4]) {
        for (int i = 0; i < 4; ++i) {
            const LabelPoint p = box[i], q = box[(i + 1) % 4];
            const double nx = -(q.y - p.y), ny = q.x - p.x;
            double boxMin = 1e300, boxMax = -1e300, otherMin = 1e300, otherMax = -1e300;
            for (int k = 0; k < 4; ++k) {
                const double s = nx * box[k].x + ny * box[k].y;
                const double t = nx * other[k].x + ny * other[k].y;
                boxMin = std::min(boxMin, s), boxMax = std::max(boxMax, s);
                otherMin = std::min(otherMin, t), otherMax = std::max(otherMax, t);
            }
            if (otherMin > boxMax + 1e-3 || otherMax < boxMin - 1e-3)
                return true;
        }
        return false;
    };
    return !separates(a, b) && !separates(b, a);
}

class AndorraLabelsTest : public testing_support::RootsTest {
  protected:
    void TearDown() override {
        g_options2.store(0);
        g_map3DMode.store(0);
    }
};

TEST_F(AndorraLabelsTest, LabelsNeverMeetAndEachRouteNumberShowsOnce) {
    const fs::path maps = display_test::AndorraMapsFolder();
    if (maps.empty())
        GTEST_SKIP() << "the shared OpenStreetMap extracts are absent";
    int labelsSeen = 0, shieldsSeen = 0;
    for (const auto& point : display_test::kAndorraPoints)
        for (bool view3D : {false, true})
            for (float heading : {0.0f, 90.0f, 225.0f}) {
                render::Options options = display_test::AndorraOptions(point, view3D, heading);
                render::Session session(options);
                ASSERT_TRUE(session.Loaded()) << session.Error();
                for (int zoom = 0; zoom <= 5; ++zoom) {
                    session.View().StoreZoomIndex(zoom);
                    session.View().ResetViewSpan();
                    session.DrawFrame();
                    const std::string where = std::to_string(point[0]) + (view3D ? " 3D" : " 2D") +
                                              " heading " + std::to_string(heading) + " zoom " +
                                              std::to_string(zoom);
                    const auto& labels = session.View().PlacedLabels();
                    for (size_t i = 0; i < labels.size(); ++i) {
                        EXPECT_FALSE(labels[i].text.empty()) << where;
                        EXPECT_EQ(labels[i].text.find('/'), std::string::npos) << where;
                        const float a = labels[i].angle;
                        EXPECT_TRUE((a >= 0 && a <= 100) || (a >= 280 && a < 360))
                            << labels[i].text << " at " << a << ", " << where;
                        for (size_t j = 0; j < i; ++j)
                            EXPECT_FALSE(BoxesMeet(labels[i].corners, labels[j].corners))
                                << labels[i].text << " meets " << labels[j].text << ", " << where;
                    }
                    std::set<std::string> numbers;
                    for (const IconLabel& icon : session.View().PlacedIcons()) {
                        EXPECT_TRUE(numbers.insert(icon.text).second)
                            << "route " << icon.text << " twice, " << where;
                        EXPECT_FALSE(icon.text.empty()) << where;
                    }
                    labelsSeen += static_cast<int>(labels.size());
                    shieldsSeen += static_cast<int>(session.View().PlacedIcons().size());
                }
            }
    EXPECT_GT(labelsSeen, 20);
    EXPECT_GT(shieldsSeen, 10);
}

// A "CA-" route's shield, placed along its road: the state routes' icon with a white
// number; the "US 14" crossing it keeps its own shield and black number.
class ShieldFrameTest : public AndorraLabelsTest {};

TEST_F(ShieldFrameTest, AStateRouteGetsItsShieldAndAWhiteNumber) {
    render::Options options;
    options.maps = display_test::TestGridFolder(display_test::GridVariant::kStateRoute);
    options.latitude = display_test::kGridMiddleLat;
    options.longitude = -100.0 + 0.1 / (111.2 * std::cos(45.0 * 0.017453292));
    // Close enough in that both shields find room clear of the vehicle and the scale bar.
    options.zoom = 2;
    options.out = "unused.png";
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    session.DrawFrame();
    std::map<std::string, std::pair<UINT, COLORREF>> shields;
    for (const IconLabel& icon : session.View().PlacedIcons())
        shields[icon.text] = {icon.id, icon.colour};
    ASSERT_TRUE(shields.count("1")) << "no shield of CA 1";
    EXPECT_EQ(shields["1"].first, kIconShieldState);
    EXPECT_EQ(shields["1"].second, kShieldWhite);
    ASSERT_TRUE(shields.count("14")) << "no shield of US 14";
    EXPECT_EQ(shields["14"].first, kIconShieldSecond);
    EXPECT_EQ(shields["14"].second, kShieldBlack);
}

TEST_F(AndorraLabelsTest, FarZoomsPlaceNoShieldsAndThenNothing) {
    const fs::path maps = display_test::AndorraMapsFolder();
    if (maps.empty())
        GTEST_SKIP() << "the shared OpenStreetMap extracts are absent";
    render::Options options;
    options.maps = maps;
    options.latitude = 42.5047;
    options.longitude = 1.5236;
    options.out = "unused.png";
    render::Session session(options);
    ASSERT_TRUE(session.Loaded()) << session.Error();
    struct Case {
        int zoom;
        bool labels;
        bool shields;
    };
    // At 9 only the major roads are in detail, and they carry no street names. The
    // street labels alone: no names of points of interest.
    g_options2.store(kOptions2NoPoiLabels);
    const Case cases[] = {{3, true, true}, {9, false, false}, {10, false, false}};
    for (const Case& c : cases) {
        session.View().StoreZoomIndex(c.zoom);
        session.View().ResetViewSpan();
        session.DrawFrame();
        EXPECT_EQ(!session.View().PlacedLabels().empty(), c.labels) << "zoom " << c.zoom;
        EXPECT_EQ(!session.View().PlacedIcons().empty(), c.shields) << "zoom " << c.zoom;
    }
    // Without street labels the roads still draw.
    g_options2.store(kOptions2NoStreetLabels | kOptions2NoPoiLabels);
    session.View().StoreZoomIndex(3);
    session.View().ResetViewSpan();
    session.DrawFrame();
    EXPECT_TRUE(session.View().PlacedLabels().empty());
    EXPECT_GT(session.View().LastFrame().linksDrawn, 0);
}

}  // namespace
