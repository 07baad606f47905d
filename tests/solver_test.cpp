// MathNonLinearSolver and its kernels: the entry, the iteration and its
// trace against the plain reading of it, the callback protocol, the
// stopping rule, and the worked cases of ngpar1_, ngvsc1_, ngstp1_, ngrat1_
// and ngups1_.
#include <Eigen/Dense>

#include <limits>
#include <memory>
#include <tuple>

#include "nl_support.hpp"

namespace {

using zt::AD;
using zt::Problem;
using zt::same_bits;
using zt::SolverRun;
using Vec = std::vector<double>;
using Mat = Eigen::MatrixXd;
using EVec = Eigen::VectorXd;
const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

bool close(double a, double b, double rel = 1e-14) {
    return (std::isnan(a) && std::isnan(b)) || std::fabs(a - b) <= rel * std::fabs(b);
}

// f_i = exp(x t_i) - y_i at t = 1, 2, 3: a nonzero minimum.
Problem exp_fit() {
    return zt::ad_problem(3, 1, [](const AD* x, AD* f) {
        const double y[3] = {1.4, 1.8, 2.5};
        for (int i = 0; i < 3; ++i) f[i] = exp(x[0] * (i + 1.0)) - y[i];
    });
}

// Linear residuals A x - y, column-major A (m by n).
Problem linear(int m, int n, Vec a, Vec y) {
    return zt::ad_problem(m, n, [m, n, a, y](const AD* x, AD* f) {
        for (int i = 0; i < m; ++i) {
            f[i] = AD(-y[i]);
            for (int j = 0; j < n; ++j) f[i] += a[i + j * m] * x[j];
        }
    });
}

// y = 3 exp(-0.7 t) + 0.5 plus noise of 1e-3 at 10,000 points, fitted with
// b1 exp(-b2 t) + b3: from iteration 10 on the trial points lie a rounding
// error above the solution and only the radius test can end the run.
Problem noisy_exponential() {
    auto y = std::make_shared<Vec>(10000);
    std::mt19937_64 gen(3);
    std::normal_distribution<double> noise(0.0, 1e-3);
    for (int i = 0; i < 10000; ++i) (*y)[i] = 3.0 * std::exp(-0.7 * (10.0 * i / 10000)) + 0.5 + noise(gen);
    return zt::ad_problem(10000, 3, [y](const AD* b, AD* f) {
        for (int i = 0; i < 10000; ++i) f[i] = b[0] * exp(-b[1] * (10.0 * i / 10000)) + b[2] - (*y)[i];
    });
}

}  // namespace

TEST(SolverEntry, RejectedCallsTouchNothing) {
    // {null options, method, m, n, status}: nothing is called, requested,
    // written or traced.
    const std::int32_t cases[][5] = {{1, 0, 3, 1, -1}, {1, 7, 3, 1, -1}, {0, 2, 3, 1, 6},  {0, -1, 3, 1, 6},
                                     {0, 0, 0, 1, 6},  {0, 1, 3, 0, 6},  {0, 0, -2, 1, 6}, {0, 0, 3, -1, 6}};
    for (const auto& c : cases) {
        Problem p = exp_fit();
        const MathNonLinearSolverOptions o{c[1], 0, 0, 0, 0.0, 0.0, 0.0, 0.0};
        Vec x(3, 7.0), f(3, 8.0), step(3, 9.0);
        std::int32_t status = 12345;
        std::FILE* s = std::tmpfile();
        memsvc_reset();
        MathNonLinearSolver(c[0] ? nullptr : &o, c[2], c[3], &p, zt::solver_callback, 4, s, x.data(), f.data(),
                            step.data(), &status);
        EXPECT_EQ(status, c[4]) << c[1] << " " << c[2] << " " << c[3];
        EXPECT_TRUE(memsvc_request_count() == 0 && p.calls.empty() && zt::slurp(s).empty() && x == Vec(3, 7.0) &&
                    f == Vec(3, 8.0) && step == Vec(3, 9.0));
        std::fclose(s);
    }
}

