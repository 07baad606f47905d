// Householder QR factorisation with column pivoting, in place.  Squared
// lengths of the remaining column parts are kept in h and downdated by one
// square per step; they are recomputed from the matrix when downdating has
// cancelled too far to be trusted.
//
// Each column meets each reflection exactly as in lghtr_: its inner product
// with the reflection vector over rows in increasing order, then the
// update.  The update of a column by reflection j - 1 and its inner product
// with reflection j run over the same rows in the same increasing order, so
// one sweep down the column does both: the update of a column is held back
// until the sweep that measures it for the next reflection.  The pivot
// choice in between needs only the row the held-back update leaves out (the
// pivot row, updated at once), and a recomputation of the lengths settles
// every held-back update in the sweep that forms the new sums.
#include <cmath>
#include <cstdint>
#include <utility>

#include "frame/column_squares.hpp"
#include "frame/kernels.hpp"
#include "frame/view.hpp"
#include "linear/qr_pivot.hpp"
#include "linear/reflection.hpp"
#include "linear/wide.hpp"
#include "zolmath.h"

namespace {

using i64 = std::int64_t;

constexpr double kTol = 1e-8;
// Columns whose updates can be held back; wider matrices are factorised
// one reflection at a time through lghtr_.
constexpr i64 kMaxHeld = 512;
// Columns swept side by side.
constexpr int kGroup = 8;

// The factorisation with held-back updates.  held[l-1] tells whether
// column l still owes the stretch update of reflection `pending` (rows
// pending + 1 .. m), with coefficient coef[l-1].
struct Fused {
    zol::ColMajor<double> a;
    i64 m, n, nt;
    double* h;
    i64 pending = 0;
    double coef[kMaxHeld];
    bool held[kMaxHeld];

    Fused(const zol::ColMajor<double>& aa, i64 rows, i64 cols, i64 all, double* hh)
        : a(aa), m(rows), n(cols), nt(all), h(hh) {
        for (i64 l = 0; l < nt; ++l) held[l] = false;
    }

    // Sweeps rows first .. m of columns lo .. hi, applying what they owe of
    // reflection first - 1; with Measure, t receives their inner products
    // with reflection first (vector un, pivot component hn); with Squares,
    // h receives the squared lengths of rows first .. m (columns up to n).
    template <bool Measure, bool Squares>
    void columns(i64 lo, i64 hi, i64 first, const double* un, double hn, double* t) {
        const i64 len = m - first + 1;
        const double* up = pending > 0 ? &a(first, pending) : nullptr;
        const bool wide = zol::wide_for(len);
        for (i64 l = lo; l <= hi;) {
            int g = hi - l + 1 >= kGroup ? kGroup : static_cast<int>(hi - l + 1);
            // A group shares one kind of sweep: all its columns owe the
            // update, or none does.
            for (int k = 1; k < g; ++k)
                if (held[l - 1 + k] != held[l - 1]) g = k;
            // The wide sweep takes four or eight columns.
            if (wide && g >= 4) g = g >= 8 ? 8 : 4;
            if (!Measure && !Squares && !held[l - 1]) {
                l += g;
                continue;
            }
            double* c[kGroup];
            double s[kGroup] = {};
            for (int k = 0; k < g; ++k) c[k] = &a(first, l + k);
            // t is null when nothing is measured: no offset is formed from it.
            double* const tl = t != nullptr ? t + (l - lo) : nullptr;
            if (wide && g >= 4)
                zol::sweep_wide(g, true, held[l - 1], Measure, Squares, c, len, up, coef + (l - 1), un, hn, tl, s);
            else if (held[l - 1])
                zol::sweep_group<true, true, Measure, Squares>(g, c, len, up, coef + (l - 1), un, hn, tl, s);
            else
                zol::sweep_group<true, false, Measure, Squares>(g, c, len, up, coef + (l - 1), un, hn, tl, s);
            for (int k = 0; k < g; ++k) {
                held[l - 1 + k] = false;
                if (Squares && l + k <= n) h[l - 1 + k] = s[k];
            }
            l += g;
        }
    }

