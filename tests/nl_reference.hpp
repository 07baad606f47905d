// A plain reading of the Levenberg-Marquardt iteration, built from the
// library's exported kernels: tests 1 and 2 count for every trial point,
// test 3 only for one whose residual norm is not larger, and a worse trial
// point that ends the run leaves x and f at the current point.  The solver
// must agree with it bit for bit.  No trace, no checks, no memory service.
#pragma once

#include <cmath>
#include <vector>

#include "nl_support.hpp"

namespace zt {

inline SolverRun reference_solve(const Problem& p, MathNonLinearSolverOptions o, const std::vector<double>& x0) {
    if (o.maxIterations <= 0) o.maxIterations = 20;
    if (o.initialRadiusFactor <= 0) o.initialRadiusFactor = 0.05;
    if (o.radiusCapFactor <= 0) o.radiusCapFactor = 0.1;
    if (o.residualTolerance <= 0) o.residualTolerance = 1e-8;
    std::int32_t m = p.m, n = p.n;
    const std::int32_t mpn = m + n, one = 1, two = 2, minus = -1, ten = 10;
    const double eps = 1e-8, sigma = 0.1, tol = o.residualTolerance;
    SolverRun r;
    r.x = x0;
    r.f.assign(m, 0.0);
    r.step.assign(n, 0.0);
    std::vector<double> D(n, 0.0), J(m * n), W(m * n), rr(m), A(mpn * n), b(mpn), v(n);
    std::vector<std::int32_t> piv(n);
    p.eval(r.x.data(), r.f.data(), J.data());
    if (lvlgtn_(&m, r.f.data()) <= tol) {
        r.status = 0;
        return r;
    }
    ngvsc1_(&m, &m, &n, J.data(), D.data());
    const double d = lvlgtn_(&n, D.data());
    const double floor = std::pow(1e-8, 2.0 / 3.0) * d;
    for (double& e : D)
        if (e < floor) e = floor;
    double delta = o.initialRadiusFactor * d;
    r.status = 2;
    for (long k = 1;; ++k) {
        double par = 0.0;
        for (int i = 0; i < m; ++i) rr[i] = -r.f[i];
        W = J;
        lgqrfc_(&m, &m, &n, W.data(), v.data(), piv.data());
        for (std::int32_t j = 1; j <= n; ++j) {
            std::int32_t next = j + 1, flag = 0;
            lghtr_(&two, &j, &next, &m, W.data() + (j - 1) * m, &one, &v[j - 1], rr.data(), &one, &one, &one, &eps,
                   &flag);
        }
        const double tau = 1e-8 * lmnrmn_(&two, &m, &m, &n, J.data());
        const std::int32_t rank = lmtrkn_(&m, &n, W.data(), &tau);
        for (int i = 0; i < n; ++i) r.step[i] = i < rank ? rr[i] : 0.0;
        lgdre1_(&two, &m, &rank, W.data(), r.step.data());
        lvprmn_(&minus, &n, r.step.data(), r.step.data(), piv.data());
        ngvsc1_(&m, &m, &n, J.data(), D.data());
        lvmldn_(&one, &n, D.data(), r.step.data(), v.data());
        double dn = lvlgtn_(&n, v.data());
        if (!(dn < 1.1 * delta)) {
            for (int i = 0; i < m; ++i) b[i] = r.f[i];
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < m; ++i) A[i + j * mpn] = J[i + j * m];
            std::int32_t count = 0;
            ngpar1_(&mpn, &m, &n, W.data(), rr.data(), A.data(), b.data(), r.step.data(), D.data(), &par, &delta,
                    &sigma, &ten, &rank, piv.data(), v.data(), &count);
            lvmldn_(&one, &n, D.data(), r.step.data(), v.data());
            dn = lvlgtn_(&n, v.data());
        }
        for (int j = 0; j < n; ++j) v[j] = r.x[j] + r.step[j];
        p.eval(v.data(), rr.data(), W.data());
        // Test 3 counts only for a trial point that is no worse; a worse one
        // that passes test 2 ends the run at the current point.
        const bool not_worse = lvlgtn_(&m, rr.data()) <= lvlgtn_(&m, r.f.data());
        for (std::int32_t mode = 1; mode <= (not_worse ? 3 : 2); ++mode) {
            if (ngstp1_(&mode, &m, &m, &n, J.data(), rr.data(), r.step.data(), D.data(), v.data(), &delta, &par,
                        &tol, A.data()) == 1) {
                r.worse_final = !not_worse;
                if (not_worse) {
                    r.x.assign(v.begin(), v.end());
                    r.f = rr;
                }
                r.status = 0;
                return r;
            }
        }
        const double rho = ngrat1_(&m, &m, &n, J.data(), r.f.data(), rr.data(), r.step.data(), D.data(), &par);
        if (rho > 1e-4) {
            r.x.assign(v.begin(), v.end());
            r.f = rr;
            J = W;
        }
        if (rho >= 0.75) delta = 2.0 * dn;
        if (par == 0.0 && rho >= 0.25) delta = 2.0 * dn;
        if (rho < 0.25)
            delta = delta * ngups1_(&m, &m, &n, J.data(), r.f.data(), rr.data(), r.step.data(), D.data(), &par, &rho);
        double s = 0.0;
        for (double e : D) s = s + std::fabs(e);
        if (o.radiusCapFactor * s < delta) delta = o.radiusCapFactor * s;
        if (k > o.maxIterations) return r;
    }
}

}  // namespace zt
