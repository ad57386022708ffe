#include "platform/kernel/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/kernel/roots.h"

namespace platform {
namespace {

// Every live reservation by base address, so that a commit or decommit can be
// checked against the reservation it falls in and a release unmaps all of it.
struct ReservationTable {
    std::mutex lock;
    std::map<uintptr_t, SIZE_T> sizes;
};

ReservationTable& Reservations() {
    static ReservationTable* table = new ReservationTable;  // outlives static destructors
    return *table;
}

std::mutex g_filterLock;
VirtualAllocFilter g_filter;

std::mutex g_figuresLock;
HandheldMemory g_figures;

SIZE_T PageSize() {
    static const SIZE_T size = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    return size;
}

uintptr_t PageFloor(uintptr_t value) {
    return value & ~(PageSize() - 1);
}

// False when rounding up would wrap around.
bool PageCeil(uintptr_t value, uintptr_t* result) {
    uintptr_t mask = PageSize() - 1;
    if (value > UINTPTR_MAX - mask) {
        return false;
    }
    *result = (value + mask) & ~mask;
    return true;
}

bool HostProtection(DWORD protect, int* prot) {
    switch (protect) {
        case PAGE_NOACCESS:
            *prot = PROT_NONE;
            return true;
        case PAGE_READONLY:
            *prot = PROT_READ;
            return true;
        case PAGE_READWRITE:
            *prot = PROT_READ | PROT_WRITE;
            return true;
        default:
            return false;
    }
}

// The page range [start, end) covering `size` bytes from `address`.
bool PageRange(LPVOID address, SIZE_T size, uintptr_t* start, uintptr_t* end) {
    uintptr_t first = reinterpret_cast<uintptr_t>(address);
    if (size > UINTPTR_MAX - first) {
        return false;
    }
    *start = PageFloor(first);
    return PageCeil(first + size, end);
}

// The reservation holding all of [start, end), or sizes.end(). Called with the
// table's lock held.
std::map<uintptr_t, SIZE_T>::iterator FindReservation(ReservationTable& table, uintptr_t start,
                                                      uintptr_t end) {
    auto it = table.sizes.upper_bound(start);
    if (it == table.sizes.begin()) {
        return table.sizes.end();
    }
    --it;
    if (start < it->first || end > it->first + it->second) {
        return table.sizes.end();
    }
    return it;
}

bool FilterAllows(SIZE_T size, DWORD allocationType) {
    VirtualAllocFilter filter;
    {
        std::lock_guard<std::mutex> guard(g_filterLock);
        filter = g_filter;
    }
    return !filter || filter(size, allocationType);
}

LPVOID Reserve(uintptr_t start, uintptr_t end, bool fixed, bool commit, int prot) {
    ReservationTable& table = Reservations();
    std::lock_guard<std::mutex> guard(table.lock);
    SIZE_T length = end - start;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | (fixed ? MAP_FIXED_NOREPLACE : 0);
    void* base =
        mmap(fixed ? reinterpret_cast<void*>(start) : nullptr, length, PROT_NONE, flags, -1, 0);
    if (base == MAP_FAILED) {
        SetLastError(fixed && errno == EEXIST ? ERROR_INVALID_ADDRESS : ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (fixed && reinterpret_cast<uintptr_t>(base) != start) {
        // A kernel that does not know MAP_FIXED_NOREPLACE treats it as a hint.
        munmap(base, length);
        SetLastError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    if (commit && mprotect(base, length, prot) != 0) {
        munmap(base, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    table.sizes[reinterpret_cast<uintptr_t>(base)] = length;
    return base;
}

}  // namespace

void SetHandheldMemory(const HandheldMemory& figures) {
    std::lock_guard<std::mutex> guard(g_figuresLock);
    g_figures = figures;
}

HandheldMemory GetHandheldMemory() {
    std::lock_guard<std::mutex> guard(g_figuresLock);
    return g_figures;
}

void SetVirtualAllocFilter(VirtualAllocFilter filter) {
    std::lock_guard<std::mutex> guard(g_filterLock);
    g_filter = std::move(filter);
}

}  // namespace platform

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    using namespace platform;
    bool reserve = (allocationType & MEM_RESERVE) != 0;
    bool commit = (allocationType & MEM_COMMIT) != 0;
    int prot = PROT_NONE;
    if (size == 0 || (!reserve && !commit) ||
        (allocationType & ~(MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN)) != 0 ||
        !HostProtection(protect, &prot)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uintptr_t start = 0;
    uintptr_t end = 0;
    if (!PageRange(address, size, &start, &end)) {
        SetLastError(reserve || !address ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    if (!FilterAllows(size, allocationType)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // A commit without an address reserves the range as well.
    if (reserve || !address) {
        return Reserve(start, end, address != nullptr, commit, prot);
    }
    ReservationTable& table = Reservations();
    std::lock_guard<std::mutex> guard(table.lock);
    if (FindReservation(table, start, end) == table.sizes.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return nullptr;
    }
    // Pages that are already committed keep their contents.
    if (mprotect(reinterpret_cast<void*>(start), end - start, prot) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return reinterpret_cast<LPVOID>(start);
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    using namespace platform;
    if (!address || (freeType != MEM_DECOMMIT && freeType != MEM_RELEASE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ReservationTable& table = Reservations();
    std::lock_guard<std::mutex> guard(table.lock);
    uintptr_t where = reinterpret_cast<uintptr_t>(address);
    if (freeType == MEM_RELEASE || size == 0) {
        // The whole reservation: named by its base, with no size.
        if (size != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto it = table.sizes.find(where);
        if (it == table.sizes.end()) {
            SetLastError(FindReservation(table, where, where) == table.sizes.end()
                             ? ERROR_INVALID_ADDRESS
                             : ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (freeType == MEM_RELEASE) {
            munmap(address, it->second);
            table.sizes.erase(it);
        } else {
            madvise(address, it->second, MADV_DONTNEED);
            mprotect(address, it->second, PROT_NONE);
        }
        return TRUE;
    }
    uintptr_t start = 0;
    uintptr_t end = 0;
    if (!PageRange(address, size, &start, &end) ||
        FindReservation(table, start, end) == table.sizes.end()) {
        SetLastError(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    // The pages' contents go; the address space stays reserved.
    madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
    mprotect(reinterpret_cast<void*>(start), end - start, PROT_NONE);
    return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO info) {
    if (!info) {
        return;
    }
    std::memset(info, 0, sizeof *info);
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    if (processors < 1) {
        processors = 1;
    }
    info->dwPageSize = static_cast<DWORD>(platform::PageSize());
    // Reservations are page-aligned here, not on the platform's 64 KB boundaries.
    info->dwAllocationGranularity = info->dwPageSize;
    info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x10000});
    info->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(uintptr_t{0x7FFFFFFEFFFF});
    info->dwNumberOfProcessors = static_cast<DWORD>(processors);
    info->dwActiveProcessorMask =
        processors >= 64 ? ~DWORD_PTR{0} : (DWORD_PTR{1} << processors) - 1;
    if (platform::CurrentSide() == platform::Side::Device) {
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_ARM;
        info->dwProcessorType = PROCESSOR_STRONGARM;
        info->wProcessorLevel = 4;
    } else {
        info->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
        info->dwProcessorType = PROCESSOR_AMD_X8664;
        info->wProcessorLevel = 6;
    }
}

void GlobalMemoryStatus(LPMEMORYSTATUS status) {
    if (!status) {
        return;
    }
    platform::HandheldMemory figures = platform::GetHandheldMemory();
    SIZE_T avail = figures.availPhys < figures.totalPhys ? figures.availPhys : figures.totalPhys;
    std::memset(status, 0, sizeof *status);
    status->dwLength = sizeof *status;
    status->dwMemoryLoad =
        figures.totalPhys == 0
            ? 0
            : static_cast<DWORD>((figures.totalPhys - avail) * 100.0 / figures.totalPhys);
    status->dwTotalPhys = figures.totalPhys;
    status->dwAvailPhys = avail;
    // The handheld has no page file; each process has a 32 MB slot.
    status->dwTotalVirtual = 32u << 20;
    status->dwAvailVirtual = 32u << 20;
}

BOOL GetStoreInformation(LPSTORE_INFORMATION info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::HandheldMemory figures = platform::GetHandheldMemory();
    info->dwStoreSize = figures.storeSize;
    info->dwFreeSize =
        figures.storeFree < figures.storeSize ? figures.storeFree : figures.storeSize;
    return TRUE;
}

namespace {

// Each local block carries its requested size in front, for LocalSize; 16 bytes
// keep the caller's pointer aligned as malloc's is.
struct alignas(16) LocalHeader {
    SIZE_T size;
};

LocalHeader* HeaderOf(HLOCAL memory) {
    return static_cast<LocalHeader*>(memory) - 1;
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    if ((flags & ~static_cast<UINT>(LMEM_ZEROINIT)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bytes > SIZE_MAX - sizeof(LocalHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SIZE_T total = sizeof(LocalHeader) + bytes;
    void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, total) : std::malloc(total);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LocalHeader* header = static_cast<LocalHeader*>(block);
    header->size = bytes;
    return header + 1;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory) {
        std::free(HeaderOf(memory));
    }
    return nullptr;
}

SIZE_T LocalSize(HLOCAL memory) {
    if (!memory) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return HeaderOf(memory)->size;
}
