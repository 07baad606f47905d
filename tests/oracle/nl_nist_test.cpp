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

#include "../../examples/common/nist.hpp"
#include "nl_reference.hpp"
#include "nl_support.hpp"

namespace {

using ex::Dataset;
using ex::ModelFn;

std::string data_dir() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../../data/nist/";
}

Dataset load(const std::string& name) {
    Dataset d;
    EXPECT_TRUE(ex::load_dataset(data_dir() + name + ".dat", name, d)) << "cannot read " << name;
    return d;
}

zt::Problem regression(const Dataset& d, ModelFn model) {
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
    for (const ex::Model& c : ex::kModels) {
        const Dataset d = load(c.name);
        ASSERT_FALSE(d.certified.empty()) << c.name;
        ASSERT_FALSE(d.x.empty()) << c.name;
        const bool finding = std::string(c.name) == "Lanczos3";
        for (int start = 1; start <= 2; ++start) {
            for (double tol : {0.0, 1e-14}) {
                SCOPED_TRACE(testing::Message() << c.name << " start " << start << " tolerance " << tol);
                zt::Problem p = regression(d, c.f);
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
                    const double e = ex::agreeing_digits(r.x[j], d.certified[j]);
                    worst = std::fmin(worst, e);
                    digits += zt::fmt(" %4.1f", e);
                }
                const double ssq_lre = ex::agreeing_digits(r.ssq(), d.certified_rss);
                std::printf("  %-9s start %d tol %-5g: status %d, %3zu evaluations, sum of squares %.10e "
                            "(%4.1f digits), parameters%s\n",
                            c.name, start, tol, r.status, p.count(3), r.ssq(), ssq_lre, digits.c_str());
                EXPECT_LE(r.ssq(), ssq0);
                EXPECT_GE(r.ssq(), d.certified_rss * (1 - 1e-10));
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
