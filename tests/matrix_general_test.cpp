// General matrices and quadratic roots: products and norms against Eigen
// and long double, the order of every sum, leading dimensions that must
// not be read past, counts below one, the overflow rescue of the Frobenius
// norm, the rank count, and quadratic roots against Eigen's polynomial
// solver.
#include <Eigen/Dense>
#include <unsupported/Eigen/Polynomials>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kSentinel;
using kc::kU;
using Vec = std::vector<double>;
using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// An m by n column-major matrix with leading dimension ld > m whose unused
// rows hold NaN: a routine that reads them gives NaN.
struct Padded {
    int32_t m, n, ld;
    Vec a;
    Padded(zt::Rng& rng, int32_t rows, int32_t cols, int32_t lead, double scale = 1.0)
        : m(rows), n(cols), ld(lead), a(static_cast<std::size_t>(lead) * cols, kNaN) {
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) at(i, j) = rng.uniform() * scale;
    }
    double& at(int i, int j) { return a[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * ld]; }
    Eigen::MatrixXd eigen() const {
        return Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>>(a.data(), m, n, Eigen::OuterStride<>(ld));
    }
};

TEST(MatrixGeneral, MatrixVectorProductAgainstEigenAndLongDouble) {
    zt::Rng rng(31);
    const int32_t plain = 1, transposed = 2;
    for (auto [m, n] : {std::pair{1, 1}, {3, 2}, {2, 3}, {65, 3}, {130, 17}, {200, 1}, {7, 150}}) {
        Padded A(rng, m, n, m + 3);
        const Eigen::MatrixXd E = A.eigen();
        const Vec xn = rng.vec(n), xm = rng.vec(m);
        Vec y = kc::sentinels(m + 1);
        lmmlvn_(&plain, &A.ld, &A.m, &A.n, A.a.data(), xn.data(), y.data());
        const Eigen::VectorXd ey = E * Eigen::Map<const Eigen::VectorXd>(xn.data(), n);
        for (int i = 0; i < m; ++i) {
            long double exact = 0, scale = 0;
            for (int k = 0; k < n; ++k) {
                exact += static_cast<long double>(A.at(i, k)) * xn[k];
                scale += std::fabs(static_cast<long double>(A.at(i, k)) * xn[k]);
            }
            EXPECT_TRUE(kc::within(y[i], exact, scale, n + 1)) << "row " << i;
            EXPECT_TRUE(kc::within(y[i], ey[i], scale, 2 * n + 2)) << "row " << i;
        }
        EXPECT_EQ(y[m], kSentinel);  // exactly m elements written

        y = kc::sentinels(n + 1);
        lmmlvn_(&transposed, &A.ld, &A.m, &A.n, A.a.data(), xm.data(), y.data());
        const Eigen::VectorXd et = E.transpose() * Eigen::Map<const Eigen::VectorXd>(xm.data(), m);
        for (int j = 0; j < n; ++j) {
            long double exact = 0, scale = 0;
            for (int i = 0; i < m; ++i) {
                exact += static_cast<long double>(A.at(i, j)) * xm[i];
                scale += std::fabs(static_cast<long double>(A.at(i, j)) * xm[i]);
            }
            EXPECT_TRUE(kc::within(y[j], exact, scale, m + 1)) << "column " << j;
            EXPECT_TRUE(kc::within(y[j], et[j], scale, 2 * m + 2)) << "column " << j;
        }
        EXPECT_EQ(y[n], kSentinel);

        // Every mode other than 2 is the plain product.
        Vec y1(m), y2(m);
        lmmlvn_(&plain, &A.ld, &A.m, &A.n, A.a.data(), xn.data(), y1.data());
        for (const int32_t mode : {0, 7, -2, 3}) {
            lmmlvn_(&mode, &A.ld, &A.m, &A.n, A.a.data(), xn.data(), y2.data());
            for (int i = 0; i < m; ++i) EXPECT_BITEQ(y2[i], y1[i]) << "mode " << mode;
        }
    }
}

