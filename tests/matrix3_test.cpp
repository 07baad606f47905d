// 3 by 3 matrices and point lists: products, transposes and cofactors
// against Eigen, aliasing, the two ways of applying a matrix, counts below
// one, and reentrancy of the transpose.
#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <thread>
#include <vector>

#include "kernel_checks.hpp"

namespace {

using kc::kSentinel;
using kc::kU;
using M3 = std::array<double, 9>;
using Vec = std::vector<double>;

M3 random_m3(zt::Rng& rng, double scale = 1.0) {
    M3 m;
    for (auto& v : m) v = rng.uniform() * scale;
    return m;
}

// The nine doubles read column by column.
Eigen::Matrix3d em(const M3& m) { return Eigen::Map<const Eigen::Matrix3d>(m.data()); }

void expect_same_bits(const M3& got, const M3& want) {
    for (int i = 0; i < 9; ++i) EXPECT_BITEQ(got[i], want[i]) << " element " << i;
}

TEST(Matrix3, ProductAgainstEigenAndInPlace) {
    zt::Rng rng(41);
    for (int t = 0; t < 300; ++t) {
        const M3 a = random_m3(rng, 10.0), b = random_m3(rng, 0.1);
        M3 c{};
        lmmul3_(a.data(), b.data(), c.data());
        const Eigen::Matrix3d ec = em(a) * em(b);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                long double exact = 0, scale = 0;
                for (int k = 0; k < 3; ++k) {
                    exact += static_cast<long double>(a[i + 3 * k]) * b[k + 3 * j];
                    scale += std::fabs(static_cast<long double>(a[i + 3 * k]) * b[k + 3 * j]);
                }
                EXPECT_TRUE(kc::within(c[i + 3 * j], exact, scale, 3));
                EXPECT_TRUE(kc::within(c[i + 3 * j], ec(i, j), scale, 6));
            }
        // The output may be either factor.
        M3 x = a;
        lmmul3_(x.data(), b.data(), x.data());
        expect_same_bits(x, c);
        x = b;
        lmmul3_(a.data(), x.data(), x.data());
        expect_same_bits(x, c);
        // Squaring in place.
        M3 sq{};
        lmmul3_(a.data(), a.data(), sq.data());
        x = a;
        lmmul3_(x.data(), x.data(), x.data());
        expect_same_bits(x, sq);
    }
    // The terms of each element add left to right.
    const M3 a{1, 0, 0, 1e16, 0, 0, -1e16, 0, 0};  // first row (1, 1e16, -1e16)
    const M3 ones{1, 1, 1, 0, 0, 0, 0, 0, 0};
    M3 c{};
    lmmul3_(a.data(), ones.data(), c.data());
    EXPECT_EQ(c[0], 0.0);
}

TEST(Matrix3, ProductComposesColumnWiseApplication) {
    // Applied column-wise, a b applies b first and then a.
    zt::Rng rng(42);
    for (int t = 0; t < 100; ++t) {
        const M3 a = random_m3(rng), b = random_m3(rng);
        M3 ab{};
        lmmul3_(a.data(), b.data(), ab.data());
        const double p[3] = {rng.uniform(), rng.uniform(), rng.uniform()};
        double q1[3], q2[3], q3[3];
        const int32_t one = 1;
        lmmvp3_(ab.data(), &one, p, q1);
        lmmvp3_(b.data(), &one, p, q2);
        lmmvp3_(a.data(), &one, q2, q3);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(q1[i], q3[i], 32 * kU);
    }
}

TEST(Matrix3, TransposeInPlaceAndReentrant) {
    zt::Rng rng(43);
    const M3 a = random_m3(rng);
    M3 t{};
    lmmtra_(a.data(), t.data());
    const Eigen::Matrix3d et = em(a).transpose();
    for (int i = 0; i < 9; ++i) EXPECT_BITEQ(t[i], et.data()[i]);
    M3 x = a;
    lmmtra_(x.data(), x.data());
    expect_same_bits(x, t);
    lmmtra_(x.data(), x.data());
    expect_same_bits(x, a);

    // Concurrent transposes of different matrices keep apart.
    constexpr int kThreads = 4, kCalls = 20000;
    std::vector<M3> in(kThreads), want(kThreads);
    for (int k = 0; k < kThreads; ++k) {
        in[k] = random_m3(rng);
        lmmtra_(in[k].data(), want[k].data());
    }
    std::vector<int> bad(kThreads, 0);
    std::vector<std::thread> pool;
    for (int k = 0; k < kThreads; ++k)
        pool.emplace_back([&, k] {
            for (int c = 0; c < kCalls; ++c) {
                M3 out{};
                lmmtra_(in[k].data(), out.data());
                if (out != want[k]) ++bad[k];
            }
        });
    for (auto& th : pool) th.join();
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ(bad[k], 0) << "thread " << k;
}

