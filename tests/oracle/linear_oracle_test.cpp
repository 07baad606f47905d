// The linear-algebra routines against independent implementations from the
// system's packages: LAPACK (reference/OpenBLAS build) and Eigen.  Errors
// are judged by threshold ratios against n * eps * the problem's scale.
#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "support.hpp"

extern "C" {
void dgeqp3_(const int* m, const int* n, double* a, const int* lda, int* jpvt, double* tau, double* work,
             const int* lwork, int* info);
void dgglse_(const int* m, const int* n, const int* p, double* a, const int* lda, double* b, const int* ldb,
             double* c, double* d, double* x, double* work, const int* lwork, int* info);
void dtrtrs_(const char* uplo, const char* trans, const char* diag, const int* n, const int* nrhs,
             const double* a, const int* lda, double* b, const int* ldb, int* info, std::size_t, std::size_t,
             std::size_t);
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork,
             int* info);
void dgelss_(const int* m, const int* n, const int* nrhs, double* a, const int* lda, double* b, const int* ldb,
             double* s, const double* rcond, int* rank, double* work, const int* lwork, int* info);
}

namespace {

using Vec = std::vector<double>;
constexpr double kEps = std::numeric_limits<double>::epsilon();

double max_abs(const Vec& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

// Largest |a - b| relative to the scale of b.
double rel_diff(const Vec& a, const Vec& b) {
    double m = 0;
    for (std::size_t i = 0; i < a.size(); ++i) m = std::max(m, std::fabs(a[i] - b[i]));
    return m / std::max(max_abs(b), 1e-300);
}

// --- Householder reflections against Eigen's ------------------------------

TEST(LinearOracle, ReflectionMatchesEigenHouseholder) {
    zt::Rng rng(101);
    for (int m : {2, 5, 12}) {
        Vec u = rng.vec(m);
        if (std::fabs(u[0]) < 0.1) u[0] = 0.5;  // Eigen's sign rule differs only at 0
        Eigen::VectorXd ev = Eigen::Map<Eigen::VectorXd>(u.data(), m);
        Eigen::VectorXd essential(m - 1);
        double tau = 0, beta = 0;
        ev.makeHouseholder(essential, tau, beta);

        const int nv = 4;
        Vec c = rng.vec(static_cast<std::size_t>(m) * nv);
        Eigen::MatrixXd ec = Eigen::Map<Eigen::MatrixXd>(c.data(), m, nv);
        Eigen::VectorXd work(nv);
        ec.applyHouseholderOnTheLeft(essential, tau, work.data());

        int32_t mode = 1, ipiv = 1, ifirst = 2, ilast = m, inc = 1, incv = m, nvec = nv, ierr = -1;
        const double tol = 1e-8;
        double h = 0;
        lghtr_(&mode, &ipiv, &ifirst, &ilast, u.data(), &inc, &h, c.data(), &inc, &incv, &nvec, &tol, &ierr);
        ASSERT_EQ(ierr, 0);
        EXPECT_LT(std::fabs(u[0] - beta) / (std::fabs(beta) * m * kEps), 20.0);
        for (int j = 0; j < nv; ++j)
            for (int i = 0; i < m; ++i)
                EXPECT_LT(std::fabs(c[i + j * m] - ec(i, j)) / (m * kEps), 20.0) << m << " " << i << "," << j;
    }
}

// --- Triangular solves against dtrtrs -------------------------------------

TEST(LinearOracle, TriangularSolvesMatchLapack) {
    zt::Rng rng(102);
    const int lda = 9, ncol = 6, nn = std::min(lda, ncol);  // leading triangle of a 9-row array
    Vec a = rng.vec(static_cast<std::size_t>(lda) * (ncol + 1));
    for (int i = 0; i < nn; ++i) a[i + i * lda] = (i % 2 ? -1 : 1) * (2.0 + i);
    struct Mode {
        int32_t mode;
        char uplo, trans;
    };
    for (Mode md : {Mode{1, 'L', 'N'}, Mode{2, 'U', 'N'}, Mode{3, 'U', 'T'}, Mode{4, 'L', 'T'}}) {
        const Vec b0 = rng.vec(nn);
        Vec ours = b0, ref = b0;
        int32_t l = lda, nc = ncol;
        lgdre1_(&md.mode, &l, &nc, a.data(), ours.data());
        const int n = nn, one = 1, ldb = nn;
        int info = -1;
        dtrtrs_(&md.uplo, &md.trans, "N", &n, &one, a.data(), &lda, ref.data(), &ldb, &info, 1, 1, 1);
        ASSERT_EQ(info, 0);
        EXPECT_LT(rel_diff(ours, ref) / (nn * kEps), 20.0) << "mode " << md.mode;
    }
    // lgdre_ with interleaved right-hand sides against dtrtrs on the
    // column-major equivalent.
    const int n = 7, k = 3;
    Vec sq = rng.vec(n * n);
    for (int i = 0; i < n; ++i) sq[i + i * n] = 3.0 + i;
    for (int32_t mode : {1, 2}) {
        const Vec b0 = rng.vec(n * k);
        Vec ours = b0, ref(n * k);
        for (int i = 0; i < n; ++i)
            for (int r = 0; r < k; ++r) ref[i + r * n] = b0[i * k + r];
        int32_t nrhs = k, order = n, ierr = -1;
        lgdre_(&mode, &nrhs, &order, sq.data(), ours.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        int info = -1;
        dtrtrs_(mode == 1 ? "L" : "U", "N", "N", &n, &k, sq.data(), &n, ref.data(), &n, &info, 1, 1, 1);
        ASSERT_EQ(info, 0);
        Vec back(n * k);
        for (int i = 0; i < n; ++i)
            for (int r = 0; r < k; ++r) back[i * k + r] = ref[i + r * n];
        EXPECT_LT(rel_diff(ours, back) / (n * kEps), 20.0);
    }
}

// --- Pivoted QR against dgeqp3 ---------------------------------------------

// The permutation described by an interchange record: position j holds the
// original column perm[j] (0-based).
std::vector<int> permutation(const std::vector<int32_t>& ipvt, int k) {
    std::vector<int> perm(ipvt.size());
    for (std::size_t j = 0; j < perm.size(); ++j) perm[j] = static_cast<int>(j);
    for (int j = 0; j < k; ++j) std::swap(perm[j], perm[ipvt[j] - 1]);
    return perm;
}

TEST(LinearOracle, PivotedQrMatchesLapack) {
    zt::Rng rng(103);
    for (auto [m, n] : {std::pair{10, 6}, std::pair{6, 10}, std::pair{8, 8}, std::pair{25, 12}}) {
        const int lda = m + 1;
        Vec a0(static_cast<std::size_t>(lda) * n, 0.0);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) a0[i + j * lda] = rng.uniform() * (1.0 + j % 3);
        const int k = std::min(m, n);

        Vec a = a0, h(n);
        std::vector<int32_t> ipvt(n);
        int32_t l = lda, mm = m, nn = n;
        lgqrfc_(&l, &mm, &nn, a.data(), h.data(), ipvt.data());

        Vec r = a0, tau(k);
        std::vector<int> jpvt(n, 0);
        int info = -1, lwork = -1;
        double wq = 0;
        dgeqp3_(&m, &n, r.data(), &lda, jpvt.data(), tau.data(), &wq, &lwork, &info);
        lwork = static_cast<int>(wq);
        Vec work(lwork);
        dgeqp3_(&m, &n, r.data(), &lda, jpvt.data(), tau.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);

        // Same pivot order over the factorised steps, same |R| (the signs of
        // the rows may differ).
        const auto perm = permutation(ipvt, k);
        for (int j = 0; j < k; ++j) EXPECT_EQ(perm[j] + 1, jpvt[j]) << m << "x" << n << " step " << j;
        double rmax = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= std::min(j, m - 1); ++i) rmax = std::max(rmax, std::fabs(r[i + j * lda]));
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= std::min(j, k - 1); ++i)
                EXPECT_LT(std::fabs(std::fabs(a[i + j * lda]) - std::fabs(r[i + j * lda])) / (rmax * m * kEps),
                          20.0)
                    << m << "x" << n << " R(" << i << "," << j << ")";
        for (int j = 1; j < k; ++j)
            EXPECT_LE(std::fabs(a[j + j * lda]), std::fabs(a[(j - 1) + (j - 1) * lda]));

        // Q from the stored reflections is orthogonal: Q^T Q = I, Q built by
        // applying reflections k..1 to the columns of the identity.
        Eigen::MatrixXd q = Eigen::MatrixXd::Identity(m, m);
        for (int c = 0; c < m; ++c)
            for (int j = k; j >= 1; --j) {
                int32_t mode = 2, ipiv = j, ifirst = j + 1, ilast = m, inc = 1, nv = 1, ierr = -1;
                const double tol = 1e-8;
                lghtr_(&mode, &ipiv, &ifirst, &ilast, a.data() + (j - 1) * lda, &inc, &h[j - 1],
                       q.data() + static_cast<std::ptrdiff_t>(c) * m, &inc, &inc, &nv, &tol, &ierr);
            }
        const double orth = (q.transpose() * q - Eigen::MatrixXd::Identity(m, m)).cwiseAbs().maxCoeff();
        EXPECT_LT(orth / (m * kEps), 20.0);

        // A P = Q R, with R the upper trapezoid of the result (the columns
        // beyond the last step hold all of Q^T A P there) and P from the
        // interchange record.
        Eigen::MatrixXd rr = Eigen::MatrixXd::Zero(m, n), ap(m, n);
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i <= std::min(j, m - 1); ++i) rr(i, j) = a[i + j * lda];
            for (int i = 0; i < m; ++i) ap(i, j) = a0[i + perm[j] * lda];
        }
        const double anorm = ap.cwiseAbs().maxCoeff();
        EXPECT_LT((ap - q * rr).cwiseAbs().maxCoeff() / (anorm * n * kEps), 20.0) << m << "x" << n;
        for (int j = 0; j < n; ++j) EXPECT_EQ(a[m + j * lda], 0.0);  // padding row untouched
        for (int j = k; j < n; ++j) EXPECT_EQ(ipvt[j], j + 1);
    }
}

