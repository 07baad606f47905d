// Nonlinear least squares: MathNonLinearSolver against MINPACK's lmder,
// Eigen's Levenberg-Marquardt, Ceres Solver (dense QR, Levenberg-Marquardt)
// and GSL's multifit_nlinear (trust region with Levenberg-Marquardt steps) on
// the same residual and Jacobian code.  The
// time spent in the residual code is measured inside every callback and
// subtracted, so that "per iteration excluding callbacks" is the solver's
// own work.
#include <Eigen/Dense>
#include <ceres/ceres.h>
#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_multifit_nlinear.h>
#include <unsupported/Eigen/LevenbergMarquardt>
#include <minpack.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common.hpp"
#include "zolmath.h"

namespace {

// Processor time of this thread: the machine is shared, and wall time would
// charge other processes' work to whichever contender they interrupted.
double thread_ns() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

// A least-squares problem: m residuals in n variables with their Jacobian
// (column-major, leading dimension m).
struct Problem {
    std::string name;
    int m = 0, n = 0;
    std::vector<double> x0;
    virtual ~Problem() = default;
    virtual void residuals(const double* x, double* f) const = 0;
    virtual void jacobian(const double* x, double* jac) const = 0;
};

// y = a exp(-b t) + c on t in [0, 10], with a small deterministic wiggle
// standing in for noise so that the residuals do not vanish.
struct ExpDecay : Problem {
    std::vector<double> t, y;
    explicit ExpDecay(int mm) {
        name = "expdecay";
        m = mm;
        n = 3;
        x0 = {1.0, 0.1, 0.0};
        t.resize(m);
        y.resize(m);
        for (int i = 0; i < m; ++i) {
            t[i] = 10.0 * i / m;
            y[i] = 5.0 * std::exp(-0.7 * t[i]) + 1.2 + 1e-3 * std::sin(1.7 * i);
        }
    }
    void residuals(const double* x, double* f) const override {
        for (int i = 0; i < m; ++i) f[i] = x[0] * std::exp(-x[1] * t[i]) + x[2] - y[i];
    }
    void jacobian(const double* x, double* jac) const override {
        for (int i = 0; i < m; ++i) {
            const double e = std::exp(-x[1] * t[i]);
            jac[i] = e;
            jac[m + i] = -x[0] * t[i] * e;
            jac[2 * m + i] = 1.0;
        }
    }
};

// Three Gaussian peaks on a constant offset: 10 parameters.
struct Gaussians : Problem {
    static constexpr int kPeaks = 3;
    std::vector<double> t, y;
    explicit Gaussians(int mm) {
        name = "gauss3";
        m = mm;
        n = 3 * kPeaks + 1;
        x0 = {2.5, 2.2, 0.8, 2.5, 4.8, 0.8, 3.5, 8.3, 1.0, 0.3};
        const double truth[] = {3.0, 2.0, 0.6, 2.0, 5.0, 1.0, 4.0, 8.0, 0.8, 0.5};
        t.resize(m);
        y.resize(m);
        for (int i = 0; i < m; ++i) {
            t[i] = 10.0 * i / m;
            y[i] = model(truth, t[i]) + 1e-3 * std::sin(1.7 * i);
        }
    }
    static double model(const double* x, double ti) {
        double s = x[3 * kPeaks];
        for (int k = 0; k < kPeaks; ++k) {
            const double z = (ti - x[3 * k + 1]) / x[3 * k + 2];
            s += x[3 * k] * std::exp(-0.5 * z * z);
        }
        return s;
    }
    void residuals(const double* x, double* f) const override {
        for (int i = 0; i < m; ++i) f[i] = model(x, t[i]) - y[i];
    }
    void jacobian(const double* x, double* jac) const override {
        for (int i = 0; i < m; ++i) {
            for (int k = 0; k < kPeaks; ++k) {
                const double a = x[3 * k], mu = x[3 * k + 1], s = x[3 * k + 2];
                const double z = (t[i] - mu) / s;
                const double e = std::exp(-0.5 * z * z);
                jac[std::size_t(3 * k) * m + i] = e;
                jac[std::size_t(3 * k + 1) * m + i] = a * e * z / s;
                jac[std::size_t(3 * k + 2) * m + i] = a * e * z * z / s;
            }
            jac[std::size_t(3 * kPeaks) * m + i] = 1.0;
        }
    }
};

// Standard small test problems (More, Garbow and Hillstrom).
struct Rosenbrock : Problem {
    Rosenbrock() {
        name = "rosenbrock";
        m = 2;
        n = 2;
        x0 = {-1.2, 1.0};
    }
    void residuals(const double* x, double* f) const override {
        f[0] = 10.0 * (x[1] - x[0] * x[0]);
        f[1] = 1.0 - x[0];
    }
    void jacobian(const double* x, double* j) const override {
        j[0] = -20.0 * x[0];
        j[1] = -1.0;
        j[2] = 10.0;
        j[3] = 0.0;
    }
};

struct PowellSingular : Problem {
    PowellSingular() {
        name = "powell";
        m = 4;
        n = 4;
        x0 = {3.0, -1.0, 0.0, 1.0};
    }
    void residuals(const double* x, double* f) const override {
        f[0] = x[0] + 10.0 * x[1];
        f[1] = std::sqrt(5.0) * (x[2] - x[3]);
        f[2] = (x[1] - 2.0 * x[2]) * (x[1] - 2.0 * x[2]);
        f[3] = std::sqrt(10.0) * (x[0] - x[3]) * (x[0] - x[3]);
    }
    void jacobian(const double* x, double* j) const override {
        for (int k = 0; k < 16; ++k) j[k] = 0.0;
        j[0 + 0 * 4] = 1.0;
        j[0 + 1 * 4] = 10.0;
        j[1 + 2 * 4] = std::sqrt(5.0);
        j[1 + 3 * 4] = -std::sqrt(5.0);
        j[2 + 1 * 4] = 2.0 * (x[1] - 2.0 * x[2]);
        j[2 + 2 * 4] = -4.0 * (x[1] - 2.0 * x[2]);
        j[3 + 0 * 4] = 2.0 * std::sqrt(10.0) * (x[0] - x[3]);
        j[3 + 3 * 4] = -2.0 * std::sqrt(10.0) * (x[0] - x[3]);
    }
};

struct Box3D : Problem {
    Box3D() {
        name = "box3d";
        m = 10;
        n = 3;
        x0 = {0.0, 10.0, 20.0};
    }
    void residuals(const double* x, double* f) const override {
        for (int i = 0; i < m; ++i) {
            const double t = 0.1 * (i + 1);
            f[i] = std::exp(-t * x[0]) - std::exp(-t * x[1]) - x[2] * (std::exp(-t) - std::exp(-10.0 * t));
        }
    }
    void jacobian(const double* x, double* j) const override {
        for (int i = 0; i < m; ++i) {
            const double t = 0.1 * (i + 1);
            j[i] = -t * std::exp(-t * x[0]);
            j[m + i] = t * std::exp(-t * x[1]);
            j[2 * m + i] = -(std::exp(-t) - std::exp(-10.0 * t));
        }
    }
};

struct BrownDennis : Problem {
    BrownDennis() {
        name = "browndennis";
        m = 20;
        n = 4;
        x0 = {25.0, 5.0, -5.0, -1.0};
    }
    void residuals(const double* x, double* f) const override {
        for (int i = 0; i < m; ++i) {
            const double t = (i + 1) / 5.0;
            const double p = x[0] + t * x[1] - std::exp(t);
            const double q = x[2] + x[3] * std::sin(t) - std::cos(t);
            f[i] = p * p + q * q;
        }
    }
    void jacobian(const double* x, double* j) const override {
        for (int i = 0; i < m; ++i) {
            const double t = (i + 1) / 5.0;
            const double p = x[0] + t * x[1] - std::exp(t);
            const double q = x[2] + x[3] * std::sin(t) - std::cos(t);
            j[i] = 2.0 * p;
            j[m + i] = 2.0 * p * t;
            j[2 * m + i] = 2.0 * q;
            j[3 * m + i] = 2.0 * q * std::sin(t);
        }
    }
};

// Per-solve tallies shared by all contenders.
struct Tally {
    double callback_ns = 0;
    long evaluations = 0;  // residual evaluations (with or without Jacobian)
    long iterations = 0;   // iterations as the solver counts them
    long trials = 0;       // trial points evaluated after the start
    double ssq = 0;        // final sum of squares
};

double sum_of_squares(const double* f, int m) {
    double s = 0;
    for (int i = 0; i < m; ++i) s += f[i] * f[i];
    return s;
}

struct Timed {
    double& sink;
    double t0 = thread_ns();
    explicit Timed(double& s) : sink(s) {}
    ~Timed() { sink += thread_ns() - t0; }
};

// ---- ZOLmath
struct ZolContext {
    const Problem* p;
    Tally* tally;
};

int zol_callback(int32_t request, void* context, double* x, double* f, double* jac, int32_t* reply) {
    auto* c = static_cast<ZolContext*>(context);
    *reply = 0;
    if (request != 3) return 0;
    Timed t(c->tally->callback_ns);
    c->p->residuals(x, f);
    c->p->jacobian(x, jac);
    ++c->tally->evaluations;
    return 0;
}

Tally solve_zol(const Problem& p, std::vector<double>& x, std::vector<double>& f, std::vector<double>& step) {
    Tally tally;
    ZolContext ctx{&p, &tally};
    MathNonLinearSolverOptions opt{};
    opt.method = 0;
    opt.maxIterations = 200;
    int32_t status = 0;
    x = p.x0;
    MathNonLinearSolver(&opt, p.m, p.n, &ctx, zol_callback, 0, nullptr, x.data(), f.data(), step.data(),
                        &status);
    // One evaluation at the start, then one per iteration.
    tally.iterations = tally.evaluations - 1;
    tally.trials = tally.evaluations - 1;
    tally.ssq = sum_of_squares(f.data(), p.m);
    return tally;
}

// ---- MINPACK lmder (no context argument: the problem travels in a global)
const Problem* g_minpack_problem = nullptr;
Tally* g_minpack_tally = nullptr;

void minpack_fcn(int* m, int* n, double* x, double* fvec, double* fjac, int* ldfjac, int* iflag) {
    (void)m, (void)n, (void)ldfjac;
    Timed t(g_minpack_tally->callback_ns);
    if (*iflag == 1) {
        g_minpack_problem->residuals(x, fvec);
        ++g_minpack_tally->evaluations;
    } else if (*iflag == 2) {
        g_minpack_problem->jacobian(x, fjac);
    }
}

struct MinpackWork {
    std::vector<double> fjac, diag, qtf, wa1, wa2, wa3, wa4;
    std::vector<int> ipvt;
    MinpackWork(int m, int n)
        : fjac(std::size_t(m) * n), diag(n), qtf(n), wa1(n), wa2(n), wa3(n), wa4(m), ipvt(n) {}
};

Tally solve_minpack(const Problem& p, std::vector<double>& x, std::vector<double>& f, MinpackWork& w) {
    Tally tally;
    g_minpack_problem = &p;
    g_minpack_tally = &tally;
    int m = p.m, n = p.n, ld = p.m, maxfev = 200 * (p.n + 1), mode = 1, nprint = 0, info = 0, nfev = 0,
        njev = 0;
    double ftol = 1e-10, xtol = 1e-10, gtol = 0.0, factor = 100.0;
    x = p.x0;
    lmder_(minpack_fcn, &m, &n, x.data(), f.data(), w.fjac.data(), &ld, &ftol, &xtol, &gtol, &maxfev,
           w.diag.data(), &mode, &factor, &nprint, &info, &nfev, &njev, w.ipvt.data(), w.qtf.data(),
           w.wa1.data(), w.wa2.data(), w.wa3.data(), w.wa4.data());
    tally.iterations = njev;
    tally.trials = nfev - 1;
    tally.ssq = sum_of_squares(f.data(), p.m);
    return tally;
}

// ---- Eigen
struct EigenFunctor : Eigen::DenseFunctor<double> {
    const Problem* p;
    Tally* tally;
    EigenFunctor(const Problem* pp, Tally* t) : DenseFunctor<double>(pp->n, pp->m), p(pp), tally(t) {}
    int operator()(const Eigen::VectorXd& x, Eigen::VectorXd& f) const {
        Timed t(tally->callback_ns);
        p->residuals(x.data(), f.data());
        ++tally->evaluations;
        return 0;
    }
    int df(const Eigen::VectorXd& x, Eigen::MatrixXd& jac) const {
        Timed t(tally->callback_ns);
        p->jacobian(x.data(), jac.data());
        return 0;
    }
};

Tally solve_eigen(const Problem& p) {
    Tally tally;
    EigenFunctor fn(&p, &tally);
    Eigen::LevenbergMarquardt<EigenFunctor> lm(fn);
    lm.setFtol(1e-10);
    lm.setXtol(1e-10);
    lm.setMaxfev(200 * (p.n + 1));
    Eigen::VectorXd x = Eigen::Map<const Eigen::VectorXd>(p.x0.data(), p.n);
    lm.minimize(x);
    benchmark::DoNotOptimize(x.data());
    tally.iterations = lm.iterations();
    tally.trials = lm.nfev() - 1;
    tally.ssq = lm.fnorm() * lm.fnorm();
    return tally;
}

// ---- Ceres Solver: one residual block of m residuals in one parameter
// block of n; its Jacobian is row-major, so ours is transposed inside the
// (timed) callback.
struct CeresCost : ceres::CostFunction {
    const Problem* p;
    Tally* tally;
    mutable std::vector<double> jac;
    CeresCost(const Problem* pp, Tally* t) : p(pp), tally(t), jac(std::size_t(pp->m) * pp->n) {
        set_num_residuals(pp->m);
        mutable_parameter_block_sizes()->push_back(pp->n);
    }
    bool Evaluate(double const* const* x, double* f, double** jacobians) const override {
        Timed t(tally->callback_ns);
        p->residuals(x[0], f);
        ++tally->evaluations;
        if (jacobians != nullptr && jacobians[0] != nullptr) {
            p->jacobian(x[0], jac.data());
            for (int i = 0; i < p->m; ++i)
                for (int j = 0; j < p->n; ++j) jacobians[0][std::size_t(i) * p->n + j] = jac[std::size_t(j) * p->m + i];
        }
        return true;
    }
};

Tally solve_ceres(const Problem& p, std::vector<double>& x) {
    Tally tally;
    x = p.x0;
    ceres::Problem problem;
    problem.AddResidualBlock(new CeresCost(&p, &tally), nullptr, x.data());
    ceres::Solver::Options o;
    o.linear_solver_type = ceres::DENSE_QR;
    o.trust_region_strategy_type = ceres::LEVENBERG_MARQUARDT;
    o.num_threads = 1;
    o.max_num_iterations = 200;
    o.function_tolerance = 1e-10;
    o.parameter_tolerance = 1e-10;
    o.gradient_tolerance = 0;
    o.logging_type = ceres::SILENT;
    ceres::Solver::Summary summary;
    ceres::Solve(o, &problem, &summary);
    // Ceres counts the start point as iteration 0.
    tally.iterations = long(summary.iterations.size()) - 1;
    tally.trials = tally.evaluations - 1;
    tally.ssq = 2.0 * summary.final_cost;
    return tally;
}

// ---- GSL multifit_nlinear, trust region with Levenberg-Marquardt steps
struct GslContext {
    const Problem* p;
    Tally* tally;
    std::vector<double> jac;
};

int gsl_f(const gsl_vector* x, void* params, gsl_vector* f) {
    auto* c = static_cast<GslContext*>(params);
    Timed t(c->tally->callback_ns);
    c->p->residuals(x->data, f->data);
    ++c->tally->evaluations;
    return GSL_SUCCESS;
}

int gsl_df(const gsl_vector* x, void* params, gsl_matrix* J) {
    auto* c = static_cast<GslContext*>(params);
    Timed t(c->tally->callback_ns);
    const int m = c->p->m, n = c->p->n;
    c->p->jacobian(x->data, c->jac.data());
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) gsl_matrix_set(J, i, j, c->jac[std::size_t(j) * m + i]);
    return GSL_SUCCESS;
}

