// The linear family's worked examples and edge cases as tables of calls:
// reflections, triangular solves, pivoted QR, constrained and banded least
// squares, inversion and the weighted product.  Expected values are worked
// out by hand, exactly wherever the arithmetic is exact; comparisons with
// the peer libraries live in oracle/linear_lapack_test.
#include <algorithm>
#include <array>

#include "support.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kAny = -1.25e300;  // an element that is not checked
const Vec skip = {kAny};            // an array that is not checked

double* ptr(Vec& v) { return v.empty() ? nullptr : v.data(); }

// One call: its integer arguments, its arrays (empty ones are passed as
// null: nothing may be read or written), the status it reports and the
// arrays it leaves (missing or empty: as on entry; skip: not checked).
struct Call {
    std::vector<int32_t> args;
    std::vector<Vec> arrays;
    int32_t status;
    std::vector<Vec> out = {};
};

// Each element left within err * max(1, |expected|) (exactly for err 0),
// NaN where NaN is expected.
void run_calls(const std::vector<Call>& calls, double err,
               void (*routine)(const int32_t*, std::vector<Vec>&, int32_t*)) {
    for (std::size_t k = 0; k < calls.size(); ++k) {
        std::vector<Vec> got = calls[k].arrays;
        int32_t ierr = 0;
        routine(calls[k].args.data(), got, &ierr);
        EXPECT_EQ(ierr, calls[k].status) << "row " << k;
        for (std::size_t a = 0; a < got.size(); ++a) {
            const Vec& w = a < calls[k].out.size() && !calls[k].out[a].empty() ? calls[k].out[a] : calls[k].arrays[a];
            ASSERT_TRUE(w == skip || got[a].size() == w.size()) << "row " << k << " array " << a;
            for (std::size_t i = 0; i < w.size() && w != skip; ++i)
                EXPECT_TRUE(w[i] == kAny || (std::isnan(w[i]) && std::isnan(got[a][i])) ||
                            std::fabs(got[a][i] - w[i]) <= err * std::max(1.0, std::fabs(w[i])))
                    << "row " << k << " array " << a << "[" << i << "]: " << got[a][i] << " vs " << w[i];
        }
    }
}

