// Rotations and reflections: the worked cases, the boundaries of the
// degeneracy tests, and the pair rotation's status on pairs that do and do
// not define a rotation.
#include <cmath>

#include "geometry_support.hpp"

using namespace zg;

TEST(Rotation, AxisAngleAndMirror) {
    // Quarter turn about z; row-wise it takes x to y.  Inputs are not
    // normalised: an axis of length 2 with cosine 0 leaves 4 on the diagonal.
    const double z[3] = {0, 0, 1}, z2[3] = {0, 0, 2}, one = 1, zero = 0, two = 2;
    M3 out = filled(kSentinel);
    lmdre3_(z, &one, &zero, out.data());
    EXPECT_EQ(out, kQuarterZ);
    EXPECT_EQ(rows(out.data()) * Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 1, 0));
    lmdre3_(z2, &zero, &zero, out.data());
    EXPECT_EQ(out[8], 4.0);

    // The mirror maps v to -v; 1e-8 is the shortest direction accepted.
    const double v[3] = {0.3, -2, 1.1}, at_limit[3] = {1e-8, 0, 0}, below[3] = {std::nextafter(1e-8, 0.0), 0, 0};
    int32_t ierr = -5;
    lmspi3_(v, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    const Eigen::Vector3d ev(v);
    EXPECT_LT((rows(out.data()) * ev + ev).norm(), 20 * kEps);
    EXPECT_NEAR(rows(out.data()).determinant(), -1.0, 20 * kEps);
    lmspi3_(at_limit, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(out, (M3{-1, 0, 0, 0, 1, 0, 0, 0, 1}));
    out = filled(kSentinel);
    lmspi3_(below, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(out, filled(kSentinel));
}

TEST(Rotation, DirectionOntoDirectionAndOppositeFallbacks) {
    const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, mx[3] = {-1, 0, 0}, none[3] = {0, 0, 0};
    const double z[3] = {0, 0, 1}, half_z[3] = {0, 0, 0.5}, zl = 0.99999999;
    const double at_limit[3] = {0, 0, zl}, below[3] = {0, 0, std::nextafter(zl, 0.0)};
    const M3 mirror_x = {-1, 0, 0, 0, 1, 0, 0, 0, 1};
    M3 out;
    lmdvec_(x, y, none, out.data());
    EXPECT_EQ(out, kQuarterZ);
    lmdvec_(y, y, z, out.data());
    EXPECT_EQ(out, kIdentity);
    // Opposite: the half-turn about a usable axis, else the mirror normal to a.
    lmdvec_(x, mx, z, out.data());
    EXPECT_EQ(out, (M3{-1, 0, 0, 0, -1, 0, 0, 0, 1}));
    lmdvec_(x, mx, half_z, out.data());
    EXPECT_EQ(out, mirror_x);
    lmdvec_(x, mx, below, out.data());
    EXPECT_EQ(out, mirror_x);
    // Length exactly 0.99999999 is usable and used as given: 2 z^2 - 1.
    ASSERT_EQ(lvlgt3_(at_limit), zl);
    lmdvec_(x, mx, at_limit, out.data());
    EXPECT_EQ(out[0], -1.0);
    EXPECT_NEAR(out[8], 2 * zl * zl - 1, 4 * kEps);
}

TEST(Rotation, RotVectorDegenerateCasesAndLimits) {
    const double a[3] = {1, 2, 3}, opposite[3] = {-2, -4, -6}, parallel[3] = {0.5, 1, 1.5}, zero[3] = {0, 0, 0};
    const double tiny[3] = {std::nextafter(1e-6, 0.0), 0, 0}, at_limit[3] = {1e-6, 0, 0}, y[3] = {0, 3, 0};
    ASSERT_EQ(at_limit[0] * at_limit[0], 1e-12);
    M3 out;
    const double* cases[][2] = {{a, opposite}, {a, parallel}, {a, zero}, {zero, a}, {tiny, y}, {y, tiny}};
    for (const auto& c : cases) {
        out = filled(kSentinel);
        MathRotVector(c[0], c[1], out.data());
        EXPECT_EQ(out, kIdentity);
    }
    // A squared length of exactly 1e-12 is accepted.
    MathRotVector(at_limit, y, out.data());
    EXPECT_LT((rows(out.data()) - rows(kQuarterZ.data())).cwiseAbs().maxCoeff(), 4 * kEps);
}

TEST(Rotation, PairOntoPairWorkedCasesAndFailures) {
    const double x[3] = {1, 0, 0}, x2[3] = {2, 0, 0}, mx[3] = {-1, 0, 0}, y[3] = {0, 1, 0}, my[3] = {0, -3, 0};
    const double xy[3] = {1, 1, 0}, mxy[3] = {-1, 1, 0}, zero[3] = {0, 0, 0};
    M3 out;
    int32_t status = -9;
    auto near_quarter = [&] { return (rows(out.data()) - rows(kQuarterZ.data())).cwiseAbs().maxCoeff() < 4 * kEps; };
    lmdpl_(x, xy, y, mxy, out.data(), &status);  // both pairs at 45 degrees
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(near_quarter());
    lmdpl_(x, zero, y, zero, out.data(), &status);  // one-direction mode
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(near_quarter());

    // -1 with out untouched: second direction on one side only, a missing
    // first direction, (anti)parallel first directions without second ones,
    // a pair without a plane (parallel or opposite directions), and first
    // directions too close to opposite to give an axis (|a1 x b1| between
    // 1e-10 and 1e-8), where only a mirror would be left.
    const double nearly_opposite[3] = {-1, 5e-9, 0};
    const double* failing[][4] = {{x, xy, y, zero}, {x, zero, y, mxy}, {zero, xy, y, mxy}, {x, xy, zero, mxy},
                                  {x, zero, x, zero}, {x, zero, mx, zero}, {x, x2, y, mxy},   {x, xy, y, my},
                                  {x, zero, nearly_opposite, zero}};
    for (const auto& c : failing) {
        out = filled(kSentinel);
        lmdpl_(c[0], c[1], c[2], c[3], out.data(), &status);
        EXPECT_EQ(status, -1);
        EXPECT_EQ(out, filled(kSentinel));
    }
    const double nearly_equal[3] = {1, 5e-9, 0};
    lmdpl_(x, zero, nearly_equal, zero, out.data(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_LT((rows(out.data()) - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 4 * kEps);
}

TEST(Rotation, PairStatusNeedsTheSameAngle) {
    // 45 and 135 degrees (equal sines, opposite cosines): a1 -> b1 and the
    // plane hold, a2 -> b2 does not, so 0.
    const double x[3] = {1, 0, 0}, xy[3] = {1, 1, 0}, mxy[3] = {-1, 1, 0};
    M3 out;
    int32_t status = -9;
    lmdpl_(x, xy, x, mxy, out.data(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_LT((rows(out.data()) - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 4 * kEps);
    // Near a right angle sines match angles on the same side of 90 degrees
    // (cosines of one sign), no longer angles on opposite sides.
    const double a2[3] = {1e-6, 1, 0}, same_side[3] = {2e-6, 1, 0}, other_side[3] = {-1e-6, 1, 0};
    lmdpl_(x, a2, x, same_side, out.data(), &status);
    EXPECT_EQ(status, 1);
    lmdpl_(x, a2, x, other_side, out.data(), &status);
    EXPECT_EQ(status, 0);

    // Random pairs at different angles: a proper rotation with a1 -> b1 and
    // normal -> normal (the two turns lose accuracy like 1/sine near
    // half-turns; 1e-12 still tells rounding from a wrong composition).
    zt::Rng rng(11);
    for (int trial = 0; trial < 200; ++trial) {
        const Eigen::Vector3d a1 = random_unit(rng), a2r = random_unit(rng), b1 = random_unit(rng), b2r = random_unit(rng);
        if (a1.cross(a2r).norm() < 0.05 || b1.cross(b2r).norm() < 0.05) continue;
        const Eigen::Vector3d a2 = 3 * a2r, b2 = 0.5 * b2r;
        lmdpl_(a1.data(), a2.data(), b1.data(), b2.data(), out.data(), &status);
        ASSERT_EQ(status, 0);
        const Eigen::Matrix3d r = rows(out.data());
        EXPECT_LT(rotation_defect(r), 40 * kEps);
        EXPECT_LT((r * a1 - b1).norm(), 1e-12);
        EXPECT_LT((r * a1.cross(a2).normalized() - b1.cross(b2).normalized()).norm(), 1e-12);
    }
}

TEST(Rotation, PointListAboutACentre) {
    // (2, 0, 0) about (1, 0, 0) by the quarter turn: (1, 1, 0); in place the
    // same, even when the centre is the first point of the list.
    double pts[6] = {2, 0, 0, 1, 0, 5}, out[6];
    const double centre[3] = {1, 0, 0}, want[6] = {1, 1, 0, 1, 0, 5};
    const int32_t n = 2;
    lmrot3_(kQuarterZ.data(), centre, pts, &n, out);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k], want[k]);
    const double first[3] = {pts[0], pts[1], pts[2]};
    lmrot3_(kQuarterZ.data(), first, pts, &n, out);
    lmrot3_(kQuarterZ.data(), pts, pts, &n, pts);
    for (int k = 0; k < 6; ++k) EXPECT_BITEQ(pts[k], out[k]);
    for (int32_t none : {0, -4}) {
        double keep[3] = {kSentinel, kSentinel, kSentinel};
        lmrot3_(kQuarterZ.data(), centre, pts, &none, keep);
        EXPECT_EQ(keep[0], kSentinel);
    }
}
