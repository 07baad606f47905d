// Householder reflections lghtr_ (any strides, caller's tolerance) and
// lghtrt_ (unit stride, stored form).
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Ht {
    int32_t mode = 1, ipiv = 1, ifirst = 2, ilast = 2, incu = 1, ince = 1, incv = 2, nvec = 0;
    double tol = 1e-8;
    int32_t ierr = -7;
    void run(double* u, double* upiv, double* c) {
        lghtr_(&mode, &ipiv, &ifirst, &ilast, u, &incu, upiv, c, &ince, &incv, &nvec, &tol, &ierr);
    }
};

struct Htt {
    int32_t mode = 1, ipiv = 1, ifirst = 2, ilast = 2, nvec = 0;
    int32_t ierr = -7;
    void run(double* u, double* upiv, double* c, double* v, double* upivcopy) {
        lghtrt_(&mode, &ipiv, &ifirst, &ilast, u, upiv, c, &nvec, v, upivcopy, &ierr);
    }
};

// The worked example u = (3, 4): cl 4, s -5, h 8, b -40; (3, 4) -> (-5, 0)
// and (0, 1) -> (-0.8, 0.6).  Every value is exact in binary except 0.8 and
// 0.6, which are the correctly rounded quotients.
TEST(Householder, WorkedExampleThreeFour) {
    Ht p;
    p.nvec = 2;
    double u[2] = {3, 4};
    double h = 0;
    double c[4] = {3, 4, 0, 1};
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_EQ(u[0], -5.0);
    EXPECT_EQ(u[1], 4.0);
    EXPECT_EQ(h, 8.0);
    EXPECT_EQ(c[0], -5.0);
    EXPECT_EQ(c[1], 0.0);
    EXPECT_DOUBLE_EQ(c[2], -0.8);
    EXPECT_DOUBLE_EQ(c[3], 0.6);

    // lghtrt_ builds the same reflection and hands back its stored form.
    Htt q;
    q.nvec = 2;
    double u2[2] = {3, 4}, h2 = 0, hc = 0, v[2] = {9, 9};
    double c2[4] = {3, 4, 0, 1};
    q.run(u2, &h2, c2, v, &hc);
    EXPECT_EQ(q.ierr, 0);
    EXPECT_EQ(h2, 8.0);
    EXPECT_EQ(hc, 8.0);
    EXPECT_EQ(v[0], -5.0);
    EXPECT_EQ(v[1], 4.0);
    for (int i = 0; i < 4; ++i) EXPECT_BITEQ(c2[i], c[i]);

    // Applying it again (mode 2) restores the vectors.
    p.mode = 2;
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_NEAR(c[0], 3.0, 1e-15);
    EXPECT_NEAR(c[1], 4.0, 1e-15);
    EXPECT_NEAR(c[2], 0.0, 1e-15);
    EXPECT_NEAR(c[3], 1.0, 1e-15);
}

TEST(Householder, SignOfSAndZeroStretch) {
    Ht p;
    p.nvec = 1;
    p.ilast = 3;
    p.incv = 3;
    // A stretch that is already zero is still reflected.
    double u[3] = {3, 0, 0}, h = 0, c[3] = {3, 0, 0};
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_EQ(u[0], -3.0);
    EXPECT_EQ(h, 6.0);
    EXPECT_EQ(c[0], -3.0);
    EXPECT_EQ(c[1], 0.0);
    EXPECT_EQ(c[2], 0.0);

    // A pivot element of 0 gives s = +|u|, h = -|u|; so does a negative one.
    Ht q;
    double u2[2] = {0, 2}, h2 = 0;
    q.run(u2, &h2, nullptr);
    EXPECT_EQ(q.ierr, 0);
    EXPECT_EQ(u2[0], 2.0);
    EXPECT_EQ(h2, -2.0);
    double u3[2] = {-3, 4}, h3 = 0;
    q.run(u3, &h3, nullptr);
    EXPECT_EQ(u3[0], 5.0);
    EXPECT_EQ(h3, -8.0);

    // The same signs for lghtrt_.
    Htt t;
    double u4[2] = {0, 2}, h4 = 0, hc4 = 0, v4[2];
    t.run(u4, &h4, nullptr, v4, &hc4);
    EXPECT_EQ(t.ierr, 0);
    EXPECT_EQ(u4[0], 2.0);
    EXPECT_EQ(h4, -2.0);
    EXPECT_EQ(hc4, -2.0);
}

