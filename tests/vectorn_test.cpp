// Kernels on vectors of run-time length: counts below 1, Eigen and long
// double references, summation order, aliasing, the guarded division, the
// interchange lists against Eigen's Transpositions, and the overflow rescue
// of the norm and the normalisation.
#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kSentinel;
using kc::kU;
using Vec = std::vector<double>;

Eigen::Map<const Eigen::VectorXd> ev(const Vec& v) {
    return {v.data(), static_cast<Eigen::Index>(v.size())};
}

void expect_same_bits(const Vec& got, const Vec& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_BITEQ(got[i], want[i]) << " element " << i;
}

TEST(VectorN, CountsBelowOneDoNoWork) {
    const Vec a{1, 2, 3}, b{4, 5, 6};
    const double s = 2.0;
    const int32_t p[3] = {3, 2, 1};
    for (const int32_t n : {0, -1, -2147483647 - 1}) {
        Vec c = kc::sentinels(3);
        lvsumn_(&n, a.data(), b.data(), c.data());
        lvdifn_(&n, a.data(), b.data(), c.data());
        lvmuln_(&n, a.data(), &s, c.data());
        for (const int32_t mode : {-1, 1}) lvmldn_(&mode, &n, a.data(), b.data(), c.data());
        for (const int32_t mode : {-1, 1}) lvprmn_(&mode, &n, a.data(), c.data(), p);
        int32_t ierr = -7;
        lvnrmn_(&n, a.data(), c.data(), &ierr);
        EXPECT_EQ(ierr, 1);  // an empty vector has no direction
        for (double v : c) EXPECT_EQ(v, kSentinel) << "n = " << n;
        EXPECT_BITEQ(lvscln_(&n, a.data(), b.data()), 0.0);
        EXPECT_BITEQ(lvlgtn_(&n, a.data()), 0.0);
    }
}

TEST(VectorN, ElementWiseMatchEigenAndWorkInPlace) {
    zt::Rng rng(21);
    for (const int32_t n : {1, 2, 7, 64, 1001}) {
        const Vec a = rng.vec(n, -1e3, 1e3), b = rng.vec(n, -1e-3, 1e-3);
        const double s = rng.uniform(-9.0, 9.0);
        // One element more than the count, which must survive.
        Vec sum = kc::sentinels(n + 1), dif = kc::sentinels(n + 1), mul = kc::sentinels(n + 1);
        lvsumn_(&n, a.data(), b.data(), sum.data());
        lvdifn_(&n, a.data(), b.data(), dif.data());
        lvmuln_(&n, a.data(), &s, mul.data());
        const Eigen::VectorXd es = ev(a) + ev(b), ed = ev(a) - ev(b), em = ev(a) * s;
        for (int i = 0; i < n; ++i) {
            EXPECT_BITEQ(sum[i], es[i]);
            EXPECT_BITEQ(dif[i], ed[i]);
            EXPECT_BITEQ(mul[i], em[i]);
        }
        EXPECT_EQ(sum[n], kSentinel);
        EXPECT_EQ(dif[n], kSentinel);
        EXPECT_EQ(mul[n], kSentinel);
        sum.pop_back();
        dif.pop_back();
        mul.pop_back();

        Vec x = a;
        lvsumn_(&n, x.data(), b.data(), x.data());
        expect_same_bits(x, sum);
        x = b;
        lvsumn_(&n, a.data(), x.data(), x.data());
        expect_same_bits(x, sum);
        x = a;
        lvdifn_(&n, x.data(), b.data(), x.data());
        expect_same_bits(x, dif);
        x = b;
        lvdifn_(&n, a.data(), x.data(), x.data());
        expect_same_bits(x, dif);
        x = a;
        lvmuln_(&n, x.data(), &s, x.data());
        expect_same_bits(x, mul);
    }
}

TEST(VectorN, DiagonalScaling) {
    const int32_t n = 4, divide = -1, multiply = 1;
    const Vec x{2, 0, 1e-21, -4}, y{1, 1, 1, 2};
    Vec z{9, 9, 9, 9};
    lvmldn_(&divide, &n, x.data(), y.data(), z.data());
    EXPECT_EQ(z, (Vec{0.5, 9, 9, -0.5}));
    lvmldn_(&multiply, &n, x.data(), y.data(), z.data());
    EXPECT_EQ(z, (Vec{2, 0, 1e-21, -8}));
    for (const int32_t mode : {0, 2, -2, 99}) {  // every mode but -1 multiplies
        z = {9, 9, 9, 9};
        lvmldn_(&mode, &n, x.data(), y.data(), z.data());
        EXPECT_EQ(z, (Vec{2, 0, 1e-21, -8})) << "mode " << mode;
    }

    // The divisor bound is strict, and a NaN divisor leaves its element.
    const Vec xb{1e-20, std::nextafter(1e-20, 1.0), kNaN, -1e-20};
    const Vec yb{1, 1, 1, 1};
    z = {9, 9, 9, 9};
    lvmldn_(&divide, &n, xb.data(), yb.data(), z.data());
    EXPECT_EQ(z[0], 9.0);
    EXPECT_BITEQ(z[1], 1.0 / xb[1]);
    EXPECT_EQ(z[2], 9.0);
    EXPECT_EQ(z[3], 9.0);

    // z may be y; the quotient is a true division.
    zt::Rng rng(22);
    const int32_t m = 50;
    const Vec xr = rng.vec(m, 0.5, 4.0), yr = rng.vec(m);
    Vec zr = yr;
    lvmldn_(&divide, &m, xr.data(), zr.data(), zr.data());
    const Eigen::VectorXd q = ev(yr).cwiseQuotient(ev(xr));
    for (int i = 0; i < m; ++i) EXPECT_BITEQ(zr[i], q[i]);
    zr = yr;
    lvmldn_(&multiply, &m, xr.data(), zr.data(), zr.data());
    const Eigen::VectorXd pr = ev(xr).cwiseProduct(ev(yr));
    for (int i = 0; i < m; ++i) EXPECT_BITEQ(zr[i], pr[i]);
}

