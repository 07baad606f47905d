// The 4-wide kernels of the factorisations and the triangular solves.  This
// file alone is compiled for AVX2 (without fused multiply-add); it holds
// nothing that another file could share, so no code built for AVX2 can be
// picked for a baseline caller.  That is why its small helpers (loads,
// stores, the pivot-row start of a sweep) are its own and not the baseline
// ones of frame/unroll.hpp and linear/reflection.hpp.
//
// Four rows of a column are updated and multiplied as one vector, element
// by element, exactly as one at a time.  The products (or squares) of four
// columns are then transposed so that one vector holds row i of the four
// columns, and the vectors of rows i, i + 1, i + 2, i + 3 enter a vector of
// four sums one after the other: each column's sum takes its terms one at a
// time in increasing row order, in a lane of its own.
#include "linear/wide.hpp"

#if defined(ZOLMATH_WIDE_KERNELS) && defined(__AVX2__)

namespace {

using i64 = std::int64_t;
typedef double Quad __attribute__((vector_size(32)));

inline Quad load(const double* p) {
    Quad v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, Quad v) { __builtin_memcpy(p, &v, sizeof v); }

// sum := sum + x_k(0) .. + x_k(3) in lane k, rows in order.
inline Quad add_rows(Quad sum, Quad x0, Quad x1, Quad x2, Quad x3) {
    const Quad a = __builtin_shufflevector(x0, x1, 0, 4, 2, 6), b = __builtin_shufflevector(x0, x1, 1, 5, 3, 7);
    const Quad c = __builtin_shufflevector(x2, x3, 0, 4, 2, 6), d = __builtin_shufflevector(x2, x3, 1, 5, 3, 7);
    sum = sum + __builtin_shufflevector(a, c, 0, 1, 4, 5);
    sum = sum + __builtin_shufflevector(b, d, 0, 1, 4, 5);
    sum = sum + __builtin_shufflevector(a, c, 2, 3, 6, 7);
    return sum + __builtin_shufflevector(b, d, 2, 3, 6, 7);
}

// Rows i .. i + 3 of four columns: the held-back update (coefficients q),
// then the inner products with w into t and the squares into s.
template <bool Apply, bool Measure, bool Squares>
inline void four_rows(double* const* c, const Quad* q, i64 i, Quad u, Quad w, Quad& t, Quad& s) {
    Quad v0 = load(c[0] + i), v1 = load(c[1] + i), v2 = load(c[2] + i), v3 = load(c[3] + i);
    if (Apply) {
        v0 = v0 + q[0] * u, v1 = v1 + q[1] * u, v2 = v2 + q[2] * u, v3 = v3 + q[3] * u;
        store(c[0] + i, v0), store(c[1] + i, v1), store(c[2] + i, v2), store(c[3] + i, v3);
    }
    if (Measure) t = add_rows(t, v0 * w, v1 * w, v2 * w, v3 * w);
    if (Squares) s = add_rows(s, v0 * v0, v1 * v1, v2 * v2, v3 * v3);
}

template <int G, bool PivotFirst, bool Apply, bool Measure, bool Squares>
void sweep(double* const* cols, i64 len, const double* up, const double* tb, const double* un, double hn, double* t,
           double* s) {
    static_assert(G == 4 || G == 8);
    double* c[8];
    double coef[8] = {}, tv[8] = {}, sv[8] = {}, v0[8] = {};
    Quad q[8];
    for (int k = 0; k < G; ++k) {
        c[k] = cols[k];
        coef[k] = Apply ? tb[k] : 0.0;
        q[k] = Quad{coef[k], coef[k], coef[k], coef[k]};
        double v = c[k][0];
        if (Apply) {
            v = v + coef[k] * up[0];
            c[k][0] = v;
        }
        v0[k] = v;
        tv[k] = Measure && PivotFirst ? v * hn : 0.0;
        sv[k] = Squares ? 0.0 + v * v : 0.0;
    }
    Quad t0 = load(tv), t1 = load(tv + 4), s0 = load(sv), s1 = load(sv + 4);
    i64 i = 1;
    for (; i + 3 < len; i += 4) {
        const Quad u = Apply ? load(up + i) : Quad{}, w = Measure ? load(un + i) : Quad{};
        four_rows<Apply, Measure, Squares>(c, q, i, u, w, t0, s0);
        if constexpr (G == 8) four_rows<Apply, Measure, Squares>(c + 4, q + 4, i, u, w, t1, s1);
    }
    store(tv, t0), store(tv + 4, t1), store(sv, s0), store(sv + 4, s1);
    for (; i < len; ++i)
        for (int k = 0; k < G; ++k) {
            double v = c[k][i];
            if (Apply) {
                v = v + coef[k] * up[i];
                c[k][i] = v;
            }
            if (Measure) tv[k] = tv[k] + v * un[i];
            if (Squares) sv[k] = sv[k] + v * v;
        }
    for (int k = 0; k < G; ++k) {
        if (Measure) t[k] = PivotFirst ? tv[k] : hn * v0[k] + tv[k];
        if (Squares) s[k] = sv[k];
    }
}

// t[k] := t[k] + s_k(0)·u(0) + s_k(1)·u(1) + ..., one term at a time.
template <int G>
void dot(double* const* sk, i64 len, const double* u, double* t) {
    double tv[8] = {};
    for (int k = 0; k < G; ++k) tv[k] = t[k];
    Quad t0 = load(tv), t1 = load(tv + 4);
    i64 i = 0;
    for (; i + 3 < len; i += 4) {
        const Quad w = load(u + i);
        t0 = add_rows(t0, load(sk[0] + i) * w, load(sk[1] + i) * w, load(sk[2] + i) * w, load(sk[3] + i) * w);
        if constexpr (G == 8)
            t1 = add_rows(t1, load(sk[4] + i) * w, load(sk[5] + i) * w, load(sk[6] + i) * w, load(sk[7] + i) * w);
    }
    store(tv, t0), store(tv + 4, t1);
    for (; i < len; ++i)
        for (int k = 0; k < G; ++k) tv[k] = tv[k] + sk[k][i] * u[i];
    for (int k = 0; k < G; ++k) t[k] = tv[k];
}

// s_k(i) := s_k(i) + t[k]·u(i).
template <int G>
void axpy(double* const* sk, i64 len, const double* u, const double* t) {
    Quad q[G];
#pragma GCC unroll 8
    for (int k = 0; k < G; ++k) q[k] = Quad{t[k], t[k], t[k], t[k]};
    i64 i = 0;
    for (; i + 3 < len; i += 4) {
        const Quad w = load(u + i);
#pragma GCC unroll 8
        for (int k = 0; k < G; ++k) store(sk[k] + i, load(sk[k] + i) + q[k] * w);
    }
    for (; i < len; ++i)
        for (int k = 0; k < G; ++k) sk[k][i] = sk[k][i] + t[k] * u[i];
}

// Substitution for the 16 interleaved right-hand sides from r0 on (row
// stride k): each keeps its own running value, in a lane of its own, and
// its own order of subtractions.  The first component is already solved.
template <bool Forward>
void tile16(const double* a, i64 n, double* x, i64 k, i64 r0) {
    for (i64 s = 2; s <= n; ++s) {
        const i64 i = Forward ? s : n + 1 - s;
        double* const xi = x + (i - 1) * k + r0;
        Quad t0 = load(xi), t1 = load(xi + 4), t2 = load(xi + 8), t3 = load(xi + 12);
        for (i64 u = 1; u <= s - 1; ++u) {
            const i64 l = Forward ? u : n + 1 - u;
            const double ail = a[(i - 1) + (l - 1) * n];
            const Quad q{ail, ail, ail, ail};
            const double* const xl = x + (l - 1) * k + r0;
            t0 = t0 - q * load(xl), t1 = t1 - q * load(xl + 4), t2 = t2 - q * load(xl + 8);
            t3 = t3 - q * load(xl + 12);
        }
        const double aii = a[(i - 1) + (i - 1) * n];
        const Quad d{aii, aii, aii, aii};
        store(xi, t0 / d), store(xi + 4, t1 / d), store(xi + 8, t2 / d), store(xi + 12, t3 / d);
    }
}

template <int G, bool PivotFirst>
void dispatch(bool apply, bool measure, bool squares, double* const* c, i64 len, const double* up, const double* tb,
              const double* un, double hn, double* t, double* s) {
    if (apply && measure)
        sweep<G, PivotFirst, true, true, false>(c, len, up, tb, un, hn, t, s);
    else if (measure)
        sweep<G, PivotFirst, false, true, false>(c, len, up, tb, un, hn, t, s);
    else if (apply && squares)
        sweep<G, PivotFirst, true, false, true>(c, len, up, tb, un, hn, t, s);
    else if (squares)
        sweep<G, PivotFirst, false, false, true>(c, len, up, tb, un, hn, t, s);
    else if (apply)
        sweep<G, PivotFirst, true, false, false>(c, len, up, tb, un, hn, t, s);
}

}  // namespace

