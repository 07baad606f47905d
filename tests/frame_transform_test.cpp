// World-to-frame and frame-to-world mapping: the worked cases, the
// projection centre's sentinel and its tolerance, aliasing and the argument
// positions that are never read, and round trips through random frames.
#include <cmath>
#include <vector>

#include "geometry_support.hpp"

using namespace zg;

namespace {

using Pts = std::vector<double>;
const int32_t kParallel = 1, kCentral = 0;

// Both directions, with null addresses where nothing is read.
Pts map(bool to_frame, const Pts& pts, const double* a, const double* origin, int32_t mode, const double* f) {
    Pts out(pts.size(), kSentinel);
    const int32_t n = static_cast<int32_t>(pts.size() / 3);
    (to_frame ? ltmwb3_ : ltmbw3_)(pts.data(), &n, a, origin, nullptr, &mode, nullptr, f, out.data());
    return out;
}

}  // namespace

TEST(FrameTransform, WorkedCasesAndSentinel) {
    const double origin[3] = {1, 2, 3}, zero[3] = {0, 0, 0}, f = 10, f0 = 0;
    EXPECT_EQ(map(true, {1, 2, 3}, kIdentity.data(), origin, kParallel, nullptr), (Pts{0, 0, 0}));
    EXPECT_EQ(map(false, {0, 0, 0}, kIdentity.data(), origin, kParallel, nullptr), (Pts{1, 2, 3}));
    // kappa = 10 / (5 - 10) = -2.
    EXPECT_EQ(map(true, {2, 4, 5}, kIdentity.data(), zero, kCentral, &f), (Pts{-4, -8, 5}));
    EXPECT_EQ(map(false, {-4, -8, 5}, kIdentity.data(), zero, kCentral, &f), (Pts{2, 4, 5}));

    // At the centre's depth the sentinel; twice the tolerance away an
    // ordinary image.  With f = 0 the depth difference is exact: 1e-8 is
    // outside the (strict) tolerance, the next double below inside.
    const Pts q = map(true, {3, 4, 10, 3, 4, 10 + 2e-8}, kIdentity.data(), zero, kCentral, &f);
    EXPECT_EQ(q[0], 1e+307);
    EXPECT_EQ(q[1], 1e+307);
    EXPECT_EQ(q[2], 10.0);
    EXPECT_NEAR(q[3], 3 * f / (10 + 2e-8 - f), 1e-6 * std::fabs(q[3]));
    const double below = std::nextafter(1e-8, 0.0);
    EXPECT_EQ(map(true, {5, 6, 1e-8, 5, 6, below}, kIdentity.data(), zero, kCentral, &f0),
              (Pts{0, 0, 1e-8, 1e+307, 1e+307, below}));

    // f = 0 on the way back is not guarded: non-finite, and a normal return.
    const Pts back = map(false, {1, 2, 3}, kIdentity.data(), zero, kCentral, &f0);
    EXPECT_FALSE(std::isfinite(back[0]));
}

TEST(FrameTransform, RoundTripsInPlaceAndEmpty) {
    zt::Rng rng(17);
    for (int trial = 0; trial < 50; ++trial) {
        const Eigen::Matrix3d a = random_rotation(rng);  // frame axes as columns
        const double origin[3] = {rng.uniform(-10, 10), rng.uniform(-10, 10), rng.uniform(-10, 10)};
        const double f = rng.uniform(2, 20);
        const Pts p = rng.vec(3 * 40, -10, 10);
        for (int32_t mode : {kParallel, kCentral}) {
            const Pts q = map(true, p, a.data(), origin, mode, &f), back = map(false, q, a.data(), origin, mode, &f);
            for (std::size_t k = 0; k < p.size(); ++k) {
                // Frame coordinates by Eigen; the central image is as
                // sensitive as the depth is close to the centre's.
                const Eigen::Vector3d fc = a.transpose() * (Eigen::Vector3d(&p[k - k % 3]) - Eigen::Vector3d(origin));
                const double kappa = mode == kCentral ? f / (fc[2] - f) : 1.0;
                const double cond = mode == kCentral ? 1 + (std::fabs(fc[2]) + f) / std::fabs(fc[2] - f) : 1.0;
                const double want = k % 3 == 2 ? fc[2] : fc[k % 3] * kappa;
                EXPECT_LT(std::fabs(q[k] - want), 20 * kEps * cond * (30 + std::fabs(want)));
                EXPECT_LT(std::fabs(back[k] - p[k]), 20 * kEps * cond * 30);
            }
            // out = pts gives the same values in both directions and modes.
            const int32_t n = 40;
            Pts inplace = p;
            ltmwb3_(inplace.data(), &n, a.data(), origin, nullptr, &mode, nullptr, &f, inplace.data());
            ltmbw3_(inplace.data(), &n, a.data(), origin, nullptr, &mode, nullptr, &f, inplace.data());
            for (std::size_t k = 0; k < p.size(); ++k) EXPECT_BITEQ(inplace[k], back[k]);
        }
    }
    const int32_t none = 0, negative = -2;
    double keep[3] = {kSentinel, kSentinel, kSentinel};
    for (const int32_t* n : {&none, &negative}) {
        ltmwb3_(keep, n, kIdentity.data(), keep, nullptr, &kParallel, nullptr, nullptr, keep);
        ltmbw3_(keep, n, kIdentity.data(), keep, nullptr, &kCentral, nullptr, nullptr, keep);
    }
    EXPECT_EQ(keep[0], kSentinel);
}