TEST(MatrixGeneral, MatrixVectorProductSumsInIndexOrder) {
    // 3 by 2 in a leading dimension of 5: rows 4 and 5 are never read.
    zt::Rng rng(32);
    Padded A(rng, 3, 2, 5);
    const int32_t transposed = 2, plain = 1;
    const Vec x3{1, 2, 3};
    Vec y = kc::sentinels(3);
    lmmlvn_(&transposed, &A.ld, &A.m, &A.n, A.a.data(), x3.data(), y.data());
    EXPECT_TRUE(std::isfinite(y[0]) && std::isfinite(y[1]));
    EXPECT_EQ(y[2], kSentinel);

    // Row 100 of a tall matrix, and one column, hold (1, 1e16, -1e16): in
    // index order the 1 is absorbed before the cancellation.
    Padded B(rng, 130, 3, 131);
    B.at(99, 0) = 1.0;
    B.at(99, 1) = 1e16;
    B.at(99, 2) = -1e16;
    const Vec ones3{1, 1, 1};
    Vec yb(130);
    lmmlvn_(&plain, &B.ld, &B.m, &B.n, B.a.data(), ones3.data(), yb.data());
    EXPECT_EQ(yb[99], 0.0);
    Padded C(rng, 3, 4, 3);
    C.at(0, 2) = 1.0;
    C.at(1, 2) = 1e16;
    C.at(2, 2) = -1e16;
    Vec yc(4);
    lmmlvn_(&transposed, &C.ld, &C.m, &C.n, C.a.data(), ones3.data(), yc.data());
    EXPECT_EQ(yc[2], 0.0);

    // Sums start from +0: a lone -0 product gives +0.
    const int32_t one = 1;
    const double mz = -0.0, pone = 1.0;
    double y1 = kSentinel;
    lmmlvn_(&plain, &one, &one, &one, &mz, &pone, &y1);
    EXPECT_BITEQ(y1, 0.0);
    y1 = kSentinel;
    lmmlvn_(&transposed, &one, &one, &one, &mz, &pone, &y1);
    EXPECT_BITEQ(y1, 0.0);
}

TEST(MatrixGeneral, MatrixVectorProductEmptyAndInvalidShapes) {
    const Vec a{1, 2, 3, 4, 5, 6}, x{1, 1, 1};
    const int32_t plain = 1, transposed = 2, three = 3, two = 2, zero = 0, neg = -4;
    Vec y = kc::sentinels(4);
    // Transposed: no columns writes nothing; no rows gives zero sums.
    lmmlvn_(&transposed, &three, &three, &zero, a.data(), x.data(), y.data());
    lmmlvn_(&transposed, &three, &three, &neg, a.data(), x.data(), y.data());
    EXPECT_EQ(y, kc::sentinels(4));
    lmmlvn_(&transposed, &three, &zero, &two, a.data(), x.data(), y.data());
    EXPECT_BITEQ(y[0], 0.0);
    EXPECT_BITEQ(y[1], 0.0);
    EXPECT_EQ(y[2], kSentinel);
    // Plain: no rows writes nothing; no columns gives zero sums.
    y = kc::sentinels(4);
    lmmlvn_(&plain, &three, &neg, &two, a.data(), x.data(), y.data());
    EXPECT_EQ(y, kc::sentinels(4));
    lmmlvn_(&plain, &three, &three, &zero, a.data(), x.data(), y.data());
    EXPECT_EQ(y, (Vec{0, 0, 0, kSentinel}));

    // A leading dimension below 1 cannot describe several columns: nothing
    // is read or written.  With one column it is never used.
    for (const int32_t ld : {0, -1, -2147483647 - 1}) {
        y = kc::sentinels(4);
        lmmlvn_(&plain, &ld, &three, &two, a.data(), x.data(), y.data());
        lmmlvn_(&transposed, &ld, &three, &two, a.data(), x.data(), y.data());
        EXPECT_EQ(y, kc::sentinels(4)) << "lda " << ld;
        const int32_t one = 1;
        lmmlvn_(&transposed, &ld, &three, &one, a.data(), x.data(), y.data());
        EXPECT_EQ(y[0], 6.0);
    }
}

