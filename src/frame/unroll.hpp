// f(k) for k = 0 .. G - 1, written out at compile time.  Kernels that run
// G columns side by side keep each column's sum in a named local this way,
// so that the sums stay in registers as independent chains instead of
// being stored and reloaded by a loop over k.
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

}  // namespace zol
