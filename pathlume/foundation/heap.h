// The program's own heap for large and long-lived blocks. It reserves one
// stretch of address space at its first use, commits pages only as blocks need
// them, keeps free blocks in 96 size-class bins with boundary tags, and gives
// whole free pages back on request (Compact).
//
// Layout in the committed pages, in machine words (8 bytes here):
// - A chunk begins on a page boundary with a HeapChunk header and ends with an
//   all-ones end marker word; blocks lie end to end between them.
// - A block is a header word (its size, header and trailer included), the
//   caller's bytes, and a trailer word (the size with kInUse and kFirstInBin).
//   Blocks start 8 bytes past a 16-byte boundary and their sizes are multiples
//   of 16, so every caller's pointer is 16-byte aligned.
// - A free block keeps the previous and next block of its bin's list in its
//   second and third words; the first block's "previous" is its bin's head slot.
// - The all-ones words below a chunk's first block and after its last one stop
//   coalescing at chunk edges.
#pragma once

#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/kernel/memory.h"

struct HeapChunk {
    SIZE_T size;      // the whole committed stretch, header and end marker included
    HeapChunk* prev;  // chunks form a list in address order
    HeapChunk* next;
    UINT_PTR reserved;  // puts the first block 8 bytes past a 16-byte boundary
    UINT_PTR marker;    // all ones
};

struct HeapRegion {
    HeapChunk* firstChunk;  // always at the base while any chunk exists
    BYTE* base;             // null until the heap's first use, and after a failed reservation
    BYTE* reservationEnd;
    BYTE* committedTop;  // end of the last chunk
    SIZE_T reservedSize;
    DWORD pageSize;
    UINT_PTR pageMask;  // a full word: a 32-bit mask would cut 64-bit addresses
    HeapChunk* lastChunk;
};

class CHeap {
  public:
    static constexpr int kBinCount = 96;
    // Blocks of more than 16 MiB go to this bin, not to the last one.
    static constexpr int kHugeBin = 94;
    static constexpr SIZE_T kWord = sizeof(UINT_PTR);
    static constexpr SIZE_T kAlignment = 2 * kWord;
    // Header, the two list links and trailer: the smallest block that can be free.
    static constexpr SIZE_T kMinBlock = 4 * kWord;
    // Blocks up to this size come whole from one exact bin.
    static constexpr SIZE_T kSmallLimit = 256;
    static constexpr UINT_PTR kInUse = 1;
    static constexpr UINT_PTR kFirstInBin = 2;
    static constexpr UINT_PTR kMarker = ~UINT_PTR{0};

    // Constant-initialised when it can be (g_heap), so it needs no constructor
    // call; the page figures are then taken at the first use.
    constexpr CHeap() : bins_{}, region_{} {
        if (!std::is_constant_evaluated()) {
            InitRegion();
        }
    }
    // g_heap is never destroyed; any other heap (tests, benchmarks) gives its
    // reservation back.
    ~CHeap();
    CHeap(const CHeap&) = delete;
    CHeap& operator=(const CHeap&) = delete;

    // At least `size` bytes, 16-byte aligned, contents not cleared. When memory
    // runs out, sets g_outOfMemory and raises the memory exception.
    void* Alloc(SIZE_T size);
    // The same, with the `size` bytes cleared.
    void* AllocZeroed(SIZE_T size);
    // Null is ignored.
    void Free(void* p);
    // Merges address-adjacent free blocks and decommits the whole free pages in them.
    void Compact();

    static int BinIndex(SIZE_T blockSize);
    // The block size Alloc uses for a request.
    static SIZE_T BlockSizeFor(SIZE_T request);
    // The size of the block behind a pointer that Alloc returned.
    static SIZE_T BlockSize(const void* p) {
        return *reinterpret_cast<const UINT_PTR*>(static_cast<const BYTE*>(p) - kWord);
    }

    // For tests and benchmarks.
    BYTE* ReservationBase() const;
    SIZE_T ReservedSize() const;
    BYTE* CommittedTop() const;
    std::vector<std::pair<BYTE*, SIZE_T>> Chunks() const;  // start and size, in address order
    std::vector<BYTE*> BinBlocks(int bin) const;           // block addresses in list order
    // Walks every chunk, block and bin; false with a description of the first fault.
    bool CheckConsistency(std::string* problem) const;

