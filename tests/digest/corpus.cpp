// The call corpus: every export, several shapes and sizes each, random and
// awkward values, statuses, integer outputs and the solver's trace.
#include "corpus.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "zolmath.h"

namespace zc {

// ---------------------------------------------------------------------------
// Sink, generator, hash

void Sink::raw(std::uint64_t u) {
    for (int k = 0; k < 8; ++k) bytes_.push_back(static_cast<unsigned char>(u >> (8 * k)));
}

void Sink::d(double x) {
    std::uint64_t u = 0x7ff8000000000000ull;
    if (!std::isnan(x)) std::memcpy(&u, &x, sizeof u);
    raw(u);
}

void Sink::i(std::int64_t k) { raw(static_cast<std::uint64_t>(k)); }

void Sink::v(const std::vector<double>& a) {
    i(static_cast<std::int64_t>(a.size()));
    for (double x : a) d(x);
}

void Sink::iv(const std::vector<std::int32_t>& a) {
    i(static_cast<std::int64_t>(a.size()));
    for (std::int32_t x : a) i(x);
}

void Sink::t(std::string_view text) {
    // "nan" and "-nan" also differ in length, so the padding in front of
    // them goes too: every run of spaces, an optional sign and "nan" become
    // " nan".
    std::string canon;
    canon.reserve(text.size());
    std::size_t k = 0;
    while (k < text.size()) {
        std::size_t e = k;
        while (e < text.size() && text[e] == ' ') ++e;
        const std::size_t n = e < text.size() && text[e] == '-' ? e + 1 : e;
        if (text.substr(n, 3) == "nan") {
            canon += " nan";
            k = n + 3;
        } else {
            canon += text[k];
            ++k;
        }
    }
    i(static_cast<std::int64_t>(canon.size()));
    bytes_.insert(bytes_.end(), canon.begin(), canon.end());
}

std::uint64_t Gen::next() {
    std::uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double Gen::unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Gen::uni(double lo, double hi) { return lo + (hi - lo) * unit(); }

std::int32_t Gen::pick(std::int32_t lo, std::int32_t hi) {
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1);
    return static_cast<std::int32_t>(lo + static_cast<std::int64_t>(next() % span));
}

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kSpecial[] = {0.0,     -0.0,     kNaN,    kInf,   -kInf,  1e-300, -1e-300,
                               5e-324,  2.2250738585072014e-308, 1e300, -1e300, 1e-8,   -1e-8,
                               1e-20,   1.0,      -1.0,    1e154,  1e-160, 0.5,    2.0};
constexpr double kScale[] = {1e-12, 1e-9, 1e-6, 1e-3, 1.0, 1e3, 1e6, 1e9, 1e12};
}  // namespace

double Gen::special() {
    return kSpecial[next() % (sizeof kSpecial / sizeof kSpecial[0])];
}

double Gen::value(double p) {
    if (p > 0.0 && chance(p)) return special();
    double x = uni(-2.0, 2.0);
    if (p > 0.0 && chance(0.1)) x = x * kScale[next() % (sizeof kScale / sizeof kScale[0])];
    return x;
}

std::vector<double> Gen::vec(std::size_t n, double p) {
    std::vector<double> v(n);
    for (double& x : v) x = value(p);
    return v;
}

void Fnv::add(const unsigned char* p, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
        h_ ^= p[k];
        h_ *= 1099511628211ull;
    }
}

std::string Fnv::hex() const {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h_));
    return buf;
}

namespace {

using Vec = std::vector<double>;
using IVec = std::vector<std::int32_t>;
using i32 = std::int32_t;

// Output arrays start with this value, so an element a routine leaves
// alone is recorded as such.
constexpr double kCanary = -777.125;

double prob(int level) {
    constexpr double p[] = {0.0, 0.08, 0.35};
    return p[level];
}

Vec canary(std::int64_t n) { return Vec(static_cast<std::size_t>(n > 0 ? n : 1), kCanary); }
std::size_t len(std::int64_t n) { return static_cast<std::size_t>(n > 0 ? n : 1); }

// A count for a dimension: mostly 1..hi, sometimes 0 or negative, and now
// and then a larger one so that blocked or unrolled loops see remainders.
i32 count(Gen& g, i32 hi, i32 big = 0) {
    const double u = g.unit();
    if (u < 0.08) return g.pick(-2, 0);
    if (big > 0 && u > 0.95) return g.pick(hi + 1, big);
    return g.pick(1, hi);
}

// A unit direction (components from the generator, normalised here).
void direction(Gen& g, double* d) {
    double l = 0.0;
    do {
        for (int k = 0; k < 3; ++k) d[k] = g.uni(-1.0, 1.0);
        l = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    } while (l < 0.01 || l > 1.0);
    const double r = 1.0 / std::sqrt(l);
    for (int k = 0; k < 3; ++k) d[k] = d[k] * r;
}

// A rotation matrix (row by row) about a random unit axis, from the
// generator's sine and cosine of an angle.
Vec rotation(Gen& g) {
    double u[3];
    direction(g, u);
    const double c = g.uni(-1.0, 1.0);
    const double s = std::sqrt(1.0 - c * c) * (g.chance(0.5) ? 1.0 : -1.0);
    Vec r(9);
    lmdre3_(u, &s, &c, r.data());
    return r;
}

// ---------------------------------------------------------------------------
// 3-vectors

void c_lvsum3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level)), c = canary(3);
    lvsum3_(a.data(), b.data(), c.data());
    s.v(c);
    lvsum3_(a.data(), b.data(), a.data());
    lvsum3_(a.data(), b.data(), b.data());
    s.v(a);
    s.v(b);
}

void c_lvdif3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level)), c = canary(3);
    lvdif3_(a.data(), b.data(), c.data());
    s.v(c);
    Vec a2 = a;
    lvdif3_(a2.data(), b.data(), a2.data());
    lvdif3_(a.data(), b.data(), b.data());
    s.v(a2);
    s.v(b);
}

void c_lvmul3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), c = canary(3);
    const double f = g.value(prob(level));
    lvmul3_(a.data(), &f, c.data());
    s.v(c);
    lvmul3_(a.data(), &f, a.data());
    s.v(a);
}

void c_lvscl3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level));
    s.d(lvscl3_(a.data(), b.data()));
    s.d(lvscl3_(a.data(), a.data()));
}

void c_lvkrp3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level)), c = canary(3);
    lvkrp3_(a.data(), b.data(), c.data());
    s.v(c);
    lvkrp3_(a.data(), a.data(), c.data());
    s.v(c);
}

void c_lvspa3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level)), c = g.vec(3, prob(level));
    s.d(lvspa3_(a.data(), b.data(), c.data()));
    s.d(lvspa3_(b.data(), a.data(), c.data()));
    s.d(lvspa3_(a.data(), a.data(), c.data()));
}

void c_lvlgt3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level));
    s.d(lvlgt3_(a.data()));
    const double big[3] = {a[0] * 1e200, a[1] * 1e200, a[2]};
    s.d(lvlgt3_(big));
    const double tiny[3] = {a[0] * 1e-200, a[1] * 1e-170, a[2] * 1e-160};
    s.d(lvlgt3_(tiny));
}

void c_lvdis3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(3, prob(level)), b = g.vec(3, prob(level));
    double d = kCanary;
    lvdis3_(a.data(), b.data(), &d);
    s.d(d);
    lvdis3_(a.data(), a.data(), &d);
    s.d(d);
}

// Vectors around the length limit 1e-8 of the normalisations, and beyond
// the range of a plain sum of squares.
Vec awkward3(Gen& g, int level) {
    Vec a = g.vec(3, prob(level));
    const double u = g.unit();
    if (u < 0.15) {
        for (double& x : a) x = x * 1e-8;
    } else if (u < 0.25) {
        for (double& x : a) x = x * 1e160;
    } else if (u < 0.3) {
        a = {0.0, 0.0, 0.0};
    } else if (u < 0.35) {
        a = {1e-8, 0.0, 0.0};
    } else if (u < 0.4) {
        a = {0.0, 9.999999999999999e-9, 0.0};
    }
    return a;
}

