// Which kernels run: the 4-wide ones (AVX2, no fused multiply-add) where the
// processor has them, the baseline ones everywhere else.  The choice is made
// once per process; ZOLMATH_KERNELS=baseline in the environment keeps the
// baseline kernels on every processor.  Both give the same bits.
#pragma once

#include <cstdint>

namespace zol {

bool wide_kernels();

// Vectors shorter than this are left to the baseline kernels, for which
// the wide ones bring only their start-up cost.
constexpr std::int64_t kWideRows = 8;

}  // namespace zol
