// The route search's open list pops its items in the very order a heap of whole
// items under std::pop_heap does, equal keys included: a route between equally
// priced ways must not depend on how the heap stores its items.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pathlume/route/router_search.h"

namespace {

TEST(OpenHeapTest, PopsInTheOrderOfAWholeItemHeapWithTies) {
    struct Later {
        bool operator()(const OpenHeap::Item& a, const OpenHeap::Item& b) const {
            return a.key > b.key;
        }
    };
    for (const unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 random(seed);
        OpenHeap heap;
        std::vector<OpenHeap::Item> reference;
        uint32_t next = 0;
        auto item = [&] {
            // Few distinct keys, so that most compare equal.
            const FLOAT key = static_cast<FLOAT>(random() % 7);
            return OpenHeap::Item{key, key * 2, nullptr, next++};
        };
        // Some items appended unordered and ordered at once, as a kept list comes back.
        for (int k = 0; k < 50; ++k) {
            const OpenHeap::Item added = item();
            heap.Append(added);
            reference.push_back(added);
        }
        heap.Order();
        std::make_heap(reference.begin(), reference.end(), Later{});
        for (int step = 0; step < 5000; ++step) {
            if (reference.empty() || random() % 3 != 0) {
                const OpenHeap::Item pushed = item();
                heap.Push(pushed);
                reference.push_back(pushed);
                std::push_heap(reference.begin(), reference.end(), Later{});
            } else {
                ASSERT_FALSE(heap.Empty());
                const OpenHeap::Item top = heap.Top();
                EXPECT_EQ(top.slot, reference.front().slot) << "seed " << seed << " step " << step;
                EXPECT_EQ(top.key, reference.front().key);
                EXPECT_EQ(top.cost, reference.front().cost);
                heap.Pop();
                std::pop_heap(reference.begin(), reference.end(), Later{});
                reference.pop_back();
            }
            ASSERT_EQ(heap.Size(), reference.size());
        }
        while (!reference.empty()) {
            EXPECT_EQ(heap.Top().slot, reference.front().slot);
            heap.Pop();
            std::pop_heap(reference.begin(), reference.end(), Later{});
            reference.pop_back();
        }
        EXPECT_TRUE(heap.Empty());
    }
}

}  // namespace
