#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <sys/mman.h>

namespace quirel {

// An allocator for arrays that may grow to many megabytes (the cells of a long recording). Such blocks
// are mapped on a large-page boundary with the advice to back them with large pages, so that filling
// them costs a few page faults instead of thousands; on some machines those faults take longer than
// reading the data from a file. Small blocks come from the ordinary heap.
template <class T> class LargeArrayAllocator {
public:
    using value_type = T;
    static constexpr std::size_t kLargePage = std::size_t{2} << 20;
    static constexpr std::size_t kThreshold = 2 * kLargePage;

    LargeArrayAllocator() = default;
    template <class U> LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kThreshold)
            return std::allocator<T>().allocate(n);
        const std::size_t size = RoundUp(bytes);
        // Mapped one large page longer, then trimmed to a block that starts on a large-page boundary.
        void* raw =
            ::mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            throw std::bad_alloc();
        char* base = static_cast<char*>(raw);
        char* aligned = reinterpret_cast<char*>(RoundUp(reinterpret_cast<std::size_t>(base)));
        if (aligned > base)
            ::munmap(base, static_cast<std::size_t>(aligned - base));
        const std::size_t after = static_cast<std::size_t>(base + size + kLargePage - (aligned + size));
        if (after > 0)
            ::munmap(aligned + size, after);
#ifdef MADV_HUGEPAGE
        ::madvise(aligned, size, MADV_HUGEPAGE);
#endif
        return reinterpret_cast<T*>(aligned);
    }

    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kThreshold)
            std::allocator<T>().deallocate(p, n);
        else
            ::munmap(p, RoundUp(bytes));
    }

    template <class U> bool operator==(const LargeArrayAllocator<U>&) const noexcept {
        return true;
    }

private:
    static std::size_t RoundUp(std::size_t v) {
        return (v + kLargePage - 1) & ~(kLargePage - 1);
    }
};

} // namespace quirel
