// Kernels on 3-vectors and n-vectors: worked examples and edge cases as
// rows, each row run through every routine of its shape (the 3-vector rows
// also through the n-vector routines with n = 3) and with every output
// aliasing that the routines allow.  The 1e-8 length limits are probed at
// their exact boundary; lengths too long for a plain sum of squares are
// measured with scaling, and must come out as the scaled length and the
// same direction bit for bit, because scaling by a power of two commutes
// with every rounding.
#include <cstdint>

#include "geometry_support.hpp"

namespace {

using namespace zg;
const int32_t kThree = 3;
constexpr double kPi = 3.141592653589793, kTwoPi = 6.283185307179586, kDiffer = -31.5;
const double kBelow = std::nextafter(1e-8, 0.0), kP600 = std::ldexp(1.0, 600);

// The 3-vector routine and its n-vector twin (n = 3) must agree.
double scl(V3 a, V3 b) {
    const double x = lvscl3_(a.data(), b.data()), y = lvscln_(&kThree, a.data(), b.data());
    return same(x, y) ? x : kDiffer;
}
double lgt(V3 a) { return same(lvlgt3_(a.data()), lvlgtn_(&kThree, a.data())) ? lvlgt3_(a.data()) : kDiffer; }
double lgtn(const Vec& a) {
    const int32_t n = static_cast<int32_t>(a.size());
    return lvlgtn_(&n, a.data());
}
double spa(V3 a, V3 b, V3 c) { return lvspa3_(a.data(), b.data(), c.data()); }
double win(V3 a, V3 b) { return lvwin3_(a.data(), b.data()); }
double acs(double x) { return haacos_(&x); }
double sweep(double w1, double w2, int32_t sense) {
    double d = kS;
    lvwiwi_(&w1, &w2, &sense, &d);
    return d;
}

TEST(Vector, ScalarResults) {
    const V3 x{1, 0, 0}, ones{1, 1, 1};
    Vec v101(101, 1.0);
    v101[0] = 1e8;  // the hundred squares of 1 added after 1e16 are each absorbed
    const struct {
        const char* what;
        double got, want;
    } rows[] = {
        {"dot", scl({1, 2, 3}, {4, -5, 6}), 12},
        {"triple", spa({1, 2, 3}, {4, 5, 6}, {7, 8, 10}), -3},
        {"length inf", lgt({kInf, 1, 0}), kInf},
        {"length rescued", lgt({3 * kP600, 4 * kP600, 0}), 5 * kP600},
        {"length n in index order", lgtn(v101), 1e8},
        {"length n squares finite, sum not", lgtn(Vec(4, std::ldexp(1.0, 511))), std::ldexp(1.0, 512)},
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
    for (const auto& r : rows) EXPECT_TRUE(same(r.got, r.want)) << r.what << ": " << r.got << " vs " << r.want;
}

TEST(Vector, ElementWiseWithAliasing) {
    const struct {
        void (*op)(const double*, const double*, double*);
        void (*opn)(const int32_t*, const double*, const double*, double*);  // twin; null: no aliasing
        V3 a, b, want;
        bool alias_b;  // the output may also be b
    } rows[] = {
        {lvsum3_, lvsumn_, {1, 2, 3}, {4, -6, 0.5}, {5, -4, 3.5}, true},
        {lvdif3_, lvdifn_, {1, 2, 3}, {4, -6, 0.5}, {-3, 8, 2.5}, true},
        {lvmul3_, lvmuln_, {1, -2, 3}, {-0.5, kS, kS}, {-0.5, 1, -1.5}, false},
        {lvkrp3_, nullptr, {1, 2, 3}, {4, 5, 6}, {-3, 6, -3}, false},
    };
    for (const auto& r : rows)
        for (int twin = 0; twin < (r.opn ? 2 : 1); ++twin)
            for (int alias = 0; alias < (!r.opn ? 1 : r.alias_b ? 3 : 2); ++alias) {
                V3 a = r.a, b = r.b;
                std::array<double, 4> c{kS, kS, kS, kS};  // c[3]: never written
                double* out = alias == 1 ? a.data() : alias == 2 ? b.data() : c.data();
                twin ? r.opn(&kThree, a.data(), b.data(), out) : r.op(a.data(), b.data(), out);
                EXPECT_TRUE(all_same(V3{out[0], out[1], out[2]}, r.want) && c[3] == kS) << twin << " " << alias;
            }
}

// lvnrm3_ and lvnrmn_ take a NaN length as valid; lvnrmb_ fails on it.
TEST(Vector, NormalisationWithAliasing) {
    const struct {
        V3 a, b;
        double len;
        int32_t ierr;
    } rows[] = {
        {{3, 4, 0}, {3 * (1 / 5.0), 4 * (1 / 5.0), 0}, 5, 0},  // times the reciprocal, no second pass
        {{1e-8, 0, 0}, {1e-8 * (1 / 1e-8), 0, 0}, 1e-8, 0},
        {{1, 2, -2}, {1 * (1 / 3.0), 2 * (1 / 3.0), -2 * (1 / 3.0)}, 3, 0},  // no zero element
        {{kBelow, 0, 0}, {0, 0, 0}, 0, 1},
        {{kNaN, 1, 0}, {kNaN, kNaN, kNaN}, kNaN, 0},
        {{1e200, 1e200, kNaN}, {kNaN, kNaN, kNaN}, kNaN, 0},  // the sum is NaN, not +inf: nothing to rescue
        {{kInf, 1, 0}, {kNaN, 0, 0}, kInf, 0},                // an infinite element keeps the plain formula
        {{3 * kP600, 4 * kP600, 0}, {3 * (1 / 5.0), 4 * (1 / 5.0), 0}, 5 * kP600, 0},
    };
    for (const auto& r : rows)
        for (int k = 0; k < 6; ++k) {  // lvnrm3_, lvnrmn_, lvnrmb_; b apart from a, then b = a
            const bool fails = k >= 4 && (r.ierr != 0 || std::isnan(r.len));
            std::array<double, 4> a{r.a[0], r.a[1], r.a[2], kS}, b{kS, kS, kS, kS};  // [3]: never used
            int32_t ierr = -9;
            double len = kS, *out = k % 2 ? a.data() : b.data();
            if (k < 2) lvnrm3_(a.data(), out, &ierr);
            if (k / 2 == 1) lvnrmn_(&kThree, a.data(), out, &ierr);
            if (k >= 4) lvnrmb_(a.data(), out, &len, &ierr);
            EXPECT_TRUE(all_same(k % 2 ? a : b, fails ? V3{0, 0, 0} : r.b) && a[3] == kS && b[3] == kS);
            EXPECT_EQ(ierr, fails ? 1 : r.ierr);
            EXPECT_TRUE(k < 4 || same(len, fails ? 0.0 : r.len)) << k << " " << r.a[0];
        }
}

TEST(Vector, FrameCompletion) {
    const struct {
        V3 a, b, c;
        int32_t ierr;
    } rows[] = {
        {{0, 0, 2}, {-1, 0, 0}, {0, -1, 0}, 0},
        {{0, 5, 0}, {1, 0, 0}, {0, 0, -1}, 0},  // along y: the z axis is the next candidate
        {{0, 0, 0}, {kS, kS, kS}, {kS, kS, kS}, 1},
        {{kNaN, 1, 0}, {kNaN, kNaN, kNaN}, {kNaN, kNaN, kNaN}, 0},
    };
    for (const auto& r : rows)
        for (int alias = 0; alias < 3; ++alias) {  // b or c may be a
            V3 a = r.a, b{kS, kS, kS}, c{kS, kS, kS};
            int32_t ierr = -9;
            lvo23_(a.data(), alias == 1 ? a.data() : b.data(), alias == 2 ? a.data() : c.data(), &ierr);
            EXPECT_TRUE(all_same(alias == 1 ? a : b, alias == 1 && r.ierr ? r.a : r.b) && ierr == r.ierr);
            EXPECT_TRUE(all_same(alias == 2 ? a : c, alias == 2 && r.ierr ? r.a : r.c)) << r.a[0] << " " << alias;
        }
}

TEST(Vector, ScalingInterchangesAndEmptyCounts) {
    const Vec x{2, 0, 1e-21, -4, 1}, y{1, 1, 1, 2, 3}, tiny{1e-20, std::nextafter(1e-20, 1.0), kNaN, kInf, -kInf};
    const struct {
        int32_t mode;
        Vec x, y, want;  // 9: left as it was
    } scale_rows[] = {
        {-1, x, y, {0.5, 9, 9, -0.5, 3}},
        {1, x, y, {2, 0, 1e-21, -8, 3}},
        {-2, x, y, {2, 0, 1e-21, -8, 3}},             // every mode but -1 multiplies
        {-1, tiny, y, {9, 1 / tiny[1], 9, 0, -0.0}},  // the limit is strict; NaN never divides
    };
    for (const auto& r : scale_rows) {
        const int32_t n = 5;
        Vec z(6, 9.0), zy = r.y, want_y = r.want;  // z[5]: never written
        for (int i = 0; i < n; ++i) want_y[i] = r.want[i] == 9 ? r.y[i] : r.want[i];
        lvmldn_(&r.mode, &n, r.x.data(), r.y.data(), z.data());
        lvmldn_(&r.mode, &n, r.x.data(), zy.data(), zy.data());  // z may be y
        EXPECT_TRUE(all_same(z, r.want) && z[5] == 9.0 && all_same(zy, want_y)) << "mode " << r.mode;
    }
    const Vec abc{10, 20, 30};
    const struct {
        int32_t mode;
        std::array<int32_t, 3> p;
        Vec a, want;
    } swap_rows[] = {
        {1, {3, 2, 3}, abc, {30, 20, 10}},   // forward
        {-1, {3, 2, 3}, {30, 20, 10}, abc},  // backward
        {1, {0, 5, 3}, abc, abc},            // outside 1..n or equal to the position: skipped
        {0, {3, 1, 3}, abc, {20, 30, 10}},   // mode 0 is forward
        {-1, {3, 1, 3}, {20, 30, 10}, abc},
    };
    for (const auto& r : swap_rows) {
        Vec b(4, kS), in_place = r.a;  // b[3]: never written
        lvprmn_(&r.mode, &kThree, r.a.data(), b.data(), r.p.data());
        lvprmn_(&r.mode, &kThree, in_place.data(), in_place.data(), r.p.data());
        EXPECT_TRUE(all_same(b, r.want) && b[3] == kS && in_place == r.want) << r.mode << " " << r.p[0];
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
