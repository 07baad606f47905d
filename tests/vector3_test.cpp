// 3-vector kernels: worked examples, Eigen and long double references,
// aliasing, NaN rules, the overflow rescue of lengths, reentrancy.
#include <Eigen/Dense>

#include <array>
#include <thread>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kU;
using kc::within;
using V3 = std::array<double, 3>;
using E3 = Eigen::Vector3d;
using L3 = Eigen::Matrix<long double, 3, 1>;

constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586;

E3 ev(const V3& v) { return {v[0], v[1], v[2]}; }
L3 lv(const V3& v) { return {v[0], v[1], v[2]}; }
V3 rnd(zt::Rng& r, double s) { return {r.uniform() * s, r.uniform() * s, r.uniform() * s}; }
void bit_eq(const V3& got, const V3& want) {
    for (int i = 0; i < 3; ++i) EXPECT_BITEQ(got[i], want[i]) << " component " << i;
}

TEST(Vector3, WorkedExamples) {
    const V3 ex{1, 0, 0}, ey{0, 1, 0}, ez{0, 0, 1}, zero{0, 0, 0}, a345{3, 4, 0};
    V3 b{}, c{};
    int32_t ierr = -1;
    double len = -1, d = -1;
    lvkrp3_(ex.data(), ey.data(), b.data());
    EXPECT_EQ(b, ez);
    EXPECT_EQ(lvspa3_(ex.data(), ey.data(), ez.data()), 1.0);
    EXPECT_EQ(lvspa3_(ey.data(), ex.data(), ez.data()), -1.0);
    const V3 t{1, 1e16, -1e16}, u{1, -1, 0}, v{0, 1, -1};  // u x v = (1, 1, 1): terms 1, 1e16, -1e16
    EXPECT_EQ(lvspa3_(t.data(), u.data(), v.data()), 0.0);  // added in order, the 1 is absorbed
    const V3 p{4, 4, 0};
    lvdis3_(ex.data(), p.data(), &d);
    EXPECT_EQ(d, 25.0);  // squared, no root
    EXPECT_EQ(lvlgt3_(a345.data()), 5.0);
    const V3 big{1.0, 1e16, -1e16}, ones{1, 1, 1};
    EXPECT_EQ(lvscl3_(big.data(), ones.data()), 0.0);  // x + y first absorbs the 1

    // Normalisation threshold: exactly 1e-8 passes, just below fails.
    for (double x : {0.0, std::nextafter(1e-8, 0.0), 1e-8}) {
        const V3 a{x, 0, 0};
        b = {7, 7, 7};
        lvnrm3_(a.data(), b.data(), &ierr);
        EXPECT_EQ(ierr, x < 1e-8 ? 1 : 0) << x;
        EXPECT_TRUE(x < 1e-8 ? b == zero : std::fabs(b[0] - 1.0) <= 2 * kU) << x;
    }
    lvnrmb_(a345.data(), b.data(), &len, &ierr);  // one pass, no correction
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(len, 5.0);
    bit_eq(b, {3.0 * (1.0 / 5.0), 4.0 * (1.0 / 5.0), 0.0});
    b = {7, 7, 7};
    lvnrmb_(zero.data(), b.data(), &len, &ierr);
    EXPECT_TRUE(ierr == 1 && len == 0.0 && b == zero);

    const V3 z2{0, 0, 2}, y5{0, 5, 0};
    lvo23_(z2.data(), b.data(), c.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && b == (V3{-1, 0, 0}) && c == (V3{0, -1, 0}));
    lvo23_(y5.data(), b.data(), c.data(), &ierr);  // along y: the z axis is next
    EXPECT_TRUE(ierr == 0 && b == (V3{1, 0, 0}) && c == (V3{0, 0, -1}));
    b = {7, 7, 7};
    c = {8, 8, 8};
    lvo23_(zero.data(), b.data(), c.data(), &ierr);
    EXPECT_TRUE(ierr == 1 && b == (V3{7, 7, 7}) && c == (V3{8, 8, 8}));

    const V3 y2{0, 2, 0}, mx{-3, 0, 0};
    EXPECT_BITEQ(lvwin3_(ex.data(), y2.data()), kPi / 2);
    EXPECT_BITEQ(lvwin3_(ex.data(), mx.data()), kPi);
    EXPECT_BITEQ(lvwin3_(ex.data(), zero.data()), 0.0);
    for (auto [x, w] : {std::pair{1.0000001, 0.0}, {-2.0, kPi}, {1.0, 0.0}, {-1.0, kPi}, {-kInf, kPi}})
        EXPECT_BITEQ(haacos_(&x), w);
    EXPECT_TRUE(std::isnan(haacos_(&kNaN)));

    const int32_t pos = 1, neg = 0, other = -3;
    const double one = 1.0, five = 5.0, near1 = 1.00005;
    const auto sweep = [&](const double& w1, const double& w2, const int32_t& s) {
        double r = 0;
        lvwiwi_(&w1, &w2, &s, &r);
        return r;
    };
    EXPECT_BITEQ(sweep(one, near1, pos), kTwoPi);
    EXPECT_BITEQ(sweep(one, near1, neg), -kTwoPi);
    EXPECT_BITEQ(sweep(five, one, pos), -4.0 + kTwoPi);
    EXPECT_BITEQ(sweep(five, one, other), -4.0 + kTwoPi);
    EXPECT_BITEQ(sweep(five, one, neg), -4.0);
    EXPECT_BITEQ(sweep(one, five, pos), 4.0);
    EXPECT_BITEQ(sweep(one, five, neg), 4.0 - kTwoPi);
    const double zero_w = 0.0, tol_w = 0.0001;  // exactly the tolerance: not coinciding
    EXPECT_BITEQ(sweep(zero_w, tol_w, pos), 0.0001);
    EXPECT_BITEQ(sweep(tol_w, zero_w, neg), -0.0001);
}

