// Sequential banded least squares: worked cases, the layout of the factor,
// the solve modes and their failures, and calls the routines must refuse.
#include <Eigen/Dense>
#include <cmath>
#include <limits>

#include "band_array.hpp"
#include "support.hpp"

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

TEST(BandedLsq, StraightLineFedOneEquationAtATime) {
    // y = c0 + c1 x through (0, 1), (1, 3), (2, 5): one equation per call.
    zt::BandArray b(4, 2, 1);
    const double pts[3][2] = {{0, 1}, {1, 3}, {2, 5}};
    const int32_t ipos_after[3] = {1, 1, 1}, inext_after[3] = {2, 3, 4};
    for (int k = 0; k < 3; ++k) {
        b.add(1, {1.0, pts[k][0], pts[k][1]});
        EXPECT_EQ(b.ipos, ipos_after[k]);
        EXPECT_EQ(b.inext, inext_after[k]);
    }
    // The triangle is full: the band part of the row below it is exactly zero.
    EXPECT_BITEQ(b.at(3, 1), 0.0);
    EXPECT_BITEQ(b.at(3, 2), 0.0);
    int32_t ierr = -1;
    std::vector<double> x = b.solve(1, 2, {}, ierr, 1e-12);
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR(x[0], 1.0, 8 * kEps);
    EXPECT_NEAR(x[1], 2.0, 8 * kEps);

    // Mode 3 on the stored right-hand sides is mode 1, bit for bit.
    std::vector<double> x3 = b.solve(3, 2, {b.at(1, 3), b.at(2, 3)}, ierr, 1e-12);
    EXPECT_EQ(ierr, 0);
    EXPECT_BITEQ(x3[0], x[0]);
    EXPECT_BITEQ(x3[1], x[1]);

    // A fourth point off the line: the least-squares line through the four
    // points is 1.2 + 1.7 x with residual sum of squares 0.3, which the two
    // rows below the triangle now hold between them.
    b.add(1, {1.0, 3.0, 6.0});
    EXPECT_EQ(b.ipos, 1);
    EXPECT_EQ(b.inext, 4);
    x = b.solve(1, 2, {}, ierr, 1e-12);
    EXPECT_EQ(ierr, 0);
    EXPECT_NEAR(x[0], 1.2, 16 * kEps);
    EXPECT_NEAR(x[1], 1.7, 16 * kEps);
    EXPECT_NEAR(b.at(3, 3) * b.at(3, 3) + b.at(4, 3) * b.at(4, 3), 0.3, 16 * kEps);
}

// Max |(R^T R - A^T A)(i, j)| / (max |A^T A| * rows * eps) over the given
// variables, with R read through the band layout.
double gram_ratio(zt::BandArray& b, const Eigen::MatrixXd& a, int64_t first) {
    const Eigen::MatrixXd ata = a.transpose() * a;
    const int64_t n = a.cols();
    double worst = 0.0;
    for (int64_t p = 0; p < n; ++p)
        for (int64_t q = 0; q < n; ++q) {
            long double s = 0;
            for (int64_t k = 0; k < n; ++k)
                s += static_cast<long double>(b.r(first + k, first + p)) * b.r(first + k, first + q);
            worst = std::max(worst, static_cast<double>(std::fabs(s - ata(p, q))));
        }
    return worst / (ata.cwiseAbs().maxCoeff() * static_cast<double>(a.rows()) * kEps);
}

