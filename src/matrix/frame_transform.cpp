// World-to-frame and frame-to-world mapping of point lists, by the plain
// change of frame or with a central projection whose centre lies on the
// frame's z axis at distance dist.  The depth passes through the projection
// unchanged, which keeps the mapping invertible.
//
// The fifth and seventh arguments are kept for the callers' argument lists
// and are never dereferenced; dist is dereferenced only in the central mode,
// so callers of the parallel mode may pass null there too.  Each point is
// read completely before its image is stored, so out may be pts.
#include <cmath>
#include <cstdint>

#include "zolmath.h"

namespace {

// Depths closer than this to the projection centre have no image.
constexpr double kAtCentre = 1e-8;
constexpr double kNoImage = 1e+307;

// The frame and mode as read once at the start of a call.
struct Frame {
    double m[9];
    double o[3];
    bool central;
    double f;  // distance of the projection centre, central mode only

    Frame(const double* a, const double* origin, const int32_t* parallel, const double* dist)
        : central(*parallel == 0), f(central ? *dist : 0.0) {
        for (int k = 0; k < 9; ++k) m[k] = a[k];
        for (int k = 0; k < 3; ++k) o[k] = origin[k];
    }
};

}  // namespace

extern "C" {

void ltmwb3_(const double* pts, const int32_t* n, const double* a, const double* origin,
             const void* /*unused5*/, const int32_t* parallel, const void* /*unused7*/,
             const double* dist, double* out) {
    const std::int64_t count = *n;
    if (count < 1) return;
    const Frame fr(a, origin, parallel, dist);
    const double* m = fr.m;
    const double* o = fr.o;
    const double f = fr.f;

    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = pts + 3 * k;
        double* q = out + 3 * k;
        const double d0 = p[0] - o[0], d1 = p[1] - o[1], d2 = p[2] - o[2];
        if (!fr.central) {
            q[0] = m[0] * d0 + m[1] * d1 + m[2] * d2;
            q[1] = m[3] * d0 + m[4] * d1 + m[5] * d2;
            q[2] = m[6] * d0 + m[7] * d1 + m[8] * d2;
            continue;
        }
        const double z = m[6] * d0 + m[7] * d1 + m[8] * d2;
        if (std::fabs(z - f) < kAtCentre) {
            q[0] = kNoImage;
            q[1] = kNoImage;
            q[2] = z;
            continue;
        }
        const double kappa = f / (z - f);
        q[0] = (m[0] * d0 + m[1] * d1 + m[2] * d2) * kappa;
        q[1] = (m[3] * d0 + m[4] * d1 + m[5] * d2) * kappa;
        q[2] = z;
    }
}

void ltmbw3_(const double* pts, const int32_t* n, const double* a, const double* origin,
             const void* /*unused5*/, const int32_t* parallel, const void* /*unused7*/,
             const double* dist, double* out) {
    const std::int64_t count = *n;
    if (count < 1) return;
    const Frame fr(a, origin, parallel, dist);
    const double* m = fr.m;
    const double* o = fr.o;
    // f = 0 is not guarded: the images are then not finite.
    const double f = fr.f;

    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = pts + 3 * k;
        double* q = out + 3 * k;
        const double x = p[0], y = p[1], z = p[2];
        if (!fr.central) {
            for (int i = 0; i < 3; ++i) q[i] = ((m[i] * x + o[i]) + m[3 + i] * y) + m[6 + i] * z;
            continue;
        }
        const double tau = (z - f) / f;
        const double xs = x * tau, ys = y * tau;
        for (int i = 0; i < 3; ++i) q[i] = ((m[6 + i] * z + o[i]) + m[i] * xs) + m[3 + i] * ys;
    }
}

}  // extern "C"
