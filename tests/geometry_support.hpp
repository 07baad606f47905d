// Helpers shared by the tests of rotations, frame transforms, rigid fits and
// control-net motion.
#pragma once

#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <array>
#include <limits>
#include <vector>

#include "support.hpp"

namespace zg {

using V3 = std::array<double, 3>;
using M3 = std::array<double, 9>;
using Vec = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = std::numeric_limits<double>::epsilon();
constexpr double kSentinel = -777.0;
constexpr double kS = -777.125;  // sentinel: a value that must stay untouched
const M3 kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const M3 kQuarterZ = {0, -1, 0, 1, 0, 0, 0, 0, 1};  // row by row

// Equal bit for bit, or both NaN.
inline bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || zt::bits(a) == zt::bits(b); }
template <class A, class B>
::testing::AssertionResult all_same(const A& got, const B& want) {
    for (std::size_t i = 0; i < want.size(); ++i)
        if (!same(got[i], want[i]))
            return ::testing::AssertionFailure() << "element " << i << ": " << got[i] << " vs " << want[i];
    return ::testing::AssertionSuccess();
}

inline M3 filled(double x) {
    M3 m;
    m.fill(x);
    return m;
}

// A Matrix3 read row by row (as the rotation routines apply it) or column
// by column.
inline Eigen::Matrix3d rows(const double* m) { return Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(m); }
inline Eigen::Matrix3d cols(const double* m) { return Eigen::Map<const Eigen::Matrix3d>(m); }

inline Eigen::Vector3d random_unit(zt::Rng& rng) {
    Eigen::Vector3d v;
    do
        for (int i = 0; i < 3; ++i) v[i] = rng.uniform();
    while (v.norm() < 0.1);
    return v.normalized();
}

inline Eigen::Matrix3d random_rotation(zt::Rng& rng) {
    const double angle = rng.uniform(-3.14, 3.14);
    return Eigen::AngleAxisd(angle, random_unit(rng)).toRotationMatrix();
}

// Largest element of |R^T R - I| and |det R - 1|.
inline double rotation_defect(const Eigen::Matrix3d& r) {
    return std::max((r.transpose() * r - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(),
                    std::abs(r.determinant() - 1.0));
}

}  // namespace zg
