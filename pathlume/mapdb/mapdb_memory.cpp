#include "pathlume/mapdb/mapdb_memory.h"

#include <atomic>

#include "pathlume/foundation/heap.h"
#include "platform/afx/afx.h"

namespace mapdb {

namespace {
std::atomic<long> g_liveBlocks{0};
std::atomic<long> g_failCountdown{0};
}  // namespace

namespace {

void* TryAllocFromHeap(size_t size, bool zeroed) {
    long countdown = g_failCountdown.load();
    if (countdown > 0) {
        g_failCountdown.store(countdown - 1);
        if (countdown == 1)
            return nullptr;
    }
    void* block = nullptr;
    try {
        const size_t request = size == 0 ? 1 : size;
        block = zeroed ? g_heap.AllocZeroed(request) : g_heap.Alloc(request);
    } catch (CMemoryException* e) {
        e->Delete();
        return nullptr;
    }
    if (block)
        g_liveBlocks.fetch_add(1);
    return block;
}

}  // namespace

void* TryAlloc(size_t size) {
    return TryAllocFromHeap(size, false);
}

void* TryAllocZeroed(size_t size) {
    return TryAllocFromHeap(size, true);
}

void FreeBlock(void* block) {
    if (!block)
        return;
    g_liveBlocks.fetch_sub(1);
    g_heap.Free(block);
}

long LiveBlocks() {
    return g_liveBlocks.load();
}

void FailAllocationAfter(long n) {
    g_failCountdown.store(n);
}

}  // namespace mapdb
