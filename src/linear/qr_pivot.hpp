// The pivoted QR factorisation behind lgqrfc_, for callers inside the
// library that carry further columns through it.
#pragma once

#include <cstdint>

namespace zol {

// lgqrfc_ on the ld-by-n matrix a, followed by `extra` columns (n + 1 ..
// n + extra, same leading dimension) that take no part in pivoting but
// receive every reflection as the application mode of lghtr_ (tolerance
// 1e-8) would give it after the factorisation.  When first_squares is not
// null it holds the squared lengths of the n columns as they are on entry
// (each summed from 0 in row order), which the first pivot choice then
// takes instead of measuring the columns again.
void pivoted_qr(std::int64_t ld, std::int64_t m, std::int64_t n, std::int64_t extra, double* a, double* h,
                std::int32_t* ipvt, const double* first_squares = nullptr);

}  // namespace zol
