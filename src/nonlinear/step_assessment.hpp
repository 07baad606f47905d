// The decisions of the step assessment with the residual norms supplied by
// the caller.  The driver measures each residual vector once and hands the
// same lengths to every decision; the exported kernels measure them with
// lvlgtn_ and call these, so both give the same bits.
#pragma once

#include <cstdint>

namespace zol::ng {

// Stopping test `mode` for a trial point whose residuals have the length
// fnew_norm (modes 1 and 3 use it); the other arguments as for ngstp1_.
std::int32_t stopping_test(std::int32_t mode, const std::int32_t* ld, const std::int32_t* rows,
                           const std::int32_t* cols, const double* jac, double fnew_norm, const double* dx,
                           const double* d, const double* xnew, double delta, double par, double tol,
                           double* work);

// Reduction ratio for the residual lengths a = |f| and b = |fnew|.
double reduction_ratio(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                       const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                       double par);

// Radius factor for the residual lengths a = |f| and b = |fnew| (read only
// when rho <= 0.25).
double radius_factor(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                     const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                     double par, double rho);

}  // namespace zol::ng
