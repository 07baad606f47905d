// Fuzz targets built from the call shapes of tests/digest/calls.cpp, one per
// family of exports (FUZZ_FIRST, FUZZ_COUNT: its range of the calls).  An
// input is a fault byte (0xC0..0xDF: the memory service refuses request
// 1..8 of the call; 0xE0..0xFF: the runtime heap refuses nothrow request
// 1..8), a selector byte (the export: its index among the calls, or any
// other value modulo the family) and the bytes the call draws from.  A call
// that asked for memory runs a second time with fresh blocks filled with
// other bytes, and must give the same outputs.  A failed check of the call
// aborts once the call is done.
//
// The targets' memory service checks every request and release against the
// documented call sites and hands out blocks of exactly the requested size.
// With ZOLMATH_FUZZ_SEEDS=DIR in the environment a target writes the inputs
// of the digest's first calls of its exports to DIR and exits; with
// ZOLMATH_FUZZ_TRACE set it names the export of each call on stderr.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>

#include "calls.hpp"
#include "zolmemsvc.h"

namespace {

std::map<void*, const zc::Site*> live;  // the blocks of the memory service
int requests[2], refuse[2];             // the memory service, the heap; refuse: the request refused, from 1
unsigned char fill = 0xFF;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool refusing(int which) { return ++requests[which] == refuse[which]; }
int refused(int which) { return refuse[which] > 0 && requests[which] >= refuse[which]; }

}  // namespace

extern "C" void* f_malloc(std::int32_t size, const char* tag, std::int32_t line) {
    const zc::Site* site = nullptr;
    for (const zc::Site& s : zc::kSites)
        site = tag != nullptr && line == s.request && std::strcmp(tag, s.tag) == 0 ? &s : site;
    if (site == nullptr || size < 0) fail("a request from an undocumented site, or of a negative size");
    if (refusing(0)) return nullptr;
    void* p = std::memset(std::malloc(static_cast<std::size_t>(size)), fill, static_cast<std::size_t>(size));
    live[p] = site;
    return p;
}

extern "C" void f_free(void* block, const char* tag, std::int32_t line) {
    const auto it = live.find(block);
    if (it == live.end() || tag == nullptr || std::strcmp(tag, it->second->tag) != 0 || line != it->second->release)
        fail("a release of a block not obtained, or at another line");
    live.erase(it);
    std::free(block);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return refusing(1) ? nullptr : std::memset(::operator new(size), fill, size);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("ZOLMATH_FUZZ_SEEDS");
    for (int e = FUZZ_FIRST; dir != nullptr && e < FUZZ_FIRST + FUZZ_COUNT; ++e)
        for (int rep = 0; rep < 6; ++rep) {
            const zc::Call& c = zc::calls()[static_cast<std::size_t>(e)];
            zc::Draw d(zc::seed(c, rep, 0));
            zc::run(c, d);
            std::FILE* f = std::fopen((std::string(dir) + "/" + c.name + "-" + std::to_string(rep)).c_str(), "wb");
            if (f == nullptr) fail("cannot write a seed");
            d.used.insert(d.used.begin(), {0, static_cast<std::uint8_t>(e)});  // no fault, the export
            std::fwrite(d.used.data(), 1, d.used.size(), f);
            std::fclose(f);
        }
    if (dir != nullptr) std::exit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool mine = data[1] >= FUZZ_FIRST && data[1] < FUZZ_FIRST + FUZZ_COUNT;
    const zc::Call& c = zc::calls()[static_cast<std::size_t>(mine ? data[1] : FUZZ_FIRST + data[1] % FUZZ_COUNT)];
    if (std::getenv("ZOLMATH_FUZZ_TRACE") != nullptr) std::fprintf(stderr, "call %s\n", c.name);
    std::vector<unsigned char> first;
    for (const unsigned char byte : {0xFF, 0x00}) {
        fill = byte;
        requests[0] = requests[1] = 0;
        refuse[0] = data[0] >= 0xC0 && data[0] < 0xE0 ? data[0] % 8 + 1 : 0;
        refuse[1] = data[0] >= 0xE0 ? data[0] % 8 + 1 : 0;
        zc::Draw d(data + 2, size - 2);
        d.fault = [] { return refused(0) ? 1 : refused(1) ? 2 : 0; };
        zc::run(c, d);
        if (!d.failed.empty()) fail(d.failed.c_str());
        if (!live.empty()) fail("blocks of the memory service left live");
        if (byte == 0x00 && d.sink != first) fail("the outputs depend on the contents of fresh blocks");
        if (requests[0] + requests[1] == 0) break;  // nothing asked for: once is enough
        first = d.sink;
    }
    return 0;
}
