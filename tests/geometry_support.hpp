// Helpers shared by the vector, matrix and geometry oracle tests: constants,
// a comparison that is exact but lets NaN equal NaN, and Matrix3 views.
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
constexpr double kS = -777.125;  // sentinel: a value that must stay untouched
const M3 kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const M3 kQuarterZ = {0, -1, 0, 1, 0, 0, 0, 0, 1};  // quarter turn about z, row by row

using zt::all_same;
using zt::same;

// A Matrix3 read row by row, as the rotation routines apply it.
inline Eigen::Matrix3d rows(const double* m) {
    return Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(m);
}
inline double diff(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) { return (a - b).cwiseAbs().maxCoeff(); }

}  // namespace zg
