// Fixed-size block pools for the many small list nodes of the route search and
// the route lists, and the two doubly linked lists built on them. Each pool
// carves all of its blocks from one program-heap stretch at start-up; handing
// out and taking back a block is a few index operations on a ring of free-block
// pointers. Used by the user-interface thread only.
#pragma once

#include <bitset>
#include <cstddef>

#include "platform/kernel/wintypes.h"

// A node of PtrList. The value is a full word so that a pointer fits.
struct PtrListNode {
    PtrListNode* next;
    PtrListNode* prev;
    UINT_PTR value;
};

// A node of SearchNodeList; the route search keeps its f32 cost in `third`.
// `second` holds a node or chunk pointer, so it is a full word.
struct SearchNode {
    DWORD first;
    UINT_PTR second;
    SearchNode* next;
    SearchNode* prev;
    DWORD third;
};

// The ring of free blocks: slots [take, limit) are the free blocks of the current
// run; slots [0, put) are blocks returned while the run still reaches the end of
// the array. A run that ends starts the next one over the returned blocks.
class FixedBlockPool {
  public:
    static constexpr int kBlockCount = 11520;

    ~FixedBlockPool();
    FixedBlockPool(const FixedBlockPool&) = delete;
    FixedBlockPool& operator=(const FixedBlockPool&) = delete;

    // One block, or null when none is free (after "Out of Memory 1").
    void* Alloc();
    // Null is ignored. A block that is not out (returned twice, never handed out,
    // or not one of this pool's) is refused after "Out of Memory 2", in every run.
    void Free(void* block);

    SIZE_T BlockSize() const { return blockSize_; }
    BYTE* Base() const { return base_; }

  protected:
    // yieldsLastBlock: the call that takes the last free block still gets it;
    // otherwise that call answers null and the block stays in the pool.
    FixedBlockPool(SIZE_T blockSize, LPCWSTR name, bool yieldsLastBlock);

  private:
    void ReportExhausted() const;
    void ReportRefused() const;
    size_t IndexOf(const void* block) const;

    int take_ = 0;
    int put_ = 0;
    int limit_ = kBlockCount;
    // Until the first run ends, slot i is the i-th block and the ring is not read.
    bool firstRun_ = true;
    BYTE* base_ = nullptr;
    void** slots_ = nullptr;
    // One bit per block, set while it is handed out: the ring alone cannot tell a
    // block returned twice once a later run has begun.
    std::bitset<kBlockCount> out_;
    SIZE_T blockSize_;
    LPCWSTR name_;
    bool yieldsLastBlock_;
};

// Blocks of PtrListNode size. When the last free block is taken the box is shown
// and the block is still handed out, so all 11520 blocks can be in use.
class BlockAllocator : public FixedBlockPool {
  public:
    BlockAllocator();
};

// Blocks of SearchNode size. The request that would take the last free block
// answers null, so at most 11519 blocks are in use at once.
class BlockAllocator2 : public FixedBlockPool {
  public:
    BlockAllocator2();
};

extern BlockAllocator g_blockAllocator;
extern BlockAllocator2 g_blockAllocator2;

// A list of single values in nodes from g_blockAllocator.
struct PtrList {
    PtrListNode* head = nullptr;
    PtrListNode* tail = nullptr;
    int count = 0;

    // The new tail node, or null when the pool gave none.
    PtrListNode* Append(UINT_PTR value);
    void Remove(PtrListNode* node);
    void Clear();
    static void FreeNode(PtrListNode* node);
};

// The route search's open list, in nodes from g_blockAllocator2. `peak` is the
// highest count reached and `total` the number of nodes ever added; neither
// drops when nodes leave.
struct SearchNodeList {
    SearchNode* head = nullptr;
    SearchNode* tail = nullptr;
    int count = 0;
    int peak = 0;
    int total = 0;

    void Init();
    // The arguments come in the route search's order: `second` goes to the
    // node's second word and `first` to its first. The new node, or null.
    SearchNode* Append(UINT_PTR second, DWORD first, DWORD third);
    SearchNode* AppendCopy(const SearchNode* source);
    // A new node next to `node`: before it when `before` is non-zero.
    SearchNode* InsertAt(SearchNode* node, UINT_PTR second, DWORD first, DWORD third, BOOL before);
    void Remove(SearchNode* node);
    void Clear();
    static void FreeNode(SearchNode* node);
};
