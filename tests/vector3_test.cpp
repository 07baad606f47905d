// 3-vector kernels: worked examples, Eigen and long double references,
// aliasing, NaN behaviour, the overflow rescue of the lengths, and
// reentrancy of the frame completion.
#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <thread>
#include <vector>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kU;
using V3 = std::array<double, 3>;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;

V3 random3(zt::Rng& rng, double scale = 1.0) {
    return {rng.uniform() * scale, rng.uniform() * scale, rng.uniform() * scale};
}

Eigen::Vector3d ev(const V3& v) { return {v[0], v[1], v[2]}; }

void expect_same_bits(const V3& got, const V3& want) {
    for (int i = 0; i < 3; ++i) EXPECT_BITEQ(got[i], want[i]) << " component " << i;
}

TEST(Vector3, ComponentWiseMatchEigenAndWorkInPlace) {
    zt::Rng rng(11);
    for (int t = 0; t < 200; ++t) {
        const V3 a = random3(rng, 1e3);
        const V3 b = random3(rng, 1e-2);
        const double s = rng.uniform(-7.0, 7.0);
        V3 sum, dif, mul;
        lvsum3_(a.data(), b.data(), sum.data());
        lvdif3_(a.data(), b.data(), dif.data());
        lvmul3_(a.data(), &s, mul.data());
        const Eigen::Vector3d es = ev(a) + ev(b), ed = ev(a) - ev(b), em = ev(a) * s;
        for (int i = 0; i < 3; ++i) {
            EXPECT_BITEQ(sum[i], es[i]);
            EXPECT_BITEQ(dif[i], ed[i]);
            EXPECT_BITEQ(mul[i], em[i]);
        }
        // The output may be either input.
        V3 x = a;
        lvsum3_(x.data(), b.data(), x.data());
        expect_same_bits(x, sum);
        x = b;
        lvsum3_(a.data(), x.data(), x.data());
        expect_same_bits(x, sum);
        x = a;
        lvdif3_(x.data(), b.data(), x.data());
        expect_same_bits(x, dif);
        x = b;
        lvdif3_(a.data(), x.data(), x.data());
        expect_same_bits(x, dif);
        x = a;
        lvmul3_(x.data(), &s, x.data());
        expect_same_bits(x, mul);
    }
}

TEST(Vector3, ScalarCrossAndTripleProducts) {
    const V3 ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1};
    V3 c{};
    lvkrp3_(ex.data(), ey.data(), c.data());
    EXPECT_EQ(c, (V3{0, 0, 1}));
    EXPECT_EQ(lvspa3_(ex.data(), ey.data(), ez.data()), 1.0);
    EXPECT_EQ(lvspa3_(ey.data(), ex.data(), ez.data()), -1.0);

    // The scalar product adds x, y, z in this order: 1 is absorbed by 1e16
    // before -1e16 cancels it.
    const V3 big{1.0, 1e16, -1e16}, ones{1, 1, 1};
    EXPECT_EQ(lvscl3_(big.data(), ones.data()), 0.0);

    zt::Rng rng(12);
    for (int t = 0; t < 500; ++t) {
        const V3 a = random3(rng, 10.0), b = random3(rng, 0.1), d = random3(rng);
        long double scale = 0;
        for (int i = 0; i < 3; ++i) scale += std::fabs(static_cast<long double>(a[i]) * b[i]);
        EXPECT_TRUE(kc::within(lvscl3_(a.data(), b.data()), kc::dot_ld(a.data(), b.data(), 3), scale, 3));

        lvkrp3_(a.data(), b.data(), c.data());
        const Eigen::Vector3d ec = ev(a).cross(ev(b));
        for (int i = 0; i < 3; ++i) {
            const int j = (i + 1) % 3, k = (i + 2) % 3;
            const long double p = static_cast<long double>(a[j]) * b[k], q = static_cast<long double>(a[k]) * b[j];
            EXPECT_TRUE(kc::within(c[i], p - q, std::fabs(p) + std::fabs(q), 2)) << "component " << i;
            EXPECT_TRUE(kc::within(c[i], ec[i], std::fabs(p) + std::fabs(q), 4));
        }
        // The cross product is perpendicular to both factors.
        EXPECT_LE(std::fabs(kc::dot_ld(c.data(), a.data(), 3)), 16 * kU * kc::norm_ld(a.data(), 3) * kc::norm_ld(a.data(), 3) * kc::norm_ld(b.data(), 3));

        Eigen::Matrix3d rows;
        rows.row(0) = ev(a);
        rows.row(1) = ev(b);
        rows.row(2) = ev(d);
        const long double vol = kc::norm_ld(a.data(), 3) * kc::norm_ld(b.data(), 3) * kc::norm_ld(d.data(), 3);
        EXPECT_TRUE(kc::within(lvspa3_(a.data(), b.data(), d.data()), rows.determinant(), vol, 24));
    }
}

