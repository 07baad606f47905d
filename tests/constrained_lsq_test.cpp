// Equality-constrained least squares lglse_ (own heap work arrays) and
// lglse1_ (caller's work arrays): worked examples, every reachable status
// with what it leaves, right-hand-side independence, heap requests and
// their failures, problems beyond 16 variables, concurrent calls.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "heap_watch.hpp"
#include "support.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Vec = std::vector<double>;

// A problem with all its arrays; x starts as NaN sentinels.
struct Lse {
    int32_t nrhs, n, ncon, neq;
    Vec e, f, c, d, x;
    int32_t ierr = -99;

    Lse(int32_t k, int32_t nv, int32_t p, int32_t q, zt::Rng& rng)
        : nrhs(k), n(nv), ncon(p), neq(q),
          e(rng.vec(static_cast<std::size_t>(std::max(p, 0)) * std::max(nv, 0))),
          f(rng.vec(static_cast<std::size_t>(std::max(p, 0)) * std::max(k, 1))),
          c(rng.vec(static_cast<std::size_t>(std::max(q, 0)) * std::max(nv, 0))),
          d(rng.vec(static_cast<std::size_t>(std::max(q, 0)) * std::max(k, 1))),
          x(static_cast<std::size_t>(std::max(nv, 1)) * std::max(k, 1), kNaN) {}

    void solve() { lglse_(&nrhs, &n, &ncon, &neq, e.data(), f.data(), c.data(), d.data(), x.data(), &ierr); }

    // lglse1_ with work arrays of the stated sizes (or as given).
    void solve1(int32_t lwork = -1, int32_t lvec = -1) {
        const int32_t n3 = std::max(n, 3);
        if (lwork < 0) lwork = n3 * std::max({n3, ncon, neq});
        if (lvec < 0) lvec = std::max({n, ncon, neq});
        Vec w1(std::max(lwork, 1), 0.0), w2(std::max(lwork, 1), 0.0), v1(std::max(lvec, 1), 0.0),
            v2(std::max(lvec, 1), 0.0);
        lglse1_(&nrhs, &n, &ncon, &neq, e.data(), f.data(), c.data(), d.data(), x.data(), &lwork, &lvec,
                w1.data(), w2.data(), v1.data(), v2.data(), &ierr);
    }
};

void expect_same(const Vec& a, const Vec& b, const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_BITEQ(a[i], b[i]) << what << "[" << i << "]";
}

void expect_untouched(const Lse& after, const Lse& before) {
    expect_same(after.e, before.e, "e");
    expect_same(after.f, before.f, "f");
    expect_same(after.c, before.c, "c");
    expect_same(after.d, before.d, "d");
    expect_same(after.x, before.x, "x");
}

// Column r of the interleaved array v (rows by k).
Vec column(const Vec& v, int rows, int k, int r) {
    Vec out(rows);
    for (int i = 0; i < rows; ++i) out[i] = v[static_cast<std::size_t>(i) * k + r];
    return out;
}

