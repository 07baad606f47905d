// The demonstration: a nonlinear curve fit on certified reference data and
// a rigid alignment of measured points, with a plot of both written as SVG.
//
//   demo [--data=DIR] [--svg=FILE]
//
// 1. MathNonLinearSolver fits the eight-parameter model of the Gauss1
//    dataset (data/nist: two Gaussian peaks on an exponential baseline, 250
//    observations) and the fitted parameters are set beside the certified
//    values.
// 2. lmmat_ aligns the drawing points of a bracket with their measurement
//    (data/align) and reports the rotation, translation and deviations.
// 3. The plot (default demo.svg) shows the data with the fitted curve, the
//    residuals, and the deviation of every aligned point.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/align.hpp"
#include "common/args.hpp"
#include "common/nist.hpp"
#include "common/points.hpp"
#include "common/svg.hpp"

namespace {

template <class... T>
std::string format(const char* f, T... values) {
    char buf[256];
    std::snprintf(buf, sizeof buf, f, values...);
    return buf;
}

std::string plot(const ex::Dataset& d, const ex::Model& model, const ex::Fit& fit, const ex::Alignment& a) {
    ex::Svg svg(900, 860);
    svg.text(450, 30, "ZOLmath: nonlinear least squares and rigid alignment", "middle", 18, 0.0, "bold");

    // The data with the fitted curve.
    ex::Panel top{80, 80, 780, 300, 0, 250, 0, 160};
    top.axes(svg, "Gauss1 (NIST StRD): 250 observations and the fitted model", "x", "y");
    for (std::size_t i = 0; i < d.x.size(); ++i) svg.circle(top.X(d.x[i]), top.Y(d.y[i]), 2.2, "fill:#1f77b4;fill-opacity:0.7");
    std::vector<std::pair<double, double>> curve;
    double g[8];
    for (int k = 0; k <= 500; ++k) {
        const double x = d.x.front() + (d.x.back() - d.x.front()) * k / 500.0;
        curve.emplace_back(top.X(x), top.Y(model.f(fit.b.data(), x, g)));
    }
    svg.polyline(curve, "fill:none;stroke:#d62728;stroke-width:2");
    svg.circle(top.left + 490, top.top + 24, 3, "fill:#1f77b4");
    svg.text(top.left + 500, top.top + 28, "observations", "start", 12);
    svg.line(top.left + 482, top.top + 44, top.left + 498, top.top + 44, "stroke:#d62728;stroke-width:2");
    svg.text(top.left + 500, top.top + 48, "fitted by MathNonLinearSolver", "start", 12);
    svg.text(top.left + 500, top.top + 68, format("RSS %.6f (certified %.6f)", fit.rss(), d.certified_rss), "start",
             12);
    double worst = 11.0;
    for (std::size_t j = 0; j < d.certified.size(); ++j)
        worst = std::fmin(worst, ex::agreeing_digits(fit.b[j], d.certified[j]));
    svg.text(top.left + 500, top.top + 88, format("every parameter agrees in %.1f digits", worst), "start", 12);

    // The residuals.
    ex::Panel mid{80, 440, 780, 150, 0, 250, -8, 8};
    mid.axes(svg, "Residuals: model minus observation", "x", "residual");
    svg.line(mid.X(0), mid.Y(0), mid.X(250), mid.Y(0), "stroke:#444;stroke-width:1");
    for (std::size_t i = 0; i < d.x.size(); ++i) {
        svg.line(mid.X(d.x[i]), mid.Y(0), mid.X(d.x[i]), mid.Y(fit.res[i]), "stroke:#9467bd;stroke-width:1");
        svg.circle(mid.X(d.x[i]), mid.Y(fit.res[i]), 1.6, "fill:#9467bd");
    }

    // The alignment deviations.
    const int n = static_cast<int>(a.deviation.size());
    ex::Panel low{80, 650, 780, 140, 0.5, n + 0.5, 0, 40};
    low.axes(svg, "Bracket alignment (lmmat_): deviation of each measured point, micrometres", "point", "deviation");
    for (int k = 0; k < n; ++k) {
        const double um = a.deviation[k] * 1000.0;
        svg.rect(low.X(k + 0.7), low.Y(um), low.X(k + 1.3) - low.X(k + 0.7), low.Y(0) - low.Y(um), "fill:#2ca02c");
    }
    svg.text(low.left + 10, low.top + 20,
             format("turn by %.4f degrees about (%.4f, %.4f, %.4f), then shift by (%.3f, %.3f, %.3f) mm",
                    a.angle * ex::kDegrees, a.axis[0], a.axis[1], a.axis[2], a.trans_after[0], a.trans_after[1],
                    a.trans_after[2]),
             "start", 12);
    svg.text(low.left + 10, low.top + 38, format("largest deviation %.1f micrometres", a.maxdev * 1000.0), "start",
             12);
    return svg.str();
}

}  // namespace

int main(int argc, char** argv) {
    ex::Args args;
    std::vector<std::string> opt;
    if (!ex::parse(argc, argv, {"--svg="}, args, opt)) return 2;
    const std::string svg_path = opt[0].empty() ? "demo.svg" : opt[0];

    std::printf("1. Curve fit: Gauss1 from the first certified start (MathNonLinearSolver)\n");
    ex::Dataset d;
    const ex::Model& model = *ex::find_model("Gauss1");
    if (!ex::load_dataset(args.data + "/nist/Gauss1.dat", "Gauss1", d)) {
        std::fprintf(stderr, "cannot read Gauss1 from %s/nist\n", args.data.c_str());
        return 1;
    }
    std::printf("  y = %s\n", model.formula);
    const ex::Fit fit = ex::fit(d, model, d.start1, 1e-14);
    ex::print_fit(d, fit);

    std::printf("\n2. Rigid alignment: bracket drawing onto its measurement (lmmat_)\n");
    std::vector<double> src, dst;
    if (!ex::read_points(args.data + "/align/bracket_drawing.xyz", src) ||
        !ex::read_points(args.data + "/align/bracket_measured.xyz", dst) || src.size() != dst.size())
        return 1;
    const ex::Alignment a = ex::align(src, dst);
    std::printf("  %zu point pairs, status %d\n", src.size() / 3, a.ierr);
    std::printf("  rotation: a turn by %.6f degrees about (%.6f, %.6f, %.6f)\n", a.angle * ex::kDegrees, a.axis[0],
                a.axis[1], a.axis[2]);
    std::printf("  translation after the rotation: (%.4f, %.4f, %.4f) mm\n", a.trans_after[0], a.trans_after[1],
                a.trans_after[2]);
    std::printf("  largest deviation %.4f mm\n", a.maxdev);
    if (fit.status != 0 || a.ierr != 0) return 1;

    std::ofstream out(svg_path);
    out << plot(d, model, fit, a);
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", svg_path.c_str());
        return 1;
    }
    std::printf("\n3. Plot of the fit, its residuals and the alignment written to %s\n", svg_path.c_str());
    return 0;
}
