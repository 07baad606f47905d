// The reflections, the pivoted QR, the transposed matrix-vector product, the
// triangular solves and the damping-parameter iteration run several
// independent sums side by side for speed.  These tests hold them, bit for
// bit, to plain one-at-a-time loops written out here, on shapes that
// exercise every grouping remainder, vectors left unchanged by the tolerance
// test, overlapping vectors and non-finite entries.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "support.hpp"

namespace {

// Construction of a reflection one element at a time: the largest
// magnitude, the scaled sum of squares, s with the sign opposite to the
// pivot, h = u(lp) - s; u(lp) becomes s.  False (nothing written) when the
// largest magnitude is below tol.
template <class Elem>
bool plain_build(const Elem& U, std::int64_t lp, std::int64_t l1, std::int64_t m, double tol, double& h) {
    double cl = std::fabs(U(lp));
    for (std::int64_t i = l1; i <= m; ++i)
        if (std::fabs(U(i)) > cl) cl = std::fabs(U(i));
    if (cl < tol) return false;
    const double r = 1.0 / cl;
    double sm = (U(lp) * r) * (U(lp) * r);
    for (std::int64_t i = l1; i <= m; ++i) sm = sm + (U(i) * r) * (U(i) * r);
    cl = cl * std::sqrt(sm);
    if (U(lp) > 0.0) cl = -cl;
    h = U(lp) - cl;
    U(lp) = cl;
    return true;
}

// The application and construction of a reflection, one vector after the
// other, at any strides.
void plain_reflection(int mode, std::int64_t lp, std::int64_t l1, std::int64_t m, double* u,
                      std::int64_t incu, double* upiv, double* c, std::int64_t ince, std::int64_t incv,
                      std::int64_t nv, double tol, int* ierr) {
    *ierr = 0;
    if (lp <= 0 || lp >= l1 || l1 > m) return;
    auto U = [&](std::int64_t i) -> double& { return u[(i - 1) * incu]; };
    double h;
    if (mode == 2) {
        if (std::fabs(U(lp)) < tol) {
            *ierr = 1;
            return;
        }
        h = *upiv;
    } else {
        if (!plain_build(U, lp, l1, m, tol, h)) {
            *ierr = 1;
            return;
        }
        *upiv = h;
    }
    if (nv <= 0) return;
    double b = h * U(lp);
    if (std::fabs(b) < tol * tol) {
        *ierr = 1;
        return;
    }
    b = 1.0 / b;
    for (std::int64_t j = 1; j <= nv; ++j) {
        auto C = [&](std::int64_t i) -> double& { return c[(j - 1) * incv + (i - 1) * ince]; };
        double t = C(lp) * h;
        for (std::int64_t i = l1; i <= m; ++i) t = t + C(i) * U(i);
        if (std::fabs(t) < tol) continue;
        t = t * b;
        C(lp) = C(lp) + t * h;
        for (std::int64_t i = l1; i <= m; ++i) C(i) = C(i) + t * U(i);
    }
}

// Bit for bit, except that any NaN equals any NaN: the sign and payload of
// a NaN depend on which operand the compiler puts first, not on the order
// of the arithmetic.
void expect_same(const std::vector<double>& a, const std::vector<double>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (std::isnan(a[k]) && std::isnan(b[k])) continue;
        EXPECT_BITEQ(a[k], b[k]) << " at " << k;
    }
}

