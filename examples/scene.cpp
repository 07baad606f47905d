// Rotation builders and frame transforms on a small scene: a house of ten
// corners is turned, its turn recovered from two edges, its roof laid flat,
// mirrored, and finally seen through a camera, in parallel and in central
// projection, and mapped back into the world.
//
//   scene
//
// The exit status is 0 when every result agrees with what the geometry of
// the scene says it must be.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zolmath.h"

namespace {

constexpr int kCorners = 10;
// Base, eaves and ridge of a house 4 m long, 3 m deep, 4 m high (z up).
const double kHouse[3 * kCorners] = {0, 0, 0,   4, 0, 0,   4, 3, 0,   0, 3, 0,   0, 0, 2.5,
                                     4, 0, 2.5, 4, 3, 2.5, 0, 3, 2.5, 0, 1.5, 4, 4, 1.5, 4};
const int kEdges[][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {1, 5}, {2, 6}, {3, 7}, {4, 5},
                         {5, 6}, {6, 7}, {7, 4}, {4, 8}, {7, 8}, {5, 9}, {6, 9}, {8, 9}};
const std::int32_t kN = kCorners;

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("  check: %-62s %s\n", what, ok ? "ok" : "FAILED");
    if (!ok) ++failures;
}

void print_matrix(const char* title, const double* m) {
    std::printf("%s\n", title);
    for (int i = 0; i < 3; ++i) std::printf("    [%10.6f %10.6f %10.6f ]\n", m[3 * i], m[3 * i + 1], m[3 * i + 2]);
}

double largest_gap(const double* a, const double* b, int count) {
    double worst = 0.0;
    for (int k = 0; k < count; ++k) {
        double d2 = 0.0;
        lvdis3_(a + 3 * k, b + 3 * k, &d2);
        worst = std::fmax(worst, std::sqrt(d2));
    }
    return worst;
}

// The edges of the house drawn from the first two coordinates of its
// points, on a character grid.
void sketch(const double* pts) {
    constexpr int kW = 56, kH = 20;
    double lo[2] = {pts[0], pts[1]}, hi[2] = {pts[0], pts[1]};
    for (int k = 0; k < kCorners; ++k)
        for (int c = 0; c < 2; ++c) {
            lo[c] = std::fmin(lo[c], pts[3 * k + c]);
            hi[c] = std::fmax(hi[c], pts[3 * k + c]);
        }
    // Characters are about twice as tall as wide.
    const double scale = std::fmin((kW - 1) / (hi[0] - lo[0]), 2.0 * (kH - 1) / (hi[1] - lo[1]));
    std::vector<std::string> grid(kH, std::string(kW, ' '));
    auto put = [&](double x, double y, char ch) {
        const int col = static_cast<int>(std::lround((x - lo[0]) * scale));
        const int row = kH - 1 - static_cast<int>(std::lround((y - lo[1]) * scale * 0.5));
        if (col >= 0 && col < kW && row >= 0 && row < kH && grid[row][col] != 'o') grid[row][col] = ch;
    };
    for (const auto& e : kEdges) {
        const double* p = pts + 3 * e[0];
        const double* q = pts + 3 * e[1];
        for (int s = 0; s <= 100; ++s)
            put(p[0] + (q[0] - p[0]) * s / 100.0, p[1] + (q[1] - p[1]) * s / 100.0, '.');
    }
    for (int k = 0; k < kCorners; ++k) put(pts[3 * k], pts[3 * k + 1], 'o');
    for (const std::string& line : grid) std::printf("    |%s|\n", line.c_str());
}

}  // namespace

