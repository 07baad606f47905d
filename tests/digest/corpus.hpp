// A seeded corpus of calls that reaches every export of the library, shared
// by the determinism digest and the concurrency test: one table of calls,
// two uses.
//
// Each case builds its own inputs from a seed (random values, and at higher
// levels zeros, NaN, infinities, subnormals, tiny and huge magnitudes),
// calls its routine, and appends every output it can observe to a Sink:
// output arrays (prefilled with a canary, so that untouched elements are
// seen as untouched), function values, statuses, integer outputs and, for
// the solver, its trace text.  A case keeps all of its data in locals, so
// cases may run in several threads at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zc {

// Collects the observed outputs as bytes in a fixed, platform-independent
// encoding (little-endian).  Every NaN is recorded as one canonical value:
// the sign and payload of a NaN are not meaningful results, and compilers
// may legitimately change them by swapping the operands of + or *.
class Sink {
public:
    void d(double x);
    void i(std::int64_t k);
    void v(const std::vector<double>& a);
    void iv(const std::vector<std::int32_t>& a);
    // Text, with "nan" and "-nan" (and the padding in front of them)
    // written as " nan" for the reason above.
    void t(std::string_view text);

    const std::vector<unsigned char>& bytes() const { return bytes_; }
    void clear() { bytes_.clear(); }

private:
    void raw(std::uint64_t u);
    std::vector<unsigned char> bytes_;
};

// splitmix64: a fully specified generator, so that the corpus is the same
// with every compiler and standard library.
class Gen {
public:
    explicit Gen(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next();
    double unit();                        // [0, 1)
    double uni(double lo, double hi);     // [lo, hi)
    std::int32_t pick(std::int32_t lo, std::int32_t hi);  // [lo, hi]
    bool chance(double p) { return unit() < p; }
    double special();                     // one of the awkward values
    // A value in [-2, 2), at times scaled by a power of ten; with
    // probability p an awkward value instead.
    double value(double p);
    std::vector<double> vec(std::size_t n, double p);

private:
    std::uint64_t s_;
};

// One entry of the table: the routine it is filed under (an export name),
// and a function that builds inputs from the generator, calls, and records.
// level 0 uses plain random values, 1 a few awkward ones, 2 many.
struct Case {
    const char* routine;
    void (*run)(Gen& g, Sink& s, int level);
    int reps;
    bool memsvc;  // requests blocks from the memory service
};

const std::vector<Case>& corpus();

// Seed of repetition rep of a case in a stream (stream 0: the digest;
// the concurrency test gives each thread a stream of its own).
std::uint64_t case_seed(const Case& c, int rep, std::uint64_t stream);

// Runs repetition rep of a case in a stream, appending to s.
void run_case(const Case& c, int rep, std::uint64_t stream, Sink& s);

// 64-bit FNV-1a.
class Fnv {
public:
    void add(const unsigned char* p, std::size_t n);
    void add(std::string_view text) { add(reinterpret_cast<const unsigned char*>(text.data()), text.size()); }
    void add(const std::vector<unsigned char>& b) { add(b.data(), b.size()); }
    std::uint64_t value() const { return h_; }
    std::string hex() const;

private:
    std::uint64_t h_ = 14695981039346656037ull;
};

}  // namespace zc
