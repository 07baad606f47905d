// The linear family against the peers from the system's packages, one
// harness per routine family over a table of seeded problems: LAPACK
// (dtrtrs, dgeqp3, dgglse, dgetrf and dgetri, dgels) and Eigen (reflections,
// unconstrained least squares).  Differences are relative to the size of
// the reference; backward-stable results are held to 20 * size * eps.
#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <limits>
#include <numeric>
#include <tuple>

#include "support.hpp"

extern "C" {
void dtrtrs_(const char*, const char*, const char*, const int*, const int*, const double*, const int*, double*,
             const int*, int*, std::size_t, std::size_t, std::size_t);
void dgeqp3_(const int*, const int*, double*, const int*, int*, double*, double*, const int*, int*);
void dgglse_(const int*, const int*, const int*, double*, const int*, double*, const int*, double*, double*, double*,
             double*, const int*, int*);
void dgetrf_(const int*, const int*, double*, const int*, int*, int*);
void dgetri_(const int*, double*, const int*, const int*, double*, const int*, int*);
void dgels_(const char*, const int*, const int*, const int*, double*, const int*, double*, const int*, double*,
            const int*, int*, std::size_t);
}

namespace {

using Mat = Eigen::MatrixXd;
using RowMat = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;  // interleaved storage
constexpr double kEps = std::numeric_limits<double>::epsilon();

Mat random(zt::Rng& rng, int rows, int cols) {
    return Mat::NullaryExpr(rows, cols, [&] { return rng.uniform(); });
}

// max |a - b| / max |b|.
double rel(const Mat& a, const Mat& b) { return (a - b).cwiseAbs().maxCoeff() / b.cwiseAbs().maxCoeff(); }

// Work space for every LAPACK call here, more than any of them asks for.
std::vector<double> work(1 << 16);
const int lwork = 1 << 16;

// lghtr_ builds and applies the reflection Eigen builds (the sign rules
// differ only for a zero pivot element).
TEST(LinearLapack, ReflectionsMatchEigen) {
    zt::Rng rng(101);
    for (int32_t m : {2, 5, 12}) {
        int32_t mode = 1, one = 1, two = 2, nvec = 4, ierr = -1;
        Eigen::VectorXd u = random(rng, m, 1), essential(m - 1), scratch(4);
        Mat c = random(rng, m, 4), ref = c;
        double tau = 0, beta = 0, h = 0, tol = 1e-8;
        u.makeHouseholder(essential, tau, beta);
        ref.applyHouseholderOnTheLeft(essential, tau, scratch.data());
        lghtr_(&mode, &one, &two, &m, u.data(), &one, &h, c.data(), &one, &m, &nvec, &tol, &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_LT(std::fabs(u(0) - beta), 20 * m * kEps * std::fabs(beta));
        EXPECT_LT(rel(c, ref), 20 * m * kEps) << m;
    }
}

// lgdre1_ in its four modes on the leading 6 by 6 triangle of a 9-row array
// (lgdre_ on interleaved right-hand sides is held to lgdre1_ bit for bit in
// loop_order_test).
TEST(LinearLapack, TriangularSolvesMatchDtrtrs) {
    zt::Rng rng(102);
    for (auto [mode, uplo, trans] : {std::tuple{1, "L", "N"}, {2, "U", "N"}, {3, "U", "T"}, {4, "L", "T"}}) {
        int32_t n = 6, lda = 9, one = 1, info = -1;
        Mat a = random(rng, lda, n), ref = random(rng, n, 1), ours = ref;
        for (int i = 0; i < n; ++i) a(i, i) = (i % 2 ? -1 : 1) * (2.0 + i);
        dtrtrs_(uplo, trans, "N", &n, &one, a.data(), &lda, ref.data(), &n, &info, 1, 1, 1);
        lgdre1_(&mode, &lda, &n, a.data(), ours.data());
        EXPECT_EQ(info, 0);
        EXPECT_LT(rel(ours, ref), 20 * n * kEps) << "mode " << mode;
    }
}

// Against dgeqp3: the pivot order over the steps within the rank (with the
// identities A P = Q R and Q^T Q = I this fixes R up to the signs of its
// rows); |R(j, j)| non-increasing, the diagonal beyond the rank at rounding
// level.  A padding row below m; more than 512 columns take the one
// reflection at a time path.
TEST(LinearLapack, PivotedQrMatchesDgeqp3) {
    zt::Rng rng(103);
    for (auto [m, n, rank] : {std::array{10, 6, 6}, {6, 10, 6}, {8, 8, 8}, {25, 12, 12}, {9, 6, 4}, {5, 520, 5}}) {
        const int lda = m + 1, k = std::min(m, n);
        Mat a0 = Mat::Zero(lda, n);  // columns of different lengths
        a0.topRows(m) = random(rng, m, rank) * random(rng, rank, n) * Eigen::VectorXd::LinSpaced(n, 1, 3).asDiagonal();
        Mat a = a0, r = a0;
        Eigen::VectorXd h(n), tau(k);
        std::vector<int32_t> ipvt(n), jpvt(n, 0), perm(n);
        lgqrfc_(&lda, &m, &n, a.data(), h.data(), ipvt.data());
        int info = -1;
        dgeqp3_(&m, &n, r.data(), &lda, jpvt.data(), tau.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        // The permutation of the interchange record; Q from the stored
        // reflections applied (k down to 1) to the identity.
        std::iota(perm.begin(), perm.end(), 0);
        for (int j = 0; j < k; ++j) std::swap(perm[j], perm[ipvt[j] - 1]);
        Mat q = Mat::Identity(m, m), rr = a.topRows(m).triangularView<Eigen::Upper>(), ap(m, n);
        const int32_t apply = 2, one = 1;
        const double tol = 1e-8, rmax = rr.cwiseAbs().maxCoeff();
        for (int32_t j = k, next = k + 1; j >= 1; --j, --next)
            lghtr_(&apply, &j, &next, &m, &a(0, j - 1), &one, &h(j - 1), q.data(), &one, &m, &m, &tol, &info);
        for (int j = 0; j < n; ++j) ap.col(j) = a0.col(perm[j]).head(m);
        for (int j = 0; j < rank; ++j) EXPECT_EQ(perm[j] + 1, jpvt[j]) << m << "x" << n << " step " << j;
        for (int j = 1; j < k; ++j)
            EXPECT_TRUE(j >= rank ? std::fabs(rr(j, j)) < 1e-12 * rmax
                                  : std::fabs(rr(j, j)) <= std::fabs(rr(j - 1, j - 1)));
        EXPECT_LT(rel(q.transpose() * q, Mat::Identity(m, m)), 20 * m * kEps);
        EXPECT_LT(rel(q * rr, ap), 20 * n * kEps) << m << "x" << n;
        EXPECT_TRUE((a.row(m).array() == 0).all());
        for (int j = k; j < n; ++j) EXPECT_EQ(ipvt[j], j + 1);
    }
}

// Against dgglse, one right-hand side at a time; the trailing part of d holds the residual
// norm.  Sizes {n, ncon, neq, nrhs}: the constraints alone, more than 16
// variables, more right-hand sides than variables, no constraints.
TEST(LinearLapack, ConstrainedLeastSquaresMatchDgglse) {
    zt::Rng rng(105);
    for (auto [n, p, q, k] :
         {std::array{6, 2, 9, 3}, {8, 8, 0, 2}, {20, 6, 30, 2}, {17, 17, 3, 1}, {10, 4, 12, 11}, {7, 0, 15, 2}}) {
        const Mat e = random(rng, p, n), c = random(rng, q, n);
        const RowMat f = random(rng, p, k), d = random(rng, q, k);
        Mat e1 = e, c1 = c;
        RowMat f1 = f, d1 = d, x(n, k);
        int info = -1;
        lglse_(&k, &n, &p, &q, e1.data(), f1.data(), c1.data(), d1.data(), x.data(), &info);
        ASSERT_EQ(info, 0) << n << " " << p << " " << q;
        for (int r = 0; r < k; ++r) {
            Eigen::VectorXd ref(n), cr = Eigen::VectorXd::Zero(std::max(q, 1)), dr = f.col(r);
            cr.head(q) = d.col(r);
            Mat a = c, b = e;
            const int lda = std::max(q, 1), ldb = std::max(p, 1);
            dgglse_(&q, &n, &p, a.data(), &lda, b.data(), &ldb, cr.data(), dr.data(), ref.data(), work.data(), &lwork,
                    &info);
            ASSERT_EQ(info, 0);
            EXPECT_LT(rel(x.col(r), ref), 1e-11) << n << " " << p << " " << q << " rhs " << r;
            const double residual = p < n ? (c * x.col(r) - d.col(r)).norm() : 0;
            EXPECT_NEAR(p < n ? d1.col(r).tail(q - n + p).norm() : 0, residual, 1e-12);
        }
    }
}

// The inverse against dgetrf and dgetri, the generalised inverse against
// the minimum-norm solutions of A X = I by dgels; x holds either row by row.
TEST(LinearLapack, InverseAndPseudoInverseMatchLapack) {
    zt::Rng rng(107);
    for (auto [n, m] : {std::array{1, 1}, {3, 3}, {8, 8}, {20, 20}, {1, 4}, {2, 3}, {4, 9}, {6, 7}}) {
        Mat a = random(rng, n, m) + (n == m ? 2 : 0) * Mat::Identity(n, m), ours = a, ref = a, b = Mat::Identity(m, n);
        RowMat x(m, n);
        std::vector<int> piv(n);
        int info = -1;
        lminv_(&n, &m, ours.data(), x.data(), &info);
        ASSERT_EQ(info, 0);
        if (n == m) dgetrf_(&n, &n, ref.data(), &n, piv.data(), &info);
        if (n == m) dgetri_(&n, ref.data(), &n, piv.data(), work.data(), &lwork, &info);
        if (n != m) dgels_("N", &n, &m, &n, ref.data(), &n, b.data(), &m, work.data(), &lwork, &info, 1);
        ASSERT_EQ(info, 0);
        EXPECT_LT(rel(x, n == m ? ref : b), 1e-12) << n << "x" << m;
    }
}

// Banded problems fed block by block: blocks of 1 to 6 rows whose first
// variable advances by 0, 1 or 2 (never by more than the rows the block
// brings, so the problem keeps full rank), closing with 3 nb rows at
// n - nb + 1; with n = nb that one block holds a dense problem.  The
// solutions match dgels on the assembled matrix.
TEST(LinearLapack, BandedLeastSquaresMatchDgels) {
    zt::Rng rng(2024);
    std::vector<std::array<int32_t, 3>> cases = {{5, 5, 3}};  // n, nb, nrhs
    for (int32_t nb = 2; nb <= 6; ++nb)
        for (int32_t nrhs : {1, 3, 6}) cases.push_back({static_cast<int32_t>(150 + rng.gen() % 150), nb, nrhs});
    for (auto [n, nb, nrhs] : cases) {
        const int32_t width = nb + nrhs, ldg = n + 4 * nb + 8, last = n - nb + 1, solve = 1;
        std::vector<double> g(ldg * width);
        Mat ab(0, n + nrhs);  // the assembled matrix, right-hand sides on the right
        int32_t ipos = 1, inext = 1, rows = 0, ierr = -1, info = -1;
        const double tol = 1e-300, stol = 1e-12;
        for (int32_t jcol = 1, step = 0, nrow = 0; jcol <= last; jcol += jcol == last ? 1 : step, rows += nrow) {
            step = std::min<int32_t>(rng.gen() % 3, last - jcol);
            nrow = jcol == last ? 3 * nb : std::max<int32_t>(1, step + rng.gen() % 3);
            ab.conservativeResizeLike(Mat::Zero(rows + nrow, n + nrhs));
            for (int32_t i = 0; i < nrow * width; ++i)
                g[inext - 1 + i / width + i % width * ldg] =
                    ab(rows + i / width, i % width < nb ? jcol - 1 + i % width : n + i % width - nb) = rng.uniform();
            lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
        }
        RowMat x(n, nrhs);
        lgbls_(&solve, g.data(), &ldg, &nb, &ipos, &n, &nrhs, &stol, x.data(), &ierr);
        EXPECT_EQ(ierr, 0);
        Mat a = ab.leftCols(n), b = ab.rightCols(nrhs);
        dgels_("N", &rows, &n, &nrhs, a.data(), &rows, b.data(), &rows, work.data(), &lwork, &info, 1);
        ASSERT_EQ(info, 0);
        EXPECT_LT(rel(x, b.topRows(n)), 1e-10) << "n " << n << " nb " << nb << " nrhs " << nrhs;
    }
}

}  // namespace
