// Which kernels run: the 4-wide ones (AVX2, no fused multiply-add) where the
// processor has them, the baseline ones everywhere else.  The choice is made
// once per process; ZOLMATH_KERNELS=baseline in the environment keeps the
// baseline kernels on every processor.  Both give the same bits.
#pragma once

#include <cstdint>

namespace zol {

bool wide_kernels();

// Whether vectors of len elements take the wide kernels: shorter than 8,
// they stay on the baseline ones, for which the wide ones bring only their
// start-up cost.
inline bool wide_for(std::int64_t len) { return len >= 8 && wide_kernels(); }

}  // namespace zol
