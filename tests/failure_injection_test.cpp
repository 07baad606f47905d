// Failure injection at every allocation site: every routine that obtains
// scratch from the memory service (lminv_, lgloes_, MathNonLinearSolver,
// febew, and lmmatc_ and lmmat_ through lminv_) is run once as it is and
// once with each of its requests refused in turn, and every heap request of
// lglse_ and lglse1_ (also as reached through lminv_, lmmatc_ and lmmat_)
// likewise.  Each run must end with the documented status, request nothing
// after the refusal, release exactly the blocks it obtained, once each, at
// their own release lines and in the documented order, leave the outputs it
// does not write untouched, and leave nothing live behind.  And no other
// routine asks for memory at all.
//
// The call sites (tags, lines, sizes) are written down here from the
// documented table, independently of the code under test.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "corpus.hpp"
#include "heap_watch.hpp"
#include "nl_support.hpp"
#include "support.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kCanary = -777.125;

// ---------------------------------------------------------------------------
// The documented call sites: request line -> release line, per tag.

int release_line(const std::string& tag, int request) {
    static const std::map<std::pair<std::string, int>, int> sites = {
        {{"lminv", 87}, 155},        {{"lminv", 102}, 154},       {{"lminv", 104}, 153},
        {{"lminv", 118}, 152},       {{"lgloes", 78}, 89},        {{"lgloes", 79}, 88},
        {{"mathngsolver", 400}, 724}, {{"mathngsolver", 405}, 725}, {{"febew", 113}, 137},
        {{"febew", 157}, 181},       {{"febew", 204}, 249},       {{"febew", 297}, 346},
    };
    const auto it = sites.find({tag, request});
    return it == sites.end() ? -1 : it->second;
}

struct Request {
    std::string tag;
    int line;
    long size;
};

// Checks the service's log of one run against the requests the run must
// make.  refused: the 1-based request that was refused (0: none).  Every
// obtained block is released exactly once, with its own address, at its
// release line; the releases come in increasing order of their lines (the
// documented order of every user: lminv 152..155, lgloes 88 then 89, the
// solver 724 then 725); nothing is left live.
void check_log(const std::vector<Request>& want, std::size_t refused, const std::string& what) {
    SCOPED_TRACE(what + ", refused request " + std::to_string(refused));
    std::vector<MemsvcEvent> requests, releases;
    for (std::size_t i = 0; i < memsvc_log_size(); ++i) {
        const MemsvcEvent e = zt::log_entry(i);
        (e.kind == MEMSVC_REQUEST ? requests : releases).push_back(e);
    }
    ASSERT_EQ(requests.size(), want.size()) << "requests made";
    for (std::size_t k = 0; k < want.size(); ++k) {
        EXPECT_STREQ(requests[k].file, want[k].tag.c_str()) << "request " << k + 1;
        EXPECT_EQ(requests[k].line, want[k].line) << "request " << k + 1;
        EXPECT_EQ(requests[k].size, want[k].size) << "request " << k + 1;
        EXPECT_EQ(requests[k].refused, k + 1 == refused ? 1 : 0) << "request " << k + 1;
    }
    std::vector<int> lines_wanted;
    for (const MemsvcEvent& r : requests)
        if (!r.refused) lines_wanted.push_back(release_line(r.file, r.line));
    std::sort(lines_wanted.begin(), lines_wanted.end());
    std::vector<int> lines_seen;
    for (const MemsvcEvent& rel : releases) {
        EXPECT_EQ(rel.unknown, 0) << "release of a block that is not live";
        EXPECT_NE(rel.block, nullptr);
        lines_seen.push_back(rel.line);
        int owners = 0;
        for (const MemsvcEvent& r : requests)
            if (!r.refused && r.block == rel.block) {
                ++owners;
                EXPECT_STREQ(rel.file, r.file);
                EXPECT_EQ(rel.line, release_line(r.file, r.line)) << "block from line " << r.line;
            }
        EXPECT_EQ(owners, 1) << "released block not obtained by this run";
    }
    EXPECT_EQ(lines_seen, lines_wanted) << "releases, in order";
    EXPECT_EQ(memsvc_live_count(), 0u);
    EXPECT_EQ(memsvc_bad_release_count(), 0u);
}

