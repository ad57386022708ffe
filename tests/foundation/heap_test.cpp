// The program heap. Figures for 8-byte words:
// - a block is the request plus a header and a trailer word (16 bytes), rounded
//   up to 16 bytes, and at least 32 bytes (header, two list links, trailer);
//   a request of 0 is one of 1;
// - blocks up to 256 bytes use the exact bins ((size AND NOT 7) - 1) / 8, so a
//   request of 240 takes a 256-byte block from bin 31 and one of 241 a 272-byte
//   block from bin 32, the first of the large bins (four per power of two);
//   blocks of more than 16 MiB go to bin 94;
// - a found block up to 16 bytes larger than wanted is taken whole, one 32 bytes
//   (the smallest free block) or more larger is split, the free rest in front;
// - a chunk has a 40-byte header (size, previous, next, padding, marker) and an
//   8-byte end marker; Compact leaves at least 40 bytes (end marker and a free
//   block) below the pages it decommits and 72 bytes (chunk header and a free
//   block) above them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "platform/afx/afx.h"
#include "tests/support/test_child.h"

namespace {

constexpr SIZE_T kMiB = SIZE_T{1} << 20;
constexpr SIZE_T kWord = sizeof(UINT_PTR);
constexpr SIZE_T kChunkHeader = sizeof(HeapChunk);

// Allocated from g_heap during static construction, before main: the global heap
// must be ready whatever the order in which static objects are built.
void* const s_staticInitBlock = g_heap.Alloc(100);

SIZE_T PageSize() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwPageSize;
}

BYTE* BlockOf(void* p) {
    return static_cast<BYTE*>(p) - kWord;
}

// How many of the pages in [start, start + bytes) are resident.
size_t ResidentPages(void* start, SIZE_T bytes) {
    std::vector<unsigned char> pages(bytes / PageSize());
    if (mincore(start, bytes, pages.data()) != 0) {
        ADD_FAILURE() << "mincore failed";
        return pages.size();
    }
    return static_cast<size_t>(
        std::count_if(pages.begin(), pages.end(), [](unsigned char page) { return page & 1; }));
}

std::vector<BYTE*> AllFreeBlocks(const CHeap& heap) {
    std::vector<BYTE*> blocks;
    for (int bin = 0; bin < CHeap::kBinCount; ++bin) {
        std::vector<BYTE*> inBin = heap.BinBlocks(bin);
        blocks.insert(blocks.end(), inBin.begin(), inBin.end());
    }
    return blocks;
}

SIZE_T SizeOfBlock(BYTE* block) {
    return *reinterpret_cast<UINT_PTR*>(block);
}

void ExpectConsistent(const CHeap& heap) {
    std::string problem;
    EXPECT_TRUE(heap.CheckConsistency(&problem)) << problem;
}

// Requests laid end to end, returned in address order. A large free block is
// made at the start of a fresh heap's chunk, and every later request is cut from
// its back, so allocating from the last request to the first lays them out
// upwards.
std::vector<void*> AllocInAddressOrder(CHeap& heap, const std::vector<SIZE_T>& requests) {
    void* space = heap.Alloc(256 * 1024);
    heap.Alloc(16);
    heap.Free(space);
    std::vector<void*> blocks(requests.size());
    for (size_t i = requests.size(); i-- > 0;) {
        blocks[i] = heap.Alloc(requests[i]);
    }
    for (size_t i = 0; i + 1 < blocks.size(); ++i) {
        EXPECT_EQ(BlockOf(blocks[i]) + CHeap::BlockSize(blocks[i]), BlockOf(blocks[i + 1]));
    }
    return blocks;
}

// Takes every free block whole, so that no free space is left. The front of the
// lowest non-empty bin is what a request of exactly its size finds first.
void TakeAllFreeSpace(CHeap& heap, std::vector<void*>* taken) {
    for (;;) {
        std::vector<BYTE*> free = AllFreeBlocks(heap);
        if (free.empty()) {
            return;
        }
        void* p = heap.Alloc(SizeOfBlock(free.front()) - 2 * kWord);
        ASSERT_EQ(BlockOf(p), free.front());
        taken->push_back(p);
    }
}

