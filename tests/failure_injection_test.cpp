// Failure injection: every call of tests/digest/calls.cpp is run as it is,
// with the memory service and the runtime heap (nothrow new) watched, and
// must make exactly its documented requests: tag, line and byte count to the
// service (lminv_, lgloes_, MathNonLinearSolver, febew, and lmmatc_ and
// lmmat_ through lminv_), the work arrays of lglse_ and lglse1_ (also as
// reached through lminv_, lmmatc_ and lmmat_) on the heap, and nothing from
// any other export.  Then each request is refused in turn: nothing is
// requested after the refusal (an empty block of lgloes_ excepted), every
// obtained block is released once, at its own release line and in the
// documented order, nothing stays live, and the call's own checks (its
// status after a refusal, the outputs it leaves alone) hold.  The requests
// are written down here from the documentation of each export.
#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <new>
#include <string>

#include "calls.hpp"
#include "support.hpp"

// The runtime heap requests the library makes with nothrow new (lglse_'s
// work arrays, lglse1_'s reflection storage), watched by replacing the
// global allocation functions of this executable, which the library's calls
// resolve to.  While armed, every nothrow request is counted and its size
// recorded, a chosen one is refused, and the blocks handed out are tracked
// until released.
namespace heap_watch {

constexpr long kMax = 64;  // requests logged
std::atomic<bool> armed{false};
long requests = 0, fail_at = 0, live = 0;  // fail_at: the request refused, from 1
std::size_t sizes[kMax];
void* blocks[kMax];

static void arm(long fail) {
    requests = live = 0;
    fail_at = fail;
    armed = true;
}
static std::vector<zc::i64> logged_sizes() { return {sizes, sizes + std::min(requests, kMax)}; }
static void release(void* p) {
    const long logged = armed && p != nullptr ? std::min(requests, kMax) : 0;
    live -= std::count(blocks, blocks + logged, p);
    std::replace(blocks, blocks + logged, p, static_cast<void*>(nullptr));
    std::free(p);
}

}  // namespace heap_watch

void* operator new(std::size_t n) {
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    using namespace heap_watch;
    const long k = armed ? ++requests : 0;
    void* p = k != 0 && k == fail_at ? nullptr : std::malloc(n != 0 ? n : 1);
    live += k != 0 && p != nullptr;
    if (k != 0 && k <= kMax) sizes[k - 1] = n;
    if (k != 0 && k <= kMax) blocks[k - 1] = p;
    return p;
}

void operator delete(void* p) noexcept { heap_watch::release(p); }
void operator delete(void* p, std::size_t) noexcept { heap_watch::release(p); }

