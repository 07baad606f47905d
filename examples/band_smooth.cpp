// A smoothing fit by banded least squares with lgbla_ and lgbls_: a cubic
// B-spline with a second-difference roughness penalty (a P-spline) through
// the 250 observations of the Gauss1 dataset (data/nist), compared with the
// certified model curve of that dataset.
//
//   band_smooth [--intervals=K] [--penalty=L] [--data=DIR]
//
// Each observation touches only the four B-spline coefficients of its knot
// interval, and each penalty row three consecutive coefficients, so the
// problem is banded with bandwidth 4: lgbla_ folds it in block by block
// (one block per knot interval) without ever holding the whole matrix, and
// lgbls_ solves with the band factor.  The exit status is 0 when the solve
// succeeded.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/args.hpp"
#include "common/nist.hpp"
#include "zolmath.h"

namespace {

// The four cubic B-splines that are non-zero at u in [0, 1] of an interval.
void bspline(double u, double* b) {
    const double v = 1.0 - u;
    b[0] = v * v * v / 6.0;
    b[1] = (3.0 * u * u * u - 6.0 * u * u + 4.0) / 6.0;
    b[2] = (-3.0 * u * u * u + 3.0 * u * u + 3.0 * u + 1.0) / 6.0;
    b[3] = u * u * u / 6.0;
}

struct Spline {
    double x0, h;
    int intervals;
    std::vector<double> coef;  // intervals + 3 coefficients

    // Knot interval of x and the position u in it.
    int locate(double x, double& u) const {
        int k = static_cast<int>(std::floor((x - x0) / h));
        k = k < 0 ? 0 : (k >= intervals ? intervals - 1 : k);
        u = (x - x0) / h - k;
        return k;
    }
    double operator()(double x) const {
        double u = 0.0, b[4];
        const int k = locate(x, u);
        bspline(u, b);
        return b[0] * coef[k] + b[1] * coef[k + 1] + b[2] * coef[k + 2] + b[3] * coef[k + 3];
    }
};

}  // namespace

int main(int argc, char** argv) {
    ex::Args args;
    std::vector<std::string> opt;
    if (!ex::parse(argc, argv, {"--intervals=", "--penalty="}, args, opt)) return 2;
    const int intervals = opt[0].empty() ? 40 : std::atoi(opt[0].c_str());
    const double penalty = opt[1].empty() ? 0.1 : std::atof(opt[1].c_str());
    if (intervals < 1 || !(penalty >= 0.0)) {
        std::fprintf(stderr, "--intervals must be at least 1 and --penalty not negative\n");
        return 2;
    }
    ex::Dataset d;
    if (!ex::load_dataset(args.data + "/nist/Gauss1.dat", "Gauss1", d)) {
        std::fprintf(stderr, "cannot read Gauss1 from %s/nist\n", args.data.c_str());
        return 1;
    }
    Spline s{d.x.front(), (d.x.back() - d.x.front()) / intervals, intervals, {}};
    const std::int32_t n = intervals + 3, nb = 4, nrhs = 1;

    // Observations by knot interval (the predictor values are sorted).
    std::vector<std::vector<std::size_t>> in_interval(intervals);
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        double u = 0.0;
        in_interval[s.locate(d.x[i], u)].push_back(i);
    }
    std::size_t largest_block = 0;
    for (const auto& rows : in_interval) largest_block = std::max(largest_block, rows.size() + 1);

    // Band array: rows for the triangle, the unfinished rows and one block.
    const std::int32_t ldg = static_cast<std::int32_t>(n + nb + largest_block);
    std::vector<double> g(static_cast<std::size_t>(ldg) * (nb + nrhs), 0.0);
    auto at = [&](std::int32_t row, int col) -> double& { return g[(row - 1) + static_cast<std::size_t>(col - 1) * ldg]; };
    std::int32_t ipos = 1, inext = 1;
    const double tol = 1e-12, weight = std::sqrt(penalty);
    // Block j (coefficients j .. j+3, counted from 1): the observations of
    // interval j, then the penalty row on coefficients j, j+1, j+2.
    for (std::int32_t jcol = 1; jcol <= n - 2; ++jcol) {
        std::int32_t nrow = 0;
        auto new_row = [&]() {
            const std::int32_t row = inext + nrow++;
            for (int t = 1; t <= nb + nrhs; ++t) at(row, t) = 0.0;
            return row;
        };
        if (jcol <= intervals) {
            for (std::size_t i : in_interval[jcol - 1]) {
                const std::int32_t row = new_row();
                double u = 0.0, b[4];
                s.locate(d.x[i], u);
                bspline(u, b);
                for (int t = 1; t <= nb; ++t) at(row, t) = b[t - 1];
                at(row, nb + 1) = d.y[i];
            }
        }
        const std::int32_t row = new_row();
        at(row, 1) = weight;
        at(row, 2) = -2.0 * weight;
        at(row, 3) = weight;
        lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
    }
    s.coef.assign(n, 0.0);
    const std::int32_t mode = 1;
    std::int32_t ierr = 0;
    lgbls_(&mode, g.data(), &ldg, &nb, &ipos, &n, &nrhs, &tol, s.coef.data(), &ierr);
    if (ierr != 0) {
        std::fprintf(stderr, "lgbls_ failed: status %d\n", ierr);
        return 1;
    }

    // Against the data and against the certified model curve.
    double rss = 0.0, gap2 = 0.0, gap_max = 0.0, grad[8];
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        const double r = s(d.x[i]) - d.y[i];
        const double gap = s(d.x[i]) - ex::gauss1(d.certified.data(), d.x[i], grad);
        rss += r * r;
        gap2 += gap * gap;
        gap_max = std::fmax(gap_max, std::fabs(gap));
    }
    const double m = static_cast<double>(d.x.size());
    std::printf("Gauss1: %zu observations on [%g, %g]\n", d.x.size(), d.x.front(), d.x.back());
    std::printf("cubic B-spline, %d knot intervals, %d coefficients, second-difference penalty %g\n", intervals, n,
                penalty);
    std::printf("band array %d by %d for a problem of %zu rows by %d columns\n\n", ldg, nb + nrhs,
                d.x.size() + static_cast<std::size_t>(n - 2), n);
    std::printf("  %6s %12s %12s %12s\n", "x", "data", "smoothed", "certified");
    for (std::size_t i = 0; i < d.x.size(); i += 25)
        std::printf("  %6g %12.4f %12.4f %12.4f\n", d.x[i], d.y[i], s(d.x[i]),
                    ex::gauss1(d.certified.data(), d.x[i], grad));
    std::printf("\nresidual standard deviation: smoothed %.4f, certified model %.4f\n",
                std::sqrt(rss / (m - n)), std::sqrt(d.certified_rss / (m - static_cast<double>(d.certified.size()))));
    std::printf("smoothed curve minus certified model curve: root mean square %.4f, largest %.4f\n",
                std::sqrt(gap2 / m), gap_max);
    return 0;
}
