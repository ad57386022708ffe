// CHeap::CheckConsistency: the heap's invariants, walked in full for tests.
#include <cstdio>
#include <set>

#include "pathlume/foundation/heap.h"

namespace {

std::string Describe(const char* what, const void* where, SIZE_T value = 0) {
    char text[160];
    std::snprintf(text, sizeof text, "%s at %p (%zu)", what, where, static_cast<size_t>(value));
    return text;
}

}  // namespace

bool CHeap::CheckConsistency(std::string* problem) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::string ignored;
    std::string& why = problem ? *problem : ignored;
    if (!region_.base) {
        for (BYTE* head : bins_) {
            if (head) {
                why = Describe("free block without a reservation", head);
                return false;
            }
        }
        if (region_.firstChunk) {
            why = "chunks without a reservation";
            return false;
        }
        return true;
    }
    if (region_.firstChunk && reinterpret_cast<BYTE*>(region_.firstChunk) != region_.base) {
        why = Describe("first chunk not at the base", region_.firstChunk);
        return false;
    }

    // Chunks and blocks, in address order.
    std::set<BYTE*> freeBlocks;
    HeapChunk* prev = nullptr;
    BYTE* lowest = region_.base;
    for (HeapChunk* chunk = region_.firstChunk; chunk; prev = chunk, chunk = chunk->next) {
        BYTE* start = reinterpret_cast<BYTE*>(chunk);
        if (chunk->prev != prev || start < lowest ||
            (reinterpret_cast<UINT_PTR>(start) & ~region_.pageMask) != 0 ||
            (chunk->size & ~region_.pageMask) != 0 || chunk->size < kChunkOverhead + kMinBlock ||
            chunk->size > static_cast<SIZE_T>(region_.reservationEnd - start)) {
            why = Describe("bad chunk", chunk, chunk->size);
            return false;
        }
        BYTE* endMarker = ChunkEnd(chunk) - kWord;
        if (chunk->marker != kMarker || Word(endMarker) != kMarker) {
            why = Describe("chunk marker missing", chunk);
            return false;
        }
        bool previousFree = false;
        BYTE* block = FirstBlock(chunk);
        while (block < endMarker) {
            SIZE_T size = SizeOf(block);
            if (size < kMinBlock || size % kAlignment != 0 ||
                size > static_cast<SIZE_T>(endMarker - block)) {
                why = Describe("bad block size", block, size);
                return false;
            }
            UINT_PTR trailer = Trailer(block);
            if ((trailer & ~kFlags) != size) {
                why = Describe("trailer differs from header", block, size);
                return false;
            }
            bool isFree = !(trailer & kInUse);
            if (!isFree && (trailer & kFirstInBin)) {
                why = Describe("block in use marked first in its bin", block);
                return false;
            }
            if (isFree && previousFree) {
                why = Describe("two adjacent free blocks", block);
                return false;
            }
            if (isFree) {
                freeBlocks.insert(block);
            }
            previousFree = isFree;
            block += size;
        }
        if (block != endMarker) {
            why = Describe("blocks overrun the end marker", chunk);
            return false;
        }
        lowest = ChunkEnd(chunk);
    }
    if (region_.lastChunk != prev) {
        why = "last chunk is not the end of the chunk list";
        return false;
    }
    BYTE* top = prev ? ChunkEnd(prev) : region_.base;
    if (region_.committedTop != top) {
        why = Describe("committed top is not the end of the last chunk", region_.committedTop);
        return false;
    }

    // Bins: every free block in exactly one list, the one of its size.
    for (int bin = 0; bin < kBinCount; ++bin) {
        BYTE* const slot = reinterpret_cast<BYTE*>(const_cast<BYTE**>(&bins_[bin]));
        BYTE* expectedPrev = slot;
        for (BYTE* block = bins_[bin]; block; block = NextLink(block)) {
            if (freeBlocks.erase(block) == 0) {
                why = Describe("bin holds a block that is not free or is listed twice", block,
                               static_cast<SIZE_T>(bin));
                return false;
            }
            bool first = expectedPrev == slot;
            if (PrevLink(block) != expectedPrev || ((Trailer(block) & kFirstInBin) != 0) != first) {
                why = Describe("broken bin links", block, static_cast<SIZE_T>(bin));
                return false;
            }
            if (BinIndex(SizeOf(block)) != bin) {
                why = Describe("block in the wrong bin", block, static_cast<SIZE_T>(bin));
                return false;
            }
            expectedPrev = block;
        }
    }
    if (!freeBlocks.empty()) {
        why = Describe("free block in no bin", *freeBlocks.begin(), SizeOf(*freeBlocks.begin()));
        return false;
    }
    return true;
}