void c_lvnrm3(Gen& g, Sink& s, int level) {
    Vec a = awkward3(g, level), b = canary(3);
    i32 ierr = -99;
    lvnrm3_(a.data(), b.data(), &ierr);
    s.v(b);
    s.i(ierr);
    lvnrm3_(a.data(), a.data(), &ierr);
    s.v(a);
    s.i(ierr);
}

void c_lvnrmb(Gen& g, Sink& s, int level) {
    Vec a = awkward3(g, level), b = canary(3);
    double l = kCanary;
    i32 ierr = -99;
    lvnrmb_(a.data(), b.data(), &l, &ierr);
    s.v(b);
    s.d(l);
    s.i(ierr);
    lvnrmb_(a.data(), a.data(), &l, &ierr);
    s.v(a);
    s.d(l);
    s.i(ierr);
}

void c_lvo23(Gen& g, Sink& s, int level) {
    Vec a = awkward3(g, level);
    if (g.chance(0.15)) a = {0.0, g.uni(-3.0, 3.0), 0.0};  // along the first table vector
    Vec b = canary(3), c = canary(3);
    i32 ierr = -99;
    lvo23_(a.data(), b.data(), c.data(), &ierr);
    s.v(b);
    s.v(c);
    s.i(ierr);
    Vec a2 = a;
    lvo23_(a2.data(), a2.data(), c.data(), &ierr);
    s.v(a2);
    s.v(c);
    s.i(ierr);
}

void c_lvwin3(Gen& g, Sink& s, int level) {
    Vec a = awkward3(g, level), b = awkward3(g, level);
    s.d(lvwin3_(a.data(), b.data()));
    Vec na = {-a[0], -a[1], -a[2]};
    s.d(lvwin3_(a.data(), na.data()));
    s.d(lvwin3_(a.data(), a.data()));
}

void c_haacos(Gen& g, Sink& s, int level) {
    for (int k = 0; k < 4; ++k) {
        double x = g.uni(-1.2, 1.2);
        if (g.chance(prob(level))) x = g.special();
        if (g.chance(0.1)) x = g.chance(0.5) ? 1.0000001 : -1.0;
        s.d(haacos_(&x));
    }
}

void c_lvwiwi(Gen& g, Sink& s, int level) {
    constexpr double kTwoPi = 6.283185307179586;
    for (int k = 0; k < 3; ++k) {
        double w1 = g.uni(0.0, kTwoPi), w2 = g.uni(0.0, kTwoPi);
        if (g.chance(0.2)) w2 = w1 + g.uni(-0.0002, 0.0002);
        if (g.chance(prob(level))) w1 = g.special();
        if (g.chance(prob(level))) w2 = g.special();
        const i32 sense = g.pick(-2, 2);
        double d = kCanary;
        lvwiwi_(&w1, &w2, &sense, &d);
        s.d(d);
    }
}

// ---------------------------------------------------------------------------
// Vectors of length n

void c_lvsumn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level)), b = g.vec(len(n), prob(level)), c = canary(n);
    lvsumn_(&n, a.data(), b.data(), c.data());
    s.v(c);
    lvsumn_(&n, a.data(), b.data(), b.data());
    s.v(b);
}

void c_lvdifn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level)), b = g.vec(len(n), prob(level)), c = canary(n);
    lvdifn_(&n, a.data(), b.data(), c.data());
    s.v(c);
    lvdifn_(&n, a.data(), b.data(), a.data());
    s.v(a);
}

void c_lvmuln(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level)), c = canary(n);
    const double f = g.value(prob(level));
    lvmuln_(&n, a.data(), &f, c.data());
    s.v(c);
    lvmuln_(&n, a.data(), &f, a.data());
    s.v(a);
}

void c_lvmldn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec x = g.vec(len(n), prob(level)), y = g.vec(len(n), prob(level));
    constexpr double kSmall[] = {0.0, 1e-21, 1e-20, -1e-20, 1.0000000000000001e-20, kNaN};
    for (double& e : x)
        if (g.chance(0.15)) e = kSmall[g.next() % 6];
    constexpr i32 kModes[] = {-1, 1, 0, 7, -2};
    const i32 mode = kModes[g.next() % 5];
    Vec z = canary(n);
    lvmldn_(&mode, &n, x.data(), y.data(), z.data());
    s.v(z);
    lvmldn_(&mode, &n, x.data(), y.data(), y.data());
    s.v(y);
}

void c_lvscln(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level)), b = g.vec(len(n), prob(level));
    s.d(lvscln_(&n, a.data(), b.data()));
}

void c_lvlgtn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level));
    s.d(lvlgtn_(&n, a.data()));
    for (double& x : a) x = x * 1e180;
    s.d(lvlgtn_(&n, a.data()));
}

void c_lvnrmn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 1000);
    Vec a = g.vec(len(n), prob(level));
    const double u = g.unit();
    if (u < 0.2)
        for (double& x : a) x = x * 1e-9;
    else if (u < 0.3)
        for (double& x : a) x = x * 1e170;
    Vec b = canary(n);
    i32 ierr = -99;
    lvnrmn_(&n, a.data(), b.data(), &ierr);
    s.v(b);
    s.i(ierr);
    lvnrmn_(&n, a.data(), a.data(), &ierr);
    s.v(a);
    s.i(ierr);
}

void c_lvprmn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 40, 300);
    Vec a = g.vec(len(n), prob(level)), b = canary(n);
    IVec p(len(n));
    for (i32& e : p) e = g.pick(-1, (n > 0 ? n : 0) + 1);
    constexpr i32 kModes[] = {1, 0, -1, -7, 3};
    const i32 mode = kModes[g.next() % 5];
    lvprmn_(&mode, &n, a.data(), b.data(), p.data());
    s.v(b);
    const i32 back = -mode - 1;
    lvprmn_(&back, &n, b.data(), b.data(), p.data());
    s.v(b);
}

// ---------------------------------------------------------------------------
// General matrices and quadratic roots

void c_lmmlvn(Gen& g, Sink& s, int level) {
    const i32 m = count(g, 9, 70), n = count(g, 9, 70);
    const i32 lda = (m > 0 ? m : 1) + g.pick(0, 2);
    Vec a = g.vec(len(static_cast<std::int64_t>(lda) * (n > 0 ? n : 1)), prob(level));
    Vec x = g.vec(len(m > n ? m : n), prob(level));
    constexpr i32 kModes[] = {1, 2, 0, 7};
    const i32 mode = kModes[g.next() % 4];
    Vec y = canary(m > n ? m : n);
    lmmlvn_(&mode, &lda, &m, &n, a.data(), x.data(), y.data());
    s.v(y);
}

void c_lmmulm(Gen& g, Sink& s, int level) {
    const i32 r = count(g, 7, 40), k = count(g, 7, 40), c = count(g, 7, 40);
    Vec a = g.vec(len(r) * len(k), prob(level));
    Vec b = g.vec(len(k) * len(c), prob(level));
    Vec out(len(r) * len(c), kCanary);
    lmmulm_(&r, &k, &c, a.data(), b.data(), out.data());
    s.v(out);
}

void c_lmnrmn(Gen& g, Sink& s, int level) {
    const i32 m = count(g, 9, 80), n = count(g, 9, 80);
    const i32 lda = (m > 0 ? m : 1) + g.pick(0, 2);
    Vec a = g.vec(len(static_cast<std::int64_t>(lda) * (n > 0 ? n : 1)), prob(level));
    if (g.chance(0.1))
        for (double& x : a) x = x * 1e200;
    for (i32 mode = 0; mode <= 5; ++mode) s.d(lmnrmn_(&mode, &lda, &m, &n, a.data()));
}

void c_lmtrkn(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 9, 60);
    const i32 lda = g.pick(1, 10);
    Vec a = g.vec(len(static_cast<std::int64_t>(lda) * (n > 0 ? n : 1)), prob(level));
    const double tol = g.chance(0.3) ? 1e-8 : g.chance(0.5) ? g.uni(0.0, 1.5) : g.special();
    for (i32 k = 0; k < n && k < lda; ++k)
        if (g.chance(0.2)) a[static_cast<std::size_t>(k) * (lda + 1)] = tol;
    s.i(lmtrkn_(&lda, &n, a.data(), &tol));
}