TEST(BandedLsq, BlockPastTheFirstFreeRowIsMovedDown) {
    // Rows that lgbla_ has not yet written hold 99 to show what is touched.
    zt::BandArray b(10, 3, 1, 0.0, 99.0);
    b.add(1, {2, 1, -1, 3, /**/ 1, -3, 2, 0.5});
    ASSERT_EQ(b.ipos, 1);
    ASSERT_EQ(b.inext, 3);
    const std::vector<double> row1 = {b.at(1, 1), b.at(1, 2), b.at(1, 3), b.at(1, 4)};
    const double r22 = b.at(2, 2), r23 = b.at(2, 3), d2 = b.at(2, 4);

    // Four equations in the variables 5..7, written at row 3: they overlap
    // the rows 5..8 they are moved to.
    const double blk[4][4] = {{1, 2, 0.5, 1}, {-1, 1, 3, 2}, {2, -1, 1, 0}, {0.5, 0.5, -2, 1}};
    std::vector<double> rows;
    for (const auto& r : blk) rows.insert(rows.end(), r, r + 4);
    b.add(5, rows);
    EXPECT_EQ(b.ipos, 5);
    EXPECT_EQ(b.inext, 9);
    for (int t = 1; t <= 4; ++t) {
        EXPECT_BITEQ(b.at(1, t), row1[static_cast<std::size_t>(t - 1)]);  // finished row stays
        EXPECT_BITEQ(b.at(3, t), 0.0);                                     // rows in the gap
        EXPECT_BITEQ(b.at(4, t), 0.0);
        EXPECT_EQ(b.at(9, t), 99.0);  // below the block: untouched
        EXPECT_EQ(b.at(10, t), 99.0);
    }
    // Row 2 moved left by one: its diagonal is now in column 1.
    EXPECT_BITEQ(b.at(2, 1), r22);
    EXPECT_BITEQ(b.at(2, 2), r23);
    EXPECT_BITEQ(b.at(2, 3), 0.0);
    EXPECT_BITEQ(b.at(2, 4), d2);
    for (int t = 1; t <= 3; ++t) EXPECT_BITEQ(b.at(8, t), 0.0);

    Eigen::MatrixXd a(4, 3);
    Eigen::VectorXd y(4);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j) a(i, j) = blk[i][j];
        y(i) = blk[i][3];
    }
    EXPECT_LT(gram_ratio(b, a, 5), 20.0);

    // Variables 3 and 4 have no equation: the solve stops at row 4 with the
    // rows after it solved, those from the block alone.
    int32_t ierr = 0;
    std::vector<double> x = b.solve(1, 7, {}, ierr, 1e-12);
    EXPECT_EQ(ierr, 1);
    const Eigen::VectorXd ref = a.householderQr().solve(y);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(x[static_cast<std::size_t>(4 + k)], ref(k), 1e-14 * ref.norm());
    EXPECT_BITEQ(x[0], b.at(1, 4));
    EXPECT_BITEQ(x[1], d2);
    EXPECT_BITEQ(x[2], 0.0);
    EXPECT_BITEQ(x[3], 0.0);
}

// An upper triangular R of bandwidth 3 with exactly representable entries,
// stored with ipos = 3 so that both parts of the layout are used.
struct ExactFactor {
    static constexpr int n = 5;
    const double r[n][n] = {{2, 1, -1, 0, 0},
                            {0, 4, 3, 2, 0},
                            {0, 0, -1, 1, 5},
                            {0, 0, 0, 4, -3},
                            {0, 0, 0, 0, 8}};
    const double x[n][2] = {{1, 4}, {-2, 0}, {3, -1}, {0.5, 2}, {-1, 0.25}};
    zt::BandArray b{n, 3, 2};
    std::vector<double> y, yt;  // R x and R^T x, interleaved

    ExactFactor() {
        b.ipos = 3;
        for (int i = 1; i <= n; ++i)
            for (int j = i; j <= std::min(n, i + 2); ++j) b.at(i, b.column(i, j)) = r[i - 1][j - 1];
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 2; ++c) {
                double s = 0, st = 0;  // small dyadic numbers: every sum is exact
                for (int k = 0; k < n; ++k) {
                    s += r[i][k] * x[k][c];
                    st += r[k][i] * x[k][c];
                }
                y.push_back(s);
                yt.push_back(st);
            }
    }
};

TEST(BandedLsq, ModesSolveExactlyAndStopAtASmallDiagonal) {
    ExactFactor f;
    for (int i = 1; i <= f.n; ++i)
        for (int c = 1; c <= 2; ++c) f.b.at(i, 3 + c) = f.y[static_cast<std::size_t>((i - 1) * 2 + c - 1)];
    int32_t ierr = -1;
    const std::vector<double> x1 = f.b.solve(1, f.n, {}, ierr, 1.0);  // the smallest |diagonal| is 1
    EXPECT_EQ(ierr, 0);
    const std::vector<double> x3 = f.b.solve(3, f.n, f.y, ierr, 1.0);
    EXPECT_EQ(ierr, 0);
    const std::vector<double> x2 = f.b.solve(2, f.n, f.yt, ierr, 1.0);
    EXPECT_EQ(ierr, 0);
    for (int i = 0; i < f.n; ++i)
        for (int c = 0; c < 2; ++c) {
            const auto k = static_cast<std::size_t>(i * 2 + c);
            EXPECT_EQ(x1[k], f.x[i][c]);
            EXPECT_EQ(x3[k], f.x[i][c]);
            EXPECT_EQ(x2[k], f.x[i][c]);
        }

    // |R(3, 3)| just below the tolerance: mode 3 has solved rows 4 and 5,
    // mode 2 rows 1 and 2; the others are as they came in.
    const double tol = std::nextafter(1.0, 2.0);
    const std::vector<double> p3 = f.b.solve(3, f.n, f.y, ierr, tol);
    EXPECT_EQ(ierr, 1);
    const std::vector<double> p2 = f.b.solve(2, f.n, f.yt, ierr, tol);
    EXPECT_EQ(ierr, 1);
    for (int i = 0; i < f.n; ++i)
        for (int c = 0; c < 2; ++c) {
            const auto k = static_cast<std::size_t>(i * 2 + c);
            EXPECT_EQ(p3[k], i >= 3 ? f.x[i][c] : f.y[k]);
            EXPECT_EQ(p2[k], i <= 1 ? f.x[i][c] : f.yt[k]);
        }
}

