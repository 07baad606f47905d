// Fuzz target: the motion of Cartesian and rational control-point nets,
// with the memory service refusing the rational net's scratch now and
// then.  The motion vectors and matrices are as long as the motion code
// uses; the weights of a rational net are never written.
#include "fuzz_support.hpp"

namespace {

using fz::Arr;
using fz::i64;
using fz::Input;

// Values of the motion vectors and matrices that a code reads.
i64 vector_values(std::int32_t code) {
    switch (code) {
        case 0:
        case 1: return 3;
        case 2:
        case 3: return 6;
        case 4: return 9;
        case 5: return 12;
        default: return 0;
    }
}

i64 matrix_values(std::int32_t code) {
    if (code >= 1 && code <= 4) return 9;
    return code == 5 ? 18 : 0;
}

void motion(Input& in) {
    const std::int32_t kind = in.flag() ? 2 : in.any_int();
    const std::int32_t code = in.flag() ? in.range(0, 5) : in.any_int();
    const Arr<std::int32_t> n = fz::one(in.count(12));
    const i64 width = kind == 2 ? 4 : 3;
    const Arr<double> vectors = fz::reals(in, vector_values(code));
    const Arr<double> matrices = fz::reals(in, matrix_values(code));
    const Arr<double> net0 = fz::reals(in, width * fz::pos(n[0]));
    fz::twice([&] {
        Arr<double> net(net0);
        febew(kind, code, vectors, matrices, n, net);
        if (kind == 2)
            for (i64 k = 0; k < fz::pos(n[0]); ++k) FZ_CHECK(fz::same_bits(net[4 * k + 3], net0[4 * k + 3]));
        // Unknown codes and empty nets do nothing and ask for nothing; a
        // Cartesian net never asks.
        if (vector_values(code) == 0 || n[0] < 1) FZ_CHECK(net.same(net0));
        if (vector_values(code) == 0 || n[0] < 1 || kind != 2) FZ_CHECK(fz::service_requests() == 0);
        // A refused scratch block leaves the net as it was.
        if (fz::service_refused() != 0) FZ_CHECK(net.same(net0));
        return fz::Prints() << net;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fz::run_calls(data, size, [](Input& in) {
        (void)in.byte();  // one routine: the selector is not used
        motion(in);
    });
}
