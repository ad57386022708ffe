#include "pathlume/foundation/heap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "platform/afx/afx.h"

namespace {

// Larger requests are refused outright, so that no size arithmetic can wrap.
constexpr SIZE_T kMaxRequest = SIZE_MAX / 4;

// A reservation that fails is retried 5 MiB smaller while it is above 9 MiB.
constexpr SIZE_T kRetryFloor = 0x900000;
constexpr SIZE_T kRetryStep = 0x500000;

// The reservation size is a 32-bit figure; a host with large memory saturates it
// rather than wrapping it.
constexpr double kLargestReservation = 4294967295.0;

constexpr DWORD kPageHeapCommitPages = 32;

[[noreturn]] void RaiseOutOfMemory() {
    g_outOfMemory.store(1);
    AfxThrowMemoryException();
}

void PageFigures(DWORD* pageSize, UINT_PTR* pageMask) {
    // Asked once: the system's figures count its processors as well, which reads
    // a file each time, and a page heap is made for every compaction.
    static const DWORD size = [] {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        return info.dwPageSize;
    }();
    *pageSize = size;
    *pageMask = ~static_cast<UINT_PTR>(size - 1);
}

// Constant-initialised, so allocations from static constructors in any other
// file find it ready; kept in a union so it is never destroyed, so static
// destructors and threads still running at exit can free into it.
union HeapStorage {
    constexpr HeapStorage() : heap() {}
    ~HeapStorage() {}
    CHeap heap;
};
constinit HeapStorage s_heapStorage;

}  // namespace

constinit CHeap& g_heap = s_heapStorage.heap;

CHeap::~CHeap() {
    if (region_.base) {
        VirtualFree(region_.base, 0, MEM_RELEASE);
    }
}

void CHeap::InitRegion() {
    region_ = HeapRegion{};
    PageFigures(&region_.pageSize, &region_.pageMask);
}

SIZE_T CHeap::RoundToPages(SIZE_T size) const {
    return (size + region_.pageSize - 1) & region_.pageMask;
}

int CHeap::BinIndex(SIZE_T blockSize) {
    if (blockSize <= kSmallLimit) {
        return static_cast<int>(((blockSize & ~SIZE_T{7}) - 1) / 8);
    }
    SIZE_T t = blockSize - 1;
    int k = std::bit_width(t) - 1;
    if (k >= 24) {
        return kHugeBin;
    }
    return 32 + 4 * (k - 8) + static_cast<int>((t >> (k - 2)) & 3);
}

SIZE_T CHeap::BlockSizeFor(SIZE_T request) {
    // A request of 0 is one of 1: every block must be able to hold the free-list
    // links once it is freed.
    SIZE_T bytes = std::max<SIZE_T>(request, 1) + 2 * kWord;
    return (bytes + kAlignment - 1) & ~(kAlignment - 1);
}

void CHeap::FirstUse() {
    InitRegion();
    std::fill(std::begin(bins_), std::end(bins_), nullptr);
    STORE_INFORMATION store{};
    GetStoreInformation(&store);
    MEMORYSTATUS status{};
    GlobalMemoryStatus(&status);
    // A page plus three quarters of store and memory together, in whole pages.
    double product =
        std::floor(0.75 * (static_cast<double>(store.dwStoreSize) + status.dwTotalPhys));
    double wanted = std::min(region_.pageSize + product, kLargestReservation);
    ReserveRegion(static_cast<SIZE_T>(wanted) & region_.pageMask);
}

void CHeap::ReserveRegion(SIZE_T size) {
    for (;;) {
        void* base = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
        if (base) {
            region_.base = static_cast<BYTE*>(base);
            region_.reservedSize = size;
            region_.reservationEnd = region_.base + size;
            region_.committedTop = region_.base;
            return;
        }
        if (size <= kRetryFloor) {
            return;
        }
        size -= kRetryStep;
    }
}

void CHeap::Link(BYTE* block) {
    SIZE_T size = SizeOf(block);
    BYTE** slot = &bins_[BinIndex(size)];
    BYTE* first = *slot;
    Trailer(block) = size;
    // Small bins take a freed block in front; large bins stay sorted, smallest first.
    if (!first || size <= kSmallLimit || size <= SizeOf(first)) {
        PrevLink(block) = reinterpret_cast<BYTE*>(slot);
        NextLink(block) = first;
        Trailer(block) |= kFirstInBin;
        if (first) {
            PrevLink(first) = block;
            Trailer(first) &= ~kFirstInBin;
        }
        *slot = block;
        return;
    }
    BYTE* after = first;
    while (NextLink(after) && SizeOf(NextLink(after)) < size) {
        after = NextLink(after);
    }
    BYTE* next = NextLink(after);
    PrevLink(block) = after;
    NextLink(block) = next;
    NextLink(after) = block;
    if (next) {
        PrevLink(next) = block;
    }
}

