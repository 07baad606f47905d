// The linear family's worked examples and edge cases, one table per routine
// family: reflections, triangular solves, pivoted QR, constrained and banded
// least squares, inversion and the weighted product.  Expected values are
// worked out by hand, exactly wherever the arithmetic is exact; comparisons
// with the peer libraries live in oracle/linear_lapack_test.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kAny = -1.25e300;  // an entry that is not checked

double* ptr(Vec& v) { return v.empty() ? nullptr : v.data(); }

// Each element within err * max(1, |expected|) (exactly for err 0), NaN
// where NaN is expected; an empty expectation means "as on entry".
void expect_values(const Vec& got, const Vec& want, const Vec& entry, double err, const char* what) {
    const Vec& w = want.empty() ? entry : want;
    ASSERT_EQ(got.size(), w.size()) << what;
    for (std::size_t i = 0; i < w.size(); ++i) {
        EXPECT_TRUE(std::isnan(w[i]) ? std::isnan(got[i])
                                     : w[i] == kAny || std::fabs(got[i] - w[i]) <= err * std::max(1.0, std::fabs(w[i])))
            << what << "[" << i << "] " << got[i] << " vs " << w[i];
    }
}

// lghtr_ with unit strides (vector j of c at (j - 1) ilast), or lghtrt_ when
// tol is 0 (its v and pivot copy start as 7 and 6).  Empty arrays are passed
// as null: nothing may be read or written.
struct Reflection {
    int32_t mode, ipiv, ifirst, ilast, nvec;
    double tol, upiv;
    Vec u, c;
    int32_t status;
    Vec u_out, upiv_out, c_out, v_out, copy_out;
};