int main() {
    const double centre[3] = {2.0, 1.5, 0.0};

    std::printf("1. Turn the house by 30 degrees about the vertical through its centre (lmdre3_, lmrot3_)\n");
    const double up[3] = {0.0, 0.0, 1.0}, sin30 = 0.5, cos30 = std::sqrt(3.0) / 2.0;
    double turn[9], turned[3 * kCorners];
    lmdre3_(up, &sin30, &cos30, turn);
    lmrot3_(turn, centre, kHouse, &kN, turned);
    print_matrix("  rotation:", turn);
    std::printf("  corner 2 (4, 0, 0) moves to (%.6f, %.6f, %.6f)\n", turned[3], turned[4], turned[5]);
    double back[9], restored[3 * kCorners];
    lmmtra_(turn, back);
    lmrot3_(back, centre, turned, &kN, restored);
    check(largest_gap(restored, kHouse, kCorners) < 1e-14, "the transposed rotation turns it back");

    std::printf("\n2. Recover the turn from the front and side edges before and after (lmdpl_)\n");
    double a1[3], a2[3], b1[3], b2[3], found[9];
    std::int32_t status = -9;
    lvdif3_(kHouse + 3, kHouse, a1);
    lvdif3_(kHouse + 9, kHouse, a2);
    lvdif3_(turned + 3, turned, b1);
    lvdif3_(turned + 9, turned, b2);
    lmdpl_(a1, a2, b1, b2, found, &status);
    double diff = 0.0;
    for (int i = 0; i < 9; ++i) diff = std::fmax(diff, std::fabs(found[i] - turn[i]));
    std::printf("  status %d (1: the two pairs enclose the same angle), largest difference %.1e\n", status, diff);
    check(status == 1 && diff < 1e-12, "lmdpl_ finds the rotation of step 1");

    std::printf("\n3. Lay the front roof panel flat: its normal onto the vertical (MathRotVector)\n");
    double eave[3], slope[3], normal[3], flat[9], panel[12], flattened[12];
    lvdif3_(kHouse + 15, kHouse + 12, eave);   // along the front eave
    lvdif3_(kHouse + 24, kHouse + 12, slope);  // up the roof to the ridge
    lvkrp3_(eave, slope, normal);
    MathRotVector(normal, up, flat);
    const int roof[4] = {4, 5, 9, 8};
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 3; ++c) panel[3 * k + c] = kHouse[3 * roof[k] + c];
    const std::int32_t four = 4;
    lmrot3_(flat, panel, panel, &four, flattened);
    print_matrix("  rotation:", flat);
    std::printf("  panel corners after the turn about the eave corner:\n");
    for (int k = 0; k < 4; ++k)
        std::printf("    (%9.6f, %9.6f, %9.6f)\n", flattened[3 * k], flattened[3 * k + 1], flattened[3 * k + 2]);
    const double rise = std::sqrt(1.5 * 1.5 + 1.5 * 1.5);
    bool level = true;
    for (int k = 0; k < 4; ++k) level = level && std::fabs(flattened[3 * k + 2] - 2.5) < 1e-12;
    check(level && std::fabs(flattened[10] - rise) < 1e-12, "the panel lies at eave height, as deep as the roof slope");

    std::printf("\n4. Mirror the house in the plane x = 2 (lmspi3_) and turn it to face back (lmdvec_)\n");
    const double east[3] = {1.0, 0.0, 0.0}, west[3] = {-1.0, 0.0, 0.0}, two = 2.0;
    double mirror[9], mirrored[3 * kCorners];
    std::int32_t ierr = -9;
    lmspi3_(east, &two, mirror, &ierr);
    lmrot3_(mirror, centre, kHouse, &kN, mirrored);
    std::printf("  mirror status %d, determinant %g\n", ierr, lvspa3_(mirror, mirror + 3, mirror + 6));
    // Corner k of the mirror image is the corner across the plane.
    const int across[kCorners] = {1, 0, 3, 2, 5, 4, 7, 6, 9, 8};
    double matched[3 * kCorners];
    for (int k = 0; k < kCorners; ++k)
        for (int c = 0; c < 3; ++c) matched[3 * k + c] = kHouse[3 * across[k] + c];
    check(ierr == 0 && largest_gap(mirrored, matched, kCorners) == 0.0, "the mirror image is the house itself");
    double half[9];
    lmdvec_(east, west, up, half);
    print_matrix("  rotation taking (1, 0, 0) onto (-1, 0, 0), half-turn about the vertical:", half);
    check(half[0] == -1.0 && half[4] == -1.0 && half[8] == 1.0, "lmdvec_ turns about the given axis");

    std::printf("\n5. A camera at (12, -9, 7) looking at (2, 1.5, 1.5) (ltmwb3_, ltmbw3_)\n");
    const double eye[3] = {12.0, -9.0, 7.0}, target[3] = {2.0, 1.5, 1.5};
    double view[3], frame[9];  // columns: the camera's x, y and z axes
    lvdif3_(eye, target, view);
    double dist = 0.0;
    lvnrmb_(view, frame + 6, &dist, &ierr);  // z points from the scene to the camera
    double side[3];
    lvkrp3_(up, frame + 6, side);
    lvnrm3_(side, frame, &ierr);             // x horizontal
    lvkrp3_(frame + 6, frame, frame + 3);    // y completes a right-handed frame
    const std::int32_t parallel = 1, central = 0;
    double image[3 * kCorners], world[3 * kCorners];
    ltmwb3_(kHouse, &kN, frame, target, nullptr, &parallel, nullptr, &dist, image);
    std::printf("  parallel projection (frame x, y; depth dropped):\n");
    sketch(image);
    ltmbw3_(image, &kN, frame, target, nullptr, &parallel, nullptr, &dist, world);
    check(largest_gap(world, kHouse, kCorners) < 1e-12, "frame coordinates map back onto the house");

    ltmwb3_(kHouse, &kN, frame, target, nullptr, &central, nullptr, &dist, image);
    std::printf("  central projection from the camera, distance %.6f; the film image is upside\n"
                "  down, as in a pinhole camera, and shown turned upright:\n", dist);
    double upright[3 * kCorners];
    for (int k = 0; k < 3 * kCorners; ++k) upright[k] = k % 3 == 2 ? image[k] : -image[k];
    sketch(upright);
    ltmbw3_(image, &kN, frame, target, nullptr, &central, nullptr, &dist, world);
    std::printf("  largest distance of a corner mapped back from its place: %.1e\n",
                largest_gap(world, kHouse, kCorners));
    check(largest_gap(world, kHouse, kCorners) < 1e-12, "the central projection keeps depth and can be undone");

    std::printf("\n%s\n", failures == 0 ? "every check agrees" : "SOME CHECKS FAILED");
    return failures == 0 ? 0 : 1;
}