void c_lm2pwu(Gen& g, Sink& s, int level) {
    constexpr double kEdge[] = {0.0, 1e-10, -1e-10, 9.999999999999999e-11, 1.0, -3.0, 2.0};
    double coef[3];
    for (double& c : coef) c = g.chance(0.3) ? kEdge[g.next() % 7] : g.value(prob(level));
    i32 nreal = -99, degree = -99;
    Vec roots = canary(4);
    lm2pwu_(coef, &nreal, &degree, roots.data());
    s.i(nreal);
    s.i(degree);
    s.v(roots);
}

// ---------------------------------------------------------------------------
// 3 by 3 matrices and point lists

void c_lmmul3(Gen& g, Sink& s, int level) {
    Vec a = g.vec(9, prob(level)), b = g.vec(9, prob(level)), c = canary(9);
    lmmul3_(a.data(), b.data(), c.data());
    s.v(c);
    Vec a2 = a, b2 = b;
    lmmul3_(a2.data(), b.data(), a2.data());
    lmmul3_(a.data(), b2.data(), b2.data());
    s.v(a2);
    s.v(b2);
}

void c_lmmtra(Gen& g, Sink& s, int level) {
    Vec a = g.vec(9, prob(level)), out = canary(9);
    lmmtra_(a.data(), out.data());
    s.v(out);
    lmmtra_(a.data(), a.data());
    s.v(a);
}

void c_lmadj(Gen& g, Sink& s, int level) {
    Vec a = g.vec(9, prob(level)), out = canary(9);
    if (g.chance(0.2))
        for (int k = 0; k < 3; ++k) a[3 + k] = 2.0 * a[k];  // singular
    lmadj_(a.data(), out.data());
    s.v(out);
}

void c_lmmvp3(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 12, 200);
    Vec a = g.vec(9, prob(level)), p = g.vec(3 * len(n), prob(level)), out = canary(3 * static_cast<std::int64_t>(len(n)));
    lmmvp3_(a.data(), &n, p.data(), out.data());
    s.v(out);
    lmmvp3_(a.data(), &n, p.data(), p.data());
    s.v(p);
}

void c_lmmvs3(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 12, 200);
    Vec sh = g.vec(3, prob(level)), p = g.vec(3 * len(n), prob(level)), out = canary(3 * static_cast<std::int64_t>(len(n)));
    lmmvs3_(p.data(), &n, sh.data(), out.data());
    s.v(out);
    lmmvs3_(p.data(), &n, sh.data(), p.data());
    s.v(p);
}

// ---------------------------------------------------------------------------
// Rotations and reflections

void c_lmdre3(Gen& g, Sink& s, int level) {
    double axis[3];
    direction(g, axis);
    if (g.chance(prob(level))) axis[g.next() % 3] = g.special();
    const double c = g.chance(prob(level)) ? g.special() : g.uni(-1.0, 1.0);
    const double sn = g.chance(prob(level)) ? g.special() : g.uni(-1.0, 1.0);
    Vec out = canary(9);
    lmdre3_(axis, &sn, &c, out.data());
    s.v(out);
}

void c_lmspi3(Gen& g, Sink& s, int level) {
    Vec v = awkward3(g, level), out = canary(9);
    const double f = g.chance(0.5) ? 2.0 : g.value(prob(level));
    i32 ierr = -99;
    lmspi3_(v.data(), &f, out.data(), &ierr);
    s.v(out);
    s.i(ierr);
}

void c_lmdvec(Gen& g, Sink& s, int level) {
    double a[3], b[3], axis[3];
    direction(g, a);
    const double u = g.unit();
    if (u < 0.25) {
        for (int k = 0; k < 3; ++k) b[k] = -a[k];
    } else if (u < 0.35) {
        for (int k = 0; k < 3; ++k) b[k] = a[k];
    } else {
        direction(g, b);
    }
    // An axis perpendicular to a, of unit length, half length, just usable
    // or zero.
    double t[3];
    direction(g, t);
    lvkrp3_(a, t, axis);
    i32 ierr = 0;
    lvnrm3_(axis, axis, &ierr);
    constexpr double kAxisLen[] = {1.0, 0.5, 0.99999999, 0.0};
    const double al = kAxisLen[g.next() % 4];
    for (double& x : axis) x = x * al;
    if (g.chance(prob(level))) a[g.next() % 3] = g.special();
    Vec out = canary(9);
    lmdvec_(a, b, axis, out.data());
    s.v(out);
    // The output may be one of the inputs.
    double ab[9] = {b[0], b[1], b[2], 0, 0, 0, 0, 0, 0};
    lmdvec_(a, ab, axis, ab);
    for (double x : ab) s.d(x);
}

void c_MathRotVector(Gen& g, Sink& s, int level) {
    Vec a = awkward3(g, level), b = awkward3(g, level);
    const double u = g.unit();
    if (u < 0.15) b = {-a[0] * 2.0, -a[1] * 2.0, -a[2] * 2.0};
    else if (u < 0.25) b = {a[0] * 3.0, a[1] * 3.0, a[2] * 3.0};
    else if (u < 0.3) a = {1e-6, 0.0, 0.0};  // squared length exactly at the limit
    Vec out = canary(9);
    MathRotVector(a.data(), b.data(), out.data());
    s.v(out);
}

void c_lmdpl(Gen& g, Sink& s, int level) {
    Vec a1 = awkward3(g, level), a2 = g.vec(3, prob(level));
    Vec b1, b2;
    const double u = g.unit();
    if (u < 0.4) {
        // The pair turned by a rotation: the angles agree.
        Vec r = rotation(g);
        b1 = canary(3);
        b2 = canary(3);
        const double zero[3] = {0.0, 0.0, 0.0};
        const i32 one = 1;
        lmrot3_(r.data(), zero, a1.data(), &one, b1.data());
        lmrot3_(r.data(), zero, a2.data(), &one, b2.data());
    } else {
        b1 = g.vec(3, prob(level));
        b2 = g.vec(3, prob(level));
    }
    const double v = g.unit();
    if (v < 0.15) {
        a2 = {0.0, 0.0, 0.0};
        b2 = {0.0, 0.0, 0.0};
    } else if (v < 0.2) {
        a2 = {0.0, 0.0, 0.0};
    } else if (v < 0.25) {
        a2 = {a1[0] * 2.0, a1[1] * 2.0, a1[2] * 2.0};
    } else if (v < 0.3) {
        b1 = {-a1[0], -a1[1], -a1[2]};
        a2 = {0.0, 0.0, 0.0};
        b2 = {0.0, 0.0, 0.0};
    }
    Vec out = canary(9);
    i32 status = -99;
    lmdpl_(a1.data(), a2.data(), b1.data(), b2.data(), out.data(), &status);
    s.v(out);
    s.i(status);
}

void c_lmrot3(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 12, 200);
    Vec r = g.chance(0.7) ? rotation(g) : g.vec(9, prob(level));
    Vec c = g.vec(3, prob(level)), p = g.vec(3 * len(n), prob(level)), out = canary(3 * static_cast<std::int64_t>(len(n)));
    lmrot3_(r.data(), c.data(), p.data(), &n, out.data());
    s.v(out);
    lmrot3_(r.data(), c.data(), p.data(), &n, p.data());
    s.v(p);
}

// ---------------------------------------------------------------------------
// Coordinate frame transforms

void frame_inputs(Gen& g, int level, Vec& a, Vec& origin, i32& parallel, double& dist) {
    a = g.chance(0.7) ? rotation(g) : g.vec(9, prob(level));
    origin = g.vec(3, prob(level));
    parallel = g.pick(-1, 1);
    dist = g.chance(0.1) ? 0.0 : g.uni(-20.0, 20.0);
    if (g.chance(prob(level))) dist = g.special();
}

void c_ltmwb3(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 10, 100);
    Vec a, origin;
    i32 parallel = 0;
    double dist = 0.0;
    frame_inputs(g, level, a, origin, parallel, dist);
    Vec p = g.vec(3 * len(n), prob(level));
    // A point at the depth of the projection centre, and one just beside it.
    if (n >= 2) {
        Vec q = canary(3);
        const i32 one = 1;
        const double local[3] = {g.uni(-1.0, 1.0), g.uni(-1.0, 1.0), dist};
        const double near[3] = {local[0], local[1], dist + 2e-8};
        lmmvp3_(a.data(), &one, local, q.data());
        lmmvs3_(q.data(), &one, origin.data(), p.data());
        lmmvp3_(a.data(), &one, near, q.data());
        lmmvs3_(q.data(), &one, origin.data(), p.data() + 3);
    }
    Vec out = canary(3 * static_cast<std::int64_t>(len(n)));
    ltmwb3_(p.data(), &n, a.data(), origin.data(), nullptr, &parallel, nullptr, &dist, out.data());
    s.v(out);
    ltmwb3_(p.data(), &n, a.data(), origin.data(), nullptr, &parallel, nullptr, &dist, p.data());
    s.v(p);
}

