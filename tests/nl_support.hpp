// Helpers for the nonlinear least-squares tests: a residual problem behind
// the solver's C callback that records every call, residuals whose Jacobian
// comes from automatic differentiation, a run wrapper that captures the
// trace as text, and a plain reading of the iteration to hold the solver to.
#pragma once

#include <Eigen/Core>
#include <unsupported/Eigen/AutoDiff>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <numeric>

#include "support.hpp"

namespace zt {

struct Call {
    std::int32_t request, seen;  // the reply variable as the callback found it
    std::vector<double> x;
    const double *f, *jac;
};

struct Problem {
    std::int32_t m = 0, n = 0;
    // Residuals f (m) and Jacobian (m by n, column-major, leading dimension m) at x.
    std::function<void(const double* x, double* f, double* jac)> eval;
    // Optional: answers a call (index counts all calls from 0) through reply.
    std::function<void(std::int32_t request, std::size_t index, std::int32_t* reply)> answer;
    std::vector<Call> calls;

    std::size_t count(std::int32_t request) const {
        return std::count_if(calls.begin(), calls.end(), [request](const Call& k) { return k.request == request; });
    }
};

inline int solver_callback(std::int32_t request, void* context, double* x, double* f, double* jac,
                           std::int32_t* reply) {
    auto* p = static_cast<Problem*>(context);
    const std::size_t index = p->calls.size();
    p->calls.push_back({request, *reply, std::vector<double>(x, x + p->n), f, jac});
    if (request == 3) p->eval(x, f, jac);
    if (p->answer) p->answer(request, index, reply);
    return 0;
}

// A problem written once as residuals of a differentiable scalar.
using AD = Eigen::AutoDiffScalar<Eigen::Matrix<double, Eigen::Dynamic, 1, 0, 16, 1>>;

inline Problem ad_problem(std::int32_t m, std::int32_t n, std::function<void(const AD* x, AD* f)> residuals) {
    Problem p;
    p.m = m;
    p.n = n;
    p.eval = [m, n, residuals](const double* x, double* f, double* J) {
        std::vector<AD> a(n), r(m);
        for (int j = 0; j < n; ++j) a[j] = AD(x[j], n, j);
        residuals(a.data(), r.data());
        for (int i = 0; i < m; ++i) {
            f[i] = r[i].value();
            for (int j = 0; j < n; ++j) J[i + j * m] = j < r[i].derivatives().size() ? r[i].derivatives()[j] : 0.0;
        }
    };
    return p;
}

inline MathNonLinearSolverOptions options(std::int32_t max_iterations = 0, double radius_factor = 0.0,
                                          double tolerance = 0.0) {
    return {0, max_iterations, 0, 0, radius_factor, 0.0, tolerance, 0.0};
}

struct SolverRun {
    std::vector<double> x, f, step;
    std::int32_t status = -99;
    std::string trace;
};

inline bool same_bits(const std::vector<double>& a, const std::vector<double>& b) { return bits(a) == bits(b); }

inline double ssq(const std::vector<double>& f) { return std::inner_product(f.begin(), f.end(), f.begin(), 0.0); }

// Reads everything written to a temporary stream.
inline std::string slurp(std::FILE* s) {
    std::string out;
    std::rewind(s);
    char buf[4096];
    for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, s)) > 0;) out.append(buf, got);
    return out;
}

// Traces into a temporary stream above level 2 (with stream false: none).
inline SolverRun solve(Problem& p, const MathNonLinearSolverOptions& o, const std::vector<double>& x0,
                       std::int32_t trace_level = 0, bool stream = true) {
    SolverRun r{x0, std::vector<double>(p.m), std::vector<double>(p.n), -99, ""};
    std::FILE* s = trace_level > 2 && stream ? std::tmpfile() : nullptr;
    MathNonLinearSolver(&o, p.m, p.n, &p, solver_callback, trace_level, s, r.x.data(), r.f.data(), r.step.data(),
                        &r.status);
    if (s != nullptr) {
        r.trace = slurp(s);
        std::fclose(s);
    }
    return r;
}

