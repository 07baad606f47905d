// Householder reflections: construction and application (Lawson and Hanson's
// H1/H2).  A reflection acting on positions ipiv and ifirst..ilast is kept as
// its pivot component h (upiv) and the defining vector u, whose pivot
// position is overwritten by s, the value the pivot element takes under the
// reflection; with b = h*s the reflection is I + w w^T / b.
#include <cmath>
#include <cstdint>

#include "frame/kernels.hpp"
#include "frame/unroll.hpp"
#include "frame/view.hpp"
#include "linear/reflection.hpp"
#include "linear/wide.hpp"
#include "zolmath.h"

namespace {

// Application of a reflection to nv vectors of unit element stride lying sv
// apart, with ustretch = u(ifirst..ilast) contiguous.  Each vector gets
// exactly the operations of the one-vector loop of lghtr_, in the same
// order; only the vectors of a group have their inner products run side by
// side, as independent chains, and are then updated in one pass.  Callers
// use it only when no vector overlaps another or u, so that transforming a
// vector cannot change what a later vector of the group reads.
struct UnitReflection {
    const double* ustretch;
    std::int64_t len;    // ilast - ifirst + 1
    std::int64_t piv;    // ipiv - 1: offset of the pivot element in a vector
    std::int64_t first;  // ifirst - 1: offset of the stretch in a vector
    double h, b, tol;
};

template <int G>
void apply_unit_group(const UnitReflection& r, double* c0, std::int64_t sv) {
    double* c[G];
    double* s[G];
    double t[G];
    const double h = r.h;
    zol::each<G>([&](auto k) {
        c[k] = c0 + k * sv;
        s[k] = c[k] + r.first;
        t[k] = c[k][r.piv] * h;
    });
    const double* const u = r.ustretch;
    const bool wide = G >= 4 && zol::wide_for(r.len);
    if (wide)
        zol::dot_wide(G, s, r.len, u, t);
    else
        for (std::int64_t i = 0; i < r.len; ++i) {
            const double ui = u[i];
            zol::each<G>([&](auto k) { t[k] = t[k] + s[k][i] * ui; });
        }
    const double tl = r.tol;
    bool all = true;
    for (int k = 0; k < G; ++k) all = all && !(std::fabs(t[k]) < tl);
    if (!all) {
        // A vector (nearly) orthogonal to w stays exactly as it was; the
        // others are updated one by one.
        for (int k = 0; k < G; ++k) {
            if (std::fabs(t[k]) < tl) continue;
            const double tk = t[k] * r.b;
            c[k][r.piv] = c[k][r.piv] + tk * h;
            for (std::int64_t i = 0; i < r.len; ++i) s[k][i] = s[k][i] + tk * u[i];
        }
        return;
    }
    zol::each<G>([&](auto k) {
        t[k] = t[k] * r.b;
        c[k][r.piv] = c[k][r.piv] + t[k] * h;
    });
    if (wide)
        zol::axpy_wide(G, s, r.len, u, t);
    else
        for (std::int64_t i = 0; i < r.len; ++i) {
            const double ui = u[i];
            zol::each<G>([&](auto k) { s[k][i] = s[k][i] + t[k] * ui; });
        }
}

// The application of lghtrt_ to G neighbouring columns of its ilast-row
// matrix (column k at c0 + k*ld): per column, the stretch summed from 0,
// then added to the pivot term, the same operations in the same order as
// the one-column loop, with the G sums as independent chains.
template <int G>
void apply_stored_group(const double* ustretch, std::int64_t len, std::int64_t piv, std::int64_t first,
                        double h, double b, double* c0, std::int64_t ld) {
    double* c[G];
    double* s[G];
    double t[G];
    zol::each<G>([&](auto k) {
        c[k] = c0 + k * ld;
        s[k] = c[k] + first;
        t[k] = 0.0;
    });
    const bool wide = G >= 4 && zol::wide_for(len);
    if (wide)
        zol::dot_wide(G, s, len, ustretch, t);
    else
        for (std::int64_t i = 0; i < len; ++i) {
            const double ui = ustretch[i];
            zol::each<G>([&](auto k) { t[k] = t[k] + ui * s[k][i]; });
        }
    zol::each<G>([&](auto k) {
        t[k] = h * c[k][piv] + t[k];
        t[k] = t[k] * b;
        c[k][piv] = c[k][piv] + t[k] * h;
    });
    if (wide)
        zol::axpy_wide(G, s, len, ustretch, t);
    else
        for (std::int64_t i = 0; i < len; ++i) {
            const double ui = ustretch[i];
            zol::each<G>([&](auto k) { s[k][i] = s[k][i] + t[k] * ui; });
        }
}

// True when [a0, a1] and [b0, b1] (inclusive element ranges) share no
// byte.  Compared as integers: the arrays may be unrelated.
bool apart(const double* a0, const double* a1, const double* b0, const double* b1) {
    const auto ia0 = reinterpret_cast<std::uintptr_t>(a0), ia1 = reinterpret_cast<std::uintptr_t>(a1);
    const auto ib0 = reinterpret_cast<std::uintptr_t>(b0), ib1 = reinterpret_cast<std::uintptr_t>(b1);
    return ia1 < ib0 || ib1 < ia0;
}

}  // namespace

