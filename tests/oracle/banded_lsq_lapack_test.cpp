// Banded least squares fed block by block against LAPACK's dense
// least-squares solver on the assembled problem, and the identities the
// factor must satisfy: R^T R = A^T A and R^T d = A^T b.
#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "band_array.hpp"
#include "support.hpp"

extern "C" void dgels_(const char* trans, const int* m, const int* n, const int* nrhs, double* a,
                       const int* lda, double* b, const int* ldb, double* work, const int* lwork,
                       int* info, std::size_t trans_len);

namespace {

constexpr double kEps = std::numeric_limits<double>::epsilon();

struct Block {
    int32_t jcol;
    std::vector<double> rows;  // nb coefficients then nrhs right-hand sides per row
};

struct Problem {
    int32_t n, nb, nrhs;
    std::vector<Block> blocks;
    Eigen::MatrixXd a, rhs;  // the assembled dense problem
};

// Blocks of 1 to 6 rows whose first variable advances by 0, 1 or 2; each
// advance brings at least as many rows, so the problem has full rank.
Problem make_problem(zt::Rng& rng, int32_t n, int32_t nb, int32_t nrhs) {
    Problem p{n, nb, nrhs, {}, {}, {}};
    std::vector<std::pair<int32_t, std::vector<double>>> all;
    const int32_t width = nb + nrhs, last = n - nb + 1;
    for (int32_t jcol = 1;;) {
        const bool final_block = jcol == last;
        const int32_t step = final_block ? 0 : std::min<int32_t>(static_cast<int32_t>(rng.gen() % 3), last - jcol);
        const int32_t nrow = final_block ? nb + 2 : std::max<int32_t>(1, step + static_cast<int32_t>(rng.gen() % 3));
        Block b{jcol, rng.vec(static_cast<std::size_t>(nrow * width))};
        for (int32_t k = 0; k < nrow; ++k)
            all.emplace_back(jcol, std::vector<double>(b.rows.begin() + k * width, b.rows.begin() + (k + 1) * width));
        p.blocks.push_back(std::move(b));
        if (final_block) break;
        jcol += step;
    }
    const auto m = static_cast<Eigen::Index>(all.size());
    p.a = Eigen::MatrixXd::Zero(m, n);
    p.rhs.resize(m, nrhs);
    for (Eigen::Index i = 0; i < m; ++i) {
        const auto& [jcol, row] = all[static_cast<std::size_t>(i)];
        for (int32_t t = 0; t < nb; ++t) p.a(i, jcol - 1 + t) = row[static_cast<std::size_t>(t)];
        for (int32_t r = 0; r < nrhs; ++r) p.rhs(i, r) = row[static_cast<std::size_t>(nb + r)];
    }
    return p;
}

// Room for the factor and for the largest block placed below it.
zt::BandArray fold(const Problem& p, double tol = 1e-300) {
    std::size_t rows = 0;
    for (const Block& blk : p.blocks) rows = std::max(rows, blk.rows.size() / static_cast<std::size_t>(p.nb + p.nrhs));
    zt::BandArray b(p.n + 2 * p.nb + static_cast<int32_t>(rows), p.nb, p.nrhs, tol);
    for (const Block& blk : p.blocks) b.add(blk.jcol, blk.rows);
    return b;
}

// Least-squares solution of the dense problem by dgels_ (n by nrhs).
Eigen::MatrixXd lapack_solution(const Problem& p) {
    Eigen::MatrixXd a = p.a, b = p.rhs;
    const int m = static_cast<int>(a.rows()), n = p.n, nrhs = p.nrhs;
    int info = 0, lwork = -1;
    double query = 0;
    dgels_("N", &m, &n, &nrhs, a.data(), &m, b.data(), &m, &query, &lwork, &info, 1);
    lwork = static_cast<int>(query);
    std::vector<double> work(static_cast<std::size_t>(lwork));
    dgels_("N", &m, &n, &nrhs, a.data(), &m, b.data(), &m, work.data(), &lwork, &info, 1);
    EXPECT_EQ(info, 0);
    return b.topRows(n);
}

double max_relative_difference(const std::vector<double>& x, const Eigen::MatrixXd& ref) {
    double worst = 0.0;
    for (Eigen::Index r = 0; r < ref.cols(); ++r) {
        const double scale = ref.col(r).cwiseAbs().maxCoeff();
        for (Eigen::Index i = 0; i < ref.rows(); ++i)
            worst = std::max(worst, std::fabs(x[static_cast<std::size_t>(i * ref.cols() + r)] - ref(i, r)) / scale);
    }
    return worst;
}

// ||R^T R - A^T A||_F / (||A||_F^2 nb eps) and ||R^T d - A^T b|| / (||A||_F ||b|| nb eps),
// d the transformed right-hand sides in rows 1..n of g.
std::pair<double, double> identity_ratios(zt::BandArray& g, const Problem& p) {
    const Eigen::MatrixXd ata = p.a.transpose() * p.a, atb = p.a.transpose() * p.rhs;
    long double gram = 0, proj = 0;
    for (int32_t q = 1; q <= p.n; ++q) {
        for (int32_t s = std::max(1, q - p.nb + 1); s <= std::min(p.n, q + p.nb - 1); ++s) {
            long double sum = 0;
            for (int32_t k = std::max(1, std::max(q, s) - p.nb + 1); k <= std::min(q, s); ++k)
                sum += static_cast<long double>(g.r(k, q)) * g.r(k, s);
            gram += (sum - ata(q - 1, s - 1)) * (sum - ata(q - 1, s - 1));
        }
        for (int32_t r = 1; r <= p.nrhs; ++r) {
            long double sum = 0;
            for (int32_t k = std::max(1, q - p.nb + 1); k <= q; ++k)
                sum += static_cast<long double>(g.r(k, q)) * g.at(k, p.nb + r);
            proj += (sum - atb(q - 1, r - 1)) * (sum - atb(q - 1, r - 1));
        }
    }
    const double na = p.a.norm(), unit = p.nb * kEps;
    return {static_cast<double>(std::sqrt(gram)) / (na * na * unit),
            static_cast<double>(std::sqrt(proj)) / (na * p.rhs.norm() * unit)};
}

TEST(BandedLsqLapack, OneBlockHoldingEverythingIsDenseLeastSquares) {
    zt::Rng rng(11);
    Problem p{5, 5, 3, {}, Eigen::MatrixXd(40, 5), Eigen::MatrixXd(40, 3)};
    Block blk{1, rng.vec(40 * 8)};
    for (int i = 0; i < 40; ++i)
        for (int t = 0; t < 8; ++t) (t < 5 ? p.a(i, t) : p.rhs(i, t - 5)) = blk.rows[static_cast<std::size_t>(i * 8 + t)];
    p.blocks.push_back(blk);
    zt::BandArray b = fold(p);
    EXPECT_EQ(b.ipos, 1);
    EXPECT_EQ(b.inext, 7);
    const auto [gram, proj] = identity_ratios(b, p);
    EXPECT_LT(gram, 20.0);
    EXPECT_LT(proj, 20.0);
    int32_t ierr = -1;
    EXPECT_LT(max_relative_difference(b.solve(1, 5, {}, ierr, 1e-12), lapack_solution(p)), 1e-12);
    EXPECT_EQ(ierr, 0);
}

TEST(BandedLsqLapack, BlocksOfBandedProblemsAgreeWithDenseLeastSquares) {
    zt::Rng rng(2024);
    for (int32_t nb = 2; nb <= 6; ++nb)
        for (int32_t nrhs : {1, 3, 6}) {
            const auto n = static_cast<int32_t>(150 + rng.gen() % 150);
            const Problem p = make_problem(rng, n, nb, nrhs);
            zt::BandArray b = fold(p);
            const auto [gram, proj] = identity_ratios(b, p);
            EXPECT_LT(gram, 20.0) << "nb " << nb << " nrhs " << nrhs;
            EXPECT_LT(proj, 20.0) << "nb " << nb << " nrhs " << nrhs;
            int32_t ierr = -1;
            const std::vector<double> x = b.solve(1, n, {}, ierr, 1e-12);
            EXPECT_EQ(ierr, 0);
            EXPECT_LT(max_relative_difference(x, lapack_solution(p)), 1e-10) << "nb " << nb << " nrhs " << nrhs;
        }
}

TEST(BandedLsqLapack, ManyRightHandSidesMatchOneAtATime) {
    zt::Rng rng(99);
    const Problem p = make_problem(rng, 200, 3, 6);
    zt::BandArray all = fold(p);
    int32_t ierr = -1;
    const std::vector<double> x = all.solve(1, p.n, {}, ierr, 1e-12);
    ASSERT_EQ(ierr, 0);
    for (int32_t r = 0; r < p.nrhs; ++r) {
        Problem single = p;
        single.nrhs = 1;
        for (std::size_t k = 0; k < p.blocks.size(); ++k) {
            std::vector<double>& rows = single.blocks[k].rows;
            rows.clear();
            const std::vector<double>& src = p.blocks[k].rows;
            for (std::size_t i = 0; i < src.size(); i += 9) {
                rows.insert(rows.end(), src.begin() + static_cast<long>(i), src.begin() + static_cast<long>(i) + 3);
                rows.push_back(src[i + 3 + static_cast<std::size_t>(r)]);
            }
        }
        zt::BandArray one = fold(single);
        const std::vector<double> xr = one.solve(1, p.n, {}, ierr, 1e-12);
        ASSERT_EQ(ierr, 0);
        for (int32_t i = 0; i < p.n; ++i) EXPECT_BITEQ(xr[static_cast<std::size_t>(i)], x[static_cast<std::size_t>(i * 6 + r)]);
    }

    // The solve keeps nothing between calls: concurrent solves on the same
    // factor give the same bits.
    std::vector<std::vector<double>> out(4);
    std::vector<std::thread> threads;
    for (auto& o : out)
        threads.emplace_back([&all, &o, n = p.n] {
            int32_t e = -1;
            for (int rep = 0; rep < 50; ++rep) o = all.solve(1, n, {}, e, 1e-12);
        });
    for (auto& t : threads) t.join();
    for (const auto& o : out) EXPECT_EQ(o, x);
}

}  // namespace
