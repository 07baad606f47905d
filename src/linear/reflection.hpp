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
template <int G, bool PivotFirst, bool Apply, bool Measure, bool Squares>
inline void sweep(double* const* cols, std::int64_t len, const double* up, const double* tb, const double* un,
                  double hn, double* t, double* s) {
    double* c[G];
    double coef[G], tv[G], sv[G], v0[G];
    each<G>([&](auto k) {
        c[k] = cols[k];
        coef[k] = Apply ? tb[k] : 0.0;
        double v = c[k][0];
        if (Apply) {
            v = v + coef[k] * up[0];
            c[k][0] = v;
        }
        v0[k] = v;
        tv[k] = Measure && PivotFirst ? v * hn : 0.0;
        sv[k] = Squares ? 0.0 + v * v : 0.0;
    });
    // Rows two at a time: the updates and products of a pair are formed
    // side by side (element by element, exactly as one at a time), and the
    // pair's terms then enter each sum one after the other.
    std::int64_t i = 1;
    for (; i + 1 < len; i += 2) {
        const Pair ui = Apply ? load_pair(up + i) : Pair{0.0, 0.0};
        const Pair wi = Measure ? load_pair(un + i) : Pair{0.0, 0.0};
        each<G>([&](auto k) {
            Pair v = load_pair(c[k] + i);
            if (Apply) {
                v = v + coef[k] * ui;
                store_pair(c[k] + i, v);
            }
            if (Measure) {
                const Pair p = v * wi;
                tv[k] = tv[k] + p[0];
                tv[k] = tv[k] + p[1];
            }
            if (Squares) {
                const Pair q = v * v;
                sv[k] = sv[k] + q[0];
                sv[k] = sv[k] + q[1];
            }
        });
    }
    for (; i < len; ++i) {
        const double ui = Apply ? up[i] : 0.0;
        const double wi = Measure ? un[i] : 0.0;
        each<G>([&](auto k) {
            double v = c[k][i];
            if (Apply) {
                v = v + coef[k] * ui;
                c[k][i] = v;
            }
            if (Measure) tv[k] = tv[k] + v * wi;
            if (Squares) sv[k] = sv[k] + v * v;
        });
    }
    each<G>([&](auto k) {
        if (Measure) t[k] = PivotFirst ? tv[k] : hn * v0[k] + tv[k];
        if (Squares) s[k] = sv[k];
    });
}

template <bool PivotFirst, bool Apply, bool Measure, bool Squares>
inline void sweep_group(int g, double* const* c, std::int64_t len, const double* up, const double* tb, const double* un,
                        double hn, double* t, double* s) {
    if (g == 4) sweep<4, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 3) sweep<3, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 2) sweep<2, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
    if (g == 1) sweep<1, PivotFirst, Apply, Measure, Squares>(c, len, up, tb, un, hn, t, s);
}

}  // namespace zol
