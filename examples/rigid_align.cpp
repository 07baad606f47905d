// Rigid alignment of two point sets with lmmat_: the rotation and
// translation that carry the source points (a drawing) onto the target
// points (a measurement) in the least-squares sense, and how far each
// target lies from its aligned source point.
//
//   rigid_align [--data=DIR] [SOURCE TARGET]
//
// Files hold one point per line, "x y z"; point k of the source belongs to
// point k of the target.  Without names, the bundled bracket is aligned
// (data/align).  The exit status is 0 when the fit succeeded.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/align.hpp"
#include "common/args.hpp"
#include "common/points.hpp"
#include "zolmath.h"

int main(int argc, char** argv) {
    ex::Args args;
    std::vector<std::string> opt;
    if (!ex::parse(argc, argv, {}, args, opt)) return 2;
    if (args.words.empty()) {
        args.words = {args.data + "/align/bracket_drawing.xyz", args.data + "/align/bracket_measured.xyz"};
    } else if (args.words.size() != 2) {
        std::fprintf(stderr, "usage: %s [--data=DIR] [SOURCE TARGET]\n", argv[0]);
        return 2;
    }
    std::vector<double> src, dst;
    if (!ex::read_points(args.words[0], src) || !ex::read_points(args.words[1], dst)) return 1;
    if (src.size() != dst.size()) {
        std::fprintf(stderr, "the files hold %zu and %zu points\n", src.size() / 3, dst.size() / 3);
        return 1;
    }
    const std::int32_t n = static_cast<std::int32_t>(src.size() / 3);
    std::printf("source %s\ntarget %s\n%d point pairs\n\n", args.words[0].c_str(), args.words[1].c_str(), n);

    const ex::Alignment a = ex::align(src, dst);
    if (a.ierr != 0) {
        std::fprintf(stderr, "lmmat_ failed: status %d\n", a.ierr);
        return 1;
    }
    std::printf("rotation (applied to column vectors), determinant %.12f:\n", lvspa3_(a.rot, a.rot + 3, a.rot + 6));
    for (int i = 0; i < 3; ++i)
        std::printf("    [%12.8f %12.8f %12.8f ]\n", a.rot[3 * i], a.rot[3 * i + 1], a.rot[3 * i + 2]);
    std::printf("  a turn by %.6f degrees about the axis (%.6f, %.6f, %.6f)\n", a.angle * ex::kDegrees, a.axis[0],
                a.axis[1], a.axis[2]);
    std::printf("translation before the rotation:  (%.6f, %.6f, %.6f)\n", a.trans[0], a.trans[1], a.trans[2]);
    std::printf("translation after the rotation:   (%.6f, %.6f, %.6f)\n\n", a.trans_after[0], a.trans_after[1],
                a.trans_after[2]);
    std::printf("  %5s %34s %10s\n", "point", "aligned source point", "deviation");
    double sum = 0.0, largest = 0.0;
    for (std::int32_t k = 0; k < n; ++k) {
        const double d = a.deviation[k];
        sum += d * d;
        largest = std::fmax(largest, d);
        std::printf("  %5d (%10.4f, %10.4f, %10.4f) %10.5f\n", k + 1, a.moved[3 * k], a.moved[3 * k + 1],
                    a.moved[3 * k + 2], d);
    }
    std::printf("\nlargest deviation %.5f (lmmat_), %.5f (recomputed); root mean square %.5f\n", a.maxdev, largest,
                std::sqrt(sum / n));
    return 0;
}