// Results and trace bit for bit those of the plain reading, for both
// methods, every trace level, and options given as zero, negative or
// explicit values.  Where the outcome is known by hand: the number of
// iterations and the minimal sum of squares.
TEST(SolverDriver, AgreesWithThePlainReadingBitForBit) {
    struct Case {
        std::string name;
        Problem p;
        Vec x0;
        MathNonLinearSolverOptions o;
        int iterations = -1;  // -1: not known by hand
        double best = kNaN;   // NaN: not known by hand
    };
    const Vec exact_a = {2, 1, 0, 1, -1, 3, 1, 2, 0.5, 1, 4, -1}, exact_y = {4.25, -4.5, 0, -3.5};  // x = (1, -2, .5)
    // Columns 1 and 3 equal: the least squares over columns 1 and 2 leave 639 / 266.
    const Vec rank_a = {1, 2, 3, 4, 5, 0, 1, 0, -1, 2, 1, 2, 3, 4, 5}, rank_y = {1, 0, 2, 1, 3};
    const Problem tanh10 = zt::ad_problem(1, 1, [](const AD* x, AD* f) { f[0] = 10.0 * tanh(x[0]); });
    const Problem fewer = zt::ad_problem(2, 3, [](const AD* x, AD* f) {
        f[0] = x[0] + x[1] + x[2] - 3.0, f[1] = x[0] * x[1] + x[2] * x[2] - 2.0;
    });
    std::vector<Case> cases = {
        {"exp fit", exp_fit(), {1.0}, zt::options()},
        {"negative fields take the defaults", exp_fit(), {-0.5}, {0, -5, 0, 0, -3.0, -3.0, -0.0, 0}},
        {"explicit options", exp_fit(), {0.9}, {0, 50, 0, 0, 10.0, 0.02, 1e-14, 0}},
        {"NaN tolerance, limit 1", exp_fit(), {1.0}, zt::options(1, 0.0, kNaN), 2},
        {"NaN tolerance, limit -5", exp_fit(), {1.0}, zt::options(-5, 0.0, kNaN), 21},
        {"exact start", linear(4, 3, exact_a, exact_y), {1, -2, 0.5}, zt::options(), 0, 0.0},
        {"exact linear, full step admitted", linear(4, 3, exact_a, exact_y), {0, 0, 0}, zt::options(0, 100.0), 1, 0.0},
        {"rank deficient", linear(5, 3, rank_a, rank_y), {0, 0, 0}, zt::options(50, 100.0), -1, 639.0 / 266.0},
        {"tanh, rejected steps", tanh10, {2.0}, zt::options(30, 1000.0), -1, 0.0},
        {"fewer equations", fewer, {0.5, 0.25, 0.125}, zt::options(100), -1, 0.0},
        {"noisy exponential", noisy_exponential(), {1.0, 0.2, 0.0}, zt::options(100, 0.0, 1e-12)},
    };
    // Non-finite values from the callback: a residual or the derivative at
    // the start, or residuals beyond x = 1.5, which the first full step
    // from -3 overshoots.
    for (double bad : {kNaN, kInf, -kInf}) {
        for (int at = 0; at < 3; ++at) {
            Problem p = zt::ad_problem(1, 1, [bad, at](const AD* x, AD* f) {
                f[0] = exp(x[0]) - 2.0;
                if (at == 0 || (at == 2 && !(x[0] <= 1.5))) f[0].value() = bad;
                if (at == 1) f[0].derivatives()[0] = bad;
            });
            cases.push_back({zt::fmt("%g at %d", bad, at), p, {-3.0}, zt::options(15, 1000.0)});
        }
    }
    for (Case& c : cases) {
        Vec f0(c.p.m), j0(c.p.m * c.p.n);
        c.p.eval(c.x0.data(), f0.data(), j0.data());
        for (auto [level, method, stream] : {std::tuple{2, 0, true}, {3, 1, true}, {4, 0, true}, {4, 1, false}}) {
            SCOPED_TRACE(testing::Message() << c.name << ", trace level " << level << ", method " << method);
            const SolverRun ref = zt::reference_solve(c.p, c.o, c.x0, stream ? level : 0);
            MathNonLinearSolverOptions o = c.o, before = c.o;
            o.method = before.method = method;
            o.reservedTolerance = before.reservedTolerance = kNaN;  // never read
            c.p.calls.clear();
            const SolverRun run = zt::solve(c.p, o, c.x0, level, stream);
            EXPECT_EQ(std::memcmp(&o, &before, sizeof o), 0) << "the caller's record changed";
            EXPECT_EQ(run.status, ref.status);
            EXPECT_TRUE(same_bits(run.x, ref.x) && same_bits(run.f, ref.f) && same_bits(run.step, ref.step));
            // The sign of a NaN is not a result: "-nan" and "nan" read alike.
            const auto unsigned_nan = [](std::string t) {
                for (std::size_t k = t.find("-nan"); k != std::string::npos; k = t.find("-nan", k)) t[k] = ' ';
                return t;
            };
            EXPECT_EQ(unsigned_nan(run.trace), unsigned_nan(ref.trace));
            // Only a finite point that reduced the residual norm is taken.
            EXPECT_FALSE(lvlgtn_(&c.p.m, run.f.data()) > lvlgtn_(&c.p.m, f0.data()));
            for (double v : run.x) EXPECT_TRUE(std::isfinite(v));
            EXPECT_TRUE(c.iterations < 0 || c.p.count(3) == c.iterations + 1u);
            EXPECT_TRUE(std::isnan(c.best) || std::fabs(zt::ssq(run.f) - c.best) <= 1e-10 * c.best + 1e-16);
        }
    }
}

