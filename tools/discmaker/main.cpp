// discmaker: writes the data discs of the desktop map installer from the built-in
// town or from an OpenStreetMap extract.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <malloc.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/progress.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

const char kUsage[] =
    "usage: discmaker [--town SEED --size N | --osm FILE [--state CODE]] [--osm-out FILE] OUT\n"
    "\n"
    "Writes complete data discs under OUT: the program-folder files (cdinfo.ini,\n"
    "mh.ini, region data, size tables, city lists) and the discs OUT/CD1 to OUT/CD3.\n"
    "\n"
    "  --town SEED     build the made-up town of that seed (the default, seed 1)\n"
    "  --size N        about N links in the town (default 400, at least 100)\n"
    "  --osm FILE      build from an OpenStreetMap extract (.osm, .osm.gz, .osm.bz2, .osm.pbf)\n"
    "  --state CODE    the built-in state or province the extract is filed under\n"
    "                  (two letters, such as CA or ON; default AL)\n"
    "  --osm-out FILE  also write the network that went onto the discs as OpenStreetMap\n"
    "                  (PBF when FILE ends in .osm.pbf, else XML)\n"
    "  --help          show this text\n"
    "\n"
    "The last line gives the state an extract is filed under (\"AL (the default)\"\n"
    "without --state), links, nodes, names, points of interest, addresses placed\n"
    "of those read, km of road per road class, bytes written and seconds.\n";

// The codes --state takes, for a message that needs them.
std::string StateCodes() {
    std::string codes;
    std::set<std::string> listed;
    for (const discmaker::BuiltInState& state : discmaker::BuiltInStates()) {
        if (listed.insert(state.code).second)
            codes += (codes.empty() ? " " : ", ") + std::string(state.code);
    }
    return "the codes are" + codes;
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "discmaker: %s\n\n%s", error.c_str(), kUsage);
    return 2;
}

bool ParseNumber(const std::string& text, long long min, long long max, long long* value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < min || v > max)
        return false;
    *value = v;
    return true;
}

// The island region's device files are copied, not converted, by the installer:
// they are made here by a generation run on the finished discs, as for any region.
uint64_t PrebuildRegion(const discmaker::Network& network, const discmaker::DiscLayout& layout,
                        const std::filesystem::path& folder) {
    bool present = false;
    for (const discmaker::Region& region : network.regions)
        present = present || region.number == discmaker::kPrebuiltRegion;
    if (!present)
        return 0;
    mkmaps::PrivateDesktop desktop;
    std::ostringstream quiet;
    mkmaps::Figures figures =
        mkmaps::Generate({layout.out, folder, {discmaker::kPrebuiltRegion}}, quiet, quiet);
    if (!figures.completed)
        throw std::runtime_error("the island region's files could not be made:\n" + quiet.str());
    return figures.bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    // Memory: each reader thread would keep a malloc arena of freed buffers, and
    // libosmium queues 20 decoded blocks ahead unless told otherwise; two arenas and
    // four blocks take a fifth less on a town of 276,000 links, at the same speed.
    mallopt(M_ARENA_MAX, 2);
    setenv("OSMIUM_MAX_INPUT_QUEUE_SIZE", "4", 0);
    setenv("OSMIUM_MAX_OSMDATA_QUEUE_SIZE", "4", 0);
    discmaker::Progress progress(std::cerr, isatty(fileno(stderr)) != 0, [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    const discmaker::ProgressReport report = [&progress](const std::string& phase, double share) {
        progress.Update(phase, share);
    };
    std::string seedText, sizeText, osmFile, stateCode, osmOut, out;
    bool help = false;
    // What an option without its value lacks, for the usage error.
    const std::pair<const char*, const char*> needs[] = {
        {"--town", "a seed"},  {"--size", "a number of links"}, {"--osm", "a file"},
        {"--state", "a code"}, {"--osm-out", "a file"},
    };
    CLI::App app{"discmaker"};
    app.set_help_flag();  // the usage text is the tool's own
    app.allow_extras();   // unknown options and a second folder are named below
    app.add_flag("-h,--help", help);
    app.add_option("--town", seedText)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--size", sizeText)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--osm", osmFile)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--state", stateCode)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--osm-out", osmOut)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("OUT", out);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string what = e.what();
        for (const auto& [option, need] : needs) {
            if (what.rfind(std::string(option) + ":", 0) == 0) {
                std::string error = std::string(option) + " needs " + need;
                if (std::string(option) == "--state")
                    error += "; " + StateCodes();
                return Usage(error);
            }
        }
        return Usage(what);
    } catch (const CLI::ParseError& e) {
        return Usage(e.what());
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    for (const std::string& extra : app.remaining()) {
        if (extra.size() > 1 && extra[0] == '-')
            return Usage("unknown option " + extra);
    }
    if (!app.remaining().empty())
        return Usage("more than one output folder given");
    if (out.empty())
        return Usage("no output folder given");
    if (!osmFile.empty() && (!seedText.empty() || !sizeText.empty())) {
        return Usage("--osm cannot be combined with --town or --size");
    }
    if (osmFile.empty() && !stateCode.empty())
        return Usage("--state goes with --osm");

    try {
        discmaker::Network network;
        std::string stateShown;
        if (!osmFile.empty()) {
            std::error_code ec;
            if (!std::filesystem::exists(osmFile, ec)) {
                std::fprintf(stderr, "discmaker: cannot read %s: no such file\n", osmFile.c_str());
                return 1;
            }
            if (!stateCode.empty() && !discmaker::FindBuiltInState(stateCode)) {
                return Usage("\"" + stateCode + "\" is not a built-in state or province code; " +
                             StateCodes());
            }
            network = discmaker::ReadOsm(
                osmFile, stateCode.empty() ? discmaker::kDefaultOsmState : stateCode, report);
            stateShown = stateCode.empty()
                             ? std::string(discmaker::kDefaultOsmState) + " (the default)"
                             : stateCode;
        } else {
            long long seed = 1, size = 400;
            if (!seedText.empty() && !ParseNumber(seedText, 0, (1LL << 62), &seed)) {
                return Usage("the seed must be a whole number from 0");
            }
            if (!sizeText.empty() &&
                !ParseNumber(sizeText, discmaker::kMinTownSize, discmaker::kMaxTownSize, &size)) {
                return Usage("the size must be a whole number from " +
                             std::to_string(discmaker::kMinTownSize) + " to " +
                             std::to_string(discmaker::kMaxTownSize));
            }
            network = discmaker::BuildTown(static_cast<uint64_t>(seed), static_cast<int>(size));
        }
        discmaker::BuildOptions options;
        options.prebuildRegion = PrebuildRegion;
        options.progress = report;
        discmaker::BuildFigures figures = discmaker::BuildDiscs(network, out, options);
        figures.state = stateShown;
        if (!osmOut.empty()) {
            report("writing " + osmOut, 0);
            discmaker::WriteOsm(network, osmOut);
        }
        progress.Clear();
        for (const std::string& warning : network.warnings)
            std::fprintf(stderr, "discmaker: warning: %s\n", warning.c_str());
        // The whole run, reading the input included.
        figures.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%s\n", discmaker::FiguresLine(figures).c_str());
        return 0;
    } catch (const std::exception& e) {
        progress.Clear();
        std::fprintf(stderr, "discmaker: %s\n", e.what());
        return 1;
    }
}
