// The navigation program end to end: a device root made by scripts/make-device, a
// recorded drive replayed into pathlumeQVGA.exe started as a child process, headless
// and then under the SDL2 backend with SDL's dummy drivers.
#include <cairo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "tests/programs/program_run.h"
#include "tests/programs/town_places.h"
#include "tests/support/pty.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"

namespace {

using namespace programs_test;
using nlohmann::json;

constexpr const char* kSettings = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";
constexpr int kPlaybackDelayMs = 50;
constexpr int kShotEveryMs = 1000;
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
// The status box sits in the map's bottom right corner.
constexpr int kStatusBoxX = 215;
constexpr int kStatusBoxY = 280;

// Seconds of the recording whose 20 ms windows are louder than silence.
double SecondsOfSound(const fs::path& wav) {
    const std::string bytes = Slurp(wav);
    size_t at = 12;
    int channels = 1, rate = 0, bits = 16;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        uint32_t size = 0;
        std::memcpy(&size, bytes.data() + at + 4, 4);
        if (id == "fmt " && at + 24 <= bytes.size()) {
            uint16_t c = 0, b = 0;
            std::memcpy(&c, bytes.data() + at + 10, 2);
            std::memcpy(&rate, bytes.data() + at + 12, 4);
            std::memcpy(&b, bytes.data() + at + 22, 2);
            channels = c;
            bits = b;
        } else if (id == "data" && bits == 16 && rate > 0) {
            const size_t count = std::min<size_t>(size, bytes.size() - at - 8) / 2;
            const int16_t* samples = reinterpret_cast<const int16_t*>(bytes.data() + at + 8);
            const size_t window = static_cast<size_t>(rate * channels / 50);
            int loud = 0;
            for (size_t w = 0; w + window <= count; w += window) {
                int peak = 0;
                for (size_t i = w; i < w + window; ++i)
                    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
                loud += peak > 1000;
            }
            return loud / 50.0;
        }
        at += 8 + size + (size & 1);
    }
    return 0;
}

// The positions of the records of a destination list file ("FI03", count, records).
std::vector<std::pair<float, float>> ListPositions(const fs::path& file) {
    const std::string bytes = Slurp(file);
    std::vector<std::pair<float, float>> positions;
    if (bytes.size() < 8 || bytes.compare(0, 4, "FI03") != 0)
        return positions;
    int32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    size_t at = 8;
    for (int32_t i = 0; i < count && at + 36 <= bytes.size(); ++i) {
        float lat = 0, lon = 0;
        std::memcpy(&lat, bytes.data() + at + 28, 4);
        std::memcpy(&lon, bytes.data() + at + 32, 4);
        positions.emplace_back(lat, lon);
        at += 36;
        for (int text = 0; text < 3 && at < bytes.size(); ++text)
            at += 1 + static_cast<unsigned char>(bytes[at]);
    }
    return positions;
}

std::optional<fs::path> FindFile(const fs::path& root, const std::string& name) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == name)
            return entry.path();
    return std::nullopt;
}

struct ShotFigures {
    double roadShare = 0;  // of the screen's pixels in road colours
    bool routeNearVehicle = false;
};

ShotFigures MeasureShot(const fs::path& png, const std::set<uint32_t>& roads,
                        const std::set<uint32_t>& routes) {
    ShotFigures figures;
    cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return figures;
    }
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    auto pixel = [&](int x, int y) {
        return *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
    };
    long road = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            road += roads.count(pixel(x, y));
    figures.roadShare = static_cast<double>(road) / (w * h);
    // The vehicle stands where the map is centred; its symbol covers about 24 px.
    const int cx = w / 2, cy = h / 2;
    for (int y = std::max(0, cy - 30); y < std::min(h, cy + 30) && !figures.routeNearVehicle; ++y)
        for (int x = std::max(0, cx - 30); x < std::min(w, cx + 30); ++x) {
            const bool inSymbol = std::abs(x - cx) < 12 && std::abs(y - cy) < 12;
            if (!inSymbol && std::hypot(x - cx, y - cy) <= 30 && routes.count(pixel(x, y))) {
                figures.routeNearVehicle = true;
                break;
            }
        }
    cairo_surface_destroy(surface);
    return figures;
}

