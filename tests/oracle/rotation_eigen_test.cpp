// The rotation builders against Eigen's geometry module: axis-angle
// matrices, the rotation between two vectors, and pairs of directions
// carried by a known rotation.
#include <cmath>

#include "geometry_support.hpp"

using namespace zg;

namespace {

// Largest element difference in units of eps.
double ratio(const Eigen::Matrix3d& got, const Eigen::Matrix3d& want) { return (got - want).cwiseAbs().maxCoeff() / kEps; }

}  // namespace

TEST(RotationOracle, AxisAngleAndTwoVectorsMatchEigen) {
    zt::Rng rng(2024);
    const double none[3] = {0, 0, 0};
    double out[9];
    for (int trial = 0; trial < 500; ++trial) {
        const Eigen::Vector3d axis = random_unit(rng);
        const double theta = rng.uniform(-3.14159, 3.14159), s = std::sin(theta), c = std::cos(theta);
        lmdre3_(axis.data(), &s, &c, out);
        EXPECT_LT(ratio(rows(out), Eigen::AngleAxisd(theta, axis).toRotationMatrix()), 20.0);

        // Towards opposite directions Eigen's construction from a + b loses
        // accuracy faster than ours, so the comparison stops at a.b = -0.9;
        // beyond, the result must still be a rotation taking a onto b.
        const Eigen::Vector3d a = random_unit(rng), b = random_unit(rng);
        const double sa = std::pow(10.0, rng.uniform(-5, 5)), sb = std::pow(10.0, rng.uniform(-5, 5));
        const Eigen::Vector3d as = sa * a, bs = sb * b;
        for (int which = 0; which < 2; ++which) {
            if (which == 0)
                lmdvec_(a.data(), b.data(), none, out);
            else
                MathRotVector(as.data(), bs.data(), out);
            if (a.dot(b) > -0.9) {
                EXPECT_LT(ratio(rows(out), Eigen::Quaterniond::FromTwoVectors(a, b).toRotationMatrix()), 40.0);
            } else if (a.dot(b) > -0.999) {
                EXPECT_LT(rotation_defect(rows(out)), 20 * kEps);
                EXPECT_LT((rows(out) * a - b).norm(), 20 * kEps);
            }
        }
    }
}

TEST(RotationOracle, PairsCarriedByAKnownRotation) {
    zt::Rng rng(4242);
    double out[9];
    int32_t status = -9;
    for (int trial = 0; trial < 500; ++trial) {
        const Eigen::Matrix3d r = random_rotation(rng);
        const Eigen::Vector3d a1 = random_unit(rng), a2 = random_unit(rng);
        if (a1.cross(a2).norm() < 0.05) continue;
        const Eigen::Vector3d sa1 = a1 * rng.uniform(0.1, 10), sa2 = a2 * rng.uniform(0.1, 10);
        const Eigen::Vector3d b1 = r * a1 * rng.uniform(0.1, 10), b2 = r * a2 * rng.uniform(0.1, 10);
        lmdpl_(sa1.data(), sa2.data(), b1.data(), b2.data(), out, &status);
        EXPECT_EQ(status, 1);
        EXPECT_LT(ratio(rows(out), r), 400.0);
    }
}
