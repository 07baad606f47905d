// The certified nonlinear regression datasets bundled in data/nist: reading
// a file, the models with their derivatives, and a fit with
// MathNonLinearSolver.
#pragma once

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "zolmath.h"

namespace ex {

struct Dataset {
    std::string name;
    std::vector<double> start1, start2, certified, certified_sd;
    double certified_rss = 0.0;
    std::vector<double> x, y;  // predictor and response, in file order
};

// Reads a dataset file; returns false when it cannot be read or is not one.
inline bool load_dataset(const std::string& path, const std::string& name, Dataset& d) {
    std::ifstream in(path);
    if (!in) return false;
    d = Dataset{};
    d.name = name;
    std::string line;
    bool data = false;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string first;
        s >> first;
        if (data) {
            double y = 0.0, x = 0.0;
            if (std::istringstream(line) >> y >> x) {
                d.y.push_back(y);
                d.x.push_back(x);
            }
        } else if (first.size() >= 2 && first[0] == 'b' && std::isdigit(static_cast<unsigned char>(first[1]))) {
            // "b1 = start1 start2 certified sd"
            std::string eq;
            double s1 = 0.0, s2 = 0.0, c = 0.0, sd = 0.0;
            if (s >> eq >> s1 >> s2 >> c >> sd && eq == "=") {
                d.start1.push_back(s1);
                d.start2.push_back(s2);
                d.certified.push_back(c);
                d.certified_sd.push_back(sd);
            }
        } else if (line.rfind("Residual Sum of Squares:", 0) == 0) {
            d.certified_rss = std::stod(line.substr(line.find(':') + 1));
        } else if (first == "Data:" && line.find("Response") == std::string::npos) {
            data = true;  // the column header "Data:   y   x" starts the observations
        }
    }
    return !d.certified.empty() && !d.x.empty() && d.start1.size() == d.certified.size();
}

// A model: its value at x for the parameters b, with the derivatives with
// respect to b in g.
using ModelFn = double (*)(const double* b, double x, double* g);

struct Model {
    const char* name;
    const char* formula;
    ModelFn f;
};

inline double misra1a(const double* b, double x, double* g) {
    const double e = std::exp(-b[1] * x);
    g[0] = 1.0 - e;
    g[1] = b[0] * x * e;
    return b[0] * (1.0 - e);
}

inline double misra1b(const double* b, double x, double* g) {
    const double u = 1.0 + b[1] * x / 2.0;
    g[0] = 1.0 - 1.0 / (u * u);
    g[1] = b[0] * x / (u * u * u);
    return b[0] * (1.0 - 1.0 / (u * u));
}

inline double chwirut(const double* b, double x, double* g) {
    const double e = std::exp(-b[0] * x), d = b[1] + b[2] * x;
    g[0] = -x * e / d;
    g[1] = -e / (d * d);
    g[2] = -x * e / (d * d);
    return e / d;
}

inline double danwood(const double* b, double x, double* g) {
    const double p = std::pow(x, b[1]);
    g[0] = p;
    g[1] = b[0] * p * std::log(x);
    return b[0] * p;
}

inline double gauss1(const double* b, double x, double* g) {
    const double e1 = std::exp(-b[1] * x);
    const double u = x - b[3], v = x - b[6];
    const double e2 = std::exp(-u * u / (b[4] * b[4])), e3 = std::exp(-v * v / (b[7] * b[7]));
    g[0] = e1;
    g[1] = -b[0] * x * e1;
    g[2] = e2;
    g[3] = b[2] * e2 * 2.0 * u / (b[4] * b[4]);
    g[4] = b[2] * e2 * 2.0 * u * u / (b[4] * b[4] * b[4]);
    g[5] = e3;
    g[6] = b[5] * e3 * 2.0 * v / (b[7] * b[7]);
    g[7] = b[5] * e3 * 2.0 * v * v / (b[7] * b[7] * b[7]);
    return b[0] * e1 + b[2] * e2 + b[5] * e3;
}

inline double lanczos3(const double* b, double x, double* g) {
    double y = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double e = std::exp(-b[2 * k + 1] * x);
        g[2 * k] = e;
        g[2 * k + 1] = -b[2 * k] * x * e;
        y += b[2 * k] * e;
    }
    return y;
}

inline double kirby2(const double* b, double x, double* g) {
    const double num = b[0] + b[1] * x + b[2] * x * x, den = 1.0 + b[3] * x + b[4] * x * x;
    g[0] = 1.0 / den;
    g[1] = x / den;
    g[2] = x * x / den;
    g[3] = -num * x / (den * den);
    g[4] = -num * x * x / (den * den);
    return num / den;
}

