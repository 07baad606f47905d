// Sequential banded least squares: lgbla_ folds blocks of equations into an
// upper triangular band factor held in a band array g, lgbls_ solves with it.
//
// g has ldg rows and nb + nrhs columns: band coefficients in columns 1..nb,
// right-hand sides after them.  Rows before ipos are finished rows of R,
// diagonal first; rows from ipos on belong to the last block and keep their
// diagonal in column i - ipos + 1 until the next block shifts them left.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "frame/view.hpp"
#include "zolmath.h"

namespace {

using i64 = std::int64_t;
constexpr i64 kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

void lgbla_(double* g, const int32_t* ldg, const int32_t* nb, int32_t* ipos, int32_t* inext,
            const int32_t* nrow, const int32_t* jcol, const int32_t* nrhs, const double* tol) {
    if (*nrow < 1) return;

    const i64 ld = *ldg;
    const i64 band = *nb;
    const i64 ncols = band + *nrhs;
    const i64 nr = *nrow;
    const i64 jc = *jcol;
    i64 ip = *ipos;
    i64 ir = *inext;

    // There is no status to report a broken call with, so a block that would
    // reach outside g, or a state that the protocol cannot produce (a block
    // left of the current one, a first free row above it), is refused as a
    // whole: g, ipos and inext stay as they are.  The last row of the block
    // stays below the 32-bit limit so that inext can still be stored.
    const i64 last_row = std::max(ir, jc) + nr - 1;
    if (band < 1 || *nrhs < 0 || ncols > kInt32Max || ip < 1 || ir < ip || jc < ip ||
        last_row > ld || last_row >= kInt32Max)
        return;

    const zol::ColMajor<double> G(g, ld);

    if (jc != ip) {
        if (jc > ir) {
            // The block starts further down than the first free row: move it
            // to start at row jcol, the last row first because the two ranges
            // may overlap, and clear the rows it leaves behind.
            for (i64 i = 1; i <= nr; ++i)
                for (i64 t = 1; t <= ncols; ++t) G(jc + nr - i, t) = G(ir + nr - i, t);
            for (i64 i = ir; i < jc; ++i)
                for (i64 t = 1; t <= ncols; ++t) G(i, t) = 0.0;
            ir = jc;
        }
        // The unfinished rows of the previous block move left so that their
        // diagonal lands in column 1 (or as far as the new start allows);
        // the right-hand-side columns stay where they are.
        const i64 mu = std::min(band - 1, ir - ip - 1);
        for (i64 l = 1; l <= mu; ++l) {
            const i64 k = std::min(l, jc - ip);
            const i64 row = ip + l;
            for (i64 t = l + 1; t <= band; ++t) G(row, t - k) = G(row, t);
            for (i64 t = 1; t <= k; ++t) G(row, band + 1 - t) = 0.0;
        }
        ip = jc;
    }

    const i64 mh = ir + nr - ip;
    const i64 kh = std::min(band + 1, mh);
    const int32_t mode = 1;
    const int32_t one = 1;
    const int32_t ilast = static_cast<int32_t>(mh);
    for (i64 i = 1; i <= kh - 1; ++i) {
        const int32_t ipiv = static_cast<int32_t>(i);
        const int32_t ifirst = static_cast<int32_t>(std::max(i + 1, ir - ip + 1));
        const int32_t nvec = static_cast<int32_t>(ncols - i);
        double upiv = 0.0;
        // A refused reflection leaves its column as it is; the solve meets
        // the small diagonal later and reports it there.
        int32_t status = 0;
        lghtr_(&mode, &ipiv, &ifirst, &ilast, &G(ip, i), &one, &upiv, &G(ip, i + 1), &one, ldg,
               &nvec, tol, &status);
    }
    ir = ip + kh;
    if (kh == band + 1) {
        // The row just below a full triangle has been annihilated; exact
        // zeros keep rounding noise out of the band.
        for (i64 t = 1; t <= band; ++t) G(ir - 1, t) = 0.0;
    }

    *ipos = static_cast<int32_t>(ip);
    *inext = static_cast<int32_t>(ir);
}

void lgbls_(const int32_t* mode, const double* g, const int32_t* ldg, const int32_t* nb,
            const int32_t* ipos, const int32_t* n, const int32_t* nrhs, const double* tol, double* x,
            int32_t* ierr) {
    *ierr = 0;
    const i64 md = *mode;
    const i64 ld = *ldg;
    const i64 band = *nb;
    const i64 ip = *ipos;
    const i64 nn = *n;
    const i64 nr = *nrhs;
    const i64 ncols = band + nr;

    // A band array without band columns, a negative number of right-hand
    // sides, or fewer rows in g than variables cannot hold a factor; these
    // fail before anything is read or written.
    if ((md != 1 && md != 2 && md != 3) || band < 1 || nr < 0 || (nn >= 1 && nn > ld)) {
        *ierr = 1;
        return;
    }

    const zol::ColMajor<const double> G(g, ld);
    const zol::Interleaved<double> X(x, nr);
    const double tl = *tol;

    if (md == 2) {
        // Nothing of g is read without a right-hand side.
        if (nr < 1) return;
        for (i64 j = 1; j <= nn; ++j) {
            // Rows from ipos on keep their diagonal further right; once it
            // would lie beyond the last column of g the factor does not fit
            // the arguments.
            if (j - ip >= ncols) {
                *ierr = 1;
                return;
            }
            const i64 dcol = std::max<i64>(0, j - ip) + 1;
            for (i64 r = 1; r <= nr; ++r) {
                double s = 0.0;
                for (i64 i = std::max<i64>(1, j - band + 1); i <= j - 1; ++i)
                    s = s + X(i, r) * G(i, j - i + 1 + std::max<i64>(0, i - ip));
                const double dg = G(j, dcol);
                if (std::fabs(dg) < tl) {
                    *ierr = 1;
                    return;
                }
                X(j, r) = (X(j, r) - s) / dg;
            }
        }
        return;
    }

    if (md == 1)
        for (i64 i = 1; i <= nn; ++i)
            for (i64 r = 1; r <= nr; ++r) X(i, r) = G(i, band + r);

    if (nn - ip >= ncols) {
        *ierr = 1;
        return;
    }
    // Back substitution.  The partial sum of each right-hand side depends
    // only on rows below i, so each is formed and used in turn: no storage
    // sized by nrhs is needed, and the diagonal is tested before any of
    // row i is written, as it must be.
    for (i64 i = nn; i >= 1; --i) {
        const i64 l = std::max<i64>(0, i - ip);
        const double dg = G(i, l + 1);
        if (std::fabs(dg) < tl) {
            *ierr = 1;
            return;
        }
        const i64 ie = i < nn ? std::min(nn + 1 - i, band) : 1;
        for (i64 r = 1; r <= nr; ++r) {
            double s = 0.0;
            for (i64 t = 2; t <= ie; ++t) s = s + X(i - 1 + t, r) * G(i, t + l);
            X(i, r) = (X(i, r) - s) / dg;
        }
    }
}
