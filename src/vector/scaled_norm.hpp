// Sum of squares with scaling, for the rare inputs whose plain sum of
// squares overflows although every element is finite (a vector longer than
// about 1e154).  The lengths and normalisations form the plain sum first and
// come here only when it is +inf, so every other input keeps the plain bits.
//
// The scale is a power of two taken from the largest magnitude, so scaling
// an element is exact (short of elements so small beside the largest that
// their squares vanish anyway), and the scaled sum is the plain sum carried
// out without an exponent limit: the length is sqrt(sum) * 2^exp, which is
// +inf only when the true length exceeds the double range.
#pragma once

#include <cmath>
#include <cstdint>

#include "frame/view.hpp"

namespace zol {

// The plain sum of squares, from 0 in index order: the lengths are its
// root whenever it is not +inf.
inline double plain_squares(const double* a, std::int64_t n) {
    double sum = 0.0;
    for (std::int64_t i = 0; i < n; ++i) sum = sum + a[i] * a[i];
    return sum;
}

struct ScaledSquares {
    double sum = 0.0;  // sum of (x * 2^-exp)^2
    int exp = 0;
    bool finite = false;  // false: some element is infinite, nothing scaled
};

// The rows-by-cols column-major block a with leading dimension ld, summed
// rows outer, columns inner (a vector is one column).  Called only after the
// plain sum came out +inf, which rules out NaN elements (a NaN square would
// have made the sum NaN).
inline ScaledSquares scaled_squares(const double* a, std::int64_t rows, std::int64_t cols,
                                    std::int64_t ld) {
    ScaledSquares s;
    const ColMajor<const double> m(a, ld);
    double largest = 0.0;
    for (std::int64_t j = 1; j <= cols; ++j)
        for (std::int64_t i = 1; i <= rows; ++i) {
            const double v = std::fabs(m(i, j));
            if (v > largest) largest = v;
        }
    if (!std::isfinite(largest) || largest == 0.0) return s;
    std::frexp(largest, &s.exp);  // largest * 2^-exp lies in [0.5, 1)
    double sum = 0.0;
    for (std::int64_t i = 1; i <= rows; ++i)
        for (std::int64_t j = 1; j <= cols; ++j) {
            const double t = std::ldexp(m(i, j), -s.exp);
            sum = sum + t * t;
        }
    s.sum = sum;
    s.finite = true;
    return s;
}

// The length sqrt(sum) * 2^exp; +inf when it exceeds the double range.
inline double scaled_length(const ScaledSquares& s) { return std::ldexp(std::sqrt(s.sum), s.exp); }

// b = a / length for the n-vector a whose scaled squares are s: each scaled
// element times the reciprocal of the scaled root, a unit vector even when
// the length itself is +inf.  Element i is read before it is written, so b
// may be a.
inline void scaled_unit(const double* a, std::int64_t n, const ScaledSquares& s, double* b) {
    const double r = 1.0 / std::sqrt(s.sum);
    for (std::int64_t i = 0; i < n; ++i) b[i] = std::ldexp(a[i], -s.exp) * r;
}

}  // namespace zol