TEST(Linear, HouseholderReflections) {
    // u = (3, 4, 0): s -5, h 8, b -40.  (3, 4, 0) -> (-5, 0, 0) and (0, 1, 0)
    // -> (-0.8, 0.6, 0), the correctly rounded values; (1, -2, 5) is
    // orthogonal to w = (8, 4, 0) and (2^-33, 0, 7) nearly so (inner product
    // 2^-30 < tol 4): lghtr_ keeps both, lghtrt_ transforms the second.
    const double e = std::ldexp(1.0, -33), t = std::ldexp(1.0, -53), above = std::nextafter(4.0, 5.0);
    const Vec u = {3, 4, 0}, s = {-5, 4, 0}, c = {3, 4, 0, 0, 1, 0, 1, -2, 5, e, 0, 7}, v7(3, 7.0), nan3(3, NAN);
    const Vec kept = {-5, 0, 0, -0.8, 0.6, 0, 1, -2, 5, e, 0, 7}, tt = {-1, t, t};
    const Vec moved = {-5, 0, 0, -0.8, 0.6, 0, 1, -2, 5, std::ldexp(0.125 - 0.2, -30), -std::ldexp(0.1, -30), 7};
    // lghtr_ {0, mode, ipiv, ifirst, ilast, nvec} on u, upiv, c (vector j at
    // (j - 1) ilast), tol; lghtrt_ {1, ...} on u, upiv, c, v, upivcopy.
    run_calls(
        {
            {{1, 1, 1, 2, 3, 4}, {u, {0}, c, v7, {6}}, 0, {s, {8}, moved, s, {8}}},
            {{0, 1, 1, 2, 3, 4}, {u, {0}, c, {4}}, 0, {s, {8}, kept}},  // the tolerance itself passes
            {{0, 1, 1, 2, 3, 4}, {u, {0}, c, {above}}, 1},
            // A stretch already zero is still reflected; s > 0 for a pivot
            // element of 0 (any mode but 2 constructs) or below 0.
            {{0, 1, 1, 2, 3, 1}, {{3, 0, 0}, {0}, {3, 0, 0}, {1e-8}}, 0, {{-3, 0, 0}, {6}, {-3, 0, 0}}},
            {{0, 7, 1, 2, 2, 0}, {{0, 2}, {0}, {}, {1e-8}}, 0, {{2, 2}, {-2}}},
            {{0, 1, 1, 2, 2, 0}, {{-3, 4}, {0}, {}, {1e-8}}, 0, {{5, 4}, {-8}}},
            // Index triples out of order: status 0, nothing read or written.
            {{0, 1, 0, 2, 3, 3}, {{}, {42}, {}, {1e-8}}, 0},
            {{0, 1, 2, 2, 3, 3}, {{}, {42}, {}, {1e-8}}, 0},
            {{1, 1, 2, 2, 3, 3}, {{}, {42}, {}, {}, {6}}, 0},
            // lghtr_: nvec < 0 transforms nothing; refusals (small vector,
            // small pivot, |h s| < tol^2) touch nothing.
            {{0, 1, 1, 2, 3, -1}, {{3, 0, 4}, {0}, {1, 1, 1}, {1e-8}}, 0, {{-5, 0, 4}, {8}}},
            {{0, 1, 1, 2, 2, 1}, {{5e-4, -9e-4}, {11}, {1, 2}, {1e-3}}, 1},
            {{0, 2, 1, 2, 2, 1}, {{1e-9, 1}, {3}, {1, 2}, {1e-8}}, 1},
            {{0, 2, 1, 2, 2, 1}, {{1, 1}, {1e-20}, {1, 2}, {1e-8}}, 1},
            // lghtrt_: 2 bad mode, 1 small pivot, 3 small vector (1e-8 itself
            // passes), 4 nvec < 0 (v zero outside the reflection), 5 |h s| <
            // 1e-20; mode 2 with nvec 0 fills v.
            {{1, 0, 1, 2, 3, 1}, {{1, 2, 3}, {5}, {1, 1, 1}, v7, {6}}, 2},
            {{1, 2, 1, 2, 3, 1}, {{9.9e-9, 1, 1}, {5}, {1, 1, 1}, v7, {6}}, 1},
            {{1, 1, 1, 2, 3, 1}, {{1e-9, -9e-9, 0}, {5}, {1, 1, 1}, v7, {6}}, 3},
            {{1, 1, 1, 2, 3, 0}, {{0, -1e-8, 0}, {5}, {}, v7, {6}}, 0, {{kAny, -1e-8, 0}, skip, {}, skip, skip}},
            {{1, 1, 1, 3, 3, -1}, {{3, 9, 4}, {0}, {1, 1, 1}, v7, {6}}, 4, {{-5, 9, 4}, {8}, {}, {-5, 0, 4}, {8}}},
            {{1, 2, 1, 2, 3, 1}, {{1, 0, 1}, {1e-21}, {1, 1, 1}, v7, {6}}, 5, {{}, {}, {}, {1, 0, 1}, {1e-21}}},
            {{1, 2, 1, 2, 2, 0}, {{-5, 4}, {8}, {}, {7, 7}, {6}}, 0, {{}, {}, {}, {-5, 4}}},
            // Inner products: lghtr_ runs one sum from the pivot term (1 + t +
            // t = 1), lghtrt_ adds the stretch's own sum (2t) to it.
            {{0, 2, 1, 2, 3, 1}, {tt, {1}, {1, 1, 1}, {1e-8}}, 0, {{}, {}, {0, 1 - t, 1 - t}}},
            {{1, 2, 1, 2, 3, 1}, {tt, {1}, {1, 1, 1}, v7, {6}}, 0, {{}, {}, {-2 * t, 1 - t, 1 - t}, tt, {1}}},
            // A NaN is never below the tolerance: the reflection is built from it.
            {{0, 1, 1, 2, 3, 1}, {{NAN, 1, 2}, {0}, {1, 2, 3}, {1e-8}}, 0, {{NAN, 1, 2}, {NAN}, nan3}},
            {{1, 1, 1, 2, 3, 1}, {nan3, {0}, {1, 2, 3}, v7, {6}}, 0, {nan3, {NAN}, nan3, nan3, {NAN}}},
        },
        0, [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) {
            const int32_t one = 1;
            if (p[0] == 1)
                lghtrt_(&p[1], &p[2], &p[3], &p[4], ptr(a[0]), a[1].data(), ptr(a[2]), &p[5], ptr(a[3]), a[4].data(),
                        ierr);
            else
                lghtr_(&p[1], &p[2], &p[3], &p[4], ptr(a[0]), &one, a[1].data(), ptr(a[2]), &one, &p[4], &p[5],
                       a[3].data(), ierr);
        });
}

