// The call shape of every export, written once: how to draw its arguments,
// call it, record what it returns and check what is cheap to check.  The
// determinism digest, the concurrency test, the failure-injection sweep and
// the fuzz targets all run these calls.
//
// A Draw takes every choice from one source: a seed (splitmix64, so the
// calls are the same with every compiler and standard library) or a fuzz
// input (bytes past its end read as 0).  A seeded Draw keeps the bytes it
// used, and those bytes fed back as an input make the same call.  Every
// array is a heap block of exactly its size, so AddressSanitizer reports any
// access outside it; outputs start as a canary, so elements left alone show.
// At the end every array goes to the sink, in the order drawn, NaN as one
// canonical value (its sign and payload are not meaningful results).
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace zc {

using i32 = std::int32_t;
using i64 = std::int64_t;
constexpr double kCanary = -777.125;

// A view of n doubles (or integers) of a heap block that the Draw owns.
template <class T>
struct Arr {
    T* p = nullptr;
    i64 n = 0;
    operator T*() const { return p; }
    T& operator[](i64 i) const { return p[i]; }
};

// Bit for bit, except that any NaN equals any NaN: the sign and payload of a
// NaN are not meaningful results (a compiler may swap the operands of +).
inline bool same(Arr<double> a, Arr<double> b) {
    const auto eq = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y) || (x != x && y != y);
    };
    return a.n == b.n && std::equal(a.p, a.p + a.n, b.p, eq);
}

class Draw {
   public:
    explicit Draw(std::uint64_t seed) : seeded_(true), state_(seed) {}
    Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    ~Draw() {
        for (const Block& b : blocks_) std::free(b.p);
    }

