// mapstat DIR [--at LAT,LON] [--json]: opens a folder of device map files with the
// map database and prints what it holds, per container file and layer.
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
    std::vector<std::string> args(argv + 1, argv + argc);
    mapstat::Options options;
    bool json = false;
    try {
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (arg == "--json") {
                json = true;
            } else if (arg == "--at") {
                if (i + 1 >= args.size())
                    throw std::invalid_argument("--at needs LAT,LON");
                const auto [lat, lon] = mapstat::ParsePoint(args[++i]);
                options.at = true;
                options.latitude = lat;
                options.longitude = lon;
            } else if (!arg.empty() && arg[0] == '-') {
                throw std::invalid_argument("unknown option " + arg);
            } else if (!options.folder.empty()) {
                throw std::invalid_argument("one folder only, not also " + arg);
            } else {
                options.folder = arg;
            }
        }
    } catch (const std::invalid_argument& error) {
        return Usage(error.what());
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