TEST(MatrixGeneral, RowByRowProductAgainstEigen) {
    zt::Rng rng(33);
    for (auto [r, k, s] : {std::tuple{1, 1, 1}, {3, 4, 2}, {2, 1, 5}, {17, 33, 9}, {40, 3, 70}}) {
        const Vec a = rng.vec(static_cast<std::size_t>(r) * k), b = rng.vec(static_cast<std::size_t>(k) * s, -100, 100);
        Vec c = kc::sentinels(static_cast<std::size_t>(r) * s + 1);
        lmmulm_(&r, &k, &s, a.data(), b.data(), c.data());
        EXPECT_EQ(c.back(), kSentinel);
        const RowMajor ea = Eigen::Map<const RowMajor>(a.data(), r, k);
        const RowMajor eb = Eigen::Map<const RowMajor>(b.data(), k, s);
        const RowMajor ec = ea * eb;
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < s; ++j) {
                long double exact = 0, scale = 0;
                for (int q = 0; q < k; ++q) {
                    exact += static_cast<long double>(ea(i, q)) * eb(q, j);
                    scale += std::fabs(static_cast<long double>(ea(i, q)) * eb(q, j));
                }
                const double got = c[static_cast<std::size_t>(i) * s + j];
                EXPECT_TRUE(kc::within(got, exact, scale, k + 1));
                EXPECT_TRUE(kc::within(got, ec(i, j), scale, 2 * k + 2));
            }
    }

    // Each element sums in increasing k from +0.
    const int32_t one = 1, three = 3;
    const Vec arow{1.0, 1e16, -1e16}, bcol{1, 1, 1};
    double c1 = kSentinel;
    lmmulm_(&one, &three, &one, arow.data(), bcol.data(), &c1);
    EXPECT_EQ(c1, 0.0);
    const double mz = -0.0, pone = 1.0;
    lmmulm_(&one, &one, &one, &mz, &pone, &c1);
    EXPECT_BITEQ(c1, 0.0);

    // No inner dimension gives zeros; no rows or columns writes nothing.
    const int32_t zero = 0, two = 2, neg = -1;
    Vec c = kc::sentinels(5);
    lmmulm_(&two, &zero, &two, arow.data(), bcol.data(), c.data());
    EXPECT_EQ(c, (Vec{0, 0, 0, 0, kSentinel}));
    c = kc::sentinels(5);
    lmmulm_(&zero, &two, &two, arow.data(), bcol.data(), c.data());
    lmmulm_(&two, &one, &neg, arow.data(), bcol.data(), c.data());
    EXPECT_EQ(c, kc::sentinels(5));
}

TEST(MatrixGeneral, NormsWorkedExampleAndEigen) {
    const Vec a{1, 3, -2, 4};  // [[1, -2], [3, 4]]
    const int32_t two = 2;
    const double want[] = {0, 6, 7, std::sqrt(30.0), 4, 0};
    for (int32_t mode = 0; mode <= 5; ++mode)
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &two, &two, a.data()), want[mode]) << "mode " << mode;
    const int32_t other = -1;
    EXPECT_BITEQ(lmnrmn_(&other, &two, &two, &two, a.data()), 0.0);

    zt::Rng rng(34);
    for (auto [m, n] : {std::pair{1, 1}, {4, 3}, {3, 9}, {150, 7}, {64, 65}}) {
        Padded A(rng, m, n, m + 2, 10.0);
        const Eigen::MatrixXd E = A.eigen();
        const int32_t modes[] = {1, 2, 3, 4};
        const double eig[] = {E.cwiseAbs().colwise().sum().maxCoeff(), E.cwiseAbs().rowwise().sum().maxCoeff(),
                              E.norm(), E.cwiseAbs().maxCoeff()};
        const double k[] = {static_cast<double>(m) + 1, static_cast<double>(n) + 1,
                            static_cast<double>(m) * n + 2, 0};
        for (int t = 0; t < 4; ++t) {
            const double got = lmnrmn_(&modes[t], &A.ld, &A.m, &A.n, A.a.data());
            EXPECT_TRUE(kc::near_rel(got, eig[t], 2 * k[t])) << "mode " << modes[t] << " " << m << "x" << n;
        }
    }
}