TEST(Linear, TriangularSolves) {
    // The solutions of the four modes are held to LAPACK's in
    // oracle/linear_lapack_test, lgdre_'s to lgdre1_'s in loop_order_test.
    const Vec up = {2, 0, 1, 4}, tiny = {2, 0, 1, 1e-9}, full = {2, 3, 1, 4}, b4 = {1, 2, 3, 4};
    // lgdre_ {0, mode, nrhs, n} or lgdre1_ {1, mode, lda, ncol} on a and b.
    run_calls(
        {
            // 3 for n < 1, then 4 for nrhs < 1, then 1 for a diagonal element
            // below 1e-8 anywhere (1e-8 itself passes), then 2 for the mode.
            {{0, 1, 0, 0}, {{}, {1}}, 3},
            {{0, 1, -2, 2}, {tiny, {1, 2}}, 4},
            {{0, 1, 2, 2}, {tiny, b4}, 1},
            {{0, 3, 2, 2}, {tiny, b4}, 1},
            {{0, 3, 2, 2}, {up, b4}, 2},
            {{0, 2, 2, 2}, {{2, 0, 1, 1e-8}, {1, 3, 1e-8, 2e-8}}, 0, {{}, {0, 0.5, 1, 2}}},
            {{0, 1, 1, 1}, {{NAN}, {1}}, 0, {{}, {NAN}}},
            // lgdre1_: order min(lda, ncol), nothing below 1; modes outside 1..4.
            {{1, 2, 2, 7}, {{2, 0, 1, 4, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9}, {4, 8, 77}}, 0, {{}, {1, 2, 77}}},
            {{1, 1, 5, 0}, {{}, {5, 6}}, 0},
            {{1, 0, 2, 2}, {full, {4, 10}}, 0, {{}, {2, 1}}},  // below 2: mode 1
            {{1, 5, 2, 2}, {full, {4, 10}}, 0, {{}, {2, 2}}},  // above 2 (not 4): mode 3
        },
        0, [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) {
            if (p[0] == 0)
                lgdre_(&p[1], &p[2], &p[3], ptr(a[0]), a[1].data(), ierr);
            else
                lgdre1_(&p[1], &p[2], &p[3], ptr(a[0]), a[1].data());
        });
}

