// Squared lengths of neighbouring matrix columns.  Each column is summed
// from 0 in increasing row order, exactly as on its own, but up to four
// columns run side by side in chains of their own, so that the additions
// of one column do not wait for those of another.
#pragma once

#include <cstdint>

#include "frame/unroll.hpp"
#include "frame/view.hpp"

namespace zol {

namespace detail {

template <int G, class T>
void column_squares_group(const ColMajor<T>& a, std::int64_t first_row, std::int64_t last_row,
                          std::int64_t l, double* s) {
    const T* c[G];
    double sum[G];
    each<G>([&](auto k) {
        c[k] = &a(first_row, l + k);
        sum[k] = 0.0;
    });
    for (std::int64_t i = 0; i <= last_row - first_row; ++i)
        each<G>([&](auto k) { sum[k] = sum[k] + c[k][i] * c[k][i]; });
    for (int k = 0; k < G; ++k) s[k] = sum[k];
}

}  // namespace detail

// Calls take(l, sum) for l = first_col .. last_col in this order, sum being
// the squared length of rows first_row .. last_row of column l (0 when
// last_row < first_row).
template <class T, class Take>
void column_squares(const ColMajor<T>& a, std::int64_t first_row, std::int64_t last_row, std::int64_t first_col,
                    std::int64_t last_col, Take take) {
    if (last_row < first_row) {
        // No rows: nothing is read, and no column address is formed.
        for (std::int64_t l = first_col; l <= last_col; ++l) take(l, 0.0);
        return;
    }
    for (std::int64_t l = first_col; l <= last_col;) {
        double s[4];
        const std::int64_t g = last_col - l + 1 >= 4 ? 4 : last_col - l + 1;
        if (g == 4)
            detail::column_squares_group<4>(a, first_row, last_row, l, s);
        else if (g == 3)
            detail::column_squares_group<3>(a, first_row, last_row, l, s);
        else if (g == 2)
            detail::column_squares_group<2>(a, first_row, last_row, l, s);
        else
            detail::column_squares_group<1>(a, first_row, last_row, l, s);
        for (std::int64_t k = 0; k < g; ++k, ++l) take(l, s[k]);
    }
}

}  // namespace zol