TEST(MatrixGeneral, NormsOrderNaNAndEmpty) {
    const int32_t m1 = 1, m2 = 2, m3 = 3, m4 = 4;
    // Frobenius: rows outer, columns inner.  [[1, 1], [1e8, 0]] adds 1 + 1
    // before 1e16, which keeps both; columns first would lose them.
    const Vec f{1, 1e8, 1, 0};
    const int32_t two = 2;
    EXPECT_BITEQ(lmnrmn_(&m3, &two, &two, &two, f.data()), std::nextafter(1e8, kInf));

    // Row and column sums in index order, in a tall matrix whose row 100
    // is (1, 1, 1e16) and whose column 2 starts (1, 1, 1e16): 1e16 + 2.
    zt::Rng rng(35);
    Padded A(rng, 150, 3, 151);
    A.at(99, 0) = 1.0;
    A.at(99, 1) = 1.0;
    A.at(99, 2) = 1e16;
    EXPECT_BITEQ(lmnrmn_(&m2, &A.ld, &A.m, &A.n, A.a.data()), 1e16 + 2);
    Padded B(rng, 150, 3, 150);
    B.at(0, 1) = 1.0;
    B.at(1, 1) = 1.0;
    B.at(2, 1) = 1e16;
    EXPECT_BITEQ(lmnrmn_(&m1, &B.ld, &B.m, &B.n, B.a.data()), 1e16 + 2);

    // A NaN never replaces a maximum; the Frobenius sum carries it.
    for (int pos = 0; pos < 4; ++pos) {
        Vec g{1, 3, -2, 4};
        g[pos] = kNaN;
        // Column sums, row sums and magnitudes of the elements left over.
        const double col[2] = {std::fabs(g[0]) + std::fabs(g[1]), std::fabs(g[2]) + std::fabs(g[3])};
        const double row[2] = {std::fabs(g[0]) + std::fabs(g[2]), std::fabs(g[1]) + std::fabs(g[3])};
        const double want1 = std::isnan(col[0]) ? col[1] : col[0];
        const double want2 = std::isnan(row[0]) ? row[1] : row[0];
        EXPECT_EQ(lmnrmn_(&m1, &two, &two, &two, g.data()), want1) << pos;
        EXPECT_EQ(lmnrmn_(&m2, &two, &two, &two, g.data()), want2) << pos;
        double want4 = 0;
        for (double v : g)
            if (!std::isnan(v)) want4 = std::max(want4, std::fabs(v));
        EXPECT_EQ(lmnrmn_(&m4, &two, &two, &two, g.data()), want4) << pos;
        EXPECT_TRUE(std::isnan(lmnrmn_(&m3, &two, &two, &two, g.data())));
    }
    // All NaN: every maximum stays at its start.
    const Vec allnan(4, kNaN);
    EXPECT_BITEQ(lmnrmn_(&m1, &two, &two, &two, allnan.data()), 0.0);
    EXPECT_BITEQ(lmnrmn_(&m4, &two, &two, &two, allnan.data()), 0.0);

    // Empty matrices and unusable leading dimensions give 0 in every mode.
    const int32_t zero = 0, neg = -3;
    for (const int32_t mode : {1, 2, 3, 4}) {
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &zero, &two, f.data()), 0.0);
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &two, &neg, f.data()), 0.0);
        EXPECT_BITEQ(lmnrmn_(&mode, &zero, &two, &two, f.data()), 0.0);
        EXPECT_BITEQ(lmnrmn_(&mode, &neg, &two, &two, f.data()), 0.0);
    }
}