// Index triples out of order, ipiv below 1, ifirst beyond ilast: status 0
// and nothing read or written (null arrays prove nothing is touched).
TEST(Householder, IndexTripleOutOfOrderDoesNothing) {
    const std::array<std::array<int32_t, 3>, 5> triples{{{0, 2, 3}, {-1, 2, 3}, {2, 2, 3}, {3, 2, 3}, {1, 3, 2}}};
    for (auto [ip, i1, il] : triples) {
        Ht p;
        p.ipiv = ip, p.ifirst = i1, p.ilast = il, p.nvec = 3;
        double upiv = 42;
        p.run(nullptr, &upiv, nullptr);
        EXPECT_EQ(p.ierr, 0);
        EXPECT_EQ(upiv, 42.0);
        Htt q;
        q.ipiv = ip, q.ifirst = i1, q.ilast = il, q.nvec = 3;
        double hc = 43;
        q.run(nullptr, &upiv, nullptr, nullptr, &hc);
        EXPECT_EQ(q.ierr, 0);
        EXPECT_EQ(upiv, 42.0);
        EXPECT_EQ(hc, 43.0);
    }
    // The last column of a square factorisation: ifirst = ilast + 1.
    Ht p;
    p.ipiv = 2, p.ifirst = 3, p.ilast = 2, p.nvec = 1;
    double u[2] = {1, 2}, upiv = 7, c[2] = {1, 1};
    p.run(u, &upiv, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_EQ(upiv, 7.0);
    EXPECT_EQ(u[1], 2.0);
    EXPECT_EQ(c[1], 1.0);
}

TEST(Householder, GeneralFormFailures) {
    // Largest element below tol: status 1, u, upiv and c untouched.
    Ht p;
    p.nvec = 1;
    p.tol = 1e-3;
    double u[2] = {5e-4, -9e-4}, h = 11, c[2] = {1, 2};
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 1);
    EXPECT_EQ(u[0], 5e-4);
    EXPECT_EQ(h, 11.0);
    EXPECT_EQ(c[0], 1.0);
    // Exactly tol is accepted (the comparison is strict).
    u[1] = -1e-3;
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_NE(h, 11.0);

    // Mode 2 with |u(ipiv)| < tol: status 1, nothing touched.
    Ht q;
    q.mode = 2;
    q.nvec = 1;
    double u2[2] = {1e-9, 1}, h2 = 3, c2[2] = {1, 2};
    q.run(u2, &h2, c2);
    EXPECT_EQ(q.ierr, 1);
    EXPECT_EQ(c2[0], 1.0);
    EXPECT_EQ(c2[1], 2.0);

    // |h*s| below tol^2 in mode 2: status 1, c untouched.
    double u3[2] = {1, 1}, h3 = 1e-20, c3[2] = {1, 2};
    q.run(u3, &h3, c3);
    EXPECT_EQ(q.ierr, 1);
    EXPECT_EQ(c3[0], 1.0);
    EXPECT_EQ(c3[1], 2.0);

    // Construction with nvec = 0 stores the reflection, status 0; any mode
    // other than 2 constructs.
    Ht r;
    r.mode = 7;
    double u4[2] = {3, 4}, h4 = 0;
    r.run(u4, &h4, nullptr);
    EXPECT_EQ(r.ierr, 0);
    EXPECT_EQ(h4, 8.0);
    EXPECT_EQ(u4[0], -5.0);
}

// A vector whose inner product with w is below tol is left as it was while
// its neighbours are transformed; lghtrt_ has no such test.
TEST(Householder, OrthogonalVectorLeftUnchanged) {
    Ht p;
    p.nvec = 3;
    p.ilast = 3;
    p.incv = 3;
    double u[3] = {1, 1, 0}, h = 0;
    // w = (h, 1, 0) after construction with h = 1 + sqrt(2); (0, 0, 5) has
    // inner product exactly 0.
    double c[9] = {1, 0, 0, 0, 0, 5, 0, 1, 0};
    p.run(u, &h, c);
    EXPECT_EQ(p.ierr, 0);
    EXPECT_EQ(c[3], 0.0);
    EXPECT_EQ(c[4], 0.0);
    EXPECT_EQ(c[5], 5.0);
    EXPECT_NE(c[0], 1.0);
    EXPECT_NE(c[7], 1.0);
    // A nearly orthogonal vector (inner product 1e-9 < tol) is also kept.
    double u2[3] = {1, 1, 0}, h2 = 0;
    double c2[3] = {0, 0, 1e-9};
    c2[0] = 1e-9 / (1 + std::sqrt(2.0));
    p.nvec = 1;
    const double keep = c2[0];
    p.run(u2, &h2, c2);
    EXPECT_EQ(c2[0], keep);
}

