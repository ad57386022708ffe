// The fixed-size pools and the lists on them. A pool holds 11520 blocks; the
// 12-byte pool still hands out the last free block (with "Out of Memory 1"),
// the 20-byte pool answers null for it, and neither ever hands out a block that
// is in use.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>
#include <vector>

#include "pathlume/foundation/block_pool.h"
#include "platform/kernel/msgbox.h"

namespace {

constexpr int kBlocks = FixedBlockPool::kBlockCount;

struct PoolKind {
    const char* label;
    std::unique_ptr<FixedBlockPool> (*make)();
    const char16_t* caption;
    bool yieldsLastBlock;
};

const PoolKind kPools[] = {
    {"BlockAllocator", [] { return std::unique_ptr<FixedBlockPool>(new BlockAllocator); },
     u"BlockAllocator", true},
    {"BlockAllocator2", [] { return std::unique_ptr<FixedBlockPool>(new BlockAllocator2); },
     u"BlockAllocator2", false},
};

int BoxesWithText(const char16_t* text, const char16_t* caption) {
    int count = 0;
    for (const auto& box : platform::ShownMessageBoxes()) {
        if (box.text == text && box.caption == caption) {
            EXPECT_EQ(box.type & MB_ICONMASK, static_cast<UINT>(MB_ICONHAND));
            ++count;
        }
    }
    return count;
}

// A block of the pool's own stretch, on a block boundary.
bool IsPoolBlock(const FixedBlockPool& pool, void* block) {
    auto* p = static_cast<BYTE*>(block);
    if (p < pool.Base() || p >= pool.Base() + kBlocks * pool.BlockSize()) {
        return false;
    }
    return (p - pool.Base()) % pool.BlockSize() == 0;
}

class PoolTest : public testing::TestWithParam<PoolKind> {
  protected:
    void SetUp() override { platform::ClearMessageBoxes(); }
    void TearDown() override { platform::ClearMessageBoxes(); }
};

TEST_P(PoolTest, ServesItsBlocksThenReportsEveryExhaustedRequest) {
    const PoolKind& kind = GetParam();
    auto pool = kind.make();
    std::set<void*> out;
    for (int i = 0; i < kBlocks - 1; ++i) {
        void* block = pool->Alloc();
        ASSERT_NE(block, nullptr) << i;
        ASSERT_TRUE(IsPoolBlock(*pool, block));
        ASSERT_TRUE(out.insert(block).second) << "handed out twice at " << i;
    }
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    // The request for the last free block.
    void* last = pool->Alloc();
    EXPECT_EQ(BoxesWithText(u"Out of Memory 1", kind.caption), 1);
    if (kind.yieldsLastBlock) {
        ASSERT_NE(last, nullptr);
        EXPECT_TRUE(out.insert(last).second);
    } else {
        EXPECT_EQ(last, nullptr);
    }
    // Every further request is refused and reported; none hands out a used block.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pool->Alloc(), nullptr);
    }
    EXPECT_EQ(BoxesWithText(u"Out of Memory 1", kind.caption), 4);

    // A returned block serves the next request, and it is never one in use.
    void* returned = *out.begin();
    out.erase(returned);
    pool->Free(returned);
    void* again = pool->Alloc();
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(out.insert(again).second);
    EXPECT_EQ(pool->Alloc(), nullptr);
    EXPECT_EQ(static_cast<int>(out.size()), kind.yieldsLastBlock ? kBlocks : kBlocks - 1);
}

TEST_P(PoolTest, NextRunHandsOutTheReturnedBlocksInStoreOrder) {
    const PoolKind& kind = GetParam();
    auto pool = kind.make();
    std::vector<void*> first;
    for (int i = 0; i < 100; ++i) {
        first.push_back(pool->Alloc());
    }
    std::vector<void*> returned;
    for (int i = 0; i < 40; ++i) {
        void* block = first[static_cast<size_t>(i * 2 + 3)];
        returned.push_back(block);
        pool->Free(block);
    }
    // The first run goes on to the end of the array.
    std::set<void*> seen(first.begin(), first.end());
    for (int i = 100; i < kBlocks; ++i) {
        void* block = pool->Alloc();
        ASSERT_TRUE(seen.insert(block).second) << i;
    }
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    // Then the returned blocks, most recently stored last; the very last free
    // block follows the pool's rule.
    for (int i = 0; i < 39; ++i) {
        EXPECT_EQ(pool->Alloc(), returned[static_cast<size_t>(i)]) << i;
    }
    void* last = pool->Alloc();
    EXPECT_EQ(last, kind.yieldsLastBlock ? returned[39] : nullptr);
    EXPECT_EQ(BoxesWithText(u"Out of Memory 1", kind.caption), 1);
}