class HeapTest : public testing::Test {
  protected:
    void SetUp() override {
        savedFigures_ = platform::GetHandheldMemory();
        g_outOfMemory.store(0);
    }
    void TearDown() override {
        platform::SetVirtualAllocFilter({});
        platform::SetHandheldMemory(savedFigures_);
        g_outOfMemory.store(0);
    }

    platform::HandheldMemory savedFigures_;
    CHeap heap_;
};

TEST_F(HeapTest, BlockSizesAndBins) {
    struct Case {
        SIZE_T request;
        SIZE_T blockSize;
    };
    for (Case c : std::vector<Case>{{0, 32}, {1, 32}, {16, 32}, {17, 48}, {240, 256}, {241, 272}}) {
        EXPECT_EQ(CHeap::BlockSizeFor(c.request), c.blockSize) << c.request;
    }
    struct BinCase {
        SIZE_T blockSize;
        int bin;
    };
    for (BinCase c : std::vector<BinCase>{{32, 3},
                                          {48, 5},
                                          {256, 31},
                                          {257, 32},
                                          {320, 32},
                                          {321, 33},
                                          {512, 35},
                                          {513, 36},
                                          {1040, 40},
                                          {1280, 40},
                                          {1281, 41},
                                          {16 * kMiB, 95},
                                          {16 * kMiB + 1, 94},
                                          {SIZE_T{1} << 40, 94}}) {
        EXPECT_EQ(CHeap::BinIndex(c.blockSize), c.bin) << c.blockSize;
    }
}

TEST_F(HeapTest, FreedBlockComesBackWholeFromItsBin) {
    struct Case {
        SIZE_T request;
        SIZE_T blockSize;
        int bin;
    };
    // The last exact bin, the first large bin, and the smallest block.
    for (Case c : std::vector<Case>{{240, 256, 31}, {241, 272, 32}, {0, 32, 3}}) {
        CHeap heap;
        // p ends the chunk; the block allocated after it lies just below it.
        void* first = heap.Alloc(16);
        void* p = heap.Alloc(c.request);
        void* below = heap.Alloc(16);
        EXPECT_EQ(reinterpret_cast<UINT_PTR>(p) % 16, 0u);
        EXPECT_EQ(CHeap::BlockSize(p), c.blockSize);
        heap.Free(p);
        EXPECT_EQ(heap.BinBlocks(c.bin), std::vector<BYTE*>{BlockOf(p)}) << c.request;
        EXPECT_EQ(heap.Alloc(c.request), p);
        EXPECT_TRUE(heap.BinBlocks(c.bin).empty());
        std::string problem;
        EXPECT_TRUE(heap.CheckConsistency(&problem)) << problem;
        heap.Free(first);
        heap.Free(below);
    }
}

TEST_F(HeapTest, LargeBinIsSortedAndServedFirstFit) {
    // Blocks of 1040 and 1072 bytes share bin 40; a 1056-byte block is wanted.
    for (bool smallerFirst : {true, false}) {
        CHeap heap;
        std::vector<void*> blocks = AllocInAddressOrder(heap, {16, 1024, 16, 1056, 16});
        void* smaller = blocks[1];
        void* larger = blocks[3];
        heap.Free(smallerFirst ? smaller : larger);
        heap.Free(smallerFirst ? larger : smaller);
        EXPECT_EQ(heap.BinBlocks(40), (std::vector<BYTE*>{BlockOf(smaller), BlockOf(larger)}));
        void* p = heap.Alloc(1040);
        EXPECT_EQ(p, larger);  // 16 bytes over: taken whole
        EXPECT_EQ(CHeap::BlockSize(p), 1072u);
        EXPECT_EQ(heap.BinBlocks(40), std::vector<BYTE*>{BlockOf(smaller)});
        ExpectConsistent(heap);
        heap.Free(p);
        for (void* guard : {blocks[0], blocks[2], blocks[4]}) {
            heap.Free(guard);
        }
        ExpectConsistent(heap);
    }
}

