// The weighted product c = M diag(w) b: worked cases, a long double
// recomputation, its scratch requests and every way they can fail.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "support.hpp"

namespace {

class Lgloes : public zt::ServiceTest {
protected:

    // Calls lgloes_ with c prefilled by NaN (to show what is written).
    std::vector<double> run(int32_t n, int32_t m, const std::vector<double>& mat, int32_t ncol,
                            const std::vector<double>& b, const std::vector<double>& w, int32_t& ierr,
                            std::size_t csize = 0) {
        std::vector<double> c(csize ? csize : static_cast<std::size_t>(std::max(m, 0) * std::max(ncol, 0)),
                              std::numeric_limits<double>::quiet_NaN());
        const double* hmat = mat.data();
        ierr = 99;
        lgloes_(&n, &m, &hmat, &ncol, b.data(), w.data(), c.data(), &ierr);
        return c;
    }
};

std::string request(int line, long bytes) { return "+lgloes:" + std::to_string(line) + ":" + std::to_string(bytes); }

TEST_F(Lgloes, WorkedCasesAndScratchRequests) {
    int32_t ierr = -1;
    // M the identity, w = (2, 3), b rows (1, 1) and (1, 2): c rows (2, 2), (3, 6).
    EXPECT_EQ(run(2, 2, {1, 0, 0, 1}, 2, {1, 1, 1, 2}, {2, 3}, ierr), (std::vector<double>{2, 2, 3, 6}));
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(zt::log_lines(),
              (std::vector<std::string>{request(78, 16), request(79, 16), "-lgloes:88", "-lgloes:89"}));

    // n = 0: every computed element is 0, from empty requests.
    memsvc_reset();
    const std::vector<double> c0 = run(0, 2, {}, 3, {}, {}, ierr);
    EXPECT_EQ(ierr, 0);
    for (double v : c0) EXPECT_BITEQ(v, 0.0);
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{request(78, 0), request(79, 16), "-lgloes:88", "-lgloes:89"}));

    // A negative count never becomes a negative request.
    memsvc_reset();
    for (double v : run(-4, 1, {}, 2, {}, {}, ierr)) EXPECT_BITEQ(v, 0.0);
    EXPECT_EQ(zt::log_lines().front(), request(78, 0));

    // m < 1 or ncol < 1: c stays as it was; the blocks are still requested.
    for (auto [m, ncol] : {std::pair{0, 2}, std::pair{-1, 2}, std::pair{2, 0}, std::pair{2, -5}}) {
        memsvc_reset();
        const std::vector<double> c = run(2, m, {1, 2, 3, 4}, ncol, {1, 2, 3, 4}, {1, 1}, ierr, 4);
        EXPECT_EQ(ierr, 0);
        for (double v : c) EXPECT_TRUE(std::isnan(v)) << m << " " << ncol;
        EXPECT_EQ(zt::log_lines().size(), 4u);
    }
}

TEST_F(Lgloes, MatchesLongDoubleProductAndWeightScaling) {
    zt::Rng rng(5);
    const int32_t n = 7, m = 5, ncol = 4;
    const std::vector<double> mat = rng.vec(m * n), b = rng.vec(n * ncol), w = rng.vec(n, 0.5, 2.0);
    int32_t ierr = -1;
    const std::vector<double> c = run(n, m, mat, ncol, b, w, ierr);
    EXPECT_EQ(ierr, 0);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < ncol; ++j) {
            long double s = 0, scale = 0;
            for (int k = 0; k < n; ++k) {
                const long double term = static_cast<long double>(mat[k * m + i]) * w[k] * b[k * ncol + j];
                s += term;
                scale += std::fabs(term);
            }
            EXPECT_LE(std::fabs(c[i * ncol + j] - s), 2 * n * std::numeric_limits<double>::epsilon() * scale)
                << i << " " << j;
        }

    // Weights that are powers of two move exactly into b: with b' = b / w,
    // diag(w) b' = b, so the weighted product equals the one with unit
    // weights bit for bit (one column of b at a time included).
    std::vector<double> w2(n), b2(b);
    for (int k = 0; k < n; ++k) {
        w2[k] = std::ldexp(1.0, k % 5 - 2);
        for (int j = 0; j < ncol; ++j) b2[k * ncol + j] = b[k * ncol + j] / w2[k];
    }
    const std::vector<double> plain = run(n, m, mat, ncol, b, std::vector<double>(n, 1.0), ierr);
    const std::vector<double> scaled = run(n, m, mat, ncol, b2, w2, ierr);
    for (std::size_t k = 0; k < plain.size(); ++k) EXPECT_BITEQ(scaled[k], plain[k]);
    std::vector<double> col(n);
    for (int k = 0; k < n; ++k) col[k] = b[k * ncol + 2];
    const std::vector<double> one = run(n, m, mat, 1, col, std::vector<double>(n, 1.0), ierr);
    for (int i = 0; i < m; ++i) EXPECT_BITEQ(one[i], plain[i * ncol + 2]);
}

TEST_F(Lgloes, FailedRequestsLeaveCUntouched) {
    const std::vector<double> mat = {1, 2, 3, 4, 5, 6}, b = {1, 2, 3, 4}, w = {1, 1};
    int32_t ierr = 0;
    // Each request refused in turn: status 5, what was obtained released.
    const std::vector<std::vector<std::string>> logs = {
        {"+!lgloes:78:16"},
        {request(78, 16), "+!lgloes:79:24", "-lgloes:89"},
    };
    for (int k = 1; k <= 2; ++k) {
        memsvc_reset();
        memsvc_fail_nth_request(k);
        for (double v : run(2, 3, mat, 2, b, w, ierr)) EXPECT_TRUE(std::isnan(v)) << k;
        EXPECT_EQ(ierr, 5);
        EXPECT_EQ(zt::log_lines(), logs[static_cast<std::size_t>(k - 1)]);
        EXPECT_EQ(memsvc_live_count(), 0u);
    }

    // Sizes past the 32-bit byte count are never requested.
    memsvc_reset();
    run(300000000, 2, mat, 2, b, w, ierr, 4);
    EXPECT_EQ(ierr, 5);
    EXPECT_TRUE(zt::log_lines().empty());
    memsvc_reset();
    for (double v : run(2, 300000000, mat, 2, b, w, ierr, 4)) EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(ierr, 5);
    EXPECT_EQ(zt::log_lines(), (std::vector<std::string>{request(78, 16), "-lgloes:89"}));

    // An empty vector is never used: a refused empty request is no failure.
    memsvc_reset();
    memsvc_fail_site("lgloes", 78);
    for (double v : run(0, 3, mat, 2, b, w, ierr)) EXPECT_BITEQ(v, 0.0);
    EXPECT_EQ(ierr, 0);
}

}  // namespace