TEST(Linear, PivotedQr) {
    const double p = -2.5;  // a padding row below m
    const Vec h7 = {7, 7}, i9 = {-9, -9}, nan2 = {NAN, NAN};
    // lgqrfc_ {lda, m, n} on a, h and the interchange record (as doubles).
    run_calls(
        {
            // The zero column goes second; its length is recomputed as 0 and it
            // gets no reflection.
            {{2, 2, 2}, {{0, 0, 3, 4}, h7, i9}, 0, {{-5, 4, 0, 0}, {8, 0}, {2, 2}}},
            {{2, 2, 1}, {{0, 1}, {7}, {-9}}, 0, {{1, 1}, {-1}, {1}}},
            // Equal lengths: no exchange.
            {{3, 3, 2}, {{0, 2, 0, 2, 0, 0}, h7, i9}, 0, {{2, 2, 0, 0, -2, 0}, {-2, 4}, {1, 2}}},
            // Nothing to factorise (also with lda < m): only the record is set.
            {{2, 0, 2}, {{1, 2, 3, 4}, h7, i9}, 0, {{}, {}, {1, 2}}},
            {{1, 2, 2}, {{1, 2, 3, 4}, h7, i9}, 0, {{}, {}, {1, 2}}},
            // NaN and infinity: a valid record, nothing outside the matrix touched.
            {{3, 2, 2}, {{NAN, 1, p, 3, 4, p}, h7, i9}, 0, {{NAN, 1, p, NAN, NAN, p}, nan2, {1, 2}}},
            {{3, 2, 2}, {{3, 4, p, HUGE_VAL, 1, p}, h7, i9}, 0, {{NAN, 1, p, NAN, NAN, p}, nan2, {2, 2}}},
        },
        0, [](const int32_t* p, std::vector<Vec>& a, int32_t*) {
            std::vector<int32_t> ipvt(a[2].begin(), a[2].end());
            lgqrfc_(&p[0], &p[1], &p[2], ptr(a[0]), ptr(a[1]), ipvt.empty() ? nullptr : ipvt.data());
            a[2].assign(ipvt.begin(), ipvt.end());
        });
}

TEST(Linear, ConstrainedLeastSquares) {
    const double r = 1 / std::sqrt(2.0), q2 = std::sqrt(2.0);
    const Vec nan2(2, NAN), nan3(3, NAN), e9 = {1, 0, 2, 0, 1, 0, 0, 1, 0}, c32 = {1, 0, 0, 0, 1, 0};
    const std::vector<Vec> none(5), failed = {skip, skip, skip, skip};  // x untouched
    // min |x - (1, 1)| subject to x1 + x2 = 1: e Q = (-sqrt 2, 0), y1 =
    // -1/sqrt 2, c Q = [C1 C2] with C2 triangularised, d = (y2, residual).
    const std::vector<Vec> worked = {{1, 1}, {1}, {1, 0, 0, 1}, {1, 1}, {7, 7}};
    const std::vector<Vec> solved = {{-q2, 0}, {-r}, {-r, -r, 1, 0}, {0, r}, {0.5, 0.5}};
    // lglse_ {0, nrhs, n, ncon, neq}, or lglse1_ with the stated work sizes
    // {1, ...}, lwork one too large {2, ...}, lvec one too large {3, ...}, on
    // e, f, c, d and x.
    run_calls(
        {
            {{0, 1, 2, 1, 2}, worked, 0, solved},
            {{1, 1, 2, 1, 2}, worked, 0, solved},
            {{0, 1, 2, 2, 0}, {{2, 0, 0, 4}, {2, 8}, {}, {}, {7, 7}}, 0, {{-2, 0, 0, 4}, {-1, 2}, {}, {}, {1, 2}}},
            // Counts: 1 for n < 1 or ncon outside 0..n, then 2 for n > ncon + neq.
            {{0, 1, -3, 0, 2}, none, 1},
            {{0, 1, 3, 4, -1}, none, 1},
            {{0, 1, 5, 1, 3}, none, 2},
            // Dependent constraint rows: 13; with ncon = n the last row gets no
            // reflection and its zero diagonal element in L gives 3.
            {{0, 1, 3, 2, 1}, {{1, 2, 2, 4, 3, 6}, {1, 1}, {1, 1, 1}, {1}, nan3}, 13, failed},
            {{0, 1, 3, 3, 0}, {e9, {1, 1, 1}, {}, {}, nan3}, 3, failed},
            // Degenerate triangles: 3 and 4 relative to the largest diagonal
            // element (e is then e Q), 21 below 1e-8, 11 for a zero column.
            {{0, 1, 2, 2, 0}, {{1, 0, 0, 1e-17}, {1, 1}, {}, {}, nan2}, 3, {{-1, 0, 0, 1e-17}}},
            {{0, 1, 2, 2, 0}, {{1, 0, 0, 1e-9}, {1, 1}, {}, {}, nan2}, 21, failed},
            {{0, 1, 2, 0, 2}, {{}, {}, {1, 0, 0, 1e-17}, {1, 1}, nan2}, 4, failed},
            {{0, 1, 2, 0, 2}, {{}, {}, {1, 0, 0, 1e-9}, {1, 1}, nan2}, 21, failed},
            {{0, 1, 2, 0, 3}, {{}, {}, {1, 2, 3, 0, 0, 0}, {1, 1, 1}, nan2}, 11, failed},
            // nrhs: 14 when negative without constraints, 24 otherwise.
            {{0, -1, 2, 0, 3}, {{}, {}, c32, {1, 1, 1}, nan2}, 14, failed},
            {{0, 0, 2, 0, 3}, {{}, {}, c32, {1, 1, 1}, nan2}, 24, failed},
            {{0, -2, 3, 1, 3}, {{1, 1, 1}, {1}, e9, {1, 1, 1}, nan3}, 24, failed},
            // lglse1_: work sizes other than the stated ones, or more right-hand
            // sides than they hold (max(n, 3)): 5 and nothing done.
            {{2, 1, 3, 1, 4}, {{1, 1, 1}, {1}, Vec(12, 1.0), {1, 1, 1, 1}, nan3}, 5},
            {{3, 1, 3, 1, 4}, {{1, 1, 1}, {1}, Vec(12, 1.0), {1, 1, 1, 1}, nan3}, 5},
            {{1, 4, 3, 3, 0}, {e9, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {}, {}, Vec(12, NAN)}, 5},
            // NaN and infinity pass every magnitude test: status 0, NaN in x.
            {{0, 1, 1, 1, 0}, {{NAN}, {1}, {}, {}, {7}}, 0, {skip, skip, {}, {}, {NAN}}},
            {{0, 1, 2, 0, 2}, {{}, {}, {NAN, 0, 0, 1}, {1, 1}, {7, 7}}, 0, {{}, {}, skip, skip, nan2}},
            {{0, 1, 2, 0, 2}, {{}, {}, {HUGE_VAL, 0, 0, 1}, {1, 1}, {7, 7}}, 0, {{}, {}, skip, skip, nan2}},
        },
        1e-15, [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) {
            if (p[0] == 0)
                return lglse_(&p[1], &p[2], &p[3], &p[4], ptr(a[0]), ptr(a[1]), ptr(a[2]), ptr(a[3]), ptr(a[4]), ierr);
            const int32_t n3 = std::max(p[2], 3), lwork = n3 * std::max({n3, p[3], p[4]}) + (p[0] == 2);
            const int32_t lvec = std::max({p[2], p[3], p[4]}) + (p[0] == 3);
            Vec w1(std::max(lwork, 0)), w2(w1.size()), v1(std::max(lvec, 0)), v2(v1.size());
            lglse1_(&p[1], &p[2], &p[3], &p[4], ptr(a[0]), ptr(a[1]), ptr(a[2]), ptr(a[3]), ptr(a[4]), &lwork, &lvec,
                    ptr(w1), ptr(w2), ptr(v1), ptr(v2), ierr);
        });
}

