// The solver on the certified nonlinear regression datasets (data/nist),
// from both starting points of each file: the number of digits that agree
// with the certified parameters (log relative error, LRE) per parameter.
#include <cctype>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nl_reference.hpp"
#include "nl_support.hpp"

namespace {

struct Dataset {
    std::string name;
    std::vector<double> start1, start2, certified;
    double certified_ssq = 0.0;
    std::vector<double> x, y;
};

std::string data_dir() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../../data/nist/";
}

Dataset load(const std::string& name) {
    Dataset d;
    d.name = name;
    std::ifstream in(data_dir() + name + ".dat");
    EXPECT_TRUE(in.good()) << "cannot read " << name;
    std::string line;
    bool data = false;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string first;
        s >> first;
        if (data) {
            double y = 0.0, x = 0.0;
            std::istringstream v(line);
            if (v >> y >> x) {
                d.y.push_back(y);
                d.x.push_back(x);
            }
            continue;
        }
        if (first.size() >= 2 && first[0] == 'b' && std::isdigit(static_cast<unsigned char>(first[1]))) {
            std::string eq;
            double s1 = 0.0, s2 = 0.0, c = 0.0;
            if (s >> eq >> s1 >> s2 >> c && eq == "=") {
                d.start1.push_back(s1);
                d.start2.push_back(s2);
                d.certified.push_back(c);
            }
        } else if (line.rfind("Residual Sum of Squares:", 0) == 0) {
            d.certified_ssq = std::stod(line.substr(line.find(':') + 1));
        } else if (first == "Data:" && line.find('y') != std::string::npos &&
                   line.find("Response") == std::string::npos) {
            data = true;
        }
    }
    return d;
}

// Model value and gradient with respect to b at one predictor value.
using Model = double (*)(const double* b, double x, double* grad);

double misra1a(const double* b, double x, double* g) {
    const double e = std::exp(-b[1] * x);
    g[0] = 1.0 - e;
    g[1] = b[0] * x * e;
    return b[0] * (1.0 - e);
}

double misra1b(const double* b, double x, double* g) {
    const double u = 1.0 + b[1] * x / 2.0;
    g[0] = 1.0 - 1.0 / (u * u);
    g[1] = b[0] * x / (u * u * u);
    return b[0] * (1.0 - 1.0 / (u * u));
}

double chwirut(const double* b, double x, double* g) {
    const double e = std::exp(-b[0] * x), d = b[1] + b[2] * x;
    g[0] = -x * e / d;
    g[1] = -e / (d * d);
    g[2] = -x * e / (d * d);
    return e / d;
}

double danwood(const double* b, double x, double* g) {
    const double p = std::pow(x, b[1]);
    g[0] = p;
    g[1] = b[0] * p * std::log(x);
    return b[0] * p;
}

double gauss1(const double* b, double x, double* g) {
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

double lanczos3(const double* b, double x, double* g) {
    double y = 0.0;
    for (int k = 0; k < 3; ++k) {
        const double e = std::exp(-b[2 * k + 1] * x);
        g[2 * k] = e;
        g[2 * k + 1] = -b[2 * k] * x * e;
        y += b[2 * k] * e;
    }
    return y;
}

double kirby2(const double* b, double x, double* g) {
    const double num = b[0] + b[1] * x + b[2] * x * x, den = 1.0 + b[3] * x + b[4] * x * x;
    g[0] = 1.0 / den;
    g[1] = x / den;
    g[2] = x * x / den;
    g[3] = -num * x / (den * den);
    g[4] = -num * x * x / (den * den);
    return num / den;
}

zt::Problem regression(const Dataset& d, Model model) {
    zt::Problem p;
    p.m = static_cast<std::int32_t>(d.x.size());
    p.n = static_cast<std::int32_t>(d.certified.size());
    p.eval = [&d, model, m = p.m, n = p.n](const double* b, double* f, double* J) {
        double g[8];
        for (int i = 0; i < m; ++i) {
            f[i] = model(b, d.x[i], g) - d.y[i];
            for (int j = 0; j < n; ++j) J[i + j * m] = g[j];
        }
    };
    return p;
}

// Digits that agree with the certified value, at most the 11 it carries.
double lre(double value, double certified) {
    if (!std::isfinite(value)) return 0.0;
    if (value == certified) return 11.0;
    const double e = -std::log10(std::fabs(value - certified) / std::fabs(certified));
    return e < 0.0 ? 0.0 : (e > 11.0 ? 11.0 : e);
}

struct Case {
    const char* name;
    Model model;
};

const Case kCases[] = {{"Misra1a", misra1a}, {"Misra1b", misra1b},   {"Chwirut1", chwirut},
                       {"Chwirut2", chwirut}, {"DanWood", danwood},   {"Gauss1", gauss1},
                       {"Lanczos3", lanczos3}, {"Kirby2", kirby2}};

}  // namespace

