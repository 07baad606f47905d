// Helpers shared by the tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zolmath.h"
#include "zolmemsvc_test.h"

namespace zt {

inline std::uint64_t bits(double x) {
    std::uint64_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

inline std::vector<std::uint64_t> bits(const std::vector<double>& v) {
    std::vector<std::uint64_t> u;
    for (const double x : v) u.push_back(bits(x));
    return u;
}

// Equal bit for bit, or both NaN: the sign and payload of a NaN depend on
// which operand comes first in one operation, not on the order of the
// arithmetic.
inline bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || bits(a) == bits(b); }
template <class A, class B>
::testing::AssertionResult all_same(const A& got, const B& want) {
    for (std::size_t i = 0; i < want.size(); ++i)
        if (!same(got[i], want[i]))
            return ::testing::AssertionFailure() << "element " << i << ": " << got[i] << " vs " << want[i];
    return ::testing::AssertionSuccess();
}

// Fixture for tests that watch the memory service: a clean log and no
// fault settings before each test, no live block after it.
class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override { memsvc_reset(); }
    void TearDown() override {
        memsvc_reset();
        EXPECT_EQ(memsvc_live_count(), 0u);
    }
};

// Seeded random numbers for reproducible problems.
struct Rng {
    std::mt19937_64 gen;
    explicit Rng(std::uint64_t seed) : gen(seed) {}
    double uniform(double lo = -1.0, double hi = 1.0) {
        return std::uniform_real_distribution<double>(lo, hi)(gen);
    }
    std::vector<double> vec(std::size_t n, double lo = -1.0, double hi = 1.0) {
        std::vector<double> v(n);
        for (auto& x : v) x = uniform(lo, hi);
        return v;
    }
};

// One entry of the memory service's log.
inline MemsvcEvent log_entry(std::size_t i) {
    MemsvcEvent e{};
    EXPECT_TRUE(memsvc_log_entry(i, &e)) << "no log entry " << i;
    return e;
}

// The log as "+tag:line:size" for requests ("+!" when refused) and
// "-tag:line" for releases, for compact comparisons.
inline std::vector<std::string> log_lines() {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < memsvc_log_size(); ++i) {
        MemsvcEvent e = log_entry(i);
        std::string s = e.kind == MEMSVC_REQUEST ? (e.refused ? "+!" : "+") : "-";
        s += e.file != nullptr ? e.file : "(null)";
        s.append(":").append(std::to_string(e.line));
        if (e.kind == MEMSVC_REQUEST) s.append(":").append(std::to_string(e.size));
        out.push_back(s);
    }
    return out;
}

}  // namespace zt
