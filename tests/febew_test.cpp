// Control-net motion: the motion codes on Cartesian and rational nets, the
// memory requests of rational nets (sizes, tags, lines, refusals), and the
// composite motions against the same motions built with Eigen.
#include <Eigen/Dense>
#include <Eigen/Geometry>

#include <array>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

using Log = std::vector<std::string>;

class Febew : public ::testing::Test {
protected:
    void SetUp() override { memsvc_reset(); }
    void TearDown() override {
        memsvc_reset();
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
};

constexpr int32_t kCartesian = 1, kRational = 2;

// Row-by-row quarter turn about z.
const double kQuarterZ[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};

void move(int32_t kind, int32_t code, const std::vector<double>& vec, const std::vector<double>& mat,
          std::vector<double>& net) {
    const int32_t n = static_cast<int32_t>(net.size() / (kind == kRational ? 4 : 3));
    febew(kind, code, vec.data(), mat.data(), &n, net.data());
}

Eigen::Matrix3d random_rotation(zt::Rng& rng) {
    Eigen::Vector3d axis;
    do axis = Eigen::Vector3d(rng.uniform(), rng.uniform(), rng.uniform());
    while (axis.norm() < 0.1);
    return Eigen::AngleAxisd(rng.uniform(-3.14, 3.14), axis.normalized()).toRotationMatrix();
}

// Nine doubles, row by row, as febew reads its matrices.
void store_rows(const Eigen::Matrix3d& r, double* out) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[3 * i + j] = r(i, j);
}

std::vector<double> rational_net(zt::Rng& rng, int n) {
    std::vector<double> net(4 * n);
    for (int k = 0; k < n; ++k) {
        for (int c = 0; c < 3; ++c) net[4 * k + c] = rng.uniform(-5, 5);
        net[4 * k + 3] = rng.uniform(0.25, 4);
    }
    return net;
}

}  // namespace

TEST_F(Febew, WorkedCasesCartesianAndRational) {
    std::vector<double> net = {1, 2, 3};
    move(kCartesian, 0, {1, 1, 1}, {}, net);
    EXPECT_EQ(net, (std::vector<double>{2, 3, 4}));
    EXPECT_EQ(memsvc_request_count(), 0);

    // (2, 4, 6, 2) is the Cartesian (1, 2, 3), moved to (2, 2, 3).
    net = {2, 4, 6, 2};
    move(kRational, 0, {1, 0, 0}, {}, net);
    EXPECT_EQ(net, (std::vector<double>{4, 4, 6, 2}));
    EXPECT_EQ(zt::log_lines(), (Log{"+febew:113:24", "-febew:137"}));

    // Code 1 takes its centre from the first three values.
    std::vector<double> mat(kQuarterZ, kQuarterZ + 9);
    net = {2, 0, 0};
    move(kCartesian, 1, {1, 0, 0}, mat, net);
    EXPECT_EQ(net, (std::vector<double>{1, 1, 0}));
    memsvc_reset();
    net = {4, 0, 0, 2, 6, 0, 0, 3};
    move(kRational, 1, {1, 0, 0}, mat, net);
    EXPECT_EQ(net, (std::vector<double>{2, 2, 0, 2, 3, 3, 0, 3}));
    EXPECT_EQ(zt::log_lines(), (Log{"+febew:157:48", "-febew:181"}));

    // Code 2 with values chosen so that every step is exact: translate by
    // (1, 0, 0), rotate about (0, 1, 0) by the quarter turn.
    net = {2, 0, 0, 2};  // Cartesian (1, 0, 0) -> (2, 0, 0) -> (1, 3, 0)
    memsvc_reset();
    move(kRational, 2, {1, 0, 0, 0, 1, 0}, mat, net);
    EXPECT_EQ(net, (std::vector<double>{2, 6, 0, 2}));
    EXPECT_EQ(zt::log_lines(), (Log{"+febew:204:24", "-febew:249"}));
}

