// Heap blocks of the map database. The decoders must see a shortage as a result
// (2), not as the heap's memory exception, so these calls catch it; every block is
// counted so that tests can see that a window run leaks nothing.
#pragma once

#include <cstddef>

namespace mapdb {

// A block of at least `size` bytes from the program heap, or null when memory ran out.
void* TryAlloc(size_t size);
// The same, cleared.
void* TryAllocZeroed(size_t size);
// Null is ignored.
void FreeBlock(void* block);

// Blocks of TryAlloc not yet freed.
long LiveBlocks();

// Tests: make the n-th following allocation (1 = the next) fail; 0 disarms.
void FailAllocationAfter(long n);

}  // namespace mapdb
