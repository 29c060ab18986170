// Large buffers in memory the kernel may back with 2 MB pages. Memory new to
// a process costs a page fault for each 4 kB page it touches, and on a
// virtual machine a fault can cost more than the work done on its page: the
// first confidence files a worker read made half of all its page faults. A
// block of a megabyte or more is mapped on a 2 MB boundary and advised for
// huge pages (a machine that allows them only on request then gives them;
// one that refuses gives small pages, as before). Each thread keeps the
// last block it freed, up to kKeptHugeBytes, for the next of that size.
// Under AddressSanitizer every block comes from operator new, which it
// watches.
#pragma once

#include <cstddef>
#include <new>

inline constexpr std::size_t kHugePagesFrom = std::size_t(1) << 20;
inline constexpr std::size_t kKeptHugeBytes = std::size_t(64) << 20;

// At least `bytes` (more than zero), or nullptr when there is no memory.
// Its contents are undefined.
void* hugePagesAllocate(std::size_t bytes);
// The bytes a block for `bytes` holds (its use may reach them all).
std::size_t hugePagesRoom(std::size_t bytes);
// A block from hugePagesAllocate(bytes), with the same `bytes`.
void hugePagesFree(void* block, std::size_t bytes) noexcept;

// For containers whose large buffers should come from hugePagesAllocate.
template <class T>
struct HugePageAllocator {
    using value_type = T;
    HugePageAllocator() = default;
    template <class U>
    HugePageAllocator(const HugePageAllocator<U>&) {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        void* p = hugePagesAllocate(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t n) noexcept { hugePagesFree(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const HugePageAllocator<U>&) const { return true; }
};