TEST_F(HeapTest, FoundBlockIsSplitOnlyWhenTheRestCanBeFree) {
    struct Case {
        SIZE_T freedRequest;  // makes the free block
        SIZE_T request;
        bool split;
    };
    for (Case c : std::vector<Case>{{1056, 1040, false},  // 1072 for 1056: 16 over
                                    {1056, 1024, true},   // 1072 for 1040: 32 over
                                    {32, 16, false},      // 48 for 32
                                    {48, 16, true}}) {    // 64 for 32
        CHeap heap;
        // freed ends the chunk, with an allocated block below it.
        void* first = heap.Alloc(16);
        void* freed = heap.Alloc(c.freedRequest);
        void* below = heap.Alloc(16);
        heap.Free(freed);
        SIZE_T freeSize = CHeap::BlockSize(freed);
        SIZE_T wanted = CHeap::BlockSizeFor(c.request);
        void* p = heap.Alloc(c.request);
        if (c.split) {
            // The back is handed out; the front stays free in the bin of its size.
            EXPECT_EQ(BlockOf(p), BlockOf(freed) + (freeSize - wanted));
            EXPECT_EQ(CHeap::BlockSize(p), wanted);
            EXPECT_EQ(heap.BinBlocks(CHeap::BinIndex(freeSize - wanted)),
                      std::vector<BYTE*>{BlockOf(freed)});
        } else {
            EXPECT_EQ(p, freed);
            EXPECT_EQ(CHeap::BlockSize(p), freeSize);
        }
        std::string problem;
        EXPECT_TRUE(heap.CheckConsistency(&problem)) << problem;
        heap.Free(first);
        heap.Free(below);
    }
}