// Two runs per start: the default options (tolerance 1e-8), as a caller
// would start, and a tolerance of 1e-14 that asks for every digit the
// method can give.  Where the method converges the sum of squares agrees in
// ten digits or more and the parameters in at least 5 (default) or 7
// (tight) digits; the default runs are also bit for bit those of the plain
// reading of the iteration without the stopping guard.
//
// Recorded finding, Lanczos3 (both starts): the residuals at the minimum
// are about 1e-4 in length and the last columns of R are tiny, so the inner
// products of the later reflections with -f fall below the fixed 1e-8 with
// which the Householder application leaves a vector unchanged.  Those
// reflections are skipped, the Gauss-Newton step is no longer one, and the
// run stops (status 0, by the radius test) with the sum of squares about
// 0.1 % above the certified one and 2 to 3 digits in the parameters.  Two
// plain Gauss-Newton steps from that point reach the certified value.
TEST(CertifiedRegression, DigitsAgreeingWithTheCertifiedValues) {
    for (const Case& c : kCases) {
        const Dataset d = load(c.name);
        ASSERT_FALSE(d.certified.empty()) << c.name;
        ASSERT_FALSE(d.x.empty()) << c.name;
        const bool finding = std::string(c.name) == "Lanczos3";
        for (int start = 1; start <= 2; ++start) {
            for (double tol : {0.0, 1e-14}) {
                SCOPED_TRACE(testing::Message() << c.name << " start " << start << " tolerance " << tol);
                zt::Problem p = regression(d, c.model);
                const std::vector<double>& x0 = start == 1 ? d.start1 : d.start2;
                std::vector<double> f0(d.x.size()), J0(d.x.size() * d.certified.size());
                p.eval(x0.data(), f0.data(), J0.data());
                double ssq0 = 0.0;
                for (double v : f0) ssq0 += v * v;
                const MathNonLinearSolverOptions o = zt::options(500, 0.0, tol);
                const zt::SolverRun r = zt::solve(p, o, x0);
                double worst = 11.0;
                std::string digits;
                for (std::size_t j = 0; j < d.certified.size(); ++j) {
                    const double e = lre(r.x[j], d.certified[j]);
                    worst = std::fmin(worst, e);
                    digits += zt::fmt(" %4.1f", e);
                }
                const double ssq_lre = lre(r.ssq(), d.certified_ssq);
                std::printf("  %-9s start %d tol %-5g: status %d, %3zu evaluations, sum of squares %.10e "
                            "(%4.1f digits), parameters%s\n",
                            c.name, start, tol, r.status, p.count(3), r.ssq(), ssq_lre, digits.c_str());
                EXPECT_LE(r.ssq(), ssq0);
                EXPECT_GE(r.ssq(), d.certified_ssq * (1 - 1e-10));
                if (tol == 0.0) {
                    const zt::SolverRun ref = zt::reference_solve(p, o, x0);
                    if (!ref.worse_final) {
                        EXPECT_EQ(std::memcmp(ref.x.data(), r.x.data(), r.x.size() * sizeof(double)), 0);
                        EXPECT_EQ(ref.status, r.status);
                    }
                }
                if (finding) {
                    EXPECT_GE(ssq_lre, 2.5);
                    continue;
                }
                EXPECT_EQ(r.status, 0);
                EXPECT_GE(ssq_lre, 10.0);
                EXPECT_GE(worst, tol == 0.0 ? 5.0 : 7.0);
            }
        }
    }
}
