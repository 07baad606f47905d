// Best-fit rigid motion and the orthogonal factor: the rank classification,
// the worked cases, what is and is not written, the fallback to a pure
// translation (also when the inversion's memory is refused), and concurrent
// calls of the fit and of the pair rotation.
#include <thread>
#include <tuple>
#include <vector>

#include "geometry_support.hpp"

using namespace zg;

namespace {

using Pts = std::vector<double>;

struct Fit {
    M3 rot = filled(kSentinel);
    Eigen::Vector3d trans = Eigen::Vector3d::Constant(kSentinel);
    double maxdev = kSentinel;
    int32_t ierr = -9;
    bool operator==(const Fit&) const = default;
};

Fit fit(int32_t mode, const Pts& src, const Pts& dst, const double* weights = nullptr, int32_t wantdev = 1) {
    Fit f;
    const int32_t n = static_cast<int32_t>(src.size() / 3), weighted = weights != nullptr;
    lmmat_(&mode, &n, &weighted, weights, src.data(), dst.data(), f.rot.data(), f.trans.data(), &wantdev, &f.maxdev,
           &f.ierr);
    return f;
}

Eigen::Vector3d centroid(const Pts& p) {
    return Eigen::Map<const Eigen::Matrix<double, 3, Eigen::Dynamic>>(p.data(), 3, p.size() / 3).rowwise().mean();
}

// dst = r src + shift.
Pts moved(const Pts& src, const Eigen::Matrix3d& r, const Eigen::Vector3d& shift) {
    Pts dst(src.size());
    for (std::size_t k = 0; k < src.size(); k += 3) {
        const Eigen::Vector3d q = r * Eigen::Vector3d(&src[k]) + shift;
        for (int c = 0; c < 3; ++c) dst[k + c] = q[c];
    }
    return dst;
}

class RigidFit : public zt::ServiceTest {};

}  // namespace

TEST_F(RigidFit, OrthogonalFactorRankClassification) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        M3 a;
        int32_t rank;
    } cases[] = {
        {filled(0.0), 0},
        {{1, 2, 3, 2, 4, 6, -1, -2, -3}, 1},  // columns all multiples of one
        {{1e-8, 0, 0, 0, 1e-8, 0, 0, 0, 1e-8}, 1},
        {{1e-5, 0, 0, 0, 1e-5, 0, 0, 0, 1e-5}, 0},  // the inversion refuses elements this small
        {{1, 0, 0, 0, nan, 0, 0, 0, 1}, 0},         // no convergence
        {{1, 0, 0, 0, 1, 0, 0, 0, 0}, 2},
        {{2, 0, 0, 0, 1, 0, 0, 0, -0.5}, 3},  // negative determinant, still the identity
    };
    for (const auto& c : cases) {
        M3 rot = filled(kSentinel);
        int32_t rank = -9;
        lmmatc_(c.a.data(), rot.data(), &rank);
        EXPECT_EQ(rank, c.rank) << "a[0] = " << c.a[0];
        // Exact up to the precision of the Newton iteration.
        if (rank >= 2) {
            EXPECT_LT((cols(rot.data()) - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 1e-8);
        } else {
            EXPECT_EQ(rot, filled(kSentinel));
        }
    }
}