void c_ltmbw3(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 10, 100);
    Vec a, origin;
    i32 parallel = 0;
    double dist = 0.0;
    frame_inputs(g, level, a, origin, parallel, dist);
    Vec p = g.vec(3 * len(n), prob(level));
    Vec out = canary(3 * static_cast<std::int64_t>(len(n)));
    ltmbw3_(p.data(), &n, a.data(), origin.data(), nullptr, &parallel, nullptr, &dist, out.data());
    s.v(out);
    if (parallel == 0) {
        ltmbw3_(p.data(), &n, a.data(), origin.data(), nullptr, &parallel, nullptr, &dist, p.data());
        s.v(p);
    }
}

// ---------------------------------------------------------------------------
// Matrix inversion and the best-fit rigid motion

void c_lminv(Gen& g, Sink& s, int level) {
    i32 n = count(g, 6, 14);
    i32 m = g.chance(0.6) ? n : count(g, 8, 14);
    if (g.chance(0.05)) m = n = 1;
    const std::int64_t sz = static_cast<std::int64_t>(len(n)) * static_cast<std::int64_t>(len(m));
    Vec a = g.vec(len(sz), prob(level));
    if (n > 1 && m > 1 && g.chance(0.15))
        for (i32 i = 0; i < n; ++i) a[static_cast<std::size_t>(n + i)] = 2.0 * a[static_cast<std::size_t>(i)];
    Vec x = canary(sz);
    i32 ierr = -99;
    lminv_(&n, &m, a.data(), x.data(), &ierr);
    s.v(x);
    s.v(a);
    s.i(ierr);
}

void c_lmmatc(Gen& g, Sink& s, int level) {
    Vec a = g.vec(9, prob(level));
    const double u = g.unit();
    if (u < 0.08) {
        a.assign(9, 0.0);
    } else if (u < 0.16) {
        const Vec p = g.vec(3, 0.0), q = g.vec(3, 0.0);
        for (std::size_t j = 0; j < 3; ++j)
            for (std::size_t i = 0; i < 3; ++i) a[i + 3 * j] = p[i] * q[j];
    } else if (u < 0.24) {
        a = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    } else if (u < 0.32) {
        const double t = g.chance(0.5) ? 1e-8 : 1e-5;
        a = {t, 0, 0, 0, t, 0, 0, 0, t};
    } else if (u < 0.5) {
        // A rotation times a symmetric positive factor, possibly mirrored.
        Vec r = rotation(g);
        Vec sym = {g.uni(1, 3), 0.1, 0.2, 0.1, g.uni(1, 3), 0.3, 0.2, 0.3, g.uni(1, 3)};
        lmmul3_(r.data(), sym.data(), a.data());
        if (g.chance(0.3))
            for (int k = 0; k < 3; ++k) a[static_cast<std::size_t>(3 * k)] = -a[static_cast<std::size_t>(3 * k)];
    }
    Vec rot = canary(9);
    i32 rank = -99;
    lmmatc_(a.data(), rot.data(), &rank);
    s.v(rot);
    s.i(rank);
}

void c_lmmat(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 12, 60);
    const i32 fitmode = g.chance(0.8) ? 0 : g.pick(-1, 2);
    const i32 weighted = g.pick(0, 1);
    const i32 wantdev = g.pick(0, 1);
    Vec w(len(n));
    for (double& x : w) x = g.chance(0.05) ? 0.0 : g.uni(0.1, 3.0);
    if (g.chance(prob(level))) w[0] = g.special();
    Vec src = g.vec(3 * len(n), prob(level) * 0.5);
    Vec dst(src.size());
    const Vec r = rotation(g);
    const double t[3] = {g.uni(-5, 5), g.uni(-5, 5), g.uni(-5, 5)};
    const double noise = g.chance(0.4) ? 0.0 : g.uni(0.0, 0.1);
    const bool mirror = g.chance(0.15);
    for (std::size_t k = 0; k < len(n); ++k) {
        double p[3] = {src[3 * k] + t[0], src[3 * k + 1] + t[1], src[3 * k + 2] + t[2]};
        if (mirror) p[0] = -p[0];
        const double zero[3] = {0.0, 0.0, 0.0};
        const i32 one = 1;
        lmrot3_(r.data(), zero, p, &one, &dst[3 * k]);
        for (int c = 0; c < 3; ++c) dst[3 * k + static_cast<std::size_t>(c)] += noise * g.uni(-1, 1);
    }
    Vec rot = canary(9), trans = canary(3);
    double maxdev = kCanary;
    i32 ierr = -99;
    lmmat_(&fitmode, &n, &weighted, w.data(), src.data(), dst.data(), rot.data(), trans.data(), &wantdev,
           &maxdev, &ierr);
    s.v(rot);
    s.v(trans);
    s.d(maxdev);
    s.i(ierr);
}

// ---------------------------------------------------------------------------
// Householder reflections

void c_lghtr(Gen& g, Sink& s, int level) {
    const i32 L = g.pick(1, 14);
    const i32 incu = g.pick(1, 3);
    const i32 ince = g.pick(1, 2);
    const i32 nvec = g.pick(-1, 4);
    const i32 incv = L * ince + g.pick(0, 2);
    Vec u = g.vec(static_cast<std::size_t>((L - 1) * incu + 1), prob(level));
    Vec c = g.vec(static_cast<std::size_t>((nvec > 0 ? nvec : 1) * incv + L * ince), prob(level));
    const i32 ipiv = g.pick(0, L);
    i32 ifirst = g.pick(ipiv, L + 1);
    i32 ilast = g.pick(ifirst - 1, L);
    if (ilast > L) ilast = L;
    if (g.chance(0.1)) ifirst = ilast + 1;
    constexpr double kTols[] = {1e-8, 0.0, 1e-30, 0.5};
    const double tol = kTols[g.next() % 4];
    // Now and then a stretch that is already zero, or a vector orthogonal
    // to the reflection (the first vector of c equal to a zero column).
    if (g.chance(0.15))
        for (i32 i = ifirst > 1 ? ifirst : 1; i <= ilast; ++i) u[static_cast<std::size_t>((i - 1) * incu)] = 0.0;
    const i32 mode1 = g.chance(0.8) ? 1 : g.pick(-1, 3);
    double upiv = kCanary;
    i32 ierr = -99;
    lghtr_(&mode1, &ipiv, &ifirst, &ilast, u.data(), &incu, &upiv, c.data(), &ince, &incv, &nvec, &tol, &ierr);
    s.v(u);
    s.d(upiv);
    s.v(c);
    s.i(ierr);
    // Apply the stored reflection to fresh vectors.
    Vec c2 = g.vec(c.size(), prob(level));
    const i32 mode2 = 2;
    lghtr_(&mode2, &ipiv, &ifirst, &ilast, u.data(), &incu, &upiv, c2.data(), &ince, &incv, &nvec, &tol, &ierr);
    s.v(c2);
    s.i(ierr);
}