TEST(SolverProtocol, RepliesAtEachRequestPoint) {
    const Vec x0 = {1.0};
    MathNonLinearSolverOptions o = zt::options();
    o.checkEachIteration = o.checkAtEnd = 1;
    Problem base = exp_fit();
    const SolverRun ref = zt::solve(base, o, x0);
    ASSERT_EQ(ref.status, 0);
    // With checks on, the calls alternate (check, evaluate, check, trial...)
    // and end with the final check.
    const std::size_t last = base.calls.size() - 1;
    ASSERT_TRUE(last >= 6 && base.calls[4].request == 4 && base.calls[5].request == 3 && base.calls[last].request == 4);
    // {call, reply, status (-1: as without the reply)}.  Call 0: the first
    // check; 1: the first evaluation; 4: the check before the second trial
    // point; 5: the second trial evaluation.
    const long L = static_cast<long>(last), cases[][3] = {{0, 1, 3},  {0, -1, 5}, {1, -1, 5}, {1, 1, -1}, {4, 2, 3},
                                                          {4, -3, 5}, {5, -1, 5}, {5, 7, -1}, {L, 1, 1},  {L, -2, 5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "call " << c[0] << " reply " << c[1]);
        const std::size_t at = static_cast<std::size_t>(c[0]);
        Problem p = exp_fit();
        p.answer = [&](std::int32_t, std::size_t index, std::int32_t* reply) {
            if (index == at) *reply = static_cast<std::int32_t>(c[1]);
        };
        const SolverRun r = zt::solve(p, o, x0);
        EXPECT_EQ(r.status, c[2] < 0 ? ref.status : c[2]);
        EXPECT_EQ(p.calls.size(), c[2] < 0 ? last + 1 : at + 1);
        // x is the point of the last check (the start or the last accepted
        // point), f its residuals, not yet written before the first
        // evaluation.
        EXPECT_TRUE(same_bits(r.x, c[2] < 0 ? ref.x : base.calls[at - at % 2].x));
        Vec f(3, 0.0), J(3);
        if (at > 0) p.eval(r.x.data(), f.data(), J.data());
        EXPECT_TRUE((at == 1 && c[2] >= 0) || same_bits(r.f, f));
        // One reply variable per request, zero before the first call and
        // never reset: later calls of the same request see the reply.
        for (std::size_t i = 0; i < p.calls.size(); ++i)
            EXPECT_EQ(p.calls[i].seen, i > at && p.calls[i].request == p.calls[at].request ? c[1] : 0);
    }
}

