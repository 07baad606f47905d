// Bad input: what each routine family does with NaN and infinite values,
// empty counts, degenerate geometry and singular data, where the family's
// own tests do not already say it (docs/bad_input.md names the test behind
// every row).  The rule throughout: a comparison with a tolerance is
// strict, so a NaN never passes as "too small" and is carried into the
// results, and a status reports only what the routine tests for.
#include <cmath>
#include <limits>
#include <vector>

#include "support.hpp"

namespace {

using Vec = std::vector<double>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kCanary = -777.125;

bool all_nan(const Vec& v) {
    for (double x : v)
        if (!std::isnan(x)) return false;
    return true;
}

TEST(BadInput, ThreeVectorsNonFinite) {
    const Vec nan_v = {kNaN, 1, 0}, inf_v = {kInf, 1, 0}, x = {1, 0, 0};
    Vec b(3, kCanary), c(3, kCanary);
    int32_t ierr = -9;
    double len = kCanary;

    // An infinite element: length +inf, a direction with NaN, no failure.
    lvnrmb_(inf_v.data(), b.data(), &len, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(len, kInf);
    EXPECT_TRUE(std::isnan(b[0]));

    // Frame completion of a NaN direction: no failure, a NaN frame.
    lvo23_(nan_v.data(), b.data(), c.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(all_nan(b) && all_nan(c));

    // The angle with a NaN or infinite vector is NaN (not 0: the length
    // test does not hold for NaN).
    EXPECT_TRUE(std::isnan(lvwin3_(nan_v.data(), x.data())));
    EXPECT_TRUE(std::isnan(lvwin3_(inf_v.data(), x.data())));

    // The clamped arc cosine clamps infinities; a NaN sweep stays NaN, an
    // infinite one stays infinite.
    double v = kInf;
    EXPECT_BITEQ(haacos_(&v), std::acos(1.0));
    v = -kInf;
    EXPECT_BITEQ(haacos_(&v), std::acos(-1.0));
    const double w0 = 0.0;
    for (int32_t sense : {0, 1}) {
        double d = kCanary;
        lvwiwi_(&w0, &kNaN, &sense, &d);
        EXPECT_TRUE(std::isnan(d)) << sense;
        lvwiwi_(&w0, &kInf, &sense, &d);
        EXPECT_EQ(d, kInf) << sense;
    }
}

TEST(BadInput, VectorsOfLengthNNonFinite) {
    const int32_t n = 3, divide = -1;
    const Vec nan_v = {1, kNaN, 2};
    // The scalar product and the norm carry the NaN.
    EXPECT_TRUE(std::isnan(lvscln_(&n, nan_v.data(), nan_v.data())));
    EXPECT_TRUE(std::isnan(lvlgtn_(&n, nan_v.data())));
    // Division by a NaN or infinite scaling: NaN is skipped (not above the
    // bound), infinity divides to zero.
    const Vec x = {kNaN, kInf, -kInf}, y = {1, 2, -3};
    Vec z(3, kCanary);
    lvmldn_(&divide, &n, x.data(), y.data(), z.data());
    EXPECT_BITEQ(z[0], kCanary);
    EXPECT_BITEQ(z[1], 0.0);
    EXPECT_BITEQ(z[2], 0.0);
    // A list of interchanges with entries outside 1..n moves nothing.
    const int32_t bad[3] = {-5, 0, 4}, forward = 1;
    const Vec a = {10, 20, 30};
    Vec out(3, kCanary);
    lvprmn_(&forward, &n, a.data(), out.data(), bad);
    EXPECT_EQ(out, a);
}

TEST(BadInput, GeneralMatricesNonFinite) {
    // Quadratic roots: a coefficient that is NaN fails "not below 1e-10"
    // and counts as zero, so all-NaN coefficients are the no-solution case
    // and a NaN leading coefficient makes the equation linear.
    const double all_nan[3] = {kNaN, kNaN, kNaN}, lead_nan[3] = {1, 1, kNaN}, mid_inf[3] = {1, kInf, 1};
    int32_t nreal = -9, degree = -9;
    Vec roots(4, kCanary);
    lm2pwu_(all_nan, &nreal, &degree, roots.data());
    EXPECT_EQ(nreal, 0);
    EXPECT_EQ(degree, 0);
    EXPECT_EQ(roots, Vec(4, kCanary));
    lm2pwu_(lead_nan, &nreal, &degree, roots.data());
    EXPECT_EQ(degree, 1);
    EXPECT_EQ(nreal, 1);
    EXPECT_BITEQ(roots[0], -1.0);
    // An infinite middle coefficient: a quadratic whose roots are not finite.
    lm2pwu_(mid_inf, &nreal, &degree, roots.data());
    EXPECT_EQ(degree, 2);
    EXPECT_FALSE(std::isfinite(roots[0]) && std::isfinite(roots[2]));

    // Norms: a NaN element never enters a maximum (modes 1, 2, 4) but makes
    // the Frobenius norm NaN; rank count: a NaN diagonal element or a NaN
    // tolerance never counts.
    const int32_t two = 2;
    const Vec a = {1, kNaN, -3, 4};  // 2 by 2
    const double want[5] = {0, 7, 4, kNaN, 4};
    for (int32_t mode = 1; mode <= 4; ++mode) {
        const double got = lmnrmn_(&mode, &two, &two, &two, a.data());
        if (mode == 3) EXPECT_TRUE(std::isnan(got));
        else EXPECT_BITEQ(got, want[mode]) << mode;
    }
    const Vec diag_nan = {kNaN, 0, 0, 5};
    const double tol = 1e-8;
    EXPECT_EQ(lmtrkn_(&two, &two, diag_nan.data(), &tol), 1);
    EXPECT_EQ(lmtrkn_(&two, &two, a.data(), &kNaN), 0);
}

TEST(BadInput, RotationsNonFinite) {
    // The length tests of MathRotVector do not hold for NaN: a NaN vector
    // gives a NaN matrix, not the identity.
    const Vec nan_v = {kNaN, 0, 0}, x = {1, 0, 0}, xy = {1, 1, 0}, y = {0, 1, 0};
    Vec out(9, kCanary);
    MathRotVector(nan_v.data(), y.data(), out.data());
    EXPECT_TRUE(all_nan(out));
    // The mirror of a NaN direction: no failure, NaN entries.
    const double two = 2.0;
    int32_t ierr = -9;
    out.assign(9, kCanary);
    lmspi3_(nan_v.data(), &two, out.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(all_nan(out));
    // A pair with a NaN direction: status 0 (the angles cannot be equal),
    // NaN entries.
    const Vec b2 = {kNaN, 1, 0};
    int32_t status = -9;
    out.assign(9, kCanary);
    lmdpl_(x.data(), xy.data(), y.data(), b2.data(), out.data(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(all_nan(out));
}

TEST(BadInput, InversionAndFitNonFinite) {
    // A NaN or infinite element passes every tolerance test of the solve:
    // status 0 with NaN results (not status 1).
    for (double bad : {kNaN, kInf}) {
        const int32_t n = 2;
        Vec a = {bad, 1, 1, 2}, x(4, kCanary);
        int32_t ierr = -9;
        lminv_(&n, &n, a.data(), x.data(), &ierr);
        EXPECT_EQ(ierr, 0) << bad;
        EXPECT_TRUE(all_nan(x)) << bad;
    }
    // A NaN coordinate: no rotation can be found (identity), the NaN goes
    // into the translation and the deviation; the status stays 0.
    const Vec src = {0, 0, 0, 1, 0, 0, 0, 1, kNaN}, dst = {1, 0, 0, 2, 0, 0, 1, 1, 0};
    const int32_t fit = 0, three = 3, plain = 0, weighted = 1, dev = 1;
    Vec rot(9, kCanary), trans(3, kCanary);
    double maxdev = kCanary;
    int32_t ierr = -9;
    lmmat_(&fit, &three, &plain, nullptr, src.data(), dst.data(), rot.data(), trans.data(), &dev, &maxdev, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(rot, (Vec{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_TRUE(std::isnan(trans[2]));
    EXPECT_TRUE(std::isnan(maxdev));
    // Weights are not tested: a zero total weight gives non-finite centroids.
    const Vec w = {1, -1, 0}, src2 = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    lmmat_(&fit, &three, &weighted, w.data(), src2.data(), dst.data(), rot.data(), trans.data(), &dev, &maxdev,
           &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_EQ(rot, (Vec{1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_TRUE(all_nan(trans));
}

TEST(BadInput, HouseholderAndBandedNonFinite) {
    // A NaN pivot element: the largest magnitude is NaN, which is not below
    // the tolerance, so the reflection is built from it: status 0, NaN.
    const int32_t build = 1, ipiv = 1, ifirst = 2, ilast = 3, one = 1, nvec = 1;
    const double tol = 1e-8;
    Vec u = {kNaN, 1, 2}, c = {1, 2, 3};
    double upiv = kCanary;
    int32_t ierr = -9;
    lghtr_(&build, &ipiv, &ifirst, &ilast, u.data(), &one, &upiv, c.data(), &one, &ilast, &nvec, &tol, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(std::isnan(upiv));
    EXPECT_TRUE(all_nan(c));
    Vec ut = {kNaN, kNaN, kNaN}, ct = {1, 2, 3}, v(3, kCanary);
    double copy = kCanary;
    lghtrt_(&build, &ipiv, &ifirst, &ilast, ut.data(), &upiv, ct.data(), &nvec, v.data(), &copy, &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(all_nan(ct));

    // Banded least squares: a NaN coefficient reaches the factor, whose NaN
    // diagonal is not below the tolerance: status 0 and NaN solutions.
    const int32_t ldg = 4, nb = 2, nrow = 3, jcol = 1, nrhs = 1, n = 2, solve = 1;
    Vec g = {1, 1, kNaN, 0, 0, 1, 2, 0, 1, 3, 5, 0};  // rows (1, 0 | 1), (1, 1 | 3), (NaN, 2 | 5)
    int32_t ipos = 1, inext = 1;
    lgbla_(g.data(), &ldg, &nb, &ipos, &inext, &nrow, &jcol, &nrhs, &tol);
    Vec x(2, kCanary);
    lgbls_(&solve, g.data(), &ldg, &nb, &ipos, &n, &nrhs, &tol, x.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(all_nan(x));
}

TEST(BadInput, StepAssessmentEmptyAndNonFinite) {
    const int32_t ld = 2, two = 2, none = 0, mode1 = 1;
    const double J[4] = {1, 0, 0, 1}, dx[2] = {1, 1}, D[2] = {1, 1}, par = 0.0, delta = 1.0, tol = 1e-8;
    const double zero[2] = {0, 0}, f[2] = {3, 4}, fnan[2] = {kNaN, 0};
    double work[2] = {kCanary, kCanary};
    // No equations: the residual norm is 0, so the first stopping test holds
    // and the ratio is 0.
    EXPECT_EQ(ngstp1_(&mode1, &ld, &none, &two, J, zero, dx, D, dx, &delta, &par, &tol, work), 1);
    EXPECT_BITEQ(ngrat1_(&ld, &none, &two, J, f, f, dx, D, &par), 0.0);
    // A NaN trial residual: no stopping test 1, ratio 0, and the radius
    // factor of a NaN ratio is the quadratic-model one, NaN.
    EXPECT_EQ(ngstp1_(&mode1, &ld, &two, &two, J, fnan, dx, D, dx, &delta, &par, &tol, work), 0);
    EXPECT_BITEQ(ngrat1_(&ld, &two, &two, J, f, fnan, dx, D, &par), 0.0);
    const double rho = kNaN;
    EXPECT_TRUE(std::isnan(ngups1_(&ld, &two, &two, J, f, fnan, dx, D, &par, &rho)));

    // The parameter iteration with a NaN radius ends after its limit with
    // iter = -1.
    const int32_t m = 2, n = 2, mpn = 4, maxit = 10, rank = 2, piv[2] = {1, 2};
    const double R[4] = {2, 0, 1, 3}, qtb[2] = {1, 1}, sigma = 0.1;
    Vec A(8, 0.0), b(4, 0.0), x = {1, 1}, wk(2);
    A[0] = 2;
    A[4] = 1;
    A[5] = 3;
    b[0] = -1;
    b[1] = -1;
    double p = 0.0;
    int32_t iter = -9;
    ngpar1_(&mpn, &m, &n, R, qtb, A.data(), b.data(), x.data(), D, &p, &kNaN, &sigma, &maxit, &rank, piv,
            wk.data(), &iter);
    EXPECT_EQ(iter, -1);
}

TEST(BadInput, StepAssessmentUnreadableLeadingDimension) {
    // Three columns with a leading dimension below 1 would lie before the
    // array; the kernels read nothing of it (one element on the heap, so an
    // address sanitizer sees any read before it) and answer as for a
    // Jacobian of zeros with a proper leading dimension.
    const int32_t rows = 2, cols = 3, ld_ok = 2, mode3 = 3;
    const Vec zeros(6, 0.0), f = {3, 4}, fnew = {2, 1}, worse = {4, 4}, dx = {1, -2, 0.5}, D = {1, 2, 3};
    const double par = 0.25, delta = 1.0, tol = 0.5, rho = 0.1;
    for (const int32_t ld : {0, -1, -7}) {
        const Vec lone(1, kNaN);
        Vec d = {-1.0, 2.0, kNaN}, d_ok = d;
        ngvsc1_(&ld, &rows, &cols, lone.data(), d.data());
        ngvsc1_(&ld_ok, &rows, &cols, zeros.data(), d_ok.data());
        EXPECT_EQ(zt::bits(d), zt::bits(d_ok)) << ld;

        Vec w(3, kCanary), w_ok(3, kCanary);
        EXPECT_EQ(ngstp1_(&mode3, &ld, &rows, &cols, lone.data(), fnew.data(), dx.data(), D.data(), dx.data(),
                          &delta, &par, &tol, w.data()),
                  ngstp1_(&mode3, &ld_ok, &rows, &cols, zeros.data(), fnew.data(), dx.data(), D.data(), dx.data(),
                          &delta, &par, &tol, w_ok.data()));
        EXPECT_EQ(zt::bits(w), zt::bits(w_ok)) << ld;

        EXPECT_BITEQ(ngrat1_(&ld, &rows, &cols, lone.data(), f.data(), fnew.data(), dx.data(), D.data(), &par),
                     ngrat1_(&ld_ok, &rows, &cols, zeros.data(), f.data(), fnew.data(), dx.data(), D.data(), &par));
        EXPECT_BITEQ(
            ngups1_(&ld, &rows, &cols, lone.data(), f.data(), worse.data(), dx.data(), D.data(), &par, &rho),
            ngups1_(&ld_ok, &rows, &cols, zeros.data(), f.data(), worse.data(), dx.data(), D.data(), &par, &rho));
    }
}

TEST(BadInput, ProductsAndTransformsCarryNonFinite) {
    // 3 by 3 products and point lists: the NaN reaches exactly the entries
    // it enters.
    const Vec a = {kNaN, 0, 0, 0, 1, 0, 0, 0, 1}, id = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Vec c(9, kCanary);
    lmmul3_(id.data(), a.data(), c.data());
    EXPECT_TRUE(std::isnan(c[0]));
    EXPECT_EQ(c[4], 1.0);
    const int32_t one = 1;
    const Vec p = {kInf, 1, 2};
    Vec q(3, kCanary);
    lmmvp3_(id.data(), &one, p.data(), q.data());
    EXPECT_EQ(q[0], kInf);
    EXPECT_TRUE(std::isnan(q[1]));  // 0 * inf
    // A NaN point has a NaN image in both directions and both modes; it is
    // never mistaken for a point at the centre's depth.
    const Vec origin = {0, 0, 0}, nan_p = {1, 2, kNaN};
    const double dist = 10.0;
    for (int32_t parallel : {0, 1}) {
        Vec out(3, kCanary);
        ltmwb3_(nan_p.data(), &one, id.data(), origin.data(), nullptr, &parallel, nullptr, &dist, out.data());
        EXPECT_TRUE(std::isnan(out[2]) && out[0] != 1e307) << parallel;
        ltmbw3_(nan_p.data(), &one, id.data(), origin.data(), nullptr, &parallel, nullptr, &dist, out.data());
        EXPECT_TRUE(std::isnan(out[2])) << parallel;
    }
    // The weighted product: a NaN weight reaches every element of c (even
    // through a zero of M, 0 * NaN being NaN).
    const int32_t two = 2;
    const Vec M = {1, 0, 0, 1}, b = {1, 2, 3, 4}, w = {1, kNaN};
    const double* hm = M.data();
    Vec cw(4, kCanary);
    int32_t ierr = -9;
    lgloes_(&two, &two, &hm, &two, b.data(), w.data(), cw.data(), &ierr);
    EXPECT_EQ(ierr, 0);
    EXPECT_TRUE(all_nan(cw));
    // The unchecked triangular solve: a zero diagonal gives infinities.
    const int32_t upper = 2;
    const Vec r = {2, 0, 1, 0};
    Vec x = {1, 1};
    lgdre1_(&upper, &two, &two, r.data(), x.data());
    EXPECT_EQ(x[1], kInf);
    EXPECT_FALSE(std::isfinite(x[0]));
}

}  // namespace
