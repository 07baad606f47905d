// Matrices of run-time size (product with a vector, product of two
// matrices, norms, numerical rank of a triangle) and the roots of a
// quadratic equation.  Every sum runs from 0.0 in the order the loops are
// written; where the loops are tiled for the memory layout, each single
// sum still adds its terms in the same order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "frame/unroll.hpp"
#include "frame/view.hpp"
#include "vector/scaled_norm.hpp"
#include "zolmath.h"

namespace {

// Rows handled together when a row-wise sum walks a column-major matrix:
// the matrix is then read column by column while every row keeps its own
// running sum in index order.
constexpr std::int64_t kRowTile = 64;

constexpr double kZeroCoefficient = 1e-10;

// A matrix of more than one column needs a positive leading dimension;
// anything else would address memory before the array.
bool readable(std::int64_t cols, std::int64_t ld) { return cols <= 1 || ld >= 1; }

// y(j .. j+G-1) = columns j .. j+G-1 of A times x, each sum from 0 in row
// order in its own chain.
template <int G>
void column_sums(const zol::ColMajor<const double>& A, const double* x, std::int64_t rows, std::int64_t j,
                 double* y) {
    const double* c[G];
    double s[G];
    zol::each<G>([&](auto k) {
        c[k] = A.col(j + k);
        s[k] = 0.0;
    });
    for (std::int64_t i = 0; i < rows; ++i) {
        const double xi = x[i];
        zol::each<G>([&](auto k) { s[k] = s[k] + c[k][i] * xi; });
    }
    for (int k = 0; k < G; ++k) y[j - 1 + k] = s[k];
}

}  // namespace

void lmmlvn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
             const double* a, const double* x, double* y) {
    const std::int64_t rows = *m;
    const std::int64_t cols = *n;
    const std::int64_t ld = *lda;
    if (rows >= 1 && cols >= 1 && !readable(cols, ld)) return;
    const zol::ColMajor<const double> A(a, ld);

    if (*mode == 2) {
        // Up to four columns at a time, each sum in its own chain.  Without
        // rows every sum is empty (and no column address is formed).
        if (rows < 1) {
            for (std::int64_t j = 1; j <= cols; ++j) y[j - 1] = 0.0;
            return;
        }
        for (std::int64_t j = 1; j <= cols;) {
            const std::int64_t left = cols - j + 1;
            if (left >= 4) {
                column_sums<4>(A, x, rows, j, y);
                j += 4;
            } else if (left == 3) {
                column_sums<3>(A, x, rows, j, y);
                j += 3;
            } else if (left == 2) {
                column_sums<2>(A, x, rows, j, y);
                j += 2;
            } else {
                column_sums<1>(A, x, rows, j, y);
                j += 1;
            }
        }
        return;
    }

    double acc[kRowTile];
    for (std::int64_t i0 = 1; i0 <= rows; i0 += kRowTile) {
        const std::int64_t nt = std::min(kRowTile, rows - i0 + 1);
        for (std::int64_t t = 0; t < nt; ++t) acc[t] = 0.0;
        for (std::int64_t k = 1; k <= cols; ++k) {
            const double* col = &A(i0, k);
            const double xk = x[k - 1];
            for (std::int64_t t = 0; t < nt; ++t) acc[t] = acc[t] + col[t] * xk;
        }
        for (std::int64_t t = 0; t < nt; ++t) y[i0 - 1 + t] = acc[t];
    }
}

void lmmulm_(const int32_t* nrowa, const int32_t* ncola, const int32_t* ncolb, const double* a,
             const double* b, double* c) {
    const std::int64_t rows = *nrowa;
    const std::int64_t inner = *ncola;
    const std::int64_t cols = *ncolb;
    if (rows < 1 || cols < 1) return;
    // Row i of c is built by adding a(i, k) times row k of b for k in order:
    // every c(i, j) still receives its terms in increasing k, and all three
    // matrices are read along their rows.
    for (std::int64_t i = 0; i < rows; ++i) {
        double* ci = c + i * cols;
        for (std::int64_t j = 0; j < cols; ++j) ci[j] = 0.0;
        for (std::int64_t k = 0; k < inner; ++k) {
            const double aik = a[i * inner + k];
            const double* bk = b + k * cols;
            for (std::int64_t j = 0; j < cols; ++j) ci[j] = ci[j] + aik * bk[j];
        }
    }
}

