// Construction of a Householder reflection (Lawson and Hanson's H1), shared
// by lghtr_, lghtrt_ and the pivoted QR, which measures the pivot column in
// the sweep that brings it up to date.
#pragma once

#include <cmath>
#include <cstdint>

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

}  // namespace zol
