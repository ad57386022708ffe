#include "tools/discmaker/disc_builder.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <vector>

#include "tools/discmaker/area_writer.h"
#include "tools/discmaker/linkinfo_writer.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/names_writer.h"
#include "tools/discmaker/poi_writer.h"
#include "tools/discmaker/polygon_writer.h"

namespace discmaker {

namespace {

namespace fs = std::filesystem;

// Every path a build writes under OUT, relative and with '/' between the parts.
// A folder holding only such paths is an earlier disc (or what an interrupted
// build left) and may be replaced; anything else in it is the user's.
const std::regex kBuildPath(
    "cdinfo\\.ini|mh\\.ini|rgndata[12p]\\.in|mapdata[12]\\.sz|polygons\\.sz|sizeinfo\\.sz"
    "|cities|cities/[A-Z]{2,3}\\.dat|CD[1-3]|CD[1-3]/mapid\\.ini|CD[1-3]/mapdata"
    "|CD[1-3]/mapdata/(az\\.raw|azbc\\.raw|lfoidx\\.raz|linkinfo\\.raz|lsrs?\\.raw"
    "|mapdata[0-9]+\\.raz|nameidx\\.bin|names\\.raw|stnl\\.raw|sttypes\\.raw|poi\\.raw"
    "|polygons\\.raz|strabbr\\.bin)"
    "|CD[1-3]/mapdata/hawaii"
    "|CD[1-3]/mapdata/hawaii/((az|azbc|lfoidx|linkinfo|lsrs?|namdict|names|poi|stnl|strabbr"
    "|sttypes)\\.bin|(mapdata[0-9t]+|polygons)\\.biz)");

// Checks that OUT may take the discs: missing, empty, or holding only what a build
// writes (symbolic links are never taken for ours). Throws naming the folder.
void CheckOut(const fs::path& out) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(out, ec);
    if (!fs::exists(status))
        return;
    if (!fs::is_directory(status))
        throw std::runtime_error(out.string() + " is not a folder");
    for (auto it = fs::recursive_directory_iterator(out); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::file_status entry = it->symlink_status();
        const std::string relative = fs::relative(it->path(), out).generic_string();
        if (fs::is_symlink(entry) || !(fs::is_directory(entry) || fs::is_regular_file(entry)) ||
            !std::regex_match(relative, kBuildPath)) {
            throw std::runtime_error(out.string() + " is not empty and holds no disc (" + relative +
                                     " is not a disc file); choose a new folder");
        }
    }
}

// The folders and files of a run beside OUT: ".NAME.discmaker-PID" and names that
// start with it.
std::string RunPrefix(const fs::path& out) {
    std::string prefix = ".";
    return prefix.append(out.filename().string()).append(".discmaker-");
}

// Removes what runs into the same OUT left when they were killed: their build
// folders beside OUT, named with the process number of a process that is gone.
void RemoveStaleRuns(const fs::path& out) {
    const std::string prefix = RunPrefix(out);
    std::error_code ec;
    std::vector<fs::path> stale;
    for (const auto& entry : fs::directory_iterator(out.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0)
            continue;
        char* end = nullptr;
        const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
        if (pid > 0 && (*end == '\0' || *end == '-') && kill(static_cast<pid_t>(pid), 0) != 0 &&
            errno == ESRCH)
            stale.push_back(entry.path());
    }
    for (const fs::path& path : stale)
        fs::remove_all(path, ec);
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

namespace {

// Builds the discs into `out`, which exists and is empty.
BuildFigures WriteDiscs(Network& network, const fs::path& out, const BuildOptions& options,
                        const std::function<void(const char*)>& report) {
    report("planning the discs");
    const DiscLayout layout = PlanDiscLayout(network, out, options.layout);
    FitLinksToGrid(network, layout);
    // Pieces of split links are nearer to some points than the links they came from.
    AssignPoiLinks(network);
    ReturnFreedMemory();  // the cells the links pass, which found the points' links
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
    return figures;
}

}  // namespace

BuildFigures BuildDiscs(Network& network, const fs::path& outFolder, const BuildOptions& options) {
    const auto start = std::chrono::steady_clock::now();
    // The writers open files through the platform, which takes a relative path as
    // one on the handheld: give them the host's absolute path.
    fs::path out = fs::absolute(outFolder).lexically_normal();
    if (!out.has_filename())
        out = out.parent_path();
    int step = 0;
    const auto report = [&](const char* phase) {
        constexpr int kSteps = 10;
        if (options.progress)
            options.progress(phase, static_cast<double>(step++) / kSteps);
    };
    report("checking the network");
    ValidateNetwork(network);
    CheckOut(out);
    fs::create_directories(out.parent_path());
    RemoveStaleRuns(out);

    // The discs are built beside OUT and take its place only when complete, so a
    // failed or killed run never leaves anything that looks like a disc, and an
    // earlier disc stays until the new one is whole. "cdinfo.ini", which marks a
    // disc, arrives last.
    const fs::path run = out.parent_path() / (RunPrefix(out) + std::to_string(getpid()));
    const fs::path building = run, old = run.string() + "-old", marker = run.string() + "-cdinfo";
    BuildFigures figures;
    try {
        fs::remove_all(building);
        fs::create_directory(building);
        figures = WriteDiscs(network, building, options, report);
        fs::rename(building / "cdinfo.ini", marker);
        CheckOut(out);  // nothing of the user's arrived meanwhile
        if (fs::exists(out))
            fs::rename(out, old);
        fs::rename(building, out);
        fs::rename(marker, out / "cdinfo.ini");
    } catch (...) {
        std::error_code ec;
        fs::remove_all(building, ec);
        fs::remove(marker, ec);
        if (fs::exists(old, ec) && !fs::exists(out, ec))
            fs::rename(old, out, ec);  // the earlier disc, as it was
        throw;
    }
    std::error_code ec;
    fs::remove_all(old, ec);
    figures.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return figures;
}

std::string FiguresLine(const BuildFigures& figures) {
    std::string line = figures.state.empty() ? "" : "state " + figures.state + ", ";
    line += "links " + std::to_string(figures.links) + ", nodes " + std::to_string(figures.nodes) +
            ", names " + std::to_string(figures.names) + ", points of interest " +
            std::to_string(figures.pointsOfInterest) + ", addresses " +
            std::to_string(figures.addressesPlaced) + " placed of " +
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
