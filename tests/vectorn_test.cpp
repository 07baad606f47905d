// n-vector kernels: counts below one, worked examples, summation order,
// Eigen and long double references with aliasing, interchange lists against
// Eigen's Transpositions, and the overflow rescue of norm and normalisation.
#include <Eigen/Dense>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kSentinel;
using kc::within;
using Vec = std::vector<double>;

Eigen::Map<const Eigen::VectorXd> ev(const Vec& v) { return {v.data(), static_cast<Eigen::Index>(v.size())}; }
void bit_eq(const Vec& got, const Vec& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) EXPECT_BITEQ(got[i], want[i]) << " element " << i;
}

TEST(VectorN, CountsBelowOneDoNoWork) {
    const Vec a{1, 2, 3}, b{4, 5, 6};
    const double s = 2.0;
    const int32_t p[3] = {3, 2, 1}, div = -1, mul = 1;
    for (const int32_t n : {0, -1, -2147483647 - 1}) {
        Vec c = kc::sentinels(3);
        int32_t ierr = -7;
        lvsumn_(&n, a.data(), b.data(), c.data());
        lvdifn_(&n, a.data(), b.data(), c.data());
        lvmuln_(&n, a.data(), &s, c.data());
        lvmldn_(&div, &n, a.data(), b.data(), c.data());
        lvmldn_(&mul, &n, a.data(), b.data(), c.data());
        lvprmn_(&mul, &n, a.data(), c.data(), p);
        lvprmn_(&div, &n, a.data(), c.data(), p);
        lvnrmn_(&n, a.data(), c.data(), &ierr);
        EXPECT_EQ(ierr, 1);  // an empty vector has no direction
        EXPECT_EQ(c, kc::sentinels(3));
        EXPECT_BITEQ(lvscln_(&n, a.data(), b.data()), 0.0);
        EXPECT_BITEQ(lvlgtn_(&n, a.data()), 0.0);
    }
}

TEST(VectorN, WorkedExamplesAndSummationOrder) {
    const int32_t four = 4, three = 3, one = 1, div = -1, mul = 1;
    const Vec x{2, 0, 1e-21, -4}, y{1, 1, 1, 2};
    Vec z{9, 9, 9, 9};
    lvmldn_(&div, &four, x.data(), y.data(), z.data());
    EXPECT_EQ(z, (Vec{0.5, 9, 9, -0.5}));
    for (const int32_t mode : {1, 0, -2}) {  // every mode but -1 multiplies
        lvmldn_(&mode, &four, x.data(), y.data(), z.data());
        EXPECT_EQ(z, (Vec{2, 0, 1e-21, -8}));
    }
    const Vec xb{1e-20, std::nextafter(1e-20, 1.0), kNaN, 0.0};  // bound strict, NaN skipped
    z = {9, 9, 9, 9};
    lvmldn_(&div, &four, xb.data(), y.data(), z.data());
    EXPECT_EQ(z, (Vec{9, 1 / xb[1], 9, 9}));

    Vec b = kc::sentinels(4);
    int32_t ierr = -1;
    const Vec a{0, 3, 0, 4};
    lvnrmn_(&four, a.data(), b.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && b[0] == 0 && b[2] == 0 && within(b[1], 0.6L, 1, 2) && within(b[3], 0.8L, 1, 2));
    for (double v : {0.0, std::nextafter(1e-8, 0.0)}) {
        const Vec t{v, 0, 0, 0};
        b = kc::sentinels(4);
        lvnrmn_(&four, t.data(), b.data(), &ierr);
        EXPECT_TRUE(ierr == 1 && b == Vec(4, 0.0));
    }
    const Vec withnan{1, kNaN, 2, 3};  // a NaN norm counts as valid
    lvnrmn_(&four, withnan.data(), b.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && std::isnan(b[0]));

    const Vec p10{10, 20, 30};
    const int32_t p1[3] = {3, 2, 3}, p2[3] = {0, 5, 3}, p3[3] = {2, 3, 3};
    Vec f = kc::sentinels(3);
    lvprmn_(&mul, &three, p10.data(), f.data(), p1);
    EXPECT_EQ(f, (Vec{30, 20, 10}));
    lvprmn_(&div, &three, f.data(), f.data(), p1);
    EXPECT_EQ(f, p10);
    lvprmn_(&mul, &three, p10.data(), f.data(), p2);
    EXPECT_EQ(f, p10);  // nothing in range differs from its position
    const int32_t zero = 0;
    lvprmn_(&zero, &three, p10.data(), f.data(), p3);  // mode 0 is forward
    EXPECT_EQ(f, (Vec{20, 30, 10}));
    lvprmn_(&div, &three, f.data(), f.data(), p3);
    EXPECT_EQ(f, p10);

    // Index order from +0: 1 is absorbed by 1e16 before the cancellation; a
    // lone -0 product gives +0; a hundred squares of 1 after 1e16 are each
    // absorbed, so the norm is 1e8 exactly.
    const Vec big{1, 1e16, -1e16}, ones{1, 1, 1};
    EXPECT_EQ(lvscln_(&three, big.data(), ones.data()), 0.0);
    const double mz = -0.0, pone = 1.0;
    EXPECT_BITEQ(lvscln_(&one, &mz, &pone), 0.0);
    Vec v(101, 1.0);
    v[0] = 1e8;
    const int32_t n101 = 101;
    EXPECT_BITEQ(lvlgtn_(&n101, v.data()), 1e8);
}