void CHeap::Unlink(BYTE* block) {
    BYTE* prev = PrevLink(block);
    BYTE* next = NextLink(block);
    if (Trailer(block) & kFirstInBin) {
        // prev is the bin's head slot.
        *reinterpret_cast<BYTE**>(prev) = next;
        if (next) {
            PrevLink(next) = prev;
            Trailer(next) |= kFirstInBin;
        }
        Trailer(block) &= ~kFirstInBin;
    } else {
        NextLink(prev) = next;
        if (next) {
            PrevLink(next) = prev;
        }
    }
}

void* CHeap::Alloc(SIZE_T size) {
    BYTE* freshFrom = nullptr;
    return AllocBlock(size, &freshFrom);
}

void* CHeap::AllocZeroed(SIZE_T size) {
    BYTE* freshFrom = nullptr;
    BYTE* user = static_cast<BYTE*>(AllocBlock(size, &freshFrom));
    // Pages committed for this request come from the system cleared (never used, or
    // decommitted since): only what lies below them is cleared here.
    BYTE* end = user + size;
    std::memset(user, 0, static_cast<SIZE_T>(std::clamp(freshFrom, user, end) - user));
    return user;
}

void* CHeap::AllocBlock(SIZE_T size, BYTE** freshFrom) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!region_.base) {
        FirstUse();
    }
    if (size > kMaxRequest) {
        RaiseOutOfMemory();
    }
    SIZE_T blockSize = BlockSizeFor(size);
    BYTE* block = TakeFromBins(blockSize);
    *freshFrom = reinterpret_cast<BYTE*>(~UINT_PTR{0});
    if (!block) {
        // Nothing above the committed top has been written since it was committed.
        *freshFrom = region_.committedTop ? region_.committedTop : region_.base;
        block = CarveFromRegion(blockSize);
        SIZE_T found = SizeOf(block);
        if (found - blockSize >= kMinBlock) {
            MarkInUse(block, blockSize);
            BYTE* rest = block + blockSize;
            Word(rest) = found - blockSize;
            Link(rest);
        }
    }
    return block + kWord;
}

BYTE* CHeap::FirstFit(int bin, SIZE_T blockSize) {
    for (BYTE* block = bins_[bin]; block; block = NextLink(block)) {
        if (SizeOf(block) >= blockSize) {
            return block;
        }
    }
    return nullptr;
}

BYTE* CHeap::TakeFromBins(SIZE_T blockSize) {
    int bin = BinIndex(blockSize);
    if (blockSize <= kSmallLimit && bins_[bin]) {
        BYTE* block = bins_[bin];
        Unlink(block);
        MarkInUse(block, SizeOf(block));
        return block;
    }
    BYTE* found = nullptr;
    int foundBin = bins_[bin] ? bin : bin + 1;
    for (; foundBin < kBinCount && !found; ++foundBin) {
        found = FirstFit(foundBin, blockSize);
    }
    --foundBin;
    // Blocks above 16 MiB sit in the huge bin below the last one, where a walk
    // that starts in the last bin would never look.
    if (!found && bin > kHugeBin) {
        found = FirstFit(kHugeBin, blockSize);
        foundBin = kHugeBin;
    }
    if (!found) {
        return nullptr;
    }
    SIZE_T size = SizeOf(found);
    if (size - blockSize < kMinBlock) {
        Unlink(found);
        MarkInUse(found, size);
        return found;
    }
    // Split: the front stays free, the back is handed out.
    SIZE_T rest = size - blockSize;
    if (BinIndex(rest) != foundBin) {
        Unlink(found);
        Word(found) = rest;
        Link(found);
    } else {
        // Keeps its place in the list; a large bin may be out of size order
        // afterwards, which costs fit quality only: every walk goes to the end.
        UINT_PTR flags = Trailer(found) & kFlags;
        Word(found) = rest;
        Trailer(found) = rest | flags;
    }
    BYTE* back = found + rest;
    MarkInUse(back, blockSize);
    return back;
}

