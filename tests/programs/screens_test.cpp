// The guidance, route list, GPS information and almanac screens end to end:
// pathlumeQVGA.exe on a device root made by scripts/make-device, headless, with a
// route and its demonstration, the screens opened by the View menu's commands, the
// direction key and the map's bottom strip, a real receiver's log played while the
// GPS information screen shows, and each screen left by Escape.
#include <cairo.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/programs/program_run.h"
#include "tests/programs/town_device.h"
#include "tests/programs/town_places.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"

namespace {

using namespace programs_test;
using nlohmann::json;

constexpr const char* kLog = "bu353s4.log";
// New Zealand's zone, in the form the C library reads without a zone database: the
// log was recorded there, and its dates are shown in its local time.
constexpr const char* kZone = "TZ=NZST-12NZDT,M9.5.0,M4.1.0/3";
constexpr int kZoneHours = 13;  // daylight saving time in December and January

// The script's steps, in ms of the program's clock after its window showed; a shot
// every 500 ms, shot n at about n x 500 ms.
constexpr int kShotEveryMs = 500;
constexpr int kDemoAt = 2500;
constexpr int kStepAt = 4000;
constexpr int kStripAt = 6000;
constexpr int kRouteListAt = 7500;
constexpr int kGuidanceAt = 10000;
constexpr int kDemoEndAt = 13000;
constexpr int kGpsInfoAt = 14000;
constexpr int kAlmanacAt = 20500;
constexpr int kCloseAt = 22500;

// The QVGA screen's places the script taps (screen pixels): the route list's "Map"
// key, the map's bottom strip.
constexpr int kMapKeyX = 188, kMapKeyY = 305;
constexpr int kStripX = 20, kStripY = 314;
// Where the guidance screen's banner text and the route list's rows are drawn (their
// windows' pixels), and the map's centre.
constexpr int kBannerTextX = 5, kBannerTextY = 9;
constexpr int kRowTextX = 98;
constexpr int kMapCentreX = 120, kMapCentreY = 134;
// The guidance bar's fill; the red of the destination flag.
constexpr uint32_t kBarFill = 0xFFFF00, kFlagRed = 0xD01818;

// The shots taken while the step that starts at `ms` ran, up to the step at `until`.
struct Span {
    size_t from, to;
};
// Shot n holds what was drawn up to n x 500 ms; the index of shot n is n - 1.
Span Between(int ms, int until) {
    return {static_cast<size_t>(ms / kShotEveryMs - 1),
            static_cast<size_t>(until / kShotEveryMs - 1)};
}

std::string Dump(const std::vector<Shot>& shots, Span span) {
    std::string all;
    for (size_t i = span.from; i < std::min(span.to, shots.size()); ++i) {
        all += "--- shot " + std::to_string(shots[i].n) + "\n";
        for (const ShotText& text : shots[i].texts)
            all += std::to_string(text.x) + " " + std::to_string(text.y) + " " + text.text + "\n";
    }
    return all;
}

// The texts drawn in the span, in order.
std::vector<ShotText> TextsIn(const std::vector<Shot>& shots, Span span) {
    std::vector<ShotText> texts;
    for (size_t i = span.from; i < std::min(span.to, shots.size()); ++i)
        texts.insert(texts.end(), shots[i].texts.begin(), shots[i].texts.end());
    return texts;
}

bool Drawn(const std::vector<ShotText>& texts, const std::string& text) {
    for (const ShotText& t : texts)
        if (t.text == text)
            return true;
    return false;
}

// The last text drawn in the span that matches.
std::string LastMatching(const std::vector<ShotText>& texts, const std::regex& pattern) {
    std::string last;
    for (const ShotText& t : texts)
        if (std::regex_match(t.text, pattern))
            last = t.text;
    return last;
}

// Pixels of one colour (0xRRGGBB) in a shot, in a box of screen pixels; -1 when the
// shot cannot be read.
int PixelsOf(const fs::path& png, uint32_t colour, int left, int top, int right, int bottom) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    int count = -1;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        count = 0;
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* data = cairo_image_surface_get_data(image);
        bottom = std::min(bottom, cairo_image_surface_get_height(image));
        right = std::min(right, cairo_image_surface_get_width(image));
        for (int y = std::max(top, 0); y < bottom; ++y)
            for (int x = std::max(left, 0); x < right; ++x)
                count += (*reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) &
                          0xFFFFFF) == colour;
    }
    cairo_surface_destroy(image);
    return count;
}

