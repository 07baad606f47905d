// The memory service of the fuzz targets, and fault injection for the
// runtime heap.
//
// f_malloc / f_free check each call against the call sites of the library
// (tag, request line, the release line that belongs to it, a byte count
// that is never negative, no null and no unknown block released), hand out
// blocks of exactly the requested size (so AddressSanitizer sees any access
// past their end), filled with a chosen byte, and refuse a chosen request.
// The library's own heap requests (the work arrays of the constrained
// least-squares solver) use the nothrow form of operator new, which is
// replaced here to refuse a chosen request and fill the same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

#include "fuzz_support.hpp"
#include "zolmemsvc.h"

namespace {

struct Site {
    const char* tag;
    std::int32_t request, release;
};

// Every request line of the library with the line that releases its block.
constexpr Site kSites[] = {
    {"lminv", 87, 155},        {"lminv", 102, 154}, {"lminv", 104, 153}, {"lminv", 118, 152},
    {"lgloes", 78, 89},        {"lgloes", 79, 88},  {"mathngsolver", 400, 724},
    {"mathngsolver", 405, 725}, {"febew", 113, 137}, {"febew", 157, 181}, {"febew", 204, 249},
    {"febew", 297, 346},
};

const Site* site_of(const char* tag, std::int32_t line) {
    if (tag == nullptr) return nullptr;
    for (const Site& s : kSites)
        if (s.request == line && std::strcmp(s.tag, tag) == 0) return &s;
    return nullptr;
}

struct Service {
    std::unordered_map<void*, const Site*> live;
    fz::Faults faults;
    int requests = 0;
    int refused = 0;
    int heap_requests = 0;
    unsigned char fill = 0xFF;
};

Service& service() {
    static Service s;
    return s;
}

}  // namespace

namespace fz {

void reset_requests(Faults f) {
    Service& s = service();
    s.faults = f;
    s.requests = 0;
    s.refused = 0;
    s.heap_requests = 0;
}

void set_fill(unsigned char byte) { service().fill = byte; }
int service_requests() { return service().requests; }
int service_refused() { return service().refused; }
long live_blocks() { return static_cast<long>(service().live.size()); }

}  // namespace fz

extern "C" void* f_malloc(std::int32_t size, const char* file, std::int32_t line) {
    Service& s = service();
    const Site* site = site_of(file, line);
    FZ_CHECK(site != nullptr);
    FZ_CHECK(size >= 0);
    ++s.requests;
    if (s.requests == s.faults.service) {
        ++s.refused;
        return nullptr;
    }
    void* p = std::malloc(static_cast<std::size_t>(size));
    if (p == nullptr) std::abort();
    std::memset(p, s.fill, static_cast<std::size_t>(size));
    s.live.emplace(p, site);
    return p;
}

extern "C" void f_free(void* block, const char* file, std::int32_t line) {
    Service& s = service();
    FZ_CHECK(block != nullptr);
    const auto it = s.live.find(block);
    FZ_CHECK(it != s.live.end());
    FZ_CHECK(file != nullptr && std::strcmp(file, it->second->tag) == 0 && line == it->second->release);
    s.live.erase(it);
    std::free(block);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Service& s = service();
    if (++s.heap_requests == s.faults.heap) return nullptr;
    try {
        void* p = ::operator new(size);
        std::memset(p, s.fill, size);
        return p;
    } catch (...) {
        return nullptr;
    }
}
