// The option dialogs end to end: pathlumeQVGA.exe on a device root made by
// scripts/make-device, headless, with a route and its guidance recorded to a WAV,
// the dialogs opened by their menu commands and Enter Destination and tapped by the
// script: Route Options, Guidance Volume, Speed Alert with a route demonstration,
// Display Options with the icon filter, and Roads to Avoid.
#include <cairo.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/audio/audio.h"
#include "tests/programs/program_run.h"
#include "tests/programs/town_device.h"
#include "tests/programs/town_places.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"
#include "tools/voicegen/voicegen.h"

namespace {

using namespace programs_test;
using nlohmann::json;

constexpr int kShotEveryMs = 1000;
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kPromptRate = 16000;

// The script's steps, in ms of the program's clock after its window showed. A step's
// first press waits for its dialog's text; the presses after it come at set times.
constexpr int kRouteOptionsAt = 3000;
constexpr int kVolumeAt = 7000;
constexpr int kSpeedAlertAt = 10000;
constexpr int kDemoAt = 12500;
constexpr int kDemoEndAt = 20000;
constexpr int kDisplayAt = 21000;
constexpr int kIconsAt = 24500;
constexpr int kAvoidAt = 28000;
constexpr int kAvoidAgainAt = 31000;
constexpr int kCloseAt = 34000;

// The speed alert's pad at QVGA: the centres of "3" and "0".
constexpr int kPadThreeX = 150, kPadThreeY = 110;
constexpr int kPadZeroX = 120, kPadZeroY = 200;

// Miles the status box showed ("N.N mi" in its corner) in the shots [from, to).
std::vector<double> MilesShown(const std::vector<Shot>& shots, size_t from, size_t to) {
    std::vector<double> miles;
    for (size_t i = from; i < std::min(to, shots.size()); ++i) {
        for (const ShotText& text : shots[i].texts) {
            double value = 0;
            if (text.x >= kScreenWidth - 70 && text.y >= kScreenHeight - 80 &&
                text.text.find(" mi") != std::string::npos &&
                std::sscanf(text.text.c_str(), "%lf", &value) == 1)
                miles.push_back(value);
        }
    }
    return miles;
}

// The rows of the roads-to-avoid list the shot shows: the names drawn at the rows'
// text column inside the list, between the screen's title and its Nav button.
std::vector<std::string> AvoidRows(const Shot& shot) {
    std::vector<std::string> rows;
    bool inList = false;
    for (const ShotText& text : shot.texts) {
        if (text.text == "Travona")
            inList = true;
        else if (text.text == "Nav")
            inList = false;
        else if (inList && text.x >= 50 && text.x <= 60 && text.y > 20 && text.y < 258)
            rows.push_back(text.text);
    }
    return rows;
}

// The peaks of the 1 kHz tone bursts (the speed alarm's) in the recording: each
// run of 40 ms windows whose energy is nearly all at 1 kHz.
std::vector<int> AlarmBurstPeaks(const platform::WaveData& wave) {
    constexpr size_t kWindow = kPromptRate / 25;
    const double w = 2 * M_PI * 1000.0 / wave.rate;
    std::vector<int> peaks;
    int run = 0, peak = 0;
    for (size_t at = 0; at + kWindow <= wave.samples.size(); at += kWindow) {
        double s1 = 0, s2 = 0, energy = 0;
        int windowPeak = 0;
        for (size_t i = at; i < at + kWindow; ++i) {
            const double x = wave.samples[i];
            const double s = x + 2 * std::cos(w) * s1 - s2;
            s2 = s1;
            s1 = s;
            energy += x * x;
            windowPeak = std::max(windowPeak, std::abs(static_cast<int>(wave.samples[i])));
        }
        const double power = (s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2) * 2 / kWindow;
        const bool tone = energy > 1e6 && power > 0.8 * energy;
        if (tone) {
            ++run;
            peak = std::max(peak, windowPeak);
        } else {
            if (run >= 2)
                peaks.push_back(peak);
            run = 0;
            peak = 0;
        }
    }
    return peaks;
}

class OptionDialogsProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!VoiceGeneratorInstalled())
            GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    }
    testing_support::TempRoots roots_;
};