Tally solve_gsl(const Problem& p) {
    gsl_set_error_handler_off();  // a failing step is reported, not fatal
    Tally tally;
    GslContext ctx{&p, &tally, std::vector<double>(std::size_t(p.m) * p.n)};
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = gsl_f;
    fdf.df = gsl_df;
    fdf.n = std::size_t(p.m);
    fdf.p = std::size_t(p.n);
    fdf.params = &ctx;
    gsl_multifit_nlinear_parameters params = gsl_multifit_nlinear_default_parameters();
    params.trs = gsl_multifit_nlinear_trs_lm;
    gsl_multifit_nlinear_workspace* w =
        gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &params, std::size_t(p.m), std::size_t(p.n));
    gsl_vector_const_view x0 = gsl_vector_const_view_array(p.x0.data(), std::size_t(p.n));
    gsl_multifit_nlinear_init(&x0.vector, &fdf, w);
    int info = 0;
    gsl_multifit_nlinear_driver(200, 1e-10, 1e-10, 1e-10, nullptr, nullptr, &info, w);
    tally.iterations = long(gsl_multifit_nlinear_niter(w));
    tally.trials = tally.evaluations - 1;
    double ssq = 0;
    gsl_blas_ddot(gsl_multifit_nlinear_residual(w), gsl_multifit_nlinear_residual(w), &ssq);
    tally.ssq = ssq;
    gsl_multifit_nlinear_free(w);
    return tally;
}

