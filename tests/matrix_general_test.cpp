// General matrices and quadratic roots: products and norms against Eigen,
// summation order, leading dimensions never read past, counts below one,
// the Frobenius overflow rescue, the rank count, and roots against Eigen's
// polynomial solver.
#include <Eigen/Dense>
#include <unsupported/Eigen/Polynomials>

#include <algorithm>
#include <complex>

#include "kernel_checks.hpp"

namespace {

using kc::kInf;
using kc::kNaN;
using kc::kSentinel;
using kc::within;
using Vec = std::vector<double>;
using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// m by n column-major with leading dimension ld > m; the unused rows hold
// NaN, so a routine that reads them gives NaN.
struct Padded {
    int32_t m, n, ld;
    Vec a;
    Padded(zt::Rng& rng, int32_t rows, int32_t cols, int32_t lead)
        : m(rows), n(cols), ld(lead), a(static_cast<std::size_t>(lead) * cols, kNaN) {
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) at(i, j) = rng.uniform(-10, 10);
    }
    double& at(int i, int j) { return a[i + static_cast<std::size_t>(j) * ld]; }
    Eigen::MatrixXd eigen() const {
        return Eigen::Map<const Eigen::MatrixXd, 0, Eigen::OuterStride<>>(a.data(), m, n, Eigen::OuterStride<>(ld));
    }
};

TEST(MatrixGeneral, MatrixVectorProduct) {
    zt::Rng rng(31);
    const int32_t plain = 1, trans = 2;
    for (auto [m, n] : {std::pair{1, 1}, {3, 2}, {65, 3}, {130, 17}, {7, 150}}) {
        Padded A(rng, m, n, m + 3);
        const Vec xn = rng.vec(n), xm = rng.vec(m);
        const Eigen::MatrixXd E = A.eigen();
        const Eigen::VectorXd ey = E * Eigen::Map<const Eigen::VectorXd>(xn.data(), n);
        const Eigen::VectorXd et = E.transpose() * Eigen::Map<const Eigen::VectorXd>(xm.data(), m);
        const Eigen::VectorXd sy = E.cwiseAbs() * Eigen::VectorXd(Eigen::Map<const Eigen::VectorXd>(xn.data(), n).cwiseAbs());
        const Eigen::VectorXd st = E.cwiseAbs().transpose() * Eigen::VectorXd(Eigen::Map<const Eigen::VectorXd>(xm.data(), m).cwiseAbs());
        Vec y = kc::sentinels(m + 1), yt = kc::sentinels(n + 1), y2(m);
        lmmlvn_(&plain, &A.ld, &A.m, &A.n, A.a.data(), xn.data(), y.data());
        lmmlvn_(&trans, &A.ld, &A.m, &A.n, A.a.data(), xm.data(), yt.data());
        EXPECT_TRUE(y[m] == kSentinel && yt[n] == kSentinel);  // exactly m and n written
        for (int i = 0; i < m; ++i) EXPECT_TRUE(within(y[i], ey[i], sy[i], 2 * n + 2)) << i;
        for (int j = 0; j < n; ++j) EXPECT_TRUE(within(yt[j], et[j], st[j], 2 * m + 2)) << j;
        for (const int32_t mode : {0, 7, -2}) {  // every mode but 2 is the plain product
            lmmlvn_(&mode, &A.ld, &A.m, &A.n, A.a.data(), xn.data(), y2.data());
            for (int i = 0; i < m; ++i) EXPECT_BITEQ(y2[i], y[i]);
        }
    }

    // Index order from +0, also past the first 64 rows: (1, 1e16, -1e16)
    // absorbs the 1 before cancelling; a lone -0 product gives +0.
    Padded B(rng, 130, 3, 131), C(rng, 3, 4, 3);
    for (int k = 0; k < 3; ++k) B.at(99, k) = C.at(k, 2) = Vec{1, 1e16, -1e16}[k];
    const Vec ones{1, 1, 1};
    Vec yb(130), yc(4);
    lmmlvn_(&plain, &B.ld, &B.m, &B.n, B.a.data(), ones.data(), yb.data());
    lmmlvn_(&trans, &C.ld, &C.m, &C.n, C.a.data(), ones.data(), yc.data());
    EXPECT_TRUE(yb[99] == 0.0 && yc[2] == 0.0);
    const int32_t one = 1;
    const double mz = -0.0;
    for (const int32_t mode : {plain, trans}) {
        double y1 = kSentinel;
        lmmlvn_(&mode, &one, &one, &one, &mz, &ones[0], &y1);
        EXPECT_BITEQ(y1, 0.0);
    }
}