TEST(VectorN, RandomAgainstReferencesWithAliasing) {
    zt::Rng rng(21);
    for (const int32_t n : {1, 2, 7, 100, 3001}) {
        const Vec a = rng.vec(n, -1e3, 1e3), b = rng.vec(n, -1e-3, 1e-3), d = rng.vec(n, 0.5, 4);
        const double s = rng.uniform(-9, 9);
        const int32_t div = -1, mul = 1;
        Vec sum = kc::sentinels(n + 1), dif = sum, prd = sum, quo = sum, sca = sum, x;
        lvsumn_(&n, a.data(), b.data(), sum.data());
        lvdifn_(&n, a.data(), b.data(), dif.data());
        lvmuln_(&n, a.data(), &s, sca.data());
        lvmldn_(&mul, &n, d.data(), a.data(), prd.data());
        lvmldn_(&div, &n, d.data(), a.data(), quo.data());
        for (Vec* r : {&sum, &dif, &sca, &prd, &quo}) {
            EXPECT_EQ(r->back(), kSentinel);
            r->pop_back();
        }
        for (int i = 0; i < n; ++i) {
            EXPECT_BITEQ(sum[i], (ev(a) + ev(b))[i]);
            EXPECT_BITEQ(dif[i], (ev(a) - ev(b))[i]);
            EXPECT_BITEQ(sca[i], (ev(a) * s)[i]);
            EXPECT_BITEQ(prd[i], ev(d).cwiseProduct(ev(a))[i]);
            EXPECT_BITEQ(quo[i], ev(a).cwiseQuotient(ev(d))[i]);
        }
        x = a, lvsumn_(&n, x.data(), b.data(), x.data()), bit_eq(x, sum);
        x = b, lvsumn_(&n, a.data(), x.data(), x.data()), bit_eq(x, sum);
        x = a, lvdifn_(&n, x.data(), b.data(), x.data()), bit_eq(x, dif);
        x = b, lvdifn_(&n, a.data(), x.data(), x.data()), bit_eq(x, dif);
        x = a, lvmuln_(&n, x.data(), &s, x.data()), bit_eq(x, sca);
        x = a, lvmldn_(&div, &n, d.data(), x.data(), x.data()), bit_eq(x, quo);

        const long double la = kc::norm_ld(a.data(), n);
        long double dot = 0, mag = 0;
        for (int i = 0; i < n; ++i) dot += static_cast<long double>(a[i]) * b[i], mag += std::fabs(a[i] * b[i]);
        EXPECT_TRUE(within(lvscln_(&n, a.data(), b.data()), dot, mag, n + 1));
        EXPECT_TRUE(within(lvlgtn_(&n, a.data()), la, la, n + 2));
        Vec u = kc::sentinels(n + 1);
        int32_t ierr = -1;
        lvnrmn_(&n, a.data(), u.data(), &ierr);
        EXPECT_TRUE(ierr == 0 && u[n] == kSentinel);
        u.pop_back();
        for (int i = 0; i < n; ++i) EXPECT_TRUE(within(u[i], a[i] / la, 1, n + 4));
        x = a, lvnrmn_(&n, x.data(), x.data(), &ierr), bit_eq(x, u);

        // Interchanges, entries partly out of range, against Eigen's
        // sequence of transpositions; backward undoes forward in place.
        std::vector<int32_t> p(n);
        Eigen::Transpositions<Eigen::Dynamic> tr(n);
        for (int k = 0; k < n; ++k) {
            p[k] = static_cast<int32_t>(std::floor(rng.uniform(-1, n + 3)));
            tr.indices()(k) = (p[k] >= 1 && p[k] <= n) ? p[k] - 1 : k;
        }
        Vec fw(n), bw(n);
        lvprmn_(&mul, &n, a.data(), fw.data(), p.data());
        lvprmn_(&div, &n, a.data(), bw.data(), p.data());
        const Eigen::VectorXd efw = tr * ev(a), ebw = tr.transpose() * ev(a);
        bit_eq(fw, Vec(efw.begin(), efw.end()));
        bit_eq(bw, Vec(ebw.begin(), ebw.end()));
        lvprmn_(&div, &n, fw.data(), fw.data(), p.data());
        bit_eq(fw, a);
    }
}

