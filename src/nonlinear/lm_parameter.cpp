// Levenberg-Marquardt parameter for a given trust-region radius: a
// safeguarded Newton iteration on phi(par) = |D dx(par)| - delta between a
// lower bound parl and an upper bound paru.  Each trial parameter solves
//     [ R          ]        [ Q^T(-f) ]
//     [ sqrt(par) D~ ] z  ~  [    0    ]
// by Householder reflections that only ever touch the pivot row and the
// rows of the diagonal block below the triangle, so J is never refactorised.
#include <cmath>
#include <cstdint>

#include "frame/view.hpp"
#include "linear/reflection.hpp"
#include "nonlinear/step_assessment.hpp"
#include "zolmath.h"

namespace {

// Magnitudes at or below this count as zero in every guarded quotient.
constexpr double kTiny = 1e-20;
// Tolerance for the reflections of the augmented system: the double just
// above kTiny, so that a reflection whose squared scale equals kTiny^2 is
// still refused.
constexpr double kReflTol = 1.0000000000000001e-20;
constexpr double kSafeguard = 0.001;

// lghtr_ on a vector c (element i at c[(i-1)]) for the reflection with
// pivot row j and stretch rows n+1 .. n+j whose vector is column u: t is
// formed from the pivot term on, a vector nearly orthogonal to w is left
// unchanged.
void apply_augmented(const double* u, double h, double rb, std::int64_t n, std::int64_t j, double* c) {
    double t = c[j - 1] * h;
    for (std::int64_t i = n + 1; i <= n + j; ++i) t = t + c[i - 1] * u[i - 1];
    if (std::fabs(t) < kReflTol) return;
    t = t * rb;
    c[j - 1] = c[j - 1] + t * h;
    for (std::int64_t i = n + 1; i <= n + j; ++i) c[i - 1] = c[i - 1] + t * u[i - 1];
}

// Reflection j of the augmented system: construction from column j and
// application to columns j+1 .. n (lghtr_ mode 1), then application to b
// (lghtr_ mode 2).  h receives the pivot component when one is built.
void reflect_augmented(const zol::ColMajor<double>& A, double* b, std::int64_t n, std::int64_t j, double& h) {
    double* const u = A.col(j);
    const zol::Strided<double> uu(u, 1);
    const double cl = zol::largest_magnitude(uu, j, n + 1, n + j);
    if (cl < kReflTol) return;
    double s, hv;
    zol::build_reflection(uu, j, n + 1, n + j, cl, s, hv);
    h = hv;
    u[j - 1] = s;
    // A reflection too close to the identity is applied to nothing; b is
    // also refused one whose pivot element s is below the tolerance.
    const double bb = hv * s;
    if (std::fabs(bb) < kReflTol * kReflTol) return;
    const double rb = 1.0 / bb;
    for (std::int64_t l = j + 1; l <= n; ++l) apply_augmented(u, hv, rb, n, j, A.col(l));
    if (!(std::fabs(s) < kReflTol)) apply_augmented(u, hv, rb, n, j, b);
}

}  // namespace

void ngpar1_(const int32_t* mpn, const int32_t* m, const int32_t* n, const double* r, const double* qtb,
             double* a, double* b, double* dx, const double* d, double* par, const double* delta,
             const double* sigma, const int32_t* maxit, const int32_t* rank, const int32_t* pivots,
             double* work, int32_t* iter) {
    zol::ng::damping(mpn, m, n, r, qtb, a, b, dx, d, par, delta, sigma, maxit, rank, pivots, work, iter, nullptr);
}