TEST(MatrixGeneral, MatrixVectorProductEmptyAndUnusableShapes) {
    const Vec a{1, 2, 3, 4, 5, 6}, x{1, 1, 1};
    const int32_t plain = 1, trans = 2, three = 3, two = 2, one = 1, zero = 0, neg = -4;
    const auto run = [&](int32_t mode, int32_t ld, int32_t m, int32_t n) {
        Vec y = kc::sentinels(4);
        lmmlvn_(&mode, &ld, &m, &n, a.data(), x.data(), y.data());
        return y;
    };
    const Vec untouched = kc::sentinels(4);
    EXPECT_EQ(run(trans, 3, 3, zero), untouched);
    EXPECT_EQ(run(trans, 3, 3, neg), untouched);
    EXPECT_EQ(run(plain, 3, neg, 2), untouched);
    EXPECT_EQ(run(trans, 3, zero, two), (Vec{0, 0, kSentinel, kSentinel}));  // empty sums
    EXPECT_EQ(run(plain, 3, three, zero), (Vec{0, 0, 0, kSentinel}));
    // A leading dimension below 1 cannot describe several columns: nothing
    // is read or written.  With one column it is never used.
    for (const int32_t ld : {0, -1, -2147483647 - 1}) {
        EXPECT_EQ(run(plain, ld, 3, 2), untouched);
        EXPECT_EQ(run(trans, ld, 3, 2), untouched);
        EXPECT_EQ(run(trans, ld, 3, one)[0], 6.0);
    }
}

TEST(MatrixGeneral, RowByRowProduct) {
    zt::Rng rng(33);
    for (auto [r, k, s] : {std::tuple{1, 1, 1}, {3, 4, 2}, {17, 33, 9}, {40, 3, 70}}) {
        const Vec a = rng.vec(r * k), b = rng.vec(k * s, -100, 100);
        Vec c = kc::sentinels(r * s + 1);
        lmmulm_(&r, &k, &s, a.data(), b.data(), c.data());
        EXPECT_EQ(c.back(), kSentinel);
        const RowMajor ea = Eigen::Map<const RowMajor>(a.data(), r, k), eb = Eigen::Map<const RowMajor>(b.data(), k, s);
        const RowMajor ec = ea * eb, sc = ea.cwiseAbs() * eb.cwiseAbs();
        for (int i = 0; i < r; ++i)
            for (int j = 0; j < s; ++j) EXPECT_TRUE(within(c[i * s + j], ec(i, j), sc(i, j), 2 * k + 2));
    }
    const int32_t one = 1, three = 3, two = 2, zero = 0, neg = -1;
    const Vec arow{1, 1e16, -1e16}, bcol{1, 1, 1};
    double c1 = kSentinel;
    lmmulm_(&one, &three, &one, arow.data(), bcol.data(), &c1);  // increasing k
    EXPECT_EQ(c1, 0.0);
    const double mz = -0.0;
    lmmulm_(&one, &one, &one, &mz, &bcol[0], &c1);  // from +0
    EXPECT_BITEQ(c1, 0.0);
    Vec c = kc::sentinels(5);
    lmmulm_(&two, &zero, &two, arow.data(), bcol.data(), c.data());
    EXPECT_EQ(c, (Vec{0, 0, 0, 0, kSentinel}));
    c = kc::sentinels(5);
    lmmulm_(&zero, &two, &two, arow.data(), bcol.data(), c.data());
    lmmulm_(&two, &one, &neg, arow.data(), bcol.data(), c.data());
    EXPECT_EQ(c, kc::sentinels(5));
}

