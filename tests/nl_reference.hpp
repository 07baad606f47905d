// A plain reading of the Levenberg-Marquardt iteration, built from the
// library's exported kernels, in which the three stopping tests count for
// every trial point whatever its residual norm.  The solver differs from it
// only where a trial point with a larger residual norm would pass test 2 or
// 3; the tests compare the two bit for bit elsewhere and show what the
// difference is for.  No trace, no checks, no memory service.
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
        for (std::int32_t mode = 1; mode <= 3; ++mode) {
            if (ngstp1_(&mode, &m, &m, &n, J.data(), rr.data(), r.step.data(), D.data(), v.data(), &delta, &par,
                        &tol, A.data()) == 1) {
                r.worse_final = !(lvlgtn_(&m, rr.data()) <= lvlgtn_(&m, r.f.data()));
                r.x.assign(v.begin(), v.end());
                r.f = rr;
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