extern "C" void lghtr_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                       const int32_t* ilast, double* u, const int32_t* incu, double* upiv, double* c,
                       const int32_t* ince, const int32_t* incv, const int32_t* nvec, const double* tol,
                       int32_t* ierr) {
    *ierr = 0;
    const std::int64_t lp = *ipiv;
    const std::int64_t l1 = *ifirst;
    const std::int64_t m = *ilast;
    if (lp <= 0 || lp >= l1 || l1 > m) return;

    const zol::Strided<double> uu(u, *incu);
    const double tl = *tol;
    double h;
    if (*mode == 2) {
        if (std::fabs(uu(lp)) < tl) {
            *ierr = 1;
            return;
        }
        h = *upiv;
    } else {
        const double cl = zol::largest_magnitude(uu, lp, l1, m);
        if (cl < tl) {
            *ierr = 1;
            return;
        }
        double s;
        zol::build_reflection(uu, lp, l1, m, cl, s, h);
        *upiv = h;
        uu(lp) = s;
    }

    const std::int64_t nv = *nvec;
    if (nv <= 0) return;
    double b = h * uu(lp);
    // b = -h^2 after a construction; a tiny b means a reflection too close to
    // the identity to be applied reliably.
    if (std::fabs(b) < tl * tl) {
        *ierr = 1;
        return;
    }
    b = 1.0 / b;

    const std::int64_t se = *ince;
    const std::int64_t sv = *incv;
    // Columns of a column-major matrix, u a column too (the factorisations
    // and the solver): the vectors are taken up to four at a time when none
    // of them overlaps another or the stretch of u.
    if (se == 1 && *incu == 1 && (nv == 1 || sv >= m - lp + 1)) {
        const double* const ufirst = u + (l1 - 1);
        const double* const ulast = u + (m - 1);
        const double* const cfirst = c + (lp - 1);
        const double* const clast = c + (nv - 1) * sv + (m - 1);
        if (apart(ufirst, ulast, cfirst, clast)) {
            const UnitReflection r{ufirst, m - l1 + 1, lp - 1, l1 - 1, h, b, tl};
            std::int64_t j = 0;
            for (; zol::wide_for(r.len) && j + 8 <= nv; j += 8)
                apply_unit_group<8>(r, c + j * sv, sv);
            for (; j + 4 <= nv; j += 4) apply_unit_group<4>(r, c + j * sv, sv);
            if (nv - j == 3) apply_unit_group<3>(r, c + j * sv, sv);
            if (nv - j == 2) apply_unit_group<2>(r, c + j * sv, sv);
            if (nv - j == 1) apply_unit_group<1>(r, c + j * sv, sv);
            return;
        }
    }
    for (std::int64_t j = 1; j <= nv; ++j) {
        const zol::Strided<double> cj(c + (j - 1) * sv, se);
        double t = cj(lp) * h;
        for (std::int64_t i = l1; i <= m; ++i) t = t + cj(i) * uu(i);
        // A vector (nearly) orthogonal to w is left exactly as it was.
        if (std::fabs(t) < tl) continue;
        t = t * b;
        cj(lp) = cj(lp) + t * h;
        for (std::int64_t i = l1; i <= m; ++i) cj(i) = cj(i) + t * uu(i);
    }
}

