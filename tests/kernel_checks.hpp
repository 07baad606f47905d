// Helpers for the vector and matrix kernel tests: error bounds in units of
// the rounding error, long double references and the overflow boundary of
// a square.
#pragma once

#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace kc {

// Unit roundoff of double.
constexpr long double kU = std::numeric_limits<double>::epsilon() / 2.0L;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSentinel = -12345.625;

// |got - exact| <= k * u * scale: a rounding-error bound for a result whose
// exact value is exact and whose terms have magnitudes adding up to scale.
inline ::testing::AssertionResult within(double got, long double exact, long double scale, double k) {
    const long double err = std::fabs(static_cast<long double>(got) - exact);
    const long double bound = k * kU * scale;
    if (err <= bound) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", exact " << static_cast<double>(exact)
                                         << ", error " << static_cast<double>(err / (kU * scale))
                                         << " u (allowed " << k << ")";
}

// Relative version: |got - exact| <= k * u * |exact|.
inline ::testing::AssertionResult near_rel(double got, long double exact, double k) {
    return within(got, exact, std::fabs(exact), k);
}

inline long double norm_ld(const double* a, int n) {
    long double s = 0.0L;
    for (int i = 0; i < n; ++i) s += static_cast<long double>(a[i]) * a[i];
    return std::sqrt(s);
}

inline long double dot_ld(const double* a, const double* b, int n) {
    long double s = 0.0L;
    for (int i = 0; i < n; ++i) s += static_cast<long double>(a[i]) * b[i];
    return s;
}

// The largest double whose square is still finite; the next one up squares
// to +inf.
inline double largest_squarable() {
    double s = std::sqrt(std::numeric_limits<double>::max());
    while (std::isfinite(std::nextafter(s, kInf) * std::nextafter(s, kInf))) s = std::nextafter(s, kInf);
    while (!std::isfinite(s * s)) s = std::nextafter(s, 0.0);
    return s;
}

inline std::vector<double> sentinels(std::size_t n) { return std::vector<double>(n, kSentinel); }

}  // namespace kc