TEST_F(RigidFit, WorkedMotionMirrorAndTranslationOnly) {
    // Six points, their images under 0.7 rad about (0.48, -0.6, 0.64) and
    // then the shift (1, -2, 0.5).
    const Eigen::Matrix3d r = Eigen::AngleAxisd(0.7, Eigen::Vector3d(0.48, -0.6, 0.64)).toRotationMatrix();
    const Eigen::Vector3d shift(1, -2, 0.5);
    const Pts src = {1, 0, 0, 0, 2, 0, 0, 0, 3, 1, 1, 1, -2, 0.5, 1, 0.3, -1, 2};
    const Pts dst = moved(src, r, shift);
    const Fit f = fit(0, src, dst);
    EXPECT_EQ(f.ierr, 0);
    EXPECT_LT((rows(f.rot.data()) - r).cwiseAbs().maxCoeff(), 1e-9);
    EXPECT_LT((r * f.trans - shift).norm(), 1e-9);  // translate first, then rotate
    EXPECT_EQ(f.maxdev, 0.0);

    // Mirrored targets (x negated): still a proper rotation.
    Pts mirror = src;
    for (std::size_t k = 0; k < mirror.size(); k += 3) mirror[k] = -mirror[k];
    const Fit m = fit(0, src, mirror);
    EXPECT_LT(rotation_defect(rows(m.rot.data())), 1e-8);
    EXPECT_GT(m.maxdev, 0.1);

    // Translation only, and too few points for a rotation: the identity and
    // the difference of the centroids.
    const Pts src2(src.begin(), src.begin() + 6), dst2(dst.begin(), dst.begin() + 6);
    for (const auto& [g, s, d] : {std::tuple{fit(1, src, dst), src, dst}, std::tuple{fit(0, src2, dst2), src2, dst2}}) {
        EXPECT_EQ(g.ierr, 0);
        EXPECT_EQ(g.rot, kIdentity);
        EXPECT_LT((g.trans - (centroid(d) - centroid(s))).norm(), 1e-14);
        EXPECT_GT(g.maxdev, 0.0);
    }
}

TEST_F(RigidFit, WhatIsWrittenOnEmptyAndWithoutDeviation) {
    const Fit f = fit(0, {}, {});
    EXPECT_EQ(f.ierr, 1);
    EXPECT_EQ(f.maxdev, -1.0);
    EXPECT_EQ(f.rot, kIdentity);
    EXPECT_EQ(f.trans, Eigen::Vector3d::Zero());
    int32_t n = -3, mode = 0, weighted = 0, wantdev = 1, ierr = 0;
    double rot[9], trans[3], maxdev = kSentinel;
    lmmat_(&mode, &n, &weighted, nullptr, nullptr, nullptr, rot, trans, &wantdev, &maxdev, &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(maxdev, -1.0);

    zt::Rng rng(2);
    const Fit g = fit(0, rng.vec(15), rng.vec(15), nullptr, 0);
    EXPECT_EQ(g.ierr, 0);
    EXPECT_EQ(g.maxdev, kSentinel);
}

TEST_F(RigidFit, RefusedInversionMemoryFallsBackToTranslation) {
    zt::Rng rng(3);
    const Pts src = rng.vec(3 * 8, -5, 5), dst = moved(src, random_rotation(rng), Eigen::Vector3d::Zero());
    for (int line : {102, 104, 118}) {
        memsvc_reset();
        memsvc_fail_site("lminv", line);
        M3 rot = filled(kSentinel), a = {2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5};
        int32_t rank = -9;
        lmmatc_(a.data(), rot.data(), &rank);
        EXPECT_EQ(rank, 0);
        EXPECT_EQ(rot, filled(kSentinel));
        const Fit f = fit(0, src, dst);
        EXPECT_EQ(f.rot, kIdentity);
        EXPECT_LT((f.trans - (centroid(dst) - centroid(src))).norm(), 1e-14);
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
}

TEST_F(RigidFit, ConcurrentCallsMatchSerialOnes) {
    // No routine keeps shared working storage: two threads fitting and
    // building pair rotations at once get exactly the serial answers.
    zt::Rng rng(71);
    constexpr int kProblems = 16;
    std::vector<Pts> src(kProblems), dst(kProblems);
    std::vector<Fit> serial(kProblems);
    std::vector<M3> pair(kProblems, filled(kSentinel));
    for (int i = 0; i < kProblems; ++i) {
        src[i] = rng.vec(3 * 20, -5, 5);
        dst[i] = rng.vec(3 * 20, -5, 5);
        serial[i] = fit(0, src[i], dst[i]);
        int32_t status = 0;
        lmdpl_(&src[i][0], &src[i][3], &dst[i][0], &dst[i][3], pair[i].data(), &status);
    }
    auto worker = [&](int* bad) {
        for (int rep = 0; rep < 50; ++rep)
            for (int i = 0; i < kProblems; ++i) {
                M3 out = filled(kSentinel);
                int32_t status = 0;
                lmdpl_(&src[i][0], &src[i][3], &dst[i][0], &dst[i][3], out.data(), &status);
                if (!(fit(0, src[i], dst[i]) == serial[i]) || out != pair[i]) ++*bad;
            }
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(worker, &bad1), t2(worker, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1 + bad2, 0);
}
