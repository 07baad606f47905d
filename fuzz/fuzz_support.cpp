// Fault injection for the runtime heap: the library's own heap requests (the work arrays of the
// constrained least-squares solver) use the nothrow form of operator new,
// which is replaced here so that a chosen request can be refused.
#include <cstddef>
#include <cstdint>
#include <new>

#include "fuzz_support.hpp"

namespace {

int heap_countdown = 0;  // refuse the request that brings it to 0

}  // namespace

namespace fz {

void heap_fail_nth(int k) { heap_countdown = k > 0 ? k : 0; }

}  // namespace fz

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (heap_countdown > 0 && --heap_countdown == 0) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
