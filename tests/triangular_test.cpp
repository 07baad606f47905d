// Triangular solves lgdre_ (square, interleaved right-hand sides, checked)
// and lgdre1_ (leading triangle of a rectangular array, four modes).
#include <cmath>
#include <vector>

#include "support.hpp"

namespace {

void dre(int32_t mode, int32_t nrhs, int32_t n, const double* a, double* b, int32_t* ierr) {
    lgdre_(&mode, &nrhs, &n, a, b, ierr);
}
void dre1(int32_t mode, int32_t lda, int32_t ncol, const double* a, double* b) {
    lgdre1_(&mode, &lda, &ncol, a, b);
}

TEST(Triangular, WorkedExamples) {
    // n = 1, three right-hand sides: each divided by a(1, 1).
    double a1 = 4, b1[3] = {1, 2, -3};
    int32_t ierr = -1;
    dre(2, 3, 1, &a1, b1, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b1[0], 0.25);
    EXPECT_EQ(b1[1], 0.5);
    EXPECT_EQ(b1[2], -0.75);

    // a = [[2, 1], [0, 4]], right-hand sides (4, 8) and (6, 12) interleaved:
    // solutions (1, 2) and (1.5, 3) in the same layout.
    const double a[4] = {2, 0, 1, 4};
    double b[4] = {4, 6, 8, 12};
    dre(2, 2, 2, a, b, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(b[0], 1.0);
    EXPECT_EQ(b[1], 1.5);
    EXPECT_EQ(b[2], 2.0);
    EXPECT_EQ(b[3], 3.0);

    // Mode 1 reads only the lower triangle: [[2, x], [1, 4]].
    const double l[4] = {2, 1, 99, 4};
    double bl[2] = {4, 6};
    dre(1, 1, 2, l, bl, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(bl[0], 2.0);
    EXPECT_EQ(bl[1], 1.0);
}

TEST(Triangular, StatusesInTheirOrder) {
    const double good[4] = {2, 0, 1, 4};
    const double tiny[4] = {2, 0, 1, 1e-9};
    const double edge[4] = {2, 0, 1, 1e-8};
    double b[4] = {1, 2, 3, 4};
    int32_t ierr = -1;
    dre(1, 1, 0, good, b, &ierr);
    EXPECT_EQ(ierr, 3);
    dre(1, 0, 0, good, b, &ierr);  // n is tested first
    EXPECT_EQ(ierr, 3);
    dre(1, 0, 2, good, b, &ierr);
    EXPECT_EQ(ierr, 4);
    dre(1, -2, 2, tiny, b, &ierr);
    EXPECT_EQ(ierr, 4);
    // The diagonal is checked over its whole length before solving, even in
    // mode 1, which would reach a(2, 2) last.
    dre(1, 2, 2, tiny, b, &ierr);
    EXPECT_EQ(ierr, 1);
    dre(3, 2, 2, tiny, b, &ierr);  // a small diagonal wins over a bad mode
    EXPECT_EQ(ierr, 1);
    dre(3, 2, 2, good, b, &ierr);
    EXPECT_EQ(ierr, 2);
    dre(0, 2, 2, good, b, &ierr);
    EXPECT_EQ(ierr, 2);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(b[i], i + 1.0);
    dre(2, 2, 2, edge, b, &ierr);  // 1e-8 itself passes
    EXPECT_EQ(ierr, 0);
    // A NaN diagonal is not below the tolerance: solved, NaN results.
    const double nan_diag[1] = {std::nan("")};
    double bn[1] = {1};
    dre(1, 1, 1, nan_diag, bn, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(bn[0]));
}

TEST(Triangular, LeadingTriangle) {
    // The order is min(lda, ncol): with ncol 7 on a 2-row array only a 2 by
    // 2 system is solved and b(3) is not touched.
    const double a2[14] = {2, 0, 1, 4, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9};
    double b2[3] = {4, 8, 77};
    dre1(2, 2, 7, a2, b2);
    EXPECT_EQ(b2[0], 1.0);
    EXPECT_EQ(b2[1], 2.0);
    EXPECT_EQ(b2[2], 77.0);
    // ncol 0 or a negative lda: nothing changes (null a is never read).
    double b3[2] = {5, 6};
    dre1(1, 5, 0, nullptr, b3);
    dre1(2, -1, 3, nullptr, b3);
    EXPECT_EQ(b3[0], 5.0);
    EXPECT_EQ(b3[1], 6.0);
}

// Mode 3 on an upper triangle equals mode 1 on its transpose stored as a
// lower triangle, bit for bit; the same for modes 4 and 2.  Modes outside
// 1..4 fall back to mode 1 (below 2) and mode 3 (above 2).
TEST(Triangular, TransposedModesAndFallbacks) {
    zt::Rng rng(9);
    const int n = 6;
    std::vector<double> u = rng.vec(n * n), ut(n * n);
    for (int i = 0; i < n; ++i) u[i * n + i] += 2.0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) ut[i + j * n] = u[j + i * n];
    const std::vector<double> b0 = rng.vec(n);
    auto solve = [&](int32_t mode, const std::vector<double>& a) {
        std::vector<double> b = b0;
        dre1(mode, n, n, a.data(), b.data());
        return b;
    };
    const auto m3 = solve(3, u), m1t = solve(1, ut), m4 = solve(4, u), m2t = solve(2, ut);
    for (int i = 0; i < n; ++i) {
        EXPECT_BITEQ(m3[i], m1t[i]);
        EXPECT_BITEQ(m4[i], m2t[i]);
    }
    const auto m0 = solve(0, u), mneg = solve(-5, u), m1 = solve(1, u);
    const auto m5 = solve(5, u), m99 = solve(99, u);
    for (int i = 0; i < n; ++i) {
        EXPECT_BITEQ(m0[i], m1[i]);
        EXPECT_BITEQ(mneg[i], m1[i]);
        EXPECT_BITEQ(m5[i], m3[i]);
        EXPECT_BITEQ(m99[i], m3[i]);
    }
    // lgdre_ mode 2 on one right-hand side equals lgdre1_ mode 2 bit for bit.
    std::vector<double> b = b0;
    int32_t ierr = -1;
    dre(2, 1, n, u.data(), b.data(), &ierr);
    ASSERT_EQ(ierr, 0);
    const auto m2 = solve(2, u);
    for (int i = 0; i < n; ++i) EXPECT_BITEQ(b[i], m2[i]);
}

// Several interleaved right-hand sides give the same numbers as separate
// one-column solves.
TEST(Triangular, InterleavedEqualsSeparate) {
    zt::Rng rng(21);
    const int n = 5, k = 4;
    std::vector<double> a = rng.vec(n * n);
    for (int i = 0; i < n; ++i) a[i * n + i] += 2.0;
    const std::vector<double> b0 = rng.vec(n * k);
    for (int32_t mode = 1; mode <= 2; ++mode) {
        std::vector<double> b = b0;
        int32_t ierr = -1;
        dre(mode, k, n, a.data(), b.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        for (int r = 0; r < k; ++r) {
            std::vector<double> col(n);
            for (int i = 0; i < n; ++i) col[i] = b0[i * k + r];
            dre(mode, 1, n, a.data(), col.data(), &ierr);
            ASSERT_EQ(ierr, 0);
            for (int i = 0; i < n; ++i) EXPECT_BITEQ(b[i * k + r], col[i]);
        }
    }
}

}  // namespace