    std::uint64_t bits(int bytes) {  // 1 to 8 bytes, little-endian
        std::uint64_t v = 0;
        for (int k = 0; !seeded_ && k < bytes; ++k, ++at_) v |= at_ < size_ ? std::uint64_t{data_[at_]} << (8 * k) : 0;
        if (!seeded_) return v;
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);  // splitmix64
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        v = (z ^ (z >> 31)) >> (64 - 8 * bytes);
        for (int k = 0; k < bytes; ++k) used.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
        return v;
    }
    i32 pick(i32 lo, i32 hi) {
        const std::uint64_t span = static_cast<std::uint64_t>(i64{hi} - lo + 1);
        return static_cast<i32>(lo + static_cast<i64>(bits(span <= 256 ? 1 : 4) % span));
    }
    bool chance(double p) { return static_cast<double>(bits(1)) < 256.0 * p; }
    template <class T>
    T of(std::initializer_list<T> list) {
        return list.begin()[bits(1) % list.size()];
    }
    double uni(double lo, double hi) { return lo + (hi - lo) * (static_cast<double>(bits(7) >> 3) * 0x1.0p-53); }
    // NaN, infinities, subnormals, huge and tiny values, the library's
    // tolerances and their neighbours.
    double special() {
        constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
        // clang-format off
        static const double kTable[] = {
            0.0, -0.0, nan, -nan, inf, -inf, 1e-300, -1e-300, 5e-324, 2.2250738585072014e-308, 1e300, -1e300, 1e308,
            -1.7976931348623157e308, 1e-8, -1e-8, 9.999999999999999e-09, 1.0000000000000002e-08, 1e-20,
            1.0000000000000001e-20, 1e-10, 1e-12, 1e-16, 1.0, -1.0, 0.5, 2.0, -3.0, 10.0, 1e154, 1e-160, 0.9999999999,
            0.99999999, 1e-4, 0.25, 0.75, 0.1, 6.283185307179586, 2.220446049250313e-16};
        // clang-format on
        return kTable[bits(1) % std::size(kTable)];
    }
    // In [-2, 2); at levels 1 and 2 at times scaled by a power of ten or
    // awkward (and at level 2 any bits).
    double real() {
        const unsigned t = static_cast<unsigned>(bits(1));
        if (t < (level == 0 ? 0u : level == 1 ? 20u : 90u)) return special();
        if (level == 2 && t == 255) return std::bit_cast<double>(bits(8));
        const double x = uni(-2.0, 2.0);
        return level > 0 && t % 10 == 0 ? x * of({1e-12, 1e-9, 1e-6, 1e-3, 1e3, 1e6, 1e9, 1e12}) : x;
    }
    // Mostly 1..hi, sometimes 0, negative or extreme, and when big > hi at
    // times hi+1..big (remainders of blocked and unrolled loops).
    i32 count(i32 hi, i32 big = 0) {
        const unsigned u = static_cast<unsigned>(bits(1));
        if (u < 4) return of<i32>({INT32_MIN, INT32_MIN + 1, -65536, -1000000});
        return u < 20 ? pick(-2, 0) : big > hi && u >= 244 ? pick(hi + 1, big) : pick(1, hi);
    }
    // A leading dimension for rows by cols where the routine only reads: at
    // times below rows (columns overlap), or below 1 where nothing is read.
    i32 ld(i64 rows, i64 cols) {
        const i64 r = std::max<i64>(rows, 1), u = static_cast<i64>(bits(1));
        return u < 230 || cols < 2 ? static_cast<i32>(u < 200 ? r + u % 3 : 1 + u % r) : of<i32>({0, -1, INT32_MIN});
    }

    Arr<double> out(i64 n, double v = kCanary) {  // filled with v
        const Arr<double> a{static_cast<double*>(block(n, false)), std::max<i64>(n, 0)};
        std::fill_n(a.p, a.n, v);
        return a;
    }
    // Drawn values the call may change; at levels 1 and 2 at times the whole
    // array awkward: scaled to the edge of the tolerances or beyond a plain
    // sum of squares, one awkward element among zeros, or all equal.
    Arr<double> io(i64 n) {
        const Arr<double> a = out(n);
        for (i64 i = 0; i < a.n; ++i) a[i] = real();
        const unsigned how = level > 0 && a.n > 0 && chance(0.25) ? static_cast<unsigned>(bits(1) % 3) : 3;
        const double s = how == 0 ? of({0.0, 1e-8, 1e-9, 1e160, 1e-170, 1e200}) : how < 3 ? special() : 1.0;
        for (i64 i = 0; i < a.n && how < 3; ++i) a[i] = how == 0 ? a[i] * s : how == 1 ? (i == 0 ? s : 0.0) : a[0];
        return a;
    }
    Arr<double> vec(i64 n) { return keep(io(n)); }  // drawn values the call only reads
    Arr<double> vec(std::initializer_list<double> v) {
        return keep(copy({const_cast<double*>(v.begin()), static_cast<i64>(v.size())}));
    }
    Arr<double> copy(Arr<double> a, i64 n = -1) {  // n > a.n: the canary behind
        const Arr<double> c = out(n < 0 ? a.n : n);
        std::copy_n(a.p, std::min(a.n, c.n), c.p);
        return c;
    }
    Arr<i32> ints(i64 n, i32 lo, i32 hi) {
        const Arr<i32> a{static_cast<i32*>(block(n, true)), std::max<i64>(n, 0)};
        std::generate_n(a.p, a.n, [&] { return pick(lo, hi); });
        return a;
    }
    i32* status() { return ints(1, -99, -99).p; }
    template <class... A>
    Arr<double> keep(Arr<double> a, A... more) {  // only read from here on: checked at the end
        for (const Arr<double> k : {a, more...}) inputs_.push_back({k, copy(k)});
        return a;
    }

    void check(bool ok, const char* what) { failed = ok || !failed.empty() ? failed : what; }
    void untouched(Arr<double> a, double v = kCanary) { check(same(a, out(a.n, v)), "an output left alone changed"); }
    // A copy of `from` (as long as want) passed to call, which writes its
    // output there, must end equal to want.
    template <class F>
    void alias(Arr<double> want, Arr<double> from, F call) {
        const Arr<double> o = copy(from, want.n);
        call(o.p);
        check(same(o, want), "the output on an input differs from the separate output");
    }
    void put(double x) {  // a value returned
        const std::uint64_t u = std::isnan(x) ? 0x7ff8000000000000ull : std::bit_cast<std::uint64_t>(x);
        for (int k = 0; k < 8; ++k) sink.push_back(static_cast<unsigned char>(u >> (8 * k)));
    }
    void text(std::string_view t) {  // "nan" without the sign and padding in front of it
        std::string canon(t);
        for (std::size_t k = canon.find("nan"); k != std::string::npos; k = canon.find("nan", k + 1))
            while (k > 0 && (canon[k - 1] == ' ' || canon[k - 1] == '-')) canon.erase(--k, 1);
        put(static_cast<double>(canon.size()));
        sink.insert(sink.end(), canon.begin(), canon.end());
    }
    void finish() {  // records every array (those of the checks too) and checks the inputs only read
        for (std::size_t b = 0; b < blocks_.size(); ++b)
            for (i64 k = 0; k < blocks_[b].n; ++k)
                put(blocks_[b].ints ? static_cast<i32*>(blocks_[b].p)[k] : static_cast<double*>(blocks_[b].p)[k]);
        for (const auto& [a, before] : inputs_) check(same(a, before), "an input that is only read changed");
    }
    int level = 0;  // 0 plain values, 1 a few awkward ones, 2 many
    std::vector<unsigned char> sink;
    std::vector<i64> shape;          // counts and results that decide memory requests
    std::vector<std::uint8_t> used;  // the bytes drawn from a seed
    // 1: a request to the memory service was refused during the call, 2: a
    // heap request; 0 when nobody refuses.
    int (*fault)() = [] { return 0; };
    std::string failed;  // the first failed check

   private:
    struct Block {
        void* p;
        i64 n;
        bool ints;
    };
    void* block(i64 n, bool ints) {
        void* p = std::malloc(n > 0 ? static_cast<std::size_t>(n) * (ints ? 4 : 8) : 1);
        blocks_.push_back({p, std::max<i64>(n, 0), ints});
        return p;
    }

    bool seeded_ = false;
    std::uint64_t state_ = 0;
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0, at_ = 0;
    std::vector<Block> blocks_;
    std::vector<std::pair<Arr<double>, Arr<double>>> inputs_;
};