// One sweep over the memory-service requests of a call.  run() starts from
// fresh inputs; check(k) checks the outputs of the run with request k
// refused (0: the run as it is).  A refusal ends the requests, except where
// continues(k) says that the refused request does not count as a failure.
struct ServiceSweep {
    std::string name;
    std::vector<Request> requests;
    std::function<void()> run;
    std::function<void(std::size_t)> check;
    std::function<bool(std::size_t)> continues;

    void go() const {
        memsvc_reset();
        run();
        check_log(requests, 0, name);
        {
            SCOPED_TRACE(name + ", as it is");
            check(0);
        }
        for (std::size_t k = 1; k <= requests.size(); ++k) {
            memsvc_reset();
            memsvc_fail_nth_request(static_cast<std::int64_t>(k));
            run();
            memsvc_clear_faults();
            const bool more = continues && continues(k);
            check_log(more ? requests : std::vector<Request>(requests.begin(), requests.begin() + k), k, name);
            SCOPED_TRACE(name + ", request " + std::to_string(k) + " refused");
            check(k);
        }
    }
};

// The same over the runtime-heap requests (lglse_, lglse1_).  sizes: the
// byte counts of the heap requests of the run as it is.
struct HeapSweep {
    std::string name;
    std::vector<std::size_t> sizes;
    std::function<void()> run;
    std::function<void(std::size_t)> check;

    void go() const {
        memsvc_reset();
        heap_watch::arm();
        run();
        heap_watch::disarm();
        EXPECT_EQ(heap_watch::logged_sizes(), sizes) << name;
        EXPECT_EQ(heap_watch::live(), 0) << name;
        {
            SCOPED_TRACE(name + ", as it is");
            check(0);
        }
        for (std::size_t k = 1; k <= sizes.size(); ++k) {
            SCOPED_TRACE(name + ", heap request " + std::to_string(k) + " refused");
            memsvc_reset();
            heap_watch::arm(static_cast<long>(k));
            run();
            heap_watch::disarm();
            EXPECT_EQ(heap_watch::requests.load(), static_cast<long>(k)) << "requests after the refusal";
            EXPECT_EQ(heap_watch::refused.load(), 1);
            EXPECT_EQ(heap_watch::live(), 0) << "heap blocks left";
            check(k);
        }
    }
};

void expect_same(const Vec& got, const Vec& want, const char* what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_BITEQ(got[i], want[i]) << what << "[" << i << "]";
}

void expect_all(const Vec& got, double value, const char* what) {
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_BITEQ(got[i], value) << what << "[" << i << "]";
}

// ---------------------------------------------------------------------------
// Matrix inversion

struct Inversion {
    std::int32_t n, m;
    Vec a0, a, x;
    std::int32_t ierr = -99;

    void run() {
        a = a0;
        x.assign(a0.size(), kCanary);
        ierr = -99;
        lminv_(&n, &m, a.data(), x.data(), &ierr);
    }
    // a x^T = I (square) or a P = I (wide), x read row by row.
    void expect_inverse() const {
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                long double s = 0;
                for (int k = 0; k < m; ++k) s += static_cast<long double>(a0[i + n * k]) * x[n * k + j];
                EXPECT_NEAR(static_cast<double>(s), i == j ? 1.0 : 0.0, 1e-13) << i << "," << j;
            }
    }
};

std::vector<Request> inversion_requests(std::int32_t n, std::int32_t m, bool solved) {
    const long n2 = 8L * n * n;
    std::vector<Request> r;
    if (n != m) r.push_back({"lminv", 87, n2});
    r.push_back({"lminv", 102, n2});
    r.push_back({"lminv", 104, n2});
    if (solved) r.push_back({"lminv", 118, 8L * n});
    return r;
}

TEST(FailureInjection, MatrixInversionEveryServiceRequest) {
    const std::vector<Inversion> problems = {
        {3, 3, {2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5}, {}, {}},
        {2, 3, {1, 0, 2, 1, -1, 3}, {}, {}},
        {1, 1, {4}, {}, {}},
        {3, 2, {1, 0, 2, 1, -1, 3}, {}, {}},  // n > m: a a^T singular, status 1
    };
    for (Inversion p : problems) {
        const bool solvable = p.n <= p.m;
        ServiceSweep{"lminv_ " + std::to_string(p.n) + "x" + std::to_string(p.m),
                     inversion_requests(p.n, p.m, solvable), [&] { p.run(); },
                     [&](std::size_t k) {
                         if (k == 0) {
                             EXPECT_EQ(p.ierr, solvable ? 0 : 1);
                             if (solvable) p.expect_inverse();
                             else expect_all(p.x, kCanary, "x");
                             return;
                         }
                         EXPECT_EQ(p.ierr, 5);
                         expect_all(p.x, kCanary, "x");
                         // a is only worked on by the solve, which comes after the
                         // first three requests.
                         if (p.n != p.m || k < 3) expect_same(p.a, p.a0, "a");
                     },
                     nullptr}
            .go();
    }
}