TEST_F(Febew, SequencesRoundTripRationalPointsAfterTheFirstShift) {
    // x = 1.91, w = 1.9 shifted by 1.1, then the identity about the origin:
    // the shifted point is stored as x'w and divided by w again before the
    // rotation, and that round trip shows in the last bit.
    const double w = 1.9;
    const double once = (1.91 / w + 1.1) * w;
    const double twice = (once / w) * w;
    ASSERT_NE(once, twice);
    const std::vector<double> vec = {1.1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<double> mat = {1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int32_t code : {2, 3, 4, 5}) {
        std::vector<double> net = {1.91, 0, 0, w};
        move(kRational, code, vec, mat, net);
        EXPECT_BITEQ(net[0], twice) << "code " << code;
    }
    std::vector<double> net = {1.91, 0, 0, w};
    move(kRational, 0, vec, mat, net);
    EXPECT_BITEQ(net[0], once);
}

TEST_F(Febew, CodesAgreeWhereTheyShouldAndUnknownCodesDoNothing) {
    zt::Rng rng(8);
    std::vector<double> vec = rng.vec(12, -3, 3), mat(18);
    store_rows(random_rotation(rng), &mat[0]);
    // Second motion: no shift, the identity about the origin.
    std::vector<double> vec5 = vec, mat5 = mat;
    for (int k = 6; k < 12; ++k) vec5[k] = 0;
    store_rows(Eigen::Matrix3d::Identity(), &mat5[9]);

    for (int32_t kind : {kCartesian, kRational}) {
        const std::vector<double> start = kind == kRational ? rational_net(rng, 25) : rng.vec(75, -5, 5);
        std::vector<double> two = start, three = start, five = start;
        move(kind, 2, vec, mat, two);
        move(kind, 3, vec, mat, three);
        move(kind, 5, vec5, mat5, five);
        EXPECT_NE(two, start);
        for (std::size_t k = 0; k < start.size(); ++k) {
            EXPECT_BITEQ(three[k], two[k]);
            EXPECT_BITEQ(five[k], three[k]);
        }
        memsvc_reset();
        for (int32_t code : {6, -1, 100, INT32_MIN}) {
            std::vector<double> net = start;
            move(kind, code, vec, mat, net);
            EXPECT_EQ(net, start);
        }
        EXPECT_EQ(memsvc_request_count(), 0);
    }
    // Rational codes 3 to 5 share their request and release lines.
    memsvc_reset();
    std::vector<double> net = rational_net(rng, 2);
    for (int32_t code : {3, 4, 5}) move(kRational, code, vec, mat, net);
    EXPECT_EQ(zt::log_lines(),
              (Log{"+febew:297:48", "-febew:346", "+febew:297:48", "-febew:346", "+febew:297:48", "-febew:346"}));
}

TEST_F(Febew, EveryKindButTwoIsCartesian) {
    zt::Rng rng(12);
    std::vector<double> vec = rng.vec(12, -3, 3), mat(18);
    store_rows(random_rotation(rng), &mat[0]);
    store_rows(random_rotation(rng), &mat[9]);
    const std::vector<double> start = rng.vec(30, -5, 5);
    std::vector<double> ref = start;
    move(kCartesian, 5, vec, mat, ref);
    for (int32_t kind : {0, 3, -2}) {
        // Three doubles per point: a fourth "weight" after the last point
        // is not part of the net.
        std::vector<double> net = start;
        net.push_back(-42.0);
        const int32_t n = 10;
        febew(kind, 5, vec.data(), mat.data(), &n, net.data());
        EXPECT_EQ(net.back(), -42.0);
        net.pop_back();
        EXPECT_EQ(net, ref);
    }
    EXPECT_EQ(memsvc_request_count(), 0);
}

TEST_F(Febew, CompositeMotionsMatchEigen) {
    zt::Rng rng(21);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<double> vec = rng.vec(12, -3, 3), mat(18);
        const Eigen::Matrix3d r1 = random_rotation(rng), r2 = random_rotation(rng);
        store_rows(r1, &mat[0]);
        store_rows(r2, &mat[9]);
        const Eigen::Vector3d t1(&vec[0]), c1(&vec[3]), t2(&vec[6]), c2(&vec[9]);

        for (int32_t kind : {kCartesian, kRational}) {
            const int n = 15;
            const int stride = kind == kRational ? 4 : 3;
            const std::vector<double> start = kind == kRational ? rational_net(rng, n) : rng.vec(3 * n, -5, 5);
            for (int32_t code = 0; code <= 5; ++code) {
                std::vector<double> net = start;
                move(kind, code, vec, mat, net);
                for (int k = 0; k < n; ++k) {
                    const double w = kind == kRational ? start[stride * k + 3] : 1.0;
                    Eigen::Vector3d p(start[stride * k] / w, start[stride * k + 1] / w, start[stride * k + 2] / w);
                    switch (code) {
                        case 0: p += t1; break;
                        case 1: p = r1 * (p - t1) + t1; break;  // centre in the first three values
                        default:
                            p = r1 * (p + t1 - c1) + c1;
                            if (code >= 4) p += t2;
                            if (code == 5) p = r2 * (p - c2) + c2;
                    }
                    p *= w;
                    for (int c = 0; c < 3; ++c)
                        EXPECT_NEAR(net[stride * k + c], p[c], 1e-13 * (1 + std::fabs(w)) * 20)
                            << "kind " << kind << " code " << code << " point " << k;
                    if (kind == kRational) {
                        EXPECT_BITEQ(net[stride * k + 3], start[stride * k + 3]);
                    }
                }
            }
        }
    }
}