// The documented call sites of the memory service: tag, request line and
// the line that releases the block.
struct Site {
    const char* tag;
    i32 request, release;
};
inline constexpr Site kSites[] = {
    {"lminv", 87, 155},  {"lminv", 102, 154}, {"lminv", 104, 153},        {"lminv", 118, 152},
    {"lgloes", 78, 89},  {"lgloes", 79, 88},  {"febew", 113, 137},        {"febew", 157, 181},
    {"febew", 204, 249}, {"febew", 297, 346}, {"mathngsolver", 400, 724}, {"mathngsolver", 405, 725},
};

struct Call {
    const char* name;  // the export
    int reps;          // repetitions in the digest and the concurrency test
    void (*run)(Draw&);
};

// Every export, by family: vectors 0-21, matrices 22-31, geometry 32-41,
// linear algebra 42-50, banded 51-52, nonlinear 53-58, motion 59.
std::vector<Call>& calls();

inline std::uint64_t seed(const Call& c, int rep, std::uint64_t stream) {
    std::uint64_t h = 14695981039346656037ull;
    for (const char* p = c.name; *p != 0; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
    return h ^ (0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(rep + 1)) ^ (0xD1B54A32D192ED03ull * (stream + 1));
}

// The level from the draw, the call, then Draw::finish.
inline void run(const Call& c, Draw& d) {
    d.level = static_cast<int>(d.bits(1) % 3);
    c.run(d);
    d.finish();
}

}  // namespace zc