TEST(Linear, HouseholderReflections) {
    // u = (3, 4, 0): s -5, h 8, b -40.  (3, 4, 0) -> (-5, 0, 0) and (0, 1, 0)
    // -> (-0.8, 0.6, 0), the correctly rounded values; (1, -2, 5) is
    // orthogonal to w = (8, 4, 0) and (2^-33, 0, 7) nearly so (inner product
    // 2^-30 < tol): lghtr_ keeps both, lghtrt_ transforms the second.
    const double e = std::ldexp(1.0, -33), t = std::ldexp(1.0, -53);
    const Vec u = {3, 4, 0}, s = {-5, 4, 0}, c = {3, 4, 0, 0, 1, 0, 1, -2, 5, e, 0, 7};
    const Vec kept = {-5, 0, 0, -0.8, 0.6, 0, 1, -2, 5, e, 0, 7};
    const Vec moved = {-5, 0, 0, -0.8, 0.6, 0, 1, -2, 5, std::ldexp(0.125 - 0.2, -30), -std::ldexp(0.1, -30), 7};
    const std::vector<Reflection> rows = {
        {1, 1, 2, 3, 4, 1e-8, 0, u, c, 0, s, {8}, kept, {}, {}},
        {1, 1, 2, 3, 4, 0, 0, u, c, 0, s, {8}, moved, s, {8}},
        {1, 1, 2, 3, 4, 4, 0, u, c, 0, s, {8}, kept, {}, {}},  // the tolerance itself passes
        {1, 1, 2, 3, 4, std::nextafter(4.0, 5.0), 0, u, c, 1, {}, {}, {}, {}, {}},
        // A stretch already zero is still reflected; the sign of s; any
        // mode but 2 constructs.
        {1, 1, 2, 3, 1, 1e-8, 0, {3, 0, 0}, {3, 0, 0}, 0, {-3, 0, 0}, {6}, {-3, 0, 0}, {}, {}},
        {1, 1, 2, 2, 0, 1e-8, 0, {0, 2}, {}, 0, {2, 2}, {-2}, {}, {}, {}},
        {7, 1, 2, 2, 0, 1e-8, 0, {-3, 4}, {}, 0, {5, 4}, {-8}, {}, {}, {}},
        // Index triples out of order: status 0, nothing read or written.
        {1, 0, 2, 3, 3, 1e-8, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        {1, 2, 2, 3, 3, 1e-8, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        {2, 2, 3, 2, 3, 1e-8, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        {1, 0, 2, 3, 3, 0, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        {1, 2, 2, 3, 3, 0, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        {2, 2, 3, 2, 3, 0, 42, {}, {}, 0, {}, {}, {}, {}, {}},
        // lghtr_ refusals touch nothing; nvec < 0 transforms nothing.
        {1, 1, 2, 2, 1, 1e-3, 11, {5e-4, -9e-4}, {1, 2}, 1, {}, {}, {}, {}, {}},
        {2, 1, 2, 2, 1, 1e-8, 3, {1e-9, 1}, {1, 2}, 1, {}, {}, {}, {}, {}},
        {2, 1, 2, 2, 1, 1e-8, 1e-20, {1, 1}, {1, 2}, 1, {}, {}, {}, {}, {}},
        {1, 1, 2, 3, -1, 1e-8, 0, {3, 0, 4}, {1, 1, 1}, 0, {-5, 0, 4}, {8}, {}, {}, {}},
        // lghtrt_: 2 bad mode, 1 small pivot, 3 small vector (1e-8 itself
        // passes), 4 nvec < 0, 5 |h s| < 1e-20; mode 2 with nvec 0 fills v.
        {0, 1, 2, 3, 1, 0, 5, {1, 2, 3}, {1, 1, 1}, 2, {}, {}, {}, {}, {}},
        {2, 1, 2, 3, 1, 0, 5, {9.9e-9, 1, 1}, {1, 1, 1}, 1, {}, {}, {}, {}, {}},
        {1, 1, 2, 3, 1, 0, 5, {1e-9, -9e-9, 0}, {1, 1, 1}, 3, {}, {}, {}, {}, {}},
        {1, 1, 2, 3, 0, 0, 5, {0, -1e-8, 0}, {}, 0, {kAny, -1e-8, 0}, {kAny}, {}, {kAny, -1e-8, 0}, {kAny}},
        {1, 1, 2, 3, -1, 0, 0, {3, 0, 4}, {1, 1, 1}, 4, {-5, 0, 4}, {8}, {}, {-5, 0, 4}, {8}},
        {2, 1, 2, 3, 1, 0, 1e-21, {1, 0, 1}, {1, 1, 1}, 5, {}, {}, {}, {1, 0, 1}, {1e-21}},
        {2, 1, 2, 3, 0, 0, 8, {-5, 0, 4}, {}, 0, {}, {}, {}, {-5, 0, 4}, {}},
        // Inner products: lghtr_ runs one sum from the pivot term (1 + t + t
        // = 1), lghtrt_ adds the stretch's own sum (2t) to it.
        {2, 1, 2, 3, 1, 1e-8, 1, {-1, t, t}, {1, 1, 1}, 0, {}, {}, {0, 1 - t, 1 - t}, {}, {}},
        {2, 1, 2, 3, 1, 0, 1, {-1, t, t}, {1, 1, 1}, 0, {}, {}, {-2 * t, 1 - t, 1 - t}, {-1, t, t}, {1}},
        // A NaN is never below the tolerance: the reflection is built from it.
        {1, 1, 2, 3, 1, 1e-8, 0, {kNaN, 1, 2}, {1, 2, 3}, 0, {kNaN, 1, 2}, {kNaN}, Vec(3, kNaN), {}, {}},
        {1, 1, 2, 3, 1, 0, 0, Vec(3, kNaN), {1, 2, 3}, 0, Vec(3, kNaN), {kNaN}, Vec(3, kNaN), Vec(3, kNaN), {kNaN}},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Reflection& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        Vec uu = row.u, cc = row.c, v(row.u.empty() ? 0 : row.ilast, 7.0), upiv = {row.upiv}, copy = {6.0};
        const Vec v0 = v;
        int32_t ierr = -9;
        const int32_t one = 1;
        if (row.tol == 0)
            lghtrt_(&row.mode, &row.ipiv, &row.ifirst, &row.ilast, ptr(uu), upiv.data(), ptr(cc), &row.nvec, ptr(v),
                    copy.data(), &ierr);
        else
            lghtr_(&row.mode, &row.ipiv, &row.ifirst, &row.ilast, ptr(uu), &one, upiv.data(), ptr(cc), &one, &row.ilast,
                   &row.nvec, &row.tol, &ierr);
        EXPECT_EQ(ierr, row.status);
        expect_values(uu, row.u_out, row.u, 0, "u");
        expect_values(upiv, row.upiv_out, {row.upiv}, 0, "upiv");
        expect_values(cc, row.c_out, row.c, 0, "c");
        expect_values(v, row.v_out, v0, 0, "v");
        expect_values(copy, row.copy_out, {6.0}, 0, "upivcopy");
    }
}

// lgdre_ (mode, nrhs, n) when checked, else lgdre1_ (mode, lda, ncol).
struct Triangle {
    bool checked;
    int32_t mode, k, n;
    Vec a, b;
    int32_t status;
    Vec b_out;
};

TEST(Linear, TriangularSolves) {
    const Vec up = {2, 0, 1, 4}, tiny = {2, 0, 1, 1e-9}, full = {2, 3, 1, 4}, b4 = {1, 2, 3, 4};
    const std::vector<Triangle> rows = {
        {true, 2, 3, 1, {4}, {1, 2, -3}, 0, {0.25, 0.5, -0.75}},
        // Right-hand sides (4, 8) and (6, 12) interleaved: (1, 2), (1.5, 3).
        {true, 2, 2, 2, up, {4, 6, 8, 12}, 0, {1, 1.5, 2, 3}},
        {true, 1, 1, 2, {2, 1, 99, 4}, {4, 6}, 0, {2, 1}},
        // 3 for n < 1, then 4 for nrhs < 1, then 1 for a diagonal element
        // below 1e-8 anywhere (1e-8 itself passes), then 2 for the mode.
        {true, 1, 1, 0, {}, {1}, 3, {}},
        {true, 1, 0, 0, {}, {1}, 3, {}},
        {true, 1, 0, 2, up, {1, 2}, 4, {}},
        {true, 1, -2, 2, tiny, {1, 2}, 4, {}},
        {true, 1, 2, 2, tiny, b4, 1, {}},
        {true, 3, 2, 2, tiny, b4, 1, {}},
        {true, 3, 2, 2, up, b4, 2, {}},
        {true, 2, 2, 2, {2, 0, 1, 1e-8}, {1, 3, 1e-8, 2e-8}, 0, {0, 0.5, 1, 2}},
        {true, 1, 1, 1, {kNaN}, {1}, 0, {kNaN}},
        // lgdre1_: order min(lda, ncol); nothing for an order below 1.
        {false, 2, 2, 7, {2, 0, 1, 4, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, {4, 8, 77}, 0, {1, 2, 77}},
        {false, 1, 5, 0, {}, {5, 6}, 0, {}},
        {false, 2, -1, 3, {}, {5, 6}, 0, {}},
        // The four modes on one matrix; below 2 is mode 1, above 2 mode 3.
        {false, 1, 2, 2, full, {4, 10}, 0, {2, 1}},
        {false, 2, 2, 2, full, {4, 10}, 0, {0.75, 2.5}},
        {false, 3, 2, 2, full, {4, 10}, 0, {2, 2}},
        {false, 4, 2, 2, full, {4, 10}, 0, {-1.75, 2.5}},
        {false, 0, 2, 2, full, {4, 10}, 0, {2, 1}},
        {false, 5, 2, 2, full, {4, 10}, 0, {2, 2}},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Triangle& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        Vec a = row.a, b = row.b;
        int32_t ierr = 0;
        if (row.checked)
            lgdre_(&row.mode, &row.k, &row.n, ptr(a), b.data(), &ierr);
        else
            lgdre1_(&row.mode, &row.k, &row.n, ptr(a), b.data());
        EXPECT_EQ(ierr, row.status);
        expect_values(b, row.b_out, row.b, 0, "b");
    }
}

// lgqrfc_ with h starting as 7s: a, h (empty: as on entry) and the record.
struct PivotedQr {
    int32_t lda, m, n;
    Vec a, a_out, h_out;
    std::vector<int32_t> ipvt;
};

TEST(Linear, PivotedQr) {
    const double p = -2.5;  // a padding row below m
    const std::vector<PivotedQr> rows = {
        // The zero column goes second; its length is recomputed as 0 and it
        // gets no reflection.
        {2, 2, 2, {0, 0, 3, 4}, {-5, 4, 0, 0}, {8, 0}, {2, 2}},
        {3, 3, 1, {2, -1, 2}, {-3, -1, 2}, {5}, {1}},
        {2, 2, 1, {0, 1}, {1, 1}, {-1}, {1}},
        {3, 3, 2, {0, 2, 0, 2, 0, 0}, {2, 2, 0, 0, -2, 0}, {-2, 4}, {1, 2}},  // equal lengths: no exchange
        // Nothing to factorise (also with lda < m): only the record is set.
        {2, 0, 2, {1, 2, 3, 4}, {}, {}, {1, 2}},
        {2, -3, 2, {1, 2, 3, 4}, {}, {}, {1, 2}},
        {1, 2, 2, {1, 2, 3, 4}, {}, {}, {1, 2}},
        {2, 2, 0, {}, {}, {}, {}},
        {2, 2, -1, {}, {}, {}, {}},
        // NaN and infinity: a valid record, nothing outside the matrix touched.
        {3, 2, 2, {kNaN, 1, p, 3, 4, p}, {kNaN, 1, p, kNaN, kNaN, p}, {kNaN, kNaN}, {1, 2}},
        {3, 2, 2, {3, 4, p, kInf, 1, p}, {kNaN, 1, p, kNaN, kNaN, p}, {kNaN, kNaN}, {2, 2}},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const PivotedQr& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        Vec a = row.a, h(std::max(row.n, 0), 7.0);
        const Vec h0 = h;
        std::vector<int32_t> ipvt(std::max(row.n, 0), -9);
        lgqrfc_(&row.lda, &row.m, &row.n, ptr(a), ptr(h), ipvt.empty() ? nullptr : ipvt.data());
        expect_values(a, row.a_out, row.a, 0, "a");
        expect_values(h, row.h_out, h0, 0, "h");
        EXPECT_EQ(ipvt, row.ipvt);
    }
}

// lglse_ (via 0) or lglse1_ with the stated work sizes (1), lwork one too
// large (2) or lvec one too large (3).  Arrays not given are drawn at random;
// counts that describe no problem (status 1 or 2) get null arrays only.
// Status 5 leaves everything, ncon = n leaves c and d, failure leaves x.
struct ConstrainedLsq {
    int32_t via, k, n, p, q;
    Vec e, f, c, d;
    int32_t status;
    Vec x, e_out, f_out, c_out, d_out;
};

TEST(Linear, ConstrainedLeastSquares) {
    const double r = 1 / std::sqrt(2.0), q2 = std::sqrt(2.0);
    const std::vector<ConstrainedLsq> rows = {
        // min |x - (1, 1)| subject to x1 + x2 = 1: e Q = (-sqrt 2, 0), y1 =
        // -1/sqrt 2, c Q = [C1 C2] with C2 triangularised, d = (y2, residual).
        {0, 1, 2, 1, 2, {1, 1}, {1}, {1, 0, 0, 1}, {1, 1}, 0, {0.5, 0.5}, {-q2, 0}, {-r}, {-r, -r, 1, 0}, {0, r}},
        // The constraints alone (c and d null), and lglse1_: then e x = f.
        {0, 2, 3, 3, 0, {}, {}, {}, {}, 0, {}, {}, {}, {}, {}},
        {1, 3, 4, 2, 5, {}, {}, {}, {}, 0, {}, {}, {}, {}, {}},
        // Counts: 1 for n < 1 or ncon outside 0..n, then 2 for n > ncon + neq.
        {0, 1, -3, 0, 2, {}, {}, {}, {}, 1, {}, {}, {}, {}, {}},
        {0, 1, 3, -1, 5, {}, {}, {}, {}, 1, {}, {}, {}, {}, {}},
        {0, 1, 2, 3, 2, {}, {}, {}, {}, 1, {}, {}, {}, {}, {}},
        {0, 1, 3, 4, -1, {}, {}, {}, {}, 1, {}, {}, {}, {}, {}},
        {0, 1, 5, 1, 3, {}, {}, {}, {}, 2, {}, {}, {}, {}, {}},
        {1, 1, 0, 0, 5, {}, {}, {}, {}, 1, {}, {}, {}, {}, {}},
        {1, 1, 3, 1, -1, {}, {}, {}, {}, 2, {}, {}, {}, {}, {}},
        // Dependent constraint rows: 13; with ncon = n the last row gets no
        // reflection and its zero diagonal element in L gives 3.
        {0, 1, 3, 2, 1, {1, 2, 2, 4, 3, 6}, {}, {}, {}, 13, {}, {}, {}, {}, {}},
        {0, 1, 3, 3, 0, {1, 0, 2, 0, 1, 0, 0, 1, 0}, {}, {}, {}, 3, {}, {}, {}, {}, {}},
        // Degenerate triangles: 3 and 4 relative to the largest diagonal
        // element, 21 below 1e-8; 11 for a zero column of the reduced matrix.
        {0, 1, 2, 2, 0, {1, 0, 0, 1e-17}, {}, {}, {}, 3, {}, {-1, 0, 0, 1e-17}, {}, {}, {}},
        {0, 1, 2, 2, 0, {1, 0, 0, 1e-9}, {}, {}, {}, 21, {}, {}, {}, {}, {}},
        {0, 1, 2, 0, 2, {}, {}, {1, 0, 0, 1e-17}, {}, 4, {}, {}, {}, {}, {}},
        {0, 1, 2, 0, 2, {}, {}, {1, 0, 0, 1e-9}, {}, 21, {}, {}, {}, {}, {}},
        {0, 1, 2, 0, 3, {}, {}, {1, 2, 3, 0, 0, 0}, {}, 11, {}, {}, {}, {}, {}},
        // nrhs: 14 when negative without constraints, 24 otherwise.
        {0, -1, 2, 0, 3, {}, {}, {}, {}, 14, {}, {}, {}, {}, {}},
        {0, 0, 2, 0, 3, {}, {}, {}, {}, 24, {}, {}, {}, {}, {}},
        {0, -2, 3, 1, 3, {}, {}, {}, {}, 24, {}, {}, {}, {}, {}},
        // lglse1_: work sizes other than the stated ones, or more right-hand
        // sides than they hold (max(n, 3)).
        {2, 1, 3, 1, 4, {}, {}, {}, {}, 5, {}, {}, {}, {}, {}},
        {3, 1, 3, 1, 4, {}, {}, {}, {}, 5, {}, {}, {}, {}, {}},
        {1, 4, 3, 1, 4, {}, {}, {}, {}, 5, {}, {}, {}, {}, {}},
        // NaN and infinity pass every magnitude test: status 0, NaN in x.
        {0, 1, 1, 1, 0, {kNaN}, {1}, {}, {}, 0, {kNaN}, {}, {}, {}, {}},
        {0, 1, 1, 1, 0, {2}, {kNaN}, {}, {}, 0, {kNaN}, {}, {}, {}, {}},
        {0, 1, 1, 0, 1, {}, {}, {2}, {kNaN}, 0, {kNaN}, {}, {}, {}, {}},
        {0, 1, 2, 0, 2, {}, {}, {kNaN, 0, 0, 1}, {1, 1}, 0, {kNaN, kNaN}, {}, {}, {}, {}},
        {0, 1, 2, 0, 2, {}, {}, {kInf, 0, 0, 1}, {1, 1}, 0, {kNaN, kNaN}, {}, {}, {}, {}},
    };
    for (std::size_t t = 0; t < rows.size(); ++t) {
        const ConstrainedLsq& row = rows[t];
        SCOPED_TRACE("row " + std::to_string(t));
        const bool none = row.status == 1 || row.status == 2;
        zt::Rng rng(t);
        auto fill = [&](const Vec& given, int32_t m, int32_t n) {
            return none ? Vec{} : !given.empty() ? given : rng.vec(std::max(m, 0) * std::max(n, 0));
        };
        const int32_t k = row.k, k1 = std::max(k, 1), n = row.n, p = row.p, q = row.q;
        Vec e = fill(row.e, p, n), f = fill(row.f, p, k1), c = fill(row.c, q, n), d = fill(row.d, q, k1);
        Vec x(none ? 0 : n * k1, kNaN);
        const Vec e0 = e, f0 = f, c0 = c, d0 = d, x0 = x;
        int32_t ierr = -9;
        if (row.via == 0) {
            lglse_(&k, &n, &p, &q, ptr(e), ptr(f), ptr(c), ptr(d), ptr(x), &ierr);
        } else {
            const int32_t n3 = std::max(n, 3), lwork = n3 * std::max({n3, p, q}) + (row.via == 2);
            const int32_t lvec = std::max({n, p, q}) + (row.via == 3);
            Vec w1(none ? 0 : lwork), w2(w1.size()), v1(none ? 0 : lvec), v2(v1.size());
            lglse1_(&k, &n, &p, &q, ptr(e), ptr(f), ptr(c), ptr(d), ptr(x), &lwork, &lvec, ptr(w1), ptr(w2), ptr(v1),
                    ptr(v2), &ierr);
        }
        EXPECT_EQ(ierr, row.status);
        auto check = [](const Vec& got, const Vec& want, const Vec& entry, bool same, const char* what) {
            if (same || !want.empty()) expect_values(got, same ? entry : want, entry, same ? 0 : 1e-15, what);
        };
        check(e, row.e_out, e0, row.status == 5, "e");
        check(f, row.f_out, f0, row.status == 5, "f");
        check(c, row.c_out, c0, row.status == 5 || p == n, "c");
        check(d, row.d_out, d0, row.status == 5 || p == n, "d");
        check(x, row.x, x0, row.status != 0, "x");
        for (int32_t s = 0; s < k && row.status == 0 && row.x.empty(); ++s)
            for (int32_t i = 0; i < p; ++i) {
                double ex = 0;
                for (int32_t j = 0; j < n; ++j) ex += e0[i + j * p] * x[j * k + s];
                EXPECT_NEAR(ex, f0[i * k + s], 1e-13);
            }
    }
}

// Banded least squares: a band array (contents g0; zeros when blocks follow
// and g0 is empty, null when nothing is given) fed blocks of equations at
// inext as a caller does; its state and contents after them; then solves,
// x starting as 7s when not given and expected as on entry when empty.
struct BandSolve {
    int32_t mode, n;
    double tol;
    Vec x, x_out;
    int32_t status;
};
struct Banded {
    int32_t ldg, nb, nrhs;
    Vec g0;
    int32_t ipos0;
    std::vector<std::pair<int32_t, Vec>> blocks;  // jcol; rows of nb coefficients, then nrhs right-hand sides
    int32_t ipos, inext;
    Vec g_out;
    std::vector<BandSolve> solves;
};

TEST(Linear, BandedLeastSquares) {
    const double above = std::nextafter(1.0, 2.0), _ = kAny;
    // The line through (0, 1), (1, 3), (2, 5) fed one point per call is
    // 1 + 2 x; the band part of the row below the full triangle is cleared.
    // A fourth point (3, 6) makes it 1.2 + 1.7 x.
    const Vec line = {1, 0, 1, 1, 1, 3, 1, 2, 5}, cleared = {_, _, 0, _, _, _, 0, _, _, _, _, _};
    // Block 1 is triangular but for the sign; block 2 (variables 5..7,
    // solution (5, 6, 7)) starts past the first free row: it moves to row 5,
    // rows 3 and 4 are cleared, row 2 shifts left, rows 9 and 10 stay.
    // Variables 3 and 4 have no equation: mode 1 solves rows 7..5 and stops,
    // mode 2 solves rows 1 and 2 and stops.
    const Vec gap1 = {2, 1, -1, 1, 0, 4, 3, 17};
    const Vec gap2 = {1, 2, 0.5, 20.5, -1, 1, 3, 22, 2, -1, 1, 11, 0.5, 0.5, -2, -8.5};
    const Vec gap = {-2, 4, 0, 0, _, _, _, 0, 99, 99, -1, 3,  0, 0, _, _, _, 0, 99, 99,
                     1,  0, 0, 0, _, _, _, 0, 99, 99, -1, 17, 0, 0, _, _, _, _, 99, 99};
    const std::vector<BandSolve> gap_solves = {{1, 7, 1e-12, {}, {-1, 17, 0, 0, 5, 6, 7}, 1},
                                               {2, 7, 1e-12, {2, 5, 9, 9, 9, 9, 9}, {-1, 1, 9, 9, 9, 9, 9}, 1}};
    // A factor R of bandwidth 3 laid out with ipos 3 (right-hand sides R x),
    // solved exactly in every mode; |R(3, 3)| = 1 just below the tolerance
    // stops mode 3 after rows 5, 4 and mode 2 after rows 1, 2.
    const Vec x = {1, 4, -2, 0, 3, -1, 0.5, 2, -1, 0.25}, y = {-3, 9, 2, 1, -7.5, 4.25, 5, 7.25, -8, 2};
    const Vec yt = {2, 8, -7, 4, -10, -3, 1, 7, 5.5, -9};  // R^T x
    const Vec r = {2, 4, -1, 0, 0, 1, 3, 1, 4, 0, -1, 2, 5, -3, 8, -3, 2, -7.5, 5, -8, 9, 1, 4.25, 7.25, 2};
    const std::vector<BandSolve> exact = {{1, 5, 1, {}, x, 0},
                                          {3, 5, 1, y, x, 0},
                                          {2, 5, 1, yt, x, 0},
                                          {3, 5, above, y, {-3, 9, 2, 1, -7.5, 4.25, 0.5, 2, -1, 0.25}, 1},
                                          {2, 5, above, yt, {1, 4, -2, 0, -10, -3, 1, 7, 5.5, -9}, 1},
                                          {4, 5, 1, y, {}, 1},
                                          {0, 5, 1, y, {}, 1}};
    // With ipos 1 the diagonal of row 5 would lie past the last column (a
    // column of ones after g would show a read beyond it).
    const Vec diag = {2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 1, 1, 1, 1, 1};
    const std::vector<BandSolve> past = {{3, 5, 1e-12, {2, 4, 6, 8, 10}, {}, 1},
                                         {1, 5, 1e-12, {}, {0, 0, 0, 2, 0}, 1},
                                         {2, 5, 1e-12, {2, 4, 6, 8, 10}, {1, 2, 3, 4, 10}, 1}};
    // No band, a negative number of right-hand sides, more variables than
    // rows of g: status 1, nothing read or written.
    const Vec s7(10, 7.0);
    auto refused = [&](int32_t n) {
        return std::vector<BandSolve>{{1, n, 1e-12, s7, {}, 1}, {2, n, 1e-12, s7, {}, 1}, {3, n, 1e-12, s7, {}, 1}};
    };
    const std::vector<Banded> rows = {
        {4,
         2,
         1,
         {},
         1,
         {{1, {1, 0, 1}}, {1, {1, 1, 3}}, {1, {1, 2, 5}}},
         1,
         4,
         cleared,
         {{1, 2, 1e-12, {}, {1, 2}, 0}}},
        {4, 2, 1, {}, 1, {{1, line}, {1, {1, 3, 6}}}, 1, 4, {}, {{1, 2, 1e-12, {}, {1.2, 1.7}, 0}}},
        {10, 3, 1, Vec(40, 99.0), 1, {{1, gap1}, {5, gap2}}, 5, 9, gap, gap_solves},
        {5, 3, 2, r, 3, {}, 3, 3, {}, exact},
        {5, 3, 1, diag, 1, {}, 1, 1, {}, past},
        // A NaN coefficient reaches the factor, whose NaN diagonal passes.
        {4, 2, 1, {}, 1, {{1, {1, 0, 1, 1, 1, 3, kNaN, 2, 5}}}, 1, 4, {}, {{1, 2, 1e-8, {}, {kNaN, kNaN}, 0}}},
        {5, 0, 1, {}, 2, {}, 2, 2, {}, refused(5)},
        {5, 3, -1, {}, 2, {}, 2, 2, {}, refused(5)},
        {5, 3, 1, {}, 2, {}, 2, 2, {}, refused(6)},
    };
    const double tol = 1e-8;
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Banded& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        const int32_t width = row.nb + row.nrhs;
        Vec g = row.g0.empty() && !row.blocks.empty() ? Vec(row.ldg * width, 0.0) : row.g0;
        int32_t ipos = row.ipos0, inext = row.ipos0;
        for (const auto& [jcol, eqs] : row.blocks) {
            const int32_t nrow = static_cast<int32_t>(eqs.size()) / width;
            for (int32_t i = 0; i < nrow * width; ++i) g[(inext - 1 + i / width) + i % width * row.ldg] = eqs[i];
            lgbla_(g.data(), &row.ldg, &row.nb, &ipos, &inext, &nrow, &jcol, &row.nrhs, &tol);
        }
        EXPECT_EQ(ipos, row.ipos);
        EXPECT_EQ(inext, row.inext);
        if (!row.g_out.empty()) expect_values(g, row.g_out, g, 0, "g");
        for (const BandSolve& s : row.solves) {
            Vec xs = s.x.empty() ? Vec(s.n * row.nrhs, 7.0) : s.x;
            int32_t ierr = -9;
            lgbls_(&s.mode, ptr(g), &row.ldg, &row.nb, &ipos, &s.n, &row.nrhs, &s.tol, xs.data(), &ierr);
            EXPECT_EQ(ierr, s.status) << "mode " << s.mode;
            expect_values(xs, s.x_out, s.x, 1e-14, "x");
        }
    }
    // Folds outside the protocol or outside g change nothing: no rows, rows
    // past the end of g (as placed or as moved down), a block left of the
    // current one, no band, a negative number of right-hand sides.
    for (auto [nrow, jcol, nb, nrhs] : std::vector<std::array<int32_t, 4>>{
             {0, 3, 2, 1}, {-3, 3, 2, 1}, {3, 3, 2, 1}, {2, 6, 2, 1}, {1, 2, 2, 1}, {1, 3, 0, 1}, {1, 3, 2, -1}}) {
        Vec g(18, 5.0);
        int32_t ipos = 3, inext = 5;
        const int32_t ldg = 6;
        lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
        EXPECT_EQ(g, Vec(18, 5.0)) << nrow << " " << jcol << " " << nb << " " << nrhs;
        EXPECT_EQ(std::pair(ipos, inext), std::pair(3, 5));
    }
}

// lminv_: on success a P = I with P (m by n) being x read row by row, and a
// unchanged when n != m; on failure x untouched; counts below 1 read nothing.
TEST(Linear, MatrixInversion) {
    struct Inverse {
        int32_t n, m;
        Vec a;
        int32_t status;
    };
    const Vec wide = {1, 0, 2, 1, -1, 3};
    const std::vector<Inverse> rows = {
        {3, 3, {2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5}, 0},
        {2, 3, wide, 0},
        {3, 2, wide, 1},                         // a a^T is singular
        {3, 3, {1, 2, 3, 2, 4, 6, 0, 1, 5}, 1},  // second column twice the first
        {0, 3, {}, 1},
        {3, 0, {}, 1},
        {-1, -1, {}, 1},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Inverse& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        Vec a = row.a, x(row.a.size(), kNaN);
        int32_t ierr = -9;
        lminv_(&row.n, &row.m, ptr(a), ptr(x), &ierr);
        EXPECT_EQ(ierr, row.status);
        if (row.status != 0) expect_values(x, {}, Vec(x.size(), kNaN), 0, "x");
        for (int32_t i = 0; i < row.n && row.status == 0; ++i)
            for (int32_t j = 0; j < row.n; ++j) {
                double s = 0;
                for (int32_t l = 0; l < row.m; ++l) s += row.a[i + l * row.n] * x[l * row.n + j];
                EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-15) << i << "," << j;
            }
        EXPECT_TRUE(row.n == row.m || a == row.a);
    }
}

// lgloes_: c = M diag(w) b, b and c row by row, status 0; two entries past
// the expected result (all of c when none is expected) stay as they were.
TEST(Linear, WeightedProduct) {
    struct Product {
        int32_t n, m, ncol;
        Vec mat, b, w, c;
    };
    const Vec m32 = {1, 2, 3, 4, 5, 6}, b22 = {1, 2, 3, 4}, c32 = {13, 18, 17, 24, 21, 30};
    const std::vector<Product> rows = {
        {2, 2, 2, {1, 0, 0, 1}, {1, 1, 1, 2}, {2, 3}, {2, 2, 3, 6}},
        {2, 2, 1, {1, 3, 2, 4}, {1, 1}, {1, 2}, {5, 11}},
        {2, 3, 2, m32, b22, {1, 1}, c32},               // unit weights: M b
        {2, 3, 2, m32, {0.5, 1, 6, 8}, {2, 0.5}, c32},  // weights moved into b
        {0, 2, 3, {}, {}, {}, {0, 0, 0, 0, 0, 0}},      // n < 1: zeros
        {-4, 1, 2, {}, {}, {}, {0, 0}},
        {2, 0, 2, m32, b22, {1, 1}, {}},  // m < 1 or ncol < 1: nothing
        {2, -1, 2, m32, b22, {1, 1}, {}},
        {2, 2, 0, m32, b22, {1, 1}, {}},
        {2, 2, -5, m32, b22, {1, 1}, {}},
    };
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const Product& row = rows[k];
        SCOPED_TRACE("row " + std::to_string(k));
        Vec mat = row.mat, b = row.b, w = row.w, c(row.c.size() + 2, kNaN), want = row.c;
        want.insert(want.end(), {kNaN, kNaN});
        const double* hmat = ptr(mat);
        int32_t ierr = -9;
        lgloes_(&row.n, &row.m, &hmat, &row.ncol, ptr(b), ptr(w), c.data(), &ierr);
        EXPECT_EQ(ierr, 0);
        expect_values(c, want, want, 0, "c");
    }
}

}  // namespace