void zol::sweep_wide(int g, bool pivot_first, bool apply, bool measure, bool squares, double* const* c,
                     std::int64_t len, const double* up, const double* tb, const double* un, double hn, double* t,
                     double* s) {
    if (g == 8 && pivot_first)
        dispatch<8, true>(apply, measure, squares, c, len, up, tb, un, hn, t, s);
    else if (g == 8)
        dispatch<8, false>(apply, measure, squares, c, len, up, tb, un, hn, t, s);
    else if (pivot_first)
        dispatch<4, true>(apply, measure, squares, c, len, up, tb, un, hn, t, s);
    else
        dispatch<4, false>(apply, measure, squares, c, len, up, tb, un, hn, t, s);
}

void zol::dot_wide(int g, double* const* s, std::int64_t len, const double* u, double* t) {
    if (g == 8)
        dot<8>(s, len, u, t);
    else
        dot<4>(s, len, u, t);
}

void zol::axpy_wide(int g, double* const* s, std::int64_t len, const double* u, const double* t) {
    if (g == 8)
        axpy<8>(s, len, u, t);
    else
        axpy<4>(s, len, u, t);
}

void zol::triangular_tile_wide(bool forward, const double* a, std::int64_t n, double* x, std::int64_t k,
                               std::int64_t r0) {
    if (forward)
        tile16<true>(a, n, x, k, r0);
    else
        tile16<false>(a, n, x, k, r0);
}

#else

// Built without the wide kernels: never called.
void zol::sweep_wide(int, bool, bool, bool, bool, double* const*, std::int64_t, const double*, const double*,
                     const double*, double, double*, double*) {}
void zol::dot_wide(int, double* const*, std::int64_t, const double*, double*) {}
void zol::axpy_wide(int, double* const*, std::int64_t, const double*, const double*) {}
void zol::triangular_tile_wide(bool, const double*, std::int64_t, double*, std::int64_t, std::int64_t) {}

#endif
