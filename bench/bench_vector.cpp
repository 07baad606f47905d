// Long-vector kernels against the bound of one running sum: a sum in index
// order is one chain of dependent additions, so no kernel that keeps that
// order can beat one floating-point add latency per element.  The latency
// is measured here on a chain over a short array that stays in the first
// level cache; "chain/stream" is the same chain run over the whole array.
#include <vector>

#include "common.hpp"
#include "zolmath.h"

namespace {

constexpr int kColumns = 10;  // lmmlvn_ works on elements/10 by 10 matrices

// One running sum: the compiler may neither reorder nor vectorise it.
double chain(const double* a, std::int64_t n) {
    double s = 0.0;
    for (std::int64_t i = 0; i < n; ++i) s = s + a[i];
    return s;
}

void bound(benchmark::State& st, int n) {
    // 1024 elements in cache, walked n / 1024 times: n dependent additions.
    const std::vector<double> a = zb::uniform(1024, 61);
    const std::int64_t reps = std::max(1, n / 1024);
    for (auto _ : st) {
        double s = 0.0;
        for (std::int64_t r = 0; r < reps; ++r) {
            benchmark::DoNotOptimize(s += chain(a.data(), 1024));
        }
        benchmark::DoNotOptimize(s);
    }
    st.counters["ns_per_element"] =
        benchmark::Counter(double(reps * 1024) * 1e-9,
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void stream(benchmark::State& st, int n) {
    const std::vector<double> a = zb::uniform(n, 62);
    for (auto _ : st) benchmark::DoNotOptimize(chain(a.data(), n));
}

void length(benchmark::State& st, int n) {
    const std::vector<double> a = zb::uniform(n, 63);
    for (auto _ : st) benchmark::DoNotOptimize(lvlgtn_(&n, a.data()));
}

void dot(benchmark::State& st, int n) {
    const std::vector<double> a = zb::uniform(n, 64), b = zb::uniform(n, 65);
    for (auto _ : st) benchmark::DoNotOptimize(lvscln_(&n, a.data(), b.data()));
}

void matvec(benchmark::State& st, int n, int32_t mode) {
    const int32_t rows = n / kColumns, cols = kColumns;
    const std::vector<double> a = zb::uniform(n, 66), x = zb::uniform(rows, 67);
    std::vector<double> y(rows);
    for (auto _ : st) {
        lmmlvn_(&mode, &rows, &rows, &cols, a.data(), x.data(), y.data());
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

void zb::register_vector() {
    using benchmark::RegisterBenchmark;
    for (const int n : {1000, 10000, 100000, 1000000, 10000000}) {
        const std::string d = std::to_string(n);
        const double work = 4.0 * n;
        zb::shape(RegisterBenchmark(("vec/bound/" + d).c_str(), bound, n), work, 1e9);
        zb::shape(RegisterBenchmark(("vec/chain/" + d).c_str(), stream, n), work, 1e9);
        zb::shape(RegisterBenchmark(("vec/lvlgtn/" + d).c_str(), length, n), work, 1e9);
        zb::shape(RegisterBenchmark(("vec/lvscln/" + d).c_str(), dot, n), work, 1e9);
        zb::shape(RegisterBenchmark(("vec/lmmlvn_ax/" + d).c_str(), matvec, n, 1), work, 1e9);
        zb::shape(RegisterBenchmark(("vec/lmmlvn_atx/" + d).c_str(), matvec, n, 2), work, 1e9);
    }
}
