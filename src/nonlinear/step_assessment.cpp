// Step assessment of the Levenberg-Marquardt solver: the column scaling,
// the three stopping tests, the reduction ratio and the radius factor.
// Every length is the one lvlgtn_ gives (the column lengths of the scaling
// are summed several columns side by side, each in its own chain), so the
// solver and these kernels agree on each bit of every length they compare.
#include <cmath>
#include <cstdint>
#include <limits>

#include "frame/column_squares.hpp"
#include "frame/view.hpp"
#include "nonlinear/step_assessment.hpp"
#include "vector/scaled_norm.hpp"
#include "zolmath.h"

namespace {

const std::int32_t kNoColumns = 0;
constexpr double kInf = std::numeric_limits<double>::infinity();

// A Jacobian with two or more columns and a leading dimension below 1
// would place its later columns before the array: it describes no matrix,
// and the kernels read nothing from it.  J dx is then zero and every
// column measures 0, as the matrix norms measure such a matrix as 0.  The
// result is the number of columns to read.
const std::int32_t* readable_cols(const int32_t* ld, const int32_t* cols) {
    return (*ld < 1 && *cols > 1) ? &kNoColumns : cols;
}

// The two quadratic terms of the linear model, sJ = |J dx|^2 and
// sD = |D dx|^2.  Each row sum of J dx is accumulated over the columns in
// index order before it is squared, so the row loop walks J with the stride
// of its leading dimension.
struct ModelTerms {
    double sj;
    double sd;
};

// sJ alone.  Rows are taken in tiles, J read column by column within a
// tile, each row's sum still formed over the columns in index order.
double model_sj(const int32_t* ld, std::int32_t rows, const int32_t* cols, const double* jac, const double* dx) {
    constexpr std::int64_t kTile = 64;
    const zol::ColMajor<const double> J(jac, *ld);
    const std::int32_t jcols = *readable_cols(ld, cols);
    double sj = 0.0;
    double acc[kTile];
    for (std::int64_t i0 = 1; i0 <= rows; i0 += kTile) {
        const std::int64_t nt = rows - i0 + 1 < kTile ? rows - i0 + 1 : kTile;
        for (std::int64_t t = 0; t < nt; ++t) acc[t] = 0.0;
        for (std::int64_t j = 1; j <= jcols; ++j) {
            const double* col = &J(i0, j);
            const double xj = dx[j - 1];
            for (std::int64_t t = 0; t < nt; ++t) acc[t] = acc[t] + col[t] * xj;
        }
        for (std::int64_t t = 0; t < nt; ++t) sj = sj + acc[t] * acc[t];
    }
    return sj;
}

ModelTerms model_terms(const int32_t* ld, std::int32_t rows, const int32_t* cols, const double* jac,
                       const double* dx, const double* d, const zol::ng::ModelSquares& known) {
    const double sj = known.known ? known.sj : model_sj(ld, rows, cols, jac, dx);
    double sd = 0.0;
    for (std::int64_t j = 0; j < *cols; ++j) {
        const double t = dx[j] * d[j];
        sd = sd + t * t;
    }
    return {sj, sd};
}

// d := the length of the rows-long column col when that is larger, given
// its plain sum of squares s.  A NaN length never replaces d: D only grows.
void raise_to_length(double& d, double s, const std::int32_t* rows, const double* col) {
    const double c = s == kInf ? lvlgtn_(rows, col) : std::sqrt(s);
    if (d < c) d = c;
}

}  // namespace

void ngvsc1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* a, double* d) {
    const std::int64_t nc = *cols;
    if (readable_cols(ld, cols) != cols) {
        // Columns of an unreadable matrix measure 0 (no address is formed).
        for (std::int64_t j = 0; j < nc; ++j)
            if (d[j] < 0.0) d[j] = 0.0;
        return;
    }
    // Each column length is the one lvlgtn_ gives: the root of the plain sum
    // of squares, which lvlgtn_ itself recomputes with scaling in the rare
    // case that the sum overflowed.
    const zol::ColMajor<const double> A(a, *ld);
    zol::column_squares(A, 1, *rows, 1, nc,
                        [&](std::int64_t l, double s) { raise_to_length(d[l - 1], s, rows, A.col(l)); });
}

void zol::ng::raise_scaling(const std::int32_t* rows, std::int64_t cols, const double* jac, const double* squares,
                            double* d) {
    for (std::int64_t j = 0; j < cols; ++j) raise_to_length(d[j], squares[j], rows, jac + j * *rows);
}

