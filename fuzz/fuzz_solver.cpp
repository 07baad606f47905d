// Fuzz target: the nonlinear least-squares solver with residual callbacks
// that may return NaN, infinities and huge values and may fail, and its
// exported kernels (the Levenberg-Marquardt parameter, the scaling update,
// the stopping tests, the reduction ratio and the radius factor).
#include <algorithm>
#include <cmath>

#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

FILE* null_stream() {
    static FILE* s = std::fopen("/dev/null", "w");
    return s;
}

// A scripted reply: 0 (go on / success), negative, positive, or none (the
// callback leaves the reply variable as it is).
constexpr std::int32_t kLeaveAlone = 0x7FFFFFF0;

std::int32_t scripted_reply(Input& in) {
    const std::uint8_t b = in.byte();
    if (b < 0xC0) return 0;
    if (b < 0xD8) return b < 0xD0 ? -1 : -(b & 0x7F) - 1;
    if (b < 0xF0) return b < 0xE8 ? 1 : b;
    return kLeaveAlone;
}

// Residuals f_i = c_i + sum_j L_ij x_j + q_i x_(i mod n)^2 with a matching
// (or, when asked, deliberately wrong) Jacobian; or, as another kind of
// model, values drawn in turn from a pool of arbitrary doubles.  One
// evaluation may have an element replaced by a special value.
struct Model {
    std::int32_t m = 0, n = 0;
    bool pooled = false, wrong_jacobian = false;
    Arr<double> c, lin, quad, pool;
    Arr<std::int32_t> replies3, replies4;
    int poison_call = -1;
    i64 poison_index = 0;
    double poison_value = 0.0;
    int calls3 = 0, calls4 = 0;
    i64 next_pool = 0;

    Model(const Model&) = default;
    Model(Input& in, std::int32_t rows, std::int32_t cols)
        : m(rows), n(cols), c(0), lin(0), quad(0), pool(0), replies3(0), replies4(0) {
        const i64 mm = fz::pos(rows), nn = fz::pos(cols);
        pooled = in.byte() >= 0xD0;
        wrong_jacobian = in.byte() >= 0xE0;
        c = fz::reals(in, mm);
        lin = fz::reals(in, mm * nn);
        quad = fz::reals(in, mm);
        pool = fz::reals(in, in.range(1, 16));
        replies3 = Arr<std::int32_t>(in.range(0, 6));
        for (i64 k = 0; k < replies3.size(); ++k) replies3[k] = scripted_reply(in);
        replies4 = Arr<std::int32_t>(in.range(0, 6));
        for (i64 k = 0; k < replies4.size(); ++k) replies4[k] = scripted_reply(in);
        if (in.byte() >= 0xC0) {
            poison_call = in.range(0, 12);
            poison_index = in.range(0, 63);
            poison_value = in.real();
        }
    }

    double drawn() {
        const double v = pool[next_pool % pool.size()];
        ++next_pool;
        return v;
    }
};

void reply_from(const Arr<std::int32_t>& script, int call, std::int32_t* reply) {
    const std::int32_t r = call < script.size() ? script[call] : 0;
    if (r != kLeaveAlone) *reply = r;
}

int residuals(std::int32_t request, void* context, double* x, double* f, double* jac, std::int32_t* reply) {
    Model& md = *static_cast<Model*>(context);
    FZ_CHECK(request == 3 || request == 4);
    FZ_CHECK(reply != nullptr && x != nullptr);
    if (request == 4) {
        // Both output pointers name one scratch double; nothing is written.
        FZ_CHECK(f == jac);
        reply_from(md.replies4, md.calls4++, reply);
        return 0;
    }
    // Evaluations only happen for a problem with equations and variables.
    FZ_CHECK(md.m >= 1 && md.n >= 1);
    const int call = md.calls3++;
    const i64 m = md.m, n = md.n;
    for (i64 i = 0; i < m; ++i) {
        if (md.pooled) {
            f[i] = md.drawn();
            for (i64 j = 0; j < n; ++j) jac[i + j * m] = md.drawn();
            continue;
        }
        const i64 k = i % n;
        double s = md.c[i];
        for (i64 j = 0; j < n; ++j) s = s + md.lin[i + j * m] * x[j];
        s = s + md.quad[i] * x[k] * x[k];
        f[i] = s;
        for (i64 j = 0; j < n; ++j) jac[i + j * m] = md.lin[i + j * m];
        jac[i + k * m] = jac[i + k * m] + 2.0 * md.quad[i] * x[k];
        if (md.wrong_jacobian) jac[i + k * m] = -jac[i + k * m];
    }
    if (call == md.poison_call) {
        const i64 slot = md.poison_index % (m + m * n);
        if (slot < m)
            f[slot] = md.poison_value;
        else
            jac[slot - m] = md.poison_value;
    }
    reply_from(md.replies3, call, reply);
    return 0;
}

