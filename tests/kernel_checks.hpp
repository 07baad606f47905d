// Helpers for the vector and matrix kernel tests: rounding-error bounds
// against long double or Eigen references, and the overflow boundary of a
// square.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace kc {

constexpr long double kU = std::numeric_limits<double>::epsilon() / 2.0L;  // unit roundoff
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -12345.625;

// |got - want| <= k * u * scale, scale being the sum of the magnitudes of
// the terms that formed the result (1 for a relative check of a unit value).
inline ::testing::AssertionResult within(double got, long double want, long double scale, double k) {
    const long double err = std::fabs(static_cast<long double>(got) - want);
    if (err <= k * kU * scale) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", want " << static_cast<double>(want) << ", error "
                                         << static_cast<double>(err / (kU * scale)) << " u, allowed " << k;
}

inline long double norm_ld(const double* a, int n) {
    long double s = 0.0L;
    for (int i = 0; i < n; ++i) s += static_cast<long double>(a[i]) * a[i];
    return std::sqrt(s);
}

// The largest double whose square is finite; the next one squares to +inf.
inline double largest_squarable() {
    double s = std::sqrt(std::numeric_limits<double>::max());
    while (std::isfinite(std::nextafter(s, kInf) * std::nextafter(s, kInf))) s = std::nextafter(s, kInf);
    while (!std::isfinite(s * s)) s = std::nextafter(s, 0.0);
    return s;
}

inline std::vector<double> sentinels(std::size_t n) { return std::vector<double>(n, kSentinel); }

}  // namespace kc
