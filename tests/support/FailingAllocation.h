// FailingAllocation.h — lets a test make large allocations fail.
//
// Replaces the global (unaligned) operator new and delete of the test
// program, so include it in exactly one source file per program. While a
// FailAllocationsFrom object lives, every operator new request of at least
// the given size throws std::bad_alloc; smaller requests are served by
// malloc as usual. The replacement also covers allocations made inside the
// library, which resolves operator new to the program's definition.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <new>

namespace OrvantisTest {

inline std::atomic<std::size_t> g_failAllocationsFrom{std::numeric_limits<std::size_t>::max()};

class FailAllocationsFrom {
public:
    explicit FailAllocationsFrom(std::size_t bytes) { g_failAllocationsFrom = bytes; }
    ~FailAllocationsFrom() { g_failAllocationsFrom = std::numeric_limits<std::size_t>::max(); }
    FailAllocationsFrom(const FailAllocationsFrom&) = delete;
    FailAllocationsFrom& operator=(const FailAllocationsFrom&) = delete;
};

inline void* allocateOrNull(std::size_t size) noexcept {
    if (size >= g_failAllocationsFrom.load()) {
        return nullptr;
    }
    return std::malloc(size == 0 ? 1 : size);
}

inline void* allocateOrThrow(std::size_t size) {
    void* p = allocateOrNull(size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

}  // namespace OrvantisTest

void* operator new(std::size_t size) {
    return OrvantisTest::allocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return OrvantisTest::allocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return OrvantisTest::allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return OrvantisTest::allocateOrNull(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
