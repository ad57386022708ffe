// route --maps DIR --from LAT,LON [--heading DEG] --to LAT,LON [--method NAME]
//       [--avoid WHAT]... [--json]
// route --maps DIR --pairs FILE.csv [--method NAME]
// route ... --guide [--kmh N] [--stray KM] [--voice DIR [--wav FILE]] [--nmea FILE.gps]
// Routes with the navigation program's map database and router.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/route/route_tool.h"

namespace {

const char kUsage[] =
    "usage: route --maps DIR --from LAT,LON [--heading DEG] --to LAT,LON [--method M]\n"
    "             [--avoid A]... [--json]\n"
    "       route --maps DIR --pairs FILE.csv [--heading DEG] [--method M] [--avoid A]...\n"
    "  --maps    a folder of device map files (mapdata1.biz, mapdata2.biz, linkinfo.bin, ...)\n"
    "  --from    the start, --to the destination (degrees, south and west negative); each\n"
    "            is put onto the nearest road within 1 km\n"
    "  --heading the vehicle's heading at the start, degrees clockwise from north, as the\n"
    "            program keeps it (\"LastHead\"): on a two-way road the route leaves the\n"
    "            start the way the vehicle faces, as the program's does; without it the\n"
    "            route may leave either way\n"
    "  --method  shortest, quickest (default), major or local\n"
    "  --avoid   toll, ferries, carpool, or LAT,LON for the road nearest that point\n"
    "            (carpool links and ferries are avoided by default)\n"
    "  --json    the route as one JSON object\n"
    "  --pairs   lines from_lat,from_lon,to_lat,to_lon routed in one process\n"
    "  --guide   then drive the route one fix a second with guidance, printing what it\n"
    "            says; exit 1 when the drive did not arrive\n"
    "  --kmh     the drive's speed (default: each road's own)\n"
    "  --stray   leave the route at the first junction after KM km, until guidance\n"
    "            routes again\n"
    "  --voice   speak the phrases from this folder of voice prompts, in real time: the\n"
    "            drive waits while each phrase is spoken, so it lasts as long as its\n"
    "            phrases together; --wav records them\n"
    "  --nmea    write the drive as a GPS log (RMC, GGA, GSA), kept only when it arrived\n";

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
    std::optional<double> heading;
    app.add_option("--heading", heading);
    double kmh = 0, stray = -1;
    std::string voice, wav, nmea;
    app.add_flag("--guide", options.guide);
    app.add_option("--kmh", kmh);
    app.add_option("--stray", stray);
    app.add_option("--voice", voice);
    app.add_option("--wav", wav);
    app.add_option("--nmea", nmea);
    if (const std::optional<int> status = command.Parse(argc, argv, "unknown argument "))
        return *status;
    if (maps.empty())
        return command.Fail("--maps DIR is needed");
    const bool driveOptions =
        kmh != 0 || stray != -1 || !voice.empty() || !wav.empty() || !nmea.empty();
    if (driveOptions && !options.guide)
        return command.Fail("--kmh, --stray, --voice, --wav and --nmea go with --guide");
    if (options.guide && !pairs.empty())
        return command.Fail("--guide drives one route, not --pairs");
    if (kmh < 0 || kmh > 300 || !std::isfinite(kmh))
        return command.Fail("--kmh wants a speed from 0 to 300");
    if (stray != -1 && (stray < 0 || !std::isfinite(stray)))
        return command.Fail("--stray wants kilometres, 0 or more");
    if (!wav.empty() && voice.empty())
        return command.Fail("--wav records the voice: it needs --voice DIR");
    if (heading && (*heading < 0 || *heading >= 360 || !std::isfinite(*heading)))
        return command.Fail("--heading wants degrees from 0 to below 360");
    if (heading)
        options.headingDegrees = *heading;
    options.drive.kmh = kmh;
    options.drive.strayKm = stray;
    options.drive.voice = voice;
    options.drive.wav = wav;
    options.drive.nmea = nmea;
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
    // One route without a drive ends the process as soon as its answer is out: the
    // maps, the router and the heap are the system's to take back, not taken apart
    // block by block first.
    options.endsWithProcess = !options.guide && options.pairs.empty();
    const int status = routetool::Run(options, std::cout, std::cerr);
    if (!options.endsWithProcess)
        return status;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}