TEST(LoopOrder, ReflectionOfColumnsMatchesOneVectorAtATime) {
    zt::Rng rng(801);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int trial = 0; trial < 300; ++trial) {
        const std::int64_t m = 2 + trial % 23;
        const std::int64_t lp = trial % 2 == 0 ? 1 : 1 + (trial / 7) % (m - 1);
        const std::int64_t l1 = lp + 1 + (trial % 3 == 0 && lp + 2 <= m ? 1 : 0);
        const std::int64_t nv = trial % 11;
        const std::int64_t ld = m + trial % 4;
        std::vector<double> a = rng.vec(static_cast<std::size_t>(ld * (nv + 1)));
        // A column orthogonal to the reflection vector (zero in its range),
        // one with tiny entries, one with a NaN and one with an infinity.
        if (nv >= 2)
            for (std::int64_t i = 0; i < m; ++i) a[static_cast<std::size_t>(2 * ld + i)] = 0.0;
        if (nv >= 3 && trial % 2)
            for (std::int64_t i = 0; i < m; ++i) a[static_cast<std::size_t>(3 * ld + i)] *= 1e-12;
        if (nv >= 5 && trial % 5 == 0) a[static_cast<std::size_t>(5 * ld + m - 1)] = nan;
        if (nv >= 6 && trial % 7 == 0) a[static_cast<std::size_t>(6 * ld + lp - 1)] = -INFINITY;
        // Non-finite entries in the defining vector itself: the largest
        // magnitude must come out as in the plain scan.
        if (trial % 13 == 0) a[static_cast<std::size_t>(m - 1)] = nan;
        if (trial % 17 == 0) a[static_cast<std::size_t>(lp - 1)] = nan;
        if (trial % 19 == 0) a[static_cast<std::size_t>(l1 - 1)] = INFINITY;
        if (trial % 23 == 0) a[static_cast<std::size_t>(m - 1)] = 1e300;
        std::vector<double> b = a;
        double ha = 0.0, hb = 0.0;
        int ea = -1, eb = -2;
        const int32_t mode = 1, ip = int32_t(lp), i1 = int32_t(l1), il = int32_t(m), one = 1,
                      inc = int32_t(ld), n = int32_t(nv);
        const double tol = 1e-8;
        lghtr_(&mode, &ip, &i1, &il, a.data(), &one, &ha, a.data() + ld, &one, &inc, &n, &tol, &ea);
        plain_reflection(1, lp, l1, m, b.data(), 1, &hb, b.data() + ld, 1, ld, nv, tol, &eb);
        EXPECT_EQ(ea, eb);
        expect_same({ha}, {hb});
        expect_same(a, b);
        // Apply the stored reflection again (mode 2) to the same columns.
        const int32_t apply = 2;
        lghtr_(&apply, &ip, &i1, &il, a.data(), &one, &ha, a.data() + ld, &one, &inc, &n, &tol, &ea);
        plain_reflection(2, lp, l1, m, b.data(), 1, &hb, b.data() + ld, 1, ld, nv, tol, &eb);
        EXPECT_EQ(ea, eb);
        expect_same(a, b);
    }
}

TEST(LoopOrder, OverlappingVectorsKeepTheirSequentialMeaning) {
    // Vectors one element apart share all but one element, and u lies
    // inside the vectors: each vector must see the changes made to the one
    // before it, exactly as in the one-at-a-time loop.
    zt::Rng rng(802);
    for (const std::int64_t incv : {1, 2, 3}) {
        std::vector<double> a = rng.vec(40), b = a;
        const int32_t mode = 1, ip = 1, i1 = 2, il = 6, one = 1, inc = int32_t(incv), n = 6;
        const double tol = 1e-8;
        double ha = 0, hb = 0;
        int ea = 0, eb = 0;
        lghtr_(&mode, &ip, &i1, &il, a.data() + 3, &one, &ha, a.data(), &one, &inc, &n, &tol, &ea);
        plain_reflection(1, 1, 2, 6, b.data() + 3, 1, &hb, b.data(), 1, incv, 6, tol, &eb);
        EXPECT_EQ(ea, eb);
        expect_same(a, b);
    }
    // Columns apart from one another, but u is one of them: the vectors
    // after it must see u as changed by its own transformation.
    for (const int32_t ucol : {0, 2, 5}) {
        std::vector<double> a = rng.vec(8 * 7), b = a;
        const int32_t mode = 1, ip = 2, i1 = 3, il = 6, ld = 8, one = 1, n = 6;
        const double tol = 1e-8;
        double ha = 0, hb = 0;
        int ea = 0, eb = 0;
        lghtr_(&mode, &ip, &i1, &il, a.data() + ucol * ld, &one, &ha, a.data(), &one, &ld, &n, &tol, &ea);
        plain_reflection(1, 2, 3, 6, b.data() + ucol * ld, 1, &hb, b.data(), 1, ld, 6, tol, &eb);
        EXPECT_EQ(ea, eb);
        expect_same(a, b);
    }
    // Rows of a matrix (element stride ld) take the general path too.
    std::vector<double> a = rng.vec(64), b = a;
    const int32_t mode = 1, ip = 1, i1 = 3, il = 8, ld = 8, one = 1, n = 7;
    const double tol = 1e-8;
    double ha = 0, hb = 0;
    int ea = 0, eb = 0;
    lghtr_(&mode, &ip, &i1, &il, a.data(), &ld, &ha, a.data() + 1, &ld, &one, &n, &tol, &ea);
    plain_reflection(1, 1, 3, 8, b.data(), 8, &hb, b.data() + 1, 8, 1, 7, tol, &eb);
    expect_same(a, b);
}