inline const Model kModels[] = {
    {"Misra1a", "b1*(1-exp(-b2*x))", misra1a},
    {"Misra1b", "b1*(1-(1+b2*x/2)^(-2))", misra1b},
    {"Chwirut1", "exp(-b1*x)/(b2+b3*x)", chwirut},
    {"Chwirut2", "exp(-b1*x)/(b2+b3*x)", chwirut},
    {"DanWood", "b1*x^b2", danwood},
    {"Gauss1", "b1*exp(-b2*x) + b3*exp(-(x-b4)^2/b5^2) + b6*exp(-(x-b7)^2/b8^2)", gauss1},
    {"Lanczos3", "b1*exp(-b2*x) + b3*exp(-b4*x) + b5*exp(-b6*x)", lanczos3},
    {"Kirby2", "(b1 + b2*x + b3*x^2) / (1 + b4*x + b5*x^2)", kirby2},
};

inline const Model* find_model(const std::string& name) {
    for (const Model& m : kModels)
        if (name == m.name) return &m;
    return nullptr;
}

// Digits of value that agree with the certified value (the log relative
// error), at most the 11 that the certified values carry.
inline double agreeing_digits(double value, double certified) {
    if (!std::isfinite(value)) return 0.0;
    if (value == certified) return 11.0;
    const double e = -std::log10(std::fabs(value - certified) / std::fabs(certified));
    return e < 0.0 ? 0.0 : (e > 11.0 ? 11.0 : e);
}

struct Fit {
    std::vector<double> b;    // fitted parameters
    std::vector<double> res;  // residuals model - y at b
    std::int32_t status = -99;
    int evaluations = 0;
    double rss() const {
        double s = 0.0;
        for (double r : res) s += r * r;
        return s;
    }
};

struct FitContext {
    const Dataset* d;
    ModelFn f;
    int evaluations;
};

// The solver's residual callback: residual i = model(x_i) - y_i, and row i
// of the Jacobian the model's gradient there.  The check request (4) is
// answered with "go on".
inline int residuals(std::int32_t request, void* context, double* b, double* res, double* jac,
                     std::int32_t* reply) {
    auto* c = static_cast<FitContext*>(context);
    if (request == 3) {
        const std::size_t m = c->d->x.size(), n = c->d->certified.size();
        double g[8];
        for (std::size_t i = 0; i < m; ++i) {
            res[i] = c->f(b, c->d->x[i], g) - c->d->y[i];
            for (std::size_t j = 0; j < n; ++j) jac[i + j * m] = g[j];
        }
        ++c->evaluations;
    }
    *reply = 0;
    return 0;
}

// Fits the model to the dataset from the given start.  trace_level above 2
// writes the solver's trace to trace (stdout when null).
inline Fit fit(const Dataset& d, const Model& model, const std::vector<double>& start, double tolerance,
               std::int32_t trace_level = 0, std::FILE* trace = nullptr) {
    Fit r;
    r.b = start;
    r.res.assign(d.x.size(), 0.0);
    std::vector<double> step(start.size());
    MathNonLinearSolverOptions o{};
    o.method = 0;
    o.maxIterations = 500;
    o.residualTolerance = tolerance;
    FitContext c{&d, model.f, 0};
    MathNonLinearSolver(&o, static_cast<std::int32_t>(d.x.size()), static_cast<std::int32_t>(start.size()), &c,
                        residuals, trace_level, trace != nullptr ? trace : stdout, r.b.data(), r.res.data(),
                        step.data(), &r.status);
    r.evaluations = c.evaluations;
    return r;
}

// Prints the fit beside the certified values, with the digits that agree.
inline void print_fit(const Dataset& d, const Fit& r) {
    std::printf("  status %d after %d evaluations of residuals and Jacobian\n", r.status, r.evaluations);
    std::printf("  %-10s %22s %22s %7s\n", "parameter", "fitted", "certified", "digits");
    for (std::size_t j = 0; j < d.certified.size(); ++j)
        std::printf("  b%-9zu %22.10e %22.10e %7.1f\n", j + 1, r.b[j], d.certified[j],
                    agreeing_digits(r.b[j], d.certified[j]));
    std::printf("  %-10s %22.10e %22.10e %7.1f\n", "RSS", r.rss(), d.certified_rss,
                agreeing_digits(r.rss(), d.certified_rss));
    if (r.status == 2) std::printf("  (iteration limit reached: the fit has not converged to the tolerance)\n");
}

}  // namespace ex
