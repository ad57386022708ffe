// mapstat DIR [--at LAT,LON] [--json]: opens a folder of device map files with the
// map database and prints what it holds, per container file and layer.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/mapstat/mapstat.h"

namespace {

const char kUsage[] =
    "usage: mapstat DIR [--at LAT,LON] [--json]\n"
    "  DIR      a folder of device map files (mapdata1.biz, mapdatat.biz, mapdata2.biz, ...)\n"
    "  --at     also the link nearest to the point (degrees, south and west negative)\n"
    "  --json   the figures as one JSON object\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "mapstat: %s\n\n%s", error.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("mapstat");
    // The usage text above is the help; what CLI11 does not take is named below.
    app.set_help_flag();
    app.allow_extras();
    bool help = false;
    bool json = false;
    std::string folder;
    std::string at;
    app.add_flag("-h,--help", help);
    app.add_flag("--json", json);
    CLI::Option* atOption = app.add_option("--at", at);
    app.add_option("folder", folder);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch&) {
        return Usage("--at needs LAT,LON");
    } catch (const CLI::ParseError& error) {
        return Usage(error.what());
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty()) {
        const std::string& extra = extras.front();
        return Usage(!extra.empty() && extra[0] == '-' ? "unknown option " + extra
                                                       : "one folder only, not also " + extra);
    }
    mapstat::Options options;
    options.folder = folder;
    if (*atOption) {
        try {
            const auto [lat, lon] = mapstat::ParsePoint(at);
            options.at = true;
            options.latitude = lat;
            options.longitude = lon;
        } catch (const std::invalid_argument& error) {
            return Usage(error.what());
        }
    }
    if (options.folder.empty())
        return Usage("no folder given");

    try {
        const mapstat::Report report = mapstat::Examine(options);
        if (json)
            mapstat::PrintJson(report, std::cout);
        else
            mapstat::PrintText(report, std::cout);
        return report.Complete() ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "mapstat: %s\n", failure.what());
        return 1;
    }
}
