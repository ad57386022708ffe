// CHeap::Compact: merging address-adjacent free blocks and giving the whole free
// pages inside them back to the system.
#include <algorithm>

#include "pathlume/foundation/heap.h"

void CHeap::Compact() {
    std::lock_guard<std::mutex> guard(lock_);
    size_t count = 0;
    for (int bin = 1; bin < kBinCount; ++bin) {
        for (BYTE* block = bins_[bin]; block; block = NextLink(block)) {
            ++count;
        }
    }
    if (count == 0) {
        return;
    }
    // The scratch array never comes from the heap it reorganises: a few hundred
    // free blocks (a route's every compaction) fit on the stack, more get pages
    // of their own. Without them there is nothing to do: that is no shortage
    // worth reporting.
    constexpr size_t kStackBlocks = 512;
    BYTE* onStack[kStackBlocks];
    CPageHeap scratch;
    BYTE** blocks = onStack;
    if (count > kStackBlocks) {
        bool commitFailed = false;
        blocks = static_cast<BYTE**>(scratch.Resize(count * sizeof(BYTE*), &commitFailed));
        if (!blocks) {
            return;
        }
    }
    size_t gathered = 0;
    for (int bin = 1; bin < kBinCount; ++bin) {
        for (BYTE* block = bins_[bin]; block; block = NextLink(block)) {
            blocks[gathered++] = block;
        }
    }
    std::sort(blocks, blocks + count);
    // Every run is closed, the last one too: a free block ending the last chunk
    // is thus trimmed back to the page above its start like any other run.
    size_t first = 0;
    while (first < count) {
        size_t next = first + 1;
        BYTE* end = blocks[first] + SizeOf(blocks[first]);
        while (next < count && blocks[next] == end) {
            end += SizeOf(blocks[next]);
            ++next;
        }
        CompactRun(blocks + first, next - first);
        first = next;
    }
    scratch.Release();
}

void CHeap::CompactRun(BYTE** run, size_t count) {
    BYTE* runStart = run[0];
    BYTE* runEnd = run[count - 1] + SizeOf(run[count - 1]);
    SIZE_T total = static_cast<SIZE_T>(runEnd - runStart);
    bool beginsChunk = Word(runStart - kWord) == kMarker;
    bool endsChunk = Word(runEnd) == kMarker;
    // A run that is its chunk's whole content goes even when it is less than a
    // page: a one-page chunk left over by an earlier split would otherwise stay
    // committed for good.
    if (total >= region_.pageSize || (beginsChunk && endsChunk)) {
        HeapChunk* chunk = ChunkHolding(runStart);
        UINT_PTR chunkStart = reinterpret_cast<UINT_PTR>(chunk);
        UINT_PTR first = reinterpret_cast<UINT_PTR>(runStart);
        UINT_PTR last = reinterpret_cast<UINT_PTR>(runEnd);
        // The chunk at the base stays while anything lies above it: new space is
        // only ever found between chunks or above the last one, so address space
        // below the first chunk would be lost.
        if (beginsChunk && chunk == region_.firstChunk && (chunk->next || !endsChunk)) {
            beginsChunk = false;
        }
        UINT_PTR page = region_.pageSize;
        UINT_PTR start;
        if (beginsChunk) {
            start = chunkStart;
        } else {
            // Room below for an end marker and a free block.
            start = (first + page - 1) & region_.pageMask;
            if (start - first < kWord + kMinBlock) {
                start += page;
            }
        }
        UINT_PTR end;
        if (endsChunk) {
            end = last + kWord;
        } else {
            // Room above for a chunk header and a free block.
            end = last & region_.pageMask;
            if (last - end < kChunkHeader + kMinBlock) {
                end = end >= page ? end - page : 0;
            }
        }
        if (end > start) {
            DecommitInsideRun(chunk, runStart, runEnd, start, end);
            return;
        }
    }
    if (count > 1) {
        for (size_t i = 0; i < count; ++i) {
            Unlink(run[i]);
        }
        Word(runStart) = total;
        Link(runStart);
    }
}

void CHeap::DecommitInsideRun(HeapChunk* chunk, BYTE* runStart, BYTE* runEnd, UINT_PTR start,
                              UINT_PTR end) {
    for (BYTE* block = runStart; block < runEnd; block += SizeOf(block)) {
        Unlink(block);
    }
    BYTE* chunkStart = reinterpret_cast<BYTE*>(chunk);
    BYTE* chunkEnd = ChunkEnd(chunk);
    BYTE* startPtr = reinterpret_cast<BYTE*>(start);
    BYTE* endPtr = reinterpret_cast<BYTE*>(end);
    HeapChunk* before = chunk->prev;
    HeapChunk* after = chunk->next;
    if (startPtr > chunkStart) {
        // The head part stays as this chunk, ending at the start.
        chunk->size = static_cast<SIZE_T>(startPtr - chunkStart);
        Word(startPtr - kWord) = kMarker;
        Word(runStart) = static_cast<SIZE_T>(startPtr - kWord - runStart);
        Link(runStart);
        before = chunk;
    }
    if (endPtr < chunkEnd) {
        // The tail part becomes a chunk of its own; its end marker is the old one.
        HeapChunk* tail = reinterpret_cast<HeapChunk*>(endPtr);
        *tail = HeapChunk{static_cast<SIZE_T>(chunkEnd - endPtr), nullptr, nullptr, 0, kMarker};
        RelinkChunks(before, tail);
        RelinkChunks(tail, after);
        BYTE* block = FirstBlock(tail);
        Word(block) = static_cast<SIZE_T>(runEnd - block);
        Link(block);
    } else {
        RelinkChunks(before, after);
    }
    VirtualFree(startPtr, end - start, MEM_DECOMMIT);
    region_.committedTop = region_.lastChunk ? ChunkEnd(region_.lastChunk) : region_.base;
}
