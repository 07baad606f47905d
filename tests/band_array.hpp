// A band array fed the way a caller of lgbla_ feeds it, and the factor R
// read back through the documented layout, for the banded least-squares
// tests.
#pragma once

#include <cstdint>
#include <vector>

#include "zolmath.h"

namespace zt {

struct BandArray {
    int32_t ldg, nb, nrhs;
    double tol;
    int32_t ipos = 1, inext = 1;
    std::vector<double> g;

    // fill stands for whatever the caller's array held before.
    BandArray(int32_t ldg_, int32_t nb_, int32_t nrhs_, double tol_ = 0.0, double fill = 0.0)
        : ldg(ldg_), nb(nb_), nrhs(nrhs_), tol(tol_),
          g(static_cast<std::size_t>(ldg_) * static_cast<std::size_t>(nb_ + nrhs_), fill) {}

    double& at(int64_t i, int64_t t) { return g[static_cast<std::size_t>((i - 1) + (t - 1) * ldg)]; }

    // Writes the equations (each nb coefficients of the variables jcol ..
    // jcol + nb - 1, then nrhs right-hand sides) at row inext and folds them in.
    void add(int32_t jcol, const std::vector<double>& rows) {
        const int32_t width = nb + nrhs;
        const int32_t nrow = static_cast<int32_t>(rows.size()) / width;
        for (int32_t k = 0; k < nrow; ++k)
            for (int32_t t = 1; t <= width; ++t) at(inext + k, t) = rows[static_cast<std::size_t>(k * width + t - 1)];
        lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
    }

    // Column of g that holds R(i, j) (j >= i): rows before ipos keep their
    // diagonal in column 1, later rows in column i - ipos + 1.
    int64_t column(int64_t i, int64_t j) const { return i < ipos ? j - i + 1 : j - ipos + 1; }

    double r(int64_t i, int64_t j) {
        const int64_t t = column(i, j);
        return (j < i || t < 1 || t > nb) ? 0.0 : at(i, t);
    }

    // x (n by nrhs, interleaved) from lgbls_; status in ierr.
    std::vector<double> solve(int32_t mode, int32_t n, std::vector<double> x, int32_t& ierr,
                              double stol) const {
        x.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(nrhs));
        lgbls_(&mode, g.data(), &ldg, &nb, &ipos, &n, &nrhs, &stol, x.data(), &ierr);
        return x;
    }
};

}  // namespace zt