// The fields of each of the log's sentences of a kind.
std::vector<std::vector<std::string>> Sentences(const std::string& log, const std::string& kind) {
    std::vector<std::vector<std::string>> all;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, kind.size(), kind) != 0)
            continue;
        std::vector<std::string> fields;
        std::istringstream in(line.substr(0, line.find('*')));
        for (std::string field; std::getline(in, field, ',');)
            fields.push_back(field);
        all.push_back(fields);
    }
    return all;
}

// A coordinate ("ddmm.mmmm") in degrees.
double Degrees(const std::string& value) {
    const double raw = std::stod(value);
    return std::floor(raw / 100) + std::fmod(raw, 100) / 60;
}

// A date as the almanac shows it ("M/D/YYYY H:MM:SS") in minutes from 2015-01-01 0:00.
std::optional<double> AlmanacMinutes(const std::string& text) {
    int month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(text.c_str(), "%d/%d/%d %d:%d:%d", &month, &day, &year, &hour, &minute,
                    &second) != 6 ||
        year != 2015 || month != 1)
        return std::nullopt;
    return ((day - 1) * 24 + hour) * 60 + minute + second / 60.0;
}

class ScreensProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!VoiceGeneratorInstalled())
            GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
        if (testing_support::SharedNmeaFolder().empty() ||
            !fs::exists(testing_support::SharedNmeaFolder() / kLog))
            GTEST_SKIP() << "the shared NMEA logs are not there (PATHLUME_SHARED_DATA)";
    }
    testing_support::TempRoots roots_;
};