TEST(ConstrainedLsq, WorkedExampleOneConstraint) {
    // min |x - (1, 1)| subject to x1 + x2 = 1.
    zt::Rng rng(1);
    Lse p(1, 2, 1, 2, rng);
    p.e = {1, 1};
    p.f = {1};
    p.c = {1, 0, 0, 1};
    p.d = {1, 1};
    p.solve();
    ASSERT_EQ(p.ierr, 0);
    EXPECT_NEAR(p.x[0], 0.5, 1e-15);
    EXPECT_NEAR(p.x[1], 0.5, 1e-15);
    EXPECT_NEAR(p.d[0], 0.0, 1e-15);                     // y2
    EXPECT_NEAR(std::fabs(p.d[1]), std::sqrt(0.5), 1e-15);  // residual norm
    // e becomes e Q = [L 0]: |L| = sqrt 2 and the other entry ~ 0.
    EXPECT_NEAR(std::fabs(p.e[0]), std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(p.e[1], 0.0, 1e-15);
}

TEST(ConstrainedLsq, NoConstraintsGivesInverseRowByRow) {
    zt::Rng rng(2);
    const int n = 5;
    Lse p(n, n, 0, n, rng);
    p.d.assign(static_cast<std::size_t>(n) * n, 0.0);
    for (int i = 0; i < n; ++i) p.d[i * n + i] = 1.0;
    const Vec c0 = p.c;
    // e and f are not read without constraints: null proves it.
    lglse_(&p.nrhs, &p.n, &p.ncon, &p.neq, nullptr, nullptr, p.c.data(), p.d.data(), p.x.data(), &p.ierr);
    ASSERT_EQ(p.ierr, 0);
    // Row i of the inverse at x[(i-1)n .. in-1]: inv * c = I.
    double worst = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            long double s = 0;
            for (int l = 0; l < n; ++l) s += static_cast<long double>(p.x[i * n + l]) * c0[l + j * n];
            worst = std::max(worst, static_cast<double>(std::fabs(s - (i == j ? 1 : 0))));
        }
    EXPECT_LT(worst, 1e-12);
}

TEST(ConstrainedLsq, ConstraintsAloneDetermineX) {
    zt::Rng rng(3);
    const int n = 3, k = 2;
    // neq = 0: c and d are never addressed.
    Lse p(k, n, n, 0, rng);
    const Vec e0 = p.e, f0 = p.f;
    lglse_(&p.nrhs, &p.n, &p.ncon, &p.neq, p.e.data(), p.f.data(), nullptr, nullptr, p.x.data(), &p.ierr);
    ASSERT_EQ(p.ierr, 0);
    for (int r = 0; r < k; ++r)
        for (int i = 0; i < n; ++i) {
            long double s = 0;
            for (int t = 0; t < n; ++t) s += static_cast<long double>(e0[i + t * n]) * p.x[t * k + r];
            EXPECT_NEAR(static_cast<double>(s), f0[i * k + r], 1e-13);
        }
    // With equations present they are not touched either.
    zt::Rng rng2(3);
    Lse q(k, n, n, 2, rng2);
    const Vec c0 = q.c, d0 = q.d;
    q.solve();
    ASSERT_EQ(q.ierr, 0);
    expect_same(q.c, c0, "c");
    expect_same(q.d, d0, "d");
    expect_same(q.x, p.x, "x");
}

TEST(ConstrainedLsq, StatusesAndWhatTheyLeave) {
    zt::Rng rng(4);
    auto check = [](Lse& p, int32_t want, bool touched_ok) {
        const Lse before = p;
        p.solve();
        EXPECT_EQ(p.ierr, want);
        expect_same(p.x, before.x, "x");  // x is written on success only
        if (!touched_ok) expect_untouched(p, before);
    };
    {  // 1: more constraints than variables
        Lse p(1, 2, 3, 2, rng);
        check(p, 1, false);
    }
    {  // 2: the problem is not determined
        Lse p(1, 5, 1, 3, rng);
        check(p, 2, false);
    }
    {  // 13: the second constraint row twice the first
        Lse p(1, 3, 2, 1, rng);
        p.e = {1, 2, 2, 4, 3, 6};
        check(p, 13, true);
    }
    {  // ncon = n: the last row has no reflection, so dependence shows as 3 or 21
        Lse p(1, 3, 3, 0, rng);
        p.e = {1, 0, 2, 2, 1, 4, 3, 1, 6};
        const Lse before = p;
        p.solve();
        EXPECT_TRUE(p.ierr == 3 || p.ierr == 21) << p.ierr;
        expect_same(p.x, before.x, "x");
    }
    {  // 3: L relatively degenerate; e is already e Q
        Lse p(1, 2, 2, 0, rng);
        p.e = {1, 0, 0, 1e-17};
        check(p, 3, true);
        EXPECT_EQ(p.e[0], -1.0);
    }
    {  // 21: a diagonal element of L below 1e-8 passes the relative test
        Lse p(1, 2, 2, 0, rng);
        p.e = {1, 0, 0, 1e-9};
        check(p, 21, true);
    }
    {  // 4 and 21 from the least-squares triangle
        Lse p(1, 2, 0, 2, rng);
        p.c = {1, 0, 0, 1e-17};
        check(p, 4, true);
        Lse q(1, 2, 0, 2, rng);
        q.c = {1, 0, 0, 1e-9};
        check(q, 21, true);
    }
    {  // 11: a zero column in the least-squares matrix
        Lse p(1, 2, 0, 3, rng);
        p.c = {1, 2, 3, 0, 0, 0};
        check(p, 11, true);
    }
    {  // 14: negative nrhs without constraints; 24: nrhs < 1 with them, or 0
        Lse p(-1, 2, 0, 3, rng);
        check(p, 14, true);
        Lse q(0, 2, 0, 3, rng);
        check(q, 24, true);
        Lse r(-2, 3, 1, 3, rng);
        check(r, 24, true);
    }
    {  // lglse1_ with a work size one too large: 5 and nothing changes
        Lse p(1, 3, 1, 4, rng);
        const Lse before = p;
        p.solve1(3 * 4 + 1);
        EXPECT_EQ(p.ierr, 5);
        expect_untouched(p, before);
        p.solve1(-1, 5);
        EXPECT_EQ(p.ierr, 5);
        expect_untouched(p, before);
    }
}

