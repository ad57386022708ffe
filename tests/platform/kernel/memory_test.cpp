#include "platform/kernel/memory.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_child.h"

namespace {

constexpr SIZE_T kPage = 4096;

class VirtualMemoryTest : public testing::Test {
  protected:
    void TearDown() override { platform::SetVirtualAllocFilter({}); }
};

TEST(SystemInfoTest, PageSizeAndProcessors) {
    SYSTEM_INFO info;
    std::memset(&info, 0xAB, sizeof info);
    GetSystemInfo(&info);
    EXPECT_EQ(info.dwPageSize, kPage);
    EXPECT_EQ(info.dwPageSize, static_cast<DWORD>(sysconf(_SC_PAGESIZE)));
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_EQ(info.dwAllocationGranularity % info.dwPageSize, 0u);
}

TEST_F(VirtualMemoryTest, ReserveCommitDecommitRelease) {
    const SIZE_T size = 16 * kPage;
    auto* base =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(base) % kPage, 0u);

    // A commit inside the reservation answers the page it starts in.
    auto* second = static_cast<unsigned char*>(
        VirtualAlloc(base + kPage + 10, 2 * kPage, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_EQ(second, base + kPage);
    // 10 + 2 pages reach into a third page: all three are usable.
    EXPECT_EQ(second[0], 0);
    std::memset(second, 0x5A, 3 * kPage);

    // Committing again keeps what is there.
    ASSERT_EQ(VirtualAlloc(second, 3 * kPage, MEM_COMMIT, PAGE_READWRITE), second);
    EXPECT_EQ(second[0], 0x5A);
    EXPECT_EQ(second[3 * kPage - 1], 0x5A);

    // Decommitting the middle page loses its contents, keeps its neighbours'.
    ASSERT_TRUE(VirtualFree(second + kPage, kPage, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(second + kPage, kPage, MEM_COMMIT, PAGE_READWRITE), second + kPage);
    EXPECT_EQ(second[kPage], 0);
    EXPECT_EQ(second[2 * kPage - 1], 0);
    EXPECT_EQ(second[kPage - 1], 0x5A);
    EXPECT_EQ(second[2 * kPage], 0x5A);

    // Size 0 at the base decommits the whole reservation.
    ASSERT_TRUE(VirtualFree(base, 0, MEM_DECOMMIT));
    ASSERT_EQ(VirtualAlloc(base, size, MEM_COMMIT, PAGE_READWRITE), base);
    EXPECT_EQ(second[0], 0);
    EXPECT_EQ(second[2 * kPage], 0);

    ASSERT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    // The space is gone: committing in it fails.
    SetLastError(0);
    EXPECT_EQ(VirtualAlloc(base, kPage, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
}

TEST_F(VirtualMemoryTest, ReserveAndCommitInOneCall) {
    for (DWORD type : {DWORD{MEM_RESERVE | MEM_COMMIT}, DWORD{MEM_COMMIT}}) {
        SCOPED_TRACE(type);
        auto* block = static_cast<unsigned char*>(VirtualAlloc(nullptr, 100, type, PAGE_READWRITE));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block[0], 0);
        block[kPage - 1] = 1;  // the size is rounded up to a page
        EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    }
}

TEST_F(VirtualMemoryTest, ReserveAtAddress) {
    auto* base =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, 8 * kPage, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    ASSERT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
    // The address is free again: a reservation there takes it.
    ASSERT_EQ(VirtualAlloc(base, 4 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE), base);
    base[0] = 1;
    // A second reservation over it is refused.
    SetLastError(0);
    EXPECT_EQ(VirtualAlloc(base + kPage, kPage, MEM_RESERVE, PAGE_NOACCESS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
    EXPECT_EQ(base[0], 1);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

TEST_F(VirtualMemoryTest, RefusedCalls) {
    auto* base =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, 4 * kPage, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(base, nullptr);
    unsigned char outside = 0;
    struct Case {
        const char* what;
        bool alloc;
        void* address;
        SIZE_T size;
        DWORD type;
        DWORD protect;
        DWORD error;
    };
    const Case cases[] = {
        {"alloc of nothing", true, nullptr, 0, MEM_RESERVE, PAGE_READWRITE,
         ERROR_INVALID_PARAMETER},
        {"alloc type missing", true, nullptr, kPage, 0, PAGE_READWRITE, ERROR_INVALID_PARAMETER},
        {"alloc type unknown", true, nullptr, kPage, MEM_RESERVE | MEM_RELEASE, PAGE_READWRITE,
         ERROR_INVALID_PARAMETER},
        {"alloc bad protection", true, nullptr, kPage, MEM_RESERVE, 0x1234,
         ERROR_INVALID_PARAMETER},
        {"commit past the reservation's end", true, base + 3 * kPage, 2 * kPage, MEM_COMMIT,
         PAGE_READWRITE, ERROR_INVALID_ADDRESS},
        {"commit outside any reservation", true, &outside, 1, MEM_COMMIT, PAGE_READWRITE,
         ERROR_INVALID_ADDRESS},
        {"alloc of the whole address space", true, nullptr, ~SIZE_T{0} - 10, MEM_RESERVE,
         PAGE_NOACCESS, ERROR_NOT_ENOUGH_MEMORY},
        {"release with a size", false, base, kPage, MEM_RELEASE, 0, ERROR_INVALID_PARAMETER},
        {"release inside", false, base + kPage, 0, MEM_RELEASE, 0, ERROR_INVALID_PARAMETER},
        {"release unknown", false, &outside, 0, MEM_RELEASE, 0, ERROR_INVALID_ADDRESS},
        {"free of null", false, nullptr, 0, MEM_RELEASE, 0, ERROR_INVALID_PARAMETER},
        {"free type both", false, base, 0, MEM_RELEASE | MEM_DECOMMIT, 0, ERROR_INVALID_PARAMETER},
        {"decommit past the end", false, base + 2 * kPage, 4 * kPage, MEM_DECOMMIT, 0,
         ERROR_INVALID_ADDRESS},
        {"decommit outside", false, &outside, 1, MEM_DECOMMIT, 0, ERROR_INVALID_ADDRESS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        if (c.alloc) {
            EXPECT_EQ(VirtualAlloc(c.address, c.size, c.type, c.protect), nullptr);
        } else {
            EXPECT_FALSE(VirtualFree(c.address, c.size, c.type));
        }
        EXPECT_EQ(GetLastError(), c.error);
    }
    // The refused calls left the reservation whole.
    EXPECT_EQ(VirtualAlloc(base, 4 * kPage, MEM_COMMIT, PAGE_READWRITE), base);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

// The heap's pattern: reservations shrink until one fits.
TEST_F(VirtualMemoryTest, FilterRefusesAndClears) {
    std::vector<std::pair<SIZE_T, DWORD>> asked;
    platform::SetVirtualAllocFilter([&](SIZE_T size, DWORD type) {
        asked.emplace_back(size, type);
        return size <= 0x400000;
    });
    SIZE_T size = 0xE00000;
    void* base = nullptr;
    while (!base && size > 0x900000) {
        SetLastError(0);
        base = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
        if (!base) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
            size -= 0x500000;
        }
    }
    EXPECT_EQ(base, nullptr);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(SIZE_T{0xE00000}, DWORD{MEM_RESERVE}));

    void* small = VirtualAlloc(nullptr, 0x400000, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(small, nullptr);
    // Commits are asked too, so a test can let the reservation succeed and the
    // commit fail.
    EXPECT_NE(VirtualAlloc(small, kPage, MEM_COMMIT, PAGE_READWRITE), nullptr);
    EXPECT_EQ(asked.back(), std::make_pair(SIZE_T{kPage}, DWORD{MEM_COMMIT}));
    EXPECT_TRUE(VirtualFree(small, 0, MEM_RELEASE));

    platform::SetVirtualAllocFilter({});
    base = VirtualAlloc(nullptr, 0xE00000, MEM_RESERVE, PAGE_NOACCESS);
    EXPECT_NE(base, nullptr);
    EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
}

// Touching memory that is not committed must fault, not read zeros: the child
// catches the fault and exits with 42.
TEST_CHILD(touch_uncommitted) {
    struct sigaction action {};
    action.sa_handler = [](int) { _exit(42); };
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
    const std::string& how = args.at(0);
    auto* base = static_cast<volatile unsigned char*>(
        VirtualAlloc(nullptr, 4 * kPage, MEM_RESERVE, PAGE_NOACCESS));
    if (!base) {
        return 1;
    }
    unsigned char* page = const_cast<unsigned char*>(base);
    if (how == "decommitted") {
        VirtualAlloc(page, 4 * kPage, MEM_COMMIT, PAGE_READWRITE);
        page[kPage] = 1;
        VirtualFree(page + kPage, kPage, MEM_DECOMMIT);
    } else if (how == "readonly") {
        VirtualAlloc(page, 4 * kPage, MEM_COMMIT, PAGE_READONLY);
        if (base[kPage] != 0) {
            return 2;
        }
    } else if (how == "released") {
        VirtualFree(page, 0, MEM_RELEASE);
    }
    base[kPage] = 7;
    return 0;
}

TEST(VirtualMemoryFaultTest, AccessOutsideCommittedPagesFaults) {
    for (const char* how : {"reserved", "decommitted", "readonly", "released"}) {
        SCOPED_TRACE(how);
        EXPECT_EQ(testing_support::RunChild("touch_uncommitted", {how}), 42);
    }
}

TEST(MemoryFiguresTest, StatusAndStoreAnswerTheHandheldFigures) {
    platform::HandheldMemory saved = platform::GetHandheldMemory();
    MEMORYSTATUS status;
    std::memset(&status, 0xAB, sizeof status);
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwLength, sizeof status);
    EXPECT_EQ(status.dwTotalPhys, SIZE_T{64} << 20);
    EXPECT_EQ(status.dwAvailPhys, SIZE_T{48} << 20);
    EXPECT_EQ(status.dwMemoryLoad, 25u);
    STORE_INFORMATION store;
    ASSERT_TRUE(GetStoreInformation(&store));
    EXPECT_EQ(store.dwStoreSize, 32u << 20);
    EXPECT_EQ(store.dwFreeSize, 24u << 20);

    platform::HandheldMemory small;
    small.totalPhys = 1000;
    small.availPhys = 100;
    small.storeSize = 500;
    small.storeFree = 600;  // more free than there is: clamped
    platform::SetHandheldMemory(small);
    GlobalMemoryStatus(&status);
    EXPECT_EQ(status.dwTotalPhys, 1000u);
    EXPECT_EQ(status.dwAvailPhys, 100u);
    EXPECT_EQ(status.dwMemoryLoad, 90u);
    ASSERT_TRUE(GetStoreInformation(&store));
    EXPECT_EQ(store.dwStoreSize, 500u);
    EXPECT_EQ(store.dwFreeSize, 500u);

    SetLastError(0);
    EXPECT_FALSE(GetStoreInformation(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    platform::SetHandheldMemory(saved);
}

TEST(LocalMemoryTest, ZeroInitSizeAndFree) {
    auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 300));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(zeroed) % 16, 0u);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(zeroed[i], 0) << i;
    }
    EXPECT_EQ(LocalSize(zeroed), 300u);
    EXPECT_EQ(LocalFree(zeroed), nullptr);

    HLOCAL empty = LocalAlloc(LMEM_FIXED, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(LocalSize(empty), 0u);
    EXPECT_EQ(LocalFree(empty), nullptr);
    EXPECT_EQ(LocalFree(nullptr), nullptr);

    SetLastError(0);
    EXPECT_EQ(LocalAlloc(LPTR, ~SIZE_T{0} - 4), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(0x0002 /* movable */, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