TEST(LinearOracle, PivotedQrOfRankDeficientMatrix) {
    // 9 by 6 of rank 4: the last two diagonal elements of R are at rounding
    // level, the first four match LAPACK's.
    zt::Rng rng(104);
    const int m = 9, n = 6, rank = 4;
    Eigen::MatrixXd b(m, rank), c(rank, n);
    for (double& v : b.reshaped()) v = rng.uniform();
    for (double& v : c.reshaped()) v = rng.uniform();
    const Eigen::MatrixXd a0 = b * c;
    Eigen::MatrixXd a = a0;
    Vec h(n);
    std::vector<int32_t> ipvt(n);
    int32_t lda = m, mm = m, nn = n;
    lgqrfc_(&lda, &mm, &nn, a.data(), h.data(), ipvt.data());
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(a0);
    const Eigen::MatrixXd r = qr.matrixQR();
    for (int j = 0; j < rank; ++j)
        EXPECT_NEAR(std::fabs(a(j, j)), std::fabs(r(j, j)), 1e-12 * std::fabs(r(0, 0)));
    for (int j = rank; j < n; ++j) EXPECT_LT(std::fabs(a(j, j)), 1e-12 * std::fabs(a(0, 0)));
}

// --- Constrained least squares against dgglse -------------------------------

