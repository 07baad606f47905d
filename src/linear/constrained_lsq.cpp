// Equality-constrained linear least squares by the null-space method:
// reflections from the right bring the constraint matrix e to [L 0] (e Q),
// L y1 = f gives the constrained part, the rest minimises |C2 y2 - (d - C1 y1)|
// by Householder QR without pivoting, and x = Q y.  Several right-hand
// sides, stored interleaved, share one factorisation.
//
// Work arrays: work1 holds e^T, then the reduced right-hand sides, then R2,
// then Q y; work2 holds c^T; vec1 and vec2 hold the stored form and the
// defining vector of the reflection in use.  The constraint reflections
// (stored forms and pivot components) live in per-call storage of their own:
// on the stack up to 16 variables, beyond that on the runtime heap.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#include "frame/kernels.hpp"
#include "frame/view.hpp"
#include "linear/reflection.hpp"
#include "linear/wide.hpp"
#include "zolmath.h"

namespace {

using i64 = std::int64_t;

i64 max3(i64 a, i64 b, i64 c) {
    i64 r = a > b ? a : b;
    return r > c ? r : c;
}

// Doubles from the runtime heap; null when the byte count is not
// representable or the heap refuses.  Released with release_doubles.
double* heap_doubles(i64 count) {
    if (count < 0 || count > static_cast<i64>(PTRDIFF_MAX / sizeof(double))) return nullptr;
    return static_cast<double*>(::operator new(static_cast<std::size_t>(count) * sizeof(double), std::nothrow));
}

void release_doubles(double* p) { ::operator delete(p); }

// Counts that describe no solvable problem: 1 for a variable count below 1
// or a constraint count outside 0..n, 2 when constraints and equations
// together cannot determine every variable (a negative equation count
// included).  Nothing has been read or written when this is non-zero.
std::int32_t count_status(i64 n, i64 p, i64 q) {
    if (n < 1 || p < 0 || p > n) return 1;
    if (n > p + q) return 2;
    return 0;
}

struct Problem {
    const std::int32_t* nrhs;
    i64 k, n, p, q;
    double *e, *f, *c, *d, *x;
    double *work1, *work2, *vec1, *vec2;
    // Constraint reflection j: stored form at hvec + (j-1)*n, pivot
    // component at hpiv[j-1].
    double *hvec, *hpiv;
};

std::int32_t as32(i64 v) { return static_cast<std::int32_t>(v); }

// Applies constraint reflections `from` down to 1 (or 1 up to `to`, when
// ascending) in mode 2 to the ncols columns of the n-row array w.
std::int32_t apply_constraint_reflections(const Problem& pr, double* w, const std::int32_t* ncols,
                                          bool ascending) {
    const std::int32_t mode = 2, ilast = as32(pr.n);
    for (i64 s = 1; s <= pr.p; ++s) {
        const i64 j = ascending ? s : pr.p + 1 - s;
        const double* hj = pr.hvec + (j - 1) * pr.n;
        for (i64 t = 0; t < pr.n; ++t) pr.vec2[t] = hj[t];
        double piv = pr.hpiv[j - 1];
        const std::int32_t ipiv = as32(j), ifirst = as32(j + 1);
        std::int32_t st = 0;
        lghtrt_(&mode, &ipiv, &ifirst, &ilast, pr.vec2, &piv, w, ncols, pr.vec1, &piv, &st);
        if (st != 0) return 10 + st;
    }
    return 0;
}

// Columns of the reduced problem whose updates can be held back.
constexpr i64 kMaxHeld = 1024;

// The reduced problem's loop of lghtrt_ calls in one sweep per column and
// reflection: column j of C2 (c2, q rows) is brought up to date and copied
// to vec2, which defines reflection j (mode 1); the reflection is then
// applied to all nn columns of C2 (mode 1) and the k right-hand sides in
// work1 (mode 2).  The update of a column by reflection j is held back until
// the sweep that measures it for reflection j + 1, whose rows it covers in
// the same increasing order.  vec1 and vec2 end as the calls leave them.
// Returns the status of the loop (0, 11 or 15), every update settled.
std::int32_t reduce_fused(const Problem& pr, double* c2) {
    const i64 q = pr.q, nn = pr.n - pr.p, nc = nn + pr.k;
    auto col = [&](i64 l) { return l <= nn ? c2 + (l - 1) * q : pr.work1 + (l - nn - 1) * q; };
    double coef[kMaxHeld];
    i64 pending = 0;             // reflection held back, 0 for none
    const double* held = nullptr;  // its stored form
    // Sweeps rows first .. q of columns lo .. hi, applying the held-back
    // reflection (first - 1) when `apply`; with a reflection to measure
    // (vector un, pivot component h, reciprocal rb), its update of row first
    // is made at once and the rest is held back.
    auto sweep_cols = [&](i64 lo, i64 hi, i64 first, bool apply, const double* un, double h, double rb) {
        const double* const up = apply ? held + (first - 1) : nullptr;
        const i64 len = q - first + 1;
        const bool wide = zol::wide_for(len);
        for (i64 l = lo; l <= hi;) {
            const i64 left = hi - l + 1;
            const int g = wide && left >= 8 ? 8 : left >= 4 ? 4 : static_cast<int>(left);
            double* c[8];
            double t[8] = {};
            for (int e = 0; e < g; ++e) c[e] = col(l + e) + (first - 1);
            if (wide && g >= 4)
                zol::sweep_wide(g, false, apply, un != nullptr, false, c, len, up, coef + (l - 1), un, h, t, t);
            else if (un == nullptr)
                zol::sweep_group<false, true, false, false>(g, c, len, up, coef + (l - 1), un, h, t, t);
            else if (apply)
                zol::sweep_group<false, true, true, false>(g, c, len, up, coef + (l - 1), un, h, t, t);
            else
                zol::sweep_group<false, false, true, false>(g, c, len, up, coef + (l - 1), un, h, t, t);
            for (int e = 0; e < g && un != nullptr; ++e) {
                coef[l - 1 + e] = t[e] * rb;
                c[e][0] = c[e][0] + coef[l - 1 + e] * h;
            }
            l += g;
        }
    };
    // Settles the held-back reflection in columns lo .. hi.
    auto settle = [&](i64 lo, i64 hi) {
        if (pending > 0 && pending < q && lo <= hi) sweep_cols(lo, hi, pending + 1, true, nullptr, 0.0, 0.0);
    };
    for (i64 j = 1; j <= nn; ++j) {
        // vec2 := column j as reflection j - 1 leaves it; the column itself
        // takes that update in the sweep below, with the same operations.
        const double* const cj = col(j);
        for (i64 i = 1; i <= q; ++i)
            pr.vec2[i - 1] = pending > 0 && i > pending ? cj[i - 1] + coef[j - 1] * held[i - 1] : cj[i - 1];
        if (j >= q) break;  // the last row: no reflection
        const zol::Strided<double> u(pr.vec2, 1);
        const double cl = zol::largest_magnitude(u, j, j + 1, q);
        // A column without an element of 1e-8 defines no reflection, and the
        // application to the right-hand sides refuses its pivot element.
        if (cl < 1e-8) {
            settle(1, nc);
            return 11;
        }
        double s, h;
        zol::build_reflection(u, j, j + 1, q, cl, s, h);
        pr.vec2[j - 1] = s;
        for (i64 i = 1; i < j; ++i) pr.vec2[i - 1] = 0.0;
        // The application to the right-hand sides refuses a pivot element
        // below 1e-8, after the columns of C2 have taken the reflection.
        const bool rhs = !(std::fabs(s) < 1e-8);
        const double b = s * h;
        if (std::fabs(b) < 1e-20) {
            settle(1, nc);
            if (!rhs) return 11;
            for (i64 i = 1; i <= q; ++i) pr.vec1[i - 1] = pr.vec2[i - 1];
            return 15;
        }
        const double rb = 1.0 / b;
        const bool owes = pending > 0;
        if (rhs) {
            sweep_cols(1, nc, j, owes, pr.vec2 + (j - 1), h, rb);
        } else {
            sweep_cols(1, nn, j, owes, pr.vec2 + (j - 1), h, rb);
            settle(nn + 1, nc);
        }
        pending = j;
        if (!rhs) {
            held = pr.vec2;
            settle(1, nn);
            return 11;
        }
        for (i64 i = 1; i <= q; ++i) pr.vec1[i - 1] = pr.vec2[i - 1];
        held = pr.vec1;
    }
    settle(1, nc);
    return 0;
}

// The solve proper, for counts already accepted.
void solve(const Problem& pr, std::int32_t* ierr) {
    const i64 k = pr.k, n = pr.n, p = pr.p, q = pr.q, nn = n - p;
    const zol::ColMajor<double> E(pr.e, p), C(pr.c, q);
    const zol::Interleaved<double> F(pr.f, k), D(pr.d, k), X(pr.x, k);
    const std::int32_t mode1 = 1, mode2 = 2;
    std::int32_t st = 0;

    if (p > 0) {
        // Constraint factorisation on e^T, one reflection per constraint row.
        const zol::ColMajor<double> W1(pr.work1, n), W2(pr.work2, n);
        for (i64 j = 1; j <= p; ++j)
            for (i64 t = 1; t <= n; ++t) W1(t, j) = E(j, t);
        for (i64 i = 1; i <= q; ++i)
            for (i64 t = 1; t <= n; ++t) W2(t, i) = C(i, t);
        const std::int32_t np = as32(p), ilast = as32(n);
        double hup = 0.0, hcopy = 0.0;
        for (i64 j = 1; j <= p; ++j) {
            for (i64 t = 1; t <= n; ++t) pr.vec2[t - 1] = W1(t, j);
            const std::int32_t ipiv = as32(j), ifirst = as32(j + 1);
            lghtrt_(&mode1, &ipiv, &ifirst, &ilast, pr.vec2, &hup, pr.work1, &np, pr.vec1, &hcopy, &st);
            if (st != 0) {
                *ierr = 10 + st;
                return;
            }
            // For j = n no reflection is built and the previous contents are
            // kept; that column is never applied (ifirst would exceed n).
            double* hj = pr.hvec + (j - 1) * n;
            for (i64 t = 0; t < n; ++t) hj[t] = pr.vec1[t];
            pr.hpiv[j - 1] = hcopy;
        }
        for (i64 i = 1; i <= p; ++i)
            for (i64 t = 1; t <= n; ++t) E(i, t) = W1(t, i);

        // L must be usable relative to its own scale as well as absolutely.
        double dmax = std::fabs(E(1, 1)), dmin = dmax;
        for (i64 i = 2; i <= p; ++i) {
            const double v = std::fabs(E(i, i));
            if (v < dmin) dmin = v;
            if (v > dmax) dmax = v;
        }
        if (dmax < 1e-16 || dmin / dmax < 1e-16) {
            *ierr = 3;
            return;
        }

        lgdre_(&mode1, pr.nrhs, &np, pr.e, pr.f, &st);
        if (st != 0) {
            *ierr = 20 + st;
            return;
        }

        if (p == n) {
            // The constraints alone determine x = Q y1.
            for (i64 r = 1; r <= k; ++r)
                for (i64 i = 1; i <= n; ++i) W1(i, r) = F(i, r);
            st = apply_constraint_reflections(pr, pr.work1, pr.nrhs, false);
            if (st != 0) {
                *ierr = st;
                return;
            }
            for (i64 i = 1; i <= n; ++i)
                for (i64 r = 1; r <= k; ++r) X(i, r) = W1(i, r);
            *ierr = 0;
            return;
        }

        // c Q = [C1 C2], then d - C1 y1.
        const std::int32_t nq = as32(q);
        st = apply_constraint_reflections(pr, pr.work2, &nq, true);
        if (st != 0) {
            *ierr = st;
            return;
        }
        for (i64 i = 1; i <= q; ++i)
            for (i64 t = 1; t <= n; ++t) C(i, t) = W2(t, i);
        for (i64 r = 1; r <= k; ++r)
            for (i64 i = 1; i <= q; ++i) {
                double s = 0.0;
                for (i64 l = 1; l <= p; ++l) s = s + C(i, l) * F(l, r);
                D(i, r) = D(i, r) - s;
            }
    }

    // Reduced problem: QR of C2 (columns p+1..n of c) without pivoting, the
    // same reflections applied to the right-hand sides held in work1.
    {
        const zol::ColMajor<double> W1(pr.work1, q);
        for (i64 r = 1; r <= k; ++r)
            for (i64 i = 1; i <= q; ++i) W1(i, r) = D(i, r);
        double* c2 = pr.c + p * q;
        const std::int32_t ncol2 = as32(nn), ilast = as32(q);
        double hp = 0.0;
        const bool fused = k >= 1 && nn + k <= kMaxHeld;
        if (fused) {
            *ierr = reduce_fused(pr, c2);
            if (*ierr != 0) return;
        }
        for (i64 j = 1; j <= nn && !fused; ++j) {
            for (i64 i = 1; i <= q; ++i) pr.vec2[i - 1] = C(i, p + j);
            const std::int32_t ipiv = as32(j), ifirst = as32(j + 1);
            // The construction's own status is not examined: a column it
            // refuses leaves a pivot element below 1e-8, which the
            // application below reports.
            lghtrt_(&mode1, &ipiv, &ifirst, &ilast, pr.vec2, &hp, c2, &ncol2, pr.vec2, &hp, ierr);
            lghtrt_(&mode2, &ipiv, &ifirst, &ilast, pr.vec2, &hp, pr.work1, pr.nrhs, pr.vec1, &hp, &st);
            if (st != 0) {
                *ierr = 10 + st;
                return;
            }
        }
        for (i64 i = 1; i <= q; ++i)
            for (i64 r = 1; r <= k; ++r) D(i, r) = W1(i, r);
    }

    double dmax = std::fabs(C(1, p + 1)), dmin = dmax;
    for (i64 j = 2; j <= nn; ++j) {
        const double v = std::fabs(C(j, p + j));
        if (v < dmin) dmin = v;
        if (v > dmax) dmax = v;
    }
    if (dmax < 1e-16 || dmin / dmax < 1e-16) {
        *ierr = 4;
        return;
    }

    {
        const zol::ColMajor<double> R(pr.work1, nn);
        for (i64 j = 1; j <= nn; ++j)
            for (i64 i = 1; i <= nn; ++i) R(i, j) = C(i, p + j);
        const std::int32_t order = as32(nn);
        lgdre_(&mode2, pr.nrhs, &order, pr.work1, pr.d, &st);
        if (st != 0) {
            *ierr = 20 + st;
            return;
        }
    }

    // x = Q y with y = (y1, y2), formed in work1 so that x is written only
    // once everything has succeeded.
    const zol::ColMajor<double> W1(pr.work1, n);
    for (i64 r = 1; r <= k; ++r) {
        for (i64 i = 1; i <= p; ++i) W1(i, r) = F(i, r);
        for (i64 i = 1; i <= nn; ++i) W1(p + i, r) = D(i, r);
    }
    st = apply_constraint_reflections(pr, pr.work1, pr.nrhs, false);
    if (st != 0) {
        *ierr = st;
        return;
    }
    for (i64 i = 1; i <= n; ++i)
        for (i64 r = 1; r <= k; ++r) X(i, r) = W1(i, r);
    *ierr = 0;
}

// Provides the constraint reflection storage and runs the solve.
void run(Problem pr, std::int32_t* ierr) {
    constexpr i64 kStackVars = 16;
    double local[kStackVars * kStackVars + kStackVars];
    double* heap = nullptr;
    if (pr.p > 0) {
        if (pr.n <= kStackVars) {
            pr.hvec = local;
            pr.hpiv = local + kStackVars * kStackVars;
        } else {
            heap = heap_doubles((pr.n + 1) * pr.p);
            if (heap == nullptr) {
                *ierr = 5;
                return;
            }
            pr.hvec = heap;
            pr.hpiv = heap + pr.n * pr.p;
        }
    }
    solve(pr, ierr);
    if (heap != nullptr) release_doubles(heap);
}

}  // namespace

