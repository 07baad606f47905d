// Matrix inversion lminv_: worked examples, failures, and every request to
// the memory service refused in turn.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "heap_watch.hpp"
#include "support.hpp"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Vec = std::vector<double>;
using Log = std::vector<std::string>;

class Lminv : public zt::ServiceTest {
protected:
    static int32_t inv(int32_t n, int32_t m, double* a, double* x) {
        int32_t ierr = -99;
        lminv_(&n, &m, a, x, &ierr);
        return ierr;
    }
};

const Vec kSquare{2, 1, 0.5, 0.3, 3, 0.7, 0.1, -0.4, 1.5};  // column by column
const Vec kWide{1, 0, 2, 1, -1, 3};                          // 2 by 3

TEST_F(Lminv, SquareWorkedExample) {
    Vec a = kSquare, x(9, kNaN);
    ASSERT_EQ(inv(3, 3, a.data(), x.data()), 0);
    // x holds the inverse row by row: sum_k a(i, k) * x[(k-1)3 + (j-1)] = delta.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += kSquare[i + 3 * k] * x[3 * k + j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-15) << i << "," << j;
        }
    bool changed = false;
    for (int i = 0; i < 9; ++i) changed = changed || a[i] != kSquare[i];
    EXPECT_TRUE(changed) << "a is the working matrix in the square case";
    EXPECT_EQ(zt::log_lines(), (Log{"+lminv:102:72", "+lminv:104:72", "+lminv:118:24", "-lminv:152",
                                    "-lminv:153", "-lminv:154"}));
}

TEST_F(Lminv, WideWorkedExample) {
    Vec a = kWide, x(6, kNaN);
    ASSERT_EQ(inv(2, 3, a.data(), x.data()), 0);
    // a P = I2 with P(i, j) = x[(i-1)2 + (j-1)], 3 by 2.
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += kWide[i + 2 * k] * x[2 * k + j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-15);
        }
    for (int i = 0; i < 6; ++i) EXPECT_BITEQ(a[i], kWide[i]);
    EXPECT_EQ(zt::log_lines(), (Log{"+lminv:87:32", "+lminv:102:32", "+lminv:104:32", "+lminv:118:16",
                                    "-lminv:152", "-lminv:153", "-lminv:154", "-lminv:155"}));
}

TEST_F(Lminv, SingularAndTallMatricesGiveOne) {
    // Tall (n > m): a a^T is singular.
    Vec a = kWide, x(6, kNaN);
    EXPECT_EQ(inv(3, 2, a.data(), x.data()), 1);
    for (double v : x) EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(zt::log_lines(), (Log{"+lminv:87:72", "+lminv:102:72", "+lminv:104:72", "-lminv:153",
                                    "-lminv:154", "-lminv:155"}));
    // Second column twice the first.
    memsvc_reset();
    Vec s{1, 2, 3, 2, 4, 6, 0, 1, 5}, xs(9, kNaN);
    EXPECT_EQ(inv(3, 3, s.data(), xs.data()), 1);
    for (double v : xs) EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(zt::log_lines(), (Log{"+lminv:102:72", "+lminv:104:72", "-lminv:153", "-lminv:154"}));
}

TEST_F(Lminv, CountsBelowOneDoNothing) {
    for (auto [n, m] : {std::pair{0, 3}, std::pair{3, 0}, std::pair{-1, -1}, std::pair{0, 0}}) {
        memsvc_reset();
        heap_watch::arm();
        EXPECT_EQ(inv(n, m, nullptr, nullptr), 1);
        heap_watch::disarm();
        EXPECT_TRUE(zt::log_lines().empty());
        EXPECT_EQ(heap_watch::requests.load(), 0);
    }
}

// Byte counts beyond the service's 32-bit size are never requested.
TEST_F(Lminv, OversizeIsNotRequested) {
    double a = 1, x = kNaN;
    EXPECT_EQ(inv(16384, 16385, &a, &x), 5);  // 8 n^2 = 2^31
    EXPECT_EQ(inv(16384, 16384, &a, &x), 5);
    EXPECT_EQ(inv(46341, 46341, &a, &x), 5);  // n^2 itself beyond 2^31
    EXPECT_TRUE(zt::log_lines().empty());
    EXPECT_EQ(a, 1.0);
    EXPECT_TRUE(std::isnan(x));
}

// Every request refused in turn: status 5, the blocks already obtained
// released at their lines, nothing requested afterwards, x untouched.
TEST_F(Lminv, EveryRequestRefusedInTurn) {
    const std::vector<Log> wide{
        {"+!lminv:87:32"},
        {"+lminv:87:32", "+!lminv:102:32", "-lminv:155"},
        {"+lminv:87:32", "+lminv:102:32", "+!lminv:104:32", "-lminv:154", "-lminv:155"},
        {"+lminv:87:32", "+lminv:102:32", "+lminv:104:32", "+!lminv:118:16", "-lminv:153", "-lminv:154",
         "-lminv:155"}};
    for (std::size_t k = 0; k < wide.size(); ++k) {
        memsvc_reset();
        memsvc_fail_nth_request(static_cast<int64_t>(k + 1));
        Vec a = kWide, x(6, kNaN);
        EXPECT_EQ(inv(2, 3, a.data(), x.data()), 5);
        EXPECT_EQ(zt::log_lines(), wide[k]) << "request " << k + 1;
        for (double v : x) EXPECT_TRUE(std::isnan(v));
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
    const std::vector<Log> square{
        {"+!lminv:102:72"},
        {"+lminv:102:72", "+!lminv:104:72", "-lminv:154"},
        {"+lminv:102:72", "+lminv:104:72", "+!lminv:118:24", "-lminv:153", "-lminv:154"}};
    for (std::size_t k = 0; k < square.size(); ++k) {
        memsvc_reset();
        memsvc_fail_nth_request(static_cast<int64_t>(k + 1));
        Vec a = kSquare, x(9, kNaN);
        EXPECT_EQ(inv(3, 3, a.data(), x.data()), 5);
        EXPECT_EQ(zt::log_lines(), square[k]) << "request " << k + 1;
        for (double v : x) EXPECT_TRUE(std::isnan(v));
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
}

// A refused heap request inside the solver is reported as 1, with the
// service's blocks released as on any other failure.
TEST_F(Lminv, SolverHeapFailureGivesOne) {
    for (long fail = 1; fail <= 4; ++fail) {
        memsvc_reset();
        Vec a = kWide, x(6, kNaN);
        heap_watch::arm(fail);
        const int32_t ierr = inv(2, 3, a.data(), x.data());
        heap_watch::disarm();
        EXPECT_EQ(ierr, 1);
        EXPECT_EQ(heap_watch::live(), 0);
        for (double v : x) EXPECT_TRUE(std::isnan(v));
        EXPECT_EQ(zt::log_lines(), (Log{"+lminv:87:32", "+lminv:102:32", "+lminv:104:32", "-lminv:153",
                                        "-lminv:154", "-lminv:155"}));
    }
}

}  // namespace
