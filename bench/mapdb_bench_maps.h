// The device files of an OpenStreetMap extract for the map-database benchmarks: the disc
// builder, then the desktop generation run, into a fresh temporary folder that the
// program's data folder then points at.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>

#include "bench/bench_main.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/mkmaps/mkmaps.h"

namespace mapdb_bench {

namespace fs = std::filesystem;

inline void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

// Builds the maps of the extract `name` of the shared OpenStreetMap folder under a
// new temporary folder (`base`), sets the device root and the data folder to them.
// 0 when built; -1 when the extract is missing (the program measures nothing and
// succeeds); 1 on failure.
inline int BuildExtractMaps(const char* program, const char* name, const std::string& stateCode,
                            const discmaker::BuildOptions& options, fs::path& base) {
    const fs::path extract = SharedOsmExtract(name);
    if (!fs::exists(extract)) {
        std::printf("%s: no %s: nothing measured\n", program, extract.c_str());
        return -1;
    }
    std::string pattern = (fs::temp_directory_path() / (std::string(program) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    base = pattern;
    platform::SetDeviceRoot(base / "device");
    {
        mkmaps::PrivateDesktop desktop;
        discmaker::Network network = discmaker::ReadOsm(extract, stateCode);
        discmaker::BuildDiscs(network, base / "disc", options);
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({base / "disc", base / "Maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!figures.completed) {
            std::fprintf(stderr, "the generation failed: %s\n", err.str().c_str());
            return 1;
        }
    }
    SetDataFolder(base / "Maps");
    return 0;
}

// The andorra extract's maps (BuildExtractMaps).
inline int BuildAndorraMaps(const char* program, const discmaker::BuildOptions& options,
                            fs::path& base) {
    return BuildExtractMaps(program, "andorra.osm.pbf", "ON", options, base);
}

// Runs the registered benchmarks; false when the command line holds an unknown
// argument.
inline bool RunBenchmarks(int& argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return true;
}

// Undoes BuildExtractMaps and reports the process's peak memory.
inline void RemoveExtractMaps(const fs::path& base) {
    g_dataFolder[0] = 0;
    platform::SetDeviceRoot({});
    std::error_code ignored;
    fs::remove_all(base, ignored);
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
}

inline void RemoveAndorraMaps(const fs::path& base) {
    RemoveExtractMaps(base);
}

// Builds the extract's maps, opens the index files and a map database on them, and
// runs the benchmarks once `prepare` has set up their data (false: the maps do not
// serve, nothing is measured); then cleans up. The program's exit status.
inline int RunOnExtractMaps(const char* program, const char* extract, int& argc, char** argv,
                            const std::function<bool(CMapDatabase&)>& prepare) {
    fs::path base;
    if (const int built = BuildExtractMaps(program, extract, discmaker::kDefaultOsmState, {}, base);
        built != 0)
        return built < 0 ? 0 : 1;
    OpenMapIndexFiles();
    bool ran = false;
    {
        CMapDatabase db;
        if (db.Open() != 0 || !prepare(db)) {
            std::fprintf(stderr, "the maps of %s do not serve\n", extract);
            return 1;
        }
        ran = RunBenchmarks(argc, argv);
    }
    CloseMapIndexFiles();
    RemoveExtractMaps(base);
    return ran ? 0 : 1;
}

}  // namespace mapdb_bench
