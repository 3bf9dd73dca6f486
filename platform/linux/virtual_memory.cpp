// VirtualAlloc and VirtualFree over anonymous mappings (over the heap under the address
// sanitizer). Each region's length is kept by its base, since a mapping is released by its length
// and VirtualFree is given none.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/linux/kernel.h"
#include "platform/linux/testing.h"

namespace gs::platform::detail {
namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

struct Regions {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::size_t> lengths;
    std::size_t total = 0;  // of the lengths
};

Regions& regions() {
    static Regions* const table = new Regions;  // never destroyed: frees may come at exit
    return *table;
}

std::uintptr_t address(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

#if defined(__SANITIZE_ADDRESS__)
#define GS_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GS_ADDRESS_SANITIZER 1
#endif
#endif

std::size_t pageBytes() {
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// A region's alignment: a huge page where it has a huge page's worth, so that the system can back
// all of it with huge pages.
std::size_t alignmentFor(std::size_t size) {
    return size >= kHugePageBytes ? kHugePageBytes : pageBytes();
}

#if defined(GS_ADDRESS_SANITIZER)
// Under the address sanitizer regions come from the heap, whose every block it knows to the byte:
// a read or write past a region's end is then reported, where a mapping's last page would hide
// it. Returns the region and the length to release it by, or null.
void* mapRegion(std::size_t size, std::size_t& length) {
    // The sanitizer stops the process for a block beyond what its heap serves (2^40 bytes), where
    // VirtualAlloc fails.
    constexpr std::size_t kLargestBlock = std::size_t{1} << 40;
    void* block = nullptr;
    if (size > kLargestBlock || posix_memalign(&block, alignmentFor(size), size) != 0) {
        return nullptr;
    }
    std::memset(block, 0, size);
    length = size;
    return block;
}
void unmapRegion(void* region, std::size_t) {
    std::free(region);
}
#else
void* mapRegion(std::size_t size, std::size_t& length) {
    const std::size_t page = pageBytes();
    length = (size + page - 1) / page * page;
    const std::size_t alignment = alignmentFor(size);
    // Mapped with room to move the start to the boundary; the unused head and tail go back.
    const std::size_t mapped = length + (alignment - page);
    if (length < size || mapped < length) {
        return nullptr;
    }
    void* block = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
    const std::uintptr_t first = address(block);
    const std::uintptr_t start = (first + alignment - 1) & ~(alignment - 1);
    if (start > first) {
        munmap(block, start - first);
    }
    const std::uintptr_t end = start + length;
    if (first + mapped > end) {
        munmap(reinterpret_cast<void*>(end), first + mapped - end);
    }
    auto* region = reinterpret_cast<void*>(start);
#if defined(MADV_HUGEPAGE)
    if (alignment == kHugePageBytes) {
        madvise(region, length, MADV_HUGEPAGE);  // advice: where refused, small pages serve
    }
#endif
    return region;
}
void unmapRegion(void* region, std::size_t length) {
    munmap(region, length);
}
#endif

}  // namespace
}  // namespace gs::platform::detail

using namespace gs::platform::detail;

extern "C" {

LPVOID WINAPI VirtualAlloc(LPVOID requested, SIZE_T size, DWORD type, DWORD protect) {
    if (requested != nullptr || size == 0 || (type & MEM_COMMIT) == 0 ||
        (type & ~(MEM_COMMIT | MEM_RESERVE)) != 0 || protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::size_t length = 0;
    void* region = mapRegion(size, length);
    if (region == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    Regions& table = regions();
    try {
        std::lock_guard lock(table.mutex);
        table.lengths.emplace(address(region), length);
        table.total += length;
    } catch (const std::bad_alloc&) {
        unmapRegion(region, length);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return region;
}

BOOL WINAPI VirtualFree(LPVOID region, SIZE_T size, DWORD type) {
    if (type != MEM_RELEASE || size != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Regions& table = regions();
    std::size_t length = 0;
    {
        std::lock_guard lock(table.mutex);
        const auto found = table.lengths.find(address(region));
        if (found == table.lengths.end()) {
            SetLastError(ERROR_INVALID_ADDRESS);
            return FALSE;
        }
        length = found->second;
        table.lengths.erase(found);
        table.total -= length;
    }
    unmapRegion(region, length);
    return TRUE;
}

SIZE_T gsTestVirtualBytes() {
    Regions& table = regions();
    std::lock_guard lock(table.mutex);
    return table.total;
}

}  // extern "C"
