// Nonlinear least squares: the exported entry with its option defaults and
// the trust-region Levenberg-Marquardt driver NgLevMarq with its trace.
//
// All scratch of one run comes from two blocks of the memory service,
// obtained before the first evaluation and carved into slices; nothing is
// allocated inside the iteration.  The trace is fixed-format text for the
// people who read these logs; at trace level 2 or below no trace work is
// done at all and the stream is never touched.
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "frame/scratch.hpp"
#include "frame/unroll.hpp"
#include "frame/view.hpp"
#include "linear/qr_pivot.hpp"
#include "nonlinear/step_assessment.hpp"
#include "zolmath.h"

namespace {

constexpr const char* kTag = "mathngsolver";

// Relative rank tolerance, Householder tolerance and base of the floor of
// the column scaling.
constexpr double kEps = 1e-8;
// Relative accuracy asked of the radius by the parameter iteration; a
// Gauss-Newton step is cut back only when it exceeds the radius by it.
constexpr double kSigma = 0.1;
constexpr std::int32_t kParIterations = 10;
constexpr double kAccept = 1e-4;

// Byte count of the large block, or -1 when it does not fit the service's
// 32-bit size.  Its slices are D (n), two Jacobian slices J and W (m n
// each) each followed by an m-vector, the augmented matrix (rows_aug n) and
// right-hand side (rows_aug), and v (n).  The vector after W is r, so that
// the residuals travel through the factorisation of W as one more column.
// The augmented system needs 2n rows, which m + n provides unless m < n;
// only then do A and b grow to 2n rows.
std::int64_t large_block_bytes(std::int64_t m, std::int64_t n, std::int64_t rows_aug) {
    const std::int64_t per_column = 2 * m + rows_aug + 2;  // J, W, A, D and v
    if (per_column > INT32_MAX) return -1;
    const std::int64_t count = per_column * n + rows_aug + 2 * m;
    return zol::scratch_bytes(count, 8);
}

// Whether applying reflection j of the factorisation in W (m rows) is
// refused, as lghtr_ reports it: no reflection past the last row, a pivot
// element below the tolerance, or a reflection too close to the identity.
bool refused(const double* W, std::int64_t m, std::int64_t j, double hj) {
    if (j >= m) return false;
    const double s = W[(j - 1) + (j - 1) * m];
    return std::fabs(s) < kEps || std::fabs(hj * s) < kEps * kEps;
}

// Columns k of J (leading dimension m) for k in one group of G: W := J,
// sq(k) := Σ J(i,k)², jtf(k) := Σ J(i,k)·f(i), each from 0 in row order;
// with rows, rowsum(i) := rowsum(i) + |J(i,k)| over the group's columns in
// order (from 0 in the first group), the largest row sum going to *best
// in the last.
template <int G>
void prepare_group(const double* J, const double* f, double* W, std::int64_t m, double* sq, double* jtf,
                   double* rowsum, bool first, bool last, double* best) {
    const double* c[G];
    double* w[G];
    double s[G], g[G];
    zol::each<G>([&](auto k) {
        c[k] = J + k * m;
        w[k] = W + k * m;
        s[k] = 0.0;
        g[k] = 0.0;
    });
    for (std::int64_t i = 0; i < m; ++i) {
        const double fi = f[i];
        double rs = rowsum != nullptr && !first ? rowsum[i] : 0.0;
        zol::each<G>([&](auto k) {
            const double v = c[k][i];
            w[k][i] = v;
            s[k] = s[k] + v * v;
            g[k] = g[k] + v * fi;
            rs = rs + std::fabs(v);
        });
        if (rowsum != nullptr) {
            rowsum[i] = rs;
            if (last && rs > *best) *best = rs;
        }
    }
    zol::each<G>([&](auto k) {
        sq[k] = s[k];
        jtf[k] = g[k];
    });
}

// The start of an iteration in one sweep over J (m by n) and f: W := J,
// the vector after W := -f, and the column measures of prepare_group.
// With rowsum (m doubles of scratch) the result is the row-sum norm of J,
// as lmnrmn_ gives it; otherwise 0.
double prepare(const double* J, const double* f, double* W, std::int64_t m, std::int64_t n, double* sq,
               double* jtf, double* rowsum) {
    double* const r = W + m * n;
    for (std::int64_t i = 0; i < m; ++i) r[i] = -f[i];
    double best = 0.0;
    for (std::int64_t j = 0; j < n;) {
        const std::int64_t g = n - j >= 4 ? 4 : n - j;
        const bool first = j == 0, last = j + g == n;
        const std::int64_t o = j * m;
        if (g == 4) prepare_group<4>(J + o, f, W + o, m, sq + j, jtf + j, rowsum, first, last, &best);
        if (g == 3) prepare_group<3>(J + o, f, W + o, m, sq + j, jtf + j, rowsum, first, last, &best);
        if (g == 2) prepare_group<2>(J + o, f, W + o, m, sq + j, jtf + j, rowsum, first, last, &best);
        if (g == 1) prepare_group<1>(J + o, f, W + o, m, sq + j, jtf + j, rowsum, first, last, &best);
        j += g;
    }
    return best;
}

struct Trace {
    FILE* out;  // null when no trace is written
    bool flags; // the Householder error flags too

