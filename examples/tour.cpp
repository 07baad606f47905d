// A short tour of the vector and matrix kernels of ZOLmath.  Every routine
// takes its arguments by address, as a caller from any language would pass
// them; the program prints what each call returns.
#include <cstdint>
#include <cstdio>

#include "zolmath.h"

namespace {

constexpr double kDegrees = 180.0 / 3.141592653589793;

void print3(const char* label, const double* v) {
    std::printf("  %-22s (%10.6f, %10.6f, %10.6f)\n", label, v[0], v[1], v[2]);
}

}  // namespace

int main() {
    std::printf("ZOLmath vector and matrix kernels\n\n");

    std::printf("1. A direction, its length and unit vector (lvnrmb_)\n");
    const double dir[3] = {1.0, 2.0, 2.0};
    double unit[3];
    double len = 0.0;
    int32_t ierr = -1;
    lvnrmb_(dir, unit, &len, &ierr);
    print3("direction", dir);
    std::printf("  %-22s %g (status %d)\n", "length", len, ierr);
    print3("unit vector", unit);

    std::printf("\n2. Completing the direction to a right-handed orthonormal frame (lvo23_)\n");
    double b[3], c[3];
    lvo23_(dir, b, c, &ierr);
    print3("first axis (a/|a|)", unit);
    print3("second axis b", b);
    print3("third axis c", c);
    std::printf("  b.c = %.1e, a.b = %.1e, det(a, b, c) = %.15f (status %d)\n", lvscl3_(b, c),
                lvscl3_(unit, b), lvspa3_(unit, b, c), ierr);

    std::printf("\n3. Angle between two vectors (lvwin3_)\n");
    const double x[3] = {1.0, 0.0, 0.0};
    const double diag[3] = {1.0, 1.0, 0.0};
    const double w = lvwin3_(x, diag);
    std::printf("  between (1, 0, 0) and (1, 1, 0): %.15f rad = %g degrees\n", w, w * kDegrees);

    std::printf("\n4. Sweep from one angle to another (lvwiwi_)\n");
    const double from = 350.0 / kDegrees, to = 10.0 / kDegrees;
    const int32_t positive = 1, negative = 0;
    double sweep = 0.0;
    lvwiwi_(&from, &to, &positive, &sweep);
    std::printf("  350 -> 10 degrees, counter-clockwise: %g degrees\n", sweep * kDegrees);
    lvwiwi_(&from, &to, &negative, &sweep);
    std::printf("  350 -> 10 degrees, clockwise:         %g degrees\n", sweep * kDegrees);

    std::printf("\n5. Roots of quadratic equations (lm2pwu_)\n");
    const double polys[2][3] = {{2.0, -3.0, 1.0}, {5.0, 2.0, 1.0}};
    const char* names[2] = {"x^2 - 3x + 2 = 0", "x^2 + 2x + 5 = 0"};
    for (int k = 0; k < 2; ++k) {
        int32_t nreal = 0, degree = 0;
        double roots[4];
        lm2pwu_(polys[k], &nreal, &degree, roots);
        if (nreal == 2)
            std::printf("  %s: two real roots %g and %g\n", names[k], roots[0], roots[2]);
        else
            std::printf("  %s: complex pair %g %+gi and %g %+gi\n", names[k], roots[0], roots[1],
                        roots[2], roots[3]);
    }

    std::printf("\n6. Norms of the matrix [[1, -2], [3, 4]] (lmnrmn_, stored column by column)\n");
    const double m[4] = {1.0, 3.0, -2.0, 4.0};
    const int32_t two = 2;
    const char* kinds[4] = {"largest column sum", "largest row sum", "Frobenius", "largest element"};
    for (int32_t mode = 1; mode <= 4; ++mode)
        std::printf("  mode %d, %-20s %.15g\n", mode, kinds[mode - 1], lmnrmn_(&mode, &two, &two, &two, m));

    std::printf("\n7. A quarter turn about z applied to two points (lmmvp3_)\n");
    const double quarter[9] = {0.0, 1.0, 0.0, -1.0, 0.0, 0.0, 0.0, 0.0, 1.0};
    double pts[6] = {1.0, 0.0, 0.0, 2.0, 2.0, 5.0};
    const int32_t npts = 2;
    lmmvp3_(quarter, &npts, pts, pts);
    print3("(1, 0, 0) becomes", pts);
    print3("(2, 2, 5) becomes", pts + 3);

    std::printf("\n8. A very long vector (lvlgt3_): its squares overflow, its length does not\n");
    const double huge[3] = {3e200, 4e200, 0.0};
    std::printf("  |(3e200, 4e200, 0)| = %g\n", lvlgt3_(huge));
    return 0;
}