template <class... A>
std::string fmt(const char* format, A... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

// A plain reading of the Levenberg-Marquardt iteration and its trace, built
// from the library's exported kernels: tests 1 and 2 count for every trial
// point, test 3 only for one whose residual norm is not larger, and a worse
// trial point that ends the run leaves x and f at the current point.  The
// solver must agree with it bit for bit.  No checks, no memory service.
inline SolverRun reference_solve(const Problem& p, MathNonLinearSolverOptions o, const std::vector<double>& x0,
                                 std::int32_t level = 0) {
    if (o.maxIterations <= 0) o.maxIterations = 20;
    if (o.initialRadiusFactor <= 0) o.initialRadiusFactor = 0.05;
    if (o.radiusCapFactor <= 0) o.radiusCapFactor = 0.1;
    if (o.residualTolerance <= 0) o.residualTolerance = 1e-8;
    std::int32_t m = p.m, n = p.n;
    // With m < n the augmented system still needs 2 n rows.
    const std::int32_t mpn = std::max(m, n) + n, one = 1, two = 2, minus = -1, ten = 10;
    const double eps = 1e-8, sigma = 0.1, tol = o.residualTolerance;
    SolverRun r{x0, std::vector<double>(m), std::vector<double>(n), 2, ""};
    auto trace = [&](const std::string& s) { r.trace += level > 2 ? s : ""; };
    trace(fmt("\n\n*********** START OF NgLevMarq ************\nANZAHL GLEICHUNGEN = %4d\nANZAHL VARIABLEN =  %4d\n", m,
              n));
    std::vector<double> D(n, 0.0), J(m * n), W(m * n), rr(std::max(m, n), 0.0), A(mpn * n), b(mpn), v(n);
    std::vector<std::int32_t> piv(n);
    p.eval(r.x.data(), r.f.data(), J.data());
    r.status = lvlgtn_(&m, r.f.data()) <= tol ? 0 : 2;
    ngvsc1_(&m, &m, &n, J.data(), D.data());
    const double d = lvlgtn_(&n, D.data());
    for (double& e : D) e = std::max(e, std::pow(1e-8, 2.0 / 3.0) * d);
    double delta = o.initialRadiusFactor * d;
    auto take = [&] {  // the trial point becomes x
        r.x = v;
        r.f.assign(rr.begin(), rr.begin() + m);
    };
    for (long k = 1; r.status == 2; ++k) {
        trace(fmt("\nITERATION = %4ld\n", k));
        double par = 0.0;
        for (int i = 0; i < m; ++i) rr[i] = -r.f[i];
        W = J;
        lgqrfc_(&m, &m, &n, W.data(), v.data(), piv.data());
        for (std::int32_t j = 1, flag = 0; j <= n; ++j) {
            std::int32_t next = j + 1;
            lghtr_(&two, &j, &next, &m, W.data() + (j - 1) * m, &one, &v[j - 1], rr.data(), &one, &one, &one, &eps,
                   &flag);
            if (level > 3) trace(fmt("\nierr nach lghtr = %4d\n", flag));
        }
        const double tau = 1e-8 * lmnrmn_(&two, &m, &m, &n, J.data());
        const std::int32_t rank = lmtrkn_(&m, &n, W.data(), &tau);
        for (int i = 0; i < n; ++i) trace(fmt("VDIFF IN 200 LOOP= %20.12g\n", r.step[i] = rr[i]));
        for (int i = rank; i < n; ++i) r.step[i] = 0.0;
        lgdre1_(&two, &m, &rank, W.data(), r.step.data());
        for (double s : r.step)
            trace(fmt(rank == n ? "VDIFF NACH LGDRE1 = %20.12g\n" : "VDIFF nach LGRE1 = %20.12g\n", s));
        lvprmn_(&minus, &n, r.step.data(), r.step.data(), piv.data());
        ngvsc1_(&m, &m, &n, J.data(), D.data());
        lvmldn_(&one, &n, D.data(), r.step.data(), v.data());
        double dn = lvlgtn_(&n, v.data());
        if (!(dn < 1.1 * delta)) {
            std::copy(r.f.begin(), r.f.end(), b.begin());
            for (int j = 0; j < n; ++j) std::copy(&J[j * m], &J[j * m] + m, &A[j * mpn]);
            std::int32_t count = 0;
            ngpar1_(&mpn, &m, &n, W.data(), rr.data(), A.data(), b.data(), r.step.data(), D.data(), &par, &delta,
                    &sigma, &ten, &rank, piv.data(), v.data(), &count);
            trace(fmt("   ITER ALFA = %5d\n   ALFA = %f\n", count, par));
            for (double s : r.step) trace(fmt("VDIFF NACH NGPAR1 = %20.12g\n", s));
            lvmldn_(&one, &n, D.data(), r.step.data(), v.data());
            dn = lvlgtn_(&n, v.data());
        }
        for (int j = 0; j < n; ++j) v[j] = r.x[j] + r.step[j];
        p.eval(v.data(), rr.data(), W.data());
        const bool not_worse = lvlgtn_(&m, rr.data()) <= lvlgtn_(&m, r.f.data());
        for (std::int32_t mode = 1; r.status == 2 && mode <= (not_worse ? 3 : 2); ++mode) {
            if (ngstp1_(&mode, &m, &m, &n, J.data(), rr.data(), r.step.data(), D.data(), v.data(), &delta, &par, &tol,
                        A.data()) == 1) {
                if (not_worse) take();
                r.status = 0;
            }
        }
        if (r.status == 0) break;
        const double rho = ngrat1_(&m, &m, &n, J.data(), r.f.data(), rr.data(), r.step.data(), D.data(), &par);
        trace(fmt("   RHO = %20.12g\n", rho));
        if (rho > 1e-4) {
            take();
            J = W;
        }
        if (rho >= 0.75 || (par == 0.0 && rho >= 0.25)) delta = 2.0 * dn;
        if (rho < 0.25)
            delta = delta * ngups1_(&m, &m, &n, J.data(), r.f.data(), rr.data(), r.step.data(), D.data(), &par, &rho);
        double s = 0.0;
        for (double e : D) s = s + std::fabs(e);
        delta = std::min(delta, o.radiusCapFactor * s);
        trace(fmt("DELTA = %20.12g\n", delta));
        for (int i = 0; i < n; ++i) trace(fmt("   VAR %d = %20.12g\n", i, r.x[i]));
        for (int i = 0; i < m; ++i) trace(fmt("   RES %d = %20.12g\n", i, r.f[i]));
        if (k > o.maxIterations) break;
    }
    trace("*********** END OF NgLevMarq ************\n\n");
    return r;
}

}  // namespace zt
