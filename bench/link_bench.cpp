// The desktop link and the handheld's helpers on loopback: a cradle program serving a
// handheld root of the bench's own, reached through rapi.dll loaded here, as the
// desktop program reaches it.
//   LinkCopy        64 MB copied to the handheld with CDeviceLink::CopyFileToDevice
//   CardCountRound  one service call (GetStorageCardCount) there and back
//   Connect         CDeviceLink::Connect with its service check (the library present)
//   CabInstall      cabinstall install of the package into a fresh root (a process)
//   LauncherStart   launcher.exe started until the build it starts runs (a stand-in)
//   ProbeAt4800     portscout's probe of one pty whose receiver talks at 4800
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bench/bench_main.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/ui/device_link.h"
#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/serial.h"
#include "portscout/port_scan.h"
#include "tests/support/cradle_child.h"
#include "tests/support/speed_receiver.h"

namespace {

namespace fs = std::filesystem;

fs::path Programs() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// A temporary folder for the whole run, removed at its end.
struct Scratch {
    Scratch() {
        std::string pattern = (fs::temp_directory_path() / "link-bench-XXXXXX").string();
        path = mkdtemp(pattern.data());
        setenv("PATHLUME_DEVICE", (path / "device").c_str(), 1);
        setenv("MAPFERRY_ROOT", (path / "desktop").c_str(), 1);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

Scratch& TheScratch() {
    static Scratch scratch;
    return scratch;
}

// A handheld in its cradle: a root with the service library and a storage card.
struct Cradled {
    Cradled() {
        handheld = TheScratch().path / "handheld";
        fs::create_directories(handheld / "Windows");
        fs::copy_file(Programs() / "oxloserv.dll", handheld / "Windows" / "oxloserv.dll",
                      fs::copy_options::overwrite_existing);
        platform::SetDeviceRoot(handheld);
        platform::SetCurrentSide(platform::Side::Device);
        platform::MakeStorageCard(u"Storage Card");
        cradle.emplace(handheld, std::vector<std::string>{}, TheScratch().path / "cradle.dock");
        cradle->UseForDesktop();
        platform::SetCurrentSide(platform::Side::Desktop);
        LoadRapiLibrary();
        ready = cradle->Ready() && link.Connect() == kConnectDone;
    }
    fs::path handheld;
    std::optional<testing_support::CradleChild> cradle;
    CDeviceLink link;
    bool ready = false;
};

Cradled& TheCradle() {
    static Cradled* cradled = new Cradled;
    return *cradled;
}

void LinkCopy(benchmark::State& state) {
    Cradled& cradled = TheCradle();
    if (!cradled.ready) {
        state.SkipWithError("no cradle");
        return;
    }
    const fs::path source = TheScratch().path / "source.bin";
    constexpr size_t kBytes = 64u << 20;
    {
        std::string bytes(kBytes, '\0');
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 31 + (i >> 12));
        std::ofstream(source, std::ios::binary) << bytes;
    }
    const std::u16string sourceText = platform::HostPathText(source);
    for (auto _ : state) {
        const int result = cradled.link.CopyFileToDevice(sourceText.c_str(), "\\Storage Card",
                                                         "copy.bin", 0, nullptr);
        if (result != kCopyDone)
            state.SkipWithError("the copy failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
    state.SetLabel("64 MB through the cradle");
}
BENCHMARK(LinkCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void CardCountRound(benchmark::State& state) {
    Cradled& cradled = TheCradle();
    if (!cradled.ready) {
        state.SkipWithError("no cradle");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(cradled.link.GetStorageCardCount());
    state.SetLabel("GetStorageCardCount, FnGetFreeSpaceSize in the cradle");
}
BENCHMARK(CardCountRound)->Unit(benchmark::kMicrosecond)->Iterations(2000)->UseRealTime();

void Connect(benchmark::State& state) {
    Cradled& cradled = TheCradle();
    if (!cradled.ready) {
        state.SkipWithError("no cradle");
        return;
    }
    for (auto _ : state) {
        CDeviceLink link;
        if (link.Connect() != kConnectDone || !link.IsServiceReady())
            state.SkipWithError("no connection");
    }
    state.SetLabel("connect, greet, processor and service library looked up");
}
BENCHMARK(Connect)->Unit(benchmark::kMillisecond)->Iterations(50)->UseRealTime();

int Run(const std::string& command) {
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

void CabInstall(benchmark::State& state) {
    const fs::path package = Programs();
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const fs::path root = TheScratch().path / ("cab" + std::to_string(round++));
        fs::create_directories(root);
        state.ResumeTiming();
        std::string command = "'";
        command.append((package / "cabinstall").string()).append("' install '");
        command.append(root.string()).append("' >/dev/null");
        if (Run(command) != 0)
            state.SkipWithError("cabinstall failed");
        state.PauseTiming();
        fs::remove_all(root);
        state.ResumeTiming();
    }
    state.SetLabel("the release package into a fresh root, the process included");
}
BENCHMARK(CabInstall)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

uint64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + now.tv_nsec;
}

void LauncherStart(benchmark::State& state) {
    const fs::path root = TheScratch().path / "launcher";
    const fs::path install = root / "Program Files" / "Zanter" / "Wayscribe";
    const fs::path started = TheScratch().path / "started.txt";
    for (auto _ : state) {
        state.PauseTiming();
        fs::create_directories(install);
        for (const char* build : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe"})
            fs::copy_file(Programs() / "launch_standin", install / build,
                          fs::copy_options::overwrite_existing);
        fs::remove(started);
        state.ResumeTiming();
        const uint64_t before = MonotonicNanoseconds();
        if (Run("LAUNCH_STANDIN_FILE='" + started.string() + "' PATHLUME_DEVICE='" + root.string() +
                "' '" + (Programs() / "launcher.exe").string() + "'") != 0)
            state.SkipWithError("the launcher failed");
        uint64_t at = 0;
        std::ifstream(started) >> at;
        state.SetIterationTime(at > before ? (at - before) / 1e9 : 0.0);
    }
    state.SetLabel("launcher.exe exec to the build's first instruction");
}
BENCHMARK(LauncherStart)->Unit(benchmark::kMillisecond)->Iterations(20)->UseManualTime();

void ProbeAt4800(benchmark::State& state) {
    platform::SetCurrentSide(platform::Side::Device);
    platform::SetDeviceRoot(TheScratch().path / "probe");
    fs::create_directories(TheScratch().path / "probe-dev");
    setenv("PATHLUME_DEV_DIR", (TheScratch().path / "probe-dev").c_str(), 1);
    setenv("PATHLUME_GPSD", "off", 1);
    testing_support::SpeedReceiver receiver({B4800});
    platform::SetHostSerialPort(3, platform::Utf8ToWide(receiver.path()));
    PortTable ports;
    EnumerateSerialPorts(ports);
    for (auto _ : state) {
        ProbePortBaud(ports, 3);
        if (ports[2].detectedBaud != 4800)
            state.SkipWithError("no receiver found");
    }
    state.SetLabel("one pty, the receiver at 4800: found on the first rate");
}
BENCHMARK(ProbeAt4800)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    TheScratch();
    const int status = RunBenchmarksAndPrintPeakMemory(argc, argv);
    delete &TheCradle();
    return status;
}