std::int32_t zol::ng::stopping_test(std::int32_t mode, const std::int32_t* ld, const std::int32_t* rows,
                                    const std::int32_t* cols, const double* jac, double fnew_norm,
                                    const double* dx, const double* d, const double* xnew, double delta,
                                    double par, double tol, double* work, ModelSquares* squares) {
    const std::int32_t multiply = 1;
    switch (mode) {
        case 1:
            return fnew_norm <= tol ? 1 : 0;
        case 2: {
            lvmldn_(&multiply, cols, d, xnew, work);
            return tol * lvlgtn_(cols, work) >= delta ? 1 : 0;
        }
        case 3: {
            // J dx row by row, each row summed over the columns from 0: its
            // plain sum of squares is the model's sJ, and its root the length
            // lvlgtn_ gives unless the sum overflowed.  The solver, whose
            // scratch nobody reads, has sJ formed without storing J dx.
            double sj;
            if (squares != nullptr) {
                sj = model_sj(ld, *rows, cols, jac, dx);
                *squares = {sj, true};
            } else {
                lmmlvn_(&multiply, ld, rows, readable_cols(ld, cols), jac, dx, work);
                sj = zol::plain_squares(work, *rows);
            }
            if (sj == kInf && squares != nullptr) lmmlvn_(&multiply, ld, rows, readable_cols(ld, cols), jac, dx, work);
            const double jdx = sj == kInf ? lvlgtn_(rows, work) : std::sqrt(sj);
            lvmldn_(&multiply, cols, d, dx, work);
            const double ddx = lvlgtn_(cols, work);
            // An exact trial point predicts no further reduction at all; the
            // relative terms below would divide by its zero length.
            if (fnew_norm == 0.0) return 1;
            const double q1 = jdx / fnew_norm;
            const double q2 = std::sqrt(par) * ddx / fnew_norm;
            return q1 * q1 + 2.0 * (q2 * q2) <= tol ? 1 : 0;
        }
        default:
            return 0;
    }
}

int32_t ngstp1_(const int32_t* mode, const int32_t* ld, const int32_t* rows, const int32_t* cols,
                const double* jac, const double* fnew, const double* dx, const double* d,
                const double* xnew, const double* delta, const double* par, const double* tol,
                double* work) {
    // Modes 1 and 3 measure the trial residuals, the others do not read them.
    const double fn = (*mode == 1 || *mode == 3) ? lvlgtn_(rows, fnew) : 0.0;
    return zol::ng::stopping_test(*mode, ld, rows, cols, jac, fn, dx, d, xnew, *delta, *par, *tol, work);
}

double zol::ng::reduction_ratio(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                                const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                                double par, const ModelSquares& squares) {
    // Also catches ||f|| = 0 and NaN lengths, so the quotients below never
    // divide by zero.
    if (!(a > b)) return 0.0;
    const ModelTerms t = model_terms(ld, *rows, cols, jac, dx, d, squares);
    const double a2 = a * a;
    const double q = b / a;
    return (1.0 - q * q) / (t.sj / a2 + 2.0 * par * t.sd / a2);
}

double ngrat1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
               const double* f, const double* fnew, const double* dx, const double* d,
               const double* par) {
    const double a = lvlgtn_(rows, f);
    const double b = lvlgtn_(rows, fnew);
    return zol::ng::reduction_ratio(a, b, ld, rows, cols, jac, dx, d, *par);
}

double zol::ng::radius_factor(double a, double b, const std::int32_t* ld, const std::int32_t* rows,
                              const std::int32_t* cols, const double* jac, const double* dx, const double* d,
                              double par, double rho, const ModelSquares& squares) {
    if (rho > 0.25) return (rho >= 0.75 || par == 0.0) ? 2.0 : 1.0;
    double t = a >= b ? 0.5 : 1.0;
    if (10.0 * a < b) t = 0.1;
    if (t != 1.0) return t;
    // Here ||f|| < ||fnew|| <= 10 ||f||: the radius shrinks to where the
    // quadratic model of the residual norm along the step has its minimum.
    const ModelTerms m = model_terms(ld, *rows, cols, jac, dx, d, squares);
    const double a2 = a * a;
    const double g = m.sj / a2 + par * m.sd / a2;
    const double q = b / a;
    return g / (q * q - 1.0 + 2.0 * g);
}

double ngups1_(const int32_t* ld, const int32_t* rows, const int32_t* cols, const double* jac,
               const double* f, const double* fnew, const double* dx, const double* d,
               const double* par, const double* rho) {
    // The lengths are only needed when the radius shrinks.
    if (*rho > 0.25) return zol::ng::radius_factor(0.0, 0.0, ld, rows, cols, jac, dx, d, *par, *rho);
    const double a = lvlgtn_(rows, f);
    const double b = lvlgtn_(rows, fnew);
    return zol::ng::radius_factor(a, b, ld, rows, cols, jac, dx, d, *par, *rho);
}