TEST(VectorN, ScalarProductAndNormSumInIndexOrderFromZero) {
    // 1 is absorbed into 1e16 before -1e16 cancels it.
    const int32_t three = 3;
    const Vec big{1.0, 1e16, -1e16}, ones{1, 1, 1};
    EXPECT_EQ(lvscln_(&three, big.data(), ones.data()), 0.0);
    // The sum starts from +0, so a lone -0 product gives +0.
    const int32_t one = 1;
    const double mz = -0.0, pone = 1.0;
    EXPECT_BITEQ(lvscln_(&one, &mz, &pone), 0.0);
    // 1e16 first, then a hundred squares of 1 that it absorbs one by one: the
    // root is 1e8 exactly, where a sum that took the small squares together
    // first would give more.
    Vec v(101, 1.0);
    v[0] = 1e8;
    const int32_t n101 = 101;
    EXPECT_BITEQ(lvlgtn_(&n101, v.data()), 1e8);

    zt::Rng rng(23);
    for (const int32_t n : {1, 3, 10, 257, 4096}) {
        const Vec a = rng.vec(n, -1e5, 1e5), b = rng.vec(n);
        long double scale = 0;
        for (int i = 0; i < n; ++i) scale += std::fabs(static_cast<long double>(a[i]) * b[i]);
        EXPECT_TRUE(kc::within(lvscln_(&n, a.data(), b.data()), kc::dot_ld(a.data(), b.data(), n), scale, n + 1));
        EXPECT_TRUE(kc::near_rel(lvlgtn_(&n, a.data()), kc::norm_ld(a.data(), n), n + 2));
        EXPECT_TRUE(kc::near_rel(lvlgtn_(&n, a.data()), ev(a).norm(), 2 * n + 2));
    }
}

