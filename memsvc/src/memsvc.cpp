// Stand-in for the host's tracked memory service: hands out blocks from the
// runtime heap, remembers each live block with the tags of its request, logs
// every call and can be told to refuse requests.
#include "zolmemsvc_test.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

struct Live {
    const char* file;
    std::int32_t line;
    std::int32_t size;
};

struct Service {
    std::mutex mu;
    std::unordered_map<void*, Live> live;
    std::vector<MemsvcEvent> log;
    bool logging = true;
    std::int64_t requests = 0;
    std::int64_t fail_at = 0;  // absolute request number to refuse; 0 = none
    std::vector<std::pair<std::string, std::int32_t>> fail_sites;
    std::size_t bad_releases = 0;
};

Service& service() {
    static Service s;
    return s;
}

bool site_fails(const Service& s, const char* file, std::int32_t line) {
    for (const auto& [f, l] : s.fail_sites)
        if (l == line && file != nullptr && f == file) return true;
    return false;
}

}  // namespace

extern "C" {

void* f_malloc(std::int32_t size, const char* file, std::int32_t line) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    ++s.requests;
    bool refuse = size < 0 || (s.fail_at != 0 && s.requests == s.fail_at) || site_fails(s, file, line);
    void* block = nullptr;
    if (!refuse) {
        // A request of 0 bytes still gets a block of its own.
        std::size_t bytes = size > 0 ? static_cast<std::size_t>(size) : 1;
        block = std::malloc(bytes);
        if (block != nullptr) {
            // Callers write before they read: fill with NaN bytes so that a
            // read of unwritten scratch shows in the results.
            std::memset(block, 0xFF, bytes);
            s.live.emplace(block, Live{file, line, size});
        }
    }
    if (s.logging)
        s.log.push_back(MemsvcEvent{MEMSVC_REQUEST, file, line, size, block, block == nullptr ? 1 : 0, 0});
    return block;
}

void f_free(void* block, const char* file, std::int32_t line) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    auto it = s.live.find(block);
    bool unknown = it == s.live.end();
    if (unknown) {
        ++s.bad_releases;
    } else {
        s.live.erase(it);
        std::free(block);
    }
    if (s.logging) s.log.push_back(MemsvcEvent{MEMSVC_RELEASE, file, line, 0, block, 0, unknown ? 1 : 0});
}

void memsvc_reset(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.log.clear();
    s.requests = 0;
    s.fail_at = 0;
    s.fail_sites.clear();
    s.bad_releases = 0;
}

void memsvc_set_logging(int on) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.logging = on != 0;
}

size_t memsvc_log_size(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.log.size();
}

int memsvc_log_entry(size_t i, MemsvcEvent* out) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    if (i >= s.log.size() || out == nullptr) return 0;
    *out = s.log[i];
    return 1;
}

size_t memsvc_live_count(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.live.size();
}

size_t memsvc_leak_report(FILE* stream) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    if (stream != nullptr)
        for (const auto& [block, rec] : s.live)
            std::fprintf(stream, "leaked block %p: %d bytes from %s:%d\n", block, rec.size,
                         rec.file != nullptr ? rec.file : "(null)", rec.line);
    return s.live.size();
}

size_t memsvc_bad_release_count(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.bad_releases;
}

void memsvc_fail_nth_request(int64_t k) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.fail_at = k > 0 ? s.requests + k : 0;
}

void memsvc_fail_site(const char* file, int32_t line) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    if (file != nullptr) s.fail_sites.emplace_back(file, line);
}

void memsvc_clear_faults(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    s.fail_at = 0;
    s.fail_sites.clear();
}

int64_t memsvc_request_count(void) {
    Service& s = service();
    std::lock_guard<std::mutex> lock(s.mu);
    return s.requests;
}

}  // extern "C"