TEST(Linear, BandedLeastSquares) {
    // The line through (0, 1), (1, 3), (2, 5) fed one point per call is 1 +
    // 2 x.
    const Vec p1 = {1, 1, 0, 1}, p2 = {1, 1, 1, 3}, p3 = {1, 1, 2, 5};
    const Vec bad = {1, 1, 0, 1, 1, 1, 3, NAN, 2, 5};  // a NaN coefficient
    // Block 1 is triangular but for the sign; block 2 (variables 5..7,
    // solution (5, 6, 7)) starts past the first free row: it moves to row 5,
    // rows 3 and 4 are cleared and row 2 shifts left.  Variables 3 and 4 have
    // no equation: mode 1 solves rows 7..5 and stops, mode 2 rows 1 and 2.
    const Vec b1 = {1, 2, 1, -1, 1, 0, 4, 3, 17}, y9 = {2, 5, 9, 9, 9, 9, 9}, g40(40);
    const Vec b2 = {5, 1, 2, 0.5, 20.5, -1, 1, 3, 22, 2, -1, 1, 11, 0.5, 0.5, -2, -8.5};
    // A factor R of bandwidth 3 laid out with ipos 3, solved exactly in
    // modes 3 and 2 (mode 1 is held to dgels in oracle/linear_lapack_test); |R(3, 3)| = 1 just below the tolerance
    // stops mode 3 after rows 5 and 4.
    const Vec x = {1, 4, -2, 0, 3, -1, 0.5, 2, -1, 0.25}, y = {-3, 9, 2, 1, -7.5, 4.25, 5, 7.25, -8, 2};
    const Vec yt = {2, 8, -7, 4, -10, -3, 1, 7, 5.5, -9};  // R^T x
    const Vec r = {2, 4, -1, 0, 0, 1, 3, 1, 4, 0, -1, 2, 5, -3, 8, -3, 2, -7.5, 5, -8, 9, 1, 4.25, 7.25, 2};
    // With ipos 1 the diagonal of row 5 would lie past the last column (a
    // column of ones after g would show a read beyond it).
    const Vec diag = {2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 1, 1, 1, 1, 1}, s7(10, 7.0);
    const double above = std::nextafter(1.0, 2.0);
    // {ldg, nb, nrhs, mode, n, ipos = inext on entry, ipos and inext after
    // the blocks} on g, x, the solve's tolerance, then the blocks (jcol, then
    // rows of nb coefficients and nrhs right-hand sides), written at inext
    // and folded by lgbla_ before lgbls_ solves.
    run_calls(
        {
            {{4, 2, 1, 1, 2, 1, 1, 4}, {Vec(12), {7, 7}, {1e-12}, p1, p2, p3}, 0, {skip, {1, 2}}},
            {{10, 3, 1, 1, 7, 1, 5, 9}, {g40, Vec(7, 7.0), {1e-12}, b1, b2}, 1, {skip, {-1, 17, 0, 0, 5, 6, 7}}},
            {{10, 3, 1, 2, 7, 1, 5, 9}, {g40, y9, {1e-12}, b1, b2}, 1, {skip, {-1, 1, 9, 9, 9, 9, 9}}},
            {{5, 3, 2, 3, 5, 3, 3, 3}, {r, y, {1}}, 0, {{}, x}},
            {{5, 3, 2, 2, 5, 3, 3, 3}, {r, yt, {1}}, 0, {{}, x}},
            {{5, 3, 2, 3, 5, 3, 3, 3}, {r, y, {above}}, 1, {{}, {-3, 9, 2, 1, -7.5, 4.25, 0.5, 2, -1, 0.25}}},
            {{5, 3, 2, 4, 5, 3, 3, 3}, {r, y, {1}}, 1},  // no such mode
            {{5, 3, 1, 3, 5, 1, 1, 1}, {diag, {2, 4, 6, 8, 10}, {1e-12}}, 1},
            {{5, 3, 1, 2, 5, 1, 1, 1}, {diag, {2, 4, 6, 8, 10}, {1e-12}}, 1, {{}, {1, 2, 3, 4, 10}}},
            // The NaN coefficient reaches the factor, whose NaN diagonal passes.
            {{4, 2, 1, 1, 2, 1, 1, 4}, {Vec(12), {7, 7}, {1e-8}, bad}, 0, {skip, {NAN, NAN}}},
            // No band, a negative number of right-hand sides, more variables
            // than rows of g: status 1, nothing read or written.
            {{5, 0, 1, 1, 5, 2, 2, 2}, {{}, s7, {1e-12}}, 1},
            {{5, 3, -1, 2, 5, 2, 2, 2}, {{}, s7, {1e-12}}, 1},
            {{5, 3, 1, 3, 6, 2, 2, 2}, {{}, s7, {1e-12}}, 1},
        },
        1e-14, [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) {
            const double tol = 1e-8;
            int32_t width = p[1] + p[2], ipos = p[5], inext = p[5];
            for (std::size_t k = 3; k < a.size(); ++k) {
                const int32_t jcol = static_cast<int32_t>(a[k][0]), nrow = (a[k].size() - 1) / width;
                for (int32_t i = 0; i < nrow * width; ++i) a[0][inext - 1 + i / width + i % width * p[0]] = a[k][i + 1];
                lgbla_(a[0].data(), &p[0], &p[1], &ipos, &inext, &nrow, &jcol, &p[2], &tol);
            }
            EXPECT_EQ(std::pair(ipos, inext), std::pair(p[6], p[7]));
            lgbls_(&p[3], ptr(a[0]), &p[0], &p[1], &ipos, &p[4], &p[2], &a[2][0], a[1].data(), ierr);
        });
    // Folds outside the protocol or outside g change nothing: no rows, rows
    // past the end of g (as placed or as moved down), a block left of the
    // current one, no band, a negative number of right-hand sides.
    for (auto [nrow, jcol, nb, nrhs] : std::vector<std::array<int32_t, 4>>{
             {0, 3, 2, 1}, {-3, 3, 2, 1}, {3, 3, 2, 1}, {2, 6, 2, 1}, {1, 2, 2, 1}, {1, 3, 0, 1}, {1, 3, 2, -1}}) {
        Vec g(18, 5.0);
        int32_t ipos = 3, inext = 5, ldg = 6;
        const double tol = 1e-8;
        lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
        EXPECT_TRUE(g == Vec(18, 5.0) && ipos == 3 && inext == 5) << nrow << " " << jcol << " " << nb << " " << nrhs;
    }
}