double lmnrmn_(const int32_t* mode, const int32_t* lda, const int32_t* m, const int32_t* n,
               const double* a) {
    const std::int64_t rows = *m;
    const std::int64_t cols = *n;
    const std::int64_t ld = *lda;
    if (rows < 1 || cols < 1 || !readable(cols, ld)) return 0.0;
    const zol::ColMajor<const double> A(a, ld);
    // Maxima start at 0 and only a strictly larger value replaces them, so a
    // NaN never enters; the maximum is then independent of visiting order.
    double best = 0.0;
    switch (*mode) {
    case 1:
        for (std::int64_t j = 1; j <= cols; ++j) {
            double sum = 0.0;
            for (std::int64_t i = 1; i <= rows; ++i) sum = sum + std::fabs(A(i, j));
            if (sum > best) best = sum;
        }
        return best;
    case 2: {
        double acc[kRowTile];
        for (std::int64_t i0 = 1; i0 <= rows; i0 += kRowTile) {
            const std::int64_t nt = std::min(kRowTile, rows - i0 + 1);
            for (std::int64_t t = 0; t < nt; ++t) acc[t] = 0.0;
            for (std::int64_t j = 1; j <= cols; ++j) {
                const double* col = &A(i0, j);
                for (std::int64_t t = 0; t < nt; ++t) acc[t] = acc[t] + std::fabs(col[t]);
            }
            for (std::int64_t t = 0; t < nt; ++t)
                if (acc[t] > best) best = acc[t];
        }
        return best;
    }
    case 3: {
        // One running sum over the rows, which fixes the order of additions.
        double sum = 0.0;
        for (std::int64_t i = 1; i <= rows; ++i)
            for (std::int64_t j = 1; j <= cols; ++j) sum = sum + A(i, j) * A(i, j);
        if (sum == std::numeric_limits<double>::infinity()) {
            const zol::ScaledSquares s = zol::scaled_squares(a, rows, cols, ld);
            if (s.finite) return zol::scaled_length(s);
        }
        return std::sqrt(sum);
    }
    case 4:
        for (std::int64_t j = 1; j <= cols; ++j)
            for (std::int64_t i = 1; i <= rows; ++i) {
                const double v = std::fabs(A(i, j));
                if (v > best) best = v;
            }
        return best;
    default:
        return 0.0;
    }
}

int32_t lmtrkn_(const int32_t* lda, const int32_t* n, const double* a, const double* tol) {
    const std::int64_t ld = *lda;
    const std::int64_t r = std::min<std::int64_t>(ld, *n);
    if (r < 1) return 0;
    const zol::ColMajor<const double> A(a, ld);
    const double t = *tol;
    int32_t count = 0;
    for (std::int64_t k = 1; k <= r; ++k)
        if (std::fabs(A(k, k)) > t) ++count;
    return count;
}

void lm2pwu_(const double* coef, int32_t* nreal, int32_t* degree, double* roots) {
    const double c0 = coef[0];
    const double c1 = coef[1];
    const double c2 = coef[2];
    if (std::fabs(c2) >= kZeroCoefficient) {
        const double p = (c1 / c2) * -0.5;
        const double q = c0 / c2;
        const double disc = p * p - q;
        *degree = 2;
        if (disc >= 0.0) {
            const double r = std::sqrt(disc);
            roots[0] = p + r;
            roots[1] = 0.0;
            roots[2] = p - r;
            roots[3] = 0.0;
            *nreal = 2;
        } else {
            const double s = std::sqrt(-disc);
            roots[0] = p;
            roots[1] = s;
            roots[2] = p;
            roots[3] = -s;
            *nreal = 0;
        }
    } else if (std::fabs(c1) >= kZeroCoefficient) {
        *degree = 1;
        *nreal = 1;
        roots[0] = -(c0 / c1);
        roots[1] = 0.0;
    } else if (std::fabs(c0) < kZeroCoefficient) {
        *degree = -1;  // 0 = 0: every x solves
        *nreal = -1;
    } else {
        *degree = 0;
        *nreal = 0;
    }
}
