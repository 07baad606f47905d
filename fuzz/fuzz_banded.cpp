// Fuzz target: sequential banded least squares.  An input feeds blocks of
// equations into a band array as a caller would (mostly keeping to the
// protocol, sometimes not: blocks left of the current one, rows past the
// end of the array, bad counts), then solves with the factor in one of the
// three modes, or solves with an arbitrary band array.
#include <algorithm>

#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

struct Band {
    Arr<std::int32_t> ldg, nb, nrhs;
    Arr<double> g;

    explicit Band(Input& in)
        : ldg(fz::one(in.count(24))),
          nb(fz::one(in.range(-1, 6))),
          nrhs(fz::one(in.range(-1, 4))),
          g(fz::reals(in, fz::pos(ldg[0]) * fz::pos(nb[0] + i64{nrhs[0]}))) {}
    i64 cols() const { return nb[0] + i64{nrhs[0]}; }
};

// The caller's part of the protocol: the block's rows at inext, those that
// lie inside g.
void place_block(Input& in, Band& band, i64 inext, i64 nrow) {
    for (i64 i = std::max<i64>(inext, 1); i < inext + nrow && i <= band.ldg[0]; ++i)
        for (i64 t = 1; t <= band.cols(); ++t) band.g[(i - 1) + (t - 1) * band.ldg[0]] = in.real();
}

void accumulate(Input& in, Band& band, Arr<std::int32_t>& ipos, Arr<std::int32_t>& inext) {
    const Arr<double> tol = fz::one(in.flag() ? 1e-8 : in.real());
    const int blocks = in.range(0, 6);
    for (int b = 0; b < blocks; ++b) {
        const Arr<std::int32_t> nrow = fz::one(in.range(-1, 5));
        const std::uint8_t how = in.byte();
        const std::int32_t jcol = how < 0xC0 ? ipos[0] + how % 3 : in.range(-2, 12);
        const Arr<std::int32_t> jc = fz::one(jcol);
        place_block(in, band, inext[0], nrow[0]);
        const Arr<double> g0(band.g);
        const std::int32_t ipos0 = ipos[0], inext0 = inext[0];
        lgbla_(band.g, band.ldg, band.nb, ipos, inext, nrow, jc, band.nrhs, tol);
        // Calls the protocol cannot produce, or that would reach outside g,
        // change nothing.
        const bool refused = nrow[0] < 1 || band.nb[0] < 1 || band.nrhs[0] < 0 || jcol < ipos0 ||
                             inext0 < ipos0 || std::max(inext0, jcol) + i64{nrow[0]} - 1 > band.ldg[0];
        if (refused) {
            FZ_CHECK(band.g.same(g0) && ipos[0] == ipos0 && inext[0] == inext0);
        } else if (ipos0 >= 1) {
            FZ_CHECK(ipos[0] == jcol && inext[0] > ipos[0] && inext[0] <= band.ldg[0] + 1);
        }
    }
}

void solve(Input& in, const Band& band, std::int32_t ipos) {
    const Arr<std::int32_t> mode = fz::one(in.flag() ? in.range(1, 3) : in.any_int());
    const Arr<std::int32_t> ip = fz::one(in.flag() ? ipos : in.flag() ? in.range(-3, 14) : in.any_int());
    const Arr<std::int32_t> n = fz::one(in.flag() ? in.range(-1, 1) + ipos : in.count(26));
    const Arr<double> tol = fz::one(in.flag() ? 1e-8 : in.real());
    Arr<double> x = fz::reals(in, fz::pos(n[0]) * fz::pos(band.nrhs[0]));
    const Arr<double> x0(x);
    Arr<std::int32_t> ierr = fz::one(in.any_int());
    lgbls_(mode, band.g, band.ldg, band.nb, ip, n, band.nrhs, tol, x, ierr);
    FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
    const bool bad = (mode[0] < 1 || mode[0] > 3) || band.nb[0] < 1 || band.nrhs[0] < 0 ||
                     (n[0] >= 1 && band.ldg[0] < n[0]);
    if (bad) FZ_CHECK(ierr[0] == 1 && x.same(x0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        (void)in.byte();  // one family of routines: the selector is not used
        Band band(in);
        if (in.byte() % 4 == 3) {
            // A band array of anything at all.
            solve(in, band, in.range(-2, 12));
            return;
        }
        Arr<std::int32_t> ipos = fz::one(in.flag() ? 1 : in.range(-2, 6));
        Arr<std::int32_t> inext = fz::one(in.flag() ? 1 : in.range(-2, 8));
        accumulate(in, band, ipos, inext);
        solve(in, band, ipos[0]);
    });
}
