// The column sweep of the pivoted QR for g = 4 or 8 columns at a time with
// 4-wide vectors.  Same contract as zol::sweep<g, true, ...>
// (reflection.hpp), with the same bits: only called when
// zol::wide_kernels() says so.
#pragma once

#include <cstdint>

namespace zol {

void sweep_wide(int g, bool apply, bool measure, bool squares, double* const* c, std::int64_t len, const double* up,
                const double* tb, const double* un, double hn, double* t, double* s);

}  // namespace zol