TEST(BandedLsq, SolveRejectsWhatItCannotDo) {
    ExactFactor f;
    int32_t ierr = 0;
    for (int32_t mode : {4, 0, -1}) {
        ierr = 0;
        EXPECT_EQ(f.b.solve(mode, f.n, f.y, ierr, 1.0), f.y) << mode;
        EXPECT_EQ(ierr, 1);
    }

    // With ipos = 1 the diagonal of row 5 would lie in column 5 of a band
    // array with 3 + 1 columns.
    // A fifth column of ones past the end of g would be found by a read
    // beyond it.
    zt::BandArray d(5, 3, 1);
    for (int i = 1; i <= 4; ++i) d.at(i, i) = 2.0;
    d.g.resize(d.g.size() + 5, 1.0);
    const std::vector<double> rhs = {2, 4, 6, 8, 10};
    EXPECT_EQ(d.solve(3, 5, rhs, ierr, 1e-12), rhs);
    EXPECT_EQ(ierr, 1);
    const std::vector<double> copied = d.solve(1, 5, {}, ierr, 1e-12);
    EXPECT_EQ(ierr, 1);
    for (int i = 1; i <= 5; ++i) EXPECT_BITEQ(copied[static_cast<std::size_t>(i - 1)], d.at(i, 4));
    EXPECT_EQ(d.solve(2, 5, rhs, ierr, 1e-12), (std::vector<double>{1, 2, 3, 4, 10}));
    EXPECT_EQ(ierr, 1);

    // Shapes that cannot describe a factor: nothing written.
    const std::vector<double> x0(10, 7.0);
    const int32_t ldg = 5, n5 = 5, n6 = 6, one = 1, two = 2, zero = 0, minus = -1, nb3 = 3;
    const double tol = 1e-12;
    struct Case { const int32_t *nb, *n, *nrhs; };
    for (const Case& c : {Case{&zero, &n5, &one}, Case{&nb3, &n5, &minus}, Case{&nb3, &n6, &one}})
        for (int32_t mode : {1, 2, 3}) {
            std::vector<double> x = x0;
            ierr = 0;
            lgbls_(&mode, d.g.data(), &ldg, c.nb, &two, c.n, c.nrhs, &tol, x.data(), &ierr);
            EXPECT_EQ(ierr, 1);
            EXPECT_EQ(x, x0);
        }
}

TEST(BandedLsq, FoldRefusesCallsOutsideTheProtocol) {
    zt::BandArray b(6, 2, 1, 0.0, 5.0);
    const std::vector<double> before = b.g;
    auto call = [&](int32_t nrow, int32_t jcol, int32_t nb, int32_t nrhs) {
        lgbla_(b.g.data(), &b.ldg, &nb, &b.ipos, &b.inext, &nrow, &jcol, &nrhs, &b.tol);
        EXPECT_EQ(b.g, before) << nrow << " " << jcol << " " << nb << " " << nrhs;
        EXPECT_EQ(b.ipos, 3);
        EXPECT_EQ(b.inext, 5);
    };
    b.ipos = 3;
    b.inext = 5;
    call(0, 3, 2, 1);   // no rows
    call(-3, 3, 2, 1);
    call(3, 3, 2, 1);   // rows 5..7 of a 6-row array
    call(2, 6, 2, 1);   // moved down to rows 6..7
    call(1, 2, 2, 1);   // left of the current block
    call(1, 3, 0, 1);   // no band
    call(1, 3, 2, -1);  // negative number of right-hand sides
}

}  // namespace