BYTE* CHeap::CarveFromRegion(SIZE_T blockSize) {
    if (region_.firstChunk) {
        if (BYTE* joined = JoinAcrossGap(blockSize)) {
            return joined;
        }
        return ExtendLastChunk(blockSize);
    }
    // The first chunk, at the base. A failed reservation leaves base null:
    // committing at null would commit anywhere, so that is out of memory too.
    if (!region_.base || blockSize > region_.reservedSize) {
        RaiseOutOfMemory();
    }
    SIZE_T commit = RoundToPages(blockSize + kChunkOverhead);
    if (commit > region_.reservedSize ||
        !VirtualAlloc(region_.base, commit, MEM_COMMIT, PAGE_READWRITE)) {
        RaiseOutOfMemory();
    }
    HeapChunk* chunk = reinterpret_cast<HeapChunk*>(region_.base);
    *chunk = HeapChunk{commit, nullptr, nullptr, 0, kMarker};
    Word(ChunkEnd(chunk) - kWord) = kMarker;
    region_.firstChunk = chunk;
    region_.lastChunk = chunk;
    region_.committedTop = ChunkEnd(chunk);
    BYTE* block = FirstBlock(chunk);
    MarkInUse(block, commit - kChunkOverhead);
    return block;
}

BYTE* CHeap::JoinAcrossGap(SIZE_T blockSize) {
    for (HeapChunk* lower = region_.firstChunk; lower && lower->next; lower = lower->next) {
        HeapChunk* upper = lower->next;
        BYTE* gapStart = ChunkEnd(lower);
        SIZE_T gap = static_cast<SIZE_T>(reinterpret_cast<BYTE*>(upper) - gapStart);
        if (gap == 0) {
            continue;
        }
        // The lower end marker and the upper header become free space, and so do
        // the free blocks on either side. All of them are taken, not just enough:
        // leaving one behind would put two free blocks side by side.
        SIZE_T usable = gap + kChunkOverhead;
        BYTE* stretchStart = gapStart - kWord;
        while (IsFreeTrailer(Word(stretchStart - kWord))) {
            SIZE_T size = Word(stretchStart - kWord) & ~kFlags;
            stretchStart -= size;
            usable += size;
        }
        BYTE* stretchEnd = FirstBlock(upper);
        while (Word(stretchEnd) != kMarker && IsFreeTrailer(Trailer(stretchEnd))) {
            usable += SizeOf(stretchEnd);
            stretchEnd += SizeOf(stretchEnd);
        }
        if (usable < blockSize || !VirtualAlloc(gapStart, gap, MEM_COMMIT, PAGE_READWRITE)) {
            continue;
        }
        for (BYTE* block = stretchStart; block < gapStart - kWord; block += SizeOf(block)) {
            Unlink(block);
        }
        for (BYTE* block = FirstBlock(upper); block < stretchEnd; block += SizeOf(block)) {
            Unlink(block);
        }
        lower->size += gap + upper->size;
        RelinkChunks(lower, upper->next);
        Word(ChunkEnd(lower) - kWord) = kMarker;
        MarkInUse(stretchStart, static_cast<SIZE_T>(stretchEnd - stretchStart));
        return stretchStart;
    }
    return nullptr;
}

BYTE* CHeap::ExtendLastChunk(SIZE_T blockSize) {
    HeapChunk* last = region_.lastChunk;
    BYTE* endMarker = ChunkEnd(last) - kWord;
    BYTE* block = endMarker;
    SIZE_T have = 0;
    if (IsFreeTrailer(Word(endMarker - kWord))) {
        // Grow the free block that ends the chunk.
        have = Word(endMarker - kWord) & ~kFlags;
        block = endMarker - have;
    }
    SIZE_T commit = have >= blockSize ? 0 : RoundToPages(blockSize - have);
    if (commit > static_cast<SIZE_T>(region_.reservationEnd - region_.committedTop) ||
        (commit && !VirtualAlloc(region_.committedTop, commit, MEM_COMMIT, PAGE_READWRITE))) {
        RaiseOutOfMemory();
    }
    if (have) {
        Unlink(block);
    }
    last->size += commit;
    region_.committedTop += commit;
    Word(ChunkEnd(last) - kWord) = kMarker;
    MarkInUse(block, have + commit);
    return block;
}

