// Shared pieces of the fuzz targets.
//
// An input is a run of calls: each call starts with a fault byte (whether
// the memory service or the runtime heap refuses a request during the
// call) and a selector byte (which routine), followed by the arguments.
// The targets bring their own memory service (fuzz_support.cpp): it checks
// every request and release against the call sites of the library, fills
// fresh blocks with a chosen byte, and refuses a chosen request.
// Arguments are decoded so that every array is exactly as long as the
// routine may touch, each on a heap block of its own: AddressSanitizer then
// reports any access past either end.  Values cover NaN, infinities,
// subnormals, huge and tiny magnitudes, the tolerances of the library, and
// plain small numbers.  A failed check aborts with a message, so libFuzzer
// keeps the input.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "zolmath.h"

namespace fz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz check failed at %s:%d: %s\n", file, line, what);
    std::abort();
}

#define FZ_CHECK(cond) ((cond) ? (void)0 : ::fz::fail(#cond, __FILE__, __LINE__))

// The memory service of the targets and the replaced nothrow operator new
// (fuzz_support.cpp).
struct Faults {
    int service = 0;  // refuse the k-th request to the memory service (0: none)
    int heap = 0;     // refuse the k-th nothrow heap request (0: none)
};
// Forget the requests so far and arm the faults for what follows.
void reset_requests(Faults f);
// Byte that fills fresh blocks of the service and of the heap, so that a
// result that depends on scratch read before it is written shows up when
// the same call is repeated with another fill.
void set_fill(unsigned char byte);
int service_requests();
int service_refused();
long live_blocks();

using i64 = std::int64_t;