// Counts that describe no problem: nothing read, written or requested (the
// null arrays prove the first two, the heap watch the third).
TEST(ConstrainedLsq, InvalidCountsTouchNothing) {
    struct Case {
        int32_t n, ncon, neq, want;
    };
    for (const Case& cs : {Case{0, 0, 0, 1}, Case{0, 0, 5, 1}, Case{-3, 0, 2, 1}, Case{3, -1, 5, 1},
                           Case{3, 1, -1, 2}, Case{3, 4, -1, 1}, Case{2, 0, -7, 2}}) {
        int32_t k = 1, n = cs.n, p = cs.ncon, q = cs.neq, ierr = -99;
        heap_watch::arm();
        lglse_(&k, &n, &p, &q, nullptr, nullptr, nullptr, nullptr, nullptr, &ierr);
        heap_watch::disarm();
        EXPECT_EQ(ierr, cs.want) << n << " " << p << " " << q;
        EXPECT_EQ(heap_watch::requests.load(), 0);
        // lglse1_ with the stated work sizes for these counts.
        const int32_t n3 = std::max(n, 3);
        int32_t lwork = n3 * std::max({n3, p, q}), lvec = std::max({n, p, q});
        ierr = -99;
        heap_watch::arm();
        lglse1_(&k, &n, &p, &q, nullptr, nullptr, nullptr, nullptr, nullptr, &lwork, &lvec, nullptr, nullptr,
                nullptr, nullptr, &ierr);
        heap_watch::disarm();
        EXPECT_EQ(ierr, cs.want);
        EXPECT_EQ(heap_watch::requests.load(), 0);
    }
}

TEST(ConstrainedLsq, RightHandSidesAreIndependent) {
    // Two right-hand sides equal two one-column calls, bit for bit, and so
    // do 7 > max(n, 3) right-hand sides through lglse_.
    for (int32_t k : {2, 7}) {
        zt::Rng rng(10 + k);
        const int n = 4, p = 2, q = 5;
        Lse all(k, n, p, q, rng);
        Lse orig = all;
        all.solve();
        ASSERT_EQ(all.ierr, 0);
        for (int r = 0; r < k; ++r) {
            Lse one = orig;
            one.nrhs = 1;
            one.f = column(orig.f, p, k, r);
            one.d = column(orig.d, q, k, r);
            one.x.assign(n, kNaN);
            one.solve();
            ASSERT_EQ(one.ierr, 0);
            expect_same(one.x, column(all.x, n, k, r), "x");
            expect_same(one.f, column(all.f, p, k, r), "f");
            expect_same(one.d, column(all.d, q, k, r), "d");
            expect_same(one.e, all.e, "e");
            expect_same(one.c, all.c, "c");
        }
        // lglse1_ takes at most max(n, 3) right-hand sides: beyond that it
        // reports 5 and touches nothing.
        Lse w = orig;
        w.solve1();
        if (k <= std::max(n, 3)) {
            EXPECT_EQ(w.ierr, 0);
            expect_same(w.x, all.x, "x");
        } else {
            EXPECT_EQ(w.ierr, 5);
            expect_untouched(w, orig);
        }
    }
}

