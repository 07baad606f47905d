// The best-fit rigid motion of two point sets with lmmat_, and the
// deviation of every target point from its aligned source point.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "zolmath.h"

namespace ex {

inline constexpr double kDegrees = 180.0 / 3.141592653589793;

struct Alignment {
    double rot[9];           // rotation for column vectors (rows stored one after the other)
    double trans[3];         // target = rot (source + trans)
    double trans_after[3];   // the same motion as target = rot source + trans_after
    double angle = 0.0;      // the rotation as a turn by angle (radians) about axis
    double axis[3] = {0.0, 0.0, 0.0};
    double maxdev = 0.0;     // largest deviation, as lmmat_ reports it
    std::vector<double> moved;      // source points moved by the motion
    std::vector<double> deviation;  // distance of each target from its moved source point
    std::int32_t ierr = 0;
};

// src and dst hold the same number of points, three doubles each.
inline Alignment align(const std::vector<double>& src, const std::vector<double>& dst) {
    Alignment a;
    const std::int32_t n = static_cast<std::int32_t>(src.size() / 3);
    const std::int32_t rotate = 0, unweighted = 0, want_deviation = 1, one = 1;
    lmmat_(&rotate, &n, &unweighted, nullptr, src.data(), dst.data(), a.rot, a.trans, &want_deviation, &a.maxdev,
           &a.ierr);
    if (a.ierr != 0) return a;
    const double origin[3] = {0.0, 0.0, 0.0};
    lmrot3_(a.rot, origin, a.trans, &one, a.trans_after);
    // trace = 1 + 2 cos(angle); the antisymmetric part is sin(angle) times
    // the axis.
    const double cosine = (a.rot[0] + a.rot[4] + a.rot[8] - 1.0) * 0.5;
    a.angle = haacos_(&cosine);
    const double skew[3] = {a.rot[7] - a.rot[5], a.rot[2] - a.rot[6], a.rot[3] - a.rot[1]};
    std::int32_t ierr = 0;
    lvnrm3_(skew, a.axis, &ierr);
    a.moved.resize(src.size());
    lmmvs3_(src.data(), &n, a.trans, a.moved.data());
    lmrot3_(a.rot, origin, a.moved.data(), &n, a.moved.data());
    for (std::int32_t k = 0; k < n; ++k) {
        double d2 = 0.0;
        lvdis3_(&a.moved[3 * k], &dst[3 * k], &d2);
        a.deviation.push_back(std::sqrt(d2));
    }
    return a;
}

}  // namespace ex
