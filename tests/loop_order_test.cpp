// The fast paths held, bit for bit, to one-at-a-time evaluation: a
// reflection applied to several vectors in one call against one call per
// vector (also for overlapping vectors, and with v on u), the same call with
// u at stride 2 (the plain path) against unit stride, interleaved
// right-hand sides against the one-vector solve, the matrix-vector products
// against plain sums, and the damping iteration against a taller augmented
// array whose extra rows it must not use.  One table over routines; each check draws its shape from
// the index.
#include <algorithm>
#include <array>
#include <tuple>

#include "support.hpp"

namespace {

using Vec = std::vector<double>;

void expect_same(const Vec& a, const Vec& b, const char* what) {
    EXPECT_TRUE(a.size() == b.size() && zt::all_same(a, b)) << what;
}

// lghtr_ (even index) or lghtrt_ (odd) on up to 10 vectors, some of them
// orthogonal to w, tiny, NaN or infinite: all vectors in one call against
// the construction alone followed by one application per vector.  Layouts:
// columns apart (the grouped path), for lghtr_ also with u at stride 2 in
// the call of all vectors (the one-vector-at-a-time path) and vectors fewer
// than m apart, each overlapping the next, for lghtrt_ also with v on u and
// the pivot component on its copy, and with u the last of the vectors.
void reflections(zt::Rng& rng, int trial) {
    const bool stored = trial % 2 == 1, layout1 = trial / 2 % 3 == 1, layout2 = trial / 2 % 3 == 2;
    const bool alias = stored && layout1;
    const int32_t m = 2 + trial % 23, ip = 1 + trial / 7 % (m - 1), i1 = ip + 1 + (trial % 5 == 0 && ip + 2 <= m);
    const int32_t nv = trial % 11, ld = stored ? m : layout2 ? 1 + trial % 3 : m + trial % 4;
    const bool inside = stored && layout2 && nv >= 2;
    const int32_t mode = trial % 3 == 2 ? 2 : 1, apply = 2, none = 0, one = 1, su = !stored && layout1 ? 2 : 1;
    Vec u = rng.vec(m), c = rng.vec(ld * nv + m), ua(su * m), ub = u, va(m), vb(m);
    auto C = [&](int j, int i) -> double& { return c[(j - 1) * ld + i - 1]; };
    for (int i = ip; i <= m && nv >= 2; ++i) C(2, i) = i == ip || i >= i1 ? 0 : C(2, i);
    for (int i = 1; i <= m && nv >= 3; ++i) C(3, i) *= 1e-12;
    if (nv >= 5 && trial % 5 == 0) C(5, m) = NAN;
    if (nv >= 6 && trial % 7 == 0) C(6, ip) = -HUGE_VAL;
    for (int i = 0; i < m; ++i) ua[su * i] = u[i];
    double ha = 0.75, hb = 0.75, pa = 0, pb = 0, tol = 1e-8;
    auto call = [&](const int32_t* md, double* uu, const int32_t* incu, double* h, double* cc, const int32_t* n,
                    double* v, double* copy) {
        int32_t ierr = -1;
        if (stored)
            lghtrt_(md, &ip, &i1, &m, uu, h, cc, n, v, copy, &ierr);
        else
            lghtr_(md, &ip, &i1, &m, uu, incu, h, cc, &one, &ld, n, &tol, &ierr);
        return ierr;
    };
    Vec ca = c, cb = c;
    double *u1 = inside ? &ca[(nv - 1) * ld] : ua.data(), *u2 = inside ? &cb[(nv - 1) * ld] : ub.data();
    const int32_t ea =
        call(&mode, u1, &su, &ha, ca.data(), &nv, alias ? ua.data() : va.data(), alias ? &ha : &pa);
    EXPECT_EQ(ea, call(&mode, u2, &one, &hb, cb.data(), &none, vb.data(), &pb));
    Vec own(u2, u2 + m);  // u as the last vector is transformed like a copy of itself
    for (int32_t j = 0; j < nv; ++j)
        call(&apply, inside && j == nv - 1 ? own.data() : u2, &one, &hb, cb.data() + j * ld, &one, vb.data(), &pb);
    expect_same(ca, cb, "vectors");
    expect_same({ha, alias ? ha : pa}, {hb, pb}, "upiv and its copy");
    expect_same(alias ? ua : va, vb, "v");
    for (int i = 0; i < m && !alias; ++i) expect_same({ua[su * i]}, {ub[i]}, "u");
}

// lgdre_ on k interleaved right-hand sides (solved in tiles of 16, 8, 4, 2) against
// lgdre1_ on each right-hand side alone, forward (mode 1) and back (2).
void triangular(zt::Rng& rng, int shape) {
    const int32_t n = std::array{1, 2, 7, 23}[shape % 4], k = std::array{1, 7, 16, 17, 40}[shape / 4 % 5];
    const int32_t mode = 1 + shape / 20;
    Vec a = rng.vec(n * n), x = rng.vec(n * k, -1e3, 1e3), y = x, col(n);
    for (int i = 0; i < n; ++i) a[i + i * n] += 3.0;
    int32_t ierr = -1;
    lgdre_(&mode, &k, &n, a.data(), x.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    for (int r = 0; r < k; ++r) {
        for (int i = 0; i < n; ++i) col[i] = y[i * k + r];
        lgdre1_(&mode, &n, &n, a.data(), col.data());
        for (int i = 0; i < n; ++i) y[i * k + r] = col[i];
    }
    expect_same(x, y, "solutions");
}

// lmmlvn_: a^T x (columns summed up to four side by side) and a x (rows in
// tiles), each element summed from 0 in increasing index; no rows at all
// gives zeros.
void products(zt::Rng& rng, int cols) {
    const int32_t rows = cols == 0 ? 0 : 37 + 9 * cols, ld = rows + 3, n = std::max(cols, 6);
    const Vec a = rng.vec(ld * n, -1e3, 1e3), x = rng.vec(std::max(rows, n));
    for (const int32_t mode : {1, 2}) {
        const int32_t outer = mode == 2 ? n : rows, inner = mode == 2 ? rows : n;
        Vec y(outer, -7.0), plain(outer);
        lmmlvn_(&mode, &ld, &rows, &n, a.data(), x.data(), y.data());
        for (int o = 0; o < outer; ++o)
            for (int i = 0; i < inner; ++i) plain[o] = plain[o] + (mode == 2 ? a[i + o * ld] : a[o + i * ld]) * x[i];
        expect_same(y, plain, mode == 2 ? "transposed" : "plain");
    }
}

// ngpar1_ with the augmented array 2n rows high and with six more rows of
// NaN below: the same results, and the extra rows come back as zeros, also
// after several trial parameters.
void damping_rows(zt::Rng& rng, int shape) {
    const int32_t n = 3 + shape, m = n + shape, maxit = 10;
    const Vec j0 = rng.vec(m * n), f = rng.vec(m), d = rng.vec(n, 0.5, 2.0), dx0 = rng.vec(n, 5.0, 9.0);
    Vec r = j0, h(n), qtb(n);
    std::vector<int32_t> piv(n);
    lgqrfc_(&m, &m, &n, r.data(), h.data(), piv.data());
    for (int i = 0; i < n; ++i) qtb[i] = -0.5 * f[i];
    const double delta = 0.01, sigma = 0.1;
    // iter, par, dx, work, the first 2n rows of b and of a; the rows
    // of a below them go to rest.
    auto run = [&](int32_t mpn, Vec& rest) {
        Vec a(mpn * n, NAN), b(mpn, NAN), dx = dx0, work(n);
        for (int i = 0; i < m * n; ++i) a[i % m + i / m * mpn] = j0[i];
        std::copy(f.begin(), f.end(), b.begin());
        double par = 0;
        int32_t iter = -9;
        ngpar1_(&mpn, &m, &n, r.data(), qtb.data(), a.data(), b.data(), dx.data(), d.data(), &par, &delta, &sigma,
                &maxit, &n, piv.data(), work.data(), &iter);
        Vec out = {static_cast<double>(iter), par};
        for (const Vec* v : {&dx, &work, &b}) out.insert(out.end(), v->begin(), v->begin() + (v == &b ? 2 * n : n));
        for (int i = 0; i < mpn * n; ++i) (i % mpn < 2 * n ? out : rest).push_back(a[i]);
        return out;
    };
    Vec none, rest;
    const Vec tight = run(2 * n, none);
    EXPECT_NE(tight[0], 0.0);  // more than one trial parameter
    expect_same(run(2 * n + 6, rest), tight, "results");
    expect_same(rest, Vec(rest.size(), 0.0), "rows below");
}

TEST(LoopOrder, FastPathsMatchOneAtATime) {
    for (auto [what, check, count] : {std::tuple{"reflections", &reflections, 600},
                                      {"lgdre_", triangular, 40},
                                      {"lmmlvn_", products, 10},
                                      {"ngpar1_", damping_rows, 3}}) {
        zt::Rng rng(800);
        for (int k = 0; k < count; ++k) {
            SCOPED_TRACE(std::string(what) + " " + std::to_string(k));
            check(rng, k);
        }
    }
}

}  // namespace
