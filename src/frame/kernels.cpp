// The kernel choice.  This file is compiled for the baseline processor: it
// runs before anything is known about the one it runs on.
#include "frame/kernels.hpp"

#include <cstdlib>
#include <cstring>

bool zol::wide_kernels() {
#if defined(ZOLMATH_WIDE_KERNELS)
    static const bool wide = [] {
        const char* forced = std::getenv("ZOLMATH_KERNELS");
        if (forced != nullptr && std::strcmp(forced, "baseline") == 0) return false;
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return wide;
#else
    return false;
#endif
}
