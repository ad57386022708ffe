// The point-of-interest search end to end: pathlumeQVGA.exe on a device root made by
// scripts/make-device from the built-in town, headless, the car in town, driven by a
// script: Enter Destination, Points of Interest, Restaurant, "<ALL>", Sort
// Alphabetically, "L" typed, OK, Nav; then Sort by Distance, Nav on the nearest; then
// City Center, List All, Nav; on Andorra's map the nearby restaurants and City Center.
// Each ends in a route, and the places are in "recent.dat" and "itinerary.dat".
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

// Makes a device root with make-device's `source` words, puts the car at `car`, runs
// the program on the script's lines and answers how many places "recent.dat" keeps and
// its bytes (empty when the run failed).
std::string RunPoiScript(const std::string& source, const std::string& lat, const std::string& lon,
                         const std::string& lines, int* kept) {
    *kept = -1;
    testing_support::TempRoots roots;
    const fs::path root = roots.base() / "device";
    const fs::path make = testing_support::RepositoryFolder() / "scripts" / "make-device";
    const testing_support::ToolRun made = testing_support::RunTool(
        Quoted(make), source + " --words 0,wait4gps --preset debug " + Quoted(root), roots.base());
    EXPECT_EQ(made.status, 0) << made.err;
    for (const std::string& set : {std::string(kSettings) + " LastLat float:" + lat,
                                   std::string(kSettings) + " LastLon float:" + lon}) {
        const testing_support::ToolRun run = testing_support::RunTool(
            Quoted(BinFolder() / "devroot"), Quoted(root) + " set " + set, roots.base());
        EXPECT_EQ(run.status, 0) << run.err;
    }
    const fs::path script = roots.base() / "poi.script";
    std::ofstream(script) << lines;
    Child program(root / "Program Files" / "Zanter" / "Wayscribe" / "pathlumeQVGA.exe",
                  {"nowarning"},
                  {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_GPSD=off", "PATHLUME_SCRIPT=" + script.string()},
                  roots.base() / "program.err");
    const int status = program.Wait(std::chrono::seconds(120));
    const std::string err = program.Errors();
    EXPECT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("runtime error:"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    fs::path recent, itinerary;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename() == "recent.dat")
            recent = entry.path();
        if (entry.path().filename() == "itinerary.dat")
            itinerary = entry.path();
    }
    if (recent.empty() || itinerary.empty())
        return {};
    EXPECT_EQ(Slurp(itinerary).compare(0, 4, "FI03"), 0);
    const std::string bytes = Slurp(recent);
    if (bytes.size() >= 8)
        std::memcpy(kept, bytes.data() + 4, 4);
    return bytes;
}

// After a route: Enter Destination again (New on Route Management), City Center, List
// All, the first city, Nav; then the program closes.
constexpr const char* kThenCityCentre =
    "when \" mi\" command 3017\n"
    "when \"Current Destination\" press 1\n"
    "when \"Set Destination\" press 505\n"
    "when \"List All\" press 556\n"
    "when \"Enter City Name\" key RETURN\n"
    "when \"City Center\" key RETURN\n"
    "when \" mi\" close\n";

// Points of Interest, Restaurant, "<ALL>", then the options' choice.
std::string RestaurantsWith(int option) {
    return "when \"Set Destination\" press 504\n"
           "when \"Transportation\" press 755\n"
           "when \"Food Type\" key RETURN\n"
           "when \"Sort Alphabetically\" press " +
           std::to_string(option) + "\n";
}

TEST(PoiSearchProgramTest, ByNameNearbyAndCityCentreEachEndInARouteInTown) {
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    const discmaker::LatLon car = CarPlace(discmaker::BuildTown(1, 1500));
    // Typing "L" selects LAKESIDE CANTINA (the first name with an L), whose row then
    // shows the rest of its name apart. Each further Enter Destination answers New on
    // Route Management.
    const std::string lines =
        "at 3000 command 3017\n" + RestaurantsWith(553) + "when \"Enter POI Name\" hold " +
        Key(1, 2) + " 160\n" + "when \"AKESIDE CANTINA\" hold " + Key(6, 0, true) + " 160\n" +
        "when \"POI Selection\" key RETURN\n"
        "when \" mi\" command 3017\n"
        "when \"Current Destination\" press 1\n" +
        RestaurantsWith(555) + "when \"POI List\" key RETURN\n" + std::string(kThenCityCentre);
    int kept = 0;
    const std::string recent = RunPoiScript("--town 1,1500", std::to_string(car.lat),
                                            std::to_string(car.lon), lines, &kept);
    // Three places: the restaurant by name, the nearest one, a city centre.
    EXPECT_NE(recent.find("LAKESIDE CANTINA"), std::string::npos);
    EXPECT_EQ(kept, 3);
}

TEST(PoiSearchProgramTest, NearbyRestaurantAndCityCentreEndInARouteOnAndorra) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    const std::string lines = "at 3000 command 3017\n" + RestaurantsWith(555) +
                              "when \"POI List\" key RETURN\n" + std::string(kThenCityCentre);
    int kept = 0;
    RunPoiScript("--osm " + Quoted(extract), "42.5063", "1.5218", lines, &kept);
    EXPECT_EQ(kept, 2);
}

}  // namespace
