// 3 by 3 matrices and point lists against Eigen: products, transposes,
// cofactors, application to points, aliasing, counts below one, the two
// ways of applying a matrix, reentrancy of the transpose.
#include <Eigen/Dense>

#include <array>
#include <thread>

#include "kernel_checks.hpp"

namespace {

using kc::kSentinel;
using kc::kU;
using kc::within;
using M3 = std::array<double, 9>;
using Vec = std::vector<double>;

M3 rnd(zt::Rng& r, double s) {
    M3 m;
    for (auto& v : m) v = r.uniform() * s;
    return m;
}
Eigen::Matrix3d em(const M3& m) { return Eigen::Map<const Eigen::Matrix3d>(m.data()); }  // column by column
void bit_eq(const double* got, const double* want, int n) {
    for (int i = 0; i < n; ++i) EXPECT_BITEQ(got[i], want[i]) << " element " << i;
}

TEST(Matrix3, ProductTransposeCofactors) {
    zt::Rng rng(41);
    for (int t = 0; t < 300; ++t) {
        const M3 a = rnd(rng, 10), b = rnd(rng, 0.1);
        M3 c{}, x{}, tr{}, adj{};
        lmmul3_(a.data(), b.data(), c.data());
        const Eigen::Matrix3d ec = em(a) * em(b), sc = em(a).cwiseAbs() * em(b).cwiseAbs();
        for (int i = 0; i < 9; ++i) EXPECT_TRUE(within(c[i], ec.data()[i], sc.data()[i], 6));
        x = a, lmmul3_(x.data(), b.data(), x.data()), bit_eq(x.data(), c.data(), 9);
        x = b, lmmul3_(a.data(), x.data(), x.data()), bit_eq(x.data(), c.data(), 9);

        lmmtra_(a.data(), tr.data());
        const Eigen::Matrix3d et = em(a).transpose();
        bit_eq(tr.data(), et.data(), 9);
        x = a, lmmtra_(x.data(), x.data()), bit_eq(x.data(), tr.data(), 9);

        // Cofactors: det(a) a^-T (the reference carries the rounding of the
        // inverse, which grows with the condition of a); those of the
        // transpose are the transposed ones exactly; the first column
        // expands the determinant.
        lmadj_(a.data(), adj.data());
        const Eigen::Matrix3d E = em(a), want = E.determinant() * E.inverse().transpose();
        const double cond = E.norm() * E.inverse().norm(), scale = E.cwiseAbs().maxCoeff();
        for (int i = 0; i < 9; ++i) EXPECT_NEAR(adj[i], want.data()[i], 32 * kU * scale * scale * cond) << i;
        M3 adj_t{}, t_adj{};
        lmadj_(tr.data(), adj_t.data());
        lmmtra_(adj.data(), t_adj.data());
        bit_eq(adj_t.data(), t_adj.data(), 9);
        const long double det = static_cast<long double>(a[0]) * adj[0] + static_cast<long double>(a[1]) * adj[1] +
                                 static_cast<long double>(a[2]) * adj[2];
        EXPECT_NEAR(static_cast<double>(det), E.determinant(), 64 * kU * scale * scale * scale);
    }
    const M3 id{1, 0, 0, 0, 1, 0, 0, 0, 1}, sing{1, 2, 3, 4, 5, 6, 5, 7, 9};  // third column = first + second
    M3 adj{};
    lmadj_(id.data(), adj.data());
    EXPECT_EQ(adj, id);
    lmadj_(sing.data(), adj.data());
    EXPECT_EQ(sing[0] * adj[0] + sing[1] * adj[1] + sing[2] * adj[2], 0.0);
    const M3 row1{1, 0, 0, 1e16, 0, 0, -1e16, 0, 0}, ones{1, 1, 1, 0, 0, 0, 0, 0, 0};  // terms left to right
    lmmul3_(row1.data(), ones.data(), adj.data());
    EXPECT_EQ(adj[0], 0.0);
}

TEST(Matrix3, PointLists) {
    zt::Rng rng(45);
    const M3 a = rnd(rng, 2);
    for (const int32_t n : {1, 2, 50}) {
        const Vec pts = rng.vec(3 * n, -100, 100);
        const double shift[3] = {rng.uniform(), rng.uniform(), rng.uniform()};
        Vec out = kc::sentinels(3 * n + 1), moved = out, in = pts;
        lmmvp3_(a.data(), &n, pts.data(), out.data());
        lmmvs3_(pts.data(), &n, shift, moved.data());
        EXPECT_TRUE(out.back() == kSentinel && moved.back() == kSentinel);
        for (int k = 0; k < n; ++k) {
            const Eigen::Vector3d p(pts[3 * k], pts[3 * k + 1], pts[3 * k + 2]);
            const Eigen::Vector3d want = em(a) * p, scale = em(a).cwiseAbs() * p.cwiseAbs();
            const Eigen::Vector3d sum = Eigen::Vector3d(shift[0], shift[1], shift[2]) + p;
            for (int c = 0; c < 3; ++c) {
                EXPECT_TRUE(within(out[3 * k + c], want[c], scale[c], 6));
                EXPECT_BITEQ(moved[3 * k + c], sum[c]);
            }
        }
        lmmvp3_(a.data(), &n, in.data(), in.data());  // in place
        bit_eq(in.data(), out.data(), 3 * n);
        in = pts;
        lmmvs3_(in.data(), &n, shift, in.data());
        bit_eq(in.data(), moved.data(), 3 * n);
    }
    for (const int32_t n : {0, -5}) {
        Vec out = kc::sentinels(3);
        lmmvp3_(a.data(), &n, Vec{1, 2, 3}.data(), out.data());
        lmmvs3_(Vec{1, 2, 3}.data(), &n, a.data(), out.data());
        EXPECT_EQ(out, kc::sentinels(3));
    }

    // A quarter turn about z stored column by column: applied column-wise it
    // takes x to y, row-wise (column-wise with the transpose) to -y.
    const M3 quarter{0, 1, 0, -1, 0, 0, 0, 0, 1};
    M3 tr{};
    lmmtra_(quarter.data(), tr.data());
    const double x[3] = {1, 0, 0};
    double col[3], row[3];
    const int32_t one = 1;
    lmmvp3_(quarter.data(), &one, x, col);
    lmmvp3_(tr.data(), &one, x, row);
    EXPECT_TRUE(col[0] == 0 && col[1] == 1 && col[2] == 0 && row[0] == 0 && row[1] == -1 && row[2] == 0);
}

TEST(Matrix3, TransposeIsReentrant) {
    zt::Rng rng(43);
    std::array<M3, 4> in, want;
    for (int k = 0; k < 4; ++k) in[k] = rnd(rng, 1), lmmtra_(in[k].data(), want[k].data());
    std::array<int, 4> bad{};
    std::array<std::thread, 4> pool;
    for (int k = 0; k < 4; ++k)
        pool[k] = std::thread([&, k] {
            for (int c = 0; c < 20000; ++c) {
                M3 out{};
                lmmtra_(in[k].data(), out.data());
                bad[k] += out != want[k];
            }
        });
    for (auto& th : pool) th.join();
    EXPECT_EQ(bad, (std::array<int, 4>{}));
}

}  // namespace
