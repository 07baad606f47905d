// Pivoted QR, equality-constrained least squares, inversion and banded least
// squares against LAPACK (reference or OpenBLAS, whichever this program is
// linked with) and Eigen.  Every iteration starts from a fresh copy of the
// input, for all contenders alike, since every routine works in place.
#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "common.hpp"
#include "zolmath.h"

namespace {

struct QrSize {
    int m, n;
};
constexpr QrSize kQr[] = {{20, 5}, {100, 10}, {1000, 50}, {2000, 200}, {5000, 100}};

void qr_zol(benchmark::State& st, int m, int n) {
    const std::vector<double> a0 = zb::uniform(std::size_t(m) * n, 11);
    std::vector<double> a(a0.size()), h(n);
    std::vector<int32_t> piv(n);
    for (auto _ : st) {
        std::memcpy(a.data(), a0.data(), a.size() * sizeof(double));
        lgqrfc_(&m, &m, &n, a.data(), h.data(), piv.data());
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

void qr_lapack(benchmark::State& st, int m, int n) {
    const std::vector<double> a0 = zb::uniform(std::size_t(m) * n, 11);
    std::vector<double> a(a0.size()), tau(n);
    std::vector<int> jpvt(n);
    int info = 0, lwork = -1;
    double query = 0;
    dgeqp3_(&m, &n, a.data(), &m, jpvt.data(), tau.data(), &query, &lwork, &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    for (auto _ : st) {
        std::memcpy(a.data(), a0.data(), a.size() * sizeof(double));
        std::fill(jpvt.begin(), jpvt.end(), 0);
        dgeqp3_(&m, &n, a.data(), &m, jpvt.data(), tau.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(a.data());
        benchmark::ClobberMemory();
    }
}

#ifndef ZOLBENCH_OPENBLAS
void qr_eigen(benchmark::State& st, int m, int n) {
    const std::vector<double> a0 = zb::uniform(std::size_t(m) * n, 11);
    const Eigen::Map<const Eigen::MatrixXd> A(a0.data(), m, n);
    Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(m, n);
    for (auto _ : st) {
        qr.compute(A);  // copies A into its own storage, as the others copy
        benchmark::DoNotOptimize(qr.matrixQR().data());
        benchmark::ClobberMemory();
    }
}
#endif

// min |C x - d| subject to E x = f.
struct LseSize {
    int n, ncon, neq;
};
constexpr LseSize kLse[] = {{10, 3, 50}, {50, 10, 500}, {200, 20, 2000}};

struct LseData {
    std::vector<double> e, f, c, d;
    LseData(const LseSize& s)
        : e(zb::uniform(std::size_t(s.ncon) * s.n, 21)),
          f(zb::uniform(s.ncon, 22)),
          c(zb::uniform(std::size_t(s.neq) * s.n, 23)),
          d(zb::uniform(s.neq, 24)) {}
};

void lse_zol(benchmark::State& st, LseSize s) {
    const LseData in(s);
    LseData w(s);
    std::vector<double> x(s.n);
    const int32_t nrhs = 1;
    int32_t ierr = 0;
    for (auto _ : st) {
        w.e = in.e, w.f = in.f, w.c = in.c, w.d = in.d;
        lglse_(&nrhs, &s.n, &s.ncon, &s.neq, w.e.data(), w.f.data(), w.c.data(), w.d.data(), x.data(),
               &ierr);
        benchmark::DoNotOptimize(x.data());
    }
    if (ierr != 0) st.SkipWithError("lglse_ failed");
}

void lse_lapack(benchmark::State& st, LseSize s) {
    const LseData in(s);
    LseData w(s);
    std::vector<double> x(s.n);
    int info = 0, lwork = -1;
    double query = 0;
    dgglse_(&s.neq, &s.n, &s.ncon, w.c.data(), &s.neq, w.e.data(), &s.ncon, w.d.data(), w.f.data(), x.data(),
            &query, &lwork, &info);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    for (auto _ : st) {
        w.e = in.e, w.f = in.f, w.c = in.c, w.d = in.d;
        dgglse_(&s.neq, &s.n, &s.ncon, w.c.data(), &s.neq, w.e.data(), &s.ncon, w.d.data(), w.f.data(),
                x.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(x.data());
    }
    if (info != 0) st.SkipWithError("dgglse failed");
}

// Inverse of a well-conditioned square matrix.
std::vector<double> invertible(int n) {
    std::vector<double> a = zb::uniform(std::size_t(n) * n, 31);
    for (int i = 0; i < n; ++i) a[std::size_t(i) * n + i] += n;
    return a;
}

void inv_zol(benchmark::State& st, int n) {
    const std::vector<double> a0 = invertible(n);
    std::vector<double> a(a0.size()), x(a0.size());
    int32_t ierr = 0;
    for (auto _ : st) {
        std::memcpy(a.data(), a0.data(), a.size() * sizeof(double));
        lminv_(&n, &n, a.data(), x.data(), &ierr);
        benchmark::DoNotOptimize(x.data());
    }
    if (ierr != 0) st.SkipWithError("lminv_ failed");
}

void inv_lapack(benchmark::State& st, int n) {
    const std::vector<double> a0 = invertible(n);
    std::vector<double> a(a0.size());
    std::vector<int> ipiv(n);
    int info = 0, lwork = -1;
    double query = 0;
    dgetri_(&n, a.data(), &n, ipiv.data(), &query, &lwork, &info);
    lwork = std::max(1, static_cast<int>(query));
    std::vector<double> work(lwork);
    for (auto _ : st) {
        std::memcpy(a.data(), a0.data(), a.size() * sizeof(double));
        dgetrf_(&n, &n, a.data(), &n, ipiv.data(), &info);
        dgetri_(&n, a.data(), &n, ipiv.data(), work.data(), &lwork, &info);
        benchmark::DoNotOptimize(a.data());
    }
    if (info != 0) st.SkipWithError("dgetrf/dgetri failed");
}

#ifndef ZOLBENCH_OPENBLAS
void inv_eigen(benchmark::State& st, int n) {
    const std::vector<double> a0 = invertible(n);
    const Eigen::Map<const Eigen::MatrixXd> A(a0.data(), n, n);
    Eigen::MatrixXd X(n, n);
    for (auto _ : st) {
        X = A.inverse();
        benchmark::DoNotOptimize(X.data());
    }
}
#endif

// Banded fit: a cubic B-spline on [0, neq/10] sampled ten times per knot
// interval, so each equation touches four consecutive coefficients and
// there are neq/10 + 3 of them.
constexpr int kBand = 4;
constexpr int kPerKnot = 10;

struct BandProblem {
    int neq, nvar;
    std::vector<double> coef;  // kPerKnot rows of kBand basis values
    std::vector<double> rhs;
    explicit BandProblem(int equations) : neq(equations), nvar(equations / kPerKnot + 3) {
        coef.resize(kPerKnot * kBand);
        for (int r = 0; r < kPerKnot; ++r) {
            const double u = (r + 0.5) / kPerKnot;
            const double v = 1.0 - u;
            coef[r * kBand + 0] = v * v * v / 6.0;
            coef[r * kBand + 1] = (3.0 * u * u * u - 6.0 * u * u + 4.0) / 6.0;
            coef[r * kBand + 2] = (-3.0 * u * u * u + 3.0 * u * u + 3.0 * u + 1.0) / 6.0;
            coef[r * kBand + 3] = u * u * u / 6.0;
        }
        rhs.resize(neq);
        for (int i = 0; i < neq; ++i) {
            const double t = (i + 0.5) / kPerKnot;
            rhs[i] = std::sin(0.3 * t) + 0.01 * std::cos(7.1 * t);
        }
    }
};

void band_zol(benchmark::State& st, int neq) {
    const BandProblem p(neq);
    const int32_t nb = kBand, nrhs = 1, nrow = kPerKnot, ldg = p.nvar + 2 * kPerKnot;
    const double tol = 1e-12;
    std::vector<double> g(std::size_t(ldg) * (nb + nrhs));
    std::vector<double> x(p.nvar);
    int32_t ierr = 0;
    for (auto _ : st) {
        int32_t ipos = 1, inext = 1;
        for (int32_t blk = 0; blk < neq / kPerKnot; ++blk) {
            const int32_t jcol = blk + 1;
            for (int r = 0; r < kPerKnot; ++r) {
                const std::size_t row = std::size_t(inext - 1 + r);
                for (int t = 0; t < kBand; ++t) g[row + std::size_t(t) * ldg] = p.coef[r * kBand + t];
                g[row + std::size_t(kBand) * ldg] = p.rhs[std::size_t(blk) * kPerKnot + r];
            }
            lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
        }
        const int32_t mode = 1, n = p.nvar;
        lgbls_(&mode, g.data(), &ldg, &nb, &ipos, &n, &nrhs, &tol, x.data(), &ierr);
        benchmark::DoNotOptimize(x.data());
    }
    if (ierr != 0) st.SkipWithError("lgbls_ failed");
    st.counters["ns_per_equation"] =
        benchmark::Counter(double(neq) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}

void band_lapack(benchmark::State& st, int neq) {
    const BandProblem p(neq);
    const int m = neq, n = p.nvar, nrhs = 1;
    std::vector<double> a0(std::size_t(m) * n, 0.0);
    for (int i = 0; i < m; ++i)
        for (int t = 0; t < kBand; ++t)
            a0[std::size_t(i / kPerKnot + t) * m + i] = p.coef[(i % kPerKnot) * kBand + t];
    std::vector<double> a(a0.size()), b(m);
    int info = 0, lwork = -1;
    double query = 0;
    dgels_("N", &m, &n, &nrhs, a.data(), &m, b.data(), &m, &query, &lwork, &info, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(lwork);
    for (auto _ : st) {
        std::memcpy(a.data(), a0.data(), a.size() * sizeof(double));
        std::memcpy(b.data(), p.rhs.data(), b.size() * sizeof(double));
        dgels_("N", &m, &n, &nrhs, a.data(), &m, b.data(), &m, work.data(), &lwork, &info, 1);
        benchmark::DoNotOptimize(b.data());
    }
    if (info != 0) st.SkipWithError("dgels failed");
    st.counters["ns_per_equation"] =
        benchmark::Counter(double(neq) * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                   benchmark::Counter::kInvert);
}

}  // namespace

void zb::register_lapack() {
    using benchmark::RegisterBenchmark;
    for (const QrSize s : kQr) {
        const std::string d = zb::dims(s.m, s.n);
        const double work = 2.0 * s.m * s.n * s.n;
        zb::shape(RegisterBenchmark(("qr/zol/" + d).c_str(), qr_zol, s.m, s.n), work, 2e8);
        zb::shape(RegisterBenchmark(("qr/lapack/" + d).c_str(), qr_lapack, s.m, s.n), work, 2e8);
#ifndef ZOLBENCH_OPENBLAS
        zb::shape(RegisterBenchmark(("qr/eigen/" + d).c_str(), qr_eigen, s.m, s.n), work, 2e8);
#endif
    }
    for (const LseSize s : kLse) {
        const std::string d =
            std::to_string(s.neq) + "x" + std::to_string(s.n) + "+" + std::to_string(s.ncon);
        const double work = 2.0 * s.neq * s.n * s.n;
        zb::shape(RegisterBenchmark(("lse/zol/" + d).c_str(), lse_zol, s), work);
        zb::shape(RegisterBenchmark(("lse/lapack/" + d).c_str(), lse_lapack, s), work);
    }
    for (const int n : {3, 10, 100, 300}) {
        const std::string d = std::to_string(n);
        const double work = 2.0 * n * n * n;
        zb::shape(RegisterBenchmark(("inv/zol/" + d).c_str(), inv_zol, n), work);
        zb::shape(RegisterBenchmark(("inv/lapack/" + d).c_str(), inv_lapack, n), work);
#ifndef ZOLBENCH_OPENBLAS
        zb::shape(RegisterBenchmark(("inv/eigen/" + d).c_str(), inv_eigen, n), work);
#endif
    }
    for (const int neq : {1000, 10000, 100000, 1000000}) {
        const std::string d = std::to_string(neq);
        zb::shape(RegisterBenchmark(("band/zol/" + d).c_str(), band_zol, neq), 300.0 * neq);
    }
    // The dense peer only where the dense matrix stays small enough to
    // factor in a few seconds.
#ifdef ZOLBENCH_OPENBLAS
    for (const int neq : {1000, 10000})
#else
    for (const int neq : {1000})
#endif
    {
        const double n = neq / kPerKnot + 3;
        zb::shape(RegisterBenchmark(("band/lapack/" + std::to_string(neq)).c_str(), band_lapack, neq),
                  2.0 * neq * n * n);
    }
}
