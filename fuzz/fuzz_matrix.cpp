// Fuzz target: matrices of run-time size, the quadratic roots, and the
// 3 by 3 matrices and point lists.
#include <algorithm>
#include <cmath>

#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

void general(Input& in, int which) {
    switch (which) {
        case 0: {
            // lmmlvn_: a column-major m by n with lda; y separate from a and
            // x.  With several columns and lda < 1 nothing is touched.
            const Arr<std::int32_t> mode = fz::one(in.flag() ? 2 : in.any_int());
            const Arr<std::int32_t> m = fz::one(in.count(12)), n = fz::one(in.count(12));
            const Arr<std::int32_t> lda = fz::one(fz::leading_dim(in, m[0], n[0], true));
            const bool inert = m[0] >= 1 && n[0] > 1 && lda[0] < 1;
            const bool transposed = mode[0] == 2;
            const Arr<double> a = fz::reals(in, inert ? 0 : fz::block_size(lda[0], m[0], n[0]));
            const Arr<double> x = fz::reals(in, inert ? 0 : transposed ? m[0] : n[0]);
            Arr<double> y = fz::reals(in, transposed ? n[0] : m[0]);
            const Arr<double> y0(y);
            lmmlvn_(mode, lda, m, n, a, x, y);
            if (inert) FZ_CHECK(y.same(y0));
            // An empty inner dimension gives zeros.
            if (!inert && (transposed ? m[0] < 1 : n[0] < 1))
                for (i64 i = 0; i < y.size(); ++i) FZ_CHECK(fz::same_bits(y[i], 0.0));
            break;
        }
        case 1: {
            // lmmulm_: row by row, c separate; ncola < 1 gives zeros.
            const Arr<std::int32_t> ra = fz::one(in.count(8)), ca = fz::one(in.count(8)),
                                    cb = fz::one(in.count(8));
            const Arr<double> a = fz::reals(in, fz::pos(ra[0]) * fz::pos(ca[0]));
            const Arr<double> b = fz::reals(in, fz::pos(ca[0]) * fz::pos(cb[0]));
            Arr<double> c = fz::reals(in, fz::pos(ra[0]) * fz::pos(cb[0]));
            lmmulm_(ra, ca, cb, a, b, c);
            if (ca[0] < 1)
                for (i64 i = 0; i < c.size(); ++i) FZ_CHECK(fz::same_bits(c[i], 0.0));
            break;
        }
        case 2: {
            // lmnrmn_: never negative; unknown modes, empty matrices and
            // lda < 1 with several columns give 0.
            const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 4) : in.any_int());
            const Arr<std::int32_t> m = fz::one(in.count(12)), n = fz::one(in.count(12));
            const Arr<std::int32_t> lda = fz::one(fz::leading_dim(in, m[0], n[0], true));
            const bool inert = m[0] < 1 || n[0] < 1 || (n[0] > 1 && lda[0] < 1);
            const Arr<double> a = fz::reals(in, inert ? 0 : fz::block_size(lda[0], m[0], n[0]));
            const double r = lmnrmn_(mode, lda, m, n, a);
            FZ_CHECK(!(r < 0.0));
            if (inert || mode[0] < 1 || mode[0] > 4) FZ_CHECK(fz::same_bits(r, 0.0));
            if (mode[0] == 1 || mode[0] == 2 || mode[0] == 4) FZ_CHECK(!std::isnan(r));
            break;
        }
        case 3: {
            // lmtrkn_: the diagonal of the leading min(lda, n) square.
            // With at most one column any lda is safe.
            const Arr<std::int32_t> n = fz::one(in.count(12));
            const Arr<std::int32_t> lda = fz::one(n[0] <= 1 && in.flag() ? in.any_int() : in.range(-3, 20));
            const i64 r = std::min<i64>(lda[0], n[0]);
            const Arr<double> a = fz::reals(in, r >= 1 ? (r - 1) * (i64{lda[0]} + 1) + 1 : 0);
            const Arr<double> tol = fz::one(in.real());
            const std::int32_t k = lmtrkn_(lda, n, a, tol);
            FZ_CHECK(k >= 0 && k <= fz::pos(r));
            break;
        }
        default: {
            // lm2pwu_: the degree decides the count of real roots and which
            // roots are written.
            const Arr<double> coef = fz::reals(in, 3);
            Arr<std::int32_t> nreal = fz::one(in.any_int()), degree = fz::one(in.any_int());
            Arr<double> roots = fz::reals(in, 4);
            const Arr<double> roots0(roots);
            lm2pwu_(coef, nreal, degree, roots);
            switch (degree[0]) {
                case 2:
                    FZ_CHECK(nreal[0] == 2 || nreal[0] == 0);
                    break;
                case 1:
                    FZ_CHECK(nreal[0] == 1);
                    FZ_CHECK(fz::same_bits(roots[2], roots0[2]) && fz::same_bits(roots[3], roots0[3]));
                    break;
                case 0:
                case -1:
                    FZ_CHECK(nreal[0] == degree[0] && roots.same(roots0));
                    break;
                default:
                    fz::fail("degree outside -1..2", __FILE__, __LINE__);
            }
            break;
        }
    }
}

