// Fuzz target: Householder reflections, triangular solves, the pivoted QR
// factorisation, equality-constrained least squares, the matrix inversion
// built on it, and the weighted product with a stored matrix.
#include <algorithm>
#include <set>

#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

// A strided array as a routine addresses it: element offsets relative to
// the address passed, which may lie inside the block when strides are
// negative.  The block spans offset 0 and every offset in use, so a
// position that the routine must leave alone still belongs to the caller.
struct Strided {
    Arr<double> block;
    i64 origin;  // index in block of offset 0

    Strided(Input& in, i64 lo, i64 hi) : block(fz::reals(in, std::max<i64>(hi, 0) - std::min<i64>(lo, 0) + 1)),
                                         origin(-std::min<i64>(lo, 0)) {}
    explicit Strided(i64 empty) : block(empty), origin(0) {}
    double* at() const { return block.data() + (block.size() == 0 ? 0 : origin); }
};

// Offsets of the positions of a reflection: ipiv and ifirst..ilast, in
// vectors 1..nvec.
std::set<i64> used_offsets(i64 ipiv, i64 ifirst, i64 ilast, i64 inc, i64 nvec, i64 incv) {
    std::set<i64> s;
    for (i64 j = 1; j <= nvec; ++j) {
        s.insert((j - 1) * incv + (ipiv - 1) * inc);
        for (i64 i = ifirst; i <= ilast; ++i) s.insert((j - 1) * incv + (i - 1) * inc);
    }
    return s;
}

// Every position of the block outside `used` is as it was.
bool others_unchanged(const Strided& now, const Arr<double>& before, const std::set<i64>& used) {
    for (i64 k = 0; k < now.block.size(); ++k)
        if (used.count(k - now.origin) == 0 && !fz::same_bits(now.block[k], before[k])) return false;
    return true;
}

void householder(Input& in) {
    const Arr<std::int32_t> mode = fz::one(in.flag() ? 2 : in.any_int());
    const Arr<std::int32_t> ipiv = fz::one(in.range(-1, 12)), ifirst = fz::one(in.range(-1, 14)),
                            ilast = fz::one(in.range(-1, 14));
    const Arr<std::int32_t> incu = fz::one(in.range(-3, 3)), ince = fz::one(in.range(-3, 3));
    Arr<std::int32_t> incv = fz::one(in.range(-30, 30));
    const Arr<std::int32_t> nvec = fz::one(in.count(5));
    // With one vector or none the stride between vectors is never used.
    if (nvec[0] <= 1 && in.byte() >= 0x80) incv[0] = in.any_int();
    const bool valid = ipiv[0] >= 1 && ipiv[0] < ifirst[0] && ifirst[0] <= ilast[0];
    // Out of order, nothing is read or written: empty arrays then.
    const std::set<i64> u_used =
        valid ? used_offsets(ipiv[0], ifirst[0], ilast[0], incu[0], 1, 0) : std::set<i64>{};
    const std::set<i64> c_used =
        valid ? used_offsets(ipiv[0], ifirst[0], ilast[0], ince[0], nvec[0], incv[0]) : std::set<i64>{};
    Strided u = u_used.empty() ? Strided(0) : Strided(in, *u_used.begin(), *u_used.rbegin());
    Strided c = c_used.empty() ? Strided(0) : Strided(in, *c_used.begin(), *c_used.rbegin());
    const Arr<double> u0(u.block), c0(c.block);
    Arr<double> upiv = fz::one(in.real());
    const Arr<double> upiv0(upiv);
    const Arr<double> tol = fz::one(in.real());
    Arr<std::int32_t> ierr = fz::one(in.any_int());
    lghtr_(mode, ipiv, ifirst, ilast, u.at(), incu, upiv, c.at(), ince, incv, nvec, tol, ierr);
    FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
    FZ_CHECK(others_unchanged(u, u0, u_used) && others_unchanged(c, c0, c_used));
    if (!valid) FZ_CHECK(ierr[0] == 0 && upiv.same(upiv0));
    if (ierr[0] == 1) FZ_CHECK(c.block.same(c0));
    if (mode[0] == 2) FZ_CHECK(upiv.same(upiv0) && u.block.same(u0));
}

