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
#include <map>
#include <string>

#include "calls.hpp"
#include "heap_watch.hpp"
#include "support.hpp"

namespace {

using zc::i64;
using Requests = std::vector<std::string>;  // "tag:line:bytes", "!" in front when refused

int fault = 0;  // what the run refuses: 1 a request to the service, 2 one to the heap

std::string request(const char* tag, int line, i64 bytes) {
    return std::string(tag) + ":" + std::to_string(line) + ":" + std::to_string(bytes);
}

// lglse_: two arrays of N3 max(N3, ncon, neq) doubles (the second, which
// holds the right-hand sides, at least max(n, neq) nrhs), two of max(n,
// ncon, neq), and with constraints on more than 16 variables the stored
// reflections, (n + 1) ncon doubles.  Rejected counts ask nothing.
std::vector<std::size_t> lse_heap(i64 nrhs, i64 n, i64 ncon, i64 neq) {
    if (n < 1 || ncon < 0 || ncon > n || n > ncon + neq) return {};
    const i64 n3 = std::max<i64>(n, 3), lwork = 8 * n3 * std::max({n3, ncon, neq}), lvec = 8 * std::max({n, ncon, neq});
    std::vector<std::size_t> s = {std::size_t(lwork), std::size_t(std::max(lwork, 8 * std::max(n, neq) * nrhs)),
                                  std::size_t(lvec), std::size_t(lvec)};
    if (ncon > 0 && n > 16) s.push_back(std::size_t(8 * (n + 1) * ncon));
    return s;
}

struct Documented {
    Requests service;
    std::vector<std::size_t> heap;
};

// The requests of a call run as it is, from its counts and results
// (Draw::shape) and the number of requests it made.
Documented documented(const std::string& name, const std::vector<i64>& s, std::size_t made) {
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
        return {r, reached ? lse_heap(n, n, 0, n) : std::vector<std::size_t>{}};
    }
    if (name == "lgloes_")
        return {{request("lgloes", 78, 8 * std::max<i64>(s[0], 0)), request("lgloes", 79, 8 * std::max<i64>(s[1], 0))},
                {}};
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
    std::vector<MemsvcEvent> req, rel;
    MemsvcEvent e{};
    for (std::size_t i = 0; memsvc_log_entry(i, &e); ++i) (e.kind == MEMSVC_REQUEST ? req : rel).push_back(e);
    Requests got;
    std::vector<int> lines, seen;
    for (const MemsvcEvent& r : req) got.push_back((r.refused ? "!" : "") + request(r.file, r.line, r.size));
    for (const MemsvcEvent& r : req) lines.push_back(r.refused ? -1 : release_line(r.file, r.line));
    EXPECT_EQ(got, want);
    for (const MemsvcEvent& r : rel) {
        const auto owner = std::find_if(req.begin(), req.end(),
                                        [&](const MemsvcEvent& q) { return !q.refused && q.block == r.block; });
        EXPECT_TRUE(!r.unknown && owner != req.end() && r.line == release_line(owner->file, owner->line)) << r.line;
        seen.push_back(r.line);
    }
    lines.erase(std::remove(lines.begin(), lines.end(), -1), lines.end());
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
            const auto run = [&](zc::Draw& d, std::size_t refuse, std::size_t refuse_heap) {
                memsvc_reset();
                memsvc_fail_nth_request(static_cast<std::int64_t>(refuse));
                heap_watch::arm(static_cast<long>(refuse_heap));
                fault = refuse > 0 ? 1 : refuse_heap > 0 ? 2 : 0;
                d.faults = [] { return fault; };
                zc::run(c, d);
                heap_watch::disarm();
                EXPECT_EQ(d.failures, 0) << d.failed;
                EXPECT_EQ(heap_watch::live(), 0) << "heap blocks left";
            };
            zc::Draw d(seed);
            run(d, 0, 0);
            const Documented doc = documented(c.name, d.shape, static_cast<std::size_t>(memsvc_request_count()));
            check_log(doc.service, 0);
            EXPECT_EQ(heap_watch::logged_sizes(), doc.heap);
            for (std::size_t k = 1; k <= doc.service.size(); ++k) {
                zc::Draw r(seed);
                run(r, k, 0);
                // An empty block is never used: its refusal is no failure.
                const bool empty = doc.service[k - 1].ends_with(":0");
                check_log(empty ? doc.service : Requests(doc.service.begin(), doc.service.begin() + k), k);
                EXPECT_TRUE(!empty || r.sink == d.sink) << "request " << k;
                refusals[c.name] += 1;
            }
            for (std::size_t k = 1; k <= doc.heap.size(); ++k) {
                zc::Draw r(seed);
                run(r, 0, k);
                EXPECT_EQ(heap_watch::requests.load(), static_cast<long>(k)) << "requests after the refusal";
                // The inversion fails: its service blocks as on any failure.
                Requests kept = doc.service;
                if (!kept.empty() && kept.back().starts_with("lminv:118")) kept.pop_back();
                check_log(kept, 0);
                refusals["heap " + std::string(c.name)] += 1;
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