void c_lghtrt(Gen& g, Sink& s, int level) {
    const i32 L = g.pick(1, 12);
    const i32 nvec = g.pick(-1, 4);
    Vec u = g.vec(len(L), prob(level));
    Vec c = g.vec(len(static_cast<std::int64_t>(L) * (nvec > 0 ? nvec : 1)), prob(level));
    const i32 ipiv = g.pick(0, L);
    const i32 ifirst = g.pick(ipiv, L + 1);
    i32 ilast = g.pick(ifirst - 1, L);
    if (ilast > L) ilast = L;
    if (g.chance(0.1))
        for (i32 i = 0; i < L; ++i) u[static_cast<std::size_t>(i)] = u[static_cast<std::size_t>(i)] * 1e-9;
    const i32 mode1 = g.chance(0.8) ? 1 : g.pick(0, 3);
    Vec v = canary(L);
    double upiv = kCanary, copy = kCanary;
    i32 ierr = -99;
    lghtrt_(&mode1, &ipiv, &ifirst, &ilast, u.data(), &upiv, c.data(), &nvec, v.data(), &copy, &ierr);
    s.v(u);
    s.d(upiv);
    s.d(copy);
    s.v(c);
    s.v(v);
    s.i(ierr);
    // Apply again with u and v, upiv and its copy, the same.
    Vec c2 = g.vec(c.size(), prob(level));
    const i32 mode2 = 2;
    lghtrt_(&mode2, &ipiv, &ifirst, &ilast, u.data(), &upiv, c2.data(), &nvec, u.data(), &upiv, &ierr);
    s.v(u);
    s.d(upiv);
    s.v(c2);
    s.i(ierr);
}

// ---------------------------------------------------------------------------
// Triangular systems and pivoted QR

// A matrix whose diagonal is mostly well away from zero.
Vec triangle_matrix(Gen& g, int level, i32 lda, i32 ncol) {
    Vec a = g.vec(len(static_cast<std::int64_t>(lda) * ncol), prob(level));
    for (i32 k = 0; k < lda && k < ncol; ++k) {
        double& d = a[static_cast<std::size_t>(k + static_cast<std::int64_t>(k) * lda)];
        const double u = g.unit();
        if (u < 0.05) d = 0.0;
        else if (u < 0.1) d = 1e-8;
        else if (u < 0.13) d = 9.9e-9;
        else d = d + (d < 0 ? -2.0 : 2.0);
    }
    return a;
}

void c_lgdre(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 7, 40), nrhs = count(g, 4);
    const i32 mode = g.chance(0.85) ? g.pick(1, 2) : g.pick(0, 3);
    Vec a = triangle_matrix(g, level, n > 0 ? n : 1, n > 0 ? n : 1);
    Vec b = g.vec(len(static_cast<std::int64_t>(len(n)) * len(nrhs)), prob(level));
    i32 ierr = -99;
    lgdre_(&mode, &nrhs, &n, a.data(), b.data(), &ierr);
    s.v(b);
    s.i(ierr);
}

void c_lgdre1(Gen& g, Sink& s, int level) {
    const i32 lda = g.pick(1, 9), ncol = count(g, 9, 40);
    const i32 mode = g.pick(0, 5);
    Vec a = triangle_matrix(g, level, lda, ncol > 0 ? ncol : 1);
    const i32 nn = lda < ncol ? lda : ncol;
    Vec b = g.vec(len(nn), prob(level));
    lgdre1_(&mode, &lda, &ncol, a.data(), b.data());
    s.v(b);
}

void c_lgqrfc(Gen& g, Sink& s, int level) {
    const i32 m = count(g, 10, 45), n = count(g, 10, 45);
    const i32 lda = (m > 0 ? m : 1) + g.pick(0, 2);
    Vec a = g.vec(len(static_cast<std::int64_t>(lda) * (n > 0 ? n : 1)), prob(level));
    const double u = g.unit();
    if (n >= 3 && m >= 1) {
        const std::size_t ld = static_cast<std::size_t>(lda);
        if (u < 0.15) {
            for (i32 i = 0; i < m; ++i) a[2 * ld + static_cast<std::size_t>(i)] = a[static_cast<std::size_t>(i)] - a[ld + static_cast<std::size_t>(i)];
        } else if (u < 0.25) {
            for (i32 i = 0; i < m; ++i) a[ld + static_cast<std::size_t>(i)] = 0.0;
        } else if (u < 0.35) {
            for (i32 i = 0; i < m; ++i) a[ld + static_cast<std::size_t>(i)] = -a[static_cast<std::size_t>(i)];  // equal lengths
        }
    }
    Vec h = canary(n);
    IVec ipvt(len(n), -99);
    lgqrfc_(&lda, &m, &n, a.data(), h.data(), ipvt.data());
    s.v(a);
    s.v(h);
    s.iv(ipvt);
}

// ---------------------------------------------------------------------------
// Equality-constrained least squares

struct Lse {
    i32 nrhs, n, ncon, neq;
    Vec e, f, c, d, x;
};

Lse lse_problem(Gen& g, int level, bool big) {
    Lse p{};
    p.n = big ? g.pick(17, 20) : g.pick(1, 6);
    p.ncon = big ? g.pick(1, 3) : g.pick(0, p.n);
    p.neq = p.n - p.ncon + g.pick(0, 3);
    p.nrhs = g.pick(1, 4);
    const double u = g.unit();
    if (u < 0.04) p.ncon = p.n + 1;
    else if (u < 0.08) p.neq = p.n - p.ncon - 1;
    else if (u < 0.11) p.n = 0;
    else if (u < 0.14) p.nrhs = g.pick(-1, 0);
    const auto sz = [](i32 r, i32 c) { return len(static_cast<std::int64_t>(r > 0 ? r : 0) * (c > 0 ? c : 0)); };
    p.e = g.vec(sz(p.ncon, p.n), prob(level));
    p.f = g.vec(sz(p.ncon, p.nrhs), prob(level));
    p.c = g.vec(sz(p.neq, p.n), prob(level));
    p.d = g.vec(sz(p.neq, p.nrhs), prob(level));
    p.x = canary(static_cast<std::int64_t>(sz(p.n, p.nrhs)));
    // Dependent constraints, or a rank-deficient least-squares part.
    if (p.ncon >= 2 && p.n >= 2 && g.chance(0.12))
        for (i32 t = 0; t < p.n; ++t)
            p.e[static_cast<std::size_t>(1 + t * p.ncon)] = 2.0 * p.e[static_cast<std::size_t>(t * p.ncon)];
    if (p.neq >= 1 && p.n >= 2 && p.ncon < p.n - 1 && g.chance(0.12))
        for (i32 i = 0; i < p.neq; ++i)
            p.c[static_cast<std::size_t>(i + (p.n - 1) * p.neq)] = p.c[static_cast<std::size_t>(i + (p.n - 2) * p.neq)];
    return p;
}

void record(Sink& s, const Lse& p, i32 ierr) {
    s.v(p.e);
    s.v(p.f);
    s.v(p.c);
    s.v(p.d);
    s.v(p.x);
    s.i(ierr);
}

void c_lglse(Gen& g, Sink& s, int level) {
    Lse p = lse_problem(g, level, g.chance(0.1));
    i32 ierr = -99;
    lglse_(&p.nrhs, &p.n, &p.ncon, &p.neq, p.e.data(), p.f.data(), p.c.data(), p.d.data(), p.x.data(), &ierr);
    record(s, p, ierr);
}

void c_lglse1(Gen& g, Sink& s, int level) {
    Lse p = lse_problem(g, level, g.chance(0.1));
    const std::int64_t n3 = p.n > 3 ? p.n : 3;
    std::int64_t mx = n3;
    if (p.ncon > mx) mx = p.ncon;
    if (p.neq > mx) mx = p.neq;
    i32 lwork = static_cast<i32>(n3 * mx);
    i32 lvec = p.n;
    if (p.ncon > lvec) lvec = p.ncon;
    if (p.neq > lvec) lvec = p.neq;
    if (g.chance(0.05)) lwork = lwork + 1;
    if (p.nrhs > n3) p.nrhs = static_cast<i32>(n3);
    Vec w1 = canary(lwork), w2 = canary(lwork), v1 = canary(lvec), v2 = canary(lvec);
    i32 ierr = -99;
    lglse1_(&p.nrhs, &p.n, &p.ncon, &p.neq, p.e.data(), p.f.data(), p.c.data(), p.d.data(), p.x.data(), &lwork,
            &lvec, w1.data(), w2.data(), v1.data(), v2.data(), &ierr);
    record(s, p, ierr);
}

// ---------------------------------------------------------------------------
// Sequential banded least squares

struct Band {
    i32 n, nb, nrhs, ldg, ipos = 1, inext = 1;
    Vec g;
};