void zol::ng::damping(const int32_t* mpn, const int32_t* m, const int32_t* n, const double* r, const double* qtb,
                      double* a, double* b, double* dx, const double* d, double* par, const double* delta,
                      const double* sigma, const int32_t* maxit, const int32_t* rank, const int32_t* pivots,
                      double* work, int32_t* iter, const double* jtf) {
    const std::int32_t M = *m;
    const std::int32_t N = *n;
    const std::int64_t MPN = *mpn;
    // The augmented system needs 2n rows of A and b, and J arrives in the
    // first m rows of A: with fewer rows there is nothing safe to compute.
    if (N < 1 || M < 1 || MPN < 2 * static_cast<std::int64_t>(N) || MPN < M) {
        *iter = -1;
        return;
    }
    // A negative limit still ends: the first system solved is returned.
    const std::int32_t limit = *maxit > 0 ? *maxit : 0;
    const double dlt = *delta;
    const double sig = *sigma;

    const std::int32_t forward = 1;
    const std::int32_t backward = -1;
    const std::int32_t multiply = 1;
    const std::int32_t divide = -1;
    const std::int32_t transposed = 2;
    const std::int32_t upper = 2;
    const std::int32_t upper_transposed = 3;

    const zol::ColMajor<double> A(a, MPN);
    const zol::ColMajor<const double> R(r, M);

    // Upper bound from the scaled gradient D^-1 J^T f.
    if (jtf == nullptr)
        lmmlvn_(&transposed, mpn, m, n, a, b, work);
    else
        for (std::int64_t j = 0; j < N; ++j) work[j] = jtf[j];
    lvmldn_(&divide, n, d, work, work);
    const double gnorm = lvlgtn_(n, work);
    double paru = std::fabs(dlt) > kTiny ? gnorm / dlt : 0.0;

    // Lower bound from the Newton step at par = 0, which only exists when R
    // is nonsingular.  Rows of R beyond m do not exist (they count as zero),
    // so with m < n the factor is singular whatever rank the caller states.
    double parl = 0.0;
    if (N <= *rank && N <= M) {
        lvmldn_(&multiply, n, d, dx, work);
        const double dxn = lvlgtn_(n, work);
        const double fp = dxn - dlt;
        lvmldn_(&multiply, n, d, work, work);
        lvprmn_(&forward, n, work, work, pivots);
        const double t = std::fabs(dxn) > kTiny ? 1.0 / dxn : 0.0;
        lvmuln_(n, work, &t, work);
        lgdre1_(&upper_transposed, m, n, r, work);
        const double yn = lvlgtn_(n, work);
        const double dphi = -dxn * (yn * yn);
        parl = std::fabs(dphi) > kTiny ? -fp / dphi : 0.0;
        // A Gauss-Newton step already inside the radius gives a negative
        // Newton estimate; the parameter itself is never negative, and a
        // negative bound would let par fall below zero and into sqrt.
        if (parl < 0.0) parl = 0.0;
    }

    double p = *par;
    std::int32_t count = 0;
    for (;;) {
        if (p <= parl || p >= paru) {
            const double g = std::sqrt(parl * paru);
            const double s = kSafeguard * paru;
            p = s > g ? s : g;
        }

        // Augmented system.  Q^T(-f) has only m components; with m < n the
        // rest is zero, like the missing rows of R.
        for (std::int64_t i = 0; i < N; ++i) {
            b[i] = i < M ? qtb[i] : 0.0;
            b[N + i] = 0.0;
        }
        // Rows beyond 2n are zeroed by the first pass and never written
        // again; later passes clear only the rows the system occupies.
        if (count == 0) {
            for (std::int64_t k = 0, e = MPN * N; k < e; ++k) a[k] = 0.0;
        } else {
            for (std::int64_t j = 1; j <= N; ++j)
                for (std::int64_t i = 1; i <= 2 * static_cast<std::int64_t>(N); ++i) A(i, j) = 0.0;
        }
        const double root = std::sqrt(p);
        lvmuln_(n, d, &root, work);
        lvprmn_(&forward, n, work, work, pivots);
        for (std::int64_t j = 1; j <= N; ++j) A(N + j, j) = work[j - 1];
        for (std::int64_t j = 1; j <= N; ++j)
            for (std::int64_t i = 1; i <= j && i <= M; ++i) A(i, j) = R(i, j);

        // Reflection j pivots on row j and annihilates rows n+1 .. n+j of
        // column j: the diagonal entry of D~ and the fill-in of earlier ones.
        // It is built and applied to the columns to its right as lghtr_
        // constructs, and to b as lghtr_ applies a stored one; b meets the
        // reflections in the same order when each follows its construction.
        for (std::int64_t j = 1; j <= N; ++j) reflect_augmented(A, b, N, j, work[j - 1]);
        lgdre1_(&upper, mpn, n, a, b);
        lvprmn_(&backward, n, b, dx, pivots);

        lvmldn_(&multiply, n, d, dx, b);
        const double dxn = lvlgtn_(n, b);
        const double fp = dxn - dlt;
        if (std::fabs(fp) <= sig * dlt) {
            *iter = count;
            *par = p;
            return;
        }
        if (count == limit) {
            *iter = -1;
            *par = p;
            return;
        }
        ++count;

        // phi'(par) from the new triangle S: -|S^-T D~^2 dx~| ^2 / |D dx|.
        lvmldn_(&multiply, n, d, b, b);
        lvprmn_(&forward, n, b, b, pivots);
        const double t = std::fabs(dxn) > kTiny ? 1.0 / dxn : 0.0;
        lvmuln_(n, b, &t, b);
        lgdre1_(&upper_transposed, mpn, n, a, b);
        const double yn = lvlgtn_(n, b);
        const double dphi = -dxn * (yn * yn);

        if (fp < 0.0) paru = p;
        const double cand = std::fabs(dphi) > kTiny ? p - fp / dphi : 0.0;
        if (cand > parl) parl = cand;
        if (std::fabs(dlt) > kTiny && std::fabs(dphi) > kTiny) p = p - (fp / dphi) * ((dlt + fp) / dlt);
    }
}