void householder_unit(Input& in) {
    const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 2) : in.any_int());
    const Arr<std::int32_t> ipiv = fz::one(in.range(-1, 12)), ifirst = fz::one(in.range(-1, 14)),
                            ilast = fz::one(in.range(-1, 14)), nvec = fz::one(in.count(5));
    const bool valid = ipiv[0] >= 1 && ipiv[0] < ifirst[0] && ifirst[0] <= ilast[0];
    const i64 len = valid ? ilast[0] : 0;
    const Arr<double> u = fz::reals(in, len);
    const Arr<double> c = fz::reals(in, len * fz::pos(nvec[0]));
    const Arr<double> v = fz::reals(in, len);
    const double h = in.real(), hcopy = in.real();

    // Separate u and v, separate pivot components.
    Arr<double> u1(u), c1(c), v1(v);
    Arr<double> h1 = fz::one(h), hc1 = fz::one(hcopy);
    Arr<std::int32_t> e1 = fz::one(in.any_int());
    lghtrt_(mode, ipiv, ifirst, ilast, u1, h1, c1, nvec, v1, hc1, e1);
    const std::int32_t st = e1[0];
    FZ_CHECK(st >= 0 && st <= 5);
    if (!valid) FZ_CHECK(st == 0);
    if (!valid || st == 1 || st == 2 || st == 3)
        FZ_CHECK(u1.same(u) && v1.same(v) && c1.same(c) && fz::same_bits(h1[0], h) && fz::same_bits(hc1[0], hcopy));
    if (st == 4 || st == 5) FZ_CHECK(c1.same(c));

    // u and v one array, h and its copy one double: the stored form and
    // the copy of h, as with separate arguments.  The separate v starts
    // with u's values and the separate copy with h, so that untouched
    // outputs compare as well.
    Arr<double> u2(u), c2(c), v2(u);
    Arr<double> h2 = fz::one(h), hc2 = fz::one(h);
    Arr<std::int32_t> e2(1);
    lghtrt_(mode, ipiv, ifirst, ilast, u2, h2, c2, nvec, v2, hc2, e2);
    Arr<double> uv(u), c3(c);
    Arr<double> hh = fz::one(h);
    Arr<std::int32_t> e3(1);
    lghtrt_(mode, ipiv, ifirst, ilast, uv, hh, c3, nvec, uv, hh, e3);
    FZ_CHECK(e3[0] == e2[0] && uv.same(v2) && c3.same(c2) && fz::same_bits(hh[0], hc2[0]));
}

void triangular(Input& in) {
    // lgdre_: b unchanged on every failure.
    const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 2) : in.any_int());
    const Arr<std::int32_t> nrhs = fz::one(in.count(5)), n = fz::one(in.count(10));
    const Arr<double> a = fz::reals(in, fz::pos(n[0]) * fz::pos(n[0]));
    Arr<double> b = fz::reals(in, fz::pos(n[0]) * fz::pos(nrhs[0]));
    const Arr<double> b0(b);
    Arr<std::int32_t> ierr = fz::one(in.any_int());
    lgdre_(mode, nrhs, n, a, b, ierr);
    FZ_CHECK(ierr[0] >= 0 && ierr[0] <= 4);
    if (ierr[0] != 0) FZ_CHECK(b.same(b0));
    if (n[0] < 1) FZ_CHECK(ierr[0] == 3);
}

void triangular_leading(Input& in) {
    // lgdre1_: the leading min(lda, ncol) triangle.
    const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 4) : in.any_int());
    const Arr<std::int32_t> ncol = fz::one(in.flag() ? in.count(12) : in.any_int());
    // The order is min(lda, ncol): with at most one column any lda is safe.
    const Arr<std::int32_t> lda = fz::one(in.flag() ? in.range(-3, 12) : ncol[0] <= 1 ? in.any_int() : in.range(-3, 100));
    const i64 nn = std::min<i64>(lda[0], ncol[0]);
    const Arr<double> a = fz::reals(in, nn >= 1 ? (nn - 1) * lda[0] + nn : 0);
    Arr<double> b = fz::reals(in, nn);
    lgdre1_(mode, lda, ncol, a, b);
}

