// Shared pieces of the benchmark programs: seeded inputs, the Fortran
// entry points of the LAPACK peers, and the registration hooks of each
// workload file.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace zb {

inline std::vector<double> uniform(std::size_t n, std::uint64_t seed, double lo = -1.0, double hi = 1.0) {
    std::mt19937_64 gen(seed);
    std::uniform_real_distribution<double> dist(lo, hi);
    std::vector<double> v(n);
    for (double& x : v) x = dist(gen);
    return v;
}

inline std::string dims(long a, long b) { return std::to_string(a) + "x" + std::to_string(b); }

// Repetition policy: small problems run until the minimum time is reached,
// large ones a fixed number of times so that the whole run stays short.
inline void shape(benchmark::internal::Benchmark* b, double work, double big = 5e7) {
    b->Unit(benchmark::kMicrosecond);
    if (work >= 20 * big)
        b->Iterations(1);
    else if (work >= big)
        b->Iterations(3);
    else
        b->MinTime(0.2);
}

// Which peer library the LAPACK names resolve to in this executable.
const char* lapack_label();

void register_lapack();   // pivoted QR, constrained and dense least squares, inversion
void register_solver();   // nonlinear least squares against lmder and Eigen
void register_geometry(); // rigid fit, rotations
void register_vector();   // long-vector kernels against the one-chain bound

}  // namespace zb

extern "C" {
void dgeqp3_(const int* m, const int* n, double* a, const int* lda, int* jpvt, double* tau, double* work,
             const int* lwork, int* info);
void dgglse_(const int* m, const int* n, const int* p, double* a, const int* lda, double* b, const int* ldb,
             double* c, double* d, double* x, double* work, const int* lwork, int* info);
void dgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a, const int* lda,
            double* b, const int* ldb, double* work, const int* lwork, int* info, std::size_t trans_len);
void dgetrf_(const int* m, const int* n, double* a, const int* lda, int* ipiv, int* info);
void dgetri_(const int* n, double* a, const int* lda, const int* ipiv, double* work, const int* lwork,
             int* info);
}
