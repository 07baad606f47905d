// The rotation builders against Eigen's geometry module: axis-angle
// matrices, the rotation between two vectors, and pairs of directions
// carried by a known rotation.
#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

#include "support.hpp"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

Eigen::Matrix3d rows(const double* m) { return Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(m); }

Eigen::Vector3d random_unit(zt::Rng& rng) {
    Eigen::Vector3d v;
    do v = Eigen::Vector3d(rng.uniform(), rng.uniform(), rng.uniform());
    while (v.norm() < 0.1);
    return v.normalized();
}

// Largest element difference in units of eps.
double ratio(const Eigen::Matrix3d& got, const Eigen::Matrix3d& want) {
    return (got - want).cwiseAbs().maxCoeff() / kEps;
}

}  // namespace

TEST(RotationOracle, AxisAngleMatchesEigen) {
    zt::Rng rng(2024);
    double out[9];
    for (int trial = 0; trial < 500; ++trial) {
        const Eigen::Vector3d axis = random_unit(rng);
        const double theta = rng.uniform(-std::numbers::pi, std::numbers::pi);
        const double s = std::sin(theta), c = std::cos(theta);
        lmdre3_(axis.data(), &s, &c, out);
        EXPECT_LT(ratio(rows(out), Eigen::AngleAxisd(theta, axis).toRotationMatrix()), 20.0)
            << "axis " << axis.transpose() << " angle " << theta;
    }
}

TEST(RotationOracle, DirectionOntoDirectionMatchesEigen) {
    zt::Rng rng(77);
    const double zero[3] = {0, 0, 0};
    double out[9];
    for (int trial = 0; trial < 500; ++trial) {
        const Eigen::Vector3d a = random_unit(rng), b = random_unit(rng);
        // Towards opposite directions Eigen's construction from a + b loses
        // accuracy faster than ours; the identities of the rotation tests
        // cover that range.
        if (a.dot(b) < -0.9) continue;
        // The smallest rotation taking a onto b, as Eigen builds it.
        const Eigen::Matrix3d want = Eigen::Quaterniond::FromTwoVectors(a, b).toRotationMatrix();
        lmdvec_(a.data(), b.data(), zero, out);
        EXPECT_LT(ratio(rows(out), want), 40.0);

        // MathRotVector takes vectors of any length above its limit.
        const Eigen::Vector3d as = a * std::pow(10.0, rng.uniform(-5, 5));
        const Eigen::Vector3d bs = b * std::pow(10.0, rng.uniform(-5, 5));
        MathRotVector(as.data(), bs.data(), out);
        EXPECT_LT(ratio(rows(out), Eigen::Quaterniond::FromTwoVectors(as, bs).toRotationMatrix()), 40.0);
    }
}

TEST(RotationOracle, PairsCarriedByAKnownRotation) {
    zt::Rng rng(4242);
    double out[9];
    int32_t status = -9;
    for (int trial = 0; trial < 500; ++trial) {
        const Eigen::Matrix3d r = Eigen::AngleAxisd(rng.uniform(-std::numbers::pi, std::numbers::pi), random_unit(rng)).toRotationMatrix();
        const Eigen::Vector3d a1 = random_unit(rng) * rng.uniform(0.1, 10);
        const Eigen::Vector3d a2 = random_unit(rng) * rng.uniform(0.1, 10);
        if (a1.normalized().cross(a2.normalized()).norm() < 0.05) continue;
        const Eigen::Vector3d b1 = r * a1 * rng.uniform(0.1, 10);
        const Eigen::Vector3d b2 = r * a2 * rng.uniform(0.1, 10);
        lmdpl_(a1.data(), a2.data(), b1.data(), b2.data(), out, &status);
        EXPECT_EQ(status, 1);
        EXPECT_LT(ratio(rows(out), r), 400.0);
    }
}
