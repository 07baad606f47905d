// Kernels on 3-vectors and n-vectors: worked examples and edge cases as
// rows, each row run through every routine of its shape (the 3-vector rows
// also through the n-vector routines with n = 3) and with every output
// aliasing that the routines allow.  The 1e-8 length limits are probed at
// their exact boundary; lengths too long for a plain sum of squares are
// measured with scaling, and must come out as the scaled length and the
// same direction bit for bit, because scaling by a power of two commutes
// with every rounding.
#include <cstdint>
#include <tuple>

#include "geometry_support.hpp"

namespace {

using namespace zg;
constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586, kDiffer = -31.5;
const double kBelow = std::nextafter(1e-8, 0.0), kP600 = std::ldexp(1.0, 600);
const int32_t kThree = 3, k4 = 4, k5 = 5, k101 = 101;

// The 3-vector routine and its n-vector twin (n = 3) must agree.
double twins(double x, double y) { return same(x, y) ? x : kDiffer; }
double scl(V3 a, V3 b) { return twins(lvscl3_(a.data(), b.data()), lvscln_(&kThree, a.data(), b.data())); }
double lgt(V3 a) { return twins(lvlgt3_(a.data()), lvlgtn_(&kThree, a.data())); }
double spa(V3 a, V3 b, V3 c) { return lvspa3_(a.data(), b.data(), c.data()); }
double win(V3 a, V3 b) { return lvwin3_(a.data(), b.data()); }
double acs(double x) { return haacos_(&x); }
double sweep(double w1, double w2, int32_t sense) { double d = kS; return lvwiwi_(&w1, &w2, &sense, &d), d; }

TEST(Vector, ScalarResults) {
    const V3 x{1, 0, 0}, ones{1, 1, 1};
    Vec v101(101, 1.0);
    v101[0] = 1e8;  // the hundred squares of 1 added after 1e16 are each absorbed
    const std::tuple<const char*, double, double> rows[] = {
        {"dot", scl({1, 2, 3}, {4, -5, 6}), 12},
        {"triple", spa({1, 2, 3}, {4, 5, 6}, {7, 8, 10}), -3},
        {"length inf", lgt({kInf, 1, 0}), kInf},
        {"length rescued", lgt({3 * kP600, 4 * kP600, 0}), 5 * kP600},
        {"length n in index order", lvlgtn_(&k101, v101.data()), 1e8},
        {"length n squares finite, sum not", lvlgtn_(&k4, Vec(4, std::ldexp(1.0, 511)).data()), std::ldexp(1.0, 512)},
        {"angle right", win(x, {0, 2, 0}), kPi / 2},
        {"angle with zero", win(x, {0, 0, 0}), 0},
        {"angle cosine above 1 clamped", win(ones, {2, 2, 2}), 0},
        {"angle NaN", win({kNaN, 1, 0}, x), kNaN},
        {"acos above 1", acs(1.0000001), 0},
        {"acos below -1", acs(-2), kPi},
        {"sweep coinciding +", sweep(1, 1.00005, 1), kTwoPi},
        {"sweep coinciding -", sweep(1, 1.00005, 0), -kTwoPi},
        {"sweep 5 -> 1, any sense but 0 is +", sweep(5, 1, -3), -4 + kTwoPi},
        {"sweep 1 -> 5 -", sweep(1, 5, 0), 4 - kTwoPi},
        {"sweep exactly 0.0001 +", sweep(0, 0.0001, 1), 0.0001},
        {"sweep exactly -0.0001 -", sweep(0.0001, 0, 0), -0.0001},
        {"sweep NaN", sweep(0, kNaN, 1), kNaN},
    };
    for (const auto& [what, got, want] : rows) EXPECT_TRUE(same(got, want)) << what << ": " << got << " vs " << want;
}

TEST(Vector, ElementWise) {
    // The routine, its n-vector twin (null: none), a, b, the result.  That an
    // output may lie on an input is checked for every call shape by the calls
    // of the determinism digest.
    const std::tuple<decltype(&lvsum3_), decltype(&lvsumn_), V3, V3, V3> rows[] = {
        {lvsum3_, lvsumn_, {1, 2, 3}, {4, -6, 0.5}, {5, -4, 3.5}},
        {lvdif3_, lvdifn_, {1, 2, 3}, {4, -6, 0.5}, {-3, 8, 2.5}},
        {lvmul3_, lvmuln_, {1, -2, 3}, {-0.5, kS, kS}, {-0.5, 1, -1.5}},
        {lvkrp3_, nullptr, {1, 2, 3}, {4, 5, 6}, {-3, 6, -3}},
    };
    for (const auto& [op, opn, ra, rb, want] : rows)
        for (int twin = 0; twin < (opn ? 2 : 1); ++twin) {
            V3 a = ra, b = rb;
            std::array<double, 4> c{kS, kS, kS, kS};  // c[3]: never written
            twin ? opn(&kThree, a.data(), b.data(), c.data()) : op(a.data(), b.data(), c.data());
            EXPECT_TRUE(all_same(c, want) && c[3] == kS) << twin;
        }
}

// lvnrm3_ and lvnrmn_ take a NaN length as valid; lvnrmb_ fails on it.
TEST(Vector, NormalisationWithAliasing) {
    // Each row: a, b, the length, ierr.
    const std::tuple<V3, V3, double, int32_t> rows[] = {
        {{3, 4, 0}, {3 * (1 / 5.0), 4 * (1 / 5.0), 0}, 5, 0},  // times the reciprocal, no second pass
        {{1e-8, 0, 0}, {1e-8 * (1 / 1e-8), 0, 0}, 1e-8, 0},
        {{1, 2, -2}, {1 * (1 / 3.0), 2 * (1 / 3.0), -2 * (1 / 3.0)}, 3, 0},  // no zero element
        {{kBelow, 0, 0}, {0, 0, 0}, 0, 1},
        {{kNaN, 1, 0}, {kNaN, kNaN, kNaN}, kNaN, 0},
        {{1e200, 1e200, kNaN}, {kNaN, kNaN, kNaN}, kNaN, 0},  // the sum is NaN, not +inf: nothing to rescue
        {{kInf, 1, 0}, {kNaN, 0, 0}, kInf, 0},                // an infinite element keeps the plain formula
        {{3 * kP600, 4 * kP600, 0}, {3 * (1 / 5.0), 4 * (1 / 5.0), 0}, 5 * kP600, 0},
    };
    for (const auto& [ra, rb, rlen, rierr] : rows)
        for (int k = 0; k < 6; ++k) {  // lvnrm3_, lvnrmn_, lvnrmb_; b apart from a, then b = a
            const bool fails = k >= 4 && (rierr != 0 || std::isnan(rlen));
            std::array<double, 4> a{ra[0], ra[1], ra[2], kS}, b{kS, kS, kS, kS};  // [3]: never used
            int32_t ierr = -9;
            double len = kS, *out = k % 2 ? a.data() : b.data();
            if (k < 2) lvnrm3_(a.data(), out, &ierr);
            if (k / 2 == 1) lvnrmn_(&kThree, a.data(), out, &ierr);
            if (k >= 4) lvnrmb_(a.data(), out, &len, &ierr);
            EXPECT_TRUE(all_same(k % 2 ? a : b, fails ? V3{0, 0, 0} : rb) && a[3] == kS && b[3] == kS);
            EXPECT_EQ(ierr, fails ? 1 : rierr);
            EXPECT_TRUE(k < 4 || same(len, fails ? 0.0 : rlen)) << k << " " << ra[0];
        }
}

TEST(Vector, FrameCompletion) {
    // Each row: a, b, c, ierr.
    const std::tuple<V3, V3, V3, int32_t> rows[] = {
        {{0, 0, 2}, {-1, 0, 0}, {0, -1, 0}, 0},
        {{0, 5, 0}, {1, 0, 0}, {0, 0, -1}, 0},  // along y: the z axis is the next candidate
        {{0, 0, 0}, {kS, kS, kS}, {kS, kS, kS}, 1},
        {{kNaN, 1, 0}, {kNaN, kNaN, kNaN}, {kNaN, kNaN, kNaN}, 0},
    };
    for (const auto& [ra, rb, rc, rierr] : rows)
        for (int alias = 0; alias < 3; ++alias) {  // b or c may be a
            V3 a = ra, b{kS, kS, kS}, c{kS, kS, kS};
            int32_t ierr = -9;
            lvo23_(a.data(), alias == 1 ? a.data() : b.data(), alias == 2 ? a.data() : c.data(), &ierr);
            EXPECT_TRUE(all_same(alias == 1 ? a : b, alias == 1 && rierr ? ra : rb) && ierr == rierr);
            EXPECT_TRUE(all_same(alias == 2 ? a : c, alias == 2 && rierr ? ra : rc)) << ra[0] << " " << alias;
        }
}

TEST(Vector, ScalingInterchangesAndEmptyCounts) {
    const Vec x{2, 0, 1e-21, -4, 1}, y{1, 1, 1, 2, 3}, tiny{1e-20, std::nextafter(1e-20, 1.0), kNaN, kInf, -kInf};
    // Each row: mode, x, y, z (9: left as it was).
    const std::tuple<int32_t, Vec, Vec, Vec> scale_rows[] = {
        {-1, x, y, {0.5, 9, 9, -0.5, 3}},
        {1, x, y, {2, 0, 1e-21, -8, 3}},
        {-2, x, y, {2, 0, 1e-21, -8, 3}},             // every mode but -1 multiplies
        {-1, tiny, y, {9, 1 / tiny[1], 9, 0, -0.0}},  // the limit is strict; NaN never divides
    };
    for (const auto& [mode, rx, ry, want] : scale_rows) {
        Vec z(6, 9.0), zy = ry, want_y = want;  // z[5]: never written
        for (int i = 0; i < k5; ++i) want_y[i] = want[i] == 9 ? ry[i] : want[i];
        lvmldn_(&mode, &k5, rx.data(), ry.data(), z.data());
        lvmldn_(&mode, &k5, rx.data(), zy.data(), zy.data());  // z may be y
        EXPECT_TRUE(all_same(z, want) && z[5] == 9.0 && all_same(zy, want_y)) << "mode " << mode;
    }
    const Vec abc{10, 20, 30};
    const std::tuple<int32_t, std::array<int32_t, 3>, Vec, Vec> swap_rows[] = {
        {1, {3, 2, 3}, abc, {30, 20, 10}},   // forward
        {1, {0, 5, 3}, abc, abc},            // outside 1..n or equal to the position: skipped
        {0, {3, 1, 3}, abc, {20, 30, 10}},   // mode 0 is forward
        {-1, {3, 1, 3}, {20, 30, 10}, abc},  // backward: the interchanges in reverse order
    };
    for (const auto& [mode, p, a, want] : swap_rows) {
        Vec b(4, kS), in_place = a;  // b[3]: never written
        lvprmn_(&mode, &kThree, a.data(), b.data(), p.data());
        lvprmn_(&mode, &kThree, in_place.data(), in_place.data(), p.data());
        EXPECT_TRUE(all_same(b, want) && b[3] == kS && in_place == want) << mode << " " << p[0];
    }

    // Counts below one: nothing written, zero sums, no direction.
    const Vec a{1, 2, 3}, bb{4, 5, 6};
    const int32_t p[3] = {3, 2, 1}, div = -1, mul = 1;
    for (const int32_t n : {0, -1, INT32_MIN}) {
        Vec c(3, kS);
        int32_t ierr = -7;
        lvsumn_(&n, a.data(), bb.data(), c.data());
        lvdifn_(&n, a.data(), bb.data(), c.data());
        lvmuln_(&n, a.data(), &a[1], c.data());
        lvmldn_(&div, &n, a.data(), bb.data(), c.data());
        lvprmn_(&mul, &n, a.data(), c.data(), p);
        lvnrmn_(&n, a.data(), c.data(), &ierr);
        EXPECT_TRUE(ierr == 1 && c == Vec(3, kS)) << n;
        EXPECT_TRUE(same(lvscln_(&n, a.data(), bb.data()), 0.0) && same(lvlgtn_(&n, a.data()), 0.0));
    }
    Vec c1(3, kS);  // n = 1: one element each
    lvmuln_(&mul, a.data(), &a[1], c1.data());
    lvprmn_(&mul, &mul, a.data(), c1.data() + 1, p);
    EXPECT_TRUE(c1 == (Vec{2, 1, kS}));
}

}  // namespace
