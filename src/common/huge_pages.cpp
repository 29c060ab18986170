#include "common/huge_pages.h"

#include <cstdint>
#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

// Under AddressSanitizer, blocks it can watch.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMapped = false;
#else
constexpr bool kMapped = true;
#endif

std::size_t mappedLength(std::size_t bytes) {
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

// The block this thread freed last, mapped whole, kept for the next. Plain
// data, so that a block freed by another thread-local's destructor at the
// thread's end still finds it; KeptRelease unmaps it as the thread ends.
struct KeptBlock {
    void* block = nullptr;
    std::size_t length = 0;
    bool ended = false;  // the thread is ending: nothing more is kept
};
thread_local KeptBlock kept;

struct KeptRelease {
    ~KeptRelease() {
        if (kept.block) munmap(kept.block, kept.length);
        kept = KeptBlock{nullptr, 0, true};
    }
};
thread_local KeptRelease keptRelease;

}  // namespace

std::size_t hugePagesRoom(std::size_t bytes) {
    return bytes < kHugePagesFrom || !kMapped ? bytes : mappedLength(bytes);
}

void* hugePagesAllocate(std::size_t bytes) {
    if (bytes < kHugePagesFrom || !kMapped) return ::operator new(bytes, std::nothrow);
    const std::size_t length = mappedLength(bytes);
    if (kept.block && kept.length == length) {
        void* block = kept.block;
        kept.block = nullptr;
        return block;
    }
    // One huge page more than needed, then cut to a 2 MB boundary: only
    // whole aligned 2 MB ranges can be huge pages.
    if (length > static_cast<std::size_t>(-1) - kHugePage) return nullptr;
    void* map = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return nullptr;
    const auto at = reinterpret_cast<std::uintptr_t>(map);
    const std::uintptr_t aligned = (at + kHugePage - 1) / kHugePage * kHugePage;
    if (aligned > at) munmap(map, aligned - at);
    if (const std::size_t tail = kHugePage - (aligned - at); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    void* block = reinterpret_cast<void*>(aligned);
    madvise(block, length, MADV_HUGEPAGE);  // advice only: refused, small pages serve
    return block;
}

void hugePagesFree(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    if (bytes < kHugePagesFrom || !kMapped) {
        ::operator delete(block);
        return;
    }
    const std::size_t length = mappedLength(bytes);
    if (length <= kKeptHugeBytes && !kept.ended) {
        static_cast<void>(&keptRelease);  // its destructor now runs at the thread's end
        if (kept.block) munmap(kept.block, kept.length);
        kept.block = block;
        kept.length = length;
        return;
    }
    munmap(block, length);
}