void three_by_three(Input& in, int which) {
    switch (which) {
        case 0: {
            // lmmul3_: c may be a or b.
            const Arr<double> a = fz::reals(in, 9), b = fz::reals(in, 9);
            Arr<double> c(9);
            lmmul3_(a, b, c);
            Arr<double> ca(a), cb(b);
            lmmul3_(ca, b, ca);
            lmmul3_(a, cb, cb);
            FZ_CHECK(ca.same(c) && cb.same(c));
            Arr<double> sq(9), aa(a);
            lmmul3_(a, a, sq);
            lmmul3_(aa, aa, aa);
            FZ_CHECK(aa.same(sq));
            break;
        }
        case 1: {
            // lmmtra_: out may be a; twice gives a back.
            const Arr<double> a = fz::reals(in, 9);
            Arr<double> t(9), ta(a);
            lmmtra_(a, t);
            lmmtra_(ta, ta);
            FZ_CHECK(ta.same(t));
            lmmtra_(ta, ta);
            FZ_CHECK(ta.same(a));
            break;
        }
        case 2: {
            const Arr<double> a = fz::reals(in, 9);
            Arr<double> out(9);
            lmadj_(a, out);
            break;
        }
        case 3: {
            // lmmvp3_: out may be pts; n < 1 leaves out as it was.
            const Arr<double> a = fz::reals(in, 9);
            const Arr<std::int32_t> n = fz::one(in.count(12));
            const Arr<double> pts = fz::reals(in, 3 * fz::pos(n[0]));
            Arr<double> out = fz::reals(in, 3 * fz::pos(n[0]));
            const Arr<double> out0(out);
            lmmvp3_(a, n, pts, out);
            if (n[0] < 1) FZ_CHECK(out.same(out0));
            Arr<double> p(pts);
            lmmvp3_(a, n, p, p);
            FZ_CHECK(p.same(out));
            break;
        }
        default: {
            // lmmvs3_: out may be pts.
            const Arr<double> shift = fz::reals(in, 3);
            const Arr<std::int32_t> n = fz::one(in.count(12));
            const Arr<double> pts = fz::reals(in, 3 * fz::pos(n[0]));
            Arr<double> out = fz::reals(in, 3 * fz::pos(n[0]));
            const Arr<double> out0(out);
            lmmvs3_(pts, n, shift, out);
            if (n[0] < 1) FZ_CHECK(out.same(out0));
            Arr<double> p(pts);
            lmmvs3_(p, n, shift, p);
            FZ_CHECK(p.same(out));
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        const int sel = in.byte() % 10;
        if (sel < 5)
            general(in, sel);
        else
            three_by_three(in, sel - 5);
    });
}
