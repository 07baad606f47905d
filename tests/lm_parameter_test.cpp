// ngpar1_: the Levenberg-Marquardt parameter and step for a radius.
//
// The problems are built with Q = I: J = R P^T for an upper-triangular R
// and a column interchange record P, so that Q^T(-f) = -f and every
// expected quantity comes from Eigen on J, f and D directly, without the
// library's factorisation.
#include <Eigen/Dense>

#include <cmath>
#include <limits>

#include "support.hpp"

namespace {

using Mat = Eigen::MatrixXd;
using Vec = Eigen::VectorXd;

struct LmProblem {
    int m = 0, n = 0, rank = 0;
    Mat R;  // m by n, upper trapezoidal
    Mat J;  // R with the interchanges undone
    Vec f, d;
    std::vector<std::int32_t> piv;

    // Applies the interchange record backward (pivoted -> variable order).
    Vec to_variables(Vec z) const {
        for (int j = n; j >= 1; --j)
            if (piv[j - 1] != j) std::swap(z[j - 1], z[piv[j - 1] - 1]);
        return z;
    }
    // The Gauss-Newton step in variable order over the leading rank block.
    Vec gauss_newton() const {
        Vec z = Vec::Zero(n);
        const int k = std::min(rank, std::min(m, n));
        z.head(k) = R.topLeftCorner(k, k).triangularView<Eigen::Upper>().solve(-f.head(k));
        return to_variables(z);
    }
};

LmProblem make(int m, int n, int rank, std::uint64_t seed) {
    zt::Rng rng(seed);
    LmProblem p;
    p.m = m;
    p.n = n;
    p.rank = rank;
    p.R = Mat::Zero(m, n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i <= j && i < m; ++i) p.R(i, j) = i == j ? rng.uniform(1.0, 3.0) : rng.uniform();
    p.f = Vec::NullaryExpr(m, [&] { return rng.uniform(); });
    p.d = Vec::NullaryExpr(n, [&] { return rng.uniform(0.5, 2.0); });
    p.piv.resize(n);
    for (int j = 1; j <= n; ++j) p.piv[j - 1] = j + static_cast<int>(rng.uniform(0.0, 1.0) * (n - j + 1) - 1e-9);
    p.J = p.R;
    for (int j = n; j >= 1; --j)
        if (p.piv[j - 1] != j) p.J.col(j - 1).swap(p.J.col(p.piv[j - 1] - 1));
    return p;
}

constexpr int kDefaultRows = std::numeric_limits<int>::min();

struct LmResult {
    Vec dx;
    double par;
    std::int32_t iter;
    std::vector<double> a, b;
};

LmResult run(const LmProblem& p, double delta, std::int32_t maxit, double par0 = 0.0, int mpn_rows = kDefaultRows,
             const Vec* dx0 = nullptr, std::vector<double> qtb = {}) {
    const std::int32_t m = p.m, n = p.n, rank = p.rank;
    const std::int32_t mpn = mpn_rows != kDefaultRows ? mpn_rows : std::max(m, n) + n;
    LmResult r;
    r.a.assign(static_cast<std::size_t>(std::max(mpn, 1)) * n, 0.0);
    r.b.assign(static_cast<std::size_t>(std::max<int>(mpn, m)), 0.0);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < m && i < mpn; ++i) r.a[i + static_cast<std::size_t>(j) * mpn] = p.J(i, j);
    for (int i = 0; i < m; ++i) r.b[i] = p.f[i];
    if (qtb.empty())
        for (int i = 0; i < std::min(m, n); ++i) qtb.push_back(-p.f[i]);
    qtb.resize(std::max<std::size_t>(qtb.size(), static_cast<std::size_t>(n)), 0.0);
    r.dx = dx0 != nullptr ? *dx0 : p.gauss_newton();
    r.par = par0;
    r.iter = -99;
    std::vector<double> work(n, 0.0);
    const double sigma = 0.1;
    ngpar1_(&mpn, &m, &n, p.R.data(), qtb.data(), r.a.data(), r.b.data(), r.dx.data(), p.d.data(), &r.par,
            &delta, &sigma, &maxit, &rank, p.piv.data(), work.data(), &r.iter);
    return r;
}