// Feeds a banded problem block by block; gaps between blocks now and then.
Band band_problem(Gen& gen, int level, Sink& s) {
    Band b{};
    b.n = gen.pick(2, 14);
    b.nb = gen.pick(1, b.n < 4 ? b.n : 4);
    b.nrhs = gen.pick(0, 5);
    const i32 ncols = b.nb + b.nrhs;
    b.ldg = 2 * b.n + 12;
    b.g = Vec(static_cast<std::size_t>(b.ldg) * static_cast<std::size_t>(ncols), 0.0);
    const double tol = gen.chance(0.8) ? 1e-10 : gen.special();
    i32 jcol = 1;
    const i32 last = b.n - b.nb + 1;
    while (jcol <= last) {
        const i32 nrow = gen.pick(0, 3);
        const i32 row0 = b.inext;
        if (row0 + nrow - 1 > b.ldg || jcol + nrow - 1 > b.ldg) break;
        for (i32 r = 0; r < nrow; ++r)
            for (i32 t = 0; t < ncols; ++t)
                b.g[static_cast<std::size_t>(row0 - 1 + r + t * b.ldg)] = gen.value(prob(level) * 0.5);
        lgbla_(b.g.data(), &b.ldg, &b.nb, &b.ipos, &b.inext, &nrow, &jcol, &b.nrhs, &tol);
        s.i(b.ipos);
        s.i(b.inext);
        jcol += gen.pick(0, 2);
    }
    // Calls the protocol cannot produce change nothing.
    const i32 one = 1, back = b.ipos - 1;
    lgbla_(b.g.data(), &b.ldg, &b.nb, &b.ipos, &b.inext, &one, &back, &b.nrhs, &tol);
    s.v(b.g);
    s.i(b.ipos);
    s.i(b.inext);
    return b;
}

void c_lgbla(Gen& g, Sink& s, int level) { band_problem(g, level, s); }

void c_lgbls(Gen& g, Sink& s, int level) {
    Band b = band_problem(g, level, s);
    const double tol = g.chance(0.8) ? 1e-12 : g.uni(0.0, 0.5);
    for (i32 mode = 0; mode <= 4; ++mode) {
        Vec x = mode == 1 ? canary(static_cast<std::int64_t>(b.n) * (b.nrhs > 0 ? b.nrhs : 1))
                          : g.vec(len(static_cast<std::int64_t>(b.n) * (b.nrhs > 0 ? b.nrhs : 1)), prob(level));
        i32 ierr = -99;
        lgbls_(&mode, b.g.data(), &b.ldg, &b.nb, &b.ipos, &b.n, &b.nrhs, &tol, x.data(), &ierr);
        s.v(x);
        s.i(ierr);
    }
}

// ---------------------------------------------------------------------------
// Weighted product with a stored matrix

void c_lgloes(Gen& g, Sink& s, int level) {
    const i32 n = count(g, 6, 30), m = count(g, 6, 30), ncol = count(g, 5, 20);
    Vec M = g.vec(len(static_cast<std::int64_t>(len(m)) * len(n)), prob(level));
    Vec b = g.vec(len(static_cast<std::int64_t>(len(n)) * len(ncol)), prob(level));
    Vec w = g.vec(len(n), prob(level));
    Vec c = canary(static_cast<std::int64_t>(len(m)) * len(ncol));
    const double* hm = M.data();
    i32 ierr = -99;
    lgloes_(&n, &m, &hm, &ncol, b.data(), w.data(), c.data(), &ierr);
    s.v(c);
    s.i(ierr);
}

// ---------------------------------------------------------------------------
// Nonlinear least squares: the kernels

void c_ngvsc1(Gen& g, Sink& s, int level) {
    const i32 rows = count(g, 8, 40), cols = count(g, 6, 40);
    const i32 ld = (rows > 0 ? rows : 1) + g.pick(0, 2);
    Vec a = g.vec(len(static_cast<std::int64_t>(ld) * (cols > 0 ? cols : 1)), prob(level));
    Vec d(len(cols));
    for (double& x : d) x = g.chance(0.5) ? 0.0 : g.uni(0.0, 2.0);
    ngvsc1_(&ld, &rows, &cols, a.data(), d.data());
    s.v(d);
}

struct Step {
    i32 ld, rows, cols;
    Vec J, f, fnew, dx, D, xnew;
    double par, delta, tol;
};

Step step_problem(Gen& g, int level) {
    Step p{};
    p.rows = count(g, 8, 40);
    p.cols = count(g, 6, 30);
    p.ld = (p.rows > 0 ? p.rows : 1) + g.pick(0, 2);
    p.J = g.vec(len(static_cast<std::int64_t>(p.ld) * (p.cols > 0 ? p.cols : 1)), prob(level));
    p.f = g.vec(len(p.rows), prob(level));
    p.fnew = g.vec(len(p.rows), prob(level));
    const double u = g.unit();
    if (u < 0.1) p.fnew = p.f;
    else if (u < 0.2)
        for (std::size_t i = 0; i < p.fnew.size(); ++i) p.fnew[i] = 10.0 * p.f[i];
    else if (u < 0.25) p.f.assign(p.f.size(), 0.0);
    p.dx = g.vec(len(p.cols), prob(level));
    p.D = g.vec(len(p.cols), prob(level));
    for (double& x : p.D) x = std::fabs(x);
    p.xnew = g.vec(len(p.cols), prob(level));
    p.par = g.chance(0.3) ? 0.0 : g.uni(0.0, 2.0);
    p.delta = g.chance(0.1) ? 0.0 : g.uni(0.0, 3.0);
    p.tol = g.chance(0.5) ? 1e-8 : g.uni(0.0, 1.0);
    if (g.chance(prob(level))) p.par = g.special();
    if (g.chance(prob(level))) p.delta = g.special();
    return p;
}

void c_ngstp1(Gen& g, Sink& s, int level) {
    Step p = step_problem(g, level);
    for (i32 mode = 0; mode <= 4; ++mode) {
        Vec work = canary(p.rows > p.cols ? p.rows : p.cols);
        s.i(ngstp1_(&mode, &p.ld, &p.rows, &p.cols, p.J.data(), p.fnew.data(), p.dx.data(), p.D.data(),
                    p.xnew.data(), &p.delta, &p.par, &p.tol, work.data()));
        s.v(work);
    }
}

void c_ngrat1(Gen& g, Sink& s, int level) {
    Step p = step_problem(g, level);
    s.d(ngrat1_(&p.ld, &p.rows, &p.cols, p.J.data(), p.f.data(), p.fnew.data(), p.dx.data(), p.D.data(), &p.par));
}

void c_ngups1(Gen& g, Sink& s, int level) {
    Step p = step_problem(g, level);
    constexpr double kRho[] = {0.25, 0.75, 0.5, 0.1, 0.0, 1.0, -0.5};
    const double rho = g.chance(0.6) ? kRho[g.next() % 7] : g.value(prob(level));
    s.d(ngups1_(&p.ld, &p.rows, &p.cols, p.J.data(), p.f.data(), p.fnew.data(), p.dx.data(), p.D.data(), &p.par,
                &rho));
}

