// Builds complete data discs from a network: plans the layout, fits the network to
// its grid, runs the family writers in their order (names, areas, link
// information, map containers, polygons, points of interest), then writes the
// program-folder files that describe the discs.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/network.h"
#include "tools/discmaker/progress.h"

namespace discmaker {

struct BuildOptions {
    LayoutOptions layout;
    // Writes the device files of the region that cannot be combined into `folder`
    // (the discs' "mapdata\hawaii"); they come from the desktop converters run on the
    // finished discs. Without it the folder is not written. Returns the bytes written.
    std::function<uint64_t(const Network&, const DiscLayout&, const std::filesystem::path& folder)>
        prebuildRegion;
    // Told each step of the build as it starts.
    ProgressReport progress;
};

struct BuildFigures {
    // The state an extract is filed under, as the line shows it ("AL (the
    // default)"); empty for the town, which has its own states.
    std::string state;
    size_t links = 0;
    size_t nodes = 0;
    size_t names = 0;
    size_t pointsOfInterest = 0;  // written into "poi.raw"
    size_t addressesPlaced = 0;   // single addresses in a link's range
    size_t addresses = 0;         // single addresses the front end read
    std::array<double, kRoadClassCount> kmByClass{};
    uint64_t bytesWritten = 0;
    double seconds = 0;
};

// Writes the discs under `out` (OUT/CD1 .. OUT/CD3 and the program-folder files).
// The network is validated and fitted to the grid in place. An existing OUT that
// holds only what a build writes is replaced; any other non-empty OUT is refused.
// The discs are built in a folder beside OUT and renamed into place when complete:
// a failed run leaves OUT as it was. Throws std::runtime_error (or
// std::filesystem::filesystem_error) on failure.
BuildFigures BuildDiscs(Network& network, const std::filesystem::path& out,
                        const BuildOptions& options = {});

// The figures as the last line of the tool's output: the state (an extract's),
// links, nodes, names, points of interest, addresses placed of those read, km of
// road per road class, bytes written, seconds.
std::string FiguresLine(const BuildFigures& figures);

}  // namespace discmaker
