// 3 by 3 matrices (nine doubles read column by column) and point lists:
// product, transpose, cofactors, application to points and translation.
#include <cstdint>

#include "zolmath.h"

void lmmul3_(const double* a, const double* b, double* c) {
    // Every input is read before the first store, so c may be a or b.
    double p[9];
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            p[i + 3 * j] = a[i] * b[3 * j] + a[i + 3] * b[1 + 3 * j] + a[i + 6] * b[2 + 3 * j];
    for (int k = 0; k < 9; ++k) c[k] = p[k];
}

void lmmtra_(const double* a, double* out) {
    // The transpose is built on this call's stack, which lets out be a and
    // keeps concurrent calls apart.
    double t[9];
    for (int k = 0; k < 3; ++k)
        for (int l = 0; l < 3; ++l) t[3 * k + l] = a[3 * l + k];
    for (int k = 0; k < 9; ++k) out[k] = t[k];
}

void lmadj_(const double* a, double* out) {
    // All nine cofactors are formed before any is stored, so an output that
    // overlaps a (which callers must still avoid) cannot corrupt them.
    const double c0 = a[4] * a[8] - a[5] * a[7];
    const double c1 = a[5] * a[6] - a[3] * a[8];
    const double c2 = a[3] * a[7] - a[4] * a[6];
    const double c3 = a[7] * a[2] - a[8] * a[1];
    const double c4 = a[8] * a[0] - a[6] * a[2];
    const double c5 = a[6] * a[1] - a[7] * a[0];
    const double c6 = a[1] * a[5] - a[2] * a[4];
    const double c7 = a[2] * a[3] - a[0] * a[5];
    const double c8 = a[0] * a[4] - a[1] * a[3];
    out[0] = c0;
    out[1] = c1;
    out[2] = c2;
    out[3] = c3;
    out[4] = c4;
    out[5] = c5;
    out[6] = c6;
    out[7] = c7;
    out[8] = c8;
}

void lmmvp3_(const double* a, const int32_t* n, const double* pts, double* out) {
    const std::int64_t count = *n;
    if (count < 1) return;
    // The matrix is taken once, so every point sees the same matrix even if
    // a caller lets it share storage with the output.
    double m[9];
    for (int k = 0; k < 9; ++k) m[k] = a[k];
    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = pts + 3 * k;
        const double x = p[0];
        const double y = p[1];
        const double z = p[2];
        double* o = out + 3 * k;
        o[0] = m[0] * x + m[3] * y + m[6] * z;
        o[1] = m[1] * x + m[4] * y + m[7] * z;
        o[2] = m[2] * x + m[5] * y + m[8] * z;
    }
}

void lmmvs3_(const double* pts, const int32_t* n, const double* shift, double* out) {
    const std::int64_t count = *n;
    if (count < 1) return;
    // The shift is taken once, so moving a net in place by one of its own
    // points moves every point by the same vector.
    const double s[3] = {shift[0], shift[1], shift[2]};
    for (std::int64_t k = 0; k < count; ++k)
        for (int c = 0; c < 3; ++c) out[3 * k + c] = s[c] + pts[3 * k + c];
}
