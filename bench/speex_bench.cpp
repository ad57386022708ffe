// The prompt player: PlaySpeexFile on a 2 s voicegen-encoded prompt (a voiced,
// speech-like tone with vibrato), decoded, trimmed and queued to the wave-out
// device whose sink runs on the manual clock, so only the work is timed. The
// "x_realtime" counter is seconds of audio played per second of wall time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>

#include "bench/bench_main.h"
#include "pathlume/voice/speex_player.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/roots.h"
#include "tools/voicegen/voice_encoder.h"

namespace {

constexpr int kSeconds = 2;

std::vector<int16_t> VoicedTone() {
    std::vector<int16_t> samples;
    double phase = 0;
    for (int i = 0; i < kSeconds * 16000; ++i) {
        const double t = i / 16000.0;
        phase +=
            2 * std::numbers::pi * (140 + 20 * std::sin(2 * std::numbers::pi * 5 * t)) / 16000.0;
        double v = 0;
        for (int harmonic = 1; harmonic <= 12; ++harmonic) {
            v += std::sin(harmonic * phase) / harmonic;
        }
        samples.push_back(static_cast<int16_t>(std::lround(6000 * v)));
    }
    return samples;
}

void BM_PlaySpeexFile(benchmark::State& state) {
    std::string pattern = (std::filesystem::temp_directory_path() / "speex-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::filesystem::path root = pattern;
    platform::SetDeviceRoot(root);
    platform::UseManualClock(true);
    const std::vector<uint8_t> bytes = voicegen::EncodeSpeexOgg(VoicedTone(), 1);
    std::ofstream(root / "word.spx", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlaySpeexFile(u"\\word.spx"));
    }
    state.counters["x_realtime"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
    platform::UseManualClock(false);
    platform::SetDeviceRoot({});
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_PlaySpeexFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return RunBenchmarksAndPrintPeakMemory(argc, argv);
}
