#pragma once
// The p-th percentile (0..1) of a load benchmark's latencies, nearest rank; 0 when there are none.
#include <algorithm>
#include <vector>

template <class T> double percentil(std::vector<T>& v, double p) {
    if (v.empty())
        return 0;
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(i), v.end());
    return double(v[i]);
}
