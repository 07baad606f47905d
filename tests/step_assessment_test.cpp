// Step assessment kernels: ngvsc1_, ngstp1_, ngrat1_, ngups1_.
#include <Eigen/Dense>

#include <cmath>
#include <limits>

#include "support.hpp"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double ngstp(std::int32_t mode, std::int32_t ld, std::int32_t rows, std::int32_t cols, const double* J,
             const double* fnew, const double* dx, const double* D, const double* xnew, double delta, double par,
             double tol, double* work) {
    return ngstp1_(&mode, &ld, &rows, &cols, J, fnew, dx, D, xnew, &delta, &par, &tol, work);
}

}  // namespace

TEST(ColumnScaling, GrowsToTheColumnNormsAndNeverShrinks) {
    // Three columns of two rows in an array with leading dimension 3; the
    // third row must not be read.
    const double a[9] = {3, 4, 1e300, 5, 12, 1e300, 8, 15, 1e300};
    const std::int32_t ld = 3, rows = 2, cols = 3;
    double d[4] = {0, 0, 0, -7};
    ngvsc1_(&ld, &rows, &cols, a, d);
    EXPECT_EQ(d[0], 5.0);
    EXPECT_EQ(d[1], 13.0);
    EXPECT_EQ(d[2], 17.0);
    EXPECT_EQ(d[3], -7.0);

    // Smaller columns leave D; a larger one raises only its own entry; a
    // NaN column leaves its entry alone.
    const double b[6] = {0.3, 0.4, 20.0, 21.0, kNaN, 1.0};
    const std::int32_t ld2 = 2;
    ngvsc1_(&ld2, &rows, &cols, b, d);
    EXPECT_EQ(d[0], 5.0);
    EXPECT_EQ(d[1], 29.0);
    EXPECT_EQ(d[2], 17.0);

    // Five columns (one group of four and one of one), the third too long
    // for a plain sum of squares: measured with scaling, not as infinite.
    const double big[10] = {1, 0, 0, 2, 1e200, 1e200, 3, 4, kNaN, 1};
    const std::int32_t five = 5;
    double e[5] = {0, 0, 0, 0, 0};
    ngvsc1_(&ld2, &ld2, &five, big, e);
    EXPECT_EQ(e[0], 1.0);
    EXPECT_EQ(e[1], 2.0);
    EXPECT_NEAR(static_cast<long double>(e[2]) / (std::sqrt(2.0L) * 1e200L), 1.0L, 1e-15L);
    EXPECT_EQ(e[3], 5.0);
    EXPECT_EQ(e[4], 0.0);

    // No columns or no rows: nothing to raise.
    const std::int32_t none = 0;
    ngvsc1_(&ld, &rows, &none, a, d);
    ngvsc1_(&ld, &none, &cols, a, d);
    EXPECT_EQ(d[0], 5.0);
    EXPECT_EQ(d[1], 29.0);
    EXPECT_EQ(d[2], 17.0);
}

TEST(StoppingTests, TheThreeTestsAndTheirScratch) {
    // J is 3 by 2 (leading dimension 4, fourth row never read).
    const double J[8] = {1, 0, 0, 1e300, 0, 1, 0, 1e300};
    const double dx[2] = {3, 4};
    const double D[2] = {1, 2};
    const double xnew[2] = {3, 2};  // D xnew = (3, 4), length 5
    const double fnew[3] = {0, 30, 40};  // length 50
    double w[3] = {-1, -1, -1};

    // Mode 1: |fnew| <= tol, equality included.
    EXPECT_EQ(ngstp(1, 4, 3, 2, J, fnew, dx, D, xnew, 1, 0, 50.0, w), 1);
    EXPECT_EQ(ngstp(1, 4, 3, 2, J, fnew, dx, D, xnew, 1, 0, 49.999, w), 0);
    EXPECT_EQ(w[0], -1.0);

    // Mode 2: tol |D xnew| >= delta; holds for delta 0; leaves D xnew.
    EXPECT_EQ(ngstp(2, 4, 3, 2, J, fnew, dx, D, xnew, 0.5, 0, 0.1, w), 1);
    EXPECT_EQ(w[0], 3.0);
    EXPECT_EQ(w[1], 4.0);
    EXPECT_EQ(w[2], -1.0);
    EXPECT_EQ(ngstp(2, 4, 3, 2, J, fnew, dx, D, xnew, 0.5000001, 0, 0.1, w), 0);
    EXPECT_EQ(ngstp(2, 4, 3, 2, J, fnew, dx, D, xnew, 0.0, 0, 0.0, w), 1);

    // Mode 3: (|J dx| / F)^2 + 2 (sqrt(par) |D dx| / F)^2 <= tol with
    // |J dx| = 5, |D dx| = sqrt(9 + 64), F = 50, par = 4: the value is
    // 0.01 + 2 * 4 * 73 / 2500 = 0.2436.  Scratch: J dx, then D dx.
    const double v = 0.01 + 2.0 * 4.0 * 73.0 / 2500.0;
    w[2] = -1;
    EXPECT_EQ(ngstp(3, 4, 3, 2, J, fnew, dx, D, xnew, 1, 4.0, v * (1 + 1e-12), w), 1);
    EXPECT_EQ(w[0], 3.0);
    EXPECT_EQ(w[1], 8.0);
    EXPECT_EQ(w[2], 0.0);  // third element of J dx
    EXPECT_EQ(ngstp(3, 4, 3, 2, J, fnew, dx, D, xnew, 1, 4.0, v * (1 - 1e-12), w), 0);

    // Mode 3 at an exact trial point holds, without a division by zero.
    const double zero[3] = {0, 0, 0};
    EXPECT_EQ(ngstp(3, 4, 3, 2, J, zero, dx, D, xnew, 1, 4.0, 1e-8, w), 1);
    EXPECT_EQ(ngstp(3, 4, 3, 2, J, zero, dx, D, xnew, 1, 0.0, 0.0, w), 1);

    // Other modes never hold and touch no scratch.
    for (std::int32_t mode : {0, 4, -1, 99}) {
        double s[3] = {7, 7, 7};
        EXPECT_EQ(ngstp(mode, 4, 3, 2, J, zero, dx, D, xnew, 0, 0, 1e300, s), 0);
        EXPECT_EQ(s[0], 7.0);
        EXPECT_EQ(s[1], 7.0);
        EXPECT_EQ(s[2], 7.0);
    }
}

