// The destination search end to end: pathlumeQVGA.exe on a device root made by
// scripts/make-device from Andorra's extract, headless, the vehicle in Andorra la
// Vella, driven by a script: Enter Destination, Address, City First with "SANT J"
// tapped on the drawn keys, a street, Nav; then a contact's accented address; then
// Recent, Nav. Each ends in a route, and the places are in "recent.dat" and
// "itinerary.dat".
#include <cairo.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "tests/programs/program_run.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

using namespace programs_test;

constexpr const char* kSettings = "'HKCU\\Software\\Zanterhoff\\Wayscribe'";

// The first lines of the records of a destination list file.
std::vector<std::string> ListLines(const fs::path& file) {
    const std::string bytes = Slurp(file);
    std::vector<std::string> lines;
    if (bytes.size() < 8 || bytes.compare(0, 4, "FI03") != 0)
        return lines;
    int32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    size_t at = 8;
    for (int32_t i = 0; i < count && at + 36 < bytes.size(); ++i) {
        at += 36;
        const size_t length = static_cast<unsigned char>(bytes[at]);
        lines.push_back(bytes.substr(at + 1, length));
        for (int text = 0; text < 3 && at < bytes.size(); ++text)
            at += 1 + static_cast<unsigned char>(bytes[at]);
    }
    return lines;
}

// How many pixels of the picture are in the route's colours.
long RoutePixels(const fs::path& png) {
    CMapTheme theme;
    theme.SetDefaults();
    cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
    long count = 0;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        const int w = cairo_image_surface_get_width(surface);
        const int h = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint32_t rgb =
                    *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4) & 0xFFFFFF;
                for (COLORREF c : theme.routeColours) {
                    // The screen holds 0xRRGGBB; a COLORREF is 0xBBGGRR.
                    count += rgb == (((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
                }
            }
        }
    }
    cairo_surface_destroy(surface);
    return count;
}

std::optional<fs::path> FindFile(const fs::path& root, const std::string& name) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root))
        if (entry.path().filename() == name)
            return entry.path();
    return std::nullopt;
}

// The centres of the drawn keys of the QVGA keyboard screens (29-pixel keys, 1 pixel
// apart, the grid 90 pixels down): "x y" for the script's hold.
std::string Key(int column, int row, bool wide = false) {
    const int left = 30 * column;
    const int width = wide ? 59 : 29;
    return std::to_string(left + width / 2) + " " + std::to_string(90 + 30 * row + 14);
}

TEST(DestinationSearchProgramTest, AddressContactAndRecentEachEndInARouteOnAndorra) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "espeak-ng is not installed: no voice prompts for the device";
    testing_support::TempRoots roots;
    const fs::path root = roots.base() / "device";
    const fs::path make = testing_support::RepositoryFolder() / "scripts" / "make-device";
    const testing_support::ToolRun made = testing_support::RunTool(
        Quoted(make),
        "--osm " + Quoted(extract) + " --words 0,wait4gps --preset debug " + Quoted(root),
        roots.base());
    ASSERT_EQ(made.status, 0) << made.err;
    for (const std::string& set : {std::string(kSettings) + " LastLat float:42.5063",
                                   std::string(kSettings) + " LastLon float:1.5218"}) {
        const testing_support::ToolRun run = testing_support::RunTool(
            Quoted(BinFolder() / "devroot"), Quoted(root) + " set " + set, roots.base());
        ASSERT_EQ(run.status, 0) << run.err;
    }
    fs::create_directories(root / "My Documents");
    std::ofstream(root / "My Documents" / "contacts.vcf", std::ios::binary)
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jos\xC3\xA9 Escud\xC3\xA9\r\n"
           "ADR;TYPE=home:;;Carrer Francesc Escud\xC3\xA9;Sant Juli\xC3\xA0 de L\xC3\xB2ria;;AD600;"
           "Andorra\r\nEND:VCARD\r\n";

    // Each line waits for a text the step before it brings (after a Nav, the distance
    // to the destination in miles that the map's status box shows once it draws again): the city
    // list narrows as "SANT J" is typed and draws the unmatched part of its row, which no other row
    // shows; each key is held 160 ms, so that the next tap comes after the keyboard's
    // 151 ms.
    const fs::path script = roots.base() / "search.script";
    std::ofstream(script) << "at 3000 command 3017\n"
                          << "when \"Set Destination\" press 500\n"
                          << "when \"Select Input Method\" press 552\n"
                          << "when \"Enter City Name\" hold " << Key(3, 3) << " 160\n"        // S
                          << "when \"ANT JULIA DE LORIA\" hold " << Key(0, 0) << " 160\n"     // A
                          << "when \"NT JULIA DE LORIA\" hold " << Key(3, 2) << " 160\n"      // N
                          << "when \"T JULIA DE LORIA\" hold " << Key(4, 3) << " 160\n"       // T
                          << "when \" JULIA DE LORIA\" hold " << Key(1, 5, true) << " 160\n"  // SPC
                          << "when \"JULIA DE LORIA\" hold " << Key(4, 1) << " 160\n"         // J
                          << "when \"ULIA DE LORIA\" hold " << Key(6, 0, true) << " 160\n"    // OK
                          << "when \"Enter Street Name\" hold " << Key(6, 0, true) << " 160\n"
                          << "when \"Select Address\" key RETURN\n"
                          << "when \" mi\" command 3017\n"
                          << "when \"Route Management\" press 1\n"  // New
                          << "when \"Set Destination\" press 506\n"
                          << "when \"Enter Contact Name\" key RETURN\n"
                          << "when \"Select Contact Address\" key RETURN\n"
                          << "when \" mi\" command 3017\n"
                          << "when \"Route Management\" press 1\n"  // New
                          << "when \"Set Destination\" press 503\n"
                          << "when \"Recent Destinations\" key RETURN\n"
                          << "when \" mi\" close\n";
    Child program(root / "Program Files" / "Zanter" / "Wayscribe" / "pathlumeQVGA.exe",
                  {"nowarning"},
                  {"PATHLUME_DEVICE=" + root.string(), "PATHLUME_BACKEND=headless",
                   "PATHLUME_GPSD=off", "PATHLUME_SCRIPT=" + script.string(),
                   "PATHLUME_SCREENSHOT=" + (roots.base() / "last.png").string()},
                  roots.base() / "program.err");
    const int status = program.Wait(std::chrono::seconds(120));
    const std::string err = program.Errors();
    ASSERT_EQ(status, 0) << err;
    EXPECT_EQ(err.find("runtime error:"), std::string::npos) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("Cannot find"), std::string::npos) << err;
    // The last route is drawn on the map the program closed on.
    EXPECT_GT(RoutePixels(roots.base() / "last.png"), 100);

    const std::optional<fs::path> recent = FindFile(root, "recent.dat");
    const std::optional<fs::path> itinerary = FindFile(root, "itinerary.dat");
    ASSERT_TRUE(recent && itinerary);
    const std::vector<std::string> places = ListLines(*recent);
    ASSERT_EQ(places.size(), 2u);
    // Newest first: the contact's address (routed to again from Recent), then the
    // street of Sant Julia.
    EXPECT_NE(places[0].find("CARRER FRANCESC ESCUDE"), std::string::npos) << places[0];
    EXPECT_NE(places[1].find("AVINGUDA ROCAFORT"), std::string::npos) << places[1];
    const std::vector<std::string> driving = ListLines(*itinerary);
    ASSERT_FALSE(driving.empty());
    EXPECT_EQ(driving[0], places[0]);
}

}  // namespace