TEST_F(ScreensProgramTest, EachScreenIsReachedDrivenAndLeft) {
    const TownDevice device(roots_.base(), 1500);
    const testing_support::ToolRun made = device.Make("--words 0,wait4gps");
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_GT(Metres(device.car, device.destination), 1000);
    ASSERT_EQ(
        device.PlaceCarAndSet({"Options dword:64", "CommPort dword:3", "PlaybackDelay dword:100"}),
        "");
    const fs::path log = testing_support::SharedNmeaFolder() / kLog;
    fs::copy_file(log, device.root / "My Documents" / kLog);

    // The route's maneuvers as the route tool gives them.
    const testing_support::ToolRun route = device.Route("--json");
    ASSERT_EQ(route.status, 0) << route.err;
    const json planned = json::parse(route.out);
    std::vector<std::string> roads;
    for (const json& m : planned["maneuvers"])
        roads.push_back(m["road"].get<std::string>());
    ASSERT_GE(roads.size(), 3u) << route.out;

    const fs::path shots = roots_.base() / "shots";
    const fs::path script = roots_.base() / "screens.script";
    auto at = [](int ms) { return "at " + std::to_string(ms) + " "; };
    std::ofstream(script) << "every " << kShotEveryMs << " shots " << shots.string() << "\n"
                          << at(kDemoAt)
                          << "command 3068\n"
                          // 1. The guidance screen by the direction key, the route list by
                          // the map's bottom strip, each left by Escape.
                          << at(kStepAt) << "key RIGHT\n"
                          << at(kStepAt + 1000) << "key ESCAPE\n"
                          << at(kStripAt) << "tap " << kStripX << " " << kStripY << "\n"
                          << at(kStripAt + 1000)
                          << "key ESCAPE\n"
                          // 2. The route list; the third row's place on the map.
                          << at(kRouteListAt) << "command 3012\n"
                          << at(kRouteListAt + 800) << "key DOWN\n"
                          << at(kRouteListAt + 1100) << "key DOWN\n"
                          << at(kRouteListAt + 1600) << "tap " << kMapKeyX << " " << kMapKeyY
                          << "\n"
                          // 3. The guidance screen from the View menu, which leaves pan
                          // mode, while the car nears the next turn.
                          << at(kGuidanceAt)
                          << "command 3014\n"
                          // 4. The demonstration stopped; a receiver's log played
                          // while the GPS information screen shows.
                          << at(kDemoEndAt) << "command 3068\n"
                          << at(kGpsInfoAt) << "command 3015\n"
                          << at(kGpsInfoAt + 500) << "command 3021\n"
                          << "file \\My Documents\\" << kLog
                          << "\n"
                          // 5. The almanac, left by Escape.
                          << at(kAlmanacAt) << "command 3030\n"
                          << at(kAlmanacAt + 1500) << "key ESCAPE\n"
                          << at(kCloseAt) << "close\n";

    Child program(device.Program(), {"nowarning"},
                  {"PATHLUME_DEVICE=" + device.root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_DESTINATION=" + Position(device.destination), "PATHLUME_GPSD=off",
                   "PATHLUME_SCRIPT=" + script.string(), kZone},
                  roots_.base() / "program.err");
    const int status = program.Wait(std::chrono::seconds(120));
    ASSERT_EQ(status, 0) << program.Errors();
    EXPECT_FALSE(SanitizerReported(program.Errors())) << program.Errors();
    const std::vector<Shot> taken = ReadShots(shots);
    ASSERT_GE(taken.size(), static_cast<size_t>(kAlmanacAt / kShotEveryMs)) << taken.size();
    auto isRoad = [&](const std::string& text) {
        return std::find(roads.begin(), roads.end(), text) != roads.end();
    };
    // The guidance screen's banner (where the map has none): a road of the route.
    auto guidanceBanner = [&](Span span, bool routeTool) {
        for (const ShotText& t : TextsIn(taken, span))
            if (t.x == kBannerTextX && t.y == kBannerTextY && (!routeTool || isRoad(t.text)))
                return true;
        return false;
    };

    // 1. Right and Escape, the strip and Escape.
    const Span step = Between(kStepAt, kStepAt + 1000);
    EXPECT_TRUE(guidanceBanner(step, false)) << Dump(taken, step);
    EXPECT_FALSE(guidanceBanner(Between(kDemoAt, kStepAt), false));
    EXPECT_TRUE(Drawn(TextsIn(taken, Between(kStepAt + 1000, kStripAt)), "PLAY"));
    EXPECT_TRUE(Drawn(TextsIn(taken, Between(kStripAt, kStripAt + 1000)), "Route List"))
        << Dump(taken, Between(kStripAt, kStripAt + 1000));
    EXPECT_TRUE(Drawn(TextsIn(taken, Between(kStripAt + 1000, kGuidanceAt)), "PLAY"));

    // 2. The rows are the remaining maneuvers' roads in order; "Map" on the third row
    // shows its place in pan mode.
    const Span list = Between(kRouteListAt, kRouteListAt + 800);
    const size_t listShot = ShotWith(taken, "Route List", list.from);
    ASSERT_LT(listShot, list.to) << Dump(taken, list);
    // A row's first line begins with its road (the longest of the route's that does).
    std::map<int, std::string> rowRoads;
    for (const ShotText& t : taken[listShot].texts) {
        for (const std::string& road : roads)
            if (t.x == kRowTextX && road.size() > rowRoads[t.y].size() &&
                t.text.compare(0, road.size() + 1, road + " ") == 0)
                rowRoads[t.y] = road;
    }
    std::vector<std::string> rows;
    for (const auto& [y, road] : rowRoads)
        if (!road.empty())
            rows.push_back(road);
    ASSERT_FALSE(rows.empty()) << Dump(taken, list);
    ASSERT_LE(rows.size(), roads.size());
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), roads.end() - rows.size()))
        << Dump(taken, list);
    // The third row is the arrival's: "Map" shows the destination flag at the centre.
    ASSERT_EQ(rows.size(), 3u) << Dump(taken, list);
    const Span panned = Between(kRouteListAt + 1600, kGuidanceAt);
    EXPECT_TRUE(Drawn(TextsIn(taken, panned), "Map Panning Mode - Click to Exit"))
        << Dump(taken, panned);
    char png[16];
    std::snprintf(png, sizeof png, "%06d.png", static_cast<int>(panned.to));
    const int flag = PixelsOf(shots / png, kFlagRed, 0, 0, 240, 320);
    EXPECT_GT(flag, 20) << png;
    EXPECT_EQ(PixelsOf(shots / png, kFlagRed, kMapCentreX - 20, kMapCentreY - 30, kMapCentreX + 20,
                       kMapCentreY + 10),
              flag)
        << png;

    // 3. The banner names a maneuver's road; the bar fills as the turn nears.
    const Span guidance = Between(kGuidanceAt, kDemoEndAt);
    EXPECT_TRUE(guidanceBanner(guidance, true)) << Dump(taken, guidance);
    int yellow = 0;
    for (size_t i = guidance.from; i < guidance.to; ++i) {
        std::snprintf(png, sizeof png, "%06d.png", static_cast<int>(i + 1));
        yellow = std::max(yellow, PixelsOf(shots / png, kBarFill, 200, 60, 240, 260));
    }
    EXPECT_GT(yellow, 20);

    // 4. The GPS information screen shows the fields of the log's GGA, RMC, GSA and
    // GSV sentences (of the last ones the screen took: on a slow machine the log may
    // still play when the almanac comes).
    const Span info = Between(kGpsInfoAt + 500, kAlmanacAt);
    const std::vector<ShotText> infoTexts = TextsIn(taken, info);
    const std::string nmea = Slurp(log);
    std::set<std::string> altitudes, used, inView, dops, utcs, locals;
    std::vector<std::pair<double, double>> places;
    char text[64];
    for (const std::vector<std::string>& gga : Sentences(nmea, "$GPGGA")) {
        ASSERT_GT(gga.size(), 9u);
        places.push_back({(gga[3] == "S" ? -1 : 1) * Degrees(gga[2]),
                          (gga[5] == "W" ? -1 : 1) * Degrees(gga[4])});
        std::snprintf(text, sizeof text, "%.0f ft", std::stod(gga[9]) * 3.2808399);
        altitudes.insert(text);
    }
    for (const std::vector<std::string>& gsa : Sentences(nmea, "$GPGSA")) {
        ASSERT_GT(gsa.size(), 17u);
        int count = 0;
        for (int i = 3; i <= 14; ++i)
            count += !gsa[i].empty();
        used.insert(std::to_string(count));
        std::snprintf(text, sizeof text, "HDOP:%4.1f VDOP:%4.1f PDOP:%4.1f", std::stod(gsa[16]),
                      std::stod(gsa[17]), std::stod(gsa[15]));
        dops.insert(text);
    }
    for (const std::vector<std::string>& gsv : Sentences(nmea, "$GPGSV"))
        inView.insert("/" + gsv.at(3));
    for (const std::vector<std::string>& rmc : Sentences(nmea, "$GPRMC")) {
        ASSERT_GT(rmc.size(), 9u);
        const std::string date = "20" + rmc[9].substr(4, 2) + "/" + rmc[9].substr(2, 2) + "/" +
                                 rmc[9].substr(0, 2) + " ";
        const int hour = std::stoi(rmc[1].substr(0, 2));
        const std::string rest = ":" + rmc[1].substr(2, 2) + ":" + rmc[1].substr(4, 2);
        ASSERT_LT(hour + kZoneHours, 24);
        utcs.insert("UTC: " + date + rmc[1].substr(0, 2) + rest);
        locals.insert("Local: " + date + std::to_string(hour + kZoneHours) + rest);
    }
    const std::string latitude = LastMatching(infoTexts, std::regex(R"(\d+\.\d{6}[NS])"));
    const std::string longitude = LastMatching(infoTexts, std::regex(R"(\d+\.\d{6}[EW])"));
    ASSERT_FALSE(latitude.empty() || longitude.empty()) << Dump(taken, info);
    const double shownLat = (latitude.back() == 'S' ? -1 : 1) * std::stod(latitude);
    const double shownLon = (longitude.back() == 'W' ? -1 : 1) * std::stod(longitude);
    bool logged = false;
    for (const auto& [lat, lon] : places)
        logged |= std::abs(lat - shownLat) < 2e-5 && std::abs(lon - shownLon) < 2e-5;
    EXPECT_TRUE(logged) << latitude << " " << longitude;
    // The used count stands on the line of its label.
    std::string usedShown;
    int usedLine = -1;
    for (const ShotText& t : infoTexts) {
        if (t.text == "Satellite: ")
            usedLine = t.y;
        else if (t.y == usedLine && std::regex_match(t.text, std::regex(R"(\d+)")))
            usedShown = t.text;
    }
    const std::pair<std::string, const std::set<std::string>*> shown[] = {
        {LastMatching(infoTexts, std::regex(R"(\d+ ft)")), &altitudes},
        {usedShown, &used},
        {LastMatching(infoTexts, std::regex(R"(/\d+)")), &inView},
        {LastMatching(infoTexts, std::regex("HDOP:.*")), &dops},
        {LastMatching(infoTexts, std::regex("UTC: .*")), &utcs},
        {LastMatching(infoTexts, std::regex("Local: .*")), &locals}};
    for (const auto& [value, expected] : shown)
        EXPECT_EQ(expected->count(value), 1u) << "'" << value << "'\n" << Dump(taken, info);

    // 5. The almanac on the log's date: the sun at its place, the moon's next full
    // and new moons in the zone's time, within 15 minutes of the published instants
    // (5 January 2015 04:53 and 20 January 13:14 UTC).
    const Span almanac = Between(kAlmanacAt, kAlmanacAt + 1500);
    const std::vector<ShotText> almanacTexts = TextsIn(taken, almanac);
    for (const char* label : {"SUNRISE: ", "SUNSET: ", "CURRENT PHASE: ", "AGE OF MOON: "})
        EXPECT_TRUE(Drawn(almanacTexts, label)) << label << "\n" << Dump(taken, almanac);
    const std::optional<double> full =
        AlmanacMinutes(LastMatching(almanacTexts, std::regex(R"(1/5/2015 .*)")));
    const std::optional<double> next =
        AlmanacMinutes(LastMatching(almanacTexts, std::regex(R"(1/2\d/2015 .*)")));
    ASSERT_TRUE(full && next) << Dump(taken, almanac);
    EXPECT_NEAR(*full, ((4 * 24 + 4 + kZoneHours) * 60) + 53, 15);
    EXPECT_NEAR(*next, ((19 * 24 + 13 + kZoneHours) * 60) + 14, 15);
    // The sun rises at Hamilton between 5 and 8 in the morning and sets between 5
    // and 9 in the evening, local time, whatever the device's date.
    auto shownHour = [&](const std::string& label) {
        bool next = false;
        for (const ShotText& t : almanacTexts) {
            if (next)
                return std::stoi(t.text.substr(0, 2));
            next = t.text == label;
        }
        return -1;
    };
    const int rise = shownHour("SUNRISE: "), set = shownHour("SUNSET: ");
    EXPECT_TRUE(rise >= 5 && rise < 8) << Dump(taken, almanac);
    EXPECT_TRUE(set >= 17 && set < 21) << Dump(taken, almanac);
    EXPECT_TRUE(Drawn(TextsIn(taken, Between(kAlmanacAt + 1500, kCloseAt)), "DEST"));
}

}  // namespace
