#include "pathlume/foundation/block_pool.h"

#include "pathlume/foundation/heap.h"
#include "platform/kernel/msgbox.h"

FixedBlockPool::FixedBlockPool(SIZE_T blockSize, LPCWSTR name, bool yieldsLastBlock)
    : blockSize_(blockSize), name_(name), yieldsLastBlock_(yieldsLastBlock) {
    base_ = static_cast<BYTE*>(g_heap.Alloc(kBlockCount * blockSize_));
    // The first run hands the blocks out in address order without reading the
    // ring, so the ring's pages are touched only as blocks come back.
    slots_ = new void*[kBlockCount];
}

FixedBlockPool::~FixedBlockPool() {
    g_heap.Free(base_);
    delete[] slots_;
    base_ = nullptr;
    slots_ = nullptr;
}

void FixedBlockPool::ReportExhausted() const {
    MessageBoxW(nullptr, u"Out of Memory 1", name_, MB_OK | MB_ICONHAND);
}

void FixedBlockPool::ReportRefused() const {
    MessageBoxW(nullptr, u"Out of Memory 2", name_, MB_OK | MB_ICONHAND);
}

void* FixedBlockPool::Alloc() {
    if (take_ == limit_) {
        // The run is empty: the last free block went out and nothing came back
        // since. Reading on would hand out slots whose blocks are in use.
        if (put_ == 0) {
            ReportExhausted();
            return nullptr;
        }
        take_ = 0;
        limit_ = put_;
        put_ = 0;
        firstRun_ = false;
    }
    void* block = firstRun_ ? base_ + take_ * blockSize_ : slots_[take_];
    ++take_;
    if (take_ == limit_) {
        if (put_ == 0) {
            // This was the last free block.
            ReportExhausted();
            if (!yieldsLastBlock_) {
                --take_;  // keep it free rather than lose it
                return nullptr;
            }
        }
        take_ = 0;
        limit_ = put_;
        put_ = 0;
        firstRun_ = false;
    }
    out_.set(IndexOf(block));
    return block;
}

size_t FixedBlockPool::IndexOf(const void* block) const {
    return static_cast<size_t>(static_cast<const BYTE*>(block) - base_) / blockSize_;
}

void FixedBlockPool::Free(void* block) {
    if (!block) {
        return;
    }
    // Storing a block that is not out would hand it out twice later.
    auto* p = static_cast<BYTE*>(block);
    if (p < base_ || p >= base_ + kBlockCount * blockSize_ ||
        static_cast<size_t>(p - base_) % blockSize_ != 0 || !out_.test(IndexOf(block))) {
        ReportRefused();
        return;
    }
    out_.reset(IndexOf(block));
    if (limit_ < kBlockCount) {
        slots_[limit_++] = block;
        return;
    }
    slots_[put_++] = block;
}

BlockAllocator::BlockAllocator() : FixedBlockPool(sizeof(PtrListNode), u"BlockAllocator", true) {}

BlockAllocator2::BlockAllocator2()
    : FixedBlockPool(sizeof(SearchNode), u"BlockAllocator2", false) {}

BlockAllocator g_blockAllocator;
BlockAllocator2 g_blockAllocator2;

// Both lists unlink the same way, with their own link words.
namespace {

template <typename List, typename Node>
void Unlink(List& list, Node* node) {
    if (list.count == 1) {
        list.head = nullptr;
        list.tail = nullptr;
    } else if (node == list.head) {
        list.head = node->next;
        list.head->prev = nullptr;
    } else if (node != list.tail) {
        node->prev->next = node->next;
        node->next->prev = node->prev;
    } else {
        list.tail = node->prev;
        list.tail->next = nullptr;
    }
    --list.count;
}

// Each node is returned only after the walk has left it.
template <typename List, typename Node>
void FreeAll(List& list, void (*freeNode)(Node*)) {
    for (Node* node = list.head; node; node = node->next) {
        if (node->prev) {
            freeNode(node->prev);
        }
    }
    if (list.tail) {
        freeNode(list.tail);
    }
    list.head = nullptr;
    list.tail = nullptr;
    list.count = 0;
}

}  // namespace

PtrListNode* PtrList::Append(UINT_PTR value) {
    auto* node = static_cast<PtrListNode*>(g_blockAllocator.Alloc());
    if (!node) {
        return nullptr;
    }
    node->value = value;
    node->next = nullptr;
    node->prev = tail;
    if (tail) {
        tail->next = node;
    } else {
        head = node;
    }
    tail = node;
    ++count;
    return node;
}

void PtrList::Remove(PtrListNode* node) {
    Unlink(*this, node);
    FreeNode(node);
}

void PtrList::Clear() {
    FreeAll<PtrList, PtrListNode>(*this, &PtrList::FreeNode);
}

void PtrList::FreeNode(PtrListNode* node) {
    g_blockAllocator.Free(node);
}

void SearchNodeList::Init() {
    head = nullptr;
    tail = nullptr;
    count = 0;
    peak = 0;
    total = 0;
}

namespace {

SearchNode* NewSearchNode(UINT_PTR second, DWORD first, DWORD third) {
    auto* node = static_cast<SearchNode*>(g_blockAllocator2.Alloc());
    if (node) {
        node->first = first;
        node->second = second;
        node->third = third;
        node->next = nullptr;
        node->prev = nullptr;
    }
    return node;
}

void CountAdded(SearchNodeList& list) {
    ++list.count;
    if (list.count > list.peak) {
        list.peak = list.count;
    }
    ++list.total;
}

}  // namespace

SearchNode* SearchNodeList::Append(UINT_PTR second, DWORD first, DWORD third) {
    SearchNode* node = NewSearchNode(second, first, third);
    if (!node) {
        return nullptr;
    }
    node->prev = tail;
    if (tail) {
        tail->next = node;
    } else {
        head = node;
    }
    tail = node;
    CountAdded(*this);
    return node;
}

SearchNode* SearchNodeList::AppendCopy(const SearchNode* source) {
    return Append(source->second, source->first, source->third);
}

SearchNode* SearchNodeList::InsertAt(SearchNode* node, UINT_PTR second, DWORD first, DWORD third,
                                     BOOL before) {
    SearchNode* added = NewSearchNode(second, first, third);
    if (!added) {
        return nullptr;
    }
    if (before) {
        added->next = node;
        added->prev = node->prev;
        if (node->prev) {
            node->prev->next = added;
        } else {
            head = added;
        }
        node->prev = added;
    } else {
        added->prev = node;
        added->next = node->next;
        if (node->next) {
            node->next->prev = added;
        } else {
            tail = added;
        }
        node->next = added;
    }
    CountAdded(*this);
    return added;
}

void SearchNodeList::Remove(SearchNode* node) {
    Unlink(*this, node);
    FreeNode(node);
}

void SearchNodeList::Clear() {
    FreeAll<SearchNodeList, SearchNode>(*this, &SearchNodeList::FreeNode);
}

void SearchNodeList::FreeNode(SearchNode* node) {
    g_blockAllocator2.Free(node);
}
