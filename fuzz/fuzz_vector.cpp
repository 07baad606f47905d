// Fuzz target: the kernels on 3-vectors and on vectors of run-time length.
//
// Where an output may be one of the inputs, the call is repeated with the
// output placed on that input and must give the same bits; inputs that are
// only read must come back unchanged; outputs that a degenerate case leaves
// alone must stay as they were.
#include <algorithm>
#include <cmath>

#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

const double kPi = std::acos(-1.0);

bool is_angle(double w) { return std::isnan(w) || (w >= 0.0 && w <= kPi); }

bool all_zero(const Arr<double>& a) {
    for (i64 i = 0; i < a.size(); ++i)
        if (!fz::same_bits(a[i], 0.0)) return false;
    return true;
}

// c = op(a, b) with c separate, c on a, and c on b.
template <class Op>
void binary3(Input& in, Op op, bool alias_b) {
    const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
    const Arr<double> a0(a), b0(b);
    Arr<double> c = fz::reals(in, 3);
    op(a.data(), b.data(), c.data());
    FZ_CHECK(a.same(a0) && b.same(b0));
    Arr<double> ca(a);
    op(ca.data(), b.data(), ca.data());
    FZ_CHECK(ca.same(c));
    if (alias_b) {
        Arr<double> cb(b);
        op(a.data(), cb.data(), cb.data());
        FZ_CHECK(cb.same(c));
    }
}

void three_vectors(Input& in, int which) {
    switch (which) {
        case 0:
            binary3(in, [](const double* a, const double* b, double* c) { lvsum3_(a, b, c); }, true);
            break;
        case 1:
            binary3(in, [](const double* a, const double* b, double* c) { lvdif3_(a, b, c); }, true);
            break;
        case 2: {
            const Arr<double> s = fz::one(in.real());
            binary3(in, [&](const double* a, const double*, double* c) { lvmul3_(a, s, c); }, false);
            break;
        }
        case 3: {
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
            const double d = lvscl3_(a, b);
            FZ_CHECK(fz::same_bits(d, lvscl3_(a, b)));
            break;
        }
        case 4: {
            // c distinct from a and b; a and b may coincide.
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
            Arr<double> c(3);
            lvkrp3_(a, b, c);
            Arr<double> c2(3);
            const Arr<double> a2(a);
            lvkrp3_(a2, a2, c2);
            break;
        }
        case 5: {
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3), c = fz::reals(in, 3);
            (void)lvspa3_(a, b, c);
            (void)lvspa3_(a, a, a);
            break;
        }
        case 6: {
            const Arr<double> a = fz::reals(in, 3);
            FZ_CHECK(!(lvlgt3_(a) < 0.0));
            break;
        }
        case 7: {
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
            Arr<double> d(1);
            lvdis3_(a, b, d);
            FZ_CHECK(!(d[0] < 0.0));
            break;
        }
        case 8: {
            // lvnrm3_, b separate and b on a.
            const Arr<double> a = fz::reals(in, 3);
            Arr<double> b(a);
            Arr<std::int32_t> ierr(1);
            lvnrm3_(a, b, ierr);
            FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
            if (ierr[0] == 1) FZ_CHECK(all_zero(b));
            Arr<double> ab(a);
            Arr<std::int32_t> ierr2(1);
            lvnrm3_(ab, ab, ierr2);
            FZ_CHECK(ab.same(b) && ierr2[0] == ierr[0]);
            break;
        }
        case 9: {
            const Arr<double> a = fz::reals(in, 3);
            Arr<double> b(a), len = fz::reals(in, 1);
            Arr<std::int32_t> ierr(1);
            lvnrmb_(a, b, len, ierr);
            FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
            if (ierr[0] == 1) FZ_CHECK(all_zero(b) && fz::same_bits(len[0], 0.0));
            Arr<double> ab(a), len2(1);
            Arr<std::int32_t> ierr2(1);
            lvnrmb_(ab, ab, len2, ierr2);
            FZ_CHECK(ab.same(b) && ierr2[0] == ierr[0] && fz::same_bits(len2[0], len[0]));
            break;
        }
        case 10: {
            // lvo23_: b or c may be a, b and c distinct.  The separate
            // outputs start with a's values so that every outcome,
            // untouched outputs included, compares bit for bit.
            const Arr<double> a = fz::reals(in, 3);
            Arr<double> b(a), c(a);
            Arr<std::int32_t> ierr(1);
            lvo23_(a, b, c, ierr);
            FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
            if (ierr[0] == 1) FZ_CHECK(c.same(a));
            Arr<double> ab(a), c2(a);
            Arr<std::int32_t> e2(1);
            lvo23_(ab, ab, c2, e2);
            FZ_CHECK(ab.same(b) && c2.same(c) && e2[0] == ierr[0]);
            Arr<double> b3(a), ac(a);
            Arr<std::int32_t> e3(1);
            lvo23_(ac, b3, ac, e3);
            FZ_CHECK(b3.same(b) && ac.same(c) && e3[0] == ierr[0]);
            break;
        }
        case 11: {
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
            FZ_CHECK(is_angle(lvwin3_(a, b)));
            break;
        }
        case 12: {
            const Arr<double> x = fz::one(in.real());
            FZ_CHECK(is_angle(haacos_(x)));
            break;
        }
        default: {
            const Arr<double> w1 = fz::one(in.real()), w2 = fz::one(in.real());
            const Arr<std::int32_t> sense = fz::one(in.any_int());
            Arr<double> d(1);
            lvwiwi_(w1, w2, sense, d);
            break;
        }
    }
}

