// Best-fit rigid motion against Eigen's umeyama, and the rotation taking one
// direction onto another against Eigen's AngleAxisd.
#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <cmath>
#include <vector>

#include "common.hpp"
#include "zolmath.h"

namespace {

// Target points: a rotation and translation of the source points plus a
// small perturbation, so that the fit is not exact.
struct PointPairs {
    std::vector<double> src, dst;
    explicit PointPairs(int n) : src(zb::uniform(3 * std::size_t(n), 41, -10.0, 10.0)), dst(src.size()) {
        const Eigen::Matrix3d r =
            Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
        const std::vector<double> noise = zb::uniform(src.size(), 42, -1e-3, 1e-3);
        for (int k = 0; k < n; ++k) {
            const Eigen::Vector3d p = r * Eigen::Vector3d(src[3 * k], src[3 * k + 1], src[3 * k + 2]) +
                                      Eigen::Vector3d(0.5, -2.0, 3.0);
            for (int c = 0; c < 3; ++c) dst[3 * k + c] = p[c] + noise[3 * k + c];
        }
    }
};

void fit_zol(benchmark::State& st, int n) {
    const PointPairs pp(n);
    double rot[9], trans[3], maxdev = 0;
    const int32_t fitmode = 0, weighted = 0, wantdev = 0;
    int32_t ierr = 0;
    for (auto _ : st) {
        lmmat_(&fitmode, &n, &weighted, nullptr, pp.src.data(), pp.dst.data(), rot, trans, &wantdev, &maxdev,
               &ierr);
        benchmark::DoNotOptimize(rot);
        benchmark::DoNotOptimize(trans);
    }
    if (ierr != 0) st.SkipWithError("lmmat_ failed");
}

void fit_eigen(benchmark::State& st, int n) {
    const PointPairs pp(n);
    const Eigen::Map<const Eigen::Matrix3Xd> src(pp.src.data(), 3, n), dst(pp.dst.data(), 3, n);
    Eigen::Matrix4d t;
    for (auto _ : st) {
        t = Eigen::umeyama(src, dst, false);
        benchmark::DoNotOptimize(t.data());
    }
}

void rot_zol(benchmark::State& st) {
    const std::vector<double> v = zb::uniform(6 * 64, 51);
    double out[9];
    std::size_t k = 0;
    for (auto _ : st) {
        MathRotVector(&v[6 * k], &v[6 * k + 3], out);
        benchmark::DoNotOptimize(out);
        k = (k + 1) & 63;
    }
}

void rot_eigen(benchmark::State& st) {
    const std::vector<double> v = zb::uniform(6 * 64, 51);
    Eigen::Matrix3d out;
    std::size_t k = 0;
    for (auto _ : st) {
        const Eigen::Vector3d a(&v[6 * k]), b(&v[6 * k + 3]);
        const Eigen::Vector3d axis = a.cross(b);
        const double angle = std::atan2(axis.norm(), a.dot(b));
        out = Eigen::AngleAxisd(angle, axis.normalized()).toRotationMatrix();
        benchmark::DoNotOptimize(out.data());
        k = (k + 1) & 63;
    }
}

}  // namespace

void zb::register_geometry() {
    using benchmark::RegisterBenchmark;
    for (const int n : {4, 100, 10000, 1000000}) {
        const std::string d = std::to_string(n);
        zb::shape(RegisterBenchmark(("fit/zol/" + d).c_str(), fit_zol, n), 100.0 * n, 1e8);
        zb::shape(RegisterBenchmark(("fit/eigen/" + d).c_str(), fit_eigen, n), 100.0 * n, 1e8);
    }
    zb::shape(RegisterBenchmark("rot/zol/1", rot_zol), 1);
    zb::shape(RegisterBenchmark("rot/eigen/1", rot_eigen), 1);
}