// Strides: u taken from a row of a column-major matrix, the vectors from its
// columns with a gap, must give the same numbers as the contiguous call.
TEST(Householder, StridesMatchContiguousCall) {
    zt::Rng rng(11);
    const int32_t m = 6, ld = 9, nv = 3;
    std::vector<double> ucol = rng.vec(m);
    std::vector<double> cc = rng.vec(static_cast<std::size_t>(m) * nv);
    // Contiguous reference.
    std::vector<double> u1 = ucol, c1 = cc;
    Ht p;
    p.ipiv = 2, p.ifirst = 4, p.ilast = m, p.nvec = nv, p.incv = m;
    double h1 = 0;
    p.run(u1.data(), &h1, c1.data());
    ASSERT_EQ(p.ierr, 0);
    // u as row 3 of an ld by m matrix; vector j with element stride 2 and
    // vector stride 2*m + 1.
    std::vector<double> urow(static_cast<std::size_t>(ld) * m, kNaN);
    for (int i = 0; i < m; ++i) urow[2 + static_cast<std::size_t>(i) * ld] = ucol[i];
    const int32_t ince = 2, incv = 2 * m + 1;
    std::vector<double> c2(static_cast<std::size_t>(incv) * nv, kNaN);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < m; ++i) c2[static_cast<std::size_t>(j) * incv + 2 * i] = cc[j * m + i];
    Ht q = p;
    q.incu = ld, q.ince = ince, q.incv = incv;
    double h2 = 0;
    q.run(urow.data() + 2, &h2, c2.data());
    ASSERT_EQ(q.ierr, 0);
    EXPECT_BITEQ(h2, h1);
    for (int i = 0; i < m; ++i) EXPECT_BITEQ(urow[2 + static_cast<std::size_t>(i) * ld], u1[i]);
    for (int j = 0; j < nv; ++j)
        for (int i = 0; i < m; ++i) {
            const double got = c2[static_cast<std::size_t>(j) * incv + 2 * i];
            if (i == 0 || i == 2)  // outside ipiv, ifirst..ilast: untouched
                EXPECT_BITEQ(got, cc[j * m + i]);
            else
                EXPECT_BITEQ(got, c1[j * m + i]);
        }
}

TEST(Householder, UnitStrideFormStatuses) {
    double upiv = 5, hc = 6;
    double u[3] = {1, 2, 3}, v[3] = {7, 7, 7}, c[3] = {1, 1, 1};
    Htt t;
    t.ilast = 3;
    t.nvec = 1;
    // Mode other than 1 or 2: status 2, nothing written.
    t.mode = 0;
    t.run(u, &upiv, c, v, &hc);
    EXPECT_EQ(t.ierr, 2);
    EXPECT_EQ(v[0], 7.0);
    EXPECT_EQ(upiv, 5.0);
    // Mode 2 with a small pivot element: status 1, nothing written.
    t.mode = 2;
    double us[3] = {9.9e-9, 1, 1};
    t.run(us, &upiv, c, v, &hc);
    EXPECT_EQ(t.ierr, 1);
    EXPECT_EQ(v[0], 7.0);
    // Construction with every element below 1e-8: status 3.
    t.mode = 1;
    double uz[3] = {1e-9, -9e-9, 0};
    t.run(uz, &upiv, c, v, &hc);
    EXPECT_EQ(t.ierr, 3);
    EXPECT_EQ(uz[0], 1e-9);
    EXPECT_EQ(v[0], 7.0);
    EXPECT_EQ(upiv, 5.0);
    EXPECT_EQ(hc, 6.0);
    // Largest element exactly 1e-8 is accepted.
    double ue[3] = {1e-9, -1e-8, 0};
    t.nvec = 0;
    t.run(ue, &upiv, c, v, &hc);
    EXPECT_EQ(t.ierr, 0);
    // nvec < 0: construction and stored form done, c untouched, status 4.
    double u4[3] = {3, 0, 4}, h4 = 0, hc4 = 0, v4[3] = {7, 7, 7}, c4[3] = {1, 1, 1};
    t.nvec = -1;
    t.run(u4, &h4, c4, v4, &hc4);
    EXPECT_EQ(t.ierr, 4);
    EXPECT_EQ(u4[0], -5.0);
    EXPECT_EQ(h4, 8.0);
    EXPECT_EQ(hc4, 8.0);
    EXPECT_EQ(v4[0], -5.0);
    EXPECT_EQ(v4[1], 0.0);
    EXPECT_EQ(v4[2], 4.0);
    EXPECT_EQ(c4[0], 1.0);
    // |h*s| < 1e-20 in mode 2: stored form and upivcopy written, c
    // untouched, status 5.
    double u5[3] = {1, 0, 1}, h5 = 1e-21, hc5 = 0, v5[3] = {7, 7, 7}, c5[3] = {1, 1, 1};
    t.mode = 2;
    t.nvec = 1;
    t.run(u5, &h5, c5, v5, &hc5);
    EXPECT_EQ(t.ierr, 5);
    EXPECT_EQ(hc5, 1e-21);
    EXPECT_EQ(v5[0], 1.0);
    EXPECT_EQ(v5[1], 0.0);
    EXPECT_EQ(c5[0], 1.0);
    EXPECT_EQ(c5[2], 1.0);
    // Mode 2 with nvec = 0 fills v, leaves upivcopy, status 0.
    double v6[3] = {7, 7, 7}, hc6 = 3;
    t.nvec = 0;
    t.run(u4, &h4, nullptr, v6, &hc6);
    EXPECT_EQ(t.ierr, 0);
    EXPECT_EQ(v6[0], -5.0);
    EXPECT_EQ(v6[1], 0.0);
    EXPECT_EQ(hc6, 3.0);
}

