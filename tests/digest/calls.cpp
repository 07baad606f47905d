// The call shapes.  Choices are drawn one at a time in statement order
// (never two in one unsequenced expression), so every compiler makes the
// same calls from the same seed.
#include "calls.hpp"

#include "zolmath.h"

namespace zc {

std::vector<Call>& calls() {
    static std::vector<Call> t;
    return t;
}

namespace {

struct Entry {
    Entry(const char* name, int reps, void (*run)(Draw&)) { calls().push_back({name, reps, run}); }
};

// One export: its name, its repetitions, and the function that draws the
// arguments and calls.  The calls keep the order of this file.
#define CALL(name, reps)                                \
    void call_##name(Draw& d);                          \
    const Entry entry_##name(#name, reps, call_##name); \
    void call_##name(Draw& d)

i64 pos(i64 n) { return std::max<i64>(n, 0); }

// Elements of a column-major rows by cols block with leading dimension ld;
// none where a routine reads nothing (ld below 1 with several columns).
i64 span(i64 ld, i64 rows, i64 cols) {
    return rows < 1 || cols < 1 || (ld < 1 && cols > 1) ? 0 : (cols - 1) * ld + rows;
}

// A rotation matrix (row by row) about a drawn unit axis.
Arr<double> rotation(Draw& d) {
    const Arr<double> u = d.out(3), r = d.out(9);
    for (i64 k = 0; k < 3; ++k) u[k] = d.uni(-1.0, 1.0);
    const double c = d.uni(-1.0, 1.0), s = std::sqrt(1.0 - c * c) * (d.chance(0.5) ? 1.0 : -1.0), l = lvlgt3_(u);
    std::transform(u.p, u.p + 3, u.p, [l](double x) { return x / l; });
    lmdre3_(u, &s, &c, r);
    return r;
}

// A rows by cols matrix with its diagonal well away from zero; in one of
// three, some diagonal elements zero or at the tolerance 1e-8.
Arr<double> triangle(Draw& d, i64 ld, i64 rows, i64 cols) {
    const Arr<double> a = d.io(span(ld, rows, cols));
    const bool weak = d.chance(0.33);
    for (i64 k = 0, i = 0; k < std::min(rows, cols); ++k, i = k * (ld + 1))
        a[i] = weak && d.chance(0.2) ? d.of({0.0, 1e-8, 9.9e-9}) : a[i] + (a[i] < 0 ? -2.0 : 2.0);
    return d.keep(a);
}

// The arguments of a plain call: `in` inputs of n elements, then `outs`
// outputs of m (n when m < 0).
template <std::size_t in, std::size_t outs = 0>
std::array<Arr<double>, in + outs> args(Draw& d, i64 n, i64 m = -1) {
    std::array<Arr<double>, in + outs> a;
    for (std::size_t k = 0; k < a.size(); ++k) a[k] = k < in ? d.vec(n) : d.out(m < 0 ? n : m);
    return a;
}

// c = op([&n,] a, b), n elements (0: a count drawn): separate, on a and on b.
template <class Op>
void binary(Draw& d, i32 elements, bool on_b, Op op) {
    const i32 n = elements > 0 ? elements : d.count(40, 1000);
    const auto call = [&](const double* a, const double* b, double* c) {
        if constexpr (std::is_invocable_v<Op, const i32*, double*, double*, double*>) return op(&n, a, b, c);
        if constexpr (!std::is_invocable_v<Op, const i32*, double*, double*, double*>) return op(a, b, c);
    };
    const Arr<double> a = d.vec(n), b = d.vec(n), c = d.out(n);
    call(a, b, c);
    d.alias(c, a, [&](double* o) { call(o, b, o); });
    if (on_b) d.alias(c, b, [&](double* o) { call(a, o, o); });
}

// A unit vector b (and the length) of a, n elements: separate and on a;
// zeros with status 1.
template <class Op>
void normal(Draw& d, i32 n, Op op) {
    const Arr<double> a = d.vec(n), b = d.out(n), len = d.out(1);
    i32* ierr = d.status();
    op(&n, a.p, b.p, len.p, ierr);
    d.check(*ierr == 0 || same(b, d.out(n, 0.0)), "zeros with status 1");
    d.alias(b, a, [&](double* o) { op(&n, o, o, len.p, ierr); });
}

// A point list out = op(&n, pts): separate and on pts.
template <class Op>
void points(Draw& d, Op op) {
    const i32 n = d.count(12, 200);
    const Arr<double> p = d.vec(3 * pos(n)), out = d.out(p.n);
    op(&n, p.p, out.p);
    d.alias(out, p, [&](double* o) { op(&n, o, o); });
}

// World to frame coordinates or back (out on pts but for ltmbw3_ in the
// parallel mode); at times a point at the depth of the projection centre and
// one just beside it.
void frame(Draw& d, bool to_frame) {
    const i32 n = d.count(10, 100), parallel = d.pick(-1, 1), two = to_frame && n >= 2 ? 2 : 0;
    const Arr<double> a = d.chance(0.7) ? rotation(d) : d.vec(9), origin = d.vec(3), p = d.io(3 * pos(n)), q = d.out(6);
    const double dist = d.chance(0.1) ? 0.0 : d.chance(0.5) ? d.uni(-20.0, 20.0) : d.real();
    const double near[6] = {0.5, -0.25, dist, 0.5, -0.25, dist + 2e-8};
    lmmvp3_(a, &two, near, q);
    lmmvs3_(q, &two, origin, p);
    const auto call = to_frame ? ltmwb3_ : ltmbw3_;
    const Arr<double> out = d.out(d.keep(p).n);
    call(p, &n, a, origin, nullptr, &parallel, nullptr, &dist, out);
    if (to_frame || parallel == 0)
        d.alias(out, p, [&](double* o) { call(o, &n, a, origin, 0, &parallel, 0, &dist, o); });
}

// An equality-constrained least-squares problem, at times with counts the
// solvers reject, dependent constraints or a rank-deficient remainder.
struct Lse {
    i32 n, ncon, neq, nrhs;
    Arr<double> e, f, c, dd, x;
    std::array<Arr<double>, 4> before;  // e, f, c and dd