void CHeap::Free(void* p) {
    if (!p) {
        return;
    }
    std::lock_guard<std::mutex> guard(lock_);
    BYTE* block = static_cast<BYTE*>(p) - kWord;
    SIZE_T size = SizeOf(block);
    UINT_PTR before = Word(block - kWord);
    if (IsFreeTrailer(before)) {
        BYTE* prev = block - (before & ~kFlags);
        Unlink(prev);
        size += SizeOf(prev);
        block = prev;
    }
    BYTE* after = block + size;
    if (after < region_.committedTop - kWord && Word(after) != kMarker &&
        IsFreeTrailer(Trailer(after))) {
        Unlink(after);
        size += SizeOf(after);
    }
    Word(block) = size;
    Link(block);
}

void CHeap::RelinkChunks(HeapChunk* before, HeapChunk* after) {
    if (before) {
        before->next = after;
    } else {
        region_.firstChunk = after;
    }
    if (after) {
        after->prev = before;
    } else {
        region_.lastChunk = before;
    }
}

HeapChunk* CHeap::ChunkHolding(BYTE* address) const {
    for (HeapChunk* chunk = region_.firstChunk; chunk; chunk = chunk->next) {
        if (address >= reinterpret_cast<BYTE*>(chunk) && address < ChunkEnd(chunk)) {
            return chunk;
        }
    }
    return nullptr;
}

BYTE* CHeap::ReservationBase() const {
    std::lock_guard<std::mutex> guard(lock_);
    return region_.base;
}

SIZE_T CHeap::ReservedSize() const {
    std::lock_guard<std::mutex> guard(lock_);
    return region_.reservedSize;
}

BYTE* CHeap::CommittedTop() const {
    std::lock_guard<std::mutex> guard(lock_);
    return region_.committedTop;
}

std::vector<std::pair<BYTE*, SIZE_T>> CHeap::Chunks() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::pair<BYTE*, SIZE_T>> chunks;
    for (HeapChunk* chunk = region_.firstChunk; chunk; chunk = chunk->next) {
        chunks.emplace_back(reinterpret_cast<BYTE*>(chunk), chunk->size);
    }
    return chunks;
}

std::vector<BYTE*> CHeap::BinBlocks(int bin) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<BYTE*> blocks;
    for (BYTE* block = bins_[bin]; block; block = NextLink(block)) {
        blocks.push_back(block);
    }
    return blocks;
}

// ---- CPageHeap ----

CPageHeap::CPageHeap() {
    PageFigures(&pageSize_, &pageMask_);
    commitStep_ = kPageHeapCommitPages * pageSize_;
}

CPageHeap::~CPageHeap() {
    Release();
}

SIZE_T CPageHeap::RoundToPages(SIZE_T size) const {
    return (size + pageSize_ - 1) & pageMask_;
}

void* CPageHeap::Reserve(SIZE_T size) {
    if (size > kMaxRequest) {
        return nullptr;
    }
    SIZE_T rounded = RoundToPages(size);
    void* base = VirtualAlloc(nullptr, rounded, MEM_RESERVE, PAGE_NOACCESS);
    if (base) {
        base_ = static_cast<BYTE*>(base);
        reservationEnd_ = base_ + rounded;
        committedEnd_ = base_;
    }
    return base;
}

void* CPageHeap::Resize(SIZE_T size, bool* commitFailed) {
    *commitFailed = false;
    if (!base_ && !Reserve(size)) {
        return nullptr;
    }
    if (size > static_cast<SIZE_T>(reservationEnd_ - base_)) {
        return nullptr;
    }
    BYTE* wantedEnd = base_ + RoundToPages(size);
    if (wantedEnd < committedEnd_) {
        VirtualFree(wantedEnd, static_cast<SIZE_T>(committedEnd_ - wantedEnd), MEM_DECOMMIT);
        committedEnd_ = wantedEnd;
    }
    while (committedEnd_ < wantedEnd) {
        SIZE_T step = std::min<SIZE_T>(commitStep_, static_cast<SIZE_T>(wantedEnd - committedEnd_));
        if (!VirtualAlloc(committedEnd_, step, MEM_COMMIT, PAGE_READWRITE)) {
            *commitFailed = true;
            return nullptr;
        }
        committedEnd_ += step;
    }
    return base_;
}

void* CPageHeap::Grow(SIZE_T size) {
    bool commitFailed = false;
    void* base = Resize(size, &commitFailed);
    if (commitFailed) {
        RaiseOutOfMemory();
    }
    return base;
}

void CPageHeap::Release() {
    if (!base_) {
        return;
    }
    if (committedEnd_ > base_) {
        VirtualFree(base_, static_cast<SIZE_T>(committedEnd_ - base_), MEM_DECOMMIT);
    }
    VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
    reservationEnd_ = nullptr;
    committedEnd_ = nullptr;
}