void solver(Input& in) {
    const std::int32_t m = in.range(-1, 6), n = in.range(-1, 5);
    const bool no_options = in.byte() >= 0xF0;
    MathNonLinearSolverOptions opt{};
    opt.method = in.flag() ? in.range(0, 1) : in.any_int();
    opt.maxIterations = in.range(-2, 6);
    opt.checkEachIteration = in.byte() >= 0xC0;
    opt.checkAtEnd = in.byte() >= 0xC0;
    opt.initialRadiusFactor = in.flag() ? 0.0 : in.real();
    opt.radiusCapFactor = in.flag() ? 0.0 : in.real();
    opt.residualTolerance = in.flag() ? 0.0 : in.real();
    opt.reservedTolerance = in.real();
    const Arr<MathNonLinearSolverOptions> options = fz::one(opt);
    const Arr<MathNonLinearSolverOptions> options0(options);
    const std::int32_t trace = in.range(0, 5);
    FILE* stream = in.byte() >= 0xE0 ? nullptr : null_stream();

    const Model model0(in, m, n);
    const Arr<double> x0 = fz::reals(in, n), f0 = fz::reals(in, m), step0 = fz::reals(in, n);
    const Arr<std::int32_t> status0 = fz::one(in.any_int());
    fz::twice([&] {
        Model model(model0);
        Arr<double> x(x0), f(f0), step(step0);
        Arr<std::int32_t> status(status0);
        MathNonLinearSolver(no_options ? nullptr : options.data(), m, n, &model, residuals, trace, stream, x, f,
                            step, status);

        const std::int32_t st = status[0];
        FZ_CHECK(st >= -1 && st <= 6);
        const bool refused = st == -1 || st == 6;
        FZ_CHECK((st == -1) == no_options);
        if (!no_options) FZ_CHECK((st == 6) == (opt.method < 0 || opt.method > 1 || m < 1 || n < 1));
        if (refused || st == 4) {
            // Nothing called; x and f untouched, step untouched or zeroed.
            FZ_CHECK(model.calls3 == 0 && model.calls4 == 0);
            FZ_CHECK(x.same(x0) && f.same(f0));
            if (refused) FZ_CHECK(step.same(step0) && fz::service_requests() == 0);
            if (st == 4)
                for (i64 j = 0; j < step.size(); ++j) FZ_CHECK(fz::same_bits(step[j], 0.0));
        }
        FZ_CHECK((st == 4) == (fz::service_refused() != 0));
        // At most maxIterations + 1 iterations, one evaluation each, after
        // the evaluation of the start point; a check before each of them,
        // one at the start and one at the end.
        const i64 limit = opt.maxIterations > 0 ? opt.maxIterations : 20;
        FZ_CHECK(model.calls3 <= limit + 2);
        FZ_CHECK(model.calls4 <= limit + 3);
        // The caller's record is only read.
        FZ_CHECK(options.same(options0));
        return fz::Prints() << x << f << step << status << i64{model.calls3} << i64{model.calls4};
    });
}