    explicit Lse(Draw& d) {
        const i32 big = d.chance(0.1), bad = d.pick(0, 15);  // 0..3 counts rejected, 4 and 5 dependent
        n = bad == 2 ? 0 : big ? d.pick(17, 20) : d.pick(1, 6);
        ncon = bad == 0 ? n + 1 : big ? d.pick(1, 3) : d.pick(0, n);
        neq = n - ncon + (bad == 1 ? -1 : d.pick(0, 3));
        nrhs = bad == 3 ? d.pick(-1, 0) : d.chance(0.1) ? d.pick(5, 9) : d.pick(1, 4);
        e = d.io(pos(ncon) * pos(n));
        f = d.io(pos(ncon) * pos(nrhs));
        c = d.io(pos(neq) * pos(n));
        dd = d.io(pos(neq) * pos(nrhs));
        x = d.out(pos(n) * pos(nrhs));
        for (i32 t = 0; bad == 4 && ncon >= 2 && t < n; ++t) e[1 + t * ncon] = 2.0 * e[t * ncon];
        for (i32 i = 0; bad == 5 && ncon < n - 1 && i < neq; ++i) c[i + (n - 1) * neq] = c[i + (n - 2) * neq];
        for (std::size_t k = 0; k < before.size(); ++k) before[k] = d.copy(std::array{e, f, c, dd}[k]);
        d.shape = {nrhs, n, ncon, neq, 1};
    }
    // x written on success only; nothing at all for counts rejected or a
    // refused heap request (status 5).
    bool rejected() const { return n < 1 || ncon < 0 || ncon > n || n > i64{ncon} + neq; }
    bool kept() const { return same(e, before[0]) && same(f, before[1]) && same(c, before[2]) && same(dd, before[3]); }
    void solved(Draw& d, i32 ierr) const {
        d.check(ierr == 0 || same(x, d.out(x.n)), "x written on success only");
        d.check(!rejected() || ((ierr <= 2 || ierr == 5) && kept()), "rejected counts: status 1, 2 or 5, nothing done");
        d.check(d.fault() != 2 || (ierr == 5 && kept()), "a refused heap request: status 5, nothing done");
    }
};

// A banded problem fed block by block as a caller does, at times with gaps;
// then a block left of the current one, which changes nothing.
struct Band {
    i32 n, nb, nrhs, ldg, ipos = 1, inext = 1;
    Arr<double> g;

    explicit Band(Draw& d) : n(d.pick(2, 14)), nb(d.pick(1, std::min(n, 4))), nrhs(d.pick(0, 5)), ldg(2 * n + 12) {
        g = d.out(i64{ldg} * (nb + nrhs), 0.0);
        const double tol = d.chance(0.8) ? 1e-10 : d.special();
        for (i32 jcol = 1, blocks = 0; jcol <= n - nb + 1 && blocks < 3 * n; ++blocks, jcol += d.pick(0, 2)) {
            const i32 nrow = std::min(d.pick(0, 3), ldg + 1 - std::max(inext, jcol));
            for (i64 k = 0; k < nrow * (nb + nrhs); ++k) g[inext - 1 + k % nrow + k / nrow * ldg] = d.real();
            lgbla_(g, &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
            d.put(ipos + 1000.0 * inext);
        }
        const Arr<double> g0 = d.copy(g);
        const i32 one = 1, back = ipos - 1, ipos0 = ipos, inext0 = inext;
        lgbla_(g, &ldg, &nb, &ipos, &inext, &one, &back, &nrhs, &tol);
        d.check(same(g, g0) && ipos == ipos0 && inext == inext0, "a refused block changed the band");
    }
};

// Residuals f_i = c_i + sum_j L_ij x_j + q_i x_k^2 (k = i mod n) and their
// Jacobian, scripted replies (1000: leave the reply alone), at times a NaN.
struct Model {
    Draw* d;
    i32 m, n;
    Arr<double> c, lin, quad;
    Arr<i32> replies[2];
    int calls[2] = {0, 0}, poison = -1;
};

int residuals(i32 request, void* context, double* x, double* f, double* jac, i32* reply) {
    Model& md = *static_cast<Model*>(context);
    md.d->check(request == 3 || (request == 4 && f == jac), "request, a check gets one scratch double");
    const int call = md.calls[request == 4]++;
    const i32 answer = call < md.replies[request == 4].n ? md.replies[request == 4][call] : 0;
    if (answer != 1000) *reply = answer;
    for (i64 i = 0, m = md.m; request == 3 && i < m; ++i) {
        const i64 k = i % md.n;
        double s = md.c[i];
        for (i64 j = 0; j < md.n; ++j) s = s + md.lin[i + j * m] * x[j];
        for (i64 j = 0; j < md.n; ++j) jac[i + j * m] = md.lin[i + j * m] + (j == k ? 2.0 * md.quad[i] * x[k] : 0.0);
        f[i] = i == 0 && call == md.poison ? std::nan("") : s + md.quad[i] * x[k] * x[k];
    }
    return 0;
}

// A Jacobian, residuals and step of a trial point for the step kernels: at
// times fnew = f, fnew = 10 f, or f zero.
struct Step {
    i32 rows, cols, ld;
    Arr<double> jac, f, fnew, dx, dd, xnew;
    double par, delta, tol;

