// Replacement operator new/delete and an interposed __cxa_guard_acquire.
// No C++ ABI header here: this file declares the guard function itself.
#include "row_counters.h"

#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
std::atomic<long> static_guards{0};

void* counted_allocation(std::size_t size, std::size_t alignment) {
    if (counting.load()) allocations.fetch_add(1);
    if (size == 0) size = 1;
    void* memory = alignment <= alignof(std::max_align_t)
                       ? std::malloc(size)
                       : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size, 0); }
void* operator new[](std::size_t size) { return counted_allocation(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) {
    return counted_allocation(size, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t size, std::align_val_t a) {
    return counted_allocation(size, static_cast<std::size_t>(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

// ThreadSanitizer brings its own guard functions; there the guards are not
// counted.
#if !defined(__SANITIZE_THREAD__)
#define TALVIK_COUNT_GUARDS 1
namespace {
using GuardAcquire = int (*)(std::int64_t*);
std::atomic<GuardAcquire> next_guard_acquire{nullptr};
}  // namespace

extern "C" int __cxa_guard_acquire(std::int64_t* guard) {
    if (counting.load()) static_guards.fetch_add(1);
    GuardAcquire next = next_guard_acquire.load();
    if (next == nullptr) {
        next = reinterpret_cast<GuardAcquire>(dlsym(RTLD_NEXT, "__cxa_guard_acquire"));
        if (next == nullptr) std::abort();
        next_guard_acquire.store(next);
    }
    return next(guard);
}
#endif

namespace talvik::test {

void start_counting() {
    allocations.store(0);
    static_guards.store(0);
    counting.store(true);
}

RowCounts stop_counting() {
    counting.store(false);
    RowCounts counts;
    counts.allocations = allocations.load();
#if defined(TALVIK_COUNT_GUARDS)
    counts.static_guards = static_guards.load();
#else
    counts.static_guards = -1;
#endif
    return counts;
}

}  // namespace talvik::test