// The benchmark loop: each iteration is one full solve from the start point.
template <class Solve>
void run(benchmark::State& st, Solve solve) {
    Tally last;
    double own_ns = 0, total_ns = 0;
    long solves = 0;
    solve();  // untimed: warms caches and the heap for every contender alike
    for (auto _ : st) {
        const double t0 = thread_ns();
        last = solve();
        const double ns = thread_ns() - t0;
        total_ns += ns;
        own_ns += ns - last.callback_ns;
        ++solves;
    }
    const double per_solve_own = own_ns / solves;
    st.counters["iterations"] = double(last.iterations);
    st.counters["final_ssq"] = last.ssq;
    st.counters["evaluations"] = double(last.evaluations);
    st.counters["callback_share"] = 1.0 - own_ns / total_ns;
    st.counters["us_per_iter_excl_cb"] = per_solve_own / 1e3 / double(std::max(1L, last.iterations));
    st.counters["us_per_eval_excl_cb"] = per_solve_own / 1e3 / double(std::max(1L, last.trials));
}

// Problems are built on first use: the large ones take a moment, and a
// filtered run should not pay for them.
struct Entry {
    std::string label;
    int m, n;
    std::function<std::shared_ptr<Problem>()> make;
    std::shared_ptr<Problem> built;
    const Problem& get() {
        if (!built) built = make();
        return *built;
    }
};