// The stored form zeroes positions outside the reflection; u and v, upiv and
// upivcopy may coincide with unchanged results.  Unlike lghtr_, every
// vector is transformed, however small its inner product.
TEST(Householder, UnitStrideStoredFormAndAliasing) {
    zt::Rng rng(5);
    const int32_t m = 7, nv = 3;
    std::vector<double> u0 = rng.vec(m), c0 = rng.vec(static_cast<std::size_t>(m) * nv);
    // Vector 2 is nearly orthogonal to w: its only non-zero entry in the
    // reflected positions is a tiny pivot element.
    c0[m + 3] = 0, c0[m + 4] = 0, c0[m + 5] = 0, c0[m + 6] = 0;
    c0[m + 1] = 1e-12;
    Htt t;
    t.ipiv = 2, t.ifirst = 4, t.ilast = m, t.nvec = nv;
    std::vector<double> u1 = u0, c1 = c0, v1(m, 9.0);
    double h1 = 0, hc1 = 0;
    t.run(u1.data(), &h1, c1.data(), v1.data(), &hc1);
    ASSERT_EQ(t.ierr, 0);
    EXPECT_EQ(v1[0], 0.0);
    EXPECT_EQ(v1[2], 0.0);
    EXPECT_BITEQ(v1[1], u1[1]);
    for (int i = 3; i < m; ++i) EXPECT_BITEQ(v1[i], u1[i]);
    EXPECT_BITEQ(hc1, h1);
    EXPECT_NE(c1[m + 1], c0[m + 1]);  // transformed despite a tiny inner product

    std::vector<double> u2 = u0, c2 = c0;
    double h2 = 0;
    t.run(u2.data(), &h2, c2.data(), u2.data(), &h2);
    ASSERT_EQ(t.ierr, 0);
    EXPECT_BITEQ(h2, h1);
    for (int i = 0; i < m; ++i) EXPECT_BITEQ(u2[i], v1[i]);
    for (std::size_t i = 0; i < c1.size(); ++i) EXPECT_BITEQ(c2[i], c1[i]);

    // The same reflection by lghtr_ transforms the other vectors to within
    // rounding (its inner products are summed in another order) and keeps
    // vector 2.
    Ht p;
    p.ipiv = 2, p.ifirst = 4, p.ilast = m, p.nvec = nv, p.incv = m;
    std::vector<double> u3 = u0, c3 = c0;
    double h3 = 0;
    p.run(u3.data(), &h3, c3.data());
    ASSERT_EQ(p.ierr, 0);
    EXPECT_BITEQ(h3, h1);
    for (int i = 0; i < m; ++i) {
        EXPECT_NEAR(c3[i], c1[i], 1e-15);
        EXPECT_NEAR(c3[2 * m + i], c1[2 * m + i], 1e-15);
        EXPECT_BITEQ(c3[m + i], c0[m + i]);
    }
}

// The inner products differ in order: lghtr_ runs one sum from the pivot
// term, lghtrt_ sums the stretch from 0 and adds it to the pivot term.  With
// h c(ipiv) = 1 and two stretch terms of 2^-53 the first gives t = 1, the
// second t = 1 + 2^-52; with b = -1 the pivot element 1 becomes 0 and -2^-52.
TEST(Householder, InnerProductSummationOrder) {
    const double tiny = std::ldexp(1.0, -53);
    double u[3] = {-1, tiny, tiny}, h = 1;
    double c1[3] = {1, 1, 1}, c2[3] = {1, 1, 1}, v[3], hc = 0;
    Ht p;
    p.mode = 2, p.ilast = 3, p.nvec = 1;
    p.run(u, &h, c1);
    ASSERT_EQ(p.ierr, 0);
    EXPECT_BITEQ(c1[0], 0.0);
    Htt t;
    t.mode = 2, t.ilast = 3, t.nvec = 1;
    t.run(u, &h, c2, v, &hc);
    ASSERT_EQ(t.ierr, 0);
    EXPECT_BITEQ(c2[0], -std::ldexp(1.0, -52));
}

}  // namespace