void lm_parameter(Input& in) {
    const Arr<std::int32_t> m = fz::one(in.range(-1, 8)), n = fz::one(in.range(-1, 6));
    const std::uint8_t shape = in.byte();
    const std::int32_t rows = shape < 0x80   ? m[0] + n[0]
                              : shape < 0xC0 ? std::max(m[0], n[0]) + n[0]
                                             : in.range(-2, 20);
    const Arr<std::int32_t> mpn = fz::one(rows);
    const i64 mm = fz::pos(m[0]), nn = fz::pos(n[0]), rr = fz::pos(rows);
    const Arr<double> r = fz::reals(in, mm * nn), qtb = fz::reals(in, std::min(mm, nn));
    Arr<double> a = fz::reals(in, rr * nn), b = fz::reals(in, rr);
    Arr<double> dx = fz::reals(in, nn);
    const Arr<double> d = fz::reals(in, nn);
    Arr<double> par = fz::one(in.flag() ? 0.0 : in.real());
    const Arr<double> delta = fz::one(in.real()), sigma = fz::one(in.flag() ? 0.1 : in.real());
    const Arr<std::int32_t> maxit = fz::one(in.range(-3, 12));
    const Arr<std::int32_t> rank = fz::one(in.flag() ? in.range(0, n[0] + 1) : in.any_int());
    Arr<std::int32_t> pivots(nn);
    for (i64 j = 0; j < nn; ++j) pivots[j] = in.flag() ? in.range(static_cast<std::int32_t>(j + 1), n[0]) : in.any_int();
    Arr<double> work = fz::reals(in, nn);
    Arr<std::int32_t> iter = fz::one(in.any_int());
    const Arr<double> dx0(dx), par0(par), r0(r), qtb0(qtb), d0(d);
    ngpar1_(mpn, m, n, r, qtb, a, b, dx, d, par, delta, sigma, maxit, rank, pivots, work, iter);
    FZ_CHECK(r.same(r0) && qtb.same(qtb0) && d.same(d0));
    const bool inert = n[0] < 1 || m[0] < 1 || rows < 2 * i64{n[0]} || rows < m[0];
    if (inert) FZ_CHECK(iter[0] == -1 && dx.same(dx0) && par.same(par0));
    FZ_CHECK(iter[0] >= -1 && iter[0] <= std::max(maxit[0], 0));
}

// A Jacobian ld by cols with rows in use, ld chosen by leading_dim.  A
// leading dimension below 1 with several columns is read as no matrix at
// all: the array is then empty, so any read of it is reported.
struct Jacobian {
    Arr<std::int32_t> ld, rows, cols;
    Arr<double> a;
    explicit Jacobian(Input& in)
        : ld(fz::one(0)), rows(fz::one(in.count(8))), cols(fz::one(in.count(6))), a(0) {
        ld[0] = fz::leading_dim(in, rows[0], cols[0], true);
        const bool unreadable = ld[0] < 1 && cols[0] > 1;
        a = fz::reals(in, unreadable ? 0 : fz::block_size(ld[0], rows[0], cols[0]));
    }
};

void kernels(Input& in, int which) {
    Jacobian jac(in);
    const i64 rows = fz::pos(jac.rows[0]), cols = fz::pos(jac.cols[0]);
    switch (which) {
        case 0: {
            // ngvsc1_: D only grows.
            Arr<double> d = fz::reals(in, cols);
            const Arr<double> d0(d);
            ngvsc1_(jac.ld, jac.rows, jac.cols, jac.a, d);
            for (i64 j = 0; j < cols; ++j) FZ_CHECK(fz::same_bits(d[j], d0[j]) || d[j] > d0[j]);
            break;
        }
        case 1: {
            // ngstp1_: 0 or 1; other modes leave the scratch alone.
            const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 3) : in.any_int());
            const Arr<double> fnew = fz::reals(in, rows), dx = fz::reals(in, cols), d = fz::reals(in, cols),
                              xnew = fz::reals(in, cols);
            const Arr<double> delta = fz::one(in.real()), par = fz::one(in.real()), tol = fz::one(in.real());
            Arr<double> work = fz::reals(in, std::max(rows, cols));
            const Arr<double> work0(work);
            const std::int32_t r = ngstp1_(mode, jac.ld, jac.rows, jac.cols, jac.a, fnew, dx, d, xnew, delta, par,
                                           tol, work);
            FZ_CHECK(r == 0 || r == 1);
            if (mode[0] < 1 || mode[0] > 3) FZ_CHECK(r == 0 && work.same(work0));
            break;
        }
        default: {
            const Arr<double> f = fz::reals(in, rows), fnew = fz::reals(in, rows), dx = fz::reals(in, cols),
                              d = fz::reals(in, cols);
            const Arr<double> par = fz::one(in.real()), rho = fz::one(in.real());
            if (which == 2) {
                (void)ngrat1_(jac.ld, jac.rows, jac.cols, jac.a, f, fnew, dx, d, par);
            } else {
                const double t = ngups1_(jac.ld, jac.rows, jac.cols, jac.a, f, fnew, dx, d, par, rho);
                if (rho[0] > 0.25) FZ_CHECK(t == 1.0 || t == 2.0);
            }
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        const int sel = in.byte() % 6;
        if (sel == 0)
            solver(in);
        else if (sel == 1)
            lm_parameter(in);
        else
            kernels(in, sel - 2);
    });
}