// The stopping rule: test 3 counts only for a trial point that is no worse
// than x, and a worse trial point that passes test 2 ends the run at x.
TEST(SolverStoppingGuard, ConvergedRunEndsOnTheRadiusTestAtTheCurrentPoint) {
    Problem p = noisy_exponential();
    const SolverRun loose = zt::solve(p, zt::options(100, 0.0, 1e-10), {1.0, 0.2, 0.0});
    EXPECT_EQ(loose.status, 0);
    for (double tol : {1e-12, 1e-14}) {
        SCOPED_TRACE(tol);
        p.calls.clear();
        const SolverRun run = zt::solve(p, zt::options(100, 0.0, tol), {1.0, 0.2, 0.0});
        EXPECT_EQ(run.status, 0);
        EXPECT_LE(p.count(3), 15u);
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(run.x[j], loose.x[j], 24 * std::numeric_limits<double>::epsilon());
        // The last evaluation was a worse trial point; x and f are those of
        // the point evaluated before it, bit for bit.
        Vec fx(p.m), jx(3 * p.m), flast(p.m);
        p.eval(p.calls.back().x.data(), flast.data(), jx.data());
        p.eval(run.x.data(), fx.data(), jx.data());
        EXPECT_TRUE(same_bits(run.f, fx) && zt::ssq(flast) > zt::ssq(fx));
        EXPECT_TRUE(
            std::any_of(p.calls.begin(), p.calls.end() - 1, [&](const zt::Call& c) { return same_bits(c.x, run.x); }));
    }
}

TEST(SolverStoppingGuard, ExplodingTrialPointIsNeverTheAnswer) {
    // f = exp(x) - 1 from far left with a radius that admits the full
    // Gauss-Newton step: the first trial lands where exp overflows or is
    // astronomically large, and test 3, relative to |f(trial)|, holds there.
    for (double x0 : {-10.0, -5.0, -3.0}) {
        SCOPED_TRACE(x0);
        Problem p = zt::ad_problem(1, 1, [](const AD* x, AD* f) { f[0] = exp(x[0]) - 1.0; });
        const SolverRun run = zt::solve(p, zt::options(0, 1e6), {x0});
        ASSERT_GE(p.calls.size(), 2u);
        EXPECT_GT(std::exp(p.calls[1].x[0]), 1e6);  // the first trial point explodes
        EXPECT_NE(run.status, 0);
        // A finite point with a smaller residual, closer to x = 0.
        EXPECT_TRUE(std::isfinite(run.x[0]) && run.x[0] > x0 && std::fabs(run.f[0]) <= std::fabs(std::exp(x0) - 1.0));
    }
}

