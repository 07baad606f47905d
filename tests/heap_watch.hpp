// Watches the runtime heap requests the library makes with nothrow new
// (lglse_'s work arrays, lglse1_'s reflection storage) by replacing the
// global allocation functions of the test executable, which the library's
// calls resolve to.  While armed, every nothrow request is counted and its
// size recorded, a chosen one is refused, and the releases of the blocks
// handed out are counted.  Arm from one thread at a time; include from
// exactly one source file of a test executable.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace heap_watch {

constexpr int kMax = 64;  // requests logged
inline std::atomic<bool> armed{false};
inline std::atomic<long> requests{0}, refused{0}, releases{0}, fail_at{0};  // fail_at: the request refused
inline std::size_t sizes[kMax];
inline void* blocks[kMax];

inline void arm(long fail = 0) {
    requests = refused = releases = 0;
    fail_at = fail;
    armed = true;
}
inline void disarm() { armed = false; }
inline std::vector<std::size_t> logged_sizes() { return {sizes, sizes + std::min<long>(requests, kMax)}; }
inline long live() { return requests - refused - releases; }  // blocks handed out and not released

inline void release(void* p) noexcept {
    for (long k = 0; armed && p != nullptr && k < std::min<long>(requests, kMax); ++k)
        if (blocks[k] == p) {
            blocks[k] = nullptr;
            ++releases;
        }
    std::free(p);
}

}  // namespace heap_watch

void* operator new(std::size_t n) {
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (!heap_watch::armed) return std::malloc(n != 0 ? n : 1);
    const long k = ++heap_watch::requests;
    void* p = k == heap_watch::fail_at ? nullptr : std::malloc(n != 0 ? n : 1);
    heap_watch::refused += p == nullptr;
    if (k <= heap_watch::kMax) heap_watch::sizes[k - 1] = n;
    if (k <= heap_watch::kMax) heap_watch::blocks[k - 1] = p;
    return p;
}

void operator delete(void* p) noexcept { heap_watch::release(p); }
void operator delete(void* p, std::size_t) noexcept { heap_watch::release(p); }
