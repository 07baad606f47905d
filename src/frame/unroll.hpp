// Kernels written out for registers.  each<G>(f) calls f(k) for k = 0 ..
// G - 1 at compile time: kernels that run G columns side by side keep each
// column's sum in a named local this way, so that the sums stay in
// registers as independent chains instead of being stored and reloaded by a
// loop over k.  Pair holds two neighbouring doubles operated on element by
// element, each element getting exactly the operations it would get alone.
#pragma once

#include <cstddef>
#include <utility>

namespace zol {

namespace detail {
template <class F, std::size_t... K>
inline void each_impl(F&& f, std::index_sequence<K...>) {
    (f(std::integral_constant<std::size_t, K>{}), ...);
}
}  // namespace detail

template <int G, class F>
inline void each(F&& f) {
    detail::each_impl(f, std::make_index_sequence<G>{});
}

// SSE2 on every x86-64, the baseline of the build.
typedef double Pair __attribute__((vector_size(16)));

inline Pair load_pair(const double* p) {
    Pair v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

inline void store_pair(double* p, Pair v) { __builtin_memcpy(p, &v, sizeof v); }

}  // namespace zol