// c = op(n, a, b) for vectors of length n: separate, on a, and on b; a
// count below 1 leaves c as it was.
template <class Op>
void binaryn(Input& in, Op op, bool alias_b) {
    const Arr<std::int32_t> n = fz::one(in.count(24));
    const Arr<double> a = fz::reals(in, n[0]), b = fz::reals(in, n[0]);
    const Arr<double> a0(a), b0(b);
    Arr<double> c = fz::reals(in, n[0]);
    const Arr<double> c0(c);
    op(n.data(), a.data(), b.data(), c.data());
    FZ_CHECK(a.same(a0) && b.same(b0));
    if (n[0] < 1) FZ_CHECK(c.same(c0));
    Arr<double> ca(a);
    op(n.data(), ca.data(), b.data(), ca.data());
    FZ_CHECK(ca.same(c));
    if (alias_b) {
        Arr<double> cb(b);
        op(n.data(), a.data(), cb.data(), cb.data());
        FZ_CHECK(cb.same(c));
    }
}

// The multiset of bit patterns of a, for checks of interchanges.
std::vector<std::uint64_t> patterns(const Arr<double>& a) {
    std::vector<std::uint64_t> v(static_cast<std::size_t>(a.size()));
    for (i64 i = 0; i < a.size(); ++i) std::memcpy(&v[static_cast<std::size_t>(i)], &a[i], sizeof(double));
    std::sort(v.begin(), v.end());
    return v;
}

void n_vectors(Input& in, int which) {
    switch (which) {
        case 0:
            binaryn(in, [](const std::int32_t* n, const double* a, const double* b, double* c) { lvsumn_(n, a, b, c); },
                    true);
            break;
        case 1:
            binaryn(in, [](const std::int32_t* n, const double* a, const double* b, double* c) { lvdifn_(n, a, b, c); },
                    true);
            break;
        case 2: {
            const Arr<double> s = fz::one(in.real());
            binaryn(in, [&](const std::int32_t* n, const double* a, const double*, double* c) { lvmuln_(n, a, s, c); },
                    false);
            break;
        }
        case 3: {
            // lvmldn_: z may be y; a quotient leaves z alone where the
            // divisor is tiny or NaN.
            const Arr<std::int32_t> mode = fz::one(in.flag() ? -1 : in.any_int());
            const Arr<std::int32_t> n = fz::one(in.count(24));
            const Arr<double> x = fz::reals(in, n[0]), y = fz::reals(in, n[0]);
            const Arr<double> y0(y);
            Arr<double> z = fz::reals(in, n[0]);
            const Arr<double> z0(z);
            lvmldn_(mode, n, x, y, z);
            FZ_CHECK(y.same(y0));
            for (i64 i = 0; i < z.size(); ++i)
                if (mode[0] == -1 && !(std::fabs(x[i]) > 1e-20)) FZ_CHECK(fz::same_bits(z[i], z0[i]));
            Arr<double> zs(y), zy(y);
            lvmldn_(mode, n, x, y, zs);
            lvmldn_(mode, n, x, zy, zy);
            FZ_CHECK(zy.same(zs));
            break;
        }
        case 4: {
            const Arr<std::int32_t> n = fz::one(in.count(24));
            const Arr<double> a = fz::reals(in, n[0]), b = fz::reals(in, n[0]);
            const double s = lvscln_(n, a, b);
            if (n[0] < 1) FZ_CHECK(fz::same_bits(s, 0.0));
            break;
        }
        case 5: {
            const Arr<std::int32_t> n = fz::one(in.count(24));
            const Arr<double> a = fz::reals(in, n[0]);
            const double l = lvlgtn_(n, a);
            FZ_CHECK(!(l < 0.0));
            if (n[0] < 1) FZ_CHECK(fz::same_bits(l, 0.0));
            break;
        }
        case 6: {
            // lvnrmn_: b may be a; n < 1 writes nothing and reports 1.
            const Arr<std::int32_t> n = fz::one(in.count(24));
            const Arr<double> a = fz::reals(in, n[0]);
            Arr<double> b(a);
            Arr<std::int32_t> ierr = fz::one(in.any_int());
            lvnrmn_(n, a, b, ierr);
            FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
            if (n[0] < 1) FZ_CHECK(ierr[0] == 1);
            if (ierr[0] == 1 && n[0] >= 1) FZ_CHECK(all_zero(b));
            Arr<double> ab(a);
            Arr<std::int32_t> e2(1);
            lvnrmn_(n, ab, ab, e2);
            FZ_CHECK(ab.same(b) && e2[0] == ierr[0]);
            break;
        }
        default: {
            // lvprmn_: only interchanges, a backward pass undoes a forward
            // pass, and b may be a.
            const Arr<std::int32_t> mode = fz::one(in.any_int());
            const Arr<std::int32_t> n = fz::one(in.count(24));
            const Arr<double> a = fz::reals(in, n[0]);
            Arr<std::int32_t> p(n[0]);
            for (i64 i = 0; i < p.size(); ++i) p[i] = in.flag() ? in.range(1, n[0]) : in.any_int();
            const Arr<std::int32_t> p0(p);
            Arr<double> b = fz::reals(in, n[0]);
            lvprmn_(mode, n, a, b, p);
            FZ_CHECK(p.same(p0));
            FZ_CHECK(patterns(a) == patterns(b));
            Arr<double> ab(a);
            lvprmn_(mode, n, ab, ab, p);
            FZ_CHECK(ab.same(b));
            const Arr<std::int32_t> back = fz::one(mode[0] >= 0 ? -1 : 0);
            lvprmn_(back, n, ab, ab, p);
            FZ_CHECK(ab.same(a));
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        const int sel = in.byte() % 22;
        if (sel < 14)
            three_vectors(in, sel);
        else
            n_vectors(in, sel - 14);
    });
}