// ---------------------------------------------------------------------------
// Weighted product with a stored matrix

struct Product {
    std::int32_t n, m, ncol;
    Vec M, b, w, c;
    std::int32_t ierr = -99;

    void run() {
        c.assign(static_cast<std::size_t>(std::max(m, 1) * std::max(ncol, 1)), kCanary);
        const double* hm = M.data();
        ierr = -99;
        lgloes_(&n, &m, &hm, &ncol, b.data(), w.data(), c.data(), &ierr);
    }
};

TEST(FailureInjection, WeightedProductEveryServiceRequest) {
    // c = M diag(w) b with M 3 by 2 (column-major), b 2 by 2 and c 3 by 2
    // row by row: small integers, exact.
    Product p{2, 3, 2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4}, {2, -1}, {}};
    const Vec want = {-10, -12, -11, -12, -12, -12};  // M (w o b_j) by hand
    ServiceSweep{"lgloes_ 2x3", {{"lgloes", 78, 16}, {"lgloes", 79, 24}}, [&] { p.run(); },
                 [&](std::size_t k) {
                     EXPECT_EQ(p.ierr, k == 0 ? 0 : 5);
                     if (k == 0) expect_same(p.c, want, "c");
                     else expect_all(p.c, kCanary, "c");
                 },
                 nullptr}
        .go();

    // n = 0: an empty first vector, whose refusal is no failure; c is zero.
    Product empty_n{0, 2, 3, {0}, {0}, {0}, {}};
    ServiceSweep{"lgloes_ n 0", {{"lgloes", 78, 0}, {"lgloes", 79, 16}}, [&] { empty_n.run(); },
                 [&](std::size_t k) {
                     EXPECT_EQ(empty_n.ierr, k == 2 ? 5 : 0);
                     expect_all(empty_n.c, k == 2 ? kCanary : 0.0, "c");
                 },
                 [](std::size_t k) { return k == 1; }}
        .go();

    // m = 0: an empty second vector; c is left as it was in every case.
    Product empty_m{2, 0, 2, {0}, {1, 2, 3, 4}, {1, 1}, {}};
    ServiceSweep{"lgloes_ m 0", {{"lgloes", 78, 16}, {"lgloes", 79, 0}}, [&] { empty_m.run(); },
                 [&](std::size_t k) {
                     EXPECT_EQ(empty_m.ierr, k == 1 ? 5 : 0);
                     expect_all(empty_m.c, kCanary, "c");
                 },
                 nullptr}
        .go();
}

// ---------------------------------------------------------------------------
// Nonlinear least squares

struct SolverCall {
    zt::Problem problem;
    Vec x0;
    Vec x, f, step;
    std::int32_t status = -99;
    std::string trace;

    void run() {
        problem.calls.clear();
        x = x0;
        f.assign(static_cast<std::size_t>(problem.m), kCanary);
        step.assign(static_cast<std::size_t>(problem.n), kCanary);
        status = -99;
        MathNonLinearSolverOptions o{};
        o.maxIterations = 50;
        std::FILE* s = std::tmpfile();
        MathNonLinearSolver(&o, problem.m, problem.n, &problem, zt::solver_callback, 3, s, x.data(), f.data(),
                            step.data(), &status);
        trace = zt::slurp(s);
        std::fclose(s);
    }
};

// Block of the solver: 8 ((3m + n + 3) n + 3m) bytes, and with m < n the
// augmented system's 2n rows add 8 (n - m)(n + 1).
long solver_block(long m, long n) {
    long bytes = 8 * ((3 * m + n + 3) * n + 3 * m);
    if (m < n) bytes += 8 * (n - m) * (n + 1);
    return bytes;
}