// ngpar1_ from the factors of a real Jacobian, as the driver prepares them,
// or from arbitrary values.
void c_ngpar1(Gen& g, Sink& s, int level) {
    i32 m = g.pick(1, 9);
    i32 n = g.pick(1, m + (g.chance(0.2) ? 2 : 0));
    const i32 extra = g.chance(0.8) ? 0 : g.pick(-1, 2);
    i32 mpn = (m > n ? m : n) + n + extra;
    const std::size_t M = static_cast<std::size_t>(m), N = static_cast<std::size_t>(n);
    Vec J = g.vec(M * N, prob(level) * 0.3);
    if (n >= 2 && g.chance(0.2))
        for (std::size_t i = 0; i < M; ++i) J[M + i] = J[i];  // rank below n
    Vec f = g.vec(M, prob(level) * 0.3);

    Vec W = J, h(N, 0.0), r(M);
    IVec piv(N, 0);
    lgqrfc_(&m, &m, &n, W.data(), h.data(), piv.data());
    for (std::size_t i = 0; i < M; ++i) r[i] = -f[i];
    const i32 one = 1, two = 2, row_sum = 2;
    const double eps = 1e-8;
    for (i32 j = 1; j <= n; ++j) {
        const i32 next = j + 1;
        i32 flag = 0;
        lghtr_(&two, &j, &next, &m, &W[static_cast<std::size_t>(j - 1) * M], &one, &h[static_cast<std::size_t>(j - 1)],
               r.data(), &one, &one, &one, &eps, &flag);
    }
    const double tau = eps * lmnrmn_(&row_sum, &m, &m, &n, J.data());
    i32 rank = lmtrkn_(&m, &n, W.data(), &tau);
    Vec dx(N, 0.0);
    for (std::size_t i = 0; i < N && i < M; ++i) dx[i] = static_cast<i32>(i) < rank ? r[i] : 0.0;
    lgdre1_(&two, &m, &rank, W.data(), dx.data());
    const i32 back = -1;
    lvprmn_(&back, &n, dx.data(), dx.data(), piv.data());
    Vec D(N, 0.0);
    ngvsc1_(&m, &m, &n, J.data(), D.data());
    for (double& x : D)
        if (x < 1e-6) x = 1e-6;
    double dn = 0.0;
    for (std::size_t j = 0; j < N; ++j) dn = dn + (D[j] * dx[j]) * (D[j] * dx[j]);
    double delta = std::sqrt(dn) * g.uni(0.05, 1.5);
    double par = g.chance(0.8) ? 0.0 : g.uni(0.0, 1.0);
    double sigma = g.chance(0.8) ? 0.1 : g.uni(0.0, 0.5);
    i32 maxit = g.chance(0.8) ? 10 : g.pick(-1, 3);

    if (g.chance(prob(level))) {
        // Arbitrary values in place of consistent factors.
        for (double& x : W) x = g.value(prob(level));
        for (double& x : D) x = g.value(prob(level));
        for (double& x : dx) x = g.value(prob(level));
        delta = g.value(prob(level));
        rank = g.pick(0, n);
        for (i32& p : piv) p = g.pick(0, n + 1);
    }
    if (mpn < 1) mpn = 1;
    const std::size_t MPN = static_cast<std::size_t>(mpn);
    Vec A(MPN * N, 0.0), b(MPN > M ? MPN : M, 0.0);
    for (std::size_t j = 0; j < N; ++j)
        for (std::size_t i = 0; i < M && i < MPN; ++i) A[i + j * MPN] = J[i + j * M];
    for (std::size_t i = 0; i < M; ++i) b[i] = f[i];
    Vec work = canary(n);
    i32 iter = -99;
    ngpar1_(&mpn, &m, &n, W.data(), r.data(), A.data(), b.data(), dx.data(), D.data(), &par, &delta, &sigma, &maxit,
            &rank, piv.data(), work.data(), &iter);
    s.v(dx);
    s.d(par);
    s.i(iter);
    s.v(A);
    s.v(b);
    s.v(work);
}

// ---------------------------------------------------------------------------
// Nonlinear least squares: the solver

struct Model {
    int kind = 0;
    i32 m = 0, n = 0;
    Vec a, y, t;        // linear matrix (m by n), data, abscissae
    int evals = 0, checks = 0;
    int fail_eval = -1;     // evaluation that answers negative
    int positive_eval = -1; // evaluation that answers positive (success)
    int silent_eval = -1;   // evaluation that leaves its reply alone
    int nan_eval = -1;      // evaluation whose residuals are not finite
    int stop_check = -1;    // check that answers positive
    int fail_check = -1;    // check that answers negative
};

void evaluate(const Model& p, const double* x, double* f, double* jac) {
    const std::size_t M = static_cast<std::size_t>(p.m);
    switch (p.kind) {
        case 0:  // linear, possibly with equal columns
            for (std::size_t i = 0; i < M; ++i) {
                double s = 0.0;
                for (i32 j = 0; j < p.n; ++j) {
                    s = s + p.a[i + static_cast<std::size_t>(j) * M] * x[j];
                    jac[i + static_cast<std::size_t>(j) * M] = p.a[i + static_cast<std::size_t>(j) * M];
                }
                f[i] = s - p.y[i];
            }
            break;
        case 1:  // Rosenbrock
            f[0] = 10.0 * (x[1] - x[0] * x[0]);
            f[1] = 1.0 - x[0];
            jac[0] = -20.0 * x[0];
            jac[1] = -1.0;
            jac[2] = 10.0;
            jac[3] = 0.0;
            break;
        case 2:  // rational decay x0 / (1 + x1 t) against data
            for (std::size_t i = 0; i < M; ++i) {
                const double q = 1.0 + x[1] * p.t[i];
                f[i] = x[0] / q - p.y[i];
                jac[i] = 1.0 / q;
                jac[i + M] = -x[0] * p.t[i] / (q * q);
            }
            break;
        case 3: {  // Powell's singular function: singular Jacobian at the solution
            const double r5 = std::sqrt(5.0), r10 = std::sqrt(10.0);
            f[0] = x[0] + 10.0 * x[1];
            f[1] = r5 * (x[2] - x[3]);
            const double u = x[1] - 2.0 * x[2], v = x[0] - x[3];
            f[2] = u * u;
            f[3] = r10 * (v * v);
            const double j[16] = {1.0, 0.0, 0.0, 2.0 * r10 * v, 10.0, 0.0, 2.0 * u, 0.0,
                                  0.0, r5, -4.0 * u, 0.0, 0.0, -r5, 0.0, -2.0 * r10 * v};
            for (int k = 0; k < 16; ++k) jac[k] = j[k];
            break;
        }
        default:  // fewer equations than variables: sums of weighted squares
            for (std::size_t i = 0; i < M; ++i) {
                double s = 0.0;
                for (i32 j = 0; j < p.n; ++j) {
                    const double c = p.a[i + static_cast<std::size_t>(j) * M];
                    s = s + c * x[j] * x[j];
                    jac[i + static_cast<std::size_t>(j) * M] = 2.0 * c * x[j];
                }
                f[i] = s - p.y[i];
            }
            break;
    }
}

int model_callback(i32 request, void* context, double* x, double* f, double* jac, i32* reply) {
    Model& p = *static_cast<Model*>(context);
    if (request == 4) {
        ++p.checks;
        if (p.checks == p.fail_check) *reply = -1;
        else if (p.checks == p.stop_check) *reply = 1;
        else *reply = 0;
        return 0;
    }
    ++p.evals;
    evaluate(p, x, f, jac);
    if (p.evals == p.nan_eval) f[0] = std::numeric_limits<double>::quiet_NaN();
    if (p.evals == p.fail_eval) *reply = -1;
    else if (p.evals == p.positive_eval) *reply = 1;
    else if (p.evals != p.silent_eval) *reply = 0;
    return 0;
}

Model model(Gen& g, int level, Vec& x0) {
    Model p;
    p.kind = g.pick(0, 4);
    switch (p.kind) {
        case 0:
            p.m = g.pick(1, 8);
            p.n = g.pick(1, p.m);
            p.a = g.vec(static_cast<std::size_t>(p.m) * static_cast<std::size_t>(p.n), 0.0);
            if (p.n >= 2 && g.chance(0.3))
                for (i32 i = 0; i < p.m; ++i) p.a[static_cast<std::size_t>(i + p.m)] = p.a[static_cast<std::size_t>(i)];
            p.y = g.vec(static_cast<std::size_t>(p.m), 0.0);
            break;
        case 1:
            p.m = p.n = 2;
            break;
        case 2: {
            p.m = g.pick(3, 10);
            p.n = 2;
            const double c0 = g.uni(1.0, 5.0), c1 = g.uni(0.1, 2.0);
            for (i32 i = 0; i < p.m; ++i) {
                const double t = 0.5 * i;
                p.t.push_back(t);
                p.y.push_back(c0 / (1.0 + c1 * t) + g.uni(-0.01, 0.01));
            }
            break;
        }
        case 3:
            p.m = p.n = 4;
            break;
        default:
            p.m = g.pick(1, 3);
            p.n = p.m + g.pick(1, 2);
            p.a = g.vec(static_cast<std::size_t>(p.m) * static_cast<std::size_t>(p.n), 0.0);
            for (double& c : p.a) c = std::fabs(c) + 0.1;
            p.y = g.vec(static_cast<std::size_t>(p.m), 0.0);
            for (double& v : p.y) v = std::fabs(v) + 0.5;
            break;
    }
    x0 = g.vec(static_cast<std::size_t>(p.n), 0.0);
    if (p.kind == 1) x0 = {-1.2, 1.0};
    if (p.kind == 3) x0 = {3.0, -1.0, 0.0, 1.0};
    if (g.chance(prob(level))) x0[0] = g.special();
    if (g.chance(0.1)) p.fail_eval = g.pick(1, 6);
    if (g.chance(0.1)) p.positive_eval = g.pick(1, 6);
    if (g.chance(0.1)) p.silent_eval = g.pick(2, 6);
    if (g.chance(0.05 + prob(level))) p.nan_eval = g.pick(1, 8);
    if (g.chance(0.3)) p.stop_check = g.pick(1, 4);
    if (g.chance(0.05)) p.fail_check = g.pick(1, 6);
    return p;
}

