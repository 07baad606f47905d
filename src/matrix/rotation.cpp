// Rotations and reflections: builders of 3 by 3 matrices meant for row-wise
// application (row k of the matrix dotted with the vector gives component k),
// and the rotation of a point list about a centre.
//
// Every routine keeps its working vectors and matrices in locals, so all of
// them are reentrant; inputs are copied before the output is first written,
// so an output may be the same array as an input.
#include <cmath>
#include <cstdint>

#include "zolmath.h"

namespace {

// Tolerances of the degeneracy tests.
constexpr double kUsableAxis = 0.99999999;      // |axis| accepted as unit length
constexpr double kNoCross = 1e-10;              // |a x b| below: parallel or opposite
constexpr double kCosOne = 0.9999999999;        // |cos| beyond: treated as exactly +-1
constexpr double kShortSquared = 1e-12;         // squared length below: degenerate
constexpr double kSameAngle = 1e-10;            // sines or cosines equal within

void set_identity(double* m) {
    for (int k = 0; k < 9; ++k) m[k] = 0.0;
    m[0] = 1.0;
    m[4] = 1.0;
    m[8] = 1.0;
}

// Row-wise application of m to v.
void apply_rows(const double* m, const double* v, double* out) {
    const double x = v[0], y = v[1], z = v[2];
    out[0] = m[0] * x + m[1] * y + m[2] * z;
    out[1] = m[3] * x + m[4] * y + m[5] * z;
    out[2] = m[6] * x + m[7] * y + m[8] * z;
}

}  // namespace