TEST(FailureInjection, SolverEveryServiceRequest) {
    // A linear fit (m = 4, n = 2) and an underdetermined problem (m = 2, n = 3).
    zt::Problem line;
    line.m = 4;
    line.n = 2;
    line.eval = [](const double* x, double* f, double* J) {
        for (int i = 0; i < 4; ++i) {
            f[i] = x[0] + x[1] * i - (1.0 + 2.0 * i + (i == 2 ? 0.5 : 0.0));
            J[i] = 1.0;
            J[i + 4] = i;
        }
    };
    zt::Problem under = zt::underdetermined_problem();
    for (SolverCall c : {SolverCall{line, {0.0, 0.0}, {}, {}, {}, -99, {}},
                         SolverCall{under, {0.5, 0.25, 0.125}, {}, {}, {}, -99, {}}}) {
        const long m = c.problem.m, n = c.problem.n;
        const std::string banners = zt::fmt("\n\n*********** START OF NgLevMarq ************\n"
                                            "ANZAHL GLEICHUNGEN = %4d\nANZAHL VARIABLEN =  %4d\n",
                                            static_cast<int>(m), static_cast<int>(n)) +
                                    "*********** END OF NgLevMarq ************\n\n";
        ServiceSweep{"solver m " + std::to_string(m) + " n " + std::to_string(n),
                     {{"mathngsolver", 400, 4 * n}, {"mathngsolver", 405, solver_block(m, n)}},
                     [&] { c.run(); },
                     [&](std::size_t k) {
                         if (k == 0) {
                             EXPECT_EQ(c.status, 0);
                             EXPECT_FALSE(c.problem.calls.empty());
                             return;
                         }
                         EXPECT_EQ(c.status, 4);
                         EXPECT_TRUE(c.problem.calls.empty()) << "no callback without memory";
                         expect_same(c.x, c.x0, "x");
                         expect_all(c.f, kCanary, "f");
                         expect_all(c.step, 0.0, "step");
                         EXPECT_EQ(c.trace, banners);
                     },
                     nullptr}
            .go();
    }
}

// ---------------------------------------------------------------------------
// Control-net motion

TEST(FailureInjection, ControlNetMotionEveryServiceRequest) {
    const Vec vectors = {1, -2, 0.5, 0.25, 0.5, -1, 3, 0, -1, 0.5, 0.5, 0.5};
    // Two quarter turns, about z and about x, row by row.
    const Vec matrices = {0, -1, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, -1, 0, 1, 0};
    const Vec rational = {2, 4, 6, 2, 1, 0, -1, 0.5, -3, 1, 2, 4};  // three points (x, y, z, w)
    const int request[6] = {113, 157, 204, 297, 297, 297};
    for (std::int32_t code = 0; code <= 5; ++code) {
        Vec net;
        const std::int32_t n = 3;
        ServiceSweep{"febew code " + std::to_string(code), {{"febew", request[code], 24 * n}},
                     [&] {
                         net = rational;
                         febew(2, code, vectors.data(), matrices.data(), &n, net.data());
                     },
                     [&](std::size_t k) {
                         if (k == 0) {
                             EXPECT_NE(net, rational) << "the net moves";
                             for (int p = 0; p < n; ++p) EXPECT_BITEQ(net[4 * p + 3], rational[4 * p + 3]);
                         } else {
                             expect_same(net, rational, "net");
                         }
                     },
                     nullptr}
            .go();
    }
    // Cartesian nets and unknown codes ask for nothing; the first move, the
    // second leave the net as it was.
    for (const auto& motion : {std::pair{0, 3}, std::pair{1, 5}, std::pair{2, 6}, std::pair{2, -1}}) {
        const std::int32_t kind = motion.first, code = motion.second;
        const Vec start = {1, 2, 3, 4, 5, 6, 7, 8};
        Vec net;
        const std::int32_t n = 2;
        ServiceSweep{"febew kind " + std::to_string(kind) + " code " + std::to_string(code), {},
                     [&] {
                         net = start;
                         febew(kind, code, vectors.data(), matrices.data(), &n, net.data());
                     },
                     [&](std::size_t) { EXPECT_EQ(net == start, code > 5 || code < 0); }, nullptr}
            .go();
    }
}

// ---------------------------------------------------------------------------
// Best-fit rigid motion (through lminv_ with both counts 3)

