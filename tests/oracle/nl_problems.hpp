// Standard unconstrained least-squares test problems (Moré, Garbow and
// Hillstrom, "Testing unconstrained optimization software", ACM TOMS 7,
// 1981), written from their published formulas with analytic Jacobians,
// with their standard starting points and published minimal sums of
// squares.
#pragma once

#include <cmath>
#include <string>
#include <vector>

namespace zt {

struct TestProblem {
    std::string name;
    int m;
    int n;
    std::vector<double> x0;
    double published;  // published minimal sum of squares (0 when exact)
    // f (m) and J (m by n, column-major, leading dimension m) at x.
    void (*eval)(const double* x, double* f, double* jac);
};

namespace problems {

inline void rosenbrock(const double* x, double* f, double* J) {
    f[0] = 10.0 * (x[1] - x[0] * x[0]);
    f[1] = 1.0 - x[0];
    J[0] = -20.0 * x[0];
    J[1] = -1.0;
    J[2] = 10.0;
    J[3] = 0.0;
}

inline void powell_singular(const double* x, double* f, double* J) {
    const double s5 = std::sqrt(5.0), s10 = std::sqrt(10.0);
    const double a = x[1] - 2.0 * x[2], b = x[0] - x[3];
    f[0] = x[0] + 10.0 * x[1];
    f[1] = s5 * (x[2] - x[3]);
    f[2] = a * a;
    f[3] = s10 * b * b;
    const double jac[4][4] = {{1, 10, 0, 0}, {0, 0, s5, -s5}, {0, 2 * a, -4 * a, 0},
                              {2 * s10 * b, 0, 0, -2 * s10 * b}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) J[i + 4 * j] = jac[i][j];
}

inline void freudenstein_roth(const double* x, double* f, double* J) {
    f[0] = -13.0 + x[0] + ((5.0 - x[1]) * x[1] - 2.0) * x[1];
    f[1] = -29.0 + x[0] + ((x[1] + 1.0) * x[1] - 14.0) * x[1];
    J[0] = 1.0;
    J[1] = 1.0;
    J[2] = (10.0 - 3.0 * x[1]) * x[1] - 2.0;
    J[3] = (3.0 * x[1] + 2.0) * x[1] - 14.0;
}

inline void bard(const double* x, double* f, double* J) {
    static const double y[15] = {0.14, 0.18, 0.22, 0.25, 0.29, 0.32, 0.35, 0.39,
                                 0.37, 0.58, 0.73, 0.96, 1.34, 2.10, 4.39};
    for (int i = 0; i < 15; ++i) {
        const double u = i + 1, v = 15 - i, w = std::fmin(u, v);
        const double d = v * x[1] + w * x[2];
        f[i] = y[i] - (x[0] + u / d);
        J[i] = -1.0;
        J[i + 15] = u * v / (d * d);
        J[i + 30] = u * w / (d * d);
    }
}

inline void box3d(const double* x, double* f, double* J) {
    for (int i = 0; i < 10; ++i) {
        const double t = 0.1 * (i + 1);
        const double e1 = std::exp(-t * x[0]), e2 = std::exp(-t * x[1]);
        const double c = std::exp(-t) - std::exp(-10.0 * t);
        f[i] = e1 - e2 - x[2] * c;
        J[i] = -t * e1;
        J[i + 10] = t * e2;
        J[i + 20] = -c;
    }
}

inline void brown_dennis(const double* x, double* f, double* J) {
    for (int i = 0; i < 20; ++i) {
        const double t = (i + 1) / 5.0;
        const double a = x[0] + t * x[1] - std::exp(t);
        const double b = x[2] + x[3] * std::sin(t) - std::cos(t);
        f[i] = a * a + b * b;
        J[i] = 2 * a;
        J[i + 20] = 2 * a * t;
        J[i + 40] = 2 * b;
        J[i + 60] = 2 * b * std::sin(t);
    }
}

inline void osborne1(const double* x, double* f, double* J) {
    static const double y[33] = {0.844, 0.908, 0.932, 0.936, 0.925, 0.908, 0.881, 0.850, 0.818,
                                 0.784, 0.751, 0.718, 0.685, 0.658, 0.628, 0.603, 0.580, 0.558,
                                 0.538, 0.522, 0.506, 0.490, 0.478, 0.467, 0.457, 0.448, 0.438,
                                 0.431, 0.424, 0.420, 0.414, 0.411, 0.406};
    for (int i = 0; i < 33; ++i) {
        const double t = 10.0 * i;
        const double e4 = std::exp(-t * x[3]), e5 = std::exp(-t * x[4]);
        f[i] = y[i] - (x[0] + x[1] * e4 + x[2] * e5);
        J[i] = -1.0;
        J[i + 33] = -e4;
        J[i + 66] = -e5;
        J[i + 99] = t * x[1] * e4;
        J[i + 132] = t * x[2] * e5;
    }
}

inline void osborne2(const double* x, double* f, double* J) {
    static const double y[65] = {
        1.366, 1.191, 1.112, 1.013, 0.991, 0.885, 0.831, 0.847, 0.786, 0.725, 0.746, 0.679, 0.608,
        0.655, 0.616, 0.606, 0.602, 0.626, 0.651, 0.724, 0.649, 0.649, 0.694, 0.644, 0.624, 0.661,
        0.612, 0.558, 0.533, 0.495, 0.500, 0.423, 0.395, 0.375, 0.372, 0.391, 0.396, 0.405, 0.428,
        0.429, 0.523, 0.562, 0.607, 0.653, 0.672, 0.708, 0.633, 0.668, 0.645, 0.632, 0.591, 0.559,
        0.597, 0.625, 0.739, 0.710, 0.729, 0.720, 0.636, 0.581, 0.428, 0.292, 0.162, 0.098, 0.054};
    for (int i = 0; i < 65; ++i) {
        const double t = i / 10.0;
        const double d9 = t - x[8], d10 = t - x[9], d11 = t - x[10];
        const double e1 = std::exp(-t * x[4]);
        const double e2 = std::exp(-d9 * d9 * x[5]);
        const double e3 = std::exp(-d10 * d10 * x[6]);
        const double e4 = std::exp(-d11 * d11 * x[7]);
        f[i] = y[i] - (x[0] * e1 + x[1] * e2 + x[2] * e3 + x[3] * e4);
        double* c = J + i;
        c[0] = -e1;
        c[65] = -e2;
        c[130] = -e3;
        c[195] = -e4;
        c[260] = t * x[0] * e1;
        c[325] = x[1] * d9 * d9 * e2;
        c[390] = x[2] * d10 * d10 * e3;
        c[455] = x[3] * d11 * d11 * e4;
        c[520] = -2.0 * x[1] * x[5] * d9 * e2;
        c[585] = -2.0 * x[2] * x[6] * d10 * e3;
        c[650] = -2.0 * x[3] * x[7] * d11 * e4;
    }
}

inline void meyer(const double* x, double* f, double* J) {
    static const double y[16] = {34780, 28610, 23650, 19630, 16370, 13720, 11540, 9744,
                                 8261,  7030,  6005,  5147,  4427,  3820,  3307,  2872};
    for (int i = 0; i < 16; ++i) {
        const double t = 45.0 + 5.0 * (i + 1);
        const double d = t + x[2];
        const double e = std::exp(x[1] / d);
        f[i] = x[0] * e - y[i];
        J[i] = e;
        J[i + 16] = x[0] * e / d;
        J[i + 32] = -x[0] * x[1] * e / (d * d);
    }
}

inline void watson6(const double* x, double* f, double* J) {
    const int n = 6, m = 31;
    for (int i = 0; i < 29; ++i) {
        const double t = (i + 1) / 29.0;
        double s1 = 0.0, p = 1.0;
        for (int j = 1; j < n; ++j) {
            s1 += j * x[j] * p;
            p *= t;
        }
        double s2 = 0.0;
        p = 1.0;
        for (int j = 0; j < n; ++j) {
            s2 += x[j] * p;
            p *= t;
        }
        f[i] = s1 - s2 * s2 - 1.0;
        double pj = 1.0;  // t^(j-1) for column j (from 0: t^j)
        for (int j = 0; j < n; ++j) {
            const double lin = j == 0 ? 0.0 : j * pj / t;
            J[i + m * j] = lin - 2.0 * s2 * pj;
            pj *= t;
        }
    }
    for (int j = 0; j < n; ++j) J[29 + m * j] = J[30 + m * j] = 0.0;
    f[29] = x[0];
    J[29] = 1.0;
    f[30] = x[1] - x[0] * x[0] - 1.0;
    J[30] = -2.0 * x[0];
    J[30 + m] = 1.0;
}

inline void kowalik_osborne(const double* x, double* f, double* J) {
    static const double y[11] = {0.1957, 0.1947, 0.1735, 0.1600, 0.0844, 0.0627,
                                 0.0456, 0.0342, 0.0323, 0.0235, 0.0246};
    static const double u[11] = {4.0, 2.0, 1.0, 0.5, 0.25, 0.167, 0.125, 0.1, 0.0833, 0.0714, 0.0625};
    for (int i = 0; i < 11; ++i) {
        const double num = u[i] * u[i] + u[i] * x[1];
        const double den = u[i] * u[i] + u[i] * x[2] + x[3];
        f[i] = y[i] - x[0] * num / den;
        J[i] = -num / den;
        J[i + 11] = -x[0] * u[i] / den;
        J[i + 22] = x[0] * num * u[i] / (den * den);
        J[i + 33] = x[0] * num / (den * den);
    }
}

inline void jennrich_sampson(const double* x, double* f, double* J) {
    for (int i = 0; i < 10; ++i) {
        const double k = i + 1;
        const double e1 = std::exp(k * x[0]), e2 = std::exp(k * x[1]);
        f[i] = 2.0 + 2.0 * k - (e1 + e2);
        J[i] = -k * e1;
        J[i + 10] = -k * e2;
    }
}

inline void helical_valley(const double* x, double* f, double* J) {
    const double tpi = 8.0 * std::atan(1.0);
    double theta;
    if (x[0] > 0.0)
        theta = std::atan(x[1] / x[0]) / tpi;
    else if (x[0] < 0.0)
        theta = std::atan(x[1] / x[0]) / tpi + 0.5;
    else
        theta = std::copysign(0.25, x[1]);
    const double r2 = x[0] * x[0] + x[1] * x[1], r = std::sqrt(r2);
    f[0] = 10.0 * (x[2] - 10.0 * theta);
    f[1] = 10.0 * (r - 1.0);
    f[2] = x[2];
    J[0] = 100.0 * x[1] / (tpi * r2);
    J[1] = 10.0 * x[0] / r;
    J[2] = 0.0;
    J[3] = -100.0 * x[0] / (tpi * r2);
    J[4] = 10.0 * x[1] / r;
    J[5] = 0.0;
    J[6] = 10.0;
    J[7] = 0.0;
    J[8] = 1.0;
}

inline void beale(const double* x, double* f, double* J) {
    static const double y[3] = {1.5, 2.25, 2.625};
    for (int i = 0; i < 3; ++i) {
        const double k = i + 1;
        f[i] = y[i] - x[0] * (1.0 - std::pow(x[1], k));
        J[i] = -(1.0 - std::pow(x[1], k));
        J[i + 3] = k * x[0] * std::pow(x[1], k - 1.0);
    }
}

inline void linear_full_rank(const double* x, double* f, double* J) {
    const int m = 10, n = 5;
    double s = 0.0;
    for (int j = 0; j < n; ++j) s += x[j];
    for (int i = 0; i < m; ++i) {
        f[i] = (i < n ? x[i] : 0.0) - 2.0 * s / m - 1.0;
        for (int j = 0; j < n; ++j) J[i + m * j] = (i == j ? 1.0 : 0.0) - 2.0 / m;
    }
}

}  // namespace problems

inline std::vector<TestProblem> standard_problems() {
    using namespace problems;
    return {
        {"Rosenbrock", 2, 2, {-1.2, 1.0}, 0.0, rosenbrock},
        {"HelicalValley", 3, 3, {-1.0, 0.0, 0.0}, 0.0, helical_valley},
        {"PowellSingular", 4, 4, {3.0, -1.0, 0.0, 1.0}, 0.0, powell_singular},
        {"FreudensteinRoth", 2, 2, {0.5, -2.0}, 48.9842, freudenstein_roth},
        {"Bard", 15, 3, {1.0, 1.0, 1.0}, 8.21487e-3, bard},
        {"KowalikOsborne", 11, 4, {0.25, 0.39, 0.415, 0.39}, 3.07505e-4, kowalik_osborne},
        {"Meyer", 16, 3, {0.02, 4000.0, 250.0}, 87.9458, meyer},
        {"Watson6", 31, 6, {0, 0, 0, 0, 0, 0}, 2.28767e-3, watson6},
        {"Box3D", 10, 3, {0.0, 10.0, 20.0}, 0.0, box3d},
        {"JennrichSampson", 10, 2, {0.3, 0.4}, 124.362, jennrich_sampson},
        {"BrownDennis", 20, 4, {25.0, 5.0, -5.0, -1.0}, 85822.2, brown_dennis},
        {"Osborne1", 33, 5, {0.5, 1.5, -1.0, 0.01, 0.02}, 5.46489e-5, osborne1},
        {"Osborne2", 65, 11, {1.3, 0.65, 0.65, 0.7, 0.6, 3, 5, 7, 2, 4.5, 5.5}, 4.01377e-2, osborne2},
        {"Beale", 3, 2, {1.0, 1.0}, 0.0, beale},
        {"LinearFullRank", 10, 5, {1, 1, 1, 1, 1}, 5.0, linear_full_rank},
    };
}

}  // namespace zt