// The caller's work arrays and lglse_'s own give identical results.
TEST(ConstrainedLsq, WorkArrayFormMatches) {
    zt::Rng rng(20);
    for (auto [n, p, q, k] : {std::array{6, 0, 9, 3}, std::array{6, 2, 9, 1}, std::array{5, 5, 0, 2},
                              std::array{4, 1, 3, 4}, std::array{3, 1, 2, 3}}) {
        Lse a(k, n, p, q, rng);
        Lse b = a;
        a.solve();
        b.solve1();
        ASSERT_EQ(a.ierr, 0);
        ASSERT_EQ(b.ierr, 0);
        expect_same(b.e, a.e, "e");
        expect_same(b.f, a.f, "f");
        expect_same(b.c, a.c, "c");
        expect_same(b.d, a.d, "d");
        expect_same(b.x, a.x, "x");
    }
}

// Beyond 16 variables the constraint reflections no longer fit the stack
// storage: the solution must still satisfy the constraints and the normal
// equations of the reduced problem.
TEST(ConstrainedLsq, MoreThanSixteenVariables) {
    zt::Rng rng(30);
    const int n = 23, p = 7, q = 30, k = 2;
    Lse s(k, n, p, q, rng);
    const Lse orig = s;
    s.solve();
    ASSERT_EQ(s.ierr, 0);
    for (int r = 0; r < k; ++r) {
        // e x = f.
        for (int i = 0; i < p; ++i) {
            long double t = 0;
            for (int j = 0; j < n; ++j) t += static_cast<long double>(orig.e[i + j * p]) * s.x[j * k + r];
            EXPECT_NEAR(static_cast<double>(t), orig.f[i * k + r], 1e-12);
        }
        // The residual norm equals the norm of the trailing part of d.
        long double res = 0, tail = 0;
        for (int i = 0; i < q; ++i) {
            long double t = -static_cast<long double>(orig.d[i * k + r]);
            for (int j = 0; j < n; ++j) t += static_cast<long double>(orig.c[i + j * q]) * s.x[j * k + r];
            res += t * t;
            if (i >= n - p) tail += static_cast<long double>(s.d[i * k + r]) * s.d[i * k + r];
        }
        EXPECT_NEAR(static_cast<double>(std::sqrt(res)), static_cast<double>(std::sqrt(tail)), 1e-12);
    }
    Lse w = orig;
    w.solve1();
    ASSERT_EQ(w.ierr, 0);
    expect_same(w.x, s.x, "x");
}