// The town's colours as the screen holds them (0xRRGGBB; COLORREF is 0xBBGGRR).
uint32_t Rgb(COLORREF c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

class NavigationProgramTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (!VoiceGeneratorInstalled())
            return;
        suite_ = new Suite;
        Suite& s = *suite_;
        s.root = s.roots.base() / "device";
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "make-device";
        testing_support::ToolRun made = testing_support::RunTool(
            Quoted(script), "--town 1,1500 --preset debug " + Quoted(s.root), s.roots.base());
        ASSERT_EQ(made.status, 0) << made.err;

        // A and B: street middles about 2 km apart that the router joins.
        const discmaker::Network town = discmaker::BuildTown(1, 1500);
        const fs::path maps = s.root / "Storage Card" / "Zanter Wayscribe" / "Maps";
        s.gps = s.root / "My Documents" / "drive.gps";
        const std::vector<const discmaker::Link*> streets = TownStreets(town);
        ASSERT_GT(streets.size(), 10u);
        const discmaker::LatLon a = Middle(town, *streets[streets.size() / 3]);
        for (const discmaker::Link* link : streets) {
            const discmaker::LatLon b = Middle(town, *link);
            if (std::abs(Metres(a, b) - 2000) > 250)
                continue;
            testing_support::ToolRun route = testing_support::RunTool(
                Quoted(BinFolder() / "route"),
                "--maps " + Quoted(maps) + " --from " + Position(a) + " --to " + Position(b) +
                    " --guide --nmea " + Quoted(s.gps) + " --json",
                s.roots.base());
            if (route.status != 0)
                continue;
            s.route = json::parse(route.out);
            if (s.route["result"] == "none" || !fs::exists(s.gps))
                continue;
            s.a = a;
            s.b = b;
            break;
        }
        ASSERT_TRUE(fs::exists(s.gps)) << "no two roads 2 km apart with a route";
        std::istringstream log(Slurp(s.gps));
        for (std::string line; std::getline(log, line);)
            s.fixes += line.rfind("$GPRMC", 0) == 0;

        ASSERT_FALSE(s.pty.path.empty());
        fs::create_directories(s.roots.base() / "dev");
        const std::string lat = std::to_string(a.lat), lon = std::to_string(a.lon);
        for (const std::string& set :
             {std::string(kSettings) + " LastLat float:" + lat,
              std::string(kSettings) + " LastLon float:" + lon,
              std::string(kSettings) + " PlaybackDelay dword:" + std::to_string(kPlaybackDelayMs),
              std::string(kSettings) + " Options dword:64",
              std::string("'HKLM\\Drivers\\HostSerial' COM8: sz:") + s.pty.path})
            ASSERT_EQ(s.Devroot("set " + set).status, 0) << set;
        s.ready = true;
    }
    static void TearDownTestSuite() {
        delete suite_;
        suite_ = nullptr;
    }

    void SetUp() override {
        if (!suite_)
            GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
        ASSERT_TRUE(suite_->ready) << "the device root or the recorded drive could not be made";
    }

    struct Suite {
        testing_support::TempRoots roots;
        testing_support::Pty pty;
        fs::path root;
        fs::path gps;
        json route;
        discmaker::LatLon a, b;
        int fixes = 0;
        bool ready = false;

        testing_support::ToolRun Devroot(const std::string& args) const {
            return testing_support::RunTool(Quoted(BinFolder() / "devroot"),
                                            Quoted(root) + " " + args, roots.base());
        }
        std::string Get(const std::string& value) const {
            testing_support::ToolRun run = Devroot(std::string("get ") + kSettings + " " + value);
            return run.status == 0 ? run.out.substr(0, run.out.find('\n')) : "(missing)";
        }
        fs::path Program() const {
            return root / "Program Files" / "Zanter" / "Wayscribe" / "pathlumeQVGA.exe";
        }
        // The drive's script: the log replayed, the status box tapped, shots, close.
        // With secondStart, the Set Destination screen the second start's Enter
        // Destination opens is closed again.
        fs::path WriteScript(const std::string& name, const fs::path* shots,
                             bool secondStart = false) const {
            const fs::path file = roots.base() / name;
            std::ofstream out(file);
            // The Bluetooth radio's box, drawn under the window backend, is confirmed at
            // the start and again when the replay's end reopens the port (the second
            // start's Enter Destination answered "New": no arrival ends the replay).
            out << "answer 1\n"
                << "answer 1\n"
                << "file \\My Documents\\drive.gps\n"
                << "at 1000 command 3021\n"
                << "at 4000 tap " << kStatusBoxX << " " << kStatusBoxY << "\n";
            if (secondStart)
                out << "when \"Set Destination\" key ESCAPE\n";
            if (shots)
                out << "every " << kShotEveryMs << " shots " << shots->string() << "\n";
            out << "at " << CloseAtMs() << " close\n";
            return file;
        }
        int CloseAtMs() const { return 1000 + fixes * kPlaybackDelayMs + 5000; }
        std::vector<std::string> Environment(const std::string& backend) const {
            return {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=" + backend,
                    "PATHLUME_DESTINATION=" + Position(b),
                    "PATHLUME_DEV_DIR=" + (roots.base() / "dev").string(), "PATHLUME_GPSD=off"};
        }
        // "ShowWarning" back at 1, the status box's mode the tap chose, B recent.
        void ExpectStoredResults(int tappedMode) const {
            EXPECT_EQ(Get("ShowWarning"), "1");
            EXPECT_EQ(Get("StatBoxMode"), std::to_string(tappedMode));
            const std::optional<fs::path> recent = FindFile(root, "recent.dat");
            ASSERT_TRUE(recent.has_value()) << "no recent.dat";
            bool holdsB = false;
            for (const auto& [lat, lon] : ListPositions(*recent))
                holdsB |= Metres({lat, lon}, b) < 1000;
            EXPECT_TRUE(holdsB) << "recent.dat does not hold " << Position(b);
        }
        int StartMode() const {
            const std::string mode = Get("StatBoxMode");
            return mode == "(missing)" ? 0 : std::stoi(mode);
        }
    };
    static Suite* suite_;
};

