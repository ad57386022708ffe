// The GPS information screen, its sky plot and signal bars: the texts and positions
// apart from the window, then the screen following the receiver in the program.
#include "pathlume/shell/gps_info_view.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/shell/screen_fixture.h"
#include "tests/support/shared_data.h"

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}

GpsFix ValidFix() {
    GpsFix fix;
    fix.valid = true;
    fix.fixMode = kFixMode3D;
    fix.latitude = -33.5f;
    fix.longitude = 151.25f;
    fix.altitude = 100.0f;
    fix.hdop = 1.0f;
    fix.vdop = 1.5f;
    fix.pdop = 1.8f;
    fix.satellitesUsed = 5;
    fix.satellitesInView = 9;
    return fix;
}

TEST(GpsInfoTexts, ValuesOfAFixAsTheyAreShown) {
    struct Case {
        const char* name;
        void (*change)(GpsFix&);
        DWORD options;
        const char* latitude;
        const char* longitude;
        const char* altitude;
        bool twoD;
        const char* inView;
        const char* dop;
    };
    const Case cases[] = {
        {"a valid fix", [](GpsFix&) {}, 0, "33.500000S", "151.250000E", "328 ft", false, "/9",
         "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"north and west, in metres",
         [](GpsFix& f) {
             f.latitude = 42.5f;
             f.longitude = -1.5f;
         },
         kOptionMetric, "42.500000N", "1.500000W", "100 m", false, "/9",
         "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"yards", [](GpsFix&) {}, kOptionYards, "33.500000S", "151.250000E", "109 yd", false, "/9",
         "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"a 2D fix", [](GpsFix& f) { f.fixMode = kFixMode2D; }, 0, "33.500000S", "151.250000E",
         "328 ft", true, "/9", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"DOPs out of range",
         [](GpsFix& f) {
             f.hdop = 150.0f;
             f.vdop = std::numeric_limits<float>::quiet_NaN();
             f.pdop = std::numeric_limits<float>::infinity();
         },
         0, "33.500000S", "151.250000E", "328 ft", false, "/9", "HDOP:99.9 VDOP:99.9 PDOP:99.9"},
        {"satellite counts out of range", [](GpsFix& f) { f.satellitesInView = -3; }, 0,
         "33.500000S", "151.250000E", "328 ft", false, "/0", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"more satellites than the receiver keeps", [](GpsFix& f) { f.satellitesInView = 40; }, 0,
         "33.500000S", "151.250000E", "328 ft", false, "/14", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"no fix",
         [](GpsFix& f) {
             f.valid = false;
             f.fixMode = kFixModeNone;
         },
         0, "33.500000S", "151.250000E", "(unknown)", false, "/9", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
        {"figures that are not numbers",
         [](GpsFix& f) {
             f.latitude = std::numeric_limits<float>::quiet_NaN();
             f.longitude = std::numeric_limits<float>::infinity();
             f.altitude = std::numeric_limits<float>::quiet_NaN();
         },
         0, "(unknown)", "(unknown)", "(unknown)", false, "/9", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8"},
    };
    for (const Case& c : cases) {
        GpsFix fix = ValidFix();
        c.change(fix);
        GpsInfoTexts t;
        FormatGpsInfo(fix, 31.4f, c.options, t);
        EXPECT_EQ(Narrow(t.latitude), c.latitude) << c.name;
        EXPECT_EQ(Narrow(t.longitude), c.longitude) << c.name;
        EXPECT_EQ(Narrow(t.altitude), c.altitude) << c.name;
        EXPECT_EQ(t.twoD, c.twoD) << c.name;
        EXPECT_EQ(Narrow(t.inView), c.inView) << c.name;
        EXPECT_EQ(Narrow(t.dop), c.dop) << c.name;
        EXPECT_EQ(Narrow(t.speed), (c.options & kOptionMetric) ? "31 km/h" : "31 mph") << c.name;
    }
    GpsInfoTexts unknown;
    GpsFix bad = ValidFix();
    bad.latitude = std::numeric_limits<float>::quiet_NaN();
    FormatGpsInfo(bad, 0, 0, unknown);
    EXPECT_TRUE(unknown.latitudeUnknown);
    EXPECT_FALSE(unknown.longitudeUnknown);
}

TEST(SkyPlot, SatellitePositionsAndTheHeadingTurn) {
    const POINT centre{100, 100};
    struct Case {
        int elevation, azimuth, heading;
        POINT expected;
    };
    const Case cases[] = {
        {90, 0, 0, {100, 100}},  {90, 237, 45, {100, 100}},  // at the zenith, any azimuth
        {0, 0, 0, {100, 50}},    {0, 180, 0, {100, 150}},    // on the horizon circle
        {0, 90, 0, {150, 100}},  {45, 270, 0, {75, 100}},    // 45 degrees up, halfway in
        {0, 90, 90, {100, 50}},                              // driving east: east is up
        {30, 0, 360, {100, 66}},
    };
    for (const Case& c : cases) {
        const POINT p = SkyPlotPoint(centre, 50, c.elevation, c.azimuth, c.heading);
        EXPECT_EQ(p.x, c.expected.x) << c.elevation << "/" << c.azimuth << "/" << c.heading;
        EXPECT_EQ(p.y, c.expected.y) << c.elevation << "/" << c.azimuth << "/" << c.heading;
    }
    EXPECT_EQ(SkyPlotHeading(359.6), 360);
    EXPECT_EQ(SkyPlotHeading(89.4), 89);
    EXPECT_EQ(SkyPlotHeading(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(SkyPlot, SatellitesAreHeldToTheirRanges) {
    GpsFix fix;
    fix.satellitesInView = 20;
    fix.satellitesUsed = 2;
    fix.usedSatellites[0] = 7;
    fix.usedSatellites[1] = 9;
    const SatelliteInView raw[] = {{7, 95, 400, 120}, {8, -5, -30, -1}, {9, 45, 359, 0}};
    for (int i = 0; i < kMaxSatellitesInView; ++i)
        fix.satellites[i] = raw[i % 3];
    SkySatellite s[kMaxSatellitesInView];
    EXPECT_EQ(CollectSatellites(fix, s), kMaxSatellitesInView);
    EXPECT_EQ(s[0].elevation, 90);
    EXPECT_EQ(s[0].azimuth, 40);
    EXPECT_EQ(s[0].snr, 99);
    EXPECT_EQ(s[0].used, 1);
    EXPECT_EQ(s[1].elevation, 0);
    EXPECT_EQ(s[1].azimuth, 330);
    EXPECT_EQ(s[1].snr, 0);
    EXPECT_EQ(s[1].used, 0);
    // A used satellite with no signal still shows as having none.
    EXPECT_EQ(SatelliteBarState(s[0]), 2);
    EXPECT_EQ(SatelliteBarState(s[1]), 0);
    EXPECT_EQ(SatelliteBarState(s[2]), 0);
    fix.satellitesInView = -1;
    EXPECT_EQ(CollectSatellites(fix, s), 0);
}

}  // namespace

namespace shell_test {
namespace {

// The satellites of a fix: four in view with signals, one without.
void SetSatellites(CNmeaReceiver& receiver, int used) {
    receiver.UpdateFix([&](GpsFix& fix) {
        fix = ValidFix();
        fix.headingDegrees = 90.0f;
        const SatelliteInView in[] = {{3, 60, 90, 40},
                                      {11, 20, 200, 30},
                                      {17, 5, 300, 25},
                                      {22, 45, 10, 35},
                                      {28, 30, 120, 0}};
        fix.satellitesInView = 5;
        for (int i = 0; i < 5; ++i)
            fix.satellites[i] = in[i];
        fix.satellitesUsed = used;
        for (int i = 0; i < used; ++i)
            fix.usedSatellites[i] = in[i].number;
    });
}

// An RMC of 31 December 2014 at 03:07 and the seconds given, with its checksum.
std::string Rmc(int second) {
    char body[96];
    std::snprintf(body, sizeof body,
                  "GPRMC,0307%02d.000,A,3747.0873,S,17518.8938,E,0.69,181.39,311214,,,A", second);
    unsigned sum = 0;
    for (const char* c = body; *c; ++c)
        sum ^= static_cast<unsigned char>(*c);
    char sentence[128];
    std::snprintf(sentence, sizeof sentence, "$%s*%02X", body, sum);
    return sentence;
}

class GpsInfoScreenTest : public ChildScreenTest {
  protected:
    // The colours the ratio texts were drawn in, by satellite.
    std::vector<COLORREF> RatioColours(const std::vector<platform::DrawnText>& texts,
                                       HWND bars) const {
        std::vector<COLORREF> colours;
        for (const platform::DrawnText& t : texts)
            if (t.window == bars && t.position.x > ScaleX(14))
                colours.push_back(t.color);
        return colours;
    }
    // A pixel of the bar of row `row` of `count` rows, on the screen.
    COLORREF BarPixel(HWND bars, int row, int count) {
        const int spacing = ScaleY(8), height = ScaleY(125);
        POINT p{ScaleX(14) + ScaleX(5),
                spacing * row + (height - (count - 1) * spacing) / 2 + ScaleY(3)};
        ::ClientToScreen(bars, &p);
        HDC screen = ::GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, p.x, p.y);
        ::ReleaseDC(nullptr, screen);
        return colour;
    }
};

TEST_F(GpsInfoScreenTest, ShowsTheFixAndTheBarsByWhatIsUsed) {
    SetSatellites(*receiver_, 0);
    platform::TextRecording recording;
    auto* screen = static_cast<CGpsInfoView*>(Show(kScreenGpsInfo));
    ASSERT_NE(screen, nullptr);
    std::string all;
    for (const platform::DrawnText& t : recording.Texts())
        for (char16_t c : t.text)
            all += c < 0x80 ? static_cast<char>(c) : '?';
    for (const char* text : {"33.500000S", "151.250000E", "Lat: ", "Satellite: ", "/5",
                             " Location ", "HDOP: 1.0 VDOP: 1.5 PDOP: 1.8", "UTC: ", "Local: "})
        EXPECT_NE(all.find(text), std::string::npos) << text << "\n" << all;
    const HWND bars = screen->SignalBars().GetSafeHwnd();
    // None used: every satellite with a signal shows a dark red bar and ratio; the one
    // without a signal only its number.
    EXPECT_EQ(RatioColours(recording.Texts(), bars), std::vector<COLORREF>(4, RGB(192, 0, 0)));
    EXPECT_EQ(BarPixel(bars, 0, 5), RGB(192, 0, 0));
    EXPECT_EQ(BarPixel(bars, 4, 5), RGB(255, 255, 255));
    // One used: its bar is green; the others show only their ratios in dark red.
    SetSatellites(*receiver_, 1);
    recording.Clear();
    screen->OnGpsUpdate(1);
    Pump();
    EXPECT_EQ(
        RatioColours(recording.Texts(), bars),
        std::vector<COLORREF>({RGB(0, 192, 0), RGB(192, 0, 0), RGB(192, 0, 0), RGB(192, 0, 0)}));
    EXPECT_EQ(BarPixel(bars, 0, 5), RGB(0, 192, 0));
    EXPECT_EQ(BarPixel(bars, 1, 5), RGB(255, 255, 255));
    // The plot turns with the heading; other update kinds draw nothing.
    EXPECT_EQ(screen->SkyPlot().Heading(), 90);
    EXPECT_EQ(screen->SkyPlot().Count(), 5);
    recording.Clear();
    screen->OnGpsUpdate(2);
    EXPECT_TRUE(recording.Texts().empty());
    PressKey(VK_ESCAPE);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

// The position threads send WM_USER 1 and keep the last sentence for the screen only
// while the GPS information screen shows: the threads and the view use one mode bit.
TEST_F(GpsInfoScreenTest, PositionThreadsUpdateTheScreenWhileItShows) {
    static std::atomic<int> updates{0};
    struct CountingScreen : CChildScreen {
        void OnGpsUpdate(LPARAM value) override { updates += value == 1; }
    };
    const ScreenMaker real = GetScreenMaker(kScreenGpsInfo);
    SetScreenMaker(kScreenGpsInfo, [](CMainView& view, UINT id) -> CChildScreen* {
        auto* screen = new CountingScreen;
        screen->Create(nullptr, u"", WS_CHILD, RECT{0, 0, 1, 1}, &view, id);
        return screen;
    });
    auto feed = [&](const char* sentence) {
        std::atomic<bool> sent{false};
        std::thread thread([&] {
            std::string copy = sentence;
            receiver_->DispatchSentence(copy.data(), copy.size());
            sent = true;
        });
        // The thread's WM_USER 1 is sent to this thread, which must go on pumping.
        while (!sent.load())
            Pump();
        thread.join();
        Pump();
    };
    updates.store(0);
    feed(Rmc(19).c_str());
    EXPECT_EQ(updates.load(), 0);
    EXPECT_EQ(receiver_->InfoSentence(), "");
    view_->SwitchScreen(kScreenGpsInfo);
    feed(Rmc(20).c_str());
    EXPECT_EQ(updates.load(), 1);
    EXPECT_EQ(receiver_->InfoSentence(), Rmc(20));
    view_->SwitchScreen(kScreenGuidance);
    feed(Rmc(21).c_str());
    EXPECT_EQ(updates.load(), 1);
    view_->SwitchScreen(kScreenMap);
    SetScreenMaker(kScreenGpsInfo, real);
}

std::vector<std::string> Fields(const std::string& sentence) {
    std::vector<std::string> fields;
    std::string body = sentence.substr(0, sentence.find('*'));
    std::istringstream in(body);
    for (std::string field; std::getline(in, field, ',');)
        fields.push_back(field);
    return fields;
}

double Degrees(const std::string& value, const std::string& side) {
    const double raw = std::stod(value);
    const double degrees = std::floor(raw / 100) + std::fmod(raw, 100) / 60;
    return side == "S" || side == "W" ? -degrees : degrees;
}

// A real receiver's log, replayed sentence by sentence as the reader thread does: the
// screen shows the last GGA's position and altitude, the last RMC's date and time, the
// last GSA's used satellites and DOPs and the last GSV's count in view.
TEST_F(GpsInfoScreenTest, AReplayedLogShowsItsLastFields) {
    const std::filesystem::path log = testing_support::SharedNmeaFolder() / "bu353s4.log";
    if (testing_support::SharedNmeaFolder().empty() || !std::filesystem::exists(log))
        GTEST_SKIP() << "the shared NMEA logs are not there: " << log;
    auto* screen = static_cast<CGpsInfoView*>(Show(kScreenGpsInfo));
    ASSERT_NE(screen, nullptr);
    std::vector<std::string> sentences;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '$')
            sentences.push_back(line);
    }
    std::vector<std::string> gga, rmc, gsa, gsv;
    for (const std::string& s : sentences) {
        const std::vector<std::string> f = Fields(s);
        if (f[0] == "$GPGGA")
            gga = f;
        else if (f[0] == "$GPRMC")
            rmc = f;
        else if (f[0] == "$GPGSA")
            gsa = f;
        else if (f[0] == "$GPGSV")
            gsv = f;
    }
    ASSERT_FALSE(gga.empty() || rmc.empty() || gsa.empty() || gsv.empty());
    platform::TextRecording recording;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (std::string s : sentences)
            receiver_->DispatchSentence(s.data(), s.size());
        done = true;
    });
    while (!done.load())
        Pump();
    reader.join();
    Pump();

    const GpsInfoTexts& t = screen->Texts();
    const double latitude = Degrees(gga[2], gga[3]), longitude = Degrees(gga[4], gga[5]);
    // The receiver keeps single-precision degrees: the six decimals hold the log's
    // position to the spacing of floats there (1.5e-5 degrees past 128).
    auto spacing = [](double degrees) {
        const float f = static_cast<float>(std::fabs(degrees));
        return static_cast<double>(std::nextafter(f, 1000.0f) - f) + 1e-6;
    };
    EXPECT_NEAR(std::stod(Narrow(t.latitude)), std::fabs(latitude), spacing(latitude));
    EXPECT_EQ(Narrow(t.latitude).back(), latitude < 0 ? 'S' : 'N');
    EXPECT_NEAR(std::stod(Narrow(t.longitude)), std::fabs(longitude), spacing(longitude));
    EXPECT_EQ(Narrow(t.longitude).back(), longitude < 0 ? 'W' : 'E');
    char altitude[32];
    std::snprintf(altitude, sizeof altitude, "%0.0f ft", std::stod(gga[9]) * 3.28084);
    EXPECT_EQ(Narrow(t.altitude), altitude);
    int used = 0;
    for (int i = 3; i <= 14; ++i)
        used += !gsa[i].empty();
    EXPECT_EQ(Narrow(t.used), std::to_string(used));
    EXPECT_EQ(Narrow(t.inView), "/" + gsv[3]);
    char dop[64];
    std::snprintf(dop, sizeof dop, "HDOP:%4.1f VDOP:%4.1f PDOP:%4.1f", std::stod(gsa[16]),
                  std::stod(gsa[17]), std::stod(gsa[15]));
    EXPECT_EQ(Narrow(t.dop), dop);
    const std::string date = rmc[9], time = rmc[1];
    const std::string utc = "UTC: 20" + date.substr(4, 2) + "/" + date.substr(2, 2) + "/" +
                            date.substr(0, 2) + " " + time.substr(0, 2) + ":" + time.substr(2, 2) +
                            ":" + time.substr(4, 2);
    bool shown = false;
    for (const platform::DrawnText& text : recording.Texts())
        shown |= std::string(text.text.begin(), text.text.end()) == utc;
    EXPECT_TRUE(shown) << utc;
    EXPECT_EQ(screen->SkyPlot().Count(), std::stoi(gsv[3]));
}

}  // namespace
}  // namespace shell_test