TEST_F(Febew, RefusedScratchLeavesTheNetUnchanged) {
    zt::Rng rng(30);
    std::vector<double> vec = rng.vec(12, -3, 3), mat(18);
    store_rows(random_rotation(rng), &mat[0]);
    store_rows(random_rotation(rng), &mat[9]);
    const std::vector<double> start = rational_net(rng, 7);
    const int request_line[6] = {113, 157, 204, 297, 297, 297};
    for (int32_t code = 0; code <= 5; ++code) {
        memsvc_reset();
        memsvc_fail_site("febew", request_line[code]);
        std::vector<double> net = start;
        move(kRational, code, vec, mat, net);
        for (std::size_t k = 0; k < net.size(); ++k) EXPECT_BITEQ(net[k], start[k]);
        EXPECT_EQ(zt::log_lines(), (Log{"+!febew:" + std::to_string(request_line[code]) + ":168"}));
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
}

TEST_F(Febew, CountsOutsideTheServicesRangeAreNeverRequested) {
    // Nothing is read or written for these counts, so a small net stands in.
    std::vector<double> net = {1, 2, 3, 4}, vec(18, 1.0);
    const std::vector<double> start = net;
    for (int32_t n : {0, -1, INT32_MIN})
        for (int32_t kind : {kCartesian, kRational})
            for (int32_t code = 0; code <= 5; ++code) febew(kind, code, vec.data(), vec.data(), &n, net.data());
    EXPECT_EQ(memsvc_request_count(), 0);

    // 24 bytes per point: 89478485 points are the most the 32-bit size can
    // hold (refused here by the service); one more is never requested.
    memsvc_fail_nth_request(1);
    int32_t most = 89478485;
    febew(kRational, 0, vec.data(), vec.data(), &most, net.data());
    int32_t too_many = 89478486;
    febew(kRational, 0, vec.data(), vec.data(), &too_many, net.data());
    int32_t largest = INT32_MAX;
    febew(kRational, 3, vec.data(), vec.data(), &largest, net.data());
    EXPECT_EQ(zt::log_lines(), (Log{"+!febew:113:2147483640"}));
    EXPECT_EQ(net, start);
}

TEST_F(Febew, ZeroWeightGivesNonFinitePointAndNoHarm) {
    std::vector<double> net = {1, 2, 3, 0, 2, 4, 6, 2};
    move(kRational, 0, {1, 0, 0}, {}, net);
    EXPECT_FALSE(std::isfinite(net[0]) && std::isfinite(net[1]) && std::isfinite(net[2]));
    EXPECT_EQ(net[3], 0.0);
    EXPECT_EQ((std::vector<double>(net.begin() + 4, net.end())), (std::vector<double>{4, 4, 6, 2}));
    EXPECT_EQ(zt::log_lines(), (Log{"+febew:113:48", "-febew:137"}));
}