TEST(LinearOracle, ConstrainedLeastSquaresMatchesLapack) {
    zt::Rng rng(105);
    struct Size {
        int n, p, q, k;
    };
    for (Size sz : {Size{3, 1, 4, 1}, Size{6, 2, 9, 3}, Size{8, 8, 0, 2}, Size{5, 3, 2, 1}, Size{20, 6, 30, 2},
                    Size{17, 17, 3, 1}, Size{10, 4, 12, 11}}) {
        const int n = sz.n, p = sz.p, q = sz.q, k = sz.k;
        const Vec e = rng.vec(static_cast<std::size_t>(p) * n), f = rng.vec(static_cast<std::size_t>(p) * k);
        const Vec c = rng.vec(static_cast<std::size_t>(q) * n), d = rng.vec(static_cast<std::size_t>(q) * k);
        Vec e1 = e, f1 = f, c1 = c, d1 = d, x(static_cast<std::size_t>(n) * k);
        int32_t nrhs = k, nv = n, ncon = p, neq = q, ierr = -1;
        lglse_(&nrhs, &nv, &ncon, &neq, e1.data(), f1.data(), c1.data(), d1.data(), x.data(), &ierr);
        ASSERT_EQ(ierr, 0) << n << " " << p << " " << q;
        for (int r = 0; r < k; ++r) {
            // dgglse: min |c_r - A x| subject to B x = d_r, A = our c, B = our e.
            Vec A = c, B = e, cr(std::max(q, 1)), dr(std::max(p, 1)), xr(n);
            for (int i = 0; i < q; ++i) cr[i] = d[static_cast<std::size_t>(i) * k + r];
            for (int i = 0; i < p; ++i) dr[i] = f[static_cast<std::size_t>(i) * k + r];
            const int lda = std::max(q, 1), ldb = std::max(p, 1);
            int info = -1, lwork = -1;
            double wq = 0;
            dgglse_(&q, &n, &p, A.data(), &lda, B.data(), &ldb, cr.data(), dr.data(), xr.data(), &wq, &lwork,
                    &info);
            lwork = static_cast<int>(wq);
            Vec work(lwork);
            dgglse_(&q, &n, &p, A.data(), &lda, B.data(), &ldb, cr.data(), dr.data(), xr.data(), work.data(),
                    &lwork, &info);
            ASSERT_EQ(info, 0);
            Vec ours(n);
            for (int i = 0; i < n; ++i) ours[i] = x[static_cast<std::size_t>(i) * k + r];
            EXPECT_LT(rel_diff(ours, xr), 1e-11) << n << " " << p << " " << q << " rhs " << r;
        }
    }
}