NavigationProgramTest::Suite* NavigationProgramTest::suite_ = nullptr;

TEST_F(NavigationProgramTest, DrivesARecordedRouteHeadlessWithMapRouteTextsAndSpeech) {
    Suite& s = *suite_;
    const fs::path shots = s.roots.base() / "shots";
    const fs::path wav = s.roots.base() / "guidance.wav";
    const fs::path script = s.WriteScript("headless.script", &shots);
    std::vector<std::string> env = s.Environment("headless");
    env.push_back("PATHLUME_SCRIPT=" + script.string());
    env.push_back("PATHLUME_AUDIO_WAV=" + wav.string());
    ASSERT_EQ(s.Devroot(std::string("set ") + kSettings + " StatBoxMode dword:0").status, 0);

    Child program(s.Program(), {"nowarning"}, env, s.roots.base() / "headless.err");
    const auto limit = std::chrono::milliseconds(s.CloseAtMs() + 60000);
    ASSERT_EQ(program.Wait(limit), 0) << program.Errors();
    const std::string err = program.Errors();
    EXPECT_FALSE(SanitizerReported(err)) << err;

    CMapTheme theme;
    theme.SetDefaults();
    std::set<uint32_t> roads, routes;
    for (int c = 0; c < CMapTheme::kClasses; ++c) {
        roads.insert(Rgb(theme.dayRoadColours[c]));
        roads.insert(Rgb(theme.RoadBorderColour(c)));
        roads.insert(Rgb(theme.RouteRoadColour(c)));
    }
    for (COLORREF c : theme.routeColours) {
        routes.insert(Rgb(c));
        roads.insert(Rgb(c));
    }

    // Shots while driving: from the replay's start until its last fix.
    const int firstDriving = 3000 / kShotEveryMs;
    const int lastDriving = (1000 + s.fixes * kPlaybackDelayMs) / kShotEveryMs;
    std::string texts;
    int driving = 0;
    for (int n = 1;; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d", n);
        const fs::path png = shots / (std::string(name) + ".png");
        if (!fs::exists(png))
            break;
        texts += Slurp(shots / (std::string(name) + ".txt"));
        if (n < firstDriving || n > lastDriving)
            continue;
        ++driving;
        const ShotFigures figures = MeasureShot(png, roads, routes);
        EXPECT_GE(figures.roadShare, 0.05) << png;
        EXPECT_TRUE(figures.routeNearVehicle) << png;
    }
    EXPECT_GE(driving, 3);
    bool maneuverRoad = false;
    for (const json& m : s.route["maneuvers"]) {
        const std::string road = m["road"];
        maneuverRoad |= !road.empty() && texts.find(road) != std::string::npos;
    }
    EXPECT_TRUE(maneuverRoad) << texts;
    // The status box's label and its value, drawn inside the box.
    bool label = false, value = false;
    std::istringstream lines(texts);
    for (std::string line; std::getline(lines, line);) {
        int x = 0, y = 0, used = 0;
        if (std::sscanf(line.c_str(), "%d %d %n", &x, &y, &used) < 2 || x < kScreenWidth - 60 ||
            y < kScreenHeight - 70)
            continue;
        const std::string text = line.substr(used);
        for (const char* name : {"SPEED", "ETA", "REM", "DEST"})
            label |= text == name;
        value |= text.find_first_of("0123456789") != std::string::npos;
    }
    EXPECT_TRUE(label && value) << texts;
    EXPECT_GE(SecondsOfSound(wav), 3.0);
    s.ExpectStoredResults(1);
}