// The unit-stride reflection: construction (mode 1) or stored (mode 2),
// then every column of the ilast-row matrix c, one after the other.
void plain_stored_reflection(int mode, std::int64_t lp, std::int64_t l1, std::int64_t m, double* u,
                             double* upiv, double* c, std::int64_t nv, double* v, double* upivcopy,
                             int* ierr) {
    *ierr = 0;
    if (lp < 1 || lp >= l1 || l1 > m) return;
    auto U = [&](std::int64_t i) -> double& { return u[i - 1]; };
    double h;
    if (mode == 2) {
        if (std::fabs(U(lp)) < 1e-8) {
            *ierr = 1;
            return;
        }
        h = *upiv;
    } else if (mode != 1) {
        *ierr = 2;
        return;
    } else {
        if (!plain_build(U, lp, l1, m, 1e-8, h)) {
            *ierr = 3;
            return;
        }
        *upivcopy = h;
        *upiv = *upivcopy;
    }
    for (std::int64_t i = 1; i < lp; ++i) v[i - 1] = 0.0;
    for (std::int64_t i = lp + 1; i < l1; ++i) v[i - 1] = 0.0;
    v[lp - 1] = U(lp);
    for (std::int64_t i = l1; i <= m; ++i) v[i - 1] = U(i);
    if (nv == 0) return;
    if (nv < 0) {
        *ierr = 4;
        return;
    }
    *upivcopy = h;
    double b = U(lp) * h;
    if (std::fabs(b) < 1e-20) {
        *ierr = 5;
        return;
    }
    b = 1.0 / b;
    for (std::int64_t j = 1; j <= nv; ++j) {
        auto C = [&](std::int64_t i) -> double& { return c[(j - 1) * m + (i - 1)]; };
        double s = 0.0;
        for (std::int64_t i = l1; i <= m; ++i) s = s + U(i) * C(i);
        double t = h * C(lp) + s;
        t = t * b;
        C(lp) = C(lp) + t * h;
        for (std::int64_t i = l1; i <= m; ++i) C(i) = C(i) + t * U(i);
    }
}

TEST(LoopOrder, UnitStrideReflectionMatchesOneColumnAtATime) {
    zt::Rng rng(806);
    for (int trial = 0; trial < 200; ++trial) {
        const std::int64_t m = 2 + trial % 19;
        const std::int64_t lp = 1 + (trial / 3) % (m - 1);
        const std::int64_t l1 = lp + 1;
        const std::int64_t nv = trial % 10;
        const int mode = trial % 4 == 3 ? 2 : 1;
        // u separate from c, u shared with v, or u being a column of c (the
        // last case runs column after column).
        const int layout = trial % 3;
        std::vector<double> store = rng.vec(static_cast<std::size_t>(m * (nv + 2)));
        if (trial % 11 == 0 && nv >= 1) store[static_cast<std::size_t>(m + m - 1)] = INFINITY;
        std::vector<double> other = store;
        double ha = 0.75, hb = 0.75, ca = 0, cb = 0;
        int ea = -1, eb = -2;
        std::vector<double> va(static_cast<std::size_t>(m)), vb(va.size());
        auto pick_u = [&](std::vector<double>& a) { return layout == 2 ? a.data() + m : a.data(); };
        double* ua = pick_u(store);
        double* ub = pick_u(other);
        double* vva = layout == 1 ? ua : va.data();
        double* vvb = layout == 1 ? ub : vb.data();
        const int32_t md = mode, ip = int32_t(lp), i1 = int32_t(l1), il = int32_t(m), n = int32_t(nv);
        lghtrt_(&md, &ip, &i1, &il, ua, &ha, store.data() + m, &n, vva, &ca, &ea);
        plain_stored_reflection(mode, lp, l1, m, ub, &hb, other.data() + m, nv, vvb, &cb, &eb);
        EXPECT_EQ(ea, eb);
        expect_same({ha, ca}, {hb, cb});
        expect_same(store, other);
        expect_same(va, vb);
    }
}