void pivoted_qr(Input& in) {
    const Arr<std::int32_t> m = fz::one(in.count(12)), n = fz::one(in.count(12));
    const Arr<std::int32_t> lda = fz::one(in.flag() ? fz::leading_dim(in, m[0], n[0], false) : in.range(-3, 14));
    const i64 k = std::min<i64>(m[0], n[0]);
    const bool works = k >= 1 && lda[0] >= m[0];
    Arr<double> a = fz::reals(in, works ? fz::block_size(lda[0], m[0], n[0]) : 0);
    Arr<double> h = fz::reals(in, n[0]);
    const Arr<double> h0(h);
    Arr<std::int32_t> ipvt = fz::ints(in, n[0]);
    lgqrfc_(lda, m, n, a, h, ipvt);
    for (i64 j = 1; j <= fz::pos(n[0]); ++j) {
        if (works && j <= k)
            FZ_CHECK(ipvt[j - 1] >= j && ipvt[j - 1] <= n[0]);
        else
            FZ_CHECK(ipvt[j - 1] == j);
    }
    if (!works) FZ_CHECK(h.same(h0));
}

// Statuses of the constrained least-squares solvers.
bool lse_status(std::int32_t s) {
    return (s >= 0 && s <= 5) || (s >= 11 && s <= 15) || (s >= 21 && s <= 24);
}

// Mostly 0 .. n constraints, sometimes a few outside.
std::int32_t constraints(Input& in, std::int32_t n) {
    const std::int32_t base = in.flag() ? 0 : static_cast<std::int32_t>(fz::pos(n) / 2);
    return base + in.range(-2, 3);
}

struct LseProblem {
    Arr<std::int32_t> nrhs, n, ncon, neq;
    Arr<double> e, f, c, d, x;

    explicit LseProblem(Input& in)
        : nrhs(fz::one(in.count(6))),
          n(fz::one(in.flag() ? in.count(6) : in.count(20))),
          ncon(fz::one(constraints(in, n[0]))),
          neq(fz::one(in.count(20))),
          e(fz::reals(in, fz::pos(ncon[0]) * fz::pos(n[0]))),
          f(fz::reals(in, fz::pos(ncon[0]) * fz::pos(nrhs[0]))),
          c(fz::reals(in, fz::pos(neq[0]) * fz::pos(n[0]))),
          d(fz::reals(in, fz::pos(neq[0]) * fz::pos(nrhs[0]))),
          x(fz::reals(in, fz::pos(n[0]) * fz::pos(nrhs[0]))) {}

    // Counts that the solvers reject before reading anything.
    bool rejected() const { return n[0] < 1 || ncon[0] < 0 || ncon[0] > n[0] || n[0] > ncon[0] + i64{neq[0]}; }
};

void check_lse(const LseProblem& p, const LseProblem& before, std::int32_t status) {
    FZ_CHECK(lse_status(status));
    if (status != 0) FZ_CHECK(p.x.same(before.x));
    if (p.rejected()) {
        FZ_CHECK(status == 1 || status == 2 || status == 5);
        FZ_CHECK(p.e.same(before.e) && p.f.same(before.f) && p.c.same(before.c) && p.d.same(before.d));
    }
    // The constraints alone determine x: c and d are not touched.
    if (!p.rejected() && p.ncon[0] == p.n[0]) FZ_CHECK(p.c.same(before.c) && p.d.same(before.d));
}

void constrained_lsq(Input& in) {
    const LseProblem p0(in);
    const Arr<std::int32_t> ierr0 = fz::one(in.any_int());
    fz::twice([&] {
        LseProblem p(p0);
        Arr<std::int32_t> ierr(ierr0);
        lglse_(p.nrhs, p.n, p.ncon, p.neq, p.e, p.f, p.c, p.d, p.x, ierr);
        check_lse(p, p0, ierr[0]);
        return fz::Prints() << p.e << p.f << p.c << p.d << p.x << ierr;
    });
}