namespace {

using zc::i64;
using Requests = std::vector<std::string>;  // "tag:line:bytes", "!" in front when refused

std::string request(const char* tag, int line, i64 bytes) {
    return std::string(tag) + ":" + std::to_string(line) + ":" + std::to_string(bytes);
}

// lglse_: two arrays of N3 max(N3, ncon, neq) doubles (the second, which
// holds the right-hand sides, at least max(n, neq) nrhs), two of max(n,
// ncon, neq), and with constraints on more than 16 variables the stored
// reflections, (n + 1) ncon doubles.  Rejected counts ask nothing.
std::vector<i64> lse_heap(i64 nrhs, i64 n, i64 ncon, i64 neq) {
    if (n < 1 || ncon < 0 || ncon > n || n > ncon + neq) return {};
    const i64 n3 = std::max<i64>(n, 3), lwork = 8 * n3 * std::max({n3, ncon, neq}), lvec = 8 * std::max({n, ncon, neq});
    std::vector<i64> s = {lwork, std::max(lwork, 8 * std::max(n, neq) * nrhs), lvec, lvec};
    if (ncon > 0 && n > 16) s.push_back(8 * (n + 1) * ncon);
    return s;
}

using Documented = std::pair<Requests, std::vector<i64>>;  // to the service, and the sizes of those to the heap

// The requests of a call run as it is, from its counts and results
// (Draw::shape) and the number of requests it made.
Documented documented(const std::string& name, const std::vector<i64>& s, i64 made) {
    if (name == "lminv_" || name == "lmmatc_" || name == "lmmat_") {
        // lminv_: the Gram matrix (n != m only), the identity and the
        // solutions, n^2 doubles each, once solved n doubles; lglse_ on the
        // heap.  lmmatc_ inverts a 3 by 3 matrix at its last step only (rank
        // 2 or 3, or a failed inversion), lmmat_ through lmmatc_.
        const bool inv = name == "lminv_";
        const i64 n = inv ? std::max<i64>(s[0], 0) : 3, m = inv ? std::max<i64>(s[1], 0) : 3, nn = 8 * n * n;
        const bool reached = inv ? n >= 1 && m >= 1 : made >= 2 || (name == "lmmatc_" && s[0] >= 2);
        Requests r;
        if (reached && n != m) r.push_back(request("lminv", 87, nn));
        if (reached) r.insert(r.end(), {request("lminv", 102, nn), request("lminv", 104, nn)});
        if (reached && (inv ? s[2] == 0 : made != 2)) r.push_back(request("lminv", 118, 8 * n));
        return {r, reached ? lse_heap(n, n, 0, n) : std::vector<i64>{}};
    }
    if (name == "lgloes_") return {{request("lgloes", 78, 8 * s[0]), request("lgloes", 79, 8 * s[1])}, {}};
    if (name == "MathNonLinearSolver" && s[2] != -1 && s[2] != 6) {
        // The pivot record, 4 n bytes; 8 ((3 m + n + 3) n + 3 m) bytes, with
        // m < n 8 (n - m)(n + 1) more for the augmented system.
        const i64 m = s[0], n = s[1], block = 8 * ((3 * m + n + 3) * n + 3 * m) + (m < n ? 8 * (n - m) * (n + 1) : 0);
        return {{request("mathngsolver", 400, 4 * n), request("mathngsolver", 405, block)}, {}};
    }
    if (name == "febew" && s[0] == 2 && s[1] >= 0 && s[1] <= 5 && s[2] >= 1)  // rational nets: 24 bytes a point
        return {{request("febew", std::array{113, 157, 204, 297, 297, 297}[s[1]], 24 * s[2])}, {}};
    if (name == "lglse_") return {{}, lse_heap(s[0], s[1], s[2], s[3])};
    if (name == "lglse1_" && s[4] && lse_heap(s[0], s[1], s[2], s[3]).size() == 5)  // only the reflections
        return {{}, {lse_heap(s[0], s[1], s[2], s[3])[4]}};
    return {};
}

int release_line(const std::string& tag, int line) {
    for (const zc::Site& s : zc::kSites)
        if (tag == s.tag && line == s.request) return s.release;
    return -1;
}

// The service's log against the requests wanted (request `refused` refused):
// every obtained block released once, at its own release line, in
// increasing order of the lines (the documented order of every user), and
// nothing live.
void check_log(Requests want, std::size_t refused) {
    if (refused > 0) want[refused - 1] = "!" + want[refused - 1];
    Requests got;
    std::vector<int> lines, seen;
    std::map<const void*, int> owner;  // a block obtained: its release line (negative in `seen` when another)
    MemsvcEvent e{};
    for (std::size_t i = 0; memsvc_log_entry(i, &e); ++i) {
        if (e.kind == MEMSVC_REQUEST) got.push_back((e.refused ? "!" : "") + request(e.file, e.line, e.size));
        if (e.kind == MEMSVC_REQUEST && !e.refused) lines.push_back(owner[e.block] = release_line(e.file, e.line));
        if (e.kind != MEMSVC_REQUEST) seen.push_back(!e.unknown && owner[e.block] == e.line ? e.line : -e.line);
    }
    EXPECT_EQ(got, want);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(seen, lines) << "releases, in order";
    EXPECT_EQ(memsvc_live_count(), 0u);
}

TEST(FailureInjection, EveryRequestOfEveryCallAndNoneElsewhere) {
    std::map<std::string, int> refusals;
    for (const zc::Call& c : zc::calls())
        for (int rep = 0; rep < 2 * c.reps; ++rep) {
            SCOPED_TRACE(std::string(c.name) + " repetition " + std::to_string(rep));
            const std::uint64_t seed = zc::seed(c, rep % c.reps, static_cast<std::uint64_t>(rep / c.reps));
            Requests service;                 // the documented requests of the call run as it is
            std::vector<i64> on_heap;         // and the sizes of its heap requests
            std::vector<unsigned char> sink;  // the outputs of the call run as it is
            for (std::size_t k = 0; k == 0 || k <= service.size() + on_heap.size(); ++k) {
                // Run k refuses service request k, and then heap request k - (service requests).
                const std::size_t heap = k > service.size() ? k - service.size() : 0, refuse = heap > 0 ? 0 : k;
                memsvc_reset();
                memsvc_fail_nth_request(static_cast<std::int64_t>(refuse));
                heap_watch::arm(static_cast<long>(heap));
                zc::Draw d(seed);
                d.fault = refuse > 0 ? +[] { return 1; } : heap > 0 ? +[] { return 2; } : +[] { return 0; };
                zc::run(c, d);
                heap_watch::armed = false;
                EXPECT_EQ(d.failed, "");
                EXPECT_EQ(heap_watch::live, 0) << "heap blocks left";
                if (k == 0) std::tie(service, on_heap) = documented(c.name, d.shape, memsvc_request_count());
                if (k == 0) sink = d.sink;
                EXPECT_TRUE(k > 0 || heap_watch::logged_sizes() == on_heap) << "the heap requests";
                // An empty block is never used: its refusal is no failure.  A
                // refused heap request fails the inversion: its service
                // blocks as on any failure.
                const bool empty = refuse > 0 && service[refuse - 1].ends_with(":0");
                Requests want = service;
                want.resize(refuse > 0 && !empty ? refuse : want.size());
                if (heap > 0 && !want.empty() && want.back().starts_with("lminv:118")) want.pop_back();
                check_log(want, refuse);
                EXPECT_TRUE(!empty || d.sink == sink) << "request " << k;
                EXPECT_TRUE(heap == 0 || heap_watch::requests == static_cast<long>(heap)) << "requests after refusal";
                refusals[(heap > 0 ? "heap " : "") + std::string(c.name)] += k > 0;
            }
        }
    memsvc_reset();
    for (const char* name : {"lminv_", "lmmatc_", "lmmat_", "lgloes_", "MathNonLinearSolver", "febew", "heap lglse_",
                             "heap lglse1_", "heap lminv_", "heap lmmatc_", "heap lmmat_"})
        EXPECT_GT(refusals[name], 5) << name << ": the sweep reaches its requests";
}

// Byte counts beyond the service's 32-bit size are never requested; the
// calls fail as documented and leave their outputs alone.
TEST(FailureInjection, ByteCountsBeyond32BitsAreNeverRequested) {
    memsvc_reset();
    double a = 1.0, x = zc::kCanary;
    for (const auto& [n, m] : {std::pair{16384, 16385}, std::pair{16384, 16384}, std::pair{46341, 46341}}) {
        std::int32_t ierr = -99;
        lminv_(&n, &m, &a, &x, &ierr);  // 8 n^2 = 2^31, and n^2 itself beyond 2^31
        EXPECT_TRUE(ierr == 5 && a == 1.0 && x == zc::kCanary);
    }
    std::vector<double> mat = {1, 2, 3, 4}, c(4, zc::kCanary);
    const double* hmat = mat.data();
    for (const auto& [n, m] : {std::pair{300000000, 2}, std::pair{2, 300000000}}) {
        std::int32_t ierr = -99, ncol = 2;
        lgloes_(&n, &m, &hmat, &ncol, mat.data(), mat.data(), c.data(), &ierr);
        EXPECT_TRUE(ierr == 5 && c == std::vector<double>(4, zc::kCanary));
    }
    // The solver: the pivot record of 80000 bytes, then no block of 20000^2 doubles.
    std::vector<double> xs(20000, 1.0), f(20000, zc::kCanary), step(20000, zc::kCanary);
    MathNonLinearSolverOptions o{};
    std::int32_t status = -99;
    MathNonLinearSolver(
        &o, 20000, 20000, nullptr, [](std::int32_t, void*, double*, double*, double*, std::int32_t*) { return 0; }, 0,
        nullptr, xs.data(), f.data(), step.data(), &status);
    EXPECT_TRUE(status == 4 && xs == std::vector<double>(20000, 1.0) && f == std::vector<double>(20000, zc::kCanary));
    // febew: 24 bytes a point; 89478485 points are the most a 32-bit size
    // holds (refused here), more are never requested.
    memsvc_fail_nth_request(1);
    std::vector<double> motion(18, 0.0), net = {1, 2, 3, 1};
    for (std::int32_t n : {89478485, 89478486, INT32_MAX}) febew(2, 3, motion.data(), motion.data(), &n, net.data());
    EXPECT_EQ(net, (std::vector<double>{1, 2, 3, 1}));
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{"+lgloes:78:16", "-lgloes:89", "+mathngsolver:400:80000",
                                                         "-mathngsolver:724", "+!febew:297:2147483640"}));
    memsvc_reset();
}

}  // namespace
