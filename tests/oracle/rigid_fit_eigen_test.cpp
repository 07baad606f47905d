// The best-fit rigid motion against Eigen: umeyama without scaling on noisy
// point sets of 3 to 10^4 points, a weighted Kabsch fit by SVD, and the
// orthogonal factor against the SVD of the matrix.
#include <Eigen/SVD>

#include <vector>

#include "geometry_support.hpp"

using namespace zg;

namespace {

using Points = Eigen::Matrix<double, 3, Eigen::Dynamic>;

Points random_points(zt::Rng& rng, Eigen::Index n, double half) {
    Points p(3, n);
    for (Eigen::Index k = 0; k < 3 * n; ++k) p.data()[k] = rng.uniform(-half, half);
    return p;
}

struct Motion {
    Eigen::Matrix3d r;  // image = r p + t
    Eigen::Vector3d t;
    double maxdev;
};

Motion lmmat(const Points& src, const Points& dst, const std::vector<double>* w = nullptr) {
    const int32_t mode = 0, n = static_cast<int32_t>(src.cols()), weighted = w != nullptr, wantdev = 1;
    double rot[9], trans[3], maxdev = 0;
    int32_t ierr = -9;
    lmmat_(&mode, &n, &weighted, w != nullptr ? w->data() : nullptr, src.data(), dst.data(), rot, trans, &wantdev,
           &maxdev, &ierr);
    EXPECT_EQ(ierr, 0);
    Motion m;
    m.r = rows(rot);
    m.t = m.r * Eigen::Vector3d(trans);
    m.maxdev = maxdev;
    return m;
}

// The proper rotation closest to h (maximising tr(R^T h)), from its SVD.
Eigen::Matrix3d kabsch(const Eigen::Matrix3d& h) {
    Eigen::JacobiSVD<Eigen::Matrix3d> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Vector3d s(1, 1, (svd.matrixU() * svd.matrixV().transpose()).determinant() < 0 ? -1 : 1);
    return svd.matrixU() * s.asDiagonal() * svd.matrixV().transpose();
}

// The Newton iteration behind the rotation stops once its relative step is
// below 1e-4, so the invariants, and with them the rotation, carry errors up
// to about 1e-9 of their size; the comparisons allow a decade more.
constexpr double kFitTol = 1e-8;

}  // namespace

TEST(RigidFitOracle, AgreesWithUmeyamaOnNoisyPointSets) {
    zt::Rng rng(1234);
    for (Eigen::Index n : {3, 4, 7, 10, 100, 1000, 10000}) {
        for (int trial = 0; trial < 3; ++trial) {
            const Eigen::Matrix3d r = random_rotation(rng);
            const Eigen::Vector3d t(rng.uniform(-20, 20), rng.uniform(-20, 20), rng.uniform(-20, 20));
            Points src = random_points(rng, n, 10);
            // The last set of each size is mirrored; its cloud is flattened
            // so that the best rotation is well determined (a mirrored
            // round cloud leaves it nearly free about one axis).
            const bool mirrored = trial == 2;
            if (mirrored) src = Eigen::Vector3d(1, 0.5, 0.2).asDiagonal() * src;
            Points dst = (r * src).colwise() + t;
            dst += random_points(rng, n, 1e-3);
            if (mirrored) dst.row(0) *= -1;

            const Eigen::Matrix4d want = Eigen::umeyama(src, dst, false);
            const Motion got = lmmat(src, dst);
            const double scale = 1 + src.rowwise().mean().norm() + dst.rowwise().mean().norm();
            EXPECT_LT((got.r - want.topLeftCorner<3, 3>()).cwiseAbs().maxCoeff(), kFitTol) << n << " points";
            EXPECT_LT((got.t - want.topRightCorner<3, 1>()).norm(), kFitTol * scale) << n << " points";
            EXPECT_NEAR(got.r.determinant(), 1.0, kFitTol);

            // The largest deviation, recomputed from Eigen's motion.
            const Points fitted = (want.topLeftCorner<3, 3>() * src).colwise() + Eigen::Vector3d(want.topRightCorner<3, 1>());
            EXPECT_NEAR(got.maxdev, (fitted - dst).colwise().norm().maxCoeff(), kFitTol * scale);
        }
    }
}

TEST(RigidFitOracle, WeightedFitAgreesWithWeightedKabsch) {
    zt::Rng rng(99);
    for (int trial = 0; trial < 30; ++trial) {
        const Eigen::Index n = 5 + trial * 7;
        const Eigen::Matrix3d r = random_rotation(rng);
        const Eigen::Vector3d t(rng.uniform(-5, 5), rng.uniform(-5, 5), rng.uniform(-5, 5));
        const Points src = random_points(rng, n, 3);
        Points dst = ((r * src).colwise() + t) + random_points(rng, n, 0.05);
        std::vector<double> w(n);
        for (auto& x : w) x = rng.uniform(0, 2);
        w[0] = 0;  // a far-off point without weight
        dst(0, 0) += 50;

        // Weighted centroids and correlation, then the closest rotation.
        const Eigen::Map<const Eigen::VectorXd> wv(w.data(), n);
        const double total = wv.sum();
        const Eigen::Vector3d cs = src * wv / total, cd = dst * wv / total;
        const Eigen::Matrix3d h = (dst.colwise() - cd) * wv.asDiagonal() * (src.colwise() - cs).transpose();
        const Eigen::Matrix3d want = kabsch(h);

        const Motion got = lmmat(src, dst, &w);
        EXPECT_LT((got.r - want).cwiseAbs().maxCoeff(), kFitTol);
        EXPECT_LT((got.t - (cd - want * cs)).norm(), kFitTol * (1 + cs.norm() + cd.norm()));
    }
}

TEST(RigidFitOracle, OrthogonalFactorAgreesWithSvd) {
    zt::Rng rng(8);
    int compared = 0;
    for (int trial = 0; trial < 400; ++trial) {
        Eigen::Matrix3d a;
        for (int k = 0; k < 9; ++k) a.data()[k] = rng.uniform(-3, 3);
        // The factor is determined as well as the two smallest singular
        // values are apart from minus each other: their sum for a positive
        // determinant, their difference for a negative one (where the sign
        // goes to the smallest).
        const Eigen::Vector3d sv = a.jacobiSvd().singularValues();
        const double det = a.determinant();
        const double cond = sv(0) / (det > 0 ? sv(1) + sv(2) : sv(1) - sv(2));
        if (!(cond < 10)) continue;
        double rot[9];
        int32_t rank = -9;
        lmmatc_(a.data(), rot, &rank);
        ASSERT_EQ(rank, det * det > 1e-20 ? 3 : 2);
        const Eigen::Map<const Eigen::Matrix3d> got(rot);
        EXPECT_LT((got - kabsch(a)).cwiseAbs().maxCoeff(), kFitTol * cond) << a;
        EXPECT_NEAR(got.determinant(), 1.0, kFitTol);
        ++compared;
    }
    EXPECT_GT(compared, 200);
}