inline i64 pos(i64 v) { return v > 0 ? v : 0; }

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

    bool empty() const { return p_ == end_; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

    // Past the end every byte reads as 0.
    std::uint8_t byte() { return p_ == end_ ? 0 : *p_++; }
    std::uint16_t u16() {
        const std::uint16_t lo = byte();
        return static_cast<std::uint16_t>(lo | (byte() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | (static_cast<std::uint32_t>(u16()) << 16);
    }
    std::uint64_t u64() {
        const std::uint64_t lo = u32();
        return lo | (static_cast<std::uint64_t>(u32()) << 32);
    }
    bool flag() { return (byte() & 1) != 0; }

    // A count in [-3, hi] (byte v in 0..hi gives v), or now and then one of
    // the extreme non-positive values.  Only counts that need no storage
    // are ever out of range.
    std::int32_t count(std::int32_t hi) {
        const std::uint8_t b = byte();
        if (b >= 0xF8) {
            static constexpr std::int32_t kExtreme[] = {std::numeric_limits<std::int32_t>::min(),
                                                        std::numeric_limits<std::int32_t>::min() + 1,
                                                        -65536, -1, 0, -2, -1000000, 0};
            return kExtreme[b - 0xF8];
        }
        return static_cast<std::int32_t>((b + 3) % (hi + 4)) - 3;
    }

    // A small integer in [lo, hi] (byte v gives lo + v while in range).
    std::int32_t range(std::int32_t lo, std::int32_t hi) {
        return lo + static_cast<std::int32_t>(byte() % (hi - lo + 1));
    }

    // Any 32-bit integer, for arguments whose every value is safe: 0..63
    // for bytes 0..63, -1..-64 for 64..127, the extremes of the type, or
    // raw bits.
    std::int32_t any_int() {
        const std::uint8_t b = byte();
        if (b < 0x40) return b;
        if (b < 0x80) return 0x3F - b;
        if (b < 0xF0) return static_cast<std::int32_t>(b % 16) - 4;
        if (b < 0xF8) {
            static constexpr std::int32_t kEdge[] = {std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max(),
                                                     std::numeric_limits<std::int32_t>::min() + 1,
                                                     std::numeric_limits<std::int32_t>::max() - 1,
                                                     65536, -65536, 1 << 30, -(1 << 30)};
            return kEdge[b - 0xF0];
        }
        return static_cast<std::int32_t>(u32());
    }

    // Tag byte, then: below 0x60 a small number (a 16-bit integer over 64,
    // so 1.0 is 0x00 0x40 0x00); 0x60..0x9F a value from the table of
    // special values; 0xA0..0xDF raw bits; 0xE0..0xFF a small integer
    // scaled by a power of two anywhere in (and beyond) the double range.
    double real() {
        const std::uint8_t t = byte();
        if (t < 0x60) return static_cast<std::int16_t>(u16()) / 64.0;
        if (t < 0xA0) return special(t - 0x60);
        if (t < 0xE0) {
            const std::uint64_t b = u64();
            double v;
            std::memcpy(&v, &b, sizeof v);
            return v;
        }
        const int mant = static_cast<std::int8_t>(byte());
        const int exp = static_cast<std::int16_t>(u16()) % 1100;
        return std::ldexp(static_cast<double>(mant), exp);
    }

    static double special(unsigned k) {
        constexpr double inf = std::numeric_limits<double>::infinity();
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        static const double kTable[] = {
            0.0, -0.0, 1.0, -1.0, 2.0, 0.5, nan, -nan, inf, -inf,
            std::numeric_limits<double>::min(), -std::numeric_limits<double>::min(),
            std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
            std::numeric_limits<double>::max(), -std::numeric_limits<double>::max(),
            1e-8, std::nextafter(1e-8, 0.0), std::nextafter(1e-8, 1.0), 1e-10, 1e-12, 1e-16,
            1e-20, 1.0000000000000001e-20, 1e154, -1e154, 1e-154, 1e300, 1e307, 1e308,
            0.9999999999, 0.99999999, 1e-4, 0.25, 0.75, 0.1, 6.283185307179586, 3.0, 10.0,
            std::numeric_limits<double>::epsilon(), 1.0 + std::numeric_limits<double>::epsilon(),
            -1e-8, 4.641588833612782e-06, 1e-5, 100.0, -3.0,
        };
        return kTable[k % (sizeof kTable / sizeof kTable[0])];
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

// An array of exactly n elements (none for n <= 0) on a heap block of its
// own, so that any access outside it is reported.
template <class T>
class Arr {
public:
    explicit Arr(i64 n) : n_(pos(n)) {
        p_ = static_cast<T*>(std::malloc(static_cast<std::size_t>(n_) * sizeof(T)));
        if (p_ == nullptr && n_ != 0) std::abort();
        if (n_ != 0) std::memset(static_cast<void*>(p_), 0, static_cast<std::size_t>(n_) * sizeof(T));
    }
    Arr(const Arr& o) : Arr(o.n_) {
        if (n_ != 0) std::memcpy(static_cast<void*>(p_), o.p_, static_cast<std::size_t>(n_) * sizeof(T));
    }
    Arr(Arr&& o) noexcept : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)) {}
    Arr& operator=(const Arr&) = delete;
    Arr& operator=(Arr&& o) noexcept {
        std::swap(p_, o.p_);
        std::swap(n_, o.n_);
        return *this;
    }
    ~Arr() { std::free(p_); }

    T* data() const { return p_; }
    operator T*() const { return p_; }
    i64 size() const { return n_; }
    T& operator[](i64 i) const { return p_[i]; }

    // Same bytes as o (bit-for-bit, NaN payloads and signed zeros included).
    bool same(const Arr& o) const {
        return n_ == o.n_ && (n_ == 0 || std::memcmp(p_, o.p_, static_cast<std::size_t>(n_) * sizeof(T)) == 0);
    }

private:
    T* p_ = nullptr;
    i64 n_ = 0;
};

inline Arr<double> reals(Input& in, i64 n) {
    Arr<double> a(n);
    for (i64 i = 0; i < a.size(); ++i) a[i] = in.real();
    return a;
}

inline Arr<std::int32_t> ints(Input& in, i64 n) {
    Arr<std::int32_t> a(n);
    for (i64 i = 0; i < a.size(); ++i) a[i] = in.any_int();
    return a;
}

// One value on a heap block of its own.
template <class T>
inline Arr<T> one(T v) {
    Arr<T> a(1);
    a[0] = v;
    return a;
}

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Elements touched in a column-major rows by cols block with leading
// dimension ld >= 1: (cols - 1) ld + rows, or none for an empty block.
inline i64 block_size(i64 ld, i64 rows, i64 cols) {
    if (rows < 1 || cols < 1) return 0;
    return (cols - 1) * ld + rows;
}

// A leading dimension for a rows by cols block.  It is at least the row
// count as a rule (sometimes above it), now and then between 1 and the row
// count (overlapping columns, still inside the block), and anything at all
// where no element's position depends on it (fewer than two columns, or
// no rows) or where the routine promises to touch nothing for it
// (below_one_safe: a leading dimension below 1 with several columns).
inline std::int32_t leading_dim(Input& in, i64 rows, i64 cols, bool below_one_safe) {
    const std::uint8_t b = in.byte();
    const i64 r = rows > 1 ? rows : 1;
    const bool free_ld = cols < 2 || rows < 1;
    if (b < 0xC0) return static_cast<std::int32_t>(r + b % 4);
    if (b < 0xE0) return static_cast<std::int32_t>(1 + b % r);
    if (free_ld) return in.any_int();
    if (below_one_safe) return (b & 0x10) != 0 ? -(b % 4) : std::numeric_limits<std::int32_t>::min() + b % 4;
    return static_cast<std::int32_t>(r);
}

// The faults of the current call, from its fault byte.
inline Faults& current_faults() {
    static Faults f;
    return f;
}

inline void arm_faults(Input& in) {
    const std::uint8_t b = in.byte();
    Faults f;
    if (b >= 0xE0)
        f.heap = b % 8 + 1;
    else if (b >= 0xC0)
        f.service = b % 8 + 1;
    current_faults() = f;
    set_fill(0xFF);
    reset_requests(f);
}

// Before a repetition of the call: the same faults again, another fill.
inline void rearm(unsigned char fill) {
    set_fill(fill);
    reset_requests(current_faults());
}

// The bytes of a call's outputs, for comparing two runs of it.
struct Prints {
    std::vector<unsigned char> bytes;

    template <class T>
    Prints& operator<<(const Arr<T>& a) {
        const auto* p = reinterpret_cast<const unsigned char*>(a.data());
        bytes.insert(bytes.end(), p, p + a.size() * static_cast<i64>(sizeof(T)));
        return *this;
    }
    Prints& operator<<(i64 v) {
        const auto* p = reinterpret_cast<const unsigned char*>(&v);
        bytes.insert(bytes.end(), p, p + sizeof v);
        return *this;
    }
};

// Runs a call twice on fresh copies of its arguments: the second time
// every block of scratch starts with other bytes (zeros instead of the
// all-ones NaN pattern) and the same request is refused.  Scratch read
// before it is written, or any other state carried from outside the
// arguments, shows as a difference in the outputs.
template <class Run>
void twice(Run&& run) {
    const Prints first = run();
    rearm(0x00);
    const Prints second = run();
    FZ_CHECK(first.bytes == second.bytes);
}

// After every call nothing of the memory service is left over (the
// service itself aborts on a release of a block it did not hand out).
inline void settle() { FZ_CHECK(live_blocks() == 0); }

// The driver loop shared by every target: calls until the input is used
// up (at most 64 per input).  With ZOLMATH_FUZZ_TRACE set in the
// environment each call's fault byte, selector byte and extent in the
// input go to stderr, which shows how an input decodes.
template <class Call>
int run_calls(const std::uint8_t* data, std::size_t size, Call&& call) {
    static const bool trace = std::getenv("ZOLMATH_FUZZ_TRACE") != nullptr;
    Input in(data, size);
    for (int k = 0; k < 64 && !in.empty(); ++k) {
        const std::size_t start = size - in.left();
        arm_faults(in);
        call(in);
        settle();
        if (trace)
            std::fprintf(stderr, "call %d: fault 0x%02x selector %u, bytes %zu..%zu\n", k, data[start],
                         start + 1 < size ? data[start + 1] : 0u, start, size - in.left());
    }
    return 0;
}

}  // namespace fz
