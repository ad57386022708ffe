// The main of a benchmark program: runs what was asked for, then prints the peak
// memory. And where the shared OpenStreetMap extracts lie.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

// An extract of the shared data: in $PATHLUME_SHARED_DATA/osm, else in
// shared/data/osm beside the repository.
inline std::filesystem::path SharedOsmExtract(const char* name) {
    const char* named = std::getenv("PATHLUME_SHARED_DATA");
    const std::filesystem::path data =
        named && named[0]
            ? std::filesystem::path(named)
            : std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" /
                  "data";
    return data / "osm" / name;
}

inline int RunBenchmarksAndPrintPeakMemory(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory: %.1f MB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
