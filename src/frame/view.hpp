// Strided views with 1-based indexing, so that loops read like the
// formulas: element (i, j) of a column-major matrix with leading dimension
// ld, element i of a vector with stride inc.  Offsets are formed in 64 bits.
#pragma once

#include <cstdint>

namespace zol {

template <class T>
struct ColMajor {
    T* p;
    std::int64_t ld;

    ColMajor(T* base, std::int64_t lead) : p(base), ld(lead) {}
    T& operator()(std::int64_t i, std::int64_t j) const { return p[(i - 1) + (j - 1) * ld]; }
    // Address of element (1, j): column j as a contiguous vector.
    T* col(std::int64_t j) const { return p + (j - 1) * ld; }
};

template <class T>
struct Strided {
    T* p;
    std::int64_t inc;

    Strided(T* base, std::int64_t stride) : p(base), inc(stride) {}
    T& operator()(std::int64_t i) const { return p[(i - 1) * inc]; }
};

// Interleaved right-hand sides: component i of vector r at (i-1)*nrhs + (r-1).
template <class T>
struct Interleaved {
    T* p;
    std::int64_t nrhs;

    Interleaved(T* base, std::int64_t count) : p(base), nrhs(count) {}
    T& operator()(std::int64_t i, std::int64_t r) const { return p[(i - 1) * nrhs + (r - 1)]; }
};

}  // namespace zol
