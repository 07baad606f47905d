// A C++ host of an installed ZOLmath: the best-fit rigid motion of four
// points, with its scratch seen through the memory service's test interface.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "zolmath.h"
#include "zolmemsvc_test.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%-62s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok) ++failures;
}

}  // namespace

int main() {
    // Targets: the sources turned a quarter turn about z, then shifted by
    // (1, 2, 3).  Rows of the quarter turn: (0, -1, 0), (1, 0, 0), (0, 0, 1).
    const double src[12] = {0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3};
    double dst[12];
    for (int k = 0; k < 4; ++k) {
        dst[3 * k] = -src[3 * k + 1] + 1.0;
        dst[3 * k + 1] = src[3 * k] + 2.0;
        dst[3 * k + 2] = src[3 * k + 2] + 3.0;
    }
    const std::int32_t fit = 0, n = 4, unweighted = 0, want = 1;
    double rot[9], trans[3], maxdev = -2.0;
    std::int32_t ierr = -1;
    lmmat_(&fit, &n, &unweighted, nullptr, src, dst, rot, trans, &want, &maxdev, &ierr);
    const double quarter[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    double worst = 0.0;
    for (int i = 0; i < 9; ++i) worst = std::fmax(worst, std::fabs(rot[i] - quarter[i]));
    check(ierr == 0 && worst < 1e-9 && maxdev == 0.0, "lmmat_: recovers the quarter turn, no deviation");

    // The fit inverts a 3 by 3 matrix with scratch from the memory service,
    // all of it released again.
    check(memsvc_request_count() > 0 && memsvc_live_count() == 0, "memory service: scratch obtained and released");

    std::printf("%s\n", failures == 0 ? "C++ consumer: all checks passed" : "C++ consumer: FAILED");
    return failures == 0 ? 0 : 1;
}
