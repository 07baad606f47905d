// General and 3 by 3 matrices, rotations and reflections, point lists and
// frame transforms, the best-fit rigid motion and control-net motion:
// worked examples and edge cases as rows run by one loop per shape, and
// properties (a proper rotation, the expected motion) where a result is not
// exact.  Sentinels after each output show that exactly the documented
// elements are written.
#include <cstdint>
#include <tuple>

#include "geometry_support.hpp"

namespace {

using namespace zg;
const V3 X{1, 0, 0}, Y{0, 1, 0}, Z{0, 0, 1}, MX{-1, 0, 0}, XY{1, 1, 0}, MXY{-1, 1, 0}, O{0, 0, 0};
const double kBelow8 = std::nextafter(1e-8, 0.0), kBelow10 = std::nextafter(1e-10, 0.0), kZl = 0.99999999;
const M3 kNaN9 = {kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN};
const M3 kUntouched = {kS, kS, kS, kS, kS, kS, kS, kS, kS};

// A row of the general and 3 by 3 matrix routines: the routine, four integer
// arguments, two arrays, the output aliasing (1: the first array, 2: the
// second) and every value the routine must write, followed by sentinels for
// values it must leave alone.  The norms of modes 0 to 5, a rank count, the
// two counts of the roots or the rank of the orthogonal factor come first.
using MatRow = std::tuple<char, int32_t, int32_t, int32_t, int32_t, Vec, Vec, int, Vec>;

Vec run(const MatRow& r) {
    const auto& [routine, i0, i1, i2, i3, ra, rb, alias, want] = r;
    Vec got(want.size(), kS), a = ra, b = rb;
    double* out = alias == 1 ? a.data() : alias == 2 ? b.data() : got.data();
    int32_t k[2] = {-9, -9};
    if (routine == 'v') lmmlvn_(&i0, &i1, &i2, &i3, a.data(), b.data(), out);
    if (routine == 'm') lmmulm_(&i0, &i1, &i2, a.data(), b.data(), out);
    for (int32_t mode = 0; routine == 'n' && mode < 6; ++mode) got[mode] = lmnrmn_(&mode, &i0, &i1, &i2, a.data());
    if (routine == 'r') got[0] = lmtrkn_(&i0, &i1, a.data(), &b[0]);
    if (routine == 'q') lm2pwu_(a.data(), &k[0], &k[1], out + 2);
    if (routine == '*') lmmul3_(a.data(), b.data(), out);
    if (routine == 't') lmmtra_(a.data(), out);
    if (routine == 'j') lmadj_(a.data(), out);
    if (routine == 'f') lmmatc_(a.data(), out + 1, &k[0]);
    if (routine == 'q' || routine == 'f') got[0] = k[0];
    if (routine == 'q') got[1] = k[1];
    if (alias != 0) got.assign(out, out + got.size());
    return got;
}

TEST(Matrix, GeneralAndThreeByThree) {
    const Vec a32{1, 2, 3, kNaN, kNaN, 4, 5, 6, kNaN, kNaN};    // [[1, 4], [2, 5], [3, 6]], rows 4 and 5 never read
    const Vec a22{1, 3, -2, 4}, p511(4, std::ldexp(1.0, 511));  // [[1, -2], [3, 4]]
    const Vec rank0{0, kS, kS, kS, kS, kS, kS, kS, kS, kS}, rank1{1, kS, kS, kS, kS, kS, kS, kS, kS, kS};
    const Vec m3{1, 0, 4, 2, 1, 0, 0, 3, 1}, m3b{2, 1, 0, 0, 3, 1, 1, 0, 2};  // column by column
    const Vec m3ab{4, 1, 8, 6, 6, 1, 1, 6, 6}, m3t{1, 2, 0, 0, 1, 3, 4, 0, 1};
    const MatRow cases[] = {
        {'v', 2, 5, 3, 2, a32, {1, 1, 2}, 0, {9, 21, kS}},     // transposed
        {'v', 7, 5, 3, 2, a32, {1, -1}, 0, {-3, -3, -3, kS}},  // every mode but 2 is the plain product
        {'v', 2, 3, 3, 0, a32, {1, 1, 1}, 0, {kS}},            // nothing to write
        {'v', 1, 0, 3, 2, a32, {1, 1}, 0, {kS, kS, kS}},       // several columns need a leading dimension
        {'v', 2, -1, 3, 1, a32, {1, 1, 2}, 0, {9, kS}},        // one column: never used
        {'m', 2, 3, 2, 0, {1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}, 0, {58, 64, 139, 154, kS}},  // row by row
        {'m', 2, 0, 2, 0, {}, {}, 0, {0, 0, 0, 0, kS}},
        {'m', 1, 3, 1, 0, {1, 1e16, -1e16}, {1, 1, 1}, 0, {0, kS}},       // one row; terms in order
        {'n', 2, 2, 2, 0, a22, {}, 0, {0, 6, 7, std::sqrt(30.0), 4, 0}},  // modes 0 to 5
        {'n', 1, 1, 3, 0, {1, -2, 3}, {}, 0, {0, 3, 6, std::sqrt(14.0), 3, 0}},
        {'n', 2, 2, 2, 0, {1, kNaN, -3, 4}, {}, 0, {0, 7, 4, kNaN, 4, 0}},  // a NaN never replaces a maximum
        {'n', 2, 2, 2, 0, {1, 1e8, 1, 0}, {}, 0, {0, 1e8 + 1, 1e8, std::nextafter(1e8, kInf), 1e8, 0}},  // rows outer
        {'n', 2, 2, 2, 0, p511, {}, 0, {0, 2 * p511[0], 2 * p511[0], 2 * p511[0], p511[0], 0}},  // sum overflows
        {'n', 2, 2, 2, 0, {1, kInf, 1e300, 2}, {}, 0, {0, kInf, kInf, kInf, kInf, 0}},
        {'n', 2, 0, 2, 0, a22, {}, 0, Vec(6, 0.0)},
        {'n', -3, 2, 2, 0, a22, {}, 0, Vec(6, 0.0)},
        {'r', 3, 3, 0, 0, {1e-3, 9, 9, 9, 1e-8, 9, 9, 9, 0}, {1e-8}, 0, {1}},  // strictly above
        {'r', 3, 3, 0, 0, {-5, 0, 0, 0, kNaN, 0, 0, 0, 1e-8}, {-1}, 0, {2}},
        {'r', 3, 3, 0, 0, {-5, 0, 0, 0, 1, 0, 0, 0, 1}, {kNaN}, 0, {0}},
        {'r', 2, 3, 0, 0, {1, 7, 7, 1, 7, 7}, {1e-8}, 0, {2}},  // min(lda, n) elements
        {'r', 0, 3, 0, 0, {1}, {0}, 0, {0}},
        {'q', 0, 0, 0, 0, {2, -3, 1}, {}, 0, {2, 2, 2, 0, 1, 0}},  // nreal, degree, roots
        {'q', 0, 0, 0, 0, {5, 2, 1}, {}, 0, {0, 2, -1, 2, -1, -2}},
        {'q', 0, 0, 0, 0, {1, -2, 1}, {}, 0, {2, 2, 1, 0, 1, 0}},
        {'q', 0, 0, 0, 0, {3, 2, 0}, {}, 0, {1, 1, -1.5, 0, kS, kS}},
        {'q', 0, 0, 0, 0, {0, 0, 0}, {}, 0, {-1, -1, kS, kS, kS, kS}},
        {'q', 0, 0, 0, 0, {0, 0, 1e-10}, {}, 0, {2, 2, 0, 0, -0.0, 0}},  // 1e-10 is not zero
        {'q', 0, 0, 0, 0, {1e-10, 0, 0}, {}, 0, {0, 0, kS, kS, kS, kS}},
        {'q', 0, 0, 0, 0, {kNaN, kNaN, kNaN}, {}, 0, {0, 0, kS, kS, kS, kS}},  // NaN is not "at least 1e-10"
        {'*', 0, 0, 0, 0, m3, m3b, 0, m3ab},
        {'*', 0, 0, 0, 0, m3, m3b, 1, m3ab},  // c may be a or b
        {'*', 0, 0, 0, 0, m3, m3b, 2, m3ab},
        {'t', 0, 0, 0, 0, m3, {}, 0, m3t},
        {'t', 0, 0, 0, 0, m3, {}, 1, m3t},
        {'*', 0, 0, 0, 0, {kNaN, 0, 0, 0, 1, 0, 0, 0, 1}, m3t, 0, {kNaN, 2, 0, kNaN, 1, 3, kNaN, 0, 1}},  // 0 NaN is
                                                                                                          // NaN
        {'j', 0, 0, 0, 0, m3, {}, 0, {1, -2, 6, 12, 1, -3, -4, 8, 1}},  // cofactors: det(a) a^-T, det 25
        {'j', 0, 0, 0, 0, {1, 2, 3, 4, 5, 6, 5, 7, 9}, {}, 0, {3, -6, 3, 3, -6, 3, -3, 6, -3}},  // singular
        {'f', 0, 0, 0, 0, Vec(9, 0.0), {}, 0, rank0},  // rank of the factor; ranks below 2 leave it untouched
        {'f', 0, 0, 0, 0, {1, 2, 3, 2, 4, 6, -1, -2, -3}, {}, 0, rank1},
        {'f', 0, 0, 0, 0, {2e-10, 0, 0, 0, 0, 0, 0, 0, 0}, {}, 0, rank1},       // the limits are absolute
        {'f', 0, 0, 0, 0, {1e-5, 0, 0, 0, 1e-5, 0, 0, 0, 1e-5}, {}, 0, rank0},  // the inversion refuses this
        {'f', 0, 0, 0, 0, {1, 0, 0, 0, kNaN, 0, 0, 0, 1}, {}, 0, rank0},        // no convergence
    };
    for (const auto& r : cases)
        EXPECT_TRUE(all_same(run(r), std::get<8>(r))) << std::get<0>(r) << " " << std::get<1>(r);
}

TEST(Matrix, RotationsAndReflections) {
    const M3 mirror_x = {-1, 0, 0, 0, 1, 0, 0, 0, 1}, half_z = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
    const V3 a1{1, 2, 3}, nan_v{kNaN, 1, 0};
    const double e = 4 * kEps;
    // The routine, its vector and scalar inputs, the matrix it must give
    // (within tol, exactly when tol is 0) and its status.
    const std::tuple<char, V3, V3, V3, V3, double, M3, double, int32_t> cases[] = {
        {'m', {1e-8, 0, 0}, {}, {}, {}, 2, mirror_x, 0, 0},  // factor s
        {'m', {0, 0, -5}, {}, {}, {}, 0.5, {1, 0, 0, 0, 1, 0, 0, 0, 0.5}, 0, 0},
        {'m', {kBelow8, 0, 0}, {}, {}, {}, 2, kUntouched, 0, 1},
        {'m', nan_v, {}, {}, {}, 2, kNaN9, 0, 0},
        {'v', X, Y, O, {}, 0, kQuarterZ, 0, 0},  // a onto b; the axis serves opposite directions
        {'v', X, MX, Z, {}, 0, half_z, 0, 0},
        {'v', X, MX, {0, 0, 0.5}, {}, 0, mirror_x, 0, 0},
        {'v', X, MX, {0, 0, kZl}, {}, 0, {-1, 0, 0, 0, -1, 0, 0, 0, kZl * kZl - (1 - kZl * kZl)}, 0, 0},
        {'R', {1e-6, 0, 0}, {0, 3, 0}, {}, {}, 0, kQuarterZ, e, 0},  // squared length exactly 1e-12
        {'R', a1, {-2, -4, -6}, {}, {}, 0, kIdentity, 0, 0},
        {'R', a1, O, {}, {}, 0, kIdentity, 0, 0},
        {'R', nan_v, Y, {}, {}, 0, kNaN9, 0, 0},
        {'p', X, XY, Y, MXY, 0, kQuarterZ, e, 1},  // both pairs at 45 degrees
        {'p', X, O, Y, O, 0, kQuarterZ, e, 0},     // one direction
        {'p', X, O, {1, 5e-9, 0}, O, 0, kIdentity, e, 0},
        {'p', X, XY, X, MXY, 0, kIdentity, e, 0},  // 45 and 135 degrees: equal sines, not equal angles
        {'p', X, {1e-6, 1, 0}, X, {2e-6, 1, 0}, 0, kIdentity, e, 1},  // sines equal, cosines of one sign
        {'p', X, XY, Y, nan_v, 0, kNaN9, 0, 0},
        {'p', X, XY, Y, O, 0, kUntouched, 0, -1},             // second direction on one side only
        {'p', O, XY, Y, MXY, 0, kUntouched, 0, -1},           // no first direction
        {'p', X, O, X, O, 0, kUntouched, 0, -1},              // parallel first directions alone
        {'p', X, O, {-1, 5e-9, 0}, O, 0, kUntouched, 0, -1},  // nearly opposite: only a mirror is left
        {'p', X, {2, 0, 0}, Y, MXY, 0, kUntouched, 0, -1},    // a pair without a plane
    };
    for (const auto& [routine, a, b, c, d, sc, want, tol, status] : cases) {
        Vec out(12, kS);  // out[9 ..]: never written
        int32_t st = 0;
        if (routine == 'm') lmspi3_(a.data(), &sc, out.data(), &st);
        if (routine == 'v') lmdvec_(a.data(), b.data(), c.data(), out.data());
        if (routine == 'R') MathRotVector(a.data(), b.data(), out.data());
        if (routine == 'p') lmdpl_(a.data(), b.data(), c.data(), d.data(), out.data(), &st);
        const double err = diff(rows(out.data()), rows(want.data()));
        EXPECT_TRUE(st == status && out[9] == kS && (tol > 0 ? err <= tol : all_same(out, want)))
            << routine << " " << a[0] << " " << b[0] << " " << c[0] << " " << d[1] << ": status " << st;
    }
}

// A point-list routine with a separate output (exactly 3n values written),
// in place, and with counts below one (nothing written).
template <class PointFn>
void check_points(const char* what, const PointFn& f, const Vec& pts, const Vec& want) {
    const int32_t n = static_cast<int32_t>(pts.size() / 3);
    Vec out(pts.size() + 1, kS), in_place = pts, untouched(3, kS);
    f(pts.data(), &n, out.data());
    f(in_place.data(), &n, in_place.data());
    for (const int32_t none : {0, -5}) f(pts.data(), &none, untouched.data());
    EXPECT_TRUE(all_same(in_place, want) && untouched == Vec(3, kS)) << what;
    EXPECT_TRUE(all_same(out, want) && out.back() == kS) << what;
}

TEST(Matrix, PointListsAndFrameTransforms) {
    const Vec m3{1, 0, 4, 2, 1, 0, 0, 3, 1}, pts{1, 1, 1, 0, 0, 1};
    check_points("lmmvp3_", [&](auto p, auto n, auto o) { lmmvp3_(m3.data(), n, p, o); }, pts, {3, 4, 5, 0, 3, 1});
    // Row-wise about (1, 0, 2): the other sense than lmmvp3_ would turn.
    const V3 c102{1, 0, 2};
    check_points("lmrot3_", [&](auto p, auto n, auto o) { lmrot3_(kQuarterZ.data(), c102.data(), p, n, o); },
                 {2, 0, 0, 1, 0, 5}, {1, 1, 0, 1, 0, 5});

    const M3 dense = {1, 2, 3, 4, 5, 6, 7, 8, 10};  // frame axes (columns), not orthonormal
    const V3 o123{1, 2, 3};
    // To the frame or back, parallel or central, the axes, the origin, f, the points and their images.
    const std::tuple<bool, int32_t, M3, V3, double, Vec, Vec> cases[] = {
        {true, 0, kIdentity, O, 10, {2, 4, 5, 3, 4, 10}, {-4, -8, 5, 1e307, 1e307, 10}},  // k = 10 / (5 - 10)
        {true, 1, dense, o123, 0, {3, 5, 7}, {20, 47, 78}},
        {true, 0, dense, o123, 76, {3, 5, 7}, {760, 1786, 78}},  // k = 76 / (78 - 76)
        {false, 1, dense, o123, 0, {2, 3, 4}, {43, 53, 67}},
        {false, 0, dense, o123, 2, {2, 4, 6}, {79, 98, 123}},  // t = (6 - 2) / 2
        {true, 0, kIdentity, O, 0, {5, 6, 1e-8, 5, 6, kBelow8}, {0, 0, 1e-8, 1e307, 1e307, kBelow8}},  // strict
        {true, 0, kIdentity, O, 10, {1, 2, kNaN}, {kNaN, kNaN, kNaN}},  // not taken for the centre's depth
        {false, 0, kIdentity, O, 0, {1, 2, 3}, {kNaN, kNaN, kNaN}},     // no guard against f = 0
    };
    for (const auto& r : cases) {
        const auto map = [&r](auto p, auto n, auto o) {
            const auto& [to_frame, parallel, axes, origin, dist, in, want] = r;
            const double* f = parallel ? nullptr : &dist;  // unused arguments may be null
            (to_frame ? ltmwb3_ : ltmbw3_)(p, n, axes.data(), origin.data(), nullptr, &parallel, nullptr, f, o);
        };
        check_points(std::get<0>(r) ? "ltmwb3_" : "ltmbw3_", map, std::get<5>(r), std::get<6>(r));
    }
}

TEST(Matrix, RigidFit) {
    // Three points turned a quarter about z, then shifted by (1, 1, 1): the
    // fit translates by (1, -1, 1), then turns.  Distances below 1e-8 count
    // as 0.  Without a rotation, the difference of the centroids.  A NaN
    // point gives no rotation and reaches the translation and the deviation;
    // weights are not tested: a zero total makes every centroid term NaN.
    const Vec src{0, 0, 0, 3, 0, 0, 0, 3, 0}, dst{1, 1, 1, 1, 4, 1, -2, 1, 1}, nan_src{0, 0, 0, 3, 0, 0, 0, 3, kNaN};
    const Vec w{1, -1, 0};
    // mode, n, whether the deviation is asked for, the points, the weights; rot, trans (within tol of both; exactly
    // when tol is 0), maxdev, ierr.
    const std::tuple<int32_t, int32_t, int32_t, const Vec&, const double*, M3, V3, double, double, int32_t> cases[] = {
        {0, 3, 0, src, nullptr, kQuarterZ, {1, -1, 1}, kS, 1e-9, 0},            // no deviation asked for, none written
        {1, 3, 1, src, nullptr, kIdentity, {-1, 1, 1}, std::sqrt(10.0), 0, 0},  // translation only
        {0, 2, 1, src, nullptr, kIdentity, {-0.5, 2.5, 1}, std::sqrt(4.5), 0, 0},  // too few points for a rotation
        {0, 0, 1, src, nullptr, kIdentity, {0, 0, 0}, -1, 0, 1},
        {0, 1, 1, src, nullptr, kIdentity, {1, 1, 1}, 0, 0, 0},
        {0, 3, 1, nan_src, nullptr, kIdentity, {-1, 1, kNaN}, kNaN, 0, 0},
        {0, 3, 1, src, w.data(), kIdentity, {kNaN, kNaN, kNaN}, kNaN, 0, 0},
    };
    for (const auto& [mode, n, dev, pts, wts, want_rot, want_trans, want_dev, tol, want_ierr] : cases) {
        M3 rot = kUntouched;
        std::array<double, 4> trans{kS, kS, kS, kS};  // trans[3]: never written
        double maxdev = kS;
        int32_t ierr = -9;
        const int32_t weighted = wts != nullptr;
        lmmat_(&mode, &n, &weighted, wts, pts.data(), dst.data(), rot.data(), trans.data(), &dev, &maxdev, &ierr);
        const Eigen::Vector3d dt = Eigen::Vector3d(trans.data()) - Eigen::Vector3d(want_trans.data());
        const bool near = diff(rows(rot.data()), rows(want_rot.data())) < tol && dt.norm() < tol;
        EXPECT_TRUE(ierr == want_ierr && same(maxdev, want_dev) && trans[3] == kS) << mode << " " << n;
        EXPECT_TRUE(near || (all_same(rot, want_rot) && all_same(trans, want_trans))) << mode << " " << n;
    }
}

TEST(Matrix, ControlNetMotion) {
    // x = 1.91, w = 1.9 shifted by 1.1: the sequences (codes 2 to 5) store
    // the shifted point as x' w and divide it by w again, and that round
    // trip shows in the last bit.
    const double once = (1.91 / 1.9 + 1.1) * 1.9, twice = (once / 1.9) * 1.9;
    const Vec turn(kQuarterZ.begin(), kQuarterZ.end()), id2{1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    const Vec shift{1.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const Vec turns{0, -1, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, -1, 0, 1, 0};  // about z, then x
    // kind (2: rational points (x, y, z, w); any other: Cartesian), code, vectors, matrices, the net and its image.
    const std::tuple<int32_t, int32_t, Vec, Vec, Vec, Vec> cases[] = {
        {1, 0, {1, 1, 1}, {}, {1, 2, 3}, {2, 3, 4}},
        {2, 0, {1, 0, 0}, {}, {2, 4, 6, 2}, {4, 4, 6, 2}},
        {2, 1, {1, 0, 0}, turn, {4, 0, 0, 2, 6, 0, 0, 3}, {2, 2, 0, 2, 3, 3, 0, 3}},  // about the first vector
        {2, 2, {1, 0, 0, 0, 1, 0}, turn, {2, 0, 0, 2}, {2, 6, 0, 2}},  // shift, then about the second vector
        {2, 3, {1, 0, 0, 0, 1, 0}, turn, {2, 0, 0, 2}, {2, 6, 0, 2}},
        {1, 4, {1, 0, 0, 0, 1, 0, 0, 0, 1}, turn, {1, 0, 0}, {1, 3, 1}},  // then shift by the third vector
        {2, 5, {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0}, turns, {2, 0, 0, 2}, {2, -2, 6, 2}},  // then about the fourth
        {3, 0, {1, 1, 1}, {}, {1, 2, 3}, {2, 3, 4}},  // kinds other than 2 are Cartesian
        {2, 5, shift, id2, {1.91, 0, 0, 1.9}, {twice, 0, 0, 1.9}},
        {2, 0, {1, 0, 0}, {}, {1, 2, 3, 0, 2, 4, 6, 2}, {kNaN, kNaN, kNaN, 0, 4, 4, 6, 2}},  // zero weight
        {1, 6, {1, 1, 1}, {}, {1, 2, 3}, {1, 2, 3}},                                         // unknown codes do nothing
    };
    for (const auto& [kind, code, vec, mat, in, want] : cases) {
        Vec net = in;
        net.push_back(kS);  // never written
        const int32_t n = static_cast<int32_t>(in.size() / (kind == 2 ? 4 : 3));
        febew(kind, code, vec.data(), mat.data(), &n, net.data());
        EXPECT_TRUE(all_same(net, want) && net.back() == kS) << kind << " " << code;
        for (const int32_t none : {0, -1}) febew(kind, code, vec.data(), mat.data(), &none, net.data());
        EXPECT_TRUE(all_same(net, want)) << "no points";
    }
}

// Non-finite data in routines of other families that test nothing for it:
// the inversion passes NaN through every tolerance test (status 0), the weighted product carries a NaN weight into
// every element, and the unchecked triangular solve turns a zero diagonal into infinities.
TEST(NonFinite, InversionWeightedProductAndUncheckedSolve) {
    const int32_t two = 2, upper = 2;
    const Vec mat{1, 0, 0, 1}, b{1, 2, 3, 4}, w{1, kNaN}, r{2, 0, 1, 0};
    const double* stored = mat.data();
    Vec a{kNaN, 1, 1, 2}, x(4, kS), c(4, kS), y{1, 1};
    int32_t ierr = -9, ierr2 = -9;
    lminv_(&two, &two, a.data(), x.data(), &ierr);
    lgloes_(&two, &two, &stored, &two, b.data(), w.data(), c.data(), &ierr2);
    lgdre1_(&upper, &two, &two, r.data(), y.data());
    EXPECT_TRUE(ierr == 0 && all_same(x, Vec(4, kNaN)) && ierr2 == 0 && all_same(c, Vec(4, kNaN)));
    EXPECT_TRUE(y[1] == kInf && !std::isfinite(y[0]));
}

}  // namespace
