// Triangular systems by substitution.  Forward solves subtract in increasing
// column order and back solves in decreasing order, each with one running
// value per component.
#include <cmath>
#include <cstdint>

#include "frame/view.hpp"
#include "zolmath.h"

namespace {

// Right-hand sides solved together.  Interleaved storage keeps component i
// of neighbouring right-hand sides side by side, so a tile of them is
// substituted at once, each keeping its own running value and its own order
// of subtractions.
constexpr std::int64_t kTile = 16;

template <class F>
void for_each_tile(std::int64_t k, F&& solve) {
    for (std::int64_t r0 = 1; r0 <= k; r0 += kTile) solve(r0, k - r0 + 1 < kTile ? k - r0 + 1 : kTile);
}

}  // namespace

extern "C" void lgdre_(const int32_t* mode, const int32_t* nrhs, const int32_t* n, const double* a,
                       double* b, int32_t* ierr) {
    *ierr = 0;
    const std::int64_t nn = *n;
    const std::int64_t k = *nrhs;
    if (nn < 1) {
        *ierr = 3;
        return;
    }
    if (k < 1) {
        *ierr = 4;
        return;
    }
    const zol::ColMajor<const double> aa(a, nn);
    // The whole diagonal is checked before anything is solved, so a failed
    // call leaves every right-hand side as it was.
    for (std::int64_t i = 1; i <= nn; ++i) {
        if (std::fabs(aa(i, i)) < 1e-8) {
            *ierr = 1;
            return;
        }
    }
    const zol::Interleaved<double> x(b, k);
    if (*mode == 1) {
        for (std::int64_t r = 1; r <= k; ++r) x(1, r) = x(1, r) / aa(1, 1);
        if (nn == 1) return;
        for_each_tile(k, [&](std::int64_t r0, std::int64_t nt) {
            double t[kTile];
            for (std::int64_t i = 2; i <= nn; ++i) {
                const double* const xi = &x(i, r0);
                for (std::int64_t q = 0; q < nt; ++q) t[q] = xi[q];
                for (std::int64_t l = 1; l <= i - 1; ++l) {
                    const double ail = aa(i, l);
                    const double* const xl = &x(l, r0);
                    for (std::int64_t q = 0; q < nt; ++q) t[q] = t[q] - ail * xl[q];
                }
                double* const out = &x(i, r0);
                for (std::int64_t q = 0; q < nt; ++q) out[q] = t[q] / aa(i, i);
            }
        });
    } else if (*mode == 2) {
        for (std::int64_t r = 1; r <= k; ++r) x(nn, r) = x(nn, r) / aa(nn, nn);
        if (nn == 1) return;
        for_each_tile(k, [&](std::int64_t r0, std::int64_t nt) {
            double t[kTile];
            for (std::int64_t i = nn - 1; i >= 1; --i) {
                const double* const xi = &x(i, r0);
                for (std::int64_t q = 0; q < nt; ++q) t[q] = xi[q];
                for (std::int64_t l = nn; l >= i + 1; --l) {
                    const double ail = aa(i, l);
                    const double* const xl = &x(l, r0);
                    for (std::int64_t q = 0; q < nt; ++q) t[q] = t[q] - ail * xl[q];
                }
                double* const out = &x(i, r0);
                for (std::int64_t q = 0; q < nt; ++q) out[q] = t[q] / aa(i, i);
            }
        });
    } else {
        *ierr = 2;
    }
}

extern "C" void lgdre1_(const int32_t* mode, const int32_t* lda, const int32_t* ncol, const double* a,
                        double* b) {
    const std::int64_t ld = *lda;
    const std::int64_t nc = *ncol;
    const std::int64_t nn = ld < nc ? ld : nc;
    if (nn <= 0) return;
    const zol::ColMajor<const double> aa(a, ld);
    const zol::Strided<double> x(b, 1);
    // Values outside 1..4 fall back to the nearest plain forward solve:
    // below 2 the lower triangle, above 2 the transposed upper triangle.
    const std::int32_t md = *mode;
    if (md == 2) {
        x(nn) = x(nn) / aa(nn, nn);
        for (std::int64_t i = nn - 1; i >= 1; --i) {
            double t = x(i);
            for (std::int64_t l = nn; l >= i + 1; --l) t = t - aa(i, l) * x(l);
            x(i) = t / aa(i, i);
        }
    } else if (md == 4) {
        x(nn) = x(nn) / aa(nn, nn);
        for (std::int64_t i = nn - 1; i >= 1; --i) {
            double t = x(i);
            for (std::int64_t l = nn; l >= i + 1; --l) t = t - aa(l, i) * x(l);
            x(i) = t / aa(i, i);
        }
    } else if (md < 2) {
        x(1) = x(1) / aa(1, 1);
        for (std::int64_t i = 2; i <= nn; ++i) {
            double t = x(i);
            for (std::int64_t l = 1; l <= i - 1; ++l) t = t - aa(i, l) * x(l);
            x(i) = t / aa(i, i);
        }
    } else {
        x(1) = x(1) / aa(1, 1);
        for (std::int64_t i = 2; i <= nn; ++i) {
            double t = x(i);
            for (std::int64_t l = 1; l <= i - 1; ++l) t = t - aa(l, i) * x(l);
            x(i) = t / aa(i, i);
        }
    }
}
