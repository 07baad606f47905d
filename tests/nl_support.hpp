// Helpers for the nonlinear least-squares tests: a residual problem behind
// the solver's C callback that records every call, and a run wrapper that
// captures the trace as text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support.hpp"

namespace zt {

// Residuals f (m) and Jacobian (m by n, column-major, leading dimension m)
// at x.
using Residuals = std::function<void(const double* x, double* f, double* jac)>;

struct Call {
    std::int32_t request;
    std::vector<double> x;
    const double* f;
    const double* jac;
};

struct Problem {
    std::int32_t m = 0;
    std::int32_t n = 0;
    Residuals eval;
    // Optional: answers a call (index counts all calls from 0) through reply.
    std::function<void(std::int32_t request, std::size_t index, std::int32_t* reply)> answer;
    std::vector<Call> calls;

    std::size_t count(std::int32_t request) const {
        std::size_t c = 0;
        for (const Call& k : calls) c += k.request == request ? 1 : 0;
        return c;
    }
};

inline int solver_callback(std::int32_t request, void* context, double* x, double* f, double* jac,
                           std::int32_t* reply) {
    auto* p = static_cast<Problem*>(context);
    const std::size_t index = p->calls.size();
    p->calls.push_back({request, std::vector<double>(x, x + p->n), f, jac});
    if (request == 3) p->eval(x, f, jac);
    if (p->answer) p->answer(request, index, reply);
    return 0;
}

// Two equations in three variables (fewer equations than variables):
// x0 + x1 + x2 = 3 and x0 x1 + x2^2 = 2, with its exact Jacobian.
inline Problem underdetermined_problem() {
    Problem p;
    p.m = 2;
    p.n = 3;
    p.eval = [](const double* x, double* f, double* J) {
        f[0] = x[0] + x[1] + x[2] - 3.0;
        f[1] = x[0] * x[1] + x[2] * x[2] - 2.0;
        const double j[6] = {1.0, x[1], 1.0, x[0], 1.0, 2.0 * x[2]};
        for (int k = 0; k < 6; ++k) J[k] = j[k];
    };
    return p;
}

inline MathNonLinearSolverOptions options(std::int32_t max_iterations = 0, double radius_factor = 0.0,
                                          double tolerance = 0.0) {
    MathNonLinearSolverOptions o{};
    o.method = 0;
    o.maxIterations = max_iterations;
    o.initialRadiusFactor = radius_factor;
    o.residualTolerance = tolerance;
    return o;
}

struct SolverRun {
    std::vector<double> x, f, step;
    std::int32_t status = -99;
    std::string trace;
    // Reference runs: a stopping test ended the run on a trial point with a
    // larger residual norm (x and f kept the current point).
    bool worse_final = false;

    double ssq() const {
        double s = 0.0;
        for (double v : f) s += v * v;
        return s;
    }
};

// Reads everything written to a temporary stream.
inline std::string slurp(std::FILE* s) {
    std::string out;
    std::rewind(s);
    char buf[4096];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, s)) > 0) out.append(buf, got);
    return out;
}

inline SolverRun solve(Problem& p, const MathNonLinearSolverOptions& o, const std::vector<double>& x0,
                 std::int32_t trace_level = 0) {
    SolverRun r;
    r.x = x0;
    r.f.assign(static_cast<std::size_t>(p.m > 0 ? p.m : 0), 0.0);
    r.step.assign(static_cast<std::size_t>(p.n > 0 ? p.n : 0), 0.0);
    std::FILE* s = trace_level > 2 ? std::tmpfile() : nullptr;
    MathNonLinearSolver(&o, p.m, p.n, &p, solver_callback, trace_level, s, r.x.data(), r.f.data(),
                        r.step.data(), &r.status);
    if (s != nullptr) {
        r.trace = slurp(s);
        std::fclose(s);
    }
    return r;
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string cur;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    return lines;
}

template <class... A>
std::string fmt(const char* format, A... args) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

}  // namespace zt