TEST(MatrixGeneral, Norms) {
    const Vec a{1, 3, -2, 4};  // [[1, -2], [3, 4]]
    const int32_t two = 2;
    const double want[] = {0, 6, 7, std::sqrt(30.0), 4, 0};
    for (int32_t mode = -1; mode <= 5; ++mode)
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &two, &two, a.data()), want[std::max(mode, 0)]) << mode;

    zt::Rng rng(34);
    for (auto [m, n] : {std::pair{1, 1}, {4, 3}, {150, 7}, {64, 65}}) {
        Padded A(rng, m, n, m + 2);
        const Eigen::MatrixXd E = A.eigen().cwiseAbs();
        const double ref[] = {E.colwise().sum().maxCoeff(), E.rowwise().sum().maxCoeff(), E.norm(), E.maxCoeff()};
        const double k[] = {2.0 * m + 2, 2.0 * n + 2, 2.0 * m * n + 4, 0};
        for (int32_t mode = 1; mode <= 4; ++mode)
            EXPECT_TRUE(within(lmnrmn_(&mode, &A.ld, &A.m, &A.n, A.a.data()), ref[mode - 1], ref[mode - 1], k[mode - 1]));
    }

    // Order: Frobenius rows outer, so [[1, 1], [1e8, 0]] adds 1 + 1 before
    // 1e16 and keeps them; row and column sums in index order, also past
    // the first 64 rows: |1| + |1| + 1e16 = 1e16 + 2.
    const Vec f{1, 1e8, 1, 0};
    const int32_t m1 = 1, m2 = 2, m3 = 3, m4 = 4;
    EXPECT_BITEQ(lmnrmn_(&m3, &two, &two, &two, f.data()), std::nextafter(1e8, kInf));
    Padded R(rng, 150, 3, 151), C(rng, 3, 3, 3);
    for (int k = 0; k < 3; ++k) R.at(99, k) = C.at(k, 1) = Vec{1, -1, 1e16}[k];
    EXPECT_BITEQ(lmnrmn_(&m2, &R.ld, &R.m, &R.n, R.a.data()), 1e16 + 2);
    EXPECT_BITEQ(lmnrmn_(&m1, &C.ld, &C.m, &C.n, C.a.data()), 1e16 + 2);

    // A NaN never replaces a maximum; the Frobenius sum carries it.
    for (int pos = 0; pos < 4; ++pos) {
        Vec g = a;
        g[pos] = kNaN;
        const bool first_col = pos < 2, first_row = pos % 2 == 0;
        EXPECT_EQ(lmnrmn_(&m1, &two, &two, &two, g.data()), first_col ? 6.0 : 4.0) << pos;
        EXPECT_EQ(lmnrmn_(&m2, &two, &two, &two, g.data()), first_row ? 7.0 : 3.0) << pos;
        EXPECT_EQ(lmnrmn_(&m4, &two, &two, &two, g.data()), pos == 3 ? 3.0 : 4.0) << pos;
        EXPECT_TRUE(std::isnan(lmnrmn_(&m3, &two, &two, &two, g.data())));
    }
    // Empty matrices and unusable leading dimensions give 0 in every mode.
    const int32_t zero = 0, neg = -3;
    for (const int32_t mode : {1, 2, 3, 4}) {
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &zero, &two, f.data()), 0.0);
        EXPECT_BITEQ(lmnrmn_(&mode, &two, &two, &neg, f.data()), 0.0);
        EXPECT_BITEQ(lmnrmn_(&mode, &neg, &two, &two, f.data()), 0.0);
    }
}

// Power-of-two scaling commutes with the plain formula while nothing
// overflows: a matrix scaled past the overflow gives the scaled norm.
TEST(MatrixGeneral, FrobeniusOverflowRescue) {
    const int32_t fro = 3, two = 2, three = 3, four = 4;
    const double s = kc::largest_squarable();
    const Vec in{0, s, 0, 0}, out{0, std::nextafter(s, kInf), 0, 0};
    EXPECT_BITEQ(lmnrmn_(&fro, &two, &two, &two, in.data()), std::sqrt(s * s));
    EXPECT_BITEQ(lmnrmn_(&fro, &two, &two, &two, out.data()), out[1]);
    zt::Rng rng(36);
    for (auto [m, n] : {std::pair{2, 2}, {5, 3}, {40, 41}}) {
        for (int t = 0; t < 10; ++t) {
            Padded A(rng, m, n, m + 1), H = A;
            const int k = 300 + static_cast<int>(rng.uniform(0, 716));
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i) H.at(i, j) = std::ldexp(A.at(i, j), k);
            const double small = lmnrmn_(&fro, &A.ld, &A.m, &A.n, A.a.data());
            EXPECT_BITEQ(lmnrmn_(&fro, &H.ld, &H.m, &H.n, H.a.data()), std::ldexp(small, k));
        }
    }
    Vec big(12, 1e154);  // squares finite, sum not
    big[7] = -1.3e154;
    EXPECT_TRUE(within(lmnrmn_(&fro, &three, &three, &four, big.data()), kc::norm_ld(big.data(), 12), 4e154L, 14));
    EXPECT_EQ(lmnrmn_(&fro, &two, &two, &two, Vec(4, 1e308).data()), kInf);
    EXPECT_EQ(lmnrmn_(&fro, &two, &two, &two, Vec{1, kInf, 1e300, 2}.data()), kInf);
}