TEST(Linear, MatrixInversion) {
    const Vec wide = {1, 0, 2, 1, -1, 3}, nan6(6, NAN), nan9(9, NAN);  // wide: rows (1, 2, -1), (0, 1, 3)
    const Vec pinv = {10 / 59.0, 1 / 59.0, 21 / 59.0, 8 / 59.0, -7 / 59.0, 17 / 59.0};
    // lminv_ {n, m} on a and x: x holds the inverse or A^T (A A^T)^-1 row by
    // row, and a stays when n != m; failures leave x; counts below 1 read
    // nothing.
    run_calls(
        {
            {{2, 3}, {wide, nan6}, 0, {{}, pinv}},
            {{3, 2}, {wide, nan6}, 1},                                 // a a^T is singular
            {{3, 3}, {{1, 2, 3, 2, 4, 6, 0, 1, 5}, nan9}, 1, {skip}},  // second column twice the first
            {{0, 3}, {{}, {}}, 1},
            {{3, 0}, {{}, {}}, 1},
        },
        1e-15,
        [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) { lminv_(&p[0], &p[1], ptr(a[0]), ptr(a[1]), ierr); });
}

TEST(Linear, WeightedProduct) {
    const Vec m32 = {1, 2, 3, 4, 5, 6}, b22 = {1, 2, 3, 4}, c32 = {13, 18, 17, 24, 21, 30, NAN, NAN}, nan8(8, NAN);
    // lgloes_ {n, m, ncol} on M, b, w and c: c = M diag(w) b, b and c row by
    // row, status 0; the two elements past the result stay as they were.
    run_calls(
        {
            {{2, 2, 1}, {{1, 3, 2, 4}, {1, 1}, {1, 2}, Vec(4, NAN)}, 0, {{}, {}, {}, {5, 11, NAN, NAN}}},
            {{2, 3, 2}, {m32, {0.5, 1, 6, 8}, {2, 0.5}, nan8}, 0, {{}, {}, {}, c32}},  // M diag(2, 0.5) b
            {{0, 2, 3}, {{}, {}, {}, nan8}, 0, {{}, {}, {}, {0, 0, 0, 0, 0, 0, NAN, NAN}}},
            {{2, 0, 2}, {m32, b22, {1, 1}, nan8}, 0},  // m < 1 or ncol < 1: nothing
            {{2, 2, 0}, {m32, b22, {1, 1}, nan8}, 0},
        },
        0, [](const int32_t* p, std::vector<Vec>& a, int32_t* ierr) {
            const double* hmat = ptr(a[0]);
            lgloes_(&p[0], &p[1], &hmat, &p[2], ptr(a[1]), ptr(a[2]), ptr(a[3]), ierr);
        });
}

}  // namespace
