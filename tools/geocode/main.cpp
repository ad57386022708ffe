// geocode --maps DIR [--json] "STREET LINE, CITY[, STATE]"... | --at LAT,LON...:
// finds addresses on a folder of device map files, and the street at a point.
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/command_line.h"
#include "tools/geocode/geocode.h"
#include "tools/mapstat/mapstat.h"

namespace {

const char kUsage[] =
    "usage: geocode --maps DIR [--json] \"STREET LINE, CITY[, STATE]\"...\n"
    "       geocode --maps DIR [--json] --at LAT,LON...\n"
    "  --maps   a folder of device map files as mkmaps writes them\n"
    "  ADDRESS  house number first (\"12 Main St, Springfield, IL\"); without a state\n"
    "           the map's first area is searched\n"
    "  --at     the street nearest to the point (degrees, south and west negative)\n"
    "  --json   the answers and figures as one JSON object\n"
    "Exit 0 when every query found something, 1 when one did not or DIR holds no\n"
    "usable map, 2 for bad arguments.\n";

}  // namespace

int main(int argc, char** argv) {
    tools::CommandLine command("geocode", kUsage);
    CLI::App& app = command.app;
    bool json = false;
    std::string folder;
    std::vector<std::string> points;
    std::vector<std::string> addresses;
    app.add_flag("--json", json);
    app.add_option("--maps", folder);
    app.add_option("--at", points)->allow_extra_args(false);
    app.add_option("addresses", addresses);
    if (const std::optional<int> status = command.Parse(argc, argv))
        return *status;
    if (folder.empty())
        return command.Fail("no --maps folder given");

    std::vector<geocode::Query> queries;
    for (const std::string& text : addresses) {
        if (!geocode::SplitAddress(text))
            return command.Fail("an address is \"STREET LINE, CITY[, STATE]\", not \"" + text +
                                "\"");
        queries.push_back({false, text, 0, 0});
    }
    for (const std::string& text : points) {
        try {
            const auto [lat, lon] = mapstat::ParsePoint(text);
            queries.push_back({true, text, lat, lon});
        } catch (const std::invalid_argument& error) {
            return command.Fail(error.what());
        }
    }
    if (queries.empty())
        return command.Fail("no address and no --at point given");

    try {
        const geocode::Report report = geocode::Run(folder, queries);
        if (json)
            geocode::PrintJson(report, std::cout);
        else
            geocode::PrintText(report, std::cout);
        for (const geocode::Answer& answer : report.answers) {
            if (!answer.Found())
                std::fprintf(stderr, "geocode: %s: %s\n", answer.query.text.c_str(),
                             answer.result.c_str());
        }
        return report.found == report.answers.size() ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "geocode: %s\n", failure.what());
        return 1;
    }
}