TEST(LinearOracle, UnconstrainedLeastSquaresMatchesEigen) {
    zt::Rng rng(106);
    const int n = 7, q = 15, k = 2;
    Eigen::MatrixXd c(q, n), d(q, k);
    for (double& v : c.reshaped()) v = rng.uniform();
    for (double& v : d.reshaped()) v = rng.uniform();
    Vec cc(c.data(), c.data() + c.size()), dd(static_cast<std::size_t>(q) * k), x(static_cast<std::size_t>(n) * k);
    for (int i = 0; i < q; ++i)
        for (int r = 0; r < k; ++r) dd[i * k + r] = d(i, r);
    int32_t nrhs = k, nv = n, ncon = 0, neq = q, ierr = -1;
    lglse_(&nrhs, &nv, &ncon, &neq, nullptr, nullptr, cc.data(), dd.data(), x.data(), &ierr);
    ASSERT_EQ(ierr, 0);
    const Eigen::MatrixXd ref = c.householderQr().solve(d);
    for (int i = 0; i < n; ++i)
        for (int r = 0; r < k; ++r) EXPECT_NEAR(x[i * k + r], ref(i, r), 1e-12 * ref.cwiseAbs().maxCoeff());
    // The trailing part of d carries the residual norm.
    for (int r = 0; r < k; ++r) {
        double tail = 0;
        for (int i = n; i < q; ++i) tail += dd[i * k + r] * dd[i * k + r];
        EXPECT_NEAR(std::sqrt(tail), (c * ref.col(r) - d.col(r)).norm(), 1e-12);
    }
}