// Frobenius norm across the overflow of its sum of squares: power-of-two
// scaling commutes with the plain formula, so a matrix scaled beyond the
// overflow gives the scaled norm bit for bit.
TEST(MatrixGeneral, FrobeniusOverflowRescue) {
    const int32_t fro = 3, two = 2;
    const double s = kc::largest_squarable();
    const double s1 = std::nextafter(s, kInf);
    const Vec in{0, s, 0, 0}, out{0, s1, 0, 0};
    EXPECT_BITEQ(lmnrmn_(&fro, &two, &two, &two, in.data()), std::sqrt(s * s));
    EXPECT_BITEQ(lmnrmn_(&fro, &two, &two, &two, out.data()), s1);

    zt::Rng rng(36);
    for (auto [m, n] : {std::pair{2, 2}, {5, 3}, {40, 41}}) {
        for (int t = 0; t < 10; ++t) {
            Padded A(rng, m, n, m + 1);
            Padded H = A;
            const int shift = 300 + static_cast<int>(rng.uniform(0.0, 720.0));
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i) H.at(i, j) = std::ldexp(A.at(i, j), shift);
            const double small = lmnrmn_(&fro, &A.ld, &A.m, &A.n, A.a.data());
            EXPECT_BITEQ(lmnrmn_(&fro, &H.ld, &H.m, &H.n, H.a.data()), std::ldexp(small, shift));
        }
    }

    // Squares finite, sum beyond: against long double; beyond the range: inf.
    Vec big(12, 1e154);
    big[7] = -1.3e154;
    const int32_t three = 3, four = 4;
    EXPECT_TRUE(kc::near_rel(lmnrmn_(&fro, &three, &three, &four, big.data()), kc::norm_ld(big.data(), 12), 14));
    const Vec beyond(4, 1e308);
    EXPECT_EQ(lmnrmn_(&fro, &two, &two, &two, beyond.data()), kInf);
    const Vec withinf{1, kInf, 1e300, 2};
    EXPECT_EQ(lmnrmn_(&fro, &two, &two, &two, withinf.data()), kInf);
}

TEST(MatrixGeneral, RankCount) {
    const int32_t three = 3, two = 2;
    const double tol = 1e-8;
    const Vec d{1e-3, 9, 9, 9, 1e-8, 9, 9, 9, 0};
    EXPECT_EQ(lmtrkn_(&three, &three, d.data(), &tol), 1);
    // Only min(lda, n) diagonal elements: with lda 2 and n 3 the third
    // would lie beyond the 2 by 3 array.
    const Vec w{1, 7, 7, 1, 7, 7, 1, 7};
    EXPECT_EQ(lmtrkn_(&two, &three, w.data(), &tol), 2);
    EXPECT_EQ(lmtrkn_(&three, &two, w.data(), &tol), 2);  // positions 0 and 4
    // Magnitudes, strict comparison, NaN never counted.
    const Vec e{-5, 0, 0, 0, kNaN, 0, 0, 0, 1e-8};
    EXPECT_EQ(lmtrkn_(&three, &three, e.data(), &tol), 1);
    const double negtol = -1.0;
    EXPECT_EQ(lmtrkn_(&three, &three, e.data(), &negtol), 2);
    const int32_t zero = 0, neg = -2;
    EXPECT_EQ(lmtrkn_(&zero, &three, d.data(), &tol), 0);
    EXPECT_EQ(lmtrkn_(&neg, &three, d.data(), &tol), 0);
    EXPECT_EQ(lmtrkn_(&three, &zero, d.data(), &tol), 0);
}

struct Roots {
    int32_t nreal = -99, degree = -99;
    double r[4] = {kSentinel, kSentinel, kSentinel, kSentinel};
};

Roots solve(double c0, double c1, double c2) {
    const double c[3] = {c0, c1, c2};
    Roots out;
    lm2pwu_(c, &out.nreal, &out.degree, out.r);
    return out;
}

