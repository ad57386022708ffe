// The point-of-interest search end to end: pathlumeQVGA.exe on a device root made by
// scripts/make-device from the built-in town, headless, the car in town, driven by a
// script: Enter Destination, Points of Interest, Restaurant, "<ALL>", Sort
// Alphabetically, "L" typed, OK, Nav; then Sort by Distance, Nav on the nearest; then
// City Center, List All, Nav. Each ends in a route, and the places are in
// "recent.dat" and "itinerary.dat".
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/programs/program_run.h"
#include "tests/programs/town_places.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"
#include "tools/discmaker/town.h"

namespace {

using namespace programs_test;

constexpr const char* kSettings = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";

// The centre of a drawn key of the QVGA keyboard (29-pixel keys 1 pixel apart, the
// grid 90 pixels down): "x y" for the script's hold.
std::string Key(int column, int row, bool wide = false) {
    const int width = wide ? 59 : 29;
    return std::to_string(30 * column + width / 2) + " " + std::to_string(90 + 30 * row + 14);
}

TEST(PoiSearchProgramTest, ByNameNearbyAndCityCentreEachEndInARouteInTown) {
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    testing_support::TempRoots roots;
    const fs::path root = roots.base() / "device";
    const fs::path make = testing_support::RepositoryFolder() / "scripts" / "make-device";
    const testing_support::ToolRun made = testing_support::RunTool(
        Quoted(make), "--town 1,1500 --words 0,wait4gps --preset debug " + Quoted(root),
        roots.base());
    ASSERT_EQ(made.status, 0) << made.err;
    const discmaker::LatLon car = CarPlace(discmaker::BuildTown(1, 1500));
    for (const std::string& set :
         {std::string(kSettings) + " LastLat float:" + std::to_string(car.lat),
          std::string(kSettings) + " LastLon float:" + std::to_string(car.lon)}) {
        const testing_support::ToolRun run = testing_support::RunTool(
            Quoted(BinFolder() / "devroot"), Quoted(root) + " set " + set, roots.base());
        ASSERT_EQ(run.status, 0) << run.err;
    }

    // Typing "L" selects LAKESIDE CANTINA (the first name with an L), whose row then
    // shows the rest of its name apart.
    const fs::path script = roots.base() / "poi.script";
    std::ofstream(script) << "at 3000 command 3017\n"
                          << "when \"Set Destination\" press 504\n"
                          << "when \"Transportation\" press 755\n"
                          << "when \"Food Type\" key RETURN\n"
                          << "when \"Sort Alphabetically\" press 553\n"
                          << "when \"Enter POI Name\" hold " << Key(1, 2) << " 160\n"  // L
                          << "when \"AKESIDE CANTINA\" hold " << Key(6, 0, true) << " 160\n"
                          << "when \"POI Selection\" key RETURN\n"
                          << "when \" mi\" command 3017\n"
                          << "when \"Current Destination\" press 1\n"
                          << "when \"Set Destination\" press 504\n"
                          << "when \"Transportation\" press 755\n"
                          << "when \"Food Type\" key RETURN\n"
                          << "when \"Sort by Distance\" press 555\n"
                          << "when \"POI List\" key RETURN\n"
                          << "when \" mi\" command 3017\n"
                          << "when \"Current Destination\" press 1\n"
                          << "when \"Set Destination\" press 505\n"
                          << "when \"List All\" press 556\n"
                          << "when \"Enter City Name\" key RETURN\n"
                          << "when \"City Center\" key RETURN\n"
                          << "when \" mi\" close\n";
    Child program(root / "Program Files" / "Zanter" / "Wayscribe" / "pathlumeQVGA.exe",
                  {"nowarning"},
                  {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_GPSD=off", "PATHLUME_SCRIPT=" + script.string()},
                  roots.base() / "program.err");
    const int status = program.Wait(std::chrono::seconds(120));
    const std::string err = program.Errors();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("runtime error:"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;

    fs::path recent, itinerary;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() == "recent.dat")
            recent = entry.path();
        if (entry.path().filename() == "itinerary.dat")
            itinerary = entry.path();
    }
    ASSERT_FALSE(recent.empty() || itinerary.empty());
    const std::string kept = Slurp(recent);
    EXPECT_NE(kept.find("LAKESIDE CANTINA"), std::string::npos);
    // Three places: the restaurant by name, the nearest one, a city centre.
    int32_t count = 0;
    ASSERT_GE(kept.size(), 8u);
    std::memcpy(&count, kept.data() + 4, 4);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Slurp(itinerary).compare(0, 4, "FI03"), 0);
}

}  // namespace
