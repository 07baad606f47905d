// Triangular systems by substitution.  Forward solves subtract in increasing
// column order and back solves in decreasing order, each with one running
// value per component.
#include <cmath>
#include <cstdint>

#include "frame/kernels.hpp"
#include "frame/unroll.hpp"
#include "frame/view.hpp"
#include "linear/wide.hpp"
#include "zolmath.h"

namespace {

// Right-hand sides solved together.  Interleaved storage keeps component i
// of neighbouring right-hand sides side by side, so a tile of them is
// substituted at once, each keeping its own running value and its own order
// of subtractions.
constexpr std::int64_t kTile = 16;

// Substitution for the NT right-hand sides from r0 on, rows in the order
// `order` gives (i = order(s), s = 1 .. n - 1), each subtracting the
// components l = others(i, s) already solved.  NT is fixed (16, 8, 4 or 2),
// so that the running values stay in registers; 0 stands for a last tile of
// one.
template <int NT, bool Forward>
void solve_tile(const zol::ColMajor<const double>& a, const zol::Interleaved<double>& x, std::int64_t n,
                std::int64_t r0, std::int64_t nt) {
    constexpr int W = NT > 0 ? NT : kTile;
    const std::int64_t width = NT > 0 ? NT : nt;
    // A full tile keeps its running values in pairs, operated on element by
    // element.
    zol::Pair tp[W / 2];
    double t[W];
    for (std::int64_t s = 2; s <= n; ++s) {
        const std::int64_t i = Forward ? s : n + 1 - s;
        const double* const xi = &x(i, r0);
        if (NT > 0)
            zol::each<W / 2>([&](auto q) { tp[q] = zol::load_pair(xi + 2 * q); });
        else
            for (std::int64_t q = 0; q < width; ++q) t[q] = xi[q];
        for (std::int64_t u = 1; u <= s - 1; ++u) {
            // Forward: l = 1 .. i - 1; back: l = n down to i + 1.
            const std::int64_t l = Forward ? u : n + 1 - u;
            const double ail = a(i, l);
            const double* const xl = &x(l, r0);
            if (NT > 0)
                zol::each<W / 2>([&](auto q) { tp[q] = tp[q] - ail * zol::load_pair(xl + 2 * q); });
            else
                for (std::int64_t q = 0; q < width; ++q) t[q] = t[q] - ail * xl[q];
        }
        double* const out = &x(i, r0);
        if (NT > 0)
            zol::each<W / 2>([&](auto q) { zol::store_pair(out + 2 * q, tp[q] / a(i, i)); });
        else
            for (std::int64_t q = 0; q < width; ++q) out[q] = t[q] / a(i, i);
    }
}

template <bool Forward>
void solve_tiles(const zol::ColMajor<const double>& a, const zol::Interleaved<double>& x, std::int64_t n,
                 std::int64_t k) {
    const std::int64_t first = Forward ? 1 : n;
    for (std::int64_t r = 1; r <= k; ++r) x(first, r) = x(first, r) / a(first, first);
    const bool wide = n >= 2 && zol::wide_kernels();
    // Full tiles, then the rest in tiles of 8, 4 and 2 and a last one alone.
    for (std::int64_t r0 = 1; r0 <= k;) {
        const std::int64_t left = k - r0 + 1;
        const std::int64_t nt = left >= kTile ? kTile : left >= 8 ? 8 : left >= 4 ? 4 : left >= 2 ? 2 : 1;
        if (nt == kTile && wide)
            zol::triangular_tile_wide(Forward, a.p, a.ld, x.p, k, r0 - 1);
        else if (nt == kTile)
            solve_tile<kTile, Forward>(a, x, n, r0, nt);
        else if (nt == 8)
            solve_tile<8, Forward>(a, x, n, r0, nt);
        else if (nt == 4)
            solve_tile<4, Forward>(a, x, n, r0, nt);
        else if (nt == 2)
            solve_tile<2, Forward>(a, x, n, r0, nt);
        else
            solve_tile<0, Forward>(a, x, n, r0, nt);
        r0 += nt;
    }
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
    if (*mode == 1)
        solve_tiles<true>(aa, x, nn, k);
    else if (*mode == 2)
        solve_tiles<false>(aa, x, nn, k);
    else
        *ierr = 2;
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
