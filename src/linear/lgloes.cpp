// Weighted product with a stored matrix: c = M diag(w) b, one column of b at
// a time through the matrix-vector product.
#include <algorithm>
#include <cstdint>

#include "frame/scratch.hpp"
#include "frame/view.hpp"
#include "zolmath.h"

namespace {

constexpr const char* kTag = "lgloes";

// Bytes for a scratch vector of count doubles.  A count below 1 asks for an
// empty block, never a negative one; -1 when the size does not fit the
// service's byte count.
std::int64_t vector_bytes(std::int32_t count) {
    return zol::scratch_bytes(std::max<std::int32_t>(count, 0), sizeof(double));
}

}  // namespace

void lgloes_(const int32_t* n, const int32_t* m, const double* const* hmat, const int32_t* ncol,
             const double* b, const double* w, double* c, int32_t* ierr) {
    *ierr = 0;
    const int32_t nn = *n;
    const int32_t mm = *m;
    const int32_t nc = *ncol;

    // A request that fails, or cannot be made, ends the call before c is
    // touched.  An empty vector is never used, so a refused empty request
    // does not count as a failure.
    const std::int64_t bytes1 = vector_bytes(nn);
    if (bytes1 < 0) {
        *ierr = 5;
        return;
    }
    zol::Scratch s1(bytes1, kTag, 78, 89);
    if (!s1 && nn >= 1) {
        *ierr = 5;
        return;
    }
    const std::int64_t bytes2 = vector_bytes(mm);
    if (bytes2 < 0) {
        *ierr = 5;
        return;
    }
    zol::Scratch s2(bytes2, kTag, 79, 88);
    if (!s2 && mm >= 1) {
        *ierr = 5;
        return;
    }

    double* t1 = s1.as<double>();
    double* t2 = s2.as<double>();
    const zol::Interleaved<const double> B(b, nc);
    const zol::Interleaved<double> C(c, nc);
    const int32_t mode = 1;
    for (std::int64_t j = 1; j <= nc; ++j) {
        for (std::int64_t i = 1; i <= nn; ++i) t1[i - 1] = B(i, j) * w[i - 1];
        lmmlvn_(&mode, m, m, n, *hmat, t1, t2);
        for (std::int64_t i = 1; i <= mm; ++i) C(i, j) = t2[i - 1];
    }
    // Released by the scratch blocks: t2 (line 88), then t1 (line 89).
}
