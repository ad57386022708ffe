// The route tool's pairs run over the real extracts: for andorra.osm.pbf and
// north-bayreuth.osm.gz of the shared data, the device maps, the 1,000 seeded pairs
// the route tests use (written as a pairs file), then `route --pairs` with Quickest
// and with Shortest in this process, printing each run's closing figures line
// (pairs, found, median and 95th percentile milliseconds of the whole query).
//
//   route_pairs_bench [KEEP_DIR]
//
// With KEEP_DIR the maps and pairs files stay there (KEEP_DIR/<extract>/Maps and
// pairs.csv), so that another build's `route` can be timed on the very same input.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "bench/mapdb_bench_maps.h"
#include "tests/tools/route/seeded_pairs.h"
#include "tools/discmaker/osm.h"
#include "tools/route/route_tool.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kPairs = 1000;
// The state the route tests read the extracts with.
constexpr const char* kState = "ON";

// The last line of a run's output: its figures.
std::string LastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos)
        return {};
    const size_t begin = text.find_last_of('\n', end);
    return text.substr(begin == std::string::npos ? 0 : begin + 1, end - begin);
}

// 0 measured, -1 the extract is missing, 1 a failure.
int RunExtract(const char* extract, const fs::path& keep) {
    fs::path base;
    if (const int built =
            mapdb_bench::BuildExtractMaps("route_pairs_bench", extract, kState, {}, base);
        built != 0)
        return built;
    const fs::path extractFile = SharedOsmExtract(extract);
    const discmaker::Network network = discmaker::ReadOsm(extractFile, kState);
    const std::vector<routetool::Pair> pairs =
        route_pairs::SeededPairs(network, kPairs, route_pairs::kPairSeed);
    const fs::path csv = base / "pairs.csv";
    {
        std::ofstream out(csv);
        out << "from_lat,from_lon,to_lat,to_lon\n";
        char line[128];
        for (const routetool::Pair& p : pairs) {
            std::snprintf(line, sizeof line, "%.7f,%.7f,%.7f,%.7f\n", p.from.latitude,
                          p.from.longitude, p.to.latitude, p.to.longitude);
            out << line;
        }
    }
    int status = 0;
    for (const int method : {1, 0}) {
        routetool::Options options;
        options.maps = base / "Maps";
        options.method = method;
        options.pairs = csv;
        std::ostringstream out, err;
        if (routetool::Run(options, out, err) != 0) {
            std::fprintf(stderr, "%s: %s", extract, err.str().c_str());
            status = 1;
            continue;
        }
        std::printf("%s %s: %s\n", extract, routetool::MethodName(method),
                    LastLine(out.str()).c_str());
    }
    if (!keep.empty()) {
        const fs::path kept = keep / fs::path(extract).stem().stem();
        fs::create_directories(kept);
        fs::copy(base / "Maps", kept / "Maps",
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        fs::copy_file(csv, kept / "pairs.csv", fs::copy_options::overwrite_existing);
        std::printf("kept in %s\n", kept.c_str());
    }
    mapdb_bench::RemoveExtractMaps(base);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const fs::path keep = argc > 1 ? fs::absolute(argv[1]) : fs::path();
    int status = 0;
    for (const char* extract : {"andorra.osm.pbf", "north-bayreuth.osm.gz"}) {
        if (RunExtract(extract, keep) > 0)
            status = 1;
    }
    return status;
}