// ngpar1_ on J = R P^T for a random upper-trapezoidal R and interchange
// record P, so that Q = I and Q^T(-f) = -f: every expectation comes from
// Eigen on J, f and D, without the library's factorisation.
TEST(LmParameter, StepsSolveTheRegularisedEquationsAndMeetTheRadius) {
    // Sizes 1 to 5, m >= n and m < n, full and stated lower rank, radii from
    // a tenth of the Gauss-Newton step to three times it, 0 and 1e-20 (par stays 0)
    // and NaN, limits 10, 0 and -3, and too few rows (mpn < 2n or mpn < m:
    // nothing written, iter = -1).
    const double factors[6] = {0.1, 0.6, 0.3, 3.0, 0.0, kNaN}, sigma = 0.1;
    int met = 0, tried = 0;
    for (int t = 0; t < 96; ++t) {
        const std::int32_t n = 1 + t % 5, m = t % 10 == 9 && n > 1 ? n - 1 : n + t % 3;
        const std::int32_t rank = t % 3 == 2 && n > 1 ? n - 1 : n, maxit = t % 5 == 2 ? (t % 2 ? 0 : -3) : 10;
        const std::int32_t mpn = t % 16 != 15 ? std::max(m, n) + n : t % 48 == 15 ? -4 : std::max(m, 2 * n) - 1;
        SCOPED_TRACE(testing::Message() << "m " << m << " n " << n << " rank " << rank << " limit " << maxit);
        zt::Rng rng(100 + t);
        Mat R = Mat::Zero(m, n);
        for (int j = 0; j < n; ++j)
            for (int i = 0; i <= j && i < m; ++i) R(i, j) = i == j ? rng.uniform(1.0, 3.0) : rng.uniform();
        const EVec f = EVec::NullaryExpr(m, [&] { return rng.uniform(); });
        const EVec d = EVec::NullaryExpr(n, [&] { return rng.uniform(0.5, 2.0); });
        std::vector<std::int32_t> piv(n);
        Mat J = R;
        for (int j = 1; j <= n; ++j) piv[j - 1] = j + static_cast<int>(rng.uniform(0.0, 1.0) * (n - j + 1) - 1e-9);
        for (int j = n; j >= 1; --j) J.col(j - 1).swap(J.col(piv[j - 1] - 1));
        const EVec gn = J.completeOrthogonalDecomposition().solve(-f);
        const double delta = factors[t % 6] == 0.0 ? 1e-20 * (t / 6 % 2) : factors[t % 6] * d.cwiseProduct(gn).norm();
        Vec a(std::max(mpn, 1) * n, 0.0), b(std::max(mpn, m), 0.0), qtb(n, kNaN), work(n);  // NaN beyond m: unread
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < m && i < mpn; ++i) a[i + j * mpn] = J(i, j);
        EVec::Map(b.data(), m) = f;
        EVec::Map(qtb.data(), std::min(m, n)) = -f.head(std::min(m, n));
        EVec dx = gn;
        double par = mpn < 2 * n || mpn < m ? 0.25 : 0.0;
        std::int32_t iter = -99;
        ngpar1_(&mpn, &m, &n, R.data(), qtb.data(), a.data(), b.data(), dx.data(), d.data(), &par, &delta, &sigma,
                &maxit, &rank, piv.data(), work.data(), &iter);
        EXPECT_TRUE(iter >= -1 && iter <= std::max(maxit, 0)) << iter;
        if (par == 0.25 || std::isnan(delta)) {
            EXPECT_EQ(iter, -1);
            EXPECT_TRUE(par != 0.25 || (dx == gn && b[0] == f[0]));
            continue;
        }
        EXPECT_TRUE(std::isfinite(par) && par >= 0.0 && (delta > 1e-20 || (par == 0.0 && iter == -1)));
        // Below full rank the lower bound is zero: the first trial is 0.001 |D^-1 J^T f| / delta.
        const double paru = delta > 1e-20 ? (J.transpose() * f).cwiseQuotient(d).norm() / delta : 0.0;
        EXPECT_TRUE(maxit > 0 || (rank == n && m >= n) || close(par, 1e-3 * paru, 1e-12)) << par << " " << paru;
        // Backward error of (J^T J + par D^2) dx = -J^T f.
        const Mat N = J.transpose() * J + par * Mat(d.cwiseAbs2().asDiagonal());
        const double scale = (N.norm() * dx.norm() + J.norm() * f.norm()) * 1.1e-16 * n;
        EXPECT_LT((N * dx + J.transpose() * f).norm(), 50 * scale);
        const double dxn = d.cwiseProduct(dx).norm(), gnn = d.cwiseProduct(gn).norm();
        EXPECT_TRUE(iter < 0 || std::fabs(dxn - delta) <= sigma * delta * (1 + 1e-12)) << dxn << " " << delta;
        EXPECT_TRUE(rank < n || m < n || dxn <= gnn * (1 + 1e-12));  // full rank: no longer than Gauss-Newton
        const bool reachable = factors[t % 6] < 1.0 && delta > 1e-20 && maxit > 0;
        tried += reachable ? 1 : 0;
        met += reachable && iter >= 0 ? 1 : 0;
    }
    EXPECT_GE(met, tried - 3);  // the iteration meets the radius within its limit almost always
}

