// Rotations and reflections: the worked cases, the boundaries of the
// degeneracy tests, and the defining properties of the matrices (orthogonal,
// determinant, which directions they carry where) on seeded random input.
#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <limits>
#include <thread>

#include "support.hpp"

namespace {

using M3 = std::array<double, 9>;
using V3 = std::array<double, 3>;

constexpr double kEps = std::numeric_limits<double>::epsilon();

// A matrix of the rotation family read row by row, as it is applied.
Eigen::Matrix3d rows(const M3& m) { return Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(m.data()); }
Eigen::Vector3d vec(const V3& v) { return Eigen::Vector3d(v[0], v[1], v[2]); }

M3 filled(double x) {
    M3 m;
    m.fill(x);
    return m;
}

void expect_near(const M3& m, const M3& want, double tol) {
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(m[k], want[k], tol) << "element " << k;
}

// |R^T R - I| and |det R - 1| in units of eps.
double orthogonality_ratio(const Eigen::Matrix3d& r) {
    return (r.transpose() * r - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff() / kEps;
}

const M3 kQuarterZ = {0, -1, 0, 1, 0, 0, 0, 0, 1};
const M3 kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const double kSentinel = -777.0;

Eigen::Vector3d random_unit(zt::Rng& rng) {
    Eigen::Vector3d v;
    do v = Eigen::Vector3d(rng.uniform(), rng.uniform(), rng.uniform());
    while (v.norm() < 0.1);
    return v.normalized();
}

}  // namespace

TEST(Lmdre3, QuarterTurnAndInputsUsedAsGiven) {
    const double z[3] = {0, 0, 1};
    const double s = 1, c = 0;
    M3 out = filled(kSentinel);
    lmdre3_(z, &s, &c, out.data());
    EXPECT_EQ(out, kQuarterZ);

    // Row-wise application turns x onto y (counter-clockwise about z).
    const double x[3] = {1, 0, 0}, origin[3] = {0, 0, 0};
    double y[3];
    const int32_t one = 1;
    lmrot3_(out.data(), origin, x, &one, y);
    EXPECT_EQ(y[0], 0.0);
    EXPECT_EQ(y[1], 1.0);
    EXPECT_EQ(y[2], 0.0);

    // Nothing is normalised: an axis of length 2 with a "cosine" of 0
    // leaves z^2 = 4 on the diagonal.
    const double z2[3] = {0, 0, 2};
    const double s0 = 0;
    lmdre3_(z2, &s0, &c, out.data());
    EXPECT_EQ(out[8], 4.0);
    EXPECT_EQ(out[0], 0.0);
}

TEST(Lmspi3, MirrorProjectionAndShortDirection) {
    const double v[3] = {0, 0, 2};
    const double two = 2;
    M3 out = filled(kSentinel);
    int32_t ierr = -5;
    lmspi3_(v, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    expect_near(out, {1, 0, 0, 0, 1, 0, 0, 0, -1}, 0.0);

    zt::Rng rng(31);
    for (int trial = 0; trial < 50; ++trial) {
        const V3 d = {rng.uniform(-5, 5), rng.uniform(-5, 5), rng.uniform(-5, 5)};
        lmspi3_(d.data(), &two, out.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        const Eigen::Matrix3d m = rows(out);
        EXPECT_LT(orthogonality_ratio(m), 20.0);
        EXPECT_NEAR(m.determinant(), -1.0, 20 * kEps);
        EXPECT_LT((m - m.transpose()).cwiseAbs().maxCoeff(), 4 * kEps);
        EXPECT_LT((m * vec(d) + vec(d)).norm(), 20 * kEps * vec(d).norm());
        // factor 1 projects onto the plane normal to d.
        const double onef = 1;
        lmspi3_(d.data(), &onef, out.data(), &ierr);
        EXPECT_LT((rows(out) * vec(d)).norm(), 20 * kEps * vec(d).norm());
    }

    // The length limit of the normalisation: 1e-8 is accepted, just below
    // fails with out untouched.
    const double at_limit[3] = {1e-8, 0, 0};
    lmspi3_(at_limit, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(out[0], -1.0);
    const double below[3] = {std::nextafter(1e-8, 0.0), 0, 0};
    out = filled(kSentinel);
    lmspi3_(below, &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(out, filled(kSentinel));
}

TEST(Lmdvec, WorkedCasesAndOppositeFallbacks) {
    const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, mx[3] = {-1, 0, 0};
    const double zero[3] = {0, 0, 0}, junk[3] = {5, -3, 7};
    M3 out;
    for (const double* axis : {zero, junk}) {
        out = filled(kSentinel);
        lmdvec_(x, y, axis, out.data());
        EXPECT_EQ(out, kQuarterZ);
    }
    lmdvec_(y, y, zero, out.data());
    EXPECT_EQ(out, kIdentity);

    // Opposite directions: the half-turn about a usable axis ...
    const double z[3] = {0, 0, 1};
    lmdvec_(x, mx, z, out.data());
    expect_near(out, {-1, 0, 0, 0, -1, 0, 0, 0, 1}, 0.0);
    // ... the mirror normal to a when the axis is too short ...
    const double half_z[3] = {0, 0, 0.5};
    lmdvec_(x, mx, half_z, out.data());
    expect_near(out, {-1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.0);
    EXPECT_NEAR(rows(out).determinant(), -1.0, 0.0);
    // ... and an axis of length exactly 0.99999999 counts as usable and is
    // taken as it is, so z^2 + (1 - z^2)(-1) = 2 z^2 - 1 stays on the diagonal.
    const double zl = 0.99999999;
    const double short_z[3] = {0, 0, zl};
    ASSERT_EQ(lvlgt3_(short_z), zl);
    lmdvec_(x, mx, short_z, out.data());
    EXPECT_EQ(out[0], -1.0);
    EXPECT_EQ(out[4], -1.0);
    EXPECT_NEAR(out[8], 2 * zl * zl - 1, 4 * kEps);
    EXPECT_LT(out[8], 1.0 - 1e-8);
    const double shorter_z[3] = {0, 0, std::nextafter(zl, 0.0)};
    lmdvec_(x, mx, shorter_z, out.data());
    expect_near(out, {-1, 0, 0, 0, 1, 0, 0, 0, 1}, 0.0);

    // Unit directions that are not nearly opposite: a onto b, about a x b.
    zt::Rng rng(7);
    for (int trial = 0; trial < 200; ++trial) {
        const Eigen::Vector3d a = random_unit(rng), b = random_unit(rng);
        if (a.dot(b) < -0.999) continue;
        lmdvec_(a.data(), b.data(), zero, out.data());
        const Eigen::Matrix3d r = rows(out);
        EXPECT_LT(orthogonality_ratio(r), 20.0);
        EXPECT_NEAR(r.determinant(), 1.0, 20 * kEps);
        EXPECT_LT((r * a - b).norm(), 20 * kEps);
        const Eigen::Vector3d n = a.cross(b);
        EXPECT_LT((r * n - n).norm(), 20 * kEps);
    }
}

TEST(MathRotVector, DegenerateInputsGiveTheIdentity) {
    const double a[3] = {1, 2, 3}, opposite[3] = {-2, -4, -6}, parallel[3] = {0.5, 1, 1.5};
    const double zero[3] = {0, 0, 0};
    const double tiny[3] = {std::nextafter(1e-6, 0.0), 0, 0};
    const double at_limit[3] = {1e-6, 0, 0};
    const double y[3] = {0, 3, 0};
    ASSERT_EQ(at_limit[0] * at_limit[0], 1e-12);
    ASSERT_LT(tiny[0] * tiny[0], 1e-12);

    M3 out;
    const double* cases[][2] = {{a, opposite}, {a, parallel}, {a, zero}, {zero, a}, {tiny, y}, {y, tiny}};
    for (const auto& c : cases) {
        out = filled(kSentinel);
        MathRotVector(c[0], c[1], out.data());
        EXPECT_EQ(out, kIdentity);
    }
    // A squared length of exactly 1e-12 is accepted: x onto y, a quarter turn.
    MathRotVector(at_limit, y, out.data());
    expect_near(out, kQuarterZ, 4 * kEps);
    MathRotVector(y, at_limit, out.data());
    expect_near(out, {0, 1, 0, -1, 0, 0, 0, 0, 1}, 4 * kEps);

    // Any other pair: a proper rotation taking the direction of a onto b.
    zt::Rng rng(23);
    for (int trial = 0; trial < 200; ++trial) {
        const Eigen::Vector3d u = random_unit(rng) * rng.uniform(0.01, 100), v = random_unit(rng) * rng.uniform(0.01, 100);
        MathRotVector(u.data(), v.data(), out.data());
        const Eigen::Matrix3d r = rows(out);
        EXPECT_LT(orthogonality_ratio(r), 20.0);
        EXPECT_NEAR(r.determinant(), 1.0, 20 * kEps);
        EXPECT_LT((r * u.normalized() - v.normalized()).norm(), 20 * kEps);
    }
}

TEST(Lmdpl, WorkedCasesAndModes) {
    const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, xy[3] = {1, 1, 0}, mxy[3] = {-1, 1, 0};
    const double zero[3] = {0, 0, 0};
    M3 out = filled(kSentinel);
    int32_t status = -9;

    // Two pairs at 45 degrees: the quarter turn about z carries both.
    lmdpl_(x, xy, y, mxy, out.data(), &status);
    EXPECT_EQ(status, 1);
    expect_near(out, kQuarterZ, 4 * kEps);

    // No second directions at all: one-direction mode.
    out = filled(kSentinel);
    lmdpl_(x, zero, y, zero, out.data(), &status);
    EXPECT_EQ(status, 0);
    expect_near(out, kQuarterZ, 4 * kEps);

    // Failures leave out untouched: a second direction on one side only,
    // a missing first direction, (anti)parallel first directions in the
    // one-direction mode.
    const double mx[3] = {-1, 0, 0};
    const double* failing[][4] = {{x, xy, y, zero}, {x, zero, y, mxy}, {zero, xy, y, mxy},
                                  {x, xy, zero, mxy}, {x, zero, x, zero},   {x, zero, mx, zero}};
    for (const auto& c : failing) {
        out = filled(kSentinel);
        status = 9;
        lmdpl_(c[0], c[1], c[2], c[3], out.data(), &status);
        EXPECT_EQ(status, -1);
        EXPECT_EQ(out, filled(kSentinel));
    }
}

TEST(Lmdpl, SupplementaryAnglesDoNotClaimTheSecondDirection) {
    // 45 and 135 degrees: equal sines, opposite cosines.  a1 -> b1 and the
    // plane still hold, a2 -> b2 does not, so the status is 0.
    const double x[3] = {1, 0, 0}, xy[3] = {1, 1, 0}, mxy[3] = {-1, 1, 0};
    M3 out = filled(kSentinel);
    int32_t status = -9;
    lmdpl_(x, xy, x, mxy, out.data(), &status);
    EXPECT_EQ(status, 0);
    const Eigen::Matrix3d r = rows(out);
    EXPECT_LT((r * Eigen::Vector3d(1, 0, 0) - Eigen::Vector3d(1, 0, 0)).norm(), 20 * kEps);
    EXPECT_LT((r * Eigen::Vector3d(0, 0, 1) - Eigen::Vector3d(0, 0, 1)).norm(), 20 * kEps);
    EXPECT_GT((r * Eigen::Vector3d(1, 1, 0).normalized() - Eigen::Vector3d(-1, 1, 0).normalized()).norm(), 1.0);

    // Near a right angle the sines hardly change while the cosines do: the
    // sines still match angles on the same side of 90 degrees (cosines of
    // one sign), but no longer angles on opposite sides.
    const double a2[3] = {1e-6, 1, 0}, same_side[3] = {2e-6, 1, 0}, other_side[3] = {-1e-6, 1, 0};
    lmdpl_(x, a2, x, same_side, out.data(), &status);
    EXPECT_EQ(status, 1);
    lmdpl_(x, a2, x, other_side, out.data(), &status);
    EXPECT_EQ(status, 0);
}

TEST(Lmdpl, PairsWithoutAPlaneOrAxisFindNoRotation) {
    const double x[3] = {1, 0, 0}, x2[3] = {2, 0, 0}, y[3] = {0, 1, 0}, my[3] = {0, -3, 0};
    const double xy[3] = {1, 1, 0}, mxy[3] = {-1, 1, 0}, zero[3] = {0, 0, 0};
    M3 out;
    int32_t status = 9;
    // Parallel or opposite directions within a pair span no plane.
    for (const auto& c : {std::array<const double*, 4>{x, x2, y, mxy}, std::array<const double*, 4>{x, xy, y, my}}) {
        out = filled(kSentinel);
        lmdpl_(c[0], c[1], c[2], c[3], out.data(), &status);
        EXPECT_EQ(status, -1);
        EXPECT_EQ(out, filled(kSentinel));
    }

    // One-direction mode with directions too close to opposite to give an
    // axis (|a1 x b1| between 1e-10 and 1e-8): no rotation, rather than the
    // mirror; too close to equal: the identity.
    const double nearly_opposite[3] = {-1, 5e-9, 0}, nearly_equal[3] = {1, 5e-9, 0};
    out = filled(kSentinel);
    lmdpl_(x, zero, nearly_opposite, zero, out.data(), &status);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(out, filled(kSentinel));
    lmdpl_(x, zero, nearly_equal, zero, out.data(), &status);
    EXPECT_EQ(status, 0);
    expect_near(out, kIdentity, 4 * kEps);
}

TEST(Lmdpl, RandomPairsAreCarriedByAProperRotation) {
    zt::Rng rng(11);
    M3 out;
    int32_t status = 0;
    for (int trial = 0; trial < 300; ++trial) {
        const Eigen::Vector3d a1 = random_unit(rng) * rng.uniform(0.5, 4), a2 = random_unit(rng) * rng.uniform(0.5, 4);
        const Eigen::Vector3d b1 = random_unit(rng) * rng.uniform(0.5, 4), b2 = random_unit(rng) * rng.uniform(0.5, 4);
        if (a1.normalized().cross(a2.normalized()).norm() < 0.05 || b1.normalized().cross(b2.normalized()).norm() < 0.05)
            continue;
        lmdpl_(a1.data(), a2.data(), b1.data(), b2.data(), out.data(), &status);
        ASSERT_EQ(status, 0);  // random pairs enclose different angles
        const Eigen::Matrix3d r = rows(out);
        EXPECT_LT(orthogonality_ratio(r), 40.0);
        EXPECT_NEAR(r.determinant(), 1.0, 40 * kEps);
        // The two turns lose accuracy like 1/sine as they approach half-turns;
        // 1e-12 still tells rounding from a wrong composition.
        EXPECT_LT((r * a1.normalized() - b1.normalized()).norm(), 1e-12);
        const Eigen::Vector3d n1 = a1.cross(a2).normalized(), n2 = b1.cross(b2).normalized();
        EXPECT_LT((r * n1 - n2).norm(), 1e-12);
    }
}

TEST(Lmrot3, AboutACentreInPlaceAndEmpty) {
    // Quarter turn about z through (1, 0, 0): (2, 0, 0) goes to (1, 1, 0).
    const double centre[3] = {1, 0, 0};
    double pts[6] = {2, 0, 0, 1, 0, 5};
    double out[6];
    const int32_t n = 2;
    lmrot3_(kQuarterZ.data(), centre, pts, &n, out);
    const double want[6] = {1, 1, 0, 1, 0, 5};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(out[k], want[k]);
    lmrot3_(kQuarterZ.data(), centre, pts, &n, pts);
    for (int k = 0; k < 6; ++k) EXPECT_BITEQ(pts[k], out[k]);

    // A centre or matrix inside the list being rotated in place is read
    // before the list changes.
    zt::Rng rng(5);
    std::vector<double> list = rng.vec(30, -3, 3), sep(30);
    const int32_t ten = 10;
    M3 rot;
    const double zero[3] = {0, 0, 0};
    const Eigen::Vector3d ax = random_unit(rng);
    lmdvec_(Eigen::Vector3d(1, 0, 0).data(), ax.data(), zero, rot.data());
    const V3 c0 = {list[0], list[1], list[2]};
    lmrot3_(rot.data(), c0.data(), list.data(), &ten, sep.data());
    lmrot3_(rot.data(), list.data(), list.data(), &ten, list.data());
    for (int k = 0; k < 30; ++k) EXPECT_BITEQ(list[k], sep[k]);

    for (int32_t none : {0, -4}) {
        double keep[3] = {kSentinel, kSentinel, kSentinel};
        lmrot3_(kQuarterZ.data(), centre, pts, &none, keep);
        for (double v : keep) EXPECT_EQ(v, kSentinel);
    }
}

TEST(Rotations, ConcurrentCallsMatchSerialOnes) {
    // The builders keep no shared working storage: many threads building
    // at once get exactly the serial answers.
    zt::Rng rng(99);
    constexpr int kCases = 64;
    std::vector<std::array<double, 12>> in(kCases);
    for (auto& c : in)
        for (double& v : c) v = rng.uniform(-2, 2);
    std::vector<M3> serial(kCases), dvec(kCases);
    std::vector<int32_t> serial_status(kCases);
    const double zero[3] = {0, 0, 0};
    for (int i = 0; i < kCases; ++i) {
        lmdpl_(&in[i][0], &in[i][3], &in[i][6], &in[i][9], serial[i].data(), &serial_status[i]);
        lmdvec_(&in[i][0], &in[i][3], zero, dvec[i].data());
    }
    auto worker = [&](int32_t* bad) {
        for (int rep = 0; rep < 200; ++rep)
            for (int i = 0; i < kCases; ++i) {
                M3 out, d;
                int32_t st = 0;
                lmdpl_(&in[i][0], &in[i][3], &in[i][6], &in[i][9], out.data(), &st);
                lmdvec_(&in[i][0], &in[i][3], zero, d.data());
                if (st != serial_status[i] || (st >= 0 && out != serial[i]) || d != dvec[i]) ++*bad;
            }
    };
    int32_t bad1 = 0, bad2 = 0;
    std::thread t1(worker, &bad1), t2(worker, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1, 0);
    EXPECT_EQ(bad2, 0);
}
