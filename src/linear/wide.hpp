// The 4-wide kernels, each with the same bits as the baseline code it
// stands for.
//
// The column sweep of the factorisations for g = 4 or 8 columns at a time
// with 4-wide vectors.  Same contract as zol::sweep<g, pivot_first, apply,
// measure, squares> (reflection.hpp), with the same bits: only called when
// zol::wide_kernels() says so.
#pragma once

#include <cstdint>

namespace zol {

void sweep_wide(int g, bool pivot_first, bool apply, bool measure, bool squares, double* const* c, std::int64_t len,
                const double* up, const double* tb, const double* un, double hn, double* t, double* s);

// For g = 4 or 8 vectors s[k] of len elements and a vector u: the inner
// products t[k] := t[k] + Σ s[k](i)·u(i), terms added one at a time in
// increasing i, and the updates s[k](i) := s[k](i) + t[k]·u(i).  The same
// bits as the one-vector loops.
void dot_wide(int g, double* const* s, std::int64_t len, const double* u, double* t);
void axpy_wide(int g, double* const* s, std::int64_t len, const double* u, const double* t);

// lgdre_'s substitution for the 16 interleaved right-hand sides from
// column offset r0 on (x row stride k, the n-by-n triangle a column-major),
// forward or back, the first component already solved.
void triangular_tile_wide(bool forward, const double* a, std::int64_t n, double* x, std::int64_t k, std::int64_t r0);

}  // namespace zol