TEST(Vector3, LengthsAndDistance) {
    const V3 a{3, 4, 0};
    EXPECT_EQ(lvlgt3_(a.data()), 5.0);
    const V3 p{1, 0, 0}, q{4, 4, 0};
    double d = 0;
    lvdis3_(p.data(), q.data(), &d);
    EXPECT_EQ(d, 25.0);  // the square of the distance, not the distance

    zt::Rng rng(13);
    for (int t = 0; t < 500; ++t) {
        const V3 u = random3(rng, 1e5), v = random3(rng, 1e5);
        EXPECT_TRUE(kc::near_rel(lvlgt3_(u.data()), kc::norm_ld(u.data(), 3), 3));
        lvdis3_(u.data(), v.data(), &d);
        long double e = 0;
        for (int i = 0; i < 3; ++i) e += (static_cast<long double>(u[i]) - v[i]) * (static_cast<long double>(u[i]) - v[i]);
        EXPECT_TRUE(kc::near_rel(d, e, 6));
    }
    // Tiny vectors lose their length to underflow of the squares (no scaling
    // on that side); this is the documented plain formula.
    const V3 tiny{1e-170, 0, 0};
    EXPECT_EQ(lvlgt3_(tiny.data()), 0.0);
}

TEST(Vector3, NormaliseThreshold) {
    V3 b{7, 7, 7};
    int32_t ierr = -1;
    const V3 zero{0, 0, 0};
    lvnrm3_(zero.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(b, (V3{0, 0, 0}));

    // A length of exactly 1e-8 is accepted, one just below is not.
    const V3 at{1e-8, 0, 0};
    ASSERT_EQ(std::sqrt(at[0] * at[0]), 1e-8);
    lvnrm3_(at.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(kc::near_rel(b[0], 1.0L, 2));
    const V3 below{std::nextafter(1e-8, 0.0), 0, 0};
    b = {7, 7, 7};
    lvnrm3_(below.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(b, (V3{0, 0, 0}));

    zt::Rng rng(14);
    for (int t = 0; t < 500; ++t) {
        const double scale = std::pow(10.0, rng.uniform(-5.0, 150.0));
        const V3 a = random3(rng, scale);
        lvnrm3_(a.data(), b.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_TRUE(kc::near_rel(static_cast<double>(kc::norm_ld(b.data(), 3)), 1.0L, 4));
        const long double len = kc::norm_ld(a.data(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(kc::within(b[i], a[i] / len, 1.0L, 4));
        V3 x = a;
        lvnrm3_(x.data(), x.data(), &ierr);  // in place
        expect_same_bits(x, b);
    }
}

TEST(Vector3, NormaliseWithLength) {
    const V3 a{3, 4, 0};
    V3 b{};
    double len = -1;
    int32_t ierr = -1;
    lvnrmb_(a.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(len, 5.0);
    // One pass with the reciprocal of 5 is already within 1e-8 of unit
    // length, so the corrective pass leaves it alone.
    const double r = 1.0 / 5.0;
    EXPECT_BITEQ(b[0], 3.0 * r);
    EXPECT_BITEQ(b[1], 4.0 * r);
    EXPECT_BITEQ(b[2], 0.0 * r);

    const V3 zero{0, 0, 0};
    b = {7, 7, 7};
    lvnrmb_(zero.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(len, 0.0);
    EXPECT_EQ(b, (V3{0, 0, 0}));

    zt::Rng rng(15);
    for (int t = 0; t < 500; ++t) {
        const V3 v = random3(rng, std::pow(10.0, rng.uniform(-5.0, 100.0)));
        lvnrmb_(v.data(), b.data(), &len, &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_TRUE(kc::near_rel(len, kc::norm_ld(v.data(), 3), 3));
        EXPECT_TRUE(kc::near_rel(static_cast<double>(kc::norm_ld(b.data(), 3)), 1.0L, 4));
        V3 x = v;
        double len2 = 0;
        lvnrmb_(x.data(), x.data(), &len2, &ierr);  // in place
        expect_same_bits(x, b);
        EXPECT_BITEQ(len2, len);
    }
}

TEST(Vector3, NaNLengthIsValidForPlainButNotForCheckedNormalise) {
    const V3 a{kNaN, 1.0, 0.0};
    V3 b{7, 7, 7};
    int32_t ierr = -1;
    lvnrm3_(a.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(b[0]) && std::isnan(b[1]) && std::isnan(b[2]));

    double len = -1;
    b = {7, 7, 7};
    lvnrmb_(a.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(len, 0.0);
    EXPECT_EQ(b, (V3{0, 0, 0}));

    // NaN after elements whose squares overflow: the sum is NaN, not +inf,
    // so the plain formula (and its NaN rules) still decides.
    const V3 big_nan{1e200, 1e200, kNaN};
    lvnrmb_(big_nan.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 1);
    lvnrm3_(big_nan.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(b[2]));
    EXPECT_TRUE(std::isnan(lvlgt3_(big_nan.data())));
}

// Scaling a vector by a power of two scales the exact length and leaves the
// exact direction alone; without underflow or overflow the computed ones
// follow bit for bit.  Across the overflow boundary this pins the rescued
// results to what the plain formula gives in range.
TEST(Vector3, OverflowRescueOfLengthsAndNormalisations) {
    const double s = kc::largest_squarable();
    const double s1 = std::nextafter(s, kInf);
    int32_t ierr = -1;
    V3 b{};
    double len = 0;

    // Just inside: the plain sum is finite and decides.
    const V3 in{s, 0, 0};
    EXPECT_BITEQ(lvlgt3_(in.data()), std::sqrt(s * s));
    // Just outside: the plain sum overflows, the rescued length is exact.
    const V3 out{s1, 0, 0};
    ASSERT_EQ(s1 * s1, kInf);
    EXPECT_BITEQ(lvlgt3_(out.data()), s1);
    lvnrm3_(out.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b, (V3{1, 0, 0}));
    lvnrmb_(out.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_BITEQ(len, s1);
    EXPECT_EQ(b, (V3{1, 0, 0}));

    // Three components whose squares are finite but whose sum is not; the
    // sum of squares just below the largest double stays plain.
    const double x_out = std::sqrt(std::numeric_limits<double>::max() / 2.5);
    const V3 three_out{x_out, -x_out, x_out};
    ASSERT_TRUE(std::isfinite(x_out * x_out));
    ASSERT_EQ(x_out * x_out + x_out * x_out + x_out * x_out, kInf);
    EXPECT_TRUE(kc::near_rel(lvlgt3_(three_out.data()), kc::norm_ld(three_out.data(), 3), 2));
    const double x_in = std::sqrt(std::numeric_limits<double>::max() / 3.5);
    const V3 three_in{x_in, x_in, -x_in};
    const double plain = x_in * x_in + x_in * x_in + x_in * x_in;
    ASSERT_TRUE(std::isfinite(plain));
    EXPECT_BITEQ(lvlgt3_(three_in.data()), std::sqrt(plain));

    zt::Rng rng(16);
    for (int t = 0; t < 300; ++t) {
        const V3 small = random3(rng, 1.0);
        const int shift = 400 + static_cast<int>(rng.uniform(0.0, 623.0));
        V3 huge;
        for (int i = 0; i < 3; ++i) huge[i] = std::ldexp(small[i], shift);
        const bool over = !std::isfinite(huge[0] * huge[0] + huge[1] * huge[1] + huge[2] * huge[2]);

        const double l_small = lvlgt3_(small.data());
        const double l_huge = lvlgt3_(huge.data());
        EXPECT_BITEQ(l_huge, std::ldexp(l_small, shift)) << "overflowing sum: " << over;

        V3 b_small{}, b_huge{};
        int32_t e1 = -1, e2 = -1;
        lvnrm3_(small.data(), b_small.data(), &e1);
        lvnrm3_(huge.data(), b_huge.data(), &e2);
        EXPECT_EQ(e2, e1);
        expect_same_bits(b_huge, b_small);

        double len_small = 0, len_huge = 0;
        lvnrmb_(small.data(), b_small.data(), &len_small, &e1);
        lvnrmb_(huge.data(), b_huge.data(), &len_huge, &e2);
        EXPECT_EQ(e2, 0);
        expect_same_bits(b_huge, b_small);
        // The length is reported as it is: +inf only beyond the double range.
        EXPECT_BITEQ(len_huge, std::ldexp(len_small, shift));
    }

    // A length beyond the double range: +inf, and still a unit direction.
    const V3 beyond{1.5e308, -1.5e308, 1.5e308};
    ASSERT_GT(kc::norm_ld(beyond.data(), 3), std::numeric_limits<double>::max());
    EXPECT_EQ(lvlgt3_(beyond.data()), kInf);
    lvnrmb_(beyond.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(len, kInf);
    const long double third = 1.0L / std::sqrt(3.0L);
    EXPECT_TRUE(kc::near_rel(b[0], third, 2));
    EXPECT_TRUE(kc::near_rel(b[1], -third, 2));
    EXPECT_TRUE(kc::near_rel(b[2], third, 2));
    V3 c = beyond;
    lvnrm3_(c.data(), c.data(), &ierr);  // in place through the rescue
    EXPECT_EQ(ierr, 0);
    expect_same_bits(c, b);

    // An infinite element is not rescued: the plain formula decides.
    const V3 inf_el{kInf, 1.0, 0.0};
    EXPECT_EQ(lvlgt3_(inf_el.data()), kInf);
    lvnrm3_(inf_el.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(b[0]));  // inf times 1/inf
    EXPECT_EQ(b[1], 0.0);
}

TEST(Vector3, FrameCompletion) {
    V3 b{}, c{};
    int32_t ierr = -1;
    const V3 a1{0, 0, 2};
    lvo23_(a1.data(), b.data(), c.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b, (V3{-1, 0, 0}));
    EXPECT_EQ(c, (V3{0, -1, 0}));

    // Parallel to the y axis: the first candidate fails, the z axis is next.
    const V3 a2{0, 5, 0};
    lvo23_(a2.data(), b.data(), c.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b, (V3{1, 0, 0}));
    EXPECT_EQ(c, (V3{0, 0, -1}));

    const V3 zero{0, 0, 0};
    b = {7, 7, 7};
    c = {8, 8, 8};
    lvo23_(zero.data(), b.data(), c.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(b, (V3{7, 7, 7}));
    EXPECT_EQ(c, (V3{8, 8, 8}));

    zt::Rng rng(17);
    for (int t = 0; t < 500; ++t) {
        V3 a = random3(rng, std::pow(10.0, rng.uniform(-5.0, 300.0)));
        if (t % 50 == 0) a = {0.0, rng.uniform(1.0, 3.0), 1e-12};  // nearly along y
        lvo23_(a.data(), b.data(), c.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        const long double la = kc::norm_ld(a.data(), 3);
        const double u[3] = {static_cast<double>(a[0] / la), static_cast<double>(a[1] / la),
                             static_cast<double>(a[2] / la)};
        Eigen::Matrix3d f;
        f.col(0) = Eigen::Vector3d(u[0], u[1], u[2]);
        f.col(1) = ev(b);
        f.col(2) = ev(c);
        // Orthonormal and right-handed.
        EXPECT_LT((f.transpose() * f - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 16 * kU);
        EXPECT_NEAR(f.determinant(), 1.0, 16 * kU);
        // b is perpendicular to the y axis whenever a leaves it room to be.
        if (std::fabs(u[1]) < 0.9) {
            EXPECT_EQ(b[1], 0.0);
        }

        // b or c may be the input itself.
        V3 x = a, y{}, z{};
        lvo23_(x.data(), x.data(), z.data(), &ierr);
        expect_same_bits(x, b);
        expect_same_bits(z, c);
        x = a;
        lvo23_(x.data(), y.data(), x.data(), &ierr);
        expect_same_bits(y, b);
        expect_same_bits(x, c);
    }
}

TEST(Vector3, FrameCompletionIsReentrant) {
    // Threads completing different directions at once must each get the
    // frame a lone call gives.
    constexpr int kThreads = 4, kCalls = 4000;
    zt::Rng rng(18);
    std::vector<V3> dirs(kThreads * 8);
    for (auto& d : dirs) d = random3(rng, 10.0);
    std::vector<std::array<V3, 2>> want(dirs.size());
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        int32_t ierr = -1;
        lvo23_(dirs[i].data(), want[i][0].data(), want[i][1].data(), &ierr);
    }
    std::vector<int> mismatches(kThreads, 0);
    std::vector<std::thread> pool;
    for (int t = 0; t < kThreads; ++t)
        pool.emplace_back([&, t] {
            for (int k = 0; k < kCalls; ++k) {
                const std::size_t i = static_cast<std::size_t>(t * 8 + k % 8);
                V3 b{}, c{};
                int32_t ierr = -1;
                lvo23_(dirs[i].data(), b.data(), c.data(), &ierr);
                if (ierr != 0 || b != want[i][0] || c != want[i][1]) ++mismatches[t];
            }
        });
    for (auto& th : pool) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(Vector3, AngleBetweenVectors) {
    const V3 x{1, 0, 0}, y2{0, 2, 0}, mx{-3, 0, 0}, zero{0, 0, 0};
    EXPECT_BITEQ(lvwin3_(x.data(), y2.data()), kHalfPi);
    EXPECT_BITEQ(lvwin3_(x.data(), mx.data()), kPi);
    EXPECT_BITEQ(lvwin3_(x.data(), zero.data()), 0.0);
    EXPECT_BITEQ(lvwin3_(zero.data(), x.data()), 0.0);

    zt::Rng rng(19);
    for (int t = 0; t < 1000; ++t) {
        const V3 a = random3(rng, 5.0), b = random3(rng, 0.5);
        // Reference from atan2 of sine and cosine, accurate at every angle.
        Eigen::Matrix<long double, 3, 1> la(a[0], a[1], a[2]), lb(b[0], b[1], b[2]);
        const long double sine = la.cross(lb).norm(), cosine = la.dot(lb);
        const long double exact = std::atan2(sine, cosine);
        const long double sin_rel = sine / (la.norm() * lb.norm());
        const double w = lvwin3_(a.data(), b.data());
        EXPECT_TRUE(kc::within(w, exact, 1.0L, 8.0 / std::max(static_cast<double>(sin_rel), 1e-3)));

        // A vector with itself or its opposite: the cosine may round beyond
        // +-1 and must be clamped, never reach the arc cosine as NaN.
        V3 na{-a[0], -a[1], -a[2]};
        const double same = lvwin3_(a.data(), a.data());
        const double opp = lvwin3_(a.data(), na.data());
        EXPECT_TRUE(same >= 0.0 && same < 1e-7) << same;
        EXPECT_TRUE(opp <= kPi && opp > kPi - 1e-7) << opp;
    }
}

TEST(Vector3, ClampedArcCosine) {
    const double v1 = 1.0000001, v2 = -2.0, one = 1.0, mone = -1.0, half = 0.5;
    EXPECT_BITEQ(haacos_(&v1), 0.0);
    EXPECT_BITEQ(haacos_(&v2), kPi);
    EXPECT_BITEQ(haacos_(&one), 0.0);
    EXPECT_BITEQ(haacos_(&mone), kPi);
    EXPECT_BITEQ(haacos_(&kInf), 0.0);
    const double minf = -kInf;
    EXPECT_BITEQ(haacos_(&minf), kPi);
    EXPECT_TRUE(kc::near_rel(haacos_(&half), std::acos(0.5L), 1));
    EXPECT_TRUE(std::isnan(haacos_(&kNaN)));
}

TEST(Vector3, SweepBetweenAngles) {
    double d = 0;
    const int32_t pos = 1, neg = 0, other = -3;
    const double w1 = 1.0, w2 = 1.00005;
    lvwiwi_(&w1, &w2, &pos, &d);
    EXPECT_BITEQ(d, kTwoPi);
    lvwiwi_(&w1, &w2, &neg, &d);
    EXPECT_BITEQ(d, -kTwoPi);

    const double five = 5.0, one = 1.0;
    lvwiwi_(&five, &one, &pos, &d);
    EXPECT_BITEQ(d, -4.0 + kTwoPi);
    lvwiwi_(&five, &one, &other, &d);  // any non-zero sense is positive
    EXPECT_BITEQ(d, -4.0 + kTwoPi);
    lvwiwi_(&five, &one, &neg, &d);
    EXPECT_BITEQ(d, -4.0);
    lvwiwi_(&one, &five, &pos, &d);
    EXPECT_BITEQ(d, 4.0);
    lvwiwi_(&one, &five, &neg, &d);
    EXPECT_BITEQ(d, 4.0 - kTwoPi);

    zt::Rng rng(20);
    for (int t = 0; t < 2000; ++t) {
        const double a = rng.uniform(0.0, kTwoPi), b = rng.uniform(0.0, kTwoPi);
        double dp = 0, dn = 0;
        lvwiwi_(&a, &b, &pos, &dp);
        lvwiwi_(&a, &b, &neg, &dn);
        EXPECT_TRUE(dp > 0.0 && dp <= kTwoPi) << dp;
        EXPECT_TRUE(dn < 0.0 && dn >= -kTwoPi) << dn;
        // The two senses together make one full turn (two for coinciding
        // angles).
        EXPECT_NEAR(dp - dn, std::fabs(b - a) < 0.0001 ? 2 * kTwoPi : kTwoPi, 1e-14);
        // Sweeping on from w1 by dp lands on w2 modulo a full turn.
        if (std::fabs(b - a) >= 0.0001) {
            EXPECT_NEAR(std::remainder(static_cast<long double>(a) + dp - b, kTwoPi), 0.0L, 1e-14L);
        }
    }
}

}  // namespace