// Six points and their images under a rotation of 0.7 about
// (0.48, -0.6, 0.64) after a shift (1, -2, 0.5).
struct Fit {
    Vec src, dst;
    Vec rot, trans;
    double maxdev = kCanary;
    std::int32_t ierr = -99;

    Fit() {
        src = {1, 0, 0, 0, 2, 0, 0, 0, 3, 1, 1, 1, -1, 2, 0.5, 0.3, -0.7, 2};
        const double u[3] = {0.48, -0.6, 0.64};
        const double s = std::sin(0.7), c = std::cos(0.7);
        double r[9];
        lmdre3_(u, &s, &c, r);
        const double zero[3] = {0, 0, 0};
        const double shift[3] = {1, -2, 0.5};
        const std::int32_t six = 6;
        Vec moved(18);
        lmmvs3_(src.data(), &six, shift, moved.data());
        dst.resize(18);
        lmrot3_(r, zero, moved.data(), &six, dst.data());
    }
    void run() {
        rot.assign(9, kCanary);
        trans.assign(3, kCanary);
        maxdev = kCanary;
        ierr = -99;
        const std::int32_t fitmode = 0, n = 6, weighted = 0, wantdev = 1;
        lmmat_(&fitmode, &n, &weighted, nullptr, src.data(), dst.data(), rot.data(), trans.data(), &wantdev,
               &maxdev, &ierr);
    }
    // Without a rotation: rot the identity, trans the difference of the
    // centroids (sums in index order, one division by n), maxdev the
    // largest distance of a target from its shifted source.
    void expect_translation_only() const {
        EXPECT_EQ(ierr, 0);
        expect_same(rot, {1, 0, 0, 0, 1, 0, 0, 0, 1}, "rot");
        double cs[3] = {0, 0, 0}, cd[3] = {0, 0, 0};
        for (int k = 0; k < 6; ++k)
            for (int j = 0; j < 3; ++j) {
                cs[j] = cs[j] + src[3 * k + j];
                cd[j] = cd[j] + dst[3 * k + j];
            }
        double t[3];
        for (int j = 0; j < 3; ++j) t[j] = cd[j] / 6.0 - cs[j] / 6.0;
        expect_same(trans, {t[0], t[1], t[2]}, "trans");
        double worst = 0;
        for (int k = 0; k < 6; ++k) {
            double d2 = 0;
            for (int j = 0; j < 3; ++j) {
                const double e = dst[3 * k + j] - (src[3 * k + j] + t[j]);
                d2 = d2 + e * e;
            }
            worst = std::max(worst, std::sqrt(d2));
        }
        EXPECT_BITEQ(maxdev, worst);
        EXPECT_GT(maxdev, 0.1);
    }
};

// The correlation matrix of a rotation times a positive symmetric factor.
const Vec kPolar = {1.2, 0.4, -0.3, -0.5, 1.1, 0.2, 0.3, -0.1, 0.9};

TEST(FailureInjection, RigidFitEveryServiceRequest) {
    const std::vector<Request> requests = inversion_requests(3, 3, true);
    Vec rot;
    std::int32_t rank = -99;
    ServiceSweep{"lmmatc_", requests,
                 [&] {
                     rot.assign(9, kCanary);
                     rank = -99;
                     lmmatc_(kPolar.data(), rot.data(), &rank);
                 },
                 [&](std::size_t k) {
                     if (k == 0) {
                         EXPECT_EQ(rank, 3);
                         EXPECT_NEAR(lvspa3_(&rot[0], &rot[3], &rot[6]), 1.0, 1e-12);  // det R
                         return;
                     }
                     EXPECT_EQ(rank, 0);
                     expect_all(rot, kCanary, "rot");
                 },
                 nullptr}
        .go();

    Fit fit;
    ServiceSweep{"lmmat_", requests, [&] { fit.run(); },
                 [&](std::size_t k) {
                     if (k == 0) {
                         EXPECT_EQ(fit.ierr, 0);
                         EXPECT_BITEQ(fit.maxdev, 0.0);  // the exact motion is found
                         return;
                     }
                     fit.expect_translation_only();
                 },
                 nullptr}
        .go();
}

// ---------------------------------------------------------------------------
// Runtime-heap requests of the constrained least-squares solver, directly
// and as reached through the inversion and the fit.

