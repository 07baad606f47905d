// Kernels on vectors of run-time length: element-wise arithmetic, diagonal
// scaling, scalar product, norm, normalisation and pairwise interchanges.
// Every sum runs from 0.0 in index order; counts below 1 do no work.
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "vector/scaled_norm.hpp"
#include "zolmath.h"

namespace {

constexpr double kShortest = 1e-8;     // norms below this are degenerate
constexpr double kTinyDivisor = 1e-20;  // smaller scale factors are not divided by

// A plain sum of squares that overflowed although the vector may be finite:
// the scaled squares, or an unusable result when an element is infinite.
zol::ScaledSquares rescue(const double* a, std::int64_t n, double sum) {
    if (sum != std::numeric_limits<double>::infinity()) return {};
    return zol::scaled_squares(a, n, 1, n);
}

}  // namespace

void lvsumn_(const int32_t* n, const double* a, const double* b, double* c) {
    const std::int64_t len = *n;
    for (std::int64_t i = 0; i < len; ++i) c[i] = a[i] + b[i];
}

void lvdifn_(const int32_t* n, const double* a, const double* b, double* c) {
    const std::int64_t len = *n;
    for (std::int64_t i = 0; i < len; ++i) c[i] = a[i] - b[i];
}

void lvmuln_(const int32_t* n, const double* a, const double* s, double* c) {
    const std::int64_t len = *n;
    if (len < 1) return;
    const double f = *s;
    for (std::int64_t i = 0; i < len; ++i) c[i] = a[i] * f;
}

void lvmldn_(const int32_t* mode, const int32_t* n, const double* x, const double* y, double* z) {
    const std::int64_t len = *n;
    if (*mode == -1) {
        // A scale factor that is zero, tiny or NaN leaves its element alone
        // rather than producing an infinity.
        for (std::int64_t i = 0; i < len; ++i)
            if (std::fabs(x[i]) > kTinyDivisor) z[i] = y[i] / x[i];
    } else {
        for (std::int64_t i = 0; i < len; ++i) z[i] = x[i] * y[i];
    }
}

double lvscln_(const int32_t* n, const double* a, const double* b) {
    const std::int64_t len = *n;
    double sum = 0.0;
    for (std::int64_t i = 0; i < len; ++i) sum = sum + a[i] * b[i];
    return sum;
}

double lvlgtn_(const int32_t* n, const double* a) {
    const std::int64_t len = *n;
    const double sum = zol::plain_squares(a, len);
    const zol::ScaledSquares s = rescue(a, len, sum);
    if (s.finite) return zol::scaled_length(s);
    return std::sqrt(sum);
}

void lvnrmn_(const int32_t* n, const double* a, double* b, int32_t* ierr) {
    const std::int64_t len = *n;
    const double sum = zol::plain_squares(a, len);
    const zol::ScaledSquares s = rescue(a, len, sum);
    double unit_sum = 0.0;  // sum of squares of the normalised elements
    if (s.finite) {
        zol::scaled_unit(a, len, s, b);
        unit_sum = zol::plain_squares(b, len);
    } else {
        const double norm = std::sqrt(sum);
        if (norm < kShortest) {
            for (std::int64_t i = 0; i < len; ++i) b[i] = 0.0;
            *ierr = 1;
            return;
        }
        const double r = 1.0 / norm;
        for (std::int64_t i = 0; i < len; ++i) {
            const double v = a[i] * r;
            b[i] = v;
            unit_sum = unit_sum + v * v;
        }
    }
    // Rounding in the reciprocal can leave a long vector measurably off unit
    // length; a second pass with the measured length repairs it.
    const double l2 = std::sqrt(unit_sum);
    if (std::fabs(1.0 - l2) > kShortest) {
        const double q = 1.0 / l2;
        for (std::int64_t i = 0; i < len; ++i) b[i] = q * b[i];
    }
    *ierr = 0;
}

void lvprmn_(const int32_t* mode, const int32_t* n, const double* a, double* b, const int32_t* p) {
    const std::int64_t len = *n;
    if (len < 1) return;
    if (b != a)
        for (std::int64_t i = 0; i < len; ++i) b[i] = a[i];
    // Entries outside 1..n are skipped, so a partly filled list is harmless.
    const auto exchange = [&](std::int64_t k) {
        const std::int64_t j = p[k - 1];
        if (j != k && j >= 1 && j <= len) std::swap(b[k - 1], b[j - 1]);
    };
    if (*mode >= 0) {
        for (std::int64_t k = 1; k <= len; ++k) exchange(k);
    } else {
        for (std::int64_t k = len; k >= 1; --k) exchange(k);
    }
}