TEST(MatrixGeneral, QuadraticRootsWorkedExamples) {
    Roots q = solve(2, -3, 1);  // x^2 - 3x + 2
    EXPECT_EQ(q.nreal, 2);
    EXPECT_EQ(q.degree, 2);
    EXPECT_BITEQ(q.r[0], 2.0);
    EXPECT_BITEQ(q.r[1], 0.0);
    EXPECT_BITEQ(q.r[2], 1.0);
    EXPECT_BITEQ(q.r[3], 0.0);
    q = solve(5, 2, 1);  // x^2 + 2x + 5
    EXPECT_EQ(q.nreal, 0);
    EXPECT_EQ(q.degree, 2);
    EXPECT_BITEQ(q.r[0], -1.0);
    EXPECT_BITEQ(q.r[1], 2.0);
    EXPECT_BITEQ(q.r[2], -1.0);
    EXPECT_BITEQ(q.r[3], -2.0);
    q = solve(1, -2, 1);  // double root
    EXPECT_EQ(q.nreal, 2);
    EXPECT_BITEQ(q.r[0], 1.0);
    EXPECT_BITEQ(q.r[2], 1.0);

    q = solve(3, 2, 0);  // 2x + 3
    EXPECT_EQ(q.degree, 1);
    EXPECT_EQ(q.nreal, 1);
    EXPECT_BITEQ(q.r[0], -1.5);
    EXPECT_BITEQ(q.r[1], 0.0);
    EXPECT_EQ(q.r[2], kSentinel);
    EXPECT_EQ(q.r[3], kSentinel);

    q = solve(0, 0, 0);
    EXPECT_EQ(q.degree, -1);
    EXPECT_EQ(q.nreal, -1);
    for (double v : q.r) EXPECT_EQ(v, kSentinel);
    q = solve(1, 0, 0);
    EXPECT_EQ(q.degree, 0);
    EXPECT_EQ(q.nreal, 0);
    for (double v : q.r) EXPECT_EQ(v, kSentinel);

    // 1e-10 is not zero; anything below it is.
    q = solve(1, 0, 1e-10);
    EXPECT_EQ(q.degree, 2);
    q = solve(1, 1, std::nextafter(1e-10, 0.0));
    EXPECT_EQ(q.degree, 1);
    q = solve(1e-10, 0, 0);
    EXPECT_EQ(q.degree, 0);
    EXPECT_EQ(q.nreal, 0);
    q = solve(std::nextafter(1e-10, 0.0), -0.0, 0);
    EXPECT_EQ(q.degree, -1);
}

TEST(MatrixGeneral, QuadraticRootsAgainstEigen) {
    zt::Rng rng(37);
    for (int t = 0; t < 400; ++t) {
        const double c2 = rng.uniform(0.5, 2.0) * (t % 2 ? 1 : -1);
        double c0, c1;
        if (t % 4 < 2) {  // real roots at least 0.5 apart
            double x1 = rng.uniform(-10, 10), x2 = rng.uniform(-10, 10);
            if (std::fabs(x1 - x2) < 0.5) x2 = x1 + 0.5;
            c1 = -c2 * (x1 + x2);
            c0 = c2 * x1 * x2;
        } else {  // a complex pair
            const double re = rng.uniform(-10, 10), im = rng.uniform(0.5, 10);
            c1 = -2 * c2 * re;
            c0 = c2 * (re * re + im * im);
        }
        const Roots q = solve(c0, c1, c2);
        Eigen::PolynomialSolver<double, 2> ps;
        ps.compute(Eigen::Vector3d(c0, c1, c2));
        std::vector<std::complex<double>> want(ps.roots().data(), ps.roots().data() + 2);
        std::vector<std::complex<double>> got{{q.r[0], q.r[1]}, {q.r[2], q.r[3]}};
        // Real roots by value, a conjugate pair by imaginary part.
        const auto order = [&q](std::complex<double> x, std::complex<double> y) {
            return q.nreal == 2 ? x.real() < y.real() : x.imag() < y.imag();
        };
        EXPECT_EQ(q.degree, 2);
        EXPECT_EQ(q.nreal, t % 4 < 2 ? 2 : 0);
        if (q.nreal == 2) {
            EXPECT_GE(q.r[0], q.r[2]);  // p + r first
        } else {
            EXPECT_EQ(q.r[0], q.r[2]);
            EXPECT_EQ(q.r[1], -q.r[3]);
            EXPECT_GT(q.r[1], 0.0);
        }
        std::sort(want.begin(), want.end(), order);
        std::sort(got.begin(), got.end(), order);
        for (int i = 0; i < 2; ++i) EXPECT_LT(std::abs(got[i] - want[i]), 1e-11 * (1 + std::abs(want[i]))) << t;
    }
}

}  // namespace
