// The main of a benchmark program: runs what was asked for, then prints the peak
// memory.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>

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