TEST(Matrix3, Cofactors) {
    const M3 id{1, 0, 0, 0, 1, 0, 0, 0, 1};
    M3 out{};
    lmadj_(id.data(), out.data());
    EXPECT_EQ(out, id);

    // Third column the sum of the first two: singular, and the first column
    // of a against the first column of its cofactors gives det = 0 exactly.
    const M3 sing{1, 2, 3, 4, 5, 6, 5, 7, 9};
    lmadj_(sing.data(), out.data());
    EXPECT_EQ(sing[0] * out[0] + sing[1] * out[1] + sing[2] * out[2], 0.0);

    zt::Rng rng(44);
    for (int t = 0; t < 300; ++t) {
        const M3 a = random_m3(rng, 3.0);
        lmadj_(a.data(), out.data());
        const Eigen::Matrix3d E = em(a);
        const double det = E.determinant();
        // det(a) a^-T, the same in either reading of the storage; the
        // reference carries the rounding of the inverse, which grows with
        // the condition of a.
        const Eigen::Matrix3d want = det * E.inverse().transpose();
        const double cond = E.norm() * E.inverse().norm();
        const double scale = E.cwiseAbs().maxCoeff() * E.cwiseAbs().maxCoeff();
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(out[i], want.data()[i], 32 * kU * scale * cond) << i;
        // Cofactors of the transpose are the transposed cofactors, exactly.
        M3 at{}, adj_at{}, adj_t{};
        lmmtra_(a.data(), at.data());
        lmadj_(at.data(), adj_at.data());
        lmmtra_(out.data(), adj_t.data());
        for (int i = 0; i < 9; ++i) EXPECT_BITEQ(adj_at[i], adj_t[i]) << i;
        // Expansion along the first column gives the determinant.
        const long double expansion = static_cast<long double>(a[0]) * out[0] +
                                      static_cast<long double>(a[1]) * out[1] +
                                      static_cast<long double>(a[2]) * out[2];
        EXPECT_NEAR(static_cast<double>(expansion), det, 64 * kU * scale * E.cwiseAbs().maxCoeff());
    }
}

TEST(Matrix3, ApplyToPointsAndTranslate) {
    zt::Rng rng(45);
    const M3 a = random_m3(rng, 2.0);
    for (const int32_t n : {1, 2, 50}) {
        const Vec pts = rng.vec(3 * static_cast<std::size_t>(n), -100, 100);
        Vec out = kc::sentinels(3 * static_cast<std::size_t>(n) + 1);
        lmmvp3_(a.data(), &n, pts.data(), out.data());
        EXPECT_EQ(out.back(), kSentinel);
        for (int k = 0; k < n; ++k) {
            const Eigen::Vector3d p(pts[3 * k], pts[3 * k + 1], pts[3 * k + 2]);
            const Eigen::Vector3d want = em(a) * p;
            for (int c = 0; c < 3; ++c) {
                long double scale = 0;
                for (int j = 0; j < 3; ++j) scale += std::fabs(static_cast<long double>(a[c + 3 * j]) * p[j]);
                EXPECT_TRUE(kc::within(out[3 * k + c], want[c], scale, 6));
            }
        }
        out.pop_back();
        Vec inplace = pts;
        lmmvp3_(a.data(), &n, inplace.data(), inplace.data());
        for (std::size_t i = 0; i < out.size(); ++i) EXPECT_BITEQ(inplace[i], out[i]);

        const double shift[3] = {rng.uniform(), rng.uniform(), rng.uniform()};
        Vec moved = kc::sentinels(3 * static_cast<std::size_t>(n) + 1);
        lmmvs3_(pts.data(), &n, shift, moved.data());
        EXPECT_EQ(moved.back(), kSentinel);
        for (int k = 0; k < n; ++k)
            for (int c = 0; c < 3; ++c) {
                const Eigen::Vector3d s(shift[0], shift[1], shift[2]);
                const Eigen::Vector3d p(pts[3 * k], pts[3 * k + 1], pts[3 * k + 2]);
                EXPECT_BITEQ(moved[3 * k + c], (s + p)[c]);
            }
        moved.pop_back();
        inplace = pts;
        lmmvs3_(inplace.data(), &n, shift, inplace.data());
        for (std::size_t i = 0; i < moved.size(); ++i) EXPECT_BITEQ(inplace[i], moved[i]);
    }

    // No points: nothing written.
    const Vec pts{1, 2, 3};
    const double shift[3] = {1, 1, 1};
    for (const int32_t n : {0, -5}) {
        Vec out = kc::sentinels(3);
        lmmvp3_(a.data(), &n, pts.data(), out.data());
        lmmvs3_(pts.data(), &n, shift, out.data());
        EXPECT_EQ(out, kc::sentinels(3));
    }
}

TEST(Matrix3, ColumnWiseAndRowWiseTurnOppositeWays) {
    // Quarter turn about z, stored column by column: applied column-wise it
    // takes x to y; applied row-wise (column-wise application of the
    // transpose) it takes x to -y.
    const M3 quarter{0, 1, 0, -1, 0, 0, 0, 0, 1};
    const double x[3] = {1, 0, 0};
    double col[3], row[3];
    const int32_t one = 1;
    lmmvp3_(quarter.data(), &one, x, col);
    M3 tr{};
    lmmtra_(quarter.data(), tr.data());
    lmmvp3_(tr.data(), &one, x, row);
    EXPECT_EQ(col[0], 0.0);
    EXPECT_EQ(col[1], 1.0);
    EXPECT_EQ(col[2], 0.0);
    EXPECT_EQ(row[0], 0.0);
    EXPECT_EQ(row[1], -1.0);
    EXPECT_EQ(row[2], 0.0);
}

}  // namespace