struct Lse {
    std::int32_t nrhs, n, ncon, neq;
    Vec e0, f0, c0, d0;
    Vec e, f, c, d, x;
    std::int32_t ierr = -99;

    Lse(std::int32_t k, std::int32_t nv, std::int32_t p, std::int32_t q, std::uint64_t seed)
        : nrhs(k), n(nv), ncon(p), neq(q) {
        zt::Rng rng(seed);
        e0 = rng.vec(static_cast<std::size_t>(p * nv));
        f0 = rng.vec(static_cast<std::size_t>(p * k));
        c0 = rng.vec(static_cast<std::size_t>(q * nv));
        d0 = rng.vec(static_cast<std::size_t>(q * k));
        for (std::int32_t i = 0; i < q && i < nv; ++i) c0[static_cast<std::size_t>(i + i * q)] += 4.0;
    }
    void reset() {
        e = e0;
        f = f0;
        c = c0;
        d = d0;
        x.assign(static_cast<std::size_t>(n * nrhs), kCanary);
        ierr = -99;
    }
    void solve() {
        reset();
        lglse_(&nrhs, &n, &ncon, &neq, e.data(), f.data(), c.data(), d.data(), x.data(), &ierr);
    }
    void solve1() {
        reset();
        const std::int32_t n3 = std::max(n, 3);
        std::int32_t lwork = n3 * std::max({n3, ncon, neq}), lvec = std::max({n, ncon, neq});
        Vec w1(static_cast<std::size_t>(lwork)), w2(w1.size()), v1(static_cast<std::size_t>(lvec)), v2(v1.size());
        lglse1_(&nrhs, &n, &ncon, &neq, e.data(), f.data(), c.data(), d.data(), x.data(), &lwork, &lvec,
                w1.data(), w2.data(), v1.data(), v2.data(), &ierr);
    }
    // A refused request comes before anything is written.
    void expect_untouched() const {
        EXPECT_EQ(ierr, 5);
        expect_same(e, e0, "e");
        expect_same(f, f0, "f");
        expect_same(c, c0, "c");
        expect_same(d, d0, "d");
        expect_all(x, kCanary, "x");
    }
    // Byte counts of lglse_'s four work arrays: N3 max(N3, ncon, neq) twice
    // (the second, which holds the right-hand sides and solutions, at least
    // max(n, neq) nrhs), max(n, ncon, neq) twice.
    std::vector<std::size_t> work_sizes() const {
        const std::size_t n3 = static_cast<std::size_t>(std::max(n, 3));
        const std::size_t lwork = n3 * static_cast<std::size_t>(std::max({n, 3, ncon, neq}));
        const std::size_t rhs = static_cast<std::size_t>(std::max(n, neq) * nrhs);
        const std::size_t lvec = static_cast<std::size_t>(std::max({n, ncon, neq}));
        return {8 * lwork, 8 * std::max(lwork, rhs), 8 * lvec, 8 * lvec};
    }
};

TEST(FailureInjection, ConstrainedLeastSquaresEveryHeapRequest) {
    // Without constraints, with constraints, and with constraints on more
    // than 16 variables (one more request: the stored reflections,
    // (n + 1) ncon doubles).
    for (Lse p : {Lse(2, 3, 0, 5, 1), Lse(5, 4, 2, 3, 2), Lse(1, 17, 2, 18, 3)}) {
        std::vector<std::size_t> sizes = p.work_sizes();
        if (p.ncon > 0 && p.n > 16) sizes.push_back(8u * static_cast<std::size_t>((p.n + 1) * p.ncon));
        HeapSweep{"lglse_ n " + std::to_string(p.n) + " ncon " + std::to_string(p.ncon), sizes, [&] { p.solve(); },
                  [&](std::size_t k) {
                      if (k == 0) EXPECT_EQ(p.ierr, 0);
                      else p.expect_untouched();
                  }}
            .go();
    }
    // lglse1_ itself asks only for the reflections beyond 16 variables.
    Lse big(1, 17, 2, 18, 4);
    HeapSweep{"lglse1_ n 17", {8u * 18 * 2}, [&] { big.solve1(); },
              [&](std::size_t k) {
                  if (k == 0) EXPECT_EQ(big.ierr, 0);
                  else big.expect_untouched();
              }}
        .go();
    Lse small(1, 16, 3, 16, 5);
    HeapSweep{"lglse1_ n 16", {}, [&] { small.solve1(); }, [&](std::size_t) { EXPECT_EQ(small.ierr, 0); }}.go();
}

