// World-to-frame and frame-to-world mapping: the worked cases, the
// projection centre's sentinel and its tolerance, aliasing and the argument
// positions that are never read, and round trips through random orthonormal
// frames checked against the geometry recomputed in long double.
#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();
const double kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const int32_t kParallel = 1, kCentral = 0;

Eigen::Matrix3d random_rotation(zt::Rng& rng) {
    Eigen::Vector3d axis;
    do axis = Eigen::Vector3d(rng.uniform(), rng.uniform(), rng.uniform());
    while (axis.norm() < 0.1);
    return Eigen::AngleAxisd(rng.uniform(-3.14, 3.14), axis.normalized()).toRotationMatrix();
}

void wb(const std::vector<double>& pts, const double* a, const double* origin, int32_t mode, const double* f,
        std::vector<double>& out) {
    const int32_t n = static_cast<int32_t>(pts.size() / 3);
    ltmwb3_(pts.data(), &n, a, origin, nullptr, &mode, nullptr, f, out.data());
}

void bw(const std::vector<double>& pts, const double* a, const double* origin, int32_t mode, const double* f,
        std::vector<double>& out) {
    const int32_t n = static_cast<int32_t>(pts.size() / 3);
    ltmbw3_(pts.data(), &n, a, origin, nullptr, &mode, nullptr, f, out.data());
}

}  // namespace

TEST(FrameTransform, WorkedCasesWithNullUnreadArguments) {
    // Parallel mode: only the origin moves; dist is not read (null).
    const double origin[3] = {1, 2, 3};
    std::vector<double> p = {1, 2, 3}, q(3, -1.0), back(3, -1.0);
    wb(p, kIdentity, origin, kParallel, nullptr, q);
    EXPECT_EQ(q, (std::vector<double>{0, 0, 0}));
    bw(q, kIdentity, origin, kParallel, nullptr, back);
    EXPECT_EQ(back, p);

    // Central mode, f = 10: kappa = 10 / (5 - 10) = -2.
    const double zero[3] = {0, 0, 0}, f = 10;
    p = {2, 4, 5};
    wb(p, kIdentity, zero, kCentral, &f, q);
    EXPECT_EQ(q, (std::vector<double>{-4, -8, 5}));
    bw(q, kIdentity, zero, kCentral, &f, back);
    EXPECT_EQ(back, p);
}

TEST(FrameTransform, ProjectionCentreSentinelAndTolerance) {
    const double zero[3] = {0, 0, 0}, f = 10;
    std::vector<double> p = {3, 4, 10, 3, 4, 10 + 2e-8}, q(6);
    wb(p, kIdentity, zero, kCentral, &f, q);
    EXPECT_EQ(q[0], 1e+307);
    EXPECT_EQ(q[1], 1e+307);
    EXPECT_EQ(q[2], 10.0);
    // Twice the tolerance away from the centre's depth is an ordinary point.
    EXPECT_TRUE(std::isfinite(q[3]));
    EXPECT_LT(q[3], 1e12);
    EXPECT_NEAR(q[3], 3 * 10 / (p[5] - 10), 1e-6 * std::fabs(q[3]));

    // With f = 0 the depth difference is exact: 1e-8 is outside the
    // tolerance (strict test), the next double below is inside.
    const double f0 = 0;
    p = {5, 6, 1e-8, 5, 6, std::nextafter(1e-8, 0.0)};
    wb(p, kIdentity, zero, kCentral, &f0, q);
    EXPECT_EQ(q[0], 0.0);
    EXPECT_EQ(q[2], 1e-8);
    EXPECT_EQ(q[3], 1e+307);
    EXPECT_EQ(q[5], p[5]);
}

