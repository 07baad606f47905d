// Weighted best-fit rigid motion between two point lists, and the proper
// orthogonal factor of a 3 by 3 matrix on which it rests.
//
// The orthogonal factor R of A = R U (U symmetric) is found in closed form:
// with the invariants u = tr U and v = (sum of U's principal 2 by 2 minors),
// the Cayley-Hamilton relation of U gives (u A + cof A) = R (A^T A + v I), so
// R follows from one 3 by 3 inversion once u and v are known.  These come
// from a Newton iteration on the invariants of A^T A = U^2, in which det A
// enters with its sign, so R is a rotation even when det A < 0.
//
// All intermediate vectors and matrices are locals: both routines are
// reentrant (as far as the memory service behind lminv_ is).
#include <cmath>
#include <cstdint>

#include "zolmath.h"

namespace {

constexpr double kTiny = 1e-20;        // invariants at or below count as zero
constexpr int kMaxNewton = 101;
constexpr double kNewtonDone = 1e-8;   // squared relative step that ends the iteration
constexpr double kNoDeviation = 1e-8;  // distances below count as 0

}  // namespace

extern "C" {

void lmmatc_(const double* a, double* rot, int32_t* rank) {
    double K[9];
    lmadj_(a, K);
    const double det = a[0] * K[0] + a[1] * K[1] + a[2] * K[2];

    double At[9], G[9];
    lmmtra_(a, At);
    lmmul3_(At, a, G);
    const double I1 = G[0] + G[4] + G[8];

    double L[9];
    lmadj_(G, L);
    const double I2 = L[0] + L[4] + L[8];

    // The tests are absolute on purpose: callers pass correlation matrices
    // of their own scale and rely on these fixed limits.
    if (I2 <= kTiny) {
        *rank = I1 > kTiny ? 1 : 0;
        return;
    }
    if (I1 <= kTiny) {
        *rank = 0;
        return;
    }
    const int32_t r = det * det > kTiny ? 3 : 2;

    // x = u / sqrt(I1), y = v / sqrt(I2) solve x^2 = 1 + 2 alpha y and
    // y^2 = 1 + 2 beta x.
    const double sqrtI1 = std::sqrt(I1);
    const double sqrtI2 = std::sqrt(I2);
    const double alpha = sqrtI2 / I1;
    const double beta = det * sqrtI1 / I2;
    double x = 1.0, y = 1.0;
    bool converged = false;
    for (int it = 0; it < kMaxNewton && !converged; ++it) {
        const double D = x * y - alpha * beta;
        const double P = ((1.0 - x * x) + 2.0 * alpha * y) * 0.5;
        const double Q = ((2.0 * beta * x + 1.0) - y * y) * 0.5;
        const double dx = (y * P + alpha * Q) / D;
        const double dy = (beta * P + x * Q) / D;
        const double e = dy * dy / (y * y) + dx * dx / (x * x);
        x = x + dx;
        y = y + dy;
        converged = e < kNewtonDone;
    }
    if (!converged) {
        *rank = 0;
        return;
    }

    const double u = x * sqrtI1;
    const double v = y * sqrtI2;
    *rank = r;
    double M[9], N[9];
    for (int k = 0; k < 9; ++k) {
        M[k] = u * a[k] + K[k];
        N[k] = G[k];
    }
    N[0] = N[0] + v;
    N[4] = N[4] + v;
    N[8] = N[8] + v;

    const int32_t three = 3;
    double Ninv[9];
    int32_t ierr = 0;
    lminv_(&three, &three, N, Ninv, &ierr);
    if (ierr != 0) {
        *rank = 0;
        return;
    }
    lmmul3_(M, Ninv, rot);
}

void lmmat_(const int32_t* fitmode, const int32_t* n, const int32_t* weighted, const double* weights,
            const double* src, const double* dst, double* rot, double* trans, const int32_t* wantdev,
            double* maxdev, int32_t* ierr) {
    *ierr = 0;
    const bool dev = *wantdev != 0;
    if (dev) *maxdev = -1.0;
    for (int k = 0; k < 3; ++k) trans[k] = 0.0;
    for (int k = 0; k < 9; ++k) rot[k] = (k % 4 == 0) ? 1.0 : 0.0;

    const std::int64_t count = *n;
    if (count < 1) {
        *ierr = 1;
        return;
    }
    const bool useweights = *weighted != 0;

    // Weighted centroids: sums first, one division by the total weight.
    double W = 0.0;
    double cs[3] = {0.0, 0.0, 0.0};
    double cd[3] = {0.0, 0.0, 0.0};
    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = src + 3 * k;
        const double* q = dst + 3 * k;
        if (useweights) {
            const double w = weights[k];
            W += w;
            for (int c = 0; c < 3; ++c) {
                cs[c] += w * p[c];
                cd[c] += w * q[c];
            }
        } else {
            for (int c = 0; c < 3; ++c) {
                cs[c] += p[c];
                cd[c] += q[c];
            }
        }
    }
    if (!useweights) W = static_cast<double>(count);
    for (int c = 0; c < 3; ++c) {
        cs[c] = cs[c] / W;
        cd[c] = cd[c] / W;
    }

    // Three pairs are the fewest that can fix a rotation.
    if (count >= 3 && *fitmode == 0) {
        double H[9] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        for (std::int64_t k = 0; k < count; ++k) {
            const double* p = src + 3 * k;
            const double* q = dst + 3 * k;
            const double ds[3] = {p[0] - cs[0], p[1] - cs[1], p[2] - cs[2]};
            const double dd[3] = {q[0] - cd[0], q[1] - cd[1], q[2] - cd[2]};
            if (useweights) {
                const double w = weights[k];
                for (int j = 0; j < 3; ++j)
                    for (int l = 0; l < 3; ++l) H[l + 3 * j] += w * dd[l] * ds[j];
            } else {
                for (int j = 0; j < 3; ++j)
                    for (int l = 0; l < 3; ++l) H[l + 3 * j] += dd[l] * ds[j];
            }
        }
        for (int k = 0; k < 9; ++k) H[k] = H[k] / W;

        double Q[9];
        int32_t rank = 0;
        lmmatc_(H, Q, &rank);
        if (rank >= 2) {
            // Q acts on columns; its transpose, applied row by row, is the
            // same rotation.  The target centroid is turned back so that the
            // translation can be applied before the rotation.
            const int32_t one = 1;
            lmmtra_(Q, rot);
            lmmvp3_(rot, &one, cd, cd);
        }
    }

    lvdif3_(cd, cs, trans);

    if (!dev) return;
    const int32_t one = 1;
    const double origin[3] = {0.0, 0.0, 0.0};
    for (std::int64_t k = 0; k < count; ++k) {
        double moved[3], image[3], d2 = 0.0;
        lvsum3_(src + 3 * k, trans, moved);
        lmrot3_(rot, origin, moved, &one, image);
        lvdis3_(dst + 3 * k, image, &d2);
        double d = std::sqrt(d2);
        if (d < kNoDeviation) d = 0.0;
        if (k == 0 || d > *maxdev) *maxdev = d;
    }
}

}  // extern "C"