TEST(ReductionRatio, NoDecreaseGivesZero) {
    const double J[2] = {1, 1}, dx[1] = {1}, D[1] = {1}, par = 0.5;
    const std::int32_t ld = 2, rows = 2, cols = 1;
    const double f[2] = {3, 4};
    const double same[2] = {-4, 3}, worse[2] = {3, 4.0000001}, zero[2] = {0, 0};
    EXPECT_BITEQ(ngrat1_(&ld, &rows, &cols, J, f, same, dx, D, &par), 0.0);
    EXPECT_BITEQ(ngrat1_(&ld, &rows, &cols, J, f, worse, dx, D, &par), 0.0);
    EXPECT_BITEQ(ngrat1_(&ld, &rows, &cols, J, zero, zero, dx, D, &par), 0.0);
    const double nan2[2] = {kNaN, 0};
    EXPECT_BITEQ(ngrat1_(&ld, &rows, &cols, J, f, nan2, dx, D, &par), 0.0);
}

TEST(ReductionRatio, ExactForTheLevenbergMarquardtStepOfALinearModel) {
    // For residuals linear in x and dx solving
    // (J^T J + par D^2) dx = -J^T f, the actual reduction of |f|^2 equals
    // |J dx|^2 + 2 par |D dx|^2, the predicted one: rho = 1.
    zt::Rng rng(41);
    for (int trial = 0; trial < 20; ++trial) {
        const int m = 3 + trial % 5, n = 1 + trial % 3;
        Eigen::MatrixXd Jm = Eigen::MatrixXd::NullaryExpr(m, n, [&] { return rng.uniform(); });
        Eigen::VectorXd f = Eigen::VectorXd::NullaryExpr(m, [&] { return rng.uniform(); });
        Eigen::VectorXd d = Eigen::VectorXd::NullaryExpr(n, [&] { return rng.uniform(0.5, 2.0); });
        const double par = trial % 4 == 0 ? 0.0 : rng.uniform(0.0, 3.0);
        const Eigen::MatrixXd N = Jm.transpose() * Jm + par * Eigen::MatrixXd(d.cwiseAbs2().asDiagonal());
        const Eigen::VectorXd dx = N.ldlt().solve(-Jm.transpose() * f);
        const Eigen::VectorXd fnew = f + Jm * dx;
        const std::int32_t M = m, Nn = n;
        const double rho = ngrat1_(&M, &M, &Nn, Jm.data(), f.data(), fnew.data(), dx.data(), d.data(), &par);
        EXPECT_NEAR(rho, 1.0, 1e-9) << trial;
    }
}

TEST(RadiusFactor, Cases) {
    const std::int32_t ld = 1, rows = 1, cols = 1;
    const double J[1] = {2}, dx[1] = {0.5}, D[1] = {3};
    const double f[1] = {1};
    auto ups = [&](double fn, double par, double rho) {
        const double fnew[1] = {fn};
        return ngups1_(&ld, &rows, &cols, J, f, fnew, dx, D, &par, &rho);
    };
    // rho above 0.25: doubling at 0.75 and beyond, or with par = 0.
    EXPECT_EQ(ups(5.0, 1.0, 0.75), 2.0);
    EXPECT_EQ(ups(5.0, 1.0, 0.5), 1.0);
    EXPECT_EQ(ups(5.0, 0.0, 0.5), 2.0);
    EXPECT_EQ(ups(5.0, 1.0, 0.2500001), 1.0);
    // rho = 0.25 belongs to the shrinking cases.
    EXPECT_EQ(ups(0.5, 1.0, 0.25), 0.5);
    EXPECT_EQ(ups(1.0, 1.0, 0.25), 0.5);  // no increase
    EXPECT_EQ(ups(10.000001, 1.0, 0.0), 0.1);
    // |fnew| exactly 10 |f| takes the model formula: with
    // g = |J dx|^2 + par |D dx|^2 = 1 + par 2.25 (here |f| = 1) the factor
    // is g / (100 - 1 + 2 g).
    for (double par : {0.0, 1.0, 4.0}) {
        const long double g = 1.0L + par * 2.25L;
        EXPECT_NEAR(ups(10.0, par, 0.0), static_cast<double>(g / (99.0L + 2 * g)), 1e-16);
    }
    // In between the factor stays in [0, 0.5).
    zt::Rng rng(5);
    for (int k = 0; k < 50; ++k) {
        const double fn = rng.uniform(1.0000001, 10.0), par = rng.uniform(0.0, 5.0);
        const double t = ups(fn, par, rng.uniform(-1.0, 0.25));
        EXPECT_GE(t, 0.0);
        EXPECT_LT(t, 0.5);
    }
    // No model reduction at all (J dx = 0, par = 0) gives 0 exactly.
    const double J0[1] = {0};
    const double fnew[1] = {2.0}, par0 = 0.0, rho0 = 0.0;
    EXPECT_BITEQ(ngups1_(&ld, &rows, &cols, J0, f, fnew, dx, D, &par0, &rho0), 0.0);
}
