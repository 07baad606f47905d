// Inverse of a square matrix, or the generalised inverse
// A+ = A^T (A A^T)^-1 of a matrix with more columns than rows, by solving
// the least-squares systems W s_r = e_r for the columns of the identity
// with lglse_ (W = A, or the Gram matrix A A^T).  The result is stored row
// by row.  Scratch comes from the tracked memory service under the tag
// "lminv"; the request and release lines identify the call sites.
#include <cstdint>

#include "frame/scratch.hpp"
#include "frame/view.hpp"
#include "zolmath.h"

namespace {

constexpr const char* kTag = "lminv";

// Call sites of the memory service.
constexpr std::int32_t kRequestGram = 87;
constexpr std::int32_t kRequestIdentity = 102;
constexpr std::int32_t kRequestSolution = 104;
constexpr std::int32_t kRequestColumn = 118;
constexpr std::int32_t kReleaseColumn = 152;
constexpr std::int32_t kReleaseSolution = 153;
constexpr std::int32_t kReleaseIdentity = 154;
constexpr std::int32_t kReleaseGram = 155;

}  // namespace

extern "C" void lminv_(const int32_t* n, const int32_t* m, double* a, double* x, int32_t* ierr) {
    *ierr = 0;
    const std::int64_t nr = *n;
    const std::int64_t nc = *m;
    if (nr < 1 || nc < 1) {
        *ierr = 1;
        return;
    }
    const std::int64_t n2 = nr * nr;
    const zol::ColMajor<double> A(a, nr);

    // The blocks are released in the reverse order of their requests, which
    // is what the destructors do on every path.
    double* w = a;
    zol::Scratch g(nr != nc ? zol::scratch_bytes(n2, sizeof(double)) : -1, kTag, kRequestGram, kReleaseGram);
    if (nr != nc) {
        if (!g) {
            *ierr = 5;
            return;
        }
        const zol::ColMajor<double> G(g.as<double>(), nr);
        for (std::int64_t i = 1; i <= nr; ++i)
            for (std::int64_t j = i; j <= nr; ++j) {
                double s = 0.0;
                for (std::int64_t k = 1; k <= nc; ++k) s = s + A(j, k) * A(i, k);
                G(i, j) = s;
            }
        for (std::int64_t i = 1; i <= nr; ++i)
            for (std::int64_t j = i + 1; j <= nr; ++j) G(j, i) = G(i, j);
        w = g.as<double>();
    }

    zol::Scratch id(zol::scratch_bytes(n2, sizeof(double)), kTag, kRequestIdentity, kReleaseIdentity);
    if (!id) {
        *ierr = 5;
        return;
    }
    double* eye = id.as<double>();
    for (std::int64_t k = 0; k < n2; ++k) eye[k] = 0.0;
    for (std::int64_t i = 0; i < nr; ++i) eye[i + i * nr] = 1.0;

    zol::Scratch sol(zol::scratch_bytes(n2, sizeof(double)), kTag, kRequestSolution, kReleaseSolution);
    if (!sol) {
        *ierr = 5;
        return;
    }
    double* S = sol.as<double>();

    // No constraints: e and f are never read, but must be valid addresses.
    double zero = 0.0;
    const std::int32_t ncon = 0;
    std::int32_t status = 0;
    lglse_(n, n, &ncon, n, &zero, &zero, w, eye, S, &status);
    if (status != 0) {
        *ierr = 1;
        return;
    }

    zol::Scratch col(zol::scratch_bytes(nr, sizeof(double)), kTag, kRequestColumn, kReleaseColumn);
    if (!col) {
        *ierr = 5;
        return;
    }
    if (nr == nc) {
        for (std::int64_t k = 0; k < n2; ++k) x[k] = S[k];
    } else {
        // S is W^-1 row by row and W is symmetric, so S(i, k) can be read
        // either way; x = W^-1 a column by column, i.e. A+ row by row.
        double* t = col.as<double>();
        for (std::int64_t j = 1; j <= nc; ++j) {
            for (std::int64_t i = 1; i <= nr; ++i) {
                double s = 0.0;
                for (std::int64_t k = 1; k <= nr; ++k) s = s + S[(i - 1) * nr + (k - 1)] * A(k, j);
                t[i - 1] = s;
            }
            for (std::int64_t i = 1; i <= nr; ++i) x[(j - 1) * nr + (i - 1)] = t[i - 1];
        }
    }
}