TEST(Vector3, RandomAgainstEigenAndLongDoubleWithAliasing) {
    zt::Rng rng(11);
    for (int t = 0; t < 500; ++t) {
        const V3 a = rnd(rng, std::pow(10.0, rng.uniform(-5, 150))), b = rnd(rng, 0.1), d = rnd(rng, 1);
        const double s = rng.uniform(-7, 7);
        V3 sum, dif, mul, x;
        lvsum3_(a.data(), b.data(), sum.data());
        lvdif3_(a.data(), b.data(), dif.data());
        lvmul3_(a.data(), &s, mul.data());
        for (int i = 0; i < 3; ++i) {
            EXPECT_BITEQ(sum[i], (ev(a) + ev(b))[i]);
            EXPECT_BITEQ(dif[i], (ev(a) - ev(b))[i]);
            EXPECT_BITEQ(mul[i], (ev(a) * s)[i]);
        }
        x = a, lvsum3_(x.data(), b.data(), x.data()), bit_eq(x, sum);
        x = b, lvsum3_(a.data(), x.data(), x.data()), bit_eq(x, sum);
        x = a, lvdif3_(x.data(), b.data(), x.data()), bit_eq(x, dif);
        x = b, lvdif3_(a.data(), x.data(), x.data()), bit_eq(x, dif);
        x = a, lvmul3_(x.data(), &s, x.data()), bit_eq(x, mul);

        const long double la = lv(a).norm(), lb = lv(b).norm();
        EXPECT_TRUE(within(lvscl3_(a.data(), b.data()), lv(a).dot(lv(b)), la * lb * 2, 3));
        lvkrp3_(a.data(), b.data(), x.data());
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(within(x[i], lv(a).cross(lv(b))[i], la * lb * 2, 2));
        Eigen::Matrix3d rows;
        rows << ev(a).transpose(), ev(b).transpose(), ev(d).transpose();
        EXPECT_TRUE(within(lvspa3_(a.data(), b.data(), d.data()), rows.determinant(), la * lb * lv(d).norm(), 24));
        EXPECT_TRUE(within(lvlgt3_(a.data()), la, la, 3));

        int32_t ierr = -1;
        double len = 0;
        V3 u{}, w{}, c{};
        lvnrm3_(a.data(), u.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(within(u[i], a[i] / la, 1, 4));
        x = a, lvnrm3_(x.data(), x.data(), &ierr), bit_eq(x, u);
        lvnrmb_(a.data(), w.data(), &len, &ierr);
        EXPECT_TRUE(within(len, la, la, 3));
        EXPECT_TRUE(within(static_cast<double>(lv(w).norm()), 1.0L, 1, 4));
        x = a, lvnrmb_(x.data(), x.data(), &len, &ierr), bit_eq(x, w);

        // Frame completion: orthonormal, right-handed, b perpendicular to y
        // whenever a leaves room; b or c may be a.
        lvo23_(a.data(), w.data(), c.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        Eigen::Matrix3d f;
        f << ev(u), ev(w), ev(c);
        EXPECT_LT((f.transpose() * f - Eigen::Matrix3d::Identity()).cwiseAbs().maxCoeff(), 16 * kU);
        EXPECT_NEAR(f.determinant(), 1.0, 16 * kU);
        EXPECT_TRUE(std::fabs(u[1]) >= 0.9 || w[1] == 0.0);
        V3 y{}, z{};
        x = a, lvo23_(x.data(), x.data(), z.data(), &ierr), bit_eq(x, w), bit_eq(z, c);
        x = a, lvo23_(x.data(), y.data(), x.data(), &ierr), bit_eq(y, w), bit_eq(x, c);

        // Angle against atan2(|a x b|, a.b); a vector with itself or its
        // opposite needs the clamp of the cosine.
        const long double sine = lv(a).cross(lv(b)).norm() / (la * lb);
        const double ang = lvwin3_(a.data(), b.data());
        EXPECT_TRUE(within(ang, std::atan2(sine, lv(a).dot(lv(b)) / (la * lb)), 1, 8 / std::max(1e-3L, sine)));
        const V3 na{-a[0], -a[1], -a[2]};
        EXPECT_LT(lvwin3_(a.data(), a.data()), 1e-7);
        EXPECT_GT(lvwin3_(a.data(), na.data()), kPi - 1e-7);

        const double w1 = rng.uniform(0, kTwoPi), w2 = rng.uniform(0, kTwoPi);
        const int32_t pos = 1, neg = 0;
        double dp = 0, dn = 0;
        lvwiwi_(&w1, &w2, &pos, &dp);
        lvwiwi_(&w1, &w2, &neg, &dn);
        EXPECT_TRUE(dp > 0 && dp <= kTwoPi && dn < 0 && dn >= -kTwoPi) << dp << " " << dn;
        EXPECT_NEAR(dp - dn, std::fabs(w2 - w1) < 1e-4 ? 2 * kTwoPi : kTwoPi, 1e-14);
    }
}

TEST(Vector3, NaNLengthValidForPlainFailureForChecked) {
    for (const V3 a : {V3{kNaN, 1, 0}, V3{1e200, 1e200, kNaN}}) {  // the second sum is NaN, not inf
        V3 b{7, 7, 7};
        int32_t ierr = -1;
        double len = -1;
        lvnrm3_(a.data(), b.data(), &ierr);
        EXPECT_TRUE(ierr == 0 && std::isnan(b[0]) && std::isnan(b[2]));
        lvnrmb_(a.data(), b.data(), &len, &ierr);
        EXPECT_TRUE(ierr == 1 && len == 0.0 && b == (V3{0, 0, 0}));
        EXPECT_TRUE(std::isnan(lvlgt3_(a.data())));
    }
}

// Power-of-two scaling commutes with every rounding of the plain formula
// while nothing overflows, so a vector scaled past the overflow of its sum
// of squares gives the scaled length and the same direction bit for bit.
TEST(Vector3, OverflowRescue) {
    const double s = kc::largest_squarable(), s1 = std::nextafter(s, kInf);
    const V3 in{s, 0, 0}, out{s1, 0, 0};
    V3 b{};
    int32_t ierr = -1;
    double len = 0;
    EXPECT_BITEQ(lvlgt3_(in.data()), std::sqrt(s * s));
    EXPECT_BITEQ(lvlgt3_(out.data()), s1);
    lvnrmb_(out.data(), b.data(), &len, &ierr);
    EXPECT_TRUE(ierr == 0 && len == s1 && b == (V3{1, 0, 0}));
    const double xi = std::sqrt(std::numeric_limits<double>::max() / 3.5);  // sum just finite: plain bits
    const V3 three_in{xi, xi, -xi};
    EXPECT_BITEQ(lvlgt3_(three_in.data()), std::sqrt(xi * xi + xi * xi + xi * xi));

    zt::Rng rng(16);
    for (int t = 0; t < 300; ++t) {
        const V3 small = rnd(rng, 1);
        const int k = 400 + static_cast<int>(rng.uniform(0, 623));
        const V3 huge{std::ldexp(small[0], k), std::ldexp(small[1], k), std::ldexp(small[2], k)};
        EXPECT_BITEQ(lvlgt3_(huge.data()), std::ldexp(lvlgt3_(small.data()), k));
        V3 bs{}, bh{};
        int32_t e1 = -1, e2 = -1;
        lvnrm3_(small.data(), bs.data(), &e1);
        lvnrm3_(huge.data(), bh.data(), &e2);
        EXPECT_EQ(e2, e1);
        bit_eq(bh, bs);
        double ls = 0, lh = 0;
        lvnrmb_(small.data(), bs.data(), &ls, &e1);
        lvnrmb_(huge.data(), bh.data(), &lh, &e2);
        bit_eq(bh, bs);
        EXPECT_BITEQ(lh, std::ldexp(ls, k));  // +inf only beyond the double range
    }

    const V3 beyond{1.5e308, -1.5e308, 1.5e308};
    lvnrmb_(beyond.data(), b.data(), &len, &ierr);
    EXPECT_TRUE(ierr == 0 && len == kInf);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(within(b[i], (i == 1 ? -1 : 1) / std::sqrt(3.0L), 1, 2));
    V3 c = beyond;
    lvnrm3_(c.data(), c.data(), &ierr);
    bit_eq(c, b);
    const V3 inf_el{kInf, 1, 0};  // an infinite element keeps the plain formula
    EXPECT_EQ(lvlgt3_(inf_el.data()), kInf);
    lvnrm3_(inf_el.data(), b.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && std::isnan(b[0]) && b[1] == 0.0);
}

TEST(Vector3, FrameCompletionIsReentrant) {
    zt::Rng rng(18);
    std::array<V3, 4> dirs, wb, wc;
    for (int i = 0; i < 4; ++i) {
        int32_t ierr = -1;
        dirs[i] = rnd(rng, 10);
        lvo23_(dirs[i].data(), wb[i].data(), wc[i].data(), &ierr);
    }
    std::array<int, 4> bad{};
    std::array<std::thread, 4> pool;
    for (int t = 0; t < 4; ++t)
        pool[t] = std::thread([&, t] {
            for (int k = 0; k < 5000; ++k) {
                V3 b{}, c{};
                int32_t ierr = -1;
                lvo23_(dirs[t].data(), b.data(), c.data(), &ierr);
                bad[t] += (b != wb[t] || c != wc[t]);
            }
        });
    for (auto& th : pool) th.join();
    EXPECT_EQ(bad, (std::array<int, 4>{}));
}

}  // namespace