  private:
    // Alloc's work; freshFrom: where the pages committed for this block begin (none
    // when it came from the bins).
    void* AllocBlock(SIZE_T size, BYTE** freshFrom);

    static constexpr SIZE_T kChunkHeader = sizeof(HeapChunk);
    static constexpr SIZE_T kChunkOverhead = kChunkHeader + kWord;  // header and end marker
    static constexpr UINT_PTR kFlags = kInUse | kFirstInBin;
    static_assert(kChunkHeader % kAlignment == kWord,
                  "first block must start one word past alignment");

    static UINT_PTR& Word(BYTE* p) { return *reinterpret_cast<UINT_PTR*>(p); }
    static SIZE_T SizeOf(BYTE* block) { return Word(block); }
    static UINT_PTR& Trailer(BYTE* block) { return Word(block + SizeOf(block) - kWord); }
    static BYTE*& PrevLink(BYTE* block) { return *reinterpret_cast<BYTE**>(block + kWord); }
    static BYTE*& NextLink(BYTE* block) { return *reinterpret_cast<BYTE**>(block + 2 * kWord); }
    static BYTE* FirstBlock(HeapChunk* chunk) {
        return reinterpret_cast<BYTE*>(chunk) + kChunkHeader;
    }
    static BYTE* ChunkEnd(HeapChunk* chunk) { return reinterpret_cast<BYTE*>(chunk) + chunk->size; }
    static void MarkInUse(BYTE* block, SIZE_T size) {
        Word(block) = size;
        Trailer(block) = size | kInUse;
    }
    static bool IsFreeTrailer(UINT_PTR trailer) {
        return trailer != kMarker && !(trailer & kInUse);
    }

    void InitRegion();
    void FirstUse();
    void ReserveRegion(SIZE_T size);
    BYTE* TakeFromBins(SIZE_T blockSize);
    BYTE* FirstFit(int bin, SIZE_T blockSize);
    BYTE* CarveFromRegion(SIZE_T blockSize);
    BYTE* JoinAcrossGap(SIZE_T blockSize);
    BYTE* ExtendLastChunk(SIZE_T blockSize);
    void Link(BYTE* block);
    void Unlink(BYTE* block);
    void CompactRun(BYTE** run, size_t count);
    void DecommitInsideRun(HeapChunk* chunk, BYTE* runStart, BYTE* runEnd, UINT_PTR start,
                           UINT_PTR end);
    HeapChunk* ChunkHolding(BYTE* address) const;
    void RelinkChunks(HeapChunk* before, HeapChunk* after);
    SIZE_T RoundToPages(SIZE_T size) const;

    mutable std::mutex lock_;
    BYTE* bins_[kBinCount];
    HeapRegion region_;
};

// The program's heap, usable from any static constructor and never destroyed.
extern CHeap& g_heap;

// A page-granular buffer: address space reserved for one growing array, pages
// committed or decommitted as its wanted size changes.
class CPageHeap {
  public:
    CPageHeap();
    ~CPageHeap();  // releases
    CPageHeap(const CPageHeap&) = delete;
    CPageHeap& operator=(const CPageHeap&) = delete;

    // Reserves size bytes (rounded up to pages); the base, or null.
    void* Reserve(SIZE_T size);
    // Makes the first `size` bytes (rounded up to pages) committed and the rest
    // decommitted; reserves exactly that much first when nothing is reserved.
    // The base, or null when size is more than the reservation. A failed commit
    // sets g_outOfMemory and raises the memory exception.
    void* Grow(SIZE_T size);
    void Release();

    BYTE* Base() const { return base_; }
    SIZE_T CommittedSize() const { return static_cast<SIZE_T>(committedEnd_ - base_); }

  private:
    friend class CHeap;
    // Grow without raising: null with *commitFailed set when a commit failed.
    void* Resize(SIZE_T size, bool* commitFailed);
    SIZE_T RoundToPages(SIZE_T size) const;

    BYTE* base_ = nullptr;
    BYTE* reservationEnd_ = nullptr;
    BYTE* committedEnd_ = nullptr;
    DWORD pageSize_ = 0;
    UINT_PTR pageMask_ = 0;
    DWORD commitStep_ = 0;  // bytes: 32 pages
};
