// Best-fit rigid motion and the orthogonal factor: the rank classification,
// the worked cases, what is and is not written, the fallback to a pure
// translation (also when the inversion's memory is refused), and concurrent
// calls.
#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <array>
#include <limits>
#include <thread>
#include <vector>

#include "support.hpp"

namespace {

using M3 = std::array<double, 9>;
constexpr double kSentinel = -777.0;

M3 filled(double x) {
    M3 m;
    m.fill(x);
    return m;
}

M3 diag(double a, double b, double c) { return {a, 0, 0, 0, b, 0, 0, 0, c}; }

// Column-major reading of lmmatc_'s matrices; row-major reading of lmmat_'s.
Eigen::Matrix3d cols(const M3& m) { return Eigen::Map<const Eigen::Matrix3d>(m.data()); }
Eigen::Matrix3d rows(const M3& m) { return Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(m.data()); }

Eigen::Matrix3d random_rotation(zt::Rng& rng) {
    Eigen::Vector3d axis;
    do axis = Eigen::Vector3d(rng.uniform(), rng.uniform(), rng.uniform());
    while (axis.norm() < 0.1);
    return Eigen::AngleAxisd(rng.uniform(-3.14, 3.14), axis.normalized()).toRotationMatrix();
}

struct Fit {
    M3 rot = filled(kSentinel);
    double trans[3] = {kSentinel, kSentinel, kSentinel};
    double maxdev = kSentinel;
    int32_t ierr = -9;
};

Fit fit(int32_t mode, const std::vector<double>& src, const std::vector<double>& dst, const double* weights = nullptr,
        int32_t wantdev = 1) {
    Fit f;
    const int32_t n = static_cast<int32_t>(src.size() / 3);
    const int32_t weighted = weights != nullptr;
    lmmat_(&mode, &n, &weighted, weights, src.data(), dst.data(), f.rot.data(), f.trans, &wantdev, &f.maxdev,
           &f.ierr);
    return f;
}

void put(std::vector<double>& list, std::size_t at, const Eigen::Vector3d& v) {
    for (int c = 0; c < 3; ++c) list[at + c] = v[c];
}

Eigen::Vector3d centroid(const std::vector<double>& p) {
    Eigen::Vector3d c = Eigen::Vector3d::Zero();
    for (std::size_t k = 0; k < p.size(); k += 3) c += Eigen::Vector3d(p[k], p[k + 1], p[k + 2]);
    return c / static_cast<double>(p.size() / 3);
}

class RigidFit : public ::testing::Test {
protected:
    void SetUp() override { memsvc_reset(); }
    void TearDown() override {
        memsvc_reset();
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
};

}  // namespace

TEST_F(RigidFit, OrthogonalFactorRankClassification) {
    struct Case {
        M3 a;
        int32_t rank;
        bool written;
    };
    const Case cases[] = {
        {filled(0.0), 0, false},
        {{1, 2, 3, 2, 4, 6, -1, -2, -3}, 1, false},  // columns all multiples of one
        {diag(1e-8, 1e-8, 1e-8), 1, false},          // second invariant below 1e-20
        {diag(1e-5, 1e-5, 1e-5), 0, false},          // the inversion refuses elements this small
        {diag(1, 1, 0), 2, true},
        {diag(2, 1, -0.5), 3, true},  // negative determinant, still the identity
    };
    for (const Case& c : cases) {
        M3 rot = filled(kSentinel);
        int32_t rank = -9;
        lmmatc_(c.a.data(), rot.data(), &rank);
        EXPECT_EQ(rank, c.rank) << "a[0] = " << c.a[0];
        if (c.written) {
            // Exact up to the precision of the Newton iteration.
            for (int k = 0; k < 9; ++k) EXPECT_NEAR(rot[k], k % 4 == 0 ? 1.0 : 0.0, 1e-8);
        } else {
            EXPECT_EQ(rot, filled(kSentinel));
        }
    }

    // Non-finite input: no convergence, rank 0, nothing written.
    M3 a = diag(1, 2, 3);
    a[4] = std::numeric_limits<double>::quiet_NaN();
    M3 rot = filled(kSentinel);
    int32_t rank = -9;
    lmmatc_(a.data(), rot.data(), &rank);
    EXPECT_EQ(rank, 0);
    EXPECT_EQ(rot, filled(kSentinel));
}

TEST_F(RigidFit, OrthogonalFactorOfRotatedSymmetricMatrices) {
    // A = R S with S symmetric positive definite has R as its orthogonal
    // factor; with S of rank 2 the missing direction is still supplied.
    zt::Rng rng(41);
    for (int trial = 0; trial < 100; ++trial) {
        const Eigen::Matrix3d r = random_rotation(rng), v = random_rotation(rng);
        const bool rank2 = trial % 4 == 0;
        const Eigen::Vector3d lambda(rng.uniform(0.5, 3), rng.uniform(0.5, 3), rank2 ? 0.0 : rng.uniform(0.5, 3));
        const Eigen::Matrix3d a = r * v * lambda.asDiagonal() * v.transpose();
        M3 in, rot;
        Eigen::Map<Eigen::Matrix3d>(in.data()) = a;
        int32_t rank = -9;
        lmmatc_(in.data(), rot.data(), &rank);
        EXPECT_EQ(rank, rank2 ? 2 : 3);
        EXPECT_LT((cols(rot) - r).cwiseAbs().maxCoeff(), 1e-8);
    }
}

TEST_F(RigidFit, WorkedRotationAndShiftIsRecoveredExactly) {
    // Six points, their images under 0.7 rad about (0.48, -0.6, 0.64) and
    // then the shift (1, -2, 0.5).
    const Eigen::Vector3d axis(0.48, -0.6, 0.64), shift(1, -2, 0.5);
    const Eigen::Matrix3d r = Eigen::AngleAxisd(0.7, axis).toRotationMatrix();
    const std::vector<double> src = {1, 0, 0, 0, 2, 0, 0, 0, 3, 1, 1, 1, -2, 0.5, 1, 0.3, -1, 2};
    std::vector<double> dst(src.size());
    for (std::size_t k = 0; k < src.size(); k += 3)
        put(dst, k, r * Eigen::Vector3d(&src[k]) + shift);

    const Fit f = fit(0, src, dst);
    EXPECT_EQ(f.ierr, 0);
    EXPECT_LT((rows(f.rot) - r).cwiseAbs().maxCoeff(), 1e-9);
    // Translate first, then rotate: r (p + trans) = r p + shift.
    EXPECT_LT((r * Eigen::Vector3d(f.trans) - shift).norm(), 1e-9);
    EXPECT_EQ(f.maxdev, 0.0);

    // Translation only: the identity and the difference of the centroids,
    // also with too few points for a rotation.
    const Eigen::Vector3d shift_only = centroid(dst) - centroid(src);
    const std::vector<double> src2(src.begin(), src.begin() + 6), dst2(dst.begin(), dst.begin() + 6);
    for (const Fit& g : {fit(1, src, dst), fit(0, src2, dst2)}) {
        EXPECT_EQ(g.ierr, 0);
        EXPECT_EQ(g.rot, (M3{1, 0, 0, 0, 1, 0, 0, 0, 1}));
        EXPECT_GT(g.maxdev, 0.0);
    }
    const Fit g = fit(1, src, dst);
    EXPECT_LT((Eigen::Vector3d(g.trans) - shift_only).norm(), 1e-14);
    const Fit h = fit(0, src2, dst2);
    EXPECT_LT((Eigen::Vector3d(h.trans) - (centroid(dst2) - centroid(src2))).norm(), 1e-14);
}

TEST_F(RigidFit, MirroredTargetsGiveAProperRotation) {
    zt::Rng rng(5);
    const std::vector<double> src = rng.vec(3 * 12, -4, 4);
    std::vector<double> dst = src;
    for (std::size_t k = 0; k < dst.size(); k += 3) dst[k] = -dst[k];
    const Fit f = fit(0, src, dst);
    EXPECT_EQ(f.ierr, 0);
    const Eigen::Matrix3d r = rows(f.rot);
    EXPECT_NEAR(r.determinant(), 1.0, 1e-8);
    EXPECT_LT((r.transpose() * r - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 1e-8);
    EXPECT_GT(f.maxdev, 0.1);
}

TEST_F(RigidFit, WhatIsWrittenOnEmptyAndWithoutDeviation) {
    const std::vector<double> none;
    const Fit f = fit(0, none, none);
    EXPECT_EQ(f.ierr, 1);
    EXPECT_EQ(f.maxdev, -1.0);
    EXPECT_EQ(f.rot, (M3{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    for (double t : f.trans) EXPECT_EQ(t, 0.0);

    int32_t n = -3, mode = 0, weighted = 0, wantdev = 1, ierr = 0;
    double rot[9], trans[3], maxdev = kSentinel;
    lmmat_(&mode, &n, &weighted, nullptr, nullptr, nullptr, rot, trans, &wantdev, &maxdev, &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(maxdev, -1.0);

    zt::Rng rng(2);
    const std::vector<double> src = rng.vec(15), dst = rng.vec(15);
    const Fit g = fit(0, src, dst, nullptr, 0);
    EXPECT_EQ(g.ierr, 0);
    EXPECT_EQ(g.maxdev, kSentinel);
}

TEST_F(RigidFit, ZeroWeightsIgnorePointsAndExactDataFitsExactly) {
    zt::Rng rng(13);
    const Eigen::Matrix3d r = random_rotation(rng);
    const Eigen::Vector3d shift(0.25, 3, -1);
    std::vector<double> src = rng.vec(3 * 10, -5, 5), dst(src.size()), w(10);
    for (int k = 0; k < 10; ++k) {
        put(dst, 3 * k, r * Eigen::Vector3d(&src[3 * k]) + shift);
        w[k] = rng.uniform(0.5, 2);
    }
    // Two points thrown far off, with no weight.
    dst[0] += 50;
    dst[13] -= 30;
    w[0] = 0;
    w[4] = 0;
    const Fit f = fit(0, src, dst, w.data());
    EXPECT_EQ(f.ierr, 0);
    EXPECT_LT((rows(f.rot) - r).cwiseAbs().maxCoeff(), 1e-9);
    EXPECT_LT((r * Eigen::Vector3d(f.trans) - shift).norm(), 1e-8);
    // The deviation still covers every point.
    EXPECT_NEAR(f.maxdev, 50.0, 1e-9);
}

TEST_F(RigidFit, RefusedInversionMemoryFallsBackToTranslation) {
    zt::Rng rng(3);
    const Eigen::Matrix3d r = random_rotation(rng);
    std::vector<double> src = rng.vec(3 * 8, -5, 5), dst(src.size());
    for (std::size_t k = 0; k < src.size(); k += 3)
        put(dst, k, r * Eigen::Vector3d(&src[k]));
    for (int line : {102, 104, 118}) {
        memsvc_reset();
        memsvc_fail_site("lminv", line);
        M3 rot = filled(kSentinel);
        int32_t rank = -9;
        M3 a = {2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5};
        lmmatc_(a.data(), rot.data(), &rank);
        EXPECT_EQ(rank, 0);
        EXPECT_EQ(rot, filled(kSentinel));

        const Fit f = fit(0, src, dst);
        EXPECT_EQ(f.ierr, 0);
        EXPECT_EQ(f.rot, (M3{1, 0, 0, 0, 1, 0, 0, 0, 1}));
        EXPECT_LT((Eigen::Vector3d(f.trans) - (centroid(dst) - centroid(src))).norm(), 1e-14);
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
}

TEST_F(RigidFit, ConcurrentFitsMatchSerialOnes) {
    zt::Rng rng(71);
    constexpr int kProblems = 16;
    std::vector<std::vector<double>> src(kProblems), dst(kProblems);
    std::vector<Fit> serial(kProblems);
    for (int i = 0; i < kProblems; ++i) {
        src[i] = rng.vec(3 * 20, -5, 5);
        dst[i] = rng.vec(3 * 20, -5, 5);
        serial[i] = fit(0, src[i], dst[i]);
    }
    auto worker = [&](int* bad) {
        for (int rep = 0; rep < 50; ++rep)
            for (int i = 0; i < kProblems; ++i) {
                const Fit f = fit(0, src[i], dst[i]);
                if (f.rot != serial[i].rot || f.maxdev != serial[i].maxdev || f.trans[0] != serial[i].trans[0] ||
                    f.trans[1] != serial[i].trans[1] || f.trans[2] != serial[i].trans[2])
                    ++*bad;
            }
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(worker, &bad1), t2(worker, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0);
}
