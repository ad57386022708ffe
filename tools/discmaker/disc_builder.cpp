#include "tools/discmaker/disc_builder.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "tools/discmaker/area_writer.h"
#include "tools/discmaker/linkinfo_writer.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/names_writer.h"
#include "tools/discmaker/poi_writer.h"
#include "tools/discmaker/polygon_writer.h"

namespace discmaker {

namespace {

namespace fs = std::filesystem;

// Files and folders a build writes directly under OUT.
const char* const kProgramFiles[] = {"cdinfo.ini",  "mh.ini",      "rgndata1.in",
                                     "rgndata2.in", "rgndatap.in", "mapdata1.sz",
                                     "mapdata2.sz", "polygons.sz", "sizeinfo.sz"};
const char* const kProgramFolders[] = {"CD1", "CD2", "CD3", "cities"};

// Makes OUT ready: a missing or empty folder is used as it is; one that holds an
// earlier disc (or what a failed build left) has it removed, so that nothing stale
// stays beside the new disc; a folder with anything else in it is refused rather
// than mixed with a disc.
void PrepareOut(const fs::path& out) {
    if (!fs::exists(out))
        return;
    if (!fs::is_directory(out))
        throw std::runtime_error(out.string() + " is not a folder");
    auto ours = [](const std::string& name) {
        for (const char* file : kProgramFiles) {
            if (name == file)
                return true;
        }
        for (const char* folder : kProgramFolders) {
            if (name == folder)
                return true;
        }
        return false;
    };
    for (const auto& entry : fs::directory_iterator(out)) {
        if (!ours(entry.path().filename().string())) {
            throw std::runtime_error(out.string() +
                                     " is not empty and holds no disc; choose a new folder");
        }
    }
    for (const char* name : kProgramFiles)
        fs::remove(out / name);
    for (const char* name : kProgramFolders)
        fs::remove_all(out / name);
}

uint64_t FolderBytes(const fs::path& folder) {
    uint64_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            bytes += entry.file_size();
    }
    return bytes;
}

}  // namespace

BuildFigures BuildDiscs(Network& network, const fs::path& outFolder, const BuildOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    // The writers open files through the platform, which takes a relative path as
    // one on the handheld: give them the host's absolute path.
    const fs::path out = fs::absolute(outFolder).lexically_normal();
    int step = 0;
    const auto report = [&](const char* phase) {
        constexpr int kSteps = 10;
        if (options.progress)
            options.progress(phase, static_cast<double>(step++) / kSteps);
    };
    report("checking the network");
    ValidateNetwork(network);
    PrepareOut(out);

    report("planning the discs");
    const DiscLayout layout = PlanDiscLayout(network, out, options.layout);
    FitLinksToGrid(network, layout);
    // Pieces of split links are nearer to some points than the links they came from.
    AssignPoiLinks(network);
    CreateFolders(layout);

    BuildFigures figures;
    report("writing names");
    const NameTables names = WriteNameFiles(network, layout, layout.mapData[0]);
    report("writing areas");
    const AreaTables areas = WriteAreaFiles(network, layout, names, layout.mapData[0]);
    report("writing link information");
    const LinkInfoTables linkInfo =
        WriteLinkInfoFiles(network, layout, names, areas, layout.mapData[0]);
    report("writing map data");
    ReturnFreedMemory();  // what the name and link-information writers used
    WriteMapDataFiles(network, layout, linkInfo);
    report("writing polygons");
    WritePolygonFiles(network, layout);
    report("writing points of interest");
    const PoiFigures pois = WritePoiFiles(network, layout, linkInfo, areas);
    report("writing the disc layout");
    WriteLayoutFiles(network, layout);
    report("making the island's files");
    if (options.prebuildRegion) {
        const fs::path folder = layout.mapData[0] / kPrebuiltFolder;
        fs::create_directories(folder);
        options.prebuildRegion(network, layout, folder);
    }

    figures.links = network.links.size();
    figures.nodes = network.nodes.size();
    figures.names = names.names.size();
    figures.pointsOfInterest = pois.pointsWritten;
    figures.addressesPlaced = network.addressesPlaced;
    figures.addresses = network.addressesRead;
    for (uint32_t link = 0; link < network.links.size(); ++link) {
        figures.kmByClass[static_cast<int>(network.links[link].roadClass)] +=
            network.LinkLengthKm(link);
    }
    figures.bytesWritten = FolderBytes(out);
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

std::string FiguresLine(const BuildFigures& figures) {
    std::string line = "links " + std::to_string(figures.links) + ", nodes " +
                       std::to_string(figures.nodes) + ", names " + std::to_string(figures.names) +
                       ", points of interest " + std::to_string(figures.pointsOfInterest) +
                       ", addresses " + std::to_string(figures.addressesPlaced) + " placed of " +
                       std::to_string(figures.addresses) + ", km of road:";
    char text[64];
    for (int c = 0; c < kRoadClassCount; ++c) {
        std::snprintf(text, sizeof text, " %s %.1f", RoadClassName(static_cast<RoadClass>(c)),
                      figures.kmByClass[c]);
        line += text;
        if (c + 1 < kRoadClassCount)
            line += ",";
    }
    std::snprintf(text, sizeof text, ", bytes %llu, seconds %.2f",
                  static_cast<unsigned long long>(figures.bytesWritten), figures.seconds);
    line += text;
    return line;
}

}  // namespace discmaker