void constrained_lsq_work(Input& in) {
    const LseProblem p0(in);
    const i64 n3 = std::max<i64>(p0.n[0], 3);
    const i64 lw = n3 * std::max({n3, i64{p0.ncon[0]}, i64{p0.neq[0]}});
    const i64 lv = std::max({i64{p0.n[0]}, i64{p0.ncon[0]}, i64{p0.neq[0]}});
    // Mostly the required sizes, sometimes one off or anything small; the
    // arrays are as long as the sizes passed.
    const std::uint8_t b = in.byte();
    const i64 lwork = b < 0xC0 ? lw : b < 0xE0 ? lw + (b & 1 ? 1 : -1) : in.range(-2, 40);
    const i64 lvec = b < 0xD0 ? lv : b < 0xE8 ? lv + (b & 1 ? 1 : -1) : in.range(-2, 20);
    const Arr<std::int32_t> lwork32 = fz::one(static_cast<std::int32_t>(lwork)),
                            lvec32 = fz::one(static_cast<std::int32_t>(lvec));
    const Arr<double> w10 = fz::reals(in, lwork), w20 = fz::reals(in, lwork), v10 = fz::reals(in, lvec),
                      v20 = fz::reals(in, lvec);
    const Arr<std::int32_t> ierr0 = fz::one(in.any_int());
    fz::twice([&] {
        LseProblem p(p0);
        Arr<double> w1(w10), w2(w20), v1(v10), v2(v20);
        Arr<std::int32_t> ierr(ierr0);
        lglse1_(p.nrhs, p.n, p.ncon, p.neq, p.e, p.f, p.c, p.d, p.x, lwork32, lvec32, w1, w2, v1, v2, ierr);
        check_lse(p, p0, ierr[0]);
        if (lwork != lw || lvec != lv || (!p.rejected() && p.nrhs[0] > n3)) {
            FZ_CHECK(ierr[0] == 5 || (lwork == lw && lvec == lv && ierr[0] >= 1 && ierr[0] <= 2));
            FZ_CHECK(p.e.same(p0.e) && p.f.same(p0.f) && p.c.same(p0.c) && p.d.same(p0.d));
            FZ_CHECK(w1.same(w10) && w2.same(w20) && v1.same(v10) && v2.same(v20));
        }
        // The work arrays are scratch: only the results are compared.
        return fz::Prints() << p.e << p.f << p.c << p.d << p.x << ierr;
    });
}

void inverse(Input& in) {
    const Arr<std::int32_t> n = fz::one(in.count(8));
    const Arr<std::int32_t> m = fz::one(in.flag() ? n[0] : in.count(10));
    const i64 size = n[0] >= 1 && m[0] >= 1 ? i64{n[0]} * m[0] : 0;
    const Arr<double> a0 = fz::reals(in, size), x0 = fz::reals(in, size);
    const Arr<std::int32_t> ierr0 = fz::one(in.any_int());
    fz::twice([&] {
        Arr<double> a(a0), x(x0);
        Arr<std::int32_t> ierr(ierr0);
        lminv_(n, m, a, x, ierr);
        FZ_CHECK(ierr[0] == 0 || ierr[0] == 1 || ierr[0] == 5);
        FZ_CHECK((ierr[0] == 5) == (fz::service_refused() != 0));
        if (ierr[0] != 0) FZ_CHECK(x.same(x0));
        if (n[0] != m[0]) FZ_CHECK(a.same(a0));
        if (size == 0) FZ_CHECK(ierr[0] == 1 && fz::service_requests() == 0);
        return fz::Prints() << a << x << ierr;
    });
}

void weighted_product(Input& in) {
    const Arr<std::int32_t> n = fz::one(in.count(8)), m = fz::one(in.count(8)), ncol = fz::one(in.count(6));
    const Arr<double> mat = fz::reals(in, fz::pos(m[0]) * fz::pos(n[0]));
    // The matrix is passed through a word holding its address.
    const Arr<const double*> hmat = fz::one(static_cast<const double*>(mat.data()));
    const Arr<double> b = fz::reals(in, fz::pos(n[0]) * fz::pos(ncol[0]));
    const Arr<double> w = fz::reals(in, n[0]);
    const Arr<double> c0 = fz::reals(in, fz::pos(m[0]) * fz::pos(ncol[0]));
    const Arr<std::int32_t> ierr0 = fz::one(in.any_int());
    fz::twice([&] {
        Arr<double> c(c0);
        Arr<std::int32_t> ierr(ierr0);
        lgloes_(n, m, hmat, ncol, b, w, c, ierr);
        FZ_CHECK(ierr[0] == 0 || ierr[0] == 5);
        if (ierr[0] == 5) FZ_CHECK(c.same(c0) && fz::service_refused() != 0);
        if (ierr[0] == 0 && n[0] < 1)
            for (i64 i = 0; i < c.size(); ++i) FZ_CHECK(fz::same_bits(c[i], 0.0));
        return fz::Prints() << c << ierr;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        switch (in.byte() % 9) {
            case 0: householder(in); break;
            case 1: householder_unit(in); break;
            case 2: triangular(in); break;
            case 3: triangular_leading(in); break;
            case 4: pivoted_qr(in); break;
            case 5: constrained_lsq(in); break;
            case 6: constrained_lsq_work(in); break;
            case 7: inverse(in); break;
            default: weighted_product(in); break;
        }
    });
}
