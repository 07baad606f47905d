// Kernels on 3-vectors: sums, products, lengths, normalisation, frame
// completion, angles and sweeps.
#include <cmath>
#include <cstdint>
#include <limits>

#include "vector/scaled_norm.hpp"
#include "zolmath.h"

namespace {

constexpr double kShortest = 1e-8;  // vectors below this length are degenerate
constexpr double kTwoPi = 6.283185307179586;
constexpr double kSameAngle = 0.0001;

// Candidate axes for completing a direction to a frame, in the order they are
// tried: the y axis first, so that b is also perpendicular to the y axis
// whenever the direction is not parallel to it.
constexpr double kAxes[3][3] = {{0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}, {1.0, 0.0, 0.0}};

double sum_of_squares(const double* a) { return a[0] * a[0] + a[1] * a[1] + a[2] * a[2]; }

// A plain sum of squares that overflowed although the vector may be finite:
// the scaled squares, or an unusable result when an element is infinite.
zol::ScaledSquares rescue(const double* a, double sum) {
    if (sum != std::numeric_limits<double>::infinity()) return {};
    return zol::scaled_squares(a, 3, 1, 3);
}

}  // namespace

void lvsum3_(const double* a, const double* b, double* c) {
    c[0] = a[0] + b[0];
    c[1] = a[1] + b[1];
    c[2] = a[2] + b[2];
}

void lvdif3_(const double* a, const double* b, double* c) {
    c[0] = a[0] - b[0];
    c[1] = a[1] - b[1];
    c[2] = a[2] - b[2];
}

void lvmul3_(const double* a, const double* s, double* c) {
    const double f = *s;
    c[0] = a[0] * f;
    c[1] = a[1] * f;
    c[2] = a[2] * f;
}

double lvscl3_(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void lvkrp3_(const double* a, const double* b, double* c) {
    // All three components are formed before any is stored, so an output that
    // overlaps an input (which callers must still avoid) cannot corrupt them.
    const double x = a[1] * b[2] - a[2] * b[1];
    const double y = a[2] * b[0] - a[0] * b[2];
    const double z = a[0] * b[1] - a[1] * b[0];
    c[0] = x;
    c[1] = y;
    c[2] = z;
}

double lvspa3_(const double* a, const double* b, const double* c) {
    return a[0] * (b[1] * c[2] - b[2] * c[1]) + a[1] * (b[2] * c[0] - b[0] * c[2]) +
           a[2] * (b[0] * c[1] - b[1] * c[0]);
}

double lvlgt3_(const double* a) {
    const double sum = sum_of_squares(a);
    const zol::ScaledSquares s = rescue(a, sum);
    if (s.finite) return zol::scaled_length(s);
    return std::sqrt(sum);
}

void lvdis3_(const double* a, const double* b, double* d) {
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    const double dz = a[2] - b[2];
    *d = dx * dx + dy * dy + dz * dz;
}

void lvnrm3_(const double* a, double* b, int32_t* ierr) {
    const double sum = sum_of_squares(a);
    const zol::ScaledSquares s = rescue(a, sum);
    if (s.finite) {
        zol::scaled_unit(a, 3, s, b);
        *ierr = 0;
        return;
    }
    const double len = std::sqrt(sum);
    if (len < kShortest) {
        b[0] = 0.0;
        b[1] = 0.0;
        b[2] = 0.0;
        *ierr = 1;
        return;
    }
    const double r = 1.0 / len;
    b[0] = a[0] * r;
    b[1] = a[1] * r;
    b[2] = a[2] * r;
    *ierr = 0;
}

void lvnrmb_(const double* a, double* b, double* len, int32_t* ierr) {
    const double sum = sum_of_squares(a);
    const zol::ScaledSquares s = rescue(a, sum);
    if (s.finite) {
        // The length is reported as it is, +inf when it exceeds the double
        // range; the direction is still a proper unit vector.
        *len = zol::scaled_length(s);
        *ierr = 0;
        zol::scaled_unit(a, 3, s, b);
    } else {
        const double l = std::sqrt(sum);
        if (!(l >= kShortest)) {  // a NaN length fails as well
            b[0] = 0.0;
            b[1] = 0.0;
            b[2] = 0.0;
            *len = 0.0;
            *ierr = 1;
            return;
        }
        *len = l;
        *ierr = 0;
        const double r = 1.0 / l;
        b[0] = a[0] * r;
        b[1] = a[1] * r;
        b[2] = a[2] * r;
    }
    // One rounding per component can leave b measurably off unit length when
    // a is badly scaled; a second pass with the measured length repairs it.
    const double l2 = lvlgt3_(b);
    if (std::fabs(1.0 - l2) > kShortest) {
        const double q = 1.0 / l2;
        b[0] = b[0] * q;
        b[1] = b[1] * q;
        b[2] = b[2] * q;
    }
}

void lvo23_(const double* a, double* b, double* c, int32_t* ierr) {
    *ierr = 0;
    // The unit direction lives on this call's stack, so a may be b or c.
    double dir[3];
    int32_t st = 0;
    lvnrm3_(a, dir, &st);
    if (st != 0) {
        *ierr = 1;
        return;
    }
    bool found = false;
    for (const auto& axis : kAxes) {
        lvkrp3_(dir, axis, b);
        lvnrm3_(b, b, &st);
        if (st == 0) {
            found = true;
            break;
        }
    }
    if (!found) {
        *ierr = 1;
        return;
    }
    lvkrp3_(dir, b, c);
    lvnrm3_(c, c, ierr);
}

double haacos_(const double* x) {
    const double v = *x;
    if (v >= 1.0) return std::acos(1.0);
    if (v <= -1.0) return std::acos(-1.0);
    return std::acos(v);
}

double lvwin3_(const double* a, const double* b) {
    double ua[3];
    double ub[3];
    int32_t st = 0;
    lvnrm3_(a, ua, &st);
    if (st != 0) return 0.0;
    lvnrm3_(b, ub, &st);
    if (st != 0) return 0.0;
    // Rounding can carry the cosine of nearly parallel unit vectors just
    // outside [-1, 1]; the clamped arc cosine maps it to 0 or pi.
    const double d = lvscl3_(ua, ub);
    return haacos_(&d);
}

void lvwiwi_(const double* w1, const double* w2, const int32_t* sense, double* d) {
    double sweep = *w2 - *w1;
    *d = sweep;
    if (*sense != 0) {
        if (std::fabs(sweep) < kSameAngle)
            sweep = kTwoPi;  // coinciding angles: one full positive turn
        else if (sweep < 0.0)
            sweep = sweep + kTwoPi;
    } else {
        if (std::fabs(sweep) < kSameAngle)
            sweep = -kTwoPi;
        else if (sweep > 0.0)
            sweep = sweep - kTwoPi;
    }
    *d = sweep;
}
