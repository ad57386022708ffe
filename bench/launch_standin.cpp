// Stands in for a navigation build in link_bench: it writes the monotonic clock at
// its start, in nanoseconds, to $LAUNCH_STANDIN_FILE and ends.
#include <time.h>

#include <cstdio>
#include <cstdlib>

int main() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const char* file = std::getenv("LAUNCH_STANDIN_FILE");
    if (!file)
        return 1;
    std::FILE* out = std::fopen(file, "w");
    if (!out)
        return 1;
    std::fprintf(out, "%llu\n",
                 static_cast<unsigned long long>(now.tv_sec) * 1000000000ull + now.tv_nsec);
    std::fclose(out);
    return 0;
}
