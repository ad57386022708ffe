// mkmaps --disc OUT [--regions LIST] --to DIR: generates the device files of a
// data disc written by discmaker, as the desktop program would for a PC drive.
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
    std::vector<std::string> args(argv + 1, argv + argc);
    mkmaps::Options options;
    try {
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& arg = args[i];
            auto value = [&](const char* what) {
                if (i + 1 >= args.size())
                    throw std::invalid_argument(arg + " needs " + what);
                return args[++i];
            };
            if (arg == "--help" || arg == "-h") {
                std::fputs(kUsage, stdout);
                return 0;
            } else if (arg == "--disc") {
                options.disc = value("a disc folder");
            } else if (arg == "--to") {
                options.to = value("a folder");
            } else if (arg == "--regions") {
                options.regions = mkmaps::ParseRegionList(value("a list of regions"));
            } else {
                throw std::invalid_argument("unknown option " + arg);
            }
        }
    } catch (const std::invalid_argument& error) {
        return Usage(error.what());
    }
    if (options.disc.empty())
        return Usage("no disc folder given");
    if (options.to.empty())
        return Usage("no target folder given");
    if (!std::filesystem::is_directory(options.disc))
        return Usage(options.disc.string() + " is not a folder");

    mkmaps::PrivateDesktop desktop;
    int status = 1;
    try {
        std::cout << "generating from " << options.disc.string() << " to " << options.to.string()
                  << "\n";
        mkmaps::Figures figures = mkmaps::Generate(options, std::cout, std::cerr);
        std::cout << mkmaps::FiguresLine(figures) << "\n";
        status = figures.completed ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "mkmaps: %s\n", failure.what());
    }
    return status;
}