TEST(ConstrainedLsq, HeapRequestsAndTheirFailures) {
    zt::Rng rng(40);
    // n 4, ncon 1, neq 5: N3 4, lwork 4*5 = 20, lvec 5.  With 9 right-hand
    // sides the second array (work1) must hold 5*9 values.
    for (int32_t k : {2, 9}) {
        Lse base(k, 4, 1, 5, rng);
        Lse ok = base;
        heap_watch::arm();
        ok.solve();
        heap_watch::disarm();
        ASSERT_EQ(ok.ierr, 0);
        const std::size_t second = k == 2 ? 20 : 45;
        EXPECT_EQ(heap_watch::logged_sizes(), (std::vector<std::size_t>{8 * 20, 8 * second, 8 * 5, 8 * 5}));
        EXPECT_EQ(heap_watch::live(), 0);
        for (long fail = 1; fail <= 4; ++fail) {
            Lse p = base;
            heap_watch::arm(fail);
            p.solve();
            heap_watch::disarm();
            EXPECT_EQ(p.ierr, 5) << "request " << fail;
            EXPECT_EQ(heap_watch::requests.load(), fail);  // nothing requested after the refusal
            EXPECT_EQ(heap_watch::live(), 0);
            expect_untouched(p, base);
        }
    }
    // With constraints and more than 16 variables the reflections take one
    // more request, (n + 1) * ncon doubles, after the four work arrays.
    Lse big(1, 17, 2, 20, rng);
    Lse ok = big;
    heap_watch::arm();
    ok.solve();
    heap_watch::disarm();
    ASSERT_EQ(ok.ierr, 0);
    ASSERT_EQ(heap_watch::requests.load(), 5);
    EXPECT_EQ(heap_watch::logged_sizes()[4], 8u * 18 * 2);
    EXPECT_EQ(heap_watch::live(), 0);
    Lse p = big;
    heap_watch::arm(5);
    p.solve();
    heap_watch::disarm();
    EXPECT_EQ(p.ierr, 5);
    EXPECT_EQ(heap_watch::live(), 0);
    expect_untouched(p, big);
    // lglse1_ alone: no request up to 16 variables, one beyond.
    Lse small(1, 16, 3, 16, rng);
    heap_watch::arm();
    small.solve1();
    heap_watch::disarm();
    EXPECT_EQ(small.ierr, 0);
    EXPECT_EQ(heap_watch::requests.load(), 0);
    Lse q = big;
    heap_watch::arm(1);
    q.solve1();
    heap_watch::disarm();
    EXPECT_EQ(q.ierr, 5);
    EXPECT_EQ(heap_watch::requests.load(), 1);
    expect_untouched(q, big);
}

// Calls with constraints running at the same time do not disturb each
// other: each thread's results equal a lone call's.
TEST(ConstrainedLsq, ConcurrentCallsWithConstraints) {
    zt::Rng rng(50);
    std::vector<Lse> probs;
    for (int t = 0; t < 3; ++t) probs.emplace_back(2, 6 + t, 3, 12, rng);
    probs.emplace_back(2, 18, 3, 20, rng);  // reflections on the heap
    std::vector<Lse> ref = probs;
    for (auto& r : ref) {
        r.solve();
        ASSERT_EQ(r.ierr, 0);
    }
    std::vector<std::vector<Lse>> runs(probs.size());
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < probs.size(); ++t)
        threads.emplace_back([&, t] {
            for (int it = 0; it < 200; ++it) {
                Lse p = probs[t];
                p.solve();
                if (it % 50 == 0) runs[t].push_back(p);
            }
        });
    for (auto& th : threads) th.join();
    for (std::size_t t = 0; t < probs.size(); ++t)
        for (const Lse& p : runs[t]) {
            EXPECT_EQ(p.ierr, 0);
            expect_same(p.x, ref[t].x, "x");
        }
}

}  // namespace

namespace {

// Non-finite data pass the magnitude tests (comparisons with NaN are
// false): the solver ends with a listed status and never strays outside its
// arrays (checked by the sanitizer builds); with status 0, x is not finite.
TEST(ConstrainedLsq, NonFiniteData) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {kNaN, inf}) {
        for (int which = 0; which < 4; ++which) {
            zt::Rng rng(60 + which);
            Lse p(2, 5, 2, 6, rng);
            Vec* arr[4] = {&p.e, &p.f, &p.c, &p.d};
            (*arr[which])[1] = bad;
            p.solve();
            const std::vector<int32_t> listed{0, 3, 4, 11, 13, 15, 21};
            EXPECT_NE(std::find(listed.begin(), listed.end(), p.ierr), listed.end()) << p.ierr;
            if (p.ierr == 0) {
                bool finite = true;
                for (double v : p.x) finite = finite && std::isfinite(v);
                EXPECT_FALSE(finite) << "which " << which;
            }
        }
    }
}

}  // namespace
