// Householder reflections: construction and application (Lawson and Hanson's
// H1/H2).  A reflection acting on positions ipiv and ifirst..ilast is kept as
// its pivot component h (upiv) and the defining vector u, whose pivot
// position is overwritten by s, the value the pivot element takes under the
// reflection; with b = h*s the reflection is I + w w^T / b.
#include <cmath>
#include <cstdint>

#include "frame/view.hpp"
#include "zolmath.h"

namespace {

// Largest magnitude among u(ipiv) and u(ifirst..ilast); the pivot element
// is the starting value and a later element replaces it only when strictly
// larger, so a NaN never becomes the maximum.
template <class Vec>
double largest_magnitude(const Vec& u, std::int64_t ipiv, std::int64_t ifirst, std::int64_t ilast) {
    double cl = std::fabs(u(ipiv));
    for (std::int64_t i = ifirst; i <= ilast; ++i) {
        const double a = std::fabs(u(i));
        if (a > cl) cl = a;
    }
    return cl;
}

// Builds s and h from the defining vector, given its largest magnitude cl.
// The sum of squares is formed on the vector scaled by 1/cl so that it can
// neither overflow nor underflow.  u(ipiv) is not yet overwritten.
template <class Vec>
void build(const Vec& u, std::int64_t ipiv, std::int64_t ifirst, std::int64_t ilast, double cl,
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
        const double cl = largest_magnitude(uu, lp, l1, m);
        if (cl < tl) {
            *ierr = 1;
            return;
        }
        double s;
        build(uu, lp, l1, m, cl, s, h);
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
        const double cl = largest_magnitude(uu, lp, l1, m);
        if (cl < tol) {
            *ierr = 3;
            return;
        }
        double s;
        build(uu, lp, l1, m, cl, s, h);
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
