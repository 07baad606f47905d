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

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
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

inline bool same(Arr<double> a, Arr<double> b) { return a.n == b.n && std::memcmp(a.p, b.p, 8 * a.n) == 0; }

class Draw {
   public:
    explicit Draw(std::uint64_t seed) : seeded_(true), state_(seed) {}
    Draw(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    ~Draw();

    std::uint64_t bits(int bytes);  // 1 to 8 bytes, little-endian
    i32 pick(i32 lo, i32 hi);
    bool chance(double p) { return static_cast<double>(bits(1)) < 256.0 * p; }
    template <class T>
    T of(std::initializer_list<T> list) {
        return list.begin()[bits(1) % list.size()];
    }
    double uni(double lo, double hi);
    double special();  // NaN, infinities, subnormals, huge, tiny, the library's tolerances
    double real();     // in [-2, 2); at levels 1 and 2 at times scaled or awkward
    // Mostly 1..hi, sometimes 0, negative or extreme, and when big > hi at
    // times hi+1..big (remainders of blocked and unrolled loops).
    i32 count(i32 hi, i32 big = 0);
    // A leading dimension for rows by cols where the routine only reads: at
    // times below rows (columns overlap), or below 1 where nothing is read.
    i32 ld(i64 rows, i64 cols);

    Arr<double> io(i64 n);                          // drawn values the call may change
    Arr<double> vec(i64 n) { return keep(io(n)); }  // drawn values the call only reads
    Arr<double> vec(std::initializer_list<double> v);
    Arr<double> out(i64 n, double v = kCanary);
    Arr<double> copy(Arr<double> a, i64 n = -1);  // n > a.n: the canary behind
    Arr<i32> ints(i64 n, i32 lo, i32 hi);
    i32* status() { return ints(1, -99, -99).p; }
    template <class... A>
    Arr<double> keep(Arr<double> a, A... more) {  // only read from here on
        inputs_.push_back({a, copy(a)});
        if constexpr (sizeof...(more) > 0) keep(more...);
        return a;
    }

    void check(bool ok, const char* what);
    void untouched(Arr<double> a, double v = kCanary) { check(same(a, out(a.n, v)), "an output left alone changed"); }
    // A copy of `from` (as long as want) passed to call, which writes its
    // output there, must end equal to want.
    template <class F>
    void alias(Arr<double> want, Arr<double> from, F call) {
        const Arr<double> o = copy(from, want.n);
        call(o.p);
        check(same(o, want), "the output on an input differs from the separate output");
    }
    void put(double x);             // a value returned
    void text(std::string_view t);  // "nan", "-nan" and the padding before them as " nan"
    void finish();                  // records every array and checks the inputs only read
    // 1: a request to the memory service was refused during the call, 2: a
    // heap request; 0 when nobody refuses.
    int fault() const { return faults != nullptr ? faults() : 0; }

    int level = 0;  // 0 plain values, 1 a few awkward ones, 2 many
    std::vector<unsigned char> sink;
    std::vector<i64> shape;          // counts and results that decide memory requests
    std::vector<std::uint8_t> used;  // the bytes drawn from a seed
    int (*faults)() = nullptr;
    int failures = 0;
    std::string failed;  // the first failed check
    bool abort_on_failure = false;

   private:
    struct Block {
        void* p;
        i64 n;
        bool ints;
    };
    void* block(i64 n, bool ints);

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
const std::vector<Call>& calls();
std::uint64_t seed(const Call& c, int rep, std::uint64_t stream);
// The level from the draw, the call, then Draw::finish.
void run(const Call& c, Draw& d);

}  // namespace zc
