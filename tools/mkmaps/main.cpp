// mkmaps --disc OUT [--regions LIST] --to DIR: generates the device files of a
// data disc written by discmaker, as the desktop program would for a PC drive.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

const char kUsage[] =
    "usage: mkmaps --disc OUT [--regions LIST] --to DIR\n"
    "  OUT   a folder written by discmaker (its CD1..CD3 folders are the discs)\n"
    "  LIST  comma-separated region numbers (default: every region that can be combined)\n"
    "  DIR   receives the sixteen device files\n";

int Usage(const std::string& error) {
    std::fprintf(stderr, "mkmaps: %s\n\n%s", error.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app("mkmaps");
    // The usage text above is the help; what CLI11 does not take is named below.
    app.set_help_flag();
    app.allow_extras();
    bool help = false;
    std::string disc;
    std::string to;
    std::string regions;
    app.add_flag("-h,--help", help);
    struct Valued {
        CLI::Option* option;
        const char* what;
    };
    const Valued valued[] = {
        {app.add_option("--disc", disc), "a disc folder"},
        {app.add_option("--to", to), "a folder"},
        {app.add_option("--regions", regions), "a list of regions"},
    };
    for (const Valued& v : valued)
        v.option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& error) {
        const std::string text = error.what();
        for (const Valued& v : valued) {
            const std::string name = v.option->get_name();
            if (text.find(name) != std::string::npos)
                return Usage(name + " needs " + v.what);
        }
        return Usage(text);
    } catch (const CLI::ParseError& error) {
        return Usage(error.what());
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::vector<std::string> extras = app.remaining();
    if (!extras.empty())
        return Usage("unknown option " + extras.front());

    mkmaps::Options options;
    options.disc = disc;
    options.to = to;
    if (*valued[2].option) {
        try {
            options.regions = mkmaps::ParseRegionList(regions);
        } catch (const std::invalid_argument& error) {
            return Usage(error.what());
        }
    }
    if (options.disc.empty())
        return Usage("no disc folder given");
    if (options.to.empty())
        return Usage("no target folder given");
    if (!std::filesystem::is_directory(options.disc))
        return Usage(options.disc.string() + " is not a folder");

    return mkmaps::RunGuarded([&options] {
        mkmaps::PrivateDesktop desktop;
        mkmaps::EndFatalReportsAsFailures();
        std::string problem;
        try {
            std::cout << "generating from " << options.disc.string() << " to "
                      << options.to.string() << "\n";
            mkmaps::Figures figures = mkmaps::Generate(options, std::cout, std::cerr);
            std::cout << mkmaps::FiguresLine(figures) << "\n" << std::flush;
            if (figures.completed)
                return 0;
            problem = figures.problem;
        } catch (const std::exception& failure) {
            problem = failure.what();
        }
        std::cout << std::flush;
        std::fprintf(stderr, "mkmaps: failed: %s\n", problem.c_str());
        return 1;
    });
}
