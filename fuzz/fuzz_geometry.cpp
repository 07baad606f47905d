// Fuzz target: rotations and reflections, frame transforms, and the
// best-fit rigid motion with the orthogonal factor it rests on (which
// reach the matrix inversion, its memory-service blocks and the heap of
// the least-squares solver).
#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

bool is_identity(const Arr<double>& m) {
    for (int k = 0; k < 9; ++k)
        if (!fz::same_bits(m[k], k % 4 == 0 ? 1.0 : 0.0)) return false;
    return true;
}

void rotations(Input& in, int which) {
    switch (which) {
        case 0: {
            const Arr<double> axis = fz::reals(in, 3);
            const Arr<double> s = fz::one(in.real()), c = fz::one(in.real());
            Arr<double> out(9);
            lmdre3_(axis, s, c, out);
            break;
        }
        case 1: {
            // lmspi3_: out untouched on failure.
            const Arr<double> v = fz::reals(in, 3);
            const Arr<double> factor = fz::one(in.real());
            Arr<double> out = fz::reals(in, 9);
            const Arr<double> out0(out);
            Arr<std::int32_t> ierr = fz::one(in.any_int());
            lmspi3_(v, factor, out, ierr);
            FZ_CHECK(ierr[0] == 0 || ierr[0] == 1);
            if (ierr[0] == 1) FZ_CHECK(out.same(out0));
            break;
        }
        case 2: {
            // lmdvec_: out may be any of the inputs.  Each separate output
            // starts as the input it stands in for, so that an output left
            // untouched (a mirror refused for a short a) compares as well.
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3), axis = fz::reals(in, 3);
            for (int which_in = 0; which_in < 3; ++which_in) {
                const Arr<double>& v = which_in == 0 ? a : which_in == 1 ? b : axis;
                Arr<double> out(9), shared(9);
                for (int k = 0; k < 3; ++k) out[k] = shared[k] = v[k];
                lmdvec_(a, b, axis, out);
                lmdvec_(which_in == 0 ? shared.data() : a.data(), which_in == 1 ? shared.data() : b.data(),
                        which_in == 2 ? shared.data() : axis.data(), shared);
                FZ_CHECK(shared.same(out));
            }
            break;
        }
        case 3: {
            const Arr<double> a = fz::reals(in, 3), b = fz::reals(in, 3);
            Arr<double> out = fz::reals(in, 9);
            MathRotVector(a, b, out);
            break;
        }
        case 4: {
            // lmdpl_: out untouched when the status is -1.
            const Arr<double> a1 = fz::reals(in, 3), a2 = fz::reals(in, 3);
            const Arr<double> b1 = fz::reals(in, 3), b2 = fz::reals(in, 3);
            Arr<double> out = fz::reals(in, 9);
            const Arr<double> out0(out);
            Arr<std::int32_t> status = fz::one(in.any_int());
            lmdpl_(a1, a2, b1, b2, out, status);
            FZ_CHECK(status[0] >= -1 && status[0] <= 1);
            if (status[0] == -1) FZ_CHECK(out.same(out0));
            break;
        }
        default: {
            // lmrot3_: out may be pts; n < 1 leaves out as it was.
            const Arr<double> a = fz::reals(in, 9), center = fz::reals(in, 3);
            const Arr<std::int32_t> n = fz::one(in.count(12));
            const Arr<double> pts = fz::reals(in, 3 * fz::pos(n[0]));
            Arr<double> out = fz::reals(in, 3 * fz::pos(n[0]));
            const Arr<double> out0(out);
            lmrot3_(a, center, pts, n, out);
            if (n[0] < 1) FZ_CHECK(out.same(out0));
            Arr<double> p(pts);
            lmrot3_(a, center, p, n, p);
            FZ_CHECK(p.same(out));
            break;
        }
    }
}