TEST(StepKernels, ColumnScaling) {
    // Columns of two rows; with leading dimension 3 the third row is never
    // read.  D grows to the column norms and never shrinks; a NaN norm
    // leaves D; a column too long for a plain sum of squares is measured
    // with scaling; no rows or no columns raise nothing; a leading dimension
    // below 1 reads nothing (one element on the heap) and counts as zeros.
    const std::tuple<std::int32_t, std::int32_t, std::int32_t, Vec, Vec, Vec> cases[] = {
        {3, 2, 3, {3, 4, 1e300, 5, 12, 1e300, 8, 15, 1e300}, {0, 0, 0, -7}, {5, 13, 17, -7}},
        {2, 2, 3, {0.3, 0.4, 20, 21, kNaN, 1}, {5, 13, 17}, {5, 29, 17}},
        {2, 2, 5, {1, 0, 0, 2, 1e200, 1e200, 3, 4, kNaN, 1}, Vec(5, 0.0), {1, 2, std::sqrt(2.0) * 1e200, 5, 0}},
        {3, 2, 0, {1}, {5}, {5}},
        {3, 0, 3, {1}, {5, 13, 17}, {5, 13, 17}},
        {0, 2, 3, {kNaN}, {-1, 2, kNaN}, {0, 2, kNaN}},
    };
    for (auto [ld, rows, cols, a, d, want] : cases) {
        ngvsc1_(&ld, &rows, &cols, a.data(), d.data());
        for (std::size_t j = 0; j < d.size(); ++j) EXPECT_TRUE(close(d[j], want[j], 1e-15)) << ld << " " << j;
    }
}

TEST(StepKernels, StoppingTests) {
    // J is 3 by 2 (leading dimension 4, the fourth row never read; below 1:
    // nothing read, J counts as zero); dx = (3, 4), D = (1, 2), x_new =
    // (3, 2): |D x_new| = 5.  The trial residuals are s (0, 0.6, 0.8).
    // Test 3 at s = 50 with par = 4, |J dx|^2 = 25 and |D dx|^2 = 73:
    // 0.01 + 2 * 4 * 73 / 2500 = 0.2436, without the J term 0.2336.
    const double J[8] = {1, 0, 0, 1e300, 0, 1, 0, 1e300}, dx[2] = {3, 4}, D[2] = {1, 2}, xnew[2] = {3, 2};
    const std::int32_t cols = 2;
    const Vec none = {-1, -1, -1}, dxnew = {3, 4, -1}, jdx_ddx = {3, 8, 0};
    // {mode, ld, rows, s, delta, par, tol, holds, work after}
    const std::tuple<std::int32_t, std::int32_t, std::int32_t, double, double, double, double, std::int32_t, Vec>
        cases[] = {
            {1, 4, 3, 50, 1, 0, 50, 1, none},  // |f_new| <= tol, equality included
            {1, 4, 3, 50, 1, 0, 49.999, 0, none},
            {1, 4, 3, kNaN, 1, 0, 1e300, 0, none},
            {1, 4, 0, 50, 1, 0, 1e-8, 1, none},    // no equations: length 0
            {2, 4, 3, 50, 0.5, 0, 0.1, 1, dxnew},  // tol |D x_new| >= delta; work = D x_new
            {2, 4, 3, 50, 0.5000001, 0, 0.1, 0, dxnew},
            {3, 4, 3, 50, 1, 4, 0.2436 * (1 + 1e-12), 1, jdx_ddx},  // work = J dx, then D dx over it
            {3, 4, 3, 50, 1, 4, 0.2436 * (1 - 1e-12), 0, jdx_ddx},
            {3, 0, 3, 50, 1, 4, 0.2336 * (1 + 1e-12), 1, {3, 8, 0}},
            {3, -1, 3, 50, 1, 4, 0.2336 * (1 - 1e-12), 0, {3, 8, 0}},
            {3, 4, 3, 0, 1, 4, 1e-8, 1, jdx_ddx},  // an exact trial point holds, no division by zero
            {0, 4, 3, 0, 0, 0, 1e300, 0, none},    // other modes never hold and touch nothing
            {4, 4, 3, 0, 0, 0, 1e300, 0, none},
        };
    for (auto [mode, ld, rows, s, delta, par, tol, holds, want] : cases) {
        const double fnew[3] = {0, 0.6 * s, 0.8 * s};
        Vec w = none;
        EXPECT_EQ(ngstp1_(&mode, &ld, &rows, &cols, J, fnew, dx, D, xnew, &delta, &par, &tol, w.data()), holds)
            << mode << " " << ld << " " << tol;
        EXPECT_EQ(w, want) << mode << " " << ld << " " << tol;
    }
}