TEST_F(NavigationProgramTest, RunsUnderTheWindowBackendAndHandsASecondStartOver) {
    Suite& s = *suite_;
    const fs::path script = s.WriteScript("sdl.script", nullptr, true);
    // The first start chooses the window by the display, as on a desktop, and so opens
    // it while it starts; the second asks for it by name.
    std::vector<std::string> env = s.Environment("");
    env.push_back("DISPLAY=:0");
    env.push_back("PATHLUME_SCRIPT=" + script.string());
    env.push_back("SDL_VIDEODRIVER=dummy");
    env.push_back("SDL_AUDIODRIVER=dummy");
    ASSERT_EQ(s.Devroot(std::string("set ") + kSettings + " StatBoxMode dword:0").status, 0);
    if (const std::optional<fs::path> recent = FindFile(s.root, "recent.dat"))
        fs::remove(*recent);

    Child first(s.Program(), {"nowarning"}, env, s.roots.base() / "first.err");
    // After the status box's tap (4 s into the script): the second start's Enter
    // Destination begins with the route management, which without its dialog drops
    // the route the tap needs.
    std::this_thread::sleep_for(std::chrono::milliseconds(6500));
    std::vector<std::string> secondEnv = s.Environment("sdl");
    secondEnv.push_back("SDL_VIDEODRIVER=dummy");
    secondEnv.push_back("SDL_AUDIODRIVER=dummy");
    Child second(s.Program(), {"search"}, secondEnv, s.roots.base() / "second.err");
    EXPECT_EQ(second.Wait(std::chrono::seconds(10)), 0) << second.Errors();
    EXPECT_EQ(::waitpid(first.pid, nullptr, WNOHANG), 0) << "the first start ended";

    ASSERT_EQ(first.Wait(std::chrono::milliseconds(s.CloseAtMs() + 60000)), 0) << first.Errors();
    EXPECT_FALSE(SanitizerReported(first.Errors())) << first.Errors();
    s.ExpectStoredResults(1);
}

}  // namespace