TEST(MatrixGeneral, RankCount) {
    const int32_t three = 3, two = 2, zero = 0, neg = -2;
    const double tol = 1e-8, negtol = -1.0;
    const Vec d{1e-3, 9, 9, 9, 1e-8, 9, 9, 9, 0}, e{-5, 0, 0, 0, kNaN, 0, 0, 0, 1e-8};
    EXPECT_EQ(lmtrkn_(&three, &three, d.data(), &tol), 1);  // strict comparison
    EXPECT_EQ(lmtrkn_(&three, &three, e.data(), &tol), 1);  // magnitudes; NaN never counted
    EXPECT_EQ(lmtrkn_(&three, &three, e.data(), &negtol), 2);
    // min(lda, n) elements: with lda 2 and n 3 the third would lie past the
    // 2 by 3 array (it holds 1 here to show it is not read).
    const Vec w{1, 7, 7, 1, 7, 7, 1};
    EXPECT_EQ(lmtrkn_(&two, &three, w.data(), &tol), 2);
    EXPECT_EQ(lmtrkn_(&zero, &three, d.data(), &tol), 0);
    EXPECT_EQ(lmtrkn_(&neg, &three, d.data(), &tol), 0);
    EXPECT_EQ(lmtrkn_(&three, &zero, d.data(), &tol), 0);
}

struct Roots {
    int32_t nreal = -99, degree = -99;
    Vec r = kc::sentinels(4);
};
Roots solve(double c0, double c1, double c2) {
    const double c[3] = {c0, c1, c2};
    Roots q;
    lm2pwu_(c, &q.nreal, &q.degree, q.r.data());
    return q;
}

TEST(MatrixGeneral, QuadraticRoots) {
    const auto expect = [](const Roots& q, int32_t nreal, int32_t degree, const Vec& r) {
        EXPECT_TRUE(q.nreal == nreal && q.degree == degree) << q.nreal << " " << q.degree;
        for (int i = 0; i < 4; ++i) EXPECT_BITEQ(q.r[i], r[i]);
    };
    const double S = kSentinel;
    expect(solve(2, -3, 1), 2, 2, {2, 0, 1, 0});
    expect(solve(5, 2, 1), 0, 2, {-1, 2, -1, -2});
    expect(solve(1, -2, 1), 2, 2, {1, 0, 1, 0});
    expect(solve(3, 2, 0), 1, 1, {-1.5, 0, S, S});
    expect(solve(0, 0, 0), -1, -1, {S, S, S, S});
    expect(solve(1, 0, 0), 0, 0, {S, S, S, S});
    // 1e-10 is not zero; below it is.
    EXPECT_EQ(solve(1, 0, 1e-10).degree, 2);
    EXPECT_EQ(solve(1, 1, std::nextafter(1e-10, 0.0)).degree, 1);
    expect(solve(1e-10, 0, 0), 0, 0, {S, S, S, S});
    EXPECT_EQ(solve(std::nextafter(1e-10, 0.0), 0, 0).degree, -1);

    // Against Eigen's companion-matrix solver: separated real roots or a
    // complex pair; real roots come as p + r then p - r.
    zt::Rng rng(37);
    for (int t = 0; t < 400; ++t) {
        const bool real = t % 4 < 2;
        const double c2 = rng.uniform(0.5, 2.0) * (t % 2 ? 1 : -1);
        const double u = rng.uniform(-10, 10), v = rng.uniform(0.5, 10);
        const double c1 = real ? -c2 * (2 * u + v) : -2 * c2 * u, c0 = real ? c2 * u * (u + v) : c2 * (u * u + v * v);
        const Roots q = solve(c0, c1, c2);
        Eigen::PolynomialSolver<double, 2> ps;
        ps.compute(Eigen::Vector3d(c0, c1, c2));
        std::vector<std::complex<double>> want(ps.roots().data(), ps.roots().data() + 2);
        const std::vector<std::complex<double>> got{{q.r[0], q.r[1]}, {q.r[2], q.r[3]}};
        std::sort(want.begin(), want.end(), [&](auto x, auto y) { return real ? x.real() > y.real() : x.imag() > y.imag(); });
        EXPECT_TRUE(q.degree == 2 && q.nreal == (real ? 2 : 0));
        for (int i = 0; i < 2; ++i) EXPECT_LT(std::abs(got[i] - want[i]), 1e-11 * (1 + std::abs(want[i]))) << t;
    }
}

}  // namespace
