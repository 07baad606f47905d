/* A C99 host of ZOLmath: a few kernels by address, a matrix inverse through
 * the memory service and a nonlinear fit through a C callback.  Built
 * pedantically against the build tree by the test suite, and against an
 * installed tree with pkg-config (see Makefile). */
#include <math.h>
#include <stdio.h>

#include "zolmath.h"

static int failures = 0;

static void check(int ok, const char* what) {
    printf("%-58s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok) ++failures;
}

/* y = b0 exp(-b1 t) sampled without noise at t = 0..5 with b = (2, 0.5). */
static int decay(int32_t request, void* context, double* b, double* f, double* jac, int32_t* reply) {
    const double* t = (const double*)context;
    int i;
    if (request == 3) {
        for (i = 0; i < 6; ++i) {
            const double e = exp(-b[1] * t[i]);
            f[i] = b[0] * e - 2.0 * exp(-0.5 * t[i]);
            jac[i] = e;
            jac[i + 6] = -b[0] * t[i] * e;
        }
    }
    *reply = 0;
    return 0;
}

int main(void) {
    const double x[3] = {1.0, 0.0, 0.0}, y[3] = {0.0, 1.0, 0.0};
    double z[3];
    const int32_t three = 3;
    /* Column by column; lminv_ returns the inverse row by row. */
    double a[9] = {4.0, 0.0, 0.0, 0.0, 2.0, 0.0, 0.0, 0.0, 0.5};
    double inv[9] = {0};
    int32_t ierr = -1;
    const double t[6] = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0};
    MathNonLinearSolverOptions opts = {0, 50, 0, 0, 0.0, 0.0, 1e-12, 0.0};
    double b[2] = {1.0, 1.0}, f[6], step[2];
    int32_t status = -7;

    check(sizeof opts == 4 * sizeof(int32_t) + 4 * sizeof(double), "options record: four int32, then four doubles");
    lvkrp3_(x, y, z);
    check(z[0] == 0.0 && z[1] == 0.0 && z[2] == 1.0, "lvkrp3_: x cross y is z");

    lminv_(&three, &three, a, inv, &ierr);
    check(ierr == 0 && inv[0] == 0.25 && inv[4] == 0.5 && inv[8] == 2.0 && inv[1] == 0.0,
          "lminv_: inverse of diag(4, 2, 0.5) is diag(0.25, 0.5, 2)");

    MathNonLinearSolver(&opts, 6, 2, (void*)t, decay, 0, NULL, b, f, step, &status);
    check(status == 0 && fabs(b[0] - 2.0) < 1e-9 && fabs(b[1] - 0.5) < 1e-9,
          "MathNonLinearSolver: recovers b = (2, 0.5) from exact data");

    printf("%s\n", failures == 0 ? "C consumer: all checks passed" : "C consumer: FAILED");
    return failures == 0 ? 0 : 1;
}
