// Storage for buffers of a megabyte or more (music, as read and as decoded),
// placed where the kernel can back it with 2 MiB pages. Each 4 KiB page
// first touched is a page fault, and on a virtual machine a costly one: a
// piece of music read and decoded before the menu's first frame was some
// thousand faults, most of the game's start-up time. Smaller buffers come
// from the ordinary heap.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace large_buffer {

inline constexpr size_t PAGE = size_t{2} << 20;      // bytes: one huge page
inline constexpr size_t THRESHOLD = size_t{1} << 20; // bytes: from here on, whole huge pages

// A large block: whole huge pages, aligned to one, so that every page can be
// a huge one. Where the system has no such pages it is an ordinary block.
inline void* allocate(size_t bytes) {
    if (bytes < THRESHOLD) {
        return ::operator new(bytes);
    }
    if (bytes > SIZE_MAX - PAGE) {
        throw std::bad_alloc();
    }
    const size_t rounded = (bytes + PAGE - 1) / PAGE * PAGE;
    void* pBlock = std::aligned_alloc(PAGE, rounded);
    if (pBlock == nullptr) {
        throw std::bad_alloc();
    }
#ifdef MADV_HUGEPAGE
    // Only advice: refused, the block is what it would have been anyway.
    ::madvise(pBlock, rounded, MADV_HUGEPAGE);
#endif
    return pBlock;
}

inline void release(void* pBlock, size_t bytes) {
    if (bytes < THRESHOLD) {
        ::operator delete(pBlock);
    } else {
        std::free(pBlock);
    }
}

} // namespace large_buffer

template <class T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U> explicit LargeAllocator(const LargeAllocator<U>& /*other*/) {}
    T* allocate(size_t count) {
        if (count > SIZE_MAX / sizeof(T)) {
            throw std::bad_alloc();
        }
        return static_cast<T*>(large_buffer::allocate(count * sizeof(T)));
    }
    void deallocate(T* pBlock, size_t count) { large_buffer::release(pBlock, count * sizeof(T)); }
    template <class U> bool operator==(const LargeAllocator<U>& /*other*/) const { return true; }
};

using LargeText = std::basic_string<char, std::char_traits<char>, LargeAllocator<char>>;
template <class T> using LargeVector = std::vector<T, LargeAllocator<T>>;