TEST_F(OptionDialogsProgramTest, EachDialogChangesTheRunningProgram) {
    const TownDevice device(roots_.base(), 1500);
    const fs::path& root = device.root;
    const testing_support::ToolRun made = device.Make("");
    ASSERT_EQ(made.status, 0) << made.err;
    auto setting = [&](const std::string& name) {
        const testing_support::ToolRun got =
            device.Devroot(std::string("get ") + kSettings + " " + name);
        return got.status == 0 ? got.out.substr(0, got.out.find('\n')) : std::string("(missing)");
    };

    // The car stands in the middle of a street; the route goes to one about 1.5 km away.
    ASSERT_GT(TownStreets(device.town).size(), 10u);
    const discmaker::LatLon b = device.destination;
    ASSERT_GT(Metres(device.car, b), 1000);
    ASSERT_EQ(
        device.PlaceCarAndSet({"Options dword:64", "CommPort dword:3", "PlaybackDelay dword:100"}),
        "");

    // The route the program should show after Route Options, from the route tool.
    const testing_support::ToolRun expected = device.Route("--method shortest --avoid toll --json");
    ASSERT_EQ(expected.status, 0) << expected.err;
    const double shortestMiles = json::parse(expected.out)["length_m"].get<double>() / 1609.344;

    const fs::path shots = roots_.base() / "shots";
    const fs::path night = roots_.base() / "night.png";
    const fs::path wav = roots_.base() / "guidance.wav";
    const fs::path script = roots_.base() / "dialogs.script";
    auto at = [](int ms) { return "at " + std::to_string(ms) + " "; };
    std::ofstream(script) << "every " << kShotEveryMs << " shots " << shots.string()
                          << "\n"
                          // 1. Route Options: Shortest, toll roads excluded.
                          << at(kRouteOptionsAt) << "command 3034\n"
                          << "when Method press 524\n"
                          << at(kRouteOptionsAt + 1000) << "press 529\n"
                          << at(kRouteOptionsAt + 1300)
                          << "press 1\n"
                          // 2. Guidance Volume: four steps softer.
                          << at(kVolumeAt) << "command 3032\n"
                          << "when Mute press 601\n"
                          << at(kVolumeAt + 1000) << "press 601\n"
                          << at(kVolumeAt + 1300) << "press 601\n"
                          << at(kVolumeAt + 1600) << "press 601\n"
                          << at(kVolumeAt + 1900)
                          << "press 1\n"
                          // 3. Speed Alert: fixed, 30 on the pad; then the route demonstration.
                          << at(kSpeedAlertAt) << "command 3025\n"
                          << "when \"Enable Fixed Speed Alert\" press 593\n"
                          << at(kSpeedAlertAt + 1000) << "tap " << kPadThreeX << " " << kPadThreeY
                          << "\n"
                          << at(kSpeedAlertAt + 1400) << "tap " << kPadZeroX << " " << kPadZeroY
                          << "\n"
                          << at(kSpeedAlertAt + 1800) << "press 1\n"
                          << at(kDemoAt) << "command 3068\n"
                          << at(kDemoEndAt)
                          << "command 3068\n"
                          // 4. Display Options: night and the 3D view "2"; then the icon filter.
                          << at(kDisplayAt) << "command 3033\n"
                          << "when \"Map Orientation\" press 564\n"
                          << at(kDisplayAt + 1000) << "press 616\n"
                          << at(kDisplayAt + 1300) << "press 1\n"
                          << at(kDisplayAt + 2500) << "shot " << night.string() << "\n"
                          << at(kIconsAt) << "command 3033\n"
                          << "when \"Map Orientation\" press 631\n"
                          << "when Business/Shopping press 633\n"
                          << at(kIconsAt + 1500) << "press 547\n"
                          << at(kIconsAt + 1800) << "press 1\n"
                          << "when \"Map Orientation\" press 1\n"
                          // 5. Enter Destination, Avoid Road: the first road marked, then Nav; and
                          // the roads of the new route listed.
                          << at(kAvoidAt) << "command 3017\n"
                          << "when \"Current Destination\" press 629\n"
                          << at(kAvoidAt + 1500) << "press 629\n"
                          << at(kAvoidAt + 1800) << "press 540\n"
                          << at(kAvoidAgainAt) << "command 3017\n"
                          << "when \"Current Destination\" press 629\n"
                          << at(kAvoidAgainAt + 2000) << "press 2\n"
                          << at(kCloseAt) << "close\n";

    Child program(device.Program(), {"nowarning"},
                  {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_DESTINATION=" + Position(b), "PATHLUME_AUDIO_WAV=" + wav.string(),
                   "PATHLUME_DEV_DIR=" + (roots_.base() / "dev").string(), "PATHLUME_GPSD=off",
                   "PATHLUME_SCRIPT=" + script.string()},
                  roots_.base() / "program.err");
    ASSERT_EQ(program.Wait(std::chrono::seconds(150)), 0) << program.Errors();
    const std::string err = program.Errors();
    EXPECT_FALSE(SanitizerReported(err)) << err;
    const std::vector<Shot> taken = ReadShots(shots);

    // 1. The method and the option stored; the distance shown is the shortest route's.
    EXPECT_EQ(setting("RouteAlgo"), "0");
    EXPECT_EQ(std::stoul(setting("RouteFlags"), nullptr, 0) & 0x10, 0x10u);
    const size_t routeOptions = ShotWith(taken, "Method", 0);
    const size_t volume = ShotWith(taken, "Mute", routeOptions);
    const std::vector<double> miles = MilesShown(taken, routeOptions + 1, volume);
    ASSERT_FALSE(miles.empty()) << "no distance in the status box after Route Options";
    EXPECT_NEAR(miles.back(), shortestMiles, 0.15);

    // 2. and 3. The volume and the limits stored; the demonstration's speed alert
    // shows SPEED and sounds the alarm at half the level.
    EXPECT_EQ(std::stoul(setting("VolOvr"), nullptr, 0), 0x7FFF7FFFu);
    EXPECT_EQ(setting("SpeedLimitMI"), "30");
    EXPECT_EQ(setting("SpeedLimitKM"), "48");
    const size_t demo = ShotWith(taken, "PLAY", ShotWith(taken, "Speed Alert", volume));
    EXPECT_LT(ShotWith(taken, "SPEED", demo), ShotWith(taken, "Map Orientation", demo));
    std::ifstream in(wav, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const std::optional<platform::WaveData> heard = platform::ParseWave(bytes);
    ASSERT_TRUE(heard.has_value());
    const std::vector<int> bursts = AlarmBurstPeaks(*heard);
    ASSERT_GE(bursts.size(), 3u) << "no speed alarm in the recording";
    int loudest = 0;
    for (int16_t sample : voicegen::ToneOf("alarm1"))
        loudest = std::max(loudest, std::abs(static_cast<int>(sample)));
    EXPECT_NEAR(bursts.front(), loudest * 0x7FFF / 65535.0, loudest * 0.15);

    // 4. Night colours and the 3D view's sky; the icon filter's choice stored.
    cairo_surface_t* surface = cairo_image_surface_create_from_png(night.c_str());
    ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    auto luminance = [&](int x, int y) {
        const uint32_t p = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
        return (0.2126 * ((p >> 16) & 0xFF) + 0.7152 * ((p >> 8) & 0xFF) + 0.0722 * (p & 0xFF)) /
               255.0;
    };
    int dark = 0, samples = 0;
    for (int y = 60; y < 220; y += 8)
        for (int x = 10; x < kScreenWidth - 10; x += 8, ++samples)
            dark += luminance(x, y) < 0.3;
    cairo_surface_destroy(surface);
    EXPECT_GT(dark * 2, samples) << "the map is not in night colours";
    EXPECT_EQ(setting("ColorMode"), "1");
    EXPECT_EQ(setting("3DMode"), "2");
    const std::string icons = setting("DDrawPOITypes");
    EXPECT_EQ(icons, "06,ff,00,00");

    EXPECT_EQ(setting("POIIconMode"), "2");

    // 5. The road marked (the first row) is not on the route after Nav.
    const size_t first = ShotWith(taken, "Avd", 0);
    const size_t second = ShotWith(taken, "Avd", first + 1);
    ASSERT_LT(second, taken.size()) << "the roads to avoid were not listed twice";
    const std::vector<std::string> before = AvoidRows(taken[first]);
    const std::vector<std::string> after = AvoidRows(taken[second]);
    ASSERT_GE(before.size(), 2u);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(std::find(after.begin(), after.end(), before.front()), after.end())
        << before.front() << " is still on the route";
}

}  // namespace