void c_solver(Gen& g, Sink& s, int level) {
    Vec x;
    Model p = model(g, level, x);
    MathNonLinearSolverOptions o{};
    o.method = g.chance(0.9) ? g.pick(0, 1) : g.pick(-1, 2);
    constexpr i32 kIter[] = {0, 1, 3, 20, -5, 40};
    o.maxIterations = kIter[g.next() % 6];
    o.checkEachIteration = g.chance(0.25) ? 1 : 0;
    o.checkAtEnd = g.chance(0.4) ? 1 : 0;
    o.initialRadiusFactor = g.chance(0.6) ? 0.0 : g.uni(-0.1, 2.0);
    o.radiusCapFactor = g.chance(0.6) ? 0.0 : g.uni(-0.1, 2.0);
    o.residualTolerance = g.chance(0.6) ? 0.0 : g.uni(-1e-6, 1e-4);
    o.reservedTolerance = g.value(prob(level));
    if (g.chance(prob(level))) o.initialRadiusFactor = g.special();
    if (g.chance(prob(level))) o.residualTolerance = g.special();
    constexpr i32 kLevels[] = {4, 4, 4, 3, 2, 0, 5};
    const i32 trace_level = kLevels[g.next() % 7];
    const bool null_options = g.chance(0.05);
    const bool no_stream = g.chance(0.05);
    i32 m = p.m, n = p.n;
    if (g.chance(0.03)) m = g.pick(-1, 0);
    if (g.chance(0.03)) n = g.pick(-1, 0);

    Vec f = canary(p.m), step = canary(p.n);
    i32 status = -99;
    char* text = nullptr;
    std::size_t size = 0;
    FILE* stream = no_stream ? nullptr : open_memstream(&text, &size);
    MathNonLinearSolver(null_options ? nullptr : &o, m, n, &p, model_callback, trace_level, stream, x.data(),
                        f.data(), step.data(), &status);
    if (stream != nullptr) std::fclose(stream);
    s.i(status);
    s.v(x);
    s.v(f);
    s.v(step);
    s.i(p.evals);
    s.i(p.checks);
    s.t(text != nullptr ? std::string_view(text, size) : std::string_view());
    std::free(text);
}

// ---------------------------------------------------------------------------
// Control-net motion

void c_febew(Gen& g, Sink& s, int level) {
    const i32 kind = g.chance(0.6) ? 2 : g.pick(0, 3);
    const i32 code = g.chance(0.9) ? g.pick(0, 5) : (g.chance(0.5) ? -1 : 6);
    const i32 n = count(g, 8, 100);
    Vec vectors = g.vec(12, prob(level) * 0.5);
    Vec matrices(18);
    for (int k = 0; k < 2; ++k) {
        Vec r = g.chance(0.8) ? rotation(g) : g.vec(9, prob(level));
        for (int e = 0; e < 9; ++e) matrices[static_cast<std::size_t>(9 * k + e)] = r[static_cast<std::size_t>(e)];
    }
    const std::size_t dim = kind == 2 ? 4 : 3;
    Vec net = g.vec(dim * len(n), prob(level) * 0.5);
    if (kind == 2)
        for (std::size_t k = 0; k < len(n); ++k) {
            double& w = net[4 * k + 3];
            w = g.uni(0.5, 2.0);
            if (g.chance(prob(level) * 0.3)) w = g.chance(0.5) ? 0.0 : g.special();
        }
    febew(kind, code, vectors.data(), matrices.data(), &n, net.data());
    s.v(net);
}

}  // namespace

const std::vector<Case>& corpus() {
    static const std::vector<Case> table = {
        {"lvsum3_", c_lvsum3, 24, false},
        {"lvdif3_", c_lvdif3, 24, false},
        {"lvmul3_", c_lvmul3, 24, false},
        {"lvscl3_", c_lvscl3, 24, false},
        {"lvkrp3_", c_lvkrp3, 24, false},
        {"lvspa3_", c_lvspa3, 24, false},
        {"lvlgt3_", c_lvlgt3, 24, false},
        {"lvdis3_", c_lvdis3, 24, false},
        {"lvnrm3_", c_lvnrm3, 30, false},
        {"lvnrmb_", c_lvnrmb, 30, false},
        {"lvo23_", c_lvo23, 30, false},
        {"lvwin3_", c_lvwin3, 30, false},
        {"haacos_", c_haacos, 24, false},
        {"lvwiwi_", c_lvwiwi, 24, false},
        {"lvsumn_", c_lvsumn, 24, false},
        {"lvdifn_", c_lvdifn, 24, false},
        {"lvmuln_", c_lvmuln, 24, false},
        {"lvmldn_", c_lvmldn, 24, false},
        {"lvscln_", c_lvscln, 24, false},
        {"lvlgtn_", c_lvlgtn, 24, false},
        {"lvnrmn_", c_lvnrmn, 30, false},
        {"lvprmn_", c_lvprmn, 24, false},
        {"lmmlvn_", c_lmmlvn, 30, false},
        {"lmmulm_", c_lmmulm, 24, false},
        {"lmnrmn_", c_lmnrmn, 30, false},
        {"lmtrkn_", c_lmtrkn, 24, false},
        {"lm2pwu_", c_lm2pwu, 40, false},
        {"lmmul3_", c_lmmul3, 24, false},
        {"lmmtra_", c_lmmtra, 24, false},
        {"lmadj_", c_lmadj, 24, false},
        {"lmmvp3_", c_lmmvp3, 24, false},
        {"lmmvs3_", c_lmmvs3, 24, false},
        {"lmdre3_", c_lmdre3, 24, false},
        {"lmspi3_", c_lmspi3, 24, false},
        {"lmdvec_", c_lmdvec, 36, false},
        {"MathRotVector", c_MathRotVector, 30, false},
        {"lmdpl_", c_lmdpl, 48, false},
        {"lmrot3_", c_lmrot3, 24, false},
        {"ltmwb3_", c_ltmwb3, 30, false},
        {"ltmbw3_", c_ltmbw3, 30, false},
        {"lminv_", c_lminv, 36, true},
        {"lmmatc_", c_lmmatc, 48, true},
        {"lmmat_", c_lmmat, 36, true},
        {"lghtr_", c_lghtr, 48, false},
        {"lghtrt_", c_lghtrt, 48, false},
        {"lgdre_", c_lgdre, 36, false},
        {"lgdre1_", c_lgdre1, 36, false},
        {"lgqrfc_", c_lgqrfc, 36, false},
        {"lglse_", c_lglse, 48, false},
        {"lglse1_", c_lglse1, 48, false},
        {"lgbla_", c_lgbla, 30, false},
        {"lgbls_", c_lgbls, 36, false},
        {"lgloes_", c_lgloes, 30, true},
        {"MathNonLinearSolver", c_solver, 90, true},
        {"ngpar1_", c_ngpar1, 48, false},
        {"ngvsc1_", c_ngvsc1, 24, false},
        {"ngstp1_", c_ngstp1, 30, false},
        {"ngrat1_", c_ngrat1, 30, false},
        {"ngups1_", c_ngups1, 30, false},
        {"febew", c_febew, 36, true},
    };
    return table;
}

std::uint64_t case_seed(const Case& c, int rep, std::uint64_t stream) {
    Fnv h;
    h.add(c.routine);
    h.add("/");
    return h.value() ^ (0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(rep + 1)) ^
           (0xD1B54A32D192ED03ull * (stream + 1));
}

void run_case(const Case& c, int rep, std::uint64_t stream, Sink& s) {
    Gen g(case_seed(c, rep, stream));
    c.run(g, s, rep % 3);
}

}  // namespace zc
