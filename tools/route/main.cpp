// route --maps DIR --from LAT,LON --to LAT,LON [--method NAME] [--avoid WHAT]... [--json]
// route --maps DIR --pairs FILE.csv [--method NAME]
// Routes with the navigation program's map database and router.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/route/route_tool.h"

namespace {

const char kUsage[] =
    "usage: route --maps DIR --from LAT,LON --to LAT,LON [--method M] [--avoid A]... [--json]\n"
    "       route --maps DIR --pairs FILE.csv [--method M] [--avoid A]...\n"
    "  --maps    a folder of device map files (mapdata1.biz, mapdata2.biz, linkinfo.bin, ...)\n"
    "  --from    the start, --to the destination (degrees, south and west negative); each\n"
    "            is put onto the nearest road within 1 km\n"
    "  --method  shortest, quickest (default), major or local\n"
    "  --avoid   toll, ferries, carpool, or LAT,LON for the road nearest that point\n"
    "            (carpool links and ferries are avoided by default)\n"
    "  --json    the route as one JSON object\n"
    "  --pairs   lines from_lat,from_lon,to_lat,to_lon routed in one process\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("route", kUsage);
    CLI::App& app = command.app;
    std::string maps, from, to, method = "quickest", pairs;
    std::vector<std::string> avoids;
    routetool::Options options;
    app.add_flag("--json", options.json);
    app.add_option("--maps", maps);
    app.add_option("--from", from);
    app.add_option("--to", to);
    app.add_option("--method", method);
    app.add_option("--avoid", avoids);
    app.add_option("--pairs", pairs);
    if (const std::optional<int> status = command.Parse(argc, argv, "unknown argument "))
        return *status;
    if (maps.empty())
        return command.Fail("--maps DIR is needed");
    try {
        options.maps = maps;
        options.method = routetool::ParseMethod(method);
        for (const std::string& avoid : avoids)
            options.avoids.push_back(routetool::ParseAvoid(avoid));
        if (!pairs.empty()) {
            if (!from.empty() || !to.empty() || options.json)
                return command.Fail("--pairs goes without --from, --to and --json");
            options.pairs = pairs;
        } else {
            if (from.empty() || to.empty())
                return command.Fail("--from and --to are needed, or --pairs");
            options.from = routetool::ParsePoint(from, "--from");
            options.to = routetool::ParsePoint(to, "--to");
        }
    } catch (const routetool::UsageError& error) {
        return command.Fail(error.what());
    }
    return routetool::Run(options, std::cout, std::cerr);
}