TEST(VectorN, Normalise) {
    const int32_t four = 4;
    const Vec a{0, 3, 0, 4};
    Vec b = kc::sentinels(4);
    int32_t ierr = -1;
    lvnrmn_(&four, a.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b[0], 0.0);
    EXPECT_TRUE(kc::near_rel(b[1], 0.6L, 2));
    EXPECT_EQ(b[2], 0.0);
    EXPECT_TRUE(kc::near_rel(b[3], 0.8L, 2));

    const Vec zero(4, 0.0);
    b = kc::sentinels(4);
    lvnrmn_(&four, zero.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(b, zero);
    // Exactly 1e-8 is long enough, just below is not.
    const Vec at{1e-8, 0, 0, 0}, below{std::nextafter(1e-8, 0.0), 0, 0, 0};
    lvnrmn_(&four, at.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    b = kc::sentinels(4);
    lvnrmn_(&four, below.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 1);
    EXPECT_EQ(b, zero);

    // A NaN norm goes through as valid.
    const Vec withnan{1, kNaN, 2, 3};
    lvnrmn_(&four, withnan.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    for (double v : b) EXPECT_TRUE(std::isnan(v));

    zt::Rng rng(24);
    for (const int32_t n : {1, 2, 5, 100, 3000}) {
        const Vec v = rng.vec(n, -1e3, 1e3);
        Vec u = kc::sentinels(n + 1);
        lvnrmn_(&n, v.data(), u.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_EQ(u[n], kSentinel);
        u.pop_back();
        EXPECT_TRUE(kc::near_rel(static_cast<double>(kc::norm_ld(u.data(), n)), 1.0L, n + 4));
        const long double len = kc::norm_ld(v.data(), n);
        for (int i = 0; i < n; ++i) EXPECT_TRUE(kc::within(u[i], v[i] / len, 1.0L, n + 4));
        Vec x = v;
        lvnrmn_(&n, x.data(), x.data(), &ierr);  // in place
        expect_same_bits(x, u);
    }
}

// Scaling by a power of two commutes with every rounding while nothing
// underflows or overflows, so a vector scaled far beyond the overflow of its
// sum of squares must give the scaled norm and the same direction bit for
// bit; on the finite side the plain sum decides.
TEST(VectorN, OverflowRescueOfNormAndNormalise) {
    const double s = kc::largest_squarable();
    const double s1 = std::nextafter(s, kInf);
    const int32_t two = 2;
    const Vec in{0.0, s}, out{0.0, s1};
    EXPECT_BITEQ(lvlgtn_(&two, in.data()), std::sqrt(s * s));
    EXPECT_BITEQ(lvlgtn_(&two, out.data()), s1);
    Vec b(2);
    int32_t ierr = -1;
    lvnrmn_(&two, out.data(), b.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b, (Vec{0.0, 1.0}));

    zt::Rng rng(25);
    for (const int32_t n : {2, 3, 17, 400}) {
        for (int t = 0; t < 20; ++t) {
            const Vec small = rng.vec(n);
            const int shift = 300 + static_cast<int>(rng.uniform(0.0, 723.0));
            Vec huge(n);
            for (int i = 0; i < n; ++i) huge[i] = std::ldexp(small[i], shift);
            EXPECT_BITEQ(lvlgtn_(&n, huge.data()), std::ldexp(lvlgtn_(&n, small.data()), shift));
            Vec bs(n), bh(n);
            int32_t e1 = -1, e2 = -1;
            lvnrmn_(&n, small.data(), bs.data(), &e1);
            lvnrmn_(&n, huge.data(), bh.data(), &e2);
            EXPECT_EQ(e2, 0);
            expect_same_bits(bh, bs);
        }
    }

    // Norm beyond the double range: +inf, direction still a unit vector.
    const int32_t n = 64;
    Vec beyond(n, 1e308);
    beyond[5] = -1e308;
    EXPECT_EQ(lvlgtn_(&n, beyond.data()), kInf);
    Vec u(n);
    lvnrmn_(&n, beyond.data(), u.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(kc::near_rel(u[0], 0.125L, 6));
    EXPECT_TRUE(kc::near_rel(u[5], -0.125L, 6));
    EXPECT_TRUE(kc::near_rel(static_cast<double>(kc::norm_ld(u.data(), n)), 1.0L, 8));

    // Squares finite, sum beyond: against long double.
    Vec many(n, 2e153);
    EXPECT_TRUE(kc::near_rel(lvlgtn_(&n, many.data()), kc::norm_ld(many.data(), n), 4));

    // An infinite element is not rescued.
    const Vec withinf{1.0, kInf, 1e300};
    const int32_t three = 3;
    EXPECT_EQ(lvlgtn_(&three, withinf.data()), kInf);
    Vec w(3);
    lvnrmn_(&three, withinf.data(), w.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(w[1]));
}

TEST(VectorN, PairwiseInterchanges) {
    const int32_t n = 3, fwd = 1, zero = 0, back = -1;
    const Vec a{10, 20, 30};
    Vec b = kc::sentinels(3);
    const int32_t p1[3] = {3, 2, 3};
    lvprmn_(&fwd, &n, a.data(), b.data(), p1);
    EXPECT_EQ(b, (Vec{30, 20, 10}));
    Vec c = kc::sentinels(3);
    lvprmn_(&back, &n, b.data(), c.data(), p1);
    EXPECT_EQ(c, a);

    const int32_t p2[3] = {0, 5, 3};  // nothing in range differs from its position
    lvprmn_(&fwd, &n, a.data(), b.data(), p2);
    EXPECT_EQ(b, a);
    lvprmn_(&back, &n, a.data(), b.data(), p2);
    EXPECT_EQ(b, a);

    const int32_t p3[3] = {2, 3, 3};
    lvprmn_(&fwd, &n, a.data(), b.data(), p3);
    EXPECT_EQ(b, (Vec{20, 30, 10}));
    lvprmn_(&zero, &n, a.data(), b.data(), p3);  // mode 0 is forward too
    EXPECT_EQ(b, (Vec{20, 30, 10}));
    lvprmn_(&back, &n, b.data(), b.data(), p3);  // in place
    EXPECT_EQ(b, a);

    // Random lists, entries partly out of range, against Eigen's sequence of
    // transpositions (out-of-range entries are identities there).
    zt::Rng rng(26);
    for (const int32_t m : {1, 2, 9, 100}) {
        for (int t = 0; t < 20; ++t) {
            std::vector<int32_t> p(m);
            Eigen::Transpositions<Eigen::Dynamic> tr(m);
            for (int k = 0; k < m; ++k) {
                p[k] = static_cast<int32_t>(std::floor(rng.uniform(-1.0, m + 3.0)));
                tr.indices()(k) = (p[k] >= 1 && p[k] <= m) ? p[k] - 1 : k;
            }
            const Vec v = rng.vec(m);
            Vec f = kc::sentinels(m), g = kc::sentinels(m);
            lvprmn_(&fwd, &m, v.data(), f.data(), p.data());
            lvprmn_(&back, &m, v.data(), g.data(), p.data());
            const Eigen::VectorXd ef = tr * ev(v), eg = tr.transpose() * ev(v);
            for (int i = 0; i < m; ++i) {
                EXPECT_BITEQ(f[i], ef[i]);
                EXPECT_BITEQ(g[i], eg[i]);
            }
            // Backward undoes forward, in place.
            lvprmn_(&back, &m, f.data(), f.data(), p.data());
            expect_same_bits(f, v);
        }
    }
}

}  // namespace