extern "C" void lghtrt_(const int32_t* mode, const int32_t* ipiv, const int32_t* ifirst,
                        const int32_t* ilast, double* u, double* upiv, double* c, const int32_t* nvec,
                        double* v, double* upivcopy, int32_t* ierr) {
    *ierr = 0;
    const std::int64_t lp = *ipiv;
    const std::int64_t l1 = *ifirst;
    const std::int64_t m = *ilast;
    if (lp < 1 || lp >= l1 || l1 > m) return;

    constexpr double tol = 1e-8;
    const zol::Strided<double> uu(u, 1);
    double h;
    const std::int32_t md = *mode;
    if (md == 2) {
        if (std::fabs(uu(lp)) < tol) {
            *ierr = 1;
            return;
        }
        h = *upiv;
    } else if (md != 1) {
        *ierr = 2;
        return;
    } else {
        const double cl = zol::largest_magnitude(uu, lp, l1, m);
        if (cl < tol) {
            *ierr = 3;
            return;
        }
        double s;
        zol::build_reflection(uu, lp, l1, m, cl, s, h);
        // upiv and upivcopy may be the same double.
        *upivcopy = h;
        *upiv = *upivcopy;
        uu(lp) = s;
    }

    // Stored form.  v may be u itself: then only positions outside the
    // reflection (never read as part of u) are zeroed.
    const zol::Strided<double> vv(v, 1);
    for (std::int64_t i = 1; i < lp; ++i) vv(i) = 0.0;
    for (std::int64_t i = lp + 1; i < l1; ++i) vv(i) = 0.0;
    vv(lp) = uu(lp);
    for (std::int64_t i = l1; i <= m; ++i) vv(i) = uu(i);

    const std::int64_t nv = *nvec;
    if (nv == 0) return;
    if (nv < 0) {
        *ierr = 4;
        return;
    }

    *upivcopy = h;
    double b = uu(lp) * h;
    if (std::fabs(b) < 1e-20) {
        *ierr = 5;
        return;
    }
    b = 1.0 / b;
    // Columns never overlap one another (the leading dimension is the
    // column length); when u lies apart from them too, they are taken up to
    // four at a time.
    {
        const double* const ufirst = u + (l1 - 1);
        const double* const ulast = u + (m - 1);
        if (apart(ufirst, ulast, c + (lp - 1), c + (nv - 1) * m + (m - 1))) {
            const std::int64_t len = m - l1 + 1, piv = lp - 1, first = l1 - 1;
            std::int64_t j = 0;
            for (; zol::wide_for(len) && j + 8 <= nv; j += 8)
                apply_stored_group<8>(ufirst, len, piv, first, h, b, c + j * m, m);
            for (; j + 4 <= nv; j += 4) apply_stored_group<4>(ufirst, len, piv, first, h, b, c + j * m, m);
            if (nv - j == 3) apply_stored_group<3>(ufirst, len, piv, first, h, b, c + j * m, m);
            if (nv - j == 2) apply_stored_group<2>(ufirst, len, piv, first, h, b, c + j * m, m);
            if (nv - j == 1) apply_stored_group<1>(ufirst, len, piv, first, h, b, c + j * m, m);
            return;
        }
    }
    const zol::ColMajor<double> cc(c, m);
    for (std::int64_t j = 1; j <= nv; ++j) {
        // Unlike lghtr_, the stretch is summed on its own from 0 and then
        // added to the pivot term.
        double s = 0.0;
        for (std::int64_t i = l1; i <= m; ++i) s = s + uu(i) * cc(i, j);
        double t = h * cc(lp, j) + s;
        t = t * b;
        cc(lp, j) = cc(lp, j) + t * h;
        for (std::int64_t i = l1; i <= m; ++i) cc(i, j) = cc(i, j) + t * uu(i);
    }
}