TEST(FrameTransform, InPlaceEmptyAndNonFiniteInputs) {
    zt::Rng rng(3);
    const Eigen::Matrix3d r = random_rotation(rng);
    const double origin[3] = {0.5, -1, 2}, f = 3;
    std::vector<double> p = rng.vec(60, -5, 5), sep(60), inplace;
    for (int32_t mode : {kParallel, kCentral}) {
        wb(p, r.data(), origin, mode, &f, sep);
        inplace = p;
        const int32_t n = 20;
        ltmwb3_(inplace.data(), &n, r.data(), origin, nullptr, &mode, nullptr, &f, inplace.data());
        for (int k = 0; k < 60; ++k) EXPECT_BITEQ(inplace[k], sep[k]);

        bw(p, r.data(), origin, mode, &f, sep);
        inplace = p;
        ltmbw3_(inplace.data(), &n, r.data(), origin, nullptr, &mode, nullptr, &f, inplace.data());
        for (int k = 0; k < 60; ++k) EXPECT_BITEQ(inplace[k], sep[k]);

        for (int32_t none : {0, -2}) {
            std::vector<double> keep(3, -7.0);
            ltmwb3_(p.data(), &none, r.data(), origin, nullptr, &mode, nullptr, &f, keep.data());
            ltmbw3_(p.data(), &none, r.data(), origin, nullptr, &mode, nullptr, &f, keep.data());
            EXPECT_EQ(keep, std::vector<double>(3, -7.0));
        }
    }

    // f = 0 in the way back is not guarded: the images are not finite, and
    // the call returns normally.
    const double f0 = 0;
    std::vector<double> q = {1, 2, 3}, out(3);
    bw(q, kIdentity, origin, kCentral, &f0, out);
    EXPECT_FALSE(std::isfinite(out[0]));
    EXPECT_FALSE(std::isfinite(out[1]));
}

TEST(FrameTransform, RoundTripsThroughRandomFrames) {
    zt::Rng rng(17);
    for (int trial = 0; trial < 50; ++trial) {
        // Frame axes as columns; the depth axis is column 3.
        const Eigen::Matrix3d a = random_rotation(rng);
        const double origin[3] = {rng.uniform(-10, 10), rng.uniform(-10, 10), rng.uniform(-10, 10)};
        const double f = rng.uniform(2, 20);
        const int npts = 40;
        std::vector<double> p = rng.vec(3 * npts, -10, 10), q(3 * npts), back(3 * npts);

        for (int32_t mode : {kParallel, kCentral}) {
            wb(p, a.data(), origin, mode, &f, q);
            bw(q, a.data(), origin, mode, &f, back);
            for (int k = 0; k < npts; ++k) {
                // Frame coordinates and the central image recomputed in long
                // double from the geometry: the ray from the centre (0, 0, f)
                // through the point meets the plane at depth 2f.
                long double d[3], fc[3] = {0, 0, 0};
                for (int i = 0; i < 3; ++i) d[i] = (long double)p[3 * k + i] - origin[i];
                for (int j = 0; j < 3; ++j)
                    for (int i = 0; i < 3; ++i) fc[j] += (long double)a(i, j) * d[i];
                long double want[3] = {fc[0], fc[1], fc[2]};
                double cond = 1;
                if (mode == kCentral) {
                    const long double t = (long double)f / (fc[2] - f);
                    want[0] = fc[0] * t;
                    want[1] = fc[1] * t;
                    // The image is as sensitive as the depth's distance from
                    // the centre is small.
                    cond = 1 + (std::fabs((double)fc[2]) + f) / std::fabs((double)(fc[2] - f));
                }
                const double scale = 30 + std::fabs((double)want[0]) + std::fabs((double)want[1]);
                for (int i = 0; i < 3; ++i)
                    EXPECT_LT(std::fabs((double)(q[3 * k + i] - want[i])) / (scale * cond * kEps), 20.0)
                        << "point " << k << " mode " << mode;
                for (int i = 0; i < 3; ++i)
                    EXPECT_LT(std::fabs(back[3 * k + i] - p[3 * k + i]) / (30 * cond * kEps), 20.0)
                        << "point " << k << " mode " << mode;
            }
        }
    }
}