TEST_F(HeapTest, ThreeAdjacentBlocksCoalesceInAnyFreeOrder) {
    std::array<int, 3> order = {0, 1, 2};
    do {
        CHeap heap;
        std::vector<void*> layout = AllocInAddressOrder(heap, {16, 100, 300, 1000, 16});
        void* a = layout[1];
        void* b = layout[2];
        void* c = layout[3];
        std::array<void*, 3> blocks = {a, b, c};
        SIZE_T total = CHeap::BlockSize(a) + CHeap::BlockSize(b) + CHeap::BlockSize(c);
        for (int i : order) {
            heap.Free(blocks[i]);
        }
        std::vector<BYTE*> bin = heap.BinBlocks(CHeap::BinIndex(total));
        EXPECT_NE(std::find(bin.begin(), bin.end(), BlockOf(a)), bin.end());
        EXPECT_EQ(SizeOfBlock(BlockOf(a)), total) << "order " << order[0] << order[1] << order[2];
        std::string problem;
        EXPECT_TRUE(heap.CheckConsistency(&problem)) << problem;
        heap.Free(layout[0]);
        heap.Free(layout[4]);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(HeapTest, HugeFreeBlockServesRequestsOfTheLastBin) {
    void* huge = heap_.Alloc(20 * kMiB);  // 20 MiB: bin 94 once free
    void* guard = heap_.Alloc(16);
    heap_.Free(huge);
    BYTE* top = heap_.CommittedTop();
    SIZE_T request = 15 * kMiB;  // bin 95
    ASSERT_EQ(CHeap::BinIndex(CHeap::BlockSizeFor(request)), 95);
    BYTE* p = static_cast<BYTE*>(heap_.Alloc(request));
    EXPECT_GE(p, static_cast<BYTE*>(huge));
    EXPECT_LE(p + request, static_cast<BYTE*>(guard));
    EXPECT_EQ(heap_.CommittedTop(), top);
    ExpectConsistent(heap_);
    heap_.Free(p);
    heap_.Free(guard);
}

TEST_F(HeapTest, ReservationIsSizedFromMemoryAndStore) {
    SIZE_T page = PageSize();
    platform::HandheldMemory figures;  // 64 MiB of memory, 32 MiB of store
    platform::SetHandheldMemory(figures);
    CHeap heap;
    EXPECT_EQ(heap.ReservationBase(), nullptr);
    heap.Free(heap.Alloc(1));
    EXPECT_NE(heap.ReservationBase(), nullptr);
    EXPECT_EQ(heap.ReservedSize(), 72 * kMiB + page);
}

TEST_F(HeapTest, FailedReservationsAreRetriedSmallerThenLeaveTheHeapUnreserved) {
    SIZE_T page = PageSize();
    struct Case {
        SIZE_T memory;  // store plus physical memory
        SIZE_T firstTry;
    };
    // Three quarters of the memory plus a page rounds down to exactly 20 MiB; a
    // host with 16 GiB saturates at the largest 32-bit page multiple.
    for (Case c : std::vector<Case>{{((20 * kMiB) - page / 2) / 3 * 4, 20 * kMiB},
                                    {SIZE_T{16} << 30, 0xFFFFFFFFu & ~(page - 1)}}) {
        platform::HandheldMemory figures;
        figures.storeSize = 0;
        figures.storeFree = 0;
        figures.totalPhys = c.memory;
        figures.availPhys = c.memory;
        platform::SetHandheldMemory(figures);
        std::vector<SIZE_T> tries;
        platform::SetVirtualAllocFilter([&tries](SIZE_T size, DWORD type) {
            if (type & MEM_RESERVE) {
                tries.push_back(size);
                return false;
            }
            return true;
        });
        CHeap heap;
        g_outOfMemory.store(0);
        bool raised = false;
        try {
            heap.Alloc(100);
        } catch (CMemoryException* e) {
            raised = true;
            e->Delete();
        }
        platform::SetVirtualAllocFilter({});
        EXPECT_TRUE(raised);
        EXPECT_EQ(g_outOfMemory.load(), 1u);
        EXPECT_EQ(heap.ReservationBase(), nullptr);
        EXPECT_EQ(heap.ReservedSize(), 0u);
        ASSERT_FALSE(tries.empty());
        EXPECT_EQ(tries.front(), c.firstTry);
        for (size_t i = 1; i < tries.size(); ++i) {
            EXPECT_EQ(tries[i - 1] - tries[i], 5 * kMiB);
        }
        EXPECT_GT(tries[tries.size() - 2], 9 * kMiB);
        EXPECT_LE(tries.back(), 9 * kMiB);
        if (c.firstTry == 20 * kMiB) {
            EXPECT_EQ(tries, (std::vector<SIZE_T>{20 * kMiB, 15 * kMiB, 10 * kMiB, 5 * kMiB}));
        }
        ExpectConsistent(heap);
    }
}

TEST_F(HeapTest, RunningOutRaisesTheMemoryExceptionAndLeavesTheHeapSound) {
    enum class Cause { ReservationFull, CommitRefused, OversizeRequest };
    for (Cause cause : {Cause::ReservationFull, Cause::CommitRefused, Cause::OversizeRequest}) {
        platform::HandheldMemory figures;
        figures.storeSize = 0;
        figures.storeFree = 0;
        figures.totalPhys = 8 * kMiB;  // a 6 MiB heap
        platform::SetHandheldMemory(figures);
        CHeap heap;
        g_outOfMemory.store(0);
        std::vector<void*> blocks;
        for (int i = 0; i < 4; ++i) {
            blocks.push_back(heap.Alloc(256 * 1024));
            std::memset(blocks.back(), i + 1, 256 * 1024);
        }
        bool raised = false;
        try {
            switch (cause) {
                case Cause::ReservationFull:
                    for (;;) {
                        blocks.push_back(heap.Alloc(256 * 1024));
                    }
                case Cause::CommitRefused:
                    platform::SetVirtualAllocFilter(
                        [](SIZE_T, DWORD type) { return (type & MEM_COMMIT) == 0; });
                    heap.Alloc(2 * kMiB);
                    break;
                case Cause::OversizeRequest:
                    heap.Alloc(~SIZE_T{0} - 8);
                    break;
            }
        } catch (CMemoryException* e) {
            raised = true;
            e->Delete();
        }
        platform::SetVirtualAllocFilter({});
        EXPECT_TRUE(raised) << static_cast<int>(cause);
        EXPECT_EQ(g_outOfMemory.load(), 1u);
        ExpectConsistent(heap);
        for (size_t i = 0; i < 4; ++i) {
            auto* bytes = static_cast<BYTE*>(blocks[i]);
            EXPECT_EQ(bytes[0], static_cast<BYTE>(i + 1));
            EXPECT_EQ(bytes[256 * 1024 - 1], static_cast<BYTE>(i + 1));
        }
        for (void* p : blocks) {
            heap.Free(p);
        }
        // Room again once the blocks are back.
        void* p = heap.Alloc(1 * kMiB);
        EXPECT_NE(p, nullptr);
        heap.Free(p);
        ExpectConsistent(heap);
    }
}

// Builds the three-page run: [a][B: three pages][c], no other free space, and
// B freed. Returns B's pointer.
void* MakeThreePageRun(CHeap& heap, std::vector<void*>* inUse) {
    SIZE_T page = PageSize();
    void* space = heap.Alloc(8 * page);
    inUse->push_back(heap.Alloc(16));
    heap.Free(space);
    void* c = heap.Alloc(16);
    void* b = heap.Alloc(3 * page - 2 * kWord);
    void* a = heap.Alloc(16);
    inUse->insert(inUse->end(), {a, c});
    TakeAllFreeSpace(heap, inUse);
    std::memset(b, 0xAB, 3 * page - 2 * kWord);
    heap.Free(b);
    return b;
}

struct DecommittedRange {
    BYTE* start;
    BYTE* end;
};

// The whole pages inside B, with room for a chunk end below and a chunk start above.
DecommittedRange ExpectedDecommit(void* b) {
    UINT_PTR page = PageSize();
    UINT_PTR runStart = reinterpret_cast<UINT_PTR>(BlockOf(b));
    UINT_PTR runEnd = runStart + 3 * page;
    UINT_PTR start = (runStart + page - 1) & ~(page - 1);
    if (start - runStart < kWord + CHeap::kMinBlock) {
        start += page;
    }
    UINT_PTR end = runEnd & ~(page - 1);
    if (runEnd - end < kChunkHeader + CHeap::kMinBlock) {
        end -= page;
    }
    return {reinterpret_cast<BYTE*>(start), reinterpret_cast<BYTE*>(end)};
}

TEST_F(HeapTest, CompactSplitsAChunkAroundFreePagesAndALaterRequestRejoinsIt) {
    SIZE_T page = PageSize();
    // The rejoining request: the whole run; 256 bytes short of it; and short of it
    // by the tail's free block and 32 bytes, which the gap and the head alone
    // would serve: the tail's block must still be taken in, or the rest would lie
    // free beside it.
    enum class Request { WholeRun, Short256, ShortOfTail };
    for (Request kind : {Request::WholeRun, Request::Short256, Request::ShortOfTail}) {
        CHeap heap;
        std::vector<void*> inUse;
        void* b = MakeThreePageRun(heap, &inUse);
        ASSERT_EQ(heap.Chunks().size(), 1u);
        DecommittedRange range = ExpectedDecommit(b);
        ASSERT_LT(range.start, range.end);

        heap.Compact();
        ExpectConsistent(heap);
        std::vector<std::pair<BYTE*, SIZE_T>> chunks = heap.Chunks();
        ASSERT_EQ(chunks.size(), 2u);
        EXPECT_EQ(chunks[0].first + chunks[0].second, range.start);
        EXPECT_EQ(chunks[1].first, range.end);
        EXPECT_EQ(ResidentPages(range.start, range.end - range.start), 0u);
        // The head and the tail of the run stay free.
        BYTE* block = BlockOf(b);
        BYTE* tailBlock = range.end + kChunkHeader;
        EXPECT_EQ(SizeOfBlock(block), static_cast<SIZE_T>(range.start - kWord - block));
        SIZE_T tailSize = SizeOfBlock(tailBlock);
        EXPECT_EQ(tailSize, static_cast<SIZE_T>(block + 3 * page - tailBlock));

        SIZE_T shortBy = kind == Request::WholeRun   ? 0
                         : kind == Request::Short256 ? 256
                                                     : tailSize + CHeap::kMinBlock;
        SIZE_T request = 3 * page - shortBy - 2 * kWord;
        void* p = heap.Alloc(request);
        EXPECT_EQ(p, b);
        EXPECT_EQ(heap.Chunks().size(), 1u);
        ExpectConsistent(heap);
        if (shortBy) {
            EXPECT_EQ(SizeOfBlock(block + 3 * page - shortBy), shortBy);
        }
        // The recommitted pages came back empty: they had really been given up.
        EXPECT_EQ(range.start[0], 0);
        EXPECT_EQ(range.start[8], 0);
        std::memset(p, 0x5A, request);
        heap.Free(p);
        for (void* q : inUse) {
            heap.Free(q);
        }
        ExpectConsistent(heap);
    }
}

// A cleared block is clear wherever it comes from: a dirty block of the bins, a
// dirty free block ending the chunk grown by new pages, pages given up by a
// compaction and committed again.
TEST_F(HeapTest, ZeroedBlocksAreClearWhereverTheyComeFrom) {
    const SIZE_T page = PageSize();
    auto clear = [](void* p, SIZE_T n) {
        const BYTE* b = static_cast<const BYTE*>(p);
        return std::all_of(b, b + n, [](BYTE v) { return v == 0; });
    };
    CHeap heap;
    void* first = heap.Alloc(16);
    void* dirty = heap.Alloc(2 * page);
    std::memset(dirty, 0xA5, 2 * page);
    heap.Free(dirty);
    void* fromBins = heap.AllocZeroed(page);
    EXPECT_TRUE(clear(fromBins, page));
    std::memset(fromBins, 0xA5, page);
    heap.Free(fromBins);
    // More than the free block ending the chunk: it is grown by fresh pages.
    void* grown = heap.AllocZeroed(5 * page);
    EXPECT_TRUE(clear(grown, 5 * page));
    std::memset(grown, 0xA5, 5 * page);
    heap.Free(grown);
    heap.Compact();
    void* again = heap.AllocZeroed(6 * page);
    EXPECT_TRUE(clear(again, 6 * page));
    ExpectConsistent(heap);
    heap.Free(again);
    heap.Free(first);
}

TEST_CHILD(heap_touch_decommitted) {
    CHeap heap;
    std::vector<void*> inUse;
    void* b = MakeThreePageRun(heap, &inUse);
    DecommittedRange range = ExpectedDecommit(b);
    heap.Compact();
    struct sigaction action {};
    action.sa_handler = [](int) { _exit(42); };
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
    *static_cast<volatile BYTE*>(range.start) = 1;
    return 0;
}

TEST_F(HeapTest, DecommittedPagesCannotBeTouched) {
    EXPECT_EQ(testing_support::RunChild("heap_touch_decommitted"), 42);
}

TEST_F(HeapTest, CompactGivesAFreeTopBackAndKeepsTheChunkAtTheBase) {
    SIZE_T page = PageSize();
    void* low = heap_.Alloc(100);
    void* big = heap_.Alloc(10 * page);
    void* high = heap_.Alloc(5 * page);
    BYTE* base = heap_.ReservationBase();
    heap_.Free(high);
    heap_.Free(big);
    heap_.Compact();
    ExpectConsistent(heap_);
    // Only the page holding the low block stays.
    EXPECT_EQ(heap_.CommittedTop(), base + page);
    // A chunk wholly free with nothing above it goes, even at less than a page.
    heap_.Free(low);
    heap_.Compact();
    EXPECT_TRUE(heap_.Chunks().empty());
    EXPECT_EQ(heap_.CommittedTop(), base);
    EXPECT_EQ(ResidentPages(base, 16 * page), 0u);
    ExpectConsistent(heap_);
    // The next request starts again at the base.
    void* again = heap_.Alloc(100);
    EXPECT_EQ(BlockOf(again), base + kChunkHeader);
    heap_.Free(again);
}

TEST_F(HeapTest, FreeSpaceBelowALaterChunkIsNotLost) {
    SIZE_T page = PageSize();
    std::vector<void*> inUse;
    MakeThreePageRun(heap_, &inUse);
    heap_.Compact();
    ASSERT_EQ(heap_.Chunks().size(), 2u);
    // Free everything in the lower chunk: it stays at the base, one page long.
    BYTE* split = heap_.Chunks()[1].first;
    std::vector<void*> upper;
    for (void* p : inUse) {
        if (static_cast<BYTE*>(p) < split) {
            heap_.Free(p);
        } else {
            upper.push_back(p);
        }
    }
    heap_.Compact();
    ExpectConsistent(heap_);
    std::vector<std::pair<BYTE*, SIZE_T>> chunks = heap_.Chunks();
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(chunks[0].first, heap_.ReservationBase());
    // The space below the upper chunk is found again.
    BYTE* top = heap_.CommittedTop();
    void* p = heap_.Alloc(3 * page);
    EXPECT_LT(static_cast<BYTE*>(p), split);
    EXPECT_EQ(heap_.CommittedTop(), top);
    ExpectConsistent(heap_);
}

// Random traffic with every block's contents checked before it is freed.
TEST_F(HeapTest, RandomTrafficKeepsTheHeapConsistent) {
    std::mt19937 random(20240611);
    struct Live {
        BYTE* p;
        SIZE_T size;
        BYTE fill;
    };
    std::vector<Live> live;
    auto pickSize = [&random]() -> SIZE_T {
        int kind = std::uniform_int_distribution<int>(0, 99)(random);
        if (kind < 60) {
            return std::uniform_int_distribution<SIZE_T>(0, 256)(random);
        }
        if (kind < 90) {
            return std::uniform_int_distribution<SIZE_T>(257, 4096)(random);
        }
        if (kind < 99) {
            return std::uniform_int_distribution<SIZE_T>(4097, 64 * 1024)(random);
        }
        return std::uniform_int_distribution<SIZE_T>(64 * 1024, 2 * kMiB)(random);
    };
    auto release = [&](size_t index) {
        Live item = live[index];
        for (SIZE_T i = 0; i < item.size; i += 61) {
            ASSERT_EQ(item.p[i], item.fill);
        }
        if (item.size) {
            ASSERT_EQ(item.p[item.size - 1], item.fill);
        }
        heap_.Free(item.p);
        live[index] = live.back();
        live.pop_back();
    };
    for (int op = 1; op <= 20000; ++op) {
        bool allocate = live.empty() || (live.size() < 1500 && random() % 100 < 55);
        if (allocate) {
            SIZE_T size = pickSize();
            BYTE fill = static_cast<BYTE>(random());
            auto* p = static_cast<BYTE*>(heap_.Alloc(size));
            ASSERT_EQ(reinterpret_cast<UINT_PTR>(p) % 16, 0u);
            ASSERT_GE(CHeap::BlockSize(p), size + 2 * kWord);
            std::memset(p, fill, size);
            live.push_back({p, size, fill});
        } else {
            ASSERT_NO_FATAL_FAILURE(release(random() % live.size()));
        }
        if (op % 2500 == 0) {
            heap_.Compact();
        }
        if (op % 500 == 0) {
            std::string problem;
            ASSERT_TRUE(heap_.CheckConsistency(&problem)) << "after op " << op << ": " << problem;
        }
    }
    while (!live.empty()) {
        ASSERT_NO_FATAL_FAILURE(release(live.size() - 1));
    }
    heap_.Compact();
    ExpectConsistent(heap_);
    // At most the base chunk's first page stays committed.
    EXPECT_LE(heap_.CommittedTop() - heap_.ReservationBase(), static_cast<ptrdiff_t>(PageSize()));
}

TEST_F(HeapTest, ThreadsShareTheHeap) {
    constexpr int kThreads = 4;
    std::atomic<bool> stop{false};
    std::atomic<int> faults{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this, t, &faults] {
            std::mt19937 random(t + 1);
            std::vector<std::pair<BYTE*, SIZE_T>> live;
            BYTE fill = static_cast<BYTE>(0x10 + t);
            for (int op = 0; op < 15000; ++op) {
                if (live.size() < 300 && (live.empty() || random() % 100 < 55)) {
                    SIZE_T size = random() % 100 < 90 ? random() % 512 : random() % (32 * 1024);
                    auto* p = static_cast<BYTE*>(heap_.Alloc(size));
                    std::memset(p, fill, size);
                    live.emplace_back(p, size);
                } else {
                    size_t index = random() % live.size();
                    auto [p, size] = live[index];
                    if (size && (p[0] != fill || p[size - 1] != fill || p[size / 2] != fill)) {
                        ++faults;
                    }
                    heap_.Free(p);
                    live[index] = live.back();
                    live.pop_back();
                }
            }
            for (auto [p, size] : live) {
                heap_.Free(p);
            }
        });
    }
    std::thread compactor([this, &stop] {
        while (!stop.load()) {
            heap_.Compact();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (std::thread& worker : workers) {
        worker.join();
    }
    stop.store(true);
    compactor.join();
    EXPECT_EQ(faults.load(), 0);
    ExpectConsistent(heap_);
}

TEST(GlobalHeapTest, IsReadyDuringStaticConstruction) {
    ASSERT_NE(s_staticInitBlock, nullptr);
    EXPECT_NE(g_heap.ReservationBase(), nullptr);
    std::memset(s_staticInitBlock, 0x11, 100);
    void* p = g_heap.Alloc(100);
    EXPECT_NE(p, s_staticInitBlock);
    g_heap.Free(p);
    std::string problem;
    EXPECT_TRUE(g_heap.CheckConsistency(&problem)) << problem;
}

class PageHeapTest : public testing::Test {
  protected:
    void TearDown() override {
        platform::SetVirtualAllocFilter({});
        g_outOfMemory.store(0);
    }
};

TEST_F(PageHeapTest, GrowCommitsInStepsAndShrinkDecommits) {
    SIZE_T page = PageSize();
    std::vector<SIZE_T> commits;
    platform::SetVirtualAllocFilter([&commits](SIZE_T size, DWORD type) {
        if (type == MEM_COMMIT) {
            commits.push_back(size);
        }
        return true;
    });
    CPageHeap buffer;
    ASSERT_NE(buffer.Reserve(200 * page), nullptr);
    auto* base = static_cast<BYTE*>(buffer.Grow(100 * page - 5));
    EXPECT_EQ(base, buffer.Base());
    EXPECT_EQ(buffer.CommittedSize(), 100 * page);
    EXPECT_EQ(commits, (std::vector<SIZE_T>{32 * page, 32 * page, 32 * page, 4 * page}));
    std::memset(base, 1, 100 * page);
    EXPECT_EQ(buffer.Grow(10 * page + 1), base);
    EXPECT_EQ(buffer.CommittedSize(), 11 * page);
    EXPECT_EQ(ResidentPages(base + 11 * page, 89 * page), 0u);
    EXPECT_EQ(base[11 * page - 1], 1);
    EXPECT_EQ(buffer.Grow(201 * page), nullptr);  // more than the reservation
    EXPECT_EQ(buffer.CommittedSize(), 11 * page);
    buffer.Release();
    EXPECT_EQ(buffer.Base(), nullptr);
}

TEST_F(PageHeapTest, GrowReservesExactlyWhenNothingIsReserved) {
    SIZE_T page = PageSize();
    CPageHeap buffer;
    auto* base = static_cast<BYTE*>(buffer.Grow(3 * page + 1));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(buffer.CommittedSize(), 4 * page);
    std::memset(base, 7, 4 * page);
    EXPECT_EQ(buffer.Grow(4 * page + 1), nullptr);  // the reservation is four pages
}

TEST_F(PageHeapTest, FailedCommitRaisesTheMemoryException) {
    SIZE_T page = PageSize();
    CPageHeap buffer;
    ASSERT_NE(buffer.Grow(2 * page), nullptr);
    buffer.Release();
    ASSERT_NE(buffer.Reserve(64 * page), nullptr);
    platform::SetVirtualAllocFilter([](SIZE_T, DWORD type) { return type != MEM_COMMIT; });
    g_outOfMemory.store(0);
    bool raised = false;
    try {
        buffer.Grow(40 * page);
    } catch (CMemoryException* e) {
        raised = true;
        e->Delete();
    }
    EXPECT_TRUE(raised);
    EXPECT_EQ(g_outOfMemory.load(), 1u);
}

}  // namespace