TEST(LoopOrder, TriangularSolveOfInterleavedRightHandSidesMatchesOneAtATime) {
    zt::Rng rng(807);
    for (const int32_t n : {1, 2, 7, 23}) {
        for (const int32_t k : {1, 3, 16, 17, 40}) {
            std::vector<double> a = rng.vec(static_cast<std::size_t>(n * n));
            for (int i = 0; i < n; ++i) a[static_cast<std::size_t>(i + i * n)] += 3.0;
            for (const int32_t mode : {1, 2}) {
                std::vector<double> x = rng.vec(static_cast<std::size_t>(n * k), -1e3, 1e3), y = x;
                int32_t ierr = -1;
                lgdre_(&mode, &k, &n, a.data(), x.data(), &ierr);
                EXPECT_EQ(ierr, 0);
                auto A = [&](int i, int l) { return a[static_cast<std::size_t>((i - 1) + (l - 1) * n)]; };
                auto Y = [&](int i, int r) -> double& {
                    return y[static_cast<std::size_t>((i - 1) * k + (r - 1))];
                };
                for (int r = 1; r <= k; ++r) {
                    if (mode == 1) {
                        Y(1, r) = Y(1, r) / A(1, 1);
                        for (int i = 2; i <= n; ++i) {
                            double t = Y(i, r);
                            for (int l = 1; l <= i - 1; ++l) t = t - A(i, l) * Y(l, r);
                            Y(i, r) = t / A(i, i);
                        }
                    } else {
                        Y(n, r) = Y(n, r) / A(n, n);
                        for (int i = n - 1; i >= 1; --i) {
                            double t = Y(i, r);
                            for (int l = n; l >= i + 1; --l) t = t - A(i, l) * Y(l, r);
                            Y(i, r) = t / A(i, i);
                        }
                    }
                }
                expect_same(x, y);
            }
        }
    }
}

// Pivoted QR written out step by step on top of the plain reflection.
void plain_qr(std::int64_t ld, std::int64_t m, std::int64_t n, double* a, double* h, int32_t* ipvt) {
    auto A = [&](std::int64_t i, std::int64_t j) -> double& { return a[(i - 1) + (j - 1) * ld]; };
    for (std::int64_t i = 1; i <= n; ++i) ipvt[i - 1] = int32_t(i);
    const std::int64_t k = std::min(m, n);
    auto full = [&](std::int64_t j) {
        std::int64_t lmax = j;
        for (std::int64_t l = j; l <= n; ++l) {
            double s = 0.0;
            for (std::int64_t i = j; i <= m; ++i) s = s + A(i, l) * A(i, l);
            h[l - 1] = s;
            if (h[l - 1] > h[lmax - 1]) lmax = l;
        }
        return lmax;
    };
    double hmax = 0.0;
    for (std::int64_t j = 1; j <= k; ++j) {
        std::int64_t lmax;
        if (j == 1) {
            lmax = full(j);
            hmax = h[lmax - 1];
        } else {
            lmax = j;
            for (std::int64_t l = j; l <= n; ++l) {
                h[l - 1] = h[l - 1] - A(j - 1, l) * A(j - 1, l);
                if (h[l - 1] > h[lmax - 1]) lmax = l;
            }
            if (!(hmax + 0.001 * h[lmax - 1] > hmax)) {
                lmax = full(j);
                hmax = h[lmax - 1];
            }
        }
        ipvt[j - 1] = int32_t(lmax);
        if (lmax != j) {
            for (std::int64_t i = 1; i <= m; ++i) std::swap(A(i, j), A(i, lmax));
            h[lmax - 1] = h[j - 1];
        }
        int e = 0;
        plain_reflection(1, j, j + 1, m, &A(1, j), 1, &h[j - 1], &A(1, j) + ld, 1, ld, n - j, 1e-8, &e);
    }
}

TEST(LoopOrder, PivotedQrMatchesThePlainSteps) {
    zt::Rng rng(803);
    for (int trial = 0; trial < 60; ++trial) {
        const std::int64_t m = 1 + trial % 17 + (trial % 5) * 7;
        const std::int64_t n = 1 + (trial * 7) % 13;
        const std::int64_t ld = m + trial % 3;
        std::vector<double> a = rng.vec(static_cast<std::size_t>(ld * n));
        // Dependent and equal columns drive the recomputation and the ties.
        if (n >= 3)
            for (std::int64_t i = 0; i < m; ++i) a[size_t(2 * ld + i)] = a[size_t(i)] - a[size_t(ld + i)];
        if (n >= 6 && trial % 2)
            for (std::int64_t i = 0; i < m; ++i) a[size_t(5 * ld + i)] = a[size_t(4 * ld + i)];
        std::vector<double> b = a, ha(static_cast<std::size_t>(n)), hb(static_cast<std::size_t>(n));
        std::vector<int32_t> pa(static_cast<std::size_t>(n)), pb(static_cast<std::size_t>(n));
        const int32_t l = int32_t(ld), mm = int32_t(m), nn = int32_t(n);
        lgqrfc_(&l, &mm, &nn, a.data(), ha.data(), pa.data());
        plain_qr(ld, m, n, b.data(), hb.data(), pb.data());
        expect_same(a, b);
        expect_same(ha, hb);
        EXPECT_EQ(pa, pb);
    }
}

