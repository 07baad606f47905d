/* A small C99 program against the public header and the built library. */
#include <math.h>
#include <stdio.h>

#include "zolmath.h"

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main(void) {
    const double a[3] = {3.0, 4.0, 0.0};
    const double x[3] = {1.0, 0.0, 0.0};
    const double y[3] = {0.0, 1.0, 0.0};
    double c[3];
    double unit[3];
    int32_t ierr = -7;
    int32_t n = 4;
    const double v[4] = {0.0, 3.0, 0.0, 4.0};
    MathNonLinearSolverOptions opts = {0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0};

    check(lvlgt3_(a) == 5.0, "lvlgt3_ of (3, 4, 0) is 5");
    lvkrp3_(x, y, c);
    check(c[0] == 0.0 && c[1] == 0.0 && c[2] == 1.0, "x cross y is z");
    lvnrm3_(a, unit, &ierr);
    check(ierr == 0 && fabs(unit[0] - 0.6) < 1e-15 && fabs(unit[1] - 0.8) < 1e-15, "lvnrm3_");
    check(lvlgtn_(&n, v) == 5.0, "lvlgtn_ of (0, 3, 0, 4) is 5");
    check(sizeof opts == 4 * sizeof(int32_t) + 4 * sizeof(double), "options record layout");

    if (failures == 0) printf("c_consumer: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