// ltmwb3_ (world to frame) or ltmbw3_: the fifth and seventh arguments are
// never read (null here); out may be pts except for ltmbw3_ in the parallel
// mode.
void frame_transform(Input& in, bool to_frame) {
    const Arr<std::int32_t> n = fz::one(in.count(12));
    const Arr<double> pts = fz::reals(in, 3 * fz::pos(n[0]));
    const Arr<double> a = fz::reals(in, 9), origin = fz::reals(in, 3);
    const Arr<std::int32_t> parallel = fz::one(in.flag() ? 0 : in.any_int());
    const Arr<double> dist = fz::one(in.real());
    Arr<double> out = fz::reals(in, 3 * fz::pos(n[0]));
    const Arr<double> out0(out);
    const auto call = to_frame ? ltmwb3_ : ltmbw3_;
    call(pts, n, a, origin, nullptr, parallel, nullptr, dist, out);
    if (n[0] < 1) FZ_CHECK(out.same(out0));
    if (to_frame || parallel[0] == 0) {
        Arr<double> p(pts);
        call(p, n, a, origin, nullptr, parallel, nullptr, dist, p);
        FZ_CHECK(p.same(out));
    }
}

void rigid_fit(Input& in) {
    const Arr<std::int32_t> fitmode = fz::one(in.flag() ? 0 : in.any_int());
    const Arr<std::int32_t> n = fz::one(in.count(12));
    const Arr<std::int32_t> weighted = fz::one(in.flag() ? 0 : in.any_int());
    // The weights are read only when asked for.
    const Arr<double> weights = fz::reals(in, weighted[0] != 0 ? n[0] : 0);
    const Arr<double> src = fz::reals(in, 3 * fz::pos(n[0]));
    Arr<double> dst = fz::reals(in, 3 * fz::pos(n[0]));
    if (in.flag()) {
        // Targets that are a rotated and shifted copy of the sources, so
        // that the Newton iteration and the inversion are reached.
        const Arr<double> rot = fz::reals(in, 9), shift = fz::reals(in, 3);
        for (i64 k = 0; k < fz::pos(n[0]); ++k)
            for (int i = 0; i < 3; ++i)
                dst[3 * k + i] = shift[i] + rot[3 * i] * src[3 * k] + rot[3 * i + 1] * src[3 * k + 1] +
                                 rot[3 * i + 2] * src[3 * k + 2];
    }
    const Arr<double> rot0 = fz::reals(in, 9), trans0 = fz::reals(in, 3);
    const Arr<std::int32_t> wantdev = fz::one(in.flag() ? 1 : in.any_int());
    const Arr<double> maxdev0 = fz::one(in.real());
    const Arr<std::int32_t> ierr0 = fz::one(in.any_int());
    fz::twice([&] {
        Arr<double> rot(rot0), trans(trans0), maxdev(maxdev0);
        Arr<std::int32_t> ierr(ierr0);
        lmmat_(fitmode, n, weighted, weights, src, dst, rot, trans, wantdev, maxdev, ierr);
        FZ_CHECK(ierr[0] == (n[0] < 1 ? 1 : 0));
        if (wantdev[0] == 0) FZ_CHECK(maxdev.same(maxdev0));
        if (n[0] < 1) {
            FZ_CHECK(is_identity(rot));
            for (int k = 0; k < 3; ++k) FZ_CHECK(fz::same_bits(trans[k], 0.0));
            if (wantdev[0] != 0) FZ_CHECK(fz::same_bits(maxdev[0], -1.0));
        }
        if (n[0] < 3 || fitmode[0] != 0) FZ_CHECK(is_identity(rot));
        return fz::Prints() << rot << trans << maxdev << ierr;
    });
}

void orthogonal_factor(Input& in) {
    const Arr<double> a = fz::reals(in, 9);
    const Arr<double> rot0 = fz::reals(in, 9);
    const Arr<std::int32_t> rank0 = fz::one(in.any_int());
    fz::twice([&] {
        Arr<double> rot(rot0);
        Arr<std::int32_t> rank(rank0);
        lmmatc_(a, rot, rank);
        FZ_CHECK(rank[0] >= 0 && rank[0] <= 3);
        if (rank[0] <= 1) FZ_CHECK(rot.same(rot0));
        return fz::Prints() << rot << rank;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        const int sel = in.byte() % 10;
        if (sel < 6)
            rotations(in, sel);
        else if (sel < 8)
            frame_transform(in, sel == 6);
        else if (sel == 8)
            rigid_fit(in);
        else
            orthogonal_factor(in);
    });
}
