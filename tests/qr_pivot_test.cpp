// Pivoted QR factorisation lgqrfc_: worked examples, pivot choice, and the
// stored reflections reproducing the input.
#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void qr(int32_t lda, int32_t m, int32_t n, double* a, double* h, int32_t* ipvt) {
    lgqrfc_(&lda, &m, &n, a, h, ipvt);
}

TEST(QrPivot, WorkedExampleZeroColumnFirst) {
    // Columns (0, 0) and (3, 4).
    double a[4] = {0, 0, 3, 4};
    double h[2] = {kNaN, kNaN};
    int32_t ipvt[2] = {0, 0};
    qr(2, 2, 2, a, h, ipvt);
    EXPECT_EQ(ipvt[0], 2);
    EXPECT_EQ(ipvt[1], 2);
    EXPECT_EQ(a[0], -5.0);
    EXPECT_EQ(a[1], 4.0);
    EXPECT_EQ(h[0], 8.0);
    EXPECT_EQ(a[2], 0.0);
    EXPECT_EQ(a[3], 0.0);
    // Step 2 recomputes the length of the zero column and builds nothing.
    EXPECT_EQ(h[1], 0.0);
}

TEST(QrPivot, SingleColumnAndTies) {
    // n = 1: ipvt(1) = 1 and a(1, 1) = -sign(a11) * length (plus for 0).
    double a[3] = {2, -1, 2}, h = 0;
    int32_t ipvt = 0;
    qr(3, 3, 1, a, &h, &ipvt);
    EXPECT_EQ(ipvt, 1);
    EXPECT_EQ(a[0], -3.0);
    EXPECT_EQ(a[1], -1.0);
    EXPECT_EQ(a[2], 2.0);
    EXPECT_EQ(h, 5.0);
    double z[2] = {0, 1};
    qr(2, 2, 1, z, &h, &ipvt);
    EXPECT_EQ(z[0], 1.0);
    EXPECT_EQ(h, -1.0);

    // Two columns of equal length: the first stays in place.
    double t[6] = {1, 2, 2, 2, 1, -2};
    double ht[2];
    int32_t pt[2] = {0, 0};
    qr(3, 3, 2, t, ht, pt);
    EXPECT_EQ(pt[0], 1);
    EXPECT_EQ(t[0], -3.0);
}

TEST(QrPivot, DegenerateSizesOnlyInitialiseThePivotRecord) {
    double a[4] = {1, 2, 3, 4}, h[2] = {7, 7};
    int32_t ipvt[2] = {0, 0};
    qr(2, 0, 2, a, h, ipvt);
    EXPECT_EQ(ipvt[0], 1);
    EXPECT_EQ(ipvt[1], 2);
    EXPECT_EQ(a[0], 1.0);
    EXPECT_EQ(h[0], 7.0);
    ipvt[0] = ipvt[1] = 0;
    qr(2, -3, 2, a, h, ipvt);
    EXPECT_EQ(ipvt[1], 2);
    EXPECT_EQ(h[1], 7.0);
    // n < 1: nothing at all (null arrays are never touched).
    qr(2, 2, 0, nullptr, nullptr, nullptr);
    qr(2, 2, -1, nullptr, nullptr, nullptr);
    // A leading dimension below the row count is refused the same way.
    qr(1, 2, 2, a, h, ipvt);
    EXPECT_EQ(ipvt[0], 1);
    EXPECT_EQ(a[3], 4.0);
    EXPECT_EQ(h[0], 7.0);
}

// Applies the stored reflections and the interchange record to rebuild the
// input: A P = Q R, checked with a threshold ratio.
TEST(QrPivot, ReflectionsAndInterchangesRebuildTheMatrix) {
    zt::Rng rng(77);
    for (auto [m, n] : {std::pair{6, 4}, std::pair{4, 6}, std::pair{5, 5}, std::pair{9, 1}}) {
        const int32_t lda = m + 2;
        std::vector<double> a0(static_cast<std::size_t>(lda) * n, kNaN);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) a0[i + j * lda] = rng.uniform();
        std::vector<double> a = a0, h(n);
        std::vector<int32_t> ipvt(n);
        qr(lda, m, n, a.data(), h.data(), ipvt.data());
        for (int j = 0; j < n; ++j)
            for (int i = m; i < lda; ++i) EXPECT_TRUE(std::isnan(a[i + j * lda]));  // padding untouched
        const int k = std::min(m, n);
        // R (upper trapezoid), then Q R column by column: apply reflections
        // k..1 in mode 2 to each column of R.
        std::vector<double> qrm(static_cast<std::size_t>(m) * n, 0.0);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= std::min(j, m - 1); ++i) qrm[i + j * m] = a[i + j * lda];
        for (int j = 0; j < n; ++j) {
            for (int l = k; l >= 1; --l) {
                int32_t mode = 2, ipiv = l, ifirst = l + 1, ilast = m, inc = 1, nv = 1, ierr = -1;
                const double tol = 1e-8;
                lghtr_(&mode, &ipiv, &ifirst, &ilast, a.data() + (l - 1) * lda, &inc, &h[l - 1],
                       qrm.data() + j * m, &inc, &inc, &nv, &tol, &ierr);
            }
        }
        // A P: apply the interchanges to the columns of A in order 1..k.
        std::vector<double> ap(static_cast<std::size_t>(m) * n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) ap[i + j * m] = a0[i + j * lda];
        for (int j = 0; j < n; ++j) {
            ASSERT_GE(ipvt[j], j + 1);
            ASSERT_LE(ipvt[j], n);
            if (j >= k) {
                EXPECT_EQ(ipvt[j], j + 1);
            }
            for (int i = 0; i < m; ++i) std::swap(ap[i + j * m], ap[i + (ipvt[j] - 1) * m]);
        }
        double err = 0, anorm = 0;
        for (std::size_t i = 0; i < ap.size(); ++i) {
            err = std::max(err, std::fabs(ap[i] - qrm[i]));
            anorm = std::max(anorm, std::fabs(ap[i]));
        }
        EXPECT_LT(err / (anorm * n * std::numeric_limits<double>::epsilon()), 20.0) << m << "x" << n;
        // Full-rank random matrices: |R(j, j)| does not increase.
        for (int j = 1; j < k; ++j) {
            EXPECT_LE(std::fabs(a[j + j * lda]), std::fabs(a[(j - 1) + (j - 1) * lda]) * (1 + 1e-12));
        }
    }
}

}  // namespace
