// Householder QR factorisation with column pivoting, in place.  Squared
// lengths of the remaining column parts are kept in h and downdated by one
// square per step; they are recomputed from the matrix when downdating has
// cancelled too far to be trusted.
#include <cstdint>

#include "frame/column_squares.hpp"
#include "frame/view.hpp"
#include "zolmath.h"

namespace {

// Squared lengths of rows j..m of columns j..n, summed from 0 in increasing
// row order; returns the first column of largest squared length.
std::int64_t full_lengths(const zol::ColMajor<double>& a, const zol::Strided<double>& h, std::int64_t j,
                          std::int64_t m, std::int64_t n) {
    std::int64_t lmax = j;
    zol::column_squares(a, j, m, j, n, [&](std::int64_t l, double s) {
        h(l) = s;
        if (h(l) > h(lmax)) lmax = l;
    });
    return lmax;
}

}  // namespace

extern "C" void lgqrfc_(const int32_t* lda, const int32_t* m, const int32_t* n, double* a, double* h,
                        int32_t* ipvt) {
    const std::int64_t ld = *lda;
    const std::int64_t mm = *m;
    const std::int64_t nn = *n;
    for (std::int64_t i = 1; i <= nn; ++i) ipvt[i - 1] = static_cast<int32_t>(i);
    const std::int64_t k = mm < nn ? mm : nn;
    if (k < 1) return;
    // A leading dimension below the row count would make columns overlap and
    // run past the stated array: no factorisation is attempted.
    if (ld < mm) return;

    const zol::ColMajor<double> aa(a, ld);
    const zol::Strided<double> hh(h, 1);
    const std::int32_t construct = 1, one = 1;
    const double tol = 1e-8;

    double hmax = 0.0;
    for (std::int64_t j = 1; j <= k; ++j) {
        std::int64_t lmax;
        if (j == 1) {
            lmax = full_lengths(aa, hh, j, mm, nn);
            hmax = hh(lmax);
        } else {
            lmax = j;
            for (std::int64_t l = j; l <= nn; ++l) {
                hh(l) = hh(l) - aa(j - 1, l) * aa(j - 1, l);
                if (hh(l) > hh(lmax)) lmax = l;
            }
            // When a thousandth of the largest downdated length no longer
            // changes the last recomputed maximum, the downdated values have
            // lost too many digits.
            if (!(hmax + 0.001 * hh(lmax) > hmax)) {
                lmax = full_lengths(aa, hh, j, mm, nn);
                hmax = hh(lmax);
            }
        }

        ipvt[j - 1] = static_cast<int32_t>(lmax);
        if (lmax != j) {
            for (std::int64_t i = 1; i <= mm; ++i) {
                const double t = aa(i, j);
                aa(i, j) = aa(i, lmax);
                aa(i, lmax) = t;
            }
            hh(lmax) = hh(j);
        }

        // On the last row there is nothing left to annihilate: the call
        // would return at once (ifirst = m + 1 > ilast).
        if (j == mm) continue;
        const std::int32_t ipiv = static_cast<int32_t>(j);
        const std::int32_t ifirst = static_cast<int32_t>(j + 1);
        const std::int32_t ilast = static_cast<int32_t>(mm);
        const std::int32_t nvec = static_cast<int32_t>(nn - j);
        const std::int32_t incv = static_cast<int32_t>(ld);
        std::int32_t status = 0;
        // The column to the right of the last one is only addressed, never
        // accessed: nvec is then 0.
        lghtr_(&construct, &ipiv, &ifirst, &ilast, aa.col(j), &one, &hh(j), aa.col(j) + ld, &one, &incv,
               &nvec, &tol, &status);
    }
}