// Backward-error ratio of (J^T J + par D^2) dx = -J^T f.
double normal_equation_ratio(const LmProblem& p, const Vec& dx, double par) {
    const Mat N = p.J.transpose() * p.J + par * Mat(p.d.cwiseAbs2().asDiagonal());
    const Vec g = p.J.transpose() * p.f;
    const double scale = N.norm() * dx.norm() + p.J.norm() * p.f.norm();
    return (N * dx + g).norm() / (scale * std::numeric_limits<double>::epsilon() * p.n);
}

double scaled_length(const LmProblem& p, const Vec& dx) { return p.d.cwiseProduct(dx).norm(); }

}  // namespace

TEST(LmParameter, FullRankStepsMeetTheRadius) {
    int met = 0;
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 1 + trial % 6, m = n + trial % 4;
        SCOPED_TRACE(testing::Message() << "trial " << trial << " m " << m << " n " << n);
        const LmProblem p = make(m, n, n, 100 + trial);
        const double gn = scaled_length(p, p.gauss_newton());
        const double delta = gn * (trial % 2 == 0 ? 0.1 : 0.6);
        const LmResult r = run(p, delta, 10);
        ASSERT_GE(r.iter, -1);
        ASSERT_LE(r.iter, 10);
        EXPECT_GT(r.par, 0.0);
        EXPECT_LT(normal_equation_ratio(p, r.dx, r.par), 50.0);
        if (r.iter >= 0) {
            ++met;
            EXPECT_LE(std::fabs(scaled_length(p, r.dx) - delta), 0.1 * delta * (1 + 1e-12));
        }
        // The triangle left in A is the factor of the regularised normal
        // matrix in pivoted order: S^T S = R^T R + par D~^2.
        Mat S = Mat::Zero(n, n);
        const int mpn = std::max(m, n) + n;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= j; ++i) S(i, j) = r.a[i + static_cast<std::size_t>(j) * mpn];
        Vec dp = p.d;
        for (int j = 1; j <= n; ++j)
            if (p.piv[j - 1] != j) std::swap(dp[j - 1], dp[p.piv[j - 1] - 1]);
        const Mat Rn = p.R.topRows(n);
        const Mat want = Rn.transpose() * Rn + r.par * Mat(dp.cwiseAbs2().asDiagonal());
        EXPECT_LT((S.transpose() * S - want).norm() / (want.norm() * 1e-16 * n), 50.0);
    }
    EXPECT_GE(met, 30);  // the iteration converges within its limit almost always
}

TEST(LmParameter, FirstTrialParameterFromTheBounds) {
    // With maxit 0 the first trial is returned: par = max(sqrt(parl paru),
    // 0.001 paru), paru = |D^-1 J^T f| / delta, and for full rank
    // parl = -phi(0) / phi'(0) from the Gauss-Newton step; for rank < n,
    // parl = 0.
    for (int trial = 0; trial < 12; ++trial) {
        const int n = 2 + trial % 4, m = n + 1;
        const bool full = trial % 2 == 0;
        SCOPED_TRACE(trial);
        const LmProblem p = make(m, n, full ? n : n - 1, 300 + trial);
        const Vec gn = p.gauss_newton();
        const double delta = 0.2 * scaled_length(p, gn);
        const LmResult r = run(p, delta, 0);
        const Vec g = (p.J.transpose() * p.f).cwiseQuotient(p.d);
        const long double paru = static_cast<long double>(g.norm()) / delta;
        long double parl = 0;
        if (full) {
            // phi'(0) = -|R^-T D~ (D dx)~ / |D dx||^2 |D dx|, pivoted order.
            const double dxn = scaled_length(p, gn);
            Vec w = p.d.cwiseProduct(p.d.cwiseProduct(gn)) / dxn;
            for (int j = 1; j <= n; ++j)
                if (p.piv[j - 1] != j) std::swap(w[j - 1], w[p.piv[j - 1] - 1]);
            const Vec y = p.R.topLeftCorner(n, n).transpose().triangularView<Eigen::Lower>().solve(w);
            const long double dphi = -static_cast<long double>(dxn) * y.squaredNorm();
            parl = -(dxn - static_cast<long double>(delta)) / dphi;
        }
        const long double want = std::max(std::sqrt(parl * paru), 0.001L * paru);
        EXPECT_NEAR(r.par, static_cast<double>(want), 1e-10 * static_cast<double>(want));
        if (std::fabs(scaled_length(p, r.dx) - delta) > 0.1 * delta) {
            EXPECT_EQ(r.iter, -1);
        }
        EXPECT_LT(normal_equation_ratio(p, r.dx, r.par), 50.0);
    }
}

