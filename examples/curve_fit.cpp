// Nonlinear curve fitting with MathNonLinearSolver on the certified
// regression datasets of data/nist: for each dataset the fitted parameters
// and residual sum of squares beside the certified values, with the number
// of digits that agree.
//
//   curve_fit [--start=1|2] [--tol=T] [--trace[=4]] [--data=DIR] [DATASET...]
//
// Without names, every bundled dataset is fitted.  --trace writes the
// solver's own trace (level 3; 4 adds the Householder flags) to standard
// output.  The default tolerance of 1e-14 asks for every digit the method
// can give.  The exit status is 0 when every dataset was read and every run
// ended normally (converged, or at the iteration limit, which is reported).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/args.hpp"
#include "common/nist.hpp"

int main(int argc, char** argv) {
    ex::Args args;
    std::vector<std::string> opt;
    if (!ex::parse(argc, argv, {"--start=", "--tol=", "--trace", "--trace="}, args, opt)) return 2;
    const int start = opt[0].empty() ? 1 : std::atoi(opt[0].c_str());
    const double tol = opt[1].empty() ? 1e-14 : std::atof(opt[1].c_str());
    const std::int32_t trace = !opt[3].empty() ? std::atoi(opt[3].c_str()) : (opt[2].empty() ? 0 : 3);
    if (start != 1 && start != 2) {
        std::fprintf(stderr, "--start must be 1 or 2\n");
        return 2;
    }
    if (args.words.empty())
        for (const ex::Model& m : ex::kModels) args.words.push_back(m.name);

    int failed = 0;
    for (const std::string& name : args.words) {
        const ex::Model* model = ex::find_model(name);
        ex::Dataset d;
        const std::string path = args.data + "/nist/" + name + ".dat";
        if (model == nullptr || !ex::load_dataset(path, name, d)) {
            std::fprintf(stderr, "%s: no such dataset (%s)\n", name.c_str(), path.c_str());
            ++failed;
            continue;
        }
        std::printf("%s: y = %s\n", name.c_str(), model->formula);
        std::printf("  %zu observations, %zu parameters, start %d, tolerance %g\n", d.x.size(),
                    d.certified.size(), start, tol);
        std::fflush(stdout);
        const ex::Fit r = ex::fit(d, *model, start == 1 ? d.start1 : d.start2, tol, trace);
        ex::print_fit(d, r);
        if (r.status != 0 && r.status != 2) ++failed;
        std::printf("\n");
    }
    return failed == 0 ? 0 : 1;
}