std::vector<std::shared_ptr<Entry>>& entries() {
    static std::vector<std::shared_ptr<Entry>> list;
    return list;
}

}  // namespace

void zb::register_solver() {
    using benchmark::RegisterBenchmark;
    auto& list = entries();
    auto add = [&](std::string name, int m, int n, std::function<std::shared_ptr<Problem>()> make) {
        list.push_back(std::make_shared<Entry>(Entry{std::move(name), m, n, std::move(make), nullptr}));
    };
    for (const int m : {50, 10000, 1000000}) {
        add("expdecay", m, 3, [m] { return std::make_shared<ExpDecay>(m); });
        add("gauss3", m, 10, [m] { return std::make_shared<Gaussians>(m); });
    }
    add("rosenbrock", 2, 2, [] { return std::make_shared<Rosenbrock>(); });
    add("powell", 4, 4, [] { return std::make_shared<PowellSingular>(); });
    add("box3d", 10, 3, [] { return std::make_shared<Box3D>(); });
    add("browndennis", 20, 4, [] { return std::make_shared<BrownDennis>(); });
    for (const auto& sp : list) {
        Entry* e = sp.get();
        const std::string d = e->label + "/" + std::to_string(e->m) + "x" + std::to_string(e->n);
        // One solve of the big problems costs seconds.
        const double work = 40.0 * e->m * e->n * e->n;
        zb::shape(RegisterBenchmark(("solver/zol/" + d).c_str(),
                                    [e](benchmark::State& st) {
                                        const Problem& p = e->get();
                                        std::vector<double> x(p.n), f(p.m), step(p.n);
                                        run(st, [&] { return solve_zol(p, x, f, step); });
                                    }),
                  work, 2e7);
        zb::shape(RegisterBenchmark(("solver/lmder/" + d).c_str(),
                                    [e](benchmark::State& st) {
                                        const Problem& p = e->get();
                                        std::vector<double> x(p.n), f(p.m);
                                        MinpackWork w(p.m, p.n);
                                        run(st, [&] { return solve_minpack(p, x, f, w); });
                                    }),
                  work, 2e7);
        zb::shape(RegisterBenchmark(("solver/eigen/" + d).c_str(),
                                    [e](benchmark::State& st) {
                                        const Problem& p = e->get();
                                        run(st, [&] { return solve_eigen(p); });
                                    }),
                  work, 2e7);
        zb::shape(RegisterBenchmark(("solver/ceres/" + d).c_str(),
                                    [e](benchmark::State& st) {
                                        const Problem& p = e->get();
                                        std::vector<double> x(p.n);
                                        run(st, [&] { return solve_ceres(p, x); });
                                    }),
                  work, 2e7);
        zb::shape(RegisterBenchmark(("solver/gsl/" + d).c_str(),
                                    [e](benchmark::State& st) {
                                        const Problem& p = e->get();
                                        run(st, [&] { return solve_gsl(p); });
                                    }),
                  work, 2e7);
    }
}