// A long random run that keeps hitting exhaustion: a block is never handed out
// while it is in use, and a request is refused only when the pool is full.
TEST_P(PoolTest, NeverHandsOutABlockInUse) {
    const PoolKind& kind = GetParam();
    auto pool = kind.make();
    const size_t capacity = kind.yieldsLastBlock ? kBlocks : kBlocks - 1;
    std::mt19937 random(1102);
    std::vector<void*> live;
    std::set<void*> inUse;
    for (int step = 0; step < 200000; ++step) {
        // Phases that mostly allocate and phases that mostly free.
        int allocPercent = (step / 15000) % 2 == 0 ? 80 : 25;
        if (live.empty() || static_cast<int>(random() % 100) < allocPercent) {
            void* block = pool->Alloc();
            if (!block) {
                ASSERT_EQ(inUse.size(), capacity) << "refused with free blocks at " << step;
                continue;
            }
            ASSERT_TRUE(IsPoolBlock(*pool, block));
            ASSERT_TRUE(inUse.insert(block).second) << "block in use handed out at " << step;
            live.push_back(block);
        } else {
            size_t index = random() % live.size();
            void* block = live[index];
            live[index] = live.back();
            live.pop_back();
            inUse.erase(block);
            pool->Free(block);
        }
    }
    EXPECT_EQ(BoxesWithText(u"Out of Memory 2", kind.caption), 0);
}

TEST_P(PoolTest, ABlockReturnedTwiceIsRefused) {
    const PoolKind& kind = GetParam();
    auto pool = kind.make();
    void* block = pool->Alloc();
    pool->Free(block);
    pool->Free(block);
    EXPECT_EQ(BoxesWithText(u"Out of Memory 2", kind.caption), 1);
    // The ring was not overrun: every block comes out exactly once.
    std::set<void*> out;
    for (int i = 0; i < kBlocks - 1; ++i) {
        void* next = pool->Alloc();
        ASSERT_NE(next, nullptr);
        ASSERT_TRUE(out.insert(next).second) << i;
    }
}

