// Rigid motion of control-point nets in place: translations (lmmvs3_) and
// rotations about a centre (lmrot3_), alone or in the fixed sequences of the
// motion codes.  Rational nets (x, y, z, w) move through a Cartesian copy
// (x/w, y/w, z/w) borrowed from the memory service; w is never written.
#include <cstdint>

#include "frame/scratch.hpp"
#include "zolmath.h"

namespace {

constexpr int32_t kRational = 2;
constexpr const char* kTag = "febew";

// One elementary motion: a pass over all points of a Cartesian list.
struct Pass {
    enum Kind { Translate, Rotate } kind;
    const double* vec;  // shift, or centre of the rotation
    const double* mat;  // rotation, rows in order (Rotate only)
};

// Passes of a motion code; returns their number (0 for an unknown code).
// Code 1 is the lone rotation and takes its centre from the first three
// values; the sequences of codes 2 to 5 put the first shift there instead.
int motion_passes(int32_t code, const double* v, const double* r, Pass* p) {
    switch (code) {
        case 0:
            p[0] = {Pass::Translate, v, nullptr};
            return 1;
        case 1:
            p[0] = {Pass::Rotate, v, r};
            return 1;
        case 2:
        case 3:
        case 4:
        case 5:
            p[0] = {Pass::Translate, v, nullptr};
            p[1] = {Pass::Rotate, v + 3, r};
            if (code < 4) return 2;
            p[2] = {Pass::Translate, v + 6, nullptr};
            if (code == 4) return 3;
            p[3] = {Pass::Rotate, v + 9, r + 9};
            return 4;
        default:
            return 0;
    }
}

void run(const Pass& p, const int32_t* n, double* pts) {
    if (p.kind == Pass::Translate)
        lmmvs3_(pts, n, p.vec, pts);
    else
        lmrot3_(p.mat, p.vec, pts, n, pts);
}

// Scratch request and release lines, by motion code.
struct Lines {
    int32_t request, release;
};

Lines scratch_lines(int32_t code) {
    switch (code) {
        case 0: return {113, 137};
        case 1: return {157, 181};
        case 2: return {204, 249};
        default: return {297, 346};
    }
}

void divide(std::int64_t count, const double* net, double* cart) {
    for (std::int64_t k = 0; k < count; ++k) {
        const double* p = net + 4 * k;
        double* c = cart + 3 * k;
        c[0] = p[0] / p[3];
        c[1] = p[1] / p[3];
        c[2] = p[2] / p[3];
    }
}

void multiply_back(std::int64_t count, const double* cart, double* net) {
    for (std::int64_t k = 0; k < count; ++k) {
        double* p = net + 4 * k;
        const double* c = cart + 3 * k;
        p[0] = c[0] * p[3];
        p[1] = c[1] * p[3];
        p[2] = c[2] * p[3];
    }
}

}  // namespace

extern "C" void febew(int32_t kind, int32_t code, const double* vectors, const double* matrices,
                      const int32_t* n, double* net) {
    Pass passes[4];
    const int npass = motion_passes(code, vectors, matrices, passes);
    if (npass == 0) return;
    const std::int64_t count = *n;
    if (count < 1) return;

    if (kind != kRational) {
        for (int i = 0; i < npass; ++i) run(passes[i], n, net);
        return;
    }

    // A count whose 24 bytes per point exceed the service's 32-bit size is
    // never requested and ends the call as a refused request does.
    const Lines lines = scratch_lines(code);
    zol::Scratch block(zol::scratch_bytes(count, 24), kTag, lines.request, lines.release);
    if (!block) return;
    double* cart = block.as<double>();

    divide(count, net, cart);
    run(passes[0], n, cart);
    if (npass > 1) {
        // The sequences store the translated points back into the net and
        // divide them out afresh before the remaining passes; the results
        // carry the rounding of that round trip.
        multiply_back(count, cart, net);
        divide(count, net, cart);
        for (int i = 1; i < npass; ++i) run(passes[i], n, cart);
    }
    multiply_back(count, cart, net);
}