extern "C" {

void lmdre3_(const double* axis, const double* sinv, const double* cosv, double* out) {
    const double x = axis[0], y = axis[1], z = axis[2];
    const double s = *sinv, c = *cosv;
    const double t = 1.0 - c;
    out[0] = x * x + (1.0 - x * x) * c;
    out[1] = x * y * t - z * s;
    out[2] = y * s + x * z * t;
    out[3] = z * s + x * y * t;
    out[4] = y * y + (1.0 - y * y) * c;
    out[5] = y * z * t - x * s;
    out[6] = x * z * t - y * s;
    out[7] = x * s + y * z * t;
    out[8] = z * z + (1.0 - z * z) * c;
}

void lmspi3_(const double* v, const double* factor, double* out, int32_t* ierr) {
    *ierr = 0;
    double u[3];
    lvnrm3_(v, u, ierr);
    if (*ierr != 0) return;
    const double f = *factor;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[3 * i + j] = (i == j ? 1.0 : 0.0) - f * u[i] * u[j];
}

void lmdvec_(const double* a, const double* b, const double* axis, double* out) {
    const bool usable = lvlgt3_(axis) >= kUsableAxis;

    double w[3];
    lvkrp3_(a, b, w);
    double s = lvlgt3_(w);
    if (s < kNoCross) {
        w[0] = w[1] = w[2] = 0.0;
        s = 0.0;
    } else {
        // Between the two limits the normalisation fails and leaves w zero:
        // a and b are then parallel or opposite to working precision and
        // the branches below no longer need w.
        int32_t ierr = 0;
        lvnrm3_(w, w, &ierr);
    }
    const double c = lvscl3_(a, b);

    if (c > kCosOne) {
        const double one = 1.0;
        lmdre3_(w, &s, &one, out);
    } else if (c >= -kCosOne) {
        lmdre3_(w, &s, &c, out);
    } else if (usable) {
        // Opposite directions: the half-turn about the caller's axis, which
        // is used as given.
        const double minus_one = -1.0;
        lmdre3_(axis, &s, &minus_one, out);
    } else {
        // Opposite directions without an axis: the mirror normal to a also
        // takes a onto b (a reflection, not a rotation).
        const double two = 2.0;
        int32_t ierr = 0;
        lmspi3_(a, &two, out, &ierr);
    }
}

void MathRotVector(const double* a, const double* b, double* out) {
    const double av[3] = {a[0], a[1], a[2]};
    const double bv[3] = {b[0], b[1], b[2]};
    set_identity(out);

    const double la = av[0] * av[0] + av[1] * av[1] + av[2] * av[2];
    if (la < kShortSquared) return;
    const double ra = 1.0 / std::sqrt(la);
    const double ah[3] = {av[0] * ra, av[1] * ra, av[2] * ra};

    const double lb = bv[0] * bv[0] + bv[1] * bv[1] + bv[2] * bv[2];
    if (lb < kShortSquared) return;
    const double rb = 1.0 / std::sqrt(lb);
    const double bh[3] = {bv[0] * rb, bv[1] * rb, bv[2] * rb};

    double w[3];
    lvkrp3_(ah, bh, w);
    const double lw = w[0] * w[0] + w[1] * w[1] + w[2] * w[2];
    // Opposite directions land here too: no axis is singled out for them.
    if (lw < kShortSquared) return;

    const double s = std::sqrt(lw);
    const double rs = 1.0 / s;
    const double u0 = w[0] * rs, u1 = w[1] * rs, u2 = w[2] * rs;
    const double c = lvscl3_(ah, bh);
    const double t = 1.0 - c;
    out[0] = u0 * u0 * t + c;
    out[1] = u1 * u0 * t - s * u2;
    out[2] = u2 * u0 * t + s * u1;
    out[3] = s * u2 + u1 * u0 * t;
    out[4] = u1 * u1 * t + c;
    out[5] = u1 * u2 * t - s * u0;
    out[6] = u2 * u0 * t - s * u1;
    out[7] = u1 * u2 * t + s * u0;
    out[8] = c + t * (u2 * u2);
}

void lmdpl_(const double* a1, const double* a2, const double* b1, const double* b2, double* out,
            int32_t* status) {
    *status = -1;
    int32_t ierr = 0;

    double A1[3];
    lvnrm3_(a1, A1, &ierr);
    if (ierr != 0) return;

    // a2 and b2 both usable: the pairs span planes (two-direction mode);
    // both too short: only a1 -> b1 is asked for (one-direction mode).
    double A2[3];
    lvnrm3_(a2, A2, &ierr);
    const bool two = ierr == 0;
    double N1[3] = {0.0, 0.0, 0.0};
    double sA = 0.0;
    if (two) {
        lvkrp3_(A1, A2, N1);
        sA = lvlgt3_(N1);
        // Parallel directions span no plane: nothing defines the rotation.
        lvnrm3_(N1, N1, &ierr);
        if (ierr != 0) return;
    }

    double B1[3];
    lvnrm3_(b1, B1, &ierr);
    if (ierr != 0) return;

    double B2[3];
    lvnrm3_(b2, B2, &ierr);
    if (two != (ierr == 0)) return;

    if (!two) {
        double w[3];
        lvkrp3_(A1, B1, w);
        if (lvlgt3_(w) < kNoCross) return;
        lvnrm3_(w, w, &ierr);
        // A1 x B1 too short to give an axis while A1 and B1 point apart:
        // the only turn left would be a mirror, which is no rotation.
        if (ierr != 0 && lvscl3_(A1, B1) < 0.0) return;
        *status = 0;
        lmdvec_(A1, B1, w, out);
        return;
    }

    double N2[3];
    lvkrp3_(B1, B2, N2);
    const double sB = lvlgt3_(N2);
    lvnrm3_(N2, N2, &ierr);
    if (ierr != 0) return;

    // Equal sines alone would also match supplementary angles, whose second
    // directions are not carried onto each other; the cosines settle it.
    const double cA = lvscl3_(A1, A2);
    const double cB = lvscl3_(B1, B2);
    const bool same_cos = std::fabs(cA - cB) < kSameAngle;
    const bool same_sin = std::fabs(sA - sB) < kSameAngle && ((cA < 0.0) == (cB < 0.0));
    const int32_t result = (same_cos || same_sin) ? 1 : 0;

    double R1[9], R2[9], A1r[3];
    lmdvec_(N1, N2, A1, R1);
    apply_rows(R1, A1, A1r);
    lmdvec_(A1r, B1, N2, R2);

    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += R2[3 * i + k] * R1[3 * k + j];
            out[3 * i + j] = sum;
        }
    *status = result;
}

void lmrot3_(const double* a, const double* center, const double* pts, const int32_t* n, double* out) {
    const std::int64_t count = *n;
    if (count < 1) return;
    double m[9];
    for (int k = 0; k < 9; ++k) m[k] = a[k];
    const double c0 = center[0], c1 = center[1], c2 = center[2];
    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = pts + 3 * k;
        const double d0 = p[0] - c0, d1 = p[1] - c1, d2 = p[2] - c2;
        double* q = out + 3 * k;
        q[0] = c0 + (m[0] * d0 + m[1] * d1 + m[2] * d2);
        q[1] = (m[3] * d0 + m[4] * d1 + m[5] * d2) + c1;
        q[2] = (m[6] * d0 + m[7] * d1 + m[8] * d2) + c2;
    }
}

}  // extern "C"
