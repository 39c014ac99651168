#pragma once
// The allocator of the data set's raw columns. Their memory comes zeroed from
// the system, and sizing a vector does not write its elements again, so a
// fresh data set of MaxColumns x MaxSamples zeros costs no memory page until
// a sample of it is written: a load of a file touches only the columns and
// samples the file fills.
//
// The elements a vector gains when it grows keep what the memory holds, which
// is zero for a vector sized once: the raw columns keep their size for life.
#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#include <sys/mman.h>

#if defined(__SANITIZE_ADDRESS__)
#define HALVETRA_ZEROED_FROM_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALVETRA_ZEROED_FROM_HEAP 1
#endif
#endif

namespace halvetra {

template <class T>
struct ZeroedAllocator {
    static_assert(std::is_trivial_v<T>, "zero bytes must be a value of T");
    using value_type = T;

    ZeroedAllocator() noexcept = default;
    template <class U>
    ZeroedAllocator(const ZeroedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = n * sizeof(T);
        void* memory = nullptr;
        if (FromPages(bytes)) {
            // Fresh pages of the system read as zero and cost nothing until written.
            memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED) memory = nullptr;
        } else {
            memory = std::calloc(n, sizeof(T));
        }
        if (memory == nullptr) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }

    void deallocate(T* p, std::size_t n) noexcept {
        if (FromPages(n * sizeof(T)))
            ::munmap(p, n * sizeof(T));
        else
            std::free(p);
    }

    // Sizing leaves the zeros of allocate; copies and assignments write as usual.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Arguments>
    void construct(U* p, Arguments&&... arguments) {
        ::new (static_cast<void*>(p)) U(std::forward<Arguments>(arguments)...);
    }

    friend bool operator==(const ZeroedAllocator&, const ZeroedAllocator&) noexcept { return true; }

private:
    // Whole pages for blocks of at least 32 KiB; the heap for smaller ones, and
    // for all under AddressSanitizer, which watches the heap's bounds.
    static bool FromPages([[maybe_unused]] std::size_t bytes) noexcept {
#ifdef HALVETRA_ZEROED_FROM_HEAP
        return false;
#else
        return bytes >= 32 * 1024;
#endif
    }
};

}  // namespace halvetra