TEST(StepKernels, ReductionRatioAndRadiusFactor) {
    // J = I (2 by 2; a leading dimension below 1 reads nothing: J = 0),
    // dx = (1, -2), D = (1, 2), so |J dx|^2 = 5 and |D dx|^2 = 17; |f| = 5.
    // rho = (1 - (B/A)^2) / ((5 + 2 par 17) / 25) when |f_new| = B < A,
    // else 0.  The radius factor for rho above 0.25: 2 at 0.75 and beyond or
    // with par = 0, else 1; at 0.25 and below (NaN too): 0.5 with no
    // increase, 0.1 beyond ten times, and between, also at exactly ten
    // times, g / ((B/A)^2 - 1 + 2 g) with g = (5 + par 17) / 25.
    const double J[4] = {1, 0, 0, 1}, dx[2] = {1, -2}, D[2] = {1, 2};
    const std::int32_t cols = 2;
    // {ld, rows, f, f_new, par, rho in, rho, factor}
    const std::tuple<std::int32_t, std::int32_t, Vec, Vec, double, double, double, double> cases[] = {
        {2, 2, {3, 4}, {0, 0}, 0.25, 0.75, 1 / 0.54, 2},
        {2, 2, {3, 4}, {0, 0}, 0.25, 0.5, 1 / 0.54, 1},
        {2, 2, {3, 4}, {0, 0}, 0.0, 0.5, 5, 2},
        {2, 2, {3, 4}, {0, 0}, 0.25, 0.2500001, 1 / 0.54, 1},
        {2, 2, {3, 4}, {0, 0}, 0.25, kNaN, 1 / 0.54, 0.5},
        {-1, 2, {3, 4}, {0, 0}, 0.25, 0.5, 1 / 0.34, 1},
        {2, 2, {3, 4}, {-4, 3}, 0.25, 0.25, 0, 0.5},  // equal norms
        {2, 2, {3, 4}, {3, 4.0000001}, 0.25, 0.8, 0, 2},
        {2, 2, {3, 4}, {30, 40.0001}, 0.25, 0, 0, 0.1},
        {2, 2, {3, 4}, {30, 40}, 0.25, 0, 0, 0.37 / 99.74},
        {0, 2, {3, 4}, {30, 40}, 0.0, 0, 0, 0},  // no model reduction at all
        {2, 2, {3, 4}, {kNaN, 0}, 0.25, kNaN, 0, kNaN},
        {2, 2, {0, 0}, {0, 0}, 0.25, 0.8, 0, 2},
        {2, 0, {3, 4}, {1, 1}, 0.25, 0.8, 0, 2},  // no equations
    };
    for (auto [ld, rows, f, fnew, par, rho_in, rho, factor] : cases) {
        SCOPED_TRACE(testing::Message() << "ld " << ld << " f_new " << fnew[0] << " " << fnew[1] << " par " << par);
        EXPECT_TRUE(close(ngrat1_(&ld, &rows, &cols, J, f.data(), fnew.data(), dx, D, &par), rho));
        EXPECT_TRUE(close(ngups1_(&ld, &rows, &cols, J, f.data(), fnew.data(), dx, D, &par, &rho_in), factor));
    }
}
