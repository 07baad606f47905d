// Watches the runtime heap requests the library makes with nothrow new
// (lglse_'s work arrays, lglse1_'s reflection storage) by replacing the
// global allocation functions of the test executable, which the library's
// calls resolve to.  While armed, every nothrow request is counted and its
// size recorded, a chosen one can be refused, and releases are counted.
// Include from exactly one source file of a test executable.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <vector>

namespace heap_watch {

inline std::atomic<bool> armed{false};
inline std::atomic<long> fail_at{0};  // 1-based nothrow request to refuse
inline std::atomic<long> requests{0};
inline std::atomic<long> refused{0};
inline std::atomic<long> releases{0};
inline constexpr int kMaxLogged = 64;
inline std::size_t sizes[kMaxLogged];
inline void* blocks[kMaxLogged];  // handed out while armed; arm from one thread only

// Arms the watch: counts from zero, refuses request `fail` (0: none).
inline void arm(long fail = 0) {
    for (void*& b : blocks) b = nullptr;
    requests = 0;
    refused = 0;
    releases = 0;
    fail_at = fail;
    armed = true;
}
inline void disarm() { armed = false; }
inline std::vector<std::size_t> logged_sizes() {
    const long n = requests < kMaxLogged ? requests.load() : kMaxLogged;
    return std::vector<std::size_t>(sizes, sizes + n);
}
// Blocks handed out by counted requests and not yet released.
inline long live() { return requests - refused - releases; }

}  // namespace heap_watch

void* operator new(std::size_t n) {
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    if (heap_watch::armed) {
        const long k = ++heap_watch::requests;
        if (k <= heap_watch::kMaxLogged) heap_watch::sizes[k - 1] = n;
        if (k == heap_watch::fail_at) {
            ++heap_watch::refused;
            return nullptr;
        }
        void* p = std::malloc(n != 0 ? n : 1);
        if (k <= heap_watch::kMaxLogged) heap_watch::blocks[k - 1] = p;
        return p;
    }
    return std::malloc(n != 0 ? n : 1);
}

namespace heap_watch {
// Counts only the release of a block from a counted request (other code,
// such as the memory service's own bookkeeping, also uses the heap).
inline void release(void* p) noexcept {
    if (p != nullptr && armed) {
        const long n = requests < kMaxLogged ? requests.load() : kMaxLogged;
        for (long i = 0; i < n; ++i)
            if (blocks[i] == p) {
                blocks[i] = nullptr;
                ++releases;
                break;
            }
    }
    std::free(p);
}
}  // namespace heap_watch

void operator delete(void* p) noexcept { heap_watch::release(p); }
void operator delete(void* p, std::size_t) noexcept { heap_watch::release(p); }