TEST(FailureInjection, HeapRequestsReachedThroughInversionAndFit) {
    // lminv_ solves with lglse_ (no constraints, nrhs = neq = n): a refused
    // heap request is status 1, x untouched, and the service's blocks
    // obtained before the solve are released as on any failure.
    const std::vector<Inversion> problems = {{2, 3, {1, 0, 2, 1, -1, 3}, {}, {}},
                                             {3, 3, {2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5}, {}, {}}};
    for (Inversion p : problems) {
        const Lse shape(p.n, p.n, 0, p.n, 0);
        HeapSweep{"lminv_ " + std::to_string(p.n) + "x" + std::to_string(p.m), shape.work_sizes(), [&] {
                      memsvc_reset();
                      p.run();
                  },
                  [&](std::size_t k) {
                      if (k == 0) {
                          EXPECT_EQ(p.ierr, 0);
                          return;
                      }
                      EXPECT_EQ(p.ierr, 1);
                      expect_all(p.x, kCanary, "x");
                      check_log(inversion_requests(p.n, p.m, false), 0, "service blocks");
                  }}
            .go();
    }

    const Lse three(3, 3, 0, 3, 0);
    Vec rot;
    std::int32_t rank = -99;
    HeapSweep{"lmmatc_", three.work_sizes(),
              [&] {
                  memsvc_reset();
                  rot.assign(9, kCanary);
                  lmmatc_(kPolar.data(), rot.data(), &rank);
              },
              [&](std::size_t k) {
                  EXPECT_EQ(rank, k == 0 ? 3 : 0);
                  if (k != 0) {
                      expect_all(rot, kCanary, "rot");
                      check_log(inversion_requests(3, 3, false), 0, "service blocks");
                  }
              }}
        .go();

    Fit fit;
    HeapSweep{"lmmat_", three.work_sizes(),
              [&] {
                  memsvc_reset();
                  fit.run();
              },
              [&](std::size_t k) {
                  if (k == 0) EXPECT_BITEQ(fit.maxdev, 0.0);
                  else fit.expect_translation_only();
              }}
        .go();
}

// Only the documented users ask the memory service or the heap for
// anything: the whole call corpus (random, empty, NaN, infinite, huge and
// tiny inputs) is run with both watched.
TEST(FailureInjection, OnlyTheDocumentedRoutinesRequestMemory) {
    const std::vector<std::string> service = {"lminv_", "lmmatc_", "lmmat_", "lgloes_", "MathNonLinearSolver",
                                              "febew"};
    const std::vector<std::string> heap = {"lglse_", "lglse1_", "lminv_", "lmmatc_", "lmmat_"};
    const auto listed = [](const std::vector<std::string>& l, const char* name) {
        for (const std::string& s : l)
            if (s == name) return true;
        return false;
    };
    std::map<std::string, long> service_requests, heap_requests;
    memsvc_set_logging(0);
    for (const zc::Case& c : zc::corpus())
        for (int rep = 0; rep < c.reps; ++rep) {
            memsvc_reset();
            heap_watch::arm();
            zc::Sink s;
            zc::run_case(c, rep, 7, s);
            heap_watch::disarm();
            if (!listed(service, c.routine)) {
                EXPECT_EQ(memsvc_request_count(), 0) << c.routine << " " << rep;
            }
            if (!listed(heap, c.routine)) {
                EXPECT_EQ(heap_watch::requests.load(), 0) << c.routine << " " << rep;
            }
            EXPECT_EQ(heap_watch::live(), 0) << c.routine << " " << rep;
            EXPECT_EQ(memsvc_live_count(), 0u) << c.routine << " " << rep;
            service_requests[c.routine] += static_cast<long>(memsvc_request_count());
            heap_requests[c.routine] += heap_watch::requests.load();
        }
    memsvc_set_logging(1);
    memsvc_reset();
    // The watch does see the users' requests.
    for (const std::string& r : service) EXPECT_GT(service_requests[r], 0) << r;
    for (const std::string& r : heap) EXPECT_GT(heap_requests[r], 0) << r;
}

}  // namespace
