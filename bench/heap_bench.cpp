// The program heap against malloc/free on one mixed workload: a recorded trace of
// allocations from 16 bytes to 64 KiB, mostly small, with frees interleaved so
// that a few thousand blocks stay live, replayed on each allocator. Every block's
// first and last byte are written, as a user of it would.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "pathlume/foundation/heap.h"

namespace {

constexpr int kOperations = 200000;
constexpr size_t kTargetLive = 4000;

struct Operation {
    int slot;     // the slot allocated into or freed
    size_t size;  // 0 for a free
};

struct Trace {
    std::vector<Operation> operations;
    int slots = 0;
    size_t peakLiveBytes = 0;
};

size_t PickSize(std::mt19937& random) {
    int kind = std::uniform_int_distribution<int>(0, 99)(random);
    auto between = [&random](size_t low, size_t high) {
        return std::uniform_int_distribution<size_t>(low, high)(random);
    };
    if (kind < 50) {
        return between(16, 64);  // list nodes, small records
    }
    if (kind < 75) {
        return between(65, 256);  // names, short strings
    }
    if (kind < 90) {
        return between(257, 2048);  // index pages, route entries
    }
    if (kind < 98) {
        return between(2049, 16 * 1024);  // chunk payloads
    }
    return between(16 * 1024 + 1, 64 * 1024);  // decode buffers
}

const Trace& WorkloadTrace() {
    static const Trace trace = [] {
        Trace t;
        std::mt19937 random(1101);
        std::vector<int> live;
        std::vector<size_t> sizes;
        std::vector<int> freeSlots;
        size_t liveBytes = 0;
        for (int i = 0; i < kOperations; ++i) {
            // Below the target, allocate more often than free; above it, less.
            int allocatePercent = live.size() < kTargetLive ? 60 : 40;
            if (live.empty() || static_cast<int>(random() % 100) < allocatePercent) {
                int slot;
                if (freeSlots.empty()) {
                    slot = t.slots++;
                    sizes.push_back(0);
                } else {
                    slot = freeSlots.back();
                    freeSlots.pop_back();
                }
                size_t size = PickSize(random);
                sizes[slot] = size;
                liveBytes += size;
                t.peakLiveBytes = std::max(t.peakLiveBytes, liveBytes);
                live.push_back(slot);
                t.operations.push_back({slot, size});
            } else {
                size_t index = random() % live.size();
                int slot = live[index];
                live[index] = live.back();
                live.pop_back();
                liveBytes -= sizes[slot];
                freeSlots.push_back(slot);
                t.operations.push_back({slot, 0});
            }
        }
        return t;
    }();
    return trace;
}

// Replays the trace; `sample` is called after each allocation when given.
template <class AllocFn, class FreeFn, class SampleFn>
void Replay(const Trace& trace, AllocFn alloc, FreeFn free, SampleFn sample) {
    std::vector<unsigned char*> slots(trace.slots, nullptr);
    for (const Operation& op : trace.operations) {
        if (op.size) {
            auto* p = static_cast<unsigned char*>(alloc(op.size));
            p[0] = 1;
            p[op.size - 1] = 1;
            slots[op.slot] = p;
            sample();
        } else {
            free(slots[op.slot]);
            slots[op.slot] = nullptr;
        }
    }
    for (unsigned char* p : slots) {
        if (p) {
            free(p);
        }
    }
    benchmark::DoNotOptimize(slots.data());
}

void BM_CHeap(benchmark::State& state) {
    const Trace& trace = WorkloadTrace();
    CHeap heap;
    // Untimed pass for the peaks of committed memory and of bytes held in blocks
    // (headers included).
    SIZE_T peakCommitted = 0;
    SIZE_T held = 0;
    SIZE_T peakHeld = 0;
    Replay(
        trace,
        [&](size_t n) {
            void* p = heap.Alloc(n);
            held += CHeap::BlockSize(p);
            return p;
        },
        [&](void* p) {
            held -= CHeap::BlockSize(p);
            heap.Free(p);
        },
        [&] {
            SIZE_T committed = static_cast<SIZE_T>(heap.CommittedTop() - heap.ReservationBase());
            peakCommitted = std::max(peakCommitted, committed);
            peakHeld = std::max(peakHeld, held);
        });
    for (auto _ : state) {
        Replay(
            trace, [&heap](size_t n) { return heap.Alloc(n); }, [&heap](void* p) { heap.Free(p); },
            [] {});
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(trace.operations.size()));
    state.counters["peak_held_MiB"] = static_cast<double>(peakHeld) / (1 << 20);
    state.counters["peak_committed_MiB"] = static_cast<double>(peakCommitted) / (1 << 20);
}
BENCHMARK(BM_CHeap)->Unit(benchmark::kMillisecond);

void BM_Malloc(benchmark::State& state) {
    const Trace& trace = WorkloadTrace();
    // Untimed pass for the peak of bytes held in malloc's chunks (headers
    // included). Its arena cannot be told apart from the rest of the process's
    // use, so there is no committed figure for it.
    struct mallinfo2 before = mallinfo2();
    size_t base = before.uordblks + before.hblkhd;
    size_t peakHeld = 0;
    Replay(
        trace, [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
        [&] {
            struct mallinfo2 now = mallinfo2();
            size_t inUse = now.uordblks + now.hblkhd;
            peakHeld = std::max(peakHeld, inUse > base ? inUse - base : 0);
        });
    for (auto _ : state) {
        Replay(
            trace, [](size_t n) { return std::malloc(n); }, [](void* p) { std::free(p); }, [] {});
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(trace.operations.size()));
    state.counters["peak_held_MiB"] = static_cast<double>(peakHeld) / (1 << 20);
}
BENCHMARK(BM_Malloc)->Unit(benchmark::kMillisecond);

// Compact after the workload has left a scattered live set behind: every other
// block of the trace's live set at its midpoint is freed first.
void BM_CHeapCompact(benchmark::State& state) {
    const Trace& trace = WorkloadTrace();
    for (auto _ : state) {
        state.PauseTiming();
        CHeap heap;
        std::vector<void*> slots(trace.slots, nullptr);
        for (size_t i = 0; i < trace.operations.size() / 2; ++i) {
            const Operation& op = trace.operations[i];
            if (op.size) {
                slots[op.slot] = heap.Alloc(op.size);
            } else {
                heap.Free(slots[op.slot]);
                slots[op.slot] = nullptr;
            }
        }
        for (size_t i = 0; i < slots.size(); i += 2) {
            heap.Free(slots[i]);
        }
        state.ResumeTiming();
        heap.Compact();
    }
}
BENCHMARK(BM_CHeapCompact)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    const Trace& trace = WorkloadTrace();
    size_t allocations = 0;
    for (const Operation& op : trace.operations) {
        allocations += op.size != 0;
    }
    std::printf(
        "Workload: %zu operations (%zu allocations, %zu frees), sizes 16 B to 64 KiB "
        "(50%% up to 64 B, 25%% up to 256 B, 15%% up to 2 KiB, 8%% up to 16 KiB, 2%% up to "
        "64 KiB), about %zu blocks live, peak live %.1f MiB; each block's first and last byte "
        "written.\n"
        "BM_CHeap and BM_Malloc replay the same trace (time per replay; items = operations). "
        "peak_held_MiB: the most bytes held in live blocks, headers included; "
        "peak_committed_MiB: the most pages CHeap had committed. BM_CHeapCompact times one "
        "Compact after half the trace with every other live block freed.\n",
        trace.operations.size(), allocations, trace.operations.size() - allocations, kTargetLive,
        static_cast<double>(trace.peakLiveBytes) / (1 << 20));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of the process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
    return 0;
}