TEST(LoopOrder, TransposedProductSumsEachColumnInRowOrder) {
    zt::Rng rng(804);
    for (int cols = 1; cols <= 9; ++cols) {
        const int32_t rows = 37, ld = 40, mode = 2, n = cols;
        const std::vector<double> a = rng.vec(size_t(ld * cols), -1e3, 1e3), x = rng.vec(size_t(rows));
        std::vector<double> y(size_t(cols), -7.0);
        lmmlvn_(&mode, &ld, &rows, &n, a.data(), x.data(), y.data());
        for (int j = 0; j < cols; ++j) {
            double s = 0.0;
            for (int i = 0; i < rows; ++i) s = s + a[size_t(i + j * ld)] * x[size_t(i)];
            EXPECT_BITEQ(y[size_t(j)], s);
        }
    }
    // No rows: every sum is empty.
    const int32_t rows = 0, ld = 1, mode = 2, n = 6;
    const double a = 1.0, x = 1.0;
    std::vector<double> y(6, -7.0);
    lmmlvn_(&mode, &ld, &rows, &n, &a, &x, y.data());
    for (const double v : y) EXPECT_BITEQ(v, 0.0);
}

TEST(LoopOrder, DampingIterationIgnoresRowsBelowTheAugmentedSystem) {
    // The same square problem with the augmented matrix 2n rows high and
    // with extra rows full of NaN below: every result agrees, and the extra
    // rows come back as zeros, also after several trial parameters.
    zt::Rng rng(805);
    const int32_t n = 5, m = 5;
    std::vector<double> j0 = rng.vec(size_t(m * n)), f = rng.vec(static_cast<std::size_t>(m));
    std::vector<double> r = j0, h(static_cast<std::size_t>(n));
    std::vector<int32_t> piv(static_cast<std::size_t>(n));
    lgqrfc_(&m, &m, &n, r.data(), h.data(), piv.data());
    std::vector<double> qtb(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) qtb[size_t(i)] = -f[size_t(i)] * 0.5;
    const std::vector<double> d = {1.0, 2.0, 0.5, 1.5, 1.0};
    std::vector<double> dx0 = rng.vec(size_t(n), 5.0, 9.0);
    const double delta = 0.01, sigma = 0.1;
    const int32_t maxit = 10, rank = n;
    struct Out {
        std::vector<double> a, b, dx, work;
        double par;
        int32_t iter;
    };
    auto run = [&](int32_t mpn) {
        Out o{std::vector<double>(size_t(mpn * n), std::numeric_limits<double>::quiet_NaN()),
              std::vector<double>(size_t(mpn), std::numeric_limits<double>::quiet_NaN()), dx0,
              std::vector<double>(static_cast<std::size_t>(n)), 0.0, 0};
        for (int jj = 0; jj < n; ++jj)
            for (int i = 0; i < m; ++i) o.a[size_t(i + jj * mpn)] = j0[size_t(i + jj * m)];
        for (int i = 0; i < m; ++i) o.b[size_t(i)] = f[size_t(i)];
        ngpar1_(&mpn, &m, &n, r.data(), qtb.data(), o.a.data(), o.b.data(), o.dx.data(), d.data(), &o.par,
                &delta, &sigma, &maxit, &rank, piv.data(), o.work.data(), &o.iter);
        return o;
    };
    const Out tight = run(2 * n), tall = run(2 * n + 6);
    EXPECT_NE(tall.iter, 0);  // several trial parameters were needed
    EXPECT_BITEQ(tight.par, tall.par);
    EXPECT_EQ(tight.iter, tall.iter);
    expect_same(tight.dx, tall.dx);
    expect_same(tight.work, tall.work);
    for (int jj = 0; jj < n; ++jj)
        for (int i = 0; i < 2 * n + 6; ++i) {
            const double v = tall.a[size_t(i + jj * (2 * n + 6))];
            if (i < 2 * n)
                EXPECT_BITEQ(v, tight.a[size_t(i + jj * 2 * n)]);
            else
                EXPECT_BITEQ(v, 0.0);
        }
    for (int i = 0; i < 2 * n; ++i) EXPECT_BITEQ(tall.b[size_t(i)], tight.b[size_t(i)]);
}

}  // namespace