// Past the first run the ring has room for a second copy of a block; the pool
// still refuses it, and a block that is free, and one that is not its own.
TEST_P(PoolTest, ABlockNotOutIsRefusedInEveryRun) {
    const PoolKind& kind = GetParam();
    auto pool = kind.make();
    std::vector<void*> out;
    for (int i = 0; i < kBlocks - 1; ++i) {
        out.push_back(pool->Alloc());
    }
    for (int i = 0; i < 10; ++i) {
        pool->Free(out[static_cast<size_t>(i)]);
    }
    // The first run's last block; the next run is the ten returned.
    ASSERT_NE(pool->Alloc(), nullptr);
    pool->Free(out[20]);
    pool->Free(out[20]);
    pool->Free(out[0]);
    int foreign = 0;
    pool->Free(&foreign);
    EXPECT_EQ(BoxesWithText(u"Out of Memory 2", kind.caption), 3);
    // Eleven blocks are free, and each comes out once.
    std::set<void*> again;
    for (int i = 0; i < 11; ++i) {
        void* block = pool->Alloc();
        if (i == 10 && !kind.yieldsLastBlock) {
            EXPECT_EQ(block, nullptr);
            break;
        }
        ASSERT_NE(block, nullptr) << i;
        ASSERT_TRUE(again.insert(block).second) << "handed out twice at " << i;
    }
    EXPECT_EQ(pool->Alloc(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Pools, PoolTest, testing::ValuesIn(kPools),
                         [](const testing::TestParamInfo<PoolKind>& info) {
                             return std::string(info.param.label);
                         });

std::vector<UINT_PTR> Forward(const PtrList& list) {
    std::vector<UINT_PTR> values;
    for (PtrListNode* node = list.head; node; node = node->next) {
        values.push_back(node->value);
    }
    return values;
}

std::vector<UINT_PTR> Backward(const PtrList& list) {
    std::vector<UINT_PTR> values;
    for (PtrListNode* node = list.tail; node; node = node->prev) {
        values.insert(values.begin(), node->value);
    }
    return values;
}

TEST(PtrListTest, RemovesAtEveryPlace) {
    PtrList list;
    std::vector<PtrListNode*> nodes;
    for (UINT_PTR v = 1; v <= 4; ++v) {
        nodes.push_back(list.Append(v));
    }
    list.Remove(nodes[0]);  // the head
    list.Remove(nodes[3]);  // the tail
    EXPECT_EQ(Forward(list), (std::vector<UINT_PTR>{2, 3}));
    EXPECT_EQ(Backward(list), Forward(list));
    EXPECT_EQ(list.head->prev, nullptr);
    EXPECT_EQ(list.tail->next, nullptr);
    PtrListNode* middle = list.Append(9);
    list.Append(10);
    list.Remove(middle);
    EXPECT_EQ(Forward(list), (std::vector<UINT_PTR>{2, 3, 10}));
    EXPECT_EQ(Backward(list), Forward(list));
    EXPECT_EQ(list.count, 3);
    list.Clear();
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(list.count, 0);

    PtrListNode* only = list.Append(5);
    list.Remove(only);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.tail, nullptr);
    EXPECT_EQ(list.count, 0);
}

TEST(PtrListTest, NodesComeBackToThePool) {
    // Far more nodes over time than the pool holds at once.
    PtrList list;
    for (int round = 0; round < 5; ++round) {
        for (int i = 0; i < kBlocks / 2; ++i) {
            ASSERT_NE(list.Append(static_cast<UINT_PTR>(i)), nullptr);
        }
        list.Clear();
    }
    EXPECT_EQ(list.count, 0);
}

TEST(SearchNodeListTest, KeepsOrderCountsAndArgumentPlaces) {
    SearchNodeList list;
    list.Init();
    SearchNode* a = list.Append(/*second=*/2, /*first=*/1, /*third=*/3);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->first, 1u);
    EXPECT_EQ(a->second, 2u);
    EXPECT_EQ(a->third, 3u);
    SearchNode* before = list.InsertAt(a, 20, 10, 30, TRUE);
    SearchNode* after = list.InsertAt(a, 21, 11, 31, FALSE);
    EXPECT_EQ(list.head, before);
    EXPECT_EQ(list.tail, after);
    SearchNode* copy = list.AppendCopy(before);
    EXPECT_EQ(copy->first, 10u);
    EXPECT_EQ(copy->second, 20u);
    EXPECT_EQ(copy->third, 30u);
    EXPECT_EQ(list.tail, copy);
    SearchNode* inner = list.InsertAt(after, 5, 5, 5, TRUE);  // between a and after
    EXPECT_EQ(a->next, inner);
    EXPECT_EQ(after->prev, inner);

    std::vector<SearchNode*> order;
    for (SearchNode* n = list.head; n; n = n->next) {
        order.push_back(n);
    }
    EXPECT_EQ(order, (std::vector<SearchNode*>{before, a, inner, after, copy}));
    EXPECT_EQ(list.count, 5);
    EXPECT_EQ(list.peak, 5);
    EXPECT_EQ(list.total, 5);

    list.Remove(before);
    list.Remove(copy);
    EXPECT_EQ(list.head, a);
    EXPECT_EQ(list.tail, after);
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.peak, 5);
    list.Append(0, 0, 0);
    EXPECT_EQ(list.peak, 5);
    EXPECT_EQ(list.total, 6);
    list.Clear();
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.head, nullptr);
    EXPECT_EQ(list.peak, 5);
    EXPECT_EQ(list.total, 6);
}

}  // namespace