    explicit Step(Draw& d) : rows(d.count(8, 40)), cols(d.count(6, 30)), ld(d.ld(rows, cols)) {
        jac = d.vec(span(ld, rows, cols));
        f = d.io(rows);
        const i32 u = d.pick(0, 19);
        fnew = u < 2 ? d.copy(f) : d.io(rows);
        for (i64 i = 0; i < f.n; ++i) fnew[i] = u == 2 || u == 3 ? 10.0 * f[i] : fnew[i];
        std::fill_n(f.p, u == 4 ? f.n : 0, 0.0);
        dx = d.vec(cols);
        dd = d.io(cols);
        std::transform(dd.p, dd.p + dd.n, dd.p, [](double v) { return std::fabs(v); });
        d.keep(f, fnew, dd);
        xnew = d.vec(cols);
        par = d.chance(0.3) ? 0.0 : d.chance(0.8) ? d.uni(0.0, 2.0) : d.real();
        delta = d.chance(0.1) ? 0.0 : d.chance(0.8) ? d.uni(0.0, 3.0) : d.real();
        tol = d.chance(0.5) ? 1e-8 : d.uni(0.0, 1.0);
    }
};

// 3-vectors
CALL(lvsum3_, 144) { binary(d, 3, true, lvsum3_); }
CALL(lvdif3_, 144) { binary(d, 3, true, lvdif3_); }
CALL(lvmul3_, 144) {
    binary(d, 3, false, [s = d.real()](auto a, auto, auto c) { lvmul3_(a, &s, c); });
}
CALL(lvscl3_, 144) { d.put(std::apply(lvscl3_, args<2>(d, 3))); }
CALL(lvkrp3_, 144) { std::apply(lvkrp3_, args<2, 1>(d, 3)); }
CALL(lvspa3_, 144) { d.put(std::apply(lvspa3_, args<3>(d, 3))); }
CALL(lvlgt3_, 144) { d.put(lvlgt3_(d.vec(3))); }
CALL(lvdis3_, 144) { std::apply(lvdis3_, args<2, 1>(d, 3, 1)); }
CALL(lvnrm3_, 180) {
    normal(d, 3, [](auto, auto a, auto b, auto, auto e) { lvnrm3_(a, b, e); });
}
CALL(lvnrmb_, 180) {
    normal(d, 3, [](auto, auto a, auto b, auto l, auto e) { lvnrmb_(a, b, l, e); });
}
CALL(lvo23_, 180) {  // b and c each on a, the separate outputs starting as a; at times a along the first trial axis
    const Arr<double> a = d.chance(0.15) ? d.vec({0.0, d.uni(-3.0, 3.0), 0.0}) : d.vec(3);
    const Arr<double> b = d.copy(a), c = d.copy(a), ab = d.copy(a), c2 = d.copy(a), b3 = d.copy(a), ac = d.copy(a);
    i32 *e1 = d.status(), *e2 = d.status(), *e3 = d.status();
    lvo23_(a, b, c, e1);
    lvo23_(ab, ab, c2, e2);
    lvo23_(ac, b3, ac, e3);
    d.check(*e2 == *e1 && *e3 == *e1 && same(ab, b) && same(c2, c) && same(b3, b) && same(ac, c), "b or c on a");
    d.check(*e1 == 0 || (same(b, a) && same(c, a)), "b and c untouched on failure");
}
CALL(lvwin3_, 180) {
    const Arr<double> a = d.vec(3), b = d.chance(0.2) ? d.vec({-a[0], -a[1], -a[2]}) : d.vec(3);
    d.put(lvwin3_(a, b));
}
CALL(haacos_, 288) {
    const double x = d.chance(0.1) ? d.of({1.0000001, -1.0, 1.0, -1.0000001}) : d.uni(-1.2, 1.2);
    d.put(haacos_(&x));
}
CALL(lvwiwi_, 288) {  // at times w2 within 0.0001 of w1
    const double w1 = d.chance(0.8) ? d.uni(0, 6.3) : d.real(),
                 w2 = d.chance(0.2) ? w1 + d.uni(-2e-4, 2e-4) : d.uni(0, 7);
    const i32 sense = d.pick(-2, 2);
    lvwiwi_(&w1, &w2, &sense, d.out(1));
}

// Vectors of length n
CALL(lvsumn_, 144) { binary(d, 0, true, lvsumn_); }
CALL(lvdifn_, 144) { binary(d, 0, true, lvdifn_); }
CALL(lvmuln_, 144) {
    binary(d, 0, false, [s = d.real()](auto n, auto a, auto, auto c) { lvmuln_(n, a, &s, c); });
}
CALL(lvmldn_, 144) {  // z on y; a quotient leaves z alone for a divisor up to 1e-20 or NaN
    const i32 mode = d.of<i32>({-1, -1, 1, 0, 7, -2}), n = d.count(40, 1000);
    const Arr<double> x = d.io(n), y = d.vec(n), z = d.out(n), zs = d.copy(y);
    for (i64 i = 0; i < x.n; ++i)
        x[i] = d.chance(0.15) ? d.of({0.0, 1e-21, 1e-20, -1e-20, 1.0000000000000001e-20}) : x[i];
    lvmldn_(&mode, &n, d.keep(x), y, z);
    lvmldn_(&mode, &n, x, y, zs);
    for (i64 i = 0; i < x.n; ++i) d.check(mode != -1 || std::fabs(x[i]) > 1e-20 || z[i] == kCanary, "tiny divisor");
    d.alias(zs, y, [&](double* o) { lvmldn_(&mode, &n, x, o, o); });
}
CALL(lvscln_, 144) {
    const i32 n = d.count(40, 1000);
    const Arr<double> a = d.vec(n), b = d.vec(n);
    d.put(lvscln_(&n, a, b));
}
CALL(lvlgtn_, 144) {
    const i32 n = d.count(40, 1000);
    d.put(lvlgtn_(&n, d.vec(n)));
}
CALL(lvnrmn_, 180) {
    normal(d, d.count(40, 1000), [](auto n, auto a, auto b, auto, auto e) { lvnrmn_(n, a, b, e); });
}
CALL(lvprmn_, 144) {  // b on a; a backward pass undoes a forward pass
    const i32 mode = d.of<i32>({1, 0, -1, -7, 3, INT32_MIN}), n = d.count(40, 300), back = mode >= 0 ? -1 : 0;
    const Arr<double> a = d.vec(n), b = d.out(n);
    const Arr<i32> p = d.ints(n, -1, std::max(n, 0) + 1);
    lvprmn_(&mode, &n, a, b, p);
    d.alias(b, a, [&](double* o) { lvprmn_(&mode, &n, o, o, p); });
    d.alias(a, b, [&](double* o) { lvprmn_(&back, &n, o, o, p); });
}

// General matrices and quadratic roots
CALL(lmmlvn_, 180) {  // an empty inner dimension gives zeros, lda < 1 with several columns nothing
    const i32 mode = d.of<i32>({1, 2, 0, 7}), m = d.count(9, 70), n = d.count(9, 70), lda = d.ld(m, n);
    const i64 inner = mode == 2 ? m : n, outer = mode == 2 ? n : m, inert = m >= 1 && n > 1 && lda < 1;
    const Arr<double> a = d.vec(span(lda, m, n)), x = d.vec(inert ? 0 : inner), y = d.out(outer);
    lmmlvn_(&mode, &lda, &m, &n, a, x, y);
    if (inert || inner < 1) d.untouched(y, inert ? kCanary : 0.0);
}
CALL(lmmulm_, 144) {  // ncola < 1 gives zeros
    const i32 r = d.count(7, 40), k = d.count(7, 40), c = d.count(7, 40);
    const Arr<double> a = d.vec(pos(r) * pos(k)), b = d.vec(pos(k) * pos(c)), out = d.out(pos(r) * pos(c));
    lmmulm_(&r, &k, &c, a, b, out);
    if (k < 1) d.untouched(out, 0.0);
}
CALL(lmnrmn_, 180) {
    const i32 m = d.count(9, 80), n = d.count(9, 80), lda = d.ld(m, n);
    const Arr<double> a = d.vec(span(lda, m, n));
    for (i32 mode = -1; mode <= 5; ++mode) d.put(lmnrmn_(&mode, &lda, &m, &n, a));
}
CALL(lmtrkn_, 144) {  // diagonal elements equal to the tolerance at times
    const i32 n = d.count(9, 60), lda = n <= 1 && d.chance(0.2) ? d.count(9) : d.pick(1, 10);
    const i64 r = std::min<i64>(lda, n);
    const Arr<double> a = d.io(r >= 1 ? (r - 1) * (i64{lda} + 1) + 1 : 0);
    const double tol = d.chance(0.3) ? 1e-8 : d.chance(0.5) ? d.uni(0.0, 1.5) : d.real();
    for (i64 k = 0; k < r; ++k) a[k * (lda + 1)] = d.chance(0.2) ? tol : a[k * (lda + 1)];
    d.put(lmtrkn_(&lda, &n, d.keep(a), &tol));
}
CALL(lm2pwu_, 240) {  // coefficients at 1e-10 at times; the roots left alone as the degree says
    const Arr<double> coef = d.io(3), roots = d.out(4);
    for (i64 k = 0; k < 3; ++k)
        coef[k] = d.chance(0.3) ? d.of({0.0, 1e-10, -1e-10, 9.999999999999999e-11, 1.0}) : coef[k];
    i32 *nreal = d.status(), *degree = d.status();
    lm2pwu_(d.keep(coef), nreal, degree, roots);
    if (*degree < 2) d.untouched({roots.p + (*degree == 1 ? 2 : 0), *degree == 1 ? 2 : 4});
}

// 3 by 3 matrices and point lists
CALL(lmmul3_, 144) { binary(d, 9, true, lmmul3_); }
CALL(lmmtra_, 144) {
    const Arr<double> a = d.vec(9), t = d.out(9);
    lmmtra_(a, t);
    d.alias(t, a, [](double* o) { lmmtra_(o, o); });
}
CALL(lmadj_, 144) { std::apply(lmadj_, args<1, 1>(d, 9)); }
CALL(lmmvp3_, 144) {
    points(d, [a = d.vec(9)](auto n, auto p, auto o) { lmmvp3_(a, n, p, o); });
}
CALL(lmmvs3_, 144) {
    points(d, [s = d.vec(3)](auto n, auto p, auto o) { lmmvs3_(p, n, s, o); });
}

// Rotations, reflections, frames and the best-fit rigid motion
CALL(lmdre3_, 144) {
    const Arr<double> axis = d.chance(0.8) ? d.copy(rotation(d), 3) : d.vec(3);
    const double c = d.chance(0.8) ? d.uni(-1.0, 1.0) : d.real(), s = d.chance(0.8) ? d.uni(-1.0, 1.0) : d.real();
    lmdre3_(axis, &s, &c, d.out(9));
}
CALL(lmspi3_, 144) {  // untouched on failure
    const Arr<double> v = d.vec(3), out = d.out(9);
    const double f = d.chance(0.5) ? 2.0 : d.real();
    i32* ierr = d.status();
    lmspi3_(v, &f, out, ierr);
    if (*ierr != 0) d.untouched(out);
}
CALL(lmdvec_, 216) {
    // b opposite to a, equal or any; an axis perpendicular to a (rows of a
    // rotation are orthonormal) of unit length, half length, just usable or
    // zero.  The output separate and on b.
    const Arr<double> r = rotation(d), a = d.copy(r, 3), axis = d.out(3), out = d.out(9);
    const double u = d.uni(0.0, 1.0), len = d.of({1.0, 0.5, 0.99999999, 0.0});
    const Arr<double> b = u < 0.25 ? d.vec({-a[0], -a[1], -a[2]}) : u < 0.35 ? d.copy(a) : d.copy(rotation(d), 3);
    std::transform(r.p + 3, r.p + 6, axis.p, [len](double v) { return v * len; });
    a[0] = d.chance(0.1) ? d.real() : a[0];
    lmdvec_(d.keep(a, b, axis), b, axis, out);
    d.alias(out, b, [&](double* o) { lmdvec_(a, o, axis, o); });
}
CALL(MathRotVector, 180) {  // at times b along a or opposite, or a at the length limit
    const Arr<double> a = d.chance(0.05) ? d.vec({1e-6, 0.0, 0.0}) : d.vec(3);
    const double u = d.uni(0.0, 1.0), k = u < 0.15 ? -2.0 : 3.0;
    const Arr<double> b = u < 0.25 ? d.vec({k * a[0], k * a[1], k * a[2]}) : d.vec(3);
    MathRotVector(a, b, d.out(9));
}
CALL(lmdpl_, 288) {
    // At times the pair turned by a rotation (the angles agree), no second
    // vectors, one only, a2 along a1, b1 opposite a1.  Untouched for -1.
    const Arr<double> a1 = d.io(3), a2 = d.io(3), b1 = d.io(3), b2 = d.io(3), out = d.out(9), zero = d.out(3, 0.0);
    const Arr<double> r = d.chance(0.4) ? rotation(d) : d.out(0);
    const i32 one = r.n == 9 ? 1 : 0, v = d.pick(0, 19);
    lmrot3_(r, zero, a1, &one, b1);
    lmrot3_(r, zero, a2, &one, b2);
    for (int k = 0; k < 3; ++k) {
        a2[k] = v < 4 || v == 5 ? 0.0 : v == 4 ? 2.0 * a1[k] : a2[k];
        b2[k] = v < 3 || v == 5 ? 0.0 : b2[k];
        b1[k] = v == 5 ? -a1[k] : b1[k];
    }
    i32* status = d.status();
    lmdpl_(d.keep(a1, a2, b1, b2), a2, b1, b2, out, status);
    if (*status == -1) d.untouched(out);
}
CALL(lmrot3_, 144) {
    const Arr<double> r = d.chance(0.7) ? rotation(d) : d.vec(9), c = d.vec(3);
    points(d, [&](auto n, auto p, auto o) { lmrot3_(r, c, p, n, o); });
}
CALL(ltmwb3_, 180) { frame(d, true); }
CALL(ltmbw3_, 180) { frame(d, false); }
CALL(lmmat_, 216) {
    // The targets: the sources shifted and turned, at times mirrored or with
    // noise.  The fit compared with the translation only, which is also the
    // result with no rotation (not asked for, fewer than 3 points, a
    // refused request).
    const i32 n = d.count(12, 60), fit = d.chance(0.8) ? 0 : d.pick(-1, 2), weighted = d.pick(0, 1), dev = d.pick(0, 1);
    const Arr<double> w = d.io(weighted ? n : 0), src = d.vec(3 * pos(n)), dst = d.io(src.n), r = rotation(d);
    const double t[3] = {d.uni(-5.0, 5.0), d.uni(-5.0, 5.0), d.uni(-5.0, 5.0)}, zero[3] = {0, 0, 0};
    const double noise = d.chance(0.4) ? 0.0 : d.uni(0.0, 0.1), mirror = d.chance(0.15) ? -1.0 : 1.0;
    for (i64 k = 0; k < w.n; ++k) w[k] = d.chance(0.05) ? 0.0 : d.chance(0.9) ? d.uni(0.1, 3.0) : d.real();
    for (i64 k = 0; k < dst.n; ++k) dst[k] = (k % 3 == 0 ? mirror : 1.0) * (src[k] + t[k % 3]);
    lmrot3_(r, zero, dst, &n, dst);
    for (i64 k = 0; k < dst.n; ++k) dst[k] = dst[k] + noise * d.uni(-1.0, 1.0);
    const Arr<double> rot = d.out(9), tr = d.out(3), md = d.out(1), rot1 = d.out(9), tr1 = d.out(3), md1 = d.out(1);
    const i32 one = 1;
    d.keep(w, dst);
    lmmat_(&fit, &n, &weighted, weighted ? w.p : nullptr, src, dst, rot, tr, &dev, md, d.status());
    lmmat_(&one, &n, &weighted, weighted ? w.p : nullptr, src, dst, rot1, tr1, &dev, md1, d.status());
    const bool rotated = n >= 3 && fit == 0 && d.fault() == 0;
    d.check(rotated || (same(rot, rot1) && same(tr, tr1) && same(md, md1)), "the translation only");
    d.check(same(rot1, d.vec({1, 0, 0, 0, 1, 0, 0, 0, 1})), "the translation only: rot the identity");
    d.check(dev || same(md, d.out(1)), "maxdev written only when asked for");
}
CALL(lmmatc_, 288) {
    // The zero matrix, rank one, diag(1, 1, 0), 1e-8 I or 1e-5 I, a rotation
    // times a symmetric positive factor (at times mirrored), or any.
    const Arr<double> a = d.io(9), rot = d.out(9);
    const double u = d.uni(0.0, 1.0), s = u < 0.24 ? 1.0 : d.of({1e-8, 1e-5});
    const double m[9] = {s, 0, 0, 0, s, 0, 0, 0, u < 0.24 ? 0.0 : s};
    const double sym[9] = {d.uni(1.0, 3.0), 0.1, 0.2, 0.1, d.uni(1.0, 3.0), 0.3, 0.2, 0.3, d.uni(1.0, 3.0)};
    for (i64 k = 0; k < 9 && u < 0.16; ++k) a[k] = u < 0.08 ? 0.0 : (k % 3 + 1.0) * a[6 + k / 3];
    if (u >= 0.16 && u < 0.32) std::copy_n(m, 9, a.p);
    if (u >= 0.32 && u < 0.5) lmmul3_(rotation(d), sym, a);
    a[0] = u >= 0.32 && u < 0.4 ? -a[0] : a[0];
    i32* rank = d.status();
    lmmatc_(d.keep(a), rot, rank);
    d.shape = {*rank};
    d.check((*rank >= 2 || same(rot, d.out(9))) && (d.fault() == 0 || *rank == 0), "rot untouched below 2, faults");
}

// Householder reflections, triangular systems, pivoted QR, constrained
// least squares, inversion and the weighted product
CALL(lghtr_, 288) {
    // Strides up to 3 and gaps between vectors; nothing at all for an index
    // triple out of order; at times a stretch that is already zero.
    const i32 L = d.pick(1, 14), ipiv = d.pick(0, L), nvec = d.pick(-1, 4), ilast = std::max(d.pick(ipiv - 1, L), 1);
    const i32 ifirst = d.chance(0.1) ? ilast + 1 : d.pick(ipiv, ilast + 1), mode = d.chance(0.8) ? 1 : d.pick(-1, 3);
    const i32 incu = d.pick(1, 3), ince = d.pick(1, 2), incv = L * ince + d.pick(0, 2);
    const bool valid = ipiv >= 1 && ipiv < ifirst && ifirst <= ilast;
    const Arr<double> u = d.io(valid ? (ilast - 1) * incu + 1 : 0), h = d.out(1);
    const Arr<double> c = d.io(valid && nvec > 0 ? (nvec - 1) * incv + (ilast - 1) * ince + 1 : 0), c0 = d.copy(c);
    const bool zero = valid && d.chance(0.15);
    for (i64 i = ifirst; zero && i <= ilast; ++i) u[(i - 1) * incu] = 0.0;
    const double tol = d.chance(0.8) ? d.of({1e-8, 0.0, 1e-30, 0.5}) : d.real();
    i32* ierr = d.status();
    lghtr_(&mode, &ipiv, &ifirst, &ilast, u, &incu, h, c, &ince, &incv, &nvec, &tol, ierr);
    d.check(*ierr == 0 || same(c, c0), "c untouched on failure");
}
CALL(lghtrt_, 288) {  // v on u and the copy on the pivot: as separate ones starting alike
    const i32 L = d.pick(1, 12), nvec = d.pick(-1, 4), ipiv = d.pick(0, L), ifirst = d.pick(ipiv, L + 1);
    const i32 ilast = d.pick(ifirst - 1, L), mode = d.chance(0.8) ? 1 : d.pick(-1, 3);
    const i64 len = ipiv >= 1 && ipiv < ifirst && ifirst <= ilast ? ilast : 0;
    const Arr<double> u = d.io(len), c = d.io(len * pos(nvec)), c0 = d.copy(c), v = d.copy(u), h = d.io(1);
    const Arr<double> hc = d.copy(h), uv = d.copy(u), cv = d.copy(c), hv = d.copy(h);
    i32 *ierr = d.status(), *again = d.status();
    lghtrt_(&mode, &ipiv, &ifirst, &ilast, u, h, c, &nvec, v, hc, ierr);
    lghtrt_(&mode, &ipiv, &ifirst, &ilast, uv, hv, cv, &nvec, uv, hv, again);
    d.check(*again == *ierr && same(uv, v) && same(cv, c) && same(hv, hc) && (*ierr == 0 || same(c, c0)), "v on u");
}
CALL(lgdre_, 216) {  // b unchanged on failure
    const i32 n = d.count(7, 40), nrhs = d.count(4), mode = d.chance(0.85) ? d.pick(1, 2) : d.pick(-1, 3);
    const Arr<double> a = triangle(d, n, n, n), b = d.io(pos(n) * pos(nrhs)), b0 = d.copy(b);
    i32* ierr = d.status();
    lgdre_(&mode, &nrhs, &n, a, b, ierr);
    d.check(*ierr == 0 || same(b, b0), "b on failure");
}
CALL(lgdre1_, 216) {
    const i32 ncol = d.count(9, 40), lda = ncol <= 1 && d.chance(0.2) ? d.count(9) : d.pick(1, 9), mode = d.pick(-1, 6);
    const i64 k = pos(std::min(lda, ncol));
    const Arr<double> a = triangle(d, lda, k, k);
    lgdre1_(&mode, &lda, &ncol, a, d.io(k));
}
CALL(lgqrfc_, 216) {  // at times dependent, zero or equally long columns; a short lda: the identity record only
    const i32 m = d.count(10, 45), n = d.count(10, 45), lda = std::max(m, 1) + (d.chance(0.9) ? d.pick(0, 2) : -1);
    const i64 works = std::min(m, n) >= 1 && lda >= m, u = d.pick(0, 19);
    const Arr<double> a = d.io(works ? span(lda, m, n) : 0), h = d.out(n);
    for (i64 i = 0; works && n >= 3 && i < m && u < 7; ++i)
        a[(u < 3 ? 2 : 1) * lda + i] = u < 3 ? a[i] - a[lda + i] : u < 5 ? 0.0 : -a[i];
    lgqrfc_(&lda, &m, &n, a, h, d.ints(n, 0, 0));
    if (!works) d.untouched(h);
}
CALL(lglse_, 288) {
    const Lse p(d);
    i32* ierr = d.status();
    lglse_(&p.nrhs, &p.n, &p.ncon, &p.neq, p.e, p.f, p.c, p.dd, p.x, ierr);
    p.solved(d, *ierr);
}
CALL(lglse1_, 288) {  // at times work sizes one off, or more right-hand sides than they hold
    Lse p(d);
    const i64 n3 = std::max(p.n, 3), lw = n3 * std::max({n3, i64{p.ncon}, i64{p.neq}});
    const i64 lv = std::max({i64{p.n}, i64{p.ncon}, i64{p.neq}});
    const i32 lwork = static_cast<i32>(lw + (d.chance(0.05) ? d.pick(-1, 1) : 0));
    const i32 lvec = static_cast<i32>(lv + (d.chance(0.05) ? d.pick(-1, 1) : 0));
    p.nrhs = p.nrhs > n3 && d.chance(0.7) ? static_cast<i32>(n3) : p.nrhs;
    d.shape = {p.nrhs, p.n, p.ncon, p.neq, lwork == lw && lvec == lv && p.nrhs <= n3};
    const Arr<double> w1 = d.out(lwork), w2 = d.out(lwork), v1 = d.out(lvec), v2 = d.out(lvec);
    i32* ierr = d.status();
    lglse1_(&p.nrhs, &p.n, &p.ncon, &p.neq, p.e, p.f, p.c, p.dd, p.x, &lwork, &lvec, w1, w2, v1, v2, ierr);
    p.solved(d, *ierr);
    d.check(d.shape[4] || (p.rejected() && lwork == lw && lvec == lv) || (*ierr == 5 && p.kept()), "status 5: sizes");
}
CALL(lminv_, 216) {  // square, wide or tall, at times singular; x written on success only
    i32 n = d.count(6, 14), m = d.chance(0.6) ? n : d.count(8, 14);
    if (d.chance(0.05)) m = n = 1;
    const Arr<double> a = d.io(pos(n) * pos(m)), x = d.out(a.n);
    const bool singular = n > 1 && m > 1 && d.chance(0.15);  // the second column twice the first
    for (i64 i = 0; singular && i < n; ++i) a[n + i] = 2.0 * a[i];
    i32* ierr = d.status();
    lminv_(&n, &m, n == m ? a : d.keep(a), x, ierr);
    d.shape = {n, m, *ierr};
    d.check((*ierr == 0 || same(x, d.out(x.n))) && (d.fault() == 0 || *ierr == (d.fault() == 1 ? 5 : 1)), "x, faults");
}
CALL(lgloes_, 180) {  // n < 1 gives zeros; a refused request leaves c alone
    const i32 n = d.count(6, 30), m = d.count(6, 30), ncol = d.count(5, 20);
    const Arr<double> mat = d.vec(pos(m) * pos(n)), b = d.vec(pos(n) * pos(ncol)), w = d.vec(n),
                      c = d.out(pos(m) * pos(ncol));
    const double* hmat = mat;
    i32* ierr = d.status();
    lgloes_(&n, &m, &hmat, &ncol, b, w, c, ierr);
    d.shape = {pos(n), pos(m)};
    d.check(d.fault() != 1 || *ierr == 5 || n < 1 || m < 1, "status 5 for a refused request");
    if (*ierr == 5 || n < 1) d.untouched(c, *ierr == 5 ? kCanary : 0.0);
}

// Sequential banded least squares
CALL(lgbla_, 180) { Band{d}; }
CALL(lgbls_, 216) {  // other modes write nothing
    const Band b(d);
    const double tol = d.chance(0.8) ? 1e-12 : d.uni(0.0, 0.5);
    for (i32 mode = 0; mode <= 4; ++mode) {
        const Arr<double> x = mode == 1 ? d.out(i64{b.n} * b.nrhs) : d.io(i64{b.n} * b.nrhs), x0 = d.copy(x);
        lgbls_(&mode, b.g, &b.ldg, &b.nb, &b.ipos, &b.n, &b.nrhs, &tol, x, d.status());
        d.check((mode >= 1 && mode <= 3) || same(x, x0), "other modes");
    }
}

// Nonlinear least squares
CALL(MathNonLinearSolver, 540) {
    // The model: at times equal columns, quadratic terms, a NaN residual,
    // callbacks that fail, stop or leave their reply alone; options, trace
    // levels and counts of every kind.  Status 4 calls nothing.
    Model md{&d, d.pick(1, 8), 0, {}, {}, {}, {}};
    md.n = d.pick(1, md.m + 2);
    md.c = d.vec(md.m);
    md.lin = d.io(i64{md.m} * md.n);
    std::copy_n(md.lin.p, md.n >= 2 && d.chance(0.3) ? md.m : 0, md.lin.p + md.m);
    md.quad = d.chance(0.5) ? d.io(md.m) : d.out(md.m, 0.0);
    for (Arr<i32>& r : md.replies) {
        r = d.ints(d.pick(0, 6), 0, 0);
        std::generate_n(r.p, r.n, [&d] { return d.chance(0.85) ? 0 : d.of<i32>({-1, 1, 7, -3, 1000}); });
    }
    md.poison = d.chance(0.05 + 0.15 * d.level) ? d.pick(0, 8) : -1;
    MathNonLinearSolverOptions o{};
    o.method = d.chance(0.9) ? d.pick(0, 1) : d.pick(-1, 2);
    o.maxIterations = d.of<i32>({0, 1, 3, 20, -5, 40});
    o.checkEachIteration = d.chance(0.25);
    o.checkAtEnd = d.chance(0.4);
    o.initialRadiusFactor = d.chance(0.6) ? 0.0 : d.chance(0.8) ? d.uni(-0.1, 2.0) : d.real();
    o.radiusCapFactor = d.chance(0.6) ? 0.0 : d.uni(-0.1, 2.0);
    o.residualTolerance = d.chance(0.6) ? 0.0 : d.chance(0.8) ? d.uni(-1e-6, 1e-4) : d.real();
    const i32 trace = d.of<i32>({4, 4, 4, 3, 2, 0, 5}), m = d.chance(0.03) ? d.pick(-1, 0) : md.m;
    const i32 n = d.chance(0.03) ? d.pick(-1, 0) : md.n, none = d.chance(0.05), no_stream = d.chance(0.05);
    const Arr<double> x = d.io(md.n), x0 = d.copy(x), f = d.out(md.m), step = d.out(md.n);
    char* text = nullptr;
    std::size_t size = 0;
    FILE* stream = no_stream ? nullptr : open_memstream(&text, &size);
    i32* st = d.status();
    MathNonLinearSolver(none ? nullptr : &o, m, n, &md, residuals, trace, stream, x, f, step, st);
    if (stream != nullptr) std::fclose(stream);
    const std::string trace_text = text != nullptr ? std::string(text, size) : std::string();
    std::free(text);
    d.text(trace_text);
    d.put(md.calls[0] + 1000.0 * md.calls[1]);
    d.shape = {m, n, *st};
    d.check(d.fault() != 1 || (*st == 4 && trace_text.find("ITER") == std::string::npos), "status 4, no iteration");
    // -1 null options, 6 a bad method or count, 4 no memory: nothing called, x and f as they were, step as it
    // was (zero for 4).
    const bool refused = *st == -1 || *st == 4 || *st == 6, bad = o.method < 0 || o.method > 1 || m < 1 || n < 1;
    const bool untouched = same(x, x0) && same(f, d.out(md.m)) && same(step, d.out(md.n, *st == 4 ? 0.0 : kCanary));
    d.check((*st == -1) == (none != 0) && (none || (*st == 6) == bad), "status -1 and 6");
    d.check(!refused || (md.calls[0] + md.calls[1] == 0 && untouched), "nothing called");
}
CALL(ngpar1_, 288) {
    // From factors as the driver prepares them: R, Q^T(-f) and the
    // Gauss-Newton step in variable order; at times mpn too short.
    const i32 m = d.pick(1, 9), n = d.pick(1, m + (d.chance(0.2) ? 2 : 0)), k = std::min(m, n), two = 2, back = -1;
    const i32 mpn = std::max(m, n) + n + (d.chance(0.8) ? 0 : d.pick(-2, 2)), rank = d.chance(0.8) ? k : d.pick(0, k);
    const Arr<double> r = triangle(d, m, m, n), qtb = d.vec(k), a = d.io(pos(mpn) * n), b = d.io(pos(mpn));
    const Arr<double> dd = d.io(n), dx = d.out(n, 0.0), scaled = d.out(n);
    const Arr<i32> piv = d.ints(n, 0, 0);
    for (i32 j = 0; j < n; ++j) piv[j] = d.chance(0.5) ? j + 1 : d.pick(j + 1, n);
    std::transform(dd.p, dd.p + n, dd.p, [](double v) { return std::fabs(v) + 1e-6; });
    std::copy_n(qtb.p, rank, dx.p);
    lgdre1_(&two, &m, &rank, r, dx);
    lvprmn_(&back, &n, dx, dx, piv);
    lvmldn_(&two, &n, d.keep(dd), dx, scaled);
    const double delta = d.chance(0.9) ? lvlgtn_(&n, scaled) * d.uni(0.05, 1.5) : d.real();
    const double sigma = d.chance(0.8) ? 0.1 : d.uni(0.0, 0.5);
    const Arr<double> par = d.out(1, d.chance(0.8) ? 0.0 : d.uni(0.0, 1.0));
    const i32 maxit = d.chance(0.8) ? 10 : d.pick(-1, 3);
    const Arr<double> work = d.out(n);
    ngpar1_(&mpn, &m, &n, r, qtb, a, b, dx, dd, par, &delta, &sigma, &maxit, &rank, piv, work, d.status());
}
CALL(ngvsc1_, 144) {
    const i32 rows = d.count(8, 40), cols = d.count(6, 40), ld = d.ld(rows, cols);
    const Arr<double> a = d.vec(span(ld, rows, cols)), dd = d.io(cols);
    for (i64 j = 0; j < dd.n; ++j) dd[j] = d.chance(0.5) ? 0.0 : std::fabs(dd[j]);
    ngvsc1_(&ld, &rows, &cols, a, dd);
}
CALL(ngstp1_, 180) {  // other modes answer 0 and leave the scratch alone
    const Step p(d);
    for (i32 mode = -1; mode <= 4; ++mode) {
        const Arr<double> w = d.out(std::max(p.rows, p.cols));
        d.put(ngstp1_(&mode, &p.ld, &p.rows, &p.cols, p.jac, p.fnew, p.dx, p.dd, p.xnew, &p.delta, &p.par, &p.tol, w));
        if (mode < 1 || mode > 3) d.untouched(w);
    }
}
CALL(ngrat1_, 180) {
    const Step p(d);
    d.put(ngrat1_(&p.ld, &p.rows, &p.cols, p.jac, p.f, p.fnew, p.dx, p.dd, &p.par));
}
CALL(ngups1_, 180) {
    const Step p(d);
    const double rho = d.chance(0.6) ? d.of({0.25, 0.75, 0.5, 0.1, 0.0, 1.0, -0.5}) : d.real();
    d.put(ngups1_(&p.ld, &p.rows, &p.cols, p.jac, p.f, p.fnew, p.dx, p.dd, &p.par, &rho));
}

// Control-net motion: the motion values as many as the code reads, mostly
// rotations; rational nets with positive weights, at times awkward ones.
CALL(febew, 216) {
    constexpr i64 kVectors[] = {3, 3, 6, 6, 9, 12}, kMatrices[] = {0, 9, 9, 9, 9, 18};
    const i32 kind = d.chance(0.6) ? 2 : d.pick(-1, 3), code = d.chance(0.9) ? d.pick(0, 5) : d.of<i32>({-1, 6});
    const i32 n = d.count(8, 100), known = code >= 0 && code <= 5;
    const Arr<double> vectors = d.vec(known ? kVectors[code] : 0), mats = d.io(known ? kMatrices[code] : 0);
    for (i64 k = 0; k < mats.n; k += 9)
        if (d.chance(0.8)) std::copy_n(rotation(d).p, 9, mats.p + k);
    const Arr<double> net = d.io((kind == 2 ? 4 : 3) * pos(n));
    for (i64 k = 3; k < net.n && kind == 2; k += 4) net[k] = d.chance(0.9) ? d.uni(0.5, 2.0) : d.real();
    const Arr<double> net0 = d.copy(net);
    febew(kind, code, vectors, d.keep(mats), &n, net);
    d.shape = {kind, code, n};
    for (i64 k = 3; k < net.n && kind == 2; k += 4) d.check(same({&net[k], 1}, {&net0[k], 1}), "weights never written");
    d.check((known && d.fault() == 0) || same(net, net0), "unknown codes and refused requests change nothing");
}

}  // namespace

}  // namespace zc
