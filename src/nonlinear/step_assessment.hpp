// The decisions of the step assessment with the residual norms supplied by
// the caller.  The driver measures each residual vector once and hands the
// same lengths to every decision; the exported kernels measure them with
// lvlgtn_ and call these, so both give the same bits.
#pragma once

#include <cstdint>

namespace zol::ng {

// sJ = |J dx|^2 as the model terms sum it, once it is known: the plain
// sum of squares of J dx formed row by row, which is what mode 3 of the
// stopping test measures.
struct ModelSquares {
    double sj = 0.0;
    bool known = false;
};

// Stopping test `mode` for a trial point whose residuals have the length
// fnew_norm (modes 1 and 3 use it); the other arguments as for ngstp1_.
// Mode 3 records sJ in *squares when squares is not null.
std::int32_t stopping_test(std::int32_t mode, const std::int32_t* ld, const std::int32_t* rows,
                           const std::int32_t* cols, const double* jac, double fnew_norm, const double* dx,
                           const double* d, const double* xnew, double delta, double par, double tol,
                           double* work, ModelSquares* squares = nullptr);

// Reduction ratio for the residual lengths a = |f| and b = |fnew|; sJ is
// summed from J unless squares says it is known.
double reduction_ratio(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                       const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                       double par, const ModelSquares& squares = {});

// Radius factor for the residual lengths a = |f| and b = |fnew| (read only
// when rho <= 0.25), sJ as for reduction_ratio.
double radius_factor(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                     const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                     double par, double rho, const ModelSquares& squares = {});

// The scaling update of ngvsc1_ for a Jacobian of cols columns with
// leading dimension *rows whose plain squared column lengths (summed from 0
// in row order) are already known.
void raise_scaling(const std::int32_t* rows, std::int64_t cols, const double* jac, const double* squares,
                   double* d);

// ngpar1_ for a caller that already holds J^T f (n values, each summed from
// 0 in row order): then the first m rows of a and b are not read, and serve
// only as scratch like the rest.  jtf null: ngpar1_ itself.
void damping(const std::int32_t* mpn, const std::int32_t* m, const std::int32_t* n, const double* r,
             const double* qtb, double* a, double* b, double* dx, const double* d, double* par, const double* delta,
             const double* sigma, const std::int32_t* maxit, const std::int32_t* rank, const std::int32_t* pivots,
             double* work, std::int32_t* iter, const double* jtf);

}  // namespace zol::ng
