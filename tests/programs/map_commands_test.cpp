// The map screen's menus and commands end to end: pathlumeQVGA.exe on a device root
// made by scripts/make-device, headless, its GPS on a pseudo-terminal (COM3), driven by a
// script through the units, north up, a recorded GPS track, the hotkey dialog, the
// ring menu, the hold menu, Enter Destination and Cancel Route; and the help viewer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/programs/program_run.h"
#include "tests/programs/town_device.h"
#include "tests/programs/town_places.h"
#include "tests/support/pty.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"

namespace {

using namespace programs_test;

// An NMEA sentence with its checksum.
std::string Sentence(const std::string& body) {
    unsigned char sum = 0;
    for (char c : body)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X", sum);
    return "$" + body + tail;
}

std::string Angle(double degrees, int degreeDigits) {
    const double whole = std::floor(std::abs(degrees));
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f", degreeDigits, static_cast<int>(whole),
                  (std::abs(degrees) - whole) * 60.0);
    return text;
}

// The fixes of a receiver standing at the place, moving slowly east: second `n`.
std::vector<std::string> FixAt(const discmaker::LatLon& at, int n) {
    char time[16];
    std::snprintf(time, sizeof time, "12%02d%02d.00", (n / 60) % 60, n % 60);
    const std::string lat = Angle(at.lat, 2) + (at.lat >= 0 ? ",N" : ",S");
    const std::string lon = Angle(at.lon, 3) + (at.lon >= 0 ? ",E" : ",W");
    return {
        Sentence("GPRMC," + std::string(time) + ",A," + lat + "," + lon + ",3.0,90.0,110325,,,A"),
        Sentence("GPGGA," + std::string(time) + "," + lat + "," + lon +
                 ",1,08,1.0,100.0,M,0.0,M,,")};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

// The records of a destination list file ("FI03", count, records).
int ListCount(const fs::path& file) {
    const std::string bytes = Slurp(file);
    int32_t count = 0;
    if (bytes.size() >= 8 && bytes.compare(0, 4, "FI03") == 0)
        std::memcpy(&count, bytes.data() + 4, 4);
    return count;
}

class MapCommandsProgramTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!VoiceGeneratorInstalled())
            GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    }
    testing_support::TempRoots roots_;
};

// The QVGA screen's places the script taps (the layouts of the dialogs and menus):
constexpr int kMuteRowY = 209;     // the hotkey list's "Mute" row
constexpr int kMenuButtonY = 225;  // the map's menu button, bottom left
constexpr int kHoldX = 120, kHoldY = 70;
// The hold menu opens at the press (2 pixels on): the address, a separator, "Set
// Start Location", "Set Stopover" (a route exists), then "Set Destination".
constexpr int kSetDestinationY = kHoldY + 2 + 20 + 7 + 20 + 20 + 10;

