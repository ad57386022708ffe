// Virtual memory, memory and store figures, and the local heap.
#pragma once

#include <functional>

#include "platform/kernel/wintypes.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define MEM_FREE 0x00010000
#define MEM_TOP_DOWN 0x00100000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    LPVOID lpMinimumApplicationAddress;
    LPVOID lpMaximumApplicationAddress;
    DWORD_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};
typedef SYSTEM_INFO* LPSYSTEM_INFO;
// Answers as the handheld does on the device side (an ARM processor) and as a PC
// does on the desktop side; page size and processor count are the host's.
void GetSystemInfo(LPSYSTEM_INFO info);
#define PROCESSOR_ARCHITECTURE_INTEL 0
#define PROCESSOR_ARCHITECTURE_MIPS 1
#define PROCESSOR_ARCHITECTURE_SHX 4
#define PROCESSOR_ARCHITECTURE_ARM 5
#define PROCESSOR_ARCHITECTURE_AMD64 9
#define PROCESSOR_INTEL_PENTIUM 586
#define PROCESSOR_AMD_X8664 8664
#define PROCESSOR_MIPS_R4000 4000
#define PROCESSOR_HITACHI_SH3 10003
#define PROCESSOR_ARM720 1824
#define PROCESSOR_STRONGARM 2577

struct MEMORYSTATUS {
    DWORD dwLength;
    DWORD dwMemoryLoad;
    SIZE_T dwTotalPhys;
    SIZE_T dwAvailPhys;
    SIZE_T dwTotalPageFile;
    SIZE_T dwAvailPageFile;
    SIZE_T dwTotalVirtual;
    SIZE_T dwAvailVirtual;
};
typedef MEMORYSTATUS* LPMEMORYSTATUS;
void GlobalMemoryStatus(LPMEMORYSTATUS status);

struct STORE_INFORMATION {
    DWORD dwStoreSize;
    DWORD dwFreeSize;
};
typedef STORE_INFORMATION* LPSTORE_INFORMATION;
BOOL GetStoreInformation(LPSTORE_INFORMATION info);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
typedef HANDLE HLOCAL;
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
HLOCAL LocalFree(HLOCAL memory);
// The usable size of a block from LocalAlloc, as it was asked for.
SIZE_T LocalSize(HLOCAL memory);

namespace platform {

// The figures GlobalMemoryStatus and GetStoreInformation answer with: a
// handheld's, 64 MB of memory and 32 MB of store by default.
struct HandheldMemory {
    SIZE_T totalPhys = 64u << 20;
    SIZE_T availPhys = 48u << 20;
    DWORD storeSize = 32u << 20;
    DWORD storeFree = 24u << 20;
};
void SetHandheldMemory(const HandheldMemory& figures);
HandheldMemory GetHandheldMemory();

// Test hook: when set, VirtualAlloc asks it first and fails (returns null with
// ERROR_NOT_ENOUGH_MEMORY) when it answers false. Pass an empty function to clear.
using VirtualAllocFilter = std::function<bool(SIZE_T size, DWORD allocationType)>;
void SetVirtualAllocFilter(VirtualAllocFilter filter);

}  // namespace platform