// --- Inversion against dgetri, dgelss and Eigen ---------------------------

TEST(LinearOracle, InverseMatchesLapack) {
    zt::Rng rng(107);
    memsvc_reset();
    for (int n : {1, 3, 8, 20}) {
        Vec a = rng.vec(static_cast<std::size_t>(n) * n);
        for (int i = 0; i < n; ++i) a[i + i * n] += 2.0;
        Vec ours = a, x(static_cast<std::size_t>(n) * n);
        int32_t nn = n, ierr = -1;
        lminv_(&nn, &nn, ours.data(), x.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        Vec inv = a;
        std::vector<int> piv(n);
        int info = -1;
        dgetrf_(&n, &n, inv.data(), &n, piv.data(), &info);
        ASSERT_EQ(info, 0);
        int lwork = 64 * n;
        Vec work(lwork);
        dgetri_(&n, inv.data(), &n, piv.data(), work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        // x is the inverse row by row, i.e. its transpose column by column.
        Vec xt(x.size());
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) xt[i + j * n] = x[i * n + j];
        EXPECT_LT(rel_diff(xt, inv), 1e-12) << n;
    }
    EXPECT_EQ(memsvc_live_count(), 0u);
}

TEST(LinearOracle, PseudoInverseMatchesLapackAndEigen) {
    zt::Rng rng(108);
    memsvc_reset();
    for (auto [n, m] : {std::pair{1, 4}, std::pair{2, 3}, std::pair{4, 9}, std::pair{6, 7}}) {
        const Vec a = rng.vec(static_cast<std::size_t>(n) * m);
        Vec ours = a, x(static_cast<std::size_t>(n) * m);
        int32_t nn = n, mm = m, ierr = -1;
        lminv_(&nn, &mm, ours.data(), x.data(), &ierr);
        ASSERT_EQ(ierr, 0);
        for (std::size_t i = 0; i < a.size(); ++i) EXPECT_BITEQ(ours[i], a[i]);
        // Minimum-norm solutions of A X = I by dgelss give A+ (m by n).
        Vec la = a, b(static_cast<std::size_t>(m) * n, 0.0), s(n);
        for (int i = 0; i < n; ++i) b[i + static_cast<std::size_t>(i) * m] = 1.0;
        const double rcond = -1;
        int rank = 0, info = -1, lwork = -1;
        double wq = 0;
        dgelss_(&n, &m, &n, la.data(), &n, b.data(), &m, s.data(), &rcond, &rank, &wq, &lwork, &info);
        lwork = static_cast<int>(wq);
        Vec work(lwork);
        dgelss_(&n, &m, &n, la.data(), &n, b.data(), &m, s.data(), &rcond, &rank, work.data(), &lwork, &info);
        ASSERT_EQ(info, 0);
        ASSERT_EQ(rank, n);
        // x holds A+ row by row: A+(i, j) = x[(i-1)n + (j-1)].
        Vec pinv(x.size());
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < n; ++j) pinv[i + static_cast<std::size_t>(j) * m] = x[static_cast<std::size_t>(i) * n + j];
        EXPECT_LT(rel_diff(pinv, b), 1e-12) << n << "x" << m;
        const Eigen::MatrixXd ea = Eigen::Map<const Eigen::MatrixXd>(a.data(), n, m);
        const Eigen::MatrixXd ep = ea.completeOrthogonalDecomposition().pseudoInverse();
        Vec epv(ep.data(), ep.data() + ep.size());
        EXPECT_LT(rel_diff(pinv, epv), 1e-12) << n << "x" << m;
    }
    EXPECT_EQ(memsvc_live_count(), 0u);
}

}  // namespace
