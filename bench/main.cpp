// Entry of both benchmark programs.  The one linked against OpenBLAS runs
// it on one thread, like every other peer here.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include "common.hpp"
#include "zolmemsvc_test.h"

#ifdef ZOLBENCH_OPENBLAS
extern "C" void openblas_set_num_threads(int);
const char* zb::lapack_label() { return "OpenBLAS"; }
#else
const char* zb::lapack_label() { return "reference LAPACK"; }
#endif

int main(int argc, char** argv) {
    // The stand-in memory service keeps tracking live blocks, as a host's
    // would, but not its test log, which would grow by every call.
    memsvc_set_logging(0);
    // Large blocks from the heap, kept after release: the solver obtains its
    // scratch anew in every call (as the peers' callers here allocate once),
    // and fresh pages from the system would charge first-touch page faults
    // to its iterations.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 64 << 20);
#ifdef ZOLBENCH_OPENBLAS
    openblas_set_num_threads(1);
    zb::register_lapack();
#else
    zb::register_lapack();
    zb::register_solver();
    zb::register_geometry();
    zb::register_vector();
#endif
    benchmark::AddCustomContext("lapack", zb::lapack_label());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