TEST(LmParameter, DegenerateBoundsKeepTheGaussNewtonStep) {
    // A radius at or below 1e-20 gives paru = 0: par stays 0 and the
    // Gauss-Newton step comes back after maxit + 1 trials.
    const LmProblem p = make(5, 3, 3, 7);
    const Vec gn = p.gauss_newton();
    for (double delta : {1e-20, 0.0}) {
        const LmResult r = run(p, delta, 10);
        EXPECT_EQ(r.par, 0.0);
        EXPECT_EQ(r.iter, -1);
        EXPECT_LT((r.dx - gn).norm() / (gn.norm() * 1e-16 * 3), 50.0);
    }
}

TEST(LmParameter, GuardsOnRowsLimitsAndShortSteps) {
    const LmProblem p = make(4, 3, 3, 11);
    const Vec gn = p.gauss_newton();
    const double delta = 0.3 * scaled_length(p, gn);

    // Too few rows for the augmented system (mpn < 2n) or for J (mpn < m):
    // nothing is written but iter = -1.
    for (int mpn : {5, 3, 0, -4}) {
        SCOPED_TRACE(mpn);
        LmProblem q = make(mpn == 5 ? 6 : 4, 3, 3, 11);
        const Vec dx0 = Vec::Constant(3, 42.0);
        const LmResult r = run(q, delta, 10, 0.25, mpn, &dx0);
        EXPECT_EQ(r.iter, -1);
        EXPECT_EQ(r.par, 0.25);
        EXPECT_EQ(r.dx, dx0);
        for (int i = 0; i < q.m && i < static_cast<int>(r.b.size()); ++i) EXPECT_EQ(r.b[i], q.f[i]);
    }

    // A negative limit ends like limit 0.
    const LmResult r0 = run(p, delta, 0), rneg = run(p, delta, -3);
    EXPECT_EQ(rneg.iter, r0.iter);
    EXPECT_BITEQ(rneg.par, r0.par);
    for (int j = 0; j < 3; ++j) EXPECT_BITEQ(rneg.dx[j], r0.dx[j]);

    // A Gauss-Newton step already shorter than the radius: the lower bound
    // would be negative; the parameter stays non-negative and finite and
    // the step solves the regularised equations for it.
    for (auto [factor, limit] : {std::pair{1.05, 1}, std::pair{3.0, 1}, std::pair{3.0, 2}, std::pair{3.0, 10},
                                 std::pair{100.0, 1}, std::pair{100.0, 10}}) {
        SCOPED_TRACE(testing::Message() << factor << " " << limit);
        const LmResult r = run(p, factor * scaled_length(p, gn), limit);
        EXPECT_TRUE(std::isfinite(r.par));
        EXPECT_GE(r.par, 0.0);
        for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(r.dx[j]));
        EXPECT_LT(normal_equation_ratio(p, r.dx, r.par), 50.0);
        EXPECT_LE(scaled_length(p, r.dx), scaled_length(p, gn) * (1 + 1e-12));
    }
}

TEST(LmParameter, FewerEquationsThanVariables) {
    // m = 2 < n = 3: R has two rows (the third counts as zero), A and b
    // have 2 n rows, and Q^T(-f) has only m components: a NaN put beyond
    // them must not be read.  The rank stated by the caller cannot exceed
    // m, so no Newton lower bound from a singular R is attempted.
    for (std::int32_t stated_rank : {2, 3}) {
        LmProblem p = make(2, 3, stated_rank, 21);
        Vec gn = Vec::Zero(3);
        gn.head(2) = p.R.topLeftCorner(2, 2).triangularView<Eigen::Upper>().solve(-p.f);
        gn = p.to_variables(gn);
        const double delta = 0.2 * scaled_length(p, gn);
        std::vector<double> qtb = {-p.f[0], -p.f[1], std::numeric_limits<double>::quiet_NaN()};
        const LmResult r = run(p, delta, 10, 0.0, 6, &gn, qtb);
        EXPECT_TRUE(std::isfinite(r.par));
        EXPECT_GT(r.par, 0.0);
        for (int j = 0; j < 3; ++j) EXPECT_TRUE(std::isfinite(r.dx[j]));
        EXPECT_LT(normal_equation_ratio(p, r.dx, r.par), 50.0);
        if (r.iter >= 0) {
            EXPECT_LE(std::fabs(scaled_length(p, r.dx) - delta), 0.1 * delta * (1 + 1e-12));
        }
    }
}