    // Settles what pivot column j owes and returns the largest magnitude of
    // its rows j .. m, measured in the same sweep (the first value that a
    // later one does not strictly exceed, as the construction takes it).
    double pivot_column(i64 j) {
        double* const c = &a(j, j);
        const i64 len = m - j + 1;
        const bool owes = held[j - 1];
        held[j - 1] = false;
        const double tb = coef[j - 1];
        const double* const up = owes ? &a(j, pending) : c;
        double v = c[0];
        if (owes) {
            v = v + tb * up[0];
            c[0] = v;
        }
        double cl = std::fabs(v);
        for (i64 i = 1; i < len; ++i) {
            v = c[i];
            if (owes) {
                v = v + tb * up[i];
                c[i] = v;
            }
            const double av = std::fabs(v);
            cl = av > cl ? av : cl;
        }
        return cl;
    }

    // Settles what columns lo .. hi owe, with their squared lengths from
    // row `first` on when asked.
    void settle(i64 lo, i64 hi, i64 first, bool squares) {
        if (lo > hi || first > m) {
            for (i64 l = lo; l <= hi; ++l) held[l - 1] = false;
            return;
        }
        if (squares)
            columns<false, true>(lo, hi, first, nullptr, 0.0, nullptr);
        else
            columns<false, false>(lo, hi, first, nullptr, 0.0, nullptr);
    }
};

// h(l) := squared length of column l (rows 1 .. m), l = 1 .. n, from the
// caller's values when it has them; returns the first longest column.
i64 first_lengths(const zol::ColMajor<double>& a, i64 m, i64 n, double* h, const double* known) {
    i64 lmax = 1;
    auto take = [&](i64 l, double s) {
        h[l - 1] = s;
        if (h[l - 1] > h[lmax - 1]) lmax = l;
    };
    if (known != nullptr)
        for (i64 l = 1; l <= n; ++l) take(l, known[l - 1]);
    else
        zol::column_squares(a, 1, m, 1, n, take);
    return lmax;
}

// The pivot column of step j, the first of the longest remaining columns.
// At j = 1 the lengths are the full ones; later they are downdated by row
// j - 1, and when a thousandth of the largest downdated length no longer
// changes the last recomputed maximum hmax, the downdated values have lost
// too many digits: recompute() then puts the lengths of rows j .. m in h.
template <class Recompute>
i64 choose_pivot(const zol::ColMajor<double>& a, i64 j, i64 m, i64 n, double* h, const double* first_squares,
                 double& hmax, Recompute recompute) {
    i64 lmax = j;
    if (j == 1) {
        lmax = first_lengths(a, m, n, h, first_squares);
    } else {
        for (i64 l = j; l <= n; ++l) {
            h[l - 1] = h[l - 1] - a(j - 1, l) * a(j - 1, l);
            if (h[l - 1] > h[lmax - 1]) lmax = l;
        }
        if (hmax + 0.001 * h[lmax - 1] > hmax) return lmax;
        recompute();
        lmax = j;
        for (i64 l = j + 1; l <= n; ++l)
            if (h[l - 1] > h[lmax - 1]) lmax = l;
    }
    hmax = h[lmax - 1];
    return lmax;
}

// Exchanges columns j and lmax (rows 1 .. m); the length of column j moves
// to lmax, column j's own entry is left as it is.
void exchange(const zol::ColMajor<double>& a, i64 m, i64 j, i64 lmax, double* h) {
    for (i64 i = 1; i <= m; ++i) {
        const double t = a(i, j);
        a(i, j) = a(i, lmax);
        a(i, lmax) = t;
    }
    h[lmax - 1] = h[j - 1];
}

void fused_qr(Fused& q, i64 k, std::int32_t* ipvt, const double* first_squares) {
    const zol::ColMajor<double>& a = q.a;
    const i64 m = q.m, n = q.n, nt = q.nt;
    double* const h = q.h;
    double t[kMaxHeld];

    double hmax = 0.0;
    for (i64 j = 1; j <= k; ++j) {
        // Row j - 1 of every remaining column is final; a recomputation
        // settles what the columns owe while it sums their squares.
        const i64 lmax = choose_pivot(a, j, m, n, h, first_squares, hmax, [&] { q.settle(j, nt, j, true); });
        ipvt[j - 1] = static_cast<std::int32_t>(lmax);
        if (lmax != j) {
            exchange(a, m, j, lmax, h);
            std::swap(q.coef[j - 1], q.coef[lmax - 1]);
            std::swap(q.held[j - 1], q.held[lmax - 1]);
        }

        // The pivot column first receives what it owes, then defines
        // reflection j as lghtr_ builds it (on the last row there is
        // nothing to annihilate; below the tolerance nothing is built).
        bool built = false;
        if (j < m) {
            const double cl = q.pivot_column(j);
            if (!(cl < kTol)) {
                double sv, hv;
                zol::build_reflection(zol::Strided<double>(a.col(j), 1), j, j + 1, m, cl, sv, hv);
                h[j - 1] = hv;
                a(j, j) = sv;
                built = true;
            }
        } else {
            q.settle(j, j, j, false);
        }
        const double hj = h[j - 1], sj = a(j, j);
        double b = hj * sj;
        // Without a reflection, or one too close to the identity to be
        // applied, the columns to the right are left as they are.
        if (!built || std::fabs(b) < kTol * kTol) {
            q.settle(j + 1, nt, j, false);
            q.pending = 0;
            continue;
        }
        if (j == nt) break;
        b = 1.0 / b;
        q.columns<true, false>(j + 1, nt, j, a.col(j) + (j - 1), hj, t);
        for (i64 l = j + 1; l <= nt; ++l) {
            const double tl = t[l - j - 1];
            // A column (nearly) orthogonal to the reflection vector is left
            // exactly as it was; a carried column is refused the
            // reflection when its pivot element is below the tolerance,
            // as the application mode of lghtr_ does.
            if (std::fabs(tl) < kTol || (l > n && std::fabs(sj) < kTol)) continue;
            const double tb = tl * b;
            a(j, l) = a(j, l) + tb * hj;
            q.coef[l - 1] = tb;
            q.held[l - 1] = true;
        }
        q.pending = j;
    }
    if (q.pending > 0) q.settle(q.pending + 1, nt, q.pending + 1, false);
}

// Wide matrices: one reflection at a time, each applied at once.
void stepwise_qr(const zol::ColMajor<double>& a, i64 m, i64 n, i64 extra, i64 k, double* h, std::int32_t* ipvt,
                 const double* first_squares) {
    const std::int32_t construct = 1, apply = 2, one = 1;
    const double tol = kTol;
    const std::int32_t incv = static_cast<std::int32_t>(a.ld);
    double hmax = 0.0;
    for (i64 j = 1; j <= k; ++j) {
        const i64 lmax = choose_pivot(a, j, m, n, h, first_squares, hmax, [&] {
            zol::column_squares(a, j, m, j, n, [&](i64 l, double s) { h[l - 1] = s; });
        });
        ipvt[j - 1] = static_cast<std::int32_t>(lmax);
        if (lmax != j) exchange(a, m, j, lmax, h);
        if (j == m) continue;
        const std::int32_t ipiv = static_cast<std::int32_t>(j), ifirst = ipiv + 1;
        const std::int32_t ilast = static_cast<std::int32_t>(m), nvec = static_cast<std::int32_t>(n - j);
        const std::int32_t nextra = static_cast<std::int32_t>(extra);
        std::int32_t status = 0;
        lghtr_(&construct, &ipiv, &ifirst, &ilast, a.col(j), &one, &h[j - 1], a.col(j + 1), &one, &incv, &nvec, &tol,
               &status);
        if (extra > 0)
            lghtr_(&apply, &ipiv, &ifirst, &ilast, a.col(j), &one, &h[j - 1], a.col(n + 1), &one, &incv, &nextra, &tol,
                   &status);
    }
}

}  // namespace

void zol::pivoted_qr(std::int64_t ld, std::int64_t m, std::int64_t n, std::int64_t extra, double* a, double* h,
                     std::int32_t* ipvt, const double* first_squares) {
    for (i64 i = 1; i <= n; ++i) ipvt[i - 1] = static_cast<std::int32_t>(i);
    const i64 k = m < n ? m : n;
    if (k < 1) return;
    // A leading dimension below the row count would make columns overlap and
    // run past the stated array: no factorisation is attempted.
    if (ld < m) return;
    const zol::ColMajor<double> aa(a, ld);
    if (n + extra > kMaxHeld) {
        stepwise_qr(aa, m, n, extra, k, h, ipvt, first_squares);
        return;
    }
    Fused q(aa, m, n, n + extra, h);
    fused_qr(q, k, ipvt, first_squares);
}

extern "C" void lgqrfc_(const int32_t* lda, const int32_t* m, const int32_t* n, double* a, double* h,
                        int32_t* ipvt) {
    zol::pivoted_qr(*lda, *m, *n, 0, a, h, ipvt);
}
