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

}  // namespace

namespace {

// NaN and infinite entries: the factorisation runs to the end, the
// interchange record stays a valid one, and nothing outside a is touched.
TEST(QrPivot, NonFiniteEntries) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {kNaN, inf, -inf}) {
        for (int pos : {0, 7, 13}) {
            const int32_t m = 5, n = 4, lda = 6;
            zt::Rng rng(static_cast<std::uint64_t>(pos) + 1);
            std::vector<double> a(static_cast<std::size_t>(lda) * n + 1, -2.5);
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i) a[i + j * lda] = rng.uniform();
            a[pos] = bad;
            std::vector<double> h(n + 1, -2.5);
            std::vector<int32_t> ipvt(n + 1, -9);
            qr(lda, m, n, a.data(), h.data(), ipvt.data());
            for (int j = 0; j < n; ++j) {
                EXPECT_GE(ipvt[j], j + 1);
                EXPECT_LE(ipvt[j], n);
            }
            EXPECT_EQ(ipvt[n], -9);
            EXPECT_EQ(h[n], -2.5);
            EXPECT_EQ(a[static_cast<std::size_t>(lda) * n], -2.5);
            for (int j = 0; j < n; ++j) EXPECT_EQ(a[m + j * lda], -2.5);  // padding row
        }
    }
}

}  // namespace