extern "C" void lglse_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                       double* e, double* f, double* c, double* d, double* x, int32_t* ierr) {
    *ierr = 5;
    const i64 k = *nrhs, nv = *n, p = *ncon, q = *neq;
    const std::int32_t bad = count_status(nv, p, q);
    if (bad != 0) {
        *ierr = bad;
        return;
    }
    const i64 n3 = nv > 3 ? nv : 3;
    const i64 lwork = n3 * max3(n3, p, q);
    const i64 lvec = max3(nv, p, q);
    // work1 must also hold every right-hand side of the reduced problem and
    // every solution, however many there are.
    const i64 rows = nv > q ? nv : q;
    const i64 lwork1 = k > 0 && rows * k > lwork ? rows * k : lwork;

    double* first = heap_doubles(lwork);
    if (first == nullptr) return;
    double* second = heap_doubles(lwork1);
    if (second == nullptr) {
        release_doubles(first);
        return;
    }
    double* third = heap_doubles(lvec);
    if (third == nullptr) {
        release_doubles(first);
        release_doubles(second);
        return;
    }
    double* fourth = heap_doubles(lvec);
    if (fourth == nullptr) {
        release_doubles(first);
        release_doubles(second);
        release_doubles(third);
        return;
    }
    // The reflection vectors are read before written in one case (a
    // constraint for the last variable keeps the previous stored form), so
    // they start defined.
    for (i64 i = 0; i < lvec; ++i) third[i] = fourth[i] = 0.0;

    *ierr = 0;
    run(Problem{nrhs, k, nv, p, q, e, f, c, d, x, second, first, third, fourth, nullptr, nullptr}, ierr);

    release_doubles(first);
    release_doubles(second);
    release_doubles(third);
    release_doubles(fourth);
}

extern "C" void lglse1_(const int32_t* nrhs, const int32_t* n, const int32_t* ncon, const int32_t* neq,
                        double* e, double* f, double* c, double* d, double* x, const int32_t* lwork,
                        const int32_t* lvec, double* work1, double* work2, double* vec1, double* vec2,
                        int32_t* ierr) {
    const i64 k = *nrhs, nv = *n, p = *ncon, q = *neq;
    const i64 n3 = nv > 3 ? nv : 3;
    if (*lvec != max3(nv, p, q) || *lwork != n3 * max3(n3, p, q)) {
        *ierr = 5;
        return;
    }
    *ierr = 0;
    const std::int32_t bad = count_status(nv, p, q);
    if (bad != 0) {
        *ierr = bad;
        return;
    }
    // Work arrays of the stated sizes hold at most max(n, 3) right-hand
    // sides; more would be written past their ends.
    if (k > n3) {
        *ierr = 5;
        return;
    }
    run(Problem{nrhs, k, nv, p, q, e, f, c, d, x, work1, work2, vec1, vec2, nullptr, nullptr}, ierr);
}
