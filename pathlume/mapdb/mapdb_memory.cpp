#include "pathlume/mapdb/mapdb_memory.h"

#include <atomic>
#include <cstring>

#include "pathlume/foundation/heap.h"
#include "platform/afx/afx.h"

namespace mapdb {

namespace {
std::atomic<long> g_liveBlocks{0};
std::atomic<long> g_failCountdown{0};
}  // namespace

void* TryAlloc(size_t size) {
    long countdown = g_failCountdown.load();
    if (countdown > 0) {
        g_failCountdown.store(countdown - 1);
        if (countdown == 1)
            return nullptr;
    }
    void* block = nullptr;
    try {
        block = g_heap.Alloc(size == 0 ? 1 : size);
    } catch (CMemoryException* e) {
        e->Delete();
        return nullptr;
    }
    if (block)
        g_liveBlocks.fetch_add(1);
    return block;
}

void* TryAllocZeroed(size_t size) {
    void* block = TryAlloc(size);
    if (block)
        std::memset(block, 0, size);
    return block;
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
