// Rotations and the best-fit rigid motion against Eigen's geometry module,
// over seeded random problems: axis-angle matrices, the rotation between two
// directions, pairs carried by a known rotation, and the (weighted) fit
// against umeyama, integer weights standing for repeated points.
#include "geometry_support.hpp"

namespace {

using namespace zg;
using Points = Eigen::Matrix3Xd;

Eigen::Vector3d random_unit(zt::Rng& rng) {
    const Eigen::Vector3d v(rng.uniform(), rng.uniform(), rng.uniform());
    return v.norm() < 0.1 ? random_unit(rng) : v.normalized();
}
Eigen::Matrix3d random_rotation(zt::Rng& rng) {
    return Eigen::AngleAxisd(rng.uniform(-3.14, 3.14), random_unit(rng)).toRotationMatrix();
}

TEST(GeometryOracle, RotationBuilders) {
    zt::Rng rng(2024);
    double out[9];
    int32_t status = -9;
    for (int t = 0; t < 500; ++t) {
        const Eigen::Vector3d axis = random_unit(rng), a = random_unit(rng), b = random_unit(rng);
        const double angle = rng.uniform(-3.14159, 3.14159), s = std::sin(angle), c = std::cos(angle);
        lmdre3_(axis.data(), &s, &c, out);
        EXPECT_LT(diff(rows(out), Eigen::AngleAxisd(angle, axis).toRotationMatrix()), 20 * kEps);

        // Towards opposite directions Eigen's construction from a + b loses
        // accuracy faster, so the comparison stops at a.b = -0.9.
        const Eigen::Matrix3d onto = Eigen::Quaterniond::FromTwoVectors(a, b).toRotationMatrix();
        const Eigen::Vector3d long_a = std::pow(10.0, rng.uniform(-5, 5)) * a;
        MathRotVector(long_a.data(), b.data(), out);
        EXPECT_TRUE(a.dot(b) < -0.9 || diff(rows(out), onto) < 40 * kEps) << t;

        // A pair and its image under a known rotation, lengths changed (the
        // turns lose accuracy like 1/sine near half-turns).
        const Eigen::Matrix3d r = random_rotation(rng);
        const Eigen::Vector3d b1 = r * a * rng.uniform(0.1, 10), b2 = r * b * rng.uniform(0.1, 10);
        lmdpl_(a.data(), b.data(), b1.data(), b2.data(), out, &status);
        EXPECT_TRUE(a.cross(b).norm() < 0.05 || (status == 1 && diff(rows(out), r) < 1e-10)) << t;
    }
}

// The Newton iteration behind the rotation stops once its relative step is
// below 1e-4, so the rotation carries errors up to about 1e-9; the
// comparisons allow a decade more.
TEST(GeometryOracle, RigidFitAgainstUmeyama) {
    zt::Rng rng(1234);
    const auto noise = [&](int n, double h) {
        return Points(Points::NullaryExpr(3, n, [&] { return rng.uniform(-h, h); }));
    };
    for (const int n : {3, 5, 10, 100, 1000})
        for (int trial = 0; trial < 3; ++trial) {
            // Trial 1 weights the points; trial 2 mirrors the targets of a
            // flattened cloud (so that the best rotation is well determined).
            Points src = noise(n, 10);
            if (trial == 2) src = Eigen::Vector3d(1, 0.5, 0.2).asDiagonal() * src;
            Points dst = ((random_rotation(rng) * src).colwise() + Eigen::Vector3d(3, -20, 7)) + noise(n, 1e-3);
            if (trial == 2) dst.row(0) *= -1;
            std::vector<double> w(n, 1.0);
            std::vector<Eigen::Index> repeated;
            for (int k = 0; k < n; ++k) {
                if (trial == 1) w[k] = std::floor(rng.uniform(n > 5 ? 0 : 1, 4));
                repeated.insert(repeated.end(), static_cast<std::size_t>(w[k]), k);
            }
            const Eigen::Matrix4d want = Eigen::umeyama(src(Eigen::all, repeated), dst(Eigen::all, repeated), false);
            const int32_t mode = 0, count = n, weighted = trial == 1, wantdev = 1;
            double rot[9], trans[3], maxdev = kS;
            int32_t ierr = -9;
            lmmat_(&mode, &count, &weighted, w.data(), src.data(), dst.data(), rot, trans, &wantdev, &maxdev, &ierr);
            const Eigen::Matrix3d r = rows(rot), wr = want.topLeftCorner<3, 3>();
            const Eigen::Vector3d t = r * Eigen::Vector3d(trans), wt = want.topRightCorner<3, 1>();
            const double dev = ((wr * src).colwise() + wt - dst).colwise().norm().maxCoeff();
            EXPECT_TRUE(ierr == 0 && diff(r, wr) < 1e-8 && (t - wt).norm() < 3e-7) << n << " points, trial " << trial;
            EXPECT_NEAR(maxdev, dev, 3e-7) << n << " points, trial " << trial;
        }
}

}  // namespace