TEST_F(MapCommandsProgramTest, MenusHotkeysRingHoldMenuAndDestinationFlowRunHeadless) {
    const TownDevice device(roots_.base(), 1000);
    const fs::path& root = device.root;
    const testing_support::ToolRun made = device.Make("--words 0,wait4gps");
    ASSERT_EQ(made.status, 0) << made.err;
    auto devroot = [&](const std::string& args) { return device.Devroot(args); };

    // The car stands in the middle of a street; the route goes to one about 1 km away.
    ASSERT_GT(TownStreets(device.town).size(), 10u);
    const discmaker::LatLon a = device.car;
    const discmaker::LatLon b = device.destination;
    ASSERT_GT(Metres(a, b), 500);

    testing_support::Pty pty;
    ASSERT_FALSE(pty.path.empty());
    fs::create_directories(roots_.base() / "dev");
    ASSERT_EQ(
        device.PlaceCarAndSet({"Options dword:64", "CommPort dword:3",
                               std::string("'HKLM\\Drivers\\HostSerial' COM3: sz:") + pty.path}),
        "");

    const fs::path shots = roots_.base() / "shots";
    const fs::path ring = roots_.base() / "ring.png";
    const fs::path script = roots_.base() / "commands.script";
    std::ofstream(script) << "file \\My Documents\\track.gps\n"
                          << "every 1000 shots " << shots.string()
                          << "\n"
                          // 1. KM/m and North Up.
                          << "at 2500 command 3064\n"
                          << "at 2600 command 3061\n"
                          // 2. A GPS track recorded for three seconds.
                          << "at 3000 command 3031\n"
                          << "at 6000 command 3031\n"
                          // 3. "Mute" bound to the second button, then pressed on the map.
                          << "at 6500 command 3067\n"
                          << "when \"Select a function\" tap 60 " << kMuteRowY << "\n"
                          << "when Mute key APP2\n"
                          << "when \"Button 2\" press 1\n"
                          << "at 11000 key APP2\n"
                          // 4. The ring menu from the menu button.
                          << "at 12000 tap 20 " << kMenuButtonY << "\n"
                          << "when \"Go to Map\" shot " << ring.string() << "\n"
                          << "at 14000 key ESCAPE\n"
                          // 5. A held road made the destination.
                          << "at 15000 hold " << kHoldX << " " << kHoldY << " 800\n"
                          << "when \"Set Destination\" tap 200 " << kSetDestinationY
                          << "\n"
                          // 6. Enter Destination: route management, "New", then Set
                          // Destination, closed.
                          << "at 20000 command 3017\n"
                          << "when \"Current Destination\" press 1\n"
                          << "when \"Set Destination\" key ESCAPE\n"
                          // 7. Cancel Route.
                          << "at 22000 command 3026\n"
                          << "at 25000 close\n";

    // The receiver reports a fix a second from the start to the end.
    std::set<std::string> fed;
    std::atomic<bool> feeding{true};
    std::thread feeder([&] {
        for (int n = 0; feeding.load(); ++n) {
            for (const std::string& sentence : FixAt(a, n)) {
                pty.Write(sentence + "\r\n");
                fed.insert(sentence);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        }
    });
    Child program(device.Program(), {"nowarning"},
                  {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_DESTINATION=" + Position(b),
                   "PATHLUME_DEV_DIR=" + (roots_.base() / "dev").string(), "PATHLUME_GPSD=off",
                   "PATHLUME_SCRIPT=" + script.string()},
                  roots_.base() / "program.err");
    const int status = program.Wait(std::chrono::seconds(120));
    feeding.store(false);
    feeder.join();
    ASSERT_EQ(status, 0) << program.Errors();
    const std::string err = program.Errors();
    EXPECT_EQ(err.find("runtime error:"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;

    // 1 and 3: metric units, north up, and the voice muted by the bound button.
    const testing_support::ToolRun options = devroot(std::string("get ") + kSettings + " Options");
    ASSERT_EQ(options.status, 0);
    const unsigned long word = std::stoul(options.out, nullptr, 0);
    EXPECT_EQ(word & 0x2, 0x2u) << options.out;
    EXPECT_EQ(word & 0x8, 0x8u) << options.out;
    EXPECT_EQ(word & 0x200, 0x200u) << options.out;
    EXPECT_EQ(Lines(devroot(std::string("get ") + kSettings + " \"Hotkey Count\"").out).at(0), "1");

    // 2. The log holds sentences the receiver was fed, nothing else.
    const std::vector<std::string> logged = Lines(Slurp(root / "My Documents" / "track.gps"));
    EXPECT_GE(logged.size(), 6u);
    for (const std::string& line : logged)
        EXPECT_TRUE(fed.count(line)) << line;

    // 4. The ring menu's shot.
    EXPECT_GT(fs::file_size(ring), 1000u);

    // 5. The held road joined the route's destination in the recent destinations.
    std::optional<fs::path> recent;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == "recent.dat")
            recent = entry.path();
    ASSERT_TRUE(recent.has_value());
    EXPECT_GE(ListCount(*recent), 2);

    // 6 and 7: after Enter Destination the map was back; after Cancel Route the
    // status box shows the speed.
    std::string after3017, afterCancel;
    for (int n = 1;; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d", n);
        if (!fs::exists(shots / (std::string(name) + ".txt")))
            break;
        const std::string texts = Slurp(shots / (std::string(name) + ".txt"));
        if (n >= 21 && n < 23)
            after3017 += texts;
        if (n >= 23)
            afterCancel += texts;
    }
    EXPECT_NE(after3017.find("AVE"), std::string::npos) << after3017;
    EXPECT_NE(afterCancel.find("SPEED"), std::string::npos) << afterCancel;
    EXPECT_NE(afterCancel.find("km/h"), std::string::npos) << afterCancel;
}

TEST(HelpViewer, OpensOrNamesThePageAndRefusesAMissingOne) {
    testing_support::TempRoots roots;
    const fs::path root = roots.base() / "device";
    fs::create_directories(root / "Windows");
    std::ofstream(root / "Windows" / "pathlume.htm") << "<html></html>";
    const fs::path viewer = BinFolder() / "PegHelp.exe";
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY PATHLUME_DEVICE=" + Quoted(root);
    testing_support::ToolRun shown = testing_support::RunTool(
        env + " " + Quoted(viewer), "pathlume.htm#Main_Contents", roots.base());
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("\\Windows\\pathlume.htm#Main_Contents"), std::string::npos)
        << shown.err;
    testing_support::ToolRun missing = testing_support::RunTool(
        env + " " + Quoted(viewer), "nosuch.htm#Main_Contents", roots.base());
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("no such page"), std::string::npos) << missing.err;
}

}  // namespace