// Power-of-two scaling commutes with the plain formula while nothing
// overflows: a vector scaled past the overflow of its sum of squares gives
// the scaled norm and the same direction bit for bit.
TEST(VectorN, OverflowRescue) {
    const double s = kc::largest_squarable(), s1 = std::nextafter(s, kInf);
    const int32_t two = 2;
    const Vec in{0, s}, out{0, s1};
    EXPECT_BITEQ(lvlgtn_(&two, in.data()), std::sqrt(s * s));
    EXPECT_BITEQ(lvlgtn_(&two, out.data()), s1);
    Vec b(2);
    int32_t ierr = -1;
    lvnrmn_(&two, out.data(), b.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && b == (Vec{0, 1}));

    zt::Rng rng(25);
    for (const int32_t n : {3, 17, 400}) {
        for (int t = 0; t < 20; ++t) {
            const Vec small = rng.vec(n);
            const int k = 300 + static_cast<int>(rng.uniform(0, 723));
            Vec huge(n), bs(n), bh(n);
            for (int i = 0; i < n; ++i) huge[i] = std::ldexp(small[i], k);
            EXPECT_BITEQ(lvlgtn_(&n, huge.data()), std::ldexp(lvlgtn_(&n, small.data()), k));
            int32_t e1 = -1, e2 = -1;
            lvnrmn_(&n, small.data(), bs.data(), &e1);
            lvnrmn_(&n, huge.data(), bh.data(), &e2);
            EXPECT_EQ(e2, 0);
            bit_eq(bh, bs);
        }
    }
    const int32_t n = 64;
    Vec beyond(n, 1e308), u(n);
    beyond[5] = -1e308;
    EXPECT_EQ(lvlgtn_(&n, beyond.data()), kInf);
    lvnrmn_(&n, beyond.data(), u.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && within(u[0], 0.125L, 1, 6) && within(u[5], -0.125L, 1, 6));
    const Vec many(n, 2e153);  // squares finite, sum not
    EXPECT_TRUE(within(lvlgtn_(&n, many.data()), kc::norm_ld(many.data(), n), 1.6e154L, 4));
    const Vec withinf{1.0, kInf, 1e300};  // an infinite element keeps the plain formula
    const int32_t three = 3;
    EXPECT_EQ(lvlgtn_(&three, withinf.data()), kInf);
    lvnrmn_(&three, withinf.data(), u.data(), &ierr);
    EXPECT_TRUE(ierr == 0 && std::isnan(u[1]));
}

}  // namespace
