// Construction of a Householder reflection (Lawson and Hanson's H1), shared
// by lghtr_, lghtrt_, the pivoted QR and the damping iteration, and the
// column sweep with which the factorisations apply one reflection and
// measure each column for the next in one pass.
#pragma once

#include <cmath>
#include <cstdint>

#include "frame/unroll.hpp"

namespace zol {

// Largest magnitude among u(ipiv) and u(ifirst..ilast); the pivot element
// is the starting value and a later element replaces it only when strictly
// larger, so a NaN never becomes the maximum.
//
// The largest value does not depend on the order of the comparisons (it is
// one of the magnitudes, exactly), so four running maxima over interleaved
// elements, each starting from the pivot magnitude, are merged with the
// same strict test: a NaN pivot still gives NaN, other NaNs are still
// passed over.
template <class Vec>
inline double largest_magnitude(const Vec& u, std::int64_t ipiv, std::int64_t ifirst, std::int64_t ilast) {
    const double start = std::fabs(u(ipiv));
    double cl[4] = {start, start, start, start};
    std::int64_t i = ifirst;
    for (; i + 3 <= ilast; i += 4)
        for (int k = 0; k < 4; ++k) {
            const double a = std::fabs(u(i + k));
            if (a > cl[k]) cl[k] = a;
        }
    for (; i <= ilast; ++i) {
        const double a = std::fabs(u(i));
        if (a > cl[0]) cl[0] = a;
    }
    double best = cl[0];
    for (int k = 1; k < 4; ++k)
        if (cl[k] > best) best = cl[k];
    return best;
}

// Builds s and h from the defining vector, given its largest magnitude cl.
// The sum of squares is formed on the vector scaled by 1/cl so that it can
// neither overflow nor underflow.  u(ipiv) is not yet overwritten.
template <class Vec>
inline void build_reflection(const Vec& u, std::int64_t ipiv, std::int64_t ifirst, std::int64_t ilast, double cl,
                             double& s, double& h) {
    const double r = 1.0 / cl;
    double q = u(ipiv) * r;
    double sm = q * q;
    for (std::int64_t i = ifirst; i <= ilast; ++i) {
        q = u(i) * r;
        sm = sm + q * q;
    }
    double len = cl * std::sqrt(sm);
    // s takes the sign opposite to the pivot element so that h = u(ipiv) - s
    // is formed without cancellation.
    if (u(ipiv) > 0.0) len = -len;
    h = u(ipiv) - len;
    s = len;
}

// One sweep down rows first .. first + len - 1 of G columns (c[k] points at
// row first).  Apply: c(i) := c(i) + tb[k]·up(i), the held-back update of
// the previous reflection, whose stretch starts at row first.  Measure: the
// inner product with the next reflection, whose pivot row is first, as
// lghtr_ forms it (PivotFirst: t[k] := c(first)·hn + Σ c(i)·un(i) over the
// following rows) or as lghtrt_ does (the sum from 0 first, then
// t[k] := hn·c(first) + sum).  Squares: s[k] := Σ c(i)² over the sweep,
// from 0.  Each quantity is formed from the updated values in increasing
// row order, as the separate loops would.  Columns that overlap one another
// or the vectors up and un must not be swept together.
//
// The sums of columns 2p and 2p + 1 run side by side in the two halves of
// one Pair (an odd last column in the first half, zeros in the second), so
// that each addition serves two columns while every column's own sum still
// takes its terms one at a time in row order.
template <int G, bool PivotFirst, bool Apply, bool Measure, bool Squares>
inline void sweep(double* const* cols, std::int64_t len, const double* up, const double* tb, const double* un,
                  double hn, double* t, double* s) {
    constexpr int P = (G + 1) / 2;
    double* c[G];
    double coef[G], t0[G], s0[G], v0[G];
    Pair tv[P], sv[P];
    each<G>([&](auto k) {
        c[k] = cols[k];
        coef[k] = Apply ? tb[k] : 0.0;
        double v = c[k][0];
        if (Apply) {
            v = v + coef[k] * up[0];
            c[k][0] = v;
        }
        v0[k] = v;
        t0[k] = Measure && PivotFirst ? v * hn : 0.0;
        s0[k] = Squares ? 0.0 + v * v : 0.0;
    });
    // The halves of pair p: columns 2p and 2p + 1 (or nothing).
    auto halves = [](const double* x, auto p) {
        constexpr int k = 2 * decltype(p)::value;
        if constexpr (k + 1 < G)
            return Pair{x[k], x[k + 1]};
        else
            return Pair{x[k], 0.0};
    };
    each<P>([&](auto p) {
        tv[p] = halves(t0, p);
        sv[p] = halves(s0, p);
    });
    // Rows two at a time: the updates and products of a pair of rows are
    // formed side by side (element by element, exactly as one at a time),
    // and the terms of the first row then those of the second enter the
    // sums.
    std::int64_t i = 1;
    for (; i + 1 < len; i += 2) {
        const Pair ui = Apply ? load_pair(up + i) : Pair{0.0, 0.0};
        const Pair wi = Measure ? load_pair(un + i) : Pair{0.0, 0.0};
        Pair pr[G], qr[G];
        each<G>([&](auto k) {
            Pair v = load_pair(c[k] + i);
            if (Apply) {
                v = v + coef[k] * ui;
                store_pair(c[k] + i, v);
            }
            pr[k] = Measure ? v * wi : Pair{0.0, 0.0};
            qr[k] = Squares ? v * v : Pair{0.0, 0.0};
        });
        each<P>([&](auto p) {
            constexpr int k = 2 * decltype(p)::value;
            constexpr int k1 = k + 1 < G ? k + 1 : k;
            const double z = 0.0;
            if (Measure) {
                tv[p] = tv[p] + Pair{pr[k][0], k1 != k ? pr[k1][0] : z};
                tv[p] = tv[p] + Pair{pr[k][1], k1 != k ? pr[k1][1] : z};
            }
            if (Squares) {
                sv[p] = sv[p] + Pair{qr[k][0], k1 != k ? qr[k1][0] : z};
                sv[p] = sv[p] + Pair{qr[k][1], k1 != k ? qr[k1][1] : z};
            }
        });
    }
    for (; i < len; ++i) {
        const double ui = Apply ? up[i] : 0.0;
        const double wi = Measure ? un[i] : 0.0;
        double pr[G], qr[G];
        each<G>([&](auto k) {
            double v = c[k][i];
            if (Apply) {
                v = v + coef[k] * ui;
                c[k][i] = v;
            }
            pr[k] = v * wi;
            qr[k] = v * v;
        });
        each<P>([&](auto p) {
            if (Measure) tv[p] = tv[p] + halves(pr, p);
            if (Squares) sv[p] = sv[p] + halves(qr, p);
        });
    }
    each<G>([&](auto k) {
        const double tk = tv[k / 2][k % 2], sk = sv[k / 2][k % 2];
        if (Measure) t[k] = PivotFirst ? tk : hn * v0[k] + tk;
        if (Squares) s[k] = sk;
    });
}

template <bool PivotFirst, bool Apply, bool Measure, bool Squares>
inline void sweep_group(int g, double* const* c, std::int64_t len, const double* up, const double* tb, const double* un,
                        double hn, double* t, double* s) {
    if (g == 8) sweep<8, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 7) sweep<7, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 6) sweep<6, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 5) sweep<5, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 4) sweep<4, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 3) sweep<3, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 2) sweep<2, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 1) sweep<1, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
}

}  // namespace zol