    explicit operator bool() const { return out != nullptr; }
};

void NgLevMarq(const MathNonLinearSolverOptions* options, int32_t m, int32_t n, void* context,
               MathNonLinearSolverCallback callback, int32_t traceLevel, FILE* traceStream, double* x,
               double* f, double* step, int32_t* status) {
    if (options == nullptr) {
        *status = -1;
        return;
    }
    // Without equations or variables there is no problem to solve, and the
    // slices of the large block would be empty or negative.
    if (m < 1 || n < 1) {
        *status = 6;
        return;
    }
    const MathNonLinearSolverOptions& opt = *options;

    for (std::int64_t j = 0; j < n; ++j) step[j] = 0.0;

    // A trace level above 2 with no stream writes nothing rather than crash.
    const Trace trace{traceLevel > 2 ? traceStream : nullptr, traceLevel > 3};
    if (trace) {
        std::fprintf(trace.out, "\n\n*********** START OF NgLevMarq ************\n");
        std::fprintf(trace.out, "ANZAHL GLEICHUNGEN = %4d\n", m);
        std::fprintf(trace.out, "ANZAHL VARIABLEN =  %4d\n", n);
    }

    const std::int64_t M = m;
    const std::int64_t N = n;
    const std::int64_t rows_aug = (M >= N ? M : N) + N;

    zol::Scratch pivot_block(zol::scratch_bytes(N, 4), kTag, 400, 724);
    zol::Scratch work_block(pivot_block ? large_block_bytes(M, N, rows_aug) : -1, kTag, 405, 725);

    // Everything from here to the release runs inside this lambda, so that
    // every exit, failures included, passes the one release and end banner.
    [&] {
        if (!pivot_block || !work_block) {
            *status = 4;
            return;
        }
        std::int32_t* const pivots = pivot_block.as<std::int32_t>();
        double* const D = work_block.as<double>();
        double* J = D + N;
        double* W = J + M * N + M;
        double* r = W + M * N;
        double* const A = D + N + 2 * (M * N + M);
        double* const b = A + rows_aug * N;
        double* const v = b + rows_aug;

        const std::int32_t mpn = static_cast<std::int32_t>(rows_aug);
        const std::int32_t backward = -1;
        const std::int32_t multiply = 1;
        const std::int32_t row_sum = 2;
        const std::int32_t upper = 2;
        const std::int32_t par_iterations = kParIterations;
        const double sigma = kSigma;
        const double tol = opt.residualTolerance;

        // One reply variable per request, set once: a callback that leaves
        // its reply alone repeats its previous answer.
        std::int32_t reply_eval = 0;
        std::int32_t reply_check = 0;
        // Handed to the check request for both of its output pointers.
        double check_scratch = 0.0;

        // A check answers 0 to go on; otherwise the run stops with the
        // status for the answer's sign.
        auto check_stops = [&](std::int32_t stop_status) {
            callback(4, context, x, &check_scratch, &check_scratch, &reply_check);
            if (reply_check < 0) {
                *status = 5;
                return true;
            }
            if (reply_check > 0) {
                *status = stop_status;
                return true;
            }
            return false;
        };

        auto finish = [&] {
            if (opt.checkAtEnd != 0) check_stops(1);
        };

        if (opt.checkEachIteration != 0 && check_stops(3)) return;

        double par = 0.0;
        callback(3, context, x, f, J, &reply_eval);
        if (reply_eval < 0) {
            *status = 5;
            return;
        }
        // The length of the current residuals, kept with f: every decision
        // below compares against it, and it changes only when f does.
        double fnorm = lvlgtn_(&m, f);
        if (fnorm <= tol) {
            *status = 0;
            finish();
            return;
        }

        // Column scaling from the first Jacobian, with a floor that keeps
        // nearly vanishing columns from dominating the scaled step.
        for (std::int64_t j = 0; j < N; ++j) D[j] = 0.0;
        ngvsc1_(&m, &m, &n, J, D);
        const double dnorm = lvlgtn_(&n, D);
        const double scale_floor = std::pow(kEps, 2.0 / 3.0) * dnorm;
        for (std::int64_t j = 0; j < N; ++j)
            if (D[j] < scale_floor) D[j] = scale_floor;
        double delta = opt.initialRadiusFactor * dnorm;
        *status = 2;

        // The rank tolerance and the column scaling depend on J alone, so
        // they are brought up to date only when J changes (an accepted trial
        // point): measuring an unchanged J again gives the same values, and
        // the scaling above already covers the first J.
        double tau = kEps * lmnrmn_(&row_sum, &m, &m, &n, J);
        bool new_jacobian = false;

        // 64 bits: the limit may be INT32_MAX, and one more iteration runs.
        for (std::int64_t k = 1;; ++k) {
            if (trace) std::fprintf(trace.out, "\nITERATION = %4d\n", static_cast<int>(k));
            par = 0.0;
            // One sweep over J and f: W := J, r := -f, and what the
            // iteration measures of J: the squared column lengths (for the
            // first pivot and the scaling) in b, J^T f (for the damping
            // iteration) after them, and the row sums (for the rank
            // tolerance) when J is new, with A as scratch.
            double* const sq = b;
            double* const jtf = b + N;
            const double rows_norm = prepare(J, f, W, M, N, sq, jtf, new_jacobian ? A : nullptr);
            if (new_jacobian) tau = kEps * rows_norm;

            // Gauss-Newton step from A P = Q R, over the numerical rank.  r
            // is carried through the factorisation as a column after W and
            // comes out as Q^T(-f).
            zol::pivoted_qr(M, M, N, 1, W, v, pivots, sq);
            if (trace && trace.flags)
                for (std::int64_t j = 1; j <= N; ++j)
                    std::fprintf(trace.out, "\nierr nach lghtr = %4d\n", refused(W, M, j, v[j - 1]) ? 1 : 0);
            const std::int32_t rank = lmtrkn_(&m, &n, W, &tau);

            // With m < n the components of Q^T(-f) beyond m do not exist;
            // they lie beyond the rank and are zeroed below anyway.
            for (std::int64_t i = 0; i < N; ++i) {
                step[i] = i < M ? r[i] : 0.0;
                if (trace) std::fprintf(trace.out, "VDIFF IN 200 LOOP= %20.12g\n", step[i]);
            }
            if (rank == n) {
                lgdre1_(&upper, &m, &rank, W, step);
                if (trace)
                    for (std::int64_t i = 0; i < N; ++i)
                        std::fprintf(trace.out, "VDIFF NACH LGDRE1 = %20.12g\n", step[i]);
            } else {
                for (std::int64_t i = rank; i < N; ++i) step[i] = 0.0;
                lgdre1_(&upper, &m, &rank, W, step);
                if (trace)
                    for (std::int64_t i = 0; i < N; ++i)
                        std::fprintf(trace.out, "VDIFF nach LGRE1 = %20.12g\n", step[i]);
            }
            lvprmn_(&backward, &n, step, step, pivots);

            if (new_jacobian) zol::ng::raise_scaling(&m, N, J, sq, D);
            new_jacobian = false;
            lvmldn_(&multiply, &n, D, step, v);
            double dn = lvlgtn_(&n, v);

            if (!(dn < (1.0 + kSigma) * delta)) {
                std::int32_t count = 0;
                zol::ng::damping(&mpn, &m, &n, W, r, A, b, step, D, &par, &delta, &sigma, &par_iterations, &rank,
                                 pivots, v, &count, jtf);
                if (trace) {
                    std::fprintf(trace.out, "   ITER ALFA = %5d\n", count);
                    std::fprintf(trace.out, "   ALFA = %f\n", par);
                    for (std::int64_t i = 0; i < N; ++i)
                        std::fprintf(trace.out, "VDIFF NACH NGPAR1 = %20.12g\n", step[i]);
                }
                lvmldn_(&multiply, &n, D, step, v);
                dn = lvlgtn_(&n, v);
            }

            if (opt.checkEachIteration != 0 && check_stops(3)) return;

            for (std::int64_t j = 0; j < N; ++j) v[j] = x[j] + step[j];
            callback(3, context, v, r, W, &reply_eval);
            if (reply_eval < 0) {
                *status = 5;
                return;
            }

            // The radius test counts for every trial point.  The predicted
            // reduction is relative to |f(trial)|, so it only counts for a
            // trial point that is no worse than x (NaN counts as worse): a
            // step into exploding residuals never passes it.  When a test
            // ends the run on a worse trial point, x and f stay where they
            // are: the run has converged at x, not at the trial point.
            const double rnorm = lvlgtn_(&m, r);
            const bool not_worse = rnorm <= fnorm;
            // sJ of the linear model, once the third stopping test has formed it.
            zol::ng::ModelSquares model;
            bool stop = zol::ng::stopping_test(1, &m, &m, &n, J, rnorm, step, D, v, delta, par, tol, A) == 1 ||
                        zol::ng::stopping_test(2, &m, &m, &n, J, rnorm, step, D, v, delta, par, tol, A) == 1;
            if (!stop && not_worse)
                stop = zol::ng::stopping_test(3, &m, &m, &n, J, rnorm, step, D, v, delta, par, tol, A, &model) == 1;
            if (stop) {
                if (not_worse) {
                    for (std::int64_t j = 0; j < N; ++j) x[j] = v[j];
                    for (std::int64_t i = 0; i < M; ++i) f[i] = r[i];
                }
                *status = 0;
                finish();
                return;
            }

            const double rho = zol::ng::reduction_ratio(fnorm, rnorm, &m, &m, &n, J, step, D, par, model);
            if (trace) std::fprintf(trace.out, "   RHO = %20.12g\n", rho);
            if (rho > kAccept) {
                for (std::int64_t j = 0; j < N; ++j) x[j] = v[j];
                for (std::int64_t i = 0; i < M; ++i) f[i] = r[i];
                fnorm = rnorm;
                new_jacobian = true;
                // The trial Jacobian becomes current; the old one is dead
                // and its slice takes the next copy.
                double* const t = J;
                J = W;
                W = t;
                r = W + M * N;
            }

            if (rho >= 0.75) delta = 2.0 * dn;
            if (par == 0.0 && rho >= 0.25) delta = 2.0 * dn;
            if (rho < 0.25) {
                // sJ belongs to the Jacobian of this step, current only if the
                // trial point was rejected.
                const zol::ng::ModelSquares same_j = rho > kAccept ? zol::ng::ModelSquares{} : model;
                delta = delta * zol::ng::radius_factor(fnorm, rnorm, &m, &m, &n, J, step, D, par, rho, same_j);
            }
            double dsum = 0.0;
            for (std::int64_t j = 0; j < N; ++j) dsum = dsum + std::fabs(D[j]);
            const double cap = opt.radiusCapFactor * dsum;
            if (cap < delta) delta = cap;

            if (trace) {
                std::fprintf(trace.out, "DELTA = %20.12g\n", delta);
                for (std::int64_t j = 0; j < N; ++j)
                    std::fprintf(trace.out, "   VAR %d = %20.12g\n", static_cast<int>(j), x[j]);
                for (std::int64_t i = 0; i < M; ++i)
                    std::fprintf(trace.out, "   RES %d = %20.12g\n", static_cast<int>(i), f[i]);
            }

            if (k > opt.maxIterations) return;  // status stays 2
        }
    }();

    // The pivot record goes first, then the large block.
    pivot_block.release();
    work_block.release();
    if (trace) {
        std::fprintf(trace.out, "*********** END OF NgLevMarq ************\n\n");
        std::fflush(trace.out);
    }
}

}  // namespace

void MathNonLinearSolver(const MathNonLinearSolverOptions* options, int32_t m, int32_t n, void* context,
                         MathNonLinearSolverCallback callback, int32_t traceLevel, FILE* traceStream,
                         double* x, double* f, double* step, int32_t* status) {
    if (options == nullptr) {
        *status = -1;
        return;
    }
    // The caller's record is only read; defaults go into a private copy.
    MathNonLinearSolverOptions opt = *options;
    if (opt.maxIterations <= 0) opt.maxIterations = 20;
    if (opt.initialRadiusFactor <= 0.0) opt.initialRadiusFactor = 0.05;
    if (opt.radiusCapFactor <= 0.0) opt.radiusCapFactor = 0.1;
    if (opt.residualTolerance <= 0.0) opt.residualTolerance = 1e-8;
    if (opt.method == 0 || opt.method == 1) {
        NgLevMarq(&opt, m, n, context, callback, traceLevel, traceStream, x, f, step, status);
        return;
    }
    *status = 6;
}
